#pragma once
// The flash list: the one clock of the gauge controls (trend recording, blinking pointers and lamps,
// repeating buttons). Controls and plain procedures register with an interval; the process's single
// flash timer walks the list on the window thread and, for every entry that is due, sends WM_FLASH to
// the control (through Perform, synchronously) or calls the procedure.
//
// Intervals: 2 .. 6 blink (delivered when bit n of the tick counter changes, parameter = the new bit),
// 27 once a second (parameter 0), anything else a period in milliseconds (parameter = the lateness, 0
// when above 1000). Codes are recognised on the low 32 bits of the 64-bit interval.
//
// Timing: the tick counter counts 16 ms slots (wParam of WM_FLASH, 32 bits, wrapping). Timed entries
// use a 64-bit monotonic millisecond clock (Clock::MonotonicMs): an entry is due when now >= Next; then
// Next = now + Interval - lateness (lateness up to 1000 ms is made up, more is not), so the cadence is
// kept and nothing stalls when a 32-bit tick count wraps. The timer is a timer of the event loop armed
// for the next due entry (never sooner than one slot), so an idle station does not wake every 16 ms.
// In manual mode (tests) no loop timer is armed: RunFlashPass runs a pass on the installed clock.
//
// Every delivery is guarded: an exception from a handler goes to the loop's exception handler and the
// later entries and ticks still run. A control freed while registered leaves the list by itself.
#include <cstdint>
#include <functional>
#include <vector>

#include "gauges/GClass.h"
#include "platform/Component.h"
#include "platform/DateTime.h"
#include "platform/ThreadPriority.h"
#include "platform/controls/Control.h"

namespace gauges {

inline constexpr uint32_t WM_FLASH = 0x464; // WM_USER + 100

using TFlashProc = void (*)(int32_t counter, int32_t parameter);

struct TFlashEntry {
    platform::TControl* Control = nullptr;
    TFlashProc Proc = nullptr;
    int64_t Interval = 0;
    int64_t Next = 0;   // monotonic ms when a timed entry is due
    bool State = false; // the last state a blinking entry handed out
};

// Registering again replaces the interval (and restarts the period) instead of adding an entry.
void AddControl(platform::TControl* control, int64_t interval);
void AddProc(TFlashProc proc, int64_t interval);
// Remove the first entry of the control (searched from the front) or procedure (from the back).
void DelControl(platform::TControl* control);
void DelProc(TFlashProc proc);
// Remove the entry at an index; an index at or beyond the count is ignored.
void DelControlNo(int16_t index);
void DelProcNo(int16_t index);
void ClearFlashList();
const std::vector<TFlashEntry>& FlashList();

using TThreadPriority = platform::TThreadPriority;
using enum platform::TThreadPriority;

// A component that calls OnTimer on the window thread every Interval ms while Enabled and OnTimer is
// assigned.
class TAbFlash : public platform::TComponent {
public:
    explicit TAbFlash(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TAbFlash() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t ms);
    // Kept for the settings; the timer runs on the loop's thread whatever it says.
    TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(TThreadPriority p) { priority_ = p; }
    const TNotifyEvent& OnTimer() const { return onTimer_; }
    void SetOnTimer(TNotifyEvent handler);

    virtual void Timer();

protected:
    void UpdateTimer();
    // The next call of Timer comes in `ms` (never sooner than Interval); UINT64_MAX = none until re-armed.
    void ArmIn(uint64_t ms);
    bool Running() const;

private:
    bool enabled_ = true;
    uint32_t interval_ = 16;
    TThreadPriority priority_ = tpNormal;
    TNotifyEvent onTimer_;
    int timerId_;
};

// The single flash timer of the process; it serves the flash list.
class TAbFlashTimer : public TAbFlash {
public:
    explicit TAbFlashTimer(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TAbFlashTimer() override;

    // One pass over the flash list.
    void flash(TObject* sender);
    // Re-arms the loop timer for the next due entry (after the list changed).
    void Reschedule();

    static int InstanceCount();
    uint32_t TickCounter() const { return counter_; }

protected:
    void Notification(platform::TComponent* component, platform::TOperation operation) override;

private:
    uint64_t NextDelay();
    uint32_t counter_ = 0;
    uint64_t slots_ = 0;   // 16 ms slots counted since the start (the counter before wrapping)
    uint64_t startMs_ = 0; // monotonic ms at construction
    platform::TDateTime secondMark_ = 0;
};

// The process's flash timer, created by the first registration (null before).
TAbFlashTimer* FlashTimer();
// Manual mode: no loop timer is armed; RunFlashPass runs one pass (tests).
void SetFlashManualMode(bool manual);
bool FlashManualMode();
void RunFlashPass();
// Frees the flash timer and empties the list (tests start from a clean state).
void ResetFlashTimer();

} // namespace gauges
