#pragma once
// An asynchronous HTTP/1.0 client for one request at a time: GET, POST or HEAD of a URL, directly or
// through an HTTP proxy, with Basic authorisation, cookies handed to the application, byte ranges and
// Location replies followed (as GET, at most kHttpMaxRelocations, never after a status of 400 or more;
// through a proxy the connection stays with the proxy). Progress arrives as events on the loop's
// thread; OnRequestDone ends every request that started, never inside the call that started it.
//
// The request, sent in one write (lines end in CR LF):
//   METHOD path HTTP/1.0           path = "/a/b?q" direct; "http://host[:port]/a/b?q" through a proxy
//   [From:] [Accept:] [Referer:] [Content-Type: (POST)] [User-Agent:]
//   Host: host[:port]              the port only when the URL names one other than 80
//   [Pragma: no-cache] [Content-Length: (POST) bytes from the stream's position to its end]
//   [If-Modified-Since:] [Authorization: Basic] [Proxy-Authorization: Basic] [Cookie:] [Range:]
//   <empty line>, then the POST body in chunks of 8193 bytes, one per drained send.
// The reply: lines end at LF (a CR before it is dropped); a header line may hold at most 8191 bytes.
// A first line "<HTML>" (any case) means no header. The body ends when the server closes, or at the
// header's end with "Content-Length: 0". A reply of 400 or more is read to its end and ends the
// request with that status. Each request closes its connection when it ends. With ReplyLimit, at most
// that many bytes of a reply (header and body) are read: a body that goes on is cut there (the request
// ends as if the server had closed, ReplyCut() says so), a header that goes on fails the request.
//
// Outcome: OnRequestDone(RqType, Error). Error is 0 after any reply (the HTTP result is in StatusCode
// and ReasonPhrase); otherwise StatusCode is 404, ReasonPhrase says why, and Error is the socket's
// error code (lookup, connect), httperrAborted, httperrLineTooLong, httperrBadReply,
// httperrHeaderTooLarge or kHttpTimeoutError (no progress for TimeoutMs, or no end within DeadlineMs).
// A build with the tests (KORVANE_LOOPBACK_ONLY) refuses any address outside 127.0.0.0/8 with WSAEACCES.
//
// Never destroy the client inside one of its own events.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/HttpprotUrl.h"
#include "net/Wsocket.h"
#include "platform/MemoryStream.h"
#include "platform/StringList.h"
#include "platform/Timer.h"

namespace net {

enum THttpState {
    httpReady,
    httpNotConnected,
    httpConnected,
    httpDnsLookup,
    httpDnsLookupDone,
    httpWaitingHeader,
    httpWaitingBody,
    httpAborting
};
enum THttpRequest { httpAbort, httpGET, httpPOST, httpHEAD };

// Codes of EHttpException and of OnRequestDone's Error.
inline constexpr uint16_t httperrBusy = 1;
inline constexpr uint16_t httperrNothingToPost = 2;
inline constexpr uint16_t httperrAborted = 3;
inline constexpr uint16_t httperrLineTooLong = 4;
inline constexpr uint16_t httperrBadReply = 5;       // a status line without a three-digit code
inline constexpr uint16_t httperrBadRequest = 6;     // a line break or NUL in a value that goes on the wire
inline constexpr uint16_t httperrHeaderTooLarge = 7; // a reply header longer than ReplyLimit
inline constexpr uint16_t kHttpTimeoutError = ws::WSAETIMEDOUT;

// At most this many Location replies are followed in one request; the next one ends it.
inline constexpr int kHttpMaxRelocations = 5;
inline constexpr int kHttpBufferSize = 8193;

class EHttpException : public platform::Exception {
public:
    EHttpException(const std::string& message, uint16_t code) : Exception(message), code_(code) {}
    uint16_t ErrorCode() const { return code_; }
    std::string ClassName() const override { return "EHttpException"; }

private:
    uint16_t code_;
};

class THttpCli;
using THttpNotifyEvent = std::function<void(THttpCli* sender)>;
using THttpCommandEvent = std::function<void(THttpCli* sender, std::string& command)>;
using THttpDataEvent = std::function<void(THttpCli* sender, const void* buffer, int length)>;
using THttpRequestDoneEvent = std::function<void(THttpCli* sender, THttpRequest rqType, uint16_t error)>;
using THttpCookieEvent = std::function<void(THttpCli* sender, const std::string& data, bool& accept)>;
using THttpDataAvailableEvent = std::function<void(THttpCli* sender, uint16_t error)>;

class THttpCli : public platform::TComponent, public platform::MessageTarget {
public:
    explicit THttpCli(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~THttpCli() override;

    // Settings.
    std::string URL;
    std::string LocalAddr = "0.0.0.0";
    std::string Proxy; // host, or a URL with a port; empty for a direct connection
    std::string ProxyPort = "80";
    std::string Sender;
    std::string Agent = "Mozilla/3.0 (compatible)";
    std::string Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    std::string Reference;
    std::string Username, Password; // a user and password in the URL replace these
    std::string ProxyUsername, ProxyPassword;
    bool NoCache = false;
    platform::TDateTime ModifiedSince = 0;
    std::string Cookie; // sent when not empty; the client never fills it
    std::string ContentTypePost = "application/x-www-form-urlencoded";
    std::string ContentRangeBegin, ContentRangeEnd; // cleared once sent; set by a content-range reply
    bool MultiThreaded = false;
    // A request that sees no progress (lookup, connect, a byte sent or received) for this long is
    // ended with kHttpTimeoutError; 0 waits without limit.
    uint32_t TimeoutMs = 60000;
    // A request that has not ended this long after it started is ended with kHttpTimeoutError,
    // however it progresses; 0 sets no limit.
    uint32_t DeadlineMs = 0;
    // The most bytes of a reply that are read (see above); 0 reads every byte.
    uint32_t ReplyLimit = 0;
    platform::TStream* SendStream = nullptr; // the POST body, sent from its position; not owned
    platform::TStream* RcvdStream = nullptr; // receives the body when set; not owned

    // Events.
    THttpNotifyEvent OnSessionConnected, OnHeaderData, OnHeaderBegin, OnHeaderEnd, OnRequestHeaderBegin,
        OnRequestHeaderEnd, OnDocBegin, OnDocEnd, OnSendBegin, OnSendEnd, OnStateChange, OnLocationChange;
    THttpCommandEvent OnCommand;
    THttpDataEvent OnDocData, OnSendData;
    THttpRequestDoneEvent OnRequestDone;
    THttpCookieEvent OnCookie;
    THttpDataAvailableEvent OnDataAvailable;

    // Results.
    const std::string& AcceptRanges() const { return acceptRanges_; }
    int StatusCode() const { return statusCode_; }
    const std::string& ReasonPhrase() const { return reasonPhrase_; }
    int ContentLength() const { return contentLength_; }
    const std::string& ContentType() const { return contentType_; }
    int RcvdCount() const { return rcvdCount_; }
    // The reply went on past ReplyLimit: the body holds its first part.
    bool ReplyCut() const { return replyCut_; }
    int SentCount() const { return sentCount_; }
    const platform::TStringList& RcvdHeader() const { return rcvdHeader_; }
    const std::string& DocName() const { return docName_; }
    const std::string& Location() const { return location_; }
    THttpState State() const { return state_; }
    THttpRequest RequestType() const { return requestType_; }
    bool Connected() const { return connected_; }
    const std::string& DnsResult() const { return dnsResult_; }
    TWSocket* CtrlSocket() const { return socket_.get(); }

    // Start a request and return at once. Raise EHttpException when busy, when a POST has no
    // SendStream, or when a value that goes on the wire holds a line break.
    void GetASync();
    void PostASync();
    void HeadASync();
    // The same, then wait in the loop until the request has ended; raise EHttpException(ReasonPhrase,
    // StatusCode) when the status is 400 or more.
    void Get();
    void Post();
    void Head();
    void Abort();

    virtual void SendCommand(const std::string& command);
    virtual void Login();
    virtual void Logout();

    void Dispatch(platform::TMessage& message) override;

protected:
    virtual void InternalClear();
    virtual void LocationSessionClosed();
    virtual void TriggerCookie(const std::string& data, bool& accept);
    virtual void TriggerSessionConnected();
    virtual void TriggerRequestHeaderBegin();
    virtual void TriggerRequestHeaderEnd();
    virtual void TriggerHeaderBegin();
    virtual void TriggerHeaderEnd();
    virtual void TriggerDocBegin();
    virtual void TriggerDocData(const void* data, int length);
    virtual void TriggerDocEnd();
    virtual void TriggerSendBegin();
    virtual void TriggerSendData(const void* data, int length);
    virtual void TriggerSendEnd();

private:
    // Private messages to the client's own window.
    static constexpr uint32_t kMsgRequestDone = WM_USER + 1; // WParam = request kind, LParam = error
    static constexpr uint32_t kMsgSetReady = WM_USER + 2;    // WParam = request number
    static constexpr uint32_t kMsgLogin = WM_USER + 3;       // WParam = request number

    // Where a request goes: the server named by the URL (or a Location) and the host it connects to.
    struct Target {
        std::string proto = "http";
        std::string host;     // the server, for "Host:"
        std::string hostPort; // the URL's port, empty when it names none
        std::string path;     // the path on that server, with its query
    };

    void StartRequest(THttpRequest request);
    void CheckWireValues() const;
    void SetState(THttpState state);
    std::string RequestPath() const;
    std::string HostHeader() const;
    void SendRequest(const char* method);
    void DocNameFromPath();

    // Socket events.
    void SocketDnsLookupDone(uint16_t error);
    void SocketSessionConnected(uint16_t error);
    void SocketDataSent();
    void SocketDataAvailable(uint16_t error);
    void SocketSessionClosed(uint16_t error);

    // Reply.
    void TakeLine(const std::string& line, const std::string& raw);
    void ParseHeaderLine(const std::string& line, const std::string& raw);
    void ParseStatusLine(const std::string& line);
    void ParseField(const std::string& line);
    void HeaderComplete();
    void BodyChunk(const std::string& chunk);
    void CheckReplyLimit();
    void NoteLocation(const std::string& value);
    bool RelocationAllowed() const;
    void Relocate();

    // Ending: Finish ends the request once (the connection closed, the ready message posted); Fail
    // records a client-side failure first.
    void Finish();
    void Fail(uint16_t error, const std::string& reason);
    void ArmTimeout();
    void ArmDeadline();
    void WaitUntilReady();

    std::unique_ptr<TWSocket> socket_;
    std::unique_ptr<platform::TTimer> timeout_;
    std::unique_ptr<platform::TTimer> deadline_;
    THttpState state_ = httpReady;
    THttpRequest requestType_ = httpGET;
    Target target_;
    Target pending_;       // where the Location of the current reply points
    std::string hostName_; // the host to connect to: the server, or the proxy
    std::string port_;     // the port to connect to
    std::string location_;
    bool connected_ = false;
    std::string dnsResult_;
    std::string received_; // reply bytes not yet parsed (at most kHttpBufferSize - 1)
    int headerLines_ = 0, bodyChunks_ = 0;
    bool allowedToSend_ = false;
    std::string docName_;
    int statusCode_ = 0;
    std::string reasonPhrase_;
    int contentLength_ = -1;
    std::string contentType_;
    platform::TStringList authChallenges_;
    std::string acceptRanges_;
    bool locationSeen_ = false, headerInProgress_ = false, inBody_ = false;
    platform::TStringList rcvdHeader_;
    int rcvdCount_ = 0, sentCount_ = 0;
    uint64_t replyBytes_ = 0; // bytes of the current reply read so far
    bool replyCut_ = false;
    std::string requestHeader_;
    uint16_t requestDoneError_ = 0;
    int relocations_ = 0;
    // One request's life: its number tags the posted messages, so that a late one of an earlier
    // request is ignored; finished_ is set once its end is decided, relocating_ while it moves on.
    uint32_t sequence_ = 0;
    bool finished_ = true, relocating_ = false;
};

} // namespace net
