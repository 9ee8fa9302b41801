#pragma once
// A value with its high and low marks and their times (seconds since 1970), as every sensor class
// keeps them. In SENSORS.INI the marks of a value named "temp" are "max_temp" and "min_temp", their
// times "max_temp_t" and "min_temp_t"; a suffix follows each ("max_value_A", "max_value_t_A" for a
// DS2450 channel). A value may have keys of its own instead, and a high mark alone (the wind's day high:
// "MaxSpeed", "MaxSpeedTime"). The thermometer family keeps doubles; the DS2450 and the wind floats.
#include <cstdint>
#include <string>
#include <utility>

namespace platform {
class TIniFile;
}

template <class T> struct BasicExtremes {
    // The SENSORS.INI keys of the marks; no low keys: a value with a high mark alone.
    struct Keys {
        std::string high, highTime, low, lowTime;
    };

    BasicExtremes(const char* name, T high, T low, const std::string& suffix = "")
        : keys{std::string("max_") + name + suffix, std::string("max_") + name + "_t" + suffix,
               std::string("min_") + name + suffix, std::string("min_") + name + "_t" + suffix},
          high(high), low(low) {}
    BasicExtremes(Keys keys, T high, T low) : keys(std::move(keys)), high(high), low(low) {}

    // Which marks a value moved.
    struct Moved {
        bool high = false;
        bool low = false;
    };
    // Moves a mark the value passed by more than `margin` to the value, at `now`.
    Moved Track(T margin, int32_t now);
    // Both marks to the value, at `now`.
    void Reset(int32_t now);
    // A mark and its local time: time[0] the minute, time[1] the hour (time may be null).
    T High(uint8_t* time) const;
    T Low(uint8_t* time) const;
    bool HasLow() const { return !keys.low.empty(); }
    // Writes a mark and its time to the sensor's section; reads them back (what is held is the default).
    void SaveHigh(platform::TIniFile& ini, const std::string& section) const;
    void SaveLow(platform::TIniFile& ini, const std::string& section) const;
    void LoadMarks(const platform::TIniFile& ini, const std::string& section);

    Keys keys;
    T value = 0;
    T high;
    T low;
    int32_t highTime = 0;
    int32_t lowTime = 0;
};

using Extremes = BasicExtremes<double>;
using FloatExtremes = BasicExtremes<float>;

extern template struct BasicExtremes<double>;
extern template struct BasicExtremes<float>;

// Fills a two-byte time record (minute, hour) with the local time of a mark's time.
void FillTimeRecord(int32_t when, uint8_t* time);
