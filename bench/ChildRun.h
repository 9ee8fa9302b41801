#pragma once
// Programs run while the station keeps serving on the loop (a load tool, a client, this benchmark in
// another mode): their standard output, how long each ran and the processor time it used itself.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "tests/support/ExecArgv.h"

struct ChildRun {
    std::string output;
    double wallMs = 0, cpuMs = 0;
};

inline double Ms(const timeval& t) {
    return t.tv_sec * 1000.0 + t.tv_usec / 1000.0;
}

// A program started, its standard output on a pipe: FinishWhileServing collects it.
struct StartedChild {
    pid_t pid = -1;
    int out = -1;
    double startMs = 0;
};

inline double ChildNowMs() {
    return static_cast<double>(platform::Clock::Get().MicrosecondCount()) / 1000.0;
}

inline StartedChild StartChild(const std::vector<std::string>& argv) {
    StartedChild child;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return child;
    child.startMs = ChildNowMs();
    child.pid = ::fork();
    if (child.pid == 0) {
        ::dup2(out[1], 1);
        ExecArgv(argv);
    }
    ::close(out[1]);
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    child.out = out[0];
    return child;
}

// Serves on the loop until every child has ended; what each printed, in their order.
inline std::vector<ChildRun> FinishWhileServing(const std::vector<StartedChild>& children) {
    std::vector<ChildRun> runs(children.size());
    std::vector<int> watches(children.size(), 0);
    size_t open = 0;
    platform::EventLoop& loop = platform::EventLoop::Get();
    for (size_t i = 0; i < children.size(); ++i) {
        if (children[i].out < 0) continue;
        ++open;
        watches[i] = loop.WatchFd(children[i].out, POLLIN, [&, i](short) {
            char buf[4096];
            for (;;) {
                ssize_t n = ::read(children[i].out, buf, sizeof buf);
                if (n > 0) {
                    runs[i].output.append(buf, static_cast<size_t>(n));
                    continue;
                }
                if (n == 0 || errno != EAGAIN) {
                    // At its end a pipe stays readable: unwatched, or every turn of the station's waits
                    // would wake for it until this pump looks at its end again.
                    loop.UnwatchFd(watches[i]);
                    watches[i] = 0;
                    --open;
                }
                return;
            }
        });
    }
    loop.RunUntil([&] { return open == 0; }, UINT32_MAX);
    for (size_t i = 0; i < children.size(); ++i) {
        if (children[i].out < 0) continue;
        if (watches[i] != 0) loop.UnwatchFd(watches[i]);
        ::close(children[i].out);
        rusage usage{};
        int status = 0;
        ::wait4(children[i].pid, &status, 0, &usage);
        runs[i].wallMs = ChildNowMs() - children[i].startMs;
        runs[i].cpuMs = Ms(usage.ru_utime) + Ms(usage.ru_stime);
    }
    return runs;
}

inline ChildRun RunWhileServing(const std::vector<std::string>& argv) {
    return FinishWhileServing({StartChild(argv)}).front();
}
