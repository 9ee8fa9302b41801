#pragma once
// The station as its publishing side (publish/) sees it: the latest readings, the settings, the texts
// the window shows (version, sunrise, sunset, run time, samples), the status line and the status log, the
// trend graphs and the window's picture; and the few things publishing keeps on the station: the
// services' running flags, the DDE items, the lists of generated and uploaded files, the post streams
// and the enabled state of the transfer commands. The main window implements it; publishing sees no
// widget of it. Every call runs on the station's one thread.
#include <string>
#include <utility>

#include "platform/CatchAndLog.h"
#include "platform/DateTime.h"
#include "platform/graphics/Bitmap.h"
#include "station/CurrentReadings.h"
#include "station/DdeItems.h"
#include "station/StationSettings.h"

class Humidity;
namespace gauges {
class TAbPrintTrend;
class TAbTrend;
} // namespace gauges
namespace platform {
class TComponent;
class TMemoryStream;
class TStringList;
} // namespace platform

// The services whose running state the station's supervisor follows.
enum class TPublishingService { DDE, HTTP, TCP, UDP };
// The transfers a keeper starts from the window: the "Transfer..." commands (a post disables its command
// while it is pending) and the FTP upload (its item, publishing's own, is never disabled).
enum class TTransferCommand { APRS, Servlet, WU, W4U, Upload };

// The six trend graphs and the printer that draws one as a chart; null where the station has none.
struct TTrendGraphs {
    gauges::TAbTrend *Temperature = nullptr, *DPWC = nullptr, *Humd = nullptr, *Wind = nullptr,
                     *Dir = nullptr, *Rain = nullptr;
    gauges::TAbPrintTrend* Printer = nullptr;
};

class TPublishingHost {
public:
    // The status log.
    virtual void LogStatus(const std::string& text) = 0;
    // Runs a step of work; an exception that leaves it is logged with the texts. True when it returned.
    template <class Work> bool Logged(const platform::ErrorTexts& texts, Work&& work) {
        return platform::CatchAndLog(
            texts, [this](const std::string& text) { LogStatus(text); }, std::forward<Work>(work));
    }
    template <class Work> bool Logged(const char* text, Work&& work) {
        return platform::CatchAndLog(
            text, [this](const std::string& line) { LogStatus(line); }, std::forward<Work>(work));
    }

    // What is published.
    virtual const TCurrentReadings& Readings() const = 0;
    virtual const TStationSettings& Settings() const = 0;
    // The main humidity sensor, or null.
    virtual Humidity* MainHumidity() const = 0;
    // The status line of the last round (empty before the first).
    virtual const std::string& StatusLineText() const = 0;
    virtual std::string VersionText() const = 0;
    virtual std::string SunriseText() const = 0;
    virtual std::string SunsetText() const = 0;
    virtual std::string RunTimeText() = 0;
    virtual std::string TotalSamplesText() = 0;
    // The debug switch of the status log: the publishers then log what they send and receive.
    virtual bool DebugLogging() const = 0;
    // The proxy the APRS report connects through (empty: none).
    virtual const std::string& AprsProxy() const = 0;
    // The time of day a document was stamped with (weather.xml), kept as the station's current time.
    virtual void SetCurrentTime(const platform::DosTime& time) = 0;
    virtual TTrendGraphs TrendGraphs() = 0;
    // The main window's client area.
    virtual platform::gfx::Bitmap WindowImage() = 0;

    // What publishing keeps on the station.
    virtual bool ServiceRunning(TPublishingService service) const = 0;
    virtual void SetServiceRunning(TPublishingService service, bool running) = 0;
    virtual TDdeItems& DdeItems() = 0;
    // The owner of what publishing adds to the window: its commands and the DDE conversation.
    virtual platform::TComponent* CommandOwner() = 0;
    // The pages the templates made (the upload sends them), and the files the upload sends besides.
    virtual platform::TStringList& GeneratedPages() = 0;
    virtual platform::TStringList& UploadList() = 0;
    // The eight streams of the weather posts (each post's send stream, then its receive stream).
    virtual platform::TMemoryStream& PostStream(int index) = 0;
    virtual void EnableTransferCommand(TTransferCommand command, bool enabled) = 0;
    // A transfer that was started has ended (or could not start): the upload's session is over, a post's
    // reply handled, the APRS report's connection closed. `outcome` is the line that tells how it ended
    // (the line logged for it, or that would have been, had the success message been on or the
    // failure not been told before in a run of them). A transfer asked for while one runs is skipped
    // and tells nothing: the running one ends.
    virtual void TransferEnded(TTransferCommand transfer, bool succeeded, const std::string& outcome) = 0;

protected:
    ~TPublishingHost() = default;
};
