#pragma once
// Loopback helpers of the socket tests: a real clock and a clean loop per test, raw POSIX peers, and
// external client programs run while the loop keeps serving.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/winsock/Winsock.h"
#include "support/ExecArgv.h"

namespace net_test {

class LoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        oldClock_ = platform::Clock::Install(std::make_shared<platform::RealClock>());
        platform::EventLoop::Get().Reset();
    }
    void TearDown() override {
        platform::EventLoop::Get().Reset();
        platform::Clock::Install(oldClock_);
    }
    static bool RunUntil(const std::function<bool()>& pred, uint32_t limitMs = 5000) {
        return platform::EventLoop::Get().RunUntil(pred, limitMs);
    }
    static void RunFor(uint32_t ms) { platform::EventLoop::Get().RunFor(ms); }

private:
    std::shared_ptr<platform::Clock> oldClock_;
};

// A name service of the test's own whose server does not answer: every lookup waits until Answer()
// (or the end of the object), then names that begin with "loopback" are 127.0.0.1 and the rest are
// not found. A lookup made on the test's own thread (the loop's), which the station must never make,
// does what the C library does with such a server: it gives up after `giveUpMs` of the installed
// clock (WSATRY_AGAIN), so that code that waits for names slows down instead of hanging. Lookups are
// counted by name: a worker left by an earlier test may still ask for its own.
class HeldResolver {
public:
    explicit HeldResolver(uint32_t giveUpMs = 10000) : state_(std::make_shared<State>()) {
        state_->loop = std::this_thread::get_id();
        state_->giveUpMs = giveUpMs;
        platform::winsock::ClearHostCache();
        platform::winsock::SetNameResolver(
            [state = state_](const std::string& name, std::vector<in_addr>& out) {
                std::unique_lock lock(state->mutex);
                ++state->lookups[name];
                if (std::this_thread::get_id() == state->loop) {
                    lock.unlock();
                    platform::Clock::Get().Sleep(state->giveUpMs);
                    return platform::winsock::WSATRY_AGAIN;
                }
                state->wake.wait(lock, [&] { return state->open; });
                if (name.rfind("loopback", 0) != 0) return platform::winsock::WSAHOST_NOT_FOUND;
                out.push_back(in_addr{htonl(INADDR_LOOPBACK)});
                return 0;
            });
    }
    ~HeldResolver() {
        platform::winsock::SetNameResolver(nullptr);
        Answer();
        platform::winsock::ClearHostCache();
    }
    HeldResolver(const HeldResolver&) = delete;
    HeldResolver& operator=(const HeldResolver&) = delete;

    void Answer() {
        std::lock_guard lock(state_->mutex);
        state_->open = true;
        state_->wake.notify_all();
    }
    int Lookups(const std::string& name) const {
        std::lock_guard lock(state_->mutex);
        auto it = state_->lookups.find(name);
        return it == state_->lookups.end() ? 0 : it->second;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        bool open = false;
        std::map<std::string, int> lookups;
        std::thread::id loop;
        uint32_t giveUpMs = 0;
    };
    std::shared_ptr<State> state_;
};

inline sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A raw listening socket on 127.0.0.1 and an ephemeral port.
inline int RawListen(uint16_t& port, int type = SOCK_STREAM) {
    int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (type == SOCK_STREAM) ::listen(fd, 16);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// A port on which nothing listens (bound, then released).
inline uint16_t FreePort() {
    uint16_t port = 0;
    ::close(RawListen(port));
    return port;
}

inline int RawConnect(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); // tests read it without blocking the loop
    return fd;
}

// The deferral the system keeps for a listening socket's silent connections, in seconds as it rounds
// them (0: each is queued as soon as its handshake ends); -1 when it does not tell.
inline int DeferAcceptSeconds(int listener) {
    int seconds = 0;
    socklen_t size = sizeof seconds;
    return ::getsockopt(listener, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, &size) == 0 ? seconds : -1;
}

inline void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Reads what is waiting without blocking; false at end of stream or on an error.
inline bool DrainInto(int fd, std::string& out) {
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf); // sockets and pipes alike (set non-blocking)
        if (n > 0) {
            out.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n == 0) return false;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

// True when the program is on PATH.
inline bool HavePeer(const std::string& program) {
    std::string command = "command -v " + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// A test needs its peer: a missing one fails it (scripts/install-deps installs them).
#define REQUIRE_PEER(program)                                                                                \
    do {                                                                                                     \
        if (!net_test::HavePeer(program)) FAIL() << program << " is missing (run scripts/install-deps)";     \
    } while (0)

// Runs the loop until something accepts on 127.0.0.1:port.
inline bool AwaitListener(uint16_t port, uint32_t limitMs = 5000) {
    return platform::EventLoop::Get().RunUntil(
        [&] {
            int fd = RawConnect(port);
            if (fd >= 0) ::close(fd);
            return fd >= 0;
        },
        limitMs);
}

// Hex text back to bytes.
inline std::string Unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// The requests a scripted peer (tests/peers/http_peer.py) printed as "REQUEST <hex>" lines, as raw bytes.
inline std::vector<std::string> RecordedRequests(const std::string& output) {
    std::vector<std::string> all;
    for (size_t at = output.find("REQUEST "); at != std::string::npos; at = output.find("REQUEST ", at + 1))
        all.push_back(Unhex(output.substr(at + 8, output.find('\n', at) - at - 8)));
    return all;
}

// An external program run while the loop keeps serving; its standard output is collected.
class PeerProcess {
public:
    explicit PeerProcess(const std::vector<std::string>& argv, const std::string& input = {}) {
        int out[2], in[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 2);
            ExecArgv(argv);
        }
        ::close(out[1]);
        ::close(in[0]);
        out_ = out[0];
        SetNonBlocking(out_);
        // The end of its output wakes the loop, so a wait on Done() does not sleep to its limit.
        watch_ = platform::EventLoop::Get().WatchFd(out_, POLLIN, [this](short) {
            if (!DrainInto(out_, output_)) {
                eof_ = true;
                platform::EventLoop::Get().UnwatchFd(watch_);
                watch_ = 0;
            }
        });
        if (!input.empty()) {
            ssize_t w = ::write(in[1], input.data(), input.size());
            (void)w;
        }
        ::close(in[1]);
    }
    ~PeerProcess() {
        if (watch_ != 0) platform::EventLoop::Get().UnwatchFd(watch_);
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    // Collects output; true once the program has ended (its output closed and the process reaped).
    bool Done() {
        if (!eof_ && out_ >= 0 && !DrainInto(out_, output_)) eof_ = true;
        if (eof_ && !exited_ && pid_ > 0) {
            ::waitpid(pid_, &status_, 0);
            exited_ = true;
        }
        return exited_;
    }
    int ExitCode() const { return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    const std::string& Output() const { return output_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int watch_ = 0;
    int status_ = 0;
    bool exited_ = false;
    bool eof_ = false;
    std::string output_;
};

} // namespace net_test
