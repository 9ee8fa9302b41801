#include "onewire/Extremes.h"

#include "platform/Clock.h"
#include "platform/IniFile.h"

Extremes::Moved Extremes::Track(double margin, int32_t now) {
    Moved moved;
    if (value > high + margin) {
        high = value;
        highTime = now;
        moved.high = true;
    }
    if (value < low - margin) {
        low = value;
        lowTime = now;
        moved.low = true;
    }
    return moved;
}

void Extremes::Reset(int32_t now) {
    high = low = value;
    highTime = lowTime = now;
}

double Extremes::High(uint8_t* time) const {
    FillTimeRecord(highTime, time);
    return high;
}

double Extremes::Low(uint8_t* time) const {
    FillTimeRecord(lowTime, time);
    return low;
}

void Extremes::SaveHigh(platform::TIniFile& ini, const std::string& section) const {
    const std::string key = std::string("max_") + name;
    ini.WriteFloat(section, key, high);
    ini.WriteInteger(section, key + "_t", highTime);
}

void Extremes::SaveLow(platform::TIniFile& ini, const std::string& section) const {
    const std::string key = std::string("min_") + name;
    ini.WriteFloat(section, key, low);
    ini.WriteInteger(section, key + "_t", lowTime);
}

void FillTimeRecord(int32_t when, uint8_t* time) {
    if (!time) return;
    platform::LocalTime lt = platform::Clock::Get().ToLocal(when);
    time[0] = static_cast<uint8_t>(lt.minute);
    time[1] = static_cast<uint8_t>(lt.hour);
}
