#include "publish/TcpConnection.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/winsock/PeerWindow.h"
#include "station/PublishingHost.h"

namespace {
// Lines not taken for this long: the client reads nothing.
constexpr uint32_t kUntakenLimitMs = 2 * 60 * 1000;
constexpr uint32_t kTakenCheckMs = 5000;
// The connection's send buffer (the system doubles it).
constexpr int kSendBufferBytes = 4096;
} // namespace

TCPConnection::TCPConnection(TPublishingHost& station)
    : net::TWSocketClient(nullptr), station_(station), readSeenAt_(platform::GetTickCount()) {
    station_.Logged({"TCP/IP Error (Connecting client): ", "TCP/IP Error (Connecting client)"}, [&] {
        SetLineMode(true);
        LineEdit = true;
        OnDataSent = [this](net::TCustomWSocket* s, uint16_t e) { ClientDataSent(s, e); };
        OnSessionClosed = [this](net::TCustomWSocket* s, uint16_t e) { ClientSessionClosed(s, e); };
        SendTimer = platform::MakeOwned<platform::TTimer>(this, "SendTimer");
        SendTimer->SetInterval(1000);
        SendTimer->OnTimer = [this](platform::TTimer* t) { SendTimerTimer(t); };
        SendTimer->SetEnabled(true);
        TakenCheck = platform::MakeOwned<platform::TTimer>(this, "TakenCheck");
        TakenCheck->SetInterval(kTakenCheckMs);
        TakenCheck->OnTimer = [this](platform::TTimer*) { CheckTaken(); };
        TakenCheck->SetEnabled(true);
    });
}

void TCPConnection::Dup(net::SOCKET handle) {
    net::TWSocketClient::Dup(handle);
    if (State() == net::wsConnected) {
        int size = kSendBufferBytes;
        net::WSocket_setsockopt(HSocket(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    }
}

TCPConnection::~TCPConnection() {
    if (SendTimer) SendTimer->SetEnabled(false);
    if (TakenCheck) TakenCheck->SetEnabled(false);
}

void TCPConnection::SendTimerTimer(platform::TTimer*) {
    station_.Logged(
        {"TCP/IP Error (Sending data to client): ", "TCP/IP Error (Sending data to client)"}, [&] {
            SendTimer->SetEnabled(false);
            // An empty line sends nothing, so no completion would arm the timer again.
            const std::string& line = station_.StatusLineText();
            if (line.empty() || State() != net::wsConnected) {
                SendTimer->SetEnabled(State() == net::wsConnected);
            } else if (SendStr(line) > 0 && !untaken_) {
                untaken_ = true;
                untakenSince_ = platform::GetTickCount();
            }
        });
}

uint32_t TCPConnection::NoReadFor(uint32_t nowMs) const {
    return platform::TicksElapsed(nowMs, readSeenAt_);
}

void TCPConnection::CheckTaken() {
    if (State() != net::wsConnected) return;
    const auto window = platform::winsock::GetPeerWindow(HSocket());
    if (!window) {
        // Not told: a line that leaves for the system counts as taken.
        if (AllSent()) untaken_ = false;
    } else {
        // A read shows as the window growing back, or as the peer taking more than its window had room
        // for at the last look (a shut window that our queued lines filled again at once).
        widest_ = std::max(widest_, window->Width);
        const uint32_t unread = widest_ - window->Width;
        if (windowEdge_ != 0 && (unread < unread_ || window->Acked > windowEdge_))
            readSeenAt_ = platform::GetTickCount();
        unread_ = unread;
        if (window->Edge() != windowEdge_) {
            windowEdge_ = window->Edge();
            untaken_ = false;
        }
    }
    if (untaken_ && platform::TicksElapsed(platform::GetTickCount(), untakenSince_) >= kUntakenLimitMs) {
        TakenCheck->SetEnabled(false);
        Abort();
    }
}

void TCPConnection::ClientDataSent(net::TCustomWSocket*, uint16_t) {
    if (SendTimer) SendTimer->SetEnabled(true);
}

void TCPConnection::ClientSessionClosed(net::TCustomWSocket*, uint16_t) {
    if (SendTimer) SendTimer->SetEnabled(false);
    if (TakenCheck) TakenCheck->SetEnabled(false);
}
