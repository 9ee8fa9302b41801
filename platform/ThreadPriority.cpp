#include "platform/ThreadPriority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/FileProblems.h"

namespace platform {

namespace {

std::atomic<bool> refusalTold{false};

int NiceDelta(TThreadPriority priority) {
    switch (priority) {
    case tpLowest:
        return 10;
    case tpLower:
        return 5;
    case tpHigher:
        return -5;
    case tpHighest:
        return -10;
    case tpTimeCritical:
        return -20;
    default:
        return 0;
    }
}

// 0 when the thread has the priority now, else the errno of the refusal.
int Apply(ThreadId thread, TThreadPriority priority) {
    errno = 0;
    int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    if (base == -1 && errno != 0) return errno;
    int policy = priority == tpIdle ? SCHED_IDLE : SCHED_OTHER;
    int current = sched_getscheduler(thread);
    if (current < 0) return errno;
    sched_param param{};
    if (current != policy && sched_setscheduler(thread, policy, &param) != 0) return errno;
    if (priority == tpIdle) return 0;
    int nice = std::clamp(base + NiceDelta(priority), -20, 19);
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) != 0) return errno;
    return 0;
}

} // namespace

ThreadId CurrentThreadId() {
    return static_cast<ThreadId>(gettid());
}

bool ApplyThreadPriority(ThreadId thread, TThreadPriority priority) {
    if (thread <= 0) return false;
    int error = Apply(thread, priority);
    if (error == 0) return true;
    // A thread that has ended was refused nothing.
    if (error != ESRCH && !refusalTold.exchange(true))
        ReportProblem("Thread priority " + ThreadPriorityName(priority) +
                      " not applied: " + std::strerror(error));
    return false;
}

std::string ThreadPriorityName(TThreadPriority priority) {
    static const char* const names[] = {"tpIdle",   "tpLowest",  "tpLower",       "tpNormal",
                                        "tpHigher", "tpHighest", "tpTimeCritical"};
    return priority >= tpIdle && priority <= tpTimeCritical ? names[priority] : "?";
}

void ForgetThreadPriorityRefusal() {
    refusalTold = false;
}

} // namespace platform
