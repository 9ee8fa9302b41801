#pragma once
// DS1822 econo thermometer, family 0x22: the DS18B20's scratchpad, commands and conversion times.
#include "platform/tmex/sim/DS18B20.h"

namespace platform::tmex::sim {

class DS1822 : public DS18B20 {
public:
    static constexpr uint8_t kFamily = 0x22;
    explicit DS1822(const Rom& rom) : DS18B20(rom) {}
    explicit DS1822(uint64_t serial48) : DS1822(Rom::Make(kFamily, serial48)) {}
    std::string FamilyName() const override { return "DS1822"; }
};

} // namespace platform::tmex::sim
