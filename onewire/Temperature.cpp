// Temperature: calibration, 0.9/0.1 smoothing, marks written the moment they move, alarms, HTML.
#include "onewire/Temperature.h"

#include <cmath>
#include <exception>

#include "onewire/DataFiles.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "platform/System.h"

using platform::Format;

Temperature::Temperature(int sensorNumber, const uint16_t* couplerRom, int couplerPort)
    : iButton(couplerRom, couplerPort), GraphChannel(static_cast<uint8_t>(sensorNumber)),
      SensorNumber(sensorNumber) {
    try {
        const std::string section = SerialSection();
        platform::TIniFile& ini = *IniFile;
        PlotTemp = ini.ReadBool(section, "PlotTemp", true);
        GraphTempColor = ini.ReadInteger(section, "GraphTempColor", 255);
        TempDescription =
            ini.ReadString(section, "TempDescription", ini.ReadString(section, "Description", section));
        Celsius = ini.ReadBool(section, "Celsius", false);
        AcousticAlarm = ini.ReadBool(section, "AcousticAlarm", false);
        HighAlarm = ini.ReadFloat(section, "HighAlarm", 200.0);
        LowAlarm = ini.ReadFloat(section, "LowAlarm", -100.0);
        current_temp = ini.ReadFloat(section, "current_temp", 0.0);
        HasReading = ini.ValueExists(section, "current_temp");
        max_temp = ini.ReadFloat(section, "max_temp", -100.0);
        max_temp_t = ini.ReadInteger(section, "max_temp_t", 0);
        min_temp = ini.ReadFloat(section, "min_temp", 200.0);
        min_temp_t = ini.ReadInteger(section, "min_temp_t", 0);
        TempOffset = ini.ReadFloat(section, "TempOffset", 0.0);
        TempMultiplier = ini.ReadFloat(section, "TempMultiplier", 1.0);
        // A value that is no number would poison the smoothing and every mark after it.
        if (!std::isfinite(current_temp)) current_temp = 0.0;
        Description = TempDescription;
    } catch (...) {
        LogError("Exception creating Temperature object!");
    }
}

int32_t Temperature::Now() {
    return static_cast<int32_t>(platform::UnixTime());
}

void Temperature::FillTimeRecord(int32_t when, uint8_t* time) {
    if (!time) return;
    platform::LocalTime lt = platform::Clock::Get().ToLocal(when);
    time[0] = static_cast<uint8_t>(lt.minute);
    time[1] = static_cast<uint8_t>(lt.hour);
}

void Temperature::AppendDataLine(const std::string& name, const std::string& value) {
    platform::LocalTime now = platform::Clock::Get().Now();
    AppendDataFile(SensorDataFileName(name, now.month, now.year),
                   Format("%02d.%02d.%d\t%02d:%02d\t%s\n", now.day, now.month, now.year, now.hour, now.minute,
                          value.c_str()));
}

void Temperature::UpdateTemperature(double raw) {
    try {
        double value = raw * TempMultiplier + TempOffset;
        if (!std::isfinite(value)) {
            LogError("Exception calculating temperature!");
            return;
        }
        HasReading = true;
        if (current_temp == 0.0)
            current_temp = value;
        else
            current_temp = current_temp * 0.9 + value * 0.1;
        if (current_temp > max_temp + 0.001) {
            max_temp = current_temp;
            max_temp_t = Now();
            SaveMaxTemperature();
        }
        if (current_temp < min_temp - 0.001) {
            min_temp = current_temp;
            min_temp_t = Now();
            SaveMinTemperature();
        }
        if (current_temp > HighAlarm && !HighAlarmRaised) {
            HighAlarmRaised = 1;
            SoundAlarm();
        }
        if (current_temp < LowAlarm && !LowAlarmRaised) {
            LowAlarmRaised = 1;
            SoundAlarm();
        }
        ValueText = Format("%3.1f", InUnit(current_temp));
    } catch (...) {
        LogError("Exception calculating temperature!");
    }
}

double Temperature::GetMaxTemperature(uint8_t* time) {
    FillTimeRecord(max_temp_t, time);
    return Celsius ? max_temp : max_temp * 9 * 0.2 + 32;
}

double Temperature::GetMinTemperature(uint8_t* time) {
    FillTimeRecord(min_temp_t, time);
    return Celsius ? min_temp : min_temp * 9 * 0.2 + 32;
}

void Temperature::ResetTemperature() {
    try {
        ResetAlarm();
        max_temp = current_temp;
        max_temp_t = Now();
        SaveMaxTemperature();
        min_temp = current_temp;
        min_temp_t = Now();
        SaveMinTemperature();
    } catch (...) {
        LogError("Exception in reset temperature!");
    }
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
    try {
        iButton::SaveSettings();
        const std::string section = SerialSection();
        platform::TIniFile& ini = *IniFile;
        ini.WriteBool(section, "PlotTemp", PlotTemp != 0);
        ini.WriteInteger(section, "GraphTempColor", GraphTempColor);
        ini.WriteString(section, "TempDescription", TempDescription);
        ini.WriteFloat(section, "TempOffset", TempOffset);
        ini.WriteFloat(section, "TempMultiplier", TempMultiplier);
        if (HasReading) ini.WriteFloat(section, "current_temp", current_temp);
        ini.WriteBool(section, "Celsius", Celsius != 0);
        ini.WriteBool(section, "AcousticAlarm", AcousticAlarm != 0);
        ini.WriteFloat(section, "LowAlarm", LowAlarm);
        ini.WriteFloat(section, "HighAlarm", HighAlarm);
    } catch (...) {
        LogError("Exception writing to SENSORS.INI!");
    }
}

void Temperature::SaveMaxTemperature() {
    try {
        IniFile->WriteFloat(SerialSection(), "max_temp", max_temp);
        IniFile->WriteInteger(SerialSection(), "max_temp_t", max_temp_t);
    } catch (...) {
        LogError("Exception writing to SENSORS.INI!");
    }
}

void Temperature::SaveMinTemperature() {
    try {
        IniFile->WriteFloat(SerialSection(), "min_temp", min_temp);
        IniFile->WriteInteger(SerialSection(), "min_temp_t", min_temp_t);
    } catch (...) {
        LogError("Exception writing to SENSORS.INI!");
    }
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
            InUnit(current_temp), letter);
        html += Format(
            "<TR><TD><FONT SIZE=2>High</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f %c</FONT></TD></TR>",
            InUnit(max_temp), letter);
        html += Format(
            "<TR><TD><FONT SIZE=2>Low</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f %c</FONT></TD></TR>",
            InUnit(min_temp), letter);
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
