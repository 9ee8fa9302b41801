// Fault hooks, virtual time and the demo net.
#include "TmexFixture.h"

#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS2409.h"
#include "platform/tmex/sim/DS2423.h"
#include "platform/tmex/sim/DS2438.h"
#include "platform/tmex/sim/DemoNet.h"

#include <sstream>

using namespace tmex_test;

class TmexFaults : public TmexTest {};

TEST_F(TmexFaults, ShortedNetReadsZerosAndResetSaysShorted) {
    auto& t = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    Open();
    net->SetShorted(true);
    EXPECT_EQ(tmex::TouchReset(session), 2);
    EXPECT_EQ(T(0xFF), 0x00);
    EXPECT_EQ(T(0x44), 0x00); // every echo fails
    EXPECT_EQ(tmex::TouchBit(session, 1), 0);
    SetRom(t.rom());
    EXPECT_EQ(tmex::Access(session, &state), 1); // the held-low line looks like presence
    EXPECT_EQ(tmex::StrongAccess(session, &state), 0);
    EXPECT_EQ(tmex::First(session, &state), 0);
    auto zeros = Block({0xBE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(tmex::Crc8(std::span<const uint8_t>(zeros.data() + 1, 9)), 0); // all zeros pass CRC8
}

TEST_F(TmexFaults, NoPresence) {
    auto& t = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    Open();
    net->SetNoPresence(true);
    EXPECT_EQ(tmex::TouchReset(session), 0);
    SetRom(t.rom());
    EXPECT_EQ(tmex::Access(session, &state), 0);
    EXPECT_EQ(tmex::StrongAccess(session, &state), 0);
    EXPECT_EQ(tmex::First(session, &state), 0);
}

TEST_F(TmexFaults, VanishedDeviceReadsFFWhileOthersKeepPresence) {
    auto& gone = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    net->Add<sim::DS2438>(net->Trunk(), 0x2ULL);
    Open();
    gone.Remove();
    SetRom(gone.rom());
    EXPECT_EQ(tmex::Access(session, &state), 1);
    EXPECT_EQ(tmex::TouchBit(session, 1), 1);
    EXPECT_EQ(T(0xBE), 0xBE);
    std::vector<uint8_t> pad;
    for (int i = 0; i < 9; ++i)
        pad.push_back(static_cast<uint8_t>(T(0xFF)));
    EXPECT_EQ(pad, std::vector<uint8_t>(9, 0xFF));
    EXPECT_EQ(tmex::Crc8(pad), 0x63) << "9 x 0xFF gives 0x63";
    EXPECT_NE(tmex::Crc8(pad), 0);
    gone.Reinsert();
    EXPECT_EQ(tmex::StrongAccess(session, &state), 1);
}

TEST_F(TmexFaults, SessionsThatWillNotOpen) {
    Open();
    tmex::EndSession(session);
    session = 0;
    net->ScriptSessionResults({0, 0, 0});
    EXPECT_EQ(tmex::StartSession(1, tmex::kPortTypeSimulated, 0), 0);
    EXPECT_EQ(tmex::StartSession(1, tmex::kPortTypeSimulated, 0), 0);
    EXPECT_EQ(tmex::StartSession(1, tmex::kPortTypeSimulated, 0), 0);
    session = tmex::StartSession(1, tmex::kPortTypeSimulated, 0);
    EXPECT_GT(session, 0);
    tmex::EndSession(session);
    net->SetSessionResult(-1);
    EXPECT_EQ(tmex::StartSession(1, tmex::kPortTypeSimulated, 0), -1);
    net->SetSessionResult(0);
    int before = net->SessionAttempts();
    // Microlan::StartSession's loop: 51 attempts, 100 ms apart, all on the simulated clock.
    uint64_t start = clock->TotalAdvancedMs();
    tmex::SessionHandle h = 0;
    for (int i = 0; i < 51 && h == 0; ++i) {
        h = tmex::StartSession(1, tmex::kPortTypeSimulated, 0);
        platform::Sleep(100);
    }
    EXPECT_EQ(h, 0);
    EXPECT_EQ(net->SessionAttempts() - before, 51);
    EXPECT_EQ(clock->TotalAdvancedMs() - start, 5100u);
    session = 0;
}

TEST_F(TmexFaults, CrcErrorsTransientAndPersistent) {
    auto& c = net->Add<sim::DS2423>(net->Trunk(), 0x1ULL);
    auto& t = net->Add<sim::DS18B20>(net->Trunk(), 0x2ULL);
    Open();
    uint8_t buffer[52];
    SetRom(c.rom());
    c.InjectCrcErrors(1);
    EXPECT_EQ(tmex::ReadPageWithCounter(session, &state, 15, buffer), tmex::kErrPacket);
    EXPECT_EQ(tmex::ReadPageWithCounter(session, &state, 15, buffer), 40);
    c.InjectCrcErrors(-1);
    EXPECT_EQ(tmex::ReadPageWithCounter(session, &state, 15, buffer), tmex::kErrPacket);
    EXPECT_EQ(tmex::ReadPageWithCounter(session, &state, 15, buffer), tmex::kErrPacket);
    c.InjectCrcErrors(0);
    EXPECT_EQ(tmex::ReadPageWithCounter(session, &state, 15, buffer), 40);

    t.InjectCrcErrors(1);
    Select(t.rom());
    auto pad = Block({0xBE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_NE(tmex::Crc8(std::span<const uint8_t>(pad.data() + 1, 9)), 0);
    Select(t.rom());
    pad = Block({0xBE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(tmex::Crc8(std::span<const uint8_t>(pad.data() + 1, 9)), 0);
}

TEST_F(TmexFaults, ConversionsThatNeverFinish) {
    auto& t = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    auto& d = net->Add<sim::DS2438>(net->Trunk(), 0x2ULL);
    t.SetConversionNeverFinishes(true);
    d.SetConversionNeverFinishes(true);
    Open();
    Select(t.rom());
    T(0x44);
    clock->Advance(10000);
    EXPECT_EQ(tmex::TouchBit(session, 1), 0);
    Select(d.rom());
    T(0x44);
    clock->Advance(10000);
    EXPECT_EQ(T(0xFF), 0);
}

TEST_F(TmexFaults, TouchErrorsAndEchoMismatch) {
    Open();
    net->InjectTouchErrors(1, -4);
    EXPECT_EQ(T(0x55), -4);
    EXPECT_EQ(T(0x55), 0x55);
    net->InjectEchoErrors(1, 0x5A);
    EXPECT_EQ(T(0x44), 0x5A);
    uint8_t block[3] = {1, 2, 3};
    net->InjectTouchErrors(1, -4);
    EXPECT_LT(tmex::BlockIO(session, block, 3), 0);
}

TEST_F(TmexFaults, AdapterGone) {
    Open();
    tmex::EndSession(session);
    session = 0;
    net->SetAdapterPresent(false);
    EXPECT_EQ(tmex::StartSession(1, tmex::kPortTypeSimulated, 0), 0);
}

// --- virtual time ---

TEST_F(TmexFaults, EverySlotCostsVirtualTime) {
    Open();
    uint64_t start = clock->TotalAdvancedMs();
    for (int i = 0; i < 100; ++i)
        T(0xFF); // 100 x 0.5 ms
    EXPECT_EQ(clock->TotalAdvancedMs() - start, 50u);
    for (int i = 0; i < 10; ++i)
        tmex::TouchReset(session); // 10 x 1 ms
    EXPECT_EQ(clock->TotalAdvancedMs() - start, 60u);
    net->SetSlotCosts(0, 0, 0);
    for (int i = 0; i < 100; ++i)
        T(0xFF);
    EXPECT_EQ(clock->TotalAdvancedMs() - start, 60u);
}

TEST_F(TmexFaults, PollingLoopEndsOnTheSimulatedClock) {
    auto& d = net->Add<sim::DS2438>(net->Trunk(), 0x1ULL);
    Open();
    Select(d.rom());
    T(0xB4);
    int polls = 0;
    while (T(0xFF) == 0)
        ++polls; // no sleep: the slots themselves move time
    EXPECT_GE(polls, 15);
    EXPECT_LE(polls, 25);
}

TEST_F(TmexFaults, TickWrapKeepsConversionsSane) {
    clock->SetTick(0xFFFFFFFFu - 300); // wraps during the conversion
    auto& t = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    t.SetTemperature(10.0);
    Open();
    Select(t.rom());
    T(0x44);
    platform::Sleep(500);
    EXPECT_EQ(tmex::TouchBit(session, 1), 0);
    platform::Sleep(300);
    EXPECT_EQ(tmex::TouchBit(session, 1), 1);
    EXPECT_LT(platform::GetTickCount(), 1000u); // wrapped
}

TEST(TmexRealClock, SlotsDoNotSleepOnTheRealClock) {
    auto old = platform::Clock::Install(std::make_shared<platform::RealClock>());
    tmex::ResetDriver();
    auto net = std::make_shared<sim::SimNet>();
    tmex::InstallBackend(1, tmex::kPortTypeSimulated, net);
    auto h = tmex::StartSession(1, tmex::kPortTypeSimulated, 0);
    uint32_t start = platform::GetTickCount();
    for (int i = 0; i < 2000; ++i) // 1 s of bus time
        tmex::TouchByte(h, 0xFF);
    EXPECT_LT(platform::GetTickCount() - start, 500u);
    tmex::EndSession(h);
    tmex::ResetDriver();
    platform::Clock::Install(old);
}

// --- the demo net ---

TEST(TmexDemoNet, SensorsIniNamesEveryDeviceWithValidHeaders) {
    std::string text = sim::DemoSensorsIni();
    std::istringstream in(text);
    std::string line;
    int headers = 0;
    while (std::getline(in, line)) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\r'); // CR LF lines, as the station writes them
        if (line[0] == '[') {
            ++headers;
            ASSERT_EQ(line.size(), 19u); // "[" + 16 + "]" + CR
            std::string serial = line.substr(1, 16);
            uint8_t bytes[8];
            for (int i = 0; i < 8; ++i)
                bytes[i] = static_cast<uint8_t>(std::stoi(serial.substr(2 * i, 2), nullptr, 16));
            uint8_t crc = 0;
            for (int i = 7; i >= 0; --i)
                crc = tmex::Crc8Update(crc, bytes[i]);
            EXPECT_EQ(crc, 0) << serial;
        }
    }
    EXPECT_EQ(headers, static_cast<int>(sim::DemoDevices().size()) - 1); // all but the adapter ID
    EXPECT_NE(text.find("Type=WindSpeed\r\n"), std::string::npos);
    EXPECT_NE(text.find("Type=WindDirection\r\n"), std::string::npos);
    EXPECT_NE(text.find("Type=RainGauge\r\n"), std::string::npos);
    EXPECT_NE(text.find("Type=Humidity\r\n"), std::string::npos);
    EXPECT_NE(text.find("Type=Barometer\r\n"), std::string::npos);
    EXPECT_NE(text.find("SwitchPort=MAIN\r\n"), std::string::npos);
}

TEST(TmexDemoNet, EveryDeviceIsFoundWithTheCouplerBranchOn) {
    auto old = platform::Clock::Install(std::make_shared<platform::SimulatedClock>());
    tmex::ResetDriver();
    auto net = sim::MakeDemoNet();
    tmex::InstallBackend(1, tmex::kPortTypeSimulated, net);
    auto h = tmex::StartSession(1, tmex::kPortTypeSimulated, 0);
    sim::DS2409* coupler = nullptr;
    for (auto* d : net->Devices())
        if (d->rom().Family() == 0x1F) coupler = static_cast<sim::DS2409*>(d);
    ASSERT_TRUE(coupler);
    coupler->SetActiveBranch(sim::DS2409::MainBranch);
    tmex::TmexStateBuffer st;
    std::size_t count = 0;
    for (int16_t r = tmex::First(h, &st); r == 1; r = tmex::Next(h, &st))
        ++count;
    EXPECT_EQ(count, sim::DemoDevices().size());
    tmex::EndSession(h);
    tmex::ResetDriver();
    platform::Clock::Install(old);
}

TEST_F(TmexFaults, ChangesMadeBetweenSlotsReachTheNextSlot) {
    auto& coupler = net->Add<sim::DS2409>(net->Trunk(), 0x1ULL);
    auto& onMain = net->Add<sim::DS18B20>(coupler.Main(), 0x2ULL);
    auto& onTrunk = net->Add<sim::DS18B20>(net->Trunk(), 0x3ULL);
    auto& other = net->Add<sim::DS2438>(net->Trunk(), 0x4ULL);
    const sim::Thermometer::Pad pad{0x91, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10};
    onMain.SetScratchpadRaw(pad);
    onTrunk.SetScratchpadRaw(pad);
    coupler.SetActiveBranch(sim::DS2409::MainBranch);
    Open();

    // A read scratchpad on a branch: the device keeps its place while its branch is off or the adapter
    // is gone, and goes on from there when they are back.
    ASSERT_TRUE(Select(onMain.rom()));
    T(0xBE);
    EXPECT_EQ(T(0xFF), pad[0]);
    coupler.SetActiveBranch(sim::DS2409::None);
    EXPECT_EQ(T(0xFF), 0xFF);
    coupler.SetActiveBranch(sim::DS2409::MainBranch);
    EXPECT_EQ(T(0xFF), pad[1]);
    net->SetAdapterPresent(false);
    EXPECT_EQ(T(0xFF), 0xFF);
    net->SetAdapterPresent(true);
    EXPECT_EQ(T(0xFF), pad[2]);

    // Taken off in the middle of a read: nothing more; put back: idle until the next reset.
    ASSERT_TRUE(Select(onTrunk.rom()));
    T(0xBE);
    EXPECT_EQ(T(0xFF), pad[0]);
    onTrunk.Remove();
    EXPECT_EQ(T(0xFF), 0xFF);
    onTrunk.Reinsert();
    EXPECT_EQ(T(0xFF), 0xFF);

    // A powered conversion turned parasite while another device is talked to browns out at its next slot.
    onTrunk.SetTemperature(10.0);
    ASSERT_TRUE(Select(onTrunk.rom()));
    T(0x44);
    ASSERT_TRUE(Select(other.rom()));
    onTrunk.SetParasite(true);
    EXPECT_EQ(onTrunk.Brownouts(), 0);
    T(0xB4);
    EXPECT_EQ(onTrunk.Brownouts(), 1);
}

TEST_F(TmexFaults, ABranchTheCouplerSwitchesOnIsReachedFromTheNextSlot) {
    auto& coupler = net->Add<sim::DS2409>(net->Trunk(), 0x1ULL);
    auto& onMain = net->Add<sim::DS18B20>(coupler.Main(), 0x2ULL);
    coupler.SetActiveBranch(sim::DS2409::MainBranch);
    Open();
    ASSERT_EQ(tmex::TouchReset(session), 1); // the branch device awaits a ROM command
    coupler.SetActiveBranch(sim::DS2409::None);
    ASSERT_TRUE(Select(coupler.rom()));
    EXPECT_EQ(T(0xA5), 0xA5); // direct-on MAIN
    // The next byte is the coupler's confirmation and, on the branch now on, a Read ROM.
    EXPECT_EQ(T(0x33), 0x33 & 0xA5);
    EXPECT_EQ(T(0xFF), onMain.rom().bytes[0]);
}
