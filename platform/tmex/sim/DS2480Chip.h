#pragma once
// The DS2480B serial 1-Wire line driver as the serial line sees it (the protocol of DS2480.h), in front
// of a net that answers at byte level: any Backend (in practice a SimNet). Bytes from the host go in
// one at a time; each gives the answer bytes it causes, tagged with their kind (for fault injection).
//
// What the chip does to the net is what the driver would do to the net directly: a reset command is
// one Reset, a data byte one TouchByte, a bit command one TouchBit, an accelerated search bit three
// TouchBits, and the strong pull-up is the net's Level (armed after a byte or a bit, now, or ended).
// A strong pull-up with a duration other than "until stopped" ends at the next byte from the host.
#include "platform/tmex/Backend.h"

#include <cstdint>
#include <vector>

namespace platform::tmex::sim {

class DS2480Chip {
public:
    enum class Kind { Config, Reset, Bit, Data, Search, PulseEnd };
    struct Answer {
        uint8_t byte;
        Kind kind;
    };

    explicit DS2480Chip(Backend& net);

    // A break on the serial line: command mode, the next byte is the timing byte.
    void Break();
    // One byte from the host; appends what the chip answers.
    void Receive(uint8_t byte, std::vector<Answer>& answers);

    bool DataMode() const { return dataMode_; }
    bool PulseActive() const { return pulseActive_; }
    uint8_t Parameter(int code) const { return parameters_[code & 7]; }
    // 1-Wire slots done so far (resets, bytes, single bits), for the serial benchmark.
    uint64_t Resets() const { return resets_; }
    uint64_t Bytes() const { return bytes_; }
    uint64_t Bits() const { return bits_; }

private:
    void Command(uint8_t byte, std::vector<Answer>& answers);
    void Data(uint8_t byte, std::vector<Answer>& answers);
    void EndPulse(std::vector<Answer>& answers);
    int16_t Bit(int value);

    Backend& net_;
    bool awaitingTiming_ = true;
    bool dataMode_ = false;
    bool pendingModeByte_ = false; // data mode saw 0xE3: a second one is data, anything else a command
    bool accelerator_ = false;
    bool armedAfterByte_ = false;
    bool pulseActive_ = false;
    uint8_t parameters_[8] = {};
    uint64_t resets_ = 0, bytes_ = 0, bits_ = 0;
};

} // namespace platform::tmex::sim
