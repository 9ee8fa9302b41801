// The XML weather document.
#include "publish/WeatherXml.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "net/Httpsrv.h"
#include "onewire/Barometer.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WeatherCalc.h"
#include "onewire/WindData.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "publish/PageFormats.h"
#include "publish/PublishContext.h"
#include "publish/PublishKinds.h"
#include "publish/RainFigures.h"
#include "publish/TextMode.h"
#include "publish/WindFigures.h"
#include "station/PublishingHost.h"

using platform::Format;

namespace publish {

std::string XmlElement(const char* name, const std::string& text) {
    return Format("<%s>", name) + XmlText(text) + Format("</%s>\n", name);
}

std::string XmlValueBlock(const char* name, const char* format, double value) {
    return Format("<%s>\n<value>", name) + Format(format, value) + Format("</value>\n</%s>\n", name);
}

// "<max>" or "<min>" with the value and the hour and minute of its time record.
std::string XmlMarkBlock(const char* name, const char* format, double value, const uint8_t* time) {
    return Format("<%s>\n<value>", name) + Format(format, value) + "</value>\n<time>" + HourMinute(time) +
           Format("</time>\n</%s>\n", name);
}

namespace {

std::string Header(TPublishContext& context, bool includeXSL) {
    std::string xml = "<?xml version='1.0'?>\n";
    if (includeXSL) xml += "<?xml:stylesheet type='text/xsl' href='weather.xsl'?>\n";
    xml += "<weather>\n";
    // Date and time of one reading, so that a stamp just after midnight never mixes two days.
    platform::LocalTime now = platform::Clock::Get().Now();
    platform::DosTime stamp;
    stamp.ti_hour = now.hour;
    stamp.ti_min = now.minute;
    stamp.ti_sec = now.second;
    stamp.ti_hund = now.hundredths;
    context.Station.SetCurrentTime(stamp);
    xml += Format("<timestamp>\n<year>%d</year>\n<month>%d</month>\n<day>%d</day>\n"
                  "<time>%02d:%02d:%02d</time>\n</timestamp>\n",
                  now.year, now.month, now.day, now.hour, now.minute, now.second);
    xml += "<provider>\n<name>Korvane " + XmlText(context.Build()) + "</name>\n</provider>\n";
    return xml;
}

std::string UnitLetter(const Temperature& t) {
    return t.Celsius ? "C" : "F";
}

} // namespace

// A section lists the sensors whose values are current, and is left out, as for a station without
// them, when none is.
std::string ThermometersXml(TPublishContext&) {
    std::string xml;
    for (Temperature* t : CurrentSensors(SensorSet().TemperatureSensors)) {
        uint8_t high[4] = {}, low[4] = {};
        double max = t->GetMaxTemperature(high);
        double min = t->GetMinTemperature(low);
        xml += "<temperature>\n" + XmlElement("unit", UnitLetter(*t)) +
               XmlElement("description", t->TempDescription) +
               XmlValueBlock("current", "%2.1f", t->InUnit(t->temp.value)) +
               XmlMarkBlock("max", "%2.1f", max, high) + XmlMarkBlock("min", "%2.1f", min, low) +
               "</temperature>\n";
    }
    return xml.empty() ? xml : "<temperatures>\n" + xml + "</temperatures>\n";
}

std::string HumidityXml(TPublishContext&) {
    std::string xml;
    for (Humidity* h : CurrentSensors(SensorSet().HumiditySensors)) {
        uint8_t high[4] = {}, low[4] = {};
        double max = h->GetMaxAt(high);
        double min = h->GetMinAt(low);
        xml += "<humidity>\n<unit>%</unit>\n" + XmlElement("description", h->HumDescription) +
               XmlValueBlock("current", "%2.1f", h->GetValue()) +
               XmlValueBlock("dewpoint", "%2.1f", h->InUnit(h->dewpoint.value)) +
               XmlValueBlock("heatindex", "%2.1f",
                             h->InUnit(ShownHeatIndex(h->heatindex.value, h->temp.value, h->GetValue()))) +
               XmlMarkBlock("max", "%2.1f", max, high) + XmlMarkBlock("min", "%2.1f", min, low) +
               "</humidity>\n";
    }
    return xml.empty() ? xml : "<humiditys>\n" + xml + "</humiditys>\n";
}

std::string WindXml(TPublishContext& context) {
    const std::optional<TWindNow> now = context.Station.Readings().Wind();
    if (!now) return {};
    WindData& wind = *now->Sensor;
    auto speed = [&](const char* name, float revolutions) {
        return Format("<%s>\n<value>%2.1f</value>\n", name,
                      static_cast<double>(wind.ConvertSpeed(revolutions))) +
               XmlElement("name", BeaufortNameOf(wind, revolutions));
    };
    auto direction = [](int degrees, const char* name) {
        return Format("<dirdeg>%d</dirdeg>\n", degrees) + XmlElement("dirname", name);
    };
    const int index = CurrentCompassIndex(wind);
    int hour = 0, minute = 0;
    float max = wind.GetMaxSpeed(hour, minute);
    std::string xml = "<wind>\n" + XmlElement("unit", wind.GetUnit());
    xml +=
        speed("current", wind.Speed) + direction(CompassDegrees(index), CompassName(index)) + "</current>\n";
    xml += speed("minuteavg", wind.MinAvgSpeed) + "</minuteavg>\n";
    // A prevailing direction of no value leaves its elements empty.
    xml += "<tenminuteavg>\n" +
           (now->Prevailing ? direction(wind.CalculateDirection(), CompassName(wind.GetCompassPoint()))
                            : std::string("<dirdeg></dirdeg>\n<dirname></dirname>\n")) +
           "</tenminuteavg>\n";
    xml += speed("houravg", wind.HourAvgSpeed) + "</houravg>\n";
    xml += speed("dayavg", wind.DayAvgSpeed) + "</dayavg>\n";
    xml += speed("gust", wind.Gust) + "</gust>\n";
    xml += Format("<max>\n<value>%2.1f</value>\n", static_cast<double>(max)) +
           XmlElement("name", BeaufortNameOf(wind, wind.MaxSpeed)) +
           Format("<time>%02d:%02d</time>\n", hour, minute) +
           direction(CompassDegrees(wind.MaxSpeedDir), CompassName(wind.MaxSpeedDir)) + "</max>\n";
    return xml + "</wind>\n";
}

std::string RainXml(TPublishContext& context) {
    const std::optional<TRainNow> now = context.Station.Readings().Rain();
    if (!now) return {};
    const RainFigures rain = RainFiguresOf(*now->Gauge);
    context.LogOnce(rain.Fault);
    return "<rain>\n" + XmlElement("unit", rain.Unit) + Format("<rate>%2.2f</rate>\n", rain.Rate) +
           Format("<lasthour>%2.2f</lasthour>\n", rain.LastHour) +
           Format("<today>%2.2f</today>\n", rain.Today) + Format("<week>%2.2f</week>\n", rain.Week) +
           Format("<month>%2.2f</month>\n", rain.Month) + "</rain>\n";
}

std::string BarometerXml(TPublishContext& context) {
    const std::optional<TBarometerNow> now = context.Station.Readings().Pressure();
    if (!now) return {};
    Barometer& b = *now->Sensor;
    uint8_t high[4] = {}, low[4] = {};
    double max = b.GetMaxAt(high);
    double min = b.GetMinAt(low);
    return "<barometer>\n" + XmlElement("unit", b.GetUnit()) +
           XmlValueBlock("current", "%2.2f", b.GetValue()) +
           XmlValueBlock("rate", "%2.2f", b.ConvertPressure(b.RatePerHour())) +
           XmlValueBlock("today", "%2.2f", b.ConvertPressure(b.baro.value - b.today_baro)) +
           XmlMarkBlock("max", "%2.2f", max, high) + XmlMarkBlock("min", "%2.2f", min, low) +
           "</barometer>\n";
}

namespace {

std::string Counter(DS2423& counter, const std::string& description) {
    return "<DS2423>\n" + XmlElement("description", description) +
           Format("<current>\n<value>%u</value>\n</current>\n", static_cast<uint32_t>(counter.RunningCounter)) +
           XmlValueBlock("countsprsecond", "%3.1f", counter.CountRate) +
           Format("<countsprminute>\n<value>%d</value>\n</countsprminute>\n",
                  static_cast<int>(counter.CountsPerMinute())) +
           Format("<countsprhour>\n<value>%d</value>\n</countsprhour>\n",
                  static_cast<int>(counter.CountsPerHour())) +
           "</DS2423>\n";
}

} // namespace

// The wind's and the rain gauge's counters follow the plain ones, which the section needs.
std::string CountersXml(TPublishContext& context) {
    std::string xml;
    for (DS2423* c : CurrentSensors(SensorSet().DS2423Sensors))
        xml += Counter(*c, c->Description);
    if (xml.empty()) return {};
    const TCurrentReadings& now = context.Station.Readings();
    if (const std::optional<TWindNow> wind = now.Wind()) xml += Counter(*wind->Sensor, "Windspeed");
    if (const std::optional<TRainNow> rain = now.Rain()) xml += Counter(*rain->Gauge, "RainGauge");
    return "<DS2423S>\n" + xml + "</DS2423S>\n";
}

std::string DS2438Xml(TPublishContext&) {
    std::string xml;
    for (DS2438* d : CurrentSensors(SensorSet().DS2438Sensors)) {
        auto block = [](const char* name, const char* unit, const std::string& description, double current,
                        double (DS2438::*maxOf)(uint8_t*), double (DS2438::*minOf)(uint8_t*),
                        DS2438& sensor) {
            uint8_t high[4] = {}, low[4] = {};
            double max = (sensor.*maxOf)(high);
            double min = (sensor.*minOf)(low);
            return Format("<%s>\n", name) + XmlElement("unit", unit) +
                   XmlElement("description", description) + XmlValueBlock("current", "%2.2f", current) +
                   XmlMarkBlock("max", "%2.2f", max, high) + XmlMarkBlock("min", "%2.2f", min, low) +
                   Format("</%s>\n", name);
        };
        xml += "<DS2438>\n";
        xml += block("VAD", "V", d->VADDescription, d->VAD.value, &DS2438::GetMaxVAD, &DS2438::GetMinVAD, *d);
        xml += block("VDD", "V", "Power supply", d->VDD.value, &DS2438::GetMaxVDD, &DS2438::GetMinVDD, *d);
        xml += block("VSENS", "V", d->VSENSDescription, d->VSENS.value, &DS2438::GetMaxVSENS,
                     &DS2438::GetMinVSENS, *d);
        xml += block("temperature", UnitLetter(*d).c_str(), d->TempDescription, d->InUnit(d->temp.value),
                     &Temperature::GetMaxTemperature, &Temperature::GetMinTemperature, *d);
        xml += "</DS2438>\n";
    }
    return xml.empty() ? xml : "<DS2438S>\n" + xml + "</DS2438S>\n";
}

std::string DS2450Xml(TPublishContext&) {
    std::string xml;
    for (DS2450* d : CurrentSensors(SensorSet().DS2450Sensors)) {
        xml += "<DS2450>\n<unit>V</unit>\n";
        for (int channel = 0; channel < DS2450::kChannels; ++channel) {
            const char letter = static_cast<char>('A' + channel);
            uint8_t high[4] = {}, low[4] = {};
            double max = d->GetMaxValue(channel, high);
            double min = d->GetMinValue(channel, low);
            xml += Format("<channel%c>\n", letter) + XmlElement("description", d->Description[channel]) +
                   XmlValueBlock("current", "%2.2f", d->Value[channel]) +
                   XmlMarkBlock("max", "%2.2f", max, high) + XmlMarkBlock("min", "%2.2f", min, low) +
                   Format("</channel%c>\n", letter);
        }
        xml += "</DS2450>\n";
    }
    return xml.empty() ? xml : "<DS2450S>\n" + xml + "</DS2450S>\n";
}

std::string XmlText(const std::string& text) {
    const std::string escaped = net::HtmlEscape(text);
    std::string out;
    out.reserve(escaped.size());
    for (char c : escaped) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x80)
            out += Format("&#x%02X;", u);
        else if (u >= 0x20 || c == '\t')
            out += c; // other control characters have no place in XML 1.0
    }
    return out;
}

std::string BuildXML(TPublishContext& context, bool includeXSL) {
    std::string xml;
    auto section = [&](auto&& build) {
        std::string text;
        if (context.Station.Logged({"Error creating XML: ", "Error creating XML"}, [&] { text = build(); }))
            xml += text;
    };
    section([&] { return Header(context, includeXSL); });
    for (const PublishKind* kind : PublishKinds().By(&PublishKind::xmlOrder)) {
        if (!kind->xml) continue;
        xml += "\n";
        section([&] { return kind->xml(context); });
    }
    return xml + "</weather>";
}

int WriteWeatherXML(TPublishContext& context, bool includeXSL) {
    // The file goes through a temporary one, so a failure leaves the earlier weather.xml as it was. A
    // file that could not be made is answered 0, as a path that cannot be opened; one that was made but
    // could not be written out (a full disk) is the failed close, EOF.
    const int error = platform::ReplaceWholeFile(context.Station.Settings().HTMLDir + "/weather.xml",
                                                 ToTextMode(BuildXML(context, includeXSL)));
    const bool writing = error == ENOSPC || error == EDQUOT || error == EIO || error == EFBIG;
    return writing ? EOF : 0;
}

} // namespace publish
