// Bad input on the command socket of a demo station with its web server and data log on: a line of
// bytes that are not text, a line of a megabyte, a client that says nothing, and a thousand commands a
// second for a minute. Each gets a clear answer, and meanwhile the station reads its rounds on time,
// answers web visitors and writes every data-log record.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "net/Httpsrv.h"
#include "net/NetTestSupport.h"
#include "platform/Strings.h"
#include "platform/Timer.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DemoNet.h"
#include "publish/StationPublishing.h"
#include "station/CommandDesk.h"
#include "station/Commands.h"
#include "support/RawCommandClient.h"
#include "support/StationFixture.h"

namespace {

using korvane_test::RawCommandClient;
using net_test::DrainInto;
using net_test::RawConnect;

class CommandFloodTest : public korvane_test::StationFixture {
public:
    struct Rounds {
        unsigned count = 0;
        std::vector<uint32_t> atMs; // when each was seen, from the start
        int visits = 0, visitsAnswered = 0;
    };

protected:
    void StartDemo() {
        Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
        Write("korvane.ini",
              platform::tmex::sim::DemoKorvaneIni() +
                  "LogEnabled=1\r\nLogInterval=1\r\n[HTTP]\r\nEnabled=1\r\nAddr=127.0.0.1\r\nPort=0\r\n");
        StationOptions.MakePublishing = [this](TMainForm& form) {
            auto made = std::make_unique<TStationPublishing>(form);
            publishing_ = made.get();
            return made;
        };
        Start();
        Run(1100);
        ASSERT_TRUE(SessionRunning);
        Run(70000); // past the 30 rounds after which the minute's work begins
        ASSERT_TRUE(form_->HTTPRunning);
    }
    void Run(uint32_t ms) { platform::EventLoop::Get().RunFor(ms); }
    std::string SocketPath() const { return Path(TCommandDesk::kSocketName); }

    // Asks the station's web server for its start page, pumping the loop; true on a whole "200" answer.
    bool Visit() {
        const auto port = static_cast<uint16_t>(
            std::stoi(publishing_->WebServer().HTTPServer()->WSocketServer()->GetXPort()));
        const int fd = RawConnect(port);
        if (fd < 0) return false;
        const std::string request = "GET / HTTP/1.0\r\n\r\n";
        const bool sent = ::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size());
        std::string answer;
        bool open = true;
        platform::EventLoop::Get().RunUntil([&] { return !(open = DrainInto(fd, answer)); }, 30000);
        ::close(fd);
        return sent && !open && answer.rfind("HTTP/1.0 200", 0) == 0 &&
               answer.find("</HTML>") != std::string::npos;
    }
    // The records of the monthly data log.
    size_t DataRecords() const {
        const platform::LocalTime now = platform::Clock::Get().Now();
        const std::string log = Read("DATA/" + platform::Format("%02d%d.TXT", now.month, now.year));
        return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
    }
    // The station's rounds and their times over `ms` of the clock, seen by a timer of
    // the loop that ticks every millisecond, inside the passes too; at each tick `tick` is called with
    // the milliseconds passed. Every `visitEveryMs` a web visitor asks for the start page.
    Rounds Watch(uint32_t ms, const std::function<void(uint32_t passed)>& tick = {},
                 uint32_t visitEveryMs = 0) {
        Rounds rounds;
        unsigned seen = SampleCount;
        const uint32_t start = platform::GetTickCount();
        platform::TTimer timer;
        timer.SetInterval(1);
        timer.OnTimer = [&](platform::TTimer*) {
            const uint32_t now = platform::GetTickCount();
            if (SampleCount != seen) {
                rounds.count += SampleCount - seen;
                seen = SampleCount;
                rounds.atMs.push_back(platform::TicksElapsed(now, start));
            }
            if (tick) tick(std::min(platform::TicksElapsed(now, start), ms));
        };
        timer.SetEnabled(true);
        uint32_t nextVisit = visitEveryMs;
        while (platform::TicksElapsed(platform::GetTickCount(), start) < ms) {
            Run(std::min<uint32_t>(100, ms - platform::TicksElapsed(platform::GetTickCount(), start)));
            if (visitEveryMs && platform::TicksElapsed(platform::GetTickCount(), start) >= nextVisit) {
                nextVisit += visitEveryMs;
                ++rounds.visits;
                rounds.visitsAnswered += Visit();
            }
        }
        timer.SetEnabled(false);
        return rounds;
    }
    TStationPublishing* publishing_ = nullptr;
};

TEST_F(CommandFloodTest, BytesThatAreNotTextAreRefusedAndLoggedOnce) {
    StartDemo();
    RawCommandClient client(SocketPath());
    client.Send(std::string("\x00\x01\x02\xff\xfe binary\x00\n", 15));
    EXPECT_EQ(client.Answer(), "status 2\nthe command is not text: it holds the byte 0x00\n");
    EXPECT_EQ(CountLog("COMMAND: Refused a request: the command is not text: it holds the byte 0x00"), 1);
    const unsigned rounds = SampleCount;
    Run(5000);
    EXPECT_GE(SampleCount - rounds, 4u);
}

TEST_F(CommandFloodTest, AMegabyteLineIsRefusedWithoutBeingReadWhole) {
    StartDemo();
    RawCommandClient client(SocketPath());
    client.Send(std::string(1 << 20, 'R') + "\n");
    EXPECT_EQ(client.Answer(), "status 2\nthe command is longer than 4096 bytes\n");
    EXPECT_EQ(CountLog("COMMAND: Refused a request longer than 4096 bytes"), 1);
    EXPECT_TRUE(Visit());
}

TEST_F(CommandFloodTest, AClientThatSaysNothingIsClosedAfterTenSecondsWhileTheStationGoesOn) {
    StartDemo();
    RawCommandClient silent(SocketPath());
    const Rounds quiet = Watch(5000); // a pass may end a few seconds later still
    EXPECT_FALSE(silent.Pump()) << silent.Received();
    EXPECT_EQ(silent.Answer(8000), "status 2\nno command came within 10 s\n");
    EXPECT_EQ(CountLog("COMMAND: Closed a connection that sent no command within 10 s"), 1);
    EXPECT_GE(quiet.count, 3u);
    EXPECT_TRUE(Visit());
    // A command given beside it meanwhile is not held up by it.
    RawCommandClient other(SocketPath()), speaking(SocketPath());
    speaking.Send("Resethighmark1\n");
    EXPECT_EQ(speaking.Answer(2000),
              "status 0\nResethighmark1: cleared the high and low marks of the barometer dial\n");
}

// The simulated station runs the same way from the same start: its minute without commands is the
// measure of the same minute with a thousand commands a second.
uint32_t LongestGap(const CommandFloodTest::Rounds& rounds) {
    uint32_t longest = 0;
    for (size_t i = 1; i < rounds.atMs.size(); ++i)
        longest = std::max(longest, rounds.atMs[i] - rounds.atMs[i - 1]);
    return longest;
}

TEST_F(CommandFloodTest, AThousandCommandsASecondForAMinuteAreAnsweredAndCostTheStationNothing) {
    auto minuteOf = [&](const std::function<void(uint32_t passed)>& tick, size_t& records) {
        StartDemo();
        // From the middle of a minute: the minute holds one data-log record.
        const platform::LocalTime now = platform::Clock::Get().Now();
        Run(static_cast<uint32_t>((90 - now.second) % 60) * 1000);
        records = DataRecords();
        Rounds rounds = Watch(60000, tick, 5000);
        records = DataRecords() - records;
        return rounds;
    };
    size_t quietRecords = 0;
    const Rounds quiet = minuteOf({}, quietRecords);
    // The same station again, afresh.
    form_.reset();
    platform::tmex::ResetDriver();
    platform::EventLoop::Get().Reset();
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
        std::filesystem::remove_all(entry.path());
    platform::Clock::Install(
        std::make_shared<platform::SimulatedClock>(korvane_test::kDefaultStartMs, 1000000));
    platform::TIniFile::FlushCache();

    std::vector<std::unique_ptr<RawCommandClient>> open;
    size_t sent = 0, ran = 0, busy = 0, other = 0;
    auto collect = [&] {
        for (auto it = open.begin(); it != open.end();) {
            if (!(*it)->Pump()) {
                ++it;
                continue;
            }
            const std::string& answer = (*it)->Received();
            if (answer.rfind("status 0\n", 0) == 0)
                ++ran;
            else if (answer.rfind("status 1\nthe station is busy", 0) == 0)
                ++busy;
            else
                ++other;
            it = open.erase(it);
        }
    };
    // One command a millisecond of the clock, from a timer of the loop: they come inside passes too.
    const char* commands[] = {"Resethighmark1", "ResetRGaugeWeek"};
    size_t floodRecords = 0;
    const Rounds flood = minuteOf(
        [&](uint32_t passed) {
            for (; sent < passed; ++sent) {
                open.push_back(std::make_unique<RawCommandClient>(SocketPath()));
                open.back()->Send(std::string(commands[sent % 2]) + "\n");
            }
            if (passed % 50 == 0) collect();
        },
        floodRecords);
    platform::EventLoop::Get().RunUntil(
        [&] {
            collect();
            return open.empty();
        },
        30000);
    EXPECT_EQ(sent, 60000u);
    EXPECT_EQ(ran + busy + other, sent);
    EXPECT_EQ(other, 0u) << "every command got its answer or was told the station is busy";
    // The room for commands is small (a keeper gives a few at a time): most of a flood is told the
    // station is busy, but the commands that found room and waited through a pass ran at its end.
    EXPECT_GE(ran, (flood.count - 1) * TCommandDesk::kLimits.maxPeers);
    EXPECT_EQ(flood.visits, 12);
    EXPECT_EQ(flood.visitsAnswered, flood.visits);
    EXPECT_EQ(quiet.visitsAnswered, quiet.visits);
    EXPECT_EQ(quietRecords, 1u);
    EXPECT_EQ(floodRecords, 1u) << "the flood's minute has its record";
    EXPECT_GE(quiet.count, 40u);
    // A round at either end of the minute may fall in or out of it (the web visitor's wait for its
    // answer moves the clock by what the machine's load makes it).
    EXPECT_LE(quiet.count, flood.count + 1) << "the rounds went on as before";
    EXPECT_LE(LongestGap(flood), LongestGap(quiet) + TCommandDesk::kBatchMs);
    EXPECT_EQ(CountLog("COMMAND:"), 0) << "commands and their load are no fault";
    EXPECT_EQ(CountLog("Error"), 0);
}

} // namespace
