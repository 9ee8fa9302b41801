// Asynchronous name lookups: each request runs getaddrinfo (or getnameinfo) on a worker thread, keeps
// its result here and posts its completion to the requesting window. A cancelled request is forgotten
// at once; its worker still finishes (the C library cannot interrupt it) and then drops the result.
#include <arpa/inet.h>
#include <netdb.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/winsock/Winsock.h"

namespace platform::winsock {

namespace {

struct Request {
    HWND window = 0;
    uint32_t msg = 0;
    bool done = false;
    int error = 0;
    AsyncHostResult result;
};

class Registry {
public:
    static Registry& Get() {
        // Never destroyed: workers may still finish while the program exits.
        static Registry* registry = [] {
            EventLoop::Get(); // the loop outlives the guard below
            static Guard guard;
            return new Registry;
        }();
        return *registry;
    }

    HANDLE Add(HWND window, uint32_t msg) {
        std::lock_guard lock(mutex_);
        HANDLE handle = next_++;
        requests_[handle] = Request{window, msg, false, 0, {}};
        return handle;
    }

    void Complete(HANDLE handle, int error, AsyncHostResult result) {
        std::lock_guard lock(mutex_);
        auto it = requests_.find(handle);
        if (it == requests_.end()) return; // cancelled
        if (!alive_) return;
        it->second.done = true;
        it->second.error = error;
        it->second.result = std::move(result);
        EventLoop::Get().Post(it->second.window, it->second.msg, static_cast<WPARAM>(handle),
                              WSAMAKESELECTREPLY(0, static_cast<unsigned>(error)));
    }

    bool Cancel(HANDLE handle) {
        std::lock_guard lock(mutex_);
        return requests_.erase(handle) != 0;
    }

    bool Take(HANDLE handle, AsyncHostResult& result) {
        std::lock_guard lock(mutex_);
        auto it = requests_.find(handle);
        if (it == requests_.end() || !it->second.done) return false;
        result = std::move(it->second.result);
        requests_.erase(it);
        return true;
    }

private:
    struct Guard {
        ~Guard() {
            Registry& r = Get();
            std::lock_guard lock(r.mutex_);
            r.alive_ = false;
        }
    };

    std::mutex mutex_;
    std::map<HANDLE, Request> requests_;
    HANDLE next_ = 1;
    bool alive_ = true;
};

void LookupName(HANDLE handle, std::string name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    AsyncHostResult result;
    int error = WSAErrorFromGai(rc, errno);
    if (rc == 0) {
        result.name = name;
        for (addrinfo* p = list; p != nullptr; p = p->ai_next)
            result.addresses.push_back(reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr);
        ::freeaddrinfo(list);
    }
    Registry::Get().Complete(handle, error, std::move(result));
}

void LookupAddress(HANDLE handle, in_addr address) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr = address;
    char host[NI_MAXHOST];
    int rc = ::getnameinfo(reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0,
                           NI_NAMEREQD);
    AsyncHostResult result;
    int error = WSAErrorFromGai(rc, errno);
    if (rc == 0) {
        result.name = host;
        result.addresses.push_back(address);
    }
    Registry::Get().Complete(handle, error, std::move(result));
}

template <class F> HANDLE Start(HWND window, uint32_t msg, F work) {
    HANDLE handle = Registry::Get().Add(window, msg);
    try {
        std::thread([handle, work] { work(handle); }).detach();
    } catch (const std::system_error&) {
        Registry::Get().Cancel(handle);
        WSASetLastError(WSAENOBUFS);
        return 0;
    }
    return handle;
}

} // namespace

HANDLE WSAAsyncGetHostByName(HWND window, uint32_t msg, const char* name, char*, int) {
    if (name == nullptr) {
        WSASetLastError(WSAEFAULT);
        return 0;
    }
    std::string text = name;
    return Start(window, msg, [text](HANDLE h) { LookupName(h, text); });
}

HANDLE WSAAsyncGetHostByAddr(HWND window, uint32_t msg, const char* addr, int len, int type, char*, int) {
    if (addr == nullptr || len != static_cast<int>(sizeof(in_addr)) || type != AF_INET) {
        WSASetLastError(WSAEFAULT);
        return 0;
    }
    in_addr address;
    std::memcpy(&address, addr, sizeof address);
    return Start(window, msg, [address](HANDLE h) { LookupAddress(h, address); });
}

int WSACancelAsyncRequest(HANDLE request) {
    if (!Registry::Get().Cancel(request)) {
        WSASetLastError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    return 0;
}

bool WSAGetAsyncResult(HANDLE request, AsyncHostResult& result) {
    return Registry::Get().Take(request, result);
}

} // namespace platform::winsock
