#include "publish/ReportValues.h"

#include "onewire/Barometer.h"
#include "onewire/DataTables.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "station/PublishingHost.h"

TReportValues GatherReportValues(const TCurrentReadings& readings) {
    TReportValues v;
    const std::optional<TTemperatureNow> temperature = readings.MainTemperature();
    if (temperature) {
        v.TemperatureC = temperature->C;
        v.TemperatureF = temperature->F;
        v.TemperatureInUnit = temperature->InUnit;
    }
    const bool thermometer = SensorSet().DS1820Sensors.Count() + SensorSet().HumiditySensors.Count() +
                                 SensorSet().DS2438Sensors.Count() >
                             0;
    const bool barometer = SensorSet().BarometerPresent && SensorSet().BarometerSensor;
    v.Thermometer = thermometer && temperature;
    v.TemperatureSensor = (thermometer || barometer) && temperature;
    v.TemperatureStale = (thermometer || barometer) && !temperature;
    if (const std::optional<TWindNow> now = readings.Wind()) {
        WindData& wind = *now->Sensor;
        v.Wind = true;
        v.Direction = now->Prevailing.has_value();
        v.Speed = wind.Speed;
        v.MinuteAverage = wind.MinAvgSpeed;
        v.Gust = wind.Gust;
        v.SpeedInUnit = wind.ConvertSpeed(wind.Speed);
        v.GustInUnit = wind.ConvertSpeed(wind.Gust);
        v.DirectionDegrees = wind.CalculateDirection();
        v.CompassPoint = wind.GetCompassPoint();
        v.CompassName = CompassPointName(v.CompassPoint);
    }
    if (const std::optional<TRainNow> now = readings.Rain()) {
        RainGauge& rain = *now->Gauge;
        v.Rain = true;
        v.SinceReset = CountDistance(rain.RunningCounter, rain.StartCounter);
        v.SinceMidnight = CountDistance(rain.RunningCounter, rain.TodayCounter);
        v.LastHour = rain.LastHourCounts();
        v.SinceMonth = CountDistance(rain.RunningCounter, rain.MonthCounter);
        v.RateWindow = CountDistance(rain.RunningCounter, rain.RateReference);
        v.RateWindowsPerHour = rain.RateMinutes ? 60 / rain.RateMinutes : 0;
        v.CountsPerInch = rain.CountsPrInch;
        v.RainInInches = rain.RainUnitInch != 0;
        v.RainResetTime = rain.ResetTime;
    }
    if (const std::optional<TBarometerNow> now = readings.Pressure()) {
        Barometer& baro = *now->Sensor;
        v.Barometer = true;
        v.PressureInHg = baro.baro.value;
        v.PressureInUnit = baro.GetValue();
        v.PressureRateInUnit = baro.ConvertPressure(baro.baro.value - baro.RateReference);
    }
    if (const std::optional<THumidityNow> now = readings.MainHumidity()) {
        v.Humidity = true;
        v.HumidityPercent = now->Percent;
    }
    if (const std::optional<TDerivedNow> dewpoint = readings.Dewpoint()) {
        v.Dewpoint = true;
        v.DewpointC = dewpoint->C;
    }
    return v;
}
