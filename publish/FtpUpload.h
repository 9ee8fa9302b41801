#pragma once
// The upload of the generated files to the owner's web host by FTP. FTPUpload builds the list
// (the station's UploadList) and starts a session; each completed request starts the next one
// from the client's OnRequestDone, so the reading cycle goes on between the steps and never runs inside
// one of them:
//
//   ConnectAsync (connect, USER, PASS) -> CwdAsync [FTPHostDirName] -> TypeBinaryAsync
//   -> PutAsync HTMLDir/weather.html as FTPHostFileName -> PutAsync each list file as its bare name
//   -> QuitAsync
//
// The list: the pages of the template run (the station's GeneratedPages) that exist, weather.xml with [FTP]
// UploadXML, the graphs with UploadGIFs (windhist and dirhist with a wind sensor, temphist with a thermometer
// or a humidity sensor, dpwchist with wind, humidity or the barometer, rainhist with the rain gauge, humdhist
// with humidity), then each FTPExtraFileName1..6 longer than 3 characters. A file that is missing when
// its turn comes is skipped (a debug line); a name holding a control character is never sent (logged).
//
// With FTPLogSuccess each put logs "FTP: Upload of <file> successful", and a session that put every file
// of a non-empty list logs "FTP: <n> files uploaded OK" when it closes. A failed step ends the session
// (QUIT when still connected) and is logged with the server's reply, once for a run of failures with
// that cause; an upload that succeeds after failures logs "FTP: OK again after <n> failed attempts".
// An upload ends before the next FTP interval starts, and within kUploadDeadlineMs (IntervalDeadline.h):
// then it is aborted, logged, and the next interval tries again. The password is masked in every log
// line of the session where it stands as a whole word, a server's reply that echoes it too (LogMasks.h). An
// upload asked for while one runs is skipped with a log line; a session left connected is quit first. The
// UploadToHomepage menu item ("FTP Upload") runs FTPUpload. When the upload is over (or could not start),
// the station is told how it ended (TransferEnded): "FTP: <n> files uploaded OK" when every file was put,
// else the session's first failure.
#include <cstdint>
#include <exception>
#include <memory>
#include <set>
#include <string>

#include "net/Ftpcli.h"
#include "publish/FailureRun.h"

class TPublishingHost;
namespace platform {
class TControl;
}

inline constexpr uint32_t kUploadDeadlineMs = 2 * 60 * 1000;

class TFtpUpload {
public:
    explicit TFtpUpload(TPublishingHost& station);
    ~TFtpUpload();
    TFtpUpload(const TFtpUpload&) = delete;
    TFtpUpload& operator=(const TFtpUpload&) = delete;

    void FTPUpload();
    // Puts the next list file that exists; quits when none is left.
    void FTPSendFile();

    void FTPClientRequestDone(net::TCustomFtpCli* sender, net::TFtpRequest rqType, uint16_t error);
    void FTPClientSessionConnected(net::TCustomFtpCli* sender, uint16_t error);
    void FTPClientSessionClosed(net::TCustomFtpCli* sender, uint16_t error);
    void FTPClientBgException(net::TCustomFtpCli* sender, const std::exception& e, bool& canClose);

    // A session is open or being quit; an upload asked for meanwhile is skipped.
    bool Running() const { return running_; }

    net::TFtpClient* FTPClient;
    platform::TControl* UploadToHomepage;

private:
    void BuildList();
    void Start();
    void PutFirstFile();
    void Finish();
    void EndSession();
    void LogSuccess(const std::string& text);
    // Runs a step of an event handler: exceptions are logged with the handlers' texts and end the session.
    template <class Work> void Step(Work&& work);
    void LogMasked(const std::string& prefix, const std::string& text);
    std::string Masked(const std::string& text) const;
    void EnableMenuItem();
    // A failure of the session: logged as a run of them logs it (FailureRun.h); the first one of the
    // session is how it ended.
    void Failed(const std::string& text, const std::string& cause);
    std::string SummaryLine() const;
    // Tells the station how the upload ended (PublishingHost.h).
    void TellEnd();
    // The upload asked for could not start (the failure is logged).
    void NotStarted();
    void DeadlinePassed();
    void Begin();
    bool Debug() const;

    TPublishingHost& station_;
    std::unique_ptr<net::TFtpClient> client_;
    std::unique_ptr<platform::TTimer> deadline_;
    uint32_t deadlineMs_ = 0; // the running upload's time to end
    int nextFile_ = 0;        // index in the upload list of the next file to put
    int puts_ = 0;            // files put in this session
    bool running_ = false;
    bool complete_ = false;              // every file of the list was put
    std::string failure_;                // the session's first failure
    bool startAfterQuit_ = false;        // a session left connected is being quit for a new upload
    std::set<std::string> refusedNames_; // names with control characters, told once
    TFailureRun failures_;
};
