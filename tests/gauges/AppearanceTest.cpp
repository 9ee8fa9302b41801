// Appearance settings drawn on bitmaps: bevel frames and what they leave inside, round bevels, level
// bars, LEDs and the value box, and the change notifications that reach the owning control.
#include <gtest/gtest.h>

#include "gauges/AbBar.h"
#include "gauges/AbIndicators.h"
#include "platform/Exceptions.h"
#include "tests/platform/GraphicsTestSupport.h"

using namespace gauges;
using namespace platform::gfx;

namespace {

struct TestFontScope {
    TestFontScope() { TFont::UseTestFont(true); }
    ~TestFontScope() { TFont::UseTestFont(false); }
};

TEST(Appearance, BevelFramesShrinkTheRectangleByTheirTotalWidth) {
    TAbSBevel bevel;
    bevel.SetBevelLine(blBoth);
    bevel.SetColorHighLightFrom(clRed);
    bevel.SetColorHighLightTo(clBlue);
    EXPECT_EQ(bevel.TotalWidth(), 9);
    Bitmap b = gfxtest::White(100, 100);
    TRect r{0, 0, 100, 100};
    bevel.PaintBevel(b.GetCanvas(), r);
    EXPECT_EQ(r, (TRect{9, 9, 91, 91}));
    EXPECT_EQ(b.GetPixel(0, 50), clBlack) << "outer line";
    EXPECT_EQ(b.GetPixel(1, 50), RGB(127, 0, 128)) << "the highlight gradient's outer step";
    EXPECT_EQ(b.GetPixel(2, 50), clBlue);
    EXPECT_EQ(b.GetPixel(98, 50), clGray) << "shadow on the bottom-right";
    EXPECT_EQ(b.GetPixel(3, 50), clBlack) << "inner line";
    EXPECT_EQ(b.GetPixel(50, 50), clWhite) << "a frame only";

    bevel.SetStyle(bsLowered);
    bevel.SetColor(clYellow);
    bevel.Offset().SetLeft(4);
    r = {0, 0, 100, 100};
    bevel.PaintFilledBevel(b.GetCanvas(), r);
    EXPECT_EQ(r, (TRect{13, 9, 91, 91}));
    EXPECT_EQ(b.GetPixel(1, 50), clGray) << "lowered: shadow on the top-left";
    EXPECT_EQ(b.GetPixel(98, 50), RGB(128, 0, 127)) << "the highlight gradient run from its inner end";
    EXPECT_EQ(b.GetPixel(97, 50), clRed);
    EXPECT_EQ(b.GetPixel(50, 50), clYellow);
    bevel.SurfaceGrad().SetVisible(true);
    bevel.SurfaceGrad().SetColorFrom(clRed);
    bevel.SurfaceGrad().SetColorTo(clRed);
    r = {0, 0, 100, 100};
    bevel.PaintFilledBevel(b.GetCanvas(), r);
    EXPECT_EQ(b.GetPixel(50, 50), clRed) << "the surface gradient inside the frame";
}

TEST(Appearance, RoundBevelStaysInsideItsCircleAndClipsToTheInnerSquare) {
    TAbSBevel bevel;
    bevel.SetColor(clYellow);
    TRect r{0, 0, 60, 60};
    Bitmap b = gfxtest::White(60, 60);
    bevel.PaintRoundBevel(b.GetCanvas(), r, 0, 0);
    EXPECT_EQ(r, (TRect{0, 0, 60, 60})) << "nothing without the gradient cache";
    bevel.SetUseCache(true);
    bevel.Change();
    ASSERT_TRUE(bevel.CacheExists());
    bevel.PaintRoundBevel(b.GetCanvas(), r, 0, 0);
    EXPECT_EQ(r, (TRect{7, 7, 53, 53}));
    EXPECT_EQ(b.GetPixel(1, 1), clWhite);
    EXPECT_EQ(b.GetPixel(58, 58), clWhite);
    EXPECT_EQ(b.GetPixel(30, 30), clYellow);
    EXPECT_EQ(b.GetPixel(30, 0), clGray) << "the shadow gradient on the rim";
    Canvas& c = b.GetCanvas();
    c.Brush.Color = clBlue;
    c.FillRect({0, 0, 60, 60});
    EXPECT_EQ(gfxtest::CountOf(b, clBlue), 56 * 56) << "the canvas stays clipped to the inner square";
}

TEST(Appearance, BarLengthsFollowTheLevel) {
    TBarSettings bar;
    bar.BarRect = {0, 0, 100, 10};
    auto lit = [&](int32_t ppt) {
        Bitmap b = gfxtest::White(100, 100);
        bar.PaintBar(b.GetCanvas(), ppt);
        std::string row;
        for (int x = 0; x < 100; ++x)
            row += b.GetPixel(x, 5) == clLime ? '#' : '.';
        return row;
    };
    EXPECT_EQ(lit(500), std::string(50, '#') + std::string(50, '.'));
    bar.SetStyle(bsPoint);
    EXPECT_EQ(lit(500), std::string(48, '.') + "###" + std::string(49, '.')) << "round(48.5) is 48";
    bar.SetStyle(bsLED_Bar);
    std::string segments;
    for (int i = 0; i < 12; ++i)
        segments += "###.";
    EXPECT_EQ(lit(500), segments + std::string(52, '.')) << "12 of 25 segments";
    bar.SetStyle(bsBar);
    bar.SetOptions(opBidir);
    bar.ZeroPPT = 500;
    EXPECT_EQ(lit(300), std::string(30, '.') + std::string(20, '#') + std::string(50, '.'));

    // A vertical bar grows from the bottom edge.
    bar.SetOptions(0);
    bar.BarRect = {10, 0, 20, 100};
    Bitmap v = gfxtest::White(30, 100);
    bar.PaintBar(v.GetCanvas(), 250);
    EXPECT_EQ(gfxtest::CountOf(v, clLime), 10 * 25);
    EXPECT_EQ(v.GetPixel(15, 75), clLime);
    EXPECT_EQ(v.GetPixel(15, 74), clBlack);
}

TEST(Appearance, BarTextStaysLegibleOverLitAndUnlitParts) {
    TestFontScope font;
    TBarSettings bar;
    bar.BarRect = {0, 0, 100, 20};
    bar.SetOptions(opValue | opUnit);
    bar.ValueText = "50";
    bar.UnitText = "%";
    Bitmap full(100, 20);
    bar.PaintBar(full.GetCanvas(), 1000);
    EXPECT_GT(gfxtest::CountOf(full, clFuchsia), 20) << "white ink over lime";
    EXPECT_EQ(gfxtest::CountOf(full, clWhite), 0);
    Bitmap empty(100, 20);
    bar.PaintBar(empty.GetCanvas(), 0);
    EXPECT_EQ(gfxtest::CountOf(empty, clWhite), gfxtest::CountOf(full, clFuchsia));
}

TEST(Appearance, SettersRefuseOutOfRangeValues) {
    TLED led;
    led.SetWidth(41);
    led.SetHeight(3);
    EXPECT_EQ(led.Width(), 13);
    EXPECT_EQ(led.Height(), 13);
    led.SetWidth(40);
    EXPECT_EQ(led.Width(), 40);
    TAbSBevel bevel;
    bevel.SetWidth(-1);
    EXPECT_EQ(bevel.Width(), 2);
    TBarSettings bar;
    int changes = 0;
    bar.OnChange = [&](platform::TObject*) { ++changes; };
    bar.SetMinWidth(0);
    EXPECT_EQ(changes, 0);
    bar.SetMinWidth(5);
    EXPECT_EQ(changes, 1) << "notifies even when unchanged";
}

TEST(Appearance, InnerSettingsNotifyTheirOwner) {
    TBarSettings bar;
    platform::TObject* sender = nullptr;
    bar.OnChange = [&](platform::TObject* s) { sender = s; };
    bar.Bevel().SetWidth(3);
    EXPECT_EQ(sender, &bar.Bevel());
    bar.Bevel().Offset().SetTop(1);
    EXPECT_EQ(sender, &bar.Bevel());
    sender = nullptr;
    bar.Font().SetHeight(20);
    EXPECT_EQ(sender, &bar);

    TAbSBevel source, dest;
    source.SetSpacing(1);
    source.SetBevelLine(blOuter);
    int changes = 0;
    dest.OnChange = [&](platform::TObject*) { ++changes; };
    dest.Assign(source);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(dest.TotalWidth(), 4);
    TAbGradSettings grad;
    EXPECT_THROW(grad.Assign(source), platform::EConvertError);
}

TEST(Appearance, ValueBoxAnchorsItsFrameAndRightAlignsTheValue) {
    TestFontScope font;
    TAbValInd box; // Arial 10: 16-pixel test font, 8 pixels a character
    box.Caption().SetText("T");
    box.Caption().Font().SetHeight(10);
    Bitmap b = gfxtest::White(200, 100);
    box.Draw(b.GetCanvas(), {100, 50}, toMidCenter);
    // "##0.0" is 40 wide; margin 16 div 7 = 2; frame 2: 48 x 20 centred one pixel right of the point.
    EXPECT_EQ(box.BoxRect(), (TRect{77, 40, 125, 60}));
    EXPECT_EQ(b.GetPixel(77, 50), 0x737373) << "sunken: dark top-left";
    EXPECT_EQ(b.GetPixel(124, 50), clWhite);
    EXPECT_EQ(box.ValueRect(), (TRect{79, 42, 123, 58}));
    box.DrawValue(b.GetCanvas(), 12.5);
    // "12.5" (32 pixels) ends at the value area's width less the margin, plus one.
    EXPECT_EQ(b.GetPixel(79 + 11, 45), clLime);
    EXPECT_EQ(b.GetPixel(79 + 10, 45), clBlack);
    EXPECT_EQ(b.GetPixel(79 + 42, 45), clBlack) << "the last column of a test-font glyph is empty";
    EXPECT_EQ(b.GetPixel(79 + 41, 45), clLime);
    // The caption "T" stands on the box's top edge, from its left edge.
    EXPECT_EQ(b.GetPixel(78, 35), clBlack);
    EXPECT_EQ(b.GetPixel(76, 35), clWhite);
}

} // namespace
