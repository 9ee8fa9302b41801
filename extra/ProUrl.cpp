#include "extra/ProUrl.h"

using platform::gfx::TColor;

namespace extra {

TProUrlLabel::TProUrlLabel(platform::TComponent* owner, const std::string& name) : TProLabel(owner, name) {
    SetCursor(crProHandPoint);
    SetFontColor(unvisitedColor_);
    SetUnderline(true);
}

void TProUrlLabel::SetFontColor(TColor c) {
    styling_ = true;
    Font().SetColor(c);
    styling_ = false;
}

void TProUrlLabel::SetUnderline(bool on) {
    styling_ = true;
    platform::gfx::TFontStyles style = Font().Style();
    Font().SetStyle(on ? style | platform::gfx::fsUnderline
                       : static_cast<platform::gfx::TFontStyles>(style & ~platform::gfx::fsUnderline));
    styling_ = false;
}

void TProUrlLabel::FontChanged() {
    TProLabel::FontChanged();
    if (styling_ || pressed_ || Hovering()) return;
    if (visited_)
        visitedColor_ = Font().Color();
    else
        unvisitedColor_ = Font().Color();
}

void TProUrlLabel::SetUnvisitedColor(TColor c) {
    unvisitedColor_ = c;
    if (!visited_ && !pressed_ && !Hovering()) SetFontColor(c);
}

void TProUrlLabel::SetVisitedColor(TColor c) {
    visitedColor_ = c;
    if (visited_ && !pressed_ && !Hovering()) SetFontColor(c);
}

void TProUrlLabel::SetCanHover(bool v) {
    if (v == canHover_) return;
    canHover_ = v;
    SetUnderline(!v || inside_);
}

void TProUrlLabel::MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) {
    if (button == platform::TMouseButton::mbLeft) {
        pressed_ = true;
        SetFontColor(ActivatedColor);
    }
    TProLabel::MouseDown(button, shift, x, y);
}

void TProUrlLabel::MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) {
    if (button == platform::TMouseButton::mbLeft) {
        bool wasPressed = pressed_;
        pressed_ = false;
        if (!ClientRect().Contains(x, y)) {
            SetFontColor(StateColor());
        } else if (wasPressed) {
            visited_ = true;
            SetFontColor(canHover_ ? HoveredColor : visitedColor_);
            OpenURL(URL.empty() ? Caption() : URL);
        }
    }
    TProLabel::MouseUp(button, shift, x, y);
}

void TProUrlLabel::MouseEnter() {
    inside_ = true;
    if (canHover_) SetUnderline(true);
    if (pressed_)
        SetFontColor(ActivatedColor);
    else if (canHover_)
        SetFontColor(HoveredColor);
    TProLabel::MouseEnter();
}

void TProUrlLabel::MouseLeave() {
    inside_ = false;
    if (canHover_) SetUnderline(false);
    SetFontColor(StateColor());
    TProLabel::MouseLeave();
}

TProUrlImage::TProUrlImage(platform::TComponent* owner, const std::string& name) : TImage(owner, name) {
    RegisterProCursors();
    SetCursor(crProHandPoint);
}

void TProUrlImage::Click() {
    if (!Enabled()) return;
    TImage::Click();
    OpenURL(URL);
}

} // namespace extra
