#pragma once
// Regions: sets of pixels kept as sorted, disjoint spans per row, in device coordinates.
//
// Ellipse rule (shared by Canvas::Ellipse and elliptic regions): for the bounding box (l, t, r, b) with
// r and b exclusive, pixel (x, y) belongs to the ellipse when its centre (x + 0.5, y + 0.5) satisfies
// ((x + 0.5 - cx) / a)^2 + ((y + 0.5 - cy) / b)^2 <= 1 with cx = (l + r) / 2, cy = (t + b) / 2,
// a = (r - l) / 2, b = (b - t) / 2. A rectangle region holds exactly [l, r) x [t, b).
#include <cstdint>
#include <vector>

#include "platform/graphics/Types.h"

namespace platform::gfx {

struct Span {
    int X0; // first pixel
    int X1; // one past the last pixel
};

enum TRegionCombine { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };

class Region {
public:
    Region() = default;
    static Region FromRect(const TRect& r);
    static Region FromEllipse(const TRect& r);
    // Rows from `top` on, one span list per row.
    static Region FromRows(int top, std::vector<std::vector<Span>> rows);

    bool IsEmpty() const;
    TRect Box() const;
    bool Contains(int x, int y) const;
    void Offset(int dx, int dy);
    // Combine as CombineRgn: the result of (a mode b). RGN_COPY gives a.
    static Region Combine(const Region& a, const Region& b, TRegionCombine mode);
    Region Intersect(const TRect& r) const;

    int Top() const { return top_; }
    int RowCount() const { return static_cast<int>(rows_.size()); }
    // Spans of device row y (empty outside).
    const std::vector<Span>& Row(int y) const;

    friend bool operator==(const Region& a, const Region& b);

private:
    void Trim();
    int top_ = 0;
    std::vector<std::vector<Span>> rows_;
};

// Row interval of the ellipse rule above for row y: [x0, x1); x0 >= x1 when the row holds no pixel.
void EllipseRowSpan(const TRect& box, int64_t y, int64_t& x0, int64_t& x1);

} // namespace platform::gfx
