#pragma once
// The check of an inverted CRC16 that a chip sends after a part of an exchange (DS2450, DS2407): the
// bytes the part covers are added, then the two CRC bytes read (LSB first); the part is Intact unless
// something was garbled on the line.
#include <cstdint>

#include "platform/tmex/Crc.h"

class Crc16Check {
public:
    // A generator loaded with `loaded` (0 for a part that starts with its command).
    explicit Crc16Check(uint16_t loaded = 0) : crc_(loaded) {}

    // The CRC of a memory write's byte at `address`: the first byte of the command is covered with the
    // command (0x55) and the address, each later one with the generator loaded with its address.
    static Crc16Check OfWrite(uint16_t address, bool first) {
        if (!first) return Crc16Check(address);
        Crc16Check crc;
        return crc.Add(0x55).Add(address & 0xFF).Add(address >> 8);
    }

    Crc16Check& Add(int byte) {
        crc_ = platform::tmex::Crc16Update(crc_, static_cast<uint8_t>(byte));
        return *this;
    }
    bool Intact() const { return crc_ == platform::tmex::kCrc16Residue; }

private:
    uint16_t crc_;
};
