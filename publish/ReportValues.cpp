#include "publish/ReportValues.h"

#include "onewire/Barometer.h"
#include "onewire/DataTables.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "station/PublishingHost.h"

TReportValues GatherReportValues(const TCurrentReadings& readings) {
    TReportValues v;
    const TCurrentReadings& r = readings;
    v.TemperatureC = r.TemperatureC;
    v.TemperatureF = r.TemperatureF;
    v.TemperatureInUnit = r.Temperature;
    v.Thermometer = SensorSet().DS1820Sensors.Count() + SensorSet().HumiditySensors.Count() +
                        SensorSet().DS2438Sensors.Count() >
                    0;
    v.Barometer = SensorSet().BarometerPresent && SensorSet().BarometerSensor;
    v.TemperatureSensor = v.Thermometer || v.Barometer;
    v.Wind = SensorSet().WindPresent && SensorSet().WindSensor;
    if (v.Wind) {
        WindData& wind = *SensorSet().WindSensor;
        v.Speed = wind.Speed;
        v.MinuteAverage = wind.MinAvgSpeed;
        v.Gust = wind.Gust;
        v.SpeedInUnit = wind.ConvertSpeed(wind.Speed);
        v.GustInUnit = wind.ConvertSpeed(wind.Gust);
        v.DirectionDegrees = wind.CalculateDirection();
        v.CompassPoint = wind.GetCompassPoint();
        v.CompassName = CompassPointName(v.CompassPoint);
    }
    v.Rain = SensorSet().RainPresent && SensorSet().RainSensor;
    if (v.Rain) {
        RainGauge& rain = *SensorSet().RainSensor;
        v.SinceReset = CountDistance(rain.RunningCounter, rain.StartCounter);
        v.SinceMidnight = CountDistance(rain.RunningCounter, rain.TodayCounter);
        v.LastHour = CountDistance(rain.RunningCounter, rain.RateFallback);
        v.SinceMonth = CountDistance(rain.RunningCounter, rain.MonthCounter);
        v.RateWindow = CountDistance(rain.RunningCounter, rain.RateReference);
        v.RateWindowsPerHour = rain.RateMinutes ? 60 / rain.RateMinutes : 0;
        v.CountsPerInch = rain.CountsPrInch;
        v.RainInInches = rain.RainUnitInch != 0;
        v.RainResetTime = rain.ResetTime;
    }
    if (v.Barometer) {
        Barometer& baro = *SensorSet().BarometerSensor;
        v.PressureInHg = baro.baro.value;
        v.PressureInUnit = baro.GetValue();
        v.PressureRateInUnit = baro.ConvertPressure(baro.baro.value - baro.RateReference);
    }
    v.Humidity = SensorSet().HumiditySensors.Count() > 0;
    v.HumidityPercent = r.Humidity;
    return v;
}
