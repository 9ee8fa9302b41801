#include "platform/graphics/IconFile.h"

#include <cstring>

namespace platform::gfx {

namespace {

constexpr size_t kHeaderBytes = 6;
constexpr size_t kEntryBytes = 16;
constexpr uint32_t kDibHeaderBytes = 40;

uint16_t Word(std::span<const uint8_t> d, size_t at) {
    return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}

uint32_t DWord(std::span<const uint8_t> d, size_t at) {
    return static_cast<uint32_t>(Word(d, at)) | (static_cast<uint32_t>(Word(d, at + 2)) << 16);
}

void PutWord(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutDWord(std::vector<uint8_t>& out, uint32_t v) {
    PutWord(out, v & 0xFFFF);
    PutWord(out, v >> 16);
}

// Whether [offset, offset + size) lies inside data of `total` bytes.
bool Inside(uint64_t offset, uint64_t size, uint64_t total) {
    return offset <= total && size <= total - offset;
}

TPixelFormat FormatOfBits(int bits) {
    switch (bits) {
    case 1:
        return pf1bit;
    case 4:
        return pf4bit;
    case 8:
        return pf8bit;
    case 16:
        return pf15bit; // uncompressed 16-bit rows are 5-5-5
    case 24:
        return pf24bit;
    case 32:
        return pf32bit;
    default:
        return pfCustom;
    }
}

// Copies h bottom-up rows of rowBytes each into the bitmap (whose rows are top-down of the same length).
void CopyRowsBottomUp(std::span<const uint8_t> rows, int64_t rowBytes, Bitmap& bitmap) {
    const int h = bitmap.Height();
    for (int y = 0; y < h; ++y)
        std::memcpy(bitmap.ScanLine(y), rows.data() + (h - 1 - y) * rowBytes, static_cast<size_t>(rowBytes));
}

void PutRowsBottomUp(std::vector<uint8_t>& out, const Bitmap& bitmap) {
    for (int y = bitmap.Height() - 1; y >= 0; --y) {
        const uint8_t* row = bitmap.ScanLine(y);
        out.insert(out.end(), row, row + bitmap.RowBytes());
    }
}

} // namespace

std::optional<TIconFileHeader> ReadIconFileHeader(std::span<const uint8_t> data) {
    if (data.size() < kHeaderBytes) return std::nullopt;
    return TIconFileHeader{Word(data, 0), Word(data, 2), Word(data, 4)};
}

std::vector<TIconDirEntry> ReadIconDirectory(std::span<const uint8_t> data) {
    auto header = ReadIconFileHeader(data);
    if (!header || header->Count == 0) return {};
    if (!Inside(kHeaderBytes, uint64_t{header->Count} * kEntryBytes, data.size())) return {};
    std::vector<TIconDirEntry> entries;
    for (size_t i = 0; i < header->Count; ++i) {
        size_t at = kHeaderBytes + i * kEntryBytes;
        TIconDirEntry e;
        e.Width = data[at];
        e.Height = data[at + 1];
        e.ColorCount = data[at + 2];
        e.Reserved = data[at + 3];
        e.Planes = Word(data, at + 4);
        e.BitCount = Word(data, at + 6);
        e.BytesInRes = DWord(data, at + 8);
        e.ImageOffset = DWord(data, at + 12);
        if (!Inside(e.ImageOffset, e.BytesInRes, data.size())) return {};
        entries.push_back(e);
    }
    return entries;
}

std::optional<TIconImage> ReadIconImage(std::span<const uint8_t> data, const TIconDirEntry& entry) {
    if (!Inside(entry.ImageOffset, entry.BytesInRes, data.size())) return std::nullopt;
    std::span<const uint8_t> image = data.subspan(entry.ImageOffset, entry.BytesInRes);
    if (image.size() < kDibHeaderBytes) return std::nullopt;
    const uint32_t headerBytes = DWord(image, 0);
    const auto width = static_cast<int32_t>(DWord(image, 4));
    const auto storedHeight = static_cast<int32_t>(DWord(image, 8));
    const int bits = Word(image, 14);
    const uint32_t compression = DWord(image, 16);
    const int height = storedHeight / 2; // the stored height covers colour and mask rows
    if (headerBytes < kDibHeaderBytes || width <= 0 || width > kMaxIconSide || height <= 0 ||
        height > kMaxIconSide || compression != 0)
        return std::nullopt;
    const TPixelFormat format = FormatOfBits(bits);
    if (format == pfCustom) return std::nullopt;

    const uint64_t paletteCount = bits <= 8 ? uint64_t{1} << bits : 0;
    const int64_t colorRow = RowBytesOf(width, bits);
    const int64_t maskRow = RowBytesOf(width, 1);
    const uint64_t paletteAt = headerBytes;
    const uint64_t colorAt = paletteAt + paletteCount * 4;
    const uint64_t maskAt = colorAt + static_cast<uint64_t>(colorRow) * static_cast<uint64_t>(height);
    const uint64_t end = maskAt + static_cast<uint64_t>(maskRow) * static_cast<uint64_t>(height);
    if (end > image.size()) return std::nullopt;

    TIconImage result;
    result.Color = Bitmap(width, height, format);
    if (paletteCount > 0) {
        std::vector<PaletteEntry> entries(paletteCount);
        for (size_t i = 0; i < paletteCount; ++i) {
            size_t at = paletteAt + i * 4;
            entries[i] = {image[at + 2], image[at + 1], image[at], 0};
        }
        result.Color.SetPalette(MakePalette(std::move(entries)));
    }
    CopyRowsBottomUp(image.subspan(colorAt), colorRow, result.Color);
    result.Mask = Bitmap(width, height, pf1bit);
    result.Mask.SetPalette(MonochromePalette2());
    CopyRowsBottomUp(image.subspan(maskAt), maskRow, result.Mask);
    return result;
}

int IconScreenColors(int bitsPerPixel, int planes) {
    int64_t bits = int64_t{bitsPerPixel} * planes;
    if (bits >= 24) return 0;
    if (bits <= 0) return 1;
    return 1 << bits;
}

size_t ChooseIconEntry(const std::vector<TIconDirEntry>& entries, int screenColors) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].Colors() == screenColors) return i;
    std::optional<size_t> best;
    for (size_t i = 0; i < entries.size(); ++i) {
        int colors = entries[i].Colors();
        if (colors > screenColors) continue;
        if (!best || colors > entries[*best].Colors()) best = i;
    }
    return best.value_or(0);
}

std::vector<uint8_t> WriteIconFile(const Bitmap& color, const Bitmap& mask) {
    const int w = color.Width();
    const int h = color.Height();
    Bitmap picture(color);
    if (!picture.IsPaletted()) picture.SetPixelFormat(pf24bit);
    const int bits = picture.BitsPerPixel();
    const size_t paletteCount = picture.IsPaletted() ? size_t{1} << bits : 0;
    HPALETTE palette = picture.GetPalette() ? picture.GetPalette() : DefaultPaletteFor(picture.PixelFormat());

    Bitmap andMask(w, h, pf1bit);
    andMask.SetPalette(MonochromePalette2());
    if (!mask.Empty()) {
        Bitmap m(mask);
        m.SetSize(w, h);
        if (m.PixelFormat() != pf1bit) m.SetPixelFormat(pf1bit);
        for (int y = 0; y < h; ++y)
            std::memcpy(andMask.ScanLine(y), m.ScanLine(y), static_cast<size_t>(andMask.RowBytes()));
    }

    const auto imageBytes = static_cast<uint32_t>(kDibHeaderBytes + paletteCount * 4 +
                                                  (picture.RowBytes() + andMask.RowBytes()) * h);
    std::vector<uint8_t> out;
    out.reserve(kHeaderBytes + kEntryBytes + imageBytes);
    PutWord(out, 0);
    PutWord(out, kIconType);
    PutWord(out, 1);
    out.push_back(static_cast<uint8_t>(w < 256 ? w : 0));
    out.push_back(static_cast<uint8_t>(h < 256 ? h : 0));
    out.push_back(static_cast<uint8_t>(bits < 8 ? 1 << bits : 0));
    out.push_back(0);
    PutWord(out, 1);
    PutWord(out, static_cast<uint32_t>(bits));
    PutDWord(out, imageBytes);
    PutDWord(out, kHeaderBytes + kEntryBytes);

    PutDWord(out, kDibHeaderBytes);
    PutDWord(out, static_cast<uint32_t>(w));
    PutDWord(out, static_cast<uint32_t>(2 * h));
    PutWord(out, 1);
    PutWord(out, static_cast<uint32_t>(bits));
    PutDWord(out, 0); // uncompressed
    PutDWord(out, imageBytes - kDibHeaderBytes - static_cast<uint32_t>(paletteCount * 4));
    for (int i = 0; i < 4; ++i)
        PutDWord(out, 0); // resolution and colours used: not given
    for (size_t i = 0; i < paletteCount; ++i) {
        PaletteEntry e = palette && static_cast<int>(i) < palette->Count() ? (*palette)[static_cast<int>(i)]
                                                                           : PaletteEntry{};
        out.insert(out.end(), {e.peBlue, e.peGreen, e.peRed, 0});
    }
    PutRowsBottomUp(out, picture);
    PutRowsBottomUp(out, andMask);
    return out;
}

} // namespace platform::gfx
