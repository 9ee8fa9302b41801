#include "extra/RxTimer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/FileProblems.h"
#include "platform/ThreadPriority.h"
#include "platform/controls/Messages.h"

using platform::TMessage;

namespace extra {

namespace {
constexpr uint32_t kMsgThreadTick = platform::WM_USER + 1;  // a synchronised tick of the thread
constexpr uint32_t kMsgSyncCall = platform::WM_USER + 2;    // Synchronize calls are waiting
constexpr uint32_t kMsgThreadError = platform::WM_USER + 3; // the thread's handler raised

struct SyncCall {
    std::function<void()> method;
    std::exception_ptr error;
    bool done = false;
};
} // namespace

// What the timer and its thread share, under one mutex. The thread keeps it alive until it ends, so
// that a timer freed by its own unsynchronised handler leaves the thread something to finish with.
struct TRxTimer::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    bool started = false;
    bool suspended = true;
    bool terminated = false;
    uint64_t generation = 0; // moves on every suspend and resume: the sleep starts afresh
    uint32_t interval = 1000;
    int threadId = 0; // the kernel's id of the thread, once it runs
    bool tickPosted = false;
    std::deque<std::shared_ptr<SyncCall>> calls;
    std::vector<std::exception_ptr> errors;
    platform::HWND window = 0;
};

TRxTimer::TRxTimer(platform::TComponent* owner, const std::string& name)
    : TComponent(owner, name), shared_(std::make_shared<Shared>()),
      window_(std::make_unique<platform::THiddenWindow>([this](TMessage& m) { WndProc(m); })),
      windowThread_(std::this_thread::get_id()) {
    shared_->window = window_->Handle();
}

TRxTimer::~TRxTimer() {
    destroying_ = true;
    enabled_ = false;
    {
        std::lock_guard lock(handlerMutex_);
        onTimer_ = nullptr;
    }
    StopThread();
    if (windowTimer_) platform::EventLoop::Get().DestroyTimer(windowTimer_);
    window_.reset(); // messages still queued for it are dropped
}

void TRxTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    UpdateTimer();
}

void TRxTimer::SetInterval(uint32_t ms) {
    if (ms == interval_) return;
    interval_ = ms;
    UpdateTimer();
}

void TRxTimer::SetThreaded(bool threaded) {
    if (threaded == threaded_) return;
    threaded_ = threaded;
    UpdateTimer();
}

void TRxTimer::SetThreadPriority(TThreadPriority priority) {
    if (priority == priority_) return;
    priority_ = priority;
    if (threaded_) UpdateTimer();
}

TRxTimer::TNotifyEvent TRxTimer::OnTimer() const {
    std::lock_guard lock(handlerMutex_);
    return onTimer_;
}

void TRxTimer::SetOnTimer(TNotifyEvent handler) {
    bool had = HasHandler();
    {
        std::lock_guard lock(handlerMutex_);
        onTimer_ = std::move(handler);
    }
    if (had != HasHandler()) UpdateTimer();
}

bool TRxTimer::HasHandler() const {
    std::lock_guard lock(handlerMutex_);
    return static_cast<bool>(onTimer_);
}

void TRxTimer::Timer() {
    if (!enabled_ || destroying_) return;
    TNotifyEvent handler = OnTimer(); // a copy: the handler may replace itself or free the timer
    if (handler) handler(this);
}

void TRxTimer::UpdateTimer() {
    bool ticking = interval_ != 0 && enabled_ && HasHandler();
    auto& loop = platform::EventLoop::Get();
    SuspendThread();
    if (threaded_) {
        if (windowTimer_) loop.StopTimer(windowTimer_);
        {
            std::lock_guard lock(shared_->mutex);
            shared_->interval = interval_;
        }
        if (ticking) {
            ResumeThread();
            ApplyThreadPriority();
        }
        return;
    }
    if (!windowTimer_)
        windowTimer_ = loop.CreateTimer([this] {
            TMessage message{platform::WM_TIMER, 1, 0, 0};
            WndProc(message);
        });
    loop.StopTimer(windowTimer_);
    if (ticking) loop.StartTimer(windowTimer_, interval_);
}

void TRxTimer::ApplyThreadPriority() {
    int threadId;
    {
        std::lock_guard lock(shared_->mutex);
        threadId = shared_->threadId;
    }
    if (!threadId || threadPriority_ == priority_) return;
    // Refused, the thread keeps what it had; the platform tells the first refusal.
    if (platform::ApplyThreadPriority(threadId, priority_)) threadPriority_ = priority_;
}

void TRxTimer::WndProc(TMessage& message) {
    if (message.Msg == kMsgThreadTick) { // the thread may post the next one
        std::lock_guard lock(shared_->mutex);
        shared_->tickPosted = false;
    }
    switch (message.Msg) {
    case kMsgThreadTick:
    case platform::WM_TIMER:
        // Any other exception goes on to the loop, which hands it to the application's handler.
        try {
            Timer();
        } catch (const platform::EAbort&) {
        }
        break;
    case kMsgSyncCall:
        ServeSyncCalls(shared_);
        break;
    case kMsgThreadError:
        ReportThreadErrors(shared_);
        break;
    default:
        break;
    }
}

void TRxTimer::ServeSyncCalls(const std::shared_ptr<Shared>& sharedRef) {
    std::shared_ptr<Shared> shared = sharedRef; // a call may free the timer
    for (;;) {
        std::shared_ptr<SyncCall> call;
        {
            std::lock_guard lock(shared->mutex);
            if (shared->terminated || shared->calls.empty()) return;
            call = shared->calls.front();
            shared->calls.pop_front();
        }
        try {
            call->method();
        } catch (...) {
            call->error = std::current_exception();
        }
        {
            std::lock_guard lock(shared->mutex);
            call->done = true;
        }
        shared->wake.notify_all();
    }
}

void TRxTimer::ReportThreadErrors(const std::shared_ptr<Shared>& sharedRef) {
    std::shared_ptr<Shared> shared = sharedRef; // the application's handler may free the timer
    std::vector<std::exception_ptr> errors;
    {
        std::lock_guard lock(shared->mutex);
        errors.swap(shared->errors);
    }
    for (const auto& error : errors)
        platform::EventLoop::Get().HandleException(error);
}

void TRxTimer::Synchronize(const std::function<void()>& method) {
    if (std::this_thread::get_id() == windowThread_) {
        method();
        return;
    }
    std::shared_ptr<Shared> shared = shared_;
    auto call = std::make_shared<SyncCall>();
    call->method = method;
    {
        std::unique_lock lock(shared->mutex);
        if (!shared->started || shared->suspended || shared->terminated) {
            lock.unlock();
            method();
            return;
        }
        shared->calls.push_back(call);
        platform::PostMessage(shared->window, kMsgSyncCall);
        // The destructor cancels what is still waiting, so that it can join this thread.
        shared->wake.wait(lock, [&] { return call->done || shared->terminated; });
    }
    if (call->error) std::rethrow_exception(call->error);
}

void TRxTimer::SuspendThread() {
    {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->started || shared_->suspended) return;
        shared_->suspended = true;
        ++shared_->generation;
        shared_->tickPosted = false;
    }
    shared_->wake.notify_all();
    // The thread posts only while not suspended, so nothing follows what is removed here.
    platform::EventLoop::Get().RemovePosted(shared_->window, kMsgThreadTick, 0);
}

void TRxTimer::ResumeThread() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->suspended = false;
        ++shared_->generation;
        if (!shared_->started) {
            shared_->started = true;
            thread_ = std::thread(ThreadLoop, shared_, this);
        }
    }
    shared_->wake.notify_all();
    // The thread's id, for its priority.
    std::unique_lock lock(shared_->mutex);
    shared_->wake.wait(lock, [&] { return shared_->threadId != 0; });
}

void TRxTimer::StopThread() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->terminated = true;
        shared_->calls.clear();
    }
    shared_->wake.notify_all();
    if (!thread_.joinable()) return;
    // Freeing the timer from its own unsynchronised handler is not supported (the window and the owner
    // belong to the window thread); at least the thread then ends on the shared state alone.
    if (std::this_thread::get_id() == thread_.get_id())
        thread_.detach();
    else
        thread_.join();
}

void TRxTimer::ThreadTimer() {
    std::shared_ptr<Shared> shared = shared_; // the handler may free the timer, then raise
    try {
        Timer();
    } catch (const platform::EAbort&) {
    } catch (...) {
        {
            std::lock_guard lock(shared->mutex);
            shared->errors.push_back(std::current_exception());
        }
        platform::PostMessage(shared->window, kMsgThreadError);
    }
}

void TRxTimer::ThreadLoop(std::shared_ptr<Shared> shared, TRxTimer* timer) {
    std::unique_lock lock(shared->mutex);
    shared->threadId = platform::CurrentThreadId();
    shared->wake.notify_all();
    for (;;) {
        shared->wake.wait(lock, [&] { return shared->terminated || !shared->suspended; });
        if (shared->terminated) return;
        uint64_t generation = shared->generation;
        bool woken = shared->wake.wait_for(lock, std::chrono::milliseconds(shared->interval), [&] {
            return shared->terminated || shared->suspended || shared->generation != generation;
        });
        if (woken || !timer->Enabled()) continue;
        if (timer->SyncEvent()) {
            if (!shared->tickPosted) {
                shared->tickPosted = true;
                platform::PostMessage(shared->window, kMsgThreadTick);
            }
            continue;
        }
        lock.unlock();
        timer->ThreadTimer();
        lock.lock();
    }
}

} // namespace extra
