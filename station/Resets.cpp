// The daily statistics reset and the Reset menu commands. A command with no sensor to reset does nothing;
// every reset reaches SENSORS.INI at once (the sensors write what they reset).
#include "onewire/Barometer.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/Temperature.h"
#include "onewire/WindData.h"
#include "platform/DateTime.h"
#include "platform/IniFile.h"
#include "platform/Strings.h"
#include "station/StationKinds.h"
#include "station/Unit1.h"

using namespace platform;

void TMainForm::ResetDailyStatistics() {
    Logged(Named("SERVER: Error resetting values"), [&] {
        LogStatus(Format("%02d.%02d.%02d SERVER: Resetting statistics...", CurrentDate.da_day,
                         CurrentDate.da_mon, CurrentDate.da_year));
        // The wind window's high mark is not reset: only a window that is open has one.
        ForEachStationKind(&StationKind::resetDaily, &StationKind::resetOrder, *this);
    });
}

void TMainForm::TempStatResetClick(TComponent*) {
    Logged({"SERVER: Error: ", "SERVER: Error: (unknown)"}, [&] {
        for (::Temperature* sensor : SensorSet().TemperatureSensors)
            sensor->ResetTemperature();
    });
}

void TMainForm::HumidityStatResetClick(TComponent*) {
    for (Humidity* sensor : SensorSet().HumiditySensors)
        sensor->ResetHumidity();
}

void TMainForm::BarometerStatResetClick(TComponent*) {
    Logged(Named("SERVER: Error in reset"), [&] {
        if (SensorSet().BarometerPresent && SensorSet().BarometerSensor)
            SensorSet().BarometerSensor->ResetValues();
    });
}

void TMainForm::ResestHighMarkBaro(TComponent*) {
    BaroMeter->ResetMinMax();
}

void TMainForm::WindStatResetClick(TComponent*) {
    if (!SensorSet().WindPresent || !SensorSet().WindSensor) return;
    TIniFile::Batch batch; // the day and the averages in one write
    SensorSet().WindSensor->ResetDaily();
    SensorSet().WindSensor->ResetAverages();
}

void TMainForm::DS2450StatResetClick(TComponent*) {
    for (DS2450* sensor : SensorSet().DS2450Sensors)
        sensor->ResetAll();
}

void TMainForm::ResetRGaugeTodayClick(TComponent*) {
    if (SensorSet().RainPresent && SensorSet().RainSensor) SensorSet().RainSensor->ResetDaily();
}

void TMainForm::ResetRGaugeWeekClick(TComponent*) {
    if (SensorSet().RainPresent && SensorSet().RainSensor) SensorSet().RainSensor->ResetWeek();
}

void TMainForm::ResetRGaugeMonthClick(TComponent*) {
    if (SensorSet().RainPresent && SensorSet().RainSensor) SensorSet().RainSensor->ResetMonth();
}

void TMainForm::ResetRGaugeTotalClick(TComponent*) {
    if (!SensorSet().RainPresent || !SensorSet().RainSensor) return;
    Logged(Named("SERVER/DS2423/RAIN: Error resetting"), [&] {
        SensorSet().RainSensor->ResetTotal();
        std::string text = Format("Grand total since %s", CTime(SensorSet().RainSensor->ResetTime).c_str());
        text.pop_back(); // the line end of the ctime form
        RainResetTime->SetCaption(text);
        LogStatus("RAINGAUGE: Reset total-counter");
    });
}
