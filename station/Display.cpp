// Display side of the main window that the controller calls: the display handlers that fill the latest
// readings, the set-up after a scan, run-time texts and sun times. Headless: labels are captions only;
// the dial and the graphs are gauges (Graphs.cpp).
#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DataTables.h"
#include "onewire/FaultRun.h"
#include "onewire/Humidity.h"
#include "onewire/Microlan.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WeatherCalc.h"
#include "onewire/WindData.h"
#include "platform/FileProblems.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/Strings.h"
#include "station/SignColor.h"
#include "station/Unit1.h"

#include <optional>

using namespace platform;

namespace {
constexpr int kGraphChannels = 8;

std::string TemperatureText(double value, char unit) {
    return Format("%.1f", value) + kDegreeSign + unit;
}

// A coordinate of korvane.ini's [Weather] in decimal degrees, none when it is shorter than four
// characters (not set). One that is no number ("52,52") is told once, as any setting that does not
// parse, and gives no sunrise or sunset either.
std::optional<float> Coordinate(const TIniFile& ini, const char* key, const std::string& text) {
    double value = 0;
    if (TryStrToFloat(text, value))
        return text.size() > 3 ? std::optional<float>(static_cast<float>(value)) : std::nullopt;
    if (!text.empty())
        NoteUnparsedValue(ResolvePath(ini.FileName()), "Weather", key, text, "none (no sunrise or sunset)");
    return std::nullopt;
}
} // namespace

std::string TMainForm::FormatRunTime() {
    int64_t seconds = UnixTime() - StartTime;
    if (seconds < 0) seconds = 0;
    int days = static_cast<int>(seconds / 86400);
    int hours = static_cast<int>(seconds / 3600 % 24);
    int minutes = static_cast<int>(seconds / 60 % 60);
    if (days > 1)
        return Format("%u samples in %d days, %d hours, %d minutes", SampleCount, days, hours, minutes);
    if (days == 1) return Format("%u samples in 1 day, %d hours, %d minutes", SampleCount, hours, minutes);
    return Format("%u samples in %d hours, %d minutes", SampleCount, hours, minutes);
}

std::string TMainForm::FormatTotalSamples() {
    return Format("%u samples since %s", static_cast<unsigned>(TotalSamples) + SampleCount,
                  TotalSamplesStart.c_str());
}

void TMainForm::LogRunTime() {
    LogStatus(FormatRunTime());
}

void TMainForm::UpdateSunriseSunset() {
    // Settings that fail it fail it every day: logged once, and how often when it works again.
    static TFaultRun faults;
    const TFaultRun::Log log = [this](const std::string& line) { LogStatus(line); };
    try {
        const TStationSettings& s = StationSettings;
        const std::optional<float> latitude = Coordinate(*IniFile, "Latitude", s.Latitude);
        const std::optional<float> longitude = Coordinate(*IniFile, "Longitude", s.Longitude);
        if (!latitude || !longitude) return;
        DosDate today = GetDate();
        auto show = [](float value) { return value < 0.0f ? std::string("n/a") : Format("%02.2f", value); };
        auto sunTime = [&](int setting) {
            return show(CalculateSunriseSunset(today.da_year, static_cast<uint8_t>(today.da_day),
                                               static_cast<uint8_t>(today.da_mon), *latitude, *longitude,
                                               setting));
        };
        SunriseTime = sunTime(0);
        SunRiseLabel->SetCaption(SunriseTime);
        SunsetTime = sunTime(1);
        SunSetLabel->SetCaption(SunsetTime);
        faults.Succeeded(log);
    } catch (...) {
        faults.Failed("SERVER: Error calculating sunrise/sunset!", log);
    }
}

void TMainForm::DisplayTemperature(TMessage& message) {
    int index = static_cast<int>(message.WParam);
    if (index != MainTemperatureSensor || index < 0 || index >= SensorSet().TemperatureSensors.Count() ||
        !SessionRunning)
        return;
    ::Temperature* sensor = SensorSet().TemperatureSensors[index];
    if (!sensor) return;
    TCurrentReadings& r = CurrentReadings;
    r.TemperatureC = static_cast<float>(sensor->temp.value);
    r.TemperatureF = static_cast<float>(sensor->temp.value * 9 * 0.2 + 32);
    r.TemperatureMaxC = static_cast<float>(sensor->temp.high);
    r.TemperatureMinC = static_cast<float>(sensor->temp.low);
    r.Temperature = static_cast<float>(sensor->InUnit(sensor->temp.value));
    uint8_t high[2] = {}, low[2] = {};
    r.TemperatureMax = static_cast<float>(sensor->GetMaxTemperature(high));
    r.TemperatureMin = static_cast<float>(sensor->GetMinTemperature(low));
    r.TemperatureMaxTime.ti_min = high[0];
    r.TemperatureMaxTime.ti_hour = high[1];
    r.TemperatureMinTime.ti_min = low[0];
    r.TemperatureMinTime.ti_hour = low[1];
    r.TemperatureRead = true;
    CurrTemp->SetCaption(TemperatureText(r.Temperature, sensor->Celsius ? 'C' : 'F'));
    CurrTemp->Font().SetColor(SignColor(r.TemperatureC)); // red from the freezing point up, blue below
    if (DDERunning) SetDDEText(Dde.DDETemperature, FloatToStr(r.Temperature));
    PostMessage(Handle(), MsgDisplayWindChillHeatIndex, 0, 0);
}

void TMainForm::DisplayWindChillHeatIndex(TMessage&) {
    // Each while the readings it is made of are current (the status line empties the item otherwise).
    const std::optional<TDerivedNow> chill = CurrentReadings.WindChill();
    if (DDERunning && chill) SetDDEText(Dde.DDEWindChill, FloatToStr(chill->InUnit));
    // Below the upper limit the wind chill is shown, above it the heat index.
    const std::optional<TDerivedNow> heatIndex = CurrentReadings.HeatIndex();
    const std::optional<TDerivedNow> shown =
        CurrentReadings.TemperatureC < StationSettings.WCUpperLimit || !heatIndex ? chill : heatIndex;
    WChillTemp->SetCaption(shown ? TemperatureText(shown->InUnit, TemperatureUnitLetter()) : "");
}

void TMainForm::DisplayRain(TMessage&) {
    RainGauge* rain = SensorSet().RainSensor.get();
    if (!SensorSet().RainPresent || !rain) return;
    // Most rounds bring no rain: the labels are made again only when what they show changed.
    const TRainLabels shown{rain->TodayCounts(), rain->RateCounts(), rain->RainUnitInch, rain->CountsPrInch};
    if (shown == rainLabels_) return;
    rainLabels_ = shown;
    const std::string unit = " " + rain->GetUnit();
    CurrRainToday->SetCaption(Format("%3.2f", rain->InUnit(rain->TodayCounts())) + unit);
    CurrRainRate->SetCaption(Format("%3.2f", rain->InUnit(rain->RateCounts())) + unit + "/h");
}

void TMainForm::DisplayHumidity(TMessage& message) {
    int index = static_cast<int>(message.WParam);
    if (index != MainHumiditySensor || index < 0 || index >= SensorSet().HumiditySensors.Count()) return;
    Humidity* sensor = SensorSet().HumiditySensors[index];
    if (!sensor) return;
    CurrHumidity->SetCaption(Format("%.1f%%", sensor->GetValue()));
    CurrDewpoint->SetCaption(
        TemperatureText(sensor->InUnit(sensor->dewpoint.value), sensor->Celsius ? 'C' : 'F'));
}

void TMainForm::DisplayWind(TMessage&) {
    WindData* wind = SensorSet().WindSensor.get();
    if (!SensorSet().WindPresent || !wind) return;
    // The labels are made again only when what they show changed.
    const TWindLabels shown{wind->Speed, wind->Gust, wind->CurrentDirection, wind->Unit};
    if (shown == windLabels_) return;
    windLabels_ = shown;
    const std::string unit = " " + wind->GetUnit();
    CurrWind->SetCaption(Format("%.1f", wind->ConvertSpeed(wind->Speed)) + unit);
    CurrGust->SetCaption(Format("%.1f", wind->ConvertSpeed(wind->Gust)) + unit);
    // A vane that gave no valid direction (255) shows none.
    CurrWindDir->SetCaption(wind->CurrentDirection < kCompassPoints ? CompassPointName(wind->CurrentDirection)
                                                                    : "n/a");
}

void TMainForm::DisplayBarometer(TMessage&) {
    if (!SensorSet().BarometerPresent) return;
    BaroMeter->SetValue(CurrentReadings.Barometer);
    if (SensorSet().BarometerSensor) BaroTrend->SetCaption(SensorSet().BarometerSensor->GetTrend());
}

void TMainForm::ConfigureTemperatureSensors() {
    LogStatus(Format("SERVER: Configuring %d temperature sensors.", SensorSet().TemperatureSensors.Count()));
    int channel = 0;
    std::string selected = IniFile->ReadString("Weather", "DS1820Selected", "");
    MainTemperatureSensor = 0;
    for (int i = 0; i < SensorSet().TemperatureSensors.Count(); ++i) {
        ::Temperature* sensor = SensorSet().TemperatureSensors[i];
        if (!sensor) continue;
        sensor->GraphChannel =
            static_cast<uint8_t>(sensor->PlotTemp && channel < kGraphChannels ? channel++ : kGraphChannels);
        if (!selected.empty() && SameText(sensor->SerialSection(), selected)) MainTemperatureSensor = i;
    }
    ConfigureTemperatureGraph();
    TempStatReset->SetVisible(true);
}

void TMainForm::ConfigureHumiditySensors() {
    LogStatus(Format("SERVER: Configuring %d humidity sensors.", SensorSet().HumiditySensors.Count()));
    MainHumiditySensor = 0;
    int channel = 0;
    for (int i = 0; i < SensorSet().HumiditySensors.Count(); ++i) {
        Humidity* sensor = SensorSet().HumiditySensors[i];
        if (!sensor) continue;
        sensor->HumGraphChannel =
            static_cast<uint8_t>(sensor->PlotHum && channel < kGraphChannels ? channel++ : kGraphChannels);
        if (!StationSettings.DS2438Selected.empty() &&
            SameText(sensor->SerialSection(), StationSettings.DS2438Selected))
            MainHumiditySensor = i;
    }
    ConfigureHumidityGraph();
    TabHumidity->SetVisible(true);
    HumidityStatReset->SetVisible(true);
}

void TMainForm::ConfigureBarometer() {
    LogStatus("SERVER: Configuring barometric pressure sensor.");
    if (SensorSet().BarometerSensor) ConfigureBarometerDial();
    BarometerStatReset->SetVisible(true);
}

void TMainForm::ConfigureWindSensors() {
    LogStatus("SERVER: Configuring wind speed & direction sensors.");
    if (SensorSet().WindSensor) ConfigureWindGraphs();
    TabWind->SetVisible(true);
    TabDir->SetVisible(true);
    WindStatReset->SetVisible(true);
    PostMessage(Handle(), MsgDisplayWind, 0, 0);
}

void TMainForm::ConfigureRainGauge() {
    LogStatus("SERVER: Configuring raingauge.");
    if (SensorSet().RainSensor) ConfigureRainGraph();
    TabRain->SetVisible(true);
    Raingauge->SetVisible(true);
    if (SensorSet().RainSensor)
        RainResetTime->SetCaption([&] {
            std::string text = "Grand total since " + CTime(SensorSet().RainSensor->ResetTime);
            text.pop_back();
            return text;
        }());
    PostMessage(Handle(), MsgDisplayRain, 0, 0);
}

void TMainForm::SetupDS2450Menu() {
    Logged("SERVER: Error setting up DS2450!", [&] { DS2450StatReset->SetVisible(true); });
}

void TMainForm::SetupDS2423Menu() {
    Logged("SERVER: Error setting up DS2423!", [&] { DS2423Menu->SetVisible(true); });
}

void TMainForm::SetupDS2438Menu() {
    Logged("SERVER: Error setting up DS2438!", [&] { DS2438Menu->SetVisible(true); });
}

void TMainForm::AddPeriodicLogLine(const std::string& record) {
    Logged(Named("SERVER: Error adding to the periodic list"),
           [&] { AddListLine(*PeriodicList, record.empty() ? FormatDataRecord() : record); });
}
