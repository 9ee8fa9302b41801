// One HTTP connection: the request reader, the path mapping and the answers.
#include "net/Httpsrv.h"
#include "platform/Clock.h"
#include "platform/FileStream.h"
#include "platform/Files.h"
#include "platform/HostPaths.h"
#include "platform/Strings.h"

namespace net {

using platform::Format;

namespace {

bool HasControlCharacter(const std::string& text) {
    for (unsigned char c : text)
        if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
    return false;
}

// A decoded path is served only when it cannot leave the document folder.
bool SafeDecodedPath(const std::string& path) {
    for (unsigned char c : path)
        if (c < 0x20 || c == 0x7F || c == '\\') return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}

std::string AfterColon(const std::string& line) {
    size_t colon = line.find(':');
    size_t i = colon + 1;
    while (i < line.size() && line[i] == ' ')
        ++i;
    return line.substr(i);
}

} // namespace

THttpConnection::THttpConnection(platform::TComponent* owner, const std::string& name)
    : TWSocketClient(owner, name) {
    SetLineMode(true);
    LineEdit = false;
    LineEnd = '\n';
    ComponentOptions |= wsoTcpNoDelay; // header and body leave as separate small writes
    OnDataAvailable = [this](TCustomWSocket*, uint16_t) { ConnectionDataAvailable(); };
    OnLineLimitExceeded = [this](TCustomWSocket*, int, bool& clearData) {
        clearData = true;
        Refuse("400 Bad Request", "line too long");
    };
    idleTimer_ = new platform::TTimer(this);
    idleTimer_->SetEnabled(false);
    idleTimer_->OnTimer = [this](platform::TTimer*) {
        idleTimer_->SetEnabled(false);
        if (State() == wsConnected) Abort();
    };
}

THttpConnection::~THttpConnection() = default;

void THttpConnection::RestartIdleTimer() {
    if (IdleTimeoutMs == 0) return;
    idleTimer_->SetInterval(IdleTimeoutMs);
    idleTimer_->SetEnabled(false);
    idleTimer_->SetEnabled(true);
}

void THttpConnection::TriggerGetDocument(THttpGetFlag& flags) {
    if (OnGetDocument) OnGetDocument(this, flags);
}
void THttpConnection::TriggerHeadDocument(THttpGetFlag& flags) {
    if (OnHeadDocument) OnHeadDocument(this, flags);
}
void THttpConnection::TriggerPostDocument(THttpGetFlag& flags) {
    if (OnPostDocument) OnPostDocument(this, flags);
}

void THttpConnection::TriggerSessionClosed(uint16_t error) {
    idleTimer_->SetEnabled(false);
    TWSocketClient::TriggerSessionClosed(error);
}

void THttpConnection::Refuse(const std::string& status, const std::string& reason) {
    if (OnBadRequest) OnBadRequest(this, reason);
    if (State() != wsConnected) return;
    connectionState_ = hcPostedData; // whatever else arrives is dropped
    std::string body =
        "<HTML><HEAD><TITLE>" + status + "</TITLE></HEAD><BODY><H1>" + status + "</H1></BODY></HTML>\r\n";
    PutStringInSendBuffer("HTTP/1.0 " + status + "\r\nContent-Type: text/html\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n");
    SendStr(body);
    Shutdown(ws::SD_SEND);
    CloseDelayed();
}

void THttpConnection::ConnectionDataAvailable() {
    if (!draining_) RestartIdleTimer(); // an endless body cannot hold the connection past the time-out
    if (connectionState_ == hcPostedData) {
        if (acceptPostedData_ && OnPostedData) {
            OnPostedData(this, 0);
        } else {
            ReceiveStr(); // dropped
        }
        return;
    }
    std::string line = ReceiveStr();
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (connectionState_ == hcRequest) {
        if (HasControlCharacter(line))
            return Refuse("400 Bad Request", "control character in the request line");
        RequestContentLength = 0;
        RequestContentType.clear();
        RequestAccept.clear();
        RequestReferer.clear();
        RequestAcceptLanguage.clear();
        RequestAcceptEncoding.clear();
        RequestUserAgent.clear();
        RequestHost.clear();
        RequestConnection.clear();
        RequestHeader.Clear();
        headerLines_ = headerBytes_ = 0;
        acceptPostedData_ = false;
        ParseRequestLine(line);
        connectionState_ = hcHeader;
        return;
    }
    if (line.empty()) {
        connectionState_ = hcPostedData;
        ProcessRequest();
        return;
    }
    if (++headerLines_ > kHttpMaxHeaderLines ||
        (headerBytes_ += static_cast<int>(line.size())) > kHttpMaxHeaderBytes)
        return Refuse("431 Request Header Fields Too Large", "request header too large");
    ParseHeaderLine(line);
}

void THttpConnection::ParseRequestLine(const std::string& line) {
    size_t i = line.find(' ');
    Method = platform::UpperCase(line.substr(0, i));
    i = i == std::string::npos ? line.size() : i;
    while (i < line.size() && line[i] == ' ')
        ++i;
    size_t end = line.find(' ', i);
    if (end == std::string::npos) end = line.size();
    Path = line.substr(i, end - i);
    size_t question = Path.find('?');
    if (question != std::string::npos) {
        Params = Path.substr(question + 1);
        Path.resize(question);
    } else {
        Params.clear();
    }
    i = end;
    while (i < line.size() && line[i] == ' ')
        ++i;
    end = line.find(' ', i);
    std::string version =
        platform::UpperCase(platform::Trim(line.substr(i, end == std::string::npos ? end : end - i)));
    // The answer names only a version this server speaks, never the client's text.
    Version = version == "HTTP/1.1" ? "HTTP/1.1" : "HTTP/1.0";
}

void THttpConnection::ParseHeaderLine(const std::string& line) {
    if (line.find(':') != std::string::npos) {
        std::string value = AfterColon(line);
        auto is = [&](const char* name) { return platform::StartsText(name, line); };
        if (is("content-type:")) {
            RequestContentType = value;
        } else if (is("content-length:")) {
            long long length = 0;
            if (!platform::TryStrToInt(platform::Trim(value), length) || length < 0)
                return Refuse("400 Bad Request", "bad Content-Length");
            RequestContentLength = length;
        } else if (is("Accept:")) {
            RequestAccept = value;
        } else if (is("Referer:")) {
            RequestReferer = value;
        } else if (is("Accept-Language:")) {
            RequestAcceptLanguage = value;
        } else if (is("Accept-Encoding:")) {
            RequestAcceptEncoding = value;
        } else if (is("User-Agent:")) {
            RequestUserAgent = value;
        } else if (is("Host:")) {
            RequestHost = value;
        } else if (is("Connection:")) {
            RequestConnection = value;
        }
    }
    RequestHeader.Add(line);
}

void THttpConnection::ProcessRequest() {
    // Decode once, then refuse anything that could name a file outside the document folder.
    std::string decoded = UrlDecode(Path);
    pathSafe_ = SafeDecodedPath(decoded);
    if (!pathSafe_) {
        if (OnBadRequest) OnBadRequest(this, "unsafe path " + Path);
        Document.clear();
    } else {
        Document = DocDir + (decoded.empty() || decoded[0] != '/' ? "/" : "") + decoded;
        if (!Document.empty() && Document.back() == '/') Document += DefaultDoc;
    }
    if (Method == "GET") return ProcessGetHead(false);
    if (Method == "HEAD") return ProcessGetHead(true);
    if (Method == "POST") return ProcessPost();
    Answer404();
    CloseAfterAnswer();
}

bool THttpConnection::DocumentAvailable() const {
    if (!pathSafe_ || Document.empty()) return false;
    std::string real = platform::CanonicalPath(Document);
    std::string root = platform::CanonicalPath(DocDir);
    if (real.empty() || root.empty() || real.compare(0, root.size() + 1, root + "/") != 0) return false;
    return platform::IsRegularFile(real);
}

void THttpConnection::ProcessGetHead(bool head) {
    auto life = LifeToken();
    THttpGetFlag flags = hgSendDoc;
    head ? TriggerHeadDocument(flags) : TriggerGetDocument(flags);
    if (life.expired() || State() != wsConnected) return;
    switch (flags) {
    case hgSendDoc:
        if (DocumentAvailable()) {
            SendDocument(head ? httpSendHead : httpSendDoc);
        } else {
            Answer404();
            CloseDelayed();
        }
        break;
    case hgSendStream:
        SendStream();
        break;
    case hgWillSendMySelf:
        break;
    case hg404:
        Answer404();
        CloseDelayed();
        break;
    case hgAcceptData:
        CloseDelayed();
        break;
    }
}

void THttpConnection::ProcessPost() {
    auto life = LifeToken();
    THttpGetFlag flags = hg404;
    TriggerPostDocument(flags);
    if (life.expired() || State() != wsConnected) return;
    if (flags == hg404) {
        Answer404();
        CloseAfterAnswer();
    } else if (flags == hgAcceptData) {
        acceptPostedData_ = true;
    }
}

// Closing while the client still sends a body that nobody read would make the kernel reset the
// connection, and a client that is still sending may then never read the answer. With a body announced,
// the sending side is shut once the answer has left, what still arrives is dropped, and the connection
// closes when the client closes (or at the idle time-out).
void THttpConnection::CloseAfterAnswer() {
    if (RequestContentLength <= 0) return CloseDelayed();
    draining_ = true;
    SetLineMode(false); // a body is no lines: it must not hit the line limit
    if (AllSent()) return ShutWhenSent();
    OnDataSent = [this](TCustomWSocket*, uint16_t) { ShutWhenSent(); };
}

void THttpConnection::ShutWhenSent() {
    if (!AllSent()) return;
    OnDataSent = nullptr;
    Shutdown(ws::SD_SEND);
}

void THttpConnection::Answer404() {
    std::string body =
        "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD><BODY><H1>404 Not Found</H1>The requested URL " +
        HtmlEscape(Path) + " was not found on this server.<P></BODY></HTML>\r\n";
    PutStringInSendBuffer(Version + " 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n");
    SendStr(body);
}

void THttpConnection::SendDocument(THttpSendType sendType) {
    std::string real = platform::CanonicalPath(Document);
    long long age = platform::FileAge(real);
    LastModified = age > 0 ? age : 0;
    AnswerContentType = DocumentMimeType(Document);
    DocStream = platform::TFileStream::OpenRead(real);
    if (!DocStream) {
        Answer404();
        CloseDelayed();
        return;
    }
    int64_t size = DocStream->Size();
    if (sendType == httpSendHead) DocStream->SetPosition(size);
    OnDataSent = [this](TCustomWSocket*, uint16_t) { StreamPump(); };
    std::string header = Version + " 200 OK\r\nContent-Type: " + AnswerContentType +
                         "\r\nContent-Length: " + std::to_string(size) + "\r\n";
    if (LastModified != 0) header += "Last-Modified: " + HttpDate(LastModified) + " GMT\r\n";
    header += "\r\n";
    PutStringInSendBuffer(header);
    Send(nullptr, 0);
    if (sendType == httpSendDoc) SendStream();
}

void THttpConnection::SendStream() {
    if (!DocStream) return CloseDelayed();
    docBuffer_.resize(kSendChunkSize);
    OnDataSent = [this](TCustomWSocket*, uint16_t) { StreamPump(); };
    StreamPump();
}

void THttpConnection::StreamPump() {
    if (!DocStream) return;
    RestartIdleTimer();
    size_t n = DocStream->Read(docBuffer_.data(), docBuffer_.size());
    if (n > 0) {
        if (State() == wsConnected) Send(docBuffer_.data(), static_cast<int>(n));
        return;
    }
    if (!AllSent()) return; // the header is still queued: shut down only after it has left
    DocStream.reset();
    OnDataSent = nullptr;
    Shutdown(ws::SD_SEND);
    platform::Sleep(0);
    platform::PostMessage(Handle(), WM_HTTP_DONE);
}

void THttpConnection::WndProc(TMessage& message) {
    if (message.Msg != WM_HTTP_DONE) return TWSocketClient::WndProc(message);
    connectionState_ = hcRequest;
    // The sending side is shut: the connection can never answer again, keep-alive or not.
    CloseDelayed();
}

} // namespace net
