// Sun times (the almanac algorithm, zenith 90.83 degrees, single-precision intermediates), dew point,
// heat index, wind chill and unit helpers.
#include "onewire/WeatherCalc.h"

#include <cmath>
#include <string>

#include "onewire/FaultRun.h"
#include "onewire/Microlan.h"
#include "onewire/SensorHost.h"
#include "platform/Clock.h"

namespace {

constexpr double kDegToRad = 0.017453292519943295;
constexpr double kOneOverPi = 0.3183098861837907;

// The daylight-saving hour of the sun times. An explicit [Weather] DST key wins; without one, whether
// daylight saving is in effect on that date (the zone merely having daylight saving is not enough: the
// winter times would come out an hour late).
int DaylightHours(int year, int month, int day) {
    SensorHost* host = InstalledSensorHost();
    std::optional<bool> setting = host ? host->DaylightSaving() : std::optional<bool>(false);
    if (setting) return *setting ? 1 : 0;
    platform::Clock& clock = platform::Clock::Get();
    return clock.ToLocal(clock.FromLocal(year, month, day, 12, 0, 0)).isDst ? 1 : 0;
}

// Each calculation logs a failure that repeats once per run (a NaN in a sensor's settings fails it on
// every reading).
TFaultRun dewpointRun, heatIndexRun, windchillRun;

void Log(const std::string& line) {
    Microlan::Log(line);
}

int TimezoneHours() {
    SensorHost* host = InstalledSensorHost();
    return host ? host->TimezoneHours() : 0;
}

} // namespace

double SinDeg(double angle) {
    return std::sin(angle * kDegToRad);
}
double CosDeg(double angle) {
    return std::cos(angle * kDegToRad);
}
double TanDeg(double angle) {
    return std::tan(angle * kDegToRad);
}
double ArcSinDeg(double value) {
    return std::asin(value) * 180 * kOneOverPi;
}
double ArcTanDeg(double value) {
    return std::atan(value) * 180 * kOneOverPi;
}
double ArcCosDeg(double value) {
    return std::acos(value) * 180 * kOneOverPi;
}

float CalculateSunriseSunset(int year, uint8_t day, uint8_t month, float latitude, float longitude,
                             int sunset) {
    if (latitude == 0.0f || longitude == 0.0f) return -1.0f;

    // Day of the year.
    int n1 = 275 * month / 9;
    int n2 = (month + 9) / 12;
    int n3 = 1 + static_cast<int>(std::floor((year - 4 * (year / 4) + 2) / 3.0));
    int n = n1 - n2 * n3 + day - 30;

    float lngHour = longitude / 15.0f;
    float t = n + ((sunset ? 18.0f : 6.0f) - lngHour) / 24.0f;
    float m = 0.9856f * t - 3.289f;

    float l = static_cast<float>(m + 1.916 * SinDeg(m) + 0.020 * SinDeg(2 * m) + 282.634);
    if (l < 0) l += 360;
    if (l > 360) l -= 360;

    float ra = static_cast<float>(ArcTanDeg(0.91764 * TanDeg(l)));
    if (ra < 0) ra += 360;
    if (ra > 360) ra -= 360;
    float lQuadrant = std::floor(l / 90.0f) * 90.0f;
    float raQuadrant = std::floor(ra / 90.0f) * 90.0f;
    ra = (ra + (lQuadrant - raQuadrant)) / 15.0f;

    float sinDec = static_cast<float>(0.39782 * SinDeg(l));
    float cosDec = static_cast<float>(CosDeg(ArcSinDeg(sinDec)));
    float cosH =
        static_cast<float>((CosDeg(90.83) - sinDec * SinDeg(latitude)) / (cosDec * CosDeg(latitude)));
    if (!(cosH <= 1.0f && cosH >= -1.0f)) return -1.0f; // never rises, never sets (or no number at all)

    float h = static_cast<float>(sunset ? ArcCosDeg(cosH) : 360 - ArcCosDeg(cosH)) / 15.0f;
    float localMean = h + ra - 0.06571f * t - 6.622f;
    float ut = localMean - lngHour;
    if (ut < 0) ut += 24;
    if (ut > 24) ut -= 24;

    float local = ut + TimezoneHours() + DaylightHours(year, month, day);
    int hours = static_cast<int>(std::floor(local));
    float minutes = (local - hours) * 60.0f * 0.01f;
    if (minutes >= 0.595f) {
        minutes = 0;
        ++hours;
    }
    if (hours == 24)
        hours = 0;
    else if (hours > 24)
        hours -= 24;
    else if (hours < 0)
        hours += 24;
    return hours + minutes;
}

float CalculateDewpoint(float temperature, float humidity) {
    float h = humidity * 0.01f;
    if (!(h >= 0.001f && h < 1.0f)) return temperature;
    double tk = temperature + 273.15;
    double dewpoint = tk / (std::log(h) * -0.0001846 * tk + 1.0) - 273.15;
    if (!std::isfinite(dewpoint)) {
        dewpointRun.Failed("SERVER: Error calculating dewpoint!", Log);
        return std::isfinite(temperature) ? temperature : 0.0f;
    }
    dewpointRun.Succeeded(Log);
    return static_cast<float>(dewpoint);
}

namespace {
// The heat index is defined above 80 F and 40 %RH.
bool HeatIndexApplies(double celsius, double humidity) {
    return celsius * 1.8 + 32 > 80.0 && humidity > 40.0;
}
} // namespace

double ShownHeatIndex(double heatIndex, double temperature, double humidity) {
    return HeatIndexApplies(temperature, humidity) ? heatIndex : temperature;
}

float CalculateHeatIndex(float temperature, float humidity) {
    double f = temperature * 1.8 + 32;
    double rh = humidity;
    if (!HeatIndexApplies(temperature, humidity)) return temperature;
    double hi = -42.379 + 2.04901523 * f + 10.1433127 * rh - 0.22475541 * f * rh - 6.83783e-3 * f * f -
                5.481717e-2 * rh * rh + 1.22874e-3 * f * f * rh + 8.5282e-4 * f * rh * rh -
                1.99e-6 * f * f * rh * rh;
    double result = (hi - 32) * 5 / 9;
    if (!std::isfinite(result)) {
        heatIndexRun.Failed("SERVER: Error calculating heat index!", Log);
        return temperature;
    }
    heatIndexRun.Succeeded(Log);
    return static_cast<float>(result);
}

float CalculateWindchill(float ta) {
    return (ta - 32) * 5 / 9;
}

float CalculateWindchill(float ta, double revolutionsPerSecond) {
    float celsius = CalculateWindchill(ta);
    double v = revolutionsPerSecond * 2.453; // revolutions per second to miles per hour
    double p = std::pow(v, 0.16);
    double chill = 35.74 + 0.6215 * ta - 35.75 * p + 0.4275 * ta * p;
    if (chill > ta) chill = ta;
    double result = (chill - 32) * 5 / 9;
    if (!std::isfinite(result)) {
        windchillRun.Failed("SERVER: Error calculating windchill!", Log);
        return std::isfinite(celsius) ? celsius : 0.0f;
    }
    windchillRun.Succeeded(Log);
    return static_cast<float>(result);
}

char TemperatureUnitLetter() {
    return Microlan::Bus().UseCelsius ? 'C' : 'F';
}

float CelsiusToFahrenheit(float x) {
    return x * 1.8f + 32;
}

float FahrenheitToCelsius(float x) {
    return (x - 32) * 0.5555555555555556f;
}
