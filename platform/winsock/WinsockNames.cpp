// Host, service and protocol databases. Results live in per-thread storage until the next call of the
// same kind. Services and protocols fall back to a small built-in table when the system has none.
#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/winsock/Winsock.h"

namespace platform::winsock {

namespace {

struct HostStorage {
    hostent entry{};
    std::string name;
    std::vector<in_addr> addresses;
    std::vector<char*> addressList;
    char* noAliases[1] = {nullptr};

    hostent* Build() {
        addressList.clear();
        for (auto& a : addresses)
            addressList.push_back(reinterpret_cast<char*>(&a));
        addressList.push_back(nullptr);
        entry.h_name = name.data();
        entry.h_aliases = noAliases;
        entry.h_addrtype = AF_INET;
        entry.h_length = sizeof(in_addr);
        entry.h_addr_list = addressList.data();
        return &entry;
    }
};

struct NamedNumber {
    const char* name;
    int number;
};

constexpr NamedNumber kServices[] = {{"ftp-data", 20}, {"ftp", 21},       {"ssh", 22},  {"telnet", 23},
                                     {"smtp", 25},     {"domain", 53},    {"http", 80}, {"www", 80},
                                     {"pop3", 110},    {"nntp", 119},     {"ntp", 123}, {"https", 443},
                                     {"socks", 1080},  {"http-alt", 8080}};
constexpr NamedNumber kProtocols[] = {{"ip", 0}, {"icmp", 1}, {"tcp", 6}, {"udp", 17}};

} // namespace

servent* getservbyname(const char* name, const char* proto) {
    thread_local servent entry{};
    thread_local char buffer[1024];
    thread_local std::string fallbackName, fallbackProto;
    thread_local char* noAliases[1] = {nullptr};
    servent* result = nullptr;
    if (name != nullptr && ::getservbyname_r(name, proto, &entry, buffer, sizeof buffer, &result) == 0 &&
        result != nullptr)
        return result;
    for (const auto& row : kServices) {
        if (name == nullptr || std::strcmp(row.name, name) != 0) continue;
        fallbackName = row.name;
        fallbackProto = proto != nullptr ? proto : "tcp";
        entry.s_name = fallbackName.data();
        entry.s_aliases = noAliases;
        entry.s_port = static_cast<int>(::htons(static_cast<uint16_t>(row.number)));
        entry.s_proto = fallbackProto.data();
        return &entry;
    }
    WSASetLastError(WSANO_DATA);
    return nullptr;
}

protoent* getprotobyname(const char* name) {
    thread_local protoent entry{};
    thread_local char buffer[1024];
    thread_local std::string fallbackName;
    thread_local char* noAliases[1] = {nullptr};
    protoent* result = nullptr;
    if (name != nullptr && ::getprotobyname_r(name, &entry, buffer, sizeof buffer, &result) == 0 &&
        result != nullptr)
        return result;
    for (const auto& row : kProtocols) {
        if (name == nullptr || std::strcmp(row.name, name) != 0) continue;
        fallbackName = row.name;
        entry.p_name = fallbackName.data();
        entry.p_aliases = noAliases;
        entry.p_proto = row.number;
        return &entry;
    }
    WSASetLastError(WSANO_DATA);
    return nullptr;
}

hostent* gethostbyname(const char* name) {
    thread_local HostStorage storage;
    if (name == nullptr) {
        WSASetLastError(WSAEFAULT);
        return nullptr;
    }
    int error = ResolveName(name, storage.addresses); // the installed name service
    if (error != 0) {
        WSASetLastError(error);
        return nullptr;
    }
    storage.name = name;
    return storage.Build();
}

hostent* gethostbyaddr(const char* addr, int len, int type) {
    thread_local HostStorage storage;
    if (addr == nullptr || len != static_cast<int>(sizeof(in_addr)) || type != AF_INET) {
        WSASetLastError(WSAEFAULT);
        return nullptr;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    std::memcpy(&sa.sin_addr, addr, sizeof sa.sin_addr);
    char host[NI_MAXHOST];
    int rc = ::getnameinfo(reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0,
                           NI_NAMEREQD);
    if (rc != 0) {
        WSASetLastError(WSAErrorFromGai(rc, errno));
        return nullptr;
    }
    storage.name = host;
    storage.addresses.assign(1, sa.sin_addr);
    return storage.Build();
}

int gethostname(char* name, int namelen) {
    if (name == nullptr || namelen <= 0) {
        WSASetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    if (::gethostname(name, static_cast<size_t>(namelen)) != 0) {
        WSASetLastError(WSAErrorFromErrno(errno));
        return SOCKET_ERROR;
    }
    name[namelen - 1] = '\0';
    return 0;
}

} // namespace platform::winsock
