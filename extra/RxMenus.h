#pragma once
// Main and pop-up menus that measure and draw their own items: pictures from an image list or a
// per-item bitmap, three looks of the highlighted item, a gradient margin strip on pop-up menus, a menu
// cursor and application hints for pop-up items. Both menus share one measuring and one drawing
// routine (TRxMenuLook). A main menu hears its messages through a hook on its form; pop-up menus
// through one window shared by all of them (TPopupList).
//
// Messages name items by command id, never by pointer: WM_MEASUREITEM and WM_DRAWITEM carry the id in
// LParam (the canvas and rectangle come from the menu host); WM_MENUSELECT carries the id in the low
// word of WParam and the MF_ flags in the high word (0xFFFF: the menu closed); WM_INITMENUPOPUP and
// WM_HELP carry the id of the item whose sub-menu opens or whose help is asked for in WParam;
// WM_MENUCHAR carries the character in WParam and the id of the item whose sub-menu is open in LParam
// (TMenu::ProcessMenuChar answers it).
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "components/RxHook.h"
#include "platform/controls/Menus.h"
#include "platform/controls/WinControl.h"
#include "platform/controls/Icon.h"

namespace extra {

enum class TRxMenuStyle { msStandard, msOwnerDraw, msBtnLowered, msBtnRaised };
// The owner-draw item state bits, used as the set.
enum TMenuOwnerDrawStateFlag : unsigned {
    mdSelected = 1,
    mdGrayed = 2,
    mdDisabled = 4,
    mdChecked = 8,
    mdFocused = 16,
    mdDefault = 32
};
using TMenuOwnerDrawState = unsigned;

inline constexpr unsigned MF_POPUP = 0x10;

using TDrawMenuItemEvent = std::function<void(platform::widgets::TMenu*, platform::widgets::TMenuItem*,
                                              platform::gfx::TRect, TMenuOwnerDrawState)>;
using TMeasureMenuItemEvent =
    std::function<void(platform::widgets::TMenu*, platform::widgets::TMenuItem*, int& width, int& height)>;
// An item's own picture: a bitmap of 1 to 5 glyphs side by side, or an icon (shown at its real size).
using TMenuGraphic = std::variant<std::monostate, const platform::gfx::Bitmap*, const platform::gfx::TIcon*>;
// The item's font, background colour, picture and its number of glyphs.
using TItemParamsEvent =
    std::function<void(platform::widgets::TMenu*, platform::widgets::TMenuItem*, TMenuOwnerDrawState,
                       platform::gfx::TFont&, platform::gfx::TColor&, TMenuGraphic&, int&)>;
using TItemImageEvent = std::function<void(platform::widgets::TMenu*, platform::widgets::TMenuItem*,
                                           TMenuOwnerDrawState, int& imageIndex)>;
using TDrawMarginEvent = std::function<void(platform::widgets::TMenu*, platform::gfx::TRect)>;

// The menu font: the system's with new-style controls, else "MS Sans Serif" (new-style) or "System",
// size 8, no style; always in the menu-text colour.
void SetDefaultMenuFont(platform::gfx::TFont& font);
// True unless the item is a top-level item of a main menu.
bool IsItemPopup(const platform::widgets::TMenuItem* item);
// The pop-up margin's default look: a 32-band gradient from the start to the end colour, with a
// shadow and a highlight line at its right edge under new-style controls.
void DefaultDrawMargin(platform::gfx::Canvas& canvas, const platform::gfx::TRect& rect,
                       platform::gfx::TColor startColor, platform::gfx::TColor endColor);

// What both menus share: their settings and events, and the measuring and drawing of items.
class TRxMenuLook {
public:
    virtual ~TRxMenuLook() = default;

    int Cursor = 0;
    unsigned MinTextOffset = 0;
    TRxMenuStyle Style() const { return style_; }
    void SetStyle(TRxMenuStyle style);
    bool ShowCheckMarks = true;
    TItemImageEvent OnGetImageIndex;
    TDrawMenuItemEvent OnDrawItem;
    TItemParamsEvent OnGetItemParams;
    TMeasureMenuItemEvent OnMeasureItem;

    // Not standard, or images to show.
    bool IsOwnerDrawMenu() const;
    void Refresh() { RefreshMenu(IsOwnerDrawMenu()); }
    virtual void RefreshMenu(bool ownerDraw) = 0;

    // Measures or draws an item of this menu for a WM_MEASUREITEM or WM_DRAWITEM message; false when
    // the message names no item of this menu.
    bool HandleOwnerDrawMessage(platform::TMessage& message);
    // The width and height of an item, as WM_MEASUREITEM answers them.
    platform::gfx::TSize MeasureMenuItem(platform::widgets::TMenuItem* item, platform::gfx::Canvas& canvas);
    // Draws an item in rect with the state, as WM_DRAWITEM asks.
    void DrawMenuItem(platform::widgets::TMenuItem* item, platform::gfx::Canvas& canvas,
                      platform::gfx::TRect rect, TMenuOwnerDrawState state);

protected:
    virtual platform::widgets::TMenu& Menu() = 0;
    virtual unsigned LeftMarginWidth() const { return 0; }
    virtual void DrawMarginStrip(platform::gfx::Canvas& canvas, const platform::gfx::TRect& rect) {
        (void)canvas;
        (void)rect;
    }
    virtual void GetImageIndex(platform::widgets::TMenuItem* item, TMenuOwnerDrawState state,
                               int& imageIndex);
    virtual void GetItemParams(platform::widgets::TMenuItem* item, TMenuOwnerDrawState state,
                               platform::gfx::TFont& font, platform::gfx::TColor& color,
                               TMenuGraphic& graphic, int& numGlyphs);
    virtual void MeasureItem(platform::widgets::TMenuItem* item, int& width, int& height);
    // Fills the item with its colour, then OnDrawItem or the default drawing.
    virtual void DrawItem(platform::widgets::TMenuItem* item, platform::gfx::Canvas& canvas,
                          platform::gfx::TRect rect, TMenuOwnerDrawState state);
    void DefaultDrawItem(platform::widgets::TMenuItem* item, platform::gfx::Canvas& canvas,
                         platform::gfx::TRect rect, TMenuOwnerDrawState state);
    // Shows Cursor over a highlighted pop-up item or one without sub-items, the default cursor otherwise.
    void MenuSelectCursor(platform::widgets::TMenuItem* item);
    platform::widgets::TMenuItem* ItemOf(int command);

private:
    struct Picture;
    Picture ItemPicture(platform::widgets::TMenuItem* item, TMenuOwnerDrawState state,
                        platform::gfx::TFont& font, platform::gfx::TColor& color);
    TRxMenuStyle style_ = TRxMenuStyle::msStandard;
};

class TRxMainMenu : public platform::widgets::TMainMenu, public TRxMenuLook {
public:
    explicit TRxMainMenu(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TRxMainMenu() override;
    void SetImages(platform::TImageList* images) override;
    void RefreshMenu(bool ownerDraw) override;
    void Loaded() override;
    // The window the menu hears its messages through while owner-drawn.
    platform::TWinControl* HookedWindow() const { return hook_->GetWinControl(); }

protected:
    platform::widgets::TMenu& Menu() override { return *this; }

private:
    void WndMessage(platform::TMessage& message, bool& handled);
    platform::TWinControl* FindForm() const;
    std::unique_ptr<components::TRxWindowHook> hook_;
    int imageLink_ = 0;
};

class TRxPopupMenu : public platform::widgets::TPopupMenu, public TRxMenuLook {
public:
    explicit TRxPopupMenu(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TRxPopupMenu() override;
    void SetImages(platform::TImageList* images) override;
    void RefreshMenu(bool ownerDraw) override;
    void Loaded() override;
    // Records the point, fires OnPopup, turns owner drawing on when needed and tracks the menu; the
    // chosen command reaches the menu through the pop-up list's window.
    void Popup(int x, int y) override;
    platform::gfx::TPoint PopupPoint() const { return popupPoint_; }

    unsigned LeftMargin = 0;
    TDrawMarginEvent OnDrawMargin;
    virtual void DrawMargin(platform::gfx::Canvas& canvas, const platform::gfx::TRect& rect);

protected:
    platform::widgets::TMenu& Menu() override { return *this; }
    unsigned LeftMarginWidth() const override { return LeftMargin; }
    void DrawMarginStrip(platform::gfx::Canvas& canvas, const platform::gfx::TRect& rect) override {
        DrawMargin(canvas, rect);
    }

private:
    friend class TPopupList;
    platform::gfx::TPoint popupPoint_{-1, -1};
    int imageLink_ = 0;
};

// Every pop-up menu of the program, and the window their messages go to (it exists while the list is
// not empty).
class TPopupList {
public:
    static TPopupList& Get();
    int Count() const { return static_cast<int>(menus_.size()); }
    TRxPopupMenu* Menus(int index) const { return menus_.at(static_cast<size_t>(index)); }
    // The list's window, or null while the list is empty.
    platform::TWinControl* Window() const { return window_.get(); }

private:
    friend class TRxPopupMenu;
    class ListWindow;
    void Add(TRxPopupMenu* menu);
    void Remove(TRxPopupMenu* menu);
    void WndProc(platform::TMessage& message);
    std::vector<TRxPopupMenu*> menus_;
    std::unique_ptr<platform::TWinControl> window_;
};

} // namespace extra
