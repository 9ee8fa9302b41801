#pragma once
// Operating-system services the station asks for: its version, the alarm beep, the build date of the
// program, and ending the process. Tests replace the hooks.
#include <functional>
#include <string>

namespace platform {

struct OsVersion {
    std::string system;  // "Linux"
    std::string release; // kernel release, "6.1.0-18-amd64"
};
OsVersion GetOsVersion();

// The build text: the program file's date as "dd.MM.yyyy" (empty when it cannot be read).
std::string BuildText(const std::string& exePath);

// Whether standard output is a terminal (not a pipe, a file or a service manager's journal).
bool StandardOutputIsTerminal();

struct SystemHooks {
    // A tone of `frequency` Hz for `ms` milliseconds, queued on the speaker (Speaker.h): it never blocks.
    std::function<void(unsigned frequency, unsigned ms)> beep;
    // Ends the process with the code.
    std::function<void(int code)> exitProcess;
};
SystemHooks& Hooks();

inline void Beep(unsigned frequency, unsigned ms) {
    if (Hooks().beep) Hooks().beep(frequency, ms);
}

} // namespace platform
