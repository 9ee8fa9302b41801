// The thermometer on a form, drawn with the fixed-metric test font: the default layout with its two
// scales and value box, the unit left out, and the bar and minimum marker at and below the range.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "gauges/AbThermometer.h"
#include "platform/controls/Form.h"
#include "tests/gauges/GaugeTestSupport.h"
#include "tests/platform/GraphicsTestSupport.h"

using namespace gauges;
using namespace platform::gfx;

namespace {

class Thermometer : public gaugetest::FormFixture {
protected:
    Thermometer() : FormFixture(160, 260) {}
    void SetUp() override {
        FormFixture::SetUp();
        th = &Place<TAbThermometer>();
    }
    // The bar's inside in form coordinates.
    TRect Bar() const {
        return th->BarSettings().BarRect.Offset(th->Left() + th->BackgroundRect().Left,
                                                th->Top() + th->BackgroundRect().Top);
    }

    TAbThermometer* th = nullptr;
};

TEST_F(Thermometer, ANewOneShowsTwoScalesAndAValueBoxWithoutBevels) {
    th->Font().SetColor(clRed); // the unit is written in the control's font colour
    th->SetOptions(TAbThermometer::opValue | TAbThermometer::opUnit);
    th->Loaded();
    Bitmap b = Picture();
    EXPECT_EQ(th->ScaleSettings().Labels, "60;40;20;0;-20;-40;");
    EXPECT_EQ(b.GetPixel(th->Left(), th->Top()), clWhite) << "no outer bevel";
    TRect bar = Bar();
    TRect box = th->ValueBox().Offset(th->Left(), th->Top());
    EXPECT_LT(box.Bottom, bar.Top);
    EXPECT_GT(gfxtest::CountOf(b, clBlack, {th->Left(), bar.Top, bar.Left - 2, bar.Bottom}), 100)
        << "ticks and labels left of the bar";
    EXPECT_GT(gfxtest::CountOf(b, clBlack, {bar.Right + 2, bar.Top, th->Left() + th->Width(), bar.Bottom}),
              100)
        << "and right of it";
    TRect beside{box.Right, th->Top(), th->Left() + th->Width(), bar.Top};
    EXPECT_GT(gfxtest::CountOf(b, clRed, beside), 20) << "the unit beside the box";

    th->SetOptions(TAbThermometer::opValue);
    b = Picture();
    EXPECT_EQ(gfxtest::CountOf(b, clRed, {th->Left(), th->Top(), th->Left() + th->Width(), Bar().Top}), 0)
        << "no unit";
}

TEST_F(Thermometer, TheBarFollowsTheValueAndTheMinimumMarkerStaysAtTheBottom) {
    th->Loaded();
    th->SetValue(10); // the middle of -40 .. 60
    Bitmap b = Picture();
    TRect bar = Bar();
    ASSERT_EQ(bar.Width(), 3);
    int level = static_cast<int>(std::nearbyint(500.0 * bar.Height() / 1000));
    EXPECT_EQ(gfxtest::CountOf(b, clBlue, bar), 3 * level);
    EXPECT_EQ(b.GetPixel(bar.Left + 1, bar.Bottom - level), clBlue);
    EXPECT_NE(b.GetPixel(bar.Left + 1, bar.Bottom - level - 1), clBlue);

    th->SetValue(-50);
    b = Picture();
    EXPECT_EQ(gfxtest::CountOf(b, clBlue, bar), 0);
    // The minimum marker: a triangle right of the bar from its bottom row down, in the colour of the
    // sector at 0 per mille.
    EXPECT_EQ(b.GetPixel(bar.Right + th->ScaleSettings().MainTick - 2, bar.Bottom + 1), clYellow);
}

} // namespace
