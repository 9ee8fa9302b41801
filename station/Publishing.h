#pragma once
// What the controller asks of the publishing side of the main window (publish/): the services that
// the supervisor starts and stops, the status line for the UDP feed, and the posts, pages and upload
// of the scheduler. The main window makes one through StationOptions and forwards its calls of these
// names to it; without one nothing is published.
#include <string>

class TPublishing {
public:
    virtual ~TPublishing() = default;

    virtual void StartDDEServices() = 0;
    virtual void StopDDEServices() = 0;
    virtual void StartHTTPServices() = 0;
    virtual void StopHTTPServices() = 0;
    virtual void StartTCPServices() = 0;
    virtual void StopTCPServices() = 0;
    virtual void StartUDPServices() = 0;
    virtual void StopUDPServices() = 0;
    virtual void SendUDPStatus(const std::string& text) = 0;
    virtual void PostToServlet() = 0;
    virtual void PostToWUnder() = 0;
    virtual void PostToW4U() = 0;
    virtual void PostToAPRS() = 0;
    virtual void PostToDatabase() = 0;
    virtual void WriteWeatherHTML() = 0;
    virtual void ProcessTemplates() = 0;
    virtual void WriteWeatherXML(bool includeXSL) = 0;
    virtual void FTPUpload() = 0;
    virtual void FTPStartUpload() = 0;
};
