// The per-sensor tags: serial text + suffix. A sensor whose values are not current answers none, as a
// sensor the station does not have.
#include "publish/SensorTags.h"

#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/DataTables.h"
#include "onewire/Humidity.h"
#include "onewire/SensorTables.h"
#include "platform/FloatFormat.h"
#include "platform/Strings.h"
#include "publish/PageFormats.h"
#include "publish/PublishKinds.h"
#include "station/CurrentReadings.h"

using platform::Format;
using platform::FormatFloat;

namespace publish {

namespace {

using Answer = std::optional<std::string>;
// A suffix and how its value is made.
using Suffixes = std::vector<std::pair<const char*, std::function<std::string()>>>;

Answer Match(const std::string& name, const std::string& serial, const Suffixes& suffixes) {
    for (const auto& [suffix, value] : suffixes)
        if (platform::SameText(name, serial + suffix)) return value();
    return std::nullopt;
}

// The suffixes of one value: its high and low marks with their times, and its current value.
struct MarkNames {
    const char* maxAt;
    const char* max;
    const char* minAt;
    const char* min;
    const char* current;
};
constexpr MarkNames kPlainMarks{"MaxAt", "Max", "MinAt", "Min", ""};
constexpr MarkNames kTemperatureMarks{"TMaxAt", "TMax", "TMinAt", "TMin", "T"};
constexpr MarkNames kHumidityMarks{"HMaxAt", "HMax", "HMinAt", "HMin", "H"};
constexpr MarkNames kVoltageMarks{"VMaxAt", "VMax", "VMinAt", "VMin", "V"};

using Text = std::function<std::string(double)>;

template <class S>
void AddMarks(Suffixes& out, const MarkNames& names, std::type_identity_t<S>& sensor,
              double (S::*max)(uint8_t*), double (S::*min)(uint8_t*), double current, const Text& text) {
    auto at = [&sensor](double (S::*mark)(uint8_t*)) {
        return [&sensor, mark] {
            uint8_t time[4] = {};
            (sensor.*mark)(time);
            return HourMinute(time);
        };
    };
    auto value = [&sensor, text](double (S::*mark)(uint8_t*)) {
        return [&sensor, mark, text] { return text((sensor.*mark)(nullptr)); };
    };
    out.insert(out.end(), {{names.maxAt, at(max)},
                           {names.max, value(max)},
                           {names.minAt, at(min)},
                           {names.min, value(min)},
                           {names.current, [current, text] { return text(current); }}});
}

// The temperature of a sensor in its unit, with the mask "0.0" or, when not `mask`, "%3.1f".
void AddTemperature(Suffixes& out, const MarkNames& names, Temperature& t, bool mask) {
    Text text = [mask](double value) { return mask ? FormatFloat("0.0", value) : Format("%3.1f", value); };
    AddMarks<Temperature>(out, names, t, &Temperature::GetMaxTemperature, &Temperature::GetMinTemperature,
                          t.InUnit(t.temp.value), text);
}

} // namespace

Answer DS1820Tag(const std::string& name) {
    for (DS1820* sensor : CurrentSensors(SensorSet().DS1820Sensors)) {
        Suffixes suffixes;
        AddTemperature(suffixes, kPlainMarks, *sensor, true);
        if (Answer a = Match(name, SensorSerialString(*sensor), suffixes)) return a;
    }
    return std::nullopt;
}

Answer HumidityTag(const std::string& name) {
    for (Humidity* h : CurrentSensors(SensorSet().HumiditySensors)) {
        Suffixes suffixes;
        AddTemperature(suffixes, kTemperatureMarks, *h, true);
        // Relative humidity cut to a whole number.
        AddMarks<Humidity>(suffixes, kHumidityMarks, *h, &Humidity::GetMaxAt, &Humidity::GetMinAt,
                           h->GetValue(), [](double value) { return Format("%d", static_cast<int>(value)); });
        if (Answer a = Match(name, SensorSerialString(*h), suffixes)) return a;
    }
    return std::nullopt;
}

Answer DS2438Tag(const std::string& name) {
    for (DS2438* d : CurrentSensors(SensorSet().DS2438Sensors)) {
        Suffixes suffixes;
        AddTemperature(suffixes, kTemperatureMarks, *d, false);
        AddMarks<DS2438>(suffixes, kVoltageMarks, *d, &DS2438::GetMaxVAD, &DS2438::GetMinVAD, d->VAD.value,
                         [](double value) { return Format("%3.2f", value); });
        if (Answer a = Match(name, SensorSerialString(*d), suffixes)) return a;
    }
    return std::nullopt;
}

Answer DS2423Tag(const std::string& name) {
    for (DS2423* sensor : CurrentSensors(SensorSet().DS2423Sensors)) {
        DS2423& c = *sensor;
        Suffixes suffixes = {
            {"Sec", [&c] { return Format("%3.2f", static_cast<double>(c.CountRate)); }},
            {"Min", [&c] { return Format("%u", c.CountsPerMinute()); }},
            {"Hour", [&c] { return Format("%u", c.CountsPerHour()); }},
            {"Today", [&c] { return Format("%u", c.CountsToday()); }},
            {"", [&c] { return Format("%u", static_cast<uint32_t>(c.RunningCounter)); }},
        };
        if (Answer a = Match(name, SensorSerialString(c), suffixes)) return a;
    }
    return std::nullopt;
}

Answer DS2450Tag(const std::string& name) {
    for (DS2450* sensor : CurrentSensors(SensorSet().DS2450Sensors)) {
        DS2450& d = *sensor;
        const std::string serial = DS2450::RomToHex(d.Rom);
        for (int channel = 0; channel < DS2450::kChannels; ++channel) {
            Suffixes suffixes = {
                {"Max",
                 [&d, channel] {
                     return Format("%3.2f", static_cast<double>(d.GetMaxValue(channel, nullptr)));
                 }},
                {"Min",
                 [&d, channel] {
                     return Format("%3.2f", static_cast<double>(d.GetMinValue(channel, nullptr)));
                 }},
                {"", [&d, channel] { return Format("%3.2f", static_cast<double>(d.Value[channel])); }},
            };
            std::string channelName = Format("%s_%c", serial.c_str(), 'A' + channel);
            if (Answer a = Match(name, channelName, suffixes)) return a;
        }
    }
    return std::nullopt;
}

Answer BarometerTagValue(const std::string& name) {
    Barometer* sensor =
        SensorSet().BarometerPresent ? CurrentSensor(SensorSet().BarometerSensor.get()) : nullptr;
    if (sensor == nullptr) return std::nullopt;
    Barometer& b = *sensor;
    Suffixes suffixes = {
        {"TMax", [&b] { return FormatFloat("0.0", b.GetMaxTemperature(nullptr)); }},
        {"TMin", [&b] { return FormatFloat("0.0", b.GetMinTemperature(nullptr)); }},
        {"T", [&b] { return FormatFloat("0.0", b.InUnit(b.temp.value)); }},
    };
    return Match(name, SensorSerialString(b), suffixes);
}

Answer SensorTagValue(const std::string& name) {
    for (const PublishKind* kind : PublishKinds().By(&PublishKind::tagOrder))
        if (kind->tag)
            if (Answer a = kind->tag(name)) return a;
    return std::nullopt;
}

} // namespace publish
