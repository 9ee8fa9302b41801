// The driver calls of against the simulated net: sessions, ports, versions, setup, the line
// primitives, the ROM call, access, line level and line parameters.
#include "TmexFixture.h"

#include "platform/tmex/DriverSettings.h"
#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DemoNet.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace tmex_test;

class TmexDriver : public TmexTest {};

TEST_F(TmexDriver, SessionsAreEverIncreasingAndNeverReused) {
    tmex::SessionHandle a = tmex::StartSession(1, tmex::kPortTypeSimulated, 0);
    ASSERT_GT(a, 0);
    EXPECT_EQ(tmex::ValidSession(a), 1);
    // A second session on the same port while one is open: port busy.
    EXPECT_EQ(tmex::StartSession(1, tmex::kPortTypeSimulated, 0), 0);
    EXPECT_EQ(tmex::EndSession(a), 1);
    EXPECT_EQ(tmex::ValidSession(a), 0);
    tmex::SessionHandle b = tmex::StartSession(1, tmex::kPortTypeSimulated, 0);
    EXPECT_GT(b, a);
    EXPECT_EQ(tmex::ValidSession(a), 0); // stale handle stays invalid
    EXPECT_EQ(tmex::ValidSession(b), 1);
    tmex::EndSession(b);
}

TEST_F(TmexDriver, EndSessionToleratesZeroNegativeAndStaleHandles) {
    EXPECT_EQ(tmex::EndSession(0), 0);
    EXPECT_EQ(tmex::EndSession(-5), 0);
    tmex::SessionHandle a = Open();
    tmex::EndSession(a);
    EXPECT_EQ(tmex::EndSession(a), 0);
    EXPECT_EQ(tmex::ReleasePort(a), 1);
    session = 0;
}

TEST_F(TmexDriver, CallsOnAnInvalidSessionAnswerMinus200) {
    EXPECT_EQ(tmex::Setup(12345), tmex::kErrInvalidSession);
    EXPECT_EQ(tmex::TouchReset(12345), -200);
    EXPECT_EQ(tmex::TouchByte(12345, 0xFF), -200);
    EXPECT_EQ(tmex::TouchBit(12345, 1), -200);
    EXPECT_EQ(tmex::Access(12345, &state), -200);
    EXPECT_EQ(tmex::OneWireLevel(12345, 0, 0, 0), -200);
}

TEST_F(TmexDriver, DefaultPortIsTheSerialAdapterWithoutSettings) {
    tmex::SetDriverSettingsPath("/nonexistent/tmex.ini");
    int16_t num = 0, type = 0;
    EXPECT_EQ(tmex::DefaultPort(&num, &type), 1);
    EXPECT_EQ(num, 1);
    EXPECT_EQ(type, tmex::kPortTypeDS2480) << "never the simulated net unless a setting names it";
    tmex::SetDefaultPortOverride(0, 0);
    tmex::DefaultPort(&num, &type);
    EXPECT_EQ(num, 0);
    EXPECT_EQ(type, 0);
}

TEST_F(TmexDriver, DefaultPortComesFromTheDriverSettingsFileAnyCaseCrlf) {
    auto dir = std::filesystem::temp_directory_path() / "korvane_tmex_settings";
    std::filesystem::create_directories(dir);
    {
        std::ofstream out(dir / "TMEX.INI", std::ios::binary);
        out << "; driver settings\r\n[driver]\r\nDefaultPortNum = 2\r\ndefaultporttype=5 ; serial\r\n";
    }
    tmex::SetDriverSettingsPath((dir / "tmex.ini").string());
    int16_t num = 0, type = 0;
    tmex::DefaultPort(&num, &type);
    EXPECT_EQ(num, 2);
    EXPECT_EQ(type, 5);
    std::filesystem::remove_all(dir);
    auto text = tmex::DriverSettingsText(tmex::DriverSettings{});
    EXPECT_EQ(text, "[Driver]\r\nDefaultPortNum=1\r\nDefaultPortType=5\r\n");
}

TEST_F(TmexDriver, SerialAdapterTypeFiveAnswersAsAPortWithNoAdapter) {
    tmex::SessionHandle h = tmex::StartSession(1, tmex::kPortTypeDS2480, 0);
    ASSERT_GT(h, 0);
    EXPECT_EQ(tmex::Setup(h), 0);
    EXPECT_EQ(tmex::TouchReset(h), 0);
    EXPECT_LT(tmex::TouchByte(h, 0xFF), 0);
    tmex::TMLine block;
    EXPECT_NE(tmex::DS2480LineParameters(h, &block), 1);
    tmex::EndSession(h);
    char text[tmex::kVersionTextSize];
    tmex::TypeDriverVersion(5, text);
    EXPECT_NE(std::string(text).find("DS2480"), std::string::npos);
}

TEST_F(TmexDriver, UnknownPortTypeHasNoHardwareDriver) {
    EXPECT_EQ(tmex::StartSession(1, 3, 0), tmex::kErrNoHardwareDriver);
}

TEST_F(TmexDriver, VersionTexts) {
    char text[tmex::kVersionTextSize];
    EXPECT_GT(tmex::MainDriverVersion(text), 0);
    EXPECT_FALSE(std::string(text).empty());
    tmex::TypeDriverVersion(tmex::kPortTypeSimulated, text);
    EXPECT_EQ(std::string(text), std::string(sim::kSimulatedNetVersion));
}

TEST_F(TmexDriver, SetupResultsFromTheAdapterScript) {
    Open();
    EXPECT_EQ(tmex::Setup(session), 1);
    net->SetSetupResult(4);
    EXPECT_EQ(tmex::Setup(session), 4);
    net->SetSetupResult(1);
    net->SetShorted(true);
    EXPECT_EQ(tmex::Setup(session), 2);
}

TEST_F(TmexDriver, TouchByteFFComesBackAs255) {
    auto& t = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    Open();
    int16_t r = T(0xFF);
    EXPECT_EQ(r, 255); // not -1
    ASSERT_TRUE(Select(t.rom()));
    EXPECT_EQ(T(0xB8), 0xB8); // echo of a write
    EXPECT_EQ(T(0xFF), 255);
}

TEST_F(TmexDriver, ResetReportsPresence) {
    Open();
    EXPECT_EQ(tmex::TouchReset(session), 0); // empty net
    net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    EXPECT_EQ(tmex::TouchReset(session), 1);
    net->SetShorted(true);
    EXPECT_EQ(tmex::TouchReset(session), 2);
}

TEST_F(TmexDriver, BlockIOTouchesInPlaceWithoutAReset) {
    auto& t = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    Open();
    ASSERT_TRUE(Select(t.rom()));
    auto got = Block({0xBE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    auto pad = t.Scratchpad();
    EXPECT_EQ(got[0], 0xBE);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(got[1 + i], pad[i]);
    // Bytes with no preceding reset go to whatever state each device is in: a no-op here.
    auto noop = Block({0xB8, 0x00});
    EXPECT_EQ(noop[0], 0xB8);
    EXPECT_EQ(noop[1], 0x00);
}

TEST_F(TmexDriver, RomCallReadsAndSetsTheCurrentDevice) {
    Open();
    sim::Rom rom = sim::Rom::Make(0x28, 0x112233445566ULL);
    EXPECT_EQ(rom.Text(), "5666554433221128"); // CRC first, family last
    EXPECT_EQ(SetRom(rom), 1);
    EXPECT_EQ(GetRom(), rom);
    // ROM words are 16-bit with values 0..255 (0xF5 stays 0x00F5).
    sim::Rom high = sim::Rom::Make(0x10, 0xF5F5F5F5F5F5ULL);
    SetRom(high);
    uint16_t words[8] = {};
    tmex::Rom(session, &state, words);
    for (uint16_t w : words)
        EXPECT_LE(w, 0xFF);
    EXPECT_EQ(words[1], 0x00F5);
}

TEST_F(TmexDriver, AccessNeedsOnlyAPresencePulseStrongAccessNeedsTheDevice) {
    auto& there = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    sim::Rom absent = sim::Rom::Make(0x28, 0x2ULL);
    Open();
    SetRom(absent);
    EXPECT_EQ(tmex::Access(session, &state), 1); // other devices' presence satisfies it
    EXPECT_EQ(tmex::StrongAccess(session, &state), 0);
    SetRom(there.rom());
    EXPECT_EQ(tmex::StrongAccess(session, &state), 1);
    there.Remove();
    EXPECT_EQ(tmex::Access(session, &state), 0); // nobody answers presence
    EXPECT_EQ(tmex::StrongAccess(session, &state), 0);
}

TEST_F(TmexDriver, LineLevelAndStrongPullup) {
    Open();
    EXPECT_EQ(tmex::OneWireLevel(session, 0, 1, 2), 1);
    EXPECT_FALSE(net->PullupActive()); // armed, engages after the next byte
    T(0x44);
    EXPECT_TRUE(net->PullupActive());
    EXPECT_EQ(tmex::OneWireLevel(session, 0, 0, 0), 0); // "normal level"
    EXPECT_FALSE(net->PullupActive());
    net->SetLevelResult(-3);
    EXPECT_EQ(tmex::OneWireLevel(session, 0, 0, 0), -3);
}

TEST_F(TmexDriver, LineParametersReadAndSet) {
    Open();
    tmex::TMLine block;
    EXPECT_EQ(std::string(block.name), "DS2480");
    block.flag = 1;
    EXPECT_EQ(tmex::DS2480LineParameters(session, &block), 1);
    EXPECT_EQ(block.normalPDSRC, 3);
    EXPECT_EQ(block.normalW1LT, 1);
    block.flag = 0;
    block.normalPDSRC = 7;
    EXPECT_EQ(tmex::DS2480LineParameters(session, &block), 1);
    block.flag = 1;
    block.normalPDSRC = 0;
    tmex::DS2480LineParameters(session, &block);
    EXPECT_EQ(block.normalPDSRC, 7);
    net->SetLineParameterResult(0);
    EXPECT_EQ(tmex::DS2480LineParameters(session, &block), 0);
}

TEST_F(TmexDriver, TrafficLogShowsDriverCalls) {
    auto& t = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    Open();
    net->ClearTraffic();
    Select(t.rom());
    T(0xB8);
    tmex::TouchReset(session);
    EXPECT_EQ(net->CallText(), "SET(" + t.rom().Text() + ")=1 ACC=1 T(B8)=B8 R=1");
}

TEST(TmexDriverDefault, SimulatedPortOneGetsTheDemoNetWhenNothingIsInstalled) {
    auto old = platform::Clock::Install(std::make_shared<platform::SimulatedClock>());
    tmex::ResetDriver();
    tmex::SessionHandle h = tmex::StartSession(1, tmex::kPortTypeSimulated, 0);
    ASSERT_GT(h, 0);
    EXPECT_EQ(tmex::Setup(h), 1);
    EXPECT_EQ(tmex::TouchReset(h), 1);
    tmex::TmexStateBuffer st;
    int count = 0;
    for (int16_t r = tmex::First(h, &st); r == 1; r = tmex::Next(h, &st))
        ++count;
    // Every demo device but the one behind the (switched-off) coupler branch.
    EXPECT_EQ(count, static_cast<int>(sim::DemoDevices().size()) - 1);
    tmex::EndSession(h);
    // A simulated port other than 1 has no net: sessions open, nothing answers.
    tmex::SessionHandle h2 = tmex::StartSession(2, tmex::kPortTypeSimulated, 0);
    EXPECT_EQ(tmex::TouchReset(h2), 0);
    tmex::EndSession(h2);
    tmex::ResetDriver();
    platform::Clock::Install(old);
}
