// The animation painter: the painting loop, the hand-over of its steps to the window thread, frame
// timing, and painting a frame with its disposal method. See GifPainter.h.
#include "gif/GifPainter.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/graphics/Canvas.h"

namespace gif {

using namespace platform::gfx;
using platform::EventLoop;

namespace {

// Posted to the painters' window when a worker has handed over a step.
constexpr uint32_t WM_PAINTERSTEP = 0x8FFF;

bool Has(TGIFDrawOptions options, TGIFDrawOption o) {
    return (options & DrawOption(o)) != 0;
}

// a x b / c rounded half away from zero, as the platform's MulDiv.
int MulDiv(int64_t a, int64_t b, int64_t c) {
    int64_t p = a * b;
    int64_t q = p >= 0 ? (p + c / 2) / c : -((-p + c / 2) / c);
    return static_cast<int>(std::clamp<int64_t>(q, INT32_MIN, INT32_MAX));
}

std::unique_ptr<Bitmap> CopyOf(Canvas* canvas, const TRect& rect) {
    auto b = std::make_unique<Bitmap>(rect.Width(), rect.Height());
    if (canvas) b->GetCanvas().CopyRect({0, 0, rect.Width(), rect.Height()}, *canvas, rect);
    return b;
}

// Plain source copy of a bitmap into a canvas, whatever copy mode the canvas has.
void CopyInto(Canvas& canvas, const TRect& dest, const Bitmap& source, const TRect& sourceRect) {
    uint32_t mode = canvas.CopyMode;
    canvas.CopyMode = SRCCOPY;
    canvas.CopyRectFrom(dest, source, sourceRect);
    canvas.CopyMode = mode;
}

} // namespace

// ---- creation and control ----

TGIFPainter::TGIFPainter(TGIFImage* image, const TGIFPaintTarget& target, const TRect& rect,
                         TGIFDrawOptions options, TGIFPainter** painterRef)
    : image_(image), target_(target), rect_(rect), options_(options),
      animationSpeed_(image ? image->AnimationSpeed() : 100), painterRef_(painterRef) {
    if (painterRef_) *painterRef_ = this;
    if (!image_) return;
    hasEvent_ = Threaded() && Has(options_, goAnimate) && image_->Images.Count() > 1;
    if (image_->DrawBackgroundColor != clNone)
        backgroundColor_ = image_->DrawBackgroundColor;
    else if (image_->Header.ColorMap.Count() == 0)
        backgroundColor_ = clWindow;
    else
        backgroundColor_ = image_->BackgroundColor();
    bool background = Has(options_, goClearOnLoop), previous = false;
    for (int i = 0; i < image_->Images.Count(); ++i) {
        TGIFSubImage* f = image_->Images.Image(i);
        if (!f->GraphicControlExtension) continue;
        background |= f->GraphicControlExtension->Disposal() == dmBackground;
        previous |= f->GraphicControlExtension->Disposal() == dmPrevious;
    }
    if (rect_.IsEmpty()) return;
    if (background && Has(options_, goTransparent)) backgroundBuffer_ = CopyOf(Canvas(), rect_);
    if (background || previous) {
        frameBuffer_ = CopyOf(Canvas(), rect_);
        previousBuffer_ = std::make_unique<Bitmap>(rect_.Width(), rect_.Height());
    }
}

TGIFPainter::~TGIFPainter() {
    Stop();
    if (thread_.joinable()) thread_.join();
    if (timer_) EventLoop::Get().DestroyTimer(timer_);
}

void TGIFPainter::Start() {
    if (!Threaded()) return;
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
    }
    wake_.notify_all();
    if (!thread_.joinable() && !finished_) {
        thread_ = std::thread([this] { ThreadMain(); });
        if (priority_ != platform::tpNormal) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return workerThread_ != 0; });
            ApplyPriority(priority_);
        }
    }
}

void TGIFPainter::SetThreadPriority(platform::TThreadPriority priority) {
    priority_ = priority;
    std::lock_guard lock(mutex_);
    ApplyPriority(priority_);
}

void TGIFPainter::ApplyPriority(platform::TThreadPriority priority) {
    if (workerThread_ == 0 || finished_ || priority == appliedPriority_) return;
    if (platform::ApplyThreadPriority(workerThread_, priority)) appliedPriority_ = priority;
}

void TGIFPainter::Stop() {
    terminated_ = true;
    if (!Threaded()) return;
    if (timer_) EventLoop::Get().StopTimer(timer_);
    {
        std::lock_guard lock(mutex_);
        if (hasEvent_) signalled_ = true;
        paused_ = false;
        ApplyPriority(platform::tpNormal);
    }
    wake_.notify_all();
}

void TGIFPainter::Restart() {
    restart_ = true;
    if (Threaded()) Start();
}

void TGIFPainter::Suspend() {
    if (!Threaded()) return;
    std::lock_guard lock(mutex_);
    paused_ = true;
}

bool TGIFPainter::Waiting() {
    std::lock_guard lock(mutex_);
    return waiting_;
}

void TGIFPainter::SetAnimationSpeed(int value) {
    value = std::clamp(value, 0, 1000);
    if (value == animationSpeed_) return;
    animationSpeed_ = value;
    if (hasEvent_)
        SignalEvent();
    else
        restart_ = true;
}

void TGIFPainter::SetActiveImage(int value) {
    if (image_ && value >= 0 && value < image_->Images.Count()) activeImage_ = value;
}

void TGIFPainter::DoOnTerminate() {
    if (!image_) return;
    std::lock_guard lock(image_->PainterLock());
    if (painterRef_ && *painterRef_ == this) *painterRef_ = nullptr;
    painterRef_ = nullptr;
    image_->RemovePainter(this);
    image_ = nullptr;
}

// ---- the painting loop ----

void TGIFPainter::Execute() {
    try {
        restart_ = true;
        while (restart_ && !terminated_) {
            activeImage_ = 0;
            Fire(OnStartPaint);
            started_ = false;
            restart_ = false;
            Run run;
            run.delay = Threaded() ? 0 : 1;
            run.startTime = Now();
            for (;;) {
                if ((run.loopCounter == 0 && !Has(options_, goLoopContinously)) || terminated_ || restart_)
                    break;
                activeImage_ = run.loopFirst;
                if (started_) Fire(OnLoop);
                bool paintedAny = PaintFrames(run);
                if (run.loopCounter > 0) --run.loopCounter;
                if (!Has(options_, goAnimate) || !Has(options_, goLoop)) break;
                // A pass that shows no frame would come round again at once, for ever.
                if (!paintedAny) break;
            }
        }
        activeImage_ = -1;
        Fire(OnEndPaint);
    } catch (...) {
        terminated_ = true;
        error_ = std::current_exception();
    }
}

bool TGIFPainter::PaintFrames(Run& run) {
    bool paintedAny = false;
    do {
        bool stop = true;
        Synchronize([&] {
            TGIFSubImage* f = ActiveFrame();
            stop = !f || f->Empty();
        });
        if (stop || terminated_ || restart_) break;
        if (run.delay > 0) WaitFrame(run);
        if (terminated_) break;
        Fire(OnPaint);
        if (terminated_) break;
        TDisposalMethod current = dmNoDisposal;
        int nextDelay = GIFDefaultDelay;
        Synchronize([&] {
            TGIFSubImage* f = ActiveFrame();
            if (!f) return;
            for (int i = 0; i < f->Extensions.Count(); ++i) {
                TGIFExtension* ext = f->Extensions.Extension(i);
                if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(ext); loop && !run.loopSeen) {
                    run.loopSeen = true;
                    run.loopCounter = loop->Loops;
                    if (Threaded() && (loop->Loops == 0 || Has(options_, goLoopContinously)))
                        run.loopCounter = -1;
                    run.loopFirst = activeImage_;
                } else if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(ext)) {
                    current = gce->Disposal();
                }
            }
            if (frameBuffer_)
                DoPaintFrame(current, run.previous);
            else
                DoPaint();
            if (f->GraphicControlExtension && f->GraphicControlExtension->Delay != 0) {
                nextDelay = std::max<int>(f->GraphicControlExtension->Delay, GIFMinimumDelay);
                if (!Threaded()) nextDelay = std::min(nextDelay, GIFMaximumDelay);
            }
            if (OnFramePainted) OnFramePainted();
        });
        run.previous = current;
        if (terminated_) break;
        paintedAny = true;
        run.delay = nextDelay;
        int before = activeImage_;
        Fire(OnAfterPaint);
        if (terminated_) break;
        if (activeImage_ == before) ++activeImage_;
    } while (Has(options_, goAnimate));
    return paintedAny;
}

void TGIFPainter::WaitFrame(Run& run) {
    // The frame is decoded before the time is taken, so that decoding does not count as waiting.
    Synchronize([&] {
        if (TGIFSubImage* f = ActiveFrame(); f && !f->Empty()) f->GetBitmap();
    });
    uint32_t now = Now();
    int speed = animationSpeed_;
    int wait;
    if (speed < 1) {
        wait = Threaded() ? -1 : GIFMaximumDelay * GIFDelayExp;
    } else {
        int64_t elapsed = (static_cast<int64_t>(platform::TicksElapsed(now, run.startTime)) - run.carry) / 2;
        wait = MulDiv(int64_t{run.delay} * GIFDelayExp - elapsed, 100, speed);
        run.carry = wait;
    }
    run.startTime = now;
    if (!Threaded()) {
        SleepPumping(std::max(wait, 1));
        return;
    }
    bool signalled = false;
    if (wait >= 1)
        signalled = WaitEvent(wait);
    else if (speed == 0)
        signalled = WaitEvent(-1);
    if (signalled) {
        run.carry = 0;
        run.startTime = Now();
    }
}

void TGIFPainter::Fire(const std::function<void(TGIFPainter*)>& handler) {
    Synchronize([&] {
        std::function<void(TGIFPainter*)> h = handler; // the handler may replace itself
        if (h) h(this);
    });
}

uint32_t TGIFPainter::Now() {
    if (!Threaded()) return platform::Clock::Get().TickCount();
    uint32_t now = 0;
    Synchronize([&] { now = platform::Clock::Get().TickCount(); });
    return now;
}

// ---- waiting ----

bool TGIFPainter::Synchronize(const std::function<void()>& fn) {
    if (!Threaded()) {
        if (terminated_) return false;
        fn();
        return true;
    }
    {
        std::unique_lock lock(mutex_);
        if (paused_ && !terminated_) {
            waiting_ = true;
            lock.unlock();
            TGIFPainterThreads::Get().Poke();
            lock.lock();
            wake_.wait(lock, [&] { return !paused_ || terminated_; });
            waiting_ = false;
        }
        if (terminated_) return false;
        step_ = &fn;
        stepDone_ = false;
        stepError_ = nullptr;
    }
    TGIFPainterThreads::Get().Request(id_);
    std::unique_lock lock(mutex_);
    // A step that has begun is waited for even when the painter is stopped meanwhile: fn lives here.
    wake_.wait(lock, [&] { return stepDone_ || (terminated_ && !stepRunning_); });
    step_ = nullptr;
    if (stepError_) {
        std::exception_ptr error = stepError_;
        stepError_ = nullptr;
        std::rethrow_exception(error);
    }
    return stepDone_;
}

bool TGIFPainter::WaitEvent(int ms) {
    uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        generation = ++waitGeneration_;
        timerFired_ = false;
    }
    if (ms >= 0 && !Synchronize([&] { ArmTimer(ms, generation); })) return false;
    std::unique_lock lock(mutex_);
    waiting_ = true;
    lock.unlock();
    TGIFPainterThreads::Get().Poke();
    lock.lock();
    wake_.wait(lock, [&] { return signalled_ || timerFired_ || terminated_; });
    waiting_ = false;
    bool signalled = signalled_;
    signalled_ = false; // an auto-reset event
    return signalled;
}

void TGIFPainter::ArmTimer(int ms, uint64_t generation) {
    if (!timer_)
        timer_ = EventLoop::Get().CreateTimer([this] {
            EventLoop::Get().StopTimer(timer_);
            {
                std::lock_guard lock(mutex_);
                if (armedGeneration_ == waitGeneration_) timerFired_ = true;
            }
            wake_.notify_all();
        });
    {
        std::lock_guard lock(mutex_);
        // Signalled already: the wait ends at once, and no timer is left to move a simulated clock on.
        if (signalled_ || terminated_) return;
        armedGeneration_ = generation;
    }
    EventLoop::Get().StartTimer(timer_, static_cast<uint32_t>(std::max(ms, 1)));
}

void TGIFPainter::SignalEvent() {
    if (timer_) EventLoop::Get().StopTimer(timer_);
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    wake_.notify_all();
}

void TGIFPainter::SleepPumping(int ms) {
    platform::Clock& clock = platform::Clock::Get();
    EventLoop& loop = EventLoop::Get();
    int remaining = ms;
    while (remaining > 0 && !terminated_ && !restart_) {
        uint32_t before = clock.TickCount();
        clock.Sleep(static_cast<uint32_t>(std::min(remaining, 100)));
        remaining -= std::max<int>(1, static_cast<int>(platform::TicksElapsed(clock.TickCount(), before)));
        loop.ProcessMessages();
        // The application was asked to end: the painting ends, and the request stays for the application.
        if (loop.Terminated()) terminated_ = true;
    }
}

void TGIFPainter::ThreadMain() {
    {
        std::lock_guard lock(mutex_);
        workerThread_ = platform::CurrentThreadId();
    }
    wake_.notify_all();
    Execute();
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    TGIFPainterThreads::Get().Request(id_);
}

// ---- window thread: steps and painting ----

void TGIFPainter::RunStep() {
    const std::function<void()>* fn;
    {
        std::lock_guard lock(mutex_);
        if (!step_ || stepDone_ || terminated_) return;
        fn = step_;
        stepRunning_ = true;
    }
    std::exception_ptr error;
    try {
        (*fn)();
    } catch (...) {
        error = std::current_exception();
    }
    {
        std::lock_guard lock(mutex_);
        stepRunning_ = false;
        stepDone_ = true;
        stepError_ = error;
    }
    wake_.notify_all();
}

TGIFSubImage* TGIFPainter::ActiveFrame() const {
    int i = activeImage_;
    if (!image_ || i < 0 || i >= image_->Images.Count()) return nullptr;
    return image_->Images.Image(i);
}

Canvas* TGIFPainter::Canvas() {
    return target_.Canvas();
}

void TGIFPainter::DoPaint() {
    TGIFSubImage* f = ActiveFrame();
    if (platform::gfx::Canvas* canvas = Canvas(); canvas && f)
        f->Draw(*canvas, rect_, Has(options_, goTransparent), Has(options_, goTile));
    started_ = true;
}

void TGIFPainter::DoPaintFrame(TDisposalMethod current, TDisposalMethod previous) {
    if (Has(options_, goValidateCanvas) && !target_.Valid()) {
        terminated_ = true;
        return;
    }
    TGIFSubImage* f = ActiveFrame();
    if (!f) return;
    platform::gfx::Canvas* canvas = Canvas();
    bool transparent = Has(options_, goTransparent), tile = Has(options_, goTile);
    bool clearFirst = Has(options_, goClearOnLoop) && activeImage_ == 0;
    TRect whole{0, 0, rect_.Width(), rect_.Height()};
    // Where the frame is drawn: the frame buffer; for "restore previous" after a frame that stays, the
    // canvas itself (the buffer keeps the picture without this frame); after one that is removed, the
    // previous buffer over a copy of the frame buffer.
    Bitmap* target = frameBuffer_.get();
    if (current == dmPrevious) {
        if (previous == dmNone || previous == dmNoDisposal) {
            target = nullptr;
        } else {
            CopyInto(previousBuffer_->GetCanvas(), whole, *frameBuffer_, whole);
            target = previousBuffer_.get();
        }
    }
    if (clearFirst) RestoreBackground(*f);
    if (target) {
        f->Draw(target->GetCanvas(), whole, transparent, tile);
        if (canvas) CopyInto(*canvas, rect_, *target, whole);
    } else if (canvas) {
        f->Draw(*canvas, rect_, transparent, tile);
    }
    if (current == dmBackground) RestoreBackground(*f);
    started_ = true;
}

void TGIFPainter::RestoreBackground(TGIFSubImage& frame) {
    platform::gfx::Canvas& buffer = frameBuffer_->GetCanvas();
    TRect whole{0, 0, rect_.Width(), rect_.Height()};
    std::vector<TRect> areas;
    int w = image_ ? image_->Width() : 0, h = image_ ? image_->Height() : 0;
    if (Has(options_, goTile) && w > 0 && h > 0 && frame.Width() != w && frame.Height() != h) {
        for (int y = frame.Top(); y < whole.Bottom; y += h)
            for (int x = frame.Left(); x < whole.Right; x += w)
                areas.push_back({x, y, x + frame.Width(), y + frame.Height()});
    } else {
        areas.push_back(frame.ScaleRect(whole));
    }
    for (const TRect& r : areas) {
        if (Has(options_, goTransparent) && backgroundBuffer_) {
            CopyInto(buffer, r, *backgroundBuffer_, r);
        } else {
            buffer.Brush.Color = backgroundColor_;
            buffer.Brush.Style = bsSolid;
            buffer.FillRect(r);
        }
    }
}

// ---- the painters' window ----

TGIFPainterThreads& TGIFPainterThreads::Get() {
    static TGIFPainterThreads threads;
    return threads;
}

TGIFPainterThreads::TGIFPainterThreads()
    : window_(std::make_unique<platform::THiddenWindow>([this](platform::TMessage& message) {
          if (message.Msg == WM_PAINTERSTEP) Serve();
      })) {}

TGIFPainterThreads::~TGIFPainterThreads() {
    painters_.clear();
}

uint64_t TGIFPainterThreads::Adopt(std::unique_ptr<TGIFPainter> painter) {
    uint64_t id = nextId_++;
    painter->id_ = id;
    painters_[id] = std::move(painter);
    return id;
}

void TGIFPainterThreads::Reap(TGIFPainter* painter) {
    painter->Stop();
    bool busy;
    {
        std::lock_guard lock(painter->mutex_);
        busy = painter->stepRunning_;
        if (busy) painter->reapWhenIdle_ = true;
    }
    if (busy) {
        // One of its steps is on the stack: it is forgotten now and freed when the step returns.
        painter->DoOnTerminate();
        return;
    }
    if (painter->thread_.joinable()) painter->thread_.join();
    TGIFImage* image = painter->image_;
    std::exception_ptr error = painter->error_;
    uint64_t id = painter->id_;
    painter->DoOnTerminate();
    Destroy(id);
    if (error && image) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            image->Warning(image, gsError, e.what());
        } catch (...) {
            image->Warning(image, gsError, "Painter failed");
        }
    }
}

void TGIFPainterThreads::Destroy(uint64_t id) {
    auto it = painters_.find(id);
    if (it == painters_.end()) return;
    std::unique_ptr<TGIFPainter> painter = std::move(it->second);
    painters_.erase(it);
}

void TGIFPainterThreads::Request(uint64_t id) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(id);
    }
    changed_.notify_all();
    // One message per step: a message the loop drops unseen (its queue reset) then loses nothing.
    platform::PostMessage(window_->Handle(), WM_PAINTERSTEP);
}

void TGIFPainterThreads::Poke() {
    {
        std::lock_guard lock(mutex_);
        poked_ = true;
    }
    changed_.notify_all();
}

void TGIFPainterThreads::Serve() {
    for (;;) {
        uint64_t id;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return;
            id = queue_.front();
            queue_.pop_front();
        }
        auto it = painters_.find(id);
        if (it == painters_.end()) continue;
        TGIFPainter* painter = it->second.get();
        painter->RunStep();
        bool reap;
        {
            std::lock_guard lock(painter->mutex_);
            reap = painter->reapWhenIdle_ || (painter->finished_ && !painter->stepRunning_);
        }
        if (reap) Reap(painter);
    }
}

void TGIFPainterThreads::ServeUntil(const std::function<bool()>& done) {
    for (;;) {
        Serve();
        if (done()) return;
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !queue_.empty() || poked_; });
        poked_ = false;
    }
}

} // namespace gif
