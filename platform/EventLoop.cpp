#include "platform/EventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "platform/Clock.h"
#include "platform/Exceptions.h"

namespace platform {

MessageTarget::MessageTarget() : handle_(EventLoop::Get().Register(this)) {}
MessageTarget::~MessageTarget() {
    EventLoop::Get().Unregister(handle_);
}

EventLoop& EventLoop::Get() {
    static EventLoop loop;
    return loop;
}

EventLoop::EventLoop() : loopThread_(std::this_thread::get_id()) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

EventLoop::~EventLoop() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

// ---- pumps ----

class EventLoop::PumpScope {
public:
    explicit PumpScope(EventLoop& loop) : loop_(loop), level_(++loop.pumpLevel_) {}
    ~PumpScope() { loop_.EndPump(level_); }
    PumpScope(const PumpScope&) = delete;
    PumpScope& operator=(const PumpScope&) = delete;

private:
    EventLoop& loop_;
    int level_;
};

void EventLoop::EndPump(int level) {
    ReleaseHeld(level);
    DestroyReleased(false);
    --pumpLevel_;
}

void EventLoop::ReleaseHeld(int level) {
    std::lock_guard lock(queueMutex_);
    if (held_.empty()) return;
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
    std::lock_guard lock(queueMutex_);
    return nextSequence_;
}

bool EventLoop::QueueEmpty() const {
    std::lock_guard lock(queueMutex_);
    return queue_.empty();
}

bool EventLoop::DispatchQueued(uint64_t end) {
    // By sequence rather than by count: a handler that pumps (a nested turn) or drops messages must not
    // let this phase run on into messages posted after it began.
    bool any = false;
    for (;;) {
        Posted next;
        {
            std::lock_guard lock(queueMutex_);
            if (queue_.empty() || queue_.front().sequence >= end) return any;
            next = queue_.front();
            queue_.pop_front();
        }
        any = true;
        auto it = windows_.find(next.window);
        if (it == windows_.end()) continue; // the window is gone
        MessageTarget* target = it->second;
        const Posted* outer = dispatching_;
        dispatching_ = &next;
        busyWindows_.push_back(next.window);
        Guarded([&] {
            if (messageFilter_ && messageFilter_(next.window, next.message)) return;
            // The filter may have closed the window.
            if (windows_.count(next.window)) target->Dispatch(next.message);
        });
        busyWindows_.pop_back();
        dispatching_ = outer;
    }
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
    return id;
}

void EventLoop::ChangeFdEvents(int watchId, short events) {
    auto it = watches_.find(watchId);
    if (it != watches_.end()) it->second.events = events;
}

void EventLoop::UnwatchFd(int watchId) {
    watches_.erase(watchId);
}

bool EventLoop::PollFds(int timeoutMs) {
    // The vectors are members, reused from turn to turn; a nested turn inside a callback below rebuilds
    // them, so this turn works on its own copy of what it still needs.
    pollFds_.clear();
    pollIds_.clear();
    pollFds_.push_back(pollfd{wakeFd_, POLLIN, 0});
    pollIds_.push_back(0);
    for (const auto& [id, watch] : watches_) {
        if (watch.events == 0) continue;
        pollFds_.push_back(pollfd{watch.fd, watch.events, 0});
        pollIds_.push_back(id);
    }
    int n = ::poll(pollFds_.data(), pollFds_.size(), timeoutMs);
    if (n <= 0) return false;
    bool woken = pollFds_[0].revents & POLLIN;
    if (woken) {
        uint64_t count;
        while (::read(wakeFd_, &count, sizeof count) > 0) {
        }
    }
    std::vector<std::pair<int, pollfd>> ready;
    for (size_t i = 1; i < pollFds_.size(); ++i)
        if (pollFds_[i].revents != 0) ready.emplace_back(pollIds_[i], pollFds_[i]);
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
        worked = Clock::Get().IdleWait(delay, [this](int timeoutMs) { return PollFds(timeoutMs); });
    } else {
        worked = PollFds(0) || worked;
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
        if (pred()) return true;
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
    }
    DestroyReleased(true);
    terminated_ = false;
}

} // namespace platform
