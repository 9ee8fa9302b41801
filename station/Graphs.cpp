// The main window's gauges: the barometer dial, the six trend graphs with their history files, and the
// graph images that the print trend draws into the HTML folder.
//
// The graphs record on their own, one record a minute (the gauges' flash list); UpdateGraphs sets the
// values they record. Loading the history files switches recording off; UpdateGraphs switches it on
// while a graph shows a channel, so that a graph records nothing before the station has values for it
// (a record of zeros would draw a spike to 0 degrees after every start).
//
// Channels: the temperature graph has one channel per plotted temperature sensor (its GraphChannel + 1)
// and the humidity graph one per plotted humidity sensor (HumGraphChannel + 1), in the station's units;
// the wind graph speed and gust, the direction graph the prevailing direction in degrees, the rain graph
// today's rain and the rate, the dew point graph the dew point, the wind chill and the pressure.
// Channels without a sensor are hidden, and so are those whose sensor has no current value.
//
// The records hold digits of the channel's scale, and the scales follow the settings (the units, the
// temperature limits). So the scale of every channel is kept beside its history: korvane.ini
// [GraphHistory] holds, per history file, the scales its records were saved under, and the load puts
// them on the channels. When the set-up then gives a channel another scale, its history is converted
// once into the new one (one log line per graph) instead of being read in a scale it was not written
// in; between units of one quantity (C and F, in and mm, the pressure and the wind speed units) the
// values are converted, and records of a scale in no related unit are left as they are.
#include <array>
#include <cmath>
#include <functional>
#include <optional>

#include "gif/GIFImage.h"
#include "net/HttpprotUrl.h"
#include "net/Httpsrv.h"
#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/Humidity.h"
#include "onewire/Microlan.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WeatherCalc.h"
#include "onewire/WindData.h"
#include "platform/Files.h"
#include "platform/Numeric.h"
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

std::string TemperatureUnitText(char letter) {
    return std::string(1, kDegreeSign) + letter;
}

// What a channel's digits mean: values from .. to on digits digitalFrom .. digitalTo, in the unit.
struct RecordScale {
    float from = 0, to = 0;
    int32_t digitalFrom = 0, digitalTo = 0;
    std::string unit;

    bool operator==(const RecordScale&) const = default;
    bool Spans() const { return from != to && digitalFrom != digitalTo; }
    // The value of a record's (absolute) digit, and the digit of a value.
    double ValueOf(int32_t absDigit) const {
        return from +
               absDigit * (static_cast<double>(to) - from) / (static_cast<int64_t>(digitalTo) - digitalFrom);
    }
    int32_t AbsDigitOf(double value) const {
        return platform::Round((value - from) * (static_cast<int64_t>(digitalTo) - digitalFrom) /
                               (static_cast<double>(to) - from));
    }
};

RecordScale ScaleOf(const gauges::TSignalSettings& s) {
    return {s.ValueFrom(), s.ValueTo(), s.DigitalFrom(), s.DigitalTo(), s.ValueUnit()};
}

void ApplyRecordScale(gauges::TSignalSettings& s, const RecordScale& scale) {
    // The settings refuse an end equal to the other end: the upper end moves out of the way first.
    s.SetValueTo(1e30f);
    s.SetValueFrom(scale.from);
    s.SetValueTo(scale.to);
    s.SetDigitalFrom(scale.digitalFrom);
    s.SetDigitalTo(scale.digitalTo);
    s.SetValueUnit(scale.unit);
}

void ApplyScale(gauges::TSignalSettings& s, const Scale& scale) {
    ApplyRecordScale(s, {scale.from, scale.to, static_cast<int32_t>(std::lround(scale.from * scale.perUnit)),
                         static_cast<int32_t>(std::lround(scale.to * scale.perUnit)), scale.unit});
    s.SetValueFormat(scale.format);
}

// korvane.ini's record of the scales a history file was saved under: per channel
// "from to digitalFrom digitalTo unit" (the unit URL-encoded), channels separated by "|".
constexpr const char* kScaleSection = "GraphHistory";

std::string ScalesText(TAbTrend& graph) {
    std::string text;
    for (int c = 1; c <= kChannels; ++c) {
        const RecordScale s = ScaleOf(graph.Channel(c));
        if (c > 1) text += '|';
        text += Format("%.9g %.9g %d %d ", static_cast<double>(s.from), static_cast<double>(s.to),
                       s.digitalFrom, s.digitalTo) +
                net::UrlEncode(s.unit);
    }
    return text;
}

// Puts the scales of a ScalesText on the channels; a channel whose part does not parse keeps its own.
void ApplyScalesText(TAbTrend& graph, const std::string& text) {
    size_t start = 0;
    for (int c = 1; c <= kChannels && start <= text.size(); ++c) {
        size_t end = std::min(text.find('|', start), text.size());
        std::string fields[5];
        size_t at = start;
        for (int f = 0; f < 5 && at <= end; ++f) {
            size_t blank = std::min(text.find(' ', at), end);
            fields[f] = text.substr(at, blank - at);
            at = blank + 1;
        }
        start = end + 1;
        double from = 0, to = 0;
        long long digitalFrom = 0, digitalTo = 0;
        if (!TryStrToFloat(fields[0], from) || !TryStrToFloat(fields[1], to) ||
            !TryStrToInt(fields[2], digitalFrom) || !TryStrToInt(fields[3], digitalTo))
            continue;
        RecordScale scale{static_cast<float>(from), static_cast<float>(to), static_cast<int32_t>(digitalFrom),
                          static_cast<int32_t>(digitalTo), net::UrlDecode(fields[4])};
        if (scale.Spans()) ApplyRecordScale(graph.Channel(c), scale);
    }
}

// Units a factor apart, each factor counted from the quantity's own base unit (0: not of the quantity).
double RainUnitFactor(const std::string& unit) {
    return unit == "in" ? 1.0 : unit == "mm" ? 25.4 : 0.0;
}
double PressureUnitFactor(const std::string& unit) {
    return Barometer::UnitFactor(unit);
}
double SpeedUnitFactor(const std::string& unit) {
    return WindData::UnitFactor(unit);
}

// The conversion of a value from one unit into another of the same quantity; none between unrelated
// units.
std::function<double(double)> UnitConversion(const std::string& from, const std::string& to) {
    if (from == to) return [](double v) { return v; };
    const std::string celsius = TemperatureUnitText('C'), fahrenheit = TemperatureUnitText('F');
    if (from == fahrenheit && to == celsius) return [](double v) { return (v - 32) / 1.8; };
    if (from == celsius && to == fahrenheit) return [](double v) { return v * 1.8 + 32; };
    for (auto factor : {RainUnitFactor, PressureUnitFactor, SpeedUnitFactor}) {
        const double a = factor(from), b = factor(to);
        if (a > 0 && b > 0) return [a, b](double v) { return v / a * b; };
    }
    return nullptr;
}

std::string ScaleText(const RecordScale& s) {
    // The low end is never exactly 0 (0.000001): rounded to what a user set.
    auto tidy = [](float v) { return std::round(v * 1e4) / 1e4 + 0.0; };
    return Format("%g .. %g ", tidy(s.from), tidy(s.to)) + s.unit;
}

// After a set-up: every channel whose scale changed gets its history (and the value it holds for the
// next record) converted into the new scale.
void ConvertHistory(TMainForm& form, TAbTrend& graph, const std::array<RecordScale, kChannels>& before) {
    std::string changes;
    for (int c = 1; c <= kChannels; ++c) {
        TChSettings& ch = graph.Channel(c);
        const RecordScale& was = before[static_cast<size_t>(c - 1)];
        const RecordScale now = ScaleOf(ch);
        if (now == was || !was.Spans() || !now.Spans()) continue;
        const std::function<double(double)> convert = UnitConversion(was.unit, now.unit);
        if (!convert) continue;
        graph.RecodeChannel(c, [&](int16_t digit) { return now.AbsDigitOf(convert(was.ValueOf(digit))); });
        ch.SetValue(static_cast<float>(convert(ch.Value())));
        const std::string change = "from " + ScaleText(was) + " to " + ScaleText(now);
        if (changes.find(change) == std::string::npos) changes += (changes.empty() ? "" : ", ") + change;
    }
    if (changes.empty() || graph.RecordCount() == 0) return;
    for (const GraphFiles& f : kGraphFiles)
        if (form.*f.graph == &graph)
            form.LogStatus(Format("GRAPH: %s converted %s (%d records)", f.history, changes.c_str(),
                                  graph.RecordCount()));
}

void ShowChannel(TChSettings& ch, const std::string& name, int color, const Scale& scale) {
    ApplyScale(ch, scale);
    ch.SetName1(name);
    ch.SetColor(color);
    ch.SetVisible(true);
}

// Changes a graph's settings as one change (one layout and repaint at the end); a history written under
// other scales is converted.
template <class Work> void Configure(TMainForm& form, TAbTrend& graph, Work&& work) {
    std::array<RecordScale, kChannels> before;
    for (int c = 1; c <= kChannels; ++c)
        before[static_cast<size_t>(c - 1)] = ScaleOf(graph.Channel(c));
    graph.BeginUpdate();
    work();
    // The scale drawn is that of the first channel shown.
    int shown = 1;
    while (shown < kChannels && !graph.Channel(shown).Visible())
        ++shown;
    graph.SetAbsScaleCh(shown);
    graph.EndUpdate();
    ConvertHistory(form, graph, before);
}

void HideChannels(TAbTrend& graph) {
    for (int c = 1; c <= kChannels; ++c)
        graph.Channel(c).SetVisible(false);
}

std::string TemperatureUnit() {
    return TemperatureUnitText(TemperatureUnitLetter());
}

// The temperature graphs span -30 .. 50 degrees Celsius unless the settings say otherwise.
double DefaultTemperatureFrom() {
    return Microlan::Bus().UseCelsius ? -30 : -22;
}
double DefaultTemperatureTo() {
    return Microlan::Bus().UseCelsius ? 50 : 122;
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
    return static_cast<float>(Microlan::Bus().UseCelsius ? celsius
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

// A channel shows a value while its sensor's values are current. One without a value (a sensor
// switched off, not read yet, or no longer reading) is hidden: no curve, no scale and "-" in its legend
// row, as a channel the station has no sensor for.
void ShowValue(TChSettings& channel, std::optional<float> value) {
    if (value) channel.SetValue(*value);
    channel.SetVisible(value.has_value());
}

// A derived value's channel shows it in the station's unit.
void ShowValue(TChSettings& channel, const std::optional<TDerivedNow>& value) {
    ShowValue(channel, value ? std::optional(value->InUnit) : std::nullopt);
}

// A graph records while it shows a channel; when it starts again, the recorder marks the gap with its
// separators.
void RecordWhileShown(TAbTrend& graph) {
    bool shown = false;
    for (int c = 1; c <= kChannels; ++c)
        shown |= graph.Channel(c).Visible();
    if (graph.StartRecording() != shown) graph.SetStartRecording(shown);
}

// The dew point graph's range: korvane.ini [HTML] DPWCGraphMin and DPWCGraphMax, kept by the station
// with the unit they are in (DPWCGraphUnit, "F" or "C"). A range in the other unit than the station's
// is converted into the station's (to whole degrees) once, and is then in the station's unit: every
// later set-up (each scan) finds nothing to do. A file without the unit record is read as before the
// record was kept: in the unit the graph's temperature channels were saved in ([GraphHistory]), else in
// the station's unit when the keys are there, else it is the default range, made for Fahrenheit.
// A range of no width is none: the default, in the station's unit, logged; so is a step of the walk
// below found in a file without the record on a Celsius station, logged as the walk's.
constexpr int kDefaultDPWCFromF = 0, kDefaultDPWCToF = 50;

// A temperature in whole degrees of another unit, as the range is converted.
int WholeDegrees(char from, char to, int value) {
    return static_cast<int>(
        std::lround(UnitConversion(TemperatureUnitText(from), TemperatureUnitText(to))(value)));
}

// Before the unit was recorded, a Celsius station converted the range from Fahrenheit again at each scan
// until the dew point's channels were shown, and saved it wherever that walk had got to: the default,
// then -18/10, -28/-12, ... down to -39/-39, where it stays. Such a range is the walk's, not a keeper's.
bool StepOfTheUnrecordedWalk(int min, int max) {
    for (int from = kDefaultDPWCFromF, to = kDefaultDPWCToF;;) {
        if (from == min && to == max) return true;
        const int nextFrom = WholeDegrees('F', 'C', from), nextTo = WholeDegrees('F', 'C', to);
        if (nextFrom == from && nextTo == to) return false;
        from = nextFrom;
        to = nextTo;
    }
}

std::string UnrecordedDPWCRangeUnit(TMainForm& form) {
    const std::string celsius = TemperatureUnitText('C'), fahrenheit = TemperatureUnitText('F');
    for (int c : {1, 2}) {
        const std::string& unit = form.DPWC->Channel(c).ValueUnit();
        if (unit == celsius || unit == fahrenheit) return unit.substr(1);
    }
    const bool kept = form.IniFile->ValueExists("HTML", "DPWCGraphMin") ||
                      form.IniFile->ValueExists("HTML", "DPWCGraphMax");
    return kept ? std::string(1, TemperatureUnitLetter()) : "F";
}

void KeepDPWCRangeInStationUnit(TMainForm& form) {
    const char station = TemperatureUnitLetter();
    std::string& unit = form.DPWCGraphUnit;
    const int storedMin = form.DPWCGraphMin, storedMax = form.DPWCGraphMax;
    bool walked = false;
    if (unit != "F" && unit != "C") {
        if (!unit.empty())
            form.LogStatus("GRAPH: korvane.ini [HTML] DPWCGraphUnit=" + unit +
                           " is not F or C: the dew point graph's range is read as before it was kept");
        unit = UnrecordedDPWCRangeUnit(form);
        walked = station == 'C' && StepOfTheUnrecordedWalk(storedMin, storedMax);
    }
    if (unit[0] != station) {
        form.DPWCGraphMin = WholeDegrees(unit[0], station, storedMin);
        form.DPWCGraphMax = WholeDegrees(unit[0], station, storedMax);
    }
    const int defaultMin = WholeDegrees('F', station, kDefaultDPWCFromF);
    const int defaultMax = WholeDegrees('F', station, kDefaultDPWCToF);
    const bool isDefault = form.DPWCGraphMin == defaultMin && form.DPWCGraphMax == defaultMax;
    const bool noWidth = form.DPWCGraphMax <= form.DPWCGraphMin;
    if (noWidth || (walked && !isDefault)) {
        form.DPWCGraphMin = defaultMin;
        form.DPWCGraphMax = defaultMax;
        const char* reason =
            noWidth ? "is no range" : "is what an earlier version's repeated conversion left";
        form.LogStatus(Format("GRAPH: The dew point graph's range %d .. %d %s %s: %d .. %d %s taken",
                              storedMin, storedMax, TemperatureUnitText(unit[0]).c_str(), reason,
                              form.DPWCGraphMin, form.DPWCGraphMax, TemperatureUnitText(station).c_str()));
    }
    unit = std::string(1, station);
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
        ApplyScalesText(*(this->*f.graph), IniFile->ReadString(kScaleSection, f.history, ""));
    }
}

void TMainForm::SaveGraphData() {
    // A file that cannot be written is told once by the file layer; its scales stay those of the file
    // that is there.
    TIniFile::Batch batch;
    for (const GraphFiles& f : kGraphFiles)
        if ((this->*f.graph)->SaveToFile(f.history) == 0)
            IniFile->WriteString(kScaleSection, f.history, ScalesText(*(this->*f.graph)));
}

void TMainForm::UpdateGraphs() {
    Logged(Named("GRAPH: Error updating graphs"), [&] {
        const TCurrentReadings& r = CurrentReadings;
        for (::Temperature* sensor : SensorSet().TemperatureSensors)
            if (sensor && sensor->GraphChannel < kChannels)
                ShowValue(Temperature->Channel(sensor->GraphChannel + 1),
                          CurrentSensor(sensor) ? std::optional(InStationUnit(sensor->temp.value))
                                                : std::nullopt);
        for (Humidity* sensor : SensorSet().HumiditySensors)
            if (sensor && sensor->PlotHum && sensor->HumGraphChannel < kChannels)
                ShowValue(Humd->Channel(sensor->HumGraphChannel + 1),
                          CurrentSensor(sensor) ? std::optional(static_cast<float>(sensor->GetValue()))
                                                : std::nullopt);
        if (SensorSet().WindPresent && SensorSet().WindSensor) {
            const std::optional<TWindNow> wind = r.Wind();
            ShowValue(Wind->Channel(1), wind ? std::optional(wind->Speed) : std::nullopt);
            ShowValue(Wind->Channel(2), wind ? std::optional(wind->Gust) : std::nullopt);
            ShowValue(Dir->Channel(1), wind && wind->Prevailing
                                           ? std::optional(static_cast<float>(wind->Prevailing->Degrees))
                                           : std::nullopt);
        }
        if (SensorSet().RainPresent && SensorSet().RainSensor) {
            const std::optional<TRainNow> rain = r.Rain();
            float inUnit = SensorSet().RainSensor->RainUnitInch ? 1.0f : 25.4f; // the readings are in inches
            ShowValue(Rain->Channel(1), rain ? std::optional(rain->Today * inUnit) : std::nullopt);
            ShowValue(Rain->Channel(2), rain ? std::optional(rain->Rate * inUnit) : std::nullopt);
        }
        if (SensorSet().HumiditySensors.Count() > 0) ShowValue(DPWC->Channel(1), r.Dewpoint());
        if (SensorSet().WindPresent) ShowValue(DPWC->Channel(2), r.WindChill());
        if (SensorSet().BarometerPresent && SensorSet().BarometerSensor) {
            const std::optional<TBarometerNow> pressure = r.Pressure();
            ShowValue(DPWC->Channel(3), pressure ? std::optional(pressure->Value) : std::nullopt);
        }
        for (const GraphFiles& f : kGraphFiles)
            RecordWhileShown(*(this->*f.graph));
    });
}

void TMainForm::WriteGraphGIF(TAbTrend& graph, TStream& out) {
    // DrawTrendBmp paints the whole bitmap white first.
    gfx::Bitmap& bitmap = graphImage_;
    bitmap.Reset(false);
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
    Configure(*this, *Temperature, [&] {
        HideChannels(*Temperature);
        for (::Temperature* sensor : SensorSet().TemperatureSensors)
            if (sensor && sensor->GraphChannel < kChannels)
                ShowChannel(Temperature->Channel(sensor->GraphChannel + 1), sensor->TempDescription,
                            sensor->GraphTempColor, scale);
        Temperature->SetCaption(WithUnit("Temperature", TemperatureUnit()));
    });
}

void TMainForm::ConfigureHumidityGraph() {
    Configure(*this, *Humd, [&] {
        HideChannels(*Humd);
        for (Humidity* sensor : SensorSet().HumiditySensors)
            if (sensor && sensor->PlotHum && sensor->HumGraphChannel < kChannels)
                ShowChannel(Humd->Channel(sensor->HumGraphChannel + 1), sensor->HumDescription,
                            sensor->GraphHumColor, {0, 100, 10, "%", "##0.0"});
        Humd->SetCaption(WithUnit("Humidity", "%"));
    });
}

void TMainForm::ConfigureBarometerDial() {
    Scale scale = PressureScale(*SensorSet().BarometerSensor);
    BaroMeter->BeginUpdate();
    ApplyScale(BaroMeter->SignalSettings(), scale);
    // Scale labels every 10 hPa, or six steps of inches of mercury or kPa, with one decimal less.
    bool hPa = SensorSet().BarometerSensor->Metric == 1;
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
    WindData& wind = *SensorSet().WindSensor;
    // Up to 30 m/s (a storm), in the wind unit, rounded up to tens.
    float top = std::ceil(wind.ConvertSpeed(30.0f / 1.096f) / 10) * 10;
    Scale speed{0, top, 10, wind.GetUnit(), "##0.0"};
    Configure(*this, *Wind, [&] {
        ShowChannel(Wind->Channel(1), "Speed", gfx::clLime, speed);
        ShowChannel(Wind->Channel(2), "Gust", gfx::clYellow, speed);
        Wind->SetCaption(WithUnit("Wind speed", speed.unit));
    });
    Configure(*this, *Dir, [&] {
        ShowChannel(Dir->Channel(1), "Direction", gfx::clLime, {0, 360, 1, "\xB0", "##0"});
    });
    Wind->ZoomYTo(static_cast<float>(IniFile->ReadFloat("HTML", "WindSpeedZoomY", 1.0)));
}

void TMainForm::ConfigureRainGraph() {
    RainGauge& rain = *SensorSet().RainSensor;
    Scale scale = rain.RainUnitInch ? Scale{0, 2, 100, "in", "#0.00"} : Scale{0, 50, 10, "mm", "##0.0"};
    Configure(*this, *Rain, [&] {
        ShowChannel(Rain->Channel(1), "Today", gfx::clAqua, scale);
        ShowChannel(Rain->Channel(2), "Rate/h", gfx::clYellow, scale);
        Rain->SetCaption(WithUnit("Rain", scale.unit));
    });
    Rain->ZoomYTo(static_cast<float>(IniFile->ReadFloat("Weather", "RainZoomY", 1.0)));
}

void TMainForm::ConfigureDPWCGraph() {
    Logged(Named("GRAPH: Error configuring the dew point graph"), [&] {
        KeepDPWCRangeInStationUnit(*this);
        Scale temperature = TemperatureScale(DPWCGraphMin, DPWCGraphMax);
        Configure(*this, *DPWC, [&] {
            HideChannels(*DPWC);
            if (SensorSet().HumiditySensors.Count() > 0)
                ShowChannel(DPWC->Channel(1), "Dewpoint", gfx::clAqua, temperature);
            if (SensorSet().WindPresent) ShowChannel(DPWC->Channel(2), "Windchill", gfx::clLime, temperature);
            if (SensorSet().BarometerPresent && SensorSet().BarometerSensor)
                ShowChannel(DPWC->Channel(3), "Pressure", gfx::clYellow,
                            PressureScale(*SensorSet().BarometerSensor));
        });
    });
}
