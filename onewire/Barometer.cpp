// Barometer: VAD to inHg, marks, minute history, rate, trend and unit conversion.
#include "onewire/Barometer.h"

#include <cmath>
#include <exception>

#include "platform/Exceptions.h"
#include "platform/Strings.h"

using platform::Format;

Barometer::Barometer(const uint16_t* couplerRom, int couplerPort) : DS2438(1, couplerRom, couplerPort) {
    LoadSettings();
}

void Barometer::LoadSettings() {
    current_baro = 0.0;
    DDEName = "DDEBarometer";
    try {
        const std::string section = SerialSection();
        platform::TIniFile& ini = *IniFile;
        BaroOffset = ini.ReadFloat(section, "BaroOffset", 0.0);
        BaroMultiplier = ini.ReadFloat(section, "BaroMultiplier", 1.0);
        max_baro = ini.ReadFloat(section, "max_baro", 0.0);
        min_baro = ini.ReadFloat(section, "min_baro", 1500.0);
        max_baro_t = ini.ReadInteger(section, "max_baro_t", 0);
        min_baro_t = ini.ReadInteger(section, "min_baro_t", 0);
        today_baro = ini.ReadFloat(section, "today_baro", 0.0);
        hiBar = ini.ReadFloat(section, "hiBar", 31.0);
        loBar = ini.ReadFloat(section, "loBar", 28.0);
        Vhi = ini.ReadFloat(section, "Vhi", 3.25);
        Vlow = ini.ReadFloat(section, "Vlow", 1.25);
        Metric = ini.ReadInteger(section, "Metric", 0);
    } catch (...) {
        LogError("Exception reading SENSORS.INI!");
    }
}

void Barometer::SaveSettings() {
    try {
        DS2438::SaveSettings();
        const std::string section = SerialSection();
        platform::TIniFile& ini = *IniFile;
        ini.WriteFloat(section, "BaroOffset", BaroOffset);
        ini.WriteFloat(section, "BaroMultiplier", BaroMultiplier);
        ini.WriteFloat(section, "current_baro", current_baro);
        ini.WriteFloat(section, "today_baro", today_baro);
        ini.WriteFloat(section, "hiBar", hiBar);
        ini.WriteFloat(section, "loBar", loBar);
        ini.WriteFloat(section, "Vhi", Vhi);
        ini.WriteFloat(section, "Vlow", Vlow);
        ini.WriteInteger(section, "Metric", Metric);
    } catch (...) {
        LogError("Exception writing to SENSORS.INI!");
    }
}

int Barometer::Read() {
    try {
        if (!DS2438::Read()) {
            DebugIf("Error reading DS2438!");
            return 0;
        }
        if (VDD < kSupplyLimit) {
            DebugIf(Format("Power supply, VDD (%2.1f) lower than 4.0V, skipping!", VDD));
            return 0;
        }
        const double pressure = loBar + (hiBar - loBar) * (VAD - Vlow) / (Vhi - Vlow);
        // Vhi equal to Vlow divides by zero: no number may reach the marks or SENSORS.INI.
        if (!std::isfinite(pressure)) throw platform::Exception("pressure is not a number");
        StorePressure(pressure);
        if (Samples < 3) RateReference = current_baro;
        return 1;
    } catch (...) {
        LogError("Exception calculating barometric value!");
        return 0;
    }
}

int Barometer::StorePressure(double pressure) {
    try {
        if (!(pressure > 0.0)) return 0;
        const double value = pressure * BaroMultiplier + BaroOffset;
        if (!std::isfinite(value)) return 0;
        current_baro = value;
        if (current_baro > max_baro) {
            max_baro = current_baro;
            max_baro_t = Now();
            SaveMaxPressure();
        }
        if (current_baro < min_baro) {
            min_baro = current_baro;
            min_baro_t = Now();
            SaveMinPressure();
        }
        ValueText = Format("%3.1f", GetValue());
        return 1;
    } catch (...) {
        LogError("Exception saving new values!");
        return 0;
    }
}

int Barometer::CalculateRate() {
    try {
        PressureHistory[0] = current_baro;
        for (int i = kHistory - 1; i >= 1; --i)
            PressureHistory[i] = PressureHistory[i - 1];
        int oldest = kHistory - 1;
        while (oldest > 1 && PressureHistory[oldest] == 0.0)
            --oldest;
        RateReference = PressureHistory[oldest];
    } catch (...) {
        LogError("Exception calculating rate/hour!");
    }
    return 1;
}

std::string Barometer::GetTrend() {
    const double hpa = (current_baro - RateReference) * 33.865;
    if (hpa < -0.1) return "Falling";
    if (hpa > 0.1) return "Rising";
    return "Steady";
}

double Barometer::ConvertPressure(double inHg) {
    switch (Metric) {
    case 1:
        return inHg * 33.865;
    case 2:
        return inHg * 3.3865;
    default:
        return inHg;
    }
}

void Barometer::ResetValues() {
    try {
        max_baro = current_baro;
        min_baro = current_baro;
        max_baro_t = Now();
        min_baro_t = max_baro_t;
        SaveMaxPressure();
        SaveMinPressure();
        today_baro = current_baro;
        IniFile->WriteFloat(SerialSection(), "today_baro", today_baro);
        for (int i = kHistory - 1; i >= 1; --i)
            PressureHistory[i] = current_baro;
    } catch (...) {
        LogError("Exception resetting values!");
    }
}

void Barometer::ResetDaily() {
    ResetTemperature();
    ResetVSENS();
    ResetVAD();
    ResetVDD();
    ResetValues();
}

void Barometer::SaveMaxPressure() {
    WriteMark("max_baro", max_baro, max_baro_t);
}
void Barometer::SaveMinPressure() {
    WriteMark("min_baro", min_baro, min_baro_t);
}

double Barometer::GetValue() {
    return ConvertPressure(current_baro);
}
double Barometer::GetMax() {
    return ConvertPressure(max_baro);
}
double Barometer::GetMin() {
    return ConvertPressure(min_baro);
}

double Barometer::GetMaxAt(uint8_t* time) {
    FillTimeRecord(max_baro_t, time);
    return ConvertPressure(max_baro);
}

double Barometer::GetMinAt(uint8_t* time) {
    FillTimeRecord(min_baro_t, time);
    return ConvertPressure(min_baro);
}

std::string Barometer::GetUnit() {
    switch (Metric) {
    case 1:
        return "hPa";
    case 2:
        return "KPa";
    default:
        return "inHg";
    }
}

std::string Barometer::GetHTML() {
    return GetPressureHTML();
}

std::string Barometer::GetPressureHTML() {
    try {
        auto row = [](const char* label, double inHg) {
            return Format(
                "<TR><TD><FONT SIZE=2>%s</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1fhPa / %3.2finHg</FONT>"
                "</TD></TR>\n",
                label, inHg * 33.865, inHg);
        };
        std::string html = "<TABLE CELLPADDING=0 CELLSPACING=0 BORDER=1>\n";
        html += "<TR><TD COLSPAN=2><FONT SIZE=2><CENTER><B>BAROMETER</B></CENTER></FONT></TD></TR>\n";
        html += row("Current pressure", current_baro);
        html += row("Rate/hour", RatePerHour());
        html += row("High pressure", max_baro);
        html += row("Low pressure", min_baro);
        html += "<TR><TD COLSPAN=2>" + DS2438::GetHTML() + "</TD></TR></TABLE>";
        return html;
    } catch (const std::exception& e) {
        LogError(std::string("BAROMETER: Exception creating HTML document: ") + e.what());
        return "BAROMETER: Exception creating HTML document";
    } catch (...) {
        LogError("Exception creating HTML document");
        return "Exception creating HTML document";
    }
}

std::string Barometer::GetStatus() {
    return "BARO:" + iButton::GetStatus() +
           Format(" %.3f %.3f %.3f %.3f %u %u", ConvertPressure(RatePerHour()), current_baro, max_baro,
                  min_baro, static_cast<unsigned>(max_baro_t), static_cast<unsigned>(min_baro_t));
}

void Barometer::LogData() {
    try {
        if (!Log || !HasReading) return;
        DS2438::LogData();
        AppendDataLine("Barometer", Format("%3.2f", GetValue()));
    } catch (...) {
        LogError("Exception logging data!");
    }
}
