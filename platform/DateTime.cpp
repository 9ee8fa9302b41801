#include "platform/DateTime.h"

#include <cmath>

#include "platform/Exceptions.h"
#include "platform/Strings.h"

namespace platform {

namespace {
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// Days from 1899-12-30 to the given civil date (proleptic Gregorian).
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569; // 25569 = days from 1899-12-30 to 1970-01-01
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z -= 25569;
    z += 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}
} // namespace

DosDate GetDate() {
    LocalTime now = Clock::Get().Now();
    return DosDate{now.year, now.day, now.month};
}

DosTime GetTime() {
    LocalTime now = Clock::Get().Now();
    return DosTime{now.minute, now.hour, now.hundredths, now.second};
}

std::string EnglishMonthAbbrev(int month) {
    return month >= 1 && month <= 12 ? kMonths[month - 1] : "";
}
std::string EnglishDayAbbrev(int weekday) {
    return weekday >= 0 && weekday <= 6 ? kDays[weekday] : "";
}

std::string CTime(int64_t unixSeconds) {
    LocalTime t = Clock::Get().ToLocal(unixSeconds);
    return Format("%s %s %2d %02d:%02d:%02d %d\n", kDays[t.weekday], kMonths[t.month - 1], t.day, t.hour,
                  t.minute, t.second, t.year);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
    double days = static_cast<double>(DaysFromCivil(year, month, day));
    double fraction = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + ms) / 86400000.0;
    return days >= 0 ? days + fraction : days - fraction;
}

bool IsValidDateTime(TDateTime value) {
    // 0001-01-01 is day -693593; 10000-01-01 is day 2958466.
    return std::isfinite(value) && value > -693594.0 && value < 2958466.0;
}

namespace {
// What history files may hold (NaN, out of range) is decoded as the date-time 0 instead of
// overflowing the day arithmetic.
TDateTime ValidOrZero(TDateTime value) {
    return IsValidDateTime(value) ? value : 0;
}
} // namespace

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second) {
    DecodeDate(value, year, month, day);
    int ms;
    DecodeTime(value, hour, minute, second, ms);
}

TDateTime UnixToDateTime(int64_t unixSeconds) {
    LocalTime t = Clock::Get().ToLocal(unixSeconds);
    return EncodeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

TDateTime Now() {
    LocalTime t = Clock::Get().Now();
    return EncodeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second, t.hundredths * 10);
}

std::string DateToStr(TDateTime value) {
    return FormatDateTime(FormatSettings().ShortDateFormat, value);
}

std::string TimeToStr(TDateTime value) {
    return FormatDateTime(FormatSettings().LongTimeFormat, value);
}

std::string DateTimeToStr(TDateTime value) {
    value = ValidOrZero(value);
    bool midnight = std::fabs(value - std::trunc(value)) * 86400000.0 < 0.5;
    return midnight ? DateToStr(value) : DateToStr(value) + " " + TimeToStr(value);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& value) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return false;
    long long days = DaysFromCivil(year, month, day);
    int y, m, d;
    CivilFromDays(days, y, m, d);
    if (y != year || m != month || d != day) return false; // 31 April rolls over to 1 May
    value = static_cast<double>(days);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime value;
    if (!TryEncodeDate(year, month, day, value)) throw EConvertError("Invalid argument to date encode");
    return value;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    // A value outside the years 1-9999 is no date: answering 1899-12-30 for it would let calendar
    // arithmetic jump there.
    if (!IsValidDateTime(value)) throw EConvertError("Invalid argument to date decode");
    // Before 1899-12-30 the whole part counts the days back and the fraction is still the time of
    // day (-1.25 is 1899-12-29 06:00), the mirror of EncodeDateTime.
    CivilFromDays(static_cast<long long>(std::trunc(value)), year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms) {
    value = ValidOrZero(value);
    long long total = std::llround(std::fabs(value - std::trunc(value)) * 86400000.0);
    if (total >= 86400000) total = 86399999;
    hour = static_cast<int>(total / 3600000);
    minute = static_cast<int>(total / 60000 % 60);
    second = static_cast<int>(total / 1000 % 60);
    ms = static_cast<int>(total % 1000);
}

TDateTime Date() {
    LocalTime t = Clock::Get().Now();
    return EncodeDateTime(t.year, t.month, t.day, 0, 0, 0);
}

int DayOfWeek(TDateTime value) {
    value = ValidOrZero(value);
    long long days = static_cast<long long>(std::trunc(value)); // day 0, 1899-12-30, was a Saturday
    return static_cast<int>(((days + 6) % 7 + 7) % 7) + 1;
}

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

namespace {

struct DateParts {
    int year, month, day, hour, minute, second, ms, weekday; // weekday 0 = Sunday
};

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool MatchesAt(const std::string& pattern, size_t at, const char* word) {
    for (size_t k = 0; word[k]; ++k)
        if (at + k >= pattern.size() || LowerAscii(pattern[at + k]) != word[k]) return false;
    return true;
}

bool HasMarker(const std::string& pattern) {
    for (size_t i = 0; i < pattern.size(); ++i)
        if (MatchesAt(pattern, i, "am/pm") || MatchesAt(pattern, i, "a/p") || MatchesAt(pattern, i, "ampm"))
            return true;
    return false;
}

// The nested formats (c, ddddd, t...) expand one level deep, so that a setting that names itself
// cannot recurse.
constexpr int kMaxNesting = 2;

void AppendFormatted(std::string& out, const std::string& pattern, const DateParts& t, int depth) {
    const TFormatSettings& fs = FormatSettings();
    bool twelveHour = HasMarker(pattern);
    auto nested = [&](const std::string& format) {
        if (depth + 1 < kMaxNesting) AppendFormatted(out, format, t, depth + 1);
    };
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < pattern.size() && LowerAscii(pattern[i + n]) == LowerAscii(c))
            ++n;
        return n;
    };
    while (i < pattern.size()) {
        char c = pattern[i];
        if (c == '"' || c == '\'') {
            size_t close = pattern.find(c, i + 1);
            if (close == std::string::npos) close = pattern.size();
            out.append(pattern, i + 1, close - i - 1);
            i = close + 1;
            continue;
        }
        if (MatchesAt(pattern, i, "am/pm")) {
            out.append(pattern, t.hour < 12 ? i : i + 3, 2);
            i += 5;
            continue;
        }
        if (MatchesAt(pattern, i, "a/p")) {
            out += pattern[t.hour < 12 ? i : i + 2];
            i += 3;
            continue;
        }
        if (MatchesAt(pattern, i, "ampm")) {
            out += t.hour < 12 ? fs.TimeAMString : fs.TimePMString;
            i += 4;
            continue;
        }
        size_t n = run(c);
        switch (LowerAscii(c)) {
        case 'd':
            if (n <= 2)
                out += n == 2 ? Format("%02d", t.day) : Format("%d", t.day);
            else if (n == 3)
                out += fs.ShortDayNames[t.weekday];
            else if (n == 4)
                out += fs.LongDayNames[t.weekday];
            else
                nested(n == 5 ? fs.ShortDateFormat : fs.LongDateFormat);
            break;
        case 'm':
            if (n >= 3) out += n == 3 ? fs.ShortMonthNames[t.month - 1] : fs.LongMonthNames[t.month - 1];
            // Like the class library: m after h is minutes, otherwise month. M is always month.
            else if (c == 'm' && !out.empty() && i > 0 &&
                     (pattern[i - 1] == ':' || LowerAscii(pattern[i - 1]) == 'h'))
                out += n >= 2 ? Format("%02d", t.minute) : Format("%d", t.minute);
            else
                out += n >= 2 ? Format("%02d", t.month) : Format("%d", t.month);
            break;
        case 'y':
            out += n >= 4 ? Format("%04d", t.year) : Format("%02d", t.year % 100);
            break;
        case 'h': {
            int hour = twelveHour ? (t.hour % 12 == 0 ? 12 : t.hour % 12) : t.hour;
            out += n >= 2 ? Format("%02d", hour) : Format("%d", hour);
            break;
        }
        case 'n':
            out += n >= 2 ? Format("%02d", t.minute) : Format("%d", t.minute);
            break;
        case 's':
            out += n >= 2 ? Format("%02d", t.second) : Format("%d", t.second);
            break;
        case 'z':
            out += n >= 3 ? Format("%03d", t.ms) : Format("%d", t.ms);
            break;
        case 't':
            nested(n == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat);
            break;
        case 'c':
            nested(fs.ShortDateFormat);
            if (t.hour || t.minute || t.second || t.ms) {
                out += ' ';
                nested(fs.LongTimeFormat);
            }
            break;
        case '/':
            out.append(n, fs.DateSeparator);
            break;
        case ':':
            out.append(n, fs.TimeSeparator);
            break;
        default:
            out.append(n, c);
            break;
        }
        i += n;
    }
}

} // namespace

std::string FormatDateTime(const std::string& pattern, TDateTime value) {
    value = ValidOrZero(value);
    DateParts t{};
    DecodeDate(value, t.year, t.month, t.day);
    DecodeTime(value, t.hour, t.minute, t.second, t.ms);
    t.weekday = DayOfWeek(value) - 1;
    std::string out;
    AppendFormatted(out, pattern, t, 0);
    return out;
}

} // namespace platform
