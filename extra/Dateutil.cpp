#include "extra/Dateutil.h"

#include <cmath>
#include <cstdlib>

#include "platform/Exceptions.h"
#include "platform/Strings.h"

using platform::FormatSettings;

namespace extra {

bool FourDigitYear = platform::UpperCase(FormatSettings().ShortDateFormat).find("YYYY") != std::string::npos;

namespace {

constexpr int kDaysPerMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The time of day of a value as a positive fraction, and its inverse: a value from whole days and a
// time of day (before 1899-12-30 the fraction counts the other way, as in EncodeDateTime).
double TimeOfDay(TDateTime value) {
    return std::fabs(value - std::trunc(value));
}
TDateTime Combine(double wholeDays, double timeOfDay) {
    return wholeDays >= 0 ? wholeDays + timeOfDay : wholeDays - timeOfDay;
}

TDateTime FirstOfMonthFromToday(int monthDelta) {
    int year, month, day;
    platform::DecodeDate(platform::Date(), year, month, day);
    month += monthDelta;
    if (month > 12) {
        month = 1;
        ++year;
    } else if (month < 1) {
        month = 12;
        --year;
    }
    return platform::EncodeDate(year, month, 1);
}

// A year below 100 goes into the hundred years that begin CenturyOffset years before this one.
int PlaceInCentury(int year) {
    if (year >= 100) return year;
    int base = CurrentYear() - CenturyOffset;
    year += base / 100 * 100;
    if (year < base) year += 100;
    return year;
}

bool MakeDate(int year, int month, int day, TDateTime& value) {
    return platform::TryEncodeDate(PlaceInCentury(year), month, day, value);
}

// Up to four digits at pos.
bool ReadNumber(const std::string& s, size_t& pos, int& value) {
    size_t start = pos;
    while (pos < s.size() && IsDigit(s[pos]))
        ++pos;
    if (pos == start || pos - start > 4) return false;
    value = std::atoi(s.substr(start, pos - start).c_str());
    return true;
}

void SkipBlanks(const std::string& s, size_t& pos) {
    while (pos < s.size() && IsBlank(s[pos]))
        ++pos;
}

// The text under each run of m, d and y of the format: digits, or a month name under mmm and longer;
// no year gives the current one.
bool ScanByFormat(const std::string& format, const std::string& s, TDateTime& value) {
    if (s.size() > format.size()) return false;
    int year = -1, month = 0, day = 0;
    size_t i = 0;
    while (i < format.size()) {
        char c = Lower(format[i]);
        size_t n = 1;
        while (i + n < format.size() && Lower(format[i + n]) == c)
            ++n;
        if (c == 'm' || c == 'd' || c == 'y') {
            std::string part = i < s.size() ? platform::Trim(s.substr(i, n)) : std::string();
            if (c == 'm' && n >= 3) {
                month = MonthFromName(part, static_cast<int>(n));
                if (month == 0) return false;
            } else if (!part.empty() || c != 'y') {
                size_t pos = 0;
                int number = 0;
                if (!ReadNumber(part, pos, number) || pos != part.size()) return false;
                (c == 'm' ? month : c == 'd' ? day : year) = number;
            }
        }
        i += n;
    }
    return MakeDate(year < 0 ? CurrentYear() : year, month, day, value);
}

bool IsDayNameOrMarker(const std::string& word) {
    const auto& fs = FormatSettings();
    for (int i = 0; i < 7; ++i)
        if (platform::SameText(word, fs.ShortDayNames[i]) || platform::SameText(word, fs.LongDayNames[i]))
            return true;
    return platform::SameText(word, fs.TimeAMString) || platform::SameText(word, fs.TimePMString);
}

// Two or three numbers between the locale's date separators, in the locale's date order.
bool ScanFree(const std::string& s, TDateTime& value) {
    const auto& fs = FormatSettings();
    size_t pos = 0;
    SkipBlanks(s, pos);
    if (!fs.ShortDateFormat.empty() && Lower(fs.ShortDateFormat[0]) == 'g') { // the era comes first
        while (pos < s.size() && !IsDigit(s[pos]) && !IsBlank(s[pos]))
            ++pos;
        SkipBlanks(s, pos);
    }
    int numbers[3] = {0, 0, 0};
    int count = 0;
    if (!ReadNumber(s, pos, numbers[count++])) return false;
    while (count < 3) {
        size_t at = pos;
        SkipBlanks(s, at);
        if (at >= s.size() || s[at] != fs.DateSeparator) break;
        ++at;
        SkipBlanks(s, at);
        if (!ReadNumber(s, at, numbers[count++])) return false;
        pos = at;
    }
    SkipBlanks(s, pos);
    if (platform::ContainsText(fs.ShortDateFormat, "ddd")) {
        size_t end = pos;
        while (end < s.size() && !IsBlank(s[end]))
            ++end;
        if (end > pos && IsDayNameOrMarker(s.substr(pos, end - pos))) pos = end;
        SkipBlanks(s, pos);
    }
    if (pos != s.size() || count < 2) return false;
    TDateOrder order = GetDateOrder(fs.ShortDateFormat);
    if (count == 2) {
        return order == doDMY ? MakeDate(CurrentYear(), numbers[1], numbers[0], value)
                              : MakeDate(CurrentYear(), numbers[0], numbers[1], value);
    }
    switch (order) {
    case doMDY:
        return MakeDate(numbers[2], numbers[0], numbers[1], value);
    case doDMY:
        return MakeDate(numbers[2], numbers[1], numbers[0], value);
    case doYMD:
        break;
    }
    return MakeDate(numbers[0], numbers[1], numbers[2], value);
}

bool TryStrToDateFmt(const std::string& format, const std::string& s, TDateTime& value) {
    if (platform::Trim(s).empty()) {
        value = NullDate;
        return true;
    }
    return ScanByFormat(format, s, value) || ScanFree(s, value);
}

} // namespace

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysPerMonth(int year, int month) {
    if (month < 1 || month > 12) return 0;
    return kDaysPerMonth[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

TDateTime FirstDayOfNextMonth() {
    return FirstOfMonthFromToday(1);
}

TDateTime FirstDayOfPrevMonth() {
    return FirstOfMonthFromToday(-1);
}

TDateTime LastDayOfPrevMonth() {
    return FirstOfMonthFromToday(0) - 1;
}

int ExtractDay(TDateTime date) {
    int year, month, day;
    platform::DecodeDate(date, year, month, day);
    return day;
}

int ExtractMonth(TDateTime date) {
    int year, month, day;
    platform::DecodeDate(date, year, month, day);
    return month;
}

int ExtractYear(TDateTime date) {
    int year, month, day;
    platform::DecodeDate(date, year, month, day);
    return year;
}

TDateTime IncDate(TDateTime date, int days, int months, int years) {
    int year, month, day;
    platform::DecodeDate(date, year, month, day);
    year += years + months / 12;
    month += months % 12;
    if (month > 12) {
        month -= 12;
        ++year;
    } else if (month < 1) {
        month += 12;
        --year;
    }
    if (day > DaysPerMonth(year, month)) day = DaysPerMonth(year, month);
    TDateTime result = Combine(platform::EncodeDate(year, month, day) + days, TimeOfDay(date));
    // Days stepping past 9999-12-31 or before 0001-01-01 give no date.
    if (!platform::IsValidDateTime(result)) throw platform::EConvertError("Invalid argument to date encode");
    return result;
}

TDateTime IncDay(TDateTime date, int delta) {
    return IncDate(date, delta, 0, 0);
}

TDateTime IncMonth(TDateTime date, int delta) {
    return IncDate(date, 0, delta, 0);
}

TDateTime IncYear(TDateTime date, int delta) {
    return IncDate(date, 0, 0, delta);
}

TDateTime IncTime(TDateTime time, int hours, int minutes, int seconds, int msecs) {
    // In 64 bits: minutes beyond about 35,000 or seconds beyond about 2 million overflow 32.
    int64_t ms = static_cast<int64_t>(hours % 24) * 3600000 + static_cast<int64_t>(minutes) * 60000 +
                 static_cast<int64_t>(seconds) * 1000 + msecs;
    TDateTime result = time + hours / 24 + static_cast<double>(ms) / 86400000.0;
    if (result < 0) result += 1;
    return result;
}

TDateTime IncHour(TDateTime time, int delta) {
    return IncTime(time, delta, 0, 0, 0);
}

TDateTime IncMinute(TDateTime time, int delta) {
    return IncTime(time, 0, delta, 0, 0);
}

TDateTime IncSecond(TDateTime time, int delta) {
    return IncTime(time, 0, 0, delta, 0);
}

TDateTime IncMSec(TDateTime time, int delta) {
    return IncTime(time, 0, 0, 0, delta);
}

void DateDiff(TDateTime date1, TDateTime date2, int& days, int& months, int& years) {
    if (date1 > date2) std::swap(date1, date2);
    int y1, m1, d1, y2, m2, d2;
    platform::DecodeDate(date1, y1, m1, d1);
    platform::DecodeDate(date2, y2, m2, d2);
    years = y2 - y1;
    if (m2 < m1) {
        --years;
        m2 += 12;
    }
    months = m2 - m1;
    if (d2 < d1) {
        d2 += DaysPerMonth(y2, m1);
        if (months == 0) {
            --years;
            months = 11;
        } else {
            --months;
        }
    }
    days = d2 - d1;
}

double MonthsBetween(TDateTime date1, TDateTime date2) {
    int days, months, years;
    DateDiff(date1, date2, days, months, years);
    double result = years * 12 + months;
    if (days >= 21)
        result += 1.0;
    else if (days >= 15)
        result += 0.75;
    else if (days >= 7)
        result += 0.5;
    else if (days >= 2)
        result += 0.25;
    return result;
}

bool ValidDate(TDateTime date) {
    if (!platform::IsValidDateTime(date)) return false;
    int year, month, day;
    platform::DecodeDate(date, year, month, day);
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysPerMonth(year, month);
}

int DaysInPeriod(TDateTime date1, TDateTime date2) {
    if (!ValidDate(date1) || !ValidDate(date2)) return 0;
    return static_cast<int>(std::fabs(std::trunc(date2) - std::trunc(date1))) + 1;
}

int DaysBetween(TDateTime date1, TDateTime date2) {
    double result = std::trunc(date2) - std::trunc(date1) + 1;
    return result < 0 ? 0 : static_cast<int>(result);
}

TDateTime CutTime(TDateTime date) {
    return std::trunc(date);
}

int CurrentYear() {
    return platform::Clock::Get().Now().year;
}

TDateOrder GetDateOrder(const std::string& dateFormat) {
    for (char c : dateFormat) {
        switch (Lower(c)) {
        case 'd':
            return doDMY;
        case 'm':
            return doMDY;
        case 'y':
        case 'e':
            return doYMD;
        default:
            break;
        }
    }
    return doDMY;
}

int MonthFromName(const std::string& s, int maxLen) {
    if (maxLen < 1) return 0;
    std::string wanted = s.substr(0, static_cast<size_t>(maxLen));
    const auto& names = FormatSettings().LongMonthNames;
    for (int month = 1; month <= 12; ++month)
        if (platform::SameText(names[month - 1].substr(0, static_cast<size_t>(maxLen)), wanted)) return month;
    return 0;
}

TDateTime StrToDateFmt(const std::string& dateFormat, const std::string& s) {
    TDateTime value;
    if (!TryStrToDateFmt(dateFormat, s, value))
        throw platform::EConvertError("'" + s + "' is not a valid date");
    return value;
}

TDateTime StrToDateDef(const std::string& s, TDateTime def) {
    return StrToDateFmtDef(FormatSettings().ShortDateFormat, s, def);
}

TDateTime StrToDateFmtDef(const std::string& dateFormat, const std::string& s, TDateTime def) {
    TDateTime value;
    return TryStrToDateFmt(dateFormat, s, value) ? value : std::trunc(def);
}

std::string DefDateFormat(bool fourDigitYear) {
    switch (GetDateOrder(FormatSettings().ShortDateFormat)) {
    case doMDY:
        return fourDigitYear ? "MM/DD/YYYY" : "MM/DD/YY";
    case doDMY:
        return fourDigitYear ? "DD/MM/YYYY" : "DD/MM/YY";
    case doYMD:
        break;
    }
    return fourDigitYear ? "YYYY/MM/DD" : "YY/MM/DD";
}

std::string DefDateMask(char blanksChar, bool fourDigitYear) {
    std::string mask;
    if (!fourDigitYear)
        mask = "!99/99/99;1;";
    else if (GetDateOrder(FormatSettings().ShortDateFormat) == doYMD)
        mask = "!9999/99/99;1;";
    else
        mask = "!99/99/9999;1;";
    return mask + blanksChar;
}

std::string FormatLongDate(TDateTime date) {
    std::string text = platform::FormatDateTime(FormatSettings().LongDateFormat, date);
    while (!text.empty() && IsBlank(text.back()))
        text.pop_back();
    return text;
}

std::string FormatLongDateTime(TDateTime date) {
    if (date == NullDate) return {};
    return FormatLongDate(date) + platform::FormatDateTime(" tt", date);
}

} // namespace extra
