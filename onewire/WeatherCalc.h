#pragma once
// Derived weather values and unit helpers: sunrise and sunset, dew point, heat index, wind chill, the
// Celsius/Fahrenheit conversions and trigonometry in degrees. No state of their own; the sun times read
// the station's time zone through the SensorHost.
#include <cstdint>

// Local time of sunrise (sunset non-zero: sunset) as hours + minutes / 100 (6.45 is 06:45), or -1.0 when
// the sun does not rise or set that day or when latitude or longitude is exactly 0.0 (position not set).
// North and east are positive.
float CalculateSunriseSunset(int year, uint8_t day, uint8_t month, float latitude, float longitude,
                             int sunset);

// Dew point in degrees Celsius from a temperature in Celsius and a relative humidity in percent.
float CalculateDewpoint(float temperature, float humidity);
// Heat index in Celsius; the temperature itself at or below 80 F or 40 %RH.
float CalculateHeatIndex(float temperature, float humidity);
// The heat index to show for a sensor that holds one (Celsius; 0.0 where the formula does not apply):
// the held value where the formula applies, else the air temperature, as CalculateHeatIndex gives it.
double ShownHeatIndex(double heatIndex, double temperature, double humidity);
// Wind chill in Celsius from a temperature in Fahrenheit and the wind's minute average in revolutions
// per second (never above the temperature); without a wind sensor, the temperature itself.
float CalculateWindchill(float fahrenheit, double revolutionsPerSecond);
float CalculateWindchill(float fahrenheit);

char TemperatureUnitLetter();
float CelsiusToFahrenheit(float x);
float FahrenheitToCelsius(float x);

double SinDeg(double angle);
double CosDeg(double angle);
double TanDeg(double angle);
double ArcSinDeg(double value);
double ArcTanDeg(double value);
double ArcCosDeg(double value);
