#pragma once
// The 1-Wire CRCs, in one place for the driver, the simulated devices and the station's sensor classes.
//
// CRC8: the published 1-Wire CRC8 (x^8 + x^5 + x^4 + 1, LSB first, table driven). A run over data
// followed by their stored CRC byte ends at 0 when the data are intact.
// CRC16: the published 1-Wire CRC16 (x^16 + x^15 + x^2 + 1, LSB first, table driven). Devices send
// the inverted CRC16 LSB first; a run over data followed by those two bytes ends at kCrc16Residue.
// Both updates are inline: the simulated net and the driver take one per byte on the line.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace platform::tmex {

constexpr uint16_t kCrc16Residue = 0xB001;

// What one byte adds, for each value of (crc ^ byte) & 0xFF.
extern const std::array<uint8_t, 256> kCrc8Table;
extern const std::array<uint16_t, 256> kCrc16Table;

// One byte into a running CRC8; returns the new value.
inline uint8_t Crc8Update(uint8_t crc, uint8_t byte) {
    return kCrc8Table[crc ^ byte];
}
// CRC8 over a run of bytes, starting from `crc`.
uint8_t Crc8(std::span<const uint8_t> data, uint8_t crc = 0);

// One byte into a running CRC16; returns the new value.
inline uint16_t Crc16Update(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>((crc >> 8) ^ kCrc16Table[(crc ^ byte) & 0xFF]);
}
// CRC16 over a run of bytes, starting from `crc`: eight bytes a step (a page read checks 45 of them).
uint16_t Crc16(std::span<const uint8_t> data, uint16_t crc = 0);

} // namespace platform::tmex
