#pragma once
// The driver's own settings file: "tmex.ini" beside the program (the working folder), not korvane.ini.
//
//   [Driver]
//   DefaultPortNum=1
//   DefaultPortType=64      ; 64 = the simulated net, 5 = the serial DS2480 adapter
//
// Later issues add the serial device of each port number here. A missing file or key keeps the default
// (port 1 on the simulated net). The file name is matched without regard to case, CR LF line ends are
// accepted, and section and key names are case-insensitive.
#include <cstdint>
#include <string>

namespace platform::tmex {

struct DriverSettings {
    int16_t defaultPortNum = 1;
    int16_t defaultPortType = 64; // kPortTypeSimulated
};

DriverSettings LoadDriverSettings(const std::string& path);
// The text of a settings file that names the given default port (for `make run` and the docs).
std::string DriverSettingsText(const DriverSettings& settings);

} // namespace platform::tmex
