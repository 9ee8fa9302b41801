#pragma once
// A program run while the station keeps serving on the loop (a load tool, a client, this benchmark in
// another mode): its standard output, how long it ran and the processor time it used itself.
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

inline ChildRun RunWhileServing(const std::vector<std::string>& argv) {
    auto nowMs = [] { return static_cast<double>(platform::Clock::Get().MicrosecondCount()) / 1000.0; };
    ChildRun run;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return run;
    const double start = nowMs();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ExecArgv(argv);
    }
    ::close(out[1]);
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    bool eof = false;
    platform::EventLoop& loop = platform::EventLoop::Get();
    int watch = loop.WatchFd(out[0], POLLIN, [&](short) {
        char buf[4096];
        for (;;) {
            ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n > 0) {
                run.output.append(buf, static_cast<size_t>(n));
                continue;
            }
            if (n == 0 || errno != EAGAIN) {
                // At its end a pipe stays readable: unwatched, or every turn of the station's waits
                // would wake for it until this pump looks at eof again.
                eof = true;
                loop.UnwatchFd(watch);
            }
            return;
        }
    });
    loop.RunUntil([&] { return eof; }, UINT32_MAX);
    if (!eof) loop.UnwatchFd(watch);
    ::close(out[0]);
    rusage usage{};
    int status = 0;
    ::wait4(pid, &status, 0, &usage);
    run.wallMs = nowMs() - start;
    run.cpuMs = Ms(usage.ru_utime) + Ms(usage.ru_stime);
    return run;
}
