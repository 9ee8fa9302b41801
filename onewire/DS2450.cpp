#include "onewire/DS2450.h"

#include <cmath>
#include <exception>

#include "onewire/DS2450Exchange.h"
#include "onewire/DataFiles.h"
#include "onewire/DataTables.h"
#include "onewire/DiagnosticDatagram.h"
#include "onewire/Microlan.h"
#include "onewire/SensorKeys.h"
#include "onewire/iButton.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "platform/tmex/Tmex.h"

using namespace platform;
namespace tmex = platform::tmex;

namespace {

const char kLetters[DS2450::kChannels] = {'A', 'B', 'C', 'D'};

// The suffix of a channel's keys.
std::string Letter(int channel) {
    return std::string(1, kLetters[channel]);
}

// The exception's message, empty for one without a message.
std::string MessageOf(const std::exception& e) {
    return e.what() ? std::string(e.what()) : std::string();
}

int32_t NowSeconds() {
    return static_cast<int32_t>(UnixTime());
}

// A conversion of 1-16 bits; any other number takes the default.
void BitsInRange(DS2450& d) {
    if (d.BitsConversion < 1 || d.BitsConversion > 16) d.BitsConversion = 8;
}

std::string CouplerPort(const DS2450& d) {
    return d.SwitchPort == 0 ? "NONE" : d.SwitchPort == 1 ? "MAIN" : "AUX";
}

std::string CouplerSerial(const DS2450& d) {
    return d.SwitchPort == 0 ? std::string() : DS2450::RomToHex(d.SwitchSerial);
}

// The device's own keys, read after its Type.
const SensorKeys<DS2450> kDS2450Keys = {
    {"Debug", &DS2450::Debug, false, {.save = false}},
    {"Read", &DS2450::ReadEnabled, true},
    {"SwitchPort", CouplerPort},
    {"SwitchSerial", CouplerSerial},
    {"FiveVoltRange", &DS2450::FiveVoltRange, true, {.save = false}},
    {"BitsConversion", &DS2450::BitsConversion, 8, {.save = false, .fix = BitsInRange}},
    {"LogErrorPORT", &DS2450::LogErrorPORT, "10001", {.save = false}},
};

// The keys of each channel, its letter appended ("Offset_A"); the marks carry their own names.
const SensorKeys<DS2450> kChannelKeys = {
    {"Description_", &DS2450::Description,
     [](const std::string& section, const std::string& letter) { return section + "_" + letter; }},
    {"Multiplier_", &DS2450::Multiplier, 1.0},
    {"Offset_", &DS2450::Offset, 0.0},
    {Marks(&DS2450::Channels)},
    {"PrintOnHTML_", &DS2450::PrintOnHTML, true},
    {"Plot_", &DS2450::Plot, true},
    {"Log_", &DS2450::Log, true},
};

} // namespace

DS2450::DS2450(int number, const uint16_t* couplerRom, int couplerPort) {
    Reported({"Exception: ", "Exception...", true}, [&] {
        IniFile = std::make_unique<TIniFile>(iButton::SensorsIniPath());
        Number = static_cast<uint8_t>(number);
        SampleCount = 0;
        uint16_t current[8] = {};
        tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, current);
        for (int i = 0; i < 8; ++i)
            Rom[i] = current[i];
        LoadSettings();
        SwitchPort = couplerPort;
        if (SwitchPort != 0) SetCoupler(couplerRom, couplerPort);
    });
}

DS2450::~DS2450() = default;

std::string DS2450::RomToHex(const uint16_t* rom) {
    return Microlan::SerialText(rom);
}

std::string DS2450::RomToText() const {
    return RomToHex(Rom);
}

// --- sample and read ------------------------------------------------------------------------------

int DS2450::Sample() {
    LastResult = 0;
    if (!ReadEnabled) return 1;
    Reported({"Exception reading sensor: ", "Exception reading sensor...", true}, [&] {
        if (tmex::ValidSession(Microlan::Bus().SessionHandle) != 1)
            Microlan::Bus().SessionHandle =
                tmex::StartSession(static_cast<int16_t>(Microlan::Bus().PortNum),
                                   static_cast<int16_t>(Microlan::Bus().PortType), 0);
        if (Microlan::Bus().SessionHandle > 0) {
            if (SwitchPort != 0) SwitchCoupler(SwitchPort);
            for (int k = 0; k < kTries && LastResult == 0; ++k) {
                if (k >= 2) Reset();
                LastResult = Read();
            }
            if (SwitchPort != 0) SwitchCoupler(0);
            ++SampleCount;
            LastSampleTime = static_cast<int>(GetTickCount() / 1000);
            if (LastResult != 0) freshness_.Read();
        }
    });
    tmex::EndSession(Microlan::Bus().SessionHandle);
    if (LastResult == 0)
        ++FailureRun;
    else
        FailureRun = 0;
    return LastResult;
}

bool DS2450::ValuesCurrent() const {
    return ReadEnabled != 0 && freshness_.Current();
}

int DS2450::CrcError(const char* what) {
    if (Debug) DebugLog(std::string("CRC error ") + what);
    return 0;
}

int DS2450::Read() {
    try {
        DS2450Exchange::Line line;
        line.session = Microlan::Bus().SessionHandle;
        line.reset = [this] { return Reset() != 0; };
        line.select = [this] { return Access() != 0; };
        line.send = [this](int byte) { return SendByte(byte) != 0; };
        line.receive = [this] { return ReadByte(); }; // 0 for a byte that did not come: the CRC tells
        const DS2450Exchange::Outcome outcome =
            DS2450Exchange::Run(line, {.bits = BitsConversion, .fiveVoltRange = FiveVoltRange % 2 != 0});
        using End = DS2450Exchange::End;
        if (outcome.pullUpStarted) conversionStartFailures_.Succeeded();
        if (outcome.end == End::NotStarted) {
            SetErrorText(outcome.driverResult, 1);
            if (conversionStartFailures_.First()) SendDatagram("Conversion not started: " + LastError);
            return 0;
        }
        if (outcome.end == End::Timeout) {
            SetErrorText(outcome.driverResult, 1);
            if (Debug) DebugLog("Exception reading byte on MicroLAN: " + LastError);
            return 0;
        }
        if (outcome.CrcFailed()) return CrcError(DS2450Exchange::CrcPart(outcome.end));
        if (!outcome.Done()) return 0;
        for (int ch = 0; ch < kChannels; ++ch)
            StoreValue(ch, outcome.Volts(ch));
        StatusText.SetNumbers("%3.1f / %3.1f / %3.1f / %3.1f", {Value[0], Value[1], Value[2], Value[3]});
        return 1;
    } catch (...) {
        SendDatagram("Exception reading sensor!");
        return 0; // values may be incomplete: never a success
    }
}

void DS2450::StoreValue(int channel, double volts) {
    try {
        float value = static_cast<float>(volts) * Multiplier[channel] + Offset[channel];
        if (!std::isfinite(value)) {
            SendDatagram("Exception calculating values!");
            return;
        }
        Channels[channel].value = value;
        Channels[channel].Track(0.0f, NowSeconds());
    } catch (...) {
        SendDatagram("Exception calculating values!");
    }
}

// --- bus primitives -------------------------------------------------------------------------------

int DS2450::SetErrorText(int result, int expected) {
    LastError = Microlan::TmexErrorText(result);
    return result == expected ? 1 : 0;
}

int DS2450::Reset() {
    try {
        int result = tmex::TouchReset(Microlan::Bus().SessionHandle);
        if (result == 1) return 1;
        SetErrorText(result, 1);
    } catch (...) {
        SendDatagram("Exception reset MicroLAN");
    }
    if (Debug) DebugLog("Exception reset MicroLAN: " + LastError);
    return 0;
}

int DS2450::ReadByte() {
    try {
        int result = tmex::TouchByte(Microlan::Bus().SessionHandle, 0xFF);
        if (result >= 0) return result;
        SetErrorText(result, 1);
    } catch (...) {
        SendDatagram("Exception reading byte on MicroLAN");
    }
    if (Debug) DebugLog("Exception reading byte on MicroLAN: " + LastError);
    return 0;
}

int DS2450::SendByte(int byte) {
    try {
        int result = tmex::TouchByte(Microlan::Bus().SessionHandle, static_cast<int16_t>(byte));
        if (result == byte) return 1;
        SetErrorText(result, 1);
    } catch (...) {
        SendDatagram("Error sending byte on MicroLAN");
    }
    if (Debug) DebugLog("Error sending byte on MicroLAN: " + LastError);
    return 0;
}

int DS2450::Access() {
    try {
        uint16_t rom[8];
        for (int i = 0; i < 8; ++i)
            rom[i] = Rom[i];
        tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, rom);
        if (SetErrorText(tmex::Access(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer), 1))
            return 1;
        if (SetErrorText(tmex::StrongAccess(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer),
                         1))
            return 1;
        tmex::TouchReset(Microlan::Bus().SessionHandle);
        if (Debug) DebugLog(LastError);
    } catch (...) {
        SendDatagram("Error accessing MicroLAN");
    }
    return 0;
}

// --- coupler --------------------------------------------------------------------------------------

int DS2450::SwitchCoupler(int command) {
    try {
        uint16_t rom[8];
        for (int i = 0; i < 8; ++i)
            rom[i] = SwitchSerial[i];
        tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, rom);
        if (tmex::Access(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer) != 1) return 0;
        StatusText.clear();
        switch (command) {
        case 0:
            SendByte(0x66);
            StatusText = "ALL LINES OFF";
            break;
        case 1:
            SendByte(0xCC);
            ReadByte();
            StatusText = "MAIN ON";
            break;
        case 2:
            SendByte(0x33);
            ReadByte();
            StatusText = "AUX ON";
            break;
        case 3:
            SendByte(0xA5);
            StatusText = "MAIN ON";
            break;
        case 4:
            SendByte(0x99);
            PumpMessages(100);
            StatusText = "DISCHARGE ALL";
            break;
        default:
            return 0;
        }
        ReadByte();
        ReadByte();
        return 1;
    } catch (...) {
        SendDatagram("Exception selecting DS2409 port...");
        return 0;
    }
}

void DS2450::SetCoupler(const uint16_t* couplerRom, int port) {
    Reported("Exception assigning switch serial", [&] {
        for (int i = 0; i < 8; ++i)
            SwitchSerial[i] = couplerRom ? couplerRom[i] : 0;
        SwitchSerial[8] = 0;
        SwitchPort = port;
    });
}

// --- reporting ------------------------------------------------------------------------------------

void DS2450::SendDatagram(const std::string& text) {
    try {
        SendDiagnosticDatagram(Format("DS2450 %s: %s", RomToText().c_str(), text.c_str()));
    } catch (...) {
        // Diagnostics must never break a reading.
    }
}

void DS2450::DebugLog(const std::string& text) {
    Reported({"Exception writing to debug-log: ", "Exception writing to debug-log", true}, [&] {
        AppendToFile("DEBUG_" + RomToText() + ".log",
                     Format("DS2450 %s: %s\n", RomToText().c_str(), text.c_str()));
    });
}

void DS2450::LogData() {
    Reported("Exception logging data!", [&] {
        DosDate date = GetDate();
        DosTime time = GetTime();
        for (int ch = 0; ch < kChannels; ++ch) {
            if (!Log[ch]) continue;
            AppendDataFile(SensorDataFileName(Description[ch], date.da_mon, date.da_year),
                           Format("%02d.%02d.%d\t%02d:%02d\t%3.2f\n", date.da_day, date.da_mon, date.da_year,
                                  time.ti_hour, time.ti_min, Value[ch]));
        }
    });
}

// --- settings -------------------------------------------------------------------------------------

void DS2450::LoadSettings() {
    try {
        const std::string section = Section();
        Type = IniFile->ReadString(section, "Type", "DS2450");
        IniFile->WriteString(section, "Type", Type);
        LoadKeys(*this, kDS2450Keys, *IniFile, section);
        // Marks not stored yet start now.
        const int32_t now = NowSeconds();
        for (int ch = 0; ch < kChannels; ++ch) {
            Channels[ch].highTime = Channels[ch].lowTime = now;
            LoadKeys(*this, kChannelKeys, *IniFile, section, ch, Letter(ch));
        }
    } catch (const std::exception& e) {
        std::string message = MessageOf(e);
        MessageBuffer = Format("Exception reading SENSORS.INI! (%s)", message.c_str());
        SendDatagram(MessageBuffer);
    } catch (...) {
        SendDatagram("Exception reading SENSORS.INI...");
    }
}

void DS2450::SaveSettings() {
    Reported("Exception writing to SENSORS.INI!", [&] {
        const std::string section = Section();
        SaveKeys(*this, kDS2450Keys, *IniFile, section);
        for (int ch = 0; ch < kChannels; ++ch)
            SaveKeys(*this, kChannelKeys, *IniFile, section, ch, Letter(ch));
    });
}

void DS2450::SetType(const std::string& type) {
    Reported({"Exception writing to SENSORS.INI: ", "Exception writing to SENSORS.INI...", true}, [&] {
        Type = type;
        IniFile->WriteString(Section(), "Type", Type);
    });
}

// --- marks ----------------------------------------------------------------------------------------

// A reset reaches SENSORS.INI at once, as every reset does (the marks a reading moves wait for the
// minute's write).
void DS2450::ResetChannel(int channel) {
    try {
        if (channel < 0 || channel >= kChannels) return;
        Channels[channel].Reset(NowSeconds());
        Channels[channel].SaveHigh(*IniFile, Section());
        Channels[channel].SaveLow(*IniFile, Section());
    } catch (...) {
        SendDatagram("Exception doing reset!");
    }
}

void DS2450::ResetAll() {
    TIniFile::Batch batch; // the four channels in one write
    for (int ch = 0; ch < kChannels; ++ch)
        ResetChannel(ch);
}

float DS2450::GetMaxValue(int channel, uint8_t* time) {
    return Channels[channel & 3].High(time);
}

float DS2450::GetMinValue(int channel, uint8_t* time) {
    return Channels[channel & 3].Low(time);
}
