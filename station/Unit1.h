#pragma once
// The main window object: the station controller's share of it (start-up, settings, status log,
// session, cycle, scheduler, data logs, shutdown), the display handlers of the windows, and the
// publishing calls. Its methods are defined in station/, ui/ and publish/ by concern.
#include <cstdint>
#include <memory>
#include <string>

#include "components/RXShell.h"
#include "components/Verslab.h"
#include "platform/Application.h"
#include "platform/Component.h"
#include "platform/Controls.h"
#include "platform/DateTime.h"
#include "platform/EventLoop.h"
#include "platform/IniFile.h"
#include "platform/MemoryStream.h"
#include "platform/StringList.h"
#include "platform/Timer.h"
#include "station/CurrentReadings.h"
#include "station/Messages.h"
#include "station/StationSettings.h"

class TMainForm : public platform::TComponent, public platform::MessageTarget {
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
    void LogStatus(const std::string& text);
    void Openlog1Click(platform::TComponent* sender);
    void ClearStatusListClick(platform::TComponent* sender);
    void Clearlog1Click(platform::TComponent* sender);
    void LogStatusToFileCheckBoxClick(platform::TComponent* sender);
    void DbgCheckBoxClick(platform::TComponent* sender);

    // Message map.
    void Dispatch(platform::TMessage& message) override;
    void RestoreFromTray();

    // Session (completed by the running-station work).
    void StartSessionAndReading();

    // Display side of the windows.
    void LogRunTime();
    std::string FormatRunTime();
    std::string FormatTotalSamples();
    void UpdateSunriseSunset();
    void SetGraphBackgroundColor(int color);
    void LoadGraphData();
    void SaveGraphData();

    // Publishing services that the controller starts, stops and calls.
    void StartDDEServices();
    void StopDDEServices();
    void StartHTTPServices();
    void StopHTTPServices();
    void StartTCPServices();
    void StopTCPServices();
    void StartUDPServices();
    void StopUDPServices();
    void SendUDPStatus(const std::string& text);
    // Sends one status-log line as a datagram to the [STATUS] port. False when the copy is not possible.
    bool SendStatusLogCopy(const std::string& line);
    // Opens the local diagnostic listener (127.0.0.1 port 10001).
    void StartDiagnosticListener();
    void UDPStatusSocketDataAvailable(const std::string& datagram);

    // Components of the window.
    platform::TMemo* DisplayMemo;
    platform::TStatusBar* StatusBar;
    platform::TCheckBox* LogStatusToFileCheckBox;
    platform::TCheckBox* DbgCheckBox;
    platform::TPageControl* PageControl;
    platform::TTabSheet *TabStatus, *TabHumidity, *TabWind, *TabDir, *TabRain;
    platform::TTreeView* SensorTreeView;
    platform::TButton* RestartButton;
    platform::TTimer* StartTimer;
    platform::TTimer* ASR;
    TRxTrayIcon* TrayIcon;
    platform::TLabel *CurrTemp, *WChillTemp, *RainResetTime, *SunRiseLabel, *SunSetLabel;
    TfshVersionLabel* sBuild;
    platform::TMenuItem *Restore, *MinimizeToSysTray, *RescanMLan, *OpenStatusLog, *Unload1, *TempStatReset,
        *HumidityStatReset, *BarometerStatReset, *WindStatReset, *DS2450StatReset, *Raingauge, *ResetRGaugeToday,
        *ResetRGaugeWeek, *ResetRGaugeMonth, *ResetRGaugeTotal, *Resethighmark1;

    // Window state (headless).
    bool Visible = false;
    int Width = 0;
    std::string Caption;
    // Every status-log line is also written to standard output, as the memo shows it (tests turn the
    // default off before constructing the window).
    static inline bool EchoLogToStdoutDefault = true;
    bool EchoLogToStdout = EchoLogToStdoutDefault;

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
    uint8_t Day = 1;
    uint8_t Month = 1;
    int LastMinute = 0;
    int LastHour = 0;

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

private:
    void CreateComponents();
    void CreateWorkingObjects();
    void CreateWorkFolder(const std::string& path, const std::string& suffix, const std::string& failure);
    bool logCopyBusy_ = false;
    bool logCopyUnavailableReported_ = false;
};

extern TMainForm* MainForm;
extern std::string LastStatusText;
extern bool SessionRunning;
extern bool SensorWindowOpen[7];
extern bool DebugEnabled; // the program-wide debug flag (state of DbgCheckBox)
extern unsigned SampleCount;
extern int MainTemperatureSensor;
extern int MainHumiditySensor;
