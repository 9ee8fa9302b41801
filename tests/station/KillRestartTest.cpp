// The demo station killed with SIGKILL while it runs and writes, fifty times, each run started again
// from what the one before left: every restart finds every sensor role, high, low and rain total that
// was there before the kill. Half the kills come at a random moment, half the moment a random one of
// its file replacements has begun (its temporary file appeared).
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "onewire/SensorTables.h"
#include "platform/tmex/sim/DemoNet.h"
#include "support/StationFixture.h"
#include "tests/station/KeptState.h"

namespace {

using station_test::ExpectKept;
using station_test::KeptState;
using station_test::ReadKeptState;

constexpr int64_t kHourMs = 3600 * 1000;

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Waits until `count` temporary files have been created in the watched folder, or the time is up.
void AwaitReplacements(int watch, int count, int timeoutMs) {
    alignas(inotify_event) char buffer[4096];
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (count > 0) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{watch, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
        ssize_t n = ::read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
            auto* event = reinterpret_cast<inotify_event*>(buffer + at);
            if (event->len > 0 && EndsWith(event->name, ".tmp")) --count;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

class KillRestartTest : public korvane_test::StationFixture {
protected:
    // The child: a station that runs up to three hours of station time from its round's start (in
    // about a second of real time), then waits for its end.
    [[noreturn]] void RunStationUntilKilled(int round) {
        try {
            clock_->SetUnixTimeMs(korvane_test::kDefaultStartMs + round * 3 * kHourMs);
            Start();
            for (int minute = 0; minute < 180; ++minute)
                platform::EventLoop::Get().RunFor(60000);
        } catch (...) {
            ::_exit(3);
        }
        for (;;)
            ::pause();
    }
};

TEST_F(KillRestartTest, FiftyKillsWhileWritingLoseNoRoleHighLowOrRainTotal) {
    Write("korvane.ini", "[Weather]\r\nPortNum=1\r\nPortType=64\r\nLogInterval=1\r\nLogEnabled=1\r\n"
                         "SummaryEnabled=1\r\nSummaryInterval=1\r\nNowEnabled=1\r\n");
    Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
    const std::string sensorsIni = Path("SENSORS.INI");
    KeptState before = ReadKeptState(sensorsIni);
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> lifeMs(5, 400), replacements(1, 4);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, folder_.c_str(), IN_CREATE), 0);
    int killsInAWrite = 0;
    for (int round = 0; round < 50; ++round) {
        std::fflush(nullptr);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) RunStationUntilKilled(round);
        if (round % 2 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(lifeMs(random)));
        else
            AwaitReplacements(watch, replacements(random), 1500);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "round " << round << ": the station ended by itself, status " << status;
        killsInAWrite += std::filesystem::exists(sensorsIni + ".tmp");

        platform::TIniFile::FlushCache(); // read what the next run reads
        KeptState after = ReadKeptState(sensorsIni);
        ExpectKept(before, after, false, "round " + std::to_string(round));
        ASSERT_EQ(platform::TIniFile(Path("korvane.ini")).ReadInteger("Weather", "PortType", 0), 64)
            << "round " << round;
        if (HasFailure()) break;
        before = after;
        char drain[4096];
        while (::read(watch, drain, sizeof drain) > 0) {
        }
    }
    ::close(watch);
    if (HasFailure()) return;
    RecordProperty("KillsWhileSensorsIniWasWritten", killsInAWrite);
    int highs = 0;
    for (const auto& [key, value] : before)
        highs += key.find("/max_temp") != std::string::npos;
    ASSERT_GE(highs, 5) << "the runs wrote the thermometers' highs and lows";

    Start(); // and a last restart in this process finds every sensor
    platform::EventLoop::Get().RunFor(1100);
    ASSERT_TRUE(SessionRunning);
    EXPECT_TRUE(SensorSet().WindPresent && SensorSet().RainPresent && SensorSet().BarometerPresent);
    EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 7);
    EXPECT_EQ(SensorSet().HumiditySensors.Count(), 1);
    EXPECT_EQ(CountLog("WARNING: Missing"), 0);
}

// What a kill can cost of the highs and lows, without killing: SENSORS.INI on disk never lags the
// marks the station holds by more than a minute, and it is rewritten at most once a minute for them.
TEST_F(KillRestartTest, SensorsIniLagsTheMarksByAMinuteAtMostAndIsWrittenOnceAMinuteAtMost) {
    Write("korvane.ini", "[Weather]\r\nPortNum=1\r\nPortType=64\r\n");
    Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
    Start();
    platform::EventLoop::Get().RunFor(2 * 60000); // the scan and the first marks
    std::string onDisk = Read("SENSORS.INI");
    int writes = 0;
    // Since when (at the latest) the disk lacks what the station holds; -1 while it lacks nothing.
    int64_t behindSince = -1, worstLagMs = 0;
    const int64_t start = clock_->UnixTimeMs(), minutes = 40;
    for (int64_t before = start; clock_->UnixTimeMs() - start < minutes * 60000;) {
        platform::EventLoop::Get().RunFor(500);
        const int64_t now = clock_->UnixTimeMs();
        const std::string text = Read("SENSORS.INI");
        const bool written = text != onDisk;
        writes += written;
        onDisk = text;
        Write("copy.ini", text);
        if (ReadKeptState(Path("SENSORS.INI")) == ReadKeptState(Path("copy.ini")))
            behindSince = -1;
        else if (behindSince < 0 || written) // what it lacks came after the last look
            behindSince = before;
        if (behindSince >= 0) worstLagMs = std::max(worstLagMs, now - behindSince);
        before = now;
    }
    EXPECT_LE(worstLagMs, 65000) << "the disk lacked a mark the station held for so long";
    EXPECT_LE(writes, minutes + 1);
    EXPECT_GE(writes, 10) << "the marks moved and were written";
}

} // namespace
