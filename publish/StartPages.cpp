// The HTML and WML start pages.
#include "publish/StartPages.h"

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Clock.h"
#include "platform/Strings.h"
#include "publish/PageFormats.h"
#include "publish/PublishContext.h"
#include "publish/RainFigures.h"
#include "publish/WeatherXml.h"
#include "publish/WindFigures.h"

using platform::Format;

namespace publish {

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

// A row per thermometer, then per humidity sensor: `format` has "%s" for the kind in the link, then
// (with "%%") the index, the description (as `text` gives it), the colour, the value in the sensor's
// unit and its letter.
std::string TemperatureRows(const char* format, std::string (*text)(const std::string&) = AsItIs) {
    std::string rows;
    auto add = [&rows, text](const std::string& row, int index, Temperature& t) {
        rows += Format(row.c_str(), index, text(t.TempDescription).c_str(), TemperatureColor(t.temp.value),
                       t.InUnit(t.temp.value), t.Celsius ? 'C' : 'F');
    };
    const std::string ds1820Row = Format(format, "DS1820");
    const std::string humidityRow = Format(format, "HUMIDITY");
    for (int i = 0; i < SensorSet().DS1820Sensors.Count(); ++i)
        if (DS1820* t = SensorSet().DS1820Sensors[i]) add(ds1820Row, i, *t);
    for (int i = 0; i < SensorSet().HumiditySensors.Count(); ++i)
        if (Humidity* h = SensorSet().HumiditySensors[i]) add(humidityRow, i, *h);
    return rows;
}

std::string WindCell() {
    WindData& wind = *SensorSet().WindSensor;
    const std::string unit = wind.GetUnit();
    std::string html =
        "<TABLE WIDTH=160 BORDER=0><TR><TD><FONT SIZE=2> <CENTER><B><A HREF='/WIND'>Wind</A></B>"
        "</CENTER></FONT></TD><TD><FONT SIZE=2> (<A HREF='/GRAPHWIND'>graph</A>/<A "
        "HREF='/GRAPHDIR'>graph</A>)</FONT></TD></TR>";
    html +=
        Format("<TR><TD><FONT SIZE=2>Current</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f %s</FONT></TD><TD>"
               "<FONT SIZE=2>(%s)</FONT></TD></TR>",
               static_cast<double>(wind.ConvertSpeed(wind.Speed)), unit.c_str(),
               CompassName(CurrentCompassIndex(wind)));
    for (auto [name, speed] :
         {std::pair{"Gust", wind.Gust}, std::pair{"High", wind.MaxSpeed},
          std::pair{"Minute avg", wind.MinAvgSpeed}, std::pair{"Hour avg", wind.HourAvgSpeed},
          std::pair{"Day avg", wind.DayAvgSpeed}})
        html +=
            Format("<TR><TD><FONT SIZE=2>%s</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f %s</FONT></TD><TD> "
                   "</TD></TR>",
                   name, static_cast<double>(wind.ConvertSpeed(speed)), unit.c_str());
    return html + "</TABLE>";
}

std::string TemperatureCell() {
    std::string html =
        "<TABLE WIDTH=190 BORDER=0><TR><TD><FONT SIZE=2><B><CENTER>Temperature</CENTER></B></FONT>"
        "</TD><TD><FONT SIZE=2>(<A HREF='/GRAPHTEMP'>graph</A>)</FONT></TD></TR>";
    html += TemperatureRows(
        "<TR><TD><FONT SIZE=2><A HREF='/%s/%%d'>%%s</A></FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2 "
        "COLOR=%%s>%%3.1f &deg;%%c</FONT></TD></TR>");
    return html + "</TABLE>";
}

std::string HumidityCell() {
    std::string html =
        "<TABLE WIDTH=170 BORDER=0><TR COLSPAN=2><TD><FONT SIZE=2><B><CENTER>Humidity</B></CENTER>"
        "</FONT></TD><TD><FONT SIZE=2>(<A HREF='/GRAPHHUMD'>graph</A>)</FONT></TD></TR>";
    for (int i = 0; i < SensorSet().HumiditySensors.Count(); ++i)
        if (Humidity* h = SensorSet().HumiditySensors[i])
            html +=
                Format("<TR><TD><FONT SIZE=2><A HREF='/HUMIDITY/%d'>%s</A></FONT></TD><TD ALIGN=RIGHT><FONT "
                       "SIZE=2 COLOR=#000000>%3.1f%%</FONT></TD></TR>",
                       i, h->HumDescription.c_str(), h->GetValue());
    return html + "</TABLE>";
}

// A row of the rain and barometer tables.
std::string AmountRow(const char* name, double value, const std::string& unit) {
    return Format(
        "<TR><TD><FONT SIZE=2>%s</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.2f %s</FONT></TD><TD> </TD>"
        "</TR>\r\n",
        name, value, unit.c_str());
}

std::string RainTable(TPublishContext& context) {
    RainGauge& gauge = *SensorSet().RainSensor;
    const RainFigures rain = RainFiguresOf(gauge);
    context.LogOnce(rain.Fault);
    const std::string unit = gauge.GetUnit();
    return "<TABLE WIDTH=150 BORDER=0><TR><TD><FONT SIZE=2><B><CENTER><A "
           "HREF='/RAIN'>Rain</A></B></CENTER></FONT>"
           "</TD><TD><FONT SIZE=2>(<A HREF='/GRAPHRAIN'>graph</A>)</FONT></TD></TR>" +
           AmountRow("Rate/h", rain.Rate, unit) + AmountRow("Today", rain.Today, unit) +
           AmountRow("Week", rain.Week, unit) + AmountRow("Month", rain.Month, unit) + "</TABLE>";
}

std::string BarometerTable() {
    Barometer& b = *SensorSet().BarometerSensor;
    const std::string unit = b.GetUnit();
    return "<TABLE WIDTH=150 BORDER=0><TR><TD><FONT SIZE=2><B><CENTER><A HREF='/BAROMETER'>Barometer</A></B>"
           "</CENTER></FONT></TD><TD><FONT SIZE=2>(<A HREF='/GRAPHDPWC'>graph</A>)</FONT></TD></TR>" +
           AmountRow("Rate/h", b.ConvertPressure(b.RatePerHour()), unit) +
           AmountRow("Current", b.GetValue(), unit) + AmountRow("High", b.GetMax(), unit) +
           AmountRow("Low", b.GetMin(), unit) + "</TABLE>";
}

} // namespace

std::string StartPageBody(TPublishContext& context, uint32_t requestStartTicks) {
    std::string html = "<HTML><HEAD><TITLE>Malvoren Weather Station</TITLE></HEAD>\r\n<BODY>";
    html += "<TABLE BORDER=0><TR VALIGN=TOP><TD><CENTER>";
    html += "<FONT SIZE=2><B>Current conditions " + AscTimeNow() + "</B></FONT><HR>\r\n";
    html += "<TABLE cellspacing=20 BORDER=0><TR VALIGN=TOP><TD>";
    if (SensorSet().WindPresent && SensorSet().WindSensor) html += WindCell();
    html += "</TD><TD>";
    if (SensorSet().DS1820Sensors.Count() + SensorSet().HumiditySensors.Count() != 0)
        html += TemperatureCell();
    html += "</TD><TD>";
    if (SensorSet().HumiditySensors.Count() != 0) html += HumidityCell();
    html += "</TD><TD>";
    if (SensorSet().RainPresent && SensorSet().RainSensor) html += RainTable(context);
    if (SensorSet().BarometerPresent && SensorSet().BarometerSensor) html += BarometerTable();
    html += "</TD></TR></TABLE>";
    html += "<FONT SIZE=2><B><A HREF='/XML'>XML</A><HR>Korvane Build " + context.Build() + "</B></FONT>";
    const uint32_t took = platform::Clock::Get().TickCount() - requestStartTicks;
    html +=
        Format("<BR><FONT SIZE=1><I>Generated in %d milliseconds</I></FONT></BR>", static_cast<int>(took));
    html += "</TD></TR></TABLE>";
    return html + "</BODY></HTML>";
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
    if (SensorSet().WindPresent && SensorSet().WindSensor) {
        WindData& wind = *SensorSet().WindSensor;
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
    if (SensorSet().BarometerPresent && SensorSet().BarometerSensor)
        wml += Format("<a href='/WAP/BAROMETER'>Barometer</a> %3.2f %s <br/>\r\n",
                      SensorSet().BarometerSensor->GetValue(),
                      WmlText(SensorSet().BarometerSensor->GetUnit()).c_str());
    wml += rule;
    if (SensorSet().TemperatureSensors.Count() != 0) {
        wml += "Temperature<br/>\r\n";
        // The colour of the other pages has no place in WML: the format drops it.
        wml += TemperatureRows("<a href='/WAP/%s/%%d'>%%s</a> %%.0s%%3.1f\xB0%%c<br/>\r\n", WmlText);
    }
    wml += rule;
    if (SensorSet().HumiditySensors.Count() != 0) {
        wml += "Humidity<br/>\r\n";
        for (int i = 0; i < SensorSet().HumiditySensors.Count(); ++i)
            if (Humidity* h = SensorSet().HumiditySensors[i])
                wml += Format("<a href='/WAP/HUMIDITY/%d'>%s</a>  %3.1f%%", i,
                              WmlText(h->HumDescription).c_str(), h->GetValue());
    }
    wml += rule;
    wml += rule;
    return wml + "<a href='/'>HTML</a><br/>Korvane Build " + WmlText(context.Build()) +
           "<br/>\r\n</p>\r\n</card>\r\n</wml>\r\n";
}

} // namespace publish
