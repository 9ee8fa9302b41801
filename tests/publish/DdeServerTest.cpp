// The DDE service of the demo station: the items for the sensors found in their order, the texts the
// readers and the status line write, links, a start that fails halfway, and the stop.
#include <gtest/gtest.h>

#include <set>

#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "platform/Dde.h"
#include "platform/Strings.h"
#include "platform/tmex/sim/DemoNet.h"
#include "support/StationFixture.h"

namespace {

std::string Request(const std::string& item) {
    std::string text;
    return platform::DdeRequest("korvane", "Weather", item, text) ? text : "<none>";
}

class DdeServerTest : public korvane_test::StationFixture {
protected:
    void TearDown() override {
        platform::DdeRefuseRegistrations(-1);
        StationFixture::TearDown();
    }
    TMainForm& StartDemo() {
        Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
        Write("korvane.ini", platform::tmex::sim::DemoKorvaneIni() + "DDEEnabled=1\r\n");
        TMainForm& form = Start();
        Run(1100);
        return form;
    }
    void Run(uint32_t ms) { platform::EventLoop::Get().RunFor(ms); }
};

} // namespace

TEST_F(DdeServerTest, ItemsFollowTheSensorsFoundAndCarryTheReadings) {
    TMainForm& form = StartDemo();
    ASSERT_EQ(CountLog("SERVER: DDE services started"), 1);
    std::vector<std::string> expected = {"DDEWindSpeed",     "DDEWindspeedAVGMin", "DDEWindspeedAVGHour",
                                         "DDEWindDirection", "DDEWindDirAVG",      "DDERainToday",
                                         "DDERainRate",      "DDERainCounter",     "DDEBarometer",
                                         "DDETemperature",   "DDEWindChill"};
    for (DS1820* sensor : SensorSet().DS1820Sensors)
        expected.push_back(sensor->DDEName);
    for (DS2423* sensor : SensorSet().DS2423Sensors)
        expected.push_back(sensor->DDEName);
    for (DS2450* sensor : SensorSet().DS2450Sensors)
        for (const char* channel : {"A", "B", "C", "D"})
            expected.push_back(MakeDDEItemName(*sensor) + channel);
    expected.push_back("DDEHumidity");
    expected.push_back(SensorSet().HumiditySensors[0]->DDEName + "H");
    expected.push_back(SensorSet().HumiditySensors[0]->DDEName + "T");
    expected.push_back(SensorSet().DS2438Sensors[0]->DDEName + "V");
    expected.push_back(SensorSet().DS2438Sensors[0]->DDEName + "T");
    platform::TStringList lines;
    lines.SetText(Request("DDEItems"));
    ASSERT_EQ(lines.Count(), static_cast<int>(expected.size())) << Request("DDEItems");
    for (int i = 0; i < lines.Count(); ++i)
        EXPECT_EQ(lines[i], expected[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(expected[11].substr(0, 3), "DDE");
    EXPECT_EQ(expected[11].size(), 19u);

    int hot = 0, warm = 0;
    std::string pushed;
    platform::TDdeAdviseLink hotLink("KORVANE", "weather", "ddeweather", platform::TDdeAdviseLink::Kind::Hot,
                                     [&](const std::string* text) {
                                         ++hot;
                                         pushed = *text;
                                     });
    platform::TDdeAdviseLink warmLink("korvane", "Weather", "DDERainCounter",
                                      platform::TDdeAdviseLink::Kind::Warm,
                                      [&](const std::string* text) { warm += text == nullptr; });
    ASSERT_TRUE(hotLink.Active());
    Run(150000);
    EXPECT_GT(hot, 5);
    EXPECT_EQ(pushed, StatusLine);
    EXPECT_EQ(Request("DDEWeather"), StatusLine);
    EXPECT_EQ(Request("DDERainCounter"), platform::IntToStr(SensorSet().RainSensor->RunningCounter));
    EXPECT_GE(warm, 1);
    EXPECT_EQ(
        Request(SensorSet().DS1820Sensors[0]->DDEName),
        platform::FloatToStr(SensorSet().DS1820Sensors[0]->InUnit(SensorSet().DS1820Sensors[0]->temp.value)));
    EXPECT_NE(Request(MakeDDEItemName(*SensorSet().DS2450Sensors[0]) + "D"), "");
    EXPECT_NE(Request("DDETemperature"), "");
    DS2450& analog = *SensorSet().DS2450Sensors[0];
    uint16_t rom[8];
    std::copy(analog.Rom, analog.Rom + 8, rom);
    const uint16_t example[8] = {0x20, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xA7}; // family code first
    std::copy(example, example + 8, analog.Rom);
    EXPECT_EQ(MakeDDEItemName(analog), "DDEA706050403020120");
    std::copy(rom, rom + 8, analog.Rom);

    StationSettings.DDEEnabled = false; // the next pass stops the service
    Run(1000);
    EXPECT_EQ(CountLog("SERVER: DDE services shutting down"), 1);
    EXPECT_FALSE(form.DDERunning);
    EXPECT_FALSE(hotLink.Active());
    EXPECT_EQ(Request("DDEWeather"), "<none>");
}

TEST_F(DdeServerTest, AStartThatFailsHalfwayFreesWhatItMadeAndALaterStartMakesEachNameOnce) {
    platform::DdeRefuseRegistrations(8); // the conversation and seven items, then a refusal
    TMainForm& form = StartDemo();
    Run(3000); // several passes of the supervisor
    EXPECT_EQ(CountLog("SERVER: DDE Initialization error: DDE registration of item "), 1);
    EXPECT_FALSE(form.DDERunning);
    EXPECT_EQ(Request("DDEItems"), "<none>");
    EXPECT_EQ(form.Dde.DDEWindSpeed, nullptr);
    platform::DdeRefuseRegistrations(-1);
    Run(1000);
    EXPECT_EQ(CountLog("SERVER: DDE services started"), 1);
    platform::TStringList lines;
    lines.SetText(Request("DDEItems"));
    std::set<std::string> unique;
    for (int i = 0; i < lines.Count(); ++i)
        unique.insert(lines[i]);
    EXPECT_EQ(static_cast<int>(unique.size()), lines.Count());
    EXPECT_GT(lines.Count(), 20);
}
