#pragma once
// Pointer shapes of the round meters. A shape travels as an arrow point array of nine points:
// element 0 is a header of 8 bytes (X holds bytes 0-3, Y bytes 4-7, little-endian): byte 0 the index of
// the last shape point, byte 1 a flag byte (bit 0 read by the pointer drawers), byte 4 the radius of
// the first centre circle, byte 5 that of the second (0 = none); element 1 is the centre of rotation;
// elements 2 .. the last index are the polygon's corners for the pointer pointing straight up.
#include <array>
#include <cstdint>

#include "gauges/AbProc.h"

namespace gauges {

using TArrowPoints = std::array<TPoint, 9>;

struct TArrowHeader {
    uint8_t Count = 0;
    uint8_t Flag = 0;
    uint8_t Circle1 = 0;
    uint8_t Circle2 = 0;
};

TArrowHeader GetArrowHeader(const TArrowPoints& points);
void SetArrowHeader(TArrowPoints& points, const TArrowHeader& header);

// Builds shape `shape` (0 .. 7; any other value gives shape 0) in the square of side rect width,
// centred on (r, r) with r = width div 2. The second argument has no effect.
void AbArrowField(int shape, int unused, const TRect& rect, TArrowPoints& points);
// Copies the header and centre, turns the corners about the centre by `angle` into `dest` and fills the
// polygon with the canvas's pen and brush.
void AbArrowDraw(Canvas& canvas, float angle, const TArrowPoints& source, TArrowPoints& dest, bool clockwise);

} // namespace gauges
