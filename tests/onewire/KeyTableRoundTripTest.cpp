// Every sensor kind's SENSORS.INI keys written and read back: each value a kind writes is changed away
// from its default, and a sensor made from that section writes the same values again. A key written but
// not read, read into another field, or read in another form than it is written fails here.
#include <functional>
#include <map>
#include <set>
#include <string>
#include <type_traits>

#include "DS2423SensorNet.h"

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/WindData.h"
#include "platform/StringList.h"
#include "platform/Strings.h"
#include "platform/tmex/sim/DS18S20.h"
#include "platform/tmex/sim/DS2423.h"
#include "platform/tmex/sim/DS2438.h"
#include "platform/tmex/sim/DS2450.h"

using namespace sensor_net_test;

namespace {

using Section = std::map<std::string, std::string>;

// A value unlike the one given, of the same form: a flag flips, an integer moves by one towards 0 (or
// from 0 to 1), a number with a fraction moves by a half, a text grows.
std::string Other(const std::string& value) {
    long long integer = 0;
    double number = 0;
    if (platform::TryStrToInt(value, integer)) {
        if (integer == 0) return "1";
        return std::to_string(integer > 0 ? integer - 1 : integer + 1);
    }
    if (platform::TryStrToFloat(value, number)) return platform::FloatToStr(number + 0.5);
    return value + "x";
}

// Keys every kind writes but takes from elsewhere: its type, and the coupler it was found behind.
const std::set<std::string> kNotReadBack = {"Type", "SwitchPort", "SwitchSerial"};

class KeyTableRoundTrip : public SensorNetTest {
protected:
    Section Keys(const std::string& section) {
        platform::TIniFile ini(Path("SENSORS.INI"));
        platform::TStringList keys;
        ini.ReadSection(section, keys);
        Section values;
        for (int i = 0; i < keys.Count(); ++i)
            values[keys[i]] = ini.ReadString(section, keys[i], "");
        return values;
    }

    // A sensor of the kind made as the scan makes it (the barometer has no sensor number).
    template <class T> std::unique_ptr<T> MakeKind(const sim::Device& device) {
        if constexpr (std::is_same_v<T, Barometer>)
            return Make<T>(device.rom(), nullptr, 0);
        else
            return Make<T>(device.rom(), 0, nullptr, 0);
    }

    // Makes a sensor of the device's section and has it write everything it keeps (`save`), once on
    // defaults and once on that section with every value changed; the second must write back what it read.
    template <class T>
    void RoundTrip(const char* kind, const sim::Device& device, const std::string& seed,
                   const std::function<void(T&)>& save, std::set<std::string> notReadBack = {}) {
        SCOPED_TRACE(kind);
        const std::string section = device.rom().Text();
        Sensors("[" + section + "]\r\n" + seed);
        save(*MakeKind<T>(device));
        const Section defaults = Keys(section);
        ASSERT_GT(defaults.size(), kNotReadBack.size());

        std::string changed = "[" + section + "]\r\n";
        for (const auto& [key, value] : defaults)
            changed += key + "=" + (key == "Type" ? value : Other(value)) + "\r\n";
        Sensors(changed);
        const Section written = Keys(section);
        save(*MakeKind<T>(device));
        const Section back = Keys(section);

        notReadBack.insert(kNotReadBack.begin(), kNotReadBack.end());
        for (const auto& [key, value] : written) {
            if (notReadBack.count(key)) continue;
            EXPECT_NE(value, defaults.at(key)) << key;
            EXPECT_EQ(back.at(key), value) << key;
        }
    }
};

TEST_F(KeyTableRoundTrip, EveryKindWritesBackTheValuesItRead) {
    // The thermometer family: settings, and the marks written as they move.
    auto temperatureMarks = [](Temperature& t) {
        t.SaveMaxTemperature();
        t.SaveMinTemperature();
    };
    auto ds2438Marks = [&](DS2438& d) {
        temperatureMarks(d);
        d.SaveMaxVAD();
        d.SaveMinVAD();
        d.SaveMaxVDD();
        d.SaveMinVDD();
        d.SaveMaxVSENS();
        d.SaveMinVSENS();
    };
    // A thermometer that read once keeps its temperature.
    const std::string reading = "current_temp=21.5\r\n";

    RoundTrip<DS1820>("DS1820", net->Add<sim::DS18S20>(net->Trunk(), 0x0000000010A1ULL), reading,
                      [&](DS1820& t) {
                          t.SaveSettings();
                          temperatureMarks(t);
                      });
    RoundTrip<DS2438>("DS2438", net->Add<sim::DS2438>(net->Trunk(), 0x0000000026A1ULL), reading,
                      [&](DS2438& d) {
                          d.SaveSettings();
                          ds2438Marks(d);
                      });
    // Humidity and pressure are written for other programs; a new run starts without them.
    RoundTrip<Humidity>("Humidity", net->Add<sim::DS2438>(net->Trunk(), 0x0000000026A2ULL), reading,
                        [&](Humidity& h) {
                            h.SaveSettings();
                            ds2438Marks(h);
                            h.SaveMaxHumidity();
                            h.SaveMinHumidity();
                            h.SaveMaxDewpoint();
                            h.SaveMinDewpoint();
                            h.SaveMaxHeatIndex();
                            h.SaveMinHeatIndex();
                        },
                        {"current_hum"});
    RoundTrip<Barometer>("Barometer", net->Add<sim::DS2438>(net->Trunk(), 0x0000000026A3ULL), reading,
                         [&](Barometer& b) {
                             b.SaveSettings();
                             ds2438Marks(b);
                             b.SaveMaxPressure();
                             b.SaveMinPressure();
                         },
                         {"current_baro"});

    // The counters. The rain gauge and the wind name themselves; only the rain gauge reads its count
    // back, and it reads its week from the working folder's file.
    RoundTrip<DS2423>("DS2423", net->Add<sim::DS2423>(net->Trunk(), 0x000000001DA1ULL), "Type=DS2423\r\n",
                      [](DS2423& c) { c.SaveSettings(); }, {"RunningCounter"});
    RoundTrip<RainGauge>("RainGauge", net->Add<sim::DS2423>(net->Trunk(), 0x000000001DA2ULL),
                         "Type=RainGauge\r\n", [](RainGauge& r) { r.SaveSettings(); },
                         {"Description", "WeeklyRain"});
    RoundTrip<WindData>("WindData", net->Add<sim::DS2423>(net->Trunk(), 0x000000001DA3ULL),
                        "Type=WindSpeed\r\n",
                        [](WindData& w) {
                            w.SaveSettings();
                            w.SaveMaxSpeed();
                        },
                        {"Description", "RunningCounter"});

    // The quad A/D converter: its own keys and four channels of them, marks included.
    RoundTrip<DS2450>("DS2450", net->Add<sim::DS2450>(net->Trunk(), 0x0000000020A1ULL), "",
                      [](DS2450& d) { d.SaveSettings(); });
}

} // namespace
