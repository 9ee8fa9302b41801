#pragma once
// Calendar arithmetic on date-time values (days since 1899-12-30, the time of day as the fraction),
// parsing of dates typed in the locale's short date format, and default date formats and edit masks
// for the calendar and date-edit components. The locale is platform::FormatSettings().
#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/DateTime.h"

namespace extra {

using platform::TDateTime;

enum TDayOfWeekName { Sun, Mon, Tue, Wed, Thu, Fri, Sat };

// A set of week days.
class TDaysOfWeek {
public:
    constexpr TDaysOfWeek() = default;
    constexpr TDaysOfWeek(std::initializer_list<TDayOfWeekName> days) {
        for (TDayOfWeekName d : days)
            bits_ |= Bit(d);
    }
    constexpr bool Contains(TDayOfWeekName d) const { return (bits_ & Bit(d)) != 0; }
    constexpr void Include(TDayOfWeekName d) { bits_ |= Bit(d); }
    constexpr void Exclude(TDayOfWeekName d) { bits_ &= static_cast<uint8_t>(~Bit(d)); }
    constexpr bool Empty() const { return bits_ == 0; }
    friend constexpr bool operator==(TDaysOfWeek, TDaysOfWeek) = default;

private:
    static constexpr uint8_t Bit(TDayOfWeekName d) { return static_cast<uint8_t>(1u << d); }
    uint8_t bits_ = 0;
};

// The order of day, month and year in a date format.
enum TDateOrder { doMDY, doDMY, doYMD };

// No date set.
inline constexpr TDateTime NullDate = 0;
// Two-digit years fall in the hundred years that start this many years before the current one.
inline constexpr uint8_t CenturyOffset = 60;
// Whether the locale's short date format shows four-digit years; taken from the settings at start-up.
extern bool FourDigitYear;

bool IsLeapYear(int year);
int DaysPerMonth(int year, int month);
// From today's date.
TDateTime FirstDayOfNextMonth();
TDateTime FirstDayOfPrevMonth();
TDateTime LastDayOfPrevMonth();

int ExtractDay(TDateTime date);
int ExtractMonth(TDateTime date);
int ExtractYear(TDateTime date);

// Years, then months (the day cut to the new month's length), then days; the time of day is kept. A
// result outside the years 1-9999 raises EConvertError, as does decoding such a date.
TDateTime IncDate(TDateTime date, int days, int months, int years);
TDateTime IncDay(TDateTime date, int delta);
TDateTime IncMonth(TDateTime date, int delta);
TDateTime IncYear(TDateTime date, int delta);
// Adds the time as a fraction of a day; a negative result has 1 added.
TDateTime IncTime(TDateTime time, int hours, int minutes, int seconds, int msecs);
TDateTime IncHour(TDateTime time, int delta);
TDateTime IncMinute(TDateTime time, int delta);
TDateTime IncSecond(TDateTime time, int delta);
TDateTime IncMSec(TDateTime time, int delta);

// The distance between two dates (in either order) in years, months and days, borrowing a month's
// days from the earlier date's month in the later date's year.
void DateDiff(TDateTime date1, TDateTime date2, int& days, int& months, int& years);
// Whole months between two dates, plus a quarter for each week or so of the days left over.
double MonthsBetween(TDateTime date1, TDateTime date2);
bool ValidDate(TDateTime date);
// Days from the one to the other, both counted; 0 when either date is not valid.
int DaysInPeriod(TDateTime date1, TDateTime date2);
// Days from date1 to date2, both counted; 0 when date2 is the earlier.
int DaysBetween(TDateTime date1, TDateTime date2);
TDateTime CutTime(TDateTime date);
int CurrentYear();

TDateOrder GetDateOrder(const std::string& dateFormat);
// The month (1-12) whose long name, cut to maxLen characters, equals S cut the same way, in any case;
// 0 when none.
int MonthFromName(const std::string& s, int maxLen);

// Parses a date typed against dateFormat. An empty text is NullDate. A text that is no valid date
// raises EConvertError "'<text>' is not a valid date".
TDateTime StrToDateFmt(const std::string& dateFormat, const std::string& s);
// The same against the locale's short date format, or with the whole days of def instead of an error.
TDateTime StrToDateDef(const std::string& s, TDateTime def);
TDateTime StrToDateFmtDef(const std::string& dateFormat, const std::string& s, TDateTime def);

// "DD/MM/YYYY" and the like in the locale's date order.
std::string DefDateFormat(bool fourDigitYear);
// The edit mask for DefDateFormat: "!99/99/9999;1;" and the like, with blanksChar appended.
std::string DefDateMask(char blanksChar, bool fourDigitYear);
// The locale's long date text, right-trimmed.
std::string FormatLongDate(TDateTime date);
// The long date and the long time; empty for NullDate.
std::string FormatLongDateTime(TDateTime date);

} // namespace extra
