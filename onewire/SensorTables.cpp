#include "onewire/SensorTables.h"

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2407.h"
#include "onewire/DS2409.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorKinds.h"
#include "onewire/WindData.h"

// The views are defined before the tables and slots that file into them: the owners, destroyed first,
// take their objects out of them on the way.
SensorView<Temperature> TemperatureSensors(kMaxTemperature);
SensorView<DS2423> CounterSensors(kMaxCounters);

SensorTable<DS2409> Couplers(kMaxCouplers);
SensorTable<DS1820> DS1820Sensors(kMaxDS1820);
SensorTable<Humidity> HumiditySensors(kMaxHumidity);
SensorTable<DS2438> DS2438Sensors(kMaxDS2438);
SensorTable<DS2450> DS2450Sensors(kMaxDS2450);
SensorTable<DS2423> DS2423Sensors(kMaxDS2423);
SensorTable<DS2407> DS2407Sensors(kMaxDS2407);

SensorSlot<WindData> WindSensor;
bool WindPresent = false;
SensorSlot<RainGauge> RainSensor;
bool RainPresent = false;
SensorSlot<Barometer> BarometerSensor;
bool BarometerPresent = false;

int DeviceCount = 0;
int DS2407Count = 0;
int DS2408Count = 0;
bool WindDirectionFound = false;
bool TAI8570ReaderFound = false;
bool TAI8570WriterFound = false;

void ClearSensorTables() {
    for (const SensorKind* kind : SensorKinds().By(&SensorKind::clearOrder))
        if (kind->clear) kind->clear();
    WindDirectionFound = TAI8570ReaderFound = TAI8570WriterFound = false;
    DeviceCount = DS2407Count = DS2408Count = 0;
}

void ForEachSavedSensor(const std::function<void(const std::function<void()>&)>& save) {
    for (const SensorKind* kind : SensorKinds().By(&SensorKind::saveOrder))
        if (kind->save) kind->save(save);
}
