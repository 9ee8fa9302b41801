#include "platform/tmex/Backend.h"

#include <algorithm>

namespace platform::tmex {

int16_t Backend::TouchBlock(uint8_t* bytes, int16_t length) {
    for (int16_t i = 0; i < length; ++i) {
        int16_t r = TouchByte(bytes[i]);
        if (r < 0) return r;
        bytes[i] = static_cast<uint8_t>(r);
    }
    return length;
}

int16_t Backend::SearchBits(const RomBytes& directions, RomBytes& rom, RomBytes& forks) {
    rom = RomBytes{};
    forks = RomBytes{};
    for (int i = 0; i < 64; ++i) {
        int16_t bit = TouchBit(1);
        int16_t complement = TouchBit(1);
        if (bit < 0 || complement < 0) return std::min(bit, complement);
        bool has0 = bit == 0;
        bool has1 = complement == 0;
        if (!has0 && !has1) return 0; // every device dropped out (or vanished mid-search)
        int dir = has0 && has1 ? RomBit(directions, i) : (has1 ? 1 : 0);
        if (has0 && has1) SetRomBit(forks, i, 1);
        int16_t written = TouchBit(static_cast<uint8_t>(dir));
        if (written < 0) return written;
        SetRomBit(rom, i, dir);
    }
    return 1;
}

} // namespace platform::tmex
