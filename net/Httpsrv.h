#pragma once
// A small HTTP/1.0 server: a socket server whose clients read each request line and header in line
// mode and hand GET, HEAD and POST to the owner through events. The owner answers with a file of the
// document folder, a stream it prepares, the 404 page, or by itself.
//
// One answer per connection: after it the connection closes, and the answers the connection writes
// itself say "Connection: close" (an owner that writes its own header should say so too). Whatever
// follows the request head is bytes: a posted body for the owner, anything else dropped unread as
// lines. A slow client is bounded three times: by the idle time-out, by a deadline for its whole
// request head, and by a shorter time-out for an answer that does not move.
//
// It holds as many connections as the process's descriptor limit allows, less a few descriptors kept
// for the rest of the station, and never more than a ceiling of its own, kHttpConnectionsMost (or
// fewer, MaxClients): the descriptor limit may be in the hundreds of thousands, and each connection
// costs memory. The rest wait in the listen backlog, not accepted.
//
// A connection from which nothing has come is not even queued for the first DeferAcceptSeconds: the
// system holds it until its first bytes come, so that a crowd of silent connections waits in the
// system, not in the backlog ahead of visitors whose requests are there. Once its deferral has run out
// it is queued all the same, and from its accept on it is held like any other (the rules below, its
// head deadline and its 408). Where the system refuses to defer (DeferAcceptError), each connection is
// taken at once. A crowd that overflows the system's queue of half-open connections (as large as the
// backlog) is answered with SYN cookies, which pass connections on at once, undeferred.
//
// When all slots are taken, one that
// waits is let in in the place of the oldest connection still reading its request head: at once when
// part of the head has come, once it has been set up for ShedGraceMs (its wait in the backlog counted)
// when nothing has. Failing that, in the place of one that has made no progress for ShedGraceMs: an
// answer that has not moved (or was sent whole) that long ago, or a posted body that stalled. A
// connection whose answer moves or is still prepared keeps its place. A server that stays full for
// ShedGraceMs turns newcomers away ("503 Service Unavailable") until it has room again.
//
// A connection whose request may still be on its way is never closed unanswered: one that gives way,
// or whose request head has not come in time, is told "408 Request Timeout". Such an answer of the
// server's own leaves, the sending side is shut, and the connection is closed once the client has
// closed its side, or kHttpLeaveDrainMs later, its input read and dropped meanwhile: a close with input
// unread would reset the connection, and the reset could destroy the answer before it is read. One from
// which not a byte has come has nothing to drain: it closes as soon as its answer has left, so that a
// crowd of silent connections turned away frees its descriptors at once rather than at the pace of its
// clients' closes.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "net/Wsockets.h"
#include "platform/Clock.h"
#include "platform/CommandSocket.h"
#include "platform/HostPaths.h"
#include "platform/MemoryStream.h"
#include "platform/StringList.h"
#include "platform/Timer.h"

namespace net {

enum THttpGetFlag { hgSendDoc, hgSendStream, hgWillSendMySelf, hg404, hgAcceptData };
enum THttpSendType { httpSendHead, httpSendDoc };
enum THttpConnectionState { hcRequest, hcHeader, hcPostedData };

class THttpConnection;
using THttpGetConnEvent = std::function<void(THttpConnection* sender, THttpGetFlag& flags)>;
using THttpPostedDataEvent = std::function<void(THttpConnection* sender, uint16_t error)>;

// A read-only stream for an answer: a header, then a body shared with whoever keeps it (not copied),
// then a tail of this answer's own. The header may be shared too.
class THttpAnswerStream : public platform::TStream {
public:
    THttpAnswerStream(std::string head, std::shared_ptr<const std::string> body, std::string tail = {})
        : head_(std::move(head)), body_(std::move(body)), tail_(std::move(tail)) {}
    THttpAnswerStream(std::shared_ptr<const std::string> head, std::shared_ptr<const std::string> body)
        : sharedHead_(std::move(head)), body_(std::move(body)) {}
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Size() const override {
        return static_cast<int64_t>(Head().size() + body_->size() + tail_.size());
    }
    int64_t Position() const override { return static_cast<int64_t>(position_); }
    void SetPosition(int64_t position) override;
    std::string_view Head() const {
        return sharedHead_ ? std::string_view(*sharedHead_) : std::string_view(head_);
    }

private:
    std::string head_;
    std::shared_ptr<const std::string> sharedHead_;
    std::shared_ptr<const std::string> body_;
    std::string tail_;
    size_t position_ = 0;
};

// Limits that keep one connection's state bounded.
inline constexpr int kHttpMaxHeaderLines = 100;
inline constexpr int kHttpMaxHeaderBytes = 65536;
// How long a connection turned away waits for its client to close before it is closed all the same.
inline constexpr uint32_t kHttpLeaveDrainMs = 1000;
// Descriptors the server leaves to the rest of the station: the logs, data files, graph images, the
// feeds, the FTP upload and the posts (64), and, as a share of its own, the keeper's command channel at
// its fullest (platform/CommandSocket.h), so that a full channel takes none of the others'. Then the
// connections it may have on their way out (turned away) beside those it holds.
inline constexpr size_t kHttpCommandChannelShare = platform::CommandSocketLimits{}.Descriptors();
inline constexpr size_t kHttpDescriptorsKept = 64 + kHttpCommandChannelShare;
inline constexpr int kHttpLeavingMax = 64;
// The connections a server holds at most, whatever the descriptor limit: each held costs about 2.9 kB
// of resident memory (measured: 8,000 silent ones 22 MB, 10,000 some 28 MB, beside a station of
// 10.5 MB), so a station with its table full stays near 40 MB.
inline constexpr int kHttpConnectionsMost = 10000;
// How long the system keeps a connection that has sent nothing before it queues it for the server: one
// of its steps (1, 3, 7 s...). A request that a slow link brings 1 or 3 s after the connect is read as
// it comes, before the server has seen the connection, so it never waits out a full server's grace.
// And the silent crowd kept meanwhile stays within the system's queue of half-open connections (as
// large as the backlog, 4,096): a silent client spends 3 s there for every 10 s (its head deadline) that
// the server holds it, so 12,000 that reopen at once keep about 2,500 there and 8,800 held, under the
// ceiling (measured: some 840 reopened a second). At 7 s the same crowd would overflow that queue, whose
// SYN cookies pass connections on undeferred, and a silent connection's 408 would come later still.
inline constexpr int kHttpDeferAcceptSeconds = 3;
// The descriptor limit a server needs to hold kHttpConnectionsMost: a process need not allow more.
inline constexpr size_t kHttpDescriptorsWanted =
    static_cast<size_t>(kHttpConnectionsMost) + static_cast<size_t>(kHttpLeavingMax) + kHttpDescriptorsKept;
// The connections a server may hold with a descriptor limit of `limit` and at most `most` (0: no
// bound of its own): always at least one, never more than kHttpConnectionsMost.
int HttpConnectionsHeld(size_t limit, int most);

class THttpConnection : public TWSocketClient {
public:
    explicit THttpConnection(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~THttpConnection() override;

    std::string Method;
    std::string Version; // "HTTP/1.1" only when the request said so, else "HTTP/1.0"
    std::string Path;
    std::string Params;
    platform::TStringList RequestHeader;
    THttpConnectionState ConnectionState() const { return connectionState_; }
    std::string DocDir;
    std::string DefaultDoc;
    std::string Document;
    // The stream being sent; the connection owns it and frees it when it has been sent.
    std::unique_ptr<platform::TStream> DocStream;
    int64_t LastModified = 0; // seconds since 1970 (UTC), 0 when unknown
    std::string AnswerContentType;
    long long RequestContentLength = 0;
    std::string RequestContentType, RequestAccept, RequestReferer, RequestAcceptLanguage,
        RequestAcceptEncoding, RequestUserAgent, RequestHost, RequestConnection;
    // A silent connection is closed after this long (0 = never).
    uint32_t IdleTimeoutMs = 30000;
    // The whole request head must have arrived this long after the connection began (0 = no limit).
    uint32_t HeadTimeoutMs = 10000;
    // An answer that moves no byte for this long is dropped (0 = only the idle time-out).
    uint32_t AnswerStallMs = 5000;

    THttpGetConnEvent OnGetDocument, OnHeadDocument, OnPostDocument;
    THttpPostedDataEvent OnPostedData;
    // Bad input from the client: a short reason for the owner's log.
    std::function<void(THttpConnection* sender, const std::string& reason)> OnBadRequest;

    void SendDocument(THttpSendType sendType);
    void SendStream();
    void Answer404();
    // True when Document names a readable regular file inside DocDir.
    bool DocumentAvailable() const;
    // Starts the idle time-out and the request head's deadline (when the connection begins).
    void StartTimers();
    // Reads what has arrived already, as a read event would. Called as the connection begins: a request
    // that came with it is answered at once, and a connection answered and closed in the turn that took
    // it is never watched by the loop at all (the loop sets up its watches at its next look).
    void ReadArrived();
    // With `enforce`, ends the connection when one of its limits has passed: turned away with 408 when
    // its request may still come, aborted otherwise; one turned away closes when its drain has passed.
    // The ms until the first of them passes (UINT32_MAX: none runs).
    uint32_t CheckLimits(uint32_t now, bool enforce);
    // Told the ms until its first limit when a limit begins (the server's timer keeps them).
    std::function<void(uint32_t ms)> OnLimitsChanged;
    // Told when the first bytes have come from the client.
    std::function<void()> OnHeard;
    // The request head is in (or the connection is on its way out): the connection is answering.
    bool HeadComplete() const { return connectionState_ == hcPostedData || Closing(); }
    // Answered, and only waiting for the client to close.
    bool Draining() const { return draining_; }
    // Still reading its request head: nothing is answered yet.
    bool ReadingHead() const;
    // Its request may still be on its way: it reads its request head, or takes a posted body and has
    // not begun to answer.
    bool RequestMayStillCome() const;
    // Not a byte has come from the client.
    bool Silent() const { return recvBytes_ == 0; }
    // Asks the system how long the connection waited in the listen backlog before it was accepted
    // (asked only when it matters: a call for every accept would cost each answer).
    void NoteBacklogWait();
    // How long the connection has been set up: since its accept, and its wait before it when noted.
    uint32_t ConnectedFor(uint32_t now) const { return platform::TicksElapsed(now, connected_) + waited_; }
    // Whether the connection, its request head read, may give way to one waiting in the backlog once
    // it has made no progress for a while: it sends (or has sent) its answer, or takes a posted body.
    // An answer that the owner still prepares does not give way.
    bool MayGiveWay() const;
    // The clock tick of its last progress: connected, request head complete, a byte of the answer or
    // of a posted body moved, answer sent.
    uint32_t ProgressTick() const { return progress_; }
    // Answers with a status and a short page of its own, then closes. A non-empty reason goes to
    // OnBadRequest first.
    void Refuse(const std::string& status, const std::string& reason);
    // Answers with a status and a short page of its own instead of anything the client asked, and
    // closes gracefully (see the top of this file): what it asked before is not answered.
    void TurnAway(const std::string& status);
    // Turned away: on its way out.
    bool Leaving() const { return leaving_; }
    // Told when the connection is turned away.
    std::function<void()> OnLeaving;

protected:
    int RealSend(const void* data, int length) override;
    virtual void TriggerGetDocument(THttpGetFlag& flags);
    virtual void TriggerHeadDocument(THttpGetFlag& flags);
    virtual void TriggerPostDocument(THttpGetFlag& flags);

private:
    void ConnectionDataAvailable();
    // The next line into line_ (its buffer serves every line of the request head).
    void ReceiveLine();
    void ParseRequestLine(const std::string& line);
    void ParseHeaderLine(const std::string& line);
    void ProcessRequest();
    void ProcessGetHead(bool head);
    void ProcessPost();
    void StreamPump();
    // The stream has been read to its end (or as far as the answer announced).
    bool AnswerEnds() const;
    void FinishStream();
    // `now`: closes at once rather than after this turn (where nothing of the connection runs after the
    // caller but returns).
    void CloseAfterAnswer(bool now = false);
    // What Document names when it is a regular file inside DocDir (its `real` path empty otherwise):
    // looked up anew for each answer, unless DocumentAvailable looked for this Document and DocDir.
    const platform::HostEntry& DocumentEntry() const;
    // Answers with the file the entry describes: from memory while it is kept, else read from disk.
    void SendFile(THttpSendType sendType, const platform::HostEntry& entry);
    void ShutWhenSent();
    bool InputWaiting();
    bool AnswerOnItsWay() const {
        return connectionState_ == hcPostedData && !draining_ && (DocStream || !AllSent());
    }
    void LimitsChanged();
    void Progressed();
    // Puts the header and the short page of an answer with the status into the send chain.
    void SendStatusPage(const std::string& status);
    // A connection turned away whose answer has left: closed at once when nothing has come from its
    // client, else its sending side is shut and it drains.
    void LeaveWhenSent();
    // The end of a connection turned away whose client has not closed: what came is read, then it closes.
    void EndLeaving();

    THttpConnectionState connectionState_ = hcRequest;
    bool acceptPostedData_ = false;
    bool draining_ = false;    // answered; the unread body is dropped until the client closes
    bool leaving_ = false;     // turned away
    bool answerBegun_ = false; // a byte of an answer has gone
    bool pathSafe_ = true;
    int headerLines_ = 0;
    int headerBytes_ = 0;
    std::string answerHead_;         // an answer's header, sent with the first piece of its body
    uint64_t bodyLeft_ = UINT64_MAX; // what is still to be read of the stream (a file: its announced size,
                                     // a kept one with its header)
    std::string line_;
    mutable bool documentLooked_ = false; // by DocumentAvailable, for the answer that follows
    mutable std::string documentFor_, docDirFor_;
    mutable platform::HostEntry documentEntry_;
    uint32_t connected_ = 0;    // clock ticks: when the connection began,
    uint32_t lastActivity_ = 0; // its last byte either way,
    uint32_t progress_ = 0;     // and its last progress
    uint32_t leftAt_ = 0;       // when it was turned away
    uint32_t waited_ = 0;       // ms in the listen backlog before the accept, when noted
    uint64_t bytesSeen_ = 0;    // what had come from the network when the last activity was noted
};

class THttpServer;
using THttpServerEvent = std::function<void(THttpServer* sender)>;
using THttpClientEvent = std::function<void(THttpServer* sender, THttpConnection* client, uint16_t error)>;
using THttpGetEvent = std::function<void(THttpServer* sender, THttpConnection* client, THttpGetFlag& flags)>;

class THttpServer : public platform::TComponent {
public:
    explicit THttpServer(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~THttpServer() override;

    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value);
    const std::string& Addr() const { return addr_; }
    void SetAddr(const std::string& value);
    std::string DocDir = "wwwroot";
    std::string DefaultDoc = "index.html";
    TSocketLingerOnOff LingerOnOff = wsLingerNoSet;
    int LingerTimeout = 0;
    // At most this many connections (0: as many as the descriptor limit allows, kHttpDescriptorsKept
    // and kHttpLeavingMax left over, up to kHttpConnectionsMost; never more than that); more wait in the
    // listen backlog. Taken at Start, with the limit as it is then.
    int MaxClients = 0;
    // A connection that waits may take the place of one that has said nothing for this long since it
    // was set up, or whose answer (or posted body) has made no progress for this long: long enough that
    // no client that keeps up loses its connection, short enough that one kept waiting in the backlog
    // behind a full house of them is let in within a second. One that has sent part of its request head
    // and no more needs no grace: it gives way at once.
    uint32_t ShedGraceMs = 750;
    // A connection that has sent nothing is queued for the server only after this long (0: at once);
    // taken at Start.
    int DeferAcceptSeconds = kHttpDeferAcceptSeconds;
    uint32_t IdleTimeoutMs = 30000;
    uint32_t HeadTimeoutMs = 10000;
    uint32_t AnswerStallMs = 5000;
    std::function<std::unique_ptr<THttpConnection>(TCustomWSocketServer* server)> ClientClass;

    THttpServerEvent OnServerStarted, OnServerStopped;
    THttpClientEvent OnClientConnect, OnClientDisconnect, OnPostedData;
    THttpGetEvent OnGetDocument, OnHeadDocument, OnPostDocument;
    std::function<void(THttpServer* sender, THttpConnection* client, const std::string& reason)> OnBadRequest;

    virtual void Start();
    virtual void Stop();
    // The connections, those turned away included.
    int GetClientCount() const { return server_ != nullptr ? server_->GetClientCount() : 0; }
    // The connections held: those turned away are on their way out.
    int Held() const { return GetClientCount() - leaving_; }
    THttpConnection* GetClient(int index) const;
    bool IsClient(const void* object) const { return server_ != nullptr && server_->IsClient(object); }
    TWSocketServer* WSocketServer() const { return server_.get(); }
    // Why the listener could not defer silent connections at its last Start (a WSAE code; 0: it defers,
    // or was not asked to): it then takes each connection at once.
    int DeferAcceptError() const { return server_ != nullptr ? server_->DeferAcceptError() : 0; }

protected:
    virtual void TriggerServerStarted();
    virtual void TriggerServerStopped();
    virtual void TriggerPostDocument(THttpConnection* client, THttpGetFlag& flags);
    virtual void TriggerPostedData(THttpConnection* client, uint16_t error);

private:
    void WireConnection(THttpConnection* connection);
    // Before an accept: true when there is a free slot, or one was made by turning away the oldest
    // connection still reading its request head, or else the one that has made no progress for longest
    // (beyond the grace: dropped, or turned away when it was taking a posted body), or when the server
    // has been full for longer than the grace (the newcomer is then turned away); otherwise a look
    // again is planned.
    bool MakeRoom();
    // Turns away or drops the one connection that gives way to a newcomer now, if any may; else lowers
    // `soonest` to the ms until one may, and tells whether one is closing already.
    bool GiveWay(uint32_t now, uint32_t& soonest, bool& closing);
    // Offers the connection held in the backlog again on the next turn.
    void LookForRoomSoon();
    // The connections' limits, all on one timer: armed for the first that can pass.
    void CheckLimits();
    void CheckLimitsWithin(uint32_t ms);

    std::unique_ptr<TWSocketServer> server_;
    platform::TTimer roomTimer_;  // looks for room again while a connection waits in the backlog
    platform::TTimer limitTimer_; // closes the connections whose limits have passed
    uint32_t limitDue_ = 0;       // the clock tick it is armed for
    int capacity_ = 1;            // the connections held at most, as Start reckoned them
    int leaving_ = 0;             // connections turned away and not closed yet (across restarts)
    bool full_ = false;           // no room could be made since fullSince_
    uint32_t fullSince_ = 0;
    std::string port_ = "80";
    std::string addr_ = "0.0.0.0";
};

// "%" followed by two hexadecimal digits becomes that byte; any other "%" stays as it is.
std::string UrlDecode(const std::string& text);
bool ExtractURLEncodedValue(const char* message, const std::string& name, std::string& value);
std::string HtmlEscape(const std::string& text);
// The MIME type by file extension, and the HTTP date of a time in seconds since 1970 (UTC).
std::string DocumentMimeType(const std::string& fileName);
std::string HttpDate(int64_t unixSeconds);

} // namespace net
