// The rain gauge end to end: counts from the simulated counter become today, week, month, total and
// rate, in inches on the page and the data log and in millimetres on the status line.
#include "DS2423SensorNet.h"

#include "onewire/RainGauge.h"
#include "platform/DateTime.h"
#include "platform/tmex/sim/DS2423.h"

using namespace sensor_net_test;

class RainGaugeTest : public SensorNetTest {
protected:
    void SetUp() override {
        SensorNetTest::SetUp();
        device = &net->Add<sim::DS2423>(net->Trunk(), 0x0000004A5B01ULL);
    }
    std::string Section() const { return "[" + device->rom().Text() + "]\r\nType=RainGauge\r\n"; }
    sim::DS2423* device = nullptr;
};

TEST_F(RainGaugeTest, FirstRoundsShowNoRateSpikeFromTheLoadedCount) {
    Sensors(Section() + "RunningCounter=12345\r\nTodayCounter=12300\r\nMonthCounter=12000\r\n");
    device->SetCounter(15, 12345);
    auto gauge = Make<RainGauge>(device->rom(), 0, nullptr, 0);
    EXPECT_EQ(gauge->RateCounts(), 0.0); // 12345 counts would read as 740 in/h
    ASSERT_EQ(gauge->Sample(), 1);
    EXPECT_EQ(gauge->RateCounts(), 0.0);

    device->AddCounts('B', 3);
    clock_->Advance(10000);
    ASSERT_EQ(gauge->Sample(), 1); // the sample after the first takes one minute step at once
    EXPECT_EQ(gauge->RateReference, 12345);
    EXPECT_DOUBLE_EQ(gauge->RateCounts(), 6 * 3.0);
    EXPECT_EQ(gauge->TodayCounts(), 48u);
    EXPECT_EQ(gauge->ValueText, "0.48");
    EXPECT_EQ(gauge->WeeklyRain[0], 48); // 2026-12-06 is a Sunday
    EXPECT_EQ(gauge->GetValueText(), "0.48");
}

TEST_F(RainGaugeTest, RateTakesTheCountRateMinutesBackOrTheFallback) {
    Sensors(Section() + "RunningCounter=100\r\nRateMinutes=7\r\n");
    auto gauge = Make<RainGauge>(device->rom(), 0, nullptr, 0);
    EXPECT_EQ(gauge->RateMinutes, 7);
    for (int minute = 1; minute <= 8; ++minute) {
        gauge->RunningCounter = 100 + minute;
        gauge->MinuteCounts[0] = gauge->RunningCounter;
        gauge->CalculateRate();
    }
    // The count seven minute steps back is 102; 60 / 7 = 8 (integer), not 8.57.
    EXPECT_EQ(gauge->RateReference, 102);
    EXPECT_DOUBLE_EQ(gauge->RateCounts(), 8 * 6.0);
    // A minute without a read is skipped in favour of the fallback (the loaded count).
    gauge->MinuteCounts[0] = 0;
    for (int minute = 0; minute < 8; ++minute)
        gauge->CalculateRate();
    EXPECT_EQ(gauge->RateReference, 100);
}

TEST_F(RainGaugeTest, SettingsAreClampedAndTheWeekIsKeptInTheWorkingFolder) {
    Sensors(Section() + "CountsPrInch=300\r\nRateMinutes=61\r\nResetTime=0\r\nWeeklyRain=1 2 3\r\n");
    auto gauge = Make<RainGauge>(device->rom(), 0, nullptr, 0);
    EXPECT_EQ(gauge->CountsPrInch, 44); // the low 8 bits of 300
    EXPECT_EQ(gauge->RateMinutes, 10);
    EXPECT_EQ(gauge->ResetTime, static_cast<uint32_t>(platform::UnixTime()));
    EXPECT_EQ(Ini(device->rom(), "ResetTime"), "0"); // not at the load
    EXPECT_EQ(gauge->WeeklyRain[2], 3);
    EXPECT_EQ(gauge->WeeklyRain[3], 0);
    EXPECT_EQ(gauge->Description, "RainGauge");

    Sensors(Section() + "CountsPrInch=4\r\nRateMinutes=0\r\n");
    auto other = Make<RainGauge>(device->rom(), 0, nullptr, 0);
    EXPECT_EQ(other->CountsPrInch, 100);
    EXPECT_EQ(other->RateMinutes, 10);

    other->WeeklyRain[0] = 9;
    other->WeeklyRain[4] = 5;
    other->ResetDaily(); // Sunday's entry opens anew and the week is stored
    EXPECT_EQ(Ini(device->rom(), "WeeklyRain"), "0 0 0 0 5 0 0");
}

TEST_F(RainGaugeTest, StatusLineInMillimetresPageAndLogInTheDisplayUnit) {
    Sensors(Section() + "RunningCounter=250\r\nTodayCounter=200\r\nMonthCounter=150\r\nStartCounter=50\r\n"
                        "ResetTime=1796000000\r\n");
    clock_->SetUnixTimeMs(1797063600000LL); // Saturday 2026-12-12 09:20 local
    device->SetCounter(15, 250);
    auto gauge = Make<RainGauge>(device->rom(), 0, nullptr, 0);
    ASSERT_EQ(gauge->Sample(), 1);
    EXPECT_NE(gauge->GetHTML().find("Last tip</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>n/a<"),
              std::string::npos)
        << "no tip yet";
    device->AddCounts('B', 10);
    clock_->Advance(2000);
    ASSERT_EQ(gauge->Sample(), 1);
    EXPECT_EQ(gauge->WeeklyRain[6], 60);

    EXPECT_EQ(gauge->GetStatus(),
              "RAIN: 15.24 15.24 27.94 0.00 0.00 0.00 0.00 0.00 0.00 15.24 15.24 53.34 1796000000");
    std::string html = gauge->GetHTML();
    EXPECT_NE(html.find("Today</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>0.60 in</FONT></TD></TR>\r\n"),
              std::string::npos);
    EXPECT_NE(html.find("Total</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>2.10 in</FONT>"), std::string::npos);
    EXPECT_NE(html.find("Last tip</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>Sat Dec 12 09:20:0"),
              std::string::npos);

    gauge->SetUnitInch(0);
    EXPECT_EQ(gauge->GetUnit(), "mm");
    EXPECT_EQ(Ini(device->rom(), "RainUnitInch"), "0");
    gauge->LogData();
    EXPECT_EQ(Read("DATA/RainGauge-122026.TXT"), "12.12.2026\t09:20\t27.94\t15.24\r\n");

    gauge->ResetMonth();
    gauge->ResetTotal();
    EXPECT_EQ(Ini(device->rom(), "MonthCounter"), "260");
    EXPECT_EQ(Ini(device->rom(), "StartCounter"), "260");
}

// A gauge the station has not counted before: its chip has counted since it was made, so today, the
// month, the total and the rate start at its first count, which the section keeps from then on.
TEST_F(RainGaugeTest, ANewGaugeCountsFromItsFirstRead) {
    Sensors(Section());
    device->SetCounter(15, 4200);
    auto gauge = Make<RainGauge>(device->rom(), 0, nullptr, 0);
    ASSERT_EQ(gauge->Sample(), 1);
    EXPECT_EQ(Ini(device->rom(), "StartCounter"), "4200");
    EXPECT_EQ(Ini(device->rom(), "MonthCounter"), "4200");
    EXPECT_EQ(Ini(device->rom(), "TodayCounter"), "4200");
    device->AddCounts('B', 3);
    clock_->Advance(10000);
    ASSERT_EQ(gauge->Sample(), 1);
    EXPECT_EQ(gauge->TodayCounts(), 3u);
    EXPECT_EQ(gauge->MonthCounts(), 3u);
    EXPECT_EQ(gauge->TotalCounts(), 3u);
    EXPECT_DOUBLE_EQ(gauge->RateCounts(), 6 * 3.0);
    EXPECT_EQ(gauge->ValueText, "0.03");

    // The next start knows the gauge: its totals go on from what the section holds.
    auto again = Make<RainGauge>(device->rom(), 0, nullptr, 0);
    EXPECT_EQ(again->StartCounter, 4200);
    again->RunningCounter = 4210;
    EXPECT_EQ(again->TotalCounts(), 10u);
}

// A section with the total's start but not its date (written by hand, or before the station wrote
// dates): the total is dated from the first start, which is written then and stays on the next starts.
TEST_F(RainGaugeTest, ATotalWithoutItsDateIsDatedFromTheFirstStartOnly) {
    for (const std::string keys : {"", "ResetTime=0\r\n"}) {
        SCOPED_TRACE(keys.empty() ? "no ResetTime" : "ResetTime=0");
        Sensors(Section() + "RunningCounter=250\r\nStartCounter=50\r\n" + keys);
        device->SetCounter(15, 250);
        auto gauge = Make<RainGauge>(device->rom(), 0, nullptr, 0);
        ASSERT_EQ(gauge->Sample(), 1);
        const uint32_t dated = gauge->ResetTime;
        EXPECT_EQ(Ini(device->rom(), "ResetTime"), std::to_string(dated));
        const std::string reset =
            "Reset</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>" + platform::CTime(dated).substr(0, 24);
        EXPECT_NE(gauge->GetHTML().find(reset), std::string::npos);

        clock_->Advance(86400 * 1000); // the next start, a day later
        auto again = Make<RainGauge>(device->rom(), 0, nullptr, 0);
        ASSERT_EQ(again->Sample(), 1);
        EXPECT_EQ(again->ResetTime, dated);
        EXPECT_NE(again->GetHTML().find(reset), std::string::npos);
        EXPECT_EQ(again->TotalCounts(), 200u);
    }
}

// 50 counts fell while the station was down (kept 4150, the chip counts 4200 at the start): they are
// today's and the month's, but neither rate nor last hour, at any minute of the first hour, whether the
// first read fails or a minute step falls between the first two reads. Rain after the start is both.
TEST_F(RainGaugeTest, RainThatFellWhileTheStationWasDownIsNoRateNorLastHour) {
    enum Start { TwoReads, FirstReadFails, MinuteStepBetween };
    const char* const named[] = {"two reads", "the first read fails", "a minute step between the two"};
    for (Start start : {TwoReads, FirstReadFails, MinuteStepBetween}) {
        SCOPED_TRACE(named[start]);
        Sensors(Section() + "RunningCounter=4150\r\nTodayCounter=4150\r\nMonthCounter=4000\r\n");
        device->SetCounter(15, 4200);
        auto gauge = Make<RainGauge>(device->rom(), 0, nullptr, 0);
        auto lastHour = [&] { return CountDistance(gauge->RunningCounter, gauge->RateFallback); };
        auto sample = [&] {
            clock_->Advance(10000);
            ASSERT_EQ(gauge->Sample(), 1);
        };
        if (start == FirstReadFails) {
            device->InjectCrcErrors(-1);
            EXPECT_EQ(gauge->Sample(), 0);
            ASSERT_EQ(gauge->Samples, 1u);
            device->InjectCrcErrors(0);
        }
        sample();
        EXPECT_EQ(gauge->RunningCounter, 4150); // the first read keeps the count
        EXPECT_EQ(gauge->RateCounts(), 0.0);
        EXPECT_EQ(lastHour(), 0u);
        if (start == MinuteStepBetween) gauge->CalculateRate();
        for (int minute = 0; minute <= 61; ++minute) {
            sample();
            const uint32_t today = gauge->TodayCounts(), hour = lastHour();
            const double rate = gauge->RateCounts();
            const uint32_t history = gauge->CountsPerMinute() + gauge->CountsPerHour();
            if (today != 50 || rate != 0 || hour != 0 || history != 0) {
                ADD_FAILURE() << "minute " << minute << ": today " << today << ", rate " << rate
                              << ", last hour " << hour << ", counts a minute and an hour " << history;
                break;
            }
            gauge->CalculateRate();
        }
        EXPECT_EQ(gauge->MonthCounts(), 200u);
        EXPECT_EQ(gauge->ValueText, "0.50");

        device->AddCounts('B', 3);
        sample();
        EXPECT_DOUBLE_EQ(gauge->RateCounts(), 6 * 3.0);
        EXPECT_EQ(lastHour(), 3u);
        EXPECT_EQ(gauge->TodayCounts(), 53u);
    }
}
