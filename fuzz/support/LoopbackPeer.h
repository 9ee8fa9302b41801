#pragma once
// The far end of a loopback connection for the fuzz targets that feed a socket of ours: a plain
// non-blocking POSIX socket that sends the input in pieces while the loop runs, then half-closes and
// collects the answer.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <string_view>

#include "platform/EventLoop.h"

namespace fuzzing {

inline sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Takes the next connection of a listening socket, through signals.
inline int AcceptLoopback(int listener) {
    int fd;
    while ((fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) < 0 && errno == EINTR) {
    }
    return fd;
}

// A listening socket on 127.0.0.1 and a free port.
inline int ListenLoopback(uint16_t& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = LoopbackAddress(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 64);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

class LoopbackPeer {
public:
    // Connects to port (-1 on failure), or takes a socket already connected. The connect does not
    // block: libFuzzer's timer signal would stop a blocking one while the kernel goes on to make the
    // connection, and our side would then take a connection the peer no longer holds.
    explicit LoopbackPeer(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in a = LoopbackAddress(port);
        bool started = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ||
                       errno == EINPROGRESS || errno == EINTR;
        if (!started || !AwaitConnected()) {
            ::close(fd_);
            fd_ = -1;
        }
        Prepare();
    }
    struct Adopt {};
    LoopbackPeer(int fd, Adopt) : fd_(fd) { Prepare(); }
    ~LoopbackPeer() {
        if (fd_ >= 0) ::close(fd_);
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;
    bool Ok() const { return fd_ >= 0; }

    // Sends data in pieces of the sizes `piece` gives (at least 1), running the loop between them so
    // that our side reads each piece on its own. False when our side closed before it took it all.
    bool Send(std::string_view data, const std::function<size_t()>& piece) {
        size_t sent = 0;
        while (sent < data.size()) {
            size_t n = std::min(data.size() - sent, std::max<size_t>(1, piece()));
            size_t end = sent + n;
            while (sent < end) {
                ssize_t k = ::send(fd_, data.data() + sent, end - sent, MSG_NOSIGNAL);
                if (k > 0) {
                    sent += static_cast<size_t>(k);
                } else if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    Drain();
                    platform::EventLoop::Get().Turn(true, 10);
                } else {
                    return false;
                }
            }
            Drain();
            platform::EventLoop::Get().Turn(false);
        }
        return true;
    }

    void ShutWrite() { ::shutdown(fd_, SHUT_WR); }

    // Runs the loop until our side closes the connection (true) or limitMs pass (false).
    bool AwaitClose(uint32_t limitMs) {
        return platform::EventLoop::Get().RunUntil([this] { return !Drain(); }, limitMs);
    }

    const std::string& Received() const { return received_; }

private:
    bool AwaitConnected() {
        pollfd p{fd_, POLLOUT, 0};
        int ready;
        while ((ready = ::poll(&p, 1, 5000)) < 0 && errno == EINTR) {
        }
        int error = 0;
        socklen_t length = sizeof error;
        return ready == 1 && ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    void Prepare() {
        if (fd_ < 0) return;
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    // Reads what has arrived; false once the stream ended (or failed).
    bool Drain() {
        if (closed_) return false;
        char buffer[16384];
        for (;;) {
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) {
                received_.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
            closed_ = true;
            return false;
        }
    }

    int fd_ = -1;
    bool closed_ = false;
    std::string received_;
};

} // namespace fuzzing
