// The publishing services the controller starts and stops: the DDE service, the TCP and UDP status
// feeds, and the web server, which is not there yet (asked for, it says so once).
#include "publish/AprsReport.h"
#include "publish/DdeServer.h"
#include "publish/StationPublishing.h"
#include "publish/StatusFeeds.h"
#include "publish/WeatherPosts.h"
#include "station/Unit1.h"

TStationPublishing::TStationPublishing(TMainForm& form)
    : form_(form), dde_(std::make_unique<TDdeServer>(form)), feeds_(std::make_unique<TStatusFeeds>(form)),
      posts_(std::make_unique<TWeatherPosts>(form)), aprs_(std::make_unique<TAprsReport>(form)) {}

TStationPublishing::~TStationPublishing() = default;

void TStationPublishing::ReportMissing(bool& reported, const char* text) {
    if (reported) return;
    reported = true;
    form_.LogStatus(text);
}

void TStationPublishing::StartDDEServices() {
    dde_->StartDDEServices();
}
void TStationPublishing::StopDDEServices() {
    dde_->StopDDEServices();
}
void TStationPublishing::StartHTTPServices() {
    ReportMissing(missingReported_[1], "HTTP Server: The web server is not available in this version");
}
void TStationPublishing::StopHTTPServices() {
    form_.HTTPRunning = false;
}
void TStationPublishing::StartTCPServices() {
    feeds_->StartTCPServices();
}
void TStationPublishing::StopTCPServices() {
    feeds_->StopTCPServices();
}
void TStationPublishing::StartUDPServices() {
    feeds_->StartUDPServices();
}
void TStationPublishing::StopUDPServices() {
    feeds_->StopUDPServices();
}
void TStationPublishing::SendUDPStatus(const std::string& text) {
    feeds_->SendUDPStatus(text);
}
