#pragma once
// Small appearance settings of the gauges: pointer colours, an LED, and the value box with its caption.
//
// Value box layout (TAbValInd::Draw), H and W being the height of the font and the width of FormatStr:
// margin = H div 7; the box is W + 2 x (bevel width + margin) + TxtSpacing left + right wide and
// H + 2 x bevel width + TxtSpacing top + bottom high; the anchor names the point of the box that lies at
// the given point shifted by (OffsetX + 1, OffsetY). The caption stands outside the box on the side its
// Pos names (above for the top positions, beside for the middle ones, below for the bottom ones, on the
// box's centre for toMidCenter). DrawValue writes the value right-aligned into the value area, the box
// less its frame and TxtSpacing.
#include <string>

#include "gauges/AbBevel.h"
#include "platform/graphics/Font.h"

namespace gauges {

// The colours of a meter's pointer and its two centre discs.
class TArrowSettings : public TAbPersistent {
public:
    int Shape() const { return shape_; }
    TColor ColorPen() const { return colorPen_; }
    TColor ColorBrush() const { return colorBrush_; }
    TColor ColorCP1Pen() const { return cp1Pen_; }
    TColor ColorCP1Brush() const { return cp1Brush_; }
    TColor ColorCP2Pen() const { return cp2Pen_; }
    TColor ColorCP2Brush() const { return cp2Brush_; }
    void SetShape(int v) { SetProperty(shape_, v); }
    void SetColorPen(TColor c) { SetProperty(colorPen_, c); }
    void SetColorBrush(TColor c) { SetProperty(colorBrush_, c); }
    void SetColorCP1Pen(TColor c) { SetProperty(cp1Pen_, c); }
    void SetColorCP1Brush(TColor c) { SetProperty(cp1Brush_, c); }
    void SetColorCP2Pen(TColor c) { SetProperty(cp2Pen_, c); }
    void SetColorCP2Brush(TColor c) { SetProperty(cp2Brush_, c); }
    void AssignTo(TAbPersistent& dest) const override;

private:
    int shape_ = 0;
    TColor colorPen_ = platform::gfx::clBlack;
    TColor colorBrush_ = platform::gfx::clLime;
    TColor cp1Pen_ = platform::gfx::clBlack;
    TColor cp1Brush_ = platform::gfx::clBlack;
    TColor cp2Pen_ = platform::gfx::clBlack;
    TColor cp2Brush_ = platform::gfx::clBtnFace;
};

class TLED : public TAbPersistent {
public:
    TLEDShape Shape() const { return shape_; }
    TColor ColorOn() const { return colorOn_; }
    TColor ColorOff() const { return colorOff_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetShape(TLEDShape s) { SetProperty(shape_, s); }
    void SetColorOn(TColor c) { SetProperty(colorOn_, c); }
    void SetColorOff(TColor c) { SetProperty(colorOff_, c); }
    void SetWidth(int v);  // 4 .. 40, others ignored
    void SetHeight(int v); // 4 .. 40, others ignored

    TRect Rect; // set by the owning control
    void Draw(Canvas& canvas, bool on) const;

private:
    TLEDShape shape_ = sRound;
    TColor colorOn_ = platform::gfx::clLime;
    TColor colorOff_ = platform::gfx::clBtnFace;
    int width_ = 13;
    int height_ = 13;
};

// A caption beside a box.
class TAbText : public TAbPersistent {
public:
    TAbText();
    const std::string& Text() const { return text_; }
    platform::gfx::TFont& Font() { return font_; }
    const platform::gfx::TFont& Font() const { return font_; }
    int OffsetX() const { return offsetX_; }
    int OffsetY() const { return offsetY_; }
    toPos Pos() const { return pos_; }
    bool Visible() const { return visible_; }
    void SetText(const std::string& v) { SetProperty(text_, v); }
    void SetFont(const platform::gfx::TFont& font) { font_.Assign(font); }
    void SetOffsetX(int v) { SetProperty(offsetX_, v); }
    void SetOffsetY(int v) { SetProperty(offsetY_, v); }
    void SetPos(toPos v) { SetProperty(pos_, v); }
    void SetVisible(bool v) { SetProperty(visible_, v); }
    // Writes the text outside `box` on the side Pos names.
    void DrawBeside(Canvas& canvas, const TRect& box) const;

private:
    std::string text_;
    platform::gfx::TFont font_;
    int offsetX_ = 0;
    int offsetY_ = 0;
    toPos pos_ = toTopLeft;
    bool visible_ = true;
};

// A value box: a sunken frame with the value right-aligned in it and an optional caption.
class TAbValInd : public TAbPersistent {
public:
    TAbValInd();
    const std::string& FormatStr() const { return formatStr_; }
    TColor Color() const { return color_; }
    platform::gfx::TFont& Font() { return font_; }
    bool Visible() const { return visible_; }
    int OffsetX() const { return offsetX_; }
    int OffsetY() const { return offsetY_; }
    TAbBevelSettings& Bevel() { return bevel_; }
    TAbText& Caption() { return caption_; }
    TAbOffset& TxtSpacing() { return txtSpacing_; }
    void SetFormatStr(const std::string& v) { SetProperty(formatStr_, v); }
    void SetColor(TColor c) { SetProperty(color_, c); }
    void SetFont(const platform::gfx::TFont& font) { font_.Assign(font); }
    void SetVisible(bool v) { SetProperty(visible_, v); }
    void SetOffsetX(int v) { SetProperty(offsetX_, v); }
    void SetOffsetY(int v) { SetProperty(offsetY_, v); }

    // The box anchored at `point` by `position`, with its caption and the format as a placeholder.
    void Draw(Canvas& canvas, TPoint point, toPos position);
    // The value formatted with FormatStr into the value area of the last Draw.
    void DrawValue(Canvas& canvas, double value) const;
    const TRect& BoxRect() const { return box_; }
    const TRect& ValueRect() const { return valueArea_; }

private:
    std::string formatStr_ = "##0.0";
    TColor color_ = platform::gfx::clBlack;
    platform::gfx::TFont font_;
    bool visible_ = true;
    int offsetX_ = 0;
    int offsetY_ = 0;
    TAbBevelSettings bevel_;
    TAbText caption_;
    TAbOffset txtSpacing_;
    TRect box_;
    TRect valueArea_;
    int margin_ = 0;
};

// Writes `text` into `box` on a background of `color`, right-aligned `margin` pixels from the right edge
// and at the top, through an off-screen bitmap (the value boxes of the gauges).
void DrawBoxText(Canvas& canvas, const TRect& box, TColor color, const platform::gfx::TFont& font,
                 const std::string& text, int margin);

} // namespace gauges
