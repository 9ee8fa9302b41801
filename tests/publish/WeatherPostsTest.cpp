// The weather posts against the scripted HTTP peer and tinyproxy: the request on the wire, the reply
// handling, the menu items, failures logged once per cause and the password kept out of the log; a
// huge or chunked reply read only as far as it is used, and a reply that drips in ended before the
// next post is due.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "onewire/DS1820.h"
#include "onewire/Humidity.h"
#include "publish/WeatherPosts.h"
#include "support/FiledSensors.h"
#include "tests/publish/PublishTestSupport.h"

using publish_test::HttpPeer;
using publish_test::PeerStationTest;

namespace {

const std::string kHeader = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
                            "Content-Type: application/x-www-form-urlencoded\r\n"
                            "User-Agent: Mozilla/3.0 (compatible)\r\n";

class WeatherPostsTest : public PeerStationTest {};

// The failure line of a 2xx reply without the service's word.
std::string Unconfirmed(const std::string& service, const std::string& word, const std::string& reply) {
    return "POST/" + service + ": Error: the reply lacks \"" + word + "\", the word that confirms a post; " +
           (reply.empty() ? "it is empty" : "it begins \"" + reply + "\"");
}

// This process's resident memory in kB.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// An HTTP server on the loop, on the station's own clock: it reads a request and answers with a status
// line that comes one byte a second, for ever.
class DripPeer {
public:
    DripPeer() {
        platform::EventLoop& loop = platform::EventLoop::Get();
        listener_ = net_test::RawListen(port_);
        listenWatch_ = loop.WatchFd(listener_, POLLIN, [this](short) {
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) clients_[fd] = 0;
            ++connections_;
        });
        timer_ = loop.CreateTimer([this] { Drip(); });
        loop.StartTimer(timer_, 1000);
    }
    ~DripPeer() {
        platform::EventLoop& loop = platform::EventLoop::Get();
        loop.DestroyTimer(timer_);
        loop.UnwatchFd(listenWatch_);
        for (auto& client : clients_)
            ::close(client.first);
        ::close(listener_);
    }
    uint16_t Port() const { return port_; }
    int Connections() const { return connections_; }
    int Dripped() const { return dripped_; }

private:
    void Drip() {
        static const std::string kReply = "HTTP/1.0 200 OK\r\nX-Drip: " + std::string(100000, 'a');
        for (auto it = clients_.begin(); it != clients_.end();) {
            std::string request;
            bool open = net_test::DrainInto(it->first, request);
            if (open && ::send(it->first, &kReply[it->second % kReply.size()], 1, MSG_NOSIGNAL) == 1) {
                ++it->second;
                ++dripped_;
                ++it;
            } else {
                ::close(it->first);
                it = clients_.erase(it);
            }
        }
    }

    uint16_t port_ = 0;
    int listener_ = -1, listenWatch_ = 0, timer_ = 0;
    std::map<int, size_t> clients_; // descriptor -> bytes sent
    int connections_ = 0, dripped_ = 0;
};

} // namespace

TEST_F(WeatherPostsTest, PostGoesOutByteForByteAndTheSuccessWordIsLoggedWithoutThePassword) {
    HttpPeer peer;
    ASSERT_GT(peer.Port(), 0) << "the scripted HTTP peer did not start";
    TMainForm& form =
        StartWith("[Weather]\r\nDebug=1\r\n[WUNDERGROUND]\r\nURL=" + peer.Url("/reply/success") +
                  "\r\nUserID=me\r\nPassword=p&ss word\r\nLogSuccess=1\r\n");
    form.PosttoWeatherUnderground->Click();
    EXPECT_FALSE(form.PosttoWeatherUnderground->Enabled());
    ASSERT_TRUE(RunUntilLogged("POST to Weather Underground: OK")) << Log();
    EXPECT_TRUE(form.PosttoWeatherUnderground->Enabled());
    const std::string body = "ID=me&PASSWORD=p%26ss%20word&dateutc=2026-12-06+13:03:09"
                             "&weather=n/a&clouds=n/a&softwaretype=Malvoren+1-Wire&action=updateraw";
    std::vector<std::string> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], "POST /reply/success HTTP/1.0\r\n" + kHeader +
                               "Host: 127.0.0.1:" + std::to_string(peer.Port()) +
                               "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(CountLog("WU Data sent: ID=me&PASSWORD=****&dateutc="), 1);
    EXPECT_EQ(CountLog("WU Response: success"), 1);
    EXPECT_EQ(CountLog("p%26ss"), 0);
    EXPECT_EQ(CountLog("p&ss"), 0);
}

// The dew point goes out in Fahrenheit on a station of either unit: 5 C at 73 % is a dew point of 33.0 F.
TEST_F(WeatherPostsTest, TheDewPointGoesOutInFahrenheitWhateverTheStationsUnit) {
    HttpPeer peer;
    ASSERT_GT(peer.Port(), 0);
    TMainForm& form =
        StartWith("[WUNDERGROUND]\r\nURL=" + peer.Url("/reply/success") + "\r\nLogSuccess=1\r\n");
    korvane_test::File(SensorSet().DS1820Sensors);
    korvane_test::File(SensorSet().HumiditySensors);
    TCurrentReadings& readings = form.CurrentReadings;
    korvane_test::MarkAllCurrent(readings);
    readings.TemperatureC = 5.0f;
    readings.TemperatureF = readings.Temperature = 41.0f;
    readings.Humidity = 73.0f;
    for (const bool celsius : {false, true}) {
        form.BusSession.UseCelsius = celsius;
        const int posted = CountLog("POST to Weather Underground: OK");
        form.Publishing().PostToWUnder();
        ASSERT_TRUE(RunUntil([&] { return CountLog("POST to Weather Underground: OK") > posted; })) << Log();
    }
    const std::vector<std::string> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const std::string& request : requests)
        EXPECT_NE(request.find("&tempf=41.0&humidity=73.0&dewptf=33.0&"), std::string::npos) << request;
}

// A URL whose user-info password holds '@': the host follows the last '@', the password goes whole into
// the authorisation, and the debug line shows it masked whole.
TEST_F(WeatherPostsTest, AUrlPasswordHoldingAnAtSignReachesTheHostAndIsMaskedWhole) {
    HttpPeer peer;
    ASSERT_GT(peer.Port(), 0);
    const std::string hostPort = "127.0.0.1:" + std::to_string(peer.Port());
    StartWith("[Weather]\r\nDebug=1\r\n[WUNDERGROUND]\r\nURL=http://wx:p@ss@" + hostPort +
              "/reply/success\r\nLogSuccess=1\r\n");
    form_->Publishing().PostToWUnder();
    ASSERT_TRUE(RunUntilLogged("POST to Weather Underground: OK")) << Log();
    std::vector<std::string> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].find("\r\nAuthorization: Basic d3g6cEBzcw==\r\n"), std::string::npos) // wx:p@ss
        << requests[0];
    EXPECT_EQ(CountLog("WU URL: http://wx:****@" + hostPort + "/reply/success"), 1) << Log();
    EXPECT_EQ(CountLog("ss@"), 0) << Log();
}

TEST_F(WeatherPostsTest, FailuresAreLoggedOncePerCauseUntilAPostSucceedsAndNeverAsSuccess) {
    uint16_t port = net_test::FreePort();
    std::string base = "http://127.0.0.1:" + std::to_string(port);
    TMainForm& form = StartWith("[W4U]\r\nURL=" + base + "/reply/Logged\r\nLogSuccess=1\r\n");
    // Nothing listens: refused twice, told once, the menu item back each time.
    for (int i = 0; i < 2; ++i) {
        form.PostToWeather4U->Click();
        ASSERT_TRUE(RunUntil([&] { return form.PostToWeather4U->Enabled(); })) << Log();
    }
    EXPECT_EQ(CountLog("POST/W4U: Error: "), 1) << Log();
    // The peer comes back on that port.
    HttpPeer peer(port);
    ASSERT_EQ(peer.Port(), port);
    form.PostToWeather4U->Click();
    ASSERT_TRUE(RunUntilLogged("POST to Weather4You: OK")) << Log();
    EXPECT_EQ(CountLog("POST/W4U: OK again after 2 failed attempts"), 1) << Log();
    // A status of 400 or more and a reply without the word are failures, each cause told once.
    StationSettings.W4UURL = base + "/bad";
    form.PostToWeather4U->Click();
    ASSERT_TRUE(RunUntilLogged("POST/W4U: Error: 400 Bad Request")) << Log();
    StationSettings.W4UURL = base + "/reply/INVALIDPASSWORDID";
    form.PostToWeather4U->Click();
    ASSERT_TRUE(RunUntilLogged(Unconfirmed("W4U", "Logged", "INVALIDPASSWORDID"))) << Log();
    StationSettings.W4UURL = base + "/reply/Logged";
    form.PostToWeather4U->Click();
    ASSERT_TRUE(RunUntil([&] { return CountLog("POST to Weather4You: OK") == 2; })) << Log();
    StationSettings.W4UURL = base + "/reply/INVALIDPASSWORDID";
    form.PostToWeather4U->Click();
    ASSERT_TRUE(RunUntil([&] { return CountLog(Unconfirmed("W4U", "Logged", "INVALIDPASSWORDID")) == 2; }))
        << Log();
    EXPECT_EQ(CountLog("POST to Weather4You: OK"), 2);
    EXPECT_EQ(peer.Requests().size(), 5u); // no second request after the 400
}

// A 2xx reply that does not confirm the post says which word was missing and how the reply began.
TEST_F(WeatherPostsTest, AReplyWithoutTheServicesWordNamesTheWordAndShowsHowTheReplyBegins) {
    HttpPeer peer;
    ASSERT_GT(peer.Port(), 0);
    TMainForm& form = StartWith("[W4U]\r\nURL=" + peer.Url("/reply/OK") +
                                "\r\n[WUNDERGROUND]\r\nURL=" + peer.Url("/reply/") + "\r\n");
    form.PostToWeather4U->Click();
    form.PosttoWeatherUnderground->Click();
    ASSERT_TRUE(RunUntil([&] {
        return form.PostToWeather4U->Enabled() && form.PosttoWeatherUnderground->Enabled();
    })) << Log();
    EXPECT_EQ(CountLog(Unconfirmed("W4U", "Logged", "OK")), 1) << Log();
    EXPECT_EQ(CountLog(Unconfirmed("WU", "success", "")), 1) << Log();
}

TEST_F(WeatherPostsTest, APostWhileTheClientIsBusyLeavesTheRunningRequestAlone) {
    HttpPeer peer;
    ASSERT_GT(peer.Port(), 0);
    TMainForm& form = StartWith("[Weather]\r\nDatabaseURL=" + peer.Url("/silent") + "\r\n");
    korvane_test::File(SensorSet().DS1820Sensors);
    korvane_test::MarkAllCurrent(form.CurrentReadings);
    form.CurrentReadings.Temperature = 12.5f;
    form.Publishing().PostToDatabase();
    ASSERT_TRUE(RunUntil([&] { return !peer.Requests().empty(); }));
    form.CurrentReadings.Temperature = 99.0f;
    form.Publishing().PostToDatabase();
    EXPECT_EQ(CountLog("DATABASE: Error: HTTP component is busy"), 1);
    std::vector<std::string> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].substr(requests[0].size() - 9), "TEMP=12.5");
    EXPECT_EQ(form.PostStreams[6]->AsString(), "TEMP=12.5");
}

TEST_F(WeatherPostsTest, ThroughTheProxyThePostReachesTheServer) {
    ASSERT_TRUE(net_test::HavePeer("tinyproxy")) << "tinyproxy is missing (scripts/install-deps)";
    HttpPeer peer;
    ASSERT_GT(peer.Port(), 0);
    std::filesystem::path dir = folder_ + "/proxy";
    std::filesystem::create_directories(dir);
    uint16_t proxyPort = net_test::FreePort();
    std::ofstream(dir / "tinyproxy.conf") << "Port " << proxyPort << "\nListen 127.0.0.1\nAllow 127.0.0.1\n"
                                          << "Timeout 30\nMaxClients 20\n";
    net_test::PeerProcess proxy({"tinyproxy", "-d", "-c", (dir / "tinyproxy.conf").string()});
    ASSERT_TRUE(net_test::AwaitListener(proxyPort)) << "tinyproxy did not start";
    TMainForm& form = StartWith(
        "[Weather]\r\nDebug=1\r\n[WUNDERGROUND]\r\nURL=" + peer.Url("/reply/success") +
        "\r\nLogSuccess=1\r\n[PROXY]\r\nEnabled=1\r\nAddress=127.0.0.1\r\nPort=" + std::to_string(proxyPort) +
        "\r\n");
    form.Publishing().PostToWUnder();
    ASSERT_TRUE(RunUntilLogged("POST to Weather Underground: OK")) << Log();
    EXPECT_EQ(CountLog("WU PROXY: 127.0.0.1:" + std::to_string(proxyPort)), 1);
    std::vector<std::string> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("POST /reply/success HTTP/1.", 0), 0u) << requests[0];
    EXPECT_NE(requests[0].find("\r\nVia: "), std::string::npos) << requests[0];
    EXPECT_NE(requests[0].find("ID=YourUserID&PASSWORD=MoLeSkIn&dateutc=2026-12-06+13:03:09"),
              std::string::npos);
}

TEST_F(WeatherPostsTest, AReplyOfAGigabyteIsReadOnlyAsFarAsItIsUsedAndItsMemoryGoesBack) {
    HttpPeer peer;
    ASSERT_GT(peer.Port(), 0);
    TMainForm& form =
        StartWith("[WUNDERGROUND]\r\nURL=" + peer.Url("/huge/1073741824") + "\r\nLogSuccess=1\r\n");
    const long before = ResidentKb();
    form.Publishing().PostToWUnder();
    ASSERT_TRUE(RunUntilLogged("POST to Weather Underground: OK", 120000)) << Log();
    const long after = ResidentKb();
    RecordProperty("rss_before_kb", static_cast<int>(before));
    RecordProperty("rss_after_kb", static_cast<int>(after));
    EXPECT_LT(after - before, 32 * 1024) << "RSS " << before << " kB before, " << after << " kB after";
    EXPECT_EQ(form.PostStreams[3]->Bytes().capacity(), 0u); // the receive stream's memory is back
    EXPECT_TRUE(publishing->Posts().HTTPClientWU->ReplyCut());
    const int header = 45; // "HTTP/1.0 200 OK", "Content-Type: text/plain" and the empty line
    EXPECT_EQ(publishing->Posts().HTTPClientWU->RcvdCount(), 65536 - header);
}

// The scheduler starts a post in the first pass of its minute, a little earlier or later into each: a
// reply that drips in is ended before the next minute, whose post then finds the client ready.
TEST_F(WeatherPostsTest, AReplyThatDripsInIsEndedBeforeTheNextIntervalStarts) {
    platform::Clock::Install(clock_); // the station's simulated clock drives the peer as well
    DripPeer drip;
    TMainForm& form = StartWith(
        "[WUNDERGROUND]\r\nInterval=1\r\nURL=http://127.0.0.1:" + std::to_string(drip.Port()) + "/\r\n");
    const int64_t offsets[] = {300, 200, 400};
    const int64_t minute = (clock_->UnixTimeMs() / 60000 + 1) * 60000;
    for (int post = 1; post <= 3; ++post) {
        const int64_t due = minute + (post - 1) * 60000 + offsets[post - 1];
        platform::EventLoop::Get().RunFor(static_cast<uint32_t>(due - clock_->UnixTimeMs()));
        EXPECT_TRUE(form.PosttoWeatherUnderground->Enabled()) << post; // the previous post has ended
        EXPECT_EQ(drip.Connections(), post - 1);
        form.Publishing().PostToWUnder();
    }
    ASSERT_TRUE(RunUntil([&] { return form.PosttoWeatherUnderground->Enabled(); }, 10 * 60000)) << Log();
    EXPECT_LT(clock_->UnixTimeMs(), minute + 3 * 60000);
    EXPECT_EQ(drip.Connections(), 3);
    EXPECT_GT(drip.Dripped(), 100); // every byte restarted the time-out for silence
    EXPECT_EQ(CountLog("HTTP component is busy"), 0) << Log();
    EXPECT_EQ(CountLog("POST/WU: Error: No complete reply within 58 seconds"), 1) << Log();
}

// A chunked reply is told by its first chunk's text, and one too long to read whole says so.
TEST_F(WeatherPostsTest, AChunkedReplyIsToldByItsTextOrItsLength) {
    HttpPeer peer;
    ASSERT_GT(peer.Port(), 0);
    TMainForm& form = StartWith("[WUNDERGROUND]\r\nURL=" + peer.Url("/chunked/100") + "\r\n");
    form.Publishing().PostToWUnder();
    ASSERT_TRUE(RunUntil([&] { return form.PosttoWeatherUnderground->Enabled(); })) << Log();
    EXPECT_EQ(CountLog(Unconfirmed("WU", "success", "INVALIDPASSWORDID")), 1) << Log();
    StationSettings.WUURL = peer.Url("/chunked/1073741824");
    form.Publishing().PostToWUnder();
    EXPECT_TRUE(RunUntilLogged(
        "POST/WU: Error: reply cut at 65536 bytes, without \"success\" in what was read", 120000))
        << Log();
}

TEST_F(WeatherPostsTest, APeerWhoseFaultChangesIsLoggedOncePerCauseAndOnceWhenItRecovers) {
    HttpPeer peer;
    ASSERT_GT(peer.Port(), 0);
    TMainForm& form = StartWith(
        "[WUNDERGROUND]\r\nURL=" + peer.Url("/script/nostatus,nostatus,500,500,drop,ok,ok") + "\r\n");
    for (int post = 0; post < 7; ++post) {
        form.Publishing().PostToWUnder();
        ASSERT_TRUE(RunUntil([&] { return form.PosttoWeatherUnderground->Enabled(); })) << Log();
    }
    EXPECT_EQ(CountLog("POST/WU: Error: no HTTP status line in the reply"), 1) << Log();
    EXPECT_EQ(CountLog("POST/WU: Error: 500 Internal Server Error"), 1) << Log();
    EXPECT_EQ(CountLog("POST/WU: Error: Connection closed without a reply"), 1) << Log();
    EXPECT_EQ(CountLog("POST/WU: OK again after 5 failed attempts"), 1) << Log();
    EXPECT_EQ(CountLog("POST/WU"), 4) << Log();
}
