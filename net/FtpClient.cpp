// The published FTP client: blocking calls that wait in the loop, and the silence time-out.
#include <algorithm>

#include "net/Ftpcli.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"

namespace net {

TFtpClient::TFtpClient(platform::TComponent* owner, const std::string& name)
    : TCustomFtpCli(owner, name), silence_(std::make_unique<platform::TTimer>()) {
    silence_->SetEnabled(false);
    silence_->OnTimer = [this](platform::TTimer*) { Expired(); };
}

TFtpClient::~TFtpClient() {
    silence_->OnTimer = nullptr;
}

// ---- the time-out ----

namespace {

uint32_t TimeoutMs(int seconds) {
    return static_cast<uint32_t>(std::min(seconds, 86400)) * 1000u;
}

} // namespace

void TFtpClient::Activity() {
    bool idle = State() == ftpReady || State() == ftpInternalReady || !RequestRunning();
    if (idle || Timeout <= 0) {
        silence_->SetEnabled(false);
        return;
    }
    Touch();
}

bool TFtpClient::Progress() {
    bool abort = TCustomFtpCli::Progress();
    if (Timeout > 0) Touch(); // the limit is on silence, not on the whole transfer
    return abort;
}

void TFtpClient::Touch() {
    deadline_ = platform::GetTickCount() + TimeoutMs(Timeout);
    if (silence_->Enabled()) return;
    silence_->SetInterval(TimeoutMs(Timeout));
    silence_->SetEnabled(true);
}

void TFtpClient::Expired() {
    silence_->SetEnabled(false);
    if (!RequestRunning() || Timeout <= 0) return;
    auto remaining = static_cast<int32_t>(deadline_ - platform::GetTickCount());
    if (remaining > 0) { // something moved meanwhile: wait for the rest
        silence_->SetInterval(static_cast<uint32_t>(remaining));
        silence_->SetEnabled(true);
        return;
    }
    TimedOut();
}

// ---- waiting ----

bool TFtpClient::WaitUntilReady() {
    platform::EventLoop& loop = platform::EventLoop::Get();
    for (;;) {
        if (State() == ftpReady || State() == ftpInternalReady || !RequestRunning())
            return RequestResult() == 0;
        if (loop.Terminated()) break;
        loop.Turn(true); // blocks in poll; the silence timer bounds the wait
    }
    TimedOut();
    return false;
}

bool TFtpClient::Synchronize(const std::function<void()>& proc, bool startsRequest) {
    try {
        uint32_t before = RequestsStarted();
        proc();
        if (startsRequest && RequestsStarted() == before) return false; // refused
        return WaitUntilReady();
    } catch (...) {
        return false;
    }
}

// ---- one blocking call per operation ----

#define KORVANE_FTP_BLOCKING(Name, Async)                                                                    \
    bool TFtpClient::Name() {                                                                                \
        return Synchronize([this] { Async(); });                                                             \
    }

KORVANE_FTP_BLOCKING(Open, OpenAsync)
KORVANE_FTP_BLOCKING(User, UserAsync)
KORVANE_FTP_BLOCKING(Pass, PassAsync)
KORVANE_FTP_BLOCKING(Connect, ConnectAsync)
KORVANE_FTP_BLOCKING(Quit, QuitAsync)
KORVANE_FTP_BLOCKING(Cwd, CwdAsync)
KORVANE_FTP_BLOCKING(Pwd, PwdAsync)
KORVANE_FTP_BLOCKING(CDup, CDupAsync)
KORVANE_FTP_BLOCKING(TypeSet, TypeSetAsync)
KORVANE_FTP_BLOCKING(TypeBinary, TypeBinaryAsync)
KORVANE_FTP_BLOCKING(TypeAscii, TypeAsciiAsync)
KORVANE_FTP_BLOCKING(Get, GetAsync)
KORVANE_FTP_BLOCKING(RestGet, RestGetAsync)
KORVANE_FTP_BLOCKING(RestartGet, RestartGetAsync)
KORVANE_FTP_BLOCKING(Receive, ReceiveAsync)
KORVANE_FTP_BLOCKING(Put, PutAsync)
KORVANE_FTP_BLOCKING(RestPut, RestPutAsync)
KORVANE_FTP_BLOCKING(RestartPut, RestartPutAsync)
KORVANE_FTP_BLOCKING(Append, AppendAsync)
KORVANE_FTP_BLOCKING(Transmit, TransmitAsync)
KORVANE_FTP_BLOCKING(AppendFile, AppendFileAsync)
KORVANE_FTP_BLOCKING(Dir, DirAsync)
KORVANE_FTP_BLOCKING(Directory, DirectoryAsync)
KORVANE_FTP_BLOCKING(Ls, LsAsync)
KORVANE_FTP_BLOCKING(List, ListAsync)
KORVANE_FTP_BLOCKING(Mkd, MkdAsync)
KORVANE_FTP_BLOCKING(Mkdir, MkdirAsync)
KORVANE_FTP_BLOCKING(Rmd, RmdAsync)
KORVANE_FTP_BLOCKING(Rmdir, RmdirAsync)
KORVANE_FTP_BLOCKING(Dele, DeleAsync)
KORVANE_FTP_BLOCKING(Delete, DeleteAsync)
KORVANE_FTP_BLOCKING(Ren, RenAsync)
KORVANE_FTP_BLOCKING(Rename, RenameAsync)
KORVANE_FTP_BLOCKING(Syst, SystAsync)
KORVANE_FTP_BLOCKING(System, SystemAsync)
KORVANE_FTP_BLOCKING(Size, SizeAsync)
KORVANE_FTP_BLOCKING(FileSize, FileSizeAsync)
KORVANE_FTP_BLOCKING(AbortXfer, AbortXferAsync)
KORVANE_FTP_BLOCKING(Quote, QuoteAsync)
KORVANE_FTP_BLOCKING(DoQuote, DoQuoteAsync)

#undef KORVANE_FTP_BLOCKING

bool TFtpClient::Abort() {
    return Synchronize([this] { AbortAsync(); }, false);
}

} // namespace net
