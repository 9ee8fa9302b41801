// The demo station's weather: repeatable for a seed, a daily cycle, plausible values inside what the
// sensors accept, rain only in showers, and a demo net whose devices follow it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include "platform/Clock.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DS2423.h"
#include "platform/tmex/sim/DemoNet.h"
#include "platform/tmex/sim/WeatherModel.h"

namespace tmex = platform::tmex;
namespace sim = platform::tmex::sim;

namespace {

// 2026-11-27 00:00 CET.
constexpr int64_t kStartMs = 1795734000000LL;
constexpr int64_t kMinute = 60000;
constexpr int64_t kHourMs = 60 * kMinute;
constexpr int64_t kDayMs = 24 * kHourMs;

class TmexWeatherModel : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Clock::SetTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
        clock_ = std::make_shared<platform::SimulatedClock>(kStartMs);
        old_ = platform::Clock::Install(clock_);
    }
    void TearDown() override {
        tmex::ResetDriver();
        platform::Clock::Install(old_);
        platform::Clock::SetTimeZone("");
    }
    std::shared_ptr<platform::SimulatedClock> clock_;
    std::shared_ptr<platform::Clock> old_;
};

} // namespace

TEST_F(TmexWeatherModel, ASeedRepeatsItsWeatherAndCountsWhateverTheReadingPattern) {
    sim::WeatherModel a(7), b(7), other(8);
    bool differs = false;
    for (int64_t t = kStartMs; t < kStartMs + 3 * kDayMs; t += 37 * kMinute) {
        sim::Weather wa = a.At(t), wb = b.At(t);
        EXPECT_EQ(wa.temperatureC, wb.temperatureC);
        EXPECT_EQ(wa.humidity, wb.humidity);
        EXPECT_EQ(wa.pressureHpa, wb.pressureHpa);
        EXPECT_EQ(wa.windMs, wb.windMs);
        EXPECT_EQ(wa.windDirection, wb.windDirection);
        EXPECT_EQ(wa.rainMmPerHour, wb.rainMmPerHour);
        differs = differs || other.At(t).temperatureC != wa.temperatureC;
    }
    EXPECT_TRUE(differs) << "another seed gives other weather";

    // The counters integrate on a fixed grid: reading every 1.3 s or once an hour gives the same counts.
    a.Advance(kStartMs);
    b.Advance(kStartMs);
    for (int64_t t = kStartMs; t <= kStartMs + 2 * kDayMs; t += 1300)
        a.Advance(t);
    a.Advance(kStartMs + 2 * kDayMs);
    for (int64_t t = kStartMs; t <= kStartMs + 2 * kDayMs; t += kHourMs)
        b.Advance(t);
    EXPECT_GT(a.WindRevolutions(), 1000.0);
    EXPECT_DOUBLE_EQ(a.WindRevolutions(), b.WindRevolutions());
    EXPECT_DOUBLE_EQ(a.RainMm(), b.RainMm());
}

TEST_F(TmexWeatherModel, AfternoonsAreWarmerAndDrierThanNights) {
    sim::WeatherModel model;
    double night = 0, afternoon = 0, nightHumidity = 0, afternoonHumidity = 0;
    int warmerDays = 0;
    const int days = 30;
    for (int d = 0; d < days; ++d) {
        int64_t midnight = kStartMs + d * kDayMs; // local midnight (no DST change in the month)
        sim::Weather n = model.At(midnight + 4 * kHourMs);
        sim::Weather a = model.At(midnight + 15 * kHourMs);
        night += n.temperatureC;
        afternoon += a.temperatureC;
        nightHumidity += n.humidity;
        afternoonHumidity += a.humidity;
        if (a.temperatureC > n.temperatureC) ++warmerDays;
    }
    EXPECT_GT((afternoon - night) / days, 5.0);
    EXPECT_LT((afternoon - night) / days, 14.0);
    EXPECT_GT((nightHumidity - afternoonHumidity) / days, 10.0);
    EXPECT_GE(warmerDays, days * 3 / 4) << "fronts may spoil a few days, not most";
    // The cycle follows local time: the same UTC instants in a zone six hours east shift the warm hours.
    platform::Clock::SetTimeZone("XST-7");
    double shifted = 0;
    for (int d = 0; d < days; ++d)
        shifted += model.At(kStartMs + d * kDayMs + 15 * kHourMs).temperatureC;
    EXPECT_LT(shifted / days, afternoon / days - 3.0);
}

TEST_F(TmexWeatherModel, ValuesStayPlausibleAndInsideWhatTheSensorsAccept) {
    sim::WeatherModel model(99);
    double minT = 1e9, maxT = -1e9, minP = 1e9, maxP = -1e9, maxWind = 0, gustiest = 0;
    std::set<int> octants;
    double lastPressure = model.At(kStartMs).pressureHpa;
    for (int64_t t = kStartMs; t < kStartMs + 60 * kDayMs; t += 7 * kMinute + 13000) {
        sim::Weather w = model.At(t);
        minT = std::min(minT, w.temperatureC);
        maxT = std::max(maxT, w.temperatureC);
        minP = std::min(minP, w.pressureHpa);
        maxP = std::max(maxP, w.pressureHpa);
        maxWind = std::max(maxWind, w.windMs);
        gustiest = std::max(gustiest, w.windMs / w.windMeanMs);
        octants.insert(static_cast<int>(w.windDirection / 45.0));
        ASSERT_GE(w.humidity, 5.0);
        ASSERT_LE(w.humidity, 100.0);
        ASSERT_LE(w.dewpointC, w.temperatureC);
        ASSERT_GE(w.windMs, 0.0);
        ASSERT_GE(w.windDirection, 0.0);
        ASSERT_LT(w.windDirection, 360.0);
        ASSERT_LT(std::fabs(w.pressureHpa - lastPressure), 3.0) << "pressure drifts, it does not jump";
        lastPressure = w.pressureHpa;

        // Sensor inputs: the DS2438 humidity voltage below VDD, the barometer inside its 1.25..3.25 V span.
        double vad = sim::DemoWeather::HumidityVolts(w.humidity, w.temperatureC, 5.0);
        ASSERT_GT(vad, 0.8);
        ASSERT_LT(vad, 5.0);
        double baro = sim::DemoWeather::BarometerVolts(w.pressureHpa);
        ASSERT_GT(baro, 1.25);
        ASSERT_LT(baro, 3.25);
    }
    EXPECT_GT(minT, -25.0);
    EXPECT_LT(maxT, 35.0);
    EXPECT_GT(maxT - minT, 10.0);
    EXPECT_GT(maxP - minP, 15.0) << "highs and lows pass";
    EXPECT_LT(maxWind, 30.0);
    EXPECT_GT(gustiest, 1.2) << "gusts ride on the mean wind";
    EXPECT_GE(octants.size(), 5u) << "the direction wanders";
}

TEST_F(TmexWeatherModel, RainFallsOnlyInShowers) {
    sim::WeatherModel model;
    model.Advance(kStartMs);
    int showers = 0, wetMinutes = 0;
    bool inShower = false;
    double before = model.RainMm();
    for (int64_t t = kStartMs + kMinute; t <= kStartMs + 20 * kDayMs; t += kMinute) {
        // Rain within the minute only when a shower ran at its start, its middle or its end.
        bool shower = model.At(t - kMinute).shower || model.At(t - kMinute / 2).shower || model.At(t).shower;
        model.Advance(t);
        double fell = model.RainMm() - before;
        before = model.RainMm();
        if (!shower) {
            ASSERT_EQ(fell, 0.0) << "rain outside a shower at minute " << (t - kStartMs) / kMinute;
        }
        sim::Weather w = model.At(t);
        if (!w.shower) {
            ASSERT_EQ(w.rainMmPerHour, 0.0);
        } else {
            ++wetMinutes;
            ASSERT_LT(w.rainMmPerHour, 15.0);
            if (w.rainMmPerHour > 1.0) {
                ASSERT_GT(w.humidity, 90.0) << "a shower saturates the air";
            }
        }
        if (w.shower && !inShower) ++showers;
        inShower = w.shower;
    }
    EXPECT_GE(showers, 5) << "occasional showers in 20 days";
    EXPECT_LE(showers, 100);
    EXPECT_LT(wetMinutes, 20 * 24 * 60 / 8) << "mostly dry";
    EXPECT_GT(model.RainMm(), 2.0);
    EXPECT_LT(model.RainMm(), 200.0);
}

TEST_F(TmexWeatherModel, TheDriversDemoNetFollowsTheWeatherOnTheInstalledClock) {
    tmex::ResetDriver();
    auto counter = [](const char* rom) {
        auto backend = std::dynamic_pointer_cast<sim::SimNet>(tmex::FindBackend(1, tmex::kPortTypeSimulated));
        for (sim::Device* d : backend->Devices())
            if (d->rom().Text() == rom) return static_cast<sim::DS2423*>(d)->Counter(15);
        return 0u;
    };
    std::string windRom, rainRom;
    for (const auto& d : sim::DemoDevices()) {
        if (d.type == "WindSpeed") windRom = d.rom.Text();
        if (d.type == "RainGauge") rainRom = d.rom.Text();
    }
    // The net refreshes its weather at a bus reset (at most once a second).
    auto touchNet = [] {
        auto h = tmex::StartSession(1, tmex::kPortTypeSimulated, 0);
        tmex::TouchReset(h);
        tmex::EndSession(h);
    };
    touchNet();
    uint32_t wind0 = counter(windRom.c_str()), rain0 = counter(rainRom.c_str());

    // The same span of weather on a separately driven model gives the counts the net must show.
    sim::WeatherModel expected;
    expected.Advance(clock_->UnixTimeMs());
    clock_->Advance(3 * kDayMs);
    expected.Advance(clock_->UnixTimeMs());
    touchNet();
    EXPECT_NEAR(counter(windRom.c_str()) - wind0, expected.WindRevolutions() * 2, 2.0);
    // A gap of days counts only its last six hours of rain; the counter never runs backwards.
    EXPECT_GE(counter(rainRom.c_str()), rain0);
}

TEST_F(TmexWeatherModel, TheDemoAnemometerCountsContinuously) {
    tmex::ResetDriver();
    tmex::EndSession(tmex::StartSession(1, tmex::kPortTypeSimulated, 0));
    auto net = std::dynamic_pointer_cast<sim::SimNet>(tmex::FindBackend(1, tmex::kPortTypeSimulated));
    ASSERT_TRUE(net);
    sim::DS2423* anemometer = nullptr;
    for (const auto& d : sim::DemoDevices())
        if (d.type == "WindSpeed") anemometer = static_cast<sim::DS2423*>(net->Find(d.rom));
    ASSERT_TRUE(anemometer);
    // Read every 1.25 s for half an hour, as the station does: each read counts the revolutions since
    // the last, so the speed of a read follows the model's wind at that time (the cups do not lump
    // two seconds of turns into one read and none into the next).
    sim::WeatherModel model;
    uint32_t last = anemometer->Counter(15);
    double fastest = 0, fastestModel = 0, sum = 0, sumModel = 0;
    int zeros = 0, reads = 0;
    for (int i = 0; i < 1440; ++i) {
        clock_->Advance(1250);
        uint32_t now = anemometer->Counter(15);
        uint32_t counts = now - last;
        last = now;
        double speed = counts / 2.0 / 1.25 * sim::WeatherModel::kMsPerRevolution;
        double modelSpeed = model.At(clock_->UnixTimeMs()).windMs;
        ++reads;
        sum += speed;
        sumModel += modelSpeed;
        fastest = std::max(fastest, speed);
        fastestModel = std::max(fastestModel, modelSpeed);
        if (counts == 0 && modelSpeed > 1.0) ++zeros;
    }
    EXPECT_GT(sumModel / reads, 1.0) << "a wind to count";
    EXPECT_EQ(zeros, 0) << "a read without counts while the wind blows";
    EXPECT_NEAR(sum / reads, sumModel / reads, 0.05 * sumModel / reads);
    EXPECT_LT(fastest, fastestModel * 1.25) << "the gust is the model's, give or take a count";
}

TEST_F(TmexWeatherModel, AModelKeepsNothingThatChangesItsValuesWhateverItWasAskedBefore) {
    // What a model keeps from one question to the next (the day's seasonal mean, noise knots, the
    // shower slot) is a pure function of the seed and the time: asked back and forth across days and
    // seasons, it answers what a fresh model does, to the bit.
    sim::WeatherModel kept;
    const int64_t times[] = {kStartMs, kStartMs + 90 * kDayMs, kStartMs + 5 * kMinute, kStartMs - 200 * kDayMs,
                             kStartMs + kDayMs - 1, kStartMs + kDayMs, kStartMs + 3, kStartMs + 181 * kDayMs};
    for (int round = 0; round < 2; ++round)
        for (int64_t t : times) {
            sim::Weather a = kept.At(t), b = sim::WeatherModel().At(t);
            EXPECT_EQ(a.temperatureC, b.temperatureC) << t;
            EXPECT_EQ(a.dewpointC, b.dewpointC) << t;
            EXPECT_EQ(a.pressureHpa, b.pressureHpa) << t;
            EXPECT_EQ(a.windMs, b.windMs) << t;
            EXPECT_EQ(a.windDirection, b.windDirection) << t;
        }
}

TEST(TmexFmodWhole, IsFmodToTheBit) {
    // Times of day in seconds with their fractions, angles, both signs, the edges of a period and
    // values too large for the quick way: the same bits as std::fmod.
    std::vector<double> xs = {0.0, -0.0, 86400.0, -86400.0, 86399.999999, 172800.0, 1e-300, 0x1p52, -0x1p53,
                              1e300, 359.99999999999994, 360.0, 719.9999999999999, -360.0, -0.5};
    uint64_t state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        double unit = static_cast<double>(state >> 11) * 0x1p-53;
        xs.push_back(1.7e9 + unit * 1e8 + static_cast<double>(i % 1000) / 1000.0); // seconds since 1970
        xs.push_back(86400.0 * static_cast<double>(i) + (unit - 0.5) * 1e-6);     // near a day's edge
        xs.push_back((unit - 0.5) * 2000.0);                                       // angles
    }
    for (double period : {86400.0, 360.0}) {
        for (double x : xs) {
            double want = std::fmod(x, period), got = sim::FmodWhole(x, period);
            EXPECT_EQ(std::signbit(want), std::signbit(got)) << x;
            EXPECT_EQ(want, got) << std::hexfloat << x << " % " << period;
        }
    }
    EXPECT_TRUE(std::isnan(sim::FmodWhole(std::nan(""), 360.0)));
    EXPECT_TRUE(std::isnan(sim::FmodWhole(INFINITY, 360.0)));
}

TEST_F(TmexWeatherModel, AnotherZoneMovesTheDailyCycleAtOnce) {
    // Asked twice at one moment with the zone set in between: the second answer is the new zone's.
    const int64_t t = kStartMs + 14 * kHourMs; // 14:00 CET, the warm part of the day
    sim::WeatherModel model;
    const double cet = model.At(t).temperatureC;
    platform::Clock::SetTimeZone("UTC+10"); // 03:00 there, near the coldest hour
    const double west = model.At(t).temperatureC;
    EXPECT_EQ(west, sim::WeatherModel().At(t).temperatureC);
    EXPECT_LT(west, cet - 2.0);
}
