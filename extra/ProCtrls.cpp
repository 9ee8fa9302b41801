#include "extra/ProCtrls.h"

#include <algorithm>
#include <cmath>

#include "platform/DateTime.h"
#include "platform/graphics/DrawText.h"

using platform::gfx::TColor;
using platform::gfx::TRect;

namespace extra {

namespace {
struct ShadowPreset {
    TShadowStyle style;
    TDirection highlightDirection;
    int highlightDepth;
    TDirection shadowDirection;
    int shadowDepth;
    int shadowSize;
    bool faceColoredFont; // the font takes the button face colour
};

constexpr ShadowPreset kPresets[] = {
    {TShadowStyle::ssNone, TDirection::drNone, 0, TDirection::drNone, 0, 0, false},
    {TShadowStyle::ssRaised, TDirection::drUpLeft, 1, TDirection::drNone, 0, 0, false},
    {TShadowStyle::ssRaisedColor, TDirection::drUpLeft, 1, TDirection::drDownRight, 1, 1, true},
    {TShadowStyle::ssRaisedShadow, TDirection::drUpLeft, 1, TDirection::drDownRight, 1, 1, false},
    {TShadowStyle::ssRaisedThickShadow, TDirection::drUpLeft, 1, TDirection::drDownRight, 1, 4, false},
    {TShadowStyle::ssRecessed, TDirection::drDownRight, 1, TDirection::drNone, 0, 0, false},
    {TShadowStyle::ssRecessedColor, TDirection::drDownRight, 1, TDirection::drUpLeft, 1, 1, true},
    {TShadowStyle::ssRecessedShadow, TDirection::drDownRight, 1, TDirection::drUpLeft, 1, 1, false},
    {TShadowStyle::ssShadow, TDirection::drNone, 0, TDirection::drDownRight, 2, 1, false},
    {TShadowStyle::ssThickShadow, TDirection::drNone, 0, TDirection::drDownRight, 1, 4, false},
};

int ClampDepth(int v) {
    return std::clamp(v, 0, kMaxShadowDepth);
}
} // namespace

platform::gfx::TPoint DirectionStep(TDirection direction) {
    switch (direction) {
    case TDirection::drNone:
        return {0, 0};
    case TDirection::drUp:
        return {0, -1};
    case TDirection::drDown:
        return {0, 1};
    case TDirection::drLeft:
        return {-1, 0};
    case TDirection::drRight:
        return {1, 0};
    case TDirection::drUpLeft:
        return {-1, -1};
    case TDirection::drUpRight:
        return {1, -1};
    case TDirection::drDownLeft:
        return {-1, 1};
    case TDirection::drDownRight:
        return {1, 1};
    }
    return {0, 0};
}

// ---- label ----

TProCustomLabel::TProCustomLabel(platform::TComponent* owner, const std::string& name)
    : TCustomLabel(owner, name) {
    RegisterProCursors();
}

void TProCustomLabel::SetAngle(int degrees) {
    int a = degrees % 360;
    if (a < 0) a += 360;
    if (a == angle_) return;
    angle_ = a;
    double rad = a * M_PI / 180.0;
    cos_ = std::cos(rad);
    sin_ = std::sin(rad);
    if (a != 0) SetAutoSize(false);
    Changed();
}

void TProCustomLabel::ToCustom() {
    shadowStyle_ = TShadowStyle::ssCustom;
    Changed();
}

void TProCustomLabel::SetHighlightDirection(TDirection v) {
    if (v == highlightDirection_) return;
    highlightDirection_ = v;
    ToCustom();
}
void TProCustomLabel::SetHighlightDepth(int v) {
    v = ClampDepth(v);
    if (v == highlightDepth_) return;
    highlightDepth_ = v;
    ToCustom();
}
void TProCustomLabel::SetHighlightColor(TColor v) {
    if (v == highlightColor_) return;
    highlightColor_ = v;
    ToCustom();
}
void TProCustomLabel::SetShadowDirection(TDirection v) {
    if (v == shadowDirection_) return;
    shadowDirection_ = v;
    ToCustom();
}
void TProCustomLabel::SetShadowDepth(int v) {
    v = ClampDepth(v);
    if (v == shadowDepth_) return;
    shadowDepth_ = v;
    ToCustom();
}
void TProCustomLabel::SetShadowSize(int v) {
    v = ClampDepth(v);
    if (v == shadowSize_) return;
    shadowSize_ = v;
    ToCustom();
}
void TProCustomLabel::SetShadowColor(TColor v) {
    if (v == shadowColor_) return;
    shadowColor_ = v;
    ToCustom();
}

void TProCustomLabel::SetOffsetX(int v) {
    if (v == offsetX_) return;
    offsetX_ = v;
    Changed();
}
void TProCustomLabel::SetOffsetY(int v) {
    if (v == offsetY_) return;
    offsetY_ = v;
    Changed();
}
void TProCustomLabel::SetVerticalAlignment(TVerticalAlignment v) {
    if (v == verticalAlignment_) return;
    verticalAlignment_ = v;
    Changed();
}

void TProCustomLabel::SetShadowStyle(TShadowStyle style) {
    if (style != TShadowStyle::ssCustom) {
        const ShadowPreset& p = *std::find_if(std::begin(kPresets), std::end(kPresets),
                                              [style](const ShadowPreset& q) { return q.style == style; });
        highlightDirection_ = p.highlightDirection;
        highlightDepth_ = p.highlightDepth;
        shadowDirection_ = p.shadowDirection;
        shadowDepth_ = p.shadowDepth;
        shadowSize_ = p.shadowSize;
        highlightColor_ = platform::gfx::clBtnHighlight;
        shadowColor_ = platform::gfx::clBtnShadow;
        if (p.faceColoredFont) Font().SetColor(platform::gfx::clBtnFace);
    }
    shadowStyle_ = style;
    Changed();
}

TRect TProCustomLabel::RotatedBox(const platform::gfx::TFont& font) {
    double w = platform::gfx::MeasureText(font, Caption());
    double h = platform::gfx::GetTextMetrics(font).Height;
    // The cell's corners turned about the TextOut point (counter-clockwise, y downwards).
    const double xs[] = {0, w * cos_, h * sin_, w * cos_ + h * sin_};
    const double ys[] = {0, -w * sin_, h * cos_, h * cos_ - w * sin_};
    auto [minX, maxX] = std::minmax_element(std::begin(xs), std::end(xs));
    auto [minY, maxY] = std::minmax_element(std::begin(ys), std::end(ys));
    return {static_cast<int>(std::floor(*minX)), static_cast<int>(std::floor(*minY)),
            static_cast<int>(std::ceil(*maxX)), static_cast<int>(std::ceil(*maxY))};
}

platform::gfx::TSize TProCustomLabel::TextSize(const TRect& rect) {
    if (angle_ != 0) {
        TRect box = RotatedBox(Font());
        return {box.Width(), box.Height()};
    }
    platform::gfx::Canvas& c = Canvas();
    c.Font = Font();
    TRect r = rect;
    platform::gfx::DrawText(c, Caption(), r, TextFlags() | platform::gfx::DT_CALCRECT);
    return {r.Width(), r.Height()};
}

TRect TProCustomLabel::TextRect() {
    TRect r = ClientRect().Offset(offsetX_, offsetY_);
    int spare = r.Height() - TextSize(r).cy;
    int offset = 0;
    switch (verticalAlignment_) {
    case TVerticalAlignment::vaTop:
        if (Layout() == platform::widgets::TTextLayout::tlCenter) offset = spare / 2;
        if (Layout() == platform::widgets::TTextLayout::tlBottom) offset = spare;
        break;
    case TVerticalAlignment::vaCenter:
        offset = spare / 2;
        break;
    case TVerticalAlignment::vaBottom:
        offset = spare;
        break;
    }
    r.Top += offset;
    return r;
}

void TProCustomLabel::DrawTextIn(const TRect& rect, TColor color) {
    platform::gfx::Canvas& c = Canvas();
    c.Font = Font();
    c.Font.SetColor(color);
    c.Brush.Style = platform::gfx::bsClear;
    if (angle_ == 0) {
        TRect r = rect;
        platform::gfx::DrawText(c, Caption(), r, TextFlags());
        return;
    }
    c.Font.SetOrientation(angle_ * 10);
    TRect box = RotatedBox(c.Font);
    int x = rect.Left - box.Left;
    int y = rect.Top - box.Top;
    if (Alignment() == platform::widgets::TAlignment::taCenter) x += (rect.Width() - box.Width()) / 2;
    if (Alignment() == platform::widgets::TAlignment::taRightJustify) x += rect.Width() - box.Width();
    c.TextAlign = platform::gfx::TA_LEFT | platform::gfx::TA_TOP;
    c.TextOut(x, y, Caption());
}

void TProCustomLabel::Paint() {
    platform::gfx::Canvas& c = Canvas();
    if (!Transparent()) {
        c.Brush.Color = Color();
        c.Brush.Style = platform::gfx::bsSolid;
        c.FillRect(ClientRect());
    }
    if (Caption().empty()) return;
    TRect r = TextRect();
    if (!Enabled()) {
        DrawTextIn(r.Offset(1, 1), platform::gfx::clBtnHighlight);
        DrawTextIn(r, platform::gfx::clBtnShadow);
        return;
    }
    if (shadowStyle_ != TShadowStyle::ssNone) {
        platform::gfx::TPoint s = DirectionStep(shadowDirection_);
        for (int i = 0; i < shadowSize_; ++i) {
            int n = shadowDepth_ + i;
            DrawTextIn(r.Offset(s.X * n, s.Y * n), shadowColor_);
        }
        platform::gfx::TPoint h = DirectionStep(highlightDirection_);
        if (highlightDepth_ > 0 && (h.X || h.Y))
            DrawTextIn(r.Offset(h.X * highlightDepth_, h.Y * highlightDepth_), highlightColor_);
    }
    DrawTextIn(r, Font().Color());
}

// ---- clock label ----

TProClockLabel::TProClockLabel(platform::TComponent* owner, const std::string& name)
    : TProLabel(owner, name), timer_(new platform::TTimer(this)) {
    timer_->SetInterval(1000);
    timer_->OnTimer = [this](platform::TTimer*) { Tick(); };
    SetCaption(platform::FormatDateTime(format_, platform::Now()));
}

void TProClockLabel::SetFormat(const std::string& format) {
    if (format == format_) return;
    format_ = format;
    SetCaption(platform::FormatDateTime(format_, platform::Now()));
}

void TProClockLabel::SetEnabled(bool enabled) {
    TProLabel::SetEnabled(enabled);
    timer_->SetEnabled(enabled);
}

void TProClockLabel::Tick() {
    SetCaption(platform::FormatDateTime(format_, platform::Now()));
    if (OnTimer) OnTimer(this);
}

// ---- label edit ----

TProLabelEdit::TProLabelEdit(platform::TComponent* owner, const std::string& name)
    : TWinControl(owner, name), edit_(new platform::widgets::TEdit(this)), label_(new TProLabel(this)) {
    SetBounds(0, 0, 250, 21);
    edit_->SetParent(this);
    label_->SetParent(this);
    label_->SetAutoSize(false);
    label_->SetAlignment(platform::widgets::TAlignment::taLeftJustify);
    label_->SetLayout(platform::widgets::TTextLayout::tlCenter);
    label_->SetCaption("LabelEdit:");
    label_->FocusControl = edit_;
    edit_->OnChange = [this](platform::TComponent*) {
        if (OnChange) OnChange(this);
    };
    edit_->OnKeyPress = [this](platform::TComponent*, char& key) {
        if (OnKeyPress) OnKeyPress(this, key);
    };
    edit_->OnEnter = [this](platform::TComponent*) {
        if (OnEnter) OnEnter(this);
    };
    edit_->OnExit = [this](platform::TComponent*) {
        if (OnExit) OnExit(this);
    };
    edit_->OnKeyDown = [this](platform::TComponent*, uint16_t& key, platform::TShiftState shift) {
        if (OnKeyDown) OnKeyDown(this, key, shift);
    };
    edit_->OnKeyUp = [this](platform::TComponent*, uint16_t& key, platform::TShiftState shift) {
        if (OnKeyUp) OnKeyUp(this, key, shift);
    };
    Arrange();
}

void TProLabelEdit::SetLabelWidth(int v) {
    if (v == labelWidth_) return;
    labelWidth_ = std::max(v, 0);
    Arrange();
}
void TProLabelEdit::SetLabelHeight(int v) {
    if (v == labelHeight_) return;
    labelHeight_ = std::max(v, 0);
    Arrange();
}
void TProLabelEdit::SetLabelPosition(TProLabelPosition v) {
    if (v == labelPosition_) return;
    labelPosition_ = v;
    Arrange();
}
void TProLabelEdit::SetGap(int v) {
    if (v == gap_) return;
    gap_ = v;
    Arrange();
}
void TProLabelEdit::SetAutoSize(bool v) {
    if (v == autoSize_) return;
    autoSize_ = v;
    Arrange();
}

void TProLabelEdit::Loaded() {
    TWinControl::Loaded();
    Arrange();
}

void TProLabelEdit::FontChanged() {
    TWinControl::FontChanged();
    Arrange();
}

int TProLabelEdit::EditAutoHeight() const {
    return platform::gfx::GetTextMetrics(edit_->Font()).Height + 8;
}

void TProLabelEdit::Arrange() {
    if (arranging_ || Loading() || Destroying()) return;
    arranging_ = true;
    if (labelPosition_ == TProLabelPosition::lpLeft) {
        if (autoSize_) SetBounds(Left(), Top(), Width(), EditAutoHeight());
        label_->SetBounds(0, 0, labelWidth_, Height());
        edit_->SetBounds(labelWidth_ + gap_, 0, std::max(0, Width() - labelWidth_ - gap_), Height());
    } else {
        int top = labelHeight_ + gap_;
        int editHeight = autoSize_ ? EditAutoHeight() : std::max(0, Height() - top);
        if (autoSize_) SetBounds(Left(), Top(), Width(), top + editHeight);
        label_->SetBounds(0, 0, Width(), labelHeight_);
        edit_->SetBounds(0, top, Width(), editHeight);
    }
    arranging_ = false;
}

} // namespace extra
