#pragma once
// Peers on 127.0.0.1 for the benchmarks that run a publishing station for days: the test peers of
// tests/peers (Python, in a process of their own) with their output read and dropped, so that the
// benchmark's memory measures the station alone, and an APRS-IS server on the station's own loop.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/EventLoop.h"

namespace bench {

// A script of tests/peers on /usr/bin/python3 that prints "PORT <n>" once it listens on 127.0.0.1; its
// further output is read by the loop and dropped. Ended (SIGTERM) with the object.
class PeerProgram {
public:
    explicit PeerProgram(const std::vector<std::string>& args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 2);
            std::vector<char*> argv;
            std::string python = "/usr/bin/python3";
            argv.push_back(python.data());
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
        std::string line; // its first line comes before the station starts: read it blocking
        char c;
        while (line.size() < 64 && ::read(out_, &c, 1) == 1 && c != '\n')
            line += c;
        if (line.rfind("PORT ", 0) == 0) port_ = std::atoi(line.c_str() + 5);
        ::fcntl(out_, F_SETFL, O_NONBLOCK);
        watch_ = platform::EventLoop::Get().WatchFd(out_, POLLIN, [this](short) {
            char buffer[4096];
            while (::read(out_, buffer, sizeof buffer) > 0) {
            }
        });
    }
    ~PeerProgram() {
        if (watch_ != 0) platform::EventLoop::Get().UnwatchFd(watch_);
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    PeerProgram(const PeerProgram&) = delete;
    PeerProgram& operator=(const PeerProgram&) = delete;
    // 0 when it did not start.
    int Port() const { return port_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int watch_ = 0;
    int port_ = 0;
};

// An APRS-IS server on the loop: one connection at a time; each packet line is counted and echoed (the
// network's servers echo nothing to the sender; the echo brings the success line the benchmark counts).
class AprsSink {
public:
    AprsSink() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        listenWatch_ = platform::EventLoop::Get().WatchFd(listener_, POLLIN, [this](short) { Accept(); });
    }
    ~AprsSink() {
        CloseClient();
        if (listenWatch_ != 0) platform::EventLoop::Get().UnwatchFd(listenWatch_);
        if (listener_ >= 0) ::close(listener_);
    }
    AprsSink(const AprsSink&) = delete;
    AprsSink& operator=(const AprsSink&) = delete;
    int Port() const { return port_; }
    long Packets() const { return packets_; }

private:
    void Accept() {
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        CloseClient();
        client_ = fd;
        pending_.clear();
        clientWatch_ = platform::EventLoop::Get().WatchFd(client_, POLLIN, [this](short) { Read(); });
    }
    void Read() {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(client_, buffer, sizeof buffer)) > 0)
            pending_.append(buffer, static_cast<size_t>(n));
        for (size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
            std::string line = pending_.substr(0, end + 1);
            pending_.erase(0, end + 1);
            if (line.find(">APRS,") == std::string::npos) continue;
            ++packets_;
            (void)!::write(client_, line.data(), line.size());
        }
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) CloseClient();
    }
    void CloseClient() {
        if (client_ < 0) return;
        platform::EventLoop::Get().UnwatchFd(clientWatch_, true);
        ::close(client_);
        client_ = -1;
        clientWatch_ = 0;
    }

    int listener_ = -1, client_ = -1;
    int listenWatch_ = 0, clientWatch_ = 0;
    int port_ = 0;
    long packets_ = 0;
    std::string pending_;
};

} // namespace bench
