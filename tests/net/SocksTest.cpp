// Connecting through SOCKS 4, 4A and 5 servers: microsocks and dante on loopback, and a scripted
// server for the replies real servers do not give (every error code, the bound address types, replies
// split byte by byte, the owner's bytes behind the reply); and the FTP client through SOCKS.
#include <gtest/gtest.h>

#include "net/WsocketSocks.h"
#include "platform/Strings.h"
#include "tests/net/FtpTestSupport.h"

using namespace net;
using namespace ftp_test;
using net_test::LoopTest;
using Events = std::vector<std::string>;

namespace {

std::string Hex(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes)
        out += platform::Format("%02x", c);
    return out;
}

// microsocks (SOCKS 5 only; with user/password when a user is given) or dante (SOCKS 4 and 5).
enum class Real { Microsocks, Dante };
struct RealSocks {
    explicit RealSocks(Real kind, const std::string& user = {})
        : port(net_test::FreePort()), process(Command(kind, user)) {
        if (!AwaitBound(static_cast<uint16_t>(port))) port = 0;
    }
    std::vector<std::string> Command(Real kind, const std::string& user) const {
        if (kind == Real::Microsocks) {
            std::vector<std::string> argv = {"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port)};
            if (!user.empty()) argv.insert(argv.end(), {"-u", user, "-P", "s3cret"});
            return argv;
        }
        WriteRaw(dir / "danted.conf", "logoutput: " + (dir / "danted.log") +
                                          "\ninternal: 127.0.0.1 port = " + std::to_string(port) +
                                          "\nexternal: 127.0.0.1\nclientmethod: none\nsocksmethod: none\n"
                                          "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                                          "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 protocol: tcp }\n");
        return {"/usr/sbin/danted", "-f", dir / "danted.conf", "-N", "1"};
    }
    TempDir dir;
    int port;
    PeerProcess process;
};

// tests/peers/socks_peer.py with its reply options.
struct ScriptedSocks {
    explicit ScriptedSocks(std::vector<std::string> options) : process(Command(std::move(options))) {}
    static std::vector<std::string> Command(std::vector<std::string> options) {
        options.insert(options.begin(),
                       {kPython, KORVANE_SOURCE_DIR "/tests/peers/socks_peer.py", "--port", "0"});
        return options;
    }
    bool Logged(const std::string& line) const {
        return process.Output().find(line + "\n") != std::string::npos;
    }
    PeerProcess process;
    int port = AwaitPort(process);
};

// A raw listener that a SOCKS server connects to on our behalf.
struct Target {
    Target() : fd(net_test::RawListen(port)) { net_test::SetNonBlocking(fd); }
    ~Target() {
        if (conn >= 0) ::close(conn);
        ::close(fd);
    }
    bool Accepted() {
        if (conn < 0) conn = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        return conn >= 0;
    }
    uint16_t port = 0;
    int fd, conn = -1;
};

// Everything a SOCKS socket tells its owner, in order.
struct Recorder {
    explicit Recorder(TSocksWSocket& socket) {
        socket.OnSocksConnected = [this](TCustomWSocket*, uint16_t e) { Add("socks-connected", e); };
        socket.OnSocksError = [this](TCustomWSocket*, int e, const std::string& text) {
            events.push_back("socks-error " + std::to_string(e) + " " + text);
        };
        socket.OnSocksAuthState = [this](TCustomWSocket*, TSocksAuthState state) {
            static const char* const names[] = {"start", "success", "failure", "not-required"};
            events.push_back(std::string("auth ") + names[state]);
        };
        socket.OnSessionConnected = [this](TCustomWSocket*, uint16_t e) { Add("connected", connected = e); };
        socket.OnSessionClosed = [this](TCustomWSocket*, uint16_t e) { Add("closed", e); };
        socket.OnDataAvailable = [this, &socket](TCustomWSocket*, uint16_t) {
            std::string text = socket.ReceiveStr();
            if (!text.empty()) received.push_back(text);
        };
    }
    void Add(const char* what, int e) { events.push_back(std::string(what) + " " + std::to_string(e)); }
    Events events, received;
    int connected = -1;
};

const Events kGranted = {"socks-connected 0", "connected 0"};

Events Failure(int code, const std::string& text, Events before = {"socks-connected 0"}) {
    std::string c = std::to_string(code);
    before.insert(before.end(), {"socks-error " + c + " " + text, "connected " + c, "closed " + c});
    return before;
}

class SocksTest : public LoopTest {
protected:
    static void Aim(TSocksWSocket& socket, int socksPort, const std::string& level, uint16_t destPort = 8080,
                    const std::string& dest = "127.0.0.1") {
        socket.SetAddr(dest);
        socket.SetPort(std::to_string(destPort));
        socket.SetSocksServer("127.0.0.1");
        socket.SetSocksPort(std::to_string(socksPort));
        socket.SetSocksLevel(level);
    }
    // Connects and runs until the owner's OnSessionConnected and, after a failure, the close.
    static Events Negotiate(TSocksWSocket& socket, Recorder& recorder) {
        socket.Connect();
        EXPECT_TRUE(RunUntil([&] {
            return recorder.connected == 0 || (recorder.connected > 0 && socket.State() == wsClosed);
        })) << "no OnSessionConnected";
        RunFor(20);
        return recorder.events;
    }
    // One fresh socket per expected outcome, one after the other against the same server.
    static void ExpectEach(const std::vector<Events>& expected,
                           const std::function<void(TSocksWSocket&, size_t)>& aim) {
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE("connection " + std::to_string(i));
            TSocksWSocket socket;
            Recorder recorder(socket);
            aim(socket, i);
            EXPECT_EQ(Negotiate(socket, recorder), expected[i]);
        }
    }
    // For what happens outside the loop's sight (the raw target): look again every 10 ms.
    static bool Poll(const std::function<bool()>& done) {
        for (int tries = 0; tries < 500 && !done(); ++tries)
            RunFor(10);
        return done();
    }
    static std::string Message(const std::function<void()>& call) {
        try {
            call();
        } catch (const ESocketException& e) {
            return e.what();
        }
        return "no exception";
    }
};

struct Route {
    Real server;
    const char* level;
    int refusedCode;
    const char* refusedText;
};

class SocksRealServerTest : public SocksTest, public ::testing::WithParamInterface<Route> {};

TEST_P(SocksRealServerTest, ConnectsThroughTheServerCarriesDataAndReportsARefusedTarget) {
    RealSocks server(GetParam().server);
    ASSERT_GT(server.port, 0) << "the SOCKS server did not start (scripts/install-deps)";
    Target target;
    TSocksWSocket socket;
    Recorder recorder(socket);
    Aim(socket, server.port, GetParam().level, target.port);
    EXPECT_EQ(Negotiate(socket, recorder), kGranted);
    EXPECT_EQ(socket.PeerPort(), std::to_string(server.port)); // the connection is the server's
    EXPECT_EQ(socket.Addr(), "127.0.0.1");
    ASSERT_TRUE(Poll([&] { return target.Accepted(); }));
    socket.SendStr("ping");
    std::string got;
    EXPECT_TRUE(Poll([&] { return net_test::DrainInto(target.conn, got) && got == "ping"; }));
    ASSERT_EQ(::write(target.conn, "pong", 4), 4);
    EXPECT_TRUE(RunUntil([&] { return recorder.received == Events{"pong"}; }));
    if (GetParam().server == Real::Dante && std::string(GetParam().level) == "5") {
        EXPECT_EQ(socket.BoundAddr(), "127.0.0.1");
        EXPECT_NE(socket.BoundPort(), "0");
    }
    socket.Close();

    ExpectEach({Failure(GetParam().refusedCode, GetParam().refusedText)}, [&](TSocksWSocket& s, size_t) {
        Aim(s, server.port, GetParam().level, net_test::FreePort());
    });
}

// dante answers 91 to every failed SOCKS 4 request.
INSTANTIATE_TEST_SUITE_P(Servers, SocksRealServerTest,
                         ::testing::Values(Route{Real::Microsocks, "5", 20008, "connection refused"},
                                           Route{Real::Dante, "5", 20008, "connection refused"},
                                           Route{Real::Dante, "4", 20016, "request rejected or failed"}));

TEST_F(SocksTest, UserAndPasswordWithMicrosocks) {
    RealSocks server(Real::Microsocks, "station");
    ASSERT_GT(server.port, 0) << "microsocks did not start (scripts/install-deps)";
    Target target;
    const char* passwords[] = {"s3cret", "wrong", ""};
    ExpectEach({{"socks-connected 0", "auth start", "auth success", "connected 0"},
                Failure(20015, "socks authentication failed", {"socks-connected 0", "auth start"}),
                Failure(20003, "authentification method not acceptable")},
               [&](TSocksWSocket& s, size_t i) {
                   Aim(s, server.port, "5", target.port);
                   s.SocksUsercode = "station";
                   s.SocksPassword = passwords[i];
                   s.SocksAuthentication = i < 2 ? socksAuthenticateUsercode : socksNoAuthentication;
               });
}

TEST_F(SocksTest, Socks4And4ARequestsAndEveryReplyCode) {
    ScriptedSocks server({"--reply", "005a000000000000,005b000000000000,005c000000000000,005d000000000000,"
                                     "005f000000000000,045a000000000000"});
    ASSERT_GT(server.port, 0);
    ExpectEach({kGranted, Failure(20016, "request rejected or failed"), Failure(20008, "connection refused"),
                Failure(20015, "authentification failed"), Failure(20012, "unassigned error #95"),
                Failure(20002, "socks version error")},
               [&](TSocksWSocket& s, size_t i) {
                   // 4A sends the name for the server to resolve, 4 the address resolved here.
                   Aim(s, server.port, i == 0 ? "4a" : "4", 8080, i == 0 ? "localhost" : "127.0.0.1");
                   s.SocksUsercode = i == 0 ? "station" : "";
               });
    EXPECT_TRUE(
        server.Logged("0 CONNECT 04011f9000000001" + Hex("station") + "00" + Hex("localhost") + "00"));
    EXPECT_TRUE(server.Logged("1 CONNECT 04011f907f00000100"));
}

TEST_F(SocksTest, Socks5ReplyCodesAndMethodAndAuthenticationFailures) {
    const char* texts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                           "network unreachable",          "host unreachable",
                           "connection refused",           "time to live expired",
                           "command not supported",        "address type not supported",
                           "unassigned error #9"};
    std::string replies;
    std::vector<Events> expected;
    for (int code = 1; code <= 9; ++code) {
        replies += platform::Format("05%02x0001000000000000,", code);
        expected.push_back(Failure(20003 + code, texts[code - 1]));
    }
    expected.push_back(Failure(20011, "address type not supported")); // address type 5
    expected.push_back(Failure(20002, "socks version error"));
    ScriptedSocks codes({"--reply", replies + "0500000500000000,0400000100000000000000"});
    ASSERT_GT(codes.port, 0);
    ExpectEach(expected, [&](TSocksWSocket& s, size_t) { Aim(s, codes.port, "5", 8080, "localhost"); });
    EXPECT_TRUE(codes.Logged("0 GREETING 050100"));
    EXPECT_TRUE(codes.Logged("0 CONNECT 0501000309" + Hex("localhost") + "1f90"));

    ScriptedSocks methods(
        {"--method", "05ff,0400,0502,0502,0502,0500", "--auth", "0100,0100,0101,0500,010000"});
    ASSERT_GT(methods.port, 0);
    Events started = {"socks-connected 0", "auth start"};
    ExpectEach({Failure(20003, "authentification method not acceptable"),
                Failure(20002, "socks version error"),
                Failure(20015, "socks authentication failed", started),
                Failure(20002, "socks version error", started),
                Failure(20001, "too much data availaible", started),
                {"socks-connected 0", "auth not-required", "connected 0"}},
               [&](TSocksWSocket& s, size_t) {
                   Aim(s, methods.port, "5");
                   s.SocksAuthentication = socksAuthenticateUsercode;
                   s.SocksUsercode = "station";
                   s.SocksPassword = "pw";
               });
    EXPECT_TRUE(methods.Logged("0 GREETING 050102"));
    EXPECT_TRUE(methods.Logged("2 AUTH 0107" + Hex("station") + "02" + Hex("pw")));
}

TEST_F(SocksTest, BoundAddressesOfEveryTypeEvenWithTheLongestNameAndRepliesSplitByteByByte) {
    std::string name200(200, 'n'), name255(255, 'm');
    std::string replies = "05000003c8" + Hex(name200) + "1234,05000003ff" + Hex(name255) +
                          "0050,0500000420010db80000000000000000000000010050,05000001c00002070050";
    std::pair<std::string, std::string> bound[] = {
        {name200, "4660"}, {name255, "80"}, {"2001:db8::1", "80"}, {"192.0.2.7", "80"}};
    for (bool split : {false, true}) {
        SCOPED_TRACE(split ? "split" : "whole");
        std::vector<std::string> options = {"--reply", replies, "--method", "0502"};
        if (split) options.push_back("--split");
        ScriptedSocks server(options);
        ASSERT_GT(server.port, 0);
        for (const auto& [addr, port] : bound) {
            TSocksWSocket socket;
            Recorder recorder(socket);
            Aim(socket, server.port, "5");
            socket.SocksAuthentication = socksAuthenticateUsercode;
            EXPECT_EQ(Negotiate(socket, recorder),
                      (Events{"socks-connected 0", "auth start", "auth success", "connected 0"}));
            EXPECT_EQ(socket.BoundAddr(), addr);
            EXPECT_EQ(socket.BoundPort(), port);
        }
    }
}

TEST_F(SocksTest, BytesBehindTheReplyReachTheOwnerFirstInOrderAndAsLines) {
    for (const char* level : {"5", "4"}) {
        SCOPED_TRACE(level);
        // Nothing follows: the bytes behind the reply are all there is to announce.
        ScriptedSocks server({"--after", Hex("hello")});
        ASSERT_GT(server.port, 0);
        TSocksWSocket socket;
        Recorder recorder(socket);
        Aim(socket, server.port, level);
        EXPECT_EQ(Negotiate(socket, recorder), kGranted);
        EXPECT_TRUE(RunUntil([&] { return !recorder.received.empty(); }, 1000));
        EXPECT_EQ(recorder.received, Events{"hello"});
        socket.SendStr("after");
        EXPECT_TRUE(RunUntil([&] { return server.Logged("0 GOT " + Hex("after")); }));
    }

    // More lines than the reply's read takes: line mode gets them partly from behind the reply and
    // partly from the network, and each line it delivers is read whole.
    Events lines;
    std::string after;
    for (int i = 10; i < 50; ++i)
        after += lines.emplace_back("line " + std::to_string(i) + "\r\n");
    lines.push_back("partial\r\n");
    ScriptedSocks server({"--after", Hex(after + "par"), "--later", Hex("tial\r\n")});
    ASSERT_GT(server.port, 0);
    TSocksWSocket socket;
    Recorder recorder(socket);
    socket.SetLineMode(true);
    Aim(socket, server.port, "5");
    EXPECT_EQ(Negotiate(socket, recorder), kGranted);
    EXPECT_TRUE(RunUntil([&] { return recorder.received.size() == lines.size(); }));
    EXPECT_EQ(recorder.received, lines);
}

TEST_F(SocksTest, WhatCannotBeNegotiatedIsRefusedBeforeSendingAndACloseForgetsTheServer) {
    ScriptedSocks server({});
    ASSERT_GT(server.port, 0);
    TSocksWSocket socket;
    Recorder recorder(socket);
    Aim(socket, server.port, "5");
    socket.SetProto("udp");
    EXPECT_EQ(Message([&] { socket.Connect(); }), "tcp is the only protocol supported thru socks server");
    socket.SetProto("tcp");
    EXPECT_EQ(Message([&] { socket.Listen(); }), "Listening is not supported thru socks server");
    EXPECT_EQ(Message([&] { socket.SetSocksLevel("4B"); }), "Invalid socks level. Must be 4, 4A or 5.");
    // Names, user codes and passwords over 255 bytes would overflow their length byte.
    socket.SetAddr(std::string(256, 'h'));
    EXPECT_EQ(Message([&] { socket.Connect(); }),
              "Host name too long for a socks server (255 bytes at most)");
    socket.SetAddr("127.0.0.1");
    socket.SocksPassword = std::string(256, 'p');
    EXPECT_EQ(Message([&] { socket.Connect(); }), "Socks usercode or password too long (255 bytes at most)");
    RunFor(50);
    EXPECT_EQ(server.process.Output().find("GREETING"), std::string::npos);

    socket.SocksPassword.clear();
    EXPECT_EQ(Negotiate(socket, recorder), kGranted);
    socket.Close();
    EXPECT_EQ(socket.SocksServer(), "");
    EXPECT_EQ(socket.SocksLevel(), "5");
    Target target;
    recorder.events.clear();
    recorder.connected = -1;
    socket.SetAddr("127.0.0.1");
    socket.SetPort(std::to_string(target.port));
    EXPECT_EQ(Negotiate(socket, recorder), Events{"connected 0"});
    EXPECT_TRUE(Poll([&] { return target.Accepted(); }));
}

// The FTP client's SOCKS connection types: passive transfers, both connections through the server.
struct FtpRoute {
    TFtpConnectionType type;
    Real server;
    const char* user;
    const char* refusal;
};

class FtpThroughSocksTest : public LoopTest, public ::testing::WithParamInterface<FtpRoute> {};

TEST_P(FtpThroughSocksTest, UploadsThroughTheServerAndNamesItsRefusal) {
    const FtpRoute& route = GetParam();
    RealSocks socks(route.server, route.user);
    ASSERT_GT(socks.port, 0) << "the SOCKS server did not start (scripts/install-deps)";
    PyftpdPeer ftpd;
    ASSERT_GT(ftpd.port, 0);
    TempDir local;
    std::string bytes = Pattern(200000);
    WriteRaw(local / "up.bin", bytes);

    TFtpClient client;
    client.HostName = "127.0.0.1";
    client.Port = std::to_string(ftpd.port);
    client.UserName = "ftpuserID";
    client.PassWord = "MoLeSkIn";
    client.SetConnectionType(route.type);
    client.SocksServer = "127.0.0.1";
    client.SocksPort = std::to_string(socks.port);
    client.SocksUserCode = route.user;
    client.SocksPassword = "s3cret";
    EXPECT_TRUE(client.Passive());
    client.HostFileName = "up.bin";
    client.SetLocalFileName(local / "up.bin");
    ASSERT_TRUE(client.Connect()) << client.ErrorMessage();
    EXPECT_EQ(client.ControlSocket()->PeerPort(), std::to_string(socks.port));
    ASSERT_TRUE(client.TypeBinary());
    ASSERT_TRUE(client.Put()) << client.ErrorMessage();
    EXPECT_TRUE(client.Quit());
    EXPECT_TRUE(ReadRaw(ftpd.root / "up.bin") == bytes);

    client.Port = std::to_string(net_test::FreePort());
    EXPECT_FALSE(client.Connect());
    EXPECT_EQ(client.LastResponse(), route.refusal);
}

INSTANTIATE_TEST_SUITE_P(Types, FtpThroughSocksTest,
                         ::testing::Values(FtpRoute{ftpSocks5, Real::Microsocks, "",
                                                    "500 connection refused (Socks error #20008)"},
                                           FtpRoute{ftpSocks5, Real::Microsocks, "station",
                                                    "500 connection refused (Socks error #20008)"},
                                           FtpRoute{ftpSocks4, Real::Dante, "",
                                                    "500 request rejected or failed (Socks error #20016)"}));

} // namespace
