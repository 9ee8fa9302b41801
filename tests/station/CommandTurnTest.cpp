// When a keeper's command takes its turn: one that comes before the session start, or right after a
// restart, waits for the start and runs on the net the settings name (no other port is opened), and does
// not wait for an adapter that does not answer; one whose client has gone by its turn does not run.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "onewire/DS1820.h"
#include "onewire/SensorTables.h"
#include "platform/Timer.h"
#include "platform/tmex/DS2480Backend.h"
#include "platform/tmex/sim/SimulatedPort.h"
#include "station/CommandDesk.h"
#include "station/Commands.h"
#include "station/StationNet.h"
#include "support/RawCommandClient.h"

namespace {

using korvane_test::RawCommandClient;
namespace tmex = platform::tmex;

// The station's net on port 3 of the simulated port type, as its settings name it. Every port that
// the driver opens beside the one installed there is noted.
class CommandTurnTest : public station_test::StationNetTest {
protected:
    void SetUp() override {
        StationNetTest::SetUp();
        tmex::RemoveBackend(1, tmex::kPortTypeSimulated);
        tmex::InstallBackend(3, tmex::kPortTypeSimulated, net);
        Settings("[Weather]\r\nPortNum=3\r\nPortType=64\r\n");
        for (int16_t type : {tmex::kPortTypeDS2480, tmex::kPortTypeSimulated})
            tmex::RegisterPortType(type,
                                   {"noted", [this, type](int16_t port) -> std::shared_ptr<tmex::Backend> {
                                        opened.insert({port, type});
                                        return std::make_shared<tmex::NoAdapterBackend>("none here");
                                    }});
    }
    void TearDown() override {
        StationNetTest::TearDown();
        tmex::RegisterSerialPortType();
        tmex::sim::RegisterSimulatedPortType();
    }
    std::string SocketPath() const { return Path(TCommandDesk::kSocketName); }
    static TCommandAnswer Decoded(const std::string& text) {
        TCommandAnswer answer;
        EXPECT_TRUE(DecodeAnswer(text, answer)) << text;
        return answer;
    }
    static bool Holds(const TCommandAnswer& answer, const std::string& text) {
        for (const std::string& line : answer.lines)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    std::set<std::pair<int16_t, int16_t>> opened; // (port, port type)
};

TEST_F(CommandTurnTest, ACommandGivenAsTheStationStartsRunsAfterTheStartOnTheNetTheSettingsName) {
    AddThermometer(0x2801);
    AddCounter(0x501);
    Start();
    RawCommandClient rescan(SocketPath()), reset(SocketPath());
    rescan.Send("RescanMLan\n");
    reset.Send("TempStatReset\n");
    const TCommandAnswer scanned = Decoded(rescan.Answer(10000));
    const TCommandAnswer resetAnswer = Decoded(reset.Answer(10000));
    ASSERT_TRUE(SessionRunning);
    EXPECT_EQ(scanned.status, kCommandRan);
    EXPECT_TRUE(Holds(scanned, "SERVER: Scan completed, sensors found total:2  new:0"))
        << (scanned.lines.empty() ? "" : scanned.lines[0]);
    EXPECT_EQ(resetAnswer.status, kCommandRan);
    EXPECT_FALSE(Holds(resetAnswer, "nothing was done")) << resetAnswer.lines[0];
    EXPECT_TRUE(opened.empty()) << "a port the settings do not name was opened: " << opened.begin()->first
                                << ", type " << opened.begin()->second;
}

// A restart asked for inside a pass (the window's button) runs at the pass's end, where the commands
// that waited through the pass would run too: they wait for the restart's start instead.
TEST_F(CommandTurnTest, ACommandThatWaitsBesideARestartRunsOnTheSensorsTheRestartFinds) {
    Settings("[Weather]\r\nPortNum=3\r\nPortType=64\r\n[DS1820]\r\nReadInterval=1\r\n");
    AddThermometer(0x2801); // a conversion in every round, pumping the loop
    StartStation();
    ASSERT_TRUE(SessionRunning);
    std::unique_ptr<RawCommandClient> reset;
    platform::TTimer timer;
    timer.SetInterval(1);
    timer.OnTimer = [&](platform::TTimer*) {
        if (reset || !form_->Chain.PassInProgress) return;
        reset = std::make_unique<RawCommandClient>(SocketPath());
        reset->Send("TempStatReset\n");
        form_->RestartButton->Click();
    };
    timer.SetEnabled(true);
    Run(3000);
    timer.SetEnabled(false);
    ASSERT_TRUE(reset);
    const TCommandAnswer answer = Decoded(reset->Answer(10000));
    EXPECT_EQ(CountLog("SERVER: Scanning MicroLAN for other devices..."), 2) << "the restart ran";
    EXPECT_EQ(answer.status, kCommandRan);
    EXPECT_FALSE(Holds(answer, "nothing was done")) << answer.lines[0];
    EXPECT_TRUE(opened.empty());
}

TEST_F(CommandTurnTest, ACommandDoesNotWaitForAnAdapterThatDoesNotAnswer) {
    tmex::RemoveBackend(3, tmex::kPortTypeSimulated); // nothing answers on the port named
    Start();
    RawCommandClient reset(SocketPath());
    reset.Send("TempStatReset\n");
    // The start is tried again every 30 s; the command is answered once the first try has run.
    const TCommandAnswer answer = Decoded(reset.Answer(5000));
    EXPECT_EQ(CountLog("MicroLAN: Error starting session on port 3, type 64"), 1);
    EXPECT_EQ(answer.lines, std::vector<std::string>{
                                "TempStatReset: the station has no temperature sensor; nothing was done"});
    EXPECT_EQ(opened, (std::set<std::pair<int16_t, int16_t>>{{3, tmex::kPortTypeSimulated}}));
}

TEST_F(CommandTurnTest, ACommandWhoseClientHasGoneByItsTurnDoesNotRun) {
    Settings("[Weather]\r\nPortNum=3\r\nPortType=64\r\n[DS1820]\r\nReadInterval=1\r\n");
    AddThermometer(0x2801); // a conversion in every round, pumping the loop
    StartStation();
    ASSERT_TRUE(SessionRunning);
    Temperature& thermometer = *SensorSet().TemperatureSensors[0];
    thermometer.temp.high = 99;
    // Inside a pass, the client gives its command and gives up before the pass ends.
    std::unique_ptr<RawCommandClient> client;
    bool gaveUp = false;
    platform::TTimer timer;
    timer.SetInterval(1);
    timer.OnTimer = [&](platform::TTimer*) {
        if (!form_->Chain.PassInProgress || gaveUp) return;
        if (!client) {
            client = std::make_unique<RawCommandClient>(SocketPath());
            client->Send("TempStatReset\n");
        } else if (form_->Chain.PassInProgress) {
            client->Close();
            gaveUp = true;
        }
    };
    timer.SetEnabled(true);
    Run(3000);
    timer.SetEnabled(false);
    ASSERT_TRUE(gaveUp);
    EXPECT_EQ(thermometer.temp.high, 99.0f) << "the command ran";
    EXPECT_EQ(CountLog("COMMAND: Dropped TempStatReset: its client had gone before its turn"), 1);
    // One that waits for its answer still runs.
    RawCommandClient patient(SocketPath());
    patient.Send("TempStatReset\n");
    EXPECT_EQ(Decoded(patient.Answer()).status, kCommandRan);
    EXPECT_EQ(thermometer.temp.high, thermometer.temp.value);
}

} // namespace
