#include "gauges/AbBinGControl.h"

#include <bit>

#include "gauges/AbFlashT.h"

namespace gauges {

namespace {
// Set while a status word is handed round a group, so that the members do not hand it on again.
bool GroupUpdate = false;

// The blink codes of the flash list, 2 (8 Hz) to 6 (0.5 Hz).
int64_t FlashSpeed(TFlashFreq frequency) {
    return 2 + static_cast<int64_t>(frequency);
}
} // namespace

TAbBinGControl::TAbBinGControl(platform::TComponent* owner, const std::string& name)
    : TGraphicControl(owner, name) {}

TAbBinGControl::~TAbBinGControl() {
    DelControl(this);
}

int32_t TAbBinGControl::BitMask() const {
    return static_cast<int32_t>(uint32_t{1} << statusBit_);
}

template <class F> void TAbBinGControl::ForEachInGroup(int32_t index, F&& f) {
    platform::TComponent* owner = Owner();
    if (!owner) return;
    for (int i = 0; i < owner->ComponentCount(); ++i) {
        auto* member = dynamic_cast<TAbBinGControl*>(owner->Components(i));
        if (member && member->groupIndex_ == index && !f(*member)) return;
    }
}

void TAbBinGControl::UpdateFlashing() {
    if (checked_ && flashing_)
        AddControl(this, FlashSpeed(frequency_));
    else
        DelControl(this);
}

void TAbBinGControl::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    UpdateFlashing();
    if (checked)
        SetStatusInt(mode_ == mRadioButton ? BitMask() : statusInt_ | BitMask());
    else if (mode_ != mRadioButton)
        SetStatusInt(statusInt_ & ~BitMask());
    StatusChanged();
    if (OnStatusChanged) OnStatusChanged(this);
}

void TAbBinGControl::SetStatusInt(int32_t status) {
    if (status == statusInt_) return;
    statusInt_ = status;
    SetChecked((statusInt_ & BitMask()) != 0);
    lowestSetBit_ = std::countr_zero(static_cast<uint32_t>(statusInt_));
    StatusIntChanged();
    if (OnStatusIntChanged) OnStatusIntChanged(this);
    if (groupIndex_ == 0 || GroupUpdate) return;
    GroupUpdate = true;
    try {
        ForEachInGroup(groupIndex_, [&](TAbBinGControl& member) {
            member.SetStatusInt(statusInt_);
            return true;
        });
    } catch (...) {
        GroupUpdate = false;
        throw;
    }
    GroupUpdate = false;
}

void TAbBinGControl::SetStatusBit(int bit) {
    if (bit < 0 || bit > 31 || bit == statusBit_) return;
    statusBit_ = bit;
    SetChecked((statusInt_ & BitMask()) != 0);
}

void TAbBinGControl::SetGroupIndex(int32_t index) {
    if (index < 0 || index == groupIndex_) return;
    groupIndex_ = index;
    // Index 0 is no group: there is no shared word to take over.
    if (index != 0)
        ForEachInGroup(index, [&](TAbBinGControl& first) {
            SetStatusInt(first.statusInt_);
            return false;
        });
    GroupIndexChanged();
}

void TAbBinGControl::SetMode(TMode mode) {
    mode_ = mode;
    if (mode == mButton) SetStatusInt(0);
    if (mode == mRadioButton) SetStatusInt(1);
}

void TAbBinGControl::SetFlashing(bool on) {
    if (on == flashing_) return;
    flashing_ = on;
    UpdateFlashing();
    StatusChanged();
    if (OnStatusChanged) OnStatusChanged(this);
}

void TAbBinGControl::SetFrequency(TFlashFreq frequency) {
    frequency_ = frequency;
    if (checked_ && flashing_) UpdateFlashing();
}

void TAbBinGControl::WndProc(platform::TMessage& message) {
    if (message.Msg == WM_FLASH) {
        Flash(message.LParam != 0);
        return;
    }
    TGraphicControl::WndProc(message);
}

void TAbBinGControl::MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) {
    TGraphicControl::MouseDown(button, shift, x, y);
    if (button != platform::TMouseButton::mbLeft || mode_ == mIndicator) return;
    pressed_ = true;
    switch (mode_) {
    case mButton:
        SetChecked(true);
        break;
    case mSwitch:
        SetChecked(!checked_);
        break;
    case mRadioButton:
        SetStatusInt(BitMask());
        break;
    case mIndicator:
        break;
    }
}

void TAbBinGControl::MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) {
    TGraphicControl::MouseUp(button, shift, x, y);
    if (button != platform::TMouseButton::mbLeft || mode_ == mIndicator) return;
    pressed_ = false;
    if (mode_ == mButton) SetChecked(false);
    StatusChanged();
}

} // namespace gauges
