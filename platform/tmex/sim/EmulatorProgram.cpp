#include "platform/tmex/sim/EmulatorProgram.h"

#include "platform/tmex/sim/DemoCounts.h"
#include "platform/tmex/sim/DemoNet.h"
#include "platform/tmex/sim/SerialEmulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <string>

namespace platform::tmex::sim {

int RunEmulatorProgram(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s LINK [BAUD]\n", argv[0]);
        return 2;
    }
    SerialEmulator::Options options;
    options.linkPath = argv[1];
    options.baud = argc == 3 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 0;
    // The signals wait for the main thread alone (the serving thread inherits the mask).
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // The demo net's counters go on from where the last run in this folder left them.
    SerialEmulator emulator(MakeDemoNet(WeatherModel::kDefaultSeed, kDemoCountsFile), options);
    std::string error;
    if (!emulator.Start(error)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
        return 1;
    }
    std::printf("DS2480 adapter emulator on %s\n", emulator.DevicePath().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    emulator.Stop();
    return 0;
}

} // namespace platform::tmex::sim
