// Humidity: VAD/VDD to %RH, outlier rule, smoothing, dew point and heat index with their marks.
#include "onewire/Humidity.h"

#include <cmath>
#include <exception>

#include "onewire/Microlan.h"
#include "onewire/SensorKeys.h"
#include "platform/Exceptions.h"
#include "platform/Strings.h"

using platform::Format;

namespace {

const SensorKeys<Humidity> kHumidityKeys = {
    {"PlotHum", &Humidity::PlotHum, true},
    {"GraphHumColor", &Humidity::GraphHumColor, 255},
    {"HumDescription", &Humidity::HumDescription, SectionName},
    {"HumMultiplier", &Humidity::HumMultiplier, 1.0},
    {"HumOffset", &Humidity::HumOffset, 0.0},
    {"current_hum", Value(&Humidity::hum), 0.0, {.load = false}}, // a new run starts without one
    // Written the moment they move.
    {Marks(&Humidity::hum), {.save = false}},
    {Marks(&Humidity::dewpoint), {.save = false}},
    {Marks(&Humidity::heatindex), {.save = false}},
    {"min_volt_limit", &Humidity::min_volt_limit, 4.0},
};

} // namespace

Humidity::Humidity(int sensorNumber, const uint16_t* couplerRom, int couplerPort)
    : DS2438(sensorNumber, couplerRom, couplerPort), HumGraphChannel(static_cast<uint8_t>(sensorNumber)) {
    LoadSettings();
}

void Humidity::LoadSettings() {
    hum.value = 0.0;
    Logged("Exception reading SENSORS.INI!",
           [&] { LoadKeys(*this, kHumidityKeys, *IniFile, SerialSection()); });
}

void Humidity::SaveSettings() {
    Logged("Exception writing to SENSORS.INI!", [&] {
        DS2438::SaveSettings();
        SaveKeys(*this, kHumidityKeys, *IniFile, SerialSection());
    });
}

int Humidity::Read() {
    try {
        if (!DS2438::Read()) return 0;
        if (VDD.value < min_volt_limit) {
            LogError(Format("Volt supply below %2.1fV (%2.1f), skipping!", min_volt_limit, VDD.value));
            return 0;
        }
        const double divisor = 1.0546 - 0.00216 * temp.value;
        if (divisor == 0.0) return 1;
        const double raw = (VAD.value / VDD.value - 0.16) * 161.29032258064515 / divisor;
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
    return LoggedOr<int>(0, "Exception saving values!", [&]() -> int {
        double value = raw * HumMultiplier + HumOffset;
        if (!std::isfinite(value)) return 0;
        if (value > 100.0) value = 100.0;
        if (value <= 0.0) return 0;
        if (hum.value == 0.0) {
            hum.value = value;
        } else if (value >= hum.value - 5.0 && value <= hum.value + 5.0) {
            hum.value = 0.1 * value + 0.9 * hum.value;
        } else if (ClassCounter % 10 != 0) {
            hum.value = 0.1 * value + 0.9 * hum.value;
        } else {
            ++ClassCounter; // one outlier in ten is dropped
        }
        Extremes::Moved moved = hum.Track(0.0, Now());
        if (moved.high) SaveMaxHumidity();
        if (moved.low) SaveMinHumidity();
        UpdateHeatIndex();
        UpdateDewpoint();
        ValueText = Format("%3.1f / %3.1f", hum.value, InUnit(temp.value));
        return 1;
    });
}

void Humidity::UpdateHeatIndex() {
    Logged("Exception calculating heat index!", [&] {
        const double tf = temp.value * 9 * 0.2 + 32;
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
    });
}

void Humidity::SetHeatIndex(double value) {
    Logged("Exception assigning heat index value!", [&] {
        if (value >= 0.0 && value < 200.0) heatindex.value = value;
        Extremes::Moved moved = heatindex.Track(0.01, Now());
        if (moved.high) SaveMaxHeatIndex();
        if (moved.low) SaveMinHeatIndex();
    });
}

void Humidity::UpdateDewpoint() {
    double t = 0.0;
    double x = 0.0;
    try {
        t = temp.value;
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
    Logged("Exception assigning dewpoint value!", [&] {
        if (value > -100.0 && value < 200.0) dewpoint.value = value;
        Extremes::Moved moved = dewpoint.Track(0.1, Now());
        if (moved.high) SaveMaxDewpoint();
        if (moved.low) SaveMinDewpoint();
    });
}

void Humidity::SaveMaxHumidity() {
    SaveHigh(hum);
}
void Humidity::SaveMinHumidity() {
    SaveLow(hum);
}
void Humidity::SaveMaxDewpoint() {
    SaveHigh(dewpoint);
}
void Humidity::SaveMinDewpoint() {
    SaveLow(dewpoint);
}
void Humidity::SaveMaxHeatIndex() {
    SaveHigh(heatindex);
}
void Humidity::SaveMinHeatIndex() {
    SaveLow(heatindex);
}

void Humidity::ResetHumidity() {
    Logged("Exception reset humidity!", [&] {
        hum.Reset(Now());
        SaveMaxHumidity();
        SaveMinHumidity();
    });
}

void Humidity::ResetDewpoint() {
    Logged("Exception reset dewpoint!", [&] {
        dewpoint.Reset(Now());
        SaveMaxDewpoint();
        SaveMinDewpoint();
    });
}

void Humidity::ResetHeatIndex() {
    Logged("Exception reset heat index!", [&] {
        heatindex.Reset(Now());
        SaveMaxHeatIndex();
        SaveMinHeatIndex();
    });
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
    return hum.value;
}
double Humidity::GetMax() {
    return hum.high;
}
double Humidity::GetMin() {
    return hum.low;
}

double Humidity::GetMaxAt(uint8_t* time) {
    return hum.High(time);
}

double Humidity::GetMinAt(uint8_t* time) {
    return hum.Low(time);
}

std::string Humidity::GetUnit() {
    return "%";
}

std::string Humidity::GetHTML() {
    return LoggedOr<std::string>(
        "Exception creating HTML document",
        {"Exception creating HTML document: ", "Exception creating HTML document"}, [&]() -> std::string {
            char letter = Celsius ? 'C' : 'F';
            auto shown = [this](double celsius) { return Celsius ? celsius : celsius * 9 * 0.2 + 32; };
            std::string html = "<TABLE CELLPADDING=0 CELLSPACING=0 BORDER=1>\n";
            html += Format(
                "<TR><TD COLSPAN=2><FONT SIZE=2><CENTER><B>HUMIDITY: %s</B></CENTER> </FONT></TD></TR>\n",
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
            html += Format("<TR><TD><FONT SIZE=2>Dewpoint</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f "
                           "%c</FONT></TD></TR>",
                           shown(dewpoint.value), letter);
            html += Format("<TR><TD><FONT SIZE=2>High dewpoint</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f "
                           "%c</FONT></TD></TR>",
                           shown(dewpoint.high), letter);
            html += Format("<TR><TD><FONT SIZE=2>Low dewpoint</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f "
                           "%c</FONT></TD></TR>",
                           shown(dewpoint.low), letter);
            html += "<TR><TD COLSPAN=2>" + DS2438::GetHTML() + "</TD></TR></TABLE>";
            return html;
        });
}

void Humidity::LogData() {
    Logged("Exception logging data!", [&] {
        if (!Log || !HasReading) return;
        DS2438::LogData();
        AppendDataLine(HumDescription, Format("%3.1f", GetValue()));
    });
}
