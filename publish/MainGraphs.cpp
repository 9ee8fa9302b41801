#include "publish/MainGraphs.h"

#include "gauges/AbPrtTrd.h"
#include "gauges/AbTrend.h"
#include "station/PublishingHost.h"

namespace publish {

namespace {

gauges::TAbTrend* TrendById(const TTrendGraphs& graphs, int trend) {
    switch (trend) {
    case tiRain:
        return graphs.Rain;
    case tiTemperature:
        return graphs.Temperature;
    case tiWind:
        return graphs.Wind;
    case tiHumidity:
        return graphs.Humd;
    case tiDewpointWindchill:
        return graphs.DPWC;
    case tiDirection:
        return graphs.Dir;
    default:
        return nullptr;
    }
}

} // namespace

TGraphSource MainWindowGraphs(TPublishingHost& station) {
    TGraphSource source;
    source.DrawTrend = [&station](int trend, platform::gfx::Bitmap& bitmap) {
        const TTrendGraphs graphs = station.TrendGraphs();
        gauges::TAbTrend* graph = TrendById(graphs, trend);
        if (graph == nullptr || graphs.Printer == nullptr) return false;
        graphs.Printer->SetTrend(graph);
        graphs.Printer->DrawTrendBmp(bitmap);
        return true;
    };
    // The print trend's own settings do not change while the station runs, so a graph's image stays
    // right for as long as the graph itself has not changed.
    source.TrendVersion = [&station](int trend) -> uint64_t {
        gauges::TAbTrend* graph = TrendById(station.TrendGraphs(), trend);
        return graph == nullptr ? 0 : graph->Changes();
    };
    source.DrawFormImage = [&station](platform::gfx::Bitmap& bitmap) {
        bitmap = station.WindowImage();
        return bitmap.Width() > 0 && bitmap.Height() > 0;
    };
    return source;
}

} // namespace publish
