// The SOCKS 4, 4A and 5 requests and the reading of their replies.
#include "net/SocksProtocol.h"

#include "platform/Strings.h"

namespace net {

namespace {

uint8_t At(std::string_view bytes, size_t i) {
    return static_cast<uint8_t>(bytes[i]);
}

void PutPort(std::string& out, uint16_t port) {
    out += static_cast<char>(port >> 8);
    out += static_cast<char>(port & 0xFF);
}

SocksReply Refused(int error, std::string message) {
    SocksReply reply;
    reply.status = SocksReply::Refused;
    reply.error = error;
    reply.message = std::move(message);
    return reply;
}

SocksReply Accepted(size_t length) {
    SocksReply reply;
    reply.status = SocksReply::Accepted;
    reply.length = length;
    return reply;
}

SocksReply VersionError() {
    return Refused(kSocksVersionError, "socks version error");
}

SocksReply Unassigned(int code) {
    return Refused(kSocksUnassignedError, "unassigned error #" + std::to_string(code));
}

// The texts of the SOCKS 5 reply codes 1..8.
const char* const kReplyTexts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                                   "network unreachable",          "host unreachable",
                                   "connection refused",           "time to live expired",
                                   "command not supported",        "address type not supported"};

} // namespace

std::string SocksMethodRequest(bool offerUsercode) {
    return std::string{5, 1, static_cast<char>(offerUsercode ? 2 : 0)};
}

std::string SocksUserPassRequest(const std::string& user, const std::string& password) {
    std::string out(1, '\1');
    out += static_cast<char>(user.size());
    out += user;
    out += static_cast<char>(password.size());
    out += password;
    return out;
}

std::string Socks5ConnectRequest(const std::string& host, uint16_t port) {
    std::string out{5, 1, 0, 3};
    out += static_cast<char>(host.size());
    out += host;
    PutPort(out, port);
    return out;
}

std::string Socks4ConnectRequest(uint16_t port, uint32_t address, const std::string& userid,
                                 const std::string& host4A) {
    std::string out{4, 1};
    PutPort(out, port);
    if (host4A.empty())
        out.append(reinterpret_cast<const char*>(&address), 4); // already in network order
    else
        out += std::string{0, 0, 0, 1};
    out += userid;
    out += '\0';
    if (!host4A.empty()) {
        out += host4A;
        out += '\0';
    }
    return out;
}

SocksReply ParseSocksMethodReply(std::string_view bytes) {
    if (bytes.size() < 2) return {};
    if (At(bytes, 0) != 5) return VersionError();
    int method = At(bytes, 1);
    if (method != 0 && method != 2)
        return Refused(kSocksMethodRefused, "authentification method not acceptable");
    SocksReply reply = Accepted(2);
    reply.method = method;
    return reply;
}

SocksReply ParseSocksAuthReply(std::string_view bytes) {
    if (!bytes.empty() && At(bytes, 0) != 1) return VersionError();
    if (bytes.size() > 2) return Refused(kSocksLogicError, "too much data availaible");
    if (bytes.size() < 2) return {};
    if (At(bytes, 1) != 0) return Refused(kSocksAuthFailed, "socks authentication failed");
    return Accepted(2);
}

SocksReply ParseSocks5ConnectReply(std::string_view bytes) {
    if (!bytes.empty() && At(bytes, 0) != 5) return VersionError();
    if (bytes.size() < 2) return {};
    int code = At(bytes, 1);
    if (code >= 1 && code <= 8) return Refused(kSocksGeneralFailure + code - 1, kReplyTexts[code - 1]);
    if (code != 0) return Unassigned(code);
    if (bytes.size() < 4) return {};
    int type = At(bytes, 3);
    size_t length = 5;
    if (type == 1) {
        length = 10;
    } else if (type == 4) {
        length = 22;
    } else if (type == 3) {
        if (bytes.size() < 5) return {};
        length = 7 + At(bytes, 4);
    }
    if (bytes.size() < length) return {};
    SocksReply reply = Accepted(length);
    if (type == 1) {
        reply.boundAddr =
            platform::Format("%u.%u.%u.%u", At(bytes, 4), At(bytes, 5), At(bytes, 6), At(bytes, 7));
    } else if (type == 3) {
        reply.boundAddr = std::string(bytes.substr(5, At(bytes, 4)));
    } else if (type == 4) {
        reply.boundAddr = Ipv6Text(bytes.substr(4, 16));
    } else {
        return Refused(kSocksAddressTypeRefused, kReplyTexts[7]);
    }
    reply.boundPort = std::to_string(At(bytes, length - 2) * 256 + At(bytes, length - 1));
    return reply;
}

SocksReply ParseSocks4ConnectReply(std::string_view bytes) {
    if (!bytes.empty() && At(bytes, 0) != 0) return VersionError();
    if (bytes.size() < kSocks4ReplySize) return {};
    int code = At(bytes, 1);
    switch (code) {
    case 90:
        return Accepted(kSocks4ReplySize);
    case 91:
        return Refused(kSocksRequestRejected, "request rejected or failed");
    case 92:
        return Refused(kSocksConnectionRefused, "connection refused");
    case 93:
        return Refused(kSocksAuthFailed, "authentification failed");
    default:
        return Unassigned(code);
    }
}

std::string Ipv6Text(std::string_view bytes) {
    unsigned groups[8];
    for (size_t i = 0; i < 8; ++i)
        groups[i] = At(bytes, 2 * i) * 256u + At(bytes, 2 * i + 1);
    // The longest run of two or more zero groups (the first of equal runs) becomes "::".
    int bestStart = -1, bestLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0)
            ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    std::string text;
    for (int i = 0; i < 8; ++i) {
        if (i == bestStart) {
            text += "::";
            i += bestLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != ':') text += ':';
        text += platform::Format("%x", groups[i]);
    }
    return text;
}

} // namespace net
