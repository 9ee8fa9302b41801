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

std::unique_ptr<platform::TStringList> FoundSerials;

namespace Microlan {

tmex::SessionHandle SessionHandle = -1;
tmex::TmexStateBuffer TmexStateBuffer;
int PortNum = 1;
int PortType = 5;
int SampleInterval = 1000;
int DS1820ReadInterval = 60;
int DS2438ReadInterval = 60;
int RGaugeReadInterval = 10;
bool UseCelsius = false;
std::string LastTmexError;
tmex::TMLine TmexParameterBlock;
int LastSetupResult = 0;

std::string SettingsFile() {
    return platform::SettingsFileName(platform::ExeName());
}

void Log(const std::string& text) {
    if (SensorHost* host = InstalledSensorHost()) host->LogStatus(text);
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
    LastTmexError = TmexErrorText(result);
    return result == expected ? 1 : 0;
}

bool StartSession() {
    if (SessionHandle > 0 && tmex::ValidSession(SessionHandle) == 1) return true;
    // Start, store, give the adapter 100 ms; stop as soon as the handle is non-zero (51 busy attempts
    // cost 5.1 s). Every session that opens costs those 100 ms too; the sensors' rates count with it.
    for (int attempt = 0; attempt < kSessionAttempts; ++attempt) {
        SessionHandle = tmex::StartSession(static_cast<int16_t>(PortNum), static_cast<int16_t>(PortType), 0);
        PumpMessages(kSessionRetryMs);
        if (SessionHandle != 0) break;
    }
    return SessionHandle > 0;
}

namespace {
bool sessionFailureTold = false;
}

bool StartSampleSession() {
    if (StartSession()) {
        if (sessionFailureTold)
            Log(Format("MicroLAN: Sessions on port %d, type %d open again", PortNum, PortType));
        sessionFailureTold = false;
        return true;
    }
    if (!sessionFailureTold)
        Log(Format("MicroLAN: Cannot open a session on port %d, type %d: samples are skipped", PortNum,
                   PortType));
    sessionFailureTold = true;
    return false;
}

int SelectRom(const uint16_t* rom) {
    uint16_t current[8];
    std::copy(rom, rom + 8, current);
    if (!CheckResult(tmex::Rom(SessionHandle, &TmexStateBuffer, current), 1)) return 0;
    if (CheckResult(tmex::Access(SessionHandle, &TmexStateBuffer), 1)) return 1;
    if (CheckResult(tmex::StrongAccess(SessionHandle, &TmexStateBuffer), 1)) return 1;
    ResetBus();
    return 0;
}

void EndSession() {
    tmex::EndSession(SessionHandle);
}

void ReleasePort() {
    tmex::ReleasePort(SessionHandle);
}

void ReadPortSettings(bool logVersions) {
    platform::CatchAndLog(platform::Named("MicroLAN: Error reading port"), Log, [&] {
        int16_t defaultNum = 0, defaultType = 0;
        tmex::DefaultPort(&defaultNum, &defaultType);
        if (defaultNum == 0) defaultNum = 1;
        if (defaultType == 0) defaultType = 5;
        platform::TIniFile ini(SettingsFile());
        PortNum = ini.ReadInteger("Weather", "PortNum", defaultNum);
        PortType = ini.ReadInteger("Weather", "PortType", defaultType);
        char text[tmex::kVersionTextSize] = {};
        if (!logVersions) return;
        if (PortNum != 0) {
            tmex::MainDriverVersion(text);
            Log(std::string("DRIVER: Main: ") + text);
        }
        if (PortType != 0) {
            text[0] = 0;
            tmex::TypeDriverVersion(static_cast<int16_t>(PortType), text);
            Log(std::string("DRIVER: Type: ") + text);
        }
    });
}

int Setup() {
    try {
        if (!StartSession()) {
            LastSetupResult = 0;
            return 0;
        }
        int result = tmex::Setup(SessionHandle);
        LastSetupResult = result;
        switch (result) {
        case 1:
            LastTmexError = "TMEX Setup: OK";
            break;
        case 0:
            LastTmexError = "TMEX Setup failed";
            break;
        case 2:
            LastTmexError = "TMEX Setup: Failed, MLan shorted";
            break;
        case 3:
            LastTmexError = "TMEX Setup: Failed, MLan nonexistent";
            break;
        case 4:
            LastTmexError = "TMEX Setup: Not supported";
            break;
        case -200:
            LastTmexError = "TMEX Setup: Invalid session";
            break;
        default:
            LastTmexError = "TMEX Setup error?";
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
    if (!StartSession()) return 0;
    int done = 0;
    try {
        TmexParameterBlock = tmex::TMLine{};
        TmexParameterBlock.flag = 1;
        if (tmex::DS2480LineParameters(SessionHandle, &TmexParameterBlock) != 1) {
            Log("MicroLAN: Error calling TMLine!");
        } else {
            platform::TIniFile ini(SettingsFile());
            auto setting = [&](const char* key, uint8_t& field) {
                field = static_cast<uint8_t>(ini.ReadInteger("TMEX", key, field) & 0xFF);
            };
            setting("NormalPDSRC", TmexParameterBlock.normalPDSRC);
            setting("NormalW1LT", TmexParameterBlock.normalW1LT);
            setting("NormalDSOWORT", TmexParameterBlock.normalDSOWORT);
            setting("NormalSearchBaud", TmexParameterBlock.normalSearchBaud);
            setting("NormalBitBaud", TmexParameterBlock.normalBitBaud);
            setting("NormalByteBaud", TmexParameterBlock.normalByteBaud);
            TmexParameterBlock.flag = 0;
            if (tmex::DS2480LineParameters(SessionHandle, &TmexParameterBlock) == 1)
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
    try {
        int result = tmex::TouchByte(SessionHandle, 0xFF); // int, never int8: 0xFF stays 255
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
    try {
        int result = tmex::TouchByte(SessionHandle, static_cast<int16_t>(byte & 0xFF));
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
    try {
        int result = tmex::TouchReset(SessionHandle);
        if (result != 1) {
            CheckResult(result, 1);
            return 0;
        }
        return 1;
    } catch (...) {
        Log("MicroLAN: Exception reset MicroLAN");
        return 0;
    }
}

bool Startup(bool retry) {
    try {
        // A session left open (a search that found nothing leaves it for the next user) is ended before
        // its handle is forgotten; otherwise the port stays busy and a restart can never open one.
        if (SessionHandle > 0 && tmex::ValidSession(SessionHandle) == 1) tmex::EndSession(SessionHandle);
        SessionHandle = -1;
        sessionFailureTold = false;
        if (SensorHost* host = InstalledSensorHost()) host->ResetSampleCount();
        IniTxtLoaded = false;
        // A new session starts with empty tables (the station frees the sensors before it starts one).
        ClearSensorTables();

        platform::TIniFile ini(SettingsFile());
        FoundSerials = std::make_unique<platform::TStringList>();
        FoundSerials->SetSorted(true);

        UseCelsius = ini.ReadBool("Weather", "Celsius", false);
        SampleInterval = ini.ReadInteger("Weather", "SampleInterval", 1000);
        if (SampleInterval > 10000) SampleInterval = 10000;
        if (SampleInterval < 500) SampleInterval = 500;
        DS1820ReadInterval = ini.ReadInteger("DS1820", "ReadInterval", 60);
        DS2438ReadInterval = ini.ReadInteger("DS2438", "ReadInterval", 60);
        RGaugeReadInterval = ini.ReadInteger("RGauge", "ReadInterval", 10);

        ReadPortSettings(!retry);

        if (Setup() == 0) {
            if (!retry)
                Log(Format("MicroLAN: Error starting session on port %d, type %d", PortNum, PortType));
            return false;
        }
        if (PortType == tmex::kPortTypeDS2480) SetLineParameters();

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
