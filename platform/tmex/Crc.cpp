#include "platform/tmex/Crc.h"

#include <array>

namespace platform::tmex {

namespace {

constexpr std::array<uint8_t, 256> MakeCrc8Table() {
    std::array<uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        uint8_t crc = static_cast<uint8_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint8_t>((crc >> 1) ^ 0x8C) : static_cast<uint8_t>(crc >> 1);
        table[i] = crc;
    }
    return table;
}

// CRC16 (x^16 + x^15 + x^2 + 1), bits taken low first like the CRC8: the value a byte adds.
constexpr std::array<uint16_t, 256> MakeCrc16Table() {
    std::array<uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
        table[i] = crc;
    }
    return table;
}

} // namespace

constexpr std::array<uint8_t, 256> kCrc8Table = MakeCrc8Table();
constexpr std::array<uint16_t, 256> kCrc16Table = MakeCrc16Table();

uint8_t Crc8(std::span<const uint8_t> data, uint8_t crc) {
    for (uint8_t b : data)
        crc = Crc8Update(crc, b);
    return crc;
}

uint16_t Crc16(std::span<const uint8_t> data, uint16_t crc) {
    for (uint8_t b : data)
        crc = Crc16Update(crc, b);
    return crc;
}

} // namespace platform::tmex
