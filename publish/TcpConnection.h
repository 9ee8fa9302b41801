#pragma once
// One client of the TCP status server: it is sent the current status line about a second after it
// connected and then about once a second, each send due 1000 ms after the previous one has left, so a
// client that reads slowly holds up nobody but itself. What a client sends is not read. While there is
// no status line yet (no round read) the timer keeps ticking until there is one.
#include <cstdint>

#include "net/Wsockets.h"
#include "platform/Timer.h"

class TMainForm;

class TCPConnection : public net::TWSocketClient {
public:
    explicit TCPConnection(TMainForm& form);
    ~TCPConnection() override;

    void ClientDataSent(net::TCustomWSocket* sender, uint16_t error);
    void ClientSessionClosed(net::TCustomWSocket* sender, uint16_t error);
    void SendTimerTimer(platform::TTimer* sender);

    platform::TTimer* SendTimer = nullptr;

private:
    TMainForm& form_;
};
