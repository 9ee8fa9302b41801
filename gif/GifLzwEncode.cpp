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
    while (count > 0) {
        const size_t n = std::min(count, static_cast<size_t>(256 - count_));
        std::memcpy(buffer_ + count_, p, n);
        count_ += static_cast<int>(n);
        pending_ = true;
        p += n;
        count -= n;
        if (count_ == 256) Flush();
    }
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
    table_.assign(kSize, 0xFFFFFFFFu);
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

// Drawn images are long runs of one value: 8 bytes are compared at once.
void MarkPresent(const uint8_t* p, size_t n, bool (&seen)[256]) {
    if (n == 0) return;
    uint8_t last = p[0];
    seen[last] = true;
    uint64_t repeated = last * 0x0101010101010101ull;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word == repeated) continue;
        for (size_t j = i; j < i + 8; ++j)
            seen[p[j]] = true;
        last = p[i + 7];
        repeated = last * 0x0101010101010101ull;
    }
    for (; i < n; ++i)
        seen[p[i]] = true;
}

namespace {

// Follows the strings of the child table from `code` along the pixels [p, end) while they exist: the
// code of the longest one, and the pixel after it.
inline const uint8_t* Walk(const uint16_t* child, const uint8_t* ids, int shift, const uint8_t* p,
                           const uint8_t* end, size_t& code) {
    size_t c = code;
    for (; p != end; ++p) {
        const size_t next = child[(c << shift) | ids[*p]];
        if (next == 0) break;
        c = next;
    }
    code = c;
    return p;
}

// The code output of TGIFEncoder::Output and TLZWEncoder::Output on local values: the bytes are gathered
// and handed to the writer now and then.
struct TCodeBits {
    TCodeBits(TGIFWriter& target, uint32_t bucket, int bits, int codeBits, int maxCode)
        : writer(target), bucket(bucket), bits(bits), codeBits(codeBits), maxCode(maxCode) {}
    void Put(int code) {
        bucket |= static_cast<uint32_t>(code) << bits;
        bits += codeBits;
        while (bits >= 8) {
            buffer[count++] = static_cast<uint8_t>(bucket);
            bucket >>= 8;
            bits -= 8;
        }
        if (count >= 1024) Flush();
    }
    // After a code other than the clear code: one bit more once the next code needs it.
    void Widen(int freeEntry) {
        if (freeEntry <= maxCode) return;
        ++codeBits;
        maxCode = codeBits == 12 ? 4096 : (1 << codeBits) - 1;
    }
    // After the clear code.
    void Restart(int initialBits) {
        codeBits = initialBits;
        maxCode = (1 << codeBits) - 1;
    }
    void Flush() {
        writer.Write(buffer, count);
        count = 0;
    }
    TGIFWriter& writer;
    uint32_t bucket;
    int bits, codeBits, maxCode;
    size_t count = 0;
    uint8_t buffer[1024 + 2];
};
} // namespace

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
    const size_t n = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    bool seen[256] = {};
    MarkPresent(data_, n, seen);
    uint8_t ids[256];
    std::fill(std::begin(ids), std::end(ids), 0xFF);
    int distinct = 0, highest = 0;
    for (int v = 0; v < 256; ++v)
        if (seen[v]) {
            ids[v] = static_cast<uint8_t>(distinct++);
            highest = v;
        }
    // Out-of-range pixels fail where the pixel-by-pixel scan reaches them, after the codes before them.
    if (highest >= std::min(maxColor_, clearCode_) || distinct > directLimit_) {
        CompressHashed();
        return;
    }
    int shift = 0;
    while ((1 << shift) < distinct)
        ++shift;
    CompressDirect(ids, shift);
}

void TLZWEncoder::CompressHashed() {
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

void TLZWEncoder::CompressDirect(const uint8_t* ids, int shift) {
    // child[code << shift | id]: the code of (code, pixel), 0 for none (no string has code 0). A code's
    // row is cleared when the code is made, the rows of the single pixels present at each clear code.
    // run[id << 12 | m]: the code of m pixels of one value, for m = 1 .. runLength[id]; a run of that
    // value after a code is output goes there in one step rather than pixel by pixel.
    const size_t size = size_t{4096} << shift;
    if (childSize_ < size) {
        child_.reset(new uint16_t[size]);
        run_.reset(new uint16_t[size]);
        childSize_ = size;
    }
    uint16_t* const child = child_.get();
    uint16_t* const run = run_.get();
    const size_t rowBytes = sizeof(uint16_t) << shift;
    uint16_t runLength[256];
    TCodeBits out(*writer_, outputBucket_, outputBits_, bitsPerCode_, maxCode_);
    int freeEntry = 0;
    auto clear = [&] {
        out.Put(clearCode_);
        out.Restart(initialBitsPerCode_);
        for (int v = 0; v < clearCode_; ++v)
            if (ids[v] != 0xFF) {
                std::memset(child + (static_cast<size_t>(v) << shift), 0, rowBytes);
                runLength[ids[v]] = 1;
                run[static_cast<size_t>(ids[v]) << 12 | 1] = static_cast<uint16_t>(v);
            }
        freeEntry = clearCode_ + 2;
    };
    clear();
    // The pixels in scan order: all of them at once, or row by row in the interlace passes.
    static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    const size_t w = static_cast<size_t>(width_);
    int pass = 0, row = 0;
    const uint8_t* p = data_;
    const uint8_t* end = data_ + (interlace_ ? w : w * static_cast<size_t>(height_));
    size_t prefix = *p++;
    for (;;) {
        p = Walk(child, ids, shift, p, end, prefix);
        if (p == end) {
            if (!interlace_) break;
            row += kStep[pass];
            while (row >= height_ && pass < 4)
                if (++pass < 4) row = kStart[pass];
            if (pass == 4) break;
            p = data_ + static_cast<size_t>(row) * w;
            end = p + w;
            continue;
        }
        const uint8_t pixel = *p++;
        const size_t id = ids[pixel];
        out.Put(static_cast<int>(prefix));
        out.Widen(freeEntry);
        if (freeEntry >= 4095) {
            clear();
        } else {
            child[prefix << shift | id] = static_cast<uint16_t>(freeEntry);
            std::memset(child + (static_cast<size_t>(freeEntry) << shift), 0, rowBytes);
            uint16_t* longest = run + (id << 12 | runLength[id]);
            if (*longest == prefix) {
                longest[1] = static_cast<uint16_t>(freeEntry);
                ++runLength[id];
            }
            ++freeEntry;
        }
        prefix = pixel;
        if (p == end || *p != pixel || runLength[id] == 1) continue;
        // The longest run code the pixels ahead fill: the steps the walk would take.
        const uint8_t* q = p;
        const uint8_t* const stop = p + std::min<ptrdiff_t>(end - p, runLength[id] - 1);
        const uint64_t repeated = pixel * 0x0101010101010101ull;
        for (uint64_t word; stop - q >= 8; q += 8) {
            std::memcpy(&word, q, 8);
            if (word != repeated) break;
        }
        while (q != stop && *q == pixel)
            ++q;
        prefix = run[id << 12 | static_cast<size_t>(q - p + 1)];
        p = q;
    }
    out.Put(static_cast<int>(prefix));
    out.Widen(freeEntry);
    out.Flush();
    outputBucket_ = out.bucket;
    outputBits_ = out.bits;
    bitsPerCode_ = out.codeBits;
    maxCode_ = out.maxCode;
    freeEntry_ = freeEntry;
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
