#include "onewire/HourlyRun.h"

#include "platform/Clock.h"
#include "platform/Strings.h"

std::string THourlyRun::LastEventTime(platform::Clock& clock) const {
    const int64_t agoMs = static_cast<int64_t>(clock.MonotonicMs() - lastMs_);
    const platform::LocalTime at = clock.ToLocal((clock.UnixTimeMs() - agoMs) / 1000);
    const platform::LocalTime now = clock.Now();
    std::string text = platform::Format("%02d:%02d:%02d", at.hour, at.minute, at.second);
    if (at.year != now.year || at.yearday != now.yearday)
        text = platform::Format("%02d.%02d.%d ", at.day, at.month, at.year) + text;
    return text;
}
