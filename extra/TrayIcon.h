#pragma once
// A notification-area icon component: an icon (its own, or one of an image list) with a tip, mouse
// actions on it as events, a pop-up menu on a right-button release, and the application's taskbar
// button and main form shown or hidden.
//
// The icon is one record of the shell's notification area (platform/Shell.h): id 1005, the
// component's hidden window, flags message + icon + tip, callback message 0x805 (the shell sends it
// with the mouse message in the second parameter). On a system older than major version 4 there is no
// notification area and every tray operation does nothing.
#include <memory>
#include <string>

#include "platform/Component.h"
#include "platform/EventLoop.h"
#include "platform/HiddenWindow.h"
#include "platform/Shell.h"
#include "platform/controls/ImgList.h"
#include "platform/controls/Menus.h"
#include "platform/controls/Icon.h"

namespace extra {

enum class TIconSource { srcIcon, srcImageList };

inline constexpr uint32_t kTrayIconId = 1005;
inline constexpr uint32_t kTrayCallbackMessage = 0x805;

class TTrayIcon : public platform::TComponent {
public:
    using TNotifyEvent = std::function<void(platform::TComponent* sender)>;

    explicit TTrayIcon(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TTrayIcon() override;

    bool AutoPopup() const { return autoPopup_; }
    void SetAutoPopup(bool v) { autoPopup_ = v; }
    // One value for the whole program: the application's taskbar button and main form shown.
    static bool ApplicationVisible();
    void SetApplicationVisible(bool visible);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    const platform::gfx::TIcon& Icon() const { return icon_; }
    void SetIcon(const platform::gfx::TIcon& icon);
    TIconSource IconSource() const { return iconSource_; }
    void SetIconSource(TIconSource source);
    platform::TImageList* ImageList() const { return imageList_; }
    void SetImageList(platform::TImageList* list);
    int ImageListIndex() const { return imageListIndex_; }
    void SetImageListIndex(int index);
    platform::widgets::TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(platform::widgets::TPopupMenu* menu);
    bool RemoveOnDelete = true;
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool v);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    TNotifyEvent OnLeftBtnDown;
    TNotifyEvent OnRightBtnDown;
    TNotifyEvent OnLeftBtnUp;
    TNotifyEvent OnRightBtnUp;
    TNotifyEvent OnLeftBtnDblClick;
    TNotifyEvent OnRightBtnDblClick;
    TNotifyEvent OnMouseMove;

    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    void ShowApplication() { SetApplicationVisible(true); }
    void HideApplication() { SetApplicationVisible(false); }
    // Sends the icon and tip again when visible.
    void Refresh();

    // The hidden window that the shell's callbacks reach, and the record last sent.
    platform::HWND Handle() const;
    const platform::NOTIFYICONDATA& IconData() const { return data_; }
    // The icon shown (a copy of Icon or of the image list's entry).
    const platform::gfx::TIcon& ShownIcon() const { return shown_; }

protected:
    // Fills the shown icon from the source; false when there is none.
    virtual bool LoadInternalIcon();
    virtual void InsertIcon();
    virtual void ModifyIcon();
    virtual void RemoveIcon();
    virtual void WndProc(platform::TMessage& message);
    void Notification(platform::TComponent* component, platform::TOperation operation) override;

private:
    void SendIcon(uint32_t message);

    bool autoPopup_ = true;
    std::string hint_;
    platform::gfx::TIcon icon_;
    platform::gfx::TIcon shown_;
    TIconSource iconSource_ = TIconSource::srcIcon;
    platform::TImageList* imageList_ = nullptr;
    int imageListIndex_ = 0;
    platform::widgets::TPopupMenu* popupMenu_ = nullptr;
    bool showHint_ = true;
    bool visible_ = false;
    bool oldShell_ = false;
    std::unique_ptr<platform::THiddenWindow> window_;
    platform::NOTIFYICONDATA data_;
};

} // namespace extra
