#include "platform/System.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/DateTime.h"
#include "platform/Files.h"
#include "platform/Speaker.h"

namespace platform {

OsVersion GetOsVersion() {
    struct utsname u {};
    if (::uname(&u) != 0) return {"Linux", "unknown"};
    return {u.sysname, u.release};
}

std::string BuildText(const std::string& exePath) {
    long long age = FileAge(exePath);
    if (age < 0) return {};
    return FormatDateTime("dd.MM.yyyy", UnixToDateTime(age));
}

SystemHooks& Hooks() {
    static SystemHooks hooks{
        [](unsigned frequency, unsigned ms) { Speaker::Get().Tone(frequency, ms); },
        [](int code) { std::exit(code); },
    };
    return hooks;
}

bool StandardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

} // namespace platform
