#pragma once
// The APRS/CWOP report: PostToAPRS builds the login line and the packet (AprsPacket.h), writes the
// packet to DATA\WXNOW.TXT and connects to [APRSWXNET] Proxy (when longer than 1 character) or
// Address, port [APRSWXNET] Port. Then APRSTimer (8 s) drives the session step by step:
//
//   connected      -> (Proxy longer than 3 characters: "<Address>" CR LF) timer
//   timer          -> "user <UserID> pass -1 vers Korvane <build>" CR LF
//   timer          -> the packet CR LF
//   timer          -> close
//
// The server's replies are taken line by line, at most kAprsReplyLimit bytes of them a report: a server
// that sends more is closed there (an endless stream is never read on). A line holding "<UserID> log"
// counts as the logon. A report got through when its whole packet went out and the connection then
// ended in order (closed by either side), to a server that speaks APRS-IS: one that sent a line of its
// own, which begins with '#' (its greeting, its answer to the logon). The servers pass a packet on to
// everyone but its sender, so no echo is waited for. A server that does echo it (a line from
// "<UserID>>", by whatever path, whose text after the path is the packet's) got it too; with
// [APRSWXNET] LogSuccess the echo closes at once (without, the timer's last step closes). With
// LogSuccess, each report that got through logs "APRS data sent: OK" once, echoed or not. The timer
// also ends a connect that has not completed by its first step (a host name still being looked up among
// them: the lookup never holds the loop). The APRS transfer command is disabled while a report runs.
//
// A report asked for while one runs is skipped (with a log line): the running one keeps its state. A
// report that fails is logged with its prefix and cause: a refused, timed-out or lost connection
// before the packet left, one lost after it, a server that answered nothing, a server that answered but
// not as an APRS-IS server (the line shows how its reply began), settings that do not parse or hold
// line breaks. A run of failures logs each cause once, and "APRS: OK again after <n> failed
// attempts" when a report gets through again; the command is enabled again either way, and the station
// is told how the report ended (TransferEnded): "APRS data sent: OK" when it was echoed, "APRS: Report
// sent to <server>" when it got through without an echo.
#include <cstdint>
#include <memory>
#include <string>

#include "net/Wsocket.h"
#include "platform/Timer.h"
#include "publish/FailureRun.h"

class TPublishingHost;

// The most bytes of replies read for one report: the server's greeting, the logon reply and the echo
// take a few hundred.
inline constexpr uint32_t kAprsReplyLimit = 4096;

class TAprsReport {
public:
    explicit TAprsReport(TPublishingHost& station);
    ~TAprsReport();
    TAprsReport(const TAprsReport&) = delete;
    TAprsReport& operator=(const TAprsReport&) = delete;

    void PostToAPRS();

    void APRSSocketSessionConnected(net::TCustomWSocket* sender, uint16_t error);
    void APRSSocketDataAvailable(net::TCustomWSocket* sender, uint16_t error);
    void APRSSocketSessionClosed(net::TCustomWSocket* sender, uint16_t error);
    void APRSTimerTimer(platform::TTimer* sender);

    net::TWSocket* APRSSocket;
    platform::TTimer* APRSTimer;

private:
    void Start();
    void RestartTimer();
    void EnableMenuItem(bool enabled);
    void ReportFailure(const std::string& text, const std::string& cause = {});
    void LogSuccess();
    // Tells the station how the report ended (PublishingHost.h), once a report.
    void TellEnd();
    void TakeReplyLine(const std::string& line);
    bool IsEcho(const std::string& line) const;
    bool Debug() const;
    bool Connected() const { return APRSSocket->State() == net::wsConnected; }
    // A proxy is set that is sent the server's address and reaches the server for us.
    bool ThroughProxy() const { return station_.AprsProxy().size() > 3; }

    TPublishingHost& station_;
    std::unique_ptr<net::TWSocket> socket_;
    std::unique_ptr<platform::TTimer> timer_;
    std::string login_, packet_, logonMarker_, echoMarker_;
    std::string server_; // where the report goes: "<host>:<port>", or "<Address> through <proxy>:<port>"
    bool logonSent_ = false, dataSent_ = false;
    bool packetLeft_ = false; // the packet was handed to the connection
    bool answered_ = false;   // the server sent something
    bool aprsIs_ = false;     // the server sent a line of its own ('#'): it speaks APRS-IS
    bool echoed_ = false;     // the server echoed the packet
    bool delivered_ = false;  // the report got through: echoed, or sent on a connection that ended in order
    bool successLogged_ = false; // this report's success line is logged
    bool failureLogged_ = false; // this report's failure is told already
    bool cut_ = false;           // the replies reached kAprsReplyLimit: the connection was closed there
    bool endTold_ = false;       // the station was told how this report ended
    std::string partLine_;       // the start of a reply line not complete yet
    std::string replyStart_;     // the first bytes of the replies, for a failure line that shows them
    uint32_t replyBytes_ = 0;    // bytes of replies read in this report
    TFailureRun failures_;
};
