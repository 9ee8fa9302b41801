#include "platform/tmex/sim/DS2480Chip.h"

#include "platform/tmex/sim/SimNet.h"

#include <random>

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
    armed_ = false;
    deaf_ = false;
    speed_ = kSpeedRegular;
    if (pulse_.active && !pulse_.twelveVolts) net_.Level(0, 0, 0);
    pulse_ = Pulse{};
    for (uint8_t& p : parameters_)
        p = 0;
}

void DS2480Chip::PowerOff() {
    powerBack_.reset();
    if (!powered_) return;
    Break(); // the pull-up goes with the power
    powered_ = false;
    net_.Reset(); // the line held low for longer than a reset pulse
    if (auto* net = dynamic_cast<SimNet*>(&net_)) net->HoldLineLow(); // and longer than parasite power lasts
}

void DS2480Chip::PowerOn() {
    powerBack_.reset();
    if (powered_) return;
    powered_ = true;
    backFromCut_ = false;
    Break();
}

void DS2480Chip::PowerOn(uint64_t seed) {
    const bool wasOff = !powered_;
    PowerOn();
    backFromCut_ = wasOff;
    cutAnswer_ = TimingAnswerAfterCut(seed);
}

void DS2480Chip::CutPower(int64_t nowUs, int64_t lengthUs, uint64_t seed) {
    PowerOff();
    powerBack_ = PowerBack{nowUs + lengthUs, seed};
}

std::optional<uint8_t> DS2480Chip::TimingAnswerAfterCut(uint64_t seed) {
    std::mt19937_64 draw(seed);
    const uint64_t value = draw() % 257;
    if (value == 256) return std::nullopt;
    return static_cast<uint8_t>(value);
}

std::optional<int64_t> DS2480Chip::PulseEndUs() const {
    if (!powered_ || !pulse_.active || !pulse_.timed) return std::nullopt;
    return pulse_.endUs;
}

void DS2480Chip::Advance(int64_t nowUs, std::vector<Answer>& answers) {
    if (powerBack_ && nowUs >= powerBack_->atUs) PowerOn(powerBack_->seed);
    if (powered_ && pulse_.active && pulse_.timed && nowUs >= pulse_.endUs) EndPulse(answers);
}

void DS2480Chip::Receive(uint8_t byte, int64_t nowUs, std::vector<Answer>& answers) {
    Advance(nowUs, answers);
    if (deaf_ || !powered_) return;
    if (awaitingTiming_) { // calibrates the chip; not executed; its answer is not defined
        awaitingTiming_ = false;
        if (backFromCut_) {
            backFromCut_ = false;
            if (cutAnswer_) answers.push_back({*cutAnswer_, Kind::Noise});
            return;
        }
        if (timingNoise_) answers.push_back({*timingNoise_, Kind::Noise});
        if (!everyTimingByte_) timingNoise_.reset();
        return;
    }
    if (pulse_.active) {
        WhilePulsing(byte, answers);
        return;
    }
    if (!dataMode_) {
        Command(byte, nowUs, answers);
        return;
    }
    if (pendingModeByte_) {
        pendingModeByte_ = false;
        if (byte == kCommandMode) {
            Data(byte, nowUs, answers);
            return;
        }
        dataMode_ = false;
        Command(byte, nowUs, answers);
        return;
    }
    if (byte == kCommandMode) {
        pendingModeByte_ = true;
        return;
    }
    Data(byte, nowUs, answers);
}

// During a pulse the chip follows the mode switches and, in command mode, the termination; nothing else
// reaches the line.
void DS2480Chip::WhilePulsing(uint8_t byte, std::vector<Answer>& answers) {
    if (dataMode_) {
        if (pendingModeByte_) {
            pendingModeByte_ = false;
            if (byte != kCommandMode) {
                dataMode_ = false;
                if (byte == kStopPulse) EndPulse(answers);
            }
        } else if (byte == kCommandMode) {
            pendingModeByte_ = true;
        }
        return;
    }
    if (byte == kDataMode)
        dataMode_ = true;
    else if (byte == kStopPulse)
        EndPulse(answers);
}

void DS2480Chip::StartPulse(bool twelveVolts, int64_t nowUs) {
    pulse_.active = true;
    pulse_.twelveVolts = twelveVolts;
    int64_t duration = twelveVolts ? ProgrammingPulseUs(parameters_[kProgrammingPulse])
                                   : PullupDurationUs(parameters_[kPullupDuration]);
    pulse_.timed = duration != 0;
    pulse_.endUs = nowUs + duration;
}

void DS2480Chip::EndPulse(std::vector<Answer>& answers) {
    if (!pulse_.active) return;
    if (!pulse_.twelveVolts) net_.Level(0, 0, 0);
    answers.push_back(
        {static_cast<uint8_t>(PulseAnswer(pulse_.twelveVolts) | pulseLowBits_), Kind::PulseEnd});
    pulse_ = Pulse{};
}

void DS2480Chip::NoteSlot() {
    lastSlot_ = SlotTiming{};
    lastSlot_.speed = speed_;
    if (speed_ == kSpeedFlexible) {
        lastSlot_.slewRate = parameters_[kPullDownSlewRate];
        lastSlot_.write1Low = parameters_[kWrite1LowTime];
        lastSlot_.sampleOffset = parameters_[kSampleOffset];
    }
}

int16_t DS2480Chip::Bit(int value) {
    ++bits_;
    NoteSlot();
    return net_.TouchBit(static_cast<uint8_t>(value));
}

void DS2480Chip::Command(uint8_t byte, int64_t nowUs, std::vector<Answer>& answers) {
    if (byte == kDataMode) {
        dataMode_ = true;
        return;
    }
    if (byte == kStopPulse) return; // no pulse runs
    if (IsConfigCommand(byte)) {
        int parameter = (byte >> 4) & 7;
        int value = (byte >> 1) & 7;
        if (parameter == kReadParameter) {
            answers.push_back({ConfigReadAnswer(parameters_[value]), Kind::Config});
            return;
        }
        parameters_[parameter] = static_cast<uint8_t>(value);
        if (parameter == kBaudRate && value != kBaud9600) {
            deaf_ = true; // answers at the new rate, which a host at 9600 baud cannot read
            return;
        }
        answers.push_back({ConfigWriteAnswer(byte), Kind::Config});
        return;
    }
    if ((byte & 0x81) != 0x81) return; // not a command: ignored
    const uint8_t speed = byte & kSpeedMask;
    switch (byte & kFunctionMask) {
    case kFunctionBit: {
        speed_ = speed;
        const bool pullup = byte & kPullupAfter;
        if (pullup) net_.Level(0, 1, 1);
        int16_t read = Bit((byte & kBitOne) ? 1 : 0);
        answers.push_back({BitAnswer(byte, read == 1), Kind::Bit});
        if (pullup) StartPulse(false, nowUs);
        return;
    }
    case kFunctionSearch:
        speed_ = speed;
        accelerator_ = byte & kBitOne;
        return;
    case kFunctionReset: {
        speed_ = speed;
        ++resets_;
        NoteSlot();
        int16_t r = net_.Reset();
        ResetCode code = r == 1 ? kPresence : r == 2 ? kShorted : kNoPresence;
        if (forcedReset_) code = *forcedReset_;
        forcedReset_.reset();
        answers.push_back({ResetAnswer(code, resetBit5_), Kind::Reset});
        return;
    }
    case kFunctionPulse:
        if (speed != kSpeedPulse) return; // 0xF1 is the termination, handled above
        armed_ = byte & kPullupAfter;
        if (!(byte & kBitOne)) net_.Level(0, 1, 0);
        StartPulse(byte & kBitOne, nowUs);
        return;
    }
}

void DS2480Chip::Data(uint8_t byte, int64_t nowUs, std::vector<Answer>& answers) {
    if (accelerator_) {
        SearchByte(byte, answers);
        return;
    }
    if (armed_) net_.Level(0, 1, 2);
    ++bytes_;
    NoteSlot();
    int16_t read = net_.TouchByte(byte);
    answers.push_back({static_cast<uint8_t>(read < 0 ? 0xFF : read), Kind::Data});
    if (armed_) StartPulse(false, nowUs);
}

// Four ROM bits: the direction to take where the devices disagree in each odd bit; answered with the
// flag of a bit and complement that read alike in the even bit and the ROM bit taken in the odd one.
void DS2480Chip::SearchByte(uint8_t byte, std::vector<Answer>& answers) {
    uint8_t answer = 0;
    for (int j = 0; j < 4; ++j) {
        int direction = (byte >> (2 * j + 1)) & 1;
        int16_t bit = Bit(1);
        int16_t complement = Bit(1);
        bool alike = bit == complement;
        int taken = !alike ? bit : (bit == 0 ? direction : 1); // both 1: no device, the chip writes 1
        Bit(taken);
        answer = static_cast<uint8_t>(answer | (alike ? 1 : 0) << (2 * j) | taken << (2 * j + 1));
    }
    answers.push_back({answer, Kind::Search});
}

} // namespace platform::tmex::sim
