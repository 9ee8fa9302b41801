#include "platform/tmex/sim/Thermometer.h"

#include "platform/tmex/Crc.h"
#include "platform/tmex/sim/SimNet.h"

namespace platform::tmex::sim {

Thermometer::Thermometer(const Rom& rom) : Device(rom) {}

void Thermometer::PowerOn() {
    pad_ = PowerOnScratchpad();
    result_ = pad_;
}

void Thermometer::SetTemperature(double celsius) {
    celsius_ = celsius;
    rawResult_ = false;
}

void Thermometer::SetScratchpadRaw(const Pad& bytes) {
    rawResult_ = true;
    result_ = bytes;
    pad_ = bytes;
    eeprom_[0] = bytes[2];
    eeprom_[1] = bytes[3];
    if (WritableBytes() == 3) eeprom_[2] = bytes[4];
}

std::array<uint8_t, 9> Thermometer::Scratchpad() const {
    std::array<uint8_t, 9> out{};
    for (int i = 0; i < 8; ++i)
        out[i] = pad_[i];
    out[8] = Crc8(std::span<const uint8_t>(pad_.data(), 8));
    return out;
}

void Thermometer::SetParasite(bool parasite) {
    parasite_ = parasite;
    WatchSlots(parasite_ && converting_);
}

void Thermometer::SetConverting(bool converting) {
    converting_ = converting;
    WatchSlots(parasite_ && converting_);
    HookReset(converting_);
}

void Thermometer::FinishConversion() {
    if (ConversionStuck() || NowUs() < conversionEndUs_) return;
    SetConverting(false);
    ++conversions_;
    if (!rawResult_) Encode(celsius_, convertConfig_, result_);
    for (int i = 0; i < 8; ++i)
        if (i < 2 || i >= 2 + WritableBytes()) pad_[i] = result_[i];
}

void Thermometer::Brownout() {
    SetConverting(false);
    ++brownouts_;
    pad_ = PowerOnScratchpad();
    RecallEeprom();
}

void Thermometer::RecallEeprom() {
    pad_[2] = eeprom_[0];
    pad_[3] = eeprom_[1];
    if (WritableBytes() == 3) pad_[4] = eeprom_[2];
}

void Thermometer::AfterSlot() {
    if (converting_ && parasite_ && !net().PullupActive()) {
        Update();
        if (converting_) Brownout();
    }
}

void Thermometer::OnPullupReleased() {
    if (converting_ && parasite_) {
        Update();
        if (converting_) Brownout();
    }
}

void Thermometer::OnPowerCycle() {
    SetConverting(false);
    command_ = -1;
    pad_ = PowerOnScratchpad();
    RecallEeprom();
}

void Thermometer::OnSelected() {
    Update();
    command_ = -1;
    index_ = 0;
}

void Thermometer::OnReset() {
    Update();
}

uint8_t Thermometer::ReadSlots() {
    Update();
    if (converting_ && !parasite_) return 0x00;
    return 0xFF;
}

uint8_t Thermometer::FunctionByte(uint8_t master) {
    Update();
    if (command_ < 0) {
        command_ = master;
        index_ = 0;
        switch (master) {
        case 0x44:
            if (neverConverts_) {
                Brownout();
                EndFunction(); // a device back from a power-on reset waits for a reset
                break;
            }
            SetConverting(true);
            convertConfig_ = pad_[4];
            if (source_) SetTemperature(source_());
            conversionEndUs_ = NowUs() + ConversionTimeUs();
            break;
        case 0xB8:
            RecallEeprom();
            break;
        case 0x48:
            eeprom_[0] = pad_[2];
            eeprom_[1] = pad_[3];
            if (WritableBytes() == 3) eeprom_[2] = pad_[4];
            break;
        case 0xBE:
        case 0x4E:
        case 0xB4:
            break;
        default:
            EndFunction();
            break;
        }
        return 0xFF;
    }
    switch (command_) {
    case 0x44:
        return ReadSlots();
    case 0xBE: {
        if (index_ >= 9) {
            EndFunction();
            return 0xFF;
        }
        auto pad = Scratchpad();
        uint8_t out = pad[index_];
        if (index_ == 8 && TakeCrcFault()) out ^= 0x5A;
        ++index_;
        return out;
    }
    case 0x4E:
        if (index_ < WritableBytes()) pad_[2 + index_] = index_ == 2 ? WrittenConfig(master) : master;
        if (++index_ >= WritableBytes()) EndFunction();
        return 0xFF;
    case 0xB4:
        return parasite_ ? 0x00 : 0xFF;
    default: // 0xB8, 0x48: done at once
        return 0xFF;
    }
}

uint8_t Thermometer::FunctionBit(uint8_t master) {
    Update();
    if (command_ == 0x44) return ReadSlots() & 1;
    if (command_ == 0xB4) return parasite_ ? 0 : 1;
    (void)master;
    return 1;
}

} // namespace platform::tmex::sim
