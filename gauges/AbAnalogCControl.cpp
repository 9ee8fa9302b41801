#include "gauges/AbAnalogCControl.h"

#include <algorithm>
#include <cmath>

#include "gauges/AbProc.h"
#include "platform/FloatFormat.h"
#include "platform/Numeric.h"

namespace gauges {

using platform::TShiftState;
using platform::gfx::TPoint;

namespace {
int32_t ClampDigit(int64_t digit, int32_t from, int32_t to) {
    if (digit > to) digit = to;
    if (digit < from) digit = from;
    return static_cast<int32_t>(std::clamp<int64_t>(digit, INT32_MIN, INT32_MAX));
}

constexpr uint8_t kWheelNotchUp = 0x78;   // low byte of +120
constexpr uint8_t kWheelNotchDown = 0x88; // low byte of -120
} // namespace

TAbAnalogCControl::TAbAnalogCControl(platform::TComponent* owner, const std::string& name)
    : TAbCustomControl(owner, name) {
    AbInstallCursors(); // the sliding cursor
    BeginUpdate();      // closed by Loaded
    SetControlStyle(ControlStyle() | platform::csAcceptsControls);
    SetTabStop(true);
    Font().SetName("MS Sans Serif");
    Font().SetSize(10);
    SetParentFont(false);
    // The conversions hold from the start, so values set before Loaded are kept.
    signal_.Recompute();
    restoreCursor_ = Cursor();
}

void TAbAnalogCControl::Loaded() {
    TAbCustomControl::Loaded();
    signal_.Change();
    signal_.OnChange = [this](TObject* sender) { ParamChange(sender); };
    EndUpdate();
}

void TAbAnalogCControl::SetValue(float value) {
    if (std::isnan(value) || value == value_) return;
    value_ = value;
    if (value_ > signal_.ValueTo()) value_ = signal_.ValueTo();
    if (value_ < signal_.ValueFrom()) value_ = signal_.ValueFrom();
    SetDigit(signal_.ValueToDigit(value_));
}

void TAbAnalogCControl::SetDigit(int32_t digit) {
    if (digit == digit_) return;
    digit_ = ClampDigit(digit, signal_.DigitalFrom(), signal_.DigitalTo());
    value_ = signal_.DigitToValue(digit_);
    ValueChange();
    if (OnValueChange && !Loading()) OnValueChange(this);
    changed_ = true;
}

void TAbAnalogCControl::DoChange(int32_t up, int32_t down) {
    int64_t next = up >= 1 ? static_cast<int64_t>(digit_) + up : static_cast<int64_t>(digit_) - down;
    SetDigit(ClampDigit(next, signal_.DigitalFrom(), signal_.DigitalTo()));
}

void TAbAnalogCControl::ValueChange() {
    valueText_ = platform::FormatFloat(signal_.ValueFormat(), value_);
    digitText_ = std::to_string(digit_);
    if (valueIndicator_) valueIndicator_->SetValue(value_);
}

void TAbAnalogCControl::SetValueIndicator(TAbAnalogGControl* indicator) {
    if (valueIndicator_ && valueIndicator_ != indicator) RemoveFreeNotification(valueIndicator_);
    valueIndicator_ = indicator;
    if (indicator) {
        FreeNotification(indicator);
        indicator->SignalSettings().Assign(signal_);
    }
    ValueChange();
}

void TAbAnalogCControl::Notification(platform::TComponent* component, platform::TOperation operation) {
    TAbCustomControl::Notification(component, operation);
    if (operation == platform::TOperation::opRemove && component &&
        component == static_cast<platform::TComponent*>(valueIndicator_))
        valueIndicator_ = nullptr;
}

void TAbAnalogCControl::ParamChange(TObject* sender) {
    (void)sender;
    restoreCursor_ = Cursor();
    if (valueIndicator_) valueIndicator_->SignalSettings().Assign(signal_);
}

void TAbAnalogCControl::SetColorFocus(platform::gfx::TColor c) {
    colorFocus_ = c;
    ParamChange(this);
}

void TAbAnalogCControl::SetColorNonFocus(platform::gfx::TColor c) {
    colorNonFocus_ = c;
    ParamChange(this);
}

void TAbAnalogCControl::EnabledChanged() {
    TAbCustomControl::EnabledChanged();
    ValueChange();
}

void TAbAnalogCControl::WndProc(platform::TMessage& message) {
    switch (message.Msg) {
    case platform::WM_GETDLGCODE:
        message.Result = platform::DLGC_WANTARROWS;
        return;
    case platform::WM_SETFOCUS:
    case platform::WM_KILLFOCUS:
        TAbCustomControl::WndProc(message);
        ValueChange();
        return;
    case platform::WM_MOUSEWHEEL: {
        uint8_t notch = static_cast<uint8_t>((message.WParam >> 16) & 0xFF);
        if (notch == kWheelNotchUp)
            DoChange(changeSmall_, 0);
        else if (notch == kWheelNotchDown)
            DoChange(0, changeSmall_);
        return;
    }
    default:
        TAbCustomControl::WndProc(message);
    }
}

void TAbAnalogCControl::KeyDown(uint16_t& key, TShiftState shift) {
    TAbCustomControl::KeyDown(key, shift);
    if (!enableKeyboard_) return;
    auto allowed = [this](TEnabledKey member) { return (enabledKeys_ & member) != 0; };
    switch (key) {
    case platform::VK_PRIOR:
        if (allowed(_VK_PRIOR)) DoChange(changeLarge_, 0);
        break;
    case platform::VK_NEXT:
        if (allowed(_VK_NEXT)) DoChange(0, changeLarge_);
        break;
    case platform::VK_END:
        if (allowed(_VK_END)) SetDigit(signal_.DigitalTo());
        break;
    case platform::VK_HOME:
        if (allowed(_VK_HOME)) SetDigit(signal_.DigitalFrom());
        break;
    case platform::VK_LEFT:
        if (allowed(_VK_LEFT)) DoChange(0, changeSmall_);
        break;
    case platform::VK_UP:
        if (allowed(_VK_UP)) DoChange(changeSmall_, 0);
        break;
    case platform::VK_RIGHT:
        if (allowed(_VK_RIGHT)) DoChange(changeSmall_, 0);
        break;
    case platform::VK_DOWN:
        if (allowed(_VK_DOWN)) DoChange(0, changeSmall_);
        break;
    default:
        break;
    }
}

void TAbAnalogCControl::KeyUp(uint16_t& key, TShiftState shift) {
    TAbCustomControl::KeyUp(key, shift);
    FireValueChanged();
}

void TAbAnalogCControl::FireValueChanged() {
    if (!changed_) return;
    changed_ = false;
    if (OnValueChanged) OnValueChanged(this);
}

void TAbAnalogCControl::SetSlideArea(const platform::gfx::TRect& area, bool round) {
    slideArea_ = area;
    roundShape_ = round;
}

bool TAbAnalogCControl::InSlideArea(int x, int y) const {
    return roundShape_ ? AbInCircle(x, y, slideArea_) : AbInRect(x, y, slideArea_);
}

void TAbAnalogCControl::MouseSlide(TShiftState shift, int x, int y, TPoint& last) {
    (void)shift;
    last = {x, y};
}

void TAbAnalogCControl::MouseDown(platform::TMouseButton button, TShiftState shift, int x, int y) {
    SetFocus();
    TAbCustomControl::MouseDown(button, shift, x, y);
    if (button != platform::TMouseButton::mbLeft || !InSlideArea(x, y)) return;
    sliding_ = true;
    MouseSlide(shift, x, y, lastPoint_);
    lastPoint_ = {x, y};
}

void TAbAnalogCControl::MouseMove(TShiftState shift, int x, int y) {
    TAbCustomControl::MouseMove(shift, x, y);
    mouseInArea_ = InSlideArea(x, y);
    SetCursor(mouseInArea_ ? cursorSlide_ : restoreCursor_);
    if (sliding_) MouseSlide(shift, x, y, lastPoint_);
}

void TAbAnalogCControl::MouseUp(platform::TMouseButton button, TShiftState shift, int x, int y) {
    TAbCustomControl::MouseUp(button, shift, x, y);
    if (button != platform::TMouseButton::mbLeft) return;
    sliding_ = false;
    FireValueChanged();
}

} // namespace gauges
