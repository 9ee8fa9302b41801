#pragma once
// What publishing shows of each kind of sensor, one row per kind, keyed by the kind's name in the
// sensor set (onewire/SensorKinds.h); a row may also stand for a group that spans kinds ("Thermometers":
// every temperature-capable sensor). A row's parts: its section of weather.xml, its block of the status
// page and its rows in the page's temperature block, its template tags and its DDE items. Each part is
// walked in its own order field and checks itself whether its sensors are there; a null part is none.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "onewire/KindRegistry.h"

class Temperature;
struct TDdeItems;
namespace platform {
class TDdeServerItem;
}

namespace publish {

class TPublishContext;

// What a block of the status page writes with: the page text and its table's width and font size.
class StatusPageWriter {
public:
    virtual std::string& Out() = 0;
    virtual int Width() const = 0;
    virtual int FontSize() const = 0;
    virtual TPublishContext& Context() = 0;
    // The opening of a block's table, a column head, a link shown when graph links are on.
    virtual std::string OpenBlock() const = 0;
    virtual std::string Head(const char* name) const = 0;
    virtual std::string Link(const char* html) const = 0;
    // A sensor's row in the temperature block.
    virtual void TemperatureRow(Temperature& t) = 0;

protected:
    ~StatusPageWriter() = default;
};

// How the DDE service makes items: a field of its own, or an entry of a per-sensor list (an empty name
// keeps the list's indexes in step with a table's free entry). Every item made is listed in DDEItems.
class DdeItemMaker {
public:
    virtual TDdeItems& Items() = 0;
    virtual void Make(platform::TDdeServerItem*& field, const std::string& name) = 0;
    virtual void Add(std::vector<platform::TDdeServerItem*>& list, const std::string& name) = 0;

protected:
    ~DdeItemMaker() = default;
};

struct PublishKind {
    std::string kind;
    // Its section of weather.xml (empty: none now).
    std::function<std::string(TPublishContext&)> xml;
    int xmlOrder = 0;
    // Its block of the status page.
    std::function<void(StatusPageWriter&)> page;
    int pageOrder = 0;
    // Its rows in the page's temperature block, which the page shows while a kind with rows has objects.
    std::function<void(StatusPageWriter&)> temperatureRows;
    int temperatureOrder = 0;
    // The value of a template tag of one of its sensors, or nothing when the name is none of them.
    std::function<std::optional<std::string>(const std::string& name)> tag;
    int tagOrder = 0;
    // Its DDE items.
    std::function<void(DdeItemMaker&)> dde;
    int ddeOrder = 0;
};

KindRegistry<PublishKind>& PublishKinds();

// Pieces of weather.xml for a kind's section: an element with text, a "<name><value>" block and a
// "<max>"/"<min>" block with the hour and minute of its time record.
std::string XmlElement(const char* name, const std::string& text);
std::string XmlValueBlock(const char* name, const char* format, double value);
std::string XmlMarkBlock(const char* name, const char* format, double value, const uint8_t* time);

// The built-in parts, beside the pages they belong to.
std::string ThermometersXml(TPublishContext& context);
std::string HumidityXml(TPublishContext& context);
std::string WindXml(TPublishContext& context);
std::string RainXml(TPublishContext& context);
std::string BarometerXml(TPublishContext& context);
std::string CountersXml(TPublishContext& context);
std::string DS2438Xml(TPublishContext& context);
std::string DS2450Xml(TPublishContext& context);

void WindPage(StatusPageWriter& page);
void RainPage(StatusPageWriter& page);
void ThermometersPage(StatusPageWriter& page);
void CountersPage(StatusPageWriter& page);
void HumidityPage(StatusPageWriter& page);
void BarometerPage(StatusPageWriter& page);
void DS1820TemperatureRows(StatusPageWriter& page);
void BarometerTemperatureRows(StatusPageWriter& page);
void DS2438TemperatureRows(StatusPageWriter& page);
void HumidityTemperatureRows(StatusPageWriter& page);

std::optional<std::string> DS1820Tag(const std::string& name);
std::optional<std::string> HumidityTag(const std::string& name);
std::optional<std::string> DS2438Tag(const std::string& name);
std::optional<std::string> DS2423Tag(const std::string& name);
std::optional<std::string> DS2450Tag(const std::string& name);

void WindDde(DdeItemMaker& maker);
void RainDde(DdeItemMaker& maker);
void BarometerDde(DdeItemMaker& maker);
void ThermometersDde(DdeItemMaker& maker);
void DS1820Dde(DdeItemMaker& maker);
void DS2423Dde(DdeItemMaker& maker);
void DS2450Dde(DdeItemMaker& maker);
void HumidityDde(DdeItemMaker& maker);
void DS2438Dde(DdeItemMaker& maker);

} // namespace publish
