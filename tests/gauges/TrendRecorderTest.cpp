// The trend recorder: recording on the flash clock, trimming at the record limit, separators, read-back
// through values, extremes and the cursor, the view setters and the bounds on digits.
#include <gtest/gtest.h>

#include <memory>

#include "gauges/AbTrend.h"
#include "platform/controls/Form.h"
#include "tests/gauges/GaugeTestSupport.h"

using namespace gauges;

namespace {

class TrendRecorder : public gaugetest::GaugeFixture {
protected:
    void SetUp() override {
        GaugeFixture::SetUp();
        trend = std::make_unique<TAbTrend>(nullptr);
        trend->Loaded();
    }
    void TearDown() override {
        trend.reset();
        GaugeFixture::TearDown();
    }
    // n records made by the recording tick, one second apart.
    void Record(int n) {
        for (int i = 0; i < n; ++i) {
            Clock().Advance(1000);
            trend->GetData();
        }
    }
    int SeparatorsAt(int from) {
        int n = 0;
        while (from + n < trend->RecordCount() && trend->Record(from + n).Time == 0.0)
            ++n;
        return n;
    }
    // The -30 .. 50 degree channel of the station: 0.1 degree per digit.
    void TemperatureChannel(int c) {
        TChSettings& ch = trend->Channel(c);
        ch.SetDigitalFrom(-300);
        ch.SetDigitalTo(500);
        ch.SetValueFrom(-30);
        ch.SetValueTo(50);
    }
    std::unique_ptr<TAbTrend> trend;
};

TEST_F(TrendRecorder, RecordsOnTheFlashClockAtItsInterval) {
    EXPECT_EQ(FlashList().size(), 1u) << "Loaded starts the recording";
    trend->SetInterval(60000);
    trend->Channel(1).SetValue(42);
    for (int i = 0; i < 10; ++i)
        Tick(60000);
    ASSERT_EQ(trend->RecordCount(), 10);
    EXPECT_NEAR(trend->Record(9).Time - trend->Record(0).Time, 9.0 / 1440, 1e-9);
    EXPECT_EQ(trend->Record(9).Digit[0], 420);
    int intervals = 0;
    trend->OnInterval = [&](TObject*) { ++intervals; };
    trend->SetStartRecording(false);
    Tick(60000);
    EXPECT_EQ(trend->RecordCount(), 10);
    EXPECT_EQ(intervals, 0);
    EXPECT_TRUE(FlashList().empty());
}

TEST_F(TrendRecorder, FlowTrimsToTheLimitKeepingAGridStepInReserve) {
    int trims = 0;
    trend->OnMaxRecords = [&](TObject*) { ++trims; };
    Record(2001);
    EXPECT_EQ(trend->RecordCount(), 2001);
    Record(1);
    EXPECT_EQ(trend->RecordCount(), 1942) << "60 deleted, one appended";
    EXPECT_EQ(trims, 1);
    int most = 0;
    for (int i = 0; i < 3000; ++i) {
        Record(1);
        most = std::max(most, trend->RecordCount());
    }
    EXPECT_EQ(most, 2001);
    trend->SetFlow(false);
    Record(100);
    EXPECT_GT(trend->RecordCount(), 2001) << "without Flow the list grows";
}

TEST_F(TrendRecorder, AGridStepWiderThanTheLimitStillBoundsTheList) {
    trend->SetMaxRecords(100);
    trend->SetGridXPixel(200);
    int trims = 0;
    trend->OnMaxRecords = [&](TObject*) { ++trims; };
    for (int i = 0; i < 1000; ++i) {
        Record(1);
        ASSERT_LE(trend->RecordCount(), 101);
    }
    EXPECT_LT(trims, 11) << "a trim leaves room for the next hundred records";
}

TEST_F(TrendRecorder, SeparatorsGoInFrontOfTheNewestRecordWithTheDigitsBeforeThem) {
    trend->Channel(2).SetValue(7);
    Record(3);
    trend->SetStartRecording(true); // a restart of the clock
    ASSERT_EQ(trend->RecordCount(), 8);
    EXPECT_EQ(SeparatorsAt(2), 5);
    EXPECT_EQ(trend->Record(2).Digit[1], 70);
    EXPECT_NE(trend->Record(7).Time, 0.0);
    trend->SetInterval(2000);
    EXPECT_EQ(trend->RecordCount(), 13);
    EXPECT_EQ(SeparatorsAt(7), 5);
    trend->SetInterval(2000); // unchanged: nothing
    trend->SetInterval(50);   // below 100: ignored
    EXPECT_EQ(trend->Interval(), 2000u);
    EXPECT_EQ(trend->RecordCount(), 13);

    trend->RunInterval2(3);
    EXPECT_TRUE(trend->FastMode());
    EXPECT_EQ(FlashList()[0].Interval, 250);
    EXPECT_EQ(SeparatorsAt(12), 5);
    for (int i = 0; i < 3; ++i)
        Tick(250);
    EXPECT_FALSE(trend->FastMode());
    EXPECT_EQ(FlashList()[0].Interval, 2000);
    int count = trend->RecordCount();
    // The last fast tick marks the end in front of the record before it, then appends its own.
    EXPECT_EQ(SeparatorsAt(count - 7), 5) << "the end of the fast run is marked too";

    trend->SetOptions(trend->Options() & ~opSeparator);
    trend->SetStartRecording(true);
    EXPECT_EQ(trend->RecordCount(), count);
}

TEST_F(TrendRecorder, ValuesComeBackThroughReadValueExtremesAndTheCursor) {
    TemperatureChannel(1);
    trend->Channel(1).SetValue(-12.5f);
    Record(1);
    EXPECT_EQ(trend->Record(0).Digit[0], 175);
    trend->Channel(1).SetValue(20.0f);
    Record(1);
    trend->Channel(1).SetValue(-12.5f);
    Record(1);
    TDateTime t;
    float values[kTrendChannels];
    ASSERT_TRUE(trend->ReadValue(0, t, values));
    EXPECT_EQ(values[0], -12.5f);
    EXPECT_FALSE(trend->ReadValue(3, t, values));
    ASSERT_TRUE(trend->FindMinMax(0, 2));
    EXPECT_EQ(trend->MinMax(1).Min(), -12.5f);
    EXPECT_EQ(trend->MinMax(1).MinDateTime(), trend->Record(0).Time) << "the earliest of equal extremes";
    EXPECT_EQ(trend->MinMax(1).Max(), 20.0f);
    EXPECT_EQ(trend->MinMax(1).MaxDateTime(), trend->Record(1).Time);

    platform::TForm form;
    form.SetBounds(0, 0, 600, 400);
    trend->SetParent(&form);
    trend->SetFlow(false);
    trend->Repaint();
    trend->PaintRecords(0, trend->RecordCount() - 1);
    int moves = 0;
    trend->OnNewCursorPos = [&](TObject*) { ++moves; };
    const int left = trend->CurveRect().Left, top = trend->CurveRect().Top;
    trend->SetCursorLine(left + 2, top + 10);
    EXPECT_TRUE(trend->ValueAtCursor().DataValid);
    EXPECT_EQ(trend->ValueAtCursor().RecordNo, 2);
    EXPECT_EQ(trend->ValueAtCursor().ValueCh[0], -12.5f);
    trend->SetCursorLine(left + 3, top + 10);
    EXPECT_FALSE(trend->ValueAtCursor().DataValid) << "beyond the records";
    EXPECT_EQ(moves, 2);
    trend->SetParent(nullptr);
}

TEST_F(TrendRecorder, AScaleSetAfterTheValueRecordsTheValueInTheNewScale) {
    // The station sets the scales after the scan, when the channels hold 0: a first reading of 0.0
    // degrees then changes nothing, and must not stay the digit 0 of the old scale (-30 degrees).
    TemperatureChannel(1);
    trend->Channel(1).SetValue(0.0f);
    Record(1);
    EXPECT_EQ(trend->Record(0).Digit[0], 300);
    trend->Channel(1).SetValue(20.0f);
    trend->Channel(1).SetDigitalFrom(-200); // -40 .. 40 degrees, 0.2 a digit
    trend->Channel(1).SetDigitalTo(200);
    trend->Channel(1).SetValueFrom(-40);
    trend->Channel(1).SetValueTo(40);
    Record(1);
    EXPECT_EQ(trend->Record(1).Digit[0], 300);
    EXPECT_EQ(trend->Channel(1).Value(), 20.0f);
}

TEST_F(TrendRecorder, ExtremesSkipSeparatorsAndEmptySpansAreRefused) {
    EXPECT_FALSE(trend->FindMinMax(0, -1)) << "an empty list";
    trend->Channel(1).SetValue(30);
    Record(2);
    trend->Channel(1).SetValue(10);
    trend->SetStartRecording(true); // separators carry the digits of 30
    Record(1);
    ASSERT_TRUE(trend->FindMinMax(0, trend->RecordCount() - 1));
    EXPECT_FLOAT_EQ(trend->MinMax(1).Min(), 10);
    // A span that begins on a separator takes its extremes from real records: a time, not 1899.
    ASSERT_TRUE(trend->FindMinMax(1, trend->RecordCount() - 1));
    EXPECT_EQ(trend->MinMax(1).MaxDateTime(), trend->Record(6).Time);
    // Time labels on separators read the nearest real record, the later one at equal distance.
    TDateTime t = 0;
    ASSERT_TRUE(trend->LabelTime(2, t));
    EXPECT_EQ(t, trend->Record(0).Time);
    ASSERT_TRUE(trend->LabelTime(3, t));
    EXPECT_EQ(t, trend->Record(6).Time);
    EXPECT_FALSE(trend->LabelTime(8, t));
    EXPECT_FALSE(trend->FindMinMax(3, 2));
    EXPECT_FALSE(trend->FindMinMax(-1, 2));
    EXPECT_FALSE(trend->FindMinMax(0, trend->RecordCount()));
}

TEST_F(TrendRecorder, RecordInfoCountsFromTwoRecords) {
    int changes = 0;
    trend->OnRecNoChanged = [&](TObject*) { ++changes; };
    Record(1);
    EXPECT_EQ(trend->RecordInfo().TotalRecords, 0u);
    EXPECT_EQ(trend->RecordInfo().FirstRecord, 0.0);
    Record(1);
    EXPECT_EQ(trend->RecordInfo().TotalRecords, 2u);
    EXPECT_EQ(trend->RecordInfo().LastRecord, trend->Record(1).Time);
    EXPECT_EQ(changes, 2);
    trend->ClearRecords();
    EXPECT_EQ(trend->RecordCount(), 0);
    EXPECT_TRUE(trend->StartRecording()) << "clearing resumes the recording";
}

TEST_F(TrendRecorder, HandAddedRecordsStoreAbsoluteDigitsAndOnlyWhileStopped) {
    float values[kTrendChannels] = {20, 0, 0, 0, 0, 0, 0, 0};
    int16_t digits[kTrendChannels] = {100, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(trend->AddValue(values));
    EXPECT_FALSE(trend->AddDigit(digits));
    EXPECT_EQ(trend->RecordCount(), 0);
    trend->SetStartRecording(false);
    TemperatureChannel(1);
    TChSettings& c2 = trend->Channel(2);
    c2.SetDigitalFrom(100); // a range not starting at digit 0
    c2.SetValueFrom(10);
    c2.SetValueTo(20);
    values[1] = 15;
    digits[1] = 600;
    ASSERT_TRUE(trend->AddValue(values));
    ASSERT_TRUE(trend->AddDigit(digits));
    EXPECT_EQ(trend->Record(0).Digit[0], 500) << "20 degrees on -30 .. 50";
    EXPECT_EQ(trend->Record(0).Digit[1], 450) << "15 on 10 .. 20 with digits 100 .. 1000";
    EXPECT_EQ(trend->Record(1).Digit[0], 400);
    EXPECT_EQ(trend->Record(1).Digit[1], 500);
    TDateTime t;
    float back[kTrendChannels];
    trend->ReadValue(0, t, back);
    EXPECT_FLOAT_EQ(back[0], 20);
    EXPECT_FLOAT_EQ(back[1], 15);
}

TEST_F(TrendRecorder, ValuesFarOutsideTheRangeSaturateTheRecordDigit) {
    trend->Channel(1).SetValue(1e6f); // 10,000,000 digits
    trend->Channel(2).SetValue(-5000);
    Record(1);
    EXPECT_EQ(trend->Record(0).Digit[0], 32767);
    EXPECT_EQ(trend->Record(0).Digit[1], -32768);
}

TEST_F(TrendRecorder, ViewSettersClampAndIgnoreOutOfRangeValues) {
    trend->ZoomYTo(0.1f);
    trend->ZoomYIn();
    EXPECT_FLOAT_EQ(trend->ZoomY(), 0.1f);
    trend->ZoomYTo(10.0f);
    trend->ZoomYOut();
    EXPECT_FLOAT_EQ(trend->ZoomY(), 10.0f);
    trend->ZoomYTo(11.0f);
    EXPECT_FLOAT_EQ(trend->ZoomY(), 10.0f);
    trend->ZoomYTo(0.5f);
    trend->MoveY(5);
    EXPECT_EQ(trend->YOffset(), 2) << "2.5 rounds to even";
    trend->SetYDefault();
    EXPECT_EQ(trend->YOffset(), 0);
    EXPECT_FLOAT_EQ(trend->ZoomY(), 1.0f);
    trend->SetMaxRecords(99);
    EXPECT_EQ(trend->MaxRecords(), 2000);
    trend->SetGridXPixel(29);
    EXPECT_EQ(trend->GridXPixel(), 60);
    trend->SetGridYSteps(11);
    EXPECT_EQ(trend->GridYSteps(), 10);
    trend->SetAbsScaleCh(9);
    EXPECT_EQ(trend->AbsScaleCh(), 1);
    trend->SetInterval2(99);
    EXPECT_EQ(trend->Interval2(), 250u);
}

} // namespace
