#include "publish/RainFigures.h"

#include "onewire/RainGauge.h"

namespace publish {

RainFigures RainFiguresOf(const RainGauge& gauge) {
    RainFigures f;
    f.Unit = gauge.RainUnitInch ? "in" : "mm";
    if (gauge.CountsPrInch == 0) {
        f.Fault = "RAIN: The rain gauge has 0 counts per inch; its rain is shown as 0";
        return f;
    }
    f.Usable = true;
    f.Today = gauge.InUnit(gauge.TodayCounts());
    f.Week = gauge.InUnit(gauge.WeekCounts());
    f.Month = gauge.InUnit(gauge.MonthCounts());
    f.Total = gauge.InUnit(gauge.TotalCounts());
    f.LastHour = gauge.InUnit(gauge.LastHourCounts());
    for (int day = 0; day < 7; ++day)
        f.Day[day] = gauge.InUnit(CountDistance(gauge.WeeklyRain[day], 0));
    if (gauge.RateMinutes == 0) {
        f.Fault = "RAIN: The rain gauge has 0 rate minutes; its rain rate is shown as 0";
        return f;
    }
    f.RateUsable = true;
    f.Rate = gauge.InUnit(gauge.RateCounts());
    return f;
}

} // namespace publish
