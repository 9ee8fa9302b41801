#include "gauges/AbFlashT.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/EventLoop.h"

namespace gauges {

namespace {

std::vector<TFlashEntry>& List() {
    static std::vector<TFlashEntry> list;
    return list;
}

// The process's flash timer: never freed at exit (the loop it belongs to is a static too).
TAbFlashTimer* theTimer = nullptr;
int instanceCount = 0;
bool manualMode = false;

constexpr double kMsPerDay = 86400000.0;
constexpr platform::TDateTime kOneSecond = 1000.0 / kMsPerDay;

int64_t NowMs() {
    return static_cast<int64_t>(platform::Clock::Get().MonotonicMs());
}

int32_t Code(int64_t interval) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(interval)));
}

bool IsBlink(int32_t code) {
    return code >= 2 && code <= 6;
}

TAbFlashTimer& EnsureTimer() {
    if (!theTimer) new TAbFlashTimer(); // registers itself as the process's timer
    return *theTimer;
}

template <class Match> void Register(Match match, TFlashEntry fresh) {
    int64_t next = NowMs() + fresh.Interval;
    bool found = false;
    for (TFlashEntry& e : List())
        if (match(e)) {
            e.Interval = fresh.Interval;
            e.Next = next;
            found = true;
        }
    if (!found) {
        fresh.Next = next;
        List().push_back(fresh);
    }
    EnsureTimer().Reschedule();
}

} // namespace

const std::vector<TFlashEntry>& FlashList() {
    return List();
}

void AddControl(platform::TControl* control, int64_t interval) {
    if (!control) return;
    Register([&](const TFlashEntry& e) { return e.Control == control; },
             TFlashEntry{control, nullptr, interval});
    // The list forgets a control that is freed without leaving it.
    theTimer->FreeNotification(control);
}

void AddProc(TFlashProc proc, int64_t interval) {
    if (!proc) return;
    Register([&](const TFlashEntry& e) { return e.Proc == proc; }, TFlashEntry{nullptr, proc, interval});
}

void DelControl(platform::TControl* control) {
    auto& list = List();
    auto it =
        std::find_if(list.begin(), list.end(), [&](const TFlashEntry& e) { return e.Control == control; });
    if (it != list.end()) list.erase(it);
}

void DelProc(TFlashProc proc) {
    auto& list = List();
    auto it = std::find_if(list.rbegin(), list.rend(), [&](const TFlashEntry& e) { return e.Proc == proc; });
    if (it != list.rend()) list.erase(std::next(it).base());
}

void DelControlNo(int16_t index) {
    auto& list = List();
    if (index < 0 || static_cast<size_t>(index) >= list.size()) return;
    list.erase(list.begin() + index);
}

void DelProcNo(int16_t index) {
    DelControlNo(index);
}

void ClearFlashList() {
    List().clear();
}

TAbFlash::TAbFlash(platform::TComponent* owner, const std::string& name) : TComponent(owner, name) {
    timerId_ = platform::EventLoop::Get().CreateTimer([this] { Timer(); });
}

TAbFlash::~TAbFlash() {
    enabled_ = false;
    onTimer_ = nullptr;
    platform::EventLoop::Get().DestroyTimer(timerId_);
}

void TAbFlash::SetEnabled(bool enabled) {
    enabled_ = enabled;
    UpdateTimer();
}

void TAbFlash::SetInterval(uint32_t ms) {
    interval_ = ms;
    UpdateTimer();
}

void TAbFlash::SetOnTimer(TNotifyEvent handler) {
    bool changed = static_cast<bool>(handler) != static_cast<bool>(onTimer_);
    onTimer_ = std::move(handler);
    if (changed) UpdateTimer();
}

bool TAbFlash::Running() const {
    return interval_ != 0 && enabled_ && onTimer_ && !manualMode;
}

void TAbFlash::UpdateTimer() {
    if (Running())
        platform::EventLoop::Get().StartTimer(timerId_, interval_);
    else
        platform::EventLoop::Get().StopTimer(timerId_);
}

void TAbFlash::ArmIn(uint64_t ms) {
    if (!Running() || ms == UINT64_MAX) {
        platform::EventLoop::Get().StopTimer(timerId_);
        return;
    }
    uint64_t delay = std::clamp<uint64_t>(ms, interval_, UINT32_MAX - 1);
    platform::EventLoop::Get().StartTimer(timerId_, static_cast<uint32_t>(delay));
}

void TAbFlash::Timer() {
    if (enabled_ && !Destroying() && onTimer_) onTimer_(this);
}

TAbFlashTimer::TAbFlashTimer(platform::TComponent* owner, const std::string& name) : TAbFlash(owner, name) {
    ++instanceCount;
    if (instanceCount == 1) {
        theTimer = this;
        startMs_ = static_cast<uint64_t>(NowMs());
        secondMark_ = platform::Now() + kOneSecond;
        SetOnTimer([this](TObject* sender) { flash(sender); });
    } else {
        platform::MessageBox("Only one TAbFlashTimer per Application!\rRemove it...", "Error Message");
    }
}

TAbFlashTimer::~TAbFlashTimer() {
    --instanceCount;
    if (theTimer == this) theTimer = nullptr;
}

int TAbFlashTimer::InstanceCount() {
    return instanceCount;
}

void TAbFlashTimer::Notification(platform::TComponent* component, platform::TOperation operation) {
    TAbFlash::Notification(component, operation);
    if (operation != platform::TOperation::opRemove) return;
    std::erase_if(List(), [&](const TFlashEntry& e) { return e.Control == component; });
}

void TAbFlashTimer::flash(TObject*) {
    int64_t now = NowMs();
    uint64_t interval = std::max<uint32_t>(Interval(), 1);
    uint64_t elapsedSlots = (static_cast<uint64_t>(now) - startMs_) / interval;
    slots_ = std::max(slots_ + 1, elapsedSlots);
    counter_ = static_cast<uint32_t>(slots_);

    bool oneSecond = false;
    platform::TDateTime wall = platform::Now();
    if (wall >= secondMark_) {
        secondMark_ = wall + kOneSecond;
        oneSecond = true;
    }

    auto deliver = [this](platform::TControl* control, TFlashProc proc, int32_t parameter) {
        try {
            if (control)
                control->Perform(WM_FLASH, counter_, parameter);
            else
                proc(static_cast<int32_t>(counter_), parameter);
        } catch (...) {
            platform::EventLoop::Get().HandleException(std::current_exception());
        }
    };

    auto& list = List();
    size_t steps = list.size();
    for (size_t i = 0; i < steps && i < list.size() && !Destroying(); ++i) {
        TFlashEntry& e = list[i];
        if (!e.Control && !e.Proc) continue;
        int32_t code = Code(e.Interval);
        int32_t parameter;
        if (IsBlink(code)) {
            bool state = (counter_ >> code) & 1u;
            if (state == e.State) continue;
            e.State = state;
            parameter = state ? 1 : 0;
        } else if (code == 27) {
            if (!oneSecond) continue;
            parameter = 0;
        } else {
            if (now < e.Next) continue;
            int64_t late = now - e.Next;
            int64_t correction = late > 1000 ? 0 : late;
            e.Next = now + e.Interval - correction;
            parameter = static_cast<int32_t>(correction);
        }
        // The entry may be gone once the handler returns: only copies are used.
        deliver(e.Control, e.Proc, parameter);
    }
    Reschedule();
}

uint64_t TAbFlashTimer::NextDelay() {
    int64_t now = NowMs();
    uint64_t best = UINT64_MAX;
    for (const TFlashEntry& e : List()) {
        if (!e.Control && !e.Proc) continue;
        int32_t code = Code(e.Interval);
        uint64_t delay;
        if (IsBlink(code)) {
            uint32_t period = 1u << code;
            delay = static_cast<uint64_t>(period - (counter_ & (period - 1))) * Interval();
        } else if (code == 27) {
            double ms = (secondMark_ - platform::Now()) * kMsPerDay;
            delay = ms > 0 ? static_cast<uint64_t>(std::ceil(std::min(ms, 1000.0))) : 0;
        } else {
            delay = e.Next > now ? static_cast<uint64_t>(e.Next - now) : 0;
        }
        best = std::min(best, delay);
    }
    return best;
}

void TAbFlashTimer::Reschedule() {
    if (theTimer == this) ArmIn(NextDelay());
}

TAbFlashTimer* FlashTimer() {
    return theTimer;
}

void SetFlashManualMode(bool manual) {
    manualMode = manual;
    if (theTimer) theTimer->Reschedule();
}

bool FlashManualMode() {
    return manualMode;
}

void RunFlashPass() {
    if (theTimer) theTimer->Timer();
}

void ResetFlashTimer() {
    delete theTimer;
    ClearFlashList();
}

} // namespace gauges
