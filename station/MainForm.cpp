// Start-up and lifecycle of the main window: construction, the application-wide exception logger,
// the caption by date, tray minimise/restore, the work folders and the one-shot start timer.
#include <exception>

#include "platform/Exceptions.h"
#include "platform/FileProblems.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "station/Unit1.h"

using namespace platform;

TMainForm* MainForm = nullptr;
bool SessionRunning = false;
bool SensorWindowOpen[7] = {};
bool DebugEnabled = false;
unsigned SampleCount = 0;
int MainTemperatureSensor = 0;
int MainHumiditySensor = 0;
TCurrentReadings CurrentReadings;
int WindDirectionBin = 0;
int WindCompassPoint = 0;
int WindDirectionDegrees = 0;
TStationSettings StationSettings;

namespace {

// Runs one start-up step on its own, so that one failing step does not stop the others.
template <class F> void Step(TMainForm& form, F&& step) {
    try {
        step();
    } catch (const std::exception& e) {
        form.LogStatus("SERVER: Error: " + std::string(e.what()));
    } catch (...) {
        form.LogStatus("SERVER: Error starting");
    }
}

} // namespace

TMainForm::TMainForm(TComponent* owner) : TComponent(owner, "MainForm") {
    MainForm = this;
    // Files the disk refuses and settings that do not parse are told in the status log, each once.
    ForgetProblems();
    SetProblemReporter([this](const std::string& text) { LogStatus("SERVER: " + text); });
    CreateComponents();
    CurrentDate = GetDate(); // log lines written during construction carry today's date
    APRSProxy.clear();
    TotalSamplesStart.clear();
    Width = 427;
    Step(*this, [&] { IniFile = std::make_unique<TIniFile>(SettingsFileName(ExeName())); });
    Step(*this, [&] { CreateWorkingObjects(); });
    Step(*this, [&] { StartDiagnosticListener(); });

    CurrentReadings = TCurrentReadings{};
    WindDirectionBin = WindCompassPoint = WindDirectionDegrees = 0;
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

    Step(*this, [&] { LoadSettings(); });
    Step(*this, [&] { LoadGraphData(); });
    Step(*this, [&] { CreateWorkFolders(); });
    Step(*this, [&] { UpdateSunriseSunset(); });
    StartTimer->SetEnabled(true);
    FormCreate(this);
}

TMainForm::~TMainForm() {
    FormDestroy(this);
    SetProblemReporter(nullptr);
    IniFile.reset();
    TrayIcon->Hide();
    if (MainForm == this) MainForm = nullptr;
    Hooks().exitProcess(0);
}

void TMainForm::CreateComponents() {
    auto control = [this](const char* name) { return new TControl(this, name); };
    DisplayMemo = new TMemo(this, "DisplayMemo");
    StatusBar = new TStatusBar(this, "StatusBar");
    LogStatusToFileCheckBox = new TCheckBox(this, "LogStatusToFileCheckBox");
    LogStatusToFileCheckBox->SetChecked(true);
    LogStatusToFileCheckBox->OnClick = [this](TComponent* s) { LogStatusToFileCheckBoxClick(s); };
    DbgCheckBox = new TCheckBox(this, "DbgCheckBox");
    DbgCheckBox->OnClick = [this](TComponent* s) { DbgCheckBoxClick(s); };
    PageControl = new TPageControl(this, "PageControl");
    TabStatus = control("TabStatus");
    TabHumidity = control("TabHumidity");
    TabWind = control("TabWind");
    TabDir = control("TabDir");
    TabRain = control("TabRain");
    PageControl->SetActivePage(TabStatus);
    SensorTreeView = new TTreeView(this, "SensorTreeView");
    RestartButton = control("RestartButton");
    RestartButton->SetVisible(false);
    RestartButton->OnClick = [this](TComponent* s) { RestartButtonClick(s); };
    StartTimer = new TTimer(this, "StartTimer");
    StartTimer->SetEnabled(false);
    StartTimer->SetInterval(1000);
    StartTimer->OnTimer = [this](TTimer* t) { StartTimerTimer(t); };
    ASR = new TTimer(this, "ASR");
    ASR->SetEnabled(false);
    ASR->SetInterval(300000);
    ASR->OnTimer = [this](TTimer* t) { ASRTimer(t); };
    TrayIcon = new TRxTrayIcon(this, "TrayIcon");
    TrayIcon->OnDblClick = [this] { AppRestore(); };
    CurrTemp = control("CurrTemp");
    WChillTemp = control("WChillTemp");
    RainResetTime = control("RainResetTime");
    SunRiseLabel = control("SunRiseLabel");
    SunSetLabel = control("SunSetLabel");
    sBuild = new TfshVersionLabel(this, "sBuild");
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
    // The reset items of the kinds a scan finds are shown by the set-up after the scan.
    for (TControl* hidden : {HumidityStatReset, WindStatReset, DS2450StatReset, Raingauge})
        hidden->SetVisible(false);
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
    try {
        if (!Application->Terminated()) {
            action = TCloseAction::caNone;
            AppMinimize();
        } else {
            SessionRunning = false;
        }
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error closing form: " + std::string(e.what()));
    } catch (...) {
        LogStatus("SERVER: Error closing form");
    }
}

void TMainForm::AppMinimize() {
    try {
        if (!Application->Terminated()) {
            Application->Minimize();
            Visible = false;
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
        Visible = true;
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
    try {
        if (Month == 12 && Day >= 24 && Day <= 26)
            Caption = "Malvoren Weather Station - MERRY CHRISTMAS!";
        else if (Month == 1 && Day < 3)
            Caption = "Malvoren Weather Station - HAPPY NEW YEAR!";
        else
            Caption = "Malvoren Weather Station";
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error displaying info: " + std::string(e.what()));
    } catch (...) {
        LogStatus("SERVER: Error displaying info");
    }
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
    try {
        StartTimer->SetEnabled(false);
        PostMessage(Handle(), MsgStartSession, 1, 1);
    } catch (...) {
        LogStatus("SERVER: Error starting server!");
    }
}
