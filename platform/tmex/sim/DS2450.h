#pragma once
// DS2450 quad A/D converter, family 0x20 (plain A/D and the wind vane). Modelled VCC-powered: the
// station arms the strong pull-up but never sends the byte that would engage it.
//
// Memory: 0x00-0x07 results (A lo/hi .. D lo/hi), 0x08-0x0F control (per channel: byte 1 = RC3..0
// resolution with 0 = 16 bits, OC, OE; byte 2 = IR range bit 0, alarm enables, flags, POR bit 7),
// 0x10-0x17 alarm thresholds, 0x18-0x1F calibration.
// Commands: 0x55 TA1 TA2 Write Memory (per data byte: the inverted CRC16, then the stored value read
// back), 0x3C mask preset Convert (CRC16, then read slots give 0 while busy, 0xFF when done; busy for
// n_channels x (bits x 80 us + 160 us)), 0xAA TA1 TA2 Read Memory (to the page end, then CRC16; on
// through the next pages). Result = min(2^bits - 1, floor(V / range x 2^bits)) << (16 - bits), range
// 5.12 V when IR = 1, else 2.56 V.
#include "platform/tmex/sim/Device.h"

#include <array>

namespace platform::tmex::sim {

class DS2450 : public Device {
public:
    static constexpr uint8_t kFamily = 0x20;

    explicit DS2450(const Rom& rom);
    explicit DS2450(uint64_t serial48) : DS2450(Rom::Make(kFamily, serial48)) {}
    std::string FamilyName() const override { return "DS2450"; }

    void SetChannelVolts(double a, double b, double c, double d);
    void SetChannelVolts(int channel, double volts) { volts_[channel & 3] = volts; }
    // Sets the four channels to the level pattern of raw vane direction p (0..15) of the station's
    // table (levels 0..3 as 0.5 / 2.0 / 3.5 / 4.8 V).
    void SetVanePosition(int position);
    // The next `count` write-memory read-backs come back wrong.
    void InjectEchoErrors(int count) { echoFaults_ = count; }
    uint8_t MemoryByte(int address) const { return memory_[address & 31]; }
    int Conversions() const { return conversions_; }

    void OnPowerCycle() override;

protected:
    void OnSelected() override;
    void OnReset() override;
    uint8_t FunctionByte(uint8_t master) override;
    uint8_t FunctionBit(uint8_t master) override;

private:
    void Update();
    uint8_t CrcByte(uint16_t& crc, int& half);
    void Store(uint8_t address, uint8_t value);

    std::array<uint8_t, 32> memory_{};
    std::array<double, 4> volts_{};
    std::array<double, 4> pendingVolts_{};
    uint8_t pendingMask_ = 0;
    bool converting_ = false;
    uint64_t convertUntilUs_ = 0;
    int conversions_ = 0;
    int echoFaults_ = 0;

    int command_ = -1;
    uint8_t header_[3] = {};
    int headerIndex_ = 0;
    uint16_t address_ = 0;
    int phase_ = 0; // write memory: 0 data, 1-2 CRC, 3 read-back; read memory / convert: CRC progress
    uint16_t crc_ = 0;
    bool firstPage_ = true;
    uint8_t lastWritten_ = 0;
};

} // namespace platform::tmex::sim
