#pragma once
// Raster operations: how a pen, brush or source colour combines with the destination pixel. They act
// bit by bit on 0x00RRGGBB values (R, G and B alike).
#include <cstdint>

namespace platform::gfx {

// The sixteen binary operations of a pen on the destination.
enum TPenMode {
    pmBlack,
    pmWhite,
    pmNop,
    pmNot,
    pmCopy,
    pmNotCopy,
    pmMergePenNot,
    pmMaskPenNot,
    pmMergeNotPen,
    pmMaskNotPen,
    pmMerge,
    pmNotMerge,
    pmMask,
    pmNotMask,
    pmXor,
    pmNotXor
};

// ROP3 codes (the truth table sits in bits 16-23: bit (P << 2 | S << 1 | D) gives the result).
constexpr uint32_t SRCCOPY = 0x00CC0020;
constexpr uint32_t SRCPAINT = 0x00EE0086;
constexpr uint32_t SRCAND = 0x008800C6;
constexpr uint32_t SRCINVERT = 0x00660046;
constexpr uint32_t SRCERASE = 0x00440328;
constexpr uint32_t NOTSRCCOPY = 0x00330008;
constexpr uint32_t NOTSRCERASE = 0x001100A6;
constexpr uint32_t MERGECOPY = 0x00C000CA;
constexpr uint32_t MERGEPAINT = 0x00BB0226;
constexpr uint32_t PATCOPY = 0x00F00021;
constexpr uint32_t PATPAINT = 0x00FB0A09;
constexpr uint32_t PATINVERT = 0x005A0049;
constexpr uint32_t DSTINVERT = 0x00550009;
constexpr uint32_t BLACKNESS = 0x00000042;
constexpr uint32_t WHITENESS = 0x00FF0062;

// The binary raster operation of a pen mode on 0x00RRGGBB values.
uint32_t ApplyPenMode(TPenMode mode, uint32_t pen, uint32_t dst);
// The ternary raster operation of a ROP3 code on pattern, source and destination values.
uint32_t ApplyRop3(uint32_t rop, uint32_t pat, uint32_t src, uint32_t dst);

} // namespace platform::gfx
