// The orderly end (Unload) and the save of every sensor. Each step runs on its own, so that one failure
// (say, the trend files) never costs the sensors' counts.
#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/DataFiles.h"
#include "onewire/Humidity.h"
#include "onewire/Microlan.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Exceptions.h"
#include "platform/Strings.h"
#include "station/StationHost.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

const ErrorTexts kShutdownStep = Named("SERVER: Shutdown error");

void PumpAndWait() {
    Application->ProcessMessages();
    platform::Sleep(200);
}

} // namespace

void TMainForm::Unload1Click(TComponent*) {
    if (Chain.Unloading || Chain.UnloadRequested) return; // its own pumping can dispatch a second click
    if (Chain.PassInProgress) {
        // Inside a pass (perhaps inside a sensor's sample): the pass ends first, then shuts down.
        Chain.UnloadRequested = true;
        SessionRunning = false;
        return;
    }
    RunShutdown();
}

void TMainForm::RunShutdown() {
    Chain.Unloading = true;
    Chain.UnloadRequested = false;
    SessionRunning = false;
    Logged(kShutdownStep, [&] {
        Application->SetTitle("Saving data...");
        LogStatus("SERVER: Saving data...");
        TrayIcon->SetAnimated(false);
        LogRunTime();
    });
    Logged(kShutdownStep, [&] {
        TIniFile::Batch together; // the dew point graph's range with its unit
        IniFile->WriteInteger("HTML", "DPWCGraphMax", DPWCGraphMax);
        IniFile->WriteInteger("HTML", "DPWCGraphMin", DPWCGraphMin);
        if (!DPWCGraphUnit.empty()) IniFile->WriteString("HTML", "DPWCGraphUnit", DPWCGraphUnit);
        IniFile->WriteInteger("Weather", "TotalSamples", TotalSamples + static_cast<int>(SampleCount));
    });
    Logged(kShutdownStep, [&] { SaveGraphData(); });
    Logged(kShutdownStep, [&] {
        platform::Sleep(200);
        SaveAllSensors();
        Application->ProcessMessages();
    });
    Logged(kShutdownStep, [&] {
        DataLogBacklog& backlog = host_->Backlog();
        if (!backlog.WriteKept())
            LogStatus(Format("SERVER: %zu data-log records kept in memory are lost: the disk refuses them",
                             backlog.Kept()));
    });
    Logged(kShutdownStep, [&] {
        Application->SetTitle("Stopping services...");
        LogStatus("SERVER: Stopping services...");
        platform::Sleep(200);
    });
    Logged(kShutdownStep, [&] {
        if (HTTPRunning) Publishing().StopHTTPServices();
    });
    Logged(kShutdownStep, [&] {
        if (DDERunning) Publishing().StopDDEServices();
    });
    Logged(kShutdownStep, [&] {
        if (UDPRunning) Publishing().StopUDPServices();
    });
    Logged(kShutdownStep, [&] {
        if (TCPRunning) Publishing().StopTCPServices();
    });
    Logged(kShutdownStep, [&] { PumpAndWait(); });
    Logged(kShutdownStep, [&] { CleanupSensors(); });
    Logged(kShutdownStep, [&] { PumpAndWait(); });
    Logged(kShutdownStep, [&] { Microlan::ReleasePort(); });
    LogStatus("SERVER: All services down...");
    ASR->SetEnabled(false);
    Application->Terminate();
}

void TMainForm::SaveAllSensors() {
    // Every sensor that can be saved is saved; a failing one is logged and the next one goes on. The
    // keys of all sensors reach SENSORS.INI in one rewrite (a file the disk refuses is told once).
    {
        TIniFile::Batch batch;
        ForEachSavedSensor(
            [this](const std::function<void()>& save) { Logged(Named("SERVER: Error saving data"), save); });
    }
    TIniFile::FlushDeferred(); // the highs and lows of the last minute, also when no key changed
}
