// The 21-field status line and the title.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "onewire/Humidity.h"
#include "platform/Strings.h"
#include "platform/tmex/sim/DemoNet.h"
#include "station/StationNet.h"
#include "support/FiledSensors.h"
#include "support/StationFixture.h"

using korvane_test::StationFixture;
namespace sim = platform::tmex::sim;

class StatusLineTest : public StationFixture {
protected:
    // A sensor of every group, each current: the line shows the values as they are.
    static void AllCurrent(TCurrentReadings& r) {
        korvane_test::File(SensorSet().HumiditySensors);
        korvane_test::FileWindRainAndBarometer();
        SensorSet().WindDirectionFound = true;
        korvane_test::MarkAllCurrent(r);
    }
};

TEST_F(StatusLineTest, FullAndEmptyStationLines) {
    TMainForm& form = Start();
    EXPECT_EQ(form.FormatStatusLine(),
              "0.0 0.0 0.0 0.0 0.0 0.0 0 0 0.000 0.000 0.000 0.000 0.0 0.0 0.0 0.0000 0.0000 "
              "0.0000 0.0000 0.000 0\r\n");
    TCurrentReadings& r = form.CurrentReadings;
    AllCurrent(r);
    r.TemperatureC = 7.2f;
    r.TemperatureMaxC = 9.8f;
    r.TemperatureMinC = 3.1f;
    r.WindSpeedMs = 1.8f;
    r.WindGustMs = 4.0f;
    r.WindMaxMs = 6.1f;
    form.CurrentReadings.WindDirectionBin = 10;
    form.CurrentReadings.WindDirectionDegrees = 225;
    r.RainRate = 0;
    r.RainToday = 0.12f;
    r.RainWeek = 0.45f;
    r.RainMonth = 1.2f;
    r.Humidity = 87;
    r.HumidityMax = 95;
    r.HumidityMin = 60.2f;
    r.BarometerInHg = 29.91f;
    r.BarometerMaxInHg = 30.12f;
    r.BarometerMinInHg = 29.85f;
    r.BarometerChangeInHg = -0.02f;
    r.RainHour = 0;
    EXPECT_EQ(form.FormatStatusLine(),
              "7.2 9.8 3.1 1.8 4.0 6.1 10 225 0.000 0.120 0.450 1.200 87.0 95.0 60.2 29.9100 "
              "30.1200 29.8500 -0.0200 0.000 235\r\n");
    // 32-bit values are printed as they are stored: 0.45f is just below 0.45.
    r.TemperatureC = 0.45f;
    r.HumidityMax = 1234.5f; // wider than its width: printed whole
    std::string line = form.FormatStatusLine();
    EXPECT_EQ(line.substr(0, 4), "0.4 ");
    EXPECT_NE(line.find(" 1234.5 "), std::string::npos);
}

// Each field is formatted again only when its value moved: a line made after some values changed is the
// line of all the values as they are, whatever they were before (also -0 against 0).
TEST_F(StatusLineTest, ALineAfterChangedValuesShowsEveryValueAsItIs) {
    TMainForm& form = Start();
    TCurrentReadings& r = form.CurrentReadings;
    auto whole = [&] { // the line in one piece
        return platform::Format("%2.1f %2.1f %2.1f %2.1f %2.1f %2.1f %d %d %3.3f %3.3f %3.3f %3.3f %2.1f %2.1f "
                                "%2.1f %2.4f %2.4f %2.4f %2.4f %3.3f %d\r\n",
                                r.TemperatureC, r.TemperatureMaxC, r.TemperatureMinC, r.WindSpeedMs, r.WindGustMs,
                                r.WindMaxMs, r.WindDirectionBin, r.WindDirectionDegrees, r.RainRate, r.RainToday,
                                r.RainWeek, r.RainMonth, r.Humidity, r.HumidityMax, r.HumidityMin, r.BarometerInHg,
                                r.BarometerMaxInHg, r.BarometerMinInHg, r.BarometerChangeInHg, r.RainHour,
                                r.WindDirectionBin + r.WindDirectionDegrees);
    };
    AllCurrent(r);
    r.WindSpeedMs = 1.3f;
    r.WindDirectionBin = 3;
    const std::string first = form.FormatStatusLine();
    EXPECT_EQ(first, whole());
    EXPECT_EQ(first.substr(0, 28), "0.0 0.0 0.0 1.3 0.0 0.0 3 0 ");
    r.WindSpeedMs = 1.4f;
    r.BarometerChangeInHg = -0.0f;
    r.WindDirectionBin = -1;
    r.RainHour = 0.125f;
    EXPECT_EQ(form.FormatStatusLine(), whole());
    EXPECT_NE(form.FormatStatusLine(), first);
    r.WindSpeedMs = 1.3f;
    r.BarometerChangeInHg = 0.0f;
    r.WindDirectionBin = 3;
    r.RainHour = 0;
    EXPECT_EQ(form.FormatStatusLine(), first);
    r.WindSpeedMs = 1.5f; // texts of the same length as before
    r.RainToday = 0.25f;
    EXPECT_EQ(form.FormatStatusLine(), whole());
    r.WindSpeedMs = 1.3f;
    r.RainToday = 0;
    EXPECT_EQ(form.FormatStatusLine(), first);
    r.Temperature = 4.0f;
    r.WindSpeed = 2.0f;
    r.WindDirectionBin = 0;
    EXPECT_EQ(form.FormatTitle(), "4.0\xB0 - N 2.0");
    r.Temperature = 4.5f;
    EXPECT_EQ(form.FormatTitle(), platform::Format("%.1f", 4.5) + "\xB0 - N 2.0");
    r.WindDirectionBin = 4;
    EXPECT_EQ(form.FormatTitle(), platform::Format("%.1f", 4.5) + "\xB0 - E 2.0");
}

TEST_F(StatusLineTest, TitleNamesTheCompassPointOnlyForAValidBin) {
    TMainForm& form = Start();
    AllCurrent(form.CurrentReadings);
    form.CurrentReadings.Temperature = 45.3f;
    form.CurrentReadings.WindSpeed = 12.5f;
    form.CurrentReadings.WindDirectionBin = 10;
    EXPECT_EQ(form.FormatTitle(), "45.3\xB0 - SW 12.5");
    form.CurrentReadings.WindDirectionBin = 255; // no valid direction: the speed alone
    EXPECT_EQ(form.FormatTitle(), "45.3\xB0 - 12.5");
    form.UpdateStatusLine();
    EXPECT_EQ(form.TrayIcon->Hint(), "45.3\xB0 - 12.5");
    EXPECT_EQ(platform::Application->Title(), "45.3\xB0 - 12.5");
}

// Until a group of the title is current the title tells the station's state; from then on it carries
// what is current, and says when nothing is.
TEST_F(StatusLineTest, TheTitleCarriesWhatIsCurrentFromTheFirstCurrentReadingOn) {
    TMainForm& form = Start();
    AllCurrent(form.CurrentReadings);
    TCurrentReadings& r = form.CurrentReadings;
    r.Temperature = 45.3f;
    r.WindSpeed = 12.5f;
    r.WindDirectionBin = 10;
    r.TemperatureRead = r.WindRead = false;
    const std::string state = platform::Application->Title();
    form.UpdateStatusLine();
    EXPECT_EQ(platform::Application->Title(), state) << "nothing read yet";
    r.WindRead = true; // a main thermometer switched off (Read=0) is never read: the wind alone
    form.UpdateStatusLine();
    EXPECT_EQ(platform::Application->Title(), "SW 12.5");
    r.TemperatureRead = true;
    form.UpdateStatusLine();
    EXPECT_EQ(platform::Application->Title(), "45.3\xB0 - SW 12.5");
    r.TemperatureCurrent = r.WindCurrent = false;
    form.UpdateStatusLine();
    EXPECT_EQ(platform::Application->Title(), "No current readings");
    EXPECT_EQ(form.TrayIcon->Hint(), "No current readings");
}

TEST_F(StatusLineTest, TheTitleCarriesReadingsOnlyOnceTheyHaveBeenRead) {
    Write("korvane.ini", sim::DemoKorvaneIni());
    Write("SENSORS.INI", sim::DemoSensorsIni());
    std::vector<std::string> titles;
    platform::Application->OnTitleChange = [&](const std::string& title) {
        titles.push_back(title);
        // The demo's outdoor air is far from 0 F: "0.0" is the placeholder of no reading.
        if (title.find('\xB0') != std::string::npos) {
            EXPECT_NE(title.rfind("0.0\xB0", 0), 0u) << title;
        }
    };
    Start();
    const int64_t end = clock_->UnixTimeMs() + 4 * 60000; // the outdoor thermometer's first reading
    while (clock_->UnixTimeMs() < end)
        platform::EventLoop::Get().RunFor(static_cast<uint32_t>(end - clock_->UnixTimeMs()));
    platform::Application->OnTitleChange = nullptr;
    ASSERT_TRUE(SessionRunning);
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.back(), form_->FormatTitle());
}

class TitleOfASmallNet : public station_test::StationNetTest {
protected:
    // The title once the thermometer and the anemometer have been read.
    std::string TitleAfterReadings() {
        StartStation();
        Run(3 * 60000);
        EXPECT_TRUE(SessionRunning);
        return platform::Application->Title();
    }
};

TEST_F(TitleOfASmallNet, ANetWithoutWindShowsTheTemperatureAloneAndAWindWithoutVaneItsSpeedAlone) {
    AddThermometer(0x100).SetTemperature(12.5);
    EXPECT_EQ(TitleAfterReadings(), "54.5\xB0");

    const std::string anemometer = AddCounter(0x200).rom().Text();
    Write("SENSORS.INI", "[" + anemometer + "]\r\nType=WindSpeed\r\n");
    platform::TIniFile::FlushCache();
    const std::string title = TitleAfterReadings();
    EXPECT_EQ(title.rfind("54.5\xB0 - ", 0), 0u) << title;
    EXPECT_EQ(title.find_first_not_of("0123456789.", 9), std::string::npos) << title << ": no compass point";
}

TEST_F(StatusLineTest, SampleCountDisplayLogsTheRunTimeEveryTenThousand) {
    TMainForm& form = Start();
    platform::TMessage message{MsgDisplaySampleCount, 9999, 0, 0};
    form.DisplaySampleCount(message);
    EXPECT_EQ(form.StatusBar->Panel(0), "9999 samples");
    EXPECT_EQ(CountLog("samples in"), 0);
    message.WParam = 20000;
    form.DisplaySampleCount(message);
    EXPECT_EQ(CountLog("samples in 0 hours, 0 minutes"), 1);
}
