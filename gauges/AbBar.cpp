#include "gauges/AbBar.h"

#include <utility>

#include "platform/Numeric.h"

namespace gauges {

using namespace platform::gfx;
using platform::Round;

TBarSettings::TBarSettings() {
    font_.SetColor(clBtnHighlight);
    font_.OnChange = [this](TFont&) { ChangeObject(this); };
    bevel_.SetStyle(bsLowered);
    bevel_.SetSpacing(0);
    bevel_.SetBevelLine(blNone);
    bevel_.SetWidth(1);
    bevel_.SetColor(clBtnFace);
    bevel_.OnChange = [this](TObject* sender) { ChangeObject(sender); };
}

void TBarSettings::SetFont(const TFont& font) {
    if (&font == &font_) return;
    font_.Assign(font);
    ChangeObject(this);
}

void TBarSettings::SetMinWidth(int v) {
    if (v <= 0) return;
    minWidth_ = v;
    Change();
}

void TBarSettings::SetMinHeight(int v) {
    if (v <= 0) return;
    minHeight_ = v;
    Change();
}

void TBarSettings::PaintBar(Canvas& canvas, int32_t ppt) const {
    PaintAlong(canvas, ppt, BarRect.Width() > BarRect.Height());
}

void TBarSettings::PaintAlong(Canvas& canvas, int32_t ppt, bool horizontal) const {
    const int w = BarRect.Width(), h = BarRect.Height();
    if (w < 1 || h < 1) return;
    Bitmap bar(w, h);
    Canvas& b = bar.GetCanvas();
    b.Brush.Style = bsSolid;
    b.Brush.Color = bkColor_;
    b.FillRect({0, 0, w, h});
    const TColor ink = (options_ & opUseSectorCol) ? SectorColor : color_;
    const int length = horizontal ? w : h;
    // Pixels [from, to) along the bar, counted from its left or bottom end.
    auto along = [&](int from, int to, TColor color) {
        if (from > to) std::swap(from, to);
        b.Brush.Color = color;
        b.FillRect(horizontal ? TRect{from, 0, to, h} : TRect{0, h - to, w, h - from});
    };
    switch (style_) {
    case bsBar: {
        int start = (options_ & opBidir) ? Round(static_cast<double>(ZeroPPT) * length / 1000) : 0;
        along(start, Round(static_cast<double>(ppt) * length / 1000), ink);
        break;
    }
    case bsPoint: {
        int at = Round(static_cast<double>(ppt) * (length - 3) / 1000);
        along(at, at + 3, ink);
        break;
    }
    case bsLED_Bar: {
        int count = Round(length / 4.0);
        int margin = (length + 1 - 4 * count) / 2;
        int lit = Round(static_cast<double>(ppt) * length / 4000);
        along(margin, margin + 4 * lit, ink);
        for (int j = 0; j < lit; ++j)
            along(margin + 4 * j + 3, margin + 4 * j + 4, bkColor_);
        break;
    }
    }
    if (options_ & opValue) {
        Bitmap text(w, h);
        Canvas& t = text.GetCanvas();
        t.Brush.Color = clBlack;
        t.FillRect({0, 0, w, h});
        t.Font.Assign(font_);
        t.Font.SetColor(clBtnHighlight);
        t.Brush.Style = bsClear;
        bool unit = (options_ & opUnit) != 0;
        if (horizontal) {
            AbTextOut(t, w / 2, h / 2, unit ? ValueText + " " + UnitText : ValueText, toMidCenter);
        } else if (unit) {
            AbTextOut(t, w / 2, h / 2, ValueText, toBotCenter);
            AbTextOut(t, w / 2, h / 2, UnitText, toTopCenter);
        } else {
            AbTextOut(t, w / 2, h / 2, ValueText, toMidCenter);
        }
        b.CopyMode = SRCINVERT;
        b.Draw(0, 0, text);
        b.CopyMode = SRCCOPY;
    }
    canvas.Draw(BarRect.Left, BarRect.Top, bar);
}

void TBarSettings::AssignTo(TAbPersistent& dest) const {
    auto* d = dynamic_cast<TBarSettings*>(&dest);
    if (!d) return TAbPersistent::AssignTo(dest);
    d->color_ = color_;
    d->bkColor_ = bkColor_;
    d->font_.Assign(font_);
    d->options_ = options_;
    d->style_ = style_;
    d->bevel_.Assign(bevel_);
    d->minWidth_ = minWidth_;
    d->minHeight_ = minHeight_;
    d->Change();
}

} // namespace gauges
