// A thermometer that never converts (a parasite one on a weak pull-up, a powered one on a bad supply)
// holds its power-on scratchpad, 85 C, conversion after conversion. On the station's own net: no 85 C
// reaches any output, from the start or after a drop-out, and one log line tells the run; a sensor warmed
// through 85 C in small steps reads 85.0 all the same, and so does one that stops converting right after
// a reading near 85 C: one line tells each run of them. Each case for a parasite and a powered DS18B20 and
// for a DS18S20.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "onewire/DS1820.h"
#include "onewire/SensorTables.h"
#include "platform/Clock.h"
#include "platform/Strings.h"
#include "platform/tmex/sim/DS18S20.h"
#include "publish/PublishContext.h"
#include "publish/StartPages.h"
#include "publish/WeatherXml.h"
#include "station/StationNet.h"

using namespace station_test;

namespace {

struct Kind {
    const char* name;
    bool ds18s20;
    bool parasite;
};

const char* const kHint =
    "Power-on value (85 C) not taken from Outdoor: the sensor did not convert (its power or "
    "pull-up), or it is at 85 C";
const char* const kTaken = "Power-on value (85 C) taken from Outdoor after its reading of ";

// Every value the station shows or keeps for its one thermometer.
struct Shown {
    std::vector<std::string> data;    // DATA/Outdoor-122026.TXT, its values
    std::vector<std::string> monthly; // DATA/122026.TXT, the temperature column
    std::string start, xml, maxTemp, minTemp;

    // Every value is `celsius` (as the station formats it) or absent; the page and weather.xml show
    // no other temperature. Empty when so, else what differs.
    std::string Other(double celsius) const {
        char text[16];
        std::snprintf(text, sizeof text, "%3.1f", celsius);
        std::string other;
        for (const std::string& v : data)
            if (v != text) other += " DATA file " + v;
        for (const std::string& v : monthly)
            if (v != text && v != "0.0") other += " monthly log " + v;
        for (const std::string& v : {maxTemp, minTemp})
            if (!v.empty() && std::abs(std::stod(v) - celsius) > 0.01) other += " SENSORS.INI " + v;
        if (start.find("85.0") != std::string::npos) other += " start page 85.0";
        const size_t at = xml.find("<temperatures>");
        if (at != std::string::npos && xml.find(std::string(">") + text + "<", at) == std::string::npos)
            other += " weather.xml " + xml.substr(at, xml.find("</temperatures>") - at);
        return other;
    }
};

class NeverConvertsTest : public StationNetTest, public ::testing::WithParamInterface<Kind> {
protected:
    void SetUp() override {
        StationNetTest::SetUp();
        const Kind kind = GetParam();
        if (kind.ds18s20)
            device = &net->Add<sim::DS18S20>(net->Trunk(), 0x21);
        else
            device = &AddThermometer(0x21);
        device->SetParasite(kind.parasite);
        device->SetTemperature(4.5);
        Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\nCelsius=1\r\nLogInterval=1\r\nLogEnabled=1\r\n"
                 "[DS1820]\r\nReadInterval=10\r\n");
        Write("SENSORS.INI",
              "[" + device->rom().Text() + "]\r\nType=Temperature\r\nTempDescription=Outdoor\r\nLog=1\r\n");
    }

    DS1820& Sensor() const { return *SensorSet().DS1820Sensors[0]; }

    // A drop-out of 4.5 s, and the sensor back in its power-on state, never converting.
    void DropOutAndComeBackStuck() {
        device->Remove();
        Run(4500);
        device->Reinsert();
        device->SetNeverConverts(true);
    }

    Shown Show(TMainForm& form) {
        publish::TPublishContext context(form);
        Shown s;
        s.start = publish::StartPageBody(context, 0);
        s.xml = publish::BuildXML(context, false);
        std::istringstream data(Read("DATA/Outdoor-122026.TXT"));
        for (std::string line; std::getline(data, line);)
            s.data.push_back(line.substr(line.rfind('\t') + 1, line.find('\r') - line.rfind('\t') - 1));
        std::istringstream monthly(Read("DATA/122026.TXT"));
        for (std::string line; std::getline(monthly, line);)
            if (line.size() > 17) s.monthly.push_back(line.substr(17, line.find('\t', 17) - 17));
        platform::TIniFile ini(Path("SENSORS.INI"));
        s.maxTemp = ini.ReadString(device->rom().Text(), "max_temp", "");
        s.minTemp = ini.ReadString(device->rom().Text(), "min_temp", "");
        return s;
    }

    // Runs the minutes, each ended with every output showing 4.5 C or nothing; prints the run's figures.
    void Watch(TMainForm& form, const char* run, int minutes) {
        int falseMinutes = 0;
        for (int minute = 0; minute < minutes; ++minute) {
            Run(60000);
            const std::string other = Show(form).Other(4.5);
            falseMinutes += !other.empty();
            EXPECT_EQ(other, "") << "minute " << minute;
        }
        Print(run, minutes, falseMinutes);
    }

    // The figures of a run: the device's power-on reads (one a Convert T), the minutes whose outputs
    // showed a value that never happened, the log lines.
    void Print(const char* run, int minutes, int falseMinutes) {
        std::printf(
            "never converting (%s, %s): %d power-on reads, a value never measured shown in %d of %d minutes, "
            "log lines: %d\n",
            GetParam().name, run, device->Brownouts(), falseMinutes, minutes, CountLog(kHint));
    }

    sim::Thermometer* device = nullptr;
};

TEST_P(NeverConvertsTest, FromTheStartItIsAbsentEverywhereWithOneLogLine) {
    device->SetNeverConverts(true);
    TMainForm& form = StartStation();
    Watch(form, "from the start", 5);
    const Shown s = Show(form);
    EXPECT_GT(device->Brownouts(), 20);
    EXPECT_TRUE(s.data.empty());
    EXPECT_GE(s.monthly.size(), 4u);
    EXPECT_FALSE(Sensor().HasReading);
    EXPECT_EQ(s.start.find("/DS1820/0"), std::string::npos);
    EXPECT_EQ(s.xml.find("<temperatures>"), std::string::npos);
    EXPECT_EQ(CountLog(kHint), 1);
}

// Read well, a drop-out of 4.5 s, back in its power-on state and not converting for three minutes,
// then converting again.
TEST_P(NeverConvertsTest, AfterADropOutItKeepsItsTrueValueGoesAbsentAndComesBack) {
    TMainForm& form = StartStation();
    Run(60000);
    ASSERT_EQ(Show(form).Other(4.5), "");
    ASSERT_EQ(Show(form).data.size(), 1u);
    DropOutAndComeBackStuck();
    Watch(form, "after a drop-out", 3);
    Shown s = Show(form);
    EXPECT_EQ(s.start.find("/DS1820/0"), std::string::npos) << "absent past the two minutes";
    EXPECT_EQ(s.xml.find("<temperatures>"), std::string::npos);
    EXPECT_EQ(s.monthly.back(), "0.0");
    EXPECT_EQ(s.maxTemp, "4.5");
    EXPECT_EQ(s.minTemp, "4.5");
    EXPECT_EQ(CountLog(kHint), 1);

    device->SetNeverConverts(false);
    Run(60000);
    s = Show(form);
    EXPECT_EQ(s.Other(4.5), "");
    EXPECT_NE(s.start.find("/DS1820/0"), std::string::npos);
    EXPECT_EQ(s.monthly.back(), "4.5");
    EXPECT_DOUBLE_EQ(Sensor().temp.value, 4.5) << "nothing smoothed in";
    EXPECT_EQ(CountLog(kHint), 2) << "the run's count at its end";
    EXPECT_EQ(CountLog(std::string(kHint) + " - "), 1);
}

// Warmed from 84 C to 86 C a sixteenth of a degree at a time, held at 85 C for ten minutes on the way
// (the smoothing's lag behind the climb has gone by then).
TEST_P(NeverConvertsTest, ASensorWarmedThroughEightyFiveReadsIt) {
    device->SetTemperature(84.0);
    TMainForm& form = StartStation();
    Run(30000);
    auto warm = [&](double to) {
        for (double celsius = Sensor().temp.value; celsius < to;) {
            celsius = std::min(celsius + 0.0625, to);
            device->SetTemperature(celsius);
            Run(10000);
        }
    };
    warm(85.0);
    Run(10 * 60000);
    const Shown at85 = Show(form);
    EXPECT_EQ(at85.data.back(), "85.0");
    EXPECT_EQ(at85.monthly.back(), "85.0");
    EXPECT_NE(at85.start.find("85.0"), std::string::npos);
    EXPECT_NE(at85.xml.find(">85.0<"), std::string::npos) << at85.xml;
    warm(86.0);
    Run(60000);
    EXPECT_GT(std::stod(Show(form).maxTemp), 85.5);
    EXPECT_EQ(Sensor().ErrorCount, 0u);
    EXPECT_EQ(CountLog(kHint), 0);
    EXPECT_EQ(CountLog(kTaken), 1);
    EXPECT_EQ(CountLog(std::string(kTaken) + "84.9 C: "), 1);
}

// At 83 C, a drop-out, back never converting: its power-on values follow a reading near them and are
// taken (a sensor truly at 85 C reads the same), told once a run with the reading before it. Readings
// within 3 C of 85 C keep a run going; one farther away ends it, with its count.
TEST_P(NeverConvertsTest, PowerOnValuesTakenAfterAReadingNearThemAreToldOnceARun) {
    device->SetTemperature(83.0);
    StartStation();
    Run(60000);
    const std::string told = std::string(kTaken) + "83.0 C: the sensor did not convert";
    for (int run = 1; run <= 2; ++run) {
        DropOutAndComeBackStuck();
        const int brownouts = device->Brownouts();
        Run(3 * 60000);
        EXPECT_GT(device->Brownouts() - brownouts, 10);
        EXPECT_GT(Sensor().temp.value, 84.0) << "taken";
        EXPECT_EQ(CountLog(kTaken), run);
        EXPECT_EQ(CountLog(told), run);
        device->SetNeverConverts(false);
        device->SetTemperature(79.0); // ends the run
        Run(60000);
        EXPECT_EQ(CountLog("more times since the last such line, the last at "), run);
        device->SetTemperature(83.0);
        Run(60000);
    }
    EXPECT_EQ(CountLog(kHint), 0);
}

// At 84 C, a drop-out, back never converting for three minutes, converting 84.0 C for half an hour, then
// stuck again: readings near 85 C all along, and each spell of power-on values taken is told at once.
// The first spell's end, twenty minutes after its last value, names when that value was taken.
TEST_P(NeverConvertsTest, EachSpellOfPowerOnValuesTakenIsToldAtOnce) {
    device->SetTemperature(84.0);
    StartStation();
    Run(60000);
    const std::string told = std::string(kTaken) + "84.0 C: the sensor did not convert";
    auto stick = [&] {
        DropOutAndComeBackStuck();
        Run(20000); // two reads
    };
    stick();
    EXPECT_EQ(CountLog(told), 1) << "told at once";
    Run(3 * 60000 - 20000);
    EXPECT_GT(Sensor().temp.value, 84.0) << "taken";
    const int64_t unstuck = platform::Clock::Get().UnixTime();
    device->SetNeverConverts(false);
    Run(30 * 60000);
    EXPECT_LT(Sensor().temp.value, 84.1);
    EXPECT_EQ(CountLog(kTaken), 1);
    const std::string ended = "more times since the last such line, the last at ";
    EXPECT_EQ(CountLog(ended), 1) << "the first spell's end";

    stick();
    EXPECT_EQ(CountLog(told), 2) << "the second spell told at once";
    EXPECT_EQ(CountLog(kTaken), 2);

    EXPECT_EQ(CountLog(kHint), 0);
    const std::string line = LogLine(ended);
    ASSERT_FALSE(line.empty());
    const platform::LocalTime last = platform::Clock::Get().ToLocal(unstuck);
    int hour = 0, minute = 0, second = 0;
    ASSERT_EQ(
        std::sscanf(line.c_str() + line.find(ended) + ended.size(), "%d:%d:%d", &hour, &minute, &second), 3)
        << line;
    EXPECT_NEAR(hour * 3600 + minute * 60 + second, last.hour * 3600 + last.minute * 60 + last.second - 6, 6)
        << "within its last read interval: " << line;
}

// A restart of the session (RestartButton) tells the power-on values taken that no line told yet.
TEST_P(NeverConvertsTest, ARestartTellsThePowerOnValuesTakenNotToldYet) {
    device->SetTemperature(83.0);
    TMainForm& form = StartStation();
    Run(60000);
    DropOutAndComeBackStuck();
    const int brownouts = device->Brownouts();
    Run(3 * 60000);
    const int taken = device->Brownouts() - brownouts;
    ASSERT_GT(taken, 10);
    ASSERT_EQ(CountLog(kTaken), 1);
    form.RestartButton->Click();
    Run(3000);
    EXPECT_EQ(
        CountLog(platform::Format("Power-on value (85 C) taken from Outdoor %d more times since the last "
                                  "such line, the last at ",
                                  taken - 1)),
        1);
}

INSTANTIATE_TEST_SUITE_P(Thermometers, NeverConvertsTest,
                         ::testing::Values(Kind{"parasite DS18B20", false, true},
                                           Kind{"powered DS18B20", false, false},
                                           Kind{"DS18S20", true, true}),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return std::string(info.param.ds18s20    ? "DS18S20"
                                                : info.param.parasite ? "ParasiteDS18B20"
                                                                      : "PoweredDS18B20");
                         });

} // namespace
