// The whole station on the simulated clock and the weather-driven demo net (run by hand: make bench):
// station-days per real second, as `make run` would set it up (the demo SENSORS.INI, the default
// korvane.ini, the demo's korvane.ini of `make run`, or the relaxed one of the eight-day test), and the
// disk flushes of a station-day.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "BenchStation.h"
#include "onewire/SensorTables.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/tmex/sim/DemoNet.h"

namespace {

constexpr uint32_t kDayMs = 24u * 3600u * 1000u;

void RunDays(benchmark::State& state, const std::string& settings) {
    BenchStation station(settings);
    if (!station.Running()) {
        state.SkipWithError("the demo net was not found");
        return;
    }
    unsigned rounds = SampleCount;
    uint64_t flushes = platform::DiskFlushCount();
    for (auto _ : state)
        platform::EventLoop::Get().RunFor(kDayMs);
    const double days = static_cast<double>(state.iterations());
    state.counters["station_days_per_s"] = benchmark::Counter(days, benchmark::Counter::kIsRate);
    state.counters["rounds_per_day"] = static_cast<double>(SampleCount - rounds) / days;
    state.counters["disk_flushes_per_day"] = static_cast<double>(platform::DiskFlushCount() - flushes) / days;
}

double Min(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}
double Max(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

// Runs of two days each; with --benchmark_repetitions (make bench: 5) reported as min, median and max,
// as a shared machine varies from run to run.
void DayRuns(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kSecond)
        ->Iterations(2)
        ->ComputeStatistics("min", Min)
        ->ComputeStatistics("max", Max)
        ->UseRealTime();
}

// The defaults of a fresh korvane.ini: a round every second, no web server, NOW.TXT off.
void BM_StationDayDefaults(benchmark::State& state) {
    RunDays(state, "[Weather]\r\nPortNum=1\r\nPortType=64\r\n");
}
BENCHMARK(BM_StationDayDefaults)->Apply(DayRuns);

// The korvane.ini of `make run`: the web server on (a free port), the graph images every two minutes.
void BM_StationDayDemo(benchmark::State& state) {
    std::string ini = platform::tmex::sim::DemoStationIni();
    ini.replace(ini.find("Port=8880"), 9, "Port=0");
    RunDays(state, ini);
}
BENCHMARK(BM_StationDayDemo)->Apply(DayRuns);

// The eight-day test's settings: a round every ten seconds, SUMMARY.TXT and NOW.TXT on.
void BM_StationDayRelaxed(benchmark::State& state) {
    RunDays(state, "[Weather]\r\nPortNum=1\r\nPortType=64\r\nCelsius=1\r\nSampleInterval=10000\r\n"
                   "SummaryEnabled=1\r\nNowEnabled=1\r\n");
}
BENCHMARK(BM_StationDayRelaxed)->Apply(DayRuns);

} // namespace
