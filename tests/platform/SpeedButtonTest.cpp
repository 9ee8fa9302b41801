// The speed button: which glyph image each face shows (with its transparent colour and the pressed
// offset), and a click only on a release over the button.
#include <gtest/gtest.h>

#include "platform/EventLoop.h"
#include "platform/controls/Form.h"
#include "platform/controls/SpeedButton.h"
#include "tests/platform/GraphicsTestSupport.h"

using namespace platform;
using namespace platform::gfx;

namespace {

// Three 6 x 6 images side by side: a 2 x 2 square in red (up), grey (disabled) and blue (down), on
// olive, the colour of the bottom-left pixel.
Bitmap ThreeFaces() {
    Bitmap b(18, 6);
    Canvas& c = b.GetCanvas();
    c.Brush.Color = clOlive;
    c.FillRect({0, 0, 18, 6});
    TColor faces[3] = {clRed, clGray, clBlue};
    for (int i = 0; i < 3; ++i) {
        c.Brush.Color = faces[i];
        c.FillRect({6 * i + 2, 2, 6 * i + 4, 4});
    }
    return b;
}

class SpeedButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        EventLoop::Get().Reset();
        form.SetBounds(0, 0, 60, 40);
        form.SetColor(clWhite);
        button = new TSpeedButton(&form);
        button->SetParent(&form);
        button->SetBounds(0, 0, 20, 20);
        button->SetGlyph(ThreeFaces());
        button->SetNumGlyphs(3);
        button->OnClick = [this](TComponent*) { ++clicks; };
    }
    void TearDown() override { EventLoop::Get().Reset(); }
    TColor At(int x, int y) {
        form.PaintTo(picture);
        return picture.GetPixel(x, y);
    }

    TForm form;
    TSpeedButton* button = nullptr;
    Bitmap picture{60, 40};
    int clicks = 0;
};

TEST_F(SpeedButtonTest, EachFaceShowsItsImageCentredAndTransparent) {
    // The 6 x 6 image lies at (7, 7); its square at (9, 9) .. (10, 10).
    EXPECT_EQ(At(9, 9), clRed);
    EXPECT_NE(At(7, 7), clOlive) << "the bottom-left colour is transparent";
    EXPECT_EQ(At(0, 0), ColorToRGB(clBtnHighlight)) << "raised";

    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 5, 5);
    EXPECT_EQ(button->State(), TButtonState::bsDown);
    EXPECT_EQ(At(9, 9), ColorToRGB(clBtnFace)) << "the pressed image moves one pixel";
    EXPECT_EQ(At(10, 10), clBlue);
    EXPECT_EQ(At(0, 0), ColorToRGB(clBtnShadow)) << "sunken";
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 5, 5);

    button->SetEnabled(false);
    EXPECT_EQ(At(9, 9), clGray);
    button->SetNumGlyphs(1);
    EXPECT_EQ(At(3, 9), clRed) << "the whole strip is the one image, centred at (1, 7)";
    button->SetNumGlyphs(5);
    EXPECT_EQ(button->NumGlyphs(), 1);
}

TEST_F(SpeedButtonTest, ClicksOnlyWhenReleasedOverTheButton) {
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 5, 5);
    EXPECT_EQ(clicks, 0) << "not on the press";
    form.SimulateMouseMove(ssLeft, 40, 5);
    EXPECT_EQ(button->State(), TButtonState::bsUp) << "held off the button it shows up";
    form.SimulateMouseMove(ssLeft, 6, 5);
    EXPECT_EQ(button->State(), TButtonState::bsDown);
    form.SimulateMouseMove(ssLeft, 40, 5);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 40, 5);
    EXPECT_EQ(clicks, 0);
    form.SimulateClick(5, 5);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button->State(), TButtonState::bsUp);
    form.SimulateClick(5, 5, TMouseButton::mbRight);
    EXPECT_EQ(clicks, 1);
}

} // namespace
