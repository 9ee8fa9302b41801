#pragma once
// The event-driven socket: a non-blocking TCP or UDP endpoint whose results arrive as event handler
// calls on the loop's thread, through select notifications posted to the socket's own window handle.
// TCustomWSocket is the socket with its send chain and receive calls; TCustomLineWSocket adds line
// mode; TCustomSyncWSocket adds waits that run the loop; TWSocket is the component that users create.
//
// Lifetime: a socket never frees itself, and is never destroyed inside one of its own event handlers.
// Release only marks it: from then on it raises no event. Whoever owns the socket frees it: at once
// when none of its code can be running, or, from inside one of its handlers, by handing it to
// ReleaseAtTurnEnd, after which the loop frees it at the end of the first turn in which none of its
// code can be on the stack. A server owns its clients: a client's Release asks its server, which hands
// it to the loop so. So no code of the socket has to ask, after calling out, whether it still exists,
// and a socket on the stack or held as a member can be released like any other.
//
// Connect to a host name never waits for the name: the answer comes from the host cache (Winsock.h),
// looked up off the loop's thread. While a first answer is awaited, a TCP Connect stays wsConnecting
// without a handle and goes on when the answer comes (a failed lookup ends it as a failed connect:
// OnSessionConnected(error), then OnSessionClosed); a UDP socket is connected at once and keeps the
// last datagram sent meanwhile, which leaves when the answer comes and is dropped by a close before.
//
// A build with the tests (KORVANE_LOOPBACK_ONLY) connects and sends nowhere outside 127.0.0.0/8: such a
// TCP connect or datagram fails with WSAEACCES.
#include <list>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "net/WinsockLoader.h"
#include "net/WsockBuf.h"
#include "platform/Component.h"
#include "platform/EventLoop.h"
#include "platform/StringList.h"

namespace net {

using platform::TMessage;
using platform::WM_USER;

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};
enum TWSocketOption : unsigned { wsoNoReceiveLoop = 1, wsoTcpNoDelay = 2 };
using TWSocketOptions = unsigned;
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

inline constexpr uint32_t WM_ASYNCSELECT = WM_USER + 1;
inline constexpr uint32_t WM_ASYNCGETHOSTBYNAME = WM_USER + 2;
inline constexpr uint32_t WM_ASYNCGETHOSTBYADDR = WM_USER + 3;
inline constexpr uint32_t WM_CLOSE_DELAYED = WM_USER + 4;
inline constexpr uint32_t WM_HOST_KNOWN = WM_USER + 6; // the host cache answered; WParam = lookup tag
inline constexpr uint32_t WM_TRIGGER_DATA_AVAILABLE = WM_USER + 20;
inline constexpr uint32_t WM_CLIENT_CLOSED = WM_USER + 30;
inline constexpr uint32_t WM_HTTP_DONE = WM_USER + 40;

inline constexpr int kSendChunkSize = 1460;
// What one FD_READ takes from a connection before the loop's other events have their turn.
inline constexpr uint64_t kReceiveTurnBytes = 65536;
inline constexpr int kMaxDatagram = 65507;
inline constexpr int kWaitTimedOut = 12001;

class TCustomWSocket;
using TSessionEvent = std::function<void(TCustomWSocket* sender, uint16_t error)>;
using TSendDataEvent = std::function<void(TCustomWSocket* sender, int bytesSent)>;
using TChangeStateEvent =
    std::function<void(TCustomWSocket* sender, TSocketState oldState, TSocketState newState)>;
using TNotifyEvent = std::function<void(TCustomWSocket* sender)>;
using TBgExceptionEvent =
    std::function<void(TCustomWSocket* sender, const std::exception& e, bool& canClose)>;

class TCustomWSocket : public platform::TComponent, public platform::MessageTarget {
public:
    explicit TCustomWSocket(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TCustomWSocket() override;

    // Properties.
    const std::string& Addr() const { return addrStr_; }
    void SetAddr(const std::string& value);
    const std::string& Port() const { return portStr_; }
    void SetPort(const std::string& value) { SetRemotePort(value); }
    virtual void SetRemotePort(const std::string& value);
    const std::string& Proto() const { return protoStr_; }
    virtual void SetProto(const std::string& value);
    const std::string& LocalAddr() const { return localAddr_; }
    void SetLocalAddr(const std::string& value);
    const std::string& LocalPort() const { return localPortStr_; }
    void SetLocalPort(const std::string& value);
    std::string PeerAddr() { return GetPeerAddr(); }
    std::string PeerPort() { return GetPeerPort(); }
    const std::string& DnsResult() const { return dnsResult_; }
    const platform::TStringList& DnsResultList() const { return dnsResultList_; }
    TSocketState State() const { return state_; }
    int ReadCount() const { return readCount_; }
    int RcvdCount() { return GetRcvdCount(); }
    int LastError() const { return lastError_; }
    SOCKET HSocket() const { return hSocket_; }
    bool AllSent() const { return allSent_; }
    bool Paused() const { return paused_; }
    // Released (or being destroyed): the socket raises no event any more.
    bool Released() const { return released_; }
    // CloseDelayed was called: the close is on its way, input is no longer wanted.
    bool Closing() const { return closing_; }
    // Connect waits for the answer of the host cache (TCP), or a datagram does (UDP).
    bool AwaitingHost() const { return lookupConnect_ || addrPending_; }
    bool MultiThreaded = false;
    bool MultiCast = false;
    std::string MultiCastAddrStr;
    int MultiCastIpTTL = 1;
    bool ReuseAddr = false;
    // Connections the kernel queues for a TCP listener before Accept; beyond it a connecting peer's
    // handshake is dropped and retried a second later.
    int ListenBacklog = 5;
    // A TCP listener whose clients speak first may leave a connection with the system until its first
    // bytes come, or until this many seconds have passed (the system rounds up to its own steps: 1, 3,
    // 7 s...): 0, the default, takes each as soon as its handshake ends. Never for a listener whose side
    // speaks first (a banner), whose clients would wait out the deferral for nothing.
    int DeferAcceptSeconds = 0;
    // Why the last Listen could not defer as asked (a WSAE code; 0: it defers, or was not asked to). The
    // listener works all the same, taking each connection at once.
    int DeferAcceptError() const { return deferAcceptError_; }
    TWSocketOptions ComponentOptions = 0;
    TSocketSendFlags SendFlags() const;
    void SetSendFlags(TSocketSendFlags flags);
    TSocketLingerOnOff LingerOnOff = wsLingerOn;
    int LingerTimeout = 0;

    // Events.
    TSessionEvent OnSessionAvailable, OnSessionConnected, OnSessionClosed, OnDataAvailable, OnDataSent,
        OnDnsLookupDone;
    TSendDataEvent OnSendData;
    TChangeStateEvent OnChangeState;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;

    // Operations.
    virtual void Connect();
    virtual void Listen();
    virtual SOCKET Accept();
    virtual void Dup(SOCKET handle);
    virtual void Close();
    virtual void CloseDelayed();
    // From now on the socket raises no event. It frees nothing: its owner does (see ReleaseAtTurnEnd).
    virtual void Release();
    virtual void Abort();
    virtual void Shutdown(int how);
    virtual void Pause();
    virtual void Resume();
    virtual void Flush();
    virtual void WaitForClose();
    virtual void DnsLookup(const std::string& hostName);
    virtual void ReverseDnsLookup(const std::string& hostAddr);
    virtual void CancelDnsLookup();
    virtual std::string GetPeerAddr();
    virtual std::string GetPeerPort();
    virtual int GetPeerName(sockaddr_in& name, int length);
    virtual std::string GetXAddr();
    virtual std::string GetXPort();
    virtual int GetSockName(sockaddr_in& name, int& length);
    virtual void MessagePump();
    // Makes the socket's window anew on the calling (the loop's) thread: the select notifications are
    // disarmed, the window replaced, and the notifications armed again on the new one. Nothing in
    // flight is lost: messages queued for the old window go to the new one, and an awaited host
    // answer or name lookup is asked for again on it.
    virtual void ThreadAttach();
    // A seconds/microseconds pair: set when either part is not zero; cleared; compared for equality
    // (isEqual) or inequality.
    virtual bool TimerIsSet(const timeval& tv) const;
    virtual void TimerClear(timeval& tv) const;
    virtual bool TimerCmp(const timeval& a, const timeval& b, bool isEqual) const;
    bool ProcessMessage();
    void ProcessMessages();
    void MessageLoop();

    // Sending and receiving.
    virtual int Send(const void* data, int length);
    virtual int SendStr(const std::string& text);
    void SendText(const std::string& text) { SendStr(text); }
    virtual int SendTo(const sockaddr_in& dest, int destLen, const void* data, int length);
    void PutDataInSendBuffer(const void* data, int length);
    void PutStringInSendBuffer(const std::string& text) {
        PutDataInSendBuffer(text.data(), static_cast<int>(text.size()));
    }
    virtual int Receive(void* buffer, int length);
    virtual std::string ReceiveStr();
    virtual int ReceiveFrom(void* buffer, int length, sockaddr_in& from, int& fromLen);
    int PeekData(void* buffer, int length);
    virtual int GetRcvdCount();
    void DeleteBufferedData();
    int BufferedChunks() const { return static_cast<int>(bufferList_.size()); }

    void Dispatch(TMessage& message) override { WndProc(message); }

protected:
    virtual void WndProc(TMessage& message);
    virtual void AssignDefaultValue();
    virtual void InternalClose(bool shut, uint16_t error);
    virtual void BindSocket();
    virtual int RealSend(const void* data, int length);
    // While set, a stream's sends tell the system that more follows (MSG_MORE): a last piece smaller
    // than a segment waits for the close or shutdown that comes next, and leaves with its end mark in
    // one segment. Only for bytes that a close or shutdown follows at once.
    void SetMoreFollows(bool more) { moreFollows_ = more; }
    virtual void RaiseException(const std::string& message);
    // RaiseException with a printf-formatted text.
    virtual void RaiseExceptionFmt(const char* format, ...) __attribute__((format(printf, 2, 3)));
    virtual void HandleBackGroundException(const std::exception& e);
    // False when no handler took the data (the receive loop then discards it).
    virtual bool TriggerDataAvailable(uint16_t error);
    virtual void TriggerSessionAvailable(uint16_t error);
    virtual void TriggerSessionConnected(uint16_t error);
    virtual void TriggerSessionClosed(uint16_t error);
    virtual void TriggerDataSent(uint16_t error);
    virtual void TriggerChangeState(TSocketState oldState, TSocketState newState);
    virtual void TriggerDNSLookupDone(uint16_t error);
    virtual void TriggerError();
    virtual int DoRecv(void* buffer, int length, int flags);
    virtual int DoRecvFrom(void* buffer, int length, int flags, sockaddr_in& from, int& fromLen);

    void ChangeState(TSocketState newState);
    void SocketError(const std::string& operation);
    void TryToSend();
    // Sends what the network takes now, without the posted FD_WRITE of Send, and queues the rest: for
    // a sender that goes on by itself while the network keeps taking (true when everything went). With
    // nothing queued before them the bytes go out straight from the caller's buffer, in one send.
    bool QueueAndTry(const void* data, int length);
    // One send with the failure rules of the send chain: the count sent, 0 when nothing went.
    int SendNow(const void* data, int length);
    // The receive loop of FD_READ and FD_CLOSE: the owner is called again while bytes wait. On FD_READ
    // it hands over to the other events of the loop after a turn's share of bytes (the rest brings the
    // next FD_READ), so that a peer that keeps sending cannot hold up every other socket.
    void ReceiveLoop(uint16_t error, TWSocketOptions options, bool bounded);
    // Runs the loop, waiting in poll() between turns, until done() holds, the time-out (ms from now; 0 =
    // none) passes or the program terminates. True when done() held.
    bool PumpUntil(const std::function<bool()>& done, uint32_t timeoutMs);
    bool Terminated() const;
    // The next Connect goes to this address and port (both in network order) while Addr and Port keep
    // their texts: how a proxy level reaches its server. Cleared by a close, or explicitly when the
    // Connect failed before it opened a socket.
    void SetConnectTarget(uint32_t address, uint16_t port) {
        sin_.sin_addr.s_addr = address;
        sin_.sin_port = port;
        addrResolved_ = portResolved_ = true;
    }
    void ClearConnectTarget() { addrResolved_ = portResolved_ = false; }

    SOCKET hSocket_ = ws::INVALID_SOCKET;
    sockaddr_in sin_{};
    TSocketState state_ = wsClosed;
    int lastError_ = 0;
    int sockType_ = 1;
    bool closeInvoked_ = false;
    bool closing_ = false;
    bool released_ = false;
    bool allSent_ = true;
    bool bufferFilled_ = false;
    bool shortRead_ = false; // the last read from the network got less than it asked for
    bool sendShut_ = false;  // the sending side of hSocket_ is shut
    unsigned recvCalls_ = 0; // network reads, to see whether a handler consumed anything
    uint64_t recvBytes_ = 0; // bytes taken from the network

private:
    void HandleSelect(TMessage& message);
    void HandleLookupReply(TMessage& message, bool reverse);
    // True when the remote address is a name the host cache is still looking up (only when mayWait;
    // otherwise that raises as a failed lookup does).
    bool ResolveForConnect(bool withLocalPort, bool mayWait);
    // Connect from the new handle on, once the remote address is known (or awaited, for UDP).
    void OpenAndConnect();
    void HandleHostKnown(TMessage& message);
    void FailAwaitedConnect(int code);
    void AllowBroadcast();
    void ApplyLinger();
    // Asks the system to defer the listener's connections (DeferAcceptSeconds); a refusal is noted only.
    void DeferAccept();
    void ArmSelect(long mask, const char* failure);
    void SetOption(int level, int name, int value, const char* failure);

    int deferAcceptError_ = 0;
    bool lookupConnect_ = false; // a TCP Connect waits for the host cache
    bool addrPending_ = false;   // a UDP socket waits for the host cache
    uint32_t lookupTag_ = 0;     // tells the current wait's WM_HOST_KNOWN from older ones
    std::string pendingDatagram_;
    bool hasPendingDatagram_ = false;
    ws::HANDLE dnsLookupHandle_ = 0;
    std::string dnsLookupText_; // what the pending lookup asks for
    bool dnsLookupReverse_ = false;
    bool earlyReply_ = false;
    TMessage earlyMessage_{};
    std::string addrStr_;
    bool addrResolved_ = false, addrAssigned_ = false;
    int proto_ = 6;
    bool protoAssigned_ = true, protoResolved_ = false, localPortResolved_ = false;
    std::string protoStr_ = "tcp";
    std::string portStr_;
    bool portAssigned_ = false, portResolved_ = false;
    uint16_t portNum_ = 0;
    std::string localPortStr_ = "0";
    uint16_t localPortNum_ = 0;
    std::string localAddr_ = "0.0.0.0";
    int readCount_ = 0;
    bool paused_ = false;
    long selectEvent_ = 0;
    int sendFlags_ = 0;
    bool moreFollows_ = false;
    std::string dnsResult_;
    platform::TStringList dnsResultList_;
    // The send chain: a list, which takes no memory while empty (a server holds thousands of sockets
    // that have nothing to send).
    std::list<std::unique_ptr<TBuffer>> bufferList_;
};

// Line mode: bytes are collected until LineEnd, and OnDataAvailable is raised once per line, during
// which Receive and ReceiveStr return exactly that line with its line end. The collected bytes are
// consumed from a read offset, never erased from the front line by line; a read from the network takes
// at most what the line limit still leaves room for; no line is delivered once CloseDelayed was called.
class TCustomLineWSocket : public TCustomWSocket {
public:
    using TCustomWSocket::TCustomWSocket;
    ~TCustomLineWSocket() override;

    std::string LineEnd = "\r\n";
    bool LineMode() const { return lineMode_; }
    virtual void SetLineMode(bool value);
    int LineLength() const { return lineLength_; }
    int LineLimit = 65536;
    bool LineEcho = false;
    bool LineEdit = false;
    bool LineReceived() const { return lineReceived_; }
    std::function<void(TCustomWSocket* sender, int count, bool& clearData)> OnLineLimitExceeded;

    int GetRcvdCount() override;
    // Bytes received and not yet delivered (the line being delivered included).
    int BufferedCount() const { return static_cast<int>(buffer_.size() - readPos_); }

protected:
    void WndProc(TMessage& message) override;
    int DoRecv(void* buffer, int length, int flags) override;
    bool TriggerDataAvailable(uint16_t error) override;
    void TriggerSessionClosed(uint16_t error) override;
    virtual void TriggerLineLimitExceeded(int count, bool& clearData);
    virtual void EditLine(std::string& fresh);
    // Delivers the pending line, then every complete line in the buffer; checks the line limit.
    void DeliverLines(size_t searchFrom);
    void DeliverCurrentLine();
    bool Delivering() const { return lineMode_ && !closing_ && !released_; }
    // Drops `count` bytes at the read offset.
    void Consume(size_t count);
    // Takes every undelivered byte out of the buffer.
    std::string TakeBuffered();

    std::string buffer_; // bytes received; those before readPos_ are delivered
    size_t readPos_ = 0; // the first undelivered byte; the line being delivered starts here
    int lineLength_ = 0; // what is left of the line being delivered
    bool lineMode_ = false;
    bool lineReceived_ = false;
    bool lineClearData_ = false;
    bool discardToLineEnd_ = false; // after a limit clear: the rest of that line is dropped
};

// Waits that run the loop until a flag is set or a time-out passes.
class TCustomSyncWSocket : public TCustomLineWSocket {
public:
    using TCustomLineWSocket::TCustomLineWSocket;

    int TimeoutMs = 0; // 0 = wait without limit
    virtual int WaitUntilReady(const bool& done);
    virtual int Synchronize(const std::function<void()>& proc, bool& done);
    // Reads one line (with its line end) within the time-out: 0 = 60 s, negative = ms, positive = s.
    void ReadLine(int timeout, std::string& text);
};

class TWSocket : public TCustomSyncWSocket {
public:
    using TCustomSyncWSocket::TCustomSyncWSocket;
};

// The owner's way to drop a socket whose code may be running (it is called from one of the socket's
// handlers, or from something such a handler called): the socket is released and taken from its
// component owner, and the loop frees it at the end of the turn, once none of its code is on the stack.
void ReleaseAtTurnEnd(std::unique_ptr<TCustomWSocket> socket);

} // namespace net
