// The drawing routines of AbProc.h: colour steps, read-back, 3D shapes, LEDs, sectors, gradients and
// the horizontal scale.
#include <array>
#include <cmath>
#include <cstdlib>

#include "gauges/AbProc.h"
#include "platform/Numeric.h"

namespace gauges {

using namespace platform::gfx;
using platform::Round;
using platform::Trunc;

TColor AbCalcColor(TColor from, TColor to, int steps, int step) {
    TColor a = ColorToRGB(from), b = ColorToRGB(to);
    if (a == b) return from;
    if (steps == 0) steps = 1;
    auto channel = [&](int ca, int cb) {
        return (ca + Round(static_cast<double>(cb - ca) / steps * step)) & 0xFF;
    };
    return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
               channel(GetBValue(a), GetBValue(b)));
}

void GetBkUpImage(Canvas& canvas, Bitmap& bitmap, const TRect& rect) {
    TRect r;
    if (!AbRectIntersection(rect, canvas.ClipRect(), r)) return;
    Bitmap temp(r.Width(), r.Height());
    temp.GetCanvas().CopyRect({0, 0, r.Width(), r.Height()}, canvas, r);
    bitmap.SetSize(rect.Width(), rect.Height());
    bitmap.GetCanvas().Draw(r.Left - rect.Left, r.Top - rect.Top, temp);
}

void AbEllipse3D(Canvas& canvas, TRect& rect, TColor face, bool raised) {
    canvas.Pen.Width = 1;
    canvas.Brush.Style = bsSolid;
    TColor c1 = raised ? clBtnShadow : clBtnHighlight;
    TColor c2 = raised ? clBtnHighlight : clBtnShadow;
    auto ellipse = [&](TColor c, int l, int t, int r, int b) {
        canvas.Pen.Color = c;
        canvas.Brush.Color = c;
        canvas.Ellipse(l, t, r, b);
    };
    ellipse(c1, rect.Left, rect.Top, rect.Right, rect.Bottom);
    ellipse(c2, rect.Left, rect.Top, rect.Right - 2, rect.Bottom - 2);
    ellipse(face, rect.Left + 1, rect.Top + 1, rect.Right - 2, rect.Bottom - 2);
    rect = {rect.Left + 1, rect.Top + 1, rect.Right - 2, rect.Bottom - 2};
}

void AbCircleAtPoint(Canvas& canvas, TPoint c, int r, TColor fill, TColor /*pen: not used*/) {
    canvas.Brush.Style = bsSolid;
    canvas.Brush.Color = fill;
    canvas.Pen.Color = clBtnHighlight;
    canvas.Ellipse(c.X - r, c.Y - r, c.X + r + 1, c.Y + r + 1);
    canvas.Pen.Color = clBtnShadow;
    canvas.Arc(c.X - r, c.Y - r, c.X + r + 1, c.Y + r + 1, c.X + r + 2, c.Y - r, c.X - r, c.Y + r + 1);
}

void AbThumb(Canvas& canvas, TPoint c, int s, int /*unused*/, bool vertical, TColor color) {
    int hw, hh;
    if (vertical) {
        hw = s / 2;
        hh = Round(s * 0.2);
    } else {
        hw = Round(s * 0.2);
        hh = s / 2;
    }
    TColor border = color == clBtnShadow ? clBtnShadow : clBlack;
    TRect t{c.X - hw, c.Y - hh, c.X + hw + 1, c.Y + hh + 1};
    canvas.Pen.Color = clBtnFace;
    canvas.Brush.Style = bsSolid;
    canvas.Brush.Color = clBtnFace;
    canvas.Rectangle(t);
    canvas.Frame3D(t, clBtnShadow, border, 1);
    canvas.Frame3D(t, clBtnHighlight, clBtnShadow, 1);
    AbBorder(t, s / 25);
    canvas.Pen.Color = border;
    canvas.Brush.Color = color;
    canvas.Rectangle(t);
}

void AbBtnBevel(Canvas& canvas, TRect& rect, bool raised, bool fill, TColor color) {
    if (fill) {
        canvas.Brush.Style = bsSolid;
        canvas.Brush.Color = color;
        canvas.Pen.Color = color;
        canvas.Rectangle(rect);
    }
    constexpr TColor kLight = RGB(210, 210, 210);
    if (raised) {
        canvas.Frame3D(rect, clBtnHighlight, clBlack, 1);
        canvas.Frame3D(rect, kLight, clBtnShadow, 1);
    } else {
        canvas.Frame3D(rect, clBlack, clBtnHighlight, 1);
        canvas.Frame3D(rect, clBtnShadow, kLight, 1);
    }
}

void AbDrawLED(Canvas& canvas, const TRect& r, TLEDShape shape, TColor border, TColor fill) {
    canvas.Pen.Color = border;
    canvas.Pen.Width = 1;
    canvas.Brush.Color = fill;
    int w = r.Width(), h = r.Height(), hw = w / 2, hh = h / 2;
    switch (shape) {
    case sRound: {
        canvas.Ellipse(r);
        canvas.Pen.Color = clBtnHighlight;
        canvas.Pen.Width = w / 8;
        TRect s = r;
        AbBorder(s, w / 5);
        canvas.Arc(s.Left, s.Top, s.Right, s.Bottom, r.Left + hw, r.Top, r.Left, r.Top + hh);
        break;
    }
    case sArrowLeft:
        canvas.Polygon({{r.Left, r.Top + hh}, {r.Right - 1, r.Top}, {r.Right - 1, r.Bottom - 1}});
        break;
    case sArrowRight:
        canvas.Polygon({{r.Left, r.Top}, {r.Right - 1, r.Top + hh}, {r.Left, r.Bottom - 1}});
        break;
    case sArrowUp:
        canvas.Polygon({{r.Left + hw, r.Top}, {r.Right - 1, r.Bottom - 1}, {r.Left, r.Bottom - 1}});
        break;
    case sArrowDown:
        canvas.Polygon({{r.Left, r.Top}, {r.Right - 1, r.Top}, {r.Left + hw, r.Bottom - 1}});
        break;
    case sRectangle:
        canvas.RoundRect(r.Left, r.Top, r.Right, r.Bottom, 1, 1);
        break;
    }
}

void AbRoundSector(Canvas& canvas, const TRect& rect, float start, float span) {
    TPoint c = AbCenterPoint(rect);
    TPoint p1 = AbRotate({c.X, rect.Top}, c, start, true);
    TPoint p2 = AbRotate(p1, c, span, true);
    canvas.Pie(rect.Left, rect.Top, rect.Right, rect.Bottom, p2.X, p2.Y, p1.X, p1.Y);
}

namespace {

// The colour steps of a gradient: step i of n is from + round(i x d / n) per channel, with the
// per-step increments d / n held as singles.
struct Steps {
    std::array<int, 3> from{};
    std::array<int, 3> delta{};
    std::array<float, 3> inc{};

    Steps(TColor a, TColor b) {
        from = {GetRValue(a), GetGValue(a), GetBValue(a)};
        delta = {GetRValue(b) - from[0], GetGValue(b) - from[1], GetBValue(b) - from[2]};
    }
    int Count() const { return std::max({std::abs(delta[0]), std::abs(delta[1]), std::abs(delta[2]), 1}); }
    void Over(int n) {
        for (int k = 0; k < 3; ++k)
            inc[k] = static_cast<float>(static_cast<double>(delta[k]) / n);
    }
    TColor At(double i) const {
        return RGB((from[0] + Round(i * inc[0])) & 0xFF, (from[1] + Round(i * inc[1])) & 0xFF,
                   (from[2] + Round(i * inc[2])) & 0xFF);
    }
    TColor Truncated(double i) const {
        return RGB((from[0] + Trunc(i * inc[0])) & 0xFF, (from[1] + Trunc(i * inc[1])) & 0xFF,
                   (from[2] + Trunc(i * inc[2])) & 0xFF);
    }
};

void Line(Canvas& c, TColor color, int x0, int y0, int x1, int y1) {
    c.Pen.Color = color;
    c.MoveTo(x0, y0);
    c.LineTo(x1, y1);
}

// gsHorizontal1..3 along y (or along x for the vertical styles, `across` swapping the axes).
void Banded(Canvas& c, Steps& st, int style, int length, int breadth, bool across) {
    auto line = [&](TColor color, int pos) {
        if (across)
            Line(c, color, pos, 0, pos, breadth);
        else
            Line(c, color, 0, pos, breadth, pos);
    };
    int n = st.Count();
    switch (style) {
    case 1: {
        n = std::min(n, length);
        if (n < 1) return;
        int band = length / n;
        if (band < 1) return;
        n = std::max(length / band, 1);
        st.Over(n);
        for (int i = 0; i <= n; ++i) {
            c.Brush.Color = st.Truncated(i);
            c.FillRect(across ? TRect{i * band, 0, i * band + band, breadth}
                              : TRect{0, i * band, breadth, i * band + band});
        }
        break;
    }
    case 2: {
        int mid = length / 2;
        n = std::max(mid, 1);
        st.Over(n);
        line(st.At(0), mid);
        for (int i = 1; i <= n; ++i) {
            line(st.At(i), mid + i);
            line(st.At(i), mid - i);
        }
        break;
    }
    default: {
        n = std::max(Round(length * 0.67), 1);
        int third = length / 3;
        st.Over(n);
        line(st.At(0), third);
        for (int i = 1; i <= n; ++i) {
            line(st.At(i), third + i);
            if (third - i >= 0) line(st.At(i), third - i);
        }
        break;
    }
    }
}

void Elliptic(Canvas& c, Steps& st, TGradientStyle style, int w, int h) {
    int n = st.Count();
    st.Over(n);
    TPoint centre = AbCenterPoint({0, 0, w, h});
    double rx, ry;
    if (style == gsElliptic1) {
        rx = static_cast<double>(w) / n / 2;
        ry = static_cast<double>(h) / n / 2;
    } else if (style == gsElliptic2) {
        rx = static_cast<double>(w) / n * 0.695;
        ry = static_cast<double>(h) / n * 0.695;
    } else {
        rx = static_cast<double>(w) / n * 0.82;
        ry = static_cast<double>(h) / n * 0.82;
        centre = {centre.X - w / 4 + 1, centre.Y - h / 4 + 1};
    }
    for (int i = n; i >= 1; --i) {
        TColor color = st.At(i);
        c.Pen.Color = color;
        c.Brush.Color = color;
        c.Ellipse(centre.X - Round(i * rx), centre.Y - Round(i * ry), centre.X + Round(i * rx),
                  centre.Y + Round(i * ry));
    }
}

void Rectangular(Canvas& c, Steps& st, int w, int h) {
    int n = st.Count();
    st.Over(n);
    TPoint centre = AbCenterPoint({0, 0, w, h});
    double rx = static_cast<double>(w) / n / 2, ry = static_cast<double>(h) / n / 2;
    for (int i = n; i >= 0; --i) {
        TColor color = st.At(i);
        c.Pen.Color = color;
        c.Brush.Color = color;
        c.Rectangle(centre.X - Round(i * rx), centre.Y - Round(i * ry), centre.X + Round(i * rx) + 1,
                    centre.Y + Round(i * ry) + 1);
    }
}

void Diamond(Canvas& c, Steps& st, TGradientStyle style, int w, int h, TColor from) {
    int longest = std::max(w, h);
    int n;
    double rx, ry;
    if (style == gsDiamond1) {
        n = std::max({longest / 2, st.Count(), 1});
        rx = static_cast<double>(w) / n / 2;
        ry = static_cast<double>(h) / n / 2;
    } else {
        n = std::max({longest, st.Count(), 1});
        rx = static_cast<double>(w) / n;
        ry = static_cast<double>(h) / n;
    }
    st.Over(n);
    TPoint centre = AbCenterPoint({0, 0, w, h});
    for (int i = n; i >= 1; --i) {
        int dx = Round(i * rx), dy = Round(i * ry);
        c.Pen.Color = st.At(i);
        c.Polyline({{centre.X, centre.Y - dy},
                    {centre.X + dx, centre.Y},
                    {centre.X, centre.Y + dy},
                    {centre.X - dx, centre.Y},
                    {centre.X, centre.Y - dy}});
    }
    c.SetPixel(centre.X, centre.Y, from);
}

void Corner(Canvas& c, Steps& st, bool topRight, int w, int h) {
    int n = std::max(std::max(w, h), 1);
    st.Over(n);
    double sx = static_cast<double>(w) / n, sy = static_cast<double>(h) / n;
    for (int i = 0; i <= n; ++i) {
        int xi = Round(i * sx), yi = Round(i * sy);
        TColor first = st.At(i / 2.0), second = st.At(n - i / 2.0);
        if (topRight) {
            Line(c, first, w, yi, w - xi, -1);
            Line(c, second, 0, h - yi, xi, h);
        } else {
            Line(c, first, 0, yi, xi, -1);
            Line(c, second, w, h - yi, w - xi, h);
        }
    }
}

} // namespace

void AbGradFill(Canvas& canvas, const TRect& rect, TColor from, TColor to, TGradientStyle style) {
    int w = rect.Width(), h = rect.Height();
    if (w < 1 || h < 1) return;
    Bitmap temp(w, h);
    Canvas& c = temp.GetCanvas();
    c.Pen.Width = 1;
    c.Brush.Style = bsSolid;
    TColor a = ColorToRGB(from), b = ColorToRGB(to);
    if (a == b) {
        c.Brush.Color = a;
        c.FillRect({0, 0, w, h});
    } else {
        Steps st(a, b);
        switch (style) {
        case gsHorizontal1:
        case gsHorizontal2:
        case gsHorizontal3:
            Banded(c, st, style - gsHorizontal1 + 1, h, w, false);
            break;
        case gsVertical1:
        case gsVertical2:
        case gsVertical3:
            Banded(c, st, style - gsVertical1 + 1, w, h, true);
            break;
        case gsElliptic1:
        case gsElliptic2:
        case gsElliptic3:
            c.Brush.Color = b;
            c.FillRect({0, 0, w, h});
            Elliptic(c, st, style, w, h);
            break;
        case gsRectangle:
            Rectangular(c, st, w, h);
            break;
        case gsDiamond1:
        case gsDiamond2:
            c.Brush.Color = b;
            c.FillRect({0, 0, w, h});
            Diamond(c, st, style, w, h, a);
            break;
        case gsTopLeft:
        case gsTopRight:
            Corner(c, st, style == gsTopRight, w, h);
            break;
        }
    }
    canvas.StretchDraw(rect, temp);
}

void AbCircleGradFill(Canvas& canvas, const TRect& rect, TColor from, TColor to) {
    Steps st(ColorToRGB(from), ColorToRGB(to));
    int w = rect.Width();
    int off = Round(w * 0.22);
    int n = std::max((w - off) * 2, 1);
    st.Over(n);
    canvas.Pen.Width = 1;
    for (int i = 0; i <= n; ++i)
        Line(canvas, st.At(i), rect.Left + off - 1 + i, rect.Top, rect.Left - 1, rect.Top + off + i);
}

void AbHorizScala(Canvas& canvas, const std::string& labels, TRect& rect, int steps, int subSteps,
                  bool labelsAbove) {
    if (steps < 1) steps = 1;
    if (subSteps < 1) subSteps = 1;
    int mw, h;
    AbGetMaxTokenSize(canvas, mw, h, labels);
    int w = rect.Width();
    int p = (w - mw) / (steps * subSteps);
    int big = p * subSteps;
    rect.Left += (w - steps * big) / 2;
    int pw = std::max(h / 8, 1);
    int y0 = rect.Top + 1;
    int labelY, mainFrom, subFrom, base, mainTo;
    if (labelsAbove) {
        labelY = y0;
        mainFrom = y0 + h + 3;
        subFrom = mainFrom + h / 3;
        base = mainFrom + 2 * (h / 3);
        mainTo = base;
    } else {
        base = y0;
        mainFrom = y0;
        subFrom = y0;
        mainTo = y0 + 14;
        labelY = y0 + 17;
    }
    int subTo = labelsAbove ? base : y0 + 7;
    std::string rest = labels;
    auto mainTick = [&](int x) {
        canvas.Pen.Width = pw;
        canvas.MoveTo(x, mainFrom);
        canvas.LineTo(x, mainTo);
        AbTextOut(canvas, x, labelY, AbStrToken(rest, ';'), toTopCenter);
    };
    canvas.Pen.Width = pw;
    canvas.MoveTo(rect.Left, base);
    canvas.LineTo(rect.Left + steps * big, base);
    for (int i = 0; i < steps; ++i) {
        int x = rect.Left + i * big;
        mainTick(x);
        canvas.Pen.Width = 1;
        for (int j = 0; j < subSteps; ++j) {
            canvas.MoveTo(x + j * p, subFrom);
            canvas.LineTo(x + j * p, subTo);
        }
    }
    mainTick(rect.Left + steps * big);
    canvas.Pen.Width = 1;
    if (labelsAbove)
        rect = {rect.Left, mainFrom, rect.Left + steps * big, mainFrom + h - 2};
    else
        rect = {rect.Left, y0 + 14, rect.Left + steps * big, 0};
}

void AbDrawHPointer(Canvas& canvas, const TRect& rect, int position, int halfWidth, int height,
                    bool /*unused*/) {
    int tip = rect.Left + Round(static_cast<double>(position) * rect.Width() / 1000);
    canvas.Polygon(
        {{tip, rect.Top}, {tip - halfWidth, rect.Top + height}, {tip + halfWidth, rect.Top + height}});
}

void Ab3DEllipse(Canvas& canvas, TPoint offset, TPoint centre, int rx, int ry, const Bitmap& bitmap,
                 TColor ring, bool stretch, bool withRing) {
    if (2 * rx < 1) return;
    Bitmap temp(2 * rx, 2 * ry);
    Canvas& t = temp.GetCanvas();
    if (stretch)
        t.StretchDraw({0, 0, 2 * rx, 2 * ry}, bitmap);
    else
        t.CopyRectFrom({0, 0, 2 * rx, 2 * ry}, bitmap, {0, 0, bitmap.Width(), bitmap.Height()});
    if (withRing) {
        t.Pen.Width = 2;
        t.Pen.Color = ring;
        t.Brush.Style = bsClear;
        t.Ellipse(0, 0, 2 * rx, 2 * ry);
    }
    TRect box{centre.X - rx, centre.Y - ry, centre.X + rx, centre.Y + ry};
    TPoint o = canvas.Origin();
    Region clip = Region::FromEllipse(box.Offset(o.X + offset.X + 1, o.Y + offset.Y + 1));
    CanvasStateSaver saver(canvas); // the clip goes back to what it was
    canvas.SelectClipRgn(&clip);
    canvas.Draw(box.Left, box.Top, temp);
}

} // namespace gauges
