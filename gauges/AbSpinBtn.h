#pragma once
// A speed button that repeats its click while it is held down, and a pair of them stacked up and down.
//
// Repetition runs on the flash list: a left press at time t (monotonic ms) makes clicks due from
// t + StartDelay and registers the button with Interval; every WM_FLASH at or after that time is one
// click; the release leaves the list. The ordinary click on release comes in addition, so a short press
// gives exactly one click.
//
// The spin button lays its buttons out whenever its size is set: width at least 15, the upper button
// over the top half (height div 2), the lower one over the rest. A press on either button hands the
// focus to FocusControl when that can take it, else to the spin button when it is a tab stop.
#include <cstdint>
#include <string>

#include "gauges/GClass.h"
#include "platform/controls/SpeedButton.h"
#include "platform/controls/WinControl.h"

namespace gauges {

class TAbTimerSpeedBtn : public platform::TSpeedButton {
public:
    explicit TAbTimerSpeedBtn(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TAbTimerSpeedBtn() override;

    int32_t Interval() const { return interval_; }
    // Values below 50 are ignored.
    void SetInterval(int32_t ms);
    uint32_t StartDelay() const { return startDelay_; }
    void SetStartDelay(uint32_t ms) { startDelay_ = ms; }
    bool TimerEnabled() const { return timerEnabled_; }
    void SetTimerEnabled(bool on) { timerEnabled_ = on; }

protected:
    void WndProc(platform::TMessage& message) override;
    void MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;

private:
    int32_t interval_ = 100;
    uint32_t startDelay_ = 500;
    bool timerEnabled_ = true;
    uint64_t due_ = 0;
};

class TAbSpinButton : public platform::TWinControl {
public:
    explicit TAbSpinButton(platform::TComponent* owner = nullptr, const std::string& name = {});

    void Loaded() override;
    void SetBounds(int left, int top, int width, int height) override;

    const platform::gfx::Bitmap& UpGlyph() const { return up_->Glyph(); }
    const platform::gfx::Bitmap& DownGlyph() const { return down_->Glyph(); }
    // An empty bitmap brings back the default arrow with its two images.
    void SetUpGlyph(const platform::gfx::Bitmap& glyph);
    void SetDownGlyph(const platform::gfx::Bitmap& glyph);
    int UpNumGlyphs() const { return up_->NumGlyphs(); }
    int DownNumGlyphs() const { return down_->NumGlyphs(); }
    void SetUpNumGlyphs(int n) { up_->SetNumGlyphs(n); }
    void SetDownNumGlyphs(int n) { down_->SetNumGlyphs(n); }
    int32_t Interval() const { return up_->Interval(); }
    void SetInterval(int32_t ms);
    uint32_t StartDelay() const { return up_->StartDelay(); }
    void SetStartDelay(uint32_t ms);
    platform::TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(platform::TWinControl* control);

    TAbTimerSpeedBtn& UpButton() { return *up_; }
    TAbTimerSpeedBtn& DownButton() { return *down_; }

    TNotifyEvent OnUpClick;
    TNotifyEvent OnDownClick;

protected:
    void WndProc(platform::TMessage& message) override;
    void KeyDown(uint16_t& key, platform::TShiftState shift) override;
    void EnabledChanged() override;
    void Notification(platform::TComponent* component, platform::TOperation operation) override;

private:
    void SetGlyph(TAbTimerSpeedBtn& button, const platform::gfx::Bitmap& glyph, bool upArrow);
    void ButtonClick(platform::TComponent* sender);
    void ButtonPress(platform::TMouseButton button);
    void LayoutButtons();

    TAbTimerSpeedBtn* up_;
    TAbTimerSpeedBtn* down_;
    platform::TWinControl* focusControl_ = nullptr;
};

} // namespace gauges
