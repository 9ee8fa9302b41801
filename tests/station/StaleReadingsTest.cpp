// Readings the station publishes as current are current: an adapter that falls silent for a while
// disables no sensor, a sensor that stopped reading is published as one the station does not have, a
// value derived of readings only while each of them is current, a direction histogram with nothing since
// its restart gives no direction, a garbled DS2450 answer is read again, and counters count on past 2^31
// and across 2^32.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2450.h"
#include "onewire/DataFiles.h"
#include "onewire/DataTables.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Strings.h"
#include "platform/tmex/Backend.h"
#include "platform/tmex/sim/DS2438.h"
#include "platform/tmex/sim/DS2450.h"
#include "platform/tmex/sim/DemoNet.h"
#include "publish/AprsPacket.h"
#include "publish/PostBodies.h"
#include "publish/PublishContext.h"
#include "publish/ReportValues.h"
#include "publish/StartPages.h"
#include "publish/StatusPage.h"
#include "publish/Templates.h"
#include "publish/WeatherXml.h"
#include "station/StationNet.h"

using namespace station_test;

namespace {

// Whether a value shows, output by output.
using Where = std::map<std::string, bool>;

// What the station publishes at one moment, output by output.
struct Outputs {
    std::string start, wml, weather, xml, log, post, servlet, aprs, status, summary, now, title, tray;
    // Template tags by name, DDE items by what they carry.
    std::map<std::string, std::string> tags, dde;
    // The graphs: the wind's speed channel shown and the wind graph recording, the rain's today channel
    // shown, the thermometer's channel shown, the dew point's and the wind chill's shown.
    bool windShown = false, windRecording = false, rainShown = false, temperatureShown = false;
    bool dewpointShown = false, windChillShown = false;
    // The sensors' own DATA files that the data-log write added a line to.
    std::set<std::string> ownLines;

    bool Has(const std::string& output, const std::string& part) const {
        return output.find(part) != std::string::npos;
    }
    // Field n (1-21) of the status line.
    std::string StatusField(int n) const {
        std::vector<std::string> fields;
        std::string field;
        for (char c : status.substr(0, status.size() - 2)) {
            if (c != ' ') {
                field += c;
                continue;
            }
            fields.push_back(field);
            field.clear();
        }
        fields.push_back(field);
        return n >= 1 && n <= static_cast<int>(fields.size()) ? fields[static_cast<size_t>(n - 1)] : "";
    }
    // Whether a sensor's own DATA file (by the description it is named after) got a line.
    bool OwnLine(const std::string& description) const {
        return ownLines.contains(SensorDataFileName(description, 12, 2026).substr(5));
    }
    // Where the values derived of readings show, output by output: the dew point (with the heat index),
    // and the wind chill.
    Where DewpointShown() const {
        return {{"KV_Dewpoint", tags.at("Dewpoint") != "(n/a)"},
                {"KV_HeatIndex", tags.at("HeatIndex") != "(n/a)"},
                {"weather.html", Has(weather, "Dewpoint &nbsp;")},
                {"graph", dewpointShown},
                {"post", Has(post, "&dewptf=")}};
    }
    Where WindChillShown() const {
        return {{"KV_WindChill", tags.at("WindChill") != "(n/a)"},
                {"weather.html", Has(weather, "Windchill &nbsp;")},
                {"graph", windChillShown},
                {"DDE", !dde.at("windchill").empty()}};
    }
    // The value of an element of weather.xml's wind section (-1 without the section).
    double WindValue(const std::string& element) const {
        size_t at = xml.find("<wind>");
        if (at == std::string::npos) return -1;
        at = xml.find("<value>", xml.find("<" + element + ">", at));
        return std::stod(xml.substr(at + 7));
    }
};

// Whether a value shows in each output of a table (`shown`), or in none.
void ExpectIn(const Where& where, bool shown, const std::string& what) {
    for (const auto& [output, is] : where)
        EXPECT_EQ(is, shown) << what << ": " << output;
}

} // namespace

// A station of its own: a wind sensor (its counter on a turning anemometer, a DS2450 vane pointing
// south), a rain gauge, a lightning counter, the outdoor thermometer and a plain DS2450, read every
// second; the thermometer every minute.
class StaleReadingsTest : public StationNetTest {
protected:
    void SetUp() override {
        StationNetTest::SetUp();
        wind = &AddCounter(0x51);
        wind->ConnectInput('B', [this] { return clock_->MonotonicMs() / 100; }); // 5 revolutions a second
        vane = &net->Add<sim::DS2450>(net->Trunk(), 0x61);
        vane->SetVanePosition(8);
        rain = &AddCounter(0x52);
        lightning = &AddCounter(0x53);
        outdoor = &AddThermometer(0x21);
        outdoor->SetTemperature(4.5);
        analog = &net->Add<sim::DS2450>(net->Trunk(), 0x62);
        analog->SetChannelVolts(1.0, 2.0, 3.0, 4.0);
        Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\nSampleInterval=1000\r\nDDEEnabled=1\r\n");
        Sensors("");
    }

    // A humidity sensor and a barometer beside them (DS2438s read every minute); the outdoor thermometer
    // stays the main one.
    void AddHumidityAndBarometer() {
        humidity = &net->Add<sim::DS2438>(net->Trunk(), 0x71);
        humidity->SetVDD(5.0);
        humidity->SetTemperature(4.5);
        humidity->SetVAD(sim::DemoWeather::HumidityVolts(80.0, 4.5, 5.0));
        barometer = &net->Add<sim::DS2438>(net->Trunk(), 0x72);
        barometer->SetVDD(5.0);
        barometer->SetTemperature(20.0);
        barometer->SetVAD(sim::DemoWeather::BarometerVolts(1013.0));
        Write("SENSORS.INI", Read("SENSORS.INI") + "[" + humidity->rom().Text() +
                                 "]\r\nType=Humidity\r\nHumDescription=Outdoor humidity\r\n[" +
                                 barometer->rom().Text() + "]\r\nType=Barometer\r\n");
        Settings(Read("korvane.ini") + "DS1820Selected=" + outdoor->rom().Text() + "\r\n");
    }

    // The sizes of the files in DATA.
    std::map<std::string, uintmax_t> DataFiles() const {
        std::map<std::string, uintmax_t> sizes;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(Path("DATA"), ec))
            sizes[entry.path().filename().string()] = entry.file_size();
        return sizes;
    }

    void Sensors(const std::string& rainCounts) {
        Write("SENSORS.INI", "[" + wind->rom().Text() +
                                 "]\r\nType=WindSpeed\r\nDirSerialNum=" + vane->rom().Text() + "\r\n[" +
                                 vane->rom().Text() + "]\r\nType=WindDirection\r\n[" + rain->rom().Text() +
                                 "]\r\nType=RainGauge\r\n" + rainCounts + "[" + lightning->rom().Text() +
                                 "]\r\nType=DS2423\r\nDescription=Lightning\r\n");
    }

    // The adapter stops answering while its device stays (sessions open, nothing answers), and answers
    // again.
    void Silence() {
        tmex::InstallBackend(1, tmex::kPortTypeSimulated, std::make_shared<tmex::NoAdapterBackend>("silent"));
    }
    void Answer() { tmex::InstallBackend(1, tmex::kPortTypeSimulated, net); }

    // Runs until `rounds` more reading rounds have ended.
    void Rounds(unsigned rounds) {
        const unsigned until = SampleCount + rounds;
        platform::EventLoop::Get().RunUntil([&] { return SampleCount >= until; }, 60000);
    }

    Outputs Publish(TMainForm& form) {
        publish::TPublishContext context(form);
        Outputs o;
        o.start = publish::StartPageBody(context, 0);
        o.wml = publish::WmlPageBody(context);
        o.weather = publish::StatusPageText(context);
        o.xml = publish::BuildXML(context, false);
        const std::map<std::string, uintmax_t> before = DataFiles();
        form.WriteDataLog();
        for (const auto& [name, size] : DataFiles())
            if (name != "122026.TXT" && (!before.contains(name) || before.at(name) < size))
                o.ownLines.insert(name);
        const std::string log = Read("DATA/122026.TXT");
        o.log = log.substr(log.rfind('\n') + 1);
        const TReportValues values = GatherReportValues(form.CurrentReadings);
        const platform::LocalTime utc = platform::Clock::ToUtc(platform::UnixTime());
        o.post = UpdaterawBody(values, "me", "pw", utc, "n/a");
        o.servlet = ServletBody(values, TServletPost{"me", "12.3", "45.6", false, 0, 0});
        o.aprs = AprsPacket(values, "CW0xxx", "1234.56N", "01234.56W", utc);
        o.status = form.FormatStatusLine();
        form.WriteSummaryFile();
        o.summary = Read("DATA/SUMMARY.TXT");
        form.WriteNowFile();
        o.now = Read("DATA/NOW.TXT");
        // The plain tags by their names; a counter's and a DS2450 channel's by their serial.
        const std::pair<std::string, std::string> tags[] = {
            {"WindSpeed", "WindSpeed"},
            {"WindAvgDirection", "WindAvgDirection"},
            {"WindChill", "WindChill"},
            {"RainToday", "RainToday"},
            {"Temperature", "Temperature"},
            {"Dewpoint", "Dewpoint"},
            {"HeatIndex", "HeatIndex"},
            {"Humidity", "Humidity"},
            {"Barometer", "Barometer"},
            {"counter", SensorSerialString(*SensorSet().DS2423Sensors[0])},
            {"channelA", DS2450::RomToHex(SensorSet().DS2450Sensors[0]->Rom) + std::string("_A")}};
        for (const auto& [name, tag] : tags)
            o.tags[name] = publish::TemplateTagValue(context, "KV_" + tag);
        o.title = platform::Application->Title();
        o.tray = form.TrayIcon->Hint();
        form.UpdateGraphs();
        o.windShown = form.Wind->Channel(1).Visible();
        o.windRecording = form.Wind->StartRecording();
        o.rainShown = form.Rain->Channel(1).Visible();
        o.temperatureShown = form.Temperature->Channel(1).Visible();
        o.dewpointShown = form.DPWC->Channel(1).Visible();
        o.windChillShown = form.DPWC->Channel(2).Visible();
        const TDdeItems& dde = form.Dde;
        for (auto [name, item] :
             {std::pair{"wind", dde.DDEWindSpeed}, std::pair{"direction", dde.DDEWindDirAVG},
              std::pair{"rain", dde.DDERainToday}, std::pair{"temperature", dde.DDETemperature},
              std::pair{"windchill", dde.DDEWindChill}, std::pair{"counter", DDEItemAt(dde.DS2423Items, 0)},
              std::pair{"channelA", DDEItemAt(dde.DS2450Items, 0)},
              std::pair{"thermometer", DDEItemAt(dde.DS1820Items, 0)}, std::pair{"humidity", dde.DDEHumidity},
              std::pair{"humidityItem", DDEItemAt(dde.HumidityItems, 0)},
              std::pair{"barometer", dde.DDEBarometer}})
            o.dde[name] = item != nullptr ? item->Text() : "(no item)";
        return o;
    }

    sim::DS2423 *wind = nullptr, *rain = nullptr, *lightning = nullptr;
    sim::DS2450 *vane = nullptr, *analog = nullptr;
    sim::DS18B20* outdoor = nullptr;
    sim::DS2438 *humidity = nullptr, *barometer = nullptr;
};

TEST_F(StaleReadingsTest, AnAdapterOutageDisablesNothingAndItsStaleValuesArePublishedAsAbsent) {
    TMainForm& form = StartStation();
    Run(60000);
    rain->AddCounts('B', 25);
    Run(5000);
    const Outputs before = Publish(form);
    ASSERT_TRUE(before.Has(before.start, "HREF='/WIND'")) << before.start;
    ASSERT_TRUE(before.Has(before.xml, "<rain>\n"));
    ASSERT_GT(before.WindValue("gust"), 0.0);
    for (const std::string* summary : {&before.summary, &before.now}) {
        ASSERT_TRUE(before.Has(*summary, "g")) << "the wind: " << *summary;
        ASSERT_TRUE(before.Has(*summary, "P")) << "the rain: " << *summary;
    }
    for (const char* tag :
         {"WindSpeed", "WindAvgDirection", "WindChill", "RainToday", "Temperature", "counter", "channelA"})
        ASSERT_NE(before.tags.at(tag), "(n/a)") << tag;
    for (const auto& [item, text] : before.dde)
        ASSERT_FALSE(text.empty()) << item;
    ASSERT_TRUE(before.Has(before.title, " - ")) << before.title;
    ASSERT_TRUE(before.Has(before.servlet, "&WSp=")) << before.servlet;
    ASSERT_TRUE(before.windShown && before.windRecording && before.rainShown && before.temperatureShown);
    ExpectIn(before.WindChillShown(), true, "the wind chill");
    ASSERT_TRUE(before.OwnLine("RainGauge") && before.OwnLine("Lightning")) << before.ownLines.size();

    // Twelve minutes of silence: three minutes in, the counters' values (read every second) are no
    // longer current; the thermometer's (read every minute) still are.
    Silence();
    Run(3 * 60000);
    const Outputs during = Publish(form);
    EXPECT_FALSE(during.Has(during.start, "HREF='/WIND'")) << during.start;
    EXPECT_FALSE(during.Has(during.start, "HREF='/RAIN'"));
    EXPECT_TRUE(during.Has(during.start, "HREF='/DS1820/0'"));
    for (const char* section : {"<wind>", "<rain>", "<DS2423S>", "<DS2450S>"})
        EXPECT_FALSE(during.Has(during.xml, section)) << section << "\n" << during.xml;
    EXPECT_TRUE(during.Has(during.xml, "<temperatures>"));
    EXPECT_TRUE(during.log.ends_with("\t0.0\t0.0\tN\t0.00\t0.00")) << during.log;
    EXPECT_FALSE(during.Has(during.post, "windspeedmph")) << during.post;
    EXPECT_FALSE(during.Has(during.post, "rainin"));
    EXPECT_TRUE(during.Has(during.post, "&tempf="));
    EXPECT_TRUE(during.Has(during.aprs, "_.../...g...t040P...r...p...")) << during.aprs;
    for (int field : {4, 5, 6, 9, 10, 11, 12})
        EXPECT_DOUBLE_EQ(std::stod(during.StatusField(field)), 0.0) << field << ": " << during.status;
    EXPECT_EQ(during.StatusField(7), "0");
    for (const std::string* summary : {&during.summary, &during.now}) {
        EXPECT_FALSE(during.Has(*summary, "g")) << "no wind: " << *summary;
        EXPECT_FALSE(during.Has(*summary, "P")) << "no rain: " << *summary;
        EXPECT_TRUE(during.Has(*summary, "t040")) << *summary;
    }
    for (const char* tag : {"WindSpeed", "WindAvgDirection", "WindChill", "RainToday", "counter", "channelA"})
        EXPECT_EQ(during.tags.at(tag), "(n/a)") << tag;
    EXPECT_EQ(during.tags.at("Temperature"), "40.1");
    for (const char* item : {"wind", "direction", "rain", "counter", "channelA"})
        EXPECT_EQ(during.dde.at(item), "") << item;
    // The wind chill goes with the wind, whatever the temperature.
    ExpectIn(during.WindChillShown(), false, "the wind chill");
    // Only the thermometer adds a line to its own file.
    EXPECT_EQ(during.ownLines.size(), 1u);
    EXPECT_TRUE(during.OwnLine(SensorSet().DS1820Sensors[0]->Description));
    EXPECT_NEAR(std::stod(during.dde.at("temperature")), 40.1, 0.001);
    EXPECT_EQ(during.title, "40.1\xB0") << "the temperature alone, as a station without wind";
    EXPECT_EQ(during.tray, during.title);
    EXPECT_FALSE(during.Has(during.servlet, "&WSp=")) << during.servlet;
    EXPECT_FALSE(during.Has(during.servlet, "&RSp="));
    EXPECT_TRUE(during.Has(during.servlet, "&Tem=40.1"));
    EXPECT_FALSE(during.windShown);
    EXPECT_FALSE(during.windRecording) << "a graph without a channel shown records nothing";
    EXPECT_FALSE(during.rainShown);
    EXPECT_TRUE(during.temperatureShown);
    EXPECT_EQ(
        CountLog("MicroLAN: No answer from the adapter on port 1, type 64: failed samples are not counted"),
        1);

    // The adapter answers again: every sensor samples at once, none was disabled, and the wind is
    // published with a gust of its own speed, not the calm of the minutes without samples.
    Run(9 * 60000);
    Answer();
    Rounds(3);
    const Outputs after = Publish(form);
    EXPECT_EQ(CountLog("sampling DISABLED"), 0);
    EXPECT_EQ(CountLog("MicroLAN: The adapter on port 1, type 64 answers again"), 1);
    for (DS2423* counter : SensorSet().CounterSensors) {
        EXPECT_EQ(counter->ReadEnabled, 1) << counter->Description;
        EXPECT_EQ(counter->ErrorCount, 0u) << counter->Description;
    }
    ASSERT_TRUE(after.Has(after.xml, "<wind>")) << after.xml;
    EXPECT_TRUE(after.Has(after.xml, "<rain>"));
    EXPECT_GT(after.WindValue("current"), 0.0);
    EXPECT_GT(after.WindValue("gust"), 0.0);
    EXPECT_FALSE(after.Has(after.aprs, "_.../"));
    EXPECT_TRUE(after.Has(after.now, "g")) << after.now;
    EXPECT_NE(after.tags.at("WindSpeed"), "(n/a)");
    EXPECT_FALSE(after.dde.at("wind").empty());
    EXPECT_TRUE(after.Has(after.title, " - ")) << after.title;
    EXPECT_TRUE(after.windShown && after.windRecording && after.rainShown);
}

TEST_F(StaleReadingsTest, AMainThermometerThatStopsReadingIsPublishedAsAbsentWhileTheWindGoesOn) {
    TMainForm& form = StartStation();
    Run(60000);
    const DS1820& sensor = *SensorSet().DS1820Sensors[0];
    const Outputs before = Publish(form);
    ASSERT_EQ(before.StatusField(1), "4.5");
    ASSERT_TRUE(before.Has(before.weather, sensor.TempDescription)) << before.weather;
    ASSERT_TRUE(before.Has(before.wml, "/WAP/DS1820/0")) << before.wml;
    ASSERT_FALSE(before.dde.at("thermometer").empty());
    ASSERT_TRUE(before.OwnLine(sensor.Description));
    outdoor->Remove();
    Run(6 * 60000); // past five read intervals of a minute
    const Outputs o = Publish(form);
    EXPECT_FALSE(o.Has(o.weather, sensor.TempDescription)) << o.weather;
    EXPECT_FALSE(o.Has(o.wml, "/WAP/DS1820/0")) << o.wml;
    EXPECT_EQ(o.dde.at("thermometer"), "");
    EXPECT_FALSE(o.OwnLine(sensor.Description));
    ExpectIn(o.WindChillShown(), false, "the wind chill");
    for (int field : {1, 2, 3})
        EXPECT_EQ(o.StatusField(field), "0.0") << field << ": " << o.status;
    EXPECT_GT(std::stod(o.StatusField(4)), 0.0) << o.status;
    EXPECT_EQ(o.log.substr(0, o.log.find('\t', 17) + 1).substr(17), "0.0\t") << o.log;
    for (const std::string* summary : {&o.summary, &o.now}) {
        EXPECT_EQ(summary->find('t', summary->find('\n')), std::string::npos) << *summary;
        EXPECT_TRUE(o.Has(*summary, "g")) << "the wind: " << *summary;
    }
    EXPECT_EQ(o.tags.at("Temperature"), "(n/a)");
    EXPECT_EQ(o.tags.at("WindChill"), "(n/a)");
    EXPECT_NE(o.tags.at("WindSpeed"), "(n/a)");
    EXPECT_EQ(o.dde.at("temperature"), "");
    EXPECT_FALSE(o.dde.at("wind").empty());
    EXPECT_FALSE(o.Has(o.title, "\xB0")) << o.title;
    EXPECT_FALSE(o.title.empty());
    EXPECT_EQ(o.tray, o.title);
    EXPECT_FALSE(o.temperatureShown);
    EXPECT_TRUE(o.windShown);
    EXPECT_FALSE(o.Has(o.start, "HREF='/DS1820/0'"));
    EXPECT_FALSE(o.Has(o.xml, "<temperatures>"));
    EXPECT_TRUE(o.Has(o.aprs, "t...")) << o.aprs;
    EXPECT_FALSE(o.Has(o.post, "tempf")) << o.post;
    EXPECT_FALSE(o.Has(o.servlet, "&Tem=")) << o.servlet;
}

// Without a wind sensor the wind chill is the main temperature itself while that is current: weather.html
// has its row and the DDE item its value, and the window's label, equal to the temperature's, is hidden;
// the wind tags, the wind chill among them, read "(n/a)" and the graph has no wind chill channel.
TEST_F(StaleReadingsTest, WithoutAWindSensorTheWindChillIsTheMainTemperatureWhileThatIsCurrent) {
    Write("SENSORS.INI", "[" + rain->rom().Text() + "]\r\nType=RainGauge\r\n");
    TMainForm& form = StartStation();
    Run(60000);
    ASSERT_FALSE(SensorSet().WindPresent);
    Outputs o = Publish(form);
    // 4.5 C is 40.1 F, shown in whole degrees.
    const std::string row = "Windchill &nbsp;<A HREF='dpwchist.gif'>(graph)</A></I></FONT></TD>"
                            "<TD ALIGN=RIGHT><font color=#ff0000 size=2>40.0&deg;F </FONT></TD>";
    EXPECT_TRUE(o.Has(o.weather, row)) << o.weather;
    EXPECT_FALSE(form.WChillTemp->Caption().empty());
    EXPECT_EQ(form.WChillTemp->Caption(), form.CurrTemp->Caption());
    EXPECT_FALSE(form.WChillTemp->Visible());
    EXPECT_EQ(o.dde.at("windchill"), o.dde.at("temperature"));
    EXPECT_NEAR(std::stod(o.dde.at("windchill")), 40.1, 0.001);
    EXPECT_EQ(o.tags.at("WindChill"), "(n/a)");
    EXPECT_FALSE(o.windChillShown);

    outdoor->Remove();
    Run(6 * 60000); // past five read intervals of a minute
    o = Publish(form);
    ExpectIn(o.WindChillShown(), false, "the wind chill without the main temperature");
}

// The dew point and the heat index are made of the main temperature and the humidity: with the main
// thermometer switched off from the start, or stopped reading, neither is anywhere, while the humidity
// and the wind go on.
TEST_F(StaleReadingsTest, AMainThermometerSwitchedOffGivesNoDewpointHeatIndexOrWindChill) {
    AddHumidityAndBarometer();
    Write("SENSORS.INI", Read("SENSORS.INI") + "[" + outdoor->rom().Text() + "]\r\nRead=0\r\n");
    TMainForm& form = StartStation();
    Run(2 * 60000);
    const Outputs o = Publish(form);
    ASSERT_EQ(o.tags.at("Temperature"), "(n/a)");
    ASSERT_NE(o.tags.at("Humidity"), "(n/a)");
    ASSERT_NE(o.tags.at("WindSpeed"), "(n/a)");
    ExpectIn(o.DewpointShown(), false, "the dew point");
    ExpectIn(o.WindChillShown(), false, "the wind chill");
}

TEST_F(StaleReadingsTest, DewpointAndHeatIndexGoWithAMainThermometerThatStopsReading) {
    AddHumidityAndBarometer();
    TMainForm& form = StartStation();
    Run(2 * 60000);
    const Outputs before = Publish(form);
    ExpectIn(before.DewpointShown(), true, "the dew point");
    outdoor->Remove();
    Run(6 * 60000);
    const Outputs o = Publish(form);
    ASSERT_NE(o.tags.at("Humidity"), "(n/a)");
    ExpectIn(o.DewpointShown(), false, "the dew point");
}

// A humidity sensor and a barometer that stop reading are published as sensors the station does not
// have, output by output.
TEST_F(StaleReadingsTest, AHumiditySensorAndABarometerThatStopReadingArePublishedAsAbsent) {
    AddHumidityAndBarometer();
    TMainForm& form = StartStation();
    Run(2 * 60000);
    // Where each shows: its link, its section, tag, post and APRS fields, DDE items, status line field,
    // summary letter, its own DATA file.
    auto humidityShown = [](const Outputs& o) {
        return Where{{"start", o.Has(o.start, "HREF='/HUMIDITY/0'")},
                     {"wml", o.Has(o.wml, "/WAP/HUMIDITY/0")},
                     {"weather.html", o.Has(o.weather, "Outdoor humidity")},
                     {"xml", o.Has(o.xml, "<humidity>")},
                     {"tag", o.tags.at("Humidity") != "(n/a)"},
                     {"post", o.Has(o.post, "&humidity=")},
                     {"aprs", !o.Has(o.aprs, "h..")},
                     {"dde", !o.dde.at("humidity").empty()},
                     {"dde item", !o.dde.at("humidityItem").empty()},
                     {"status line", std::stod(o.StatusField(13)) != 0.0},
                     {"summary", o.Has(o.summary, "h")},
                     {"own file", o.OwnLine("Outdoor humidity")}};
    };
    auto barometerShown = [](const Outputs& o) {
        return Where{{"start", o.Has(o.start, "HREF='/BAROMETER'")},
                     {"wml", o.Has(o.wml, "/WAP/BAROMETER")},
                     {"xml", o.Has(o.xml, "<barometer>")},
                     {"tag", o.tags.at("Barometer") != "(n/a)"},
                     {"post", o.Has(o.post, "&baromin=")},
                     {"aprs", !o.Has(o.aprs, "b.....")},
                     {"dde", !o.dde.at("barometer").empty()},
                     {"status line", std::stod(o.StatusField(16)) != 0.0},
                     {"summary", o.Has(o.summary, "b")},
                     {"own file", o.OwnLine("Barometer")}};
    };
    const Outputs before = Publish(form);
    ExpectIn(humidityShown(before), true, "humidity");
    ExpectIn(barometerShown(before), true, "barometer");
    humidity->Remove();
    barometer->Remove();
    Run(6 * 60000); // past five read intervals of a minute
    const Outputs o = Publish(form);
    ExpectIn(humidityShown(o), false, "humidity");
    ExpectIn(barometerShown(o), false, "barometer");
    EXPECT_TRUE(o.log.ends_with("\t0.0\t0.00\t0.00\t0.00\t0.00")) << "humidity, rain, pressure: " << o.log;
    EXPECT_NE(o.tags.at("Temperature"), "(n/a)");
}

TEST_F(StaleReadingsTest, ADirectionHistogramWithNothingSinceItsRestartGivesNoDirection) {
    TMainForm& form = StartStation();
    Run(60000);
    vane->Remove();  // the wind still turns the cups: the speed stays current
    Run(13 * 60000); // across a ten-minute restart of the histogram
    const Outputs o = Publish(form);
    EXPECT_TRUE(o.Has(o.xml, "<tenminuteavg>\n<dirdeg></dirdeg>\n<dirname></dirname>\n</tenminuteavg>"))
        << o.xml;
    EXPECT_TRUE(o.Has(o.aprs, "_.../0")) << o.aprs;
    EXPECT_FALSE(o.Has(o.post, "winddir")) << o.post;
    EXPECT_TRUE(o.Has(o.post, "windspeedmph"));
    EXPECT_EQ(o.StatusField(8), "0") << o.status;
    EXPECT_TRUE(o.Has(o.log, "\tN\t"))
        << "the direction column of a station without a wind sensor: " << o.log;
    EXPECT_GT(std::stod(o.StatusField(4)), 0.0);
}

TEST_F(StaleReadingsTest, AGarbledDs2450AnswerIsReadAgainAndNeverTaken) {
    TMainForm& form = StartStation();
    Run(5000);
    // A bit error on the line in a result byte of each converter: channel B of the plain one (2.05 V
    // would read 0.74 V), channel D of the vane (south would read south-south-east).
    analog->InjectLineError(0x03, 0x40);
    vane->InjectLineError(0x07, 0xE0);
    Rounds(1);
    const Outputs o = Publish(form);
    const size_t channelB = o.xml.find("<channelB>");
    ASSERT_NE(channelB, std::string::npos) << o.xml;
    EXPECT_NE(o.xml.find("<min>\n<value>2.05</value>", channelB), std::string::npos)
        << o.xml.substr(channelB, 200);
    EXPECT_EQ(o.StatusField(7), "8") << o.status;
}

TEST_F(StaleReadingsTest, CountersCountOnPastTwoToTheThirtyFirstAndAcrossTwoToTheThirtySecond) {
    lightning->SetCounter(15, 0x7FFFFFF0u);
    rain->SetCounter(15, 0xFFFFFFD0u);
    // The gauge's stored totals as the file keeps 32-bit counts: 0xFFFFFFD0 is -48.
    Sensors("RunningCounter=-48\r\nTodayCounter=-48\r\nMonthCounter=-48\r\nStartCounter=-48\r\n");
    TMainForm& form = StartStation();
    Run(5000);
    lightning->AddCounts('B', 0x20); // 0x80000010
    rain->AddCounts('B', 20);        // 0xFFFFFFE4: a fifth of an inch
    Run(5000);
    Outputs o = Publish(form);
    EXPECT_TRUE(o.Has(o.xml, "<description>Lightning</description>\n<current>\n<value>2147483664</value>"))
        << o.xml;
    EXPECT_EQ(o.StatusField(10), "0.200") << o.status;
    rain->AddCounts('B', 30); // across 2^32 to 0x00000002: half an inch in all
    Run(5000);
    o = Publish(form);
    EXPECT_TRUE(o.Has(o.xml, "<today>0.50</today>")) << o.xml;
    EXPECT_EQ(o.StatusField(10), "0.500") << o.status;
    EXPECT_TRUE(o.log.ends_with("\t0.50\t3.00")) << o.log; // 50 counts in the rate window: 3 in/h
    EXPECT_EQ(CountLog("sampling DISABLED"), 0);
}

// One switched off, one whose every answer fails its CRC: neither has given a reading, so neither has a
// value anywhere, from the start on; on a clock that counts from boot too (a station started with the
// machine begins within its first two minutes, when a read at tick 0 would still look recent).
TEST_F(StaleReadingsTest, AThermometerNeverReadIsAHiddenChannelAndItsGraphRecordsTheOthers) {
    sim::DS18B20& off = AddThermometer(0x22);
    off.SetTemperature(20.0);
    sim::DS18B20& garbled = AddThermometer(0x23);
    garbled.SetTemperature(15.0);
    garbled.InjectCrcErrors(-1);
    Write("SENSORS.INI", Read("SENSORS.INI") + "[" + off.rom().Text() + "]\r\nRead=0\r\n");
    clock_->SetTick(5000); // 5 s after boot
    clock_->SetMonotonicMs(5000);
    TMainForm& form = StartStation();
    // Within the first minute, long before a sensor that reads nothing would count as stale.
    Run(50000);
    ASSERT_EQ(SensorSet().DS1820Sensors.Count(), 3);
    Outputs o = Publish(form);
    for (DS1820* sensor : SensorSet().DS1820Sensors) {
        const bool never = sensor->SerialSection() != outdoor->rom().Text();
        EXPECT_EQ(o.start.find(sensor->TempDescription) == std::string::npos, never)
            << sensor->TempDescription;
        EXPECT_EQ(o.xml.find(sensor->TempDescription) == std::string::npos, never) << sensor->TempDescription;
        EXPECT_EQ(form.Temperature->Channel(sensor->GraphChannel + 1).Visible(), !never)
            << sensor->TempDescription;
    }
    Run(3 * 60000);
    o = Publish(form);
    for (DS1820* sensor : SensorSet().DS1820Sensors) {
        const bool never = sensor->SerialSection() != outdoor->rom().Text();
        EXPECT_EQ(o.start.find(sensor->TempDescription) == std::string::npos, never)
            << sensor->TempDescription;
        EXPECT_EQ(sensor->ReadEnabled, sensor->SerialSection() == off.rom().Text() ? 0 : 1);
        ASSERT_LT(sensor->GraphChannel, gauges::kTrendChannels);
        // A hidden channel: no curve, no scale, "-" in its legend row, as a channel without a sensor.
        EXPECT_EQ(form.Temperature->Channel(sensor->GraphChannel + 1).Visible(), !never)
            << sensor->TempDescription;
    }
    EXPECT_TRUE(form.Temperature->StartRecording());
    EXPECT_GT(form.Temperature->RecordCount(), 0);
}
