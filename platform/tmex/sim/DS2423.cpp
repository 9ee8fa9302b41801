#include "platform/tmex/sim/DS2423.h"

#include "platform/tmex/Crc.h"

#include <algorithm>
#include <cstring>

namespace platform::tmex::sim {

DS2423::DS2423(const Rom& rom) : Device(rom) {
    memory_.fill(0xFF);
}

void DS2423::AddCounts(char input, uint32_t counts) {
    int page = (input == 'A' || input == 'a') ? 14 : 15;
    counters_[page - 12] += counts;
}

void DS2423::ConnectInput(char input, PulseSource totalPulses) {
    int i = (input == 'A' || input == 'a') ? 0 : 1;
    inputs_[i] = std::move(totalPulses);
    pulsesTaken_[i] = inputs_[i] ? inputs_[i]() : 0;
}

void DS2423::TakePulses(int page) {
    if (page < 14 || page > 15 || !inputs_[page - 14]) return;
    uint64_t total = inputs_[page - 14]();
    uint64_t& taken = pulsesTaken_[page - 14];
    if (total > taken) counters_[page - 12] += static_cast<uint32_t>(total - taken);
    taken = total;
}

void DS2423::SetCounter(int page, uint32_t value) {
    if (page >= 12 && page <= 15) counters_[page - 12] = value;
}

void DS2423::PowerOnReset() {
    TakePulses(14);
    TakePulses(15);
    counters_.fill(0);
    memory_.fill(0xFF);
    scratchpad_.fill(0);
    command_ = -1;
    headerIndex_ = 0;
    streamLength_ = streamIndex_ = 0;
}

uint32_t DS2423::Counter(int page) {
    if (page < 12 || page > 15) return 0xFFFFFFFF;
    TakePulses(page);
    return counters_[page - 12];
}

void DS2423::SetPage(int page, const std::array<uint8_t, 32>& bytes) {
    for (int i = 0; i < 32; ++i)
        memory_[(page & 15) * 32 + i] = bytes[i];
}

void DS2423::OnSelected() {
    command_ = -1;
    headerIndex_ = 0;
}

// Builds the transfer of the page that holds address_, from address_ to the page end, and sends its
// first byte.
uint8_t DS2423::NextWithCounter() {
    if (address_ >= 512) {
        EndFunction();
        return 0xFF;
    }
    const int page = address_ / 32;
    uint16_t crc = firstPage_ ? Crc16(header_) : 0;
    firstPage_ = false;
    // Built in a local count: the bytes stored could otherwise be the members for all the compiler knows.
    int n = (page + 1) * 32 - address_;
    std::memcpy(stream_.data(), memory_.data() + address_, static_cast<std::size_t>(n));
    address_ = static_cast<uint16_t>(address_ + n);
    uint32_t counter = Counter(page);
    for (int i = 0; i < 4; ++i)
        stream_[n++] = static_cast<uint8_t>(counter >> (8 * i));
    for (int i = 0; i < 4; ++i)
        stream_[n++] = 0x00;
    crc = static_cast<uint16_t>(~Crc16(std::span<const uint8_t>(stream_.data(), static_cast<std::size_t>(n)), crc));
    if (TakeCrcFault()) crc ^= 0x0101;
    stream_[n++] = static_cast<uint8_t>(crc & 0xFF);
    stream_[n++] = static_cast<uint8_t>(crc >> 8);
    streamLength_ = n;
    streamIndex_ = 1;
    return stream_[0];
}

int DS2423::FunctionRun(uint8_t* bytes, int n) {
    if (command_ != 0xA5 || headerIndex_ < 3) return 0;
    const int from = streamIndex_, run = std::max(0, std::min(n, streamLength_ - from));
    for (int i = 0; i < run; ++i)
        bytes[i] &= stream_[from + i];
    streamIndex_ = from + run;
    return run;
}

uint8_t DS2423::FunctionByte(uint8_t master) {
    if (command_ < 0) {
        command_ = master;
        headerIndex_ = 0;
        header_[headerIndex_++] = master;
        if (master != 0xA5 && master != 0xF0 && master != 0x0F && master != 0x5A) EndFunction();
        return 0xFF;
    }
    if (headerIndex_ < 3) {
        header_[headerIndex_++] = master;
        if (headerIndex_ == 3) {
            address_ = static_cast<uint16_t>((header_[1] | (header_[2] << 8)) & 0x1FF);
            streamLength_ = streamIndex_ = 0;
            firstPage_ = true;
        }
        return 0xFF;
    }
    switch (command_) {
    case 0xA5: // the rest of the page built, or the next page
        return streamIndex_ < streamLength_ ? stream_[streamIndex_++] : NextWithCounter();
    case 0xF0:
        if (address_ >= 512) {
            EndFunction();
            return 0xFF;
        }
        return memory_[address_++];
    case 0x0F:
        scratchpad_[address_ % 32] = master;
        address_ = static_cast<uint16_t>((address_ & ~31) | ((address_ + 1) & 31));
        return 0xFF;
    case 0x5A: { // the E/S byte ends the command: copy the scratchpad to the addressed page
        int page = address_ / 32;
        for (int i = 0; i < 32; ++i)
            memory_[page * 32 + i] = scratchpad_[i];
        if (page == 12 || page == 13) ++counters_[page - 12];
        EndFunction();
        return 0xAA; // the copy-done pattern
    }
    default:
        return 0xFF;
    }
}

} // namespace platform::tmex::sim
