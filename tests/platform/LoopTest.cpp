// The event loop of the window thread: posted messages, window lifetimes, timers on the simulated
// clock (also across the 32-bit tick wrap), descriptor watches and the application's exception hook.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <stdexcept>
#include <thread>
#include <utility>

#include "platform/EventLoop.h"
#include "platform/Exceptions.h"
#include "platform/Timer.h"
#include "platform/controls/Application.h"
#include "platform/winsock/Winsock.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace platform;

namespace {

constexpr uint32_t kMsgA = WM_USER + 1;
constexpr uint32_t kMsgB = WM_USER + 2;

// A window that records what it receives and can run a test's reaction to a message.
class RecordingWindow : public MessageTarget {
public:
    std::vector<std::pair<uint32_t, WPARAM>> received;
    std::function<void(TMessage&)> react;
    void Dispatch(TMessage& m) override {
        received.emplace_back(m.Msg, m.WParam);
        if (react) react(m);
    }
    std::vector<WPARAM> Params() const {
        std::vector<WPARAM> out;
        for (auto& r : received)
            out.push_back(r.second);
        return out;
    }
};

class LoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = Clock::Install(clock_);
        Loop().Reset();
    }
    void TearDown() override {
        Loop().Reset();
        Application->SetOnException(nullptr);
        Clock::Install(old_);
    }
    static EventLoop& Loop() { return EventLoop::Get(); }
    uint32_t Now() const { return clock_->TickCount(); }

    std::shared_ptr<SimulatedClock> clock_ = std::make_shared<SimulatedClock>();
    std::shared_ptr<Clock> old_;
};

TEST_F(LoopTest, MessagesArriveInPostingOrder) {
    RecordingWindow a, b;
    for (WPARAM i = 1; i <= 5; ++i)
        PostMessage(i % 2 ? a.Handle() : b.Handle(), kMsgA, i);
    EXPECT_EQ(Loop().Pending(), 5u);
    EXPECT_EQ(Loop().Pending(kMsgB), 0u);
    Loop().ProcessMessages();
    EXPECT_EQ(a.Params(), (std::vector<WPARAM>{1, 3, 5}));
    EXPECT_EQ(b.Params(), (std::vector<WPARAM>{2, 4}));
    EXPECT_EQ(Loop().Pending(), 0u);
}

TEST_F(LoopTest, ProcessMessagesHandlesOnlyWhatWasQueuedAtItsStart) {
    RecordingWindow w;
    w.react = [&](TMessage& m) {
        if (m.Msg == kMsgA) PostMessage(w.Handle(), kMsgA, m.WParam + 1); // the reading chain
    };
    PostMessage(w.Handle(), kMsgA, 0);
    Loop().ProcessMessages();
    EXPECT_EQ(w.received.size(), 1u);
    EXPECT_EQ(Loop().Pending(kMsgA), 1u);
}

TEST_F(LoopTest, NestedPumpingDoesNotStretchTheOuterSnapshot) {
    RecordingWindow w;
    w.react = [&](TMessage& m) {
        if (m.WParam == 1) {
            Loop().ProcessMessages(); // a sensor pumping while it waits
            PostMessage(w.Handle(), kMsgA, 3);
        }
    };
    PostMessage(w.Handle(), kMsgA, 1);
    PostMessage(w.Handle(), kMsgA, 2);
    Loop().ProcessMessages();
    EXPECT_EQ(w.Params(), (std::vector<WPARAM>{1, 2}));
    EXPECT_EQ(Loop().Pending(), 1u);
}

TEST_F(LoopTest, PostsToADestroyedWindowAreDroppedAndHandlesAreNotReused) {
    RecordingWindow keep;
    auto gone = std::make_unique<RecordingWindow>();
    HWND goneHandle = gone->Handle();
    PostMessage(goneHandle, kMsgA, 1);
    PostMessage(keep.Handle(), kMsgA, 2);
    gone.reset();
    EXPECT_FALSE(Loop().IsWindow(goneHandle));
    RecordingWindow next;
    EXPECT_NE(next.Handle(), goneHandle);
    PostMessage(goneHandle, kMsgA, 3);
    Loop().ProcessMessages();
    EXPECT_EQ(keep.Params(), (std::vector<WPARAM>{2}));
    EXPECT_TRUE(next.received.empty());
}

TEST_F(LoopTest, AHandlerMayDestroyTheWindowOfALaterMessage) {
    RecordingWindow first;
    auto second = std::make_unique<RecordingWindow>();
    first.react = [&](TMessage&) { second.reset(); };
    PostMessage(first.Handle(), kMsgA, 1);
    PostMessage(second->Handle(), kMsgA, 2);
    Loop().ProcessMessages(); // under ASan: no use of the freed window
    EXPECT_EQ(first.received.size(), 1u);
}

TEST_F(LoopTest, ExceptionsReachTheApplicationHandlerAndTheLoopGoesOn) {
    std::vector<std::string> reports;
    Application->SetOnException(
        [&](const std::exception& e) { reports.push_back(ExceptionClassName(e) + "/" + e.what()); });
    RecordingWindow w;
    w.react = [](TMessage& m) {
        if (m.WParam == 1) throw EConvertError("'x' is not a valid integer value");
        if (m.WParam == 2) throw std::out_of_range("index");
        if (m.WParam == 3) throw 42;
    };
    TTimer timer;
    timer.SetInterval(100);
    timer.OnTimer = [](TTimer*) { throw EInOutError("disk full"); };
    for (WPARAM i = 1; i <= 4; ++i)
        PostMessage(w.Handle(), kMsgA, i);
    Loop().RunFor(100);
    EXPECT_EQ(w.Params(), (std::vector<WPARAM>{1, 2, 3, 4}));
    EXPECT_EQ(reports, (std::vector<std::string>{"EConvertError/'x' is not a valid integer value",
                                                 "std::out_of_range/index", "Exception/Unknown exception",
                                                 "EInOutError/disk full"}));
}

TEST_F(LoopTest, RunReturnsAfterTerminate) {
    RecordingWindow w;
    w.react = [](TMessage& m) {
        if (m.WParam == 3) Application->Terminate();
    };
    TTimer poster;
    poster.SetInterval(250);
    WPARAM n = 0;
    poster.OnTimer = [&](TTimer*) { PostMessage(w.Handle(), kMsgA, ++n); };
    uint32_t start = Now();
    Application->Run();
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(w.Params(), (std::vector<WPARAM>{1, 2, 3}));
    EXPECT_EQ(TicksElapsed(Now(), start), 750u);
}

TEST_F(LoopTest, RunForAdvancesTheSimulatedClockExactly) {
    uint32_t start = Now();
    Loop().RunFor(12345); // nothing armed
    EXPECT_EQ(TicksElapsed(Now(), start), 12345u);
    TTimer timer;
    timer.SetInterval(300);
    int fired = 0;
    timer.OnTimer = [&](TTimer*) { ++fired; };
    start = Now();
    Loop().RunFor(1000);
    EXPECT_EQ(TicksElapsed(Now(), start), 1000u);
    EXPECT_EQ(fired, 3);
    Loop().RunFor(200); // due at the very end of the run
    EXPECT_EQ(fired, 4);
}

TEST_F(LoopTest, RunUntilStopsAtTheMomentTheConditionHolds) {
    RecordingWindow w;
    TTimer poster;
    poster.SetInterval(250);
    poster.OnTimer = [&](TTimer*) { PostMessage(w.Handle(), kMsgA, 0); };
    uint32_t start = Now();
    EXPECT_TRUE(Loop().RunUntil([&] { return w.received.size() == 2; }, 10000));
    EXPECT_EQ(TicksElapsed(Now(), start), 500u); // not on to the next timer
    EXPECT_FALSE(Loop().RunUntil([] { return false; }, 1000));
    EXPECT_EQ(TicksElapsed(Now(), start), 1500u);
    EXPECT_EQ(w.received.size(), 6u);
}

TEST_F(LoopTest, TimerEnableDisableAndSameValue) {
    TTimer timer;
    int fired = 0;
    timer.OnTimer = [&](TTimer*) { ++fired; };
    timer.SetInterval(1000); // the default: no restart
    Loop().RunFor(500);
    timer.SetEnabled(true); // already enabled: the interval keeps running
    Loop().RunFor(500);
    EXPECT_EQ(fired, 1);
    Loop().RunFor(300);
    timer.SetEnabled(false);
    Loop().RunFor(5000);
    EXPECT_EQ(fired, 1);
    timer.SetEnabled(true); // a fresh interval from now
    Loop().RunFor(999);
    EXPECT_EQ(fired, 1);
    Loop().RunFor(1);
    EXPECT_EQ(fired, 2);
    timer.SetInterval(400); // a running timer restarts with its new interval
    Loop().RunFor(399);
    EXPECT_EQ(fired, 2);
    Loop().RunFor(1);
    EXPECT_EQ(fired, 3);
}

TEST_F(LoopTest, OneShotTimerDisablesItselfInItsHandler) {
    TTimer start;
    start.SetEnabled(false);
    int fired = 0;
    start.OnTimer = [&](TTimer* t) {
        t->SetEnabled(false);
        ++fired;
    };
    start.SetEnabled(true);
    Loop().RunFor(10000);
    EXPECT_EQ(fired, 1);
}

TEST_F(LoopTest, OverdueTimerFiresOnceAndDisablingDropsTheDueTick) {
    TTimer timer;
    timer.SetInterval(100);
    int fired = 0;
    timer.OnTimer = [&](TTimer*) { ++fired; };
    clock_->Advance(5000); // the thread was busy and did not pump
    Loop().ProcessMessages();
    Loop().ProcessMessages();
    EXPECT_EQ(fired, 1);
    Loop().RunFor(100);
    EXPECT_EQ(fired, 2);
    clock_->Advance(5000);
    timer.SetEnabled(false);
    Loop().ProcessMessages();
    EXPECT_EQ(fired, 2);
}

TEST_F(LoopTest, TimerReArmedByAnotherHandlerStartsAFreshInterval) {
    TTimer pass, watchdog; // both due at once, the pass first
    pass.SetInterval(100);
    watchdog.SetInterval(100);
    int watchdogFired = 0;
    pass.OnTimer = [&](TTimer*) {
        watchdog.SetEnabled(false); // the pass re-arms the watchdog
        watchdog.SetEnabled(true);
    };
    watchdog.OnTimer = [&](TTimer*) { ++watchdogFired; };
    Loop().RunFor(1000);
    EXPECT_EQ(watchdogFired, 0);
}

TEST_F(LoopTest, TimersDueTogetherFireEarliestDueFirstThenInStartOrder) {
    std::vector<std::string> order;
    TTimer a, b, c, d;
    for (TTimer* t : {&a, &b, &c, &d})
        t->SetEnabled(false);
    a.OnTimer = [&](TTimer*) { order.push_back("a"); };
    b.OnTimer = [&](TTimer*) { order.push_back("b"); };
    c.OnTimer = [&](TTimer*) { order.push_back("c"); };
    d.OnTimer = [&](TTimer*) { order.push_back("d"); };
    a.SetInterval(300);
    b.SetInterval(100);
    c.SetInterval(100);
    d.SetInterval(200);
    for (TTimer* t : {&c, &a, &d, &b}) // started in this order, created in another
        t->SetEnabled(true);
    clock_->Advance(1000); // the thread was busy: all four are overdue at once
    Loop().ProcessMessages();
    EXPECT_EQ(order, (std::vector<std::string>{"c", "b", "d", "a"}));
    order.clear();
    Loop().RunFor(100); // each counts again from its firing: the 100 ms pair is next, in firing order
    EXPECT_EQ(order, (std::vector<std::string>{"c", "b"}));
}

TEST_F(LoopTest, AHugeTimeoutNeitherFiresEarlyNorOverflowsTheWait) {
    TTimer huge, small;
    int hugeFired = 0, smallFired = 0;
    huge.OnTimer = [&](TTimer*) { ++hugeFired; };
    small.OnTimer = [&](TTimer*) { ++smallFired; };
    huge.SetInterval(UINT32_MAX);
    small.SetInterval(1000);
    small.SetEnabled(false);
    Loop().RunFor(UINT32_MAX - 1);
    EXPECT_EQ(hugeFired, 0);
    small.SetEnabled(true); // timers started later still fire in order around the huge one
    Loop().RunFor(1000);
    EXPECT_EQ(smallFired, 1);
    EXPECT_EQ(hugeFired, 1);
    small.SetEnabled(false);

    // On the machine's clock the idle wait is clamped to what poll() accepts and stays finite.
    std::vector<int> timeouts;
    RealClock real;
    auto poll = [&](int ms) {
        timeouts.push_back(ms);
        return false;
    };
    real.IdleWait(UINT32_MAX - 1, poll);
    real.IdleWait(UINT32_MAX, poll);
    real.IdleWait(5, poll);
    EXPECT_EQ(timeouts, (std::vector<int>{INT_MAX, -1, 5}));
}

TEST_F(LoopTest, AWaitInsideAHandlerDispatchesWhatArrivesAndEndsAtItsDeadline) {
    RecordingWindow w, self;
    std::vector<uint32_t> ticksSeen;
    int deferred = 0;
    // A handler that cannot act yet re-posts itself, as the reading cycle does inside a pass.
    self.react = [&](TMessage&) {
        ++deferred;
        PostMessage(self.Handle(), kMsgB);
    };
    w.react = [&](TMessage& m) {
        ticksSeen.push_back(Now());
        if (m.WParam == 1) {
            PostMessage(w.Handle(), kMsgA, 2); // a completion posted by a handler: handled in the wait
            PostMessage(self.Handle(), kMsgB);
            Loop().RunFor(500);
        }
    };
    TTimer timer;
    timer.SetInterval(200);
    timer.OnTimer = [&](TTimer*) { PostMessage(w.Handle(), kMsgA, 3); };
    uint32_t start = Now();
    PostMessage(w.Handle(), kMsgA, 1);
    Loop().ProcessMessages();
    EXPECT_EQ(TicksElapsed(Now(), start), 500u); // the wait ended at its deadline
    EXPECT_EQ(w.Params(), (std::vector<WPARAM>{1, 2, 3, 3}));
    EXPECT_EQ(ticksSeen[1], start);
    EXPECT_EQ(TicksElapsed(ticksSeen[2], start), 200u);
    EXPECT_EQ(deferred, 1); // held back until the wait had returned
    EXPECT_EQ(Loop().Pending(kMsgB), 1u);
    Loop().ProcessMessages();
    EXPECT_EQ(deferred, 2);
}

// An object that releases itself from inside its own handler and then pumps.
class SelfReleasing : public MessageTarget {
public:
    SelfReleasing(int& destroyed, bool& aliveAfterPump) : destroyed_(destroyed), alive_(aliveAfterPump) {}
    ~SelfReleasing() override { ++destroyed_; }
    void Dispatch(TMessage&) override {
        ++dispatched;
        EventLoop::Get().ReleaseAtTurnEnd(std::unique_ptr<MessageTarget>(this));
        EventLoop::Get().RunFor(10); // a nested pump: its turns end while this handler still runs
        alive_ = destroyed_ == 0 && dispatched == 1;
    }
    int dispatched = 0;

private:
    int& destroyed_;
    bool& alive_;
};

TEST_F(LoopTest, AReleasedObjectOutlivesItsOwnHandlerAndNoMore) {
    int destroyed = 0;
    bool aliveAfterPump = false;
    auto* object = new SelfReleasing(destroyed, aliveAfterPump);
    HWND handle = object->Handle();
    PostMessage(handle, kMsgA);
    PostMessage(handle, kMsgA); // dropped in the nested pump: the window went with the release
    Loop().ProcessMessages();
    EXPECT_TRUE(aliveAfterPump);
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(Loop().IsWindow(handle));

    // Released by another window's handler inside a long wait: gone at the end of that wait's turn.
    int other = 0;
    bool unused = false;
    RecordingWindow releaser, waiter;
    int seenInWait = -1;
    releaser.react = [&](TMessage&) {
        Loop().ReleaseAtTurnEnd(std::make_unique<SelfReleasing>(other, unused));
    };
    waiter.react = [&](TMessage&) {
        PostMessage(releaser.Handle(), kMsgA);
        Loop().RunFor(100);
        seenInWait = other;
    };
    PostMessage(waiter.Handle(), kMsgA);
    Loop().ProcessMessages();
    EXPECT_EQ(seenInWait, 1);
}

// A window that makes itself anew, as a socket attached to the loop's thread again does.
class RenewingWindow : public RecordingWindow {
public:
    void Renew() { RenewHandle(); }
};

TEST_F(LoopTest, AMessageRepostedAroundAWindowMadeAnewArrivesThereOnceAfterTheWait) {
    // Re-posted (held back) before the window is made anew, or posted to the new window after: either
    // way the handler's own wait does not see it, and it arrives at the new window once.
    for (bool repostFirst : {true, false}) {
        SCOPED_TRACE(repostFirst ? "re-posted, then made anew" : "made anew, then re-posted");
        RenewingWindow w;
        const HWND first = w.Handle();
        int inWait = -1;
        bool done = false;
        w.react = [&](TMessage&) {
            if (std::exchange(done, true)) return;
            if (repostFirst) PostMessage(w.Handle(), kMsgA, 1);
            w.Renew();
            if (!repostFirst) PostMessage(w.Handle(), kMsgA, 1);
            Loop().RunFor(100);
            inWait = static_cast<int>(w.received.size());
        };
        PostMessage(first, kMsgA, 1);
        Loop().ProcessMessages();
        EXPECT_EQ(inWait, 1);
        EXPECT_NE(w.Handle(), first);
        EXPECT_FALSE(Loop().IsWindow(first));
        Loop().RunFor(100);
        EXPECT_EQ(w.Params(), (std::vector<WPARAM>{1, 1}));
    }
}

TEST_F(LoopTest, TimersKeepWorkingAcrossTheTickWrap) {
    clock_->SetTick(0xFFFFFFFFu - 1500);
    TTimer timer;
    timer.SetInterval(1000);
    int fired = 0;
    timer.OnTimer = [&](TTimer*) { ++fired; };
    TTimer late;
    late.SetInterval(1600); // armed before the wrap, due after it
    int lateFired = 0;
    late.OnTimer = [&](TTimer*) { ++lateFired; };
    Loop().RunFor(10000);
    EXPECT_LT(Now(), 10000u);
    EXPECT_EQ(fired, 10);
    EXPECT_EQ(lateFired, 6);
}

TEST_F(LoopTest, WatchedPipeDeliversReadinessAndMayUnwatchInItsCallback) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int calls = 0, otherCalls = 0, otherId = 0;
    int id = 0;
    id = Loop().WatchFd(fds[0], POLLIN, [&](short revents) {
        ++calls;
        EXPECT_TRUE(revents & POLLIN);
        char c;
        EXPECT_EQ(::read(fds[0], &c, 1), 1);
        Loop().UnwatchFd(id);
        Loop().UnwatchFd(otherId); // also ready in this poll: must not be called any more
    });
    otherId = Loop().WatchFd(fds[0], POLLIN, [&](short) { ++otherCalls; });
    Loop().ProcessMessages();
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(::write(fds[1], "xy", 2), 2);
    Loop().ProcessMessages();
    Loop().RunFor(100);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(otherCalls, 0);
    ::close(fds[0]);
    ::close(fds[1]);
}

// A handler pumping between pieces of its work: a look right after one that found nothing may be left
// out, but what became ready is heard at the next wait, and a pump of its own looks at once.
TEST_F(LoopTest, ANestedLookLeftOutRightAfterAnEmptyOneLosesNothing) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int heard = 0;
    uint32_t heardAt = 0;
    int id = Loop().WatchFd(fds[0], POLLIN, [&](short) {
        char c;
        heard += ::read(fds[0], &c, 1) == 1;
        heardAt = Now();
    });
    // A datagram to a socket of ours: what a handler sends through the socket layer is heard at its
    // next wait, though a wait nested in a handler may leave out a look right after an empty one.
    int listener = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    int datagrams = 0;
    int datagramWatch = Loop().WatchFd(listener, POLLIN, [&](short) {
        char c;
        datagrams += ::recv(listener, &c, 1, 0) == 1;
    });
    winsock::SOCKET sender = winsock::socket(AF_INET, SOCK_DGRAM, 0);
    RecordingWindow w;
    w.react = [&](TMessage&) {
        for (int wait = 0; wait < 3; ++wait) {
            Loop().ProcessMessages(); // finds nothing
            ASSERT_EQ(
                winsock::sendto(sender, "x", 1, 0, reinterpret_cast<sockaddr*>(&address), sizeof address), 1);
            Loop().ProcessMessages();
            Loop().RunFor(1);
            EXPECT_EQ(datagrams, wait + 1);
        }
        // A raw write is not told: the outermost pump's next look hears it at the latest.
        ASSERT_EQ(::write(fds[1], "x", 1), 1);
        Loop().RunFor(1);
    };
    PostMessage(w.Handle(), kMsgA, 0);
    Loop().RunFor(1);
    EXPECT_EQ(heard, 1);
    ASSERT_EQ(::write(fds[1], "y", 1), 1);
    Loop().ProcessMessages(); // not nested: looks
    EXPECT_EQ(heard, 2);
    Loop().UnwatchFd(datagramWatch);
    winsock::closesocket(sender);
    ::close(listener);
    // A turn of an outer pump that may wait can leave its look to the wait, which hears it before the
    // simulated clock moves on to the next timer.
    w.react = [&](TMessage&) { ASSERT_EQ(::write(fds[1], "z", 1), 1); };
    int timer = Loop().CreateTimer([] {});
    Loop().StartTimer(timer, 10);
    const uint32_t start = Now();
    PostMessage(w.Handle(), kMsgB, 0);
    Loop().RunFor(20);
    EXPECT_EQ(heard, 3);
    EXPECT_EQ(heardAt, start);
    Loop().DestroyTimer(timer);
    Loop().UnwatchFd(id);
    ::close(fds[0]);
    ::close(fds[1]);
}

// A descriptor number closed and given out again names another file: a watch on the new one hears
// only it, even while the old file lives on elsewhere and becomes ready; a watch changed to nothing
// hears nothing (and the loop does not spin on it), changed back it hears again.
TEST_F(LoopTest, WatchesFollowDescriptorsClosedReusedAndChanged) {
    int first[2], second[2];
    ASSERT_EQ(::pipe(first), 0);
    int oldCalls = 0;
    int oldId = Loop().WatchFd(first[0], POLLIN, [&](short) { ++oldCalls; });
    Loop().ProcessMessages();
    int kept = ::dup(first[0]); // the old file stays open under another number
    Loop().UnwatchFd(oldId, true);
    ::close(first[0]);
    ASSERT_EQ(::pipe(second), 0);
    ASSERT_EQ(second[0], first[0]); // the lowest free number again
    std::string got;
    int id = Loop().WatchFd(second[0], POLLIN, [&](short revents) {
        char c[8];
        ssize_t n = (revents & POLLIN) ? ::read(second[0], c, sizeof c) : 0;
        if (n > 0) got.append(c, static_cast<size_t>(n));
    });
    ASSERT_EQ(::write(first[1], "old", 3), 3);
    Loop().RunFor(100);
    ASSERT_EQ(::write(second[1], "new", 3), 3);
    Loop().RunFor(100);
    EXPECT_EQ(oldCalls, 0);
    EXPECT_EQ(got, "new");

    Loop().ChangeFdEvents(id, 0);
    ASSERT_EQ(::write(second[1], "x", 1), 1);
    Loop().RunFor(60000); // returns: a level-triggered wait on it would never let the time pass
    EXPECT_EQ(got, "new");
    Loop().ChangeFdEvents(id, POLLIN);
    Loop().ProcessMessages();
    EXPECT_EQ(got, "newx");
    Loop().UnwatchFd(id);
    for (int fd : {kept, first[1], second[0], second[1]})
        ::close(fd);
}

// Watches on one descriptor each hear what they asked for; a regular file (which epoll refuses) is
// always ready, as poll() has it.
TEST_F(LoopTest, WatchesOnOneDescriptorAndOnAFileHearWhatTheyAskedFor) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    std::vector<short> reading, writing;
    int readId = Loop().WatchFd(pair[0], POLLIN, [&](short r) { reading.push_back(r); });
    int writeId = Loop().WatchFd(pair[0], POLLOUT, [&](short r) { writing.push_back(r); });
    Loop().ProcessMessages();
    EXPECT_TRUE(reading.empty());
    EXPECT_EQ(writing, (std::vector<short>{POLLOUT}));
    Loop().UnwatchFd(writeId);
    ASSERT_EQ(::write(pair[1], "a", 1), 1);
    Loop().ProcessMessages();
    EXPECT_EQ(reading, (std::vector<short>{POLLIN}));
    EXPECT_EQ(writing.size(), 1u);
    Loop().UnwatchFd(readId);

    int file = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file, 0);
    int fileCalls = 0;
    int fileId = Loop().WatchFd(file, POLLIN, [&](short r) { fileCalls += (r & POLLIN) != 0; });
    Loop().ProcessMessages();
    Loop().ProcessMessages();
    EXPECT_EQ(fileCalls, 2);
    Loop().UnwatchFd(fileId);
    Loop().ProcessMessages();
    EXPECT_EQ(fileCalls, 2);
    for (int fd : {pair[0], pair[1], file})
        ::close(fd);
}

// A child made by fork() that runs its loop and drops the watches it inherited leaves the parent's
// loop hearing its own descriptors as before.
TEST_F(LoopTest, AForkedChildsLoopLeavesTheParentsWatchesAlone) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int calls = 0;
    int id = Loop().WatchFd(fds[0], POLLIN, [&](short) {
        char c;
        calls += ::read(fds[0], &c, 1) == 1;
    });
    Loop().ProcessMessages();
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int own[2];
        bool ok = ::pipe(own) == 0;
        Loop().UnwatchFd(id);
        bool heard = false;
        int ownId = Loop().WatchFd(own[0], POLLIN, [&](short) {
            char c;
            heard = ::read(own[0], &c, 1) == 1;
        });
        ok = ok && ::write(own[1], "c", 1) == 1;
        Loop().RunFor(100);
        Loop().UnwatchFd(ownId);
        ::_exit(ok && heard ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(::write(fds[1], "p", 1), 1);
    Loop().RunFor(100);
    EXPECT_EQ(calls, 1);
    Loop().UnwatchFd(id);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST_F(LoopTest, CrossThreadPostWakesALoopBlockedInPoll) {
    auto real = Clock::Install(std::make_shared<RealClock>());
    RecordingWindow w;
    std::atomic<bool> started{false};
    std::thread poster([&] {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // let the loop block first
        PostMessage(w.Handle(), kMsgB, 7);
    });
    while (!started)
        std::this_thread::yield();
    auto t0 = std::chrono::steady_clock::now();
    bool got = Loop().RunUntil([&] { return !w.received.empty(); }, 10000);
    auto waited = std::chrono::steady_clock::now() - t0;
    poster.join();
    Clock::Install(real);
    EXPECT_TRUE(got);
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_EQ(w.Params(), (std::vector<WPARAM>{7}));
}

} // namespace
