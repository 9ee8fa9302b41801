#include "platform/graphics/Bitmap.h"

#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/graphics/Canvas.h"

namespace platform::gfx {

int64_t RowBytesOf(int width, int bitsPerPixel) {
    return ((static_cast<int64_t>(width) * bitsPerPixel + 31) & ~int64_t{31}) >> 3;
}

HPALETTE DefaultPaletteFor(TPixelFormat format) {
    switch (format) {
    case pf1bit:
        return MonochromePalette2();
    case pf4bit:
        return VgaPalette16();
    case pf8bit:
        return HalftonePalette256();
    default:
        return nullptr;
    }
}

Bitmap::Bitmap() = default;
Bitmap::Bitmap(int width, int height, TPixelFormat format) {
    if (format == pfCustom) format = pfDevice;
    format_ = format;
    if (IsPaletted()) palette_ = DefaultPaletteFor(format);
    Reallocate(width, height, format, false);
}
Bitmap::Bitmap(const Bitmap& other) {
    Assign(other);
}
Bitmap& Bitmap::operator=(const Bitmap& other) {
    if (this != &other) Assign(other);
    return *this;
}
Bitmap::Bitmap(Bitmap&& other) noexcept {
    TakeFrom(other);
}
Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    if (this != &other) TakeFrom(other);
    return *this;
}
Bitmap::~Bitmap() = default;

void Bitmap::TakeFrom(Bitmap& other) noexcept {
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    format_ = std::exchange(other.format_, pfDevice);
    rowBytes_ = std::exchange(other.rowBytes_, 0);
    bits_ = std::exchange(other.bits_, {});
    palette_ = std::exchange(other.palette_, nullptr);
    Transparent = std::exchange(other.Transparent, false);
    TransparentMode = std::exchange(other.TransparentMode, tmAuto);
    transparentColor_ = std::exchange(other.transparentColor_, clBlack);
    // Both sizes changed: each canvas recomputes its clip.
    ++generation_;
    ++other.generation_;
}

void Bitmap::Assign(const Bitmap& other) {
    if (this == &other) return;
    width_ = other.width_;
    height_ = other.height_;
    format_ = other.format_;
    rowBytes_ = other.rowBytes_;
    bits_ = other.bits_;
    palette_ = other.palette_ ? std::make_shared<Palette>(*other.palette_) : nullptr;
    Transparent = other.Transparent;
    TransparentMode = other.TransparentMode;
    transparentColor_ = other.transparentColor_;
    ++generation_;
}

void Bitmap::Reallocate(int w, int h, TPixelFormat format, bool keep) {
    if (w < 0 || h < 0) throw std::invalid_argument("Invalid bitmap size");
    int bpp = BitsPerPixelOf(format);
    int64_t rb = RowBytesOf(w, bpp);
    std::vector<uint8_t> bits(static_cast<size_t>(rb * h), 0);
    // A zero-width or zero-height bitmap has no rows to keep.
    if (keep && !bits_.empty() && !bits.empty()) {
        int rows = std::min(h, height_);
        int64_t copyBytes = std::min(rb, RowBytesOf(std::min(w, width_), bpp));
        for (int y = 0; y < rows; ++y)
            std::memcpy(&bits[static_cast<size_t>(y * rb)], &bits_[static_cast<size_t>(y * rowBytes_)],
                        static_cast<size_t>(copyBytes));
        // A kept row may carry pixels past the new width inside the last byte of a 1/4-bit row: harmless.
    }
    bits_ = std::move(bits);
    width_ = w;
    height_ = h;
    rowBytes_ = rb;
    format_ = format;
    ++generation_;
}

void Bitmap::Reset(bool clearPixels) {
    rowBytes_ = RowBytesOf(width_, BitsPerPixelOf(pfDevice));
    if (clearPixels)
        bits_.assign(static_cast<size_t>(rowBytes_ * height_), 0);
    else
        bits_.resize(static_cast<size_t>(rowBytes_ * height_));
    format_ = pfDevice;
    palette_.reset();
    Transparent = false;
    TransparentMode = tmAuto;
    transparentColor_ = clBlack;
    canvas_.reset();
    ++generation_;
}

void Bitmap::SetSize(int w, int h) {
    if (w == width_ && h == height_) return;
    Reallocate(w, h, format_, true);
}

void Bitmap::SetPixelFormat(TPixelFormat format) {
    if (format == pfCustom) format = pfDevice;
    if (format == format_) return;
    if (format == pf24bit && BitsPerPixelOf(format_) == 32) {
        // What an image encoder reads of a drawn bitmap: narrowed in place, front to back (a pixel's
        // new place never lies after its old one), without a second buffer.
        const auto oldRow = static_cast<size_t>(rowBytes_);
        const auto newRow = static_cast<size_t>(RowBytesOf(width_, 24));
        const auto w = static_cast<size_t>(width_);
        uint8_t* bits = bits_.data();
        for (size_t y = 0; y < static_cast<size_t>(height_); ++y) {
            const uint8_t* from = bits + y * oldRow;
            uint8_t* to = bits + y * newRow;
            size_t x = 0;
            // Two pixels a step: B, G, R, X, B, G, R, X in, B, G, R, B, G, R out (and two bytes that
            // the next step writes over).
            for (; x + 2 < w; x += 2) {
                uint64_t pair;
                std::memcpy(&pair, from + 4 * x, 8);
                pair = (pair & 0xFFFFFF) | ((pair >> 8) & 0xFFFFFF000000ull);
                std::memcpy(to + 3 * x, &pair, 8);
            }
            for (; x < w; ++x)
                std::memmove(to + 3 * x, from + 4 * x, 3);
            std::memset(to + 3 * w, 0, newRow - 3 * w);
        }
        bits_.resize(newRow * static_cast<size_t>(height_));
        palette_ = nullptr;
        rowBytes_ = static_cast<int64_t>(newRow);
        format_ = format;
        ++generation_;
        return;
    }
    Bitmap old(*this);
    HPALETTE keepPalette = palette_;
    format_ = format;
    if (IsPaletted()) {
        if (!palette_ || old.IsPaletted() == false) palette_ = DefaultPaletteFor(format);
        if (palette_ && palette_->Count() > (1 << BitsPerPixel())) palette_ = DefaultPaletteFor(format);
    } else {
        palette_ = nullptr;
    }
    Reallocate(width_, height_, format, false);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            SetRgb(x, y, old.GetRgb(x, y));
    (void)keepPalette;
}

void Bitmap::RowOutOfRange() {
    throw std::out_of_range("Scan line index out of range");
}

void Bitmap::SetPalette(HPALETTE palette) {
    palette_ = std::move(palette);
    ++generation_;
}

uint32_t Bitmap::MapRgbToIndex(uint32_t rgb) const {
    if (!palette_ || palette_->Count() == 0) return 0;
    int i = palette_->NearestIndex(Rgb32ToColor(rgb));
    return i < 0 ? 0 : static_cast<uint32_t>(i);
}

int Bitmap::GetIndex(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const uint8_t* row = bits_.data() + static_cast<size_t>(y) * static_cast<size_t>(rowBytes_);
    switch (format_) {
    case pf1bit:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case pf4bit:
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case pf8bit:
        return row[x];
    default:
        return 0;
    }
}

void Bitmap::SetIndex(int x, int y, int index) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t* row = bits_.data() + static_cast<size_t>(y) * static_cast<size_t>(rowBytes_);
    switch (format_) {
    case pf1bit: {
        uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<uint8_t>((index & 1) ? (row[x >> 3] | m) : (row[x >> 3] & ~m));
        break;
    }
    case pf4bit:
        if (x & 1)
            row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (index & 0x0F));
        else
            row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
        break;
    case pf8bit:
        row[x] = static_cast<uint8_t>(index);
        break;
    default:
        break;
    }
}

uint32_t Bitmap::GetRgb(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const uint8_t* row = bits_.data() + static_cast<size_t>(y) * static_cast<size_t>(rowBytes_);
    switch (format_) {
    case pf1bit:
    case pf4bit:
    case pf8bit: {
        int i = GetIndex(x, y);
        if (!palette_ || i >= palette_->Count()) return 0;
        const auto& e = (*palette_)[i];
        return static_cast<uint32_t>(e.peRed) << 16 | static_cast<uint32_t>(e.peGreen) << 8 | e.peBlue;
    }
    case pf15bit: {
        uint16_t w = static_cast<uint16_t>(row[2 * x] | row[2 * x + 1] << 8);
        uint32_t r = (w >> 10) & 31, g = (w >> 5) & 31, b = w & 31;
        return (r << 3 | r >> 2) << 16 | (g << 3 | g >> 2) << 8 | (b << 3 | b >> 2);
    }
    case pf16bit: {
        uint16_t w = static_cast<uint16_t>(row[2 * x] | row[2 * x + 1] << 8);
        uint32_t r = (w >> 11) & 31, g = (w >> 5) & 63, b = w & 31;
        return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
    }
    case pf24bit: {
        const uint8_t* p = row + 3 * static_cast<size_t>(x);
        return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
    }
    default: {
        const uint8_t* p = row + 4 * static_cast<size_t>(x);
        return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
    }
    }
}

void Bitmap::SetRgb(int x, int y, uint32_t rgb) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t* row = bits_.data() + static_cast<size_t>(y) * static_cast<size_t>(rowBytes_);
    uint8_t r = static_cast<uint8_t>(rgb >> 16), g = static_cast<uint8_t>(rgb >> 8),
            b = static_cast<uint8_t>(rgb);
    switch (format_) {
    case pf1bit:
    case pf4bit:
    case pf8bit:
        SetIndex(x, y, static_cast<int>(MapRgbToIndex(rgb & 0xFFFFFF)));
        break;
    case pf15bit: {
        uint16_t w = static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
        row[2 * x] = static_cast<uint8_t>(w);
        row[2 * x + 1] = static_cast<uint8_t>(w >> 8);
        break;
    }
    case pf16bit: {
        uint16_t w = static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
        row[2 * x] = static_cast<uint8_t>(w);
        row[2 * x + 1] = static_cast<uint8_t>(w >> 8);
        break;
    }
    case pf24bit: {
        uint8_t* p = row + 3 * static_cast<size_t>(x);
        p[0] = b;
        p[1] = g;
        p[2] = r;
        break;
    }
    default: {
        uint8_t* p = row + 4 * static_cast<size_t>(x);
        p[0] = b;
        p[1] = g;
        p[2] = r;
        p[3] = 0;
        break;
    }
    }
}

TColor Bitmap::GetPixel(int x, int y) const {
    return Rgb32ToColor(GetRgb(x, y));
}
void Bitmap::SetPixel(int x, int y, TColor color) {
    SetRgb(x, y, ColorToRgb32(ColorToRGB(color)));
}

TColor Bitmap::GetTransparentColor() const {
    if (TransparentMode == tmFixed) return transparentColor_;
    if (Empty()) return clBlack;
    return GetPixel(0, height_ - 1);
}

Canvas& Bitmap::GetCanvas() {
    if (!canvas_) canvas_ = std::make_unique<Canvas>(*this);
    return *canvas_;
}

} // namespace platform::gfx
