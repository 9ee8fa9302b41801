// Each family's main commands, driven byte by byte the way the station's sensor classes drive them.
#include "TmexFixture.h"

#include "platform/tmex/sim/DS1822.h"
#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS18S20.h"
#include "platform/tmex/sim/DS2409.h"
#include "platform/tmex/sim/DS2423.h"
#include "platform/tmex/sim/DS2438.h"
#include "platform/tmex/sim/DS2450.h"

#include <array>
#include <cmath>
#include <optional>

using namespace tmex_test;

class TmexDevices : public TmexTest {
protected:
    // Writes TH 0x11, TL 0x22 and config 0x5F to a DS18B20's scratchpad and copies them to its EEPROM.
    bool StoreThresholds(const sim::Rom& rom) {
        if (!Select(rom)) return false;
        Block({0x4E, 0x11, 0x22, 0x5F});
        if (!Select(rom)) return false;
        T(0x48);
        return true;
    }

    // DS1820::StartConversion + ReadScratchpad. Empty when a step fails.
    std::optional<std::array<uint8_t, 9>> ReadThermometer(const sim::Rom& rom, uint32_t boostMs) {
        if (!Select(rom)) return std::nullopt;
        T(0xB8);
        if (!Select(rom)) return std::nullopt;
        tmex::OneWireLevel(session, 0, 1, 2);
        T(0x44);
        uint32_t deadline = platform::GetTickCount() + boostMs;
        do {
            platform::Sleep(100);
            tmex::ValidSession(session);
        } while (static_cast<int32_t>(platform::GetTickCount() - deadline) < 0);
        tmex::OneWireLevel(session, 0, 0, 0);
        if (tmex::TouchBit(session, 1) != 1) return std::nullopt;
        if (tmex::Access(session, &state) != 1) return std::nullopt;
        T(0xBE);
        std::array<uint8_t, 9> pad{};
        for (auto& b : pad)
            b = static_cast<uint8_t>(T(0xFF));
        if (tmex::Crc8(pad) != 0) return std::nullopt;
        return pad;
    }

    // DS2438::SelectInput; vdd = true selects VDD.
    bool SelectInput(const sim::Rom& rom, bool vdd) {
        SetRom(rom);
        uint8_t recall[2] = {0xB8, 0x00};
        if (tmex::BlockIO(session, recall, 2) < 0) return false;
        if (!Select(rom)) return false;
        auto page = Block({0xBE, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
        if (tmex::Crc8(std::span<const uint8_t>(page.data() + 2, 9)) != 0) return false;
        bool ad = (page[2] & 0x08) != 0;
        if (ad == vdd) return true;
        uint8_t cfg = static_cast<uint8_t>(vdd ? (page[2] | 0x08) : (page[2] & ~0x08));
        if (!Select(rom)) return false;
        Block({0x4E, 0x00, cfg, page[3], page[4], page[5], page[6], page[7], page[8], page[9]});
        if (!Select(rom)) return false;
        Block({0x48, 0x00});
        for (int i = 0; i < 200; ++i)
            if (T(0xFF) != 0) return true;
        return false;
    }
    // DS2438::ReadVoltage: the page-0 bytes after a conversion.
    std::optional<std::array<uint8_t, 9>> ReadPage0After(const sim::Rom& rom, int convertCommand) {
        if (!Select(rom)) return std::nullopt;
        if (T(convertCommand) != convertCommand) return std::nullopt;
        bool done = false;
        for (int i = 0; i < 200 && !done; ++i) {
            if (convertCommand == 0x44) platform::Sleep(10);
            done = T(0xFF) != 0;
        }
        if (!done) return std::nullopt;
        if (!Select(rom)) return std::nullopt;
        Block({0xB8, 0x00});
        if (!Select(rom)) return std::nullopt;
        auto page = Block({0xBE, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
        std::array<uint8_t, 9> out{};
        for (int i = 0; i < 9; ++i)
            out[i] = page[2 + i];
        if (tmex::Crc8(out) != 0) return std::nullopt;
        return out;
    }

    // Milliseconds until a started Convert T reads done on a powered thermometer (slot costs zero).
    int ConversionMs(const sim::Rom& rom) {
        if (!Select(rom)) return -1;
        T(0x44);
        int ms = 0;
        while (tmex::TouchBit(session, 1) != 1 && ms < 2000) {
            clock->Advance(1);
            ++ms;
        }
        return ms;
    }

    // DS2450::Read: the four raw results, empty on an echo failure. The strong pull-up is armed before
    // the CRC's last byte, or (pullupAfterCrc false) after it, where it never engages.
    std::optional<std::array<uint16_t, 4>> ReadDS2450(const sim::Rom& rom, uint8_t c1, uint8_t c2,
                                                      bool pullupAfterCrc = true) {
        if (!Select(rom)) return std::nullopt;
        for (int b : {0x55, 0x08, 0x00})
            if (T(b) != b) return std::nullopt;
        for (int ch = 0; ch < 4; ++ch) {
            for (uint8_t c : {c1, c2}) {
                T(c);
                T(0xFF);
                T(0xFF);
                if (T(0xFF) != c) return std::nullopt;
            }
        }
        tmex::TouchReset(session);
        if (!Select(rom)) return std::nullopt;
        T(0x3C);
        T(0x0F);
        T(0x00);
        T(0xFF);
        if (pullupAfterCrc) tmex::OneWireLevel(session, 0, 1, 2); // engages after the CRC's last byte
        T(0xFF);
        if (!pullupAfterCrc) tmex::OneWireLevel(session, 0, 1, 2);
        platform::Sleep(100);
        if (tmex::OneWireLevel(session, 0, 0, 0) != 0) return std::nullopt;
        int polls = 0;
        while (T(0xFF) != 0xFF)
            if (++polls > 200) return std::nullopt;
        tmex::TouchReset(session);
        if (!Select(rom)) return std::nullopt;
        T(0xAA);
        T(0x00);
        T(0x00);
        std::array<uint16_t, 4> raw{};
        for (auto& r : raw) {
            int lo = T(0xFF);
            int hi = T(0xFF);
            r = static_cast<uint16_t>(lo + 256 * hi);
        }
        T(0xFF);
        T(0xFF);
        tmex::TouchReset(session);
        return raw;
    }
};

// --- thermometers ---

TEST_F(TmexDevices, DS18S20At25DegreesGivesTheGoldenScratchpad) {
    auto& t = net->Add<sim::DS18S20>(net->Trunk(), 0x1ULL);
    t.SetTemperature(25.0);
    Open();
    auto pad = ReadThermometer(t.rom(), 1000);
    ASSERT_TRUE(pad);
    EXPECT_EQ((*pad)[0], 0x32);
    EXPECT_EQ((*pad)[1], 0x00);
    EXPECT_EQ((*pad)[2], 0x4B);
    EXPECT_EQ((*pad)[3], 0x46);
    EXPECT_EQ((*pad)[6], 0x0C);
    EXPECT_EQ((*pad)[7], 0x10);
    EXPECT_EQ(t.Conversions(), 1);
}

TEST_F(TmexDevices, DS18S20NegativeHalfDegreeEncoding) {
    auto& t = net->Add<sim::DS18S20>(net->Trunk(), 0x1ULL);
    t.SetTemperature(-5.5);
    Open();
    auto pad = ReadThermometer(t.rom(), 1000);
    ASSERT_TRUE(pad);
    EXPECT_EQ((*pad)[0], 0xF5);
    EXPECT_EQ((*pad)[1], 0xFF);
    EXPECT_EQ((*pad)[6], 4);
    // The datasheet formula with a floor shift gives the temperature back.
    int16_t temp = static_cast<int16_t>((*pad)[1] << 8 | (*pad)[0]);
    double value = (temp >> 1) - 0.25 + (16.0 - (*pad)[6]) / 16.0;
    EXPECT_DOUBLE_EQ(value, -5.5);
}

TEST_F(TmexDevices, DS18B20AndDS1822EncodeSixteenthsAsInt16) {
    auto& b20 = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    auto& d22 = net->Add<sim::DS1822>(net->Trunk(), 0x2ULL);
    b20.SetTemperature(-10.125);
    d22.SetTemperature(21.5);
    Open();
    auto pad = ReadThermometer(b20.rom(), 1000);
    ASSERT_TRUE(pad);
    EXPECT_EQ((*pad)[0], 0x5E);
    EXPECT_EQ((*pad)[1], 0xFF);
    EXPECT_EQ((*pad)[4], 0x7F);
    auto pad22 = ReadThermometer(d22.rom(), 1000);
    ASSERT_TRUE(pad22);
    EXPECT_EQ(static_cast<int16_t>((*pad22)[1] << 8 | (*pad22)[0]) * 0.0625, 21.5);
    EXPECT_EQ(d22.rom().Family(), 0x22);
}

TEST_F(TmexDevices, ConversionTimesFollowTheFamilyAndTheResolution) {
    auto& s20 = net->Add<sim::DS18S20>(net->Trunk(), 0x1ULL);
    auto& b20 = net->Add<sim::DS18B20>(net->Trunk(), 0x2ULL);
    net->SetSlotCosts(0, 0, 0);
    b20.SetTemperature(-10.3);
    Open();
    EXPECT_EQ(ConversionMs(s20.rom()), 750);
    // Config 1F / 3F / 5F / 7F: 9 to 12 bits, each bit a doubled time and a halved step.
    const int expectedMs[4] = {94, 188, 375, 750};
    const int16_t sixteenths[4] = {-168, -164, -164, -165}; // -10.5, -10.25, -10.25, -10.3125
    for (int r = 0; r < 4; ++r) {
        ASSERT_TRUE(Select(b20.rom()));
        Block({0x4E, 0x4B, 0x46, static_cast<uint8_t>(0x1F | r << 5)});
        EXPECT_EQ(ConversionMs(b20.rom()), expectedMs[r]) << r;
        std::array<uint8_t, 9> pad = b20.Scratchpad();
        EXPECT_EQ(static_cast<int16_t>(pad[1] << 8 | pad[0]), sixteenths[r]) << r;
        EXPECT_EQ(pad[4], 0x1F | r << 5);
    }
    // Only R1 R0 can be written; bit 7 reads 0 and bits 4..0 read 1.
    ASSERT_TRUE(Select(b20.rom()));
    Block({0x4E, 0x4B, 0x46, 0x80});
    EXPECT_EQ(b20.Scratchpad()[4], 0x1F);
}

TEST_F(TmexDevices, ThermometerRawScratchpadSurvivesRecallAndConversion) {
    auto& t = net->Add<sim::DS18S20>(net->Trunk(), 0x1ULL);
    t.SetScratchpadRaw({0x32, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0F, 0x10}); // CR 15: refused by the station
    Open();
    auto pad = ReadThermometer(t.rom(), 1000);
    ASSERT_TRUE(pad);
    EXPECT_EQ((*pad)[6], 0x0F);
    EXPECT_EQ((*pad)[8], tmex::Crc8(std::span<const uint8_t>(pad->data(), 8)));
}

TEST_F(TmexDevices, ConversionCostsVirtualTimeOnly) {
    auto& t = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    Open();
    uint64_t before = clock->TotalAdvancedMs();
    ASSERT_TRUE(ReadThermometer(t.rom(), 1000));
    uint64_t spent = clock->TotalAdvancedMs() - before;
    EXPECT_GE(spent, 1000u);
    EXPECT_LT(spent, 1200u);
}

TEST_F(TmexDevices, PoweredDS18B20WithShortBoostIsStillBusy) {
    auto& t = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    Open();
    EXPECT_FALSE(ReadThermometer(t.rom(), 200)); // TB(1) reads 0: "Error verifying temp conversion"
    clock->Advance(1000);
    EXPECT_EQ(tmex::TouchBit(session, 1), 1);
}

TEST_F(TmexDevices, ParasiteBrownOutGivesThePowerOnPattern) {
    auto& b20 = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    auto& s20 = net->Add<sim::DS18S20>(net->Trunk(), 0x2ULL);
    b20.SetParasite(true);
    s20.SetParasite(true);
    b20.SetTemperature(3.0);
    s20.SetTemperature(3.0);
    Open();
    // TH, TL and config in the EEPROM: power back, the scratchpad recalls them beside the 85.0.
    ASSERT_TRUE(StoreThresholds(b20.rom()));
    auto pad = ReadThermometer(b20.rom(), 200); // BoostTime below 750 ms
    ASSERT_TRUE(pad);                           // TB(1) reads 1 after a brown-out
    EXPECT_EQ(std::vector<uint8_t>(pad->begin(), pad->begin() + 8),
              (std::vector<uint8_t>{0x50, 0x05, 0x11, 0x22, 0x5F, 0xFF, 0x0C, 0x10}));
    EXPECT_EQ(b20.Brownouts(), 1);
    auto pad2 = ReadThermometer(s20.rom(), 300);
    ASSERT_TRUE(pad2);
    EXPECT_EQ(std::vector<uint8_t>(pad2->begin(), pad2->begin() + 8),
              (std::vector<uint8_t>{0xAA, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0C, 0x10}));
    // With the pull-up held long enough the parasite device converts.
    auto pad3 = ReadThermometer(b20.rom(), 1000);
    ASSERT_TRUE(pad3);
    EXPECT_EQ((*pad3)[0], 0x30);
    EXPECT_EQ((*pad3)[1], 0x00);
    EXPECT_EQ((*pad3)[2], 0x11) << "the EEPROM kept through the brown-out";
}

TEST_F(TmexDevices, ParasiteWithoutPullupBrownsOut) {
    auto& t = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    t.SetParasite(true);
    Open();
    ASSERT_TRUE(Select(t.rom()));
    T(0x44); // no LL(0,1,2) before
    EXPECT_EQ(t.Brownouts(), 1);
}

// A device that never converts (a weak pull-up, a bad supply) browns out at each Convert T: back in its
// power-on state it drives nothing (read slots 1 at once, where a powered device converting reads 0),
// and its scratchpad is the power-on pattern with the EEPROM's TH, TL and config. Switched off, it
// converts again.
TEST_F(TmexDevices, ADeviceThatNeverConvertsHoldsItsPowerOnScratchpad) {
    auto& powered = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    auto& parasite = net->Add<sim::DS18S20>(net->Trunk(), 0x2ULL);
    parasite.SetParasite(true);
    powered.SetTemperature(3.0);
    parasite.SetTemperature(3.0);
    Open();
    ASSERT_TRUE(StoreThresholds(powered.rom()));
    ASSERT_TRUE(ReadThermometer(powered.rom(), 1000));
    ASSERT_TRUE(Select(powered.rom()));
    T(0x44);
    EXPECT_EQ(tmex::TouchBit(session, 1), 0) << "converting";
    clock->Advance(1000);

    powered.SetNeverConverts(true);
    parasite.SetNeverConverts(true);
    ASSERT_TRUE(Select(powered.rom()));
    T(0x44);
    EXPECT_EQ(tmex::TouchBit(session, 1), 1);
    auto pad = ReadThermometer(powered.rom(), 1000);
    ASSERT_TRUE(pad);
    EXPECT_EQ(std::vector<uint8_t>(pad->begin(), pad->begin() + 8),
              (std::vector<uint8_t>{0x50, 0x05, 0x11, 0x22, 0x5F, 0xFF, 0x0C, 0x10}));
    pad = ReadThermometer(parasite.rom(), 1000);
    ASSERT_TRUE(pad);
    EXPECT_EQ(std::vector<uint8_t>(pad->begin(), pad->begin() + 8),
              (std::vector<uint8_t>{0xAA, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0C, 0x10}));
    EXPECT_EQ(powered.Conversions(), 2);
    EXPECT_EQ(powered.Brownouts(), 2);
    EXPECT_EQ(parasite.Conversions(), 0);
    EXPECT_EQ(parasite.Brownouts(), 1);

    powered.SetNeverConverts(false);
    pad = ReadThermometer(powered.rom(), 1000);
    ASSERT_TRUE(pad);
    EXPECT_EQ((*pad)[0], 0x30);
    EXPECT_EQ((*pad)[1], 0x00);
}

// --- DS2438 ---

TEST_F(TmexDevices, DS2438VoltagesTemperatureAndTheAdBitPath) {
    auto& d = net->Add<sim::DS2438>(net->Trunk(), 0x1ULL);
    d.SetVAD(2.00);
    d.SetVDD(5.00);
    d.SetTemperature(25.0);
    Open();
    EXPECT_EQ(d.Config() & 0x08, 0x08); // power-on AD = 1

    net->ClearTraffic();
    ASSERT_TRUE(SelectInput(d.rom(), false)); // VAD: write + copy
    EXPECT_NE(net->CallText().find("BLK[4E 00"), std::string::npos);
    EXPECT_NE(net->CallText().find("BLK[48 00]"), std::string::npos);
    EXPECT_EQ(d.Config() & 0x08, 0);
    auto vad = ReadPage0After(d.rom(), 0xB4);
    ASSERT_TRUE(vad);
    EXPECT_EQ(((*vad)[4] << 8 | (*vad)[3]), 200);

    net->ClearTraffic();
    ASSERT_TRUE(SelectInput(d.rom(), false)); // already VAD: no write
    EXPECT_EQ(net->CallText().find("BLK[4E"), std::string::npos);

    auto t = ReadPage0After(d.rom(), 0x44);
    ASSERT_TRUE(t);
    EXPECT_EQ((*t)[1], 0x00);
    EXPECT_EQ((*t)[2], 0x19);

    ASSERT_TRUE(SelectInput(d.rom(), true));
    auto vdd = ReadPage0After(d.rom(), 0xB4);
    ASSERT_TRUE(vdd);
    EXPECT_EQ(((*vdd)[4] << 8 | (*vdd)[3]), 500);
    EXPECT_EQ(d.Copies(), 2);
}

TEST_F(TmexDevices, DS2438NegativeTemperatureAndRawOverrides) {
    auto& d = net->Add<sim::DS2438>(net->Trunk(), 0x1ULL);
    d.SetTemperature(-10.5);
    d.SetVddRaw(0x04B0); // 12.00 V
    d.SetCurrentRaw(-5);
    Open();
    auto t = ReadPage0After(d.rom(), 0x44);
    ASSERT_TRUE(t);
    EXPECT_EQ((*t)[1], 0x80);
    EXPECT_EQ((*t)[2], 0xF5);
    int16_t reg = static_cast<int16_t>((*t)[2] << 8 | (*t)[1]);
    EXPECT_DOUBLE_EQ((reg >> 3) * 0.03125, -10.5); // sign-extended in 16 bits
    auto v = ReadPage0After(d.rom(), 0xB4);
    ASSERT_TRUE(v);
    EXPECT_EQ(((*v)[4] << 8 | (*v)[3]), 0x04B0);
    EXPECT_EQ(static_cast<int16_t>((*v)[6] << 8 | (*v)[5]), -5);
}

TEST_F(TmexDevices, DS2438ScratchpadIsSeparateFromMemory) {
    auto& d = net->Add<sim::DS2438>(net->Trunk(), 0x1ULL);
    Open();
    ASSERT_TRUE(Select(d.rom()));
    Block({0x4E, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77});
    EXPECT_EQ(d.Memory(0)[7], 0x00); // not copied yet
    EXPECT_EQ(d.ScratchpadPage(0)[7], 0x77);
    ASSERT_TRUE(Select(d.rom()));
    Block({0x48, 0x00});
    clock->Advance(20);
    T(0xFF);
    EXPECT_EQ(d.Memory(0)[7], 0x77);        // threshold is writable
    EXPECT_EQ(d.Memory(0)[3], 0x00);        // the voltage bytes are not
    EXPECT_EQ(d.Memory(0)[0] & 0x0F, 0x00); // config bits 0-3 are
}

// --- DS2423 ---

TEST_F(TmexDevices, DS2423PageWithCounter) {
    auto& c = net->Add<sim::DS2423>(net->Trunk(), 0x1ULL);
    c.AddCounts('B', 12345);
    c.AddCounts('A', 7);
    Open();
    ASSERT_TRUE(Select(c.rom()));
    uint8_t buffer[52];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(tmex::ReadPageWithCounter(session, &state, 15, buffer), 40);
    uint32_t counter =
        buffer[32] | buffer[33] << 8 | buffer[34] << 16 | static_cast<uint32_t>(buffer[35]) << 24;
    EXPECT_EQ(counter, 12345u);
    EXPECT_EQ(buffer[36], 0);
    EXPECT_EQ(buffer[40], 0xEE); // nothing beyond 40 bytes
    EXPECT_EQ(tmex::ReadPageWithCounter(session, &state, 14, buffer), 40);
    EXPECT_EQ(buffer[32], 7);
    EXPECT_NE(net->CallText().find("PWC(15)=40"), std::string::npos);
}

TEST_F(TmexDevices, DS2423StreamsThePageTailCounterZerosAndCrc) {
    auto& c = net->Add<sim::DS2423>(net->Trunk(), 0x1ULL);
    c.SetCounter(15, 0x01020304);
    Open();
    ASSERT_TRUE(Select(c.rom()));
    uint16_t crc = 0;
    for (int b : {0xA5, 0xE0, 0x01})
        crc = tmex::Crc16Update(crc, static_cast<uint8_t>(T(b)));
    std::vector<uint8_t> data;
    for (int i = 0; i < 42; ++i) {
        data.push_back(static_cast<uint8_t>(T(0xFF)));
        crc = tmex::Crc16Update(crc, data.back());
    }
    EXPECT_EQ(crc, tmex::kCrc16Residue);
    EXPECT_EQ(data[32], 0x04);
    EXPECT_EQ(data[35], 0x01);
}

// --- DS2450 ---

TEST_F(TmexDevices, DS2450PlainReadSixteenBitsFiveVolts) {
    auto& a = net->Add<sim::DS2450>(net->Trunk(), 0x1ULL);
    a.SetChannelVolts(1.0, 2.0, 3.0, 4.0);
    Open();
    auto raw = ReadDS2450(a.rom(), 0 /* BitsConversion 16 */, 1 /* FiveVoltRange */);
    ASSERT_TRUE(raw);
    const double expected[4] = {1.0, 2.0, 3.0, 4.0};
    for (int ch = 0; ch < 4; ++ch)
        EXPECT_NEAR((*raw)[ch] * 0.00008, expected[ch] * 65536 / 5.12 * 0.00008, 0.0001);
    EXPECT_EQ(a.Conversions(), 1);
    EXPECT_EQ(a.MemoryByte(0x08), 0x00);
    EXPECT_EQ(a.MemoryByte(0x09), 0x01);
}

TEST_F(TmexDevices, DS2450VaneLevelsAtEightBits) {
    auto& v = net->Add<sim::DS2450>(net->Trunk(), 0x1ULL);
    v.SetVanePosition(4); // levels 1, 3, 3, 3
    Open();
    auto raw = ReadDS2450(v.rom(), 0x08, 0x01);
    ASSERT_TRUE(raw);
    EXPECT_EQ((*raw)[0], 0x6400); // 2.0 V -> 2.048 V, level 1
    EXPECT_EQ((*raw)[1], 0xF000); // 4.8 V -> 4.915 V, level 3
    v.SetChannelVolts(0.5, 3.5, 6.0, -1.0);
    raw = ReadDS2450(v.rom(), 0x08, 0x01);
    ASSERT_TRUE(raw);
    EXPECT_EQ((*raw)[0], 0x1900);
    EXPECT_EQ((*raw)[1], 0xAF00);
    EXPECT_EQ((*raw)[2], 0xFF00); // clamps at full scale
    EXPECT_EQ((*raw)[3], 0x0000);
}

TEST_F(TmexDevices, DS2450OnBusPowerConvertsOnlyUnderTheStrongPullup) {
    auto& a = net->Add<sim::DS2450>(net->Trunk(), 0x1ULL); // power-on: 0x00 at 0x1C
    a.SetChannelVolts(1.0, 1.0, 1.0, 1.0);
    Open();
    auto raw = ReadDS2450(a.rom(), 8, 1);
    ASSERT_TRUE(raw);
    EXPECT_EQ((*raw)[0], 0x3200);
    EXPECT_EQ(a.Brownouts(), 0);
    // Armed after the CRC's last byte, the pull-up never engages: the device browns out, its results
    // and settings go back to power-on (POR set), and the polls read done at once.
    a.SetChannelVolts(2.0, 2.0, 2.0, 2.0);
    raw = ReadDS2450(a.rom(), 8, 1, false);
    ASSERT_TRUE(raw);
    EXPECT_EQ((*raw)[0], 0x0000);
    EXPECT_EQ(a.Brownouts(), 1);
    EXPECT_EQ(a.MemoryByte(0x09) & 0x80, 0x80);
    EXPECT_EQ(a.Conversions(), 1);
}

TEST_F(TmexDevices, DS2450OnVccAnswersBusyUntilItsConversionEnds) {
    auto& a = net->Add<sim::DS2450>(net->Trunk(), 0x1ULL);
    a.SetChannelVolts(1.0, 1.0, 1.0, 1.0);
    net->SetSlotCosts(0, 0, 0);
    Open();
    // The master tells the device it has VCC: 0x40 to 0x1C, read back after the CRC.
    ASSERT_TRUE(Select(a.rom()));
    for (int b : {0x55, 0x1C, 0x00, 0x40})
        T(b);
    T(0xFF);
    T(0xFF);
    EXPECT_EQ(T(0xFF), 0x40);
    // 8 bits on four channels (the power-on resolution): 4 x (8 x 80 + 160) us = 3.2 ms, no pull-up.
    ASSERT_TRUE(Select(a.rom()));
    for (int b : {0x3C, 0x0F, 0x00, 0xFF, 0xFF})
        T(b);
    clock->Advance(3);
    EXPECT_EQ(T(0xFF), 0x00);
    clock->Advance(1);
    EXPECT_EQ(T(0xFF), 0xFF);
    EXPECT_EQ(a.Conversions(), 1);
    EXPECT_EQ(a.MemoryByte(0x01), 0x64); // 1.0 V of 2.56 V (the power-on range) at 8 bits
    // Told it has VCC while its VCC pin is dead, it needs the pull-up after all.
    a.SetVccPresent(false);
    ASSERT_TRUE(Select(a.rom()));
    for (int b : {0x3C, 0x0F, 0x00, 0xFF, 0xFF})
        T(b);
    EXPECT_EQ(T(0xFF), 0xFF);
    EXPECT_EQ(a.Brownouts(), 1);
    EXPECT_EQ(a.MemoryByte(0x1C), 0x00);
}

TEST_F(TmexDevices, DS2450WrongEchoOnAControlByteFailsTheRead) {
    auto& a = net->Add<sim::DS2450>(net->Trunk(), 0x1ULL);
    Open();
    a.InjectEchoErrors(1);
    EXPECT_FALSE(ReadDS2450(a.rom(), 8, 1));
    EXPECT_EQ(a.Conversions(), 0);
    EXPECT_TRUE(ReadDS2450(a.rom(), 8, 1));
}

TEST_F(TmexDevices, DS2450CrcErrorsDoNotStopTheValues) {
    auto& a = net->Add<sim::DS2450>(net->Trunk(), 0x1ULL);
    a.SetChannelVolts(1.0, 1.0, 1.0, 1.0);
    a.InjectCrcErrors(-1);
    Open();
    auto raw = ReadDS2450(a.rom(), 8, 1);
    ASSERT_TRUE(raw);
    EXPECT_EQ((*raw)[0], 0x3200);
}

TEST_F(TmexDevices, DS2450WriteMemoryCrcOfFirstByteThenOfEachByteWithItsAddressLoaded) {
    auto& a = net->Add<sim::DS2450>(net->Trunk(), 0x1ULL);
    Open();
    ASSERT_TRUE(Select(a.rom()));
    uint16_t crc = 0;
    for (int b : {0x55, 0x08, 0x00, 0x08})
        crc = tmex::Crc16Update(crc, static_cast<uint8_t>(T(b)));
    crc = tmex::Crc16Update(crc, static_cast<uint8_t>(T(0xFF)));
    crc = tmex::Crc16Update(crc, static_cast<uint8_t>(T(0xFF)));
    EXPECT_EQ(crc, tmex::kCrc16Residue);
    EXPECT_EQ(T(0xFF), 0x08); // read-back
    // The next byte goes to 0x0009: the generator starts from that address, not from the bytes of it.
    crc = tmex::Crc16Update(0x0009, static_cast<uint8_t>(T(0x01)));
    crc = tmex::Crc16Update(crc, static_cast<uint8_t>(T(0xFF)));
    crc = tmex::Crc16Update(crc, static_cast<uint8_t>(T(0xFF)));
    EXPECT_EQ(crc, tmex::kCrc16Residue);
    EXPECT_EQ(T(0xFF), 0x01);
}

TEST_F(TmexDevices, DS2438MemoryOverrideSurvivesConversions) {
    auto& d = net->Add<sim::DS2438>(net->Trunk(), 0x1ULL);
    d.SetMemory(0, {0, 0, 0, 0, 0, 0, 0, 0}); // what a shorted net would show
    Open();
    auto t = ReadPage0After(d.rom(), 0x44);
    ASSERT_TRUE(t);
    auto v = ReadPage0After(d.rom(), 0xB4);
    ASSERT_TRUE(v);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ((*v)[i], 0) << i;
}
