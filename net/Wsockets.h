#pragma once
// A listening TCP socket that turns each accepted connection into a client object of the owner's
// class, greets it with a banner, refuses clients beyond a maximum and frees each client after its
// session has closed: the closing client names itself by its window handle in a posted message, and
// the server raises OnClientDisconnect and hands the client to the loop, which frees it when the turn
// ends (after the client's own close path has finished).
//
// An owner may keep connections waiting in the listen backlog instead (AcceptGate), and may drop a
// client itself (DropClient), which leaves the list at once: a server that takes a connection only
// once it has made room never holds more clients than it allows. A run of failed accepts with one
// cause (out of descriptors, say) is reported twice: its first failure, and its count when it ends.
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
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
    std::string GetPeerAddr() override {
        NamePeer();
        return peerAddr_;
    }
    std::string GetPeerPort() override {
        NamePeer();
        return peerPort_;
    }
    void Dup(SOCKET handle) override;
    // A client belongs to its server: released, it leaves the server's list at once, and the server
    // hands it to the loop, which frees it at the end of the turn.
    void Release() override;
    // The server keeps knowing it by its new window too.
    void ThreadAttach() override;

protected:
    void TriggerSessionClosed(uint16_t error) override;

private:
    friend class TCustomWSocketServer;
    void NamePeer();

    std::string peerAddr_;
    std::string peerPort_;
    std::vector<platform::HWND> windows_; // every window its server knows it by
    sockaddr_in acceptedPeer_{}; // the peer as accept() told it, put in words when first asked
    bool peerKnown_ = false;
    bool closedNotified_ = false;
};

// Makes the client object for an accepted connection; the server owns it from then on.
using TWSocketClientFactory = std::function<std::unique_ptr<TWSocketClient>(TCustomWSocketServer* server)>;
using TClientEvent =
    std::function<void(TCustomWSocketServer* sender, TWSocketClient* client, uint16_t error)>;
// True when the server may take the next connection now.
using TAcceptGate = std::function<bool(TCustomWSocketServer* sender)>;

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
    // Asked before each accept: false leaves the connection queued in the listen backlog (no further
    // accept notice comes for it) until AcceptWaiting is called or a client leaves.
    TAcceptGate AcceptGate;

    virtual int GetClientCount() const { return static_cast<int>(clients_.size()); }
    virtual TWSocketClient* GetClient(int index) const;
    bool IsClient(const void* object) const;
    int ClientCounter() const { return clientCounter_; }
    // A connection waits in the backlog that the gate held back.
    bool AcceptHeld() const { return acceptHeld_; }
    // Offers the held connection to the gate again, and takes it when the gate agrees.
    void AcceptWaiting();
    // Aborts a client and takes it out of the list at once (OnClientDisconnect is raised); the loop
    // frees it at the end of the turn. Not from inside the client's own handlers.
    void DropClient(TWSocketClient* client);

protected:
    void WndProc(TMessage& message) override;
    void TriggerSessionAvailable(uint16_t error) override;
    void InternalClose(bool shut, uint16_t error) override;
    virtual void TriggerClientCreate(TWSocketClient* client);
    virtual void TriggerClientConnect(TWSocketClient* client, uint16_t error);
    virtual void TriggerClientDisconnect(TWSocketClient* client, uint16_t error);

private:
    friend class TWSocketClient;
    // Takes the client out of the list and gives it to the loop to free at the end of the turn.
    void ReleaseClient(TWSocketClient* client);
    void ClientClosed(platform::HWND client);
    void AcceptOne();
    // The failure of an accept: told when it starts a run, counted while the run goes on.
    void AcceptFailed(std::exception_ptr failure);
    void EndAcceptFailures();

    std::vector<std::unique_ptr<TWSocketClient>> clients_; // in accept order
    // Each client by its windows (the one it was made with, and any it was given since): a closing
    // client names itself by window, and a server of thousands finds it without a walk over them all.
    std::unordered_map<platform::HWND, TWSocketClient*> byWindow_;
    int clientCounter_ = 0;
    SOCKET acceptedHandle_ = ws::INVALID_SOCKET; // the connection being handed to its client, and its peer
    sockaddr_in acceptedPeer_{};
    bool acceptHeld_ = false;
    int acceptFailureCode_ = 0; // the cause of the run of failed accepts going on (0: none)
    int acceptFailures_ = 0;
};

class TWSocketServer : public TCustomWSocketServer {
public:
    using TCustomWSocketServer::TCustomWSocketServer;
};

} // namespace net
