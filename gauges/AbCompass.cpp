#include "gauges/AbCompass.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gauges/AbIndicators.h"
#include "platform/FloatFormat.h"

namespace gauges {

namespace gfx = platform::gfx;

TAbCompass::TAbCompass(platform::TComponent* owner, const std::string& name)
    : TAbAnalogGControl(owner, name) {
    BeginUpdate(); // closed by Loaded
    fontValue_.SetName("System");
    fontValue_.SetSize(10);
    fontValue_.SetColor(gfx::clLime);
    fontScaleText_.SetName("Arial");
    fontScaleText_.SetSize(14);
    fontScaleText_.SetStyle(gfx::fsBold);
    fontScaleText_.SetColor(gfx::clBtnHighlight);
    for (TAbSBevel* round : {&bevelOuterRnd_, &bevelInnerRnd_}) {
        round->SetSpacing(0);
        round->SetWidth(5);
        round->SetBevelLine(blInner);
        round->SetColorShadowFrom(gfx::clBtnHighlight);
        round->SetColorShadowTo(gfx::clBtnShadow);
        round->SetUseCache(true);
        round->Change();
    }
    bevelOuterRnd_.SetStyle(bsLowered);
    bevelOuterRnd_.SetColor(gfx::clNavy);
    bevelInnerRnd_.SetPenColor(gfx::clBtnShadow);
    bevelOuter_.SetSpacing(5);
    bevelOuter_.SetWidth(2);
    bevelOuter_.SetBevelLine(blOuter);
    bevelValue_.SetStyle(bsLowered);
    bevelValue_.SetSpacing(0);
    bevelValue_.SetWidth(2);
    bevelValue_.SetColor(gfx::clBlack);
    bevelValue_.SetBevelLine(blNone);
    std::string rest = scaleText_;
    for (std::string& t : texts_)
        t = AbStrToken(rest, ';');
    SetBounds(Left(), Top(), 257, 281);
    SignalSettings().SetValueTo(360.0f);
    SignalSettings().SetValueFormat("##0.0°;-##0.0°");
    SignalSettings().SetValueUnit("°");
}

void TAbCompass::Loaded() {
    TAbAnalogGControl::Loaded();
    auto param = [this](TObject* sender) { ParamChange(sender); };
    fontValue_.OnChange = [this](gfx::TFont&) { ParamChange(this); };
    fontScaleText_.OnChange = [this](gfx::TFont&) { ParamChange(this); };
    for (TAbSBevel* bevel : {&bevelOuterRnd_, &bevelOuter_, &bevelInnerRnd_, &bevelValue_})
        bevel->OnChange = param;
    OnPositionChange = [this](TObject*) { PosChange(); };
    EndUpdate();
}

void TAbCompass::ParamChange(TObject* sender) {
    TAbAnalogGControl::ParamChange(sender);
    Invalidate();
}

void TAbCompass::SetScaleText(const std::string& text) {
    if (text.empty() || text == scaleText_) return;
    scaleText_ = text;
    std::string rest = text;
    for (std::string& t : texts_)
        t = AbStrToken(rest, ';');
    Change();
}

void TAbCompass::SetVInd1Caption(const std::string& v) {
    if (v == vInd1Caption_) return;
    vInd1Caption_ = v;
    Change();
}

void TAbCompass::SetVInd2Caption(const std::string& v) {
    if (v == vInd2Caption_) return;
    vInd2Caption_ = v;
    Change();
}

void TAbCompass::SetSpaceText(int32_t v) {
    if (v == spaceText_) return;
    spaceText_ = v;
    Change();
}

void TAbCompass::SetSpaceScale(int32_t v) {
    if (v == spaceScale_) return;
    spaceScale_ = v;
    Change();
}

void TAbCompass::SetOptions(TCompassOptions options) {
    options_ = options;
    Change();
}

void TAbCompass::SetColorArrowShould(TColor c) {
    if (c == colorArrowShould_) return;
    colorArrowShould_ = c;
    if (!Updating()) ValueChange();
}

void TAbCompass::SetColorScale(TColor c) {
    if (c == colorScale_) return;
    colorScale_ = c;
    if (!Updating()) ValueChange();
}

void TAbCompass::SetValueShould(float should) {
    if (std::isnan(should) || should == valueShould_ || should < 0 || should > 360) return;
    valueShould_ = should;
    if (!Updating()) ValueChange();
}

void TAbCompass::SetColorArrow(TColor c) {
    if (c == colorArrow_) return;
    colorArrow_ = c;
    if (firstPaint_) return; // no marker drawn yet
    gfx::Canvas& canvas = Canvas();
    canvas.Pen.Color = c;
    canvas.Brush.Style = gfx::bsSolid;
    canvas.Brush.Color = c;
    canvas.Polygon(std::vector<TPoint>(courseMarker_.begin(), courseMarker_.end()));
}

void TAbCompass::CompassScale(gfx::Canvas& canvas, TRect& rect, float value, float should, bool measuring) {
    if (measuring) {
        const std::string& widest = SignalSettings().WidestFormat();
        canvas.Font.Assign(fontValue_);
        boxTextWidth_ = canvas.TextWidth(widest);
        boxTextHeight_ = canvas.TextHeight(widest);
        canvas.Font.Assign(fontScaleText_);
        for (const std::string& t : texts_)
            textWidth_ = std::max(textWidth_, canvas.TextWidth(t));
        textHeight_ = canvas.TextHeight("NW");

        const int a = textWidth_ / 2 + spaceText_;
        centre_ = AbCenterPoint(rect);
        const int w = bevelValue_.Width(), t = bevelValue_.TotalWidth();
        const int half = boxTextWidth_ / 2 + t + boxTextHeight_ / 6;
        box1_ = {centre_.X - half, centre_.Y - (w + boxTextHeight_ + t), centre_.X + half, centre_.Y - w + t};
        box2_ = {box1_.Left, box1_.Bottom + w, box1_.Right, box1_.Bottom + w + box1_.Height()};

        radius_ = (rect.Width() - 2 * a) / 2 - textWidth_ / 2 + a - 1;
        tick_ = radius_ / 8;
        halfTick_ = tick_ / 2;
        AbBorder(rect, tick_ + textWidth_ + spaceScale_ + spaceText_);
        const int cx = centre_.X, top = rect.Top - spaceScale_;
        shouldMarker_ = {TPoint{cx, top}, TPoint{cx - tick_, top - tick_}, TPoint{cx + tick_, top - tick_}};
        auto above = [&](int distance) { return TPoint{cx, centre_.Y - distance}; };
        textPoint_ = above(radius_);
        mainOuter_ = above(radius_ - a);
        mainInner_ = above(radius_ - a - tick_);
        subOuter_ = above(radius_ - a - tick_ + halfTick_);
    }

    auto turn = [&](TPoint p, double angle) { return AbRotate(p, centre_, static_cast<float>(angle), true); };
    if (options_ & opArrowShould) {
        const double angle = 360.0 - value + should;
        canvas.Pen.Color = colorArrowShould_;
        canvas.Brush.Style = gfx::bsSolid;
        canvas.Brush.Color = colorArrowShould_;
        canvas.Polygon(
            {turn(shouldMarker_[0], angle), turn(shouldMarker_[1], angle), turn(shouldMarker_[2], angle)});
    }
    canvas.Pen.Color = colorScale_;
    canvas.Brush.Style = gfx::bsClear;
    canvas.Font.Assign(fontScaleText_);
    auto line = [&](TPoint from, TPoint to, double angle, int width) {
        canvas.Pen.Width = width;
        TPoint a = turn(from, angle), b = turn(to, angle);
        canvas.MoveTo(a.X, a.Y);
        canvas.LineTo(b.X, b.Y);
    };
    for (int i = 0; i < 8; ++i) {
        const double angle = 45.0 * i - value;
        const TPoint p = turn(textPoint_, angle);
        AbTextOut(canvas, p.X, p.Y, texts_[static_cast<size_t>(i)], toMidCenter);
        line(mainOuter_, mainInner_, angle, 2);
        if (options_ & opSubSteps)
            for (int j = 1; j <= 4; ++j)
                line(mainInner_, subOuter_, 45.0 * i + 9.0 * j - value, 1);
    }
    canvas.Pen.Width = 1;
}

void TAbCompass::Paint() {
    if (Updating()) return;
    const int width = Width(), height = Height();
    if (width < 1 || height < 1) return;
    Bitmap b(width, height);
    gfx::Canvas& c = b.GetCanvas();
    TRect r{0, 0, width, height};
    int nameOffset = 0;
    if (options_ & opBevelOuter) {
        bevelOuter_.PaintFilledBevel(c, r);
        nameOffset = bevelOuter_.Spacing() / 2;
    } else {
        c.Brush.Style = gfx::bsSolid;
        c.Brush.Color = kKeyColor;
        c.FillRect(r);
    }

    c.Font.Assign(Font());
    c.Brush.Style = gfx::bsClear;
    auto name = [&](const std::string& text) {
        r.Bottom -= c.TextHeight(text);
        AbTextOut(c, r.Left + r.Width() / 2, r.Bottom + nameOffset, text, toTopCenter);
    };
    if (options_ & opName2) name(SignalSettings().Name2());
    if (options_ & opName1) name(SignalSettings().Name1());

    r = AbMakeCenterSquare(r);
    if (options_ & opBevelOuterRnd) bevelOuterRnd_.PaintRoundBevel(c, r, 0, 0);
    const gfx::Region outer = gfx::Region::FromEllipse(r.Offset(Left(), Top()));

    AbBorder(r, 2);
    card_ = r;
    CompassScale(c, r, Value(), valueShould_, true);

    AbBorder(r, 3);
    TRect innerEdge = r;
    AbBorder(innerEdge, -1);
    ring_ =
        gfx::Region::Combine(outer, gfx::Region::FromEllipse(innerEdge.Offset(Left(), Top())), gfx::RGN_DIFF);
    if (options_ & opBevelInnerRnd) bevelInnerRnd_.PaintRoundBevel(c, r, 0, 0);

    const int cx = r.Left + r.Width() / 2;
    courseMarker_ = {TPoint{cx, r.Top}, TPoint{cx + tick_, r.Top + tick_}, TPoint{cx - tick_, r.Top + tick_}};
    c.Pen.Color = colorArrow_;
    c.Brush.Style = gfx::bsSolid;
    c.Brush.Color = colorArrow_;
    c.Polygon(std::vector<TPoint>(courseMarker_.begin(), courseMarker_.end()));

    if (options_ & opValue) {
        c.Brush.Style = gfx::bsClear;
        c.Font.Assign(Font());
        AbTextOut(c, centre_.X, box1_.Top, vInd1Caption_, toBotCenter);
        bevelValue_.PaintFilledBevel(c, box1_);
        c.Brush.Style = gfx::bsClear;
        AbTextOut(c, centre_.X, box2_.Bottom, vInd2Caption_, toTopCenter);
        bevelValue_.PaintFilledBevel(c, box2_);
    }
    if (!(options_ & opBevelOuter)) {
        b.Transparent = true;
        b.SetTransparentColor(kKeyColor);
    }
    Canvas().Draw(0, 0, b);
    firstPaint_ = false;
    ValueChange();
}

void TAbCompass::ValueChange() {
    if (Updating()) return;
    float d = Value() - valueShould_;
    if (d > 180)
        d -= 360;
    else if (d < -180)
        d = 360 - std::fabs(d);
    deviation_ = d;
    deviationText_ = platform::FormatFloat(SignalSettings().ValueFormat(), deviation_);
    TAbAnalogGControl::ValueChange();
    if (!Visible() || firstPaint_ || card_.Right < 1 || card_.Bottom < 1) return;

    Bitmap ring(card_.Right, card_.Bottom);
    gfx::Canvas& rc = ring.GetCanvas();
    rc.Brush.Style = gfx::bsSolid;
    rc.Brush.Color = bevelOuterRnd_.Color();
    rc.FillRect({0, 0, ring.Width(), ring.Height()});
    TRect card = card_;
    CompassScale(rc, card, Value(), valueShould_, false);

    gfx::Canvas& canvas = Canvas();
    {
        // The ring alone; the clip the canvas had before comes back afterwards.
        gfx::CanvasStateSaver saver(canvas);
        canvas.SelectClipRgn(&ring_);
        canvas.Draw(0, 0, ring);
    }
    if (options_ & opValue) {
        const int margin = boxTextHeight_ / 6;
        DrawBoxText(canvas, box1_, bevelValue_.Color(), fontValue_, ValueText(), margin);
        DrawBoxText(canvas, box2_, bevelValue_.Color(), fontValue_, deviationText_, margin);
    }
}

} // namespace gauges
