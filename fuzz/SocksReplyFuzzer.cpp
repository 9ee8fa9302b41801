// The SOCKS proxy's replies, read as they arrive: the first byte picks the reply (method, password,
// SOCKS 5 connect, SOCKS 4 connect), the rest are the proxy's bytes. Whatever the proxy sends, once a
// reply is decided more bytes never change the decision (what follows is the owner's data; only the
// password reply, which nothing may follow, turns into a logic error), and an accepted reply never
// claims more bytes than arrived. An IPv6 address's text reads back to its bytes.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "net/SocksProtocol.h"
#include "support/FuzzSupport.h"

namespace {

net::SocksReply Parse(int kind, std::string_view bytes) {
    switch (kind) {
    case 0:
        return net::ParseSocksMethodReply(bytes);
    case 1:
        return net::ParseSocksAuthReply(bytes);
    case 2:
        return net::ParseSocks5ConnectReply(bytes);
    default:
        return net::ParseSocks4ConnectReply(bytes);
    }
}

bool Same(const net::SocksReply& a, const net::SocksReply& b) {
    return a.status == b.status && a.error == b.error && a.message == b.message && a.method == b.method &&
           a.length == b.length && a.boundAddr == b.boundAddr && a.boundPort == b.boundPort;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Steer steer(data, size);
    int kind = steer.Byte() % 4;
    std::string_view bytes = steer.Rest();
    net::SocksReply decided;
    bool isDecided = false;
    for (size_t n = 0; n <= bytes.size(); ++n) {
        net::SocksReply r = Parse(kind, bytes.substr(0, n));
        if (isDecided) {
            bool tooLong = kind == 1 && n > 2 && r.status == net::SocksReply::Refused &&
                           r.error == net::kSocksLogicError;
            FUZZ_CHECK(Same(r, decided) || tooLong);
            continue;
        }
        if (r.status == net::SocksReply::Incomplete) continue;
        if (r.status == net::SocksReply::Accepted) {
            FUZZ_CHECK(r.length > 0 && r.length <= n);
            FUZZ_CHECK(r.length <= net::kSocksReplyMax);
        } else {
            FUZZ_CHECK(r.error >= net::kSocksLogicError && r.error <= net::kSocksRequestRejected);
            FUZZ_CHECK(!r.message.empty());
        }
        decided = r;
        isDecided = true;
    }
    if (bytes.size() >= 16) {
        std::string text = net::Ipv6Text(bytes.substr(0, 16));
        unsigned char back[16];
        FUZZ_CHECK(::inet_pton(AF_INET6, text.c_str(), back) == 1);
        FUZZ_CHECK(std::memcmp(back, bytes.data(), 16) == 0);
    }
    return 0;
}
