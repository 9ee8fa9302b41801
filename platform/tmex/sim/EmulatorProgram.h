#pragma once
// The serial adapter emulator as a program of its own (korvane-ds2480-emulator LINK [BAUD]): a DS2480B
// on a pseudo-terminal in front of the weather-driven demo net on the real clock, its device linked at
// LINK, until SIGINT or SIGTERM. `make run-serial` runs the station against it.
namespace platform::tmex::sim {

int RunEmulatorProgram(int argc, char** argv);

} // namespace platform::tmex::sim
