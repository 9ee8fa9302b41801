#pragma once
// The arithmetic of an analog value: a range of values (single) mapped onto a scale of digits
// (DigitalFrom .. DigitalTo) and onto per mille (0 .. 1000), its display format and unit; a trend
// channel (a signal plus its current value, colour and pen); the extremes seen with their times; three
// coloured per-mille sectors.
//
// Conversions, with the derived factors of the current range (recomputed by Change):
//   digit    = Round((value - ValueFrom) x digits per value + DigitalFrom)
//   value    = (digit - DigitalFrom) x value per digit + ValueFrom
//   per mille = Round((value - ValueFrom) x per mille per value)
// Round rounds halves to even and saturates (platform::Round); factors are singles, expressions are
// evaluated in double. The spans are always ValueTo - ValueFrom and DigitalTo - DigitalFrom, so a
// falling range (ValueTo < ValueFrom) converts consistently; a span of 0 leaves the earlier factors in
// place, so no conversion divides by zero.
#include <cstdint>
#include <string>

#include "gauges/GClass.h"
#include "platform/DateTime.h"
#include "platform/graphics/Color.h"

namespace gauges {

using platform::TDateTime;

// The widest section of a number format: the first when it is strictly longer than the rest after the
// first ";", else the rest.
std::string AbGetValueFormat(const std::string& format);

class TSignalSettings : public TAbPersistent {
public:
    int32_t DigitalFrom() const { return digitalFrom_; }
    int32_t DigitalTo() const { return digitalTo_; }
    const std::string& Name1() const { return name1_; }
    const std::string& Name2() const { return name2_; }
    const std::string& ValueFormat() const { return valueFormat_; }
    float ValueFrom() const { return valueFrom_; }
    float ValueTo() const { return valueTo_; }
    const std::string& ValueUnit() const { return valueUnit_; }

    void SetDigitalFrom(int32_t v) { SetProperty(digitalFrom_, v); }
    void SetDigitalTo(int32_t v) { SetProperty(digitalTo_, v); }
    void SetName1(const std::string& v) { SetProperty(name1_, v); }
    void SetName2(const std::string& v) { SetProperty(name2_, v); }
    void SetValueFormat(const std::string& v) { SetProperty(valueFormat_, v); }
    void SetValueUnit(const std::string& v) { SetProperty(valueUnit_, v); }
    // Ignored when equal to either end (or NaN); 0 is stored as 0.000001; rounded to a power of ten on a
    // log scale.
    void SetValueFrom(float v);
    // Ignored when equal to either end (or NaN); rounded to a power of ten on a log scale.
    void SetValueTo(float v);

    // Derived fields.
    bool LogScale() const { return logScale_; }
    void SetLogScale(bool on) { logScale_ = on; }
    float ValueSpan() const { return valueSpan_; }
    int32_t DigitSpan() const { return digitSpan_; }
    float ValuePerDigit() const { return valuePerDigit_; }
    float DigitsPerValue() const { return digitsPerValue_; }
    float PptPerValue() const { return pptPerValue_; }
    const std::string& WidestFormat() const { return widestFormat_; }

    // Recomputes the derived fields, then fires OnChange.
    void Change() override;
    // The derived fields alone (the analog controls recompute them without an event).
    void Recompute();

    int32_t GetPPT(float value) const;
    float GetValue(int32_t ppt) const;
    int32_t ValueToDigit(float value) const;
    float DigitToValue(int32_t digit) const;

    void AssignTo(TAbPersistent& dest) const override;

private:
    int32_t digitalFrom_ = 0;
    int32_t digitalTo_ = 1000;
    std::string name1_ = "SignalName1";
    std::string name2_ = "SignalName2";
    std::string valueFormat_ = "##0.0";
    float valueFrom_ = 0;
    float valueTo_ = 100;
    std::string valueUnit_ = "%";

    bool logScale_ = false;
    float valueSpan_ = 100;
    int32_t digitSpan_ = 1000;
    float valuePerDigit_ = 0;
    std::string widestFormat_ = "##0.0";
    float digitsPerValue_ = 0;
    float pptPerValue_ = 0;
};

// One channel of a trend control.
class TChSettings : public TSignalSettings {
public:
    int32_t Digit() const { return digit_; }
    float Value() const { return value_; }
    platform::gfx::TColor Color() const { return color_; }
    int32_t PenWidth() const { return penWidth_; }
    bool Visible() const { return visible_; }
    // Digit - DigitalFrom: 0 stands for ValueFrom.
    int32_t AbsDigit() const { return absDigit_; }

    // Both fire OnValueChange (not OnChange) when the value differs; NaN is ignored.
    void SetDigit(int32_t digit);
    void SetValue(float value);
    void SetColor(platform::gfx::TColor c) { SetProperty(color_, c); }
    void SetPenWidth(int32_t w) { SetProperty(penWidth_, w); }
    void SetVisible(bool v) { SetProperty(visible_, v); }

    // The value of an absolute digit (one counted from DigitalFrom).
    float AbsDigitToValue(int32_t absDigit) const;

    // A change of the range or the digit scale keeps the value and recomputes its digit under the new
    // scale (firing OnValueChange when the digit moved), so that a value set before the scale (or equal
    // to one set before) is not recorded as the digit of the old scale.
    void Change() override;

    TNotifyEvent OnValueChange;

private:
    void UpdateAbsDigit();

    int32_t digit_ = 0;
    float value_ = 0;
    platform::gfx::TColor color_ = platform::gfx::clBlack;
    int32_t penWidth_ = 1;
    bool visible_ = true;
    int32_t absDigit_ = 0;
};

// The highest and lowest value seen, with their times.
class TMinMax : public TAbPersistent {
public:
    TMinMax();

    float Max() const { return max_; }
    float Min() const { return min_; }
    TDateTime MaxDateTime() const { return maxDateTime_; }
    TDateTime MinDateTime() const { return minDateTime_; }
    // Store the value and stamp the current time; no comparison and no Change.
    void SetMax(float v);
    void SetMin(float v);
    // Store a value with its time as they are (no Change).
    void SetMaxAt(float v, TDateTime at) {
        max_ = v;
        maxDateTime_ = at;
    }
    void SetMinAt(float v, TDateTime at) {
        min_ = v;
        minDateTime_ = at;
    }
    void SetMaxDateTime(TDateTime at) { maxDateTime_ = at; }
    void SetMinDateTime(TDateTime at) { minDateTime_ = at; }

    platform::gfx::TColor MaxColor() const { return maxColor_; }
    platform::gfx::TColor MinColor() const { return minColor_; }
    bool UseSectorCol() const { return useSectorCol_; }
    bool MinVisible() const { return minVisible_; }
    bool MaxVisible() const { return maxVisible_; }
    void SetMaxColor(platform::gfx::TColor c) { SetProperty(maxColor_, c); }
    void SetMinColor(platform::gfx::TColor c) { SetProperty(minColor_, c); }
    void SetUseSectorCol(bool v) { SetProperty(useSectorCol_, v); }
    void SetMinVisible(bool v) { SetProperty(minVisible_, v); }
    void SetMaxVisible(bool v) { SetProperty(maxVisible_, v); }

    static constexpr float kInitialMax = -9999999.0f;
    static constexpr float kInitialMin = 9999999.0f;

private:
    float max_ = kInitialMax;
    TDateTime maxDateTime_;
    float min_ = kInitialMin;
    TDateTime minDateTime_;
    platform::gfx::TColor maxColor_ = platform::gfx::clAqua;
    platform::gfx::TColor minColor_ = platform::gfx::clAqua;
    bool useSectorCol_ = true;
    bool minVisible_ = true;
    bool maxVisible_ = true;
};

// Three coloured per-mille ranges (inclusive bounds; no check that they are ordered or disjoint).
class TSectorSettings : public TAbPersistent {
public:
    struct Sector {
        platform::gfx::TColor Color;
        int32_t From;
        int32_t To;
    };

    const Sector& Sector1() const { return sectors_[0]; }
    const Sector& Sector2() const { return sectors_[1]; }
    const Sector& Sector3() const { return sectors_[2]; }
    // Sector n = 1 .. 3.
    const Sector& Get(int n) const { return sectors_[n - 1]; }
    void SetColor(int n, platform::gfx::TColor c) { SetProperty(sectors_[n - 1].Color, c); }
    void SetFrom(int n, int32_t v) { SetProperty(sectors_[n - 1].From, v); }
    void SetTo(int n, int32_t v) { SetProperty(sectors_[n - 1].To, v); }
    int32_t Offset() const { return offset_; }
    int32_t WidthOffset() const { return widthOffset_; }
    void SetOffset(int32_t v) { SetProperty(offset_, v); }
    void SetWidthOffset(int32_t v) { SetProperty(widthOffset_, v); }
    // Log-scale flag passed on by the owning control.
    void SetLogScale(bool on) { logScale_ = on; }
    bool LogScale() const { return logScale_; }

    // The colour of the first sector that holds ppt; false (colour untouched) when none does.
    bool CheckSectorColor(int32_t ppt, platform::gfx::TColor& color) const;

    void AssignTo(TAbPersistent& dest) const override;

private:
    Sector sectors_[3] = {{platform::gfx::clYellow, 0, 333},
                          {platform::gfx::clGreen, 334, 666},
                          {platform::gfx::clRed, 667, 1000}};
    int32_t offset_ = 0;
    int32_t widthOffset_ = 0;
    bool logScale_ = false;
};

} // namespace gauges
