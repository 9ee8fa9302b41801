#pragma once
// Helpers of the component tests: the locale settings restored after a test, and the station's date
// (a simulated clock in a fixed zone) on a chosen day.
#include "platform/DateTime.h"
#include "tests/platform/RuntimeTestSupport.h"

namespace testsupport {

// Changes to platform::FormatSettings() last only for the scope.
class FormatSettingsScope {
public:
    FormatSettingsScope() : saved_(platform::FormatSettings()) {}
    ~FormatSettingsScope() { platform::FormatSettings() = saved_; }
    platform::TFormatSettings& operator*() const { return platform::FormatSettings(); }
    platform::TFormatSettings* operator->() const { return &platform::FormatSettings(); }

private:
    platform::TFormatSettings saved_;
};

// 2026-03-06, a Friday, at 13:00 in the test zone.
inline constexpr int64_t kFriday6March2026Ms = 1772798400000LL;

} // namespace testsupport
