#pragma once
// The serial port type (kPortTypeDS2480): a DS2480B serial 1-Wire line driver on a serial port or a USB
// serial converter, in the byte protocol of DS2480.h.
//
// Finding the adapter. The port's device comes from the driver settings file ([DS2480] 1=/dev/ttyUSB0).
// It is opened at 9600 baud 8N1 and kept open (closing it would drop DTR and RTS, which power some
// adapters). Detection: a break, the timing byte, a pause, whatever came in meanwhile dropped (an answer
// to the timing byte, line noise), then the configuration (pull-down slew rate, write-1 low time, sample
// offset, a strong pull-up that lasts until ended), a read of the baud rate and one time slot, each
// answer checked; a stray byte that comes after the pause (held in a USB serial converter) is skipped
// before the first answer. Three detections fail before the port has no
// adapter (sessions open, setup fails, nothing answers) and the log says why, once for the whole
// outage. Setup tries again; a session opens the device again after it vanished.
//
// Speed. Every slot runs at the chip's flexible speed: standard-speed slots whose pull-down slew rate,
// write-1 low time and sample offset are the configured ones, so that the line parameters (ordinal 28,
// the station's [TMEX] keys) act on the line; at the chip's regular speed they would not.
//
// Strong pull-up (ordinal 33). "After the next byte": the byte goes as eight time slots in command mode,
// the last with the strong pull-up flag; each answer is checked and the byte read back is made of them.
// "After the next bit": the bit's slot carries the flag. "Now": a pulse command without its arm bit. The
// pull-up lasts until the pulse termination (0xF1), which the next call sends before anything else. The
// termination is confirmed only by the 5 V pulse's own answer and, read back after it, the pull-up
// duration set at detection: a chip that lost its power inside the pulse has lost that setting, and is
// resynchronised (the call fails, so a conversion under that pull-up is not taken).
//
// Exchanges. Each exchange writes its bytes and reads its answers with a time-out per byte. A lost or
// garbled answer resynchronises the chip (break and detection). Only an exchange that begins with a
// 1-Wire reset is then tried once more: any other returns its error, so that the caller starts over
// from a reset (the break reset the adapter, not the devices in the middle of their transaction). A run
// of resynchronisations is one line in the driver log (DriverLog), with its count; a device that
// vanishes (a USB converter pulled out) is one line too.
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
    bool AdapterAnswers() const override { return ready_; }
    // Bytes written to and read from the serial line since the backend was made.
    uint64_t BytesWritten() const { return written_; }
    uint64_t BytesRead() const { return read_; }

    // How long an answer byte may keep the backend waiting: the chip answers within a few byte times.
    // An emulator on a loaded machine can take longer; its tests give it more (ResetDriver restores it).
    static constexpr int kAnswerTimeoutMs = 100;
    static void SetAnswerTimeoutMs(int ms) { answerTimeoutMs_ = ms; }
    // Detections tried before the port has no adapter.
    static constexpr int kDetections = 3;

private:
    static inline int answerTimeoutMs_ = kAnswerTimeoutMs;

    class Packet;
    using Build = std::function<void(Packet&)>;

    void TryOpen();
    bool DetectWithRetries(std::string& reason);
    bool Detect(std::string& reason);
    int16_t Exchange(const std::string& what, const Build& build, std::vector<uint8_t>& answer);
    bool Resynchronise(const std::string& fault);
    void EndResyncRun();
    void PortLost(const std::string& reason);
    int16_t EndPullup();
    int16_t DataBytes(uint8_t* bytes, int16_t length);
    int16_t ByteWithPullup(uint8_t& byte);
    void Say(const std::string& text);
    // Logs a problem unless it is the one told last (by its kind, else by its text).
    void Problem(const std::string& text, const std::string& kind = {});
    // The kind of problem of an adapter that does not answer on the open device.
    std::string Silent() const;

    int16_t portNum_;
    SerialPort port_;
    std::string path_;
    bool ready_ = false;
    bool dataMode_ = false;
    bool accelerator_ = true;
    bool pullup_ = false;
    bool armByte_ = false;
    bool armBit_ = false;
    bool shorted_ = false;
    uint8_t slew_, write1Low_, sampleOffset_;
    std::string problem_;
    int resyncs_ = 0; // in the current run
    std::string firstFault_;
    uint64_t written_ = 0;
    uint64_t read_ = 0;
};

// Registers the serial port type with the driver: every port number gets a DS2480Backend.
void RegisterSerialPortType();

} // namespace platform::tmex
