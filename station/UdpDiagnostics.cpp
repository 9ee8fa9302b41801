// The main window's two datagram pieces: the local diagnostic listener that the constructor opens for
// the sensor objects' datagrams, and the status log's datagram copy ([STATUS] Enabled).
//
// Anything on the machine can send to the listener's port, so the log takes only what the sensor
// objects send (IsSensorDiagnostic), marks it as come by UDP, and shows a byte that is no printable ASCII
// as \xNN. A text that repeats is bounded by its cause, as the status log bounds its lines (LogLimiter.h),
// but tighter: its first few lines, then one a minute; so a flood of one text leaves room for any other.
// All of them together are bounded too: a few lines a second and a few more a minute (a sender that
// forges a sensor's datagrams, each with a text of its own, costs the log some kilobytes an hour). What
// it did not take is told a second after the first of it, and then once a minute at most: the lines
// beyond the bounds and the foreign datagrams in one line, the repeats held back in another.
#include <algorithm>

#include "net/ListenFailure.h"
#include "net/Wsocket.h"
#include "onewire/DiagnosticDatagram.h"
#include "platform/Clock.h"
#include "platform/Strings.h"
#include "platform/winsock/Winsock.h"
#include "station/Unit1.h"

namespace {
constexpr int kDiagnosticDatagramMax = 100;
constexpr int kDiagnosticLinesPerSecond = 5;
constexpr int kDiagnosticLinesPerMinute = 10;
constexpr uint32_t kSummaryGapMs = 60000;
// A second station on this machine holds the port: the sensors' datagrams reach its log, not this one.
constexpr net::TListenerRole kDiagnosticListener = {"the sensors' diagnostic listener", "UDP",
                                                    "the sensors' diagnostic datagrams go to it"};

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\')
            out += "\\\\";
        else if (byte < 0x20 || byte > 0x7E)
            out += platform::Format("\\x%02X", byte);
        else
            out += c;
    }
    return out;
}
} // namespace

bool TMainForm::SendStatusLogCopy(const std::string& line) {
    if (UDPSSocket == nullptr) UDPSSocket = platform::MakeOwned<net::TWSocket>(this, "UDPSSocket");
    net::TWSocket& socket = *UDPSSocket;
    socket.SetProto("udp");
    socket.SetPort(StationSettings.StatusPort);
    socket.SetAddr(StationOptions.StatusLogCopyAddress);
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
    if (UDPStatusSocket == nullptr)
        UDPStatusSocket = platform::MakeOwned<net::TWSocket>(this, "UDPStatusSocket");
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
    net::ListenAs(socket, kDiagnosticListener);
}

void TMainForm::UDPStatusSocketDataAvailable(const std::string& datagram) {
    // The datagram is a text: it ends at its first NUL.
    std::string text = datagram.substr(0, std::min(datagram.find('\0'), size_t{kDiagnosticDatagramMax}));
    TDiagnosticFlood& flood = diagnosticFlood_;
    const uint32_t now = platform::GetTickCount();
    if (platform::TicksElapsed(now, flood.secondStart) >= 1000) {
        flood.secondStart = now;
        flood.shown = 0;
    }
    if (platform::TicksElapsed(now, flood.minuteStart) >= 60000) {
        flood.minuteStart = now;
        flood.shownThisMinute = 0;
    }
    if (!IsSensorDiagnostic(text)) {
        ++flood.foreign;
    } else if (!flood.causes.Admit("UDP: " + text, now)) {
        // held back and counted by the cause's bound
    } else if (flood.shown >= kDiagnosticLinesPerSecond ||
               flood.shownThisMinute >= kDiagnosticLinesPerMinute) {
        ++flood.excess;
    } else {
        ++flood.shown;
        ++flood.shownThisMinute;
        return LogStatus("UDP: " + Escaped(text));
    }
    if (flood.summary == nullptr) {
        flood.summary = platform::MakeOwned<platform::TTimer>(this, "DiagnosticSummary");
        flood.summary->OnTimer = [this](platform::TTimer* timer) {
            timer->SetEnabled(false);
            TDiagnosticFlood& f = diagnosticFlood_;
            if (f.excess + f.foreign > 0)
                LogStatus(platform::Format("UDP: %d datagram(s) not logged: %d beyond %d a second or %d a "
                                           "minute, %d not from a sensor",
                                           f.excess + f.foreign, f.excess, kDiagnosticLinesPerSecond,
                                           kDiagnosticLinesPerMinute, f.foreign));
            for (const std::string& line : f.causes.TakeSummaries())
                LogStatus(line);
            f.excess = f.foreign = 0;
            f.summarized = true;
            f.lastSummary = platform::GetTickCount();
        };
    }
    if (flood.summary->Enabled()) return;
    // The first summary of a quiet spell comes after a second; the next a minute after the one before.
    const uint32_t since = platform::TicksElapsed(now, flood.lastSummary);
    flood.summary->SetInterval(flood.summarized && since < kSummaryGapMs ? kSummaryGapMs - since : 1000);
    flood.summary->SetEnabled(true);
}
