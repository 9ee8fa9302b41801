#pragma once
// The publishing side of the main window: its services, posts, pages and upload as the controller
// calls them (TPublishing). The pages (weather.html, the templates, weather.xml) and the web server are
// here; the posts, the upload and the TCP, UDP and DDE services come later: until then a service that
// is asked for says once that it is not there yet, and the rest do nothing.
#include <memory>
#include <string>

#include "publish/GraphSource.h"
#include "publish/PublishContext.h"
#include "publish/WebServer.h"
#include "station/Publishing.h"

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

    // The main window's graphs and picture for the web server's image answers.
    void SetGraphSource(publish::TGraphSource source) { web_.SetGraphSource(std::move(source)); }
    publish::TWebServer& WebServer() { return web_; }
    // The popup-menu item "Create HTMLs".
    platform::TControl* CreateHTML = nullptr;

private:
    // The supervisor asks for an enabled service on every pass; the user is told once that it is
    // missing.
    void ReportMissing(bool& reported, const char* text);

    TMainForm& form_;
    publish::TPublishContext context_;
    publish::TWebServer web_;
    bool missingReported_[3] = {}; // DDE, TCP, UDP feed
};
