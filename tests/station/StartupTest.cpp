// Start-up and the main window's lifecycle.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>

#include "extra/ClipIcon.h"
#include "net/Httpsrv.h"
#include "platform/Exceptions.h"
#include "platform/Shell.h"
#include "platform/controls/Picture.h"
#include "platform/controls/Screen.h"
#include "platform/tmex/sim/DemoNet.h"
#include "support/StationFixture.h"
#include "tests/net/NetTestSupport.h"

using korvane_test::StationFixture;

class StartupTest : public StationFixture {
protected:
    // The demo station, its web server and TCP feed on with `listeners` (their [HTTP] section and the
    // TCP keys of [Weather]), run until both have failed to start and the supervisor has tried again.
    TMainForm& StartFailingListeners(const std::string& listeners) {
        Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
        Write("korvane.ini", platform::tmex::sim::DemoKorvaneIni() + listeners);
        TMainForm& form = Start();
        EXPECT_TRUE(platform::EventLoop::Get().RunUntil(
            [&] {
                return CountLog("HTTP Server: Error (starting)") + CountLog("TCP/IP Error (startup TCP)") ==
                       2;
            },
            30000));
        platform::EventLoop::Get().RunFor(5000);
        EXPECT_FALSE(form.HTTPRunning);
        EXPECT_FALSE(form.TCPRunning);
        return form;
    }
    // The memo line that starts with `prefix`, without its time; empty when none does.
    std::string Told(const std::string& prefix) const {
        const std::string line = LogLine(" " + prefix);
        return line.empty() ? line : line.substr(line.find(' ') + 1);
    }
};

TEST_F(StartupTest, CreatesTheWorkFoldersAndHandsOverToTheSessionAfterOneSecond) {
    Write("korvane.ini", "[Weather]\r\nPortType=64\r\n"); // the built-in demo net
    TMainForm& form = Start();
    EXPECT_TRUE(platform::DirectoryExists(Path("DATA")));
    EXPECT_TRUE(platform::DirectoryExists(Path("HTML")));
    EXPECT_TRUE(platform::DirectoryExists(Path("TEMPLATE")));
    EXPECT_EQ(CountLog("Created " + folder_ + "/DATA for LOG output."), 1);
    EXPECT_EQ(CountLog("Created " + folder_ + "/HTML for HTML temporary output."), 1);
    EXPECT_EQ(CountLog("Created " + folder_ + "/TEMPLATE for templates."), 1);
    EXPECT_EQ(form.Width(), 427);
    EXPECT_TRUE(form.StartTimer->Enabled());

    const std::string sessionStart = "SERVER: Scanning MicroLAN for DS2409 switches...";
    platform::EventLoop::Get().RunFor(999);
    EXPECT_EQ(CountLog(sessionStart), 0);
    platform::EventLoop::Get().RunFor(2);
    EXPECT_FALSE(form.StartTimer->Enabled()); // fires once
    EXPECT_EQ(CountLog(sessionStart), 1);
}

TEST_F(StartupTest, TheComponentUnitsRegisterTheirClipboardFormatAndCursorsAtStart) {
    for (int id : {5, 14000, 14001, 15000, 15004})
        platform::Screen->SetCursorResource(id, "");
    Start();
    EXPECT_EQ(platform::gfx::TPicture::ClipboardFormatOf(typeid(platform::gfx::TIconGraphic)),
              extra::IconClipboardFormat());
    EXPECT_EQ(platform::Screen->CursorResource(14000), "RX_HANDCUR");
    EXPECT_EQ(platform::Screen->CursorResource(14001), "RX_DRAGCUR");
    EXPECT_EQ(platform::Screen->CursorResource(15000), "PRO_HANDPOINT");
    EXPECT_EQ(platform::Screen->CursorResource(15004), "PRO_DRAGHAND");
    EXPECT_EQ(platform::Screen->CursorResource(5), "crHand");
}

TEST_F(StartupTest, ThePreviewAndXmlCommandsOpenWeatherHtmlAndWriteWeatherXml) {
    Write("korvane.ini", "[XML]\r\nIncludeXSL=1\r\nGenerateEnabled=0\r\n");
    TMainForm& form = Start();
    form.GenerateXMLClick(&form);
    EXPECT_NE(Read("HTML/weather.xml").find("<?xml:stylesheet type='text/xsl' href='weather.xsl'?>\r\n"),
              std::string::npos);
    platform::OpenedDocuments().clear();
    form.HTMLPreviewClick(&form);
    EXPECT_EQ(platform::OpenedDocuments(), std::deque<std::string>{"weather.html"});
}

// The web server holds a connection per descriptor, up to its ceiling: the station starts with as many
// as that takes where the system allows it, and keeps a higher limit it was given.
TEST_F(StartupTest, TheStartRaisesTheDescriptorLimitToWhatTheWebServerTakes) {
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit before = limit;
    const rlim_t hard = limit.rlim_max;
    limit.rlim_cur = std::min<rlim_t>(hard / 2, 1024);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    Start();
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    EXPECT_EQ(limit.rlim_cur, std::min<rlim_t>(hard, net::kHttpDescriptorsWanted));
    if (hard >= net::kHttpDescriptorsWanted) {
        EXPECT_EQ(net::HttpConnectionsHeld(limit.rlim_cur, 0), net::kHttpConnectionsMost);
    }
    limit.rlim_cur = std::min<rlim_t>(hard, net::kHttpDescriptorsWanted + 100);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    Start();
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    EXPECT_EQ(limit.rlim_cur, std::min<rlim_t>(hard, net::kHttpDescriptorsWanted + 100));
    ::setrlimit(RLIMIT_NOFILE, &before);
}

TEST_F(StartupTest, AFolderThatCannotBeMadeIsLoggedAndStartUpGoesOn) {
    std::string deep = folder_ + "/missing/deeper";
    Write("korvane.ini", "[HTML]\r\nHTMLDir=" + deep + "\r\n");
    TMainForm& form = Start();
    EXPECT_EQ(CountLog("Can't create subdirectory " + deep + "!"), 1);
    EXPECT_TRUE(platform::DirectoryExists(Path("TEMPLATE")));
    EXPECT_TRUE(form.StartTimer->Enabled());
}

TEST_F(StartupTest, CaptionFollowsTheRememberedDate) {
    TMainForm& form = Start();
    struct Case {
        int day, month;
        const char* caption;
    } cases[] = {
        {24, 12, "Malvoren Weather Station - MERRY CHRISTMAS!"},
        {26, 12, "Malvoren Weather Station - MERRY CHRISTMAS!"},
        {27, 12, "Malvoren Weather Station"},
        {1, 1, "Malvoren Weather Station - HAPPY NEW YEAR!"},
        {2, 1, "Malvoren Weather Station - HAPPY NEW YEAR!"},
        {3, 1, "Malvoren Weather Station"},
    };
    for (const auto& c : cases) {
        form.Day = static_cast<uint8_t>(c.day);
        form.Month = static_cast<uint8_t>(c.month);
        form.SetCaptionByDate();
        EXPECT_EQ(form.Caption(), c.caption) << c.day << "." << c.month;
    }
}

namespace {
class Thrower : public platform::MessageTarget {
public:
    void Dispatch(platform::TMessage&) override {
        throw platform::EConvertError("'x' is not a valid integer value");
    }
};
} // namespace

TEST_F(StartupTest, AnExceptionLeavingAHandlerIsLoggedOnceAndTheLoopGoesOn) {
    Write("korvane.ini", "[Weather]\r\nPortType=64\r\n"); // the built-in demo net
    TMainForm& form = Start();
    Thrower thrower;
    platform::PostMessage(thrower.Handle(), 1);
    platform::EventLoop::Get().RunFor(1500);
    EXPECT_EQ(CountLog("SERIOUS ERROR: EConvertError/'x' is not a valid integer value"), 1);
    EXPECT_EQ(CountLog("SERVER: Scanning MicroLAN for DS2409 switches..."), 1); // the start timer still ran
    (void)form;
}

TEST_F(StartupTest, CloseBoxHidesToTheTrayAndDoubleClickBringsItBack) {
    TMainForm& form = Start();
    form.AppRestore();
    auto action = TMainForm::TCloseAction::caFree;
    form.FormClose(&form, action);
    EXPECT_EQ(action, TMainForm::TCloseAction::caNone);
    EXPECT_FALSE(form.Visible());
    EXPECT_TRUE(form.Restore->Enabled());
    EXPECT_FALSE(form.MinimizeToSysTray->Enabled());
    form.TrayIcon->DblClick();
    EXPECT_TRUE(form.Visible());
    EXPECT_FALSE(form.Restore->Enabled());
    EXPECT_TRUE(form.MinimizeToSysTray->Enabled());
}

TEST_F(StartupTest, ClosingWhileTerminatingStopsTheSessionAndTheDestructorEndsTheProcess) {
    TMainForm& form = Start();
    SessionRunning = true;
    platform::Application->Terminate();
    auto action = TMainForm::TCloseAction::caFree;
    form.FormClose(&form, action);
    EXPECT_EQ(action, TMainForm::TCloseAction::caFree);
    EXPECT_FALSE(SessionRunning);
    form_.reset();
    EXPECT_EQ(exitCode_, 0);
    EXPECT_EQ(MainForm, nullptr);
}

TEST_F(StartupTest, SunTimesAreShownAsHoursWithTwoDecimalsOrNotAtAll) {
    struct Case {
        const char *latitude, *longitude, *sunrise, *sunset;
    } cases[] = {
        {"59.91", "10.75", "9.00", "15.15"}, // Oslo on 6 December: 09:00 and 15:15, unpadded
        {"78.22", "15.65", "n/a", "n/a"},    // polar night: no sunrise, no sunset
        {"59", "10.75", "", ""},             // a latitude of 3 characters or fewer: not computed
    };
    for (const Case& c : cases) {
        Write("korvane.ini",
              std::string("[Weather]\r\nLatitude=") + c.latitude + "\r\nLongitude=" + c.longitude + "\r\n");
        TMainForm& form = Start();
        EXPECT_EQ(form.SunRiseLabel->Caption(), c.sunrise) << c.latitude;
        EXPECT_EQ(form.SunSetLabel->Caption(), c.sunset) << c.latitude;
    }
}

// A comma for the point: told as any setting that does not parse, once however often the sun times
// are made, and no sun times; never the line of a failed calculation.
TEST_F(StartupTest, ACoordinateThatIsNoNumberIsToldOnceAndGivesNoSunTimes) {
    for (const char* key : {"Latitude", "Longitude"}) {
        const std::string other = std::string(key) == "Latitude" ? "Longitude" : "Latitude";
        Write("korvane.ini", std::string("[Weather]\r\n") + key + "=52,52\r\n" + other + "=13.4050\r\n");
        TMainForm& form = Start();
        form.UpdateSunriseSunset(); // the next day's
        EXPECT_EQ(CountLog(Path("korvane.ini") + ": [Weather] " + key +
                           "=52,52 is not a valid number, using none (no sunrise or sunset)"),
                  1);
        EXPECT_EQ(CountLog("sunrise/sunset"), 0) << key;
        EXPECT_EQ(form.SunRiseLabel->Caption(), "") << key;
        EXPECT_EQ(form.SunSetLabel->Caption(), "") << key;
    }
}

// A second station on this machine holds every port this one listens on: each listener's line keeps the
// socket error's words and says which listener cannot take which port, that another program holds it,
// and what that costs; once, however often the supervisor tries again.
TEST_F(StartupTest, AListenerWhosePortAnotherProgramHoldsSaysWhichPortAndWhatIsLost) {
    uint16_t udp = 0, http = 0, tcp = 0;
    const int holders[] = {net_test::RawListen(udp, SOCK_DGRAM), net_test::RawListen(http),
                           net_test::RawListen(tcp)};
    DiagnosticListenerPort = std::to_string(udp);
    StartFailingListeners("TCPEnabled=1\r\nTCPPort=" + std::to_string(tcp) +
                          "\r\n[HTTP]\r\nEnabled=1\r\nAddr=127.0.0.1\r\nPort=" + std::to_string(http) +
                          "\r\n");
    const std::string inUse = "Error 10048 in function Bind Address already in use: ";
    EXPECT_EQ(Told("SERVER: Error: Error 10048"),
              "SERVER: Error: " + inUse +
                  "the sensors' diagnostic listener cannot take UDP 127.0.0.1:" + std::to_string(udp) +
                  ", which another program holds; the sensors' diagnostic datagrams go to it");
    EXPECT_EQ(Told("HTTP Server: Error (starting)"),
              "HTTP Server: Error (starting): " + inUse + "the web server cannot take HTTP 127.0.0.1:" +
                  std::to_string(http) + ", which another program holds; this station serves no pages");
    EXPECT_EQ(Told("TCP/IP Error (startup TCP)"),
              "TCP/IP Error (startup TCP): " + inUse +
                  "the TCP status feed cannot take TCP 127.0.0.1:" + std::to_string(tcp) +
                  ", which another program holds; no client gets this station's status lines");
    EXPECT_EQ(CountLog("HTTP Server: Error (starting)"), 1);
    EXPECT_EQ(CountLog("TCP/IP Error (startup TCP)"), 1);
    for (int fd : holders)
        ::close(fd);
}

// An address that is not this machine's: the lines say where the listeners cannot listen, and blame no
// other program.
TEST_F(StartupTest, AListenerAtAnAddressNotOnThisMachineSaysWhereAndBlamesNoOtherProgram) {
    const std::string http = std::to_string(net_test::FreePort());
    const std::string tcp = std::to_string(net_test::FreePort());
    StartFailingListeners("TCPEnabled=1\r\nTCPPort=" + tcp +
                          "\r\n[HTTP]\r\nEnabled=1\r\nAddr=192.0.2.1\r\nPort=" + http + "\r\n");
    const std::string notHere = "Error 10049 in function Bind Address not available: ";
    EXPECT_EQ(Told("HTTP Server: Error (starting)"), "HTTP Server: Error (starting): " + notHere +
                                                         "the web server cannot take HTTP 192.0.2.1:" + http);
    EXPECT_EQ(Told("TCP/IP Error (startup TCP)"), "TCP/IP Error (startup TCP): " + notHere +
                                                      "the TCP status feed cannot take TCP 192.0.2.1:" + tcp);
    EXPECT_EQ(CountLog("another program"), 0);
}
