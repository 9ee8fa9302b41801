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

using SaveEach = std::function<void(const std::function<void(const SaveStep&)>&)>;

template <class T>
SensorKind TableKind(const char* kind, SensorTable<T>& table, int clearOrder, int saveOrder) {
    SensorKind row;
    row.kind = kind;
    row.present = [&table] { return table.Count() > 0; };
    row.clear = [&table] { table.Clear(); };
    row.clearOrder = clearOrder;
    if (saveOrder > 0) {
        row.save = [&table](const std::function<void(const SaveStep&)>& save) {
            for (T* sensor : table)
                save([sensor] { sensor->SaveSettings(); });
        };
        row.saveOrder = saveOrder;
    }
    return row;
}

template <class T>
SensorKind SlotKind(const char* kind, SensorSlot<T>& slot, bool& present, int clearOrder, int saveOrder) {
    SensorKind row;
    row.kind = kind;
    row.present = [&slot, &present] { return present && slot; };
    row.clear = [&slot, &present] {
        slot.Reset();
        present = false;
    };
    row.clearOrder = clearOrder;
    row.save = [&slot, &present](const std::function<void(const SaveStep&)>& save) {
        if (present && slot) save([&slot] { slot->SaveSettings(); });
    };
    row.saveOrder = saveOrder;
    return row;
}

} // namespace

KindRegistry<SensorKind>& SensorKinds() {
    // clearOrder, saveOrder (0: not saved).
    static KindRegistry<SensorKind> kinds({
        TableKind("DS1820", DS1820Sensors, 1, 4),
        TableKind("Humidity", HumiditySensors, 2, 5),
        TableKind("DS2450", DS2450Sensors, 3, 8),
        TableKind("DS2438", DS2438Sensors, 4, 6),
        TableKind("DS2423", DS2423Sensors, 5, 7),
        TableKind("DS2407", DS2407Sensors, 6, 0),
        SlotKind("Wind", WindSensor, WindPresent, 7, 1),
        SlotKind("Barometer", BarometerSensor, BarometerPresent, 8, 3),
        SlotKind("Rain", RainSensor, RainPresent, 9, 2),
        TableKind("DS2409", Couplers, 10, 0),
    });
    return kinds;
}

bool KindPresent(const std::string& kind) {
    const SensorKind* row = SensorKinds().Find(kind);
    return row != nullptr && row->present && row->present();
}
