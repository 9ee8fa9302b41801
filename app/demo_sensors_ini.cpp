// Prints the settings of the built-in demo net: SENSORS.INI, which gives each device its role, or with
// the argument "korvane.ini" the korvane.ini that picks the simulated port and the main thermometer.
// `make run` seeds run/ with them when the station has none yet.
#include <cstdio>
#include <cstring>

#include "platform/tmex/sim/DemoNet.h"

int main(int argc, char** argv) {
    namespace sim = platform::tmex::sim;
    // The demo sends nothing off the machine: the posts, the APRS report and the FTP upload stay off,
    // and the status line's datagrams go to this machine.
    const char* const kPublishing =
        "UDPEnabled=1\r\nUDPAddress=127.0.0.1\r\n"
        "[SERVLET]\r\nEnabled=0\r\n[WUNDERGROUND]\r\nEnabled=0\r\n[W4U]\r\nEnabled=0\r\n"
        "[APRSWXNET]\r\nEnabled=0\r\n[FTP]\r\nFTPUploadEnabled=0\r\n";
    std::string text = argc > 1 && std::strcmp(argv[1], "korvane.ini") == 0
                           ? sim::DemoKorvaneIni() + kPublishing
                           : sim::DemoSensorsIni();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
