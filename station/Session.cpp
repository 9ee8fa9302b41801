// Session start, restart and rescan.
#include "onewire/DataTables.h"
#include "onewire/Microlan.h"
#include "onewire/SensorTables.h"
#include "platform/Strings.h"
#include "station/SplashScreen.h"
#include "station/Unit1.h"

using namespace platform;

void TMainForm::StartSessionAndReading() {
    Logged({"SERVER: Error: ", "SERVER: Error starting"}, [&] {
        StartTimer->SetEnabled(false);
        auto tryAgainLater = [&] {
            StartTimer->SetInterval(kSessionRetryMs);
            StartTimer->SetEnabled(true);
        };
        // No sensor at the last start: this one looks again quietly, and what the bus layer says is told
        // only when the scan finds a sensor.
        const bool lookingAgain = NoSensorsFound;
        Microlan::HeldLog held(lookingAgain);
        CleanupSensors();
        // Services that still run are stopped rather than forgotten.
        if (TCPRunning) Publishing().StopTCPServices();
        if (UDPRunning) Publishing().StopUDPServices();
        SensorTreeView->Clear();
        MicroLANNode = nullptr;
        const bool retry = SessionStartFailing || lookingAgain;
        if (!Microlan::Startup(retry)) { // which logged the failure, unless this is a retry
            if (splash_) splash_->Close();
            // No adapter answers (yet): the web server serves meanwhile (the diagnostic listener always
            // does), and the start is tried again until one answers; never on a port type the driver
            // does not have.
            if (StationSettings.HTTPEnabled && !HTTPRunning) Publishing().StartHTTPServices();
            if (Microlan::Bus().PortTypeUnsupported) {
                Application->SetTitle(Format("Port type %d is not supported", Microlan::Bus().PortType));
            } else {
                // An adapter gone while sensors were looked for again is waited for as at any start,
                // so its return is told.
                NoSensorsFound = false;
                SessionStartFailing = true;
                Application->SetTitle("Waiting for the 1-Wire adapter...");
                tryAgainLater();
            }
        } else {
            if (SessionStartFailing)
                LogStatus(Format("MicroLAN: Session started on port %d, type %d", Microlan::Bus().PortNum,
                                 Microlan::Bus().PortType));
            SessionStartFailing = false;
            MicroLANNode = SensorTreeView->Add(nullptr, "MicroLAN");
            MicroLANNode->ImageIndex = MicroLANNode->SelectedIndex = 10;
            ScanMicroLAN(lookingAgain);
            if (lookingAgain && SensorSet().DeviceCount == 0) return tryAgainLater();
            held.Release();
            Microlan::CompactSerialList();
            TStringList missing;
            for (int i = 0; ConfiguredSerials[i][0] != 0; ++i)
                missing.Add(ConfiguredSerials[i]);
            ReportMissingSensors(missing);
            if (SensorSet().DeviceCount != 0) {
                PageControl->SetActivePage(TabStatus);
                SessionRunning = true;
            } else {
                SessionRunning = false;
                LogStatus("No sensors found!");
            }
            NoSensorsFound = !SessionRunning;
            if (SessionRunning) {
                RestartButton->SetVisible(false);
                Application->SetTitle("Running!");
                SetCaptionByDate();
                TrayIcon->SetAnimated(true);
                ++Chain.Newest;
                PostMessage(Handle(), MsgReadCycle, 1, static_cast<LPARAM>(Chain.Newest));
            } else {
                Application->SetTitle("No sensors found");
                RestartButton->SetVisible(true);
                // Looked for again every kSessionRetryMs, as a missing adapter is.
                tryAgainLater();
            }
        }
        if (!retry && Application->ShowCommand() != 2) AppRestore();
    });
    // The keeper's commands that waited for the start run now, on the net it opened.
    SessionStartDue = false;
    RunWaitingCommands();
}

void TMainForm::RestartButtonClick(TComponent*) {
    if (Chain.PassInProgress) { // the pass ends first
        Chain.RestartRequested = true;
        return;
    }
    Logged({"SERVER: Error: ", "SERVER: Error: (unknown)"}, [&] {
        RestartButton->SetVisible(false);
        SaveAllSensors();
        CleanupSensors();
        platform::Sleep(1000);
        // A restart asked for is told in full, and replaces the start timer's.
        SessionStartFailing = NoSensorsFound = false;
        StartTimer->SetEnabled(false);
        SessionStartDue = true;
        PostMessage(Handle(), MsgStartSession, 1, 1);
    });
}

void TMainForm::RescanMLanClick(TComponent*) {
    if (Chain.PassInProgress) { // sensors must not be freed under a running sample
        Chain.RescanRequested = true;
        return;
    }
    int before = SensorSet().DeviceCount;
    RescanMLan->SetEnabled(false);
    if (DDERunning) Publishing().StopDDEServices();
    if (HTTPRunning) Publishing().StopHTTPServices();
    if (UDPRunning) Publishing().StopUDPServices();
    if (TCPRunning) Publishing().StopTCPServices();
    ScanMicroLAN();
    LogStatus(Format("SERVER: Scan completed, sensors found total:%d  new:%d", SensorSet().DeviceCount,
                     SensorSet().DeviceCount - before));
    const TStationSettings& s = StationSettings;
    if (s.DDEEnabled) Publishing().StartDDEServices();
    if (s.HTTPEnabled) Publishing().StartHTTPServices();
    if (s.UDPEnabled) Publishing().StartUDPServices();
    if (s.TCPEnabled) Publishing().StartTCPServices();
    RescanMLan->SetEnabled(true);
}
