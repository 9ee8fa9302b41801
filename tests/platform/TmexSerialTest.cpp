// The serial DS2480 adapter backend against the adapter emulator on a pseudo-terminal: the same line
// traffic as the driver on the net directly, the chip's set-up and its answers, a port with no adapter,
// and the faults (lost and garbled answers, a short, a device that vanishes and comes back).
#include "TmexFixture.h"

#include "platform/tmex/DS2480Backend.h"
#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS18S20.h"
#include "platform/tmex/sim/DS2423.h"
#include "platform/tmex/sim/DemoNet.h"
#include "platform/tmex/sim/SerialEmulator.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace tmex_test;

namespace {

// The line slots of a net's traffic log (driver calls left out): what the devices lived through.
std::vector<std::string> Slots(const sim::SimNet& net) {
    std::vector<std::string> out;
    for (const auto& e : net.Traffic())
        if (e.kind != sim::TrafficEntry::Call)
            out.push_back(e.text + std::to_string(e.sent) + "=" + std::to_string(e.result));
    return out;
}

} // namespace

// The fixture's own net stays on the simulated port (1, 64); a second net of the same devices sits
// behind the emulator on the serial port (1, 5).
class TmexSerial : public TmexTest {
protected:
    void SetUp() override {
        TmexTest::SetUp();
        char pattern[] = "/tmp/korvane-serial-XXXXXX";
        folder_ = mkdtemp(pattern);
        tmex::SetDriverSettingsPath(folder_ + "/tmex.ini");
        WriteSettings("[DS2480]\r\n1=" + folder_ + "/ttyDS2480\r\n");
        tmex::SetDriverLog([this](const std::string& line) { log_.push_back(line); });
        serialNet = std::make_shared<sim::SimNet>();
    }
    void TearDown() override {
        if (serialSession > 0) tmex::EndSession(serialSession);
        tmex::ResetDriver(); // before the emulator goes: the backend closes its device first
        emulator.reset();
        TmexTest::TearDown();
        std::filesystem::remove_all(folder_);
    }

    void WriteSettings(const std::string& text) {
        std::ofstream(folder_ + "/tmex.ini", std::ios::binary) << text;
    }

    // Both nets get the same devices from `build`.
    template <typename F> void BuildBoth(F build) {
        build(*net);
        build(*serialNet);
    }
    void StartEmulator() {
        emulator = std::make_unique<sim::SerialEmulator>(
            serialNet, sim::SerialEmulator::Options{folder_ + "/ttyDS2480", 0});
        std::string error;
        ASSERT_TRUE(emulator->Start(error)) << error;
    }
    tmex::SessionHandle OpenSerial() {
        serialSession = tmex::StartSession(1, tmex::kPortTypeDS2480, 0);
        return serialSession;
    }
    void CloseSerial() {
        tmex::EndSession(serialSession);
        serialSession = 0;
    }
    int CountLog(const std::string& text) const {
        int n = 0;
        for (const auto& line : log_)
            if (line.find(text) != std::string::npos) ++n;
        return n;
    }
    std::vector<std::string> SerialSlots() {
        std::vector<std::string> out;
        emulator->WithNet([&](tmex::Backend&) { out = Slots(*serialNet); });
        return out;
    }
    void ClearTraffic() {
        net->ClearTraffic();
        emulator->WithNet([&](tmex::Backend&) { serialNet->ClearTraffic(); });
    }

    std::string folder_;
    std::vector<std::string> log_;
    std::shared_ptr<sim::SimNet> serialNet;
    std::unique_ptr<sim::SerialEmulator> emulator;
    tmex::SessionHandle serialSession = 0;
};

// What a station does with its devices, on one session: every search, a selection, a scratchpad write
// and read with bytes that are the chip's mode switch, a parasite conversion under the strong pull-up,
// a counter page. Returns what it read.
std::vector<int> StationWork(tmex::SessionHandle h, const sim::Rom& thermometer, const sim::Rom& parasite,
                             const sim::Rom& counter) {
    std::vector<int> seen;
    tmex::TmexStateBuffer st;
    for (int16_t r = tmex::First(h, &st); r == 1; r = tmex::Next(h, &st)) {
        uint16_t words[8] = {};
        tmex::Rom(h, &st, words);
        seen.push_back(words[0]);
        seen.push_back(words[7]);
    }
    tmex::FamilySearchSetup(h, &st, 0x10);
    seen.push_back(tmex::First(h, &st));
    tmex::FamilySearchSetup(h, &st, 0x42); // no such family
    seen.push_back(tmex::First(h, &st));

    auto select = [&](const sim::Rom& rom) {
        auto words = rom.Words();
        tmex::Rom(h, &st, words.data());
        return tmex::Access(h, &st);
    };
    seen.push_back(select(thermometer));
    uint8_t write[4] = {0x4E, 0xE3, 0xE3, 0x7F};
    seen.push_back(tmex::BlockIO(h, write, 4));
    seen.push_back(select(thermometer));
    uint8_t read[10] = {0xBE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    seen.push_back(tmex::BlockIO(h, read, 10));
    seen.insert(seen.end(), read + 1, read + 10);

    seen.push_back(select(parasite));
    seen.push_back(tmex::OneWireLevel(h, 0, 1, 2));
    seen.push_back(tmex::TouchByte(h, 0x44));
    platform::Sleep(800);
    seen.push_back(tmex::OneWireLevel(h, 0, 0, 0));
    seen.push_back(tmex::TouchBit(h, 1));

    auto words = counter.Words();
    tmex::Rom(h, &st, words.data());
    uint8_t page[40];
    seen.push_back(tmex::ReadPageWithCounter(h, &st, 15, page));
    seen.insert(seen.end(), page + 32, page + 36);
    return seen;
}

TEST_F(TmexSerial, TheAdapterGivesTheSameLineTrafficAsTheNetDirectlyWithAndWithoutTheSearchAccelerator) {
    sim::Rom thermometer, counter, parasite = sim::Rom::Make(0x10, 0x99);
    for (const auto& d : sim::DemoDevices()) {
        if (d.description == "Living room") thermometer = d.rom;
        if (d.type == "RainGauge") counter = d.rom;
    }
    BuildBoth([&](sim::SimNet& n) {
        sim::BuildDemoNet(n);
        n.Add<sim::DS18S20>(n.Trunk(), parasite).SetParasite(true);
    });
    StartEmulator();

    for (const char* accelerator : {"1", "0"}) {
        SCOPED_TRACE(std::string("SearchAccelerator=") + accelerator);
        tmex::ResetDriver(); // the settings are read when the port opens
        tmex::SetDriverSettingsPath(folder_ + "/tmex.ini");
        tmex::SetDriverLog([this](const std::string& line) { log_.push_back(line); });
        tmex::InstallBackend(1, tmex::kPortTypeSimulated, net);
        WriteSettings("[DS2480]\r\n1=" + folder_ + "/ttyDS2480\r\nSearchAccelerator=" + accelerator + "\r\n");
        Open();
        ASSERT_GT(OpenSerial(), 0);
        EXPECT_EQ(tmex::Setup(serialSession), 1);
        ClearTraffic();
        std::vector<int> direct = StationWork(session, thermometer, parasite, counter);
        std::vector<int> serial = StationWork(serialSession, thermometer, parasite, counter);
        EXPECT_EQ(serial, direct);
        EXPECT_EQ(SerialSlots(), Slots(*net));
        EXPECT_EQ(direct[direct.size() - 5], 40) << "the counter page was read";
        // The demo devices but the one behind the coupler, and the parasite thermometer: two words each.
        EXPECT_GE(direct.size(), 2 * sim::DemoDevices().size());
        CloseSerial();
    }
    EXPECT_EQ(CountLog("DRIVER: DS2480 port 1: adapter ready on " + folder_ + "/ttyDS2480"), 2);
    auto* p = static_cast<sim::DS18S20*>(serialNet->Find(parasite));
    EXPECT_EQ(p->Brownouts(), 0) << "the strong pull-up held through the parasite conversion";
    EXPECT_EQ(p->Conversions(), 2);
    EXPECT_EQ(emulator->Breaks(), 2u) << "one break per opening of the port, none in between";
}

TEST_F(TmexSerial, ResetAnswersGivePresenceNoneAndShortOnceInTheLog) {
    StartEmulator();
    ASSERT_GT(OpenSerial(), 0);
    EXPECT_EQ(tmex::TouchReset(serialSession), 0) << "an empty net";
    emulator->WithNet([&](tmex::Backend&) { serialNet->Add<sim::DS18B20>(serialNet->Trunk(), 0x5ULL); });
    EXPECT_EQ(tmex::TouchReset(serialSession), 1);
    emulator->WithNet([&](tmex::Backend&) { serialNet->SetShorted(true); });
    EXPECT_EQ(tmex::TouchReset(serialSession), 2);
    EXPECT_EQ(tmex::TouchReset(serialSession), 2);
    emulator->WithNet([&](tmex::Backend&) { serialNet->SetShorted(false); });
    EXPECT_EQ(tmex::TouchReset(serialSession), 1);
    EXPECT_EQ(CountLog("the 1-Wire net is shorted"), 1);
    EXPECT_EQ(CountLog("the 1-Wire net is no longer shorted"), 1);
}

TEST_F(TmexSerial, LineParametersReadTheChipsValuesAndSetOnlyAt9600Baud) {
    StartEmulator();
    ASSERT_GT(OpenSerial(), 0);
    tmex::TMLine block;
    ASSERT_EQ(tmex::DS2480LineParameters(serialSession, &block), 1);
    EXPECT_EQ(block.normalPDSRC, 3);   // 1.37 V/us
    EXPECT_EQ(block.normalW1LT, 2);    // 10 us
    EXPECT_EQ(block.normalDSOWORT, 5); // 8 us
    EXPECT_EQ(block.normalByteBaud, 0);
    block.flag = 0;
    block.normalPDSRC = 1;
    EXPECT_EQ(tmex::DS2480LineParameters(serialSession, &block), 1);
    block.flag = 1;
    tmex::DS2480LineParameters(serialSession, &block);
    EXPECT_EQ(block.normalPDSRC, 1);
    block.flag = 0;
    block.normalByteBaud = 3;
    EXPECT_EQ(tmex::DS2480LineParameters(serialSession, &block), 0);
    EXPECT_EQ(CountLog("only 9600 baud"), 1);
}

TEST_F(TmexSerial, APortWithoutAnAdapterOpensSessionsAnswersNothingAndSaysWhyOnce) {
    auto expectNoAdapter = [&] {
        ASSERT_GT(OpenSerial(), 0);
        EXPECT_EQ(tmex::Setup(serialSession), 0);
        EXPECT_EQ(tmex::TouchReset(serialSession), 0);
        EXPECT_LT(tmex::TouchByte(serialSession, 0xFF), 0);
        tmex::TMLine block;
        EXPECT_EQ(tmex::DS2480LineParameters(serialSession, &block), 0);
        CloseSerial();
    };
    WriteSettings("[Driver]\r\nDefaultPortType=5\r\n");
    expectNoAdapter();
    expectNoAdapter();
    EXPECT_EQ(CountLog("no serial device set for this port"), 1);

    WriteSettings("[DS2480]\r\n1=" + folder_ + "/nothing-here\r\n");
    expectNoAdapter();
    EXPECT_EQ(CountLog("cannot open " + folder_ + "/nothing-here: No such file or directory"), 1);

    WriteSettings("[DS2480]\r\n1=" + folder_ + "/tmex.ini\r\n");
    expectNoAdapter();
    EXPECT_EQ(CountLog("not a serial device"), 1);

    // A terminal where nobody answers: the configuration times out.
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    WriteSettings(std::string("[DS2480]\r\n1=") + ptsname(master) + "\r\n");
    expectNoAdapter();
    EXPECT_EQ(CountLog("no answer to the configuration commands"), 1);
    close(master);
}

TEST_F(TmexSerial, ALostOrGarbledAnswerResynchronisesTheChipAndTriesOnceMore) {
    serialNet->Add<sim::DS18B20>(serialNet->Trunk(), 0x5ULL);
    StartEmulator();
    ASSERT_GT(OpenSerial(), 0);
    using Kind = sim::SerialEmulator::Kind;

    emulator->DropNextAnswer(Kind::Reset);
    EXPECT_EQ(tmex::TouchReset(serialSession), 1);
    EXPECT_EQ(CountLog("no answer to a reset (0 of 1 bytes); chip resynchronised, trying again"), 1);

    emulator->GarbleNextAnswer(Kind::Reset);
    EXPECT_EQ(tmex::TouchReset(serialSession), 1);
    EXPECT_EQ(CountLog("garbled answer to a reset"), 1);

    // A data byte that comes back with a bit the master did not send: garbled.
    emulator->GarbleNextAnswer(Kind::Data);
    EXPECT_EQ(tmex::TouchByte(serialSession, 0x00), 0x00);
    EXPECT_EQ(CountLog("garbled answer to a byte"), 1);

    // Twice in a row: the call fails, the next one works.
    emulator->DropNextAnswer(Kind::Bit);
    emulator->DropNextAnswer(Kind::Bit);
    EXPECT_EQ(tmex::TouchBit(serialSession, 1), tmex::kErrPacket);
    EXPECT_EQ(tmex::TouchBit(serialSession, 1), 1);
    EXPECT_EQ(CountLog("no answer to a bit"), 2);
    EXPECT_EQ(emulator->Breaks(), 6u) << "the opening and five resynchronisations";
    EXPECT_EQ(tmex::TouchReset(serialSession), 1);
}

TEST_F(TmexSerial, AVanishedPortIsLostUntilItComesBackAndASessionOpensIt) {
    serialNet->Add<sim::DS18B20>(serialNet->Trunk(), 0x5ULL);
    StartEmulator();
    ASSERT_GT(OpenSerial(), 0);
    ASSERT_EQ(tmex::TouchReset(serialSession), 1);

    emulator->ClosePort();
    EXPECT_LT(tmex::TouchByte(serialSession, 0xCC), 0);
    EXPECT_EQ(tmex::TouchReset(serialSession), 0);
    EXPECT_EQ(CountLog("lost " + folder_ + "/ttyDS2480"), 1);
    CloseSerial();
    ASSERT_GT(OpenSerial(), 0); // still gone: cannot open it
    EXPECT_EQ(tmex::Setup(serialSession), 0);
    EXPECT_EQ(CountLog("cannot open"), 1);
    CloseSerial();

    std::string error;
    ASSERT_TRUE(emulator->ReopenPort(error)) << error;
    ASSERT_GT(OpenSerial(), 0);
    EXPECT_EQ(tmex::Setup(serialSession), 1);
    EXPECT_EQ(tmex::TouchReset(serialSession), 1);
    EXPECT_EQ(CountLog("adapter ready"), 2);
}
