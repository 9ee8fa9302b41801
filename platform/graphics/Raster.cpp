#include "platform/graphics/Raster.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace platform::gfx::raster {

int64_t FloorDiv(__int128 a, __int128 b) {
    __int128 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return static_cast<int64_t>(q);
}

void RegionBuilder::Add(int64_t y, int64_t x0, int64_t x1) {
    if (x1 <= x0) return;
    rows_[y].push_back({static_cast<int>(x0), static_cast<int>(x1)});
}

Region RegionBuilder::Build() const {
    if (rows_.empty()) return {};
    int64_t top = rows_.begin()->first, bottom = rows_.rbegin()->first + 1;
    std::vector<std::vector<Span>> rows(static_cast<size_t>(bottom - top));
    for (auto& [y, spans] : rows_)
        rows[static_cast<size_t>(y - top)] = spans;
    return Region::FromRows(static_cast<int>(top), std::move(rows));
}

DashWalker::DashWalker(const std::vector<int>& runs, int64_t first) : runs_(runs) {
    if (runs.empty()) return;
    int total = 0;
    for (int v : runs)
        total += v;
    int64_t k = first % total;
    while (k >= runs[run_]) {
        k -= runs[run_];
        ++run_;
    }
    left_ = runs[run_] - static_cast<int>(k);
}

namespace {

// The x interval [lo, hi] of row centre Y within r of the segment a-b (with its round ends), widened
// to what lo and hi already hold.
void StrokeRow(double ax, double ay, double bx, double by, double r, double Y, double& lo, double& hi) {
    auto disk = [&](double cx, double cy) {
        double q = r * r - (Y - cy) * (Y - cy);
        if (q < 0) return;
        double h = std::sqrt(q);
        lo = std::min(lo, cx - h);
        hi = std::max(hi, cx + h);
    };
    disk(ax, ay);
    disk(bx, by);
    double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy, len = std::sqrt(len2);
    if (len2 <= 0) return;
    double sLo = -INFINITY, sHi = INFINITY;
    // |cross| <= r len, cross = (X - ax) dy - (Y - ay) dx
    if (dy != 0) {
        double c1 = ax + ((Y - ay) * dx - r * len) / dy, c2 = ax + ((Y - ay) * dx + r * len) / dy;
        sLo = std::max(sLo, std::min(c1, c2));
        sHi = std::min(sHi, std::max(c1, c2));
    } else if (std::fabs((Y - ay) * dx) > r * len) {
        return;
    }
    // 0 <= dot <= len2, dot = (X - ax) dx + (Y - ay) dy
    if (dx != 0) {
        double d1 = ax + (0 - (Y - ay) * dy) / dx, d2 = ax + (len2 - (Y - ay) * dy) / dx;
        sLo = std::max(sLo, std::min(d1, d2));
        sHi = std::min(sHi, std::max(d1, d2));
    } else {
        double dot = (Y - ay) * dy;
        if (dot < 0 || dot > len2) return;
    }
    if (sLo <= sHi) {
        lo = std::min(lo, sLo);
        hi = std::max(hi, sHi);
    }
}

} // namespace

Region WideStroke(const std::vector<DevicePoint>& points, bool closed, int width, const TRect& box) {
    if (box.IsEmpty() || points.empty()) return {};
    RegionBuilder rb;
    double r = width / 2.0;
    double off = (width % 2) ? 0.5 : 0.0;
    size_t segments = points.size() == 1 ? 1 : closed ? points.size() : points.size() - 1;
    for (size_t s = 0; s < segments; ++s) {
        const DevicePoint& pa = points[s];
        const DevicePoint& pb = points.size() == 1 ? points[0] : points[(s + 1) % points.size()];
        double ax = static_cast<double>(pa.X) + off, ay = static_cast<double>(pa.Y) + off;
        double bx = static_cast<double>(pb.X) + off, by = static_cast<double>(pb.Y) + off;
        int64_t y0 = static_cast<int64_t>(std::floor(std::min(ay, by) - r - 1));
        int64_t y1 = static_cast<int64_t>(std::ceil(std::max(ay, by) + r + 1));
        y0 = std::max<int64_t>(y0, box.Top);
        y1 = std::min<int64_t>(y1, box.Bottom - 1);
        for (int64_t py = y0; py <= y1; ++py) {
            double lo = INFINITY, hi = -INFINITY;
            StrokeRow(ax, ay, bx, by, r, py + 0.5, lo, hi);
            if (lo > hi) continue;
            int64_t x0 = static_cast<int64_t>(std::ceil(lo - 0.5));
            int64_t x1 = static_cast<int64_t>(std::floor(hi - 0.5)) + 1;
            rb.Add(py, std::max<int64_t>(x0, box.Left), std::min<int64_t>(x1, box.Right));
        }
    }
    return rb.Build();
}

Region PolygonFill(const std::vector<DevicePoint>& points, const TRect& box) {
    if (box.IsEmpty() || points.size() < 3) return {};
    RegionBuilder rb;
    int64_t ymin = INT64_MAX, ymax = INT64_MIN;
    for (const DevicePoint& p : points) {
        ymin = std::min(ymin, p.Y);
        ymax = std::max(ymax, p.Y);
    }
    ymin = std::max<int64_t>(ymin, box.Top);
    ymax = std::min<int64_t>(ymax, box.Bottom - 1);
    std::vector<double> xs;
    for (int64_t py = ymin; py <= ymax; ++py) {
        double Y = py + 0.5;
        xs.clear();
        for (size_t i = 0; i < points.size(); ++i) {
            const DevicePoint& a = points[i];
            const DevicePoint& b = points[(i + 1) % points.size()];
            double ay = static_cast<double>(a.Y), by = static_cast<double>(b.Y);
            if (ay == by) continue;
            if (Y < std::min(ay, by) || Y >= std::max(ay, by)) continue;
            double ax = static_cast<double>(a.X), bx = static_cast<double>(b.X);
            xs.push_back(ax + (Y - ay) * (bx - ax) / (by - ay));
        }
        std::sort(xs.begin(), xs.end());
        for (size_t i = 0; i + 1 < xs.size(); i += 2) {
            int64_t x0 = static_cast<int64_t>(std::ceil(xs[i] - 0.5));
            int64_t x1 = static_cast<int64_t>(std::ceil(xs[i + 1] - 0.5));
            rb.Add(py, std::max<int64_t>(x0, box.Left), std::min<int64_t>(x1, box.Right));
        }
    }
    return rb.Build();
}

RowSpan EllipseSpan(const TRect& box, int64_t y) {
    if (y < box.Top || y >= box.Bottom) return {0, 0};
    int64_t a, b;
    EllipseRowSpan(box, y, a, b);
    return {a, b};
}

RowSpan RoundRectSpan(const TRect& box, int cw, int ch, int64_t y) {
    if (y < box.Top || y >= box.Bottom) return {0, 0};
    int64_t width = int64_t{box.Right} - box.Left, height = int64_t{box.Bottom} - box.Top;
    int64_t w = std::min<int64_t>(cw, width), h = std::min<int64_t>(ch, height);
    if (w <= 1 || h <= 1) return {box.Left, box.Right};
    int64_t top = box.Top + h / 2, bottom = box.Bottom - (h - h / 2);
    if (y >= top && y < bottom) return {box.Left, box.Right};
    // The corner ellipse of w x h at the left corner of this row's half; the right side mirrors it.
    int cornerW = static_cast<int>(w), cornerH = static_cast<int>(h);
    TRect corner = y < top ? TRect{box.Left, box.Top, box.Left + cornerW, box.Top + cornerH}
                           : TRect{box.Left, box.Bottom - cornerH, box.Left + cornerW, box.Bottom};
    int64_t a, b;
    EllipseRowSpan(corner, y, a, b);
    if (b <= a) return {0, 0};
    int64_t inset = a - box.Left;
    return {box.Left + inset, box.Right - inset};
}

double AngleOf(double dx, double dy) {
    return std::atan2(-dy, dx);
}

bool InSweep(double angle, double start, double end) {
    const double twoPi = 2 * M_PI;
    double span = std::fmod(end - start + 2 * twoPi, twoPi);
    if (span == 0) return true;
    double a = std::fmod(angle - start + 2 * twoPi, twoPi);
    return a <= span;
}

ShapeParts Shape(const TRect& box, const std::function<RowSpan(int64_t)>& span,
                 const std::function<RowSpan(int64_t)>& inner,
                 const std::function<bool(int64_t, int64_t)>& keep, bool fill, bool outline, int penWidth,
                 const TRect& clip) {
    int64_t y0 = std::max<int64_t>(box.Top, clip.Top), y1 = std::min<int64_t>(box.Bottom, clip.Bottom);
    RegionBuilder fillRb, lineRb;
    auto add = [&](RegionBuilder& rb, int64_t y, int64_t a, int64_t b) {
        a = std::max<int64_t>(a, clip.Left);
        b = std::min<int64_t>(b, clip.Right);
        if (b <= a) return;
        if (!keep) {
            rb.Add(y, a, b);
            return;
        }
        int64_t start = -1;
        for (int64_t x = a; x < b; ++x) {
            bool in = keep(x, y);
            if (in && start < 0) start = x;
            if (!in && start >= 0) {
                rb.Add(y, start, x);
                start = -1;
            }
        }
        if (start >= 0) rb.Add(y, start, b);
    };
    for (int64_t y = y0; y < y1; ++y) {
        auto [a, b] = span(y);
        if (b <= a) continue;
        int64_t ia, ib; // the interior [ia, ib)
        if (!outline) {
            ia = a;
            ib = b;
        } else if (penWidth == 1) {
            auto [pa, pb] = span(y - 1);
            auto [na, nb] = span(y + 1);
            if (pb <= pa || nb <= na) {
                ia = ib = a;
            } else {
                ia = std::max({pa, a + 1, na});
                ib = std::min({pb, b - 1, nb});
            }
        } else {
            std::tie(ia, ib) = inner(y);
        }
        if (ib <= ia) {
            if (outline) add(lineRb, y, a, b);
            continue;
        }
        if (fill) add(fillRb, y, ia, ib);
        if (outline) {
            add(lineRb, y, a, ia);
            add(lineRb, y, ib, b);
        }
    }
    return {fillRb.Build(), lineRb.Build()};
}

Region PieRadii(const TRect& box, double start, double end, const TRect& clip) {
    RegionBuilder radii;
    double ra = (static_cast<double>(box.Right) - box.Left) / 2.0;
    double rb = (static_cast<double>(box.Bottom) - box.Top) / 2.0;
    if (ra <= 0 || rb <= 0) return {};
    double cx = (static_cast<double>(box.Left) + box.Right) / 2;
    double cy = (static_cast<double>(box.Top) + box.Bottom) / 2;
    DevicePoint centre{static_cast<int64_t>(std::floor(cx)), static_cast<int64_t>(std::floor(cy))};
    for (double angle : {start, end}) {
        double ux = std::cos(angle), uy = -std::sin(angle);
        double k = 1.0 / std::sqrt((ux / ra) * (ux / ra) + (uy / rb) * (uy / rb));
        DevicePoint rim{static_cast<int64_t>(std::floor(cx + ux * k - 0.5 + 0.5)),
                        static_cast<int64_t>(std::floor(cy + uy * k - 0.5 + 0.5))};
        rim.X = std::clamp<int64_t>(rim.X, box.Left, int64_t{box.Right} - 1);
        rim.Y = std::clamp<int64_t>(rim.Y, box.Top, int64_t{box.Bottom} - 1);
        ThinLine(centre, rim, true, clip, [&](int64_t x, int64_t y, int64_t) {
            if (clip.Contains(static_cast<int>(x), static_cast<int>(y))) radii.Add(y, x, x + 1);
        });
    }
    return radii.Build();
}

int64_t NearestSource(int64_t offset, int64_t sourceExtent, int64_t destExtent) {
    return FloorDiv(static_cast<__int128>(2 * offset + 1) * sourceExtent, __int128{2} * destExtent);
}

} // namespace platform::gfx::raster
