// Line mode over a raw loopback peer, the address helpers and the diagnostic datagram sender.
#include <gtest/gtest.h>

#include "net/DiagnosticDatagram.h"
#include "net/Wsocket.h"
#include "tests/net/NetTestSupport.h"

using namespace net;
using net_test::LoopTest;

namespace {

class LineModeTest : public LoopTest {
protected:
    int ConnectLineSocket(TWSocket& socket) {
        uint16_t port = 0;
        int listener = net_test::RawListen(port);
        socket.SetAddr("127.0.0.1");
        socket.SetPort(std::to_string(port));
        socket.SetLineMode(true);
        socket.OnDataAvailable = [this](TCustomWSocket* s, uint16_t) { lines_.push_back(s->ReceiveStr()); };
        socket.Connect();
        EXPECT_TRUE(RunUntil([&] { return socket.State() == wsConnected; }));
        int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ::close(listener);
        return peer;
    }
    void Send(int peer, const std::string& text) {
        ::send(peer, text.data(), text.size(), 0);
        RunFor(30);
    }
    std::vector<std::string> lines_;
};

TEST_F(LineModeTest, LinesAreDeliveredWholeWhateverTheSegments) {
    TWSocket socket;
    int peer = ConnectLineSocket(socket);
    Send(peer, "A\r\nB\r\n");
    Send(peer, "split\r");
    Send(peer, "\nlast");
    ::close(peer);
    ASSERT_TRUE(RunUntil([&] { return socket.State() == wsClosed; }));
    EXPECT_EQ(lines_, (std::vector<std::string>{"A\r\n", "B\r\n", "split\r\n", "last"}));
}

TEST_F(LineModeTest, OverflowDropsTheRestOfTheLongLine) {
    TWSocket socket;
    int peer = ConnectLineSocket(socket);
    socket.LineLimit = 100;
    int limits = 0;
    socket.OnLineLimitExceeded = [&](TCustomWSocket*, int, bool&) { ++limits; };
    Send(peer, std::string(150, 'x'));
    Send(peer, std::string(50, 'y') + "\r\nnext\r\n");
    EXPECT_EQ(limits, 1);
    EXPECT_EQ(lines_, (std::vector<std::string>{"next\r\n"}));
    ::close(peer);
}

TEST_F(LineModeTest, ManyLinesCutByBoundedReadsArriveWholeAndInOrder) {
    TWSocket socket;
    int peer = ConnectLineSocket(socket);
    socket.LineLimit = 100; // the reads stay small (a few hundred bytes) and cut many lines in two
    int limits = 0;
    socket.OnLineLimitExceeded = [&](TCustomWSocket*, int, bool&) { ++limits; };
    std::string input;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i) {
        std::string line =
            std::string(static_cast<size_t>(i % 97), 'a' + i % 26) + std::to_string(i) + "\r\n";
        if (line.size() > 100) continue;
        expected.push_back(line);
        input += line;
    }
    ASSERT_EQ(::send(peer, input.data(), input.size(), 0), static_cast<ssize_t>(input.size()));
    ASSERT_TRUE(RunUntil([&] { return lines_.size() >= expected.size(); }));
    EXPECT_EQ(lines_, expected);
    EXPECT_EQ(limits, 0);
    EXPECT_EQ(socket.BufferedCount(), 0);
    ::close(peer);
}

TEST_F(LineModeTest, TurningLineModeOffKeepsTheByteOrder) {
    TWSocket socket;
    int peer = ConnectLineSocket(socket);
    std::string raw;
    socket.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        if (socket.LineMode()) {
            lines_.push_back(s->ReceiveStr());
            socket.SetLineMode(false);
        } else {
            raw += s->ReceiveStr();
        }
    };
    Send(peer, "head\r\nbody1\r\nbody2");
    Send(peer, "-more");
    EXPECT_EQ(lines_, (std::vector<std::string>{"head\r\n"}));
    EXPECT_EQ(raw, "body1\r\nbody2-more");
    ::close(peer);
}

TEST_F(LineModeTest, EditingAndWaits) {
    TWSocket socket;
    int peer = ConnectLineSocket(socket);
    socket.LineEdit = true;
    Send(peer, "\bab\bc\r\n");
    EXPECT_EQ(lines_, (std::vector<std::string>{"ac\r\n"}));
    socket.TimeoutMs = 100;
    bool never = false;
    EXPECT_EQ(socket.WaitUntilReady(never), kWaitTimedOut);
    std::string line;
    ::send(peer, "reply\r\n", 7, 0);
    socket.ReadLine(-2000, line);
    EXPECT_EQ(line, "reply\r\n");
    ::close(peer);
}

TEST(AddressHelpers, DottedAddressesPortsAndDescriptions) {
    EXPECT_TRUE(WSocketIsDottedIP("192.168.1.10"));
    EXPECT_TRUE(WSocketIsDottedIP("  10.0.0.1  "));
    for (const char* bad :
         {"10.0.0", "10.0.0.256", ".1.2.3", "1.2.3.", "1.2..3", "abc", "1.2.3.99999999999999999999"})
        EXPECT_FALSE(WSocketIsDottedIP(bad)) << bad;
    EXPECT_EQ(WSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(WSocketResolvePort("80", "tcp"), 80);
    EXPECT_EQ(WSocketResolvePort("8080abc", "tcp"), 8080);
    EXPECT_EQ(WSocketResolvePort("ftp", "tcp"), 21);
    EXPECT_THROW(WSocketResolvePort("99999", "tcp"), ESocketException);
    EXPECT_EQ(WSocketResolveProto("udp"), 17);
    EXPECT_EQ(WSocketErrorDesc(10061), "Connection refused");
    EXPECT_EQ(WSocketErrorDesc(10072), "Not a WinSock error");
}

TEST_F(LineModeTest, DiagnosticDatagramIsOneDatagram) {
    uint16_t port = 0;
    int receiver = net_test::RawListen(port, SOCK_DGRAM);
    std::string text = "DS2450 1234: " + std::string(200, 'v');
    SendDiagnosticDatagram(text, std::to_string(port));
    char buf[1000];
    EXPECT_EQ(::recv(receiver, buf, sizeof buf, MSG_DONTWAIT), static_cast<ssize_t>(text.size()));
    ::close(receiver);
}

} // namespace
