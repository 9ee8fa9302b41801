#include "publish/PageFormats.h"

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Strings.h"

namespace publish {

std::string HourMinute(const uint8_t* time) {
    return platform::Format("%02d:%02d", time[1], time[0]);
}

const char* TemperatureColor(double celsius) {
    return celsius >= 0.0 ? "#FF0000" : "#0000FF";
}

std::string AscTimeNow() {
    return platform::CTime(platform::Clock::Get().UnixTime());
}

} // namespace publish
