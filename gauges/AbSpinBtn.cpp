#include "gauges/AbSpinBtn.h"

#include <algorithm>

#include "gauges/AbFlashT.h"
#include "platform/Clock.h"

namespace gauges {

namespace gfx = platform::gfx;

namespace {
constexpr int kMinWidth = 15;

uint64_t NowMs() {
    return platform::Clock::Get().MonotonicMs();
}

// The default arrows: 18 x 6 pixels, 16 colours, two 9 x 6 images on olive (the transparent colour):
// a black triangle 7 wide and 4 high, and the same triangle as a grey outline for the disabled state.
gfx::Bitmap DefaultArrow(bool up) {
    gfx::Bitmap bmp(18, 6, gfx::pf4bit);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 18; ++x)
            bmp.SetPixel(x, y, gfx::clOlive);
    for (int row = 0; row < 4; ++row) {
        int half = up ? row : 3 - row; // half-width of the triangle on this row
        int y = 1 + row;
        bool edgeOnly = half != 3;
        for (int x = 4 - half; x <= 4 + half; ++x) {
            bmp.SetPixel(x, y, gfx::clBlack);
            if (!edgeOnly || x == 4 - half || x == 4 + half) bmp.SetPixel(9 + x, y, gfx::clGray);
        }
    }
    return bmp;
}
} // namespace

TAbTimerSpeedBtn::TAbTimerSpeedBtn(platform::TComponent* owner, const std::string& name)
    : TSpeedButton(owner, name) {}

TAbTimerSpeedBtn::~TAbTimerSpeedBtn() {
    DelControl(this);
}

void TAbTimerSpeedBtn::SetInterval(int32_t ms) {
    if (ms >= 50) interval_ = ms;
}

void TAbTimerSpeedBtn::MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) {
    TSpeedButton::MouseDown(button, shift, x, y);
    if (button != platform::TMouseButton::mbLeft || !timerEnabled_) return;
    due_ = NowMs() + startDelay_;
    AddControl(this, interval_);
}

void TAbTimerSpeedBtn::MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) {
    TSpeedButton::MouseUp(button, shift, x, y);
    DelControl(this);
}

void TAbTimerSpeedBtn::WndProc(platform::TMessage& message) {
    if (message.Msg == WM_FLASH) {
        if (NowMs() >= due_) Click();
        return;
    }
    TSpeedButton::WndProc(message);
}

TAbSpinButton::TAbSpinButton(platform::TComponent* owner, const std::string& name)
    : TWinControl(owner, name), up_(new TAbTimerSpeedBtn(this)), down_(new TAbTimerSpeedBtn(this)) {
    SetControlStyle((ControlStyle() | platform::csOpaque | platform::csFramed) &
                    ~static_cast<uint32_t>(platform::csAcceptsControls | platform::csSetCaption));
    for (TAbTimerSpeedBtn* b : {up_, down_}) {
        b->SetParent(this);
        b->OnClick = [this](platform::TComponent* sender) { ButtonClick(sender); };
        b->OnMouseDown = [this](platform::TComponent*, platform::TMouseButton button, platform::TShiftState,
                                int, int) { ButtonPress(button); };
    }
    SetGlyph(*up_, {}, true);
    SetGlyph(*down_, {}, false);
    SetBounds(Left(), Top(), kMinWidth, 24);
}

void TAbSpinButton::Loaded() {
    TWinControl::Loaded();
    SetBounds(Left(), Top(), Width(), Height());
}

void TAbSpinButton::SetBounds(int left, int top, int width, int height) {
    if (!Loading()) width = std::max(width, kMinWidth);
    TWinControl::SetBounds(left, top, width, height);
    if (!Loading()) LayoutButtons();
}

void TAbSpinButton::LayoutButtons() {
    int upper = Height() / 2;
    up_->SetBounds(0, 0, Width(), upper);
    down_->SetBounds(0, upper, Width(), Height() - upper);
}

void TAbSpinButton::SetGlyph(TAbTimerSpeedBtn& button, const gfx::Bitmap& glyph, bool upArrow) {
    if (!glyph.Empty()) {
        button.SetGlyph(glyph);
        return;
    }
    button.SetGlyph(DefaultArrow(upArrow));
    button.SetNumGlyphs(2);
    button.Invalidate();
}

void TAbSpinButton::SetUpGlyph(const gfx::Bitmap& glyph) {
    SetGlyph(*up_, glyph, true);
}

void TAbSpinButton::SetDownGlyph(const gfx::Bitmap& glyph) {
    SetGlyph(*down_, glyph, false);
}

void TAbSpinButton::SetInterval(int32_t ms) {
    up_->SetInterval(ms);
    down_->SetInterval(ms);
}

void TAbSpinButton::SetStartDelay(uint32_t ms) {
    up_->SetStartDelay(ms);
    down_->SetStartDelay(ms);
}

void TAbSpinButton::SetFocusControl(platform::TWinControl* control) {
    if (focusControl_ && focusControl_ != control) RemoveFreeNotification(focusControl_);
    focusControl_ = control;
    if (control) FreeNotification(control);
}

void TAbSpinButton::Notification(platform::TComponent* component, platform::TOperation operation) {
    TWinControl::Notification(component, operation);
    if (operation == platform::TOperation::opRemove && component &&
        component == static_cast<platform::TComponent*>(focusControl_))
        focusControl_ = nullptr;
}

void TAbSpinButton::ButtonClick(platform::TComponent* sender) {
    if (sender == up_) {
        if (OnUpClick) OnUpClick(this);
    } else if (OnDownClick) {
        OnDownClick(this);
    }
}

void TAbSpinButton::ButtonPress(platform::TMouseButton button) {
    if (button != platform::TMouseButton::mbLeft) return;
    if (focusControl_ && focusControl_->TabStop() && focusControl_->CanFocus() && !focusControl_->Focused()) {
        focusControl_->SetFocus();
        return;
    }
    if (TabStop() && CanFocus() && !Focused()) SetFocus();
}

void TAbSpinButton::EnabledChanged() {
    TWinControl::EnabledChanged();
    up_->SetEnabled(Enabled());
    down_->SetEnabled(Enabled());
}

void TAbSpinButton::WndProc(platform::TMessage& message) {
    if (message.Msg == platform::WM_GETDLGCODE) {
        message.Result = platform::DLGC_WANTARROWS;
        return;
    }
    TWinControl::WndProc(message);
}

void TAbSpinButton::KeyDown(uint16_t& key, platform::TShiftState shift) {
    TWinControl::KeyDown(key, shift);
    if (key == platform::VK_UP) up_->Click();
    if (key == platform::VK_DOWN) down_->Click();
}

} // namespace gauges
