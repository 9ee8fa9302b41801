#include "gauges/AbIndicators.h"

#include "platform/FloatFormat.h"

namespace gauges {

using namespace platform::gfx;

void TArrowSettings::AssignTo(TAbPersistent& dest) const {
    auto* d = dynamic_cast<TArrowSettings*>(&dest);
    if (!d) return TAbPersistent::AssignTo(dest);
    d->shape_ = shape_;
    d->colorPen_ = colorPen_;
    d->colorBrush_ = colorBrush_;
    d->cp1Pen_ = cp1Pen_;
    d->cp1Brush_ = cp1Brush_;
    d->cp2Pen_ = cp2Pen_;
    d->cp2Brush_ = cp2Brush_;
    d->Change();
}

void TLED::SetWidth(int v) {
    if (v >= 4 && v <= 40) SetProperty(width_, v);
}

void TLED::SetHeight(int v) {
    if (v >= 4 && v <= 40) SetProperty(height_, v);
}

void TLED::Draw(Canvas& canvas, bool on) const {
    AbDrawLED(canvas, Rect, shape_, clBtnShadow, on ? colorOn_ : colorOff_);
}

TAbText::TAbText() {
    font_.OnChange = [this](TFont&) { ChangeObject(this); };
}

void TAbText::DrawBeside(Canvas& canvas, const TRect& box) const {
    const int cx = box.Left + box.Width() / 2, cy = box.Top + box.Height() / 2;
    TPoint at;
    toPos anchor;
    switch (pos_) {
    case toTopLeft:
        at = {box.Left, box.Top}, anchor = toBotLeft;
        break;
    case toTopCenter:
        at = {cx, box.Top}, anchor = toBotCenter;
        break;
    case toTopRight:
        at = {box.Right, box.Top}, anchor = toBotRight;
        break;
    case toMidLeft:
        at = {box.Left, cy}, anchor = toMidRight;
        break;
    case toMidCenter:
        at = {cx, cy}, anchor = toMidCenter;
        break;
    case toMidRight:
        at = {box.Right, cy}, anchor = toMidLeft;
        break;
    case toBotLeft:
        at = {box.Left, box.Bottom}, anchor = toTopLeft;
        break;
    case toBotCenter:
        at = {cx, box.Bottom}, anchor = toTopCenter;
        break;
    default:
        at = {box.Right, box.Bottom}, anchor = toTopRight;
        break;
    }
    canvas.Font.Assign(font_);
    canvas.Brush.Style = bsClear;
    AbTextOut(canvas, at.X + offsetX_, at.Y + offsetY_, text_, anchor);
}

TAbValInd::TAbValInd() {
    font_.SetName("Arial");
    font_.SetSize(10);
    font_.SetStyle(fsBold);
    font_.SetColor(clLime);
    bevel_.SwapColors(); // a sunken box
    font_.OnChange = [this](TFont&) { ChangeObject(this); };
    for (TAbPersistent* inner : {static_cast<TAbPersistent*>(&bevel_), static_cast<TAbPersistent*>(&caption_),
                                 static_cast<TAbPersistent*>(&txtSpacing_)})
        inner->OnChange = [this](TObject* sender) { ChangeObject(sender); };
}

void TAbValInd::Draw(Canvas& canvas, TPoint point, toPos position) {
    if (!visible_) return;
    canvas.Font.Assign(font_);
    const int h = canvas.TextHeight(formatStr_), w = canvas.TextWidth(formatStr_);
    const int bw = bevel_.Width();
    margin_ = h / 7;
    const int boxW = w + 2 * bw + 2 * margin_ + txtSpacing_.Left() + txtSpacing_.Right();
    const int boxH = h + 2 * bw + txtSpacing_.Top() + txtSpacing_.Bottom();
    int x = point.X + offsetX_ + 1, y = point.Y + offsetY_;
    switch (position % 3) { // left, centre, right column of the nine positions
    case 1:
        x -= boxW / 2;
        break;
    case 2:
        x -= boxW;
        break;
    default:
        break;
    }
    switch (position / 3) { // top, middle, bottom row
    case 1:
        y -= boxH / 2;
        break;
    case 2:
        y -= boxH;
        break;
    default:
        break;
    }
    box_ = {x, y, x + boxW, y + boxH};
    if (caption_.Visible()) caption_.DrawBeside(canvas, box_);

    canvas.Brush.Style = bsSolid;
    canvas.Brush.Color = color_;
    canvas.FillRect(box_);
    TRect inner = box_;
    canvas.Frame3D(inner, bevel_.ColorFrom(), bevel_.ColorTo(), bw);
    canvas.Font.Assign(font_);
    AbTextOut(canvas, inner.Right - margin_ + 1 - txtSpacing_.Right(), inner.Top + txtSpacing_.Top(),
              formatStr_, toTopRight);
    valueArea_ = txtSpacing_.SetOffset(inner);
}

void TAbValInd::DrawValue(Canvas& canvas, double value) const {
    if (!visible_ || valueArea_.IsEmpty()) return;
    DrawBoxText(canvas, valueArea_, color_, font_, platform::FormatFloat(formatStr_, value), margin_ - 1);
}

void DrawBoxText(Canvas& canvas, const TRect& box, TColor color, const TFont& font, const std::string& text,
                 int margin) {
    const int w = box.Width(), h = box.Height();
    if (w < 1 || h < 1) return;
    Bitmap area(w, h);
    Canvas& c = area.GetCanvas();
    c.Brush.Style = bsSolid;
    c.Brush.Color = color;
    c.FillRect({0, 0, w, h});
    c.Brush.Style = bsClear;
    c.Font.Assign(font);
    AbTextOut(c, w - margin, 0, text, toTopRight);
    canvas.Draw(box.Left, box.Top, area);
}

} // namespace gauges
