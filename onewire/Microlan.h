#pragma once
// The MicroLAN module. The station's 1-Wire session (TBusSession), the byte/reset primitives, the
// result texts and the start-up sequence. Free functions over the installed session; everything runs
// on the window thread. Logging goes to the station's status log (SensorHost).
#include <cstdint>
#include <memory>
#include <string>

#include "platform/tmex/Tmex.h"

namespace platform {
class TStringList;
}

namespace Microlan {

// One station's 1-Wire session: the handle and state buffer of the session on its port, the driver's
// last answers, the serials the scan found and the few station settings the bus layer reads (all
// reset or reloaded by Startup). The main window owns it; its station host installs it for the
// window's lifetime (InstallBus), and the free functions below work on the installed one.
struct TBusSession {
    TBusSession();
    ~TBusSession();
    TBusSession(const TBusSession&) = delete;
    TBusSession& operator=(const TBusSession&) = delete;

    platform::tmex::SessionHandle SessionHandle = -1; // -1 after start-up; > 0 while a session is open
    platform::tmex::TmexStateBuffer TmexStateBuffer{};
    int PortNum = 1;
    int PortType = 5;
    int SampleInterval = 1000;   // ms, 500..10000, default 1000
    int DS1820ReadInterval = 60; // s, default 60
    int DS2438ReadInterval = 60; // s, default 60
    int RGaugeReadInterval = 10; // s, default 10
    bool UseCelsius = false;
    std::string LastTmexError;
    platform::tmex::TMLine TmexParameterBlock{};
    // The driver's result of the last Setup (2 = shorted reaches the sample's log text).
    int LastSetupResult = 0;
    // The serial texts the scan found (a sorted list), created anew by Startup.
    std::unique_ptr<platform::TStringList> FoundSerials;
    // A sample's session would not open, and the log has told so (StartSampleSession).
    bool SessionFailureTold = false;
    // A sample failed with an adapter that did not answer, and the log has told so (AdapterAnswers).
    bool AdapterSilenceTold = false;
    // A bus reset (ResetBus) since the sample's session opened had a presence pulse.
    bool PresenceSeen = false;
};

// The installed session; without one (no station), a session of the bus layer's own.
TBusSession& Bus();
// Installs the session (null: none). Its owner removes it before it goes.
void InstallBus(TBusSession* session);
TBusSession* InstalledBus();

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
// Asked after a failed sample, in its open session: whether the adapter itself answers. A presence
// pulse in the sample says so at no cost; otherwise the adapter's setup must succeed (on a shorted net
// it answers too). A sample that failed with a silent adapter is the session's failure, not the
// sensor's: it counts no error. The log tells of a silent adapter once, and once again when the adapter
// answers again (AdapterAnswered, also after a good sample).
bool AdapterAnswers();
void AdapterAnswered();
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
