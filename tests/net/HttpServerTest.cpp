// The HTTP server and the socket server against real clients (curl, wget, socat) on loopback.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "net/Httpsrv.h"
#include "platform/HostPaths.h"
#include "platform/Strings.h"
#include "platform/Timer.h"
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
        // Most cases here drive the server's own handling of a connection that says nothing, which the
        // system's deferral would hand over only seconds later: taken at once (the deferral's own cases
        // set it back).
        server_.DeferAcceptSeconds = 0;
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

    // Starts a server of `slots` connections whose time limits end none in a test, and that holds the
    // answer to each GET of /hold (the last one held in held_); its port.
    uint16_t StartHolding(int slots, uint32_t graceMs) {
        server_.MaxClients = slots;
        server_.ShedGraceMs = graceMs;
        server_.IdleTimeoutMs = 60000;
        server_.HeadTimeoutMs = 60000;
        server_.OnGetDocument = [this](THttpServer*, THttpConnection* c, THttpGetFlag& flags) {
            if (c->Path != "/hold") return;
            flags = hgWillSendMySelf;
            held_ = c;
        };
        server_.Start();
        return static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort()));
    }

    // The server's time on a simulated clock from here on: the clock jumps from timer to timer while
    // nothing is ready, so each limit passes at its very tick (the peers are on loopback, whose
    // connects and sends are ready at once).
    std::shared_ptr<platform::SimulatedClock> SimulateTime() {
        auto clock = std::make_shared<platform::SimulatedClock>();
        platform::Clock::Install(clock);
        return clock;
    }
    uint16_t Port() { return static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort())); }
    // A connection that asks for /hold and is held (held_ is then its connection).
    int Holder(uint16_t port) {
        const THttpConnection* before = held_;
        int fd = net_test::RawConnect(port);
        ::send(fd, "GET /hold HTTP/1.0\r\n\r\n", 22, MSG_NOSIGNAL);
        EXPECT_TRUE(RunUntil([&] { return held_ != before; })) << "not held";
        return fd;
    }
    // Everything the server sends on `fd` until it ends its side.
    std::string AnswerOn(int fd, uint32_t limitMs = 60000) {
        std::string answer;
        EXPECT_TRUE(RunUntil([&] { return !net_test::DrainInto(fd, answer); }, limitMs)) << answer;
        return answer;
    }

    std::string root_;
    THttpServer server_;
    std::vector<std::string> badRequests_;
    THttpConnection* held_ = nullptr;
};

// The state of a client's end of a TCP connection, as the kernel numbers them: the server closed it in
// order, or it was reset.
constexpr int kTcpClosedByPeer = 8; // TCP_CLOSE_WAIT
int TcpState(int fd) {
    tcp_info info{};
    socklen_t size = sizeof info;
    return ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 ? info.tcpi_state : -1;
}

int PendingError(int fd) {
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
    return error;
}

TEST_F(HttpServerTest, FilesHeadAnd404AgainstCurl) {
    REQUIRE_PEER("curl");
    REQUIRE_PEER("socat");
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
    EXPECT_NE(answer.find(" GMT\r\nConnection: close\r\n\r\n<p>home</p>"), std::string::npos);

    answer = Curl({"--http1.1", Url("/a%20b.htm")}, &rc);
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK", 0), 0u) << answer;
    EXPECT_NE(answer.find("\r\n\r\nspaced"), std::string::npos);
    // A file the server keeps in memory is answered anew once it has changed, even to the same size.
    Write(root_ + "/docs/a b.htm", "SPACED");
    EXPECT_NE(Curl({Url("/a%20b.htm")}).find("\r\n\r\nSPACED"), std::string::npos);

    answer = Curl({"-I", "--http1.0", Url("/index.html")}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(answer.find("Content-Length: 11\r\n"), std::string::npos);
    EXPECT_EQ(answer.find("<p>"), std::string::npos);

    // A HEAD that misses: the 404 header alone, read whole by a raw client up to the server's close.
    answer = Run({"socat", "-t", "3", "-", "TCP:127.0.0.1:" + server_.WSocketServer()->GetXPort()}, nullptr,
                 "HEAD /missing.html HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("\r\nConnection: close\r\n\r\n"), std::string::npos) << answer;
    EXPECT_EQ(answer.substr(answer.size() - 4), "\r\n\r\n") << answer;

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

TEST_F(HttpServerTest, LinksServeOnlyWhatLiesInsideTheFolderAlsoAfterTheFolderIsSwitched) {
    REQUIRE_PEER("curl");
    namespace fs = std::filesystem;
    fs::create_directory(root_ + "/docs/sub");
    Write(root_ + "/docs/sub/in.txt", "inside");
    fs::create_symlink(root_ + "/docs/sub/in.txt", root_ + "/docs/inlink.txt");
    fs::create_symlink(root_ + "/secret.txt", root_ + "/docs/outlink.txt");
    fs::create_symlink(root_ + "/docs", root_ + "/current"); // the folder by a link, as a site switch has it
    server_.DocDir = root_ + "/current";
    server_.Start();
    EXPECT_NE(Curl({Url("/sub/in.txt")}).find("\r\n\r\ninside"), std::string::npos);
    EXPECT_NE(Curl({Url("/inlink.txt")}).find("\r\n\r\ninside"), std::string::npos);
    std::string answer = Curl({Url("/outlink.txt")});
    EXPECT_NE(answer.find(" 404 Not Found\r\n"), std::string::npos) << answer;
    EXPECT_EQ(answer.find("TOP SECRET"), std::string::npos);
    EXPECT_NE(Curl({Url("/sub/in.txt/")}).find(" 404 Not Found\r\n"), std::string::npos);

    // The link re-pointed to another folder: its files are served from the next request on, the old
    // folder's no more.
    fs::create_directory(root_ + "/docs2");
    Write(root_ + "/docs2/index.html", "<p>new</p>");
    fs::remove(root_ + "/current");
    fs::create_symlink(root_ + "/docs2", root_ + "/current");
    EXPECT_NE(Curl({Url("/")}).find("\r\n\r\n<p>new</p>"), std::string::npos);
    EXPECT_NE(Curl({Url("/sub/in.txt")}).find(" 404 Not Found\r\n"), std::string::npos);
}

// Files kept in memory (small ones whose times have settled) are answered as they are on disk from
// the next request on: rewritten and renamed into place, edited in place to the same size, reached
// through a folder link that is re-pointed, or in a folder replaced by another of its name.
TEST_F(HttpServerTest, KeptFilesAreAnsweredAnewWhateverChangesUnderThem) {
    REQUIRE_PEER("curl");
    namespace fs = std::filesystem;
    Write(root_ + "/docs/page.html", "<p>first</p>");
    Write(root_ + "/docs/edit.txt", "AAAA");
    fs::create_directory(root_ + "/plain");
    Write(root_ + "/plain/page.html", "<p>plain</p>");
    Write(root_ + "/plain/in.txt", "inside");
    fs::create_symlink(root_ + "/plain/in.txt", root_ + "/plain/inlink.html");
    fs::create_symlink(root_ + "/docs", root_ + "/current");
    server_.DocDir = root_ + "/current";
    server_.Start();
    THttpServer plain;
    plain.DocDir = root_ + "/plain";
    plain.SetAddr("127.0.0.1");
    plain.SetPort("0");
    plain.Start();
    const std::string plainRoot = "http://127.0.0.1:" + plain.WSocketServer()->GetXPort();
    const std::string plainUrl = plainRoot + "/page.html";
    // Until the files' times have settled they are read from disk for every answer; then kept.
    auto settled = [&] {
        for (const char* name : {"docs/page.html", "docs/edit.txt", "plain/page.html", "plain/in.txt"})
            if (!platform::TimesSettled(platform::EntryBelow(root_, name))) return false;
        return true;
    };
    platform::TTimer tick;
    tick.SetInterval(100);
    tick.OnTimer = [](platform::TTimer*) {};
    ASSERT_TRUE(RunUntil(settled, 15000));
    auto body = [&](const std::string& url, const std::vector<std::string>& options = {}) {
        std::vector<std::string> args = options;
        args.push_back(url);
        std::string answer = Curl(args);
        const size_t end = answer.find("\r\n\r\n");
        return end == std::string::npos ? answer : answer.substr(end + 4);
    };
    for (int twice = 0; twice < 2; ++twice) { // the first answer keeps the file, the second is from memory
        EXPECT_EQ(body(Url("/page.html")), "<p>first</p>");
        EXPECT_EQ(body(Url("/edit.txt")), "AAAA");
        EXPECT_EQ(body(plainUrl), "<p>plain</p>");
    }
    // Its header names the version of each request and the type of each name it is asked by.
    std::string answer = Curl({"--http1.0", plainRoot + "/in.txt"});
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 6\r\n", 0), 0u)
        << answer;
    answer = Curl({"--http1.1", plainRoot + "/inlink.html"});
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 6\r\n", 0), 0u)
        << answer;
    answer = Curl({"-I", "--http1.1", plainRoot + "/in.txt"});
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("\r\nContent-Type: text/plain\r\nContent-Length: 6\r\n"), std::string::npos)
        << answer;
    EXPECT_EQ(answer.find("inside"), std::string::npos);

    // Rewritten and renamed into place, to the same size.
    Write(root_ + "/docs/page.tmp", "<p>again</p>");
    fs::rename(root_ + "/docs/page.tmp", root_ + "/docs/page.html");
    EXPECT_EQ(body(Url("/page.html")), "<p>again</p>");
    // Edited in place (the same file), to the same size.
    {
        std::fstream edit(root_ + "/docs/edit.txt", std::ios::in | std::ios::out | std::ios::binary);
        edit.seekp(0);
        edit << "BBBB";
    }
    EXPECT_EQ(body(Url("/edit.txt")), "BBBB");
    // The folder's link re-pointed to another folder.
    fs::create_directory(root_ + "/docs2");
    Write(root_ + "/docs2/page.html", "<p>other</p>");
    fs::remove(root_ + "/current");
    fs::create_symlink(root_ + "/docs2", root_ + "/current");
    EXPECT_EQ(body(Url("/page.html")), "<p>other</p>");
    EXPECT_NE(Curl({Url("/edit.txt")}).find(" 404 Not Found\r\n"), std::string::npos);
    // A folder moved away and another put in its place under its name.
    fs::rename(root_ + "/plain", root_ + "/plain.old");
    fs::create_directory(root_ + "/plain");
    Write(root_ + "/plain/page.html", "<p>fresh</p>");
    EXPECT_EQ(body(plainUrl), "<p>fresh</p>");
    plain.Stop();
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

TEST_F(HttpServerTest, PostedBodiesReachTheOwnerOrGetACompleteNotFound) {
    REQUIRE_PEER("curl");
    std::string body;
    for (int i = 0; body.size() < 20000; ++i)
        body += "field" + std::to_string(i) + "=value&";
    body.resize(20000);
    Write(root_ + "/body.bin", body);
    std::string received;
    long long announced = -1;
    server_.OnPostDocument = [&](THttpServer*, THttpConnection* c, THttpGetFlag& flags) {
        if (c->Path != "/echo") return; // hg404
        flags = hgAcceptData;
        announced = c->RequestContentLength;
        c->SetLineMode(false); // the body is bytes, not lines
    };
    server_.OnPostedData = [&](THttpServer*, THttpConnection* c, uint16_t) {
        char buf[4096];
        int n = c->Receive(buf, sizeof buf);
        if (n > 0) received.append(buf, static_cast<size_t>(n));
        if (static_cast<long long>(received.size()) < c->RequestContentLength) return;
        c->SendStr(c->Version + " 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                   std::to_string(received.size()) + "\r\n\r\n");
        auto stream = std::make_unique<platform::TMemoryStream>();
        stream->WriteString(received);
        stream->SetPosition(0);
        c->DocStream = std::move(stream);
        c->SendStream();
    };
    server_.Start();
    int rc = -1;
    // "Expect:" off: the body follows the header at once, as most clients send it.
    std::string answer =
        Curl({"-H", "Expect:", "--data-binary", "@" + root_ + "/body.bin", Url("/echo")}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(announced, 20000);
    EXPECT_EQ(received, body);
    EXPECT_NE(answer.find("Content-Length: 20000\r\n"), std::string::npos) << answer.substr(0, 300);
    EXPECT_EQ(answer.size() >= body.size() ? answer.substr(answer.size() - body.size()) : answer, body);

    // Nobody takes the body: the 404 arrives whole, and no reset destroys it while the body is still
    // on its way (curl reports a reset as exit code 56).
    std::string big(600000, 'b');
    Write(root_ + "/big.bin", big);
    for (const char* expect : {"Expect:", "Expect: 100-continue"}) {
        answer = Curl({"-H", expect, "--data-binary", "@" + root_ + "/big.bin", Url("/nobody")}, &rc);
        EXPECT_EQ(rc, 0) << expect << "\n" << answer.substr(0, 300);
        EXPECT_EQ(answer.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << expect << "\n"
                                                                     << answer.substr(0, 300);
        EXPECT_NE(answer.find("was not found on this server.<P></BODY></HTML>\r\n"), std::string::npos)
            << expect;
    }
    // The same seen from the socket: the client that sends its whole body, then reads, gets the answer
    // and a clean end of stream, not a reset (which other systems' clients answer by dropping what they
    // have not read yet).
    int raw = net_test::RawConnect(static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort())));
    ASSERT_GE(raw, 0);
    std::string huge(8 << 20, 'h'); // more than the socket buffers hold
    std::string request =
        "POST /nobody HTTP/1.0\r\nContent-Length: " + std::to_string(huge.size()) + "\r\n\r\n" + huge;
    size_t sent = 0;
    std::string reply;
    bool ended = false;
    int readError = 0;
    RunUntil(
        [&] {
            if (sent < request.size()) {
                ssize_t n = ::send(raw, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
                if (n > 0) sent += static_cast<size_t>(n);
            }
            if (sent < request.size()) return false;
            char buf[4096];
            ssize_t n = ::read(raw, buf, sizeof buf);
            if (n > 0) reply.append(buf, static_cast<size_t>(n));
            if (n == 0) ended = true;
            if (n < 0 && errno != EAGAIN) readError = errno;
            return ended || readError != 0;
        },
        5000);
    EXPECT_EQ(sent, request.size());
    EXPECT_EQ(readError, 0) << std::strerror(readError);
    EXPECT_TRUE(ended);
    EXPECT_EQ(reply.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << reply.substr(0, 200);
    ::close(raw);
    EXPECT_TRUE(RunUntil([&] { return server_.GetClientCount() == 0; }));
}

// A connection that never reads: its receive buffer is as small as the system allows.
int NeverReader(uint16_t port, const std::string& request) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int small = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a = net_test::Loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    return fd;
}

// Connections beyond the maximum wait in the listen backlog: none is accepted to be dropped, and no
// connection is dropped for them while it is younger than the grace; a client that leaves lets one in.
TEST_F(HttpServerTest, AFullHouseLeavesNewcomersQueuedUntilASlotIsFree) {
    server_.MaxClients = 4;
    server_.ShedGraceMs = 60000;
    server_.IdleTimeoutMs = 60000;
    int most = 0;
    server_.OnClientConnect = [&](THttpServer*, THttpConnection*, uint16_t) {
        most = std::max(most, server_.Held());
    };
    server_.Start();
    uint16_t port = static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort()));
    std::vector<int> silent;
    for (int i = 1; i <= 4; ++i) {
        silent.push_back(net_test::RawConnect(port));
        ASSERT_TRUE(RunUntil([&] { return server_.WSocketServer()->ClientCounter() == i; })) << i;
    }
    int fifth = net_test::RawConnect(port);
    ASSERT_GE(fifth, 0);
    ::send(fifth, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    RunFor(500);
    EXPECT_EQ(server_.WSocketServer()->ClientCounter(), 4);
    std::vector<std::string> got(silent.size());
    for (size_t i = 0; i < silent.size(); ++i)
        EXPECT_TRUE(net_test::DrainInto(silent[i], got[i]) && got[i].empty()) << i << " was dropped";
    ::close(silent[0]);
    std::string answer;
    EXPECT_TRUE(RunUntil([&] { return !net_test::DrainInto(fifth, answer); }));
    EXPECT_NE(answer.find("<p>home</p>"), std::string::npos) << answer;
    EXPECT_EQ(most, 4);
    ::close(fifth);
    for (size_t i = 1; i < silent.size(); ++i)
        ::close(silent[i]);
}

// Connections that have said nothing yet cost the server little: hundreds are held at once, none is
// pushed out for another, and each is answered when it asks.
TEST_F(HttpServerTest, HundredsOfQuietConnectionsAreHeldAndEachAnswered) {
    constexpr int kCrowd = 300;
    server_.IdleTimeoutMs = 60000;
    server_.HeadTimeoutMs = 60000;
    server_.Start();
    const uint16_t port = static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort()));
    std::vector<int> crowd;
    for (int i = 0; i < kCrowd; ++i) {
        crowd.push_back(net_test::RawConnect(port));
        ASSERT_GE(crowd.back(), 0) << i;
    }
    EXPECT_TRUE(RunUntil([&] { return server_.GetClientCount() == kCrowd; }, 10000))
        << server_.GetClientCount() << " held";
    RunFor(server_.ShedGraceMs + 100); // past the grace: one kept waiting now would push out another
    for (int fd : crowd)
        ::send(fd, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    std::vector<std::string> answers(crowd.size());
    std::vector<bool> ended(crowd.size());
    EXPECT_TRUE(RunUntil(
        [&] {
            for (size_t i = 0; i < crowd.size(); ++i)
                ended[i] = ended[i] || !net_test::DrainInto(crowd[i], answers[i]);
            return std::all_of(ended.begin(), ended.end(), [](bool e) { return e; });
        },
        15000));
    for (size_t i = 0; i < crowd.size(); ++i)
        EXPECT_NE(answers[i].find("<p>home</p>"), std::string::npos) << i << ": " << answers[i];
    EXPECT_EQ(server_.WSocketServer()->ClientCounter(), kCrowd);
    for (int fd : crowd)
        ::close(fd);
}

// Once the grace has passed, one that waits takes the place of the connection idle longest, which is
// told why it goes; an answer that the owner still prepares never gives way, and a server full of them
// for the grace turns newcomers away until one has left.
TEST_F(HttpServerTest, AQueuedClientTakesThePlaceOfTheConnectionIdleLongest) {
    REQUIRE_PEER("curl");
    server_.MaxClients = 4;
    server_.ShedGraceMs = 300;
    server_.IdleTimeoutMs = 60000;
    server_.HeadTimeoutMs = 60000;
    int most = 0;
    std::vector<THttpConnection*> held;
    server_.OnGetDocument = [&](THttpServer*, THttpConnection* c, THttpGetFlag& flags) {
        if (c->Path != "/hold") return;
        flags = hgWillSendMySelf;
        held.push_back(c);
    };
    server_.OnClientConnect = [&](THttpServer*, THttpConnection*, uint16_t) {
        most = std::max(most, server_.Held());
    };
    server_.OnClientDisconnect = [&](THttpServer*, THttpConnection* c, uint16_t) { std::erase(held, c); };
    server_.Start();
    uint16_t port = static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort()));
    std::vector<int> silent;
    for (int i = 1; i <= 4; ++i) {
        silent.push_back(net_test::RawConnect(port));
        ::send(silent.back(), "GET / HTTP/1.0\r\n", 16, MSG_NOSIGNAL); // never finishes its head
        ASSERT_TRUE(RunUntil([&] { return server_.WSocketServer()->ClientCounter() == i; })) << i;
    }
    int rc = -1;
    EXPECT_NE(Curl({Url("/")}, &rc).find("<p>home</p>"), std::string::npos);
    EXPECT_EQ(rc, 0);
    std::vector<std::string> got(silent.size());
    std::vector<bool> ended(silent.size());
    for (size_t i = 0; i < silent.size(); ++i)
        ended[i] = !net_test::DrainInto(silent[i], got[i]);
    EXPECT_EQ(ended, (std::vector<bool>{true, false, false, false})); // the oldest
    EXPECT_EQ(got[0].rfind("HTTP/1.0 408 Request Timeout\r\n", 0), 0u) << got[0];
    // Four held answers take the places of the three silent ones and the free slot.
    std::vector<int> holders;
    for (int i = 0; i < 4; ++i) {
        holders.push_back(net_test::RawConnect(port));
        ::send(holders.back(), "GET /hold HTTP/1.0\r\n\r\n", 22, MSG_NOSIGNAL);
    }
    ASSERT_TRUE(RunUntil([&] { return held.size() == 4; }));
    for (size_t i = 1; i < silent.size(); ++i)
        EXPECT_FALSE(net_test::DrainInto(silent[i], got[i])) << i;
    int newcomer = net_test::RawConnect(port);
    ::send(newcomer, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    RunFor(100);
    std::string answer;
    EXPECT_TRUE(net_test::DrainInto(newcomer, answer) && answer.empty()) << answer; // within the grace
    EXPECT_TRUE(RunUntil([&] { return !net_test::DrainInto(newcomer, answer); }));
    EXPECT_EQ(answer.rfind("HTTP/1.0 503 Service Unavailable\r\n", 0), 0u) << answer;
    EXPECT_EQ(held.size(), 4u);
    held.front()->Answer404();
    held.front()->CloseDelayed();
    int later = net_test::RawConnect(port);
    ::send(later, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    answer.clear();
    EXPECT_TRUE(RunUntil([&] { return !net_test::DrainInto(later, answer); }));
    EXPECT_NE(answer.find("<p>home</p>"), std::string::npos) << answer;
    EXPECT_EQ(most, 4);
    for (int fd : silent)
        ::close(fd);
    for (int fd : holders)
        ::close(fd);
    ::close(newcomer);
    ::close(later);
}

// With every slot taken, a connection that sent part of its request head and no more gives way to a
// newcomer at once, the oldest first. One that has said nothing keeps its place for the grace (its
// request may be on its way) until it sends half a head; an answer being made keeps its place.
TEST_F(HttpServerTest, HalfSentHeadsGiveWayAtOnceOldestFirst) {
    const uint16_t port = StartHolding(4, 60000);
    auto join = [&](const std::string& text) { // sent before the server takes it
        int fd = net_test::RawConnect(port);
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        const int taken = server_.WSocketServer()->ClientCounter() + 1;
        EXPECT_TRUE(RunUntil([&] { return server_.WSocketServer()->ClientCounter() == taken; }));
        return fd;
    };
    auto visit = [&] {
        int fd = net_test::RawConnect(port);
        ::send(fd, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
        std::string answer;
        EXPECT_TRUE(RunUntil([&] { return !net_test::DrainInto(fd, answer); }));
        ::close(fd);
        return answer;
    };
    auto gone = [](std::vector<int> fds) {
        std::vector<bool> ended;
        for (int fd : fds) {
            std::string got;
            ended.push_back(!net_test::DrainInto(fd, got));
        }
        return ended;
    };
    const int silent = join("");
    const int holder = join("GET /hold HTTP/1.0\r\n\r\n");
    const int first = join("GET / HTTP/1.0\r\nHost: x\r\n");
    const int second = join("GET / HTTP/1.0\r\n");
    ASSERT_NE(held_, nullptr);
    EXPECT_NE(visit().find("<p>home</p>"), std::string::npos);
    EXPECT_EQ(gone({silent, holder, first, second}), (std::vector<bool>{false, false, true, false}));
    const int quiet = join("");
    // A head that ends as a newcomer comes is answered, not dropped: what has come is read first.
    int visitor = net_test::RawConnect(port);
    ::send(visitor, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    ::send(second, "\r\n", 2, MSG_NOSIGNAL);
    std::string answers[2];
    EXPECT_TRUE(RunUntil([&] {
        return !net_test::DrainInto(visitor, answers[0]) && !net_test::DrainInto(second, answers[1]);
    }));
    for (const std::string& answer : answers)
        EXPECT_NE(answer.find("<p>home</p>"), std::string::npos) << answer;
    EXPECT_EQ(gone({silent, holder, quiet}), (std::vector<bool>{false, false, false}));
    // Nothing may give way now: a newcomer waits until the younger silent one sends half a head.
    const int later = join("");
    int newcomer = net_test::RawConnect(port);
    ::send(newcomer, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    RunFor(200);
    std::string answer;
    EXPECT_TRUE(net_test::DrainInto(newcomer, answer) && answer.empty()) << answer;
    ::send(quiet, "GET / HTTP/1.0\r\n", 16, MSG_NOSIGNAL);
    EXPECT_TRUE(RunUntil([&] { return !net_test::DrainInto(newcomer, answer); }));
    EXPECT_NE(answer.find("<p>home</p>"), std::string::npos) << answer;
    EXPECT_EQ(gone({silent, holder, quiet, later}), (std::vector<bool>{false, false, true, false}));
    for (int fd : {silent, holder, first, second, quiet, visitor, later, newcomer})
        ::close(fd);
}

// A silent connection's grace counts from when it was set up: one that waited in the backlog behind
// another silent one gives way soon after it is taken in, when a newcomer comes.
TEST_F(HttpServerTest, ASilentConnectionsWaitInTheBacklogCountsTowardsItsGrace) {
    const uint16_t port = StartHolding(1, 1500);
    int first = net_test::RawConnect(port);
    ASSERT_TRUE(RunUntil([&] { return server_.WSocketServer()->ClientCounter() == 1; }));
    int queued = net_test::RawConnect(port);
    // It waits for the first one's grace, which gives way to it then.
    ASSERT_TRUE(RunUntil([&] { return server_.WSocketServer()->ClientCounter() == 2; }));
    int newcomer = net_test::RawConnect(port);
    ::send(newcomer, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    // Counted from its accept, the queued one would keep its place for the whole grace.
    std::string answer;
    EXPECT_TRUE(RunUntil([&] { return !net_test::DrainInto(newcomer, answer); }, 1000));
    EXPECT_NE(answer.find("<p>home</p>"), std::string::npos) << answer;
    for (int fd : {first, queued}) {
        std::string got;
        EXPECT_FALSE(net_test::DrainInto(fd, got));
        EXPECT_EQ(got.rfind("HTTP/1.0 408 Request Timeout\r\n", 0), 0u) << got;
    }
    for (int fd : {first, queued, newcomer})
        ::close(fd);
}

// An answer that a client never reads stops moving: it gives way to a newcomer once the grace has
// passed, and it is dropped once it has not moved for the answer's time-out, whether anyone waits or not.
TEST_F(HttpServerTest, AnAnswerThatDoesNotMoveGivesWayAndIsDropped) {
    REQUIRE_PEER("curl");
    Write(root_ + "/docs/big.bin", std::string(8 << 20, 'b'));
    server_.MaxClients = 2;
    server_.ShedGraceMs = 300;
    server_.IdleTimeoutMs = 60000;
    server_.AnswerStallMs = 2000;
    server_.Start();
    uint16_t port = static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort()));
    int first = NeverReader(port, "GET /big.bin HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(RunUntil([&] { return server_.GetClientCount() == 1; }));
    RunFor(100);
    int second = NeverReader(port, "GET /big.bin HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(RunUntil([&] { return server_.GetClientCount() == 2; }));
    int rc = -1;
    std::string page = Curl({Url("/")}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(page.find("<p>home</p>"), std::string::npos) << page.substr(0, 200);
    EXPECT_EQ(server_.WSocketServer()->ClientCounter(), 3);
    // The second answer has stopped too, and nobody waits: it goes at its time-out.
    EXPECT_TRUE(RunUntil([&] { return server_.GetClientCount() == 0; }, 10000));
    ::close(first);
    ::close(second);
}

// A posted body that stops short of its length may still be on its way: its connection is told that it
// came too late, when it gives way to a newcomer and at its time-out alike, and what it sends after is
// dropped.
TEST_F(HttpServerTest, APostedBodyThatStopsShortIsToldItCameTooLate) {
    server_.MaxClients = 1;
    server_.ShedGraceMs = 300;
    server_.IdleTimeoutMs = 60000;
    int posts = 0, bodyReads = 0;
    server_.OnPostDocument = [&](THttpServer*, THttpConnection*, THttpGetFlag& flags) {
        flags = hgAcceptData;
        ++posts;
    };
    server_.OnPostedData = [&](THttpServer*, THttpConnection* c, uint16_t) {
        ++bodyReads;
        c->ReceiveStr();
    };
    server_.Start();
    const uint16_t port = static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort()));
    auto post = [&] {
        int fd = net_test::RawConnect(port);
        const std::string head = "POST /form HTTP/1.0\r\nContent-Length: 100\r\n\r\nname=sta";
        ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
        const int before = posts;
        EXPECT_TRUE(RunUntil([&] { return posts > before; }));
        return fd;
    };
    auto toldTooLate = [&](int fd) {
        std::string answer;
        EXPECT_TRUE(RunUntil([&] { return !net_test::DrainInto(fd, answer); }, 5000));
        EXPECT_EQ(answer.rfind("HTTP/1.0 408 Request Timeout\r\n", 0), 0u) << answer;
    };
    const int pushedOut = post();
    int newcomer = net_test::RawConnect(port);
    ::send(newcomer, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    toldTooLate(pushedOut);
    // The rest of its body comes after: read and dropped, the owner hears no more of it.
    const int heard = bodyReads;
    ::send(pushedOut, "tion&rest=1", 11, MSG_NOSIGNAL);
    ::shutdown(pushedOut, SHUT_WR);
    std::string page;
    EXPECT_TRUE(RunUntil([&] { return !net_test::DrainInto(newcomer, page); }));
    EXPECT_NE(page.find("<p>home</p>"), std::string::npos) << page;
    EXPECT_TRUE(RunUntil([&] { return server_.GetClientCount() == 0; }));
    EXPECT_EQ(bodyReads, heard);
    server_.IdleTimeoutMs = 500;
    const int timedOut = post();
    toldTooLate(timedOut);
    for (int fd : {pushedOut, newcomer, timedOut})
        ::close(fd);
}

TEST_F(HttpServerTest, ARequestHeadMustBeCompleteBeforeItsDeadline) {
    // The idle time-out is ten trickle steps long, so that a loaded machine's late step cannot end the
    // connection in its place.
    server_.IdleTimeoutMs = 1000;
    server_.HeadTimeoutMs = 3000;
    server_.Start();
    uint16_t port = static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort()));
    int slow = net_test::RawConnect(port);
    ::send(slow, "GET / HTTP/1.0\r\n", 16, 0);
    // A header line every 100 ms keeps the idle time-out away, but not the deadline of the head.
    uint32_t start = platform::GetTickCount();
    std::string answer;
    bool closed = false;
    platform::TTimer trickle;
    trickle.SetInterval(100);
    trickle.OnTimer = [&](platform::TTimer*) { ::send(slow, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL); };
    ASSERT_TRUE(RunUntil([&] { return closed = !net_test::DrainInto(slow, answer); }, 10000));
    uint32_t lasted = platform::TicksElapsed(platform::GetTickCount(), start);
    EXPECT_GE(lasted, 2950u);
    EXPECT_LT(lasted, 10000u); // room for a loaded machine: the trickle alone would go on for good
    // Its request may still be on its way: it is told that it came too late, and the answer survives
    // the trickle that goes on after it.
    EXPECT_EQ(answer.rfind("HTTP/1.0 408 Request Timeout\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("</HTML>\r\n"), std::string::npos) << answer;
    ::close(slow);
}

TEST_F(HttpServerTest, PipelinedRequestsGetOneAnswerThatSaysItCloses) {
    REQUIRE_PEER("socat");
    int requests = 0;
    server_.OnGetDocument = [&](THttpServer*, THttpConnection*, THttpGetFlag&) { ++requests; };
    server_.Start();
    std::string answer =
        Run({"socat", "-t", "3", "-", "TCP:127.0.0.1:" + server_.WSocketServer()->GetXPort()}, nullptr,
            "GET /index.html HTTP/1.1\r\nHost: a\r\n\r\nGET /index.html HTTP/1.1\r\nHost: a\r\n\r\n"
            "GET /a%20b.htm HTTP/1.1\r\nHost: a\r\n\r\n");
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("\r\nConnection: close\r\n\r\n<p>home</p>"), std::string::npos) << answer;
    EXPECT_EQ(answer.find("HTTP/1.1", 1), std::string::npos) << answer;
}

// The last piece of an answer waits in the system for the close that follows it: every size of answer,
// with the connection closed at once or (a request body announced) shut after the answer, still
// arrives whole and ends.
TEST_F(HttpServerTest, AnAnswerStreamArrivesWholeAndEndsWhateverItsSize) {
    REQUIRE_PEER("socat");
    std::string body;
    server_.OnGetDocument = [&](THttpServer*, THttpConnection* c, THttpGetFlag& flags) {
        flags = hgWillSendMySelf;
        c->DocStream = std::make_unique<THttpAnswerStream>("HEAD\r\n",
                                                           std::make_shared<const std::string>(body), "TAIL");
        c->SendStream();
    };
    server_.Start();
    const std::string port = server_.WSocketServer()->GetXPort();
    for (size_t size : {size_t{0}, size_t{100}, size_t{65536 - 6}, size_t{65536}, size_t{200000}}) {
        body.resize(size);
        for (size_t i = 0; i < size; ++i)
            body[i] = static_cast<char>('a' + i % 23);
        for (const char* request :
             {"GET / HTTP/1.0\r\n\r\n", "GET / HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello"}) {
            std::string answer = Run({"socat", "-t", "10", "-", "TCP:127.0.0.1:" + port}, nullptr, request);
            EXPECT_EQ(answer.size(), size + 10) << size << " " << request;
            EXPECT_TRUE(answer == "HEAD\r\n" + body + "TAIL") << size << " " << request;
        }
    }
}

TEST(HttpAnswerStream, ReadsItsHeadSharedBodyAndTailInPiecesOfAnySize) {
    const std::string whole = "HTTP/1.0 200 OK\r\n\r\n<p>kept</p>Generated in 3";
    auto body = std::make_shared<const std::string>("<p>kept</p>");
    for (size_t piece = 1; piece <= whole.size() + 1; ++piece) {
        THttpAnswerStream stream("HTTP/1.0 200 OK\r\n\r\n", body, "Generated in 3");
        EXPECT_EQ(stream.Size(), static_cast<int64_t>(whole.size()));
        std::string read;
        std::vector<char> buffer(piece);
        for (size_t n; (n = stream.Read(buffer.data(), piece)) > 0;)
            read.append(buffer.data(), n);
        EXPECT_EQ(read, whole) << piece;
    }
    // From any position: what follows it.
    THttpAnswerStream stream("HEAD", body, "TAIL");
    for (int64_t at = 0; at <= stream.Size(); ++at) {
        stream.SetPosition(at);
        char buffer[64];
        const size_t n = stream.Read(buffer, sizeof buffer);
        EXPECT_EQ(std::string(buffer, n), ("HEAD" + *body + "TAIL").substr(static_cast<size_t>(at))) << at;
    }
    // A shared body stays as it is: another answer reads it whole.
    EXPECT_EQ(*body, "<p>kept</p>");
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

// The system keeps a connection that has sent nothing from the server until its request comes: a
// request that a slow link brings 1 or 3 s after the connect is answered, the first of them taken with
// its request already there (the deferral runs out at 3 s, so the second may be taken just before).
TEST_F(HttpServerTest, TheSystemHoldsASilentConnectionUntilItsLateRequestComes) {
    server_.DeferAcceptSeconds = kHttpDeferAcceptSeconds;
    server_.IdleTimeoutMs = 30000;
    server_.HeadTimeoutMs = 10000;
    std::map<std::string, bool> takenWithRequest; // by the client's port
    server_.OnClientConnect = [&](THttpServer*, THttpConnection* c, uint16_t) {
        int waiting = 0;
        ::ioctl(c->HSocket(), FIONREAD, &waiting);
        takenWithRequest[c->GetPeerPort()] = waiting > 0;
    };
    server_.Start();
    EXPECT_EQ(server_.DeferAcceptError(), 0);
    EXPECT_EQ(net_test::DeferAcceptSeconds(server_.WSocketServer()->HSocket()), kHttpDeferAcceptSeconds);
    const int afterOne = net_test::RawConnect(Port()), afterThree = net_test::RawConnect(Port());
    RunFor(1000);
    ::send(afterOne, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    RunFor(2000);
    ::send(afterThree, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    for (int fd : {afterOne, afterThree})
        EXPECT_NE(AnswerOn(fd, 20000).find("<p>home</p>"), std::string::npos) << fd;
    sockaddr_in client{};
    socklen_t size = sizeof client;
    ::getsockname(afterOne, reinterpret_cast<sockaddr*>(&client), &size);
    EXPECT_TRUE(takenWithRequest[std::to_string(ntohs(client.sin_port))])
        << "taken before its request came: the system did not hold it";
    for (int fd : {afterOne, afterThree})
        ::close(fd);
}

// Once the system's deferral has run out, a connection that has still said nothing is taken all the
// same, and told "408 Request Timeout" when its head deadline has passed.
TEST_F(HttpServerTest, ASilentClientStillGetsItsRequestTimeoutAfterTheDeferral) {
    server_.DeferAcceptSeconds = kHttpDeferAcceptSeconds;
    server_.IdleTimeoutMs = 30000;
    server_.HeadTimeoutMs = 1000;
    server_.Start();
    const int silent = net_test::RawConnect(Port());
    const std::string answer = AnswerOn(silent, 30000);
    EXPECT_EQ(answer.rfind("HTTP/1.0 408 Request Timeout\r\n", 0), 0u) << answer;
    EXPECT_EQ(TcpState(silent), kTcpClosedByPeer);
    ::close(silent);
}

class SocketServerTest : public LoopTest {};

// Only a listener asked to defer does: the web server's. A plain listening socket (the FTP data
// connection's) and the socket server (whose banner speaks first: the TCP feed's) take each connection
// at once, and greet one that sends nothing.
TEST_F(SocketServerTest, OnlyTheWebServerDefersSilentConnections) {
    TWSocket plain(nullptr, "Data");
    plain.SetProto("tcp");
    plain.SetAddr("127.0.0.1");
    plain.SetPort("0");
    plain.Listen();
    TWSocketServer greeting(nullptr, "Srv");
    greeting.Banner = "Hello station";
    greeting.SetAddr("127.0.0.1");
    greeting.SetPort("0");
    greeting.Listen();
    THttpServer web;
    web.SetAddr("127.0.0.1");
    web.SetPort("0");
    web.Start();
    EXPECT_EQ(net_test::DeferAcceptSeconds(plain.HSocket()), 0);
    EXPECT_EQ(net_test::DeferAcceptSeconds(greeting.HSocket()), 0);
    EXPECT_EQ(net_test::DeferAcceptSeconds(web.WSocketServer()->HSocket()), kHttpDeferAcceptSeconds);
    const int silent = net_test::RawConnect(static_cast<uint16_t>(std::stoi(greeting.GetXPort())));
    std::string got;
    RunUntil([&] { return !net_test::DrainInto(silent, got) || got.size() >= 15; }, 10000);
    EXPECT_EQ(got, "Hello station\r\n");
    ::close(silent);
    web.Stop();
}

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
    // The maximum itself is let in: the second is greeted as the first is.
    for (int client : {first, second}) {
        std::string greeting;
        RunUntil([&] { return net_test::DrainInto(client, greeting) && greeting.size() >= 15; }, 1000);
        EXPECT_EQ(greeting, "Hello station\r\n");
    }
    ::close(first);
    ::close(second);
    ASSERT_TRUE(RunUntil([&] { return server.GetClientCount() == 0 && peersAtDisconnect.size() == 3; }));
    EXPECT_EQ(names, (std::vector<std::string>{"SrvClient1", "SrvClient2", "SrvClient3"}));
    for (const auto& peer : peersAtDisconnect)
        EXPECT_EQ(peer, "127.0.0.1");
}

// The server finds a closing client by its window: one given a new window is still found, and leaves.
TEST_F(SocketServerTest, AClientGivenANewWindowLeavesItsServerWhenItCloses) {
    TWSocketServer server(nullptr, "Srv");
    TWSocketClient* client = nullptr;
    int disconnects = 0;
    server.OnClientConnect = [&](TCustomWSocketServer*, TWSocketClient* c, uint16_t) { client = c; };
    server.OnClientDisconnect = [&](TCustomWSocketServer*, TWSocketClient*, uint16_t) { ++disconnects; };
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.Listen();
    int peer = net_test::RawConnect(static_cast<uint16_t>(std::stoi(server.GetXPort())));
    ASSERT_TRUE(RunUntil([&] { return client != nullptr; }));
    client->ThreadAttach();
    ::close(peer);
    EXPECT_TRUE(RunUntil([&] { return server.GetClientCount() == 0; }));
    EXPECT_EQ(disconnects, 1);
}

// Reads from a raw socket until `count` bytes have come, the stream ends or `ms` pass.
std::string ReadWithin(int fd, size_t count, int ms) {
    std::string out;
    platform::Clock& clock = platform::Clock::Get();
    uint32_t start = clock.TickCount();
    for (;;) {
        if (!net_test::DrainInto(fd, out) || out.size() >= count) return out;
        uint32_t elapsed = platform::TicksElapsed(clock.TickCount(), start);
        if (elapsed >= static_cast<uint32_t>(ms)) return out;
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, ms - static_cast<int>(elapsed));
    }
}

// A server run in a child process, for a descriptor limit of its own. `serve` sets the server up, tells
// its port and runs the loop; what it writes to `report` reaches the test (Report()).
class ServerChild {
public:
    using Serve = std::function<void(int report, const std::function<void(const std::string&)>& tellPort)>;
    explicit ServerChild(const Serve& serve) {
        int portPipe[2];
        if (::pipe2(report_, O_CLOEXEC) != 0 || ::pipe2(portPipe, O_CLOEXEC) != 0) return;
        child_ = ::fork();
        if (child_ == 0) {
            ::close(report_[0]);
            ::close(portPipe[0]);
            serve(report_[1], [&](const std::string& port) {
                const std::string line = port + "\n";
                ssize_t w = ::write(portPipe[1], line.data(), line.size());
                (void)w;
            });
            ::_exit(0);
        }
        ::close(report_[1]);
        ::close(portPipe[1]);
        if (child_ < 0) return;
        net_test::SetNonBlocking(report_[0]);
        net_test::SetNonBlocking(portPipe[0]);
        const std::string port = ReadWithin(portPipe[0], 6, 5000);
        ::close(portPipe[0]);
        if (!port.empty()) port_ = static_cast<uint16_t>(std::stoi(port));
    }
    ~ServerChild() {
        if (child_ > 0 && !stopped_) Stop();
        ::close(report_[0]);
    }
    ServerChild(const ServerChild&) = delete;
    ServerChild& operator=(const ServerChild&) = delete;

    // 0 when the server did not start.
    uint16_t Port() const { return port_; }
    int Report() const { return report_[0]; }
    // Ends the child; true when it was still serving.
    bool Stop() {
        stopped_ = true;
        ::kill(child_, SIGTERM);
        int status = 0;
        ::waitpid(child_, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
    }

private:
    int report_[2] = {-1, -1};
    pid_t child_ = -1;
    uint16_t port_ = 0;
    bool stopped_ = false;
};

TEST_F(SocketServerTest, FailedAcceptLeavesTheListenerServing) {
    // The server runs in a child whose descriptor limit leaves room for one client at a time, so the
    // accepts of the next clients fail with "too many open files" until the first one leaves.
    ServerChild child([](int report, const auto& tellPort) {
        auto say = [&](const std::string& text) {
            ssize_t w = ::write(report, text.data(), text.size());
            (void)w;
        };
        platform::EventLoop::Get().SetExceptionHandler([&](std::exception_ptr failure) {
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& e) {
                std::string text = e.what();
                std::replace(text.begin(), text.end(), '\r', ' ');
                std::replace(text.begin(), text.end(), '\n', ' ');
                say("failed: " + text + "\n");
            }
        });
        TWSocketServer server(nullptr, "Srv");
        server.Banner = "hello";
        server.OnClientConnect = [&](TCustomWSocketServer*, TWSocketClient*, uint16_t) { say("client\n"); };
        server.SetAddr("127.0.0.1");
        server.SetPort("0");
        server.Listen();
        // One whole client and one refused accept before the limit drops: the sanitizers check each
        // new dynamic type once, with a pipe, which would fail for want of descriptors later.
        uint16_t own = static_cast<uint16_t>(std::stoi(server.GetXPort()));
        int warm = net_test::RawConnect(own);
        platform::EventLoop::Get().RunUntil([&] { return server.GetClientCount() == 1; }, 3000);
        ::close(warm);
        platform::EventLoop::Get().RunUntil([&] { return server.GetClientCount() == 0; }, 3000);
        try {
            server.Accept(); // nothing queued: fails with "would block"
        } catch (const std::exception& e) {
            std::string text = e.what();
            (void)text;
        }
        int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(lowestFree + 1);
        ::setrlimit(RLIMIT_NOFILE, &limit);
        tellPort(server.GetXPort());
        platform::EventLoop::Get().RunFor(15000);
    });
    const uint16_t p = child.Port();
    ASSERT_NE(p, 0) << "the server did not start";

    int first = net_test::RawConnect(p);
    EXPECT_EQ(ReadWithin(first, 7, 3000), "hello\r\n");
    int second = net_test::RawConnect(p);
    int third = net_test::RawConnect(p);
    ASSERT_GE(second, 0);
    ASSERT_GE(third, 0);
    EXPECT_EQ(ReadWithin(second, 7, 1500), ""); // queued: the server is out of descriptors
    ::close(first);
    EXPECT_EQ(ReadWithin(second, 7, 3000), "hello\r\n");
    ::close(second);
    EXPECT_EQ(ReadWithin(third, 7, 3000), "hello\r\n");
    ::close(third);

    std::string log = ReadWithin(child.Report(), 1 << 20, 200);
    EXPECT_NE(log.find("failed: "), std::string::npos) << "no accept failed: the test proved nothing";
    // A run of failures with one cause is told twice: its first failure, and its count when it ends.
    size_t told = 0;
    for (size_t at = log.find("failed: "); at != std::string::npos; at = log.find("failed: ", at + 1))
        ++told;
    EXPECT_LE(told, 4u) << log;
    EXPECT_NE(log.find("failed: Error 10024 in function Accept"), std::string::npos) << log;
    EXPECT_NE(log.find(" times in a row: Too many open files (error 10024), ended"), std::string::npos)
        << log;
    size_t clients = 0;
    for (size_t at = log.find("client\n"); at != std::string::npos; at = log.find("client\n", at + 1))
        ++clients;
    EXPECT_EQ(clients, 4u) << log; // the warm-up client and the three above
    EXPECT_TRUE(child.Stop()) << "the server ended early";
}

// The server holds as many connections as the process's descriptor limit allows, less those kept for
// the rest of the station; with every one of them held by an answer being made, a newcomer is told
// that the server is full rather than kept waiting. With the table full and as many connections on
// their way out as may be, the station can still open its files. The server runs in a child with a low
// limit.
TEST_F(HttpServerTest, AtTheDescriptorLimitANewcomerIsToldTheServerIsFull) {
    constexpr rlim_t kLimit = 256;
    ServerChild child([&](int report, const auto& tellPort) {
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = kLimit;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        server_.ShedGraceMs = 300;
        server_.IdleTimeoutMs = 60000;
        server_.HeadTimeoutMs = 60000;
        server_.OnGetDocument = [&](THttpServer*, THttpConnection*, THttpGetFlag& flags) {
            flags = hgWillSendMySelf; // never answered
            ssize_t w = ::write(report, "held\n", 5);
            (void)w;
        };
        // The most connections on their way out at once; once they have every descriptor they may
        // have, the files the station may open meanwhile.
        int most = 0;
        server_.OnClientConnect = [&](THttpServer*, THttpConnection*, uint16_t) {
            const int leaving = server_.GetClientCount() - server_.Held();
            if (leaving <= most) return;
            most = leaving;
            const std::string mostLine = "most " + std::to_string(most) + "\n";
            ssize_t wrote = ::write(report, mostLine.data(), mostLine.size());
            (void)wrote;
            if (most != kHttpLeavingMax) return;
            std::vector<int> files;
            for (size_t i = 0; i < kHttpDescriptorsKept; ++i) {
                const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                if (fd < 0) break;
                files.push_back(fd);
            }
            for (int fd : files)
                ::close(fd);
            const std::string line = "files " + std::to_string(files.size()) + "\n";
            ssize_t w = ::write(report, line.data(), line.size());
            (void)w;
        };
        server_.Start();
        tellPort(server_.WSocketServer()->GetXPort());
        platform::EventLoop::Get().RunFor(30000);
    });
    const uint16_t port = child.Port();
    ASSERT_NE(port, 0) << "the server did not start";

    std::vector<int> connections;
    std::string told, refusal;
    int held = 0;
    bool turnedAway = false;
    while (!turnedAway && connections.size() < kLimit) {
        const int fd = net_test::RawConnect(port);
        ASSERT_GE(fd, 0);
        connections.push_back(fd);
        ::send(fd, "GET /hold HTTP/1.0\r\n\r\n", 22, MSG_NOSIGNAL);
        // Held (the child says so) or turned away (an answer comes).
        platform::Clock& clock = platform::Clock::Get();
        const uint32_t start = clock.TickCount();
        while (platform::TicksElapsed(clock.TickCount(), start) < 5000) {
            net_test::DrainInto(child.Report(), told);
            int now = 0;
            for (size_t at = told.find("held\n"); at != std::string::npos; at = told.find("held\n", at + 1))
                ++now;
            if (now > held) {
                held = now;
                break;
            }
            if (!net_test::DrainInto(fd, refusal) || !refusal.empty()) {
                turnedAway = true;
                break;
            }
            pollfd look[2] = {{child.Report(), POLLIN, 0}, {fd, POLLIN, 0}};
            ::poll(look, 2, 100);
        }
        ASSERT_TRUE(turnedAway || held == static_cast<int>(connections.size()))
            << "neither held nor answered";
    }
    ASSERT_TRUE(turnedAway) << held << " connections held";
    EXPECT_EQ(held, HttpConnectionsHeld(kLimit, 0));
    EXPECT_GT(held, 64);
    // The answer arrives whole and the connection ends cleanly.
    std::string rest = ReadWithin(connections.back(), 1 << 16, 3000);
    refusal += rest;
    EXPECT_EQ(refusal.rfind("HTTP/1.0 503 Service Unavailable\r\n", 0), 0u) << refusal;
    EXPECT_NE(refusal.find("</HTML>\r\n"), std::string::npos) << refusal;
    std::string after;
    EXPECT_FALSE(net_test::DrainInto(connections.back(), after)) << "not closed";
    // Those held keep their places.
    for (size_t i = 0; i + 1 < connections.size(); ++i) {
        std::string got;
        EXPECT_TRUE(net_test::DrainInto(connections[i], got) && got.empty()) << i << ": " << got;
    }
    // More newcomers, whose clients stay: each is told, and drains until the client closes (or its
    // drain passes). Every descriptor of the connections on their way out is taken then; those beyond
    // wait in the backlog until one has left.
    std::vector<int> leaving = {connections.back()};
    while (leaving.size() < static_cast<size_t>(kHttpLeavingMax) + 16) {
        leaving.push_back(net_test::RawConnect(port));
        ASSERT_GE(leaving.back(), 0);
        ::send(leaving.back(), "GET /hold HTTP/1.0\r\n\r\n", 22, MSG_NOSIGNAL);
    }
    platform::Clock& clock = platform::Clock::Get();
    const uint32_t start = clock.TickCount();
    std::string files;
    while (files.empty() && platform::TicksElapsed(clock.TickCount(), start) < 10000) {
        net_test::DrainInto(child.Report(), told);
        if (const size_t at = told.find("files ");
            at != std::string::npos && told.find('\n', at) != std::string::npos)
            files = told.substr(at + 6, told.find('\n', at) - at - 6);
        pollfd look{child.Report(), POLLIN, 0};
        ::poll(&look, 1, 100);
    }
    ASSERT_FALSE(files.empty()) << "never had " << kHttpLeavingMax << " connections on their way out";
    EXPECT_GE(std::stoul(files), kHttpDescriptorsKept / 2);
    for (size_t i = 1; i < leaving.size(); ++i) {
        std::string answer = ReadWithin(leaving[i], 1 << 16, 5000);
        EXPECT_EQ(answer.rfind("HTTP/1.0 503 Service Unavailable\r\n", 0), 0u) << i << ": " << answer;
    }
    net_test::DrainInto(child.Report(), told);
    const size_t last = told.rfind("most ");
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(std::stoi(told.substr(last + 5)), kHttpLeavingMax);
    for (int fd : connections)
        ::close(fd);
    for (size_t i = 1; i < leaving.size(); ++i)
        ::close(leaving[i]);
    EXPECT_TRUE(child.Stop()) << "the server ended early";
}

// The server's own ceiling: whatever the descriptor limit (a service's hard limit may be 524,288), it
// holds no more than kHttpConnectionsMost, and the limit a station raises its own to is just what that
// takes beside the descriptors kept and those of the connections on their way out.
TEST(HttpServerCeiling, TheTableStopsAtItsCeilingWhateverTheDescriptorLimit) {
    EXPECT_EQ(HttpConnectionsHeld(524288, 0), kHttpConnectionsMost);
    EXPECT_EQ(HttpConnectionsHeld(SIZE_MAX, 0), kHttpConnectionsMost);
    EXPECT_EQ(HttpConnectionsHeld(1 << 20, 1 << 30), kHttpConnectionsMost); // MaxClients no higher
    EXPECT_EQ(HttpConnectionsHeld(1 << 20, 50), 50);
    EXPECT_EQ(HttpConnectionsHeld(kHttpDescriptorsWanted, 0), kHttpConnectionsMost);
    EXPECT_EQ(HttpConnectionsHeld(kHttpDescriptorsWanted - 1, 0), kHttpConnectionsMost - 1);
    EXPECT_EQ(HttpConnectionsHeld(10, 0), 1);
    EXPECT_LE(kHttpConnectionsMost, 16000); // about 2.9 kB each: a full table stays well under 64 MB
}

// A newcomer to a server whose every connection is making its answer waits in the backlog for the
// grace, no longer, and is then told that the server is full; once room has been made, a server full
// again counts the grace anew, and a server restarted while still full tells the next newcomer at once.
// On simulated time, so that the grace is kept to the tick.
TEST_F(HttpServerTest, ANewcomerToAFullServerIsToldSoWhenTheGraceHasPassedCountedAnewEachTimeItFills) {
    auto clock = SimulateTime();
    constexpr uint32_t kGrace = 300;
    uint16_t port = StartHolding(1, kGrace);
    auto toldFullAfter = [&] { // ms from a newcomer's arrival to its 503
        const uint32_t start = clock->TickCount();
        int newcomer = net_test::RawConnect(port);
        ::send(newcomer, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
        const std::string answer = AnswerOn(newcomer);
        EXPECT_EQ(answer.rfind("HTTP/1.0 503 Service Unavailable\r\n", 0), 0u) << answer;
        ::close(newcomer);
        return platform::TicksElapsed(clock->TickCount(), start);
    };
    const int first = Holder(port);
    uint32_t waited = toldFullAfter();
    EXPECT_GE(waited, kGrace);
    EXPECT_LE(waited, kGrace + kGrace / 2); // looked at again when the grace ends, not a grace later
    // The answer ends and another takes the slot: full again, the next newcomer waits a whole grace.
    held_->Answer404();
    held_->CloseDelayed();
    EXPECT_NE(AnswerOn(first).find(" 404 Not Found\r\n"), std::string::npos);
    const int second = Holder(port);
    RunFor(5 * kGrace); // long past the first time it was full
    waited = toldFullAfter();
    EXPECT_GE(waited, kGrace);
    EXPECT_LE(waited, kGrace + kGrace / 2);
    // Listening anew on another port, the holder still there: full since before.
    server_.SetPort(std::to_string(net_test::FreePort()));
    port = Port();
    EXPECT_LT(toldFullAfter(), kGrace);
    ::close(first);
    ::close(second);
}

// A connection from which not a byte has come has nothing to drain: pushed out for a visitor, told
// that the server is full, or past its deadline, it closes as soon as its answer has left, though its
// client stays; the client reads the whole answer and an orderly end (simulated time).
TEST_F(HttpServerTest, ASilentConnectionTurnedAwayClosesAsSoonAsItsAnswerHasLeft) {
    auto clock = SimulateTime();
    const uint16_t port = StartHolding(1, 300);
    auto closedAtOnce = [&](int fd, const std::string& status, int left) {
        const std::string answer = AnswerOn(fd);
        EXPECT_EQ(answer.rfind("HTTP/1.0 " + status + "\r\n", 0), 0u) << answer;
        EXPECT_NE(answer.find("</HTML>\r\n"), std::string::npos) << answer;
        const uint32_t told = clock->TickCount();
        EXPECT_TRUE(RunUntil([&] { return server_.GetClientCount() == left; })) << status;
        EXPECT_LT(platform::TicksElapsed(clock->TickCount(), told), kHttpLeaveDrainMs)
            << status << " drained";
        EXPECT_EQ(TcpState(fd), kTcpClosedByPeer) << status << ": reset";
        EXPECT_EQ(PendingError(fd), 0) << status << ": " << std::strerror(PendingError(fd));
    };
    const int pushed = net_test::RawConnect(port);
    ASSERT_TRUE(RunUntil([&] { return server_.GetClientCount() == 1; }));
    const int visitor = net_test::RawConnect(port);
    ::send(visitor, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    EXPECT_NE(AnswerOn(visitor).find("<p>home</p>"), std::string::npos);
    closedAtOnce(pushed, "408 Request Timeout", 0);
    const int holder = Holder(port);
    const int newcomer = net_test::RawConnect(port);
    closedAtOnce(newcomer, "503 Service Unavailable", 1);
    held_->Answer404();
    held_->CloseDelayed();
    AnswerOn(holder);
    ASSERT_TRUE(RunUntil([&] { return server_.GetClientCount() == 0; }));
    server_.HeadTimeoutMs = 1000;
    const int late = net_test::RawConnect(port);
    closedAtOnce(late, "408 Request Timeout", 0);
    for (int fd : {pushed, visitor, holder, newcomer, late})
        ::close(fd);
}

// A connection turned away is never reset: once its answer has left its sending side is shut, what its
// client still sends is read and dropped, and it closes when the client closes or the drain has
// passed, reading first what came last. The client's last line comes at the drain's very tick, before
// the server looks (simulated time).
TEST_F(HttpServerTest, AConnectionTurnedAwayIsDrainedAndClosedWithoutAReset) {
    auto clock = SimulateTime();
    server_.IdleTimeoutMs = 60000;
    server_.HeadTimeoutMs = 1000;
    server_.Start();
    const int slow = net_test::RawConnect(Port());
    const int now = 1; // each line leaves at once, not held back for the acknowledgement of the one before
    ::setsockopt(slow, IPPROTO_TCP, TCP_NODELAY, &now, sizeof now);
    ::send(slow, "GET / HTTP/1.0\r\n", 16, MSG_NOSIGNAL);
    const std::string answer = AnswerOn(slow); // the answer, then the end of the server's side
    const uint32_t told = clock->TickCount();
    EXPECT_EQ(answer.rfind("HTTP/1.0 408 Request Timeout\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("</HTML>\r\n"), std::string::npos) << answer;
    // Half-way through the drain the rest of its head comes.
    platform::TTimer halfWay;
    halfWay.SetInterval(kHttpLeaveDrainMs / 2);
    halfWay.OnTimer = [&](platform::TTimer*) {
        halfWay.SetEnabled(false);
        ::send(slow, "Host: a\r\n\r\n", 11, MSG_NOSIGNAL);
    };
    halfWay.SetEnabled(true);
    bool sentLast = false;
    EXPECT_TRUE(RunUntil(
        [&] {
            if (!sentLast && platform::TicksElapsed(clock->TickCount(), told) >= kHttpLeaveDrainMs) {
                sentLast = ::send(slow, "X-Late: 1\r\n", 11, MSG_NOSIGNAL) == 11;
                EXPECT_EQ(server_.GetClientCount(), 1) << "closed before its drain had passed";
            }
            return server_.GetClientCount() == 0;
        },
        10000));
    EXPECT_TRUE(sentLast);
    EXPECT_EQ(TcpState(slow), kTcpClosedByPeer) << "reset";
    EXPECT_EQ(PendingError(slow), 0) << std::strerror(PendingError(slow));
    ::close(slow);
}

// A crowd that came at once passes its head deadline at once: the server ends it in slices, and a
// visitor whose request waits meanwhile is answered between two of them, not after the whole crowd.
// Every one of the crowd is ended all the same (simulated time).
TEST_F(HttpServerTest, ACrowdPastItsDeadlineAtOnceIsEndedInSlicesAroundAVisitor) {
    auto clock = SimulateTime();
    constexpr int kCrowd = 400; // twice its descriptors fit a process limit of 1,024
    server_.IdleTimeoutMs = 60000;
    server_.HeadTimeoutMs = 1000;
    std::vector<int> crowd;
    int endedBeforeTheVisitor = -1;
    server_.OnGetDocument = [&](THttpServer*, THttpConnection*, THttpGetFlag&) {
        std::vector<pollfd> look;
        for (int fd : crowd)
            look.push_back({fd, POLLIN, 0});
        ::poll(look.data(), look.size(), 0);
        endedBeforeTheVisitor =
            static_cast<int>(std::count_if(look.begin(), look.end(), [](const pollfd& p) { return p.revents != 0; }));
    };
    server_.Start();
    for (int i = 0; i < kCrowd; ++i) {
        crowd.push_back(net_test::RawConnect(Port()));
        ASSERT_GE(crowd.back(), 0);
    }
    ASSERT_TRUE(RunUntil([&] { return server_.GetClientCount() == kCrowd; }));
    // The deadline passes while the loop is busy elsewhere, and a visitor's request comes meanwhile.
    clock->Advance(server_.HeadTimeoutMs + 1);
    const int visitor = net_test::RawConnect(Port());
    ::send(visitor, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    const std::string answer = AnswerOn(visitor);
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << answer;
    EXPECT_GE(endedBeforeTheVisitor, 1) << "the visitor came before the crowd's deadline was looked at";
    EXPECT_LT(endedBeforeTheVisitor, kCrowd) << "the visitor waited for the whole crowd to be ended";
    std::vector<std::string> told(crowd.size());
    EXPECT_TRUE(RunUntil(
        [&] {
            bool all = true;
            for (size_t i = 0; i < crowd.size(); ++i)
                all = !net_test::DrainInto(crowd[i], told[i]) && all;
            return all;
        },
        30000));
    for (size_t i = 0; i < crowd.size(); ++i) {
        EXPECT_EQ(told[i].rfind("HTTP/1.0 408 Request Timeout\r\n", 0), 0u) << i << ": " << told[i];
        ::close(crowd[i]);
    }
    ::close(visitor);
}

// Connections turned away leave their slots as they close: after them the server holds as many as
// before, and turns the next newcomer away when it is full.
TEST_F(HttpServerTest, ConnectionsTurnedAwayAreCountedOffAsTheyClose) {
    SimulateTime();
    const uint16_t port = StartHolding(2, 300);
    server_.HeadTimeoutMs = 1000; // for the connections taken from here on
    std::vector<int> slow;
    for (int i = 0; i < 3; ++i) {
        slow.push_back(net_test::RawConnect(port));
        ::send(slow.back(), "GET / HTTP/1.0\r\n", 16, MSG_NOSIGNAL);
    }
    for (int fd : slow) {
        const std::string answer = AnswerOn(fd);
        EXPECT_EQ(answer.rfind("HTTP/1.0 408 Request Timeout\r\n", 0), 0u) << answer;
        ::close(fd);
    }
    ASSERT_TRUE(RunUntil([&] { return server_.GetClientCount() == 0; }));
    int holds = 0;
    server_.OnClientConnect = [&](THttpServer*, THttpConnection*, uint16_t) { holds = server_.Held(); };
    const int first = Holder(port), second = Holder(port);
    int third = net_test::RawConnect(port);
    ::send(third, "GET /hold HTTP/1.0\r\n\r\n", 22, MSG_NOSIGNAL);
    const std::string answer = AnswerOn(third);
    EXPECT_EQ(answer.rfind("HTTP/1.0 503 Service Unavailable\r\n", 0), 0u) << answer;
    EXPECT_EQ(server_.Held(), 2);
    for (int fd : {first, second, third})
        ::close(fd);
}

// A stop and a start, and a start on a live server (its port changed while it holds connections and
// others drain), leave the server answering: the connections turned away before still leave their
// slots as they close.
TEST_F(HttpServerTest, AStopAndAStartOrAStartOnALiveServerLeaveItAnswering) {
    SimulateTime();
    uint16_t port = StartHolding(2, 300);
    // Both slots held, and two newcomers told that the server is full, whose clients stay (draining).
    auto fill = [&] {
        std::vector<int> fds = {Holder(port), Holder(port)};
        for (int i = 0; i < 2; ++i) {
            fds.push_back(net_test::RawConnect(port));
            ::send(fds.back(), "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
            std::string answer;
            EXPECT_TRUE(RunUntil([&] {
                net_test::DrainInto(fds.back(), answer);
                return answer.find("</HTML>\r\n") != std::string::npos;
            }));
            EXPECT_EQ(answer.rfind("HTTP/1.0 503 Service Unavailable\r\n", 0), 0u) << answer;
        }
        EXPECT_EQ(server_.GetClientCount(), 4);
        return fds;
    };
    auto visit = [&] {
        int fd = net_test::RawConnect(port);
        ::send(fd, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
        const std::string answer = AnswerOn(fd);
        ::close(fd);
        return answer;
    };
    std::vector<int> fds = fill();
    server_.Stop();
    server_.Start();
    port = Port();
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(visit().find("<p>home</p>"), std::string::npos) << i;
    for (int fd : fds)
        ::close(fd);

    fds = fill();
    server_.Start(); // listening already: nothing changes
    const uint16_t free = net_test::FreePort();
    server_.SetPort(std::to_string(free));
    port = Port();
    ASSERT_EQ(port, free);
    EXPECT_EQ(server_.GetClientCount(), 4); // the connections outlive the listener
    for (int fd : fds)
        ::close(fd); // the holders leave, and so do those told that the server was full
    ASSERT_TRUE(RunUntil([&] { return server_.GetClientCount() == 0; }));
    // Two slots, as before.
    const int holders[2] = {Holder(port), Holder(port)};
    const std::string answer = visit();
    EXPECT_EQ(answer.rfind("HTTP/1.0 503 Service Unavailable\r\n", 0), 0u) << answer;
    for (int fd : holders)
        ::close(fd);
}

} // namespace
