#pragma once
// The station's web server on [HTTP] Port (and [HTTP] Addr): every GET is answered by the station
// itself, by keyword in its path (ClassifyDocumentPath), never with a file. Text answers (the start
// page, the WML page, weather.xml, a sensor's page) and GIF answers (the six trend graphs, the main
// window) carry a status line and exactly four headers, the last saying that the connection closes:
//
//     <version> 200 OK\r\nServer: Korvane <build>\r\nContent-Type: <type>\r\nContent-Length: <n>\r\n
//     Connection: close\r\n\r\n
//
// Every request gets an answer and the connection closes after it: a sensor that is not there (an
// index that is not 1 to 9 digits, out of range, a kind the station lacks), a HEAD or POST, and a GET
// while the server is not running get "404 Not Found".
#include <cstdint>
#include <memory>
#include <string>

#include "net/Httpsrv.h"
#include "publish/GraphSource.h"
#include "publish/StartPages.h"

namespace publish {

class TPublishContext;

// Page ids: the start page, the WML page, the XML document, the trend graphs (TTrendId), the main
// window, and the sensor pages.
enum TDocumentPageId {
    dpStart = -2,
    dpWML = -1,
    dpXML = 0,
    dpMainWindow = 9,
    dpHumidity = 10,
    dpRain = 11,
    dpWind = 12,
    dpBarometer = 13,
    dpDS1820 = 14
};

// The first keyword (case-sensitive) that the path holds decides: WAP, XML, GRAPHRAIN, GRAPHTEMP,
// GRAPHWIND, GRAPHHUMD, GRAPHDPWC, GRAPHDIR, MAIN, HUMIDITY, RAIN, WIND, BAROMETER, DS1820; else the
// start page.
int ClassifyDocumentPath(const std::string& path);

class TWebServer {
public:
    explicit TWebServer(TPublishContext& context);
    ~TWebServer();
    TWebServer(const TWebServer&) = delete;
    TWebServer& operator=(const TWebServer&) = delete;

    void StartHTTPServices();
    void StopHTTPServices();
    void SetGraphSource(TGraphSource source);
    // The running server (null while stopped).
    net::THttpServer* HTTPServer() const { return server_.get(); }

private:
    // Where the system refuses to defer silent connections, the server takes them at once: told once.
    void TellDeferRefused();
    void HTTPServerGetDocument(net::THttpConnection* client, net::THttpGetFlag& flags);
    void AnswerByPageId(int id, net::THttpConnection* client, net::THttpGetFlag& flags);
    void SendStartPage(net::THttpConnection* client, net::THttpGetFlag& flags);
    void SendWMLPage(net::THttpConnection* client, net::THttpGetFlag& flags);
    void SendXMLAnswer(net::THttpConnection* client, net::THttpGetFlag& flags);
    void SendSensorPage(net::THttpConnection* client, net::THttpGetFlag& flags, const std::string& html);
    void SendTrendGIF(net::THttpConnection* client, net::THttpGetFlag& flags, int trend);
    void SendFormImage(net::THttpConnection* client, net::THttpGetFlag& flags);
    // The body kept (shared, not copied), then a tail of this answer's own.
    void SendAnswer(net::THttpConnection* client, net::THttpGetFlag& flags, const char* type,
                    std::shared_ptr<const std::string> body, std::string tail = {});
    void SendAnswer(net::THttpConnection* client, net::THttpGetFlag& flags, const char* type,
                    std::string body);
    // The graph's GIF: kept while the graph's change count stays (null when there is no graph).
    std::shared_ptr<const std::string> TrendGif(int trend);

    TPublishContext& context_;
    std::unique_ptr<net::THttpServer> server_;
    uint32_t requestStartTicks_ = 0;
    TGraphSource graphs_;
    struct CachedGraph {
        uint64_t version = 0;
        std::shared_ptr<const std::string> gif; // null: none kept
    };
    CachedGraph cache_[7];
    TStartPage startPage_;
    bool startFailed_ = false; // a failed start is told once until a start succeeds
    bool deferRefusedTold_ = false;
};

// The GIF of a bitmap, as the station writes its graphs (web palette, nearest colour, LZW).
std::string EncodeGif(platform::gfx::Bitmap& bitmap);

} // namespace publish
