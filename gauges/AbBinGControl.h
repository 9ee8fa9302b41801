#pragma once
// The base of on/off indicators and buttons: Checked is one bit (StatusBit) of a 32-bit status word
// (StatusInt). Controls of one owner with the same non-zero GroupIndex share the status word: setting
// it on one sets it on all. Flashing is active exactly while Checked and Flashing are both set; the
// flash list then sends WM_FLASH at the blink rate of Frequency and the control's Flash hook gets the
// phase.
//
// Mouse (left button, not in mIndicator mode): mButton is checked while pressed, mSwitch toggles on
// each press, mRadioButton sets the status word to its own bit alone.
#include <cstdint>
#include <string>

#include "gauges/GClass.h"
#include "platform/controls/Control.h"

namespace gauges {

enum TMode { mButton, mSwitch, mIndicator, mRadioButton };
enum TFlashFreq { ff8Hz, ff4Hz, ff2Hz, ff1Hz, ff05Hz };

class TAbBinGControl : public platform::TGraphicControl {
public:
    explicit TAbBinGControl(platform::TComponent* owner, const std::string& name = {});
    ~TAbBinGControl() override;

    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    TMode Mode() const { return mode_; }
    // mButton clears the status word and mRadioButton sets it to 1, also when the mode is unchanged.
    void SetMode(TMode mode);
    int32_t StatusInt() const { return statusInt_; }
    void SetStatusInt(int32_t status);
    int StatusBit() const { return statusBit_; }
    // 0 .. 31; other values are ignored.
    void SetStatusBit(int bit);
    int32_t GroupIndex() const { return groupIndex_; }
    // Negative values are ignored; joining a group takes over the group's status word.
    void SetGroupIndex(int32_t index);
    bool Flashing() const { return flashing_; }
    void SetFlashing(bool on);
    TFlashFreq Frequency() const { return frequency_; }
    void SetFrequency(TFlashFreq frequency);

    bool Pressed() const { return pressed_; }
    // The lowest set bit of StatusInt, 32 when none is set.
    int LowestSetBit() const { return lowestSetBit_; }

    TNotifyEvent OnStatusChanged;
    TNotifyEvent OnStatusIntChanged;

protected:
    virtual void ParamChange(TObject* sender) { (void)sender; }
    virtual void StatusChanged() {}
    virtual void GroupIndexChanged() {}
    virtual void StatusIntChanged() {}
    virtual void Flash(bool on) { (void)on; }

    void WndProc(platform::TMessage& message) override;
    void MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void TextChanged() override { ParamChange(this); }

private:
    // Registers with the flash list while checked and flashing, else leaves it.
    void UpdateFlashing();
    int32_t BitMask() const;
    template <class F> void ForEachInGroup(int32_t index, F&& f);

    bool checked_ = false;
    TMode mode_ = mIndicator;
    int32_t statusInt_ = 0;
    int statusBit_ = 0;
    int32_t groupIndex_ = 0;
    bool flashing_ = false;
    TFlashFreq frequency_ = ff1Hz;
    bool pressed_ = false;
    int lowestSetBit_ = 32;
};

} // namespace gauges
