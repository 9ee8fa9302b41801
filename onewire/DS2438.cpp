// DS2438: input selection, A/D and temperature conversions over page 0, calibration and marks.
#include "onewire/DS2438.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "onewire/Microlan.h"
#include "onewire/SensorKeys.h"
#include "platform/Clock.h"
#include "platform/Strings.h"
#include "platform/tmex/Tmex.h"

using platform::Format;
namespace tmex = platform::tmex;

namespace {

constexpr uint8_t kConvertT = 0x44;
constexpr uint8_t kConvertV = 0xB4;
constexpr uint8_t kRecall = 0xB8;
constexpr uint8_t kReadScratchpad = 0xBE;
constexpr uint8_t kWriteScratchpad = 0x4E;
constexpr uint8_t kCopyScratchpad = 0x48;
// Page 0 as read by ReadPage: byte k of the page sits at IoBuffer[kPage + k].
constexpr int kPage = 2;

} // namespace

namespace {

// Read by the constructor after the Type.
const SensorKeys<DS2438> kDS2438Keys = {
    {"PrintTempOnHTML", &DS2438::PrintTempOnHTML, true},
    {"VADDescription", &DS2438::VADDescription,
     [](const platform::TIniFile&, const std::string& section) { return section + "_VAD"; }},
    {"VSENSDescription", &DS2438::VSENSDescription,
     [](const platform::TIniFile&, const std::string& section) { return section + "_VSENS"; }},
    {"VADOffset", &DS2438::VADOffset, 0.0},
    {"VADMultiplier", &DS2438::VADMultiplier, 1.0},
    // Written the moment they move.
    {Marks(&DS2438::VAD), {.save = false}},
    {Marks(&DS2438::VDD), {.save = false}},
    {Marks(&DS2438::VSENS), {.save = false}},
};

} // namespace

DS2438::DS2438(int sensorNumber, const uint16_t* couplerRom, int couplerPort)
    : Temperature(sensorNumber, couplerRom, couplerPort) {
    Logged("Exception reading SENSORS.INI!", [&] {
        const std::string section = SerialSection();
        Type = IniFile->ReadString(section, "Type", "DS2438");
        IniFile->WriteString(section, "Type", Type);
        LoadKeys(*this, kDS2438Keys, *IniFile, section);
    });
}

void DS2438::DebugIf(const std::string& text) {
    if (Debug) DebugLog(text);
}

int DS2438::Block(std::initializer_list<uint8_t> bytes) {
    uint8_t buffer[16] = {};
    std::copy(bytes.begin(), bytes.end(), buffer);
    return tmex::BlockIO(Microlan::Bus().SessionHandle, buffer, static_cast<int16_t>(bytes.size()));
}

int DS2438::ReadPage() {
    IoBuffer[0] = kReadScratchpad;
    IoBuffer[1] = 0x00;
    std::fill(IoBuffer + 2, IoBuffer + 11, 0xFF);
    return tmex::BlockIO(Microlan::Bus().SessionHandle, IoBuffer, 11);
}

bool DS2438::PageCrcOk() {
    Crc8Value = 0;
    for (int i = kPage; i < kPage + 9; ++i)
        Crc8(IoBuffer[i]);
    return Crc8Value == 0;
}

bool DS2438::PageAllZero() const {
    return std::all_of(IoBuffer + kPage, IoBuffer + kPage + 9, [](uint8_t b) { return b == 0; });
}

bool DS2438::WaitNonZero() {
    // A shorted line reads 0x00 for ever and a driver error reads as 0: the wait needs its own end.
    const uint32_t start = platform::GetTickCount();
    for (int reads = 1;; ++reads) {
        if (Microlan::ReadByte() != 0) return true;
        if (reads >= kPollLimitReads ||
            platform::TicksElapsed(platform::GetTickCount(), start) > kPollLimitMs)
            return false;
    }
}

int DS2438::Read() {
    return LoggedOr<int>(0, "Exception reading values!", [&]() -> int {
        int vad = ReadVoltage(0);
        int temperature = ReadTemperature();
        int vdd = ReadVoltage(1);
        return vad && temperature && vdd ? 1 : 0;
    });
}

int DS2438::SelectInput(int input) {
    return LoggedOr<int>(0, "Exception preparing AtoD!", [&]() -> int {
        tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, Rom);
        if (Block({kRecall, 0x00}) < 0) return 0;
        // The page bytes written back below must come from a read in this call, never from an older
        // buffer: the threshold byte would be overwritten with stale data.
        if (!SelectDevice()) return 0;
        if (ReadPage() != 11 || !PageCrcOk()) return 0;
        const uint8_t config = IoBuffer[kPage];
        const bool wantVdd = input != 0;
        if (((config & kAdBit) != 0) == wantVdd) return 1;

        if (!SelectDevice()) return 0;
        uint8_t write[10] = {kWriteScratchpad, 0x00,
                             static_cast<uint8_t>(wantVdd ? config | kAdBit : config & ~kAdBit)};
        std::copy(IoBuffer + kPage + 1, IoBuffer + kPage + 8, write + 3);
        if (tmex::BlockIO(Microlan::Bus().SessionHandle, write, 10) < 0) return 0;

        if (!SelectDevice()) return 0;
        if (Block({kCopyScratchpad, 0x00}) < 0) return 0;
        return WaitNonZero() ? 1 : 0;
    });
}

int DS2438::ReadVoltage(int input) {
    return LoggedOr<int>(0, "Exception reading voltage!", [&]() -> int {
        for (int sequence = 0; sequence < kVadSequences; ++sequence) {
            if (!SelectInput(input)) {
                DebugIf("Error reading AD values");
                return 0;
            }
            if (SelectDevice()) {
                if (!Microlan::SendByte(kConvertV)) return 0;
                if (!WaitNonZero()) {
                    DebugIf("Error reading AD values");
                    return 0;
                }
            }
            if (SelectDevice() && Block({kRecall, 0x00}) != 2) {
                DebugIf("Error sending on MLan");
                return 0;
            }
            if (!SelectDevice() || ReadPage() != 11) {
                DebugIf("Error reading AD values");
                return 0;
            }
            if (!PageCrcOk()) {
                DebugIf("CRC error reading AD values!");
                return 0;
            }
            const double current = static_cast<int16_t>(IoBuffer[kPage + 6] << 8 | IoBuffer[kPage + 5]);
            const double voltage = (IoBuffer[kPage + 4] * 256 + IoBuffer[kPage + 3]) * 0.01;
            // The copy of the new configuration may not have reached the A/D yet: measure again.
            if (input == 0 && (IoBuffer[kPage] & kAdBit)) continue;

            if (voltage < -0.3 || voltage > 12.0) {
                DebugIf("Volt reading out of spec");
                return 0;
            }
            if (input) {
                SetVDD(voltage);
                SetVSENS(current);
            } else {
                SetVAD(voltage);
            }
            return 1;
        }
        DebugIf("Error reading AD values");
        return 0;
    });
}

int DS2438::ReadTemperature() {
    return LoggedOr<int>(
        0, {"Exception reading & calculating temp: ", "Exception reading & calculating temp"}, [&]() -> int {
            if (!SelectDevice()) {
                DebugIf("Error accessing MLan!");
                return 0;
            }
            Microlan::SendByte(kConvertT);
            const uint32_t start = platform::GetTickCount();
            for (;;) {
                if (platform::TicksElapsed(platform::GetTickCount(), start) > 200) {
                    DebugIf("Timeout converting temperature");
                    return 0;
                }
                PumpMessages(10);
                if (Microlan::ReadByte() != 0) break;
            }
            if (SelectDevice() && Block({kRecall, 0x00}) != 2) {
                DebugIf("Error sending on MLan");
                return 0;
            }
            if (!SelectDevice()) {
                DebugIf("Error accessing MLan!");
                return 0;
            }
            if (ReadPage() != 11) {
                DebugIf("Error sending on MLan");
                return 0;
            }
            if (!PageCrcOk()) {
                DebugIf("CRC error reading temp!");
                return 0;
            }
            // 13-bit two's complement in the top bits of a 16-bit word: shift in 16 bits to keep the sign.
            const int16_t raw = static_cast<int16_t>(
                static_cast<int16_t>(IoBuffer[kPage + 2] << 8 | IoBuffer[kPage + 1]) >> 3);
            const double temperature = raw * 0.03125;
            // An all-zero page is a shorted net; 0.0 C from a real page is a temperature like any other.
            if (PageAllZero() || !(temperature >= -55.0 && temperature <= 125.0)) return 0;
            UpdateTemperature(temperature);
            return 1;
        });
}

void DS2438::SetVAD(double volts) {
    Logged("Exception calculating VAD!", [&] {
        double value = volts * VADMultiplier + VADOffset;
        if (!std::isfinite(value)) {
            LogError("Exception calculating VAD!");
            return;
        }
        if (value < 0.0) return;
        VAD.value = FilterValue(value, 1);
        Extremes::Moved moved = VAD.Track(0.0, Now());
        if (moved.high) SaveMaxVAD();
        if (moved.low) SaveMinVAD();
    });
}

void DS2438::SetVDD(double volts) {
    Logged({"Exception setting VDD: ", "Exception setting VDD"}, [&] {
        VDD.value = FilterValue(volts, 2);
        Extremes::Moved moved = VDD.Track(0.0, Now());
        if (moved.high) SaveMaxVDD();
        if (moved.low) SaveMinVDD();
    });
}

void DS2438::SetVSENS(double value) {
    Logged("Exception setting VSENS!", [&] {
        if (value >= 0.0 && value < 1000.0) VSENS.value = value;
        Extremes::Moved moved = VSENS.Track(0.0, Now());
        if (moved.high) SaveMaxVSENS();
        if (moved.low) SaveMinVSENS();
    });
}

double DS2438::GetValue() {
    return VAD.value;
}
double DS2438::GetMax() {
    return VAD.high;
}
double DS2438::GetMin() {
    return VAD.low;
}
double DS2438::GetMaxAt(uint8_t* time) {
    return GetMaxVAD(time);
}
double DS2438::GetMinAt(uint8_t* time) {
    return GetMinVAD(time);
}

double DS2438::GetMaxVAD(uint8_t* time) {
    return VAD.High(time);
}
double DS2438::GetMinVAD(uint8_t* time) {
    return VAD.Low(time);
}
double DS2438::GetMaxVDD(uint8_t* time) {
    return VDD.High(time);
}
double DS2438::GetMinVDD(uint8_t* time) {
    return VDD.Low(time);
}
double DS2438::GetMaxVSENS(uint8_t* time) {
    return VSENS.High(time);
}
double DS2438::GetMinVSENS(uint8_t* time) {
    return VSENS.Low(time);
}

std::string DS2438::GetUnit() {
    return "V";
}

void DS2438::ResetDaily() {
    ResetTemperature();
    ResetVSENS();
    ResetVAD();
    ResetVDD();
}

void DS2438::ResetVSENS() {
    Logged("Exception in reset VSENS!", [&] {
        VSENS.Reset(Now());
        SaveMaxVSENS();
        SaveMinVSENS();
    });
}

void DS2438::ResetVAD() {
    Logged("Exception in reset VAD!", [&] {
        VAD.Reset(Now());
        SaveMaxVAD();
        SaveMinVAD();
    });
}

void DS2438::ResetVDD() {
    Logged("Exception in reset VDD!", [&] {
        VDD.Reset(Now());
        SaveMaxVDD();
        SaveMinVDD();
    });
}

void DS2438::SaveSettings() {
    Logged("Exception writing to SENSORS.INI!", [&] {
        Temperature::SaveSettings();
        SaveKeys(*this, kDS2438Keys, *IniFile, SerialSection());
    });
}

void DS2438::SaveMaxVSENS() {
    SaveHigh(VSENS);
}
void DS2438::SaveMinVSENS() {
    SaveLow(VSENS);
}
void DS2438::SaveMaxVAD() {
    SaveHigh(VAD);
}
void DS2438::SaveMinVAD() {
    SaveLow(VAD);
}
void DS2438::SaveMaxVDD() {
    SaveHigh(VDD);
}
void DS2438::SaveMinVDD() {
    SaveLow(VDD);
}

std::string DS2438::GetHTML() {
    return LoggedOr<std::string>(
        "Exception creating HTML document",
        {"Exception creating HTML document: ", "Exception creating HTML document"}, [&]() -> std::string {
            auto row = [](const char* label, double value, const char* tail) {
                return Format("<TR><TD><FONT SIZE=2>%s</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.2f "
                              "V%s</FONT></TD></TR>",
                              label, value, tail);
            };
            auto heading = [](const std::string& text) {
                return Format("<TR><TD COLSPAN=2><FONT SIZE=2><CENTER><B>%s</B></CENTER> </FONT></TD></TR>",
                              text.c_str());
            };
            std::string html = "<TABLE CELLPADDING=0 CELLSPACING=0 BORDER=1>\n";
            html += "<TR><TD COLSPAN=2><FONT SIZE=2><CENTER><B>DS2438</B></CENTER></FONT></TD></TR>\n";
            html += heading(VADDescription) + "\n";
            html += row("VAD (A/D input)", VAD.value, "") + row("High VAD", VAD.high, "") +
                    row("Low VAD", VAD.low, "<BR>");
            html += heading("Power supply");
            html += row("VDD (Power supply)", VDD.value, "") + row("High VDD", VDD.high, "") +
                    row("Low VDD", VDD.low, "<BR>");
            html += heading(VSENSDescription);
            html += row("Vsens (Battery current)", VSENS.value, "") + row("High Vsens", VSENS.high, "") +
                    row("Low Vsens", VSENS.low, "<BR>");
            html += "<TR><TD COLSPAN=2>" + Temperature::GetHTML() + "</TD></TR></TABLE>";
            return html;
        });
}

void DS2438::LogData() {
    if (!Log || !HasReading) return;
    AppendDataLine(TempDescription, Format("%3.1f", InUnit(temp.value)));
    AppendDataLine(VADDescription, Format("%3.2f", VAD.value));
    AppendDataLine(VSENSDescription, Format("%3.2f", VSENS.value));
}
