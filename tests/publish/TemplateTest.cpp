// Template pages: the tag syntax, the plain and per-sensor tags on the demo station with fixed
// readings, and the run over the template folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <memory>
#include <regex>
#include <stdexcept>
#include <vector>

#include "PublishStation.h"
#include "platform/Dialogs.h"
#include "platform/Strings.h"
#include "publish/TemplateScanner.h"
#include "publish/Templates.h"

using namespace publish_test;

namespace {

std::string Expand(const std::string& text, std::vector<std::string>* names = nullptr) {
    return publish::ExpandTemplate(text, [names](const std::string& name) {
        if (names) names->push_back(name);
        return "[" + name + "]";
    });
}

} // namespace

TEST(TemplateScanner, TagsAreFoundWithBlanksAndParametersAndAnythingElseStaysAsItStands) {
    std::vector<std::string> names;
    EXPECT_EQ(Expand("a<#abcTemperature>b< \t#\n xyzWind style=x width='3'>c", &names),
              "a[abcTemperature]b[xyzWind]c");
    EXPECT_EQ(names, (std::vector<std::string>{"abcTemperature", "xyzWind"}));
    // A "<" that begins no tag, a "#" without a name, and percent signs are text.
    EXPECT_EQ(Expand("1 < 2 <b>x</b> <#> <# 9ab> 50% %s%n"), "1 < 2 <b>x</b> <#> <# 9ab> 50% %s%n");
    // A tag that never closes leaves the rest as it is; one before it is still replaced.
    EXPECT_EQ(Expand("<#abcA> and <#abcB never"), "[abcA] and <#abcB never");
    EXPECT_EQ(Expand("x\r\n<#_1_x>\r\n"), "x\r\n[_1_x]\r\n");
}

class TemplateTags : public PublishStation {
protected:
    std::string Tag(const std::string& name) { return publish::TemplateTagValue(*context, name); }
};

TEST_F(TemplateTags, PlainTagsIgnoreThePrefixAndCaseAndFallToNotAvailable) {
    StartDemo();
    SetKnownReadings();
    EXPECT_EQ(Tag("abcTemperature"), "45.5");
    EXPECT_EQ(Tag("xyzTEMPERATURE"), "45.5");
    EXPECT_EQ(Tag("abcTemperatureMaxAt"), "13:05");
    EXPECT_EQ(Tag("Time"), "(n/a)"); // its name proper is "e"
    EXPECT_EQ(Tag("abc"), "(n/a)");
    EXPECT_EQ(Tag("abcTemperatur"), "(n/a)");
    EXPECT_TRUE(std::regex_match(Tag("abcTime"), std::regex(R"(06\.12\.2026 14:0\d:\d\d)")))
        << Tag("abcTime");
    EXPECT_EQ(Tag("abcHumidity"), "65");
    EXPECT_EQ(Tag("abcBarometer"), "29.92");
    EXPECT_EQ(Tag("abcBarometerRate"), "0.02");
    SensorSet().BarometerSensor->Metric = 1;
    EXPECT_EQ(Tag("abcBarometerRate"), "0.68");
    EXPECT_EQ(Tag("abcBarometer"), "29.9"); // the shared reading, with the hPa mask
}

TEST_F(TemplateTags, WindTagsAndTheDirectionThatIsNotThere) {
    StartDemo();
    SetKnownReadings();
    EXPECT_EQ(Tag("abcWindSpeed"), "3.3"); // 3 rev/s x 1.096 m/s
    EXPECT_EQ(Tag("abcWindSpeedMaxAt"), "14:00");
    EXPECT_EQ(Tag("abcWindDirection"), "068"); // index 3: 67.5 rounded
    EXPECT_EQ(Tag("abcWindDirectionName"), "ENE");
    EXPECT_EQ(Tag("abcWindMaxDirection"), "068");
    form_->CurrentReadings.WindDirectionIndex = 255;
    SensorSet().WindSensor->MaxSpeedDir = 255;
    EXPECT_EQ(Tag("abcWindDirection"), "5738");
    EXPECT_EQ(Tag("abcWindDirectionName"), "");
    EXPECT_EQ(Tag("abcWindMaxDirectionName"), "");
    SensorSet().WindPresent = false;
    EXPECT_EQ(Tag("abcWindSpeed"), "(n/a)");
    EXPECT_EQ(Tag("abcWindChill"), "(n/a)");
}

TEST_F(TemplateTags, RainFiguresInInchesAndMillimetresAndGaugesThatCannotDivide) {
    TMainForm& form = StartDemo();
    SetKnownReadings();
    RainGauge& rain = *SensorSet().RainSensor;
    EXPECT_EQ(Tag("abcRainToday"), "2.50");
    EXPECT_EQ(Tag("abcRainRate"), "0.18"); // 3 counts x (60 div 10)
    EXPECT_EQ(Tag("abcRainTotal"), "40.00");
    EXPECT_EQ(Tag("abcRainWeek"), "2.10");
    rain.RainUnitInch = 0;
    EXPECT_EQ(Tag("abcRainToday"), "63.50");
    rain.RateMinutes = 7; // 60 div 7 = 8
    EXPECT_EQ(Tag("abcRainRate"), "6.10");
    // No division by zero: the figure is not available, and the log says why once.
    rain.RateMinutes = 0;
    EXPECT_EQ(Tag("abcRainRate"), "(n/a)");
    EXPECT_EQ(Tag("abcRainRate"), "(n/a)");
    EXPECT_EQ(Tag("abcRainToday"), "63.50");
    rain.CountsPrInch = 0;
    EXPECT_EQ(Tag("abcRainToday"), "(n/a)");
    EXPECT_EQ(Tag("abcRainToday"), "(n/a)");
    EXPECT_EQ(CountLog("0 rate minutes"), 1);
    EXPECT_EQ(CountLog("0 counts per inch"), 1);
    (void)form;
}

TEST_F(TemplateTags, HumidityMarkTimesNeedAMainHumiditySensor) {
    StartDemo();
    SetKnownReadings();
    EXPECT_EQ(Tag("abcHumidityMaxAt"), "14:00");
    form_->CurrentReadings.MainHumidityIndex = 5; // names no sensor
    EXPECT_EQ(Tag("abcHumidityMaxAt"), "(n/a)");
}

TEST_F(TemplateTags, SensorTagsBySerialAndSuffix) {
    StartDemo();
    SetKnownReadings();
    DS1820& outdoor = *SensorSet().DS1820Sensors[0];
    const std::string s = SensorSerialString(outdoor);
    outdoor.Celsius = 0;
    outdoor.temp.high = 21.5;
    EXPECT_EQ(Tag("abc" + s + "Max"), "70.7");
    EXPECT_EQ(Tag("abc" + platform::LowerCase(s) + "max"), "70.7");
    EXPECT_EQ(Tag("abc" + s + "Max2"), "(n/a)");
    EXPECT_EQ(Tag("abc" + s + "MaxAt"), "14:00");
    EXPECT_EQ(Tag("abc" + s), "53.6");

    Humidity& h = *SensorSet().HumiditySensors[0];
    h.hum.value = 55.9;
    EXPECT_EQ(Tag("abc" + SensorSerialString(h) + "H"), "55"); // cut, not rounded
    h.Celsius = 1;
    EXPECT_EQ(Tag("abc" + SensorSerialString(h) + "T"), "7.5");

    DS2438& battery = *SensorSet().DS2438Sensors[0];
    battery.Celsius = 1;
    battery.temp.value = 19.26;
    battery.VAD.value = 1.234;
    EXPECT_EQ(Tag("abc" + SensorSerialString(battery) + "T"), "19.3"); // %3.1f, rounded by printf
    EXPECT_EQ(Tag("abc" + SensorSerialString(battery) + "V"), "1.23");

    DS2423& counter = *SensorSet().DS2423Sensors[0];
    counter.RunningCounter = 1000;
    counter.CountHistory[59] = 940;
    counter.TodayCounter = 990;
    EXPECT_EQ(Tag("abc" + SensorSerialString(counter) + "Hour"), "60");
    EXPECT_EQ(Tag("abc" + SensorSerialString(counter) + "Today"), "10");
    EXPECT_EQ(Tag("abc" + SensorSerialString(counter)), "1000");

    DS2450& analog = *SensorSet().DS2450Sensors[SensorSet().DS2450Sensors.Count() - 1];
    const std::string a = DS2450::RomToHex(analog.Rom);
    analog.Value[1] = 2.5f;
    analog.MaxValue[1] = 3.25f;
    EXPECT_EQ(Tag("abc" + a + "_B"), "2.50");
    EXPECT_EQ(Tag("abc" + a + "_bmax"), "3.25");
    EXPECT_EQ(Tag("abc" + a + "_E"), "(n/a)");

    const std::string b = SensorSerialString(*SensorSet().BarometerSensor);
    EXPECT_EQ(Tag("abc" + b + "T"), "68.0");
    SensorSet().BarometerPresent = false; // the barometer's tags live in its group
    EXPECT_EQ(Tag("abc" + b + "T"), "(n/a)");
    EXPECT_EQ(Tag("abc0000000000000000T"), "(n/a)");
}

TEST_F(TemplateTags, ATagWhoseValueRaisesIsLoggedAndLeftEmpty) {
    StartDemo();
    SetKnownReadings();
    struct FailingHumidity : Humidity {
        FailingHumidity() : Humidity(SensorSet().HumiditySensors.Count(), nullptr, 0) {}
        double GetValue() override { throw std::runtime_error("no reading"); }
    };
    Humidity* failing = SensorSet().HumiditySensors.Add(std::unique_ptr<Humidity>(new FailingHumidity));
    ASSERT_NE(failing, nullptr);
    failing->MarkRead();
    const uint16_t rom[8] = {0x26, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    std::copy(std::begin(rom), std::end(rom), failing->Rom);
    const std::string name = SensorSerialString(*failing) + "H";
    EXPECT_EQ(Tag("abc" + name), "");
    EXPECT_EQ(CountLog("HTML: (TAG: " + name + ") Error: no reading"), 1);
}

TEST_F(TemplateTags, TheRunExpandsEveryTemplateAsTextModeFiles) {
    TMainForm& form = StartDemo();
    SetKnownReadings();
    namespace fs = std::filesystem;
    // An empty folder: nothing to do, and that is success.
    EXPECT_TRUE(publish::ProcessTemplates(*context));
    EXPECT_EQ(form.GeneratedFiles->Count(), 0);

    fs::create_directories(Path("TEMPLATE/sub"));
    Write("TEMPLATE/a.html", "T=<#abcTemperature> 100%\n");
    Write("TEMPLATE/b.txt", "dos\r\n<#abcTime\r\n");
    EXPECT_TRUE(publish::ProcessTemplates(*context));
    ASSERT_EQ(form.GeneratedFiles->Count(), 2);
    EXPECT_EQ((*form.GeneratedFiles)[0], "a.html");
    EXPECT_EQ(Read("HTML/a.html"), "T=45.5 100%\r\n");
    // A template with CR LF lines gives CR CR LF; an open tag stays as written.
    EXPECT_EQ(Read("HTML/b.txt"), "dos\r\r\n<#abcTime\r\r\n");

    // "Create HTMLs" tells what it made; a page that cannot be written stops the run.
    std::string shown;
    platform::SetMessageBoxHook([&](const std::string& text, const std::string& caption, int) {
        shown = caption + ": " + text;
        return platform::IDOK;
    });
    publishing->CreateHTML->Click();
    EXPECT_EQ(shown, "Malvoren Weather Station: Created WEATHER.HTML and CURRENT.HTML");
    EXPECT_FALSE(Read("HTML/weather.html").empty());
    fs::remove(Path("HTML/a.html"));
    fs::create_directories(Path("HTML/a.html/x")); // a folder where the first page goes
    publishing->CreateHTML->Click();
    EXPECT_EQ(shown, "Malvoren Weather Station: Created WEATHER.HTML");
    platform::SetMessageBoxHook(nullptr);
}
