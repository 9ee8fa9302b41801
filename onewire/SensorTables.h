#pragma once
// The sensor objects of the session, one set per station (TSensorSet): filled by the discovery scan,
// freed by the clean-up and with the set, read by the controller, the windows and publishing. Each kind has
// its table (with its room) or its slot; the two views list every temperature-family object (DS1820,
// Humidity, Barometer, DS2438) and every DS2423-family object (wind, rain, plain) in the order the scan found
// them.
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

// The sensor objects of a station and what its scan counted. The main window owns the set of its
// station for its lifetime; everything else reaches it through SensorSet().
class TSensorSet {
public:
    TSensorSet();
    ~TSensorSet();
    TSensorSet(const TSensorSet&) = delete;
    TSensorSet& operator=(const TSensorSet&) = delete;

    // The views come before the tables and slots that file into them: the owners, destroyed first,
    // take their objects out of them on the way. (Each table's room is set where the set is made.)
    SensorView<Temperature> TemperatureSensors;
    SensorView<DS2423> CounterSensors;

    SensorTable<DS2409> Couplers;
    SensorTable<DS1820> DS1820Sensors;
    SensorTable<Humidity> HumiditySensors;
    SensorTable<DS2438> DS2438Sensors;
    SensorTable<DS2450> DS2450Sensors;
    SensorTable<DS2423> DS2423Sensors;
    SensorTable<DS2407> DS2407Sensors;

    SensorSlot<WindData> WindSensor;
    bool WindPresent = false;
    SensorSlot<RainGauge> RainSensor;
    bool RainPresent = false;
    SensorSlot<Barometer> BarometerSensor;
    bool BarometerPresent = false;

    // Devices the scan took (objects and roles alike), DS2407s among them (a DS2407 that is a role of
    // the wind or a TAI-8570 files no object) and DS2408s (which file none).
    int DeviceCount = 0;
    int DS2407Count = 0;
    int DS2408Count = 0;
    bool WindDirectionFound = false;
    bool TAI8570ReaderFound = false;
    bool TAI8570WriterFound = false;
};

// The set of the station (the main window's), or the process's own while no window has installed one.
TSensorSet& SensorSet();
// Makes `set` the one SensorSet() answers; null gives the process's own again.
void InstallSensorSet(TSensorSet* set);

// Frees every sensor object and clears the counts and flags of the scan.
void ClearSensorTables();

// Hands save() the save step of each sensor whose settings the save-all writes, in its order: wind, rain
// and barometer (when present), then the thermometers, the humidity sensors, the plain DS2438s, the
// plain counters and the DS2450s (each kind's saveOrder, SensorKinds.h).
void ForEachSavedSensor(const std::function<void(const std::function<void()>&)>& save);
