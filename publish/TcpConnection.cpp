#include "publish/TcpConnection.h"

#include "station/PublishingHost.h"

namespace {
// A line that cannot leave for this long: the client reads nothing.
constexpr uint32_t kUnreadLimitMs = 60000;
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
        UnreadTimer = platform::MakeOwned<platform::TTimer>(this, "UnreadTimer");
        UnreadTimer->SetEnabled(false);
        UnreadTimer->SetInterval(kUnreadLimitMs);
        UnreadTimer->OnTimer = [this](platform::TTimer*) {
            UnreadTimer->SetEnabled(false);
            if (State() == net::wsConnected) Abort();
        };
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
    if (UnreadTimer) UnreadTimer->SetEnabled(false);
}

void TCPConnection::SendTimerTimer(platform::TTimer*) {
    station_.Logged(
        {"TCP/IP Error (Sending data to client): ", "TCP/IP Error (Sending data to client)"}, [&] {
            SendTimer->SetEnabled(false);
            // An empty line sends nothing, so no completion would arm the timer again.
            const std::string& line = station_.StatusLineText();
            if (line.empty() || State() != net::wsConnected)
                SendTimer->SetEnabled(State() == net::wsConnected);
            else if (SendStr(line) > 0 && !AllSent() && UnreadTimer)
                UnreadTimer->SetEnabled(true); // the buffers are full: the client has stopped reading
        });
}

void TCPConnection::ClientDataSent(net::TCustomWSocket*, uint16_t) {
    if (UnreadTimer) UnreadTimer->SetEnabled(false);
    if (SendTimer) SendTimer->SetEnabled(true);
}

void TCPConnection::ClientSessionClosed(net::TCustomWSocket*, uint16_t) {
    if (SendTimer) SendTimer->SetEnabled(false);
    if (UnreadTimer) UnreadTimer->SetEnabled(false);
}
