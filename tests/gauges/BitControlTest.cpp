// The status-bit base of lamps and buttons: the bit and the status word, the mouse in each mode, groups
// sharing one word, and flashing through the flash list.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "gauges/AbBinGControl.h"
#include "platform/controls/Form.h"
#include "tests/gauges/GaugeTestSupport.h"

using namespace gauges;
using platform::TMouseButton;

namespace {

// A lamp that records its flash phases.
class Lamp : public TAbBinGControl {
public:
    Lamp(platform::TForm& form, int left) : TAbBinGControl(&form) {
        SetParent(&form);
        SetBounds(left, 0, 20, 20);
    }
    std::vector<bool> phases;

protected:
    void Flash(bool on) override { phases.push_back(on); }
};

class BitTest : public gaugetest::GaugeFixture {
protected:
    void SetUp() override {
        GaugeFixture::SetUp();
        form.SetBounds(0, 0, 200, 50);
    }
    Lamp& Add() {
        auto* lamp = new Lamp(form, 20 * static_cast<int>(lamps.size()));
        lamps.push_back(lamp);
        return *lamp;
    }
    void Click(const Lamp& lamp) { form.SimulateClick(lamp.Left() + 5, 5); }
    platform::TForm form;
    std::vector<Lamp*> lamps;
};

TEST_F(BitTest, CheckedIsOneBitOfTheStatusWord) {
    Lamp& a = Add();
    int statusEvents = 0, wordEvents = 0;
    a.OnStatusChanged = [&](TObject*) { ++statusEvents; };
    a.OnStatusIntChanged = [&](TObject*) { ++wordEvents; };
    EXPECT_EQ(a.LowestSetBit(), 32);
    a.SetStatusBit(3);
    a.SetStatusBit(32); // ignored
    EXPECT_EQ(a.StatusBit(), 3);
    a.SetStatusInt(0x18);
    EXPECT_TRUE(a.Checked());
    EXPECT_EQ(a.LowestSetBit(), 3);
    EXPECT_EQ(statusEvents, 1);
    EXPECT_EQ(wordEvents, 1);
    a.SetChecked(false);
    EXPECT_EQ(a.StatusInt(), 0x10) << "only its own bit is cleared";
    a.SetStatusBit(4);
    EXPECT_TRUE(a.Checked());
    a.SetStatusBit(31);
    a.SetChecked(true);
    EXPECT_EQ(static_cast<uint32_t>(a.StatusInt()), 0x80000010u);
}

TEST_F(BitTest, TheMouseActsByMode) {
    Lamp& a = Add();
    Click(a);
    EXPECT_FALSE(a.Checked()) << "an indicator ignores the mouse";

    a.SetMode(mSwitch);
    Click(a);
    EXPECT_TRUE(a.Checked());
    Click(a);
    EXPECT_FALSE(a.Checked());

    a.SetStatusInt(1);
    a.SetMode(mButton);
    EXPECT_EQ(a.StatusInt(), 0);
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 5, 5);
    EXPECT_TRUE(a.Checked());
    EXPECT_TRUE(a.Pressed());
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 5, 5);
    EXPECT_FALSE(a.Checked());
    EXPECT_FALSE(a.Pressed());
    form.SimulateClick(5, 5, TMouseButton::mbRight);
    EXPECT_FALSE(a.Checked());
}

TEST_F(BitTest, RadioButtonsOfOneGroupShareTheirWord) {
    for (int bit = 0; bit < 3; ++bit) {
        Lamp& b = Add();
        b.SetStatusBit(bit);
        b.SetGroupIndex(1);
        b.SetMode(mRadioButton);
    }
    Lamp& plain = Add();
    plain.SetStatusInt(8);
    Lamp& outsider = Add();
    outsider.SetStatusBit(1);

    Click(*lamps[1]);
    for (Lamp* b : {lamps[0], lamps[1], lamps[2]})
        EXPECT_EQ(b->StatusInt(), 2);
    EXPECT_FALSE(lamps[0]->Checked());
    EXPECT_TRUE(lamps[1]->Checked());
    EXPECT_FALSE(lamps[2]->Checked());
    EXPECT_EQ(outsider.StatusInt(), 0) << "group 0 is no group";

    Click(*lamps[2]);
    EXPECT_EQ(lamps[0]->StatusInt(), 4);
    EXPECT_FALSE(lamps[1]->Checked());
    EXPECT_TRUE(lamps[2]->Checked());

    // A control joining the group takes its word over; leaving for group 0 keeps its own.
    outsider.SetStatusBit(2);
    outsider.SetGroupIndex(1);
    EXPECT_EQ(outsider.StatusInt(), 4);
    EXPECT_TRUE(outsider.Checked());
    outsider.SetGroupIndex(0);
    lamps[0]->SetStatusInt(1);
    EXPECT_EQ(outsider.StatusInt(), 4);
    EXPECT_EQ(plain.StatusInt(), 8);
}

TEST_F(BitTest, FlashingRunsExactlyWhileCheckedAndFlashing) {
    Lamp& a = Add();
    a.SetFlashing(true);
    EXPECT_TRUE(FlashList().empty());
    a.SetChecked(true);
    ASSERT_EQ(FlashList().size(), 1u);
    EXPECT_EQ(FlashList()[0].Interval, 5) << "1 Hz is blink code 5";
    a.SetFrequency(ff8Hz);
    EXPECT_EQ(FlashList()[0].Interval, 2);

    for (int i = 0; i < 16; ++i)
        Tick(16);
    EXPECT_EQ(a.phases, (std::vector<bool>{true, false, true, false}));

    a.SetChecked(false);
    EXPECT_TRUE(FlashList().empty());
    a.SetChecked(true);
    a.SetFlashing(false);
    EXPECT_TRUE(FlashList().empty());
    a.SetFlashing(true);
    delete &a;
    EXPECT_TRUE(FlashList().empty());
}

} // namespace
