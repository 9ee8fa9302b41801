// The FTP upload against pyftpdlib and vsftpd on 127.0.0.1: the demo station's pages, weather.xml, graphs
// and a large extra file in active and passive mode (commands, bytes, and a pace the reading cycle does
// not hold back), the list rules, missing files, names that would inject commands, a refused store, a
// refused connection and a connection dropped mid-file, told once and never as success.
#include <gtest/gtest.h>

#include <filesystem>

#include "onewire/SensorTables.h"
#include "platform/EventLoop.h"
#include "publish/FtpUpload.h"
#include "tests/publish/PublishStation.h"
#include "tests/publish/PublishTestSupport.h"

using ftp_test::PyftpdPeer;
using publish_test::PeerStationTest;

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Stored(const std::vector<std::string>& commands) {
    std::vector<std::string> names;
    for (const std::string& c : commands)
        if (c.rfind("STOR ", 0) == 0) names.push_back(c.substr(5));
    return names;
}

// The demo station (every kind of sensor) on a clock that gives pyftpdlib real time while it is talked to.
class DemoUpload : public publish_test::PublishStation, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        PublishStation::SetUp();
        paced_ = InstallPacedClock();
        paced_->RealTime = true; // the peer starts in real time
        peer_ = std::make_unique<PyftpdPeer>(root_.Path());
        paced_->RealTime = false;
        fs::create_directory(root_ / "www_docs");
    }
    void TearDown() override {
        PublishStation::TearDown();
        peer_.reset();
    }
    bool RunUntilLogged(const std::string& text) {
        return platform::EventLoop::Get().RunUntil([&] { return CountLog(text) > 0; }, 120000);
    }
    std::string Log() const { return publish_test::MemoText(*form_); }

    ftp_test::TempDir root_, extras_;
    std::shared_ptr<publish_test::PeerPacedClock> paced_;
    std::unique_ptr<PyftpdPeer> peer_;
};

TEST_P(DemoUpload, PutsThePageTheListAndTheExtrasByteForByteThenQuits) {
    const bool passive = GetParam();
    ASSERT_GT(peer_->port, 0) << "pyftpdlib did not start";
    ftp_test::WriteRaw(extras_ / "notes.txt", ftp_test::Pattern(1000000, 9));
    TMainForm& form = StartDemo(
        "SampleInterval=3600000\r\n[FTP]\r\nFTPHostName=127.0.0.1\r\nFTPPort=" + std::to_string(peer_->port) +
        "\r\nFTPPASV=" + (passive ? "1" : "0") + "\r\nUploadXML=1\r\nUploadGIFs=1\r\nFTPExtraFileName1=" +
        (extras_ / "notes.txt") + "\r\nFTPExtraFileName2=a/b\r\n");
    TFtpUpload& upload = publishing->Upload();
    paced_->PeerBusy = [&] { return upload.Running(); };
    publishing->WriteWeatherHTML();
    publishing->WriteWeatherXML(false);
    const std::vector<std::string> graphs = {"windhist.gif", "dirhist.gif",  "temphist.gif",
                                             "dpwchist.gif", "rainhist.gif", "humdhist.gif"};
    for (size_t i = 0; i < graphs.size(); ++i)
        ftp_test::WriteRaw(Path("HTML/" + graphs[i]),
                           ftp_test::Pattern(3000 + i * 1000, static_cast<unsigned>(i)));
    Write("HTML/current.html", "<html>page</html>\r\n");
    form.GeneratedFiles->Clear();
    form.GeneratedFiles->Add("current.html");
    form.GeneratedFiles->Add("gone.html"); // not written: not listed
    std::vector<std::string> commands;
    ftp_test::RecordCommands(*upload.FTPClient, commands);

    const uint32_t start = paced_->TickCount();
    upload.UploadToHomepage->Click();
    upload.FTPUpload(); // while the first runs: skipped, the first goes on
    ASSERT_TRUE(RunUntilLogged("files uploaded OK")) << Log();
    // The data goes on while the reading cycle waits out its pass spacing, not a block per wait.
    EXPECT_LT(paced_->TickCount() - start, 30000u);

    std::vector<std::string> names = {"weather.html", "current.html", "weather.xml"};
    names.insert(names.end(), graphs.begin(), graphs.end());
    names.push_back("notes.txt");
    EXPECT_EQ(Stored(commands), names);
    ASSERT_GE(commands.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 4),
              (std::vector<std::string>{"USER ftpuserID", "PASS MoLeSkIn", "CWD www_docs", "TYPE I"}));
    EXPECT_EQ(commands[4].substr(0, 4), passive ? "PASV" : "PORT");
    if (!passive) {
        EXPECT_EQ(commands[4].rfind("PORT 127,0,0,1,", 0), 0u) << commands[4];
    }
    EXPECT_EQ(commands.back(), "QUIT");
    for (const std::string& name : names) {
        std::string local = name == "notes.txt" ? extras_ / name : Path("HTML/" + name);
        EXPECT_EQ(ftp_test::ReadRaw(root_ / ("www_docs/" + name)), ftp_test::ReadRaw(local)) << name;
    }
    EXPECT_EQ(CountLog("FTP: Upload of "), 10);
    EXPECT_EQ(CountLog("FTP: Upload of " + Path("HTML/weather.html") + " successful"), 1);
    EXPECT_EQ(CountLog("FTP: 10 files uploaded OK"), 1);
    EXPECT_EQ(CountLog("FTP: Error in connect: the previous upload is still running"), 1);
    EXPECT_EQ(CountLog("FTP: Error uploading"), 0) << Log();
    EXPECT_TRUE(upload.UploadToHomepage->Enabled());
    EXPECT_FALSE(upload.FTPClient->Connected());
}

INSTANTIATE_TEST_SUITE_P(ActiveAndPassive, DemoUpload, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

// A window without a session: the sensors are what a test sets.
class FtpUploadTest : public PeerStationTest {
protected:
    TMainForm& StartUploading(uint16_t port, const std::string& ftp) {
        TMainForm& form =
            StartWith("[FTP]\r\nFTPHostName=127.0.0.1\r\nFTPHostDirName=\r\nFTPPort=" + std::to_string(port) +
                      "\r\n" + ftp);
        fs::create_directories(Path("HTML"));
        return form;
    }
    std::vector<std::string> List() const {
        std::vector<std::string> out;
        for (int i = 0; i < form_->UploadFileList->Count(); ++i)
            out.push_back((*form_->UploadFileList)[i]);
        return out;
    }
    bool RunUntilDone() {
        TFtpUpload& upload = publishing->Upload();
        return RunUntil([&] { return !upload.Running(); });
    }
};

TEST_F(FtpUploadTest, TheListFollowsTheSensorsAndARefusedConnectionIsToldOnce) {
    uint16_t port = net_test::FreePort();
    TMainForm& form =
        StartUploading(port, "UploadGIFs=1\r\nFTPExtraFileName1=abc\r\nFTPExtraFileName2=abcd\r\n");
    const std::string html = StationSettings.HTMLDir + "/";
    Write("HTML/a\r\nDELE weather.html", "x"); // a page whose name would inject a command
    form.GeneratedFiles->Add("a\r\nDELE weather.html");
    TFtpUpload& upload = publishing->Upload();

    SensorSet().BarometerPresent = true;
    upload.FTPUpload();
    EXPECT_EQ(List(), (std::vector<std::string>{html + "dpwchist.gif", "abcd"}));
    ASSERT_TRUE(RunUntilLogged("FTP: Error uploading, aborting... ")) << Log();
    ASSERT_TRUE(RunUntilDone());
    SensorSet().BarometerPresent = false;
    SensorSet().RainPresent = true;
    upload.FTPUpload();
    EXPECT_EQ(List(), (std::vector<std::string>{html + "rainhist.gif", "abcd"}));
    ASSERT_TRUE(RunUntilDone());
    SensorSet().RainPresent = false;
    SensorSet().WindPresent = true;
    upload.FTPUpload();
    EXPECT_EQ(List(), (std::vector<std::string>{html + "windhist.gif", html + "dirhist.gif",
                                                html + "dpwchist.gif", "abcd"}));
    ASSERT_TRUE(RunUntilDone());

    EXPECT_EQ(CountLog("FTP: Error uploading, aborting... "), 1) << Log();
    EXPECT_EQ(CountLog("a file name with a control character is not sent: " + html + "a??DELE weather.html"),
              1)
        << Log();
    EXPECT_EQ(CountLog("uploaded OK"), 0);
    EXPECT_TRUE(upload.UploadToHomepage->Enabled());
}

TEST_F(FtpUploadTest, ARefusedStoreIsLoggedWithTheReplyAndNeverAsSuccess) {
    PyftpdPeer peer;
    ASSERT_GT(peer.port, 0);
    StartUploading(static_cast<uint16_t>(peer.port),
                   "FTPUserName=reader\r\nFTPPassWord=reader\r\nFTPExtraFileName1=" +
                       Path("HTML/weather.html") + "\r\n");
    Write("HTML/weather.html", "page");
    TFtpUpload& upload = publishing->Upload();
    std::vector<std::string> commands;
    ftp_test::RecordCommands(*upload.FTPClient, commands);
    upload.FTPUpload();
    ASSERT_TRUE(RunUntilLogged("FTP: Error uploading, aborting... ")) << Log();
    ASSERT_TRUE(RunUntilDone());
    EXPECT_EQ(CountLog("FTP: Error uploading, aborting... 550 Not enough privileges."), 1) << Log();
    EXPECT_EQ(CountLog("successful"), 0);
    EXPECT_EQ(CountLog("uploaded OK"), 0);
    EXPECT_EQ(Stored(commands), std::vector<std::string>{"weather.html"}); // the chain ends there
    EXPECT_EQ(commands.back(), "QUIT");
    EXPECT_TRUE(upload.UploadToHomepage->Enabled());

    // A chain that stores the page and is then refused the next file is no success either.
    std::filesystem::create_directory(peer.root / "blocked.txt"); // STOR onto a folder fails
    Write("blocked.txt", "extra");
    StationSettings.FTPUserName = "ftpuserID";
    StationSettings.FTPPassWord = "MoLeSkIn";
    StationSettings.FTPExtraFileName[0] = Path("blocked.txt");
    commands.clear();
    upload.FTPUpload();
    ASSERT_TRUE(RunUntil([&] { return Stored(commands).size() == 2 && !upload.Running(); })) << Log();
    EXPECT_EQ(Stored(commands), (std::vector<std::string>{"weather.html", "blocked.txt"}));
    EXPECT_EQ(CountLog("FTP: Upload of " + Path("HTML/weather.html") + " successful"), 1) << Log();
    EXPECT_EQ(CountLog("uploaded OK"), 0); // the standing refusal was told by the first upload
}

TEST_F(FtpUploadTest, VsftpdTakesAnActiveUploadWithoutPassAndAConnectionDroppedMidFileIsNoSuccess) {
    ftp_test::VsftpdPeer vsftpd;
    ASSERT_GT(vsftpd.port, 0) << "vsftpd did not start";
    StartUploading(static_cast<uint16_t>(vsftpd.port),
                   "FTPUserName=anonymous\r\nFTPPASV=0\r\nFTPExtraFileName1=" + Path("extra.bin") + "\r\n");
    const std::string page = ftp_test::Pattern(300000, 4), extra = ftp_test::Pattern(5000, 5);
    ftp_test::WriteRaw(Path("HTML/weather.html"), page);
    ftp_test::WriteRaw(Path("extra.bin"), extra);
    TFtpUpload& upload = publishing->Upload();
    std::vector<std::string> commands;
    ftp_test::RecordCommands(*upload.FTPClient, commands);
    upload.UploadToHomepage->Click();
    ASSERT_TRUE(RunUntilLogged("FTP: 2 files uploaded OK")) << Log();
    EXPECT_FALSE(ftp_test::Sent(commands, "PASS"));
    EXPECT_TRUE(ftp_test::Sent(commands, "PORT 127,0,0,1,"));
    EXPECT_EQ(ftp_test::ReadRaw(vsftpd.root / "weather.html"), page);
    EXPECT_EQ(ftp_test::ReadRaw(vsftpd.root / "extra.bin"), extra);

    // A server that drops both connections a little way into weather.html.
    ftp_test::ScriptedPeer dropping("drop");
    ASSERT_GT(dropping.port, 0);
    StationSettings.FTPPort = std::to_string(dropping.port);
    upload.FTPUpload();
    ASSERT_TRUE(RunUntilLogged("FTP: Error uploading, aborting... ")) << Log();
    ASSERT_TRUE(RunUntilDone());
    RunUntilLogged("never logged", 300); // nothing more comes of it
    EXPECT_EQ(CountLog("FTP: Error uploading, aborting... "), 1) << Log();
    EXPECT_EQ(CountLog("uploaded OK"), 1);
    EXPECT_EQ(CountLog("FTP: Upload of " + Path("HTML/weather.html") + " successful"), 1);
    EXPECT_FALSE(upload.FTPClient->Connected());
    EXPECT_TRUE(upload.UploadToHomepage->Enabled());
}

TEST_F(FtpUploadTest, MissingFilesAreSkippedAndTheMessageStartsAnUploadThatNeverLogsThePassword) {
    PyftpdPeer peer;
    ASSERT_GT(peer.port, 0);
    TMainForm& form = StartUploading(static_cast<uint16_t>(peer.port),
                                     "UploadXML=1\r\nUploadGIFs=1\r\nFTPHostFileName=index.html\r\n"
                                     "FTPExtraFileName1=" +
                                         Path("extra.txt") + "\r\n[Weather]\r\nDebug=1\r\n");
    Write("HTML/weather.html", "page");
    Write("extra.txt", "extra");
    SensorSet().RainPresent = true; // no rainhist.gif, and no weather.xml
    TFtpUpload& upload = publishing->Upload();
    std::vector<std::string> commands;
    ftp_test::RecordCommands(*upload.FTPClient, commands);
    platform::PostMessage(form.Handle(), MsgStartUpload, 0, 0);
    ASSERT_TRUE(RunUntilLogged("FTP: 2 files uploaded OK")) << Log();
    EXPECT_EQ(Stored(commands), (std::vector<std::string>{"index.html", "extra.txt"}));
    EXPECT_EQ(ftp_test::ReadRaw(peer.root / "index.html"), "page");
    EXPECT_EQ(ftp_test::ReadRaw(peer.root / "extra.txt"), "extra");
    EXPECT_EQ(CountLog(Path("HTML/weather.xml") + " not found, skipped"), 1) << Log();
    EXPECT_EQ(CountLog(Path("HTML/rainhist.gif") + " not found, skipped"), 1);
    EXPECT_EQ(CountLog("FTP: Session Closed OK"), 1);
    EXPECT_GT(CountLog("FTP: 230 "), 0); // the debug lines show the replies
    EXPECT_EQ(CountLog("MoLeSkIn"), 0) << Log();
    EXPECT_EQ(CountLog("Error"), 0) << Log();
}

// A one-letter password: masked in the reply that shows the PASS command, and nowhere else.
TEST_F(FtpUploadTest, AOneLetterPasswordIsMaskedOnlyWhereItIsThePassword) {
    ftp_test::ScriptedPeer peer("echo-pass");
    ASSERT_GT(peer.port, 0);
    StartUploading(static_cast<uint16_t>(peer.port), "FTPUserName=up\r\nFTPPassWord=p\r\nFTPLogSuccess=1\r\n"
                                                     "FTPExtraFileName1=" +
                                                         Path("plop.txt") + "\r\n[Weather]\r\nDebug=1\r\n");
    Write("HTML/weather.html", "page");
    Write("plop.txt", "extra");
    publishing->Upload().FTPUpload();
    ASSERT_TRUE(RunUntilLogged("FTP: 2 files uploaded OK")) << Log();
    EXPECT_EQ(CountLog("FTP: Upload of " + Path("HTML/weather.html") + " successful"), 1) << Log();
    EXPECT_EQ(CountLog("FTP: Upload of " + Path("plop.txt") + " successful"), 1) << Log();
    EXPECT_EQ(CountLog("FTP: 230 Logged in after PASS **** ("), 1) << Log();
    EXPECT_EQ(CountLog("****"), 1) << Log();
}

// A server that echoes the password in its refusal: the reply is logged with the password masked, in the
// error line and in the debug line alike; a password with punctuation is masked whole.
TEST_F(FtpUploadTest, APasswordEchoedInTheServersReplyIsMasked) {
    ftp_test::ScriptedPeer peer("refuse-pass");
    ASSERT_GT(peer.port, 0);
    StartUploading(static_cast<uint16_t>(peer.port),
                   "FTPUserName=up\r\nFTPPassWord=Mo.LeSkIn!\r\n[Weather]\r\nDebug=1\r\n");
    Write("HTML/weather.html", "page");
    publishing->Upload().FTPUpload();
    ASSERT_TRUE(RunUntilLogged("FTP: Error uploading, aborting... ")) << Log();
    ASSERT_TRUE(RunUntilDone());
    EXPECT_EQ(CountLog("FTP: Error uploading, aborting... 530 Login incorrect for password ****"), 1)
        << Log();
    EXPECT_EQ(CountLog("FTP: 530 Login incorrect for password **** ("), 1) << Log();
    EXPECT_EQ(CountLog("LeSkIn"), 0) << Log();
}

} // namespace

TEST_F(FtpUploadTest, AnEndlessReplyAndAServerThatNeverAnswersEndAtTheirBoundsAndTheNextIntervalRecovers) {
    ftp_test::ScriptedPeer endless("endless"), silent("silent");
    PyftpdPeer good;
    ASSERT_TRUE(endless.port > 0 && silent.port > 0 && good.port > 0);
    fs::create_directory(good.root / "www");
    // Timeout=0 sets no limit on silence: the upload's deadline, before the next minute's, is all there is.
    StartWith("[FTP]\r\nFTPHostName=127.0.0.1\r\nFTPHostDirName=www\r\nFTPInterval=1\r\nTimeout="
              "0\r\nFTPLogSuccess=0\r\n"
              "FTPPort=" +
              std::to_string(endless.port) + "\r\n");
    fs::create_directories(Path("HTML"));
    Write("HTML/weather.html", "page");
    TFtpUpload& upload = publishing->Upload();
    upload.FTPUpload();
    ASSERT_TRUE(RunUntilDone()) << Log();
    EXPECT_EQ(CountLog("FTP: Error uploading, aborting... 500 Reply longer than 1000 lines or 65536 bytes"),
              1)
        << Log();

    // A server that never answers CWD, on a clock that gives it real time while the upload runs. The
    // uploads start as the scheduler starts them, in the first pass of each minute: each has ended
    // before the next begins.
    auto paced = std::make_shared<publish_test::PeerPacedClock>(korvane_test::kDefaultStartMs, 1000000);
    platform::Clock::Install(paced);
    paced->PeerBusy = [&] { return upload.Running(); };
    StationSettings.FTPPort = std::to_string(silent.port);
    const int64_t offsets[] = {300, 200, 400};
    const int64_t minute = (paced->UnixTimeMs() / 60000 + 1) * 60000;
    for (int i = 0; i < 3; ++i) {
        const int64_t due = minute + i * 60000 + offsets[i];
        platform::EventLoop::Get().RunFor(static_cast<uint32_t>(due - paced->UnixTimeMs()));
        EXPECT_FALSE(upload.Running()) << i;
        upload.FTPUpload();
    }
    ASSERT_TRUE(RunUntil([&] { return !upload.Running(); }, 10 * 60000)) << Log();
    EXPECT_LT(paced->UnixTimeMs(), minute + 3 * 60000);
    EXPECT_EQ(CountLog("the previous upload is still running"), 0) << Log();
    EXPECT_EQ(CountLog("FTP: Error uploading, aborting... no end within 58 seconds"), 1) << Log();

    StationSettings.FTPPort = std::to_string(good.port);
    upload.FTPUpload();
    ASSERT_TRUE(RunUntil([&] { return CountLog("FTP: OK again after 4 failed attempts") == 1; }, 60000))
        << Log();
    EXPECT_EQ(ftp_test::ReadRaw(good.root / "www/weather.html"), "page");
    EXPECT_EQ(CountLog("FTP:"), 3) << Log();
}
