// The main window's trend graphs on the demo net: the graph images the scheduler writes into the HTML
// folder (read back by giflib), the picture of the window, the history files across a restart, and
// files that cannot be written.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "gauges/TrendRecord.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/tmex/sim/DemoNet.h"
#include "support/StationFixture.h"
#include "tests/gif/GifTestSupport.h"

namespace {

namespace sim = platform::tmex::sim;
namespace gfx = platform::gfx;
using gauges::TAbTrend;
using gauges::TTrendRecord;

// Friday 2026-11-27 10:00 CET.
constexpr int64_t kStartMs = 1795770000000LL;
constexpr int64_t kMinuteMs = 60000;
constexpr int64_t kDayMs = 24 * 60 * kMinuteMs;

const char* const kHistoryFiles[] = {"VeskTemp.dat", "VeskWind.dat", "VeskWDir.dat",
                                     "VeskRain.dat", "VeskHumd.dat", "Veskdpwc.dat"};

// The colour a colour becomes in the station's GIFs, on the web palette: each component v becomes
// (v + 3) div 51 x 51.
gfx::TColor WebColor(gfx::TColor c) {
    auto nearest = [](int v) { return (v + 3) / 51 * 51; };
    return gfx::RGB(nearest(c & 0xFF), nearest(c >> 8 & 0xFF), nearest(c >> 16 & 0xFF));
}

struct Image {
    int width = 0, height = 0;
    std::vector<gfx::TColor> pixels;
    gfx::TColor At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
    // Pixels of `color` in [left, right) x [top, bottom).
    int Count(gfx::TColor color, int left, int top, int right, int bottom) const {
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                n += At(x, y) == color;
        return n;
    }
};

Image DecodeGif(const std::string& bytes) {
    giftest::Decoded gif = giftest::GiflibDecode(giftest::Bytes(bytes.begin(), bytes.end()));
    EXPECT_EQ(gif.error, 0);
    Image image;
    if (gif.error != 0 || gif.frames.size() != 1) return image;
    const auto& frame = gif.frames[0];
    const auto& colors = frame.colors.empty() ? gif.globalColors : frame.colors;
    image.width = gif.width;
    image.height = gif.height;
    for (uint8_t index : frame.pixels) {
        const GifColorType& c = colors.at(index);
        image.pixels.push_back(gfx::RGB(c.Red, c.Green, c.Blue));
    }
    return image;
}

std::vector<TTrendRecord> Records(const TAbTrend& graph) {
    std::vector<TTrendRecord> out;
    for (int i = 0; i < graph.RecordCount(); ++i)
        out.push_back(graph.Record(i));
    return out;
}

bool Same(const TTrendRecord& a, const TTrendRecord& b) {
    uint8_t x[gauges::kTrendRecordSize], y[gauges::kTrendRecordSize];
    gauges::EncodeTrendRecord(a, x);
    gauges::EncodeTrendRecord(b, y);
    return std::equal(std::begin(x), std::end(x), std::begin(y));
}

std::string Encoded(const std::vector<TTrendRecord>& records) {
    std::string bytes(records.size() * gauges::kTrendRecordSize, '\0');
    for (size_t i = 0; i < records.size(); ++i)
        gauges::EncodeTrendRecord(records[i],
                                  reinterpret_cast<uint8_t*>(&bytes[i * gauges::kTrendRecordSize]));
    return bytes;
}

class StationGraphs : public korvane_test::StationFixture {
protected:
    void SetUp() override {
        StationFixture::SetUp();
        clock_->SetUnixTimeMs(kStartMs);
        Write("korvane.ini", sim::DemoKorvaneIni() +
                                 "Celsius=1\r\nSampleInterval=10000\r\n[DS1820]\r\nReadInterval=300\r\n"
                                 "[DS2438]\r\nReadInterval=300\r\n");
        Write("SENSORS.INI", sim::DemoSensorsIni());
    }
    void RunUntil(int64_t unixMs) {
        while (clock_->UnixTimeMs() < unixMs)
            platform::EventLoop::Get().RunFor(
                static_cast<uint32_t>(std::min<int64_t>(unixMs - clock_->UnixTimeMs(), kDayMs)));
    }
};

TEST_F(StationGraphs, TheGraphImageOfADayShowsCurvesScalesCaptionAndLegend) {
    TMainForm& form = Start();
    // A day, up to the minute whose tasks wrote the images (10:00, a multiple of SaveBMPInterval 30).
    RunUntil(kStartMs + kDayMs + 30000);
    ASSERT_TRUE(SessionRunning);
    for (const char* name :
         {"temphist.gif", "windhist.gif", "dirhist.gif", "rainhist.gif", "humdhist.gif", "dpwchist.gif"})
        EXPECT_TRUE(std::filesystem::exists(Path("HTML/") + name)) << name;
    Image gif = DecodeGif(Read("HTML/temphist.gif"));
    ASSERT_EQ(gif.width, 500);
    ASSERT_EQ(gif.height, 400);

    // The layout of the temperature graph's rendering: the curve area r.
    TAbTrend& graph = *form.Temperature;
    gfx::Bitmap again;
    form.GraphPrintTrend->SetTrend(&graph);
    form.GraphPrintTrend->DrawTrendBmp(again);
    const gfx::TRect r = form.GraphPrintTrend->CurveRect();
    const int w = r.Width(), h = r.Height();
    ASSERT_GT(w, 300);
    ASSERT_GT(h, 120);
    const int n = graph.RecordCount();
    ASSERT_GE(n, 1400);
    EXPECT_NEAR(graph.Record(n - 1).Time - graph.Record(n - 2).Time, 1.0 / 1440, 0.5 / 86400)
        << "a record a minute";

    // White around the chart, the curve area in the graph colour (navy), framed in black.
    EXPECT_EQ(gif.At(2, 2), gfx::clWhite);
    EXPECT_EQ(gif.At(497, 397), gfx::clWhite);
    const gfx::TColor navy = WebColor(graph.BevelInner().Color());
    EXPECT_EQ(graph.BevelInner().Color(), 0x800000) << "[HTML] GraphBGColor's default";
    EXPECT_GT(gif.Count(navy, r.Left, r.Top, r.Right, r.Bottom), w * h / 2);
    EXPECT_GT(gif.Count(gfx::clBlack, r.Left - 1, r.Top, r.Left, r.Bottom), h * 9 / 10) << "left frame";
    EXPECT_GT(gif.Count(gfx::clBlack, r.Left, r.Top - 1, r.Right, r.Top), w * 9 / 10) << "top frame";

    // A curve in the colour of each thermometer, across the day.
    int shown = 0;
    for (int c = 1; c <= gauges::kTrendChannels; ++c) {
        const gauges::TChSettings& ch = graph.Channel(c);
        if (!ch.Visible()) continue;
        ++shown;
        EXPECT_GT(gif.Count(WebColor(ch.Color()), r.Left, r.Top, r.Right + 1, r.Bottom + 1), w / 4)
            << ch.Name1();
    }
    EXPECT_EQ(shown, 7) << "the demo's seven thermometers";
    // The outdoor curve (red) ends where the newest record's outdoor temperature lies.
    int outdoor = 0;
    for (int c = 1; c <= gauges::kTrendChannels; ++c)
        if (graph.Channel(c).Name1() == "Outdoor") outdoor = c;
    ASSERT_GT(outdoor, 0);
    const double perDigit = static_cast<double>(h) / graph.Channel(outdoor).DigitSpan();
    const int yEnd =
        r.Bottom - static_cast<int>(std::lround(graph.Record(n - 1).Digit[outdoor - 1] * perDigit));
    EXPECT_GT(gif.Count(gfx::clRed, r.Right - 3, yEnd - 3, r.Right + 1, yEnd + 4), 0) << "near y " << yEnd;

    // Texts in black: the caption over the chart, the value scale right of it, the time scale under it
    // and the legend at the bottom, whose rows carry the channels' colours.
    EXPECT_GT(gif.Count(gfx::clBlack, 150, 0, 350, r.Top - 8), 40) << "caption";
    EXPECT_GT(gif.Count(gfx::clBlack, r.Right + 24, r.Top, 500, r.Bottom), 60) << "value scale";
    EXPECT_GT(gif.Count(gfx::clBlack, r.Left, r.Bottom + 24, r.Right, r.Bottom + 50), 60) << "time scale";
    const int legendTop = r.Bottom + 50;
    EXPECT_GT(gif.Count(gfx::clBlack, 0, legendTop, 500, 400), 400) << "legend";
    EXPECT_GT(gif.Count(gfx::clRed, 0, legendTop, 500, 400), 20) << "the outdoor row";

    // Without the legend the chart reaches further down; the web answers keep drawing with it.
    form.SavePlainGraphGIFs();
    Image plain = DecodeGif(Read("HTML/temphist.gif"));
    ASSERT_EQ(plain.height, 400);
    EXPECT_EQ(gif.At(r.Left - 1, r.Bottom + 60), gfx::clWhite);
    EXPECT_EQ(plain.At(r.Left - 1, r.Bottom + 60), gfx::clBlack);
    EXPECT_TRUE(form.GraphPrintTrend->Options() & gauges::ptLegend);

    // The window's picture: its client area with the dial and the graphs drawn on it.
    gfx::Bitmap window = form.GetFormImage();
    ASSERT_EQ(window.Width(), form.ClientWidth());
    ASSERT_EQ(window.Height(), form.ClientHeight());
    const gfx::TRect area = graph.CurveRect();
    int navyInWindow = 0, redInWindow = 0;
    for (int y = area.Top; y < area.Bottom; ++y)
        for (int x = area.Left; x < area.Right; ++x) {
            gfx::TColor c = window.GetPixel(graph.Left() + x, graph.Top() + y);
            navyInWindow += c == 0x800000;
            redInWindow += c == gfx::clRed;
        }
    EXPECT_GT(navyInWindow, area.Width() * area.Height() / 2);
    EXPECT_GT(redInWindow, area.Width() / 4) << "the outdoor curve";
    const gfx::TRect dial = form.BaroMeter->BoundsRect();
    int dialColors = 0;
    for (int y = dial.Top; y < dial.Bottom; ++y)
        for (int x = dial.Left; x < dial.Right; ++x)
            dialColors += window.GetPixel(x, y) != form.Color();
    EXPECT_GT(dialColors, dial.Width() * dial.Height() / 4) << "the barometer dial";
}

TEST_F(StationGraphs, TheGraphsKeepTheirHistoryAcrossARestart) {
    TMainForm& first = Start();
    RunUntil(kStartMs + 2 * kDayMs);
    ASSERT_TRUE(SessionRunning);
    // A station in Celsius from its first start: the dew point graph's default range in its unit.
    EXPECT_EQ(first.DPWCGraphMin, -18);
    EXPECT_EQ(first.DPWCGraphMax, 10);
    std::vector<std::vector<TTrendRecord>> before;
    for (TAbTrend* graph : {first.Temperature, first.Wind, first.Dir, first.Rain, first.Humd, first.DPWC}) {
        before.push_back(Records(*graph));
        // A record a minute for two days, trimmed to the graph's limit.
        EXPECT_LE(graph->RecordCount(), graph->MaxRecords() + 1) << graph->Name();
        EXPECT_GE(graph->RecordCount(), 1900) << graph->Name();
    }
    first.Unload1->Click();
    platform::EventLoop::Get().RunFor(5000);
    ASSERT_TRUE(platform::Application->Terminated());
    // The files of the shutdown hold the records as they were, under their own names.
    std::vector<std::string> listed;
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
        listed.push_back(entry.path().filename().string());
    for (size_t g = 0; g < 6; ++g) {
        EXPECT_NE(std::find(listed.begin(), listed.end(), kHistoryFiles[g]), listed.end())
            << kHistoryFiles[g];
        EXPECT_TRUE(Read(kHistoryFiles[g]) == Encoded(before[g])) << kHistoryFiles[g];
    }

    platform::EventLoop::Get().Reset();
    const int64_t restart = clock_->UnixTimeMs();
    TMainForm& second = Start();
    TAbTrend* graphs[] = {second.Temperature, second.Wind, second.Dir, second.Rain, second.Humd, second.DPWC};
    for (size_t g = 0; g < 6; ++g) {
        ASSERT_EQ(graphs[g]->RecordCount(), static_cast<int>(before[g].size())) << kHistoryFiles[g];
        for (size_t i = 0; i < before[g].size(); ++i)
            ASSERT_TRUE(Same(graphs[g]->Record(static_cast<int>(i)), before[g][i]))
                << kHistoryFiles[g] << " " << i;
    }
    // Recording goes on after the restart, behind a gap of five separators.
    RunUntil(restart + 12 * kMinuteMs);
    const double restartDay = platform::Now() - 12.0 / 1440;
    for (size_t g = 0; g < 6; ++g) {
        const std::vector<TTrendRecord>& old = before[g];
        const TAbTrend& graph = *graphs[g];
        const int k = static_cast<int>(old.size());
        ASSERT_GE(graph.RecordCount(), k + 5 + 5) << kHistoryFiles[g];
        for (int i = 0; i < k - 1; ++i)
            ASSERT_TRUE(Same(graph.Record(i), old[static_cast<size_t>(i)])) << kHistoryFiles[g] << " " << i;
        for (int i = k - 1; i < k + 4; ++i) {
            EXPECT_EQ(graph.Record(i).Time, 0.0) << kHistoryFiles[g] << " separator " << i;
            EXPECT_TRUE(std::equal(std::begin(graph.Record(i).Digit), std::end(graph.Record(i).Digit),
                                   std::begin(old[static_cast<size_t>(k - 2)].Digit)));
        }
        EXPECT_TRUE(Same(graph.Record(k + 4), old.back()));
        for (int i = k + 5; i < graph.RecordCount(); ++i)
            EXPECT_GT(graph.Record(i).Time, restartDay) << kHistoryFiles[g] << " " << i;
    }
    // Drawn from the restart's separators on, every graph's time labels are times of real records.
    for (size_t g = 0; g < 6; ++g) {
        second.GraphPrintTrend->SetRecFrom(static_cast<int>(before[g].size()) - 1);
        second.GraphPrintTrend->SetTrend(graphs[g]);
        gfx::Bitmap image;
        second.GraphPrintTrend->DrawTrendBmp(image);
        EXPECT_EQ(second.GraphPrintTrend->TimeScaleTimes().size(), 6u);
        for (double t : second.GraphPrintTrend->TimeScaleTimes())
            EXPECT_GT(t, 36526.0) << kHistoryFiles[g] << ": a label before 2000";
    }
    second.GraphPrintTrend->SetRecFrom(0);
    // The new outdoor records hold the outdoor temperature in tenths of a degree above the scale's foot.
    const gauges::TChSettings* outdoor = nullptr;
    int channel = 0;
    for (int c = 1; c <= gauges::kTrendChannels; ++c)
        if (second.Temperature->Channel(c).Name1() == "Outdoor")
            outdoor = &second.Temperature->Channel(channel = c);
    ASSERT_NE(outdoor, nullptr);
    float newest = outdoor->AbsDigitToValue(
        second.Temperature->Record(second.Temperature->RecordCount() - 1).Digit[channel - 1]);
    EXPECT_NEAR(newest, form_->CurrentReadings.TemperatureC, 1.0);
}

TEST_F(StationGraphs, ASwitchOfUnitsConvertsTheHistoryOnce) {
    Write("korvane.ini", sim::DemoKorvaneIni() + "Celsius=0\r\nSampleInterval=10000\r\n");
    TMainForm& first = Start();
    RunUntil(kStartMs + 3 * 60 * kMinuteMs);
    ASSERT_TRUE(SessionRunning);
    auto channelOf = [](TAbTrend& graph, const std::string& name) {
        for (int c = 1; c <= gauges::kTrendChannels; ++c)
            if (graph.Channel(c).Visible() && graph.Channel(c).Name1() == name) return c;
        return 0;
    };
    // The values of a channel's records, as its scale reads them.
    auto values = [](TAbTrend& graph, int c) {
        std::vector<float> v;
        for (int i = 0; i < graph.RecordCount(); ++i)
            v.push_back(graph.Channel(c).AbsDigitToValue(graph.Record(i).Digit[c - 1]));
        return v;
    };
    const int outdoor = channelOf(*first.Temperature, "Outdoor"), speed = channelOf(*first.Wind, "Speed");
    ASSERT_GT(outdoor, 0);
    ASSERT_GT(speed, 0);
    const std::vector<float> fahrenheit = values(*first.Temperature, outdoor);
    const std::vector<float> metres = values(*first.Wind, speed);
    ASSERT_GE(fahrenheit.size(), 170u);
    const std::string windSection = SensorSet().WindSensor->SerialSection();
    first.Unload1->Click();
    platform::EventLoop::Get().RunFor(5000);

    // Metric: Celsius, and the wind in km/h.
    platform::EventLoop::Get().Reset();
    platform::TIniFile(Path("korvane.ini")).WriteInteger("Weather", "Celsius", 1);
    platform::TIniFile(Path("SENSORS.INI")).WriteInteger(windSection, "Unit", 1);
    TMainForm& second = Start();
    RunUntil(clock_->UnixTimeMs() + kMinuteMs);
    EXPECT_EQ(CountLog("GRAPH: VeskTemp.dat converted from -22 .. 122 \xB0"
                       "F to -30 .. 50 \xB0"
                       "C"),
              1);
    EXPECT_EQ(CountLog("GRAPH: VeskWind.dat converted from 0 .. "), 1);
    EXPECT_EQ(CountLog(" m/s to 0 .. "), 1);
    // The dew point graph's range, made for Fahrenheit, goes with its history: 0 .. 50 F is -18 .. 10 C.
    EXPECT_EQ(CountLog("GRAPH: Veskdpwc.dat converted from 0 .. 50 \xB0"
                       "F to -18 .. 10 \xB0"
                       "C"),
              1);
    EXPECT_FLOAT_EQ(second.DPWC->Channel(1).ValueFrom(), -18.0f);
    EXPECT_FLOAT_EQ(second.DPWC->Channel(1).ValueTo(), 10.0f);
    const std::vector<float> celsius = values(*second.Temperature, outdoor);
    const std::vector<float> kmh = values(*second.Wind, speed);
    for (size_t i = 0; i + 1 < fahrenheit.size(); ++i) {
        ASSERT_NEAR(celsius[i], (fahrenheit[i] - 32) / 1.8, 0.051) << i;
        ASSERT_NEAR(kmh[i], metres[i] / 1.096 * 3.9477, 0.051) << i;
    }
    // The data logs go on in their files in the new units, which their first record says in the log.
    RunUntil(clock_->UnixTimeMs() + 11 * kMinuteMs);
    EXPECT_EQ(CountLog("SERVER: Data logs DATA\\112026.TXT, DATA\\Daily2026.TXT and the sensors' DATA\\*-112026.TXT "
                       "switched from \xB0"
                       "F to \xB0"
                       "C, m/s to km/h; their earlier records keep their units"),
              1);
    second.Unload1->Click();
    platform::EventLoop::Get().RunFor(5000);

    // Once: the next start finds the history in the scales it was saved under, and the logs' units.
    platform::TIniFile::FlushCache();
    EXPECT_EQ(platform::TIniFile(Path("korvane.ini")).ReadInteger("HTML", "DPWCGraphMin", 0), -18);
    EXPECT_EQ(platform::TIniFile(Path("korvane.ini")).ReadInteger("HTML", "DPWCGraphMax", 0), 10);
    platform::EventLoop::Get().Reset();
    TMainForm& third = Start();
    RunUntil(clock_->UnixTimeMs() + 11 * kMinuteMs);
    EXPECT_EQ(CountLog(" converted "), 0);
    EXPECT_FLOAT_EQ(third.DPWC->Channel(1).ValueFrom(), -18.0f);
    EXPECT_EQ(CountLog("SERVER: Data logs"), 0);
}

TEST_F(StationGraphs, FilesThatCannotBeWrittenAreToldOnce) {
    Write("korvane.ini", "[Weather]\r\nPortNum=1\r\nPortType=64\r\n");
    std::filesystem::create_directory(Path("VeskTemp.dat"));
    std::filesystem::create_directories(Path("HTML/windhist.gif"));
    TMainForm& form = Start();
    EXPECT_EQ(CountLog("GRAPH: Error loading"), 1) << "a folder is no history";
    for (int i = 0; i < 2; ++i) {
        form.SaveGraphData();
        form.SaveGraphGIFs();
    }
    EXPECT_EQ(CountLog("Cannot write VeskTemp.dat"), 1);
    EXPECT_EQ(CountLog("windhist.gif"), 1);
    // The others are written, an empty history as an empty file.
    EXPECT_TRUE(std::filesystem::exists(Path("VeskWind.dat")));
    EXPECT_EQ(std::filesystem::file_size(Path("VeskWind.dat")), 0u);
    EXPECT_TRUE(std::filesystem::exists(Path("HTML/temphist.gif")));
    std::filesystem::remove(Path("VeskTemp.dat"));
    form.SaveGraphData();
    EXPECT_EQ(CountLog("VeskTemp.dat is written again"), 1);
}

} // namespace
