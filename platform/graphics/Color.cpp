#include "platform/graphics/Color.h"

namespace platform::gfx {

namespace {
// The classic "Windows Standard" scheme, as RGB triples, indexed by COLOR_xxx.
constexpr uint32_t kSystemRgb[SystemColorCount] = {
    0xC0C0C0, // 0 scroll bar
    0x008080, // 1 desktop
    0x000080, // 2 active caption
    0x808080, // 3 inactive caption
    0xC0C0C0, // 4 menu
    0xFFFFFF, // 5 window
    0x000000, // 6 window frame
    0x000000, // 7 menu text
    0x000000, // 8 window text
    0xFFFFFF, // 9 caption text
    0xC0C0C0, // 10 active border
    0xC0C0C0, // 11 inactive border
    0x808080, // 12 application workspace
    0x000080, // 13 highlight
    0xFFFFFF, // 14 highlight text
    0xC0C0C0, // 15 button face
    0x808080, // 16 button shadow
    0x808080, // 17 grey text
    0x000000, // 18 button text
    0xC0C0C0, // 19 inactive caption text
    0xFFFFFF, // 20 button highlight
    0x000000, // 21 3D dark shadow
    0xC0C0C0, // 22 3D light
    0x000000, // 23 info text
    0xFFFFE1, // 24 info background
    0x000000, // 25 (unused)
    0x0000FF, // 26 hot light
    0x1084D0, // 27 gradient active caption
    0xB5B5B5, // 28 gradient inactive caption
    0x000080, // 29 menu highlight
    0xC0C0C0, // 30 menu bar
};
} // namespace

TColor ColorToRGB(TColor color) {
    if (color < 0) {
        unsigned index = static_cast<uint32_t>(color) & 0xFF;
        if (index >= SystemColorCount) return clBlack;
        return Rgb32ToColor(kSystemRgb[index]);
    }
    return color & 0x00FFFFFF;
}

} // namespace platform::gfx
