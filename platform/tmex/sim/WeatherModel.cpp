#include "platform/tmex/sim/WeatherModel.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cmath>

namespace platform::tmex::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kHour = 3600.0;
constexpr double kDay = 86400.0;
constexpr int64_t kGridMs = 2000;
constexpr int64_t kMaxGapMs = 6 * 3600 * 1000LL;
constexpr int64_t kShowerSlotSeconds = 3 * 3600;

// Noise channels: each quantity draws from its own.
enum Channel {
    kFronts = 1,
    kFrontsShort,
    kCloudiness,
    kTemperatureJitter,
    kDewpoint,
    kWindDrift,
    kWindDriftShort,
    kPressureLong,
    kPressureShort,
    kGust,
    kGustShort,
    kDirectionDrift,
    kDirectionSwing,
    kDirectionJitter,
    kShowerChance = 20,
    kShowerStart,
    kShowerLength,
    kShowerPeak,
    kAirWander = 40, // three channels per spot from here
};

uint64_t SplitMix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Saturation vapour pressure over water (hPa), Magnus form.
double VapourPressure(double celsius) {
    return 6.112 * std::exp(17.62 * celsius / (243.12 + celsius));
}

// Seconds east of UTC of the installed zone at a moment.
long ZoneOffset(int64_t unixSeconds) {
    LocalTime lt = Clock::Get().ToLocal(unixSeconds);
    long local = lt.hour * 3600L + lt.minute * 60L + lt.second;
    long utc = static_cast<long>(((unixSeconds % 86400) + 86400) % 86400);
    long offset = local - utc;
    if (offset > 43200) offset -= 86400;
    if (offset <= -43200) offset += 86400;
    return offset;
}

// The seasonal mean temperature of a day (days since 1970 local time): about 1 C in January.
double SeasonalMean(double day) {
    double dayOfYear = std::fmod(day, 365.2425);
    return 9.0 - 8.0 * std::cos(2 * kPi * (dayOfYear - 20) / 365.2425);
}

int64_t FloorGrid(int64_t ms) {
    int64_t q = ms / kGridMs;
    if (ms % kGridMs < 0) --q;
    return q * kGridMs;
}

} // namespace

double FmodWhole(double x, double period) {
    // Below 2^52 the whole quotient n times the period is exact, and so is x - n * period: it is a
    // multiple of x's last bit smaller than the period. A quotient that rounded to the next whole
    // number leaves the remainder a period off, which one step puts right (exactly, for the same reason).
    if (!(std::fabs(x) < 0x1p52)) return std::fmod(x, period);
    double r = x - std::trunc(x / period) * period;
    if (x >= 0) {
        if (r < 0) r += period;
        else if (r >= period) r -= period;
    } else {
        if (r > 0) r -= period;
        else if (r <= -period) r += period;
    }
    return r == 0 ? std::copysign(0.0, x) : r;
}

struct WeatherModel::Parts {
    double temperatureC; // before a shower's cooling
    double dewpointC;
    double pressureHpa;
    double windMeanMs;
};

double WeatherModel::Hash01(int channel, int64_t index) const {
    uint64_t h = SplitMix(seed_ ^ SplitMix(static_cast<uint64_t>(channel) * 0x100000001B3ULL) ^
                          SplitMix(static_cast<uint64_t>(index)));
    return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
}

double WeatherModel::Noise(int channel, double seconds, double period) const {
    double x = seconds / period;
    double i = std::floor(x);
    double f = x - i;
    auto index = static_cast<int64_t>(i);
    double a, b;
    // The two knots of a channel change once a period: kept from the last call on the channel.
    Knots* knots = channel >= 0 && channel < kKnotChannels ? &knots_[channel] : nullptr;
    if (knots != nullptr && knots->valid && knots->index == index) {
        a = knots->a;
        b = knots->b;
    } else {
        a = knots != nullptr && knots->valid && knots->index + 1 == index ? knots->b
                                                                          : Hash01(channel, index) * 2 - 1;
        b = Hash01(channel, index + 1) * 2 - 1;
        if (knots != nullptr) *knots = Knots{true, index, a, b};
    }
    double s = f * f * (3 - 2 * f);
    return a + (b - a) * s;
}

double WeatherModel::PressureAt(int64_t unixMs, long utcOffsetSeconds) const {
    double s = static_cast<double>(unixMs) / 1000.0;
    double localHour = FmodWhole(s + static_cast<double>(utcOffsetSeconds), kDay) / kHour;
    double p = 1013.0 + 13.0 * Noise(kPressureLong, s, 70 * kHour) +
               5.0 * Noise(kPressureShort, s, 16 * kHour) + 0.7 * std::cos(4 * kPi * (localHour - 10) / 24);
    return std::clamp(p, 965.0, 1045.0);
}

WeatherModel::Parts WeatherModel::Slow(int64_t unixMs, long utcOffsetSeconds) const {
    double s = static_cast<double>(unixMs) / 1000.0;
    double local = s + static_cast<double>(utcOffsetSeconds);
    double localHour = FmodWhole(local, kDay) / kHour;
    // A pure function of the day: kept for the day it was made for, it cannot go stale.
    double day = std::floor(local / kDay);
    if (!(day == seasonDay_)) {
        seasonDay_ = day;
        seasonal_ = SeasonalMean(day);
    }
    double seasonal = seasonal_;
    double mean = seasonal + 3.0 * Noise(kFronts, s, 40 * kHour) + 1.0 * Noise(kFrontsShort, s, 9 * kHour);
    double amplitude = 4.25 + 0.75 * Noise(kCloudiness, s, 30 * kHour);
    double daily = amplitude * std::cos(2 * kPi * (localHour - 15) / 24);

    Parts p{};
    p.temperatureC = mean + daily + 0.15 * Noise(kTemperatureJitter, s, 600);
    p.dewpointC = std::min(mean - 3.5 + 2.0 * Noise(kDewpoint, s, 20 * kHour), p.temperatureC - 0.2);
    p.pressureHpa = PressureAt(unixMs, utcOffsetSeconds);
    p.windMeanMs = WindMean(unixMs, utcOffsetSeconds, p.pressureHpa);
    return p;
}

double WeatherModel::WindMean(int64_t unixMs, long utcOffsetSeconds, double pressureHpa) const {
    double s = static_cast<double>(unixMs) / 1000.0;
    double localHour = FmodWhole(s + static_cast<double>(utcOffsetSeconds), kDay) / kHour;
    double mean_ms =
        3.0 + 1.8 * Noise(kWindDrift, s, 14 * kHour) + 1.0 * Noise(kWindDriftShort, s, 2.5 * kHour) +
        1.2 * std::cos(2 * kPi * (localHour - 14) / 24) + std::max(0.0, (1010.0 - pressureHpa) / 6);
    return std::max(0.3, mean_ms);
}

double WeatherModel::WindSpeed(int64_t unixMs, double windMeanMs) const {
    double s = static_cast<double>(unixMs) / 1000.0;
    double gust = 1 + 0.30 * Noise(kGust, s, 15) + 0.15 * Noise(kGustShort, s, 4);
    return std::clamp(windMeanMs * gust, 0.0, 45.0);
}

double WeatherModel::WindAt(int64_t unixMs, long utcOffsetSeconds) const {
    return WindSpeed(unixMs, WindMean(unixMs, utcOffsetSeconds, PressureAt(unixMs, utcOffsetSeconds)));
}

const WeatherModel::Shower& WeatherModel::ShowerOf(int64_t slot) const {
    if (shower_.valid && shower_.slot == slot) return shower_;
    shower_ = Shower{slot, true};
    int64_t slotStart = slot * kShowerSlotSeconds;
    // Lows bring more showers: 8 % a slot in a high, up to 30 % in a deep low.
    double low = std::clamp((1012.0 - PressureAt(slotStart * 1000, 0)) / 14.0, 0.0, 1.0);
    if (Hash01(kShowerChance, slot) >= 0.08 + 0.22 * low) return shower_;
    // Start within the first two hours, last 15 to 60 minutes: a shower never leaves its slot.
    shower_.wet = true;
    shower_.start = static_cast<double>(slotStart) + Hash01(kShowerStart, slot) * 2 * kHour;
    shower_.length = 900.0 + Hash01(kShowerLength, slot) * 2700.0;
    double r = Hash01(kShowerPeak, slot);
    shower_.peak = 1.0 + 11.0 * r * r; // mm/h; most showers are light
    return shower_;
}

double WeatherModel::RainRate(int64_t unixMs, bool& shower) const {
    shower = false;
    double s = static_cast<double>(unixMs) / 1000.0;
    const Shower& slot = ShowerOf(static_cast<int64_t>(std::floor(s / kShowerSlotSeconds)));
    if (!slot.wet) return 0;
    double x = (s - slot.start) / slot.length;
    if (x < 0 || x >= 1) return 0;
    shower = true;
    return slot.peak * std::sin(kPi * x);
}

Weather WeatherModel::At(int64_t unixMs) const {
    return AtOffset(unixMs, ZoneOffset(unixMs / 1000));
}

Weather WeatherModel::AtOffset(int64_t unixMs, long offset) const {
    Parts p = Slow(unixMs, offset);
    Weather w;
    w.rainMmPerHour = RainRate(unixMs, w.shower);
    double wet = w.shower ? std::min(1.0, 0.6 + w.rainMmPerHour / 2.0) : 0.0;
    w.temperatureC = p.temperatureC - 1.5 * std::min(1.0, w.rainMmPerHour / 4.0);
    w.dewpointC = std::min(p.dewpointC, w.temperatureC - 0.2);
    w.dewpointC += (w.temperatureC - 0.3 - w.dewpointC) * wet; // a shower saturates the air
    w.humidity = std::clamp(100.0 * VapourPressure(w.dewpointC) / VapourPressure(w.temperatureC), 5.0, 100.0);
    w.pressureHpa = p.pressureHpa;
    w.windMeanMs = p.windMeanMs;
    w.windMs = WindSpeed(unixMs, p.windMeanMs);
    double s = static_cast<double>(unixMs) / 1000.0;
    double direction = 230.0 + 100.0 * Noise(kDirectionDrift, s, 20 * kHour) +
                       35.0 * Noise(kDirectionSwing, s, 1.5 * kHour) + 12.0 * Noise(kDirectionJitter, s, 20);
    direction = FmodWhole(direction, 360.0);
    if (direction < 0) direction += 360.0;
    w.windDirection = direction;
    return w;
}

double WeatherModel::AirWander(int64_t unixMs, int spot) const {
    double s = static_cast<double>(unixMs) / 1000.0;
    // Periods that are no multiples of each other, so that the sum never rests where one of them does;
    // the quickest moves the air even between the retries of one reading.
    const int channel = kAirWander + 3 * spot;
    return 0.25 * Noise(channel, s, 53) + 0.15 * Noise(channel + 1, s, 11) + 0.1 * Noise(channel + 2, s, 3);
}

Weather WeatherModel::Now() const {
    return At(Clock::Get().UnixTimeMs());
}

void WeatherModel::Advance(int64_t unixMs) {
    AdvanceOffset(unixMs, ZoneOffset(unixMs / 1000));
}

Weather WeatherModel::AdvanceTo(int64_t unixMs) {
    long offset = ZoneOffset(unixMs / 1000);
    AdvanceOffset(unixMs, offset);
    return AtOffset(unixMs, offset);
}

// The zone offset of the span's end serves the whole span (at most one DST change is smeared).
void WeatherModel::AdvanceOffset(int64_t unixMs, long offset) {
    int64_t target = FloorGrid(unixMs);
    partialRevolutions_ = 0;
    if (!started_ || target < gridMs_) {
        started_ = true;
        gridMs_ = target;
        return;
    }
    if (target - gridMs_ > kMaxGapMs) gridMs_ = target - kMaxGapMs;
    const double step = static_cast<double>(kGridMs) / 1000.0;
    for (; gridMs_ < target; gridMs_ += kGridMs) {
        int64_t mid = gridMs_ + kGridMs / 2;
        windRevolutions_ += WindAt(mid, offset) / kMsPerRevolution * step;
        bool shower = false;
        rainMm_ += RainRate(mid, shower) * step / kHour;
    }
    // The unfinished step at the speed of its middle so far: at the step's end this is the whole step.
    if (unixMs > gridMs_) {
        int64_t mid = gridMs_ + (unixMs - gridMs_) / 2;
        double seconds = static_cast<double>(unixMs - gridMs_) / 1000.0;
        partialRevolutions_ = WindAt(mid, offset) / kMsPerRevolution * seconds;
    }
}

} // namespace platform::tmex::sim
