// The main window's gauges: the barometer dial, the six trend graphs with their history files, and the
// graph images that the print trend draws into the HTML folder.
//
// The graphs record on their own, one record a minute (the gauges' flash list); UpdateGraphs sets the
// values they record. Loading the history files switches recording off; the first UpdateGraphs switches
// it on again, so that a graph records nothing before the station has values for it (a record of
// zeros would draw a spike to 0 degrees after every start).
//
// Channels: the temperature graph has one channel per plotted temperature sensor (its GraphChannel + 1)
// and the humidity graph one per plotted humidity sensor (HumGraphChannel + 1), in the station's units;
// the wind graph speed and gust, the direction graph the direction in degrees, the rain graph today's
// rain and the rate, the dew point graph the dew point, the wind chill and the pressure. Channels
// without a sensor are hidden.
#include <cmath>

#include "gif/GIFImage.h"
#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/Humidity.h"
#include "onewire/Microlan.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WeatherCalc.h"
#include "onewire/WindData.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "platform/TypedFile.h"
#include "station/Unit1.h"

using namespace platform;
using gauges::TAbTrend;
using gauges::TChSettings;

namespace {

constexpr uint32_t kRecordInterval = 60000; // one record a minute, as UpdateGraphs feeds them
constexpr int kChannels = gauges::kTrendChannels;

// Each graph with its history file (in the working folder) and its image (in the HTML folder), in the
// order they are written.
struct GraphFiles {
    TAbTrend* TMainForm::*graph;
    const char* history;
    const char* image;
};
constexpr GraphFiles kGraphFiles[] = {
    {&TMainForm::Temperature, "VeskTemp.dat", "temphist.gif"},
    {&TMainForm::Wind, "VeskWind.dat", "windhist.gif"},
    {&TMainForm::Dir, "VeskWDir.dat", "dirhist.gif"},
    {&TMainForm::Rain, "VeskRain.dat", "rainhist.gif"},
    {&TMainForm::Humd, "VeskHumd.dat", "humdhist.gif"},
    {&TMainForm::DPWC, "Veskdpwc.dat", "dpwchist.gif"},
};

// The scale of a channel: values from .. to, `perUnit` digits to one unit, the unit and the number format.
struct Scale {
    float from;
    float to;
    int perUnit;
    std::string unit;
    const char* format;
};

void ApplyScale(gauges::TSignalSettings& s, const Scale& scale) {
    // The settings refuse an end equal to the other end: the upper end moves out of the way first.
    s.SetValueTo(1e30f);
    s.SetValueFrom(scale.from);
    s.SetValueTo(scale.to);
    s.SetDigitalFrom(static_cast<int32_t>(std::lround(scale.from * scale.perUnit)));
    s.SetDigitalTo(static_cast<int32_t>(std::lround(scale.to * scale.perUnit)));
    s.SetValueUnit(scale.unit);
    s.SetValueFormat(scale.format);
}

void ShowChannel(TChSettings& ch, const std::string& name, int color, const Scale& scale) {
    ApplyScale(ch, scale);
    ch.SetName1(name);
    ch.SetColor(color);
    ch.SetVisible(true);
}

// Changes a graph's settings as one change (one layout and repaint at the end).
template <class Work> void Configure(TAbTrend& graph, Work&& work) {
    graph.BeginUpdate();
    work();
    // The scale drawn is that of the first channel shown.
    int shown = 1;
    while (shown < kChannels && !graph.Channel(shown).Visible())
        ++shown;
    graph.SetAbsScaleCh(shown);
    graph.EndUpdate();
}

void HideChannels(TAbTrend& graph) {
    for (int c = 1; c <= kChannels; ++c)
        graph.Channel(c).SetVisible(false);
}

std::string TemperatureUnit() {
    return std::string(1, kDegreeSign) + TemperatureUnitLetter();
}

// The temperature graphs span -30 .. 50 degrees Celsius unless the settings say otherwise.
double DefaultTemperatureFrom() {
    return Microlan::UseCelsius ? -30 : -22;
}
double DefaultTemperatureTo() {
    return Microlan::UseCelsius ? 50 : 122;
}

// A temperature scale from .. to in the station's unit; limits that leave no range give the default.
Scale TemperatureScale(double from, double to) {
    if (!(to > from)) {
        from = DefaultTemperatureFrom();
        to = DefaultTemperatureTo();
    }
    return {static_cast<float>(from), static_cast<float>(to), 10, TemperatureUnit(), "##0.0"};
}

float InStationUnit(double celsius) {
    return static_cast<float>(Microlan::UseCelsius ? celsius
                                                   : CelsiusToFahrenheit(static_cast<float>(celsius)));
}

Scale PressureScale(Barometer& baro) {
    // The transducer's range in the barometer's unit; hPa with tenths, inHg and kPa with hundredths.
    float from = static_cast<float>(baro.ConvertPressure(baro.loBar));
    float to = static_cast<float>(baro.ConvertPressure(baro.hiBar));
    if (baro.Metric == 1)
        return {std::floor(from / 10) * 10, std::ceil(to / 10) * 10, 10, baro.GetUnit(), "###0.0"};
    return {std::floor(from), std::ceil(to), 100, baro.GetUnit(), "##0.00"};
}

// A file of a folder setting; an empty setting is the working folder.
std::string InFolder(const std::string& folder, const char* name) {
    return folder.empty() ? std::string(name) : folder + "\\" + name;
}

std::string WithUnit(const std::string& caption, const std::string& unit) {
    return caption + " (" + unit + ")";
}

} // namespace

void TMainForm::CreateGauges() {
    BaroMeter = MakeOwned<gauges::TAb270Meter>(this, "BaroMeter");
    BaroMeter->SetAutoSize(false);
    BaroMeter->SetBounds(4, 4, 207, 150);
    BaroMeter->OnDblClick = [this](TComponent* s) { ResestHighMarkBaro(s); };
    // The pressure and its unit; no names.
    BaroMeter->SetOptions(BaroMeter->Options() & ~(gauges::TAbRMeter::opName1 | gauges::TAbRMeter::opName2));
    BaroMeter->Loaded();

    // The dial and the six graphs in two columns.
    struct Place {
        TAbTrend* TMainForm::*graph;
        const char* name;
        const char* caption;
        int left, top, width;
    };
    const Place places[] = {
        {&TMainForm::Temperature, "Temperature", "Temperature", 216, 4, 207},
        {&TMainForm::DPWC, "DPWC", "Dewpoint / Windchill", 4, 158, 207},
        {&TMainForm::Humd, "Humd", "Humidity", 216, 158, 207},
        {&TMainForm::Wind, "Wind", "Wind speed", 4, 312, 207},
        {&TMainForm::Dir, "Dir", "Wind direction", 216, 312, 207},
        {&TMainForm::Rain, "Rain", "Rain", 4, 466, 419},
    };
    for (const Place& p : places) {
        TAbTrend* graph = MakeOwned<TAbTrend>(this, p.name);
        this->*p.graph = graph;
        graph->SetBounds(p.left, p.top, p.width, 150);
        graph->SetCaption(p.caption);
        graph->SetStartRecording(false); // until the station has values (UpdateGraphs)
        graph->SetInterval(kRecordInterval);
        graph->CaptionFont().SetSize(9);
        // The values' own scale on the right; no limit bands.
        graph->SetOptions(graph->Options() & ~gauges::opLeftScale);
        graph->LimitUpper().SetEnabled(false);
        graph->LimitLower().SetEnabled(false);
        HideChannels(*graph);
        graph->Loaded();
    }

    GraphPrintTrend = MakeOwned<gauges::TAbPrintTrend>(this, "GraphPrintTrend");
    GraphPrintTrend->SetFormat(gauges::TFormat::Pixel);
    GraphPrintTrend->SetWidth(500);
    GraphPrintTrend->SetHeight(400);
    GraphPrintTrend->SetOptions(gauges::ptCaption | gauges::ptLegend | gauges::ptColor |
                                gauges::ptSelScaleOnly | gauges::ptUseTrdBkCol);
    GraphPrintTrend->SetRecFrom(0);
    GraphPrintTrend->SetRecTo(2147483647);
    GraphPrintTrend->SetTimeScaleSteps(5);
    GraphPrintTrend->Font().SetName("Arial");
    GraphPrintTrend->SetFontSize(10);
    GraphPrintTrend->SetFontSizeCaption(12);
    gauges::TLegend& legend = GraphPrintTrend->Legend();
    legend.SetOptions(gauges::loName1 | gauges::loMin | gauges::loMinTime | gauges::loMax |
                      gauges::loMaxTime);
    legend.Captions().SetName1("Description");
    legend.Captions().SetMin("Min");
    legend.Captions().SetMinTime("MinTime");
    legend.Captions().SetMax("Max");
    legend.Captions().SetMaxTime("MaxTime");
    legend.SetPosition(gauges::TLegendPos::lpCenter);
    GraphPrintTrend->SetBkColor(gfx::clWhite);
}

void TMainForm::SetGraphBackgroundColor(int color) {
    for (const GraphFiles& f : kGraphFiles)
        (this->*f.graph)->BevelInner().SetColor(color);
}

void TMainForm::LoadGraphData() {
    for (const GraphFiles& f : kGraphFiles) {
        // A missing file is a station's first start.
        int code = (this->*f.graph)->LoadFromFile(f.history);
        if (code != 0 && code != ioFileNotFound)
            LogStatus(Format("GRAPH: Error loading %s (I/O error %d)", f.history, code));
    }
}

void TMainForm::SaveGraphData() {
    // A file that cannot be written is told once by the file layer.
    for (const GraphFiles& f : kGraphFiles)
        (this->*f.graph)->SaveToFile(f.history);
}

void TMainForm::UpdateGraphs() {
    Logged(Named("GRAPH: Error updating graphs"), [&] {
        const TCurrentReadings& r = CurrentReadings;
        for (::Temperature* sensor : TemperatureSensors)
            if (sensor && sensor->GraphChannel < kChannels)
                Temperature->Channel(sensor->GraphChannel + 1).SetValue(InStationUnit(sensor->temp.value));
        for (Humidity* sensor : HumiditySensors)
            if (sensor && sensor->PlotHum && sensor->HumGraphChannel < kChannels)
                Humd->Channel(sensor->HumGraphChannel + 1).SetValue(static_cast<float>(sensor->GetValue()));
        if (WindPresent && WindSensor) {
            Wind->Channel(1).SetValue(r.WindSpeed);
            Wind->Channel(2).SetValue(r.WindGust);
            if (WindDirectionBin < 16) Dir->Channel(1).SetValue(static_cast<float>(WindDirectionDegrees));
        }
        if (RainPresent && RainSensor) {
            float inUnit = RainSensor->RainUnitInch ? 1.0f : 25.4f; // the readings are in inches
            Rain->Channel(1).SetValue(r.RainToday * inUnit);
            Rain->Channel(2).SetValue(r.RainRate * inUnit);
        }
        if (HumiditySensors.Count() > 0) DPWC->Channel(1).SetValue(r.Dewpoint);
        if (WindPresent) DPWC->Channel(2).SetValue(r.WindChill);
        if (BarometerPresent) DPWC->Channel(3).SetValue(r.Barometer);
        for (const GraphFiles& f : kGraphFiles)
            if (!(this->*f.graph)->StartRecording()) (this->*f.graph)->SetStartRecording(true);
    });
}

void TMainForm::WriteGraphGIF(TAbTrend& graph, TStream& out) {
    gfx::Bitmap bitmap;
    GraphPrintTrend->SetTrend(&graph);
    GraphPrintTrend->DrawTrendBmp(bitmap);
    gif::TGIFImage image;
    image.ColorReduction = gif::rmNetscape;
    image.DitherMode = gif::dmNearest;
    image.Compression = gif::gcLZW;
    image.Assign(&bitmap);
    image.SaveToStream(out);
}

void TMainForm::WriteGraphImages(bool legend) {
    Logged(Named("GRAPH: Error saving graph images"), [&] {
        // The web answers draw with the legend: the option is given back also after an error.
        struct Options {
            gauges::TAbPrintTrend& printer;
            gauges::TPrtTrdOptions kept;
            ~Options() { printer.SetOptions(kept); }
        } options{*GraphPrintTrend, GraphPrintTrend->Options()};
        GraphPrintTrend->SetOptions(legend ? options.kept | gauges::ptLegend
                                           : options.kept & ~gauges::ptLegend);
        for (const GraphFiles& f : kGraphFiles) {
            TMemoryStream gif;
            WriteGraphGIF(*(this->*f.graph), gif);
            // Drawn again at the next interval: renamed into place without waiting for the disk. A
            // failure is told once.
            WriteWholeFile(InFolder(StationSettings.HTMLDir, f.image), gif.AsString(), FileMode::Binary,
                           Durability::Regenerated);
        }
    });
}

void TMainForm::SaveGraphGIFs() {
    WriteGraphImages(true);
}

void TMainForm::SavePlainGraphGIFs() {
    WriteGraphImages(false);
}

void TMainForm::ConfigureTemperatureGraph() {
    Scale scale = TemperatureScale(IniFile->ReadFloat("Weather", "TempGraphMin", DefaultTemperatureFrom()),
                                   IniFile->ReadFloat("Weather", "TempGraphMax", DefaultTemperatureTo()));
    Configure(*Temperature, [&] {
        HideChannels(*Temperature);
        for (::Temperature* sensor : TemperatureSensors)
            if (sensor && sensor->GraphChannel < kChannels)
                ShowChannel(Temperature->Channel(sensor->GraphChannel + 1), sensor->TempDescription,
                            sensor->GraphTempColor, scale);
        Temperature->SetCaption(WithUnit("Temperature", TemperatureUnit()));
    });
}

void TMainForm::ConfigureHumidityGraph() {
    Configure(*Humd, [&] {
        HideChannels(*Humd);
        for (Humidity* sensor : HumiditySensors)
            if (sensor && sensor->PlotHum && sensor->HumGraphChannel < kChannels)
                ShowChannel(Humd->Channel(sensor->HumGraphChannel + 1), sensor->HumDescription,
                            sensor->GraphHumColor, {0, 100, 10, "%", "##0.0"});
        Humd->SetCaption(WithUnit("Humidity", "%"));
    });
}

void TMainForm::ConfigureBarometerDial() {
    Scale scale = PressureScale(*BarometerSensor);
    BaroMeter->BeginUpdate();
    ApplyScale(BaroMeter->SignalSettings(), scale);
    // Scale labels every 10 hPa, or six steps of inches of mercury or kPa, with one decimal less.
    bool hPa = BarometerSensor->Metric == 1;
    BaroMeter->ScaleSettings().SetSteps(hPa ? static_cast<int32_t>(std::lround((scale.to - scale.from) / 10))
                                            : 6);
    BaroMeter->ScaleSettings().SetValueFormat(hPa ? "###0" : "#0.0");
    BaroMeter->SetValue(scale.from);
    BaroMeter->EndUpdate();
    // No marks until the first reading, which becomes both (as after loading).
    BaroMeter->MinMax().SetMinAt(gauges::TMinMax::kInitialMin, 0);
    BaroMeter->MinMax().SetMaxAt(gauges::TMinMax::kInitialMax, 0);
}

void TMainForm::ConfigureWindGraphs() {
    WindData& wind = *WindSensor;
    // Up to 30 m/s (a storm), in the wind unit, rounded up to tens.
    float top = std::ceil(wind.ConvertSpeed(30.0f / 1.096f) / 10) * 10;
    Scale speed{0, top, 10, wind.GetUnit(), "##0.0"};
    Configure(*Wind, [&] {
        ShowChannel(Wind->Channel(1), "Speed", gfx::clLime, speed);
        ShowChannel(Wind->Channel(2), "Gust", gfx::clYellow, speed);
        Wind->SetCaption(WithUnit("Wind speed", speed.unit));
    });
    Configure(*Dir, [&] {
        ShowChannel(Dir->Channel(1), "Direction", gfx::clLime, {0, 360, 1, "\xB0", "##0"});
    });
    Wind->ZoomYTo(static_cast<float>(IniFile->ReadFloat("HTML", "WindSpeedZoomY", 1.0)));
}

void TMainForm::ConfigureRainGraph() {
    RainGauge& rain = *RainSensor;
    Scale scale = rain.RainUnitInch ? Scale{0, 2, 100, "in", "#0.00"} : Scale{0, 50, 10, "mm", "##0.0"};
    Configure(*Rain, [&] {
        ShowChannel(Rain->Channel(1), "Today", gfx::clAqua, scale);
        ShowChannel(Rain->Channel(2), "Rate/h", gfx::clYellow, scale);
        Rain->SetCaption(WithUnit("Rain", scale.unit));
    });
    Rain->ZoomYTo(static_cast<float>(IniFile->ReadFloat("Weather", "RainZoomY", 1.0)));
}

void TMainForm::ConfigureDPWCGraph() {
    Logged(Named("GRAPH: Error configuring the dew point graph"), [&] {
        Scale temperature = TemperatureScale(DPWCGraphMin, DPWCGraphMax);
        Configure(*DPWC, [&] {
            HideChannels(*DPWC);
            if (HumiditySensors.Count() > 0)
                ShowChannel(DPWC->Channel(1), "Dewpoint", gfx::clAqua, temperature);
            if (WindPresent) ShowChannel(DPWC->Channel(2), "Windchill", gfx::clLime, temperature);
            if (BarometerPresent && BarometerSensor)
                ShowChannel(DPWC->Channel(3), "Pressure", gfx::clYellow, PressureScale(*BarometerSensor));
        });
    });
}
