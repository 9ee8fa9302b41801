#include "platform/tmex/sim/FaultPlan.h"

#include "platform/tmex/sim/DS2409.h"

namespace platform::tmex::sim {

namespace {
constexpr uint8_t kAdapterIdFamily = 0x81;
} // namespace

FaultPlan::FaultPlan(SimNet& net, uint64_t seed, FaultRates rates) : net_(net), rng_(seed), rates_(rates) {}

bool FaultPlan::Chance(double rate) {
    return rate > 0 && std::uniform_real_distribution<double>(0, 1)(rng_) < rate;
}

int FaultPlan::Duration() {
    return std::uniform_int_distribution<int>(1, std::max(1, rates_.MaxSteps))(rng_);
}

bool FaultPlan::Ends(int& left) {
    return left > 0 && --left == 0;
}

void FaultPlan::Step() {
    // Faults that run out first, so that one may start again at once.
    if (Ends(noPresenceLeft_)) net_.SetNoPresence(false);
    if (Ends(shortedLeft_)) net_.SetShorted(false);
    if (Ends(sessionLeft_)) net_.SetSessionResult(1);
    for (auto it = vanished_.begin(); it != vanished_.end();) {
        if (Ends(it->second)) {
            it->first->Reinsert();
            it = vanished_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = stuck_.begin(); it != stuck_.end();) {
        if (Ends(it->second)) {
            static_cast<DS2409*>(it->first)->SetStuck(false);
            it = stuck_.erase(it);
        } else {
            ++it;
        }
    }

    if (noPresenceLeft_ == 0 && Chance(rates_.NoPresence)) {
        noPresenceLeft_ = Duration();
        net_.SetNoPresence(true);
        ++started_.NoPresence;
    }
    if (shortedLeft_ == 0 && Chance(rates_.Shorted)) {
        shortedLeft_ = Duration();
        net_.SetShorted(true);
        ++started_.Shorted;
    }
    if (sessionLeft_ == 0 && Chance(rates_.SessionFails)) {
        sessionLeft_ = Duration();
        net_.SetSessionResult(-1);
        ++started_.SessionFails;
    }
    for (Device* device : net_.Devices()) {
        if (device->rom().bytes[0] == kAdapterIdFamily) continue;
        if (Chance(rates_.CrcErrors)) {
            device->InjectCrcErrors(std::uniform_int_distribution<int>(1, 3)(rng_));
            ++started_.CrcErrors;
        }
        if (!vanished_.count(device) && device->Inserted() && Chance(rates_.Vanish)) {
            vanished_[device] = Duration();
            device->Remove();
            ++started_.Vanished;
        }
        auto* coupler = dynamic_cast<DS2409*>(device);
        if (coupler != nullptr && !stuck_.count(device) && Chance(rates_.CouplerStuck)) {
            stuck_[device] = Duration();
            coupler->SetStuck(true);
            ++started_.CouplerStuck;
        }
    }
}

void FaultPlan::Stop() {
    net_.SetNoPresence(false);
    net_.SetShorted(false);
    net_.SetSessionResult(1);
    noPresenceLeft_ = shortedLeft_ = sessionLeft_ = 0;
    for (auto& [device, left] : vanished_)
        device->Reinsert();
    vanished_.clear();
    for (auto& [device, left] : stuck_)
        static_cast<DS2409*>(device)->SetStuck(false);
    stuck_.clear();
    for (Device* device : net_.Devices())
        device->InjectCrcErrors(0);
}

} // namespace platform::tmex::sim
