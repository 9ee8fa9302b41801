#pragma once
// Colours of the graphics layer.
//
// A TColor is a 32-bit value 0x00BBGGRR (red in the low byte), or a system colour 0x80000000 + index.
// ColorToRGB resolves system colours through one fixed table (the classic Windows "Standard" scheme:
// button face C0C0C0, shadow 808080, highlight FFFFFF, window FFFFFF, texts black). The table never
// changes at run time, because the graph GIFs depend on it.
//
// Inside bitmaps a 32-bit pixel is stored as BGRX bytes; Rgb32 is that pixel read as a little-endian
// uint32 (0x00RRGGBB).
#include <cstdint>

namespace platform::gfx {

using TColor = int32_t;

constexpr TColor SystemColorBase = static_cast<TColor>(0x80000000u);

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clOrange = 0x4080FF;   // the gauges' orange
constexpr TColor clKeyColor = 0x800080; // the compass's transparent key colour
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// System colours (0x80000000 + COLOR_xxx index).
constexpr TColor clScrollBar = SystemColorBase | 0;
constexpr TColor clBackground = SystemColorBase | 1;
constexpr TColor clActiveCaption = SystemColorBase | 2;
constexpr TColor clInactiveCaption = SystemColorBase | 3;
constexpr TColor clMenu = SystemColorBase | 4;
constexpr TColor clWindow = SystemColorBase | 5;
constexpr TColor clWindowFrame = SystemColorBase | 6;
constexpr TColor clMenuText = SystemColorBase | 7;
constexpr TColor clWindowText = SystemColorBase | 8;
constexpr TColor clCaptionText = SystemColorBase | 9;
constexpr TColor clActiveBorder = SystemColorBase | 10;
constexpr TColor clInactiveBorder = SystemColorBase | 11;
constexpr TColor clAppWorkSpace = SystemColorBase | 12;
constexpr TColor clHighlight = SystemColorBase | 13;
constexpr TColor clHighlightText = SystemColorBase | 14;
constexpr TColor clBtnFace = SystemColorBase | 15;
constexpr TColor clBtnShadow = SystemColorBase | 16;
constexpr TColor clGrayText = SystemColorBase | 17;
constexpr TColor clBtnText = SystemColorBase | 18;
constexpr TColor clInactiveCaptionText = SystemColorBase | 19;
constexpr TColor clBtnHighlight = SystemColorBase | 20;
constexpr TColor cl3DDkShadow = SystemColorBase | 21;
constexpr TColor cl3DLight = SystemColorBase | 22;
constexpr TColor clInfoText = SystemColorBase | 23;
constexpr TColor clInfoBk = SystemColorBase | 24;

constexpr int SystemColorCount = 31;

// Resolves a system colour through the fixed table; a plain colour is returned with its top byte cleared.
// An unknown system index resolves to black.
TColor ColorToRGB(TColor color);

constexpr TColor RGB(int r, int g, int b) {
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(TColor c) {
    return c & 0xFF;
}
constexpr int GetGValue(TColor c) {
    return (c >> 8) & 0xFF;
}
constexpr int GetBValue(TColor c) {
    return (c >> 16) & 0xFF;
}

// 0x00RRGGBB pixel value <-> plain TColor.
constexpr uint32_t ColorToRgb32(TColor c) {
    return static_cast<uint32_t>(GetRValue(c)) << 16 | static_cast<uint32_t>(GetGValue(c)) << 8 |
           static_cast<uint32_t>(GetBValue(c));
}
constexpr TColor Rgb32ToColor(uint32_t p) {
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

} // namespace platform::gfx
