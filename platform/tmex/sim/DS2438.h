#pragma once
// DS2438 smart battery monitor, family 0x26 (plain, humidity and barometer roles).
//
// Memory page 0 and scratchpad page 0 are kept apart: [status/config, temp LSB, temp MSB, volt LSB,
// volt MSB, current LSB, current MSB, threshold]. Config bits: 0 IAD, 1 CA, 2 EE, 3 AD (1 = the A/D
// measures VDD, else VAD), 4 TB, 5 NVB, 6 ADB. Power-on config 0x0F (AD = 1).
// Commands: 0x44 Convert T and 0xB4 Convert V (busy 10 ms: read slots give 0, then 1; the result goes
// to memory page 0), 0xB8 pp Recall (memory -> scratchpad), 0xBE pp Read Scratchpad (8 bytes + CRC8,
// then 0xFF), 0x4E pp Write Scratchpad, 0x48 pp Copy Scratchpad (page 0: only config bits 0-3 and the
// threshold byte are writable; busy 10 ms, reading 0 then 0xFF).
#include "platform/tmex/sim/Device.h"

#include <array>

namespace platform::tmex::sim {

class DS2438 : public Device {
public:
    static constexpr uint8_t kFamily = 0x26;
    using Page = std::array<uint8_t, 8>;

    explicit DS2438(const Rom& rom);
    explicit DS2438(uint64_t serial48) : DS2438(Rom::Make(kFamily, serial48)) {}
    std::string FamilyName() const override { return "DS2438"; }

    // What the next conversions measure.
    void SetVAD(double volts);
    void SetVDD(double volts);
    void SetTemperature(double celsius);
    // Raw results (a voltage beyond 10.23 V, e.g. 0x04B0 = 12.00 V, is only reachable here).
    void SetVadRaw(uint16_t raw) { vadRaw_ = raw; }
    void SetVddRaw(uint16_t raw) { vddRaw_ = raw; }
    void SetTemperatureRaw(int16_t raw) { temperatureRaw_ = raw; }
    void SetCurrentRaw(int16_t raw);
    // Raw memory override (page 0..7). Page 0 also sets what the next conversions measure: its
    // temperature bytes, and its voltage bytes for both inputs, so that the page reads back as set.
    void SetMemory(int page, const Page& bytes);
    const Page& Memory(int page) const { return memory_[page & 7]; }
    const Page& ScratchpadPage(int page) const { return scratchpad_[page & 7]; }
    uint8_t Config() const { return memory_[0][0]; }
    int Copies() const { return copies_; }

    void OnPowerCycle() override;

protected:
    void OnSelected() override;
    void OnReset() override;
    uint8_t FunctionByte(uint8_t master) override;
    uint8_t FunctionBit(uint8_t master) override;

private:
    enum class Busy { None, Temperature, Voltage, Copy };
    // Finishes a conversion or copy whose time has come (inline: every byte and bit asks).
    void Update() {
        if (busy_ != Busy::None) FinishBusy();
    }
    void FinishBusy();
    void StartBusy(Busy what);
    uint8_t BusyByte();

    std::array<Page, 8> memory_{};
    std::array<Page, 8> scratchpad_{};
    uint16_t vadRaw_ = 0;
    uint16_t vddRaw_ = 500;
    int16_t temperatureRaw_ = 0x1400; // 20.0 C
    Busy busy_ = Busy::None;
    uint64_t busyUntilUs_ = 0;
    int pendingPage_ = 0;
    int command_ = -1;
    int page_ = -1;
    int index_ = 0;
    int copies_ = 0;
};

} // namespace platform::tmex::sim
