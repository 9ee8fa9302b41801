#include "platform/DateTime.h"

#include <cmath>

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

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second) {
    if (!IsValidDateTime(value)) value = 0;
    // Before 1899-12-30 the whole part counts the days back and the fraction is still the time of
    // day (-1.25 is 1899-12-29 06:00), the mirror of EncodeDateTime.
    double whole = std::trunc(value);
    CivilFromDays(static_cast<long long>(whole), year, month, day);
    long long ms = std::llround(std::fabs(value - whole) * 86400000.0);
    if (ms >= 86400000) ms = 86399999;
    hour = static_cast<int>(ms / 3600000);
    minute = static_cast<int>(ms / 60000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
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
    return FormatDateTime(ShortDateFormat, value);
}

std::string TimeToStr(TDateTime value) {
    return FormatDateTime(LongTimeFormat, value);
}

std::string DateTimeToStr(TDateTime value) {
    if (!IsValidDateTime(value)) value = 0;
    bool midnight = std::fabs(value - std::trunc(value)) * 86400000.0 < 0.5;
    return midnight ? DateToStr(value) : DateToStr(value) + " " + TimeToStr(value);
}

std::string FormatDateTime(const std::string& pattern, TDateTime value) {
    int y, mo, d, h, mi, s;
    DecodeDateTime(value, y, mo, d, h, mi, s);
    std::string out;
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < pattern.size() && pattern[i + n] == c)
            ++n;
        return n;
    };
    while (i < pattern.size()) {
        char c = pattern[i];
        size_t n = run(c);
        switch (c) {
        case 'd':
            out += n >= 2 ? Format("%02d", d) : Format("%d", d);
            break;
        case 'm':
        case 'M':
            // Like the class library: m after h is minutes, otherwise month. M is always month.
            if (c == 'm' && !out.empty() && i > 0 && (pattern[i - 1] == ':' || pattern[i - 1] == 'h'))
                out += n >= 2 ? Format("%02d", mi) : Format("%d", mi);
            else
                out += n >= 2 ? Format("%02d", mo) : Format("%d", mo);
            break;
        case 'y':
            out += n >= 4 ? Format("%04d", y) : Format("%02d", y % 100);
            break;
        case 'h':
            out += n >= 2 ? Format("%02d", h) : Format("%d", h);
            break;
        case 'n':
            out += n >= 2 ? Format("%02d", mi) : Format("%d", mi);
            break;
        case 's':
            out += n >= 2 ? Format("%02d", s) : Format("%d", s);
            break;
        default:
            out.append(n, c);
            break;
        }
        i += n;
    }
    return out;
}

} // namespace platform
