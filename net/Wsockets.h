#pragma once
// A listening TCP socket that turns each accepted connection into a client object of the owner's
// class, greets it with a banner, refuses clients beyond a maximum and frees each client after its
// session has closed: the closing client names itself by its window handle in a posted message, and
// the server raises OnClientDisconnect and hands the client to the loop, which frees it when the turn
// ends (after the client's own close path has finished).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/Wsocket.h"

namespace net {

class TCustomWSocketServer;

class TWSocketClient : public TWSocket {
public:
    explicit TWSocketClient(platform::TComponent* owner = nullptr, const std::string& name = {});

    std::string Banner;
    TCustomWSocketServer* Server = nullptr;

    virtual void StartConnection();
    // The peer's address and port as captured when the connection was adopted.
    std::string GetPeerAddr() override { return peerAddr_; }
    std::string GetPeerPort() override { return peerPort_; }
    void Dup(SOCKET handle) override;
    // A client belongs to its server: released, it leaves the server's list at once.
    void Release() override;

protected:
    void TriggerSessionClosed(uint16_t error) override;

private:
    std::string peerAddr_;
    std::string peerPort_;
    bool closedNotified_ = false;
};

// Makes the client object for an accepted connection; the server owns it from then on.
using TWSocketClientFactory = std::function<std::unique_ptr<TWSocketClient>(TCustomWSocketServer* server)>;
using TClientEvent =
    std::function<void(TCustomWSocketServer* sender, TWSocketClient* client, uint16_t error)>;

class TCustomWSocketServer : public TWSocket {
public:
    explicit TCustomWSocketServer(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TCustomWSocketServer() override;

    std::string Banner = "Welcome to TcpSrv";
    std::string BannerToBusy = "Sorry, too many clients";
    // Creates one client object for an accepted connection (default: a plain TWSocketClient).
    TWSocketClientFactory ClientClass;
    int MaxClients = 0;
    TClientEvent OnClientCreate, OnClientConnect, OnClientDisconnect;

    virtual int GetClientCount() const { return static_cast<int>(clients_.size()); }
    virtual TWSocketClient* GetClient(int index) const;
    bool IsClient(const void* object) const;
    int ClientCounter() const { return clientCounter_; }

protected:
    void WndProc(TMessage& message) override;
    void TriggerSessionAvailable(uint16_t error) override;
    virtual void TriggerClientCreate(TWSocketClient* client);
    virtual void TriggerClientConnect(TWSocketClient* client, uint16_t error);
    virtual void TriggerClientDisconnect(TWSocketClient* client, uint16_t error);

private:
    friend class TWSocketClient;
    // Takes the client out of the list and gives it to the loop to free at the end of the turn.
    void ReleaseClient(TWSocketClient* client);
    void ClientClosed(platform::HWND client);

    std::vector<std::unique_ptr<TWSocketClient>> clients_; // in accept order
    int clientCounter_ = 0;
    SOCKET acceptedHandle_ = ws::INVALID_SOCKET; // the connection being handed to its client, and its peer
    sockaddr_in acceptedPeer_{};
};

class TWSocketServer : public TCustomWSocketServer {
public:
    using TCustomWSocketServer::TCustomWSocketServer;
};

} // namespace net
