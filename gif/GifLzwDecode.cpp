// LZW decoder - the image data block into the frame's pixel buffer, plain or interlaced,
// tolerant of short or damaged data: a code above the next free code is damaged data and the string stack
// is bounded; the bit reader has zeroed spare bytes and takes the last byte from the bytes actually read;
// a minimum code size above 8 is refused.
#include <cstring>
#include <vector>

#include "gif/GifItems.h"

namespace gif {

namespace {

constexpr int kMaxCodes = 4096;
constexpr int kStackSize = 8192;

class LzwDecoder {
public:
    LzwDecoder(TStream& s, int initCodeSize, TGIFSubImage& frame)
        : s_(s), frame_(frame), initCodeSize_(initCodeSize), prefix_(kMaxCodes), suffix_(kMaxCodes),
          stack_(kStackSize) {
        codeSize_ = initCodeSize + 1;
        clearCode_ = 1 << initCodeSize;
        endCode_ = clearCode_ + 1;
        maxCodeSize_ = 2 * clearCode_;
        maxCode_ = clearCode_ + 2;
    }

    // The next pixel value; -1 for a failed read or damaged data, -2 for the end code.
    int NextValue() {
        if (sp_ > 0) return stack_[static_cast<size_t>(--sp_)];
        int code = GetCode();
        if (code < 0) return -1;
        if (code == clearCode_) {
            for (int i = 0; i < kMaxCodes; ++i) {
                prefix_[static_cast<size_t>(i)] = 0;
                suffix_[static_cast<size_t>(i)] = i < clearCode_ ? i : 0;
            }
            codeSize_ = initCodeSize_ + 1;
            maxCodeSize_ = 2 * clearCode_;
            maxCode_ = clearCode_ + 2;
            sp_ = 0;
            do {
                code = GetCode();
            } while (code == clearCode_);
            if (code < 0) return -1;
            if (code == endCode_) return EndCode();
            if (code > clearCode_) return Damaged();
            firstCode_ = oldCode_ = code;
            return code;
        }
        if (code == endCode_) return EndCode();
        int inCode = code;
        if (code > maxCode_) return Damaged();
        if (code == maxCode_) {
            if (!Push(firstCode_)) return Damaged();
            code = oldCode_;
        }
        while (code >= clearCode_) {
            if (!Push(suffix_[static_cast<size_t>(code)])) return Damaged();
            if (prefix_[static_cast<size_t>(code)] == code)
                throw GIFException("Circular decoder table entry");
            code = prefix_[static_cast<size_t>(code)];
        }
        firstCode_ = suffix_[static_cast<size_t>(code)];
        if (!Push(firstCode_)) return Damaged();
        if (maxCode_ < kMaxCodes) {
            prefix_[static_cast<size_t>(maxCode_)] = oldCode_;
            suffix_[static_cast<size_t>(maxCode_)] = firstCode_;
            ++maxCode_;
            if (maxCode_ >= maxCodeSize_ && maxCodeSize_ < kMaxCodes) {
                maxCodeSize_ *= 2;
                ++codeSize_;
            }
        }
        oldCode_ = inCode;
        return stack_[static_cast<size_t>(--sp_)];
    }

    // Skips the remaining sub-blocks up to and including the zero-length one.
    void SkipRest() {
        if (done_) return;
        done_ = true;
        uint8_t buf[255];
        for (;;) {
            int n = ReadByte(s_);
            if (n <= 0) return;
            if (s_.Read(buf, static_cast<size_t>(n)) < static_cast<size_t>(n)) return;
        }
    }

private:
    int EndCode() {
        SkipRest();
        return -2;
    }
    int Damaged() {
        frame_.Warning(gsWarning, "Invalid GIF data");
        return -1;
    }
    bool Push(int v) {
        if (sp_ >= kStackSize) return false;
        stack_[static_cast<size_t>(sp_++)] = v;
        return true;
    }

    int GetCode() {
        if (fresh_) {
            fresh_ = false;
            return clearCode_;
        }
        while (curBit_ + codeSize_ > lastBit_) {
            if (done_) {
                if (curBit_ >= lastBit_) frame_.Warning(gsWarning, "Decoder bit buffer under-run");
                return -1;
            }
            buf_[0] = buf_[static_cast<size_t>(lastByte_ - 2)];
            buf_[1] = buf_[static_cast<size_t>(lastByte_ - 1)];
            int count = ReadByte(s_);
            if (count < 0) {
                done_ = true;
                return -1;
            }
            size_t got = 0;
            if (count == 0) {
                done_ = true;
                zeroBlock_ = true;
            } else {
                got = s_.Read(buf_ + 2, static_cast<size_t>(count));
                if (got < static_cast<size_t>(count)) frame_.Warning(gsWarning, "Premature end of data");
            }
            std::memset(buf_ + 2 + got, 0, sizeof(buf_) - 2 - got);
            lastByte_ = 2 + static_cast<int>(got);
            curBit_ = curBit_ - lastBit_ + 16;
            lastBit_ = (2 + static_cast<int>(got)) * 8;
            if (got == 0 && count > 0) {
                done_ = true; // nothing more can come
            }
        }
        size_t idx = static_cast<size_t>(curBit_ >> 3);
        uint32_t v = static_cast<uint32_t>(buf_[idx]) | static_cast<uint32_t>(buf_[idx + 1]) << 8 |
                     static_cast<uint32_t>(buf_[idx + 2]) << 16;
        int code = static_cast<int>((v >> (curBit_ & 7)) & ((1u << codeSize_) - 1));
        curBit_ += codeSize_;
        return code;
    }

    TStream& s_;
    TGIFSubImage& frame_;
    int initCodeSize_;
    int codeSize_, clearCode_, endCode_, maxCodeSize_, maxCode_;
    int firstCode_ = 0, oldCode_ = 0;
    std::vector<int> prefix_, suffix_, stack_;
    int sp_ = 0;
    uint8_t buf_[2 + 255 + 2] = {}; // two carried bytes, one sub-block, two zeroed spare bytes
    int curBit_ = 0, lastBit_ = 0, lastByte_ = 2;
    bool fresh_ = true, done_ = false, zeroBlock_ = false;
};

} // namespace

void TGIFSubImage::Decompress(TStream& stream) {
    NewImage();
    uint8_t fill = (Transparent && GraphicControlExtension) ? GraphicControlExtension->TransparentIndex : 0;
    if (!data_.empty()) std::memset(data_.data(), fill, data_.size());
    int initCodeSize = ReadByte(stream);
    if (initCodeSize < 0) return;
    if (initCodeSize > 8) throw GIFException("Invalid GIF data");
    LzwDecoder dec(stream, initCodeSize, *this);
    bool complete = true;
    if (!Interlaced()) {
        size_t n = data_.size();
        for (size_t i = 0; i < n; ++i) {
            int v = dec.NextValue();
            if (v < 0) {
                complete = false;
                break;
            }
            data_[i] = static_cast<uint8_t>(v);
        }
    } else {
        int row = 0, step = 8, pass = 0;
        for (int r = 0; r < height_ && complete; ++r) {
            uint8_t* line = data_.data() + static_cast<size_t>(row) * static_cast<size_t>(width_);
            for (int x = 0; x < width_; ++x) {
                int v = dec.NextValue();
                if (v < 0) {
                    complete = false;
                    break;
                }
                line[x] = static_cast<uint8_t>(v);
            }
            row += step;
            while (row >= height_ && pass < 3) {
                ++pass;
                if (pass == 1) {
                    row = 4;
                    step = 8;
                } else if (pass == 2) {
                    row = 2;
                    step = 4;
                } else {
                    row = 1;
                    step = 2;
                }
            }
        }
    }
    if (complete) dec.NextValue(); // consumes the end code and what follows
    dec.SkipRest();                // keeps the stream in step after damaged or surplus data
    FreeBitmap();
}

} // namespace gif
