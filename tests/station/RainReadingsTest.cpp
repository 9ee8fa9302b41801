// The rain the reader hands on to the status line, the rain graph and the DDE items: the gauge's own
// today, week, month, rate and last hour, and as the rain stops the rate falls back after RateMinutes
// dry minutes and the last hour after 60.
#include <gtest/gtest.h>

#include <string>

#include "onewire/RainGauge.h"
#include "platform/Strings.h"
#include "station/StationNet.h"

using namespace station_test;

class RainReadingsTest : public StationNetTest {
protected:
    // The gauge's own figures in inches, as the status line prints them.
    static std::string GaugeRain(const RainGauge& g) {
        return platform::Format("%3.3f %3.3f %3.3f %3.3f %3.3f", g.Inches(g.RateCounts()),
                                g.Inches(g.TodayCounts()), g.Inches(g.WeekCounts()),
                                g.Inches(g.MonthCounts()), g.Inches(g.LastHourCounts()));
    }
};

// Today, the week, the month and the total stand apart (0.50, 0.70, 1.50 and 11.50 in kept), so that a
// figure taken for another shows; 3 tips fall a minute after the start.
TEST_F(RainReadingsTest, TheStatusLineShowsTheGaugesRainAndTheRateAndLastHourFallBackWhenItStops) {
    sim::DS2423& chip = AddRainGauge(0x55,
                                     "RunningCounter=4150\r\nTodayCounter=4100\r\nMonthCounter=4000\r\n"
                                     "StartCounter=3000\r\nWeeklyRain=50 20 0 0 0 0 0\r\n",
                                     4150);
    TMainForm& form = StartStation();
    const RainGauge& gauge = *SensorSet().RainSensor;
    Run(60000);
    chip.AddCounts('B', 3);
    Run(5000);
    // rate today week month (in) and last hour
    EXPECT_EQ(StatusLineRain(form), "0.180 0.530 0.730 1.530 0.030");
    EXPECT_EQ(StatusLineRain(form), GaugeRain(gauge));
    EXPECT_DOUBLE_EQ(gauge.Inches(gauge.TotalCounts()), 11.53);

    Run(11 * 60000); // more than 10 dry minutes: no rate, but it fell within the hour
    EXPECT_EQ(StatusLineRain(form), "0.000 0.530 0.730 1.530 0.030");
    EXPECT_EQ(StatusLineRain(form), GaugeRain(gauge));

    Run(51 * 60000); // more than 60 dry minutes
    EXPECT_EQ(StatusLineRain(form), "0.000 0.530 0.730 1.530 0.000");
    EXPECT_EQ(StatusLineRain(form), GaugeRain(gauge));
}
