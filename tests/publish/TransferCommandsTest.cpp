// The keeper's publishing commands through the station's socket on the demo station: CreateHTML writes
// the pages and answers with its message; the upload (to pyftpdlib) and the posts (to the scripted HTTP
// peer) answer when their transfer ends, with its lines and how it ended, while the station goes on; an
// item that is disabled is refused; an answer whose station or client goes first is safe.
#include <gtest/gtest.h>

#include <filesystem>

#include "publish/AprsReport.h"
#include "publish/FtpUpload.h"
#include "support/GivesCommands.h"
#include "tests/publish/PublishStation.h"
#include "tests/publish/PublishTestSupport.h"

namespace {

namespace fs = std::filesystem;
using korvane_test::RawCommandClient;
using publish_test::HttpPeer;

// The demo station on a clock that gives a peer real time while a transfer to it runs.
class TransferCommandTest : public korvane_test::GivesCommands<publish_test::PublishStation> {
protected:
    void SetUp() override {
        PublishStation::SetUp();
        paced_ = InstallPacedClock();
        paced_->PeerBusy = [this] {
            if (!publishing) return false;
            for (TTransferCommand t : {TTransferCommand::APRS, TTransferCommand::Servlet,
                                       TTransferCommand::WU, TTransferCommand::W4U, TTransferCommand::Upload})
                if (publishing->TransferRunning(t)) return true;
            return false;
        };
    }
    void TearDown() override {
        PublishStation::TearDown();
        ftp_.reset();
        http_.reset();
    }
    // The demo station with these korvane.ini lines after its [Weather] section's.
    TMainForm& StartWith(const std::string& sections) {
        return StartDemo("SampleInterval=3600000\r\n" + sections);
    }
    void StartFtpPeer() {
        paced_->RealTime = true; // the peer starts in real time
        ftp_ = std::make_unique<ftp_test::PyftpdPeer>(root_.Path());
        paced_->RealTime = false;
        ASSERT_GT(ftp_->port, 0) << "pyftpdlib did not start";
        fs::create_directory(root_ / "www_docs");
    }
    HttpPeer& StartHttpPeer() {
        paced_->RealTime = true;
        http_ = std::make_unique<HttpPeer>();
        paced_->RealTime = false;
        EXPECT_GT(http_->Port(), 0) << "the HTTP peer did not start";
        return *http_;
    }
    // Waits until the peer has read `count` requests. The peer is a process of its own, which a loaded
    // machine may keep from reading for seconds: the station's clock keeps pace with real time meanwhile,
    // so no deadline of a post runs out in station time first, and the wait gives up after 30 s of it.
    bool AwaitRequests(size_t count) {
        HttpPeer& peer = *http_;
        platform::RealClock real;
        const uint64_t start = real.MonotonicMs();
        paced_->RealTime = true;
        platform::EventLoop::Get().RunUntil(
            [&] { return peer.Requests().size() >= count || real.MonotonicMs() - start >= 30000; }, 60000);
        paced_->RealTime = false;
        return peer.Requests().size() == count;
    }
    // A client that has asked for the post `command`, once the HTTP peer has read the post's request
    // (none when it has not).
    std::unique_ptr<RawCommandClient> Asked(const std::string& command) {
        const size_t before = http_->Requests().size();
        auto client = std::make_unique<RawCommandClient>(SocketPath());
        client->Send(command + "\n");
        return AwaitRequests(before + 1) ? std::move(client) : nullptr;
    }
    // The demo station posting W4U to the HTTP peer's /silent (every `w4uInterval` minutes) and WU to its
    // `wuPath`, with a client that waits for a W4U post the peer has read (none when it has not).
    std::unique_ptr<RawCommandClient> W4UPending(const std::string& w4uInterval, const std::string& wuPath) {
        HttpPeer& peer = StartHttpPeer();
        StartWith("[W4U]\r\nURL=" + peer.Url("/silent") + "\r\nInterval=" + w4uInterval +
                  "\r\n[WUNDERGROUND]\r\nURL=" + peer.Url(wuPath) + "\r\n");
        return Asked("PostToWeather4U");
    }
    std::string FtpSettings(bool logSuccess) const {
        return "[FTP]\r\nFTPHostName=127.0.0.1\r\nFTPPort=" + std::to_string(ftp_->port) +
               "\r\nFTPLogSuccess=" + (logSuccess ? "1" : "0") + "\r\n";
    }
    // A line without the time a log line begins with.
    static std::string Timeless(const std::string& line) {
        const bool timed = line.size() > 9 && line[2] == ':' && line[5] == ':' && line[8] == ' ';
        return timed ? line.substr(9) : line;
    }

    std::shared_ptr<publish_test::PeerPacedClock> paced_;
    ftp_test::TempDir root_;
    std::unique_ptr<ftp_test::PyftpdPeer> ftp_;
    std::unique_ptr<HttpPeer> http_;
};

TEST_F(TransferCommandTest, CreateHTMLWritesThePagesAndAnswersWithItsMessage) {
    StartWith("");
    Write("TEMPLATE/current.html", "<p><#abcTemperature></p>\r\n");
    EXPECT_EQ(Ran("CreateHTML"), std::vector<std::string>{"Created WEATHER.HTML and CURRENT.HTML"});
    EXPECT_FALSE(Read("HTML/weather.html").empty());
    const std::string page = Read("HTML/current.html");
    EXPECT_EQ(page.find("<#"), std::string::npos) << page;
    EXPECT_EQ(page.rfind("<p>", 0), 0u) << page;

    // The first template's page cannot be written: the log line and the message say so.
    fs::remove(Path("HTML/current.html"));
    fs::create_directory(Path("HTML/current.html"));
    const std::vector<std::string> told = Ran("createhtml");
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(Timeless(told[0]), "SERVER: Cannot write " + Path("HTML/current.html") + ": Is a directory");
    EXPECT_EQ(told[1], "Created WEATHER.HTML");
}

TEST_F(TransferCommandTest, AnUploadAnswersWhenItEndsWithItsLinesOrOneOfItsOwn) {
    StartFtpPeer();
    StartWith(FtpSettings(true));
    Write("TEMPLATE/current.html", "<p>page</p>\r\n");
    Ran("CreateHTML"); // a template page, uploaded after weather.html
    const std::vector<std::string> told = Ran("UploadToHomepage");
    ASSERT_GE(told.size(), 3u);
    EXPECT_EQ(Timeless(told[0]), "FTP: Upload of " + Path("HTML/weather.html") + " successful");
    EXPECT_EQ(Timeless(told[1]), "FTP: Upload of " + Path("HTML/current.html") + " successful");
    EXPECT_EQ(Timeless(told.back()), "FTP: 2 files uploaded OK");
    EXPECT_EQ(ftp_test::ReadRaw(root_ / "www_docs/current.html"), Read("HTML/current.html"));

    // Without FTPLogSuccess the log says nothing of it: the answer's own line does.
    StationSettings.FTPLogSuccess = false;
    EXPECT_EQ(Ran("UploadToHomepage"), std::vector<std::string>{"FTP: 2 files uploaded OK"});
}

TEST_F(TransferCommandTest, AnUploadThatFailsAnswersWhyWithAStatusOfItsOwnEachTime) {
    StartFtpPeer();
    StartWith(FtpSettings(false) + "FTPUserName=nobody\r\n");
    for (int attempt = 0; attempt < 2; ++attempt) { // the second failure is not logged again
        const TCommandAnswer answer = Give("UploadToHomepage");
        EXPECT_EQ(answer.status, kCommandTransferFailed);
        ASSERT_FALSE(answer.lines.empty());
        EXPECT_NE(answer.lines.back().find("FTP: Error uploading, aborting... "), std::string::npos)
            << answer.lines.back();
    }
    EXPECT_EQ(CountLog("FTP: Error uploading, aborting..."), 1);
}

TEST_F(TransferCommandTest, EachPostAnswersHowItEndedAndTheSecondFailureToo) {
    HttpPeer& peer = StartHttpPeer();
    StartWith("[WUNDERGROUND]\r\nURL=" + peer.Url("/reply/success") + "\r\n[W4U]\r\nURL=" +
              peer.Url("/reply/Logged") + "\r\nLogSuccess=1\r\n[SERVLET]\r\nURL=" + peer.Url("/ok") + "\r\n");
    EXPECT_EQ(Ran("PosttoWeatherUnderground"), std::vector<std::string>{"POST to Weather Underground: OK"});
    const std::vector<std::string> w4u = Ran("PostToWeather4U"); // its success line is logged
    ASSERT_EQ(w4u.size(), 1u);
    EXPECT_EQ(Timeless(w4u[0]), "POST to Weather4You: OK");
    StationSettings.ServletLogSuccess = false;
    EXPECT_EQ(Ran("PostServlet"), std::vector<std::string>{"POST to Java servlet: OK"});
    ASSERT_EQ(peer.Requests().size(), 3u);

    StationSettings.WUURL = peer.Url("/bad");
    for (int attempt = 0; attempt < 2; ++attempt) {
        const TCommandAnswer answer = Give("PosttoWeatherUnderground");
        EXPECT_EQ(answer.status, kCommandTransferFailed);
        ASSERT_EQ(answer.lines.size(), 1u);
        EXPECT_EQ(Timeless(answer.lines[0]), "POST/WU: Error: 400 Bad Request");
    }
    EXPECT_EQ(CountLog("POST/WU: Error: 400 Bad Request"), 1);
}

TEST_F(TransferCommandTest, APRSThatCannotConnectAnswersWhy) {
    StartWith("[APRSWXNET]\r\nAddress=127.0.0.1\r\nPort=" + std::to_string(net_test::FreePort()) + "\r\n");
    const TCommandAnswer answer = Give("PostAPRS");
    EXPECT_EQ(answer.status, kCommandTransferFailed);
    ASSERT_FALSE(answer.lines.empty());
    EXPECT_NE(answer.lines.back().find("APRS: Error connecting to server: "), std::string::npos)
        << answer.lines.back();
    EXPECT_TRUE(form_->PostAPRS->Enabled());
}

// A server of the network on the station's loop: it greets, answers a login and takes packets, and
// echoes none of them back to their sender, as the network's servers do.
class AprsIsPeer {
public:
    AprsIsPeer() {
        listener_ = net_test::RawListen(port_);
        watch_ = platform::EventLoop::Get().WatchFd(listener_, POLLIN, [this](short) { Accept(); });
    }
    ~AprsIsPeer() {
        platform::EventLoop& loop = platform::EventLoop::Get();
        if (clientWatch_ != 0) loop.UnwatchFd(clientWatch_);
        if (client_ >= 0) ::close(client_);
        loop.UnwatchFd(watch_);
        ::close(listener_);
    }
    uint16_t Port() const { return port_; }
    const std::string& Received() const { return received_; }

private:
    void Accept() {
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0 || client_ >= 0) {
            if (fd >= 0) ::close(fd);
            return;
        }
        client_ = fd;
        Say("# aprsc 2.1.14 test\r\n");
        clientWatch_ = platform::EventLoop::Get().WatchFd(client_, POLLIN, [this](short) { Read(); });
    }
    void Read() {
        const size_t before = received_.size();
        if (!net_test::DrainInto(client_, received_)) {
            platform::EventLoop::Get().UnwatchFd(clientWatch_, true);
            clientWatch_ = 0;
            ::close(client_);
            client_ = -1;
            return;
        }
        if (received_.find("user ", before) != std::string::npos)
            Say("# logresp CW0001 unverified, server TEST\r\n");
    }
    void Say(const std::string& text) { (void)!::send(client_, text.data(), text.size(), MSG_NOSIGNAL); }

    uint16_t port_ = 0;
    int listener_ = -1, client_ = -1, watch_ = 0, clientWatch_ = 0;
    std::string received_;
};

// The network's servers never echo a report to its sender: one taken on a connection that ended in
// order was sent, and the answer names the server; a failure's run ends with its line, and LogSuccess
// logs the success line.
TEST_F(TransferCommandTest, APRSTakenByAServerThatEchoesNothingAnswersThatItWasSent) {
    const uint16_t refused = net_test::FreePort();
    StartWith("[APRSWXNET]\r\nUserID=CW0001\r\nLogSuccess=1\r\nAddress=127.0.0.1\r\nPort=" +
              std::to_string(refused) + "\r\n");
    publishing->Aprs().APRSTimer->SetInterval(1000); // the steps a second apart, not eight
    EXPECT_EQ(Give("PostAPRS").status, kCommandTransferFailed);
    AprsIsPeer server;
    StationSettings.APRSPort = std::to_string(server.Port());
    const TCommandAnswer answer = Give("PostAPRS");
    EXPECT_EQ(answer.status, kCommandRan);
    ASSERT_EQ(answer.lines.size(), 3u);
    EXPECT_EQ(Timeless(answer.lines[0]), "APRS: OK again after 1 failed attempt");
    EXPECT_EQ(Timeless(answer.lines[1]), "APRS data sent: OK");
    EXPECT_EQ(answer.lines[2], "APRS: Report sent to 127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_NE(server.Received().find("\r\nCW0001>APRS,TCPXX*:@"), std::string::npos) << server.Received();
    EXPECT_EQ(CountLog("APRS: Error sending data"), 0);
    EXPECT_EQ(CountLog("APRS data sent: OK"), 1);
    EXPECT_TRUE(form_->PostAPRS->Enabled());
}

// A wrong port that leads to an FTP server: it greets, but not as an APRS-IS server, so the report
// failed, and the answer shows how the server replied.
TEST_F(TransferCommandTest, APRSToAnFtpServerAnswersThatItIsNoAprsIsServer) {
    paced_->RealTime = true; // the peer starts in real time
    ftp_test::VsftpdPeer ftp;
    paced_->RealTime = false;
    ASSERT_GT(ftp.port, 0) << "vsftpd did not start";
    StartWith("[APRSWXNET]\r\nUserID=CW0001\r\nLogSuccess=1\r\nAddress=127.0.0.1\r\nPort=" +
              std::to_string(ftp.port) + "\r\n");
    publishing->Aprs().APRSTimer->SetInterval(1000);
    const TCommandAnswer answer = Give("PostAPRS");
    EXPECT_EQ(answer.status, kCommandTransferFailed);
    ASSERT_EQ(answer.lines.size(), 1u);
    EXPECT_EQ(Timeless(answer.lines[0])
                  .rfind("APRS: Error sending data: the server does not answer as an "
                         "APRS-IS server; its reply begins \"220 ",
                         0),
              0u)
        << answer.lines[0];
    EXPECT_EQ(CountLog("APRS data sent: OK"), 0);
    EXPECT_TRUE(form_->PostAPRS->Enabled());
}

// While a post is pending the station answers other commands, refuses the post's own (its item is
// disabled), and the pending one is answered when its post ends.
TEST_F(TransferCommandTest, APendingPostHoldsNothingBackAndItsItemIsRefused) {
    HttpPeer& peer = StartHttpPeer();
    StartWith("[WUNDERGROUND]\r\nURL=" + peer.Url("/silent") + "\r\nInterval=1\r\n");
    std::unique_ptr<RawCommandClient> first = Asked("PosttoWeatherUnderground");
    ASSERT_TRUE(first) << "the peer did not read the post";
    paced_->PeerBusy = nullptr; // the peer will say nothing: the post's deadline runs out in station time
    const TCommandAnswer refused = Give("PosttoWeatherUnderground");
    EXPECT_EQ(refused.status, kCommandNotTaken);
    EXPECT_EQ(refused.lines,
              std::vector<std::string>{
                  "PosttoWeatherUnderground: its last post is still pending; nothing was done"});
    EXPECT_EQ(Ran("OpenStatusLog").front(), folder_ + "/korvane.log");
    EXPECT_FALSE(first->Ended());
    TCommandAnswer ended;
    ASSERT_TRUE(DecodeAnswer(first->Answer(), ended));
    EXPECT_EQ(ended.status, kCommandTransferFailed);
    ASSERT_FALSE(ended.lines.empty());
    EXPECT_EQ(Timeless(ended.lines.back()).rfind("POST/WU: Error: ", 0), 0u) << ended.lines.back();
    EXPECT_TRUE(form_->PosttoWeatherUnderground->Enabled());
}

// A post's answer gathers its own post's lines alone: another service's post that runs and fails
// meanwhile puts none of its lines in it.
TEST_F(TransferCommandTest, APostsAnswerHasItsOwnLinesAndNoneOfAPostRunningBesideIt) {
    std::unique_ptr<RawCommandClient> w4u = W4UPending("0", "/bad");
    ASSERT_TRUE(w4u) << "the peer did not read the post";
    paced_->RealTime = true; // the W4U post's deadline does not pass while the WU post runs
    const TCommandAnswer wu = Give("PosttoWeatherUnderground");
    paced_->RealTime = false;
    ASSERT_EQ(wu.lines.size(), 1u);
    EXPECT_EQ(Timeless(wu.lines[0]), "POST/WU: Error: 400 Bad Request");
    ASSERT_FALSE(w4u->Pump()) << "the W4U post still runs";

    paced_->PeerBusy = nullptr; // the peer will say nothing more: the W4U post's deadline runs out
    TCommandAnswer ended;
    ASSERT_TRUE(DecodeAnswer(w4u->Answer(180000), ended));
    EXPECT_EQ(ended.status, kCommandTransferFailed);
    ASSERT_EQ(ended.lines.size(), 1u) << ::testing::PrintToString(ended.lines);
    EXPECT_NE(Timeless(ended.lines[0]), ended.lines[0]) << "the line as the log has it";
    EXPECT_EQ(Timeless(ended.lines[0]).rfind("POST/W4U: Error: ", 0), 0u) << ended.lines[0];
}

// The answer of a client that has gone is dropped; one the station cannot give any more, because it
// stops, is "the station stopped" at once.
TEST_F(TransferCommandTest, AClientGoneIsNoHarmAndAStationThatStopsFirstTellsTheOneThatWaits) {
    std::unique_ptr<RawCommandClient> gone = W4UPending("1", "/silent");
    ASSERT_TRUE(gone) << "the peer did not read the post";
    gone->Close();
    std::unique_ptr<RawCommandClient> waiting = Asked("PosttoWeatherUnderground");
    ASSERT_TRUE(waiting) << "the peer did not read the post";
    paced_->PeerBusy = nullptr; // the peer will say nothing: the deadlines run out in station time
    // The first post's deadline (before its next minute) ends it; its answer has nobody to go to.
    ASSERT_TRUE(
        platform::EventLoop::Get().RunUntil([&] { return form_->PostToWeather4U->Enabled(); }, 70000));
    EXPECT_EQ(Ran("OpenStatusLog").front(), folder_ + "/korvane.log");
    EXPECT_FALSE(form_->PosttoWeatherUnderground->Enabled()) << "the second post is still pending";
    waiting->Pump();
    EXPECT_TRUE(waiting->Received().empty());
    form_.reset();
    waiting->Pump();
    EXPECT_EQ(waiting->Received(), "status 1\nthe station stopped before the transfer ended\n");
}

} // namespace
