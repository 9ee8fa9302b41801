#pragma once
// One client of the TCP status server: it is sent the current status line about a second after it
// connected and then about once a second, each send due 1000 ms after the previous one has left, so a
// client that reads slowly holds up nobody but itself. What a client sends is not read. While there is
// no status line yet (no round read) the timer keeps ticking until there is one.
//
// A client that has taken none of the lines sent to it for two minutes is closed, and its slot is free
// again: the edge of its receive window (platform/winsock/PeerWindow.h) has not moved since the first
// line sent after it last moved, whatever the buffers on the way could still hold. A peer whose system
// goes on offering room while its program reads nothing looks like a reader until that room runs out:
// such a client may be made to give its place to a newcomer instead (StatusFeeds.h), which asks each
// client what its window shows: how much lies unread (how far the window has shrunk below the widest it
// was), and how long ago it last showed a read (the window growing back, or the peer taking more than
// its window had room for at the look before).
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

    // The bytes its window shows unread at the last look (0 when it shows none).
    uint32_t Unread() const { return unread_; }
    // How long ago its window last showed a read, or it connected.
    uint32_t NoReadFor(uint32_t nowMs) const;

private:
    void CheckTaken();

    TPublishingHost& station_;
    uint64_t windowEdge_ = 0;   // where the peer's window ended at the last look
    bool untaken_ = false;      // a line went out since the window last moved
    uint32_t untakenSince_ = 0; // the clock tick of the first such line
    uint32_t widest_ = 0;       // the widest window the peer advertised
    uint32_t unread_ = 0;       // how far its window was below that at the last look
    uint32_t readSeenAt_;       // the clock tick its window last showed a read, or it connected
};
