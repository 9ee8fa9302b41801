#pragma once
// Small texts the pages share: the hour and minute of a mark's time record, the colour of a
// temperature and the local time in the C library's asctime form.
#include <cstdint>
#include <string>

namespace publish {

// "hh:mm" of a time record (time[0] the minute, time[1] the hour).
std::string HourMinute(const uint8_t* time);
// Red ("#FF0000") at 0.0 and above, blue ("#0000FF") below: a temperature in Celsius.
const char* TemperatureColor(double celsius);
// "Sun Dec  6 14:03:09 2026\n": now, local time.
std::string AscTimeNow();

} // namespace publish
