// The entry points by name: what fetching an export of the loaded socket library gives.
#include <map>

#include "platform/winsock/Winsock.h"

namespace platform::winsock {

namespace {
template <class F> void* Address(F* function) {
    return reinterpret_cast<void*>(function);
}
} // namespace

void* GetEntryPoint(const std::string& name) {
    static const std::map<std::string, void*> table = {
        {"WSAStartup", Address(&WSAStartup)},
        {"WSACleanup", Address(&WSACleanup)},
        {"WSASetLastError", Address(&WSASetLastError)},
        {"WSAGetLastError", Address(&WSAGetLastError)},
        {"WSACancelAsyncRequest", Address(&WSACancelAsyncRequest)},
        {"WSAAsyncGetHostByName", Address(&WSAAsyncGetHostByName)},
        {"WSAAsyncGetHostByAddr", Address(&WSAAsyncGetHostByAddr)},
        {"WSAAsyncSelect", Address(&WSAAsyncSelect)},
        {"getservbyname", Address(&getservbyname)},
        {"getprotobyname", Address(&getprotobyname)},
        {"gethostbyname", Address(&gethostbyname)},
        {"gethostbyaddr", Address(&gethostbyaddr)},
        {"gethostname", Address(&gethostname)},
        {"socket", Address(&socket)},
        {"shutdown", Address(&shutdown)},
        {"setsockopt", Address(&setsockopt)},
        {"getsockopt", Address(&getsockopt)},
        {"sendto", Address(&sendto)},
        {"send", Address(&send)},
        {"ntohs", Address(&ntohs)},
        {"ntohl", Address(&ntohl)},
        {"listen", Address(&listen)},
        {"ioctlsocket", Address(&ioctlsocket)},
        {"inet_ntoa", Address(&inet_ntoa)},
        {"inet_addr", Address(&inet_addr)},
        {"htons", Address(&htons)},
        {"htonl", Address(&htonl)},
        {"getsockname", Address(&getsockname)},
        {"getpeername", Address(&getpeername)},
        {"connect", Address(&connect)},
        {"closesocket", Address(&closesocket)},
        {"bind", Address(&bind)},
        {"accept", Address(&accept)},
        {"recv", Address(&recv)},
        {"recvfrom", Address(&recvfrom)},
    };
    auto it = table.find(name);
    return it == table.end() ? nullptr : it->second;
}

} // namespace platform::winsock
