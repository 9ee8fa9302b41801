// The sensor base class.
#include "onewire/iButton.h"

#include <algorithm>
#include <exception>

#include "onewire/DataTables.h"
#include "onewire/Microlan.h"
#include "onewire/SensorKeys.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "platform/tmex/Crc.h"
#include "platform/tmex/Tmex.h"

namespace tmex = platform::tmex;
using platform::Format;

namespace {
const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// The 24-character ctime form of the local time now.
std::string CtimeNow() {
    platform::LocalTime t = platform::Clock::Get().Now();
    return Format("%.3s %.3s%3d %.2d:%.2d:%.2d %d", kWeekdays[t.weekday % 7], kMonths[(t.month + 11) % 12],
                  t.day, t.hour, t.minute, t.second, t.year);
}

// The coupler a sensor was found behind.
std::string CouplerPort(const iButton& b) {
    return b.SwitchPort == 0 ? "NONE" : b.SwitchPort == 1 ? "MAIN" : "AUX";
}

std::string CouplerSerial(const iButton& b) {
    return b.SwitchPort == 0 ? std::string() : iButton::RomText(b.SwitchSerial);
}

// The common keys of every sensor.
const SensorKeys<iButton> kCommonKeys = {
    {"Description", &iButton::Description, SectionName},
    {"Log", &iButton::Log, true},
    {"Plot", &iButton::Plot, true},
    {"MaxRetry", &iButton::MaxRetry, 3},
    {"PrintOnHTML", &iButton::PrintOnHTML, true},
    {"SwitchPort", CouplerPort},
    {"SwitchSerial", CouplerSerial},
    // Written as they change (SetRead), or only by hand.
    {"Read", &iButton::ReadEnabled, true, {.save = false}},
    {"Debug", &iButton::Debug, false, {.save = false}},
    {"LogErrorPORT", &iButton::LogErrorPORT, "10001", {.save = false}},
};
} // namespace

std::string iButton::SensorsIniPath() {
    return platform::ResolvePath(platform::AppPath() + "SENSORS.INI");
}

iButton::iButton(const uint16_t* couplerSerial, int couplerBranch) {
    try {
        IniFile = std::make_unique<platform::TIniFile>(SensorsIniPath());
        Samples = 0;
        uint16_t current[8] = {};
        tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, current);
        std::copy(std::begin(current), std::end(current), Rom);
        LoadSettings();
        if (couplerBranch != 0 && couplerSerial) AssignCoupler(couplerSerial, couplerBranch);
    } catch (const std::exception& e) {
        LogError(std::string("Exception: ") + e.what());
    } catch (...) {
        LogError("Exception...");
    }
}

iButton::~iButton() = default;

const char* iButton::RomToHex(const uint16_t* rom) {
    static char buffer[17];
    std::string text = RomText(rom);
    std::copy(text.begin(), text.end(), buffer);
    buffer[16] = 0;
    return buffer;
}

std::string iButton::RomText(const uint16_t* rom) {
    return Microlan::SerialText(rom);
}

int iButton::HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0; // lower case too (documented)
}

uint8_t iButton::Crc8(uint8_t byte) {
    Crc8Value = tmex::Crc8Update(Crc8Value, byte);
    return Crc8Value;
}

uint16_t iButton::Crc16(uint8_t byte) {
    Crc16Value = tmex::Crc16Update(Crc16Value, byte);
    return Crc16Value;
}

void iButton::LogError(const std::string& text) {
    if (LogErrorPORT.size() < 2) return;
    Microlan::Log(Type + " " + RomText(Rom) + ": " + text);
}

void iButton::DebugLog(const std::string& text) {
    Logged({"Exception writing to debug-log: ", "Exception writing to debug-log"}, [&] {
        Microlan::Log(Type + " " + RomText(Rom) + ": " + text);
        // The description only names the file after '/', '\' and control characters became '_'.
        platform::AppendToFile("DEBUG_" + SafeFileNamePart(Description) + ".log",
                               Format("%s: %s\n", CtimeNow().c_str(), text.c_str()));
    });
}

void iButton::LoadSettings() {
    Logged({"Exception reading from SENSORS.INI: ", "Exception reading from SENSORS.INI..."}, [&] {
        Samples = 0;
        ClassCounter = 0;
        ErrorCount = 0;
        tenthErrorStepAt_ = 0;
        disabledByErrors_ = false;
        HistoryPending = 1;
        DDEName = "DDE" + RomText(Rom);
        LoadKeys(*this, kCommonKeys, *IniFile, RomText(Rom));
    });
}

void iButton::SaveSettings() {
    Logged({"Exception writing to SENSORS.INI: ", "Exception writing to SENSORS.INI..."},
           [&] { SaveKeys(*this, kCommonKeys, *IniFile, RomText(Rom)); });
}

void iButton::SetType(const std::string& type) {
    Logged({"Exception writing to SENSORS.INI: ", "Exception writing to SENSORS.INI..."}, [&] {
        Type = type;
        IniFile->WriteString(RomText(Rom), "Type", type);
    });
}

void iButton::SetRead(int flag) {
    Logged({"Exception writing to SENSORS.INI: ", "Exception writing to SENSORS.INI..."}, [&] {
        ReadEnabled = flag != 0 ? 1 : 0;
        disabledByErrors_ = false; // the user's choice replaces the error rule's
        IniFile->WriteBool(RomText(Rom), "Read", flag != 0);
    });
}

void iButton::AssignCoupler(const uint16_t* couplerSerial, int branch) {
    Logged("Exception assigning switch serial...", [&] {
        for (int i = 0; i < 8; ++i)
            SwitchSerial[i] = couplerSerial[i];
        SwitchSerial[8] = 0;
        SwitchPort = branch;
    });
}

int iButton::SecondsSinceLastSample() {
    if (Samples < 2) return 0x7FFFFFFF;
    // Wrap-safe: the elapsed milliseconds on the 32-bit tick counter.
    return static_cast<int>(platform::TicksElapsed(platform::GetTickCount(), lastSampleTick_) / 1000);
}

double iButton::FilterValue(double value, int channel) {
    try {
        if (channel >= 4 || channel < 0) return value;
        double* h = History[channel];
        if (Samples < 2) {
            std::fill(h, h + 10, value);
            return value;
        }
        h[Samples % 10] = value;
        double sorted[10];
        std::copy(h, h + 10, sorted);
        std::sort(sorted, sorted + 10);
        return (sorted[5] + sorted[6]) / 2.0;
    } catch (const std::exception& e) {
        LogError(std::string("Exception calculating average: ") + e.what());
        return 0.0;
    }
}

int iButton::SelectDevice() {
    return LoggedOr<int>(0, "Exception accessing MicroLAN",
                         [&]() -> int { return Microlan::SelectRom(Rom); });
}

int iButton::SwitchCoupler(int command) {
    uint16_t rom[8];
    std::copy(SwitchSerial, SwitchSerial + 8, rom);
    tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, rom);
    if (tmex::Access(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer) != 1) return 0;
    auto touch = [](int byte) { tmex::TouchByte(Microlan::Bus().SessionHandle, static_cast<int16_t>(byte)); };
    switch (command) {
    case AllLinesOff:
        touch(0x66);
        break;
    case SmartOnMain:
        touch(0xCC);
        touch(0xFF);
        break;
    case SmartOnAux:
        touch(0x33);
        touch(0xFF);
        break;
    case DirectOnMain:
        touch(0xA5);
        break;
    case Discharge:
        touch(0x99);
        PumpMessages(100);
        break;
    default:
        return 0;
    }
    touch(0xFF);
    touch(0xFF);
    return 1;
}

bool iButton::ValuesCurrent() const {
    return ReadEnabled != 0 && freshness_.Current();
}

bool iButton::ResumeSampling(const std::string& section, const char* text) {
    disabledByErrors_ = false;
    ReadEnabled = IniFile->ReadBool(section, "Read", true) ? 1 : 0;
    if (ReadEnabled) LogError(Description + text);
    return ReadEnabled != 0;
}

int iButton::Sample() {
    // Made once, not at every sample; the section name only when sampling is switched on again (the ROM
    // as the sample began).
    static const platform::ErrorTexts texts{"Exception reading sensor: ", "Exception reading sensor: "};
    return LoggedOr<int>(0, texts, [&]() -> int {
        uint16_t romAtStart[8];
        std::copy(std::begin(Rom), std::end(Rom), romAtStart);
        if (!ReadEnabled) {
            // A disabled sensor is "not sampled" (0): the readers must not republish stale values. One
            // the user switched off stays off; one the error rule switched off is tried again hourly.
            if (!disabledByErrors_ || SecondsSinceLastSample() <= 3600) return 0;
            if (!ResumeSampling(RomText(romAtStart), ": Sampling ENABLED (trying again)")) return 0;
        }
        LastReadOk = 0;
        if (!Microlan::StartSampleSession()) return 0;
        // Once per tenth error: a failure that counted none (a silent adapter) leaves the count as it was.
        if (ErrorCount != 0 && ErrorCount % 10 == 0 && ErrorCount != tenthErrorStepAt_) {
            tenthErrorStepAt_ = ErrorCount;
            if (ErrorCount < 50) {
                if (Microlan::Setup() == 1)
                    LogError(Format("%u errors reading %s: MLAN OK", ErrorCount, Description.c_str()));
                else if (Microlan::Bus().LastSetupResult == 2)
                    LogError(Format("%u errors reading %s: MLAN shorted!", ErrorCount, Description.c_str()));
                else
                    LogError(
                        Format("%u errors reading %s: MLAN unavailable", ErrorCount, Description.c_str()));
                // Setup ended the session; the sample goes on, so it needs one again.
                if (!Microlan::StartSession()) return 0;
            } else {
                LogError(Format("%u errors reading %s, sampling DISABLED! (will try later)", ErrorCount,
                                Description.c_str()));
                ReadEnabled = 0;
                disabledByErrors_ = true;
            }
        }
        int result = 0;
        int tries = MaxRetry < 1 ? 1 : MaxRetry;
        for (int k = 0; k < tries; ++k) {
            if (k >= 2) Microlan::ResetBus();
            if (SwitchPort != 0) SwitchCoupler(SwitchPort);
            result = Read();
            if (SwitchPort != 0) SwitchCoupler(AllLinesOff);
            if (result != 0) break;
        }
        // A failure while the adapter does not answer is the session's: no counter moves, as for a
        // session that would not open.
        const bool counted = result != 0 || Microlan::SampleFailureCounts();
        Microlan::EndSession();
        if (!counted) return 0;
        ++Samples;
        lastSampleTick_ = platform::GetTickCount();
        LastSampleTime = lastSampleTick_ / 1000;
        if (result != 0) {
            ErrorCount = 0;
            tenthErrorStepAt_ = 0;
            freshness_.Read();
            Microlan::AdapterAnswered();
            // The sample that disabled the sensor succeeded: nothing is left to wait an hour for.
            if (disabledByErrors_) ResumeSampling(RomText(romAtStart), ": Sampling ENABLED");
        } else {
            ++ErrorCount;
        }
        LastReadOk = result;
        return result;
    });
}

std::string iButton::GetHTML() {
    try {
        std::string html = "<TABLE CELLPADDING=0 CELLSPACING=0 WIDTH=250 BORDER=0>";
        html +=
            Format("<TR><TD><FONT SIZE=2>Type</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%s</FONT></TD></TR>",
                   Type.c_str());
        html +=
            Format("<TR><TD><FONT SIZE=2>Serial</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%s</FONT></TD></TR>",
                   RomText(Rom).c_str());
        html +=
            Format("<TR><TD><FONT SIZE=2>Samples</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%d</FONT></TD></TR>",
                   static_cast<int>(Samples));
        html += Format("<TR><TD><FONT SIZE=2>Last sample</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%d seconds "
                       "ago</FONT></TD></TR>",
                       SecondsSinceLastSample());
        html += Format(
            "<TR><TD><FONT SIZE=2>Last error</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%s</FONT></TD></TR>",
            LastError.c_str());
        if (SwitchPort != 0) {
            html += "<TR><TD><FONT SIZE=2><BR></B></A></FONT></TD><TD ALIGN=RIGHT><FONT "
                    "SIZE=2><BR></FONT></TD></TR>";
            html += Format(
                "<TR><TD><FONT SIZE=2>Hub serial</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%s</FONT></TD></TR>",
                RomText(SwitchSerial).c_str());
            html += Format(
                "<TR><TD><FONT SIZE=2>Hub port</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%s</FONT></TD></TR>",
                SwitchPort == 1 ? "Main" : "Aux");
        }
        html += "<TR><TD><FONT SIZE=2><BR><A HREF='/'><B>Back</B></A></FONT></TD><TD ALIGN=RIGHT><FONT "
                "SIZE=2><BR></FONT></TD></TR></TABLE>";
        return html;
    } catch (const std::exception& e) {
        LogError(std::string("Exception creating HTML document: ") + e.what());
        return std::string("Exception creating HTML document: ") + e.what();
    } catch (...) {
        LogError("Exception creating HTML document...");
        return "Exception creating HTML document...";
    }
}

std::string iButton::GetStatus() {
    return Format("%s: %s", RomText(Rom).c_str(), ValueText.str().c_str());
}
