#include "platform/tmex/sim/DS2407.h"

#include "platform/tmex/Crc.h"

namespace platform::tmex::sim {

DS2407::DS2407(const Rom& rom) : Device(rom) {
    status_.fill(0xFF);
    status_[7] = 0x7F;
}

void DS2407::SetSupplyIndication(bool powered) {
    status_[7] = static_cast<uint8_t>((status_[7] & 0x7F) | (powered ? 0x80 : 0x00));
}

bool DS2407::BranchConducts(int branch) const {
    return branch == Segment::PioB && (status_[7] & 0x40) == 0;
}

void DS2407::OnAttach(SimNet& net) {
    pioB_ = &net.NewSegment(this, Segment::PioB);
}

void DS2407::OnPowerCycle() {
    status_[7] = static_cast<uint8_t>((status_[7] & 0x80) | 0x7F);
    command_ = -1;
}

void DS2407::OnSelected() {
    command_ = -1;
    headerIndex_ = 0;
}

uint8_t DS2407::FunctionByte(uint8_t master) {
    if (command_ < 0) {
        command_ = master;
        headerIndex_ = 0;
        header_[headerIndex_++] = master;
        if (master != 0x55 && master != 0xAA) EndFunction();
        return 0xFF;
    }
    if (command_ == 0x55) {
        if (headerIndex_ < 4) {
            header_[headerIndex_++] = master;
            if (headerIndex_ == 4) {
                crc_ = static_cast<uint16_t>(~Crc16(std::span<const uint8_t>(header_, 4)));
                if (TakeCrcFault()) crc_ ^= 0x0101;
                phase_ = 0;
            }
            return 0xFF;
        }
        if (phase_ == 0) {
            phase_ = 1;
            return static_cast<uint8_t>(crc_ & 0xFF);
        }
        if (phase_ == 1) {
            phase_ = 2;
            return static_cast<uint8_t>(crc_ >> 8);
        }
        // The byte after the CRC commits the write (a reset before it abandons the write); the device
        // answers with the status byte as it now stands.
        uint16_t address = static_cast<uint16_t>(header_[1] | (header_[2] << 8));
        if (address == 7) {
            status_[7] = static_cast<uint8_t>((status_[7] & 0x80) | (header_[3] & 0x7F));
            ++writes_;
        }
        EndFunction();
        return address <= 7 ? status_[address] : 0xFF;
    }
    // 0xAA read status
    if (headerIndex_ < 3) {
        header_[headerIndex_++] = master;
        if (headerIndex_ == 3) {
            address_ = static_cast<uint16_t>(header_[1] | (header_[2] << 8));
            crc_ = Crc16(std::span<const uint8_t>(header_, 3));
            phase_ = 0;
        }
        return 0xFF;
    }
    if (address_ <= 7) {
        uint8_t out = status_[address_++];
        crc_ = Crc16Update(crc_, out);
        return out;
    }
    uint16_t inverted = static_cast<uint16_t>(~crc_);
    if (phase_ == 0) {
        phase_ = 1;
        return static_cast<uint8_t>(inverted & 0xFF);
    }
    EndFunction();
    return static_cast<uint8_t>(inverted >> 8);
}

} // namespace platform::tmex::sim
