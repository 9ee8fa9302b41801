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
#include "support/StationFixture.h"

namespace temperature_test {

namespace tmex = platform::tmex;
namespace sim = platform::tmex::sim;

class TemperatureNetTest : public korvane_test::StationFixture {
protected:
    void SetUp() override {
        StationFixture::SetUp();
        Start();
        tmex::ResetDriver();
        net = std::make_shared<sim::SimNet>();
        tmex::InstallBackend(1, tmex::kPortTypeSimulated, net);
        Microlan::PortNum = 1;
        Microlan::PortType = tmex::kPortTypeSimulated;
        Microlan::SessionHandle = -1;
        Microlan::UseCelsius = false;
        platform::Hooks().beep = [this](unsigned frequency, unsigned) { tones.push_back(frequency); };
    }

    void TearDown() override {
        platform::Hooks().beep = nullptr;
        SetPumpMessagesHook(nullptr);
        tmex::EndSession(Microlan::SessionHandle);
        tmex::ResetDriver();
        StationFixture::TearDown();
    }

    // Constructs a sensor with its device current, as the scan leaves the driver for a constructor.
    template <typename T, typename... Args> std::unique_ptr<T> Make(const sim::Device& device, Args... args) {
        EXPECT_TRUE(Microlan::StartSession());
        auto words = device.rom().Words();
        tmex::Rom(Microlan::SessionHandle, &Microlan::TmexStateBuffer, words.data());
        auto sensor = std::make_unique<T>(args..., nullptr, 0);
        Microlan::EndSession();
        return sensor;
    }

    // SENSORS.INI keys written before a sensor is made, and read back after.
    void SetKey(const sim::Device& device, const std::string& key, const std::string& value) {
        platform::TIniFile(iButton::SensorsIniPath()).WriteString(device.rom().Text(), key, value);
    }
    std::string Key(const sim::Device& device, const std::string& key) {
        return platform::TIniFile(iButton::SensorsIniPath()).ReadString(device.rom().Text(), key, "<none>");
    }
    bool TrafficHas(const std::string& text) const { return net->CallText().find(text) != std::string::npos; }

    std::shared_ptr<sim::SimNet> net;
    std::vector<unsigned> tones;
};

} // namespace temperature_test
