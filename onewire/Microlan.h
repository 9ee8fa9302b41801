#pragma once
// The MicroLAN module. The one process-wide 1-Wire session, the few station settings the bus
// layer needs, the byte/reset primitives, the result texts and the start-up sequence. Free functions over
// module-wide state; everything runs on the window thread. Logging goes to the station's status log
// (SensorHost).
#include <cstdint>
#include <memory>
#include <string>

#include "platform/tmex/Tmex.h"

namespace Microlan {

// --- module-wide values (all reset or reloaded by Startup) ---
extern platform::tmex::SessionHandle SessionHandle; // -1 after start-up; > 0 while a session is open
extern platform::tmex::TmexStateBuffer TmexStateBuffer;
extern int PortNum;
extern int PortType;
extern int SampleInterval;     // ms, 500..10000, default 1000
extern int DS1820ReadInterval; // s, default 60
extern int DS2438ReadInterval; // s, default 60
extern int RGaugeReadInterval; // s, default 10
extern bool UseCelsius;
extern std::string LastTmexError;
extern platform::tmex::TMLine TmexParameterBlock;
// The driver's result of the last Setup (2 = shorted reaches the sample's log text).
extern int LastSetupResult;

// The station's settings file (korvane.ini beside the executable; Files.h SettingsFileName).
std::string SettingsFile();

// Logs "MicroLAN: Error starting session on port %d, type %d" when the setup fails. A retry of a start
// that failed (the station tries again while no adapter answers) logs neither that line nor the driver
// versions again.
bool Startup(bool retry = false);
bool StartSession();
// StartSession for a sensor's sample. A sample whose session will not open is skipped with its counters
// untouched; the log tells of it once per run of such failures, and again when sessions open once more.
bool StartSampleSession();
void EndSession();
// Shutdown: releases the driver port of the session (ordinal 10).
void ReleasePort();
void ReadPortSettings(bool logVersions = true);
int Setup();
int SetLineParameters();
int ReadByte();
int SendByte(int byte);
int ResetBus();
// Makes the device current and selects it (access, then strong access); on failure resets the bus.
// 1 when selected. The session is open.
int SelectRom(const uint16_t* rom);
// 1 when result == expected, else 0; always sets LastTmexError from the result table.
int CheckResult(int result, int expected);
// The text CheckResult gives for a result (without touching LastTmexError).
std::string TmexErrorText(int result);
void Log(const std::string& text);

// How often StartSession tries and how long it sleeps between tries.
inline constexpr int kSessionAttempts = 51;
inline constexpr uint32_t kSessionRetryMs = 100;

} // namespace Microlan

namespace platform {
class TStringList;
}
// The serial texts the scan found (a sorted list), created anew by Microlan::Startup.
extern std::unique_ptr<platform::TStringList> FoundSerials;
