#pragma once
// What the weather posts and the APRS report take from the sensor objects and the latest readings,
// read once for each report. Counts are distances between two readings of a counter (wrap-safe). A
// group whose readings are not current (TCurrentReadings) is reported as absent: its flag is false.
#include <cstdint>
#include <string>

struct TCurrentReadings;

struct TReportValues {
    // The main temperature sensor, as the display handler stored it.
    float TemperatureC = 0, TemperatureF = 0, TemperatureInUnit = 0;
    bool Thermometer = false;       // a DS1820, humidity or plain DS2438 sensor (the barometer alone not)
    bool TemperatureSensor = false; // any of those, or the barometer
    // The station has a temperature sensor, but its readings are not current: the bodies that always
    // carry a temperature leave it out.
    bool TemperatureStale = false;
    // Wind: revolutions per second, the configured unit, degrees, compass point. The prevailing
    // direction (degrees, compass point) is a value only with Direction.
    bool Wind = false, Direction = false;
    double Speed = 0, MinuteAverage = 0, Gust = 0;
    double SpeedInUnit = 0, GustInUnit = 0;
    int DirectionDegrees = 0, CompassPoint = 0;
    std::string CompassName;
    // Rain: counts since the total reset, the day's start, an hour ago, the month's start and the rate
    // window's start; the rate window's share of an hour (60 div RateMinutes).
    bool Rain = false;
    uint32_t SinceReset = 0, SinceMidnight = 0, LastHour = 0, SinceMonth = 0, RateWindow = 0;
    int RateWindowsPerHour = 0;
    unsigned CountsPerInch = 0;
    bool RainInInches = true;
    int64_t RainResetTime = 0; // seconds since 1970
    // Barometer.
    bool Barometer = false;
    double PressureInHg = 0, PressureInUnit = 0, PressureRateInUnit = 0;
    // Humidity of the main humidity sensor.
    bool Humidity = false;
    float HumidityPercent = 0;
    // The dew point (Celsius), a value while the main temperature and the humidity are both current.
    bool Dewpoint = false;
    float DewpointC = 0;

    // Inches of a count distance (0 when the gauge has no counts per inch).
    double Inches(uint32_t counts) const {
        return CountsPerInch ? static_cast<double>(counts) / CountsPerInch : 0;
    }
};

TReportValues GatherReportValues(const TCurrentReadings& readings);
