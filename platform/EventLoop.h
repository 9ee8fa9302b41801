#pragma once
// The one event loop of the window thread. Every turn runs the same four phases in this order:
//   1. timers: those due when the phase begins fire, earliest due first; timers due at the same moment
//      fire in the order they were started;
//   2. poll: ready descriptors run their callbacks. Only a turn that may wait, fired no timer and finds
//      no message queued waits here, until the next timer or the caller's limit; the installed clock
//      decides how that idle time passes (Clock::IdleWait): the real clock blocks in poll(), a simulated
//      clock jumps to the next due timer, so tests run days of station time in seconds (having looked
//      at the descriptors first, unless a wait nested in a handler looked a moment ago and no socket
//      call was made since);
//   3. messages: those queued when the phase begins are dispatched in posting order;
//   4. release: the objects released so far are destroyed, except those whose code may still be on
//      the stack: a window whose message is being dispatched (or that waits in one of its own
//      methods) keeps its object, and so does everything while a timer or descriptor callback pumps.
//      A released object is thus never destroyed inside its own handler, and a long pump (a reading
//      pass) does not pile them up.
// Run, RunFor, RunUntil, Turn and ProcessMessages (one turn that never waits) are pumps: a handler may
// call one to wait while timers, sockets and messages go on. A message that a handler posts again, the
// same in every field, while it is being dispatched is held back until the pump it was posted in has
// returned; so a handler that re-posts itself to run "later" cannot keep a pump busy until its deadline.
#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

struct pollfd;
struct epoll_event;

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

protected:
    // Destroys the window and makes a new one for this object (on the loop's thread): messages queued
    // for the old window go to the new one; the old handle names no window from now on.
    void RenewHandle();

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
    // Number of queued messages (held ones included), optionally only those with the number msg.
    size_t Pending(uint32_t msg = 0) const;
    // Drops the queued messages for `window` with the number msg and the first parameter wParam (a
    // closed socket's notifications must not reach the next socket that gets its descriptor number).
    size_t RemovePosted(HWND window, uint32_t msg, WPARAM wParam);

    // Timers: Start arms a timer to fire `interval` ms from now and then every `interval` ms after it
    // fired; an overdue timer fires once, never in a burst. Stop drops it (and any tick not yet
    // delivered). Intervals up to the largest 32-bit value work.
    int CreateTimer(TimerCallback callback);
    void StartTimer(int id, uint32_t intervalMs);
    void StopTimer(int id);
    void DestroyTimer(int id);

    // Readiness of a file descriptor (POLLIN/POLLOUT...), with poll()'s rules: level-triggered,
    // POLLERR and POLLHUP always reported, several watches on one descriptor each get what they asked
    // for, ready watches called in the order they were made. The callback runs on the loop's thread.
    // `closing`: the descriptor is about to be closed, which ends the kernel's interest in it by itself.
    int WatchFd(int fd, short events, FdCallback callback);
    void ChangeFdEvents(int watchId, short events);
    void UnwatchFd(int watchId, bool closing = false);

    // One turn without waiting: never blocks, and a handler that posts again cannot make it loop.
    void ProcessMessages();
    // Runs turns until Terminate.
    void Run();
    // Runs turns until the installed clock has advanced `ms` or Terminate.
    void RunFor(uint32_t ms);
    // Runs until pred() holds (checked after each turn), the time limit passes (UINT32_MAX: none) or
    // Terminate. True when pred() held.
    bool RunUntil(const std::function<bool()>& pred, uint32_t limitMs);
    // One turn; wait says whether it may wait (at most maxWaitMs) when there is nothing to do.
    void Turn(bool wait, uint32_t maxWaitMs = UINT32_MAX);

    // How many pumps are running now: 0 outside the loop, 1 inside a handler that Run dispatched, one
    // more inside each pump a handler called (a wait). Code that must tell its own work from handlers
    // that run while it waits compares it.
    int PumpLevel() const { return pumpLevel_; }

    // Told by the socket layer after each call on a socket (a send, a receive, a connect, an accept, a
    // shutdown or a close), from any thread: such a call can make a descriptor of this loop ready at
    // once (a datagram to our own listener), so the next wait looks even where it could leave its look
    // out.
    static void NoteSocketCall() { socketCalls_.fetch_add(1, std::memory_order_relaxed); }

    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    void ResetTerminated() { terminated_ = false; }

    // Takes an object whose own handler may still be running and destroys it at the end of a turn
    // when none of its code can be on the stack any more. Its window is gone at once: messages still
    // queued for it are dropped.
    void ReleaseAtTurnEnd(std::unique_ptr<MessageTarget> object);
    // Marks a window as busy while an object waits (pumps) inside one of its own methods, so that it is
    // not destroyed under its own feet.
    class BusyWindow {
    public:
        explicit BusyWindow(HWND window);
        ~BusyWindow();
        BusyWindow(const BusyWindow&) = delete;
        BusyWindow& operator=(const BusyWindow&) = delete;
    };
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
    // A new handle for the target of `old`, which is unregistered; queued messages follow.
    HWND Rehome(HWND old);
    bool IsWindow(HWND handle) const { return windows_.count(handle) != 0; }

    // Drops every queued message, destroys released objects and clears Terminated (tests start each
    // case from a clean queue; timers and watches belong to live objects and stay).
    void Reset();

    EventLoop();
    ~EventLoop();

private:
    struct Posted {
        HWND window;
        TMessage message;
        uint64_t sequence; // posting order; a dispatch phase handles only what was posted before it began
        int heldBy = 0;    // held back: the pump level it was re-posted in
    };
    struct Timer {
        TimerCallback callback;
        uint32_t interval = 0;
        uint64_t due = 0;   // loop time
        uint64_t order = 0; // start order, for timers due together
        size_t slot = kNotQueued;
        static constexpr size_t kNotQueued = SIZE_MAX;
    };
    struct Watch {
        int fd;
        short events;
        FdCallback callback;
    };
    // A pump's extent: held messages and released objects wait for the pump they belong to.
    class PumpScope;

    bool TurnBody(bool wait, uint32_t maxWaitMs);
    // Dispatches the queued messages posted before `end` (a value of nextSequence_), in order.
    // True when it dispatched anything.
    bool DispatchQueued(uint64_t end);
    uint64_t QueueEnd() const;
    bool QueueEmpty() const;
    bool IsRepost(HWND window, const TMessage& message) const;
    void ReleaseHeld(int level);
    // Destroys the released objects that nothing on the stack can still use (all: every one, for Reset).
    void DestroyReleased(bool all);
    void EndPump(int level);

    // Milliseconds on a 64-bit count that does not wrap, from the installed clock's tick count.
    uint64_t LoopTime();
    bool FireDueTimers();
    // Milliseconds until the next timer is due, or UINT32_MAX when none is armed.
    uint32_t NextTimerDelay();
    bool Earlier(const Timer* a, const Timer* b) const;
    void HeapPush(Timer* timer);
    void HeapRemove(Timer* timer);
    void HeapPlace(size_t slot, Timer* timer);
    void SiftUp(size_t slot);
    void SiftDown(size_t slot);

    bool PollFds(int timeoutMs);
    // The look of a turn that does not wait: PollFds(0), left out where it could only repeat a look
    // made a moment ago.
    bool Look(bool mayWait);
    static constexpr int64_t kLookSpacingNs = 1'000'000;
    // Whether a turn that does not wait now (of a pump that may wait, or not) may skip its look for a
    // moment after one that found nothing.
    bool SpacedLooks(bool mayWait) const;
    // The look of a wait before the installed clock lets time pass: PollFds(0), left out where a
    // handler's nested wait on a simulated clock could only repeat a look made a moment ago.
    bool WaitLook();
    static constexpr uint64_t kWaitLookSpacingMs = 1000;
    // Brings the kernel's descriptor set up to date with the watches changed since the last wait.
    void SyncWatches();
    void RegisterFd(int fd, uint32_t events, bool fresh);
    // Starts the kernel's set afresh (after it reported a descriptor closed without being unwatched).
    void RebuildWatchSet();
    void MarkFd(int fd, bool fresh);
    // The events the watches of a descriptor ask for together.
    short WantedOf(int fd) const;
    void Wake();
    template <class F> void Guarded(F&& f);

    mutable std::mutex queueMutex_;
    std::deque<Posted> queue_;
    std::vector<Posted> held_;      // changed by the loop's thread only
    std::atomic<size_t> queued_{0}; // queue_.size(), for a look without the lock
    std::atomic<uint64_t> nextSequence_{0};
    std::unordered_map<HWND, MessageTarget*> windows_;
    HWND nextHandle_ = 1;
    const Posted* dispatching_ = nullptr; // the message whose handler runs now (not inside a nested turn)
    std::vector<Posted*> dispatched_;     // every message whose handler is on the stack, innermost last
    int pumpLevel_ = 0;
    std::vector<std::pair<HWND, std::unique_ptr<MessageTarget>>> released_;
    std::vector<HWND> busyWindows_; // windows whose code is on the stack
    int opaqueCallbacks_ = 0;       // timer and descriptor callbacks running: their owners are unknown

    std::map<int, Timer> timers_;
    std::vector<Timer*> heap_; // armed timers, a binary min-heap by (due, order)
    int nextTimer_ = 1;
    uint64_t nextOrder_ = 0;
    uint64_t loopTime_ = 0;
    uint32_t lastTick_ = 0;
    bool tickSeen_ = false;

    std::map<int, Watch> watches_;
    // The watches of each descriptor, in the order they were made: what a descriptor asks for and who
    // hears it are found without a walk over every watch (a server holds thousands of connections).
    std::unordered_map<int, std::vector<int>> watchesOfFd_;
    int nextWatch_ = 1;
    // The watched descriptors live in an epoll set, so that a wait costs the same however many are
    // watched. Changes are made to it just before the next wait, only where they change what it asks.
    struct Registered {
        uint32_t events = 0;
        uint32_t tag = 0; // told back with each event: one that does not match is of a closed descriptor
    };
    int epollFd_ = -1;
    std::map<int, Registered> registered_;
    std::map<int, bool> changedFds_; // descriptor -> made anew (its number may name another file now)
    std::vector<int> unpollable_;    // descriptors epoll refuses (regular files): asked with poll()
    uint32_t nextTag_ = 1;
    std::vector<pollfd> pollFds_;
    std::vector<epoll_event> epollEvents_;
    int wakeFd_ = -1;
    bool quiet_ = false;           // a wait found nothing ready, and no code has run on this thread since
    int64_t emptyPollNs_ = -1;     // the machine's time of the last poll that found nothing, -1 after others
    uint64_t emptyPollLoopMs_ = 0; // the loop time of that poll
    uint64_t emptyPollSocketCalls_ = 0; // and the count of socket calls then
    static inline std::atomic<uint64_t> socketCalls_{0};
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
