// Prints the SENSORS.INI that gives each device of the built-in demo net its role; `make run` seeds
// run/SENSORS.INI with it when the station has none yet.
#include <cstdio>

#include "platform/tmex/sim/DemoNet.h"

int main() {
    std::string text = platform::tmex::sim::DemoSensorsIni();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
