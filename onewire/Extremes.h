#pragma once
// A value with its high and low marks and their times (seconds since 1970), as every sensor class
// keeps them. In SENSORS.INI the marks of a value named "temp" are "max_temp" and "min_temp", their
// times "max_temp_t" and "min_temp_t"; a new mark is written the moment it moves.
#include <cstdint>
#include <string>

namespace platform {
class TIniFile;
}

struct Extremes {
    Extremes(const char* name, double high, double low) : name(name), high(high), low(low) {}

    // Which marks a value moved.
    struct Moved {
        bool high = false;
        bool low = false;
    };
    // Moves a mark the value passed by more than `margin` to the value, at `now`.
    Moved Track(double margin, int32_t now);
    // Both marks to the value, at `now`.
    void Reset(int32_t now);
    // A mark and its local time: time[0] the minute, time[1] the hour (time may be null).
    double High(uint8_t* time) const;
    double Low(uint8_t* time) const;
    // Writes a mark and its time to the sensor's section.
    void SaveHigh(platform::TIniFile& ini, const std::string& section) const;
    void SaveLow(platform::TIniFile& ini, const std::string& section) const;

    const char* name;
    double value = 0.0;
    double high;
    double low;
    int32_t highTime = 0;
    int32_t lowTime = 0;
};

// Fills a two-byte time record (minute, hour) with the local time of a mark's time.
void FillTimeRecord(int32_t when, uint8_t* time);
