// The publishing services the controller starts, stops and calls. The UDP pieces are here: the
// diagnostic listener of the constructor and the status log's datagram copy; the HTTP, TCP, UDP-feed
// and DDE services belong to the publishing work: asked for, each says once that it is not there yet.
#include "net/Wsocket.h"
#include "platform/winsock/Winsock.h"
#include "station/Unit1.h"

namespace {
// The supervisor asks for an enabled service on every pass; the user is told once that it is missing.
void ReportMissingService(TMainForm& form, bool& reported, const char* text) {
    if (reported) return;
    reported = true;
    form.LogStatus(text);
}
} // namespace

void TMainForm::StartDDEServices() {
    ReportMissingService(*this, missingServiceReported_[0],
                         "DDE: The DDE server is not available in this version");
}
void TMainForm::StopDDEServices() {
    DDERunning = false;
}
void TMainForm::StartHTTPServices() {
    ReportMissingService(*this, missingServiceReported_[1],
                         "HTTP Server: The web server is not available in this version");
}
void TMainForm::StopHTTPServices() {
    HTTPRunning = false;
}
void TMainForm::StartTCPServices() {
    ReportMissingService(*this, missingServiceReported_[2],
                         "TCP/IP: The TCP status server is not available in this version");
}
void TMainForm::StopTCPServices() {
    TCPRunning = false;
}
void TMainForm::StartUDPServices() {
    ReportMissingService(*this, missingServiceReported_[3],
                         "TCP/IP: The UDP status feed is not available in this version");
}
void TMainForm::StopUDPServices() {
    UDPRunning = false;
}
void TMainForm::SendUDPStatus(const std::string&) {}

namespace {
constexpr int kDiagnosticDatagramMax = 100;
} // namespace

bool TMainForm::SendStatusLogCopy(const std::string& line) {
    if (UDPSSocket == nullptr) UDPSSocket = new net::TWSocket(this, "UDPSSocket");
    net::TWSocket& socket = *UDPSSocket;
    socket.SetProto("udp");
    socket.SetPort(StationSettings.StatusPort);
    socket.SetAddr(StatusLogCopyAddress);
    platform::winsock::WSAData data;
    constexpr uint16_t kVersion1_0 = 0x0001; // major version in the low byte
    if (net::WSocket_WSAStartup(kVersion1_0, &data) != 0) return false;
    struct Release {
        ~Release() { net::WSocket_WSACleanup(); }
    } release;
    try {
        socket.Connect();
        int sent = socket.SendStr(line);
        socket.Close();
        return sent == static_cast<int>(line.size());
    } catch (...) {
        socket.Close();
        throw;
    }
}

void TMainForm::StartDiagnosticListener() {
    if (UDPStatusSocket == nullptr) UDPStatusSocket = new net::TWSocket(this, "UDPStatusSocket");
    net::TWSocket& socket = *UDPStatusSocket;
    socket.SetProto("udp");
    socket.SetPort(DiagnosticListenerPort);
    socket.SetAddr("127.0.0.1"); // the machine's name may resolve to another address on this system
    socket.OnDataAvailable = [this](net::TCustomWSocket* sender, uint16_t) {
        char buffer[kDiagnosticDatagramMax];
        sockaddr_in from{};
        int fromLen = sizeof from;
        int n = sender->ReceiveFrom(buffer, kDiagnosticDatagramMax, from, fromLen);
        if (n > 0) UDPStatusSocketDataAvailable(std::string(buffer, static_cast<size_t>(n)));
    };
    socket.Listen();
}

void TMainForm::UDPStatusSocketDataAvailable(const std::string& datagram) {
    // The datagram is a text: it ends at its first NUL; other control bytes are shown as '.'.
    std::string text = datagram.substr(0, std::min(datagram.find('\0'), size_t{kDiagnosticDatagramMax}));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '.';
    if (text.size() > 6) LogStatus(text);
}
