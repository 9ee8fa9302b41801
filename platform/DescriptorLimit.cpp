#include "platform/DescriptorLimit.h"

#include <sys/resource.h>

#include <algorithm>
#include <climits>

namespace platform {

size_t DescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    return limit.rlim_cur == RLIM_INFINITY ? static_cast<size_t>(INT_MAX) : static_cast<size_t>(limit.rlim_cur);
}

size_t RaiseDescriptorLimit(size_t wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return DescriptorLimit();
    const rlim_t asked = std::min<rlim_t>(static_cast<rlim_t>(wanted), limit.rlim_max);
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= asked) return DescriptorLimit();
    limit.rlim_cur = asked;
    ::setrlimit(RLIMIT_NOFILE, &limit); // refused: the old one stays
    return DescriptorLimit();
}

} // namespace platform
