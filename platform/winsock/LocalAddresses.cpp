#include "platform/winsock/LocalAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

namespace platform::winsock {

std::vector<std::string> LocalIPv4Addresses() {
    std::vector<std::string> addresses;
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) return addresses;
    for (ifaddrs* p = all; p != nullptr; p = p->ifa_next) {
        if (p->ifa_addr == nullptr || p->ifa_addr->sa_family != AF_INET || !(p->ifa_flags & IFF_UP)) continue;
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(p->ifa_addr)->sin_addr, text, sizeof text))
            addresses.push_back(text);
    }
    ::freeifaddrs(all);
    return addresses;
}

} // namespace platform::winsock
