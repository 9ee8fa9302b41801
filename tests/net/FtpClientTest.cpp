// The FTP client against real servers on loopback: pyftpdlib and vsftpd, in active and passive mode.
#include <gtest/gtest.h>

#include "tests/net/FtpTestSupport.h"

using namespace net;
using namespace ftp_test;
using net_test::LoopTest;

namespace {

enum class Server { Pyftpd, Vsftpd };

struct Upload {
    std::string local, remote, bytes;
};

class FtpStationChainTest : public LoopTest,
                            public ::testing::WithParamInterface<std::tuple<Server, bool>> {};

// The station's upload: ConnectAsync, CWD, TYPE I, one PutAsync per file and QUIT, each started from
// the completion of the one before, as the station drives it.
TEST_P(FtpStationChainTest, UploadsEveryFileByteForByteInCommandOrder) {
    auto [server, passive] = GetParam();
    std::unique_ptr<PyftpdPeer> pyftpd;
    std::unique_ptr<VsftpdPeer> vsftpd;
    std::string root;
    TFtpClient client;
    int port = 0;
    if (server == Server::Pyftpd) {
        pyftpd = std::make_unique<PyftpdPeer>();
        port = pyftpd->port;
        root = pyftpd->root.Path();
        client.UserName = "ftpuserID";
        client.PassWord = "MoLeSkIn";
    } else {
        vsftpd = std::make_unique<VsftpdPeer>();
        port = vsftpd->port;
        root = vsftpd->root.Path();
        client.UserName = "anonymous";
        client.PassWord = "station@";
    }
    ASSERT_GT(port, 0) << "the FTP server did not start";
    fs::create_directory(root + "/www_docs");
    fs::permissions(root + "/www_docs", fs::perms::all);

    TempDir html;
    std::vector<Upload> files = {{html / "weather.html", "index.html", "<html>weather</html>\r\n"},
                                 {html / "empty.gif", "empty.gif", ""},
                                 {html / "big.gif", "big.gif", Pattern(1 << 20)}};
    for (const Upload& f : files)
        WriteRaw(f.local, f.bytes);

    std::vector<std::string> commands;
    RecordCommands(client, commands);
    int sessionClosed = 0;
    client.OnSessionClosed = [&](TCustomFtpCli*, uint16_t) { ++sessionClosed; };
    client.HostName = "127.0.0.1";
    client.Port = std::to_string(port);
    client.HostDirName = "www_docs";
    client.SetPassive(passive);

    size_t next = 0;
    std::vector<std::pair<TFtpRequest, int>> completions;
    auto putNext = [&] {
        client.HostFileName = files[next].remote;
        client.SetLocalFileName(files[next].local);
        ++next;
        client.PutAsync();
    };
    bool finished = false;
    client.OnRequestDone = [&](TCustomFtpCli*, TFtpRequest rqType, uint16_t error) {
        completions.emplace_back(rqType, error);
        if (error != 0) {
            finished = true;
            return;
        }
        switch (rqType) {
        case ftpConnectAsync:
            return client.CwdAsync();
        case ftpCwdAsync:
            return client.TypeBinaryAsync();
        case ftpTypeSetAsync:
            return putNext();
        case ftpPutAsync:
            return next < files.size() ? putNext() : client.QuitAsync();
        default:
            finished = true;
        }
    };
    client.ConnectAsync();
    ASSERT_TRUE(RunUntil([&] { return finished; }, 30000));
    RunFor(50);

    std::vector<std::pair<TFtpRequest, int>> expected = {
        {ftpConnectAsync, 0}, {ftpCwdAsync, 0}, {ftpTypeSetAsync, 0}, {ftpPutAsync, 0},
        {ftpPutAsync, 0},     {ftpPutAsync, 0}, {ftpQuitAsync, 0}};
    EXPECT_EQ(completions, expected) << client.ErrorMessage();
    for (const Upload& f : files)
        EXPECT_TRUE(ReadRaw(root + "/www_docs/" + f.remote) == f.bytes) << f.remote;
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(sessionClosed, 1);
    EXPECT_EQ(client.StatusCode(), 221);

    // vsftpd lets an anonymous user in on USER alone; PASS is then never sent.
    EXPECT_EQ(Sent(commands, "PASS "), server == Server::Pyftpd);
    std::vector<std::string> order;
    for (const std::string& c : commands)
        order.push_back(c.substr(0, c.find(' ')));
    std::string data = passive ? "PASV" : "PORT";
    std::vector<std::string> expectedOrder = {"USER", "CWD",  "TYPE", data,   "STOR",
                                              data,   "STOR", data,   "STOR", "QUIT"};
    if (server == Server::Pyftpd) expectedOrder.insert(expectedOrder.begin() + 1, "PASS");
    EXPECT_EQ(order, expectedOrder);
    if (!passive) {
        EXPECT_TRUE(Sent(commands, "PORT 127,0,0,1,"));
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpStationChainTest,
                         ::testing::Combine(::testing::Values(Server::Pyftpd, Server::Vsftpd),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == Server::Pyftpd ? "pyftpdlib"
                                                                                          : "vsftpd") +
                                    (std::get<1>(info.param) ? "Passive" : "Active");
                         });

class FtpPyftpdTest : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        ASSERT_GT(peer_.port, 0) << "pyftpdlib did not start (" << kPython << ")";
        client_.HostName = "127.0.0.1";
        client_.Port = std::to_string(peer_.port);
        client_.UserName = "ftpuserID";
        client_.PassWord = "MoLeSkIn";
        RecordCommands(client_, commands_);
    }
    PyftpdPeer peer_;
    TFtpClient client_;
    std::vector<std::string> commands_;
};

TEST_F(FtpPyftpdTest, BlockingCallsCoverDirectoriesSizesDownloadsAndListings) {
    std::vector<std::string> shown;
    client_.OnDisplay = [&](TCustomFtpCli*, std::string& text) { shown.push_back(text); };
    std::string bytes = Pattern(300000, 7);
    WriteRaw(peer_.root / "data.bin", bytes);
    client_.SetPassive(true);

    ASSERT_TRUE(client_.Connect()) << client_.ErrorMessage();
    // The banner's bare LF ends its first line; the rest is text, not a reply.
    EXPECT_NE(std::find(shown.begin(), shown.end(), "< 220 test ftpd"), shown.end());
    EXPECT_NE(std::find(shown.begin(), shown.end(), "> PASS ********"), shown.end())
        << "the password is not shown";
    EXPECT_TRUE(client_.TypeBinary());
    client_.HostFileName = "sub";
    EXPECT_TRUE(client_.Mkd());
    client_.HostDirName = "sub";
    EXPECT_TRUE(client_.Cwd());
    EXPECT_TRUE(client_.Pwd());
    EXPECT_EQ(client_.DirResult(), "/sub");
    EXPECT_TRUE(client_.CDup());

    client_.HostFileName = "data.bin";
    EXPECT_TRUE(client_.Size());
    EXPECT_EQ(client_.SizeResult(), 300000);
    TempDir local;
    client_.SetLocalFileName(local / "copy.bin");
    EXPECT_TRUE(client_.Get()) << client_.ErrorMessage();
    EXPECT_TRUE(ReadRaw(local / "copy.bin") == bytes);
    EXPECT_EQ(client_.ByteCount(), 300000);

    // A listing into the caller's stream, and one shown line by line.
    platform::TMemoryStream listing;
    client_.SetLocalStream(&listing);
    client_.HostFileName.clear();
    client_.SetPassive(false);
    EXPECT_TRUE(client_.Ls());
    EXPECT_NE(listing.AsString().find("data.bin"), std::string::npos);
    std::vector<std::string> lines;
    client_.OnDisplayFile = [&](TCustomFtpCli*, std::string& line) { lines.push_back(line); };
    client_.DisplayFileFlag = true;
    client_.SetLocalStream(nullptr);
    EXPECT_TRUE(client_.Dir());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("data.bin"), std::string::npos);

    EXPECT_TRUE(client_.Quit());
    EXPECT_FALSE(client_.Connected());
    EXPECT_EQ(client_.State(), ftpReady);
}

TEST_F(FtpPyftpdTest, FailingRepliesEndTheRequestWithTheirCodeAndSendNothingMore) {
    client_.PassWord = "wrong";
    Done login = RunRequest(client_, [&] { client_.ConnectAsync(); });
    EXPECT_EQ(login.rqType, ftpConnectAsync);
    EXPECT_EQ(login.error, 530);
    EXPECT_EQ(client_.ErrorMessage().substr(0, 3), "530");
    EXPECT_TRUE(client_.Connected()) << "a refused login leaves the connection open";
    EXPECT_TRUE(client_.Quit());

    // A sequence stops at its failing step: no QUIT after the CWD to a missing folder.
    client_.PassWord = "MoLeSkIn";
    client_.HostDirName = "missing";
    client_.HostFileName = "newdir";
    commands_.clear();
    Done mkdir = RunRequest(client_, [&] { client_.MkdirAsync(); });
    EXPECT_EQ(mkdir.rqType, ftpMkdirAsync);
    EXPECT_EQ(mkdir.error, 550);
    EXPECT_FALSE(Sent(commands_, "MKD"));
    EXPECT_FALSE(Sent(commands_, "QUIT"));
    EXPECT_TRUE(client_.Connected());
    EXPECT_TRUE(client_.Quit());

    // A user without the right to write: STOR is refused and the request ends with that code.
    client_.UserName = client_.PassWord = "reader";
    ASSERT_TRUE(client_.Connect());
    TempDir local;
    WriteRaw(local / "a.txt", "abc");
    client_.SetLocalFileName(local / "a.txt");
    client_.HostFileName = "a.txt";
    client_.SetPassive(true);
    Done put = RunRequest(client_, [&] { client_.PutAsync(); });
    EXPECT_EQ(put.rqType, ftpPutAsync);
    EXPECT_TRUE(put.error == 550 || put.error == 553) << put.error;
    EXPECT_FALSE(fs::exists(peer_.root / "a.txt"));
    EXPECT_TRUE(client_.Quit());
}

TEST_F(FtpPyftpdTest, BlockingCallsRunNestedInsideTheClientsOwnEvents) {
    bool cwd = false, type = false;
    int calls = 0;
    client_.HostDirName = "/";
    client_.OnRequestDone = [&](TCustomFtpCli*, TFtpRequest rqType, uint16_t error) {
        ++calls;
        if (rqType != ftpConnectAsync || error != 0) return;
        cwd = client_.Cwd();
        type = client_.TypeBinary();
    };
    client_.ConnectAsync();
    ASSERT_TRUE(RunUntil([&] { return type; }, 10000));
    RunFor(50);
    EXPECT_TRUE(cwd);
    EXPECT_EQ(calls, 3) << "connect, and the two nested requests once each";
    client_.OnRequestDone = nullptr;
    EXPECT_TRUE(client_.Quit());
}

class FtpVsftpdTest : public LoopTest {};

TEST_F(FtpVsftpdTest, MultiLineBannerAndTheServersClientLimit) {
    VsftpdPeer server(1, "Welcome\n220 looks like the end\nlast line\n");
    ASSERT_GT(server.port, 0) << "vsftpd did not start";
    TFtpClient first, second;
    std::vector<std::string> shown;
    first.OnDisplay = [&](TCustomFtpCli*, std::string& text) { shown.push_back(text); };
    for (TFtpClient* c : {&first, &second}) {
        c->HostName = "127.0.0.1";
        c->Port = std::to_string(server.port);
        c->UserName = "anonymous";
    }
    EXPECT_TRUE(first.Connect()) << first.ErrorMessage();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "< 220-220 looks like the end"), shown.end());

    int closed = 0;
    second.OnSessionClosed = [&](TCustomFtpCli*, uint16_t) { ++closed; };
    Done refused = RunRequest(second, [&] { second.ConnectAsync(); });
    EXPECT_EQ(refused.error, 421);
    EXPECT_EQ(second.ErrorMessage().substr(0, 4), "421 ");
    EXPECT_FALSE(second.Connected());
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(first.Quit());
}

} // namespace
