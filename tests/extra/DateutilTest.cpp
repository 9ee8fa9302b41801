// The date utilities: calendar arithmetic, the distance between dates, parsing typed dates with the
// century window on a simulated 2026, default formats and masks, and the long-date texts, in the
// station's fixed locale and in a second one.
#include <gtest/gtest.h>

#include <cmath>

#include "extra/Dateutil.h"
#include "platform/Exceptions.h"
#include "tests/extra/ExtraTestSupport.h"

using namespace extra;
using platform::EncodeDateTime;
using platform::TDateTime;

namespace {

TDateTime Day(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
    return EncodeDateTime(y, m, d, h, mi, s);
}

std::string Text(TDateTime value) {
    return platform::FormatDateTime("yyyy-MM-dd hh:nn:ss", value);
}

class DateutilTest : public ::testing::Test {
protected:
    testsupport::ZoneScope zone_;
    testsupport::SimulatedClockScope clock_{testsupport::kFriday6March2026Ms};
    testsupport::FormatSettingsScope settings_;
};

TEST(DateutilCalendar, LeapYearsAndMonthLengths) {
    struct Case {
        int year;
        bool leap;
        int february;
    };
    for (Case c : {Case{1900, false, 28}, Case{2000, true, 29}, Case{2024, true, 29}, Case{2026, false, 28},
                   Case{2100, false, 28}, Case{2400, true, 29}}) {
        EXPECT_EQ(IsLeapYear(c.year), c.leap) << c.year;
        EXPECT_EQ(DaysPerMonth(c.year, 2), c.february) << c.year;
    }
    EXPECT_EQ(DaysPerMonth(2026, 4), 30);
    EXPECT_EQ(DaysPerMonth(2026, 12), 31);
}

TEST(DateutilCalendar, IncDateCarriesMonthsClampsTheDayAndKeepsTheTime) {
    struct Case {
        TDateTime from;
        int days, months, years;
        const char* expected;
    };
    TDateTime jan31 = Day(2024, 1, 31, 12, 34, 56);
    for (Case c :
         {Case{jan31, 0, 1, 0, "2024-02-29 12:34:56"}, Case{jan31, 0, 13, 0, "2025-02-28 12:34:56"},
          Case{jan31, 0, 11, 0, "2024-12-31 12:34:56"}, Case{jan31, 0, 12, 0, "2025-01-31 12:34:56"},
          Case{jan31, 0, -1, 0, "2023-12-31 12:34:56"}, Case{jan31, 0, -13, 0, "2022-12-31 12:34:56"},
          Case{jan31, 0, -25, 0, "2021-12-31 12:34:56"}, Case{jan31, 1, 1, 0, "2024-03-01 12:34:56"},
          Case{Day(2024, 3, 31), 0, -1, 0, "2024-02-29 00:00:00"},
          Case{Day(2024, 2, 29, 6), 0, 0, 1, "2025-02-28 06:00:00"},
          Case{Day(2026, 12, 31, 23, 59, 59), 1, 0, 0, "2027-01-01 23:59:59"},
          Case{Day(2026, 3, 6), -366, 0, 0, "2025-03-05 00:00:00"}})
        EXPECT_EQ(Text(IncDate(c.from, c.days, c.months, c.years)), c.expected)
            << Text(c.from) << " " << c.days << "/" << c.months << "/" << c.years;
    EXPECT_EQ(Text(IncMonth(jan31, 1)), "2024-02-29 12:34:56");
    EXPECT_EQ(Text(IncYear(jan31, -24)), "2000-01-31 12:34:56");
    EXPECT_EQ(Text(IncDay(jan31, 29)), "2024-02-29 12:34:56");
    EXPECT_THROW(IncYear(Day(9999, 6, 1), 1), platform::EConvertError);
    EXPECT_THROW(IncDay(Day(9999, 12, 31, 12), 1), platform::EConvertError);
    EXPECT_THROW(IncDay(Day(1, 1, 1), -1), platform::EConvertError);
    EXPECT_THROW(ExtractYear(Day(9999, 12, 31) + 1), platform::EConvertError);
}

TEST(DateutilCalendar, IncTimeWrapsAndTakesLargeValuesWithoutOverflow) {
    TDateTime morning = Day(2026, 3, 6, 0, 30, 0);
    EXPECT_EQ(Text(IncHour(Day(2026, 3, 6, 23), 2)), "2026-03-07 01:00:00");
    EXPECT_EQ(Text(IncHour(morning, 49)), "2026-03-08 01:30:00");
    EXPECT_EQ(Text(IncMinute(morning, -31)), "2026-03-05 23:59:00");
    EXPECT_EQ(Text(IncSecond(morning, 90)), "2026-03-06 00:31:30");
    EXPECT_EQ(Text(IncMSec(morning, 1500)), "2026-03-06 00:30:01"); // 1.5 s: the half second is kept
    EXPECT_NEAR(IncMSec(0, 1500), 1500.0 / 86400000.0, 1e-12);
    // A time of day alone that goes below midnight comes round to the evening.
    EXPECT_NEAR(IncHour(0.5 / 24, -1), 23.5 / 24, 1e-9);
    // Far past what 32-bit milliseconds hold: 100,000 minutes and 3,000,000 seconds.
    EXPECT_NEAR(IncMinute(0, 100000), 100000.0 / 1440.0, 1e-9);
    EXPECT_NEAR(IncSecond(0, 3000000), 3000000.0 / 86400.0, 1e-9);
    EXPECT_NEAR(IncTime(10, 0, -100000, 0, 0), 10 - 100000.0 / 1440.0 + 1, 1e-9);
}

TEST(DateutilCalendar, DateDiffBorrowsAndMonthsBetweenCountsQuarters) {
    struct Case {
        TDateTime a, b;
        int years, months, days;
        double monthsBetween;
    };
    for (Case c : {Case{Day(2026, 1, 1), Day(2026, 3, 10), 0, 2, 9, 2.5},
                   Case{Day(2026, 3, 10), Day(2026, 1, 1), 0, 2, 9, 2.5}, // either order
                   Case{Day(2026, 1, 31), Day(2026, 3, 1), 0, 1, 1, 1.0},
                   Case{Day(2025, 12, 15), Day(2026, 1, 10), 0, 0, 26, 1.0},
                   Case{Day(2025, 1, 10), Day(2026, 1, 5), 0, 11, 26, 12.0},
                   // The days borrowed are the earlier date's month's (February), in the later year (leap).
                   Case{Day(2026, 2, 20), Day(2026, 4, 10), 0, 1, 18, 1.75},
                   Case{Day(2023, 2, 20), Day(2024, 1, 10), 0, 10, 19, 10.75},
                   Case{Day(2020, 6, 6), Day(2026, 3, 6), 5, 9, 0, 69.0},
                   Case{Day(2026, 3, 1), Day(2026, 3, 2), 0, 0, 1, 0.0},
                   Case{Day(2026, 3, 1), Day(2026, 3, 3), 0, 0, 2, 0.25},
                   Case{Day(2026, 3, 1), Day(2026, 3, 7), 0, 0, 6, 0.25},
                   Case{Day(2026, 3, 1), Day(2026, 3, 8), 0, 0, 7, 0.5},
                   Case{Day(2026, 3, 1), Day(2026, 3, 15), 0, 0, 14, 0.5},
                   Case{Day(2026, 3, 1), Day(2026, 3, 16), 0, 0, 15, 0.75},
                   Case{Day(2026, 3, 1), Day(2026, 3, 21), 0, 0, 20, 0.75},
                   Case{Day(2026, 3, 1), Day(2026, 3, 22), 0, 0, 21, 1.0}}) {
        int days = -1, months = -1, years = -1;
        DateDiff(c.a, c.b, days, months, years);
        EXPECT_EQ((std::vector<int>{years, months, days}), (std::vector<int>{c.years, c.months, c.days}))
            << Text(c.a) << " .. " << Text(c.b);
        EXPECT_DOUBLE_EQ(MonthsBetween(c.a, c.b), c.monthsBetween) << Text(c.a) << " .. " << Text(c.b);
    }
}

TEST(DateutilCalendar, DaysBetweenAndDaysInPeriodCountBothEnds) {
    TDateTime d1 = Day(2026, 3, 6, 23, 0, 0), d2 = Day(2026, 3, 9, 1, 0, 0);
    EXPECT_EQ(DaysBetween(d1, d2), 4);
    EXPECT_EQ(DaysBetween(d2, d1), 0); // the later one first
    EXPECT_EQ(DaysBetween(d1, d1), 1);
    EXPECT_EQ(DaysBetween(Day(2026, 3, 7), Day(2026, 3, 6)), 0);
    EXPECT_EQ(DaysInPeriod(d1, d2), 4);
    EXPECT_EQ(DaysInPeriod(d2, d1), 4);
    TDateTime beyond = Day(9999, 12, 31) + 1;
    EXPECT_FALSE(ValidDate(beyond));
    EXPECT_FALSE(ValidDate(Day(1, 1, 1) - 1));
    EXPECT_TRUE(ValidDate(NullDate));
    EXPECT_EQ(DaysInPeriod(d1, beyond), 0);
    EXPECT_EQ(CutTime(d1), Day(2026, 3, 6));
}

TEST_F(DateutilTest, MonthStepsFromTodayRollOverTheYear) {
    EXPECT_EQ(Text(FirstDayOfNextMonth()), "2026-04-01 00:00:00");
    EXPECT_EQ(Text(FirstDayOfPrevMonth()), "2026-02-01 00:00:00");
    EXPECT_EQ(Text(LastDayOfPrevMonth()), "2026-02-28 00:00:00");
    EXPECT_EQ(CurrentYear(), 2026);
    clock_->SetUnixTimeMs(1768478400000LL); // 2026-01-15
    EXPECT_EQ(Text(FirstDayOfPrevMonth()), "2025-12-01 00:00:00");
    EXPECT_EQ(Text(LastDayOfPrevMonth()), "2025-12-31 00:00:00");
    clock_->SetUnixTimeMs(1796558400000LL); // 2026-12-06
    EXPECT_EQ(Text(FirstDayOfNextMonth()), "2027-01-01 00:00:00");
}

TEST(DateutilNames, DateOrderAndMonthNames) {
    struct Order {
        const char* format;
        TDateOrder order;
    };
    for (Order o :
         {Order{"dd.MM.yyyy", doDMY}, Order{"M/d/yyyy", doMDY}, Order{"yyyy-MM-dd", doYMD},
          Order{"gg ee/MM/dd", doYMD}, Order{"DD/MM/YY", doDMY}, Order{"", doDMY}, Order{"hh:nn", doDMY}})
        EXPECT_EQ(GetDateOrder(o.format), o.order) << o.format;
    struct Name {
        const char* text;
        int maxLen;
        int month;
    };
    for (Name n :
         {Name{"mar", 3, 3}, Name{"MARCH", 10, 3}, Name{"Marc", 4, 3}, Name{"Mars", 3, 3}, Name{"Mars", 4, 0},
          Name{"Ju", 2, 6}, Name{"Jux", 3, 0}, Name{"", 3, 0}, Name{"may", 0, 0}})
        EXPECT_EQ(MonthFromName(n.text, n.maxLen), n.month) << n.text << "/" << n.maxLen;
}

TEST_F(DateutilTest, ParsesTypedDatesWithTheCenturyWindow) {
    struct Case {
        const char* format;
        const char* text;
        const char* expected; // null: not a date
    };
    for (Case c : {
             Case{"dd.MM.yyyy", "06.03.2026", "2026-03-06"},
             Case{"dd.MM.yyyy", "6.3.2026", "2026-03-06"}, // by the separators
             Case{"dd.MM.yyyy", " 6 . 3 . 2026 ", "2026-03-06"},
             Case{"dd.MM.yyyy", "06.03.", "2026-03-06"}, // no year: this one
             Case{"dd.MM.yyyy", "6.3", "2026-03-06"},
             Case{"dd.MM.yy", "06.03.30", "2030-03-06"}, // the window is 1966-2065
             Case{"dd.MM.yy", "06.03.70", "1970-03-06"},
             Case{"dd.MM.yy", "06.03.66", "1966-03-06"},
             Case{"dd.MM.yy", "06.03.65", "2065-03-06"},
             Case{"dd.MM.yyyy", "06.03.0030", "2030-03-06"},
             Case{"DD/MM/YYYY", "06/03/2026", "2026-03-06"},
             Case{"dd-MMM-yyyy", "06-mar-2026", "2026-03-06"},
             Case{"yyyy-MM-dd", "2024-02-29", "2024-02-29"},
             Case{"dd.MM.yyyy", "29.02.2025", nullptr},
             Case{"dd.MM.yyyy", "31.04.2026", nullptr},
             Case{"dd.MM.yyyy", "06.03.2026x", nullptr}, // something left over
             Case{"dd.MM.yyyy", "06.13.2026", nullptr},
             Case{"dd.MM.yyyy", "abc", nullptr},
             Case{"dd.MM.yyyy", "6", nullptr},
             Case{"dd.MM.yyyy", "6.3.2026.1", nullptr},
             Case{"dd.MM.yyyy", "6.3.20266", nullptr},
             Case{"dd-MMM-yyyy", "06-Mrz-2026", nullptr},
         }) {
        SCOPED_TRACE(std::string(c.format) + " / '" + c.text + "'");
        if (c.expected) {
            EXPECT_EQ(platform::FormatDateTime("yyyy-MM-dd", StrToDateFmt(c.format, c.text)), c.expected);
        } else {
            EXPECT_THROW(StrToDateFmt(c.format, c.text), platform::EConvertError);
            EXPECT_EQ(StrToDateFmtDef(c.format, c.text, Day(2001, 2, 3, 4, 5, 6)), Day(2001, 2, 3));
        }
    }
    EXPECT_EQ(StrToDateFmt("dd.MM.yyyy", ""), NullDate);
    EXPECT_EQ(StrToDateDef("", 5.5), NullDate);
    EXPECT_EQ(StrToDateDef("7.3.26", 0), Day(2026, 3, 7));
    try {
        StrToDateFmt("dd.MM.yyyy", "31.04.2026");
        FAIL() << "no error";
    } catch (const platform::EConvertError& e) {
        EXPECT_STREQ(e.what(), "'31.04.2026' is not a valid date");
    }
}

TEST_F(DateutilTest, DefaultFormatsMasksAndLongDates) {
    EXPECT_TRUE(FourDigitYear); // the station's dd.MM.yyyy
    EXPECT_EQ(DefDateFormat(true), "DD/MM/YYYY");
    EXPECT_EQ(DefDateFormat(false), "DD/MM/YY");
    EXPECT_EQ(DefDateMask(' ', true), "!99/99/9999;1; ");
    EXPECT_EQ(DefDateMask('_', false), "!99/99/99;1;_");
    TDateTime friday = Day(2026, 3, 6, 14, 3, 9);
    EXPECT_EQ(FormatLongDate(friday), "Friday, 6 March 2026");
    EXPECT_EQ(FormatLongDateTime(friday), "Friday, 6 March 2026 14:03:09");
    EXPECT_EQ(FormatLongDateTime(NullDate), "");
    settings_->LongDateFormat = "dddd, d MMMM yyyy   ";
    EXPECT_EQ(FormatLongDate(friday), "Friday, 6 March 2026");

    settings_->ShortDateFormat = "M/d/yyyy";
    EXPECT_EQ(DefDateFormat(true), "MM/DD/YYYY");
    EXPECT_EQ(DefDateMask('_', true), "!99/99/9999;1;_");
    settings_->ShortDateFormat = "yyyy-MM-dd";
    EXPECT_EQ(DefDateFormat(true), "YYYY/MM/DD");
    EXPECT_EQ(DefDateFormat(false), "YY/MM/DD");
    EXPECT_EQ(DefDateMask(' ', true), "!9999/99/99;1; ");
    EXPECT_EQ(DefDateMask(' ', false), "!99/99/99;1; ");
}

// A month-first locale with '/' and a twelve-hour clock, and a German one for the names.
TEST_F(DateutilTest, SecondLocaleParsesAndFormatsInItsOwnOrder) {
    settings_->ShortDateFormat = "M/d/yyyy";
    settings_->LongDateFormat = "dddd, MMMM d, yyyy";
    settings_->LongTimeFormat = "h:nn:ss ampm";
    settings_->DateSeparator = '/';
    EXPECT_EQ(StrToDateDef("3/6/2026", 0), Day(2026, 3, 6));
    EXPECT_EQ(StrToDateDef("12/25", 0), Day(2026, 12, 25));
    EXPECT_EQ(StrToDateDef("25/12/2026", -1), Day(1899, 12, 29)); // whole days of the default
    EXPECT_EQ(FormatLongDateTime(Day(2026, 3, 6, 14, 3, 9)), "Friday, March 6, 2026 2:03:09 PM");

    settings_->ShortDateFormat = "ddd dd.MM.yyyy";
    settings_->DateSeparator = '.';
    settings_->LongMonthNames = {"Januar", "Februar", "Maerz",     "April",   "Mai",      "Juni",
                                 "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
    settings_->LongDayNames = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                               "Donnerstag", "Freitag", "Samstag"};
    settings_->LongDateFormat = "dddd, d. MMMM yyyy";
    EXPECT_EQ(StrToDateDef("3.10.2026 Samstag", 0), Day(2026, 10, 3)); // a day name after the date
    EXPECT_EQ(StrToDateDef("3.10.2026 Feiertag", 0), 0);
    EXPECT_EQ(MonthFromName("okt", 3), 10);
    EXPECT_EQ(StrToDateFmt("dd-MMM-yyyy", "03-Okt-2026"), Day(2026, 10, 3));
    EXPECT_EQ(FormatLongDate(Day(2026, 10, 3)), "Samstag, 3. Oktober 2026");

    settings_->ShortDateFormat = "gg yyyy/MM/dd";
    settings_->DateSeparator = '/';
    EXPECT_EQ(StrToDateDef("AD 2026/3/6", 0), Day(2026, 3, 6)); // the era in front is passed over
}

TEST_F(DateutilTest, FormatPatternsOfTheLocale) {
    TDateTime v = Day(2026, 3, 6, 0, 5, 7) + 45.0 / 86400000.0;
    EXPECT_EQ(platform::FormatDateTime("ddd dddd mmm MMMM, YYYY", v), "Fri Friday Mar March, 2026");
    EXPECT_EQ(platform::FormatDateTime("h:mm:ss.zzz ampm", v), "12:05:07.045 AM");
    EXPECT_EQ(platform::FormatDateTime("hh AM/PM a/p", Day(2026, 3, 6, 13)), "01 PM p");
    EXPECT_EQ(platform::FormatDateTime("c", v), "06.03.2026 00:05:07");
    EXPECT_EQ(platform::FormatDateTime("c", Day(2026, 3, 6)), "06.03.2026");
    EXPECT_EQ(platform::FormatDateTime("ddddd t", v), "06.03.2026 00:05");
    EXPECT_EQ(platform::FormatDateTime("\"d\" 'hh' d", v), "d hh 6");
    settings_->DateSeparator = '-';
    settings_->TimeSeparator = '.';
    EXPECT_EQ(platform::FormatDateTime("yyyy/mm/dd hh:nn", v), "2026-03-06 00.05");
    settings_->ShortDateFormat = "c ddddd"; // a setting that names itself stops after one level
    EXPECT_EQ(platform::FormatDateTime("ddddd", Day(2026, 3, 6)), " ");
}

} // namespace
