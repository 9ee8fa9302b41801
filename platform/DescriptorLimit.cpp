#include "platform/DescriptorLimit.h"

#include <sys/resource.h>

#include <climits>

namespace platform {

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

} // namespace platform
