#include "onewire/SensorTables.h"

DS2409* Couplers[kMaxCouplers] = {};
int CouplerCount = 0;
DS1820* DS1820Sensors[kMaxDS1820] = {};
int DS1820Count = 0;
Humidity* HumiditySensors[kMaxHumidity] = {};
int HumidityCount = 0;
DS2438* DS2438Sensors[kMaxDS2438] = {};
int DS2438Count = 0;
Temperature* TemperatureSensors[kMaxTemperature] = {};
int TemperatureCount = 0;
DS2450* DS2450Sensors[kMaxDS2450] = {};
int DS2450Count = 0;
DS2423* DS2423Sensors[kMaxDS2423] = {};
int DS2423Count = 0;
DS2423* CounterSensors[kMaxCounters] = {};
int CounterCount = 0;
DS2407* DS2407Sensors[kMaxDS2407] = {};
int DS2407Count = 0;

WindData* WindSensor = nullptr;
bool WindPresent = false;
RainGauge* RainSensor = nullptr;
bool RainPresent = false;
Barometer* BarometerSensor = nullptr;
bool BarometerPresent = false;

int DeviceCount = 0;
int DS2408Count = 0;
bool WindDirectionFound = false;
bool TAI8570ReaderFound = false;
bool TAI8570WriterFound = false;
