#pragma once
// Menus of the headless tree. A menu item has a command id (unique in the process) by which messages
// name it; nothing passes a pointer through a message. There is no window system to show a menu, so a
// replaceable MenuHost stands in for it: tracking a pop-up menu asks the host's chooser which item the
// user picks (none by default) and posts WM_COMMAND with its id to the window that tracked it; owner-
// drawn items are measured and drawn by sending WM_MEASUREITEM and WM_DRAWITEM (the ids in the
// parameters, the canvas and rectangle through MenuHost::Current()).
#include <functional>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/controls/Messages.h"
#include "platform/graphics/Canvas.h"

namespace platform {
class TImageList;
class TWinControl;
} // namespace platform

// The main window's own headless stand-ins (platform/Controls.h) use some of the same names; the
// standard controls live in a namespace of their own.
namespace platform::widgets {

class TMenu;

inline constexpr uint32_t WM_COMMAND = 0x0111;
inline constexpr uint32_t WM_MEASUREITEM = 0x002C;
inline constexpr uint32_t WM_DRAWITEM = 0x002B;
inline constexpr uint32_t WM_MENUSELECT = 0x011F;
inline constexpr uint32_t WM_MENUCHAR = 0x0120;
inline constexpr uint32_t WM_INITMENUPOPUP = 0x0117;
inline constexpr uint32_t WM_HELP = 0x0053;
inline constexpr uint32_t WM_NULL = 0x0000;

// The answers to WM_MENUCHAR (in the high word; the low word is the item's position).
inline constexpr intptr_t MNC_IGNORE = 0, MNC_CLOSE = 1, MNC_EXECUTE = 2, MNC_SELECT = 3;

// Owner-draw item state bits.
inline constexpr unsigned ODS_SELECTED = 1, ODS_GRAYED = 2, ODS_DISABLED = 4, ODS_CHECKED = 8, ODS_FOCUS = 16,
                          ODS_DEFAULT = 32;

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner = nullptr, const std::string& name = {});
    ~TMenuItem() override;

    std::string Caption;
    std::string ShortCutText;
    bool Checked = false;
    bool RadioItem = false;
    bool Default = false;
    bool Enabled = true;
    bool Visible = true;
    bool Break = false;
    std::string Hint;
    int HelpContext = 0;
    int ImageIndex = -1;
    std::function<void(TComponent*)> OnClick;

    bool IsLine() const { return Caption == "-"; }
    int Command() const { return command_; }
    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    TMenuItem* Parent() const { return parent_; }
    // The menu this item belongs to (through its parents), or null.
    TMenu* GetParentMenu() const;
    int MenuIndex() const;
    // Adds (or inserts) a child; a child already elsewhere moves.
    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    void Remove(TMenuItem* item);
    void Click();

    // The item with the command id among this item and its descendants, or null.
    TMenuItem* FindCommand(int command);

private:
    friend class TMenu;
    TMenuItem* parent_ = nullptr;
    TMenu* menu_ = nullptr; // set on a menu's root item
    std::vector<TMenuItem*> items_;
    int command_;
};

class TMenu : public TComponent {
public:
    explicit TMenu(TComponent* owner = nullptr, const std::string& name = {});
    ~TMenu() override;
    TMenuItem* Items() const { return items_; }
    TImageList* Images() const { return images_; }
    virtual void SetImages(TImageList* images);
    bool OwnerDraw = false;
    // Finds the item with the command id and clicks it; true when one did.
    bool DispatchCommand(int command);
    // Answers WM_MENUCHAR, a character typed into an open menu that named no item the system knows:
    // WParam's low word is the character, LParam the command id of the item whose sub-menu is open (the
    // menu's root for its top level). Of that sub-menu's visible, enabled items (positions count the
    // visible ones) those whose accelerator ("&" and the character) is the character, in either case,
    // are taken; without any, those whose caption starts with it and has no accelerator. One such item
    // is chosen (MNC_EXECUTE), of several the first after the highlighted one is selected (MNC_SELECT,
    // from the first again at the end); without any the system beeps (MNC_IGNORE). False when the
    // sub-menu is not this menu's.
    bool ProcessMenuChar(TMessage& message) const;
    TMenuItem* FindItem(int command) const { return items_->FindCommand(command); }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TMenuItem* items_;
    TImageList* images_ = nullptr;
};

class TMainMenu : public TMenu {
public:
    using TMenu::TMenu;
};

enum class TPopupAlignment { paLeft, paRight, paCenter };
enum class TTrackButton { tbRightButton, tbLeftButton };

class TPopupMenu : public TMenu {
public:
    using TMenu::TMenu;
    TPopupAlignment Alignment = TPopupAlignment::paLeft;
    TTrackButton TrackButton = TTrackButton::tbRightButton;
    bool AutoPopup = true;
    std::function<void(TComponent*)> OnPopup;
    // The component that the menu popped up for.
    TComponent* PopupComponent = nullptr;
    // Shows the menu at a screen point: OnPopup, then the host tracks it; a chosen item is clicked.
    virtual void Popup(int x, int y);
};

// The stand-in for the window system's menu code.
class MenuHost {
public:
    struct Tracking {
        TMenu* menu;
        TMenuItem* root;
        int x, y;
        TPopupAlignment alignment;
    };
    // Which item the user picks (null: the menu is dismissed). Tests install it; default: none.
    std::function<TMenuItem*(const Tracking&)> Chooser;
    // Every tracking request, in order.
    std::vector<Tracking> Tracked;

    // Tracks a pop-up of `root` at a screen point. When `owner` is given the chosen command is posted
    // to it as WM_COMMAND; else it is returned. Returns 0 when nothing was chosen.
    int TrackPopupMenu(TMenu* menu, TMenuItem* root, int x, int y, TPopupAlignment alignment,
                       TWinControl* owner);

    // While a measure or draw message is sent: the canvas and the item rectangle (measuring fills in
    // width and height).
    struct DrawContext {
        gfx::Canvas* canvas = nullptr;
        gfx::TRect rect;
        unsigned state = 0;
        int width = 0;
        int height = 0;
    };
    DrawContext& Current() { return current_; }
    // The command id of the highlighted item of the open menu (0: none), as the system keeps it.
    int Highlighted = 0;
    // Sends WM_MEASUREITEM (wParam 0, lParam the command id) to `window`; returns width and height.
    gfx::TSize MeasureItem(TWinControl* window, TMenuItem* item, gfx::Canvas& canvas);
    // Sends WM_DRAWITEM for the item in rect with the ODS_ state.
    void DrawItem(TWinControl* window, TMenuItem* item, gfx::Canvas& canvas, gfx::TRect rect, unsigned state);

    void Reset() {
        Chooser = nullptr;
        Tracked.clear();
        Highlighted = 0;
    }

private:
    DrawContext current_;
};

MenuHost& TheMenuHost();

} // namespace platform::widgets
