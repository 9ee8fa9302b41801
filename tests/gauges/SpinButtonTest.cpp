// The repeating speed button and the spin pair: the start delay and the interval on the flash list,
// the layout of the pair, keys, focus hand-over and the default arrows.
#include <gtest/gtest.h>

#include "gauges/AbSpinBtn.h"
#include "platform/controls/Form.h"
#include "tests/gauges/GaugeTestSupport.h"

using namespace gauges;
using platform::TMouseButton;
namespace gfx = platform::gfx;

namespace {

class SpinTest : public gaugetest::GaugeFixture {
protected:
    void SetUp() override {
        GaugeFixture::SetUp();
        form.SetBounds(0, 0, 200, 100);
        form.Show();
        spin = new TAbSpinButton(&form);
        spin->SetParent(&form);
        spin->SetBounds(10, 10, 20, 40);
        spin->Loaded();
        spin->OnUpClick = [this](TObject* sender) {
            EXPECT_EQ(sender, spin);
            ++ups;
        };
        spin->OnDownClick = [this](TObject*) { ++downs; };
    }
    // Holds the upper button for `ms`, with flash passes every 10 ms.
    void HoldUp(int ms) {
        form.SimulateMouseDown(TMouseButton::mbLeft, 0, 15, 15);
        for (int t = 0; t < ms; t += 10)
            Tick(10);
        form.SimulateMouseUp(TMouseButton::mbLeft, 0, 15, 15);
    }

    platform::TForm form;
    TAbSpinButton* spin = nullptr;
    int ups = 0;
    int downs = 0;
};

TEST_F(SpinTest, HoldingRepeatsAfterTheStartDelayAtTheInterval) {
    HoldUp(400);
    EXPECT_EQ(ups, 1) << "a short press gives the release click alone";
    EXPECT_TRUE(FlashList().empty());

    HoldUp(1000); // due at 500, then every 100 ms: 500, 600, ... 1000
    EXPECT_EQ(ups, 1 + 6 + 1);

    spin->SetInterval(49);
    EXPECT_EQ(spin->Interval(), 100);
    spin->SetInterval(50);
    EXPECT_EQ(spin->DownButton().Interval(), 50);
    spin->SetStartDelay(0);
    ups = 0;
    HoldUp(200);
    EXPECT_EQ(ups, 4 + 1);

    spin->UpButton().SetTimerEnabled(false);
    ups = 0;
    HoldUp(1000);
    EXPECT_EQ(ups, 1);
}

TEST_F(SpinTest, ButtonsShareTheHeightAndTheWidthIsAtLeastFifteen) {
    spin->SetBounds(10, 10, 10, 30);
    EXPECT_EQ(spin->Width(), 15);
    EXPECT_EQ(spin->UpButton().BoundsRect(), (gfx::TRect{0, 0, 15, 15}));
    EXPECT_EQ(spin->DownButton().BoundsRect(), (gfx::TRect{0, 15, 15, 30}));
    spin->SetBounds(10, 10, 20, 25);
    EXPECT_EQ(spin->UpButton().Height(), 12);
    EXPECT_EQ(spin->DownButton().Height(), 13);
    EXPECT_EQ(spin->DownButton().Width(), 20);

    // Sizes set while loading are adjusted when loading ends.
    TAbSpinButton late(&form);
    late.SetParent(&form);
    late.SetLoading();
    late.SetBounds(0, 0, 5, 40);
    EXPECT_EQ(late.Width(), 5);
    late.Loaded();
    EXPECT_EQ(late.Width(), 15);
    EXPECT_EQ(late.DownButton().Top(), 20);
}

TEST_F(SpinTest, KeysClickAndAPressHandsTheFocusOn) {
    spin->SetTabStop(true);
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 15, 45);
    EXPECT_EQ(form.ActiveControl(), spin);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 15, 45);
    EXPECT_EQ(downs, 1);
    form.SimulateKey(platform::VK_UP);
    form.SimulateKey(platform::VK_DOWN);
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(downs, 2);
    EXPECT_EQ(form.ActiveControl(), spin) << "the arrows stay with the spin button";

    auto* edit = new platform::TCustomControl(&form);
    edit->SetParent(&form);
    edit->SetBounds(100, 10, 50, 20);
    edit->SetTabStop(true);
    spin->SetFocusControl(edit);
    form.SimulateClick(15, 15);
    EXPECT_EQ(form.ActiveControl(), edit);
    delete edit;
    EXPECT_EQ(spin->FocusControl(), nullptr);
    form.SimulateClick(15, 15); // no dangling focus control
    EXPECT_EQ(form.ActiveControl(), spin);

    spin->SetEnabled(false);
    EXPECT_FALSE(spin->UpButton().Enabled());
    EXPECT_FALSE(spin->DownButton().Enabled());
}

TEST_F(SpinTest, DefaultArrowsAreTwoImagesOnATransparentOlive) {
    const gfx::Bitmap& up = spin->UpGlyph();
    ASSERT_EQ(up.Width(), 18);
    ASSERT_EQ(up.Height(), 6);
    EXPECT_EQ(spin->UpNumGlyphs(), 2);
    EXPECT_EQ(up.GetPixel(0, 5), gfx::clOlive);
    EXPECT_EQ(up.GetPixel(4, 1), gfx::clBlack) << "the tip";
    EXPECT_EQ(up.GetPixel(1, 4), gfx::clBlack);
    EXPECT_EQ(up.GetPixel(7, 4), gfx::clBlack);
    EXPECT_EQ(up.GetPixel(13, 1), gfx::clGray);
    EXPECT_EQ(up.GetPixel(13, 3), gfx::clOlive) << "the disabled arrow is an outline";
    EXPECT_EQ(spin->DownGlyph().GetPixel(4, 4), gfx::clBlack);
    EXPECT_EQ(spin->DownGlyph().GetPixel(1, 1), gfx::clBlack);

    gfx::Bitmap own(10, 10);
    spin->SetUpGlyph(own);
    EXPECT_EQ(spin->UpGlyph().Width(), 10);
    spin->SetUpGlyph(gfx::Bitmap());
    EXPECT_EQ(spin->UpGlyph().Width(), 18);
}

} // namespace
