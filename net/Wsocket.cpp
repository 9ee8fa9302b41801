// The socket's life: properties, connect, listen, accept, close, notifications and name lookups.
#include "net/Wsocket.h"

#include <cstdarg>

#include "net/LoopbackGuard.h"
#include "platform/Clock.h"
#include "platform/Strings.h"

namespace net {

using platform::Format;
using platform::Trim;
using namespace platform::winsock;

TCustomWSocket::TCustomWSocket(platform::TComponent* owner, const std::string& name)
    : TComponent(owner, name) {
    WSocketAddSocket();
    AssignDefaultValue();
}

TCustomWSocket::~TCustomWSocket() {
    released_ = true;
    try {
        CancelDnsLookup();
    } catch (...) {
    }
    try {
        if (state_ != wsClosed) TCustomWSocket::InternalClose(true, 0);
    } catch (...) {
    }
    if (hSocket_ != INVALID_SOCKET) WSocket_closesocket(hSocket_);
    WSocketRemoveSocket();
    DeleteBufferedData();
}

void TCustomWSocket::AssignDefaultValue() {
    sin_ = sockaddr_in{};
    sin_.sin_family = AF_INET;
    portAssigned_ = addrAssigned_ = addrResolved_ = portResolved_ = protoResolved_ = localPortResolved_ =
        false;
    protoAssigned_ = true;
    proto_ = IPPROTO_TCP;
    protoStr_ = "tcp";
    sockType_ = SOCK_STREAM;
    localPortStr_ = '0';
    localAddr_ = "0.0.0.0";
    LingerOnOff = wsLingerOn;
    LingerTimeout = 0;
    hSocket_ = INVALID_SOCKET;
    selectEvent_ = 0;
    state_ = wsClosed;
    allSent_ = true;
    readCount_ = 0;
    paused_ = false;
    closeInvoked_ = false;
    closing_ = false;
    lookupConnect_ = addrPending_ = hasPendingDatagram_ = false;
    pendingDatagram_.clear();
    ++lookupTag_; // an answer awaited before is no longer wanted
}

// ---- properties ----

void TCustomWSocket::SetAddr(const std::string& value) {
    if (addrAssigned_ && value == addrStr_) return;
    if (state_ != wsClosed) return RaiseException("Cannot change Addr if not closed");
    addrStr_ = Trim(value);
    addrResolved_ = false;
    addrAssigned_ = !addrStr_.empty();
}

void TCustomWSocket::SetRemotePort(const std::string& value) {
    if (portAssigned_ && value == portStr_) return;
    if (state_ != wsClosed) return RaiseException("Cannot change Port if not closed");
    portStr_ = Trim(value);
    portResolved_ = false;
    portAssigned_ = !portStr_.empty();
}

void TCustomWSocket::SetProto(const std::string& value) {
    if (protoAssigned_ && value == protoStr_) return;
    if (state_ != wsClosed) return RaiseException("Cannot change Proto if not closed");
    protoStr_ = Trim(value);
    protoResolved_ = false;
    protoAssigned_ = !protoStr_.empty();
}

void TCustomWSocket::SetLocalPort(const std::string& value) {
    if (state_ != wsClosed) return RaiseException("Cannot change LocalPort if not closed");
    localPortStr_ = value;
    localPortResolved_ = false;
}

void TCustomWSocket::SetLocalAddr(const std::string& value) {
    if (state_ != wsClosed) return RaiseException("Cannot change LocalAddr if not closed");
    std::string text = Trim(value);
    if (text.empty()) text = "0.0.0.0";
    if (!WSocketIsDottedIP(text)) return RaiseException("SetLocalAddr(): Invalid IP address");
    localAddr_ = WSocket_inet_ntoa(in_addr{WSocket_inet_addr(text.c_str())});
}

TSocketSendFlags TCustomWSocket::SendFlags() const {
    if (sendFlags_ == 0) return wsSendNormal;
    if (sendFlags_ == MSG_OOB) return wsSendUrgent;
    throw ESocketException("Invalid internal SendFlags");
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags flags) {
    if (flags == wsSendNormal)
        sendFlags_ = 0;
    else if (flags == wsSendUrgent)
        sendFlags_ = MSG_OOB;
    else
        RaiseException("Invalid SendFlags");
}

// ---- failures ----

void TCustomWSocket::RaiseException(const std::string& message) {
    if (OnError) {
        TriggerError();
        return;
    }
    throw ESocketException(message);
}

void TCustomWSocket::RaiseExceptionFmt(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string message = platform::FormatV(format, args);
    va_end(args);
    RaiseException(message);
}

void TCustomWSocket::SocketError(const std::string& operation) {
    int code = WSocket_WSAGetLastError();
    std::string line =
        Format("Error %d in function %s\r\n%s", code, operation.c_str(), WSocketErrorDesc(code).c_str());
    if ((code == WSAECONNRESET || code == WSAENOTCONN) && hSocket_ != INVALID_SOCKET) {
        WSocket_closesocket(hSocket_);
        hSocket_ = INVALID_SOCKET;
        if (state_ != wsClosed && !closeInvoked_) {
            closeInvoked_ = true;
            TriggerSessionClosed(static_cast<uint16_t>(code));
        }
        ChangeState(wsClosed);
    }
    lastError_ = code;
    RaiseException(line);
}

void TCustomWSocket::HandleBackGroundException(const std::exception& e) {
    bool canClose = true;
    if (OnBgException && !released_) {
        try {
            OnBgException(this, e, canClose);
        } catch (...) {
        }
    }
    if (released_ || !canClose) return;
    try {
        Abort();
    } catch (...) {
    }
}

// ---- triggers ----

// Events go out only while the socket is neither released nor being destroyed.
bool TCustomWSocket::TriggerDataAvailable(uint16_t error) {
    if (!OnDataAvailable || released_) return false;
    OnDataAvailable(this, error);
    return true;
}

void TCustomWSocket::TriggerSessionAvailable(uint16_t error) {
    if (OnSessionAvailable && !released_) OnSessionAvailable(this, error);
}

void TCustomWSocket::TriggerSessionConnected(uint16_t error) {
    if (OnSessionConnected && !released_) OnSessionConnected(this, error);
}

void TCustomWSocket::TriggerSessionClosed(uint16_t error) {
    if (OnSessionClosed && !released_) OnSessionClosed(this, error);
}

void TCustomWSocket::TriggerDataSent(uint16_t error) {
    if (OnDataSent && !released_) OnDataSent(this, error);
}

void TCustomWSocket::TriggerChangeState(TSocketState oldState, TSocketState newState) {
    if (OnChangeState && !released_) OnChangeState(this, oldState, newState);
}

void TCustomWSocket::TriggerDNSLookupDone(uint16_t error) {
    if (OnDnsLookupDone && !released_) OnDnsLookupDone(this, error);
}

void TCustomWSocket::TriggerError() {
    if (OnError && !released_) OnError(this);
}

void TCustomWSocket::ChangeState(TSocketState newState) {
    TSocketState oldState = state_;
    state_ = newState;
    TriggerChangeState(oldState, newState);
}

// ---- the window ----

void TCustomWSocket::WndProc(TMessage& message) {
    try {
        switch (message.Msg) {
        case WM_ASYNCSELECT:
            HandleSelect(message);
            break;
        case WM_ASYNCGETHOSTBYNAME:
            HandleLookupReply(message, false);
            break;
        case WM_ASYNCGETHOSTBYADDR:
            HandleLookupReply(message, true);
            break;
        case WM_CLOSE_DELAYED:
            Close();
            break;
        case WM_HOST_KNOWN:
            HandleHostKnown(message);
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        HandleBackGroundException(e);
    } catch (...) {
        HandleBackGroundException(platform::Exception("Unknown exception"));
    }
}

void TCustomWSocket::HandleSelect(TMessage& message) {
    if (hSocket_ == INVALID_SOCKET || message.WParam != static_cast<platform::WPARAM>(hSocket_) || paused_)
        return;
    unsigned event = WSAGETSELECTEVENT(message.LParam);
    auto error = static_cast<uint16_t>(WSAGETSELECTERROR(message.LParam));
    if ((event & FD_CONNECT) && state_ != wsConnected) {
        ChangeState(wsConnected);
        TriggerSessionConnected(error);
        if (error != 0 && state_ != wsClosed) Close();
    }
    if (event & FD_READ) {
        if (state_ != wsConnected) {
            ChangeState(wsConnected);
            TriggerSessionConnected(error);
        }
        ReceiveLoop(error, ComponentOptions, true);
    }
    if (event & FD_WRITE) {
        TryToSend();
        if (allSent_) TriggerDataSent(error);
    }
    if (event & FD_ACCEPT) TriggerSessionAvailable(error);
    if ((event & FD_CLOSE) && state_ != wsConnecting) {
        ReceiveLoop(0, ComponentOptions & ~static_cast<unsigned>(wsoNoReceiveLoop), false);
        if (!closeInvoked_) {
            closeInvoked_ = true;
            TriggerSessionClosed(error);
        }
        if (state_ != wsClosed) Close();
    }
}

void TCustomWSocket::ReceiveLoop(uint16_t error, TWSocketOptions options, bool bounded) {
    const uint64_t start = recvBytes_;
    while (hSocket_ != INVALID_SOCKET && !released_) {
        lastError_ = 0;
        unsigned callsBefore = recvCalls_;
        if (!TriggerDataAvailable(error)) {
            char junk[1024];
            if (DoRecv(junk, sizeof junk, 0) < 0) {
                int code = WSocket_WSAGetLastError();
                lastError_ = code == WSAEWOULDBLOCK ? 0 : code;
                if (code == WSAEWOULDBLOCK) break;
            }
        }
        if (options & wsoNoReceiveLoop) break;
        if (lastError_ != 0 || hSocket_ == INVALID_SOCKET) break;
        // A handler that read nothing is not called again: the loop would never end.
        if (recvCalls_ == callsBefore) break;
        if (bounded && recvBytes_ - start >= kReceiveTurnBytes) break;
        // A stream read that got less than it asked for emptied the socket: nothing waits now (a
        // datagram socket holds one datagram per read, and may hold more).
        if (shortRead_ && sockType_ == SOCK_STREAM) break;
        unsigned long waiting = 0;
        if (WSocket_ioctlsocket(hSocket_, FIONREAD, &waiting) != 0) {
            lastError_ = WSocket_WSAGetLastError();
            break;
        }
        if (waiting == 0) break;
    }
}

// ---- connect, listen, accept ----

bool TCustomWSocket::ResolveForConnect(bool withLocalPort, bool mayWait) {
    if (!protoResolved_) {
        proto_ = WSocketResolveProto(protoStr_);
        sockType_ = proto_ == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
        protoResolved_ = true;
    }
    if (!portResolved_) {
        portNum_ = WSocketResolvePort(portStr_, protoStr_);
        sin_.sin_port = WSocket_htons(portNum_);
        portResolved_ = true;
    }
    if (withLocalPort && !localPortResolved_) {
        localPortNum_ = WSocketResolvePort(localPortStr_, protoStr_);
        localPortResolved_ = true;
    }
    if (!addrResolved_) {
        std::string name = Trim(addrStr_);
        if (mayWait && !name.empty() && name.size() < 257 && !WSocketIsDottedIP(name)) {
            HostAnswer answer = LookupHost(name, Handle(), WM_HOST_KNOWN, ++lookupTag_);
            if (answer.state == HostState::Pending) return true;
        }
        sin_.sin_addr.s_addr = WSocketResolveHost(addrStr_);
        addrResolved_ = true;
    }
    return false;
}

void TCustomWSocket::HandleHostKnown(TMessage& message) {
    if (message.WParam != lookupTag_ || !AwaitingHost()) return;
    HostAnswer answer = LookupHost(Trim(addrStr_), Handle(), WM_HOST_KNOWN, ++lookupTag_);
    if (answer.state == HostState::Pending) return; // asked again; the next answer is awaited
    if (lookupConnect_) {
        lookupConnect_ = false;
        if (answer.state == HostState::Failed) return FailAwaitedConnect(answer.error);
        sin_.sin_addr = answer.addresses[0];
        addrResolved_ = true;
        lastError_ = 0;
        try {
            OpenAndConnect();
        } catch (const std::exception&) {
            return FailAwaitedConnect(lastError_ != 0 ? lastError_ : WSAEINVAL);
        }
        // A failure that OnError took leaves the socket short of connecting.
        if (lastError_ != 0 && state_ != wsConnecting && state_ != wsConnected)
            FailAwaitedConnect(lastError_);
        return;
    }
    addrPending_ = false;
    bool send = hasPendingDatagram_;
    hasPendingDatagram_ = false;
    std::string datagram;
    datagram.swap(pendingDatagram_);
    if (answer.state == HostState::Failed) {
        // The datagram is dropped and the socket closed: with no address it would send to this host
        // (an unset address is 0.0.0.0); the next Connect raises the lookup's failure.
        lastError_ = answer.error;
        Close();
        return;
    }
    sin_.sin_addr = answer.addresses[0];
    addrResolved_ = true;
    if (sin_.sin_addr.s_addr == INADDR_BROADCAST) AllowBroadcast();
    if (send && hSocket_ != INVALID_SOCKET &&
        RealSend(datagram.data(), static_cast<int>(datagram.size())) == SOCKET_ERROR)
        lastError_ = WSocket_WSAGetLastError();
}

// Reported as a connect that failed: OnSessionConnected(code), then the close and OnSessionClosed.
void TCustomWSocket::FailAwaitedConnect(int code) {
    lastError_ = code;
    TriggerSessionConnected(static_cast<uint16_t>(code));
    if (state_ != wsClosed) Close();
}

void TCustomWSocket::AllowBroadcast() {
    int on = 1;
    if (WSocket_setsockopt(hSocket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        lastError_ = WSocket_WSAGetLastError();
}

void TCustomWSocket::SetOption(int level, int name, int value, const char* failure) {
    if (WSocket_setsockopt(hSocket_, level, name, &value, sizeof value) != 0) SocketError(failure);
}

void TCustomWSocket::DeferAccept() {
    if (DeferAcceptSeconds <= 0) return;
    const int seconds = DeferAcceptSeconds;
    if (WSocket_setsockopt(hSocket_, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds) != 0)
        deferAcceptError_ = WSocket_WSAGetLastError();
}

void TCustomWSocket::ApplyLinger() {
    if (LingerOnOff == wsLingerNoSet) return;
    if (hSocket_ == INVALID_SOCKET) return RaiseException("Cannot set linger option at this time");
    linger option{LingerOnOff == wsLingerOn ? 1 : 0, LingerTimeout};
    if (WSocket_setsockopt(hSocket_, SOL_SOCKET, SO_LINGER, &option, sizeof option) != 0)
        SocketError("setsockopt(SO_LINGER)");
}

void TCustomWSocket::ArmSelect(long mask, const char* failure) {
    if (WSocket_WSAAsyncSelect(hSocket_, Handle(), WM_ASYNCSELECT, mask) != 0) SocketError(failure);
}

void TCustomWSocket::BindSocket() {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = WSocketResolveHost(localAddr_);
    local.sin_port = WSocket_htons(localPortNum_);
    if (WSocket_bind(hSocket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        lastError_ = WSocket_WSAGetLastError();
        return RaiseExceptionFmt("winsock.bind failed, error #%d", lastError_);
    }
    int len = sizeof local;
    if (WSocket_getsockname(hSocket_, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        lastError_ = WSocket_WSAGetLastError();
        return RaiseExceptionFmt("winsock.getsockname failed, error #%d", lastError_);
    }
    localPortNum_ = WSocket_ntohs(local.sin_port);
    localPortStr_ = std::to_string(localPortNum_);
}

void TCustomWSocket::Connect() {
    if ((hSocket_ != INVALID_SOCKET && state_ != wsClosed) || lookupConnect_)
        return RaiseException("Connect: Socket already in use");
    if (!portAssigned_) return RaiseException("Connect: No Port Specified");
    if (!addrAssigned_) return RaiseException("Connect: No IP Address Specified");
    if (!protoAssigned_) return RaiseException("Connect: No Protocol Specified");
    bool awaited = ResolveForConnect(true, true);
    if (awaited && sockType_ == SOCK_STREAM) { // HandleHostKnown goes on from here
        DeleteBufferedData();
        lookupConnect_ = true;
        ChangeState(wsConnecting);
        return;
    }
    addrPending_ = awaited;
    OpenAndConnect();
}

void TCustomWSocket::OpenAndConnect() {
    DeleteBufferedData();
    hSocket_ = WSocket_socket(AF_INET, sockType_, proto_);
    if (hSocket_ == INVALID_SOCKET) return SocketError("Connect (socket)");
    if (state_ != wsConnecting) ChangeState(wsOpened);
    lastError_ = 0;
    // A failure reported to OnError returns here instead of raising: stop at the first one.
    auto failed = [&] { return hSocket_ == INVALID_SOCKET || lastError_ != 0; };
    if (sockType_ == SOCK_STREAM) {
        SetOption(SOL_SOCKET, SO_REUSEADDR, 1, "setsockopt(SO_REUSEADDR)");
        if (failed()) return;
        if (ComponentOptions & wsoTcpNoDelay)
            SetOption(IPPROTO_TCP, TCP_NODELAY, 1, "setsockopt(IPPROTO_TCP, TCP_NODELAY)");
        if (failed()) return;
        ApplyLinger();
        if (failed()) return;
        SetOption(SOL_SOCKET, SO_KEEPALIVE, 1, "setsockopt(SO_KEEPALIVE)");
        if (failed()) return;
        if (localPortNum_ != 0 || localAddr_ != "0.0.0.0") BindSocket();
    } else {
        BindSocket();
        if (failed()) return;
        if (MultiCast && MultiCastIpTTL != 1)
            SetOption(IPPROTO_IP, IP_MULTICAST_TTL, MultiCastIpTTL, "setsockopt(IP_MULTICAST_TTL)");
        if (failed()) return;
        if (sin_.sin_addr.s_addr == INADDR_BROADCAST && !addrPending_)
            SetOption(SOL_SOCKET, SO_BROADCAST, 1, "setsockopt(SO_BROADCAST)");
    }
    if (failed()) return;
    selectEvent_ = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
    ArmSelect(selectEvent_, "WSAAsyncSelect");
    if (failed()) return;
    if (sockType_ == SOCK_STREAM) {
        if (!DestinationAllowed(sin_.sin_addr.s_addr)) {
            lastError_ = WSAEACCES;
            WSocket_WSASetLastError(WSAEACCES);
            return SocketError("Connect (outside 127.0.0.0/8 in the test build)");
        }
        if (WSocket_connect(hSocket_, reinterpret_cast<sockaddr*>(&sin_), sizeof sin_) == 0 ||
            WSocket_WSAGetLastError() == WSAEWOULDBLOCK) {
            ChangeState(wsConnecting);
        } else {
            lastError_ = WSocket_WSAGetLastError();
            SocketError("Connect");
        }
    } else {
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
    }
}

void TCustomWSocket::Listen() {
    if (!portAssigned_) {
        WSocket_WSASetLastError(WSAEINVAL);
        return SocketError("listen: port not assigned");
    }
    if (!protoAssigned_) {
        WSocket_WSASetLastError(WSAEINVAL);
        return SocketError("listen: protocol not assigned");
    }
    if (!addrAssigned_) {
        WSocket_WSASetLastError(WSAEINVAL);
        return SocketError("listen: address not assigned");
    }
    ResolveForConnect(false, false);
    DeleteBufferedData();
    deferAcceptError_ = 0;
    hSocket_ = WSocket_socket(AF_INET, sockType_, proto_);
    if (hSocket_ == INVALID_SOCKET) return SocketError("socket");
    lastError_ = 0;
    // TCP listeners reuse the address so that a restart does not wait for old connections to time out.
    if (sockType_ == SOCK_STREAM || ReuseAddr)
        SetOption(SOL_SOCKET, SO_REUSEADDR, 1, "setsockopt(SO_REUSEADDR)");
    if (lastError_ != 0) return;
    if (WSocket_bind(hSocket_, reinterpret_cast<sockaddr*>(&sin_), sizeof sin_) != 0) {
        int code = WSocket_WSAGetLastError();
        WSocket_closesocket(hSocket_); // the socket was never opened as far as the state goes
        hSocket_ = INVALID_SOCKET;
        WSocket_WSASetLastError(code);
        return SocketError("Bind");
    }
    ChangeState(wsBound);
    if (sockType_ == SOCK_DGRAM) {
        if (MultiCast) {
            ip_mreq group{};
            group.imr_multiaddr.s_addr = WSocket_inet_addr(MultiCastAddrStr.c_str());
            group.imr_interface.s_addr = WSocket_htonl(INADDR_ANY);
            if (WSocket_setsockopt(hSocket_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0)
                return SocketError("setsockopt(IP MULTICAST)");
        }
        ChangeState(wsListening);
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
        if (hSocket_ == INVALID_SOCKET) return;
    } else {
        DeferAccept();
        if (WSocket_listen(hSocket_, ListenBacklog) != 0) return SocketError("Listen");
        ChangeState(wsListening);
    }
    selectEvent_ = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;
    ArmSelect(selectEvent_, "WSAASyncSelect");
}

SOCKET TCustomWSocket::Accept() {
    if (state_ != wsListening) {
        WSocket_WSASetLastError(WSAEINVAL);
        SocketError("not a listening socket");
        return INVALID_SOCKET;
    }
    sockaddr_in peer{};
    int len = sizeof peer;
    SOCKET accepted = WSocket_accept(hSocket_, reinterpret_cast<sockaddr*>(&peer), &len);
    if (accepted == INVALID_SOCKET) {
        lastError_ = WSocket_WSAGetLastError();
        SocketError("Accept");
        return INVALID_SOCKET;
    }
    sin_ = peer;
    return accepted;
}

void TCustomWSocket::Dup(SOCKET handle) {
    if (handle == 0 || handle == INVALID_SOCKET) {
        WSocket_WSASetLastError(WSAEINVAL);
        return SocketError("Dup");
    }
    if (state_ != wsClosed) {
        if (hSocket_ != INVALID_SOCKET && WSocket_closesocket(hSocket_) != 0) {
            hSocket_ = INVALID_SOCKET;
            return SocketError("Dup (closesocket)");
        }
        hSocket_ = INVALID_SOCKET;
        ChangeState(wsClosed);
    }
    hSocket_ = handle;
    sendShut_ = false;
    ApplyLinger();
    if (ComponentOptions & wsoTcpNoDelay)
        SetOption(IPPROTO_TCP, TCP_NODELAY, 1, "setsockopt(IPPROTO_TCP, TCP_NODELAY)");
    selectEvent_ = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;
    ArmSelect(selectEvent_, "WSAAsyncSelect");
    ChangeState(wsConnected);
}

// ---- closing ----

void TCustomWSocket::Close() {
    InternalClose(true, 0);
}

void TCustomWSocket::CloseDelayed() {
    closing_ = true;
    platform::PostMessage(Handle(), WM_CLOSE_DELAYED);
}

void TCustomWSocket::Release() {
    released_ = true;
}

void ReleaseAtTurnEnd(std::unique_ptr<TCustomWSocket> socket) {
    if (!socket) return;
    socket->Release();
    // The loop owns it from here; a component owner would free it a second time.
    if (platform::TComponent* owner = socket->Owner()) owner->RemoveComponent(socket.get());
    platform::EventLoop::Get().ReleaseAtTurnEnd(std::move(socket));
}

void TCustomWSocket::Abort() {
    CancelDnsLookup();
    DeleteBufferedData();
    if (state_ == wsConnected && sockType_ == SOCK_STREAM && hSocket_ != INVALID_SOCKET) {
        LingerOnOff = wsLingerOff;
        ApplyLinger();
    }
    InternalClose(false, 0);
}

void TCustomWSocket::InternalClose(bool shut, uint16_t error) {
    if (hSocket_ == INVALID_SOCKET) {
        if (state_ != wsClosed) {
            // A connect that waited for its host name ends as a session that was being opened.
            bool connecting = state_ == wsConnecting;
            ChangeState(wsClosed);
            if (connecting && !released_ && !closeInvoked_) {
                closeInvoked_ = true;
                TriggerSessionClosed(error);
            }
            AssignDefaultValue();
        }
        return;
    }
    if (state_ == wsClosed) return;
    if (shut && !sendShut_) WSocket_shutdown(hSocket_, SD_SEND);
    // Close exactly once: the descriptor number is free again as soon as close() returns.
    WSocket_closesocket(hSocket_);
    hSocket_ = INVALID_SOCKET;
    sendShut_ = false;
    ChangeState(wsClosed);
    if (!released_ && !closeInvoked_) {
        closeInvoked_ = true;
        TriggerSessionClosed(error);
    }
    AssignDefaultValue();
}

void TCustomWSocket::Shutdown(int how) {
    if (hSocket_ == INVALID_SOCKET) return;
    if (WSocket_shutdown(hSocket_, how) == 0 && how != SD_RECEIVE) sendShut_ = true;
}

void TCustomWSocket::Pause() {
    paused_ = true;
    if (hSocket_ != INVALID_SOCKET) WSocket_WSAAsyncSelect(hSocket_, Handle(), WM_ASYNCSELECT, 0);
}

void TCustomWSocket::Resume() {
    paused_ = false;
    if (hSocket_ != INVALID_SOCKET) ArmSelect(selectEvent_, "WSAAsyncSelect");
}

// ---- waiting ----

bool TCustomWSocket::Terminated() const {
    return platform::EventLoop::Get().Terminated();
}

bool TCustomWSocket::PumpUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    platform::EventLoop::BusyWindow busy(Handle()); // released meanwhile, it still outlives this wait
    return platform::EventLoop::Get().RunUntil(done, timeoutMs > 0 ? timeoutMs : UINT32_MAX);
}

void TCustomWSocket::Flush() {
    PumpUntil(
        [this] {
            if (hSocket_ != INVALID_SOCKET && !allSent_) TryToSend();
            return hSocket_ == INVALID_SOCKET || allSent_;
        },
        0);
}

void TCustomWSocket::WaitForClose() {
    PumpUntil(
        [this] {
            if (hSocket_ == INVALID_SOCKET || state_ == wsClosed) return true;
            unsigned long waiting = 0;
            if (WSocket_ioctlsocket(hSocket_, FIONREAD, &waiting) != 0) return true;
            if (waiting > 0) TriggerDataAvailable(0);
            if (hSocket_ == INVALID_SOCKET) return true;
            if (WSocket_recv(hSocket_, nullptr, 0, 0) < 1) {
                lastError_ = WSocket_WSAGetLastError();
                if (lastError_ != WSAEWOULDBLOCK) return true;
            }
            return false;
        },
        0);
}

void TCustomWSocket::MessagePump() {
    platform::EventLoop::Get().ProcessMessages();
}

void TCustomWSocket::ThreadAttach() {
    if (hSocket_ != INVALID_SOCKET) WSocket_WSAAsyncSelect(hSocket_, Handle(), WM_ASYNCSELECT, 0);
    RenewHandle();
    if (hSocket_ != INVALID_SOCKET && !paused_) ArmSelect(selectEvent_, "WSAAsyncSelect");
    // Answers that other threads would post to the old window are asked for on the new one.
    if (AwaitingHost()) platform::PostMessage(Handle(), WM_HOST_KNOWN, lookupTag_);
    if (dnsLookupHandle_ != 0) {
        WSocket_WSACancelAsyncRequest(dnsLookupHandle_);
        dnsLookupHandle_ = 0;
        if (dnsLookupReverse_)
            ReverseDnsLookup(dnsLookupText_);
        else
            DnsLookup(dnsLookupText_);
    }
}

bool TCustomWSocket::TimerIsSet(const timeval& tv) const {
    return tv.tv_sec != 0 || tv.tv_usec != 0;
}

void TCustomWSocket::TimerClear(timeval& tv) const {
    tv.tv_sec = 0;
    tv.tv_usec = 0;
}

bool TCustomWSocket::TimerCmp(const timeval& a, const timeval& b, bool isEqual) const {
    bool equal = a.tv_sec == b.tv_sec && a.tv_usec == b.tv_usec;
    return isEqual ? equal : !equal;
}

bool TCustomWSocket::ProcessMessage() {
    bool any = platform::EventLoop::Get().Pending() > 0;
    platform::EventLoop::Get().ProcessMessages();
    return any;
}

void TCustomWSocket::ProcessMessages() {
    platform::EventLoop::Get().ProcessMessages();
}

void TCustomWSocket::MessageLoop() {
    platform::EventLoop::Get().Run();
}

// ---- names and addresses ----

void TCustomWSocket::DnsLookup(const std::string& hostName) {
    if (hostName.empty()) {
        RaiseException("DNS lookup: invalid host name.");
        TriggerDNSLookupDone(WSAEINVAL);
        return;
    }
    if (dnsLookupHandle_ != 0) CancelDnsLookup();
    dnsResult_.clear();
    dnsResultList_.Clear();
    if (WSocketIsDottedIP(hostName)) {
        dnsResult_ = WSocket_inet_ntoa(in_addr{WSocket_inet_addr(Trim(hostName).c_str())});
        TriggerDNSLookupDone(0);
        return;
    }
    earlyReply_ = false;
    dnsLookupText_ = hostName;
    dnsLookupReverse_ = false;
    dnsLookupHandle_ =
        WSocket_WSAAsyncGetHostByName(Handle(), WM_ASYNCGETHOSTBYNAME, hostName.c_str(), nullptr, 0);
    if (dnsLookupHandle_ == 0)
        return RaiseExceptionFmt("%s: can't start DNS lookup, error #%d", hostName.c_str(),
                                 WSocket_WSAGetLastError());
    if (earlyReply_) HandleLookupReply(earlyMessage_, false);
}

void TCustomWSocket::ReverseDnsLookup(const std::string& hostAddr) {
    if (hostAddr.empty() || hostAddr.size() >= 257) {
        RaiseException("ReverseDnsLookup: Invalid host name.");
        TriggerDNSLookupDone(WSAEINVAL);
        return;
    }
    if (dnsLookupHandle_ != 0) CancelDnsLookup();
    dnsResult_.clear();
    dnsResultList_.Clear();
    in_addr address{WSocket_inet_addr(hostAddr.c_str())};
    earlyReply_ = false;
    dnsLookupText_ = hostAddr;
    dnsLookupReverse_ = true;
    dnsLookupHandle_ = WSocket_WSAAsyncGetHostByAddr(Handle(), WM_ASYNCGETHOSTBYADDR,
                                                     reinterpret_cast<const char*>(&address), sizeof address,
                                                     AF_INET, nullptr, 0);
    if (dnsLookupHandle_ == 0)
        return RaiseExceptionFmt("%s: can't start DNS lookup, error #%d", hostAddr.c_str(),
                                 WSocket_WSAGetLastError());
    if (earlyReply_) HandleLookupReply(earlyMessage_, true);
}

void TCustomWSocket::HandleLookupReply(TMessage& message, bool reverse) {
    if (dnsLookupHandle_ == 0) {
        earlyMessage_ = message;
        earlyReply_ = true;
        return;
    }
    if (message.WParam != dnsLookupHandle_) return;
    ws::HANDLE handle = dnsLookupHandle_;
    dnsLookupHandle_ = 0;
    auto error = static_cast<uint16_t>(WSAGETSELECTERROR(message.LParam));
    AsyncHostResult result;
    WSAGetAsyncResult(handle, result);
    if (error == 0) {
        if (reverse) {
            dnsResult_ = result.name;
            dnsResultList_.Add(result.name);
        } else {
            for (const in_addr& a : result.addresses)
                dnsResultList_.Add(WSocket_inet_ntoa(a));
            if (dnsResultList_.Count() > 0) dnsResult_ = dnsResultList_[0];
        }
    }
    TriggerDNSLookupDone(error);
}

void TCustomWSocket::CancelDnsLookup() {
    if (dnsLookupHandle_ == 0) return;
    ws::HANDLE handle = dnsLookupHandle_;
    dnsLookupHandle_ = 0;
    if (WSocket_WSACancelAsyncRequest(handle) != 0) return SocketError("WSACancelAsyncRequest");
    if (!released_) TriggerDNSLookupDone(WSAEINTR);
}

std::string TCustomWSocket::GetPeerAddr() {
    if (state_ != wsConnected) return "error";
    sockaddr_in peer{};
    int len = sizeof peer;
    if (WSocket_getpeername(hSocket_, reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
        SocketError("GetPeerName");
        return "error";
    }
    return WSocket_inet_ntoa(peer.sin_addr);
}

std::string TCustomWSocket::GetPeerPort() {
    if (state_ != wsConnected) return "error";
    sockaddr_in peer{};
    int len = sizeof peer;
    if (WSocket_getpeername(hSocket_, reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
        SocketError("GetPeerPort");
        return "error";
    }
    return std::to_string(WSocket_ntohs(peer.sin_port));
}

int TCustomWSocket::GetPeerName(sockaddr_in& name, int length) {
    if (state_ != wsConnected) return -1;
    return WSocket_getpeername(hSocket_, reinterpret_cast<sockaddr*>(&name), &length);
}

int TCustomWSocket::GetSockName(sockaddr_in& name, int& length) {
    return WSocket_getsockname(hSocket_, reinterpret_cast<sockaddr*>(&name), &length);
}

std::string TCustomWSocket::GetXAddr() {
    if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
    sockaddr_in local{};
    int len = sizeof local;
    if (GetSockName(local, len) != 0) return "error";
    return WSocket_inet_ntoa(local.sin_addr);
}

std::string TCustomWSocket::GetXPort() {
    if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
    sockaddr_in local{};
    int len = sizeof local;
    if (GetSockName(local, len) != 0) return "error";
    return std::to_string(WSocket_ntohs(local.sin_port));
}

} // namespace net
