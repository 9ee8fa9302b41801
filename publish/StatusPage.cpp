// The HTML status page.
#include "publish/StatusPage.h"

#include <cstdint>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorKinds.h"
#include "onewire/SensorTables.h"
#include "onewire/WeatherCalc.h"
#include "onewire/WindData.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Strings.h"
#include "publish/PageFormats.h"
#include "publish/PublishContext.h"
#include "publish/PublishKinds.h"
#include "publish/RainFigures.h"
#include "publish/TextMode.h"
#include "publish/WindFigures.h"
#include "station/PublishingHost.h"

using platform::Format;

namespace publish {

namespace {

// The map page behind the latitude/longitude link and the map image.
constexpr const char* kMapService = "http://maps.korvane.example/map";
constexpr const char* kMapServiceName = "Map";

const char* const kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};
const char* const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

class StatusPage final : public StatusPageWriter {
public:
    StatusPage(TPublishContext& context, std::string& page)
        : context_(context), s_(context.Station.Settings()), W(s_.HTMLTableWidth), F(s_.HTMLFontSize),
          out_(page) {}

    void Write() {
        CopyFile("header.html");
        StatusHeading();
        for (const PublishKind* kind : PublishKinds().By(&PublishKind::pageOrder))
            if (kind->page) kind->page(*this);
        MapLines();
        if (s_.PrintGIFs) GraphImages();
        if (s_.PrintSunriseSunset) Miscellaneous();
        out_ += Format(
            "<TR><TD><TABLE WIDTH=%d BORDER=0 CELLPADDING=0><TR><TD><FONT SIZE='-2'>Korvane %s</FONT></TD>",
            W, context_.Build().c_str());
        out_ += "</TR></TABLE></TD></TR></TABLE>\n\n";
        CopyFile("footer.html");
    }

    std::string& Out() override { return out_; }
    int Width() const override { return W; }
    int FontSize() const override { return F; }
    TPublishContext& Context() override { return context_; }

    // header.html and footer.html of the working folder, as data.
    void CopyFile(const char* name) {
        std::string text;
        if (ReadTextModeFile(name, text)) out_ += text;
    }

    std::string Link(const char* html) const override { return s_.GIFLinks ? html : ""; }
    std::string Head(const char* name) const override {
        return Format("<TH ALIGN=CENTER><font size=%d>", F) + name + "</FONT></TH>";
    }
    std::string OpenBlock() const override {
        return "<TR BGCOLOR=#FFFFF0 VALIGN=TOP><TD>" +
               Format("<TABLE WIDTH=%d BORDER=0 cellpadding=0 cellspacing=0>", W);
    }

    void StatusHeading() {
        out_ += Format("<TABLE WIDTH=%d BORDER=1 cellpadding=0 BGCOLOR=#c0c0c0 BORDERCOLOR=#c0c0c0 "
                       "bordercolordark=#808080 bordercolorlight=#FFFFFF>\n<TR><TH BGCOLOR=#000080><font "
                       "color=#FFFFFF size=%d><B>&nbsp;Status ",
                       W, F);
        out_ += ' ';
        out_ += AscTimeNow();
        out_ += "</B></FONT></TH></TR>\n";
        out_ += "<TR BGCOLOR=#FFFFF0 VALIGN=TOP><TD>";
    }

    void WindBlock(const TWindNow& now) {
        WindData& wind = *now.Sensor;
        const std::string unit = wind.GetUnit();
        out_ += Format("<TABLE WIDTH=%d BORDER=0 cellpadding=0 cellspacing=0><TR><TH BGCOLOR=#c0c0c0><font "
                       "size=%d>Wind &nbsp;&nbsp;",
                       W, F) +
                Link("<A HREF='windhist.gif'>(graph</A>/<A HREF='dirhist.gif'>graph)</A>") +
                "</font></TH></TR></TABLE>\n";
        out_ += Format("<TABLE WIDTH=%d BORDER=0 cellpadding=0 cellspacing=0>\n", W);
        const double current = wind.ConvertSpeed(wind.Speed);
        int point = wind.GetCompassPoint();
        // Calm, or a prevailing direction of no value: "n/a".
        const bool prevailing = current > 0 && now.Prevailing;
        std::string currentName = prevailing ? CompassName(point) : "n/a";
        int currentDegrees = prevailing ? CompassDegrees(point) : 0;
        int hour = 0, minute = 0;
        const double max = wind.GetMaxSpeed(hour, minute);
        const std::string at = Format("at %02d:%02d", hour, minute);
        auto direction = [this](const std::string& name, int degrees) {
            return Format("<TD ALIGN=RIGHT><font size=%d> ", F) + name +
                   Format(" (%03d&deg;)&nbsp; </FONT></TD></TR>", degrees);
        };
        auto row = [&](const char* label, double speed, float revolutions, const std::string& time,
                       const std::string& fourth) {
            out_ += Format("<TR><TD><font size=%d> &nbsp;%s</FONT></TD>\n<TD ALIGN=RIGHT><font size=%d> "
                           "%3.1f &nbsp;",
                           F, label, F, speed) +
                    unit + " </FONT></TD>";
            const int force = BeaufortOf(wind, revolutions);
            std::string third;
            if (s_.BEAUFORTNumbers)
                third = Format("(%d ", force) + BeaufortName(force) + ")";
            else if (s_.BEAUFORTName)
                third = std::string("(") + BeaufortName(force) + ")";
            if (!time.empty()) third += (third.empty() ? "" : " ") + time + " ";
            out_ += Format("<TD><font size=%d>&nbsp; ", F) + third + "</FONT></TD>" + fourth;
        };
        row("Current:", current, wind.Speed, "", direction(currentName, currentDegrees));
        row("Gust:", wind.ConvertSpeed(wind.Gust), wind.Gust, "",
            Format("<TD ALIGN=RIGHT><font size=%d>&nbsp; </FONT></TD></TR>", F));
        row("Todays high:", max, wind.MaxSpeed, at,
            direction(CompassName(wind.MaxSpeedDir), CompassDegrees(wind.MaxSpeedDir)));
        out_ += "</TABLE></TD></TR>";
    }

    void RainBlock(RainGauge& gauge) {
        const RainFigures rain = RainFiguresOf(gauge);
        context_.LogOnce(rain.Fault);
        const std::string unit = gauge.GetUnit();
        const int day = W / 7;
        out_ += "<TR BGCOLOR=#FFFFF0 VALIGN=TOP><TD>";
        out_ += Format("<TABLE WIDTH=%d BORDER=0 cellpadding=0 cellspacing=0><TR><TH BGCOLOR=#c0c0c0><font "
                       "size=%d>Rainfall status in ",
                       W, F) +
                unit + "&nbsp;&nbsp;" + Link("<A HREF='rainhist.gif'>(graph)</A>") +
                "</font></TH></TR></TABLE>\n";
        out_ += Format("<TABLE WIDTH=%d BORDER=0 cellpadding=0 cellspacing=0><TR BGCOLOR=#c0c0c0>\n", W);
        for (const char* name : kWeekdays)
            out_ += Format("<TH ALIGN=CENTER WIDTH=%d><font size=%d>%s</FONT></TH>", day, F, name);
        out_ += "</TR></TABLE>\n";
        out_ += Format("<TABLE WIDTH=%d BORDER=0 cellpadding=0 cellspacing=0><TR>\n", W);
        for (double amount : rain.Day)
            out_ += Format("<TD ALIGN=CENTER WIDTH=%d><font size=%d>%3.2f</FONT></TD>", day, F, amount);
        out_ += "</TR></TABLE>\n";
        out_ += Format("<TABLE WIDTH=%d BORDER=0 cellpadding=0 cellspacing=0><TR BGCOLOR=#c0c0c0>\n", W);
        out_ += Head("Rate/h") + Head("Today") + Head("Week");
        const platform::LocalTime now = platform::Clock::Get().Now();
        out_ += Head(kMonthNames[(now.month - 1) % 12]);
        if (s_.PrintRainReset) {
            const platform::LocalTime reset = platform::Clock::Get().ToLocal(gauge.ResetTime);
            out_ += Head(Format("Since %s %d %d", platform::EnglishMonthAbbrev(reset.month).c_str(),
                                reset.day, reset.year)
                             .c_str());
        }
        out_ += "</TR>\n";
        auto cell = [&](double amount) {
            return Format("<TD ALIGN=CENTER><font size=%d> %3.2f ", F, amount) + unit + " </FONT></TD>";
        };
        out_ += "<TR>" + cell(rain.Rate) + cell(rain.Today) + cell(rain.Week) + cell(rain.Month);
        if (s_.PrintRainReset) out_ += cell(rain.Total);
        out_ += "</TR></TABLE></TD></TR>";
    }

    // A sensor's temperature row, with the alert link in the other unit.
    void TemperatureRow(Temperature& t) override {
        const char letter = t.Celsius ? 'C' : 'F';
        uint8_t high[4] = {}, low[4] = {};
        const double max = t.GetMaxTemperature(high);
        const double min = t.GetMinTemperature(low);
        out_ += Format("<TR><TD><font size=%d> &nbsp; ", F) + t.TempDescription + "</FONT></TD>";
        out_ += Format("<TD ALIGN=RIGHT><font color=%s size=%d>%3.1f&deg;%c </FONT></TD>",
                       TemperatureColor(t.temp.value), F, t.InUnit(t.temp.value), letter);
        out_ +=
            Format("<TD ALIGN=RIGHT><font color=#000000 size=%d>%3.1f&deg;%c </FONT></TD>", F, max, letter);
        out_ +=
            Format("<TD ALIGN=RIGHT><font color=#000000 size=%d>%3.1f&deg;%c </FONT></TD>", F, min, letter);
        auto other = [&t](double celsius) { return t.Celsius ? celsius * 1.8 + 32 : celsius; };
        const char* unit = t.Celsius ? "&deg;F" : "&deg;C";
        out_ += Format("<TD ALIGN=RIGHT><font color=#000000 size=%d>(<a href=", F);
        out_ += Format("\"javascript:alert('Curr: %3.1f %s\\rHigh: %3.1f %s at %02d:%02d\\rLow:  %3.1f %s at "
                       "%02d:%02d')\"",
                       other(t.temp.value), unit, other(t.temp.high), unit, high[1], high[0],
                       other(t.temp.low), unit, low[1], low[0]);
        out_ += std::string(">") + unit + "</A>)</FONT></TD></TR>";
    }

    // A derived value's row (dew point, heat index, wind chill).
    void DerivedRow(const char* name, const char* color, double value, char letter) {
        out_ += Format("<TR><TD><font size=%d><I> &nbsp; %s &nbsp;", F, name) +
                Link("<A HREF='dpwchist.gif'>(graph)</A>") + "</I></FONT></TD>";
        out_ += Format("<TD ALIGN=RIGHT><font color=%s size=%d>%3.1f&deg;%c </FONT></TD>", color, F, value,
                       letter);
        const std::string empty = Format("<TD ALIGN=RIGHT><font color=#000000 size=%d></FONT></TD>", F);
        out_ += empty + empty + empty + "</TR>";
    }

    void TemperatureBlock() {
        out_ += OpenBlock();
        out_ +=
            Format("<TR BGCOLOR=#c0c0c0><TH ALIGN=LEFT><font size=%d> &nbsp; Temperatures &nbsp;&nbsp;", F) +
            Link("<A HREF='temphist.gif'>(graph)</A>") + "</FONT></TH>";
        out_ += Head("Current") + Head("High") + Head("Low") + Head("More") + "</TR>";
        for (const PublishKind* kind : PublishKinds().By(&PublishKind::temperatureOrder))
            if (kind->temperatureRows) kind->temperatureRows(*this);
        // The wind chill while the main temperature and the wind are current (a wind chill means a current
        // main temperature).
        const TCurrentReadings& readings = context_.Station.Readings();
        const std::optional<TTemperatureNow> now = readings.MainTemperature();
        const std::optional<TDerivedNow> chill = readings.WindChill();
        if (chill && now->C < s_.WCUpperLimit) {
            DS1820* first = SensorSet().DS1820Sensors[0];
            const char letter = first != nullptr ? (first->Celsius ? 'C' : 'F') : TemperatureUnitLetter();
            const char* color = static_cast<int>(chill->C) <= 0 ? "#0000FF" : "#ff0000";
            DerivedRow("Windchill", color, static_cast<int>(chill->InUnit), letter);
        }
        out_ += "</TABLE></TD></TR>";
    }

    void CounterBlock() {
        out_ += OpenBlock();
        out_ += Format(
            "<TR BGCOLOR=#c0c0c0><TH ALIGN=LEFT><font size=%d> &nbsp; Counters &nbsp;&nbsp;</B></FONT></TH>",
            F);
        out_ += Head("Cts/sec") + Head("Cts/min") + Head("Cts/hour") + Head("Cts/today") + "</TR>";
        for (DS2423* c : CurrentSensors(SensorSet().DS2423Sensors)) {
            out_ += Format("<TR><TD><font size=%d> &nbsp; ", F) + c->Description + "</FONT></TD>";
            out_ += Format("<TD ALIGN=CENTER><font size=%d>%3.1f </FONT></TD>", F,
                           static_cast<double>(c->CountRate));
            for (uint32_t counts : {c->CountsPerMinute(), c->CountsPerHour(), c->CountsToday()})
                out_ += Format("<TD ALIGN=CENTER><font size=%d>%d </FONT></TD>", F, static_cast<int>(counts));
            out_ += "</TR>";
        }
        out_ += "</TABLE></TD></TR>";
    }

    void HumidityBlock() {
        out_ += OpenBlock();
        out_ +=
            Format(
                "<TR BGCOLOR=#c0c0c0><TH ALIGN=LEFT><font size=%d> &nbsp; Relative Humidity&nbsp;&nbsp;</B>",
                F) +
            Link("<A HREF='humdhist.gif'>(graph)</A>") + "</FONT></TH>";
        out_ += Head("Current") + Head("High") + Head("Low") + Head("More") + "</TR>";
        for (Humidity* h : CurrentSensors(SensorSet().HumiditySensors)) {
            uint8_t high[4] = {}, low[4] = {};
            const double current = h->GetValue();
            const double max = h->GetMaxAt(high);
            const double min = h->GetMinAt(low);
            out_ += Format("<TR><TD><font size=%d> &nbsp; ", F) + h->HumDescription + "</FONT></TD>";
            for (double value : {current, max, min})
                out_ += Format("<TD ALIGN=RIGHT><font size=%d>%d%% </FONT></TD>", F, static_cast<int>(value));
            out_ += Format("<TD ALIGN=RIGHT><font color=#000000 size=%d>(<a href=", F);
            out_ +=
                Format("\"javascript:alert('Curr: %3.1f%%\\rHigh: %3.1f%% at %02d:%02d\\rLow:  %3.1f%% at "
                       "%02d:%02d')\"",
                       current, max, high[1], high[0], min, low[1], low[0]);
            out_ += ">%</A>)</FONT></TD></TR>";
        }
        out_ += "</TABLE></TD></TR>";
    }

    void BarometerBlock(Barometer& b) {
        out_ += OpenBlock();
        out_ +=
            Format("<TR BGCOLOR=#c0c0c0><TH ALIGN=LEFT><font size=%d> &nbsp;Barometer&nbsp;&nbsp;</B>", F) +
            Link("<A HREF='dpwchist.gif'>(graph)</A>") + "</FONT></TH>";
        out_ += Head("Current") + Head("Rate/hour") + Head("High") + Head("Low") + "</TR>";
        out_ += Format("<TR><TD><font size=%d> &nbsp;Pressure ", F) + b.GetUnit() + " (<B>" + b.GetTrend() +
                "</B>)</FONT></TD>";
        for (double value : {b.GetValue(), b.ConvertPressure(b.RatePerHour()), b.GetMax(), b.GetMin()})
            out_ += Format("<TD ALIGN=RIGHT><font size=%d>%3.2f </FONT></TD>", F, value);
        out_ += "</TR></TABLE></TD></TR>";
    }

    std::string MapPage() const {
        return std::string(kMapService) + "?latlongtype=decimal&latitude=" + s_.Latitude +
               "&longitude=" + s_.Longitude + "&zoom=2";
    }

    void MapLines() {
        const std::string open =
            Format("<TR BGCOLOR=#FFFFF0 VALIGN=TOP><TD><TABLE WIDTH=%d BORDER=0 cellpadding=0 "
                   "cellspacing=0><TR><TH BGCOLOR=#c0c0c0><font size=%d>",
                   W, F);
        if (s_.MAPBlast && s_.Latitude.size() > 2 && s_.Longitude.size() > 2) {
            out_ += open + "Lat " + s_.Latitude + "  &nbsp; &nbsp; Lon " + s_.Longitude +
                    " (<A TARGET='_new' HREF='" + MapPage() + "'>" + kMapServiceName +
                    "</A>)</font></TH></TR></TABLE>\n";
        } else if (s_.MAPSrc.size() > 4) {
            out_ += open + "(<A TARGET='_new' HREF='" + s_.MAPSrc +
                    "'>Custom map</A>)</font></TH></TR></TABLE>\n";
        }
        if (s_.StaticMAP && s_.MAPSrc.size() > 4) {
            const int height = static_cast<int>(W * 0.5);
            out_ += Format("<TR><TD WIDTH=%d HEIGHT=%d><A TARGET='_new' HREF='", W, height) + MapPage() +
                    "'><IMG SRC='" + s_.MAPSrc +
                    Format("' WIDTH=%d HEIGHT=%d BORDER=0></A></TD></TR>\n", W, height);
        }
    }

    void GraphImages() {
        const bool rain = SensorSet().RainPresent;
        const int head = static_cast<int>(W * 0.33334);
        const int width = rain ? head : static_cast<int>(W * 0.5);
        const int height = static_cast<int>(W * (rain ? 0.17 : 0.25));
        out_ +=
            Format("<TR><TD><TABLE WIDTH=%d BORDER=0 cellpadding=0 cellspacing=0><TR BGCOLOR=#c0c0c0>", W);
        for (const char* name : {"Temperature", "Wind", "Rain"})
            if (rain || name[0] != 'R')
                out_ += Format("<TH WIDTH=%d><font size=%d>%s</font></TH>", head, F, name);
        out_ += "</TR></TABLE></TD></TR>\n";
        out_ += Format("<TR><TD WIDTH=%d HEIGHT=%d>", W, height);
        for (const char* image : {"temphist.gif", "windhist.gif", "rainhist.gif"})
            if (rain || image[0] != 'r')
                out_ += Format("<A HREF='%s'><IMG SRC='%s' WIDTH=%d HEIGHT=%d BORDER=0></A>", image, image,
                               width, height);
        out_ += "</TD></TR>\n";
    }

    void Miscellaneous() {
        TPublishingHost& station = context_.Station;
        out_ += Format(
            "<TR BGCOLOR=#FFFFF0 VALIGN=TOP><TD><TABLE WIDTH=%d BORDER=0 cellpadding=0 cellspacing=0><TR><TH "
            "COLSPAN=2 BGCOLOR=#c0c0c0><font size=%d>Miscellaneous</font></TH></TR>\n",
            W, F);
        out_ += Format("<TR><TD ALIGN=CENTER><font size=%d>Sunrise: <B>", F) + station.SunriseText() +
                Format("</B></FONT></TD><TD ALIGN=CENTER><font size=%d>Sunset: <B>", F) +
                station.SunsetText() + "</B></FONT></TD>   </TR>\n";
        out_ += Format("<TR><TD ALIGN=CENTER COLSPAN=3><font size=%d>", F) + station.RunTimeText() +
                "</FONT></TD></TR>\n";
        out_ += Format("<TR><TD ALIGN=CENTER COLSPAN=3><font size=%d>", F) + station.TotalSamplesText() +
                "</FONT></TD></TR></TABLE></TD></TR>\n";
    }

private:
    TPublishContext& context_;
    const TStationSettings& s_;
    const int W;
    const int F;
    std::string& out_;
};

// The writer of the built-in blocks below: the page's own (the only kind of writer there is).
StatusPage& Page(StatusPageWriter& writer) {
    return static_cast<StatusPage&>(writer);
}

} // namespace

// A block or row shows a sensor whose values are current: one that stopped reading is left out, as one
// the station does not have.
void WindPage(StatusPageWriter& page) {
    if (const std::optional<TWindNow> now = page.Context().Station.Readings().Wind())
        Page(page).WindBlock(*now);
}

void RainPage(StatusPageWriter& page) {
    if (const std::optional<TRainNow> now = page.Context().Station.Readings().Rain())
        Page(page).RainBlock(*now->Gauge);
}

// Shown while any kind with rows in it has objects.
void ThermometersPage(StatusPageWriter& page) {
    for (const PublishKind& kind : PublishKinds().Rows())
        if (kind.temperatureRows && KindPresent(kind.kind)) return Page(page).TemperatureBlock();
}

void CountersPage(StatusPageWriter& page) {
    if (SensorSet().DS2423Sensors.Count() != 0) Page(page).CounterBlock();
}

void HumidityPage(StatusPageWriter& page) {
    if (SensorSet().HumiditySensors.Count() != 0) Page(page).HumidityBlock();
}

void BarometerPage(StatusPageWriter& page) {
    if (const std::optional<TBarometerNow> now = page.Context().Station.Readings().Pressure())
        Page(page).BarometerBlock(*now->Sensor);
}

void DS1820TemperatureRows(StatusPageWriter& page) {
    for (DS1820* t : CurrentSensors(SensorSet().DS1820Sensors))
        page.TemperatureRow(*t);
}

void BarometerTemperatureRows(StatusPageWriter& page) {
    Barometer* b = SensorSet().BarometerPresent ? CurrentSensor(SensorSet().BarometerSensor.get()) : nullptr;
    if (b != nullptr && b->PrintTempOnHTML) page.TemperatureRow(*b);
}

void DS2438TemperatureRows(StatusPageWriter& page) {
    for (DS2438* t : CurrentSensors(SensorSet().DS2438Sensors))
        if (t->PrintTempOnHTML) page.TemperatureRow(*t);
}

// The humidity sensors' temperatures, then the dew point and heat index of the main one while the main
// temperature is current too.
void HumidityTemperatureRows(StatusPageWriter& page) {
    if (SensorSet().HumiditySensors.Count() == 0) return;
    for (Humidity* h : CurrentSensors(SensorSet().HumiditySensors))
        if (h->PrintTempOnHTML) page.TemperatureRow(*h);
    const TCurrentReadings& readings = page.Context().Station.Readings();
    const std::optional<TDerivedNow> dewpoint = readings.Dewpoint(), heatIndex = readings.HeatIndex();
    if (!dewpoint || !heatIndex) return;
    // Both made of the current main temperature and humidity.
    const TTemperatureNow temperature = *readings.MainTemperature();
    const THumidityNow humidity = *readings.MainHumidity();
    const char letter = humidity.Sensor->Celsius ? 'C' : 'F';
    Page(page).DerivedRow("Dewpoint", "#ff0000", dewpoint->InUnit, letter);
    // The limits are Celsius, whatever unit the main thermometer shows.
    if (temperature.C > 27.0f && humidity.Percent > 40.0f)
        Page(page).DerivedRow("Heat Index", "#ff0000", heatIndex->InUnit, letter);
}

std::string StatusPageText(TPublishContext& context) {
    std::string page;
    platform::CatchAndLog(
        {"", "Error writing weather.html"}, [&](const std::string& line) { context.Log(line); },
        [&] { StatusPage(context, page).Write(); });
    return page;
}

int WriteWeatherHTML(TPublishContext& context) {
    return WriteTextModeFile(context.Station.Settings().HTMLDir + "/weather.html", StatusPageText(context))
               ? 0
               : -1;
}

} // namespace publish
