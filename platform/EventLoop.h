#pragma once
// The one event loop of the window thread. Each turn: fire the due timers, dispatch the messages that
// were queued when the turn began, then wait in poll() for a post, a timer or a watched file
// descriptor. With a simulated clock an idle loop jumps the clock to the next due timer instead of
// waiting, so tests run days of station time in seconds.
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

using HWND = uint32_t; // window handles are never reused
using WPARAM = uintptr_t;
using LPARAM = intptr_t;

struct TMessage {
    uint32_t Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    intptr_t Result = 0;
};

inline constexpr uint32_t WM_USER = 0x0400;

// Anything that has a window handle and receives posted messages.
class MessageTarget {
public:
    MessageTarget();
    virtual ~MessageTarget();
    MessageTarget(const MessageTarget&) = delete;
    MessageTarget& operator=(const MessageTarget&) = delete;
    HWND Handle() const { return handle_; }
    // Messages nobody handles are ignored.
    virtual void Dispatch(TMessage& message) { (void)message; }

private:
    HWND handle_;
};

class EventLoop {
public:
    using TimerCallback = std::function<void()>;
    using FdCallback = std::function<void(short revents)>;
    using ExceptionHandler = std::function<void(std::exception_ptr)>;

    static EventLoop& Get();

    // Thread-safe; returns at once. A message for a window that no longer exists is dropped.
    void Post(HWND window, uint32_t msg, WPARAM wParam = 0, LPARAM lParam = 0);
    // Number of queued messages, optionally only those with the number msg.
    size_t Pending(uint32_t msg = 0) const;
    // Drops the queued messages for `window` with the number msg and the first parameter wParam (a
    // closed socket's notifications must not reach the next socket that gets its descriptor number).
    size_t RemovePosted(HWND window, uint32_t msg, WPARAM wParam);

    // Timers: Start arms a timer to fire `interval` ms from now and then every `interval` ms; an
    // overdue timer fires once, never in a burst. Stop drops it (and any tick not yet delivered).
    int CreateTimer(TimerCallback callback);
    void StartTimer(int id, uint32_t intervalMs);
    void StopTimer(int id);
    void DestroyTimer(int id);

    // Readiness of a file descriptor (POLLIN/POLLOUT...). The callback runs on the loop's thread.
    int WatchFd(int fd, short events, FdCallback callback);
    void ChangeFdEvents(int watchId, short events);
    void UnwatchFd(int watchId);

    // Dispatches what was queued at entry, fires due timers and polls the watched descriptors without
    // waiting. Never blocks, and a handler that posts again cannot make it loop for ever.
    void ProcessMessages();
    // Runs turns until Terminate.
    void Run();
    // Runs turns until the installed clock has advanced `ms` or Terminate.
    void RunFor(uint32_t ms);
    // Runs until pred() holds (checked after each turn), the time limit passes or Terminate. True when
    // pred() held.
    bool RunUntil(const std::function<bool()>& pred, uint32_t limitMs);
    // One turn; wait says whether it may block (or, simulated, jump the clock) when idle.
    void Turn(bool wait, uint32_t maxWaitMs = UINT32_MAX);

    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    void ResetTerminated() { terminated_ = false; }

    // Sees every queued message before it is dispatched; true drops it (the application's OnMessage).
    using MessageFilter = std::function<bool(HWND window, TMessage& message)>;
    void SetMessageFilter(MessageFilter filter) { messageFilter_ = std::move(filter); }
    // Runs when a turn is about to wait; returning false (not done) keeps a loop on the real clock
    // from blocking in that turn (the application's OnIdle).
    using IdleHandler = std::function<bool()>;
    void SetIdleHandler(IdleHandler handler) { idleHandler_ = std::move(handler); }

    // Receives every exception a handler lets out; the default writes it to stderr.
    void SetExceptionHandler(ExceptionHandler handler) { exceptionHandler_ = std::move(handler); }
    void HandleException(std::exception_ptr error);

    // Window registry (MessageTarget uses these).
    HWND Register(MessageTarget* target);
    void Unregister(HWND handle);
    bool IsWindow(HWND handle) const { return windows_.count(handle) != 0; }

    // Drops every queued message and clears Terminated (tests start each case from a clean queue;
    // timers and watches belong to live objects and stay).
    void Reset();

    EventLoop();
    ~EventLoop();

private:
    struct Posted {
        HWND window;
        TMessage message;
        uint64_t sequence; // posting order; a pump handles only what was posted before it began
    };
    struct Timer {
        TimerCallback callback;
        uint32_t interval = 0;
        uint32_t started = 0;
        bool enabled = false;
    };
    struct Watch {
        int fd;
        short events;
        FdCallback callback;
    };

    // Dispatches the queued messages posted before `end` (a value of nextSequence_), in order.
    // True when it dispatched anything.
    bool DispatchQueued(uint64_t end);
    uint64_t QueueEnd() const;
    bool FireDueTimers();
    // Milliseconds until the next timer is due, or UINT32_MAX when none is armed.
    uint32_t NextTimerDelay() const;
    bool PollFds(int timeoutMs);
    void Wake();
    template <class F> void Guarded(F&& f);

    mutable std::mutex queueMutex_;
    std::deque<Posted> queue_;
    uint64_t nextSequence_ = 0;
    std::map<HWND, MessageTarget*> windows_;
    HWND nextHandle_ = 1;
    std::map<int, Timer> timers_;
    int nextTimer_ = 1;
    std::map<int, Watch> watches_;
    int nextWatch_ = 1;
    int wakeFd_ = -1;
    std::thread::id loopThread_; // the window thread: the one that created the loop
    bool terminated_ = false;
    ExceptionHandler exceptionHandler_;
    MessageFilter messageFilter_;
    IdleHandler idleHandler_;
};

// Shorthand used across the program.
inline void PostMessage(HWND window, uint32_t msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    EventLoop::Get().Post(window, msg, wParam, lParam);
}

} // namespace platform
