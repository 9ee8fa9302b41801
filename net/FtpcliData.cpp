// The FTP client's data connection: PORT and PASV, sending a file with STOR or APPE, receiving with
// RETR, LIST or NLST, progress, the end of a transfer and its statistics.
#include "net/Ftpcli.h"
#include "platform/Clock.h"
#include "platform/Strings.h"

namespace net {

using platform::Format;

namespace {

const int kPortCodes[] = {200, 227, 0};

// The dotted address of an accepted connection's peer.
std::string PeerOf(SOCKET handle) {
    sockaddr_in peer{};
    int length = sizeof peer;
    if (WSocket_getpeername(handle, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return {};
    return WSocket_inet_ntoa(peer.sin_addr);
}

void ClearEvents(TWSocket& socket) {
    socket.OnSessionAvailable = nullptr;
    socket.OnSessionConnected = nullptr;
    socket.OnSessionClosed = nullptr;
    socket.OnDataAvailable = nullptr;
    socket.OnDataSent = nullptr;
}

} // namespace

// ---- streams ----

platform::TStream* TCustomFtpCli::Stream() const {
    if (callerStream_ != nullptr) return callerStream_;
    return ownStream_.get();
}

void TCustomFtpCli::DestroyLocalStream() {
    ownStream_.reset(); // a caller's stream stays the caller's
}

bool TCustomFtpCli::OpenLocalStream(bool upload) {
    if (callerStream_ != nullptr) return true;
    platform::TFileStream::Mode mode = upload         ? platform::TFileStream::Mode::Read
                                       : ResumeAt > 0 ? platform::TFileStream::Mode::Update
                                                      : platform::TFileStream::Mode::Create;
    ownStream_ = platform::TFileStream::Open(localFileName_, mode);
    return ownStream_ != nullptr;
}

// ---- the data connection ----

void TCustomFtpCli::PrepareDataSocket() {
    closeTimer_->SetEnabled(false);
    ClearEvents(*listener_);
    ClearEvents(*data_);
    if (listener_->State() != wsClosed) listener_->Close();
    if (data_->State() != wsClosed) data_->Close();
    listener_->MultiThreaded = data_->MultiThreaded = MultiThreaded;
}

void TCustomFtpCli::CloseDataConnection() {
    closeTimer_->SetEnabled(false);
    if (listener_->State() != wsClosed) listener_->Close();
    if (data_->State() != wsClosed) data_->Close(); // its close event finds the transfer ended or failed
}

std::string TCustomFtpCli::ControlPeer() {
    return control_->State() == wsConnected ? control_->GetPeerAddr() : std::string();
}

void TCustomFtpCli::PortAsync() {
    if (!CheckReady()) return;
    if (!connected_) return HandleError("FTP component not connected");
    PrepareDataSocket();
    // A new data connection: the server may connect at once, before the transfer's command.
    ++transfer_;
    transferRunning_ = dataOpen_ = dataClosed_ = false;
    std::string command = "PASV";
    if (!passive_) {
        sockaddr_in local{};
        int length = sizeof local;
        control_->GetSockName(local, length);
        // The listener takes connections on the address the server already reaches us at.
        listener_->SetProto("tcp");
        listener_->SetAddr(WSocket_inet_ntoa(local.sin_addr));
        listener_->SetPort("0");
        uint32_t transfer = transfer_;
        listener_->OnSessionAvailable = [this, transfer](TCustomWSocket*, uint16_t error) {
            if (error == 0 && transfer == transfer_) DataAccepted();
        };
        listener_->Listen();
        auto port = static_cast<uint16_t>(platform::StrToIntDef(listener_->GetXPort(), 0));
        if (port == 0) return HandleError("Unable to listen for a data connection");
        command = "PORT " + (ControlPeer() == "127.0.0.1" ? PortArgument(WSocket_inet_addr("127.0.0.1"), port)
                                                          : PortArgument(local.sin_addr.s_addr, port));
    }
    byteCount_ = 0;
    ExecAsync(ftpPortAsync, ftpFctPort, command, kPortCodes);
}

void TCustomFtpCli::ExecPutAsync() {
    ExecTransfer(true, false, ftpPutAsync, "STOR");
}
void TCustomFtpCli::ExecAppendAsync() {
    ExecTransfer(true, true, ftpAppendAsync, "APPE");
}
void TCustomFtpCli::ExecGetAsync() {
    ExecTransfer(false, false, ftpGetAsync, "RETR");
}
void TCustomFtpCli::ExecDirAsync() {
    ExecTransfer(false, false, ftpDirAsync, "LIST");
}
void TCustomFtpCli::ExecLsAsync() {
    ExecTransfer(false, false, ftpLsAsync, "NLST");
}

void TCustomFtpCli::ExecTransfer(bool upload, bool append, TFtpRequest rqType, const char* verb) {
    if (!connected_)
        return HandleError(upload ? "STOR/APPE: not connected" : std::string(verb) + ": not connected");
    bool needsName = callerStream_ == nullptr && (upload || !DisplayFileFlag);
    if (needsName && localFileName_.empty()) return HandleError("LocalFileName empty");
    std::string command = verb;
    if (upload || !HostFileName.empty()) command += " " + HostFileName;
    if (!CheckArgument(command)) return;

    if (!highLevel_) requestType_ = rqType;
    StartRequest();
    fctRunning_ = upload                  ? (append ? ftpFctAppend : ftpFctPut)
                  : rqType == ftpGetAsync ? ftpFctGet
                  : rqType == ftpDirAsync ? ftpFctDir
                                          : ftpFctLs;
    upload_ = upload;
    transferRunning_ = true;
    finalReceived_ = eof_ = commandAccepted_ = sendStarted_ = false;
    if (passive_) dataOpen_ = dataClosed_ = false;
    startTick_ = 0;
    byteCount_ = 0;
    dataError_ = 0;
    requestResult_ = 0;
    errorMessage_.clear();

    if (upload) {
        bool cancel = false;
        TriggerReadyToTransmit(cancel);
        if (cancel) return Fail(426, 426, "426 Transmit cancelled by application");
    }
    if (upload || !DisplayFileFlag) {
        DestroyLocalStream();
        if (!OpenLocalStream(upload)) {
            if (upload) return Fail(426, 426, "426 Unable to open local file " + localFileName_);
            return Fail(550, 550, "Unable to open local file " + localFileName_);
        }
        if (ResumeAt > 0) {
            Stream()->SetPosition(ResumeAt);
            if (ownStream_ != nullptr && ownStream_->Failed())
                return Fail(426, 426, "426 Unable to open local file " + localFileName_);
        }
    }
    SetState(ftpWaitingResponse);
    if (passive_) {
        ConnectPassive(upload);
        if (upload || !RequestRunning()) return; // STOR goes once the data connection is open
    } else if (dataOpen_) {
        BindTransferEvents(upload); // the server connected right after PORT
    } else if (listener_->State() != wsListening) {
        return FailDataConnection("Unable to establish data connection: no PORT was sent");
    }
    next_ = ReplyStep::TransferFirst;
    SendCommand(command);
}

void TCustomFtpCli::FailDataConnection(const std::string& response) {
    DestroyLocalStream();
    Fail(550, 550, response);
}

void TCustomFtpCli::ConnectPassive(bool upload) {
    std::string host;
    uint16_t port = 0;
    if (!ParsePassiveReply(passiveReply_, host, port))
        return FailDataConnection("Unable to establish data connection: bad passive reply \"" +
                                  passiveReply_ + "\"");
    uint32_t transfer = transfer_;
    try {
        data_->SetProto("tcp");
        data_->SetAddr(control_->Addr()); // not the reply's address: the server we already talk to
        data_->SetPort(std::to_string(port));
        data_->SetLocalAddr(LocalAddr);
        data_->OnSessionConnected = [this, upload, transfer](TCustomWSocket*, uint16_t error) {
            if (transfer == transfer_ && RequestRunning()) DataConnected(upload, error);
        };
        data_->LingerOnOff = wsLingerOff;
        data_->LingerTimeout = 0;
        UseSocks(*data_);
        data_->Connect();
    } catch (const std::exception&) {
        int error = data_->LastError();
        if (transfer == transfer_ && RequestRunning())
            DataConnected(upload, error != 0 ? error : ws::WSAECONNREFUSED);
    }
}

void TCustomFtpCli::BindTransferEvents(bool upload) {
    uint32_t transfer = transfer_;
    auto current = [this, transfer] { return transfer == transfer_ && RequestRunning(); };
    data_->OnSessionClosed = [this, current](TCustomWSocket*, uint16_t error) {
        if (current()) DataClosed(error);
    };
    data_->OnDataAvailable = nullptr; // what a server sends on an upload's connection is dropped
    data_->OnDataSent = nullptr;
    if (upload) {
        data_->OnDataSent = [this, current](TCustomWSocket*, uint16_t error) {
            if (current()) DataSent(error);
        };
    } else {
        data_->OnDataAvailable = [this, current](TCustomWSocket*, uint16_t) {
            if (current()) DataReceived();
        };
    }
}

void TCustomFtpCli::DataConnected(bool upload, uint16_t error) {
    if (error != 0) {
        if (data_->State() != wsClosed) data_->Close();
        return FailDataConnection(Format("Unable to establish data connection, error #%d", error));
    }
    BindTransferEvents(upload);
    dataOpen_ = true;
    startTick_ = platform::GetTickCount();
    if (!upload) return;
    next_ = ReplyStep::TransferFirst;
    SendCommand(std::string(fctRunning_ == ftpFctAppend ? "APPE " : "STOR ") + HostFileName);
}

void TCustomFtpCli::DataAccepted() {
    if (dataOpen_) return;
    SOCKET handle = ws::INVALID_SOCKET;
    try {
        handle = listener_->Accept();
    } catch (const std::exception&) {
        return FailDataConnection(
            Format("Unable to establish data connection, error #%d", listener_->LastError()));
    }
    if (handle == ws::INVALID_SOCKET) return;
    std::string peer = PeerOf(handle);
    if (peer != ControlPeer()) {
        // Only the server we talk to may deliver or fetch the file; anyone else is turned away.
        WSocket_closesocket(handle);
        TriggerDisplay("! Data connection from " + (peer.empty() ? std::string("?") : peer) + " refused");
        return;
    }
    listener_->Close();
    if (transferRunning_) {
        BindTransferEvents(upload_);
    } else {
        uint32_t transfer = transfer_;
        data_->OnSessionClosed = [this, transfer](TCustomWSocket*, uint16_t) {
            if (transfer == transfer_) dataClosed_ = true;
        };
    }
    // A graceful close: an abortive one would drop what the kernel has not sent yet.
    data_->LingerOnOff = wsLingerOff;
    data_->LingerTimeout = 10;
    try {
        data_->Dup(handle);
    } catch (const std::exception&) {
        return FailDataConnection(
            Format("Unable to establish data connection, error #%d", data_->LastError()));
    }
    dataOpen_ = true;
    if (!transferRunning_) return;
    if (!upload_) startTick_ = platform::GetTickCount();
    if (upload_ && commandAccepted_ && !sendStarted_)
        platform::PostMessage(Handle(), kMsgStartSending, transfer_);
}

// ---- replies of a transfer ----

// The replies of a transfer: the first (150, 125) lets the data flow; the final one (226, 250) ends
// the transfer once its data connection has closed too. Any other code ends it at once.
void TCustomFtpCli::TransferReply(const std::string& line) {
    TriggerDisplay("< " + line);
    int code = statusCode_;
    bool first = next_ == ReplyStep::TransferFirst;
    bool ok = first ? code == 150 || code == 125 || (!upload_ && code > 150 && code <= 159)
                    : code == 226 || code == 250 || (!upload_ && code == 125);
    if (!ok) {
        SetErrorMessage();
        next_ = ReplyStep::None;
        ResumeAt = 0;
        DestroyLocalStream();
        CloseDataConnection();
        if (!first) TriggerDisplay(upload_ ? "! STOR Failed" : "! RETR/LIST/NLST Failed");
        requestResult_ = code;
        return TriggerRequestDone(static_cast<uint16_t>(code));
    }
    if (!first) {
        finalReceived_ = true;
        return CompletionCheck();
    }
    next_ = ReplyStep::TransferFinal;
    if (!upload_) return;
    commandAccepted_ = true;
    if (passive_) {
        sendStarted_ = true;
        uint32_t transfer = transfer_;
        data_->OnDataSent = [this, transfer](TCustomWSocket*, uint16_t error) {
            if (transfer == transfer_ && RequestRunning()) DataSent(error);
        };
        DataSent(0);
    } else if (dataOpen_ && !sendStarted_) {
        platform::PostMessage(Handle(), kMsgStartSending, transfer_);
    }
}

// ---- moving the data ----

bool TCustomFtpCli::Progress() {
    bool abort = false;
    if (OnProgress) OnProgress(this, byteCount_ + ResumeAt, abort);
    return abort;
}

void TCustomFtpCli::StartSending() {
    if (!RequestRunning() || sendStarted_ || !upload_) return;
    sendStarted_ = true;
    startTick_ = platform::GetTickCount();
    DataSent(0);
}

void TCustomFtpCli::DataSent(uint16_t error) {
    if (Stream() == nullptr || !sendStarted_ || eof_ || dataClosed_) return;
    if (Progress()) return StopTransfer("! Abort requested", 426, "426 Transmit cancelled by application");
    if (error != 0) return StopTransfer(Format("! Error #%d sending data", error), error, {});
    if (!commandAccepted_ || !dataOpen_) return;
    // Blocks go on while the kernel takes each one whole, up to a bound per call: the data-sent
    // event of a block is posted from this handler and, inside a nested pump (a reading pass),
    // held until that pump returns, so one block per event would crawl.
    const uint32_t transfer = transfer_;
    for (int blocks = 0; blocks < kFtpBlocksPerEvent; ++blocks) {
        char buffer[kFtpSendBlock];
        size_t count = Stream()->Read(buffer, sizeof buffer);
        if (ownStream_ != nullptr && ownStream_->Failed())
            return StopTransfer("! Error reading file", 426,
                                "426 Error reading local file " + localFileName_);
        if (count == 0) {
            // The whole file is with the kernel: close a moment later, gracefully.
            eof_ = true;
            closeTimer_->OnTimer = [this, transfer](platform::TTimer*) {
                closeTimer_->SetEnabled(false);
                if (transfer == transfer_ && RequestRunning() && data_->State() != wsClosed) data_->Close();
            };
            closeTimer_->SetEnabled(true);
            return;
        }
        byteCount_ += static_cast<int64_t>(count);
        data_->Send(buffer, static_cast<int>(count));
        if (transfer != transfer_ || !RequestRunning() || dataClosed_ || data_->State() != wsConnected ||
            !data_->AllSent())
            return;
        if (Progress())
            return StopTransfer("! Abort requested", 426, "426 Transmit cancelled by application");
    }
}

void TCustomFtpCli::DataReceived() {
    if (Progress()) return StopTransfer("! Abort requested", 426, "426 Receive cancelled by application");
    char buffer[kFtpReceiveBlock];
    int count = data_->Receive(buffer, sizeof buffer);
    if (count < 0) {
        int error = data_->LastError();
        if (error != ws::WSAEWOULDBLOCK && data_->State() == wsConnected)
            StopTransfer(Format("! Data: Receive error %d", error), static_cast<uint16_t>(error), {});
        return;
    }
    if (count == 0) return;
    byteCount_ += count;
    if (platform::TStream* stream = Stream()) {
        bool written = stream->Write(buffer, static_cast<size_t>(count)) == static_cast<size_t>(count);
        if (!written || (ownStream_ != nullptr && ownStream_->Failed()))
            return StopTransfer("! Error writing local file", 426,
                                "426 Error writing local file " + localFileName_);
    }
    if (DisplayFileFlag) DisplayReceived(buffer, count);
}

// Stops moving data; the transfer then ends with the error once its final reply and the close are in.
void TCustomFtpCli::StopTransfer(const std::string& shown, uint16_t error, const std::string& reason) {
    TriggerDisplay(shown);
    if (errorMessage_.empty()) errorMessage_ = reason.empty() ? shown.substr(2) : reason; // without "! "
    dataError_ = error;
    data_->Close();
}

void TCustomFtpCli::DisplayReceived(const char* data, int count) {
    if (DisplayFileMode == ftpBinary)
        return TriggerDisplayFile(std::string(data, static_cast<size_t>(count)));
    int start = 0;
    for (int i = 0; i <= count; ++i) {
        if (i < count && data[i] != '\r' && data[i] != '\n') continue;
        if (i > start) TriggerDisplayFile(std::string(data + start, static_cast<size_t>(i - start)));
        start = i + 1;
    }
}

void TCustomFtpCli::DataClosed(uint16_t error) {
    if (ownStream_ != nullptr && !ownStream_->Close() && dataError_ == 0) {
        if (errorMessage_.empty()) errorMessage_ = "426 Error writing local file " + localFileName_;
        dataError_ = 426;
    }
    DestroyLocalStream();
    if (upload_ && !eof_ && dataError_ == 0) {
        // The connection ended before the whole file went: no success, whatever the server says next.
        dataError_ = error != 0 ? error : 426;
        if (errorMessage_.empty()) errorMessage_ = "426 Data connection closed before the end of the file";
    }
    if (dataError_ == 0) dataError_ = error;
    dataClosed_ = true;
    CompletionCheck();
}

void TCustomFtpCli::CompletionCheck() {
    if (!finalReceived_ || !dataClosed_ || !RequestRunning()) return;
    TransfertStats();
    ResumeAt = 0;
    requestResult_ = dataError_;
    TriggerRequestDone(dataError_);
}

void TCustomFtpCli::TransfertStats() {
    stopTick_ = platform::GetTickCount();
    TriggerDisplay("! " + TransferStatsText(byteCount_, platform::TicksElapsed(stopTick_, startTick_)));
}

} // namespace net
