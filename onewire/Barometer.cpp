// Barometer: VAD to inHg, marks, minute history, rate, trend and unit conversion.
#include "onewire/Barometer.h"

#include <cmath>
#include <exception>

#include "onewire/SensorKeys.h"
#include "platform/Exceptions.h"
#include "platform/Strings.h"

using platform::Format;

namespace {

const SensorKeys<Barometer> kBarometerKeys = {
    {"BaroOffset", &Barometer::BaroOffset, 0.0},
    {"BaroMultiplier", &Barometer::BaroMultiplier, 1.0},
    {"current_baro", Value(&Barometer::baro), 0.0, {.load = false}}, // a new run starts without one
    {Marks(&Barometer::baro), {.save = false}},                      // written the moment they move
    {"today_baro", &Barometer::today_baro, 0.0},
    {"hiBar", &Barometer::hiBar, 31.0},
    {"loBar", &Barometer::loBar, 28.0},
    {"Vhi", &Barometer::Vhi, 3.25},
    {"Vlow", &Barometer::Vlow, 1.25},
    {"Metric", &Barometer::Metric, 0},
};

} // namespace

Barometer::Barometer(const uint16_t* couplerRom, int couplerPort) : DS2438(1, couplerRom, couplerPort) {
    LoadSettings();
}

void Barometer::LoadSettings() {
    baro.value = 0.0;
    DDEName = "DDEBarometer";
    Logged("Exception reading SENSORS.INI!",
           [&] { LoadKeys(*this, kBarometerKeys, *IniFile, SerialSection()); });
}

void Barometer::SaveSettings() {
    Logged("Exception writing to SENSORS.INI!", [&] {
        DS2438::SaveSettings();
        SaveKeys(*this, kBarometerKeys, *IniFile, SerialSection());
    });
}

int Barometer::Read() {
    return LoggedOr<int>(0, "Exception calculating barometric value!", [&]() -> int {
        if (!DS2438::Read()) {
            DebugIf("Error reading DS2438!");
            return 0;
        }
        if (VDD.value < kSupplyLimit) {
            DebugIf(Format("Power supply, VDD (%2.1f) lower than 4.0V, skipping!", VDD.value));
            return 0;
        }
        const double pressure = loBar + (hiBar - loBar) * (VAD.value - Vlow) / (Vhi - Vlow);
        // Vhi equal to Vlow divides by zero: no number may reach the marks or SENSORS.INI.
        if (!std::isfinite(pressure)) throw platform::Exception("pressure is not a number");
        StorePressure(pressure);
        if (Samples < 3) RateReference = baro.value;
        return 1;
    });
}

int Barometer::StorePressure(double pressure) {
    return LoggedOr<int>(0, "Exception saving new values!", [&]() -> int {
        if (!(pressure > 0.0)) return 0;
        const double value = pressure * BaroMultiplier + BaroOffset;
        if (!std::isfinite(value)) return 0;
        baro.value = value;
        Extremes::Moved moved = baro.Track(0.0, Now());
        if (moved.high) SaveMaxPressure();
        if (moved.low) SaveMinPressure();
        ValueText = Format("%3.1f", GetValue());
        return 1;
    });
}

int Barometer::CalculateRate() {
    Logged("Exception calculating rate/hour!", [&] {
        PressureHistory[0] = baro.value;
        for (int i = kHistory - 1; i >= 1; --i)
            PressureHistory[i] = PressureHistory[i - 1];
        int oldest = kHistory - 1;
        while (oldest > 1 && PressureHistory[oldest] == 0.0)
            --oldest;
        RateReference = PressureHistory[oldest];
    });
    return 1;
}

std::string Barometer::GetTrend() {
    const double hpa = (baro.value - RateReference) * 33.865;
    if (hpa < -0.1) return "Falling";
    if (hpa > 0.1) return "Rising";
    return "Steady";
}

namespace {
// The pressure units by Metric (0 inHg, 1 hPa, 2 kPa) and their factors from inHg.
const char* const kPressureUnits[3] = {"inHg", "hPa", "KPa"};
const double kPressureFactors[3] = {1.0, 33.865, 3.3865};
} // namespace

double Barometer::ConvertPressure(double inHg) {
    return inHg * kPressureFactors[Metric == 1 || Metric == 2 ? Metric : 0];
}

double Barometer::UnitFactor(const std::string& unit) {
    for (int metric = 0; metric < 3; ++metric)
        if (unit == kPressureUnits[metric]) return kPressureFactors[metric];
    return 0;
}

void Barometer::ResetValues() {
    Logged("Exception resetting values!", [&] {
        baro.Reset(Now());
        SaveMaxPressure();
        SaveMinPressure();
        today_baro = baro.value;
        IniFile->WriteFloat(SerialSection(), "today_baro", today_baro);
        for (int i = kHistory - 1; i >= 1; --i)
            PressureHistory[i] = baro.value;
    });
}

void Barometer::ResetDaily() {
    ResetTemperature();
    ResetVSENS();
    ResetVAD();
    ResetVDD();
    ResetValues();
}

void Barometer::SaveMaxPressure() {
    SaveHigh(baro);
}
void Barometer::SaveMinPressure() {
    SaveLow(baro);
}

double Barometer::GetValue() {
    return ConvertPressure(baro.value);
}
double Barometer::GetMax() {
    return ConvertPressure(baro.high);
}
double Barometer::GetMin() {
    return ConvertPressure(baro.low);
}

double Barometer::GetMaxAt(uint8_t* time) {
    return ConvertPressure(baro.High(time));
}

double Barometer::GetMinAt(uint8_t* time) {
    return ConvertPressure(baro.Low(time));
}

std::string Barometer::GetUnit() {
    return kPressureUnits[Metric == 1 || Metric == 2 ? Metric : 0];
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
        html += row("Current pressure", baro.value);
        html += row("Rate/hour", RatePerHour());
        html += row("High pressure", baro.high);
        html += row("Low pressure", baro.low);
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
           Format(" %.3f %.3f %.3f %.3f %u %u", ConvertPressure(RatePerHour()), baro.value, baro.high,
                  baro.low, static_cast<unsigned>(baro.highTime), static_cast<unsigned>(baro.lowTime));
}

void Barometer::LogData() {
    Logged("Exception logging data!", [&] {
        if (!Log || !HasReading) return;
        DS2438::LogData();
        AppendDataLine("Barometer", Format("%3.2f", GetValue()));
    });
}
