#pragma once
// The routine table of one bus master. The driver (Tmex.h) builds every call of on these
// few primitives: sessions, setup, reset, touch byte and bit, line level and the DS2480 line parameters.
// The simulated net (sim/SimNet.h) is one backend; a real serial DS2480 adapter will be another, and
// plugs in exactly the same way (InstallBackend).
#include <cstdint>
#include <string>

namespace platform::tmex {

struct TMLine;

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

    // Traffic log hooks: the driver announces each call before its line traffic and reports its result.
    virtual void BeginCall(const DriverCall&) {}
    virtual void EndCall(int32_t /*result*/) {}
};

// The backend for a port type whose adapter is not there (today: type 5, the serial DS2480 adapter,
// until its serial backend lands). Sessions open, but nothing answers: setup fails, no presence.
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

private:
    std::string version_;
};

} // namespace platform::tmex
