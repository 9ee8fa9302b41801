// The sensor tree's commands: copying the name of the DDE item that carries a node's value, so that a
// user can paste it into the program that links to the station; and on a DS2450's node, the reset of
// its channel and the choice of the DS2450 as the wind's direction sensor.
#include <cstddef>
#include <string>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Clipboard.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

// The item name of a node showing part `part` of a sensor whose items are its DDE name and a suffix.
template <size_t N>
std::string PartName(const std::string& base, const char* const (&suffixes)[N], size_t part) {
    return part < N ? base + suffixes[part] : std::string();
}

// The position of `node` among the nodes beside it that show the same object: a sensor's nodes lie in
// the order of its items.
size_t PartOf(const TTreeNode& node) {
    size_t part = 0;
    if (!node.Parent) return part;
    for (const auto& sibling : node.Parent->Children) {
        if (sibling.get() == &node) break;
        if (sibling->Data == node.Data) ++part;
    }
    return part;
}

// The name of the DDE item that carries what a node shows; empty for a node that shows no sensor or
// one without an item (a switch, a coupler). The node's object is only compared with the sensors of the
// tables, never followed: after a restart's clean-up the tree may still hold objects that are gone.
// The scan hangs the DS2438 roles by their Temperature base.
std::string DDEItemNameOf(const TTreeNode& node) {
    const void* shown = node.Data;
    if (!shown) return {};
    TSensorSet& set = SensorSet();
    const size_t part = PartOf(node);
    for (DS1820* sensor : set.DS1820Sensors)
        if (sensor && shown == sensor) return sensor->DDEName;
    for (DS2423* sensor : set.DS2423Sensors)
        if (sensor && shown == sensor) return sensor->DDEName;
    for (DS2450* sensor : set.DS2450Sensors)
        if (sensor && shown == sensor) return PartName(MakeDDEItemName(*sensor), kDS2450ItemSuffixes, part);
    for (Humidity* sensor : set.HumiditySensors)
        if (sensor && shown == static_cast<Temperature*>(sensor))
            return PartName(sensor->DDEName, kHumidityItemSuffixes, part);
    for (DS2438* sensor : set.DS2438Sensors)
        if (sensor && shown == static_cast<Temperature*>(sensor))
            return PartName(sensor->DDEName, kDS2438ItemSuffixes, part);
    // The single sensors keep the names of their group items ("DDEBarometer"; the wind's and the rain
    // gauge's two main items, a line each).
    if (Barometer* sensor = set.BarometerSensor.get(); sensor && shown == static_cast<Temperature*>(sensor))
        return sensor->DDEName;
    if (WindData* sensor = set.WindSensor.get(); sensor && shown == sensor) return sensor->DDEName;
    if (RainGauge* sensor = set.RainSensor.get(); sensor && shown == sensor) return sensor->DDEName;
    return {};
}

// The DS2450 sensor a node shows, or null (compared with the table's sensors, never followed).
DS2450* DS2450Of(const TTreeNode* node) {
    if (!node || !node->Data) return nullptr;
    for (DS2450* sensor : SensorSet().DS2450Sensors)
        if (sensor && node->Data == sensor) return sensor;
    return nullptr;
}

} // namespace

void TMainForm::ResetSensorClick(TComponent*) {
    const TTreeNode* node = SensorTreeView->Selected();
    if (DS2450* sensor = DS2450Of(node)) sensor->ResetChannel(static_cast<int>(PartOf(*node)));
}

void TMainForm::WindDirectionDS2450SensorClick(TComponent*) {
    if (DS2450* sensor = DS2450Of(SensorTreeView->Selected())) sensor->SetType("WindDirection");
}

void TMainForm::CopyDDEItemNameToClipboardClick(TComponent*) {
    Logged("SERVER: Error copying the DDE item name", [&] {
        const TTreeNode* node = SensorTreeView->Selected();
        const std::string name = node ? DDEItemNameOf(*node) : std::string();
        if (name.empty()) return; // the clipboard keeps what it holds
        if (!SetClipboardText(name)) LogStatus("SERVER: Clipboard busy, DDE item name not copied");
    });
}
