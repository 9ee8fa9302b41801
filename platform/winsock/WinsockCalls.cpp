// The socket calls: POSIX calls with Winsock results. Every socket is close-on-exec, sends never raise
// SIGPIPE, and each call that Winsock counts as re-enabling a notification tells the emulation.
#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/EventLoop.h"
#include "platform/winsock/AsyncSelect.h"
#include "platform/winsock/Winsock.h"

namespace platform::winsock {

namespace {

int startups = 0;

void IgnoreSigpipe() {
    static bool done = [] {
        ::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)done;
}

// A call that can make a socket ready for its peer, here or in this process: the event loop hears it at
// its next wait.
void Stirred() {
    EventLoop::NoteSocketCall();
}

// Records errno as the last error and returns SOCKET_ERROR.
int Fail() {
    WSASetLastError(WSAErrorFromErrno(errno));
    return SOCKET_ERROR;
}

int Check(int result) {
    if (result < 0) return Fail();
    return result;
}

} // namespace

int WSAStartup(uint16_t versionRequested, WSAData* data) {
    IgnoreSigpipe();
    if ((versionRequested & 0xFF) < 1) return WSAVERNOTSUPPORTED;
    ++startups;
    if (data != nullptr) {
        *data = WSAData{};
        data->szDescription = "Korvane sockets over POSIX";
        data->szSystemStatus = "Running";
        data->iMaxSockets = 1024;
        data->iMaxUdpDg = 65507;
    }
    return 0;
}

int WSACleanup() {
    if (startups == 0) {
        WSASetLastError(WSANOTINITIALISED);
        return SOCKET_ERROR;
    }
    --startups;
    return 0;
}

int WSAAsyncSelect(SOCKET s, HWND window, uint32_t msg, long mask) {
    return select::Arm(s, window, msg, mask);
}

SOCKET socket(int af, int type, int protocol) {
    IgnoreSigpipe();
    int fd = ::socket(af, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        Fail();
        return INVALID_SOCKET;
    }
    return fd;
}

int shutdown(SOCKET s, int how) {
    Stirred();
    if (::shutdown(s, how) != 0) return Fail();
    if (how == SD_SEND || how == SD_BOTH) select::SendShut(s);
    return 0;
}

int setsockopt(SOCKET s, int level, int optname, const void* optval, int optlen) {
    return Check(::setsockopt(s, level, optname, optval, static_cast<socklen_t>(optlen)));
}

int getsockopt(SOCKET s, int level, int optname, void* optval, int* optlen) {
    socklen_t len = optlen != nullptr ? static_cast<socklen_t>(*optlen) : 0;
    if (::getsockopt(s, level, optname, optval, &len) != 0) return Fail();
    if (optlen != nullptr) *optlen = static_cast<int>(len);
    return 0;
}

std::optional<TcpFigures> GetTcpFigures(SOCKET s) {
    tcp_info info{};
    socklen_t filled = sizeof info;
    if (::getsockopt(s, IPPROTO_TCP, TCP_INFO, &info, &filled) != 0) return std::nullopt;
    auto covers = [&](size_t offset, size_t size) { return filled >= offset + size; };
    TcpFigures figures;
    if (covers(offsetof(tcp_info, tcpi_last_data_recv), sizeof info.tcpi_last_data_recv))
        figures.MsSinceDataIn = info.tcpi_last_data_recv;
    if (covers(offsetof(tcp_info, tcpi_bytes_acked), sizeof info.tcpi_bytes_acked))
        figures.BytesAcked = info.tcpi_bytes_acked;
    if (covers(offsetof(tcp_info, tcpi_snd_wnd), sizeof info.tcpi_snd_wnd))
        figures.PeerWindow = info.tcpi_snd_wnd;
    return figures;
}

int QuietForMs(SOCKET s) {
    const auto figures = GetTcpFigures(s);
    if (!figures || !figures->MsSinceDataIn) return -1;
    return static_cast<int>(std::min<uint32_t>(*figures->MsSinceDataIn, INT32_MAX));
}

namespace {
int SendFailed(SOCKET s) {
    int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK) select::SendBlocked(s);
    if (err == EPIPE && select::IsSendShut(s)) {
        WSASetLastError(WSAESHUTDOWN);
        return SOCKET_ERROR;
    }
    WSASetLastError(WSAErrorFromErrno(err));
    return SOCKET_ERROR;
}
} // namespace

int sendto(SOCKET s, const void* buf, int len, int flags, const sockaddr* to, int tolen) {
    Stirred();
    ssize_t n =
        ::sendto(s, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL, to, static_cast<socklen_t>(tolen));
    return n < 0 ? SendFailed(s) : static_cast<int>(n);
}

int send(SOCKET s, const void* buf, int len, int flags) {
    Stirred();
    ssize_t n = ::send(s, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL);
    return n < 0 ? SendFailed(s) : static_cast<int>(n);
}

uint16_t ntohs(uint16_t v) {
    return ::ntohs(v);
}
uint32_t ntohl(uint32_t v) {
    return ::ntohl(v);
}
uint16_t htons(uint16_t v) {
    return ::htons(v);
}
uint32_t htonl(uint32_t v) {
    return ::htonl(v);
}

int listen(SOCKET s, int backlog) {
    if (::listen(s, backlog) != 0) return Fail();
    select::Listening(s);
    return 0;
}

int ioctlsocket(SOCKET s, unsigned long cmd, unsigned long* argp) {
    if (argp == nullptr) {
        WSASetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    if (cmd == FIONREAD) {
        int n = 0;
        if (::ioctl(s, FIONREAD, &n) != 0) return Fail();
        *argp = static_cast<unsigned long>(n);
        return 0;
    }
    if (cmd == FIONBIO) {
        int flags = ::fcntl(s, F_GETFL);
        if (flags < 0) return Fail();
        flags = *argp ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
        return ::fcntl(s, F_SETFL, flags) == 0 ? 0 : Fail();
    }
    WSASetLastError(WSAEINVAL);
    return SOCKET_ERROR;
}

const char* inet_ntoa(in_addr in) {
    thread_local char text[INET_ADDRSTRLEN];
    return ::inet_ntop(AF_INET, &in, text, sizeof text);
}

uint32_t inet_addr(const char* cp) {
    return cp == nullptr ? INADDR_NONE : ::inet_addr(cp);
}

int getsockname(SOCKET s, sockaddr* name, int* namelen) {
    socklen_t len = static_cast<socklen_t>(*namelen);
    if (::getsockname(s, name, &len) != 0) return Fail();
    *namelen = static_cast<int>(len);
    return 0;
}

int getpeername(SOCKET s, sockaddr* name, int* namelen) {
    socklen_t len = static_cast<socklen_t>(*namelen);
    if (::getpeername(s, name, &len) != 0) return Fail();
    *namelen = static_cast<int>(len);
    return 0;
}

int connect(SOCKET s, const sockaddr* name, int namelen) {
    Stirred();
    int r = ::connect(s, name, static_cast<socklen_t>(namelen));
    int err = errno;
    if (r == 0 || err == EINPROGRESS) {
        select::ConnectStarted(s); // FD_CONNECT follows either way
    } else if ((err == ECONNREFUSED || err == ENETUNREACH || err == EHOSTUNREACH || err == ETIMEDOUT) &&
               select::ConnectFailed(s, WSAErrorFromErrno(err))) {
        // Loopback refuses at once; a non-blocking Winsock connect reports that through FD_CONNECT.
        WSASetLastError(WSAEWOULDBLOCK);
        return SOCKET_ERROR;
    }
    if (r != 0) {
        WSASetLastError(WSAErrorFromErrno(err));
        return SOCKET_ERROR;
    }
    return 0;
}

int closesocket(SOCKET s) {
    Stirred();
    // Linux releases the descriptor whatever close() reports: close exactly once.
    select::Forget(s);
    if (::close(s) != 0 && errno == EBADF) {
        WSASetLastError(WSAENOTSOCK);
        return SOCKET_ERROR;
    }
    return 0;
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
    return Check(::bind(s, name, static_cast<socklen_t>(namelen)));
}

SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) {
    Stirred();
    socklen_t len = addrlen != nullptr ? static_cast<socklen_t>(*addrlen) : 0;
    int fd = ::accept4(s, addr, addrlen != nullptr ? &len : nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    int err = errno;
    select::AcceptDone(s, fd < 0 && (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM));
    if (fd < 0) {
        WSASetLastError(WSAErrorFromErrno(err));
        return INVALID_SOCKET;
    }
    if (addrlen != nullptr) *addrlen = static_cast<int>(len);
    select::Accepted(fd);
    return fd;
}

int recv(SOCKET s, void* buf, int len, int flags) {
    Stirred();
    if (len == 0 && !(flags & MSG_PEEK)) {
        // A zero-byte read asks "is the connection still open": 0 at its end, "would block" otherwise.
        char probe;
        ssize_t n = ::recv(s, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        select::ReadDone(s);
        if (n == 0) return 0;
        if (n > 0) {
            WSASetLastError(WSAEWOULDBLOCK);
            return SOCKET_ERROR;
        }
        return Fail();
    }
    ssize_t n = ::recv(s, buf, static_cast<size_t>(len), flags);
    int err = errno;
    select::ReadDone(s);
    if (n < 0) {
        WSASetLastError(WSAErrorFromErrno(err));
        return SOCKET_ERROR;
    }
    return static_cast<int>(n);
}

int recvfrom(SOCKET s, void* buf, int len, int flags, sockaddr* from, int* fromlen) {
    Stirred();
    socklen_t flen = fromlen != nullptr ? static_cast<socklen_t>(*fromlen) : 0;
    ssize_t n =
        ::recvfrom(s, buf, static_cast<size_t>(len), flags, from, fromlen != nullptr ? &flen : nullptr);
    int err = errno;
    select::ReadDone(s);
    if (n < 0) {
        WSASetLastError(WSAErrorFromErrno(err));
        return SOCKET_ERROR;
    }
    if (fromlen != nullptr) *fromlen = static_cast<int>(flen);
    return static_cast<int>(n);
}

} // namespace platform::winsock
