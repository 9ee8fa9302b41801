#pragma once
// One client of the TCP status server: it is sent the current status line about a second after it
// connected and then about once a second, each send due 1000 ms after the previous one has left, so a
// client that reads slowly holds up nobody but itself. What a client sends is not read. While there is
// no status line yet (no round read) the timer keeps ticking until there is one.
//
// A client that has taken none of the lines sent to it for two minutes is closed, and its slot is free
// again: the edge of its receive window (platform/winsock/PeerWindow.h) has not moved since the first
// line sent after it last moved, whatever the buffers on the way could still hold. A peer whose system
// goes on offering room while its program reads nothing looks like a reader until that room runs out.
// The connection's own send buffer is kept small: a few dozen lines, not the megabytes the system would
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
    // Looks every few seconds whether the client has taken anything; closes it after two minutes of not.
    platform::TTimer* TakenCheck = nullptr;
    // Turned away by the server (over its maximum): its end is not a disconnect to tell.
    bool Refused = false;
    // Its connect was told in a line of its own (not counted in a run): so is its disconnect.
    bool Told = false;

private:
    void CheckTaken();

    TPublishingHost& station_;
    uint64_t windowEdge_ = 0;   // where the peer's window ended at the last look
    bool untaken_ = false;      // a line went out since the window last moved
    uint32_t untakenSince_ = 0; // the clock tick of the first such line
};
