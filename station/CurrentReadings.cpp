// The accessors of the latest readings: a group's values while the round found it current, and its
// sensor as the set holds it now (a rescan between two rounds leaves a flag of a sensor that is gone);
// a derived value made of the current groups when it is asked for.
#include "station/CurrentReadings.h"

#include "onewire/Humidity.h"
#include "onewire/Microlan.h"
#include "onewire/SensorTables.h"
#include "onewire/WeatherCalc.h"
#include "onewire/WindData.h"

namespace {

TDerivedNow Derived(float celsius) {
    return {.C = celsius, .InUnit = Microlan::Bus().UseCelsius ? celsius : CelsiusToFahrenheit(celsius)};
}

} // namespace

std::optional<TTemperatureNow> TCurrentReadings::MainTemperature() const {
    if (!TemperatureCurrent || !TemperatureRead ||
        SensorSet().TemperatureSensors[MainTemperatureIndex] == nullptr)
        return std::nullopt;
    return TTemperatureNow{.InUnit = Temperature,
                           .Max = TemperatureMax,
                           .Min = TemperatureMin,
                           .MaxTime = TemperatureMaxTime,
                           .MinTime = TemperatureMinTime,
                           .C = TemperatureC,
                           .F = TemperatureF,
                           .MaxC = TemperatureMaxC,
                           .MinC = TemperatureMinC};
}

std::optional<TWindNow> TCurrentReadings::Wind() const {
    const TSensorSet& set = SensorSet();
    if (!WindCurrent || !WindRead || !set.WindPresent || !set.WindSensor) return std::nullopt;
    TWindNow wind{.Sensor = set.WindSensor.get(),
                  .SpeedMs = WindSpeedMs,
                  .GustMs = WindGustMs,
                  .MaxMs = WindMaxMs,
                  .Speed = WindSpeed,
                  .Gust = WindGust,
                  .Max = WindMax,
                  .DirectionBin = WindDirectionBin,
                  .Prevailing = std::nullopt};
    if (PrevailingDirection) wind.Prevailing = {WindDirectionDegrees, WindCompassPoint};
    return wind;
}

std::optional<TRainNow> TCurrentReadings::Rain() const {
    const TSensorSet& set = SensorSet();
    if (!RainCurrent || !set.RainPresent || !set.RainSensor) return std::nullopt;
    return TRainNow{.Gauge = set.RainSensor.get(),
                    .Today = RainToday,
                    .Rate = RainRate,
                    .Hour = RainHour,
                    .Week = RainWeek,
                    .Month = RainMonth};
}

std::optional<TBarometerNow> TCurrentReadings::Pressure() const {
    const TSensorSet& set = SensorSet();
    if (!BarometerCurrent || !set.BarometerPresent || !set.BarometerSensor) return std::nullopt;
    return TBarometerNow{.Sensor = set.BarometerSensor.get(),
                         .Value = Barometer,
                         .Max = BarometerMax,
                         .Min = BarometerMin,
                         .InHg = BarometerInHg,
                         .MaxInHg = BarometerMaxInHg,
                         .MinInHg = BarometerMinInHg,
                         .ChangeInHg = BarometerChangeInHg};
}

std::optional<THumidityNow> TCurrentReadings::MainHumidity() const {
    ::Humidity* sensor = SensorSet().HumiditySensors[MainHumidityIndex];
    if (!HumidityCurrent || sensor == nullptr) return std::nullopt;
    return THumidityNow{.Sensor = sensor, .Percent = Humidity, .Max = HumidityMax, .Min = HumidityMin};
}

std::optional<TDerivedNow> TCurrentReadings::OfTemperatureAndHumidity(float (*calculate)(float,
                                                                                         float)) const {
    const std::optional<TTemperatureNow> temperature = MainTemperature();
    const std::optional<THumidityNow> humidity = MainHumidity();
    if (!temperature || !humidity) return std::nullopt;
    return Derived(calculate(temperature->C, humidity->Percent));
}

std::optional<TDerivedNow> TCurrentReadings::Dewpoint() const {
    return OfTemperatureAndHumidity(CalculateDewpoint);
}

std::optional<TDerivedNow> TCurrentReadings::HeatIndex() const {
    return OfTemperatureAndHumidity(CalculateHeatIndex);
}

std::optional<TDerivedNow> TCurrentReadings::WindChill() const {
    const std::optional<TTemperatureNow> temperature = MainTemperature();
    if (!temperature) return std::nullopt;
    const TSensorSet& set = SensorSet();
    if (!set.WindPresent || !set.WindSensor) return Derived(CalculateWindchill(temperature->F));
    const std::optional<TWindNow> wind = Wind();
    if (!wind) return std::nullopt;
    return Derived(CalculateWindchill(temperature->F, wind->Sensor->MinAvgSpeed));
}
