// The demo station with every remote service pointed at peers on 127.0.0.1 for eight hours of station
// time: the FTP upload to pyftpdlib, the posts to the recording HTTP listener, the APRS report to a
// listener of the test's own, two TCP feed clients and a UDP listener. The status log holds the success
// lines and nothing else. Then each peer in turn goes away: its failure is logged once, the reading goes
// on, and the service recovers when the peer is back.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "onewire/SensorTables.h"
#include "publish/AprsReport.h"
#include "publish/FtpUpload.h"
#include "publish/WeatherPosts.h"
#include "tests/publish/PublishStation.h"
#include "tests/publish/PublishTestSupport.h"

namespace {

namespace fs = std::filesystem;
using ftp_test::PyftpdPeer;
using publish_test::HttpPeer;

constexpr uint32_t kMinuteMs = 60 * 1000;

// A socket of the test's own that the loop reads while the station runs.
class Watched {
public:
    Watched() = default;
    Watched(const Watched&) = delete;
    Watched& operator=(const Watched&) = delete;
    ~Watched() { Close(); }
    void Open(int fd, std::function<void()> readable) {
        Close();
        fd_ = fd;
        net_test::SetNonBlocking(fd_);
        watch_ = platform::EventLoop::Get().WatchFd(fd_, POLLIN, [readable](short) { readable(); });
    }
    void Close() {
        if (watch_ != 0) platform::EventLoop::Get().UnwatchFd(watch_);
        if (fd_ >= 0) ::close(fd_);
        watch_ = 0;
        fd_ = -1;
    }
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
    int watch_ = 0;
};

// A socket bound to 127.0.0.1:port (any free port for 0), reusable at once after a close.
int BoundSocket(uint16_t& port, int type) {
    int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = net_test::Loopback(port);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << "port " << port;
    if (type == SOCK_STREAM) ::listen(fd, 4);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// An APRS-IS server: takes one connection at a time, counts the packets and echoes each one back (the
// network's servers echo nothing to the sender; the echo brings the success line the test counts).
class AprsListener {
public:
    explicit AprsListener(uint16_t port = 0) : port_(port) {
        listener_.Open(BoundSocket(port_, SOCK_STREAM), [this] { Accept(); });
    }
    uint16_t Port() const { return port_; }
    int Packets() const { return packets_; }

private:
    void Accept() {
        int fd = ::accept(listener_.Fd(), nullptr, nullptr);
        if (fd < 0) return;
        pending_.clear();
        client_.Open(fd, [this] { Read(); });
    }
    void Read() {
        bool open = net_test::DrainInto(client_.Fd(), pending_);
        for (size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
            std::string line = pending_.substr(0, end + 1);
            pending_.erase(0, end + 1);
            if (line.find(">APRS,") == std::string::npos) continue;
            ++packets_;
            (void)!::write(client_.Fd(), line.data(), line.size());
        }
        if (!open) client_.Close();
    }

    uint16_t port_;
    Watched listener_, client_;
    std::string pending_;
    int packets_ = 0;
};

// A client of the TCP status feed: counts the lines it is sent.
class FeedClient {
public:
    explicit FeedClient(uint16_t port) {
        int fd = net_test::RawConnect(port);
        EXPECT_GE(fd, 0);
        if (fd >= 0) socket_.Open(fd, [this] { Read(); });
    }
    int Lines() const { return lines_; }

private:
    void Read() {
        std::string text;
        bool open = net_test::DrainInto(socket_.Fd(), text);
        for (char c : text)
            lines_ += c == '\n';
        if (!open) socket_.Close();
    }

    Watched socket_;
    int lines_ = 0;
};

// A UDP listener: counts the datagrams.
class DatagramListener {
public:
    explicit DatagramListener(uint16_t port = 0) : port_(port) {
        socket_.Open(BoundSocket(port_, SOCK_DGRAM), [this] {
            char buffer[2048];
            while (::recv(socket_.Fd(), buffer, sizeof buffer, MSG_DONTWAIT) > 0)
                ++datagrams_;
        });
    }
    uint16_t Port() const { return port_; }
    int Datagrams() const { return datagrams_; }

private:
    uint16_t port_;
    Watched socket_;
    int datagrams_ = 0;
};

class LoopbackRun : public publish_test::PublishStation {
protected:
    void SetUp() override {
        PublishStation::SetUp();
        clock_ = paced_ = std::make_shared<publish_test::PeerPacedClock>(kStartMs, 1000000);
        platform::Clock::Install(paced_);
        fs::create_directory(ftpRoot_ / "www_docs");
        tcpPort_ = net_test::FreePort();
        StartPeer([&] { ftp_ = std::make_unique<PyftpdPeer>(ftpRoot_.Path()); });
        StartPeer([&] { http_ = std::make_unique<HttpPeer>(); });
        aprs_ = std::make_unique<AprsListener>();
        udp_ = std::make_unique<DatagramListener>();
    }
    void TearDown() override {
        PublishStation::TearDown();
        ftp_.reset();
        http_.reset();
    }

    // Peers in other processes start and stop in real time.
    void StartPeer(const std::function<void()>& start) {
        paced_->RealTime = true;
        start();
        paced_->RealTime = false;
    }

    std::string Settings() const {
        const std::string http = "http://127.0.0.1:" + std::to_string(http_->Port());
        return platform::tmex::sim::DemoKorvaneIni() + "TCPEnabled=1\r\nTCPPort=" + std::to_string(tcpPort_) +
               "\r\nUDPEnabled=1\r\nUDPAddress=127.0.0.1\r\nUDPPort=" + std::to_string(udp_->Port()) +
               "\r\nDatabaseURL=" + http +
               "/reply/db\r\nLogInterval=10\r\n"
               "[SERVLET]\r\nEnabled=1\r\nLogSuccess=1\r\nURL=" +
               http +
               "/reply/received\r\n"
               "[WUNDERGROUND]\r\nEnabled=1\r\nLogSuccess=1\r\nURL=" +
               http +
               "/reply/success\r\n"
               "[W4U]\r\nEnabled=1\r\nLogSuccess=1\r\nURL=" +
               http +
               "/reply/Logged\r\n"
               "[APRSWXNET]\r\nEnabled=1\r\nLogSuccess=1\r\nAddress=127.0.0.1\r\nPort=" +
               std::to_string(aprs_->Port()) +
               "\r\n[FTP]\r\nFTPUploadEnabled=1\r\nFTPLogSuccess=1\r\nFTPHostName=127.0.0.1\r\nFTPPort=" +
               std::to_string(ftp_->port) +
               "\r\nFTPPASV=1\r\nUploadXML=1\r\nUploadGIFs=1\r\nTimeout=600\r\n[XML]\r\nGenerateEnabled="
               "1\r\n[HTTP]\r\nAddr=127.0.0.1\r\n"; // the TCP feed listens on this machine only
    }

    // The station's requests to the peers in other processes get real time to be answered.
    void PaceWhilePeersWork() {
        TFtpUpload& upload = publishing->Upload();
        TWeatherPosts& posts = publishing->Posts();
        std::vector<net::THttpCli*> clients = {posts.HTTPClientD, posts.HTTPClientWU, posts.HTTPClientW4U,
                                               posts.HTTPClientDB};
        for (net::THttpCli* client : clients)
            client->TimeoutMs = 600000;
        paced_->PeerBusy = [&upload, clients] {
            if (upload.Running()) return true;
            for (net::THttpCli* client : clients)
                if (client->State() != net::httpReady) return true;
            return false;
        };
    }

    void RunMinutes(uint32_t minutes) {
        const int64_t until = paced_->UnixTimeMs() + static_cast<int64_t>(minutes) * kMinuteMs;
        while (paced_->UnixTimeMs() < until)
            platform::EventLoop::Get().RunFor(static_cast<uint32_t>(until - paced_->UnixTimeMs()));
    }

    // The lines korvane.log gained since the last call, without their date and time.
    std::vector<std::string> NewLines() {
        std::string log = Read("korvane.log");
        std::vector<std::string> lines;
        for (size_t end = log.find('\n', logRead_); end != std::string::npos;
             end = log.find('\n', logRead_)) {
            std::string line = log.substr(logRead_, end - logRead_);
            logRead_ = end + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line.size() > 20 ? line.substr(20) : line);
        }
        return lines;
    }

    // The lines that match none of the patterns.
    static std::vector<std::string> Unexpected(const std::vector<std::string>& lines,
                                               const std::vector<std::string>& patterns) {
        std::vector<std::string> out;
        for (const std::string& line : lines) {
            bool known = false;
            for (const std::string& p : patterns)
                known = known || std::regex_match(line, std::regex(p));
            if (!known) out.push_back(line);
        }
        return out;
    }

    static int Count(const std::vector<std::string>& lines, const std::string& prefix) {
        int n = 0;
        for (const std::string& line : lines)
            n += line.rfind(prefix, 0) == 0;
        return n;
    }

    // 2026-12-06 14:03:09 CET
    static constexpr int64_t kStartMs = korvane_test::kDefaultStartMs;

    std::shared_ptr<publish_test::PeerPacedClock> paced_;
    ftp_test::TempDir ftpRoot_;
    uint16_t tcpPort_ = 0;
    std::unique_ptr<PyftpdPeer> ftp_;
    std::unique_ptr<HttpPeer> http_;
    std::unique_ptr<AprsListener> aprs_;
    std::unique_ptr<DatagramListener> udp_;
    size_t logRead_ = 0;
};

// What every interval logs while all is well.
const std::vector<std::string> kSuccessLines = {
    R"(FTP: Upload of .* successful)", R"(FTP: \d+ files uploaded OK)", R"(POST to Java servlet: OK)",
    R"(POST to Weather Underground: OK)", R"(POST to Weather4You: OK)", R"(APRS data sent: OK)",
    // the station's own routine lines
    R"(\d+ samples in .*)", R"(\d\d\.\d\d\.\d\d+ SERVER: Resetting statistics\.\.\.)"};

TEST_F(LoopbackRun, EightHoursOfEveryServiceThenEachPeerFailsOnceAndComesBack) {
    ASSERT_GT(ftp_->port, 0) << "pyftpdlib did not start";
    ASSERT_GT(http_->Port(), 0) << "the HTTP peer did not start";
    Write("korvane.ini", Settings());
    Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
    // The graphs are the owner's to save; the upload sends what is there.
    fs::create_directories(Path("HTML"));
    for (const char* graph :
         {"windhist.gif", "dirhist.gif", "temphist.gif", "dpwchist.gif", "rainhist.gif", "humdhist.gif"})
        ftp_test::WriteRaw(Path(std::string("HTML/") + graph), ftp_test::Pattern(20000, 3));
    Start();
    PaceWhilePeersWork();
    RunMinutes(1);
    ASSERT_TRUE(form_->TCPRunning && form_->UDPRunning) << publish_test::MemoText(*form_);
    auto first = std::make_unique<FeedClient>(tcpPort_);
    FeedClient second(tcpPort_);
    NewLines();

    // Eight hours, 14:04 to 22:04: 48 intervals of ten minutes.
    unsigned samples = SampleCount;
    RunMinutes(8 * 60);
    std::vector<std::string> lines = NewLines();
    std::vector<std::string> allowed = kSuccessLines;
    allowed.push_back(R"(TCP: Client 127\.0\.0\.1 connected)");
    allowed.push_back(R"(TCP: 1 more client\(s\) connected and 0 disconnected in a run)"); // the second
    EXPECT_EQ(Unexpected(lines, allowed), std::vector<std::string>{});
    EXPECT_EQ(Count(lines, "FTP: 8 files uploaded OK"), 48);
    EXPECT_EQ(Count(lines, "POST to Java servlet: OK"), 48);
    EXPECT_EQ(Count(lines, "POST to Weather Underground: OK"), 48);
    EXPECT_EQ(Count(lines, "POST to Weather4You: OK"), 48);
    EXPECT_EQ(Count(lines, "APRS data sent: OK"), 48);
    EXPECT_EQ(aprs_->Packets(), 48);
    int dbPosts = 0;
    for (const std::string& request : http_->Requests())
        dbPosts += request.rfind("POST /reply/db ", 0) == 0;
    EXPECT_EQ(dbPosts, 48);
    EXPECT_EQ(ftp_test::ReadRaw(ftpRoot_ / "www_docs/weather.html"), Read("HTML/weather.html"));
    EXPECT_EQ(ftp_test::ReadRaw(ftpRoot_ / "www_docs/weather.xml"), Read("HTML/weather.xml"));
    EXPECT_EQ(ftp_test::ReadRaw(ftpRoot_ / "www_docs/humdhist.gif"), Read("HTML/humdhist.gif"));
    EXPECT_GT(first->Lines(), 8 * 3600 * 9 / 10);
    EXPECT_GT(second.Lines(), 8 * 3600 * 9 / 10);
    EXPECT_GT(udp_->Datagrams(), 0);
    EXPECT_GT(SampleCount, samples);

    // Each peer in turn goes away for half an hour (three intervals), then comes back.
    struct Outage {
        const char* what;
        std::function<void()> stop, restart;
        std::vector<std::string> failures; // logged once each
        std::vector<std::string> recovered;
    };
    const uint16_t ftpPort = static_cast<uint16_t>(ftp_->port), httpPort = http_->Port(),
                   aprsPort = aprs_->Port(), udpPort = udp_->Port();
    int datagrams = 0;
    std::vector<Outage> outages = {
        {"FTP server",
         [&] { StartPeer([&] { ftp_.reset(); }); },
         [&] { StartPeer([&] { ftp_ = std::make_unique<PyftpdPeer>(ftpRoot_.Path(), ftpPort); }); },
         {"FTP: Error uploading, aborting... "},
         {"FTP: 8 files uploaded OK"}},
        {"HTTP listener",
         [&] { StartPeer([&] { http_.reset(); }); },
         [&] { StartPeer([&] { http_ = std::make_unique<HttpPeer>(httpPort); }); },
         {"POST/SERVLET: Error: ", "POST/WU: Error: ", "POST/W4U: Error: ", "DATABASE: Error: "},
         {"POST to Java servlet: OK", "POST to Weather Underground: OK", "POST to Weather4You: OK"}},
        {"APRS listener",
         [&] { aprs_.reset(); },
         [&] { aprs_ = std::make_unique<AprsListener>(aprsPort); },
         {"APRS: Error connecting to server: "},
         {"APRS data sent: OK"}},
        {"TCP client",
         [&] { first.reset(); },
         [&] { first = std::make_unique<FeedClient>(tcpPort_); },
         {"TCP: Client 127.0.0.1 disconnected"},
         {"TCP: Client 127.0.0.1 connected"}},
        {"UDP listener", // a datagram to nobody is not an error the sender hears of
         [&] { udp_.reset(); },
         [&] {
             udp_ = std::make_unique<DatagramListener>(udpPort);
             datagrams = 0;
         },
         {},
         {}},
    };
    for (Outage& outage : outages) {
        SCOPED_TRACE(outage.what);
        samples = SampleCount;
        outage.stop();
        RunMinutes(30);
        lines = NewLines();
        std::vector<std::string> expected = kSuccessLines;
        for (const std::string& failure : outage.failures) {
            EXPECT_EQ(Count(lines, failure), 1) << failure;
            expected.push_back(std::regex_replace(failure, std::regex(R"([.()])"), R"(\$&)") + ".*");
        }
        EXPECT_EQ(Unexpected(lines, expected), std::vector<std::string>{});
        EXPECT_GT(SampleCount, samples) << "the reading went on";
        outage.restart();
        RunMinutes(10);
        lines = NewLines();
        expected = kSuccessLines;
        expected.push_back(R"(TCP: Client 127\.0\.0\.1 connected)");
        expected.push_back(R"((FTP|POST/\w+|DATABASE|APRS): OK again after \d+ failed attempts)");
        EXPECT_EQ(Unexpected(lines, expected), std::vector<std::string>{});
        for (const std::string& success : outage.recovered)
            EXPECT_GE(Count(lines, success), 1) << success;
    }
    EXPECT_GT(udp_->Datagrams(), datagrams);
    EXPECT_GT(first->Lines(), 0);
}

} // namespace
