#pragma once
// What the three DS18x20 thermometer families share (DS18S20.h, DS18B20.h, DS1822.h): the scratchpad
// with its CRC8, the EEPROM copy of TH/TL (and config), Convert T with its conversion time, parasite
// power with strong pull-up tracking, and brown-out to the power-on scratchpad.
//
// Function commands: 0x44 Convert T (read slots answer 0 while a powered device converts, then 1),
// 0xBE Read Scratchpad (8 bytes + CRC8, then 0xFF), 0x4E Write Scratchpad (TH, TL [, config]),
// 0x48 Copy Scratchpad, 0xB8 Recall E2, 0xB4 Read Power Supply (0 = parasite).
// A parasite device needs the strong pull-up for its whole conversion; when the pull-up ends first (or
// never engages) it browns out: the scratchpad returns to the power-on pattern and read slots answer 1.
// A line held low (an adapter without power) takes a parasite device's power whether it converts or not.
// Power back, the scratchpad holds the power-on temperature with TH, TL (and config) from the EEPROM.
// A device that never converts (SetNeverConverts) browns out at each Convert T.
#include "platform/tmex/sim/Device.h"

#include <array>
#include <functional>

namespace platform::tmex::sim {

class Thermometer : public Device {
public:
    using Pad = std::array<uint8_t, 8>;

    // The temperature the next conversion measures (encoded per family when the conversion ends, at the
    // resolution it was started with).
    void SetTemperature(double celsius);
    // A live temperature (air that moves): asked whenever a conversion starts, in place of the last
    // SetTemperature.
    void ConnectTemperature(std::function<double()> celsius) { source_ = std::move(celsius); }
    // Golden raw cases: the next conversion yields exactly these 8 bytes (the device adds the CRC); TH,
    // TL and config also go to the EEPROM, so that Recall E2 keeps them. The scratchpad takes them now.
    void SetScratchpadRaw(const Pad& bytes);
    // A parasite device watches every slot for the end of the strong pull-up during its conversion.
    void SetParasite(bool parasite);
    // A device that never converts: a parasite one whose pull-up cannot give a conversion's current (a
    // long cable, a weak pull-up), a powered one whose supply sags under it. From now on each Convert T
    // browns it out at once: it is in its power-on state, its scratchpad the power-on pattern with TH,
    // TL (and config) from the EEPROM, and it drives nothing until the next reset (the read slots after
    // Convert T read 1, as for a finished conversion). False: it converts again.
    void SetNeverConverts(bool never) { neverConverts_ = never; }
    bool Parasite() const { return parasite_; }
    // The 9 scratchpad bytes as a Read Scratchpad would send them now (CRC included).
    std::array<uint8_t, 9> Scratchpad() const;
    int Conversions() const { return conversions_; }
    int Brownouts() const { return brownouts_; }
    bool Converting() const { return converting_; }

    void AfterSlot() override;
    void OnPullupReleased() override;
    void OnPowerCycle() override;
    bool LinePowered() const override { return parasite_; }

protected:
    explicit Thermometer(const Rom& rom);
    // Call from the derived constructor.
    void PowerOn();

    virtual Pad PowerOnScratchpad() const = 0;
    // Writes the temperature bytes of a conversion started with the given config byte.
    virtual void Encode(double celsius, uint8_t config, Pad& pad) const = 0;
    virtual int WritableBytes() const = 0; // 2 (TH, TL) or 3 (TH, TL, config)
    virtual uint64_t ConversionTimeUs() const = 0;
    // The config byte as Write Scratchpad leaves it (the DS18B20 keeps only its resolution bits).
    virtual uint8_t WrittenConfig(uint8_t master) const { return master; }

    void OnSelected() override;
    void OnReset() override;
    uint8_t FunctionByte(uint8_t master) override;
    uint8_t FunctionBit(uint8_t master) override;
    bool BitsFormBytes() const override { return command_ < 0; } // the command byte

    Pad pad_{};

private:
    void SetConverting(bool converting);
    // Finishes a conversion whose time has come (inline: every byte and bit asks).
    void Update() {
        if (converting_) FinishConversion();
    }
    void FinishConversion();
    void Brownout();
    void RecallEeprom();
    uint8_t ReadSlots(); // the byte a run of read slots gives now (busy/done)

    Pad result_{}; // what the next conversion writes (the golden raw bytes, or encoded from celsius_)
    double celsius_ = 20.0;
    std::function<double()> source_;
    bool rawResult_ = false;
    uint8_t convertConfig_ = 0; // the config byte when the running conversion started
    std::array<uint8_t, 3> eeprom_{0x4B, 0x46, 0x7F};
    bool parasite_ = false;
    bool neverConverts_ = false;
    bool converting_ = false;
    uint64_t conversionEndUs_ = 0;
    int conversions_ = 0;
    int brownouts_ = 0;
    int command_ = -1;
    int index_ = 0;
};

} // namespace platform::tmex::sim
