#include "publish/StatusFeeds.h"

#include <memory>
#include <vector>

#include "net/ListenFailure.h"
#include "net/WinsockLoader.h"
#include "platform/Clock.h"
#include "platform/Strings.h"
#include "publish/FeedGivingWay.h"
#include "publish/TcpConnection.h"
#include "station/PublishingHost.h"

namespace {
// How long the UDP feed sends to the address a host name had when its socket was opened.
constexpr uint32_t kNameLifetimeMs = 10 * 60 * 1000;
// Connections closer together than this are one run; a run that goes on is told every minute.
constexpr uint32_t kRunGapMs = 5000;
constexpr uint32_t kRunTellMs = 60000;
constexpr net::TListenerRole kTcpFeed = {"the TCP status feed", "TCP",
                                         "no client gets this station's status lines"};
} // namespace

TStatusFeeds::~TStatusFeeds() {
    run_.timer.reset();
    TCPServer.reset();
    delete UDPSendSocket;
}

// ---- TCP ----

int TStatusFeeds::StartTCPServices() {
    station_.SetServiceRunning(TPublishingService::TCP, false);
    TCPClientCount = 0;
    const TStationSettings& s = station_.Settings();
    if (s.TCPEnabled) {
        auto server = std::make_unique<net::TWSocketServer>(nullptr, "TCPServer");
        bool listening = tcpStartFailures_.Run(
            station_, {"TCP/IP Error (startup TCP): ", "TCP/IP Error (startup TCP)"}, [&] {
                server->MaxClients = 10;
                // Where the web server listens: a station set to serve this machine only does so here too.
                server->SetAddr(s.HTTPAddr);
                server->SetProto("tcp");
                server->SetLineMode(true);
                server->ReuseAddr = true;
                server->MultiThreaded = true;
                server->SetPort(s.TCPPort);
                server->Banner = "Malvoren 1-Wire Systems, initializing...";
                server->ClientClass = [this](net::TCustomWSocketServer*) {
                    return std::make_unique<TCPConnection>(station_);
                };
                server->OnClientConnect = [this](net::TCustomWSocketServer* sv, net::TWSocketClient* c,
                                                 uint16_t e) { TCPServerClientConnect(sv, c, e); };
                server->OnClientDisconnect = [this](net::TCustomWSocketServer* sv, net::TWSocketClient* c,
                                                    uint16_t e) { TCPServerClientDisconnect(sv, c, e); };
                server->AcceptGate = [this](net::TCustomWSocketServer* sv) { return MakeRoom(*sv); };
                net::ListenAs(*server, kTcpFeed);
            });
        if (listening) {
            tcpStartFailures_.Succeeded();
            TCPServer = std::move(server);
            station_.SetServiceRunning(TPublishingService::TCP, true);
        }
    }
    if (station_.ServiceRunning(TPublishingService::TCP)) station_.LogStatus("SERVER: TCP services started");
    return station_.ServiceRunning(TPublishingService::TCP) ? 1 : 0;
}

void TStatusFeeds::StopTCPServices() {
    if (!station_.ServiceRunning(TPublishingService::TCP)) return;
    station_.Logged({"TCP/IP Error (shutdown TCP): ", "TCP/IP Error (shutdown TCP)"}, [&] {
        station_.SetServiceRunning(TPublishingService::TCP, false);
        std::string message =
            TCPClientCount < 1
                ? "SERVER: TCP services shutting down"
                : platform::Format("SERVER: TCP services shutting down, disconnecting %d client(s)",
                                   TCPClientCount);
        if (std::unique_ptr<net::TWSocketServer> server = std::move(TCPServer)) {
            server->Close();
            // Not freed here: a pump beneath this call may be inside its code or its clients'. The loop
            // frees it, and its clients with it, at the end of the turn.
            net::ReleaseAtTurnEnd(std::move(server));
        }
        TellConnectionRun(true);
        station_.LogStatus(message);
    });
}

void TStatusFeeds::TCPServerClientConnect(net::TCustomWSocketServer* sender, net::TWSocketClient* client,
                                          uint16_t) {
    station_.Logged({"TCP/IP Error (Connecting client): ", "TCP/IP Error (Connecting client)"}, [&] {
        auto& connection = *static_cast<TCPConnection*>(client);
        if (sender->MaxClients > 0 && sender->GetClientCount() > sender->MaxClients) {
            // Turned away with the busy banner: told as a connection is, or counted in the run.
            connection.Refused = true;
            NoteRefusal(connection);
            return;
        }
        ++TCPClientCount;
        NoteConnection(connection, true);
    });
}

bool TStatusFeeds::MakeRoom(net::TCustomWSocketServer& server) {
    if (server.MaxClients <= 0 || server.GetClientCount() < server.MaxClients) return true;
    // Clients turned away are still closing: the newcomer waits in the backlog until they have left, so
    // that no client gives way for a newcomer who is then turned away all the same.
    if (server.GetClientCount() > TCPClientCount) return false;
    station_.Logged({"TCP/IP Error (Connecting client): ", "TCP/IP Error (Connecting client)"}, [&] {
        // Each client's window is looked at now: one that has just read shows it.
        std::vector<TFeedClientSigns> signs;
        for (int i = 0; i < server.GetClientCount(); ++i)
            signs.push_back(static_cast<TCPConnection*>(server.GetClient(i))->Look());
        const uint32_t now = platform::GetTickCount();
        const std::optional<size_t> gives = FeedClientGivingWay(signs, now);
        if (!gives) return; // none shows that it does not read: the newcomer is turned away
        auto* leaving = static_cast<TCPConnection*>(server.GetClient(static_cast<int>(*gives)));
        station_.LogStatus(platform::Format("TCP: Client %s gives its place to a newcomer: no sign that it "
                                            "reads for %u s, %u bytes unread as far as its window shows",
                                            leaving->GetPeerAddr().c_str(),
                                            UntakenFor(signs[*gives], now) / 1000, leaving->Unread()));
        server.DropClient(leaving);
    });
    return true;
}

void TStatusFeeds::TCPServerClientDisconnect(net::TCustomWSocketServer*, net::TWSocketClient* client,
                                             uint16_t) {
    station_.Logged({"TCP/IP Error (Disconnecting client): ", "TCP/IP Error (Disconnecting client)"}, [&] {
        auto& connection = *static_cast<TCPConnection*>(client);
        if (connection.Refused) return;
        --TCPClientCount;
        NoteConnection(connection, false);
    });
}

void TStatusFeeds::NoteConnection(TCPConnection& client, bool connected) {
    // A disconnect is told where its connect was: in a line of its own, or counted in a run (a new one
    // if the run its connect was counted in is over).
    if (connected ? run_.active : !client.Told) {
        ++(connected ? run_.connected : run_.disconnected);
    } else {
        station_.LogStatus("TCP: Client " + client.GetPeerAddr() +
                           (connected ? " connected" : " disconnected"));
        if (!connected) return;
        client.Told = true;
    }
    GoOnWithRun();
}

void TStatusFeeds::NoteRefusal(TCPConnection& client) {
    if (run_.active)
        ++run_.refused;
    else
        station_.LogStatus("TCP: Client " + client.GetPeerAddr() + " turned away (too many clients)");
    GoOnWithRun();
}

void TStatusFeeds::GoOnWithRun() {
    const uint32_t now = platform::GetTickCount();
    run_.lastEvent = now;
    if (run_.active) return;
    run_.active = true;
    run_.toldAt = now;
    if (!run_.timer) {
        run_.timer = std::make_unique<platform::TTimer>(nullptr, "ConnectionRun");
        run_.timer->SetInterval(1000);
        run_.timer->OnTimer = [this](platform::TTimer*) {
            const uint32_t at = platform::GetTickCount();
            if (platform::TicksElapsed(at, run_.lastEvent) >= kRunGapMs)
                TellConnectionRun(true);
            else if (platform::TicksElapsed(at, run_.toldAt) >= kRunTellMs)
                TellConnectionRun(false);
        };
    }
    run_.timer->SetEnabled(true);
}

void TStatusFeeds::TellConnectionRun(bool end) {
    if (!run_.active) return;
    if (run_.connected + run_.disconnected > 0)
        station_.LogStatus(platform::Format("TCP: %d more client(s) connected and %d disconnected in a run",
                                            run_.connected, run_.disconnected));
    if (run_.refused > 0)
        station_.LogStatus(
            platform::Format("TCP: %d more client(s) turned away (too many clients) in a run", run_.refused));
    run_.connected = run_.disconnected = run_.refused = 0;
    run_.toldAt = platform::GetTickCount();
    if (!end) return;
    run_.active = false;
    if (run_.timer) run_.timer->SetEnabled(false);
}

// ---- UDP ----

int TStatusFeeds::StartUDPServices() {
    station_.SetServiceRunning(TPublishingService::UDP, false);
    const TStationSettings& s = station_.Settings();
    if (s.UDPEnabled) {
        auto socket = std::make_unique<net::TWSocket>(nullptr, "UDPSendSocket");
        bool ready = udpStartFailures_.Run(
            station_, {"TCP/IP Error (startup UDP): ", "TCP/IP Error (startup UDP)"}, [&] {
                socket->SetProto("udp");
                socket->SetAddr("255.255.255.255");
                socket->SetPort(s.UDPPort);
                socket->Connect(); // no datagram: it checks the settings
                socket->Close();
            });
        if (ready) {
            udpStartFailures_.Succeeded();
            delete UDPSendSocket;
            UDPSendSocket = socket.release();
            station_.SetServiceRunning(TPublishingService::UDP, true);
        }
    }
    if (station_.ServiceRunning(TPublishingService::UDP)) station_.LogStatus("SERVER: UDP services started");
    return station_.ServiceRunning(TPublishingService::UDP) ? 1 : 0;
}

// One socket for all datagrams, opened for the destination of the settings and opened again only when
// they change or a send failed (and, for a host name, every ten minutes, as its address may move): a
// datagram then costs one system call.
void TStatusFeeds::SendUDPStatus(const std::string& line) {
    if (!station_.ServiceRunning(TPublishingService::UDP) || UDPSendSocket == nullptr) return;
    net::TWSocket& socket = *UDPSendSocket;
    const TStationSettings& s = station_.Settings();
    bool sent =
        udpSendFailures_.Run(station_, {"TCP/IP Error (sending UDP): ", "TCP/IP Error (sending UDP)"}, [&] {
            try {
                const uint32_t now = platform::GetTickCount();
                const bool named = !net::WSocketIsDottedIP(socket.Addr());
                if (socket.State() == net::wsConnected &&
                    (socket.Addr() != platform::Trim(s.UDPAddress) ||
                     socket.Port() != platform::Trim(s.UDPPort) ||
                     (named && platform::TicksElapsed(now, udpOpened_) >= kNameLifetimeMs)))
                    socket.Close();
                if (socket.State() != net::wsConnected) {
                    socket.SetProto("udp");
                    socket.SetAddr(s.UDPAddress);
                    socket.SetPort(s.UDPPort);
                    socket.Connect();
                    udpOpened_ = now;
                    int on = 1;
                    net::WSocket_setsockopt(socket.HSocket(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
                    // The feed reads nothing: what anyone sends to its port stays with the system, which
                    // drops it once the socket's buffer is full, instead of waking the loop.
                    socket.Pause();
                }
                socket.SendStr(line);
            } catch (...) {
                socket.Close();
                throw;
            }
        });
    if (sent) udpSendFailures_.Succeeded();
}

void TStatusFeeds::StopUDPServices() {
    if (!station_.ServiceRunning(TPublishingService::UDP)) return;
    station_.Logged({"TCP/IP Error (shutdown UDP): ", "TCP/IP Error (shutdown UDP)"}, [&] {
        station_.LogStatus("SERVER: UDP services shutting down");
        station_.SetServiceRunning(TPublishingService::UDP, false);
        delete UDPSendSocket;
        UDPSendSocket = nullptr;
    });
}
