#pragma once
// The 1-Wire CRCs, in one place for the driver, the simulated devices and the station's sensor classes.
//
// CRC8: the published 1-Wire CRC8 (x^8 + x^5 + x^4 + 1, LSB first, table driven). A run over data
// followed by their stored CRC byte ends at 0 when the data are intact.
// CRC16: the published 1-Wire CRC16 (x^16 + x^15 + x^2 + 1, LSB first), computed with the 16-entry
// odd-parity table and the shifts by 6 and 1 of the 1-Wire application notes. Devices send the
// inverted CRC16 LSB first; a run over data followed by those two bytes ends at kCrc16Residue.
#include <cstddef>
#include <cstdint>
#include <span>

namespace platform::tmex {

constexpr uint16_t kCrc16Residue = 0xB001;

// One byte into a running CRC8; returns the new value.
uint8_t Crc8Update(uint8_t crc, uint8_t byte);
// CRC8 over a run of bytes, starting from `crc`.
uint8_t Crc8(std::span<const uint8_t> data, uint8_t crc = 0);

// One byte into a running CRC16; returns the new value.
uint16_t Crc16Update(uint16_t crc, uint8_t byte);
// CRC16 over a run of bytes, starting from `crc`.
uint16_t Crc16(std::span<const uint8_t> data, uint16_t crc = 0);

} // namespace platform::tmex
