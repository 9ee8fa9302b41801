#pragma once
// A timer component that ticks either from a thread of its own (Threaded, the default) or from a
// window timer of the event loop. A threaded tick with SyncEvent on reaches the window thread as a
// posted message (one at a time: a tick still queued absorbs the next); with SyncEvent off the handler
// runs on the timer thread and must not touch windows. The thread waits in real time whatever clock
// is installed; the window timer follows the installed clock.
//
// Destroying the timer stops its thread and waits for it, so no tick runs after the destructor; a
// Synchronize call still waiting for the window thread is cancelled then. The timer belongs to the
// window thread: an unsynchronised handler must not free it, and a subclass that overrides Timer()
// and ticks unsynchronised must stop the timer (Enabled false) in its own destructor.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Component.h"
#include "platform/EventLoop.h"
#include "platform/HiddenWindow.h"
#include "platform/ThreadPriority.h"

namespace extra {

// The priority of the timer thread (platform/ThreadPriority.h: lowering is always allowed; a refused
// raise leaves the thread where it was and is told to the station's log once).
using TThreadPriority = platform::TThreadPriority;
using enum platform::TThreadPriority;

class TRxTimer : public platform::TComponent {
public:
    using TNotifyEvent = std::function<void(platform::TComponent* sender)>;

    explicit TRxTimer(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TRxTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t ms);
    bool SyncEvent() const { return syncEvent_; }
    void SetSyncEvent(bool sync) { syncEvent_ = sync; }
    bool Threaded() const { return threaded_; }
    void SetThreaded(bool threaded);
    TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(TThreadPriority priority);
    TNotifyEvent OnTimer() const;
    void SetOnTimer(TNotifyEvent handler);

    // Called on another thread while the timer thread runs: runs method on the window thread and
    // waits for it (its exception is raised here). Otherwise runs it at once.
    void Synchronize(const std::function<void()>& method);

protected:
    // One tick: OnTimer when Enabled, assigned and the timer is not being destroyed.
    virtual void Timer();

private:
    struct Shared;

    void UpdateTimer();
    // Gives the running thread ThreadPriority.
    void ApplyThreadPriority();
    void WndProc(platform::TMessage& message);
    bool HasHandler() const;
    void SuspendThread();
    void ResumeThread();
    void StopThread();
    // The tick of the unsynchronised thread: an exception goes to the window thread to be reported.
    void ThreadTimer();
    static void ThreadLoop(std::shared_ptr<Shared> shared, TRxTimer* timer);
    static void ServeSyncCalls(const std::shared_ptr<Shared>& shared);
    static void ReportThreadErrors(const std::shared_ptr<Shared>& shared);

    std::atomic<bool> enabled_{true};
    std::atomic<uint32_t> interval_{1000};
    std::atomic<bool> syncEvent_{true};
    std::atomic<bool> destroying_{false};
    bool threaded_ = true;
    TThreadPriority priority_ = tpNormal;
    TThreadPriority threadPriority_ = tpNormal; // what the thread has
    mutable std::mutex handlerMutex_;
    TNotifyEvent onTimer_;

    std::shared_ptr<Shared> shared_; // outlives the timer while its thread finishes
    std::unique_ptr<platform::THiddenWindow> window_;
    int windowTimer_ = 0;
    std::thread thread_;
    std::thread::id windowThread_;
};

} // namespace extra
