#include "platform/Clock.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>

namespace platform {

namespace {
std::shared_ptr<Clock>& InstalledClock() {
    static std::shared_ptr<Clock> clock = std::make_shared<RealClock>();
    return clock;
}
std::mutex zoneMutex;

// The last seconds converted to local time, with the zone setting they were converted in: the station
// asks for the same second many times (each reading's time stamp, the simulated weather's zone offset).
// localtime_r takes in the zone only when tzset runs, and every tzset of the program runs here (set,
// zone queries, mktime) and moves the setting on, so a kept conversion is always the one localtime_r
// would give now. Guarded by zoneMutex.
struct KeptLocal {
    uint64_t setting = 0; // 0: nothing kept
    int64_t seconds = 0;
    LocalTime local;
};
uint64_t zoneSetting = 1;
KeptLocal keptLocal[2];
size_t nextKept = 0;

// Called after each tzset.
void ZoneMayHaveChanged() {
    ++zoneSetting;
}
} // namespace

Clock& Clock::Installed() {
    current_ = InstalledClock().get();
    return *current_;
}

std::shared_ptr<Clock> Clock::Install(std::shared_ptr<Clock> clock) {
    auto old = InstalledClock();
    InstalledClock() = clock ? std::move(clock) : std::make_shared<RealClock>();
    current_ = InstalledClock().get();
    ++installs_;
    return old;
}

void Clock::SetTimeZone(const std::string& tz) {
    std::lock_guard lock(zoneMutex);
    if (tz.empty())
        unsetenv("TZ");
    else
        setenv("TZ", tz.c_str(), 1);
    tzset();
    ZoneMayHaveChanged();
}

long Clock::ZoneSecondsWest() {
    std::lock_guard lock(zoneMutex);
    tzset();
    ZoneMayHaveChanged();
    return timezone;
}

bool Clock::ZoneHasDaylight() {
    std::lock_guard lock(zoneMutex);
    tzset();
    ZoneMayHaveChanged();
    return daylight != 0;
}

namespace {

LocalTime FromTm(const struct tm& tm) {
    LocalTime lt;
    lt.year = tm.tm_year + 1900;
    lt.month = tm.tm_mon + 1;
    lt.day = tm.tm_mday;
    lt.hour = tm.tm_hour;
    lt.minute = tm.tm_min;
    lt.second = tm.tm_sec;
    lt.weekday = tm.tm_wday;
    lt.yearday = tm.tm_yday;
    lt.isDst = tm.tm_isdst > 0;
    return lt;
}

} // namespace

LocalTime Clock::ToLocal(int64_t unixSeconds) {
    std::lock_guard lock(zoneMutex);
    for (const KeptLocal& kept : keptLocal)
        if (kept.setting == zoneSetting && kept.seconds == unixSeconds) return kept.local;
    time_t t = static_cast<time_t>(unixSeconds);
    struct tm tm {};
    localtime_r(&t, &tm);
    KeptLocal& slot = keptLocal[nextKept];
    nextKept = (nextKept + 1) % std::size(keptLocal);
    slot = KeptLocal{zoneSetting, unixSeconds, FromTm(tm)};
    return slot.local;
}

LocalTime Clock::ToUtc(int64_t unixSeconds) {
    time_t t = static_cast<time_t>(unixSeconds);
    struct tm tm {};
    gmtime_r(&t, &tm);
    return FromTm(tm);
}

LocalTime Clock::Now() {
    int64_t ms = UnixTimeMs();
    int64_t seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    LocalTime lt = ToLocal(seconds);
    lt.hundredths = static_cast<int>((ms - seconds * 1000) / 10);
    return lt;
}

int64_t Clock::FromLocal(int year, int month, int day, int hour, int minute, int second) {
    struct tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    std::lock_guard lock(zoneMutex);
    auto seconds = static_cast<int64_t>(mktime(&tm)); // runs tzset
    ZoneMayHaveChanged();
    return seconds;
}

bool Clock::IdleWait(uint32_t ms, const std::function<bool(int timeoutMs)>& poll) {
    if (ms == UINT32_MAX) return poll(-1);
    return poll(static_cast<int>(std::min<uint32_t>(ms, INT_MAX)));
}

uint32_t RealClock::TickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

uint64_t RealClock::MonotonicMs() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

int64_t RealClock::UnixTimeMs() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

int64_t RealClock::MicrosecondCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

void RealClock::Sleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

SimulatedClock::SimulatedClock(int64_t unixTimeMs, uint32_t startTick)
    : tick_(startTick), monotonicMs_(startTick), wallMs_(unixTimeMs) {}

bool SimulatedClock::IdleWait(uint32_t ms, const std::function<bool(int timeoutMs)>& poll) {
    if (poll(0)) return true;
    if (ms == UINT32_MAX) return poll(10);
    Advance(ms);
    return false;
}

} // namespace platform
