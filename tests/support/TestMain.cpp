#include <gtest/gtest.h>

#include "platform/tmex/DS2480Backend.h"
#include "platform/tmex/sim/SimulatedPort.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The port types of the program (app/main.cpp).
    platform::tmex::RegisterSerialPortType();
    platform::tmex::sim::RegisterSimulatedPortType();
    return RUN_ALL_TESTS();
}
