#pragma once
// A simulated clock for a station that talks to peers in other processes (the publishing tests and the
// week benchmark).
#include <algorithm>
#include <cstdint>
#include <functional>

#include "platform/Clock.h"

namespace korvane_test {

// The simulated clock for a station that talks to peers in other processes. Between requests it jumps
// from timer to timer as usual; while PeerBusy says a request to such a peer is open, each wait first
// gives the peer up to kPeerWaitMs of real time to answer: an answer moves the clock by the real time it
// took, silence by the wait or kSilenceStepMs, whichever is less, so a peer at work gets real time, while
// a station time-out still runs out against a peer that is gone. A peer slowed by a loaded machine must be
// silent for a minute's deadline / kSilenceStepMs waits in a row (three seconds) before it fails. With RealTime set every wait passes in real time (for starting and
// stopping peers).
class PeerPacedClock : public platform::SimulatedClock {
public:
    using SimulatedClock::SimulatedClock;
    static constexpr uint32_t kPeerWaitMs = 50;
    static constexpr uint32_t kSilenceStepMs = 1000;

    bool IdleWait(uint32_t ms, const std::function<bool(int timeoutMs)>& poll) override {
        bool paced = RealTime || (PeerBusy && PeerBusy());
        if (!paced || ms == UINT32_MAX) return SimulatedClock::IdleWait(ms, poll);
        uint64_t start = real_.MonotonicMs();
        bool ready = poll(static_cast<int>(std::min(ms, RealTime ? 100u : kPeerWaitMs)));
        uint64_t passed = real_.MonotonicMs() - start;
        Advance(ready || RealTime ? std::min<uint64_t>(passed, ms) : std::min(ms, kSilenceStepMs));
        return ready;
    }

    std::function<bool()> PeerBusy;
    bool RealTime = false;

private:
    platform::RealClock real_;
};

} // namespace korvane_test
