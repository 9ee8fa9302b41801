#include "gauges/AbAnalogGControl.h"

#include <algorithm>
#include <cmath>

#include "gauges/AbProc.h"
#include "platform/FloatFormat.h"
#include "platform/Numeric.h"

namespace gauges {

using platform::Round;

namespace {
int32_t AddDigits(int32_t a, int32_t b) {
    int64_t sum = static_cast<int64_t>(a) + b;
    return static_cast<int32_t>(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
}

int32_t ClampPpt(int32_t ppt) {
    return std::clamp(ppt, 0, 1000);
}
} // namespace

TAbAnalogGControl::TAbAnalogGControl(platform::TComponent* owner, const std::string& name)
    : TAbGraphicControl(owner, name) {
    SetControlStyle(ControlStyle() & ~static_cast<uint32_t>(platform::csOpaque));
    Font().SetName("Arial");
    Font().SetSize(8);
    SetParentFont(false);
    // The conversions hold from the start, not only after the first settings change.
    signal_.Recompute();
    upperLimit_ = value_ > limitUpper_;
    lowerLimit_ = value_ < limitLower_;
    lastPosition_ = {Left(), Top()};
}

void TAbAnalogGControl::Loaded() {
    TAbGraphicControl::Loaded();
    bound_ = true;
    signal_.OnChange = [this](TObject* sender) { ParamChange(sender); };
    sectors_.OnChange = [this](TObject* sender) { ParamChange(sender); };
    minMax_.OnChange = [this](TObject* sender) { MinMaxChange(sender); };
    minMax_.SetMinAt(TMinMax::kInitialMin, minMax_.MinDateTime());
    minMax_.SetMaxAt(TMinMax::kInitialMax, minMax_.MaxDateTime());
}

void TAbAnalogGControl::FontChanged() {
    TAbGraphicControl::FontChanged();
    if (bound_) ParamChange(this);
}

int32_t TAbAnalogGControl::LinearDigit(float value) const {
    double scaled = (static_cast<double>(value) - signal_.ValueFrom()) * signal_.DigitsPerValue();
    return AddDigits(Round(scaled), signal_.DigitalFrom());
}

int32_t TAbAnalogGControl::LogDigit(float value) const {
    double scaled = std::log10(static_cast<double>(value) / signal_.ValueFrom()) * logFactor_;
    return AddDigits(Round(scaled), signal_.DigitalFrom());
}

int32_t TAbAnalogGControl::PptOfDigit(int32_t digit) const {
    int32_t span = signal_.DigitSpan();
    if (span == 0) return 0;
    return Round(1000.0 / span * (static_cast<double>(digit) - signal_.DigitalFrom()));
}

int32_t TAbAnalogGControl::PptOfValue(float value) const {
    return PptOfDigit(logScale_ ? LogDigit(value) : LinearDigit(value));
}

void TAbAnalogGControl::UpdateLogFactors() {
    double from = signal_.ValueFrom();
    double ratio = std::log10(static_cast<double>(signal_.ValueTo()) / from);
    double span = signal_.DigitSpan();
    logFactor_ = std::isfinite(ratio) && ratio != 0 ? span / ratio : span;
    logOffset_ = std::log10(1.0 / from);
}

void TAbAnalogGControl::SetValue(float value) {
    if (std::isnan(value) || value == value_) return;
    if (logScale_ && value <= 0) return;
    value_ = value;
    digit_ = logScale_ ? LogDigit(value) : LinearDigit(value);
    ValueChange();
}

void TAbAnalogGControl::SetDigit(int32_t digit) {
    if (digit == digit_) return;
    if (logScale_ && logFactor_ == 0) return;
    digit_ = digit;
    double fromStart = static_cast<double>(digit) - signal_.DigitalFrom();
    if (logScale_)
        value_ = static_cast<float>(std::pow(10.0, fromStart / logFactor_ - logOffset_));
    else
        value_ = static_cast<float>(fromStart * signal_.ValuePerDigit() + signal_.ValueFrom());
    ValueChange();
}

void TAbAnalogGControl::SetLimitUpper(float limit) {
    if (std::isnan(limit) || limit == limitUpper_) return;
    limitUpper_ = limit;
    pptLimitUpper_ = PptOfValue(limit);
    ValueChange();
}

void TAbAnalogGControl::SetLimitLower(float limit) {
    if (std::isnan(limit) || limit == limitLower_) return;
    limitLower_ = limit == 0 ? 0.0001f : limit;
    pptLimitLower_ = PptOfValue(limitLower_);
    ValueChange();
}

void TAbAnalogGControl::SetHintOptions(THintOptions options) {
    bool switchingOn = (options & hoAutoHint) && !(hintOptions_ & hoAutoHint);
    hintOptions_ = options;
    if (switchingOn) ValueChange();
}

void TAbAnalogGControl::SetLogScale(bool on) {
    logScale_ = on;
    signal_.SetLogScale(on);
    sectors_.SetLogScale(on);
    if (on) {
        if (value_ <= 0) value_ = 0.001f;
        int exponent;
        float from = signal_.ValueFrom();
        signal_.SetValueFrom(from <= 0 ? 0.001f : static_cast<float>(AbRoundLogValue(exponent, from)));
        signal_.SetValueTo(static_cast<float>(AbRoundLogValue(exponent, signal_.ValueTo())));
        UpdateLogFactors();
        digit_ = LogDigit(value_);
    } else {
        digit_ = LinearDigit(value_);
    }
    LogScaleChanged();
}

void TAbAnalogGControl::SetMin(float value, TDateTime at) {
    if (std::isnan(value) || value == minMax_.Min()) return;
    minMax_.SetMin(value);
    pptMin_ = ClampPpt(PptOfValue(value));
    minMax_.SetMinDateTime(at);
    MinMaxChange(this);
    BuildHint();
}

void TAbAnalogGControl::SetMax(float value, TDateTime at) {
    if (std::isnan(value) || value == minMax_.Max()) return;
    minMax_.SetMax(value);
    pptMax_ = ClampPpt(PptOfValue(value));
    minMax_.SetMaxDateTime(at);
    MinMaxChange(this);
    BuildHint();
}

void TAbAnalogGControl::ResetMinMax() {
    minMax_.SetMin(value_);
    minMax_.SetMax(value_);
    pptMin_ = pptValue_;
    pptMax_ = pptValue_;
    MinMaxChange(this);
    BuildHint();
    ValueChange();
}

void TAbAnalogGControl::MinMaxChange(TObject* sender) {
    (void)sender;
    if (OnMinMaxChange) OnMinMaxChange(this);
    ValueChange();
}

void TAbAnalogGControl::ParamChange(TObject* sender) {
    (void)sender;
    signal_.Recompute();
    if (logScale_) {
        UpdateLogFactors();
        if (value_ <= 0) value_ = 1.0f;
        digit_ = LogDigit(value_);
    } else {
        digit_ = signal_.ValueToDigit(value_);
    }
    if (OnSettingsChange) OnSettingsChange(this);
}

void TAbAnalogGControl::ValueChange() {
    if (Left() != lastPosition_.X || Top() != lastPosition_.Y) {
        lastPosition_ = {Left(), Top()};
        if (OnPositionChange) OnPositionChange(this);
    }
    digitText_ = std::to_string(digit_);
    valueText_ = platform::FormatFloat(signal_.ValueFormat(), value_);
    int32_t ppt = PptOfDigit(digit_);
    CheckSectors(ppt);
    CheckLimits();
    CheckRange(ppt);
    pptValue_ = ppt;
    CheckExtremes(ppt);
    BuildHint();
    if (OnValueChange) OnValueChange(this);
}

void TAbAnalogGControl::CheckSectors(int32_t ppt) {
    for (int n = 1; n <= 3; ++n) {
        const TSectorSettings::Sector& s = sectors_.Get(n);
        bool inside = s.From <= ppt && ppt <= s.To;
        if (inside) sectorColor_ = s.Color;
        if (inside == inSector_[n - 1]) continue;
        inSector_[n - 1] = inside;
        if (OnSectorChange) OnSectorChange(this, n == 1, n == 2, n == 3, inside);
    }
}

void TAbAnalogGControl::CheckLimits() {
    bool upper = value_ > limitUpper_;
    bool lower = value_ < limitLower_;
    if (upper == upperLimit_ && lower == lowerLimit_) return;
    upperLimit_ = upper;
    lowerLimit_ = lower;
    LimitChange();
    if (OnLimit) OnLimit(this, lower, upper);
}

void TAbAnalogGControl::CheckRange(int32_t& ppt) {
    bool report = false;
    if (ppt < 0) {
        report = !underflow_;
        underflow_ = true;
        overflow_ = false;
    } else if (ppt > 1000) {
        report = !overflow_;
        overflow_ = true;
        underflow_ = false;
    } else if (overflow_ || underflow_) {
        report = true;
        overflow_ = false;
        underflow_ = false;
    }
    if (report) {
        OverflowChange(ppt);
        if (OnOverflow) OnOverflow(this, ppt);
    }
    ppt = ClampPpt(ppt);
}

void TAbAnalogGControl::CheckExtremes(int32_t ppt) {
    if (minMax_.Min() > value_) {
        float old = minMax_.Min();
        minMax_.SetMinAt(value_, platform::Now());
        pptMin_ = ppt;
        if (old != TMinMax::kInitialMin) MinMaxChange(this);
    }
    if (minMax_.Max() < value_) {
        float old = minMax_.Max();
        minMax_.SetMaxAt(value_, platform::Now());
        pptMax_ = ppt;
        if (old != TMinMax::kInitialMax) MinMaxChange(this);
    }
}

std::string TAbAnalogGControl::ExtremeLine(const char* label, float value, TDateTime at) const {
    std::string line =
        label + platform::FormatFloat(signal_.ValueFormat(), value) + " " + signal_.ValueUnit();
    if (hintOptions_ & hoMinMaxDate) line += " " + platform::DateToStr(at);
    if (hintOptions_ & hoMinMaxTime) line += " " + platform::TimeToStr(at);
    return line;
}

void TAbAnalogGControl::BuildHint() {
    if (!(hintOptions_ & hoAutoHint)) return;
    std::string hint;
    bool first = true;
    auto add = [&](const std::string& line) {
        if (!first) hint += '\r';
        hint += line;
        first = false;
    };
    if (hintOptions_ & hoValue) add("Value= " + valueText_ + " " + signal_.ValueUnit());
    if (hintOptions_ & hoMin) add(ExtremeLine("MIN= ", minMax_.Min(), minMax_.MinDateTime()));
    if (hintOptions_ & hoMax) add(ExtremeLine("MAX= ", minMax_.Max(), minMax_.MaxDateTime()));
    if (hintOptions_ & hoName1) add(signal_.Name1());
    if (hintOptions_ & hoName2) add(signal_.Name2());
    SetHint(hint);
}

} // namespace gauges
