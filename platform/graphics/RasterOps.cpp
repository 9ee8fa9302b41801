#include "platform/graphics/RasterOps.h"

namespace platform::gfx {

namespace {
constexpr uint32_t kMask = 0xFFFFFF;

// The truth table of each pen mode, by ordinal: bit 3 gives the result for pen 1 on destination 1,
// bit 2 for (1, 0), bit 1 for (0, 1), bit 0 for (0, 0).
constexpr uint8_t kPenModeTable[16] = {
    0,  // pmBlack
    15, // pmWhite
    10, // pmNop
    5,  // pmNot
    12, // pmCopy
    3,  // pmNotCopy
    13, // pmMergePenNot
    4,  // pmMaskPenNot
    11, // pmMergeNotPen
    2,  // pmMaskNotPen
    14, // pmMerge
    1,  // pmNotMerge
    8,  // pmMask
    7,  // pmNotMask
    6,  // pmXor
    9,  // pmNotXor
};
} // namespace

uint32_t ApplyPenMode(TPenMode mode, uint32_t pen, uint32_t dst) {
    uint8_t t = kPenModeTable[mode & 15];
    uint32_t r = 0;
    if (t & 8) r |= pen & dst;
    if (t & 4) r |= pen & ~dst;
    if (t & 2) r |= ~pen & dst;
    if (t & 1) r |= ~pen & ~dst;
    return r & kMask;
}

uint32_t ApplyRop3(uint32_t rop, uint32_t pat, uint32_t src, uint32_t dst) {
    uint8_t t = static_cast<uint8_t>(rop >> 16);
    uint32_t r = 0;
    for (int i = 0; i < 8; ++i) {
        if (!(t & (1 << i))) continue;
        uint32_t p = (i & 4) ? pat : ~pat;
        uint32_t s = (i & 2) ? src : ~src;
        uint32_t d = (i & 1) ? dst : ~dst;
        r |= p & s & d;
    }
    return r & kMask;
}

} // namespace platform::gfx
