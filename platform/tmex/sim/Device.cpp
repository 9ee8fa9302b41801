#include "platform/tmex/sim/Device.h"

#include "platform/tmex/Crc.h"
#include "platform/tmex/sim/SimNet.h"

#include <cstdio>

namespace platform::tmex::sim {

Rom Rom::Make(uint8_t family, uint64_t serial48) {
    Rom rom;
    rom.bytes[0] = family;
    for (int i = 0; i < 6; ++i)
        rom.bytes[1 + i] = static_cast<uint8_t>(serial48 >> (8 * (5 - i)));
    rom.bytes[7] = Crc8(std::span<const uint8_t>(rom.bytes.data(), 7));
    return rom;
}

std::string Rom::Text() const {
    char text[17];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X%02X%02X", bytes[7], bytes[6], bytes[5],
                  bytes[4], bytes[3], bytes[2], bytes[1], bytes[0]);
    return text;
}

std::array<uint16_t, 8> Rom::Words() const {
    std::array<uint16_t, 8> words{};
    for (int i = 0; i < 8; ++i)
        words[i] = bytes[i];
    return words;
}

Device::Device(const Rom& rom) : rom_(rom), romBits_(RomBits(rom.bytes.data())) {}

void Device::Remove() {
    inserted_ = false;
    BranchesChanged();
}

void Device::Reinsert() {
    if (inserted_) return;
    inserted_ = true;
    BranchesChanged();
    state_ = RomState::Idle;
    OnPowerCycle();
}

bool Device::Reachable() const {
    return inserted_ && segment_ && segment_->Reachable() && segment_->Connects(*this);
}

uint64_t Device::NowUs() const {
    return net_ ? net_->NowUs() : 0;
}

bool Device::InSlots() const {
    // A reset the net has not yet passed on put every reachable device in its ROM phase.
    return InSlotPhase() || (net_ && net_->resetPending_ && Reachable());
}

void Device::WatchSlots(bool watch) {
    if (watch == watchesSlots_) return;
    watchesSlots_ = watch;
    if (!net_) return;
    net_->watchers_ += watch ? 1 : -1;
    if (!watch) return;
    net_->SettleReset();
    net_->slotsStale_ = true; // it may not be in the slot list
}

void Device::HookReset(bool hook) {
    if (hook == resetHook_) return;
    resetHook_ = hook;
    if (net_) net_->hooks_ += hook ? 1 : -1;
}

void Device::BranchesChanged() {
    if (net_) net_->SlotDevicesChanged();
}

void Device::EndFunction() {
    state_ = RomState::Idle;
}

uint8_t Device::RomByte(uint8_t master) {
    switch (state_) {
    case RomState::Idle:
        return 0xFF;
    case RomState::AwaitRom:
        RomCommand(master);
        return 0xFF;
    case RomState::MatchRom:
        // At the first byte that differs the device is out: it drives nothing until the next reset
        // either way, and idle it leaves the net's slot list at once.
        if (master != rom_.bytes[index_]) {
            state_ = RomState::Idle;
        } else if (++index_ == 8) {
            state_ = RomState::Function;
            OnSelected();
        }
        return 0xFF;
    case RomState::ReadRom: {
        uint8_t out = rom_.bytes[index_];
        if (++index_ == 8) state_ = RomState::Idle;
        return out;
    }
    case RomState::Search: {
        uint8_t out = 0;
        for (int bit = 0; bit < 8; ++bit)
            out = static_cast<uint8_t>(out | (SearchBit((master >> bit) & 1) << bit));
        return out;
    }
    case RomState::Function:
        return FunctionByte(master);
    }
    return 0xFF;
}

uint8_t Device::LineBit(uint8_t master) {
    switch (state_) {
    case RomState::Search:
        return SearchBit(master & 1);
    case RomState::Function:
        if (bitIndex_ > 0 || BitsFormBytes()) return FunctionByteBit(master & 1);
        return FunctionBit(master & 1) & 1;
    default:
        return 1;
    }
}

uint8_t Device::FunctionByteBit(uint8_t master) {
    if (bitIndex_ == 0) {
        bitMaster_ = 0;
        bitSent_ = NextSentByte();
    }
    bitMaster_ = static_cast<uint8_t>(bitMaster_ | master << bitIndex_);
    uint8_t out = bitSent_ ? static_cast<uint8_t>((*bitSent_ >> bitIndex_) & master) : master;
    if (++bitIndex_ == 8) {
        bitIndex_ = 0;
        out &= static_cast<uint8_t>(FunctionByte(bitMaster_) >> 7);
    }
    return out & 1;
}

uint8_t Device::SearchBit(uint8_t master) {
    if (state_ != RomState::Search) return 1;
    int bit = (rom_.bytes[index_ / 8] >> (index_ % 8)) & 1;
    switch (searchPhase_) {
    case 0:
        searchPhase_ = 1;
        return static_cast<uint8_t>(bit);
    case 1:
        searchPhase_ = 2;
        return static_cast<uint8_t>(bit ^ 1);
    default:
        searchPhase_ = 0;
        if ((master & 1) != bit) {
            state_ = RomState::Idle;
            return 1;
        }
        if (++index_ == 64) {
            state_ = RomState::Function;
            OnSelected();
        }
        return 1;
    }
}

} // namespace platform::tmex::sim
