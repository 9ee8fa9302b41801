#include "gauges/AbBevel.h"

#include "platform/graphics/Region.h"

namespace gauges {

using namespace platform::gfx;

namespace {

struct FrameColors {
    TColor highlightFrom, highlightTo, shadowFrom, shadowTo;
};

// The gradient frame of both bevel kinds: the rectangle filled first when asked, then `width` one-pixel
// frames from the outer to the inner end.
void GradBevel(Canvas& canvas, TRect& rect, int width, const FrameColors& fc, TColor color, bool fill,
               bool raised) {
    if (fill) {
        canvas.Pen.Width = 1;
        canvas.Pen.Color = color;
        canvas.Brush.Style = bsSolid;
        canvas.Brush.Color = color;
        canvas.Rectangle(rect);
    }
    for (int k = 1; k <= width; ++k) {
        if (raised)
            canvas.Frame3D(rect, AbCalcColor(fc.highlightFrom, fc.highlightTo, width, k),
                           AbCalcColor(fc.shadowFrom, fc.shadowTo, width, k), 1);
        else
            canvas.Frame3D(rect, AbCalcColor(fc.shadowTo, fc.shadowFrom, width, k),
                           AbCalcColor(fc.highlightTo, fc.highlightFrom, width, k), 1);
    }
}

} // namespace

// ---- TAbGradSettings ----

void TAbGradSettings::AssignTo(TAbPersistent& dest) const {
    auto* d = dynamic_cast<TAbGradSettings*>(&dest);
    if (!d) return TAbPersistent::AssignTo(dest);
    d->SetColorFrom(colorFrom_);
    d->SetColorTo(colorTo_);
    d->SetVisible(visible_);
    d->SetStyle(style_);
    d->Change();
}

// ---- TAbSBevel ----

TAbSBevel::TAbSBevel() {
    offset_.OnChange = [this](TObject*) { Change(); };
    surfaceGrad_.OnChange = [this](TObject*) { Change(); };
    Recompute();
}

void TAbSBevel::SetWidth(int v) {
    if (v >= 0) SetProperty(width_, v);
}

void TAbSBevel::Recompute() {
    totalWidth_ = spacing_ + width_ + (bevelLine_ == blBoth ? 2 : bevelLine_ == blNone ? 0 : 1);
    if (!useCache_) return;
    if (!cache_) cache_ = std::make_unique<Bitmap>(30, 30);
    AbGradFill(cache_->GetCanvas(), {0, 0, 30, 30}, shadowFrom_, shadowTo_, gsTopLeft);
}

void TAbSBevel::Change() {
    Recompute();
    TAbPersistent::Change();
}

void TAbSBevel::PaintGradBevel(Canvas& canvas, TRect& rect, TColor color, bool fill, bool raised) const {
    GradBevel(canvas, rect, width_, {highlightFrom_, highlightTo_, shadowFrom_, shadowTo_}, color, fill,
              raised);
}

void TAbSBevel::PaintFrame(Canvas& canvas, TRect& rect, bool filled) const {
    const TRect outer = rect;
    canvas.Pen.Width = 1;
    if (filled) {
        canvas.Brush.Style = bsSolid;
        canvas.Brush.Color = color_;
        canvas.FillRect(rect);
    }
    if (OuterLine()) AbBorder(rect, 1);
    PaintGradBevel(canvas, rect, color_, filled, style_ == bsRaised);
    if (filled && surfaceGrad_.Visible()) {
        TRect surface = outer;
        AbBorder(surface, totalWidth_ - spacing_);
        surfaceGrad_.Fill(canvas, surface);
    }
    canvas.Brush.Style = bsClear;
    canvas.Pen.Color = penColor_;
    if (InnerLine()) {
        canvas.Rectangle(rect);
        AbBorder(rect, 1);
    }
    if (OuterLine()) canvas.Rectangle(outer);
    AbBorder(rect, spacing_);
    rect = offset_.SetOffset(rect);
}

void TAbSBevel::PaintBevel(Canvas& canvas, TRect& rect) const {
    PaintFrame(canvas, rect, false);
}

void TAbSBevel::PaintFilledBevel(Canvas& canvas, TRect& rect) const {
    PaintFrame(canvas, rect, true);
}

void TAbSBevel::PaintRoundBevel(Canvas& canvas, TRect& rect, int dy, int dx) const {
    if (rect.Width() < 5 || !cache_) return;
    const int size = rect.Width();
    Bitmap face(size, size);
    Canvas& b = face.GetCanvas();
    if (style_ == bsLowered)
        b.StretchDraw({size, size, 0, 0}, *cache_); // light from the opposite corner
    else
        b.StretchDraw({0, 0, size, size}, *cache_);
    TRect inner{0, 0, size, size};
    AbBorder(inner, width_);
    int total = width_ + spacing_;
    b.Pen.Width = 1;
    if (OuterLine()) {
        b.Pen.Color = penColor_;
        b.Brush.Style = bsClear;
        b.Ellipse(0, 0, size, size);
        AbBorder(inner, 1);
        ++total;
    }
    b.Brush.Style = bsSolid;
    b.Brush.Color = color_;
    b.Pen.Color = InnerLine() ? penColor_ : color_;
    if (InnerLine()) ++total;
    if (!surfaceGrad_.Visible()) b.Ellipse(inner);

    TPoint o = canvas.Origin();
    auto device = [&](const TRect& r) { return r.Offset(o.X + dx, o.Y + dy); };
    Region round = Region::FromEllipse(device(rect));
    canvas.SelectClipRgn(&round);
    canvas.Draw(rect.Left, rect.Top, face);
    Region square = Region::FromRect(device(inner.Offset(rect.Left, rect.Top)));
    if (surfaceGrad_.Visible()) {
        TRect surface = rect;
        AbBorder(surface, width_);
        Region ellipse = Region::FromEllipse(device(surface));
        canvas.SelectClipRgn(&ellipse);
        surfaceGrad_.Fill(canvas, surface);
        if (InnerLine()) {
            canvas.Pen.Color = penColor_;
            canvas.Brush.Style = bsClear;
            canvas.Ellipse(surface);
        }
    }
    canvas.SelectClipRgn(&square);
    AbBorder(rect, total);
    rect = offset_.SetOffset(rect);
}

void TAbSBevel::AssignTo(TAbPersistent& dest) const {
    auto* d = dynamic_cast<TAbSBevel*>(&dest);
    if (!d) return TAbPersistent::AssignTo(dest);
    d->style_ = style_;
    d->spacing_ = spacing_;
    d->bevelLine_ = bevelLine_;
    d->width_ = width_;
    d->color_ = color_;
    d->offset_.Write(offset_.Top(), offset_.Left(), offset_.Right(), offset_.Bottom());
    d->shadowFrom_ = shadowFrom_;
    d->shadowTo_ = shadowTo_;
    d->highlightFrom_ = highlightFrom_;
    d->highlightTo_ = highlightTo_;
    d->penColor_ = penColor_;
    d->surfaceGrad_.colorFrom_ = surfaceGrad_.colorFrom_;
    d->surfaceGrad_.colorTo_ = surfaceGrad_.colorTo_;
    d->surfaceGrad_.visible_ = surfaceGrad_.visible_;
    d->surfaceGrad_.style_ = surfaceGrad_.style_;
    d->Change();
}

// ---- TAbBtnBevel ----

void TAbBtnBevel::SetWidth(int v) {
    if (v >= 0) SetProperty(width_, v);
}

void TAbBtnBevel::PaintBevel(Canvas& canvas, TRect& rect, TColor color, bool fill, bool raised) const {
    GradBevel(canvas, rect, width_, {highlightFrom_, highlightTo_, shadowFrom_, shadowTo_}, color, fill,
              raised);
}

void TAbBtnBevel::AssignTo(TAbPersistent& dest) const {
    auto* d = dynamic_cast<TAbBtnBevel*>(&dest);
    if (!d) return TAbPersistent::AssignTo(dest);
    d->shadowFrom_ = shadowFrom_;
    d->shadowTo_ = shadowTo_;
    d->highlightFrom_ = highlightFrom_;
    d->highlightTo_ = highlightTo_;
    d->width_ = width_;
    d->Change();
}

// ---- TAbBevelSettings ----

void TAbBevelSettings::SwapColors() {
    std::swap(colorFrom_, colorTo_);
    Change();
}

void TAbBevelSettings::AssignTo(TAbPersistent& dest) const {
    auto* d = dynamic_cast<TAbBevelSettings*>(&dest);
    if (!d) return TAbPersistent::AssignTo(dest);
    d->colorFrom_ = colorFrom_;
    d->colorTo_ = colorTo_;
    d->width_ = width_;
    d->Change();
}

} // namespace gauges
