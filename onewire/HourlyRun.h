#pragma once
// A run of one event that may last for days (a thermometer that truly sits at its power-on 85 C): the
// first event of a run is told at once, later ones at most once an hour with how many came since the last
// line, and the end of the run gives the count not yet told. The clock is passed in (monotonic ms).
// A fault that each success ends is TFaultRun's; a run told only at its start, RunOfFailures'.
#include <cstdint>

class THourlyRun {
public:
    static constexpr uint64_t kHourMs = 3600u * 1000u;

    // An event of the run at nowMs: how many to tell now (this one and those counted since the last
    // line), or 0 while that line is less than an hour old.
    unsigned Occurred(uint64_t nowMs) {
        ++untold_;
        if (running_ && nowMs - toldMs_ < kHourMs) return 0;
        running_ = true;
        toldMs_ = nowMs;
        const unsigned count = untold_;
        untold_ = 0;
        return count;
    }
    // The run ends: how many of its events were not told (0 for none, or when no run was going on).
    unsigned Ended() {
        running_ = false;
        const unsigned count = untold_;
        untold_ = 0;
        return count;
    }

private:
    bool running_ = false;
    uint64_t toldMs_ = 0;
    unsigned untold_ = 0;
};
