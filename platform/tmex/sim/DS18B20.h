#pragma once
// DS18B20 thermometer, family 0x28. Scratchpad: [LSB, MSB (int16, 1/16 degree C), TH, TL, config,
// 0xFF, 0x0C, 0x10, CRC8]; power-on 50 05 4B 46 7F FF 0C 10 (85.0). Config bits 6..5 (R1 R0) choose 9..12
// bits, the other config bits read 0 (bit 7) and 1 (bits 4..0) whatever is written. A conversion takes
// 93.75 / 187.5 / 375 / 750 ms and leaves the 3 / 2 / 1 / 0 lowest temperature bits 0.
#include "platform/tmex/sim/Thermometer.h"

namespace platform::tmex::sim {

class DS18B20 : public Thermometer {
public:
    static constexpr uint8_t kFamily = 0x28;
    explicit DS18B20(const Rom& rom);
    explicit DS18B20(uint64_t serial48) : DS18B20(Rom::Make(kFamily, serial48)) {}
    std::string FamilyName() const override { return "DS18B20"; }

protected:
    Pad PowerOnScratchpad() const override { return {0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10}; }
    void Encode(double celsius, uint8_t config, Pad& pad) const override;
    int WritableBytes() const override { return 3; }
    uint64_t ConversionTimeUs() const override;
    uint8_t WrittenConfig(uint8_t master) const override;
};

} // namespace platform::tmex::sim
