#include "platform/tmex/sim/DS2438.h"

#include "platform/tmex/Crc.h"

#include <algorithm>
#include <cmath>

namespace platform::tmex::sim {

namespace {
constexpr uint64_t kBusyUs = 10000;
constexpr uint8_t kConfigAD = 0x08;
constexpr uint8_t kConfigTB = 0x10;
constexpr uint8_t kConfigADB = 0x40;

uint16_t VoltsToRaw(double volts) {
    long raw = std::lround(volts / 0.01);
    return static_cast<uint16_t>(std::clamp<long>(raw, 0, 1023));
}
} // namespace

DS2438::DS2438(const Rom& rom) : Device(rom) {
    memory_[0] = {0x0F, 0x00, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00};
    scratchpad_ = memory_;
}

void DS2438::SetVAD(double volts) {
    vadRaw_ = VoltsToRaw(volts);
}
void DS2438::SetVDD(double volts) {
    vddRaw_ = VoltsToRaw(volts);
}

void DS2438::SetTemperature(double celsius) {
    long raw13 = std::lround(celsius / 0.03125);
    temperatureRaw_ = static_cast<int16_t>(static_cast<uint16_t>(raw13 * 8));
}

void DS2438::SetCurrentRaw(int16_t raw) {
    auto r = static_cast<uint16_t>(raw);
    memory_[0][5] = static_cast<uint8_t>(r & 0xFF);
    memory_[0][6] = static_cast<uint8_t>(r >> 8);
}

void DS2438::SetMemory(int page, const Page& bytes) {
    memory_[page & 7] = bytes;
    if ((page & 7) != 0) return;
    temperatureRaw_ = static_cast<int16_t>(static_cast<uint16_t>(bytes[1] | (bytes[2] << 8)));
    vadRaw_ = vddRaw_ = static_cast<uint16_t>(bytes[3] | (bytes[4] << 8));
}

void DS2438::OnPowerCycle() {
    // The memory is not battery-backed in this model beyond the EEPROM config bits.
    busy_ = Busy::None;
    HookReset(false);
    command_ = -1;
    memory_[0][0] = static_cast<uint8_t>(memory_[0][0] & 0x0F);
}

void DS2438::StartBusy(Busy what) {
    busy_ = what;
    HookReset(true);
    busyUntilUs_ = NowUs() + kBusyUs;
    if (what == Busy::Temperature) memory_[0][0] |= kConfigTB;
    if (what == Busy::Voltage) memory_[0][0] |= kConfigADB;
}

void DS2438::FinishBusy() {
    if (ConversionStuck() || NowUs() < busyUntilUs_) return;
    Page& p0 = memory_[0];
    switch (busy_) {
    case Busy::Temperature: {
        auto raw = static_cast<uint16_t>(temperatureRaw_);
        p0[1] = static_cast<uint8_t>(raw & 0xF8);
        p0[2] = static_cast<uint8_t>(raw >> 8);
        p0[0] = static_cast<uint8_t>(p0[0] & ~kConfigTB);
        break;
    }
    case Busy::Voltage: {
        uint16_t raw = (p0[0] & kConfigAD) ? vddRaw_ : vadRaw_;
        p0[3] = static_cast<uint8_t>(raw & 0xFF);
        p0[4] = static_cast<uint8_t>(raw >> 8);
        p0[0] = static_cast<uint8_t>(p0[0] & ~kConfigADB);
        break;
    }
    case Busy::Copy: {
        const Page& sp = scratchpad_[pendingPage_];
        Page& m = memory_[pendingPage_];
        if (pendingPage_ == 0) {
            m[0] = static_cast<uint8_t>((m[0] & 0xF0) | (sp[0] & 0x0F));
            m[7] = sp[7];
        } else {
            m = sp;
        }
        ++copies_;
        break;
    }
    case Busy::None:
        break;
    }
    busy_ = Busy::None;
    HookReset(false);
}

uint8_t DS2438::BusyByte() {
    Update();
    return busy_ == Busy::None ? 0xFF : 0x00;
}

void DS2438::OnSelected() {
    Update();
    command_ = -1;
    page_ = -1;
    index_ = 0;
}

void DS2438::OnReset() {
    Update();
}

uint8_t DS2438::FunctionByte(uint8_t master) {
    Update();
    if (command_ < 0) {
        command_ = master;
        page_ = -1;
        index_ = 0;
        switch (master) {
        case 0x44:
            StartBusy(Busy::Temperature);
            break;
        case 0xB4:
            StartBusy(Busy::Voltage);
            break;
        case 0xB8:
        case 0xBE:
        case 0x4E:
        case 0x48:
            break;
        default:
            EndFunction();
        }
        return 0xFF;
    }
    switch (command_) {
    case 0x44:
    case 0xB4:
        return BusyByte();
    case 0xB8:
        if (page_ < 0) {
            page_ = master & 7;
            scratchpad_[page_] = memory_[page_];
            return 0xFF;
        }
        EndFunction();
        return 0xFF;
    case 0xBE: {
        if (page_ < 0) {
            page_ = master & 7;
            return 0xFF;
        }
        if (index_ >= 9) {
            EndFunction();
            return 0xFF;
        }
        const Page& sp = scratchpad_[page_];
        uint8_t out;
        if (index_ < 8) {
            out = sp[index_];
        } else {
            out = Crc8(std::span<const uint8_t>(sp.data(), 8));
            if (TakeCrcFault()) out ^= 0x5A;
        }
        ++index_;
        return out;
    }
    case 0x4E:
        if (page_ < 0) {
            page_ = master & 7;
            return 0xFF;
        }
        if (index_ < 8) scratchpad_[page_][index_++] = master;
        if (index_ >= 8) EndFunction();
        return 0xFF;
    case 0x48:
        if (page_ < 0) {
            page_ = master & 7;
            pendingPage_ = page_;
            StartBusy(Busy::Copy);
            return 0xFF;
        }
        return BusyByte();
    default:
        return 0xFF;
    }
}

uint8_t DS2438::FunctionBit(uint8_t) {
    if (command_ == 0x44 || command_ == 0xB4 || (command_ == 0x48 && page_ >= 0)) return BusyByte() & 1;
    return 1;
}

} // namespace platform::tmex::sim
