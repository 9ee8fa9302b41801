// Publishing's row of each kind.
#include "publish/PublishKinds.h"

namespace publish {

namespace {

PublishKind Row(const char* kind, std::function<std::string(TPublishContext&)> xml, int xmlOrder,
                std::function<void(StatusPageWriter&)> page, int pageOrder,
                std::function<void(StatusPageWriter&)> temperatureRows, int temperatureOrder,
                std::function<std::optional<std::string>(const std::string&)> tag, int tagOrder,
                std::function<void(DdeItemMaker&)> dde, int ddeOrder) {
    PublishKind row;
    row.kind = kind;
    row.xml = std::move(xml);
    row.xmlOrder = xmlOrder;
    row.page = std::move(page);
    row.pageOrder = pageOrder;
    row.temperatureRows = std::move(temperatureRows);
    row.temperatureOrder = temperatureOrder;
    row.tag = std::move(tag);
    row.tagOrder = tagOrder;
    row.dde = std::move(dde);
    row.ddeOrder = ddeOrder;
    return row;
}

} // namespace

KindRegistry<PublishKind>& PublishKinds() {
    // Each row: weather.xml section, status-page block, temperature rows, tags and DDE items, each with
    // its order.
    static KindRegistry<PublishKind> kinds({
        Row("Thermometers", ThermometersXml, 1, ThermometersPage, 3, nullptr, 0, nullptr, 0, ThermometersDde,
            4),
        Row("Humidity", HumidityXml, 2, HumidityPage, 5, HumidityTemperatureRows, 4, HumidityTag, 2,
            HumidityDde, 8),
        Row("Wind", WindXml, 3, WindPage, 1, nullptr, 0, nullptr, 0, WindDde, 1),
        Row("Rain", RainXml, 4, RainPage, 2, nullptr, 0, nullptr, 0, RainDde, 2),
        Row("Barometer", BarometerXml, 5, BarometerPage, 6, BarometerTemperatureRows, 2, nullptr, 0,
            BarometerDde, 3),
        Row("DS2423", CountersXml, 6, CountersPage, 4, nullptr, 0, DS2423Tag, 4, DS2423Dde, 6),
        Row("DS2438", DS2438Xml, 7, nullptr, 0, DS2438TemperatureRows, 3, DS2438Tag, 3, DS2438Dde, 9),
        Row("DS2450", DS2450Xml, 8, nullptr, 0, nullptr, 0, DS2450Tag, 5, DS2450Dde, 7),
        Row("DS1820", nullptr, 0, nullptr, 0, DS1820TemperatureRows, 1, DS1820Tag, 1, DS1820Dde, 5),
    });
    return kinds;
}

} // namespace publish
