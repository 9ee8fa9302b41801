// The service supervisor (every pass) and the minute scheduler with its ten-minute, hourly, daily and
// monthly steps. "Every n minutes" means the minute counter (UTC minutes since 1970) is a multiple of n;
// an interval of 0 switches a task off.
#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Strings.h"
#include "station/StationKinds.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

int64_t MinuteCounter() {
    int64_t seconds = UnixTime();
    return seconds / 60;
}

// True when the task of interval n minutes is due at minute counter m (negative n counts as |n|).
bool Due(int64_t m, int n) {
    if (n == 0) return false;
    int64_t step = n < 0 ? -static_cast<int64_t>(n) : n;
    return m % step == 0;
}

} // namespace

void TMainForm::SuperviseServices() {
    if (!SessionRunning) return;
    static const ErrorTexts texts = Named("SERVER: Error doing periodic housekeeping"); // made once
    Logged(texts, [&] {
        const TStationSettings& s = StationSettings;
        if (s.DDEEnabled && !DDERunning) Publishing().StartDDEServices();
        if (!s.DDEEnabled && DDERunning) Publishing().StopDDEServices();
        if (s.HTTPEnabled && !HTTPRunning) Publishing().StartHTTPServices();
        if (!s.HTTPEnabled && HTTPRunning) Publishing().StopHTTPServices();
        if (s.TCPEnabled && !TCPRunning) Publishing().StartTCPServices();
        if (!s.TCPEnabled && TCPRunning) Publishing().StopTCPServices();
        if (s.UDPEnabled && !UDPRunning) Publishing().StartUDPServices();
        if (!s.UDPEnabled && UDPRunning) Publishing().StopUDPServices();
        if (s.NowEnabled) WriteNowFile();
        if (SampleCount > 30) {
            CurrentTime = GetTime();
            if (CurrentTime.ti_min != LastMinute) RunMinuteTasks();
        }
    });
}

void TMainForm::RunMinuteTasks() {
    Logged(Named("SERVER: Error doing minute stuff"), [&] {
        const TStationSettings& s = StationSettings;
        int64_t m = MinuteCounter();
        LastMinute = CurrentTime.ti_min;
        bool resetTime = CurrentTime.ti_min == s.ResetMinute && CurrentTime.ti_hour == s.ResetHour;
        if (resetTime && s.LogEnabled) WriteDailyLog();
        UpdateGraphs();
        if (s.LogEnabled && Due(m, s.LogInterval)) {
            AddPeriodicLogLine(WriteDataLog());
            if (s.DatabaseURL.size() > 4) Publishing().PostToDatabase();
        }
        if (s.SummaryEnabled && Due(m, s.SummaryInterval)) WriteSummaryFile();
        if (s.SaveBMPEnabled && Due(m, s.SaveBMPInterval)) {
            if (s.PlainGIFs)
                SavePlainGraphGIFs();
            else
                SaveGraphGIFs();
        }
        if (Due(m, SaveGraphInterval)) SaveGraphData();
        if (s.ServletEnabled && Due(m, s.ServletInterval)) Publishing().PostToServlet();
        if (s.WUEnabled && Due(m, s.WUInterval)) Publishing().PostToWUnder();
        if (s.W4UEnabled && Due(m, s.W4UInterval)) Publishing().PostToW4U();
        if (s.APRSEnabled && Due(m, s.APRSInterval)) Publishing().PostToAPRS();
        if (Due(m, s.FTPInterval)) {
            Publishing().WriteWeatherHTML();
            Publishing().ProcessTemplates();
            if (s.XMLGenerateEnabled) Publishing().WriteWeatherXML(s.XMLIncludeXSL);
            if (s.FTPUploadEnabled) Publishing().FTPUpload();
        }
        RunSensorMaintenance();
        if (LastMinute % 10 == 0) RunTenMinuteTasks();
        if (resetTime) ResetDailyStatistics();
    });
}

void TMainForm::RunSensorMaintenance() {
    if (SensorSet().WindPresent && SensorSet().WindSensor) SensorSet().WindSensor->CalculateGust();
    if (SensorSet().RainPresent && SensorSet().RainSensor) SensorSet().RainSensor->CalculateRate();
    if (SensorSet().BarometerPresent && SensorSet().BarometerSensor)
        SensorSet().BarometerSensor->CalculateRate();
    for (DS2423* sensor : SensorSet().DS2423Sensors)
        sensor->UpdateCountHistory();
}

void TMainForm::RunTenMinuteTasks() {
    Logged(Named("SERVER: Error doing 10 minute stuff"), [&] {
        if (LastHour != CurrentTime.ti_hour) RunHourlyTasks();
        if (SensorSet().WindPresent && SensorSet().WindSensor)
            SensorSet().WindSensor->ResetDirectionHistogram();
    });
}

void TMainForm::RunHourlyTasks() {
    Logged(Named("SERVER: Error doing hourly stuff"), [&] {
        CurrentDate = GetDate();
        LastHour = CurrentTime.ti_hour;
        if (Day != CurrentDate.da_day) RunDailyTasks();
        SaveAllSensors();
        for (DS1820* sensor : SensorSet().DS1820Sensors)
            sensor->RearmAlarm(CurrentTime.ti_hour);
        if (SensorSet().WindPresent && SensorSet().WindSensor)
            SensorSet().WindSensor->UpdateAverageDivisors();
    });
}

void TMainForm::RunDailyTasks() {
    Logged(Named("SERVER: Error doing daily stuff"), [&] {
        Day = static_cast<uint8_t>(CurrentDate.da_day);
        if (Month != CurrentDate.da_mon) RunMonthlyTasks();
        IniFile->WriteInteger("Weather", "Day", Day);
        UpdateSunriseSunset();
        SetCaptionByDate();
    });
}

void TMainForm::RunMonthlyTasks() {
    Logged(Named("SERVER: Error doing montly stuff"), [&] {
        Month = static_cast<uint8_t>(CurrentDate.da_mon);
        IniFile->WriteInteger("Weather", "Month", Month);
        ForEachStationKind(&StationKind::resetMonthly, &StationKind::monthOrder, *this);
    });
}
