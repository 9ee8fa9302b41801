#include "platform/tmex/Crc.h"

#include <array>

namespace platform::tmex {

namespace {

// The value a byte adds to a CRC whose bits are taken low first (the CRC8's x^8 + x^5 + x^4 + 1 and the
// CRC16's x^16 + x^15 + x^2 + 1, both reflected).
template <class T> constexpr std::array<T, 256> MakeCrcTable(T reflected) {
    std::array<T, 256> table{};
    for (int i = 0; i < 256; ++i) {
        T crc = static_cast<T>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<T>((crc >> 1) ^ reflected) : static_cast<T>(crc >> 1);
        table[i] = crc;
    }
    return table;
}

// Slices for eight bytes at a time: slice k holds what a byte adds when k more bytes follow it, so the
// eight lookups of a run are independent of each other (slice 0 is the byte table).
constexpr std::array<std::array<uint16_t, 256>, 8> MakeCrc16Slices() {
    std::array<std::array<uint16_t, 256>, 8> slices{};
    slices[0] = MakeCrcTable<uint16_t>(0xA001);
    for (int k = 1; k < 8; ++k)
        for (int i = 0; i < 256; ++i) {
            uint16_t prev = slices[k - 1][i];
            slices[k][i] = static_cast<uint16_t>((prev >> 8) ^ slices[0][prev & 0xFF]);
        }
    return slices;
}

constexpr auto kCrc16Slices = MakeCrc16Slices();

} // namespace

constexpr std::array<uint8_t, 256> kCrc8Table = MakeCrcTable<uint8_t>(0x8C);
constexpr std::array<uint16_t, 256> kCrc16Table = kCrc16Slices[0];

uint8_t Crc8(std::span<const uint8_t> data, uint8_t crc) {
    for (uint8_t b : data)
        crc = Crc8Update(crc, b);
    return crc;
}

uint16_t Crc16(std::span<const uint8_t> data, uint16_t crc) {
    const uint8_t* p = data.data();
    std::size_t n = data.size();
    for (; n >= 8; p += 8, n -= 8) {
        const auto& t = kCrc16Slices;
        crc =
            static_cast<uint16_t>(t[7][(p[0] ^ crc) & 0xFF] ^ t[6][(p[1] ^ (crc >> 8)) & 0xFF] ^ t[5][p[2]] ^
                                  t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]]);
    }
    for (; n > 0; ++p, --n)
        crc = Crc16Update(crc, *p);
    return crc;
}

} // namespace platform::tmex
