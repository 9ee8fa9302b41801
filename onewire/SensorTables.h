#pragma once
// The per-kind tables of sensor objects: filled by the discovery scan, emptied by the clean-up, read by
// the controller, the windows and publishing. Each count is the number of filled entries.
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

extern DS2409* Couplers[kMaxCouplers];
extern int CouplerCount;
extern DS1820* DS1820Sensors[kMaxDS1820];
extern int DS1820Count;
extern Humidity* HumiditySensors[kMaxHumidity];
extern int HumidityCount;
extern DS2438* DS2438Sensors[kMaxDS2438];
extern int DS2438Count;
// Every temperature-family object (DS1820, Humidity, Barometer, DS2438) in discovery order.
extern Temperature* TemperatureSensors[kMaxTemperature];
extern int TemperatureCount;
extern DS2450* DS2450Sensors[kMaxDS2450];
extern int DS2450Count;
extern DS2423* DS2423Sensors[kMaxDS2423];
extern int DS2423Count;
// Every DS2423-family object (wind, rain, plain) in discovery order.
extern DS2423* CounterSensors[kMaxCounters];
extern int CounterCount;
extern DS2407* DS2407Sensors[kMaxDS2407];
extern int DS2407Count;

extern WindData* WindSensor;
extern bool WindPresent;
extern RainGauge* RainSensor;
extern bool RainPresent;
extern Barometer* BarometerSensor;
extern bool BarometerPresent;

extern int DeviceCount;
extern int DS2408Count;
extern bool WindDirectionFound;
extern bool TAI8570ReaderFound;
extern bool TAI8570WriterFound;
