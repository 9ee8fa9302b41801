#include "platform/graphics/IconFile.h"

#include <cstring>

#include "platform/graphics/BitmapFile.h"

namespace platform::gfx {

namespace {

constexpr size_t kHeaderBytes = 6;
constexpr size_t kEntryBytes = 16;

} // namespace

std::optional<TIconFileHeader> ReadIconFileHeader(std::span<const uint8_t> data) {
    if (data.size() < kHeaderBytes) return std::nullopt;
    return TIconFileHeader{LeWord(data, 0), LeWord(data, 2), LeWord(data, 4)};
}

std::vector<TIconDirEntry> ReadIconDirectory(std::span<const uint8_t> data) {
    auto header = ReadIconFileHeader(data);
    if (!header || header->Count == 0) return {};
    if (!LiesInside(kHeaderBytes, uint64_t{header->Count} * kEntryBytes, data.size())) return {};
    std::vector<TIconDirEntry> entries;
    for (size_t i = 0; i < header->Count; ++i) {
        size_t at = kHeaderBytes + i * kEntryBytes;
        TIconDirEntry e;
        e.Width = data[at];
        e.Height = data[at + 1];
        e.ColorCount = data[at + 2];
        e.Reserved = data[at + 3];
        e.Planes = LeWord(data, at + 4);
        e.BitCount = LeWord(data, at + 6);
        e.BytesInRes = LeDWord(data, at + 8);
        e.ImageOffset = LeDWord(data, at + 12);
        if (!LiesInside(e.ImageOffset, e.BytesInRes, data.size())) return {};
        entries.push_back(e);
    }
    return entries;
}

std::optional<TIconImage> ReadIconImage(std::span<const uint8_t> data, const TIconDirEntry& entry) {
    if (!LiesInside(entry.ImageOffset, entry.BytesInRes, data.size())) return std::nullopt;
    std::span<const uint8_t> image = data.subspan(entry.ImageOffset, entry.BytesInRes);
    auto info = ReadDibInfo(image);
    if (!info) return std::nullopt;
    const int32_t width = info->Width;
    const int height = info->Height / 2; // the stored height covers colour and mask rows
    if (width <= 0 || width > kMaxIconSide || height <= 0 || height > kMaxIconSide ||
        info->Compression != BI_RGB)
        return std::nullopt;
    const TPixelFormat format = DibPixelFormat(info->Bits);
    if (format == pfCustom) return std::nullopt;

    const uint64_t paletteCount = info->Bits <= 8 ? uint64_t{1} << info->Bits : 0;
    const uint64_t colorAt = info->HeaderBytes + paletteCount * 4;
    TIconImage result;
    result.Color = Bitmap(width, height, format);
    if (paletteCount > 0) {
        auto entries = ReadDibPalette(image, info->HeaderBytes, paletteCount);
        if (!entries) return std::nullopt;
        result.Color.SetPalette(MakePalette(std::move(*entries)));
    }
    result.Mask = Bitmap(width, height, pf1bit);
    result.Mask.SetPalette(MonochromePalette2());
    const uint64_t maskAt =
        colorAt + static_cast<uint64_t>(result.Color.RowBytes()) * static_cast<uint64_t>(height);
    if (!ReadDibRows(image, colorAt, false, result.Color) || !ReadDibRows(image, maskAt, false, result.Mask))
        return std::nullopt;
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

    Bitmap andMask(w, h, pf1bit);
    andMask.SetPalette(MonochromePalette2());
    if (!mask.Empty()) {
        Bitmap m(mask);
        m.SetSize(w, h);
        if (m.PixelFormat() != pf1bit) m.SetPixelFormat(pf1bit);
        for (int y = 0; y < h; ++y)
            std::memcpy(andMask.ScanLine(y), m.ScanLine(y), static_cast<size_t>(andMask.RowBytes()));
    }

    const auto imageBytes = static_cast<uint32_t>(kDibInfoBytes + paletteCount * 4 +
                                                  (picture.RowBytes() + andMask.RowBytes()) * h);
    std::vector<uint8_t> out;
    out.reserve(kHeaderBytes + kEntryBytes + imageBytes);
    PutLeWord(out, 0);
    PutLeWord(out, kIconType);
    PutLeWord(out, 1);
    out.push_back(static_cast<uint8_t>(w < 256 ? w : 0));
    out.push_back(static_cast<uint8_t>(h < 256 ? h : 0));
    out.push_back(static_cast<uint8_t>(bits < 8 ? 1 << bits : 0));
    out.push_back(0);
    PutLeWord(out, 1);
    PutLeWord(out, static_cast<uint32_t>(bits));
    PutLeDWord(out, imageBytes);
    PutLeDWord(out, kHeaderBytes + kEntryBytes);

    TDibInfo info;
    info.Width = w;
    info.Height = 2 * h;
    info.Bits = static_cast<uint16_t>(bits);
    PutDibInfo(out, info, imageBytes - kDibInfoBytes - static_cast<uint32_t>(paletteCount * 4));
    PutDibPalette(out, picture);
    PutDibRowsBottomUp(out, picture);
    PutDibRowsBottomUp(out, andMask);
    return out;
}

} // namespace platform::gfx
