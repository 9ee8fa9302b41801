#include "platform/tmex/sim/SerialEmulator.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace platform::tmex::sim {

namespace {

using SteadyClock = std::chrono::steady_clock;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now().time_since_epoch())
        .count();
}

void SleepUntilNs(int64_t ns) {
    std::this_thread::sleep_until(SteadyClock::time_point(std::chrono::nanoseconds(ns)));
}

// The 1-Wire slots behind an answer at standard speed (what the chip does before it can answer).
int64_t SlotNs(DS2480Chip::Kind kind) {
    switch (kind) {
    case DS2480Chip::Kind::Reset:
        return 1'000'000;
    case DS2480Chip::Kind::Data:
        return 8 * 70'000;
    case DS2480Chip::Kind::Bit:
        return 70'000;
    case DS2480Chip::Kind::Search:
        return 12 * 70'000;
    default:
        return 0;
    }
}

bool WriteAll(int fd, const uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 1000) <= 0) return false; // nobody reads: the answers are lost
    }
    return true;
}

} // namespace

SerialEmulator::SerialEmulator(std::shared_ptr<Backend> net, Options options)
    : net_(std::move(net)), options_(std::move(options)), chip_(*net_) {}

SerialEmulator::~SerialEmulator() {
    Stop();
}

bool SerialEmulator::Start(std::string& error) {
    if (thread_.joinable()) return true;
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    if (!OpenTerminal(error)) return false;
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void SerialEmulator::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        Wake();
        thread_.join();
    }
    CloseTerminal();
    if (wake_ >= 0) ::close(wake_);
    wake_ = -1;
}

std::string SerialEmulator::DevicePath() const {
    return options_.linkPath.empty() ? devicePath_ : options_.linkPath;
}

bool SerialEmulator::OpenTerminal(std::string& error) {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = std::string("posix_openpt: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    int packet = 1;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0 ||
        ::ioctl(master, TIOCPKT, &packet) != 0) {
        error = std::string("pseudo-terminal set-up: ") + std::strerror(errno);
        ::close(master);
        return false;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave < 0 || ::tcgetattr(slave, &tio) != 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        if (slave >= 0) ::close(slave);
        ::close(master);
        return false;
    }
    ::cfmakeraw(&tio);      // no echo of the answers back to the emulator, before the host sets it up
    tio.c_lflag |= EXTPROC; // changes of the host's line settings are told in packet mode
    ::tcsetattr(slave, TCSANOW, &tio);
    if (!options_.linkPath.empty()) {
        std::string temporary = options_.linkPath + ".new";
        ::unlink(temporary.c_str());
        if (::symlink(name, temporary.c_str()) != 0 ||
            ::rename(temporary.c_str(), options_.linkPath.c_str()) != 0) {
            error = "cannot link " + options_.linkPath + ": " + std::strerror(errno);
            ::close(slave);
            ::close(master);
            return false;
        }
    }
    std::lock_guard lock(mutex_);
    master_ = master;
    slave_ = slave;
    devicePath_ = name;
    chip_.Break();
    lineSettingsChanged_ = false;
    return true;
}

void SerialEmulator::CloseTerminal() {
    std::lock_guard lock(mutex_);
    if (master_ < 0) return;
    ::close(master_);
    ::close(slave_);
    master_ = slave_ = -1;
    held_.clear();
    if (!options_.linkPath.empty()) ::unlink(options_.linkPath.c_str());
}

void SerialEmulator::Wake() {
    uint64_t one = 1;
    if (wake_ >= 0) (void)!::write(wake_, &one, sizeof one);
}

void SerialEmulator::RunOnThread(std::function<void()> task) {
    if (!thread_.joinable()) {
        task();
        return;
    }
    std::unique_lock lock(tasksMutex_);
    tasks_.push_back(std::move(task));
    uint64_t ticket = tasksRun_ + tasks_.size();
    Wake();
    tasksDone_.wait(lock, [&] { return tasksRun_ >= ticket; });
}

int SerialEmulator::PollTimeoutMs() {
    std::lock_guard lock(mutex_);
    std::optional<int64_t> end = chip_.PulseEndUs();
    if (auto back = chip_.PowerBackUs()) end = std::min(end.value_or(INT64_MAX), *back);
    if (!held_.empty()) end = std::min(end.value_or(INT64_MAX), held_.front().first / 1000);
    if (!end) return -1;
    int64_t waitUs = *end - NowNs() / 1000;
    return waitUs <= 0 ? 0 : static_cast<int>((waitUs + 999) / 1000);
}

void SerialEmulator::WriteHeld() {
    std::lock_guard lock(mutex_);
    const int64_t now = NowNs();
    std::vector<uint8_t> out;
    while (!held_.empty() && held_.front().first <= now) {
        out.push_back(held_.front().second);
        held_.pop_front();
    }
    if (!out.empty() && master_ >= 0 && WriteAll(master_, out.data(), out.size())) bytesOut_ += out.size();
}

void SerialEmulator::EndTimedPulse() {
    std::lock_guard lock(mutex_);
    std::vector<DS2480Chip::Answer> answers;
    chip_.Advance(NowNs() / 1000, answers);
    Send(answers, NowNs());
}

void SerialEmulator::Run() {
    std::vector<uint8_t> buffer(4096);
    while (!stop_) {
        pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, POLLIN, 0}};
        int r = ::poll(fds, master_ >= 0 ? 2 : 1, PollTimeoutMs());
        if (r < 0 && errno != EINTR) break;
        WriteHeld();
        if (r == 0) {
            EndTimedPulse();
            continue;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            (void)!::read(wake_, &count, sizeof count);
            std::unique_lock lock(tasksMutex_);
            while (!tasks_.empty()) {
                auto task = std::move(tasks_.front());
                tasks_.pop_front();
                lock.unlock();
                task();
                lock.lock();
                ++tasksRun_;
            }
            tasksDone_.notify_all();
            continue;
        }
        if (master_ < 0 || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        ssize_t n = ::read(master_, buffer.data(), buffer.size());
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            ::poll(nullptr, 0, 10); // the terminal is in a state we cannot read: do not spin
            continue;
        }
        if (buffer[0] == TIOCPKT_DATA) {
            Serve(buffer.data() + 1, static_cast<std::size_t>(n - 1));
        } else if (buffer[0] & TIOCPKT_IOCTL) {
            std::lock_guard lock(mutex_);
            lineSettingsChanged_ = true;
        }
    }
}

bool SerialEmulator::Faulted(const DS2480Chip::Answer& answer, uint8_t& byte) {
    byte = answer.byte;
    if (faults_.empty()) return false;
    const Fault& fault = faults_.front();
    if (fault.kind && *fault.kind != answer.kind) return false;
    bool drop = fault.drop;
    faults_.pop_front();
    if (drop) return true;
    byte = static_cast<uint8_t>(answer.byte ^ 0xA5);
    return false;
}

void SerialEmulator::Serve(const uint8_t* bytes, std::size_t count) {
    std::lock_guard lock(mutex_);
    bytesIn_ += count;
    const int64_t byteNs = options_.baud ? 10'000'000'000LL / options_.baud : 0;
    const int64_t readNs = NowNs();
    std::vector<DS2480Chip::Answer> answers;
    for (std::size_t i = 0; i < count; ++i) {
        // The byte is whole at the chip one byte time after the line towards it was free.
        int64_t arrival = readNs;
        if (byteNs) {
            arrival = std::max(readNs, inFreeNs_) + byteNs;
            inFreeNs_ = arrival;
            SleepUntilNs(arrival);
        }
        const bool afterLineChange = lineSettingsChanged_;
        lineSettingsChanged_ = false;
        if (afterLineChange && bytes[i] == 0x00) {
            answers.clear();
            chip_.Advance(arrival / 1000, answers); // a chip whose power is back by now takes the break
            Send(answers, arrival);
            chip_.Break();
            ++breaks_;
            inFreeNs_ = outFreeNs_ = 0;
            continue;
        }
        answers.clear();
        chip_.Receive(bytes[i], arrival / 1000, answers);
        Send(answers, arrival);
    }
}

// Writes the answers of what the chip did at readyNs; paced, each after its command's 1-Wire slots and
// the answer before it, one byte time each; with a latency, held until their time.
void SerialEmulator::Send(const std::vector<DS2480Chip::Answer>& answers, int64_t readyNs) {
    const int64_t byteNs = options_.baud ? 10'000'000'000LL / options_.baud : 0;
    std::vector<uint8_t> out;
    for (const auto& answer : answers) {
        uint8_t byte;
        if (Faulted(answer, byte)) continue;
        int64_t sent = readyNs;
        if (byteNs) {
            sent = std::max(readyNs + SlotNs(answer.kind), outFreeNs_) + byteNs;
            outFreeNs_ = sent;
        }
        if (latencyNs_ || !held_.empty()) { // in order, behind what the converter still holds
            held_.emplace_back(std::max(sent + latencyNs_, held_.empty() ? 0 : held_.back().first), byte);
            continue;
        }
        if (!byteNs) {
            out.push_back(byte);
            continue;
        }
        SleepUntilNs(sent);
        if (WriteAll(master_, &byte, 1)) ++bytesOut_;
    }
    if (!out.empty() && WriteAll(master_, out.data(), out.size())) bytesOut_ += out.size();
}

void SerialEmulator::SetLatencyMs(int ms) {
    std::lock_guard lock(mutex_);
    latencyNs_ = static_cast<int64_t>(ms) * 1'000'000;
}

void SerialEmulator::CutPower(int64_t lengthUs, uint64_t seed) {
    std::lock_guard lock(mutex_);
    chip_.CutPower(NowNs() / 1000, lengthUs, seed);
    Wake(); // the thread's wait ends when the power is back
}

void SerialEmulator::SetBaud(uint32_t baud) {
    std::lock_guard lock(mutex_);
    options_.baud = baud;
    inFreeNs_ = outFreeNs_ = 0;
}

void SerialEmulator::WithNet(const std::function<void(Backend&)>& f) {
    std::lock_guard lock(mutex_);
    f(*net_);
}

void SerialEmulator::WithChip(const std::function<void(DS2480Chip&)>& f) {
    std::lock_guard lock(mutex_);
    f(chip_);
}

void SerialEmulator::DropNextAnswer(std::optional<Kind> kind) {
    std::lock_guard lock(mutex_);
    faults_.push_back({true, kind});
}

void SerialEmulator::GarbleNextAnswer(std::optional<Kind> kind) {
    std::lock_guard lock(mutex_);
    faults_.push_back({false, kind});
}

void SerialEmulator::ClosePort() {
    RunOnThread([this] { CloseTerminal(); });
}

bool SerialEmulator::ReopenPort(std::string& error) {
    bool ok = false;
    RunOnThread([&] { ok = OpenTerminal(error); });
    return ok;
}

uint64_t SerialEmulator::Resets() const {
    std::lock_guard lock(mutex_);
    return chip_.Resets();
}
uint64_t SerialEmulator::Bytes() const {
    std::lock_guard lock(mutex_);
    return chip_.Bytes();
}
uint64_t SerialEmulator::Bits() const {
    std::lock_guard lock(mutex_);
    return chip_.Bits();
}

} // namespace platform::tmex::sim
