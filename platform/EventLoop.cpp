#include "platform/EventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

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

HWND EventLoop::Register(MessageTarget* target) {
    HWND handle = nextHandle_++;
    windows_[handle] = target;
    return handle;
}

void EventLoop::Unregister(HWND handle) {
    windows_.erase(handle);
}

void EventLoop::Post(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(Posted{window, TMessage{msg, wParam, lParam, 0}, nextSequence_++});
    }
    // Only another thread can find the loop blocked in poll(); a post from a handler is seen before
    // the loop waits again.
    if (std::this_thread::get_id() != loopThread_) Wake();
}

size_t EventLoop::Pending(uint32_t msg) const {
    std::lock_guard lock(queueMutex_);
    if (msg == 0) return queue_.size();
    size_t n = 0;
    for (const auto& p : queue_)
        if (p.message.Msg == msg) ++n;
    return n;
}

size_t EventLoop::RemovePosted(HWND window, uint32_t msg, WPARAM wParam) {
    std::lock_guard lock(queueMutex_);
    size_t before = queue_.size();
    std::erase_if(queue_, [&](const Posted& p) {
        return p.window == window && p.message.Msg == msg && p.message.WParam == wParam;
    });
    return before - queue_.size();
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

int EventLoop::CreateTimer(TimerCallback callback) {
    int id = nextTimer_++;
    timers_[id].callback = std::move(callback);
    return id;
}

void EventLoop::StartTimer(int id, uint32_t intervalMs) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second.interval = intervalMs;
    it->second.started = Clock::Get().TickCount();
    it->second.enabled = intervalMs > 0;
}

void EventLoop::StopTimer(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second.enabled = false;
}

void EventLoop::DestroyTimer(int id) {
    timers_.erase(id);
}

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

uint64_t EventLoop::QueueEnd() const {
    std::lock_guard lock(queueMutex_);
    return nextSequence_;
}

bool EventLoop::DispatchQueued(uint64_t end) {
    // By sequence rather than by count: a handler that pumps (a nested ProcessMessages) or drops
    // messages must not let this pass run on into messages posted after it began.
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
        Guarded([&] {
            if (messageFilter_ && messageFilter_(next.window, next.message)) return;
            // The filter may have closed the window.
            if (windows_.count(next.window)) target->Dispatch(next.message);
        });
    }
}

bool EventLoop::FireDueTimers() {
    uint32_t now = Clock::Get().TickCount();
    std::vector<int> due;
    for (const auto& [id, timer] : timers_)
        if (timer.enabled && TicksElapsed(now, timer.started) >= timer.interval) due.push_back(id);
    bool fired = false;
    for (int id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end() || !it->second.enabled) continue; // stopped by an earlier handler
        // An earlier handler may have restarted it (a fresh interval) or slept on the clock.
        now = Clock::Get().TickCount();
        if (TicksElapsed(now, it->second.started) < it->second.interval) continue;
        fired = true;
        it->second.started = now;
        TimerCallback callback = it->second.callback; // the handler may destroy the timer
        Guarded([&] { callback(); });
    }
    return fired;
}

uint32_t EventLoop::NextTimerDelay() const {
    uint32_t now = Clock::Get().TickCount();
    uint32_t best = UINT32_MAX;
    for (const auto& [id, timer] : timers_) {
        if (!timer.enabled) continue;
        uint32_t elapsed = TicksElapsed(now, timer.started);
        uint32_t left = elapsed >= timer.interval ? 0 : timer.interval - elapsed;
        if (left < best) best = left;
    }
    return best;
}

bool EventLoop::PollFds(int timeoutMs) {
    std::vector<pollfd> fds;
    std::vector<int> ids;
    fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    ids.push_back(0);
    for (const auto& [id, watch] : watches_) {
        if (watch.events == 0) continue;
        fds.push_back(pollfd{watch.fd, watch.events, 0});
        ids.push_back(id);
    }
    int n = ::poll(fds.data(), fds.size(), timeoutMs);
    if (n <= 0) return false;
    if (fds[0].revents & POLLIN) {
        uint64_t count;
        while (::read(wakeFd_, &count, sizeof count) > 0) {
        }
    }
    bool any = false;
    for (size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        auto it = watches_.find(ids[i]);
        if (it == watches_.end() || it->second.fd != fds[i].fd) continue; // unwatched meanwhile
        any = true;
        FdCallback callback = it->second.callback; // the callback may unwatch itself
        short revents = fds[i].revents;
        Guarded([&] { callback(revents); });
    }
    return any || (fds[0].revents & POLLIN);
}

void EventLoop::ProcessMessages() {
    uint64_t end = QueueEnd();
    FireDueTimers();
    PollFds(0);
    DispatchQueued(end);
}

void EventLoop::Turn(bool wait, uint32_t maxWaitMs) {
    bool worked = FireDueTimers();
    worked = DispatchQueued(QueueEnd()) || worked;
    // A turn that did something returns without waiting, so that Run, RunFor and RunUntil look at
    // Terminated, the time and their condition before the loop blocks or the clock moves on.
    if (terminated_ || !wait || worked || Pending() > 0) {
        PollFds(0);
        return;
    }
    Clock& clock = Clock::Get();
    bool idleDone = true;
    if (idleHandler_) Guarded([&] { idleDone = idleHandler_(); });
    if (!idleDone && !clock.IsSimulated()) {
        PollFds(0);
        return;
    }
    // The idle handler may have posted or armed a timer.
    if (terminated_ || Pending() > 0) return;
    uint32_t delay = std::min(NextTimerDelay(), maxWaitMs);
    if (clock.IsSimulated()) {
        // Ready descriptors and cross-thread posts first; otherwise jump to the next timer.
        if (PollFds(0) || Pending() > 0) return;
        if (delay != UINT32_MAX) {
            static_cast<SimulatedClock&>(clock).Advance(delay);
            return;
        }
        // Nothing is due on the simulated clock: wait a moment of real time for a descriptor or a post.
        PollFds(10);
        return;
    }
    int timeout = delay == UINT32_MAX ? -1 : static_cast<int>(std::min<uint32_t>(delay, 1u << 30));
    PollFds(timeout);
}

void EventLoop::Run() {
    while (!terminated_)
        Turn(true);
}

void EventLoop::RunFor(uint32_t ms) {
    Clock& clock = Clock::Get();
    uint32_t start = clock.TickCount();
    while (!terminated_) {
        uint32_t elapsed = TicksElapsed(clock.TickCount(), start);
        if (elapsed >= ms) {
            Turn(false); // what falls due at the last instant still runs
            break;
        }
        Turn(true, ms - elapsed);
    }
}

bool EventLoop::RunUntil(const std::function<bool()>& pred, uint32_t limitMs) {
    Clock& clock = Clock::Get();
    uint32_t start = clock.TickCount();
    while (!terminated_) {
        if (pred()) return true;
        uint32_t elapsed = TicksElapsed(clock.TickCount(), start);
        if (elapsed >= limitMs) {
            Turn(false); // what falls due at the last instant still runs
            break;
        }
        Turn(true, limitMs - elapsed);
    }
    return pred();
}

void EventLoop::Reset() {
    {
        std::lock_guard lock(queueMutex_);
        queue_.clear();
    }
    terminated_ = false;
}

} // namespace platform
