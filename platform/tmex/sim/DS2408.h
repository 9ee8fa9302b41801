#pragma once
// DS2408 8-channel addressable switch, family 0x29. The station only counts these, so the model answers
// reset, Match ROM and the search, and no function command.
#include "platform/tmex/sim/Device.h"

namespace platform::tmex::sim {

class DS2408 : public Device {
public:
    static constexpr uint8_t kFamily = 0x29;
    explicit DS2408(const Rom& rom) : Device(rom) {}
    explicit DS2408(uint64_t serial48) : DS2408(Rom::Make(kFamily, serial48)) {}
    std::string FamilyName() const override { return "DS2408"; }
};

} // namespace platform::tmex::sim
