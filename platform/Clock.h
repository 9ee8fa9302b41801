#pragma once
// The one clock of the program. Every tick count, wall-clock read, local-time conversion and sleep
// above platform/ goes through Clock::Get(), so that tests can run days of station time in seconds.
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// Broken-down local time; the same fields as struct tm, with a four-digit year.
struct LocalTime {
    int year = 1970; // four digits
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int hundredths = 0;
    int weekday = 4; // 0 = Sunday
    int yearday = 0; // 0..365
    bool isDst = false;
};

class Clock {
public:
    virtual ~Clock() = default;

    // Milliseconds since an arbitrary start; wraps at 2^32 like the OS tick count.
    virtual uint32_t TickCount() = 0;
    // Milliseconds since an arbitrary start on a 64-bit monotonic count that never wraps.
    virtual uint64_t MonotonicMs() = 0;
    // Milliseconds since 1970-01-01 UTC.
    virtual int64_t UnixTimeMs() = 0;
    // A finer count for measuring short spans (the benchmarks' clients): microseconds since an
    // arbitrary start; the simulated clock gives its ticks in microseconds.
    virtual int64_t MicrosecondCount() = 0;
    // Blocks (real) or advances (simulated) for ms milliseconds. Does not pump messages.
    virtual void Sleep(uint32_t ms) = 0;
    // A simulated clock: time passes only when it is told to (Sleep and the idle jumps below).
    virtual bool IsSimulated() const { return false; }
    // How an idle event loop spends the `ms` until its next timer (UINT32_MAX when none is armed):
    // `poll(timeoutMs)` waits on the loop's descriptors (-1: without limit) and says whether anything
    // became ready; IdleWait returns what it said. The machine's clock blocks in it the whole time, a
    // time-out too large for poll() clamped (the loop then simply waits again).
    virtual bool IdleWait(uint32_t ms, const std::function<bool(int timeoutMs)>& poll);

    int64_t UnixTime() { return UnixTimeMs() / 1000; }

    // Local time through the current time zone (SetTimeZone).
    LocalTime ToLocal(int64_t unixSeconds);
    LocalTime Now();
    // The same fields in UTC (no zone involved; isDst clear).
    static LocalTime ToUtc(int64_t unixSeconds);
    // Local fields to seconds since 1970 (mktime semantics, isDst guessed).
    int64_t FromLocal(int year, int month, int day, int hour, int minute, int second);

    // The time zone used for every local-time conversion: a POSIX TZ string ("CET-1CEST,M3.5.0,M10.5.0/3")
    // or empty for the machine's own zone.
    static void SetTimeZone(const std::string& tz);
    // Seconds west of UTC of standard time, and whether the zone has daylight saving at all.
    static long ZoneSecondsWest();
    static bool ZoneHasDaylight();

    // Inline: the simulated net asks for every slot it spends.
    static Clock& Get() { return current_ != nullptr ? *current_ : Installed(); }
    // Installs a clock for the whole program (tests install a SimulatedClock). Returns the old one.
    static std::shared_ptr<Clock> Install(std::shared_ptr<Clock> clock);
    // How many clocks were installed so far: a caller that keeps what it learnt of the installed clock
    // (the simulated net, which spends bus time on it every millisecond) knows when to learn again.
    static uint64_t Installs() { return installs_; }

private:
    static Clock& Installed(); // the machine's clock until another is installed
    static inline Clock* current_ = nullptr;
    static inline uint64_t installs_ = 0;
};

// The machine's clocks.
class RealClock : public Clock {
public:
    uint32_t TickCount() override;
    uint64_t MonotonicMs() override;
    int64_t UnixTimeMs() override;
    int64_t MicrosecondCount() override;
    void Sleep(uint32_t ms) override;
};

// A clock that only moves when told to: Sleep and Advance move ticks and wall time together.
class SimulatedClock : public Clock {
public:
    explicit SimulatedClock(int64_t unixTimeMs = 1765029789000LL /* 2025-12-06 14:03:09 UTC */,
                            uint32_t startTick = 1000000);
    uint32_t TickCount() override { return tick_; }
    // Starts at the start tick and moves with Advance; SetTick leaves it alone.
    uint64_t MonotonicMs() override { return monotonicMs_; }
    int64_t UnixTimeMs() override { return wallMs_; }
    int64_t MicrosecondCount() override { return static_cast<int64_t>(tick_) * 1000; }
    void Sleep(uint32_t ms) final { Advance(ms); }
    bool IsSimulated() const override { return true; }
    // Ready descriptors first; otherwise the clock jumps to the next timer at once. With no timer armed
    // it waits a moment of real time, for peers on other threads.
    bool IdleWait(uint32_t ms, const std::function<bool(int timeoutMs)>& poll) override;

    void Advance(uint64_t ms) {
        tick_ = static_cast<uint32_t>(tick_ + ms);
        monotonicMs_ += ms;
        wallMs_ += static_cast<int64_t>(ms);
        totalSleptMs_ += ms;
    }
    void SetTick(uint32_t tick) { tick_ = tick; }
    void SetMonotonicMs(uint64_t ms) { monotonicMs_ = ms; }
    void SetUnixTimeMs(int64_t ms) { wallMs_ = ms; }
    uint64_t TotalAdvancedMs() const { return totalSleptMs_; }

private:
    uint32_t tick_;
    uint64_t monotonicMs_;
    int64_t wallMs_;
    uint64_t totalSleptMs_ = 0;
};

// Wrap-safe tick arithmetic: the milliseconds from `then` to `now` on a 32-bit tick counter.
inline uint32_t TicksElapsed(uint32_t now, uint32_t then) {
    return static_cast<uint32_t>(now - then);
}

// Shorthands for the installed clock.
inline uint32_t GetTickCount() {
    return Clock::Get().TickCount();
}
inline void Sleep(uint32_t ms) {
    Clock::Get().Sleep(ms);
}
inline int64_t UnixTime() {
    return Clock::Get().UnixTime();
}

} // namespace platform
