// The discovery scan's course over the net, its reports and the clean-up.
#include "onewire/Discovery.h"

#include <exception>
#include <functional>
#include <memory>

#include "onewire/ChipFamilies.h"
#include "onewire/DS1820.h"
#include "onewire/DS2409.h"
#include "onewire/DS2423.h"
#include "onewire/DataTables.h"
#include "onewire/Microlan.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/StringList.h"
#include "platform/Strings.h"

using platform::Format;
using platform::TTreeNode;
namespace tmex = platform::tmex;

namespace {

// The nodes that devices found later hang from: the wind's, for its direction device on another
// branch or in a later rescan, and the TAI-8570's.
TTreeNode* windNode = nullptr;
TTreeNode* tai8570Node = nullptr;

// One family search over the part of the net switched on now: file() is called for each device of the
// family not yet looked at in this session, and the search goes on while goOn() holds.
void SearchFamily(uint8_t family, const std::string& name, bool (*goOn)(),
                  const std::function<void(const std::string&)>& file) {
    bool coupler = family == DS2409::kFamily;
    try {
        if (!Microlan::StartSession()) return;
        tmex::FamilySearchSetup(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, family);
        if (tmex::First(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer) != 1) {
            Microlan::Log(name + (coupler ? ": Error searching..." : ": Error searching MicroLAN..."));
            return;
        }
        uint16_t rom[8];
        do {
            rom[0] = 0;
            tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, rom);
            std::string serial = Microlan::SerialText(rom);
            if ((rom[0] & 0xFF) == family && Microlan::Bus().FoundSerials->IndexOf(serial) < 0) {
                Microlan::Bus().FoundSerials->Add(serial);
                file(serial);
            }
        } while ((!goOn || goOn()) &&
                 tmex::Next(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer) == 1);
        Microlan::EndSession();
    } catch (const std::exception& e) {
        Microlan::Log((coupler ? name : "SERVER/" + name) + ": Error searching: " + e.what());
    } catch (...) {
        Microlan::Log((coupler ? name : "SERVER/" + name) + ": Error searching");
    }
}

void SearchCouplers(ScanListener& listener) {
    FamilyScan scan{listener, nullptr, 0, nullptr, windNode, tai8570Node};
    SearchFamily(DS2409::kFamily, "DS2409", nullptr, [&](const std::string& serial) {
        if (!scan.Room(SensorSet().Couplers, "DS2409", serial)) return;
        DS2409* coupler = SensorSet().Couplers.Add(std::make_unique<DS2409>(SensorSet().Couplers.Count()));
        coupler->Switch(0);
        if (Microlan::MarkSerialFound(serial)) {
            Microlan::Log(Format("DS2409: %s (%d->%s)", serial.c_str(), SensorSet().Couplers.Count(),
                                 coupler->Description.c_str()));
        } else {
            Microlan::Log(Format("INFO: Added DS2409 coupler %s (iButton HUB)", serial.c_str()));
            coupler->SaveSettings();
        }
    });
}

// Every family of the registry on the part of the net switched on now.
void ScanFamilies(ScanListener& listener, const uint16_t* couplerRom, int branch, TTreeNode* branchNode) {
    bool plain = couplerRom == nullptr;
    for (const ChipFamily& family : ChipFamilies()) {
        if (plain) listener.SetProgress(family.progress);
        FamilyScan scan{listener, couplerRom, branch, branchNode, windNode, tai8570Node};
        SearchFamily(family.code, family.name, family.goOn,
                     [&](const std::string& serial) { family.file(scan, serial); });
    }
    if (plain) listener.SetProgress(100);
}

} // namespace

bool FamilyScan::Room(int count, int room, const std::string& family, const std::string& serial) const {
    if (count < room) return true;
    LeaveOut(family, serial, Format("room for %d only", room));
    return false;
}

void FamilyScan::LeaveOut(const std::string& family, const std::string& serial,
                          const std::string& reason) const {
    Microlan::MarkSerialFound(serial);
    Microlan::Log(Format("WARNING: %s %s left out (%s)", family.c_str(), serial.c_str(), reason.c_str()));
}

TTreeNode* FamilyScan::AddNode(TTreeNode* parent, const std::string& text, void* object, int image) const {
    return listener.AddNode(parent, text, object, image);
}

void ScanMicrolan(ScanListener& listener, TTreeNode* root) {
    Microlan::Log("SERVER: Scanning MicroLAN for DS2409 switches...");
    listener.Started();
    listener.SetCaption("Scanning for devices...");
    listener.SetProgress(0);
    SearchCouplers(listener);
    for (DS2409* coupler : SensorSet().Couplers)
        coupler->Switch(0);

    Microlan::Log("SERVER: Scanning MicroLAN for other devices...");
    listener.SetProgress(5);
    ScanFamilies(listener, nullptr, 0, root);

    int progress = 5;
    int step = SensorSet().Couplers.Count() > 0 ? 100 / SensorSet().Couplers.Count() : 0;
    for (DS2409* coupler : SensorSet().Couplers) {
        TTreeNode* couplerNode =
            listener.AddNode(root, "DS2409: " + coupler->Description, coupler, ScanImage::Coupler);
        struct Branch {
            const char* text;
            const char* node;
            int command;
        } branches[] = {{"Scanning MAIN on %s...", "MAIN port", 1}, {"Scanning AUX on %s...", "AUX port", 2}};
        for (const Branch& b : branches) {
            std::string text = Format(b.text, coupler->Description.c_str());
            Microlan::Log("SERVER: " + text);
            listener.SetCaption(text);
            TTreeNode* branchNode = listener.AddNode(couplerNode, b.node, nullptr, ScanImage::Branch);
            coupler->Switch(b.command);
            ScanFamilies(listener, coupler->Rom, b.command, branchNode);
            coupler->Switch(0);
            progress += step / 2;
            listener.SetProgress(progress);
        }
    }
    listener.SetProgress(100);
    listener.SetCaption(Format("Finished, %d devices found", SensorSet().DeviceCount));
    listener.Finished();
}

void ReportMissingSerials(const platform::TStringList& missing) {
    for (int i = 0; i < missing.Count() && !missing[i].empty(); ++i) {
        const std::string& serial = missing[i];
        SensorType type = LookupSensorType(serial);
        if (type == stUnknown || type == stWindSpeed) continue;
        if (type == stWindDirection && SensorSet().WindSensor &&
            SensorSet().WindSensor->LoadDirectionSerial()) {
            Microlan::Log(
                Format("SERVER: Loading %s sensor %s from file", SensorTypeNames[type], serial.c_str()));
            continue;
        }
        Microlan::Log(Format("WARNING: Missing %s sensor %s!", SensorTypeNames[type], serial.c_str()));
    }
}

void FreeSensors() {
    // What a sensor counted to tell less often and has not told yet would go with it.
    for (DS1820* thermometer : SensorSet().DS1820Sensors)
        thermometer->EndRuns();
    for (DS2423* counter : SensorSet().CounterSensors)
        counter->EndRuns();
    for (DS2409* coupler : SensorSet().Couplers)
        coupler->Switch(0);
    ClearSensorTables();
    windNode = tai8570Node = nullptr;
}
