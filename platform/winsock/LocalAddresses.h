#pragma once
// The machine's own IPv4 addresses, one dotted text per interface that is up, in the system's order.
#include <string>
#include <vector>

namespace platform::winsock {

std::vector<std::string> LocalIPv4Addresses();

} // namespace platform::winsock
