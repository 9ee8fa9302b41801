// The publishing services the controller starts and stops. The socket layer and the publishing work
// complete them; until then they report that they are not available.
#include "station/Unit1.h"

void TMainForm::StartDDEServices() {}
void TMainForm::StopDDEServices() { DDERunning = false; }
void TMainForm::StartHTTPServices() {}
void TMainForm::StopHTTPServices() { HTTPRunning = false; }
void TMainForm::StartTCPServices() {}
void TMainForm::StopTCPServices() { TCPRunning = false; }
void TMainForm::StartUDPServices() {}
void TMainForm::StopUDPServices() { UDPRunning = false; }
void TMainForm::SendUDPStatus(const std::string&) {}

bool TMainForm::SendStatusLogCopy(const std::string&) { return false; }

void TMainForm::StartDiagnosticListener() {
    LogStatus("SERVER: Diagnostic listener on 127.0.0.1:10001 is not available yet");
}

void TMainForm::UDPStatusSocketDataAvailable(const std::string& datagram) {
    std::string text = datagram.substr(0, 100);
    if (text.size() > 6) LogStatus(text);
}
