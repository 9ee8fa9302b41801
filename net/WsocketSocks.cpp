// The SOCKS level of the socket: connecting through the server, the negotiation driven by the
// server's replies, and the owner's bytes that came behind the last reply.
#include "net/WsocketSocks.h"

#include <algorithm>
#include <cstring>

#include "net/LoopbackGuard.h"
#include "net/SocksProtocol.h"
#include "platform/Strings.h"

namespace net {

namespace {

std::string Dotted(uint32_t address) {
    return WSocket_inet_ntoa(in_addr{address});
}

} // namespace

// ---- settings ----

void TCustomSocksWSocket::AssignDefaultValue() {
    TWSocket::AssignDefaultValue();
    socksState_ = socksData;
    socksServer_.clear();
    socksPort_.clear();
    socksServerAssigned_ = socksPortAssigned_ = false;
    socksLevel_.assign(1, '5');
    reply_.clear();
    leftover_.clear();
}

void TCustomSocksWSocket::SetSocksLevel(const std::string& value) {
    if (state_ != wsClosed) return RaiseException("Can't change socks level if not closed");
    std::string level = platform::UpperCase(value);
    if (level != "4" && level != "4A" && level != "5")
        return RaiseException("Invalid socks level. Must be 4, 4A or 5.");
    socksLevel_ = level;
}

void TCustomSocksWSocket::SetSocksServer(const std::string& value) {
    if (state_ != wsClosed) return RaiseException("Can't change socks server if not closed");
    socksServer_ = platform::Trim(value);
    socksServerAssigned_ = !socksServer_.empty();
}

void TCustomSocksWSocket::SetSocksPort(const std::string& value) {
    if (state_ != wsClosed) return RaiseException("Can't change socks port if not closed");
    socksPort_ = platform::Trim(value);
    socksPortAssigned_ = !socksPort_.empty();
}

// ---- connect and listen ----

void TCustomSocksWSocket::Connect() {
    bool inUse = hSocket_ != ws::INVALID_SOCKET && state_ != wsClosed;
    if (!socksServerAssigned_ || inUse) return TWSocket::Connect();
    if (platform::LowerCase(Proto()) != "tcp")
        return RaiseException("tcp is the only protocol supported thru socks server");
    if (Addr().empty() || Port().empty()) return TWSocket::Connect(); // which names what is missing
    if (!PrepareNegotiation()) return;
    socksState_ = socksNegociateMethods;
    reply_.clear();
    leftover_.clear();
    boundAddr_.clear();
    boundPort_.clear();
    try {
        TWSocket::Connect();
    } catch (...) {
        socksState_ = socksData;
        if (hSocket_ == ws::INVALID_SOCKET) ClearConnectTarget();
        throw;
    }
    if (state_ != wsConnecting) socksState_ = socksData;
    if (hSocket_ == ws::INVALID_SOCKET) ClearConnectTarget();
}

bool TCustomSocksWSocket::PrepareNegotiation() {
    if (socksLevel_ == "5") {
        // Each of these goes with a one-byte length.
        if (Addr().size() > 255) {
            RaiseException("Host name too long for a socks server (255 bytes at most)");
            return false;
        }
        if (SocksUsercode.size() > 255 || SocksPassword.size() > 255) {
            RaiseException("Socks usercode or password too long (255 bytes at most)");
            return false;
        }
    }
    uint32_t server = WSocketResolveHost(socksServer_);
    uint16_t serverPort = WSocketResolvePort(socksPort_, "tcp");
    destPort_ = WSocketResolvePort(Port(), "tcp");
    destAddr_ = socksLevel_ == "4" ? WSocketResolveHost(Addr()) : 0;
    if (kLoopbackOnly) {
        uint32_t dest = destAddr_ != 0 ? destAddr_ : WSocketResolveHost(Addr());
        for (uint32_t address : {server, dest}) {
            if (!DestinationAllowed(Dotted(address))) {
                RaiseException("can't connect: " + Dotted(address) +
                               " is outside 127.0.0.0/8 in the test build");
                return false;
            }
        }
    }
    SetConnectTarget(server, WSocket_htons(serverPort));
    return true;
}

void TCustomSocksWSocket::Listen() {
    if (socksServerAssigned_) return RaiseException("Listening is not supported thru socks server");
    TWSocket::Listen();
}

// ---- negotiation ----

void TCustomSocksWSocket::TriggerSessionConnected(uint16_t error) {
    if (socksState_ != socksNegociateMethods) return TWSocket::TriggerSessionConnected(error);
    TriggerSocksConnected(error);
    if (error != 0) {
        socksState_ = socksData;
        return TWSocket::TriggerSessionConnected(error);
    }
    if (state_ != wsConnected) return; // closed by the handler
    if (socksLevel_ != "5") return SendConnectRequest();
    authMethod_ = SocksAuthentication == socksAuthenticateUsercode ? 2 : 0;
    SendRequest(SocksMethodRequest(authMethod_ == 2));
}

void TCustomSocksWSocket::SendRequest(const std::string& bytes) {
    reply_.clear();
    Send(bytes.data(), static_cast<int>(bytes.size()));
}

void TCustomSocksWSocket::SendConnectRequest() {
    socksState_ = socksConnect;
    if (socksLevel_ == "5") return SendRequest(Socks5ConnectRequest(Addr(), destPort_));
    SendRequest(Socks4ConnectRequest(destPort_, destAddr_, SocksUsercode, socksLevel_ == "4A" ? Addr() : ""));
}

bool TCustomSocksWSocket::TriggerDataAvailable(uint16_t error) {
    if (socksState_ == socksData) return TWSocket::TriggerDataAvailable(error);
    if (error != 0) {
        DataAvailableError(error, "data receive error");
        return true;
    }
    ReadReply();
    return true;
}

void TCustomSocksWSocket::ReadReply() {
    // A SOCKS 4 reply is read to its 8 bytes exactly: what follows stays with the network.
    bool socks4Reply = socksState_ == socksConnect && socksLevel_ != "5";
    size_t limit = socks4Reply ? kSocks4ReplySize : kSocksReplyMax;
    if (reply_.size() >= limit) return DataAvailableError(kSocksInternalError, "internal error");
    char buffer[kSocksReplyMax];
    int n = TWSocket::DoRecv(buffer, static_cast<int>(limit - reply_.size()), 0);
    if (n < 0) {
        lastError_ = WSocket_WSAGetLastError();
        return;
    }
    if (n == 0) return; // the close follows
    reply_.append(buffer, static_cast<size_t>(n));
    switch (socksState_) {
    case socksNegociateMethods:
        return MethodReplyReceived();
    case socksAuthenticate:
        return AuthReplyReceived();
    case socksConnect:
        return ConnectReplyReceived();
    default:
        return DataAvailableError(kSocksInternalError, "internal error");
    }
}

void TCustomSocksWSocket::MethodReplyReceived() {
    if (socksLevel_ != "5") return DataAvailableError(kSocksLogicError, "TWSocket logic error");
    SocksReply reply = ParseSocksMethodReply(reply_);
    if (reply.status == SocksReply::Incomplete) return;
    if (reply.status == SocksReply::Refused) return DataAvailableError(reply.error, reply.message);
    if (reply.method == 2) {
        socksState_ = socksAuthenticate;
        TriggerSocksAuthState(socksAuthStart);
        if (state_ != wsConnected) return;
        return SendRequest(SocksUserPassRequest(SocksUsercode, SocksPassword));
    }
    if (authMethod_ != 0) {
        TriggerSocksAuthState(socksAuthNotRequired);
        if (state_ != wsConnected) return;
    }
    SendConnectRequest();
}

void TCustomSocksWSocket::AuthReplyReceived() {
    SocksReply reply = ParseSocksAuthReply(reply_);
    if (reply.status == SocksReply::Incomplete) return;
    if (reply.status == SocksReply::Refused) return DataAvailableError(reply.error, reply.message);
    socksState_ = socksConnect;
    TriggerSocksAuthState(socksAuthSuccess);
    if (state_ != wsConnected) return;
    SendConnectRequest();
}

void TCustomSocksWSocket::ConnectReplyReceived() {
    SocksReply reply = socksLevel_ == "5" ? ParseSocks5ConnectReply(reply_) : ParseSocks4ConnectReply(reply_);
    if (reply.status == SocksReply::Incomplete) return;
    if (reply.status == SocksReply::Refused) return DataAvailableError(reply.error, reply.message);
    boundAddr_ = reply.boundAddr;
    boundPort_ = reply.boundPort;
    Negotiated(reply.length);
}

void TCustomSocksWSocket::Negotiated(size_t replyLength) {
    socksState_ = socksData;
    leftover_ = reply_.substr(replyLength);
    reply_.clear();
    TWSocket::TriggerSessionConnected(0);
    // The bytes behind the reply may be all there is: nothing else would announce them.
    while (!leftover_.empty() && state_ == wsConnected) {
        size_t before = leftover_.size();
        if (!TWSocket::TriggerDataAvailable(0)) {
            leftover_.clear(); // nobody reads: dropped, as the receive loop drops unread input
            break;
        }
        if (leftover_.size() == before) break; // the owner reads them later
    }
}

void TCustomSocksWSocket::DataAvailableError(int code, const std::string& message) {
    TriggerSocksError(code, message);
    socksState_ = socksData;
    if (state_ == wsClosed) return; // closed by the handler
    TWSocket::TriggerSessionConnected(static_cast<uint16_t>(code));
    InternalClose(true, static_cast<uint16_t>(code));
}

void TCustomSocksWSocket::TriggerSessionClosed(uint16_t error) {
    if (socksState_ == socksAuthenticate) TriggerSocksAuthState(socksAuthFailure);
    TWSocket::TriggerSessionClosed(error);
}

// ---- the owner's bytes behind the reply ----

bool TCustomSocksWSocket::LineHasBytes() {
    return LineMode() ? LineLength() >= 1 : BufferedCount() > 0;
}

int TCustomSocksWSocket::GetRcvdCount() {
    if (leftover_.empty() || LineMode() || BufferedCount() > 0) return TWSocket::GetRcvdCount();
    return static_cast<int>(leftover_.size());
}

int TCustomSocksWSocket::DoRecv(void* buffer, int length, int flags) {
    if (leftover_.empty() || LineHasBytes()) return TWSocket::DoRecv(buffer, length, flags);
    ++recvCalls_;
    int n = std::max(0, std::min(length, static_cast<int>(leftover_.size())));
    std::memcpy(buffer, leftover_.data(), static_cast<size_t>(n));
    bufferFilled_ = n >= length;
    if (!(flags & MSG_PEEK)) leftover_.erase(0, static_cast<size_t>(n));
    return n;
}

// ---- events ----

void TCustomSocksWSocket::TriggerSocksConnected(uint16_t error) {
    if (OnSocksConnected) {
        auto handler = OnSocksConnected;
        handler(this, error);
    }
}

void TCustomSocksWSocket::TriggerSocksError(int error, const std::string& message) {
    if (OnSocksError) {
        auto handler = OnSocksError;
        handler(this, error, message);
    }
}

void TCustomSocksWSocket::TriggerSocksAuthState(TSocksAuthState authState) {
    if (OnSocksAuthState) {
        auto handler = OnSocksAuthState;
        handler(this, authState);
    }
}

} // namespace net
