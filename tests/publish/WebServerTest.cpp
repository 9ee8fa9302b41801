// The web server on the demo station over loopback, on the machine's clock: curl and a raw socket for
// every kind of answer, xmllint on the XML answer, giflib on the image answers (the station's own graphs,
// and a counting stand-in for them), headless Chromium on the start page and on its graphs.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>

#include "PublishStation.h"
#include "net/NetTestSupport.h"
#include "platform/Strings.h"

using namespace publish_test;

namespace {

struct Answer {
    std::string status;
    std::vector<std::string> headers;
    std::string body;
};

// Splits a whole answer into its status line, header lines and body.
Answer Parse(const std::string& raw) {
    Answer a;
    size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos) return a;
    std::string head = raw.substr(0, end);
    a.body = raw.substr(end + 4);
    size_t at = 0;
    for (size_t lf; (lf = head.find("\r\n", at)) != std::string::npos; at = lf + 2)
        (a.status.empty() ? a.status : a.headers.emplace_back()) = head.substr(at, lf - at);
    (a.status.empty() ? a.status : a.headers.emplace_back()) = head.substr(at);
    return a;
}

struct GifSize {
    int width = 0, height = 0;
    bool ok = false;
};

GifSize DecodeGif(const std::string& bytes) {
    struct Reader {
        const std::string* data;
        size_t at = 0;
    } reader{&bytes};
    auto read = [](GifFileType* gif, GifByteType* out, int n) -> int {
        auto* r = static_cast<Reader*>(gif->UserData);
        int take = static_cast<int>(std::min<size_t>(static_cast<size_t>(n), r->data->size() - r->at));
        std::memcpy(out, r->data->data() + r->at, static_cast<size_t>(take));
        r->at += static_cast<size_t>(take);
        return take;
    };
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, read, &error);
    GifSize size;
    if (gif == nullptr) return size;
    size.ok = DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1;
    size.width = gif->SWidth;
    size.height = gif->SHeight;
    DGifCloseFile(gif, &error);
    return size;
}

} // namespace

class WebServer : public PublishStation {
protected:
    void SetUp() override {
        PublishStation::SetUp();
        platform::Clock::Install(std::make_shared<platform::RealClock>());
    }

    TMainForm& StartServing(const std::string& settings = "") {
        TMainForm& form = StartDemo("SampleInterval=3600000\r\n" + settings +
                                    "[HTTP]\r\nEnabled=1\r\nAddr=127.0.0.1\r\nPort=0\r\n");
        EXPECT_TRUE(
            platform::EventLoop::Get().RunUntil([&] { return SessionRunning && form.HTTPRunning; }, 30000));
        return form;
    }

    std::string Port() const { return publishing->WebServer().HTTPServer()->WSocketServer()->GetXPort(); }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + Port() + path; }

    // A client program run while the station serves; its standard output.
    std::string Run(const std::vector<std::string>& argv, uint32_t limitMs = 20000, int* exitCode = nullptr) {
        net_test::PeerProcess peer(argv);
        EXPECT_TRUE(platform::EventLoop::Get().RunUntil([&] { return peer.Done(); }, limitMs)) << argv[0];
        if (exitCode) *exitCode = peer.ExitCode();
        return peer.Output();
    }
    Answer Curl(const std::string& path, std::vector<std::string> options = {}) {
        std::vector<std::string> argv = {"curl", "-sS", "--max-time", "2", "--path-as-is", "-i"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(Url(path));
        return Parse(Run(argv));
    }

    // One request on a raw connection: the whole answer up to the server's close, or what came within
    // the limit.
    std::string Raw(const std::string& request, uint32_t limitMs = 2000, bool* closed = nullptr) {
        int fd = net_test::RawConnect(static_cast<uint16_t>(std::stoi(Port())));
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(request.size()));
        std::string got;
        bool ended = false;
        platform::EventLoop::Get().RunUntil([&] { return ended = !net_test::DrainInto(fd, got); }, limitMs);
        ::close(fd);
        if (closed) *closed = ended;
        return got;
    }

    // Stand-ins for the main window's graphs: a 500 x 400 picture per graph, counted.
    void InstallGraphs() {
        publish::TGraphSource source;
        source.DrawTrend = [this](int trend, platform::gfx::Bitmap& bitmap) {
            ++drawn;
            bitmap.SetSize(500, 400);
            static const uint32_t kCurves[7] = {0,        0xFF0000, 0x00FF00, 0x0000FF,
                                                0xFFFF00, 0x00FFFF, 0xFF00FF};
            for (int y = 0; y < 400; ++y)
                for (int x = 0; x < 500; ++x)
                    bitmap.SetRgb(x, y, (x + y) % 50 < 2 ? kCurves[trend] : 0xFFFFFF);
            return true;
        };
        source.TrendVersion = [this](int) { return version; };
        source.DrawFormImage = [](platform::gfx::Bitmap& bitmap) {
            bitmap.SetSize(320, 200);
            return true;
        };
        publishing->SetGraphSource(source);
    }

    int drawn = 0;
    uint64_t version = 1;
};

TEST_F(WebServer, EveryTextAnswerHasAStatusLineAndExactlyFourHeaders) {
    REQUIRE_PEER("curl");
    StartServing();
    struct Case {
        const char* path;
        const char* type;
        const char* inBody;
    };
    for (const Case& c :
         {Case{"/", "text/html", "<TITLE>Malvoren Weather Station</TITLE>"},
          Case{"/index.html", "text/html", "Current conditions"},
          Case{"/xml", "text/html", "Current conditions"}, // keywords are case-sensitive
          Case{"/XML", "text/xml", "<weather>"},
          Case{"/WAP/DS1820/2", "text/wml", "-//WAPFORUM//DTD WML 1.1//EN"},
          Case{"/RAIN", "text/html", "<TITLE>Korvane: Sensor values</TITLE>"},
          Case{"/WIND", "text/html", "<B>Wind</B>"}, Case{"/BAROMETER", "text/html", "Sensor values"},
          Case{"/DS1820/6", "text/html", "Sensor values"},
          Case{"/HUMIDITY/0", "text/html", "Sensor values"}}) {
        Answer a = Curl(c.path);
        EXPECT_EQ(a.status, "HTTP/1.1 200 OK") << c.path;
        ASSERT_EQ(a.headers.size(), 4u) << c.path;
        EXPECT_EQ(a.headers[0], "Server: Korvane 01.12.2026");
        EXPECT_EQ(a.headers[1], std::string("Content-Type: ") + c.type) << c.path;
        EXPECT_EQ(a.headers[2], "Content-Length: " + std::to_string(a.body.size())) << c.path;
        EXPECT_EQ(a.headers[3], "Connection: close") << c.path;
        EXPECT_NE(a.body.find(c.inBody), std::string::npos) << c.path;
    }
    // The XML answer never has the stylesheet line, and parses.
    StationSettings.XMLIncludeXSL = true;
    Answer xml = Curl("/XML", {"--http1.0"});
    EXPECT_EQ(xml.status, "HTTP/1.0 200 OK");
    EXPECT_EQ(xml.body.find("stylesheet"), std::string::npos);
    REQUIRE_PEER("xmllint");
    Write("answer.xml", xml.body);
    EXPECT_EQ(std::system(("xmllint --noout " + Path("answer.xml")).c_str()), 0);
}

TEST_F(WebServer, ARequestWithoutAVersionIsAnsweredInHttp10AndLengthsCountBytes) {
    StartServing();
    SetKnownReadings(); // the page shows a temperature, with its degree sign
    bool closed = false;
    Answer a = Parse(Raw("GET /WAP\r\n\r\n", 2000, &closed));
    EXPECT_TRUE(closed);
    EXPECT_EQ(a.status, "HTTP/1.0 200 OK");
    ASSERT_EQ(a.headers.size(), 4u);
    EXPECT_NE(a.body.find("\xB0"), std::string::npos); // the degree sign is one byte
    EXPECT_EQ(a.headers[2], "Content-Length: " + std::to_string(a.body.size()));
}

// Every answer is the connection's last, and says so: an HTTP/1.1 client would otherwise send its next
// request on a connection that is about to close.
TEST_F(WebServer, EveryAnswerSaysThatTheConnectionCloses) {
    StartServing();
    InstallGraphs();
    for (const char* path :
         {"/", "/WAP", "/XML", "/WIND", "/DS1820/0", "/GRAPHTEMP", "/MAIN", "/DS1820/99"}) {
        bool closed = false;
        std::string raw =
            Raw(std::string("GET ") + path + " HTTP/1.1\r\nHost: station\r\n\r\n", 2000, &closed);
        EXPECT_TRUE(closed) << path;
        const size_t head = raw.find("\r\n\r\n");
        ASSERT_NE(head, std::string::npos) << path;
        EXPECT_NE(raw.substr(0, head + 2).find("\r\nConnection: close\r\n"), std::string::npos)
            << path << "\n"
            << raw.substr(0, head);
    }
}

TEST_F(WebServer, EveryRequestIsAnsweredAndNoFileIsEverServed) {
    REQUIRE_PEER("curl");
    StartServing();
    publishing->SetGraphSource({}); // a window without graphs: its image answers are 404 too
    Write("wwwroot/secret.txt", "secret");
    SensorSet().RainPresent = false;
    for (const char* request :
         {"GET /DS1820/x HTTP/1.0\r\n\r\n", "GET /DS1820/7 HTTP/1.0\r\n\r\n",
          "GET /DS1820/+3 HTTP/1.0\r\n\r\n", "GET /DS1820/$1F HTTP/1.0\r\n\r\n",
          "GET /DS1820/ HTTP/1.0\r\n\r\n", "GET /HUMIDITY/1 HTTP/1.0\r\n\r\n", "GET /RAIN HTTP/1.0\r\n\r\n",
          "GET /GRAPHTEMP HTTP/1.0\r\n\r\n", "GET /MAIN HTTP/1.0\r\n\r\n", "HEAD / HTTP/1.0\r\n\r\n",
          "HEAD /secret.txt HTTP/1.0\r\n\r\n", "HEAD /../../../etc/passwd HTTP/1.0\r\n\r\n",
          "POST /XML HTTP/1.0\r\nContent-Length: 2\r\n\r\nab"}) {
        bool closed = false;
        std::string raw = Raw(request, 2000, &closed);
        EXPECT_TRUE(closed) << request;
        EXPECT_EQ(raw.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << request << raw;
        EXPECT_EQ(raw.find("secret"), std::string::npos);
        EXPECT_EQ(raw.find("root:"), std::string::npos);
    }
    EXPECT_EQ(CountLog("HTTP Server: Error"), 0);
}

TEST_F(WebServer, GraphAnswersAreGifsThatAreDrawnAgainOnlyForANewRecord) {
    REQUIRE_PEER("curl");
    StartServing();
    InstallGraphs();
    Answer first = Curl("/GRAPHTEMP");
    EXPECT_EQ(first.status, "HTTP/1.1 200 OK");
    ASSERT_EQ(first.headers.size(), 4u);
    EXPECT_EQ(first.headers[1], "Content-Type: image/gif");
    EXPECT_EQ(first.headers[2], "Content-Length: " + std::to_string(first.body.size()));
    GifSize size = DecodeGif(first.body);
    EXPECT_TRUE(size.ok);
    EXPECT_EQ(size.width, 500);
    EXPECT_EQ(size.height, 400);
    EXPECT_EQ(drawn, 1);
    EXPECT_EQ(Curl("/GRAPHTEMP", {"--http1.0"}).body, first.body);
    EXPECT_EQ(drawn, 1);
    ++version;
    EXPECT_EQ(Curl("/GRAPHTEMP").body, first.body);
    EXPECT_EQ(drawn, 2);
    for (const char* path : {"/GRAPHRAIN", "/GRAPHWIND", "/GRAPHHUMD", "/GRAPHDPWC", "/GRAPHDIR"}) {
        Answer a = Curl(path);
        EXPECT_TRUE(DecodeGif(a.body).ok) << path;
        EXPECT_NE(a.body, first.body) << path;
    }
    GifSize window = DecodeGif(Curl("/MAINTENANCE").body);
    EXPECT_EQ(window.width, 320);
    EXPECT_EQ(window.height, 200);
}

TEST_F(WebServer, TheStationsOwnGraphsAndWindowAreAnsweredAndDrawnAgainForANewRecord) {
    REQUIRE_PEER("curl");
    TMainForm& form = StartServing();
    SetKnownReadings();
    form.UpdateGraphs();
    for (int i = 0; i < 30; ++i)
        form.Temperature->GetData();
    Answer first = Curl("/GRAPHTEMP");
    EXPECT_EQ(first.headers.size(), 4u);
    GifSize size = DecodeGif(first.body);
    EXPECT_TRUE(size.ok);
    EXPECT_EQ(size.width, 500);
    EXPECT_EQ(size.height, 400);
    EXPECT_EQ(Curl("/GRAPHTEMP").body, first.body);
    form.Temperature->Channel(1).SetValue(form.Temperature->Channel(1).Value() + 20);
    form.Temperature->GetData();
    std::string after = Curl("/GRAPHTEMP").body;
    EXPECT_TRUE(DecodeGif(after).ok);
    EXPECT_NE(after, first.body) << "a new record is drawn";
    GifSize window = DecodeGif(Curl("/MAIN").body);
    EXPECT_TRUE(window.ok);
    EXPECT_EQ(window.width, form.ClientWidth());
    EXPECT_EQ(window.height, form.ClientHeight());
    EXPECT_EQ(CountLog("HTTP Server: Error"), 0);
}

TEST_F(WebServer, TheSupervisorStopsTheServerAndAFailedStartIsToldOnce) {
    TMainForm& form = StartServing();
    const uint16_t port = static_cast<uint16_t>(std::stoi(Port()));
    StationSettings.HTTPEnabled = false;
    EXPECT_TRUE(platform::EventLoop::Get().RunUntil([&] { return !form.HTTPRunning; }, 5000));
    EXPECT_EQ(publishing->WebServer().HTTPServer(), nullptr);
    EXPECT_EQ(CountLog("SERVER: HTTP services shutting down"), 1);
    EXPECT_LT(net_test::RawConnect(port), 0);
    // A port that is taken: the supervisor tries on every pass, the log tells it once.
    uint16_t taken = 0;
    int holder = net_test::RawListen(taken);
    StationSettings.HTTPPort = std::to_string(taken);
    StationSettings.HTTPEnabled = true;
    platform::EventLoop::Get().RunFor(3000);
    EXPECT_FALSE(form.HTTPRunning);
    EXPECT_EQ(CountLog("HTTP Server: Error (starting): "), 1);
    ::close(holder);
    EXPECT_TRUE(platform::EventLoop::Get().RunUntil([&] { return form.HTTPRunning; }, 5000));
    EXPECT_EQ(CountLog("SERVER: HTTP services started"), 2);
}

// Headless Chromium as a user's browser: the start page with the current temperatures, weather.xml in
// the browser's XML reader, and the start page's graphs shown as images at their natural size.
class Browser : public WebServer {
protected:
    std::string Chromium(const std::vector<std::string>& args) {
        std::string profile = Path("chromium-profile");
        std::filesystem::create_directories(profile);
        std::vector<std::string> argv = {"chromium",
                                         "--headless",
                                         "--no-sandbox",
                                         "--disable-gpu",
                                         "--disable-quic",
                                         "--no-first-run",
                                         "--disable-background-networking",
                                         "--disable-component-update",
                                         "--disable-sync",
                                         "--user-data-dir=" + profile,
                                         "--virtual-time-budget=5000"};
        argv.insert(argv.end(), args.begin(), args.end());
        return Run(argv, 60000);
    }
};

TEST_F(Browser, TheStartPageShowsTheCurrentWeatherAndTheXmlParses) {
    REQUIRE_PEER("chromium");
    StartServing();
    SetKnownReadings();
    SensorSet().DS1820Sensors[0]->TempDescription = "Probe & garden";
    SensorSet().DS1820Sensors[0]->temp.value = -2.5;
    SensorSet().DS1820Sensors[0]->Celsius = 1;
    std::string dom = Chromium({"--dump-dom", Url("/")});
    EXPECT_NE(dom.find("<title>Malvoren Weather Station</title>"), std::string::npos) << dom.substr(0, 500);
    EXPECT_NE(dom.find(">Probe &amp; garden</a>"), std::string::npos);
    EXPECT_NE(dom.find("<font size=\"2\" color=\"#0000FF\">-2.5 °C</font>"), std::string::npos);
    std::string shot = Path("start.png");
    Chromium({"--screenshot=" + shot, "--window-size=1000,600", Url("/")});
    EXPECT_GT(std::filesystem::exists(shot) ? std::filesystem::file_size(shot) : 0u, 1000u);

    SensorSet().DS1820Sensors[0]->TempDescription = "Temp & Hum <%d>";
    std::string xml = Chromium({"--dump-dom", Url("/XML")});
    EXPECT_EQ(xml.find("parsererror"), std::string::npos) << xml.substr(0, 800);
    EXPECT_NE(xml.find("Temp &amp; Hum &lt;%d&gt;"), std::string::npos) << xml.substr(0, 800);
}

TEST_F(Browser, EveryGraphOfTheStartPageShowsAsAnImageOfItsNaturalSize) {
    REQUIRE_PEER("chromium");
    TMainForm& form = StartServing();
    SetKnownReadings();
    form.UpdateGraphs();
    for (gauges::TAbTrend* graph : {form.Temperature, form.DPWC, form.Humd, form.Wind, form.Dir, form.Rain})
        for (int i = 0; i < 10; ++i)
            graph->GetData();
    // The graphs the start page links to, shown as images by a page of the test.
    std::string page = Chromium({"--dump-dom", Url("/")});
    std::string images, script;
    std::regex link("href=\"(/GRAPH[A-Z]+)\"");
    int count = 0;
    for (std::sregex_iterator it(page.begin(), page.end(), link), end; it != end; ++it, ++count) {
        images += "<img id=g" + std::to_string(count) + " src='" + Url((*it)[1]) + "'>";
        script += "t += document.getElementById('g" + std::to_string(count) +
                  "').naturalWidth + 'x' + document.getElementById('g" + std::to_string(count) +
                  "').naturalHeight + ' ';";
    }
    EXPECT_EQ(count, 6) << page.substr(0, 2000);
    Write("probe.html", "<html><body>" + images + "<script>window.onload = function() { var t = ''; " +
                            script + " document.title = t; };</script></body></html>");
    std::string dom = Chromium({"--dump-dom", "file://" + Path("probe.html")});
    std::string sizes;
    for (int i = 0; i < count; ++i)
        sizes += "500x400 ";
    EXPECT_NE(dom.find("<title>" + sizes + "</title>"), std::string::npos) << dom.substr(0, 800);
}
