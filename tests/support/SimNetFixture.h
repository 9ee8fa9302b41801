#pragma once
// A station in a temporary folder with a simulated 1-Wire net on the station's port (port 1 of the
// simulated port type). Sensors are constructed the way the scan does it: with their device made the
// driver's current device inside an open session.
#include <memory>
#include <string>

#include "onewire/Microlan.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/SimNet.h"
#include "support/StationFixture.h"

namespace korvane_test {

class SimNetFixture : public StationFixture {
protected:
    void SetUp() override {
        StationFixture::SetUp();
        Start();
        platform::tmex::ResetDriver();
        net = std::make_shared<platform::tmex::sim::SimNet>();
        platform::tmex::InstallBackend(1, platform::tmex::kPortTypeSimulated, net);
        Microlan::Bus().PortNum = 1;
        Microlan::Bus().PortType = platform::tmex::kPortTypeSimulated;
    }

    void TearDown() override {
        platform::tmex::EndSession(Microlan::Bus().SessionHandle);
        platform::tmex::ResetDriver();
        StationFixture::TearDown();
    }

    // Opens the session and makes the device current, as the scan leaves it for a constructor.
    void MakeCurrent(const platform::tmex::sim::Rom& rom) {
        ASSERT_TRUE(Microlan::StartSession());
        auto words = rom.Words();
        platform::tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, words.data());
    }

    // Constructs T(args...) with the device current, then ends the session.
    template <typename T, typename... Args>
    std::unique_ptr<T> MakeWith(const platform::tmex::sim::Rom& rom, Args... args) {
        MakeCurrent(rom);
        auto object = std::make_unique<T>(args...);
        Microlan::EndSession();
        return object;
    }

    std::shared_ptr<platform::tmex::sim::SimNet> net;
};

} // namespace korvane_test
