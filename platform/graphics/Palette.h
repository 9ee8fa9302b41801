#pragma once
// Logical palettes, in place of GDI's HPALETTE. A palette is shared by handle (a shared pointer):
// bitmaps, GIF frames and colour lookups hold the same object, and "the same palette" means the same
// handle.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/Color.h"

namespace platform::gfx {

struct PaletteEntry {
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
    friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

constexpr uint8_t PC_NOCOLLAPSE = 4;

class Palette {
public:
    Palette() = default;
    explicit Palette(std::vector<PaletteEntry> entries, uint16_t version = 0x300)
        : entries_(std::move(entries)), version_(version) {}

    uint16_t Version() const { return version_; }
    int Count() const { return static_cast<int>(entries_.size()); }
    const PaletteEntry& operator[](int i) const { return entries_[static_cast<size_t>(i)]; }
    const std::vector<PaletteEntry>& Entries() const { return entries_; }
    std::vector<PaletteEntry>& Entries() { return entries_; }
    TColor ColorAt(int i) const {
        const auto& e = entries_[static_cast<size_t>(i)];
        return RGB(e.peRed, e.peGreen, e.peBlue);
    }
    // Index of the nearest entry (squared RGB distance; the lowest index wins ties); -1 when empty.
    int NearestIndex(TColor color) const;

private:
    std::vector<PaletteEntry> entries_;
    uint16_t version_ = 0x300;
};

using HPALETTE = std::shared_ptr<Palette>;

HPALETTE MakePalette(std::vector<PaletteEntry> entries);
// The fixed 20-colour system palette (the "stock default palette"): 16 VGA colours at 0..7 and
// 12..19 with four extra at 8..11, laid out as GDI's DEFAULT_PALETTE.
HPALETTE SystemPalette20();
// The 16 VGA colours, the default palette of a 4-bit bitmap.
HPALETTE VgaPalette16();
// Black and white, the default palette of a 1-bit bitmap.
HPALETTE MonochromePalette2();
// The fixed 256-colour halftone palette: the first ten system colours, the 6x6x6 colour cube
// (entry 10 + 36R + 6G + B = 51R, 51G, 51B), 30 greys, the last ten system colours.
HPALETTE HalftonePalette256();

} // namespace platform::gfx
