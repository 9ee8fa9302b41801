#include "platform/tmex/sim/SimulatedPort.h"

#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DemoNet.h"
#include "platform/tmex/sim/SimNet.h"

namespace platform::tmex::sim {

void RegisterSimulatedPortType(const std::string& demoCountsFile) {
    RegisterPortType(
        kPortTypeSimulated,
        PortTypeDriver{kSimulatedNetVersion, [demoCountsFile](int16_t portNum) -> std::shared_ptr<Backend> {
                           if (portNum == 1) return MakeDemoNet(WeatherModel::kDefaultSeed, demoCountsFile);
                           return std::make_shared<NoAdapterBackend>(
                               "Simulated 1-Wire net (no net on this port)");
                       }});
}

} // namespace platform::tmex::sim
