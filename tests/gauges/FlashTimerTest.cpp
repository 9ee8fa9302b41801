// The flash list: registration, the cadence of timed entries with lateness correction on a 64-bit
// clock, blinking in step, the once-a-second code, handlers that change the list or throw, the single
// flash timer, and the loop timer that serves the list only when something is due.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "gauges/AbFlashT.h"
#include "platform/Dialogs.h"
#include "platform/controls/Application.h"
#include "tests/gauges/GaugeTestSupport.h"

using namespace gauges;

namespace {

struct Delivery {
    platform::TControl* control;
    int32_t parameter;
    friend bool operator==(const Delivery&, const Delivery&) = default;
};

// A control that records every WM_FLASH it gets, and may act on it.
class Flashed : public platform::TControl {
public:
    Flashed(std::vector<Delivery>& log) : log_(log) {}
    std::function<void()> onFlash;

protected:
    void WndProc(platform::TMessage& m) override {
        if (m.Msg == WM_FLASH) {
            log_.push_back({this, static_cast<int32_t>(m.LParam)});
            if (onFlash) onFlash();
            return;
        }
        platform::TControl::WndProc(m);
    }

private:
    std::vector<Delivery>& log_;
};

class FlashListTest : public gaugetest::GaugeFixture {
protected:
    std::vector<Delivery> log;
};

TEST_F(FlashListTest, RegisteringTwiceKeepsOneEntryWithTheLaterInterval) {
    Flashed a(log);
    AddControl(&a, 500);
    AddControl(&a, 100);
    ASSERT_EQ(FlashList().size(), 1u);
    EXPECT_EQ(FlashList()[0].Interval, 100);
    ASSERT_NE(FlashTimer(), nullptr);
    DelControl(&a);
    EXPECT_TRUE(FlashList().empty());
    EXPECT_NE(FlashTimer(), nullptr) << "the timer keeps running with an empty list";
}

TEST_F(FlashListTest, TimedEntriesKeepTheirCadenceAndDoNotMakeUpLongDelays) {
    Flashed a(log);
    AddControl(&a, 100);
    Tick(130); // 30 ms late
    Tick(69);  // next due 70 ms after the late one
    EXPECT_EQ(log, (std::vector<Delivery>{{&a, 30}}));
    Tick(1);
    EXPECT_EQ(log.back(), (Delivery{&a, 0}));
    Tick(1500); // far too late: delivered once, not corrected, not repeated
    Tick(50);
    Tick(49);
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(log.back(), (Delivery{&a, 0}));
    Tick(1);
    EXPECT_EQ(log.size(), 4u);
}

TEST_F(FlashListTest, NothingStallsWhereA32BitTickCountWraps) {
    Clock().SetTick(0xFFFFFFFFu - 50);
    Clock().SetMonotonicMs(0xFFFFFFFFull - 50);
    Flashed a(log);
    AddControl(&a, 100);
    for (int i = 0; i < 10; ++i)
        Tick(100);
    EXPECT_EQ(log.size(), 10u);
    for (const Delivery& d : log)
        EXPECT_EQ(d.parameter, 0);
}

TEST_F(FlashListTest, BlinkingEntriesDeliverOnlyBitChangesAndBlinkInStep) {
    Flashed a(log), b(log);
    AddControl(&a, 3);
    AddControl(&b, 3);
    for (int i = 0; i < 32; ++i)
        Tick(16);
    // Bit 3 of the slot counter changes every 8 slots: on at 8, off at 16, on at 24, off at 32.
    std::vector<Delivery> expected;
    for (int32_t state : {1, 0, 1, 0}) {
        expected.push_back({&a, state});
        expected.push_back({&b, state});
    }
    EXPECT_EQ(log, expected);
}

TEST_F(FlashListTest, TheOnceASecondCodeAndPlainProcedures) {
    static std::vector<int32_t> calls;
    calls.clear();
    TFlashProc proc = [](int32_t, int32_t parameter) { calls.push_back(parameter); };
    AddProc(proc, 27);
    for (int i = 0; i < 200; ++i)
        Tick(16); // 3.2 s
    EXPECT_EQ(calls, (std::vector<int32_t>{0, 0, 0}));
    DelProc(proc);
    Tick(2000);
    EXPECT_EQ(calls.size(), 3u);
}

TEST_F(FlashListTest, HandlersMayRemoveEntriesOrThrowWithoutStoppingTheTicks) {
    Flashed a(log), b(log), c(log);
    std::vector<std::string> errors;
    platform::Application->SetOnException([&](const std::exception& e) { errors.push_back(e.what()); });
    a.onFlash = [&] {
        DelControl(&a);
        DelControl(&b);
    };
    c.onFlash = [&] { throw std::runtime_error("handler failed"); };
    AddControl(&a, 100);
    AddControl(&b, 100);
    AddControl(&c, 100);
    Tick(100);
    Tick(100);
    Tick(100);
    platform::Application->SetOnException(nullptr);
    // a removed itself and b; c moved to a place the pass had passed, so it comes in the next pass
    // (100 ms late, and kept at that lateness), throwing each time and staying in the list.
    EXPECT_EQ(log, (std::vector<Delivery>{{&a, 0}, {&c, 100}, {&c, 100}}));
    EXPECT_EQ(errors, (std::vector<std::string>{"handler failed", "handler failed"}));
}

TEST_F(FlashListTest, AFreedControlLeavesTheListAndASecondTimerStaysIdle) {
    auto* a = new Flashed(log);
    AddControl(a, 100);
    delete a; // without DelControl
    EXPECT_TRUE(FlashList().empty());
    Tick(100);

    std::vector<std::string> boxes;
    auto old = platform::SetMessageBoxHook([&](const std::string& text, const std::string& caption, int) {
        boxes.push_back(caption + ": " + text);
        return platform::IDOK;
    });
    {
        TAbFlashTimer second;
        EXPECT_EQ(TAbFlashTimer::InstanceCount(), 2);
        EXPECT_FALSE(second.OnTimer());
        EXPECT_EQ(FlashTimer(), FlashTimer()) << "the first stays the process's timer";
        EXPECT_NE(FlashTimer(), &second);
    }
    platform::SetMessageBoxHook(old);
    EXPECT_EQ(boxes, (std::vector<std::string>{
                         "Error Message: Only one TAbFlashTimer per Application!\rRemove it..."}));
}

TEST_F(FlashListTest, TheLoopServesTheListOnlyWhenSomethingIsDue) {
    SetFlashManualMode(false);
    Flashed a(log);
    AddControl(&a, 1000);
    platform::EventLoop::Get().RunFor(10000);
    ASSERT_EQ(log.size(), 10u);
    for (const Delivery& d : log)
        EXPECT_EQ(d.parameter, 0) << "the timer is armed for the due time, so nothing is late";
    uint32_t slots = FlashTimer()->TickCounter();
    DelControl(&a);
    platform::EventLoop::Get().RunFor(60000);
    // The pass armed before the list emptied comes (a second later, 62 slots on), then no more: a
    // timer still ticking every 16 ms would have counted 3750 slots.
    EXPECT_EQ(FlashTimer()->TickCounter() - slots, 62u) << "an empty list does not wake the loop";
}

} // namespace
