// One reading round of the demo station through the serial DS2480 adapter at 9600 baud (run by hand:
// make bench): the adapter emulator on a pseudo-terminal paces every byte at the line's speed, the
// station runs on the simulated clock (so its own waits cost nothing), and each round's serial bytes and
// wall time are set against the lower bound that its 1-Wire traffic implies.
//
// The lower bound: every 1-Wire reset needs one byte on the line and every eight bus slots (bits of the
// bytes, single bits, the three slots of each search bit) at least one more, each byte ten bits long at
// 9600 baud; the slots themselves take less time than their bytes on the line at this speed.
#include <benchmark/benchmark.h>

#include <memory>

#include "BenchStation.h"
#include "platform/tmex/sim/SerialEmulator.h"

namespace {

constexpr uint32_t kBaud = 9600;
constexpr double kByteSeconds = 10.0 / kBaud;

void BM_SerialRoundAt9600Baud(benchmark::State& state) {
    std::unique_ptr<platform::tmex::sim::SerialEmulator> emulator;
    std::string error;
    // The emulator goes after the station (the backend closes its device first).
    auto prepare = [&](const std::string& folder) {
        emulator = std::make_unique<platform::tmex::sim::SerialEmulator>(
            platform::tmex::sim::MakeDemoNet(),
            platform::tmex::sim::SerialEmulator::Options{folder + "/ttyDS2480", 0});
        if (!emulator->Start(error)) return;
        platform::WriteWholeFile(folder + "/tmex.ini", "[DS2480]\r\n1=" + folder + "/ttyDS2480\r\n",
                                 platform::FileMode::Binary);
    };
    {
        BenchStation station("[Weather]\r\nPortNum=1\r\nPortType=5\r\n", prepare);
        if (!error.empty() || !station.Running()) {
            state.SkipWithError(("the station found no adapter " + error).c_str());
            return;
        }
        emulator->SetBaud(kBaud);
        uint64_t bytesOut = 0, bytesIn = 0, resets = 0, slots = 0;
        unsigned rounds = SampleCount;
        double seconds = 0;
        platform::RealClock wall; // the station's own clock is the simulated one
        for (auto _ : state) {
            uint64_t out0 = emulator->BytesIn(), in0 = emulator->BytesOut();
            uint64_t resets0 = emulator->Resets(), slots0 = 8 * emulator->Bytes() + emulator->Bits();
            uint32_t start = wall.TickCount();
            platform::EventLoop::Get().RunFor(1000); // one round: the default sample interval
            seconds += platform::TicksElapsed(wall.TickCount(), start) / 1000.0;
            bytesOut += emulator->BytesIn() - out0;
            bytesIn += emulator->BytesOut() - in0;
            resets += emulator->Resets() - resets0;
            slots += 8 * emulator->Bytes() + emulator->Bits() - slots0;
        }
        double n = static_cast<double>(SampleCount - rounds); // per round
        double boundBytes = static_cast<double>(resets) + static_cast<double>(slots) / 8.0;
        double boundSeconds = boundBytes * kByteSeconds;
        state.counters["rounds"] = n;
        state.counters["bytes_to_adapter"] = static_cast<double>(bytesOut) / n;
        state.counters["bytes_from_adapter"] = static_cast<double>(bytesIn) / n;
        state.counters["bound_bytes"] = boundBytes / n;
        state.counters["wall_ms"] = 1000.0 * seconds / n;
        state.counters["bound_ms"] = 1000.0 * boundSeconds / n;
        state.counters["bytes_ratio"] = static_cast<double>(bytesOut) / boundBytes;
        state.counters["time_ratio"] = seconds / boundSeconds;
    }
    emulator.reset();
}
BENCHMARK(BM_SerialRoundAt9600Baud)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

} // namespace
