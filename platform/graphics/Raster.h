#pragma once
// Rasterisation geometry of the canvas: which device pixels a line, a wide stroke, a polygon or a shape
// covers, by the pixel rules at the top of Canvas.h. Nothing here touches a bitmap or knows a pen: thin
// lines hand their pixels to a visitor, everything else comes back as a Region limited to a clip box.
// Coordinates are device coordinates in 64 bits, so that points far outside the bitmap cost no more
// than the part inside the clip box.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "platform/graphics/Region.h"

namespace platform::gfx::raster {

struct DevicePoint {
    int64_t X = 0;
    int64_t Y = 0;
};

// floor(a / b) for b != 0.
int64_t FloorDiv(__int128 a, __int128 b);

// Spans added row by row, in any order and overlapping, made into one region.
class RegionBuilder {
public:
    void Add(int64_t y, int64_t x0, int64_t x1);
    Region Build() const;

private:
    std::map<int64_t, std::vector<Span>> rows_;
};

// Whether the steps first, first + 1, ... of a dash pattern are drawn, one Next() a step; runs are the
// lengths of alternating on and off runs (none: a solid line).
class DashWalker {
public:
    DashWalker(const std::vector<int>& runs, int64_t first);
    bool Next() {
        if (runs_.empty()) return true;
        const bool on = (run_ % 2) == 0;
        if (--left_ == 0) {
            run_ = run_ + 1 == runs_.size() ? 0 : run_ + 1;
            left_ = runs_[run_];
        }
        return on;
    }

private:
    const std::vector<int>& runs_;
    size_t run_ = 0;
    int left_ = 0; // steps left in run_, the current one included
};

// A thin segment: pixel i (i = 0 .. n - 1, n = max(|dx|, |dy|), plus the end point when includeEnd)
// lies at major = start + i, minor = start + floor((2 i |dminor| + |dmajor|) / (2 |dmajor|)) in the
// direction of travel. visit(x, y, i) is called for the pixels whose major coordinate lies inside box.
template <class Visit>
void ThinLine(DevicePoint from, DevicePoint to, bool includeEnd, const TRect& box, Visit&& visit) {
    int64_t dx = to.X - from.X, dy = to.Y - from.Y;
    int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    int64_t n = std::max(adx, ady) + (includeEnd ? 1 : 0);
    if (n == 0 || box.IsEmpty()) return;
    bool xMajor = adx >= ady;
    int64_t maj0 = xMajor ? from.X : from.Y, min0 = xMajor ? from.Y : from.X;
    int64_t dmaj = xMajor ? adx : ady, dmin = xMajor ? ady : adx;
    int smaj = (xMajor ? dx : dy) < 0 ? -1 : 1, smin = (xMajor ? dy : dx) < 0 ? -1 : 1;
    int64_t lo = xMajor ? box.Left : box.Top, hi = xMajor ? box.Right : box.Bottom; // [lo, hi)
    // The steps whose major coordinate lies in [lo, hi).
    int64_t iFirst = smaj > 0 ? lo - maj0 : maj0 - (hi - 1);
    int64_t iLast = smaj > 0 ? hi - 1 - maj0 : maj0 - lo;
    iFirst = std::max<int64_t>(iFirst, 0);
    iLast = std::min<int64_t>(iLast, n - 1);
    if (iFirst > iLast) return;
    // The minor step k of pixel i, floor((2 i dmin + dmaj) / (2 dmaj)), found once and then carried:
    // the numerator grows by 2 dmin <= 2 dmaj a pixel, so k grows by at most one.
    const int64_t den = dmaj == 0 ? 1 : 2 * dmaj, add = 2 * dmin;
    int64_t k = 0, rem = 0;
    if (dmaj != 0 && iFirst == 0) {
        rem = dmaj; // the first pixel of a line that starts inside: k = floor(1 / 2)
    } else if (dmaj != 0) {
        const __int128 num = __int128{2} * iFirst * dmin + dmaj;
        k = FloorDiv(num, den);
        rem = static_cast<int64_t>(num - __int128{k} * den);
    }
    for (int64_t i = iFirst; i <= iLast; ++i) {
        int64_t m = maj0 + smaj * i;
        int64_t mi = min0 + smin * k;
        visit(xMajor ? m : mi, xMajor ? mi : m, i);
        rem += add;
        if (rem >= den) {
            rem -= den;
            ++k;
        }
    }
}

// A geometric stroke of the given width with round ends and joins through the points (one point: a
// dot): the pixels whose centre lies within width / 2 of a segment, the segments running through pixel
// centres for odd widths and through pixel corners (up-left) for even widths.
Region WideStroke(const std::vector<DevicePoint>& points, bool closed, int width, const TRect& box);

// The inside of a polygon by the alternate (even-odd) rule on pixel centres.
Region PolygonFill(const std::vector<DevicePoint>& points, const TRect& box);

// [x0, x1) of a shape on row y; x1 <= x0 when the row holds no pixel of it.
using RowSpan = std::pair<int64_t, int64_t>;
// The ellipse rule of Region.h.
RowSpan EllipseSpan(const TRect& box, int64_t y);
// A rectangle whose corners are quarters of a cw x ch ellipse.
RowSpan RoundRectSpan(const TRect& box, int cw, int ch, int64_t y);

// Counter-clockwise angle of a direction (y pointing down).
double AngleOf(double dx, double dy);
// Whether an angle lies in the counter-clockwise sweep from start to end (equal: the full turn).
bool InSweep(double angle, double start, double end);

// A shape given row by row, split into the pixels the brush fills and those the pen draws. A thin
// outline (penWidth 1) is every shape pixel with a 4-neighbour outside the shape; a wide one is the
// shape less inner (the shape shrunk by the pen width). Without an outline all of the shape is filled.
// keep, when given, keeps only the pixels of a sweep.
struct ShapeParts {
    Region Fill;
    Region Outline;
};
ShapeParts Shape(const TRect& box, const std::function<RowSpan(int64_t)>& span,
                 const std::function<RowSpan(int64_t)>& inner,
                 const std::function<bool(int64_t, int64_t)>& keep, bool fill, bool outline, int penWidth,
                 const TRect& clip);

// The two radii of a pie: thin lines, end points included, from the centre of box to the ellipse in
// the start and end directions.
Region PieRadii(const TRect& box, double start, double end, const TRect& clip);

// Nearest-neighbour scaling: the source offset of the destination pixel at `offset` from the destination
// edge, floor((offset + 0.5) x source / destination); negative extents mirror.
int64_t NearestSource(int64_t offset, int64_t sourceExtent, int64_t destExtent);

} // namespace platform::gfx::raster
