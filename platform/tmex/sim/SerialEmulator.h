#pragma once
// A DS2480B serial adapter on a pseudo-terminal, in front of a simulated net: the serial backend (or
// any program) opens the terminal's device like a serial port and finds the adapter there.
//
// A thread of its own serves the terminal: it reads the host's bytes, hands them to a DS2480Chip and
// writes the answers, and ends the chip's timed pulses when their time is over.
//
// A break: a pseudo-terminal carries no line condition (a break asked of it is lost), but it tells the
// other side, in packet mode with EXTPROC, of every change of the line settings, before the bytes that
// were written after the change. The serial port sends its break as a 0x00 at a low baud rate, which
// holds the line low for longer than a character (SerialPort::Break); so a 0x00 that is the first byte
// after a change of the host's line settings is a break here. Emptying the queues (tcflush) is not.
//
// While the host waits for its answers the emulator works; while it does not, the emulator waits for
// bytes: the two never touch the net (or a simulated clock the net advances) at the same time. A test
// changes the net only through WithNet, which waits until the emulator is between bytes.
//
// Paced (a baud rate given), each byte takes its ten bits of line time in each direction, and each
// answer comes after the 1-Wire slots of its command at standard speed and after the answer before it.
//
// Faults: the next answer (of one kind, or any) dropped or sent garbled; the chip's own variants and
// faults (WithChip); a power cut of the chip, timed on the emulator's clock (CutPower); the device
// vanishing (the terminal closed; the link removed) and coming back (a new terminal behind the same
// link); the latency of a USB serial converter, which holds what it received for up to 16 ms (its
// latency timer) before the host can read it, in order.
#include "platform/tmex/Backend.h"
#include "platform/tmex/sim/DS2480Chip.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace platform::tmex::sim {

class SerialEmulator {
public:
    struct Options {
        // A symbolic link kept pointing at the terminal's device (empty: none).
        std::string linkPath;
        // Paces the line at this baud rate; 0 answers at once.
        uint32_t baud = 0;
    };

    SerialEmulator(std::shared_ptr<Backend> net, Options options);
    ~SerialEmulator();
    SerialEmulator(const SerialEmulator&) = delete;
    SerialEmulator& operator=(const SerialEmulator&) = delete;

    // Opens the terminal and starts serving it; false with the reason.
    bool Start(std::string& error);
    void Stop();
    // Paces the line at a baud rate from now on (0: answers at once).
    void SetBaud(uint32_t baud);
    // The terminal's device (/dev/pts/N), or the link when there is one.
    std::string DevicePath() const;

    // Runs f on the net, or on the chip, while the emulator is between bytes.
    void WithNet(const std::function<void(Backend&)>& f);
    void WithChip(const std::function<void(DS2480Chip&)>& f);

    // --- faults ---
    using Kind = DS2480Chip::Kind;
    void DropNextAnswer(std::optional<Kind> kind = std::nullopt);
    void GarbleNextAnswer(std::optional<Kind> kind = std::nullopt);
    // Every answer reaches the host `ms` after the chip gave it (0: at once).
    void SetLatencyMs(int ms);
    // The chip loses its power now and is back `lengthUs` later (DS2480Chip::CutPower).
    void CutPower(int64_t lengthUs, uint64_t seed);
    // The device vanishes: the terminal closes (the host sees a hang-up) and the link goes.
    void ClosePort();
    // A new terminal behind the same link; false with the reason.
    bool ReopenPort(std::string& error);

    // --- counters ---
    uint64_t BytesIn() const { return bytesIn_; }
    uint64_t BytesOut() const { return bytesOut_; }
    uint64_t Breaks() const { return breaks_; }
    // The chip's 1-Wire slots (resets, bytes, single bits) since the start.
    uint64_t Resets() const;
    uint64_t Bytes() const;
    uint64_t Bits() const;

private:
    bool OpenTerminal(std::string& error);
    void CloseTerminal();
    void Run();
    void Serve(const uint8_t* bytes, std::size_t count);
    void EndTimedPulse();
    void Send(const std::vector<DS2480Chip::Answer>& answers, int64_t readyNs);
    // Writes the held answers whose time has come.
    void WriteHeld();
    int PollTimeoutMs();
    bool Faulted(const DS2480Chip::Answer& answer, uint8_t& byte);
    void RunOnThread(std::function<void()> task);
    void Wake();

    std::shared_ptr<Backend> net_;
    Options options_;
    DS2480Chip chip_;
    int master_ = -1;
    int slave_ = -1; // held open so the master never sees a hang-up between the host's opens
    int wake_ = -1;  // eventfd: stop, or a task waiting
    std::string devicePath_;
    std::thread thread_;
    std::atomic<bool> stop_{false};

    mutable std::mutex mutex_; // the chip and the net
    std::mutex tasksMutex_;
    std::condition_variable tasksDone_;
    std::deque<std::function<void()>> tasks_;
    uint64_t tasksRun_ = 0;

    struct Fault {
        bool drop;
        std::optional<Kind> kind;
    };
    std::deque<Fault> faults_;

    // Pacing: when the line towards the chip and the one back are next free.
    int64_t inFreeNs_ = 0;
    int64_t outFreeNs_ = 0;
    // The converter's latency and the answers it holds, in order, with the time each may go.
    int64_t latencyNs_ = 0;
    std::deque<std::pair<int64_t, uint8_t>> held_;
    // The host changed its line settings since its last byte (the next 0x00 is a break).
    bool lineSettingsChanged_ = false;

    std::atomic<uint64_t> bytesIn_{0}, bytesOut_{0}, breaks_{0};
};

} // namespace platform::tmex::sim
