// Gauge scales with the test font (Arial 14 becomes 24-pixel cells, 12 pixels a character): measuring,
// log step counts, straight scales' ticks and labels, and the labels of a full circle.
#include <gtest/gtest.h>

#include "gauges/AbScale.h"
#include "tests/platform/GraphicsTestSupport.h"

using namespace gauges;
using namespace platform::gfx;

namespace {

class Scale : public ::testing::Test {
protected:
    Scale() { TFont::UseTestFont(true); }
    ~Scale() override { TFont::UseTestFont(false); }
    TScaleSettings scale;
    Bitmap bitmap = gfxtest::White(200, 200);
    Canvas& canvas = bitmap.GetCanvas();
};

TEST_F(Scale, SettersKeepStepsInRange) {
    int changes = 0;
    scale.OnChange = [&](platform::TObject*) { ++changes; };
    scale.SetSteps(0);
    scale.SetSteps(21);
    scale.SetSubSteps(11);
    scale.SetSubSteps(0);
    EXPECT_EQ(scale.Steps(), 5);
    EXPECT_EQ(scale.SubSteps(), 2);
    EXPECT_EQ(changes, 0);
    scale.SetDrawLine(true);
    EXPECT_EQ(changes, 1) << "DrawLine notifies also when unchanged";
    scale.Font().SetHeight(30);
    EXPECT_EQ(changes, 2);
}

TEST_F(Scale, LogScaleStepsDivideTheDecades) {
    struct Case {
        int steps, decades, expected;
    };
    for (Case c :
         {Case{5, 4, 4}, {8, 4, 4}, {3, 4, 2}, {5, 6, 3}, {5, 7, 1}, {7, 7, 7}, {1, 4, 1}, {5, 0, 1}})
        EXPECT_EQ(TScaleSettings::CalcLogScaleSteps(c.steps, c.decades), c.expected)
            << c.steps << " steps, " << c.decades << " decades";
    scale.LogScale = true;
    scale.CalcSize(canvas, 0.01, 100);
    EXPECT_EQ(scale.LogSteps, 4);
    EXPECT_EQ(scale.LogFrom, -2);
    EXPECT_EQ(scale.LogTo, 2);
    EXPECT_EQ(std::count(scale.Labels.begin(), scale.Labels.end(), ';'), 5);
}

TEST_F(Scale, MeasuringDerivesTicksAndSizeFromTheLabels) {
    scale.CalcSize(canvas, 0, 100);
    EXPECT_EQ(scale.Labels, "100;80;60;40;20;0;");
    EXPECT_EQ(scale.LabelWidth, 36);
    EXPECT_EQ(scale.LabelHeight, 24);
    EXPECT_EQ(scale.MainPenWidth, 2);  // round(24 / 14)
    EXPECT_EQ(scale.Gap, 8);           // 24 div 3
    EXPECT_EQ(scale.MainTick, 17);     // round(24 / 1.4)
    EXPECT_EQ(scale.SubTick, 12);      // round(17 / 1.4)
    EXPECT_EQ(scale.ScaleWidth, 61);   // 36 + 17 + 8
    EXPECT_EQ(scale.ScaleHeight, 168); // round(24 x 5 x 1.4)
    EXPECT_EQ(scale.PointerMargin, 4);
    scale.CalcHSize(canvas, 0, 100);
    EXPECT_EQ(scale.Labels, "0;20;40;60;80;100;");
    EXPECT_EQ(scale.Gap, 4);
    EXPECT_EQ(scale.ScaleWidth, 252);
    EXPECT_EQ(scale.ScaleHeight, 12 + 17 + 4);
    scale.CalcRSize(canvas, 0, 100);
    EXPECT_EQ(scale.Gap, 19); // max(24, 36) div 2 + 1
}

TEST_F(Scale, VerticalScaleTicksAndLabels) {
    scale.CalcSize(canvas, 0, 100);
    scale.SetSubSteps(2);
    scale.VertiScala(canvas, {10, 20, 60, 120}); // 5 main steps of 20 pixels
    EXPECT_EQ(scale.ScaleTop, 20);
    EXPECT_EQ(scale.ScaleBottom, 120);
    auto black = [&](int x, int y) { return bitmap.GetPixel(x, y) == clBlack; };
    for (int y : {20, 40, 60, 80, 100, 120}) {
        EXPECT_TRUE(black(10 + 16, y)) << "main tick at " << y;
        EXPECT_TRUE(black(10 + 17 + 8 + 1, y)) << "label at " << y; // left-aligned after tick and gap
    }
    EXPECT_TRUE(black(10 + 11, 30)) << "sub tick";
    EXPECT_FALSE(black(10 + 13, 30)) << "shorter than a main tick";
    EXPECT_TRUE(black(10, 70)) << "base line";
    // "100" on top, "0" at the bottom: three characters against one.
    EXPECT_TRUE(black(35 + 30, 20));
    EXPECT_FALSE(black(35 + 30, 120));
}

TEST_F(Scale, AFullCircleDrawsOneLabelLessThanADial) {
    scale.SetSteps(4);
    scale.CalcRSize(canvas, 0, 100);
    TRect r{0, 0, 200, 200};
    scale.RoundScala(canvas, r, 360, 0);
    // r = (200 - 2 x 19) div 2 - 18 + 19 = 82: the labels' centres on a circle of 82 around (100, 94).
    EXPECT_EQ(scale.Centre, (TPoint{100, 94}));
    // "0" at twelve o'clock, and not "100" over it.
    EXPECT_EQ(bitmap.GetPixel(96, 8), clBlack);
    EXPECT_EQ(bitmap.GetPixel(85, 8), clWhite);
    Bitmap dial = gfxtest::White(200, 200);
    r = {0, 0, 200, 200};
    scale.DialScala(dial.GetCanvas(), r, 360, 0);
    EXPECT_EQ(dial.GetPixel(85, 8), clBlack) << "a dial writes its last label too";
}

} // namespace
