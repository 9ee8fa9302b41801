#include "publish/FtpUpload.h"

#include <algorithm>

#include "onewire/SensorTables.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "platform/controls/Control.h"
#include "publish/IntervalDeadline.h"
#include "publish/LogMasks.h"
#include "station/PublishingHost.h"

using platform::Format;

namespace {

bool HasControlCharacter(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

// A name for a log line: its control characters shown as '?'.
std::string Printable(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

// The file-name part of a local path: the text after the last separator.
std::string BareName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

TFtpUpload::TFtpUpload(TPublishingHost& station)
    : station_(station), client_(std::make_unique<net::TFtpClient>(nullptr, "FTPClient")),
      deadline_(std::make_unique<platform::TTimer>()), failures_("FTP") {
    FTPClient = client_.get();
    deadline_->SetEnabled(false);
    deadline_->OnTimer = [this](platform::TTimer*) { DeadlinePassed(); };
    FTPClient->OnRequestDone = [this](net::TCustomFtpCli* c, net::TFtpRequest rq, uint16_t e) {
        FTPClientRequestDone(c, rq, e);
    };
    FTPClient->OnSessionConnected = [this](net::TCustomFtpCli* c, uint16_t e) {
        FTPClientSessionConnected(c, e);
    };
    FTPClient->OnSessionClosed = [this](net::TCustomFtpCli* c, uint16_t e) { FTPClientSessionClosed(c, e); };
    FTPClient->OnBgException = [this](net::TCustomFtpCli* c, const std::exception& e, bool& canClose) {
        FTPClientBgException(c, e, canClose);
    };
    UploadToHomepage = platform::MakeOwned<platform::TControl>(station.CommandOwner(), "UploadToHomepage");
    UploadToHomepage->SetCaption("FTP Upload");
    UploadToHomepage->OnClick = [this](platform::TComponent*) { FTPUpload(); };
}

TFtpUpload::~TFtpUpload() {
    UploadToHomepage->OnClick = nullptr; // the item is the window's and may outlive the upload
    deadline_->OnTimer = nullptr;
    FTPClient->OnRequestDone = nullptr;
    FTPClient->OnSessionConnected = nullptr;
    FTPClient->OnSessionClosed = nullptr;
    FTPClient->OnBgException = nullptr;
}

bool TFtpUpload::Debug() const {
    return station_.DebugLogging();
}

void TFtpUpload::EnableMenuItem() {
    UploadToHomepage->SetEnabled(true);
}

std::string TFtpUpload::Masked(const std::string& text) const {
    return MaskPasswords(text, station_.Settings().FTPPassWord);
}

void TFtpUpload::LogMasked(const std::string& prefix, const std::string& text) {
    station_.LogStatus(prefix + Masked(text));
}

void TFtpUpload::LogSuccess(const std::string& text) {
    if (station_.Settings().FTPLogSuccess) LogMasked("", text);
}

// ---- the list and the start ----

void TFtpUpload::FTPUpload() {
    if (running_) {
        station_.LogStatus("FTP: Error in connect: the previous upload is still running");
        return;
    }
    const bool asked = failures_.Run(station_, {"FTP: Error in connect: ", "FTP: Error in connect"}, [&] {
        BuildList();
        if (FTPClient->Connected()) { // a session left open: quit it, then start
            FTPClient->QuitAsync();
            startAfterQuit_ = true;
            Begin();
            return;
        }
        Start();
    });
    if (!asked && !running_) NotStarted(); // nothing runs whose end would tell it
}

void TFtpUpload::BuildList() {
    const TStationSettings& s = station_.Settings();
    nextFile_ = 0;
    platform::TStringList& list = station_.UploadList();
    list.Clear();
    auto add = [&](const std::string& path) {
        if (!HasControlCharacter(path)) {
            list.Add(path);
        } else if (refusedNames_.insert(path).second) {
            LogMasked("FTP: Error: a file name with a control character is not sent: ", Printable(path));
        }
    };
    const platform::TStringList& pages = station_.GeneratedPages();
    for (int i = 0; i < pages.Count(); ++i)
        if (HasControlCharacter(pages[i]) || platform::FileExists(s.HTMLDir + "/" + pages[i]))
            add(s.HTMLDir + "/" + pages[i]);
    if (s.UploadXML) add(s.HTMLDir + "/weather.xml");
    if (s.UploadGIFs) {
        bool humidity = SensorSet().HumiditySensors.Count() > 0;
        auto graph = [&](bool present, const char* name) {
            if (present) add(s.HTMLDir + "/" + name);
        };
        graph(SensorSet().WindPresent, "windhist.gif");
        graph(SensorSet().WindPresent, "dirhist.gif");
        graph(SensorSet().DS1820Sensors.Count() + SensorSet().HumiditySensors.Count() != 0, "temphist.gif");
        graph(SensorSet().WindPresent || humidity || SensorSet().BarometerPresent, "dpwchist.gif");
        graph(SensorSet().RainPresent, "rainhist.gif");
        graph(humidity, "humdhist.gif");
    }
    for (const std::string& extra : s.FTPExtraFileName)
        if (extra.size() > 3) add(extra);
}

void TFtpUpload::Start() {
    const TStationSettings& s = station_.Settings();
    for (const std::string* text : {&s.FTPHostFileName, &s.FTPHostDirName, &s.FTPHostName, &s.FTPUserName})
        if (HasControlCharacter(*text))
            throw platform::EConvertError("[FTP] settings hold a control character");
    complete_ = false;
    failure_.clear();
    puts_ = 0;
    net::TFtpClient& client = *FTPClient;
    client.MultiThreaded = true;
    client.SetPassive(s.FTPPASV);
    client.Timeout = s.FTPTimeout;
    client.HostName = s.FTPHostName;
    client.UserName = s.FTPUserName;
    client.PassWord = s.FTPPassWord;
    client.Port = s.FTPPort;
    client.HostFileName = s.FTPHostFileName;
    client.SetLocalFileName(s.HTMLDir + "/weather.html");
    client.HostDirName = s.FTPHostDirName;
    client.ConnectAsync();
    Begin(); // its end is always posted, never told inside the call
}

void TFtpUpload::Begin() {
    running_ = true;
    deadline_->SetEnabled(false);
    deadlineMs_ = DeadlineBeforeNextInterval(station_.Settings().FTPInterval, kUploadDeadlineMs);
    deadline_->SetInterval(deadlineMs_);
    deadline_->SetEnabled(true);
}

// The upload ran out of time: both connections are closed, and the next interval starts afresh.
void TFtpUpload::DeadlinePassed() {
    deadline_->SetEnabled(false);
    if (!running_) return;
    Failed(Format("FTP: Error uploading, aborting... no end within %u seconds", deadlineMs_ / 1000),
           "deadline");
    try {
        FTPClient->AbortAsync(); // its end, posted, finds the session over
    } catch (const std::exception& e) {
        station_.LogStatus("FTP Error: " + Masked(e.what()));
    }
    startAfterQuit_ = false;
    Finish();
}

// ---- the chain ----

void TFtpUpload::PutFirstFile() {
    if (platform::FileExists(FTPClient->LocalFileName())) {
        FTPClient->PutAsync();
        return;
    }
    if (Debug()) LogMasked("FTP: ", FTPClient->LocalFileName() + " not found, skipped");
    FTPSendFile();
}

void TFtpUpload::FTPSendFile() {
    Step([&] {
        const platform::TStringList& list = station_.UploadList();
        while (nextFile_ < list.Count()) {
            const std::string entry = list[nextFile_++];
            if (!platform::FileExists(entry)) {
                if (Debug()) LogMasked("FTP: ", entry + " not found, skipped");
                continue;
            }
            FTPClient->HostFileName = BareName(entry);
            FTPClient->SetLocalFileName(entry);
            FTPClient->PutAsync();
            return;
        }
        complete_ = true;
        failures_.Succeeded(station_);
        FTPClient->QuitAsync();
    });
}

template <class Work> void TFtpUpload::Step(Work&& work) {
    std::string failure;
    try {
        work();
        return;
    } catch (const net::FtpException& e) {
        failure = "FTP: Error in connect: " + Masked(e.what());
    } catch (const std::exception& e) {
        failure = "FTP Error: " + Masked(e.what());
    } catch (...) {
        failure = "FTP Error: (unknown)";
    }
    Failed(failure, failure);
    EndSession();
}

void TFtpUpload::EndSession() {
    try {
        bool ready = FTPClient->State() == net::ftpReady || FTPClient->State() == net::ftpInternalReady;
        if (FTPClient->Connected() && ready) {
            FTPClient->QuitAsync();
            return;
        }
        // Closes both connections; the end of a running request, posted, finds the session over.
        if (FTPClient->Connected() || !ready) FTPClient->AbortAsync();
    } catch (const std::exception& e) {
        station_.LogStatus("FTP Error: " + Masked(e.what()));
    }
    Finish();
}

// The session is over: the menu item is back, and a new upload may start. A session quit for the
// upload asked for meanwhile is not the end of that upload: it starts now.
void TFtpUpload::Finish() {
    EnableMenuItem();
    running_ = false;
    deadline_->SetEnabled(false);
    if (startAfterQuit_) {
        startAfterQuit_ = false;
        if (failures_.Run(station_, {"FTP: Error in connect: ", "FTP: Error in connect"}, [&] { Start(); }))
            return;
        return NotStarted();
    }
    TellEnd();
}

void TFtpUpload::NotStarted() {
    complete_ = false;
    failure_ = failures_.LastText();
    TellEnd();
}

void TFtpUpload::Failed(const std::string& text, const std::string& cause) {
    if (failure_.empty()) failure_ = text; // the session's first failure tells how it ended
    failures_.Failed(station_, text, cause);
}

std::string TFtpUpload::SummaryLine() const {
    return Format("FTP: %d files uploaded OK", puts_);
}

void TFtpUpload::TellEnd() {
    station_.TransferEnded(TTransferCommand::Upload, complete_,
                           complete_          ? SummaryLine()
                           : failure_.empty() ? "FTP: the upload ended before every file was put"
                                              : failure_);
}

void TFtpUpload::FTPClientRequestDone(net::TCustomFtpCli*, net::TFtpRequest rqType, uint16_t error) {
    if (!running_) return; // a session abandoned by the window's shutdown
    if (Debug())
        LogMasked("FTP: ", Format("%s (%d)", FTPClient->LastResponse().c_str(), static_cast<int>(rqType)));
    if (rqType == net::ftpQuitAsync) {
        // QUIT follows the last file or a failure that is told already: its own failure loses nothing,
        // and the debug line above tells it.
        Finish();
        return;
    }
    if (error != 0) {
        const std::string& reply =
            FTPClient->ErrorMessage().empty() ? FTPClient->LastResponse() : FTPClient->ErrorMessage();
        // The code names the cause; the client's own 426 and 500 texts tell theirs apart.
        std::string cause = Format("%u", error);
        if (error == 426 || error == 500) cause += " " + reply;
        Failed("FTP: Error uploading, aborting... " + Masked(reply), cause);
        EnableMenuItem();
        Step([&] {
            if (FTPClient->Connected())
                FTPClient->QuitAsync();
            else
                Finish();
        });
        return;
    }
    Step([&] {
        switch (rqType) {
        case net::ftpNone:
        case net::ftpOpenAsync:
        case net::ftpUserAsync:
        case net::ftpPassAsync:
        case net::ftpConnectAsync:
            if (!FTPClient->HostDirName.empty() && nextFile_ == 0)
                FTPClient->CwdAsync();
            else
                FTPClient->TypeBinaryAsync();
            return;
        case net::ftpCwdAsync:
            FTPClient->TypeBinaryAsync();
            return;
        case net::ftpTypeSetAsync:
            PutFirstFile();
            return;
        default:
            break;
        }
        if (rqType < net::ftpPutAsync) return;
        ++puts_;
        LogSuccess("FTP: Upload of " + FTPClient->LocalFileName() + " successful");
        FTPSendFile();
    });
}

void TFtpUpload::FTPClientSessionConnected(net::TCustomFtpCli*, uint16_t error) {
    if (!Debug()) return;
    if (error != 0)
        station_.LogStatus(Format("FTP: Session Connected, error = %d", error));
    else
        station_.LogStatus("FTP: Session Connected OK");
}

void TFtpUpload::FTPClientSessionClosed(net::TCustomFtpCli*, uint16_t error) {
    EnableMenuItem();
    if (Debug()) {
        if (error != 0)
            station_.LogStatus(Format("FTP: Session Closed , error = %d", error));
        else
            station_.LogStatus("FTP: Session Closed OK");
    }
    if (complete_ && nextFile_ > 0) LogSuccess(SummaryLine());
}

void TFtpUpload::FTPClientBgException(net::TCustomFtpCli*, const std::exception& e, bool&) {
    LogMasked("FTP: Background exception: ", e.what());
}
