// Line mode and the waits that run the loop.
#include <cstring>
#include <vector>

#include "net/Wsocket.h"

namespace net {

using namespace platform::winsock;

namespace {
// A read when line mode has no limit.
constexpr size_t kUnlimitedLineRead = 65536;
} // namespace

TCustomLineWSocket::~TCustomLineWSocket() = default;

void TCustomLineWSocket::Consume(size_t count) {
    readPos_ += count;
    if (readPos_ >= buffer_.size()) {
        buffer_.clear();
        readPos_ = 0;
    }
}

std::string TCustomLineWSocket::TakeBuffered() {
    std::string rest = buffer_.substr(readPos_);
    buffer_.clear();
    readPos_ = 0;
    lineLength_ = 0;
    return rest;
}

void TCustomLineWSocket::SetLineMode(bool value) {
    if (value == lineMode_) return;
    lineMode_ = value;
    // The unread rest of a line stays in front of what follows it, for the raw reads.
    if (!value) lineLength_ = 0;
    if (BufferedCount() > 0) platform::PostMessage(Handle(), WM_TRIGGER_DATA_AVAILABLE);
}

int TCustomLineWSocket::GetRcvdCount() {
    if (lineMode_) return lineLength_;
    if (BufferedCount() > 0) return BufferedCount();
    return TCustomWSocket::GetRcvdCount();
}

int TCustomLineWSocket::DoRecv(void* buffer, int length, int flags) {
    int available = lineMode_ ? lineLength_ : BufferedCount();
    if (available < 1) return TCustomWSocket::DoRecv(buffer, length, flags);
    int n = std::max(0, std::min(length, available));
    std::memcpy(buffer, buffer_.data() + readPos_, static_cast<size_t>(n));
    bufferFilled_ = n >= length;
    if (!(flags & MSG_PEEK)) {
        if (lineMode_) lineLength_ -= n;
        Consume(static_cast<size_t>(n));
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
            } else if (buffer_.size() > readPos_) {
                buffer_.pop_back();
                echo += "\b \b";
            }
        } else if (c == '\t') {
            size_t blanks = 8 - (buffer_.size() - readPos_ + edited.size()) % 8;
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
    // No more than line mode can hold: what the limit still leaves room for (and one line end), so
    // that a flood of input is taken in pieces that each end in the limit's check. The network gives
    // what is there, up to that.
    size_t buffered = static_cast<size_t>(BufferedCount());
    size_t room = LineLimit > 0 ? static_cast<size_t>(LineLimit) + LineEnd.size() : kUnlimitedLineRead;
    room = room > buffered + 255 ? room - buffered : 255;
    thread_local std::vector<char> scratch;
    if (scratch.size() < room) scratch.resize(room);
    int n = Receive(scratch.data(), static_cast<int>(room));
    if (n < 1) return true;
    std::string fresh(scratch.data(), static_cast<size_t>(n));
    if (!Delivering()) return true; // closing: what still arrives is not wanted
    if (LineEdit) {
        EditLine(fresh);
    } else if (LineEcho) {
        SendStr(fresh);
    }
    size_t held = buffer_.size() - readPos_;
    size_t searchFrom = held >= LineEnd.size() ? buffer_.size() - LineEnd.size() : readPos_;
    if (readPos_ > 0 && readPos_ >= held) {
        // Delivered bytes are dropped from the front only when they outweigh the rest: each byte is
        // moved a bounded number of times however the input is cut.
        buffer_.erase(0, readPos_);
        searchFrom -= readPos_;
        readPos_ = 0;
    }
    buffer_ += fresh;
    DeliverLines(searchFrom);
    return true;
}

void TCustomLineWSocket::DeliverCurrentLine() {
    while (lineMode_ && lineLength_ >= 1 && !released_) {
        if (!OnDataAvailable) break;
        int before = lineLength_;
        TCustomWSocket::TriggerDataAvailable(0);
        // An owner that did not read its line has it dropped rather than offered for ever.
        if (lineMode_ && lineLength_ == before) break;
    }
    if (lineMode_ && lineLength_ > 0) {
        Consume(static_cast<size_t>(lineLength_));
        lineLength_ = 0;
    }
}

void TCustomLineWSocket::DeliverLines(size_t searchFrom) {
    if (Delivering()) DeliverCurrentLine();
    while (Delivering() && discardToLineEnd_) {
        // After the limit emptied the buffer, the rest of that overlong line is not a line of its own.
        size_t pos = buffer_.find(LineEnd, readPos_);
        if (pos == std::string::npos) {
            size_t keep = std::min(buffer_.size() - readPos_, LineEnd.size() - 1);
            Consume(buffer_.size() - readPos_ - keep);
            return;
        }
        Consume(pos + LineEnd.size() - readPos_);
        discardToLineEnd_ = false;
        searchFrom = readPos_;
    }
    while (Delivering()) {
        size_t pos = buffer_.find(LineEnd, std::max(searchFrom, readPos_));
        if (pos == std::string::npos) break;
        size_t length = pos + LineEnd.size() - readPos_;
        if (LineLimit > 0 && length > static_cast<size_t>(LineLimit)) {
            // A line end that arrives after the limit does not make the overlong line acceptable.
            bool clearData = true;
            lineClearData_ = true;
            TriggerLineLimitExceeded(static_cast<int>(length), clearData);
            lineClearData_ = false;
            if (clearData) {
                Consume(length);
                searchFrom = readPos_;
                continue;
            }
        }
        lineLength_ = static_cast<int>(length);
        lineReceived_ = true;
        DeliverCurrentLine();
        searchFrom = readPos_;
    }
    if (Delivering() && LineLimit > 0 && BufferedCount() > LineLimit) {
        bool clearData = true;
        lineClearData_ = true;
        TriggerLineLimitExceeded(BufferedCount(), clearData);
        lineClearData_ = false;
        if (clearData) {
            TakeBuffered();
            discardToLineEnd_ = true;
        }
    }
}

void TCustomLineWSocket::WndProc(TMessage& message) {
    if (message.Msg != WM_TRIGGER_DATA_AVAILABLE) return TCustomWSocket::WndProc(message);
    try {
        while (BufferedCount() > 0 && !released_) {
            int before = BufferedCount();
            unsigned callsBefore = recvCalls_;
            if (lineMode_) {
                DeliverLines(readPos_);
            } else if (!TCustomWSocket::TriggerDataAvailable(0)) {
                TakeBuffered(); // nobody reads: dropped, as the receive loop drops unread input
            }
            // A round that consumed nothing ends the delivery.
            if (BufferedCount() >= before && recvCalls_ == callsBefore) break;
        }
    } catch (const std::exception& e) {
        HandleBackGroundException(e);
    }
}

void TCustomLineWSocket::TriggerSessionClosed(uint16_t error) {
    lineReceived_ = true;
    if (Delivering() && BufferedCount() > 0 && !lineClearData_ && !discardToLineEnd_) {
        // The last line, without its line end.
        lineLength_ = BufferedCount();
        DeliverCurrentLine();
    }
    TakeBuffered();
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
    if (rc != 0 && BufferedCount() > 0) text = TakeBuffered();
    OnDataAvailable = savedHandler;
    lineMode_ = savedMode;
}

} // namespace net
