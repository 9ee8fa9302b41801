#pragma once
// A run of one event that may last for days (a thermometer that truly sits at its power-on 85 C, a
// counter whose count dips and comes back): the first event of a run is told at once, later ones at
// most once an hour with how many came since the last line, and the end of the run gives the count not
// yet told. A run ends when its owner says so (Ended), or once no event came for kQuietMs (Quiet): the
// next event starts a new run, told at once. The clock is passed in (monotonic ms).
// A fault that each success ends is TFaultRun's; a run told only at its start, RunOfFailures'.
#include <cstdint>
#include <string>

namespace platform {
class Clock;
}

class THourlyRun {
public:
    static constexpr uint64_t kHourMs = 3600u * 1000u;
    // Twenty minutes: events of one cause that keep coming stay one run (a sensor at 85 C reads 85.0 at
    // least every other reading, at read intervals up to ten minutes; a flaky count dips again within
    // minutes), and an event after a quiet spell is news (a thermometer stuck again after half an hour of
    // true readings), told at once rather than counted into a line that may be most of an hour away.
    static constexpr uint64_t kQuietMs = 20u * 60u * 1000u;

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
    // A run is going on and has had no event for kQuietMs by nowMs: it is over, and Ended tells what it
    // left untold.
    bool Quiet(uint64_t nowMs) const { return running_ && nowMs - lastMs_ >= kQuietMs; }
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
