#include "publish/TcpConnection.h"

#include "station/Unit1.h"

TCPConnection::TCPConnection(TMainForm& form) : net::TWSocketClient(nullptr), form_(form) {
    form_.Logged({"TCP/IP Error (Connecting client): ", "TCP/IP Error (Connecting client)"}, [&] {
        SetLineMode(true);
        LineEdit = true;
        OnDataSent = [this](net::TCustomWSocket* s, uint16_t e) { ClientDataSent(s, e); };
        OnSessionClosed = [this](net::TCustomWSocket* s, uint16_t e) { ClientSessionClosed(s, e); };
        SendTimer = platform::MakeOwned<platform::TTimer>(this, "SendTimer");
        SendTimer->SetInterval(1000);
        SendTimer->OnTimer = [this](platform::TTimer* t) { SendTimerTimer(t); };
        SendTimer->SetEnabled(true);
    });
}

TCPConnection::~TCPConnection() {
    if (SendTimer) SendTimer->SetEnabled(false);
}

void TCPConnection::SendTimerTimer(platform::TTimer*) {
    form_.Logged({"TCP/IP Error (Sending data to client): ", "TCP/IP Error (Sending data to client)"}, [&] {
        SendTimer->SetEnabled(false);
        // An empty line sends nothing, so no completion would arm the timer again.
        if (StatusLine.empty() || State() != net::wsConnected)
            SendTimer->SetEnabled(State() == net::wsConnected);
        else
            SendStr(StatusLine);
    });
}

void TCPConnection::ClientDataSent(net::TCustomWSocket*, uint16_t) {
    if (SendTimer) SendTimer->SetEnabled(true);
}

void TCPConnection::ClientSessionClosed(net::TCustomWSocket*, uint16_t) {
    if (SendTimer) SendTimer->SetEnabled(false);
}
