#pragma once
// Loading the socket library by name, its entry points fetched on first use, the name/port/protocol
// resolution of Connect and Listen, blocking lookup helpers and the error-description table.
#include <cstdint>
#include <string>

#include "platform/Exceptions.h"
#include "platform/StringList.h"
#include "platform/winsock/Winsock.h"

namespace net {

namespace ws = platform::winsock;
using ws::SOCKET;

using platform::Exception;
KORVANE_EXCEPTION_CLASS(ESocketException, Exception)

inline constexpr const char* kWinsockLibrary = "wsock32.dll";

// Entry point by name; loads the library first when needed. An empty name only loads (null result).
void* WSocketGetProc(const std::string& name);
void WSocketForceLoadWinsock();
void WSocketCancelForceLoadWinsock();
void WSocketUnloadWinsock();
ws::WSAData WinsockInfo();
bool WSocketLoaded();
// The live-socket count that keeps the library loaded (one per socket object).
void WSocketAddSocket();
void WSocketRemoveSocket();

// One wrapper per entry point, fetched and cached on first call.
int WSocket_WSAStartup(uint16_t version, ws::WSAData* data);
int WSocket_WSACleanup();
void WSocket_WSASetLastError(int error);
int WSocket_WSAGetLastError();
int WSocket_WSACancelAsyncRequest(ws::HANDLE request);
ws::HANDLE WSocket_WSAAsyncGetHostByName(platform::HWND window, uint32_t msg, const char* name, char* buf,
                                         int buflen);
ws::HANDLE WSocket_WSAAsyncGetHostByAddr(platform::HWND window, uint32_t msg, const char* addr, int len,
                                         int type, char* buf, int buflen);
int WSocket_WSAAsyncSelect(SOCKET s, platform::HWND window, uint32_t msg, long mask);
servent* WSocket_getservbyname(const char* name, const char* proto);
protoent* WSocket_getprotobyname(const char* name);
hostent* WSocket_gethostbyname(const char* name);
hostent* WSocket_gethostbyaddr(const char* addr, int len, int type);
int WSocket_gethostname(char* name, int namelen);
SOCKET WSocket_socket(int af, int type, int protocol);
int WSocket_shutdown(SOCKET s, int how);
int WSocket_setsockopt(SOCKET s, int level, int optname, const void* optval, int optlen);
int WSocket_getsockopt(SOCKET s, int level, int optname, void* optval, int* optlen);
int WSocket_sendto(SOCKET s, const void* buf, int len, int flags, const sockaddr* to, int tolen);
int WSocket_send(SOCKET s, const void* buf, int len, int flags);
uint16_t WSocket_ntohs(uint16_t v);
uint32_t WSocket_ntohl(uint32_t v);
int WSocket_listen(SOCKET s, int backlog);
int WSocket_ioctlsocket(SOCKET s, unsigned long cmd, unsigned long* argp);
const char* WSocket_inet_ntoa(in_addr in);
uint32_t WSocket_inet_addr(const char* cp);
uint16_t WSocket_htons(uint16_t v);
uint32_t WSocket_htonl(uint32_t v);
int WSocket_getsockname(SOCKET s, sockaddr* name, int* namelen);
int WSocket_getpeername(SOCKET s, sockaddr* name, int* namelen);
int WSocket_connect(SOCKET s, const sockaddr* name, int namelen);
int WSocket_closesocket(SOCKET s);
int WSocket_bind(SOCKET s, const sockaddr* name, int namelen);
SOCKET WSocket_accept(SOCKET s, sockaddr* addr, int* addrlen);
int WSocket_recv(SOCKET s, void* buf, int len, int flags);
int WSocket_recvfrom(SOCKET s, void* buf, int len, int flags, sockaddr* from, int* fromlen);

// Address helpers.
bool WSocketIsDottedIP(const std::string& text);
// A dotted address, or a name from the host cache (platform/winsock/Winsock.h): never waits. Raises
// ESocketException for a name that failed, or that is still being looked up (LastError WSAEWOULDBLOCK).
uint32_t WSocketResolveHost(const std::string& text);                           // network order
uint16_t WSocketResolvePort(const std::string& port, const std::string& proto); // host order
int WSocketResolveProto(const std::string& proto);
hostent* WSocketGetHostByName(const std::string& name);
hostent* WSocketGetHostByAddr(const std::string& addr);
std::string WSocketResolveIp(const std::string& addr);
std::string LocalHostName();
const platform::TStringList& LocalIPList();
std::string WSocketErrorDesc(int code);

} // namespace net
