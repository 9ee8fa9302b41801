// The main window as its publishing side sees it (PublishingHost.h): what publishing reads of the
// station, and what it keeps on it.
#include "station/PublishingHost.h"

#include "onewire/Humidity.h"
#include "onewire/SensorTables.h"
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

bool TMainForm::ServiceRunning(TPublishingService service) const {
    switch (service) {
    case TPublishingService::DDE:
        return DDERunning;
    case TPublishingService::HTTP:
        return HTTPRunning;
    case TPublishingService::TCP:
        return TCPRunning;
    case TPublishingService::UDP:
        return UDPRunning;
    }
    return false;
}

void TMainForm::SetServiceRunning(TPublishingService service, bool running) {
    switch (service) {
    case TPublishingService::DDE:
        DDERunning = running;
        break;
    case TPublishingService::HTTP:
        HTTPRunning = running;
        break;
    case TPublishingService::TCP:
        TCPRunning = running;
        break;
    case TPublishingService::UDP:
        UDPRunning = running;
        break;
    }
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
    }
    if (item != nullptr) item->SetEnabled(enabled);
}
