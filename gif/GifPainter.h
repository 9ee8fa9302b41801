#pragma once
// The animation painter: shows a TGIFImage on a canvas frame after frame, with the frames' delays,
// disposal methods and the looping extension, and fires the image's painting handlers. Internal to
// gif/: users start painters through TGIFImage::Draw and Paint.
//
// A painter runs in one of two ways:
// - Without goAsync it runs at once inside the caller. Its waits are sleeps on the platform clock in
//   slices of at most 100 ms, with the loop's messages handed out after each slice; a Terminate of the
//   loop met there ends the painting (and stays set for the application).
// - With goAsync it runs on a worker thread of its own, which only keeps the order and the time.
//   Every step that touches the image, the canvas, the handlers or the clock is handed to the window
//   thread (posted to the loop, run there while the worker waits for it), and a frame's delay is a loop
//   timer armed from the window thread, so timing follows the platform clock, a simulated one included.
//   The worker never needs the window thread in order to end: Stop wakes it wherever it waits, and
//   destroying the painter joins it.
// Painters are created, stopped and destroyed on the window thread only. A threaded painter that ends
// by itself is reaped there; an exception inside its loop ends it and reaches the image as a gsError
// warning. A painter draws nothing once it is stopped, and nothing on a control that has been freed.
//
// A threaded painter's worker runs at the image's ThreadPriority (set by the window thread once the
// worker has told its id); Stop brings it back to tpNormal so that it ends promptly. Where the system
// refuses a priority the worker keeps what it has (platform/ThreadPriority.h tells the first refusal).
//
// Frame timing (per frame, with delay = the previous frame's delay in hundredths, 0 before the first
// frame of a threaded painter and 1 for one that runs at once): elapsed = (now - start - carry) / 2,
// wait = (delay x GIFDelayExp - elapsed) x 100 / AnimationSpeed ms, carry = wait, start = now. A frame's
// delay is raised to GIFMinimumDelay, 0 means GIFDefaultDelay, and without goAsync it is lowered to
// GIFMaximumDelay.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "gif/GifItems.h"
#include "platform/HiddenWindow.h"
#include "platform/ThreadPriority.h"

namespace gif {

class TGIFPainter {
public:
    TGIFPainter(TGIFImage* image, const TGIFPaintTarget& target, const TRect& rect, TGIFDrawOptions options,
                TGIFPainter** painterRef = nullptr);
    ~TGIFPainter();
    TGIFPainter(const TGIFPainter&) = delete;
    TGIFPainter& operator=(const TGIFPainter&) = delete;

    // The painting loop: the worker's body, or run at once by the image for a painter without goAsync.
    void Execute();
    // Starts (or resumes) the worker of a threaded painter; nothing otherwise.
    void Start();
    // Marks the painter terminated and wakes it wherever it waits.
    void Stop();
    // The animation starts over; a suspended worker is resumed.
    void Restart();
    // The worker parks at its next step or wait until Start.
    void Suspend();

    int AnimationSpeed() const { return animationSpeed_; }
    // Clamped to 0..1000; a change wakes a waiting worker, or restarts a painter that cannot be woken.
    void SetAnimationSpeed(int value);
    int ActiveImage() const { return activeImage_; }
    // Accepted for an index of an existing frame only.
    void SetActiveImage(int value);
    platform::TThreadPriority ThreadPriority() const { return priority_; }
    // Applied to a running worker at once, else when it starts.
    void SetThreadPriority(platform::TThreadPriority priority);
    // The worker's thread; 0 before it started.
    platform::ThreadId WorkerThread() const { return workerThread_; }
    TGIFDrawOptions DrawOptions() const { return options_; }
    const TRect& PaintRect() const { return rect_; }
    const TGIFPaintTarget& Target() const { return target_; }
    TGIFImage* Image() const { return image_; }
    bool Terminated() const { return terminated_; }
    // A frame has been painted since the last (re)start.
    bool Started() const { return started_; }
    bool Threaded() const { return (options_ & DrawOption(goAsync)) != 0; }
    // The exception that ended the loop, if any.
    std::exception_ptr Error() const { return error_; }
    // The worker is parked: waiting for a frame's time or suspended.
    bool Waiting();
    uint64_t Id() const { return id_; }

    // Forgets the image (under its painter lock): the painter reference and the image's list no longer
    // name this painter. The buffers are freed.
    void DoOnTerminate();

    std::function<void(TGIFPainter*)> OnStartPaint, OnPaint, OnAfterPaint, OnLoop, OnEndPaint;
    // Called on the window thread after each painted frame (the image redraws what shows its bitmap).
    std::function<void()> OnFramePainted;

private:
    friend class TGIFPainterThreads;

    // The state of one run of the loop, from a (re)start to its end.
    struct Run {
        int delay = 0;
        uint32_t startTime = 0;
        int carry = 0;
        int loopCounter = 1; // -1: for ever
        int loopFirst = 0;
        bool loopSeen = false;
        TDisposalMethod previous = dmNoDisposal;
    };

    // Runs fn on the window thread (at once without goAsync); false when the painter is terminated.
    bool Synchronize(const std::function<void()>& fn);
    void Fire(const std::function<void(TGIFPainter*)>& handler);
    uint32_t Now();
    // Threaded: waits on the event for ms (or for ever when ms < 0); true when signalled.
    bool WaitEvent(int ms);
    // At once: sleeps ms in slices, handing out the loop's messages.
    void SleepPumping(int ms);
    void WaitFrame(Run& run);
    // One pass over the frames; true when it painted a frame.
    bool PaintFrames(Run& run);

    // Window thread.
    void RunStep();
    void ArmTimer(int ms, uint64_t generation);
    void SignalEvent();
    void DoPaint();
    void DoPaintFrame(TDisposalMethod current, TDisposalMethod previous);
    void RestoreBackground(TGIFSubImage& frame);
    TGIFSubImage* ActiveFrame() const;
    platform::gfx::Canvas* Canvas();
    void ThreadMain();
    // Gives the running worker the priority asked for (mutex_ held, so that it cannot end meanwhile).
    void ApplyPriority(platform::TThreadPriority priority);

    TGIFImage* image_;
    TGIFPaintTarget target_;
    TRect rect_;
    const TGIFDrawOptions options_;
    std::atomic<int> animationSpeed_;
    std::atomic<int> activeImage_{-1};
    std::atomic<bool> restart_{false};
    std::atomic<bool> started_{false};
    std::atomic<bool> terminated_{false};
    TGIFPainter** painterRef_;
    TColor backgroundColor_;
    std::unique_ptr<Bitmap> frameBuffer_, previousBuffer_, backgroundBuffer_;
    bool hasEvent_ = false;
    std::exception_ptr error_;

    // The worker and its hand-over to the window thread (guarded by mutex_).
    uint64_t id_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    const std::function<void()>* step_ = nullptr;
    std::exception_ptr stepError_;
    bool stepDone_ = false;
    bool stepRunning_ = false;
    bool paused_ = false;
    bool waiting_ = false;
    bool signalled_ = false;
    bool timerFired_ = false;
    bool finished_ = false;
    bool reapWhenIdle_ = false;
    uint64_t waitGeneration_ = 0;
    uint64_t armedGeneration_ = 0;
    int timer_ = 0;
    platform::TThreadPriority priority_ = platform::tpNormal;
    platform::TThreadPriority appliedPriority_ = platform::tpNormal;
    std::atomic<platform::ThreadId> workerThread_{0};
};

// The window thread's side of every threaded painter: it owns them, runs the steps their workers hand
// over and reaps the painters that ended. Window thread only, except Request and Poke.
class TGIFPainterThreads {
public:
    static TGIFPainterThreads& Get();

    // Takes a threaded painter; returns its id.
    uint64_t Adopt(std::unique_ptr<TGIFPainter> painter);
    bool Alive(uint64_t id) const { return painters_.count(id) != 0; }
    // Stops, forgets and destroys a painter (later, when one of its steps is running).
    void Reap(TGIFPainter* painter);
    // Runs the steps handed over so far.
    void Serve();
    // Serves until done() holds, sleeping while nothing is handed over.
    void ServeUntil(const std::function<bool()>& done);

    // Worker side: a step of painter id is waiting; something changed for ServeUntil.
    void Request(uint64_t id);
    void Poke();

    ~TGIFPainterThreads();

private:
    TGIFPainterThreads();
    void Destroy(uint64_t id);

    std::unique_ptr<platform::THiddenWindow> window_;
    std::map<uint64_t, std::unique_ptr<TGIFPainter>> painters_;
    uint64_t nextId_ = 1;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<uint64_t> queue_;
    bool poked_ = false;
};

} // namespace gif
