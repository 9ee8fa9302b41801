// The clock and the date helpers: English ctime texts in a fixed zone, TDateTime arithmetic and the
// wrap-safe tick difference.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace platform;

namespace {

TEST(ClockCTime, EnglishFormWithPaddedDayInTheInjectedZone) {
    testsupport::ZoneScope cet;
    EXPECT_EQ(CTime(1796562189), "Sun Dec  6 14:03:09 2026\n");
    EXPECT_EQ(CTime(1783926300), "Mon Jul 13 09:05:00 2026\n"); // summer time
    EXPECT_EQ(CTime(1774745999), "Sun Mar 29 01:59:59 2026\n"); // the last second of winter time
    EXPECT_EQ(CTime(1774746000), "Sun Mar 29 03:00:00 2026\n");
    EXPECT_EQ(Clock::ZoneSecondsWest(), -3600);
    EXPECT_TRUE(Clock::ZoneHasDaylight());
    EXPECT_EQ(Clock::Get().FromLocal(2026, 12, 6, 14, 3, 9), 1796562189);
}

TEST(ClockCTime, StaysEnglishUnderAnotherLocale) {
    testsupport::ZoneScope cet;
    testsupport::CommaLocaleScope german;
    if (!german.Ok()) FAIL() << "no German locale (run scripts/install-deps)";
    EXPECT_EQ(CTime(1796562189), "Sun Dec  6 14:03:09 2026\n");
    EXPECT_EQ(EnglishMonthAbbrev(5), "May");
}

TEST(ClockCTime, ZoneWithoutDaylightSaving) {
    testsupport::ZoneScope utc("UTC0");
    EXPECT_EQ(CTime(0), "Thu Jan  1 00:00:00 1970\n");
    EXPECT_EQ(Clock::ZoneSecondsWest(), 0);
    EXPECT_FALSE(Clock::ZoneHasDaylight());
}

// Seconds asked for again (as the station does many times a second) give what the zone says now: across
// the change to summer time, and after the zone setting changed.
TEST(ClockLocal, SecondsAskedForAgainFollowTheZoneAndItsDaylightSaving) {
    testsupport::ZoneScope cet;
    const int64_t lastOfWinter = 1774745999; // Sun Mar 29 2026 00:59:59 UTC
    for (int round = 0; round < 3; ++round) {
        for (int64_t t : {lastOfWinter, lastOfWinter + 1, lastOfWinter + 1, lastOfWinter - 3600}) {
            LocalTime local = Clock::Get().ToLocal(t);
            const bool summer = t > lastOfWinter;
            EXPECT_EQ(local.isDst, summer) << t;
            EXPECT_EQ(local.hour, summer ? 3 : (t == lastOfWinter ? 1 : 0)) << t;
            EXPECT_EQ(local.minute, summer ? 0 : 59) << t;
        }
    }
    Clock::SetTimeZone("UTC0");
    EXPECT_EQ(Clock::Get().ToLocal(lastOfWinter).hour, 0);
    EXPECT_FALSE(Clock::Get().ToLocal(lastOfWinter + 1).isDst);
    Clock::SetTimeZone("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(Clock::Get().ToLocal(lastOfWinter).hour, 20); // Mar 28, daylight time since Mar 8
    EXPECT_TRUE(Clock::Get().ToLocal(lastOfWinter + 1).isDst);
    testsupport::SimulatedClockScope clock(lastOfWinter * 1000 + 990);
    EXPECT_EQ(Clock::Get().Now().day, 28);
    EXPECT_EQ(Clock::Get().Now().hundredths, 99);
    Clock::SetTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(Clock::Get().Now().day, 29);
    EXPECT_EQ(Clock::Get().Now().hour, 1);
}

TEST(ClockSimulated, RecordsAndTicksFollowTheInstalledClock) {
    testsupport::ZoneScope cet;
    testsupport::SimulatedClockScope clock(1796562189000LL + 470, 4000000000u);
    DosDate date = GetDate();
    DosTime time = GetTime();
    EXPECT_EQ(date.da_year, 2026);
    EXPECT_EQ(date.da_mon, 12);
    EXPECT_EQ(date.da_day, 6);
    EXPECT_EQ(time.ti_hour, 14);
    EXPECT_EQ(time.ti_min, 3);
    EXPECT_EQ(time.ti_sec, 9);
    EXPECT_EQ(time.ti_hund, 47);
    uint32_t before = GetTickCount();
    Sleep(400000000u); // crosses the 32-bit wrap
    EXPECT_LT(GetTickCount(), before);
    EXPECT_EQ(TicksElapsed(GetTickCount(), before), 400000000u);
    EXPECT_EQ(UnixTime(), 1796562189 + 400000);
    EXPECT_EQ(TicksElapsed(5, 0xFFFFFFFBu), 10u);
}

TEST(ClockDateTime, EncodeDecodeRoundTrip) {
    struct Case {
        int y, mo, d, h, mi, s;
    };
    for (Case c : {Case{2026, 12, 6, 14, 3, 9}, Case{2024, 2, 29, 23, 59, 59}, Case{1899, 12, 30, 0, 0, 0},
                   Case{1900, 3, 1, 12, 0, 0}, Case{2099, 12, 31, 6, 30, 1}, Case{1970, 1, 1, 0, 0, 0},
                   Case{1899, 12, 29, 6, 0, 0}, Case{1850, 7, 4, 18, 45, 30}}) {
        TDateTime v = EncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s);
        int y, mo, d, h, mi, s;
        DecodeDateTime(v, y, mo, d, h, mi, s);
        EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s}), (std::vector<int>{c.y, c.mo, c.d, c.h, c.mi, c.s}))
            << "value " << v;
    }
    EXPECT_DOUBLE_EQ(EncodeDateTime(1970, 1, 1, 0, 0, 0), 25569.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 12, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);
    // Values that are no date raise the conversion error instead of decoding as 1899-12-30.
    int y, mo, d;
    for (TDateTime bad :
         {EncodeDateTime(9999, 12, 31, 0, 0, 0) + 1, EncodeDateTime(1, 1, 1, 0, 0, 0) - 1, std::nan("")})
        EXPECT_THROW(DecodeDate(bad, y, mo, d), EConvertError) << bad;
    DecodeDate(EncodeDateTime(9999, 12, 31, 23, 59, 59), y, mo, d);
    EXPECT_EQ(y, 9999);
}

TEST(ClockDateTime, FormatDateTimePatterns) {
    TDateTime v = EncodeDateTime(2026, 3, 6, 9, 5, 7);
    EXPECT_EQ(FormatDateTime("dd.MM.yyyy", v), "06.03.2026");
    EXPECT_EQ(FormatDateTime("d.M.yy", v), "6.3.26");
    EXPECT_EQ(FormatDateTime("hh:nn:ss", v), "09:05:07");
    EXPECT_EQ(FormatDateTime("hh:mm", v), "09:05");
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy", v), "06.03.2026");
}

TEST(ClockDateTime, UnixTimesConvertThroughTheZone) {
    testsupport::ZoneScope cet;
    EXPECT_EQ(FormatDateTime("dd.MM.yyyy hh:nn:ss", UnixToDateTime(1796562189)), "06.12.2026 14:03:09");
    testsupport::SimulatedClockScope clock(1796562189000LL);
    EXPECT_EQ(FormatDateTime("yyyy-MM-dd hh:nn", Now()), "2026-12-06 14:03");
}

} // namespace
