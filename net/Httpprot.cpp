// The HTTP client's request: starting it, the lookup and connection, the request header, the POST
// body pump, the end of a request, Abort and the blocking calls.
#include "net/Httpprot.h"

#include "net/LoopbackGuard.h"
#include "platform/Strings.h"

namespace net {

using platform::Format;

namespace {

bool HasLineBreak(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::string ErrorText(int code) {
    return WSocketErrorDesc(code) + Format(" (Error #%d)", code);
}

} // namespace

THttpCli::THttpCli(platform::TComponent* owner, const std::string& name)
    : TComponent(owner, name), socket_(std::make_unique<TWSocket>()),
      timeout_(std::make_unique<platform::TTimer>()), deadline_(std::make_unique<platform::TTimer>()) {
    timeout_->SetEnabled(false);
    timeout_->OnTimer = [this](platform::TTimer*) {
        if (!finished_) Fail(kHttpTimeoutError, "Request timed out");
    };
    deadline_->SetEnabled(false);
    deadline_->OnTimer = [this](platform::TTimer*) {
        if (!finished_)
            Fail(kHttpTimeoutError, Format("No complete reply within %u seconds", DeadlineMs / 1000));
    };
    socket_->OnSessionClosed = [this](TCustomWSocket*, uint16_t error) { SocketSessionClosed(error); };
    socket_->OnDataAvailable = [this](TCustomWSocket*, uint16_t error) { SocketDataAvailable(error); };
    socket_->OnSessionConnected = [this](TCustomWSocket*, uint16_t error) { SocketSessionConnected(error); };
    socket_->OnDataSent = [this](TCustomWSocket*, uint16_t) { SocketDataSent(); };
    socket_->OnDnsLookupDone = [this](TCustomWSocket*, uint16_t error) { SocketDnsLookupDone(error); };
}

THttpCli::~THttpCli() {
    finished_ = true; // whatever the socket still reports on its way out is ignored
    socket_->OnSessionClosed = nullptr;
    socket_->OnDataAvailable = nullptr;
    socket_->OnSessionConnected = nullptr;
    socket_->OnDataSent = nullptr;
    socket_->OnDnsLookupDone = nullptr;
}

// ---- starting a request ----

void THttpCli::GetASync() {
    StartRequest(httpGET);
}
void THttpCli::PostASync() {
    StartRequest(httpPOST);
}
void THttpCli::HeadASync() {
    StartRequest(httpHEAD);
}

void THttpCli::CheckWireValues() const {
    const std::string* values[] = {
        &URL,    &Proxy,           &ProxyPort,         &Sender,          &Reference, &Agent,
        &Accept, &ContentTypePost, &ContentRangeBegin, &ContentRangeEnd, &Cookie,    &LocalAddr};
    for (const std::string* value : values)
        if (HasLineBreak(*value))
            throw EHttpException("HTTP request value contains a line break", httperrBadRequest);
}

void THttpCli::StartRequest(THttpRequest request) {
    if (state_ != httpReady) throw EHttpException("HTTP component is busy", httperrBusy);
    if (request == httpPOST && SendStream == nullptr)
        throw EHttpException("HTTP component has nothing to post", httperrNothingToPost);
    CheckWireValues();
    ++sequence_;
    finished_ = false;
    relocating_ = false;
    requestType_ = request;
    socket_->MultiThreaded = MultiThreaded;
    SetState(httpNotConnected);
    InternalClear();
    location_ = URL;
    ArmDeadline();

    std::string proto, user, pass, host, port, path;
    ParseURL(URL, proto, user, pass, host, port, path);
    target_ = Target{proto.empty() ? "http" : proto, host, port, EscapePathBlanks(path.empty() ? "/" : path)};
    hostName_ = host;
    port_ = port.empty() ? "80" : port;
    if (!Proxy.empty()) {
        std::string proxyProto, proxyUser, proxyPass, proxyPath;
        ParseURL(Proxy, proxyProto, proxyUser, proxyPass, hostName_, port_, proxyPath);
        if (port_.empty()) port_ = ProxyPort;
    }
    if (!user.empty()) Username = user;
    if (!pass.empty()) Password = pass;
    DocNameFromPath();
    Login();
}

void THttpCli::InternalClear() {
    rcvdHeader_.Clear();
    authChallenges_.Clear();
    requestDoneError_ = 0;
    docName_.clear();
    statusCode_ = 0;
    reasonPhrase_.clear();
    rcvdCount_ = sentCount_ = 0;
    headerLines_ = bodyChunks_ = 0;
    allowedToSend_ = false;
    contentLength_ = -1;
    contentType_.clear();
    received_.clear(); // nothing of an earlier reply is parsed as this one
    replyBytes_ = 0;
    replyCut_ = false;
    locationSeen_ = headerInProgress_ = inBody_ = false;
    relocations_ = 0;
    connected_ = false;
}

void THttpCli::DocNameFromPath() {
    std::string path = target_.path.substr(0, target_.path.find('?'));
    if (path.empty() || path == "/") {
        docName_ = "document.htm";
        return;
    }
    if (path.back() == '/') path.pop_back();
    docName_ = path.substr(path.rfind('/') + 1).substr(0, 255);
}

std::string THttpCli::RequestPath() const {
    if (Proxy.empty()) return target_.path;
    return target_.proto + "://" + target_.host + (target_.hostPort.empty() ? "" : ":" + target_.hostPort) +
           target_.path;
}

std::string THttpCli::HostHeader() const {
    if (target_.hostPort.empty() || target_.hostPort == "80") return target_.host;
    return target_.host + ":" + target_.hostPort;
}

void THttpCli::SetState(THttpState state) {
    if (state == state_) return;
    state_ = state;
    if (state == httpReady) {
        timeout_->SetEnabled(false);
        deadline_->SetEnabled(false);
        platform::PostMessage(Handle(), kMsgRequestDone, static_cast<platform::WPARAM>(requestType_),
                              requestDoneError_);
    }
    if (OnStateChange) OnStateChange(this);
}

// ---- lookup and connection ----

void THttpCli::Login() {
    dnsResult_.clear();
    SetState(httpDnsLookup);
    ArmTimeout();
    try {
        socket_->SetLocalAddr(LocalAddr);
        socket_->DnsLookup(hostName_);
    } catch (const std::exception& e) {
        int code = socket_->LastError();
        Fail(static_cast<uint16_t>(code != 0 ? code : ws::WSAEINVAL), e.what());
    }
}

void THttpCli::Logout() {
    socket_->Close();
    connected_ = false;
}

void THttpCli::SocketDnsLookupDone(uint16_t error) {
    if (finished_ || state_ != httpDnsLookup) return; // a cancelled or earlier lookup
    if (error != 0) return Fail(error, "can't resolve hostname to IP address");
    dnsResult_ = socket_->DnsResult();
    SetState(httpDnsLookupDone);
    if (finished_) return;
    if (!DestinationAllowed(dnsResult_))
        return Fail(ws::WSAEACCES,
                    "can't connect: " + dnsResult_ + " is outside 127.0.0.0/8 in the test build");
    try {
        socket_->SetAddr(dnsResult_);
        socket_->SetLocalAddr(LocalAddr);
        socket_->SetPort(port_);
        socket_->SetProto("tcp");
        ArmTimeout();
        socket_->Connect();
    } catch (const std::exception&) {
        int code = socket_->LastError();
        Fail(static_cast<uint16_t>(code), "can't connect: " + ErrorText(code));
    }
}

void THttpCli::SocketSessionConnected(uint16_t error) {
    if (finished_ || state_ != httpDnsLookupDone) return;
    if (error != 0) return Fail(error, ErrorText(error));
    connected_ = true;
    ArmTimeout();
    SetState(httpConnected);
    TriggerSessionConnected();
    if (finished_) return;
    SetState(httpWaitingHeader);
    if (finished_) return;
    static const char* const kMethods[] = {"GET", "GET", "POST", "HEAD"};
    try {
        SendRequest(kMethods[requestType_]);
        if (requestType_ == httpPOST && !finished_) {
            TriggerSendBegin();
            allowedToSend_ = true;
            SocketDataSent();
        }
    } catch (const std::exception& e) {
        int code = socket_->LastError();
        Fail(static_cast<uint16_t>(code != 0 ? code : ws::WSAECONNABORTED), e.what());
    }
}

// ---- the request ----

void THttpCli::SendCommand(const std::string& command) {
    std::string line = command;
    if (OnCommand) OnCommand(this, line);
    requestHeader_ += line;
    requestHeader_ += "\r\n";
}

void THttpCli::SendRequest(const char* method) {
    bool post = requestType_ == httpPOST;
    requestHeader_.clear();
    TriggerRequestHeaderBegin();
    SendCommand(std::string(method) + " " + RequestPath() + " HTTP/1.0");
    if (!Sender.empty()) SendCommand("From: " + Sender);
    if (!Accept.empty()) SendCommand("Accept: " + Accept);
    if (!Reference.empty()) SendCommand("Referer: " + Reference);
    if (post && !ContentTypePost.empty()) SendCommand("Content-Type: " + ContentTypePost);
    if (!Agent.empty()) SendCommand("User-Agent: " + Agent);
    SendCommand("Host: " + HostHeader());
    if (NoCache) SendCommand("Pragma: no-cache");
    if (post) {
        long long remaining = SendStream->Size() - SendStream->Position();
        SendCommand(Format("Content-Length: %lld", remaining > 0 ? remaining : 0));
    }
    if (ModifiedSince != 0) SendCommand("If-Modified-Since: " + RFC1123_Date(ModifiedSince) + " GMT");
    if (!Username.empty())
        SendCommand("Authorization: Basic " + EncodeStr(encBase64, Username + ":" + Password));
    if (!Proxy.empty() && !ProxyUsername.empty())
        SendCommand("Proxy-Authorization: Basic " +
                    EncodeStr(encBase64, ProxyUsername + ":" + ProxyPassword));
    if (!Cookie.empty()) SendCommand("Cookie: " + Cookie);
    if (!ContentRangeBegin.empty() || !ContentRangeEnd.empty()) {
        SendCommand("Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd);
        ContentRangeBegin.clear();
        ContentRangeEnd.clear();
    }
    acceptRanges_.clear();
    TriggerRequestHeaderEnd();
    SendCommand("");
    std::string header;
    header.swap(requestHeader_);
    socket_->Send(header.data(), static_cast<int>(header.size()));
}

// One buffer of the POST body per drained send.
void THttpCli::SocketDataSent() {
    if (!allowedToSend_ || finished_) return;
    char buffer[kHttpBufferSize];
    size_t count = SendStream->Read(buffer, sizeof buffer);
    if (count == 0) {
        allowedToSend_ = false;
        TriggerSendEnd();
        return;
    }
    ArmTimeout();
    sentCount_ += static_cast<int>(count);
    TriggerSendData(buffer, static_cast<int>(count));
    if (finished_) return;
    socket_->Send(buffer, static_cast<int>(count));
}

// ---- the end of a request ----

void THttpCli::Finish() {
    if (finished_) return;
    finished_ = true;
    relocating_ = allowedToSend_ = connected_ = false;
    timeout_->SetEnabled(false);
    deadline_->SetEnabled(false);
    try {
        socket_->CancelDnsLookup();
        if (socket_->State() != wsClosed) socket_->Close(); // its close event finds the request ended
    } catch (const std::exception&) {
    }
    platform::PostMessage(Handle(), kMsgSetReady, sequence_);
}

void THttpCli::Fail(uint16_t error, const std::string& reason) {
    if (finished_) return;
    requestDoneError_ = error;
    statusCode_ = 404;
    reasonPhrase_ = reason;
    Finish();
}

void THttpCli::ArmTimeout() {
    timeout_->SetEnabled(false);
    if (TimeoutMs == 0 || finished_) return;
    timeout_->SetInterval(TimeoutMs);
    timeout_->SetEnabled(true);
}

void THttpCli::ArmDeadline() {
    deadline_->SetEnabled(false);
    if (DeadlineMs == 0) return;
    deadline_->SetInterval(DeadlineMs);
    deadline_->SetEnabled(true);
}

void THttpCli::Abort() {
    if (state_ == httpReady) {
        if (socket_->State() != wsClosed) socket_->Close();
        return;
    }
    if (!finished_) { // an ended request keeps its outcome
        SetState(httpAborting);
        statusCode_ = 404;
        reasonPhrase_ = "Connection aborted on request";
        requestDoneError_ = httperrAborted;
        Finish();
    }
    SetState(httpReady);
}

void THttpCli::Dispatch(platform::TMessage& message) {
    switch (message.Msg) {
    case kMsgRequestDone:
        if (OnRequestDone)
            OnRequestDone(this, static_cast<THttpRequest>(message.WParam),
                          static_cast<uint16_t>(message.LParam));
        break;
    case kMsgSetReady:
        if (message.WParam == sequence_ && finished_) SetState(httpReady);
        break;
    case kMsgLogin:
        if (message.WParam == sequence_ && relocating_ && !finished_) {
            relocating_ = false;
            Login();
        }
        break;
    default:
        break;
    }
}

// ---- blocking calls ----

void THttpCli::WaitUntilReady() {
    platform::EventLoop& loop = platform::EventLoop::Get();
    while (state_ != httpReady) {
        if (loop.Terminated()) {
            Abort();
            break;
        }
        loop.Turn(true); // waits in poll; the request's time-out bounds the wait
    }
    if (statusCode_ >= 400) throw EHttpException(reasonPhrase_, static_cast<uint16_t>(statusCode_));
}

void THttpCli::Get() {
    GetASync();
    WaitUntilReady();
}
void THttpCli::Post() {
    PostASync();
    WaitUntilReady();
}
void THttpCli::Head() {
    HeadASync();
    WaitUntilReady();
}

// ---- triggers ----

void THttpCli::TriggerCookie(const std::string& data, bool& accept) {
    if (OnCookie) OnCookie(this, data, accept);
}
void THttpCli::TriggerSessionConnected() {
    if (OnSessionConnected) OnSessionConnected(this);
}
void THttpCli::TriggerRequestHeaderBegin() {
    if (OnRequestHeaderBegin) OnRequestHeaderBegin(this);
}
void THttpCli::TriggerRequestHeaderEnd() {
    if (OnRequestHeaderEnd) OnRequestHeaderEnd(this);
}
void THttpCli::TriggerHeaderBegin() {
    headerInProgress_ = true;
    if (OnHeaderBegin) OnHeaderBegin(this);
}
void THttpCli::TriggerHeaderEnd() {
    headerInProgress_ = false;
    if (OnHeaderEnd) OnHeaderEnd(this);
}
void THttpCli::TriggerDocBegin() {
    if (OnDocBegin) OnDocBegin(this);
}
void THttpCli::TriggerDocData(const void* data, int length) {
    if (OnDocData) OnDocData(this, data, length);
}
void THttpCli::TriggerDocEnd() {
    if (OnDocEnd) OnDocEnd(this);
}
void THttpCli::TriggerSendBegin() {
    if (OnSendBegin) OnSendBegin(this);
}
void THttpCli::TriggerSendData(const void* data, int length) {
    if (OnSendData) OnSendData(this, data, length);
}
void THttpCli::TriggerSendEnd() {
    if (OnSendEnd) OnSendEnd(this);
}

} // namespace net
