#pragma once
// A station in a temporary folder with a simulated 1-Wire net on the station's port, for the
// thermometer, DS2438, humidity, barometer and weather-calculation tests. Sensors are constructed the
// way the scan does it (their device current inside an open session) and read through the generic
// sample, so every reading crosses the driver and the device model byte by byte.
#include <memory>
#include <string>
#include <vector>

#include "onewire/Microlan.h"
#include "onewire/iButton.h"
#include "platform/System.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/SimNet.h"
#include "support/SimNetFixture.h"

namespace temperature_test {

namespace tmex = platform::tmex;
namespace sim = platform::tmex::sim;

class TemperatureNetTest : public korvane_test::SimNetFixture {
protected:
    void SetUp() override {
        SimNetFixture::SetUp();
        // The sensors are read directly here, outside the reading cycle: a conversion only sleeps (the
        // station's own wait would start its session and scan in the middle of the test's read).
        SetPumpMessagesHook(nullptr);
        platform::Hooks().beep = [this](unsigned frequency, unsigned) { tones.push_back(frequency); };
    }

    void TearDown() override {
        platform::Hooks().beep = nullptr;
        SetPumpMessagesHook(nullptr);
        SimNetFixture::TearDown();
    }

    // Constructs a sensor with its device current, as the scan leaves the driver for a constructor.
    template <typename T, typename... Args> std::unique_ptr<T> Make(const sim::Device& device, Args... args) {
        return MakeWith<T>(device.rom(), args..., static_cast<const uint16_t*>(nullptr), 0);
    }

    // SENSORS.INI keys written before a sensor is made, and read back after.
    void SetKey(const sim::Device& device, const std::string& key, const std::string& value) {
        platform::TIniFile(iButton::SensorsIniPath()).WriteString(device.rom().Text(), key, value);
    }
    std::string Key(const sim::Device& device, const std::string& key) {
        return platform::TIniFile(iButton::SensorsIniPath()).ReadString(device.rom().Text(), key, "<none>");
    }
    bool TrafficHas(const std::string& text) const { return net->CallText().find(text) != std::string::npos; }

    std::vector<unsigned> tones;
};

} // namespace temperature_test
