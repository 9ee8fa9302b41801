#include "platform/WorkerPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {

int CurrentThreadId() {
    return static_cast<int>(syscall(SYS_gettid));
}

int ThreadNiceValue(int threadId) {
    // On Linux a process id names a single thread here; -1 is also a valid nice value.
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(threadId));
    return errno == 0 ? nice : 0;
}

int SetThreadNiceOffset(int threadId, int offset) {
    int target = std::clamp(ThreadNiceValue(CurrentThreadId()) + offset, -20, 19);
    if (ThreadNiceValue(threadId) == target) return 0;
    return setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), target) == 0 ? 0 : errno;
}

} // namespace platform
