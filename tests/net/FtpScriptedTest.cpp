// The FTP client against the scripted server: odd replies, refusals, drops, silence, the order of the
// data connection and the 150 reply, a foreign peer on the data port, and the client's usage errors.
#include <gtest/gtest.h>

#include "tests/net/FtpTestSupport.h"

using namespace net;
using namespace ftp_test;
using net_test::LoopTest;

namespace {

class FtpScriptedTest : public LoopTest {
protected:
    // Starts the scripted server in a mode and logs the client in.
    void Start(const std::string& mode, bool login = true) {
        peer_ = std::make_unique<ScriptedPeer>(mode);
        ASSERT_GT(peer_->port, 0) << "the scripted FTP server did not start (" << kPython << ")";
        client_.HostName = "127.0.0.1";
        client_.Port = std::to_string(peer_->port);
        client_.UserName = "station";
        client_.PassWord = "secret";
        client_.Timeout = 5;
        RecordCommands(client_, commands_);
        if (login) {
            ASSERT_TRUE(client_.Connect()) << client_.ErrorMessage();
        }
    }
    // Puts bytes under a remote name and returns the request's outcome.
    Done Put(const std::string& bytes, bool passive, uint32_t limitMs = 10000) {
        WriteRaw(local_ / "up.bin", bytes);
        client_.SetLocalFileName(local_ / "up.bin");
        client_.HostFileName = "up.bin";
        client_.SetPassive(passive);
        return RunRequest(
            client_, [&] { client_.PutAsync(); }, limitMs);
    }
    std::string Stored() { return ReadRaw(peer_->root / "up.bin"); }
    bool PeerSaid(const std::string& text) {
        return RunUntil([&] { return peer_->process.Output().find(text) != std::string::npos; }, 3000);
    }

    std::unique_ptr<ScriptedPeer> peer_;
    TFtpClient client_;
    std::vector<std::string> commands_;
    TempDir local_;
};

TEST_F(FtpScriptedTest, MultiLineRepliesEndOnlyAtTheirOwnCodeFollowedByABlank) {
    Start("multiline", false);
    std::vector<std::string> shown;
    client_.OnDisplay = [&](TCustomFtpCli*, std::string& text) { shown.push_back(text); };
    Done login = RunRequest(client_, [&] { client_.ConnectAsync(); });
    EXPECT_EQ(login.error, 0);
    // USER was answered "230-... 331 nor this ... 230 Logged in": one reply, a 230, so no PASS.
    EXPECT_FALSE(Sent(commands_, "PASS"));
    EXPECT_EQ(client_.LastResponse(), "230 Logged in");
    EXPECT_NE(std::find(shown.begin(), shown.end(), "< 230 Logged in"), shown.end());
    EXPECT_EQ(std::find(shown.begin(), shown.end(), "< 230-Hello"), shown.end())
        << "continuation lines are not shown";
    client_.HostDirName = "up";
    EXPECT_TRUE(client_.Cwd());
    EXPECT_EQ(client_.LastResponse(), "250 Done");
    EXPECT_TRUE(client_.Quit());
}

TEST_F(FtpScriptedTest, AReplyLineOver4095BytesFailsTheRequestAndTheSessionGoesOn) {
    Start("longline");
    client_.HostDirName = "up";
    EXPECT_FALSE(client_.Cwd());
    EXPECT_EQ(client_.StatusCode(), 500);
    EXPECT_NE(client_.ErrorMessage().find("longer than 4095"), std::string::npos);
    EXPECT_TRUE(client_.Connected());
    EXPECT_TRUE(client_.Pwd()) << "the rest of the long line was dropped, the next reply is read";
    EXPECT_EQ(client_.DirResult(), "/up \"quoted\"");
    EXPECT_TRUE(client_.Quit());
}

TEST_F(FtpScriptedTest, PassiveUploadsWithOrWithoutParenthesesAndAFinalReplyBeforeTheClose) {
    for (const char* mode : {"pasv-noparen", "early226"}) {
        SCOPED_TRACE(mode);
        commands_.clear();
        Start(mode);
        std::string bytes = Pattern(100000, 3);
        Done put = Put(bytes, true);
        EXPECT_EQ(put.rqType, ftpPutAsync);
        EXPECT_EQ(put.error, 0) << client_.ErrorMessage();
        EXPECT_TRUE(PeerSaid("STORED up.bin 100000"));
        EXPECT_TRUE(Stored() == bytes);
        EXPECT_EQ(client_.ByteCount(), 100000);
        EXPECT_TRUE(client_.Quit());
    }
}

TEST_F(FtpScriptedTest, ActiveUploadsSendOnceWhetherTheServerConnectsBeforeOrAfter150) {
    for (const char* mode : {"normal", "active-late"}) {
        SCOPED_TRACE(mode);
        Start(mode);
        std::string bytes = Pattern(50000, 5);
        Done put = Put(bytes, false);
        EXPECT_EQ(put.error, 0) << client_.ErrorMessage();
        EXPECT_TRUE(PeerSaid("STORED up.bin 50000"));
        EXPECT_TRUE(Stored() == bytes);
        // An empty file: STOR and an immediate close.
        put = Put("", false);
        EXPECT_EQ(put.error, 0) << client_.ErrorMessage();
        EXPECT_TRUE(PeerSaid("STORED up.bin 0"));
        EXPECT_TRUE(client_.Quit());
    }
}

TEST_F(FtpScriptedTest, TheActiveDataPortTurnsAwayAPeerOtherThanTheServer) {
    Start("foreign");
    std::string bytes = Pattern(20000, 9);
    Done put = Put(bytes, false);
    EXPECT_EQ(put.error, 0) << client_.ErrorMessage();
    EXPECT_TRUE(PeerSaid("FOREIGN closed"));
    EXPECT_TRUE(Stored() == bytes);
}

// A server that reads slowly still gets the whole file after the client's (graceful) close.
TEST_F(FtpScriptedTest, ASlowReaderGetsTheWholeFile) {
    Start("slow");
    std::string bytes = Pattern(600000, 11);
    Done put = Put(bytes, false, 30000);
    EXPECT_EQ(put.error, 0) << client_.ErrorMessage();
    EXPECT_TRUE(PeerSaid("STORED up.bin 600000"));
    EXPECT_TRUE(Stored() == bytes);

    // The time-out applies to silence: a download that keeps moving for longer than it goes on.
    client_.Timeout = 1;
    WriteRaw(peer_->root / "slow.bin", bytes);
    client_.HostFileName = "slow.bin";
    client_.SetLocalFileName(local_ / "slow.bin");
    uint32_t start = platform::GetTickCount();
    EXPECT_TRUE(client_.Get()) << client_.ErrorMessage();
    EXPECT_GT(platform::TicksElapsed(platform::GetTickCount(), start), 1200u);
    EXPECT_TRUE(ReadRaw(local_ / "slow.bin") == bytes);
}

TEST_F(FtpScriptedTest, RefusedDroppedAndCancelledUploadsAreNoSuccess) {
    Start("refuse-stor");
    Done refused = Put("abc", true);
    EXPECT_EQ(refused.error, 553);
    EXPECT_EQ(client_.ErrorMessage(), "553 Could not create file.");
    EXPECT_TRUE(client_.Connected());

    // OnReadyToTransmit may cancel before anything is sent.
    client_.OnReadyToTransmit = [](TCustomFtpCli*, bool& cancel) { cancel = true; };
    commands_.clear();
    Done cancelled = Put("abc", false);
    EXPECT_EQ(cancelled.error, 426);
    EXPECT_EQ(client_.ErrorMessage(), "426 Transmit cancelled by application");
    EXPECT_FALSE(Sent(commands_, "STOR"));
    client_.OnReadyToTransmit = nullptr;

    // A local file that cannot be read.
    client_.SetLocalFileName(local_ / "missing.bin");
    Done missing = RunRequest(client_, [&] { client_.PutAsync(); });
    EXPECT_EQ(missing.error, 426);
    EXPECT_EQ(client_.ErrorMessage(), "426 Unable to open local file " + local_ / "missing.bin");
    EXPECT_TRUE(client_.Quit());

    // Both connections dropped in the middle of the file.
    Start("drop");
    int closed = 0;
    client_.OnSessionClosed = [&](TCustomFtpCli*, uint16_t) { ++closed; };
    Done dropped = Put(Pattern(400000), true);
    EXPECT_NE(dropped.error, 0);
    EXPECT_FALSE(client_.Connected());
    EXPECT_EQ(closed, 1);
}

TEST_F(FtpScriptedTest, ASilentServerTimesOutAndAnAbortEndsTheRequest) {
    Start("silent");
    client_.Timeout = 1;
    client_.HostDirName = "up";
    uint32_t start = platform::GetTickCount();
    EXPECT_FALSE(client_.Cwd());
    uint32_t elapsed = platform::TicksElapsed(platform::GetTickCount(), start);
    EXPECT_GE(elapsed, 900u);
    EXPECT_LT(elapsed, 5000u);
    EXPECT_EQ(client_.ErrorMessage(), "426 Timeout");
    EXPECT_EQ(client_.StatusCode(), 426);
    EXPECT_FALSE(client_.Connected()) << "the abort closes the control connection";

    // The same time-out ends an asynchronous request.
    ASSERT_TRUE(client_.Connect());
    Done timedOut = RunRequest(client_, [&] { client_.CwdAsync(); });
    EXPECT_EQ(timedOut.rqType, ftpCwdAsync);
    EXPECT_EQ(timedOut.error, 426);
    EXPECT_EQ(client_.ErrorMessage(), "426 Timeout");

    // Without a time-out, AbortAsync ends it.
    client_.Timeout = 0;
    ASSERT_TRUE(client_.Connect());
    platform::TTimer abort;
    abort.SetEnabled(false);
    abort.SetInterval(200);
    abort.OnTimer = [this](platform::TTimer* t) {
        t->SetEnabled(false);
        client_.AbortAsync();
    };
    Done aborted = RunRequest(client_, [&] {
        client_.CwdAsync();
        abort.SetEnabled(true);
    });
    EXPECT_EQ(aborted.rqType, ftpCwdAsync);
    EXPECT_EQ(aborted.error, 426);
    EXPECT_EQ(client_.ErrorMessage(), "426 Operation aborted.");
    EXPECT_EQ(client_.State(), ftpReady);
}

TEST_F(FtpScriptedTest, TerminatingTheProgramEndsABlockingCallAtOnce) {
    Start("silent");
    client_.Timeout = 0; // no limit: only the end of the program ends the wait
    client_.HostDirName = "up";
    platform::TTimer quit;
    quit.SetInterval(200);
    quit.OnTimer = [](platform::TTimer* t) {
        t->SetEnabled(false);
        platform::EventLoop::Get().Terminate();
    };
    EXPECT_FALSE(client_.Cwd());
    EXPECT_EQ(client_.ErrorMessage(), "426 Timeout");
    EXPECT_FALSE(client_.Connected());
}

TEST_F(FtpScriptedTest, UsageErrorsRefuseTheOperationAndSendNothing) {
    Start("normal");
    client_.HostDirName.clear();
    try {
        client_.CwdAsync();
        ADD_FAILURE() << "no usage error";
    } catch (const FtpException& e) {
        EXPECT_STREQ(e.what(), "HostDirName emtpy");
    }
    // With OnError assigned the operation carries on doing nothing; the blocking call still fails.
    std::vector<std::string> errors;
    client_.OnError = [&](TCustomFtpCli*, std::string& text) { errors.push_back(text); };
    EXPECT_FALSE(client_.Cwd());
    ASSERT_EQ(errors.size(), 1u);

    // Line breaks in a name would smuggle in a second command.
    client_.HostDirName = "up\r\nDELE weather.html";
    EXPECT_FALSE(client_.Cwd());
    client_.HostFileName = "a\nDELE b";
    client_.SetLocalFileName(local_ / "x");
    WriteRaw(local_ / "x", "x");
    Done put = RunRequest(client_, [&] { client_.PutAsync(); });
    EXPECT_EQ(put.error, ftpUsageError) << "a later step refused ends the sequence";
    EXPECT_FALSE(Sent(commands_, "CWD"));
    EXPECT_FALSE(Sent(commands_, "STOR"));
    EXPECT_EQ(errors.size(), 3u);
    EXPECT_TRUE(client_.Quit());
    EXPECT_FALSE(client_.Cwd()) << "not connected";
}

TEST_F(FtpScriptedTest, FailedLookupsAndConnectsEndWithTheSocketErrorAndStatus500) {
    TFtpClient client;
    client.HostName = "127.0.0.1";
    client.Port = std::to_string(net_test::FreePort());
    Done refused = RunRequest(client, [&] { client.ConnectAsync(); });
    EXPECT_EQ(refused.rqType, ftpConnectAsync);
    EXPECT_EQ(refused.error, ws::WSAECONNREFUSED);
    EXPECT_EQ(client.StatusCode(), 500);
    EXPECT_FALSE(client.Connected());

    client.HostName = "10.1.2.3"; // the test build connects nowhere off the machine
    Done outside = RunRequest(client, [&] { client.OpenAsync(); });
    EXPECT_EQ(outside.error, ws::WSAEACCES);
    EXPECT_EQ(client.StatusCode(), 500);
}

} // namespace
