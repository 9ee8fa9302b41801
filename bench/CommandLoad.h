#pragma once
// The load on a station's command socket, run as a child of the command benchmark: commands at a rate (a
// new connection each, never waiting for the one before), connections that never say a word (each
// opened again at once when the station ends it), and a web visitor asking for the start page twice a
// second. It waits for the station's folder to name its web server's port (kPortFile), then runs for its
// seconds and prints one line of figures, each a name followed by its value.
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "station/CommandDesk.h"

namespace command_load {

// The file in the station's folder that holds its web server's port once it serves.
inline constexpr const char* kPortFile = "bench.port";

// Milliseconds, finely, on the machine's clock (the load runs before any clock is installed).
inline double NowMs() {
    return static_cast<double>(platform::Clock::Get().MicrosecondCount()) / 1000.0;
}

inline double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

inline int ConnectUnix(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline int ConnectHttp(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The port in the folder's kPortFile, waited for up to `waitMs`; 0 when none came.
inline uint16_t WaitForPort(const std::string& folder, double waitMs) {
    const double end = NowMs() + waitMs;
    for (;;) {
        std::string text;
        if (platform::ReadWholeFile(folder + "/" + kPortFile, text, platform::FileMode::Binary) &&
            !text.empty())
            return static_cast<uint16_t>(std::atoi(text.c_str()));
        if (NowMs() > end) return 0;
        platform::Sleep(50);
    }
}

class Load {
public:
    Load(const std::string& folder, int rate, int seconds, const std::string& command, int silent)
        : socket_(folder + "/" + TCommandDesk::kSocketName), rate_(rate), seconds_(seconds),
          rotation_(command.empty() || command == "-"
                        ? std::vector<std::string>{"Resethighmark1", "ResetRGaugeWeek", "ClearStatusList"}
                        : std::vector<std::string>{command}),
          silent_(silent) {}

    int Run(uint16_t httpPort) {
        rlimit limit{}; // as many connections as the process may have
        ::getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        const double start = NowMs();
        const double endMs = seconds_ * 1000.0;
        double nextProbe = 0;
        int silentOpen = 0;
        std::vector<pollfd> fds;
        while (MsSince(start) < endMs || Waiting()) {
            const double now = MsSince(start);
            if (now > endMs + 120000) break; // what is left unanswered by then is lost
            if (now < endMs) {
                for (; sent_ < static_cast<long>(now * rate_ / 1000.0); ++sent_)
                    Give(rotation_[static_cast<size_t>(sent_) % rotation_.size()]);
                // The silent ones the station has ended, opened again (a few hundred a turn at most).
                for (int n = 0; silentOpen < silent_ && n < 256; ++n, ++silentOpen)
                    if (!Open(Kind::Silent, ConnectUnix(socket_))) {
                        ++silentRefused_;
                        break;
                    }
                if (now >= nextProbe) {
                    nextProbe += 500;
                    if (!Open(Kind::Probe, ConnectHttp(httpPort))) ++probeFailures_;
                }
            } else {
                for (Pending& p : open_)
                    if (p.kind == Kind::Silent) Close(p); // the load has ended: they go
            }
            fds.clear();
            for (const Pending& p : open_)
                fds.push_back({p.fd, static_cast<short>(p.asking ? POLLOUT : POLLIN), 0});
            ::poll(fds.data(), fds.size(), 1);
            for (size_t i = fds.size(); i-- > 0;) {
                if (!fds[i].revents || Ask(open_[i]) || !Ended(open_[i])) continue;
                silentOpen -= open_[i].kind == Kind::Silent;
                open_.erase(open_.begin() + static_cast<long>(i));
            }
            open_.erase(std::remove_if(open_.begin(), open_.end(), [](const Pending& p) { return p.fd < 0; }),
                        open_.end());
        }
        long lost = 0;
        for (const Pending& p : open_)
            lost += p.kind == Kind::Command;
        std::printf(
            "commands_run_per_s %.0f sent %ld ran %ld busy %ld other %ld refused %ld lost %ld "
            "wait_median_ms %.1f wait_p99_ms %.1f wait_max_ms %.1f silent %d silent_busy %ld "
            "silent_closed %ld silent_refused %ld visitors %zu visitor_failures %ld visitor_max_ms %.1f\n",
            static_cast<double>(ran_) / seconds_, sent_, ran_, busy_, other_, refused_, lost,
            Percentile(waits_, 0.5), Percentile(waits_, 0.99), Percentile(waits_, 1.0), silent_, silentBusy_,
            silentClosed_, silentRefused_, probes_.size(), probeFailures_, Percentile(probes_, 1.0));
        return 0;
    }

private:
    enum class Kind { Command, Silent, Probe };
    struct Pending {
        int fd;
        Kind kind;
        double sent;
        std::string answer;
        bool asking = false; // a visitor still connecting, its request not sent
    };

    static double MsSince(double start) { return NowMs() - start; }

    bool Waiting() const {
        return std::any_of(open_.begin(), open_.end(),
                           [](const Pending& p) { return p.kind != Kind::Silent; });
    }
    bool Open(Kind kind, int fd) {
        if (fd < 0) return false;
        open_.push_back({fd, kind, NowMs(), {}, kind == Kind::Probe});
        return true;
    }
    // A visitor whose connection is set up sends its request; true while it has not been answered.
    static bool Ask(Pending& p) {
        if (!p.asking) return false;
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &error, &length);
        p.asking = false;
        if (error != 0) return false; // ended: Ended counts it
        (void)!::send(p.fd, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
        return true;
    }
    void Give(const std::string& command) {
        const int fd = ConnectUnix(socket_);
        if (fd < 0) {
            ++refused_;
            return;
        }
        const std::string line = command + "\n";
        (void)!::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
        Open(Kind::Command, fd);
    }
    static void Close(Pending& p) {
        ::close(p.fd);
        p.fd = -1;
    }
    // Reads what has come; true when the station has ended the connection, which is then counted.
    bool Ended(Pending& p) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(p.fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            p.answer.append(buffer, static_cast<size_t>(n));
        if (n < 0 && errno == EAGAIN) return false;
        const bool busy = p.answer.rfind("status 1\nthe station is busy", 0) == 0;
        switch (p.kind) {
        case Kind::Probe:
            if (p.answer.rfind("HTTP/1.0 200", 0) == 0)
                probes_.push_back(NowMs() - p.sent);
            else
                ++probeFailures_;
            break;
        case Kind::Silent:
            ++(busy ? silentBusy_ : silentClosed_);
            break;
        case Kind::Command:
            if (p.answer.rfind("status 0\n", 0) == 0) {
                ++ran_;
                waits_.push_back(NowMs() - p.sent);
            } else {
                ++(busy ? busy_ : other_);
            }
            break;
        }
        Close(p);
        return true;
    }

    std::string socket_;
    int rate_, seconds_;
    std::vector<std::string> rotation_;
    int silent_;
    std::vector<Pending> open_;
    std::vector<double> waits_, probes_;
    long sent_ = 0, ran_ = 0, busy_ = 0, other_ = 0, refused_ = 0, probeFailures_ = 0;
    long silentBusy_ = 0, silentClosed_ = 0, silentRefused_ = 0;
};

} // namespace command_load
