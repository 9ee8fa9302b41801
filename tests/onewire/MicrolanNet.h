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
#include "support/SimNetFixture.h"

namespace microlan_test {

namespace tmex = platform::tmex;
namespace sim = platform::tmex::sim;

class MicrolanNetTest : public korvane_test::SimNetFixture {
protected:
    void SetUp() override {
        SimNetFixture::SetUp();
        tmex::SetDriverSettingsPath(Path("tmex.ini"));
    }

    // Constructs T(args..., coupler, branch) with the device current, as the scan does.
    template <typename T, typename... Args>
    std::unique_ptr<T> Make(const sim::Device& device, const uint16_t* coupler, int branch, Args... args) {
        return MakeWith<T>(device.rom(), args..., coupler, branch);
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
};

} // namespace microlan_test
