#include "station/DdeItems.h"

#include <initializer_list>
#include <iterator>
#include <optional>

#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/SensorTables.h"
#include "station/CurrentReadings.h"

void SetDDEText(platform::TDdeServerItem* item, const std::string& text) {
    if (item != nullptr && item->Text() != text) item->SetText(text);
}

platform::TDdeServerItem* DDEItemAt(const std::vector<platform::TDdeServerItem*>& items, size_t index) {
    return index < items.size() ? items[index] : nullptr;
}

std::string MakeDDEItemName(const DS2450& sensor) {
    return "DDE" + DS2450::RomToHex(sensor.Rom);
}

namespace {

void Empty(std::initializer_list<platform::TDdeServerItem*> items) {
    for (platform::TDdeServerItem* item : items)
        SetDDEText(item, "");
}

// The `per` items of each sensor of the table whose values are not current.
template <class Table>
void EmptyStale(const Table& table, const std::vector<platform::TDdeServerItem*>& items, size_t per) {
    for (int i = 0; i < table.Count(); ++i)
        if (CurrentSensor(table[i]) == nullptr)
            for (size_t k = 0; k < per; ++k)
                SetDDEText(DDEItemAt(items, static_cast<size_t>(i) * per + k), "");
}

} // namespace

void EmptyStaleDDEItems(TDdeItems& dde, const TCurrentReadings& readings) {
    const std::optional<TWindNow> wind = readings.Wind();
    if (!wind)
        Empty({dde.DDEWindSpeed, dde.DDEWindspeedAVGMin, dde.DDEWindspeedAVGHour, dde.DDEWindDirection,
               dde.DDEWindDirAVG});
    else if (!wind->Prevailing)
        Empty({dde.DDEWindDirAVG});
    if (!readings.Rain()) Empty({dde.DDERainToday, dde.DDERainRate, dde.DDERainCounter});
    if (!readings.Pressure()) Empty({dde.DDEBarometer});
    if (!readings.MainTemperature()) Empty({dde.DDETemperature});
    if (!readings.WindChill()) Empty({dde.DDEWindChill});
    if (!readings.MainHumidity()) Empty({dde.DDEHumidity});
    const TSensorSet& set = SensorSet();
    EmptyStale(set.DS1820Sensors, dde.DS1820Items, 1);
    EmptyStale(set.DS2423Sensors, dde.DS2423Items, 1);
    EmptyStale(set.DS2450Sensors, dde.DS2450Items, std::size(kDS2450ItemSuffixes));
    EmptyStale(set.HumiditySensors, dde.HumidityItems, std::size(kHumidityItemSuffixes));
    EmptyStale(set.DS2438Sensors, dde.DS2438Items, std::size(kDS2438ItemSuffixes));
}
