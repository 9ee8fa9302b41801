// The per-sensor tags: serial text + suffix.
#include "publish/SensorTags.h"

#include <cstdint>
#include <functional>
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

// The temperature of a sensor and its marks, in its unit: with the mask "0.0", or "%3.1f" when not
// `mask`. The suffixes begin with "T" on sensors that have other values too.
Suffixes TemperatureSuffixes(Temperature& t, bool withT, bool mask) {
    auto number = [mask](double value) { return mask ? FormatFloat("0.0", value) : Format("%3.1f", value); };
    auto at = [&t](bool high) {
        return [&t, high] {
            uint8_t time[4] = {};
            high ? t.GetMaxTemperature(time) : t.GetMinTemperature(time);
            return HourMinute(time);
        };
    };
    return {
        {withT ? "TMaxAt" : "MaxAt", at(true)},
        {withT ? "TMax" : "Max", [&t, number] { return number(t.GetMaxTemperature(nullptr)); }},
        {withT ? "TMinAt" : "MinAt", at(false)},
        {withT ? "TMin" : "Min", [&t, number] { return number(t.GetMinTemperature(nullptr)); }},
        {withT ? "T" : "", [&t, number] { return number(t.InUnit(t.temp.value)); }},
    };
}

Answer DS1820Tag(const std::string& name) {
    for (DS1820* sensor : DS1820Sensors) {
        if (sensor == nullptr) continue;
        if (Answer a = Match(name, SensorSerialString(*sensor), TemperatureSuffixes(*sensor, false, true)))
            return a;
    }
    return std::nullopt;
}

Answer HumidityFamilyTag(const std::string& name) {
    for (Humidity* sensor : HumiditySensors) {
        if (sensor == nullptr) continue;
        Humidity& h = *sensor;
        Suffixes suffixes = TemperatureSuffixes(h, true, true);
        auto at = [&h](bool high) {
            return [&h, high] {
                uint8_t time[4] = {};
                high ? h.GetMaxAt(time) : h.GetMinAt(time);
                return HourMinute(time);
            };
        };
        auto whole = [](double value) { return Format("%d", static_cast<int>(value)); };
        suffixes.insert(suffixes.end(), {
                                            {"HMaxAt", at(true)},
                                            {"HMax", [&h, whole] { return whole(h.GetMax()); }},
                                            {"HMinAt", at(false)},
                                            {"HMin", [&h, whole] { return whole(h.GetMin()); }},
                                            {"H", [&h, whole] { return whole(h.GetValue()); }},
                                        });
        if (Answer a = Match(name, SensorSerialString(h), suffixes)) return a;
    }
    return std::nullopt;
}

Answer DS2438Tag(const std::string& name) {
    for (DS2438* sensor : DS2438Sensors) {
        if (sensor == nullptr) continue;
        DS2438& d = *sensor;
        Suffixes suffixes = TemperatureSuffixes(d, true, false);
        auto at = [&d](bool high) {
            return [&d, high] {
                uint8_t time[4] = {};
                high ? d.GetMaxVAD(time) : d.GetMinVAD(time);
                return HourMinute(time);
            };
        };
        suffixes.insert(suffixes.end(), {
                                            {"VMaxAt", at(true)},
                                            {"VMax", [&d] { return Format("%3.2f", d.GetMaxVAD(nullptr)); }},
                                            {"VMinAt", at(false)},
                                            {"VMin", [&d] { return Format("%3.2f", d.GetMinVAD(nullptr)); }},
                                            {"V", [&d] { return Format("%3.2f", d.VAD.value); }},
                                        });
        if (Answer a = Match(name, SensorSerialString(d), suffixes)) return a;
    }
    return std::nullopt;
}

Answer DS2423Tag(const std::string& name) {
    for (DS2423* sensor : DS2423Sensors) {
        if (sensor == nullptr) continue;
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
    for (DS2450* sensor : DS2450Sensors) {
        if (sensor == nullptr) continue;
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

} // namespace

Answer BarometerTagValue(const std::string& name) {
    if (!BarometerPresent || !BarometerSensor) return std::nullopt;
    Barometer& b = *BarometerSensor;
    Suffixes suffixes = {
        {"TMax", [&b] { return FormatFloat("0.0", b.GetMaxTemperature(nullptr)); }},
        {"TMin", [&b] { return FormatFloat("0.0", b.GetMinTemperature(nullptr)); }},
        {"T", [&b] { return FormatFloat("0.0", b.InUnit(b.temp.value)); }},
    };
    return Match(name, SensorSerialString(b), suffixes);
}

Answer SensorTagValue(const std::string& name) {
    if (Answer a = DS1820Tag(name)) return a;
    if (Answer a = HumidityFamilyTag(name)) return a;
    if (Answer a = DS2438Tag(name)) return a;
    if (Answer a = DS2423Tag(name)) return a;
    return DS2450Tag(name);
}

} // namespace publish
