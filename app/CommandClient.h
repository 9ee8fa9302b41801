#pragma once
// `korvane command NAME [ARGS]`: gives one of the keeper's commands (station/Commands.h) to the station
// that runs in the program's folder, prints what it answers and returns the exit status.
#include <string>
#include <vector>

// `words`: what follows "command" on the command line.
int RunCommandClient(const std::vector<std::string>& words);
