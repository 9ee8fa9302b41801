#include "platform/System.h"

#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
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

size_t DescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    return limit.rlim_cur == RLIM_INFINITY ? static_cast<size_t>(INT_MAX) : static_cast<size_t>(limit.rlim_cur);
}

size_t RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit); // refused (an unlimited hard limit): the old one stays
    }
    return DescriptorLimit();
}

bool StandardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

} // namespace platform
