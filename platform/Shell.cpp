#include "platform/Shell.h"

#include <algorithm>
#include <cstring>

namespace platform {

void NOTIFYICONDATA::SetTip(const std::string& text) {
    size_t n = std::min(text.size(), kNotifyTipSize - 1);
    std::memcpy(szTip, text.data(), n);
    std::memset(szTip + n, 0, kNotifyTipSize - n);
}

std::string NOTIFYICONDATA::Tip() const {
    return std::string(szTip, strnlen(szTip, kNotifyTipSize));
}

NotificationArea& NotificationArea::Get() {
    static NotificationArea area;
    return area;
}

const NotificationArea::Icon* NotificationArea::Find(HWND window, uint32_t id) const {
    auto it = std::find_if(icons_.begin(), icons_.end(),
                           [&](const Icon& i) { return i.window == window && i.id == id; });
    return it == icons_.end() ? nullptr : &*it;
}

bool NotificationArea::Notify(uint32_t message, const NOTIFYICONDATA& data) {
    auto it = std::find_if(icons_.begin(), icons_.end(),
                           [&](const Icon& i) { return i.window == data.hWnd && i.id == data.uID; });
    auto take = [&](Icon& icon) {
        if (data.uFlags & NIF_MESSAGE) icon.callbackMessage = data.uCallbackMessage;
        if (data.uFlags & NIF_ICON) icon.icon = data.hIcon;
        if (data.uFlags & NIF_TIP) icon.tip = data.Tip();
    };
    bool ok = false;
    switch (message) {
    case NIM_ADD:
        if (it == icons_.end() && data.hWnd != 0) {
            Icon icon;
            icon.window = data.hWnd;
            icon.id = data.uID;
            take(icon);
            icons_.push_back(icon);
            ok = true;
        }
        break;
    case NIM_MODIFY:
        if (it != icons_.end()) {
            take(*it);
            ok = true;
        }
        break;
    case NIM_DELETE:
        if (it != icons_.end()) {
            icons_.erase(it);
            ok = true;
        }
        break;
    default:
        break;
    }
    operations_.push_back({message, data, ok});
    if (operations_.size() > kMaxOperations) operations_.pop_front();
    return ok;
}

void NotificationArea::Clear() {
    icons_.clear();
    operations_.clear();
}

bool Shell_NotifyIcon(uint32_t message, const NOTIFYICONDATA& data) {
    return NotificationArea::Get().Notify(message, data);
}

int& SystemMajorVersion() {
    static int version = 5;
    return version;
}

namespace {
bool RecordOpen(const std::string& target) {
    auto& opened = OpenedDocuments();
    opened.push_back(target);
    if (opened.size() > kMaxOpened) opened.pop_front();
    return true;
}

ShellOpenHook& OpenHook() {
    static ShellOpenHook hook = RecordOpen;
    return hook;
}
} // namespace

std::deque<std::string>& OpenedDocuments() {
    static std::deque<std::string> opened;
    return opened;
}

ShellOpenHook SetShellOpenHook(ShellOpenHook hook) {
    ShellOpenHook old = std::move(OpenHook());
    OpenHook() = hook ? std::move(hook) : ShellOpenHook(RecordOpen);
    return old;
}

bool ShellOpen(const std::string& target) {
    ShellOpenHook hook = OpenHook();
    return hook(target);
}

} // namespace platform
