#pragma once
// The serial port type (kPortTypeDS2480): a DS2480B serial 1-Wire line driver on a serial port or a USB
// serial converter, in the byte protocol of DS2480.h, at standard speed.
//
// The port's device comes from the driver settings file ([DS2480] 1=/dev/ttyUSB0) when a session opens
// and the port is not open yet: the device is opened at 9600 baud 8N1, the chip reset by a break, sent
// its timing byte, configured (pull-down slew rate, write-1 low time, sample offset, pull-up duration)
// and its baud rate checked, each answer compared with what the chip must answer. When any step fails
// the port has no adapter (sessions open, setup fails, nothing answers) and the log says why once.
//
// Each exchange waits for its answers with a time-out. A lost or garbled answer resynchronises the chip
// (break, timing byte, configuration) and the exchange is tried once more; a device that vanishes (a
// USB converter pulled out) is lost until a later session opens it again. Each of these events is one
// line in the driver log (DriverLog).
#include "platform/tmex/Backend.h"
#include "platform/tmex/SerialPort.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::tmex {

class DS2480Backend : public Backend {
public:
    explicit DS2480Backend(int16_t portNum);
    ~DS2480Backend() override;

    std::string TypeVersion() const override;
    int32_t OpenSession() override;
    int16_t Setup() override;
    int16_t Reset() override;
    int16_t TouchByte(uint8_t byte) override;
    int16_t TouchBit(uint8_t bit) override;
    int16_t Level(int16_t operation, int16_t level, int16_t prime) override;
    int16_t LineParameters(TMLine& block) override;
    int16_t TouchBlock(uint8_t* bytes, int16_t length) override;
    int16_t SearchBits(const RomBytes& directions, RomBytes& rom, RomBytes& forks) override;

    bool Ready() const { return ready_; }
    // Bytes written to and read from the serial line since the backend was made.
    uint64_t BytesWritten() const { return written_; }
    uint64_t BytesRead() const { return read_; }

    // How long an answer byte may keep the backend waiting.
    static constexpr int kAnswerTimeoutMs = 100;

private:
    class Packet;
    using Build = std::function<void(Packet&)>;
    using Check = std::function<bool(const std::vector<uint8_t>&)>;

    void TryOpen();
    bool Detect(std::string& reason);
    int16_t Exchange(const std::string& what, const Build& build, const Check& check,
                     std::vector<uint8_t>& answer);
    void PortLost(const std::string& reason);
    int16_t StopPullup();
    int16_t DataBytes(uint8_t* bytes, int16_t length, bool arm);
    void Say(const std::string& text);
    void Problem(const std::string& text);

    int16_t portNum_;
    SerialPort port_;
    std::string path_;
    bool ready_ = false;
    bool dataMode_ = false;
    bool accelerator_ = true;
    bool pullupActive_ = false;
    bool armByte_ = false;
    bool armBit_ = false;
    bool shorted_ = false;
    uint8_t slew_, write1Low_, sampleOffset_;
    std::string problem_;
    uint64_t written_ = 0;
    uint64_t read_ = 0;
};

// Registers the serial port type with the driver: every port number gets a DS2480Backend.
void RegisterSerialPortType();

} // namespace platform::tmex
