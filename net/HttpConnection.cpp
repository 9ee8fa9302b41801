// One HTTP connection: the request reader, the path mapping and the answers.
#include "net/Httpsrv.h"

#include <algorithm>
#include <map>

#include "platform/Clock.h"
#include "platform/FileStream.h"
#include "platform/Files.h"
#include "platform/HostPaths.h"
#include "platform/Strings.h"

namespace net {

using platform::Format;

namespace {

// The stream is read in pieces of this size; the send chain keeps them in blocks of one segment.
constexpr size_t kStreamReadSize = 65536;

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

// The document folder's real path, looked up again only when its name comes to mean another folder
// (a link re-pointed, the folder replaced, another working folder for a relative name): one stat per
// request instead of a lookup of every part of the path.
const std::string& RealDocDir(const std::string& docDir) {
    struct Known {
        std::string real;
        uint64_t device = 0, inode = 0;
    };
    static std::map<std::string, Known> known;
    static const std::string none;
    uint64_t device = 0, inode = 0;
    if (!platform::EntryIdentity(docDir, device, inode)) return none;
    Known& k = known[docDir];
    if (k.real.empty() || k.device != device || k.inode != inode)
        k = {platform::CanonicalPath(docDir), device, inode};
    return k.real;
}

} // namespace

THttpConnection::THttpConnection(platform::TComponent* owner, const std::string& name)
    : TWSocketClient(owner, name) {
    SetLineMode(true);
    LineEdit = false;
    LineEnd = '\n';
    ComponentOptions |= wsoTcpNoDelay; // an answer's last small piece leaves without waiting for an ack
    OnDataAvailable = [this](TCustomWSocket*, uint16_t) { ConnectionDataAvailable(); };
    OnLineLimitExceeded = [this](TCustomWSocket*, int, bool& clearData) {
        clearData = true;
        Refuse("400 Bad Request", "line too long");
    };
    idleTimer_.SetEnabled(false);
    idleTimer_.OnTimer = [this](platform::TTimer*) { IdleTimerFired(); };
    headTimer_.SetEnabled(false);
    headTimer_.OnTimer = [this](platform::TTimer*) {
        headTimer_.SetEnabled(false);
        if (State() == wsConnected && !HeadComplete()) Abort();
    };
}

THttpConnection::~THttpConnection() = default;

void THttpConnection::StartTimers() {
    lastActivity_ = progress_ = platform::GetTickCount();
    ArmIdleTimer();
    if (HeadTimeoutMs == 0) return;
    headTimer_.SetInterval(HeadTimeoutMs);
    headTimer_.SetEnabled(true);
}

// The timer is armed for the whole limit from the last activity it knows of; every byte only notes
// its time, and the timer, when it fires early, waits for what is left.
void THttpConnection::ArmIdleTimer() {
    uint32_t limit = IdleTimeoutMs;
    if (AnswerOnItsWay() && AnswerStallMs != 0)
        limit = limit == 0 ? AnswerStallMs : std::min(limit, AnswerStallMs);
    idleTimer_.SetEnabled(false);
    if (limit == 0) return;
    const uint32_t quiet = platform::TicksElapsed(platform::GetTickCount(), lastActivity_);
    idleTimer_.SetInterval(quiet < limit ? limit - quiet : 1);
    idleTimer_.SetEnabled(true);
}

void THttpConnection::IdleTimerFired() {
    idleTimer_.SetEnabled(false);
    if (State() != wsConnected) return;
    uint32_t limit = IdleTimeoutMs;
    if (AnswerOnItsWay() && AnswerStallMs != 0)
        limit = limit == 0 ? AnswerStallMs : std::min(limit, AnswerStallMs);
    if (limit != 0 && platform::TicksElapsed(platform::GetTickCount(), lastActivity_) >= limit)
        return Abort();
    ArmIdleTimer();
}

void THttpConnection::Progressed() {
    lastActivity_ = progress_ = platform::GetTickCount();
}

bool THttpConnection::MayGiveWay() const {
    if (State() != wsConnected || Closing()) return false; // on its way out already
    if (connectionState_ != hcPostedData || draining_ || acceptPostedData_) return true;
    return DocStream != nullptr || !AllSent();
}

int THttpConnection::RealSend(const void* data, int length) {
    int sent = TWSocketClient::RealSend(data, length);
    if (sent > 0) Progressed();
    return sent;
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
    idleTimer_.SetEnabled(false);
    headTimer_.SetEnabled(false);
    TWSocketClient::TriggerSessionClosed(error);
}

void THttpConnection::Refuse(const std::string& status, const std::string& reason) {
    if (!reason.empty() && OnBadRequest) OnBadRequest(this, reason);
    if (State() != wsConnected || Closing()) return;
    connectionState_ = hcPostedData; // whatever else arrives is dropped
    std::string body =
        "<HTML><HEAD><TITLE>" + status + "</TITLE></HEAD><BODY><H1>" + status + "</H1></BODY></HTML>\r\n";
    PutStringInSendBuffer("HTTP/1.0 " + status + "\r\nContent-Type: text/html\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n");
    SendStr(body);
    CloseAfterAnswer();
}

void THttpConnection::ConnectionDataAvailable() {
    lastActivity_ = platform::GetTickCount();
    if (draining_) {
        ReceiveStr(); // answered: dropped; an endless stream cannot hold it past the idle time-out
        return;
    }
    if (connectionState_ == hcPostedData) {
        if (acceptPostedData_ && OnPostedData) {
            progress_ = lastActivity_;
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
        progress_ = lastActivity_;
        headTimer_.SetEnabled(false);
        // What follows the head is bytes: a body for the owner, or pipelined requests that this
        // connection does not answer (its answer says it closes).
        SetLineMode(false);
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
    documentLooked_ = false;
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
    return !DocumentFile().empty();
}

const std::string& THttpConnection::DocumentFile() const {
    std::string key = Document + '\0' + DocDir;
    if (documentLooked_ && documentFor_ == key) return documentFile_;
    documentLooked_ = true;
    documentFor_ = std::move(key);
    documentFile_.clear();
    if (!pathSafe_ || Document.empty()) return documentFile_;
    const std::string& root = RealDocDir(DocDir);
    if (root.empty()) return documentFile_;
    // Below the folder: looked up from its real path, part by part; a document the owner named
    // elsewhere is resolved whole.
    platform::HostEntry entry;
    if (Document.size() > DocDir.size() && Document.compare(0, DocDir.size(), DocDir) == 0 &&
        Document[DocDir.size()] == '/') {
        entry = platform::EntryBelow(root, Document.substr(DocDir.size() + 1));
    } else {
        entry.real = platform::CanonicalPath(Document);
        entry.regular = !entry.real.empty() && platform::IsRegularFile(entry.real);
    }
    if (entry.regular && entry.real.size() > root.size() && entry.real.compare(0, root.size(), root) == 0 &&
        entry.real[root.size()] == '/')
        documentFile_ = entry.real;
    return documentFile_;
}

void THttpConnection::ProcessGetHead(bool head) {
    THttpGetFlag flags = hgSendDoc;
    head ? TriggerHeadDocument(flags) : TriggerGetDocument(flags);
    if (Released() || State() != wsConnected) return;
    switch (flags) {
    case hgSendDoc:
        if (DocumentAvailable()) {
            SendDocument(head ? httpSendHead : httpSendDoc);
        } else {
            Answer404();
            CloseAfterAnswer();
        }
        break;
    case hgSendStream:
        SendStream();
        break;
    case hgWillSendMySelf:
        break;
    case hg404:
        Answer404();
        CloseAfterAnswer();
        break;
    case hgAcceptData:
        CloseAfterAnswer();
        break;
    }
}

void THttpConnection::ProcessPost() {
    THttpGetFlag flags = hg404;
    TriggerPostDocument(flags);
    if (Released() || State() != wsConnected) return;
    if (flags == hg404) {
        Answer404();
        CloseAfterAnswer();
    } else if (flags == hgAcceptData) {
        acceptPostedData_ = true;
        SetLineMode(false); // the body is bytes, not lines
    }
}

bool THttpConnection::InputWaiting() {
    if (BufferedCount() > 0) return true;
    unsigned long waiting = 0;
    return WSocket_ioctlsocket(HSocket(), FIONREAD, &waiting) == 0 && waiting > 0;
}

// Closing with input unread (a body nobody took, pipelined requests, a flood) would make the kernel
// reset the connection, and the client may then lose the answer. So with a body announced or input
// waiting, the sending side is shut once the answer has left, whatever still arrives is dropped, and
// the connection closes when the client closes (or at the idle time-out).
void THttpConnection::CloseAfterAnswer(bool now) {
    if (State() != wsConnected || Closing() || draining_) return;
    if (RequestContentLength <= 0 && !InputWaiting()) return now ? Close() : CloseDelayed();
    draining_ = true;
    Progressed();
    ArmIdleTimer();
    SetLineMode(false);
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
                          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n");
    if (Method == "HEAD")
        Send(nullptr, 0); // the header alone: a HEAD answer has no body
    else
        SendStr(body);
}

void THttpConnection::SendDocument(THttpSendType sendType) {
    std::string real = DocumentFile();
    if (real.empty()) real = platform::CanonicalPath(Document); // a file the owner chose itself
    AnswerContentType = DocumentMimeType(Document);
    std::unique_ptr<platform::TFileStream> file = platform::TFileStream::OpenRead(real);
    int64_t size = 0, modified = 0;
    if (!file || !file->SizeAndTime(size, modified)) {
        Answer404();
        CloseAfterAnswer();
        return;
    }
    LastModified = modified > 0 ? modified : 0;
    std::string header = Version + " 200 OK\r\nContent-Type: " + AnswerContentType +
                         "\r\nContent-Length: " + std::to_string(size) + "\r\n";
    if (LastModified != 0) header += "Last-Modified: " + HttpDate(LastModified) + " GMT\r\n";
    header += "Connection: close\r\n\r\n";
    DocStream = std::move(file);
    // The header leaves in one write with the first piece of the file, and no more of the file than
    // it announces; a HEAD answer is the header alone.
    docBuffer_ = header;
    headLength_ = header.size();
    bodyLeft_ = sendType == httpSendDoc ? static_cast<uint64_t>(size) : 0;
    SendStream();
}

void THttpConnection::SendStream() {
    if (!DocStream) return CloseDelayed();
    docBuffer_.resize(headLength_ + kStreamReadSize);
    OnDataSent = [this](TCustomWSocket*, uint16_t) { StreamPump(); };
    StreamPump();
    // An answer that stays in the send chain is held to the shorter limit.
    if (DocStream || !AllSent()) ArmIdleTimer();
}

// Runs on each write-ready event: sends as much of the stream as the network takes now; when it takes
// no more, the next write-ready event goes on.
void THttpConnection::StreamPump() {
    if (!DocStream) return;
    while (DocStream && AllSent() && State() == wsConnected) {
        size_t head = headLength_;
        headLength_ = 0;
        size_t want = static_cast<size_t>(std::min<uint64_t>(kStreamReadSize, bodyLeft_));
        size_t n = want > 0 ? DocStream->Read(docBuffer_.data() + head, want) : 0;
        bodyLeft_ -= n;
        if (head + n == 0) return FinishStream();
        QueueAndTry(docBuffer_.data(), static_cast<int>(head + n));
    }
}

void THttpConnection::FinishStream() {
    DocStream.reset();
    std::string().swap(docBuffer_);
    OnDataSent = nullptr;
    Shutdown(ws::SD_SEND);
    platform::Sleep(0);
    platform::PostMessage(Handle(), WM_HTTP_DONE);
}

void THttpConnection::WndProc(TMessage& message) {
    if (message.Msg != WM_HTTP_DONE) return TWSocketClient::WndProc(message);
    connectionState_ = hcRequest;
    // The sending side is shut: the connection can never answer again, keep-alive or not. Nothing of
    // it runs now but this message, so with nothing left to read it closes at once.
    CloseAfterAnswer(true);
}

} // namespace net
