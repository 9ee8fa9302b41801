#include "platform/tmex/sim/DS18B20.h"

#include <cmath>

namespace platform::tmex::sim {

DS18B20::DS18B20(const Rom& rom) : Thermometer(rom) {
    PowerOn();
}

void DS18B20::Encode(double celsius, Pad& pad) const {
    auto raw = static_cast<uint16_t>(static_cast<int16_t>(std::lround(celsius * 16.0)));
    pad[0] = static_cast<uint8_t>(raw & 0xFF);
    pad[1] = static_cast<uint8_t>(raw >> 8);
    pad[5] = 0xFF;
    pad[6] = 0x0C;
    pad[7] = 0x10;
}

uint64_t DS18B20::ConversionTimeUs() const {
    int resolution = (pad_[4] >> 5) & 3; // 0 = 9 bits .. 3 = 12 bits
    return 93750ULL << resolution;
}

} // namespace platform::tmex::sim
