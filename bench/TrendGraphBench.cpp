// The station's graph image: one 500 x 400 trend graph of a day (1,440 one-minute records) drawn by the
// print trend and encoded as the station's GIF (run by hand: make bench).
#include <benchmark/benchmark.h>

#include <memory>

#include "gif/GIFImage.h"
#include "platform/MemoryStream.h"
#include "tests/gauges/StationGraph.h"

namespace {

struct StationGraph {
    StationGraph() : clock(std::make_shared<platform::SimulatedClock>(1088683200000LL)) {
        old = platform::Clock::Install(clock);
        trend = std::make_unique<gauges::TAbTrend>(nullptr);
        trend->Loaded();
        gaugetest::SetUpTemperatureTrend(*trend);
        gaugetest::RecordDay(*trend, *clock);
        gaugetest::SetUpStationPrintTrend(printer);
        printer.SetTrend(trend.get());
    }
    ~StationGraph() {
        printer.SetTrend(nullptr);
        trend.reset();
        platform::Clock::Install(old);
    }
    std::shared_ptr<platform::SimulatedClock> clock;
    std::shared_ptr<platform::Clock> old;
    std::unique_ptr<gauges::TAbTrend> trend;
    gauges::TAbPrintTrend printer;
};

void BM_TrendGraphDraw(benchmark::State& state) {
    StationGraph graph;
    for (auto _ : state) {
        platform::gfx::Bitmap bmp;
        graph.printer.DrawTrendBmp(bmp);
        benchmark::DoNotOptimize(bmp.Width());
    }
}
BENCHMARK(BM_TrendGraphDraw)->Unit(benchmark::kMillisecond);

void BM_TrendGraphGif(benchmark::State& state) {
    StationGraph graph;
    for (auto _ : state) {
        platform::gfx::Bitmap bmp;
        graph.printer.DrawTrendBmp(bmp);
        gif::TGIFImage image;
        image.Assign(&bmp);
        platform::TMemoryStream stream;
        image.SaveToStream(stream);
        benchmark::DoNotOptimize(stream.Size());
    }
}
BENCHMARK(BM_TrendGraphGif)->Unit(benchmark::kMillisecond);

} // namespace
