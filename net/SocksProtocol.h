#pragma once
// The bytes of a SOCKS negotiation: the requests a client sends and what the server's replies say.
// Ports and IPv4 addresses travel in network order (high byte first).
//
// SOCKS 5 (every reply starts with the version byte 5, the authentication reply with 1):
//   method request   05 01 M                    M = 00 (none) or 02 (user name and password)
//   method reply     05 M'                      M' = 00 or 02, anything else is refused
//   user/password    01 ulen user plen pass     each length one byte, so at most 255 bytes
//   auth reply       01 S                       S = 00 accepted
//   connect request  05 01 00 03 len host port  the host always goes as a name (address type 3)
//   connect reply    05 REP 00 ATYP addr port   REP 00 = connected; ATYP 1: 4 bytes, 3: len + name,
//                                               4: 16 bytes; at most 4 + 1 + 255 + 2 = 262 bytes
// SOCKS 4 and 4A:
//   connect request  04 01 port ip4 userid 00 [host 00]   4A: ip4 = 0.0.0.1 and the host follows
//   connect reply    00 CD port ip4             8 bytes; CD 90 = granted
// Whatever follows a connect reply is the owner's data.
#include <cstdint>
#include <string>
#include <string_view>

namespace net {

// Error codes of a failed negotiation, reported through OnSocksError and OnSessionConnected.
enum : int {
    kSocksLogicError = 20001,
    kSocksVersionError = 20002,
    kSocksMethodRefused = 20003,
    kSocksGeneralFailure = 20004, // SOCKS 5 reply codes 1..8 map to 20004..20011
    kSocksConnectionRefused = 20008,
    kSocksAddressTypeRefused = 20011,
    kSocksUnassignedError = 20012,
    kSocksInternalError = 20013,
    kSocksAuthFailed = 20015,
    kSocksRequestRejected = 20016,
};

// The longest SOCKS 5 reply (a connect reply with a 255-byte name).
inline constexpr size_t kSocksReplyMax = 262;
inline constexpr size_t kSocks4ReplySize = 8;

std::string SocksMethodRequest(bool offerUsercode);
std::string SocksUserPassRequest(const std::string& user, const std::string& password);
std::string Socks5ConnectRequest(const std::string& host, uint16_t port);
// host4A empty: plain SOCKS 4 to address (network order); otherwise 4A with that host name.
std::string Socks4ConnectRequest(uint16_t port, uint32_t address, const std::string& userid,
                                 const std::string& host4A);

// What the reply bytes received so far say.
struct SocksReply {
    enum Status { Incomplete, Accepted, Refused };
    Status status = Incomplete;
    int error = 0;       // Refused: one of the codes above
    std::string message; // Refused: the text for OnSocksError
    int method = 0;      // method reply: the server's choice
    size_t length = 0;   // Accepted: the bytes the reply took
    std::string boundAddr, boundPort;
};

SocksReply ParseSocksMethodReply(std::string_view bytes);
SocksReply ParseSocksAuthReply(std::string_view bytes);
SocksReply ParseSocks5ConnectReply(std::string_view bytes);
SocksReply ParseSocks4ConnectReply(std::string_view bytes);

// A 16-byte IPv6 address in its text form, the longest run of zero groups written "::".
std::string Ipv6Text(std::string_view bytes);

} // namespace net
