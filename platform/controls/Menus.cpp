#include "platform/controls/Menus.h"

#include <algorithm>
#include <cctype>

#include "platform/controls/ImgList.h"
#include "platform/controls/WinControl.h"

namespace platform::widgets {

namespace {
int nextCommand = 100;
}

TMenuItem::TMenuItem(TComponent* owner, const std::string& name)
    : TComponent(owner, name), command_(nextCommand++) {}

TMenuItem::~TMenuItem() {
    for (TMenuItem* child : items_)
        child->parent_ = nullptr;
    if (parent_) parent_->Remove(this);
}

TMenu* TMenuItem::GetParentMenu() const {
    const TMenuItem* i = this;
    while (i->parent_)
        i = i->parent_;
    return i->menu_;
}

int TMenuItem::MenuIndex() const {
    if (!parent_) return -1;
    auto& v = parent_->items_;
    return static_cast<int>(std::find(v.begin(), v.end(), this) - v.begin());
}

void TMenuItem::Add(TMenuItem* item) {
    Insert(Count(), item);
}

void TMenuItem::Insert(int index, TMenuItem* item) {
    if (!item || item == this) return;
    if (item->parent_) item->parent_->Remove(item);
    index = std::clamp(index, 0, Count());
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    item->parent_ = nullptr;
}

void TMenuItem::Click() {
    if (Enabled && OnClick) OnClick(this);
}

TMenuItem* TMenuItem::FindCommand(int command) {
    if (command_ == command) return this;
    for (TMenuItem* child : items_)
        if (TMenuItem* found = child->FindCommand(command)) return found;
    return nullptr;
}

TMenu::TMenu(TComponent* owner, const std::string& name)
    : TComponent(owner, name), items_(new TMenuItem(this)) {
    items_->menu_ = this;
}

TMenu::~TMenu() {
    SetImages(nullptr);
}

void TMenu::SetImages(TImageList* images) {
    if (images_) RemoveFreeNotification(images_);
    images_ = images;
    if (images_) FreeNotification(images_);
}

void TMenu::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == images_) images_ = nullptr;
}

bool TMenu::DispatchCommand(int command) {
    TMenuItem* item = FindItem(command);
    if (!item) return false;
    item->Click();
    return true;
}

namespace {
// The accelerator of a caption: the character after a lone "&" ("&&" shows one ampersand); 0 when none.
char Accelerator(const std::string& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] != '&') return caption[i + 1];
        ++i;
    }
    return 0;
}

bool SameLetter(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

intptr_t MenuCharResult(int position, intptr_t action) {
    return (action << 16) | position;
}
} // namespace

bool TMenu::ProcessMenuChar(TMessage& message) const {
    TMenuItem* parent = items_->FindCommand(static_cast<int>(message.LParam));
    if (!parent) return false;
    const char typed = static_cast<char>(message.WParam & 0xFF);
    std::vector<const TMenuItem*> shown;
    int highlighted = -1;
    for (const TMenuItem* item : parent->items_) {
        if (!item->Visible) continue;
        if (item->Command() == TheMenuHost().Highlighted) highlighted = static_cast<int>(shown.size());
        shown.push_back(item);
    }
    auto choose = [&](auto matches) {
        std::vector<int> found;
        for (int i = 0; i < static_cast<int>(shown.size()); ++i)
            if (shown[static_cast<size_t>(i)]->Enabled && !shown[static_cast<size_t>(i)]->IsLine() &&
                matches(shown[static_cast<size_t>(i)]->Caption))
                found.push_back(i);
        if (found.empty()) return false;
        if (found.size() == 1) {
            message.Result = MenuCharResult(found[0], MNC_EXECUTE);
            return true;
        }
        auto next = std::find_if(found.begin(), found.end(), [&](int i) { return i > highlighted; });
        message.Result = MenuCharResult(next == found.end() ? found[0] : *next, MNC_SELECT);
        return true;
    };
    if (choose([&](const std::string& caption) {
            char accelerator = Accelerator(caption);
            return accelerator && SameLetter(accelerator, typed);
        }))
        return true;
    if (choose([&](const std::string& caption) {
            return !caption.empty() && !Accelerator(caption) && SameLetter(caption[0], typed);
        }))
        return true;
    message.Result = MNC_IGNORE;
    return true;
}

void TPopupMenu::Popup(int x, int y) {
    if (OnPopup) OnPopup(this);
    int command = TheMenuHost().TrackPopupMenu(this, Items(), x, y, Alignment, nullptr);
    if (command) DispatchCommand(command);
}

int MenuHost::TrackPopupMenu(TMenu* menu, TMenuItem* root, int x, int y, TPopupAlignment alignment,
                             TWinControl* owner) {
    Tracking t{menu, root, x, y, alignment};
    Tracked.push_back(t);
    TMenuItem* chosen = Chooser ? Chooser(t) : nullptr;
    if (!chosen || !chosen->Enabled || chosen->Count() > 0) return 0;
    if (owner) {
        PostMessage(owner->Handle(), WM_COMMAND, static_cast<WPARAM>(chosen->Command()), 0);
        return 0;
    }
    return chosen->Command();
}

gfx::TSize MenuHost::MeasureItem(TWinControl* window, TMenuItem* item, gfx::Canvas& canvas) {
    current_ = {};
    current_.canvas = &canvas;
    window->Perform(WM_MEASUREITEM, 0, item->Command());
    gfx::TSize size{current_.width, current_.height};
    current_ = {};
    return size;
}

void MenuHost::DrawItem(TWinControl* window, TMenuItem* item, gfx::Canvas& canvas, gfx::TRect rect,
                        unsigned state) {
    current_ = {};
    current_.canvas = &canvas;
    current_.rect = rect;
    current_.state = state;
    window->Perform(WM_DRAWITEM, 0, item->Command());
    current_ = {};
}

MenuHost& TheMenuHost() {
    static MenuHost host;
    return host;
}

} // namespace platform::widgets
