#pragma once
// The main window's tray icon, headless: its state is kept so that the station and tests can see it.
#include <functional>
#include <string>

#include "platform/Component.h"

class TRxTrayIcon : public platform::TComponent {
public:
    using TComponent::TComponent;
    void SetAnimated(bool animated) { animated_ = animated; }
    bool Animated() const { return animated_; }
    void Hide() { visible_ = false; }
    void Show() { visible_ = true; }
    bool Visible() const { return visible_; }
    void SetHint(const std::string& hint) { hint_ = hint; }
    const std::string& Hint() const { return hint_; }

    std::function<void()> OnDblClick;
    void DblClick() {
        if (OnDblClick) OnDblClick();
    }

private:
    bool animated_ = false;
    bool visible_ = true;
    std::string hint_;
};
