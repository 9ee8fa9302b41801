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
//
// With MaxSpeed set, the clock otherwise runs at most that many times as fast as real time: a jump to the
// next timer first waits its share of real time (a descriptor that becomes ready ends the wait). What
// the system does on its own timers (a delayed acknowledgement that tells a peer's window, say) is then
// seen within MaxSpeed times its real delay of station time, however loaded the machine, rather than
// after minutes of station time run through in a few milliseconds. Station time saved up while the
// station was busy is kept only up to kMaxAheadMs.
class PeerPacedClock : public platform::SimulatedClock {
public:
    using SimulatedClock::SimulatedClock;
    static constexpr uint32_t kPeerWaitMs = 50;
    static constexpr uint32_t kSilenceStepMs = 1000;
    static constexpr uint64_t kMaxAheadMs = 1000;

    bool IdleWait(uint32_t ms, const std::function<bool(int timeoutMs)>& poll) override {
        bool paced = RealTime || (PeerBusy && PeerBusy());
        if (!paced && MaxSpeed != 0 && ms != UINT32_MAX) return SpeedCappedWait(ms, poll);
        if (!paced || ms == UINT32_MAX) return SimulatedClock::IdleWait(ms, poll);
        uint64_t start = real_.MonotonicMs();
        bool ready = poll(static_cast<int>(std::min(ms, RealTime ? 100u : kPeerWaitMs)));
        uint64_t passed = real_.MonotonicMs() - start;
        Advance(ready || RealTime ? std::min<uint64_t>(passed, ms) : std::min(ms, kSilenceStepMs));
        return ready;
    }

    std::function<bool()> PeerBusy;
    bool RealTime = false;
    uint32_t MaxSpeed = 0; // station ms per real ms at most (0: no bound)

private:
    bool SpeedCappedWait(uint32_t ms, const std::function<bool(int timeoutMs)>& poll) {
        if (poll(0)) return true;
        EarnStationTime();
        bool ready = false;
        if (earned_ < ms) {
            ready = poll(static_cast<int>((ms - earned_ + MaxSpeed - 1) / MaxSpeed));
            EarnStationTime();
        }
        const uint64_t step = ready ? std::min<uint64_t>(earned_, ms) : ms;
        earned_ -= std::min(earned_, step);
        Advance(step);
        return ready;
    }
    // The station time that real time has allowed since the last look.
    void EarnStationTime() {
        const uint64_t now = real_.MonotonicMs();
        if (earnedAt_ != 0) earned_ = std::min(earned_ + (now - earnedAt_) * MaxSpeed, kMaxAheadMs);
        earnedAt_ = now;
    }

    platform::RealClock real_;
    uint64_t earned_ = 0, earnedAt_ = 0;
};

} // namespace korvane_test
