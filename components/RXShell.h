#pragma once
// The main window's tray icon. Its record lives in the shell's notification area (platform/Shell.h)
// while it is shown: the tip follows SetHint, and a double click on it (the callback message with
// WM_LBUTTONDBLCLK) raises OnDblClick. The animation is a flag: the headless area shows no pictures.
#include <functional>
#include <memory>
#include <string>

#include "platform/Component.h"
#include "platform/HiddenWindow.h"
#include "platform/Shell.h"

class TRxTrayIcon : public platform::TComponent {
public:
    static constexpr uint32_t kCallbackMessage = platform::WM_USER + 0x7F;

    explicit TRxTrayIcon(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TRxTrayIcon() override;

    void SetAnimated(bool animated) { animated_ = animated; }
    bool Animated() const { return animated_; }
    void Hide();
    void Show();
    bool Visible() const { return visible_; }
    void SetHint(const std::string& hint);
    const std::string& Hint() const { return hint_; }
    // The hidden window that the shell's callbacks reach.
    platform::HWND Handle() const;

    std::function<void()> OnDblClick;
    void DblClick() {
        if (OnDblClick) OnDblClick();
    }

private:
    void Notify(uint32_t message);

    bool animated_ = false;
    bool visible_ = true;
    std::string hint_;
    std::unique_ptr<platform::THiddenWindow> window_;
};
