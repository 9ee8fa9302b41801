// The template pages: the run over the template folder, the plain tags and "Create HTMLs".
#include "publish/Templates.h"

#include <optional>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/FloatFormat.h"
#include "platform/Strings.h"
#include "publish/PageFormats.h"
#include "publish/PublishContext.h"
#include "publish/RainFigures.h"
#include "publish/SensorTags.h"
#include "publish/StatusPage.h"
#include "publish/TemplateScanner.h"
#include "publish/TextMode.h"
#include "publish/WindFigures.h"
#include "station/PublishingHost.h"

using platform::Format;
using platform::FormatFloat;

namespace publish {

namespace {

using Answer = std::optional<std::string>;

std::string HourMinute(const platform::DosTime& time) {
    return Format("%02d:%02d", time.ti_hour, time.ti_min);
}

// A derived value while current, in the station's unit; "(n/a)" otherwise.
std::string DerivedTag(const std::optional<TDerivedNow>& value) {
    return value ? FormatFloat("0.0", value->InUnit) : "(n/a)";
}

Answer AlwaysTag(TPublishContext& context, const std::string& name) {
    auto is = [&](const char* tag) { return platform::SameText(name, tag); };
    if (is("Time")) return platform::DateTimeToStr(platform::Now());
    if (is("Sunrise")) return context.Station.SunriseText();
    if (is("Sunset")) return context.Station.SunsetText();
    return std::nullopt;
}

// A group whose readings are not current answers no tag: "(n/a)", as without its sensor.
Answer WindTag(const TCurrentReadings& readings, const std::string& name) {
    const std::optional<TWindNow> now = readings.Wind();
    if (!now) return std::nullopt;
    WindData& wind = *now->Sensor;
    auto is = [&](const char* tag) { return platform::SameText(name, tag); };
    auto speed = [&](float revolutions) { return FormatFloat("0.0", wind.ConvertSpeed(revolutions)); };
    const int index = readings.WindDirectionIndex;
    if (is("WindSpeed")) return speed(wind.Speed);
    if (is("WindSpeedGust")) return speed(wind.Gust);
    if (is("WindSpeedMax")) return speed(wind.MaxSpeed);
    if (is("WindSpeedMaxAt")) {
        int hour = 0, minute = 0;
        wind.GetMaxSpeed(hour, minute);
        return Format("%02d:%02d", hour, minute);
    }
    if (is("WindSpeedAVGMin")) return speed(wind.MinAvgSpeed);
    if (is("WindSpeedAVGHour")) return speed(wind.HourAvgSpeed);
    if (is("WindSpeedAVGDay")) return speed(wind.DayAvgSpeed);
    if (is("WindDirectionName")) return CompassName(index);
    if (is("WindDirection")) return FormatFloat("000", index * 22.5);
    if (is("WindAvgDirectionName")) return now->Prevailing ? CompassName(wind.GetCompassPoint()) : "(n/a)";
    if (is("WindAvgDirection"))
        return now->Prevailing ? FormatFloat("000", wind.CalculateDirection()) : "(n/a)";
    if (is("WindMaxDirection")) return FormatFloat("000", wind.MaxSpeedDir * 22.5);
    if (is("WindMaxDirectionName")) return CompassName(wind.MaxSpeedDir);
    if (is("WindChill")) return DerivedTag(readings.WindChill());
    return std::nullopt;
}

Answer RainTag(TPublishContext& context, const std::string& name) {
    const std::optional<TRainNow> now = context.Station.Readings().Rain();
    if (!now) return std::nullopt;
    auto is = [&](const char* tag) { return platform::SameText(name, tag); };
    const RainFigures rain = RainFiguresOf(*now->Gauge);
    auto amount = [&](double value, bool usable) -> std::string {
        if (usable) return Format("%3.2f", value);
        context.LogOnce(rain.Fault);
        return "(n/a)";
    };
    if (is("RainToday")) return amount(rain.Today, rain.Usable);
    if (is("RainWeek")) return amount(rain.Week, rain.Usable);
    if (is("RainMonth")) return amount(rain.Month, rain.Usable);
    if (is("RainRate")) return amount(rain.Rate, rain.RateUsable);
    if (is("RainTotal")) return amount(rain.Total, rain.Usable);
    return std::nullopt;
}

Answer TemperatureTag(const TCurrentReadings& readings, const std::string& name) {
    const std::optional<TTemperatureNow> now = readings.MainTemperature();
    if (!now) return std::nullopt;
    auto is = [&](const char* tag) { return platform::SameText(name, tag); };
    if (is("TemperatureMax")) return FormatFloat("0.0", now->Max);
    if (is("TemperatureMaxAt")) return HourMinute(now->MaxTime);
    if (is("TemperatureMin")) return FormatFloat("0.0", now->Min);
    if (is("TemperatureMinAt")) return HourMinute(now->MinTime);
    if (is("Temperature")) return FormatFloat("0.0", now->InUnit);
    return std::nullopt;
}

Answer HumidityTag(const TCurrentReadings& readings, const std::string& name) {
    const std::optional<THumidityNow> now = readings.MainHumidity();
    if (!now) return std::nullopt;
    auto is = [&](const char* tag) { return platform::SameText(name, tag); };
    // The marks' times are the main humidity sensor's.
    auto markTime = [&](bool high) -> std::string {
        uint8_t time[4] = {};
        high ? now->Sensor->GetMaxAt(time) : now->Sensor->GetMinAt(time);
        return publish::HourMinute(time);
    };
    if (is("HumidityMax")) return FormatFloat("00", now->Max);
    if (is("HumidityMaxAt")) return markTime(true);
    if (is("HumidityMin")) return FormatFloat("00", now->Min);
    if (is("HumidityMinAt")) return markTime(false);
    if (is("Humidity")) return FormatFloat("00", now->Percent);
    if (is("Dewpoint")) return DerivedTag(readings.Dewpoint());
    if (is("HeatIndex")) return DerivedTag(readings.HeatIndex());
    return std::nullopt;
}

Answer BarometerTag(const TCurrentReadings& readings, const std::string& name) {
    const std::optional<TBarometerNow> now = readings.Pressure();
    if (!now) return std::nullopt;
    Barometer& barometer = *now->Sensor;
    auto is = [&](const char* tag) { return platform::SameText(name, tag); };
    const char* mask = barometer.Metric == 1 ? "0.0" : "0.00";
    auto markTime = [&](bool high) {
        uint8_t time[4] = {};
        high ? barometer.GetMaxAt(time) : barometer.GetMinAt(time);
        return publish::HourMinute(time);
    };
    if (is("BarometerRate")) return FormatFloat("0.00", barometer.ConvertPressure(barometer.RatePerHour()));
    if (is("BarometerMax")) return FormatFloat(mask, now->Max);
    if (is("BarometerMaxAt")) return markTime(true);
    if (is("BarometerMin")) return FormatFloat(mask, now->Min);
    if (is("BarometerMinAt")) return markTime(false);
    if (is("Barometer")) return FormatFloat(mask, now->Value);
    return BarometerTagValue(name);
}

Answer PlainTag(TPublishContext& context, const std::string& name) {
    if (Answer a = AlwaysTag(context, name)) return a;
    const TCurrentReadings& now = context.Station.Readings();
    if (Answer a = WindTag(now, name)) return a;
    if (Answer a = RainTag(context, name)) return a;
    if (Answer a = TemperatureTag(now, name)) return a;
    if (Answer a = HumidityTag(now, name)) return a;
    return BarometerTag(now, name);
}

} // namespace

std::string TemplateTagValue(TPublishContext& context, const std::string& tagString) {
    const std::string name = tagString.size() > 3 ? tagString.substr(3) : std::string();
    std::string value; // a tag whose value raises is left empty
    platform::CatchAndLog(
        {"HTML: (TAG: " + name + ") Error: ", "HTML: (TAG: " + name + ") Error: (unknown)"},
        [&](const std::string& line) { context.Log(line); },
        [&] {
            Answer answer = PlainTag(context, name);
            if (!answer) answer = SensorTagValue(name);
            value = answer ? *answer : "(n/a)";
        });
    return value;
}

bool ProcessTemplates(TPublishContext& context) {
    TPublishingHost& station = context.Station;
    bool result = true;
    station.Logged({"HTML: Error: ", "HTML: Error: (unknown)"}, [&] {
        platform::TStringList& names = station.GeneratedPages();
        names.Clear();
        const TStationSettings& s = station.Settings();
        const std::string folder = s.TEMPLATEDir;
        for (const std::string& name : platform::ListFiles(folder))
            names.Add(name);
        for (int i = 0; i < names.Count(); ++i) {
            std::string text;
            if (!platform::ReadWholeFile(folder + "/" + names[i], text, platform::FileMode::Binary) ||
                !WriteTextModeFile(s.HTMLDir + "/" + names[i],
                                   ExpandTemplate(text, [&](const std::string& tag) {
                                       return TemplateTagValue(context, tag);
                                   }))) {
                result = i > 0;
                return;
            }
        }
    });
    return result;
}

void CreateHTMLClick(TPublishContext& context) {
    WriteWeatherHTML(context);
    bool made = ProcessTemplates(context);
    platform::MessageBox(made ? "Created WEATHER.HTML and CURRENT.HTML" : "Created WEATHER.HTML",
                         "Malvoren Weather Station", platform::MB_OK);
}

} // namespace publish
