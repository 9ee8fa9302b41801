#pragma once
// The latest shared values: written by the readers and the display handlers, read by the status line,
// the data logs, the windows and publishing. The main window owns them (TMainForm::CurrentReadings);
// publishing reads them through PublishingHost.h. The values are 32-bit floats, as the status line
// formats them.
#include <cstdint>

#include "platform/DateTime.h"

struct TCurrentReadings {
    // Main temperature sensor, in its own unit, with the times of its high and low.
    float Temperature = 0, TemperatureMax = 0, TemperatureMin = 0;
    platform::DosTime TemperatureMaxTime, TemperatureMinTime;
    // The same in fixed units.
    float TemperatureC = 0, TemperatureF = 0, TemperatureMaxC = 0, TemperatureMinC = 0;
    float WindChill = 0; // station unit
    // Wind: m/s, and the configured unit.
    float WindSpeedMs = 0, WindGustMs = 0, WindMaxMs = 0;
    float WindSpeed = 0, WindGust = 0, WindMax = 0;
    // Rain, in inches.
    float RainToday = 0, RainRate = 0, RainHour = 0, RainWeek = 0, RainMonth = 0;
    // Main humidity sensor.
    float Humidity = 0, HumidityMax = 0, HumidityMin = 0, Dewpoint = 0, HeatIndex = 0;
    // Barometer: configured unit, then inches of mercury, and the change against an hour ago.
    float Barometer = 0, BarometerMax = 0, BarometerMin = 0;
    float BarometerInHg = 0, BarometerMaxInHg = 0, BarometerMinInHg = 0, BarometerChangeInHg = 0;
    uint8_t WindDirectionIndex = 0; // 0..15, 255 = no valid direction
    // The wind vane's direction (0..15, 255 = none), its average compass point and its average in degrees.
    int WindDirectionBin = 0;
    int WindCompassPoint = 0;
    int WindDirectionDegrees = 0;
    // Whether the main temperature and the wind have been read since the start (until then the
    // fields above hold zeros, not readings).
    bool TemperatureRead = false, WindRead = false;
    // Which groups above are current: the sensor is there, samples and has read its device lately
    // (iButton::ValuesCurrent), as of the last round. What is not current is published as the station
    // publishes a sensor it does not have: left out, "(n/a)", dots, or the zeros of the status line.
    bool TemperatureCurrent = false, WindCurrent = false, RainCurrent = false, BarometerCurrent = false,
         HumidityCurrent = false;
    // The wind's prevailing direction has directions counted since the histogram's restart
    // (WindData::HasPrevailingDirection); without, WindDirectionDegrees and WindCompassPoint are no value.
    bool PrevailingDirection = false;
};
