#include <gtest/gtest.h>

#include "onewire/DiagnosticDatagram.h"
#include "platform/Speaker.h"
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
    // Alarms make no sound in tests: no speaker and no terminal (a test that plays tones sets its own).
    platform::Speaker::Get().SetPlaces({"", "", -1});
    return RUN_ALL_TESTS();
}
