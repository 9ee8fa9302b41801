#pragma once
// A station in a temporary folder with a simulated 1-Wire net on the station's port, for the counter,
// wind, rain, DS2450 and DS2407 sensor tests. Sensors are constructed the way the scan does it: with
// their device made the driver's current device inside an open session.
#include <memory>
#include <string>

#include "support/SimNetFixture.h"

namespace sensor_net_test {

namespace tmex = platform::tmex;
namespace sim = platform::tmex::sim;

class SensorNetTest : public korvane_test::SimNetFixture {
protected:
    template <typename T, typename... Args> std::unique_ptr<T> Make(const sim::Rom& rom, Args... args) {
        return MakeWith<T>(rom, args...);
    }

    // SENSORS.INI of the program folder, written before the sensors are made.
    void Sensors(const std::string& text) { Write("SENSORS.INI", text); }
    std::string Ini(const sim::Rom& rom, const std::string& key) {
        platform::TIniFile ini(Path("SENSORS.INI"));
        return ini.ReadString(rom.Text(), key, "<none>");
    }
};

} // namespace sensor_net_test
