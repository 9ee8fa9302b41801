#pragma once
// The MicroLAN module. The station's 1-Wire session (TBusSession), the byte/reset primitives, the
// result texts and the start-up sequence. Free functions over the installed session; everything runs
// on the window thread. Logging goes to the station's status log (SensorHost).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
    // The adapter stopped answering on a port where sessions still open, and when it was last looked
    // for (StartSampleSession).
    bool AdapterSilent = false;
    uint32_t AdapterLookedForTick = 0;
    // The driver has no port type PortType: no start will ever open a session (Startup logs the types
    // it has).
    bool PortTypeUnsupported = false;
    // A sample failed with an adapter that did not answer, and the log has told so (SampleFailureCounts).
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
// An adapter that stopped answering where sessions still open (a serial adapter unplugged or without
// power keeps its device) is set up again every kAdapterRetryMs, as the start is while none answers;
// the driver tells of the outage once and of the adapter's return.
bool StartSampleSession();
// Whether the adapter of the session's port answered when last asked: false while it is missing or
// silent, that is while the 1-Wire session is down.
bool AdapterAnswers();
void EndSession();
// Asked after a failed sample, in its open session: whether the failure is the sensor's. It is not
// while the adapter itself does not answer (a presence pulse in the sample says it does; otherwise the
// driver tells whether the adapter answered when last asked, AdapterAnswers): such a sample is the
// session's failure and counts no error. The log tells of a silent adapter once, and once again when
// the adapter answers again (AdapterAnswered, also after a good sample).
bool SampleFailureCounts();
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
// While one lives and holds, Log keeps the bus layer's lines back; Release logs them, and those still
// held when it goes are dropped (a start that looks again whether sensors are there yet).
class HeldLog {
public:
    explicit HeldLog(bool hold);
    ~HeldLog();
    HeldLog(const HeldLog&) = delete;
    HeldLog& operator=(const HeldLog&) = delete;
    void Release();

private:
    friend void Log(const std::string& text);
    std::vector<std::string> lines_;
};

// How often StartSession tries and how long it sleeps between tries.
inline constexpr int kSessionAttempts = 51;
inline constexpr uint32_t kSessionRetryMs = 100;
// How often an adapter that does not answer is looked for again.
inline constexpr uint32_t kAdapterRetryMs = 30000;

} // namespace Microlan
