#include "extra/TrayIcon.h"

#include <algorithm>

#include "platform/controls/Application.h"
#include "platform/controls/Form.h"
#include "platform/controls/Messages.h"
#include "platform/controls/Screen.h"

using platform::TMessage;

namespace extra {

namespace {
bool applicationVisible = true;
} // namespace

TTrayIcon::TTrayIcon(platform::TComponent* owner, const std::string& name)
    : TComponent(owner, name),
      window_(std::make_unique<platform::THiddenWindow>([this](TMessage& m) { WndProc(m); })) {
    applicationVisible = true;
    data_.cbSize = platform::kNotifyIconDataSize;
    data_.uID = kTrayIconId;
    data_.hWnd = window_->Handle();
    oldShell_ = platform::SystemMajorVersion() < 4;
}

TTrayIcon::~TTrayIcon() {
    if (RemoveOnDelete) RemoveIcon();
}

platform::HWND TTrayIcon::Handle() const {
    return window_->Handle();
}

bool TTrayIcon::LoadInternalIcon() {
    if (iconSource_ == TIconSource::srcIcon) {
        if (icon_.Empty()) return false;
        shown_.Assign(icon_);
        return true;
    }
    if (!imageList_ || imageList_->Count() == 0) return false;
    return imageList_->GetIcon(imageListIndex_, shown_);
}

void TTrayIcon::SendIcon(uint32_t message) {
    if (oldShell_ || !LoadInternalIcon()) return;
    data_.hIcon = shown_.Handle();
    data_.uFlags = platform::NIF_MESSAGE | platform::NIF_ICON | platform::NIF_TIP;
    data_.SetTip(showHint_ ? hint_ : std::string());
    data_.uCallbackMessage = kTrayCallbackMessage;
    platform::Shell_NotifyIcon(message, data_);
}

void TTrayIcon::InsertIcon() {
    SendIcon(platform::NIM_ADD);
}

void TTrayIcon::ModifyIcon() {
    SendIcon(platform::NIM_MODIFY);
}

void TTrayIcon::RemoveIcon() {
    if (oldShell_) return;
    platform::Shell_NotifyIcon(platform::NIM_DELETE, data_);
}

void TTrayIcon::Refresh() {
    if (visible_) ModifyIcon();
}

void TTrayIcon::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (visible)
        InsertIcon();
    else
        RemoveIcon();
}

void TTrayIcon::SetHint(const std::string& hint) {
    hint_ = hint;
    if (visible_) ModifyIcon();
}

void TTrayIcon::SetShowHint(bool v) {
    showHint_ = v;
    if (visible_) ModifyIcon();
}

void TTrayIcon::SetIconSource(TIconSource source) {
    iconSource_ = source;
    if (visible_) ModifyIcon();
}

void TTrayIcon::SetIcon(const platform::gfx::TIcon& icon) {
    bool wasEmpty = icon_.Empty();
    icon_.Assign(icon);
    if (iconSource_ != TIconSource::srcIcon || !visible_) return;
    if (wasEmpty)
        InsertIcon();
    else
        ModifyIcon();
}

void TTrayIcon::SetImageListIndex(int index) {
    if (!imageList_) return;
    // Never below 0, even for an empty list: a list filled later must not be read at -1.
    index = std::clamp(index, 0, std::max(0, imageList_->Count() - 1));
    if (index == imageListIndex_) return;
    imageListIndex_ = index;
    if (visible_ && iconSource_ == TIconSource::srcImageList) ModifyIcon();
}

void TTrayIcon::SetImageList(platform::TImageList* list) {
    if (list == imageList_) return;
    bool hadList = imageList_ != nullptr;
    if (imageList_) RemoveFreeNotification(imageList_);
    imageList_ = list;
    if (list) {
        FreeNotification(list);
        imageListIndex_ = std::clamp(imageListIndex_, 0, std::max(0, list->Count() - 1));
        if (iconSource_ == TIconSource::srcImageList && visible_) {
            if (hadList)
                ModifyIcon();
            else
                InsertIcon();
        }
        return;
    }
    // Without a list an image-list icon has nothing to show.
    if (iconSource_ == TIconSource::srcImageList) SetVisible(false);
    imageListIndex_ = 0;
}

void TTrayIcon::SetPopupMenu(platform::widgets::TPopupMenu* menu) {
    if (menu == popupMenu_) return;
    if (popupMenu_) RemoveFreeNotification(popupMenu_);
    popupMenu_ = menu;
    if (menu) FreeNotification(menu);
}

void TTrayIcon::Notification(platform::TComponent* component, platform::TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != platform::TOperation::opRemove) return;
    if (component == imageList_) SetImageList(nullptr);
    if (component == popupMenu_) popupMenu_ = nullptr;
}

bool TTrayIcon::ApplicationVisible() {
    return applicationVisible;
}

void TTrayIcon::SetApplicationVisible(bool visible) {
    applicationVisible = visible;
    if (Designing()) return;
    platform::TApplication& app = *platform::Application;
    if (app.MainForm) {
        if (visible)
            app.MainForm->Show();
        else
            app.MainForm->Hide();
    } else {
        app.ShowMainForm = visible;
    }
    app.ShowWindow(visible);
}

void TTrayIcon::WndProc(TMessage& message) {
    if (message.Msg != kTrayCallbackMessage) return; // the default procedure: nothing headless
    message.Result = 1;
    switch (static_cast<uint32_t>(message.LParam)) {
    case platform::WM_MOUSEMOVE:
        if (OnMouseMove) OnMouseMove(this);
        break;
    case platform::WM_LBUTTONDOWN:
        if (OnLeftBtnDown) OnLeftBtnDown(this);
        break;
    case platform::WM_LBUTTONUP:
        if (OnLeftBtnUp) OnLeftBtnUp(this);
        break;
    case platform::WM_LBUTTONDBLCLK:
        if (OnLeftBtnDblClick) OnLeftBtnDblClick(this);
        break;
    case platform::WM_RBUTTONDOWN:
        if (OnRightBtnDown) OnRightBtnDown(this);
        break;
    case platform::WM_RBUTTONDBLCLK:
        if (OnRightBtnDblClick) OnRightBtnDblClick(this);
        break;
    case platform::WM_RBUTTONUP:
        if (OnRightBtnUp) OnRightBtnUp(this);
        if (autoPopup_ && popupMenu_) {
            // The menu closes properly only when its window is in the foreground and gets a message
            // after the menu has gone.
            platform::Screen->SetForegroundWindow(Handle());
            platform::gfx::TPoint at = platform::Screen->CursorPos();
            popupMenu_->PopupComponent = this;
            popupMenu_->Popup(at.X, at.Y);
            platform::PostMessage(Handle(), platform::widgets::WM_NULL);
        }
        break;
    default:
        break;
    }
}

} // namespace extra
