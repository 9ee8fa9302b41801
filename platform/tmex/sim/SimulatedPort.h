#pragma once
// The simulated port type (kPortTypeSimulated) as the driver sees it: port 1 is the built-in demo net
// with its weather (DemoNet.h); other port numbers have no net (sessions open, nothing answers). The
// program and the tests register it; a test that wants its own net installs it with InstallBackend.
#include <cstdint>

namespace platform::tmex::sim {

void RegisterSimulatedPortType();

} // namespace platform::tmex::sim
