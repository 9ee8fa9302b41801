#pragma once
// DS2450 quad A/D converter, family 0x20 (plain A/D and the wind vane).
//
// Memory: 0x00-0x07 results (A lo/hi .. D lo/hi), 0x08-0x0F control (per channel: byte 1 = RC3..0
// resolution with 0 = 16 bits, OC, OE; byte 2 = IR range bit 0, alarm enables, flags, POR bit 7),
// 0x10-0x17 alarm thresholds, 0x18-0x1F calibration, of which 0x1C is the VCC control byte: 0x40 tells
// the device that it has VCC, power-on 0x00.
// Commands: 0x55 TA1 TA2 Write Memory (per data byte: the inverted CRC16, then the stored value read
// back; the first byte's CRC covers the command, the address and the byte, each later one the byte with
// its address loaded into the CRC generator), 0x3C mask preset Convert (CRC16 of the command and its
// two bytes, then the conversion: busy for n_channels x (bits x 80 us + 160 us)), 0xAA TA1 TA2 Read
// Memory (to the page end, then the CRC16 of the command, the address and the data, or of the data alone
// on the next pages).
// Result = min(2^bits - 1, floor(V / range x 2^bits)) << (16 - bits), range 5.12 V when IR = 1, else
// 2.56 V.
// Power: a device with VCC present and 0x40 at 0x1C converts on VCC, and read slots give 0 while it is
// busy, 1 when done. Otherwise it converts on the bus: the strong pull-up must engage right after the
// CRC and last the whole conversion; read slots give 1; when the pull-up ends first (or never engages)
// the device browns out to its power-on state and the results are lost.
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
    // A bit error on the line: the next Read Memory that sends the byte at `address` sends it with the
    // bits of `flip` inverted, and the CRC of the byte as stored.
    void InjectLineError(int address, uint8_t flip) {
        lineErrorAddress_ = address & 31;
        lineErrorFlip_ = flip;
    }
    // A bit error on the line the other way: the next Convert's input-select byte reaches the device
    // with the bits of `flip` inverted, so it converts other inputs (and its CRC covers what it got).
    void InjectSelectError(uint8_t flip) { selectErrorFlip_ = flip; }
    uint8_t MemoryByte(int address) const { return memory_[address & 31]; }
    // A byte of memory as a Write Memory from the master would leave it (0x1C = 0x40: VCC operation).
    void SetMemoryByte(int address, uint8_t value) { Store(static_cast<uint8_t>(address & 31), value); }
    // Whether the VCC pin is powered (default yes).
    void SetVccPresent(bool present) {
        vccPresent_ = present;
        TrackConversion();
    }
    int Conversions() const { return conversions_; }
    int Brownouts() const { return brownouts_; }

    void OnPowerCycle() override;
    void AfterSlot() override;
    void OnPullupReleased() override;

protected:
    void OnSelected() override;
    void OnReset() override;
    uint8_t FunctionByte(uint8_t master) override;
    uint8_t FunctionBit(uint8_t master) override;
    // The command, its two bytes and, of a conversion, the CRC (read bit by bit by a master that puts
    // the strong pull-up after its last slot).
    bool BitsFormBytes() const override {
        return command_ < 0 || headerIndex_ < 3 || (command_ == 0x3C && phase_ < 2);
    }
    std::optional<uint8_t> NextSentByte() const override;

private:
    // Finishes a conversion whose time has come (inline: every byte and bit asks).
    void Update() {
        if (converting_) FinishConversion();
    }
    void FinishConversion();
    // Converts on VCC (polled) rather than on the strong pull-up.
    bool ConvertsOnVcc() const { return vccPresent_ && (memory_[0x1C] & 0x40) != 0; }
    void StartConversion();
    void Brownout();
    uint8_t CrcByte(uint16_t& crc, int& half);
    void Store(uint8_t address, uint8_t value);
    // A running conversion ends at a reset when its time has come, and on parasite power lives on the
    // strong pull-up until done: the reset is hooked and the slots are watched.
    void TrackConversion() {
        HookReset(converting_);
        WatchSlots(converting_ && !ConvertsOnVcc());
    }

    std::array<uint8_t, 32> memory_{};
    std::array<double, 4> volts_{};
    std::array<double, 4> pendingVolts_{};
    uint8_t pendingMask_ = 0;
    bool converting_ = false;
    uint64_t convertUntilUs_ = 0;
    bool vccPresent_ = true;
    int conversions_ = 0;
    int brownouts_ = 0;
    int echoFaults_ = 0;
    int lineErrorAddress_ = -1;
    uint8_t lineErrorFlip_ = 0;
    uint8_t selectErrorFlip_ = 0;

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
