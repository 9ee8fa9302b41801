// CRC and serial-text goldens.
#include "TmexFixture.h"

#include "platform/tmex/sim/DS2407.h"

#include <cstring>
#include <string>

using namespace tmex_test;

namespace {
std::span<const uint8_t> Bytes(const char* text) {
    return {reinterpret_cast<const uint8_t*>(text), std::strlen(text)};
}
} // namespace

TEST(TmexCrc, Crc8CheckValue) {
    EXPECT_EQ(tmex::Crc8(Bytes("123456789")), 0xA1);
}

TEST(TmexCrc, Crc8OfSevenRomBytesAndSerialText) {
    const uint8_t rom7[7] = {0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(tmex::Crc8(rom7), 0xA2);
    sim::Rom rom = sim::Rom::Make(0x02, 0x1CB801000000ULL);
    EXPECT_EQ(rom.bytes[7], 0xA2);
    EXPECT_EQ(rom.Text(), "A200000001B81C02");
    // A run over the whole ROM, CRC included, ends at 0.
    EXPECT_EQ(tmex::Crc8(rom.bytes), 0);
}

TEST(TmexCrc, Crc8RunningUpdateMatchesBlock) {
    uint8_t crc = 0;
    for (char c : std::string("123456789"))
        crc = tmex::Crc8Update(crc, static_cast<uint8_t>(c));
    EXPECT_EQ(crc, 0xA1);
    const uint8_t zeros[9] = {};
    EXPECT_EQ(tmex::Crc8(zeros), 0); // why a shorted net's all-zero scratchpad passes
    const uint8_t ones[9] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_NE(tmex::Crc8(ones), 0); // a vanished device's all-0xFF scratchpad fails
}

TEST(TmexCrc, Crc16CheckValueAndResidue) {
    uint16_t crc = tmex::Crc16(Bytes("123456789"));
    EXPECT_EQ(crc, 0xBB3D);
    uint16_t inverted = static_cast<uint16_t>(~crc);
    uint16_t run = tmex::Crc16(Bytes("123456789"));
    run = tmex::Crc16Update(run, static_cast<uint8_t>(inverted & 0xFF));
    run = tmex::Crc16Update(run, static_cast<uint8_t>(inverted >> 8));
    EXPECT_EQ(run, tmex::kCrc16Residue);
    EXPECT_EQ(tmex::kCrc16Residue, 0xB001);
}

TEST(TmexCrc, Crc16OfARunEqualsItsBytesOneByOne) {
    // Runs of every length up to a few steps of eight, from every kind of start value.
    uint8_t data[40];
    for (int i = 0; i < 40; ++i)
        data[i] = static_cast<uint8_t>(i * 37 + 11);
    for (uint16_t start : {0x0000, 0xB001, 0xFFFF, 0x1234})
        for (std::size_t n = 0; n <= sizeof data; ++n) {
            uint16_t crc = start;
            for (std::size_t i = 0; i < n; ++i)
                crc = tmex::Crc16Update(crc, data[i]);
            EXPECT_EQ(tmex::Crc16(std::span<const uint8_t>(data, n), start), crc) << n << " from " << start;
        }
}

TEST(TmexCrc, DS2407WriteStatusCrcBytes) {
    auto crcBytes = [](uint8_t value) {
        const uint8_t sent[4] = {0x55, 0x07, 0x00, value};
        uint16_t inverted = static_cast<uint16_t>(~tmex::Crc16(sent));
        return std::pair<int, int>(inverted & 0xFF, inverted >> 8);
    };
    EXPECT_EQ(crcBytes(0x3F), (std::pair<int, int>(0x1F, 0xE2)));
    EXPECT_EQ(crcBytes(0x7F), (std::pair<int, int>(0x1E, 0x12)));
}

class TmexCrcOnBus : public TmexTest {};

TEST_F(TmexCrcOnBus, DS2407AnswersTheGoldenCrcBytes) {
    auto& sw = net->Add<sim::DS2407>(net->Trunk(), 0x000000000123ULL);
    ASSERT_GT(Open(), 0);
    ASSERT_TRUE(Select(sw.rom()));
    EXPECT_EQ(T(0x55), 0x55);
    EXPECT_EQ(T(0x07), 0x07);
    EXPECT_EQ(T(0x00), 0x00);
    EXPECT_EQ(T(0x3F), 0x3F);
    EXPECT_EQ(T(0xFF), 0x1F);
    EXPECT_EQ(T(0xFF), 0xE2);
    EXPECT_EQ(sw.Status() & 0x40, 0x40); // nothing written before the byte that commits
    EXPECT_EQ(T(0xFF), 0x3F);            // it commits and reads back the status
    EXPECT_EQ(sw.Status() & 0x40, 0);    // PIO-B on
    ASSERT_TRUE(Select(sw.rom()));
    for (int b : {0x55, 0x07, 0x00, 0x7F})
        T(b);
    EXPECT_EQ(T(0xFF), 0x1E);
    EXPECT_EQ(T(0xFF), 0x12);
    tmex::TouchReset(session); // a reset after the CRC abandons the write
    EXPECT_EQ(sw.Status() & 0x40, 0);
    EXPECT_EQ(sw.StatusWrites(), 1);
}
