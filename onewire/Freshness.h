#pragma once
// When a sensor's values count as current. A sensor read on its turns keeps them current; one that has
// not read its device for kCurrentReadIntervals of its read intervals (and never less than
// kCurrentAtLeastSeconds, so that a busy minute or a short adapter outage does not blank a value) has
// values the station no longer publishes as current. A new sensor counts from the moment it was made:
// its first reads are still to come.
#include <cstdint>

inline constexpr int kCurrentReadIntervals = 5;
inline constexpr int kCurrentAtLeastSeconds = 120;

class TFreshness {
public:
    TFreshness();
    // A sample read the device now.
    void Read();
    // Within the limit for a sensor read every `readIntervalSeconds`.
    bool Current(int readIntervalSeconds) const;

private:
    uint64_t lastMs_; // the clock's monotonic milliseconds
};

// The seconds between two reads of one sensor: a kind read when `dueSeconds` have passed (0: every
// round), whose `sensors` objects take one round each in turn, on rounds the sampling interval apart.
int TurnSeconds(int dueSeconds, int sensors);
