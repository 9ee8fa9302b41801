// The HTTP client's reply: splitting lines, the header fields, the body, the server's close and
// following a Location.
#include <algorithm>
#include <climits>

#include "net/Httpprot.h"
#include "platform/Strings.h"

namespace net {

using platform::LowerCase;
using platform::UpperCase;

void THttpCli::SocketDataAvailable(uint16_t error) {
    int room = kHttpBufferSize - 1 - static_cast<int>(received_.size());
    if (room <= 0) return Fail(httperrLineTooLong, "HTTP line too long");
    if (ReplyLimit != 0 && replyBytes_ >= ReplyLimit) return CheckReplyLimit();
    if (ReplyLimit != 0) room = static_cast<int>(std::min<uint64_t>(room, ReplyLimit - replyBytes_));
    char buffer[kHttpBufferSize];
    int count = socket_->Receive(buffer, room);
    if (count <= 0 || finished_ || relocating_) return;
    ArmTimeout();
    replyBytes_ += static_cast<uint64_t>(count);
    received_.append(buffer, static_cast<size_t>(count));
    if (inBody_) {
        std::string chunk;
        chunk.swap(received_);
        BodyChunk(chunk);
        return CheckReplyLimit();
    }
    while (!finished_ && !relocating_ && !inBody_) {
        size_t lf = received_.find('\n');
        if (lf == std::string::npos) break;
        std::string raw = received_.substr(0, lf + 1);
        received_.erase(0, lf + 1);
        std::string line = raw.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (state_ == httpWaitingHeader)
            ParseHeaderLine(line, raw);
        else if (OnDataAvailable)
            OnDataAvailable(this, error);
    }
    CheckReplyLimit();
}

// The reply has reached ReplyLimit: the rest is not read, and the connection is closed.
void THttpCli::CheckReplyLimit() {
    if (finished_ || relocating_ || ReplyLimit == 0 || replyBytes_ < ReplyLimit) return;
    if (!inBody_)
        return Fail(httperrHeaderTooLarge,
                    platform::Format("HTTP reply header longer than %u bytes", ReplyLimit));
    replyCut_ = true;
    if (bodyChunks_ > 0) TriggerDocEnd();
    Finish();
}

void THttpCli::ParseHeaderLine(const std::string& line, const std::string& raw) {
    if (headerLines_ == 0) TriggerHeaderBegin();
    ++headerLines_;
    if (finished_) return;
    if (UpperCase(line.substr(0, 6)) == "<HTML>") {
        // No header at all: this line and everything after it is the body.
        if (contentType_.empty()) contentType_ = "text/html";
        SetState(httpWaitingBody);
        inBody_ = true;
        TriggerHeaderEnd();
        if (finished_) return;
        BodyChunk(raw);
        if (finished_ || received_.empty()) return;
        std::string rest;
        rest.swap(received_);
        return BodyChunk(rest);
    }
    if (line.empty()) return HeaderComplete();
    rcvdHeader_.Add(line);
    if (line.rfind("HTTP/1.0", 0) == 0 || line.rfind("HTTP/1.1", 0) == 0)
        ParseStatusLine(line);
    else if (line.find(':') != std::string::npos)
        ParseField(line);
    if (finished_) return;
    if (OnHeaderData) OnHeaderData(this);
}

void THttpCli::ParseStatusLine(const std::string& line) {
    std::string code = line.size() >= 12 ? line.substr(9, 3) : std::string();
    bool digits = code.size() == 3;
    for (char c : code)
        digits = digits && c >= '0' && c <= '9';
    if (!digits) return Fail(httperrBadReply, "Invalid HTTP status line");
    statusCode_ = std::stoi(code);
    reasonPhrase_ = line.size() > 13 ? line.substr(13) : std::string();
}

void THttpCli::ParseField(const std::string& line) {
    size_t colon = line.find(':');
    std::string name = LowerCase(line.substr(0, colon));
    size_t start = colon + 1;
    while (start < line.size() && line[start] == ' ')
        ++start;
    std::string value = line.substr(start);
    if (name == "location") {
        NoteLocation(value);
    } else if (name == "content-length") {
        long long length = 0;
        if (platform::TryStrToInt(platform::Trim(value), length) && length >= 0 && length <= INT_MAX)
            contentLength_ = static_cast<int>(length);
    } else if (name == "content-range") {
        // "bytes " + begin + "-" + end + "/" + total
        size_t dash = value.find('-');
        if (value.size() > 6 && dash != std::string::npos && dash >= 6) {
            ContentRangeBegin = value.substr(6, dash - 6);
            size_t slash = value.find('/', dash);
            ContentRangeEnd =
                value.substr(dash + 1, slash == std::string::npos ? std::string::npos : slash - dash - 1);
        }
    } else if (name == "accept-ranges") {
        acceptRanges_ = value;
    } else if (name == "content-type") {
        contentType_ = LowerCase(value);
    } else if (name == "www-authenticate") {
        authChallenges_.Add(value);
    } else if (name == "set-cookie") {
        bool accept = true; // the application keeps its cookies itself
        TriggerCookie(value, accept);
    }
}

void THttpCli::HeaderComplete() {
    if (contentLength_ == 0) {
        TriggerHeaderEnd();
        return Finish();
    }
    if (RelocationAllowed()) {
        TriggerHeaderEnd();
        if (finished_) return;
        return LocationSessionClosed();
    }
    std::string name = LowerCase(docName_);
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".exe") == 0 && contentType_ == "text/html")
        ReplaceExt(docName_, "htm");
    SetState(httpWaitingBody);
    inBody_ = true;
    TriggerHeaderEnd();
    if (finished_ || received_.empty()) return;
    std::string rest;
    rest.swap(received_);
    BodyChunk(rest);
}

void THttpCli::BodyChunk(const std::string& chunk) {
    if (bodyChunks_ == 0) TriggerDocBegin();
    ++bodyChunks_;
    if (finished_) return;
    rcvdCount_ += static_cast<int>(chunk.size());
    if (RcvdStream != nullptr) RcvdStream->Write(chunk.data(), chunk.size());
    TriggerDocData(chunk.data(), static_cast<int>(chunk.size()));
}

void THttpCli::SocketSessionClosed(uint16_t error) {
    if (finished_ || relocating_) return; // our own close, or the end is already decided
    connected_ = false;
    if (headerInProgress_) {
        TriggerHeaderEnd();
        if (finished_) return;
        if (RelocationAllowed()) return LocationSessionClosed();
        return Finish();
    }
    if (inBody_) {
        if (bodyChunks_ > 0) TriggerDocEnd();
        return Finish();
    }
    Fail(error != 0 ? error : httperrBadReply, "Connection closed without a reply");
}

// ---- Location ----

// Works out where the Location value points; the request moves there only when the reply is followed.
// Through a proxy the connection stays with the proxy and only the absolute request path changes.
void THttpCli::NoteLocation(const std::string& value) {
    std::string text = EscapePathBlanks(value);
    if (text.empty()) return;
    Target next = target_;
    std::string proto, user, pass, host, port, path;
    if (text[0] == '/' && (text.size() == 1 || text[1] != '/')) {
        next.path = text;
    } else if (text.find("://") != std::string::npos || text.rfind("//", 0) == 0) {
        ParseURL(text.rfind("//", 0) == 0 ? target_.proto + ":" + text : text, proto, user, pass, host, port,
                 path);
        if (host.empty()) return;
        next = Target{proto.empty() ? "http" : proto, host, port, path.empty() ? "/" : path};
    } else {
        // Relative to the current document's folder.
        path = target_.path;
        bool dotted = text.rfind("./", 0) == 0 || text.rfind("../", 0) == 0;
        ParseURL(dotted ? text : "./" + text, proto, user, pass, host, port, path);
        next.path = path;
    }
    pending_ = next;
    location_ =
        next.proto + "://" + next.host + (next.hostPort.empty() ? "" : ":" + next.hostPort) + next.path;
    locationSeen_ = true;
}

// A reply of 400 or more is never followed; after kHttpMaxRelocations the last reply ends the request.
bool THttpCli::RelocationAllowed() const {
    return locationSeen_ && statusCode_ < 400 && relocations_ < kHttpMaxRelocations;
}

void THttpCli::LocationSessionClosed() {
    relocating_ = true; // the close of this connection is ours
    if (socket_->State() != wsClosed) socket_->Close();
    connected_ = false;
    locationSeen_ = false;
    ++relocations_;
    if (requestType_ == httpPOST) requestType_ = httpGET;
    allowedToSend_ = false;
    target_ = pending_;
    if (Proxy.empty()) {
        hostName_ = target_.host;
        port_ = target_.hostPort.empty() ? "80" : target_.hostPort;
    }
    received_.clear();
    replyBytes_ = 0;
    headerLines_ = bodyChunks_ = 0;
    contentLength_ = -1;
    contentType_.clear();
    inBody_ = false;
    ArmTimeout();
    if (OnLocationChange) OnLocationChange(this);
    if (finished_) return;
    rcvdHeader_.Clear();
    platform::PostMessage(Handle(), kMsgLogin, sequence_);
}

} // namespace net
