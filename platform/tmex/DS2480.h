#pragma once
// The byte protocol of the DS2480B serial 1-Wire line driver, as its data sheet describes it; the serial
// backend (DS2480Backend.h) speaks it and the emulator (sim/DS2480Chip.h) answers it.
//
// Serial line: 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control. A break (the line held
// low for longer than a character), like power coming back, puts the chip in its power-up state: command
// mode, 9600 baud, every configuration parameter at code 000, the search accelerator off, no strong
// pull-up armed. The first byte after it, whatever it is, is the timing byte (meant to be a reset
// command, 0xC1): it calibrates the chip and is not executed; no answer to it is defined (any byte may
// come back, or none), so a host drops what comes.
//
// Two modes. In data mode every byte is a 1-Wire byte, answered by the byte read back from the line;
// 0xE3 switches to command mode, and a data byte 0xE3 is sent twice (answered once). In command mode
// 0xE1 switches to data mode (no answer), and these commands are understood:
//
//   0 ppp vvv 1    write configuration parameter ppp (1..7) = vvv; answer 0 ppp vvv 0
//   0 000 ppp 1    read parameter ppp; answer 0 000 vvv 0
//   1 00 v ss p 1  one time slot writing v (1 reads) at speed ss; p = strong pull-up after the slot (for
//                  the configured duration; the chip stays in command mode, where 0xF1 can end it);
//                  answer 1 00 v ss b b, b the bit read
//   1 01 a ss 0 1  search accelerator on (a = 1) or off, at speed ss; no answer
//   1 10 0 ss 0 1  1-Wire reset at speed ss; answer 1 1 x r r r c c: rrr the chip revision, cc the
//                  result below, x not fixed (chips answer the same reset with 0xCD or 0xED)
//   1 11 p 11 a 1  pulse: the strong pull-up to 5 V (p = 0), or 12 V (p = 1), starts at once and lasts
//                  the configured duration; a = 1 arms a strong pull-up after every data byte from now
//                  on, until a pulse command with a = 0; answer 1 11 p 11 x x when the pulse ends
//   1111 0001      pulse termination: ends a running pulse at once (a command, so only in command mode)
//
// While a pulse runs the chip does nothing on the 1-Wire: it takes the mode switches and, in command
// mode, the termination; any other byte is dropped. A pulse of unlimited duration after a data byte
// therefore never ends by itself and the next byte never reaches the line: unlimited pulses belong to
// the single-bit route.
//
// Speeds: 00 regular (the chip's fixed standard timing), 01 flexible (standard speed with the pull-down
// slew rate, write-1 low time and sample offset of the configuration), 10 overdrive. Data-mode bytes go
// at the speed of the last reset, bit or accelerator command.
//
// Search accelerator: after a reset and the search command 0xF0 in data mode, with the accelerator on,
// 16 data bytes carry the 64 ROM bits, LSB first: bit 2i+1 of the 128 is the direction to take at ROM
// bit i where the devices disagree. The 16 bytes answered hold, for ROM bit i, bit 2i = 1 where the bit
// and its complement read alike (both 0: the devices disagree; both 1: no device answered) and bit
// 2i+1 = the ROM bit taken (1 where no device answered). A pass that no device answered reads all ones.
#include "platform/tmex/Backend.h"

#include <array>
#include <cstdint>

namespace platform::tmex::ds2480 {

constexpr uint8_t kDataMode = 0xE1;
constexpr uint8_t kCommandMode = 0xE3;
constexpr uint8_t kStopPulse = 0xF1;
constexpr uint8_t kTimingByte = 0xC1;

// Communication commands: 1 ff x ss y 1.
constexpr uint8_t kComm = 0x81;
constexpr uint8_t kFunctionMask = 0x60;
constexpr uint8_t kFunctionBit = 0x00;
constexpr uint8_t kFunctionSearch = 0x20;
constexpr uint8_t kFunctionReset = 0x40;
constexpr uint8_t kFunctionPulse = 0x60;
constexpr uint8_t kBitOne = 0x10; // the bit to write; the accelerator on; the 12 V pulse
constexpr uint8_t kSpeedMask = 0x0C;
constexpr uint8_t kSpeedRegular = 0x00;
constexpr uint8_t kSpeedFlexible = 0x04;
constexpr uint8_t kSpeedOverdrive = 0x08;
constexpr uint8_t kSpeedPulse = 0x0C;  // the speed bits of a pulse command
constexpr uint8_t kPullupAfter = 0x02; // a bit slot's p, a pulse command's a

constexpr uint8_t BitCommand(int bit, uint8_t speed, bool pullupAfter = false) {
    return static_cast<uint8_t>(kComm | kFunctionBit | (bit ? kBitOne : 0) | speed |
                                (pullupAfter ? kPullupAfter : 0));
}
constexpr uint8_t ResetCommand(uint8_t speed) {
    return static_cast<uint8_t>(kComm | kFunctionReset | speed);
}
constexpr uint8_t SearchCommand(bool on, uint8_t speed) {
    return static_cast<uint8_t>(kComm | kFunctionSearch | (on ? kBitOne : 0) | speed);
}
constexpr uint8_t PulseCommand(bool twelveVolts, bool arm) {
    return static_cast<uint8_t>(kComm | kFunctionPulse | (twelveVolts ? kBitOne : 0) | kSpeedPulse |
                                (arm ? kPullupAfter : 0));
}
constexpr bool IsPulseCommand(uint8_t byte) {
    return (byte & 0xED) == 0xED; // 1 11 p 11 a 1
}
constexpr uint8_t kPullupNow = PulseCommand(false, false); // 0xED

// A bit slot's answer: the command's upper six bits, the bit read twice.
constexpr uint8_t BitAnswer(uint8_t command, int bitRead) {
    return static_cast<uint8_t>((command & 0xFC) | (bitRead ? 0x03 : 0x00));
}
constexpr bool IsBitAnswer(uint8_t command, uint8_t answer) {
    return (answer & 0xFC) == (command & 0xFC) && ((answer & 1) == ((answer >> 1) & 1));
}
// The answer that ends a pulse: 1 11 p 11 x x, p the pulse's level; the two low bits are not fixed.
constexpr uint8_t PulseAnswer(bool twelveVolts) {
    return static_cast<uint8_t>(0xEC | (twelveVolts ? kBitOne : 0));
}
constexpr uint8_t kPulseAnswerMask = 0xFC; // the bits an answer shares with PulseAnswer of its pulse

// Reset answers: 1 1 x rrr cc.
constexpr uint8_t kRevision = 3; // DS2480B
enum ResetCode : uint8_t { kShorted = 0, kPresence = 1, kAlarmingPresence = 2, kNoPresence = 3 };
constexpr uint8_t kResetAnswerMask = 0xC0;
constexpr uint8_t ResetAnswer(ResetCode code, bool bit5 = false) {
    return static_cast<uint8_t>(0xC0 | (bit5 ? 0x20 : 0) | (kRevision << 2) | code);
}
constexpr bool IsResetAnswer(uint8_t answer) {
    return (answer & kResetAnswerMask) == kResetAnswerMask;
}
constexpr ResetCode ResetResult(uint8_t answer) {
    return static_cast<ResetCode>(answer & 0x03);
}
constexpr int ResetRevision(uint8_t answer) {
    return (answer >> 2) & 7;
}

// Configuration parameters and the value codes used here.
enum Parameter : uint8_t {
    kReadParameter = 0,
    kPullDownSlewRate = 1, // 000 15 V/us, 001 2.2, 010 1.65, 011 1.37, 100 1.1, 101 0.83, 110 0.7, 111 0.55
    kProgrammingPulse = 2, // 000 32 us .. doubling .. 110 2048 us, 111 unlimited
    kPullupDuration = 3,   // 000 16.4 ms, 001 65.5 ms, 010 131 ms .. doubling .. 110 2.1 s, 111 unlimited
    kWrite1LowTime = 4,    // 000 8 us .. 010 10 us .. 111 15 us
    kSampleOffset = 5,     // data sample offset and write-0 recovery: 000 3 us .. 101 8 us .. 111 10 us
    kLoadSensor = 6,
    kBaudRate = 7, // 000 9600 baud
};
constexpr uint8_t kSlew1p37 = 3;
constexpr uint8_t kWrite1Low10us = 2;
constexpr uint8_t kSampleOffset8us = 5;
constexpr uint8_t kUnlimited = 7;
constexpr uint8_t kBaud9600 = 0;

// How long a pulse of a duration code lasts, in microseconds (0: until ended).
constexpr int64_t PullupDurationUs(uint8_t code) {
    return code == 0 ? 16'400 : code == kUnlimited ? 0 : 65'536LL << (code - 1);
}
constexpr int64_t ProgrammingPulseUs(uint8_t code) {
    return code == kUnlimited ? 0 : 32LL << code;
}

constexpr uint8_t ConfigWrite(Parameter p, uint8_t value) {
    return static_cast<uint8_t>(0x01 | (p << 4) | ((value & 7) << 1));
}
constexpr uint8_t ConfigRead(Parameter p) {
    return static_cast<uint8_t>(0x01 | (p << 1));
}
constexpr uint8_t ConfigWriteAnswer(uint8_t command) {
    return static_cast<uint8_t>(command & 0xFE);
}
constexpr uint8_t ConfigReadAnswer(uint8_t value) {
    return static_cast<uint8_t>((value & 7) << 1);
}
constexpr bool IsConfigCommand(uint8_t command) {
    return (command & 0x81) == 0x01;
}

// The 16 bytes of one accelerated search pass, and what their answer says.
using SearchBlock = std::array<uint8_t, 16>;
inline int SearchBlockBit(const SearchBlock& block, int position) {
    return (block[position / 8] >> (position % 8)) & 1;
}
inline void SetSearchBlockBit(SearchBlock& block, int position, int value) {
    if (value) block[position / 8] = static_cast<uint8_t>(block[position / 8] | (1 << (position % 8)));
}
inline SearchBlock SearchRequest(const RomBytes& directions) {
    SearchBlock block{};
    for (int i = 0; i < 64; ++i)
        SetSearchBlockBit(block, 2 * i + 1, RomBit(directions, i));
    return block;
}
inline void ReadSearchAnswer(const SearchBlock& answer, RomBytes& rom, RomBytes& forks) {
    rom = RomBytes{};
    forks = RomBytes{};
    for (int i = 0; i < 64; ++i) {
        SetRomBit(forks, i, SearchBlockBit(answer, 2 * i));
        SetRomBit(rom, i, SearchBlockBit(answer, 2 * i + 1));
    }
}

} // namespace platform::tmex::ds2480
