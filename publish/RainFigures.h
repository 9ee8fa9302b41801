#pragma once
// The rain gauge's figures as every page, the tags and weather.xml show them: counts divided by the
// gauge's counts per inch, in millimetres (x 25.4) unless the gauge counts in inches. Counter
// differences are taken modulo 2^32 and as magnitudes, so that a wrapped counter never shows negative
// rain. The rate per hour multiplies the counts of the last RateMinutes minutes by 60 div RateMinutes
// (whole numbers: 7 minutes give 8).
//
// A gauge with 0 counts per inch, or 0 rate minutes, has no figure to show: such a figure is 0 and not
// Usable, and Fault says why (for the log, once), instead of a division by zero.
#include <string>

class RainGauge;

namespace publish {

struct RainFigures {
    bool Usable = false;     // the amounts (counts per inch non-zero)
    bool RateUsable = false; // the rate too (rate minutes non-zero)
    double Rate = 0, LastHour = 0, Today = 0, Week = 0, Month = 0, Total = 0;
    double Day[7] = {}; // the week's days, Sunday first
    std::string Unit;   // "in" or "mm"
    std::string Fault;
};

RainFigures RainFiguresOf(const RainGauge& gauge);

} // namespace publish
