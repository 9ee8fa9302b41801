#pragma once
// The DS2480B serial 1-Wire line driver as its data sheet describes it (the protocol of DS2480.h), in
// front of a net that answers at byte level: any Backend (in practice a SimNet). Bytes from the host go
// in one at a time, each at a time of the chip's own (microseconds, any origin); each gives the answer
// bytes it causes, tagged with their kind (for fault injection).
//
// What the chip does to the net: a reset command is one Reset, a data byte one TouchByte, a bit command
// one TouchBit, an accelerated search bit three TouchBits; a strong pull-up is the net's Level: armed for
// the slot that starts it (after a bit with the pull-up flag, after each data byte while the pulse
// command's arm bit holds), at once for a pulse command, ended when its duration is over (Advance) or
// at the termination command.
//
// Variants and faults of real chips: the reset answer with its undefined bit set (0xED where another
// chip answers 0xCD), a reset result forced once (an alarming presence, or a presence that no device
// gave), a stray byte after the timing byte (line noise, an adapter that answers it; once or after
// every one), a chip without power (an adapter unplugged from its power or its modem lines while the
// host's serial device stays): it takes no byte and answers nothing, the line loses its pull-up and is
// held low (every device resets; a device on parasite power loses it: one converting browns out, and
// every one is back in its power-on state), and when the power is back the chip is in its power-on
// state and takes the next byte, whatever it is, as its timing byte. A power cut (CutPower) is that for
// a while of the chip's time: back from it, the chip answers its timing byte with a byte drawn from a
// seed (any of the 256, or none), since the data sheet defines no answer to it. The answer that ends a
// pulse has two low bits that the data sheet leaves open (00 unless set).
#include "platform/tmex/Backend.h"
#include "platform/tmex/DS2480.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace platform::tmex::sim {

class DS2480Chip {
public:
    enum class Kind { Config, Reset, Bit, Data, Search, PulseEnd, Noise };
    struct Answer {
        uint8_t byte;
        Kind kind;
    };
    // The timing of a 1-Wire slot: its speed and, at flexible speed only, the line parameters (pull-down
    // slew rate, write-1 low time, sample offset codes); at regular speed the chip's fixed timing (-1).
    struct SlotTiming {
        uint8_t speed = ds2480::kSpeedRegular;
        int slewRate = -1, write1Low = -1, sampleOffset = -1;
        bool operator==(const SlotTiming&) const = default;
    };

    explicit DS2480Chip(Backend& net);

    // A break on the serial line: the power-up state; the next byte is the timing byte.
    void Break();
    // One byte from the host at time nowUs; appends what the chip answers.
    void Receive(uint8_t byte, int64_t nowUs, std::vector<Answer>& answers);
    // The chip's time reaches nowUs: the power of a cut comes back when its time has come; a pulse whose
    // duration is over ends, with its answer.
    void Advance(int64_t nowUs, std::vector<Answer>& answers);
    // When the running pulse ends by itself; nullopt when none runs or it lasts until ended.
    std::optional<int64_t> PulseEndUs() const;
    // When the power of a cut comes back; nullopt when none is cut.
    std::optional<int64_t> PowerBackUs() const {
        return powerBack_ ? std::optional(powerBack_->atUs) : std::nullopt;
    }

    // --- variants and faults ---
    void SetResetAnswerBit5(bool set) { resetBit5_ = set; }
    void ForceNextResetResult(ds2480::ResetCode code) { forcedReset_ = code; }
    void AnswerNextTimingByte(uint8_t noise) { timingNoise_ = noise; }
    void AnswerEveryTimingByte(uint8_t noise) {
        timingNoise_ = noise;
        everyTimingByte_ = true;
    }
    void SetPulseAnswerLowBits(uint8_t bits) { pulseLowBits_ = bits & 3; }
    void PowerOff();
    void PowerOn();
    // Back in the power-on state, answering the timing byte with TimingAnswerAfterCut(seed).
    void PowerOn(uint64_t seed);
    // Without power from nowUs, back at nowUs + lengthUs (at the first byte or Advance from then on) as
    // PowerOn(seed).
    void CutPower(int64_t nowUs, int64_t lengthUs, uint64_t seed);
    bool Powered() const { return powered_; }
    // The byte a chip back from a power cut answers its timing byte with, drawn from the seed: one of the
    // 256, or none (nullopt), each as likely.
    static std::optional<uint8_t> TimingAnswerAfterCut(uint64_t seed);

    bool DataMode() const { return dataMode_; }
    bool PulseActive() const { return pulse_.active; }
    bool PulseArmed() const { return armed_; }
    uint8_t Parameter(int code) const { return parameters_[code & 7]; }
    const SlotTiming& LastSlotTiming() const { return lastSlot_; }
    // 1-Wire slots done so far (resets, bytes, single bits), for the serial benchmark.
    uint64_t Resets() const { return resets_; }
    uint64_t Bytes() const { return bytes_; }
    uint64_t Bits() const { return bits_; }

private:
    struct Pulse {
        bool active = false;
        bool twelveVolts = false;
        bool timed = false; // else until ended
        int64_t endUs = 0;
    };
    struct PowerBack {
        int64_t atUs;
        uint64_t seed;
    };

    void Command(uint8_t byte, int64_t nowUs, std::vector<Answer>& answers);
    void Data(uint8_t byte, int64_t nowUs, std::vector<Answer>& answers);
    void SearchByte(uint8_t byte, std::vector<Answer>& answers);
    void WhilePulsing(uint8_t byte, std::vector<Answer>& answers);
    void StartPulse(bool twelveVolts, int64_t nowUs);
    void EndPulse(std::vector<Answer>& answers);
    void NoteSlot();
    int16_t Bit(int value);

    Backend& net_;
    bool awaitingTiming_ = true;
    bool dataMode_ = false;
    bool pendingModeByte_ = false; // data mode saw 0xE3: a second one is data, anything else a command
    bool accelerator_ = false;
    bool armed_ = false;
    bool deaf_ = false; // talking at another baud rate than the host's
    uint8_t speed_ = ds2480::kSpeedRegular;
    Pulse pulse_;
    uint8_t parameters_[8] = {};
    SlotTiming lastSlot_;
    bool resetBit5_ = false;
    std::optional<ds2480::ResetCode> forcedReset_;
    std::optional<uint8_t> timingNoise_;
    bool everyTimingByte_ = false;
    // Back from a cut, the next timing byte gets cutAnswer_ (nothing when empty) instead of any noise.
    bool backFromCut_ = false;
    std::optional<uint8_t> cutAnswer_;
    uint8_t pulseLowBits_ = 0;
    bool powered_ = true;
    std::optional<PowerBack> powerBack_;
    uint64_t resets_ = 0, bytes_ = 0, bits_ = 0;
};

} // namespace platform::tmex::sim
