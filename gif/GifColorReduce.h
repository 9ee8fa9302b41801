#pragma once
// Colour reduction of a bitmap to at most 256 colours: palettes, colour lookups, the octree quantizer,
// the ditherers and device-independent bitmap access. Internal to gif/.
#include <cstdint>
#include <memory>
#include <vector>

#include "gif/GIFImage.h"
#include "platform/graphics/Palette.h"

namespace gif {

using platform::gfx::TPixelFormat;

// ---- colour reduction ----
class TColorLookup {
public:
    explicit TColorLookup(int colors) : Colors(colors) {}
    virtual ~TColorLookup() = default;
    virtual uint8_t Lookup(int red, int green, int blue, int& r, int& g, int& b) = 0;
    int Colors;
    // Whether a colour's index is the same whatever was looked up before it.
    bool OrderFree = true;
};

class TFastColorLookup : public TColorLookup {
public:
    explicit TFastColorLookup(const HPALETTE& palette);
    uint8_t Lookup(int red, int green, int blue, int& r, int& g, int& b) override;

private:
    std::vector<platform::gfx::PaletteEntry> entries_;
    std::vector<uint16_t> inverse_;
};

class TNetscapeColorLookup : public TColorLookup {
public:
    TNetscapeColorLookup() : TColorLookup(216) {}
    uint8_t Lookup(int red, int green, int blue, int& r, int& g, int& b) override;
};

class TGrayScaleLookup : public TColorLookup {
public:
    TGrayScaleLookup() : TColorLookup(256) {}
    uint8_t Lookup(int red, int green, int blue, int& r, int& g, int& b) override;
};

class TMonochromeLookup : public TColorLookup {
public:
    TMonochromeLookup() : TColorLookup(2) {}
    uint8_t Lookup(int red, int green, int blue, int& r, int& g, int& b) override;
};

HPALETTE WebPalette();
HPALETTE GrayScalePalette();
HPALETTE MonochromePalette();
HPALETTE WindowsGrayPalette();
// Octree palette for one bitmap (read at 24 bits) or many; Windows = reserve the 20 system colours.
HPALETTE CreateOptimizedPalette(Bitmap& bitmap, int colors, int colorBits, bool windows);
HPALETTE CreateOptimizedPaletteFromManyBitmaps(const std::vector<Bitmap*>& bitmaps, int colors, int colorBits,
                                               bool windows);
// A new 8-bit bitmap on the chosen palette (or a 24-bit copy for rmNone). The source is read through a
// 24-bit DIB reader, which switches the source itself to 24 bits per pixel. A reduction or dither mode
// outside its enumeration, or a palette without colours (rmPalette without one), gives an empty bitmap.
std::unique_ptr<Bitmap> ReduceColors(Bitmap& bitmap, TColorReduction reduction, TDitherMode dither,
                                     int reductionBits, const HPALETTE& customPalette);

// ReduceColors without error diffusion (dmNearest), row by row into the caller's memory: the bitmap's
// own 32- or 24-bit rows are read (other formats are switched to 24 bits first) and a run of one colour
// is looked up once. The indices and the palette are those of ReduceColors' result.
class TNearestReduction {
public:
    // Null where ReduceColors takes another road: rmNone, a dithering mode, or an empty result.
    static std::unique_ptr<TNearestReduction> Create(Bitmap& bitmap, TColorReduction reduction,
                                                     TDitherMode dither, int reductionBits,
                                                     const HPALETTE& customPalette);
    TNearestReduction(Bitmap& bitmap, HPALETTE palette, std::unique_ptr<TColorLookup> lookup);
    // The 256-entry palette of ReduceColors' result.
    const HPALETTE& Palette() const { return dibPalette_; }
    // The Width() indices of row y; rows are taken from the top, each once.
    void Row(int y, uint8_t* indices);

private:
    uint8_t IndexOf(uint32_t colour);
    void RowOf(int y, const uint8_t* src, int w, bool wide, uint8_t* indices);
    // RowOf for 32-bit pixels with a lookup free of order.
    void WideRow(const uint8_t* src, int w, uint8_t* indices);
    Bitmap& bitmap_;
    HPALETTE dibPalette_;
    std::unique_ptr<TColorLookup> lookup_;
    struct Known {
        uint32_t colour = UINT32_MAX; // none
        uint8_t index = 0;
    };
    Known known_[256];
    // The indices of the row before and of the one before it: a row of the same pixels as either takes
    // the same indices.
    void Keep(int y, const uint8_t* indices, size_t n);
    struct KeptRow {
        int y = -3; // none
        std::vector<uint8_t> indices;
    };
    KeptRow kept_[2]; // the last row taken first
};

// ---- dithering ----
class TDitherEngine {
public:
    TDitherEngine(int width, TColorLookup* lookup) : Width(width), Lookup(lookup) {}
    virtual ~TDitherEngine() = default;
    virtual uint8_t Dither(int red, int green, int blue, int& r, int& g, int& b);
    virtual void NextLine();
    int Direction = 1;
    int Column = 0;
    int Width;
    TColorLookup* Lookup;
};

// One table-driven error-diffusion engine; each dithering class is a matrix of it.
class TErrorDiffusionDitherer : public TDitherEngine {
public:
    struct Tap {
        int Row;    // 0 = current row
        int Offset; // relative to the direction of travel
        int Weight;
    };
    TErrorDiffusionDitherer(int width, TColorLookup* lookup, std::vector<Tap> taps, int divisor,
                            int rounding);
    uint8_t Dither(int red, int green, int blue, int& r, int& g, int& b) override;
    void NextLine() override;

private:
    std::vector<Tap> taps_;
    int divisor_, rounding_, pad_, rows_;
    std::vector<std::vector<int32_t>> err_[3]; // [component][row][column + pad]
};

class TFloydSteinbergDitherer : public TErrorDiffusionDitherer {
public:
    TFloydSteinbergDitherer(int width, TColorLookup* lookup);
};
class TStuckiDitherer : public TErrorDiffusionDitherer {
public:
    TStuckiDitherer(int width, TColorLookup* lookup);
};
class TSierraDitherer : public TErrorDiffusionDitherer {
public:
    TSierraDitherer(int width, TColorLookup* lookup);
};
class TJaJuNiDitherer : public TErrorDiffusionDitherer {
public:
    TJaJuNiDitherer(int width, TColorLookup* lookup);
};
class TSteveArcheDitherer : public TErrorDiffusionDitherer {
public:
    TSteveArcheDitherer(int width, TColorLookup* lookup);
};
class TBurkesDitherer : public TErrorDiffusionDitherer {
public:
    TBurkesDitherer(int width, TColorLookup* lookup);
};

// The engine for a dither mode; null for a mode outside the enumeration.
std::unique_ptr<TDitherEngine> CreateDitherer(TDitherMode mode, int width, TColorLookup* lookup);

// ---- DIB access ----
int AlignBit(int bits, int bitsPerPixel, int alignment);

// A handle that had to be made, returned as it is; a null one is EOutOfResources "Out of system
// resources" (no system call stands behind it, so errno would tell of something else).
[[noreturn]] void RaiseOutOfResources();
template <class Handle> Handle GDICheck(Handle handle) {
    if (!handle) RaiseOutOfResources();
    return handle;
}

// The bitmap as a DIB of 1, 4, 8 or 24 bits a pixel (others are GIFException "Unsupported
// PixelFormat"; an empty bitmap is EInvalidGraphic "Bitmap image is not valid"). The info block is the
// 40-byte header (width, height > 0 for bottom-up rows, the bits, no compression, the image size) and,
// up to 8 bits, a colour table of 2^bits entries (blue, green, red, 0); the image is the rows bottom-up,
// each padded to 4 bytes.
void InternalGetDIBSizes(const Bitmap& bitmap, int& infoHeaderSize, int64_t& imageSize, TPixelFormat format);
// Fills both blocks. A paletted format takes the given palette (its first 2^bits colours), else the
// format's default, and each pixel becomes its nearest colour there; a bitmap already in the format keeps
// its indices and palette unless another palette is given. True when any row was copied.
bool InternalGetDIB(const Bitmap& bitmap, const HPALETTE& palette, std::vector<uint8_t>& bitmapInfo,
                    std::vector<uint8_t>& bits, TPixelFormat format);

class TDIBReader {
public:
    // Switches the bitmap to the pixel format.
    TDIBReader(Bitmap& bitmap, TPixelFormat format);
    const uint8_t* GetScanline(int row) const { return bitmap_.ScanLine(row); }

private:
    Bitmap& bitmap_;
};

// The 256-entry palette of an 8-bit DIB on a palette: its colours (flags cleared), black beyond them.
HPALETTE DibPalette(const HPALETTE& palette);

// Builds a bottom-up DIB (8 bits with a 256-entry colour table, or 24 bits) and hands it to the bitmap on
// Finish (or destruction): row 0 of GetScanline is the top row of the result.
class TDIBWriter {
public:
    TDIBWriter(Bitmap& bitmap, HPALETTE palette, int width, int height, TPixelFormat format);
    ~TDIBWriter();
    uint8_t* GetScanline(int row);
    int RowBytes() const { return rowBytes_; }
    // The 256-entry colour table (blue, green, red, 0) of an 8-bit DIB.
    const std::vector<uint8_t>& ColorTable() const { return colorTable_; }
    void Finish();

private:
    void Build();
    Bitmap& bitmap_;
    HPALETTE palette_;
    int width_, height_, bits_;
    int rowBytes_ = 0;
    std::vector<uint8_t> colorTable_;
    std::vector<uint8_t> dib_;
    bool built_ = false;
};

} // namespace gif
