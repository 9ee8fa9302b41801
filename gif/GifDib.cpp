// Device-independent bitmap access. The DIB writer builds a bottom-up DIB (8 bits with a
// 256-entry colour table, or 24 bits) and hands it to the bitmap directly (rather than through a BMP
// stream; the pixels and colour table are the same).
#include <cstring>

#include "gif/GifColorReduce.h"

namespace gif {

using namespace platform::gfx;

int AlignBit(int bits, int bitsPerPixel, int alignment) {
    return static_cast<int>(((static_cast<int64_t>(bits) * bitsPerPixel + alignment - 1) &
                             ~static_cast<int64_t>(alignment - 1)) >>
                            3);
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
