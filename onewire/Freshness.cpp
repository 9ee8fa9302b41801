#include "onewire/Freshness.h"

#include <algorithm>

#include "platform/Clock.h"

void TFreshness::Read() {
    lastMs_ = platform::Clock::Get().MonotonicMs();
    read_ = true;
}

bool TFreshness::Current() const {
    if (!read_) return false;
    const uint64_t limitMs =
        1000ULL * static_cast<uint64_t>(std::max(kCurrentReadIntervals * std::max(readIntervalSeconds_, 1),
                                                 kCurrentAtLeastSeconds));
    const uint64_t now = platform::Clock::Get().MonotonicMs();
    return now < lastMs_ || now - lastMs_ <= limitMs; // a clock put in since counts from now
}
