#include "platform/CommandClient.h"

#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/Clock.h"
#include "platform/CommandSocketAddress.h"

namespace platform {

namespace {

// A socket that closes itself.
class ClientFd {
public:
    ClientFd() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {}
    ~ClientFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    ClientFd(const ClientFd&) = delete;
    ClientFd& operator=(const ClientFd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Waits until the socket is ready for `events` or the deadline passes; false then.
bool WaitReady(int fd, short events, uint32_t start, uint32_t timeoutMs) {
    for (;;) {
        const uint32_t passed = TicksElapsed(GetTickCount(), start);
        if (passed >= timeoutMs) return false;
        pollfd watched{fd, events, 0};
        const int n = ::poll(&watched, 1, static_cast<int>(timeoutMs - passed));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return true; // the call that follows tells the error
    }
}

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

bool SocketHolderOf(int fd, SocketHolder& holder) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || length != sizeof credentials)
        return false;
    holder.pid = credentials.pid;
    holder.uid = credentials.uid;
    return true;
}

std::string UserOf(unsigned uid) {
    const std::string number = "uid " + std::to_string(uid);
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return std::string(found->pw_name) + " (" + number + ")";
    return number;
}

std::string Describe(const SocketHolder& holder) {
    return "pid " + std::to_string(holder.pid) + " of user " + UserOf(holder.uid);
}

unsigned OwnUid() {
    return ::geteuid();
}

SocketProbe ProbeCommandSocket(const std::string& path, SocketHolder* holder) {
    ClientFd fd;
    CommandSocketAddress address(path);
    if (fd.Get() < 0 || !address.Valid()) return SocketProbe::Failed;
    if (::connect(fd.Get(), address.Get(), address.Length()) == 0) {
        if (holder) SocketHolderOf(fd.Get(), *holder);
        return SocketProbe::Answers;
    }
    switch (errno) {
    case EAGAIN: // its queue of newcomers is full: it lives (who it is, the system does not tell)
        return SocketProbe::Answers;
    case ECONNREFUSED:
        return SocketProbe::Refused;
    case ENOENT:
        return SocketProbe::Absent;
    default:
        return SocketProbe::Failed;
    }
}

CommandReply AskCommandSocket(const std::string& path, const std::string& request, uint32_t timeoutMs,
                              unsigned uid) {
    CommandReply reply;
    const uint32_t start = GetTickCount();
    ClientFd fd;
    CommandSocketAddress address(path);
    if (fd.Get() < 0) {
        reply.error = ErrnoText("cannot make a socket");
        return reply;
    }
    if (!address.Valid()) {
        reply.error = address.Error();
        return reply;
    }
    // A full queue of newcomers is waited out; nothing listening is told at once, and so is a file in
    // the socket's place (it keeps a station from making its socket there).
    while (::connect(fd.Get(), address.Get(), address.Length()) != 0) {
        if (errno == ENOENT || errno == ECONNREFUSED) {
            struct stat there {};
            const bool inTheWay = ::lstat(path.c_str(), &there) == 0 && !S_ISSOCK(there.st_mode);
            reply.outcome = inTheWay ? CommandReply::Outcome::NotASocket : CommandReply::Outcome::NoListener;
            reply.owner = inTheWay ? there.st_uid : 0;
            return reply;
        }
        if (errno != EAGAIN && errno != EINTR) {
            reply.error = ErrnoText(path);
            return reply;
        }
        if (TicksElapsed(GetTickCount(), start) >= timeoutMs) {
            reply.outcome = CommandReply::Outcome::TimedOut;
            reply.error = "the station takes no newcomer";
            return reply;
        }
        Sleep(10);
    }
    // The command goes only to a station of the user's own: another user may have planted a socket.
    if (!SocketHolderOf(fd.Get(), reply.holder)) {
        reply.error = ErrnoText("cannot tell who listens on " + path);
        return reply;
    }
    if (reply.holder.uid != uid) {
        reply.outcome = CommandReply::Outcome::Foreign;
        return reply;
    }
    const std::string line = request + "\n";
    for (size_t sent = 0; sent < line.size();) {
        const ssize_t n = ::send(fd.Get(), line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n >= 0) {
            sent += static_cast<size_t>(n);
        } else if (errno == EAGAIN) {
            if (!WaitReady(fd.Get(), POLLOUT, start, timeoutMs)) {
                reply.outcome = CommandReply::Outcome::TimedOut;
                reply.error = "the station does not take the command";
                return reply;
            }
        } else if (errno == EPIPE || errno == ECONNRESET) {
            break; // it has answered already (a refusal): read what it said
        } else if (errno != EINTR) {
            reply.error = ErrnoText("cannot send the command");
            return reply;
        }
    }
    for (;;) {
        char buffer[4096];
        const ssize_t n = ::recv(fd.Get(), buffer, sizeof buffer, 0);
        if (n > 0) {
            reply.answer.append(buffer, static_cast<size_t>(n));
            continue;
        }
        // The end of the answer; a reset after it is a server that closed without reading all we sent.
        if (n == 0 || (errno == ECONNRESET && !reply.answer.empty())) {
            reply.outcome = CommandReply::Outcome::Answered;
            return reply;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN) {
            reply.error = ErrnoText("the answer broke off");
            return reply;
        }
        if (!WaitReady(fd.Get(), POLLIN, start, timeoutMs)) {
            reply.outcome = CommandReply::Outcome::TimedOut;
            reply.error = "no answer within " + std::to_string(timeoutMs / 1000) + " s";
            return reply;
        }
    }
}

} // namespace platform
