// Prints the settings of the built-in demo net: SENSORS.INI, which gives each device its role, or with
// the argument "korvane.ini" the korvane.ini that picks the simulated port and the main thermometer and
// turns the web server on at http://127.0.0.1:8880/ and writes the graph images every two minutes, so
// that a user trying the demo sees them soon. `make run` seeds run/ with them when the station has none
// yet.
#include <cstdio>
#include <cstring>

#include "platform/tmex/sim/DemoNet.h"

int main(int argc, char** argv) {
    namespace sim = platform::tmex::sim;
    std::string text =
        argc > 1 && std::strcmp(argv[1], "korvane.ini") == 0 ? sim::DemoStationIni() : sim::DemoSensorsIni();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
