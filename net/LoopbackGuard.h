#pragma once
// A build with the tests (KORVANE_LOOPBACK_ONLY) connects nowhere but 127.0.0.0/8, so that a test
// that slips fails loudly instead of sending off the machine.
#include <string>

#include "net/WinsockLoader.h"

namespace net {

#ifdef KORVANE_LOOPBACK_ONLY
inline constexpr bool kLoopbackOnly = true;
#else
inline constexpr bool kLoopbackOnly = false;
#endif

// True when a client may connect or send to this address (network byte order).
inline bool DestinationAllowed(uint32_t address) {
    if (!kLoopbackOnly) return true;
    return (WSocket_ntohl(address) >> 24) == 127;
}

// The same for a dotted address.
inline bool DestinationAllowed(const std::string& dotted) {
    return DestinationAllowed(WSocket_inet_addr(dotted.c_str()));
}

} // namespace net
