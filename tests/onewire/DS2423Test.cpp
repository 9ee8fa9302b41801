// The counter end to end through the simulated net: the page read with its counter, the multiplier,
// the count rate, failed reads, the settings it keeps.
#include "DS2423SensorNet.h"

#include "onewire/DS2423.h"
#include "platform/tmex/sim/DS2423.h"

using namespace sensor_net_test;

class DS2423Counter : public SensorNetTest {
protected:
    void SetUp() override {
        SensorNetTest::SetUp();
        net->SetSlotCosts(0, 0,
                          0); // rates come out exact: only the test and the session start move the clock
        device = &net->Add<sim::DS2423>(net->Trunk(), 0x0A0B0C0D0E01ULL);
    }
    // Moves the clock so that the next sample reads `ms` after the last one: each sample's session start
    // sleeps once before its read.
    void Advance(uint32_t ms) { clock_->Advance(ms - Microlan::kSessionRetryMs); }
    sim::DS2423* device = nullptr;
};

TEST_F(DS2423Counter, FirstReadSeedsThenTheRateFollowsTheCounts) {
    device->AddCounts('B', 500);
    auto counter = Make<DS2423>(device->rom(), 0, nullptr, 0);
    EXPECT_EQ(Ini(device->rom(), "Type"), "DS2423"); // written back at once

    ASSERT_EQ(counter->Sample(), 1);
    EXPECT_EQ(counter->RunningCounter, 0); // the first read changes neither count nor rate
    EXPECT_EQ(counter->CountRate, 0.0f);
    EXPECT_EQ(counter->CountHistory[60], 500);
    EXPECT_EQ(Ini(device->rom(), "TodayCounter"), "500"); // today starts at the first count, not at 0

    device->AddCounts('B', 30);
    Advance(1000);
    ASSERT_EQ(counter->Sample(), 1);
    EXPECT_EQ(counter->RunningCounter, 530);
    EXPECT_EQ(counter->CountChanged, 1);
    EXPECT_FLOAT_EQ(counter->CountRate, 30.0f);
    EXPECT_EQ(counter->LastCountTime, static_cast<uint32_t>(platform::UnixTime()));
    EXPECT_EQ(counter->CountsToday(), 30u);

    // A counter that started again reads lower: no rate, but the count is taken (and the minute history
    // moves with it: below).
    device->SetCounter(15, 100);
    Advance(1000);
    ASSERT_EQ(counter->Sample(), 1);
    EXPECT_EQ(counter->RunningCounter, 100);
    EXPECT_EQ(counter->CountRate, 0.0f);

    // Two reads within one millisecond give no rate either.
    device->AddCounts('B', 5);
    ASSERT_TRUE(Microlan::StartSession());
    ASSERT_EQ(counter->Read(), 1);
    device->AddCounts('B', 5);
    ASSERT_EQ(counter->Read(), 1);
    Microlan::EndSession();
    EXPECT_EQ(counter->CountRate, 0.0f);

    counter->UpdateCountHistory();
    // The counts since the first read: 30 before the counter started again and 10 after.
    EXPECT_EQ(counter->GetStatus(), device->rom().Text() + ": 110 0.00 40 40");
}

TEST_F(DS2423Counter, CountsPerMinuteAndPerHourComeFromTheMinuteHistory) {
    auto counter = Make<DS2423>(device->rom(), 0, nullptr, 0);
    for (int minute = 0; minute <= 70; ++minute) { // ten counts a minute
        counter->RunningCounter = 10 * minute;
        counter->UpdateCountHistory();
    }
    counter->RunningCounter = 705;
    // A minute: the last two minute steps; an hour: now against the step 59 before the last (110).
    EXPECT_EQ(counter->GetStatus(), device->rom().Text() + ": 705 0.00 10 595");
}

TEST_F(DS2423Counter, MultiplierScalesCountsAndRateWithoutSignedOverflow) {
    Sensors("[" + device->rom().Text() + "]\r\nMultiplier=3\r\nReadPage=14\r\n");
    device->SetCounter(14, 0x60000000u); // times 3 runs past 2^32: the product wraps like the counter
    auto counter = Make<DS2423>(device->rom(), 0, nullptr, 0);
    EXPECT_EQ(counter->ReadPage, 14);
    ASSERT_EQ(counter->Sample(), 1);
    EXPECT_EQ(counter->PreviousCount, 0x20000000);

    device->AddCounts('A', 10);
    Advance(500);
    ASSERT_EQ(counter->Sample(), 1);
    EXPECT_EQ(counter->RunningCounter, 0x20000000 + 30);
    EXPECT_FLOAT_EQ(counter->CountRate, 60.0f);
}

TEST_F(DS2423Counter, FailedPageReadLeavesTheCountAndIsRetried) {
    device->AddCounts('B', 7);
    auto counter = Make<DS2423>(device->rom(), 0, nullptr, 0);
    ASSERT_EQ(counter->Sample(), 1);

    device->InjectCrcErrors(-1);
    device->AddCounts('B', 3);
    clock_->Advance(1000);
    EXPECT_EQ(counter->Sample(), 0);
    EXPECT_EQ(counter->ClassCounter, 3u); // three tries, each a failed page read
    EXPECT_EQ(counter->ErrorCount, 1u);
    EXPECT_EQ(counter->PreviousCount, 7);

    device->InjectCrcErrors(0);
    EXPECT_EQ(counter->Sample(), 1);
    EXPECT_EQ(counter->ClassCounter, 0u);
    EXPECT_EQ(counter->RunningCounter, 10);
}

TEST_F(DS2423Counter, SettingsPageRangeAndTheRainGaugeCountOnly) {
    const std::string section = "[" + device->rom().Text() + "]\r\n";
    Sensors(section + "ReadPage=13\r\nRunningCounter=77\r\nType=raingauge\r\n");
    auto plain = Make<DS2423>(device->rom(), 0, nullptr, 0);
    EXPECT_EQ(plain->ReadPage, 15);
    EXPECT_EQ(plain->RunningCounter, 0); // only the exact Type "RainGauge" keeps its count
    EXPECT_EQ(plain->TodayCounter, 0);

    Sensors(section + "ReadPage=16\r\nRunningCounter=77\r\nType=RainGauge\r\n");
    auto rain = Make<DS2423>(device->rom(), 0, nullptr, 0);
    EXPECT_EQ(rain->ReadPage, 15);
    EXPECT_EQ(rain->RunningCounter, 77);
    EXPECT_EQ(rain->TodayCounter, 77);

    rain->RunningCounter = 90;
    rain->ResetDaily();
    rain->SaveSettings();
    EXPECT_EQ(Ini(device->rom(), "TodayCounter"), "90");
    EXPECT_EQ(Ini(device->rom(), "RunningCounter"), "90");
    EXPECT_EQ(Ini(device->rom(), "ReadPage"), "15");
}

TEST_F(DS2423Counter, DataLineAndHtml) {
    Sensors("[" + device->rom().Text() + "]\r\nDescription=Lightning/1\r\n");
    auto counter = Make<DS2423>(device->rom(), 0, nullptr, 0);
    counter->RunningCounter = 42;
    counter->TodayCounter = 40;
    counter->LogData();
    // 2026-12-06 14:03 local; the '/' of the description cannot leave DATA.
    EXPECT_EQ(Read("DATA/Lightning_1-122026.TXT"), "06.12.2026\t14:03\t042  0.0 000  042  002\r\n");
    std::string html = counter->GetHTML();
    EXPECT_NE(html.find("<B>DS2423</B>"), std::string::npos);
    EXPECT_NE(html.find("<FONT SIZE=2>Counter</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>42</FONT>"),
              std::string::npos);
    EXPECT_NE(html.find("Counts/second</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>0.0</FONT>"),
              std::string::npos);
    EXPECT_EQ(html.substr(html.size() - 18), "</TD></TR></TABLE>");

    // A count past 2^31 is a count like any other, in the line and on the page.
    counter->RunningCounter = static_cast<int32_t>(0x80000010u);
    counter->TodayCounter = static_cast<int32_t>(0x7FFFFFF0u);
    counter->ResetHistory();
    counter->LogData();
    EXPECT_EQ(Read("DATA/Lightning_1-122026.TXT"), "06.12.2026\t14:03\t042  0.0 000  042  002\r\n"
                                                   "06.12.2026\t14:03\t2147483664  0.0 000  000  032\r\n");
    EXPECT_NE(counter->GetHTML().find("Counter</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>2147483664</FONT>"),
              std::string::npos);
}
