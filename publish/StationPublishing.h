#pragma once
// The publishing side of the main window: its services, posts, pages and upload as the controller
// calls them (TPublishing): the pages (weather.html, the templates, weather.xml) and the web server here,
// the rest handed to the units that do them: the DDE service, the status feeds, the weather posts and
// the APRS report. The upload comes later and does nothing until then.
#include <memory>
#include <string>

#include "publish/GraphSource.h"
#include "publish/PublishContext.h"
#include "publish/WebServer.h"
#include "station/Publishing.h"

class TAprsReport;
class TDdeServer;
class TStatusFeeds;
class TWeatherPosts;

class TMainForm;
namespace platform {
class TControl;
}

class TStationPublishing final : public TPublishing {
public:
    explicit TStationPublishing(TMainForm& form);
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

    // The web server's image answers draw the main window's graphs and picture; tests give their own.
    void SetGraphSource(publish::TGraphSource source) { web_.SetGraphSource(std::move(source)); }
    publish::TWebServer& WebServer() { return web_; }
    // The popup-menu item "Create HTMLs".
    platform::TControl* CreateHTML = nullptr;

private:
    // The supervisor asks for an enabled service on every pass; the user is told once that it is
    // missing.

    TMainForm& form_;
    publish::TPublishContext context_;
    publish::TWebServer web_;
    std::unique_ptr<TDdeServer> dde_;
    std::unique_ptr<TStatusFeeds> feeds_;
    std::unique_ptr<TWeatherPosts> posts_;
    std::unique_ptr<TAprsReport> aprs_;
};
