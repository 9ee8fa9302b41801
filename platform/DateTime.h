#pragma once
// Dates and times: the DOS-style date and time records, the English ctime form, and TDateTime (days
// since 1899-12-30, local time). Everything reads the clock through platform::Clock.
#include <array>
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

// The date part alone. TryEncodeDate is false (and leaves value alone) for a day that does not exist
// or a year outside 1-9999; EncodeDate raises EConvertError for it.
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
TDateTime EncodeDate(int year, int month, int day);
// DecodeDate (and DecodeDateTime) raise EConvertError for a value outside 0001-01-01 .. 9999-12-31.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
// The time of day of a value, down to the millisecond.
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms);
// Today at midnight.
TDateTime Date();
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime value);

// The locale's date and time conventions, kept in one place for the whole program. The defaults are
// fixed, never the host's locale: the station's own day-first dates with '.' and English names (the
// graphs' time and date labels depend on them). A
// program (or a test) that wants another locale assigns its fields.
struct TFormatSettings {
    char DateSeparator = '.';
    char TimeSeparator = ':';
    std::string ShortDateFormat = "dd.MM.yyyy";
    std::string LongDateFormat = "dddd, d MMMM yyyy";
    std::string ShortTimeFormat = "hh:mm";
    std::string LongTimeFormat = "hh:nn:ss";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::array<std::string, 12> ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> LongMonthNames = {"January",   "February", "March",    "April",
                                                  "May",       "June",     "July",     "August",
                                                  "September", "October",  "November", "December"};
    // Sunday first.
    std::array<std::string, 7> ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> LongDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};
};
// The settings in force; read and changed on the window thread.
TFormatSettings& FormatSettings();

// The class library's patterns, letters in either case:
//   d dd       day            ddd dddd    short or long day name    ddddd dddddd  short or long date
//   m mm M MM  month (m right after h or ':' is the minute)         mmm mmmm      short or long month name
//   yy yyyy    year           h hh        hour (1-12 when the pattern has am/pm, a/p or ampm)
//   n nn       minute         s ss        second               z zzz   millisecond
//   t tt       short or long time         c   short date, and the long time unless it is midnight
//   am/pm a/p  the marker in the pattern's own letters         ampm    TimeAMString or TimePMString
//   /          DateSeparator  :           TimeSeparator        "..." '...'  literal text
// Any other character stands for itself.
// Never throws: a value that is no date-time (NaN, infinite, before year 1 or after 9999, as history
// files may hold) is formatted as the date-time 0, 1899-12-30 00:00:00.
std::string FormatDateTime(const std::string& pattern, TDateTime value);
// True for values from 0001-01-01 to 9999-12-31 23:59:59.999.
bool IsValidDateTime(TDateTime value);

std::string DateToStr(TDateTime value);     // FormatSettings().ShortDateFormat
std::string TimeToStr(TDateTime value);     // FormatSettings().LongTimeFormat
std::string DateTimeToStr(TDateTime value); // date, then the time unless it is midnight

} // namespace platform
