// The coloured bit button on a form, drawn with the fixed-metric test font: which glyph image shows,
// caption and face colours in each state and while flashing, and the flat button's bevel on hover.
#include <gtest/gtest.h>

#include <memory>

#include "gauges/AbColBitBtn.h"
#include "platform/controls/Form.h"
#include "tests/gauges/GaugeTestSupport.h"
#include "tests/platform/GraphicsTestSupport.h"

using namespace gauges;
using namespace platform::gfx;

namespace {

class ColBitBtn : public gaugetest::FormFixture {
protected:
    ColBitBtn() : FormFixture(100, 60) {}
    void SetUp() override {
        FormFixture::SetUp();
        button = &Place<TAbColBitBtn>();
        button->SetParent(form.get());
        button->GradBtnFace().SetVisible(false); // plain faces in ColorOn and ColorOff
        button->SetColorOn(clRed);
        button->SetColorOff(clBlue);
        button->SetText3D(false);
    }
    int Count(TColor c) { return gfxtest::CountOf(Picture(), c); }
    // Pixels of `c` inside the bevel.
    int InFace(TColor c) {
        TRect face = button->BoundsRect();
        AbBorder(face, button->ButtonBevel().Width());
        return gfxtest::CountOf(Picture(), c, face);
    }

    TAbColBitBtn* button = nullptr;
};

// A strip of n 10 x 10 images on fuchsia (its transparent colour), each with a square of its colour:
// green, gray, yellow.
Bitmap Strip(int n) {
    Bitmap b(10 * n, 10);
    Canvas& c = b.GetCanvas();
    c.Brush.Color = clFuchsia;
    c.FillRect({0, 0, 10 * n, 10});
    TColor colors[] = {clGreen, clGray, clYellow};
    for (int i = 0; i < n; ++i) {
        c.Brush.Color = colors[i];
        c.FillRect({i * 10 + 3, 3, i * 10 + 7, 7});
    }
    return b;
}

TEST_F(ColBitBtn, TheGlyphImageFollowsStateAndImageCount) {
    button->SetGlyph(Strip(3));
    button->SetNumGlyph(0); // ignored
    EXPECT_EQ(button->NumGlyph(), 1);
    button->SetNumGlyph(3);
    button->Loaded();
    EXPECT_EQ(Count(clGreen), 16) << "image 0 while off";
    EXPECT_EQ(Count(clFuchsia), 0) << "the strip's corner colour is transparent";
    button->SetChecked(true);
    EXPECT_EQ(Count(clYellow), 16) << "image 2 while on";
    EXPECT_EQ(Count(clGreen), 0);
    button->SetGlyph(Strip(2));
    button->SetNumGlyph(2);
    EXPECT_EQ(Count(clGreen), 16) << "without an on image, image 0";
    button->SetEnabled(false);
    EXPECT_EQ(Count(clGray), 16) << "image 1 while disabled";
    EXPECT_GT(InFace(button->ColorDisabled()), 500);

    button->SetGlyph(Bitmap(20, 0));
    EXPECT_EQ(button->NumGlyph(), 1);
}

TEST_F(ColBitBtn, CaptionAndFaceFollowTheStateAndTheFlashPhase) {
    button->SetTextOn("ON"); // no TextOff: "ON" in both states
    button->Loaded();
    int offText = InFace(clBlack);
    EXPECT_GT(offText, 20);
    EXPECT_EQ(InFace(clLime), 0);
    EXPECT_GT(InFace(clBlue), 500);
    button->SetChecked(true);
    EXPECT_EQ(InFace(clLime), offText) << "the same caption in the on colour";
    EXPECT_EQ(InFace(clBlue), 0);
    EXPECT_GT(InFace(clRed), 500);

    button->SetFlashing(true);
    ASSERT_EQ(FlashList().size(), 1u);
    button->Perform(WM_FLASH, 0, 0);
    EXPECT_GT(InFace(clBlue), 500) << "the off phase";
    EXPECT_EQ(InFace(clLime), 0);
    button->SetFlashOptions(foBtnCol); // the caption keeps its checked colour
    button->Perform(WM_FLASH, 0, 1);
    button->Perform(WM_FLASH, 0, 0);
    EXPECT_GT(InFace(clBlue), 500);
    EXPECT_EQ(InFace(clLime), offText);
    button->SetChecked(false);
    EXPECT_TRUE(FlashList().empty());
}

TEST_F(ColBitBtn, AFlatButtonShowsItsBevelOnlyUnderAnEnabledMouse) {
    button->ButtonBevel().SetHighlightColFrom(clFuchsia);
    button->ButtonBevel().SetHighlightColTo(clFuchsia);
    button->SetFlat(true);
    button->Loaded();
    EXPECT_EQ(Count(clFuchsia), 0);
    form->SimulateMouseMove(0, 30, 20);
    EXPECT_TRUE(button->MouseInside());
    EXPECT_GT(Count(clFuchsia), 100) << "raised: the highlight on the top-left";
    form->SimulateMouseExit();
    EXPECT_EQ(Count(clFuchsia), 0);

    platform::SetCaptureControl(form.get()); // another control holds the mouse
    form->SimulateMouseMove(0, 31, 20);
    EXPECT_FALSE(button->MouseInside());
    platform::SetCaptureControl(nullptr);
    form->SimulateMouseExit();
    button->SetEnabled(false);
    form->SimulateMouseMove(0, 30, 20);
    EXPECT_FALSE(button->MouseInside());
}

} // namespace
