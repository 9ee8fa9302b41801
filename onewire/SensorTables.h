#pragma once
// The sensor objects of the session: filled by the discovery scan, freed by the clean-up, read by the
// controller, the windows and publishing. Each kind has its table (with its room) or its slot; the two
// views list every temperature-family object (DS1820, Humidity, Barometer, DS2438) and every
// DS2423-family object (wind, rain, plain) in the order the scan found them.
#include <functional>

#include "onewire/SensorTable.h"

class iButton;
class Temperature;
class DS1820;
class DS2438;
class Humidity;
class Barometer;
class DS2423;
class RainGauge;
class WindData;
class DS2407;
class DS2450;
class DS2409;

inline constexpr int kMaxCouplers = 12;
inline constexpr int kMaxDS1820 = 24;
inline constexpr int kMaxHumidity = 8;
inline constexpr int kMaxDS2438 = 8;
inline constexpr int kMaxTemperature = 41;
inline constexpr int kMaxDS2450 = 8;
inline constexpr int kMaxDS2423 = 8;
inline constexpr int kMaxCounters = 10;
inline constexpr int kMaxDS2407 = 8;
inline constexpr int kMaxDS2408 = 8;

extern SensorTable<DS2409> Couplers;
extern SensorTable<DS1820> DS1820Sensors;
extern SensorTable<Humidity> HumiditySensors;
extern SensorTable<DS2438> DS2438Sensors;
extern SensorView<Temperature> TemperatureSensors;
extern SensorTable<DS2450> DS2450Sensors;
extern SensorTable<DS2423> DS2423Sensors;
extern SensorView<DS2423> CounterSensors;
extern SensorTable<DS2407> DS2407Sensors;

extern SensorSlot<WindData> WindSensor;
extern bool WindPresent;
extern SensorSlot<RainGauge> RainSensor;
extern bool RainPresent;
extern SensorSlot<Barometer> BarometerSensor;
extern bool BarometerPresent;

// Devices the scan took (objects and roles alike), DS2407s among them (a DS2407 that is a role of the
// wind or a TAI-8570 files no object) and DS2408s (which file none).
extern int DeviceCount;
extern int DS2407Count;
extern int DS2408Count;
extern bool WindDirectionFound;
extern bool TAI8570ReaderFound;
extern bool TAI8570WriterFound;

// Frees every sensor object and clears the counts and flags of the scan.
void ClearSensorTables();

// Hands save() the save step of each sensor whose settings the save-all writes, in its order: wind, rain
// and barometer (when present), then the thermometers, the humidity sensors, the plain DS2438s, the
// plain counters and the DS2450s (each kind's saveOrder, SensorKinds.h).
void ForEachSavedSensor(const std::function<void(const std::function<void()>&)>& save);
