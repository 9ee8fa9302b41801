// Preloaded into the HTTP benchmark (LD_PRELOAD) on a machine that refuses to raise the hard limit of
// open descriptors as far as the benchmark asks: the process is told the hard limit named by
// KORVANE_CLAIMED_NOFILE, as a service manager might set it, while the system keeps its own. A soft
// limit set beyond the system's hard limit is set as far as the system allows and reported as asked;
// other limits and other calls pass through. The variable LD_PRELOAD is taken out of the environment at
// load, so that the programs the benchmark starts (lighttpd, its clients) run with the system's limits.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

namespace {

rlim_t claimedHard = 0;  // 0: nothing claimed
rlim_t reportedSoft = 0; // the soft limit last asked for beyond the system's hard limit, 0: none

__attribute__((constructor)) void ReadClaim() {
    if (const char* claim = std::getenv("KORVANE_CLAIMED_NOFILE"))
        claimedHard = std::strtoull(claim, nullptr, 10);
    ::unsetenv("LD_PRELOAD");
}

int SystemLimit(int resource, const rlimit* set, rlimit* old, pid_t pid = 0) {
    return static_cast<int>(::syscall(SYS_prlimit64, pid, resource, set, old));
}

bool Claimed(int resource) {
    return resource == RLIMIT_NOFILE && claimedHard != 0;
}

void Report(rlimit* limit) {
    if (limit->rlim_max >= claimedHard) return;
    limit->rlim_max = claimedHard;
    if (reportedSoft > limit->rlim_cur) limit->rlim_cur = reportedSoft;
}

int Set(int resource, const rlimit* wanted) {
    if (!Claimed(resource) || wanted == nullptr) return SystemLimit(resource, wanted, nullptr);
    rlimit system{};
    if (SystemLimit(resource, nullptr, &system) != 0) return -1;
    if (wanted->rlim_max <= system.rlim_max) {
        reportedSoft = 0;
        return SystemLimit(resource, wanted, nullptr);
    }
    rlimit granted = {wanted->rlim_cur < system.rlim_max ? wanted->rlim_cur : system.rlim_max,
                      system.rlim_max};
    if (SystemLimit(resource, &granted, nullptr) != 0) return -1;
    reportedSoft = wanted->rlim_cur > system.rlim_max ? wanted->rlim_cur : 0;
    return 0;
}

} // namespace

extern "C" {

int getrlimit(__rlimit_resource_t resource, rlimit* limit) noexcept {
    if (SystemLimit(resource, nullptr, limit) != 0) return -1;
    if (Claimed(resource)) Report(limit);
    return 0;
}

int getrlimit64(__rlimit_resource_t resource, rlimit64* limit) noexcept {
    return getrlimit(resource, reinterpret_cast<rlimit*>(limit));
}

int setrlimit(__rlimit_resource_t resource, const rlimit* limit) noexcept {
    return Set(resource, limit);
}

int setrlimit64(__rlimit_resource_t resource, const rlimit64* limit) noexcept {
    return Set(resource, reinterpret_cast<const rlimit*>(limit));
}

int prlimit(pid_t pid, __rlimit_resource resource, const rlimit* set, rlimit* old) noexcept {
    if (pid != 0 && pid != ::getpid()) return SystemLimit(resource, set, old, pid);
    if (old != nullptr && getrlimit(resource, old) != 0) return -1;
    return set != nullptr ? Set(resource, set) : 0;
}

int prlimit64(pid_t pid, __rlimit_resource resource, const rlimit64* set, rlimit64* old) noexcept {
    return prlimit(pid, resource, reinterpret_cast<const rlimit*>(set), reinterpret_cast<rlimit*>(old));
}

} // extern "C"
