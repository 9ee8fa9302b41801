#pragma once
// The DS2450's conversion exchange, one for every reader of the chip (the plain converter, the wind
// vane), in four steps on the open session:
//   1. select; Write Memory 0x55 at 0x0008: the two control bytes of each channel, each answered with
//      its CRC16 and read back;
//   2. reset, select; Convert 0x3C 0x0F 0x00 (all four inputs, no preset), its CRC16, the strong
//      pull-up armed before the CRC's last byte so that a chip on bus power converts on it;
//   3. polls until the chip reads 0xFF (a chip on VCC reads 0 while it converts), bounded in time and
//      in polls so that a dead line cannot hold the thread;
//   4. reset, select; Read Memory 0xAA at 0x0000: the four results and the page's CRC16; reset.
// Every CRC16 is checked (Crc16Check): a step that fails it fails the exchange and nothing read is
// taken. A pull-up the driver does not confirm fails it too: the chip never converted and its memory
// holds old results.
//
// The reader brings its way of reaching the chip (a Line) and reports the outcome its own way.
#include <cstdint>
#include <functional>

#include "platform/tmex/Tmex.h"

class DS2450Exchange {
public:
    static constexpr int kChannels = 4;
    static constexpr double kVoltsPerCount = 0.00008;
    static constexpr uint32_t kConversionTimeoutMs = 100;
    static constexpr int kConversionMaxPolls = 1000;

    // How a reader reaches its chip. `receive` gives a byte read, negative when none came.
    struct Line {
        platform::tmex::SessionHandle session = 0;
        std::function<bool()> reset;
        std::function<bool()> select;
        std::function<bool(int byte)> send;
        std::function<int()> receive;
    };

    // The channels' control bytes (resolution 1-16 bits, 16 written as 0; the 5.12 V range or the
    // 2.56 V one) and how long the conversion runs on the strong pull-up.
    struct Settings {
        int bits = 8;
        bool fiveVoltRange = true;
        uint32_t pullUpMs = 100;
    };

    // Where an exchange ended.
    enum class End {
        Done,
        LineFailed,       // a byte, a reset or the selection did not go through
        ControlCrc,       // step 1's CRC16
        ControlReadBack,  // a control byte read back wrong
        NotStarted,       // the strong pull-up was not confirmed: no conversion
        LevelNotRestored, // the line did not return to its normal level after the pull-up
        ConvertCrc,       // step 2's CRC16: the chip may have converted other inputs
        Timeout,          // step 3 never saw the end
        ResultCrc,        // step 4's CRC16
    };

    // The step whose CRC16 failed, for a log ("writing the control registers"); empty for other ends.
    static const char* CrcPart(End end);

    struct Outcome {
        End end = End::LineFailed;
        bool pullUpStarted = false; // the conversion's strong pull-up was confirmed
        int driverResult = 0;       // NotStarted: the driver's answer; Timeout: the last byte polled
        unsigned raw[kChannels] = {};

        bool Done() const { return end == End::Done; }
        bool CrcFailed() const { return *CrcPart(end) != '\0'; }
        double Volts(int channel) const { return raw[channel] * kVoltsPerCount; }
    };

    static Outcome Run(const Line& line, const Settings& settings);
};
