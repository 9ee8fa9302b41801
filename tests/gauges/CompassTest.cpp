// The compass rose on a form, drawn with the fixed-metric test font.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "gauges/AbCompass.h"
#include "platform/controls/Form.h"
#include "tests/gauges/GaugeTestSupport.h"
#include "tests/platform/GraphicsTestSupport.h"

using namespace gauges;
using namespace platform::gfx;

namespace {

class Compass : public gaugetest::FormFixture {
protected:
    Compass() : FormFixture(300, 320) {}
    void SetUp() override {
        FormFixture::SetUp();
        compass = &Place<TAbCompass>();
    }
    TAbCompass* compass = nullptr;
};

// The surface as it stands, without running pending paints.
Bitmap Surface(platform::TForm& form) {
    Bitmap b(form.Width(), form.Height());
    b.GetCanvas().Draw(0, 0, form.Surface());
    return b;
}

TEST_F(Compass, DeviationLiesWithinHalfATurn) {
    compass->Loaded();
    struct Case {
        float value, should, deviation;
        const char* text;
    };
    for (Case c : {Case{10, 350, 20, "20.0°"}, Case{350, 10, -20, "-20.0°"}, Case{200, 20, 180, "180.0°"},
                   Case{20, 200, -180, "-180.0°"}, Case{90, 0, 90, "90.0°"}}) {
        compass->SetValueShould(c.should);
        compass->SetValue(c.value);
        EXPECT_FLOAT_EQ(compass->Deviation(), c.deviation) << c.value << " against " << c.should;
        EXPECT_EQ(compass->DeviationText(), c.text);
    }
    compass->SetValueShould(400);
    compass->SetValueShould(-1);
    compass->SetValueShould(std::nanf("")); // fails both range tests, and is refused too
    EXPECT_FLOAT_EQ(compass->ValueShould(), 0);
}

// The widest run of compass-point text (white) in the top-most text row of the card, and whether any
// text lies left of the centre.
struct CardText {
    int topRun = 0;
    bool left = false;
};
CardText ReadCard(const Bitmap& b, const TAbCompass& c) {
    CardText t;
    const Region& ring = c.RingRegion();
    int top = -1;
    for (int y = 0; y < b.Height() && top < 0; ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (ring.Contains(x, y) && b.GetPixel(x, y) == clWhite) {
                top = y;
                break;
            }
    for (int x = 0; x < b.Width(); ++x)
        if (ring.Contains(x, top) && b.GetPixel(x, top) == clWhite) ++t.topRun;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < c.Left() + c.Centre().X - 20; ++x)
            if (ring.Contains(x, y) && b.GetPixel(x, y) == clWhite) t.left = true;
    return t;
}

TEST_F(Compass, TheCardTurnsAgainstTheCourse) {
    compass->SetScaleText("N;NE;EEE;SE;S;SW;W;NW");
    compass->Loaded();
    compass->SetValue(0);
    Picture();
    EXPECT_EQ(ReadCard(Surface(*form), *compass).topRun, 11) << "N at the top (one 12-pixel cell)";
    compass->SetValue(90);
    EXPECT_EQ(ReadCard(Surface(*form), *compass).topRun, 33)
        << "the text for 90 degrees (three cells) at the top";

    compass->SetScaleText("N;E;S;W"); // the texts for 180 to 315 degrees stay empty
    compass->SetValue(0);
    Picture();
    EXPECT_FALSE(ReadCard(Surface(*form), *compass).left);
    compass->SetValue(180);
    EXPECT_TRUE(ReadCard(Surface(*form), *compass).left);
}

TEST_F(Compass, AValueChangeRedrawsOnlyTheRingAndTheBoxes) {
    compass->Loaded();
    compass->SetValue(10);
    Bitmap before = Picture();
    compass->SetValue(100);
    compass->SetValueShould(200);
    Bitmap after = Surface(*form);
    TRect box1 = compass->ValueBox(1).Offset(compass->Left(), compass->Top());
    TRect box2 = compass->ValueBox(2).Offset(compass->Left(), compass->Top());
    int ringChanges = 0;
    for (int y = 0; y < before.Height(); ++y)
        for (int x = 0; x < before.Width(); ++x) {
            if (before.GetPixel(x, y) == after.GetPixel(x, y)) continue;
            if (compass->RingRegion().Contains(x, y)) {
                ++ringChanges;
                continue;
            }
            ASSERT_TRUE(box1.Contains(x, y) || box2.Contains(x, y)) << "changed at " << x << "," << y;
        }
    EXPECT_GT(ringChanges, 200);
    EXPECT_GT(gfxtest::CountOf(after, clYellow), 20) << "the set-course marker";
    compass->Invalidate();
    Bitmap full = Picture();
    for (int y = 0; y < full.Height(); ++y)
        for (int x = 0; x < full.Width(); ++x)
            ASSERT_EQ(full.GetPixel(x, y), after.GetPixel(x, y)) << x << "," << y;

    compass->SetColorArrow(clBlue); // drawn at once
    EXPECT_GT(gfxtest::CountOf(Surface(*form), clBlue), 20);

    // Moved, the ring is drawn where the compass now stands.
    const int ringLeft = compass->RingRegion().Box().Left;
    compass->SetLeft(30);
    before = Picture();
    EXPECT_EQ(compass->RingRegion().Box().Left, ringLeft + 20);
    compass->SetValue(250);
    after = Surface(*form);
    ringChanges = 0;
    for (int y = 0; y < before.Height(); ++y)
        for (int x = 0; x < before.Width(); ++x)
            if (before.GetPixel(x, y) != after.GetPixel(x, y) && compass->RingRegion().Contains(x, y))
                ++ringChanges;
    EXPECT_GT(ringChanges, 200);
}

TEST_F(Compass, WithoutTheOuterFrameTheParentShowsAroundTheCard) {
    compass->SetOptions(TAbCompass::kAllOptions & ~TAbCompass::opBevelOuter);
    compass->Loaded();
    Bitmap b = Picture();
    EXPECT_EQ(gfxtest::CountOf(b, TAbCompass::kKeyColor), 0);
    EXPECT_EQ(b.GetPixel(compass->Left() + 2, compass->Top() + 2), clWhite);
    EXPECT_EQ(b.GetPixel(compass->Left() + compass->Width() - 3, compass->Top() + 2), clWhite);
    EXPECT_GT(gfxtest::CountOf(b, clNavy), 10000) << "the card";
}

} // namespace
