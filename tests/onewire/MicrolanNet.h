#pragma once
// A station in a temporary folder with a simulated 1-Wire net on port 1 of the simulated port type, for
// the tests of the MicroLAN module, the data tables, the iButton base and the DS2409 coupler.
#include <memory>
#include <string>

#include "onewire/Microlan.h"
#include "onewire/iButton.h"
#include "platform/IniFile.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/SimNet.h"
#include "support/StationFixture.h"

namespace microlan_test {

namespace tmex = platform::tmex;
namespace sim = platform::tmex::sim;

class MicrolanNetTest : public korvane_test::StationFixture {
protected:
    void SetUp() override {
        StationFixture::SetUp();
        Start();
        tmex::ResetDriver();
        tmex::SetDriverSettingsPath(Path("tmex.ini"));
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

    // Makes the device the driver's current one inside an open session, as the scan does before it
    // constructs an object for it, and constructs T(args..., coupler, branch).
    template <typename T, typename... Args>
    std::unique_ptr<T> Make(const sim::Device& device, const uint16_t* coupler, int branch, Args... args) {
        EXPECT_TRUE(Microlan::StartSession());
        auto words = device.rom().Words();
        tmex::Rom(Microlan::SessionHandle, &Microlan::TmexStateBuffer, words.data());
        auto object = std::make_unique<T>(args..., coupler, branch);
        Microlan::EndSession();
        return object;
    }

    void SetKey(const sim::Device& device, const std::string& key, const std::string& value) {
        platform::TIniFile(iButton::SensorsIniPath()).WriteString(device.rom().Text(), key, value);
    }
    std::string Key(const sim::Device& device, const std::string& key) {
        return platform::TIniFile(iButton::SensorsIniPath()).ReadString(device.rom().Text(), key, "<none>");
    }
    int CountCalls(const std::string& call) const {
        int n = 0;
        for (const auto& c : net->Calls())
            if (c == call) ++n;
        return n;
    }

    std::shared_ptr<sim::SimNet> net;
};

} // namespace microlan_test
