// weather.xml, the status page weather.html, and the bodies of the start and WML pages, on the demo
// station with fixed readings.
#include <gtest/gtest.h>

#include <cstdlib>

#include "PublishStation.h"
#include "net/NetTestSupport.h"
#include "publish/StartPages.h"
#include "publish/StatusPage.h"
#include "publish/WeatherXml.h"
#include "support/DiskFaults.h"

using namespace publish_test;

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Leaves the thermometers alone on the station: every other kind goes.
void KeepOnlyThermometers() {
    SensorSet().WindSensor.Reset();
    SensorSet().WindPresent = false;
    SensorSet().RainSensor.Reset();
    SensorSet().RainPresent = false;
    SensorSet().BarometerSensor.Reset();
    SensorSet().BarometerPresent = false;
    SensorSet().HumiditySensors.Clear();
    SensorSet().DS2438Sensors.Clear();
    SensorSet().DS2423Sensors.Clear();
    SensorSet().DS2450Sensors.Clear();
}

} // namespace

using WeatherXml = PublishStation;

TEST_F(WeatherXml, AThermometerStationHasItsHeaderItsTemperaturesAndSevenEmptySections) {
    TMainForm& form = StartDemo();
    SetKnownReadings();
    KeepOnlyThermometers();
    form.CurrentDate.da_day = 5; // the hourly work has not yet seen the new day: the stamp reads the clock
    std::string xml = publish::BuildXML(*context, false);
    EXPECT_EQ(
        xml.rfind("<?xml version='1.0'?>\n<weather>\n<timestamp>\n<year>2026</year>\n<month>12</month>\n"
                  "<day>6</day>\n<time>14:0",
                  0),
        0u)
        << xml.substr(0, 200);
    EXPECT_TRUE(
        Has(xml, "<provider>\n<name>Korvane 01.12.2026</name>\n</provider>\n\n<temperatures>\n<temperature>\n"
                 "<unit>F</unit>\n"));
    EXPECT_TRUE(Has(xml, "<current>\n<value>53.6</value>\n</current>\n<max>\n<value>58.1</value>\n"
                         "<time>14:00</time>\n</max>\n"));
    const std::string tail = "</temperatures>\n\n\n\n\n\n\n\n</weather>";
    EXPECT_EQ(xml.substr(xml.size() - tail.size()), tail);
    EXPECT_EQ(xml.find('\r'), std::string::npos);
    std::string styled = publish::BuildXML(*context, true);
    EXPECT_EQ(
        styled.rfind(
            "<?xml version='1.0'?>\n<?xml:stylesheet type='text/xsl' href='weather.xsl'?>\n<weather>\n", 0),
        0u);
}

TEST_F(WeatherXml, TextsAreEscapedSoThatTheFileParsesAndFiguresKeepTheirFormats) {
    REQUIRE_PEER("xmllint");
    StartDemo();
    SetKnownReadings();
    SensorSet().DS1820Sensors[0]->TempDescription = "Temp & Hum <%d> \"north\" \xB0";
    SensorSet().HumiditySensors[0]->HumDescription = "%s%n";
    SensorSet().RainSensor->RainUnitInch = 0;
    SensorSet().RainSensor->RateReference = SensorSet().RainSensor->RunningCounter - 3;
    SensorSet().WindSensor->CurrentDirection = 255;
    std::string xml = publish::BuildXML(*context, false);
    EXPECT_TRUE(Has(xml, "<description>Temp &amp; Hum &lt;%d&gt; &quot;north&quot; &#xB0;</description>"));
    EXPECT_TRUE(Has(xml, "<description>%s%n</description>"));
    EXPECT_EQ(Count(xml, "<unit>%</unit>"), 1);
    EXPECT_TRUE(Has(xml, "<rain>\n<unit>mm</unit>\n<rate>4.57</rate>\n")); // 3 x 6 / 100 x 25.4
    EXPECT_TRUE(Has(xml, "<dirdeg>5737</dirdeg>\n<dirname></dirname>\n</current>"));
    EXPECT_TRUE(Has(xml, "<max>\n<value>6.6</value>\n<name>moderate breeze</name>\n<time>14:00</time>\n"
                         "<dirdeg>67</dirdeg>\n<dirname>ENE</dirname>\n</max>"));
    SensorSet().WindSensor->Speed = 0;
    SensorSet().WindSensor->CurrentDirection = 0;
    xml = publish::BuildXML(*context, false);
    EXPECT_TRUE(Has(
        xml, "<current>\n<value>0.0</value>\n<name>calm</name>\n<dirdeg>0</dirdeg>\n<dirname>N</dirname>"));
    // The counters with the wind's and the rain gauge's after the plain one.
    EXPECT_TRUE(Has(xml, "<description>Windspeed</description>"));
    EXPECT_LT(xml.find("<description>Windspeed</description>"),
              xml.find("<description>RainGauge</description>"));

    ASSERT_EQ(publish::WriteWeatherXML(*context, false), 0);
    std::string file = Read("HTML/weather.xml");
    EXPECT_EQ(Count(file, "\n"), Count(file, "\r\n"));
    EXPECT_EQ(Count(file, "\r\n"), Count(xml, "\n"));
    EXPECT_EQ(std::system(("xmllint --noout " + Path("HTML/weather.xml")).c_str()), 0);
    // A weather.xml that cannot be opened is answered 0, as the writer's callers know it.
    StationSettings.HTMLDir = Path("missing");
    EXPECT_EQ(publish::WriteWeatherXML(*context, false), 0);

    // On a full disk the close fails (EOF), the weather.xml before stays whole and the log tells it once.
    platform::CreateDir(Path("full"));
    StationSettings.HTMLDir = Path("full");
    korvane_test::FullDisk disk(Path("full"), korvane_test::DiskKind::SmallFileSystem);
    ASSERT_EQ(publish::WriteWeatherXML(*context, false), 0);
    const std::string before = Read("full/weather.xml");
    disk.Fill();
    EXPECT_EQ(publish::WriteWeatherXML(*context, false), EOF);
    EXPECT_EQ(publish::WriteWeatherXML(*context, false), EOF);
    disk.Free();
    EXPECT_EQ(Read("full/weather.xml"), before);
    EXPECT_EQ(CountLog("SERVER: Cannot write " + Path("full/weather.xml")), 1);
    EXPECT_EQ(publish::WriteWeatherXML(*context, false), 0);
}

TEST_F(WeatherXml, AHeatIndexWhereTheFormulaDoesNotApplyIsTheAirTemperature) {
    StartDemo();
    SetKnownReadings();
    Humidity& h = *SensorSet().HumiditySensors[0];
    h.Celsius = 0;
    h.temp.value = 8.0;      // 46.4 F
    h.heatindex.value = 0.0; // what the sensor holds below the formula's range
    EXPECT_TRUE(Has(publish::BuildXML(*context, false), "<heatindex>\n<value>46.4</value>\n</heatindex>"));
    h.temp.value = 32.0; // 89.6 F at 65 %: hot
    h.heatindex.value = 37.0;
    EXPECT_TRUE(Has(publish::BuildXML(*context, false), "<heatindex>\n<value>98.6</value>\n</heatindex>"));
}

using StatusPage = PublishStation;

TEST_F(StatusPage, HeaderAndFooterFilesAreCopiedAsDataAroundTheBlocks) {
    StartDemo();
    SetKnownReadings();
    Write("header.html", "<H1>%s%n 100%</H1>\r\n");
    Write("footer.html", "<P>end</P>\r\n");
    ASSERT_EQ(publish::WriteWeatherHTML(*context), 0);
    std::string page = Read("HTML/weather.html");
    EXPECT_EQ(page.rfind("<H1>%s%n 100%</H1>\r\n<TABLE WIDTH=370 BORDER=1 ", 0), 0u);
    EXPECT_TRUE(
        Has(page, "Korvane 01.12.2026</FONT></TD></TR></TABLE></TD></TR></TABLE>\r\n\r\n<P>end</P>\r\n"));
    EXPECT_EQ(Count(page, "\n"), Count(page, "\r\n"));
    // The blocks in their order.
    size_t wind = page.find(">Wind &nbsp;"), rain = page.find("Rainfall status in in"),
           temperatures = page.find("Temperatures &nbsp;"), counters = page.find("Counters &nbsp;"),
           humidity = page.find("Relative Humidity"), barometer = page.find("Barometer&nbsp;"),
           misc = page.find("Miscellaneous");
    EXPECT_LT(wind, rain);
    EXPECT_LT(rain, temperatures);
    EXPECT_LT(temperatures, counters);
    EXPECT_LT(counters, humidity);
    EXPECT_LT(humidity, barometer);
    EXPECT_LT(barometer, misc);
    EXPECT_NE(misc, std::string::npos);
}

TEST_F(StatusPage, WindRowsFollowTheBeaufortSettings) {
    StartDemo();
    SetKnownReadings();
    std::string page = publish::StatusPageText(*context);
    EXPECT_TRUE(Has(page,
                    "<TR><TD><font size=2> &nbsp;Todays high:</FONT></TD>\n<TD ALIGN=RIGHT><font size=2> 6.6 "
                    "&nbsp;m/s </FONT></TD><TD><font size=2>&nbsp; (4 moderate breeze) at 14:00 </FONT></TD>"
                    "<TD ALIGN=RIGHT><font size=2> ENE (067&deg;)&nbsp; </FONT></TD></TR>"))
        << page;
    StationSettings.BEAUFORTNumbers = false;
    page = publish::StatusPageText(*context);
    EXPECT_TRUE(Has(page, "<TD><font size=2>&nbsp; (moderate breeze) at 14:00 </FONT></TD>"));
    StationSettings.BEAUFORTName = false;
    page = publish::StatusPageText(*context);
    EXPECT_TRUE(Has(page, "<TD><font size=2>&nbsp; at 14:00 </FONT></TD>"));
    EXPECT_TRUE(Has(page,
                    "Gust:</FONT></TD>\n<TD ALIGN=RIGHT><font size=2> 5.5 &nbsp;m/s </FONT></TD><TD><font "
                    "size=2>&nbsp; </FONT></TD><TD ALIGN=RIGHT><font size=2>&nbsp; </FONT></TD></TR>"));
    // No wind: no direction; a direction the vane never gave has no name and no read outside the table.
    SensorSet().WindSensor->Speed = 0;
    SensorSet().WindSensor->MaxSpeedDir = 255;
    page = publish::StatusPageText(*context);
    EXPECT_TRUE(Has(page, "<font size=2> n/a (000&deg;)&nbsp; </FONT>"));
    EXPECT_TRUE(Has(page, "<font size=2>  (5737&deg;)&nbsp; </FONT>"));
}

TEST_F(StatusPage, TemperatureHumidityAndRainBlocksShowTheirFigures) {
    StartDemo();
    SetKnownReadings();
    SensorSet().HumiditySensors[0]->hum.value = 54.9;
    form_->CurrentReadings.Temperature = 20.0f; // Fahrenheit, as the main thermometer shows it
    std::string page = publish::StatusPageText(*context);
    EXPECT_TRUE(Has(page, "<TD ALIGN=RIGHT><font size=2>54% </FONT></TD>"));
    EXPECT_TRUE(Has(page, "(<a href=\"javascript:alert('Curr: 54.9%\\rHigh: 80.9% at 14:00\\rLow:  54.9% at "
                          "14:00')\">%</A>)"));
    // A thermometer shown in Fahrenheit has the Celsius values in its alert link.
    EXPECT_TRUE(Has(page,
                    "<font color=#FF0000 size=2>53.6&deg;F </FONT></TD><TD ALIGN=RIGHT><font color=#000000 "
                    "size=2>58.1&deg;F </FONT></TD>"));
    EXPECT_TRUE(Has(page,
                    "javascript:alert('Curr: 12.0 &deg;C\\rHigh: 14.5 &deg;C at 14:00\\rLow:  3.0 &deg;C at "
                    "14:00')\">&deg;C</A>)"));
    EXPECT_TRUE(
        Has(page, "<TD ALIGN=CENTER WIDTH=52><font size=2>0.60</FONT></TD></TR></TABLE>\n")); // Saturday
    EXPECT_TRUE(
        Has(page, "<TH ALIGN=CENTER><font size=2>December</FONT></TH><TH ALIGN=CENTER><font size=2>Since "));
    EXPECT_TRUE(Has(page, "<TD ALIGN=CENTER><font size=2> 40.00 in </FONT></TD></TR></TABLE></TD></TR>"));
    EXPECT_FALSE(Has(page, "Heat Index"));
    StationSettings.PrintRainReset = false;
    form_->CurrentReadings.Temperature = 46.4f; // Fahrenheit: 8.0 C is no heat, whatever the number
    form_->CurrentReadings.TemperatureC = 8.0f;
    form_->CurrentReadings.Humidity = 80.0f;
    page = publish::StatusPageText(*context);
    EXPECT_FALSE(Has(page, "Since "));
    EXPECT_TRUE(Has(page, "<TD ALIGN=CENTER><font size=2> 10.00 in </FONT></TD></TR></TABLE></TD></TR>"));
    EXPECT_FALSE(Has(page, "Heat Index"));
    form_->CurrentReadings.TemperatureC = 27.0f; // the heat index needs more than 27.0 C and 40 %
    page = publish::StatusPageText(*context);
    EXPECT_FALSE(Has(page, "Heat Index"));
    form_->CurrentReadings.TemperatureC = 27.1f;
    page = publish::StatusPageText(*context);
    EXPECT_TRUE(Has(page, "<I> &nbsp; Heat Index &nbsp;<A HREF='dpwchist.gif'>(graph)</A></I>"));
    // Without a DS1820 the wind chill row (of the main temperature, now the humidity sensor's) takes the
    // station's unit letter.
    form_->CurrentReadings.TemperatureC = -3.0f;
    SensorSet().DS1820Sensors.Clear();
    form_->CurrentReadings.MainTemperatureIndex = 0;
    page = publish::StatusPageText(*context);
    EXPECT_TRUE(Has(page, "Windchill &nbsp;")) << page;
    EXPECT_TRUE(Has(page, ".0&deg;F </FONT>"));
    // A gauge that cannot divide shows 0.00 and the page goes on to its end.
    SensorSet().RainSensor->CountsPrInch = 0;
    page = publish::StatusPageText(*context);
    EXPECT_TRUE(Has(page, "<TD ALIGN=CENTER><font size=2> 0.00 in </FONT></TD>"));
    EXPECT_TRUE(Has(page, "Korvane 01.12.2026"));
    EXPECT_EQ(CountLog("0 counts per inch"), 1);
}

// On a Fahrenheit station the wind chill row shows degrees Fahrenheit, but its colour is that of the
// Celsius value cut to a whole degree: blue at freezing and below, red above. A calm wind chills nothing,
// so each wind chill here is the air temperature.
TEST_F(StatusPage, TheWindChillIsBlueAtFreezingByItsCelsiusValueOnAFahrenheitStation) {
    StartDemo();
    SetKnownReadings();
    SensorSet().WindSensor->MinAvgSpeed = 0.0f;
    TCurrentReadings& now = form_->CurrentReadings;
    const struct {
        float fahrenheit;
        const char* row;
    } cases[] = {
        {23.0f, "<font color=#0000FF size=2>23.0&deg;F </FONT>"}, // -5 C
        {33.0f, "<font color=#0000FF size=2>33.0&deg;F </FONT>"}, // 0.6 C, 0 as a whole degree
        {35.0f, "<font color=#ff0000 size=2>35.0&deg;F </FONT>"}, // 1.7 C
    };
    const std::string label =
        "<I> &nbsp; Windchill &nbsp;<A HREF='dpwchist.gif'>(graph)</A></I></FONT></TD><TD ALIGN=RIGHT>";
    for (const auto& c : cases) {
        now.Temperature = now.TemperatureF = c.fahrenheit;
        now.TemperatureC = (c.fahrenheit - 32) * 5 / 9;
        EXPECT_TRUE(Has(publish::StatusPageText(*context), label + c.row)) << c.fahrenheit;
    }
}

using StartPage = PublishStation;

TEST_F(StartPage, TemperatureColoursAndUnits) {
    StartDemo();
    SetKnownReadings();
    DS1820& t = *SensorSet().DS1820Sensors[0];
    t.Celsius = 1;
    t.temp.value = 0.0;
    EXPECT_TRUE(Has(publish::StartPageBody(*context, 0), "<FONT SIZE=2 COLOR=#FF0000>0.0 &deg;C</FONT>"));
    t.temp.value = -0.1;
    EXPECT_TRUE(Has(publish::StartPageBody(*context, 0), "<FONT SIZE=2 COLOR=#0000FF>-0.1 &deg;C</FONT>"));
    t.Celsius = 0;
    t.temp.value = -5;
    std::string html = publish::StartPageBody(*context, 0);
    EXPECT_TRUE(
        Has(html, "<A HREF='/DS1820/0'>" + t.TempDescription +
                      "</A></FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2 COLOR=#0000FF>23.0 &deg;F</FONT>"));
    EXPECT_TRUE(Has(html, "<FONT SIZE=2 COLOR=#000000>65.4%</FONT>"));
    EXPECT_TRUE(
        Has(html, "<TR><TD><FONT SIZE=2>Rate/h</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>0.18 in</FONT>"));
    SensorSet().RainSensor->RateMinutes = 15;
    EXPECT_TRUE(Has(publish::StartPageBody(*context, 0), "<FONT SIZE=2>0.12 in</FONT>")); // 3 x 4
    std::string wml = publish::WmlPageBody(*context);
    EXPECT_TRUE(Has(wml, "</a> 23.0\xB0"
                         "F<br/>\r\n"));
    EXPECT_TRUE(Has(wml, "<a href='/WAP/WIND'>Wind</a>  E @ 3.3 m/s<br/>\r\n"));
}

TEST_F(StartPage, TheWmlPageIsWellFormedWmlInItsDeclaredEncoding) {
    REQUIRE_PEER("xmllint");
    StartDemo();
    SetKnownReadings();
    SensorSet().DS1820Sensors[0]->TempDescription = "Hall & <stairs> $5 \xB0";
    SensorSet().HumiditySensors[0]->HumDescription = "Bath 'n' \"shower\"";
    std::string wml = publish::WmlPageBody(*context);
    EXPECT_EQ(wml.rfind("<?xml version='1.0' encoding='ISO-8859-1'?>\r\n", 0), 0u);
    EXPECT_TRUE(Has(wml, "Hall &amp; &lt;stairs&gt; $$5 &#xB0;</a> "));
    EXPECT_TRUE(Has(wml, "\xB0"
                         "F<br/>")); // the degree sign of the values is the byte itself
    Write("page.wml", wml);
    EXPECT_EQ(std::system(("xmllint --noout " + Path("page.wml")).c_str()), 0);
    KeepOnlyThermometers();
    SensorSet().DS1820Sensors.Clear();
    Write("empty.wml", publish::WmlPageBody(*context));
    EXPECT_EQ(std::system(("xmllint --noout " + Path("empty.wml")).c_str()), 0);
}

TEST_F(StartPage, AStationWithoutSensorsStillHasItsFrame) {
    StartDemo();
    KeepOnlyThermometers();
    SensorSet().DS1820Sensors.Clear();
    std::string html = publish::StartPageBody(*context, 0);
    EXPECT_TRUE(Has(html,
                    "<TABLE cellspacing=20 BORDER=0><TR VALIGN=TOP><TD></TD><TD></TD><TD></TD><TD></TD></TR>"
                    "</TABLE><FONT SIZE=2><B><A HREF='/XML'>XML</A><HR>Korvane Build 01.12.2026</B></FONT>"));
    EXPECT_TRUE(Has(html, "<I>Generated in "));
    std::string wml = publish::WmlPageBody(*context);
    const std::string tail = "2026\n</b></small><br/>\r\n<br/>\r\n<br/>\r\n<br/>\r\n<br/>\r\n<br/>\r\n"
                             "<a href='/'>HTML</a><br/>Korvane Build 01.12.2026<br/>\r\n</p>\r\n</card>\r\n"
                             "</wml>\r\n";
    EXPECT_EQ(wml.substr(wml.size() - tail.size()), tail);
}

// The server's kept start page is made again for every value it shows that changes, and only then.
TEST_F(StartPage, TheKeptStartPageIsMadeAgainForEveryValueItShowsAndOnlyThen) {
    TMainForm& form = StartDemo();
    SetKnownReadings();
    publish::TStartPage kept;
    int builds = 0;
    // After each change: the kept page reads as a page made anew, and was made again (or not).
    auto expect = [&](const char* change, bool madeAgain) {
        const uint32_t now = platform::Clock::Get().TickCount();
        EXPECT_EQ(kept.Body(*context, now), publish::StartPageBody(*context, now)) << change;
        builds += madeAgain ? 1 : 0;
        EXPECT_EQ(kept.Builds(), builds) << change;
    };
    expect("first", true);
    expect("nothing", false);
    // "Generated in" is each request's own, not kept.
    const uint32_t asked = platform::Clock::Get().TickCount();
    clock_->SetTick(asked + 7);
    EXPECT_TRUE(Has(kept.Body(*context, asked), "Generated in 7 milliseconds"));
    EXPECT_EQ(kept.Builds(), builds);
    clock_->Advance(1000);
    expect("the clock's second", true);
    clock_->Advance(400);
    expect("within the second", false);
    DS1820& t = *SensorSet().DS1820Sensors[0];
    t.temp.value = 0.0;
    expect("a temperature", true);
    t.temp.value = -0.0;
    t.Celsius = 1;
    expect("0.0 to -0.0 in Celsius", true);
    t.TempDescription = "Porch";
    expect("a description", true);
    SensorSet().HumiditySensors[0]->hum.value = 70.1;
    expect("a humidity", true);
    SensorSet().HumiditySensors[0]->HumDescription = "Porch humidity";
    expect("a humidity description", true);
    WindData& w = *SensorSet().WindSensor;
    for (float* speed : {&w.Speed, &w.Gust, &w.MaxSpeed, &w.MinAvgSpeed, &w.HourAvgSpeed, &w.DayAvgSpeed}) {
        *speed += 1.0f;
        expect("a wind speed", true);
    }
    w.CurrentDirection = 9;
    expect("the wind's direction", true);
    w.Unit = 1;
    expect("the wind's unit", true);
    SensorSet().RainSensor->RunningCounter += 3;
    expect("a rain tip", true);
    SensorSet().RainSensor->RainUnitInch = 0;
    expect("the rain's unit", true);
    SensorSet().BarometerSensor->baro.value = 29.5;
    expect("the pressure", true);
    SensorSet().BarometerSensor->baro.low = 29.1;
    expect("the day's low pressure", true);
    form.sBuild->SetCaption("02.12.2026");
    expect("the build", true);
    SensorSet().DS1820Sensors.Clear();
    expect("thermometers gone", true);
    SensorSet().BarometerSensor.Reset();
    SensorSet().BarometerPresent = false;
    expect("the barometer gone", true);
    expect("nothing", false);
}
