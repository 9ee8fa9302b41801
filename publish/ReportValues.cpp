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
    const bool thermometer = SensorSet().DS1820Sensors.Count() + SensorSet().HumiditySensors.Count() +
                                 SensorSet().DS2438Sensors.Count() >
                             0;
    const bool barometer = SensorSet().BarometerPresent && SensorSet().BarometerSensor;
    v.Thermometer = thermometer && r.TemperatureCurrent;
    v.Barometer = barometer && r.BarometerCurrent;
    v.TemperatureSensor = (thermometer || barometer) && r.TemperatureCurrent;
    v.TemperatureStale = (thermometer || barometer) && !r.TemperatureCurrent;
    v.Wind = SensorSet().WindPresent && SensorSet().WindSensor && r.WindCurrent;
    v.Direction = v.Wind && r.PrevailingDirection;
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
    v.Rain = SensorSet().RainPresent && SensorSet().RainSensor && r.RainCurrent;
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
    v.Humidity = SensorSet().HumiditySensors.Count() > 0 && r.HumidityCurrent;
    v.HumidityPercent = r.Humidity;
    return v;
}
