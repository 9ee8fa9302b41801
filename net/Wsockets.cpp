#include "net/Wsockets.h"

#include <algorithm>

namespace net {

// ---- client ----

TWSocketClient::TWSocketClient(platform::TComponent* owner, const std::string& name)
    : TWSocket(owner, name) {}

TWSocketClient::~TWSocketClient() {
    if (Server != nullptr) Server->Forget(this);
}

void TWSocketClient::StartConnection() {
    if (!Banner.empty()) SendStr(Banner + "\r\n");
}

void TWSocketClient::Dup(SOCKET handle) {
    TWSocket::Dup(handle);
    if (state_ != wsConnected) return;
    peerAddr_ = TWSocket::GetPeerAddr();
    peerPort_ = TWSocket::GetPeerPort();
}

void TWSocketClient::TriggerSessionClosed(uint16_t error) {
    if (!closedNotified_) {
        closedNotified_ = true;
        if (Server != nullptr)
            platform::PostMessage(Server->Handle(), WM_CLIENT_CLOSED, 0,
                                  reinterpret_cast<platform::LPARAM>(this));
    }
    TWSocket::TriggerSessionClosed(error);
}

// ---- server ----

TCustomWSocketServer::TCustomWSocketServer(platform::TComponent* owner, const std::string& name)
    : TWSocket(owner, name) {
    ClientClass = [](TCustomWSocketServer* server) { return new TWSocketClient(server); };
}

TCustomWSocketServer::~TCustomWSocketServer() {
    // The remaining clients go without OnClientDisconnect, newest first.
    while (!clients_.empty())
        delete clients_.back();
}

TWSocketClient* TCustomWSocketServer::GetClient(int index) const {
    if (index < 0 || index >= GetClientCount()) return nullptr;
    return clients_[static_cast<size_t>(index)];
}

bool TCustomWSocketServer::IsClient(const void* object) const {
    return std::find(clients_.begin(), clients_.end(), object) != clients_.end();
}

void TCustomWSocketServer::Forget(TWSocketClient* client) {
    auto it = std::find(clients_.begin(), clients_.end(), client);
    if (it != clients_.end()) clients_.erase(it);
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
    auto life = LifeToken();
    TWSocket::TriggerSessionAvailable(error);
    if (life.expired() || error != 0) return;
    // Accept first: a failed accept (out of descriptors, a connection reset while queued) must neither
    // leave a half-made client behind nor take the listener down.
    SOCKET handle = ws::INVALID_SOCKET;
    try {
        handle = Accept();
    } catch (const ESocketException&) {
        platform::EventLoop::Get().HandleException(std::current_exception());
    }
    if (life.expired() || handle == ws::INVALID_SOCKET) return;
    ++clientCounter_;
    TWSocketClient* client = ClientClass(this);
    client->Server = this;
    Adopt(client);
    TriggerClientCreate(client);
    if (life.expired()) return;
    if (!IsClient(client)) return;
    client->SetName(Name() + "Client" + std::to_string(clientCounter_));
    client->Banner = Banner;
    client->Dup(handle);
    if (life.expired()) return;
    TriggerClientConnect(client, error);
    if (life.expired() || !IsClient(client) || client->State() != wsConnected) return;
    if (MaxClients > 0 && GetClientCount() > MaxClients) {
        client->Banner = BannerToBusy;
        client->StartConnection();
        if (life.expired() || !IsClient(client)) return;
        client->Close();
    } else {
        client->StartConnection();
    }
}

void TCustomWSocketServer::WndProc(TMessage& message) {
    if (message.Msg != WM_CLIENT_CLOSED) return TWSocket::WndProc(message);
    auto* client = reinterpret_cast<TWSocketClient*>(message.LParam);
    // The client may be gone already (freed with its server or by its owner): check before use.
    if (!IsClient(client)) return;
    auto life = LifeToken();
    try {
        TriggerClientDisconnect(client, 0);
    } catch (const std::exception& e) {
        if (!life.expired()) HandleBackGroundException(e);
    }
    if (life.expired()) return;
    if (IsClient(client)) delete client;
}

} // namespace net
