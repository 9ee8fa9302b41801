// The HTTP server inside the station's own reading cycle, on the machine's clock: the passes read a
// simulated net with thermometers (a second of conversion each) and wait out their spacing, and real
// clients are answered meanwhile, also while a crowd of slow clients or a flood of line feeds goes on.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "net/Httpsrv.h"
#include "net/NetTestSupport.h"
#include "station/StationNet.h"

using namespace station_test;

namespace {

using Ms = std::chrono::milliseconds;

std::string Pattern(size_t size, char first) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(first + i % 23);
    return text;
}

class ServingInsidePasses : public StationNetTest {
protected:
    void SetUp() override {
        StationNetTest::SetUp();
        platform::Clock::Install(std::make_shared<platform::RealClock>());
        Settings(
            "[Weather]\r\nPortNum=1\r\nPortType=64\r\nSampleInterval=2000\r\n[DS1820]\r\nReadInterval=1\r\n");
        AddThermometer(0x2801);
        AddThermometer(0x2802);
        AddCounter(0x501);
        std::filesystem::create_directory(Path("docs"));
        Write("docs/page.html", page_);
        server_.DocDir = Path("docs");
        server_.SetAddr("127.0.0.1");
        server_.SetPort("0");
        // Every GET is answered by the owner from a stream, as the station's web answers are.
        server_.OnGetDocument = [this](net::THttpServer*, net::THttpConnection* c, net::THttpGetFlag& flags) {
            const std::string& body = c->Path == "/image.gif" ? image_ : page_;
            flags = net::hgWillSendMySelf;
            if (form_->Chain.PassInProgress) ++answeredInPass_;
            ++answered_;
            c->SendStr(c->Version +
                       " 200 OK\r\nContent-Type: " + (c->Path == "/image.gif" ? "image/gif" : "text/html") +
                       "\r\nContent-Length: " + std::to_string(body.size()) +
                       "\r\nConnection: close\r\n\r\n");
            auto stream = std::make_unique<platform::TMemoryStream>();
            stream->WriteString(body);
            stream->SetPosition(0);
            c->DocStream = std::move(stream);
            c->SendStream();
        };
    }

    void TearDown() override {
        server_.Stop();
        StationNetTest::TearDown();
    }

    TMainForm& StartStationAndServer() {
        TMainForm& form = StartStation();
        EXPECT_TRUE(
            platform::EventLoop::Get().RunUntil([] { return SessionRunning && SampleCount > 0; }, 10000));
        server_.Start();
        return form;
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + server_.WSocketServer()->GetXPort() + path;
    }
    uint16_t Port() const { return static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort())); }

    // Runs a client while the station runs; its output and exit code.
    struct Fetched {
        std::string output;
        int exitCode = -1;
    };
    Fetched Fetch(const std::vector<std::string>& argv, uint32_t limitMs = 15000) {
        net_test::PeerProcess peer(argv);
        EXPECT_TRUE(platform::EventLoop::Get().RunUntil([&] { return peer.Done(); }, limitMs)) << argv[0];
        return {peer.Output(), peer.ExitCode()};
    }
    Fetched Curl(std::vector<std::string> args) {
        args.insert(args.begin(), {"curl", "-sS", "--max-time", "5", "-D", "-"});
        return Fetch(args);
    }

    std::string page_ = Pattern(3584, 'a');
    std::string image_ = "GIF89a" + Pattern(40 * 1024 - 6, 'A');
    net::THttpServer server_;
    int answered_ = 0;
    int answeredInPass_ = 0;
};

TEST_F(ServingInsidePasses, PagesImagesAndHeadAreServedWhileThePassesRun) {
    REQUIRE_PEER("curl");
    REQUIRE_PEER("wget");
    StartStationAndServer();
    unsigned rounds = SampleCount;
    for (int i = 0; i < 4; ++i) {
        Fetched page = Curl({Url("/page.html")});
        EXPECT_EQ(page.exitCode, 0);
        EXPECT_EQ(page.output.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << page.output.substr(0, 200);
        EXPECT_EQ(page.output.substr(page.output.size() - page_.size()), page_);
        std::string file = Path("image.out");
        Fetched image = Fetch({"wget", "-q", "-O", file, "--timeout=5", "--tries=1", Url("/image.gif")});
        EXPECT_EQ(image.exitCode, 0);
        EXPECT_EQ(Read("image.out"), image_);
    }
    // HEAD from the document folder: the real length and no body.
    Fetched head = Curl({"-I", Url("/page.html")});
    EXPECT_EQ(head.exitCode, 0);
    EXPECT_NE(head.output.find("Content-Length: 3584\r\n"), std::string::npos) << head.output;
    EXPECT_EQ(head.output.find(page_.substr(0, 20)), std::string::npos);
    EXPECT_EQ(answered_, 8);
    EXPECT_GT(answeredInPass_, 0) << "nothing was answered from inside a pass";
    EXPECT_GT(SampleCount, rounds);
}

// A crowd of slow clients on a thread of its own: each connects, sends a request line and then one
// header line a second, never ending its head; every connection the server closes is opened again.
class SlowCrowd {
public:
    SlowCrowd(uint16_t port, int size) : port_(port), members_(static_cast<size_t>(size)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~SlowCrowd() {
        stop_ = true;
        thread_.join();
        for (Member& m : members_)
            if (m.fd >= 0) ::close(m.fd);
    }
    int Reconnects() const { return reconnects_; }

private:
    struct Member {
        int fd = -1;
        bool requested = false;
    };
    void Run() {
        for (int tick = 0; !stop_; ++tick) {
            for (Member& m : members_) {
                if (m.fd >= 0 && !Alive(m.fd)) {
                    ::close(m.fd);
                    m = Member{};
                    ++reconnects_;
                }
                if (m.fd < 0) m.fd = Open();
                if (m.fd < 0 || !Connected(m.fd)) continue;
                std::string line = m.requested ? "X-Slow-" + std::to_string(tick) + ": 1\r\n"
                                               : std::string("GET /page.html HTTP/1.1\r\n");
                m.requested = true;
                ::send(m.fd, line.data(), line.size(), MSG_NOSIGNAL);
            }
            for (int i = 0; i < 10 && !stop_; ++i)
                std::this_thread::sleep_for(Ms(100));
        }
    }
    // Connects without waiting: a full accept queue only delays the crowd itself.
    int Open() const {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a = net_test::Loopback(port_);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    static bool Connected(int fd) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        return ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0;
    }
    static bool Alive(int fd) {
        char buf[256];
        ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOTCONN);
    }

    uint16_t port_;
    std::vector<Member> members_;
    std::atomic<bool> stop_{false};
    std::atomic<int> reconnects_{0};
    std::thread thread_;
};

// The crowd fills every slot and the backlog behind them. Each of its connections gives way at once
// when it has sent part of its request head, or once it has had its grace when it has sent nothing, so
// the part of the crowd ahead of curl in the backlog holds curl up for at most about (that part / slots)
// graces: never for the head's time-out.
TEST_F(ServingInsidePasses, ACrowdOfSlowClientsHoldsCurlUpOnlyForTheirGraces) {
    REQUIRE_PEER("curl");
    constexpr int kCrowd = 200;
    int most = 0; // the server never holds more connections than its maximum, not even for a moment
    server_.MaxClients = 64; // a house the crowd fills
    server_.OnClientConnect = [&](net::THttpServer*, net::THttpConnection*, uint16_t) {
        most = std::max(most, server_.Held());
    };
    StartStationAndServer();
    unsigned rounds = SampleCount;
    SlowCrowd crowd(Port(), kCrowd);
    ASSERT_TRUE(platform::EventLoop::Get().RunUntil(
        [&] { return server_.WSocketServer()->ClientCounter() >= kCrowd; }, 20000));
    // A fetch every second, started by a timer of the loop: it fires inside the passes too. Each curl
    // reports how long its own transfer took, from the connect to the last byte.
    constexpr size_t kFetches = 12;
    std::vector<std::unique_ptr<net_test::PeerProcess>> fetches;
    platform::TTimer launcher;
    launcher.SetInterval(1000);
    launcher.OnTimer = [&](platform::TTimer*) {
        if (fetches.size() < kFetches)
            fetches.push_back(std::make_unique<net_test::PeerProcess>(std::vector<std::string>{
                "curl", "-sS", "--max-time", "15", "-w", "\n%{time_total}", Url("/page.html")}));
    };
    ASSERT_TRUE(platform::EventLoop::Get().RunUntil(
        [&] {
            return fetches.size() == kFetches &&
                   std::all_of(fetches.begin(), fetches.end(), [](auto& f) { return f->Done(); });
        },
        60000));
    launcher.SetEnabled(false);
    const double bound = (static_cast<double>(kCrowd) / server_.MaxClients + 2) * server_.ShedGraceMs / 1000;
    ASSERT_LT(bound, server_.HeadTimeoutMs / 1000.0);
    for (size_t i = 0; i < fetches.size(); ++i) {
        const std::string& out = fetches[i]->Output();
        EXPECT_EQ(fetches[i]->ExitCode(), 0) << i;
        size_t cut = out.rfind('\n');
        ASSERT_NE(cut, std::string::npos) << i;
        EXPECT_EQ(out.substr(0, cut), page_) << i;
        EXPECT_LT(std::stod(out.substr(cut + 1)), bound) << "fetch " << i;
    }
    EXPECT_GT(crowd.Reconnects(), 0); // the crowd was pushed out, not served
    EXPECT_LE(most, server_.MaxClients);
    EXPECT_GT(answeredInPass_, 0);
    EXPECT_GT(SampleCount, rounds);
}

TEST_F(ServingInsidePasses, AFloodOfLineFeedsIsAnsweredOnceAndClosedWhileOthersAreServed) {
    REQUIRE_PEER("curl");
    StartStationAndServer();
    unsigned rounds = SampleCount;
    int flood = net_test::RawConnect(Port());
    ASSERT_GE(flood, 0);
    std::atomic<size_t> sent{0};
    std::thread sender([&] {
        std::string feeds(1 << 20, '\n');
        int fd = ::dup(flood);
        int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        while (sent < feeds.size()) {
            ssize_t n = ::send(fd, feeds.data() + sent, feeds.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        ::close(fd);
    });
    Fetched page = Curl({Url("/page.html")});
    EXPECT_EQ(page.exitCode, 0);
    EXPECT_EQ(page.output.substr(page.output.size() - page_.size()), page_);
    std::string answer;
    bool ended =
        platform::EventLoop::Get().RunUntil([&] { return !net_test::DrainInto(flood, answer); }, 5000);
    sender.join();
    EXPECT_TRUE(ended);
    // Two line feeds made an empty request: one 404 that says it closes, then the end.
    EXPECT_EQ(answer.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << answer.substr(0, 100);
    EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos);
    ::close(flood); // the server drained the rest and waited for this
    EXPECT_TRUE(platform::EventLoop::Get().RunUntil([&] { return server_.GetClientCount() == 0; }, 5000));
    EXPECT_TRUE(platform::EventLoop::Get().RunUntil([&] { return SampleCount > rounds; }, 5000));
}

} // namespace
