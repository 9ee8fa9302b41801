// errno and getaddrinfo codes to WSAE codes, and the per-thread last error.
#include <netdb.h>

#include <cerrno>
#include <cstdio>

#include "platform/winsock/Winsock.h"

namespace platform::winsock {

namespace {
thread_local int lastError = 0;

struct ErrnoRow {
    int err;
    int wsa;
};

constexpr ErrnoRow kErrnoTable[] = {
    {EINTR, WSAEINTR},
    {EBADF, WSAEBADF},
    {EACCES, WSAEACCES},
    {EPERM, WSAEACCES},
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {ENFILE, WSAEMFILE},
    {EAGAIN, WSAEWOULDBLOCK},
    {EINPROGRESS, WSAEWOULDBLOCK}, // a non-blocking connect reports "would block"
    {EALREADY, WSAEALREADY},
    {ENOTSOCK, WSAENOTSOCK},
    {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE},
    {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP},
    {EPFNOSUPPORT, WSAEPFNOSUPPORT},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET},
    {ECONNABORTED, WSAECONNABORTED},
    {ECONNRESET, WSAECONNRESET},
    {EPIPE, WSAECONNRESET},
    {ENOBUFS, WSAENOBUFS},
    {ENOMEM, WSAENOBUFS},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {ESHUTDOWN, WSAESHUTDOWN},
    {ETOOMANYREFS, WSAETOOMANYREFS},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {ELOOP, WSAELOOP},
    {ENAMETOOLONG, WSAENAMETOOLONG},
    {EHOSTDOWN, WSAEHOSTDOWN},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
    {ENOTEMPTY, WSAENOTEMPTY},
    {EUSERS, WSAEUSERS},
    {EDQUOT, WSAEDQUOT},
    {ESTALE, WSAESTALE},
    {EREMOTE, WSAEREMOTE},
};
} // namespace

int WSAErrorFromErrno(int err) {
    if (err == 0) return 0;
    for (const auto& row : kErrnoTable)
        if (row.err == err) return row.wsa;
    std::fprintf(stderr, "winsock: unmapped errno %d reported as WSAEINVAL\n", err);
    return WSAEINVAL;
}

int WSAErrorFromGai(int gaiCode, int err) {
    switch (gaiCode) {
    case 0:
        return 0;
    case EAI_NONAME:
        return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
    case EAI_FAIL:
        return WSANO_RECOVERY;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return WSANO_DATA;
    case EAI_MEMORY:
        return WSAENOBUFS;
    case EAI_SYSTEM:
        return WSAErrorFromErrno(err);
    default:
        return WSANO_RECOVERY;
    }
}

void WSASetLastError(int error) {
    lastError = error;
}
int WSAGetLastError() {
    return lastError;
}

} // namespace platform::winsock
