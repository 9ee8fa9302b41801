#pragma once
// Gauge scales: TScaleSettings measures the labels of a value range and draws a round, dial, vertical or
// horizontal scale (linear or decade-logarithmic), leaving the reference points the control needs for
// its pointer. The lighter scale descriptions (TAbCustomScale, TAbScale, TAbFlexScale) only hold settings.
//
// Measuring (CalcSize vertical, CalcHSize horizontal, CalcRSize round), with W x H the largest label
// and N the main steps (Steps, or on a log scale CalcLogScaleSteps of Steps and the decades):
//   main pen width = round(H / 14); pointer margin = main pen div 2 + 3;
//   straight scales: main tick = round(H / 1.4), sub tick = round(main / 2) with a 1-pixel main pen,
//   else round(main / 1.4); gap H div 3 (vertical) or H div 5 (horizontal); a vertical scale needs
//   W + main tick + gap by round(H x N x 1.4), a horizontal one round(W x N x 1.4) by H div 2 + main
//   tick + gap;
//   round scales: gap max(H, W) div 2 + 1; the ticks follow from the radius when drawn.
// Labels of a vertical scale run from the top (high) down; the others run from the low end.
#include <cstdint>
#include <string>

#include "gauges/AbProc.h"
#include "gauges/GClass.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Font.h"

namespace gauges {

class TScaleSettings : public TAbPersistent {
public:
    TScaleSettings();

    TColor Color() const { return color_; }
    TColor PointerColor() const { return pointerColor_; }
    bool DrawLine() const { return drawLine_; }
    platform::gfx::TFont& Font() { return font_; }
    bool PosLeftTop() const { return posLeftTop_; }
    int32_t Steps() const { return steps_; }
    int32_t SubSteps() const { return subSteps_; }
    const std::string& ValueFormat() const { return valueFormat_; }
    const std::string& ValueFormatLog() const { return valueFormatLog_; }
    void SetColor(TColor c) { SetProperty(color_, c); }
    void SetPointerColor(TColor c) { SetProperty(pointerColor_, c); }
    void SetDrawLine(bool v); // notifies also when unchanged
    void SetFont(const platform::gfx::TFont& font) { font_.Assign(font); }
    void SetPosLeftTop(bool v) { SetProperty(posLeftTop_, v); }
    void SetSteps(int32_t v);    // 1 .. 20, others ignored
    void SetSubSteps(int32_t v); // 1 .. 10, others ignored
    void SetValueFormat(const std::string& v) { SetProperty(valueFormat_, v); }
    void SetValueFormatLog(const std::string& v) { SetProperty(valueFormatLog_, v); }
    void AssignTo(TAbPersistent& dest) const override;

    // Measuring for a range; the owning control sets LogScale first.
    void CalcSize(Canvas& canvas, double from, double to);
    void CalcHSize(Canvas& canvas, double from, double to);
    void CalcRSize(Canvas& canvas, double from, double to);
    // Drawing; the round ones shrink `rect` to the area inside the labels.
    void RoundScala(Canvas& canvas, TRect& rect, double sweep, double start) {
        DrawRound(canvas, rect, sweep, start, false);
    }
    void DialScala(Canvas& canvas, TRect& rect, double sweep, double start) {
        DrawRound(canvas, rect, sweep, start, true);
    }
    void VertiScala(Canvas& canvas, const TRect& rect);
    void HorizScala(Canvas& canvas, const TRect& rect);
    // Main steps of a log scale: the largest count from `steps` down that divides the decades, else 1.
    static int CalcLogScaleSteps(int steps, int decades);

    // Layout state.
    bool LogScale = false;
    int LogSteps = 0;
    int MainTick = 14;
    int SubTick = 7;
    int MainPenWidth = 2;
    int SubPenWidth = 1;
    int Gap = 4;
    std::string Labels; // joined by ";"
    int LabelWidth = 0;
    int LabelHeight = 0;
    int ScaleWidth = 0;
    int ScaleHeight = 0;
    int PointerMargin = 0;
    TPoint Centre;
    TPoint InnerTopLeft, InnerBottomRight;
    TPoint ArcStart, ArcEnd;    // outer end of the first main tick, inner end of the last
    int ScaleBottom = 0;        // vertical scale: y of the low end; horizontal: x of the low end
    int ScaleTop = 0;           // vertical scale: y of the high end; horizontal: x of the high end
    int LogFrom = 0, LogTo = 0; // round(log10) of the range ends

private:
    // The steps between labels.
    int MainSteps() const { return LogScale ? LogSteps : steps_; }
    void Measure(Canvas& canvas, double from, double to, bool descending);
    void DrawRound(Canvas& canvas, TRect& rect, double sweep, double start, bool dial);
    void Prepare(Canvas& canvas);

    TColor color_ = platform::gfx::clBlack;
    TColor pointerColor_ = platform::gfx::clLime;
    bool drawLine_ = true;
    platform::gfx::TFont font_;
    bool posLeftTop_ = false;
    int32_t steps_ = 5;
    int32_t subSteps_ = 2;
    std::string valueFormat_ = "##0";
    std::string valueFormatLog_ = "0e-0";
};

// The pen, length and offset of a scale's step lines.
class TAbLineSettings : public TAbPersistent {
public:
    const platform::gfx::TPen& Pen() const { return pen_; }
    void SetPen(const platform::gfx::TPen& pen);
    int Length() const { return length_; }
    int Offset() const { return offset_; }
    bool Visible() const { return visible_; }
    void SetLength(int v) { SetProperty(length_, v); }
    void SetOffset(int v) { SetProperty(offset_, v); }
    void SetVisible(bool v) { SetProperty(visible_, v); }

private:
    platform::gfx::TPen pen_;
    int length_ = 0;
    int offset_ = 0;
    bool visible_ = true;
};

enum TAngleMode { amAuto, amManual };

// A scale description without drawing code of its own.
class TAbCustomScale : public TAbPersistent {
public:
    TAbCustomScale();
    platform::gfx::TFont& Font() { return font_; }
    const std::string& FormatStr() const { return formatStr_; }
    TAbLineSettings& StepLines() { return stepLines_; }
    TAbLineSettings& SubStepLines() { return subStepLines_; }
    toPos TextAlignment() const { return textAlignment_; }
    int TextOffsetX() const { return textOffsetX_; }
    int TextOffsetY() const { return textOffsetY_; }
    const std::string& Text() const { return text_; }
    float Angle() const { return angle_; }
    TAngleMode AngleMode() const { return angleMode_; }
    void SetFont(const platform::gfx::TFont& font) { font_.Assign(font); }
    void SetFormatStr(const std::string& v) { SetProperty(formatStr_, v); }
    void SetTextAlignment(toPos v) { SetProperty(textAlignment_, v); }
    void SetTextOffsetX(int v) { SetProperty(textOffsetX_, v); }
    void SetTextOffsetY(int v) { SetProperty(textOffsetY_, v); }
    void SetText(const std::string& v) { SetProperty(text_, v); }
    void SetAngle(float v) { SetProperty(angle_, v); }
    void SetAngleMode(TAngleMode v) { SetProperty(angleMode_, v); }

private:
    platform::gfx::TFont font_;
    std::string formatStr_ = "##0.#";
    TAbLineSettings stepLines_;
    TAbLineSettings subStepLines_;
    toPos textAlignment_ = toMidCenter;
    int textOffsetX_ = 0;
    int textOffsetY_ = 0;
    std::string text_;
    float angle_ = 0;
    TAngleMode angleMode_ = amAuto;
};

class TAbScale : public TAbCustomScale {};

class TAbFlexScale : public TAbCustomScale {
public:
    float SubStepAt() const { return subStepAt_; }
    int StepMulti() const { return stepMulti_; }
    int SubStepsVis() const { return subStepsVis_; }
    // Values of 0 or below are ignored.
    void SetSubStepAt(float v) {
        if (v > 0) SetProperty(subStepAt_, v);
    }
    void SetStepMulti(int v) {
        if (v > 0) SetProperty(stepMulti_, v);
    }
    void SetSubStepsVis(int v) {
        if (v > 0) SetProperty(subStepsVis_, v);
    }

private:
    float subStepAt_ = 1;
    int stepMulti_ = 1;
    int subStepsVis_ = 1;
};

} // namespace gauges
