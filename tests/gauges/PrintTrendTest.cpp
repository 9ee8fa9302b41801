// The trend printer: the station's 500 x 400 graph GIF read back by giflib, the legend and scale layout
// with the test font, units, the printer and the preview, and what a rendering must leave as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>

#include "gauges/AbPrtTrd.h"
#include "platform/controls/Form.h"
#include "tests/gauges/GaugeTestSupport.h"
#include "tests/gauges/StationGraph.h"
#include "tests/gif/GifTestSupport.h"
#include "tests/platform/GraphicsTestSupport.h"

using namespace gauges;
using namespace platform::gfx;

namespace {

int R(double v) {
    return static_cast<int>(std::nearbyint(v));
}

class PrintTrend : public gaugetest::GaugeFixture {
protected:
    void SetUp() override {
        GaugeFixture::SetUp();
        TFont::UseTestFont(true);
        trend = std::make_unique<TAbTrend>(nullptr);
        trend->Loaded();
        gaugetest::SetUpTemperatureTrend(*trend);
        gaugetest::SetUpStationPrintTrend(printer);
        printer.SetTrend(trend.get());
    }
    void TearDown() override {
        trend.reset();
        TFont::UseTestFont(false);
        GaugeFixture::TearDown();
    }
    Bitmap Render() {
        Bitmap b;
        printer.DrawTrendBmp(b);
        return b;
    }
    std::unique_ptr<TAbTrend> trend;
    TAbPrintTrend printer;
};

// The legend of the station's graph with the test font (characters 5 x 10 pixels): a centred table of
// 347 pixels from x = 76, channel rows from y = 304, 10 pixels apart.
constexpr int kLegendLeft = 76;
constexpr int kLegendRowTop = 304;
constexpr int kChannelColumnEnd = kLegendLeft + 2 + 25;
constexpr int kDescriptionEnd = kChannelColumnEnd + 5 + 55;
constexpr int kMinEnd = kDescriptionEnd + 5 + 25;

TEST_F(PrintTrend, StationGraphGifKeepsCurvesScaleCaptionAndLegend) {
    gaugetest::RecordDay(*trend, Clock());
    ASSERT_EQ(trend->RecordCount(), 1440);
    Bitmap bmp = Render();
    ASSERT_EQ(bmp.Width(), 500);
    ASSERT_EQ(bmp.Height(), 400);
    gif::TGIFImage image;
    image.Assign(&bmp);
    platform::TMemoryStream stream;
    image.SaveToStream(stream);
    giftest::Decoded gif = giftest::GiflibDecode(stream.Bytes());
    ASSERT_EQ(gif.error, 0);
    ASSERT_EQ(gif.width, 500);
    ASSERT_EQ(gif.height, 400);
    ASSERT_EQ(gif.frames.size(), 1u);
    const auto& frame = gif.frames[0];
    auto at = [&](int x, int y) {
        const GifColorType& c = frame.colors[frame.pixels[static_cast<size_t>(y * 500 + x)]];
        return RGB(c.Red, c.Green, c.Blue);
    };

    const TRect r = printer.CurveRect();
    const int w = r.Width(), h = r.Height();
    ASSERT_GT(w, 300);
    ASSERT_GT(h, 150);
    // Curve: record i of the outside temperature at x = round(i x w / 1439.001) + left, its digit
    // (tenths of a degree above -30) at bottom - round(digit x h / 800).
    for (int i : {0, 240, 700, 1200}) {
        int digit = R((static_cast<double>(gaugetest::OutsideAt(i)) + 30) * 10 - 300) + 300;
        int x = R(i * (w / 1439.001)) + r.Left, y = r.Bottom - R(digit * (static_cast<double>(h) / 800));
        EXPECT_EQ(at(x, y), clLime) << "record " << i;
    }
    // Frame and background; the white curve area inside.
    EXPECT_EQ(at(r.Left - 1, r.Top + 7), clBlack);
    EXPECT_EQ(at(r.Right, r.Top + 7), clBlack);
    EXPECT_EQ(at(r.Left + 3, r.Top + 7), clWhite);
    EXPECT_EQ(at(2, 2), clWhite);
    // The one value scale (channel 1): its channel label on lime at grid row 9 right of the gap, and
    // the dotted grid rows running on into the gap as solid ticks.
    const int row9 = R((h - 1.0) / 10 * 9 + r.Top);
    EXPECT_EQ(r.Right, 492 - 25 - 4 - 8)
        << "the column of the widest label, ' 1 ch', its gap and the trend space";
    EXPECT_EQ(at(492 - 25 + 1, row9), clLime) << "the space before '1 ch' shows its background";
    EXPECT_EQ(at(r.Right + 3, R((h - 1.0) / 10 * 5 + r.Top)), clBlack);
    // Grid row 1 carries the unit, two characters ending at the column's edge, not the label 42.0.
    const int row1 = R((h - 1.0) / 10 + r.Top);
    EXPECT_EQ(at(492 - 5, row1), clBlack);
    EXPECT_EQ(at(492 - 15, row1), clWhite);
    // Caption "Temperature": 11 characters of 6 x 12 centred on x = 250 from y = 8.
    EXPECT_EQ(at(250 - 33 + 1, 8 + 4), clBlack);
    EXPECT_EQ(at(250 - 33 - 2, 8 + 4), clWhite);
    // Legend: channel 1's label on lime, "Outside" under Description, the minimum 8.0. Channels 3 to 8
    // are hidden: each keeps its row, its label and "-" alone in every column.
    EXPECT_EQ(at(kChannelColumnEnd - 25 + 1, kLegendRowTop + 3), clLime);
    EXPECT_EQ(at(kDescriptionEnd - 35 + 1, kLegendRowTop + 3), clBlack);
    EXPECT_EQ(at(kMinEnd - 15 + 1, kLegendRowTop + 3), clBlack);
    for (int ch = 3; ch <= kTrendChannels; ++ch) {
        const int top = kLegendRowTop + 10 * (ch - 1);
        int label = 0;
        for (int y = top; y < top + 10; ++y)
            for (int x = kChannelColumnEnd - 25; x < kChannelColumnEnd; ++x)
                label += at(x, y) != clWhite;
        EXPECT_GT(label, 0) << "channel " << ch << "'s label";
        for (int end : {kDescriptionEnd, kMinEnd}) {
            EXPECT_EQ(at(end - 5 + 1, top + 3), clBlack) << "channel " << ch << ": a dash ending at " << end;
            EXPECT_EQ(at(end - 10 + 1, top + 3), clWhite) << "channel " << ch << ": the dash alone";
        }
    }
}

TEST_F(PrintTrend, LegendShowsDashesUntilThereAreTwoRecords) {
    trend->Channel(1).SetValue(8.0f);
    trend->GetData();
    Bitmap one = Render();
    EXPECT_EQ(one.GetPixel(kMinEnd - 15 + 1, kLegendRowTop + 3), clWhite) << "no extremes from one record";
    EXPECT_EQ(one.GetPixel(kMinEnd - 5 + 1, kLegendRowTop + 3), clBlack) << "a dash";
    Clock().Advance(60000);
    trend->GetData();
    Bitmap two = Render();
    EXPECT_EQ(two.GetPixel(kMinEnd - 15 + 1, kLegendRowTop + 3), clBlack) << "8.0";
}

TEST_F(PrintTrend, BitmapIsThePixelSizeWhateverThePreviewZoom) {
    printer.SetPreviewZoom(0.3f);
    Bitmap b = Render();
    EXPECT_EQ(b.Width(), 500);
    EXPECT_EQ(b.Height(), 400);
    EXPECT_FLOAT_EQ(printer.PreviewZoom(), 0.3f);
    // An empty trend still gets its frame and time scale, and no curve.
    EXPECT_EQ(gfxtest::CountOf(b, clLime, printer.CurveRect()), 0);
    EXPECT_EQ(b.GetPixel(printer.CurveRect().Left - 1, printer.CurveRect().Top + 5), clBlack);
}

TEST_F(PrintTrend, FormatChangesConvertEverySize) {
    TAbPrintTrend p;
    p.SetFormat(TFormat::Inch);
    EXPECT_EQ(p.Width(), 1063);
    EXPECT_EQ(p.Height(), 748);
    EXPECT_EQ(p.FontSize(), 10);
    EXPECT_EQ(p.Legend().Margin(), 8);
    p.SetFormat(TFormat::Pixel);
    EXPECT_EQ(p.Width(), 1020); // 1063 x 96 / 100
    EXPECT_EQ(p.PixelWidth(), 1020);
    p.SetLogPixelScreen(192); // pixel sizes follow the resolution
    EXPECT_EQ(p.Width(), 2040);
    p.SetFormat(TFormat::Metric);
    EXPECT_EQ(p.Width(), 2699); // 2040 x 254 / 192
    EXPECT_EQ(p.PixelWidth(), 2040);
}

TEST_F(PrintTrend, ARenderingGivesTheTrendBackAsItWasAfterAnError) {
    trend->SetFlow(true);
    Bitmap b(10, 10);
    int changes = 0;
    b.GetCanvas().Font.OnChange = [&](TFont&) {
        if (++changes == 3) throw std::runtime_error("font");
    };
    EXPECT_THROW(printer.DrawTrendBmp(b), std::runtime_error);
    EXPECT_TRUE(trend->Flow());
    EXPECT_FLOAT_EQ(printer.PreviewZoom(), 0.6f);
    EXPECT_EQ(b.GetCanvas().Pen.Width, 1);
}

TEST_F(PrintTrend, GarbageTimesFromAHistoryFileStillDraw) {
    testsupport::ScratchDir dir;
    std::string bytes;
    for (int i = 0; i < 40; ++i) { // every third time no number, every third out of range
        TTrendRecord r;
        r.Time = i % 3 == 0 ? std::nan("") : i % 3 == 1 ? (i % 2 ? 1e300 : -1e300) : 38169.5 + i / 1440.0;
        r.Digit[0] = static_cast<int16_t>(400 + i);
        uint8_t raw[kTrendRecordSize];
        EncodeTrendRecord(r, raw);
        bytes.append(reinterpret_cast<const char*>(raw), kTrendRecordSize);
    }
    testsupport::WriteRaw("garbage.dat", bytes);
    ASSERT_EQ(trend->LoadFromFile("garbage.dat"), 0);
    printer.SetTimeScaleSteps(3); // labels of records 0, 13, 26 and 39
    Bitmap b = Render();
    EXPECT_GT(gfxtest::CountOf(b, clLime, printer.CurveRect()), 100);
    platform::TForm form;
    form.SetBounds(0, 0, 500, 300);
    trend->SetParent(&form);
    trend->SetBounds(0, 0, 500, 300);
    trend->SetOptions(trend->Options() | opDate);
    trend->SetGridXPixel(30);
    Bitmap shot(500, 300);
    form.PaintTo(shot);
    EXPECT_GT(gfxtest::CountOf(shot, clLime), 30) << "curve and a time label at record 30";
    trend->SetParent(nullptr);
}

TEST_F(PrintTrend, CurvesOutsideTheScaleStayInTheCurveArea) {
    // Dew points and wind chills below the scale's foot (and heat above its top) are drawn on its edge,
    // never over the time scale and the legend.
    for (int i = 0; i < 100; ++i) {
        trend->Channel(1).SetValue(i < 50 ? -45.0f : 65.0f);
        trend->GetData();
        Clock().Advance(60000);
    }
    Bitmap b = Render();
    const TRect r = printer.CurveRect();
    EXPECT_EQ(gfxtest::CountOf(b, clLime, {0, r.Bottom + 1, 500, kLegendRowTop}), 0);
    EXPECT_EQ(gfxtest::CountOf(b, clLime, {0, 0, 500, r.Top}), 0);
    EXPECT_GT(gfxtest::CountOf(b, clLime, {r.Left, r.Bottom, r.Right, r.Bottom + 1}), r.Width() / 3);
}

TEST_F(PrintTrend, TimeLabelsAreThoseOfRealRecordsNeverOfSeparators) {
    // A restart's separators under the first label, and an empty trend: no label shows 1899-12-30.
    printer.SetTimeScaleSteps(4);
    Render();
    EXPECT_TRUE(printer.TimeScaleTimes().empty()) << "no record: no time";
    gaugetest::RecordDay(*trend, Clock(), 30);
    trend->SetStartRecording(true); // recording starts again: five separators in front of the newest
    trend->SetStartRecording(false);
    gaugetest::RecordDay(*trend, Clock(), 30);
    printer.SetRecFrom(29);
    ASSERT_EQ(trend->Record(29).Time, TAbTrend::kSeparatorTime);
    Render();
    ASSERT_EQ(printer.TimeScaleTimes().size(), 5u);
    for (platform::TDateTime t : printer.TimeScaleTimes())
        EXPECT_GT(t, 36526.0) << "after 2000-01-01";
}

TEST_F(PrintTrend, TimeScaleStepsBelowOneDrawOneDivision) {
    gaugetest::RecordDay(*trend, Clock(), 100);
    printer.SetTimeScaleSteps(1);
    Bitmap one = Render();
    for (int steps : {0, -3}) {
        printer.SetTimeScaleSteps(steps);
        Bitmap b = Render();
        EXPECT_EQ(gfxtest::PixelsOf(b, clBlack), gfxtest::PixelsOf(one, clBlack)) << steps;
    }
}

TEST_F(PrintTrend, ScalesAndCurvesFollowTheOptions) {
    gaugetest::RecordDay(*trend, Clock(), 300);
    Bitmap station = Render();
    const TRect withScale = printer.CurveRect();
    trend->SetAbsScaleCh(0);
    Render();
    EXPECT_GT(printer.CurveRect().Right, withScale.Right) << "no value scale for channel 0";
    printer.SetOptions(printer.Options() & ~ptSelScaleOnly);
    Render();
    EXPECT_LT(printer.CurveRect().Right, withScale.Right) << "one scale per visible channel";
    trend->Channel(2).SetVisible(false);
    printer.SetOptions(printer.Options() & ~ptColor);
    Bitmap plain = Render();
    EXPECT_EQ(gfxtest::CountOf(plain, clYellow), 0) << "a hidden channel has no curve; no colours";
    EXPECT_EQ(gfxtest::CountOf(plain, clLime), 0);
    EXPECT_GT(gfxtest::CountOf(station, clYellow, withScale), 200);
}

TEST_F(PrintTrend, PrintsOnAPageAtThePrinterResolution) {
    Printer paper(300, 2000, 1500);
    printer.SetPrinter(&paper);
    printer.SetName("GraphPrintTrend");
    gaugetest::RecordDay(*trend, Clock(), 60);
    printer.PrintTrend(10, 20);
    ASSERT_EQ(paper.Pages().size(), 1u);
    EXPECT_EQ(paper.Title, "GraphPrintTrend - Temperature");
    // Pixel format at 96 ppi on a 300 ppi page: the chart is 500 x 300 / 96 wide from (10, 20).
    const Bitmap& page = paper.Pages()[0];
    const TRect r = printer.CurveRect();
    EXPECT_GT(r.Width(), 1000);
    EXPECT_LT(r.Right, 10 + R(500 * 300 / 96.0));
    EXPECT_EQ(page.GetPixel(r.Left - 2, r.Top + 10), clBlack) << "a frame 2 pixels wide at this zoom";
    EXPECT_GT(gfxtest::CountOf(page, clLime), 1000);
}

TEST_F(PrintTrend, PreviewPaintsIntoItsBoxAndForgetsFreedComponents) {
    platform::TForm form;
    form.SetBounds(0, 0, 320, 260);
    auto* box = new platform::TPaintBox(&form);
    box->SetParent(&form);
    box->SetBounds(0, 0, 300, 240);
    gaugetest::RecordDay(*trend, Clock(), 60);
    printer.SetPreviewPaintBox(box);
    printer.SetPreviewZoom(0.5f);
    Bitmap shot(320, 260);
    form.PaintTo(shot);
    EXPECT_EQ(shot.GetPixel(2, 2), clWhite);
    EXPECT_GT(gfxtest::CountOf(shot, clLime, {0, 0, 250, 200}), 20) << "half size";
    EXPECT_EQ(gfxtest::CountOf(shot, clLime, {250, 200, 320, 260}), 0);
    delete box;
    EXPECT_EQ(printer.PreviewPaintBox(), nullptr);
    trend.reset();
    EXPECT_EQ(printer.Trend(), nullptr);
    Bitmap b = Render(); // renders nothing, fails nothing
    EXPECT_EQ(b.Width(), 500);
}

} // namespace
