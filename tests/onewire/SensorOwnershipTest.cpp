// The owners of the sensor objects (a view never keeps an object its owner freed; a full table refuses)
// and the declared SENSORS.INI key tables (each kind of field read with its default and in its order).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "onewire/SensorKeys.h"
#include "onewire/SensorTable.h"
#include "support/StationFixture.h"

namespace {

// Objects that count how many of them are alive, so that a test sees what an owner frees.
struct Gauge {
    explicit Gauge(int n) : n(n) { ++alive; }
    virtual ~Gauge() { --alive; }
    int n;
    static inline int alive = 0;
};
struct Thermometer : Gauge {
    using Gauge::Gauge;
};

TEST(SensorOwnership, AnOwnerEmptiesItsViewsBeforeItFreesAndAFullTableRefuses) {
    {
        SensorView<Gauge> all(3);
        SensorTable<Thermometer> thermometers(2);
        SensorSlot<Gauge> single;
        thermometers.Add(std::make_unique<Thermometer>(1), all);
        single.Set(std::make_unique<Gauge>(2), all);
        thermometers.Add(std::make_unique<Thermometer>(3), all);
        EXPECT_EQ(thermometers.Add(std::make_unique<Thermometer>(4), all), nullptr) << "room for 2 only";
        EXPECT_EQ(Gauge::alive, 3);
        ASSERT_EQ(all.Count(), 3);
        EXPECT_EQ(all[1]->n, 2);
        EXPECT_EQ(all[3], nullptr);
        EXPECT_EQ(thermometers[1]->n, 3);
        EXPECT_EQ(thermometers[-1], nullptr);

        // A slot that takes another object frees the first and takes it out of the view.
        single.Set(std::make_unique<Gauge>(5), all);
        EXPECT_EQ(Gauge::alive, 3);
        ASSERT_EQ(all.Count(), 3);
        EXPECT_EQ(all[0]->n, 1);
        EXPECT_EQ(all[1]->n, 3);
        EXPECT_EQ(all[2]->n, 5);

        thermometers.Clear();
        EXPECT_EQ(Gauge::alive, 1);
        ASSERT_EQ(all.Count(), 1);
        EXPECT_EQ(all[0]->n, 5);
        EXPECT_EQ(thermometers.Count(), 0);
        thermometers.Add(std::make_unique<Thermometer>(7), all);
        int visited = 0;
        for (Thermometer* t : thermometers)
            visited += t->n;
        EXPECT_EQ(visited, 7);
    } // the owners go before the view: it is emptied, not left with freed objects
    EXPECT_EQ(Gauge::alive, 0);
}

struct Keyed {
    int flag = -1;
    int number = -1;
    uint8_t byte = 0;
    double factor = -1;
    std::string name, description;
    Extremes marks{"level", -100.0, 200.0};
};

class SensorKeysTest : public korvane_test::StationFixture {};

TEST_F(SensorKeysTest, EveryKindOfFieldIsReadWithItsDefault) {
    Write("SENSORS.INI", "[S]\r\nflag=0\r\nbyte=300\r\nfactor=2.5\r\nDescription=Roof\r\nmax_level=12.5\r\n"
                         "max_level_t=1700000000\r\ncurrent_level=7\r\n");
    const SensorKeys<Keyed> keys = {
        {"flag", &Keyed::flag, true},
        {"number", &Keyed::number, 42},
        {"byte", &Keyed::byte, 3},
        {"factor", &Keyed::factor, 1.0},
        {"name", &Keyed::name, "plain"},
        {"description", &Keyed::description,
         [](const platform::TIniFile& ini, const std::string& section) {
             return ini.ReadString(section, "Description", section);
         }},
        {"current_level", Value(&Keyed::marks), 0.0},
        {"max_level", High(&Keyed::marks), -100.0},
        {"max_level_t", HighTime(&Keyed::marks), 0},
        {"min_level", Low(&Keyed::marks), 200.0},
        {"min_level_t", LowTime(&Keyed::marks), 5},
    };
    Keyed k;
    platform::TIniFile ini(Path("SENSORS.INI"));
    LoadKeys(k, keys, ini, "S");
    EXPECT_EQ(k.flag, 0);
    EXPECT_EQ(k.number, 42);
    EXPECT_EQ(k.byte, 300 & 0xFF);
    EXPECT_EQ(k.factor, 2.5);
    EXPECT_EQ(k.name, "plain");
    EXPECT_EQ(k.description, "Roof");
    EXPECT_EQ(k.marks.value, 7.0);
    EXPECT_EQ(k.marks.high, 12.5);
    EXPECT_EQ(k.marks.highTime, 1700000000);
    EXPECT_EQ(k.marks.low, 200.0);
    EXPECT_EQ(k.marks.lowTime, 5);

    // The marks go back under the same keys.
    k.marks.value = 3.0;
    EXPECT_TRUE(k.marks.Track(0.5, 1700000100).low);
    EXPECT_FALSE(k.marks.Track(0.5, 1700000200).low) << "an equal value moves no mark";
    k.marks.SaveLow(ini, "S");
    EXPECT_EQ(ini.ReadFloat("S", "min_level", 0), 3.0);
    EXPECT_EQ(ini.ReadInteger("S", "min_level_t", 0), 1700000100);
}

} // namespace
