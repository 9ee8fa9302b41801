#include "platform/tmex/sim/DS18B20.h"

#include <cmath>

namespace platform::tmex::sim {

DS18B20::DS18B20(const Rom& rom) : Thermometer(rom) {
    PowerOn();
}

// 12 bits count sixteenths of a degree; each bit less doubles the step and leaves one more low bit 0.
void DS18B20::Encode(double celsius, uint8_t config, Pad& pad) const {
    const int step = 8 >> ((config >> 5) & 3);
    long sixteenths = std::lround(celsius * 16.0 / step) * step;
    auto raw = static_cast<uint16_t>(static_cast<int16_t>(sixteenths));
    pad[0] = static_cast<uint8_t>(raw & 0xFF);
    pad[1] = static_cast<uint8_t>(raw >> 8);
    pad[5] = 0xFF;
    pad[6] = 0x0C;
    pad[7] = 0x10;
}

uint8_t DS18B20::WrittenConfig(uint8_t master) const {
    return static_cast<uint8_t>((master & 0x60) | 0x1F);
}

uint64_t DS18B20::ConversionTimeUs() const {
    int resolution = (pad_[4] >> 5) & 3; // 0 = 9 bits .. 3 = 12 bits
    return 93750ULL << resolution;
}

} // namespace platform::tmex::sim
