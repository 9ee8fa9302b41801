// The DS2480B as its data sheet describes it (the chip emulator alone), and the serial adapter backend
// against that emulator on a pseudo-terminal: the same line traffic as the driver on the net directly,
// the chip's set-up, its answers in every form, the strong pull-up, the line parameters, a port with no
// adapter, and the faults (lost and garbled answers, a short, a device that vanishes and comes back).
#include "TmexFixture.h"

#include "platform/tmex/DS2480.h"
#include "platform/tmex/DS2480Backend.h"
#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS18S20.h"
#include "platform/tmex/sim/DS2423.h"
#include "platform/tmex/sim/DS2480Chip.h"
#include "platform/tmex/sim/DemoNet.h"
#include "platform/tmex/sim/SerialEmulator.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <unistd.h>

using namespace tmex_test;
namespace ds2480 = tmex::ds2480;

namespace {

// What the devices lived through: the line slots of a net's traffic log, each byte as its eight time
// slots (the adapter may send a byte slot by slot), without the driver calls and the level changes.
std::vector<std::string> Slots(const sim::SimNet& net) {
    std::vector<std::string> out;
    for (const auto& e : net.Traffic()) {
        if (e.kind == sim::TrafficEntry::Reset) out.push_back("R=" + std::to_string(e.result));
        if (e.kind == sim::TrafficEntry::Bit)
            out.push_back(std::to_string(e.sent) + "=" + std::to_string(e.result));
        if (e.kind == sim::TrafficEntry::Byte)
            for (int i = 0; i < 8; ++i)
                out.push_back(std::to_string((e.sent >> i) & 1) + "=" + std::to_string((e.result >> i) & 1));
    }
    return out;
}

int BytesOnLine(const sim::SimNet& net, int byte) {
    int n = 0;
    for (const auto& e : net.Traffic())
        if (e.kind == sim::TrafficEntry::Byte && e.sent == byte) ++n;
    return n;
}

// --- the chip alone ---------------------------------------------------------------------------------

class TmexDS2480Chip : public ::testing::Test {
protected:
    // The bytes' answers, all at time `atUs`.
    std::vector<uint8_t> Send(std::vector<uint8_t> bytes, int64_t atUs = 0) {
        std::vector<uint8_t> out;
        for (uint8_t b : bytes) {
            answers.clear();
            chip.Receive(b, atUs, answers);
            for (const auto& a : answers)
                out.push_back(a.byte);
        }
        return out;
    }
    std::vector<uint8_t> AdvanceTo(int64_t us) {
        answers.clear();
        chip.Advance(us, answers);
        std::vector<uint8_t> out;
        for (const auto& a : answers)
            out.push_back(a.byte);
        return out;
    }
    void PowerUp() {
        chip.Break();
        EXPECT_TRUE(Send({ds2480::kTimingByte}).empty()) << "the timing byte is not answered";
    }

    sim::SimNet net;
    sim::DS2480Chip chip{net};
    std::vector<sim::DS2480Chip::Answer> answers;
};

using V = std::vector<uint8_t>;

TEST_F(TmexDS2480Chip, APulseCommandPullsUpAtOnceAndItsArmBitHoldsForEveryByteUntilDisarmed) {
    net.Add<sim::DS18B20>(net.Trunk(), 0x7ULL);
    PowerUp();
    EXPECT_EQ(Send({ds2480::ConfigWrite(ds2480::kPullupDuration, 0)}), V{0x30}); // 16.4 ms
    EXPECT_EQ(Send({ds2480::PulseCommand(false, true)}, 1000), V{}) << "answered when the pulse ends";
    EXPECT_TRUE(net.PullupActive()) << "the pulse starts at once, armed or not";
    EXPECT_EQ(AdvanceTo(1000 + 16'399), V{});
    EXPECT_EQ(AdvanceTo(1000 + 16'400), V{0xEC});
    EXPECT_FALSE(net.PullupActive());
    // Armed: every data byte is followed by a pulse of the configured duration.
    Send({ds2480::kDataMode});
    for (int64_t t : {100'000, 200'000}) {
        EXPECT_EQ(Send({0xFF}, t), V{0xFF});
        EXPECT_TRUE(net.PullupActive()) << t;
        EXPECT_EQ(AdvanceTo(t + 20'000), V{0xEC});
    }
    // A pulse command without the arm bit disarms, and starts a pulse of its own; 0xF1 ends it.
    EXPECT_EQ(Send({ds2480::kCommandMode, ds2480::kPullupNow, ds2480::kStopPulse}, 300'000), V{0xEC});
    EXPECT_EQ(Send({ds2480::kDataMode, 0xFF}, 400'000), V{0xFF});
    EXPECT_FALSE(net.PullupActive());
    EXPECT_FALSE(chip.PulseActive());

    // Unlimited: after "arm, then a byte in data mode" the pull-up never ends by itself, and the byte
    // never reaches the line.
    PowerUp();
    EXPECT_EQ(Send({ds2480::ConfigWrite(ds2480::kPullupDuration, ds2480::kUnlimited)}), V{0x3E});
    net.ClearTraffic();
    EXPECT_EQ(Send({ds2480::kCommandMode, 0xEF, ds2480::kDataMode, 0x44}), V{});
    EXPECT_EQ(AdvanceTo(60'000'000), V{});
    EXPECT_TRUE(net.PullupActive());
    EXPECT_EQ(BytesOnLine(net, 0x44), 0);
    EXPECT_EQ(Send({ds2480::kCommandMode, ds2480::kStopPulse}), V{0xEC}) << "only the termination ends it";
}

TEST_F(TmexDS2480Chip, AFinitePullupLastsItsDurationAndTheTwelveVoltPulseIsAnswered) {
    PowerUp();
    Send({ds2480::ConfigWrite(ds2480::kPullupDuration, 4)}); // 524 ms
    const uint8_t bit = ds2480::BitCommand(1, ds2480::kSpeedRegular, true);
    EXPECT_EQ(Send({bit}, 0), V{ds2480::BitAnswer(bit, 1)}) << "the slot is answered before its pull-up";
    EXPECT_TRUE(net.PullupActive());
    EXPECT_EQ(chip.PulseEndUs(), 524'288);
    EXPECT_EQ(Send({ds2480::ResetCommand(ds2480::kSpeedRegular)}, 1000), V{}) << "no slot while it lasts";
    EXPECT_EQ(AdvanceTo(524'287), V{});
    EXPECT_EQ(AdvanceTo(524'288), V{0xEC});
    EXPECT_FALSE(net.PullupActive());
    // The 12 V programming pulse: 32 us, and one that lasts until ended.
    Send({ds2480::ConfigWrite(ds2480::kProgrammingPulse, 0)});
    EXPECT_EQ(Send({ds2480::PulseCommand(true, false)}, 2'000'000), V{});
    EXPECT_EQ(AdvanceTo(2'000'032), V{0xFC});
    Send({ds2480::ConfigWrite(ds2480::kProgrammingPulse, ds2480::kUnlimited)});
    EXPECT_EQ(Send({ds2480::PulseCommand(true, false), ds2480::kStopPulse}, 3'000'000), V{0xFC});
    // The two low bits of a pulse's answer are not fixed.
    chip.SetPulseAnswerLowBits(3);
    EXPECT_EQ(Send({ds2480::PulseCommand(true, false), ds2480::kStopPulse}, 4'000'000), V{0xFF});
}

TEST_F(TmexDS2480Chip, ResetAnswersComeInBothFormsWithEveryResult) {
    sim::Device& device = net.Add<sim::DS18B20>(net.Trunk(), 0x9ULL);
    for (bool bit5 : {false, true}) {
        SCOPED_TRACE(bit5 ? "0xED form" : "0xCD form");
        PowerUp();
        chip.SetResetAnswerBit5(bit5);
        const uint8_t form = bit5 ? 0xE0 : 0xC0;
        const uint8_t reset = ds2480::ResetCommand(ds2480::kSpeedFlexible);
        device.Remove();
        EXPECT_EQ(Send({reset}), V{static_cast<uint8_t>(form | 0x0F)}) << "no presence";
        device.Reinsert();
        EXPECT_EQ(Send({reset}), V{static_cast<uint8_t>(form | 0x0D)}) << "presence";
        chip.ForceNextResetResult(ds2480::kAlarmingPresence);
        EXPECT_EQ(Send({reset}), V{static_cast<uint8_t>(form | 0x0E)}) << "alarming presence";
        net.SetShorted(true);
        EXPECT_EQ(Send({reset}), V{static_cast<uint8_t>(form | 0x0C)}) << "shorted";
        net.SetShorted(false);
    }
}

TEST_F(TmexDS2480Chip, ASearchThatNoDeviceAnswersReadsAllOnesAndTheParametersActAtFlexibleSpeed) {
    PowerUp();
    chip.ForceNextResetResult(ds2480::kPresence); // a presence from noise, or a device that then left
    Send({ds2480::ResetCommand(ds2480::kSpeedRegular), ds2480::kDataMode, 0xF0, ds2480::kCommandMode,
          ds2480::SearchCommand(true, ds2480::kSpeedRegular), ds2480::kDataMode});
    EXPECT_EQ(Send(V(16, 0x00)), V(16, 0xFF));

    Send({ds2480::kCommandMode, ds2480::ConfigWrite(ds2480::kPullDownSlewRate, 1),
          ds2480::ConfigWrite(ds2480::kWrite1LowTime, 2), ds2480::ConfigWrite(ds2480::kSampleOffset, 5),
          ds2480::BitCommand(1, ds2480::kSpeedRegular)});
    EXPECT_EQ(chip.LastSlotTiming(), sim::DS2480Chip::SlotTiming{}) << "regular speed: the chip's own timing";
    Send({ds2480::BitCommand(1, ds2480::kSpeedFlexible)});
    EXPECT_EQ(chip.LastSlotTiming(), (sim::DS2480Chip::SlotTiming{ds2480::kSpeedFlexible, 1, 2, 5}));
}

TEST_F(TmexDS2480Chip, WithoutPowerTheChipAnswersNothingAndComesBackInItsPowerOnState) {
    auto& parasite = net.Add<sim::DS18B20>(net.Trunk(), 0x7ULL);
    parasite.SetParasite(true);
    PowerUp();
    EXPECT_EQ(Send({ds2480::ConfigWrite(ds2480::kPullupDuration, ds2480::kUnlimited)}), V{0x3E});
    // Convert T under the strong pull-up: the byte as eight slots, the pull-up after the last.
    Send({ds2480::ResetCommand(ds2480::kSpeedRegular), ds2480::kDataMode, 0xCC, ds2480::kCommandMode});
    for (int i = 0; i < 8; ++i)
        Send({ds2480::BitCommand((0x44 >> i) & 1, ds2480::kSpeedRegular, i == 7)});
    ASSERT_TRUE(parasite.Converting());
    ASSERT_TRUE(net.PullupActive());

    chip.PowerOff();
    EXPECT_FALSE(net.PullupActive());
    EXPECT_EQ(parasite.Brownouts(), 1) << "the line lost its pull-up";
    EXPECT_EQ(Send({ds2480::kStopPulse, ds2480::ResetCommand(ds2480::kSpeedRegular)}), V{});
    EXPECT_EQ(AdvanceTo(10'000'000), V{});

    // Back: the first byte is its timing byte, its settings are the power-on ones.
    chip.PowerOn();
    EXPECT_EQ(Send({ds2480::kStopPulse}), V{});
    EXPECT_NE(Send({ds2480::ConfigRead(ds2480::kPullupDuration)}),
              V{ds2480::ConfigReadAnswer(ds2480::kUnlimited)});
    EXPECT_EQ(Send({ds2480::ResetCommand(ds2480::kSpeedRegular)}), V{0xCD});

    // A stray byte after every timing byte, not after the first only.
    chip.AnswerEveryTimingByte(0x00);
    for (int i = 0; i < 2; ++i) {
        chip.Break();
        EXPECT_EQ(Send({ds2480::kTimingByte}), V{0x00}) << i;
    }
}

TEST_F(TmexDS2480Chip, APowerCutTakesParasitePowerAndTheChipComesBackAnsweringItsTimingByteAnyhow) {
    auto& parasite = net.Add<sim::DS18B20>(net.Trunk(), 0x7ULL);
    auto& powered = net.Add<sim::DS18B20>(net.Trunk(), 0x8ULL);
    parasite.SetParasite(true);
    // Both have converted (4.5 C; TH, TL and config in the EEPROM too).
    const sim::Thermometer::Pad converted = {0x48, 0x00, 0x11, 0x22, 0x7F, 0xFF, 0x0C, 0x10};
    parasite.SetScratchpadRaw(converted);
    powered.SetScratchpadRaw(converted);
    PowerUp();
    Send({ds2480::ConfigWrite(ds2480::kPullupDuration, ds2480::kUnlimited),
          ds2480::ConfigWrite(ds2480::kPullDownSlewRate, ds2480::kSlew1p37)});

    // Off from 1 ms for 400 ms: the line held low takes the parasite device's power, not the other's.
    chip.CutPower(1000, 400'000, 5);
    EXPECT_FALSE(chip.Powered());
    EXPECT_EQ(parasite.Scratchpad()[0], 0x50) << "85.0 again";
    EXPECT_EQ(parasite.Scratchpad()[2], 0x11) << "TH from the EEPROM";
    EXPECT_EQ(powered.Scratchpad()[0], 0x48);
    EXPECT_EQ(Send({ds2480::kStopPulse, ds2480::ConfigRead(ds2480::kPullupDuration)}, 400'999), V{});
    EXPECT_FALSE(chip.Powered());
    EXPECT_EQ(AdvanceTo(401'000), V{});
    EXPECT_TRUE(chip.Powered());

    // Back in its power-on state: the next byte is its timing byte, answered with a byte drawn from the
    // seed; the configuration is the power-on one.
    const std::optional<uint8_t> timing = sim::DS2480Chip::TimingAnswerAfterCut(5);
    EXPECT_EQ(Send({ds2480::kStopPulse}), timing ? V{*timing} : V{});
    EXPECT_EQ(
        Send({ds2480::ConfigRead(ds2480::kPullupDuration), ds2480::ConfigRead(ds2480::kPullDownSlewRate)}),
        (V{0x00, 0x00}));

    // Over many seeds the answer is any of the 256 bytes, or none.
    std::set<int> seen;
    for (uint64_t seed = 0; seed < 4000; ++seed) {
        chip.PowerOff();
        chip.PowerOn(seed);
        const V answer = Send({ds2480::kStopPulse});
        ASSERT_LE(answer.size(), 1u);
        seen.insert(answer.empty() ? -1 : answer[0]);
        EXPECT_EQ(Send({ds2480::kStopPulse}), V{}) << "only the timing byte: 0xF1 with no pulse running";
    }
    EXPECT_EQ(seen.size(), 257u);
    // A timing byte after a break, not after a cut, is answered as before (here: not at all).
    PowerUp();
}

// --- the backend against the emulator ---------------------------------------------------------------

} // namespace

// The fixture's own net stays on the simulated port (1, 64); a second net of the same devices sits
// behind the emulator on the serial port (1, 5).
class TmexSerial : public TmexTest {
protected:
    void SetUp() override {
        TmexTest::SetUp();
        char pattern[] = "/tmp/korvane-serial-XXXXXX";
        folder_ = mkdtemp(pattern);
        SetDriverUp();
        WriteSettings("[DS2480]\r\n1=" + folder_ + "/ttyDS2480\r\n");
        serialNet = std::make_shared<sim::SimNet>();
    }
    void TearDown() override {
        if (serialSession > 0) tmex::EndSession(serialSession);
        tmex::ResetDriver(); // before the emulator goes: the backend closes its device first
        emulator.reset();
        TmexTest::TearDown();
        std::filesystem::remove_all(folder_);
    }

    // The driver's settings file and log, after a reset of the driver too.
    void SetDriverUp() {
        tmex::SetDriverSettingsPath(folder_ + "/tmex.ini");
        tmex::SetDriverLog([this](const std::string& line) { log_.push_back(line); });
        // The emulator's thread may be slow to answer on a loaded machine: only a dropped answer times out.
        tmex::DS2480Backend::SetAnswerTimeoutMs(1000);
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
    void WithChip(const std::function<void(sim::DS2480Chip&)>& f) { emulator->WithChip(f); }

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
        SetDriverUp();
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
    WithChip([](sim::DS2480Chip& chip) {
        EXPECT_FALSE(chip.PulseArmed()) << "no pull-up armed after every byte";
        EXPECT_EQ(chip.LastSlotTiming().speed, ds2480::kSpeedFlexible);
    });
}

TEST_F(TmexSerial, TheStrongPullupFollowsTheByteOrTheBitOrStartsNowAndEndsAtTheNextCall) {
    auto& parasite = serialNet->Add<sim::DS18B20>(serialNet->Trunk(), 0x44ULL);
    parasite.SetParasite(true);
    StartEmulator();
    ASSERT_GT(OpenSerial(), 0);
    auto pullup = [&] {
        bool on = false;
        emulator->WithNet([&](tmex::Backend&) { on = serialNet->PullupActive(); });
        return on;
    };
    // A pulse command has no answer until it ends: the emulator takes it in its own time.
    auto pullupComesOn = [&] {
        for (int i = 0; i < 2000 && !pullup(); ++i)
            usleep(1000);
        return pullup();
    };
    EXPECT_EQ(tmex::TouchReset(serialSession), 1);
    EXPECT_EQ(tmex::TouchByte(serialSession, 0xCC), 0xCC);
    EXPECT_EQ(tmex::OneWireLevel(serialSession, 0, 1, 2), 1);
    EXPECT_FALSE(pullup()) << "armed, not yet on";
    EXPECT_EQ(tmex::TouchByte(serialSession, 0x44), 0x44);
    EXPECT_TRUE(pullup());
    EXPECT_EQ(tmex::OneWireLevel(serialSession, 1, 0, 0), 1);
    platform::Sleep(800);
    EXPECT_EQ(tmex::OneWireLevel(serialSession, 0, 0, 0), 0);
    EXPECT_FALSE(pullup());
    EXPECT_EQ(tmex::TouchBit(serialSession, 1), 1) << "the conversion is done";
    EXPECT_EQ(parasite.Conversions(), 1);
    EXPECT_EQ(parasite.Brownouts(), 0);

    EXPECT_EQ(tmex::OneWireLevel(serialSession, 0, 1, 1), 1);
    EXPECT_EQ(tmex::TouchBit(serialSession, 1), 1);
    EXPECT_TRUE(pullup()) << "after the bit";
    EXPECT_EQ(tmex::TouchReset(serialSession), 1) << "the next call ends it first";
    EXPECT_FALSE(pullup());
    EXPECT_EQ(tmex::OneWireLevel(serialSession, 0, 1, 0), 1);
    EXPECT_TRUE(pullupComesOn()) << "at once";
    EXPECT_EQ(tmex::OneWireLevel(serialSession, 0, 0, 0), 0);
    EXPECT_FALSE(pullup());
    EXPECT_EQ(CountLog("resynchronised"), 0);
}

// A strong pull-up's end is confirmed by the 5 V pulse's answer, whatever its two open bits, from a chip
// that kept its configuration through the pulse. A chip that lost its power inside the pull-up takes the
// termination for its timing byte: whatever it answers (each of the 256 bytes, or nothing), the end is
// not confirmed, the chip is detected again and the next pull-up ends confirmed.
TEST_F(TmexSerial, OnlyAChipThatKeptItsStateThroughAPullupConfirmsItsEnd) {
    auto& parasite = serialNet->Add<sim::DS18B20>(serialNet->Trunk(), 0x44ULL);
    parasite.SetParasite(true);
    StartEmulator();
    ASSERT_GT(OpenSerial(), 0);
    auto convert = [&] {
        EXPECT_EQ(tmex::TouchReset(serialSession), 1);
        EXPECT_EQ(tmex::TouchByte(serialSession, 0xCC), 0xCC);
        EXPECT_EQ(tmex::OneWireLevel(serialSession, 0, 1, 2), 1);
        EXPECT_EQ(tmex::TouchByte(serialSession, 0x44), 0x44);
    };
    for (uint8_t low = 0; low < 4; ++low) {
        WithChip([low](sim::DS2480Chip& chip) { chip.SetPulseAnswerLowBits(low); });
        convert();
        EXPECT_EQ(tmex::OneWireLevel(serialSession, 0, 0, 0), 0) << "low bits " << int{low};
    }
    EXPECT_EQ(CountLog("resynchronised"), 0);

    for (int answer = -1; answer < 256; ++answer) {
        convert();
        WithChip([answer](sim::DS2480Chip& chip) {
            chip.PowerOff();
            chip.PowerOn();
            if (answer >= 0) chip.AnswerNextTimingByte(static_cast<uint8_t>(answer));
        });
        EXPECT_LT(tmex::OneWireLevel(serialSession, 0, 0, 0), 0) << "timing byte answered " << answer;
        EXPECT_EQ(tmex::TouchReset(serialSession), 1) << answer;
    }
    EXPECT_EQ(CountLog("chip resynchronised after garbled answer to the end of a strong pull-up"), 256);
    EXPECT_EQ(CountLog("chip resynchronised after no answer to the end of a strong pull-up (1 of 2 bytes)"),
              1);
    convert();
    EXPECT_EQ(tmex::OneWireLevel(serialSession, 0, 0, 0), 0) << "configured again";
    EXPECT_EQ(CountLog("no adapter"), 0);
}

TEST_F(TmexSerial, ResetAnswersOfEitherFormGivePresenceNoneAndShortOnceInTheLog) {
    sim::Device& device = serialNet->Add<sim::DS18B20>(serialNet->Trunk(), 0x5ULL);
    StartEmulator();
    ASSERT_GT(OpenSerial(), 0);
    for (bool bit5 : {false, true}) {
        SCOPED_TRACE(bit5 ? "0xED form" : "0xCD form");
        WithChip([bit5](sim::DS2480Chip& chip) { chip.SetResetAnswerBit5(bit5); });
        emulator->WithNet([&](tmex::Backend&) { device.Remove(); });
        EXPECT_EQ(tmex::TouchReset(serialSession), 0) << "an empty net";
        emulator->WithNet([&](tmex::Backend&) { device.Reinsert(); });
        EXPECT_EQ(tmex::TouchReset(serialSession), 1);
        WithChip([](sim::DS2480Chip& chip) { chip.ForceNextResetResult(ds2480::kAlarmingPresence); });
        EXPECT_EQ(tmex::TouchReset(serialSession), 1) << "an alarming presence is a presence";
        emulator->WithNet([&](tmex::Backend&) { serialNet->SetShorted(true); });
        EXPECT_EQ(tmex::TouchReset(serialSession), 2);
        EXPECT_EQ(tmex::TouchReset(serialSession), 2);
        emulator->WithNet([&](tmex::Backend&) { serialNet->SetShorted(false); });
        EXPECT_EQ(tmex::TouchReset(serialSession), 1);
    }
    EXPECT_EQ(CountLog("the 1-Wire net is shorted"), 2);
    EXPECT_EQ(CountLog("the 1-Wire net is no longer shorted"), 2);
    EXPECT_EQ(CountLog("resynchronised"), 0);
}

TEST_F(TmexSerial, ASearchThatNoDeviceAnswersFindsNothing) {
    StartEmulator();
    ASSERT_GT(OpenSerial(), 0);
    tmex::TmexStateBuffer st;
    // A presence that no device gave (noise, or a device that left between reset and search).
    WithChip([](sim::DS2480Chip& chip) { chip.ForceNextResetResult(ds2480::kPresence); });
    EXPECT_EQ(tmex::First(serialSession, &st), 0);
    EXPECT_EQ(CountLog("resynchronised"), 0);
}

TEST_F(TmexSerial, LineParametersActOnTheLineAndAreSetOnlyAt9600Baud) {
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
    block.normalW1LT = 4;
    EXPECT_EQ(tmex::DS2480LineParameters(serialSession, &block), 1);
    block.flag = 1;
    tmex::DS2480LineParameters(serialSession, &block);
    EXPECT_EQ(block.normalPDSRC, 1);
    EXPECT_EQ(tmex::TouchReset(serialSession), 0);
    tmex::TouchBit(serialSession, 1);
    WithChip([](sim::DS2480Chip& chip) {
        EXPECT_EQ(chip.LastSlotTiming(), (sim::DS2480Chip::SlotTiming{ds2480::kSpeedFlexible, 1, 4, 5}));
    });
    block.flag = 0;
    block.normalByteBaud = 3;
    EXPECT_EQ(tmex::DS2480LineParameters(serialSession, &block), 0);
    EXPECT_EQ(CountLog("only 9600 baud"), 1);
}

TEST_F(TmexSerial, DetectionDropsAStrayAnswerAndTriesThreeTimesOnTheOpenPort) {
    StartEmulator();
    using Kind = sim::SerialEmulator::Kind;
    WithChip([](sim::DS2480Chip& chip) { chip.AnswerNextTimingByte(0xCD); }); // an answer to the timing byte
    ASSERT_GT(OpenSerial(), 0);
    EXPECT_EQ(tmex::Setup(serialSession), 1);
    EXPECT_LE(emulator->Breaks(), 2u) << "dropped before the configuration (or, come late, one more try)";
    CloseSerial();
    const uint64_t breaks = emulator->Breaks();

    // Two detections without an answer, the third one with it: one opening of the port.
    tmex::ResetDriver();
    SetDriverUp();
    emulator->DropNextAnswer(Kind::Bit); // the time slot of the detection
    emulator->DropNextAnswer(Kind::Bit);
    ASSERT_GT(OpenSerial(), 0);
    EXPECT_EQ(tmex::Setup(serialSession), 1);
    EXPECT_EQ(emulator->Breaks(), breaks + 3);
    EXPECT_EQ(CountLog("adapter ready"), 2);
    EXPECT_EQ(CountLog("no adapter"), 0);
}

TEST_F(TmexSerial, AStrayByteHeldInAConverterAfterEveryTimingByteDoesNotDefeatDetection) {
    serialNet->Add<sim::DS18B20>(serialNet->Trunk(), 0x5ULL);
    StartEmulator();
    // A USB serial converter passes every answer on 50 ms late, the stray one first.
    emulator->SetLatencyMs(50);
    WithChip([](sim::DS2480Chip& chip) { chip.AnswerEveryTimingByte(0x00); });
    ASSERT_GT(OpenSerial(), 0);
    EXPECT_EQ(tmex::Setup(serialSession), 1);
    EXPECT_EQ(tmex::TouchReset(serialSession), 1);
    // A resynchronisation detects the chip the same way.
    emulator->DropNextAnswer(sim::SerialEmulator::Kind::Reset);
    EXPECT_EQ(tmex::TouchReset(serialSession), 1);
    EXPECT_EQ(CountLog("chip resynchronised after no answer to a reset"), 1);
    EXPECT_EQ(CountLog("no adapter"), 0);
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

    // A terminal where nobody answers: the configuration times out, three times.
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    WriteSettings(std::string("[DS2480]\r\n1=") + ptsname(master) + "\r\n");
    expectNoAdapter();
    EXPECT_EQ(CountLog("no answer to the configuration commands (3 tries)"), 1);
    close(master);
}

TEST_F(TmexSerial, OnlyAnExchangeThatBeginsWithAResetIsSentAgainAndARunOfResyncsIsOneLine) {
    serialNet->Add<sim::DS18B20>(serialNet->Trunk(), 0x5ULL);
    StartEmulator();
    ASSERT_GT(OpenSerial(), 0);
    using Kind = sim::SerialEmulator::Kind;

    emulator->DropNextAnswer(Kind::Reset);
    EXPECT_EQ(tmex::TouchReset(serialSession), 1) << "a reset is sent again";
    EXPECT_EQ(CountLog("chip resynchronised after no answer to a reset (0 of 1 bytes)"), 1);

    emulator->GarbleNextAnswer(Kind::Reset);
    EXPECT_EQ(tmex::TouchReset(serialSession), 1);
    EXPECT_EQ(CountLog("chip resynchronised after garbled answer to a reset"), 1);

    // Inside a transaction the devices are part-way through a command: never sent again.
    ClearTraffic();
    emulator->DropNextAnswer(Kind::Data);
    EXPECT_EQ(tmex::TouchByte(serialSession, 0xCC), tmex::kErrPacket);
    emulator->WithNet([&](tmex::Backend&) { EXPECT_EQ(BytesOnLine(*serialNet, 0xCC), 1) << "sent once"; });
    emulator->GarbleNextAnswer(Kind::Data); // a bit the master sent as 0 comes back as 1
    EXPECT_EQ(tmex::TouchByte(serialSession, 0x00), tmex::kErrPacket);
    emulator->DropNextAnswer(Kind::Bit);
    EXPECT_EQ(tmex::TouchBit(serialSession, 1), tmex::kErrPacket);
    EXPECT_EQ(CountLog("resynchronised"), 2) << "the run is told when it ends";
    EXPECT_EQ(tmex::TouchReset(serialSession), 1);
    EXPECT_EQ(
        CountLog("chip resynchronised 3 times in a row, first after no answer to a byte (0 of 1 bytes)"), 1);
    EXPECT_EQ(emulator->Breaks(), 6u) << "the opening and five resynchronisations";
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

TEST_F(TmexSerial, PacedAnswersComeAfterTheirLineTime) {
    serialNet->Add<sim::DS18B20>(serialNet->Trunk(), 0x5ULL);
    StartEmulator();
    ASSERT_GT(OpenSerial(), 0);
    ASSERT_EQ(tmex::Setup(serialSession), 1);
    emulator->SetBaud(9600);
    // A reset: its command in and its answer out, ten bits each at 9600 baud, and the 1-Wire reset.
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(tmex::TouchReset(serialSession), 1);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::microseconds(2 * 1042 + 1000));
}
