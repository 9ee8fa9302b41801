// The send chain and the receive calls.
#include "net/LoopbackGuard.h"
#include "net/Wsocket.h"
#include "platform/Strings.h"

namespace net {

using namespace platform::winsock;

void TCustomWSocket::PutDataInSendBuffer(const void* data, int length) {
    if (length <= 0) return;
    auto bytes = static_cast<const uint8_t*>(data);
    if (bufferList_.empty()) bufferList_.push_back(std::make_unique<TBuffer>(kSendChunkSize));
    int written = bufferList_.back()->Write(bytes, length);
    while (written < length) {
        bufferList_.push_back(std::make_unique<TBuffer>(kSendChunkSize));
        written += bufferList_.back()->Write(bytes + written, length - written);
    }
}

void TCustomWSocket::DeleteBufferedData() {
    bufferList_.clear();
}

int TCustomWSocket::SendNow(const void* data, int length) {
    int sent = RealSend(data, length);
    if (sent != SOCKET_ERROR) return sent;
    int code = WSocket_WSAGetLastError();
    if (code == WSAECONNRESET || code == WSAENOTSOCK || code == WSAENOTCONN || code == WSAEINVAL ||
        code == WSAECONNABORTED) {
        closeInvoked_ = true;
        Close();
        TriggerSessionClosed(static_cast<uint16_t>(code));
        return 0;
    }
    if (code == WSAEWOULDBLOCK) return 0; // the rest leaves on the next FD_WRITE
    lastError_ = code;
    SocketError("TryToSend failed");
    return 0;
}

void TCustomWSocket::TryToSend() {
    if (hSocket_ == INVALID_SOCKET || bufferList_.empty()) return;
    while (!bufferList_.empty()) {
        TBuffer* first = bufferList_.front().get();
        int waiting = 0;
        const uint8_t* data = first->Peek(waiting);
        if (waiting > 0) {
            int sent = SendNow(data, waiting);
            if (sent == 0) return;
            if (bufferList_.empty() || bufferList_.front().get() != first) return; // the chain was dropped
            first->Remove(sent);
            // A partial send is tried again at once: only a send that would block brings FD_WRITE.
            continue;
        }
        if (bufferList_.size() > 1) {
            bufferList_.pop_front();
            continue;
        }
        allSent_ = true;
        return;
    }
}

int TCustomWSocket::RealSend(const void* data, int length) {
    if (addrPending_) { // no address to send to yet
        WSocket_WSASetLastError(WSAEWOULDBLOCK);
        return SOCKET_ERROR;
    }
    if (sockType_ == SOCK_DGRAM && !DestinationAllowed(sin_.sin_addr.s_addr)) {
        WSocket_WSASetLastError(WSAEACCES);
        return SOCKET_ERROR;
    }
    int sent = sockType_ == SOCK_DGRAM
                   ? WSocket_sendto(hSocket_, data, length, sendFlags_, reinterpret_cast<sockaddr*>(&sin_),
                                    sizeof sin_)
                   : WSocket_send(hSocket_, data, length, sendFlags_ | (moreFollows_ ? MSG_MORE : 0));
    if (sent > 0 && OnSendData) OnSendData(this, sent);
    return sent;
}

int TCustomWSocket::Send(const void* data, int length) {
    if (state_ != wsConnected) {
        WSocket_WSASetLastError(WSAENOTCONN);
        SocketError("Send");
        return -1;
    }
    allSent_ = false;
    int result = length > 0 ? length : 0;
    if (sockType_ == SOCK_DGRAM) {
        // One datagram per call: the message boundary is the caller's.
        allSent_ = true;
        if (length > kMaxDatagram) {
            WSocket_WSASetLastError(WSAEMSGSIZE);
            SocketError("Send");
            return -1;
        }
        if (addrPending_ && LookupHost(platform::Trim(addrStr_)).state == HostState::Failed) {
            // The name has failed meanwhile (the cache gave up waiting): dropped, and the socket
            // closed so that the next Connect raises the failure.
            Close();
            return result;
        }
        if (addrPending_) { // kept until the host cache answers; a later one takes its place
            hasPendingDatagram_ = length > 0;
            pendingDatagram_.assign(static_cast<const char*>(data), static_cast<size_t>(result));
        } else if (length > 0 && RealSend(data, length) < 0) {
            SocketError("Send");
            return -1;
        }
    } else {
        PutDataInSendBuffer(data, length);
        TryToSend();
    }
    if (allSent_ && hSocket_ != INVALID_SOCKET)
        platform::PostMessage(Handle(), WM_ASYNCSELECT, static_cast<platform::WPARAM>(hSocket_),
                              WSAMAKESELECTREPLY(FD_WRITE, 0));
    return result;
}

bool TCustomWSocket::QueueAndTry(const void* data, int length) {
    allSent_ = false;
    int sent = 0;
    int queued = 0;
    if (!bufferList_.empty()) bufferList_.back()->Peek(queued);
    if (queued == 0 && bufferList_.size() <= 1 && hSocket_ != INVALID_SOCKET && sockType_ == SOCK_STREAM) {
        sent = SendNow(data, length); // nothing waits before it: straight from the caller's bytes
        if (hSocket_ == INVALID_SOCKET) return false;
    }
    PutDataInSendBuffer(static_cast<const uint8_t*>(data) + sent, length - sent);
    if (sent == length) {
        allSent_ = true;
        return true;
    }
    TryToSend();
    return allSent_;
}

int TCustomWSocket::SendStr(const std::string& text) {
    if (text.empty()) return 0;
    return Send(text.data(), static_cast<int>(text.size()));
}

int TCustomWSocket::SendTo(const sockaddr_in& dest, int destLen, const void* data, int length) {
    if (!DestinationAllowed(dest.sin_addr.s_addr)) {
        WSocket_WSASetLastError(WSAEACCES);
        return SOCKET_ERROR;
    }
    int sent =
        WSocket_sendto(hSocket_, data, length, sendFlags_, reinterpret_cast<const sockaddr*>(&dest), destLen);
    if (sent > 0 && OnSendData) OnSendData(this, sent);
    return sent;
}

int TCustomWSocket::Receive(void* buffer, int length) {
    int n = DoRecv(buffer, length, 0);
    if (n < 0)
        lastError_ = WSocket_WSAGetLastError();
    else
        readCount_ += n;
    return n;
}

std::string TCustomWSocket::ReceiveStr() {
    int count = GetRcvdCount();
    if (count < 0) return {};
    if (count == 0) count = 255;
    std::string text(static_cast<size_t>(count), '\0');
    int n = Receive(text.data(), count);
    if (n < 1) return {};
    text.resize(static_cast<size_t>(n));
    return text;
}

int TCustomWSocket::ReceiveFrom(void* buffer, int length, sockaddr_in& from, int& fromLen) {
    int n = DoRecvFrom(buffer, length, 0, from, fromLen);
    if (n < 0)
        lastError_ = WSocket_WSAGetLastError();
    else
        readCount_ += n;
    return n;
}

int TCustomWSocket::PeekData(void* buffer, int length) {
    int n = DoRecv(buffer, length, MSG_PEEK);
    if (n < 0) lastError_ = WSocket_WSAGetLastError();
    return n;
}

int TCustomWSocket::DoRecv(void* buffer, int length, int flags) {
    ++recvCalls_;
    int n = WSocket_recv(hSocket_, buffer, length, flags);
    if (n > 0 && !(flags & MSG_PEEK)) recvBytes_ += static_cast<uint64_t>(n);
    bufferFilled_ = n >= length;
    if (!(flags & MSG_PEEK)) shortRead_ = n < length;
    return n;
}

int TCustomWSocket::DoRecvFrom(void* buffer, int length, int flags, sockaddr_in& from, int& fromLen) {
    ++recvCalls_;
    int n = WSocket_recvfrom(hSocket_, buffer, length, flags, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n > 0 && !(flags & MSG_PEEK)) recvBytes_ += static_cast<uint64_t>(n);
    bufferFilled_ = n >= length;
    return n;
}

int TCustomWSocket::GetRcvdCount() {
    unsigned long waiting = 0;
    if (WSocket_ioctlsocket(hSocket_, FIONREAD, &waiting) != 0) {
        SocketError("ioctlSocket");
        return -1;
    }
    return static_cast<int>(waiting);
}

} // namespace net
