#include "platform/tmex/sim/DS18S20.h"

#include <cmath>

namespace platform::tmex::sim {

DS18S20::DS18S20(const Rom& rom) : Thermometer(rom) {
    PowerOn();
}

// TEMP_READ = floor(T + 0.25) and COUNT_REMAIN = 16 - round(16 * (T - TEMP_READ + 0.25)) reproduce T
// through the datasheet formula; the half-degree bit of TEMP is set so that TEMP >> 1 == TEMP_READ.
void DS18S20::Encode(double celsius, uint8_t /*config*/, Pad& pad) const {
    int tempRead = static_cast<int>(std::floor(celsius + 0.25));
    double fraction = celsius - tempRead + 0.25;
    int countRemain = 16 - static_cast<int>(std::lround(fraction * 16.0));
    if (countRemain < 0) countRemain = 0;
    int half = (celsius - tempRead) >= 0.5 ? 1 : 0;
    int temp = tempRead * 2 + half;
    auto raw = static_cast<uint16_t>(static_cast<int16_t>(temp));
    pad[0] = static_cast<uint8_t>(raw & 0xFF);
    pad[1] = static_cast<uint8_t>(raw >> 8);
    pad[4] = 0xFF;
    pad[5] = 0xFF;
    pad[6] = static_cast<uint8_t>(countRemain);
    pad[7] = 0x10;
}

} // namespace platform::tmex::sim
