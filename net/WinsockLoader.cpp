// The library loader and the cached entry points.
#include "net/WinsockLoader.h"

#include "platform/Strings.h"

namespace net {

using platform::Format;

namespace {

bool loaded = false;
bool forced = false;
int liveCount = 0;
unsigned generation = 1; // bumped on unload so that every cached entry point is fetched again
ws::WSAData startupData;

void Load() {
    if (loaded) return;
    int rc = ws::WSAStartup(0x0101, &startupData);
    if (rc != 0) throw ESocketException(Format("%s: WSAStartup error #%d", kWinsockLibrary, rc));
    loaded = true;
}

template <class F> F Fetch(F& cache, unsigned& cachedGeneration, const char* name) {
    if (cache == nullptr || cachedGeneration != generation) {
        cache = reinterpret_cast<F>(WSocketGetProc(name));
        cachedGeneration = generation;
    }
    return cache;
}

} // namespace

void* WSocketGetProc(const std::string& name) {
    Load();
    if (name.empty()) return nullptr;
    void* entry = ws::GetEntryPoint(name);
    if (entry == nullptr)
        throw ESocketException("Procedure " + name + " not found in " + kWinsockLibrary + " Error #0");
    return entry;
}

void WSocketForceLoadWinsock() {
    if (forced) return;
    forced = true;
    ++liveCount;
    WSocketGetProc("");
}

void WSocketCancelForceLoadWinsock() {
    if (!forced) return;
    forced = false;
    if (--liveCount < 1) WSocketUnloadWinsock();
}

void WSocketUnloadWinsock() {
    if (loaded) {
        ws::WSACleanup();
        loaded = false;
        ++generation;
    }
    liveCount = 0;
    forced = false;
}

bool WSocketLoaded() {
    return loaded;
}

ws::WSAData WinsockInfo() {
    WSocketGetProc("");
    ws::WSAData copy = startupData;
    if (liveCount < 1) WSocketUnloadWinsock();
    return copy;
}

void WSocketAddSocket() {
    ++liveCount;
}

void WSocketRemoveSocket() {
    if (--liveCount < 1) WSocketUnloadWinsock();
}

#define KORVANE_WSOCKET_ENTRY(ret, name, params, args)                                                       \
    ret WSocket_##name params {                                                                              \
        static decltype(&ws::name) cache = nullptr;                                                          \
        static unsigned cachedGeneration = 0;                                                                \
        return Fetch(cache, cachedGeneration, #name) args;                                                   \
    }

KORVANE_WSOCKET_ENTRY(int, WSAStartup, (uint16_t v, ws::WSAData* d), (v, d))
KORVANE_WSOCKET_ENTRY(int, WSACleanup, (), ())
KORVANE_WSOCKET_ENTRY(void, WSASetLastError, (int e), (e))
KORVANE_WSOCKET_ENTRY(int, WSAGetLastError, (), ())
KORVANE_WSOCKET_ENTRY(int, WSACancelAsyncRequest, (ws::HANDLE r), (r))
KORVANE_WSOCKET_ENTRY(ws::HANDLE, WSAAsyncGetHostByName,
                      (platform::HWND w, uint32_t m, const char* n, char* b, int l), (w, m, n, b, l))
KORVANE_WSOCKET_ENTRY(ws::HANDLE, WSAAsyncGetHostByAddr,
                      (platform::HWND w, uint32_t m, const char* a, int n, int t, char* b, int l),
                      (w, m, a, n, t, b, l))
KORVANE_WSOCKET_ENTRY(int, WSAAsyncSelect, (SOCKET s, platform::HWND w, uint32_t m, long k), (s, w, m, k))
KORVANE_WSOCKET_ENTRY(servent*, getservbyname, (const char* n, const char* p), (n, p))
KORVANE_WSOCKET_ENTRY(protoent*, getprotobyname, (const char* n), (n))
KORVANE_WSOCKET_ENTRY(hostent*, gethostbyname, (const char* n), (n))
KORVANE_WSOCKET_ENTRY(hostent*, gethostbyaddr, (const char* a, int l, int t), (a, l, t))
KORVANE_WSOCKET_ENTRY(int, gethostname, (char* n, int l), (n, l))
KORVANE_WSOCKET_ENTRY(SOCKET, socket, (int a, int t, int p), (a, t, p))
KORVANE_WSOCKET_ENTRY(int, shutdown, (SOCKET s, int h), (s, h))
KORVANE_WSOCKET_ENTRY(int, setsockopt, (SOCKET s, int lv, int o, const void* v, int l), (s, lv, o, v, l))
KORVANE_WSOCKET_ENTRY(int, getsockopt, (SOCKET s, int lv, int o, void* v, int* l), (s, lv, o, v, l))
KORVANE_WSOCKET_ENTRY(int, sendto, (SOCKET s, const void* b, int l, int f, const sockaddr* t, int tl),
                      (s, b, l, f, t, tl))
KORVANE_WSOCKET_ENTRY(int, send, (SOCKET s, const void* b, int l, int f), (s, b, l, f))
KORVANE_WSOCKET_ENTRY(uint16_t, ntohs, (uint16_t v), (v))
KORVANE_WSOCKET_ENTRY(uint32_t, ntohl, (uint32_t v), (v))
KORVANE_WSOCKET_ENTRY(int, listen, (SOCKET s, int b), (s, b))
KORVANE_WSOCKET_ENTRY(int, ioctlsocket, (SOCKET s, unsigned long c, unsigned long* a), (s, c, a))
KORVANE_WSOCKET_ENTRY(const char*, inet_ntoa, (in_addr a), (a))
KORVANE_WSOCKET_ENTRY(uint32_t, inet_addr, (const char* c), (c))
KORVANE_WSOCKET_ENTRY(uint16_t, htons, (uint16_t v), (v))
KORVANE_WSOCKET_ENTRY(uint32_t, htonl, (uint32_t v), (v))
KORVANE_WSOCKET_ENTRY(int, getsockname, (SOCKET s, sockaddr* n, int* l), (s, n, l))
KORVANE_WSOCKET_ENTRY(int, getpeername, (SOCKET s, sockaddr* n, int* l), (s, n, l))
KORVANE_WSOCKET_ENTRY(int, connect, (SOCKET s, const sockaddr* n, int l), (s, n, l))
KORVANE_WSOCKET_ENTRY(int, closesocket, (SOCKET s), (s))
KORVANE_WSOCKET_ENTRY(int, bind, (SOCKET s, const sockaddr* n, int l), (s, n, l))
KORVANE_WSOCKET_ENTRY(SOCKET, accept, (SOCKET s, sockaddr* a, int* l), (s, a, l))
KORVANE_WSOCKET_ENTRY(int, recv, (SOCKET s, void* b, int l, int f), (s, b, l, f))
KORVANE_WSOCKET_ENTRY(int, recvfrom, (SOCKET s, void* b, int l, int f, sockaddr* fr, int* fl),
                      (s, b, l, f, fr, fl))

#undef KORVANE_WSOCKET_ENTRY

} // namespace net
