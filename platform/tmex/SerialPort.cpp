#include "platform/tmex/SerialPort.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform::tmex {

namespace {
// The 0x00 of a break takes 7.5 ms at 1200 baud; a USB converter reports it sent while it still waits
// in the converter's own buffer.
constexpr int kBreakMs = 8;
constexpr int kSettleMs = 2;
constexpr int kWriteTimeoutMs = 1000;
} // namespace

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Open(const std::string& path, std::string& error) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    termios tio{};
    if (!::isatty(fd) || ::tcgetattr(fd, &tio) != 0) {
        error = "not a serial device";
        ::close(fd);
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B9600) != 0 || ::cfsetospeed(&tio, B9600) != 0 ||
        ::tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = std::string("cannot set 9600 baud 8N1: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    lostReason_.clear();
    return true;
}

void SerialPort::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void SerialPort::Pause(int ms) {
    ::poll(nullptr, 0, ms);
}

bool SerialPort::SetSpeed(speed_t speed) {
    termios tio{};
    return ::tcgetattr(fd_, &tio) == 0 && ::cfsetispeed(&tio, speed) == 0 &&
           ::cfsetospeed(&tio, speed) == 0 && ::tcsetattr(fd_, TCSANOW, &tio) == 0;
}

SerialPort::Status SerialPort::Break() {
    if (fd_ < 0) return LostBy("not open");
    ::tcdrain(fd_);
    if (!SetSpeed(B1200)) return LostBy(std::string("cannot change the baud rate: ") + std::strerror(errno));
    const uint8_t low = 0x00;
    Status status = Write(&low, 1);
    ::tcdrain(fd_); // the byte is out before the speed changes back
    Pause(kBreakMs);
    if (!SetSpeed(B9600) && status == Status::Ok)
        status = LostBy(std::string("cannot change the baud rate: ") + std::strerror(errno));
    Pause(kSettleMs);
    return status;
}

SerialPort::Status SerialPort::DiscardInput() {
    if (fd_ < 0) return LostBy("not open");
    ::tcflush(fd_, TCIFLUSH);
    uint8_t stale[64];
    std::size_t got = 0;
    Status s;
    do {
        s = Read(stale, sizeof stale, 0, got);
    } while (s == Status::Ok);
    return s == Status::Timeout ? Status::Ok : s;
}

SerialPort::Status SerialPort::LostBy(const std::string& reason) {
    lostReason_ = reason;
    return Status::Lost;
}

SerialPort::Status SerialPort::Write(const uint8_t* bytes, std::size_t count) {
    if (fd_ < 0) return LostBy("not open");
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return LostBy(std::strerror(errno));
        pollfd p{fd_, POLLOUT, 0};
        int r = ::poll(&p, 1, kWriteTimeoutMs);
        if (r == 0) return Status::Timeout;
        if (r < 0 && errno != EINTR) return LostBy(std::strerror(errno));
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return LostBy("the device hung up");
    }
    return Status::Ok;
}

SerialPort::Status SerialPort::Read(uint8_t* bytes, std::size_t count, int gapMs, std::size_t& got) {
    got = 0;
    if (fd_ < 0) return LostBy("not open");
    while (got < count) {
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, gapMs);
        if (r < 0) {
            if (errno == EINTR) continue;
            return LostBy(std::strerror(errno));
        }
        if (r == 0) return Status::Timeout;
        if (p.revents & POLLNVAL) return LostBy("the device was closed");
        ssize_t n = ::read(fd_, bytes + got, count - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) return LostBy("the device hung up");
        if (errno != EAGAIN && errno != EINTR) return LostBy(std::strerror(errno));
    }
    return Status::Ok;
}

} // namespace platform::tmex
