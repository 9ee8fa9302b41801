#pragma once
// The input base of the analog gauges (sliders, knobs): a focusable windowed control whose value,
// held as a digit within DigitalFrom .. DigitalTo of its SignalSettings, changes from the keyboard,
// the mouse wheel and mouse dragging, and which can drive a display control (ValueIndicator).
//
// Keys (when EnableKeyboard and the key's TEnabledKey member are set): Page Up/Down move by
// ChangeLarge, the arrows by ChangeSmall (Up and Right up, Down and Left down), Home and End go to the
// ends. A wheel notch (a delta whose low byte is 0x78 or 0x88) moves by ChangeSmall. Dragging with the
// left button inside the sliding area calls MouseSlide for every move; derived controls turn that into
// a value. OnValueChange fires for every digit change, OnValueChanged once when the key or the mouse
// button that changed the value is released.
#include <cstdint>
#include <string>

#include "gauges/AbAnalogGControl.h"
#include "gauges/AbProc.h"
#include "gauges/GClass.h"
#include "gauges/SignalSettings.h"

namespace gauges {

// Member names as the library has them.
enum TEnabledKey : uint8_t {
    _VK_PRIOR = 1 << 0,
    _VK_NEXT = 1 << 1,
    _VK_END = 1 << 2,
    _VK_HOME = 1 << 3,
    _VK_LEFT = 1 << 4,
    _VK_DOWN = 1 << 5,
    _VK_UP = 1 << 6,
    _VK_RIGHT = 1 << 7,
};
using TEnabledKeys = uint8_t;
inline constexpr TEnabledKeys kAllEnabledKeys = 0xFF;

class TAbAnalogCControl : public TAbCustomControl {
public:
    explicit TAbAnalogCControl(platform::TComponent* owner, const std::string& name = {});

    void Loaded() override;

    float Value() const { return value_; }
    // Clamped to ValueFrom .. ValueTo, then set as a digit (NaN is ignored).
    void SetValue(float value);
    int32_t Digit() const { return digit_; }
    // Clamped to DigitalFrom .. DigitalTo; the value follows the digit.
    void SetDigit(int32_t digit);
    // The digit moves up by `up` when it is 1 or more, else down by `down`, within the digit range.
    void DoChange(int32_t up, int32_t down);

    int32_t ChangeLarge() const { return changeLarge_; }
    void SetChangeLarge(int32_t v) { changeLarge_ = v; }
    int32_t ChangeSmall() const { return changeSmall_; }
    void SetChangeSmall(int32_t v) { changeSmall_ = v; }
    TSignalSettings& SignalSettings() { return signal_; }
    platform::gfx::TColor ColorFocus() const { return colorFocus_; }
    void SetColorFocus(platform::gfx::TColor c);
    platform::gfx::TColor ColorNonFocus() const { return colorNonFocus_; }
    void SetColorNonFocus(platform::gfx::TColor c);
    int CursorSlide() const { return cursorSlide_; }
    void SetCursorSlide(int cursor) { cursorSlide_ = cursor; }
    bool EnableKeyboard() const { return enableKeyboard_; }
    void SetEnableKeyboard(bool on) { enableKeyboard_ = on; }
    TEnabledKeys EnabledKeys() const { return enabledKeys_; }
    void SetEnabledKeys(TEnabledKeys keys) { enabledKeys_ = keys; }
    // The display that follows this value; it gets a copy of SignalSettings. Cleared when it is freed.
    TAbAnalogGControl* ValueIndicator() const { return valueIndicator_; }
    void SetValueIndicator(TAbAnalogGControl* indicator);

    void ParamChange(TObject* sender) override;

    TNotifyEvent OnValueChange;
    TNotifyEvent OnValueChanged;

    const std::string& ValueText() const { return valueText_; }
    const std::string& DigitText() const { return digitText_; }
    bool Sliding() const { return sliding_; }
    bool MouseInSlideArea() const { return mouseInArea_; }

protected:
    virtual void ValueChange();
    // Derived controls turn a drag into a value; the base only stores (x, y) as the last point.
    virtual void MouseSlide(platform::TShiftState shift, int x, int y, platform::gfx::TPoint& last);
    // The area where a left press starts sliding: the rectangle, or the circle in it when `round`.
    void SetSlideArea(const platform::gfx::TRect& area, bool round);

    void WndProc(platform::TMessage& message) override;
    void KeyDown(uint16_t& key, platform::TShiftState shift) override;
    void KeyUp(uint16_t& key, platform::TShiftState shift) override;
    void MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void MouseMove(platform::TShiftState shift, int x, int y) override;
    void MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void EnabledChanged() override;
    void Notification(platform::TComponent* component, platform::TOperation operation) override;

private:
    bool InSlideArea(int x, int y) const;
    void FireValueChanged();

    float value_ = 10.0f;
    int32_t digit_ = 100;
    int32_t changeLarge_ = 10;
    int32_t changeSmall_ = 1;
    TSignalSettings signal_;
    platform::gfx::TColor colorFocus_ = platform::gfx::clLime;
    platform::gfx::TColor colorNonFocus_ = platform::gfx::clGreen;
    int cursorSlide_ = crAbHand;
    bool enableKeyboard_ = true;
    TEnabledKeys enabledKeys_ = kAllEnabledKeys;
    TAbAnalogGControl* valueIndicator_ = nullptr;

    std::string valueText_;
    std::string digitText_;
    bool changed_ = false;
    bool sliding_ = false;
    platform::gfx::TPoint lastPoint_;
    platform::gfx::TRect slideArea_;
    bool roundShape_ = false;
    bool mouseInArea_ = false;
    int restoreCursor_ = 0;
};

} // namespace gauges
