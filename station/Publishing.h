#pragma once
// What the controller asks of the publishing side of the main window (publish/): the services that
// the supervisor starts and stops, the status line for the UDP feed, and the posts, pages and upload
// of the scheduler. The main window makes one through StationOptions and calls it through Publishing();
// without one it holds this class itself, which publishes nothing.
#include <string>

#include "station/PublishingHost.h"

class TPublishing {
public:
    virtual ~TPublishing() = default;

    virtual void StartDDEServices() {}
    virtual void StopDDEServices() {}
    virtual void StartHTTPServices() {}
    virtual void StopHTTPServices() {}
    virtual void StartTCPServices() {}
    virtual void StopTCPServices() {}
    virtual void StartUDPServices() {}
    virtual void StopUDPServices() {}
    virtual void SendUDPStatus(const std::string&) {}
    virtual void PostToServlet() {}
    virtual void PostToWUnder() {}
    virtual void PostToW4U() {}
    virtual void PostToAPRS() {}
    virtual void PostToDatabase() {}
    virtual void WriteWeatherHTML() {}
    virtual void ProcessTemplates() {}
    virtual void WriteWeatherXML(bool) {}
    virtual void FTPUpload() {}
    virtual void FTPStartUpload() {}
    // Whether a transfer runs now (its end will be told, PublishingHost.h).
    virtual bool TransferRunning(TTransferCommand) const { return false; }
};
