#include "platform/tmex/sim/DS2450.h"

#include "platform/tmex/Crc.h"
#include "platform/tmex/sim/SimNet.h"

#include <cmath>

namespace platform::tmex::sim {

namespace {
// The station's vane table: levels of channels A..D per raw direction.
constexpr int kVaneLevels[16][4] = {{3, 3, 1, 3}, {3, 2, 2, 3}, {3, 1, 3, 3}, {2, 2, 3, 3},
                                    {1, 3, 3, 3}, {1, 3, 3, 0}, {3, 3, 3, 0}, {3, 3, 0, 0},
                                    {3, 3, 0, 3}, {3, 0, 0, 3}, {3, 0, 3, 3}, {0, 0, 3, 3},
                                    {0, 3, 3, 3}, {0, 3, 3, 1}, {3, 3, 3, 1}, {3, 3, 2, 2}};
constexpr double kLevelVolts[4] = {0.5, 2.0, 3.5, 4.8};

// Writable bits of a control/alarm byte by address.
uint8_t WritableMask(uint8_t address) {
    if (address < 0x08) return 0x00;
    if (address < 0x10) return (address % 2 == 0) ? 0xCF : 0x8D;
    return 0xFF;
}
} // namespace

DS2450::DS2450(const Rom& rom) : Device(rom) {
    OnPowerCycle();
}

void DS2450::OnPowerCycle() {
    memory_.fill(0x00);
    for (int ch = 0; ch < 4; ++ch) {
        memory_[0x08 + 2 * ch] = 0x08;
        memory_[0x09 + 2 * ch] = 0x8C;
        memory_[0x10 + 2 * ch] = 0x00;
        memory_[0x11 + 2 * ch] = 0xFF;
    }
    converting_ = false;
    TrackConversion();
    command_ = -1;
}

void DS2450::SetChannelVolts(double a, double b, double c, double d) {
    volts_ = {a, b, c, d};
}

void DS2450::SetVanePosition(int position) {
    const int* levels = kVaneLevels[position & 15];
    for (int ch = 0; ch < 4; ++ch)
        volts_[ch] = kLevelVolts[levels[ch]];
}

void DS2450::FinishConversion() {
    if (ConversionStuck() || NowUs() < convertUntilUs_) return;
    converting_ = false;
    TrackConversion();
    ++conversions_;
    for (int ch = 0; ch < 4; ++ch) {
        if (!(pendingMask_ & (1 << ch))) continue;
        int bits = memory_[0x08 + 2 * ch] & 0x0F;
        if (bits == 0) bits = 16;
        double range = (memory_[0x09 + 2 * ch] & 1) ? 5.12 : 2.56;
        double full = std::ldexp(1.0, bits);
        double scaled = std::floor(pendingVolts_[ch] / range * full);
        if (scaled < 0) scaled = 0;
        if (scaled > full - 1) scaled = full - 1;
        auto value = static_cast<uint32_t>(scaled) << (16 - bits);
        memory_[2 * ch] = static_cast<uint8_t>(value & 0xFF);
        memory_[2 * ch + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
    }
}

void DS2450::StartConversion() {
    int busyUs = 0;
    for (int ch = 0; ch < 4; ++ch) {
        if (!(pendingMask_ & (1 << ch))) continue;
        int bits = memory_[0x08 + 2 * ch] & 0x0F;
        busyUs += (bits == 0 ? 16 : bits) * 80 + 160;
    }
    converting_ = true;
    convertUntilUs_ = NowUs() + static_cast<uint64_t>(busyUs);
    TrackConversion();
}

void DS2450::Brownout() {
    ++brownouts_;
    OnPowerCycle();
    EndFunction();
}

void DS2450::AfterSlot() {
    if (!converting_ || ConvertsOnVcc() || net().PullupActive()) return;
    Update();
    if (converting_) Brownout();
}

void DS2450::OnPullupReleased() {
    if (!converting_ || ConvertsOnVcc()) return;
    Update();
    if (converting_) Brownout();
}

void DS2450::Store(uint8_t address, uint8_t value) {
    uint8_t mask = WritableMask(address);
    memory_[address] = static_cast<uint8_t>((memory_[address] & ~mask) | (value & mask));
    TrackConversion(); // the VCC control byte decides the power of a running conversion
}

void DS2450::OnSelected() {
    Update();
    command_ = -1;
    headerIndex_ = 0;
}

void DS2450::OnReset() {
    Update();
}

// Sends the inverted CRC, LSB first; half counts the bytes sent.
uint8_t DS2450::CrcByte(uint16_t& crc, int& half) {
    uint16_t inverted = static_cast<uint16_t>(~crc);
    if (half == 0 && TakeCrcFault()) crc ^= 0x0101, inverted = static_cast<uint16_t>(~crc);
    uint8_t out = half == 0 ? static_cast<uint8_t>(inverted & 0xFF) : static_cast<uint8_t>(inverted >> 8);
    ++half;
    return out;
}

uint8_t DS2450::FunctionByte(uint8_t master) {
    Update();
    if (command_ < 0) {
        command_ = master;
        headerIndex_ = 0;
        header_[headerIndex_++] = master;
        if (master != 0x55 && master != 0x3C && master != 0xAA) EndFunction();
        return 0xFF;
    }
    if (headerIndex_ < 3) {
        if (command_ == 0x3C && headerIndex_ == 1) {
            master ^= selectErrorFlip_;
            selectErrorFlip_ = 0;
        }
        header_[headerIndex_++] = master;
        if (headerIndex_ == 3) {
            crc_ = Crc16(std::span<const uint8_t>(header_, 3));
            phase_ = 0;
            firstPage_ = true;
            if (command_ == 0x55 || command_ == 0xAA)
                address_ = static_cast<uint16_t>(header_[1] | (header_[2] << 8));
            if (command_ == 0x3C) {
                pendingMask_ = header_[1] & 0x0F;
                pendingVolts_ = volts_;
            }
        }
        return 0xFF;
    }
    switch (command_) {
    case 0x55: { // write memory
        if (address_ > 0x1F) {
            EndFunction();
            return 0xFF;
        }
        if (phase_ == 0) {
            lastWritten_ = master;
            if (!firstPage_) crc_ = address_; // the generator loaded with the byte's address
            crc_ = Crc16Update(crc_, master);
            firstPage_ = false;
            phase_ = 1;
            return 0xFF;
        }
        if (phase_ == 1 || phase_ == 2) {
            int half = phase_ - 1;
            uint8_t out = CrcByte(crc_, half);
            if (phase_ == 2) Store(static_cast<uint8_t>(address_), lastWritten_);
            ++phase_;
            return out;
        }
        uint8_t readBack = memory_[address_];
        if (echoFaults_ != 0) {
            if (echoFaults_ > 0) --echoFaults_;
            readBack ^= 0xFF;
        }
        ++address_;
        phase_ = 0;
        return readBack;
    }
    case 0x3C: { // convert
        if (phase_ < 2) {
            int half = phase_;
            uint8_t out = CrcByte(crc_, half);
            if (++phase_ == 2) StartConversion();
            return out;
        }
        return converting_ && ConvertsOnVcc() ? 0x00 : 0xFF;
    }
    case 0xAA: { // read memory
        if (address_ > 0x1F && phase_ == 0) {
            EndFunction();
            return 0xFF;
        }
        if (phase_ == 0) {
            uint8_t out = memory_[address_];
            crc_ = Crc16Update(crc_, out);
            if (address_ == lineErrorAddress_) {
                out ^= lineErrorFlip_;
                lineErrorAddress_ = -1;
            }
            ++address_;
            if (address_ % 8 == 0) phase_ = 1; // page end: the CRC follows
            return out;
        }
        int half = phase_ - 1;
        uint8_t out = CrcByte(crc_, half);
        if (++phase_ == 3) {
            phase_ = 0;
            crc_ = 0;
        }
        return out;
    }
    default:
        return 0xFF;
    }
}

std::optional<uint8_t> DS2450::NextSentByte() const {
    if (command_ != 0x3C || headerIndex_ < 3 || phase_ >= 2) return std::nullopt;
    const uint16_t inverted = static_cast<uint16_t>(~crc_);
    return static_cast<uint8_t>(phase_ == 0 ? inverted & 0xFF : inverted >> 8);
}

uint8_t DS2450::FunctionBit(uint8_t) {
    Update();
    if (command_ == 0x3C && phase_ >= 2) return converting_ && ConvertsOnVcc() ? 0 : 1;
    return 1;
}

} // namespace platform::tmex::sim
