// A DS2423 that counts from 0 again (its battery changed, the chip reset), while the station was down or
// while it runs: what was counted so far is kept and counting goes on from the new count, so that no
// rain, rate, count or wind comes of the step; one line tells it, and the section keeps the moved starts.
#include "DS2423SensorNet.h"

#include "onewire/HourlyRun.h"
#include "onewire/RainGauge.h"
#include "onewire/WindData.h"
#include "platform/Clock.h"
#include "platform/Strings.h"
#include "platform/tmex/sim/DS2423.h"

using namespace sensor_net_test;
using platform::Format;

class CounterStartsAgain : public SensorNetTest {
protected:
    void SetUp() override {
        SensorNetTest::SetUp();
        SpikeCount = 0;
        net->SetSlotCosts(0, 0,
                          0); // rates come out exact: only the test and the session start move the clock
        device = &net->Add<sim::DS2423>(net->Trunk(), 0x0000005A7E01ULL);
    }
    // The sensor made from its section (`keys` after its Type), its chip counting `count`.
    template <class Sensor>
    std::unique_ptr<Sensor> MakeFrom(const std::string& type, const std::string& keys, uint32_t count) {
        Sensors("[" + device->rom().Text() + "]\r\nType=" + type + "\r\n" + keys);
        device->SetCounter(15, count);
        return Make<Sensor>(device->rom(), 0, nullptr, 0);
    }
    // A sample `ms` after the last one (its session start sleeps once before the read).
    template <class Sensor> void Sample(Sensor& sensor, uint32_t ms = 10000) {
        clock_->Advance(ms - Microlan::kSessionRetryMs);
        ASSERT_EQ(sensor.Sample(), 1);
    }
    // The lines that told a step back from `last` to `now`.
    int StepLines(const std::string& type, uint32_t last, uint32_t now) {
        return CountLog(Format("%s %s: Counter went back from %u to %u: it started again", type.c_str(),
                               device->rom().Text().c_str(), last, now));
    }
    // Every figure of the gauge, in counts (the rate in counts an hour).
    static std::string Figures(const RainGauge& g) {
        return Format(
            "today %u, week %u, month %u, total %u, rate %.0f, last hour %u, a minute %u, an hour %u",
            g.TodayCounts(), g.WeekCounts(), g.MonthCounts(), g.TotalCounts(), g.RateCounts(),
            g.LastHourCounts(), g.CountsPerMinute(), g.CountsPerHour());
    }
    sim::DS2423* device = nullptr;
};

// The section kept 5000 counts, 10 of them today, and the chip counts 100 at the start (2026-12-06 is a
// Sunday, whose 10 counts the week holds).
TEST_F(CounterStartsAgain, ARainGaugeThatStartedAgainWhileTheStationWasDownKeepsTheRainSoFar) {
    auto gauge =
        MakeFrom<RainGauge>("RainGauge",
                            "RunningCounter=5000\r\nTodayCounter=4990\r\nMonthCounter=4000\r\n"
                            "StartCounter=3000\r\nResetTime=1796000000\r\nWeeklyRain=10 0 0 0 0 0 25\r\n",
                            100);
    Sample(*gauge);
    Sample(*gauge); // the sample after the first takes a minute step at once
    EXPECT_EQ(Figures(*gauge),
              "today 10, week 35, month 1000, total 2000, rate 0, last hour 0, a minute 0, an hour 0");
    EXPECT_EQ(StepLines("RainGauge", 5000, 100), 1);
    EXPECT_EQ(CountLog("the rate and the last hour are kept, and counting goes on from 100"), 1);
    // The starts as they now stand, with the count they are taken against.
    EXPECT_EQ(Ini(device->rom(), "RunningCounter"), "100");
    EXPECT_EQ(Ini(device->rom(), "TodayCounter"), "90");
    EXPECT_EQ(Ini(device->rom(), "MonthCounter"), "-900");
    EXPECT_EQ(Ini(device->rom(), "StartCounter"), "-1900");
    EXPECT_EQ(Ini(device->rom(), "ResetTime"), "1796000000");
    EXPECT_NE(gauge->GetHTML().find("Today</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>0.10 in</FONT>"),
              std::string::npos);

    device->AddCounts('B', 3);
    Sample(*gauge);
    EXPECT_EQ(Figures(*gauge),
              "today 13, week 38, month 1003, total 2003, rate 18, last hour 3, a minute 0, an hour 3");

    // The next start goes on from the section without a step back: the 2 counts while it was down are
    // today's (the 3 before them were not saved, and are as well).
    device->AddCounts('B', 2);
    auto again = Make<RainGauge>(device->rom(), 0, nullptr, 0);
    Sample(*again);
    Sample(*again);
    EXPECT_EQ(again->TodayCounts(), 15u);
    EXPECT_EQ(again->TotalCounts(), 2005u);
    EXPECT_EQ(CountLog("Counter went back"), 1);
}

// A shower of 4 counts, the chip then starts again at 0 and stays there: every figure stays as it was,
// the rate and the last hour fall back after 10 and 60 dry minutes as they do on any dry day (a count
// of 0 read is a count), and the next tips count from 0.
TEST_F(CounterStartsAgain, ARainGaugeThatStartsAgainWhileTheStationRunsKeepsEveryFigure) {
    auto gauge = MakeFrom<RainGauge>("RainGauge",
                                     "RunningCounter=5000\r\nTodayCounter=4990\r\nMonthCounter=4000\r\n"
                                     "StartCounter=3000\r\nResetTime=1796000000\r\n",
                                     5000);
    Sample(*gauge);
    Sample(*gauge);
    for (int minute = 0; minute < 4; ++minute) {
        device->AddCounts('B', 1);
        Sample(*gauge);
        gauge->CalculateRate();
    }
    Sample(*gauge);
    const std::string shower =
        "today 14, week 14, month 1004, total 2004, rate 24, last hour 4, a minute 1, an hour 4";
    ASSERT_EQ(Figures(*gauge), shower);
    const uint32_t lastTip = gauge->LastCountTime;

    device->PowerOnReset();
    Sample(*gauge);
    EXPECT_EQ(Figures(*gauge), shower);
    EXPECT_EQ(gauge->CountRate, 0.0f);
    EXPECT_EQ(gauge->LastCountTime, lastTip); // no tip
    EXPECT_EQ(gauge->RunningCounter, 0);
    EXPECT_EQ(StepLines("RainGauge", 5004, 0), 1);
    EXPECT_EQ(Ini(device->rom(), "TodayCounter"), "-14");
    EXPECT_EQ(Ini(device->rom(), "MonthCounter"), "-1004");
    EXPECT_EQ(Ini(device->rom(), "StartCounter"), "-2004");

    for (int dry = 1; dry <= 60; ++dry) {
        gauge->CalculateRate();
        Sample(*gauge);
        if (dry == 10) {
            EXPECT_EQ(
                Figures(*gauge),
                "today 14, week 14, month 1004, total 2004, rate 0, last hour 4, a minute 0, an hour 4");
        }
    }
    EXPECT_EQ(Figures(*gauge),
              "today 14, week 14, month 1004, total 2004, rate 0, last hour 0, a minute 0, an hour 0");

    device->AddCounts('B', 2);
    Sample(*gauge);
    EXPECT_EQ(Figures(*gauge),
              "today 16, week 16, month 1006, total 2006, rate 12, last hour 2, a minute 0, an hour 2");
    EXPECT_EQ(CountLog("Counter went back"), 1);
}

// A count that wraps past 2^32 is what the counter counted; only a step forward of 2^31 counts or more,
// which no gauge tips between two reads, is a counter that went back.
TEST_F(CounterStartsAgain, ACountThatWrapsPast2To32IsRainAndNoStepBack) {
    auto gauge = MakeFrom<RainGauge>("RainGauge", "RunningCounter=-16\r\nTodayCounter=-20\r\n", 0xFFFFFFF0u);
    Sample(*gauge);
    Sample(*gauge);
    device->AddCounts('B', 32); // 0x10
    Sample(*gauge);
    EXPECT_EQ(gauge->TodayCounts(), 36u);
    EXPECT_DOUBLE_EQ(gauge->RateCounts(), 6 * 32.0);
    EXPECT_EQ(CountLog("Counter went back"), 0);

    device->SetCounter(15, 0x10u + 0x80000001u);
    Sample(*gauge);
    EXPECT_EQ(StepLines("RainGauge", 0x10u, 0x80000011u), 1);
    EXPECT_EQ(gauge->TodayCounts(), 36u);
}

// The boundary of the two rules, the rain's and the count rate's: a step forward of 2^31 - 1 is a count
// for both, one of exactly 2^31 a counter that went back for both (no rain, no rate).
TEST_F(CounterStartsAgain, AStepOfExactly2To31IsAStepBackForTheRainAndTheRateAlike) {
    auto gauge = MakeFrom<RainGauge>("RainGauge", "RunningCounter=16\r\nTodayCounter=16\r\n", 16);
    Sample(*gauge);
    Sample(*gauge);
    const uint32_t high = 16u + 0x7FFFFFFFu;
    device->SetCounter(15, high);
    Sample(*gauge);
    EXPECT_EQ(gauge->TodayCounts(), 0x7FFFFFFFu);
    EXPECT_GT(gauge->CountRate, 0.0f);
    EXPECT_EQ(CountLog("Counter went back"), 0);

    device->SetCounter(15, high + 0x80000000u);
    Sample(*gauge);
    EXPECT_EQ(StepLines("RainGauge", high, high + 0x80000000u), 1);
    EXPECT_EQ(gauge->TodayCounts(), 0x7FFFFFFFu);
    EXPECT_EQ(gauge->CountRate, 0.0f);
}

// The chip starts again between the first two reads of a start: the rate and the last hour, which start
// at the first count read, move with the other counts and show no rain.
TEST_F(CounterStartsAgain, ARainGaugeThatStartsAgainBetweenTheFirstTwoReadsShowsNoRate) {
    auto gauge = MakeFrom<RainGauge>("RainGauge",
                                     "RunningCounter=5000\r\nTodayCounter=4990\r\nMonthCounter=4000\r\n"
                                     "StartCounter=3000\r\nResetTime=1796000000\r\n",
                                     5000);
    Sample(*gauge);
    device->PowerOnReset();
    Sample(*gauge);
    EXPECT_EQ(StepLines("RainGauge", 5000, 0), 1);
    EXPECT_EQ(Figures(*gauge),
              "today 10, week 0, month 1000, total 2000, rate 0, last hour 0, a minute 0, an hour 0");
    device->AddCounts('B', 1);
    Sample(*gauge);
    EXPECT_EQ(Figures(*gauge),
              "today 11, week 11, month 1001, total 2001, rate 6, last hour 1, a minute 0, an hour 1");
}

// A count that dips by one and comes back, read after read: its steps back are told as power-on values
// taken are, the first at once, later ones at most once an hour with their count; twenty minutes without
// one end the run with the count not yet told, a step back after that is told at once, and the end of
// the session tells what is left.
TEST_F(CounterStartsAgain, AFlakyCountThatDipsAndComesBackIsToldAtMostOnceAnHour) {
    auto counter = MakeFrom<DS2423>(
        "DS2423", "Description=Lightning\r\nRunningCounter=5000\r\nTodayCounter=5000\r\n", 5000);
    Sample(*counter);
    const std::string back = "DS2423 " + device->rom().Text() + ": Counter went back ";
    unsigned dips = 0;
    for (int i = 0; i < 6 * 65; ++i) { // 65 minutes of reads ten seconds apart, every other one a dip
        device->SetCounter(15, i % 2 == 0 ? 5000 : 4999);
        Sample(*counter);
        dips += i % 2;
    }
    EXPECT_EQ(CountLog(back), 2);
    EXPECT_EQ(CountLog(back + "from 5000 to 4999: it started again"), 1);
    const unsigned hourly = CountBefore(back, " times since the last such line): it started again");
    EXPECT_NEAR(hourly, 180, 1);
    const platform::LocalTime last = platform::Clock::Get().Now();
    for (int i = 0; i < 6 * 20; ++i) // twenty minutes without a dip
        Sample(*counter);
    ASSERT_EQ(CountLog(back), 3);
    EXPECT_EQ(1 + hourly +
                  CountBefore(back, platform::Format(
                                        " more times since the last such line, the last at %02d:%02d:%02d",
                                        last.hour, last.minute, last.second)),
              dips)
        << "every step back is told, and the line names when the last came";

    device->PowerOnReset();
    Sample(*counter);
    EXPECT_EQ(CountLog(back), 4) << "a step back after the quiet spell is told at once";
    device->SetCounter(15, 10);
    Sample(*counter);
    device->SetCounter(15, 9);
    Sample(*counter);
    EXPECT_EQ(CountLog(back), 4);
    counter->EndRuns();
    EXPECT_EQ(CountLog(back + "1 more times since the last such line"), 1);
}

// A counter read every ten minutes (its turn among many counters on slow rounds) whose count dips every
// other read: its steps back, twenty minutes apart, stay one run; three read intervals without one end
// it with its count, and the next step back is told at once.
TEST_F(CounterStartsAgain, ACounterReadSeldomKeepsItsStepsBackInOneRun) {
    auto counter = MakeFrom<DS2423>(
        "DS2423", "Description=Lightning\r\nRunningCounter=5000\r\nTodayCounter=5000\r\n", 5000);
    counter->SetReadInterval(600);
    Sample(*counter);
    const std::string back = "DS2423 " + device->rom().Text() + ": Counter went back ";
    const std::string first = back + "from 5000 to 4999: it started again";
    for (int i = 0; i < 6 * 3; ++i) { // three hours, every other read a dip
        device->SetCounter(15, i % 2 == 0 ? 5000 : 4999);
        Sample(*counter, 600000);
    }
    EXPECT_EQ(CountLog(first), 1) << "one run";
    EXPECT_LE(CountLog(back), 1 + 3);
    const int lines = CountLog(back);
    device->SetCounter(15, 5000);
    Sample(*counter, 600000);
    Sample(*counter, 600000);
    EXPECT_EQ(CountLog(back), lines) << "twenty minutes without a dip: the run goes on";
    Sample(*counter, 600000);
    EXPECT_EQ(CountLog(" more times since the last such line"), 1) << "thirty: it has ended";
    device->SetCounter(15, 4999);
    Sample(*counter, 600000);
    EXPECT_EQ(CountLog(first), 2) << "told at once";
}

// A counter without a role (a lightning counter) keeps today's count and its counts a minute and an hour;
// at the start its section's count (of the last save) tells the step.
TEST_F(CounterStartsAgain, APlainCounterKeepsTodayAndItsCountsAMinuteAndAnHour) {
    auto counter = MakeFrom<DS2423>(
        "DS2423", "Description=Lightning\r\nRunningCounter=5000\r\nTodayCounter=4990\r\n", 100);
    Sample(*counter);
    EXPECT_EQ(StepLines("DS2423", 5000, 100), 1);
    EXPECT_EQ(CountLog("today's count and the counts of the last minute and hour are kept"), 1);
    EXPECT_EQ(Ini(device->rom(), "TodayCounter"), "90");
    EXPECT_EQ(Ini(device->rom(), "RunningCounter"), "100");
    device->AddCounts('B', 2);
    Sample(*counter);
    EXPECT_EQ(counter->CountsToday(), 12u);

    // While it runs, twenty minutes on (a step back of its own, not one of a run of them): three minutes
    // of 5 counts, then the chip starts again and counts on.
    Sample(*counter, THourlyRun::kQuietMs);
    for (int minute = 0; minute < 3; ++minute) {
        device->AddCounts('B', 5);
        Sample(*counter);
        counter->UpdateCountHistory();
    }
    const std::string before = counter->GetStatus(); // "<serial>: 117 0.50 5 17"
    ASSERT_EQ(before, device->rom().Text() + ": 117 0.50 5 17");
    device->PowerOnReset();
    Sample(*counter);
    EXPECT_EQ(counter->CountRate, 0.0f);
    EXPECT_EQ(counter->CountsToday(), 27u);
    EXPECT_EQ(counter->GetStatus(), device->rom().Text() + ": 0 0.00 5 17");
    EXPECT_EQ(StepLines("DS2423", 117, 0), 1);
    device->AddCounts('B', 4);
    Sample(*counter);
    counter->UpdateCountHistory();
    EXPECT_EQ(counter->GetStatus(), device->rom().Text() + ": 4 0.40 4 21");
    EXPECT_EQ(counter->CountsToday(), 31u);
}

// The anemometer's counter starting again gives no wind speed: neither a calm nor a gale, and the
// averages stay; the next read gives the speed again.
TEST_F(CounterStartsAgain, TheAnemometerTakesNoSpeedFromTheStep) {
    auto wind = MakeFrom<WindData>("WindSpeed", "MinAvgSpeed=2\r\nMaxSpeed=12\r\nNormalized=0\r\n", 5000);
    Sample(*wind);
    const float kept = wind->MinAvgSpeed;
    // Between the first two reads of the start.
    device->PowerOnReset();
    device->AddCounts('B', 20);
    Sample(*wind, 1000);
    EXPECT_EQ(wind->Speed, 0.0f);
    EXPECT_FLOAT_EQ(wind->MinAvgSpeed, kept);
    EXPECT_EQ(wind->CountsPerHour(), 0u);
    EXPECT_EQ(StepLines("WindSpeed", 5000, 20), 1);
    EXPECT_EQ(CountLog("no wind speed is taken from it"), 1);

    // While it runs, twenty minutes on (a step back of its own, not one of a run of them): 20 counts a
    // second are 10 revolutions.
    Sample(*wind, THourlyRun::kQuietMs);
    device->AddCounts('B', 20);
    Sample(*wind, 1000);
    ASSERT_FLOAT_EQ(wind->Speed, 10.0f);
    const float minuteAverage = wind->MinAvgSpeed, hourAverage = wind->HourAvgSpeed;
    device->PowerOnReset();
    device->AddCounts('B', 3);
    Sample(*wind, 1000);
    EXPECT_FLOAT_EQ(wind->Speed, 10.0f);
    EXPECT_FLOAT_EQ(wind->MinAvgSpeed, minuteAverage);
    EXPECT_FLOAT_EQ(wind->HourAvgSpeed, hourAverage);
    EXPECT_EQ(wind->CountsPerHour(), 20u);
    EXPECT_EQ(StepLines("WindSpeed", 40, 3), 1);
    device->AddCounts('B', 16);
    Sample(*wind, 1000);
    EXPECT_FLOAT_EQ(wind->Speed, 8.0f);
}
