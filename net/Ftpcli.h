#pragma once
// An FTP client on the loop's thread: one control connection, one data connection, and a command
// engine driven by the server's replies. Every operation is an asynchronous call (...Async) that
// sends one command or runs a fixed sequence of commands (ConnectAsync = connect, USER, PASS;
// PutAsync = PORT or PASV, STOR; ...); OnRequestDone reports its end once, never inside the call that
// started it. TFtpClient adds one blocking call per operation that waits in the loop until the
// request has ended.
//
// The wire, one request at a time:
//   connect -> 220 banner           USER name -> 331 (PASS follows) or 230 (PASS is skipped)
//   CWD dir -> 200|250|257          TYPE I -> 200                QUIT -> 221, then the client closes
//   active : PORT h1,h2,h3,h4,p1,p2 -> 200 (127,0,0,1 when the server is 127.0.0.1, else our address
//            on the control connection); the server connects to our listener, which takes only a
//            connection from the control connection's peer
//   passive: PASV -> 227 (..,p1,p2): we connect to port p1*256+p2 of the control connection's peer
//            (the address in the reply is not used; parentheses are optional)
//   STOR/APPE name -> 150|125, the file in 1460-byte blocks, a graceful close 100 ms after the last
//   one -> 226|250. RETR/LIST/NLST -> 150|125, the data until the server closes -> 226|250.
// A transfer ends only after both its final reply and the close of its data connection. Replies
// follow RFC 959: after "NNN-" only a line "NNN " ends the reply. A reply line may hold 4095 bytes;
// a longer one fails the request (and the rest of that line is dropped). A reply may hold
// kFtpReplyMaxLines lines and kFtpReplyMaxBytes bytes; a longer one fails the request with 500 and
// closes the session.
//
// Outcome: OnRequestDone(RqType, Error). Error 0 is success; otherwise it is the failing reply's code
// (inside a sequence the first failing step ends it, and QUIT is not sent), 426 (cancelled, a local
// file that cannot be read, a transfer cut short, a silent server, an abort, a control connection
// closed before the reply), 550 (data connection failed), ftpUsageError (an operation refused at a
// later step of a sequence) or the socket's code of a failed lookup or connect (StatusCode 500).
// ErrorMessage holds the reply line (or the client's text) of the first error. A request that sees
// no reply and no data for Timeout seconds ends with 426 and ErrorMessage "426 Timeout"; the control
// connection is then closed.
//
// Usage errors (not ready, not connected, an empty name, CR/LF/NUL in an argument) raise
// FtpException, or go to OnError when that is assigned; the operation then does nothing.
// A build with the tests (KORVANE_LOOPBACK_ONLY) connects nowhere outside 127.0.0.0/8.
// Never destroy the client inside one of its own events.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/FtpReply.h"
#include "net/WsocketSocks.h"
#include "platform/Exceptions.h"
#include "platform/FileStream.h"
#include "platform/MemoryStream.h"
#include "platform/Timer.h"

namespace net {

enum TFtpState {
    ftpNotConnected,
    ftpReady,
    ftpInternalReady,
    ftpDnsLookup,
    ftpConnected,
    ftpAbort,
    ftpInternalAbort,
    ftpWaitingBanner,
    ftpWaitingResponse
};
enum TFtpRequest {
    ftpNone,
    ftpOpenAsync,
    ftpUserAsync,
    ftpPassAsync,
    ftpCwdAsync,
    ftpConnectAsync,
    ftpReceiveAsync,
    ftpDirAsync,
    ftpLsAsync,
    ftpPortAsync,
    ftpGetAsync,
    ftpDirectoryAsync,
    ftpListAsync,
    ftpSystemAsync,
    ftpSystAsync,
    ftpQuitAsync,
    ftpAbortXferAsync,
    ftpSizeAsync,
    ftpPutAsync,
    ftpAppendAsync,
    ftpFileSizeAsync,
    ftpRqAbort,
    ftpMkdAsync,
    ftpRmdAsync,
    ftpRenameAsync,
    ftpDeleAsync,
    ftpRenAsync,
    ftpRenToAsync,
    ftpRenFromAsync,
    ftpDeleteAsync,
    ftpMkdirAsync,
    ftpRmdirAsync,
    ftpPwdAsync,
    ftpQuoteAsync,
    ftpCDupAsync,
    ftpDoQuoteAsync,
    ftpTransmitAsync,
    ftpTypeSetAsync,
    ftpRestAsync,
    ftpRestGetAsync,
    ftpRestartGetAsync,
    ftpRestPutAsync,
    ftpRestartPutAsync
};
enum TFtpFct {
    ftpFctNone,
    ftpFctOpen,
    ftpFctUser,
    ftpFctPass,
    ftpFctCwd,
    ftpFctSize,
    ftpFctMkd,
    ftpFctRmd,
    ftpFctRenFrom,
    ftpFctRenTo,
    ftpFctGet,
    ftpFctDir,
    ftpFctQuit,
    ftpFctSyst,
    ftpFctDele,
    ftpFctPwd,
    ftpFctQuote,
    ftpFctPut,
    ftpFctTypeSet,
    ftpFctRest,
    ftpFctCDup,
    ftpFctLs,
    ftpFctAppend,
    ftpFctPort,
    ftpFctAbortXfer
};
using TFtpFctSet = uint32_t; // bit (1 << fct) per step
// File sharing has no meaning here; the mode is kept as a setting.
enum TFtpShareMode {
    ftpShareCompat,
    ftpShareExclusive,
    ftpShareDenyWrite,
    ftpShareDenyRead,
    ftpShareDenyNone
};
enum TFtpDisplayFileMode { ftpLineByLine, ftpBinary };
enum TFtpConnectionType { ftpDirect, ftpProxy, ftpSocks4, ftpSocks4A, ftpSocks5 };
enum TFtpOption : unsigned { ftpAcceptLF = 1, ftpNoAutoResumeAt = 2 };
using TFtpOptions = unsigned;

// OnRequestDone's Error when a step of a sequence was refused as a usage error (ErrorMessage says why).
inline constexpr uint16_t ftpUsageError = 500;
inline constexpr int kFtpReplyLineMax = 4095;
inline constexpr int kFtpSendBlock = 1460;
// Blocks one data-sent event may send while the kernel takes them whole.
inline constexpr int kFtpBlocksPerEvent = 48;
inline constexpr int kFtpReceiveBlock = 4096;

KORVANE_EXCEPTION_CLASS(FtpException, Exception)

class TCustomFtpCli;
using TFtpTextEvent = std::function<void(TCustomFtpCli* sender, std::string& text)>;
using TFtpNotifyEvent = std::function<void(TCustomFtpCli* sender)>;
using TFtpProgressEvent = std::function<void(TCustomFtpCli* sender, int64_t count, bool& abort)>;
using TFtpSessionEvent = std::function<void(TCustomFtpCli* sender, uint16_t error)>;
using TFtpRequestDoneEvent = std::function<void(TCustomFtpCli* sender, TFtpRequest rqType, uint16_t error)>;
using TFtpReadyToTransmitEvent = std::function<void(TCustomFtpCli* sender, bool& cancel)>;
using TFtpBgExceptionEvent =
    std::function<void(TCustomFtpCli* sender, const std::exception& e, bool& canClose)>;

class TCustomFtpCli : public platform::TComponent, public platform::MessageTarget {
public:
    explicit TCustomFtpCli(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TCustomFtpCli() override;

    // Settings.
    std::string HostName;
    std::string Port = "ftp";
    std::string LocalAddr = "0.0.0.0";
    std::string UserName, PassWord;
    std::string HostDirName; // the folder of CWD
    std::string
        HostFileName; // the remote file of STOR, APPE, RETR, SIZE, MKD, RMD, DELE, RNFR; LIST's argument
    const std::string& LocalFileName() const { return localFileName_; }
    // A non-empty name replaces a stream given by SetLocalStream.
    void SetLocalFileName(const std::string& name);
    platform::TStream* LocalStream() const { return callerStream_; }
    // The caller's stream to send from or receive into; never freed by the client. Empties LocalFileName.
    void SetLocalStream(platform::TStream* stream);
    bool DisplayFileFlag = false; // received data goes to OnDisplayFile
    TFtpDisplayFileMode DisplayFileMode = ftpLineByLine;
    bool Binary() const { return typeChar_ == 'I'; }
    void SetBinary(bool binary) { typeChar_ = binary ? 'I' : 'A'; }
    TFtpShareMode ShareMode = ftpShareExclusive;
    TFtpOptions Options = ftpAcceptLF;
    TFtpConnectionType ConnectionType() const { return connectionType_; }
    // Refused while connected. ftpProxy and the SOCKS types force passive mode; with a SOCKS type both
    // connections go through SocksServer:SocksPort, authenticated when SocksUserCode is not empty.
    void SetConnectionType(TFtpConnectionType type);
    std::string ProxyServer;
    std::string ProxyPort = "ftp";
    std::string SocksServer, SocksPort, SocksUserCode, SocksPassword;
    bool Passive() const { return passive_; }
    // Active mode can be chosen only with ftpDirect.
    void SetPassive(bool passive);
    int64_t ResumeAt = 0;
    bool MultiThreaded = false;

    // Events.
    TFtpTextEvent OnDisplay, OnDisplayFile, OnCommand, OnError;
    TFtpNotifyEvent OnResponse, OnStateChange;
    TFtpProgressEvent OnProgress;
    TFtpSessionEvent OnSessionConnected, OnSessionClosed;
    TFtpRequestDoneEvent OnRequestDone;
    TFtpReadyToTransmitEvent OnReadyToTransmit;
    TFtpBgExceptionEvent OnBgException;

    // Results.
    bool Connected() const { return connected_; }
    const std::string& ErrorMessage() const { return errorMessage_; }
    int StatusCode() const { return statusCode_; }
    const std::string& LastResponse() const { return lastResponse_; }
    TFtpState State() const { return state_; }
    TFtpRequest RequestType() const { return requestType_; }
    int64_t SizeResult() const { return sizeResult_; }
    const std::string& DirResult() const { return dirResult_; }
    int64_t ByteCount() const { return byteCount_; }
    const std::string& DnsResult() const { return dnsResult_; }
    TSocksWSocket* ControlSocket() const { return control_.get(); }
    TSocksWSocket* DataSocket() const { return data_.get(); }

    // One command each.
    virtual void OpenAsync();
    virtual void UserAsync();
    virtual void PassAsync();
    virtual void CwdAsync();
    virtual void CDupAsync();
    virtual void PwdAsync();
    virtual void TypeSetAsync();
    virtual void TypeBinaryAsync();
    virtual void TypeAsciiAsync();
    virtual void SystAsync();
    virtual void SizeAsync();
    virtual void RestAsync();
    virtual void MkdAsync();
    virtual void RmdAsync();
    virtual void DeleAsync();
    virtual void RenFromAsync();
    virtual void RenToAsync(); // RNTO LocalFileName
    virtual void AbortXferAsync();
    virtual void QuoteAsync(); // LocalFileName sent as it is
    virtual void QuitAsync();
    virtual void PortAsync();
    virtual void ExecGetAsync();
    virtual void ExecDirAsync();
    virtual void ExecLsAsync();
    virtual void ExecPutAsync();
    virtual void ExecAppendAsync();
    // Closes both connections at once; a running request ends with 426 "426 Operation aborted.".
    virtual void AbortAsync();

    // Fixed sequences, each reported once.
    virtual void ConnectAsync();    // Open, User, Pass
    virtual void ReceiveAsync();    // Open, User, Pass, Cwd, TypeSet, Port, Get, Quit
    virtual void GetAsync();        // Port, Get
    virtual void RestGetAsync();    // Port, Rest, Get
    virtual void RestartGetAsync(); // Open, User, Pass, Cwd, TypeSet, Port, Rest, Get, Quit
    virtual void PutAsync();        // Port, Put
    virtual void RestPutAsync();    // Port, Rest, Put
    virtual void RestartPutAsync(); // Open, User, Pass, Cwd, TypeSet, Port, Rest, Put, Quit
    virtual void TransmitAsync();   // Open, User, Pass, Cwd, TypeSet, Port, Put, Quit
    virtual void AppendAsync();     // Port, Append
    virtual void AppendFileAsync(); // Open, User, Pass, Cwd, TypeSet, Port, Append, Quit
    virtual void DirAsync();        // Port, Dir
    virtual void DirectoryAsync();  // Open, User, Pass, Cwd, Port, Dir, Quit
    virtual void LsAsync();         // Port, Ls
    virtual void ListAsync();       // Open, User, Pass, Cwd, Port, Ls, Quit
    virtual void SystemAsync();     // Open, User, Pass, Syst, Quit
    virtual void MkdirAsync();      // Open, User, Pass, Cwd, Mkd, Quit
    virtual void RmdirAsync();      // Open, User, Pass, Cwd, Rmd, Quit
    virtual void DeleteAsync();     // Open, User, Pass, Cwd, Dele, Quit
    virtual void DoQuoteAsync();    // Open, User, Pass, Cwd, Quote, Quit
    virtual void RenameAsync();     // Open, User, Pass, Cwd, RenFrom, RenTo, Quit
    virtual void RenAsync();        // RenFrom, RenTo
    virtual void FileSizeAsync();   // Open, User, Pass, Cwd, Size, Quit

    virtual void SendCommand(const std::string& command);

    void Dispatch(platform::TMessage& message) override;

protected:
    // Called for every block of a transfer; true when OnProgress asked to abort.
    virtual bool Progress();
    // Called whenever the state changes and for every reply line: the blocking client's time-out.
    virtual void Activity() {}
    virtual void TransfertStats();
    virtual void TriggerDisplay(const std::string& message);
    virtual void TriggerDisplayFile(const std::string& message);
    virtual void TriggerReadyToTransmit(bool& cancel);
    virtual void HandleBackGroundException(const std::exception& e);
    // A usage error: FtpException, or OnError when assigned.
    virtual void HandleError(const std::string& message);

    // Ends the running request once: inside a sequence a success runs the next step, anything else
    // reports the request through OnRequestDone.
    void TriggerRequestDone(uint16_t error);
    // Ends the running request as the silent-server time-out does.
    void TimedOut();
    void SetState(TFtpState state);
    bool RequestRunning() const { return !requestDone_; }
    uint32_t RequestsStarted() const { return requestsStarted_; }
    int RequestResult() const { return requestResult_; }

private:
    static constexpr uint32_t kMsgRequestDone = WM_USER + 1;  // WParam = request kind, LParam = error
    static constexpr uint32_t kMsgStartSending = WM_USER + 2; // WParam = transfer number

    enum class ReplyStep { None, Standard, TransferFirst, TransferFinal };
    enum class DoneStep { None, CloseControl };

    // Requests.
    bool CheckReady();
    bool CheckArgument(const std::string& command);
    void ExecAsync(TFtpRequest rqType, TFtpFct fct, const std::string& command, const int* okCodes,
                   DoneStep done = DoneStep::None);
    void RunCommand(TFtpFct fct);
    void HighLevelAsync(TFtpRequest rqType, TFtpFctSet steps);
    // Runs the next step of the sequence, or ends it. The first step's usage errors reach the caller.
    void NextStep(bool first = false);
    void RunStep(TFtpFct fct);
    void AbandonSequence();
    void StartRequest();
    void SetErrorMessage();
    // Ends the running request with a failure of the client's own: the text becomes LastResponse.
    void Fail(uint16_t error, int code, const std::string& response);
    void FailDataConnection(const std::string& response);

    // The control connection.
    void ControlLookupDone(uint16_t error);
    void ControlConnected(uint16_t error);
    void ControlDataAvailable(uint16_t error);
    void ControlClosed(uint16_t error);
    void ControlLine(const std::string& line, uint16_t error);
    void BannerLine(const std::string& line, uint16_t error);
    void ReplyLine(const std::string& line);
    void StandardReply(const std::string& line);
    void LineTooLong();
    void CheckReplyLength();
    std::string ControlPeer();

    // The data connection.
    void PrepareDataSocket();
    void CloseDataConnection();
    void ExecTransfer(bool upload, bool append, TFtpRequest rqType, const char* command);
    bool OpenLocalStream(bool upload);
    void ConnectPassive(bool upload);
    void DataAccepted();
    void DataConnected(bool upload, uint16_t error);
    void BindTransferEvents(bool upload);
    void TransferReply(const std::string& line);
    void StartSending();
    void DataSent(uint16_t error);
    void DataReceived();
    void DataClosed(uint16_t error);
    void CompletionCheck();
    void StopTransfer(const std::string& shown, uint16_t error, const std::string& reason);
    void DisplayReceived(const char* data, int count);
    void DestroyLocalStream();
    platform::TStream* Stream() const;

    // The SOCKS settings of the connection type, given to a socket before each of its Connects (a
    // close clears them).
    void UseSocks(TSocksWSocket& socket);

    std::unique_ptr<TSocksWSocket> control_;
    std::unique_ptr<TWSocket> listener_;
    std::unique_ptr<TSocksWSocket> data_;
    std::string socksError_; // the text of the control connection's failed SOCKS negotiation
    std::unique_ptr<platform::TTimer> closeTimer_; // the 100 ms before an upload's data close
    TFtpState state_ = ftpReady;
    TFtpRequest requestType_ = ftpNone;
    TFtpConnectionType connectionType_ = ftpDirect;
    char typeChar_ = 'I';
    bool passive_ = false;
    bool connected_ = false;
    std::string dnsResult_;
    std::string localFileName_;
    platform::TStream* callerStream_ = nullptr;
    std::unique_ptr<platform::TFileStream> ownStream_; // a local file the client opened

    // The running request.
    bool requestDone_ = true;
    uint32_t requestsStarted_ = 0;
    int requestResult_ = 0;
    int statusCode_ = 0;
    std::string lastResponse_, errorMessage_;
    ReplyStep next_ = ReplyStep::None;
    DoneStep done_ = DoneStep::None;
    const int* okCodes_ = nullptr; // accepted codes, ended by 0; none = any below 500
    TFtpFct fctRunning_ = ftpFctNone;
    int userReply_ = 0;      // the code of the last USER reply (331 asks for PASS)
    std::string usageError_; // the text of the last usage error

    // The running sequence.
    bool highLevel_ = false;
    bool sequenceNext_ = false; // a success runs the next step
    TFtpFctSet steps_ = 0;
    int finalResult_ = 0;
    std::string savedLastResponse_;
    int savedStatus_ = -1;

    // Replies.
    std::string controlBuffer_;
    bool discardToLineEnd_ = false;
    TFtpReplyReader replies_;
    std::string passiveReply_;
    int64_t sizeResult_ = 0;
    std::string dirResult_;

    // The transfer.
    uint32_t transfer_ = 0; // number of the current transfer; tags its posted messages and timer
    bool upload_ = false;
    bool transferRunning_ = false; // a transfer's command was sent (or is about to be)
    bool finalReceived_ = false, dataClosed_ = false, eof_ = false, commandAccepted_ = false,
         dataOpen_ = false, sendStarted_ = false;
    uint16_t dataError_ = 0;
    int64_t byteCount_ = 0;
    uint32_t startTick_ = 0, stopTick_ = 0;
};

// The published client: one blocking call per operation, and a time-out that applies to silence.
class TFtpClient : public TCustomFtpCli {
public:
    explicit TFtpClient(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TFtpClient() override;

    // Seconds without a reply or data before a request ends with "426 Timeout"; 0 or less waits for ever.
    int Timeout = 15;

    // Each runs the asynchronous operation of the same name and waits in the loop until it has ended:
    // true when it ended with 0. Safe inside the client's own events (the loop then runs nested).
    bool Open();
    bool User();
    bool Pass();
    bool Connect();
    bool Quit();
    bool Abort();
    bool Cwd();
    bool Pwd();
    bool CDup();
    bool TypeSet();
    bool TypeBinary();
    bool TypeAscii();
    bool Get();
    bool RestGet();
    bool RestartGet();
    bool Receive();
    bool Put();
    bool RestPut();
    bool RestartPut();
    bool Append();
    bool Transmit();
    bool AppendFile();
    bool Dir();
    bool Directory();
    bool Ls();
    bool List();
    bool Mkd();
    bool Mkdir();
    bool Rmd();
    bool Rmdir();
    bool Dele();
    bool Delete();
    bool Ren();
    bool Rename();
    bool Syst();
    bool System();
    bool Size();
    bool FileSize();
    bool AbortXfer();
    bool Quote();
    bool DoQuote();

    // Runs proc, then WaitUntilReady. False when proc raised or started no request.
    virtual bool Synchronize(const std::function<void()>& proc, bool startsRequest = true);
    // Waits in poll until the client is ready; true when the request ended with 0. When the program
    // terminates meanwhile, the request is aborted with "426 Timeout".
    virtual bool WaitUntilReady();

protected:
    bool Progress() override;
    void Activity() override;

private:
    void Touch();
    void Expired();

    std::unique_ptr<platform::TTimer> silence_;
    uint32_t deadline_ = 0;
};

} // namespace net
