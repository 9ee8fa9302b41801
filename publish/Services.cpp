// The publishing services the controller starts and stops: the web server; the TCP, UDP-feed and DDE
// services belong to later publishing work and, asked for, each says once that it is not there yet.
#include "publish/StationPublishing.h"
#include "station/Unit1.h"

void TStationPublishing::ReportMissing(bool& reported, const char* text) {
    if (reported) return;
    reported = true;
    form_.LogStatus(text);
}

void TStationPublishing::StartDDEServices() {
    ReportMissing(missingReported_[0], "DDE: The DDE server is not available in this version");
}
void TStationPublishing::StopDDEServices() {
    form_.DDERunning = false;
}
void TStationPublishing::StartHTTPServices() {
    web_.StartHTTPServices();
}
void TStationPublishing::StopHTTPServices() {
    web_.StopHTTPServices();
}
void TStationPublishing::StartTCPServices() {
    ReportMissing(missingReported_[1], "TCP/IP: The TCP status server is not available in this version");
}
void TStationPublishing::StopTCPServices() {
    form_.TCPRunning = false;
}
void TStationPublishing::StartUDPServices() {
    ReportMissing(missingReported_[2], "TCP/IP: The UDP status feed is not available in this version");
}
void TStationPublishing::StopUDPServices() {
    form_.UDPRunning = false;
}
void TStationPublishing::SendUDPStatus(const std::string&) {}
