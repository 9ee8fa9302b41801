// The sensor tree's commands: copying the name of the DDE item that carries a node's value, so that a
// user can paste it into the program that links to the station; and on a DS2450's node, the reset of
// its channel and the choice of the DS2450 as the wind's direction sensor. The keeper's commands select
// a sensor's node by its serial first.
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

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
#include "platform/Strings.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

// A sensor the tree shows: the object its nodes hold (compared, never followed: after a restart's
// clean-up the tree may still hold objects that are gone), its serial, and the name of its DDE item, or
// the base of its items' names with the suffixes of its nodes in order. The scan hangs the DS2438 roles
// by their Temperature base. The single sensors keep the names of their group items ("DDEBarometer";
// the wind's and the rain gauge's two main items, a line each).
struct TTreeSensor {
    const void* shown;
    std::string serial;
    std::string item;
    std::span<const char* const> parts;
};

std::vector<TTreeSensor> TreeSensors() {
    std::vector<TTreeSensor> out;
    TSensorSet& set = SensorSet();
    for (DS1820* sensor : set.DS1820Sensors)
        if (sensor) out.push_back({sensor, sensor->SerialSection(), sensor->DDEName, {}});
    for (DS2423* sensor : set.DS2423Sensors)
        if (sensor) out.push_back({sensor, sensor->SerialSection(), sensor->DDEName, {}});
    for (DS2450* sensor : set.DS2450Sensors)
        if (sensor)
            out.push_back({sensor, sensor->RomToText(), MakeDDEItemName(*sensor), kDS2450ItemSuffixes});
    for (Humidity* sensor : set.HumiditySensors)
        if (sensor)
            out.push_back({static_cast<Temperature*>(sensor), sensor->SerialSection(), sensor->DDEName,
                           kHumidityItemSuffixes});
    for (DS2438* sensor : set.DS2438Sensors)
        if (sensor)
            out.push_back({static_cast<Temperature*>(sensor), sensor->SerialSection(), sensor->DDEName,
                           kDS2438ItemSuffixes});
    if (Barometer* sensor = set.BarometerSensor.get())
        out.push_back({static_cast<Temperature*>(sensor), sensor->SerialSection(), sensor->DDEName, {}});
    if (WindData* sensor = set.WindSensor.get())
        out.push_back({sensor, sensor->SerialSection(), sensor->DDEName, {}});
    if (RainGauge* sensor = set.RainSensor.get())
        out.push_back({sensor, sensor->SerialSection(), sensor->DDEName, {}});
    return out;
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
// one without an item (a switch, a coupler).
std::string DDEItemNameOf(const TTreeNode& node) {
    if (!node.Data) return {};
    for (const TTreeSensor& sensor : TreeSensors()) {
        if (sensor.shown != node.Data) continue;
        if (sensor.parts.empty()) return sensor.item;
        const size_t part = PartOf(node);
        return part < sensor.parts.size() ? sensor.item + sensor.parts[part] : std::string();
    }
    return {};
}

// The node `part` (counted from 0) among those that show `shown`, in the tree's order.
TTreeNode* NodeOf(const std::vector<std::unique_ptr<TTreeNode>>& nodes, const void* shown, size_t& part) {
    for (const auto& node : nodes) {
        if (node->Data == shown && part-- == 0) return node.get();
        if (TTreeNode* found = NodeOf(node->Children, shown, part)) return found;
    }
    return nullptr;
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
    DS2450* sensor = DS2450Of(SensorTreeView->Selected());
    if (!sensor) return;
    sensor->SetType("WindDirection");
    // A vane the wind has keeps its place at the next start: its serial is in the wind's section now,
    // not only from the next save on (the scan takes the vane named there before any by its type).
    WindData* wind = SensorSet().WindSensor.get();
    if (wind && wind->DirectionAssigned) wind->SaveSettings();
}

void TMainForm::CopyDDEItemNameToClipboardClick(TComponent*) {
    Logged("SERVER: Error copying the DDE item name", [&] {
        const TTreeNode* node = SensorTreeView->Selected();
        const std::string name = node ? DDEItemNameOf(*node) : std::string();
        if (name.empty()) return; // the clipboard keeps what it holds
        if (!SetClipboardText(name)) LogStatus("SERVER: Clipboard busy, DDE item name not copied");
    });
}

std::optional<std::vector<std::string>> TMainForm::SensorItemParts(const std::string& serial) {
    for (const TTreeSensor& sensor : TreeSensors())
        if (SameText(sensor.serial, serial))
            return std::vector<std::string>(sensor.parts.begin(), sensor.parts.end());
    return std::nullopt;
}

bool TMainForm::SelectSensorNode(const std::string& serial, size_t part) {
    for (const TTreeSensor& sensor : TreeSensors()) {
        if (!SameText(sensor.serial, serial)) continue;
        TTreeNode* node = NodeOf(SensorTreeView->Roots(), sensor.shown, part);
        if (node) SensorTreeView->Select(node);
        return node != nullptr;
    }
    return false;
}
