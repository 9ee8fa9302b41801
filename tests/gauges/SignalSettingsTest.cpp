// Value, digit and per-mille arithmetic (rounding halves to even on double intermediates), the setter
// rules of the settings objects, sectors, and the update bracket and helpers of the control bases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "gauges/GClass.h"
#include "gauges/SignalSettings.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/controls/Form.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace gauges;
using platform::gfx::TColor;

namespace {

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

TEST(SignalMapping, DefaultsConvertOnlyAfterTheFirstChange) {
    TSignalSettings s;
    EXPECT_EQ(s.GetPPT(50), 0) << "the factors are 0 until Change";
    s.Change();
    EXPECT_EQ(s.GetPPT(50), 500);
    EXPECT_FLOAT_EQ(s.GetValue(250), 25.0f);
    TChSettings ch;
    ch.Change();
    ch.SetValue(37.5f);
    EXPECT_EQ(ch.Digit(), 375);
}

TEST(SignalMapping, HalvesRoundToEvenOnDoubleIntermediates) {
    TChSettings ch; // ValueFrom 0 as constructed: setting 0 through the setter would store 0.000001
    ch.Change();
    struct Case {
        float value;
        int digit;
    };
    for (Case c : {Case{0.25f, 2}, Case{1.25f, 12}, Case{0.35f, 3}, Case{0.45f, 4}, Case{2.55f, 25}}) {
        ch.SetValue(c.value);
        EXPECT_EQ(ch.Digit(), c.digit) << c.value;
    }
}

TEST(SignalMapping, RangesAroundZeroAndTheRecordDigitOfATemperatureChannel) {
    TChSettings s;
    s.SetValueFrom(-50);
    s.SetValueTo(50);
    EXPECT_EQ(s.ValueToDigit(0), 500);
    EXPECT_EQ(s.GetPPT(0), 500);

    TChSettings t;
    t.SetDigitalFrom(-300);
    t.SetDigitalTo(500);
    t.SetValueFrom(-30);
    t.SetValueTo(50);
    t.SetValue(-12.5f);
    EXPECT_EQ(t.Digit(), -125);
    EXPECT_EQ(t.AbsDigit(), 175);
    EXPECT_EQ(t.AbsDigitToValue(175), -12.5f);
    t.SetDigit(-124);
    EXPECT_FLOAT_EQ(t.Value(), -12.4f);
}

TEST(SignalMapping, StoredBitsOfTheNeverZeroLowEnd) {
    TSignalSettings s;
    s.SetValueFrom(5);
    s.SetValueFrom(0);
    EXPECT_EQ(Bits(s.ValueFrom()), 0x358637BDu);
    s.SetLogScale(true);
    s.SetValueFrom(0.003f);
    EXPECT_FLOAT_EQ(s.ValueFrom(), 0.001f);
    s.SetValueTo(250);
    EXPECT_FLOAT_EQ(s.ValueTo(), 100);
}

TEST(SignalMapping, FallingAndEmptyRangesConvertConsistentlyAndNeverDivideByZero) {
    TSignalSettings s;
    s.SetValueTo(200);
    s.SetValueFrom(100);
    s.SetValueTo(0); // 100 .. 0: both ends on the same side of zero no longer keep a stale span
    EXPECT_FLOAT_EQ(s.ValueSpan(), -100);
    EXPECT_EQ(s.ValueToDigit(25), 750);
    EXPECT_FLOAT_EQ(s.DigitToValue(750), 25);
    EXPECT_EQ(s.GetPPT(25), 750);

    TChSettings ch;
    ch.Change();
    ch.SetValue(1e30f);
    EXPECT_EQ(ch.Digit(), INT32_MAX) << "saturated, not undefined";
    EXPECT_EQ(ch.AbsDigit(), INT32_MAX);
    ch.SetDigitalTo(0); // digit span 0: no digits per value
    ch.SetValue(5);
    EXPECT_EQ(ch.Digit(), 0);
    int fired = 0;
    ch.OnValueChange = [&](TObject*) { ++fired; };
    ch.SetValue(std::nanf(""));
    EXPECT_EQ(fired, 0) << "NaN is ignored";
}

TEST(SignalSetters, EqualValuesAndEmptyRangesFireNothing) {
    TSignalSettings s;
    int changes = 0;
    s.OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, &s);
        ++changes;
    };
    s.SetValueTo(0);   // equal to ValueFrom: refused
    s.SetValueTo(100); // unchanged
    s.SetName1("SignalName1");
    EXPECT_EQ(changes, 0);
    s.SetValueUnit("\xB0"
                   "C");
    EXPECT_EQ(changes, 1);
    TMinMax m;
    EXPECT_EQ(m.Min(), 9999999.0f);
    EXPECT_EQ(m.Max(), -9999999.0f);
    TSignalSettings copy;
    s.SetDigitalTo(800);
    s.AssignTo(copy);
    EXPECT_EQ(copy.DigitalTo(), 800);
    EXPECT_EQ(copy.ValueUnit(), "\xB0"
                                "C");
    EXPECT_THROW(s.AssignTo(m), platform::EConvertError);
}

TEST(SignalSetters, WidestFormatAndSectorColours) {
    EXPECT_EQ(AbGetValueFormat("##0.0"), "##0.0");
    EXPECT_EQ(AbGetValueFormat("##0.00;-0.0"), "##0.00");
    EXPECT_EQ(AbGetValueFormat("0.0;0.1"), "0.1") << "equal lengths give the second";
    EXPECT_EQ(AbGetValueFormat("000.00;-0.0;z"), "-0.0;z") << "the first against the whole rest";
    TSectorSettings sectors;
    TColor color = platform::gfx::clBlack;
    EXPECT_TRUE(sectors.CheckSectorColor(333, color));
    EXPECT_EQ(color, platform::gfx::clYellow);
    EXPECT_TRUE(sectors.CheckSectorColor(334, color));
    EXPECT_EQ(color, platform::gfx::clGreen);
    EXPECT_TRUE(sectors.CheckSectorColor(1000, color));
    EXPECT_EQ(color, platform::gfx::clRed);
    color = platform::gfx::clBlack;
    EXPECT_FALSE(sectors.CheckSectorColor(1001, color));
    EXPECT_FALSE(sectors.CheckSectorColor(-1, color));
    EXPECT_EQ(color, platform::gfx::clBlack);
}

TEST(GaugeBase, TheUpdateBracketMakesOneChangeAndAnUnmatchedEndIsHarmless) {
    platform::TForm form;
    struct Counting : TAbGraphicControl {
        using TAbGraphicControl::TAbGraphicControl;
        int changes = 0;
        void ParamChange(TObject* sender) override {
            EXPECT_EQ(sender, this);
            ++changes;
        }
    };
    auto* gauge = new Counting(&form);
    EXPECT_EQ(gauge->Parent(), &form) << "the owner becomes the parent";
    TAbOffset offset;
    offset.OnChange = [&](TObject*) { gauge->Change(); };
    for (int i = 0; i < 10; ++i)
        gauge->BeginUpdate();
    for (int i = 1; i <= 10; ++i)
        offset.SetTop(i);
    for (int i = 0; i < 10; ++i)
        gauge->EndUpdate();
    EXPECT_EQ(gauge->changes, 1);
    gauge->EndUpdate();
    EXPECT_EQ(gauge->UpdateCount(), 0);
    EXPECT_EQ(gauge->changes, 2);

    platform::TComponent notAWindow;
    EXPECT_THROW(Counting bad(&notAWindow), platform::EInvalidCast);

    auto* windowed = new TAbCustomControl(&form);
    windowed->SetParent(&form);
    windowed->SetBounds(0, 0, 10, 10);
    windowed->Update();
    windowed->EndUpdate();
    EXPECT_FALSE(windowed->InvalidArea().IsEmpty()) << "the windowed base repaints instead";
}

TEST(GaugeBase, OffsetsAndIniSettings) {
    TAbOffset o;
    int changes = 0;
    o.OnChange = [&](TObject*) { ++changes; };
    o.Write(2, 3, 4, 5);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(o.SetOffset({0, 0, 100, 50}), (platform::gfx::TRect{3, 2, 96, 45}));
    TAbOffset copy;
    copy.OnChange = [&](TObject*) { ++changes; };
    o.AssignTo(copy);
    EXPECT_EQ(copy.Bottom(), 5);
    EXPECT_EQ(changes, 1);

    testsupport::ScratchDir dir;
    platform::SetExeName(dir.Path() + "/korvane");
    TIniSettings ini;
    int calls = 0;
    ini.OnHandleIniEvent = [&](platform::TIniFile& file, bool read) {
        ++calls;
        EXPECT_FALSE(read);
        file.WriteString("Gauge", "Value", "1");
    };
    ini.FileName = "C:\\Program Files\\gauge.ini";
    ini.Handle(false);
    EXPECT_EQ(ini.ErrorText(), "Invalid SectionName");
    EXPECT_EQ(calls, 0);
    ini.Section = "Gauge";
    ini.AutoHandle(false);
    EXPECT_EQ(calls, 0) << "AutoLoadSave is off";
    ini.Handle(false);
    EXPECT_FALSE(ini.Error());
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(platform::FileExists(dir.Path() + "/gauge.ini"))
        << "only the name part, in the program's folder";
}

} // namespace
