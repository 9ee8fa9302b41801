#pragma once
// The byte protocol of the DS2480B serial 1-Wire line driver, as its data sheet and the maker's note on
// using it describe it; the serial backend (DS2480Backend.h) speaks it and the emulator
// (sim/DS2480Chip.h) answers it.
//
// Serial line: 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control. A break resets the chip
// to command mode at 9600 baud; the first byte after it (the timing byte, 0xC1) calibrates the chip and
// gets no answer.
//
// Two modes. In data mode every byte is a 1-Wire byte and is answered by the byte read back from the
// line; 0xE3 switches to command mode, and a data byte 0xE3 is sent twice (answered once). In command
// mode 0xE1 switches to data mode (no answer), and these commands are understood:
//
//   0 ppp vvv 1   write configuration parameter ppp (1..7) = value vvv; answer 0 ppp vvv 0
//   0 000 ppp 1   read parameter ppp; answer 0 000 vvv 0
//   1 00 v ss p 1 one bit slot writing v (1 reads) at speed ss; p = strong pull-up after the slot;
//                 answer 1 00 v ss b b, b the bit read
//   1 01 a ss 0 1 search accelerator on (a = 1) or off; no answer
//   1 10 0 ss 0 1 1-Wire reset; answer 1 10 vvv rr: vvv the chip revision, rr the result below
//   1 11 0 11 a 1 strong pull-up to 5 V: now (a = 0), or armed to follow the next data byte (a = 1);
//                 its answer 1 11 0 11 0 0 comes when the pull-up ends (with the parameter's duration,
//                 or, at the duration "until stopped", at the stop byte 0xF1)
//   1111 0001     stop the strong pull-up (see above)
//
// Search accelerator: after a reset and the search command 0xF0 in data mode, with the accelerator on,
// 16 data bytes carry the 64 ROM bits, LSB first: bit 2i+1 of the 128 is the direction to take at ROM
// bit i where both values are there. The 16 bytes answered hold, for ROM bit i, bit 2i = 1 where both
// values were there (a fork) and bit 2i+1 = the ROM bit taken.
//
// Only standard speed (ss = 00) and the 5 V strong pull-up are used here.
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
constexpr uint8_t kBitOne = 0x10; // the bit to write; the accelerator on
constexpr uint8_t kSpeedStandard = 0x00;
constexpr uint8_t kSpeedPulse = 0x0C;  // the speed bits of a pulse command
constexpr uint8_t kPullupAfter = 0x02; // a bit slot's p, a pulse command's a

constexpr uint8_t BitCommand(int bit, bool pullupAfter = false) {
    return static_cast<uint8_t>(kComm | kFunctionBit | (bit ? kBitOne : 0) | kSpeedStandard |
                                (pullupAfter ? kPullupAfter : 0));
}
constexpr uint8_t kResetCommand = kComm | kFunctionReset | kSpeedStandard;                // 0xC1
constexpr uint8_t kSearchOn = kComm | kFunctionSearch | kBitOne | kSpeedStandard;         // 0xB1
constexpr uint8_t kSearchOff = kComm | kFunctionSearch | kSpeedStandard;                  // 0xA1
constexpr uint8_t kPullupNow = kComm | kFunctionPulse | kSpeedPulse;                      // 0xED
constexpr uint8_t kPullupAfterByte = kComm | kFunctionPulse | kSpeedPulse | kPullupAfter; // 0xEF
constexpr uint8_t kPulseEnded = kPullupNow & 0xFC;                                        // 0xEC

// A bit slot's answer: the command's upper six bits, the bit read twice.
constexpr uint8_t BitAnswer(uint8_t command, int bitRead) {
    return static_cast<uint8_t>((command & 0xFC) | (bitRead ? 0x03 : 0x00));
}
constexpr bool IsBitAnswer(uint8_t command, uint8_t answer) {
    return (answer & 0xFC) == (command & 0xFC) && ((answer & 1) == ((answer >> 1) & 1));
}

// Reset answers: 110 vvv rr.
constexpr uint8_t kRevision = 3; // DS2480B
enum ResetCode : uint8_t { kShorted = 0, kPresence = 1, kAlarmingPresence = 2, kNoPresence = 3 };
constexpr uint8_t ResetAnswer(ResetCode code) {
    return static_cast<uint8_t>(0xC0 | (kRevision << 2) | code);
}
constexpr bool IsResetAnswer(uint8_t answer) {
    return (answer & 0xE0) == 0xC0;
}

// Configuration parameters and the value codes used here.
enum Parameter : uint8_t {
    kReadParameter = 0,
    kPullDownSlewRate = 1, // 000 15 V/us .. 011 1.37 V/us .. 111 0.55 V/us
    kProgrammingPulse = 2,
    kPullupDuration = 3, // 111 = until stopped
    kWrite1LowTime = 4,  // 000 8 us .. 010 10 us .. 111 15 us
    kSampleOffset = 5,   // data sample offset and write-0 recovery: 000 3 us .. 101 8 us .. 111 10 us
    kBaudRate = 7,       // 000 9600 baud
};
constexpr uint8_t kSlew1p37 = 3;
constexpr uint8_t kWrite1Low10us = 2;
constexpr uint8_t kSampleOffset8us = 5;
constexpr uint8_t kPullupUntilStopped = 7;
constexpr uint8_t kBaud9600 = 0;

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
