// A DS2423 given its role after the station's first run, as a keeper sets a station up: the first run
// keeps it as a plain counter (with the count its chip has gathered since it was made), the keeper
// names it a rain gauge or the anemometer, and the next starts show no rain and no wind that the role
// never saw.
#include <gtest/gtest.h>

#include <string>

#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/IniFile.h"
#include "publish/PublishContext.h"
#include "publish/StatusPage.h"
#include "station/StationNet.h"

using namespace station_test;

namespace {

// The amounts of the status page's rain row (rate, today, week, month, total), as printed.
std::string RainRow(const std::string& page) {
    size_t at = page.find("Since ");
    if (at == std::string::npos) return "no rain block";
    at = page.find("<TR>", at);
    const size_t end = page.find("</TR>", at);
    std::string amounts;
    for (size_t cell = page.find("> ", at); cell < end; cell = page.find("> ", cell + 1)) {
        const size_t stop = page.find(" </FONT>", cell);
        if (stop > end) break;
        amounts += (amounts.empty() ? "" : " | ") + page.substr(cell + 2, stop - cell - 2);
    }
    return amounts;
}

} // namespace

class CounterRoleTest : public StationNetTest {
protected:
    void SetUp() override {
        StationNetTest::SetUp();
        counter = &AddCounter(0x5A);
        counter->SetCounter(15, 4200);
        Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\nSampleInterval=1000\r\n");
        Write("SENSORS.INI", "");
    }

    std::string Section() const { return counter->rom().Text(); }
    std::string Key(const std::string& key) const {
        return platform::TIniFile(Path("SENSORS.INI")).ReadString(Section(), key, "(none)");
    }

    // One run of the station: started, read for a while, stopped as the keeper stops it.
    void RunOnce(uint32_t ms = 10000) {
        TMainForm& form = StartStation();
        Run(ms);
        form.Unload1->Click();
        Run(5000);
        ASSERT_TRUE(platform::Application->Terminated());
        platform::EventLoop::Get().Reset();
    }

    // The first run, then the role written into the counter's section by hand.
    void FirstRunThenRole(const std::string& type) {
        RunOnce();
        ASSERT_EQ(Key("Type"), "DS2423");
        ASSERT_EQ(Key("RunningCounter"), "4200");
        platform::TIniFile(Path("SENSORS.INI")).WriteString(Section(), "Type", type);
    }

    std::string StatusPage() {
        publish::TPublishContext context(*form_);
        return publish::StatusPageText(context);
    }

    sim::DS2423* counter = nullptr;
};

TEST_F(CounterRoleTest, ACounterMadeARainGaugeAfterItsFirstRunShowsNoRainItNeverSaw) {
    FirstRunThenRole("RainGauge");
    StartStation();
    Run(10000);
    ASSERT_TRUE(SensorSet().RainPresent);
    EXPECT_EQ(RainRow(StatusPage()), "0.00 in | 0.00 in | 0.00 in | 0.00 in | 0.00 in");
    EXPECT_EQ(Key("MonthCounter"), "4200");
    EXPECT_EQ(Key("StartCounter"), "4200");
    form_->Unload1->Click();
    Run(5000);
    platform::EventLoop::Get().Reset();

    // The next start goes on from what the section keeps; a tip is a hundredth of an inch everywhere.
    StartStation();
    Run(5000);
    EXPECT_EQ(RainRow(StatusPage()), "0.00 in | 0.00 in | 0.00 in | 0.00 in | 0.00 in");
    counter->AddCounts('B', 1);
    Run(5000);
    EXPECT_EQ(RainRow(StatusPage()), "0.06 in | 0.01 in | 0.01 in | 0.01 in | 0.01 in");
}

TEST_F(CounterRoleTest, ACounterMadeTheAnemometerAfterItsFirstRunShowsNoWindItNeverSaw) {
    FirstRunThenRole("WindSpeed");
    StartStation();
    Run(10000);
    ASSERT_TRUE(SensorSet().WindPresent);
    const WindData& wind = *SensorSet().WindSensor;
    EXPECT_EQ(wind.Speed, 0.0f);
    EXPECT_EQ(wind.Gust, 0.0f);
    EXPECT_EQ(wind.MaxSpeed, 0.0f);
    EXPECT_EQ(wind.CountsPerHour(), 0u);
    counter->AddCounts('B', 20); // ten revolutions within a second
    Run(2000);
    EXPECT_GT(wind.Gust, 0.0f);
    EXPECT_LE(wind.Gust, 10.0f);
    EXPECT_LE(wind.MaxSpeed, 10.0f);
    EXPECT_EQ(wind.CountsPerHour(), 20u);
}

// A gauge's section written by hand with the totals' starts (from an earlier station) but no running
// count: the starts are kept, today and the rate begin at the first count.
TEST_F(CounterRoleTest, AHandWrittenGaugeSectionKeepsItsStartsWithoutARunningCount) {
    Write("SENSORS.INI", "[" + Section() +
                             "]\r\nType=RainGauge\r\nStartCounter=4000\r\nMonthCounter=4100\r\n"
                             "ResetTime=1793530800\r\n"); // 2026-11-01 12:00
    StartStation();
    Run(10000);
    const std::string page = StatusPage();
    EXPECT_NE(page.find("Since Nov 1 2026"), std::string::npos);
    EXPECT_EQ(RainRow(page), "0.00 in | 0.00 in | 0.00 in | 1.00 in | 2.00 in");
    EXPECT_EQ(Key("StartCounter"), "4000");
    EXPECT_EQ(Key("MonthCounter"), "4100");
    EXPECT_EQ(Key("ResetTime"), "1793530800");
    EXPECT_EQ(Key("RunningCounter"), "4200");
    EXPECT_EQ(Key("TodayCounter"), "4200");
}

// A gauge's section from an earlier station that kept its count but not today's start (it ran less than
// a day): today starts at the kept count, so the rain that fell while the station was down is today's
// and the week's, and the start is written at once; the month and the total keep their starts.
TEST_F(CounterRoleTest, AGaugeThatKeptItsCountStartsTodayThereWithTheRainThatFellWhileItWasDown) {
    Write("SENSORS.INI", "[" + Section() +
                             "]\r\nType=RainGauge\r\nRunningCounter=4150\r\nStartCounter=4000\r\n"
                             "MonthCounter=4100\r\nResetTime=1793530800\r\n");
    StartStation();
    EXPECT_EQ(Key("TodayCounter"), "4150");
    Run(10000);
    const std::string amounts = " | 0.50 in | 0.50 in | 1.00 in | 2.00 in"; // today, week, month, total
    EXPECT_NE(RainRow(StatusPage()).find(amounts), std::string::npos) << RainRow(StatusPage());
    form_->Unload1->Click();
    Run(5000);
    platform::EventLoop::Get().Reset();
    EXPECT_EQ(Key("TodayCounter"), "4150");
    EXPECT_EQ(Key("RunningCounter"), "4200");

    // The next start goes on from the start written; nothing is counted twice.
    StartStation();
    Run(10000);
    EXPECT_NE(RainRow(StatusPage()).find(amounts), std::string::npos) << RainRow(StatusPage());
}

// A gauge that could not be read on the run its section was made (a wire loose): no count is written
// for it, so the next start, reading, takes its starts from its first count and shows no rain and no
// rate it never saw.
TEST_F(CounterRoleTest, AGaugeNeverReadWritesNoCountToStartFrom) {
    Write("SENSORS.INI", "[" + Section() + "]\r\nType=RainGauge\r\n");
    counter->InjectCrcErrors(-1);
    RunOnce();
    EXPECT_EQ(Key("RunningCounter"), "(none)");
    EXPECT_EQ(Key("TodayCounter"), "(none)");
    counter->InjectCrcErrors(0);
    StartStation();
    Run(10000);
    EXPECT_EQ(RainRow(StatusPage()), "0.00 in | 0.00 in | 0.00 in | 0.00 in | 0.00 in");
    EXPECT_EQ(Key("RunningCounter"), "4200");
    EXPECT_EQ(Key("TodayCounter"), "4200");
}
