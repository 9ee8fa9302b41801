// Keeps every wait of the sensor code (onewire/) on PumpMessages, which lets the loop serve the web
// server, the sockets and the timers while a reading waits: no sleep of any kind there (platform::Sleep,
// the clock's Sleep, SleepEx, the C library's and the standard library's), but in PumpMessages.cpp, the
// one wait itself. Comments and string literals are not code.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "LintSupport.h"

namespace {

// The findings in one file's text: "line: what".
std::vector<std::string> Findings(const std::string& text) {
    // A call of a sleep by any qualification (::, ., ->), not a longer name that ends in one.
    static const std::regex sleep(
        "(^|[^A-Za-z0-9_])(Sleep|SleepEx|sleep|usleep|nanosleep|sleep_for|sleep_until|"
        "clock_nanosleep)\\s*(<[^>]*>\\s*)?\\(");
    std::vector<std::string> found;
    std::istringstream lines(lint::CodeOnly(text));
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::smatch m;
        if (std::regex_search(line, m, sleep))
            found.push_back(std::to_string(number) + ": " + m[2].str() + "(");
    }
    return found;
}

TEST(LintSensorSleep, TheMatcherCatchesEverySleepAndSparesThePump) {
    for (const char* bad :
         {"Sleep(7);", "platform::Sleep(100);", "        Sleep (10);", "SleepEx(100, TRUE);",
          "Clock::Get().Sleep(5);", "clock->Sleep(5);", "::usleep(1000);", "sleep(1);",
          "std::this_thread::sleep_for(ms);", "std::this_thread::sleep_for<int>(ms);",
          "nanosleep(&ts, nullptr);", "if (x) platform::Sleep(ms - elapsed);"})
        EXPECT_FALSE(Findings(bad).empty()) << bad;
    for (const char* good :
         {"PumpMessages(100);", "PumpMessages(kSessionRetryMs);", "// Sleep(100) was here",
          "Log(\"Sleep(10)\");", "/* platform::Sleep(7) */", "int SleepCount = 0;", "WaitSleep(3);",
          "DeepSleep(3);", "loop.RunFor(ms);", "bool sleeping = Sleeping();"})
        EXPECT_TRUE(Findings(good).empty()) << good;
}

TEST(LintSensorSleep, TheSensorCodeWaitsOnlyThroughPumpMessages) {
    std::string report;
    int files = lint::ForEachSourceAbovePlatform({}, [&](const std::string& rel, const std::string& text) {
        if (rel.rfind("onewire/", 0) != 0 || rel == "onewire/PumpMessages.cpp") return;
        for (const auto& f : Findings(text))
            report += "\n  " + rel + ":" + f;
    });
    ASSERT_GT(files, 0);
    EXPECT_TRUE(report.empty()) << "sleeps in the sensor code (wait with PumpMessages):" << report;
}

} // namespace
