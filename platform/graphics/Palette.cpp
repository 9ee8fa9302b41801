#include "platform/graphics/Palette.h"

namespace platform::gfx {

int Palette::NearestIndex(TColor color) const {
    int best = -1;
    int64_t bestD = INT64_MAX;
    int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    for (int i = 0; i < Count(); ++i) {
        const auto& e = entries_[static_cast<size_t>(i)];
        int64_t dr = r - e.peRed, dg = g - e.peGreen, db = b - e.peBlue;
        int64_t d = dr * dr + dg * dg + db * db;
        if (d < bestD) {
            bestD = d;
            best = i;
            if (d == 0) break;
        }
    }
    return best;
}

HPALETTE MakePalette(std::vector<PaletteEntry> entries) {
    return std::make_shared<Palette>(std::move(entries));
}

namespace {
constexpr uint32_t kSystem20[20] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0, 0xC0DCC0, 0xA6CAF0,
    0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};
PaletteEntry FromRgb(uint32_t rgb) {
    return {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb), 0};
}
} // namespace

HPALETTE SystemPalette20() {
    std::vector<PaletteEntry> e;
    for (uint32_t c : kSystem20)
        e.push_back(FromRgb(c));
    return MakePalette(std::move(e));
}

HPALETTE VgaPalette16() {
    static constexpr uint32_t kVga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                          0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                          0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    std::vector<PaletteEntry> e;
    for (uint32_t c : kVga)
        e.push_back(FromRgb(c));
    return MakePalette(std::move(e));
}

HPALETTE MonochromePalette2() {
    return MakePalette({FromRgb(0), FromRgb(0xFFFFFF)});
}

HPALETTE HalftonePalette256() {
    std::vector<PaletteEntry> e;
    for (int i = 0; i < 10; ++i)
        e.push_back(FromRgb(kSystem20[i]));
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                e.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                             static_cast<uint8_t>(b * 51), 0});
    for (int i = 1; i <= 30; ++i) {
        uint8_t v = static_cast<uint8_t>(i * 255 / 31);
        e.push_back({v, v, v, 0});
    }
    for (int i = 10; i < 20; ++i)
        e.push_back(FromRgb(kSystem20[i]));
    return MakePalette(std::move(e));
}

} // namespace platform::gfx
