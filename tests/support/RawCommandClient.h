#pragma once
// A client of a command socket for tests in which the server runs on the test's own thread: it never
// blocks, so the test pumps the loop while the answer comes (Answer()), and it can do what the real
// client never does (send bytes that are no text, a line of a megabyte, nothing at all).
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/EventLoop.h"

namespace korvane_test {

class RawCommandClient {
public:
    // Connects at once (a Unix socket that listens takes the connection without the server's turn).
    explicit RawCommandClient(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (!connected_) error_ = std::strerror(errno);
    }
    ~RawCommandClient() { Close(); }
    RawCommandClient(const RawCommandClient&) = delete;
    RawCommandClient& operator=(const RawCommandClient&) = delete;

    bool Connected() const { return connected_; }
    const std::string& Error() const { return error_; }

    // Sends what the socket takes now; the rest goes with later calls of Pump().
    void Send(const std::string& bytes) {
        pending_ += bytes;
        Pump();
    }
    // Ends its sending (the server sees the end of the line).
    void EndSending() {
        endSending_ = true;
        Pump();
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    // Moves bytes both ways as far as the socket lets them now. True when the answer has ended (the
    // server closed).
    bool Pump() {
        if (fd_ < 0) return ended_;
        while (!pending_.empty()) {
            const ssize_t n = ::send(fd_, pending_.data(), pending_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0) {
                if (n < 0 && errno != EAGAIN) pending_.clear(); // the server has closed: it will not read it
                break;
            }
            pending_.erase(0, static_cast<size_t>(n));
            platform::EventLoop::NoteSocketCall();
        }
        if (pending_.empty() && endSending_ && !shutDown_) shutDown_ = ::shutdown(fd_, SHUT_WR) == 0;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                answer_.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n == 0 || errno == ECONNRESET) ended_ = true;
            break;
        }
        return ended_;
    }
    // Pumps the loop until the answer has ended or `limitMs` of the loop's clock have passed; the answer.
    std::string Answer(uint32_t limitMs = 60000) {
        platform::EventLoop::Get().RunUntil([this] { return Pump(); }, limitMs);
        return answer_;
    }
    const std::string& Received() const { return answer_; }
    bool Ended() const { return ended_; }

private:
    int fd_ = -1;
    bool connected_ = false;
    bool endSending_ = false, shutDown_ = false, ended_ = false;
    std::string pending_, answer_, error_;
};

} // namespace korvane_test
