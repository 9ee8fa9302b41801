#pragma once
// One record of a trend: a time stamp and the eight channels' absolute digits, and its 24-byte form
// in the history files (VeskTemp.dat and its five siblings).
//
// Byte layout, little-endian, fields back to back, no padding:
//   offset 0, 8 bytes   IEEE-754 double: days since 1899-12-30 00:00 local time (the fraction is the time
//                       of day); its raw bits are kept, so NaN payloads and -0.0 survive a round trip
//   offset 8 + 2(c-1)   signed 16-bit absolute digit of channel c = 1 .. 8 (Digit - DigitalFrom, so 0
//                       stands for ValueFrom)
// A history file is such records back to back, oldest first, with no header, trailer or checksum; its
// record count is the file size div 24 (a partial record at the end is not read). A separator record
// (a gap in recording) has the time stamp 0.0 and the digits of the record before it.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace gauges {

inline constexpr size_t kTrendRecordSize = 24;
inline constexpr int kTrendChannels = 8;

struct TTrendRecord {
    double Time = 0;
    int16_t Digit[kTrendChannels] = {};
};

inline void EncodeTrendRecord(const TTrendRecord& r, uint8_t* out) {
    uint64_t bits;
    std::memcpy(&bits, &r.Time, sizeof bits);
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<uint8_t>(bits >> (8 * i));
    for (int c = 0; c < kTrendChannels; ++c) {
        auto v = static_cast<uint16_t>(r.Digit[c]);
        out[8 + 2 * c] = static_cast<uint8_t>(v);
        out[9 + 2 * c] = static_cast<uint8_t>(v >> 8);
    }
}

inline TTrendRecord DecodeTrendRecord(const uint8_t* in) {
    TTrendRecord r;
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<uint64_t>(in[i]) << (8 * i);
    std::memcpy(&r.Time, &bits, sizeof bits);
    for (int c = 0; c < kTrendChannels; ++c)
        r.Digit[c] = static_cast<int16_t>(static_cast<uint16_t>(in[8 + 2 * c] | in[9 + 2 * c] << 8));
    return r;
}

} // namespace gauges
