// The reading cycle: pass and round timing, the tick wrap, the watchdog, and Unload during a pass.
#include <gtest/gtest.h>

#include <functional>

#include "onewire/DS1820.h"
#include "station/StationNet.h"

using namespace station_test;

namespace {

// Runs `action` once, from the message loop, at the first chance inside a pass of the reading cycle
// (while the watchdog is armed): the way a menu command or a socket event arrives mid-pass.
class InsidePass : public platform::MessageTarget {
public:
    InsidePass(TMainForm& form, std::function<void()> action) : form_(form), action_(std::move(action)) {
        platform::PostMessage(Handle(), 1);
    }
    void Dispatch(platform::TMessage&) override {
        if (done) return;
        if (!form_.Chain.PassInProgress || !form_.ASR->Enabled()) {
            platform::PostMessage(Handle(), 1); // not yet: try again at the next turn
            return;
        }
        done = true;
        action_();
    }
    bool done = false;

private:
    TMainForm& form_;
    std::function<void()> action_;
};

} // namespace

class ReadingCycleTest : public StationNetTest {
protected:
    void SetUp() override {
        StationNetTest::SetUp();
        Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\nSampleInterval=2000\r\n");
        AddCounter(0x501);
    }
};

TEST_F(ReadingCycleTest, RoundsFollowTheSampleIntervalAndTheChainNeverDoubles) {
    StartStation();
    ASSERT_TRUE(SessionRunning);
    unsigned before = SampleCount;
    uint32_t start = platform::GetTickCount();
    for (int second = 0; second < 60; ++second) {
        Run(1000);
        ASSERT_LE(platform::EventLoop::Get().Pending(MsgReadCycle), 1u);
    }
    // A round when more than 2000 ms have passed, checked every 500-600 ms (a pass that reads takes a
    // little longer): about every 2.3 s.
    double seconds = platform::TicksElapsed(platform::GetTickCount(), start) / 1000.0;
    double perRound = seconds / (SampleCount - before);
    EXPECT_GT(perRound, 2.0);
    EXPECT_LT(perRound, 2.6);
}

TEST_F(ReadingCycleTest, ReadingsGoOnAcrossTheTickCounterWrap) {
    clock_->SetTick(0xFFFFFFFFu - 1500);
    StartStation();
    Run(5 * 60 * 1000);
    unsigned atFive = SampleCount;
    Run(5 * 60 * 1000);
    EXPECT_GT(atFive, 100u);
    EXPECT_GT(SampleCount - atFive, 100u);
    EXPECT_EQ(CountLog("No sampling for 5 minutes"), 0);
}

TEST_F(ReadingCycleTest, WatchdogRestartsAPassStuckInConversionsOnceAndOneChainGoesOn) {
    AddThermometer(0x2801);
    TMainForm& form = StartStation();
    Run(5000);
    ASSERT_EQ(SensorSet().DS1820Sensors.Count(), 1);
    InsidePass hang(form, [&] {
        // Six minutes inside the pass, in one thermometer conversion after the other: the watchdog
        // can only fire if a conversion keeps the loop going while it waits.
        uint32_t start = platform::GetTickCount();
        while (platform::TicksElapsed(platform::GetTickCount(), start) < 6 * 60 * 1000)
            SensorSet().DS1820Sensors[0]->Sample();
    });
    Run(7 * 60 * 1000);
    ASSERT_TRUE(hang.done);
    EXPECT_EQ(CountLog("No sampling for 5 minutes, sampling reinitiated..."), 1);
    unsigned before = SampleCount;
    uint32_t start = platform::GetTickCount();
    for (int second = 0; second < 30; ++second) {
        Run(1000);
        ASSERT_LE(platform::EventLoop::Get().Pending(MsgReadCycle), 1u);
    }
    double perRound =
        platform::TicksElapsed(platform::GetTickCount(), start) / 1000.0 / (SampleCount - before);
    EXPECT_GT(perRound, 2.0); // one chain at the normal pace, not two
    EXPECT_LT(perRound, 2.6);
}

TEST_F(ReadingCycleTest, UnloadChosenInsideAPassRunsWhenThePassEnds) {
    TMainForm& form = StartStation();
    Run(5000);
    InsidePass unload(form, [&] { form.Unload1->Click(); });
    Run(10000);
    ASSERT_TRUE(unload.done);
    EXPECT_TRUE(platform::Application->Terminated());
    EXPECT_EQ(CountLog("SERVER: All services down..."), 1);
    EXPECT_EQ(SensorSet().DS2423Sensors.Count(), 0); // freed only after the pass had finished with them
    platform::TIniFile sensors(Path("SENSORS.INI"));
    EXPECT_TRUE(sensors.SectionExists(sim::Rom::Make(0x1D, 0x501).Text()));
}

TEST_F(ReadingCycleTest, UnloadBetweenPassesEndsTheChainWithTheQueuedPass) {
    TMainForm& form = StartStation();
    Run(5000);
    ASSERT_EQ(platform::EventLoop::Get().Pending(MsgReadCycle), 1u);
    form.Unload1Click(nullptr);
    form.Unload1Click(nullptr); // a second click while the first one ran changes nothing
    unsigned rounds = SampleCount;
    Run(5000);
    EXPECT_TRUE(platform::Application->Terminated());
    EXPECT_EQ(SampleCount, rounds);
    EXPECT_EQ(CountLog("SERVER: Saving data..."), 1);
    EXPECT_EQ(platform::TIniFile(Path("korvane.ini")).ReadInteger("Weather", "TotalSamples", -1),
              static_cast<int>(rounds));
}
