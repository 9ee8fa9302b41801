// LZW encoder - frame pixels into the image data block (minimum code size, LSB-first codes in
// sub-blocks of at most 255 bytes, zero terminator). LZW (gcLZW) or the run-length scheme (gcRLE).
#include <algorithm>
#include <cstring>

#include "gif/GifEncoder.h"
#include "gif/GifItems.h"

namespace gif {

// ---- sub-block writer ----

void TGIFWriter::Write(const void* buffer, size_t count) {
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    for (size_t i = 0; i < count; ++i)
        WriteByte(p[i]);
}

void TGIFWriter::Flush() {
    if (!pending_) return;
    buffer_[0] = static_cast<uint8_t>(count_ - 1);
    target_.Write(buffer_, static_cast<size_t>(count_));
    count_ = 1;
    pending_ = false;
}

// ---- encoder base ----

void TGIFEncoder::Encode(TStream& stream, int bitsPerPixel, int width, int height, bool interlace,
                         const uint8_t* data, int maxColor) {
    maxColor_ = maxColor;
    bitsPerPixel_ = std::max(2, bitsPerPixel);
    width_ = width;
    height_ = height;
    interlace_ = interlace;
    data_ = data;
    initialBitsPerCode_ = bitsPerPixel_ + 1;
    WriteByte(stream, static_cast<uint8_t>(bitsPerPixel_));
    bitsPerCode_ = initialBitsPerCode_;
    maxCode_ = (1 << bitsPerCode_) - 1;
    clearCode_ = 1 << bitsPerPixel_;
    eofCode_ = clearCode_ + 1;
    baseCode_ = eofCode_ + 1;
    outputBucket_ = 0;
    outputBits_ = 0;
    clearFlag_ = false;
    countdown_ = interlace ? width : static_cast<int64_t>(width) * height;
    row_ = 0;
    pass_ = 0;
    pixel_ = (data && width >= 1 && height >= 1) ? data : nullptr;
    TGIFWriter writer(stream);
    writer_ = &writer;
    if (pixel_) Compress();
    Output(eofCode_);
    writer.Flush();
    writer_ = nullptr;
    WriteByte(stream, 0);
}

int TGIFEncoder::TakePixel() {
    int p = *pixel_;
    if (p >= maxColor_) throw GIFException("Color not in color table");
    // Step to the next pixel of the scan.
    if (--countdown_ > 0) {
        ++pixel_;
        return p;
    }
    if (!interlace_) {
        pixel_ = nullptr;
        return p;
    }
    countdown_ = width_;
    for (;;) {
        switch (pass_) {
        case 0:
            row_ += 8;
            break;
        case 1:
            row_ += 8;
            break;
        case 2:
            row_ += 4;
            break;
        default:
            row_ += 2;
            break;
        }
        while (row_ >= height_) {
            ++pass_;
            if (pass_ == 1)
                row_ = 4;
            else if (pass_ == 2)
                row_ = 2;
            else if (pass_ == 3)
                row_ = 1;
            else {
                pixel_ = nullptr;
                return p;
            }
        }
        break;
    }
    pixel_ = data_ + static_cast<size_t>(row_) * static_cast<size_t>(width_);
    return p;
}

void TGIFEncoder::Output(int code) {
    if (outputBits_ > 0)
        outputBucket_ =
            (static_cast<uint32_t>(code) << outputBits_) | (outputBucket_ & ((1u << outputBits_) - 1));
    else
        outputBucket_ = static_cast<uint32_t>(code);
    outputBits_ += bitsPerCode_;
    while (outputBits_ >= 8) {
        writer_->WriteByte(static_cast<uint8_t>(outputBucket_));
        outputBucket_ >>= 8;
        outputBits_ -= 8;
    }
    if (code == eofCode_) {
        while (outputBits_ > 0) {
            writer_->WriteByte(static_cast<uint8_t>(outputBucket_));
            outputBucket_ >>= 8;
            outputBits_ -= 8;
        }
    }
}

void TGIFEncoder::Clear() {
    clearFlag_ = true;
    Output(clearCode_);
}

// ---- hash table ----

void THashTable::Clear() {
    std::fill(table_.begin(), table_.end(), 0xFFFFFFFFu);
}

void THashTable::Insert(uint32_t key, int code) {
    uint32_t i = (key * 2654435761u) >> 18; // 14 bits: kSize = 16384
    while (table_[i] != 0xFFFFFFFFu)
        i = (i + 1) & (kSize - 1);
    table_[i] = (key << 12) | (static_cast<uint32_t>(code) & 0xFFF);
}

int THashTable::Lookup(uint32_t key) const {
    uint32_t i = (key * 2654435761u) >> 18; // 14 bits: kSize = 16384
    uint32_t k = key << 12;
    for (;;) {
        uint32_t e = table_[i];
        if (e == 0xFFFFFFFFu) return -1;
        if ((e & 0xFFFFF000u) == k) return static_cast<int>(e & 0xFFF);
        i = (i + 1) & (kSize - 1);
    }
}

// ---- LZW ----

void TLZWEncoder::Output(int code) {
    TGIFEncoder::Output(code);
    if (freeEntry_ > maxCode_ || clearFlag_) {
        if (clearFlag_) {
            bitsPerCode_ = initialBitsPerCode_;
            maxCode_ = (1 << bitsPerCode_) - 1;
            clearFlag_ = false;
        } else {
            ++bitsPerCode_;
            maxCode_ = bitsPerCode_ == 12 ? 4096 : (1 << bitsPerCode_) - 1;
        }
    }
}

void TLZWEncoder::Clear() {
    TGIFEncoder::Clear();
    hash_.Clear();
    freeEntry_ = clearCode_ + 2;
}

void TLZWEncoder::Compress() {
    freeEntry_ = clearCode_ + 2;
    Clear();
    prefix_ = TakePixel();
    while (HasPixel()) {
        int c = TakePixel();
        uint32_t key = (static_cast<uint32_t>(prefix_) << 8) | static_cast<uint32_t>(c);
        int code = hash_.Lookup(key);
        if (code >= 0) {
            prefix_ = code;
            continue;
        }
        Output(prefix_);
        prefix_ = c;
        if (freeEntry_ >= 4095) {
            Clear();
        } else {
            hash_.Insert(key, freeEntry_);
            ++freeEntry_;
        }
    }
    Output(prefix_);
}

// ---- run-length encoder ----

int ISqrt(int x) {
    if (x < 2) return x;
    int r = 1;
    for (int v = x; v; v >>= 2)
        r <<= 1;
    for (;;) {
        int v = (x / r + r) / 2;
        if (v == r || v == r + 1) return r;
        r = v;
    }
}

int TriangleCount(int count, int nrepcodes) {
    int cost = 0;
    int perrep = nrepcodes * (nrepcodes + 1) / 2;
    while (count >= perrep) {
        cost += nrepcodes;
        count -= perrep;
    }
    if (count > 0) {
        int n = ISqrt(count);
        while (n * (n + 1) >= 2 * count)
            --n;
        while (n * (n + 1) < 2 * count)
            ++n;
        cost += n;
    }
    return cost;
}

void TRLEEncoder::Clear() {
    outBump_ = outBumpInit_;
    outClear_ = outClearInit_;
    outCount_ = 0;
    runTableMax_ = 0;
    TGIFEncoder::Clear();
    bitsPerCode_ = initialBitsPerCode_;
}

void TRLEEncoder::OutputPlain(int code) {
    clearFlag_ = false;
    Output(code);
    ++outCount_;
    if (outCount_ >= outBump_) {
        ++bitsPerCode_;
        outBump_ += 1 << (bitsPerCode_ - 1);
    }
    if (outCount_ >= outClear_) Clear();
}

void TRLEEncoder::ResetOutClear() {
    outClear_ = outClearInit_;
    if (outCount_ >= outClear_) Clear();
}

void TRLEEncoder::FlushFromClear(int count) {
    outClear_ = maxOutCodes_;
    runTablePixel_ = runPixel_;
    int n = 1;
    while (count > 0) {
        if (n == 1) {
            runTableMax_ = 1;
            OutputPlain(runPixel_);
            --count;
        } else if (count >= n) {
            runTableMax_ = n;
            OutputPlain(baseCode_ + n - 2);
            count -= n;
        } else if (count == 1) {
            ++runTableMax_;
            OutputPlain(runPixel_);
            count = 0;
        } else {
            ++runTableMax_;
            OutputPlain(baseCode_ + count - 2);
            count = 0;
        }
        n = outCount_ == 0 ? 1 : n + 1;
    }
    ResetOutClear();
}

void TRLEEncoder::FlushClearOrRepeat(int count) {
    int withClear = 1 + TriangleCount(count, maxOutCodes_);
    if (withClear < count) {
        Clear();
        FlushFromClear(count);
    } else {
        for (; count > 0; --count)
            OutputPlain(runPixel_);
    }
}

void TRLEEncoder::FlushWithTable(int count) {
    int rep = count / runTableMax_;
    int left = count % runTableMax_;
    int repLeft = left > 0 ? 1 : 0;
    if (outCount_ + rep + repLeft > maxOutCodes_) {
        rep = maxOutCodes_ - outCount_;
        left = count - rep * runTableMax_;
        repLeft = 1 + TriangleCount(left, maxOutCodes_);
    }
    if (1 + TriangleCount(count, maxOutCodes_) < rep + repLeft) {
        Clear();
        FlushFromClear(count);
        return;
    }
    outClear_ = maxOutCodes_;
    for (; rep > 0; --rep)
        OutputPlain(baseCode_ + runTableMax_ - 2);
    if (left > 0) {
        if (clearFlag_)
            FlushFromClear(left);
        else if (left == 1)
            OutputPlain(runPixel_);
        else
            OutputPlain(baseCode_ + left - 2);
    }
    ResetOutClear();
}

void TRLEEncoder::FlushRun(int count) {
    if (count == 1) {
        OutputPlain(runPixel_);
        return;
    }
    if (clearFlag_)
        FlushFromClear(count);
    else if (runTableMax_ >= 2 && runTablePixel_ == runPixel_)
        FlushWithTable(count);
    else
        FlushClearOrRepeat(count);
}

void TRLEEncoder::Compress() {
    outBumpInit_ = clearCode_ - 1;
    outClearInit_ = bitsPerPixel_ <= 3 ? 9 : outBumpInit_ - 1;
    maxOutCodes_ = 4095 - baseCode_;
    Clear();
    runPixel_ = -1;
    int runCount = 0;
    while (HasPixel()) {
        int p = TakePixel();
        if (runCount > 0 && p != runPixel_) {
            FlushRun(runCount);
            runCount = 0;
        }
        if (p == runPixel_) {
            ++runCount;
        } else {
            runPixel_ = p;
            runCount = 1;
        }
    }
    if (runCount > 0) FlushRun(runCount);
}

} // namespace gif
