#pragma once
// A station in a temporary folder with a simulated 1-Wire net on the station's port, for the counter,
// wind, rain, DS2450 and DS2407 sensor tests. Sensors are constructed the way the scan does it: with
// their device made the driver's current device inside an open session.
#include <memory>
#include <string>

#include "onewire/Microlan.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/SimNet.h"
#include "support/StationFixture.h"

namespace sensor_net_test {

namespace tmex = platform::tmex;
namespace sim = platform::tmex::sim;

class SensorNetTest : public korvane_test::StationFixture {
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
    }

    void TearDown() override {
        tmex::EndSession(Microlan::SessionHandle);
        tmex::ResetDriver();
        StationFixture::TearDown();
    }

    // Opens the session and makes the device current, as the scan leaves it for a constructor.
    void MakeCurrent(const sim::Rom& rom) {
        ASSERT_TRUE(Microlan::StartSession());
        auto words = rom.Words();
        tmex::Rom(Microlan::SessionHandle, &Microlan::TmexStateBuffer, words.data());
    }

    template <typename T, typename... Args> std::unique_ptr<T> Make(const sim::Rom& rom, Args... args) {
        MakeCurrent(rom);
        auto sensor = std::make_unique<T>(args...);
        Microlan::EndSession();
        return sensor;
    }

    // SENSORS.INI of the program folder, written before the sensors are made.
    void Sensors(const std::string& text) { Write("SENSORS.INI", text); }
    std::string Ini(const sim::Rom& rom, const std::string& key) {
        platform::TIniFile ini(Path("SENSORS.INI"));
        return ini.ReadString(rom.Text(), key, "<none>");
    }

    std::shared_ptr<sim::SimNet> net;
};

} // namespace sensor_net_test
