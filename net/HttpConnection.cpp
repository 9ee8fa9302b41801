// One HTTP connection: the request reader, the path mapping and the answers.
#include "net/Httpsrv.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

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

// Equal but for the case of ASCII letters.
bool SameAsciiText(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
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
// (a link re-pointed, the folder replaced, another working folder for a relative name). Asked only
// for a document reached through a link below the folder, which may lead anywhere.
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

// `path` lies below the folder `folder` names.
bool Below(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

// The header of a file's answer.
std::string FileHead(const std::string& version, const std::string& type, int64_t size, int64_t modified) {
    std::string head;
    head.reserve(160 + type.size());
    head.append(version).append(" 200 OK\r\nContent-Type: ").append(type);
    head.append("\r\nContent-Length: ").append(std::to_string(size)).append("\r\n");
    if (modified != 0) head.append("Last-Modified: ").append(HttpDate(modified)).append(" GMT\r\n");
    head.append("Connection: close\r\n\r\n");
    return head;
}

// A small file answered again and again is kept in memory, with its answer's header, while it stays
// as it was. It cannot be answered stale: every request looks its path up anew (through the folder's
// name as that name is now, so a link re-pointed or a folder moved or replaced leads to another file),
// and the kept copy serves only while what the path names is the same file (device and inode: a file
// renamed into place is another) with the same size and times (an edit in place changes them). A file
// is kept only once its times have settled (platform::TimesSettled): an edit made a moment after
// another, within the file system's step of time, could leave them as they were. The copy itself is
// read from the file the path opens only when that is still the file looked at.
// The kept files are bounded in size and in total; when the total would pass the bound, all are let go.
constexpr uint64_t kKeptFileMax = 65536;
constexpr uint64_t kKeptTotalMax = 1 << 20;

class KeptFiles {
public:
    struct Kept {
        platform::HostEntry entry;
        std::shared_ptr<const std::string> content;
        std::string type;                            // the content type its headers name,
        std::shared_ptr<const std::string> heads[2]; // for HTTP/1.0 and HTTP/1.1, made when first asked for
    };

    static KeptFiles& Get() {
        static KeptFiles kept;
        return kept;
    }

    // The kept copy of the file the entry describes, while it is still that file.
    Kept* Find(const platform::HostEntry& entry) {
        auto it = files_.find(entry.real);
        if (it == files_.end()) return nullptr;
        if (it->second.entry.SameFile(entry)) return &it->second;
        Forget(it);
        return nullptr;
    }

    // Reads the file the entry describes and keeps it, when it is small, its times have settled and
    // it is still that file.
    Kept* Keep(const platform::HostEntry& entry) {
        if (!entry.regular || entry.size > kKeptFileMax || !platform::TimesSettled(entry)) return nullptr;
        auto content = std::make_shared<std::string>();
        if (!platform::ReadEntry(entry, *content)) return nullptr;
        if (auto it = files_.find(entry.real); it != files_.end()) Forget(it);
        if (total_ + content->size() > kKeptTotalMax) {
            files_.clear();
            total_ = 0;
        }
        total_ += content->size();
        Kept& kept = files_[entry.real];
        kept = Kept{entry, std::move(content), {}, {}};
        return &kept;
    }

private:
    void Forget(std::map<std::string, Kept>::iterator it) {
        total_ -= it->second.content->size();
        files_.erase(it);
    }

    std::map<std::string, Kept> files_;
    uint64_t total_ = 0;
};

} // namespace

size_t THttpAnswerStream::Read(void* buffer, size_t count) {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0, start = 0; // start: where the part begins in the stream
    for (std::string_view part : {Head(), std::string_view(*body_), std::string_view(tail_)}) {
        const size_t at = position_ + done;
        if (done < count && at >= start && at < start + part.size()) {
            const size_t more = std::min(count - done, start + part.size() - at);
            std::memcpy(out + done, part.data() + (at - start), more);
            done += more;
        }
        start += part.size();
    }
    position_ += done;
    return done;
}

void THttpAnswerStream::SetPosition(int64_t position) {
    position_ = static_cast<size_t>(std::clamp<int64_t>(position, 0, Size()));
}

THttpConnection::THttpConnection(platform::TComponent* owner, const std::string& name)
    : TWSocketClient(owner, name) {
    SetLineMode(true);
    LineEdit = false;
    LineEnd = '\n';
    OnDataAvailable = [this](TCustomWSocket*, uint16_t) { ConnectionDataAvailable(); };
    OnLineLimitExceeded = [this](TCustomWSocket*, int, bool& clearData) {
        clearData = true;
        Refuse("400 Bad Request", "line too long");
    };
}

THttpConnection::~THttpConnection() = default;

void THttpConnection::StartTimers() {
    connected_ = lastActivity_ = progress_ = platform::GetTickCount();
    LimitsChanged();
}

void THttpConnection::ReadArrived() {
    if (HSocket() == ws::INVALID_SOCKET || State() != wsConnected || Released() || Closing()) return;
    ReceiveLoop(0, ComponentOptions, true);
}

// The limits are kept by the server's one timer (CheckLimits); a connection only notes the time of
// what it does, and asks for a look when a shorter limit begins.
void THttpConnection::LimitsChanged() {
    if (OnLimitsChanged) OnLimitsChanged(CheckLimits(platform::GetTickCount(), false));
}

uint32_t THttpConnection::CheckLimits(uint32_t now, bool enforce) {
    if (State() != wsConnected || Closing()) return UINT32_MAX;
    if (leaving_) {
        const uint32_t passed = platform::TicksElapsed(now, leftAt_);
        if (passed < kHttpLeaveDrainMs) return kHttpLeaveDrainMs - passed;
        if (enforce) EndLeaving();
        return enforce ? UINT32_MAX : 0;
    }
    uint32_t idle = IdleTimeoutMs;
    if (AnswerOnItsWay() && AnswerStallMs != 0)
        idle = idle == 0 ? AnswerStallMs : std::min(idle, AnswerStallMs);
    uint32_t left = UINT32_MAX;
    auto limit = [&](uint32_t since, uint32_t ms) {
        if (ms == 0) return;
        const uint32_t passed = platform::TicksElapsed(now, since);
        left = std::min(left, passed >= ms ? 0 : ms - passed);
    };
    limit(lastActivity_, idle);
    if (!HeadComplete()) limit(connected_, HeadTimeoutMs);
    if (left == 0 && enforce) {
        // Its request may still be on its way: it is told so. An answer that stopped is dropped.
        if (RequestMayStillCome()) {
            TurnAway("408 Request Timeout");
            return kHttpLeaveDrainMs;
        }
        Abort();
        return UINT32_MAX;
    }
    return left;
}

void THttpConnection::Progressed() {
    lastActivity_ = progress_ = platform::GetTickCount();
}

bool THttpConnection::ReadingHead() const {
    return State() == wsConnected && !Closing() && !draining_ && connectionState_ != hcPostedData;
}

bool THttpConnection::RequestMayStillCome() const {
    if (ReadingHead()) return true;
    return acceptPostedData_ && !answerBegun_ && State() == wsConnected && !Closing() && !draining_;
}

void THttpConnection::NoteBacklogWait() {
    waited_ = static_cast<uint32_t>(std::max(ws::QuietForMs(HSocket()), 0));
}

bool THttpConnection::MayGiveWay() const {
    if (State() != wsConnected || Closing() || ReadingHead() || leaving_) return false;
    if (draining_ || acceptPostedData_) return true;
    return DocStream != nullptr || !AllSent();
}

int THttpConnection::RealSend(const void* data, int length) {
    int sent = TWSocketClient::RealSend(data, length);
    if (sent > 0) {
        Progressed();
        answerBegun_ = true;
    }
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

void THttpConnection::SendStatusPage(const std::string& status) {
    connectionState_ = hcPostedData; // whatever else arrives is dropped
    std::string body =
        "<HTML><HEAD><TITLE>" + status + "</TITLE></HEAD><BODY><H1>" + status + "</H1></BODY></HTML>\r\n";
    PutStringInSendBuffer("HTTP/1.0 " + status + "\r\nContent-Type: text/html\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n");
    SendStr(body);
}

void THttpConnection::Refuse(const std::string& status, const std::string& reason) {
    if (!reason.empty() && OnBadRequest) OnBadRequest(this, reason);
    if (State() != wsConnected || Closing()) return;
    SendStatusPage(status);
    CloseAfterAnswer();
}

void THttpConnection::TurnAway(const std::string& status) {
    if (State() != wsConnected || Closing() || leaving_) return;
    leaving_ = draining_ = true;
    leftAt_ = platform::GetTickCount();
    if (OnLeaving) OnLeaving();
    // Called by the server, not from a handler of this connection: a failure ends this connection
    // here rather than in the server's handler.
    try {
        DocStream.reset();
        SetLineMode(false); // what still comes is bytes, read and dropped
        SendStatusPage(status);
        if (State() != wsConnected) return; // the send found the connection gone
        if (AllSent())
            LeaveWhenSent();
        else
            OnDataSent = [this](TCustomWSocket*, uint16_t) { LeaveWhenSent(); };
        LimitsChanged();
    } catch (const std::exception& e) {
        HandleBackGroundException(e);
    }
}

void THttpConnection::LeaveWhenSent() {
    if (!AllSent()) return;
    // Nothing has come from the client, nor waits in the system: nothing to drain, and the close cannot
    // reset the connection. It goes at once, and its slot with it; the close sends the answer, then the
    // end.
    if (Silent() && GetRcvdCount() == 0) {
        OnDataSent = nullptr;
        return InternalClose(false, 0);
    }
    ShutWhenSent();
}

void THttpConnection::EndLeaving() {
    // A close with input unread would reset the connection: what has come is read first (a client that
    // keeps sending is not waited for).
    char dropped[4096];
    for (int reads = 0; reads < 16 && Receive(dropped, sizeof dropped) > 0; ++reads) {
    }
    Close();
}

void THttpConnection::ConnectionDataAvailable() {
    if (recvBytes_ != bytesSeen_) { // a read from the network, not another line of the last one
        if (bytesSeen_ == 0 && OnHeard) OnHeard();
        bytesSeen_ = recvBytes_;
        lastActivity_ = platform::GetTickCount();
    }
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
    ReceiveLine();
    std::string& line = line_;
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

void THttpConnection::ReceiveLine() {
    int count = GetRcvdCount();
    if (count == 0) count = 255;
    line_.resize(static_cast<size_t>(std::max(count, 0)));
    const int n = count > 0 ? Receive(line_.data(), count) : 0;
    line_.resize(static_cast<size_t>(std::max(n, 0)));
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
    // Each name is compared with the line's start over its own length, colon included, so only a name
    // that ends where the line's first colon is can match.
    static constexpr struct {
        std::string_view name;
        std::string THttpConnection::*field;
    } kFields[] = {{"content-type:", &THttpConnection::RequestContentType},
                   {"content-length:", nullptr},
                   {"Accept:", &THttpConnection::RequestAccept},
                   {"Referer:", &THttpConnection::RequestReferer},
                   {"Accept-Language:", &THttpConnection::RequestAcceptLanguage},
                   {"Accept-Encoding:", &THttpConnection::RequestAcceptEncoding},
                   {"User-Agent:", &THttpConnection::RequestUserAgent},
                   {"Host:", &THttpConnection::RequestHost},
                   {"Connection:", &THttpConnection::RequestConnection}};
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
        const std::string_view name(line.data(), colon + 1);
        for (const auto& field : kFields) {
            if (field.name.size() != name.size() || !SameAsciiText(field.name, name)) continue;
            std::string value = AfterColon(line);
            if (field.field != nullptr) {
                this->*field.field = std::move(value);
                break;
            }
            long long length = 0;
            if (!platform::TryStrToInt(platform::Trim(value), length) || length < 0)
                return Refuse("400 Bad Request", "bad Content-Length");
            RequestContentLength = length;
            break;
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
        Document.clear();
        Document.reserve(DocDir.size() + 1 + decoded.size() + DefaultDoc.size());
        Document.append(DocDir).append(decoded.empty() || decoded[0] != '/' ? "/" : "").append(decoded);
        if (Document.back() == '/') Document += DefaultDoc;
    }
    if (Method == "GET") return ProcessGetHead(false);
    if (Method == "HEAD") return ProcessGetHead(true);
    if (Method == "POST") return ProcessPost();
    Answer404();
    CloseAfterAnswer();
}

bool THttpConnection::DocumentAvailable() const {
    const bool available = !DocumentEntry().real.empty();
    // Kept for the answer that follows, while Document and DocDir stay as they are.
    documentLooked_ = true;
    documentFor_ = Document;
    docDirFor_ = DocDir;
    return available;
}

const platform::HostEntry& THttpConnection::DocumentEntry() const {
    if (documentLooked_ && documentFor_ == Document && docDirFor_ == DocDir) return documentEntry_;
    documentLooked_ = false;
    documentEntry_ = platform::HostEntry{};
    if (!pathSafe_ || Document.empty()) return documentEntry_;
    // Below the folder: looked up through the folder's name, part by part; a document the owner named
    // elsewhere is resolved whole.
    platform::HostEntry entry;
    if (Below(Document, DocDir)) {
        entry = platform::EntryBelow(DocDir, std::string_view(Document).substr(DocDir.size() + 1));
    } else {
        entry.real = platform::CanonicalPath(Document);
        entry.regular = !entry.real.empty() && platform::IsRegularFile(entry.real);
    }
    if (!entry.regular) return documentEntry_;
    // A path made of the folder's name and parts that are no links lies inside the folder; a link
    // below it was resolved, and must have led inside the folder's real path.
    if (!Below(entry.real, DocDir)) {
        const std::string& root = RealDocDir(DocDir);
        if (root.empty() || !Below(entry.real, root)) return documentEntry_;
    }
    documentEntry_ = std::move(entry);
    return documentEntry_;
}

void THttpConnection::ProcessGetHead(bool head) {
    THttpGetFlag flags = hgSendDoc;
    head ? TriggerHeadDocument(flags) : TriggerGetDocument(flags);
    if (Released() || State() != wsConnected) return;
    switch (flags) {
    case hgSendDoc:
        if (const platform::HostEntry& entry = DocumentEntry(); !entry.real.empty()) {
            SendFile(head ? httpSendHead : httpSendDoc, entry);
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

// Bytes read and not taken, or a last read from the network that filled what it asked for (more may
// wait there). What arrives after that read is not asked after: the answer said that the connection
// closes, so a client that keeps to the protocol sends nothing more, and asking the system would cost
// every answer a call.
bool THttpConnection::InputWaiting() {
    return BufferedCount() > 0 || !shortRead_;
}

// Closing with input unread (a body nobody took, pipelined requests, a flood) would make the kernel
// reset the connection, and the client may then lose the answer. So with a body announced or input
// waiting, the sending side is shut once the answer has left, whatever still arrives is dropped, and
// the connection closes when the client closes (or at the idle time-out).
void THttpConnection::CloseAfterAnswer(bool now) {
    if (State() != wsConnected || Closing() || draining_) return;
    if (RequestContentLength <= 0 && !InputWaiting()) {
        if (!now) return CloseDelayed();
        // Everything is with the system: the close sends it, and then the end (a shutdown first would
        // add nothing).
        return InternalClose(false, 0);
    }
    draining_ = true;
    Progressed();
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
    SendFile(sendType, DocumentEntry());
}

void THttpConnection::SendFile(THttpSendType sendType, const platform::HostEntry& entry) {
    AnswerContentType = DocumentMimeType(Document);
    KeptFiles& keptFiles = KeptFiles::Get();
    KeptFiles::Kept* kept = nullptr;
    if (entry.regular && entry.inode != 0) {
        kept = keptFiles.Find(entry);
        if (kept == nullptr) kept = keptFiles.Keep(entry);
    }
    if (kept != nullptr) {
        const int64_t size = static_cast<int64_t>(kept->content->size());
        const int64_t modified = entry.modifiedNs / 1'000'000'000;
        LastModified = modified > 0 ? modified : 0;
        if (kept->type != AnswerContentType) { // asked for by a name of another type
            kept->type = AnswerContentType;
            kept->heads[0] = kept->heads[1] = nullptr;
        }
        std::shared_ptr<const std::string>& head = kept->heads[Version == "HTTP/1.1" ? 1 : 0];
        if (!head)
            head =
                std::make_shared<const std::string>(FileHead(Version, AnswerContentType, size, LastModified));
        // The header leaves in one write with the first piece of the file; a HEAD answer is the header
        // alone.
        bodyLeft_ = head->size() + (sendType == httpSendDoc ? static_cast<uint64_t>(size) : 0);
        DocStream = std::make_unique<THttpAnswerStream>(head, kept->content);
        return SendStream();
    }
    // A file the owner chose itself has no entry: its path is resolved here.
    const std::string real = entry.real.empty() ? platform::CanonicalPath(Document) : entry.real;
    std::unique_ptr<platform::TFileStream> file = platform::TFileStream::OpenRead(real);
    int64_t size = 0, modified = 0;
    if (!file || !file->SizeAndTime(size, modified)) {
        Answer404();
        CloseAfterAnswer();
        return;
    }
    DocStream = std::move(file);
    LastModified = modified > 0 ? modified : 0;
    // The header leaves in one write with the first piece of the file, and no more of the file than
    // it announces; a HEAD answer is the header alone.
    answerHead_ = FileHead(Version, AnswerContentType, size, LastModified);
    bodyLeft_ = sendType == httpSendDoc ? static_cast<uint64_t>(size) : 0;
    SendStream();
}

void THttpConnection::SendStream() {
    if (!DocStream) return CloseDelayed();
    OnDataSent = [this](TCustomWSocket*, uint16_t) { StreamPump(); };
    StreamPump();
    // An answer that stays in the send chain is held to the shorter limit.
    if (DocStream || !AllSent()) LimitsChanged();
}

// Runs on each write-ready event: sends as much of the stream as the network takes now; when it takes
// no more, the next write-ready event goes on.
void THttpConnection::StreamPump() {
    if (!DocStream) return;
    // One buffer for every connection: each piece has gone to the network or into the send chain
    // before the pump reads the next.
    thread_local std::vector<char> piece;
    while (DocStream && AllSent() && State() == wsConnected) {
        const size_t head = answerHead_.size();
        if (piece.size() < head + kStreamReadSize) piece.resize(head + kStreamReadSize);
        std::memcpy(piece.data(), answerHead_.data(), head);
        answerHead_.clear();
        size_t want = static_cast<size_t>(std::min<uint64_t>(kStreamReadSize, bodyLeft_));
        size_t n = want > 0 ? DocStream->Read(piece.data() + head, want) : 0;
        bodyLeft_ -= n;
        if (head + n == 0) return FinishStream();
        // The answer's last piece waits in the system for the close (or shutdown) that FinishStream
        // makes at once after it, and leaves with it in one segment: one packet less for every answer.
        // Not when the close would reset the connection (a linger of 0 s): the bytes sent are kept then.
        SetMoreFollows(AnswerEnds() && !draining_ && !Closing() &&
                       !(LingerOnOff == wsLingerOn && LingerTimeout == 0));
        QueueAndTry(piece.data(), static_cast<int>(head + n));
        SetMoreFollows(false);
    }
}

bool THttpConnection::AnswerEnds() const {
    if (bodyLeft_ == 0) return true;
    // Another stream (a file's size, say) may cost a call to ask: only a stream in memory is asked.
    const auto* answer = dynamic_cast<const THttpAnswerStream*>(DocStream.get());
    return answer != nullptr && answer->Position() == answer->Size();
}

void THttpConnection::FinishStream() {
    DocStream.reset();
    OnDataSent = nullptr;
    connectionState_ = hcRequest;
    CloseAfterAnswer(true);
}

} // namespace net
