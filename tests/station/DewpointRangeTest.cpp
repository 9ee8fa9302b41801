// The dew point graph's range (korvane.ini [HTML] DPWCGraphMin, DPWCGraphMax and the unit they are in,
// DPWCGraphUnit) on a station of its own: every scan sets the graph up again (the quiet look for sensors
// on an empty net every 30 s among them), and the range is converted only when its unit is not the
// station's, once. A stored range of no width, or one an earlier version's walk left, is replaced by the
// default, with a log line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gauges/AbTrend.h"
#include "platform/IniFile.h"
#include "platform/tmex/sim/DS2438.h"
#include "station/StationNet.h"

using namespace station_test;

namespace {

constexpr uint32_t kMinuteMs = 60000;

// A temperature unit as the station writes it: the degree sign and the letter.
std::string Degrees(char letter) {
    return std::string(1, '\xB0') + letter;
}

class DewpointRangeTest : public StationNetTest {
protected:
    void SetUp() override {
        StationNetTest::SetUp();
        Settings(kCelsiusStation);
        Write("SENSORS.INI", "");
    }

    static constexpr const char* kCelsiusStation =
        "[Weather]\r\nPortNum=1\r\nPortType=64\r\nCelsius=1\r\nSampleInterval=10000\r\n";

    // The range the station holds, as "min/max" (in the station's unit).
    std::string Range() const {
        return std::to_string(form_->DPWCGraphMin) + "/" + std::to_string(form_->DPWCGraphMax);
    }
    // The same keys as korvane.ini holds them ("(none)" for a missing one).
    std::string SavedRange() const {
        platform::TIniFile::FlushCache();
        platform::TIniFile ini(Path("korvane.ini"));
        auto key = [&](const char* name) { return ini.ReadString("HTML", name, "(none)"); };
        return key("DPWCGraphMin") + "/" + key("DPWCGraphMax") + " " + key("DPWCGraphUnit");
    }
    void Shutdown() {
        form_->Unload1->Click();
        Run(5000);
        ASSERT_TRUE(platform::Application->Terminated());
        platform::EventLoop::Get().Reset();
    }
};

} // namespace

TEST_F(DewpointRangeTest, AnEmptyCelsiusNetKeepsTheDefaultRangeThroughTenMinutesOfRescans) {
    StartStation();
    EXPECT_EQ(CountLog("No sensors found!"), 1);
    EXPECT_EQ(Range(), "-18/10");
    Run(10 * kMinuteMs);
    EXPECT_EQ(Range(), "-18/10");
    Shutdown();
    const std::string saved = SavedRange();
    std::printf("korvane.ini [HTML] DPWCGraphMin/DPWCGraphMax DPWCGraphUnit after ten minutes of an empty "
                "Celsius net: %s\n",
                saved.c_str());
    EXPECT_EQ(saved, "-18/10 C");
    // The next start reads it in its unit and converts nothing.
    StartStation();
    Run(2 * kMinuteMs);
    EXPECT_EQ(Range(), "-18/10");
    EXPECT_EQ(CountLog("GRAPH:"), 0);
}

// Installation day: the station starts on an empty net, the keeper plugs in a humidity sensor and a
// thermometer later, and the dew point curve is drawn on the default range.
TEST_F(DewpointRangeTest, AHumiditySensorPluggedInLaterDrawsTheDewPointOnTheDefaultRange) {
    StartStation();
    Run(4 * kMinuteMs);
    auto& humidity = net->Add<sim::DS2438>(net->Trunk(), 0x38);
    humidity.SetVDD(5.0);
    humidity.SetVAD(2.5);
    humidity.SetTemperature(12.0);
    AddThermometer(0x18).SetTemperature(12.0);
    Write("SENSORS.INI", "[" + humidity.rom().Text() + "]\r\nType=Humidity\r\n");
    Run(3 * kMinuteMs);
    ASSERT_TRUE(SessionRunning);
    const gauges::TChSettings& dewpoint = form_->DPWC->Channel(1);
    EXPECT_EQ(dewpoint.Name1(), "Dewpoint");
    EXPECT_TRUE(dewpoint.Visible());
    EXPECT_FLOAT_EQ(dewpoint.ValueFrom(), -18.0f);
    EXPECT_FLOAT_EQ(dewpoint.ValueTo(), 10.0f);
    EXPECT_EQ(dewpoint.ValueUnit(), Degrees('C'));
    Shutdown();
    EXPECT_EQ(SavedRange(), "-18/10 C");
}

// A range of no width (the walk of an earlier version left -39/-39 behind) or one turned upside down is
// none: the default in the station's unit, said once, and saved so.
TEST_F(DewpointRangeTest, AStoredRangeOfNoWidthStartsAsTheDefaultAndIsLogged) {
    const std::string celsius = Degrees('C'), fahrenheit = Degrees('F');
    const struct {
        std::string keys, log;
    } cases[] = {
        {"DPWCGraphMin=-39\r\nDPWCGraphMax=-39\r\n", "GRAPH: The dew point graph's range -39 .. -39 " +
                                                         celsius + " is no range: -18 .. 10 " + celsius +
                                                         " taken"},
        {"DPWCGraphMin=50\r\nDPWCGraphMax=0\r\nDPWCGraphUnit=F\r\n",
         "GRAPH: The dew point graph's range 50 .. 0 " + fahrenheit + " is no range: -18 .. 10 " + celsius +
             " taken"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        Settings(kCelsiusStation + ("[HTML]\r\n" + c.keys));
        StartStation();
        Run(5 * kMinuteMs);
        EXPECT_EQ(Range(), "-18/10");
        EXPECT_EQ(CountLog(c.log), 1);
        EXPECT_EQ(CountLog("GRAPH:"), 1);
        Shutdown();
        EXPECT_EQ(SavedRange(), "-18/10 C");
    }
}

// An earlier version walked the range of a Celsius station down step by step, converting it from
// Fahrenheit again at each scan, and saved it, without its unit, at the step it had reached. Each step
// takes the default, said once with that reason, and the file so repaired is read as it is at the next
// start. A range a
// keeper wrote is kept, and so is a step saved with its unit or on a Fahrenheit station.
TEST_F(DewpointRangeTest, AStepOfTheEarlierWalkTakesTheDefaultAndAKeepersRangeIsKept) {
    auto keys = [](int min, int max, const std::string& unit = "") {
        return "[HTML]\r\nDPWCGraphMin=" + std::to_string(min) + "\r\nDPWCGraphMax=" + std::to_string(max) +
               "\r\n" + (unit.empty() ? "" : "DPWCGraphUnit=" + unit + "\r\n");
    };
    const int steps[][2] = {{0, 50},    {-18, 10},  {-28, -12}, {-33, -24}, {-36, -31},
                            {-38, -35}, {-39, -37}, {-39, -38}, {-39, -39}};
    for (const auto& step : steps) {
        const std::string stored = std::to_string(step[0]) + " .. " + std::to_string(step[1]);
        SCOPED_TRACE(stored);
        Settings(kCelsiusStation + keys(step[0], step[1]));
        StartStation();
        Run(kMinuteMs);
        EXPECT_EQ(Range(), "-18/10");
        const bool wasDefault = step[0] == -18 && step[1] == 10;
        // The walk's last step has no width, and is said so; every other step is a range, the walk's.
        const char* reason =
            step[0] == step[1] ? " is no range" : " is what an earlier version's repeated conversion left";
        EXPECT_EQ(CountLog("GRAPH:"), wasDefault ? 0 : 1);
        EXPECT_EQ(CountLog("GRAPH: The dew point graph's range " + stored + " " + Degrees('C') + reason +
                           ": -18 .. 10 " + Degrees('C') + " taken"),
                  wasDefault ? 0 : 1);
        Shutdown();
        EXPECT_EQ(SavedRange(), "-18/10 C");
        StartStation();
        Run(kMinuteMs);
        EXPECT_EQ(CountLog("GRAPH:"), 0);
        Shutdown();
    }
    const std::string fahrenheitStation = "[Weather]\r\nPortNum=1\r\nPortType=64\r\nSampleInterval=10000\r\n";
    const struct {
        std::string settings;
        const char* saved;
    } kept[] = {
        {kCelsiusStation + keys(-30, 40), "-30/40 C"},
        {kCelsiusStation + keys(-36, -30), "-36/-30 C"},
        {kCelsiusStation + keys(-36, -31, "C"), "-36/-31 C"},
        {fahrenheitStation + keys(-28, -12), "-28/-12 F"},
    };
    for (const auto& k : kept) {
        SCOPED_TRACE(k.settings);
        Settings(k.settings);
        StartStation();
        Run(kMinuteMs);
        EXPECT_EQ(CountLog("GRAPH:"), 0);
        Shutdown();
        EXPECT_EQ(SavedRange(), k.saved);
    }
}

// The unit is converted once when the station's is another: from the unit recorded with the range, and
// in a file written before the unit was recorded (or with a record that names no unit, logged), from
// that of the graph's saved history; without either, keys that are there are in the station's unit.
TEST_F(DewpointRangeTest, ARangeInTheOtherUnitIsConvertedOnceAndAFileWithoutTheUnitReadsAsBefore) {
    const struct {
        const char* html;
        const char* history;
        const char* range;
        int graphLines = 0;
    } cases[] = {
        {"DPWCGraphMin=0\r\nDPWCGraphMax=50\r\nDPWCGraphUnit=F\r\n", "", "-18/10"},
        {"DPWCGraphMin=14\r\nDPWCGraphMax=68\r\n", "14 68 140 680 %B0F|14 68 140 680 %B0F", "-10/20"},
        {"DPWCGraphMin=5\r\nDPWCGraphMax=30\r\n", "", "5/30"},
        {"DPWCGraphMin=-5\r\nDPWCGraphMax=25\r\nDPWCGraphUnit=C\r\n", "-5 25 -50 250 %B0F", "-5/25"},
        {"DPWCGraphMin=14\r\nDPWCGraphMax=68\r\nDPWCGraphUnit=Kelvin\r\n", "14 68 140 680 %B0F", "-10/20", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html);
        Settings(std::string(kCelsiusStation) + "[HTML]\r\n" + c.html +
                 "[GraphHistory]\r\nVeskdpwc.dat=" + c.history + "\r\n");
        StartStation();
        EXPECT_EQ(Range(), c.range);
        Run(10 * kMinuteMs);
        EXPECT_EQ(Range(), c.range);
        EXPECT_EQ(CountLog("GRAPH:"), c.graphLines);
        EXPECT_EQ(CountLog("GRAPH: korvane.ini [HTML] DPWCGraphUnit=Kelvin is not F or C"), c.graphLines);
        Shutdown();
        EXPECT_EQ(SavedRange(), std::string(c.range) + " C");
        StartStation();
        Run(kMinuteMs);
        EXPECT_EQ(Range(), c.range);
        EXPECT_EQ(CountLog("GRAPH:"), 0);
        Shutdown();
    }
}
