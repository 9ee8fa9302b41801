// The APRS report against a scripted APRS-IS listener of the test (127.0.0.1), with a short step
// interval: the lines on the wire, the proxy's address line (sent only to a proxy of more than three
// characters), the success line, the early close on the echo (and not on a line that only looks like
// it), a report taken without an echo, WXNOW.TXT, a report asked for while one runs, and failures: a
// silent server, a server that is no APRS-IS server, a connection lost before or after the packet, a
// packet still queued when the connection ends, a server that streams.
#include <gtest/gtest.h>

#include "platform/winsock/Winsock.h"
#include "publish/AprsReport.h"
#include "tests/publish/PublishTestSupport.h"

using publish_test::PeerStationTest;

namespace {

// One APRS-IS connection at a time on 127.0.0.1: it records what it reads and may answer.
class AprsListener {
public:
    // receiveBuffer: the accepted connection's receive buffer, when it should hold little.
    explicit AprsListener(int receiveBuffer = 0) {
        listener_ = net_test::RawListen(port_);
        if (receiveBuffer > 0)
            ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    ~AprsListener() {
        if (client_ >= 0) ::close(client_);
        ::close(listener_);
    }
    std::string Port() const { return std::to_string(port_); }
    // Accepts the connection when it has come, without reading; true once accepted.
    bool Accept() {
        if (client_ >= 0 || closed_) return client_ >= 0;
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) return false;
        client_ = ::accept(listener_, nullptr, nullptr);
        net_test::SetNonBlocking(client_);
        return true;
    }
    // Accepts and reads what is there; true once the client has closed.
    bool Poll() {
        if (client_ < 0 && !Accept()) return false;
        if (closed_) return true;
        closed_ = !net_test::DrainInto(client_, received_);
        return closed_;
    }
    bool Accepted() const { return client_ >= 0; }
    void Answer(const std::string& text) { (void)!::write(client_, text.data(), text.size()); }
    // Ends the connection: in order (FIN), or with a reset.
    void Close(bool reset) {
        if (reset) {
            linger hard{1, 0};
            ::setsockopt(client_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        ::close(client_);
        client_ = -1;
        closed_ = true;
    }
    // Sends as much of an endless feed of other stations' packets as the connection takes now.
    void Stream() {
        static const std::string kBlock = [] {
            std::string block;
            while (block.size() < 65536)
                block += "N0CALL>APRS,TCPIP*,qAC,T2TEST:>streaming the whole network\r\n";
            return block;
        }();
        ssize_t n;
        while (client_ >= 0 && !closed_ &&
               (n = ::send(client_, kBlock.data(), kBlock.size(), MSG_NOSIGNAL)) > 0)
            streamed_ += static_cast<size_t>(n);
    }
    size_t Streamed() const { return streamed_; }
    const std::string& Received() const { return received_; }

private:
    uint16_t port_ = 0;
    int listener_ = -1, client_ = -1;
    bool closed_ = false;
    std::string received_;
    size_t streamed_ = 0;
};

// A name service of the test's own, for as long as it lives: names of up to three characters are
// 127.0.0.1, the rest are not found.
struct ShortNamesAreLoopback {
    ShortNamesAreLoopback() {
        platform::winsock::ClearHostCache();
        platform::winsock::SetNameResolver([](const std::string& name, std::vector<in_addr>& addresses) {
            if (name.size() > 3) return platform::winsock::WSAHOST_NOT_FOUND;
            addresses.push_back(in_addr{htonl(INADDR_LOOPBACK)});
            return 0;
        });
    }
    ~ShortNamesAreLoopback() {
        platform::winsock::SetNameResolver(nullptr);
        platform::winsock::ClearHostCache();
    }
};

class AprsReportTest : public PeerStationTest {
protected:
    TMainForm& StartReporting(const std::string& aprs) {
        TMainForm& form = StartWith("[APRSWXNET]\r\n" + aprs);
        report_ = std::make_unique<TAprsReport>(form);
        report_->APRSTimer->SetInterval(kStepMs);
        return form;
    }
    void TearDown() override {
        report_.reset();
        PeerStationTest::TearDown();
    }

    static constexpr uint32_t kStepMs = 300;
    std::unique_ptr<TAprsReport> report_;
};

const std::string kEmptyPacket =
    "CW0xxx>APRS,TCPXX*:@061303z1234.56N/01234.56W_.../...g...t...P...r...p...h..b.....a1w";

} // namespace

TEST_F(AprsReportTest, LoginThenPacketThenCloseOneStepApartAndEachReportTakenLogsTheSuccessLineOnce) {
    TMainForm& form = StartReporting("Port=0\r\nLogSuccess=1\r\n");
    form.DbgCheckBox->SetChecked(true); // an echo is logged as the server's response
    // A server that says nothing fails; one that speaks APRS-IS takes the report, echoed or not, and
    // each report taken logs the success line once. A line from our call that is not the report is no
    // echo, nor is our report from a call that ends with ours; the echo may come by another path.
    const std::string payload = kEmptyPacket.substr(kEmptyPacket.find(':'));
    const std::vector<std::string> answers = {"",
                                              "# logresp CW0xxx unverified\r\n",
                                              "CW0xxx>APRS,TCPXX*:>not the report " + payload + "\r\n",
                                              "KCW0xxx>APRS,TCPXX*" + payload + "\r\n",
                                              "CW0xxx>APRS,TCPXX*,qAX,CWOP-2" + payload + "\r\n",
                                              "echo"};
    for (const std::string& answer : answers) {
        AprsListener peer;
        StationSettings.APRSAddress = "127.0.0.1";
        StationSettings.APRSPort = peer.Port();
        report_->PostToAPRS();
        EXPECT_FALSE(form.PostAPRS->Enabled());
        ASSERT_TRUE(RunUntil([&] {
            peer.Poll();
            return peer.Received().find("a1w\r\n") != std::string::npos;
        })) << Log();
        if (!answer.empty()) peer.Answer("# aprsc 2.1.14 test\r\n");
        peer.Answer(answer == "echo" ? kEmptyPacket + "\r\n" : answer);
        ASSERT_TRUE(RunUntil([&] { return peer.Poll(); })) << Log();
        EXPECT_EQ(peer.Received(), "user CW0xxx pass -1 vers Korvane " + form.sBuild->Caption() + "\r\n" +
                                       kEmptyPacket + "\r\n");
        ASSERT_TRUE(RunUntil([&] { return form.PostAPRS->Enabled(); }));
    }
    EXPECT_EQ(Read("DATA/WXNOW.TXT"), kEmptyPacket);
    EXPECT_EQ(CountLog("APRS: Error sending data: no answer from the server"), 1) << Log();
    EXPECT_EQ(CountLog("APRS: OK again after 1 failed attempt"), 1) << Log();
    EXPECT_EQ(CountLog("APRS data sent: OK"), 5) << Log();
    EXPECT_EQ(CountLog("APRS: Response: CW0xxx>"), 2) << Log(); // the two echoes
    EXPECT_EQ(CountLog("APRS: Error"), 1) << Log();
}

// A server of the network passes a packet on to everyone but its sender: it greets, answers the login
// and then says nothing. Its report got through, whoever ends the connection in order, and logs the
// success line (LogSuccess); one lost after the packet, or ended before it, did not.
TEST_F(AprsReportTest, AServerThatTakesThePacketWithoutEchoingItGotTheReport) {
    TMainForm& form = StartReporting("Address=127.0.0.1\r\nPort=0\r\nLogSuccess=1\r\n");
    enum class End { ByTheStation, ByTheServer, Reset, BeforeThePacket };
    for (End end : {End::BeforeThePacket, End::ByTheStation, End::Reset, End::ByTheServer}) {
        AprsListener peer;
        StationSettings.APRSPort = peer.Port();
        report_->PostToAPRS();
        ASSERT_TRUE(RunUntil([&] { return peer.Poll() || peer.Accepted(); })) << Log();
        peer.Answer("# aprsc 2.1.14 test\r\n");
        ASSERT_TRUE(RunUntil([&] {
            peer.Poll();
            return peer.Received().find("\r\n") != std::string::npos;
        })) << Log();
        peer.Answer("# logresp CW0xxx unverified, server TEST\r\n");
        if (end == End::BeforeThePacket) {
            peer.Close(false);
        } else {
            ASSERT_TRUE(RunUntil([&] {
                peer.Poll();
                return peer.Received().find("a1w\r\n") != std::string::npos;
            })) << Log();
            if (end == End::ByTheServer) peer.Close(false);
            if (end == End::Reset) peer.Close(true);
        }
        ASSERT_TRUE(RunUntil([&] { return form.PostAPRS->Enabled(); })) << Log();
        if (end == End::ByTheStation) {
            EXPECT_TRUE(peer.Poll());
            EXPECT_EQ(CountLog("APRS: OK again after 1 failed attempt"), 1) << Log();
        }
    }
    EXPECT_EQ(CountLog("APRS: Error sending data: the connection ended before the report was sent"), 1)
        << Log();
    EXPECT_EQ(CountLog("APRS: Error sending data: the connection was lost after the report: "), 1) << Log();
    EXPECT_EQ(CountLog("APRS: OK again after 1 failed attempt"), 2) << Log();
    EXPECT_EQ(CountLog("APRS data sent: OK"), 2) << Log();
    EXPECT_EQ(CountLog("APRS"), 6) << Log();
}

// Another kind of server at the address and port (an FTP server, say) greets and answers every line,
// but not as an APRS-IS server: the report failed, and the line shows how its reply began. A greeting
// that begins with '#' is the server's own line, even before its line ends.
TEST_F(AprsReportTest, AServerThatIsNoAprsIsServerDidNotTakeTheReport) {
    TMainForm& form = StartReporting("Address=127.0.0.1\r\nPort=0\r\nLogSuccess=1\r\n");
    for (const std::string greeting :
         {"\r\n220 (FTP test server)\r\n", "SSH-2.0-test\r\n", "# aprsc 2.1.14"}) {
        AprsListener peer;
        StationSettings.APRSPort = peer.Port();
        report_->PostToAPRS();
        ASSERT_TRUE(RunUntil([&] { return peer.Accept(); })) << Log();
        peer.Answer(greeting);
        ASSERT_TRUE(RunUntil([&] {
            peer.Poll();
            return peer.Received().find("a1w\r\n") != std::string::npos;
        })) << Log();
        if (greeting[0] != '#') peer.Answer("500 Unknown command.\r\n500 Unknown command.\r\n");
        ASSERT_TRUE(RunUntil([&] { return form.PostAPRS->Enabled(); })) << Log();
    }
    EXPECT_EQ(CountLog("APRS: Error sending data: the server does not answer as an APRS-IS server; its reply "
                       "begins \"220 (FTP test server)\""),
              1)
        << Log();
    // One run of one cause: the second greeting is not told, however it begins.
    EXPECT_EQ(CountLog("does not answer as an APRS-IS server"), 1) << Log();
    EXPECT_EQ(CountLog("APRS: OK again after 2 failed attempts"), 1) << Log();
    EXPECT_EQ(CountLog("APRS data sent: OK"), 1) << Log();
}

// The failure line shows the beginning of the reply, printable, at most 80 bytes of it.
TEST_F(AprsReportTest, TheReplyOfAServerThatIsNoAprsIsServerIsShownPrintableAndCut) {
    AprsListener peer;
    TMainForm& form = StartReporting("Address=127.0.0.1\r\nPort=" + peer.Port() + "\r\n");
    report_->PostToAPRS();
    ASSERT_TRUE(RunUntil([&] { return peer.Accept(); })) << Log();
    peer.Answer("220-" + std::string(70, 'x') + "\x01\xe9" + std::string(20, 'y') + "\r\n");
    ASSERT_TRUE(RunUntil([&] {
        peer.Poll();
        return form.PostAPRS->Enabled();
    })) << Log();
    EXPECT_EQ(CountLog("its reply begins \"220-" + std::string(70, 'x') + "??" + std::string(4, 'y') + "\""),
              1)
        << Log();
}

// A proxy of two or three characters is connected to, but only a longer one is sent the server's address.
TEST_F(AprsReportTest, AProxyOfTwoOrThreeCharactersIsNotSentTheAddress) {
    ShortNamesAreLoopback names;
    TMainForm& form = StartReporting("Address=rotate.aprs.example\r\nLogSuccess=1\r\n");
    for (const char* proxy : {"px", "pxy"}) {
        AprsListener peer;
        form.APRSProxy = proxy;
        StationSettings.APRSPort = peer.Port();
        report_->PostToAPRS();
        ASSERT_TRUE(RunUntil([&] { return peer.Accept(); })) << proxy << Log();
        peer.Answer("# aprsc 2.1.14 test\r\n");
        ASSERT_TRUE(RunUntil([&] {
            peer.Poll();
            return form.PostAPRS->Enabled();
        })) << Log();
        EXPECT_EQ(peer.Received().rfind("user CW0xxx pass -1 vers Korvane ", 0), 0u) << proxy;
    }
    EXPECT_EQ(CountLog("APRS data sent: OK"), 2) << Log();
}

// The packet counts only when it has gone: one still queued behind a long address line to a proxy that
// reads nothing, when the last step closes, did not get through.
TEST_F(AprsReportTest, APacketStillQueuedWhenTheConnectionEndsDidNotGetThrough) {
    AprsListener peer(4096);
    TMainForm& form = StartReporting("Proxy=127.0.0.1\r\nPort=" + peer.Port() + "\r\nLogSuccess=1\r\n");
    StationSettings.APRSAddress = std::string(32 << 20, 'a');
    report_->PostToAPRS();
    ASSERT_TRUE(RunUntil([&] { return peer.Accept(); })) << Log();
    peer.Answer("# aprsc 2.1.14 test\r\n");
    ASSERT_TRUE(RunUntil([&] { return form.PostAPRS->Enabled(); }, 30000)) << Log();
    EXPECT_EQ(CountLog("APRS: Error sending data: the report did not leave before the connection ended"), 1)
        << Log();
    EXPECT_EQ(CountLog("APRS data sent: OK"), 0) << Log();
}

TEST_F(AprsReportTest, ProxyIsSentTheAddressAndAnEchoWithLogSuccessClosesAtOnce) {
    AprsListener peer;
    TMainForm& form = StartReporting("Proxy=127.0.0.1\r\nAddress=rotate.aprs.example\r\nPort=" + peer.Port() +
                                     "\r\nLogSuccess=1\r\n");
    report_->PostToAPRS();
    ASSERT_TRUE(RunUntil([&] {
        peer.Poll();
        return peer.Received().find("a1w\r\n") != std::string::npos;
    }));
    EXPECT_EQ(peer.Received().rfind("rotate.aprs.example\r\nuser CW0xxx pass -1 vers Korvane ", 0), 0u);
    peer.Answer("# logresp CW0xxx unverified\r\n" + kEmptyPacket + "\r\n");
    // Closed well before the third step would close it.
    EXPECT_TRUE(RunUntil([&] { return peer.Poll(); }, kStepMs / 2));
    EXPECT_EQ(CountLog("APRS data sent: OK"), 1);
    EXPECT_TRUE(form.PostAPRS->Enabled());
}

// A server that streams is read only as far as an echo needs, then closed: long before the steps end.
TEST_F(AprsReportTest, AServerThatStreamsIsClosedAfterTheFirstKilobytes) {
    AprsListener peer;
    TMainForm& form = StartReporting("Address=127.0.0.1\r\nPort=" + peer.Port() + "\r\n");
    report_->PostToAPRS();
    ASSERT_TRUE(RunUntil([&] {
        peer.Poll();
        peer.Stream();
        return form.PostAPRS->Enabled();
    })) << Log();
    EXPECT_EQ(CountLog("APRS: Error sending data: the server sent more than 4096 bytes before the report"), 1)
        << Log();
    EXPECT_EQ(peer.Received().find("user "), std::string::npos); // closed before the first step
    RecordProperty("streamed_bytes", static_cast<int>(peer.Streamed()));
}

TEST_F(AprsReportTest, AReportAskedForWhileOneRunsIsSkipped) {
    AprsListener peer;
    StartReporting("Address=127.0.0.1\r\nPort=" + peer.Port() + "\r\n");
    report_->PostToAPRS();
    ASSERT_TRUE(RunUntil([&] {
        peer.Poll();
        return !peer.Received().empty();
    }));
    report_->PostToAPRS();
    EXPECT_EQ(CountLog("APRS: Error sending data: the previous report is still running"), 1);
    ASSERT_TRUE(RunUntil([&] { return peer.Poll(); }));
    size_t logins = 0;
    for (size_t at = peer.Received().find("user "); at != std::string::npos;
         at = peer.Received().find("user ", at + 1))
        ++logins;
    EXPECT_EQ(logins, 1u);
    EXPECT_EQ(peer.Received().substr(peer.Received().size() - kEmptyPacket.size() - 2),
              kEmptyPacket + "\r\n");
}

TEST_F(AprsReportTest, RefusedConnectionsAndABadPortAreToldAndTheMenuItemComesBack) {
    uint16_t port = net_test::FreePort();
    TMainForm& form = StartReporting("Address=127.0.0.1\r\nPort=" + std::to_string(port) + "\r\n");
    for (int i = 0; i < 2; ++i) {
        report_->PostToAPRS();
        ASSERT_TRUE(RunUntil([&] { return form.PostAPRS->Enabled(); })) << Log();
    }
    EXPECT_EQ(CountLog("APRS: Error connecting to server: "), 1) << Log();
    EXPECT_EQ(CountLog("APRS: Error"), 1) << Log();
    // A report that gets through ends the run of failures; the next failure is told again.
    AprsListener peer;
    StationSettings.APRSPort = peer.Port();
    report_->PostToAPRS();
    ASSERT_TRUE(RunUntil([&] {
        peer.Poll();
        return peer.Received().find("a1w\r\n") != std::string::npos;
    }));
    peer.Answer(kEmptyPacket + "\r\n");
    ASSERT_TRUE(RunUntil([&] { return peer.Poll() && form.PostAPRS->Enabled(); }));
    StationSettings.APRSPort = "2x3";
    report_->PostToAPRS();
    EXPECT_EQ(CountLog("APRS: Error sending data: "), 1) << Log();
    EXPECT_TRUE(form.PostAPRS->Enabled());
    StationSettings.APRSPort = peer.Port();
    StationSettings.APRSUserID = "CW0xxx\r\n#filter";
    report_->PostToAPRS();
    report_->PostToAPRS();
    EXPECT_TRUE(form.PostAPRS->Enabled());
    EXPECT_EQ(CountLog("APRS: Error sending data: [APRSWXNET] settings hold a line break"),
              1); // once per cause
}
