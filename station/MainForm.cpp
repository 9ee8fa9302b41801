// Start-up and lifecycle of the main window: construction, the application-wide exception logger,
// the caption by date, tray minimise/restore, the work folders, the one-shot start timer, and the two
// published commands of the pages that nothing is bound to.
#include <exception>
#include <utility>

#include "extra/ComponentUnits.h"
#include "gauges/AbProc.h"
#include "net/Httpsrv.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "onewire/iButton.h"
#include "platform/DescriptorLimit.h"
#include "platform/Exceptions.h"
#include "platform/FileProblems.h"
#include "platform/Files.h"
#include "platform/Shell.h"
#include "platform/System.h"
#include "station/CommandDesk.h"
#include "station/Publishing.h"
#include "station/SplashScreen.h"
#include "station/StationHost.h"
#include "station/Unit1.h"

using namespace platform;

TMainForm* MainForm = nullptr;
bool SessionRunning = false;
bool SensorWindowOpen[7] = {};
unsigned SampleCount = 0;
int MainTemperatureSensor = 0;
int MainHumiditySensor = 0;
TStationSettings StationSettings;
TStationOptions StationOptions;

namespace {
// Each start-up step runs on its own, so that one failing step does not stop the others.
const ErrorTexts kStartupStep{"SERVER: Error: ", "SERVER: Error starting"};
} // namespace

TMainForm::TMainForm(TComponent* owner) : TForm(owner, "MainForm") {
    // The component units linked beside the window register their clipboard format and cursors, the
    // gauges their hand cursor.
    extra::StartComponentUnits();
    gauges::AbInstallCursors();
    MainForm = this;
    // Every connection of the web server is a descriptor: the station may have as many as its ceiling
    // of connections takes, where the system allows.
    RaiseDescriptorLimit(net::kHttpDescriptorsWanted);
    sensors_ = std::make_unique<TSensorSet>();
    InstallSensorSet(sensors_.get());
    host_ = std::make_unique<TStationHost>(*this);
    if (StationOptions.MakePublishing) publishing_ = StationOptions.MakePublishing(*this);
    if (!publishing_) publishing_ = std::make_unique<TPublishing>();
    if (StationOptions.MakeSplash) splash_ = StationOptions.MakeSplash();
    // Files the disk refuses and settings that do not parse are told in the status log, each once.
    ForgetProblems();
    SetProblemReporter([this](const std::string& text) { LogStatus("SERVER: " + text); });
    CreateComponents();
    CurrentDate = GetDate(); // log lines written during construction carry today's date
    APRSProxy.clear();
    TotalSamplesStart.clear();
    SetBounds(0, 0, 427, 620);
    Logged(kStartupStep, [&] { IniFile = std::make_unique<TIniFile>(SettingsFileName(ExeName())); });
    Logged(kStartupStep, [&] { CreateWorkingObjects(); });
    Logged(kStartupStep, [&] { StartDiagnosticListener(); });
    // The keeper's commands come through a socket in the station's folder.
    Logged(kStartupStep, [&] {
        commands_ = std::make_unique<TCommandDesk>(*this);
        commands_->Open(AppPath() + TCommandDesk::kSocketName);
    });
    // The sensors' long waits (a session's start, a conversion) let the loop go on while a pass runs:
    // the pass defers what would free the sensors or start another reading. Elsewhere they only sleep.
    SetPumpMessagesHook([this](uint32_t ms) {
        if (Chain.PassInProgress)
            WaitHandlingMessages(ms);
        else
            platform::Sleep(ms);
    });

    // The shared state starts afresh with each station, as at program start (a process that makes
    // several stations, such as the tests', must not carry one's wind spikes into the next).
    SpikeCount = 0;
    SessionRunning = false;
    for (bool& open : SensorWindowOpen)
        open = false;
    CurrentDate = GetDate();
    CurrentTime = GetTime();
    StartTime = UnixTime();
    LastReadTick = LastPassTick = GetTickCount();

    TabRain->SetVisible(false);
    TabHumidity->SetVisible(false);
    TabWind->SetVisible(false);
    TabDir->SetVisible(false);

    Logged(kStartupStep, [&] { LoadSettings(); });
    Logged(kStartupStep, [&] { LoadGraphData(); });
    Logged(kStartupStep, [&] { CreateWorkFolders(); });
    Logged(kStartupStep, [&] { UpdateSunriseSunset(); });
    StartTimer->SetEnabled(true);
    FormCreate(this);
}

TMainForm::~TMainForm() {
    commands_.reset(); // what waits is told that the station stops; the socket goes
    FormDestroy(this);
    SetProblemReporter(nullptr);
    IniFile.reset();
    TrayIcon->Hide();
    if (MainForm == this) {
        MainForm = nullptr;
        SetPumpMessagesHook(nullptr);
    }
    // The sensor objects go with the window that owns them.
    if (&SensorSet() == sensors_.get()) InstallSensorSet(nullptr);
    sensors_.reset();
    host_.reset();
    Hooks().exitProcess(0);
}

void TMainForm::CreateComponents() {
    auto control = [this](const char* name) { return MakeOwned<TControl>(this, name); };
    DisplayMemo = MakeOwned<TMemo>(this, "DisplayMemo");
    StatusBar = MakeOwned<TStatusBar>(this, "StatusBar");
    LogStatusToFileCheckBox = MakeOwned<TCheckBox>(this, "LogStatusToFileCheckBox");
    LogStatusToFileCheckBox->SetChecked(true);
    LogStatusToFileCheckBox->OnClick = [this](TComponent* s) { LogStatusToFileCheckBoxClick(s); };
    DbgCheckBox = MakeOwned<TCheckBox>(this, "DbgCheckBox");
    DbgCheckBox->OnClick = [this](TComponent* s) { DbgCheckBoxClick(s); };
    PageControl = MakeOwned<TPageControl>(this, "PageControl");
    TabStatus = control("TabStatus");
    TabHumidity = control("TabHumidity");
    TabWind = control("TabWind");
    TabDir = control("TabDir");
    TabRain = control("TabRain");
    PageControl->SetActivePage(TabStatus);
    SensorTreeView = MakeOwned<TTreeView>(this, "SensorTreeView");
    SensorTreePopup = MakeOwned<widgets::TPopupMenu>(this, "SensorTreePopup");
    CopyDDEItemNameToClipboard = MakeOwned<widgets::TMenuItem>(SensorTreePopup, "CopyDDEItemNameToClipboard");
    CopyDDEItemNameToClipboard->Caption = "Copy DDE item name to clipboard";
    CopyDDEItemNameToClipboard->OnClick = [this](TComponent* s) { CopyDDEItemNameToClipboardClick(s); };
    SensorTreePopup->Items()->Add(CopyDDEItemNameToClipboard);
    auto treeItem = [&](const char* name, const char* caption, void (TMainForm::*handler)(TComponent*)) {
        auto* item = MakeOwned<widgets::TMenuItem>(SensorTreePopup, name);
        item->Caption = caption;
        item->OnClick = [this, handler](TComponent* s) { (this->*handler)(s); };
        SensorTreePopup->Items()->Add(item);
        return item;
    };
    ResetSensor = treeItem("ResetSensor", "Reset high/low", &TMainForm::ResetSensorClick);
    WindDirectionDS2450Sensor = treeItem("WindDirectionDS2450Sensor", "Wind direction sensor",
                                         &TMainForm::WindDirectionDS2450SensorClick);
    SensorTreeView->SetPopupMenu(SensorTreePopup);
    RestartButton = control("RestartButton");
    RestartButton->SetVisible(false);
    RestartButton->OnClick = [this](TComponent* s) { RestartButtonClick(s); };
    StartTimer = MakeOwned<TTimer>(this, "StartTimer");
    StartTimer->SetEnabled(false);
    StartTimer->SetInterval(1000);
    StartTimer->OnTimer = [this](TTimer* t) { StartTimerTimer(t); };
    ASR = MakeOwned<TTimer>(this, "ASR");
    ASR->SetEnabled(false);
    ASR->SetInterval(300000);
    ASR->OnTimer = [this](TTimer* t) { ASRTimer(t); };
    TrayIcon = MakeOwned<TRxTrayIcon>(this, "TrayIcon");
    TrayIcon->OnDblClick = [this] { AppRestore(); };
    const std::pair<TLabel**, const char*> labels[] = {
        {&CurrTemp, "CurrTemp"},         {&WChillTemp, "WChillTemp"},       {&RainResetTime, "RainResetTime"},
        {&SunRiseLabel, "SunRiseLabel"}, {&SunSetLabel, "SunSetLabel"},     {&CurrHumidity, "CurrHumidity"},
        {&CurrDewpoint, "CurrDewpoint"}, {&CurrWind, "CurrWind"},           {&CurrGust, "CurrGust"},
        {&CurrWindDir, "CurrWindDir"},   {&CurrRainToday, "CurrRainToday"}, {&CurrRainRate, "CurrRainRate"},
        {&BaroTrend, "BaroTrend"}};
    for (auto [label, name] : labels)
        *label = control(name);
    PeriodicList = MakeOwned<TMemo>(this, "PeriodicList");
    sBuild = MakeOwned<TfshVersionLabel>(this, "sBuild");
    sBuild->SetVisible(false);
    sBuild->SetCaption(BuildText(ExeName()));
    Restore = control("Restore");
    Restore->OnClick = [this](TComponent*) { AppRestore(); };
    MinimizeToSysTray = control("MinimizeToSysTray");
    MinimizeToSysTray->OnClick = [this](TComponent*) { AppMinimize(); };
    auto menu = [&](const char* name, void (TMainForm::*handler)(TComponent*)) {
        TControl* item = control(name);
        item->OnClick = [this, handler](TComponent* s) { (this->*handler)(s); };
        return item;
    };
    RescanMLan = menu("RescanMLan", &TMainForm::RescanMLanClick);
    OpenStatusLog = menu("OpenStatusLog", &TMainForm::Openlog1Click);
    OpenStatusLog->SetCaption("KORVANE.LOG");
    Unload1 = menu("Unload1", &TMainForm::Unload1Click);
    TempStatReset = menu("TempStatReset", &TMainForm::TempStatResetClick);
    HumidityStatReset = menu("HumidityStatReset", &TMainForm::HumidityStatResetClick);
    BarometerStatReset = menu("BarometerStatReset", &TMainForm::BarometerStatResetClick);
    WindStatReset = menu("WindStatReset", &TMainForm::WindStatResetClick);
    DS2450StatReset = menu("DS2450StatReset", &TMainForm::DS2450StatResetClick);
    Raingauge = control("Raingauge");
    ResetRGaugeToday = menu("ResetRGaugeToday", &TMainForm::ResetRGaugeTodayClick);
    ResetRGaugeWeek = menu("ResetRGaugeWeek", &TMainForm::ResetRGaugeWeekClick);
    ResetRGaugeMonth = menu("ResetRGaugeMonth", &TMainForm::ResetRGaugeMonthClick);
    ResetRGaugeTotal = menu("ResetRGaugeTotal", &TMainForm::ResetRGaugeTotalClick);
    Resethighmark1 = menu("Resethighmark1", &TMainForm::ResestHighMarkBaro);
    ClearStatusList = menu("ClearStatusList", &TMainForm::ClearStatusListClick);
    Clearlog1 = menu("Clearlog1", &TMainForm::Clearlog1Click);
    DS2423Menu = control("DS2423Menu");
    DS2423Menu->SetCaption("DS2423");
    DS2438Menu = control("DS2438Menu");
    DS2438Menu->SetCaption("DS2438");
    auto transfer = [&](const char* name, const char* caption, void (TPublishing::*post)()) {
        TControl* item = control(name);
        item->SetCaption(caption);
        item->OnClick = [this, post](TComponent*) { (Publishing().*post)(); };
        return item;
    };
    PostAPRS = transfer("PostAPRS", "Post to APRS", &TPublishing::PostToAPRS);
    PostToWeather4U = transfer("PostToWeather4U", "Post to W4U", &TPublishing::PostToW4U);
    PostServlet = transfer("PostServlet", "Post to Servlet", &TPublishing::PostToServlet);
    PosttoWeatherUnderground = transfer("PosttoWeatherUnderground", "Post to WU", &TPublishing::PostToWUnder);
    // The items of the kinds a scan finds are shown by the set-up after the scan.
    for (TControl* hidden :
         {HumidityStatReset, WindStatReset, DS2450StatReset, Raingauge, DS2423Menu, DS2438Menu})
        hidden->SetVisible(false);
    CreateGauges();
}

void TMainForm::CreateWorkingObjects() {
    GeneratedFiles = std::make_unique<TStringList>();
    UploadFileList = std::make_unique<TStringList>();
    for (auto& stream : PostStreams)
        stream = std::make_unique<TMemoryStream>();
}

void TMainForm::FormCreate(TComponent*) {
    Application->SetOnException([this](const std::exception& e) { LogApplicationException(e); });
}

void TMainForm::FormDestroy(TComponent*) {
    Application->SetOnException(nullptr);
}

void TMainForm::LogApplicationException(const std::exception& e) {
    LogStatus("SERIOUS ERROR: " + ExceptionClassName(e) + "/" + e.what());
}

void TMainForm::FormClose(TComponent*, TCloseAction& action) {
    Logged(Named("SERVER: Error closing form"), [&] {
        if (!Application->Terminated()) {
            action = TCloseAction::caNone;
            AppMinimize();
        } else {
            SessionRunning = false;
        }
    });
}

void TMainForm::AppMinimize() {
    try {
        if (!Application->Terminated()) {
            Application->Minimize();
            Hide();
        }
        Restore->SetEnabled(true);
        MinimizeToSysTray->SetEnabled(false);
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error minimizing form: " + std::string(e.what()));
    } catch (...) {
        LogStatus("SERVER: Error minimizing form");
        Restore->SetEnabled(true);
        MinimizeToSysTray->SetEnabled(false);
    }
}

void TMainForm::AppRestore() {
    try {
        Show();
        Application->Restore();
        Restore->SetEnabled(false);
        MinimizeToSysTray->SetEnabled(true);
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error showing form: " + std::string(e.what()));
    } catch (...) {
        LogStatus("SERVER: Error showing form");
        Restore->SetEnabled(false);
        MinimizeToSysTray->SetEnabled(true);
    }
}

void TMainForm::RestoreFromTray() {
    AppRestore();
}

void TMainForm::SetCaptionByDate() {
    Logged(Named("SERVER: Error displaying info"), [&] {
        if (Month == 12 && Day >= 24 && Day <= 26)
            SetCaption("Malvoren Weather Station - MERRY CHRISTMAS!");
        else if (Month == 1 && Day < 3)
            SetCaption("Malvoren Weather Station - HAPPY NEW YEAR!");
        else
            SetCaption("Malvoren Weather Station");
    });
}

void TMainForm::CreateWorkFolder(const std::string& path, const std::string& suffix,
                                 const std::string& failure) {
    if (DirectoryExists(path)) return;
    if (CreateDir(path))
        LogStatus("Created " + path + suffix);
    else
        LogStatus(failure);
}

void TMainForm::CreateWorkFolders() {
    CreateWorkFolder(AppPath() + "DATA", " for LOG output.", "Can't create subdirectory DATA!");
    CreateWorkFolder(StationSettings.HTMLDir, " for HTML temporary output.",
                     "Can't create subdirectory " + StationSettings.HTMLDir + "!");
    CreateWorkFolder(StationSettings.TEMPLATEDir, " for templates.",
                     "Can't create subdirectory " + StationSettings.TEMPLATEDir + "!");
}

void TMainForm::StartTimerTimer(TComponent*) {
    Logged("SERVER: Error starting server!", [&] {
        StartTimer->SetEnabled(false);
        PostMessage(Handle(), MsgStartSession, 1, 1);
    });
}

void TMainForm::HTMLPreviewClick(TComponent* sender) {
    (void)sender;
    (void)ShellOpen("weather.html");
}

void TMainForm::GenerateXMLClick(TComponent* sender) {
    (void)sender;
    Publishing().WriteWeatherXML(StationSettings.XMLIncludeXSL);
}

void TMainForm::RunWaitingCommands() {
    if (commands_) commands_->RunWaiting();
}
