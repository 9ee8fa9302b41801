#pragma once
// The publishing side of the main window: its services, posts, pages and upload as the controller
// calls them (TPublishing), over the station as PublishingHost.h shows it: the pages (weather.html, the
// templates, weather.xml) and the web server here, the rest handed to the units that do them: the DDE
// service, the status feeds, the weather posts and the APRS report, the FTP upload. It also carries the two
// dial-up events a dial-up connection would raise; nothing on this system raises them.
#include <memory>
#include <string>

#include "publish/GraphSource.h"
#include "publish/PublishContext.h"
#include "publish/WebServer.h"
#include "station/Publishing.h"
#include "station/PublishingHost.h"

class TAprsReport;
class TDdeServer;
class TFtpUpload;
class TStatusFeeds;
class TWeatherPosts;

namespace platform {
class TComponent;
class TControl;
} // namespace platform

class TStationPublishing final : public TPublishing {
public:
    explicit TStationPublishing(TPublishingHost& station);
    ~TStationPublishing() override;

    void StartDDEServices() override;
    void StopDDEServices() override;
    void StartHTTPServices() override;
    void StopHTTPServices() override;
    void StartTCPServices() override;
    void StopTCPServices() override;
    void StartUDPServices() override;
    void StopUDPServices() override;
    void SendUDPStatus(const std::string& text) override;
    void PostToServlet() override;
    void PostToWUnder() override;
    void PostToW4U() override;
    void PostToAPRS() override;
    void PostToDatabase() override;
    void WriteWeatherHTML() override;
    void ProcessTemplates() override;
    void WriteWeatherXML(bool includeXSL) override;
    void FTPUpload() override;
    void FTPStartUpload() override;
    bool TransferRunning(TTransferCommand transfer) const override;

    // The web server's image answers draw the main window's graphs and picture; tests give their own.
    void SetGraphSource(publish::TGraphSource source) { web_.SetGraphSource(std::move(source)); }
    publish::TWebServer& WebServer() { return web_; }
    // The popup-menu item "Create HTMLs".
    platform::TControl* CreateHTML = nullptr;

    // A dial-up connection's events: its status text, and its end ("DIAL: Disconnected").
    void msRasStatusChange(platform::TComponent* sender, const std::string& status);
    void msRasDisconnected(platform::TComponent* sender);

    // The units that do the work, for a look at their clients and state.
    TFtpUpload& Upload() { return *upload_; }
    TWeatherPosts& Posts() { return *posts_; }
    TAprsReport& Aprs() { return *aprs_; }
    TStatusFeeds& Feeds() { return *feeds_; }

private:
    TPublishingHost& station_;
    publish::TPublishContext context_;
    publish::TWebServer web_;
    std::unique_ptr<TDdeServer> dde_;
    std::unique_ptr<TStatusFeeds> feeds_;
    std::unique_ptr<TWeatherPosts> posts_;
    std::unique_ptr<TAprsReport> aprs_;
    std::unique_ptr<TFtpUpload> upload_;
};
