// The sensor set's row of each kind.
#include "onewire/SensorKinds.h"

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2407.h"
#include "onewire/DS2409.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"

namespace {

// The rows reach the set of the station now (SensorSet()), whichever window made it.
template <class T>
SensorKind TableKind(const char* kind, SensorTable<T> TSensorSet::*table, int clearOrder, int saveOrder) {
    SensorKind row;
    row.kind = kind;
    row.present = [table] { return (SensorSet().*table).Count() > 0; };
    row.clear = [table] { (SensorSet().*table).Clear(); };
    row.clearOrder = clearOrder;
    if (saveOrder > 0) {
        row.save = [table](const std::function<void(const SaveStep&)>& save) {
            for (T* sensor : SensorSet().*table)
                save([sensor] { sensor->SaveSettings(); });
        };
        row.saveOrder = saveOrder;
    }
    return row;
}

template <class T>
SensorKind SlotKind(const char* kind, SensorSlot<T> TSensorSet::*slot, bool TSensorSet::*present,
                    int clearOrder, int saveOrder) {
    SensorKind row;
    row.kind = kind;
    row.present = [slot, present] { return SensorSet().*present && SensorSet().*slot; };
    row.clear = [slot, present] {
        (SensorSet().*slot).Reset();
        SensorSet().*present = false;
    };
    row.clearOrder = clearOrder;
    row.save = [slot, present](const std::function<void(const SaveStep&)>& save) {
        T* sensor = (SensorSet().*slot).get();
        if (SensorSet().*present && sensor) save([sensor] { sensor->SaveSettings(); });
    };
    row.saveOrder = saveOrder;
    return row;
}

} // namespace

KindRegistry<SensorKind>& SensorKinds() {
    // clearOrder, saveOrder (0: not saved).
    static KindRegistry<SensorKind> kinds({
        TableKind("DS1820", &TSensorSet::DS1820Sensors, 1, 4),
        TableKind("Humidity", &TSensorSet::HumiditySensors, 2, 5),
        TableKind("DS2450", &TSensorSet::DS2450Sensors, 3, 8),
        TableKind("DS2438", &TSensorSet::DS2438Sensors, 4, 6),
        TableKind("DS2423", &TSensorSet::DS2423Sensors, 5, 7),
        TableKind("DS2407", &TSensorSet::DS2407Sensors, 6, 0),
        SlotKind("Wind", &TSensorSet::WindSensor, &TSensorSet::WindPresent, 7, 1),
        SlotKind("Barometer", &TSensorSet::BarometerSensor, &TSensorSet::BarometerPresent, 8, 3),
        SlotKind("Rain", &TSensorSet::RainSensor, &TSensorSet::RainPresent, 9, 2),
        TableKind("DS2409", &TSensorSet::Couplers, 10, 0),
    });
    return kinds;
}

bool KindPresent(const std::string& kind) {
    const SensorKind* row = SensorKinds().Find(kind);
    return row != nullptr && row->present && row->present();
}
