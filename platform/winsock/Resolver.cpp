// Name lookups off the loop's thread. Each asynchronous request runs the name service (or getnameinfo)
// on a worker thread, keeps its result here and posts its completion to the requesting window. A
// cancelled request is forgotten at once; its worker still finishes (the C library cannot interrupt it)
// and then drops the result. The host cache answers the sockets' own names without waiting.
#include <arpa/inet.h>
#include <netdb.h>
#include <strings.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Clock.h"
#include "platform/winsock/Winsock.h"

namespace platform::winsock {

namespace {

// Never destroyed: workers may still resolve while the program exits.
std::mutex& ResolverMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
NameResolver& InstalledResolver() {
    static auto* resolver = new NameResolver;
    return *resolver;
}

int SystemResolve(const std::string& name, std::vector<in_addr>& addresses) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (rc != 0) return WSAErrorFromGai(rc, errno);
    for (addrinfo* p = list; p != nullptr; p = p->ai_next)
        addresses.push_back(reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr);
    ::freeaddrinfo(list);
    return 0;
}

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
    AsyncHostResult result;
    int error = ResolveName(name, result.addresses);
    if (error == 0) result.name = name;
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

// ---- the name service ----

void SetNameResolver(NameResolver resolver) {
    std::lock_guard lock(ResolverMutex());
    InstalledResolver() = std::move(resolver);
}

int ResolveName(const std::string& name, std::vector<in_addr>& addresses) {
    NameResolver resolver;
    {
        std::lock_guard lock(ResolverMutex());
        resolver = InstalledResolver();
    }
    addresses.clear();
    int error = resolver ? resolver(name, addresses) : SystemResolve(name, addresses);
    if (error == 0 && addresses.empty()) error = WSANO_DATA;
    return error;
}

// ---- the host cache ----

namespace {

class HostCache {
public:
    static HostCache& Get() {
        // Never destroyed, as the registry above.
        static HostCache* cache = [] {
            EventLoop::Get();
            static Guard guard;
            return new HostCache;
        }();
        return *cache;
    }

    HostAnswer Lookup(const std::string& name, HWND window, uint32_t msg, WPARAM wParam) {
        HostAnswer answer;
        if (::strcasecmp(name.c_str(), "localhost") == 0) {
            answer.state = HostState::Known;
            answer.addresses.push_back(in_addr{htonl(INADDR_LOOPBACK)});
            return answer;
        }
        const uint32_t now = GetTickCount();
        std::lock_guard lock(mutex_);
        Entry& entry = entries_[name];
        if (entry.answered && !entry.stamped) {
            entry.answeredAt = now;
            entry.stamped = true;
        }
        if (entry.lookup == 0) {
            bool due = !entry.answered || TicksElapsed(now, entry.answeredAt) >=
                                              (entry.error == 0 ? kHostLifetimeMs : kHostRetryMs);
            if (due) Start(name, entry, now);
        }
        if (entry.answered) {
            answer.state = entry.error == 0 ? HostState::Known : HostState::Failed;
            answer.addresses = entry.addresses;
            answer.error = entry.error;
            return answer;
        }
        if (TicksElapsed(now, entry.startedAt) >= kHostPatienceMs) {
            answer.state = HostState::Failed;
            answer.error = WSAETIMEDOUT;
            return answer;
        }
        if (window != 0) Await(entry, Waiter{window, msg, wParam});
        return answer;
    }

    void Clear() {
        std::lock_guard lock(mutex_);
        entries_.clear();
    }

private:
    struct Waiter {
        HWND window;
        uint32_t msg;
        WPARAM wParam;
    };
    struct Entry {
        uint64_t lookup = 0;    // the number of the lookup that runs; 0 when none does
        uint32_t startedAt = 0; // the tick count when it started
        bool answered = false;  // a lookup has ended (addresses or error hold its answer)
        bool stamped = false;   // answeredAt holds the loop's time of the answer
        uint32_t answeredAt = 0;
        int error = 0;
        std::vector<in_addr> addresses;
        std::vector<Waiter> waiters;
    };
    struct Guard {
        ~Guard() {
            HostCache& cache = Get();
            std::lock_guard lock(cache.mutex_);
            cache.alive_ = false;
        }
    };

    // Under the lock. A window waits once: asking again replaces its earlier wait.
    static void Await(Entry& entry, const Waiter& waiter) {
        for (Waiter& w : entry.waiters) {
            if (w.window == waiter.window && w.msg == waiter.msg) {
                w.wParam = waiter.wParam;
                return;
            }
        }
        entry.waiters.push_back(waiter);
    }

    // Under the lock.
    void Start(const std::string& name, Entry& entry, uint32_t now) {
        uint64_t lookup = nextLookup_++;
        entry.lookup = lookup;
        entry.startedAt = now;
        try {
            std::thread([this, name, lookup] {
                std::vector<in_addr> addresses;
                int error = ResolveName(name, addresses);
                Complete(name, lookup, error, std::move(addresses));
            }).detach();
        } catch (const std::system_error&) {
            entry.lookup = 0;
            entry.answered = entry.stamped = true;
            entry.answeredAt = now;
            entry.error = WSAENOBUFS;
            entry.addresses.clear();
        }
    }

    // On the worker's thread.
    void Complete(const std::string& name, uint64_t lookup, int error, std::vector<in_addr> addresses) {
        std::lock_guard lock(mutex_);
        if (!alive_) return;
        auto it = entries_.find(name);
        if (it == entries_.end() || it->second.lookup != lookup) return; // forgotten meanwhile
        Entry& entry = it->second;
        entry.lookup = 0;
        if (error == 0) {
            entry.addresses = std::move(addresses);
            entry.error = 0;
        } else if (!entry.answered || entry.error != 0) {
            entry.addresses.clear();
            entry.error = error;
        } // else a refresh failed: the answer it was to replace serves another lifetime
        entry.answered = true;
        entry.stamped = false;
        for (const Waiter& w : entry.waiters)
            EventLoop::Get().Post(w.window, w.msg, w.wParam, 0);
        entry.waiters.clear();
    }

    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
    uint64_t nextLookup_ = 1;
    bool alive_ = true;
};

} // namespace

HostAnswer LookupHost(const std::string& name, HWND window, uint32_t msg, WPARAM wParam) {
    return HostCache::Get().Lookup(name, window, msg, wParam);
}

void ClearHostCache() {
    HostCache::Get().Clear();
}

} // namespace platform::winsock
