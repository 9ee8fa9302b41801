// Connecting through SOCKS 4, 4A and 5 servers: microsocks and dante on loopback, and a scripted
// server for the replies real servers do not give (every error code, the bound address types, replies
// split byte by byte, the owner's bytes behind the reply); and the FTP client through SOCKS.
#include <gtest/gtest.h>

#include "net/WsocketSocks.h"
#include "tests/net/FtpTestSupport.h"

using namespace net;
using namespace ftp_test;
using net_test::LoopTest;

namespace {

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// microsocks: SOCKS 5 only, with user/password when given.
struct MicrosocksPeer {
    explicit MicrosocksPeer(const std::string& user = {}, const std::string& password = {})
        : port(net_test::FreePort()), process(Command(user, password)) {
        if (!AwaitBound(static_cast<uint16_t>(port))) port = 0;
    }
    std::vector<std::string> Command(const std::string& user, const std::string& password) const {
        std::vector<std::string> argv = {"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port)};
        if (!user.empty()) argv.insert(argv.end(), {"-u", user, "-P", password});
        return argv;
    }
    int port;
    PeerProcess process;
};

// dante: SOCKS 4 and 5, reporting the address it connects from.
struct DantePeer {
    DantePeer() : port(net_test::FreePort()), process(Command()) {
        if (!AwaitBound(static_cast<uint16_t>(port))) port = 0;
    }
    std::vector<std::string> Command() const {
        std::string conf = dir / "danted.conf";
        WriteRaw(conf, "logoutput: " + (dir / "danted.log") +
                           "\ninternal: 127.0.0.1 port = " + std::to_string(port) +
                           "\nexternal: 127.0.0.1\nclientmethod: none\nsocksmethod: none\n"
                           "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                           "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 protocol: tcp }\n");
        return {"/usr/sbin/danted", "-f", conf, "-N", "1"};
    }
    TempDir dir;
    int port;
    PeerProcess process;
};

// tests/peers/socks_peer.py with its reply options.
struct ScriptedSocks {
    explicit ScriptedSocks(std::vector<std::string> options)
        : process(Command(std::move(options))), port(AwaitPort(process)) {}
    static std::vector<std::string> Command(std::vector<std::string> options) {
        options.insert(options.begin(),
                       {kPython, KORVANE_SOURCE_DIR "/tests/peers/socks_peer.py", "--port", "0"});
        return options;
    }
    bool Logged(const std::string& line) const {
        return process.Output().find(line + "\n") != std::string::npos;
    }
    PeerProcess process;
    int port;
};

// A raw listener that a SOCKS server connects to on our behalf.
class Target {
public:
    Target() : fd_(net_test::RawListen(port_)) { net_test::SetNonBlocking(fd_); }
    ~Target() {
        if (conn_ >= 0) ::close(conn_);
        ::close(fd_);
    }
    uint16_t Port() const { return port_; }
    bool Accepted() {
        if (conn_ < 0) conn_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        return conn_ >= 0;
    }
    int Conn() const { return conn_; }

private:
    uint16_t port_ = 0;
    int fd_;
    int conn_ = -1;
};

// Everything a SOCKS socket tells its owner, in order.
struct Recorder {
    explicit Recorder(TSocksWSocket& socket) : socket_(socket) {
        socket.OnSocksConnected = [this](TCustomWSocket*, uint16_t e) { Add("socks-connected", e); };
        socket.OnSocksError = [this](TCustomWSocket*, int e, const std::string& text) {
            events.push_back("socks-error " + std::to_string(e) + " " + text);
        };
        socket.OnSocksAuthState = [this](TCustomWSocket*, TSocksAuthState state) {
            static const char* const names[] = {"start", "success", "failure", "not-required"};
            events.push_back(std::string("auth ") + names[state]);
        };
        socket.OnSessionConnected = [this](TCustomWSocket*, uint16_t e) {
            Add("connected", e);
            connected = e;
        };
        socket.OnSessionClosed = [this](TCustomWSocket*, uint16_t e) { Add("closed", e); };
        socket.OnDataAvailable = [this](TCustomWSocket*, uint16_t) {
            std::string text = socket_.ReceiveStr();
            if (!text.empty()) received.push_back(text);
        };
    }
    void Add(const char* what, int e) { events.push_back(std::string(what) + " " + std::to_string(e)); }
    std::string Received() const {
        std::string all;
        for (const std::string& r : received)
            all += r;
        return all;
    }
    std::vector<std::string> events, received;
    int connected = -1;

private:
    TSocksWSocket& socket_;
};

class SocksTest : public LoopTest {
protected:
    static void Aim(TSocksWSocket& socket, int socksPort, const std::string& level, uint16_t destPort,
                    const std::string& dest = "127.0.0.1") {
        socket.SetAddr(dest);
        socket.SetPort(std::to_string(destPort));
        socket.SetSocksServer("127.0.0.1");
        socket.SetSocksPort(std::to_string(socksPort));
        socket.SetSocksLevel(level);
    }
    // Connects and runs until the owner's OnSessionConnected and, after a failure, the close.
    static std::vector<std::string> Negotiate(TSocksWSocket& socket, Recorder& recorder) {
        socket.Connect();
        EXPECT_TRUE(RunUntil([&] {
            return recorder.connected == 0 || (recorder.connected > 0 && socket.State() == wsClosed);
        })) << "no OnSessionConnected";
        RunFor(20);
        return recorder.events;
    }
    static std::vector<std::string> Failure(int code, const std::string& text) {
        std::string c = std::to_string(code);
        return {"socks-connected 0", "socks-error " + c + " " + text, "connected " + c, "closed " + c};
    }
    // For what happens outside the loop's sight (the raw target): look again every 10 ms.
    static bool Poll(const std::function<bool()>& done) {
        for (int tries = 0; tries < 500; ++tries) {
            if (done()) return true;
            RunFor(10);
        }
        return false;
    }
    static std::string Message(const std::function<void()>& call) {
        try {
            call();
        } catch (const ESocketException& e) {
            return e.what();
        }
        return "no exception";
    }
    const std::vector<std::string> granted_ = {"socks-connected 0", "connected 0"};
};

enum class Real { Microsocks, Dante };
struct Route {
    Real server;
    const char* level;
    int refusedCode;
    const char* refusedText;
};

class SocksRealServerTest : public SocksTest, public ::testing::WithParamInterface<Route> {
protected:
    int StartServer() {
        if (GetParam().server == Real::Microsocks) {
            microsocks_ = std::make_unique<MicrosocksPeer>();
            return microsocks_->port;
        }
        dante_ = std::make_unique<DantePeer>();
        return dante_->port;
    }
    std::unique_ptr<MicrosocksPeer> microsocks_;
    std::unique_ptr<DantePeer> dante_;
};

TEST_P(SocksRealServerTest, ConnectsThroughTheServerCarriesDataAndReportsARefusedTarget) {
    int socksPort = StartServer();
    ASSERT_GT(socksPort, 0) << "the SOCKS server did not start (scripts/install-deps)";
    Target target;
    TSocksWSocket socket;
    Recorder recorder(socket);
    Aim(socket, socksPort, GetParam().level, target.Port());
    EXPECT_EQ(Negotiate(socket, recorder), granted_);
    EXPECT_EQ(socket.PeerPort(), std::to_string(socksPort)); // the connection is the server's
    EXPECT_EQ(socket.Addr(), "127.0.0.1");
    ASSERT_TRUE(Poll([&] { return target.Accepted(); }));
    socket.SendStr("ping");
    std::string got;
    EXPECT_TRUE(Poll([&] { return net_test::DrainInto(target.Conn(), got) && got == "ping"; }));
    ASSERT_EQ(::write(target.Conn(), "pong", 4), 4);
    EXPECT_TRUE(RunUntil([&] { return recorder.Received() == "pong"; }));
    if (GetParam().server == Real::Dante && std::string(GetParam().level) == "5") {
        EXPECT_EQ(socket.BoundAddr(), "127.0.0.1");
        EXPECT_NE(socket.BoundPort(), "0");
    }
    socket.Close();

    TSocksWSocket refused;
    Recorder refusal(refused);
    Aim(refused, socksPort, GetParam().level, net_test::FreePort());
    EXPECT_EQ(Negotiate(refused, refusal), Failure(GetParam().refusedCode, GetParam().refusedText));
}

// dante answers 91 for every SOCKS 4 failure.
INSTANTIATE_TEST_SUITE_P(Servers, SocksRealServerTest,
                         ::testing::Values(Route{Real::Microsocks, "5", 20008, "connection refused"},
                                           Route{Real::Dante, "5", 20008, "connection refused"},
                                           Route{Real::Dante, "4", 20016, "request rejected or failed"}));

TEST_F(SocksTest, UserAndPasswordWithMicrosocks) {
    MicrosocksPeer server("station", "s3cret");
    ASSERT_GT(server.port, 0) << "microsocks did not start (scripts/install-deps)";
    Target target;
    struct Case {
        TSocksAuthentication authentication;
        const char* password;
        std::vector<std::string> events;
    };
    std::vector<Case> cases = {
        {socksAuthenticateUsercode,
         "s3cret",
         {"socks-connected 0", "auth start", "auth success", "connected 0"}},
        {socksAuthenticateUsercode,
         "wrong",
         {"socks-connected 0", "auth start", "socks-error 20015 socks authentication failed",
          "connected 20015", "closed 20015"}},
        {socksNoAuthentication, "", Failure(20003, "authentification method not acceptable")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password);
        TSocksWSocket socket;
        Recorder recorder(socket);
        Aim(socket, server.port, "5", target.Port());
        socket.SocksAuthentication = c.authentication;
        socket.SocksUsercode = "station";
        socket.SocksPassword = c.password;
        EXPECT_EQ(Negotiate(socket, recorder), c.events);
    }
}

TEST_F(SocksTest, Socks4And4ARequestsAndEveryReplyCode) {
    ScriptedSocks server({"--reply", "005a000000000000,005b000000000000,005c000000000000,005d000000000000,"
                                     "005f000000000000,045a000000000000"});
    ASSERT_GT(server.port, 0);
    std::vector<std::vector<std::string>> expected = {
        granted_,
        Failure(20016, "request rejected or failed"),
        Failure(20008, "connection refused"),
        Failure(20015, "authentification failed"),
        Failure(20012, "unassigned error #95"),
        Failure(20002, "socks version error"),
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        TSocksWSocket socket;
        Recorder recorder(socket);
        // 4A sends the name for the server to resolve, 4 the address resolved here.
        if (i == 0) {
            Aim(socket, server.port, "4a", 8080, "localhost");
            socket.SocksUsercode = "station";
        } else {
            Aim(socket, server.port, "4", 8080);
        }
        EXPECT_EQ(Negotiate(socket, recorder), expected[i]);
    }
    EXPECT_TRUE(
        server.Logged("0 CONNECT 04011f9000000001" + Hex("station") + "00" + Hex("localhost") + "00"));
    EXPECT_TRUE(server.Logged("1 CONNECT 04011f907f00000100"));
}

TEST_F(SocksTest, Socks5ReplyCodesAndMethodAndAuthenticationFailures) {
    std::string replies;
    for (int code = 1; code <= 9; ++code)
        replies += "050" + std::to_string(code) + "0001000000000000,";
    ScriptedSocks codes({"--reply", replies + "0500000500000000,0400000100000000000000"});
    ASSERT_GT(codes.port, 0);
    const char* texts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                           "network unreachable",          "host unreachable",
                           "connection refused",           "time to live expired",
                           "command not supported",        "address type not supported",
                           "unassigned error #9"};
    std::vector<std::vector<std::string>> expected;
    for (int code = 1; code <= 9; ++code)
        expected.push_back(Failure(20003 + code, texts[code - 1]));
    expected.push_back(Failure(20011, "address type not supported")); // address type 5
    expected.push_back(Failure(20002, "socks version error"));
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        TSocksWSocket socket;
        Recorder recorder(socket);
        Aim(socket, codes.port, "5", 8080, "localhost");
        EXPECT_EQ(Negotiate(socket, recorder), expected[i]);
    }
    EXPECT_TRUE(codes.Logged("0 GREETING 050100"));
    EXPECT_TRUE(codes.Logged("0 CONNECT 0501000309" + Hex("localhost") + "1f90"));

    ScriptedSocks methods(
        {"--method", "05ff,0400,0502,0502,0502,0500", "--auth", "0100,0100,0101,0500,010000"});
    ASSERT_GT(methods.port, 0);
    const std::vector<std::string> authFailed = {"socks-connected 0", "auth start",
                                                 "socks-error 20015 socks authentication failed",
                                                 "connected 20015", "closed 20015"};
    expected = {Failure(20003, "authentification method not acceptable"),
                Failure(20002, "socks version error"),
                authFailed,
                {"socks-connected 0", "auth start", "socks-error 20002 socks version error",
                 "connected 20002", "closed 20002"},
                {"socks-connected 0", "auth start", "socks-error 20001 too much data availaible",
                 "connected 20001", "closed 20001"},
                {"socks-connected 0", "auth not-required", "connected 0"}};
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        TSocksWSocket socket;
        Recorder recorder(socket);
        Aim(socket, methods.port, "5", 8080);
        socket.SocksAuthentication = socksAuthenticateUsercode;
        socket.SocksUsercode = "station";
        socket.SocksPassword = "pw";
        EXPECT_EQ(Negotiate(socket, recorder), expected[i]);
    }
    EXPECT_TRUE(methods.Logged("0 GREETING 050102"));
    EXPECT_TRUE(methods.Logged("2 AUTH 0107" + Hex("station") + "02" + Hex("pw")));
}

TEST_F(SocksTest, BoundAddressesOfEveryTypeEvenWithTheLongestNameAndRepliesSplitByteByByte) {
    std::string name200(200, 'n'), name255(255, 'm');
    std::string ipv6 = "20010db8000000000000000000000001";
    std::vector<std::string> replies = {"05000003c8" + Hex(name200) + "1234",
                                        "05000003ff" + Hex(name255) + "0050", "05000004" + ipv6 + "0050",
                                        "05000001c00002070050"};
    struct Bound {
        std::string addr, port;
    };
    std::vector<Bound> bound = {
        {name200, "4660"}, {name255, "80"}, {"2001:db8::1", "80"}, {"192.0.2.7", "80"}};
    for (bool split : {false, true}) {
        std::string list;
        for (const std::string& r : replies)
            list += r + ",";
        list.pop_back();
        std::vector<std::string> options = {"--reply", list, "--method", "0502"};
        if (split) options.push_back("--split");
        ScriptedSocks server(options);
        ASSERT_GT(server.port, 0);
        for (size_t i = 0; i < bound.size(); ++i) {
            SCOPED_TRACE(std::to_string(split) + " " + std::to_string(i));
            TSocksWSocket socket;
            Recorder recorder(socket);
            Aim(socket, server.port, "5", 8080);
            socket.SocksAuthentication = socksAuthenticateUsercode;
            socket.SocksUsercode = "u";
            socket.SocksPassword = "p";
            EXPECT_EQ(
                Negotiate(socket, recorder),
                (std::vector<std::string>{"socks-connected 0", "auth start", "auth success", "connected 0"}));
            EXPECT_EQ(socket.BoundAddr(), bound[i].addr);
            EXPECT_EQ(socket.BoundPort(), bound[i].port);
        }
    }
}

TEST_F(SocksTest, BytesBehindTheReplyReachTheOwnerFirstInOrderAndAsLines) {
    for (const char* level : {"5", "4"}) {
        SCOPED_TRACE(level);
        ScriptedSocks server({"--after", Hex("hello"), "--later", Hex(" world")});
        ASSERT_GT(server.port, 0);
        TSocksWSocket socket;
        Recorder recorder(socket);
        Aim(socket, server.port, level, 8080);
        EXPECT_EQ(Negotiate(socket, recorder), granted_);
        EXPECT_TRUE(RunUntil([&] { return recorder.Received() == "hello world"; })) << recorder.Received();
        ASSERT_FALSE(recorder.received.empty());
        EXPECT_EQ(recorder.received[0], "hello");
        socket.SendStr("after");
        EXPECT_TRUE(RunUntil([&] { return server.Logged("0 GOT " + Hex("after")); }));
    }

    ScriptedSocks server({"--after", Hex("one\r\ntwo\r\npar"), "--later", Hex("t\r\n")});
    ASSERT_GT(server.port, 0);
    TSocksWSocket socket;
    Recorder recorder(socket);
    socket.SetLineMode(true);
    Aim(socket, server.port, "5", 8080);
    EXPECT_EQ(Negotiate(socket, recorder), granted_);
    EXPECT_TRUE(RunUntil([&] { return recorder.received.size() == 3; }));
    EXPECT_EQ(recorder.received, (std::vector<std::string>{"one\r\n", "two\r\n", "part\r\n"}));
}

TEST_F(SocksTest, WhatCannotBeNegotiatedIsRefusedBeforeAnythingIsSent) {
    ScriptedSocks server({});
    ASSERT_GT(server.port, 0);
    TSocksWSocket socket;
    Aim(socket, server.port, "5", 8080);
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
    RunFor(100);
    EXPECT_EQ(server.process.Output().find("GREETING"), std::string::npos);
    EXPECT_EQ(socket.State(), wsClosed);
}

TEST_F(SocksTest, ACloseForgetsTheServerSoTheNextConnectGoesDirect) {
    ScriptedSocks server({});
    ASSERT_GT(server.port, 0);
    TSocksWSocket socket;
    Recorder recorder(socket);
    Aim(socket, server.port, "4A", 8080);
    EXPECT_EQ(Negotiate(socket, recorder), granted_);
    socket.Close();
    EXPECT_EQ(socket.SocksServer(), "");
    EXPECT_EQ(socket.SocksLevel(), "5");

    Target target;
    recorder.events.clear();
    recorder.connected = -1;
    socket.SetAddr("127.0.0.1");
    socket.SetPort(std::to_string(target.Port()));
    EXPECT_EQ(Negotiate(socket, recorder), std::vector<std::string>{"connected 0"});
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
    std::unique_ptr<MicrosocksPeer> microsocks;
    std::unique_ptr<DantePeer> dante;
    int socksPort = 0;
    if (route.server == Real::Microsocks) {
        microsocks = std::make_unique<MicrosocksPeer>(route.user, "s3cret");
        socksPort = microsocks->port;
    } else {
        dante = std::make_unique<DantePeer>();
        socksPort = dante->port;
    }
    ASSERT_GT(socksPort, 0) << "the SOCKS server did not start (scripts/install-deps)";
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
    client.SocksPort = std::to_string(socksPort);
    client.SocksUserCode = route.user;
    client.SocksPassword = "s3cret";
    EXPECT_TRUE(client.Passive());
    client.HostFileName = "up.bin";
    client.SetLocalFileName(local / "up.bin");
    ASSERT_TRUE(client.Connect()) << client.ErrorMessage();
    EXPECT_EQ(client.ControlSocket()->PeerPort(), std::to_string(socksPort));
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
