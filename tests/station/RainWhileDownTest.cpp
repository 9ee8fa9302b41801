// Rain that fell while the station was down, through what the station publishes: it is today's rain,
// never a rate nor the last hour's rain, in weather.xml (/XML), NOW.TXT, the APRS report and the weather
// post. What falls after the start is both, as usual. A gauge whose counter started again meanwhile (its
// battery changed) shows the rain so far, neither more nor less.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "onewire/HourlyRun.h"
#include "publish/AprsPacket.h"
#include "publish/PostBodies.h"
#include "publish/PublishContext.h"
#include "publish/ReportValues.h"
#include "publish/WeatherXml.h"
#include "station/StationNet.h"

using namespace station_test;

namespace {

// The text after `key` in `text`, up to the next `end` ("" without the key).
std::string After(const std::string& text, const std::string& key, const std::string& end) {
    const size_t at = text.find(key);
    if (at == std::string::npos) return "";
    const size_t from = at + key.size();
    return text.substr(from, text.find(end, from) - from);
}

} // namespace

class RainWhileDownTest : public StationNetTest {
protected:
    // The rain as each output shows it now.
    std::string Shown(TMainForm& form) {
        publish::TPublishContext context(form);
        const std::string xml = After(publish::BuildXML(context, false), "<rain>", "</rain>");
        form.WriteNowFile();
        const TReportValues values = GatherReportValues(form.CurrentReadings);
        const platform::LocalTime utc = platform::Clock::ToUtc(platform::UnixTime());
        return "/XML rate " + After(xml, "<rate>", "<") + ", last hour " + After(xml, "<lasthour>", "<") +
               ", today " + After(xml, "<today>", "<") + "; NOW.TXT " +
               After(Read("DATA/NOW.TXT"), "\n", "\r") + "; APRS " +
               After(AprsPacket(values, "CW0xxx", "1234.56N", "01234.56W", utc), "t...", "p") + "; rainin " +
               After(UpdaterawBody(values, "me", "pw", utc, "n/a"), "&rainin=", "&");
    }
    // The week, the month and the rain fields of the status line (rate, today, week, month, last hour).
    std::string Totals(TMainForm& form) {
        publish::TPublishContext context(form);
        const std::string xml = After(publish::BuildXML(context, false), "<rain>", "</rain>");
        return "/XML week " + After(xml, "<week>", "<") + ", month " + After(xml, "<month>", "<") +
               "; status line " + StatusLineRain(form);
    }
};

// The gauge was stopped at 4150 counts and counts 4200 at the start: half an inch fell meanwhile.
TEST_F(RainWhileDownTest, RainThatFellWhileDownIsTodaysButNeitherRateNorLastHourInAnyOutput) {
    sim::DS2423& gauge = AddCounter(0x52);
    Write("SENSORS.INI", "[" + gauge.rom().Text() +
                             "]\r\nType=RainGauge\r\nRunningCounter=4150\r\nTodayCounter=4150\r\n"
                             "MonthCounter=4000\r\nStartCounter=3000\r\n");
    Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\n");
    gauge.SetCounter(15, 4200);
    TMainForm& form = StartStation();
    Run(4000); // the gauge's first reads: the first keeps the count it had
    // The first hour: the last hour's rain looks back 60 minute steps.
    for (int minute = 0; minute <= 61; ++minute) {
        const std::string shown = Shown(form);
        if (minute <= 3) std::printf("%d:05 after the start: %s\n", minute, shown.c_str());
        EXPECT_EQ(shown,
                  "/XML rate 0.00, last hour 0.00, today 0.50; NOW.TXT r000P050; APRS P050r000; rainin 0.00")
            << minute << ":05 after the start";
        if (HasFailure() && minute >= 3) break;
        Run(60000);
    }

    gauge.AddCounts('B', 3);
    Run(5000);
    EXPECT_EQ(Shown(form),
              "/XML rate 0.18, last hour 0.03, today 0.53; NOW.TXT r003P053; APRS P053r003; rainin 0.03");
}

// The gauge kept 5000 counts, 10 of them today, and its chip counts 100 at the start: the rain so far
// is what it was, and the counter starting again while the station runs, twenty minutes later, changes
// nothing either.
TEST_F(RainWhileDownTest, ACounterThatStartedAgainShowsTheRainSoFarInEveryOutput) {
    sim::DS2423& gauge = AddRainGauge(0x53,
                                      "RunningCounter=5000\r\nTodayCounter=4990\r\nMonthCounter=4000\r\n"
                                      "StartCounter=3000\r\nWeeklyRain=10 0 0 0 0 0 5\r\n",
                                      100);
    TMainForm& form = StartStation();
    const std::string kept =
        "/XML rate 0.00, last hour 0.00, today 0.10; NOW.TXT r000P010; APRS P010r000; rainin 0.00";
    const std::string totals = "/XML week 0.15, month 10.00; status line 0.000 0.100 0.150 10.000 0.000";
    Run(60000); // a minute after the start
    EXPECT_EQ(Shown(form), kept);
    EXPECT_EQ(Totals(form), totals);

    Run(THourlyRun::kQuietMs); // a step back of its own, not one of a run of them
    gauge.PowerOnReset();
    Run(60000);
    EXPECT_EQ(Shown(form), kept);
    EXPECT_EQ(Totals(form), totals);
    EXPECT_EQ(CountLog("Counter went back"), 2);

    gauge.AddCounts('B', 2);
    Run(5000);
    EXPECT_EQ(Shown(form),
              "/XML rate 0.12, last hour 0.02, today 0.12; NOW.TXT r002P012; APRS P012r002; rainin 0.02");
    EXPECT_EQ(Totals(form), "/XML week 0.17, month 10.02; status line 0.120 0.120 0.170 10.020 0.020");
}
