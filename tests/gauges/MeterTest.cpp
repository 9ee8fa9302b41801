// Round pointer meters on a form, drawn with the fixed-metric test font: size from the scale font, the
// pointer's angle, the sector ring clipped to its ring, pointer redraws that touch only the pointer box
// and give back the background exactly, and the flashing pointer.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "gauges/AbRMeter.h"
#include "platform/controls/Form.h"
#include "tests/gauges/GaugeTestSupport.h"
#include "tests/platform/GraphicsTestSupport.h"

using namespace gauges;
using namespace platform::gfx;

namespace {

class Meter : public gaugetest::FormFixture {
protected:
    Meter() : FormFixture(320, 300) {}
    template <class M> M& Make(int left = 10, int top = 10) { return Place<M>(left, top); }
};

// The pivot of the pointer in form coordinates, and a point at `distance` from it in direction `angle`
// (degrees clockwise from twelve o'clock).
TPoint Pivot(TAbRMeter& m) {
    const TRect& p = m.PointerRect();
    int r = p.Width() / 2;
    return {m.Left() + p.Left + r, m.Top() + p.Top + r};
}
TColor At(const Bitmap& b, TPoint p) {
    return b.GetPixel(p.X, p.Y);
}
TPoint Along(TPoint from, double angle, double distance) {
    double a = angle * M_PI / 180;
    return {from.X + static_cast<int>(std::lround(std::sin(a) * distance)),
            from.Y - static_cast<int>(std::lround(std::cos(a) * distance))};
}

TEST_F(Meter, AutoSizeFollowsTheScaleLabels) {
    auto& m = Place<TAb360Meter>();
    m.SetOptions(0);
    m.ScaleSettings().Font().SetHeight(20); // labels 20 pixels high, 10 a character
    m.SignalSettings().SetValueTo(1000);    // "1000": 40 wide
    m.Loaded();
    Picture();
    EXPECT_EQ(m.Width(), 200);  // 10 label heights
    EXPECT_EQ(m.Height(), 180); // (200 - 40) / 1.0 + 20
    auto& tall = Place<TAb270Meter>();
    tall.SetOptions(TAbRMeter::opBevelOuter | TAbRMeter::opName1);
    tall.ScaleSettings().Font().SetHeight(20);
    tall.Loaded();
    Picture();
    // d = 200 + 2 x 8 outer; h = round((200 - 30) / 1.18 + 20) + 16 + the name's 14.
    EXPECT_EQ(tall.Width(), 216);
    EXPECT_EQ(tall.Height(), 164 + 16 + 14);
}

TEST_F(Meter, PointerTurnsFromTheStartAngleOverTheSweep) {
    auto& m = Place<TAb270Meter>();
    m.SetOptions(TAbRMeter::kAllOptions & ~TAbRMeter::opLimit); // the ends lie beyond the limits
    m.Loaded();
    m.SetValue(0);
    Bitmap b = Picture();
    TPoint pivot = Pivot(m);
    double r = m.PointerRect().Width() / 2.0;
    EXPECT_EQ(At(b, Along(pivot, 225, 0.6 * r)), clLime) << "ValueFrom at lower left";
    EXPECT_NE(At(b, Along(pivot, 135, 0.6 * r)), clLime);
    m.SetValue(100);
    b = Picture();
    EXPECT_EQ(At(b, Along(pivot, 135, 0.6 * r)), clLime) << "ValueTo at lower right";
    EXPECT_NE(At(b, Along(pivot, 225, 0.6 * r)), clLime);
    m.SetValue(50);
    b = Picture();
    EXPECT_EQ(At(b, Along(pivot, 0, 0.6 * r)), clLime) << "half way at the top";

    auto& full = Place<TAb360Meter>();
    full.Loaded();
    full.SetValue(25);
    full.SetStartPos(361);
    full.SetStartPos(-1);
    EXPECT_EQ(full.StartPos(), 0);
    full.SetStartPos(180);
    b = Picture();
    EXPECT_EQ(At(b, Along(Pivot(full), 270, 0.6 * full.PointerRect().Width() / 2.0)), clLime)
        << "a quarter past the start at the bottom";
}

TEST_F(Meter, SectorsShowOnlyInTheirRing) {
    auto& m = Place<TAb270Meter>();
    TSectorSettings& s = m.SectorSettings();
    s.SetColor(1, clBlue); // a span below 5 is not drawn
    s.SetFrom(1, 0);
    s.SetTo(1, 3);
    s.SetColor(2, clFuchsia); // from before the start: drawn from the start angle to 200
    s.SetFrom(2, -50);
    s.SetTo(2, 200);
    s.SetColor(3, clRed);
    s.SetFrom(3, 700);
    s.SetTo(3, 1000);
    m.Loaded();
    m.SetValue(50);
    Bitmap b = Picture();

    TRect ring = m.PointerRect().Offset(m.Left(), m.Top());
    AbBorder(ring, m.ScaleSettings().MainTick);
    int w = ring.Width() / 10;
    Region outer = Region::FromEllipse({ring.Left, ring.Top, ring.Right, ring.Bottom + 1});
    TRect innerBox = ring;
    AbBorder(innerBox, w);
    Region inner = Region::FromEllipse(innerBox);
    for (TColor c : {clFuchsia, clRed}) {
        gfxtest::PixelSet pixels = gfxtest::PixelsOf(b, c);
        EXPECT_GT(pixels.size(), 500u);
        for (auto [x, y] : pixels) {
            ASSERT_TRUE(outer.Contains(x, y)) << "outside the ring at " << x << "," << y;
            ASSERT_FALSE(inner.Contains(x, y)) << "inside the ring at " << x << "," << y;
        }
    }
    EXPECT_EQ(gfxtest::CountOf(b, clBlue), 0);
    // Mid-ring: sector 2 covers 225 .. 279 degrees, sector 3 from 225 + 189 = 414 (54) to 135.
    TPoint c = AbCenterPoint(ring);
    double mid = ring.Width() / 2.0 - w / 2.0;
    EXPECT_EQ(At(b, Along(c, 250, mid)), clFuchsia);
    EXPECT_NE(At(b, Along(c, 290, mid)), clFuchsia);
    EXPECT_EQ(At(b, Along(c, 90, mid)), clRed);
    EXPECT_NE(At(b, Along(c, 40, mid)), clRed);
}

TEST_F(Meter, PointerRedrawTouchesOnlyThePointerBoxAndMatchesAFullPaint) {
    auto& m = Place<TAb270Meter>();
    m.Loaded();
    m.SetValue(20);
    Bitmap before = Picture();
    m.SetValue(80); // drawn at once over the saved background
    Bitmap after(form->Width(), form->Height());
    after.GetCanvas().Draw(0, 0, form->Surface());
    TRect box = m.PointerRect().Offset(m.Left(), m.Top());
    int changed = 0;
    for (int y = 0; y < before.Height(); ++y)
        for (int x = 0; x < before.Width(); ++x) {
            if (before.GetPixel(x, y) == after.GetPixel(x, y)) continue;
            ++changed;
            ASSERT_TRUE(box.Contains(x, y)) << "changed outside the pointer box at " << x << "," << y;
        }
    EXPECT_GT(changed, 100);
    m.Invalidate();
    Bitmap full = Picture();
    EXPECT_TRUE(gfxtest::PixelsOf(full, clLime) == gfxtest::PixelsOf(after, clLime));
    for (int y = 0; y < full.Height(); ++y)
        for (int x = 0; x < full.Width(); ++x)
            ASSERT_EQ(full.GetPixel(x, y), after.GetPixel(x, y)) << x << "," << y;
}

TEST_F(Meter, OutOfRangeOrBeyondALimitFlashesThePointer) {
    auto& m = Place<TAb270Meter>();
    m.Loaded();
    Picture();
    TPoint tip = Along(Pivot(m), 135, 0.6 * m.PointerRect().Width() / 2.0);
    auto pointer = [&] { return form->Surface().GetPixel(tip.X, tip.Y); };
    m.SetValue(120);
    EXPECT_TRUE(m.PointerFlashing());
    ASSERT_EQ(FlashList().size(), 1u);
    EXPECT_EQ(FlashList()[0].Interval, 4) << "2 Hz";
    m.Perform(WM_FLASH, 0, 0);
    EXPECT_EQ(pointer(), clYellow);
    m.Perform(WM_FLASH, 0, 1);
    EXPECT_EQ(pointer(), clRed);
    m.SetValue(95); // back in range but beyond the upper limit
    EXPECT_TRUE(m.PointerFlashing());
    m.SetOptions(TAbRMeter::kAllOptions & ~TAbRMeter::opLimit);
    m.SetValue(120);
    m.SetValue(96);
    EXPECT_FALSE(m.PointerFlashing());
    EXPECT_TRUE(FlashList().empty());
    EXPECT_NE(pointer(), clRed);
}

TEST_F(Meter, ATooSmallMeterDrawsNoPointer) {
    auto& m = Place<TAb180Meter>();
    m.SetAutoSize(false);
    m.SetBounds(10, 10, 30, 60);
    m.Loaded();
    Bitmap before = Picture();
    EXPECT_TRUE(m.PointerHidden());
    m.SetValue(10);
    m.Perform(WM_FLASH, 0, 1);
    Bitmap after(form->Width(), form->Height());
    after.GetCanvas().Draw(0, 0, form->Surface());
    EXPECT_EQ(gfxtest::PixelsOf(before, clBlack), gfxtest::PixelsOf(after, clBlack));
}

} // namespace
