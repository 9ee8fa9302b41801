// Humidity: VAD/VDD to %RH, outlier rule, smoothing, dew point and heat index with their marks.
#include "onewire/Humidity.h"

#include <cmath>
#include <exception>

#include "onewire/Microlan.h"
#include "platform/Exceptions.h"
#include "platform/Strings.h"

using platform::Format;

Humidity::Humidity(int sensorNumber, const uint16_t* couplerRom, int couplerPort)
    : DS2438(sensorNumber, couplerRom, couplerPort), HumGraphChannel(static_cast<uint8_t>(sensorNumber)) {
    LoadSettings();
}

void Humidity::LoadSettings() {
    current_hum = 0.0;
    try {
        const std::string section = SerialSection();
        platform::TIniFile& ini = *IniFile;
        GraphHumColor = ini.ReadInteger(section, "GraphHumColor", 255);
        PlotHum = ini.ReadBool(section, "PlotHum", true);
        HumDescription = ini.ReadString(section, "HumDescription", section);
        HumOffset = ini.ReadFloat(section, "HumOffset", 0.0);
        HumMultiplier = ini.ReadFloat(section, "HumMultiplier", 1.0);
        max_hum = ini.ReadFloat(section, "max_hum", -100.0);
        min_hum = ini.ReadFloat(section, "min_hum", 200.0);
        max_hum_t = ini.ReadInteger(section, "max_hum_t", 0);
        min_hum_t = ini.ReadInteger(section, "min_hum_t", 0);
        max_dewpoint = ini.ReadFloat(section, "max_dewpoint", -100.0);
        min_dewpoint = ini.ReadFloat(section, "min_dewpoint", 200.0);
        max_dewpoint_t = ini.ReadInteger(section, "max_dewpoint_t", 0);
        min_dewpoint_t = ini.ReadInteger(section, "min_dewpoint_t", 0);
        max_heatindex = ini.ReadFloat(section, "max_heatindex", 1.0);
        min_heatindex = ini.ReadFloat(section, "min_heatindex", 200.0);
        max_heatindex_t = ini.ReadInteger(section, "max_heatindex_t", 0);
        min_heatindex_t = ini.ReadInteger(section, "min_heatindex_t", 0);
        min_volt_limit = ini.ReadFloat(section, "min_volt_limit", 4.0);
    } catch (...) {
        LogError("Exception reading SENSORS.INI!");
    }
}

void Humidity::SaveSettings() {
    try {
        DS2438::SaveSettings();
        const std::string section = SerialSection();
        platform::TIniFile& ini = *IniFile;
        ini.WriteBool(section, "PlotHum", PlotHum != 0);
        ini.WriteInteger(section, "GraphHumColor", GraphHumColor);
        ini.WriteString(section, "HumDescription", HumDescription);
        ini.WriteFloat(section, "HumMultiplier", HumMultiplier);
        ini.WriteFloat(section, "HumOffset", HumOffset);
        ini.WriteFloat(section, "current_hum", current_hum);
        ini.WriteFloat(section, "min_volt_limit", min_volt_limit);
    } catch (...) {
        LogError("Exception writing to SENSORS.INI!");
    }
}

int Humidity::Read() {
    try {
        if (!DS2438::Read()) return 0;
        if (VDD < min_volt_limit) {
            LogError(Format("Volt supply below %2.1fV (%2.1f), skipping!", min_volt_limit, VDD));
            return 0;
        }
        const double divisor = 1.0546 - 0.00216 * current_temp;
        if (divisor == 0.0) return 1;
        const double raw = (VAD / VDD - 0.16) * 161.29032258064515 / divisor;
        // A supply of 0 V (with the limit set to 0) divides by zero: no number may reach the marks.
        if (!std::isfinite(raw)) throw platform::Exception("humidity is not a number");
        StoreHumidity(raw);
        return 1;
    } catch (...) {
        Microlan::ResetBus();
        LogError("Exception calculating humidity!");
        return 0;
    }
}

int Humidity::StoreHumidity(double raw) {
    try {
        double value = raw * HumMultiplier + HumOffset;
        if (!std::isfinite(value)) return 0;
        if (value > 100.0) value = 100.0;
        if (value <= 0.0) return 0;
        if (current_hum == 0.0) {
            current_hum = value;
        } else if (value >= current_hum - 5.0 && value <= current_hum + 5.0) {
            current_hum = 0.1 * value + 0.9 * current_hum;
        } else if (ClassCounter % 10 != 0) {
            current_hum = 0.1 * value + 0.9 * current_hum;
        } else {
            ++ClassCounter; // one outlier in ten is dropped
        }
        if (current_hum > max_hum) {
            max_hum = current_hum;
            max_hum_t = Now();
            SaveMaxHumidity();
        }
        if (current_hum < min_hum) {
            min_hum = current_hum;
            min_hum_t = Now();
            SaveMinHumidity();
        }
        UpdateHeatIndex();
        UpdateDewpoint();
        ValueText = Format("%3.1f / %3.1f", current_hum, InUnit(current_temp));
        return 1;
    } catch (...) {
        LogError("Exception saving values!");
        return 0;
    }
}

void Humidity::UpdateHeatIndex() {
    try {
        const double tf = current_temp * 9 * 0.2 + 32;
        const double rh = GetValue();
        if (tf <= 80.0 || rh <= 40.0) {
            SetHeatIndex(0.0);
            return;
        }
        const double hi = -42.379 + 2.04901523 * tf + 10.1433127 * rh - 0.22475541 * tf * rh -
                          6.83783 * std::pow(10.0, -3) * std::pow(tf, 2) -
                          5.481717 * std::pow(10.0, -2) * std::pow(rh, 2) +
                          1.22874 * std::pow(10.0, -3) * std::pow(tf, 2) * rh +
                          8.5282 * std::pow(10.0, -4) * tf * std::pow(rh, 2) -
                          1.99 * std::pow(10.0, -6) * std::pow(tf, 2) * std::pow(rh, 2);
        SetHeatIndex((hi - 32) * 0.5555555555555556);
    } catch (...) {
        LogError("Exception calculating heat index!");
    }
}

void Humidity::SetHeatIndex(double value) {
    try {
        if (value >= 0.0 && value < 200.0) current_heatindex = value;
        if (current_heatindex > max_heatindex + 0.01) {
            max_heatindex = current_heatindex;
            max_heatindex_t = Now();
            SaveMaxHeatIndex();
        }
        if (current_heatindex < min_heatindex - 0.01) {
            min_heatindex = current_heatindex;
            min_heatindex_t = Now();
            SaveMinHeatIndex();
        }
    } catch (...) {
        LogError("Exception assigning heat index value!");
    }
}

void Humidity::UpdateDewpoint() {
    double t = 0.0;
    double x = 0.0;
    try {
        t = current_temp;
        x = 0.01 * GetValue();
    } catch (...) {
        LogError("Exception accessing temp/humidity values!");
        return;
    }
    if (x < 0.001) {
        SetDewpoint(0.0);
    } else if (x >= 1.0) {
        SetDewpoint(t);
    } else {
        const double tk = t + 273.15;
        SetDewpoint(tk / (std::log(x) * -0.0001846 * tk + 1.0) - 273.15);
    }
}

void Humidity::SetDewpoint(double value) {
    try {
        if (value > -100.0 && value < 200.0) current_dewpoint = value;
        if (current_dewpoint > max_dewpoint + 0.1) {
            max_dewpoint = current_dewpoint;
            max_dewpoint_t = Now();
            SaveMaxDewpoint();
        }
        if (current_dewpoint < min_dewpoint - 0.1) {
            min_dewpoint = current_dewpoint;
            min_dewpoint_t = Now();
            SaveMinDewpoint();
        }
    } catch (...) {
        LogError("Exception assigning dewpoint value!");
    }
}

void Humidity::SaveMaxHumidity() {
    WriteMark("max_hum", max_hum, max_hum_t);
}
void Humidity::SaveMinHumidity() {
    WriteMark("min_hum", min_hum, min_hum_t);
}
void Humidity::SaveMaxDewpoint() {
    WriteMark("max_dewpoint", max_dewpoint, max_dewpoint_t);
}
void Humidity::SaveMinDewpoint() {
    WriteMark("min_dewpoint", min_dewpoint, min_dewpoint_t);
}
void Humidity::SaveMaxHeatIndex() {
    WriteMark("max_heatindex", max_heatindex, max_heatindex_t);
}
void Humidity::SaveMinHeatIndex() {
    WriteMark("min_heatindex", min_heatindex, min_heatindex_t);
}

void Humidity::ResetHumidity() {
    try {
        max_hum = min_hum = current_hum;
        max_hum_t = min_hum_t = Now();
        SaveMaxHumidity();
        SaveMinHumidity();
    } catch (...) {
        LogError("Exception reset humidity!");
    }
}

void Humidity::ResetDewpoint() {
    try {
        max_dewpoint = min_dewpoint = current_dewpoint;
        max_dewpoint_t = min_dewpoint_t = Now();
        SaveMaxDewpoint();
        SaveMinDewpoint();
    } catch (...) {
        LogError("Exception reset dewpoint!");
    }
}

void Humidity::ResetHeatIndex() {
    try {
        max_heatindex = min_heatindex = current_heatindex;
        max_heatindex_t = min_heatindex_t = Now();
        SaveMaxHeatIndex();
        SaveMinHeatIndex();
    } catch (...) {
        LogError("Exception reset heat index!");
    }
}

void Humidity::ResetDaily() {
    ResetTemperature();
    ResetVSENS();
    ResetVAD();
    ResetVDD();
    ResetHumidity();
    ResetDewpoint();
    ResetHeatIndex();
}

double Humidity::GetValue() {
    return current_hum;
}
double Humidity::GetMax() {
    return max_hum;
}
double Humidity::GetMin() {
    return min_hum;
}

double Humidity::GetMaxAt(uint8_t* time) {
    FillTimeRecord(max_hum_t, time);
    return max_hum;
}

double Humidity::GetMinAt(uint8_t* time) {
    FillTimeRecord(min_hum_t, time);
    return min_hum;
}

std::string Humidity::GetUnit() {
    return "%";
}

std::string Humidity::GetHTML() {
    try {
        char letter = Celsius ? 'C' : 'F';
        auto dewpoint = [this](double celsius) { return Celsius ? celsius : celsius * 9 * 0.2 + 32; };
        std::string html = "<TABLE CELLPADDING=0 CELLSPACING=0 BORDER=1>\n";
        html +=
            Format("<TR><TD COLSPAN=2><FONT SIZE=2><CENTER><B>HUMIDITY: %s</B></CENTER> </FONT></TD></TR>\n",
                   HumDescription.c_str());
        html += Format("<TR><TD><FONT SIZE=2>Humidity</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f "
                       "%%</FONT></TD></TR>\n",
                       GetValue());
        html += Format("<TR><TD><FONT SIZE=2>High humidity</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f "
                       "%%</FONT></TD></TR>",
                       GetMax());
        html += Format("<TR><TD><FONT SIZE=2>Low humidity</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f "
                       "%%</FONT></TD></TR>",
                       GetMin());
        html += Format(
            "<TR><TD><FONT SIZE=2>Dewpoint</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f %c</FONT></TD></TR>",
            dewpoint(current_dewpoint), letter);
        html += Format("<TR><TD><FONT SIZE=2>High dewpoint</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f "
                       "%c</FONT></TD></TR>",
                       dewpoint(max_dewpoint), letter);
        html += Format("<TR><TD><FONT SIZE=2>Low dewpoint</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f "
                       "%c</FONT></TD></TR>",
                       dewpoint(min_dewpoint), letter);
        html += "<TR><TD COLSPAN=2>" + DS2438::GetHTML() + "</TD></TR></TABLE>";
        return html;
    } catch (const std::exception& e) {
        LogError(std::string("Exception creating HTML document: ") + e.what());
        return "Exception creating HTML document";
    } catch (...) {
        LogError("Exception creating HTML document");
        return "Exception creating HTML document";
    }
}

void Humidity::LogData() {
    try {
        if (!Log || !HasReading) return;
        DS2438::LogData();
        AppendDataLine(HumDescription, Format("%3.1f", GetValue()));
    } catch (...) {
        LogError("Exception logging data!");
    }
}
