#include "gauges/SignalSettings.h"

#include <cmath>

#include "gauges/AbProc.h"
#include "platform/Numeric.h"

namespace gauges {

using platform::Round;

std::string AbGetValueFormat(const std::string& format) {
    size_t p = format.find(';');
    if (p == std::string::npos) return format;
    std::string first = format.substr(0, p), rest = format.substr(p + 1);
    return first.size() > rest.size() ? first : rest;
}

void TSignalSettings::SetValueFrom(float v) {
    if (std::isnan(v) || v == valueFrom_ || v == valueTo_) return;
    if (v == 0) v = 0.000001f;
    valueFrom_ = v;
    if (logScale_) {
        int exponent;
        SetValueFrom(static_cast<float>(AbRoundLogValue(exponent, valueFrom_)));
    }
    Change();
}

void TSignalSettings::SetValueTo(float v) {
    if (std::isnan(v) || v == valueFrom_ || v == valueTo_) return;
    valueTo_ = v;
    if (logScale_) {
        int exponent;
        SetValueTo(static_cast<float>(AbRoundLogValue(exponent, valueTo_)));
    }
    Change();
}

void TSignalSettings::Recompute() {
    valueSpan_ = static_cast<float>(static_cast<double>(valueTo_) - valueFrom_);
    int64_t digits = static_cast<int64_t>(digitalTo_) - digitalFrom_;
    digitSpan_ = static_cast<int32_t>(std::clamp<int64_t>(digits, INT32_MIN, INT32_MAX));
    if (digitSpan_ != 0) valuePerDigit_ = static_cast<float>(static_cast<double>(valueSpan_) / digitSpan_);
    if (valueSpan_ != 0) {
        digitsPerValue_ = static_cast<float>(static_cast<double>(digitSpan_) / valueSpan_);
        pptPerValue_ = static_cast<float>(1000.0 / valueSpan_);
        widestFormat_ = AbGetValueFormat(valueFormat_);
    }
}

void TSignalSettings::Change() {
    Recompute();
    TAbPersistent::Change();
}

int32_t TSignalSettings::GetPPT(float value) const {
    return Round((static_cast<double>(value) - valueFrom_) * pptPerValue_);
}

float TSignalSettings::GetValue(int32_t ppt) const {
    return static_cast<float>(static_cast<double>(valueSpan_) / 1000 * ppt + valueFrom_);
}

int32_t TSignalSettings::ValueToDigit(float value) const {
    return Round((static_cast<double>(value) - valueFrom_) * digitsPerValue_ + digitalFrom_);
}

float TSignalSettings::DigitToValue(int32_t digit) const {
    return static_cast<float>((static_cast<double>(digit) - digitalFrom_) * valuePerDigit_ + valueFrom_);
}

void TSignalSettings::AssignTo(TAbPersistent& dest) const {
    auto* d = dynamic_cast<TSignalSettings*>(&dest);
    if (!d) return TAbPersistent::AssignTo(dest);
    d->SetDigitalFrom(digitalFrom_);
    d->SetDigitalTo(digitalTo_);
    d->SetValueFormat(valueFormat_);
    d->SetValueFrom(valueFrom_);
    d->SetValueTo(valueTo_);
    d->SetValueUnit(valueUnit_);
    d->SetName1(name1_);
    d->SetName2(name2_);
}

void TChSettings::UpdateAbsDigit() {
    int64_t d = static_cast<int64_t>(digit_) - DigitalFrom();
    absDigit_ = static_cast<int32_t>(std::clamp<int64_t>(d, INT32_MIN, INT32_MAX));
}

void TChSettings::SetDigit(int32_t digit) {
    if (digit == digit_) return;
    digit_ = digit;
    value_ = DigitToValue(digit);
    UpdateAbsDigit();
    if (OnValueChange) OnValueChange(this);
}

void TChSettings::SetValue(float value) {
    if (std::isnan(value) || value == value_) return;
    digit_ = ValueToDigit(value);
    value_ = value;
    UpdateAbsDigit();
    if (OnValueChange) OnValueChange(this);
}

void TChSettings::Change() {
    Recompute();
    const int32_t digit = ValueToDigit(value_);
    if (digit != digit_ || static_cast<int64_t>(digit) - DigitalFrom() != absDigit_) {
        digit_ = digit;
        UpdateAbsDigit();
        if (OnValueChange) OnValueChange(this);
    }
    TAbPersistent::Change();
}

float TChSettings::AbsDigitToValue(int32_t absDigit) const {
    return static_cast<float>(static_cast<double>(absDigit) * ValuePerDigit() + ValueFrom());
}

TMinMax::TMinMax() : maxDateTime_(platform::Now()), minDateTime_(maxDateTime_) {}

void TMinMax::SetMax(float v) {
    max_ = v;
    maxDateTime_ = platform::Now();
}

void TMinMax::SetMin(float v) {
    min_ = v;
    minDateTime_ = platform::Now();
}

bool TSectorSettings::CheckSectorColor(int32_t ppt, platform::gfx::TColor& color) const {
    for (const Sector& s : sectors_)
        if (s.From <= ppt && ppt <= s.To) {
            color = s.Color;
            return true;
        }
    return false;
}

void TSectorSettings::AssignTo(TAbPersistent& dest) const {
    auto* d = dynamic_cast<TSectorSettings*>(&dest);
    if (!d) return TAbPersistent::AssignTo(dest);
    for (int n = 1; n <= 3; ++n)
        d->SetColor(n, sectors_[n - 1].Color);
    for (int n = 1; n <= 3; ++n)
        d->SetFrom(n, sectors_[n - 1].From);
    for (int n = 1; n <= 3; ++n)
        d->SetTo(n, sectors_[n - 1].To);
}

} // namespace gauges
