// DS2438: input selection, A/D and temperature conversions over page 0, calibration and marks.
#include "onewire/DS2438.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "onewire/Microlan.h"
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

DS2438::DS2438(int sensorNumber, const uint16_t* couplerRom, int couplerPort)
    : Temperature(sensorNumber, couplerRom, couplerPort) {
    try {
        const std::string section = SerialSection();
        platform::TIniFile& ini = *IniFile;
        Type = ini.ReadString(section, "Type", "DS2438");
        ini.WriteString(section, "Type", Type);
        PrintTempOnHTML = ini.ReadBool(section, "PrintTempOnHTML", true);
        VADDescription = ini.ReadString(section, "VADDescription", section + "_VAD");
        VSENSDescription = ini.ReadString(section, "VSENSDescription", section + "_VSENS");
        VADOffset = ini.ReadFloat(section, "VADOffset", 0.0);
        VADMultiplier = ini.ReadFloat(section, "VADMultiplier", 1.0);
        max_VAD = ini.ReadFloat(section, "max_VAD", -100.0);
        min_VAD = ini.ReadFloat(section, "min_VAD", 200.0);
        max_VAD_t = ini.ReadInteger(section, "max_VAD_t", 0);
        min_VAD_t = ini.ReadInteger(section, "min_VAD_t", 0);
        max_VDD = ini.ReadFloat(section, "max_VDD", 0.0);
        min_VDD = ini.ReadFloat(section, "min_VDD", 20.0);
        max_VDD_t = ini.ReadInteger(section, "max_VDD_t", 0);
        min_VDD_t = ini.ReadInteger(section, "min_VDD_t", 0);
        max_VSENS = ini.ReadFloat(section, "max_VSENS", -100.0);
        min_VSENS = ini.ReadFloat(section, "min_VSENS", 200.0);
        max_VSENS_t = ini.ReadInteger(section, "max_VSENS_t", 0);
        min_VSENS_t = ini.ReadInteger(section, "min_VSENS_t", 0);
    } catch (...) {
        LogError("Exception reading SENSORS.INI!");
    }
}

void DS2438::DebugIf(const std::string& text) {
    if (Debug) DebugLog(text);
}

int DS2438::Block(std::initializer_list<uint8_t> bytes) {
    uint8_t buffer[16] = {};
    std::copy(bytes.begin(), bytes.end(), buffer);
    return tmex::BlockIO(Microlan::SessionHandle, buffer, static_cast<int16_t>(bytes.size()));
}

int DS2438::ReadPage() {
    IoBuffer[0] = kReadScratchpad;
    IoBuffer[1] = 0x00;
    std::fill(IoBuffer + 2, IoBuffer + 11, 0xFF);
    return tmex::BlockIO(Microlan::SessionHandle, IoBuffer, 11);
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
    try {
        int vad = ReadVoltage(0);
        int temperature = ReadTemperature();
        int vdd = ReadVoltage(1);
        return vad && temperature && vdd ? 1 : 0;
    } catch (...) {
        LogError("Exception reading values!");
        return 0;
    }
}

int DS2438::SelectInput(int input) {
    try {
        tmex::Rom(Microlan::SessionHandle, &Microlan::TmexStateBuffer, Rom);
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
        if (tmex::BlockIO(Microlan::SessionHandle, write, 10) < 0) return 0;

        if (!SelectDevice()) return 0;
        if (Block({kCopyScratchpad, 0x00}) < 0) return 0;
        return WaitNonZero() ? 1 : 0;
    } catch (...) {
        LogError("Exception preparing AtoD!");
        return 0;
    }
}

int DS2438::ReadVoltage(int input) {
    try {
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
    } catch (...) {
        LogError("Exception reading voltage!");
        return 0;
    }
}

int DS2438::ReadTemperature() {
    try {
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
            platform::Sleep(10);
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
        const int16_t raw =
            static_cast<int16_t>(static_cast<int16_t>(IoBuffer[kPage + 2] << 8 | IoBuffer[kPage + 1]) >> 3);
        const double temperature = raw * 0.03125;
        // An all-zero page is a shorted net; 0.0 C from a real page is a temperature like any other.
        if (PageAllZero() || !(temperature >= -55.0 && temperature <= 125.0)) return 0;
        UpdateTemperature(temperature);
        return 1;
    } catch (const std::exception& e) {
        LogError(std::string("Exception reading & calculating temp: ") + e.what());
        return 0;
    } catch (...) {
        LogError("Exception reading & calculating temp");
        return 0;
    }
}

void DS2438::WriteMark(const char* key, double value, int32_t when) {
    try {
        const std::string section = SerialSection();
        IniFile->WriteFloat(section, key, value);
        IniFile->WriteInteger(section, std::string(key) + "_t", when);
    } catch (...) {
        LogError("Exception writing to SENSORS.INI!");
    }
}

void DS2438::SetVAD(double volts) {
    try {
        double value = volts * VADMultiplier + VADOffset;
        if (!std::isfinite(value)) {
            LogError("Exception calculating VAD!");
            return;
        }
        if (value < 0.0) return;
        VAD = FilterValue(value, 1);
        if (VAD > max_VAD) {
            max_VAD = VAD;
            max_VAD_t = Now();
            SaveMaxVAD();
        }
        if (VAD < min_VAD) {
            min_VAD = VAD;
            min_VAD_t = Now();
            SaveMinVAD();
        }
    } catch (...) {
        LogError("Exception calculating VAD!");
    }
}

void DS2438::SetVDD(double volts) {
    try {
        VDD = FilterValue(volts, 2);
        if (VDD > max_VDD) {
            max_VDD = VDD;
            max_VDD_t = Now();
            SaveMaxVDD();
        }
        if (VDD < min_VDD) {
            min_VDD = VDD;
            min_VDD_t = Now();
            SaveMinVDD();
        }
    } catch (const std::exception& e) {
        LogError(std::string("Exception setting VDD: ") + e.what());
    } catch (...) {
        LogError("Exception setting VDD");
    }
}

void DS2438::SetVSENS(double value) {
    try {
        if (value >= 0.0 && value < 1000.0) VSENS = value;
        if (VSENS > max_VSENS) {
            max_VSENS = VSENS;
            max_VSENS_t = Now();
            SaveMaxVSENS();
        }
        if (VSENS < min_VSENS) {
            min_VSENS = VSENS;
            min_VSENS_t = Now();
            SaveMinVSENS();
        }
    } catch (...) {
        LogError("Exception setting VSENS!");
    }
}

double DS2438::GetValue() {
    return VAD;
}
double DS2438::GetMax() {
    return max_VAD;
}
double DS2438::GetMin() {
    return min_VAD;
}
double DS2438::GetMaxAt(uint8_t* time) {
    return GetMaxVAD(time);
}
double DS2438::GetMinAt(uint8_t* time) {
    return GetMinVAD(time);
}

double DS2438::GetMaxVAD(uint8_t* time) {
    FillTimeRecord(max_VAD_t, time);
    return max_VAD;
}
double DS2438::GetMinVAD(uint8_t* time) {
    FillTimeRecord(min_VAD_t, time);
    return min_VAD;
}
double DS2438::GetMaxVDD(uint8_t* time) {
    FillTimeRecord(max_VDD_t, time);
    return max_VDD;
}
double DS2438::GetMinVDD(uint8_t* time) {
    FillTimeRecord(min_VDD_t, time);
    return min_VDD;
}
double DS2438::GetMaxVSENS(uint8_t* time) {
    FillTimeRecord(max_VSENS_t, time);
    return max_VSENS;
}
double DS2438::GetMinVSENS(uint8_t* time) {
    FillTimeRecord(min_VSENS_t, time);
    return min_VSENS;
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
    try {
        max_VSENS = VSENS;
        max_VSENS_t = Now();
        SaveMaxVSENS();
        min_VSENS = VSENS;
        min_VSENS_t = Now();
        SaveMinVSENS();
    } catch (...) {
        LogError("Exception in reset VSENS!");
    }
}

void DS2438::ResetVAD() {
    try {
        max_VAD = VAD;
        max_VAD_t = Now();
        SaveMaxVAD();
        min_VAD = VAD;
        min_VAD_t = Now();
        SaveMinVAD();
    } catch (...) {
        LogError("Exception in reset VAD!");
    }
}

void DS2438::ResetVDD() {
    try {
        max_VDD = VDD;
        max_VDD_t = Now();
        SaveMaxVDD();
        min_VDD = VDD;
        min_VDD_t = Now();
        SaveMinVDD();
    } catch (...) {
        LogError("Exception in reset VDD!");
    }
}

void DS2438::SaveSettings() {
    try {
        Temperature::SaveSettings();
        const std::string section = SerialSection();
        platform::TIniFile& ini = *IniFile;
        ini.WriteBool(section, "PrintTempOnHTML", PrintTempOnHTML != 0);
        ini.WriteString(section, "VADDescription", VADDescription);
        ini.WriteString(section, "VSENSDescription", VSENSDescription);
        ini.WriteFloat(section, "VADOffset", VADOffset);
        ini.WriteFloat(section, "VADMultiplier", VADMultiplier);
    } catch (...) {
        LogError("Exception writing to SENSORS.INI!");
    }
}

void DS2438::SaveMaxVSENS() {
    WriteMark("max_VSENS", max_VSENS, max_VSENS_t);
}
void DS2438::SaveMinVSENS() {
    WriteMark("min_VSENS", min_VSENS, min_VSENS_t);
}
void DS2438::SaveMaxVAD() {
    WriteMark("max_VAD", max_VAD, max_VAD_t);
}
void DS2438::SaveMinVAD() {
    WriteMark("min_VAD", min_VAD, min_VAD_t);
}
void DS2438::SaveMaxVDD() {
    WriteMark("max_VDD", max_VDD, max_VDD_t);
}
void DS2438::SaveMinVDD() {
    WriteMark("min_VDD", min_VDD, min_VDD_t);
}

std::string DS2438::GetHTML() {
    try {
        auto row = [](const char* label, double value, const char* tail) {
            return Format(
                "<TR><TD><FONT SIZE=2>%s</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.2f V%s</FONT></TD></TR>",
                label, value, tail);
        };
        auto heading = [](const std::string& text) {
            return Format("<TR><TD COLSPAN=2><FONT SIZE=2><CENTER><B>%s</B></CENTER> </FONT></TD></TR>",
                          text.c_str());
        };
        std::string html = "<TABLE CELLPADDING=0 CELLSPACING=0 BORDER=1>\n";
        html += "<TR><TD COLSPAN=2><FONT SIZE=2><CENTER><B>DS2438</B></CENTER></FONT></TD></TR>\n";
        html += heading(VADDescription) + "\n";
        html +=
            row("VAD (A/D input)", VAD, "") + row("High VAD", max_VAD, "") + row("Low VAD", min_VAD, "<BR>");
        html += heading("Power supply");
        html += row("VDD (Power supply)", VDD, "") + row("High VDD", max_VDD, "") +
                row("Low VDD", min_VDD, "<BR>");
        html += heading(VSENSDescription);
        html += row("Vsens (Battery current)", VSENS, "") + row("High Vsens", max_VSENS, "") +
                row("Low Vsens", min_VSENS, "<BR>");
        html += "<TR><TD COLSPAN=2>" + Temperature::GetHTML() + "</TD></TR></TABLE>";
        return html;
    } catch (const std::exception& e) {
        LogError(std::string("Exception creating HTML document: ") + e.what());
        return "Exception creating HTML document";
    } catch (...) {
        LogError("Exception creating HTML document");
        return "Exception creating HTML document";
    }
}

void DS2438::LogData() {
    if (!Log || !HasReading) return;
    AppendDataLine(TempDescription, Format("%3.1f", InUnit(current_temp)));
    AppendDataLine(VADDescription, Format("%3.2f", VAD));
    AppendDataLine(VSENSDescription, Format("%3.2f", VSENS));
}
