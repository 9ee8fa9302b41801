#include "platform/Signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "platform/EventLoop.h"

namespace platform {

namespace {
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
} // namespace

void HandleTerminationSignals(std::function<void()> handler) {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kEndingSignals)
        sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    int fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0) return;
    static int watch = 0;
    watch = EventLoop::Get().WatchFd(fd, POLLIN, [fd, handler = std::move(handler)](short) {
        signalfd_siginfo info;
        if (::read(fd, &info, sizeof info) != sizeof info) return;
        // From now on a second signal ends the process at once.
        EventLoop::Get().UnwatchFd(watch);
        sigset_t unblock;
        sigemptyset(&unblock);
        for (int signal : kEndingSignals) {
            sigaddset(&unblock, signal);
            ::signal(signal, SIG_DFL);
        }
        pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
        handler();
    });
}

} // namespace platform
