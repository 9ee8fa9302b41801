// The trend graph on a form, drawn with the fixed-metric test font: limit bands and the zero line, what
// recording ticks draw against a full redraw, separators, the time row and the cursor line.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "gauges/AbTrend.h"
#include "platform/controls/Form.h"
#include "tests/gauges/GaugeTestSupport.h"
#include "tests/platform/GraphicsTestSupport.h"

using namespace gauges;
using namespace platform::gfx;

namespace {

int R(double v) {
    return static_cast<int>(std::nearbyint(v));
}

class TrendDraw : public gaugetest::GaugeFixture {
protected:
    void SetUp() override {
        GaugeFixture::SetUp();
        TFont::UseTestFont(true);
        form = std::make_unique<platform::TForm>();
        form->SetBounds(0, 0, 520, 320);
        trend = new TAbTrend(form.get()); // the form frees it
        trend->SetBounds(0, 0, 500, 300);
        trend->SetStartRecording(false);
        trend->Font().SetHeight(10);
        trend->Font().SetColor(clBlack);
        trend->CaptionFont().SetHeight(12);
        trend->SetCaption("Trend");
        for (int c = 3; c <= kTrendChannels; ++c)
            trend->Channel(c).SetVisible(false);
        trend->Loaded();
        Picture(); // shown before the first record, as on the station's window
    }
    void TearDown() override {
        form.reset();
        TFont::UseTestFont(false);
        GaugeFixture::TearDown();
    }
    // What the form shows.
    Bitmap Picture() {
        Bitmap b(form->Width(), form->Height());
        form->PaintTo(b);
        return b;
    }
    // Channel 1 a slow wave over its range, channel 2 a faster one; one record per simulated minute.
    void Record(int n) {
        for (int i = 0; i < n; ++i, ++minute) {
            trend->Channel(1).SetValue(static_cast<float>(50 + 40 * std::sin(minute / 37.0)));
            trend->Channel(2).SetValue(static_cast<float>(30 + 20 * std::sin(minute / 11.0)));
            trend->Channel(3).SetValue(static_cast<float>(20 + 10 * std::cos(minute / 23.0)));
            trend->Channel(7).SetValue(static_cast<float>(85 + 10 * std::sin(minute / 17.0)));
            Clock().Advance(60000);
            trend->GetData();
        }
    }
    // The pixel at (x, y) of the curve area.
    TColor CurvePixel(const Bitmap& b, int x, int y) {
        const TRect& r = trend->CurveRect();
        return b.GetPixel(r.Left + x, r.Top + y);
    }
    std::unique_ptr<platform::TForm> form;
    TAbTrend* trend = nullptr;
    int minute = 0;
};

TEST_F(TrendDraw, LimitBandsLieAtTheirPercentOfTheCurveHeightAboveTheZeroLine) {
    trend->SetOptions(trend->Options() & ~opGrid);
    trend->BevelInner().SetColor(clWhite);
    trend->Channel(1).SetDigitalTo(30000); // the channels' ranges play no part
    Bitmap b = Picture();
    const int h = trend->CurveHeight();
    ASSERT_GT(h, 100);
    const int upper = h - R(90.0 * h / 100), lower = h - R(10.0 * h / 100);
    EXPECT_EQ(CurvePixel(b, 20, upper - 1), clMaroon);
    EXPECT_EQ(CurvePixel(b, 20, upper), clWhite);
    EXPECT_EQ(CurvePixel(b, 20, lower - 1), clWhite);
    EXPECT_EQ(CurvePixel(b, 20, lower), clMaroon);
    EXPECT_EQ(CurvePixel(b, 20, h), clMaroon) << "the lower band reaches the zero line";

    // Zooming out halves the distances from the zero line; an unfilled limit is a line.
    trend->ZoomYTo(2.0f);
    trend->LimitUpper().SetFilled(false);
    b = Picture();
    const int zoomed = h - R(90.0 * h / 100 / 2);
    EXPECT_EQ(CurvePixel(b, 20, zoomed), clMaroon);
    EXPECT_EQ(CurvePixel(b, 20, zoomed - 1), clWhite);
    EXPECT_EQ(CurvePixel(b, 20, zoomed + 1), clWhite);
}

TEST_F(TrendDraw, RecordingTicksDrawExactlyWhatAFullRedrawDraws) {
    trend->Channel(2).SetPenWidth(2);
    trend->Channel(3).SetVisible(true);
    trend->Channel(7).SetVisible(true);
    trend->SetFillChannelNo(3);
    trend->SetOptions(trend->Options() | opCh7isUL | opDate);
    trend->BevelInner().SetColor(clWhite);
    Record(2);
    Picture(); // the first full paint
    Record(150);
    trend->AddSeparator(trend->RecordCount() - 1); // recording restarted
    // Past the right edge the view jumps by grid steps and is drawn anew, then ticks go on.
    Record(trend->CurveRect().Width() + 40);
    ASSERT_GT(trend->FirstDisplayed(), 0);
    Bitmap ticks = Picture();
    trend->PaintRecords(trend->FirstDisplayed(), trend->RecordCount() - 1);
    Bitmap full = Picture();
    int differing = 0;
    for (int y = 0; y < full.Height(); ++y)
        for (int x = 0; x < full.Width(); ++x)
            differing += ticks.GetPixel(x, y) != full.GetPixel(x, y);
    EXPECT_EQ(differing, 0) << gfxtest::DumpPpm(ticks, "trend_ticks") << " "
                            << gfxtest::DumpPpm(full, "trend_full");
    EXPECT_GT(gfxtest::CountOf(full, trend->Channel(1).Color()), 100);
    EXPECT_GT(gfxtest::CountOf(full, trend->Channel(3).Color()), 1000) << "the filled channel";
}

TEST_F(TrendDraw, CurvesStandOnTheZeroLineAtTheirDigits) {
    trend->SetOptions(trend->Options() & ~(opGrid | opTime));
    trend->LimitUpper().SetEnabled(false);
    trend->LimitLower().SetEnabled(false);
    trend->Channel(2).SetVisible(false);
    trend->Channel(1).SetValue(0);
    Record(0);
    for (float v : {0.0f, 25.0f, 25.0f, 100.0f}) {
        trend->Channel(1).SetValue(v);
        Clock().Advance(60000);
        trend->GetData();
    }
    Bitmap b = Picture();
    const int h = trend->CurveHeight();
    const TColor ink = trend->Channel(1).Color();
    // Staircase: record x at column x; the rise to a new value is drawn in the new record's column.
    EXPECT_EQ(CurvePixel(b, 0, h), ink);
    EXPECT_EQ(CurvePixel(b, 1, h - R(250.0 * h / 1000) + 1), ink);
    EXPECT_EQ(CurvePixel(b, 2, h - R(250.0 * h / 1000)), ink);
    EXPECT_EQ(CurvePixel(b, 1, h - 1), ink) << "the rise stands whole in column 1";
    EXPECT_NE(CurvePixel(b, 0, h - 5), ink) << "column 0 stays at the old value";
    EXPECT_EQ(CurvePixel(b, 3, 1), ink) << "full scale reaches the top";
    // A channel without a digit span draws nothing and does not fail.
    trend->Channel(1).SetDigitalTo(0);
    b = Picture();
    EXPECT_EQ(gfxtest::CountOf(b, ink, trend->CurveRect()), 0);
}

TEST_F(TrendDraw, SeparatorsAreFiveColumnsInTheSeparatorColour) {
    trend->SetColorSeparator(clAqua);
    Record(20);
    trend->AddSeparator(trend->RecordCount() - 1);
    Record(5);
    Bitmap b = Picture();
    const int h = trend->CurveRect().Height();
    for (int x = 0; x < 30; ++x) {
        bool separator = x >= 19 && x < 24;
        EXPECT_EQ(CurvePixel(b, x, h / 2) == clAqua, separator) << x;
        if (separator) {
            EXPECT_EQ(CurvePixel(b, x, 0), clAqua);
        }
    }
}

TEST_F(TrendDraw, TimeLabelsStartAtTheFirstGridColumn) {
    trend->SetColorTime(clAqua);
    Record(200);
    Bitmap b = Picture();
    const TRect& r = trend->CurveRect();
    // The time row: the bottom text row of the curve area; "hh:nn:ss" is 8 test-font characters of 5.
    TRect row{r.Left, r.Bottom - 10, r.Right, r.Bottom};
    auto inkIn = [&](int from, int to) {
        return gfxtest::CountOf(b, clAqua, {r.Left + from, row.Top, r.Left + to, row.Bottom});
    };
    EXPECT_EQ(inkIn(0, 40), 0) << "no label at column 0";
    EXPECT_GT(inkIn(40, 80), 0) << "the label centred on column 60";
    EXPECT_EQ(inkIn(80, 100), 0);
    EXPECT_GT(inkIn(100, 140), 0);
    EXPECT_EQ(gfxtest::CountOf(b, clAqua, {r.Left, r.Top, r.Right, row.Top}), 0) << "nothing above the row";
}

TEST_F(TrendDraw, TheCursorLineLeavesTheCleanPictureBehind) {
    trend->BevelInner().SetColor(clWhite);
    trend->SetOptions(trend->Options() & ~opGrid);
    trend->LimitUpper().SetEnabled(false);
    trend->LimitLower().SetEnabled(false);
    Record(100);
    Bitmap clean = Picture();
    const TRect& r = trend->CurveRect();
    TVAtCursor seen;
    trend->OnNewCursorPos = [&](TObject*) { seen = trend->ValueAtCursor(); };
    form->SimulateMouseMove(0, r.Left + 30, r.Top + 5);
    EXPECT_TRUE(seen.DataValid);
    EXPECT_EQ(seen.RecordNo, 30);
    Bitmap with = Picture();
    // pmNotMask of lime on white gives fuchsia; the line stops above the time row.
    EXPECT_EQ(CurvePixel(with, 30, 0), clFuchsia);
    EXPECT_EQ(CurvePixel(with, 30, r.Height() - 10 - 3), clFuchsia);
    EXPECT_EQ(CurvePixel(with, 30, r.Height() - 12), CurvePixel(clean, 30, r.Height() - 12));
    form->SimulateMouseMove(0, r.Left + 31, r.Top + 5);
    Bitmap moved = Picture();
    EXPECT_EQ(CurvePixel(moved, 30, 0), clWhite) << "the old column restored";
    EXPECT_EQ(CurvePixel(moved, 31, 0), clFuchsia);
    form->SimulateMouseMove(0, r.Left - 2, r.Top + 5);
    EXPECT_FALSE(seen.DataValid);
    Bitmap after = Picture();
    EXPECT_EQ(gfxtest::PixelsOf(after, clFuchsia).size(), 0u);
    int differing = 0;
    for (int y = 0; y < clean.Height(); ++y)
        for (int x = 0; x < clean.Width(); ++x)
            differing += clean.GetPixel(x, y) != after.GetPixel(x, y);
    EXPECT_EQ(differing, 0);
}

TEST_F(TrendDraw, LayoutLeavesRoomForScalesCaptionAndTimeRow) {
    trend->SetOptions(opCaption | opLeftScale | opRightScale | opTime | opGrid);
    trend->SetLeftScaleCh(0); // a percent scale
    Picture();
    const TRect r = trend->CurveRect();
    // Outer bevel: 1 line + 2 frame + 10 spacing; caption 12 high plus the spacing; inner bevel 1 + 2.
    EXPECT_EQ(r.Top, 13 + 12 + 10 + 3);
    // Left labels "100" (3 x 5 px) plus the gap (tick 8, gap 12); right labels "100.0" (25 px).
    EXPECT_EQ(r.Left, 13 + 15 + 12 + 3);
    EXPECT_EQ(r.Right, 500 - 13 - 25 - 12 - 3);
    EXPECT_EQ(r.Bottom, 300 - 13 - 3);
    EXPECT_EQ(trend->CurveHeight(), r.Height() - 1 - (10 + 4))
        << "the time row and 4 pixels under the curves";
    EXPECT_EQ(trend->RecordInfo().FirstDisplayedRec, 0);
}

} // namespace
