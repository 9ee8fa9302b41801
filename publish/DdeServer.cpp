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
#include "publish/PublishKinds.h"
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

namespace {

// Each item is in its field or list before it registers, so that a failed start frees it too.
class ItemMaker final : public publish::DdeItemMaker {
public:
    explicit ItemMaker(TPublishingHost& station) : station_(station) {}

    TDdeItems& Items() override { return station_.DdeItems(); }
    void Make(TDdeServerItem*& field, const std::string& name) override { Made(field, name, true); }
    void Add(std::vector<TDdeServerItem*>& list, const std::string& name) override {
        list.push_back(nullptr);
        if (!name.empty()) Make(list.back(), name);
    }
    void Made(TDdeServerItem*& field, const std::string& name, bool listed) {
        field = new TDdeServerItem(station_.CommandOwner(), name);
        field->SetServerConv(station_.DdeItems().DDEServerConv);
        if (listed) station_.DdeItems().DDEItems->AddLine(name);
    }

private:
    TPublishingHost& station_;
};

} // namespace

void TDdeServer::CreateItems() {
    TDdeItems& dde = station_.DdeItems();
    dde.DDEServerConv = new TDdeServerConv(station_.CommandOwner(), "Weather");
    ItemMaker maker(station_);
    maker.Made(dde.DDEItems, "DDEItems", false);
    maker.Made(dde.DDEWeather, "DDEWeather", false);
    for (const publish::PublishKind* kind : publish::PublishKinds().By(&publish::PublishKind::ddeOrder))
        if (kind->dde) kind->dde(maker);
}

namespace publish {

void WindDde(DdeItemMaker& maker) {
    if (!SensorSet().WindPresent || !SensorSet().WindSensor) return;
    TDdeItems& dde = maker.Items();
    maker.Make(dde.DDEWindSpeed, "DDEWindSpeed");
    maker.Make(dde.DDEWindspeedAVGMin, "DDEWindspeedAVGMin");
    maker.Make(dde.DDEWindspeedAVGHour, "DDEWindspeedAVGHour");
    maker.Make(dde.DDEWindDirection, "DDEWindDirection");
    maker.Make(dde.DDEWindDirAVG, "DDEWindDirAVG");
}

void RainDde(DdeItemMaker& maker) {
    if (!SensorSet().RainPresent || !SensorSet().RainSensor) return;
    TDdeItems& dde = maker.Items();
    maker.Make(dde.DDERainToday, "DDERainToday");
    maker.Make(dde.DDERainRate, "DDERainRate");
    maker.Make(dde.DDERainCounter, "DDERainCounter");
}

void BarometerDde(DdeItemMaker& maker) {
    if (SensorSet().BarometerPresent && SensorSet().BarometerSensor)
        maker.Make(maker.Items().DDEBarometer, "DDEBarometer");
}

// The items of the main temperature, while any temperature-capable sensor is there.
void ThermometersDde(DdeItemMaker& maker) {
    if (SensorSet().TemperatureSensors.Count() == 0) return;
    maker.Make(maker.Items().DDETemperature, "DDETemperature");
    maker.Make(maker.Items().DDEWindChill, "DDEWindChill");
}

void DS1820Dde(DdeItemMaker& maker) {
    for (DS1820* sensor : SensorSet().DS1820Sensors)
        maker.Add(maker.Items().DS1820Items, DdeNameOf(sensor));
}

void DS2423Dde(DdeItemMaker& maker) {
    for (DS2423* sensor : SensorSet().DS2423Sensors)
        maker.Add(maker.Items().DS2423Items, DdeNameOf(sensor));
}

void DS2450Dde(DdeItemMaker& maker) {
    for (DS2450* sensor : SensorSet().DS2450Sensors)
        for (const char* channel : kDS2450ItemSuffixes)
            maker.Add(maker.Items().DS2450Items, sensor ? MakeDDEItemName(*sensor) + channel : std::string());
}

void HumidityDde(DdeItemMaker& maker) {
    if (SensorSet().HumiditySensors.Count() > 0) maker.Make(maker.Items().DDEHumidity, "DDEHumidity");
    for (Humidity* sensor : SensorSet().HumiditySensors)
        for (const char* part : kHumidityItemSuffixes)
            maker.Add(maker.Items().HumidityItems, sensor ? sensor->DDEName + part : std::string());
}

void DS2438Dde(DdeItemMaker& maker) {
    for (DS2438* sensor : SensorSet().DS2438Sensors)
        for (const char* part : kDS2438ItemSuffixes)
            maker.Add(maker.Items().DS2438Items, sensor ? sensor->DDEName + part : std::string());
}

} // namespace publish

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
