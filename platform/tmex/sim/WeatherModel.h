#pragma once
// The weather of the simulated demo station: a pure function of the time and a seed, so that a run on
// the simulated clock repeats exactly, while a run on the real clock sees weather that moves.
//
// - Air temperature: a seasonal mean, a daily cycle (lowest near 03:00, highest near 15:00 local time),
//   slow weather fronts and a little fast noise; showers cool the air.
// - Humidity: from a dew point that follows the day's mean temperature, so it falls as the air warms;
//   near saturation in a shower.
// - Pressure: slow drifting highs and lows around 1013 hPa with the small twice-daily tide.
// - Wind: a mean speed that drifts over hours (stronger in the afternoon and in lows) with gusts of a
//   few seconds on top; a direction that wanders slowly with quick swings.
// - Rain: showers of 15 to 60 minutes, at most one in each three-hour slot, more likely when the
//   pressure is low; no rain at all outside a shower.
// The cumulative counters (anemometer revolutions, rain-gauge tips) are integrated by Advance.
#include <cstdint>

namespace platform::tmex::sim {

struct Weather {
    double temperatureC = 0; // outdoor air
    double dewpointC = 0;
    double humidity = 0;      // %RH, 5..100
    double pressureHpa = 0;   // sea-level pressure
    double windMs = 0;        // instantaneous, gusts included
    double windMeanMs = 0;    // the mean speed the gusts ride on
    double windDirection = 0; // degrees from north, [0, 360)
    double rainMmPerHour = 0; // 0 outside a shower
    bool shower = false;
};

// std::fmod(x, period) for a whole-numbered period, to the bit, without its digit-by-digit division.
double FmodWhole(double x, double period);

class WeatherModel {
public:
    static constexpr uint64_t kDefaultSeed = 20261206;

    explicit WeatherModel(uint64_t seed = kDefaultSeed) : seed_(seed) {}
    uint64_t Seed() const { return seed_; }

    // The weather at a moment (milliseconds since 1970 UTC), with the daily cycle in the local time of
    // the installed clock's time zone.
    Weather At(int64_t unixMs) const;
    // The weather at the installed clock's present time.
    Weather Now() const;
    // The small quick movement of the air at one spot (degrees C, within +-0.5): a few tenths within
    // seconds to a minute, its own for each spot number.
    double AirWander(int64_t unixMs, int spot) const;

    // Integrates the counters up to unixMs on a fixed 2-second grid, so that the counts do not depend on
    // how often this is called; the anemometer's revolutions also include the part of the step up to
    // unixMs, so they grow continuously, not in 2-second lumps. The first call only sets the start; a
    // step back in time restarts the integration there; a gap of more than six hours integrates only
    // its last six hours.
    void Advance(int64_t unixMs);
    // Advance(unixMs), then the weather at unixMs: the same as the two calls, with one look at the zone.
    Weather AdvanceTo(int64_t unixMs);
    // Anemometer revolutions (fractional) and rain since the first Advance.
    double WindRevolutions() const { return windRevolutions_ + partialRevolutions_; }
    double RainMm() const { return rainMm_; }

    // Metres per second for one anemometer revolution per second (the station's conversion).
    static constexpr double kMsPerRevolution = 1.096;

private:
    struct Parts; // the slowly varying terms shared by the instantaneous values
    Weather AtOffset(int64_t unixMs, long utcOffsetSeconds) const;
    void AdvanceOffset(int64_t unixMs, long utcOffsetSeconds);
    Parts Slow(int64_t unixMs, long utcOffsetSeconds) const;
    double RainRate(int64_t unixMs, bool& shower) const;
    // The wind: its slowly drifting mean, the speed with the gusts on it, and the speed alone (what the
    // anemometer's integration needs of the slow terms).
    double WindMean(int64_t unixMs, long utcOffsetSeconds, double pressureHpa) const;
    double WindSpeed(int64_t unixMs, double windMeanMs) const;
    double WindAt(int64_t unixMs, long utcOffsetSeconds) const;
    double PressureAt(int64_t unixMs, long utcOffsetSeconds) const;
    // Smooth noise in [-1, 1] of one channel with the given period (seconds).
    double Noise(int channel, double seconds, double period) const;
    double Hash01(int channel, int64_t index) const;
    // A three-hour slot's shower, if it has one (a pure function of the seed and the slot).
    struct Shower {
        int64_t slot = 0;
        bool valid = false, wet = false;
        double start = 0, length = 0, peak = 0;
    };
    const Shower& ShowerOf(int64_t slot) const;

    uint64_t seed_;
    // Noise's last knots of each channel (a pure function of the seed, the channel and the index).
    struct Knots {
        bool valid = false;
        int64_t index = 0;
        double a = 0, b = 0;
    };
    static constexpr int kKnotChannels = 48;
    mutable Knots knots_[kKnotChannels];
    mutable Shower shower_; // ShowerOf's last slot
    mutable double seasonDay_ = -1e300; // Slow's last day and its seasonal mean
    mutable double seasonal_ = 0;
    bool started_ = false;
    int64_t gridMs_ = 0;            // the last integrated grid point
    double windRevolutions_ = 0;    // up to gridMs_
    double partialRevolutions_ = 0; // from gridMs_ to the last Advance
    double rainMm_ = 0;
};

} // namespace platform::tmex::sim
