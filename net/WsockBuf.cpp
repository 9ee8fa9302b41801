#include "net/WsockBuf.h"

#include <algorithm>
#include <cstring>

namespace net {

TBuffer::TBuffer(int size) {
    SetBufSize(size);
}

void TBuffer::SetBufSize(int size) {
    if (size <= 0) size = 1514;
    if (size == Size()) return;
    std::vector<uint8_t> block(static_cast<size_t>(size));
    if (Waiting() > 0) {
        // Keep the written bytes; a smaller block keeps what fits.
        writeMark_ = std::min(writeMark_, size);
        readMark_ = std::min(readMark_, writeMark_);
        std::memcpy(block.data(), block_.data(), static_cast<size_t>(writeMark_));
    } else {
        writeMark_ = readMark_ = 0;
    }
    block_ = std::move(block);
}

int TBuffer::Write(const void* data, int length) {
    int count = std::max(0, std::min(Size() - writeMark_, length));
    if (count > 0) std::memcpy(block_.data() + writeMark_, data, static_cast<size_t>(count));
    writeMark_ += count;
    return count;
}

int TBuffer::Read(void* buffer, int length) {
    int count = std::max(0, std::min(length, Waiting()));
    if (count > 0) std::memcpy(buffer, block_.data() + readMark_, static_cast<size_t>(count));
    readMark_ += count;
    Consumed();
    return count;
}

const uint8_t* TBuffer::Peek(int& length) const {
    length = Waiting();
    return length > 0 ? block_.data() + readMark_ : nullptr;
}

int TBuffer::Remove(int length) {
    int count = std::max(0, std::min(length, Waiting()));
    readMark_ += count;
    Consumed();
    return count;
}

void TBuffer::Consumed() {
    if (readMark_ >= writeMark_) readMark_ = writeMark_ = 0;
}

} // namespace net
