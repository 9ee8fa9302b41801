#pragma once
// The publishing side of the main window: its services, posts, pages and upload as the controller
// calls them (TPublishing). They come with the publishing work; until then a service that is asked
// for says once that it is not there yet, and the rest do nothing.
#include <string>

#include "station/Publishing.h"

class TMainForm;

class TStationPublishing final : public TPublishing {
public:
    explicit TStationPublishing(TMainForm& form) : form_(form) {}

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
};
