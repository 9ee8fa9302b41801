#include "platform/tmex/sim/DS2480Chip.h"

#include "platform/tmex/DS2480.h"

namespace platform::tmex::sim {

using namespace ds2480;

DS2480Chip::DS2480Chip(Backend& net) : net_(net) {
    Break();
}

void DS2480Chip::Break() {
    awaitingTiming_ = true;
    dataMode_ = false;
    pendingModeByte_ = false;
    accelerator_ = false;
    armedAfterByte_ = false;
    if (pulseActive_) net_.Level(0, 0, 0);
    pulseActive_ = false;
    for (uint8_t& p : parameters_)
        p = 0;
}

void DS2480Chip::Receive(uint8_t byte, std::vector<Answer>& answers) {
    if (awaitingTiming_) { // calibrates the chip; no answer
        awaitingTiming_ = false;
        return;
    }
    if (pulseActive_ && parameters_[kPullupDuration] != kPullupUntilStopped) EndPulse(answers);
    if (!dataMode_) {
        Command(byte, answers);
        return;
    }
    if (pendingModeByte_) {
        pendingModeByte_ = false;
        if (byte == kCommandMode) {
            Data(byte, answers);
            return;
        }
        dataMode_ = false;
        Command(byte, answers);
        return;
    }
    if (byte == kCommandMode) {
        pendingModeByte_ = true;
        return;
    }
    Data(byte, answers);
}

void DS2480Chip::EndPulse(std::vector<Answer>& answers) {
    if (!pulseActive_) return;
    net_.Level(0, 0, 0);
    pulseActive_ = false;
    answers.push_back({kPulseEnded, Kind::PulseEnd});
}

int16_t DS2480Chip::Bit(int value) {
    ++bits_;
    return net_.TouchBit(static_cast<uint8_t>(value));
}

void DS2480Chip::Command(uint8_t byte, std::vector<Answer>& answers) {
    if (byte == kDataMode) {
        dataMode_ = true;
        return;
    }
    if (byte == kCommandMode) return; // already in command mode
    if (byte == kStopPulse) {
        EndPulse(answers);
        return;
    }
    if (IsConfigCommand(byte)) {
        int parameter = (byte >> 4) & 7;
        int value = (byte >> 1) & 7;
        if (parameter == kReadParameter) {
            answers.push_back({ConfigReadAnswer(parameters_[value]), Kind::Config});
        } else {
            parameters_[parameter] = static_cast<uint8_t>(value);
            answers.push_back({ConfigWriteAnswer(byte), Kind::Config});
        }
        return;
    }
    if ((byte & 0x81) != 0x81) return; // not a command this chip knows: ignored
    switch (byte & kFunctionMask) {
    case kFunctionBit: {
        EndPulse(answers);
        bool pullup = byte & kPullupAfter;
        if (pullup) net_.Level(0, 1, 1);
        int16_t read = Bit((byte & kBitOne) ? 1 : 0);
        if (pullup) pulseActive_ = true;
        answers.push_back({BitAnswer(byte, read == 1), Kind::Bit});
        return;
    }
    case kFunctionSearch:
        accelerator_ = byte & kBitOne;
        return;
    case kFunctionReset: {
        EndPulse(answers);
        armedAfterByte_ = false;
        ++resets_;
        int16_t r = net_.Reset();
        ResetCode code = r == 1 ? kPresence : r == 2 ? kShorted : kNoPresence;
        answers.push_back({ResetAnswer(code), Kind::Reset});
        return;
    }
    case kFunctionPulse:
        if (byte & 0x10) return; // the 12 V programming pulse: no programmable devices here
        if (byte & kPullupAfter) {
            armedAfterByte_ = true;
        } else if (!pulseActive_) {
            net_.Level(0, 1, 0);
            pulseActive_ = true;
        }
        return;
    }
}

void DS2480Chip::Data(uint8_t byte, std::vector<Answer>& answers) {
    EndPulse(answers);
    if (accelerator_) {
        // Four ROM bits: the direction to take at a fork in each odd bit; answered with the fork flag in
        // the even bit and the ROM bit taken in the odd one.
        uint8_t answer = 0;
        for (int j = 0; j < 4; ++j) {
            int direction = (byte >> (2 * j + 1)) & 1;
            int16_t bit = Bit(1);
            int16_t complement = Bit(1);
            bool fork = bit == complement; // both there, or (both 1) nobody answered
            int taken = fork ? direction : bit;
            Bit(taken);
            answer = static_cast<uint8_t>(answer | (fork ? 1 : 0) << (2 * j) | taken << (2 * j + 1));
        }
        answers.push_back({answer, Kind::Search});
        return;
    }
    bool pullup = armedAfterByte_;
    armedAfterByte_ = false;
    if (pullup) net_.Level(0, 1, 2);
    ++bytes_;
    int16_t read = net_.TouchByte(byte);
    if (pullup) pulseActive_ = true;
    answers.push_back({static_cast<uint8_t>(read < 0 ? 0xFF : read), Kind::Data});
}

} // namespace platform::tmex::sim
