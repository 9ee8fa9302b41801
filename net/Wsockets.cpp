#include "net/Wsockets.h"

#include <algorithm>

#include "platform/Strings.h"

namespace net {

// ---- client ----

TWSocketClient::TWSocketClient(platform::TComponent* owner, const std::string& name)
    : TWSocket(owner, name) {}

void TWSocketClient::StartConnection() {
    if (!Banner.empty()) SendStr(Banner + "\r\n");
}

void TWSocketClient::Dup(SOCKET handle) {
    TWSocket::Dup(handle);
    if (state_ != wsConnected) return;
    if (Server != nullptr && Server->acceptedHandle_ == handle) { // accept() told the peer already
        acceptedPeer_ = Server->acceptedPeer_;
        peerKnown_ = true; // put in words when asked: most clients never are
        peerAddr_.clear();
        return;
    }
    peerKnown_ = false;
    peerAddr_ = TWSocket::GetPeerAddr();
    peerPort_ = TWSocket::GetPeerPort();
}

void TWSocketClient::NamePeer() {
    if (!peerKnown_ || !peerAddr_.empty()) return;
    peerAddr_ = WSocket_inet_ntoa(acceptedPeer_.sin_addr);
    peerPort_ = std::to_string(WSocket_ntohs(acceptedPeer_.sin_port));
}

void TWSocketClient::Release() {
    TWSocket::Release();
    if (Server != nullptr) Server->ReleaseClient(this);
}

void TWSocketClient::ThreadAttach() {
    TWSocket::ThreadAttach();
    if (Server == nullptr) return;
    windows_.push_back(Handle());
    Server->byWindow_[Handle()] = this;
}

void TWSocketClient::TriggerSessionClosed(uint16_t error) {
    if (!closedNotified_) {
        closedNotified_ = true;
        // By window handle: handles are never reused, so the message can only ever find this client.
        if (Server != nullptr)
            platform::PostMessage(Server->Handle(), WM_CLIENT_CLOSED, 0,
                                  static_cast<platform::LPARAM>(Handle()));
    }
    TWSocket::TriggerSessionClosed(error);
}

// ---- server ----

TCustomWSocketServer::TCustomWSocketServer(platform::TComponent* owner, const std::string& name)
    : TWSocket(owner, name) {
    ClientClass = [](TCustomWSocketServer* server) { return std::make_unique<TWSocketClient>(server); };
}

TCustomWSocketServer::~TCustomWSocketServer() {
    // The remaining clients go without OnClientDisconnect, newest first.
    while (!clients_.empty())
        clients_.pop_back();
}

TWSocketClient* TCustomWSocketServer::GetClient(int index) const {
    if (index < 0 || index >= GetClientCount()) return nullptr;
    return clients_[static_cast<size_t>(index)].get();
}

bool TCustomWSocketServer::IsClient(const void* object) const {
    return std::any_of(clients_.begin(), clients_.end(), [&](const auto& c) { return c.get() == object; });
}

void TCustomWSocketServer::ReleaseClient(TWSocketClient* client) {
    auto it =
        std::find_if(clients_.begin(), clients_.end(), [&](const auto& c) { return c.get() == client; });
    if (it == clients_.end()) return;
    std::unique_ptr<TWSocketClient> owned = std::move(*it);
    clients_.erase(it);
    for (platform::HWND window : owned->windows_)
        byWindow_.erase(window);
    owned->windows_.clear();
    owned->Server = nullptr; // its Release from now on only marks it
    ReleaseAtTurnEnd(std::move(owned));
}

void TCustomWSocketServer::TriggerClientCreate(TWSocketClient* client) {
    if (OnClientCreate) OnClientCreate(this, client, 0);
}

void TCustomWSocketServer::TriggerClientConnect(TWSocketClient* client, uint16_t error) {
    if (OnClientConnect) OnClientConnect(this, client, error);
}

void TCustomWSocketServer::TriggerClientDisconnect(TWSocketClient* client, uint16_t error) {
    if (OnClientDisconnect) OnClientDisconnect(this, client, error);
}

void TCustomWSocketServer::TriggerSessionAvailable(uint16_t error) {
    TWSocket::TriggerSessionAvailable(error);
    if (error != 0 || Released()) return;
    AcceptOne();
}

void TCustomWSocketServer::AcceptWaiting() {
    if (!acceptHeld_ || Released() || State() != wsListening) return;
    AcceptOne();
}

void TCustomWSocketServer::AcceptOne() {
    acceptHeld_ = false;
    if (AcceptGate && !AcceptGate(this)) {
        acceptHeld_ = State() == wsListening;
        return;
    }
    // Accept first: a failed accept (out of descriptors, a connection reset while queued) must neither
    // leave a half-made client behind nor take the listener down.
    SOCKET handle = ws::INVALID_SOCKET;
    try {
        handle = Accept();
    } catch (const ESocketException&) {
        AcceptFailed(std::current_exception());
    }
    if (handle == ws::INVALID_SOCKET) return;
    EndAcceptFailures();
    const sockaddr_in peer = sin_; // where Accept put the peer's address
    ++clientCounter_;
    std::unique_ptr<TWSocketClient> made;
    try {
        made = ClientClass(this);
    } catch (...) {
        WSocket_closesocket(handle);
        throw;
    }
    // The server owns its clients through its list: as components of the server they would make every
    // client's end a walk over all the others.
    if (made->Owner() == this) RemoveComponent(made.get());
    clients_.push_back(std::move(made));
    TWSocketClient* client = clients_.back().get();
    client->Server = this;
    client->windows_.assign(1, client->Handle());
    byWindow_[client->Handle()] = client;
    TriggerClientCreate(client);
    if (client->Released()) {
        WSocket_closesocket(handle);
        return;
    }
    client->SetName(Name() + "Client" + std::to_string(clientCounter_));
    client->Banner = Banner;
    acceptedHandle_ = handle;
    acceptedPeer_ = peer;
    client->Dup(handle);
    acceptedHandle_ = ws::INVALID_SOCKET;
    TriggerClientConnect(client, 0);
    if (client->Released() || client->State() != wsConnected) return;
    if (MaxClients > 0 && GetClientCount() > MaxClients) {
        client->Banner = BannerToBusy;
        client->StartConnection();
        client->Close();
    } else {
        client->StartConnection();
    }
}

void TCustomWSocketServer::AcceptFailed(std::exception_ptr failure) {
    const int code = LastError();
    if (code == ws::WSAEWOULDBLOCK) return; // the queued connection has gone: nothing failed
    if (code == acceptFailureCode_) {
        ++acceptFailures_;
        return;
    }
    EndAcceptFailures();
    acceptFailureCode_ = code;
    acceptFailures_ = 1;
    platform::EventLoop::Get().HandleException(failure);
}

void TCustomWSocketServer::EndAcceptFailures() {
    const int code = acceptFailureCode_, count = acceptFailures_;
    acceptFailureCode_ = acceptFailures_ = 0;
    if (count < 2) return;
    // Thrown and caught as every socket failure is (rather than made as an exception_ptr), so that what
    // it costs is what the first failure of the run cost already: with no descriptor left, that matters.
    try {
        throw ESocketException(platform::Format("Accept failed %d times in a row: %s (error %d), ended",
                                                count, WSocketErrorDesc(code).c_str(), code));
    } catch (const ESocketException&) {
        platform::EventLoop::Get().HandleException(std::current_exception());
    }
}

void TCustomWSocketServer::InternalClose(bool shut, uint16_t error) {
    acceptHeld_ = false;
    EndAcceptFailures();
    TWSocket::InternalClose(shut, error);
}

void TCustomWSocketServer::DropClient(TWSocketClient* client) {
    if (!IsClient(client)) return;
    try {
        client->Abort();
    } catch (...) {
    }
    ClientClosed(client->Handle());
}

void TCustomWSocketServer::ClientClosed(platform::HWND handle) {
    auto it = byWindow_.find(handle);
    if (it == byWindow_.end()) return; // freed already (with its server, or released by its owner)
    TWSocketClient* client = it->second;
    try {
        TriggerClientDisconnect(client, 0);
    } catch (const std::exception& e) {
        HandleBackGroundException(e);
    }
    ReleaseClient(client);
    // A slot is free: a connection held back in the backlog may come in now.
    if (acceptHeld_) AcceptWaiting();
}

void TCustomWSocketServer::WndProc(TMessage& message) {
    if (message.Msg != WM_CLIENT_CLOSED) return TWSocket::WndProc(message);
    ClientClosed(static_cast<platform::HWND>(message.LParam));
}

} // namespace net
