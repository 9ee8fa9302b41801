#pragma once
// Sensor objects filed into the station's set as the scan files them, on a station without a net (they
// read no device), for tests that set the readings themselves; and the readings' groups marked current,
// as after a round that read them.
#include <memory>

#include "onewire/Barometer.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "station/CurrentReadings.h"
#include "station/Unit1.h"

namespace korvane_test {

// An object of a thermometer kind (DS1820, Humidity), filed into its table and the temperature view.
template <class T> T& File(SensorTable<T>& table) {
    T& sensor = *table.Add(std::make_unique<T>(table.Count(), nullptr, 0), SensorSet().TemperatureSensors);
    sensor.MarkRead(); // its values are put in by hand, as a read would
    return sensor;
}

// The wind, the rain gauge and the barometer, filed into their slots.
inline void FileWindRainAndBarometer() {
    TSensorSet& set = SensorSet();
    set.WindSensor.Set(std::make_unique<WindData>(0, nullptr, 0), set.CounterSensors);
    set.WindPresent = true;
    set.RainSensor.Set(std::make_unique<RainGauge>(1, nullptr, 0), set.CounterSensors);
    set.RainPresent = true;
    set.BarometerSensor.Set(std::make_unique<Barometer>(nullptr, 0), set.TemperatureSensors);
    set.BarometerPresent = true;
    set.WindSensor->MarkRead();
    set.RainSensor->MarkRead();
    set.BarometerSensor->MarkRead();
}

// Every group current, the main temperature and the wind read; the first thermometer and humidity
// sensor filed are the main ones.
inline void MarkAllCurrent(TCurrentReadings& r) {
    MainTemperatureSensor = MainHumiditySensor = r.MainTemperatureIndex = r.MainHumidityIndex = 0;
    r.TemperatureCurrent = r.WindCurrent = r.RainCurrent = r.BarometerCurrent = r.HumidityCurrent =
        r.PrevailingDirection = r.TemperatureRead = r.WindRead = true;
}

} // namespace korvane_test
