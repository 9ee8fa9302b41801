// The timer component: window-timer ticks on the simulated clock; thread ticks in real time, posted to
// the window thread or run on the timer thread; switching modes; errors; and destruction while the
// thread ticks or waits in Synchronize (the suite runs under AddressSanitizer).
#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "extra/RxTimer.h"
#include "platform/controls/Application.h"
#include "platform/Exceptions.h"
#include "platform/FileProblems.h"
#include "platform/ThreadPriority.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace extra;
using platform::EventLoop;

namespace {

// Counts every Timer() call, with or without a handler.
class CountingTimer : public TRxTimer {
public:
    using TRxTimer::TRxTimer;
    ~CountingTimer() override { SetEnabled(false); }
    std::atomic<int> calls{0};

protected:
    void Timer() override {
        ++calls;
        TRxTimer::Timer();
    }
};

class RxTimerTest : public ::testing::Test {
protected:
    void SetUp() override { Loop().Reset(); }
    void TearDown() override {
        Loop().Reset();
        platform::Application->SetOnException(nullptr);
    }
    static EventLoop& Loop() { return EventLoop::Get(); }
    // Real time, pumping: the ticks come from another thread, posted or not.
    static bool PumpUntil(const std::function<bool()>& done) {
        for (int ms = 0; ms < 5000; ++ms) {
            Loop().ProcessMessages();
            if (done()) return true;
            WaitReal(1);
        }
        return false;
    }
    static void WaitReal(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    std::thread::id main_ = std::this_thread::get_id();
};

TEST_F(RxTimerTest, WindowTimerTicksOnTheSimulatedClock) {
    testsupport::SimulatedClockScope clock;
    TRxTimer timer;
    std::vector<uint32_t> at;
    timer.SetThreaded(false);
    timer.SetInterval(100);
    timer.SetOnTimer([&](platform::TComponent* sender) {
        EXPECT_EQ(sender, &timer);
        at.push_back(clock->TickCount());
    });
    uint32_t start = clock->TickCount();
    Loop().RunFor(1000);
    ASSERT_EQ(at.size(), 10u);
    EXPECT_EQ(at.front() - start, 100u);
    timer.SetInterval(250);
    Loop().RunFor(1000);
    EXPECT_EQ(at.size(), 14u);
}

TEST_F(RxTimerTest, NoTicksWithoutIntervalEnablingOrHandlerInEitherMode) {
    for (bool threaded : {false, true}) {
        for (int variant = 0; variant < 3; ++variant) {
            SCOPED_TRACE((threaded ? "threaded, variant " : "window, variant ") + std::to_string(variant));
            CountingTimer timer;
            timer.SetThreaded(threaded);
            timer.SetInterval(variant == 0 ? 0 : 5);
            timer.SetEnabled(variant != 1);
            if (variant != 2) timer.SetOnTimer([](platform::TComponent*) {});
            Loop().RunFor(60);
            EXPECT_EQ(timer.calls, 0);
        }
    }
}

TEST_F(RxTimerTest, SynchronisedThreadTicksArriveOnTheWindowThreadOneAtATime) {
    TRxTimer timer;
    timer.SetInterval(5);
    std::vector<std::thread::id> on;
    timer.SetOnTimer([&](platform::TComponent*) { on.push_back(std::this_thread::get_id()); });
    ASSERT_TRUE(PumpUntil([&] { return on.size() >= 3; }));
    for (auto id : on)
        EXPECT_EQ(id, main_);
    WaitReal(60); // the window thread is busy: ticks do not pile up
    EXPECT_LE(Loop().Pending(), 1u);
}

TEST_F(RxTimerTest, UnsynchronisedTicksRunOnTheTimerThreadAndReportErrorsOnTheWindowThread) {
    TRxTimer timer;
    timer.SetSyncEvent(false);
    timer.SetInterval(5);
    std::atomic<int> ticks{0};
    std::atomic<bool> offMain{true};
    std::vector<std::string> reported;
    platform::Application->SetOnException([&](const std::exception& e) {
        EXPECT_EQ(std::this_thread::get_id(), main_);
        reported.push_back(e.what());
    });
    timer.SetOnTimer([&](platform::TComponent*) {
        if (std::this_thread::get_id() == main_) offMain = false;
        int n = ++ticks;
        if (n == 2) throw platform::EAbort("quiet");
        if (n == 3) throw std::runtime_error("tick 3");
    });
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 5 && !reported.empty(); }));
    EXPECT_TRUE(offMain);
    EXPECT_EQ(reported, std::vector<std::string>{"tick 3"});
}

TEST_F(RxTimerTest, WindowModeErrorsGoToTheApplicationAndTheTicksGoOn) {
    testsupport::SimulatedClockScope clock;
    TRxTimer timer;
    timer.SetThreaded(false);
    timer.SetInterval(100);
    int ticks = 0;
    std::vector<std::string> reported;
    platform::Application->SetOnException([&](const std::exception& e) { reported.push_back(e.what()); });
    timer.SetOnTimer([&](platform::TComponent*) {
        if (++ticks % 2) throw std::runtime_error("odd");
        throw platform::EAbort("even");
    });
    Loop().RunFor(400);
    EXPECT_EQ(ticks, 4);
    EXPECT_EQ(reported, (std::vector<std::string>{"odd", "odd"}));
}

TEST_F(RxTimerTest, SwitchingToTheWindowTimerLeavesNoGapLongerThanOneInterval) {
    testsupport::SimulatedClockScope clock;
    TRxTimer timer;
    timer.SetInterval(20);
    std::vector<uint32_t> at;
    timer.SetOnTimer([&](platform::TComponent*) { at.push_back(clock->TickCount()); });
    // The thread's ticks come in real time; the simulated clock stands still meanwhile.
    for (int turn = 0; turn < 1000 && at.size() < 3; ++turn)
        Loop().Turn(true);
    ASSERT_GE(at.size(), 3u);
    WaitReal(50); // a thread tick waits in the queue
    uint32_t switched = clock->TickCount();
    size_t before = at.size();
    timer.SetThreaded(false);
    Loop().RunFor(100);
    ASSERT_EQ(at.size(), before + 5); // the queued thread tick was dropped
    EXPECT_EQ(at[before] - switched, 20u);
}

TEST_F(RxTimerTest, DestroyingWhileTheThreadTicksStopsItFirst) {
    for (bool sync : {false, true}) {
        for (int round = 0; round < 10; ++round) {
            std::atomic<int> ticks{0};
            auto* timer = new TRxTimer;
            timer->SetSyncEvent(sync);
            timer->SetInterval(1);
            timer->SetOnTimer([&](platform::TComponent* sender) {
                ++ticks;
                if (!sync) WaitReal(3); // the timer is freed meanwhile: its destructor must wait
                EXPECT_EQ(static_cast<TRxTimer*>(sender)->Interval(), 1u);
            });
            ASSERT_TRUE(PumpUntil([&] { return ticks >= 2; }));
            WaitReal(round % 3); // mid-tick, or with a tick queued
            delete timer;
            int after = ticks;
            Loop().RunFor(10);
            EXPECT_EQ(ticks, after);
        }
    }
}

TEST_F(RxTimerTest, ASynchronisedHandlerMayFreeItsOwnTimer) {
    for (bool threaded : {true, false}) {
        bool freed = false;
        auto* timer = new TRxTimer;
        timer->SetThreaded(threaded);
        timer->SetInterval(2);
        timer->SetOnTimer([&](platform::TComponent* sender) {
            ASSERT_FALSE(freed);
            freed = true;
            delete sender;
        });
        ASSERT_TRUE(PumpUntil([&] { return freed; }));
        Loop().RunFor(20);
    }
}

TEST_F(RxTimerTest, SynchronizeRunsOnTheWindowThreadAndIsCancelledByDestruction) {
    auto* timer = new TRxTimer;
    timer->SetSyncEvent(false);
    timer->SetInterval(2);
    std::atomic<int> synced{0};
    std::atomic<bool> waiting{false};
    timer->SetOnTimer([&](platform::TComponent* sender) {
        auto* self = static_cast<TRxTimer*>(sender);
        if (synced < 2) {
            self->Synchronize([&] {
                EXPECT_EQ(std::this_thread::get_id(), main_);
                ++synced;
            });
            return;
        }
        waiting = true;
        self->Synchronize([&] { ADD_FAILURE() << "ran after its timer was freed"; });
    });
    ASSERT_TRUE(PumpUntil([&] { return synced >= 2; }));
    int ran = 0;
    timer->Synchronize([&] { ++ran; }); // on the window thread: at once
    EXPECT_EQ(ran, 1);
    // The handler now waits for the window thread, which does not pump but frees the timer.
    for (int i = 0; i < 2000 && !(waiting && Loop().Pending() > 0); ++i)
        WaitReal(1);
    ASSERT_TRUE(waiting);
    delete timer;
    Loop().ProcessMessages();
}

// The calling thread without the privilege to raise a priority, as an ordinary user has it: no
// CAP_SYS_NICE in its effective set (capabilities belong to a thread) and a nice limit of 0 for the
// process. Both come back afterwards.
class OrdinaryUserScope {
public:
    OrdinaryUserScope() {
        getrlimit(RLIMIT_NICE, &savedLimit_);
        rlimit none = savedLimit_;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_NICE, &none);
        syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
        syscall(SYS_capset, &header_, reduced);
    }
    ~OrdinaryUserScope() {
        syscall(SYS_capset, &header_, saved_);
        setrlimit(RLIMIT_NICE, &savedLimit_);
    }

private:
    rlimit savedLimit_{};
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

TEST_F(RxTimerTest, TheThreadTakesALowerPriorityAndARefusedRaiseIsToldOnce) {
    OrdinaryUserScope ordinaryUser;
    std::vector<std::string> told;
    platform::SetProblemReporter([&](const std::string& text) { told.push_back(text); });
    platform::ForgetThreadPriorityRefusal();
    auto niceOf = [](int tid) { return getpriority(PRIO_PROCESS, static_cast<id_t>(tid)); };
    const int lowest = std::min(niceOf(getpid()) + 10, 19);
    std::atomic<int> nice{-100};
    std::atomic<int> policy{-1};
    TRxTimer timer;
    timer.SetSyncEvent(false);
    timer.SetInterval(2);
    timer.SetThreadPriority(tpLowest);
    timer.SetOnTimer([&](platform::TComponent*) {
        nice = niceOf(platform::CurrentThreadId());
        policy = sched_getscheduler(0);
    });
    EXPECT_TRUE(PumpUntil([&] { return nice == lowest; })) << nice;
    EXPECT_TRUE(told.empty());
    // Back up to normal, or higher: refused and told once; the thread keeps the lower priority.
    timer.SetThreadPriority(tpNormal);
    timer.SetThreadPriority(tpHigher);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].rfind("Thread priority tpNormal not applied: ", 0), 0u) << told[0];
    nice = -100;
    EXPECT_TRUE(PumpUntil([&] { return nice != -100; }));
    EXPECT_EQ(nice, lowest);
    timer.SetThreadPriority(tpIdle);
    policy = -1;
    EXPECT_TRUE(PumpUntil([&] { return policy == SCHED_IDLE; })) << policy;
    EXPECT_EQ(told.size(), 1u);
    timer.SetEnabled(false);
    platform::SetProblemReporter(nullptr);
    platform::ForgetThreadPriorityRefusal();
}

} // namespace
