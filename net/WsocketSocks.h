#pragma once
// A socket that reaches its peer through a SOCKS 4, 4A or 5 server. With a SocksServer assigned, a TCP
// Connect goes to that server, negotiates (optionally with user name and password) and only then
// raises OnSessionConnected for the owner: 0, or the negotiation's error code after OnSocksError, and
// then the socket closes. Without a SocksServer every operation passes straight through.
//
// The SOCKS settings are cleared by every close, like Addr and Port count as unassigned: assign the
// server again before each Connect. Bytes that arrived behind the server's last reply are served to
// the owner first, after what line mode still holds.
#include <string>

#include "net/Wsocket.h"

namespace net {

enum TSocksState { socksData, socksNegociateMethods, socksAuthenticate, socksConnect };
enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };

using TSocksErrorEvent = std::function<void(TCustomWSocket* sender, int error, const std::string& message)>;
using TSocksAuthStateEvent = std::function<void(TCustomWSocket* sender, TSocksAuthState authState)>;

class TCustomSocksWSocket : public TWSocket {
public:
    using TWSocket::TWSocket;

    const std::string& SocksLevel() const { return socksLevel_; }
    // "4", "4A" (or "4a") or "5"; only while closed.
    void SetSocksLevel(const std::string& value);
    const std::string& SocksServer() const { return socksServer_; }
    virtual void SetSocksServer(const std::string& value);
    const std::string& SocksPort() const { return socksPort_; }
    virtual void SetSocksPort(const std::string& value);
    std::string SocksUsercode, SocksPassword;
    TSocksAuthentication SocksAuthentication = socksNoAuthentication;
    TSocksState SocksState() const { return socksState_; }
    // The address and port a SOCKS 5 server reports for its side of the connection.
    const std::string& BoundAddr() const { return boundAddr_; }
    const std::string& BoundPort() const { return boundPort_; }

    TSocksErrorEvent OnSocksError;
    TSessionEvent OnSocksConnected;
    TSocksAuthStateEvent OnSocksAuthState;

    void Connect() override;
    void Listen() override;
    int GetRcvdCount() override;

protected:
    void AssignDefaultValue() override;
    int DoRecv(void* buffer, int length, int flags) override;
    void TriggerSessionConnected(uint16_t error) override;
    bool TriggerDataAvailable(uint16_t error) override;
    void TriggerSessionClosed(uint16_t error) override;
    virtual void TriggerSocksConnected(uint16_t error);
    virtual void TriggerSocksError(int error, const std::string& message);
    virtual void TriggerSocksAuthState(TSocksAuthState authState);
    // Ends a failed negotiation: OnSocksError, the owner's OnSessionConnected(code), close.
    void DataAvailableError(int code, const std::string& message);

private:
    // Refuses what cannot be negotiated before anything is sent; resolves the server and the
    // destination that SOCKS 4 sends as an address.
    bool PrepareNegotiation();
    void ReadReply();
    void MethodReplyReceived();
    void AuthReplyReceived();
    void ConnectReplyReceived();
    void SendRequest(const std::string& bytes);
    void SendConnectRequest();
    void Negotiated(size_t replyLength);
    // True while line mode holds bytes that the owner must get before the leftover.
    bool LineHasBytes();

    TSocksState socksState_ = socksData;
    std::string socksServer_, socksLevel_ = "5", socksPort_;
    bool socksServerAssigned_ = false, socksPortAssigned_ = false;
    int authMethod_ = 0; // the method offered: 0 none, 2 user name and password
    uint16_t destPort_ = 0;
    uint32_t destAddr_ = 0; // SOCKS 4: the destination, resolved here (network order)
    std::string boundAddr_, boundPort_;
    std::string reply_;    // the reply bytes received so far
    std::string leftover_; // the owner's bytes that came behind the last reply
};

class TSocksWSocket : public TCustomSocksWSocket {
public:
    using TCustomSocksWSocket::TCustomSocksWSocket;
};

} // namespace net
