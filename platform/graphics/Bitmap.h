#pragma once
// Off-screen bitmaps of the graphics layer.
//
// Pixel formats: pf1bit, pf4bit and pf8bit hold palette indices and carry a palette; pf15bit (5-5-5)
// and pf16bit (5-6-5) are 16-bit words; pf24bit is B, G, R bytes; pf32bit and pfDevice (the default)
// are B, G, R, X bytes. pfCustom is stored as pfDevice. Rows are stored top-down, each row padded to a
// multiple of 4 bytes (the DIB row length); ScanLine(y) is row y counted from the top. 1- and 4-bit
// rows hold their leftmost pixel in the most significant bits.
//
// Size changes keep the pixels of the overlapping area; new pixels are 0 (black, or palette index 0).
// Pixel format changes convert every pixel: to a paletted format by nearest palette colour (squared RGB
// distance, lowest index on ties), through the bitmap's palette or, when it has none, the format's
// default palette (black/white, the 16 VGA colours, the 256-colour halftone palette).
//
// Transparent bitmaps: Draw leaves pixels of the transparent colour unpainted. TransparentMode tmAuto
// takes the colour of the bottom-left pixel; tmFixed uses TransparentColor.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/Color.h"
#include "platform/graphics/Palette.h"
#include "platform/graphics/Types.h"

namespace platform::gfx {

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode { tmAuto, tmFixed };

constexpr int BitsPerPixelOf(TPixelFormat format) {
    switch (format) {
    case pf1bit:
        return 1;
    case pf4bit:
        return 4;
    case pf8bit:
        return 8;
    case pf15bit:
    case pf16bit:
        return 16;
    case pf24bit:
        return 24;
    default:
        return 32;
    }
}
// Bytes in one row: ((width x bits + 31) and not 31) / 8.
int64_t RowBytesOf(int width, int bitsPerPixel);

class Canvas;

class Bitmap {
public:
    Bitmap();
    Bitmap(int width, int height, TPixelFormat format = pfDevice);
    Bitmap(const Bitmap& other);
    Bitmap& operator=(const Bitmap& other);
    // A move takes the pixels, format, palette and transparency without copying them (not the canvas,
    // which stays with its own bitmap) and leaves the source an empty bitmap, as Bitmap() makes it.
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;
    ~Bitmap();

    // Copy of pixels, format, palette and transparency (not the canvas state).
    void Assign(const Bitmap& other);

    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetWidth(int w) { SetSize(w, height_); }
    void SetHeight(int h) { SetSize(width_, h); }
    void SetSize(int w, int h);
    bool Empty() const { return width_ == 0 || height_ == 0; }
    // Made what a fresh Bitmap(Width(), Height()) is (black pfDevice pixels, no palette, not
    // transparent, a fresh canvas), in the storage it holds: a bitmap drawn again and again at one size
    // is not allocated anew each time. With clearPixels false the pixels are left undefined, for a
    // caller that paints every one of them next.
    void Reset(bool clearPixels = true);

    TPixelFormat PixelFormat() const { return format_; }
    void SetPixelFormat(TPixelFormat format);
    int BitsPerPixel() const { return BitsPerPixelOf(format_); }
    bool IsPaletted() const { return BitsPerPixel() <= 8; }

    // Row access, top-down. Row y outside 0..Height-1 throws std::out_of_range.
    uint8_t* ScanLine(int y) {
        if (y < 0 || y >= height_) RowOutOfRange();
        return bits_.data() + static_cast<size_t>(y) * static_cast<size_t>(rowBytes_);
    }
    const uint8_t* ScanLine(int y) const {
        if (y < 0 || y >= height_) RowOutOfRange();
        return bits_.data() + static_cast<size_t>(y) * static_cast<size_t>(rowBytes_);
    }
    int64_t RowBytes() const { return rowBytes_; }

    // The colour table of a paletted bitmap (null for direct formats). Setting a palette on a paletted
    // bitmap keeps the stored indices.
    const HPALETTE& GetPalette() const { return palette_; }
    void SetPalette(HPALETTE palette);

    // Pixels as plain colours; outside the bitmap GetPixel returns clBlack and SetPixel does nothing.
    TColor GetPixel(int x, int y) const;
    void SetPixel(int x, int y, TColor color);
    // Fast paths used by the canvas: 0x00RRGGBB.
    uint32_t GetRgb(int x, int y) const;
    void SetRgb(int x, int y, uint32_t rgb);
    // Palette index of a paletted bitmap (0 otherwise).
    int GetIndex(int x, int y) const;
    void SetIndex(int x, int y, int index);

    bool Transparent = false;
    TTransparentMode TransparentMode = tmAuto;
    TColor GetTransparentColor() const;
    void SetTransparentColor(TColor c) {
        transparentColor_ = c;
        TransparentMode = tmFixed;
    }

    Canvas& GetCanvas();

    // Storage version, bumped on every size or format change (the canvas recomputes its clip).
    uint64_t Generation() const { return generation_; }

private:
    [[noreturn]] static void RowOutOfRange();
    uint32_t MapRgbToIndex(uint32_t rgb) const;
    void Reallocate(int w, int h, TPixelFormat format, bool keep);
    void TakeFrom(Bitmap& other) noexcept;

    int width_ = 0;
    int height_ = 0;
    TPixelFormat format_ = pfDevice;
    int64_t rowBytes_ = 0;
    std::vector<uint8_t> bits_;
    HPALETTE palette_;
    TColor transparentColor_ = clBlack;
    std::unique_ptr<Canvas> canvas_;
    uint64_t generation_ = 0;
};

HPALETTE DefaultPaletteFor(TPixelFormat format);

} // namespace platform::gfx
