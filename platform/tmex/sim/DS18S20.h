#pragma once
// DS18S20 / DS1820 thermometer, family 0x10. Scratchpad: [TEMP LSB in half degrees, TEMP MSB (sign),
// TH, TL, 0xFF, 0xFF, COUNT_REMAIN, COUNT_PER_C = 0x10, CRC8]; power-on AA 00 4B 46 FF FF 0C 10.
// T = (TEMP >> 1) - 0.25 + (COUNT_PER_C - COUNT_REMAIN) / COUNT_PER_C. A conversion takes 750 ms (the
// data sheet's maximum) unless set.
#include "platform/tmex/sim/Thermometer.h"

namespace platform::tmex::sim {

class DS18S20 : public Thermometer {
public:
    static constexpr uint8_t kFamily = 0x10;
    explicit DS18S20(const Rom& rom);
    explicit DS18S20(uint64_t serial48) : DS18S20(Rom::Make(kFamily, serial48)) {}
    std::string FamilyName() const override { return "DS18S20"; }
    void SetConversionTimeMs(uint32_t ms) { conversionUs_ = static_cast<uint64_t>(ms) * 1000; }

protected:
    Pad PowerOnScratchpad() const override { return {0xAA, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0C, 0x10}; }
    void Encode(double celsius, uint8_t config, Pad& pad) const override;
    int WritableBytes() const override { return 2; }
    uint64_t ConversionTimeUs() const override { return conversionUs_; }

private:
    uint64_t conversionUs_ = 750000;
};

} // namespace platform::tmex::sim
