#pragma once
// The status line for other programs: a TCP server on [Weather] TCPPort (at most 10 clients, each sent
// the line about once a second by its own TCPConnection), and one UDP datagram with the line to
// [Weather] UDPAddress:UDPPort after every reading round. The supervisor starts and stops both to follow
// TCPEnabled and UDPEnabled.
//
// The server listens where the web server does ([HTTP] Addr). A client is greeted with "Malvoren 1-Wire
// Systems, initializing..." CR LF. When all ten slots are taken, a newcomer takes the place only of a
// client that shows it does not read (publish/FeedGivingWay.h): its receive window shut, or the lines
// sent to it left untaken for two minutes. A client that reads is never cut for a newcomer: while none
// shows such a sign, the newcomer is sent "Sorry, too many clients" CR LF and closed. A client whose
// system grows its buffer while its program reads nothing (Linux with default buffers) shows no sign
// until that buffer is full: it keeps its slot until then.
//
// A refusal is not logged as a connection. Connections and refusals are told in runs: the first of a
// run has its own line ("connected" and "disconnected", or "turned away"), the others within a few
// seconds of each other are counted, and the counts are told when the run ends (and every minute while
// it lasts). A client that takes none of the lines it is sent for two minutes is closed (TCPConnection).
// The UDP feed keeps one socket; it may broadcast (SO_BROADCAST is set for any address, a subnet's
// broadcast address among them). A start that fails frees what it made and is tried again on the next
// pass; the first failure of a run is logged, and so is the first failed datagram of a run.
#include <memory>
#include <string>

#include "net/Wsocket.h"
#include "net/Wsockets.h"
#include "platform/Timer.h"
#include "publish/FailureRun.h"

class TPublishingHost;
class TCPConnection;

class TStatusFeeds {
public:
    explicit TStatusFeeds(TPublishingHost& station) : station_(station) {}
    ~TStatusFeeds();
    TStatusFeeds(const TStatusFeeds&) = delete;
    TStatusFeeds& operator=(const TStatusFeeds&) = delete;

    // 1 when the server listens (the UDP feed is on), else 0; the station's TCP (UDP) service running flag
    // says the same.
    int StartTCPServices();
    void StopTCPServices();
    int StartUDPServices();
    void StopUDPServices();
    void SendUDPStatus(const std::string& line);

    void TCPServerClientConnect(net::TCustomWSocketServer* sender, net::TWSocketClient* client,
                                uint16_t error);
    void TCPServerClientDisconnect(net::TCustomWSocketServer* sender, net::TWSocketClient* client,
                                   uint16_t error);

    std::unique_ptr<net::TWSocketServer> TCPServer;
    net::TWSocket* UDPSendSocket = nullptr;
    int TCPClientCount = 0;

private:
    // Asked before a connection is taken: when the table is full, makes room by closing a client that
    // gives way, if one does. False while clients turned away are still closing.
    bool MakeRoom(net::TCustomWSocketServer& server);
    // A connect or disconnect of a client let in: told in a line of its own, or counted in a run.
    void NoteConnection(TCPConnection& client, bool connected);
    // A client turned away: told in a line of its own when no run goes on, else counted in the run.
    void NoteRefusal(TCPConnection& client);
    // Starts a run, or keeps the one going on from ending.
    void GoOnWithRun();
    // Tells the counts of the run of connections; with end, the run is over.
    void TellConnectionRun(bool end);

    TPublishingHost& station_;
    TFailureRun tcpStartFailures_, udpStartFailures_, udpSendFailures_;
    // The run of connections: active from a told connect until no connect or disconnect came for a few
    // seconds; what it counted since its last line.
    struct {
        bool active = false;
        uint32_t lastEvent = 0, toldAt = 0;
        int connected = 0, disconnected = 0, refused = 0;
        std::unique_ptr<platform::TTimer> timer;
    } run_;
    uint32_t udpOpened_ = 0; // the clock tick the UDP socket was opened
};
