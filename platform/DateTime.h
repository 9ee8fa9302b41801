#pragma once
// Dates and times: the DOS-style date and time records, the English ctime form, and TDateTime (days
// since 1899-12-30, local time). Everything reads the clock through platform::Clock.
#include <cstdint>
#include <string>

#include "platform/Clock.h"

namespace platform {

// DOS-style date record (day, month, four-digit year).
struct DosDate {
    int da_year = 1970;
    int da_day = 1;
    int da_mon = 1;
};

// DOS-style time record.
struct DosTime {
    int ti_min = 0;
    int ti_hour = 0;
    int ti_hund = 0;
    int ti_sec = 0;
};

DosDate GetDate();
DosTime GetTime();

// "Sun Dec  6 14:03:09 2026\n": the 24-character English ctime form plus a line feed, local time.
std::string CTime(int64_t unixSeconds);
// "Jan".."Dec" for 1..12, "Sun".."Sat" for 0..6; empty outside.
std::string EnglishMonthAbbrev(int month);
std::string EnglishDayAbbrev(int weekday);

using TDateTime = double;
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms = 0);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second);
TDateTime Now();
TDateTime UnixToDateTime(int64_t unixSeconds); // through the local zone
// A small subset of the class library's patterns: d dd m mm M MM yy yyyy h hh n nn s ss, and literals.
// Never throws: a value that is no date-time (NaN, infinite, before year 1 or after 9999, as history
// files may hold) is formatted as the date-time 0, 1899-12-30 00:00:00.
std::string FormatDateTime(const std::string& pattern, TDateTime value);
// True for values from 0001-01-01 to 9999-12-31 23:59:59.999.
bool IsValidDateTime(TDateTime value);

// The fixed system formats of the program (the graphs' time and date labels depend on them).
inline const std::string ShortDateFormat = "dd.MM.yyyy";
inline const std::string LongTimeFormat = "hh:nn:ss";
std::string DateToStr(TDateTime value);     // ShortDateFormat
std::string TimeToStr(TDateTime value);     // LongTimeFormat
std::string DateTimeToStr(TDateTime value); // date, then the time unless it is midnight

} // namespace platform
