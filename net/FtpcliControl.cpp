// The FTP client's control connection: opening it, sending commands, splitting replies into lines,
// the standard reply step, the end of a request, the close, Abort and usage errors.
#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "net/Ftpcli.h"
#include "net/LoopbackGuard.h"
#include "platform/Strings.h"

namespace net {

using platform::Format;

namespace {

std::string SocketErrorResponse(int error) {
    return Format("500 %s (Winsock error #%d)", WSocketErrorDesc(error).c_str(), error);
}

} // namespace

TCustomFtpCli::TCustomFtpCli(platform::TComponent* owner, const std::string& name)
    : TComponent(owner, name), control_(std::make_unique<TSocksWSocket>()),
      listener_(std::make_unique<TWSocket>()), data_(std::make_unique<TSocksWSocket>()),
      closeTimer_(std::make_unique<platform::TTimer>()) {
    control_->OnSessionConnected = [this](TCustomWSocket*, uint16_t error) { ControlConnected(error); };
    control_->OnDataAvailable = [this](TCustomWSocket*, uint16_t error) { ControlDataAvailable(error); };
    control_->OnSessionClosed = [this](TCustomWSocket*, uint16_t error) { ControlClosed(error); };
    control_->OnDnsLookupDone = [this](TCustomWSocket*, uint16_t error) { ControlLookupDone(error); };
    control_->OnSocksError = [this](TCustomWSocket*, int, const std::string& message) {
        socksError_ = message;
    };
    closeTimer_->SetEnabled(false);
    closeTimer_->SetInterval(100);
}

TCustomFtpCli::~TCustomFtpCli() {
    requestDone_ = true; // whatever the sockets report on their way out is ignored
    for (TWSocket* socket : std::initializer_list<TWSocket*>{control_.get(), listener_.get(), data_.get()}) {
        socket->OnSessionConnected = nullptr;
        socket->OnSessionAvailable = nullptr;
        socket->OnDataAvailable = nullptr;
        socket->OnDataSent = nullptr;
        socket->OnSessionClosed = nullptr;
        socket->OnDnsLookupDone = nullptr;
    }
    control_->OnSocksError = nullptr;
    closeTimer_->OnTimer = nullptr;
    DestroyLocalStream();
}

// ---- settings ----

void TCustomFtpCli::SetLocalFileName(const std::string& name) {
    localFileName_ = name;
    if (!name.empty()) callerStream_ = nullptr;
}

void TCustomFtpCli::SetLocalStream(platform::TStream* stream) {
    callerStream_ = stream;
    localFileName_.clear();
}

void TCustomFtpCli::SetConnectionType(TFtpConnectionType type) {
    if (connected_) return HandleError("FTP component connected");
    switch (type) {
    case ftpProxy:
    case ftpSocks4:
    case ftpSocks4A:
    case ftpSocks5:
        connectionType_ = type;
        passive_ = true;
        break;
    default:
        connectionType_ = ftpDirect;
        break;
    }
}

void TCustomFtpCli::UseSocks(TSocksWSocket& socket) {
    if (connectionType_ != ftpSocks4 && connectionType_ != ftpSocks4A && connectionType_ != ftpSocks5)
        return socket.SetSocksServer("");
    socket.SetSocksLevel(connectionType_ == ftpSocks4 ? "4" : connectionType_ == ftpSocks4A ? "4A" : "5");
    socket.SetSocksServer(SocksServer);
    socket.SetSocksPort(SocksPort);
    socket.SocksUsercode = SocksUserCode;
    socket.SocksPassword = SocksPassword;
    socket.SocksAuthentication = SocksUserCode.empty() ? socksNoAuthentication : socksAuthenticateUsercode;
}

void TCustomFtpCli::SetPassive(bool passive) {
    passive_ = passive || connectionType_ != ftpDirect;
}

// ---- output to the application ----

void TCustomFtpCli::TriggerDisplay(const std::string& message) {
    if (!OnDisplay) return;
    std::string text = message;
    OnDisplay(this, text);
}

void TCustomFtpCli::TriggerDisplayFile(const std::string& message) {
    if (!OnDisplayFile) return;
    std::string text = message;
    OnDisplayFile(this, text);
}

void TCustomFtpCli::TriggerReadyToTransmit(bool& cancel) {
    if (OnReadyToTransmit) OnReadyToTransmit(this, cancel);
}

void TCustomFtpCli::HandleBackGroundException(const std::exception& e) {
    bool canClose = true;
    if (!OnBgException) return;
    try {
        OnBgException(this, e, canClose);
    } catch (...) {
    }
}

void TCustomFtpCli::HandleError(const std::string& message) {
    usageError_ = message;
    if (!RequestRunning()) requestResult_ = ftpUsageError; // a refused start is no success
    if (!OnError) throw FtpException(message);
    std::string text = message;
    OnError(this, text);
}

void TCustomFtpCli::SetErrorMessage() {
    if (errorMessage_.empty()) errorMessage_ = lastResponse_;
}

void TCustomFtpCli::SetState(TFtpState state) {
    if (state == state_) return;
    state_ = state;
    Activity();
    if (OnStateChange) OnStateChange(this);
}

// ---- commands ----

bool TCustomFtpCli::CheckReady() {
    if (state_ == ftpReady || state_ == ftpInternalReady) return true;
    HandleError("FTP component not ready");
    return false;
}

bool TCustomFtpCli::CheckArgument(const std::string& command) {
    if (!HasCommandBreak(command)) return true;
    HandleError("FTP command argument contains CR, LF or NUL");
    return false;
}

void TCustomFtpCli::StartRequest() {
    requestDone_ = false;
    ++requestsStarted_;
}

void TCustomFtpCli::SendCommand(const std::string& command) {
    std::string line = command;
    if (OnCommand) OnCommand(this, line);
    TriggerDisplay(line.rfind("PASS ", 0) == 0 ? "> PASS ********" : "> " + line);
    if (control_->State() == wsConnected) control_->SendStr(line + "\r\n");
}

void TCustomFtpCli::ExecAsync(TFtpRequest rqType, TFtpFct fct, const std::string& command, const int* okCodes,
                              DoneStep done) {
    if (command != "ABOR" && command != "STAT" && command != "QUIT") {
        if (!CheckReady()) return;
        if (!connected_) return HandleError("FTP component not connected");
    }
    if (!CheckArgument(command)) return;
    if (!highLevel_) requestType_ = rqType;
    StartRequest();
    fctRunning_ = fct;
    okCodes_ = okCodes;
    next_ = ReplyStep::Standard;
    done_ = done;
    errorMessage_.clear();
    requestResult_ = 0;
    SetState(ftpWaitingResponse);
    SendCommand(command);
}

// ---- opening ----

void TCustomFtpCli::OpenAsync() {
    if (!CheckReady()) return;
    if (connected_) return HandleError("FTP component already connected");
    if (!highLevel_) requestType_ = ftpOpenAsync;
    StartRequest();
    fctRunning_ = ftpFctOpen;
    controlBuffer_.clear();
    discardToLineEnd_ = false;
    replies_.Reset();
    requestResult_ = 0;
    errorMessage_.clear();
    dnsResult_.clear();
    control_->MultiThreaded = MultiThreaded;
    SetState(ftpDnsLookup);
    try {
        control_->DnsLookup(connectionType_ == ftpProxy ? ProxyServer : HostName);
    } catch (const std::exception& e) {
        if (state_ == ftpDnsLookup)
            Fail(500, 500, "500 " + platform::ExceptionClassName(e) + ": " + e.what());
    }
}

void TCustomFtpCli::Fail(uint16_t error, int code, const std::string& response) {
    lastResponse_ = response;
    statusCode_ = code;
    requestResult_ = code;
    SetErrorMessage();
    TriggerDisplay("! " + response);
    sequenceNext_ = false;
    TriggerRequestDone(error);
}

void TCustomFtpCli::ControlLookupDone(uint16_t error) {
    if (state_ != ftpDnsLookup || !RequestRunning()) return; // cancelled, or an abort is under way
    if (error != 0) return Fail(error, 500, SocketErrorResponse(error));
    dnsResult_ = control_->DnsResult();
    if (!DestinationAllowed(dnsResult_))
        return Fail(ws::WSAEACCES, 500, "500 " + dnsResult_ + " is outside 127.0.0.0/8 in the test build");
    try {
        control_->SetAddr(dnsResult_);
        control_->SetLocalAddr(LocalAddr);
        control_->SetProto("tcp");
        bool viaProxy = connectionType_ == ftpProxy && !ProxyPort.empty();
        control_->SetPort(viaProxy ? ProxyPort : Port);
        SetState(ftpWaitingBanner);
        socksError_.clear();
        UseSocks(*control_);
        control_->Connect();
        connected_ = true;
    } catch (const std::exception& e) {
        int code = control_->LastError();
        connected_ = false;
        if (code != 0)
            Fail(static_cast<uint16_t>(code), 500, SocketErrorResponse(code));
        else
            Fail(500, 500, "500 " + platform::ExceptionClassName(e) + ": " + e.what());
        if (control_->State() != wsClosed) control_->Close();
        SetState(ftpReady);
    }
}

void TCustomFtpCli::ControlConnected(uint16_t error) {
    if (error == 0 || state_ != ftpWaitingBanner) return; // the banner is awaited
    connected_ = false; // the socket closes itself next; no session was opened
    if (!socksError_.empty())
        return Fail(error, 500, Format("500 %s (Socks error #%d)", socksError_.c_str(), error));
    Fail(error, 500, SocketErrorResponse(error));
}

// ---- replies ----

void TCustomFtpCli::ControlDataAvailable(uint16_t error) {
    char buffer[kFtpReplyLineMax];
    int room = kFtpReplyLineMax - static_cast<int>(controlBuffer_.size());
    int count = control_->Receive(buffer, room);
    if (requestType_ == ftpRqAbort) return;
    if (count == 0) {
        control_->Close();
        return;
    }
    if (count < 0) return;
    controlBuffer_.append(buffer, static_cast<size_t>(count));
    bool acceptLF = (Options & ftpAcceptLF) != 0;
    while (control_->State() != wsClosed) {
        if (discardToLineEnd_) {
            size_t lf = controlBuffer_.find('\n');
            if (lf == std::string::npos) {
                controlBuffer_.clear();
                return;
            }
            controlBuffer_.erase(0, lf + 1);
            discardToLineEnd_ = false;
        }
        size_t end = acceptLF ? controlBuffer_.find('\n') : controlBuffer_.find("\r\n");
        if (end == std::string::npos) {
            if (controlBuffer_.size() >= static_cast<size_t>(kFtpReplyLineMax)) LineTooLong();
            return;
        }
        std::string line = controlBuffer_.substr(0, end);
        controlBuffer_.erase(0, end + (acceptLF ? 1 : 2));
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        ControlLine(line, error);
    }
}

void TCustomFtpCli::LineTooLong() {
    controlBuffer_.clear();
    discardToLineEnd_ = true;
    replies_.Reset();
    const std::string response = Format("500 Reply line longer than %d bytes", kFtpReplyLineMax);
    if (state_ == ftpWaitingBanner) {
        lastResponse_ = response;
        statusCode_ = requestResult_ = 500;
        SetErrorMessage();
        TriggerDisplay("! " + response);
        control_->Close(); // the close ends the request
    } else if (state_ == ftpWaitingResponse) {
        next_ = ReplyStep::None;
        Fail(500, 500, response);
    } else {
        TriggerDisplay("! " + response);
    }
}

void TCustomFtpCli::ControlLine(const std::string& line, uint16_t error) {
    lastResponse_ = line;
    if (OnResponse) OnResponse(this);
    Activity();
    switch (state_) {
    case ftpWaitingBanner:
        return BannerLine(line, error);
    case ftpWaitingResponse:
        if (!replies_.IsFinal(line)) return CheckReplyLength();
        statusCode_ = replies_.Code();
        return ReplyLine(line);
    default:
        if (!replies_.IsFinal(line) && replies_.TooLong()) replies_.Reset(); // chatter while idle
        TriggerDisplay(line);
        return;
    }
}

// A reply that goes on past its bounds ends the request and the session: the server is not answering.
void TCustomFtpCli::CheckReplyLength() {
    if (!replies_.TooLong()) return;
    replies_.Reset();
    lastResponse_ =
        Format("500 Reply longer than %d lines or %d bytes", kFtpReplyMaxLines, kFtpReplyMaxBytes);
    statusCode_ = requestResult_ = 500;
    SetErrorMessage();
    TriggerDisplay("! " + lastResponse_);
    next_ = ReplyStep::None;
    control_->Close(); // the close ends the request with 500
}

void TCustomFtpCli::BannerLine(const std::string& line, uint16_t error) {
    TriggerDisplay("< " + line);
    if (!replies_.IsFinal(line)) return CheckReplyLength();
    statusCode_ = replies_.Code();
    if (statusCode_ != 220) {
        SetErrorMessage();
        requestResult_ = statusCode_;
        control_->Close(); // the close ends the request with the banner's code
        return;
    }
    SetState(ftpConnected);
    if (OnSessionConnected) OnSessionConnected(this, error);
    TriggerRequestDone(0);
}

void TCustomFtpCli::ReplyLine(const std::string& line) {
    switch (next_) {
    case ReplyStep::Standard:
        return StandardReply(line);
    case ReplyStep::TransferFirst:
    case ReplyStep::TransferFinal:
        return TransferReply(line);
    case ReplyStep::None:
        TriggerDisplay("! Program error: FNext is nil");
        return;
    }
}

void TCustomFtpCli::StandardReply(const std::string& line) {
    TriggerDisplay("< " + line);
    int code = statusCode_;
    bool ok = code < 500;
    if (okCodes_ != nullptr && okCodes_[0] != 0) {
        ok = false;
        for (const int* accepted = okCodes_; *accepted != 0; ++accepted)
            if (*accepted == code) ok = true;
    }
    if (ok) {
        requestResult_ = 0;
    } else {
        requestResult_ = code;
        SetErrorMessage();
    }
    if (passive_ && code == 227) passiveReply_ = line;
    if (fctRunning_ == ftpFctUser) userReply_ = code;
    if (ok && fctRunning_ == ftpFctSize)
        sizeResult_ = std::strtoll(line.c_str() + std::min<size_t>(3, line.size()), nullptr, 10);
    if (ok && (fctRunning_ == ftpFctCwd || fctRunning_ == ftpFctMkd || fctRunning_ == ftpFctPwd ||
               fctRunning_ == ftpFctCDup))
        dirResult_ = QuotedDirectory(line);
    next_ = ReplyStep::None;
    if (done_ == DoneStep::CloseControl) {
        done_ = DoneStep::None;
        control_->Close(); // QUIT: the close ends the request
        return;
    }
    TriggerRequestDone(static_cast<uint16_t>(requestResult_));
}

// ---- the end of a request ----

void TCustomFtpCli::TriggerRequestDone(uint16_t error) {
    if (requestDone_) return;
    requestDone_ = true;
    if (error == 0 && sequenceNext_) {
        if (state_ != ftpAbort) SetState(ftpInternalReady);
        return NextStep();
    }
    SetState(ftpReady);
    transferRunning_ = false;
    if (!(error == 0 && fctRunning_ == ftpFctPort))
        CloseDataConnection(); // PORT's listener waits for the transfer
    DestroyLocalStream();
    if (highLevel_ && savedStatus_ != -1) {
        lastResponse_ = savedLastResponse_;
        statusCode_ = savedStatus_;
    }
    highLevel_ = sequenceNext_ = false;
    steps_ = 0;
    savedStatus_ = -1;
    next_ = ReplyStep::None;
    done_ = DoneStep::None;
    platform::PostMessage(Handle(), kMsgRequestDone, static_cast<platform::WPARAM>(requestType_), error);
}

void TCustomFtpCli::ControlClosed(uint16_t error) {
    controlBuffer_.clear();
    discardToLineEnd_ = false;
    replies_.Reset();
    if (connected_) {
        connected_ = false;
        if (state_ != ftpAbort) SetState(ftpNotConnected);
        if (OnSessionClosed) OnSessionClosed(this, error);
    }
    if (state_ == ftpAbort) return; // AbortAsync ends the request
    SetState(ftpInternalReady);
    if (requestType_ == ftpRqAbort || !RequestRunning()) return;
    if (requestResult_ == 0 && fctRunning_ != ftpFctQuit) {
        // Closed before the reply came: no success.
        requestResult_ = 426;
        if (errorMessage_.empty()) errorMessage_ = "426 Connection closed by the server";
    }
    TriggerRequestDone(static_cast<uint16_t>(requestResult_));
}

void TCustomFtpCli::AbortAsync() {
    bool lookupPending = state_ == ftpDnsLookup;
    SetState(ftpAbort);
    DestroyLocalStream();
    try {
        if (lookupPending) control_->CancelDnsLookup();
        if (control_->State() != wsClosed) control_->Close();
    } catch (const std::exception&) {
    }
    CloseDataConnection();
    DestroyLocalStream();
    connected_ = false;
    if (RequestRunning()) {
        if (requestResult_ == 0) {
            requestResult_ = 426;
            if (errorMessage_.empty()) errorMessage_ = "426 Operation aborted.";
        }
        sequenceNext_ = false;
        TriggerRequestDone(static_cast<uint16_t>(requestResult_));
    }
    SetState(ftpReady);
}

void TCustomFtpCli::TimedOut() {
    if (!RequestRunning()) return;
    errorMessage_ = "426 Timeout";
    statusCode_ = requestResult_ = 426;
    TriggerDisplay("! " + errorMessage_);
    AbortAsync();
}

void TCustomFtpCli::Dispatch(platform::TMessage& message) {
    try {
        switch (message.Msg) {
        case kMsgRequestDone:
            if (OnRequestDone)
                OnRequestDone(this, static_cast<TFtpRequest>(message.WParam),
                              static_cast<uint16_t>(message.LParam));
            break;
        case kMsgStartSending:
            if (message.WParam == transfer_) StartSending();
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

} // namespace net
