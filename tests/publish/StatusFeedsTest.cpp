// The TCP and UDP status feeds of the demo station on 127.0.0.1, with the test's own sockets as clients
// and listener: the banner and the pace, the busy banner, the stop, which client of a full table gives
// way to a newcomer, an early client, a port in use, one datagram a round, a failing datagram told once
// while the reading goes on, and the dial-up events.
#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <deque>
#include <set>
#include <sstream>
#include <thread>

#include "platform/tmex/sim/DemoNet.h"
#include "platform/winsock/PeerWindow.h"
#include "publish/FeedGivingWay.h"
#include "publish/StatusFeeds.h"
#include "support/PeerPacedClock.h"
#include "support/StationFixture.h"
#include "tests/net/NetTestSupport.h"

namespace {

const std::string kBanner = "Malvoren 1-Wire Systems, initializing...\r\n";
const std::string kBusy = "Sorry, too many clients\r\n";

// A client socket with a receive buffer of `bytes` set before it connects (by default as small as the
// system allows, so its window shuts at once), which the system does not grow; not blocking.
int SmallWindowClient(uint16_t port, int bytes = 1) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    sockaddr_in here = net_test::Loopback(port);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&here), sizeof here), 0);
    net_test::SetNonBlocking(fd);
    return fd;
}

// A TCP client of the station: reads what is there without blocking. Given a receive buffer, its
// window is as small as that (SmallWindowClient).
struct Client {
    explicit Client(uint16_t port, int receiveBuffer = 0)
        : fd(receiveBuffer > 0 ? SmallWindowClient(port, receiveBuffer) : net_test::RawConnect(port)) {}
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
    // The feed alone, its clients sent a status line of the demo's length every second, on a clock that
    // runs at most a hundred times as fast as real time: what the system tells of a client's window a
    // moment later (a delayed acknowledgement) is seen within seconds of station time, not after the
    // minutes that the simulated clock would otherwise run through in that moment.
    TMainForm& StartPacedFeed(uint16_t port) {
        auto paced = std::make_shared<korvane_test::PeerPacedClock>(korvane_test::kDefaultStartMs, 1000000);
        paced->MaxSpeed = 100;
        platform::Clock::Install(paced);
        clock_ = paced;
        StatusLine = "20.5 -3.1 1012.4 67 3.2 5.4 270 0.00 12.70 18.2 19.1 20.0 21.3 22.4 23.5 24.6 25.7 "
                     "26.8 27.9 28.0 29.1\r\n";
        return StartFeedAlone(port);
    }
    void TearDown() override {
        StationFixture::TearDown();
        StatusLine.clear();
    }
    void Run(uint32_t ms) { platform::EventLoop::Get().RunFor(ms); }
    uint32_t Since(uint32_t start) const { return platform::TicksElapsed(clock_->TickCount(), start); }
    // Runs the loop until `done`, the readers reading all that came before each look.
    bool RunReading(std::vector<std::unique_ptr<Client>>& readers, const std::function<bool()>& done,
                    uint32_t limitMs) {
        return platform::EventLoop::Get().RunUntil(
            [&] {
                for (auto& c : readers)
                    c->Read();
                return done();
            },
            limitMs);
    }
    // `n` clients that read each line as it comes, each greeted before the next connects.
    std::vector<std::unique_ptr<Client>> Readers(uint16_t port, int n) {
        std::vector<std::unique_ptr<Client>> readers;
        for (int i = 0; i < n; ++i) {
            readers.push_back(std::make_unique<Client>(port));
            EXPECT_TRUE(Greeted(readers, *readers.back()));
        }
        return readers;
    }
    // Runs the loop until `client` has had its whole banner or is closed, the readers reading.
    bool Greeted(std::vector<std::unique_ptr<Client>>& readers, Client& client) {
        return RunReading(
            readers, [&] { return !client.Read() || client.text.size() >= kBanner.size(); }, 60000);
    }
    // The window of the client connected from `fd` as the station's end of it sees it, while it has one.
    std::optional<platform::winsock::PeerWindow> StationView(int fd) {
        net::TWSocketClient* end = StationEnd(fd);
        return end ? platform::winsock::GetPeerWindow(end->HSocket()) : std::nullopt;
    }
    // Waits, the loop standing still, until the station's end of the client connected from `fd` sees
    // what `seen` asks of its window (the client's system tells it at once, or with an acknowledgement it
    // delays); false when it does not within seconds or the client is gone.
    bool StationSees(int fd, const std::function<bool(const platform::winsock::PeerWindow&)>& seen) {
        platform::RealClock real;
        const uint64_t from = real.MonotonicMs();
        for (auto now = StationView(fd); now; now = StationView(fd)) {
            if (seen(*now)) return true;
            if (real.MonotonicMs() - from > 5000) return false;
            std::this_thread::yield();
        }
        return false;
    }
    // The bytes waiting unread at `fd`.
    static size_t Waiting(int fd) {
        int n = 0;
        return ::ioctl(fd, FIONREAD, &n) == 0 && n > 0 ? static_cast<size_t>(n) : 0;
    }
    bool WindowShut(int fd) {
        const auto window = StationView(fd);
        return window && window->Width == 0u;
    }
    // The station's end of the client connected from `fd`, while it has one.
    net::TWSocketClient* StationEnd(int fd) {
        sockaddr_in here{};
        socklen_t length = sizeof here;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&here), &length);
        auto* publishing = dynamic_cast<TStationPublishing*>(&form_->Publishing());
        net::TWSocketServer* server = publishing ? publishing->Feeds().TCPServer.get() : nullptr;
        for (int i = 0; server != nullptr && i < server->GetClientCount(); ++i)
            if (server->GetClient(i)->GetPeerPort() == std::to_string(ntohs(here.sin_port)))
                return server->GetClient(i);
        return nullptr;
    }
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
    StartPacedFeed(port);
    int other = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in elsewhere = net_test::Loopback(port);
    elsewhere.sin_addr.s_addr = htonl(0x7F000002); // 127.0.0.2
    EXPECT_NE(::connect(other, reinterpret_cast<sockaddr*>(&elsewhere), sizeof elsewhere), 0);
    ::close(other);
    // Two clients with as small a receive buffer as the system allows, so that their windows shut at
    // once, beside eight that read: one pauses for a minute and a half and keeps its slot, the other
    // never reads and is closed two minutes after the first line it left untaken (the first line sent
    // after the station saw its window's edge move).
    const uint32_t start = clock_->TickCount();
    const int sleeper = SmallWindowClient(port);
    Client pauser(port, 1);
    auto readers = Readers(port, 8);
    uint64_t sleeperEdge = 0;
    uint32_t sleeperMoved = 0; // when its edge was last seen to move
    bool pausing = true;
    ASSERT_TRUE(RunReading(
        readers,
        [&] {
            if (const auto window = StationView(sleeper); window && window->Edge() != sleeperEdge) {
                sleeperEdge = window->Edge();
                sleeperMoved = clock_->TickCount();
            }
            if (pausing && Since(start) > 90000) {
                pausing = false;
                const auto before = StationView(pauser.fd);
                pauser.Read();
                // Its system tells the station of the room at once; the loop does not run meanwhile.
                EXPECT_TRUE(before && StationSees(pauser.fd,
                                                  [&](const platform::winsock::PeerWindow& w) {
                                                      return w.Edge() != before->Edge();
                                                  }))
                    << "the station never saw the pauser read";
            }
            if (!pausing) pauser.Read();
            return CountLog("TCP: Client 127.0.0.1 disconnected") > 0;
        },
        600000));
    const uint32_t closedAfter = Since(sleeperMoved);
    RecordProperty("untaken_closed_after_ms", static_cast<int>(closedAfter));
    EXPECT_GE(closedAfter, kFeedUntakenLimitMs);
    // The first line it left goes out within a look (every five seconds) and a line (every second) of
    // that move, and it is closed at the first look past the two minutes.
    EXPECT_LE(closedAfter, kFeedUntakenLimitMs + 15000);
    for (auto& c : readers)
        EXPECT_FALSE(c->closed);
    Client next(port);
    ASSERT_TRUE(Greeted(readers, next));
    pauser.Read();
    EXPECT_FALSE(pauser.closed);
    EXPECT_EQ(next.text.rfind(kBanner, 0), 0u) << next.text;
    EXPECT_FALSE(next.closed);
    ::close(sleeper);
}

// Ten clients that read each line as it comes hold the ten slots for five minutes of station time. A
// newcomer every half minute, before the two-minute mark and after it, is told the feed is busy: with
// default buffers the station cannot tell a reader from a client that reads nothing, and a reader is
// never cut for a newcomer.
TEST_F(StatusFeedsTest, ReadersKeepTheirSlotsAndANewcomerToAFullTableIsToldItIsBusy) {
    uint16_t port = net_test::FreePort();
    StartPacedFeed(port);
    auto readers = Readers(port, 10);
    const uint32_t start = clock_->TickCount();
    for (uint32_t at = 30000; at <= 300000; at += 30000) {
        ASSERT_TRUE(RunReading(
            readers, [&] { return Since(start) >= at; }, 60000));
        Client newcomer(port);
        ASSERT_TRUE(Greeted(readers, newcomer)) << at;
        EXPECT_EQ(newcomer.text, kBusy) << at;
        for (size_t i = 0; i < readers.size(); ++i)
            ASSERT_FALSE(readers[i]->closed) << "reader " << i << " cut at " << at << " ms";
    }
    for (auto& c : readers)
        EXPECT_GT(c->Lines(), 250); // a line a second, all read
    EXPECT_EQ(CountLog("gives its place to a newcomer"), 0);
}

// Nine readers and a client that never reads, with a receive buffer of 4 KB set before it connects (so
// its window shuts once that much lies unread), hold the ten slots. Once its window is shut, a newcomer
// takes its place; the readers keep theirs, and after the two-minute mark the next newcomer is turned
// away, as none of the ten then shows a sign.
TEST_F(StatusFeedsTest, ANewcomerTakesThePlaceOfAClientWhoseWindowIsShutNeverOfAReader) {
    uint16_t port = net_test::FreePort();
    StartPacedFeed(port);
    auto readers = Readers(port, 9);
    const int sleeper = SmallWindowClient(port, 4096);
    const uint32_t start = clock_->TickCount();
    ASSERT_TRUE(RunReading(
        readers, [&] { return StationEnd(sleeper) != nullptr; }, 60000));
    ASSERT_TRUE(RunReading(
        readers, [&] { return WindowShut(sleeper) || StationEnd(sleeper) == nullptr; }, 600000));
    ASSERT_TRUE(WindowShut(sleeper)) << "closed after " << Since(start) << " ms without its window seen shut";
    RecordProperty("window_shut_after_ms", static_cast<int>(Since(start)));
    readers.push_back(std::make_unique<Client>(port));
    Client& newcomer = *readers.back();
    ASSERT_TRUE(Greeted(readers, newcomer));
    EXPECT_EQ(newcomer.text.rfind(kBanner, 0), 0u) << newcomer.text;
    EXPECT_EQ(StationEnd(sleeper), nullptr);
    EXPECT_EQ(CountLog("TCP: Client 127.0.0.1 gives its place to a newcomer: no sign that it reads for "), 1);
    ASSERT_TRUE(RunReading(
        readers, [&] { return Since(start) >= 180000; }, 300000));
    Client late(port);
    ASSERT_TRUE(Greeted(readers, late));
    EXPECT_EQ(late.text, kBusy);
    for (size_t i = 0; i < readers.size(); ++i)
        EXPECT_FALSE(readers[i]->closed) << "reader " << i;
    EXPECT_EQ(CountLog("gives its place to a newcomer"), 1);
    ::close(sleeper);
}

// Nine readers and one with a receive buffer of 4 KB that reads all it has only once its window has
// shut, past the two-minute mark. The station's last look saw its window shut, but a newcomer that comes
// right after it has read is turned away: the station looks at each window again before it chooses.
TEST_F(StatusFeedsTest, ANewcomerRightAfterAShutWindowHasBeenReadIsTurnedAway) {
    uint16_t port = net_test::FreePort();
    StartPacedFeed(port);
    auto readers = Readers(port, 9);
    const int slow = SmallWindowClient(port, 4096);
    std::string slowText;
    const uint32_t start = clock_->TickCount();
    ASSERT_TRUE(RunReading(
        readers, [&] { return StationEnd(slow) != nullptr; }, 60000));
    for (int reads = 0; Since(start) < 150000; ++reads) {
        ASSERT_LT(reads, 20);
        ASSERT_TRUE(RunReading(
            readers, [&] { return WindowShut(slow); }, 300000))
            << Since(start);
        // Past a look of the station's own (every five seconds), still shut.
        const uint32_t shut = clock_->TickCount();
        ASSERT_TRUE(RunReading(
            readers, [&] { return Since(shut) >= 6000; }, 60000));
        ASSERT_TRUE(WindowShut(slow));
        const uint64_t edge = StationView(slow)->Edge();
        ASSERT_TRUE(net_test::DrainInto(slow, slowText));
        // The system tells the station of the room at once; the loop does not run meanwhile.
        ASSERT_TRUE(StationSees(slow, [&](const platform::winsock::PeerWindow& w) {
            return w.Edge() != edge;
        })) << "the station never saw the read";
    }
    Client newcomer(port);
    ASSERT_TRUE(Greeted(readers, newcomer));
    EXPECT_EQ(newcomer.text, kBusy);
    EXPECT_TRUE(net_test::DrainInto(slow, slowText)) << "the slow reader was cut";
    for (size_t i = 0; i < readers.size(); ++i)
        EXPECT_FALSE(readers[i]->closed) << "reader " << i;
    EXPECT_EQ(CountLog("gives its place to a newcomer"), 0);
    ::close(slow);
}

// A client with a small receive buffer that reads each line a moment after its system has acknowledged
// it (past the system's delayed acknowledgement, as a client across a network does). Its system tells of
// the room that reading made only once the window runs low, so the station sees the window narrow line by
// line while its edge stands still: lines left untaken for a few seconds and a window below its widest,
// never a shut one. Newcomers that come meanwhile are turned away, and it keeps its slot.
TEST_F(StatusFeedsTest, AReaderWhoseWindowNarrowsAsItReadsEachLineKeepsItsSlot) {
    uint16_t port = net_test::FreePort();
    StartPacedFeed(port);
    auto readers = Readers(port, 9);
    Client reader(port, 1);
    ASSERT_TRUE(Greeted(readers, reader));
    // Reads the next line once the station has seen it acknowledged, the loop standing still meanwhile.
    auto readLate = [&] {
        return RunReading(
                   readers, [&] { return Waiting(reader.fd) > 0; }, 60000) &&
               StationSees(reader.fd,
                           [&](const platform::winsock::PeerWindow& w) {
                               return w.Acked >= reader.text.size() + Waiting(reader.fd);
                           }) &&
               reader.Read();
    };
    uint64_t edge = 0;
    int newcomers = 0; // turned away since the edge last moved
    for (int line = 0; line < 100 && newcomers < 2; ++line) {
        ASSERT_TRUE(readLate()) << "line " << line;
        const auto window = StationView(reader.fd);
        ASSERT_TRUE(window);
        if (window->Edge() != edge) {
            edge = window->Edge();
            newcomers = 0;
            continue;
        }
        Client newcomer(port);
        ASSERT_TRUE(Greeted(readers, newcomer));
        EXPECT_EQ(newcomer.text, kBusy) << "line " << line;
        ++newcomers;
    }
    ASSERT_EQ(newcomers, 2) << "its window never narrowed with its edge standing still";
    EXPECT_TRUE(readLate()) << "the reader was cut";
    for (size_t i = 0; i < readers.size(); ++i)
        EXPECT_FALSE(readers[i]->closed) << "reader " << i;
    EXPECT_EQ(CountLog("gives its place to a newcomer"), 0);
}

// The choice itself, with the clock passed in: the signs each client showed at its connection's last
// look, and which one gives way.
TEST_F(StatusFeedsTest, OnlyAClientThatShowsItDoesNotReadGivesWayTheLongestUntakenFirst) {
    using Signs = std::vector<TFeedClientSigns>;
    const uint32_t now = 5000000;
    const TFeedClientSigns quiet{true, false, false, 0};            // nothing seen (default buffers)
    const TFeedClientSigns inFlight{true, false, true, now - 4000}; // a line not yet acknowledged
    const TFeedClientSigns almost{true, false, true, now - kFeedUntakenLimitMs + 1};
    const TFeedClientSigns untaken{true, false, true, now - kFeedUntakenLimitMs};
    const TFeedClientSigns shut{true, true, true, now - 40000};
    const TFeedClientSigns shutLonger{true, true, true, now - 90000};
    const TFeedClientSigns shutJustNow{true, true, true, now - 1000};
    const TFeedClientSigns shutRead{true, true, false, 0}; // it read, and our queued lines filled it again
    const TFeedClientSigns away{false, true, true, now - 900000}; // turned away, or closing

    // Clients that show no sign keep their slots, the first (held longest) too: the newcomer is refused.
    EXPECT_EQ(FeedClientGivingWay(Signs{}, now), std::nullopt);
    EXPECT_EQ(FeedClientGivingWay(Signs{quiet, inFlight, almost, quiet}, now), std::nullopt);
    EXPECT_EQ(FeedClientGivingWay(Signs{away, quiet, inFlight, shutRead}, now), std::nullopt);
    // A shut window gives way wherever it stands, however short a time its line has been left; so do
    // lines left untaken for two minutes.
    EXPECT_EQ(FeedClientGivingWay(Signs{quiet, inFlight, shut, almost}, now), 2u);
    EXPECT_EQ(FeedClientGivingWay(Signs{quiet, shutRead, shutJustNow}, now), 2u);
    EXPECT_EQ(FeedClientGivingWay(Signs{almost, untaken, quiet}, now), 1u);
    // Of several, the one left untaken longest, then the one that has held its slot longest.
    EXPECT_EQ(FeedClientGivingWay(Signs{shutJustNow, shut, shutLonger, quiet}, now), 2u);
    EXPECT_EQ(FeedClientGivingWay(Signs{shutLonger, untaken, shut}, now), 1u);
    EXPECT_EQ(FeedClientGivingWay(Signs{quiet, shut, shut}, now), 1u);
    EXPECT_EQ(FeedClientGivingWay(Signs{shutJustNow, quiet, shutJustNow}, now), 0u);
    // The two minutes are counted across the wrap of the clock's ticks.
    const uint32_t wrapped = 30000;
    EXPECT_EQ(FeedClientGivingWay(Signs{quiet, {true, false, true, wrapped - kFeedUntakenLimitMs}}, wrapped),
              1u);
    EXPECT_EQ(FeedClientGivingWay(Signs{quiet, {true, false, true, wrapped - 60000}}, wrapped), std::nullopt);
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

// The feed speaks first: its listener never leaves a connection with the system until the client
// speaks, and a client that sends nothing has its banner.
TEST_F(StatusFeedsTest, TheBannerReachesAClientThatSendsNothing) {
    uint16_t port = net_test::FreePort();
    TMainForm& form = StartFeedAlone(port);
    ASSERT_TRUE(form.TCPRunning);
    auto* publishing = dynamic_cast<TStationPublishing*>(&form.Publishing());
    ASSERT_NE(publishing, nullptr);
    EXPECT_EQ(net_test::DeferAcceptSeconds(publishing->Feeds().TCPServer->HSocket()), 0);
    std::vector<std::unique_ptr<Client>> none;
    Client silent(port);
    ASSERT_TRUE(Greeted(none, silent));
    EXPECT_EQ(silent.text, kBanner);
    form.Publishing().StopTCPServices();
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
