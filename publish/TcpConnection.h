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
// What a look at the window shows (lines left untaken, a shut window) is what decides whether the client
// gives its place to a newcomer (publish/FeedGivingWay.h).
// The connection's own send buffer is kept small: a few dozen lines, not the megabytes the system would
// grow it to.
#include <cstdint>

#include "net/Wsockets.h"
#include "platform/Timer.h"
#include "publish/FeedGivingWay.h"

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

    // Looks at its window now: what it shows of its reading (also looked at every few seconds).
    const TFeedClientSigns& Look();
    // The bytes its window showed unread at the last look (how far the window was below the widest it
    // was; 0 when the system does not tell).
    uint32_t Unread() const { return unread_; }

private:
    void CheckTaken();

    TPublishingHost& station_;
    TFeedClientSigns signs_;  // what the last look showed
    uint64_t windowEdge_ = 0; // where the peer's window ended at the last look
    uint32_t widest_ = 0;     // the widest window the peer advertised
    uint32_t unread_ = 0;     // how far its window was below that at the last look
};
