#include "publish/TcpConnection.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/winsock/PeerWindow.h"
#include "station/PublishingHost.h"

namespace {
constexpr uint32_t kTakenCheckMs = 5000;
// The connection's send buffer (the system doubles it).
constexpr int kSendBufferBytes = 4096;
} // namespace

TCPConnection::TCPConnection(TPublishingHost& station) : net::TWSocketClient(nullptr), station_(station) {
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
            } else if (SendStr(line) > 0 && !signs_.Untaken) {
                signs_.Untaken = true;
                signs_.UntakenSince = platform::GetTickCount();
            }
        });
}

const TFeedClientSigns& TCPConnection::Look() {
    signs_.InPlay = !Refused && State() == net::wsConnected;
    signs_.WindowShut = false;
    if (!signs_.InPlay) return signs_;
    const auto window = platform::winsock::GetPeerWindow(HSocket());
    if (!window) {
        // Not told: a line that leaves for the system counts as taken.
        if (AllSent()) signs_.Untaken = false;
        return signs_;
    }
    if (window->Width) {
        widest_ = std::max(widest_, *window->Width);
        unread_ = widest_ - *window->Width;
        signs_.WindowShut = *window->Width == 0;
    }
    if (window->Edge() != windowEdge_) {
        windowEdge_ = window->Edge();
        signs_.Untaken = false;
    }
    return signs_;
}

void TCPConnection::CheckTaken() {
    if (!Look().InPlay || !LeftUntakenTooLong(signs_, platform::GetTickCount())) return;
    TakenCheck->SetEnabled(false);
    Abort();
}

void TCPConnection::ClientDataSent(net::TCustomWSocket*, uint16_t) {
    if (SendTimer) SendTimer->SetEnabled(true);
}

void TCPConnection::ClientSessionClosed(net::TCustomWSocket*, uint16_t) {
    if (SendTimer) SendTimer->SetEnabled(false);
    if (TakenCheck) TakenCheck->SetEnabled(false);
}
