#include "publish/MainGraphs.h"

#include "gauges/AbPrtTrd.h"
#include "gauges/AbTrend.h"
#include "station/Unit1.h"

namespace publish {

namespace {

gauges::TAbTrend* TrendById(TMainForm& form, int trend) {
    switch (trend) {
    case tiRain:
        return form.Rain;
    case tiTemperature:
        return form.Temperature;
    case tiWind:
        return form.Wind;
    case tiHumidity:
        return form.Humd;
    case tiDewpointWindchill:
        return form.DPWC;
    case tiDirection:
        return form.Dir;
    default:
        return nullptr;
    }
}

} // namespace

TGraphSource MainWindowGraphs(TMainForm& form) {
    TGraphSource source;
    source.DrawTrend = [&form](int trend, platform::gfx::Bitmap& bitmap) {
        gauges::TAbTrend* graph = TrendById(form, trend);
        if (graph == nullptr || form.GraphPrintTrend == nullptr) return false;
        form.GraphPrintTrend->SetTrend(graph);
        form.GraphPrintTrend->DrawTrendBmp(bitmap);
        return true;
    };
    // The print trend's own settings do not change while the station runs, so a graph's image stays
    // right for as long as the graph itself has not changed.
    source.TrendVersion = [&form](int trend) -> uint64_t {
        gauges::TAbTrend* graph = TrendById(form, trend);
        return graph == nullptr ? 0 : graph->Changes();
    };
    source.DrawFormImage = [&form](platform::gfx::Bitmap& bitmap) {
        bitmap = form.GetFormImage();
        return bitmap.Width() > 0 && bitmap.Height() > 0;
    };
    return source;
}

} // namespace publish
