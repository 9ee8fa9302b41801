// The HTTP server component: the listening socket server and the wiring of each connection.
#include "net/Httpsrv.h"

#include <algorithm>

namespace net {

THttpServer::THttpServer(platform::TComponent* owner, const std::string& name) : TComponent(owner, name) {
    server_ = new TWSocketServer(this, name + "WSocketServer");
    ClientClass = [](TCustomWSocketServer* server) { return new THttpConnection(server); };
}

THttpServer::~THttpServer() {
    life_.reset();
    delete server_;
    server_ = nullptr;
}

void THttpServer::SetPort(const std::string& value) {
    if (value == port_) return;
    port_ = value;
    if (server_ != nullptr && server_->State() == wsListening) {
        server_->Close();
        Start();
    }
}

void THttpServer::SetAddr(const std::string& value) {
    if (value == addr_) return;
    addr_ = value;
    if (server_ != nullptr && server_->State() == wsListening) {
        server_->Close();
        Start();
    }
}

THttpConnection* THttpServer::GetClient(int index) const {
    return server_ != nullptr ? static_cast<THttpConnection*>(server_->GetClient(index)) : nullptr;
}

void THttpServer::TriggerServerStarted() {
    if (OnServerStarted) OnServerStarted(this);
}
void THttpServer::TriggerServerStopped() {
    if (OnServerStopped) OnServerStopped(this);
}
void THttpServer::TriggerPostDocument(THttpConnection* client, THttpGetFlag& flags) {
    if (OnPostDocument) OnPostDocument(this, client, flags);
}
void THttpServer::TriggerPostedData(THttpConnection* client, uint16_t error) {
    if (OnPostedData) OnPostedData(this, client, error);
}

void THttpServer::WireConnection(THttpConnection* connection) {
    connection->SetLineMode(true);
    connection->LineEnd = '\n';
    connection->LineEdit = false;
    connection->DocDir = DocDir;
    connection->DefaultDoc = DefaultDoc;
    connection->IdleTimeoutMs = IdleTimeoutMs;
    connection->OnGetDocument = [this](THttpConnection* c, THttpGetFlag& flags) {
        if (OnGetDocument) OnGetDocument(this, c, flags);
    };
    connection->OnHeadDocument = [this](THttpConnection* c, THttpGetFlag& flags) {
        if (OnHeadDocument) OnHeadDocument(this, c, flags);
    };
    connection->OnPostDocument = [this](THttpConnection* c, THttpGetFlag& flags) {
        TriggerPostDocument(c, flags);
    };
    connection->OnPostedData = [this](THttpConnection* c, uint16_t error) { TriggerPostedData(c, error); };
    connection->OnBadRequest = [this](THttpConnection* c, const std::string& reason) {
        if (OnBadRequest) OnBadRequest(this, c, reason);
    };
}

void THttpServer::Start() {
    if (server_ == nullptr) server_ = new TWSocketServer(this, Name() + "WSocketServer");
    if (server_->State() == wsListening) return;
    server_->ClientClass = [this](TCustomWSocketServer* s) -> TWSocketClient* { return ClientClass(s); };
    server_->OnClientCreate = [this](TCustomWSocketServer*, TWSocketClient* client, uint16_t) {
        client->LingerOnOff = LingerOnOff;
        client->LingerTimeout = LingerTimeout;
    };
    server_->OnClientConnect = [this](TCustomWSocketServer*, TWSocketClient* client, uint16_t error) {
        auto* connection = static_cast<THttpConnection*>(client);
        WireConnection(connection);
        if (OnClientConnect) OnClientConnect(this, connection, error);
        // The idle clock starts with the connection: a client that never speaks is closed too.
        if (server_->IsClient(connection) && connection->State() == wsConnected)
            connection->RestartIdleTimer();
    };
    server_->OnClientDisconnect = [this](TCustomWSocketServer*, TWSocketClient* client, uint16_t error) {
        if (OnClientDisconnect) OnClientDisconnect(this, static_cast<THttpConnection*>(client), error);
    };
    server_->OnSessionClosed = [this](TCustomWSocket*, uint16_t) { TriggerServerStopped(); };
    server_->OnChangeState = [this](TCustomWSocket*, TSocketState, TSocketState newState) {
        if (newState == wsListening) TriggerServerStarted();
    };
    server_->Banner.clear();
    // Over the limit a client gets a complete answer instead of the socket server's greeting.
    server_->BannerToBusy =
        "HTTP/1.0 503 Service Unavailable\r\nContent-Type: text/html\r\nContent-Length: 0\r\n";
    server_->MaxClients = MaxClients;
    // Browsers open several connections at once: a queue of 5 would drop handshakes in a burst and
    // stall those pages for a second.
    server_->ListenBacklog = std::max(5, MaxClients);
    server_->SetProto("tcp");
    server_->SetPort(port_);
    server_->SetAddr(addr_);
    server_->Listen();
}

void THttpServer::Stop() {
    if (server_ == nullptr) return;
    server_->Close();
    for (int i = server_->GetClientCount() - 1; i >= 0; --i) {
        try {
            if (TWSocketClient* client = server_->GetClient(i)) client->Abort();
        } catch (...) {
        }
    }
}

} // namespace net
