// The main window as its publishing side sees it (PublishingHost.h): what publishing reads of the
// station, and what it keeps on it.
#include "station/PublishingHost.h"

#include "onewire/Humidity.h"
#include "onewire/SensorTables.h"
#include "station/CommandDesk.h"
#include "station/Unit1.h"

const TStationSettings& TMainForm::Settings() const {
    return StationSettings;
}

Humidity* TMainForm::MainHumidity() const {
    return SensorSet().HumiditySensors[MainHumiditySensor];
}

const std::string& TMainForm::StatusLineText() const {
    return StatusLine;
}

std::string TMainForm::VersionText() const {
    return sBuild != nullptr ? sBuild->Caption() : std::string();
}

bool TMainForm::DebugLogging() const {
    return DbgCheckBox != nullptr && DbgCheckBox->Checked();
}

TTrendGraphs TMainForm::TrendGraphs() {
    return {Temperature, DPWC, Humd, Wind, Dir, Rain, GraphPrintTrend};
}

namespace {
// The window's running flag of a service (const or not, as the window is).
template <class Form> auto& RunningFlag(Form& form, TPublishingService service) {
    switch (service) {
    case TPublishingService::DDE:
        return form.DDERunning;
    case TPublishingService::HTTP:
        return form.HTTPRunning;
    case TPublishingService::TCP:
        return form.TCPRunning;
    case TPublishingService::UDP:
        break;
    }
    return form.UDPRunning;
}
} // namespace

bool TMainForm::ServiceRunning(TPublishingService service) const {
    return RunningFlag(*this, service);
}

void TMainForm::SetServiceRunning(TPublishingService service, bool running) {
    RunningFlag(*this, service) = running;
}

void TMainForm::EnableTransferCommand(TTransferCommand command, bool enabled) {
    platform::TMenuItem* item = nullptr;
    switch (command) {
    case TTransferCommand::APRS:
        item = PostAPRS;
        break;
    case TTransferCommand::Servlet:
        item = PostServlet;
        break;
    case TTransferCommand::WU:
        item = PosttoWeatherUnderground;
        break;
    case TTransferCommand::W4U:
        item = PostToWeather4U;
        break;
    case TTransferCommand::Upload: // its item is publishing's own
        break;
    }
    if (item != nullptr) item->SetEnabled(enabled);
}

void TMainForm::TransferEnded(TTransferCommand transfer, bool succeeded, const std::string& outcome) {
    if (commands_) commands_->Transfers().Ended(transfer, succeeded, outcome);
}
