#pragma once
// One client of the TCP status server: it is sent the current status line about a second after it
// connected and then about once a second, each send due 1000 ms after the previous one has left, so a
// client that reads slowly holds up nobody but itself. What a client sends is not read. While there is
// no status line yet (no round read) the timer keeps ticking until there is one.
//
// A client that reads nothing holds a slot until its connection's buffers are full; once a line then
// cannot leave for a minute, the client is closed and its slot is free again. The system cannot tell
// sooner whether a peer reads (its receive window stays open until some 64 KB wait in it), so the
// connection's own send buffer is kept small: a few dozen lines, not the megabytes the system would
// grow it to.
#include <cstdint>

#include "net/Wsockets.h"
#include "platform/Timer.h"

class TPublishingHost;

class TCPConnection : public net::TWSocketClient {
public:
    explicit TCPConnection(TPublishingHost& station);
    ~TCPConnection() override;

    void ClientDataSent(net::TCustomWSocket* sender, uint16_t error);
    void ClientSessionClosed(net::TCustomWSocket* sender, uint16_t error);
    void SendTimerTimer(platform::TTimer* sender);
    void Dup(net::SOCKET handle) override;

    platform::TTimer* SendTimer = nullptr;
    // Runs while a line waits to leave; at its end the client is closed.
    platform::TTimer* UnreadTimer = nullptr;
    // Turned away by the server (over its maximum): its end is not a disconnect to tell.
    bool Refused = false;

private:
    TPublishingHost& station_;
};
