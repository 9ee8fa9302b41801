// The HTTP server component: the listening socket server and the wiring of each connection.
#include "net/Httpsrv.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/DescriptorLimit.h"

namespace net {

namespace {
// The connections' limits are looked at no more often than this: a look walks them all, and a server
// of thousands would otherwise walk them for each limit that passes.
constexpr uint32_t kLimitLookSpacingMs = 10;
// The connections a look ends at most; the next look ends the rest. A crowd that came at once passes
// its deadline at once: ending ten thousand in one look held the loop for some 200 ms, and every
// visitor with it.
constexpr int kLimitEndsPerLook = 128;
} // namespace

int HttpConnectionsHeld(size_t limit, int most) {
    const size_t spare = kHttpDescriptorsKept + static_cast<size_t>(kHttpLeavingMax);
    const size_t allowed =
        limit > spare ? std::min<size_t>(limit - spare, static_cast<size_t>(kHttpConnectionsMost)) : 1;
    return most > 0 ? std::min(most, static_cast<int>(allowed)) : static_cast<int>(allowed);
}

THttpServer::THttpServer(platform::TComponent* owner, const std::string& name)
    : TComponent(owner, name), server_(std::make_unique<TWSocketServer>(nullptr, name + "WSocketServer")) {
    ClientClass = [](TCustomWSocketServer* server) { return std::make_unique<THttpConnection>(server); };
    roomTimer_.SetEnabled(false);
    roomTimer_.OnTimer = [this](platform::TTimer*) {
        roomTimer_.SetEnabled(false);
        if (server_ != nullptr) server_->AcceptWaiting();
    };
    limitTimer_.SetEnabled(false);
    limitTimer_.OnTimer = [this](platform::TTimer*) { CheckLimits(); };
}

void THttpServer::CheckLimits() {
    limitTimer_.SetEnabled(false);
    const uint32_t now = platform::GetTickCount();
    uint32_t next = UINT32_MAX;
    int ended = 0;
    // An aborted connection stays in the list until its close message: the indexes hold.
    for (int i = 0; i < GetClientCount(); ++i) {
        THttpConnection* connection = GetClient(i);
        uint32_t left = connection->CheckLimits(now, false);
        if (left == 0 && ended < kLimitEndsPerLook) {
            left = connection->CheckLimits(now, true);
            ++ended;
        }
        next = std::min(next, left);
    }
    if (next != UINT32_MAX) CheckLimitsWithin(std::max(next, kLimitLookSpacingMs));
}

void THttpServer::CheckLimitsWithin(uint32_t ms) {
    const uint32_t now = platform::GetTickCount();
    ms = std::max<uint32_t>(ms, 1);
    if (limitTimer_.Enabled() && platform::TicksElapsed(limitDue_, now) <= ms) return; // due sooner already
    limitDue_ = now + ms;
    limitTimer_.SetEnabled(false);
    limitTimer_.SetInterval(ms);
    limitTimer_.SetEnabled(true);
}

THttpServer::~THttpServer() = default;

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
    connection->HeadTimeoutMs = HeadTimeoutMs;
    connection->AnswerStallMs = AnswerStallMs;
    connection->OnLimitsChanged = [this](uint32_t ms) { CheckLimitsWithin(ms); };
    connection->OnLeaving = [this] { ++leaving_; };
    // One that has spoken without ending its head may give way at once now; not from inside its own
    // handler, though, as it may be the one to go.
    connection->OnHeard = [this] {
        if (server_ != nullptr && server_->AcceptHeld()) LookForRoomSoon();
    };
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

bool THttpServer::MakeRoom() {
    // The connections on their way out have all the descriptors they may have beside those held: the
    // first of them to close lets the next one in.
    if (GetClientCount() >= capacity_ + kHttpLeavingMax) return false;
    const uint32_t now = platform::GetTickCount();
    uint32_t soonest = ShedGraceMs;
    bool closing = false; // one that closes: its slot is free in a moment
    if (Held() < capacity_ || GiveWay(now, soonest, closing)) {
        full_ = false; // full again later, the server counts its grace anew
        return true;
    }
    // Nothing may give way yet. A newcomer waits in the backlog for the grace at most: a server that
    // has been full for longer turns it away (unless a slot is about to be free). By then every
    // connection that has made no progress since the server became full has given way.
    if (!full_) {
        full_ = true;
        fullSince_ = now;
    }
    const uint32_t fullFor = platform::TicksElapsed(now, fullSince_);
    if (fullFor > ShedGraceMs && !closing) return true; // taken beyond the capacity, turned away at once
    if (fullFor <= ShedGraceMs) soonest = std::min(soonest, ShedGraceMs - fullFor + 1);
    // Look again when the first one may give way (a client that leaves comes first).
    roomTimer_.SetEnabled(false);
    roomTimer_.SetInterval(std::max<uint32_t>(soonest, 1));
    roomTimer_.SetEnabled(true);
    return false;
}

bool THttpServer::GiveWay(uint32_t now, uint32_t& soonest, bool& closing) {
    // The oldest connection still reading its request head gives way: at once when part of its head
    // has come (a client that keeps up sends it whole), once it has been set up for the grace when
    // nothing has (its request may be on its way). What it has received is read first, so that a
    // request that came meanwhile is answered rather than dropped.
    for (int i = 0; i < GetClientCount();) {
        THttpConnection* c = GetClient(i);
        if (!c->ReadingHead()) {
            ++i;
            continue;
        }
        if (const uint32_t age = c->ConnectedFor(now); c->Silent() && age <= ShedGraceMs) {
            soonest = std::min(soonest, ShedGraceMs - age + 1);
            ++i;
            continue;
        }
        c->ReadArrived();
        if (GetClient(i) != c) continue; // it left the list: whoever took its index is looked at
        if (c->ReadingHead()) {
            c->TurnAway("408 Request Timeout");
            return true;
        }
        ++i;
    }
    // Then the one whose answer (or posted body) has made no progress for longest, beyond the grace.
    THttpConnection* stalest = nullptr;
    uint32_t stalestFor = 0;
    for (int i = 0; i < GetClientCount(); ++i) {
        THttpConnection* c = GetClient(i);
        closing = closing || (!c->Leaving() && (c->State() != wsConnected || c->Closing()));
        if (!c->MayGiveWay()) continue;
        const uint32_t quiet = platform::TicksElapsed(now, c->ProgressTick());
        if (quiet > ShedGraceMs) {
            if (stalest == nullptr || quiet > stalestFor) {
                stalest = c;
                stalestFor = quiet;
            }
        } else {
            soonest = std::min(soonest, ShedGraceMs - quiet + 1);
        }
    }
    if (stalest == nullptr) return false;
    if (stalest->RequestMayStillCome())
        stalest->TurnAway("408 Request Timeout"); // a posted body that stopped
    else
        server_->DropClient(stalest);
    return true;
}

void THttpServer::LookForRoomSoon() {
    if (roomTimer_.Enabled() && roomTimer_.Interval() == 1) return;
    roomTimer_.SetEnabled(false);
    roomTimer_.SetInterval(1);
    roomTimer_.SetEnabled(true);
}

void THttpServer::Start() {
    if (server_ == nullptr) server_ = std::make_unique<TWSocketServer>(nullptr, Name() + "WSocketServer");
    if (server_->State() == wsListening) return;
    server_->ClientClass = [this](TCustomWSocketServer* s) -> std::unique_ptr<TWSocketClient> {
        return ClientClass(s);
    };
    server_->OnClientCreate = [this](TCustomWSocketServer*, TWSocketClient* client, uint16_t) {
        client->LingerOnOff = LingerOnOff;
        client->LingerTimeout = LingerTimeout;
    };
    server_->OnClientConnect = [this](TCustomWSocketServer*, TWSocketClient* client, uint16_t error) {
        auto* connection = static_cast<THttpConnection*>(client);
        WireConnection(connection);
        // The clocks start with the connection: a client that never speaks is closed too.
        connection->StartTimers();
        // Taken beyond the capacity: the server is full (the owner meets it on its way out).
        if (Held() > capacity_) connection->TurnAway("503 Service Unavailable");
        if (OnClientConnect) OnClientConnect(this, connection, error);
        if (connection->Released() || connection->State() != wsConnected || connection->Leaving()) return;
        // Its request is often there already: answered now, without waiting for the loop to tell.
        connection->ReadArrived();
        // Taken into a full table, a connection that has said nothing may have waited in the backlog
        // for long: that wait counts towards its grace.
        if (Held() >= capacity_ && connection->ReadingHead() && connection->Silent())
            connection->NoteBacklogWait();
    };
    server_->OnClientDisconnect = [this](TCustomWSocketServer*, TWSocketClient* client, uint16_t error) {
        auto* connection = static_cast<THttpConnection*>(client);
        if (connection->Leaving()) --leaving_;
        if (OnClientDisconnect) OnClientDisconnect(this, connection, error);
    };
    server_->OnSessionClosed = [this](TCustomWSocket*, uint16_t) { TriggerServerStopped(); };
    server_->OnChangeState = [this](TCustomWSocket*, TSocketState, TSocketState newState) {
        if (newState == wsListening) TriggerServerStarted();
    };
    server_->Banner.clear();
    server_->MaxClients = 0; // the limit is kept here, before each accept (MakeRoom)
    // Connections turned away before a restart are still on their way out: each is counted off as it
    // closes. A server still full since before the restart has been full since then.
    capacity_ = HttpConnectionsHeld(platform::DescriptorLimit(), MaxClients);
    server_->AcceptGate = [this](TCustomWSocketServer*) { return MakeRoom(); };
    // Connections beyond the capacity wait here, not accepted: a burst of thousands must fit (the kernel
    // caps the queue at net.core.somaxconn), or their handshakes are dropped and retried a second later.
    server_->ListenBacklog = 4096;
    server_->DeferAcceptSeconds = DeferAcceptSeconds;
    server_->SetProto("tcp");
    server_->SetPort(port_);
    server_->SetAddr(addr_);
    server_->Listen();
}

void THttpServer::Stop() {
    roomTimer_.SetEnabled(false);
    limitTimer_.SetEnabled(false);
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
