#pragma once
// The pro labels: a label with angle, shadow and highlight (TProLabel), a label that shows the time
// (TProClockLabel) and an edit with a label in front of it (TProLabelEdit).
//
// Painting a pro label: unless Transparent the client area is filled with Color. The text rectangle is
// the client area moved by OffsetX/OffsetY and placed by VerticalAlignment (with vaTop by the label's
// Layout). With a shadow style other than ssNone the text is drawn ShadowSize times in ShadowColor, the
// first copy ShadowDepth steps in ShadowDirection from the text's place and each further copy one step
// on, then once in HighlightColor HighlightDepth steps in HighlightDirection; then the text itself. A
// disabled label draws its text once in button highlight one pixel down and right and once in button
// shadow. With an Angle the text is drawn rotated (counter-clockwise) by the font's escapement, placed
// so that the rotated text's bounding box lies in the text rectangle by the label's alignment.
#include <memory>
#include <string>

#include "extra/Provcl.h"
#include "platform/Timer.h"
#include "platform/controls/Edit.h"
#include "platform/controls/StdCtrls.h"

namespace extra {

enum class TDirection { drNone, drUp, drDown, drLeft, drRight, drUpLeft, drUpRight, drDownLeft, drDownRight };
enum class TVerticalAlignment { vaTop, vaCenter, vaBottom };
enum class TShadowStyle {
    ssNone,
    ssCustom,
    ssRaised,
    ssRaisedColor,
    ssRaisedShadow,
    ssRaisedThickShadow,
    ssRecessed,
    ssRecessedColor,
    ssRecessedShadow,
    ssShadow,
    ssThickShadow
};
enum class TProLabelPosition { lpLeft, lpTop };
// Depths and sizes of shadows and highlights: 0 to 1280.
inline constexpr int kMaxShadowDepth = 1280;

// The (dx, dy) step of a direction.
platform::gfx::TPoint DirectionStep(TDirection direction);

class TProCustomLabel : public platform::widgets::TCustomLabel {
public:
    explicit TProCustomLabel(platform::TComponent* owner = nullptr, const std::string& name = {});

    // Degrees, taken modulo 360 into 0..359; a non-zero angle switches AutoSize off.
    int Angle() const { return angle_; }
    void SetAngle(int degrees);
    TDirection HighlightDirection() const { return highlightDirection_; }
    void SetHighlightDirection(TDirection v);
    int HighlightDepth() const { return highlightDepth_; }
    void SetHighlightDepth(int v);
    platform::gfx::TColor HighlightColor() const { return highlightColor_; }
    void SetHighlightColor(platform::gfx::TColor v);
    int OffsetX() const { return offsetX_; }
    void SetOffsetX(int v);
    int OffsetY() const { return offsetY_; }
    void SetOffsetY(int v);
    // A preset sets the seven highlight and shadow settings at once (ssCustom changes nothing); changing
    // one of them afterwards makes the style ssCustom.
    TShadowStyle ShadowStyle() const { return shadowStyle_; }
    void SetShadowStyle(TShadowStyle style);
    TDirection ShadowDirection() const { return shadowDirection_; }
    void SetShadowDirection(TDirection v);
    int ShadowDepth() const { return shadowDepth_; }
    void SetShadowDepth(int v);
    int ShadowSize() const { return shadowSize_; }
    void SetShadowSize(int v);
    platform::gfx::TColor ShadowColor() const { return shadowColor_; }
    void SetShadowColor(platform::gfx::TColor v);
    TVerticalAlignment VerticalAlignment() const { return verticalAlignment_; }
    void SetVerticalAlignment(TVerticalAlignment v);

    // Where the text goes (client coordinates), as painting places it.
    platform::gfx::TRect TextRect();

protected:
    void Paint() override;
    // Draws the caption in color with rect as its text rectangle.
    void DrawTextIn(const platform::gfx::TRect& rect, platform::gfx::TColor color);

private:
    // Width and height the text takes (the rotated text's bounding box with an angle).
    platform::gfx::TSize TextSize(const platform::gfx::TRect& rect);
    // The rotated text's bounding box relative to the TextOut point.
    platform::gfx::TRect RotatedBox(const platform::gfx::TFont& font);
    void ToCustom();
    void Changed() { Invalidate(); }

    int angle_ = 0;
    double cos_ = 1.0;
    double sin_ = 0.0;
    TDirection highlightDirection_ = TDirection::drNone;
    int highlightDepth_ = 0;
    platform::gfx::TColor highlightColor_ = platform::gfx::clBtnHighlight;
    int offsetX_ = 0;
    int offsetY_ = 0;
    TShadowStyle shadowStyle_ = TShadowStyle::ssNone;
    TDirection shadowDirection_ = TDirection::drNone;
    int shadowDepth_ = 0;
    int shadowSize_ = 0;
    platform::gfx::TColor shadowColor_ = platform::gfx::clBtnShadow;
    TVerticalAlignment verticalAlignment_ = TVerticalAlignment::vaTop;
};

class TProLabel : public TProCustomLabel {
public:
    using TProCustomLabel::TProCustomLabel;
};

// A label showing the date and time in Format (FormatDateTime; "c" by default), refreshed by its timer.
class TProClockLabel : public TProLabel {
public:
    explicit TProClockLabel(platform::TComponent* owner = nullptr, const std::string& name = {});
    const std::string& Format() const { return format_; }
    void SetFormat(const std::string& format);
    uint32_t Interval() const { return timer_->Interval(); }
    void SetInterval(uint32_t ms) { timer_->SetInterval(ms); }
    // The control and its timer together.
    void SetEnabled(bool enabled) override;
    platform::TNotifyEvent OnTimer;

private:
    void Tick();
    std::string format_ = "c";
    platform::TTimer* timer_; // owned as a component
};

// An edit with a label: the label at the left (LabelWidth wide, as high as the control), the edit after
// it and Gap pixels on, taking the remaining width (never below 0). With lpTop the label lies above the
// edit (LabelHeight high) and the edit below it, Gap pixels on, across the whole width. With AutoSize
// the edit is as high as its font needs (text height + 8) and the control fits it.
class TProLabelEdit : public platform::TWinControl {
public:
    explicit TProLabelEdit(platform::TComponent* owner = nullptr, const std::string& name = {});

    platform::widgets::TEdit& Edit() { return *edit_; }
    TProLabel& Label() { return *label_; }

    int LabelWidth() const { return labelWidth_; }
    void SetLabelWidth(int v);
    int LabelHeight() const { return labelHeight_; }
    void SetLabelHeight(int v);
    TProLabelPosition LabelPosition() const { return labelPosition_; }
    void SetLabelPosition(TProLabelPosition v);
    int Gap() const { return gap_; }
    void SetGap(int v);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v);

    // The edit's settings, forwarded (Color is the edit's, not the control's own background).
    const std::string& Text() const { return edit_->Text(); }
    void SetText(const std::string& text) { edit_->SetText(text); }
    bool ReadOnly() const { return edit_->ReadOnly; }
    void SetReadOnly(bool v) { edit_->ReadOnly = v; }
    int MaxLength() const { return edit_->MaxLength; }
    void SetMaxLength(int v) { edit_->MaxLength = v; }
    bool AutoSelect() const { return edit_->AutoSelect; }
    void SetAutoSelect(bool v) { edit_->AutoSelect = v; }
    bool OEMConvert() const { return edit_->OEMConvert; }
    void SetOEMConvert(bool v) { edit_->OEMConvert = v; }
    platform::widgets::TEditCharCase CharCase() const { return edit_->CharCase(); }
    void SetCharCase(platform::widgets::TEditCharCase v) { edit_->SetCharCase(v); }
    char PasswordChar() const { return edit_->PasswordChar(); }
    void SetPasswordChar(char v) { edit_->SetPasswordChar(v); }
    bool HideSelection() const { return edit_->HideSelection(); }
    void SetHideSelection(bool v) { edit_->SetHideSelection(v); }
    platform::widgets::TBorderStyle BorderStyle() const { return edit_->BorderStyle(); }
    void SetBorderStyle(platform::widgets::TBorderStyle v) { edit_->SetBorderStyle(v); }
    platform::gfx::TColor Color() const { return edit_->Color(); }
    void SetColor(platform::gfx::TColor c) { edit_->SetColor(c); }
    // The edit's events, with this control as the sender; OnEnter, OnExit, OnKeyDown and OnKeyUp are
    // the inherited slots, raised when the edit has them.
    platform::TNotifyEvent OnChange;
    platform::widgets::TKeyPressEvent OnKeyPress;

    // The label's settings, forwarded under a Label prefix (Caption is the label's).
    const std::string& Caption() const { return label_->Caption(); }
    void SetCaption(const std::string& caption) { label_->SetCaption(caption); }
    platform::gfx::TColor LabelColor() const { return label_->Color(); }
    void SetLabelColor(platform::gfx::TColor c) { label_->SetColor(c); }
    platform::widgets::TAlignment LabelAlignment() const { return label_->Alignment(); }
    void SetLabelAlignment(platform::widgets::TAlignment v) { label_->SetAlignment(v); }
    platform::widgets::TTextLayout LabelLayout() const { return label_->Layout(); }
    void SetLabelLayout(platform::widgets::TTextLayout v) { label_->SetLayout(v); }
    bool LabelWordWrap() const { return label_->WordWrap(); }
    void SetLabelWordWrap(bool v) { label_->SetWordWrap(v); }
    TDirection LabelHighlightDirection() const { return label_->HighlightDirection(); }
    void SetLabelHighlightDirection(TDirection v) { label_->SetHighlightDirection(v); }
    int LabelHighlightDepth() const { return label_->HighlightDepth(); }
    void SetLabelHighlightDepth(int v) { label_->SetHighlightDepth(v); }
    platform::gfx::TColor LabelHighlightColor() const { return label_->HighlightColor(); }
    void SetLabelHighlightColor(platform::gfx::TColor v) { label_->SetHighlightColor(v); }
    int LabelOffsetX() const { return label_->OffsetX(); }
    void SetLabelOffsetX(int v) { label_->SetOffsetX(v); }
    int LabelOffsetY() const { return label_->OffsetY(); }
    void SetLabelOffsetY(int v) { label_->SetOffsetY(v); }
    TShadowStyle LabelShadowStyle() const { return label_->ShadowStyle(); }
    void SetLabelShadowStyle(TShadowStyle v) { label_->SetShadowStyle(v); }
    TDirection LabelShadowDirection() const { return label_->ShadowDirection(); }
    void SetLabelShadowDirection(TDirection v) { label_->SetShadowDirection(v); }
    int LabelShadowDepth() const { return label_->ShadowDepth(); }
    void SetLabelShadowDepth(int v) { label_->SetShadowDepth(v); }
    int LabelShadowSize() const { return label_->ShadowSize(); }
    void SetLabelShadowSize(int v) { label_->SetShadowSize(v); }
    platform::gfx::TColor LabelShadowColor() const { return label_->ShadowColor(); }
    void SetLabelShadowColor(platform::gfx::TColor v) { label_->SetShadowColor(v); }

    // Places label and edit (after loading, on resizes and on changes of the settings or the font).
    void Arrange();

    void Loaded() override;

protected:
    void Resize() override { Arrange(); }
    void FontChanged() override;

private:
    int EditAutoHeight() const;

    platform::widgets::TEdit* edit_;
    TProLabel* label_;
    int labelWidth_ = 100;
    int labelHeight_ = 21;
    TProLabelPosition labelPosition_ = TProLabelPosition::lpLeft;
    int gap_ = 0;
    bool autoSize_ = true;
    bool arranging_ = false;
};

} // namespace extra
