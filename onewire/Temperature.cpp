// Temperature: calibration, 0.9/0.1 smoothing, marks written the moment they move, alarms, HTML.
#include "onewire/Temperature.h"

#include <cmath>
#include <exception>

#include "onewire/DataFiles.h"
#include "onewire/SensorKeys.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "platform/System.h"

using platform::Format;

namespace {

// A sensor that never read keeps no temperature: the next run would log one never measured.
bool HasTemperature(const Temperature& t) {
    return t.HasReading;
}

const SensorKeys<Temperature> kTemperatureKeys = {
    {"PlotTemp", &Temperature::PlotTemp, true},
    {"GraphTempColor", &Temperature::GraphTempColor, 255},
    {"TempDescription", &Temperature::TempDescription,
     [](const platform::TIniFile& ini, const std::string& section) {
         return ini.ReadString(section, "Description", section);
     }},
    {"TempOffset", &Temperature::TempOffset, 0.0},
    {"TempMultiplier", &Temperature::TempMultiplier, 1.0},
    {"current_temp", Value(&Temperature::temp), 0.0, {.saveIf = HasTemperature}},
    {Marks(&Temperature::temp), {.save = false}}, // written the moment they move
    {"Celsius", &Temperature::Celsius, false},
    {"AcousticAlarm", &Temperature::AcousticAlarm, false},
    {"LowAlarm", &Temperature::LowAlarm, -100.0},
    {"HighAlarm", &Temperature::HighAlarm, 200.0},
};

} // namespace

Temperature::Temperature(int sensorNumber, const uint16_t* couplerRom, int couplerPort)
    : iButton(couplerRom, couplerPort), GraphChannel(static_cast<uint8_t>(sensorNumber)),
      SensorNumber(sensorNumber) {
    Logged("Exception creating Temperature object!", [&] {
        const std::string section = SerialSection();
        LoadKeys(*this, kTemperatureKeys, *IniFile, section);
        HasReading = IniFile->ValueExists(section, "current_temp");
        // A value that is no number would poison the smoothing and every mark after it.
        if (!std::isfinite(temp.value)) temp.value = 0.0;
        Description = TempDescription;
    });
}

int32_t Temperature::Now() {
    return static_cast<int32_t>(platform::UnixTime());
}

void Temperature::AppendDataLine(const std::string& name, const std::string& value) {
    platform::LocalTime now = platform::Clock::Get().Now();
    AppendDataFile(SensorDataFileName(name, now.month, now.year),
                   Format("%02d.%02d.%d\t%02d:%02d\t%s\n", now.day, now.month, now.year, now.hour, now.minute,
                          value.c_str()));
}

void Temperature::UpdateTemperature(double raw) {
    Logged("Exception calculating temperature!", [&] {
        double value = raw * TempMultiplier + TempOffset;
        if (!std::isfinite(value)) {
            LogError("Exception calculating temperature!");
            return;
        }
        HasReading = true;
        if (temp.value == 0.0)
            temp.value = value;
        else
            temp.value = temp.value * 0.9 + value * 0.1;
        // The marks move only by more than 0.001 degrees: an equal reading never rewrites SENSORS.INI.
        Extremes::Moved moved = temp.Track(0.001, Now());
        if (moved.high) SaveMaxTemperature();
        if (moved.low) SaveMinTemperature();
        if (temp.value > HighAlarm && !HighAlarmRaised) {
            HighAlarmRaised = 1;
            SoundAlarm();
        }
        if (temp.value < LowAlarm && !LowAlarmRaised) {
            LowAlarmRaised = 1;
            SoundAlarm();
        }
        ValueText = Format("%3.1f", InUnit(temp.value));
    });
}

double Temperature::GetMaxTemperature(uint8_t* time) {
    double high = temp.High(time);
    return Celsius ? high : high * 9 * 0.2 + 32;
}

double Temperature::GetMinTemperature(uint8_t* time) {
    double low = temp.Low(time);
    return Celsius ? low : low * 9 * 0.2 + 32;
}

void Temperature::ResetTemperature() {
    Logged("Exception in reset temperature!", [&] {
        ResetAlarm();
        temp.Reset(Now());
        SaveMaxTemperature();
        SaveMinTemperature();
    });
}

void Temperature::ResetAlarm() {
    HighAlarmRaised = 0;
    LowAlarmRaised = 0;
}

void Temperature::RearmAlarm(int) {
    ResetAlarm();
}

void Temperature::SoundAlarm() {
    if (!AcousticAlarm) return;
    // A sweep up, a sweep down and a closing tone, 20 ms each.
    for (unsigned i = 1; i <= 99; ++i)
        platform::Beep(10 * i, 20);
    for (unsigned i = 100; i >= 1; --i)
        platform::Beep(10 * i, 20);
    platform::Beep(110, 20);
}

void Temperature::SaveSettings() {
    Logged("Exception writing to SENSORS.INI!", [&] {
        iButton::SaveSettings();
        SaveKeys(*this, kTemperatureKeys, *IniFile, SerialSection());
    });
}

void Temperature::SaveHigh(const Extremes& extremes) {
    Logged("Exception writing to SENSORS.INI!", [&] { extremes.SaveHigh(*IniFile, SerialSection()); });
}

void Temperature::SaveLow(const Extremes& extremes) {
    Logged("Exception writing to SENSORS.INI!", [&] { extremes.SaveLow(*IniFile, SerialSection()); });
}

void Temperature::SaveMaxTemperature() {
    SaveHigh(temp);
}

void Temperature::SaveMinTemperature() {
    SaveLow(temp);
}

std::string Temperature::GetUnit() {
    return Celsius ? "Celsius" : "Fahrenheit";
}

std::string Temperature::GetXML() {
    return "";
}

std::string Temperature::GetHTML() {
    try {
        char letter = Celsius ? 'C' : 'F';
        std::string html = "<TABLE CELLPADDING=0 CELLSPACING=0 WIDTH=250 BORDER=1>";
        html += Format("<TR><TD COLSPAN=2><FONT SIZE=2><CENTER><B>%s</B></CENTER> </FONT></TD></TR>\n",
                       TempDescription.c_str());
        html += Format(
            "<TR><TD><FONT SIZE=2>Current</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f %c</FONT></TD></TR>",
            InUnit(temp.value), letter);
        html += Format(
            "<TR><TD><FONT SIZE=2>High</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f %c</FONT></TD></TR>",
            InUnit(temp.high), letter);
        html += Format(
            "<TR><TD><FONT SIZE=2>Low</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f %c</FONT></TD></TR>",
            InUnit(temp.low), letter);
        html += "<TR><TD COLSPAN=2>" + iButton::GetHTML() + "</TD></TR></TABLE>";
        return html;
    } catch (const std::exception& e) {
        LogError(std::string("Error creating HTML document :") + e.what());
        return std::string("Temperature: Error creating HTML document :") + e.what();
    } catch (...) {
        LogError("Error creating HTML document");
        return "Temperature: Error creating HTML document";
    }
}
