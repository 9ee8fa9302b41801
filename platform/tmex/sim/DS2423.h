#pragma once
// DS2423 4-kbit RAM with counters, family 0x1D (plain counter, rain gauge, wind speed).
//
// 16 pages of 32 bytes. Pages 12-15 have 32-bit counters: 12 and 13 count copies into their page,
// 14 counts input A and 15 input B. Counts are battery-backed: a power cycle of the line keeps them,
// but a power-on reset (a battery change, the chip reset) clears every counter to 0 and loses the memory.
// Commands: 0xA5 TA1 TA2 Read Memory + Counter (data to the end of the page, the counter LE, 4 zero
// bytes, the inverted CRC16 LSB first over command, address, data, counter and zeros; then the next
// page, its CRC over its own bytes), 0xF0 TA1 TA2 Read Memory, 0x0F TA1 TA2 Write Scratchpad,
// 0x5A TA1 TA2 E/S Copy Scratchpad.
#include "platform/tmex/sim/Device.h"

#include <array>
#include <functional>

namespace platform::tmex::sim {

class DS2423 : public Device {
public:
    static constexpr uint8_t kFamily = 0x1D;

    explicit DS2423(const Rom& rom);
    explicit DS2423(uint64_t serial48) : DS2423(Rom::Make(kFamily, serial48)) {}
    std::string FamilyName() const override { return "DS2423"; }

    // input 'A' (page 14) or 'B' (page 15).
    void AddCounts(char input, uint32_t counts);
    // A live input (an anemometer's reed switch): the total of pulses it has given, asked whenever the
    // counter is read, so that the counter counts continuously; a total that falls adds nothing.
    using PulseSource = std::function<uint64_t()>;
    void ConnectInput(char input, PulseSource totalPulses);
    void SetCounter(int page, uint32_t value);
    // The battery taken out and put back (or the chip reset): the power-on reset of its data sheet. The
    // four counters start again at 0, the memory and the scratchpad lose what they held, and a command
    // under way is gone. A live input's pulses until now are counted first, so only later ones count.
    void PowerOnReset();
    // The counter now (a live input's pulses included).
    uint32_t Counter(int page);
    void SetPage(int page, const std::array<uint8_t, 32>& bytes);

protected:
    void OnSelected() override;
    uint8_t FunctionByte(uint8_t master) override;
    int FunctionRun(uint8_t* bytes, int n) override; // the rest of a page read with its counter

private:
    uint8_t NextWithCounter(); // builds the next page to send
    // Adds the pulses a live input gave since it was last asked.
    void TakePulses(int page);

    std::array<uint8_t, 512> memory_{};
    std::array<uint8_t, 32> scratchpad_{};
    std::array<uint32_t, 4> counters_{};
    std::array<PulseSource, 2> inputs_{}; // pages 14, 15
    std::array<uint64_t, 2> pulsesTaken_{};
    int command_ = -1;
    int headerIndex_ = 0;
    uint8_t header_[3] = {};
    uint16_t address_ = 0;
    // Read Memory + Counter: the bytes of the current page's tail, then counter, zeros and CRC.
    std::array<uint8_t, 42> stream_{};
    int streamLength_ = 0;
    int streamIndex_ = 0;
    bool firstPage_ = true;
};

} // namespace platform::tmex::sim
