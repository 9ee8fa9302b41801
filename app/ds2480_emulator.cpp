// A DS2480B serial 1-Wire adapter on a pseudo-terminal in front of the demo net (make run-serial).
#include "platform/tmex/sim/EmulatorProgram.h"

int main(int argc, char** argv) {
    return platform::tmex::sim::RunEmulatorProgram(argc, argv);
}
