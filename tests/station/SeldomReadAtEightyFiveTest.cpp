// A thermometer that truly sits at 85 C, read every ten or twenty minutes: its power-on values taken stay
// one spell however long it sits there (the first told at once, then at most one line an hour), the spell
// ends after a quiet time of three read intervals with the count not yet told, and a spell after a longer
// stretch of true readings near 85 C is told at once again.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "onewire/DS1820.h"
#include "onewire/SensorTables.h"
#include "platform/Strings.h"
#include "station/StationNet.h"

using namespace station_test;

namespace {

struct Seldom {
    int readIntervalSeconds;
    int quietMinutes; // three read intervals, rounded up to a minute
    bool byTurns;     // 85.0 and 85.0625 by turns, as a sensor right at 85 C reads; else 85.0 always
};

void PrintTo(const Seldom& seldom, std::ostream* out) {
    *out << "read every " << seldom.readIntervalSeconds << " s" << (seldom.byTurns ? ", 85.0 by turns" : "");
}

const char* const kTaken = "Power-on value (85 C) taken from Outdoor";
const char* const kTakenAfter84 = "Power-on value (85 C) taken from Outdoor after its reading of 84.0 C: ";

class SeldomReadAtEightyFive : public StationNetTest, public ::testing::WithParamInterface<Seldom> {
protected:
    void SetUp() override {
        StationNetTest::SetUp();
        device = &AddThermometer(0x21);
        device->SetParasite(false);
        device->SetTemperature(84.0);
        Settings(platform::Format("[Weather]\r\nPortNum=1\r\nPortType=64\r\nCelsius=1\r\n[DS1820]\r\n"
                                  "ReadInterval=%d\r\n",
                                  GetParam().readIntervalSeconds));
        Write("SENSORS.INI",
              "[" + device->rom().Text() + "]\r\nType=Temperature\r\nTempDescription=Outdoor\r\n");
    }

    DS1820& Sensor() const { return *SensorSet().DS1820Sensors[0]; }
    uint64_t Now() const { return clock_->MonotonicMs(); }
    static uint64_t Minutes(int minutes) { return static_cast<uint64_t>(minutes) * 60000u; }

    // Runs until the sensor's next sample (at most two read intervals), then sets what the one after
    // reads: 85.0 or, by turns, 85.0625. Counts the power-on values taken.
    void ReadOnceAtEightyFive() {
        const uint32_t samples = Sensor().Samples;
        ASSERT_TRUE(platform::EventLoop::Get().RunUntil(
            [&] { return Sensor().Samples != samples; },
            2000u * static_cast<uint32_t>(GetParam().readIntervalSeconds)));
        ASSERT_EQ(Sensor().LastReadOk, 1);
        powerOnValues += powerOnNext;
        powerOnNext = !GetParam().byTurns || !powerOnNext;
        device->SetTemperature(powerOnNext ? 85.0 : 85.0625);
    }
    void RunAtEightyFive(uint64_t ms) {
        const uint64_t end = Now() + ms;
        while (Now() < end && !HasFatalFailure())
            ReadOnceAtEightyFive();
    }

    // The power-on values the lines account for: one for a spell's first line, the count of each later
    // one ("..., 6 times since the last such line: ...", "... 2 more times since the last such line, ...").
    unsigned ValuesTold() const {
        unsigned told = 0;
        auto& lines = form_->DisplayMemo->Lines();
        for (int i = 0; i < lines.Count(); ++i) {
            const std::string& line = lines[i];
            if (line.find(kTaken) == std::string::npos) continue;
            size_t end = line.find(" times since the last such line");
            if (end == std::string::npos) {
                ++told;
                continue;
            }
            if (line.compare(end - 5, 5, " more") == 0) end -= 5;
            const size_t start = line.rfind(' ', end - 1) + 1;
            told += static_cast<unsigned>(std::stoul(line.substr(start, end - start)));
        }
        return told;
    }

    sim::Thermometer* device = nullptr;
    bool powerOnNext = false; // the next sample reads 85.0
    unsigned powerOnValues = 0;
};

TEST_P(SeldomReadAtEightyFive, ItsPowerOnValuesAreOneSpellAndASpellAfterTheQuietTimeIsToldAtOnce) {
    const Seldom seldom = GetParam();
    StartStation();
    Run(60000);
    ASSERT_EQ(Sensor().ReadIntervalSeconds(), seldom.readIntervalSeconds);
    ASSERT_EQ(Sensor().LastReadOk, 1);

    // The first power-on value taken is told at once, with the reading before it.
    device->SetTemperature(85.0);
    powerOnNext = true;
    ReadOnceAtEightyFive();
    ASSERT_EQ(powerOnValues, 1u);
    EXPECT_EQ(CountLog(kTaken), 1);
    EXPECT_EQ(CountLog(kTakenAfter84), 1);

    // Then at most one line an hour, for five hours.
    constexpr int kHours = 5;
    for (int hour = 0; hour < kHours; ++hour) {
        const int before = CountLog(kTaken);
        RunAtEightyFive(Minutes(60));
        EXPECT_LE(CountLog(kTaken) - before, 1) << "hour " << hour;
    }
    EXPECT_LE(CountLog(kTaken), 1 + kHours);
    EXPECT_EQ(CountLog(kTakenAfter84), 1) << "one spell";

    // True readings near 85 C for longer than the quiet time: the spell ends, telling every value taken.
    device->SetTemperature(84.0);
    Run(static_cast<uint32_t>(Minutes(seldom.quietMinutes) + 2000u * seldom.readIntervalSeconds));
    EXPECT_EQ(ValuesTold(), powerOnValues) << "every value taken is told, the spell's end with the rest";
    EXPECT_LE(CountLog(" more times since the last such line, the last at "), 1);

    // Stuck again: a new spell, told at its first value.
    const unsigned told = powerOnValues;
    device->SetTemperature(85.0);
    powerOnNext = true;
    ReadOnceAtEightyFive();
    ASSERT_EQ(powerOnValues, told + 1);
    EXPECT_EQ(CountLog(kTakenAfter84), 2) << "told at once";
    EXPECT_EQ(Sensor().ErrorCount, 0u);
}

INSTANTIATE_TEST_SUITE_P(ReadIntervals, SeldomReadAtEightyFive,
                         ::testing::Values(Seldom{600, 30, true}, Seldom{1199, 60, true},
                                           Seldom{1200, 60, false}, Seldom{1200, 60, true}),
                         [](const ::testing::TestParamInfo<Seldom>& info) {
                             return "Every" + std::to_string(info.param.readIntervalSeconds) + "s" +
                                    (info.param.byTurns ? "ByTurns" : "Always85");
                         });

} // namespace
