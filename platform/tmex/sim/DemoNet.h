#pragma once
// The built-in demo net: a complete simulated weather station with every kind the station knows, on
// which a fresh `make run` finds a net (port 1 of the simulated port type).
//
// Trunk: the adapter's 0x81 ID chip; two DS18S20 (the attic one on parasite power, converting on the
// strong pull-up, as the two DS2450 do), two DS18B20 and two DS1822 thermometers; a humidity,
// a barometer and a plain DS2438; a wind-speed DS2423 with a DS2450 vane; a rain-gauge DS2423; a plain
// DS2423 and a plain DS2450; a plain DS2407; a DS2408; a DS2409 coupler with one DS18B20 on its MAIN
// branch. BuildDemoNet gives fixed values; the net of MakeDemoNet is driven by a WeatherModel
// (DemoWeather): at a bus reset it refreshes the devices from the weather at the installed clock's time
// (at most once a second), so the station sees temperatures, humidity, pressure, wind and rain move.
//
// DemoSensorsIni() is the SENSORS.INI text that gives each demo device its role (Type, Description and
// the role keys) and names every channel's data file after what it holds; DemoKorvaneIni() is the
// korvane.ini that picks the simulated port and the outdoor thermometer as the main temperature. `make
// run` seeds run/ with them when the files are absent. Lines end CR LF.
#include "platform/tmex/sim/SimNet.h"
#include "platform/tmex/sim/WeatherModel.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::tmex::sim {

struct DemoDevice {
    Rom rom;
    std::string type;              // SENSORS.INI Type
    std::string description;       // SENSORS.INI Description
    std::vector<std::string> keys; // further "Key=Value" lines of its section
};

// Adds the demo devices to a net (on its trunk and one coupler branch).
void BuildDemoNet(SimNet& net);
// A new net with the demo devices and their weather, traffic logging off (it runs for as long as the
// station does). With a counts file (DemoCounts.h) its rain gauge and anemometer go on from the counts
// kept there, and keep theirs there.
std::shared_ptr<SimNet> MakeDemoNet(uint64_t weatherSeed = WeatherModel::kDefaultSeed,
                                    std::string countsFile = {});
// The demo devices in the order they are added, with their roles.
std::vector<DemoDevice> DemoDevices();
std::string DemoSensorsIni();
// One [Weather] section (a caller may append keys to it): PortNum, PortType, DS1820Selected.
std::string DemoKorvaneIni();
// The korvane.ini of `make run`: DemoKorvaneIni(), the web server on at http://127.0.0.1:8880/, the UDP
// status feed to this machine, the posts, APRS and FTP off, and graph images every two minutes.
std::string DemoStationIni();

// Drives the devices of a demo net (built by BuildDemoNet) from a weather model.
class DS1822;
class DS18B20;
class DS2423;
class DS2438;
class DS2450;

class DemoWeather {
public:
    // Connects the anemometer's counter and the two DS18S20s to the model at the installed clock's
    // time: the counter counts the revolutions up to the moment it is read, a DS18S20 measures the air
    // of the moment its conversion starts. With a counts file, the rain gauge and the anemometer go on
    // from the counts it keeps, and count what the model gives from the moment they were kept (six hours
    // at most, as the model integrates): a counter of the demo never goes back across starts.
    DemoWeather(SimNet& net, uint64_t seed, std::string countsFile = {});
    DemoWeather(const DemoWeather&) = delete;
    DemoWeather& operator=(const DemoWeather&) = delete;
    // Sets every other weather-driven device to the weather at unixMs: the thermometers, the humidity and
    // barometer DS2438s (voltages by the sensor roles' default mappings), the vane; the rain counter
    // grows by the tips the model integrated since the previous refresh. The counts file is written at
    // each tip (flushed) and at least once a minute for the wind.
    void Refresh(int64_t unixMs);
    const WeatherModel& Model() const { return model_; }
    // Default mappings of the station's humidity and barometer roles (inverted): the volts for a value.
    static double HumidityVolts(double humidity, double celsius, double vdd);
    static double BarometerVolts(double hpa);

private:
    // The counts are written at least this often: a crash loses less of the wind (41 revolutions a
    // second at most) than the model counts in the six hours it integrates across a gap, even in its
    // calmest air (0.15 a second), so the integration from the kept moment counts it again.
    static constexpr int64_t kKeepEveryMs = 60000;
    void ResumeCounts(int64_t unixMs);
    void KeepCounts(int64_t unixMs, bool tipped);

    WeatherModel model_;
    uint64_t rainCounts_ = 0;
    std::string countsFile_;        // empty: nothing kept
    std::optional<int64_t> keptMs_; // when the file was last written
    // The devices Refresh sets, found once.
    DS18B20* living_;
    DS18B20* greenhouse_;
    DS1822* garage_;
    DS1822* cellar_;
    DS18B20* shed_;
    DS2438* humidity_;
    DS2438* barometer_;
    DS2450* vane_;
    DS2423* rain_;
    DS2423* wind_;
};

} // namespace platform::tmex::sim
