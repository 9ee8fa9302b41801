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

constexpr std::array<uint8_t, 256> kCrc8Table = MakeCrc8Table();
constexpr uint8_t kOddParity[16] = {0, 1, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 1, 1, 0};

} // namespace

uint8_t Crc8Update(uint8_t crc, uint8_t byte) {
    return kCrc8Table[crc ^ byte];
}

uint8_t Crc8(std::span<const uint8_t> data, uint8_t crc) {
    for (uint8_t b : data)
        crc = Crc8Update(crc, b);
    return crc;
}

uint16_t Crc16Update(uint16_t crc, uint8_t byte) {
    uint16_t data = static_cast<uint16_t>((byte ^ (crc & 0xFF)) & 0xFF);
    crc = static_cast<uint16_t>(crc >> 8);
    if (kOddParity[data & 0x0F] ^ kOddParity[data >> 4]) crc ^= 0xC001;
    data = static_cast<uint16_t>(data << 6);
    crc ^= data;
    data = static_cast<uint16_t>(data << 1);
    crc ^= data;
    return crc;
}

uint16_t Crc16(std::span<const uint8_t> data, uint16_t crc) {
    for (uint8_t b : data)
        crc = Crc16Update(crc, b);
    return crc;
}

} // namespace platform::tmex
