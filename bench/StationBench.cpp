// The whole station on the simulated clock and the weather-driven demo net (run by hand: make bench):
// station-days per real second, as `make run` would set it up (the demo SENSORS.INI, the default
// korvane.ini, or the relaxed one of the eight-day test).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "onewire/SensorTables.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/System.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DemoNet.h"
#include "station/Unit1.h"

namespace {

constexpr int64_t kStartMs = 1795770000000LL; // 2026-11-27 10:00 CET
constexpr uint32_t kDayMs = 24u * 3600u * 1000u;

// A station in a temporary folder on a simulated clock; removed again at the end.
class BenchStation {
public:
    explicit BenchStation(const std::string& settings) {
        char pattern[] = "/tmp/korvane-bench-XXXXXX";
        folder_ = mkdtemp(pattern);
        oldDir_ = platform::CurrentDir();
        platform::SetCurrentDir(folder_);
        platform::SetExeName(folder_ + "/korvane");
        platform::Clock::SetTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
        clock_ = std::make_shared<platform::SimulatedClock>(kStartMs);
        oldClock_ = platform::Clock::Install(clock_);
        platform::EventLoop::Get().Reset();
        platform::TIniFile::FlushCache();
        platform::tmex::ResetDriver();
        platform::Hooks().exitProcess = [](int) {};
        TMainForm::EchoLogToStdoutDefault = false;
        TMainForm::DiagnosticListenerPort = '0';
        platform::WriteWholeFile(folder_ + "/korvane.ini", settings, platform::FileMode::Binary);
        platform::WriteWholeFile(folder_ + "/SENSORS.INI", platform::tmex::sim::DemoSensorsIni(),
                                 platform::FileMode::Binary);
        form_ = std::make_unique<TMainForm>(nullptr);
        platform::EventLoop::Get().RunFor(10 * 60 * 1000); // start, scan and the first rounds
    }
    ~BenchStation() {
        form_->CleanupSensors();
        form_.reset();
        platform::tmex::ResetDriver();
        platform::EventLoop::Get().Reset();
        platform::Clock::Install(oldClock_);
        platform::Clock::SetTimeZone("");
        platform::SetCurrentDir(oldDir_);
        platform::TIniFile::FlushCache();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    bool Running() const { return SessionRunning; }

private:
    std::string folder_, oldDir_;
    std::shared_ptr<platform::SimulatedClock> clock_;
    std::shared_ptr<platform::Clock> oldClock_;
    std::unique_ptr<TMainForm> form_;
};

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
