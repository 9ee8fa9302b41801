// The MicroLAN session and bus primitives.
#include "onewire/Microlan.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "onewire/DataTables.h"
#include "onewire/SensorHost.h"
#include "onewire/SensorTables.h"
#include "onewire/iButton.h"
#include "platform/CatchAndLog.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/StringList.h"
#include "platform/Strings.h"

namespace tmex = platform::tmex;
using platform::Format;

namespace Microlan {

namespace {
TBusSession* installed = nullptr;
HeldLog* held = nullptr;
} // namespace

TBusSession::TBusSession() = default;
TBusSession::~TBusSession() = default;

TBusSession& Bus() {
    if (installed != nullptr) return *installed;
    static TBusSession own; // no station: tools and checks of the bus layer alone
    return own;
}

void InstallBus(TBusSession* session) {
    installed = session;
}

TBusSession* InstalledBus() {
    return installed;
}

std::string SettingsFile() {
    return platform::SettingsFileName(platform::ExeName());
}

void Log(const std::string& text) {
    if (held != nullptr) {
        held->lines_.push_back(text);
        return;
    }
    if (SensorHost* host = InstalledSensorHost()) host->LogStatus(text);
}

HeldLog::HeldLog(bool hold) {
    if (hold && held == nullptr) held = this;
}

HeldLog::~HeldLog() {
    if (held == this) held = nullptr;
}

void HeldLog::Release() {
    if (held != this) return;
    held = nullptr;
    for (const std::string& line : lines_)
        Log(line);
    lines_.clear();
}

std::string TmexErrorText(int result) {
    switch (result) {
    case 4:
    case -3:
    case -13:
        return "TMEX Error: Function not supported";
    case 3:
    case -2:
        return "TMEX Error: Specified MicroLan nonexistent";
    case 2:
        return "TMEX Error: MicroLan shorted";
    case 1:
        return "";
    case 0:
        return "TMEX Error...";
    case -1:
    case -17:
        return "TMEX Error: Port not initalized";
    case -4:
        return "TMEX Error: Error reading or writing a packet";
    case -5:
        return "TMEX Error: Packet larger than provided buffer";
    case -6:
        return "TMEX Error: Not enough room for packet on device";
    case -7:
        return "TMEX Error: Device not found";
    case -8:
        return "TMEX Error: Block transfer too long";
    case -9:
        return "TMEX Error: Wrong type of device for this function";
    case -10:
        return "TMEX Error: The page being read is redirected";
    case -11:
        return "TMEX Error: The device is written in a way that can not be changed";
    case -12:
        return "TMEX Error: File is READ ONLY";
    case -14:
        return "TMEX Error: Illegal file/directory name";
    case -15:
        return "TMEX Error: Trying to delete read only file";
    case -16:
        return "TMEX Error: File handle does not exist";
    case -200:
        return "TMEX Error: Session not valid";
    case -201:
        return "TMEX Error: Hardware-specific driver not found";
    default:
        return "TMEX Error: Unknown error";
    }
}

int CheckResult(int result, int expected) {
    TBusSession& bus = Bus();
    bus.LastTmexError = TmexErrorText(result);
    return result == expected ? 1 : 0;
}

bool StartSession() {
    TBusSession& bus = Bus();
    if (bus.SessionHandle > 0 && tmex::ValidSession(bus.SessionHandle) == 1) return true;
    // Start, store, give the adapter 100 ms; stop as soon as the handle is non-zero (51 busy attempts
    // cost 5.1 s). Every session that opens costs those 100 ms too; the sensors' rates count with it.
    for (int attempt = 0; attempt < kSessionAttempts; ++attempt) {
        bus.SessionHandle =
            tmex::StartSession(static_cast<int16_t>(bus.PortNum), static_cast<int16_t>(bus.PortType), 0);
        PumpMessages(kSessionRetryMs);
        if (bus.SessionHandle != 0) break;
    }
    return bus.SessionHandle > 0;
}

bool AdapterAnswers() {
    TBusSession& bus = Bus();
    return tmex::AdapterAnswers(static_cast<int16_t>(bus.PortNum), static_cast<int16_t>(bus.PortType));
}

namespace {
void LookForSilentAdapter(TBusSession& bus) {
    if (AdapterAnswers()) {
        bus.AdapterSilent = false;
        return;
    }
    const uint32_t now = platform::GetTickCount();
    if (bus.AdapterSilent && platform::TicksElapsed(now, bus.AdapterLookedForTick) < kAdapterRetryMs) return;
    // Seen silent for the first time, the driver has just tried it (and told of it): the next try is due
    // an interval later.
    if (bus.AdapterSilent) tmex::Setup(bus.SessionHandle);
    bus.AdapterSilent = true;
    bus.AdapterLookedForTick = now;
}
} // namespace

bool StartSampleSession() {
    TBusSession& bus = Bus();
    bus.PresenceSeen = false;
    if (StartSession()) {
        if (bus.SessionFailureTold)
            Log(Format("MicroLAN: Sessions on port %d, type %d open again", bus.PortNum, bus.PortType));
        bus.SessionFailureTold = false;
        LookForSilentAdapter(bus);
        return true;
    }
    if (!bus.SessionFailureTold)
        Log(Format("MicroLAN: Cannot open a session on port %d, type %d: samples are skipped", bus.PortNum,
                   bus.PortType));
    bus.SessionFailureTold = true;
    return false;
}

bool SampleFailureCounts() {
    TBusSession& bus = Bus();
    if (bus.PresenceSeen || AdapterAnswers()) {
        AdapterAnswered();
        return true;
    }
    if (!bus.AdapterSilenceTold)
        Log(Format("MicroLAN: No answer from the adapter on port %d, type %d: failed samples are not counted",
                   bus.PortNum, bus.PortType));
    bus.AdapterSilenceTold = true;
    return false;
}

void AdapterAnswered() {
    TBusSession& bus = Bus();
    if (!bus.AdapterSilenceTold) return;
    bus.AdapterSilenceTold = false;
    Log(Format("MicroLAN: The adapter on port %d, type %d answers again", bus.PortNum, bus.PortType));
}

int SelectRom(const uint16_t* rom) {
    TBusSession& bus = Bus();
    uint16_t current[8];
    std::copy(rom, rom + 8, current);
    if (!CheckResult(tmex::Rom(bus.SessionHandle, &bus.TmexStateBuffer, current), 1)) return 0;
    if (CheckResult(tmex::Access(bus.SessionHandle, &bus.TmexStateBuffer), 1)) return 1;
    if (CheckResult(tmex::StrongAccess(bus.SessionHandle, &bus.TmexStateBuffer), 1)) return 1;
    ResetBus();
    return 0;
}

void EndSession() {
    TBusSession& bus = Bus();
    tmex::EndSession(bus.SessionHandle);
}

void ReleasePort() {
    TBusSession& bus = Bus();
    tmex::ReleasePort(bus.SessionHandle);
}

namespace {
// The port types the driver has, each with its version without the remarks in brackets.
std::string UnsupportedPortTypeText(int portType) {
    std::string types;
    const auto registered = tmex::RegisteredPortTypes();
    for (size_t i = 0; i < registered.size(); ++i) {
        const std::string& version = registered[i].second;
        if (i > 0) types += i + 1 == registered.size() ? " and " : ", ";
        types += platform::Format("%d (%s)", registered[i].first, version.substr(0, version.find(" (")).c_str());
    }
    return platform::Format("DRIVER: Port type %d is not supported by this build; it drives port type%s %s "
                            "([Weather] PortType in korvane.ini)",
                            portType, registered.size() == 1 ? "" : "s", types.c_str());
}
} // namespace

void ReadPortSettings(bool logVersions) {
    TBusSession& bus = Bus();
    platform::CatchAndLog(platform::Named("MicroLAN: Error reading port"), Log, [&] {
        int16_t defaultNum = 0, defaultType = 0;
        tmex::DefaultPort(&defaultNum, &defaultType);
        if (defaultNum == 0) defaultNum = 1;
        if (defaultType == 0) defaultType = 5;
        platform::TIniFile ini(SettingsFile());
        bus.PortNum = ini.ReadInteger("Weather", "PortNum", defaultNum);
        bus.PortType = ini.ReadInteger("Weather", "PortType", defaultType);
        char text[tmex::kVersionTextSize] = {};
        if (!logVersions) return;
        if (bus.PortNum != 0) {
            tmex::MainDriverVersion(text);
            Log(std::string("DRIVER: Main: ") + text);
        }
        if (bus.PortType != 0) {
            text[0] = 0;
            tmex::TypeDriverVersion(static_cast<int16_t>(bus.PortType), text);
            bus.PortTypeUnsupported = text[0] == 0;
            Log(bus.PortTypeUnsupported ? UnsupportedPortTypeText(bus.PortType)
                                        : std::string("DRIVER: Type: ") + text);
        }
    });
}

int Setup() {
    TBusSession& bus = Bus();
    try {
        if (!StartSession()) {
            bus.LastSetupResult = 0;
            return 0;
        }
        int result = tmex::Setup(bus.SessionHandle);
        bus.LastSetupResult = result;
        switch (result) {
        case 1:
            bus.LastTmexError = "TMEX Setup: OK";
            break;
        case 0:
            bus.LastTmexError = "TMEX Setup failed";
            break;
        case 2:
            bus.LastTmexError = "TMEX Setup: Failed, MLan shorted";
            break;
        case 3:
            bus.LastTmexError = "TMEX Setup: Failed, MLan nonexistent";
            break;
        case 4:
            bus.LastTmexError = "TMEX Setup: Not supported";
            break;
        case -200:
            bus.LastTmexError = "TMEX Setup: Invalid session";
            break;
        default:
            bus.LastTmexError = "TMEX Setup error?";
            break;
        }
        EndSession();
        return result == 1 ? 1 : 0;
    } catch (...) {
        Log("Exception setup MicroLAN");
        return 0;
    }
}

int SetLineParameters() {
    TBusSession& bus = Bus();
    if (!StartSession()) return 0;
    int done = 0;
    try {
        bus.TmexParameterBlock = tmex::TMLine{};
        bus.TmexParameterBlock.flag = 1;
        if (tmex::DS2480LineParameters(bus.SessionHandle, &bus.TmexParameterBlock) != 1) {
            Log("MicroLAN: Error calling TMLine!");
        } else {
            platform::TIniFile ini(SettingsFile());
            auto setting = [&](const char* key, uint8_t& field) {
                field = static_cast<uint8_t>(ini.ReadInteger("TMEX", key, field) & 0xFF);
            };
            setting("NormalPDSRC", bus.TmexParameterBlock.normalPDSRC);
            setting("NormalW1LT", bus.TmexParameterBlock.normalW1LT);
            setting("NormalDSOWORT", bus.TmexParameterBlock.normalDSOWORT);
            setting("NormalSearchBaud", bus.TmexParameterBlock.normalSearchBaud);
            setting("NormalBitBaud", bus.TmexParameterBlock.normalBitBaud);
            setting("NormalByteBaud", bus.TmexParameterBlock.normalByteBaud);
            bus.TmexParameterBlock.flag = 0;
            if (tmex::DS2480LineParameters(bus.SessionHandle, &bus.TmexParameterBlock) == 1)
                done = 1;
            else
                Log("MicroLAN: Error calling TMLine!");
        }
    } catch (...) {
        Log("MicroLAN: Error calling TMLine!");
    }
    EndSession();
    return done;
}

int ReadByte() {
    TBusSession& bus = Bus();
    try {
        int result = tmex::TouchByte(bus.SessionHandle, 0xFF); // int, never int8: 0xFF stays 255
        if (result < 0) {
            CheckResult(result, 1);
            return 0;
        }
        return result;
    } catch (...) {
        Log("MicroLAN: Exception reading byte on MicroLAN");
        return 0;
    }
}

int SendByte(int byte) {
    TBusSession& bus = Bus();
    try {
        int result = tmex::TouchByte(bus.SessionHandle, static_cast<int16_t>(byte & 0xFF));
        if (result != (byte & 0xFF)) {
            CheckResult(result, 1);
            return 0;
        }
        return 1;
    } catch (...) {
        Log("MicroLAN: Exception sending byte on MicroLAN");
        return 0;
    }
}

int ResetBus() {
    TBusSession& bus = Bus();
    try {
        int result = tmex::TouchReset(bus.SessionHandle);
        if (result != 1) {
            CheckResult(result, 1);
            return 0;
        }
        bus.PresenceSeen = true;
        return 1;
    } catch (...) {
        Log("MicroLAN: Exception reset MicroLAN");
        return 0;
    }
}

bool Startup(bool retry) {
    TBusSession& bus = Bus();
    try {
        // A session left open (a search that found nothing leaves it for the next user) is ended before
        // its handle is forgotten; otherwise the port stays busy and a restart can never open one.
        if (bus.SessionHandle > 0 && tmex::ValidSession(bus.SessionHandle) == 1)
            tmex::EndSession(bus.SessionHandle);
        bus.SessionHandle = -1;
        bus.SessionFailureTold = bus.AdapterSilenceTold = false;
        bus.AdapterSilent = false;
        if (SensorHost* host = InstalledSensorHost()) host->ResetSampleCount();
        IniTxtLoaded = false;
        // A new session starts with empty tables (the station frees the sensors before it starts one).
        ClearSensorTables();

        platform::TIniFile ini(SettingsFile());
        bus.FoundSerials = std::make_unique<platform::TStringList>();
        bus.FoundSerials->SetSorted(true);

        bus.UseCelsius = ini.ReadBool("Weather", "Celsius", false);
        bus.SampleInterval = ini.ReadInteger("Weather", "SampleInterval", 1000);
        if (bus.SampleInterval > 10000) bus.SampleInterval = 10000;
        if (bus.SampleInterval < 500) bus.SampleInterval = 500;
        bus.DS1820ReadInterval = ini.ReadInteger("DS1820", "ReadInterval", 60);
        bus.DS2438ReadInterval = ini.ReadInteger("DS2438", "ReadInterval", 60);
        bus.RGaugeReadInterval = ini.ReadInteger("RGauge", "ReadInterval", 10);

        ReadPortSettings(!retry);

        if (Setup() == 0) {
            if (!retry)
                Log(Format("MicroLAN: Error starting session on port %d, type %d", bus.PortNum,
                           bus.PortType));
            return false;
        }
        if (bus.PortType == tmex::kPortTypeDS2480) SetLineParameters();

        if (LoadCompass()) Log("SERVER: Loading COMPASS.DAT...");
        if (LoadBeaufort()) Log("SERVER: Loading BEAUFORT.DAT...");
        IniTxtLoaded = LoadIniTxt() != 0;
        if (IniTxtLoaded) Log("SERVER: Loading INI.TXT...");

        LoadSerialList("sensors.ini");
        return true;
    } catch (const std::exception& e) {
        Log("MicroLAN: Error initializing: " + std::string(e.what()));
        return false;
    } catch (...) {
        Log("MicroLAN: Error initializing");
        return false;
    }
}

} // namespace Microlan
