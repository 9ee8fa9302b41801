// The 21-field status line, the title and tray hint, and the sample-count display.
#include "onewire/DataTables.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Strings.h"
#include "station/Unit1.h"

using namespace platform;

std::string StatusLine;

std::string TMainForm::FormatStatusLine() const {
    const TCurrentReadings& r = CurrentReadings;
    return Format(
        "%2.1f %2.1f %2.1f %2.1f %2.1f %2.1f %d %d %3.3f %3.3f %3.3f %3.3f %2.1f %2.1f %2.1f %2.4f %2.4f "
        "%2.4f %2.4f %3.3f %d\r\n",
        r.TemperatureC, r.TemperatureMaxC, r.TemperatureMinC, r.WindSpeedMs, r.WindGustMs, r.WindMaxMs,
        r.WindDirectionBin, r.WindDirectionDegrees, r.RainRate, r.RainToday, r.RainWeek, r.RainMonth,
        r.Humidity, r.HumidityMax, r.HumidityMin, r.BarometerInHg, r.BarometerMaxInHg, r.BarometerMinInHg,
        r.BarometerChangeInHg, r.RainHour, r.WindDirectionBin + r.WindDirectionDegrees);
}

namespace {
// The title shows the main temperature and the wind: only once the station has read them (those it has
// sensors for), never the zeros that stand for them before the first reading.
bool TitleHasReadings(const TCurrentReadings& r) {
    const bool thermometer = SensorSet().TemperatureSensors.Count() > 0, wind = SensorSet().WindPresent && SensorSet().WindSensor;
    return (r.TemperatureRead || r.WindRead) && (r.TemperatureRead || !thermometer) && (r.WindRead || !wind);
}
} // namespace

std::string TMainForm::FormatTitle() const {
    return Format("%.1f", CurrentReadings.Temperature) + kDegreeSign + " - " +
           CompassPointName(CurrentReadings.WindDirectionBin) + Format(" %.1f", CurrentReadings.WindSpeed);
}

void TMainForm::UpdateStatusLine() {
    Logged(Named("SERVER: Error updating display"), [&] {
        WChillTemp->SetVisible(CurrTemp->Caption() != WChillTemp->Caption());
        StatusLine = FormatStatusLine();
        if (DDERunning) SetDDEText(Dde.DDEWeather, StatusLine);
        if (StationSettings.UDPEnabled) Publishing().SendUDPStatus(StatusLine);
        if (TitleHasReadings(CurrentReadings)) {
            std::string title = FormatTitle();
            TrayIcon->SetHint(title);
            Application->SetTitle(title);
        }
        if (SampleCount % 10000 == 0) LogRunTime();
    });
}

void TMainForm::DisplaySampleCount(TMessage& message) {
    Logged({"SERVER: Error: ", "SERVER: Error starting"}, [&] {
        unsigned count = static_cast<unsigned>(message.WParam);
        StatusBar->Panel(0) = Format("%u samples", count);
        if (count % 10000 == 0) LogRunTime();
    });
}
