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

TSensorSet::TSensorSet()
    : TemperatureSensors(kMaxTemperature), CounterSensors(kMaxCounters), Couplers(kMaxCouplers),
      DS1820Sensors(kMaxDS1820), HumiditySensors(kMaxHumidity), DS2438Sensors(kMaxDS2438),
      DS2450Sensors(kMaxDS2450), DS2423Sensors(kMaxDS2423), DS2407Sensors(kMaxDS2407) {}
TSensorSet::~TSensorSet() = default;

namespace {

TSensorSet* installed = nullptr;

} // namespace

TSensorSet& SensorSet() {
    if (installed) return *installed;
    static TSensorSet own;
    return own;
}

void InstallSensorSet(TSensorSet* set) {
    installed = set;
}

void ClearSensorTables() {
    for (const SensorKind* kind : SensorKinds().By(&SensorKind::clearOrder))
        if (kind->clear) kind->clear();
    TSensorSet& set = SensorSet();
    set.WindDirectionFound = set.TAI8570ReaderFound = set.TAI8570WriterFound = false;
    set.DeviceCount = set.DS2407Count = set.DS2408Count = 0;
}

void ForEachSavedSensor(const std::function<void(const std::function<void()>&)>& save) {
    for (const SensorKind* kind : SensorKinds().By(&SensorKind::saveOrder))
        if (kind->save) kind->save(save);
}
