// The HTML and WML start pages: the values each shows are read first, then the text is made of them
// alone, so that a start page whose values are all as they were is the same text as before. A sensor
// whose values are not current is shown as one the station does not have.
#include "publish/StartPages.h"

#include <bit>
#include <charconv>
#include <string_view>
#include <vector>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Strings.h"
#include "publish/PageFormats.h"
#include "publish/PublishContext.h"
#include "publish/RainFigures.h"
#include "publish/WeatherXml.h"
#include "publish/WindFigures.h"

using platform::Format;

namespace publish {

namespace {

// A number as a page shows it: equal only bit for bit, as 0.0 and -0.0 are printed apart.
struct Shown {
    double value = 0;
    bool operator==(const Shown& other) const {
        return std::bit_cast<uint64_t>(value) == std::bit_cast<uint64_t>(other.value);
    }
};

struct TemperatureRow {
    bool humidity = false; // a humidity sensor's thermometer, else a DS1820
    int index = 0;
    std::string description;
    const char* colour = nullptr;
    Shown value; // in the sensor's unit
    char unit = 'C';
    bool operator==(const TemperatureRow&) const = default;
};

struct HumidityRow {
    int index = 0;
    std::string description;
    Shown value;
    bool operator==(const HumidityRow&) const = default;
};

// The row at `used` (made when the rows are fewer): a row read again keeps its text's storage.
template <typename Row> Row& NextRow(std::vector<Row>& rows, size_t& used) {
    if (used == rows.size()) rows.emplace_back();
    return rows[used++];
}

// A row per thermometer, then per humidity sensor, of those whose values are current.
void ReadTemperatureRows(std::vector<TemperatureRow>& rows) {
    size_t used = 0;
    auto add = [&](bool humidity, int index, Temperature& t) {
        TemperatureRow& row = NextRow(rows, used);
        row.humidity = humidity;
        row.index = index;
        row.description = t.TempDescription;
        row.colour = TemperatureColor(t.temp.value);
        row.value = {t.InUnit(t.temp.value)};
        row.unit = t.Celsius ? 'C' : 'F';
    };
    for (int i = 0; i < SensorSet().DS1820Sensors.Count(); ++i)
        if (DS1820* t = CurrentSensor(SensorSet().DS1820Sensors[i])) add(false, i, *t);
    for (int i = 0; i < SensorSet().HumiditySensors.Count(); ++i)
        if (Humidity* h = CurrentSensor(SensorSet().HumiditySensors[i])) add(true, i, *h);
    rows.resize(used);
}

void ReadHumidityRows(std::vector<HumidityRow>& rows) {
    size_t used = 0;
    for (int i = 0; i < SensorSet().HumiditySensors.Count(); ++i) {
        if (Humidity* h = CurrentSensor(SensorSet().HumiditySensors[i])) {
            HumidityRow& row = NextRow(rows, used);
            row.index = i;
            row.description = h->HumDescription;
            row.value = {h->GetValue()};
        }
    }
    rows.resize(used);
}

} // namespace

// Every value the start page shows, read from the station.
struct StartPageValues {
    int64_t now = 0; // the clock's second
    bool wind = false;
    std::string windUnit;
    int compass = 0;
    Shown windSpeeds[6]; // current, gust, high, minute, hour and day averages (in the unit shown)
    bool temperatures = false, humidity = false;
    std::vector<TemperatureRow> temperatureRows;
    std::vector<HumidityRow> humidityRows;
    bool rain = false;
    std::string rainUnit;
    Shown rainAmounts[4]; // rate per hour, today, week, month
    bool barometer = false;
    std::string barometerUnit;
    Shown pressures[4]; // rate per hour, current, high, low
    std::string build;
    bool operator==(const StartPageValues&) const = default;

    // Reads them again (reusing what the last reading held).
    void Read(TPublishContext& context) {
        now = platform::Clock::Get().UnixTime();
        const TCurrentReadings& current = context.Station.Readings();
        const std::optional<TWindNow> windNow = current.Wind();
        wind = windNow.has_value();
        if (wind) {
            WindData& w = *windNow->Sensor;
            windUnit = w.GetUnit();
            compass = CurrentCompassIndex(w);
            const float speeds[] = {w.Speed,       w.Gust,         w.MaxSpeed,
                                    w.MinAvgSpeed, w.HourAvgSpeed, w.DayAvgSpeed};
            for (int i = 0; i < 6; ++i)
                windSpeeds[i] = {static_cast<double>(w.ConvertSpeed(speeds[i]))};
        }
        ReadTemperatureRows(temperatureRows);
        temperatures = !temperatureRows.empty();
        ReadHumidityRows(humidityRows);
        humidity = !humidityRows.empty();
        const std::optional<TRainNow> rainNow = current.Rain();
        rain = rainNow.has_value();
        if (rain) {
            RainGauge& gauge = *rainNow->Gauge;
            const RainFigures figures = RainFiguresOf(gauge);
            context.LogOnce(figures.Fault);
            rainUnit = gauge.GetUnit();
            rainAmounts[0] = {figures.Rate};
            rainAmounts[1] = {figures.Today};
            rainAmounts[2] = {figures.Week};
            rainAmounts[3] = {figures.Month};
        }
        const std::optional<TBarometerNow> barometerNow = current.Pressure();
        barometer = barometerNow.has_value();
        if (barometer) {
            Barometer& b = *barometerNow->Sensor;
            barometerUnit = b.GetUnit();
            pressures[0] = {b.ConvertPressure(b.RatePerHour())};
            pressures[1] = {b.GetValue()};
            pressures[2] = {b.GetMax()};
            pressures[3] = {b.GetMin()};
        }
        build = context.Build();
    }
};

namespace {

std::string AsItIs(const std::string& text) {
    return text;
}

// A text as WML character data: as in XML, and "$" (which begins a variable in WML) doubled.
std::string WmlText(const std::string& text) {
    std::string out;
    for (char c : XmlText(text))
        out += c == '$' ? std::string("$$") : std::string(1, c);
    return out;
}

// The temperature rows in `format`: "%s" for the kind in the link, then (with "%%") the index, the
// description (as `text` gives it), the colour, the value in the sensor's unit and its letter.
std::string TemperatureRows(const std::vector<TemperatureRow>& rows, const char* format,
                            std::string (*text)(const std::string&) = AsItIs) {
    std::string out;
    const std::string ds1820Row = Format(format, "DS1820");
    const std::string humidityRow = Format(format, "HUMIDITY");
    for (const TemperatureRow& row : rows)
        out += Format((row.humidity ? humidityRow : ds1820Row).c_str(), row.index,
                      text(row.description).c_str(), row.colour, row.value.value, row.unit);
    return out;
}

std::string WindCell(const StartPageValues& v) {
    std::string html =
        "<TABLE WIDTH=160 BORDER=0><TR><TD><FONT SIZE=2> <CENTER><B><A HREF='/WIND'>Wind</A></B>"
        "</CENTER></FONT></TD><TD><FONT SIZE=2> (<A HREF='/GRAPHWIND'>graph</A>/<A "
        "HREF='/GRAPHDIR'>graph</A>)</FONT></TD></TR>";
    html +=
        Format("<TR><TD><FONT SIZE=2>Current</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f %s</FONT></TD><TD>"
               "<FONT SIZE=2>(%s)</FONT></TD></TR>",
               v.windSpeeds[0].value, v.windUnit.c_str(), CompassName(v.compass));
    const char* names[] = {"Gust", "High", "Minute avg", "Hour avg", "Day avg"};
    for (int i = 0; i < 5; ++i)
        html +=
            Format("<TR><TD><FONT SIZE=2>%s</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f %s</FONT></TD><TD> "
                   "</TD></TR>",
                   names[i], v.windSpeeds[i + 1].value, v.windUnit.c_str());
    return html + "</TABLE>";
}

std::string TemperatureCell(const StartPageValues& v) {
    std::string html =
        "<TABLE WIDTH=190 BORDER=0><TR><TD><FONT SIZE=2><B><CENTER>Temperature</CENTER></B></FONT>"
        "</TD><TD><FONT SIZE=2>(<A HREF='/GRAPHTEMP'>graph</A>)</FONT></TD></TR>";
    html += TemperatureRows(
        v.temperatureRows,
        "<TR><TD><FONT SIZE=2><A HREF='/%s/%%d'>%%s</A></FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2 "
        "COLOR=%%s>%%3.1f &deg;%%c</FONT></TD></TR>");
    return html + "</TABLE>";
}

std::string HumidityCell(const StartPageValues& v) {
    std::string html =
        "<TABLE WIDTH=170 BORDER=0><TR COLSPAN=2><TD><FONT SIZE=2><B><CENTER>Humidity</B></CENTER>"
        "</FONT></TD><TD><FONT SIZE=2>(<A HREF='/GRAPHHUMD'>graph</A>)</FONT></TD></TR>";
    for (const HumidityRow& row : v.humidityRows)
        html += Format("<TR><TD><FONT SIZE=2><A HREF='/HUMIDITY/%d'>%s</A></FONT></TD><TD ALIGN=RIGHT><FONT "
                       "SIZE=2 COLOR=#000000>%3.1f%%</FONT></TD></TR>",
                       row.index, row.description.c_str(), row.value.value);
    return html + "</TABLE>";
}

// A row of the rain and barometer tables.
std::string AmountRow(const char* name, Shown value, const std::string& unit) {
    return Format(
        "<TR><TD><FONT SIZE=2>%s</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.2f %s</FONT></TD><TD> </TD>"
        "</TR>\r\n",
        name, value.value, unit.c_str());
}

std::string RainTable(const StartPageValues& v) {
    return "<TABLE WIDTH=150 BORDER=0><TR><TD><FONT SIZE=2><B><CENTER><A "
           "HREF='/RAIN'>Rain</A></B></CENTER></FONT>"
           "</TD><TD><FONT SIZE=2>(<A HREF='/GRAPHRAIN'>graph</A>)</FONT></TD></TR>" +
           AmountRow("Rate/h", v.rainAmounts[0], v.rainUnit) +
           AmountRow("Today", v.rainAmounts[1], v.rainUnit) +
           AmountRow("Week", v.rainAmounts[2], v.rainUnit) +
           AmountRow("Month", v.rainAmounts[3], v.rainUnit) + "</TABLE>";
}

std::string BarometerTable(const StartPageValues& v) {
    return "<TABLE WIDTH=150 BORDER=0><TR><TD><FONT SIZE=2><B><CENTER><A HREF='/BAROMETER'>Barometer</A></B>"
           "</CENTER></FONT></TD><TD><FONT SIZE=2>(<A HREF='/GRAPHDPWC'>graph</A>)</FONT></TD></TR>" +
           AmountRow("Rate/h", v.pressures[0], v.barometerUnit) +
           AmountRow("Current", v.pressures[1], v.barometerUnit) +
           AmountRow("High", v.pressures[2], v.barometerUnit) +
           AmountRow("Low", v.pressures[3], v.barometerUnit) + "</TABLE>";
}

// The start page up to its "Generated in" line: made of the values alone.
std::string StartPageHead(const StartPageValues& v) {
    std::string html = "<HTML><HEAD><TITLE>Malvoren Weather Station</TITLE></HEAD>\r\n<BODY>";
    html += "<TABLE BORDER=0><TR VALIGN=TOP><TD><CENTER>";
    html += "<FONT SIZE=2><B>Current conditions " + platform::CTime(v.now) + "</B></FONT><HR>\r\n";
    html += "<TABLE cellspacing=20 BORDER=0><TR VALIGN=TOP><TD>";
    if (v.wind) html += WindCell(v);
    html += "</TD><TD>";
    if (v.temperatures) html += TemperatureCell(v);
    html += "</TD><TD>";
    if (v.humidity) html += HumidityCell(v);
    html += "</TD><TD>";
    if (v.rain) html += RainTable(v);
    if (v.barometer) html += BarometerTable(v);
    html += "</TD></TR></TABLE>";
    html += "<FONT SIZE=2><B><A HREF='/XML'>XML</A><HR>Korvane Build " + v.build + "</B></FONT>";
    return html;
}

} // namespace

std::string StartPageBody(TPublishContext& context, uint32_t requestStartTicks) {
    StartPageValues values;
    values.Read(context);
    return StartPageHead(values) + TStartPage::Tail(requestStartTicks);
}

TStartPage::TStartPage() = default;
TStartPage::~TStartPage() = default;

std::shared_ptr<const std::string> TStartPage::Head(TPublishContext& context) {
    if (!read_) read_ = std::make_unique<StartPageValues>();
    read_->Read(context);
    if (!head_ || !(*read_ == *shown_)) {
        head_ = std::make_shared<const std::string>(StartPageHead(*read_));
        std::swap(read_, shown_);
        ++builds_;
    }
    return head_;
}

std::string TStartPage::Tail(uint32_t requestStartTicks) {
    const uint32_t took = platform::Clock::Get().TickCount() - requestStartTicks;
    static constexpr std::string_view kBefore = "<BR><FONT SIZE=1><I>Generated in ";
    static constexpr std::string_view kAfter =
        " milliseconds</I></FONT></BR></TD></TR></TABLE></BODY></HTML>";
    char number[16];
    const char* end = std::to_chars(number, number + sizeof number, static_cast<int>(took)).ptr;
    std::string tail;
    tail.reserve(kBefore.size() + sizeof number + kAfter.size());
    tail.append(kBefore).append(number, static_cast<size_t>(end - number)).append(kAfter);
    return tail;
}

std::string TStartPage::Body(TPublishContext& context, uint32_t requestStartTicks) {
    std::shared_ptr<const std::string> head = Head(context);
    return *head + Tail(requestStartTicks);
}

std::string WmlPageBody(TPublishContext& context) {
    // One card of WML 1.1 in ISO 8859-1 (the degree sign is the byte 0xB0), every text escaped; the
    // rules between the parts are empty lines.
    std::string wml = "<?xml version='1.0' encoding='ISO-8859-1'?>\r\n<!DOCTYPE wml PUBLIC "
                      "'-//WAPFORUM//DTD WML 1.1//EN' 'http://www.wapforum.org/DTD/wml_1.1.xml'>\r\n";
    wml += "<wml>\r\n<head>\r\n<meta forua='true' http-equiv='Cache-Control' content='no-cache'/>\r\n"
           "<meta forua='true' http-equiv='Cache-Control' content='max-age=0'/>\r\n</head>\r\n"
           "<template>\r\n<do name='goback' type='prev'>\r\n<prev/>\r\n</do>\r\n</template>\r\n"
           "<card id='korvane' title='Korvane'>\r\n<p>\r\n";
    const std::string rule = "<br/>\r\n";
    wml += "<small><b>Current conditions " + AscTimeNow() + "</b></small><br/>\r\n";
    const TCurrentReadings& current = context.Station.Readings();
    if (const std::optional<TWindNow> now = current.Wind()) {
        WindData& wind = *now->Sensor;
        const std::string unit = WmlText(wind.GetUnit());
        wml += Format("<a href='/WAP/WIND'>Wind</a>  %s @ %3.1f %s<br/>\r\n",
                      WmlText(CompassName(CurrentCompassIndex(wind))).c_str(),
                      static_cast<double>(wind.ConvertSpeed(wind.Speed)), unit.c_str());
        wml += Format("Gusting to %3.1f %s<br/>\r\n", static_cast<double>(wind.ConvertSpeed(wind.Gust)),
                      unit.c_str());
        wml += Format("Todays high %3.1f %s<br/>\r\n", static_cast<double>(wind.ConvertSpeed(wind.MaxSpeed)),
                      unit.c_str());
    }
    wml += rule;
    if (const std::optional<TBarometerNow> now = current.Pressure())
        wml += Format("<a href='/WAP/BAROMETER'>Barometer</a> %3.2f %s <br/>\r\n", now->Sensor->GetValue(),
                      WmlText(now->Sensor->GetUnit()).c_str());
    wml += rule;
    std::vector<TemperatureRow> rows;
    ReadTemperatureRows(rows);
    if (!rows.empty()) {
        wml += "Temperature<br/>\r\n";
        // The colour of the other pages has no place in WML: the format drops it.
        wml += TemperatureRows(rows, "<a href='/WAP/%s/%%d'>%%s</a> %%.0s%%3.1f\xB0%%c<br/>\r\n", WmlText);
    }
    wml += rule;
    std::vector<HumidityRow> humidityRows;
    ReadHumidityRows(humidityRows);
    if (!humidityRows.empty()) {
        wml += "Humidity<br/>\r\n";
        for (const HumidityRow& row : humidityRows)
            wml += Format("<a href='/WAP/HUMIDITY/%d'>%s</a>  %3.1f%%", row.index,
                          WmlText(row.description).c_str(), row.value.value);
    }
    wml += rule;
    wml += rule;
    return wml + "<a href='/'>HTML</a><br/>Korvane Build " + WmlText(context.Build()) +
           "<br/>\r\n</p>\r\n</card>\r\n</wml>\r\n";
}

} // namespace publish
