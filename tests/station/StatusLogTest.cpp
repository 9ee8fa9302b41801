// The status logger: memo trimming, the filter, the file lines and their date, and the command that
// shows the log file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "station/LogLimiter.h"
#include "support/StationFixture.h"
#include "ui/Splashfrm.h"

using korvane_test::StationFixture;

class StatusLogTest : public StationFixture {
protected:
    TMainForm& StartQuiet() {
        TMainForm& form = Start();
        form.DisplayMemo->Clear();
        platform::DeleteFile(Path("korvane.log"));
        return form;
    }
};

TEST_F(StatusLogTest, MemoIsTrimmedByFiftyOnceItHoldsMoreThanTwoHundred) {
    TMainForm& form = StartQuiet();
    for (int i = 1; i <= 201; ++i)
        form.LogStatus("line " + std::to_string(i));
    EXPECT_EQ(form.DisplayMemo->Lines().Count(), 201);
    form.LogStatus("line 202");
    EXPECT_EQ(form.DisplayMemo->Lines().Count(), 152);
    EXPECT_EQ(form.DisplayMemo->Lines()[0], "14:03:09 line 51");
    EXPECT_EQ(form.StatusBar->Panel(1), "14:03:09 line 202");
    EXPECT_EQ(LastStatusText, ": 14:03:09 line 202");
}

TEST_F(StatusLogTest, TextsWithTheFilterMarkGoNowhere) {
    TMainForm& form = StartQuiet();
    form.StatusBar->Panel(1) = "before";
    form.LogStatus("DS2450 (WY: noise");
    EXPECT_EQ(form.DisplayMemo->Lines().Count(), 0);
    EXPECT_EQ(form.StatusBar->Panel(1), "before");
    EXPECT_FALSE(platform::FileExists(Path("korvane.log")));
}

TEST_F(StatusLogTest, FileLinesCarryTheWindowsDateNotTheClocksDate) {
    TMainForm& form = StartQuiet();
    form.LogStatus("SERVER: Scan completed, sensors found total:3  new:0");
    clock_->Advance(10 * 3600 * 1000); // past midnight; the hourly work has not refreshed the date
    form.LogStatus("after midnight");
    EXPECT_EQ(Read("korvane.log"),
              "06.12.2026 14:03:09 SERVER: Scan completed, sensors found total:3  new:0\r\n"
              "06.12.2026 00:03:09 after midnight\r\n");
}

TEST_F(StatusLogTest, FileLoggingFollowsTheCheckBoxAndClearingTheMemoKeepsTheFile) {
    TMainForm& form = StartQuiet();
    form.LogStatusToFileCheckBox->Click(); // the user turns file logging off
    form.LogStatus("not in the file");
    EXPECT_FALSE(platform::FileExists(Path("korvane.log")));
    EXPECT_EQ(platform::TIniFile(Path("korvane.ini")).ReadString("Weather", "LogStatusToFile", ""), "0");
    form.LogStatusToFileCheckBox->Click();
    form.LogStatus("in the file");
    form.ClearStatusListClick(nullptr);
    EXPECT_EQ(form.DisplayMemo->Lines().Count(), 0);
    EXPECT_NE(Read("korvane.log").find("in the file"), std::string::npos);
}

TEST_F(StatusLogTest, AnUnwritableLogFileNeverThrowsAndIsToldOnce) {
    TMainForm& form = StartQuiet();
    std::filesystem::create_directory(Path("korvane.log"));
    EXPECT_NO_THROW(form.LogStatus("still shown"));
    EXPECT_NO_THROW(form.LogStatus("shown again"));
    auto& lines = form.DisplayMemo->Lines();
    ASSERT_EQ(lines.Count(), 3);
    EXPECT_EQ(lines[0], "14:03:09 still shown");
    EXPECT_EQ(lines[1], "14:03:09 SERVER: Cannot write korvane.log: Is a directory");
    EXPECT_EQ(lines[2], "14:03:09 shown again");
}

TEST_F(StatusLogTest, AnErrorTextWithLineBreaksStaysOneLine) {
    TMainForm& form = StartQuiet();
    form.LogStatus("SERVER: Error 98 in function bind\r\nAddress already in use\r\n");
    EXPECT_EQ(form.DisplayMemo->Lines()[0],
              "14:03:09 SERVER: Error 98 in function bind Address already in use");
    EXPECT_EQ(Read("korvane.log"),
              "06.12.2026 14:03:09 SERVER: Error 98 in function bind Address already in use\r\n");
}

TEST_F(StatusLogTest, SplashGetsTheTextWhileItShows) {
    TMainForm& form = StartQuiet();
    ShowSplashForm(&form);
    form.LogStatus("INFO: Added sensor");
    ASSERT_NE(SplashForm(), nullptr);
    EXPECT_EQ(SplashForm()->Lines.back(), "INFO: Added sensor");
    CloseSplashForm();
    form.LogStatus("after close");
    EXPECT_EQ(SplashForm()->Lines.back(), "INFO: Added sensor");
    platform::EventLoop::Get().RunFor(20);
    EXPECT_EQ(SplashForm(), nullptr);
}

TEST_F(StatusLogTest, TheLogCommandHandsKorvaneLogToTheDesktopsOpenerAndLogsAFailureWithItsCode) {
    TMainForm& form = StartQuiet();
    form.LogStatus("a line for the file");
    // The desktop's opener, found on PATH: here a script that writes down what it was given.
    std::filesystem::create_directory(Path("bin"));
    Write("bin/xdg-open", "#!/bin/sh\necho \"$1\" > \"" + Path("opened.tmp") + "\"\n/bin/mv \"" +
                              Path("opened.tmp") + "\" \"" + Path("opened") + "\"\n");
    std::filesystem::permissions(Path("bin/xdg-open"), std::filesystem::perms::owner_all);
    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath ? oldPath : "";
    ::setenv("PATH", Path("bin").c_str(), 1);
    form.OpenStatusLog->Click();
    std::string opened;
    for (int i = 0; i < 3000 && opened.empty(); ++i) { // the opener runs on its own
        platform::EventLoop::Get().ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        opened = Read("opened");
    }
    EXPECT_EQ(opened, Path("korvane.log") + "\n");
    std::filesystem::remove(Path("bin/xdg-open"));
    form.OpenStatusLog->Click(); // nothing opens a document now
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(CountLog("SERVER: Error opening korvane.log (31)"), 1);
}

// A fault that repeats for good, five lines a second for an hour with numbers that change: the log
// takes its first burst, then a few lines a minute, and tells what it held back once a minute; a line
// of another cause in the middle goes out.
TEST_F(StatusLogTest, ALineThatRepeatsForGoodIsHeldBackAndCounted) {
    TMainForm& form = StartQuiet();
    const int sent = 3600 * 5;
    for (int i = 0; i < sent; ++i) {
        form.LogStatus("TCP/IP Error (sending UDP): Error " + std::to_string(10050 + i % 7) +
                       " in function send");
        if (i == sent / 2) form.LogStatus("POST/WU: Error: no HTTP status line in the reply");
        clock_->Advance(200);
        if (i % 100 == 0) platform::EventLoop::Get().RunFor(1);
    }
    platform::EventLoop::Get().RunFor(61000);
    const std::string log = Read("korvane.log");
    int logged = 0, held = 0, summaries = 0;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        int n = 0;
        const size_t at = line.find("TCP/IP Error (sending UDP): ");
        if (at == std::string::npos) continue;
        if (std::sscanf(line.c_str() + at, "TCP/IP Error (sending UDP): %d repeated line(s) held back", &n) ==
            1) {
            ++summaries;
            held += n;
        } else {
            ++logged;
        }
    }
    EXPECT_EQ(logged + held, sent);
    EXPECT_LE(logged, kLogBurst + 61 * kLogPerMinute);
    EXPECT_LE(summaries, 61);
    EXPECT_NE(log.find("POST/WU: Error: no HTTP status line in the reply"), std::string::npos);
    RecordProperty("log_bytes_for_an_hour", static_cast<int>(log.size()));
    EXPECT_LT(log.size(), 100u * 1024);
}

// The limiter's room for causes is bounded: when it is full, the cause seen longest ago is forgotten (its
// next line starts a fresh burst), while one still repeating keeps its count.
TEST(LogLimiterTest, WhenItsRoomIsFullTheCauseSeenLongestAgoIsForgottenFirst) {
    TLogLimiter limiter;
    for (const char* text : {"A: flood", "B: flood"}) {
        for (int i = 0; i < kLogBurst; ++i)
            ASSERT_TRUE(limiter.Admit(text, 0));
        EXPECT_FALSE(limiter.Admit(text, 0)) << text;
    }
    auto name = [](size_t n) {
        std::string text = "C: ";
        for (; text.size() == 3 || n > 0; n /= 26)
            text += static_cast<char>('a' + n % 26);
        return text;
    };
    for (size_t i = 2; i < TLogLimiter::kLimitedCauses; ++i)
        EXPECT_TRUE(limiter.Admit(name(i), 0));
    EXPECT_FALSE(limiter.Admit("B: flood", 0)); // B is the latest seen, A the earliest
    EXPECT_TRUE(limiter.Admit("D: one more", 0));
    EXPECT_TRUE(limiter.Admit("A: flood", 0));
    EXPECT_FALSE(limiter.Admit("B: flood", 0));
    const std::vector<std::string> told = {"A: 1 repeated line(s) held back",
                                           "B: 3 repeated line(s) held back"};
    EXPECT_EQ(limiter.TakeSummaries(), told);
}
