#pragma once
// The image data encoders: pixels into the LZW (gcLZW) or run-length (gcRLE) code stream, written as
// sub-blocks of at most 255 bytes. Internal to gif/.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gif/GIFImage.h"

namespace gif {

// ---- LZW / RLE encoders ----
using TWarningSink = std::function<void(TGIFSeverity, const std::string&)>;

// Sub-block writer: bytes in, 255-byte sub-blocks out.
class TGIFWriter {
public:
    explicit TGIFWriter(TStream& target) : target_(target) {}
    void Write(const void* buffer, size_t count);
    void WriteByte(uint8_t b) {
        buffer_[count_++] = b;
        pending_ = true;
        if (count_ == 256) Flush();
    }
    // Writes the pending sub-block, if any (also done by the encoder at the end).
    void Flush();

private:
    TStream& target_;
    uint8_t buffer_[256] = {};
    int count_ = 1;
    bool pending_ = false;
};

class TGIFEncoder {
public:
    virtual ~TGIFEncoder() = default;
    void Encode(TStream& stream, int bitsPerPixel, int width, int height, bool interlace, const uint8_t* data,
                int maxColor);
    TWarningSink OnWarning;

protected:
    virtual void Output(int code);
    virtual void Clear();
    virtual void Compress() = 0;
    // Pixel scan: true while pixels remain; NextPixel fetches the next one.
    bool HasPixel() const { return pixel_ != nullptr; }
    int TakePixel();

    int maxColor_ = 0;
    int bitsPerPixel_ = 0;
    int width_ = 0, height_ = 0;
    bool interlace_ = false;
    const uint8_t* data_ = nullptr;
    TGIFWriter* writer_ = nullptr;
    uint32_t outputBucket_ = 0;
    int outputBits_ = 0;
    bool clearFlag_ = false;
    int bitsPerCode_ = 0, initialBitsPerCode_ = 0;
    int maxCode_ = 0, clearCode_ = 0, eofCode_ = 0, baseCode_ = 0;
    const uint8_t* pixel_ = nullptr;
    int64_t countdown_ = 0;
    int row_ = 0, pass_ = 0;
};

// The (prefix, pixel) -> code map of the LZW encoder: open addressing over 16384 entries; an entry
// holds key << 12 | code, 0xFFFFFFFF is free. The entries are made by the first Clear.
class THashTable {
public:
    void Clear();
    void Insert(uint32_t key, int code);
    int Lookup(uint32_t key) const;

private:
    static constexpr uint32_t kSize = 16384;
    std::vector<uint32_t> table_;
};

// Images whose pixels take at most DirectLimit distinct values (and lie inside the colour table and
// below the clear code) are coded through a child table indexed by code and dense pixel id, scanned row
// by row; others through the hash table, pixel by pixel. Both give the same code stream.
class TLZWEncoder : public TGIFEncoder {
public:
    static constexpr int kDefaultDirectLimit = 64;
    // 0 sends every image through the hash table.
    void SetDirectLimit(int colors) { directLimit_ = colors; }

protected:
    void Output(int code) override;
    void Clear() override;
    void Compress() override;

private:
    void CompressHashed();
    // ids maps each pixel value present to 0 .. 2^shift - 1.
    void CompressDirect(const uint8_t* ids, int shift);

    int prefix_ = 0;
    int freeEntry_ = 0;
    int directLimit_ = kDefaultDirectLimit;
    THashTable hash_;
    std::unique_ptr<uint16_t[]> child_, run_;
    size_t childSize_ = 0;
};

class TRLEEncoder : public TGIFEncoder {
protected:
    void Clear() override;
    void Compress() override;

private:
    void OutputPlain(int code);
    void FlushRun(int count);
    void FlushFromClear(int count);
    void FlushClearOrRepeat(int count);
    void FlushWithTable(int count);
    void ResetOutClear();
    int maxOutCodes_ = 0, outBumpInit_ = 0, outClearInit_ = 0, runPixel_ = 0, runTableMax_ = 0,
        runTablePixel_ = 0, outCount_ = 0, outClear_ = 0, outBump_ = 0;
};

int ISqrt(int x);
int TriangleCount(int count, int nrepcodes);

// Marks the pixel values present in p[0, n).
void MarkPresent(const uint8_t* p, size_t n, bool (&seen)[256]);

} // namespace gif
