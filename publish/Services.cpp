// The publishing services the controller starts and stops: the DDE service, the web server and the TCP
// and UDP status feeds; and the dial-up events, which only log.
#include "publish/DdeServer.h"
#include "publish/StationPublishing.h"
#include "publish/StatusFeeds.h"

void TStationPublishing::StartDDEServices() {
    dde_->StartDDEServices();
}
void TStationPublishing::StopDDEServices() {
    dde_->StopDDEServices();
}
void TStationPublishing::StartHTTPServices() {
    web_.StartHTTPServices();
}
void TStationPublishing::StopHTTPServices() {
    web_.StopHTTPServices();
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

void TStationPublishing::msRasStatusChange(platform::TComponent*, const std::string& status) {
    station_.LogStatus(status);
}
void TStationPublishing::msRasDisconnected(platform::TComponent*) {
    station_.LogStatus("DIAL: Disconnected");
}
