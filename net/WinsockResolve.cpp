// Name, port and protocol resolution, the blocking lookup helpers and the error descriptions.
#include <cctype>
#include <map>

#include "net/WinsockLoader.h"
#include "platform/Strings.h"
#include "platform/winsock/LocalAddresses.h"

namespace net {

using platform::Format;
using platform::Trim;

namespace {

// Leading blanks, then decimal digits; saturates instead of overflowing.
long long ReadDecimal(const std::string& text, size_t& i) {
    while (i < text.size() && text[i] == ' ')
        ++i;
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min(value * 10 + (text[i] - '0'), 1LL << 40);
    return value;
}

bool StartsWithDigit(const std::string& text) {
    return !text.empty() && std::isdigit(static_cast<unsigned char>(text[0]));
}

} // namespace

bool WSocketIsDottedIP(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i < text.size() && text[i] == '.') return false;
    int dots = 0;
    long long part = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c == '.') {
            ++dots;
            if (dots > 3 || part > 255 || i + 1 >= text.size() ||
                !std::isdigit(static_cast<unsigned char>(text[i + 1])))
                return false;
            part = 0;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            part = std::min(part * 10 + (c - '0'), 1000LL);
        } else {
            break;
        }
    }
    while (i < text.size() && text[i] == ' ')
        ++i;
    return i == text.size() && dots == 3 && part <= 255;
}

uint32_t WSocketResolveHost(const std::string& input) {
    if (input.empty() || input.size() >= 257)
        throw ESocketException("WSocketResolveHost: '" + input + "' Invalid Hostname.");
    std::string text = Trim(input);
    if (WSocketIsDottedIP(text)) {
        uint32_t address = WSocket_inet_addr(text.c_str());
        if (address == INADDR_NONE && text != "255.255.255.255")
            throw ESocketException("WSocketResolveHost: '" + text + "' Invalid IP address.");
        return address;
    }
    // A name comes from the host cache, never from a lookup on this thread.
    ws::HostAnswer answer = ws::LookupHost(text);
    if (answer.state == ws::HostState::Known) return answer.addresses[0].s_addr;
    if (answer.state == ws::HostState::Pending) {
        WSocket_WSASetLastError(ws::WSAEWOULDBLOCK);
        throw ESocketException("WSocketResolveHost: '" + text + "' is being looked up, try again later");
    }
    WSocket_WSASetLastError(answer.error);
    throw ESocketException(Format("WSocketResolveHost: Cannot convert host address '%s', Error #%d",
                                  text.c_str(), answer.error));
}

uint16_t WSocketResolvePort(const std::string& port, const std::string& proto) {
    if (port.empty() || port.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Port.");
    if (proto.empty() || proto.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Proto.");
    if (StartsWithDigit(port)) {
        size_t i = 0;
        long long value = ReadDecimal(port, i);
        if (value > 65535) throw ESocketException("WSocketResolvePort: Invalid Port.");
        return static_cast<uint16_t>(value);
    }
    servent* entry = WSocket_getservbyname(Trim(port).c_str(), Trim(proto).c_str());
    if (entry == nullptr)
        throw ESocketException(Format("WSocketResolvePort: Cannot convert port '%s', Error #%d", port.c_str(),
                                      WSocket_WSAGetLastError()));
    return WSocket_ntohs(static_cast<uint16_t>(entry->s_port));
}

int WSocketResolveProto(const std::string& input) {
    if (input.empty() || input.size() >= 32) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    std::string proto = Trim(input);
    if (StartsWithDigit(proto)) {
        size_t i = 0;
        return static_cast<int>(std::min(ReadDecimal(proto, i), 255LL));
    }
    protoent* entry = WSocket_getprotobyname(proto.c_str());
    if (entry == nullptr)
        throw ESocketException(Format("WSocketResolveProto: Cannot convert protocol '%s', Error #%d",
                                      proto.c_str(), WSocket_WSAGetLastError()));
    return entry->p_proto;
}

hostent* WSocketGetHostByName(const std::string& name) {
    if (name.empty() || name.size() >= 257) throw ESocketException("WSocketGetHostByName: Invalid Hostname.");
    return WSocket_gethostbyname(name.c_str());
}

hostent* WSocketGetHostByAddr(const std::string& addr) {
    if (addr.empty() || addr.size() >= 257) throw ESocketException("WSocketGetHostByAddr: Invalid address.");
    in_addr address{WSocket_inet_addr(addr.c_str())};
    return WSocket_gethostbyaddr(reinterpret_cast<const char*>(&address), sizeof address, AF_INET);
}

std::string WSocketResolveIp(const std::string& addr) {
    hostent* entry = WSocketGetHostByAddr(addr);
    return entry != nullptr && entry->h_name != nullptr ? entry->h_name : "";
}

std::string LocalHostName() {
    char name[256] = {};
    if (WSocket_gethostname(name, sizeof name) != 0) throw ESocketException("Winsock.GetHostName failed");
    return name;
}

const platform::TStringList& LocalIPList() {
    static platform::TStringList list;
    list.Clear();
    for (const std::string& address : platform::winsock::LocalIPv4Addresses())
        list.Add(address);
    return list;
}

std::string WSocketErrorDesc(int code) {
    static const std::map<int, const char*> table = {
        {0, "No Error"},
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open files"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Protocol wrong type for socket"},
        {10042, "Protocol not available"},
        {10043, "Protocol not supported"},
        {10044, "Socket type not supported"},
        {10045, "Operation not supported on socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported by protocol family"},
        {10048, "Address already in use"},
        {10049, "Address not available"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Network dropped connection on reset"},
        {10053, "Connection aborted"},
        {10054, "Connection reset by peer"},
        {10055, "No buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references: can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"},
        {10064, "Host is down"},
        {10065, "No route to host"},
        {10066, "Directory not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disc quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network sub-system is unusable"},
        {10092, "WinSock DLL cannot support this application"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11002, "Non-authoritative host not found"},
        {11003, "Non-recoverable error"},
        {11004, "No Data"},
    };
    auto it = table.find(code);
    return it == table.end() ? "Not a WinSock error" : it->second;
}

} // namespace net
