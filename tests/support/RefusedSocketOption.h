#pragma once
// A system that refuses a socket option, made by the kernel: a seccomp filter that fails every
// setsockopt of that level and name with the error given, as a kernel without the option would. A
// filter cannot be lifted, so it is installed only in a child process (InChild), which reports back in
// text.
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

namespace korvane_test {

#if defined(__x86_64__)
inline constexpr uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
inline constexpr uint32_t kAuditArch = AUDIT_ARCH_AARCH64;
#endif

// From now on, in this process, setsockopt(level, name) fails with `error`; every other call passes.
// False when the system would not install the filter.
inline bool RefuseSocketOption(int level, int name, int error) {
    const auto word = [](size_t offset) {
        return sock_filter{BPF_LD | BPF_W | BPF_ABS, 0, 0, static_cast<uint32_t>(offset)};
    };
    sock_filter program[] = {
        word(offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 0, 7),
        word(offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_setsockopt, 0, 5),
        word(offsetof(seccomp_data, args[1])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(level), 0, 3),
        word(offsetof(seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(name), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<uint32_t>(error) & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog filter{static_cast<unsigned short>(sizeof program / sizeof program[0]), program};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

// Runs `work` in a child process and returns what it returned; "child did not report" when it ended
// without a word or did not end within `limitMs` (it is killed then).
inline std::string InChild(const std::function<std::string()>& work, int limitMs = 60000) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        const std::string report = work();
        if (std::FILE* pipe = ::fdopen(out[1], "w")) {
            std::fwrite(report.data(), 1, report.size(), pipe);
            std::fclose(pipe);
        }
        ::_exit(0);
    }
    ::close(out[1]);
    std::string report;
    pollfd wait{out[0], POLLIN, 0};
    char buffer[4096];
    while (child > 0 && ::poll(&wait, 1, limitMs) > 0) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        report.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    return report.empty() ? "child did not report" : report;
}

} // namespace korvane_test
