#include "platform/graphics/BitmapFile.h"

#include <cstring>
#include <string>

namespace platform::gfx {

namespace {

constexpr size_t kFileHeaderBytes = 14;

// The pixel format of an uncompressed DIB's bits, or of bit fields with these masks; pfCustom when
// none holds it.
TPixelFormat FormatOf(int bits, uint32_t compression, uint32_t red, uint32_t green, uint32_t blue) {
    if (compression == BI_RGB) return DibPixelFormat(bits);
    if (compression != BI_BITFIELDS) return pfCustom;
    if (bits == 16 && red == 0x7C00 && green == 0x03E0 && blue == 0x001F) return pf15bit;
    if (bits == 16 && red == 0xF800 && green == 0x07E0 && blue == 0x001F) return pf16bit;
    if (bits == 32 && red == 0xFF0000 && green == 0xFF00 && blue == 0xFF) return pf32bit;
    return pfCustom;
}

// Run-length encoded rows (8 or 4 bits a pixel), bottom-up: a count and a value paint count pixels
// (with 4 bits the value's two halves in turn); a 0 count escapes: 0 ends the row, 1 the picture, 2
// moves right and up by the two bytes that follow, 3 and more are that many literal pixels padded to
// a 16-bit boundary. Pixels outside the picture are dropped; data that ends early ends the picture.
void ReadRunLengthRows(std::span<const uint8_t> data, uint64_t at, int bits, Bitmap& bitmap) {
    const int w = bitmap.Width(), h = bitmap.Height();
    int x = 0, y = h - 1;
    auto put = [&](int index) {
        if (x < w && y >= 0) bitmap.SetIndex(x, y, index);
        ++x;
    };
    size_t p = static_cast<size_t>(at);
    while (p + 1 < data.size() && y >= 0) {
        const int count = data[p], value = data[p + 1];
        p += 2;
        if (count > 0) {
            for (int i = 0; i < count && x < w; ++i)
                put(bits == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 15));
            continue;
        }
        if (value == 0) {
            x = 0;
            --y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (p + 1 >= data.size()) break;
            x += data[p];
            y -= data[p + 1];
            p += 2;
        } else {
            const size_t bytes =
                bits == 8 ? static_cast<size_t>(value) : (static_cast<size_t>(value) + 1) / 2;
            if (bytes > data.size() - p) break;
            for (int i = 0; i < value; ++i) {
                const uint8_t b = data[p + static_cast<size_t>(bits == 8 ? i : i / 2)];
                put(bits == 8 ? b : (i % 2 == 0 ? b >> 4 : b & 15));
            }
            p += bytes + (bytes & 1);
        }
    }
}

// The most rows that `bytes` of run-length data can reach from the bottom row: a delta (4 bytes) moves
// up to 255 rows, an end of row (2 bytes) one.
uint64_t RunLengthRowsWithin(uint64_t bytes) {
    return 1 + bytes / 4 * 255 + (bytes % 4 >= 2 ? 1 : 0);
}

// The most columns that `bytes` of run-length data can reach from the left edge: a run (2 bytes)
// paints up to 255 pixels, more than a delta (4 bytes) or a literal run moves right for its bytes.
uint64_t RunLengthColumnsWithin(uint64_t bytes) {
    return 1 + bytes / 2 * 255;
}

// Run-length data may end the picture early (the rows it leaves out read as index 0), so any run-length
// picture up to this size is read whatever its data reaches: at most 4 MB of pixels, which a small
// machine allocates without strain and a real picture with blank rows needs. Larger ones must reach
// their top row and their right column, so a few bytes cannot claim gigabytes.
constexpr uint64_t kRunLengthPixelsUnchecked = uint64_t{1} << 22;

} // namespace

uint16_t LeWord(std::span<const uint8_t> data, size_t at) {
    return static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
}

uint32_t LeDWord(std::span<const uint8_t> data, size_t at) {
    return static_cast<uint32_t>(LeWord(data, at)) | (static_cast<uint32_t>(LeWord(data, at + 2)) << 16);
}

void PutLeWord(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLeDWord(std::vector<uint8_t>& out, uint32_t value) {
    PutLeWord(out, value & 0xFFFF);
    PutLeWord(out, value >> 16);
}

bool LiesInside(uint64_t offset, uint64_t size, uint64_t total) {
    return offset <= total && size <= total - offset;
}

TPixelFormat DibPixelFormat(int bits) {
    switch (bits) {
    case 1:
        return pf1bit;
    case 4:
        return pf4bit;
    case 8:
        return pf8bit;
    case 16:
        return pf15bit;
    case 24:
        return pf24bit;
    case 32:
        return pf32bit;
    default:
        return pfCustom;
    }
}

std::optional<TDibInfo> ReadDibInfo(std::span<const uint8_t> data) {
    if (data.size() < kDibInfoBytes) return std::nullopt;
    TDibInfo info;
    info.HeaderBytes = LeDWord(data, 0);
    info.Width = static_cast<int32_t>(LeDWord(data, 4));
    info.Height = static_cast<int32_t>(LeDWord(data, 8));
    info.Bits = LeWord(data, 14);
    info.Compression = LeDWord(data, 16);
    info.ColorsUsed = LeDWord(data, 32);
    if (info.HeaderBytes < kDibInfoBytes) return std::nullopt;
    return info;
}

std::optional<std::vector<PaletteEntry>> ReadDibPalette(std::span<const uint8_t> data, uint64_t at,
                                                        uint64_t count) {
    if (!LiesInside(at, count * 4, data.size())) return std::nullopt;
    std::vector<PaletteEntry> entries(static_cast<size_t>(count));
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t p = static_cast<size_t>(at) + i * 4;
        entries[i] = {data[p + 2], data[p + 1], data[p], 0};
    }
    return entries;
}

bool ReadDibRows(std::span<const uint8_t> data, uint64_t at, bool topDown, Bitmap& bitmap) {
    const int h = bitmap.Height();
    const auto rowBytes = static_cast<uint64_t>(bitmap.RowBytes());
    if (!LiesInside(at, rowBytes * static_cast<uint64_t>(h), data.size())) return false;
    for (int y = 0; y < h; ++y) {
        uint64_t row = static_cast<uint64_t>(topDown ? y : h - 1 - y);
        std::memcpy(bitmap.ScanLine(y), data.data() + at + row * rowBytes, static_cast<size_t>(rowBytes));
    }
    return true;
}

void PutDibInfo(std::vector<uint8_t>& out, const TDibInfo& info, uint32_t imageBytes) {
    PutLeDWord(out, kDibInfoBytes);
    PutLeDWord(out, static_cast<uint32_t>(info.Width));
    PutLeDWord(out, static_cast<uint32_t>(info.Height));
    PutLeWord(out, 1);
    PutLeWord(out, info.Bits);
    PutLeDWord(out, info.Compression);
    PutLeDWord(out, imageBytes);
    PutLeDWord(out, 0); // resolutions: not given
    PutLeDWord(out, 0);
    PutLeDWord(out, info.ColorsUsed);
    PutLeDWord(out, 0);
}

void PutDibPalette(std::vector<uint8_t>& out, const Bitmap& bitmap) {
    if (!bitmap.IsPaletted()) return;
    const size_t count = size_t{1} << bitmap.BitsPerPixel();
    HPALETTE palette = bitmap.GetPalette() ? bitmap.GetPalette() : DefaultPaletteFor(bitmap.PixelFormat());
    for (size_t i = 0; i < count; ++i) {
        PaletteEntry e = palette && static_cast<int>(i) < palette->Count() ? (*palette)[static_cast<int>(i)]
                                                                           : PaletteEntry{};
        out.insert(out.end(), {e.peBlue, e.peGreen, e.peRed, 0});
    }
}

void PutDibRowsBottomUp(std::vector<uint8_t>& out, const Bitmap& bitmap) {
    for (int y = bitmap.Height() - 1; y >= 0; --y) {
        const uint8_t* row = bitmap.ScanLine(y);
        out.insert(out.end(), row, row + bitmap.RowBytes());
    }
}

std::optional<Bitmap> ReadBitmapFile(std::span<const uint8_t> data, std::string* problem) {
    auto refuse = [&](const std::string& why) -> std::optional<Bitmap> {
        if (problem) *problem = why;
        return std::nullopt;
    };
    if (data.size() < kFileHeaderBytes + kDibInfoBytes || data[0] != 'B' || data[1] != 'M')
        return refuse("no bitmap file header");
    const uint32_t bitsAt = LeDWord(data, 10);
    std::span<const uint8_t> dib = data.subspan(kFileHeaderBytes);
    auto info = ReadDibInfo(dib);
    if (!info || LeWord(dib, 12) != 1) return refuse("no bitmap info header");
    const bool topDown = info->Height < 0;
    const int64_t width = info->Width;
    const int64_t height = topDown ? -int64_t{info->Height} : info->Height;
    if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide)
        return refuse("picture size out of range");
    if (static_cast<uint64_t>(width * height) > kMaxBitmapPixels)
        return refuse("picture of more than " + std::to_string(kMaxBitmapPixels >> 20) + " megapixels");
    uint32_t masks[3] = {};
    uint64_t paletteAt = kFileHeaderBytes + uint64_t{info->HeaderBytes};
    if (info->Compression == BI_BITFIELDS) {
        const uint64_t masksAt = kFileHeaderBytes + kDibInfoBytes;
        if (!LiesInside(masksAt, 12, data.size())) return refuse("colour masks missing");
        for (int i = 0; i < 3; ++i)
            masks[i] = LeDWord(data, static_cast<size_t>(masksAt) + 4 * static_cast<size_t>(i));
        if (info->HeaderBytes == kDibInfoBytes) paletteAt += 12;
    }
    const bool runLength = (info->Compression == BI_RLE8 && info->Bits == 8) ||
                           (info->Compression == BI_RLE4 && info->Bits == 4);
    if (runLength && topDown) return refuse("top-down run lengths");
    const TPixelFormat format = runLength
                                    ? DibPixelFormat(info->Bits)
                                    : FormatOf(info->Bits, info->Compression, masks[0], masks[1], masks[2]);
    if (format == pfCustom) return refuse("unsupported pixel format or compression");

    // Every size the header gives is held against the file before the picture is allocated.
    std::optional<std::vector<PaletteEntry>> entries;
    const uint64_t full = uint64_t{1} << BitsPerPixelOf(format);
    if (full <= 256) {
        const uint64_t count = info->ColorsUsed == 0 || info->ColorsUsed > full ? full : info->ColorsUsed;
        entries = ReadDibPalette(data, paletteAt, count);
        if (!entries) return refuse("palette beyond the end of the file");
        entries->resize(static_cast<size_t>(full)); // indices past the colours used show black
    }
    if (runLength) {
        if (bitsAt > data.size()) return refuse("pixel data beyond the end of the file");
        const uint64_t bytes = data.size() - bitsAt;
        if (static_cast<uint64_t>(width * height) > kRunLengthPixelsUnchecked) {
            if (static_cast<uint64_t>(height) > RunLengthRowsWithin(bytes))
                return refuse("more rows than its run-length data can reach");
            if (static_cast<uint64_t>(width) > RunLengthColumnsWithin(bytes))
                return refuse("more columns than its run-length data can reach");
        }
    } else {
        const auto rowBytes =
            static_cast<uint64_t>(RowBytesOf(static_cast<int>(width), BitsPerPixelOf(format)));
        if (!LiesInside(bitsAt, rowBytes * static_cast<uint64_t>(height), data.size()))
            return refuse("pixel rows beyond the end of the file");
    }

    Bitmap bitmap(static_cast<int>(width), static_cast<int>(height), format);
    if (entries) bitmap.SetPalette(MakePalette(std::move(*entries)));
    if (runLength)
        ReadRunLengthRows(data, bitsAt, info->Bits, bitmap);
    else if (!ReadDibRows(data, bitsAt, topDown, bitmap))
        return refuse("pixel rows beyond the end of the file");
    return bitmap;
}

std::vector<uint8_t> WriteBitmapFile(const Bitmap& bitmap) {
    Bitmap picture(bitmap);
    if (picture.PixelFormat() == pfDevice || picture.PixelFormat() == pfCustom)
        picture.SetPixelFormat(pf32bit);
    TDibInfo info;
    info.Width = picture.Width();
    info.Height = picture.Height();
    info.Bits = static_cast<uint16_t>(picture.BitsPerPixel());
    const bool fields = picture.PixelFormat() == pf16bit;
    info.Compression = fields ? BI_BITFIELDS : BI_RGB;
    const uint32_t paletteBytes = picture.IsPaletted() ? (4u << picture.BitsPerPixel()) : 0;
    const uint32_t masksBytes = fields ? 12 : 0;
    const auto imageBytes = static_cast<uint32_t>(picture.RowBytes() * picture.Height());
    const uint32_t bitsAt =
        static_cast<uint32_t>(kFileHeaderBytes) + kDibInfoBytes + masksBytes + paletteBytes;

    std::vector<uint8_t> out;
    out.reserve(bitsAt + imageBytes);
    out.push_back('B');
    out.push_back('M');
    PutLeDWord(out, bitsAt + imageBytes);
    PutLeDWord(out, 0);
    PutLeDWord(out, bitsAt);
    PutDibInfo(out, info, imageBytes);
    if (fields)
        for (uint32_t mask : {0xF800u, 0x07E0u, 0x001Fu})
            PutLeDWord(out, mask);
    PutDibPalette(out, picture);
    PutDibRowsBottomUp(out, picture);
    return out;
}

} // namespace platform::gfx
