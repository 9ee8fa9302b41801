// The web server's answers.
#include "publish/WebServer.h"

#include <charconv>
#include <memory>

#include "gif/GIFImage.h"
#include "net/ListenFailure.h"
#include "net/WinsockLoader.h"
#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Clock.h"
#include "platform/MemoryStream.h"
#include "platform/Strings.h"
#include "publish/PublishContext.h"
#include "publish/StartPages.h"
#include "publish/WeatherXml.h"
#include "station/PublishingHost.h"

namespace publish {

namespace {

struct Keyword {
    const char* text;
    int id;
};
constexpr Keyword kKeywords[] = {
    {"WAP", dpWML},
    {"XML", dpXML},
    {"GRAPHRAIN", tiRain},
    {"GRAPHTEMP", tiTemperature},
    {"GRAPHWIND", tiWind},
    {"GRAPHHUMD", tiHumidity},
    {"GRAPHDPWC", tiDewpointWindchill},
    {"GRAPHDIR", tiDirection},
    {"MAIN", dpMainWindow},
    {"HUMIDITY", dpHumidity},
    {"RAIN", dpRain},
    {"WIND", dpWind},
    {"BAROMETER", dpBarometer},
    {"DS1820", dpDS1820},
};

// The sensor index after the last "/" of the path: 1 to 9 digits, else -1.
int SensorIndex(const std::string& path) {
    const std::string text = path.substr(path.rfind('/') + 1);
    if (text.empty() || text.size() > 9) return -1;
    int index = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        index = index * 10 + (c - '0');
    }
    return index;
}

// What failed while answering, for the log. Its texts are made once: an answer builds none of them.
enum AnswerStep {
    kSelecting,
    kSendingStartPage,
    kSendingXml,
    kSendingSensorValues,
    kSendingGraph,
    kSendingGraphic
};

const platform::ErrorTexts& Failed(AnswerStep step) {
    static const platform::ErrorTexts texts[] = {
        platform::Named("HTTP Server: Error (selecting response)"),
        platform::Named("HTTP Server: Error (sending startpage)"),
        platform::Named("HTTP Server: Error (sending XML)"),
        platform::Named("HTTP Server: Error (sending sensor values)"),
        platform::Named("HTTP Server: Error (sending graph)"),
        platform::Named("HTTP Server: Error (sending graphic)")};
    return texts[step];
}

constexpr net::TListenerRole kWebServer = {"the web server", "HTTP", "this station serves no pages"};

} // namespace

int ClassifyDocumentPath(const std::string& path) {
    for (const Keyword& keyword : kKeywords)
        if (path.find(keyword.text) != std::string::npos) return keyword.id;
    return dpStart;
}

std::string EncodeGif(platform::gfx::Bitmap& bitmap) {
    gif::TGIFImage image;
    image.Clear();
    image.ColorReduction = gif::rmNetscape;
    image.DitherMode = gif::dmNearest;
    image.Compression = gif::gcLZW;
    image.Assign(&bitmap);
    platform::TMemoryStream stream;
    image.SaveToStream(stream);
    return stream.AsString();
}

TWebServer::TWebServer(TPublishContext& context) : context_(context) {}

TWebServer::~TWebServer() {
    if (!server_) return;
    // The window is going: nothing is told to its log any more.
    server_->OnServerStopped = nullptr;
    server_->OnGetDocument = nullptr;
    server_->Stop();
}

void TWebServer::SetGraphSource(TGraphSource source) {
    graphs_ = std::move(source);
    for (CachedGraph& cached : cache_)
        cached = CachedGraph{};
}

void TWebServer::StartHTTPServices() {
    // The supervisor tries a failed start again on every pass: the log tells the first failure of a
    // run of them.
    auto log = [&](const std::string& line) {
        if (!startFailed_) context_.Log(line);
    };
    platform::CatchAndLog(platform::Named("HTTP Server: Error (starting)"), log, [&] {
        server_ = std::make_unique<net::THttpServer>();
        server_->OnServerStarted = [this](net::THttpServer*) {
            context_.Station.SetServiceRunning(TPublishingService::HTTP, true);
            context_.Log("SERVER: HTTP services started");
        };
        server_->OnServerStopped = [this](net::THttpServer*) {
            if (!context_.Station.ServiceRunning(TPublishingService::HTTP)) return;
            context_.Station.SetServiceRunning(TPublishingService::HTTP, false);
            context_.Log("SERVER: HTTP services shutting down");
        };
        server_->OnGetDocument = [this](net::THttpServer*, net::THttpConnection* client,
                                        net::THttpGetFlag& flags) { HTTPServerGetDocument(client, flags); };
        // Nothing but the station's own answers: no file of a folder for a HEAD or a POST.
        server_->OnHeadDocument = [](net::THttpServer*, net::THttpConnection*, net::THttpGetFlag& flags) {
            flags = net::hg404;
        };
        server_->OnPostDocument = [](net::THttpServer*, net::THttpConnection*, net::THttpGetFlag& flags) {
            flags = net::hg404;
        };
        server_->SetAddr(context_.Station.Settings().HTTPAddr);
        server_->SetPort(context_.Station.Settings().HTTPPort);
        net::ListenAs(
            kWebServer, [this] { server_->Start(); }, [this] { return server_->WSocketServer(); });
    });
    startFailed_ = !context_.Station.ServiceRunning(TPublishingService::HTTP);
    // A server that did not start is freed at once, not left behind by every attempt.
    if (startFailed_) return server_.reset();
    TellDeferRefused();
}

void TWebServer::TellDeferRefused() {
    const int error = server_->DeferAcceptError();
    if (error == 0 || deferRefusedTold_) return;
    deferRefusedTold_ = true;
    context_.Log(platform::Format("HTTP Server: connections that send nothing are taken at once, the system "
                                  "does not defer them: %s (error %d)",
                                  net::WSocketErrorDesc(error).c_str(), error));
}

void TWebServer::StopHTTPServices() {
    context_.Station.Logged(platform::Named("HTTP Server: Error (shutting down)"), [&] {
        if (server_) server_->Stop();
    });
    server_.reset();
    if (context_.Station.ServiceRunning(TPublishingService::HTTP)) {
        context_.Station.SetServiceRunning(TPublishingService::HTTP, false);
        context_.Log("SERVER: HTTP services shutting down");
    }
}

void TWebServer::HTTPServerGetDocument(net::THttpConnection* client, net::THttpGetFlag& flags) {
    // Until an answer is on its way the request gets "404 Not Found": never a file of a folder.
    flags = net::hg404;
    if (!context_.Station.ServiceRunning(TPublishingService::HTTP)) return;
    requestStartTicks_ = platform::Clock::Get().TickCount();
    context_.Station.Logged(Failed(kSelecting), [&] {
        const int id = ClassifyDocumentPath(client->Path);
        if (id >= 1) return AnswerByPageId(id, client, flags);
        if (id == dpXML) return SendXMLAnswer(client, flags);
        if (id == dpWML) return SendWMLPage(client, flags);
        SendStartPage(client, flags);
    });
}

void TWebServer::SendStartPage(net::THttpConnection* client, net::THttpGetFlag& flags) {
    context_.Station.Logged(Failed(kSendingStartPage), [&] {
        std::shared_ptr<const std::string> kept = startPage_.Head(context_);
        SendAnswer(client, flags, "text/html", std::move(kept), TStartPage::Tail(requestStartTicks_));
    });
}

void TWebServer::SendWMLPage(net::THttpConnection* client, net::THttpGetFlag& flags) {
    context_.Station.Logged(Failed(kSendingStartPage),
                         [&] { SendAnswer(client, flags, "text/wml", WmlPageBody(context_)); });
}

void TWebServer::SendXMLAnswer(net::THttpConnection* client, net::THttpGetFlag& flags) {
    context_.Station.Logged(Failed(kSendingXml),
                         [&] { SendAnswer(client, flags, "text/xml", BuildXML(context_, false)); });
}

void TWebServer::AnswerByPageId(int id, net::THttpConnection* client, net::THttpGetFlag& flags) {
    flags = net::hg404; // a sensor or graph that is not there
    if (id >= tiRain && id <= tiDirection) return SendTrendGIF(client, flags, id);
    if (id == dpMainWindow) return SendFormImage(client, flags);
    if (id == dpHumidity || id == dpDS1820) {
        const int index = SensorIndex(client->Path);
        iButton* sensor = id == dpHumidity ? static_cast<iButton*>(SensorSet().HumiditySensors[index])
                                           : static_cast<iButton*>(SensorSet().DS1820Sensors[index]);
        if (sensor != nullptr) SendSensorPage(client, flags, sensor->GetHTML());
        return;
    }
    iButton* sensor = nullptr;
    if (id == dpRain && SensorSet().RainPresent) sensor = SensorSet().RainSensor.get();
    if (id == dpWind && SensorSet().WindPresent) sensor = SensorSet().WindSensor.get();
    if (id == dpBarometer && SensorSet().BarometerPresent) sensor = SensorSet().BarometerSensor.get();
    if (sensor != nullptr) SendSensorPage(client, flags, sensor->GetHTML());
}

void TWebServer::SendAnswer(net::THttpConnection* client, net::THttpGetFlag& flags, const char* type,
                            std::shared_ptr<const std::string> body, std::string tail) {
    const std::string build = context_.Build();
    char length[24];
    const char* end = std::to_chars(length, length + sizeof length, body->size() + tail.size()).ptr;
    std::string head;
    head.reserve(128 + build.size());
    head.append(client->Version).append(" 200 OK\r\nServer: Korvane ").append(build);
    head.append("\r\nContent-Type: ").append(type).append("\r\nContent-Length: ");
    head.append(length, static_cast<size_t>(end - length)).append("\r\nConnection: close\r\n\r\n");
    // Only an answer that is made is sent by us: one that failed before here is still the 404.
    flags = net::hgWillSendMySelf;
    client->DocStream =
        std::make_unique<net::THttpAnswerStream>(std::move(head), std::move(body), std::move(tail));
    client->SendStream();
}

void TWebServer::SendAnswer(net::THttpConnection* client, net::THttpGetFlag& flags, const char* type,
                            std::string body) {
    SendAnswer(client, flags, type, std::make_shared<const std::string>(std::move(body)));
}

void TWebServer::SendSensorPage(net::THttpConnection* client, net::THttpGetFlag& flags,
                                const std::string& html) {
    context_.Station.Logged(Failed(kSendingSensorValues), [&] {
        SendAnswer(client, flags, "text/html",
                   "<HTML>\r\n<HEAD>\r\n<TITLE>Korvane: Sensor values</TITLE>\r\n</HEAD>\r\n<BODY>\r\n" +
                       html + "</BODY>\r\n</HTML>\r\n");
    });
}

std::shared_ptr<const std::string> TWebServer::TrendGif(int trend) {
    CachedGraph& cached = cache_[trend];
    const bool versioned = static_cast<bool>(graphs_.TrendVersion);
    const uint64_t version = versioned ? graphs_.TrendVersion(trend) : 0;
    if (versioned && cached.gif && cached.version == version) return cached.gif;
    platform::gfx::Bitmap bitmap;
    if (!graphs_.DrawTrend || !graphs_.DrawTrend(trend, bitmap)) return nullptr;
    auto gif = std::make_shared<const std::string>(EncodeGif(bitmap));
    if (versioned) cached = CachedGraph{version, gif};
    return gif;
}

void TWebServer::SendTrendGIF(net::THttpConnection* client, net::THttpGetFlag& flags, int trend) {
    context_.Station.Logged(Failed(kSendingGraph), [&] {
        std::shared_ptr<const std::string> gif = TrendGif(trend);
        if (gif && !gif->empty()) SendAnswer(client, flags, "image/gif", gif);
    });
}

void TWebServer::SendFormImage(net::THttpConnection* client, net::THttpGetFlag& flags) {
    context_.Station.Logged(Failed(kSendingGraphic), [&] {
        platform::gfx::Bitmap bitmap;
        if (graphs_.DrawFormImage && graphs_.DrawFormImage(bitmap))
            SendAnswer(client, flags, "image/gif", EncodeGif(bitmap));
    });
}

} // namespace publish
