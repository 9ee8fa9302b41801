// The analog display and input bases: value/digit/per-mille mapping with halves to even on double
// intermediates, the order of the limit, sector, range and extreme events, the hint, the log scale,
// and the keyboard, wheel and mouse of the input control driving a display.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "gauges/AbAnalogCControl.h"
#include "gauges/AbAnalogGControl.h"
#include "platform/controls/Form.h"
#include "platform/controls/Screen.h"
#include "tests/gauges/GaugeTestSupport.h"

using namespace gauges;
using platform::TForm;

namespace {

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

class AnalogTest : public gaugetest::GaugeFixture {
protected:
    // A display on the form, loaded, whose events write to `log`.
    TAbAnalogGControl& Display() {
        auto* d = new TAbAnalogGControl(&form);
        d->SetBounds(10, 10, 100, 100);
        d->Loaded();
        d->OnLimit = [this](TObject*, bool lower, bool upper) {
            log.push_back("limit " + std::to_string(lower) + std::to_string(upper));
        };
        d->OnSectorChange = [this](TObject*, bool s1, bool s2, bool s3, bool enter) {
            int n = s1 ? 1 : s2 ? 2 : s3 ? 3 : 0;
            log.push_back((enter ? "enter " : "leave ") + std::to_string(n));
        };
        d->OnOverflow = [this](TObject*, int32_t ppt) { log.push_back("overflow " + std::to_string(ppt)); };
        d->OnMinMaxChange = [this](TObject*) { log.push_back("minmax"); };
        return *d;
    }
    std::vector<std::string> Events(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& e : log)
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        return out;
    }

    TForm form;
    std::vector<std::string> log;
};

using Strings = std::vector<std::string>;

TEST_F(AnalogTest, ValuesMapToDigitsAndPositionsWithHalvesToEven) {
    TAbAnalogGControl& d = Display();
    struct Case {
        float value;
        int32_t digit;
        int32_t ppt;
    };
    // 0.35 is 3.4999999 digits in double but exactly 3.5 in float arithmetic.
    for (Case c : {Case{37.5f, 375, 375}, Case{0.25f, 2, 2}, Case{1.25f, 12, 12}, Case{0.35f, 3, 3},
                   Case{100.0f, 1000, 1000}}) {
        d.SetValue(c.value);
        EXPECT_EQ(d.Digit(), c.digit) << c.value;
        EXPECT_EQ(d.PptValue(), c.ppt) << c.value;
    }
    EXPECT_EQ(d.ValueText(), "100.0");
    EXPECT_EQ(d.DigitText(), "1000");

    // A temperature range whose digits start below zero.
    TSignalSettings& s = d.SignalSettings();
    s.SetDigitalFrom(-300);
    s.SetDigitalTo(500);
    s.SetValueFrom(-30);
    s.SetValueTo(50);
    d.SetValue(-12.5f);
    EXPECT_EQ(d.Digit(), -125);
    EXPECT_EQ(d.PptValue(), 219); // 1000 / 800 x 175
    d.SetDigit(-124);
    EXPECT_FLOAT_EQ(d.Value(), -12.4f);

    d.SetLimitLower(0);
    EXPECT_EQ(Bits(d.LimitLower()), 0x38D1B717u);
    d.SetLimitUpper(10);
    EXPECT_EQ(d.PptLimitUpper(), 500);
}

TEST_F(AnalogTest, ValuesSetBeforeLoadingConvertWithTheDefaultRange) {
    TAbAnalogGControl d(&form);
    d.SetValue(20);
    EXPECT_EQ(d.Digit(), 200);
    TAbAnalogCControl c(&form);
    c.SetValue(30);
    EXPECT_EQ(c.Digit(), 300);
    EXPECT_FLOAT_EQ(c.Value(), 30);
}

TEST_F(AnalogTest, AnEmptyDigitSpanOrNaNNeverCrashesOrMovesTheValue) {
    TAbAnalogGControl& d = Display();
    d.SetValue(NAN);
    EXPECT_EQ(d.Value(), 50.0f);
    d.SetValue(3e38f);
    EXPECT_EQ(d.Digit(), INT32_MAX) << "saturated, not undefined";
    EXPECT_TRUE(d.Overflow());
    TAbAnalogCControl c(&form);
    c.SetValue(NAN);
    EXPECT_EQ(c.Digit(), 100);
    d.SignalSettings().SetDigitalTo(0); // span 0
    d.SetValue(70);
    EXPECT_EQ(d.PptValue(), 0);
    d.SetLogScale(true);
    int32_t digit = d.Digit();
    float value = d.Value();
    d.SetDigit(digit + 5);
    EXPECT_EQ(d.Digit(), digit) << "a log scale without digits refuses digits";
    EXPECT_EQ(d.Value(), value);
    d.SetValue(-3);
    EXPECT_EQ(d.Value(), value) << "a log scale refuses values of 0 or below";
}

TEST_F(AnalogTest, LogScaleRoundsTheRangeToPowersOfTen) {
    TAbAnalogGControl& d = Display();
    d.SetLogScale(true);
    EXPECT_FLOAT_EQ(d.SignalSettings().ValueFrom(), 0.001f);
    EXPECT_FLOAT_EQ(d.SignalSettings().ValueTo(), 100.0f);
    d.SetValue(10);
    EXPECT_EQ(d.Digit(), 800);
    d.SetDigit(600);
    EXPECT_NEAR(d.Value(), 1.0f, 1e-5);
    d.SetLogScale(false);
    EXPECT_EQ(d.Digit(), 10) << "back on the linear mapping of the rounded range";
}

TEST_F(AnalogTest, UpperLimitFiresAfterTheSectorsAreLeftAndEntered) {
    TAbAnalogGControl& d = Display();
    d.SetValue(55);
    EXPECT_EQ(log, Strings{"enter 2"});
    log.clear();
    d.SetValue(95);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(Strings(log.begin(), log.begin() + 3), (Strings{"leave 2", "enter 3", "limit 01"}));
    EXPECT_TRUE(d.UpperLimit());
    EXPECT_EQ(d.SectorColor(), platform::gfx::clRed);
    EXPECT_EQ(d.Hint(), "Value= 95.0 %\r"
                        "MIN= 55.0 % 01.07.2004 12:00:00\r"
                        "MAX= 95.0 % 01.07.2004 12:00:00\r"
                        "SignalName1\rSignalName2");
    log.clear();
    d.SetValue(5);
    EXPECT_EQ(Events("limit"), Strings{"limit 10"});
    d.SetValue(50);
    EXPECT_EQ(Events("limit"), (Strings{"limit 10", "limit 00"}));
}

TEST_F(AnalogTest, LeavingTheRangeIsReportedOnceAndAgainOnReturn) {
    TAbAnalogGControl& d = Display();
    d.SetValue(120);
    d.SetValue(130);
    EXPECT_EQ(Events("overflow"), Strings{"overflow 1200"});
    EXPECT_EQ(d.PptValue(), 1000);
    EXPECT_TRUE(d.Overflow());
    d.SetValue(50);
    EXPECT_EQ(Events("overflow"), (Strings{"overflow 1200", "overflow 500"}));
    d.SetValue(-10);
    d.SetValue(150);
    EXPECT_EQ(Events("overflow"),
              (Strings{"overflow 1200", "overflow 500", "overflow -100", "overflow 1500"}));
    EXPECT_FALSE(d.Underflow());
}

TEST_F(AnalogTest, FirstValueBecomesBothExtremesSilentlyAndLaterOnesReport) {
    TAbAnalogGControl& d = Display();
    d.SetValue(40);
    EXPECT_TRUE(Events("minmax").empty());
    EXPECT_EQ(d.MinMax().Min(), 40);
    EXPECT_EQ(d.MinMax().Max(), 40);
    Clock().Advance(3600 * 1000);
    d.SetValue(30);
    EXPECT_EQ(Events("minmax").size(), 1u);
    EXPECT_EQ(d.MinMax().Min(), 30);
    EXPECT_DOUBLE_EQ(d.MinMax().MinDateTime(), 38169.5 + 1.0 / 24);
    EXPECT_EQ(d.PptMin(), 300);
    d.SetValue(35);
    EXPECT_EQ(Events("minmax").size(), 1u);

    // Extremes restored by an owner keep the time given.
    d.SetMax(80, 38000.25);
    EXPECT_EQ(Events("minmax").size(), 2u);
    EXPECT_DOUBLE_EQ(d.MinMax().MaxDateTime(), 38000.25);
    EXPECT_EQ(d.PptMax(), 800);
    d.SetMax(80, 1.0);
    EXPECT_EQ(Events("minmax").size(), 2u) << "an unchanged extreme is not stored again";

    d.ResetMinMax();
    EXPECT_EQ(d.MinMax().Min(), 35);
    EXPECT_EQ(d.MinMax().Max(), 35);
    EXPECT_EQ(d.PptMax(), 350);
}

TEST_F(AnalogTest, HintFollowsItsOptionsAndStaysWhenSwitchedOff) {
    TAbAnalogGControl& d = Display();
    d.SignalSettings().SetValueUnit("hPa");
    d.SetHintOptions(hoAutoHint | hoValue | hoName2);
    d.SetValue(12.25f);
    EXPECT_EQ(d.Hint(), "Value= 12.3 hPa\rSignalName2");
    d.SetHintOptions(hoValue);
    d.SetValue(20);
    EXPECT_EQ(d.Hint(), "Value= 12.3 hPa\rSignalName2");
    d.SetHintOptions(hoAutoHint | hoMin | hoMinMaxTime);
    EXPECT_EQ(d.Hint(), "MIN= 12.3 hPa 12:00:00");
}

class InputTest : public AnalogTest {
protected:
    void SetUp() override {
        AnalogTest::SetUp();
        form.SetBounds(0, 0, 300, 200);
        form.Show(); // focus needs a showing form
        input = new TAbAnalogCControl(&form);
        input->SetParent(&form);
        input->SetBounds(0, 0, 100, 50);
        input->Loaded();
        input->OnValueChange = [this](TObject*) { log.push_back("change"); };
        input->OnValueChanged = [this](TObject*) { log.push_back("changed"); };
        input->SetFocus();
    }
    TAbAnalogCControl* input = nullptr;
};

TEST_F(InputTest, KeysMoveTheDigitWithinItsRange) {
    input->SetDigit(999);
    log.clear();
    form.SimulateKey(platform::VK_PRIOR);
    EXPECT_EQ(input->Digit(), 1000);
    form.SimulateKey(platform::VK_PRIOR);
    EXPECT_EQ(log, (Strings{"change", "changed"})) << "a clamped key changes nothing";
    EXPECT_FLOAT_EQ(input->Value(), 100);

    struct Step {
        uint16_t key;
        int32_t digit;
    };
    for (Step s : {Step{platform::VK_HOME, 0}, Step{platform::VK_UP, 1}, Step{platform::VK_RIGHT, 2},
                   Step{platform::VK_NEXT, 0}, Step{platform::VK_END, 1000}, Step{platform::VK_LEFT, 999},
                   Step{platform::VK_DOWN, 998}}) {
        form.SimulateKey(s.key);
        EXPECT_EQ(input->Digit(), s.digit) << s.key;
    }
    EXPECT_EQ(form.ActiveControl(), input) << "the arrows stay with the control";

    input->SetEnabledKeys(kAllEnabledKeys & ~_VK_HOME);
    form.SimulateKey(platform::VK_HOME);
    EXPECT_EQ(input->Digit(), 998);
    input->SetEnableKeyboard(false);
    form.SimulateKey(platform::VK_END);
    EXPECT_EQ(input->Digit(), 998);
}

TEST_F(InputTest, OneWheelNotchMovesOneSmallStep) {
    input->SetChangeSmall(5);
    form.SimulateWheel(120);
    EXPECT_EQ(input->Digit(), 105);
    form.SimulateWheel(-120);
    form.SimulateWheel(-120);
    EXPECT_EQ(input->Digit(), 95);
    form.SimulateWheel(240); // only single notches are recognised
    EXPECT_EQ(input->Digit(), 95);
}

TEST_F(InputTest, ValuesAreClampedToTheRangeAndDriveTheIndicator) {
    input->SetValue(150);
    EXPECT_EQ(input->Digit(), 1000);
    EXPECT_FLOAT_EQ(input->Value(), 100);
    input->SetValue(-5);
    EXPECT_EQ(input->Digit(), 0);
    input->SetDigit(5000);
    EXPECT_EQ(input->Digit(), 1000);

    auto* shown = new TAbAnalogGControl(&form);
    shown->Loaded();
    input->SignalSettings().SetValueFrom(-50);
    input->SignalSettings().SetValueTo(50);
    input->SetValueIndicator(shown);
    EXPECT_FLOAT_EQ(shown->SignalSettings().ValueFrom(), -50);
    input->SetDigit(750);
    EXPECT_FLOAT_EQ(shown->Value(), 25);
    EXPECT_EQ(shown->PptValue(), 750);
    input->SignalSettings().SetValueUnit("mm");
    EXPECT_EQ(shown->SignalSettings().ValueUnit(), "mm") << "settings changes are copied again";
    delete shown;
    EXPECT_EQ(input->ValueIndicator(), nullptr);
    input->SetDigit(100); // no dangling indicator
}

// A slider whose drag sets the digit from x.
class Slider : public TAbAnalogCControl {
public:
    using TAbAnalogCControl::TAbAnalogCControl;
    void Area(const platform::gfx::TRect& r, bool round) { SetSlideArea(r, round); }

protected:
    void MouseSlide(platform::TShiftState shift, int x, int y, platform::gfx::TPoint& last) override {
        TAbAnalogCControl::MouseSlide(shift, x, y, last);
        SetDigit(x * 10);
    }
};

TEST_F(InputTest, DraggingInsideTheSlidingAreaSetsTheValueAndReportsOnRelease) {
    auto* slider = new Slider(&form);
    slider->SetParent(&form);
    slider->SetBounds(100, 0, 100, 100);
    slider->Loaded();
    slider->Area({0, 0, 100, 100}, true);
    EXPECT_EQ(slider->CursorSlide(), 5); // the hand cursor, installed by the control
    EXPECT_EQ(platform::Screen->CursorResource(5), "crHand");
    slider->SetCursorSlide(7);
    int changed = 0;
    slider->OnValueChanged = [&](TObject*) { ++changed; };

    form.SimulateMouseMove(0, 102, 2); // a corner lies outside the circle
    EXPECT_EQ(slider->Cursor(), 0);
    form.SimulateMouseDown(platform::TMouseButton::mbLeft, 0, 102, 2);
    EXPECT_FALSE(slider->Sliding());
    EXPECT_EQ(form.ActiveControl(), slider) << "a press takes the focus";
    form.SimulateMouseUp(platform::TMouseButton::mbLeft, 0, 102, 2);

    form.SimulateMouseMove(0, 150, 50);
    EXPECT_EQ(slider->Cursor(), 7);
    form.SimulateMouseDown(platform::TMouseButton::mbLeft, 0, 150, 50);
    EXPECT_TRUE(slider->Sliding());
    EXPECT_EQ(slider->Digit(), 500);
    form.SimulateMouseMove(platform::ssLeft, 170, 50);
    EXPECT_EQ(slider->Digit(), 700);
    EXPECT_EQ(changed, 0);
    form.SimulateMouseUp(platform::TMouseButton::mbLeft, 0, 170, 50);
    EXPECT_EQ(changed, 1);
    EXPECT_FALSE(slider->Sliding());
    form.SimulateMouseMove(0, 150, 50);
    EXPECT_EQ(slider->Digit(), 700) << "no sliding after the release";
}

} // namespace
