// Device-independent bitmap access. The DIB writer builds a bottom-up DIB (8 bits with a
// 256-entry colour table, or 24 bits) and hands it to the bitmap directly (rather than through a BMP
// stream; the pixels and colour table are the same). InternalGetDIB goes the other way, a bitmap as the
// blocks of a DIB, laid out as a bitmap file lays them out (platform/graphics/BitmapFile.h).
#include <algorithm>
#include <cstring>

#include "gif/GifColorReduce.h"
#include "platform/graphics/BitmapFile.h"

namespace gif {

using namespace platform::gfx;

int AlignBit(int bits, int bitsPerPixel, int alignment) {
    return static_cast<int>(((static_cast<int64_t>(bits) * bitsPerPixel + alignment - 1) &
                             ~static_cast<int64_t>(alignment - 1)) >>
                            3);
}

void RaiseOutOfResources() {
    throw platform::EOutOfResources("Out of system resources");
}

namespace {

// The DIB header of the bitmap in the format, and the size of its rows.
TDibInfo DibHeaderOf(const Bitmap& bitmap, TPixelFormat format, int64_t& imageSize) {
    if (bitmap.Empty()) throw platform::EInvalidGraphic("Bitmap image is not valid");
    if (format != pf1bit && format != pf4bit && format != pf8bit && format != pf24bit)
        throw GIFException("Unsupported PixelFormat");
    TDibInfo info;
    info.Width = bitmap.Width();
    info.Height = bitmap.Height();
    info.Bits = static_cast<uint16_t>(BitsPerPixelOf(format));
    imageSize = RowBytesOf(info.Width, info.Bits) * info.Height;
    return info;
}

} // namespace

void InternalGetDIBSizes(const Bitmap& bitmap, int& infoHeaderSize, int64_t& imageSize, TPixelFormat format) {
    const TDibInfo info = DibHeaderOf(bitmap, format, imageSize);
    infoHeaderSize = static_cast<int>(kDibInfoBytes) + (info.Bits <= 8 ? 4 << info.Bits : 0);
}

bool InternalGetDIB(const Bitmap& bitmap, const HPALETTE& palette, std::vector<uint8_t>& bitmapInfo,
                    std::vector<uint8_t>& bits, TPixelFormat format) {
    int64_t imageSize = 0;
    const TDibInfo info = DibHeaderOf(bitmap, format, imageSize);
    Bitmap dib;
    if (format == bitmap.PixelFormat() && (!palette || palette == bitmap.GetPalette())) {
        dib = bitmap;
    } else {
        dib = Bitmap(bitmap.Width(), bitmap.Height(), format);
        if (palette && dib.IsPaletted()) {
            std::vector<PaletteEntry> entries = palette->Entries();
            entries.resize(std::min(entries.size(), size_t{1} << info.Bits));
            dib.SetPalette(MakePalette(std::move(entries)));
        }
        for (int y = 0; y < dib.Height(); ++y)
            for (int x = 0; x < dib.Width(); ++x)
                dib.SetRgb(x, y, bitmap.GetRgb(x, y));
    }
    bitmapInfo.clear();
    PutDibInfo(bitmapInfo, info, static_cast<uint32_t>(imageSize));
    PutDibPalette(bitmapInfo, dib);
    bits.clear();
    bits.reserve(static_cast<size_t>(imageSize));
    PutDibRowsBottomUp(bits, dib);
    return dib.Height() > 0;
}

TDIBReader::TDIBReader(Bitmap& bitmap, TPixelFormat format) : bitmap_(bitmap) {
    bitmap_.SetPixelFormat(format);
}

HPALETTE DibPalette(const HPALETTE& palette) {
    std::vector<PaletteEntry> e(256);
    if (palette)
        for (int i = 0; i < palette->Count() && i < 256; ++i) {
            const auto& c = (*palette)[i];
            e[static_cast<size_t>(i)] = {c.peRed, c.peGreen, c.peBlue, 0};
        }
    return MakePalette(std::move(e));
}

TDIBWriter::TDIBWriter(Bitmap& bitmap, HPALETTE palette, int width, int height, TPixelFormat format)
    : bitmap_(bitmap), palette_(std::move(palette)), width_(width), height_(height) {
    if (format == pf8bit)
        bits_ = 8;
    else if (format == pf24bit)
        bits_ = 24;
    else
        throw GIFException("Unsupported PixelFormat");
    if (width <= 0 || height <= 0) throw GIFException("Invalid image dimensions");
    rowBytes_ = AlignBit(width_, bits_, 32);
}

TDIBWriter::~TDIBWriter() {
    try {
        Finish();
    } catch (...) {
    }
}

void TDIBWriter::Build() {
    rowBytes_ = AlignBit(width_, bits_, 32);
    colorTable_.clear();
    if (bits_ == 8) {
        colorTable_.assign(1024, 0);
        HPALETTE table = DibPalette(palette_);
        for (int i = 0; i < 256; ++i) {
            const auto& e = (*table)[i];
            colorTable_[static_cast<size_t>(4 * i)] = e.peBlue;
            colorTable_[static_cast<size_t>(4 * i + 1)] = e.peGreen;
            colorTable_[static_cast<size_t>(4 * i + 2)] = e.peRed;
        }
    }
    dib_.assign(static_cast<size_t>(rowBytes_) * static_cast<size_t>(height_), 0);
    built_ = true;
}

uint8_t* TDIBWriter::GetScanline(int row) {
    if (!built_) Build();
    if (row < 0 || row >= height_) throw platform::Exception("Scan line index out of range");
    // Bottom-up: row 0 lives in the last storage line.
    return dib_.data() + static_cast<size_t>(height_ - 1 - row) * static_cast<size_t>(rowBytes_);
}

void TDIBWriter::Finish() {
    if (!built_) return;
    built_ = false;
    bitmap_.SetPixelFormat(bits_ == 8 ? pf8bit : pf24bit);
    if (bits_ == 8) {
        std::vector<PaletteEntry> e(256);
        for (int i = 0; i < 256; ++i)
            e[static_cast<size_t>(i)] = {colorTable_[static_cast<size_t>(4 * i + 2)],
                                         colorTable_[static_cast<size_t>(4 * i + 1)],
                                         colorTable_[static_cast<size_t>(4 * i)], 0};
        bitmap_.SetPalette(MakePalette(std::move(e)));
    }
    bitmap_.SetSize(0, 0);
    bitmap_.SetSize(width_, height_);
    for (int y = 0; y < height_; ++y)
        std::memcpy(bitmap_.ScanLine(y),
                    dib_.data() + static_cast<size_t>(height_ - 1 - y) * static_cast<size_t>(rowBytes_),
                    static_cast<size_t>(rowBytes_));
    dib_.clear();
}

} // namespace gif
