#include "publish/IntervalDeadline.h"

#include <algorithm>
#include <cstdlib>

#include "platform/Clock.h"

uint32_t DeadlineBeforeNextInterval(int intervalMinutes, uint32_t longestMs) {
    constexpr int64_t kMarginMs = 1000, kFloorMs = 10000;
    if (intervalMinutes == 0) return longestMs;
    const int64_t step = std::abs(int64_t{intervalMinutes}) * 60000;
    const int64_t now = platform::Clock::Get().UnixTimeMs();
    const int64_t left = (now / step + 1) * step - now - kMarginMs;
    return static_cast<uint32_t>(
        std::clamp<int64_t>(left, std::min<int64_t>(kFloorMs, longestMs), longestMs));
}
