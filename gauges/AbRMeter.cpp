#include "gauges/AbRMeter.h"

#include <algorithm>
#include <optional>

#include "gauges/AbFlashT.h"
#include "platform/Numeric.h"
#include "platform/graphics/Region.h"

namespace gauges {

namespace gfx = platform::gfx;
using platform::Round;

namespace {
// The flash list's 2 Hz blink code.
constexpr int64_t kFlash2Hz = 4;
} // namespace

TAbRMeter::TAbRMeter(platform::TComponent* owner, const std::string& name) : TAbAnalogGControl(owner, name) {
    BeginUpdate(); // closed by Loaded
    fontUnit_.SetName("System");
    fontUnit_.SetSize(10);
    fontUnit_.SetColor(gfx::clBlack);
    bevelInner_.SetStyle(bsLowered);
    bevelInner_.SetSpacing(5);
    bevelInner_.SetWidth(2);
    bevelInner_.SetBevelLine(blInner);
    bevelOuter_.SetSpacing(5);
    bevelOuter_.SetWidth(2);
    bevelOuter_.SetBevelLine(blOuter);
}

TAbRMeter::~TAbRMeter() {
    DelControl(this);
}

void TAbRMeter::ApplyVariant(const Variant& v) {
    start_ = v.start;
    sweep_ = v.sweep;
    heightRatio_ = v.heightRatio;
    variant_ = v.number;
    SetBounds(Left(), Top(), v.width, v.height);
    scale_.SetSteps(v.steps);
}

void TAbRMeter::Loaded() {
    auto param = [this](TObject* sender) { ParamChange(sender); };
    arrow_.OnChange = param;
    bevelInner_.OnChange = param;
    bevelOuter_.OnChange = param;
    scale_.OnChange = param;
    fontUnit_.OnChange = [this](gfx::TFont&) { ParamChange(this); };
    TAbAnalogGControl::Loaded();
    EndUpdate();
}

void TAbRMeter::SetAutoSize(bool on) {
    autoSize_ = on;
    RepaintUnlessUpdating();
}

void TAbRMeter::SetFontUnit(const gfx::TFont& font) {
    fontUnit_.Assign(font);
    RepaintUnlessUpdating();
}

void TAbRMeter::SetOptions(TRMeterOptions options) {
    options_ = options;
    RepaintUnlessUpdating();
}

void TAbRMeter::ParamChange(TObject* sender) {
    TAbAnalogGControl::ParamChange(sender);
    RepaintUnlessUpdating();
}

void TAbRMeter::LogScaleChanged() {
    scale_.LogScale = LogScale();
    RepaintUnlessUpdating();
}

void TAbRMeter::OverflowChange(int32_t) {
    PointerFlash();
}

void TAbRMeter::LimitChange() {
    PointerFlash();
}

void TAbRMeter::PointerFlash() {
    bool outOfRange = (options_ & opOverflow) && (Overflow() || Underflow());
    bool beyondLimit = (options_ & opLimit) && (UpperLimit() || LowerLimit());
    flashing_ = outOfRange || beyondLimit;
    if (flashing_)
        AddControl(this, kFlash2Hz);
    else
        DelControl(this);
}

void TAbRMeter::CalcSize() {
    gfx::Canvas& canvas = Canvas();
    gfx::CanvasStateSaver saver(canvas);
    const TSignalSettings& signal = SignalSettings();
    canvas.Font.Assign(Font());
    name1W_ = canvas.TextWidth(signal.Name1());
    name1H_ = canvas.TextHeight(signal.Name1());
    name2W_ = canvas.TextWidth(signal.Name2());
    name2H_ = canvas.TextHeight(signal.Name2());
    canvas.Font.Assign(fontUnit_);
    unitW_ = canvas.TextWidth(signal.ValueUnit());
    unitH_ = canvas.TextHeight(signal.ValueUnit());
    scale_.CalcRSize(canvas, signal.ValueFrom(), signal.ValueTo());

    const int lw = scale_.LabelWidth, lh = scale_.LabelHeight;
    const int outer = (options_ & opBevelOuter) ? bevelOuter_.TotalWidth() : 0;
    const int inner = (options_ & opBevelInner) ? bevelInner_.TotalWidth() : 0;
    int d = autoSize_ ? 10 * lh : std::max(Width() - 2 * outer - 2 * inner, 7 * lh);
    int h = Round((d - lw) / static_cast<double>(heightRatio_) + lh);
    h += 2 * outer;
    d += 2 * outer;
    if (options_ & opName1) {
        h += name1H_;
        d = std::max(d, name1W_ + 2 * outer + 2 * inner);
    }
    if (options_ & opName2) {
        h += name2H_;
        d = std::max(d, name2W_ + 2 * outer + 2 * inner);
    }
    h += 2 * inner;
    d += 2 * inner;
    diameter_ = platform::SaturateInt16(d);
    height_ = platform::SaturateInt16(h);
    if (autoSize_ && (diameter_ != Width() || height_ != Height()))
        SetBounds(Left(), Top(), diameter_, height_);
}

TRect TAbRMeter::DrawScale(gfx::Canvas& canvas, TRect& r) {
    TRect first = r;
    if (variant_ == 2 || variant_ == 3) {
        if (variant_ == 3) { // the 120-degree dial widens its box by a tenth
            r.Left -= r.Width() / 20;
            r.Right += (r.Right - r.Left) / 20;
            first = r;
        }
        // The pivot lies at the bottom, so the pointer box reaches down to the bevel.
        pointerRect_.Bottom = r.Bottom + bevelInner_.Spacing();
        scale_.RoundScala(canvas, r, sweep_, start_);
        pointerRect_.Left = r.Left;
        pointerRect_.Top = r.Top;
        pointerRect_.Right = r.Right;
    } else {
        scale_.RoundScala(canvas, r, sweep_, start_);
        pointerRect_ = r;
    }
    return first;
}

void TAbRMeter::BuildPointerShapes() {
    AbArrowField(arrow_.Shape(), scale_.MainTick / 2, pointerRect_, shape_);
    const TPoint centre = shape_[1];
    const int last = std::min<int>(GetArrowHeader(shape_).Count, static_cast<int>(shape_.size()) - 1);
    for (int i = 2; i <= last; ++i)
        shape_[static_cast<size_t>(i)] = AbRotate(shape_[static_cast<size_t>(i)], centre, start_, true);

    const int s = scale_.MainTick, t = Round(s * 0.6), cx = centre.X;
    minMarker_ = {TPoint{cx, s + t}, TPoint{cx, 1}, TPoint{cx - t, 1}};
    maxMarker_ = {TPoint{cx, s + t}, TPoint{cx, 1}, TPoint{cx + t, 1}};
    for (auto* marker : {&minMarker_, &maxMarker_})
        for (TPoint& p : *marker)
            p = AbRotate(p, centre, start_, true);
}

void TAbRMeter::Paint() {
    if (Updating()) return;
    CalcSize();
    lastDrawn_ = -1;
    gfx::Canvas& canvas = Canvas();
    TRect r = ClientRect();
    int nameOffset = 0;
    if (options_ & opBevelOuter) {
        bevelOuter_.PaintFilledBevel(canvas, r);
        nameOffset = bevelOuter_.Spacing() / 2;
    }
    canvas.Brush.Style = gfx::bsClear;
    canvas.Font.Assign(Font());
    auto name = [&](const std::string& text, int height) {
        r.Bottom -= height;
        AbTextOut(canvas, r.Left + r.Width() / 2, r.Bottom + nameOffset, text, toTopCenter);
    };
    if (options_ & opName2) name(SignalSettings().Name2(), name2H_);
    if (options_ & opName1) name(SignalSettings().Name1(), name1H_);
    if (options_ & opBevelInner) bevelInner_.PaintFilledBevel(canvas, r);

    pointerHidden_ = r.Width() < 2 || r.Height() < 2;
    if (pointerHidden_) return;

    const TRect first = DrawScale(canvas, r);
    if (options_ & opSector) {
        TRect ring = r;
        AbBorder(ring, scale_.MainTick + SectorSettings().Offset());
        DrawRSector(canvas, ring);
    }
    if (SectorSettings().Offset() < 0) { // the ring overlaps the scale: ticks and labels go on top
        TRect again = first;
        scale_.RoundScala(canvas, again, sweep_, start_);
    }
    if (options_ & opUnit) {
        const int lw = scale_.LabelWidth, lh = scale_.LabelHeight;
        int y = variant_ == 1 ? Round((Width() - lw) / 1.18 - lh) : r.Top + Round(r.Width() / 3.0 - lh / 2.0);
        canvas.Font.Assign(fontUnit_);
        canvas.Brush.Style = gfx::bsClear;
        AbTextOut(canvas, r.Left + r.Width() / 2, y, SignalSettings().ValueUnit(), toTopCenter);
    }
    BuildPointerShapes();
    GetBkUpImage(canvas, background_, pointerRect_);
    ValueChange();
}

void TAbRMeter::DrawRSector(gfx::Canvas& canvas, const TRect& rect) {
    const int ringWidth = platform::SaturateInt16(rect.Width() / 10 + SectorSettings().WidthOffset());
    {
        // The ring in device (parent) coordinates; the outer ellipse reaches one row lower.
        gfx::CanvasStateSaver saver(canvas);
        const TPoint o = canvas.Origin();
        TRect inner = rect;
        AbBorder(inner, ringWidth);
        gfx::Region ring = gfx::Region::Combine(
            gfx::Region::FromEllipse(
                TRect{rect.Left, rect.Top, rect.Right, rect.Bottom + 1}.Offset(o.X, o.Y)),
            gfx::Region::FromEllipse(inner.Offset(o.X, o.Y)), gfx::RGN_DIFF);
        canvas.SelectClipRgn(&ring);
        const double sweep = sweep_;
        for (int n = 1; n <= 3; ++n) {
            const TSectorSettings::Sector& s = SectorSettings().Get(n);
            if (s.To - s.From < 5 || s.To < 1 || s.From >= 1000) continue;
            const int32_t to = std::min(1000, s.To);
            canvas.Brush.Style = gfx::bsSolid;
            canvas.Brush.Color = s.Color;
            canvas.Pen.Color = s.Color;
            canvas.Pen.Width = 1;
            if (s.From >= 0)
                AbRoundSector(canvas, rect, static_cast<float>(start_ + Round(s.From * sweep / 1000)),
                              static_cast<float>(Round((to - s.From) * sweep / 1000)));
            else
                AbRoundSector(canvas, rect, start_, static_cast<float>(Round(to * sweep / 1000)));
        }
    }
    canvas.Pen.Color = scale_.Color();
    canvas.Pen.Width = scale_.MainPenWidth;
    canvas.Brush.Style = gfx::bsClear;
    if (scale_.DrawLine()) {
        if (variant_ == 0)
            canvas.Ellipse(rect);
        else // counter-clockwise from the scale's end back to its start
            canvas.Arc(rect.Left, rect.Top, rect.Right, rect.Bottom, scale_.ArcEnd.X, scale_.ArcEnd.Y,
                       scale_.ArcStart.X, scale_.ArcStart.Y);
    }
    canvas.Pen.Width = 1;
}

void TAbRMeter::DrawPointer(gfx::Canvas* canvas, TColor) {
    if (pointerHidden_ || background_.Width() < 2) return;
    Bitmap t(background_);
    gfx::Canvas& c = t.GetCanvas();
    const double sweep = sweep_;
    const TPoint centre = shape_[1];

    auto marker = [&](const std::array<TPoint, 3>& m, int32_t ppt, TColor own) {
        const float angle = static_cast<float>(ppt * sweep / 1000);
        c.Brush.Style = gfx::bsSolid;
        c.Brush.Color = MarkerColor(ppt, own);
        c.Polygon({AbRotate(m[0], centre, angle, true), AbRotate(m[1], centre, angle, true),
                   AbRotate(m[2], centre, angle, true)});
    };
    if (MinMax().MinVisible()) marker(minMarker_, PptMin(), MinMax().MinColor());
    if (MinMax().MaxVisible()) marker(maxMarker_, PptMax(), MinMax().MaxColor());

    const TArrowHeader header = GetArrowHeader(shape_);
    c.Brush.Style = gfx::bsSolid;
    if (flashing_) {
        c.Brush.Color = pointerColor_;
        c.Pen.Color = (header.Flag & 1) ? pointerColor_ : arrow_.ColorPen();
    } else {
        c.Brush.Color = arrow_.ColorBrush();
        c.Pen.Color = arrow_.ColorPen();
    }
    AbArrowDraw(c, static_cast<float>(PptValue() * sweep / 1000), shape_, rotated_, true);

    const TPoint p = rotated_[1];
    auto disc = [&](int radius, TColor brush, TColor pen) {
        if (radius <= 0) return;
        c.Brush.Color = brush;
        c.Pen.Color = pen;
        c.Ellipse(p.X - radius, p.Y - radius, p.X + radius, p.Y + radius);
    };
    disc(header.Circle1, arrow_.ColorCP1Brush(), arrow_.ColorCP1Pen());
    disc(header.Circle2, arrow_.ColorCP2Brush(), arrow_.ColorCP2Pen());
    if (canvas) canvas->Draw(pointerRect_.Left, pointerRect_.Top, t);
}

void TAbRMeter::ValueChange() {
    FlagScope inside(insideValueChange_);
    TAbAnalogGControl::ValueChange();
    if (pointerHidden_ || background_.Empty() || !Visible()) return;
    DrawPointer(&Canvas(), pointerColor_);
    lastDrawn_ = static_cast<int16_t>(PptValue());
}

void TAbRMeter::WndProc(platform::TMessage& message) {
    if (message.Msg != WM_FLASH) return TAbAnalogGControl::WndProc(message);
    if (!Visible() || insideValueChange_ || pointerHidden_) return;
    pointerColor_ = message.LParam != 0 ? FlashColor2() : FlashColor1();
    DrawPointer(&Canvas(), pointerColor_);
}

// ---- The variants ----

TAb360Meter::TAb360Meter(platform::TComponent* owner, const std::string& name) : TAbRMeter(owner, name) {
    ApplyVariant({0, 360, 1.0f, 252, 252, 10, 0});
}

void TAb360Meter::SetStartPos(int16_t angle) {
    if (angle == StartAngle() || angle < 0 || angle > 360) return;
    SetStartAngle(angle);
    ParamChange(this);
}

TAb270Meter::TAb270Meter(platform::TComponent* owner, const std::string& name) : TAbRMeter(owner, name) {
    ApplyVariant({225, 270, 1.18f, 252, 252, 10, 1});
}

TAb180Meter::TAb180Meter(platform::TComponent* owner, const std::string& name) : TAbRMeter(owner, name) {
    ApplyVariant({270, 180, 2.0f, 252, 174, 5, 2});
}

TAb120Meter::TAb120Meter(platform::TComponent* owner, const std::string& name) : TAbRMeter(owner, name) {
    ApplyVariant({300, 120, 2.5f, 252, 155, 5, 3});
}

} // namespace gauges
