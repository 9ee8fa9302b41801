#pragma once
// DS2407 dual addressable switch, family 0x12 (plain switch, TAI-8570 roles, and the switch that feeds
// the older wind vane's DS2401 chain from its PIO-B output).
//
// Status byte 7 is SRAM: bit 7 supply indication (read-only), bit 6 PIO-B flip-flop, bit 5 PIO-A
// flip-flop, bits 4..0 conditional-search settings. Flip-flop 0 = the transistor conducts; power-on 0x7F
// (both off). Commands: 0x55 TA1 TA2 data Write Status (then the inverted CRC16 over command, address
// and data, LSB first; the next byte commits the write to SRAM byte 7 and reads back the status byte; a
// reset before it leaves the status as it was; the EPROM bytes 0..4 are not programmed), 0xAA TA1 TA2
// Read Status (to byte 7, then CRC16).
#include "platform/tmex/sim/Device.h"
#include "platform/tmex/sim/SimNet.h"

#include <array>

namespace platform::tmex::sim {

class DS2407 : public Device {
public:
    static constexpr uint8_t kFamily = 0x12;

    explicit DS2407(const Rom& rom);
    explicit DS2407(uint64_t serial48) : DS2407(Rom::Make(kFamily, serial48)) {}
    std::string FamilyName() const override { return "DS2407"; }

    // The branch switched by PIO-B (the DS2401 vane chain hangs here).
    Segment& PioB() { return *pioB_; }
    uint8_t Status() const { return status_[7]; }
    void SetStatus(uint8_t value) { status_[7] = value; }
    void SetSupplyIndication(bool powered);
    int StatusWrites() const { return writes_; }

    bool BranchConducts(int branch) const override;
    void OnAttach(SimNet& net) override;
    void OnPowerCycle() override;

protected:
    void OnSelected() override;
    uint8_t FunctionByte(uint8_t master) override;

private:
    std::array<uint8_t, 8> status_{};
    Segment* pioB_ = nullptr;
    int command_ = -1;
    uint8_t header_[4] = {};
    int headerIndex_ = 0;
    uint16_t crc_ = 0;
    int phase_ = 0;
    uint16_t address_ = 0;
    int writes_ = 0;
};

} // namespace platform::tmex::sim
