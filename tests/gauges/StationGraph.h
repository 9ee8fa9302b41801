#pragma once
// The station's graph image of a simulated day: a temperature trend fed once a minute, and the print
// trend set up as the main window sets up the one that draws the graph GIFs (500 x 400 pixels).
#include <cmath>

#include "gauges/AbPrtTrd.h"
#include "platform/Clock.h"

namespace gaugetest {

// The -30 .. 50 degree channel of the station: 0.1 degree per digit.
inline void TemperatureChannel(gauges::TChSettings& ch, const std::string& name) {
    ch.SetDigitalFrom(-300);
    ch.SetDigitalTo(500);
    ch.SetValueFrom(-30);
    ch.SetValueTo(50);
    ch.SetValueUnit("\xB0"
                    "C");
    ch.SetName1(name);
}

// Two temperature sensors on channels 1 and 2, the other channels hidden; recording by hand.
inline void SetUpTemperatureTrend(gauges::TAbTrend& trend) {
    trend.SetStartRecording(false);
    trend.SetCaption("Temperature");
    TemperatureChannel(trend.Channel(1), "Outside");
    TemperatureChannel(trend.Channel(2), "Inside");
    for (int c = 3; c <= gauges::kTrendChannels; ++c)
        trend.Channel(c).SetVisible(false);
    trend.BevelInner().SetColor(platform::gfx::clWhite);
}

// The outside temperature of minute i of a day: 8 degrees at dawn, 22 in the afternoon.
inline float OutsideAt(int minute) {
    return static_cast<float>(15.0 - 7.0 * std::cos((minute - 240) * 2 * M_PI / 1440));
}
inline float InsideAt(int minute) {
    return static_cast<float>(21.0 + 0.5 * std::sin(minute * 2 * M_PI / 720));
}

// `minutes` records one simulated minute apart, through the recording tick.
inline void RecordDay(gauges::TAbTrend& trend, platform::SimulatedClock& clock, int minutes = 1440) {
    for (int i = 0; i < minutes; ++i) {
        trend.Channel(1).SetValue(OutsideAt(i));
        trend.Channel(2).SetValue(InsideAt(i));
        trend.GetData();
        clock.Advance(60000);
    }
}

// The main window's print trend for the graph images.
inline void SetUpStationPrintTrend(gauges::TAbPrintTrend& p) {
    using namespace gauges;
    p.SetFormat(TFormat::Pixel); // the designer's conversion of the other sizes
    p.SetWidth(500);
    p.SetHeight(400);
    p.SetOptions(ptCaption | ptLegend | ptColor | ptSelScaleOnly | ptUseTrdBkCol);
    p.SetRecFrom(0);
    p.SetRecTo(2147483647);
    p.SetTimeScaleSteps(5);
    p.Font().SetName("Arial");
    p.SetFontSize(10);
    p.SetFontSizeCaption(12);
    p.Legend().SetOptions(loName1 | loMin | loMinTime | loMax | loMaxTime);
    p.Legend().Captions().SetName1("Description");
    p.Legend().SetPosition(TLegendPos::lpCenter);
    p.SetBkColor(platform::gfx::clWhite);
}

} // namespace gaugetest
