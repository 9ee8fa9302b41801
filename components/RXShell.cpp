#include "components/RXShell.h"

#include "platform/controls/Messages.h"

TRxTrayIcon::TRxTrayIcon(platform::TComponent* owner, const std::string& name)
    : TComponent(owner, name),
      window_(std::make_unique<platform::THiddenWindow>([this](platform::TMessage& m) {
          if (m.Msg == kCallbackMessage && m.LParam == platform::WM_LBUTTONDBLCLK) DblClick();
      })) {
    Notify(platform::NIM_ADD);
}

TRxTrayIcon::~TRxTrayIcon() {
    if (visible_) Notify(platform::NIM_DELETE);
}

platform::HWND TRxTrayIcon::Handle() const {
    return window_->Handle();
}

void TRxTrayIcon::Notify(uint32_t message) {
    platform::NOTIFYICONDATA data;
    data.hWnd = window_->Handle();
    data.uID = 1;
    data.uFlags = platform::NIF_MESSAGE | platform::NIF_TIP;
    data.uCallbackMessage = kCallbackMessage;
    data.SetTip(hint_);
    platform::Shell_NotifyIcon(message, data);
}

void TRxTrayIcon::Hide() {
    if (!visible_) return;
    visible_ = false;
    Notify(platform::NIM_DELETE);
}

void TRxTrayIcon::Show() {
    if (visible_) return;
    visible_ = true;
    Notify(platform::NIM_ADD);
}

void TRxTrayIcon::SetHint(const std::string& hint) {
    if (hint == hint_) return;
    hint_ = hint;
    if (visible_) Notify(platform::NIM_MODIFY);
}
