#include "platform/EventLoop.h"

#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>

#include "platform/Clock.h"
#include "platform/Exceptions.h"

namespace platform {

namespace {
// The machine's own monotonic time, not the station's clock: it spaces system calls, not events. The
// coarse clock costs a few nanoseconds; its steps of a few milliseconds are fine for that.
int64_t MachineNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}
} // namespace

MessageTarget::MessageTarget() : handle_(EventLoop::Get().Register(this)) {}
MessageTarget::~MessageTarget() {
    EventLoop::Get().Unregister(handle_);
}

void MessageTarget::RenewHandle() {
    handle_ = EventLoop::Get().Rehome(handle_);
}

EventLoop& EventLoop::Get() {
    static EventLoop loop;
    return loop;
}

namespace {
// Set in a child made by fork(): it shares the parent's epoll set and wake counter, which its loop must
// neither change nor drain.
bool forkedChild = false;
} // namespace

EventLoop::EventLoop() : loopThread_(std::this_thread::get_id()) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    RebuildWatchSet();
    ::pthread_atfork(nullptr, nullptr, [] { forkedChild = true; });
}

EventLoop::~EventLoop() {
    if (epollFd_ >= 0) ::close(epollFd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

// ---- pumps ----

class EventLoop::PumpScope {
public:
    explicit PumpScope(EventLoop& loop) : loop_(loop), level_(++loop.pumpLevel_) { loop.quiet_ = false; }
    ~PumpScope() { loop_.EndPump(level_); }
    PumpScope(const PumpScope&) = delete;
    PumpScope& operator=(const PumpScope&) = delete;

private:
    EventLoop& loop_;
    int level_;
};

void EventLoop::EndPump(int level) {
    quiet_ = false; // the caller's code runs next
    ReleaseHeld(level);
    DestroyReleased(false);
    --pumpLevel_;
}

void EventLoop::ReleaseHeld(int level) {
    if (held_.empty()) return; // only the loop's own thread holds messages back
    std::lock_guard lock(queueMutex_);
    std::vector<Posted> keep;
    for (Posted& p : held_) {
        if (p.heldBy < level) {
            keep.push_back(p);
            continue;
        }
        p.heldBy = 0;
        p.sequence = nextSequence_++;
        queue_.push_back(p);
    }
    held_ = std::move(keep);
    queued_.store(queue_.size(), std::memory_order_release);
}

void EventLoop::ReleaseAtTurnEnd(std::unique_ptr<MessageTarget> object) {
    if (!object) return;
    HWND handle = object->Handle();
    Unregister(handle);
    released_.emplace_back(handle, std::move(object));
}

EventLoop::BusyWindow::BusyWindow(HWND window) {
    EventLoop::Get().busyWindows_.push_back(window);
}

EventLoop::BusyWindow::~BusyWindow() {
    EventLoop::Get().busyWindows_.pop_back();
}

void EventLoop::DestroyReleased(bool all) {
    if (!all && opaqueCallbacks_ > 0) return; // a callback of unknown owner may be using anything
    // A destructor may release further objects.
    for (bool progress = true; progress && !released_.empty();) {
        std::vector<std::pair<HWND, std::unique_ptr<MessageTarget>>> batch;
        batch.swap(released_);
        progress = false;
        for (auto& [handle, object] : batch) {
            if (!all && std::find(busyWindows_.begin(), busyWindows_.end(), handle) != busyWindows_.end()) {
                released_.emplace_back(handle, std::move(object)); // its code is still running
                continue;
            }
            progress = true;
            quiet_ = false;
            Guarded([&] { object.reset(); });
        }
    }
}

// ---- windows and messages ----

HWND EventLoop::Register(MessageTarget* target) {
    HWND handle = nextHandle_++;
    windows_[handle] = target;
    return handle;
}

void EventLoop::Unregister(HWND handle) {
    windows_.erase(handle);
}

HWND EventLoop::Rehome(HWND old) {
    auto it = windows_.find(old);
    if (it == windows_.end()) return old;
    HWND fresh = Register(it->second);
    {
        std::lock_guard lock(queueMutex_);
        for (Posted& p : queue_)
            if (p.window == old) p.window = fresh;
        for (Posted& p : held_)
            if (p.window == old) p.window = fresh;
    }
    // Code of the object that is on the stack keeps it alive under its new handle too, and what its
    // handlers post again to the new handle is held back as a re-post.
    std::replace(busyWindows_.begin(), busyWindows_.end(), old, fresh);
    for (Posted* p : dispatched_)
        if (p->window == old) p->window = fresh;
    Unregister(old);
    return fresh;
}

bool EventLoop::IsRepost(HWND window, const TMessage& message) const {
    const Posted* current = dispatching_;
    return current != nullptr && current->window == window && current->message.Msg == message.Msg &&
           current->message.WParam == message.WParam && current->message.LParam == message.LParam;
}

void EventLoop::Post(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam) {
    bool loopThread = std::this_thread::get_id() == loopThread_;
    TMessage message{msg, wParam, lParam, 0};
    {
        std::lock_guard lock(queueMutex_);
        if (loopThread && IsRepost(window, message))
            held_.push_back(Posted{window, message, 0, pumpLevel_});
        else
            queue_.push_back(Posted{window, message, nextSequence_++, 0});
        queued_.store(queue_.size(), std::memory_order_release);
    }
    // Only another thread can find the loop blocked in poll(); a post from a handler is seen before
    // the loop waits again.
    if (!loopThread) Wake();
}

size_t EventLoop::Pending(uint32_t msg) const {
    std::lock_guard lock(queueMutex_);
    if (msg == 0) return queue_.size() + held_.size();
    size_t n = 0;
    for (const auto& p : queue_)
        if (p.message.Msg == msg) ++n;
    for (const auto& p : held_)
        if (p.message.Msg == msg) ++n;
    return n;
}

size_t EventLoop::RemovePosted(HWND window, uint32_t msg, WPARAM wParam) {
    std::lock_guard lock(queueMutex_);
    size_t before = queue_.size() + held_.size();
    auto match = [&](const Posted& p) {
        return p.window == window && p.message.Msg == msg && p.message.WParam == wParam;
    };
    std::erase_if(queue_, match);
    std::erase_if(held_, match);
    queued_.store(queue_.size(), std::memory_order_release);
    return before - queue_.size() - held_.size();
}

void EventLoop::Wake() {
    if (wakeFd_ < 0) return;
    uint64_t one = 1;
    ssize_t r = ::write(wakeFd_, &one, sizeof one);
    (void)r;
}

void EventLoop::HandleException(std::exception_ptr error) {
    if (exceptionHandler_) {
        try {
            exceptionHandler_(error);
            return;
        } catch (...) {
            // The handler itself failed: fall through to the plain report.
        }
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", ExceptionClassName(e).c_str(), e.what());
    } catch (...) {
        std::fprintf(stderr, "unknown exception\n");
    }
}

template <class F> void EventLoop::Guarded(F&& f) {
    try {
        f();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

uint64_t EventLoop::QueueEnd() const {
    return nextSequence_.load(std::memory_order_relaxed);
}

bool EventLoop::QueueEmpty() const {
    // Without the lock: a message another thread posts meanwhile also wakes the loop.
    return queued_.load(std::memory_order_acquire) == 0;
}

bool EventLoop::DispatchQueued(uint64_t end) {
    // By sequence rather than by count: a handler that pumps (a nested turn) or drops messages must not
    // let this phase run on into messages posted after it began.
    bool any = false;
    while (!QueueEmpty()) {
        Posted next;
        {
            std::lock_guard lock(queueMutex_);
            if (queue_.empty() || queue_.front().sequence >= end) return any;
            next = queue_.front();
            queue_.pop_front();
            queued_.store(queue_.size(), std::memory_order_release);
        }
        any = true;
        auto it = windows_.find(next.window);
        if (it == windows_.end()) continue; // the window is gone
        quiet_ = false;
        MessageTarget* target = it->second;
        const Posted* outer = dispatching_;
        dispatching_ = &next;
        dispatched_.push_back(&next);
        busyWindows_.push_back(next.window);
        Guarded([&] {
            if (messageFilter_ && messageFilter_(next.window, next.message)) return;
            // The filter may have closed the window.
            if (windows_.count(next.window)) target->Dispatch(next.message);
        });
        busyWindows_.pop_back();
        dispatched_.pop_back();
        dispatching_ = outer;
    }
    return any;
}

// ---- timers ----

uint64_t EventLoop::LoopTime() {
    uint32_t tick = Clock::Get().TickCount();
    if (tickSeen_) loopTime_ += TicksElapsed(tick, lastTick_);
    lastTick_ = tick;
    tickSeen_ = true;
    return loopTime_;
}

bool EventLoop::Earlier(const Timer* a, const Timer* b) const {
    return a->due != b->due ? a->due < b->due : a->order < b->order;
}

void EventLoop::HeapPlace(size_t slot, Timer* timer) {
    heap_[slot] = timer;
    timer->slot = slot;
}

void EventLoop::SiftUp(size_t slot) {
    Timer* timer = heap_[slot];
    while (slot > 0) {
        size_t parent = (slot - 1) / 2;
        if (!Earlier(timer, heap_[parent])) break;
        HeapPlace(slot, heap_[parent]);
        slot = parent;
    }
    HeapPlace(slot, timer);
}

void EventLoop::SiftDown(size_t slot) {
    Timer* timer = heap_[slot];
    for (;;) {
        size_t child = 2 * slot + 1;
        if (child >= heap_.size()) break;
        if (child + 1 < heap_.size() && Earlier(heap_[child + 1], heap_[child])) ++child;
        if (!Earlier(heap_[child], timer)) break;
        HeapPlace(slot, heap_[child]);
        slot = child;
    }
    HeapPlace(slot, timer);
}

void EventLoop::HeapPush(Timer* timer) {
    heap_.push_back(timer);
    timer->slot = heap_.size() - 1;
    SiftUp(timer->slot);
}

void EventLoop::HeapRemove(Timer* timer) {
    size_t slot = timer->slot;
    if (slot == Timer::kNotQueued) return;
    timer->slot = Timer::kNotQueued;
    Timer* last = heap_.back();
    heap_.pop_back();
    if (last == timer) return;
    HeapPlace(slot, last);
    SiftDown(slot);
    SiftUp(last->slot);
}

int EventLoop::CreateTimer(TimerCallback callback) {
    int id = nextTimer_++;
    timers_[id].callback = std::move(callback);
    return id;
}

void EventLoop::StartTimer(int id, uint32_t intervalMs) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Timer& timer = it->second;
    HeapRemove(&timer);
    timer.interval = intervalMs;
    if (intervalMs == 0) return;
    timer.due = LoopTime() + intervalMs;
    timer.order = nextOrder_++;
    HeapPush(&timer);
}

void EventLoop::StopTimer(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) HeapRemove(&it->second);
}

void EventLoop::DestroyTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    HeapRemove(&it->second);
    timers_.erase(it);
}

bool EventLoop::FireDueTimers() {
    // Only what was due when the phase began: a timer that falls due while handlers run (one of them
    // slept on the clock) waits for the next turn, so the phase always ends.
    uint64_t now = LoopTime();
    bool fired = false;
    while (!heap_.empty() && heap_.front()->due <= now) {
        Timer* timer = heap_.front();
        // The next interval counts from this firing: an overdue timer fires once, not in a burst.
        timer->due = LoopTime() + timer->interval;
        timer->order = nextOrder_++;
        SiftDown(0);
        fired = true;
        quiet_ = false;
        TimerCallback callback = timer->callback; // the handler may destroy the timer
        ++opaqueCallbacks_;
        Guarded([&] { callback(); });
        --opaqueCallbacks_;
    }
    return fired;
}

uint32_t EventLoop::NextTimerDelay() {
    if (heap_.empty()) return UINT32_MAX;
    uint64_t now = LoopTime();
    uint64_t due = heap_.front()->due;
    if (due <= now) return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(due - now, UINT32_MAX - 1));
}

// ---- descriptors ----

int EventLoop::WatchFd(int fd, short events, FdCallback callback) {
    int id = nextWatch_++;
    watches_[id] = Watch{fd, events, std::move(callback)};
    watchesOfFd_[fd].push_back(id);
    MarkFd(fd, true); // the number may name another file than when it was last watched
    quiet_ = false;
    emptyPollNs_ = -1;
    return id;
}

void EventLoop::ChangeFdEvents(int watchId, short events) {
    auto it = watches_.find(watchId);
    if (it == watches_.end() || it->second.events == events) return;
    it->second.events = events;
    MarkFd(it->second.fd, false);
    quiet_ = false;
    emptyPollNs_ = -1;
}

void EventLoop::UnwatchFd(int watchId, bool closing) {
    auto it = watches_.find(watchId);
    if (it == watches_.end()) return;
    int fd = it->second.fd;
    watches_.erase(it);
    quiet_ = false;
    emptyPollNs_ = -1;
    bool watchedStill = false;
    if (auto ofFd = watchesOfFd_.find(fd); ofFd != watchesOfFd_.end()) {
        std::erase(ofFd->second, watchId);
        watchedStill = !ofFd->second.empty();
        if (!watchedStill) watchesOfFd_.erase(ofFd);
    }
    if (closing && !watchedStill) { // the close takes it out of the kernel's set
        registered_.erase(fd);
        changedFds_.erase(fd);
        std::erase(unpollable_, fd);
        return;
    }
    MarkFd(fd, false);
}

short EventLoop::WantedOf(int fd) const {
    short wanted = 0;
    if (auto ofFd = watchesOfFd_.find(fd); ofFd != watchesOfFd_.end())
        for (int id : ofFd->second)
            wanted = static_cast<short>(wanted | watches_.at(id).events);
    return wanted;
}

void EventLoop::MarkFd(int fd, bool fresh) {
    bool& made = changedFds_[fd];
    made = made || fresh;
}

void EventLoop::RebuildWatchSet() {
    if (epollFd_ >= 0) ::close(epollFd_);
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    registered_.clear();
    unpollable_.clear();
    changedFds_.clear();
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.u64 = static_cast<uint32_t>(wakeFd_); // tag 0: the wake descriptor
    if (wakeFd_ >= 0 && ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &wake) != 0)
        unpollable_.push_back(wakeFd_);
    for (const auto& [id, watch] : watches_)
        MarkFd(watch.fd, true);
}

void EventLoop::SyncWatches() {
    while (!changedFds_.empty()) {
        auto [fd, fresh] = *changedFds_.begin();
        changedFds_.erase(changedFds_.begin());
        RegisterFd(fd, static_cast<uint16_t>(WantedOf(fd)), fresh);
    }
}

void EventLoop::RegisterFd(int fd, uint32_t events, bool fresh) {
    std::erase(unpollable_, fd);
    auto it = registered_.find(fd);
    if (events == 0) { // watched for nothing: poll() would not look at it either
        if (it != registered_.end()) {
            ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
            registered_.erase(it);
        }
        return;
    }
    if (!fresh && it != registered_.end() && it->second.events == events) return;
    if (++nextTag_ == 0) nextTag_ = 1;
    epoll_event event{};
    event.events = events;
    event.data.u64 = (uint64_t{nextTag_} << 32) | static_cast<uint32_t>(fd);
    int op = !fresh && it != registered_.end() ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    int result = ::epoll_ctl(epollFd_, op, fd, &event);
    if (result != 0 && op == EPOLL_CTL_ADD && errno == EEXIST)
        result = ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &event);
    else if (result != 0 && op == EPOLL_CTL_MOD && errno == ENOENT)
        result = ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event);
    if (result == 0) {
        registered_[fd] = Registered{events, nextTag_};
        return;
    }
    // A regular file, or a descriptor closed already: poll() takes it (and reports what it reports).
    registered_.erase(fd);
    unpollable_.push_back(fd);
}

bool EventLoop::Look(bool mayWait) {
    // A handler that pumps between pieces of its work (a sensor pass) looks many times a millisecond.
    // Right after a poll that found nothing, only another thread or process, or the handler's own
    // writes, can have made something ready: the next wait sees it, or a look a moment later. On a
    // simulated clock every wait looks before the clock moves, so a turn of a pump that may wait can
    // leave the look to that wait at every level (there a busy station turns many times a
    // millisecond); a pump that never waits looks itself.
    if (SpacedLooks(mayWait) && emptyPollNs_ >= 0 && MachineNs() - emptyPollNs_ < kLookSpacingNs)
        return false;
    return PollFds(0);
}

bool EventLoop::SpacedLooks(bool mayWait) const {
    return pumpLevel_ > 1 || (mayWait && Clock::Get().IsSimulated());
}

bool EventLoop::WaitLook() {
    // A sensor pass waits on the chips many times a simulated second, which a simulated clock passes
    // through thousands of times a real second. Right after a look that found nothing, what can have
    // made a descriptor ready since is the handler's own socket calls, which are told (the look is then
    // made), or another thread or process: that is heard a moment of machine time, or at most
    // kWaitLookSpacingMs of simulated time, later, and at the next wait of the outermost pump.
    if (pumpLevel_ > 1 && emptyPollNs_ >= 0 && Clock::Get().IsSimulated() &&
        socketCalls_.load(std::memory_order_relaxed) == emptyPollSocketCalls_ &&
        LoopTime() - emptyPollLoopMs_ < kWaitLookSpacingMs && MachineNs() - emptyPollNs_ < kLookSpacingNs)
        return false;
    return PollFds(0);
}

bool EventLoop::PollFds(int timeoutMs) {
    // A look that could only repeat the last one: nothing has run on this thread since a wait found
    // nothing ready, so only another thread or process can have made something ready since, which is
    // then taken as having happened a moment later (the next look sees it).
    if (timeoutMs == 0 && quiet_) return false;
    if (forkedChild) { // the child's own wake counter and set, before it changes any registration
        forkedChild = false;
        if (wakeFd_ >= 0) ::close(wakeFd_);
        wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        RebuildWatchSet();
    }
    SyncWatches();
    if (timeoutMs == 0 && registered_.empty() && unpollable_.empty())
        return false; // nothing watched: the queue is looked at right after this, posts from other threads
                      // too
    // What the kernel reports is copied before any callback runs: a callback may run a nested turn,
    // which waits again.
    std::vector<std::pair<int, short>> readyFds;
    bool woken = false, stale = false;
    int n = 0;
    bool failed = false; // interrupted by a signal: the next look may find what it brought
    // Room for every watched descriptor: all that are ready are told in one go, as poll() tells them.
    std::vector<epoll_event>& events = epollEvents_;
    events.resize(registered_.size() + 1);
    const int room = static_cast<int>(events.size());
    if (unpollable_.empty()) {
        n = ::epoll_wait(epollFd_, events.data(), room, timeoutMs);
        failed = n < 0;
    } else {
        pollFds_.clear();
        pollFds_.push_back(pollfd{epollFd_, POLLIN, 0});
        for (int fd : unpollable_) {
            const short wanted = static_cast<short>((fd == wakeFd_ ? POLLIN : 0) | WantedOf(fd));
            pollFds_.push_back(pollfd{fd, wanted, 0});
        }
        int ready = ::poll(pollFds_.data(), pollFds_.size(), timeoutMs);
        failed = ready < 0;
        if (ready > 0) {
            for (size_t i = 1; i < pollFds_.size(); ++i) {
                if (pollFds_[i].revents == 0) continue;
                if (pollFds_[i].fd == wakeFd_)
                    woken = true;
                else
                    readyFds.emplace_back(pollFds_[i].fd, pollFds_[i].revents);
            }
            if (pollFds_[0].revents & POLLIN) n = ::epoll_wait(epollFd_, events.data(), room, 0);
        }
    }
    for (int i = 0; i < n; ++i) {
        auto tag = static_cast<uint32_t>(events[i].data.u64 >> 32);
        auto fd = static_cast<int>(static_cast<uint32_t>(events[i].data.u64));
        if (tag == 0) {
            woken = true;
            continue;
        }
        auto it = registered_.find(fd);
        if (it == registered_.end() || it->second.tag != tag) {
            stale = true; // a descriptor closed without being unwatched while another process held it
            continue;
        }
        readyFds.emplace_back(fd, static_cast<short>(events[i].events));
    }
    if (stale) RebuildWatchSet();
    quiet_ = readyFds.empty() && !woken && !stale && !failed;
    emptyPollNs_ = quiet_ && SpacedLooks(true) ? MachineNs() : -1;
    emptyPollLoopMs_ = LoopTime();
    emptyPollSocketCalls_ = socketCalls_.load(std::memory_order_relaxed);
    if (woken) {
        uint64_t count;
        while (::read(wakeFd_, &count, sizeof count) > 0) {
        }
    }
    if (readyFds.empty()) return woken;
    // In the order the watches were made, each with what it asked for (and errors and hang-ups).
    std::vector<std::pair<int, pollfd>> ready;
    for (const auto& [fd, revents] : readyFds) {
        auto ofFd = watchesOfFd_.find(fd);
        if (ofFd == watchesOfFd_.end()) continue;
        for (int id : ofFd->second) {
            const Watch& watch = watches_.at(id);
            short mine = static_cast<short>(revents & (watch.events | POLLERR | POLLHUP | POLLNVAL));
            if (watch.events != 0 && mine != 0) ready.emplace_back(id, pollfd{fd, 0, mine});
        }
    }
    std::sort(ready.begin(), ready.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    bool any = false;
    for (const auto& [id, fd] : ready) {
        auto it = watches_.find(id);
        if (it == watches_.end() || it->second.fd != fd.fd) continue; // unwatched meanwhile
        any = true;
        FdCallback callback = it->second.callback; // the callback may unwatch itself
        short revents = fd.revents;
        ++opaqueCallbacks_;
        Guarded([&] { callback(revents); });
        --opaqueCallbacks_;
    }
    return any || woken;
}

// ---- turns ----

bool EventLoop::TurnBody(bool wait, uint32_t maxWaitMs) {
    // A handler of a nested turn is not the one whose message the outer phase dispatches.
    const Posted* outer = dispatching_;
    dispatching_ = nullptr;
    bool worked = FireDueTimers();
    bool idle = wait && !worked && !terminated_ && QueueEmpty();
    bool idleDone = true;
    if (idle && idleHandler_) {
        Guarded([&] { idleDone = idleHandler_(); });
        idle = !terminated_ && QueueEmpty(); // the idle handler may have posted
    }
    if (idle) {
        uint32_t delay = std::min(NextTimerDelay(), maxWaitMs);
        // An idle handler that is not done keeps the machine's clock from blocking in this turn.
        if (!idleDone && !Clock::Get().IsSimulated()) delay = 0;
        worked = Clock::Get().IdleWait(
            delay, [this](int timeoutMs) { return timeoutMs == 0 ? WaitLook() : PollFds(timeoutMs); });
    } else {
        worked = Look(wait) || worked;
    }
    worked = DispatchQueued(QueueEnd()) || worked;
    dispatching_ = outer;
    if (pumpLevel_ == 1) ReleaseHeld(1); // the outermost pump: every turn is the end of a pump
    DestroyReleased(false);
    return worked;
}

void EventLoop::Turn(bool wait, uint32_t maxWaitMs) {
    PumpScope pump(*this);
    TurnBody(wait, maxWaitMs);
}

void EventLoop::ProcessMessages() {
    Turn(false);
}

void EventLoop::Run() {
    PumpScope pump(*this);
    while (!terminated_)
        TurnBody(true, UINT32_MAX);
}

void EventLoop::RunFor(uint32_t ms) {
    PumpScope pump(*this);
    Clock& clock = Clock::Get();
    uint32_t start = clock.TickCount();
    while (!terminated_) {
        uint32_t elapsed = TicksElapsed(clock.TickCount(), start);
        if (elapsed >= ms) {
            TurnBody(false, 0); // what falls due at the last instant still runs
            break;
        }
        // A turn that did something returns without waiting, so that the time is looked at again
        // before the loop blocks or the clock moves on.
        TurnBody(true, ms - elapsed);
    }
}

bool EventLoop::RunUntil(const std::function<bool()>& pred, uint32_t limitMs) {
    PumpScope pump(*this);
    Clock& clock = Clock::Get();
    uint32_t start = clock.TickCount();
    while (!terminated_) {
        bool done = pred();
        quiet_ = false; // the condition may act, not only look
        if (done) return true;
        uint32_t left = UINT32_MAX;
        if (limitMs != UINT32_MAX) {
            uint32_t elapsed = TicksElapsed(clock.TickCount(), start);
            if (elapsed >= limitMs) {
                TurnBody(false, 0); // what falls due at the last instant still runs
                break;
            }
            left = limitMs - elapsed;
        }
        TurnBody(true, left);
    }
    return pred();
}

void EventLoop::Reset() {
    {
        std::lock_guard lock(queueMutex_);
        queue_.clear();
        held_.clear();
        queued_.store(0, std::memory_order_release);
    }
    DestroyReleased(true);
    terminated_ = false;
}

} // namespace platform
