// The publishing side over a station that is no main window: every value a page, a post or a service
// reads comes through TPublishingHost, and what a service keeps (its running flag, its DDE items, the
// pages it made) lands there, with nothing of a window behind it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/NetTestSupport.h"
#include "onewire/Humidity.h"
#include "platform/Component.h"
#include "platform/Files.h"
#include "platform/MemoryStream.h"
#include "platform/StringList.h"
#include "publish/DdeServer.h"
#include "publish/PublishContext.h"
#include "publish/ReportValues.h"
#include "publish/StatusPage.h"
#include "publish/Templates.h"
#include "publish/WeatherXml.h"
#include "publish/WebServer.h"
#include "station/PublishingHost.h"
#include "support/FiledSensors.h"
#include "support/RefusedSocketOption.h"
#include "support/StationFixture.h"

namespace {

class FakeStation final : public TPublishingHost {
public:
    FakeStation() {
        for (auto& stream : streams)
            stream = std::make_unique<platform::TMemoryStream>();
    }

    void LogStatus(const std::string& text) override { log.push_back(text); }
    const TCurrentReadings& Readings() const override { return readings; }
    const TStationSettings& Settings() const override { return settings; }
    Humidity* MainHumidity() const override { return nullptr; }
    const std::string& StatusLineText() const override { return statusLine; }
    std::string VersionText() const override {
        if (versionLost) throw std::runtime_error("no version");
        return "07.12.2026";
    }
    std::string SunriseText() const override { return "07.58"; }
    std::string SunsetText() const override { return "16.21"; }
    std::string RunTimeText() override { return "Running 2 days"; }
    std::string TotalSamplesText() override { return "123 samples"; }
    bool DebugLogging() const override { return false; }
    const std::string& AprsProxy() const override { return proxy; }
    void SetCurrentTime(const platform::DosTime& time) override { stamped.push_back(time); }
    TTrendGraphs TrendGraphs() override { return {}; }
    platform::gfx::Bitmap WindowImage() override { return {}; }
    bool ServiceRunning(TPublishingService service) const override {
        auto it = running.find(service);
        return it != running.end() && it->second;
    }
    void SetServiceRunning(TPublishingService service, bool on) override { running[service] = on; }
    TDdeItems& DdeItems() override { return dde; }
    platform::TComponent* CommandOwner() override { return &owner; }
    platform::TStringList& GeneratedPages() override { return pages; }
    platform::TStringList& UploadList() override { return uploads; }
    platform::TMemoryStream& PostStream(int index) override { return *streams[index]; }
    void EnableTransferCommand(TTransferCommand command, bool enabled) override {
        commands[command] = enabled;
    }
    void TransferEnded(TTransferCommand, bool, const std::string&) override {}

    bool versionLost = false;
    TCurrentReadings readings;
    TStationSettings settings;
    std::string statusLine, proxy;
    std::vector<std::string> log;
    std::vector<platform::DosTime> stamped;
    std::map<TPublishingService, bool> running;
    std::map<TTransferCommand, bool> commands;
    TDdeItems dde;
    platform::TComponent owner{nullptr, "Station"};
    platform::TStringList pages, uploads;
    std::unique_ptr<platform::TMemoryStream> streams[8];
};

// A temporary folder and a simulated clock, and no main window at all.
class PublishingHost : public korvane_test::StationFixture {
protected:
    void SetUp() override {
        StationFixture::SetUp();
        station.settings.HTMLDir = folder_;
        station.settings.TEMPLATEDir = folder_ + "/templates";
    }

    FakeStation station;
    publish::TPublishContext context{station};
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(PublishingHost, PagesReadTheStationsTextsAndSettingsThroughItsFace) {
    EXPECT_EQ(publish::TemplateTagValue(context, "abcSunrise"), "07.58");
    EXPECT_EQ(publish::TemplateTagValue(context, "abcSunset"), "16.21");

    station.settings.PrintSunriseSunset = true;
    std::string page = publish::StatusPageText(context);
    EXPECT_TRUE(Has(page, "Sunrise: <B>07.58</B>")) << page;
    EXPECT_TRUE(Has(page, "Sunset: <B>16.21</B>"));
    EXPECT_TRUE(Has(page, "Running 2 days"));
    EXPECT_TRUE(Has(page, "123 samples"));
    EXPECT_TRUE(Has(page, "Korvane 07.12.2026"));
    ASSERT_EQ(publish::WriteWeatherHTML(context), 0);
    EXPECT_TRUE(platform::FileExists(Path("weather.html"))) << "the page goes to the station's HTML folder";
    station.settings.PrintSunriseSunset = false;
    EXPECT_FALSE(Has(publish::StatusPageText(context), "Sunrise"));
}

TEST_F(PublishingHost, TheXmlDocumentStampsTheStationsTimeAndNamesItsVersion) {
    std::string xml = publish::BuildXML(context, false);
    EXPECT_TRUE(Has(xml, "<name>Korvane 07.12.2026</name>")) << xml;
    ASSERT_EQ(station.stamped.size(), 1u);
    EXPECT_EQ(station.stamped[0].ti_hour, 14); // the fixture's clock: 14:03:09
    EXPECT_EQ(station.stamped[0].ti_min, 3);
    EXPECT_EQ(station.stamped[0].ti_sec, 9);
}

TEST_F(PublishingHost, TheTemplatesListTheirPagesOnTheStation) {
    std::filesystem::create_directory(Path("templates"));
    Write("templates/now.html", "<#abcSunrise>");
    station.pages.Add("stale.html");
    EXPECT_TRUE(publish::ProcessTemplates(context));
    ASSERT_EQ(station.pages.Count(), 1);
    EXPECT_EQ(station.pages[0], "now.html");
    EXPECT_EQ(Read("now.html"), "07.58");
}

TEST_F(PublishingHost, ReportsTakeTheReadingsTheyAreGiven) {
    korvane_test::File(SensorSet().HumiditySensors); // the main thermometer and humidity sensor
    korvane_test::MarkAllCurrent(station.readings);
    station.readings.TemperatureC = -4.5f;
    station.readings.Humidity = 81.0f;
    TReportValues values = GatherReportValues(station.Readings());
    ClearSensorTables();
    EXPECT_FLOAT_EQ(values.TemperatureC, -4.5f);
    EXPECT_FLOAT_EQ(values.HumidityPercent, 81.0f);
}

TEST_F(PublishingHost, TheDdeServiceKeepsItsFlagAndItemsOnTheStation) {
    {
        TDdeServer dde(station);
        dde.StartDDEServices();
        EXPECT_TRUE(station.ServiceRunning(TPublishingService::DDE));
        ASSERT_NE(station.dde.DDEWeather, nullptr);
        EXPECT_EQ(station.dde.DDEWeather->Owner(), &station.owner);
        EXPECT_EQ(station.log.back(), "SERVER: DDE services started");
        dde.StopDDEServices();
        EXPECT_FALSE(station.ServiceRunning(TPublishingService::DDE));
        EXPECT_EQ(station.dde.DDEWeather, nullptr);
        EXPECT_EQ(station.log.back(), "SERVER: DDE services shutting down");
    }
    EXPECT_EQ(station.owner.ComponentCount(), 0) << "the stopped service leaves nothing on the station";
}

TEST_F(PublishingHost, AWebAnswerThatCannotBeMadeIsA404ToldWithTheAnswersName) {
    platform::Clock::Install(std::make_shared<platform::RealClock>()); // the client is a real socket
    station.settings.HTTPAddr = "127.0.0.1";
    station.settings.HTTPPort = "0";
    publish::TWebServer web(context);
    web.StartHTTPServices();
    ASSERT_TRUE(station.ServiceRunning(TPublishingService::HTTP));
    const auto port = static_cast<uint16_t>(std::stoi(web.HTTPServer()->WSocketServer()->GetXPort()));
    station.versionLost = true; // every text answer names the version in its header
    for (const char* path : {"/", "/WAP", "/XML"}) {
        int fd = net_test::RawConnect(port);
        const std::string request = std::string("GET ") + path + " HTTP/1.0\r\n\r\n";
        ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(request.size()));
        std::string answer;
        platform::EventLoop::Get().RunUntil([&] { return !net_test::DrainInto(fd, answer); }, 5000);
        ::close(fd);
        EXPECT_EQ(answer.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << path << answer;
    }
    auto told = [&](const std::string& line) {
        return std::count(station.log.begin(), station.log.end(), line);
    };
    EXPECT_EQ(told("HTTP Server: Error (sending startpage): no version"), 2); // the HTML and the WML page
    EXPECT_EQ(told("HTTP Server: Error (sending XML): no version"), 1);
}

// The web server's listener leaves a connection that has sent nothing with the system. Where the system
// refuses that, the server takes each connection at once and answers as ever, and the log says so once
// however often the server starts (the refusal made in a child: it cannot be lifted).
TEST_F(PublishingHost, AWebServerThatCannotDeferServesAllTheSameAndSaysSoOnce) {
    platform::Clock::Install(std::make_shared<platform::RealClock>()); // the client is a real socket
    station.settings.HTTPAddr = "127.0.0.1";
    station.settings.HTTPPort = "0";
    const std::string told = "HTTP Server: connections that send nothing are taken at once, the system does "
                             "not defer them: Protocol not available (error 10042)";
    auto serve = [&] {
        publish::TWebServer web(context);
        std::string report;
        for (int start = 0; start < 2; ++start) {
            web.StartHTTPServices();
            if (!station.ServiceRunning(TPublishingService::HTTP)) return report + "not started\n";
            const int listener = web.HTTPServer()->WSocketServer()->HSocket();
            report += "deferral " + std::to_string(net_test::DeferAcceptSeconds(listener)) + "\n";
            int fd = net_test::RawConnect(
                static_cast<uint16_t>(std::stoi(web.HTTPServer()->WSocketServer()->GetXPort())));
            ::send(fd, "GET /XML HTTP/1.0\r\n\r\n", 22, MSG_NOSIGNAL);
            std::string answer;
            platform::EventLoop::Get().RunUntil([&] { return !net_test::DrainInto(fd, answer); }, 10000);
            ::close(fd);
            report += answer.substr(0, answer.find("\r\n")) + "\n";
            web.StopHTTPServices();
        }
        return report;
    };
    EXPECT_EQ(serve(), "deferral 3\nHTTP/1.0 200 OK\ndeferral 3\nHTTP/1.0 200 OK\n");
    EXPECT_EQ(std::count(station.log.begin(), station.log.end(), told), 0);
    const std::string refused = korvane_test::InChild([&] {
        if (!korvane_test::RefuseSocketOption(IPPROTO_TCP, TCP_DEFER_ACCEPT, ENOPROTOOPT))
            return std::string("the system would not refuse\n");
        station.log.clear();
        std::string report = serve();
        report += "told " + std::to_string(std::count(station.log.begin(), station.log.end(), told)) + "\n";
        return report;
    });
    EXPECT_EQ(refused, "deferral 0\nHTTP/1.0 200 OK\ndeferral 0\nHTTP/1.0 200 OK\ntold 1\n");
}
