#include <gtest/gtest.h>

#include "onewire/DiagnosticDatagram.h"
#include "platform/tmex/DS2480Backend.h"
#include "platform/tmex/sim/SimulatedPort.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The port types of the program (app/main.cpp).
    platform::tmex::RegisterSerialPortType();
    platform::tmex::sim::RegisterSimulatedPortType();
    // Tests run beside a station of the machine, which listens on the diagnostic port: the sensors of a
    // test send nothing there, and a test that listens takes a free port.
    DiagnosticListenerPort = "0";
    return RUN_ALL_TESTS();
}
