// The HTTP server and the socket server against real clients (curl, wget, socat) on loopback.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "net/Httpsrv.h"
#include "platform/Strings.h"
#include "tests/net/NetTestSupport.h"

using namespace net;
using net_test::LoopTest;
using net_test::PeerProcess;

namespace {

class HttpServerTest : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        char pattern[] = "/tmp/korvane-http-XXXXXX";
        root_ = ::mkdtemp(pattern);
        std::filesystem::create_directory(root_ + "/docs");
        Write(root_ + "/docs/index.html", "<p>home</p>");
        Write(root_ + "/docs/a b.htm", "spaced");
        Write(root_ + "/secret.txt", "TOP SECRET");
        server_.DocDir = root_ + "/docs";
        server_.SetAddr("127.0.0.1");
        server_.SetPort("0");
        server_.IdleTimeoutMs = 500;
        server_.OnBadRequest = [this](THttpServer*, THttpConnection*, const std::string& reason) {
            badRequests_.push_back(reason);
        };
    }
    void TearDown() override {
        server_.Stop();
        std::filesystem::remove_all(root_);
        LoopTest::TearDown();
    }
    static void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
    std::string Url(const std::string& path) {
        return "http://127.0.0.1:" + server_.WSocketServer()->GetXPort() + path;
    }
    // Runs a client while the loop serves; returns its standard output.
    std::string Run(const std::vector<std::string>& argv, int* exitCode = nullptr,
                    const std::string& input = {}) {
        PeerProcess peer(argv, input);
        EXPECT_TRUE(RunUntil([&] { return peer.Done(); }, 15000)) << argv[0] << " did not finish";
        if (exitCode != nullptr) *exitCode = peer.ExitCode();
        return peer.Output();
    }
    std::string Curl(std::vector<std::string> args, int* exitCode = nullptr) {
        args.insert(args.begin(), {"curl", "-sS", "--max-time", "5", "-D", "-"});
        return Run(args, exitCode);
    }

    std::string root_;
    THttpServer server_;
    std::vector<std::string> badRequests_;
};

TEST_F(HttpServerTest, FilesHeadAnd404AgainstCurl) {
    REQUIRE_PEER("curl");
    bool started = false;
    server_.OnServerStarted = [&](THttpServer*) { started = true; };
    server_.Start();
    ASSERT_TRUE(started);

    int rc = -1;
    std::string answer = Curl({"--http1.0", Url("/")}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 11\r\n", 0), 0u)
        << answer;
    EXPECT_NE(answer.find("Last-Modified: "), std::string::npos);
    EXPECT_NE(answer.find(" GMT\r\n\r\n<p>home</p>"), std::string::npos);

    answer = Curl({"--http1.1", Url("/a%20b.htm")}, &rc);
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK", 0), 0u) << answer;
    EXPECT_NE(answer.find("\r\n\r\nspaced"), std::string::npos);

    answer = Curl({"-I", "--http1.0", Url("/index.html")}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(answer.find("Content-Length: 11\r\n"), std::string::npos);
    EXPECT_EQ(answer.find("<p>"), std::string::npos);

    answer = Curl({"-X", "DELETE", Url("/index.html")}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(answer.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << answer;
    RunUntil([&] { return server_.GetClientCount() == 0; });
    EXPECT_EQ(server_.GetClientCount(), 0);
}

TEST_F(HttpServerTest, TraversalProbesNeverReachAFileOutsideTheDocumentFolder) {
    REQUIRE_PEER("curl");
    server_.Start();
    for (const char* probe : {"/../secret.txt", "/..%2fsecret.txt", "/%2e%2e/secret.txt",
                              "/%5c..%5csecret.txt", "/secret.txt%00.html", "/..%2F..%2Fetc%2Fpasswd"}) {
        for (bool head : {false, true}) {
            std::vector<std::string> args = {"--path-as-is", Url(probe)};
            if (head) args.insert(args.begin(), "-I");
            std::string answer = Curl(args);
            EXPECT_NE(answer.find(" 404 Not Found\r\n"), std::string::npos) << probe << "\n" << answer;
            EXPECT_EQ(answer.find("TOP SECRET"), std::string::npos) << probe;
            EXPECT_EQ(answer.find("Content-Length: 10\r\n"), std::string::npos) << probe;
        }
    }
    EXPECT_FALSE(badRequests_.empty());
}

TEST_F(HttpServerTest, EchoedTextIsEscapedAndTheVersionIsNeverTheClients) {
    REQUIRE_PEER("socat");
    server_.Start();
    std::string port = server_.WSocketServer()->GetXPort();
    std::string answer = Run({"socat", "-t", "3", "-", "TCP:127.0.0.1:" + port}, nullptr,
                             "GET /<script>x</script> HTTP/9.9junk\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("&lt;script&gt;x&lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(answer.find("<script>"), std::string::npos);

    answer = Run({"socat", "-t", "3", "-", "TCP:127.0.0.1:" + port}, nullptr, "GET /index.html\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK", 0), 0u) << answer; // no version: HTTP/1.0

    answer = Run({"socat", "-t", "3", "-", "TCP:127.0.0.1:" + port}, nullptr, "GET /\x01 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.0 400 Bad Request", 0), 0u) << answer;
}

TEST_F(HttpServerTest, OwnerAnswersWithAStreamToCurlAndWgetKeepAlive) {
    REQUIRE_PEER("curl");
    REQUIRE_PEER("wget");
    std::string body(1 << 20, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('A' + i % 26);
    std::vector<std::string> connections;
    server_.OnGetDocument = [&](THttpServer*, THttpConnection* c, THttpGetFlag& flags) {
        connections.push_back(c->RequestConnection);
        flags = hgWillSendMySelf;
        c->SendStr(c->Version + " 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n\r\n");
        auto stream = std::make_unique<platform::TMemoryStream>();
        stream->WriteString(body);
        stream->SetPosition(0);
        c->DocStream = std::move(stream);
        c->SendStream();
    };
    server_.Start();
    int rc = -1;
    std::string answer = Curl({"--http1.0", "--limit-rate", "2M", Url("/XML")}, &rc);
    EXPECT_EQ(rc, 0);
    ASSERT_GE(answer.size(), body.size());
    EXPECT_TRUE(answer.compare(answer.size() - body.size(), body.size(), body) == 0);

    std::string out = root_ + "/wget.out";
    Run({"wget", "-q", "-O", out, "--timeout=5", "--tries=1", Url("/XML")}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(std::filesystem::file_size(out), body.size());
    ASSERT_EQ(connections.size(), 2u);
    EXPECT_TRUE(platform::SameText(connections[1], "Keep-Alive"));
    EXPECT_TRUE(RunUntil([&] { return server_.GetClientCount() == 0; }));
}

TEST_F(HttpServerTest, SilentAndOverlongClientsAreClosedAndOthersStillServed) {
    REQUIRE_PEER("curl");
    server_.Start();
    uint16_t port = static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort()));
    int slow = net_test::RawConnect(port);
    ::send(slow, "GET / HTTP/1.0\r\nHost: x\r\n", 25, 0); // never finishes its header
    int flood = net_test::RawConnect(port);
    std::string header = "GET / HTTP/1.0\r\n";
    for (int i = 0; i < 200; ++i)
        header += "X-Filler: " + std::to_string(i) + "\r\n";
    ::send(flood, header.data(), header.size(), 0);
    ASSERT_TRUE(RunUntil([&] { return server_.WSocketServer()->ClientCounter() == 2; }));
    std::string floodAnswer;
    ASSERT_TRUE(RunUntil([&] { return server_.GetClientCount() == 0; }, 3000));
    RunUntil([&] { return !net_test::DrainInto(flood, floodAnswer); }, 1000);
    EXPECT_EQ(floodAnswer.rfind("HTTP/1.0 431", 0), 0u) << floodAnswer;
    int rc = -1;
    EXPECT_NE(Curl({Url("/")}, &rc).find("<p>home</p>"), std::string::npos);
    ::close(slow);
    ::close(flood);
}

TEST_F(HttpServerTest, OverlongLineIsRefusedAndItsTailNotParsedAsARequest) {
    REQUIRE_PEER("socat");
    server_.Start();
    int requests = 0;
    server_.OnGetDocument = [&](THttpServer*, THttpConnection*, THttpGetFlag&) { ++requests; };
    std::string input(70000, 'a');
    input += "\nGET / HTTP/1.0\r\n\r\n";
    std::string answer = Run(
        {"socat", "-t", "3", "-", "TCP:127.0.0.1:" + server_.WSocketServer()->GetXPort()}, nullptr, input);
    EXPECT_EQ(answer.rfind("HTTP/1.0 400 Bad Request", 0), 0u) << answer.substr(0, 200);
    EXPECT_EQ(requests, 0);
}

TEST(HttpText, UrlDecodeDecodesOnlyRealEscapes) {
    EXPECT_EQ(UrlDecode("a%20b"), "a b");
    EXPECT_EQ(UrlDecode("100%"), "100%");
    EXPECT_EQ(UrlDecode("%4"), "%4");
    EXPECT_EQ(UrlDecode("%zz"), "%zz");
    EXPECT_EQ(UrlDecode("%%41"), "%A");
    EXPECT_EQ(UrlDecode("x+y"), "x+y");
    std::string value;
    EXPECT_TRUE(ExtractURLEncodedValue("id=7&NAME=a+b%21&z", "name", value));
    EXPECT_EQ(value, "a b!");
    EXPECT_FALSE(ExtractURLEncodedValue(nullptr, "id", value));
    EXPECT_EQ(value, "");
}

TEST(HttpText, DatesAreUtcAndMimeTypesFollowTheExtension) {
    EXPECT_EQ(HttpDate(0), "Thu, 01 Jan 1970 00:00:00");
    EXPECT_EQ(HttpDate(1796562189), "Sun, 06 Dec 2026 13:03:09");
    EXPECT_EQ(DocumentMimeType("/d/x.HTM"), "text/html");
    EXPECT_EQ(DocumentMimeType("/d/x.jpeg"), "image/jpeg");
    EXPECT_EQ(DocumentMimeType("/d.x/noext"), "application/binary");
}

class SocketServerTest : public LoopTest {};

TEST_F(SocketServerTest, BannerBusyBannerNamesAndPeerAfterDisconnect) {
    REQUIRE_PEER("socat");
    TWSocketServer server(nullptr, "Srv");
    server.Banner = "Hello station";
    server.MaxClients = 2;
    std::vector<std::string> names, peersAtDisconnect;
    server.OnClientConnect = [&](TCustomWSocketServer*, TWSocketClient* c, uint16_t) {
        names.push_back(c->Name());
    };
    server.OnClientDisconnect = [&](TCustomWSocketServer*, TWSocketClient* c, uint16_t) {
        peersAtDisconnect.push_back(c->GetPeerAddr());
    };
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.Listen();
    uint16_t port = static_cast<uint16_t>(std::stoi(server.GetXPort()));
    int first = net_test::RawConnect(port);
    int second = net_test::RawConnect(port);
    ASSERT_TRUE(RunUntil([&] { return server.GetClientCount() == 2; }));
    std::string third = [&] {
        PeerProcess peer({"socat", "-u", "TCP:127.0.0.1:" + std::to_string(port), "-"});
        EXPECT_TRUE(RunUntil([&] { return peer.Done(); }, 10000));
        return peer.Output();
    }();
    EXPECT_EQ(third, "Sorry, too many clients\r\n");
    std::string greeting;
    RunUntil([&] { return net_test::DrainInto(first, greeting) && greeting.size() >= 15; }, 1000);
    EXPECT_EQ(greeting, "Hello station\r\n");
    ::close(first);
    ::close(second);
    ASSERT_TRUE(RunUntil([&] { return server.GetClientCount() == 0 && peersAtDisconnect.size() == 3; }));
    EXPECT_EQ(names, (std::vector<std::string>{"SrvClient1", "SrvClient2", "SrvClient3"}));
    for (const auto& peer : peersAtDisconnect)
        EXPECT_EQ(peer, "127.0.0.1");
}

} // namespace
