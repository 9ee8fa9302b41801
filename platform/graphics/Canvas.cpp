// The drawing verbs: each works out its device geometry (Raster.h) and paints it along the clip.
#include "platform/graphics/Canvas.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>

namespace platform::gfx {

namespace {

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

TRect Normalised(int l, int t, int r, int b) {
    if (r < l) std::swap(l, r);
    if (b < t) std::swap(t, b);
    return {l, t, r, b};
}

uint32_t Rgb(TColor c) {
    return ColorToRgb32(ColorToRGB(c));
}

// n 32-bit pixels copied as B, G, R with the fourth byte 0, as the pixel by pixel copy writes them.
void CopyWords(uint8_t* to, const uint8_t* from, int64_t n) {
    std::memcpy(to, from, static_cast<size_t>(4 * n));
    for (int64_t i = 3; i < 4 * n; i += 4)
        to[i] = 0;
}

TRect Shrunk(const TRect& box, int w) {
    return {box.Left + w, box.Top + w, box.Right - w, box.Bottom - w};
}

} // namespace

Canvas::Canvas(Bitmap& target) : target_(&target) {}
Canvas::Canvas(Bitmap& target, TPoint origin, TRect visible)
    : target_(&target), origin_(origin), visible_(visible) {}

// ---- coordinates and clip ----

Canvas::DevicePoint Canvas::ToDevice(int x, int y) const {
    return {int64_t{x} + origin_.X, int64_t{y} + origin_.Y};
}

TRect Canvas::ToDevice(const TRect& logical) const {
    auto held = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); };
    DevicePoint a = ToDevice(logical.Left, logical.Top), b = ToDevice(logical.Right, logical.Bottom);
    return {held(a.X), held(a.Y), held(b.X), held(b.Y)};
}

void Canvas::SetVisibleRect(const TRect& r) {
    if (visible_ == r) return; // a control's canvas is asked for again and again: its clip stays made
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
    Region base = appClip_ ? *appClip_ : Clip();
    appClip_ = base.Intersect(ToDevice(logical));
    clipDirty_ = true;
}

void Canvas::UpdateClip() {
    if (!clipDirty_ && clipGeneration_ == target_->Generation()) return;
    TRect bounds{0, 0, target_->Width(), target_->Height()};
    if (visible_) bounds = bounds.Intersect(*visible_);
    if (appClip_) {
        clip_ = Region::Combine(Region::FromRect(bounds), *appClip_, RGN_AND);
        clipBox_ = clip_.Box();
        clipIsBox_ = true;
        for (int y = clipBox_.Top; y < clipBox_.Bottom && clipIsBox_; ++y) {
            const std::vector<Span>& row = clip_.Row(y);
            clipIsBox_ = row.size() == 1 && row[0].X0 == clipBox_.Left && row[0].X1 == clipBox_.Right;
        }
        clipRowsMade_ = true;
    } else {
        // A plain rectangle, whose rows are made only when they are asked for (most painting needs the
        // box alone); a new size or clip makes them again.
        clipBox_ = bounds.IsEmpty() ? TRect{} : bounds;
        clipIsBox_ = true;
        clipRowsMade_ = false;
    }
    clipGeneration_ = target_->Generation();
    clipDirty_ = false;
}

const Region& Canvas::Clip() {
    UpdateClip();
    if (!clipRowsMade_) {
        clip_ = Region::FromRect(clipBox_);
        clipRowsMade_ = true;
    }
    return clip_;
}

TRect Canvas::ClipRect() {
    return ClipBox().Offset(-origin_.X, -origin_.Y);
}

const TRect& Canvas::ClipBox() {
    UpdateClip();
    return clipBox_;
}

template <class F> void Canvas::ForClipSpans(int64_t y, int64_t x0, int64_t x1, F&& paint) {
    if (x1 <= x0 || y < INT_MIN || y > INT_MAX) return;
    UpdateClip();
    if (clipIsBox_) { // each row of the box is one span, the rows outside it none
        if (y < clipBox_.Top || y >= clipBox_.Bottom) return;
        const int64_t a = std::max<int64_t>(x0, clipBox_.Left), b = std::min<int64_t>(x1, clipBox_.Right);
        if (a < b) paint(static_cast<int>(y), static_cast<int>(a), static_cast<int>(b));
        return;
    }
    for (const Span& s : Clip().Row(static_cast<int>(y))) {
        int64_t a = std::max<int64_t>(x0, s.X0), b = std::min<int64_t>(x1, s.X1);
        if (a < b) paint(static_cast<int>(y), static_cast<int>(a), static_cast<int>(b));
    }
}

// ---- painting ----

void Canvas::PutPixel(int x, int y, uint32_t rgb, TPenMode mode) {
    // 32-bit pixels are B, G, R, 0 bytes: a copy writes a whole word.
    static_assert(std::endian::native == std::endian::little);
    if (mode == pmCopy && target_->BitsPerPixel() == 32) {
        const uint32_t word = rgb & 0xFFFFFF;
        std::memcpy(target_->ScanLine(y) + 4 * static_cast<size_t>(x), &word, 4);
        return;
    }
    target_->SetRgb(x, y, mode == pmCopy ? rgb : ApplyPenMode(mode, rgb, target_->GetRgb(x, y)));
}

void Canvas::PaintRow(int y, int x0, int x1, uint32_t rgb, TPenMode mode) {
    if (mode == pmCopy && target_->BitsPerPixel() == 32) {
        if (x1 <= x0) return;
        // The first pixel, then what is done so far copied after itself: a long row in a few copies.
        const uint32_t word = rgb & 0xFFFFFF;
        uint8_t* start = target_->ScanLine(y) + 4 * static_cast<size_t>(x0);
        const size_t bytes = 4 * static_cast<size_t>(x1 - x0);
        std::memcpy(start, &word, 4);
        for (size_t done = 4; done < bytes;) {
            const size_t n = std::min(done, bytes - done);
            std::memcpy(start + done, start, n);
            done += n;
        }
        return;
    }
    for (int x = x0; x < x1; ++x)
        PutPixel(x, y, rgb, mode);
}

void Canvas::PaintPixel(int64_t x, int64_t y, uint32_t rgb, TPenMode mode) {
    const TRect& box = ClipBox();
    if (clipIsBox_) {
        if (x >= box.Left && x < box.Right && y >= box.Top && y < box.Bottom)
            PutPixel(static_cast<int>(x), static_cast<int>(y), rgb, mode);
        return;
    }
    if (x < INT_MIN || x >= INT_MAX) return;
    ForClipSpans(y, x, x + 1, [&](int row, int col, int) { PutPixel(col, row, rgb, mode); });
}

void Canvas::PaintSpans(const Region& r, uint32_t rgb, TPenMode mode) {
    TRect box = ClipBox();
    int top = std::max(r.Top(), box.Top), bottom = std::min(r.Top() + r.RowCount(), box.Bottom);
    for (int y = top; y < bottom; ++y)
        for (const Span& s : r.Row(y))
            ForClipSpans(y, s.X0, s.X1, [&](int row, int x0, int x1) { PaintRow(row, x0, x1, rgb, mode); });
}

void Canvas::PaintRect(const TRect& r, uint32_t rgb, TPenMode mode) {
    const TRect& box = ClipBox();
    if (!clipIsBox_) {
        PaintSpans(Region::FromRect(r), rgb, mode);
        return;
    }
    const TRect in = r.Intersect(box);
    for (int y = in.Top; y < in.Bottom; ++y)
        PaintRow(y, in.Left, in.Right, rgb, mode);
}

Canvas::ThinPen Canvas::PrepareThinPen() {
    ThinPen p{};
    p.rgb = Rgb(Pen.Color);
    p.bg = Rgb(Brush.Color);
    p.mode = Pen.Mode;
    p.opaqueGaps = Brush.Style != bsClear;
    p.pattern = &PatternOf(Pen.Style);
    p.box = ClipBox();
    p.boxOnly = clipIsBox_;
    if (p.mode == pmCopy && target_->BitsPerPixel() == 32 && !p.box.IsEmpty()) {
        p.words = target_->ScanLine(0);
        p.rowBytes = static_cast<size_t>(target_->RowBytes());
    }
    return p;
}

void Canvas::StrokeThin(const ThinPen& pen, DevicePoint from, DevicePoint to) {
    const TRect& box = pen.box;
    // Every pixel of a segment lies between its end points in both coordinates: one wholly beside the
    // box (as a frame drawn just outside the bitmap) paints nothing.
    if (std::max(from.X, to.X) < box.Left || std::min(from.X, to.X) >= box.Right ||
        std::max(from.Y, to.Y) < box.Top || std::min(from.Y, to.Y) >= box.Bottom)
        return;
    // One pixel of the line: through the clip region, or straight into the row when the clip is its box.
    auto paint = [&](int64_t x, int64_t y, uint32_t rgb) {
        if (!pen.boxOnly) {
            PaintPixel(x, y, rgb, pen.mode);
            return;
        }
        if (x < box.Left || x >= box.Right || y < box.Top || y >= box.Bottom) return;
        if (pen.words) {
            // 32-bit pixels are B, G, R, 0 bytes, as PutPixel writes them.
            static_assert(std::endian::native == std::endian::little);
            const uint32_t word = rgb & 0xFFFFFF;
            uint8_t* pixel = pen.words + static_cast<size_t>(y) * pen.rowBytes + 4 * static_cast<size_t>(x);
            std::memcpy(pixel, &word, 4);
            return;
        }
        PutPixel(static_cast<int>(x), static_cast<int>(y), rgb, pen.mode);
    };
    if (pen.pattern->empty()) { // solid: every pixel in the pen's colour, without a walk of the dashes
        raster::ThinLine(from, to, false, box, [&](int64_t x, int64_t y, int64_t) { paint(x, y, pen.rgb); });
        return;
    }
    std::optional<raster::DashWalker> dash;
    raster::ThinLine(from, to, false, box, [&](int64_t x, int64_t y, int64_t i) {
        if (!dash) dash.emplace(*pen.pattern, i);
        const bool on = dash->Next();
        if (on || pen.opaqueGaps) paint(x, y, on ? pen.rgb : pen.bg);
    });
}

void Canvas::DrawOutline(const std::vector<TPoint>& pts, bool closed) {
    if (Pen.Style == psClear || pts.empty()) return;
    if (Pen.Width > 1) {
        std::vector<DevicePoint> device;
        device.reserve(pts.size());
        for (const TPoint& p : pts)
            device.push_back(ToDevice(p));
        PaintSpans(raster::WideStroke(device, closed, Pen.Width, ClipBox()), Rgb(Pen.Color), Pen.Mode);
        return;
    }
    // Thin: segment by segment, each point placed once.
    const ThinPen pen = PrepareThinPen();
    const size_t n = pts.size();
    const DevicePoint first = ToDevice(pts[0]);
    DevicePoint from = first;
    for (size_t i = 1; i < n; ++i) {
        const DevicePoint to = ToDevice(pts[i]);
        StrokeThin(pen, from, to);
        from = to;
    }
    if (closed && n > 1) StrokeThin(pen, from, first);
}

void Canvas::DrawShape(const TRect& box, const std::function<raster::RowSpan(int64_t)>& span,
                       const std::function<raster::RowSpan(int64_t)>& inner,
                       const std::function<bool(int64_t, int64_t)>& keep, bool fill, bool outline,
                       const Region* extraOutline) {
    raster::ShapeParts parts =
        raster::Shape(box, span, inner, keep, fill, outline, std::max(1, Pen.Width), ClipBox());
    if (fill) PaintSpans(parts.Fill, Rgb(Brush.Color), pmCopy);
    if (!outline) return;
    if (extraOutline) parts.Outline = Region::Combine(parts.Outline, *extraOutline, RGN_OR);
    PaintSpans(parts.Outline, Rgb(Pen.Color), Pen.Mode);
}

// ---- lines and shapes ----

void Canvas::LineTo(int x, int y) {
    if (Pen.Style != psClear && Pen.Width <= 1)
        StrokeThin(PrepareThinPen(), ToDevice(PenPos),
                   ToDevice(x, y)); // DrawOutline's thin road, without a list
    else
        DrawOutline({PenPos, {x, y}}, false);
    PenPos = {x, y};
}

void Canvas::Polyline(const std::vector<TPoint>& points) {
    if (points.size() < 2) return;
    DrawOutline(points, false);
}

void Canvas::Polygon(const std::vector<TPoint>& points) {
    if (points.size() < 2) return;
    if (Brush.Style != bsClear) {
        std::vector<DevicePoint> device;
        for (const TPoint& p : points)
            device.push_back(ToDevice(p));
        PaintSpans(raster::PolygonFill(device, ClipBox()), Rgb(Brush.Color), pmCopy);
    }
    DrawOutline(points, true);
}

void Canvas::FillRect(const TRect& r) {
    if (Brush.Style == bsClear) return;
    PaintRect(ToDevice(r).Intersect(ClipBox()), Rgb(Brush.Color), pmCopy);
}

void Canvas::FrameRect(const TRect& r) {
    if (r.IsEmpty()) return;
    TRect d = ToDevice(r), box = ClipBox();
    Region outer = Region::FromRect(d.Intersect(box));
    Region ring = Region::Combine(outer, Region::FromRect(Shrunk(d, 1).Intersect(box)), RGN_DIFF);
    PaintSpans(ring, Rgb(Brush.Color), pmCopy);
}

void Canvas::Rectangle(int l, int t, int r, int b) {
    TRect logical = Normalised(l, t, r, b);
    bool pen = Pen.Style != psClear;
    TRect d = ToDevice(logical), box = ClipBox();
    int w = pen ? std::max(1, Pen.Width) : 0;
    if (Brush.Style != bsClear) {
        TRect in = pen ? Shrunk(d, w) : TRect{d.Left, d.Top, d.Right - 1, d.Bottom - 1};
        PaintRect(in.Intersect(box), Rgb(Brush.Color), pmCopy);
    }
    if (!pen || d.IsEmpty()) return;
    if (w > 1) {
        PaintSpans(Region::Combine(Region::FromRect(d.Intersect(box)),
                                   Region::FromRect(Shrunk(d, w).Intersect(box)), RGN_DIFF),
                   Rgb(Pen.Color), Pen.Mode);
        return;
    }
    if (int64_t{logical.Right} - logical.Left == 1 || int64_t{logical.Bottom} - logical.Top == 1) {
        // A one-pixel-wide box: its pixels once.
        PaintRect(d.Intersect(box), Rgb(Pen.Color), Pen.Mode);
        return;
    }
    const TRect& q = logical;
    DrawOutline({{q.Left, q.Top}, {q.Right - 1, q.Top}, {q.Right - 1, q.Bottom - 1}, {q.Left, q.Bottom - 1}},
                true);
}

void Canvas::Ellipse(int l, int t, int r, int b) {
    TRect box = ToDevice(Normalised(l, t, r, b));
    TRect innerBox = Shrunk(box, std::max(1, Pen.Width));
    DrawShape(
        box, [&](int64_t y) { return raster::EllipseSpan(box, y); },
        [&](int64_t y) { return raster::EllipseSpan(innerBox, y); }, nullptr, Brush.Style != bsClear,
        Pen.Style != psClear, nullptr);
}

void Canvas::RoundRect(int l, int t, int r, int b, int cw, int ch) {
    TRect box = ToDevice(Normalised(l, t, r, b));
    int w = std::max(1, Pen.Width);
    TRect innerBox = Shrunk(box, w);
    DrawShape(
        box, [&](int64_t y) { return raster::RoundRectSpan(box, cw, ch, y); },
        [&](int64_t y) {
            return raster::RoundRectSpan(innerBox, std::max(0, cw - 2 * w), std::max(0, ch - 2 * w), y);
        },
        nullptr, Brush.Style != bsClear, Pen.Style != psClear, nullptr);
}

void Canvas::Arc(int l, int t, int r, int b, int x3, int y3, int x4, int y4) {
    if (Pen.Style == psClear) return;
    TRect box = ToDevice(Normalised(l, t, r, b));
    double cx = (static_cast<double>(box.Left) + box.Right) / 2,
           cy = (static_cast<double>(box.Top) + box.Bottom) / 2;
    DevicePoint p3 = ToDevice(x3, y3), p4 = ToDevice(x4, y4);
    double s = raster::AngleOf(p3.X - cx, p3.Y - cy), e = raster::AngleOf(p4.X - cx, p4.Y - cy);
    TRect innerBox = Shrunk(box, std::max(1, Pen.Width));
    DrawShape(
        box, [&](int64_t y) { return raster::EllipseSpan(box, y); },
        [&](int64_t y) { return raster::EllipseSpan(innerBox, y); },
        [&](int64_t x, int64_t y) {
            return raster::InSweep(raster::AngleOf(x + 0.5 - cx, y + 0.5 - cy), s, e);
        },
        false, true, nullptr);
}

void Canvas::Pie(int l, int t, int r, int b, int x3, int y3, int x4, int y4) {
    TRect box = ToDevice(Normalised(l, t, r, b));
    double cx = (static_cast<double>(box.Left) + box.Right) / 2,
           cy = (static_cast<double>(box.Top) + box.Bottom) / 2;
    DevicePoint p3 = ToDevice(x3, y3), p4 = ToDevice(x4, y4);
    double s = raster::AngleOf(p3.X - cx, p3.Y - cy), e = raster::AngleOf(p4.X - cx, p4.Y - cy);
    TRect innerBox = Shrunk(box, std::max(1, Pen.Width));
    Region radii = Pen.Style != psClear ? raster::PieRadii(box, s, e, ClipBox()) : Region();
    DrawShape(
        box, [&](int64_t y) { return raster::EllipseSpan(box, y); },
        [&](int64_t y) { return raster::EllipseSpan(innerBox, y); },
        [&](int64_t x, int64_t y) {
            return raster::InSweep(raster::AngleOf(x + 0.5 - cx, y + 0.5 - cy), s, e);
        },
        Brush.Style != bsClear, Pen.Style != psClear, &radii);
}

void Canvas::FillRgn(const Region& r) {
    if (Brush.Style == bsClear) return;
    PaintSpans(r, Rgb(Brush.Color), pmCopy);
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

// ---- pixels ----

TColor Canvas::GetPixel(int x, int y) {
    DevicePoint d = ToDevice(x, y);
    if (d.X < 0 || d.Y < 0 || d.X >= target_->Width() || d.Y >= target_->Height()) return -1;
    return target_->GetPixel(static_cast<int>(d.X), static_cast<int>(d.Y));
}

void Canvas::SetPixel(int x, int y, TColor c) {
    DevicePoint d = ToDevice(x, y);
    PaintPixel(d.X, d.Y, Rgb(c), pmCopy);
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
    TRect box = ClipBox();
    if (clipLogical) box = box.Intersect(ToDevice(*clipLogical));
    if (box.IsEmpty()) return;
    uint32_t inkRgb = Rgb(Font.Color());
    uint32_t bg = Rgb(Brush.Color);
    bool opaque = Brush.Style != bsClear;
    DevicePoint o = ToDevice(x, y);
    // Paints the cell pixels of device row Y, columns [X0, X1) within box, that ink(X) says are on (or
    // all of them on an opaque brush).
    auto paintRow = [&](int64_t Y, int64_t X0, int64_t X1, auto&& inkAt) {
        if (Y < box.Top || Y >= box.Bottom) return;
        ForClipSpans(Y, std::max<int64_t>(X0, box.Left), std::min<int64_t>(X1, box.Right),
                     [&](int row, int a, int b) {
                         for (int X = a; X < b; ++X) {
                             int on = inkAt(X);
                             if (on > 0)
                                 PutPixel(X, row, inkRgb, pmCopy);
                             else if (on == 0 && opaque)
                                 PutPixel(X, row, bg, pmCopy);
                         }
                     });
    };
    int orient = ((Font.Orientation() % 3600) + 3600) % 3600;
    if (orient == 0) {
        int64_t left = o.X - rx, top = o.Y - ry;
        const bool words = target_->BitsPerPixel() == 32;
        for (int v = 0; v < m.Height; ++v) {
            const uint8_t* ink = m.Ink.data() + static_cast<size_t>(v) * static_cast<size_t>(m.Width);
            const int64_t Y = top + v;
            if (!clipIsBox_) {
                paintRow(Y, left, left + m.Width, [&](int64_t X) { return ink[X - left] ? 1 : 0; });
                continue;
            }
            // The whole row of the box is in the clip.
            if (Y < box.Top || Y >= box.Bottom) continue;
            const int64_t x0 = std::max<int64_t>(left, box.Left),
                          x1 = std::min<int64_t>(left + m.Width, box.Right);
            // On 32-bit pixels the words go straight into the row, as PutPixel writes them.
            uint8_t* const line = words ? target_->ScanLine(static_cast<int>(Y)) : nullptr;
            for (int64_t X = x0; X < x1; ++X) {
                const bool on = ink[X - left] != 0;
                if (!on && !opaque) continue;
                const uint32_t rgb = on ? inkRgb : bg;
                if (line) {
                    const uint32_t word = rgb & 0xFFFFFF;
                    std::memcpy(line + 4 * X, &word, 4);
                } else {
                    PutPixel(static_cast<int>(X), static_cast<int>(Y), rgb, pmCopy);
                }
            }
        }
        return;
    }
    double ox = static_cast<double>(o.X), oy = static_cast<double>(o.Y);
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
    int64_t X0 = static_cast<int64_t>(std::floor(xsMin)) - 1, X1 = static_cast<int64_t>(std::ceil(xsMax)) + 2;
    int64_t Y0 = static_cast<int64_t>(std::floor(ysMin)) - 1, Y1 = static_cast<int64_t>(std::ceil(ysMax)) + 2;
    for (int64_t Y = std::max<int64_t>(Y0, box.Top); Y < std::min<int64_t>(Y1, box.Bottom); ++Y)
        paintRow(Y, X0, X1, [&](int64_t X) {
            // The unrotated mask sampled at the destination pixel's centre; -1 outside the cell.
            double dX = X + 0.5 - ox, dY = Y + 0.5 - oy;
            double u = dX * c - dY * s + rx, v = dX * s + dY * c + ry;
            if (u < 0 || v < 0 || u >= m.Width || v >= m.Height) return -1;
            return m.Ink[static_cast<size_t>(static_cast<int>(v) * m.Width + static_cast<int>(u))] ? 1 : 0;
        });
}

// ---- blits ----

void Canvas::Blit(const TRect& dest, const Bitmap& src, const TRect& srcRect, uint32_t rop, bool transparent,
                  uint32_t transparentRgb) {
    int64_t dw = int64_t{dest.Right} - dest.Left, dh = int64_t{dest.Bottom} - dest.Top;
    int64_t sw = int64_t{srcRect.Right} - srcRect.Left, sh = int64_t{srcRect.Bottom} - srcRect.Top;
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;
    DevicePoint p0 = ToDevice(dest.Left, dest.Top), p1 = ToDevice(dest.Right, dest.Bottom);
    int64_t dl = std::min(p0.X, p1.X), dr = std::max(p0.X, p1.X);
    int64_t dt = std::min(p0.Y, p1.Y), db = std::max(p0.Y, p1.Y);
    TRect box = ClipBox();
    uint32_t pat = Rgb(Brush.Color);
    // An unscaled, unmirrored copy between two 32-bit bitmaps moves whole rows (B, G, R, 0), as the
    // pixel by pixel copy below would write them.
    const bool words = rop == SRCCOPY && !transparent && &src != target_ && dw == sw && dh == sh && dw > 0 &&
                       dh > 0 && p0.X <= p1.X && p0.Y <= p1.Y && src.BitsPerPixel() == 32 &&
                       target_->BitsPerPixel() == 32;
    const int64_t shift = int64_t{srcRect.Left} - p0.X; // an unscaled copy's source x = X + shift
    if (words && clipIsBox_) {
        // The same columns on every row: those of the destination, the clip box and the source.
        const int64_t a = std::max({dl, int64_t{box.Left}, -shift}),
                      b = std::min({dr, int64_t{box.Right}, src.Width() - shift});
        for (int64_t Y = std::max<int64_t>(dt, box.Top); Y < std::min<int64_t>(db, box.Bottom) && a < b;
             ++Y) {
            const int64_t srcY = srcRect.Top + (Y - p0.Y);
            if (srcY < 0 || srcY >= src.Height()) continue;
            CopyWords(target_->ScanLine(static_cast<int>(Y)) + 4 * a,
                      src.ScanLine(static_cast<int>(srcY)) + 4 * (a + shift), b - a);
        }
        return;
    }
    for (int64_t Y = std::max<int64_t>(dt, box.Top); Y < std::min<int64_t>(db, box.Bottom); ++Y) {
        // Unscaled: the nearest source row is the one at the same offset.
        int64_t srcY = srcRect.Top + (sh == dh ? Y - p0.Y : raster::NearestSource(Y - p0.Y, sh, dh));
        if (srcY < 0 || srcY >= src.Height()) continue;
        ForClipSpans(Y, dl, dr, [&](int row, int x0, int x1) {
            if (words) {
                const int64_t a = std::max<int64_t>(x0, -shift),
                              b = std::min<int64_t>(x1, src.Width() - shift);
                if (a < b)
                    CopyWords(target_->ScanLine(row) + 4 * a,
                              src.ScanLine(static_cast<int>(srcY)) + 4 * (a + shift), b - a);
                return;
            }
            for (int X = x0; X < x1; ++X) {
                int64_t srcX = srcRect.Left + (sw == dw ? X - p0.X : raster::NearestSource(X - p0.X, sw, dw));
                if (srcX < 0 || srcX >= src.Width()) continue;
                uint32_t s = src.GetRgb(static_cast<int>(srcX), static_cast<int>(srcY));
                if (transparent && s == transparentRgb) continue;
                uint32_t r = rop == SRCCOPY ? s : ApplyRop3(rop, pat, s, target_->GetRgb(X, row));
                target_->SetRgb(X, row, r);
            }
        });
    }
}

void Canvas::Draw(int x, int y, const Bitmap& source) {
    if (source.Empty()) return;
    Blit({x, y, x + source.Width(), y + source.Height()}, source, {0, 0, source.Width(), source.Height()},
         source.Transparent ? SRCCOPY : CopyMode, source.Transparent, Rgb(source.GetTransparentColor()));
}

void Canvas::StretchDraw(const TRect& dest, const Bitmap& source) {
    if (source.Empty()) return;
    Blit(dest, source, {0, 0, source.Width(), source.Height()}, source.Transparent ? SRCCOPY : CopyMode,
         source.Transparent, Rgb(source.GetTransparentColor()));
}

void Canvas::CopyRect(const TRect& dest, Canvas& source, const TRect& sourceRect) {
    TRect sr = source.ToDevice(sourceRect);
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
