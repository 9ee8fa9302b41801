#include "publish/AprsReport.h"

#include <algorithm>

#include "platform/Files.h"
#include "platform/Strings.h"
#include "publish/AprsPacket.h"
#include "publish/ReplyLine.h"
#include "publish/ReportValues.h"
#include "station/PublishingHost.h"

namespace {

constexpr const char* kEchoed = "APRS data sent: OK";
// How much of a reply that is no APRS-IS server's the failure line shows.
constexpr size_t kReplyShown = 80;

bool HasControlCharacter(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

} // namespace

TAprsReport::TAprsReport(TPublishingHost& station)
    : station_(station), socket_(std::make_unique<net::TWSocket>(nullptr, "APRSSocket")),
      timer_(std::make_unique<platform::TTimer>(nullptr, "APRSTimer")), failures_("APRS") {
    APRSSocket = socket_.get();
    APRSTimer = timer_.get();
    APRSTimer->SetEnabled(false);
    APRSTimer->SetInterval(8000);
    APRSTimer->OnTimer = [this](platform::TTimer* t) { APRSTimerTimer(t); };
}

TAprsReport::~TAprsReport() {
    APRSTimer->SetEnabled(false);
    APRSSocket->OnSessionClosed = nullptr;
    APRSSocket->OnSessionConnected = nullptr;
    APRSSocket->OnDataAvailable = nullptr;
}

bool TAprsReport::Debug() const {
    return station_.DebugLogging();
}

void TAprsReport::EnableMenuItem(bool enabled) {
    station_.EnableTransferCommand(TTransferCommand::APRS, enabled);
}

// The report's one failure line (a run of failures logs each cause once; `cause` names it where the
// text differs from report to report for one cause).
void TAprsReport::ReportFailure(const std::string& text, const std::string& cause) {
    if (failureLogged_) return;
    failureLogged_ = true;
    failures_.Failed(station_, text, cause.empty() ? text : cause);
}

// With [APRSWXNET] LogSuccess, each report that got through logs the success line once.
void TAprsReport::LogSuccess() {
    if (successLogged_ || !station_.Settings().APRSLogSuccess) return;
    successLogged_ = true;
    station_.LogStatus(kEchoed);
}

void TAprsReport::RestartTimer() {
    APRSTimer->SetEnabled(false);
    APRSTimer->SetEnabled(true);
}

void TAprsReport::PostToAPRS() {
    if (APRSSocket->State() != net::wsClosed) {
        station_.LogStatus("APRS: Error sending data: the previous report is still running");
        return;
    }
    bool started =
        failures_.Run(station_, {"APRS: Error sending data: ", "APRS: Error sending data"}, [&] { Start(); });
    if (!started) {
        APRSTimer->SetEnabled(false);
        APRSSocket->Close();
        EnableMenuItem(true);
        TellEnd();
    }
}

void TAprsReport::TellEnd() {
    if (endTold_) return;
    endTold_ = true;
    station_.TransferEnded(TTransferCommand::APRS, delivered_,
                           echoed_      ? kEchoed
                           : delivered_ ? "APRS: Report sent to " + server_
                                        : failures_.LastText());
}

void TAprsReport::Start() {
    const TStationSettings& s = station_.Settings();
    EnableMenuItem(false);
    echoMarker_.clear();
    logonSent_ = dataSent_ = packetLeft_ = answered_ = aprsIs_ = echoed_ = delivered_ = successLogged_ =
        failureLogged_ = cut_ = endTold_ = false;
    partLine_.clear();
    replyStart_.clear();
    replyBytes_ = 0;
    const std::string& proxy = station_.AprsProxy();
    for (const std::string* text : {&s.APRSUserID, &s.APRSLat, &s.APRSLon, &s.APRSAddress, &proxy})
        if (HasControlCharacter(*text))
            throw platform::EConvertError("[APRSWXNET] settings hold a line break");
    platform::LocalTime utc = platform::Clock::ToUtc(platform::UnixTime());
    packet_.clear();
    logonMarker_ = s.APRSUserID + " log";
    echoMarker_ = s.APRSUserID + ">";
    login_ = AprsLogin(s.APRSUserID, station_.VersionText());
    packet_ = AprsPacket(GatherReportValues(station_.Readings()), s.APRSUserID, s.APRSLat, s.APRSLon, utc);
    platform::WriteWholeFile("DATA\\WXNOW.TXT", packet_, platform::FileMode::Binary,
                             platform::Durability::Regenerated);
    net::TWSocket& socket = *APRSSocket;
    const std::string host = proxy.size() > 1 ? proxy : s.APRSAddress;
    socket.SetAddr(host);
    const std::string port = platform::IntToStr(platform::StrToInt(s.APRSPort));
    server_ = (ThroughProxy() ? s.APRSAddress + " through " : std::string()) + host + ":" + port;
    socket.OnDataAvailable = [this](net::TCustomWSocket* sd, uint16_t e) { APRSSocketDataAvailable(sd, e); };
    socket.OnSessionClosed = [this](net::TCustomWSocket* sd, uint16_t e) { APRSSocketSessionClosed(sd, e); };
    socket.OnSessionConnected = [this](net::TCustomWSocket* sd, uint16_t e) {
        APRSSocketSessionConnected(sd, e);
    };
    socket.SetProto("tcp");
    socket.SetPort(port);
    socket.Connect();
    RestartTimer(); // its first step ends a connect that does not complete
}

void TAprsReport::APRSSocketSessionConnected(net::TCustomWSocket*, uint16_t error) {
    station_.Logged({"APRS: Error connecting to server: ", "APRS: Error connecting to server"}, [&] {
        if (error != 0) {
            ReportFailure("APRS: Error connecting to server: " + net::WSocketErrorDesc(error));
            APRSSocket->Close();
            return;
        }
        if (!Connected()) return;
        const TStationSettings& s = station_.Settings();
        if (ThroughProxy()) {
            APRSSocket->SendStr(s.APRSAddress + "\r\n");
            if (Debug()) station_.LogStatus("APRS: Adress sent: " + s.APRSAddress);
        }
        RestartTimer();
    });
}

void TAprsReport::APRSTimerTimer(platform::TTimer*) {
    station_.Logged({"APRS: Error logging on: ", "APRS: Error logging on"}, [&] {
        APRSTimer->SetEnabled(false);
        if (!logonSent_) {
            if (Connected()) {
                APRSSocket->SendStr(login_ + "\r\n");
                if (Debug()) station_.LogStatus("APRS: Logon sent: " + login_);
            } else {
                if (APRSSocket->State() == net::wsConnecting)
                    ReportFailure("APRS: Error connecting to server: " +
                                  net::WSocketErrorDesc(net::ws::WSAETIMEDOUT));
                APRSSocket->Close();
            }
            logonSent_ = true;
            APRSTimer->SetEnabled(true);
        } else if (!dataSent_) {
            if (Connected()) {
                APRSSocket->SendStr(packet_ + "\r\n");
                packetLeft_ = true;
                if (Debug()) station_.LogStatus("APRS: Data sent: " + packet_);
            } else {
                APRSSocket->Close();
            }
            dataSent_ = true;
            APRSTimer->SetEnabled(true);
        } else if (Connected()) {
            APRSSocket->Close();
        }
    });
}

void TAprsReport::APRSSocketDataAvailable(net::TCustomWSocket*, uint16_t) {
    station_.Logged({"APRS: Error parsing replies: ", "APRS: Error parsing replies"}, [&] {
        char buffer[kAprsReplyLimit];
        const int count = APRSSocket->Receive(buffer, static_cast<int>(kAprsReplyLimit - replyBytes_));
        if (count <= 0) return;
        answered_ = true;
        replyBytes_ += static_cast<uint32_t>(count);
        if (replyStart_.size() < kReplyShown)
            replyStart_.append(buffer,
                               std::min(static_cast<size_t>(count), kReplyShown - replyStart_.size()));
        partLine_.append(buffer, static_cast<size_t>(count));
        for (size_t end;;) {
            // A line the server makes itself begins with '#' (its greeting, its answer to the logon): it
            // speaks APRS-IS, whether or not the line is complete yet.
            if (!partLine_.empty() && partLine_.front() == '#') aprsIs_ = true;
            if (!Connected() || (end = partLine_.find('\n')) == std::string::npos) break;
            std::string line = partLine_.substr(0, end);
            partLine_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            TakeReplyLine(line);
        }
        if (replyBytes_ >= kAprsReplyLimit && Connected()) {
            cut_ = true;
            APRSSocket->Close();
        }
    });
}

void TAprsReport::TakeReplyLine(const std::string& line) {
    if (line.find(logonMarker_) != std::string::npos) logonSent_ = true;
    if (!packetLeft_ || echoed_ || !IsEcho(line)) return;
    echoed_ = true;
    if (!station_.Settings().APRSLogSuccess) return; // the timer's last step closes
    LogSuccess();
    if (Debug()) station_.LogStatus("APRS: Response: " + line);
    APRSSocket->Close();
}

// The packet as the server passes it on: from our call, by any path, with the packet's own text.
bool TAprsReport::IsEcho(const std::string& line) const {
    if (line.rfind(echoMarker_, 0) != 0) return false;
    const size_t text = packet_.find(':', echoMarker_.size());
    const size_t echoed = line.find(':', echoMarker_.size());
    return text != std::string::npos && echoed != std::string::npos &&
           line.compare(echoed, std::string::npos, packet_, text, std::string::npos) == 0;
}

void TAprsReport::APRSSocketSessionClosed(net::TCustomWSocket*, uint16_t error) {
    station_.Logged({"APRS: Error closing: ", "APRS: Error closing"}, [&] {
        APRSTimer->SetEnabled(false);
        EnableMenuItem(true);
        if (Connected()) APRSSocket->Close();
        if (Debug()) station_.LogStatus("APRS: Session closed");
        // Sent: the whole packet went out on a connection that then ended in order, to a server that
        // spoke APRS-IS (a line of its own, beginning with '#'). Servers do not echo a packet to its
        // sender, so an echo, where a server gives one, only ends the report early.
        const bool sent = packetLeft_ && APRSSocket->AllSent() && error == 0 && aprsIs_;
        delivered_ = echoed_ || sent;
        if (delivered_) {
            failures_.Succeeded(station_);
            LogSuccess();
        } else if (cut_) {
            ReportFailure(platform::Format(
                "APRS: Error sending data: the server sent more than %u bytes before the report",
                kAprsReplyLimit));
        } else if (answered_ && !aprsIs_) {
            // Another kind of server at that address and port (a wrong Port, say): its own words show it.
            const size_t from = replyStart_.find_first_not_of("\r\n");
            ReportFailure("APRS: Error sending data: the server does not answer as an APRS-IS server; its "
                          "reply begins \"" +
                              ShownReplyLine(replyStart_, from == std::string::npos ? 0 : from, kReplyShown) +
                              "\"",
                          "no APRS-IS server");
        } else if (packetLeft_ && error != 0) {
            ReportFailure("APRS: Error sending data: the connection was lost after the report: " +
                          net::WSocketErrorDesc(error));
        } else if (packetLeft_) {
            ReportFailure(
                answered_ ? "APRS: Error sending data: the report did not leave before the connection ended"
                          : "APRS: Error sending data: no answer from the server");
        } else {
            ReportFailure("APRS: Error sending data: " +
                          (error != 0 ? net::WSocketErrorDesc(error)
                                      : "the connection ended before the report was sent"));
        }
    });
    TellEnd();
}
