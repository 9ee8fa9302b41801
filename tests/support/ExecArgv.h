#pragma once
// The end of a forked child that runs a peer program: execvp of the argument list, or exit 127 (as a
// shell does for a command it cannot run) when it cannot be started.
#include <unistd.h>

#include <string>
#include <vector>

[[noreturn]] inline void ExecArgv(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}
