#include "publish/DdeServer.h"

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "station/PublishingHost.h"

using platform::TDdeServerConv;
using platform::TDdeServerItem;

namespace {

// The DDE name of a table's sensor, or empty for a free entry.
template <class Sensor> std::string DdeNameOf(Sensor* sensor) {
    return sensor ? sensor->DDEName : std::string();
}

} // namespace

TDdeServer::~TDdeServer() {
    FreeItems();
}

void TDdeServer::StartDDEServices() {
    station_.SetServiceRunning(TPublishingService::DDE, false);
    FreeItems(); // nothing should be left; a start always begins from none
    if (!startFailures_.Run(station_,
                            {"SERVER: DDE Initialization error: ", "SERVER: DDE Initialization error"},
                            [&] { CreateItems(); })) {
        FreeItems();
        return;
    }
    startFailures_.Succeeded();
    station_.SetServiceRunning(TPublishingService::DDE, true);
    station_.LogStatus("SERVER: DDE services started");
}

void TDdeServer::StopDDEServices() {
    if (!station_.ServiceRunning(TPublishingService::DDE)) return;
    station_.Logged({"SERVER: DDE cleanup error: ", "SERVER: DDE cleanup error"}, [&] {
        station_.LogStatus("SERVER: DDE services shutting down");
        station_.SetServiceRunning(TPublishingService::DDE, false);
        FreeItems();
    });
}

void TDdeServer::CreateItems() {
    TDdeItems& dde = station_.DdeItems();
    dde.DDEServerConv = new TDdeServerConv(station_.CommandOwner(), "Weather");
    // Each item is in its field or list before it registers, so that a failed start frees it too.
    auto make = [&](TDdeServerItem*& field, const std::string& name, bool listed) {
        field = new TDdeServerItem(station_.CommandOwner(), name);
        field->SetServerConv(dde.DDEServerConv);
        if (listed) dde.DDEItems->AddLine(name);
    };
    auto add = [&](std::vector<TDdeServerItem*>& list, const std::string& name) {
        list.push_back(nullptr);
        if (!name.empty()) make(list.back(), name, true);
    };
    make(dde.DDEItems, "DDEItems", false);
    make(dde.DDEWeather, "DDEWeather", false);
    if (WindPresent && WindSensor) {
        make(dde.DDEWindSpeed, "DDEWindSpeed", true);
        make(dde.DDEWindspeedAVGMin, "DDEWindspeedAVGMin", true);
        make(dde.DDEWindspeedAVGHour, "DDEWindspeedAVGHour", true);
        make(dde.DDEWindDirection, "DDEWindDirection", true);
        make(dde.DDEWindDirAVG, "DDEWindDirAVG", true);
    }
    if (RainPresent && RainSensor) {
        make(dde.DDERainToday, "DDERainToday", true);
        make(dde.DDERainRate, "DDERainRate", true);
        make(dde.DDERainCounter, "DDERainCounter", true);
    }
    if (BarometerPresent && BarometerSensor) make(dde.DDEBarometer, "DDEBarometer", true);
    bool temperatures = DS1820Sensors.Count() > 0 || HumiditySensors.Count() > 0 ||
                        DS2438Sensors.Count() > 0 || (BarometerPresent && BarometerSensor);
    if (temperatures) {
        make(dde.DDETemperature, "DDETemperature", true);
        make(dde.DDEWindChill, "DDEWindChill", true);
    }
    for (DS1820* sensor : DS1820Sensors)
        add(dde.DS1820Items, DdeNameOf(sensor));
    for (DS2423* sensor : DS2423Sensors)
        add(dde.DS2423Items, DdeNameOf(sensor));
    for (DS2450* sensor : DS2450Sensors)
        for (const char* channel : {"A", "B", "C", "D"})
            add(dde.DS2450Items, sensor ? MakeDDEItemName(*sensor) + channel : std::string());
    if (HumiditySensors.Count() > 0) make(dde.DDEHumidity, "DDEHumidity", true);
    for (Humidity* sensor : HumiditySensors)
        for (const char* part : {"H", "T"})
            add(dde.HumidityItems, sensor ? sensor->DDEName + part : std::string());
    for (DS2438* sensor : DS2438Sensors)
        for (const char* part : {"V", "T"})
            add(dde.DS2438Items, sensor ? sensor->DDEName + part : std::string());
}

void TDdeServer::FreeItems() {
    TDdeItems& dde = station_.DdeItems();
    for (auto* list :
         {&dde.DS1820Items, &dde.DS2423Items, &dde.DS2450Items, &dde.HumidityItems, &dde.DS2438Items})
        for (TDdeServerItem* item : *list)
            delete item;
    for (TDdeServerItem* item :
         {dde.DDEWindSpeed, dde.DDEWindspeedAVGMin, dde.DDEWindspeedAVGHour, dde.DDEWindDirection,
          dde.DDEWindDirAVG, dde.DDERainToday, dde.DDERainRate, dde.DDERainCounter, dde.DDEBarometer,
          dde.DDETemperature, dde.DDEWindChill, dde.DDEHumidity, dde.DDEItems, dde.DDEWeather})
        delete item;
    delete dde.DDEServerConv;
    dde = TDdeItems{};
}
