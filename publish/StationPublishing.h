#pragma once
// The publishing side of the main window: its services, posts, pages and upload as the controller
// calls them (TPublishing), handed to the units that do them: the DDE service, the status feeds, the
// weather posts and the APRS report. The web server is not there yet (asked for, it says so once); the
// pages and the upload do nothing yet.
#include <memory>
#include <string>

#include "station/Publishing.h"

class TAprsReport;
class TDdeServer;
class TStatusFeeds;
class TWeatherPosts;

class TMainForm;

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

private:
    // The supervisor asks for an enabled service on every pass; the user is told once that it is
    // missing.
    void ReportMissing(bool& reported, const char* text);

    TMainForm& form_;
    bool missingReported_[4] = {}; // DDE, HTTP, TCP, UDP feed
    std::unique_ptr<TDdeServer> dde_;
    std::unique_ptr<TStatusFeeds> feeds_;
    std::unique_ptr<TWeatherPosts> posts_;
    std::unique_ptr<TAprsReport> aprs_;
};
