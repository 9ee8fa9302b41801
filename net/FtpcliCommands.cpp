// The FTP client's operations: one table row per command, one per fixed sequence, and the step chooser
// that runs a sequence one request at a time.
#include "net/Ftpcli.h"
#include "platform/Strings.h"

namespace net {

namespace {

// What follows the verb of a command.
enum class Arg { None, User, Pass, HostDir, HostFile, Type, ResumeAt, LocalFile };

struct CommandRow {
    TFtpFct fct;
    TFtpRequest rqType;
    const char* verb; // empty: the argument alone is the command
    Arg arg;
    const char* emptyError; // usage error when the argument is empty; null when it may be
    int codes[4];           // accepted reply codes, ended by 0; none listed = any below 500
};

constexpr CommandRow kCommands[] = {
    {ftpFctUser, ftpUserAsync, "USER", Arg::User, "UserName emtpy", {331, 230, 0}},
    {ftpFctPass, ftpPassAsync, "PASS", Arg::Pass, "Password emtpy", {230, 0}},
    {ftpFctCwd, ftpCwdAsync, "CWD", Arg::HostDir, "HostDirName emtpy", {200, 250, 257, 0}},
    {ftpFctCDup, ftpCDupAsync, "CDUP", Arg::None, nullptr, {250, 0}},
    {ftpFctPwd, ftpPwdAsync, "PWD", Arg::None, nullptr, {250, 257, 0}},
    {ftpFctTypeSet, ftpTypeSetAsync, "TYPE", Arg::Type, nullptr, {200, 0}},
    {ftpFctSyst, ftpSystAsync, "SYST", Arg::None, nullptr, {215, 0}},
    {ftpFctSize, ftpSizeAsync, "SIZE", Arg::HostFile, nullptr, {213, 0}},
    {ftpFctRest, ftpRestAsync, "REST", Arg::ResumeAt, nullptr, {0}},
    {ftpFctMkd, ftpMkdAsync, "MKD", Arg::HostFile, nullptr, {257, 0}},
    {ftpFctRmd, ftpRmdAsync, "RMD", Arg::HostFile, nullptr, {250, 257, 0}},
    {ftpFctDele, ftpDeleAsync, "DELE", Arg::HostFile, nullptr, {250, 257, 0}},
    {ftpFctRenFrom, ftpRenFromAsync, "RNFR", Arg::HostFile, nullptr, {350, 0}},
    {ftpFctRenTo, ftpRenToAsync, "RNTO", Arg::LocalFile, nullptr, {200, 250, 257, 0}},
    {ftpFctAbortXfer, ftpAbortXferAsync, "ABOR", Arg::None, nullptr, {0}},
    {ftpFctQuote, ftpQuoteAsync, "", Arg::LocalFile, nullptr, {0}},
    {ftpFctQuit, ftpQuitAsync, "QUIT", Arg::None, nullptr, {221, 0}},
    {ftpFctPort, ftpPortAsync, "", Arg::None, nullptr, {200, 227, 0}},
};

const CommandRow& Row(TFtpFct fct) {
    for (const CommandRow& row : kCommands)
        if (row.fct == fct) return row;
    return kCommands[0];
}

constexpr TFtpFctSet Bit(TFtpFct fct) {
    return TFtpFctSet{1} << fct;
}

template <class... F> constexpr TFtpFctSet Steps(F... fcts) {
    return (Bit(fcts) | ...);
}

// The order in which the steps of a sequence run, whatever order they were named in.
constexpr TFtpFct kStepOrder[] = {ftpFctOpen,    ftpFctUser,      ftpFctPass,  ftpFctCwd,  ftpFctCDup,
                                  ftpFctTypeSet, ftpFctPort,      ftpFctRest,  ftpFctGet,  ftpFctPut,
                                  ftpFctAppend,  ftpFctDir,       ftpFctLs,    ftpFctSyst, ftpFctMkd,
                                  ftpFctRmd,     ftpFctRenFrom,   ftpFctRenTo, ftpFctSize, ftpFctDele,
                                  ftpFctPwd,     ftpFctAbortXfer, ftpFctQuote, ftpFctQuit};

constexpr TFtpFctSet kLogin = Steps(ftpFctOpen, ftpFctUser, ftpFctPass);

} // namespace

// ---- one command each ----

void TCustomFtpCli::RunCommand(TFtpFct fct) {
    const CommandRow& row = Row(fct);
    std::string arg;
    switch (row.arg) {
    case Arg::None:
        break;
    case Arg::User:
        arg = UserName;
        if (connectionType_ == ftpProxy && !arg.empty()) {
            arg += "@" + HostName;
            if (!platform::SameText(Port, "ftp") && Port != "21") arg += ":" + Port;
        }
        break;
    case Arg::Pass:
        arg = PassWord;
        break;
    case Arg::HostDir:
        arg = HostDirName;
        break;
    case Arg::HostFile:
        arg = HostFileName;
        break;
    case Arg::Type:
        arg = std::string(1, typeChar_);
        break;
    case Arg::ResumeAt:
        arg = std::to_string(ResumeAt);
        break;
    case Arg::LocalFile:
        arg = localFileName_;
        break;
    }
    if (row.emptyError != nullptr && arg.empty()) return HandleError(row.emptyError);
    std::string command = row.verb;
    if (row.arg != Arg::None) command = command.empty() ? arg : command + " " + arg;
    if (fct == ftpFctSize) sizeResult_ = 0;
    ExecAsync(row.rqType, fct, command, row.codes);
}

void TCustomFtpCli::UserAsync() {
    RunCommand(ftpFctUser);
}
void TCustomFtpCli::PassAsync() {
    RunCommand(ftpFctPass);
}
void TCustomFtpCli::CwdAsync() {
    RunCommand(ftpFctCwd);
}
void TCustomFtpCli::CDupAsync() {
    RunCommand(ftpFctCDup);
}
void TCustomFtpCli::PwdAsync() {
    RunCommand(ftpFctPwd);
}
void TCustomFtpCli::TypeSetAsync() {
    RunCommand(ftpFctTypeSet);
}
void TCustomFtpCli::TypeBinaryAsync() {
    SetBinary(true);
    TypeSetAsync();
}
void TCustomFtpCli::TypeAsciiAsync() {
    SetBinary(false);
    TypeSetAsync();
}
void TCustomFtpCli::SystAsync() {
    RunCommand(ftpFctSyst);
}
void TCustomFtpCli::SizeAsync() {
    RunCommand(ftpFctSize);
}
void TCustomFtpCli::RestAsync() {
    RunCommand(ftpFctRest);
}
void TCustomFtpCli::MkdAsync() {
    RunCommand(ftpFctMkd);
}
void TCustomFtpCli::RmdAsync() {
    RunCommand(ftpFctRmd);
}
void TCustomFtpCli::DeleAsync() {
    RunCommand(ftpFctDele);
}
void TCustomFtpCli::RenFromAsync() {
    RunCommand(ftpFctRenFrom);
}
void TCustomFtpCli::RenToAsync() {
    RunCommand(ftpFctRenTo);
}
void TCustomFtpCli::AbortXferAsync() {
    RunCommand(ftpFctAbortXfer);
}
void TCustomFtpCli::QuoteAsync() {
    RunCommand(ftpFctQuote);
}

void TCustomFtpCli::QuitAsync() {
    DestroyLocalStream();
    PrepareDataSocket(); // a transfer still running ends here, unheard
    ++transfer_;
    transferRunning_ = false;
    if (control_->State() != wsConnected) {
        // Nothing to say goodbye to: the session is over (or never opened) once the socket is closed.
        if (!highLevel_) requestType_ = ftpQuitAsync;
        StartRequest();
        fctRunning_ = ftpFctQuit;
        requestResult_ = 0;
        SetState(ftpWaitingResponse);
        if (control_->State() != wsClosed) control_->Close();
        connected_ = false;
        TriggerRequestDone(0);
        return;
    }
    const CommandRow& row = Row(ftpFctQuit);
    ExecAsync(row.rqType, ftpFctQuit, row.verb, row.codes, DoneStep::CloseControl);
}

// ---- sequences ----

void TCustomFtpCli::HighLevelAsync(TFtpRequest rqType, TFtpFctSet steps) {
    if (connected_ && (steps & Bit(ftpFctOpen))) return HandleError("FTP component already connected");
    if (!CheckReady()) return;
    savedLastResponse_ = lastResponse_;
    savedStatus_ = -1;
    requestType_ = rqType;
    requestResult_ = 0;
    steps_ = steps;
    fctRunning_ = ftpFctNone;
    finalResult_ = 0;
    highLevel_ = true;
    lastResponse_.clear();
    errorMessage_.clear();
    sequenceNext_ = false;
    NextStep(true);
}

void TCustomFtpCli::NextStep(bool first) {
    if (state_ == ftpAbort) {
        steps_ = 0;
        finalResult_ = 426;
        errorMessage_ = "426 Operation aborted.";
    }
    sequenceNext_ = true;
    for (TFtpFct fct : kStepOrder) {
        if ((steps_ & Bit(fct)) == 0) continue;
        steps_ &= ~Bit(fct);
        if (fct == ftpFctPass && !(fctRunning_ == ftpFctUser && userReply_ == 331)) continue; // 230: no PASS
        if (fct == ftpFctCwd && HostDirName.empty()) continue;
        if (fct == ftpFctGet && !(fctRunning_ == ftpFctRest && ResumeAt >= 0 && statusCode_ == 350))
            ResumeAt = 0;
        if (fct == ftpFctQuit) {
            savedLastResponse_ = lastResponse_;
            savedStatus_ = statusCode_;
        }
        uint32_t before = requestsStarted_;
        bool refused = false;
        try {
            RunStep(fct);
            refused = requestsStarted_ == before;
        } catch (const std::exception& e) {
            if (requestsStarted_ != before) {
                if (RequestRunning())
                    Fail(500, 500, "500 " + platform::ExceptionClassName(e) + ": " + e.what());
                return;
            }
            usageError_ = e.what();
            refused = true;
            if (first) { // the caller hears of it as of any usage error
                AbandonSequence();
                throw;
            }
        }
        if (!refused) return;
        if (first) {
            AbandonSequence();
            requestResult_ = ftpUsageError;
            return;
        }
        // A later step was refused: the sequence ends there, and it is no success.
        if (errorMessage_.empty()) errorMessage_ = usageError_;
        requestResult_ = ftpUsageError;
        sequenceNext_ = false;
        requestDone_ = false;
        TriggerRequestDone(ftpUsageError);
        return;
    }
    steps_ = 0;
    sequenceNext_ = false;
    requestDone_ = false;
    TriggerRequestDone(static_cast<uint16_t>(finalResult_));
}

void TCustomFtpCli::AbandonSequence() {
    highLevel_ = sequenceNext_ = false;
    steps_ = 0;
}

void TCustomFtpCli::RunStep(TFtpFct fct) {
    switch (fct) {
    case ftpFctOpen:
        return OpenAsync();
    case ftpFctUser:
        return UserAsync();
    case ftpFctPass:
        return PassAsync();
    case ftpFctCwd:
        return CwdAsync();
    case ftpFctCDup:
        return CDupAsync();
    case ftpFctTypeSet:
        return TypeSetAsync();
    case ftpFctPort:
        return PortAsync();
    case ftpFctRest:
        return RestAsync();
    case ftpFctGet:
        return ExecGetAsync();
    case ftpFctPut:
        return ExecPutAsync();
    case ftpFctAppend:
        return ExecAppendAsync();
    case ftpFctDir:
        return ExecDirAsync();
    case ftpFctLs:
        return ExecLsAsync();
    case ftpFctSyst:
        return SystAsync();
    case ftpFctMkd:
        return MkdAsync();
    case ftpFctRmd:
        return RmdAsync();
    case ftpFctRenFrom:
        return RenFromAsync();
    case ftpFctRenTo:
        return RenToAsync();
    case ftpFctSize:
        return SizeAsync();
    case ftpFctDele:
        return DeleAsync();
    case ftpFctPwd:
        return PwdAsync();
    case ftpFctAbortXfer:
        return AbortXferAsync();
    case ftpFctQuote:
        return QuoteAsync();
    case ftpFctQuit:
        return QuitAsync();
    case ftpFctNone:
        return;
    }
}

void TCustomFtpCli::ConnectAsync() {
    HighLevelAsync(ftpConnectAsync, kLogin);
}
void TCustomFtpCli::ReceiveAsync() {
    HighLevelAsync(ftpReceiveAsync,
                   kLogin | Steps(ftpFctCwd, ftpFctTypeSet, ftpFctPort, ftpFctGet, ftpFctQuit));
}
void TCustomFtpCli::GetAsync() {
    HighLevelAsync(ftpGetAsync, Steps(ftpFctPort, ftpFctGet));
}
void TCustomFtpCli::RestGetAsync() {
    HighLevelAsync(ftpRestGetAsync, Steps(ftpFctPort, ftpFctRest, ftpFctGet));
}
void TCustomFtpCli::RestartGetAsync() {
    HighLevelAsync(ftpRestartGetAsync,
                   kLogin | Steps(ftpFctCwd, ftpFctTypeSet, ftpFctPort, ftpFctRest, ftpFctGet, ftpFctQuit));
}
void TCustomFtpCli::PutAsync() {
    HighLevelAsync(ftpPutAsync, Steps(ftpFctPort, ftpFctPut));
}
void TCustomFtpCli::RestPutAsync() {
    HighLevelAsync(ftpRestPutAsync, Steps(ftpFctPort, ftpFctRest, ftpFctPut));
}
void TCustomFtpCli::RestartPutAsync() {
    HighLevelAsync(ftpRestartPutAsync,
                   kLogin | Steps(ftpFctCwd, ftpFctTypeSet, ftpFctPort, ftpFctRest, ftpFctPut, ftpFctQuit));
}
void TCustomFtpCli::TransmitAsync() {
    HighLevelAsync(ftpTransmitAsync,
                   kLogin | Steps(ftpFctCwd, ftpFctTypeSet, ftpFctPort, ftpFctPut, ftpFctQuit));
}
void TCustomFtpCli::AppendAsync() {
    HighLevelAsync(ftpAppendAsync, Steps(ftpFctPort, ftpFctAppend));
}
void TCustomFtpCli::AppendFileAsync() {
    HighLevelAsync(ftpTransmitAsync,
                   kLogin | Steps(ftpFctCwd, ftpFctTypeSet, ftpFctPort, ftpFctAppend, ftpFctQuit));
}
void TCustomFtpCli::DirAsync() {
    HighLevelAsync(ftpDirAsync, Steps(ftpFctPort, ftpFctDir));
}
void TCustomFtpCli::DirectoryAsync() {
    HighLevelAsync(ftpDirectoryAsync, kLogin | Steps(ftpFctCwd, ftpFctPort, ftpFctDir, ftpFctQuit));
}
void TCustomFtpCli::LsAsync() {
    HighLevelAsync(ftpLsAsync, Steps(ftpFctPort, ftpFctLs));
}
void TCustomFtpCli::ListAsync() {
    HighLevelAsync(ftpListAsync, kLogin | Steps(ftpFctCwd, ftpFctPort, ftpFctLs, ftpFctQuit));
}
void TCustomFtpCli::SystemAsync() {
    HighLevelAsync(ftpSystemAsync, kLogin | Steps(ftpFctSyst, ftpFctQuit));
}
void TCustomFtpCli::MkdirAsync() {
    HighLevelAsync(ftpMkdirAsync, kLogin | Steps(ftpFctCwd, ftpFctMkd, ftpFctQuit));
}
void TCustomFtpCli::RmdirAsync() {
    HighLevelAsync(ftpRmdirAsync, kLogin | Steps(ftpFctCwd, ftpFctRmd, ftpFctQuit));
}
void TCustomFtpCli::DeleteAsync() {
    HighLevelAsync(ftpDeleteAsync, kLogin | Steps(ftpFctCwd, ftpFctDele, ftpFctQuit));
}
void TCustomFtpCli::DoQuoteAsync() {
    HighLevelAsync(ftpDoQuoteAsync, kLogin | Steps(ftpFctCwd, ftpFctQuote, ftpFctQuit));
}
void TCustomFtpCli::RenameAsync() {
    HighLevelAsync(ftpRenameAsync, kLogin | Steps(ftpFctCwd, ftpFctRenFrom, ftpFctRenTo, ftpFctQuit));
}
void TCustomFtpCli::RenAsync() {
    HighLevelAsync(ftpRenAsync, Steps(ftpFctRenFrom, ftpFctRenTo));
}
void TCustomFtpCli::FileSizeAsync() {
    HighLevelAsync(ftpSizeAsync, kLogin | Steps(ftpFctCwd, ftpFctSize, ftpFctQuit));
}

} // namespace net
