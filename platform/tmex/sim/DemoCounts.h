#pragma once
// The demo net's counters kept across starts of the program: the rain gauge's and the anemometer's
// counts and the moment they were counted, in a small text file of the demo's own (demonet.ini in the
// station's folder), written whole. A real DS2423 keeps counting on its battery while the station is
// down; the demo's chips are made anew at every start and would count from their first values again,
// which the station rightly takes for a counter that started again (a battery change).
//
//   [Counters]
//   Time=1796562189000      (milliseconds since 1970)
//   RainGauge=4201
//   WindSpeed=123456
//
// Lines end CR LF.
#include <cstdint>
#include <optional>
#include <string>

namespace platform::tmex::sim {

// The file's name, in the working folder (the station's, or the adapter emulator's).
inline constexpr const char* kDemoCountsFile = "demonet.ini";

struct DemoCounts {
    int64_t unixMs = 0; // when they were counted
    uint32_t rain = 0;  // the rain gauge's counter
    uint32_t wind = 0;  // the anemometer's
};

// The counts the file keeps; none when there is no file. A file without them (a key missing, a value
// that is no count) is told as a problem of the station's files and gives none.
std::optional<DemoCounts> ReadDemoCounts(const std::string& file);
// Writes the file whole (a temporary file renamed); with `flush` the disk holds it before it returns.
// False when it was not written, which is told as any failed write is.
bool WriteDemoCounts(const std::string& file, const DemoCounts& counts, bool flush);

} // namespace platform::tmex::sim
