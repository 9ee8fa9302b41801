#pragma once
// The display base of the analog gauges (meters, compass, thermometer): one value mapped onto the digit
// scale and a per-mille position of its SignalSettings, with two limits, three colour sectors, the
// range, the extremes seen and an automatic hint. Derived controls only draw.
//
// A value change (ValueChange) works through these steps, in this order, and raises its events on the
// way: the position of the control (position-changed notification), the digit and value texts, the
// per-mille position p = Round(1000 / digit span x (Digit - DigitalFrom)) (0 for an empty digit span),
// the sectors 1, 2, 3 (OnSectorChange for each one entered or left), the limits (OnLimit when either
// flag changes), the range (OnOverflow once on leaving it, with the unclamped p, and once on coming
// back; p is then clamped to 0 .. 1000), the extremes (a new minimum or maximum calls MinMaxChange,
// except when the old one was still the initial 9999999 / -9999999), the hint and OnValueChange.
//
// Loaded binds the settings objects' change events and resets the extremes, so the first value after
// loading becomes both minimum and maximum without an event.
#include <cstdint>
#include <functional>
#include <string>

#include "gauges/GClass.h"
#include "gauges/SignalSettings.h"

namespace gauges {

enum THintOption : uint8_t {
    hoAutoHint = 1 << 0,
    hoValue = 1 << 1,
    hoName1 = 1 << 2,
    hoName2 = 1 << 3,
    hoMin = 1 << 4,
    hoMax = 1 << 5,
    hoMinMaxDate = 1 << 6,
    hoMinMaxTime = 1 << 7,
};
using THintOptions = uint8_t;
inline constexpr THintOptions kAllHintOptions = 0xFF;

using TLimitEvent = std::function<void(TObject* sender, bool lower, bool upper)>;
using TOverflowEvent = std::function<void(TObject* sender, int32_t ppt)>;
using TSectorChangeEvent =
    std::function<void(TObject* sender, bool sector1, bool sector2, bool sector3, bool enter)>;

class TAbAnalogGControl : public TAbGraphicControl {
public:
    explicit TAbAnalogGControl(platform::TComponent* owner, const std::string& name = {});

    void Loaded() override;

    float Value() const { return value_; }
    // Ignored when equal or NaN, and for values of 0 or below on a log scale.
    void SetValue(float value);
    int32_t Digit() const { return digit_; }
    // Ignored when equal, and on a log scale whose digit span is 0.
    void SetDigit(int32_t digit);
    float LimitUpper() const { return limitUpper_; }
    void SetLimitUpper(float limit);
    float LimitLower() const { return limitLower_; }
    // 0 is stored as 0.0001.
    void SetLimitLower(float limit);
    THintOptions HintOptions() const { return hintOptions_; }
    // Switching hoAutoHint on rebuilds the hint; switching it off leaves the last hint in place.
    void SetHintOptions(THintOptions options);
    bool LogScale() const { return logScale_; }
    void SetLogScale(bool on);

    TSignalSettings& SignalSettings() { return signal_; }
    TSectorSettings& SectorSettings() { return sectors_; }
    TMinMax& MinMax() { return minMax_; }

    // Extremes restored by an owner (with the time they were reached).
    void SetMin(float value, TDateTime at);
    void SetMax(float value, TDateTime at);
    // Minimum and maximum both become the current value, now.
    void ResetMinMax();

    void ParamChange(TObject* sender) override;

    TNotifyEvent OnValueChange;
    TNotifyEvent OnMinMaxChange;
    TLimitEvent OnLimit;
    TOverflowEvent OnOverflow;
    TSectorChangeEvent OnSectorChange;
    TNotifyEvent OnSettingsChange;

    // State kept for drawing.
    const std::string& ValueText() const { return valueText_; }
    const std::string& DigitText() const { return digitText_; }
    int32_t PptValue() const { return pptValue_; } // 0 .. 1000
    int32_t PptLimitUpper() const { return pptLimitUpper_; }
    int32_t PptLimitLower() const { return pptLimitLower_; }
    int32_t PptMin() const { return pptMin_; }
    int32_t PptMax() const { return pptMax_; }
    bool UpperLimit() const { return upperLimit_; }
    bool LowerLimit() const { return lowerLimit_; }
    bool Overflow() const { return overflow_; }
    bool Underflow() const { return underflow_; }
    bool InSector(int n) const { return inSector_[n - 1]; }
    // The colour of the sector last entered (0 until the value first enters one).
    platform::gfx::TColor SectorColor() const { return sectorColor_; }
    platform::gfx::TColor FlashColor1() const { return platform::gfx::clYellow; }
    platform::gfx::TColor FlashColor2() const { return platform::gfx::clRed; }
    double LogFactor() const { return logFactor_; }
    double LogOffset() const { return logOffset_; }

protected:
    virtual void ValueChange();
    // The fill of a minimum or maximum marker at ppt: the colour of the sector it lies in when
    // MinMax.UseSectorCol is set, else `own`.
    platform::gfx::TColor MarkerColor(int32_t ppt, platform::gfx::TColor own) const {
        if (minMax_.UseSectorCol()) sectors_.CheckSectorColor(ppt, own);
        return own;
    }
    virtual void OverflowChange(int32_t ppt) { (void)ppt; }
    virtual void LimitChange() {}
    virtual void MinMaxChange(TObject* sender);
    virtual void LogScaleChanged() { Change(); }
    void FontChanged() override;

    // Told with the control as sender when ValueChange finds it moved.
    TNotifyEvent OnPositionChange;

private:
    void Rebuild();
    void CheckSectors(int32_t ppt);
    void CheckLimits();
    void CheckRange(int32_t& ppt);
    void CheckExtremes(int32_t ppt);
    void BuildHint();
    std::string ExtremeLine(const char* label, float value, TDateTime at) const;
    // The digit of a value: linear rounds the scaled difference, then adds DigitalFrom.
    int32_t LinearDigit(float value) const;
    int32_t LogDigit(float value) const;
    // Per mille of a digit: 0 when the digit span is 0.
    int32_t PptOfDigit(int32_t digit) const;
    int32_t PptOfValue(float value) const;
    void UpdateLogFactors();

    float value_ = 50.0f;
    int32_t digit_ = 500;
    float limitUpper_ = 90.0f;
    float limitLower_ = 10.0f;
    THintOptions hintOptions_ = kAllHintOptions;
    bool logScale_ = false;
    bool bound_ = false;

    TSignalSettings signal_;
    TSectorSettings sectors_;
    TMinMax minMax_;

    std::string valueText_;
    std::string digitText_;
    int32_t pptValue_ = 0;
    int32_t pptLimitUpper_ = 900;
    int32_t pptLimitLower_ = 100;
    int32_t pptMin_ = 0;
    int32_t pptMax_ = 0;
    bool upperLimit_ = false;
    bool lowerLimit_ = false;
    bool overflow_ = false;
    bool underflow_ = false;
    bool inSector_[3] = {false, false, false};
    platform::gfx::TColor sectorColor_ = 0;
    double logFactor_ = 0;
    double logOffset_ = 0;
    platform::gfx::TPoint lastPosition_;
};

} // namespace gauges
