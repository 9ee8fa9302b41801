#pragma once
// The main window object: the station controller (start-up, settings, status log, session, scan, cycle,
// scheduler, data logs, shutdown) and the display handlers of the windows. Its methods are defined in
// station/, by concern. It owns the latest readings (CurrentReadings) and its 1-Wire session
// (BusSession). Its publishing side (Publishing.h, reached through Publishing()) sees it through the
// narrow PublishingHost.h, and the scan's progress goes to the splash (SplashScreen.h); both are made
// through StationOptions by the layers above. It is a form of the control tree: the barometer dial and
// the six trend graphs lie on it, and its picture (GetFormImage) is what the main window shows.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "components/RXShell.h"
#include "components/Verslab.h"
#include "gauges/AbPrtTrd.h"
#include "gauges/AbRMeter.h"
#include "gauges/AbTrend.h"
#include "onewire/Microlan.h"
#include "platform/CatchAndLog.h"
#include "platform/Component.h"
#include "platform/DateTime.h"
#include "platform/EventLoop.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/MemoryStream.h"
#include "platform/StringList.h"
#include "platform/Timer.h"
#include "platform/controls/Application.h"
#include "platform/controls/Form.h"
#include "platform/controls/Headless.h"
#include "platform/controls/Menus.h"
#include "station/CurrentReadings.h"
#include "station/DdeItems.h"
#include "station/LogLimiter.h"
#include "station/Messages.h"
#include "station/Publishing.h"
#include "station/PublishingHost.h"
#include "station/StationOptions.h"
#include "station/StationSettings.h"

namespace net {
class TWSocket;
}
class TCommandDesk;
class TPublishing;
class TSensorSet;
class TSplashScreen;
class TStationHost;

class TMainForm : public platform::TForm, public TPublishingHost {
public:
    explicit TMainForm(platform::TComponent* owner = nullptr);
    ~TMainForm() override;

    // Start-up and window lifecycle.
    void FormCreate(platform::TComponent* sender);
    void FormDestroy(platform::TComponent* sender);
    enum class TCloseAction { caNone, caHide, caFree, caMinimize };
    void FormClose(platform::TComponent* sender, TCloseAction& action);
    void AppRestore();
    void AppMinimize();
    void SetCaptionByDate();
    void CreateWorkFolders();
    void StartTimerTimer(platform::TComponent* sender);
    void LogApplicationException(const std::exception& e);

    // Settings.
    void LoadSettings();

    // Status log.
    // The window's steps of work run Logged (PublishingHost.h): an exception that leaves one is logged.
    void LogStatus(const std::string& text) override;
    void Openlog1Click(platform::TComponent* sender);
    void ClearStatusListClick(platform::TComponent* sender);
    void Clearlog1Click(platform::TComponent* sender);
    void LogStatusToFileCheckBoxClick(platform::TComponent* sender);
    void DbgCheckBoxClick(platform::TComponent* sender);
    // While one lives, every line logged is also added to its list, as shown and in UTF-8 (what a
    // keeper's command logged, Commands.h).
    class TLogCapture {
    public:
        TLogCapture(TMainForm& form, std::vector<std::string>& lines)
            : form_(form), outer_(form.logCapture_) {
            form.logCapture_ = &lines;
        }
        ~TLogCapture() { form_.logCapture_ = outer_; }
        TLogCapture(const TLogCapture&) = delete;
        TLogCapture& operator=(const TLogCapture&) = delete;

    private:
        TMainForm& form_;
        std::vector<std::string>* outer_;
    };

    // The keeper's commands given on the command line (CommandDesk.h): those that wait run now when the
    // station is between passes.
    void RunWaitingCommands();

    // Message map.
    void Dispatch(platform::TMessage& message) override;
    void RestoreFromTray();

    // Session start, restart and rescan. While no adapter answers, the start is tried again every
    // kSessionRetryMs (the start timer), quietly after its first failure; while it answers but no sensor
    // is found, the net is searched quietly as often, and the start runs in full once a device is there.
    static constexpr uint32_t kSessionRetryMs = Microlan::kAdapterRetryMs;
    void StartSessionAndReading();
    void RestartButtonClick(platform::TComponent* sender);
    void RescanMLanClick(platform::TComponent* sender);

    // Discovery and clean-up of the sensor objects. Quietly: without the splash and the title.
    void ScanMicroLAN(bool quietly = false);
    void ReportMissingSensors(const platform::TStringList& missing);
    void CleanupSensors();

    // Reading cycle and watchdog.
    void RunReadCycle(platform::TMessage& message);
    // Waits `ms` in the event loop, handling what arrives, or until done() holds; the pass's spacing and
    // the sensors' conversions wait this way.
    static void WaitHandlingMessages(uint32_t ms, const std::function<bool()>& done = {});
    void ASRTimer(platform::TComponent* sender);
    void LogTemperatureAlarm(platform::TMessage& message);
    // The four-line report of a memory fault the program caught itself.
    void LogAccessViolation(const platform::EAccessViolation& e);

    // One reading round.
    void ReadAllSensors();
    // Marks which groups of CurrentReadings are current (after each round).
    void MarkCurrentReadings();
    bool ReadWind();
    bool ReadRain();
    bool ReadBarometer();
    bool ReadCounters();
    bool ReadDS2438();
    bool ReadDS2450();
    bool ReadTemperatures();
    bool ReadHumidity();

    // Status line.
    void UpdateStatusLine();
    void DisplaySampleCount(platform::TMessage& message);
    std::string FormatStatusLine() const;
    std::string FormatTitle() const;

    // Service supervisor and scheduler.
    void SuperviseServices();
    void RunMinuteTasks();
    void RunTenMinuteTasks();
    void RunHourlyTasks();
    void RunDailyTasks();
    void RunMonthlyTasks();
    void RunSensorMaintenance();

    // Data logs.
    // Appends the record of now to the data log and returns it; empty when it failed before making it.
    std::string WriteDataLog();
    void WriteDailyLog();
    void BuildSummary(std::string& out);
    void WriteSummaryFile();
    void WriteNowFile();

    // Statistics resets.
    void ResetDailyStatistics();
    void TempStatResetClick(platform::TComponent* sender);
    void HumidityStatResetClick(platform::TComponent* sender);
    void BarometerStatResetClick(platform::TComponent* sender);
    void ResestHighMarkBaro(platform::TComponent* sender);
    void WindStatResetClick(platform::TComponent* sender);
    void DS2450StatResetClick(platform::TComponent* sender);
    void ResetRGaugeTodayClick(platform::TComponent* sender);
    void ResetRGaugeWeekClick(platform::TComponent* sender);
    void ResetRGaugeMonthClick(platform::TComponent* sender);
    void ResetRGaugeTotalClick(platform::TComponent* sender);

    // Shutdown and saving.
    void Unload1Click(platform::TComponent* sender);
    void SaveAllSensors();

    // Display side of the windows.
    void LogRunTime();
    std::string FormatRunTime();
    std::string FormatTotalSamples();
    void UpdateSunriseSunset();
    void SetGraphBackgroundColor(int color);
    void LoadGraphData();
    void SaveGraphData();
    void UpdateGraphs();
    // Appends the data log's record of now (WriteDataLog's, or made here when that is empty) to the
    // periodic list.
    void AddPeriodicLogLine(const std::string& record);
    void SaveGraphGIFs();
    void SavePlainGraphGIFs();
    // Draws `graph` with GraphPrintTrend into a 500 x 400 bitmap and encodes it as the station's GIF.
    void WriteGraphGIF(gauges::TAbTrend& graph, platform::TStream& out);
    void DisplayTemperature(platform::TMessage& message);
    void DisplayRain(platform::TMessage& message);
    void DisplayHumidity(platform::TMessage& message);
    void DisplayWind(platform::TMessage& message);
    void DisplayBarometer(platform::TMessage& message);
    void DisplayWindChillHeatIndex(platform::TMessage& message);
    void ConfigureTemperatureSensors();
    void ConfigureHumiditySensors();
    void ConfigureBarometer();
    void ConfigureWindSensors();
    void ConfigureRainGauge();
    void ConfigureDPWCGraph();
    void SetupDS2450Menu();
    void SetupDS2423Menu();
    void SetupDS2438Menu();
    // The sensor tree's command: puts the name of the DDE item that carries the selected node's value on
    // the clipboard; on a node with no item (no sensor, a switch, a coupler) the clipboard is left as it is.
    void CopyDDEItemNameToClipboardClick(platform::TComponent* sender);
    // The tree's commands on a node of a DS2450 channel: ResetSensorClick resets that channel's high and
    // low; WindDirectionDS2450SensorClick writes the DS2450's Type as WindDirection, so that the next
    // start takes it as the wind's direction sensor when the wind has none (the wind's vane, written to
    // its section at once, stays: one WindDirection only). On any other node they do nothing.
    void ResetSensorClick(platform::TComponent* sender);
    void WindDirectionDS2450SensorClick(platform::TComponent* sender);
    // A sensor of the tree by its serial (in any case), for the keeper's commands: SensorItemParts gives
    // the suffixes of the DDE items its nodes show, in node order (a DS2450's A to D, a humidity
    // sensor's H and T, a DS2438's V and T; none for a sensor of one item), or nothing when the station
    // has no such sensor; SelectSensorNode selects its node of part `part` (the index in those
    // suffixes), false when the tree shows none.
    static std::optional<std::vector<std::string>> SensorItemParts(const std::string& serial);
    bool SelectSensorNode(const std::string& serial, size_t part);

    // The publishing side (Publishing.h): the services the controller starts and stops, the posts, the
    // pages and the upload. Without one made by StationOptions, a side that publishes nothing.
    TPublishing& Publishing() { return *publishing_; }
    // Published handlers that no menu item or control is bound to: HTMLPreviewClick asks the system to
    // start the command line "weather.html" in the working folder (the headless shell records it and
    // opens nothing), whatever comes of it; GenerateXMLClick writes weather.xml with the [XML]
    // IncludeXSL setting.
    void HTMLPreviewClick(platform::TComponent* sender);
    void GenerateXMLClick(platform::TComponent* sender);
    // Sends one status-log line as a datagram to the [STATUS] port. False when the copy is not possible.
    bool SendStatusLogCopy(const std::string& line);
    // Opens the local diagnostic listener (127.0.0.1 port 10001).
    void StartDiagnosticListener();
    void UDPStatusSocketDataAvailable(const std::string& datagram);
    // The diagnostic listener and the socket of the status log's copy (owned by the window).
    net::TWSocket* UDPStatusSocket = nullptr;
    net::TWSocket* UDPSSocket = nullptr;
    // The diagnostic listener's bounds: per cause (a text that repeats), then on all its lines together;
    // its count of this second's and this minute's lines, and of what it did not log.
    struct TDiagnosticFlood {
        TLogLimiter causes{3, 1}; // a cause's first three lines, then one a minute
        uint32_t secondStart = 0, minuteStart = 0;
        int shown = 0, shownThisMinute = 0, excess = 0, foreign = 0;
        platform::TTimer* summary = nullptr; // tells what was not logged (UdpDiagnostics.cpp)
        bool summarized = false;             // a summary was told, at lastSummary
        uint32_t lastSummary = 0;
    } diagnosticFlood_;

    // Components of the window.
    platform::TMemo* DisplayMemo;
    platform::TStatusBar* StatusBar;
    platform::TCheckBox* LogStatusToFileCheckBox;
    platform::TCheckBox* DbgCheckBox;
    platform::TPageControl* PageControl;
    platform::TTabSheet *TabStatus, *TabHumidity, *TabWind, *TabDir, *TabRain;
    platform::TTreeView* SensorTreeView;
    // The sensor tree's pop-up menu and its item.
    platform::widgets::TPopupMenu* SensorTreePopup;
    platform::widgets::TMenuItem *CopyDDEItemNameToClipboard, *ResetSensor, *WindDirectionDS2450Sensor;
    platform::TButton* RestartButton;
    platform::TTimer* StartTimer;
    platform::TTimer* ASR;
    TRxTrayIcon* TrayIcon;
    platform::TLabel *CurrTemp, *WChillTemp, *RainResetTime, *SunRiseLabel, *SunSetLabel;
    // The value labels of the other kinds: the main humidity sensor's humidity and dew point, the wind's
    // speed, gust and direction, the rain of today and its rate per hour, the pressure's trend.
    platform::TLabel *CurrHumidity, *CurrDewpoint, *CurrWind, *CurrGust, *CurrWindDir, *CurrRainToday,
        *CurrRainRate, *BaroTrend;
    // The periodic list: one line of the data log's values at each data-log interval.
    platform::TMemo* PeriodicList;
    TfshVersionLabel* sBuild;
    platform::TMenuItem *Restore, *MinimizeToSysTray, *RescanMLan, *OpenStatusLog, *Unload1, *TempStatReset,
        *HumidityStatReset, *BarometerStatReset, *WindStatReset, *DS2450StatReset, *Raingauge,
        *ResetRGaugeToday, *ResetRGaugeWeek, *ResetRGaugeMonth, *ResetRGaugeTotal, *Resethighmark1,
        *ClearStatusList, *Clearlog1;
    // The entries of the counter and DS2438 kinds, shown when a scan finds them.
    platform::TMenuItem *DS2423Menu, *DS2438Menu;
    // "Transfer..." commands; a post disables its item while it is pending.
    platform::TMenuItem *PostAPRS, *PostToWeather4U, *PostServlet, *PosttoWeatherUnderground;

    // The barometer dial, the six trend graphs and the printer that draws a graph as an image.
    gauges::TAb270Meter* BaroMeter;
    gauges::TAbTrend *Temperature, *DPWC, *Humd, *Wind, *Dir, *Rain;
    gauges::TAbPrintTrend* GraphPrintTrend;

    // Working objects.
    std::unique_ptr<platform::TIniFile> IniFile;
    std::unique_ptr<platform::TStringList> GeneratedFiles;
    std::unique_ptr<platform::TStringList> UploadFileList;
    std::unique_ptr<platform::TMemoryStream> PostStreams[8];

    // Text fields cleared by the constructor.
    std::string APRSProxy;
    std::string TotalSamplesStart;

    // Main-window settings (korvane.ini).
    int TotalSamples = 0;
    int SaveGraphInterval = 30;
    int DPWCGraphMax = 50;
    int DPWCGraphMin = 0;
    // The unit DPWCGraphMin and DPWCGraphMax are in ("F" or "C"); empty until korvane.ini or the first
    // set-up of the dew point graph says it.
    std::string DPWCGraphUnit;
    uint8_t Day = 1;
    uint8_t Month = 1;
    int LastMinute = 0;
    int LastHour = 0;

    // The latest readings: written by the readers and the display handlers, read by the status line, the
    // data logs, the graphs and publishing. They start afresh with each window.
    TCurrentReadings CurrentReadings;
    // The station's 1-Wire session; its host installs it for the bus layer (Microlan::Bus()).
    Microlan::TBusSession BusSession;
    // The day's sunrise and sunset as the labels show them (UpdateSunriseSunset); empty until known.
    std::string SunriseTime, SunsetTime;

    // The station as publishing sees it (PublishingHost.h).
    const TCurrentReadings& Readings() const override { return CurrentReadings; }
    const TStationSettings& Settings() const override;
    Humidity* MainHumidity() const override;
    const std::string& StatusLineText() const override;
    std::string VersionText() const override;
    std::string SunriseText() const override { return SunriseTime; }
    std::string SunsetText() const override { return SunsetTime; }
    std::string RunTimeText() override { return FormatRunTime(); }
    std::string TotalSamplesText() override { return FormatTotalSamples(); }
    bool DebugLogging() const override;
    const std::string& AprsProxy() const override { return APRSProxy; }
    void SetCurrentTime(const platform::DosTime& time) override { CurrentTime = time; }
    TTrendGraphs TrendGraphs() override;
    platform::gfx::Bitmap WindowImage() override { return GetFormImage(); }
    bool ServiceRunning(TPublishingService service) const override;
    void SetServiceRunning(TPublishingService service, bool running) override;
    TDdeItems& DdeItems() override { return Dde; }
    platform::TComponent* CommandOwner() override { return this; }
    platform::TStringList& GeneratedPages() override { return *GeneratedFiles; }
    platform::TStringList& UploadList() override { return *UploadFileList; }
    platform::TMemoryStream& PostStream(int index) override { return *PostStreams[index]; }
    void EnableTransferCommand(TTransferCommand command, bool enabled) override;
    // Tells the keeper's command that waits for the transfer (CommandDesk.h).
    void TransferEnded(TTransferCommand transfer, bool succeeded, const std::string& outcome) override;

    // Run state.
    int64_t StartTime = 0;
    platform::DosDate CurrentDate;
    platform::DosTime CurrentTime;
    uint32_t LastReadTick = 0;
    uint32_t LastPassTick = 0;
    bool DDERunning = false;
    bool HTTPRunning = false;
    bool TCPRunning = false;
    bool UDPRunning = false;
    // The session start failed and is tried again (by the start timer).
    bool SessionStartFailing = false;
    // The session start found no sensor; the net is searched again (by the start timer).
    bool NoSensorsFound = false;
    // A session start is due: from the window's making, and from a restart, until the start has run.
    // The keeper's commands wait for it (CommandDesk.h).
    bool SessionStartDue = true;
    // The DDE conversation and items while the DDE service runs.
    TDdeItems Dde;

    // The reading chain: a pass in progress defers Unload, Restart and Rescan to its end, and only the
    // newest chain (the watchdog starts a new one) posts its next pass.
    struct TReadChain {
        bool PassInProgress = false;
        bool UnloadRequested = false;
        bool RestartRequested = false;
        bool RescanRequested = false;
        bool Unloading = false;
        unsigned Newest = 0; // the number of the newest chain
    } Chain;

    // The sensor tree's root, the node the scan hangs what it finds under.
    platform::TTreeNode* MicroLANNode = nullptr;

private:
    void RunPass(unsigned chain);
    void RunDeferredCommands();
    void RunShutdown();
    void CreateComponents();
    void CreateGauges();
    void WriteGraphImages(bool legend);
    void ConfigureTemperatureGraph();
    void ConfigureHumidityGraph();
    void ConfigureBarometerDial();
    void ConfigureWindGraphs();
    void ConfigureRainGraph();
    void CreateWorkingObjects();
    void CreateWorkFolder(const std::string& path, const std::string& suffix, const std::string& failure);
    // The values of the monthly data log's record, without its leading line feed.
    std::string FormatDataRecord();
    // Appends a line to a list of the window; one that holds more than kListLimit lines loses its oldest
    // kListTrim first.
    static constexpr int kListLimit = 200;
    static constexpr int kListTrim = 50;
    static void AddListLine(platform::TMemo& list, const std::string& line);
    // The station's sensor objects, reached through SensorSet() while the window lives.
    std::unique_ptr<TSensorSet> sensors_;
    // The window's parts in the layers around the controller (StationOptions).
    std::unique_ptr<TStationHost> host_;
    std::unique_ptr<TPublishing> publishing_;
    std::unique_ptr<TSplashScreen> splash_;
    std::unique_ptr<TCommandDesk> commands_;
    std::vector<std::string>* logCapture_ = nullptr; // TLogCapture
    bool logCopyBusy_ = false;
    bool logCopyUnavailableReported_ = false;
    // Holds back lines that repeat too often (LogLimiter.h); the timer tells what it held, a minute after
    // the first of it.
    void TellHeldBackLater();
    TLogLimiter logLimiter_;
    platform::TTimer* heldBackSummary_ = nullptr;
    std::string nowText_;               // what DATA\NOW.TXT holds (WriteNowFile)
    bool titleCarriesReadings_ = false; // the title shows readings, no longer the station's state
    // What the wind and rain labels were last made of (Display.cpp): the wind's speed, gust, direction
    // and unit; the rain's counts today, its rate, its unit and counts per inch.
    using TWindLabels = std::tuple<float, float, int, int>;
    using TRainLabels = std::tuple<uint32_t, double, int, int>;
    std::optional<TWindLabels> windLabels_;
    std::optional<TRainLabels> rainLabels_;
    // The graph images are drawn into this one bitmap, made fresh for each (the images share a size).
    platform::gfx::Bitmap graphImage_;
    // What its summary was made from: the rounds read, the last minute of the minute tasks, the clock's
    // minute.
    struct NowSource {
        unsigned rounds = 0;
        int lastMinute = -1;
        int64_t minute = -1;
        bool operator==(const NowSource&) const = default;
    } nowSource_;
};

extern TMainForm* MainForm;
extern std::string LastStatusText;
extern bool SessionRunning;
extern bool SensorWindowOpen[7];
extern unsigned SampleCount;
extern int MainTemperatureSensor;
extern int MainHumiditySensor;
extern std::string StatusLine;
