#pragma once
// DS2401 silicon serial number, family 0x01: ROM only (the older wind vane's eight direction chips sit
// on a DS2407's PIO-B branch; Segment::SetVanePosition chooses which of them are connected).
#include "platform/tmex/sim/Device.h"

namespace platform::tmex::sim {

class DS2401 : public Device {
public:
    static constexpr uint8_t kFamily = 0x01;
    explicit DS2401(const Rom& rom) : Device(rom) {}
    explicit DS2401(uint64_t serial48) : DS2401(Rom::Make(kFamily, serial48)) {}
    std::string FamilyName() const override { return "DS2401"; }
};

} // namespace platform::tmex::sim
