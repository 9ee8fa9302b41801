#pragma once
// Formatted text in a rectangle, with the flags of the platform's DrawText: horizontal and vertical
// alignment, word breaks, single line, expanded tabs, the "&" prefix (the next character underlined,
// "&&" a literal ampersand), measuring only (DT_CALCRECT) and right-to-left reading (the alignment is
// mirrored). Returns the height of the text drawn.
#include <string>

#include "platform/graphics/Canvas.h"

namespace platform::gfx {

constexpr unsigned DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4, DT_BOTTOM = 0x8,
                   DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40, DT_NOCLIP = 0x100,
                   DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800, DT_RTLREADING = 0x20000;

int DrawText(Canvas& canvas, const std::string& text, TRect& rect, unsigned flags);

// The text without its "&" prefixes, and the index of the underlined character (-1 when none).
std::string StripPrefix(const std::string& text, int* underlined = nullptr);

} // namespace platform::gfx
