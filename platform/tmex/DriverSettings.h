#pragma once
// The driver's own settings file: "tmex.ini" beside the program (the working folder), not korvane.ini.
//
//   [Driver]
//   DefaultPortNum=1
//   DefaultPortType=5       ; 5 = the serial DS2480 adapter, 64 = the simulated net
//   [DS2480]
//   1=/dev/ttyUSB0          ; the serial device of each port number of type 5
//   SearchAccelerator=1     ; 0 walks each search bit by bit
//
// A missing file or key keeps the default (port 1 of the serial adapter, no serial device, the search
// accelerator on): a station is never on the simulated net unless a setting names it. The file name is
// matched without regard to case, CR LF line ends are accepted, and section and key names are
// case-insensitive.
#include <cstdint>
#include <map>
#include <string>

namespace platform::tmex {

struct DriverSettings {
    int16_t defaultPortNum = 1;
    int16_t defaultPortType = 5; // kPortTypeDS2480 (Tmex.h)
    std::map<int16_t, std::string> serialDevices;
    bool searchAccelerator = true;
};

DriverSettings LoadDriverSettings(const std::string& path);
// The text of a settings file that names the given default port (for `make run` and the docs).
std::string DriverSettingsText(const DriverSettings& settings);

} // namespace platform::tmex
