// The APRS report against a scripted APRS-IS listener of the test (127.0.0.1), with a short step
// interval: the lines on the wire, the proxy's address line, the success line and early close on the
// echo (and not on a line that only looks like it), a report taken without an echo, WXNOW.TXT, a report
// asked for while one runs, and failures: a silent server, a connection lost before or after the
// packet, a server that streams.
#include <gtest/gtest.h>

#include "publish/AprsReport.h"
#include "tests/publish/PublishTestSupport.h"

using publish_test::PeerStationTest;

namespace {

// One APRS-IS connection at a time on 127.0.0.1: it records what it reads and may answer.
class AprsListener {
public:
    AprsListener() { listener_ = net_test::RawListen(port_); }
    ~AprsListener() {
        if (client_ >= 0) ::close(client_);
        ::close(listener_);
    }
    std::string Port() const { return std::to_string(port_); }
    // Accepts and reads what is there; true once the client has closed.
    bool Poll() {
        if (client_ < 0) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0) return false;
            client_ = ::accept(listener_, nullptr, nullptr);
            net_test::SetNonBlocking(client_);
        }
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

TEST_F(AprsReportTest, LoginThenPacketThenCloseOneStepApartAndOnlyTheEchoBringsTheSuccessLine) {
    TMainForm& form = StartReporting("Port=0\r\nLogSuccess=1\r\n");
    // A server that says nothing fails; one that answers takes the report, echoed or not. Only the echo
    // logs the success line: a line from our call that is not the report is no echo, nor is our report
    // from a call that ends with ours; the echo may come by another path.
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
        if (answer == "echo")
            peer.Answer(kEmptyPacket + "\r\n");
        else
            peer.Answer(answer);
        ASSERT_TRUE(RunUntil([&] { return peer.Poll(); })) << Log();
        EXPECT_EQ(peer.Received(), "user CW0xxx pass -1 vers Korvane " + form.sBuild->Caption() + "\r\n" +
                                       kEmptyPacket + "\r\n");
        ASSERT_TRUE(RunUntil([&] { return form.PostAPRS->Enabled(); }));
    }
    EXPECT_EQ(Read("DATA/WXNOW.TXT"), kEmptyPacket);
    EXPECT_EQ(CountLog("APRS: Error sending data: no answer from the server"), 1) << Log();
    EXPECT_EQ(CountLog("APRS: OK again after 1 failed attempt"), 1) << Log();
    EXPECT_EQ(CountLog("APRS data sent: OK"), 2) << Log();
    EXPECT_EQ(CountLog("APRS"), 4) << Log();
}

// A server of the network passes a packet on to everyone but its sender: it greets, answers the login
// and then says nothing. Its report got through, whoever ends the connection in order; one lost after
// the packet, or ended before it, did not.
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
    EXPECT_EQ(CountLog("APRS data sent: OK"), 0) << Log(); // the success line is the echo's
    EXPECT_EQ(CountLog("APRS"), 4) << Log();
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
