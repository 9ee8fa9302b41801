// Line mode and the waits that run the loop.
#include <cstring>

#include "net/Wsocket.h"

namespace net {

using namespace platform::winsock;

TCustomLineWSocket::~TCustomLineWSocket() = default;

void TCustomLineWSocket::SetLineMode(bool value) {
    if (value == lineMode_) return;
    lineMode_ = value;
    if (!value && lineLength_ > 0) {
        // The unread rest of the line goes back in front of what follows it.
        buffer_.insert(0, line_, 0, static_cast<size_t>(lineLength_));
        line_.clear();
        lineLength_ = 0;
    }
    if (!buffer_.empty() || lineLength_ > 0) platform::PostMessage(Handle(), WM_TRIGGER_DATA_AVAILABLE);
}

int TCustomLineWSocket::GetRcvdCount() {
    if (lineMode_) return lineLength_;
    if (!buffer_.empty()) return static_cast<int>(buffer_.size());
    return TCustomWSocket::GetRcvdCount();
}

int TCustomLineWSocket::DoRecv(void* buffer, int length, int flags) {
    std::string* source = nullptr;
    if (lineMode_ && lineLength_ >= 1)
        source = &line_;
    else if (!lineMode_ && !buffer_.empty())
        source = &buffer_;
    if (source == nullptr) return TCustomWSocket::DoRecv(buffer, length, flags);
    int available = source == &line_ ? lineLength_ : static_cast<int>(buffer_.size());
    int n = std::max(0, std::min(length, available));
    std::memcpy(buffer, source->data(), static_cast<size_t>(n));
    bufferFilled_ = n >= length;
    if (!(flags & MSG_PEEK)) {
        source->erase(0, static_cast<size_t>(n));
        if (source == &line_) lineLength_ -= n;
    }
    return n;
}

void TCustomLineWSocket::TriggerLineLimitExceeded(int count, bool& clearData) {
    if (OnLineLimitExceeded) OnLineLimitExceeded(this, count, clearData);
}

void TCustomLineWSocket::EditLine(std::string& fresh) {
    if (fresh.find_first_of("\b\t") == std::string::npos) {
        if (LineEcho) SendStr(fresh);
        return;
    }
    std::string edited, echo;
    for (char c : fresh) {
        if (c == '\b') {
            // A backspace on an empty line has nothing to remove.
            if (!edited.empty()) {
                edited.pop_back();
                echo += "\b \b";
            } else if (!buffer_.empty()) {
                buffer_.pop_back();
                echo += "\b \b";
            }
        } else if (c == '\t') {
            size_t blanks = 8 - (buffer_.size() + edited.size()) % 8;
            edited.append(blanks, ' ');
            echo.append(blanks, ' ');
        } else {
            edited += c;
            echo += c;
        }
    }
    if (LineEcho) SendStr(echo);
    fresh = edited;
}

bool TCustomLineWSocket::TriggerDataAvailable(uint16_t error) {
    if (!lineMode_ || LineEnd.empty()) return TCustomWSocket::TriggerDataAvailable(error);
    auto life = LifeToken();
    unsigned long waiting = 0;
    if (WSocket_ioctlsocket(hSocket_, FIONREAD, &waiting) != 0) return true;
    int count = waiting == 0 ? 255 : static_cast<int>(std::min<unsigned long>(waiting, 1u << 20));
    std::string fresh(static_cast<size_t>(count), '\0');
    int n = Receive(fresh.data(), count);
    if (life.expired() || n < 1) return true;
    fresh.resize(static_cast<size_t>(n));
    if (LineEdit) {
        EditLine(fresh);
    } else if (LineEcho) {
        SendStr(fresh);
    }
    if (life.expired()) return true;
    size_t searchFrom = buffer_.size() >= LineEnd.size() ? buffer_.size() - LineEnd.size() : 0;
    buffer_ += fresh;
    DeliverLines(searchFrom);
    return true;
}

bool TCustomLineWSocket::DeliverCurrentLine() {
    auto life = LifeToken();
    while (lineMode_ && lineLength_ >= 1) {
        if (!OnDataAvailable) {
            line_.clear();
            lineLength_ = 0;
            break;
        }
        int before = lineLength_;
        TCustomWSocket::TriggerDataAvailable(0);
        if (life.expired()) return false;
        if (lineMode_ && lineLength_ == before) {
            // The owner did not read its line: drop it rather than offer it for ever.
            line_.clear();
            lineLength_ = 0;
        }
    }
    return true;
}

void TCustomLineWSocket::DeliverLines(size_t searchFrom) {
    auto life = LifeToken();
    if (!DeliverCurrentLine()) return;
    while (lineMode_ && discardToLineEnd_) {
        // After the limit emptied the buffer, the rest of that overlong line is not a line of its own.
        size_t pos = buffer_.find(LineEnd);
        if (pos == std::string::npos) {
            size_t keep = std::min(buffer_.size(), LineEnd.size() - 1);
            buffer_.erase(0, buffer_.size() - keep);
            return;
        }
        buffer_.erase(0, pos + LineEnd.size());
        discardToLineEnd_ = false;
        searchFrom = 0;
    }
    while (lineMode_) {
        size_t pos = buffer_.find(LineEnd, std::min(searchFrom, buffer_.size()));
        if (pos == std::string::npos) break;
        size_t end = pos + LineEnd.size();
        if (LineLimit > 0 && end > static_cast<size_t>(LineLimit)) {
            // A line end that arrives after the limit does not make the overlong line acceptable.
            bool clearData = true;
            lineClearData_ = true;
            TriggerLineLimitExceeded(static_cast<int>(end), clearData);
            if (life.expired()) return;
            lineClearData_ = false;
            if (clearData) {
                buffer_.erase(0, end);
                searchFrom = 0;
                continue;
            }
        }
        line_ = buffer_.substr(0, end);
        buffer_.erase(0, end);
        lineLength_ = static_cast<int>(end);
        lineReceived_ = true;
        if (!DeliverCurrentLine()) return;
        searchFrom = 0;
    }
    if (lineMode_ && LineLimit > 0 && static_cast<int>(buffer_.size()) > LineLimit) {
        bool clearData = true;
        lineClearData_ = true;
        TriggerLineLimitExceeded(static_cast<int>(buffer_.size()), clearData);
        if (life.expired()) return;
        lineClearData_ = false;
        if (clearData) {
            buffer_.clear();
            line_.clear();
            lineLength_ = 0;
            discardToLineEnd_ = true;
        }
    }
}

void TCustomLineWSocket::WndProc(TMessage& message) {
    if (message.Msg != WM_TRIGGER_DATA_AVAILABLE) return TCustomWSocket::WndProc(message);
    auto life = LifeToken();
    try {
        while (!buffer_.empty() || lineLength_ > 0) {
            size_t before = buffer_.size() + static_cast<size_t>(lineLength_);
            unsigned callsBefore = recvCalls_;
            if (lineMode_) {
                DeliverLines(0);
            } else if (!TCustomWSocket::TriggerDataAvailable(0)) {
                buffer_.clear(); // nobody reads: dropped, as the receive loop drops unread input
            }
            if (life.expired()) return;
            // A round that consumed nothing ends the delivery.
            if (buffer_.size() + static_cast<size_t>(lineLength_) >= before && recvCalls_ == callsBefore)
                break;
        }
    } catch (const std::exception& e) {
        if (!life.expired()) HandleBackGroundException(e);
    }
}

void TCustomLineWSocket::TriggerSessionClosed(uint16_t error) {
    auto life = LifeToken();
    lineReceived_ = true;
    if (lineMode_ && !buffer_.empty() && !lineClearData_ && !discardToLineEnd_) {
        // The last line, without its line end.
        line_ = buffer_;
        buffer_.clear();
        lineLength_ = static_cast<int>(line_.size());
        if (!DeliverCurrentLine()) return;
    }
    buffer_.clear();
    line_.clear();
    lineLength_ = 0;
    discardToLineEnd_ = false;
    TCustomWSocket::TriggerSessionClosed(error);
}

// ---- waits ----

int TCustomSyncWSocket::WaitUntilReady(const bool& done) {
    return PumpUntil([&done] { return done; }, TimeoutMs > 0 ? static_cast<uint32_t>(TimeoutMs) : 0)
               ? 0
               : kWaitTimedOut;
}

int TCustomSyncWSocket::Synchronize(const std::function<void()>& proc, bool& done) {
    done = false;
    if (proc) proc();
    return WaitUntilReady(done);
}

void TCustomSyncWSocket::ReadLine(int timeout, std::string& text) {
    text.clear();
    if (state_ != wsConnected) return RaiseException("ReadLine failed: not connected");
    int ms = timeout == 0 ? 60000 : (timeout < 0 ? -timeout : timeout * 1000);
    lineReceived_ = false;
    TSessionEvent savedHandler = OnDataAvailable;
    bool savedMode = lineMode_;
    int savedTimeout = TimeoutMs;
    OnDataAvailable = [this, &text](TCustomWSocket*, uint16_t) {
        text.assign(static_cast<size_t>(lineLength_), '\0');
        int n = Receive(text.data(), lineLength_);
        text.resize(static_cast<size_t>(std::max(n, 0)));
    };
    lineMode_ = true;
    TimeoutMs = ms;
    int rc = WaitUntilReady(lineReceived_);
    TimeoutMs = savedTimeout;
    if (rc != 0 && !buffer_.empty()) {
        text = buffer_;
        buffer_.clear();
    }
    OnDataAvailable = savedHandler;
    lineMode_ = savedMode;
}

} // namespace net
