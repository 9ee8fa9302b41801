#pragma once
// A Winsock 1.1 style socket API over POSIX sockets. Calls keep their Winsock meaning: failures return
// SOCKET_ERROR (or a null pointer) and leave a WSAE code for WSAGetLastError; WSAAsyncSelect turns
// descriptor readiness into posted messages on the one event loop, with Winsock's re-enabling rules.
// Name lookups that Winsock makes asynchronous run on a worker thread and post their completion.
#include <linux/tcp.h> // the kernel's tcp_info, which the C library's copy cuts short
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/EventLoop.h"

// The C library may define the byte-order calls as macros; the declarations below need the names.
#undef htons
#undef htonl
#undef ntohs
#undef ntohl

namespace platform::winsock {

using SOCKET = int;
using HANDLE = uintptr_t; // an asynchronous request; 0 means "not started"
inline constexpr SOCKET INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;

// Select events (WSAAsyncSelect masks and the low word of a select reply).
inline constexpr long FD_READ = 1;
inline constexpr long FD_WRITE = 2;
inline constexpr long FD_OOB = 4;
inline constexpr long FD_ACCEPT = 8;
inline constexpr long FD_CONNECT = 16;
inline constexpr long FD_CLOSE = 32;

// A select or lookup reply: event (or zero) in the low word, error in the high word.
inline LPARAM WSAMAKESELECTREPLY(unsigned event, unsigned error) {
    return static_cast<LPARAM>((event & 0xFFFFu) | ((error & 0xFFFFu) << 16));
}
inline unsigned WSAGETSELECTEVENT(LPARAM l) {
    return static_cast<unsigned>(l) & 0xFFFFu;
}
inline unsigned WSAGETSELECTERROR(LPARAM l) {
    return (static_cast<unsigned>(l) >> 16) & 0xFFFFu;
}

// Error codes.
inline constexpr int WSABASEERR = 10000;
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEPROCLIM = 10067;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

inline constexpr int SD_RECEIVE = 0;
inline constexpr int SD_SEND = 1;
inline constexpr int SD_BOTH = 2;

struct WSAData {
    uint16_t wVersion = 0x0101;
    uint16_t wHighVersion = 0x0101;
    std::string szDescription;
    std::string szSystemStatus;
    uint16_t iMaxSockets = 0;
    uint16_t iMaxUdpDg = 0;
};

// errno (or a getaddrinfo code) to the WSAE code Winsock reports for the same condition.
int WSAErrorFromErrno(int err);
int WSAErrorFromGai(int gaiCode, int err);

int WSAStartup(uint16_t versionRequested, WSAData* data);
int WSACleanup();
void WSASetLastError(int error);
int WSAGetLastError();

// Notifications: (socket, event | error << 16) posted to window with number msg. Mask 0 disarms.
int WSAAsyncSelect(SOCKET s, HWND window, uint32_t msg, long mask);

// Asynchronous lookups. Completion posts (window, msg, handle, error << 16); the result is then taken
// with WSAGetAsyncResult. A cancelled request never posts.
HANDLE WSAAsyncGetHostByName(HWND window, uint32_t msg, const char* name, char* buf, int buflen);
HANDLE WSAAsyncGetHostByAddr(HWND window, uint32_t msg, const char* addr, int len, int type, char* buf,
                             int buflen);
int WSACancelAsyncRequest(HANDLE request);
struct AsyncHostResult {
    std::string name;               // the reverse lookup's host name
    std::vector<in_addr> addresses; // the forward lookup's IPv4 addresses
};
// Moves out the result of a completed request; false when the handle is unknown.
bool WSAGetAsyncResult(HANDLE request, AsyncHostResult& result);

// The name service under every forward lookup (the worker lookups, gethostbyname and the host cache):
// fills the IPv4 addresses of a name and returns 0, or returns a WSAE code. It runs on whatever thread
// asks, and may take as long as the network does. A test installs its own; null restores the system's.
using NameResolver = std::function<int(const std::string& name, std::vector<in_addr>& addresses)>;
void SetNameResolver(NameResolver resolver);
int ResolveName(const std::string& name, std::vector<in_addr>& addresses);

// The host cache of the sockets' own names (a Connect or a datagram by name): asking never waits.
// A name not known yet is looked up on a worker thread, one lookup per name however many ask; the
// answer is kept for kHostLifetimeMs and then looked up again in the background while the old one
// goes on being used. A failed lookup is tried again after kHostRetryMs, its failure answered
// meanwhile. A first lookup that has not ended after kHostPatienceMs is answered as failed
// (WSAETIMEDOUT) until it ends. "localhost" is 127.0.0.1 without a lookup. Loop's thread only.
inline constexpr uint32_t kHostLifetimeMs = 10 * 60 * 1000;
inline constexpr uint32_t kHostRetryMs = 60 * 1000;
inline constexpr uint32_t kHostPatienceMs = 20 * 1000;
enum class HostState { Known, Pending, Failed };
struct HostAnswer {
    HostState state = HostState::Pending;
    std::vector<in_addr> addresses; // Known: at least one
    int error = 0;                  // Failed: the WSAE code
};
// When the answer is Pending and window is not 0, (window, msg, wParam, 0) is posted once the lookup
// has ended; ask again then.
HostAnswer LookupHost(const std::string& name, HWND window = 0, uint32_t msg = 0, WPARAM wParam = 0);
// Forgets every answer (a lookup still running is ignored when it ends).
void ClearHostCache();

// The database calls return per-thread storage that stays valid until the next call of the same kind.
servent* getservbyname(const char* name, const char* proto);
protoent* getprotobyname(const char* name);
hostent* gethostbyname(const char* name);
hostent* gethostbyaddr(const char* addr, int len, int type);
int gethostname(char* name, int namelen);

SOCKET socket(int af, int type, int protocol);
int shutdown(SOCKET s, int how);
int setsockopt(SOCKET s, int level, int optname, const void* optval, int optlen);
int getsockopt(SOCKET s, int level, int optname, void* optval, int* optlen);
int sendto(SOCKET s, const void* buf, int len, int flags, const sockaddr* to, int tolen);
int send(SOCKET s, const void* buf, int len, int flags);
uint16_t ntohs(uint16_t v);
uint32_t ntohl(uint32_t v);
int listen(SOCKET s, int backlog);
// FIONREAD (bytes waiting; the first datagram's size for UDP) and FIONBIO.
int ioctlsocket(SOCKET s, unsigned long cmd, unsigned long* argp);
const char* inet_ntoa(in_addr in);
uint32_t inet_addr(const char* cp);
uint16_t htons(uint16_t v);
uint32_t htonl(uint32_t v);
int getsockname(SOCKET s, sockaddr* name, int* namelen);
int getpeername(SOCKET s, sockaddr* name, int* namelen);
int connect(SOCKET s, const sockaddr* name, int namelen);
int closesocket(SOCKET s);
int bind(SOCKET s, const sockaddr* name, int namelen);
SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen);
int recv(SOCKET s, void* buf, int len, int flags);
int recvfrom(SOCKET s, void* buf, int len, int flags, sockaddr* from, int* fromlen);

// What the system tells of a connected TCP socket (TCP_INFO). The kernel's record grows at its end from
// version to version: a figure is there only when the length the kernel filled covers it.
struct TcpFigures {
    std::optional<uint32_t> MsSinceDataIn; // as QuietForMs
    std::optional<uint64_t> BytesAcked;    // by the peer
    std::optional<uint32_t> PeerWindow;    // the receive window the peer last advertised
};
// Empty when the system does not tell (not a connected TCP socket).
std::optional<TcpFigures> GetTcpFigures(SOCKET s);

// How long ago data last arrived on a connected TCP socket or, when none has, how long ago it was
// connected, in ms: the system's count, so a connection's wait in the listen backlog before its
// accept is in it. -1 when the system cannot tell.
int QuietForMs(SOCKET s);

// The entry points by name, as a loaded library would give them; null for an unknown name.
void* GetEntryPoint(const std::string& name);

} // namespace platform::winsock
