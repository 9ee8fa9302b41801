#pragma once
// The routine table of one bus master. The driver (Tmex.h) builds every call of on these few
// primitives: sessions, setup, reset, touch byte and bit, line level and the DS2480 line parameters,
// with two that a master may do faster than byte by byte or bit by bit (a block of bytes, a search
// pass). Backends reach the driver only through the port-type registry (RegisterPortType) or
// InstallBackend; the driver knows none of them.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

namespace platform::tmex {

struct TMLine;

// A 64-bit ROM, or a set of its 64 bit positions: bit i is bit i % 8 of byte i / 8 (the order in which
// a search walks the ROM).
using RomBytes = std::array<uint8_t, 8>;

inline int RomBit(const RomBytes& rom, int i) {
    return (rom[i / 8] >> (i % 8)) & 1;
}
// The same bits as one number (bit i = RomBit i), and back.
inline uint64_t RomBits(const uint8_t* bytes) {
    uint64_t out = 0;
    if constexpr (std::endian::native == std::endian::little)
        std::memcpy(&out, bytes, sizeof out); // one load: every Match ROM block asks
    else
        for (int i = 7; i >= 0; --i)
            out = (out << 8) | bytes[i];
    return out;
}
inline uint64_t RomBits(const RomBytes& rom) {
    return RomBits(rom.data());
}
inline RomBytes RomBytesOf(uint64_t bits) {
    RomBytes out{};
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<uint8_t>(bits >> (8 * i));
    return out;
}
inline void SetRomBit(RomBytes& rom, int i, int value) {
    if (value)
        rom[i / 8] = static_cast<uint8_t>(rom[i / 8] | (1 << (i % 8)));
    else
        rom[i / 8] = static_cast<uint8_t>(rom[i / 8] & ~(1 << (i % 8)));
}

// One driver call as the station made it, for the backends that keep a traffic log.
struct DriverCall {
    std::string name; // "R", "ACC", "SACC", "T", "TB", "BLK", "SET", "GET", "LL", "PWC", "FIRST", ...
    std::string args; // bytes in upper-case hex, blank separated ("44", "0,1,2", "B8 00")
    int32_t result = 0;
};

class Backend {
public:
    virtual ~Backend() = default;

    // The port-type driver's version text (ordinal 27).
    virtual std::string TypeVersion() const = 0;
    // Asked when a session opens on this port: > 0 opens, 0 = port busy (the caller retries), < 0 = error.
    virtual int32_t OpenSession() { return 1; }
    virtual void CloseSession() {}

    // Ordinal 47: 1 OK, 0 failed, 2 shorted, 3 net nonexistent, 4 not supported.
    virtual int16_t Setup() = 0;
    // Bus reset: 1 presence, 0 none, 2 shorted; < 0 driver error.
    virtual int16_t Reset() = 0;
    // One byte on the line (0xFF reads); the byte seen on the line 0..255, < 0 driver error.
    virtual int16_t TouchByte(uint8_t byte) = 0;
    // One bit slot (1 reads); 0 or 1, < 0 driver error.
    virtual int16_t TouchBit(uint8_t bit) = 0;
    // Ordinal 33: (0, 1, prime) strong pull-up (prime 0 now, 1 after the next bit, 2 after the next
    // byte) returns 1; (0, 0, 0) back to normal returns 0; < 0 error.
    virtual int16_t Level(int16_t operation, int16_t level, int16_t prime) = 0;
    // Ordinal 28 (the parameter block's flag: 1 read into the block, 0 set from it); 1 = done.
    virtual int16_t LineParameters(TMLine& block) = 0;
    // Whether the adapter answered when last asked (not: it went silent, its device is gone, or it was
    // never found); a setup asks it again.
    virtual bool AdapterAnswers() const { return true; }

    // Touches `length` bytes in place; length, or < 0 at the first driver error. Byte by byte unless
    // the master can do better.
    virtual int16_t TouchBlock(uint8_t* bytes, int16_t length);
    // The 64 ROM bits of one search pass, after the reset and the search command: for each bit the
    // devices answer it and its complement; where both values are there (a fork) the master takes the
    // bit of `directions`, elsewhere the one value there is. Fills `rom` with the path taken and
    // `forks` with the forks. 1 done, 0 no device answered a bit, < 0 driver error. Bit by bit (three
    // slots per ROM bit) unless the master has a search accelerator.
    virtual int16_t SearchBits(const RomBytes& directions, RomBytes& rom, RomBytes& forks);

    // Traffic log hooks: while the backend keeps a log, the driver announces each call before its line
    // traffic and reports its result; otherwise it neither calls them nor builds the call's text. The
    // driver asks on every call: a flag, not a virtual call.
    bool KeepsTrafficLog() const { return keepsTrafficLog_; }
    virtual void BeginCall(const DriverCall&) {}
    virtual void EndCall(int32_t /*result*/) {}

protected:
    bool keepsTrafficLog_ = false;
};

// A port whose adapter is not there: sessions open, but nothing answers (setup fails, no presence).
class NoAdapterBackend : public Backend {
public:
    explicit NoAdapterBackend(std::string version) : version_(std::move(version)) {}
    std::string TypeVersion() const override { return version_; }
    int16_t Setup() override { return 0; }
    int16_t Reset() override { return 0; }
    int16_t TouchByte(uint8_t) override { return -1; }
    int16_t TouchBit(uint8_t) override { return -1; }
    int16_t Level(int16_t, int16_t, int16_t) override { return -1; }
    int16_t LineParameters(TMLine&) override { return 0; }
    bool AdapterAnswers() const override { return false; }

private:
    std::string version_;
};

} // namespace platform::tmex
