#pragma once
// One block of the socket's send chain: bytes are written at the write mark and consumed from the read
// mark; the block is reused from its start only once everything written has been consumed.
#include <cstdint>
#include <vector>

namespace net {

class TBuffer {
public:
    explicit TBuffer(int size);
    // A size of 0 or less means 1514 bytes.
    void SetBufSize(int size);
    int Size() const { return static_cast<int>(block_.size()); }
    int Write(const void* data, int length);
    int Read(void* buffer, int length);
    // The first waiting byte and how many wait; null and 0 when empty.
    const uint8_t* Peek(int& length) const;
    int Remove(int length);
    int Waiting() const { return writeMark_ - readMark_; }

private:
    void Consumed();
    std::vector<uint8_t> block_;
    int writeMark_ = 0;
    int readMark_ = 0;
};

} // namespace net
