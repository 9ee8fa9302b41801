#pragma once
// A seeded plan of faults for a simulated net, as a bus in the field fails: CRC errors, a net that
// answers no presence, a shorted net, devices that leave the net and come back, a coupler stuck on its
// branch, sessions that will not open. The caller steps the plan (the tests once a simulated minute);
// at each step every kind of fault starts with the rate the plan sets (per device or coupler where it
// hits one) and lasts 1 .. MaxSteps steps. The same seed, rates and net give the same faults. Stop ends
// every fault at once (devices back, coupler free, the net sound).
#include <cstdint>
#include <map>
#include <random>

#include "platform/tmex/sim/SimNet.h"

namespace platform::tmex::sim {

struct FaultRates {
    double CrcErrors = 0;    // per device: its next 1 .. 3 CRC-protected transfers go wrong
    double NoPresence = 0;   // the net: no device answers a reset
    double Shorted = 0;      // the net: the line is shorted
    double Vanish = 0;       // per device (the adapter's ID chip aside): off the net, then back
    double CouplerStuck = 0; // per coupler: it stays on the branch it is on
    double SessionFails = 0; // the net: sessions do not open
    int MaxSteps = 3;
};

struct FaultCounts {
    int CrcErrors = 0, NoPresence = 0, Shorted = 0, Vanished = 0, CouplerStuck = 0, SessionFails = 0;
};

class FaultPlan {
public:
    FaultPlan(SimNet& net, uint64_t seed, FaultRates rates);
    void Step();
    void Stop();
    // The faults started so far, by kind.
    const FaultCounts& Started() const { return started_; }

private:
    bool Chance(double rate);
    int Duration();
    // Counts a running fault down; true when it has just ended.
    static bool Ends(int& left);

    SimNet& net_;
    std::mt19937_64 rng_;
    FaultRates rates_;
    FaultCounts started_;
    int noPresenceLeft_ = 0, shortedLeft_ = 0, sessionLeft_ = 0;
    std::map<Device*, int> vanished_, stuck_;
};

} // namespace platform::tmex::sim
