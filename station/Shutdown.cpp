// The orderly end (Unload) and the save of every sensor. Each step runs on its own, so that one failure
// (say, the trend files) never costs the sensors' counts.
#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/Microlan.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Exceptions.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

template <class F> void ShutdownStep(TMainForm& form, F&& step) {
    try {
        step();
    } catch (const std::exception& e) {
        form.LogStatus("SERVER: Shutdown error: " + std::string(e.what()));
    } catch (...) {
        form.LogStatus("SERVER: Shutdown error");
    }
}

void PumpAndWait() {
    Application->ProcessMessages();
    platform::Sleep(200);
}

} // namespace

void TMainForm::Unload1Click(TComponent*) {
    if (Unloading || UnloadRequested) return; // its own pumping can dispatch a second click
    if (PassInProgress) {
        // Inside a pass (perhaps inside a sensor's sample): the pass ends first, then shuts down.
        UnloadRequested = true;
        SessionRunning = false;
        return;
    }
    RunShutdown();
}

void TMainForm::RunShutdown() {
    Unloading = true;
    UnloadRequested = false;
    SessionRunning = false;
    ShutdownStep(*this, [&] {
        Application->SetTitle("Saving data...");
        LogStatus("SERVER: Saving data...");
        TrayIcon->SetAnimated(false);
        LogRunTime();
    });
    ShutdownStep(*this, [&] {
        IniFile->WriteInteger("HTML", "DPWCGraphMax", DPWCGraphMax);
        IniFile->WriteInteger("HTML", "DPWCGraphMin", DPWCGraphMin);
        IniFile->WriteInteger("Weather", "TotalSamples", TotalSamples + static_cast<int>(SampleCount));
    });
    ShutdownStep(*this, [&] { SaveGraphData(); });
    ShutdownStep(*this, [&] {
        platform::Sleep(200);
        SaveAllSensors();
        Application->ProcessMessages();
    });
    ShutdownStep(*this, [&] {
        Application->SetTitle("Stopping services...");
        LogStatus("SERVER: Stopping services...");
        platform::Sleep(200);
    });
    ShutdownStep(*this, [&] {
        if (HTTPRunning) StopHTTPServices();
    });
    ShutdownStep(*this, [&] {
        if (DDERunning) StopDDEServices();
    });
    ShutdownStep(*this, [&] {
        if (UDPRunning) StopUDPServices();
    });
    ShutdownStep(*this, [&] {
        if (TCPRunning) StopTCPServices();
    });
    ShutdownStep(*this, [&] { PumpAndWait(); });
    ShutdownStep(*this, [&] { CleanupSensors(); });
    ShutdownStep(*this, [&] { PumpAndWait(); });
    ShutdownStep(*this, [&] { Microlan::ReleasePort(); });
    LogStatus("SERVER: All services down...");
    ASR->SetEnabled(false);
    Application->Terminate();
}

void TMainForm::SaveAllSensors() {
    // Every sensor that can be saved is saved; a failing one is logged and the next one goes on. The
    // keys of all sensors reach SENSORS.INI in one rewrite (a file the disk refuses is told once).
    TIniFile::Batch batch;
    auto save = [this](auto* sensor) {
        if (!sensor) return;
        try {
            sensor->SaveSettings();
        } catch (const std::exception& e) {
            LogStatus("SERVER: Error saving data: " + std::string(e.what()));
        } catch (...) {
            LogStatus("SERVER: Error saving data");
        }
    };
    if (WindPresent) save(WindSensor);
    if (RainPresent) save(RainSensor);
    if (BarometerPresent) save(BarometerSensor);
    for (int i = 0; i < DS1820Count; ++i)
        save(DS1820Sensors[i]);
    for (int i = 0; i < HumidityCount; ++i)
        save(HumiditySensors[i]);
    for (int i = 0; i < DS2438Count; ++i)
        save(DS2438Sensors[i]);
    for (int i = 0; i < DS2423Count; ++i)
        save(DS2423Sensors[i]);
    for (int i = 0; i < DS2450Count; ++i)
        save(DS2450Sensors[i]);
}
