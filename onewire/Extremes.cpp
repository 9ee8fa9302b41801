#include "onewire/Extremes.h"

#include <cmath>

#include "platform/Clock.h"
#include "platform/IniFile.h"

template <class T> typename BasicExtremes<T>::Moved BasicExtremes<T>::Track(T margin, int32_t now) {
    Moved moved;
    if (value > high + margin) {
        high = value;
        highTime = now;
        moved.high = true;
    }
    if (HasLow() && value < low - margin) {
        low = value;
        lowTime = now;
        moved.low = true;
    }
    return moved;
}

template <class T> void BasicExtremes<T>::Reset(int32_t now) {
    high = low = value;
    highTime = lowTime = now;
}

template <class T> T BasicExtremes<T>::High(uint8_t* time) const {
    FillTimeRecord(highTime, time);
    return high;
}

template <class T> T BasicExtremes<T>::Low(uint8_t* time) const {
    FillTimeRecord(lowTime, time);
    return low;
}

template <class T>
void BasicExtremes<T>::SaveHigh(platform::TIniFile& ini, const std::string& section) const {
    ini.WriteFloat(section, keys.high, high);
    ini.WriteInteger(section, keys.highTime, highTime);
}

template <class T> void BasicExtremes<T>::SaveLow(platform::TIniFile& ini, const std::string& section) const {
    if (!HasLow()) return;
    ini.WriteFloat(section, keys.low, low);
    ini.WriteInteger(section, keys.lowTime, lowTime);
}

namespace {
// A stored mark beyond the range of T (a float's) falls back to what is held: no infinity is taken.
template <class T>
T ReadMark(const platform::TIniFile& ini, const std::string& section, const std::string& key, T held) {
    const auto value = static_cast<T>(ini.ReadFloat(section, key, held));
    return std::isfinite(value) ? value : held;
}
} // namespace

template <class T>
void BasicExtremes<T>::LoadMarks(const platform::TIniFile& ini, const std::string& section) {
    high = ReadMark(ini, section, keys.high, high);
    highTime = ini.ReadInteger(section, keys.highTime, highTime);
    if (!HasLow()) return;
    low = ReadMark(ini, section, keys.low, low);
    lowTime = ini.ReadInteger(section, keys.lowTime, lowTime);
}

template struct BasicExtremes<double>;
template struct BasicExtremes<float>;

void FillTimeRecord(int32_t when, uint8_t* time) {
    if (!time) return;
    platform::LocalTime lt = platform::Clock::Get().ToLocal(when);
    time[0] = static_cast<uint8_t>(lt.minute);
    time[1] = static_cast<uint8_t>(lt.hour);
}
