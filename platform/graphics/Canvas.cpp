#include "platform/graphics/Canvas.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace platform::gfx {

namespace {
constexpr uint32_t kMask = 0xFFFFFF;

// GDI R2 code - 1 of each pen mode: bit 3 = (P=1, D=1), bit 2 = (1, 0), bit 1 = (0, 1), bit 0 = (0, 0).
constexpr uint8_t kRop2Table[16] = {
    0,  // pmBlack        R2_BLACK
    15, // pmWhite        R2_WHITE
    10, // pmNop          R2_NOP
    5,  // pmNot          R2_NOT
    12, // pmCopy         R2_COPYPEN
    3,  // pmNotCopy      R2_NOTCOPYPEN
    13, // pmMergePenNot  R2_MERGEPENNOT
    4,  // pmMaskPenNot   R2_MASKPENNOT
    11, // pmMergeNotPen  R2_MERGENOTPEN
    2,  // pmMaskNotPen   R2_MASKNOTPEN
    14, // pmMerge        R2_MERGEPEN
    1,  // pmNotMerge     R2_NOTMERGEPEN
    8,  // pmMask         R2_MASKPEN
    7,  // pmNotMask      R2_NOTMASKPEN
    6,  // pmXor          R2_XORPEN
    9,  // pmNotXor       R2_NOTXORPEN
};

int64_t FloorDiv(__int128 a, __int128 b) {
    __int128 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return static_cast<int64_t>(q);
}

// Pen style patterns: lengths of alternating on/off runs.
const std::vector<int>& PatternOf(TPenStyle s) {
    static const std::vector<int> solid{}, dot{1, 1}, dash{18, 6}, dashDot{9, 6, 3, 6},
        dashDotDot{9, 3, 3, 3, 3, 3};
    switch (s) {
    case psDot:
        return dot;
    case psDash:
        return dash;
    case psDashDot:
        return dashDot;
    case psDashDotDot:
        return dashDotDot;
    default:
        return solid;
    }
}

bool PatternOn(const std::vector<int>& pat, int64_t i) {
    if (pat.empty()) return true;
    int total = 0;
    for (int v : pat)
        total += v;
    int64_t k = i % total;
    for (size_t j = 0; j < pat.size(); ++j) {
        if (k < pat[j]) return (j % 2) == 0;
        k -= pat[j];
    }
    return true;
}

// Collects pixels and spans into per-row lists, then makes a region.
class RegionBuilder {
public:
    void Add(int64_t y, int64_t x0, int64_t x1) {
        if (x1 <= x0) return;
        rows_[y].push_back({static_cast<int>(x0), static_cast<int>(x1)});
    }
    Region Build() const {
        if (rows_.empty()) return {};
        int64_t top = rows_.begin()->first, bottom = rows_.rbegin()->first + 1;
        std::vector<std::vector<Span>> rows(static_cast<size_t>(bottom - top));
        for (auto& [y, spans] : rows_)
            rows[static_cast<size_t>(y - top)] = spans;
        return Region::FromRows(static_cast<int>(top), std::move(rows));
    }

private:
    std::map<int64_t, std::vector<Span>> rows_;
};

double AngleOf(double dx, double dy) {
    return std::atan2(-dy, dx);
} // counter-clockwise, y down

bool InSweep(double ang, double start, double end) {
    const double twoPi = 2 * M_PI;
    double span = std::fmod(end - start + 2 * twoPi, twoPi);
    if (span == 0) return true;
    double a = std::fmod(ang - start + 2 * twoPi, twoPi);
    return a <= span;
}
} // namespace

uint32_t ApplyPenMode(TPenMode mode, uint32_t pen, uint32_t dst) {
    uint8_t t = kRop2Table[mode & 15];
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

Canvas::Canvas(Bitmap& target) : target_(&target) {}
Canvas::Canvas(Bitmap& target, TPoint origin, TRect visible)
    : target_(&target), origin_(origin), visible_(visible) {}

void Canvas::SetVisibleRect(const TRect& r) {
    visible_ = r;
    clipDirty_ = true;
}

void Canvas::SelectClipRgn(const Region* r) {
    if (r)
        appClip_ = *r;
    else
        appClip_.reset();
    clipDirty_ = true;
}

void Canvas::IntersectClipRect(const TRect& logical) {
    TRect d = logical.Offset(origin_.X, origin_.Y);
    Region base = appClip_ ? *appClip_ : Clip();
    appClip_ = base.Intersect(d);
    clipDirty_ = true;
}

const Region& Canvas::Clip() {
    if (clipDirty_ || clipGeneration_ != target_->Generation()) {
        TRect bounds{0, 0, target_->Width(), target_->Height()};
        if (visible_) bounds = bounds.Intersect(*visible_);
        clip_ = Region::FromRect(bounds);
        if (appClip_) clip_ = Region::Combine(clip_, *appClip_, RGN_AND);
        clipGeneration_ = target_->Generation();
        clipDirty_ = false;
    }
    return clip_;
}

TRect Canvas::ClipRect() {
    return Clip().Box().Offset(-origin_.X, -origin_.Y);
}

void Canvas::PaintPixel(int64_t x, int64_t y, uint32_t rgb, TPenMode mode) {
    if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return;
    int ix = static_cast<int>(x), iy = static_cast<int>(y);
    if (!Clip().Contains(ix, iy)) return;
    uint32_t d = target_->GetRgb(ix, iy);
    target_->SetRgb(ix, iy, mode == pmCopy ? rgb : ApplyPenMode(mode, rgb, d));
}

void Canvas::PaintSpans(const Region& r, uint32_t rgb, TPenMode mode) {
    Region c = Region::Combine(r, Clip(), RGN_AND);
    for (int i = 0; i < c.RowCount(); ++i) {
        int y = c.Top() + i;
        for (const Span& s : c.Row(y))
            for (int x = s.X0; x < s.X1; ++x) {
                if (mode == pmCopy) {
                    target_->SetRgb(x, y, rgb);
                } else {
                    target_->SetRgb(x, y, ApplyPenMode(mode, rgb, target_->GetRgb(x, y)));
                }
            }
    }
}

template <class F>
void Canvas::ThinSegment(int64_t x0, int64_t y0, int64_t x1, int64_t y1, bool includeEnd, F&& visit) {
    int64_t dx = x1 - x0, dy = y1 - y0;
    int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    int64_t n = std::max(adx, ady) + (includeEnd ? 1 : 0);
    if (n == 0) return;
    TRect box = Clip().Box();
    if (box.IsEmpty()) return;
    bool xMajor = adx >= ady;
    int64_t maj0 = xMajor ? x0 : y0, min0 = xMajor ? y0 : x0;
    int64_t dmaj = xMajor ? adx : ady, dmin = xMajor ? ady : adx;
    int smaj = (xMajor ? dx : dy) < 0 ? -1 : 1, smin = (xMajor ? dy : dx) < 0 ? -1 : 1;
    int64_t lo = xMajor ? box.Left : box.Top, hi = xMajor ? box.Right : box.Bottom; // [lo, hi)
    int64_t iFirst, iLast; // inclusive range of i whose major coordinate lies in [lo, hi)
    if (smaj > 0) {
        iFirst = lo - maj0;
        iLast = hi - 1 - maj0;
    } else {
        iFirst = maj0 - (hi - 1);
        iLast = maj0 - lo;
    }
    iFirst = std::max<int64_t>(iFirst, 0);
    iLast = std::min<int64_t>(iLast, n - 1);
    for (int64_t i = iFirst; i <= iLast; ++i) {
        int64_t m = maj0 + smaj * i;
        int64_t k =
            dmaj == 0 ? 0
                      : FloorDiv(static_cast<__int128>(2) * i * dmin + dmaj, static_cast<__int128>(2) * dmaj);
        int64_t mi = min0 + smin * k;
        int64_t x = xMajor ? m : mi, y = xMajor ? mi : m;
        visit(x, y, i);
    }
}

void Canvas::StrokeThin(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    if (Pen.Style == psClear) return;
    uint32_t rgb = ColorToRgb32(ColorToRGB(Pen.Color));
    const auto& pat = PatternOf(Pen.Style);
    bool opaqueGaps = Brush.Style != bsClear;
    uint32_t bg = ColorToRgb32(ColorToRGB(Brush.Color));
    ThinSegment(x0, y0, x1, y1, false, [&](int64_t x, int64_t y, int64_t i) {
        if (PatternOn(pat, i))
            PaintPixel(x, y, rgb, Pen.Mode);
        else if (opaqueGaps)
            PaintPixel(x, y, bg, Pen.Mode);
    });
}

Region Canvas::WideStroke(const std::vector<TPoint>& pts, bool closed, int width) {
    TRect box = Clip().Box();
    RegionBuilder rb;
    if (box.IsEmpty() || pts.empty()) return {};
    double r = width / 2.0;
    double off = (width % 2) ? 0.5 : 0.0;
    size_t segs = closed ? pts.size() : pts.size() - 1;
    if (pts.size() == 1) segs = 1;
    std::map<int64_t, std::pair<double, double>> rows;
    for (size_t s = 0; s < segs; ++s) {
        const TPoint& pa = pts[s];
        const TPoint& pb = pts.size() == 1 ? pts[0] : pts[(s + 1) % pts.size()];
        double ax = pa.X + origin_.X + off, ay = pa.Y + origin_.Y + off;
        double bx = pb.X + origin_.X + off, by = pb.Y + origin_.Y + off;
        double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy, len = std::sqrt(len2);
        int64_t y0 = static_cast<int64_t>(std::floor(std::min(ay, by) - r - 1));
        int64_t y1 = static_cast<int64_t>(std::ceil(std::max(ay, by) + r + 1));
        y0 = std::max<int64_t>(y0, box.Top);
        y1 = std::min<int64_t>(y1, box.Bottom - 1);
        for (int64_t py = y0; py <= y1; ++py) {
            double Y = py + 0.5;
            double lo = INFINITY, hi = -INFINITY;
            auto disk = [&](double cx, double cy) {
                double q = r * r - (Y - cy) * (Y - cy);
                if (q < 0) return;
                double h = std::sqrt(q);
                lo = std::min(lo, cx - h);
                hi = std::max(hi, cx + h);
            };
            disk(ax, ay);
            disk(bx, by);
            if (len2 > 0) {
                double sLo = -INFINITY, sHi = INFINITY;
                bool ok = true;
                // |cross| <= r len, cross = (X - ax) dy - (Y - ay) dx
                if (dy != 0) {
                    double c1 = ax + ((Y - ay) * dx - r * len) / dy, c2 = ax + ((Y - ay) * dx + r * len) / dy;
                    sLo = std::max(sLo, std::min(c1, c2));
                    sHi = std::min(sHi, std::max(c1, c2));
                } else if (std::fabs((Y - ay) * dx) > r * len) {
                    ok = false;
                }
                // 0 <= dot <= len2, dot = (X - ax) dx + (Y - ay) dy
                if (dx != 0) {
                    double d1 = ax + (0 - (Y - ay) * dy) / dx, d2 = ax + (len2 - (Y - ay) * dy) / dx;
                    sLo = std::max(sLo, std::min(d1, d2));
                    sHi = std::min(sHi, std::max(d1, d2));
                } else {
                    double dot = (Y - ay) * dy;
                    if (dot < 0 || dot > len2) ok = false;
                }
                if (ok && sLo <= sHi) {
                    lo = std::min(lo, sLo);
                    hi = std::max(hi, sHi);
                }
            }
            if (lo > hi) continue;
            int64_t x0 = static_cast<int64_t>(std::ceil(lo - 0.5));
            int64_t x1 = static_cast<int64_t>(std::floor(hi - 0.5)) + 1;
            x0 = std::max<int64_t>(x0, box.Left);
            x1 = std::min<int64_t>(x1, box.Right);
            if (x1 > x0) rb.Add(py, x0, x1);
        }
    }
    return rb.Build();
}

void Canvas::DrawOutline(const std::vector<TPoint>& pts, bool closed) {
    if (Pen.Style == psClear || pts.empty()) return;
    if (Pen.Width > 1) {
        PaintSpans(WideStroke(pts, closed, Pen.Width), ColorToRgb32(ColorToRGB(Pen.Color)), Pen.Mode);
        return;
    }
    size_t n = pts.size();
    for (size_t i = 0; i + 1 < n; ++i)
        StrokeThin(static_cast<int64_t>(pts[i].X) + origin_.X, static_cast<int64_t>(pts[i].Y) + origin_.Y,
                   static_cast<int64_t>(pts[i + 1].X) + origin_.X,
                   static_cast<int64_t>(pts[i + 1].Y) + origin_.Y);
    if (closed && n > 1)
        StrokeThin(static_cast<int64_t>(pts[n - 1].X) + origin_.X,
                   static_cast<int64_t>(pts[n - 1].Y) + origin_.Y, static_cast<int64_t>(pts[0].X) + origin_.X,
                   static_cast<int64_t>(pts[0].Y) + origin_.Y);
}

void Canvas::LineTo(int x, int y) {
    DrawOutline({PenPos, {x, y}}, false);
    PenPos = {x, y};
}

void Canvas::Polyline(const std::vector<TPoint>& points) {
    if (points.size() < 2) return;
    DrawOutline(points, false);
}

void Canvas::Polygon(const std::vector<TPoint>& points) {
    if (points.size() < 2) return;
    TRect box = Clip().Box();
    if (Brush.Style != bsClear && points.size() >= 3 && !box.IsEmpty()) {
        RegionBuilder rb;
        int64_t ymin = INT64_MAX, ymax = INT64_MIN;
        for (auto& p : points) {
            ymin = std::min<int64_t>(ymin, static_cast<int64_t>(p.Y) + origin_.Y);
            ymax = std::max<int64_t>(ymax, static_cast<int64_t>(p.Y) + origin_.Y);
        }
        ymin = std::max<int64_t>(ymin, box.Top);
        ymax = std::min<int64_t>(ymax, box.Bottom - 1);
        std::vector<double> xs;
        for (int64_t py = ymin; py <= ymax; ++py) {
            double Y = py + 0.5;
            xs.clear();
            for (size_t i = 0; i < points.size(); ++i) {
                const TPoint& a = points[i];
                const TPoint& b = points[(i + 1) % points.size()];
                double ay = static_cast<double>(a.Y) + origin_.Y, by = static_cast<double>(b.Y) + origin_.Y;
                if (ay == by) continue;
                if (Y < std::min(ay, by) || Y >= std::max(ay, by)) continue;
                double ax = static_cast<double>(a.X) + origin_.X, bx = static_cast<double>(b.X) + origin_.X;
                xs.push_back(ax + (Y - ay) * (bx - ax) / (by - ay));
            }
            std::sort(xs.begin(), xs.end());
            for (size_t i = 0; i + 1 < xs.size(); i += 2) {
                int64_t x0 = static_cast<int64_t>(std::ceil(xs[i] - 0.5));
                int64_t x1 = static_cast<int64_t>(std::ceil(xs[i + 1] - 0.5));
                x0 = std::max<int64_t>(x0, box.Left);
                x1 = std::min<int64_t>(x1, box.Right);
                rb.Add(py, x0, x1);
            }
        }
        PaintSpans(rb.Build(), ColorToRgb32(ColorToRGB(Brush.Color)), pmCopy);
    }
    DrawOutline(points, true);
}

void Canvas::FillRect(const TRect& r) {
    if (Brush.Style == bsClear) return;
    PaintSpans(Region::FromRect(r.Offset(origin_.X, origin_.Y).Intersect(Clip().Box())),
               ColorToRgb32(ColorToRGB(Brush.Color)), pmCopy);
}

void Canvas::FrameRect(const TRect& r) {
    if (r.IsEmpty()) return;
    TRect d = r.Offset(origin_.X, origin_.Y);
    Region outer = Region::FromRect(d.Intersect(Clip().Box()));
    TRect in{d.Left + 1, d.Top + 1, d.Right - 1, d.Bottom - 1};
    Region ring = Region::Combine(outer, Region::FromRect(in.Intersect(Clip().Box())), RGN_DIFF);
    PaintSpans(ring, ColorToRgb32(ColorToRGB(Brush.Color)), pmCopy);
}

void Canvas::Rectangle(int l, int t, int r, int b) {
    if (r < l) std::swap(l, r);
    if (b < t) std::swap(t, b);
    bool pen = Pen.Style != psClear;
    TRect d = TRect{l, t, r, b}.Offset(origin_.X, origin_.Y);
    TRect box = Clip().Box();
    int w = pen ? std::max(1, Pen.Width) : 0;
    if (Brush.Style != bsClear) {
        TRect in = pen ? TRect{d.Left + w, d.Top + w, d.Right - w, d.Bottom - w}
                       : TRect{d.Left, d.Top, d.Right - 1, d.Bottom - 1};
        PaintSpans(Region::FromRect(in.Intersect(box)), ColorToRgb32(ColorToRGB(Brush.Color)), pmCopy);
    }
    if (!pen || d.IsEmpty()) return;
    if (w == 1) {
        std::vector<TPoint> pts{{l, t}, {r - 1, t}, {r - 1, b - 1}, {l, b - 1}};
        if (r - l == 1 || b - t == 1) {
            // A one-pixel-wide box: its pixels once.
            Region line = Region::FromRect(d.Intersect(box));
            PaintSpans(line, ColorToRgb32(ColorToRGB(Pen.Color)), Pen.Mode);
            return;
        }
        DrawOutline(pts, true);
        return;
    }
    Region outer = Region::FromRect(d.Intersect(box));
    TRect in{d.Left + w, d.Top + w, d.Right - w, d.Bottom - w};
    PaintSpans(Region::Combine(outer, Region::FromRect(in.Intersect(box)), RGN_DIFF),
               ColorToRgb32(ColorToRGB(Pen.Color)), Pen.Mode);
}

template <class SpanFn, class InnerFn, class Filter>
void Canvas::PaintShape(const TRect& box, SpanFn span, InnerFn inner, Filter filter, bool fill, bool outline,
                        const Region* extraOutline) {
    TRect clip = Clip().Box();
    int64_t y0 = std::max<int64_t>(box.Top, clip.Top), y1 = std::min<int64_t>(box.Bottom, clip.Bottom);
    RegionBuilder fillRb, lineRb;
    int w = std::max(1, Pen.Width);
    auto addFiltered = [&](RegionBuilder& rb, int64_t y, int64_t a, int64_t b) {
        a = std::max<int64_t>(a, clip.Left);
        b = std::min<int64_t>(b, clip.Right);
        if (b <= a) return;
        int64_t start = -1;
        for (int64_t x = a; x < b; ++x) {
            bool in = filter(x, y);
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
        int64_t ia, ib; // interior [ia, ib)
        if (!outline) {
            ia = a;
            ib = b;
        } else if (w == 1) {
            auto [pa, pb] = span(y - 1);
            auto [na, nb] = span(y + 1);
            if (pb <= pa || nb <= na) {
                ia = ib = a;
            } else {
                ia = std::max({pa, a + 1, na});
                ib = std::min({pb, b - 1, nb});
            }
        } else {
            auto [qa, qb] = inner(y);
            ia = qa;
            ib = qb;
        }
        if (ib <= ia) {
            if (outline) addFiltered(lineRb, y, a, b);
            continue;
        }
        if (fill) addFiltered(fillRb, y, ia, ib);
        if (outline) {
            addFiltered(lineRb, y, a, ia);
            addFiltered(lineRb, y, ib, b);
        }
    }
    if (fill) PaintSpans(fillRb.Build(), ColorToRgb32(ColorToRGB(Brush.Color)), pmCopy);
    if (outline) {
        Region line = lineRb.Build();
        if (extraOutline) line = Region::Combine(line, *extraOutline, RGN_OR);
        PaintSpans(line, ColorToRgb32(ColorToRGB(Pen.Color)), Pen.Mode);
    }
}

namespace {
TRect Normalised(int l, int t, int r, int b) {
    if (r < l) std::swap(l, r);
    if (b < t) std::swap(t, b);
    return {l, t, r, b};
}
std::pair<int64_t, int64_t> EllipseSpan(const TRect& box, int64_t y) {
    int64_t a, b;
    if (y < box.Top || y >= box.Bottom) return {0, 0};
    EllipseRowSpan(box, y, a, b);
    return {a, b};
}
std::pair<int64_t, int64_t> RoundRectSpan(const TRect& box, int cw, int ch, int64_t y) {
    if (y < box.Top || y >= box.Bottom) return {0, 0};
    cw = std::min(cw, box.Width());
    ch = std::min(ch, box.Height());
    if (cw <= 1 || ch <= 1) return {box.Left, box.Right};
    int64_t top = box.Top + ch / 2, bottom = box.Bottom - (ch - ch / 2);
    if (y >= top && y < bottom) return {box.Left, box.Right};
    // Corner ellipse of cw x ch placed at the corresponding corner.
    TRect corner = y < top ? TRect{box.Left, box.Top, box.Left + cw, box.Top + ch}
                           : TRect{box.Left, box.Bottom - ch, box.Left + cw, box.Bottom};
    int64_t a, b;
    EllipseRowSpan(corner, y, a, b);
    if (b <= a) return {0, 0};
    int64_t leftInset = a - box.Left;
    return {box.Left + leftInset, box.Right - leftInset};
}
} // namespace

void Canvas::Ellipse(int l, int t, int r, int b) {
    TRect box = Normalised(l, t, r, b).Offset(origin_.X, origin_.Y);
    int w = std::max(1, Pen.Width);
    TRect innerBox{box.Left + w, box.Top + w, box.Right - w, box.Bottom - w};
    PaintShape(
        box, [&](int64_t y) { return EllipseSpan(box, y); },
        [&](int64_t y) { return EllipseSpan(innerBox, y); }, [](int64_t, int64_t) { return true; },
        Brush.Style != bsClear, Pen.Style != psClear, nullptr);
}

void Canvas::RoundRect(int l, int t, int r, int b, int cw, int ch) {
    TRect box = Normalised(l, t, r, b).Offset(origin_.X, origin_.Y);
    int w = std::max(1, Pen.Width);
    TRect innerBox{box.Left + w, box.Top + w, box.Right - w, box.Bottom - w};
    PaintShape(
        box, [&](int64_t y) { return RoundRectSpan(box, cw, ch, y); },
        [&](int64_t y) {
            return RoundRectSpan(innerBox, std::max(0, cw - 2 * w), std::max(0, ch - 2 * w), y);
        },
        [](int64_t, int64_t) { return true; }, Brush.Style != bsClear, Pen.Style != psClear, nullptr);
}

void Canvas::Arc(int l, int t, int r, int b, int x3, int y3, int x4, int y4) {
    if (Pen.Style == psClear) return;
    TRect box = Normalised(l, t, r, b).Offset(origin_.X, origin_.Y);
    double cx = (static_cast<double>(box.Left) + box.Right) / 2,
           cy = (static_cast<double>(box.Top) + box.Bottom) / 2;
    double s = AngleOf(x3 + origin_.X - cx, y3 + origin_.Y - cy),
           e = AngleOf(x4 + origin_.X - cx, y4 + origin_.Y - cy);
    int w = std::max(1, Pen.Width);
    TRect innerBox{box.Left + w, box.Top + w, box.Right - w, box.Bottom - w};
    PaintShape(
        box, [&](int64_t y) { return EllipseSpan(box, y); },
        [&](int64_t y) { return EllipseSpan(innerBox, y); },
        [&](int64_t x, int64_t y) { return InSweep(AngleOf(x + 0.5 - cx, y + 0.5 - cy), s, e); }, false, true,
        nullptr);
}

void Canvas::Pie(int l, int t, int r, int b, int x3, int y3, int x4, int y4) {
    TRect box = Normalised(l, t, r, b).Offset(origin_.X, origin_.Y);
    double cx = (static_cast<double>(box.Left) + box.Right) / 2,
           cy = (static_cast<double>(box.Top) + box.Bottom) / 2;
    double s = AngleOf(x3 + origin_.X - cx, y3 + origin_.Y - cy),
           e = AngleOf(x4 + origin_.X - cx, y4 + origin_.Y - cy);
    int w = std::max(1, Pen.Width);
    TRect innerBox{box.Left + w, box.Top + w, box.Right - w, box.Bottom - w};
    // The two radii as thin lines from the centre to the ellipse.
    RegionBuilder radii;
    double ra = box.Width() / 2.0, rb = box.Height() / 2.0;
    TRect clip = Clip().Box();
    if (Pen.Style != psClear && ra > 0 && rb > 0) {
        for (double ang : {s, e}) {
            double ux = std::cos(ang), uy = -std::sin(ang);
            double k = 1.0 / std::sqrt((ux / ra) * (ux / ra) + (uy / rb) * (uy / rb));
            int64_t ex = static_cast<int64_t>(std::floor(cx + ux * k - 0.5 + 0.5));
            int64_t ey = static_cast<int64_t>(std::floor(cy + uy * k - 0.5 + 0.5));
            int64_t ccx = static_cast<int64_t>(std::floor(cx)), ccy = static_cast<int64_t>(std::floor(cy));
            ex = std::clamp<int64_t>(ex, box.Left, box.Right - 1);
            ey = std::clamp<int64_t>(ey, box.Top, box.Bottom - 1);
            ThinSegment(ccx, ccy, ex, ey, true, [&](int64_t x, int64_t y, int64_t) {
                if (clip.Contains(static_cast<int>(x), static_cast<int>(y))) radii.Add(y, x, x + 1);
            });
        }
    }
    Region radiiRgn = radii.Build();
    PaintShape(
        box, [&](int64_t y) { return EllipseSpan(box, y); },
        [&](int64_t y) { return EllipseSpan(innerBox, y); },
        [&](int64_t x, int64_t y) { return InSweep(AngleOf(x + 0.5 - cx, y + 0.5 - cy), s, e); },
        Brush.Style != bsClear, Pen.Style != psClear, &radiiRgn);
}

void Canvas::FillRgn(const Region& r) {
    if (Brush.Style == bsClear) return;
    PaintSpans(r, ColorToRgb32(ColorToRGB(Brush.Color)), pmCopy);
}

void Canvas::Frame3D(TRect& rect, TColor top, TColor bottom, int width) {
    Pen.Width = 1;
    --rect.Bottom;
    --rect.Right;
    while (width > 0) {
        --width;
        TPoint topRight{rect.Right, rect.Top}, bottomLeft{rect.Left, rect.Bottom};
        Pen.Color = top;
        Polyline({bottomLeft, {rect.Left, rect.Top}, topRight});
        Pen.Color = bottom;
        --bottomLeft.X;
        Polyline({topRight, {rect.Right, rect.Bottom}, bottomLeft});
        rect = {rect.Left + 1, rect.Top + 1, rect.Right - 1, rect.Bottom - 1};
    }
    ++rect.Bottom;
    ++rect.Right;
}

TColor Canvas::GetPixel(int x, int y) {
    int64_t dx = static_cast<int64_t>(x) + origin_.X, dy = static_cast<int64_t>(y) + origin_.Y;
    if (dx < 0 || dy < 0 || dx >= target_->Width() || dy >= target_->Height()) return -1;
    return target_->GetPixel(static_cast<int>(dx), static_cast<int>(dy));
}

void Canvas::SetPixel(int x, int y, TColor c) {
    PaintPixel(static_cast<int64_t>(x) + origin_.X, static_cast<int64_t>(y) + origin_.Y,
               ColorToRgb32(ColorToRGB(c)), pmCopy);
}

// ---- text ----

int Canvas::TextWidth(const std::string& text) const {
    return MeasureText(Font, text);
}
int Canvas::TextHeight(const std::string&) const {
    return GetTextMetrics(Font).Height;
}
TSize Canvas::TextExtent(const std::string& text) const {
    return {TextWidth(text), TextHeight(text)};
}

void Canvas::TextOut(int x, int y, const std::string& text) {
    TextOutImpl(x, y, text, nullptr);
}
void Canvas::TextRect(const TRect& clip, int x, int y, const std::string& text) {
    TextOutImpl(x, y, text, &clip);
}

void Canvas::TextOutImpl(int x, int y, const std::string& text, const TRect* clipLogical) {
    TextMask m = RenderText(Font, text);
    if (m.Width == 0 || m.Height == 0) return;
    int rx = 0, ry = 0;
    switch (TextAlign & 6) {
    case TA_RIGHT:
        rx = m.Width;
        break;
    case TA_CENTER:
        rx = m.Width / 2;
        break;
    default:
        break;
    }
    switch (TextAlign & 24) {
    case TA_BOTTOM:
        ry = m.Height;
        break;
    case TA_BASELINE:
        ry = m.Ascent;
        break;
    default:
        break;
    }
    TRect box = Clip().Box();
    if (clipLogical) box = box.Intersect(clipLogical->Offset(origin_.X, origin_.Y));
    if (box.IsEmpty()) return;
    uint32_t ink = ColorToRgb32(ColorToRGB(Font.Color()));
    uint32_t bg = ColorToRgb32(ColorToRGB(Brush.Color));
    bool opaque = Brush.Style != bsClear;
    double ox = static_cast<double>(x) + origin_.X, oy = static_cast<double>(y) + origin_.Y;
    const Region& clip = Clip();
    auto put = [&](int64_t X, int64_t Y, uint32_t c) {
        if (!box.Contains(static_cast<int>(X), static_cast<int>(Y))) return;
        if (!clip.Contains(static_cast<int>(X), static_cast<int>(Y))) return;
        target_->SetRgb(static_cast<int>(X), static_cast<int>(Y), c);
    };
    int orient = ((Font.Orientation() % 3600) + 3600) % 3600;
    if (orient == 0) {
        int64_t left = static_cast<int64_t>(ox) - rx, top = static_cast<int64_t>(oy) - ry;
        for (int v = 0; v < m.Height; ++v) {
            int64_t Y = top + v;
            if (Y < box.Top || Y >= box.Bottom) continue;
            for (int u = 0; u < m.Width; ++u) {
                bool on = m.Ink[static_cast<size_t>(v * m.Width + u)];
                if (on)
                    put(left + u, Y, ink);
                else if (opaque)
                    put(left + u, Y, bg);
            }
        }
        return;
    }
    double th = orient * M_PI / 1800.0, c = std::cos(th), s = std::sin(th);
    // Destination bounding box of the rotated cell.
    double xsMin = INFINITY, xsMax = -INFINITY, ysMin = INFINITY, ysMax = -INFINITY;
    for (auto [u, v] : {std::pair{0, 0}, {m.Width, 0}, {0, m.Height}, {m.Width, m.Height}}) {
        double a = u - rx, b = v - ry;
        double X = ox + a * c + b * s, Y = oy - a * s + b * c;
        xsMin = std::min(xsMin, X);
        xsMax = std::max(xsMax, X);
        ysMin = std::min(ysMin, Y);
        ysMax = std::max(ysMax, Y);
    }
    int64_t X0 = std::max<int64_t>(static_cast<int64_t>(std::floor(xsMin)) - 1, box.Left);
    int64_t X1 = std::min<int64_t>(static_cast<int64_t>(std::ceil(xsMax)) + 1, box.Right - 1);
    int64_t Y0 = std::max<int64_t>(static_cast<int64_t>(std::floor(ysMin)) - 1, box.Top);
    int64_t Y1 = std::min<int64_t>(static_cast<int64_t>(std::ceil(ysMax)) + 1, box.Bottom - 1);
    for (int64_t Y = Y0; Y <= Y1; ++Y)
        for (int64_t X = X0; X <= X1; ++X) {
            double dX = X + 0.5 - ox, dY = Y + 0.5 - oy;
            double a = dX * c - dY * s, b = dX * s + dY * c;
            double u = a + rx, v = b + ry;
            if (u < 0 || v < 0 || u >= m.Width || v >= m.Height) continue;
            int iu = static_cast<int>(u), iv = static_cast<int>(v);
            bool on = m.Ink[static_cast<size_t>(iv * m.Width + iu)];
            if (on)
                put(X, Y, ink);
            else if (opaque)
                put(X, Y, bg);
        }
}

// ---- blits ----

void Canvas::Blit(const TRect& dest, const Bitmap& src, const TRect& srcRect, uint32_t rop, bool transparent,
                  uint32_t transparentRgb) {
    int64_t dw = static_cast<int64_t>(dest.Right) - dest.Left,
            dh = static_cast<int64_t>(dest.Bottom) - dest.Top;
    int64_t sw = static_cast<int64_t>(srcRect.Right) - srcRect.Left,
            sh = static_cast<int64_t>(srcRect.Bottom) - srcRect.Top;
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;
    int64_t dl = std::min<int64_t>(dest.Left, dest.Right) + origin_.X,
            dr = std::max<int64_t>(dest.Left, dest.Right) + origin_.X;
    int64_t dt = std::min<int64_t>(dest.Top, dest.Bottom) + origin_.Y,
            db = std::max<int64_t>(dest.Top, dest.Bottom) + origin_.Y;
    TRect box = Clip().Box();
    const Region& clip = Clip();
    uint32_t pat = ColorToRgb32(ColorToRGB(Brush.Color));
    int64_t L = static_cast<int64_t>(dest.Left) + origin_.X, T = static_cast<int64_t>(dest.Top) + origin_.Y;
    for (int64_t Y = std::max<int64_t>(dt, box.Top); Y < std::min<int64_t>(db, box.Bottom); ++Y) {
        // Source row: floor((Y + 0.5 - T) * sh / dh) in source-rect units, signs handle mirroring.
        int64_t srcY = srcRect.Top +
                       FloorDiv(static_cast<__int128>(2 * (Y - T) + 1) * sh, static_cast<__int128>(2) * dh);
        for (int64_t X = std::max<int64_t>(dl, box.Left); X < std::min<int64_t>(dr, box.Right); ++X) {
            if (!clip.Contains(static_cast<int>(X), static_cast<int>(Y))) continue;
            int64_t srcX = srcRect.Left + FloorDiv(static_cast<__int128>(2 * (X - L) + 1) * sw,
                                                   static_cast<__int128>(2) * dw);
            if (srcX < 0 || srcY < 0 || srcX >= src.Width() || srcY >= src.Height()) continue;
            uint32_t s = src.GetRgb(static_cast<int>(srcX), static_cast<int>(srcY));
            if (transparent && s == transparentRgb) continue;
            uint32_t d = target_->GetRgb(static_cast<int>(X), static_cast<int>(Y));
            uint32_t r = rop == SRCCOPY ? s : ApplyRop3(rop, pat, s, d);
            target_->SetRgb(static_cast<int>(X), static_cast<int>(Y), r);
        }
    }
}

void Canvas::Draw(int x, int y, const Bitmap& source) {
    if (source.Empty()) return;
    Blit({x, y, x + source.Width(), y + source.Height()}, source, {0, 0, source.Width(), source.Height()},
         source.Transparent ? SRCCOPY : CopyMode, source.Transparent,
         ColorToRgb32(ColorToRGB(source.GetTransparentColor())));
}

void Canvas::StretchDraw(const TRect& dest, const Bitmap& source) {
    if (source.Empty()) return;
    Blit(dest, source, {0, 0, source.Width(), source.Height()}, source.Transparent ? SRCCOPY : CopyMode,
         source.Transparent, ColorToRgb32(ColorToRGB(source.GetTransparentColor())));
}

void Canvas::CopyRect(const TRect& dest, Canvas& source, const TRect& sourceRect) {
    TRect sr = sourceRect.Offset(source.origin_.X, source.origin_.Y);
    if (&source.Target() == target_) {
        Bitmap copy(*target_); // overlapping copies read the old pixels
        Blit(dest, copy, sr, CopyMode, false, 0);
    } else {
        Blit(dest, source.Target(), sr, CopyMode, false, 0);
    }
}

void Canvas::CopyRectFrom(const TRect& dest, const Bitmap& source, const TRect& sourceRect) {
    Blit(dest, source, sourceRect, CopyMode, false, 0);
}

Canvas::State Canvas::Save() const {
    return {Pen, Brush, Font, CopyMode, TextAlign, PenPos, origin_, appClip_};
}

void Canvas::Restore(const State& s) {
    Pen = s.pen;
    Brush = s.brush;
    Font.Assign(s.font);
    CopyMode = s.copyMode;
    TextAlign = s.textAlign;
    PenPos = s.penPos;
    origin_ = s.origin;
    appClip_ = s.appClip;
    clipDirty_ = true;
}

} // namespace platform::gfx
