#pragma once
// The simulated port type (kPortTypeSimulated) as the driver sees it: port 1 is the built-in demo net
// with its weather (DemoNet.h); other port numbers have no net (sessions open, nothing answers). The
// program and the tests register it; a test that wants its own net installs it with InstallBackend.
// With a counts file the demo net's counters go on across starts of the program (DemoCounts.h): the
// program names one, the tests leave it out so that each runs from the demo's first counts.
#include <cstdint>
#include <string>

namespace platform::tmex::sim {

void RegisterSimulatedPortType(const std::string& demoCountsFile = {});

} // namespace platform::tmex::sim
