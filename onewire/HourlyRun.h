#pragma once
// A run of one event that may last for days (a thermometer that truly sits at its power-on 85 C, a
// counter whose count dips and comes back): the first event of a run is told at once, later ones at
// most once an hour with how many came since the last line, and the end of the run gives the count not
// yet told. A run ends when its owner says so (Ended), or once no event came for its quiet time (Quiet,
// QuietMs: it grows with the owner's read interval): the next event starts a new run, told at once. The
// clock and the read interval are passed in (monotonic ms, seconds).
// A fault that each success ends is TFaultRun's; a run told only at its start, RunOfFailures'.
#include <cstdint>
#include <string>

namespace platform {
class Clock;
}

class THourlyRun {
public:
    static constexpr uint64_t kHourMs = 3600u * 1000u;
    // The quiet time: kQuietReadIntervals of the owner's read intervals, and never less than kQuietMs,
    // twenty minutes (an hour for a sensor read every twenty minutes). Events of one cause that keep coming
    // stay one run (a sensor at 85 C reads 85.0 at least every other reading, its turn a little late at
    // times; a flaky count dips again within a few reads), and an event after a quiet spell is news (a
    // thermometer stuck again after a spell of true readings), told at once rather than counted into a line
    // that may be most of an hour away.
    static constexpr uint64_t kQuietMs = 20u * 60u * 1000u;
    static constexpr unsigned kQuietReadIntervals = 3;
    // The quiet time of a run whose owner is read every `readIntervalSeconds` (0 or less: not told yet).
    static uint64_t QuietMs(int readIntervalSeconds);

    // An event of the run at nowMs: how many to tell now (this one and those counted since the last
    // line), or 0 while that line is less than an hour old. Ask Quiet first: an event after a quiet
    // spell belongs to a new run.
    unsigned Occurred(uint64_t nowMs) {
        ++untold_;
        lastMs_ = nowMs;
        if (running_ && nowMs - toldMs_ < kHourMs) return 0;
        running_ = true;
        toldMs_ = nowMs;
        const unsigned count = untold_;
        untold_ = 0;
        return count;
    }
    // A run is going on and has had no event for its quiet time by nowMs: it is over, and Ended tells
    // what it left untold.
    bool Quiet(uint64_t nowMs, int readIntervalSeconds) const {
        return running_ && nowMs - lastMs_ >= QuietMs(readIntervalSeconds);
    }
    // The run ends: what its ending line says after its subject, " 14 more times since the last such
    // line, the last at 14:03:22" (the local time of day of its last event by `clock`, with the date
    // before it when that was not today: "05.12.2026 23:58:40"); empty when it left nothing untold, or no
    // run was going on.
    std::string Ended(platform::Clock& clock);

private:
    bool running_ = false;
    uint64_t toldMs_ = 0;
    uint64_t lastMs_ = 0;
    unsigned untold_ = 0;
};
