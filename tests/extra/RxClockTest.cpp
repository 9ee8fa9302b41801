// The clock panel: the daily alarm on the loop's clock (including the midnight alarm that must fire
// once), the digits it shows, the face's circle table, and the inverted second hand.
#include <gtest/gtest.h>

#include <cmath>

#include "extra/RxClock.h"
#include "platform/EventLoop.h"
#include "platform/Exceptions.h"
#include "platform/controls/Application.h"
#include "platform/controls/Form.h"
#include "tests/extra/ExtraTestSupport.h"

using namespace extra;
using namespace platform;
using gfx::TPoint;

namespace {

TDateTime At(int h, int m, int s, int ms = 0) {
    return (h * 3600000.0 + m * 60000.0 + s * 1000.0 + ms) / 86400000.0;
}

// 2026-03-06 07:29:00 UTC.
constexpr int64_t k0729Ms = testsupport::kFriday6March2026Ms - (4 * 3600 + 31 * 60) * 1000LL;

TEST(RxClock, TheAlarmFiresOnceInItsMinuteAndAgainOnlyOnALaterDay) {
    testsupport::ZoneScope utc("UTC0");
    testsupport::SimulatedClockScope clock(k0729Ms);
    EventLoop::Get().Reset();
    TRxClock rx;
    rx.SetAlarmTime(7, 30, 0);
    rx.AlarmEnabled = true;
    int alarms = 0;
    rx.OnAlarm = [&](TComponent*) { ++alarms; };
    EventLoop::Get().RunFor(59 * 1000);
    EXPECT_EQ(alarms, 0);
    EventLoop::Get().RunFor(2 * 60 * 1000); // through 07:30 and on to 07:32
    EXPECT_EQ(alarms, 1);
    EXPECT_FALSE(rx.AlarmArmed());

    // The rest of the day, then the next morning (the time handed in by OnGetTime).
    TDateTime now = At(23, 59, 59);
    rx.OnGetTime = [&](TComponent*, TDateTime& t) { t = now; };
    rx.Tick();
    EXPECT_FALSE(rx.AlarmArmed());
    now = At(0, 0, 1);
    rx.Tick();
    EXPECT_TRUE(rx.AlarmArmed());
    now = At(7, 30, 0, 400);
    rx.Tick();
    EXPECT_EQ(alarms, 2);
    // An alarm at a second of its minute waits for that second.
    rx.SetAlarmTime(7, 31, 45);
    now = At(7, 31, 0);
    rx.Tick();
    now = At(7, 31, 44, 900);
    rx.Tick();
    EXPECT_EQ(alarms, 2);
    now = At(7, 31, 45);
    rx.Tick();
    EXPECT_EQ(alarms, 3);
    // Disabled: nothing fires.
    rx.AlarmEnabled = false;
    now = At(0, 0, 0);
    rx.Tick();
    now = At(7, 31, 50);
    rx.Tick();
    EXPECT_EQ(alarms, 3);
}

TEST(RxClock, AMidnightAlarmFiresOncePerDay) {
    TRxClock rx;
    rx.AlarmEnabled = true; // the alarm time starts at 00:00:00
    int alarms = 0;
    rx.OnAlarm = [&](TComponent*) { ++alarms; };
    int ms = 0;
    rx.OnGetTime = [&](TComponent*, TDateTime& t) { t = At(0, 0, 0, ms); };
    for (ms = 0; ms < 90 * 1000; ms += 450) // 00:00:00 to 00:01:30 in ticks of 450 ms
        rx.Tick();
    EXPECT_EQ(alarms, 1);
    EXPECT_TRUE(rx.AlarmArmed()); // armed again from 00:01 on
    ms = 86399 * 1000;            // 23:59:59
    rx.Tick();
    ms = 0;
    rx.Tick();
    rx.Tick();
    EXPECT_EQ(alarms, 2);
}

TEST(RxClock, DigitsFollowTheFormatSettingsAndBadAlarmPartsRaise) {
    testsupport::FormatSettingsScope settings;
    TRxClock rx;
    TDateTime t = At(7, 5, 9);
    EXPECT_EQ(rx.TimeText(t), "07:05:09");
    rx.SetTwelveHour(true);
    rx.SetLeadingZero(false);
    EXPECT_EQ(rx.TimeText(t), "7:05:09 AM");
    rx.SetShowSeconds(false);
    settings->TimePMString = "pm";
    EXPECT_EQ(rx.TimeText(At(19, 5, 9)), "7:05 pm");

    rx.SetAlarmTime(6, 45, 30);
    EXPECT_EQ(rx.AlarmHour(), 6);
    EXPECT_EQ(rx.AlarmMinute(), 45);
    EXPECT_EQ(rx.AlarmSecond(), 30);
    try {
        rx.SetAlarmHour(24);
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'24:45:30' is not a valid time");
    }
    EXPECT_EQ(rx.AlarmHour(), 6);
    EXPECT_THROW(rx.SetAlarmSecond(60), EConvertError);
}

TEST(RxClock, SettingsAndTimeChangesSentToTheApplicationWindowRepaintItWhileItHasAWindow) {
    TForm form;
    form.SetBounds(0, 0, 120, 40);
    auto* rx = new TRxClock(&form);
    rx->SetBounds(0, 0, 120, 40);
    TDateTime now = At(7, 30, 0);
    rx->OnGetTime = [&](TComponent*, TDateTime& t) { t = now; };
    rx->SetAlarmTime(7, 30, 0);
    rx->AlarmEnabled = true;
    int alarms = 0;
    rx->OnAlarm = [&](TComponent*) { ++alarms; };
    auto repaintedBy = [&](uint32_t msg) {
        form.Show();
        gfx::Bitmap shot(120, 40);
        form.PaintTo(shot); // nothing left to paint
        Application->Perform(msg);
        return !rx->InvalidArea().IsEmpty();
    };
    rx->SetParent(&form);
    EXPECT_TRUE(repaintedBy(WM_WININICHANGE));
    EXPECT_EQ(alarms, 0);
    EXPECT_TRUE(repaintedBy(WM_TIMECHANGE));
    EXPECT_EQ(alarms, 1) << "a new system time checks the alarm";
    // Without a parent, taken away or gone with its window, it hears the application no more.
    auto alarmedAt730 = [&] {
        now = At(7, 29, 0);
        rx->Perform(WM_TIMECHANGE); // sent to the clock itself: re-armed outside the minute
        now = At(7, 30, 0);
        const int before = alarms;
        Application->Perform(WM_TIMECHANGE);
        return alarms > before;
    };
    rx->SetParent(nullptr);
    EXPECT_FALSE(alarmedAt730()) << "still hooked after losing its parent";
    auto* holder = new TForm;
    rx->SetParent(holder);
    delete holder;
    EXPECT_EQ(rx->Parent(), nullptr);
    EXPECT_FALSE(alarmedAt730()) << "still hooked after its parent was destroyed";
    rx->SetParent(&form);
    EXPECT_TRUE(alarmedAt730());
    rx->SetParent(nullptr);
    rx->SetParent(&form);
    rx->SetParent(&form); // hooked once however often it is placed
    int others = 0;
    int other = Application->HookMainWindow([&](TMessage&) {
        ++others;
        return false;
    });
    Application->Perform(WM_TIMECHANGE);
    EXPECT_EQ(others, 1) << "the clock leaves the message to the other hooks";
    delete rx;
    Application->Perform(WM_WININICHANGE); // unhooked with the clock
    Application->UnhookMainWindow(other);
}

TEST(RxClock, TheCircleTableAndAspectCorrection) {
    auto table = ClockCircleTable(1.0);
    EXPECT_EQ(table[0], (TPoint{0, -8000}));
    EXPECT_EQ(table[15], (TPoint{8000, 0}));
    EXPECT_EQ(table[30], (TPoint{0, 8000}));
    EXPECT_EQ(table[45], (TPoint{-8000, 0}));
    EXPECT_EQ(table[5], (TPoint{4000, -6928}));
    EXPECT_EQ(ClockCircleTable(0.5)[0], (TPoint{0, -4000}));
    EXPECT_DOUBLE_EQ(ClockAspectCorrection(1000, 500, 100, 100), 2.0);
    // An unknown physical size gives no correction rather than a division by zero.
    EXPECT_DOUBLE_EQ(ClockAspectCorrection(1024, 768, 0, 203), 1.0);
    EXPECT_DOUBLE_EQ(ClockAspectCorrection(1024, 768, 271, 0), 1.0);
}

TEST(RxClock, TheSecondHandIsInvertedAndErasedByInvertingAgain) {
    gfx::TFont::UseTestFont(true);
    TForm form;
    form.SetBounds(0, 0, 200, 200);
    auto* rx = new TRxClock(&form);
    rx->SetParent(&form);
    rx->SetBounds(0, 0, 200, 200);
    rx->SetShowMode(TShowClock::scAnalog);
    TDateTime now = At(6, 30, 0);
    rx->OnGetTime = [&](TComponent*, TDateTime& t) { t = now; };
    form.Show();
    gfx::Bitmap shot(200, 200);
    form.PaintTo(shot);
    TPoint c = rx->FaceCentre();
    int r = rx->FaceRadius();
    ASSERT_GT(r, 50);
    const uint32_t face = gfx::ColorToRGB(rx->Color());
    const uint32_t inverted = ~face & 0xFFFFFF;
    EXPECT_EQ(rx->Surface().GetPixel(c.X, c.Y - r / 2), inverted); // second 0: straight up
    EXPECT_EQ(rx->Surface().GetPixel(c.X + r / 2, c.Y), face);
    now = At(6, 30, 15);
    rx->Tick();
    EXPECT_EQ(rx->Surface().GetPixel(c.X, c.Y - r / 2), face);
    EXPECT_EQ(rx->Surface().GetPixel(c.X + r / 2, c.Y), inverted);
    // The minute hand points down at half past.
    EXPECT_EQ(rx->Surface().GetPixel(c.X, c.Y + r / 2), gfx::ColorToRGB(rx->Font().Color()));
    gfx::TFont::UseTestFont(false);
}

} // namespace
