#pragma once
// A serial device for the 1-Wire adapter: raw, 9600 baud, 8N1, no flow control, non-blocking, every
// read with a time-out (poll), and a break. The device may vanish while open (a USB serial converter
// pulled out); reads and writes then say Lost. The modem lines (DTR, RTS), which power some adapters,
// stay up while the device is open.
#include <cstddef>
#include <cstdint>
#include <string>
#include <termios.h>

namespace platform::tmex {

class SerialPort {
public:
    enum class Status { Ok, Timeout, Lost };

    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens and sets up the device; false with the reason in `error`.
    bool Open(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Holds the line low for longer than a character at 9600 baud: a 0x00 sent at 1200 baud (the start
    // bit and eight zeros, 7.5 ms low), which every UART and USB converter can send (not all of them
    // hold a break of their own); then 9600 baud again.
    Status Break();
    // Drops what came in and was not read yet (stale answers, line noise).
    Status DiscardInput();
    Status Write(const uint8_t* bytes, std::size_t count);
    // Reads `count` bytes, waiting at most `gapMs` for each; `got` tells how many came.
    Status Read(uint8_t* bytes, std::size_t count, int gapMs, std::size_t& got);
    // Why the last call said Lost.
    const std::string& LostReason() const { return lostReason_; }

    // Waits without spinning (the settling times of the adapter).
    static void Pause(int ms);

private:
    Status LostBy(const std::string& reason);
    bool SetSpeed(speed_t speed);

    int fd_ = -1;
    std::string lostReason_;
};

} // namespace platform::tmex
