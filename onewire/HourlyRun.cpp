#include "onewire/HourlyRun.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/Strings.h"

uint64_t THourlyRun::QuietMs(int readIntervalSeconds) {
    const uint64_t intervalMs = 1000u * static_cast<uint64_t>(std::max(readIntervalSeconds, 0));
    return std::max(kQuietMs, kQuietReadIntervals * intervalMs);
}

std::string THourlyRun::Ended(platform::Clock& clock) {
    running_ = false;
    const unsigned untold = untold_;
    untold_ = 0;
    if (untold == 0) return "";
    const int64_t agoMs = static_cast<int64_t>(clock.MonotonicMs() - lastMs_);
    const platform::LocalTime at = clock.ToLocal((clock.UnixTimeMs() - agoMs) / 1000);
    const platform::LocalTime now = clock.Now();
    std::string time = platform::Format("%02d:%02d:%02d", at.hour, at.minute, at.second);
    if (at.year != now.year || at.yearday != now.yearday)
        time = platform::Format("%02d.%02d.%d ", at.day, at.month, at.year) + time;
    return platform::Format(" %u more times since the last such line, the last at %s", untold, time.c_str());
}
