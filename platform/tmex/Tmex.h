#pragma once
// Our own 1-Wire driver: the calls of the TMEX driver library IBFS32.DLL as one C++
// function per ordinal, over a backend per port (Backend.h). Names are ours; the ordinal stands beside
// each. Results are signed 16-bit (the session handle is 32-bit, as the station's SessionHandle);
// negative results are TMEX error codes (texts: Microlan::CheckResult).
//
// Ports: type 5 is the serial DS2480 adapter (DS2480Backend.h), port 1 of it the driver's default port
// when the driver settings file (tmex.ini in the working folder) names no other; kPortTypeSimulated is
// the simulated net (sim/SimulatedPort.h), only where a setting names it. The driver knows port types only as
// registered (RegisterPortType): the program registers the ones it has, and a port type that nobody
// registered has no hardware driver.
//
// The driver keeps its per-caller state (current ROM, search position) inside the caller's
// TmexStateBuffer, as the real driver does; setting the current ROM does not disturb a search.
#include "platform/tmex/Backend.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform::tmex {

using SessionHandle = int32_t;

constexpr std::size_t kStateBufferSize = 15376;
struct TmexStateBuffer {
    uint8_t bytes[kStateBufferSize] = {};
};
static_assert(sizeof(TmexStateBuffer) == 15376, "the station passes a 15376-byte state buffer");

// The parameter block of ordinal 28 (14 packed bytes).
struct TMLine {
    char name[7] = {'D', 'S', '2', '4', '8', '0', 0};
    uint8_t flag = 1; // 1 = read the adapter's current values, 0 = set them
    uint8_t normalPDSRC = 0;
    uint8_t normalW1LT = 0;
    uint8_t normalDSOWORT = 0;
    uint8_t normalSearchBaud = 0;
    uint8_t normalBitBaud = 0;
    uint8_t normalByteBaud = 0;
};
static_assert(sizeof(TMLine) == 14, "the TMLine block is 14 bytes");

constexpr int16_t kPortTypeDS2480 = 5;
constexpr int16_t kPortTypeSimulated = 64;

// TMEX result codes used by this driver.
constexpr int16_t kErrPortNotInitialized = -1;
constexpr int16_t kErrPacket = -4;
constexpr int16_t kErrDeviceNotFound = -7;
constexpr int16_t kErrInvalidSession = -200;
constexpr int16_t kErrNoHardwareDriver = -201;

constexpr int kVersionTextSize = 256;

// --- the calls, one per ordinal ---------------------------------------------------------------
SessionHandle StartSession(int16_t portNum, int16_t portType, int32_t reserved = 0);  // 19
int16_t ValidSession(SessionHandle session);                                          // 56
int16_t EndSession(SessionHandle session);                                            // 17
int16_t ReleasePort(SessionHandle session);                                           // 10
int16_t DefaultPort(int16_t* portNum, int16_t* portType);                             // 41
int16_t MainDriverVersion(char* text /* kVersionTextSize bytes */);                   // 2
int16_t TypeDriverVersion(int16_t portType, char* text /* kVersionTextSize bytes */); // 27
int16_t Setup(SessionHandle session);                                                 // 47
int16_t TouchReset(SessionHandle session);                                            // 55
int16_t TouchByte(SessionHandle session, int16_t byte);                               // 54
int16_t TouchBit(SessionHandle session, int16_t bit);                                 // 53
int16_t BlockIO(SessionHandle session, uint8_t* buffer, int16_t length);              // 7
// Word 0 == 0: copies the current ROM into rom[0..7] (values 0..255); otherwise makes rom current.
int16_t Rom(SessionHandle session, TmexStateBuffer* state, uint16_t* rom);                         // 44
int16_t Access(SessionHandle session, TmexStateBuffer* state);                                     // 3
int16_t StrongAccess(SessionHandle session, TmexStateBuffer* state);                               // 50
int16_t FamilySearchSetup(SessionHandle session, TmexStateBuffer* state, int16_t family);          // 20
int16_t First(SessionHandle session, TmexStateBuffer* state);                                      // 21
int16_t Next(SessionHandle session, TmexStateBuffer* state);                                       // 29
int16_t OneWireLevel(SessionHandle session, int16_t operation, int16_t levelMode, int16_t primed); // 33
int16_t DS2480LineParameters(SessionHandle session, TMLine* block);                                // 28
// Reads page `page` of a DS2423 with its counter: 40 bytes (32 data, counter LE at 32..35, 4 zeros)
// into buffer; returns 40, or kErrPacket when the CRC16 does not check.
int16_t ReadPageWithCounter(SessionHandle session, TmexStateBuffer* state, int16_t page,
                            uint8_t* buffer); // 18

// --- ports and backends -------------------------------------------------------------------------
// The driver of one port type: its version text (ordinal 27) and how it makes the backend of a port
// number when a session first asks for that port (null: the port type has no such port).
struct PortTypeDriver {
    std::string version;
    std::function<std::shared_ptr<Backend>(int16_t portNum)> makePort;
};
// Registers (or replaces) the driver of a port type. Registrations outlive ResetDriver.
void RegisterPortType(int16_t portType, PortTypeDriver driver);
void UnregisterPortType(int16_t portType);
// The registered port types with their version texts, by number.
std::vector<std::pair<int16_t, std::string>> RegisteredPortTypes();

// Plugs a backend in on (portNum, portType); replaces what was there (its open session ends).
void InstallBackend(int16_t portNum, int16_t portType, std::shared_ptr<Backend> backend);
void RemoveBackend(int16_t portNum, int16_t portType);
std::shared_ptr<Backend> FindBackend(int16_t portNum, int16_t portType);
// Whether the adapter on a port answered when last asked (Backend::AdapterAnswers); false for a port
// that no session has opened yet. Setup asks the adapter again.
bool AdapterAnswers(int16_t portNum, int16_t portType);
// Forgets every backend, session and default-port override (tests start from here).
void ResetDriver();

// The default port: an override set here, else [Driver] DefaultPortNum/DefaultPortType of the driver
// settings file, else (1, kPortTypeDS2480).
void SetDefaultPortOverride(int16_t portNum, int16_t portType);
void ClearDefaultPortOverride();
// The driver settings file; "tmex.ini" in the working folder unless changed (tests).
void SetDriverSettingsPath(const std::string& path);
const std::string& DriverSettingsPath();

// The driver's own messages (an adapter found, lost or resynchronised), each a whole log line with its
// prefix. The station sends them to its status log; until then (and after ResetDriver) they go to
// standard error.
void SetDriverLog(std::function<void(const std::string&)> log);
void DriverLog(const std::string& text);

} // namespace platform::tmex
