// The weather posts against the scripted HTTP peer and tinyproxy: the request on the wire, the reply
// handling, the menu items, failures logged once and the password kept out of the log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/publish/PublishTestSupport.h"

using publish_test::HttpPeer;
using publish_test::PeerStationTest;

namespace {

const std::string kHeader = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
                            "Content-Type: application/x-www-form-urlencoded\r\n"
                            "User-Agent: Mozilla/3.0 (compatible)\r\n";

class WeatherPostsTest : public PeerStationTest {};

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

TEST_F(WeatherPostsTest, FailuresAreLoggedOnceUntilAPostSucceedsAndNeverAsSuccess) {
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
    // A status of 400 or more and a reply without the word are failures, each starting a new run.
    StationSettings.W4UURL = base + "/bad";
    form.PostToWeather4U->Click();
    ASSERT_TRUE(RunUntilLogged("POST/W4U: Error: 400 Bad Request")) << Log();
    StationSettings.W4UURL = base + "/reply/INVALIDPASSWORDID";
    form.PostToWeather4U->Click();
    ASSERT_TRUE(RunUntil([&] { return form.PostToWeather4U->Enabled(); }));
    EXPECT_EQ(CountLog("POST/W4U: Error: INVALIDPASSWORDID"), 0); // the run of failures goes on
    StationSettings.W4UURL = base + "/reply/Logged";
    form.PostToWeather4U->Click();
    ASSERT_TRUE(RunUntil([&] { return CountLog("POST to Weather4You: OK") == 2; })) << Log();
    StationSettings.W4UURL = base + "/reply/INVALIDPASSWORDID";
    form.PostToWeather4U->Click();
    ASSERT_TRUE(RunUntilLogged("POST/W4U: Error: INVALIDPASSWORDID")) << Log();
    EXPECT_EQ(CountLog("POST to Weather4You: OK"), 2);
    EXPECT_EQ(peer.Requests().size(), 5u); // no second request after the 400
}

TEST_F(WeatherPostsTest, APostWhileTheClientIsBusyLeavesTheRunningRequestAlone) {
    HttpPeer peer;
    ASSERT_GT(peer.Port(), 0);
    TMainForm& form = StartWith("[Weather]\r\nDatabaseURL=" + peer.Url("/silent") + "\r\n");
    CurrentReadings.Temperature = 12.5f;
    form.PostToDatabase();
    ASSERT_TRUE(RunUntil([&] { return !peer.Requests().empty(); }));
    CurrentReadings.Temperature = 99.0f;
    form.PostToDatabase();
    EXPECT_EQ(CountLog("DATABASE: Error: HTTP component is busy"), 1);
    std::vector<std::string> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].substr(requests[0].size() - 9), "TEMP=12.5");
    EXPECT_EQ(form.PostStreams[6]->AsString(), "TEMP=12.5");
    CurrentReadings = TCurrentReadings{};
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
    form.PostToWUnder();
    ASSERT_TRUE(RunUntilLogged("POST to Weather Underground: OK")) << Log();
    EXPECT_EQ(CountLog("WU PROXY: 127.0.0.1:" + std::to_string(proxyPort)), 1);
    std::vector<std::string> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("POST /reply/success HTTP/1.", 0), 0u) << requests[0];
    EXPECT_NE(requests[0].find("\r\nVia: "), std::string::npos) << requests[0];
    EXPECT_NE(requests[0].find("ID=YourUserID&PASSWORD=MoLeSkIn&dateutc=2026-12-06+13:03:09"),
              std::string::npos);
}
