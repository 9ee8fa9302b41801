// The wind sensor's speed side end to end: counter rate to revolutions per second, the correction curve,
// the spike filter, averages, gust, the daily high, the page fallback of a failing counter.
#include "DS2423SensorNet.h"

#include "onewire/WindData.h"
#include "platform/tmex/sim/DS2423.h"

using namespace sensor_net_test;

class WindSpeedTest : public SensorNetTest {
protected:
    void SetUp() override {
        SensorNetTest::SetUp();
        SpikeCount = 0;
        net->SetSlotCosts(0, 0, 0);
        counter = &net->Add<sim::DS2423>(net->Trunk(), 0x00000000A1B2ULL);
    }
    std::unique_ptr<WindData> MakeWind(const std::string& keys = "") {
        Sensors("[" + counter->rom().Text() + "]\r\nType=WindSpeed\r\n" + keys);
        return Make<WindData>(counter->rom(), 0, nullptr, 0);
    }
    sim::DS2423* counter = nullptr;
};

TEST_F(WindSpeedTest, ThirtyCountsASecondAreFifteenRevolutionsAndTheGoldenSpeed) {
    auto wind = MakeWind();
    EXPECT_EQ(Ini(counter->rom(), "MaxSpeedTime"),
              std::to_string(platform::UnixTime())); // a new station's high
    ASSERT_EQ(wind->Sample(), 1);                    // no direction device: the counter alone decides
    counter->AddCounts('B', 30);
    clock_->Advance(1000 - Microlan::kSessionRetryMs); // the session start sleeps the rest
    ASSERT_EQ(wind->Sample(), 1);

    EXPECT_FLOAT_EQ(wind->CountRate, 30.0f);
    EXPECT_NEAR(wind->Speed, 13.658325, 1e-5);
    // Averages, gust and high stay in raw revolutions per second.
    EXPECT_FLOAT_EQ(wind->MinAvgSpeed, 15.0f);
    EXPECT_FLOAT_EQ(wind->HourAvgSpeed, 15.0f);
    EXPECT_FLOAT_EQ(wind->Gust, 15.0f);
    EXPECT_FLOAT_EQ(wind->MaxSpeed, 15.0f);
    EXPECT_EQ(Ini(counter->rom(), "MaxSpeed"), "15");
    EXPECT_EQ(wind->ValueText, "15.0"); // 13.658 rev/s x 1.096 m/s
    const float read = wind->Speed;
    wind->Speed = 1.0f; // the text is that of the reading, whatever the speed became since
    EXPECT_EQ(wind->GetValueText(), "15.0");
    wind->Speed = read;
    EXPECT_EQ(wind->GetStatus(),
              "WIND: 13.66 0 15.00 15.00 15.00 15.00 15.00 2 0 " + std::to_string(wind->MaxSpeedTime));

    // The next reading moves the minute average by 1/AvgMinDiv (33 for the default 2000 / 60).
    counter->AddCounts('B', 2);
    clock_->Advance(1000 - Microlan::kSessionRetryMs); // the session start sleeps the rest
    ASSERT_EQ(wind->Sample(), 1);
    EXPECT_NEAR(wind->MinAvgSpeed, 1.0f / 33 + 32 * 15.0f / 33, 1e-4);
    EXPECT_FLOAT_EQ(wind->Gust, 15.0f);
}

TEST_F(WindSpeedTest, CurveSpikesAndLimits) {
    auto wind = MakeWind("Normalized=1\r\n");
    wind->UpdateSpeed(5.0f); // the first jump above twice the high (0) is taken
    EXPECT_FLOAT_EQ(wind->MaxSpeed, 5.0f);
    wind->UpdateSpeed(11.0f); // the second is dropped
    EXPECT_FLOAT_EQ(wind->MaxSpeed, 5.0f);
    wind->UpdateSpeed(14.99f); // the third is taken again
    EXPECT_FLOAT_EQ(wind->MaxSpeed, 14.99f);
    EXPECT_NEAR(wind->Speed, 13.792, 1e-3); // the curve just below 15
    EXPECT_EQ(SpikeCount, 3u);

    float before = wind->MinAvgSpeed;
    wind->UpdateSpeed(100.5f); // beyond any anemometer: nothing changes
    EXPECT_FLOAT_EQ(wind->MinAvgSpeed, before);
    EXPECT_EQ(SpikeCount, 3u);
    wind->UpdateSpeed(0.0f);
    EXPECT_EQ(wind->Speed, 0.0f); // not the curve's 0.248

    wind->MinuteMaxima[0] = 120;
    wind->CalculateGust();
    EXPECT_EQ(wind->Gust, 0.0f);
    EXPECT_EQ(wind->MinuteMaxima[0], 0.0f);
    EXPECT_EQ(wind->MinuteMaxima[1], 120.0f);
}

TEST_F(WindSpeedTest, SettingsUnitsAndBeaufort) {
    auto wind = MakeWind("Unit=7\r\nCntsPrRev=3\r\nAvgHourDiv=100\r\nMinAvgSpeed=2.5\r\nMaxSpeed=9\r\n");
    EXPECT_EQ(wind->Unit, 0);
    EXPECT_EQ(wind->CntsPrRev, 2);
    EXPECT_EQ(wind->AvgHourDiv, 2000u);
    EXPECT_EQ(wind->AvgMinDiv, 33u);
    EXPECT_EQ(wind->AvgDayDiv, 48000u);
    EXPECT_FLOAT_EQ(wind->DayAvgSpeed, 2.5f);
    EXPECT_EQ(Ini(counter->rom(), "MaxSpeedTime"), "<none>"); // a stored high keeps its time

    EXPECT_EQ(wind->ConvertSpeed(150), 0.0f);
    wind->SetUnit(2);
    EXPECT_EQ(wind->GetUnit(), "mph");
    EXPECT_FLOAT_EQ(wind->ConvertSpeed(10), 24.53f);
    EXPECT_EQ(Ini(counter->rom(), "Unit"), "2");
    wind->SetUnit(3);
    EXPECT_EQ(wind->GetUnit(), "knots");
    EXPECT_FLOAT_EQ(wind->ConvertSpeed(10), 21.3f); // 1.096 m/s a revolution, 1.944 knots a m/s
    EXPECT_EQ(wind->GetBeaufort(0.29f), 0);
    EXPECT_EQ(wind->GetBeaufort(0.3f), 1);
    EXPECT_EQ(wind->GetBeaufort(32.5f), 11);
    EXPECT_EQ(wind->GetBeaufort(32.6f), 12);

    // The divisors follow the samples of an hour only when there were more than 500 of them.
    auto hourEndsAt = [&](uint32_t samples) {
        wind->Samples = samples;
        wind->UpdateAverageDivisors();
        EXPECT_EQ(wind->SamplesAtDivisorUpdate, samples);
    };
    hourEndsAt(400);
    EXPECT_EQ(wind->AvgHourDiv, 2000u);
    hourEndsAt(1000);
    EXPECT_EQ(wind->AvgHourDiv, 1333u + 200u);
    EXPECT_EQ(wind->AvgMinDiv, 25u);
    EXPECT_EQ(wind->AvgDayDiv, 600u + 46000u);

    wind->SaveSettings();
    EXPECT_EQ(Ini(counter->rom(), "AvgDayDiv"), "46600");
    EXPECT_EQ(Ini(counter->rom(), "MinAvgSpeed"), "2.5");
    EXPECT_EQ(Ini(counter->rom(), "DirSerialNum"), "<none>"); // no direction device yet

    hourEndsAt(1500); // 500 samples
    EXPECT_EQ(wind->AvgHourDiv, 1533u);
    EXPECT_EQ(wind->AvgMinDiv, 25u);
    EXPECT_EQ(wind->AvgDayDiv, 46600u);
    hourEndsAt(2001); // 501
    EXPECT_EQ(wind->AvgHourDiv, 1022u + 167u);
    EXPECT_EQ(wind->AvgMinDiv, 19u);
    EXPECT_EQ(wind->AvgDayDiv, 501u + 44658u);
}

TEST_F(WindSpeedTest, AFailingCounterAlternatesBetweenItsPages) {
    auto wind = MakeWind("MaxRetry=1\r\n");
    counter->InjectCrcErrors(-1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(wind->Sample(), 0);
    EXPECT_EQ(wind->ReadPage, 15);
    EXPECT_EQ(wind->Sample(), 0); // the sixth failure in a row
    EXPECT_EQ(wind->ReadPage, 14);
    EXPECT_EQ(CountLog("Problems reading DS2423 page 15, trying 14..."), 1);
    EXPECT_EQ(wind->Sample(), 0);
    EXPECT_EQ(wind->ReadPage, 15);
    EXPECT_EQ(CountLog("Problems reading DS2423 page 14, trying 15..."), 1);

    counter->InjectCrcErrors(0);
    EXPECT_EQ(wind->Sample(), 1);
    EXPECT_EQ(wind->Sample(), 1);
    EXPECT_EQ(wind->ReadPage, 15);
    EXPECT_EQ(Ini(counter->rom(), "ReadPage"), "<none>"); // the page is not stored
}

TEST_F(WindSpeedTest, HtmlShowsSpeedsInTheDisplayUnit) {
    auto wind = MakeWind("Unit=1\r\n");
    wind->UpdateSpeed(10.0f);
    std::string html = wind->GetHTML();
    EXPECT_NE(html.find("<B>Wind</B>"), std::string::npos);
    EXPECT_NE(html.find("Gust</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>39.5 km/h</FONT>"), std::string::npos);
    EXPECT_NE(html.find("High</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>045&deg; @ 39.5 km/h</FONT>"),
              std::string::npos);
    EXPECT_NE(html.find("Dir. type</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>DS2407</FONT>"),
              std::string::npos);
    EXPECT_NE(html.find("<B>DS2423</B>"), std::string::npos);
}
