// The whole station on the simulated clock and the weather-driven demo net (run by hand: make bench):
// station-days per real second, as `make run` would set it up (the demo SENSORS.INI, the default
// korvane.ini, or the relaxed one of the eight-day test).
#include <benchmark/benchmark.h>

#include "BenchStation.h"
#include "onewire/SensorTables.h"
#include "platform/EventLoop.h"

namespace {

constexpr uint32_t kDayMs = 24u * 3600u * 1000u;

void RunDays(benchmark::State& state, const std::string& settings) {
    BenchStation station(settings);
    if (!station.Running()) {
        state.SkipWithError("the demo net was not found");
        return;
    }
    unsigned rounds = SampleCount;
    for (auto _ : state)
        platform::EventLoop::Get().RunFor(kDayMs);
    state.counters["station_days_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["rounds_per_day"] =
        static_cast<double>(SampleCount - rounds) / static_cast<double>(state.iterations());
}

// The defaults of a fresh `make run`: a round every second, NOW.TXT off.
void BM_StationDayDefaults(benchmark::State& state) {
    RunDays(state, "[Weather]\r\nPortNum=1\r\nPortType=64\r\n");
}
BENCHMARK(BM_StationDayDefaults)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

// The eight-day test's settings: a round every ten seconds, SUMMARY.TXT and NOW.TXT on.
void BM_StationDayRelaxed(benchmark::State& state) {
    RunDays(state, "[Weather]\r\nPortNum=1\r\nPortType=64\r\nCelsius=1\r\nSampleInterval=10000\r\n"
                   "SummaryEnabled=1\r\nNowEnabled=1\r\n");
}
BENCHMARK(BM_StationDayRelaxed)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

} // namespace
