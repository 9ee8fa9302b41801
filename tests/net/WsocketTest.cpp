// The socket component against raw loopback peers: event order, delivery, back-pressure, closing,
// descriptor reuse, destruction inside handlers, name lookups, datagrams and the timer values.
#include <gtest/gtest.h>

#include <netinet/in.h>

#include <algorithm>

#include "net/Wsocket.h"
#include "net/Wsockets.h"
#include "tests/net/NetTestSupport.h"

using namespace net;
using net_test::LoopTest;
namespace wsk = platform::winsock;

namespace {

class WsocketTest : public LoopTest {
protected:
    // Connects `socket` to a raw listener and returns the accepted raw peer.
    int ConnectPair(TWSocket& socket) {
        uint16_t port = 0;
        int listener = net_test::RawListen(port);
        socket.SetProto("tcp");
        socket.SetAddr("127.0.0.1");
        socket.SetPort(std::to_string(port));
        socket.Connect();
        EXPECT_TRUE(RunUntil([&] { return socket.State() == wsConnected; }));
        int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ::close(listener);
        return peer;
    }
};

TEST_F(WsocketTest, RefusedConnectReportsConnectedWithErrorThenClosesOnce) {
    TWSocket socket;
    std::vector<std::string> events;
    socket.OnChangeState = [&](TCustomWSocket*, TSocketState from, TSocketState to) {
        events.push_back("state " + std::to_string(from) + ">" + std::to_string(to));
    };
    socket.OnSessionConnected = [&](TCustomWSocket*, uint16_t e) {
        events.push_back("connected " + std::to_string(e));
    };
    socket.OnSessionClosed = [&](TCustomWSocket*, uint16_t e) {
        events.push_back("closed " + std::to_string(e));
    };
    socket.SetAddr("127.0.0.1");
    socket.SetPort(std::to_string(net_test::FreePort()));
    socket.Connect();
    ASSERT_TRUE(RunUntil([&] { return socket.State() == wsClosed; }));
    RunFor(50);
    std::vector<std::string> expected = {"state 7>1",       "state 1>3", "state 3>4",
                                         "connected 10061", "state 4>7", "closed 0"};
    EXPECT_EQ(events, expected);
    // Closed sockets keep Port's text but must be given it again.
    EXPECT_THROW(socket.Connect(), ESocketException);
}

TEST_F(WsocketTest, EveryByteArrivesBeforeTheCloseEvent) {
    TWSocket socket;
    int peer = ConnectPair(socket);
    std::string received;
    bool closed = false;
    size_t atClose = 0;
    socket.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        char buf[10]; // a slow handler: ten bytes per call, called again while bytes wait
        int n = s->Receive(buf, sizeof buf);
        if (n > 0) received.append(buf, static_cast<size_t>(n));
    };
    socket.OnSessionClosed = [&](TCustomWSocket*, uint16_t) {
        closed = true;
        atClose = received.size();
    };
    std::string payload(100000, '\0');
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>('a' + i % 23);
    ASSERT_EQ(::send(peer, payload.data(), payload.size(), 0), static_cast<ssize_t>(payload.size()));
    ::close(peer);
    ASSERT_TRUE(RunUntil([&] { return closed; }));
    EXPECT_EQ(atClose, payload.size());
    EXPECT_EQ(received, payload);
    EXPECT_EQ(socket.State(), wsClosed);
}

TEST_F(WsocketTest, UnhandledInputIsDiscardedWithoutSpinning) {
    TWSocket socket;
    int peer = ConnectPair(socket);
    std::string junk(5000, 'x');
    ::send(peer, junk.data(), junk.size(), 0);
    RunFor(100);
    unsigned long waiting = 1;
    wsk::ioctlsocket(socket.HSocket(), FIONREAD, &waiting);
    EXPECT_EQ(waiting, 0u);
    ::close(peer);
}

TEST_F(WsocketTest, LargeSendToSlowReaderArrivesInOrderAndDataSentComesOnceAfterDrain) {
    TWSocket socket;
    int peer = ConnectPair(socket);
    int dataSent = 0;
    bool sendReturned = false;
    socket.OnDataSent = [&](TCustomWSocket*, uint16_t) {
        EXPECT_TRUE(sendReturned);
        ++dataSent;
    };
    RunFor(20);
    dataSent = 0; // the connect's own FD_WRITE
    std::string payload(8 << 20, '\0');
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(i * 7 % 251);
    EXPECT_EQ(socket.Send(payload.data(), static_cast<int>(payload.size())),
              static_cast<int>(payload.size()));
    sendReturned = true;
    EXPECT_GT(socket.BufferedChunks(), 1);
    std::string got;
    int reads = 0;
    // The reader is slow: one small read per loop turn in which it is readable.
    int watch = platform::EventLoop::Get().WatchFd(peer, POLLIN, [&](short) {
        char buf[16384];
        ssize_t n = ::recv(peer, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
        ++reads;
    });
    ASSERT_TRUE(RunUntil([&] { return got.size() == payload.size() && dataSent > 0; }, 20000))
        << got.size() << " bytes, " << dataSent << " DataSent, " << socket.BufferedChunks() << " chunks";
    platform::EventLoop::Get().UnwatchFd(watch);
    EXPECT_GT(reads, 100);
    RunFor(20);
    EXPECT_EQ(dataSent, 1);
    EXPECT_TRUE(got == payload);
    ::close(peer);
}

TEST_F(WsocketTest, PeerResetDuringSendClosesOnceWithConnectionReset) {
    TWSocket socket;
    int peer = ConnectPair(socket);
    std::vector<int> closes;
    socket.OnSessionClosed = [&](TCustomWSocket*, uint16_t e) { closes.push_back(e); };
    std::string payload(4 << 20, 'z');
    socket.Send(payload.data(), static_cast<int>(payload.size()));
    linger abortive{1, 0};
    ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(peer);
    ASSERT_TRUE(RunUntil([&] { return socket.State() == wsClosed; }));
    RunFor(50);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0], wsk::WSAECONNRESET);
}

TEST_F(WsocketTest, ReusedDescriptorGetsNoEventOfTheClosedSocket) {
    TWSocket socket;
    int peer = ConnectPair(socket);
    int dataSent = 0;
    socket.OnDataSent = [&](TCustomWSocket*, uint16_t) { ++dataSent; };
    RunFor(20);
    dataSent = 0;
    SOCKET oldFd = socket.HSocket();
    std::vector<int> fillers; // take every lower free number, so that the next socket gets oldFd
    for (int fd = ::dup(0); fd >= 0; fd = ::dup(0)) {
        if (fd > oldFd) {
            ::close(fd);
            break;
        }
        fillers.push_back(fd);
    }
    socket.SendStr("x"); // queues an FD_WRITE for this descriptor
    socket.Close();
    socket.SetProto("udp");
    socket.SetAddr("127.0.0.1");
    socket.SetPort("0");
    socket.Listen(); // Linux hands out the same number again
    ASSERT_EQ(socket.HSocket(), oldFd);
    RunFor(50);
    EXPECT_EQ(dataSent, 0);
    for (int fd : fillers)
        ::close(fd);
    ::close(peer);
}

// A socket that counts its destruction.
class CountedSocket : public TWSocket {
public:
    explicit CountedSocket(int& destroyed, platform::TComponent* owner = nullptr)
        : TWSocket(owner), destroyed_(destroyed) {}
    ~CountedSocket() override { ++destroyed_; }

private:
    int& destroyed_;
};

TEST_F(WsocketTest, AHandlerReleasesItsSocketWhichRaisesNothingMoreAndIsFreedAtTheTurnsEnd) {
    int destroyed = 0;
    auto owned = std::make_unique<CountedSocket>(destroyed);
    CountedSocket* reader = owned.get();
    int peer = ConnectPair(*reader);
    std::vector<std::string> events;
    reader->OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        events.push_back("data " + s->ReceiveStr());
        s->Release();
        s->Release(); // once is enough
        events.push_back(destroyed == 0 ? "kept" : "gone");
        ReleaseAtTurnEnd(std::move(owned)); // its owner drops it from inside its handler
        events.push_back(destroyed == 0 && s->Released() ? "alive" : "gone");
    };
    reader->OnSessionClosed = [&](TCustomWSocket*, uint16_t) { events.push_back("closed"); };
    ::send(peer, "hello", 5, 0);
    ::close(peer); // data and close in one notification: no close event after the release
    ASSERT_TRUE(RunUntil([&] { return destroyed == 1; }));
    EXPECT_EQ(events, (std::vector<std::string>{"data hello", "kept", "alive"}));

    // A socket with a component owner, handed to the loop inside its close event, leaves its owner at
    // once: one free only.
    {
        platform::TComponent owner;
        auto* closer = new CountedSocket(destroyed, &owner);
        peer = ConnectPair(*closer);
        closer->OnSessionClosed = [&](TCustomWSocket* s, uint16_t) {
            ReleaseAtTurnEnd(std::unique_ptr<TCustomWSocket>(s));
        };
        ::close(peer);
        ASSERT_TRUE(RunUntil([&] { return destroyed == 2; }));
        EXPECT_EQ(owner.ComponentCount(), 0);
    }
    EXPECT_EQ(destroyed, 2);
}

// Release frees nothing, so a socket that is not on the heap can be released: on the stack, as a
// member, or with a component owner, each is freed once, by whoever holds it (a double free is caught
// by the address sanitizer of the checked build).
TEST_F(WsocketTest, ASocketOnTheStackOrAMemberIsReleasedAndClosedAndFreedOnceByItsHolder) {
    int destroyed = 0;
    {
        CountedSocket socket(destroyed);
        int peer = ConnectPair(socket);
        std::vector<std::string> events;
        socket.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
            events.push_back("data " + s->ReceiveStr());
            s->Release();
            s->Close();
        };
        socket.OnSessionClosed = [&](TCustomWSocket*, uint16_t) { events.push_back("closed"); };
        ::send(peer, "x", 1, 0);
        ASSERT_TRUE(RunUntil([&] { return socket.State() == wsClosed; }));
        RunFor(50); // turns end: nothing of the socket is freed by the loop
        EXPECT_EQ(destroyed, 0);
        EXPECT_TRUE(socket.Released());
        EXPECT_EQ(events, (std::vector<std::string>{"data x"})); // the close raised nothing
        ::close(peer);
    }
    EXPECT_EQ(destroyed, 1);

    struct Holder {
        explicit Holder(int& destroyed) : socket(destroyed), owned(destroyed, &owner) {}
        CountedSocket socket;
        platform::TComponent owner;
        CountedSocket owned; // listed with `owner` too: it leaves that list when it goes
    };
    {
        Holder holder(destroyed);
        holder.socket.Release(); // never opened
        holder.socket.Close();
        int peer = ConnectPair(holder.owned);
        holder.owned.Release();
        ::close(peer);
        RunFor(50);
        holder.owned.Close();
        EXPECT_EQ(destroyed, 1);
    }
    EXPECT_EQ(destroyed, 3);
}

// A counted client of a server, which releases itself when the peer says "bye".
class CountedClient : public TWSocketClient {
public:
    explicit CountedClient(int& destroyed) : destroyed_(destroyed) {}
    ~CountedClient() override { ++destroyed_; }

private:
    int& destroyed_;
};

TEST_F(WsocketTest, AReleasedClientLeavesItsServerAtOnceAndIsFreedAtTheEndOfTheTurn) {
    int destroyed = 0;
    TWSocketServer server(nullptr, "Srv");
    server.Banner.clear();
    server.SetProto("tcp");
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.ClientClass = [&](TCustomWSocketServer*) { return std::make_unique<CountedClient>(destroyed); };
    std::vector<std::string> events;
    server.OnClientConnect = [&](TCustomWSocketServer*, TWSocketClient* c, uint16_t) {
        c->OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
            const std::string text = s->ReceiveStr();
            s->Release();
            events.push_back("released, " + std::to_string(server.GetClientCount()) + " listed, " +
                             (destroyed == 0 ? "alive" : "gone"));
            s->SendStr(text); // its own code goes on using it: freed only after the turn
            s->Close();
            events.push_back(s->State() == wsClosed ? "closed" : "open");
        };
    };
    server.OnClientDisconnect = [&](TCustomWSocketServer*, TWSocketClient*, uint16_t) {
        events.push_back("disconnect");
    };
    server.Listen();
    int peer = net_test::RawConnect(static_cast<uint16_t>(std::stoi(server.GetXPort())));
    ASSERT_TRUE(RunUntil([&] { return server.GetClientCount() == 1; }));
    ::send(peer, "bye", 3, 0);
    ASSERT_TRUE(RunUntil([&] { return destroyed == 1; }));
    RunFor(50);
    // Released, it left the list at once, raised no disconnect, and was freed once, after its handler.
    EXPECT_EQ(events, (std::vector<std::string>{"released, 0 listed, alive", "closed"}));
    EXPECT_EQ(server.GetClientCount(), 0);
    EXPECT_EQ(destroyed, 1);
    ::close(peer);
}

TEST_F(WsocketTest, NameLookupsCompleteThroughTheLoop) {
    TWSocket socket;
    std::vector<int> done;
    socket.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t e) { done.push_back(e); };
    socket.DnsLookup("10.1.2.3");
    ASSERT_EQ(done.size(), 1u); // a dotted address completes inside the call
    EXPECT_EQ(socket.DnsResult(), "10.1.2.3");
    EXPECT_EQ(socket.DnsResultList().Count(), 0);

    socket.DnsLookup("localhost");
    EXPECT_EQ(done.size(), 1u);
    ASSERT_TRUE(RunUntil([&] { return done.size() == 2; }));
    EXPECT_EQ(done[1], 0);
    EXPECT_EQ(socket.DnsResult(), "127.0.0.1");

    socket.DnsLookup("no-such-host.invalid");
    ASSERT_TRUE(RunUntil([&] { return done.size() == 3; }, 20000));
    EXPECT_NE(done[2], 0);

    // A cancelled lookup, then the socket destroyed while the worker still runs: no callback.
    auto* doomed = new TWSocket;
    int calls = 0;
    doomed->OnDnsLookupDone = [&](TCustomWSocket*, uint16_t e) {
        ++calls;
        EXPECT_EQ(e, wsk::WSAEINTR);
    };
    doomed->DnsLookup("localhost");
    doomed->CancelDnsLookup();
    EXPECT_EQ(calls, 1);
    doomed->DnsLookup("localhost");
    delete doomed;
    RunFor(200);
    EXPECT_EQ(calls, 1); // destruction cancels silently, and the worker's late result is dropped
}

TEST_F(WsocketTest, ConnectAndSendByNameNeverWaitForTheNameServer) {
    net_test::HeldResolver names(100);
    uint16_t port = 0, udpPort = 0;
    int listener = net_test::RawListen(port);
    int datagrams = net_test::RawListen(udpPort, SOCK_DGRAM);
    std::vector<std::string> events;
    auto record = [&](TWSocket& socket, const std::string& name) {
        socket.OnSessionConnected = [&events, name](TCustomWSocket*, uint16_t e) {
            events.push_back(name + " connected " + std::to_string(e));
        };
        socket.OnSessionClosed = [&events, name](TCustomWSocket*, uint16_t e) {
            events.push_back(name + " closed " + std::to_string(e));
        };
    };
    TWSocket tcp, udp, lost, udpLost;
    record(tcp, "tcp");
    record(lost, "lost");
    tcp.SetAddr("loopback.test");
    tcp.SetPort(std::to_string(port));
    tcp.Connect(); // returns while the name server says nothing
    EXPECT_EQ(tcp.State(), wsConnecting);
    udp.SetProto("udp");
    udp.SetAddr("loopback.test");
    udp.SetPort(std::to_string(udpPort));
    udp.Connect();
    EXPECT_EQ(udp.State(), wsConnected);
    udp.SendStr("first");
    udp.SendStr("second"); // one datagram waits for the name: the last
    lost.SetAddr("nowhere.test");
    lost.SetPort(std::to_string(port));
    lost.Connect();
    udpLost.SetProto("udp");
    udpLost.SetAddr("nowhere.test");
    udpLost.SetPort(std::to_string(udpPort));
    udpLost.Connect();
    udpLost.SendStr("astray");
    RunFor(100);
    EXPECT_TRUE(tcp.AwaitingHost() && udp.AwaitingHost() && lost.AwaitingHost());
    EXPECT_TRUE(events.empty());

    names.Answer();
    ASSERT_TRUE(RunUntil([&] { return tcp.State() == wsConnected && lost.State() == wsClosed; }));
    std::sort(events.begin(), events.end()); // the two answers come in either order
    EXPECT_EQ(events, (std::vector<std::string>{"lost closed 0", "lost connected 11001", "tcp connected 0"}));
    // A datagram socket whose name failed closes: with no address it would send to this host.
    ASSERT_TRUE(RunUntil([&] { return udpLost.State() == wsClosed; }));
    pollfd p{datagrams, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    char buffer[64] = {};
    EXPECT_EQ(::recv(datagrams, buffer, sizeof buffer, MSG_DONTWAIT), 6);
    EXPECT_EQ(std::string(buffer), "second");
    EXPECT_LT(::recv(datagrams, buffer, sizeof buffer, MSG_DONTWAIT), 0);
    // loopback.test once for both sockets, nowhere.test once for both
    EXPECT_EQ(names.Lookups("loopback.test"), 1);
    EXPECT_EQ(names.Lookups("nowhere.test"), 1);

    // The answer is kept: the next Connect by that name goes out at once.
    tcp.Close();
    tcp.SetAddr("loopback.test");
    tcp.SetPort(std::to_string(port));
    tcp.Connect();
    EXPECT_FALSE(tcp.AwaitingHost());
    ASSERT_TRUE(RunUntil([&] { return tcp.State() == wsConnected; }));
    EXPECT_EQ(names.Lookups("loopback.test"), 1);
    ::close(listener);
    ::close(datagrams);
}

// Runs `work` as the handler of a message of its own, queued before whatever the next turn posts.
class Deferred : public platform::MessageTarget {
public:
    explicit Deferred(std::function<void()> work) : work_(std::move(work)) {
        platform::PostMessage(Handle(), platform::WM_USER);
    }
    void Dispatch(platform::TMessage&) override { work_(); }

private:
    std::function<void()> work_;
};

TEST_F(WsocketTest, ThreadAttachMakesANewWindowAndLosesNothingInFlight) {
    TWSocket socket;
    int peer = ConnectPair(socket);
    std::string received;
    bool closed = false;
    socket.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) { received += s->ReceiveStr(); };
    socket.OnSessionClosed = [&](TCustomWSocket*, uint16_t) { closed = true; };
    platform::HWND first = socket.Handle();
    socket.ThreadAttach();
    EXPECT_NE(socket.Handle(), first);
    EXPECT_FALSE(platform::EventLoop::Get().IsWindow(first));
    ::send(peer, "armed", 5, 0);
    ASSERT_TRUE(RunUntil([&] { return received == "armed"; })) << "notifications armed on the new window";

    // The peer's last bytes and its close are queued for the old window when the window is made anew.
    ::send(peer, " last", 5, 0);
    ::close(peer);
    pollfd hangUp{socket.HSocket(), POLLRDHUP, 0};
    ASSERT_EQ(::poll(&hangUp, 1, 5000), 1); // the kernel has it: the next look of the loop sees it
    size_t queued = 0;
    Deferred attach([&] {
        queued = platform::EventLoop::Get().Pending(WM_ASYNCSELECT);
        socket.ThreadAttach();
    });
    platform::EventLoop::Get().ProcessMessages();
    ASSERT_GT(queued, 0u);
    ASSERT_TRUE(RunUntil([&] { return closed; }, 2000));
    EXPECT_EQ(received, "armed last");

    // A name lookup and a connect that wait for the name server when the window is made anew.
    net_test::HeldResolver names;
    uint16_t port = 0;
    int listener = net_test::RawListen(port);
    TWSocket byName;
    int looked = -1;
    byName.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t e) { looked = e; };
    byName.DnsLookup("loopback.lookup");
    byName.SetAddr("loopback.connect");
    byName.SetPort(std::to_string(port));
    byName.Connect();
    ASSERT_TRUE(byName.AwaitingHost());
    byName.ThreadAttach();
    names.Answer();
    ASSERT_TRUE(RunUntil([&] { return looked == 0 && byName.State() == wsConnected; }));
    EXPECT_EQ(byName.DnsResult(), "127.0.0.1");
    ::close(listener);
}

TEST_F(WsocketTest, FailuresWithNumbersAreFormattedIntoTheirText) {
    TWSocket holder, second;
    for (TWSocket* s : {&holder, &second}) {
        s->SetProto("udp");
        s->SetAddr("127.0.0.1");
        s->SetPort("9");
    }
    holder.Connect();
    second.SetLocalPort(holder.LocalPort());
    try {
        second.Connect();
        ADD_FAILURE() << "bound a port in use";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "winsock.bind failed, error #10048");
    }
    // With OnError the failure is told there instead, with its code.
    second.Close();
    int code = 0;
    second.OnError = [&](TCustomWSocket* s) { code = s->LastError(); };
    second.SetProto("udp");
    second.SetAddr("127.0.0.1");
    second.SetPort("9");
    second.SetLocalPort(holder.LocalPort());
    EXPECT_NO_THROW(second.Connect());
    EXPECT_EQ(code, wsk::WSAEADDRINUSE);
}

TEST_F(WsocketTest, ListenerRestartsOnThePortItJustServed) {
    TWSocket listener;
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    listener.Listen();
    std::string port = listener.GetXPort();
    TWSocket served;
    listener.OnSessionAvailable = [&](TCustomWSocket* s, uint16_t) { served.Dup(s->Accept()); };
    int client = net_test::RawConnect(static_cast<uint16_t>(std::stoi(port)));
    ASSERT_TRUE(RunUntil([&] { return served.State() == wsConnected; }));
    served.LingerOnOff = wsLingerOff;
    served.Close(); // the active close leaves the port in TIME_WAIT
    ::close(client);
    listener.Close();
    listener.SetAddr("127.0.0.1");
    listener.SetPort(port);
    EXPECT_NO_THROW(listener.Listen());
    EXPECT_EQ(listener.State(), wsListening);
}

TEST_F(WsocketTest, UdpKeepsEachSendOneDatagram) {
    uint16_t port = 0;
    int receiver = net_test::RawListen(port, SOCK_DGRAM);
    TWSocket sender;
    bool connected = false;
    sender.OnSessionConnected = [&](TCustomWSocket*, uint16_t e) { connected = e == 0; };
    sender.SetProto("udp");
    sender.SetAddr("127.0.0.1");
    sender.SetPort(std::to_string(port));
    sender.Connect();
    EXPECT_TRUE(connected); // inside Connect, before any message
    std::string big(3000, 'b');
    sender.SendStr(big);
    sender.SendStr("small");
    char buf[70000];
    EXPECT_EQ(::recv(receiver, buf, sizeof buf, 0), 3000);
    EXPECT_EQ(::recv(receiver, buf, sizeof buf, 0), 5);
    std::string tooBig(70000, 't');
    EXPECT_THROW(sender.SendStr(tooBig), ESocketException);
    EXPECT_EQ(sender.LastError(), wsk::WSAEMSGSIZE);
    ::close(receiver);
}

TEST_F(WsocketTest, UdpListenerDeliversDatagramsThroughDataAvailable) {
    TWSocket listener;
    std::vector<std::string> got;
    listener.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        char buf[100];
        sockaddr_in from{};
        int len = sizeof from;
        int n = s->ReceiveFrom(buf, sizeof buf, from, len);
        if (n >= 0) got.emplace_back(buf, static_cast<size_t>(n));
    };
    listener.SetProto("udp");
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    listener.Listen();
    ASSERT_EQ(listener.State(), wsConnected);
    int port = std::stoi(listener.GetXPort());
    int out = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to = net_test::Loopback(static_cast<uint16_t>(port));
    ::sendto(out, "first", 5, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ::sendto(out, "second", 6, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ASSERT_TRUE(RunUntil([&] { return got.size() == 2; }));
    EXPECT_EQ(got[0], "first");
    EXPECT_EQ(got[1], "second");
    ::close(out);
}

TEST_F(WsocketTest, SendOnAClosedSocketFailsWithNotConnected) {
    TWSocket socket;
    int code = 0;
    socket.OnError = [&](TCustomWSocket* s) { code = s->LastError(); };
    EXPECT_EQ(socket.SendStr("x"), -1);
    EXPECT_EQ(code, wsk::WSAENOTCONN);
}

TEST_F(WsocketTest, HandlerExceptionAbortsUnlessBgExceptionKeepsTheSocket) {
    TWSocket socket;
    int peer = ConnectPair(socket);
    bool keep = true;
    int exceptions = 0;
    socket.OnBgException = [&](TCustomWSocket*, const std::exception&, bool& canClose) {
        ++exceptions;
        canClose = !keep;
    };
    socket.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        s->ReceiveStr();
        throw std::runtime_error("handler failed");
    };
    ::send(peer, "a", 1, 0);
    ASSERT_TRUE(RunUntil([&] { return exceptions == 1; }));
    EXPECT_EQ(socket.State(), wsConnected);
    keep = false;
    ::send(peer, "b", 1, 0);
    ASSERT_TRUE(RunUntil([&] { return socket.State() == wsClosed; }));
    ::close(peer);
}

TEST_F(WsocketTest, NestedWaitKeepsOtherSocketsMovingAndAQuitEndsBothWaits) {
    TWSocket outer, inner, other;
    int outerPeer = ConnectPair(outer);
    int innerPeer = ConnectPair(inner);
    int otherPeer = ConnectPair(other);
    outer.TimeoutMs = inner.TimeoutMs = 20000; // a safety net only: the quit must end the waits
    std::string innerData, otherData;
    inner.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) { innerData += s->ReceiveStr(); };
    other.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) { otherData += s->ReceiveStr(); };
    platform::EventLoop& loop = platform::EventLoop::Get();
    // The quit comes once both sockets have moved during the nested wait.
    int quitTimer = loop.CreateTimer([&] {
        if (innerData == "inner" && otherData == "other") loop.Terminate();
    });
    bool neverDone = false;
    int innerResult = -1;
    bool nested = false, innerReturned = false;
    outer.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        s->ReceiveStr();
        if (nested) return;
        nested = true;
        ::send(innerPeer, "inner", 5, 0);
        ::send(otherPeer, "other", 5, 0);
        loop.StartTimer(quitTimer, 10);
        innerResult = inner.WaitUntilReady(neverDone);
        innerReturned = true;
    };
    ::send(outerPeer, "go", 2, 0);
    uint32_t start = platform::Clock::Get().TickCount();
    int outerResult = outer.WaitUntilReady(neverDone);
    uint32_t elapsed = platform::TicksElapsed(platform::Clock::Get().TickCount(), start);
    loop.DestroyTimer(quitTimer);
    EXPECT_TRUE(innerReturned);
    EXPECT_EQ(innerResult, kWaitTimedOut);
    EXPECT_EQ(outerResult, kWaitTimedOut);
    EXPECT_EQ(innerData, "inner");
    EXPECT_EQ(otherData, "other");
    EXPECT_TRUE(loop.Terminated());
    EXPECT_LT(elapsed, 20000u) << "the quit was lost in the nested wait";
    ::close(outerPeer);
    ::close(innerPeer);
    ::close(otherPeer);
}

TEST_F(WsocketTest, TimerValuesAreSetClearedAndComparedByBothParts) {
    TWSocket socket;
    const timeval none{0, 0}, seconds{3, 0}, micros{0, 250}, both{3, 250};
    EXPECT_FALSE(socket.TimerIsSet(none));
    EXPECT_TRUE(socket.TimerIsSet(seconds));
    EXPECT_TRUE(socket.TimerIsSet(micros));
    EXPECT_TRUE(socket.TimerIsSet(both));
    timeval cleared = both;
    socket.TimerClear(cleared);
    EXPECT_EQ(cleared.tv_sec, 0);
    EXPECT_EQ(cleared.tv_usec, 0);
    // Pairs that differ in one part only are unequal; isEqual false asks the opposite question.
    for (const timeval& other : {seconds, micros}) {
        EXPECT_FALSE(socket.TimerCmp(both, other, true));
        EXPECT_TRUE(socket.TimerCmp(both, other, false));
    }
    EXPECT_TRUE(socket.TimerCmp(both, timeval{3, 250}, true));
    EXPECT_FALSE(socket.TimerCmp(both, timeval{3, 250}, false));
}

} // namespace
