#include "station/StationHost.h"

#include "station/Unit1.h"

TStationHost::TStationHost(TMainForm& form) : form_(form) {
    Microlan::InstallBus(&form.BusSession);
    InstallSensorHost(this);
    InstallDataLogBacklog(&backlog_);
}

TStationHost::~TStationHost() {
    // A session the window leaves open is ended with it; its handle goes with the window.
    if (Microlan::InstalledBus() == &form_.BusSession) {
        platform::tmex::EndSession(form_.BusSession.SessionHandle);
        Microlan::InstallBus(nullptr);
    }
    if (InstalledSensorHost() == this) InstallSensorHost(nullptr);
    if (InstalledDataLogBacklog() == &backlog_) InstallDataLogBacklog(nullptr);
}

void TStationHost::LogStatus(const std::string& text) {
    form_.LogStatus(text);
}

void TStationHost::ResetSampleCount() {
    SampleCount = 0;
}

int TStationHost::TimezoneHours() const {
    return StationSettings.Timezone;
}

std::optional<bool> TStationHost::DaylightSaving() const {
    // Without a settings file the loaded value stands, as it does when the file names the key.
    if (!form_.IniFile || form_.IniFile->ValueExists("Weather", "DST")) return StationSettings.DST;
    return std::nullopt;
}
