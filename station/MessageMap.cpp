// The main window's message map and the temperature alarm log.
#include "onewire/DS1820.h"
#include "onewire/SensorTables.h"
#include "platform/Strings.h"
#include "station/Unit1.h"

using namespace platform;

void TMainForm::Dispatch(TMessage& message) {
    switch (message.Msg) {
    case MsgTemperatureAlarm:
        LogTemperatureAlarm(message);
        break;
    case MsgDisplayTemperature:
        DisplayTemperature(message);
        break;
    case MsgDisplayRain:
        DisplayRain(message);
        break;
    case MsgDisplayHumidity:
        DisplayHumidity(message);
        break;
    case MsgDisplayWind:
        DisplayWind(message);
        break;
    case MsgReadCycle:
        RunReadCycle(message);
        break;
    case MsgDisplayBarometer:
        DisplayBarometer(message);
        break;
    case MsgStartUpload:
        Publishing().FTPStartUpload();
        break;
    case MsgRestoreFromTray:
        RestoreFromTray();
        break;
    case MsgDisplaySampleCount:
        DisplaySampleCount(message);
        break;
    case MsgDisplayWindChillHeatIndex:
        DisplayWindChillHeatIndex(message);
        break;
    case MsgStartSession:
        StartSessionAndReading();
        break;
    case MsgRunCommands:
        RunWaitingCommands();
        break;
    default:
        TForm::Dispatch(message); // the window's own messages (painting)
        break;
    }
}

void TMainForm::LogTemperatureAlarm(TMessage& message) {
    if (Application->Terminated()) return;
    // The index comes from outside: only an existing sensor is reported.
    if (message.WParam >= static_cast<WPARAM>(SensorSet().DS1820Sensors.Count())) return;
    DS1820* sensor = SensorSet().DS1820Sensors[message.WParam];
    if (!sensor) return;
    char unit = sensor->Celsius ? 'C' : 'F';
    auto shown = [&](double celsius) { return sensor->Celsius ? celsius : celsius * 1.8 + 32; };
    const char* format;
    double limit;
    if (message.LParam == 10) {
        format = "ALARM: %s exceeds %3.1f%c%c (%3.1f%c%c)";
        limit = sensor->HighAlarm;
    } else if (message.LParam == 11) {
        format = "ALARM: %s below %3.1f%c%c (%3.1f%c%c)";
        limit = sensor->LowAlarm;
    } else {
        return;
    }
    LogStatus(Format(format, sensor->TempDescription.c_str(), shown(limit), kDegreeSign, unit,
                     shown(sensor->temp.value), kDegreeSign, unit));
}
