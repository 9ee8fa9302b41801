// The TCP and UDP status feeds of the demo station on 127.0.0.1, with the test's own sockets as clients
// and listener: the banner and the pace, the busy banner, the stop, an early client, a port in use, one
// datagram a round, a failing datagram told once while the reading goes on, and the dial-up events.
#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <sstream>

#include "platform/tmex/sim/DemoNet.h"
#include "support/StationFixture.h"
#include "tests/net/NetTestSupport.h"

namespace {

const std::string kBanner = "Malvoren 1-Wire Systems, initializing...\r\n";

// A TCP client of the station: reads what is there without blocking.
struct Client {
    explicit Client(uint16_t port) : fd(net_test::RawConnect(port)) {}
    ~Client() {
        if (fd >= 0) ::close(fd);
    }
    bool Read() {
        if (!closed) closed = !net_test::DrainInto(fd, text);
        return !closed;
    }
    int Lines() const {
        int n = 0;
        for (char c : text)
            n += c == '\n';
        return n;
    }
    int fd;
    bool closed = false;
    std::string text;
};

// A UDP listener on 127.0.0.1.
struct Datagrams {
    Datagrams() { fd = net_test::RawListen(port, SOCK_DGRAM); }
    ~Datagrams() { ::close(fd); }
    std::vector<std::string> Take() {
        std::vector<std::string> out;
        char buffer[2048];
        ssize_t n;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        while ((n = ::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                               &fromLength)) > 0) {
            out.emplace_back(buffer, static_cast<size_t>(n));
            senders.insert(ntohs(from.sin_port));
        }
        return out;
    }
    int fd;
    uint16_t port = 0;
    std::set<uint16_t> senders; // the ports the datagrams came from
};

int Fields(const std::string& line) {
    int n = 1;
    for (char c : line)
        n += c == ' ';
    return n;
}

// The connections the log tells, one by one and counted in runs: {connected, disconnected}.
std::pair<int, int> ToldConnections(const std::string& log) {
    std::pair<int, int> told{0, 0};
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        size_t at = line.find("TCP: ");
        if (at == std::string::npos) continue;
        int c = 0, d = 0;
        if (std::sscanf(line.c_str() + at, "TCP: %d more client(s) connected and %d", &c, &d) == 2) {
            told.first += c;
            told.second += d;
        }
        told.first += line.find("TCP: Client 127.0.0.1 connected") != std::string::npos;
        told.second += line.find("TCP: Client 127.0.0.1 disconnected") != std::string::npos;
    }
    return told;
}

// A client socket with as small a receive buffer as the system allows (so its window shuts at once, and
// the system does not grow it), not blocking.
int SmallWindowClient(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int small = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in here = net_test::Loopback(port);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&here), sizeof here), 0);
    net_test::SetNonBlocking(fd);
    return fd;
}

// The station serves this machine only: its TCP feed listens where its web server would.
const std::string kThisMachine = "[HTTP]\r\nAddr=127.0.0.1\r\n";

class StatusFeedsTest : public korvane_test::StationFixture {
protected:
    TMainForm& StartDemo(const std::string& weather) {
        Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
        Write("korvane.ini", platform::tmex::sim::DemoKorvaneIni() + weather + kThisMachine);
        TMainForm& form = Start();
        Run(1100);
        return form;
    }
    // The TCP feed on `port` of a station whose reading cycle does not run: the clock moves as the test
    // runs the loop.
    TMainForm& StartFeedAlone(uint16_t port) {
        Write("korvane.ini",
              "[Weather]\r\nTCPEnabled=1\r\nTCPPort=" + std::to_string(port) + "\r\n" + kThisMachine);
        TMainForm& form = Start();
        form.StartTimer->SetEnabled(false);
        form.Publishing().StartTCPServices();
        return form;
    }
    void Run(uint32_t ms) { platform::EventLoop::Get().RunFor(ms); }
};

} // namespace

TEST_F(StatusFeedsTest, ClientsGetTheBannerThenALineASecondTheEleventhIsTurnedAwayAndStopCountsThem) {
    uint16_t port = net_test::FreePort();
    TMainForm& form = StartDemo("TCPEnabled=1\r\nTCPPort=" + std::to_string(port) + "\r\n");
    Run(1000);
    ASSERT_EQ(CountLog("SERVER: TCP services started"), 1);
    Client a(port), b(port);
    uint32_t start = clock_->TickCount();
    Run(10000);
    // Nested waits of the reading cycle may run past the 10 s: the pace is measured on the clock.
    int seconds = static_cast<int>(platform::TicksElapsed(clock_->TickCount(), start) / 1000);
    for (Client* c : {&a, &b}) {
        c->Read();
        ASSERT_EQ(c->text.rfind(kBanner, 0), 0u);
        EXPECT_GE(c->Lines() - 1, seconds - 2) << seconds;
        EXPECT_LE(c->Lines() - 1, seconds) << seconds;
        std::string last = c->text.substr(c->text.rfind('\n', c->text.size() - 2) + 1);
        EXPECT_EQ(Fields(last), 21) << last;
        EXPECT_EQ(last.substr(last.size() - 2), "\r\n");
    }
    // Connections within a few seconds of each other are one run: its first is told, the others counted.
    EXPECT_LT(CountLog("TCP: Client 127.0.0.1 connected"), 2);
    std::vector<std::unique_ptr<Client>> more;
    for (int i = 0; i < 8; ++i) {
        more.push_back(std::make_unique<Client>(port));
        Run(50);
    }
    // Beyond ten, clients are turned away with the busy banner, and not told as connections: these are
    // counted in the run of connections that goes on.
    std::vector<std::unique_ptr<Client>> away;
    for (int i = 0; i < 5; ++i) {
        away.push_back(std::make_unique<Client>(port));
        Run(50);
    }
    Run(500);
    for (auto& c : away) {
        c->Read();
        EXPECT_EQ(c->text, "Sorry, too many clients\r\n");
        EXPECT_TRUE(c->closed);
    }
    EXPECT_EQ(CountLog("turned away"), 0);
    // One leaves and the next one is let in.
    more.back().reset();
    Run(500);
    more.back() = std::make_unique<Client>(port);
    Run(500);
    StationSettings.TCPEnabled = false; // the supervisor stops the server on its next pass
    Run(1000);
    // The stop tells what the last run counted, then the clients it disconnects.
    EXPECT_EQ(CountLog("TCP: 5 more client(s) turned away (too many clients) in a run"), 1);
    EXPECT_EQ(ToldConnections(Read("korvane.log")), std::make_pair(11, 1)) << Read("korvane.log");
    EXPECT_LT(CountLog("TCP: Client 127.0.0.1"), 11);
    EXPECT_EQ(CountLog("SERVER: TCP services shutting down, disconnecting 10 client(s)"), 1);
    EXPECT_FALSE(form.TCPRunning);
    Run(100);
    a.Read();
    EXPECT_TRUE(a.closed);
}

// Listening on 127.0.0.1 only, the server is not reached through another loopback address.
TEST_F(StatusFeedsTest, TheServerListensWhereTheWebServerDoesAndAClientThatReadsNothingMakesRoom) {
    uint16_t port = net_test::FreePort();
    StartDemo("TCPEnabled=1\r\nTCPPort=" + std::to_string(port) + "\r\n");
    int other = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in elsewhere = net_test::Loopback(port);
    elsewhere.sin_addr.s_addr = htonl(0x7F000002); // 127.0.0.2
    EXPECT_NE(::connect(other, reinterpret_cast<sockaddr*>(&elsewhere), sizeof elsewhere), 0);
    ::close(other);
    // Two clients with as small a receive buffer as the system allows, so that their windows shut at
    // once, beside eight that read: one pauses for a minute and a half and keeps its slot, the other
    // never reads and has its slot freed two minutes after the first line it left.
    const uint32_t start = clock_->TickCount();
    auto elapsed = [&] { return platform::TicksElapsed(clock_->TickCount(), start); };
    int sleeper = SmallWindowClient(port);
    Client pauser(port);
    ::close(pauser.fd);
    pauser.fd = SmallWindowClient(port);
    std::vector<std::unique_ptr<Client>> readers;
    for (int i = 0; i < 8; ++i) {
        readers.push_back(std::make_unique<Client>(port));
        Run(50);
    }
    ASSERT_TRUE(platform::EventLoop::Get().RunUntil(
        [&] {
            for (auto& c : readers)
                c->Read();
            if (elapsed() > 90000) pauser.Read();
            return CountLog("TCP: Client 127.0.0.1 disconnected") > 0;
        },
        600000));
    const uint32_t took = elapsed();
    RecordProperty("untaken_closed_after_ms", static_cast<int>(took));
    EXPECT_GE(took, 120000u);
    EXPECT_LE(took, 180000u);
    for (auto& c : readers)
        EXPECT_FALSE(c->closed);
    Client next(port);
    Run(1500);
    next.Read();
    pauser.Read();
    EXPECT_FALSE(pauser.closed);
    EXPECT_EQ(next.text.rfind(kBanner, 0), 0u) << next.text;
    EXPECT_FALSE(next.closed);
    ::close(sleeper);
}

// Nine clients that never read, with the buffers the system grows as data arrive, and one that reads
// a minute's lines at a time hold the ten slots. From two minutes on, each newcomer takes the place of
// one that never read; the one that reads keeps its slot, although it has held it longest, and so do
// the newcomers: the next one is turned away.
TEST_F(StatusFeedsTest, AFullTableGivesANewcomerThePlaceOfAClientThatShowsNoSignOfReading) {
    uint16_t port = net_test::FreePort();
    StartDemo("TCPEnabled=1\r\nTCPPort=" + std::to_string(port) + "\r\n");
    Client reader(port);
    ::close(reader.fd);
    reader.fd = SmallWindowClient(port);
    std::vector<int> idle;
    for (int i = 0; i < 9; ++i) {
        idle.push_back(net_test::RawConnect(port));
        Run(50);
    }
    const uint32_t start = clock_->TickCount();
    auto elapsed = [&] { return platform::TicksElapsed(clock_->TickCount(), start); };
    for (uint32_t next = 60000; next <= 150000; next += 60000) {
        Run(next - elapsed());
        reader.Read();
    }
    std::vector<std::unique_ptr<Client>> newcomers;
    for (int i = 0; i < 10; ++i) {
        newcomers.push_back(std::make_unique<Client>(port));
        Run(1000);
        for (auto& c : newcomers)
            c->Read();
    }
    reader.Read();
    EXPECT_FALSE(reader.closed);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(newcomers[i]->text.rfind(kBanner, 0), 0u) << i << ": " << newcomers[i]->text;
        EXPECT_FALSE(newcomers[i]->closed) << i;
    }
    EXPECT_EQ(newcomers[9]->text, "Sorry, too many clients\r\n");
    EXPECT_EQ(CountLog("TCP: Client 127.0.0.1 gives its place to a newcomer: no sign that it reads for "), 9);
    EXPECT_LE(elapsed(), 4 * 60000u);
    for (int fd : idle)
        ::close(fd);
}

// A client that connects and closes again and again costs the log four lines: its first connection
// and disconnection, the counts of the run after a minute, and the rest of them when it ends.
TEST_F(StatusFeedsTest, ARunOfConnectionsIsToldWithItsCount) {
    uint16_t port = net_test::FreePort();
    TMainForm& form = StartFeedAlone(port);
    const size_t before = Read("korvane.log").size();
    int connections = 0, held = -1;
    for (; connections < 70 * 40; ++connections) { // forty a second for seventy seconds
        ::close(net_test::RawConnect(port));
        Run(25);
        if (connections == 1) held = net_test::RawConnect(port); // counted in the run, closed after it
    }
    Run(6000);
    ::close(held);
    ++connections;
    Run(6000);
    const std::string added = Read("korvane.log").substr(before);
    std::vector<std::string> lines;
    std::istringstream text(added);
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 5u) << added;
    EXPECT_NE(lines[0].find("TCP: Client 127.0.0.1 connected"), std::string::npos);
    EXPECT_NE(lines[1].find("TCP: Client 127.0.0.1 disconnected"), std::string::npos);
    EXPECT_NE(lines[4].find("TCP: 0 more client(s) connected and 1 disconnected in a run"),
              std::string::npos);
    EXPECT_EQ(ToldConnections(added), std::make_pair(connections, connections)) << added;
    form.Publishing().StopTCPServices();
}

// A connect flood against a full table while its clients come and go: the refusals are counted in the
// run, not told in a pair of lines each time a client is let in between them.
TEST_F(StatusFeedsTest, ARunOfRefusalsIsToldWithItsCount) {
    uint16_t port = net_test::FreePort();
    TMainForm& form = StartFeedAlone(port);
    std::deque<std::unique_ptr<Client>> holders;
    for (int i = 0; i < 10; ++i) {
        holders.push_back(std::make_unique<Client>(port));
        Run(25);
    }
    const size_t before = Read("korvane.log").size();
    int refused = 0;
    for (int i = 1; i <= 80 * 40; ++i) { // forty a second for eighty seconds
        ::close(net_test::RawConnect(port));
        ++refused;
        Run(25);
        if (i % 20 == 0) { // every half second one leaves and another is let in
            holders.pop_front();
            Run(25);
            holders.push_back(std::make_unique<Client>(port));
            Run(25);
        }
    }
    Run(6000);
    const std::string added = Read("korvane.log").substr(before);
    int toldLines = 0, told = 0;
    std::istringstream text(added);
    for (std::string line; std::getline(text, line);) {
        if (line.find("turned away") == std::string::npos) continue;
        ++toldLines;
        int n = 0;
        const size_t at = line.find("TCP: ");
        told += std::sscanf(line.c_str() + at, "TCP: %d more client(s) turned away", &n) == 1 ? n : 1;
    }
    EXPECT_EQ(told, refused) << added;
    EXPECT_LE(toldLines, 3) << added; // a line a minute while the run lasts, and one at its end
    form.Publishing().StopTCPServices();
}

TEST_F(StatusFeedsTest, AClientBeforeTheFirstRoundGetsLinesOnceThereAreAny) {
    uint16_t port = net_test::FreePort();
    Write("korvane.ini",
          "[Weather]\r\nTCPEnabled=1\r\nTCPPort=" + std::to_string(port) + "\r\n" + kThisMachine);
    TMainForm& form = Start();
    form.StartTimer->SetEnabled(false); // no session: no round, no status line
    StatusLine.clear();
    form.Publishing().StartTCPServices();
    ASSERT_TRUE(form.TCPRunning);
    Client client(port);
    Run(3000);
    client.Read();
    EXPECT_EQ(client.text, kBanner);
    StatusLine = "1.0 2.0\r\n";
    Run(2500);
    client.Read();
    EXPECT_EQ(client.text.substr(0, kBanner.size() + 9), kBanner + "1.0 2.0\r\n");
    form.Publishing().StopTCPServices();
    EXPECT_EQ(CountLog("SERVER: TCP services shutting down, disconnecting 1 client(s)"), 1);
    StatusLine.clear();
}

TEST_F(StatusFeedsTest, APortInUseIsToldOnceAndTheServerStartsOnceItIsFree) {
    uint16_t port = 0;
    int holder = net_test::RawListen(port);
    Write("korvane.ini",
          "[Weather]\r\nTCPEnabled=1\r\nTCPPort=" + std::to_string(port) + "\r\n" + kThisMachine);
    TMainForm& form = Start();
    form.StartTimer->SetEnabled(false);
    for (int pass = 0; pass < 3; ++pass)
        form.Publishing().StartTCPServices();
    EXPECT_EQ(CountLog("TCP/IP Error (startup TCP): "), 1);
    EXPECT_FALSE(form.TCPRunning);
    ::close(holder);
    form.Publishing().StartTCPServices();
    EXPECT_TRUE(form.TCPRunning);
    EXPECT_EQ(CountLog("SERVER: TCP services started"), 1);
    form.Publishing().StopTCPServices();
    EXPECT_EQ(CountLog("SERVER: TCP services shutting down"), 1);
}

TEST_F(StatusFeedsTest, EveryRoundSendsOneDatagramAndAFailingDestinationIsToldOnce) {
    Datagrams peer;
    TMainForm& form =
        StartDemo("UDPEnabled=1\r\nUDPAddress=127.0.0.1\r\nUDPPort=" + std::to_string(peer.port) + "\r\n");
    Run(2000);
    ASSERT_EQ(CountLog("SERVER: UDP services started"), 1);
    peer.Take();
    unsigned first = SampleCount;
    Run(10000);
    std::vector<std::string> got = peer.Take();
    unsigned rounds = SampleCount - first;
    ASSERT_GT(rounds, 5u);
    EXPECT_GE(got.size() + 1, rounds);
    EXPECT_LE(got.size(), rounds + 1);
    EXPECT_EQ(got.back(), StatusLine);
    EXPECT_EQ(Fields(got.back()), 21);
    EXPECT_EQ(peer.senders.size(), 1u); // one socket for them all
    // A destination off the loopback: the test build's socket layer refuses it.
    StationSettings.UDPAddress = "10.1.2.3";
    first = SampleCount;
    Run(5000);
    EXPECT_GT(SampleCount, first + 3);
    EXPECT_EQ(CountLog("TCP/IP Error (sending UDP): "), 1);
    EXPECT_TRUE(peer.Take().empty());
    StationSettings.UDPAddress = "127.0.0.1";
    Run(3000);
    EXPECT_FALSE(peer.Take().empty());
    StationSettings.UDPEnabled = false;
    Run(1000);
    EXPECT_EQ(CountLog("SERVER: UDP services shutting down"), 1);
    (void)form;
}

// No dial-up connection exists here; its two events still reach the status log as they are raised.
TEST_F(StatusFeedsTest, DialUpEventsAreLogged) {
    TStationPublishing* publishing = nullptr;
    StationOptions.MakePublishing = [&](TMainForm& form) {
        auto made = std::make_unique<TStationPublishing>(form);
        publishing = made.get();
        return made;
    };
    StartDemo("");
    ASSERT_NE(publishing, nullptr);
    publishing->msRasStatusChange(nullptr, "Connecting to 127.0.0.1...");
    publishing->msRasDisconnected(nullptr);
    EXPECT_EQ(CountLog("Connecting to 127.0.0.1..."), 1);
    EXPECT_EQ(CountLog("DIAL: Disconnected"), 1);
}
