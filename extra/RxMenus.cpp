#include "extra/RxMenus.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "components/VCLUtils.h"
#include "extra/ClipIcon.h"
#include "platform/controls/Application.h"
#include "platform/controls/Form.h"
#include "platform/controls/ImgList.h"
#include "platform/controls/Screen.h"
#include "platform/controls/SystemMetrics.h"
#include "platform/graphics/DrawText.h"

namespace extra {

using namespace platform;
using namespace platform::widgets;
using gfx::TColor;
using gfx::TRect;

namespace {
// The gap between the parts of an item: 0.3 check-mark widths, rounded half to even.
int Gap() {
    return static_cast<int>(std::nearbyint(0.3 * SystemMetrics().CheckMarkWidth));
}

int LineHeight() {
    return SystemMetrics().MenuBarHeight - (SystemMetrics().NewStyleControls ? 2 : 0);
}

std::string CaptionText(const TMenuItem* item) {
    return gfx::StripPrefix(item->Caption);
}

// The widest caption column ("caption\t\t") among the item's siblings, or its own without a parent.
int CaptionColumn(gfx::Canvas& c, const TMenuItem* item, bool widest) {
    if (!widest || !item->Parent()) return c.TextWidth(CaptionText(item) + "\t\t");
    int w = 0;
    for (int i = 0; i < item->Parent()->Count(); ++i)
        w = std::max(w, c.TextWidth(CaptionText(item->Parent()->Items(i)) + "\t\t"));
    return w;
}

int ShortCutColumn(gfx::Canvas& c, const TMenuItem* item, bool widest) {
    if (!widest || !item->Parent()) return c.TextWidth(item->ShortCutText + " ");
    int w = 0;
    for (int i = 0; i < item->Parent()->Count(); ++i)
        w = std::max(w, c.TextWidth(item->Parent()->Items(i)->ShortCutText + " "));
    return w;
}

bool HasImages(const TMenu& menu) {
    return menu.Images() && menu.Images()->Count() > 0;
}

void Line(gfx::Canvas& c, TColor color, int x0, int y0, int x1, int y1, int width = 1) {
    c.Pen.Color = color;
    c.Pen.Width = width;
    c.Pen.Style = gfx::psSolid;
    c.Pen.Mode = gfx::pmCopy;
    c.MoveTo(x0, y0);
    c.LineTo(x1, y1);
}

// The system's check mark (a tick) or radio bullet, centred in a size x size box at (x, y).
void DrawCheckMark(gfx::Canvas& c, int x, int y, int size, bool radio, TColor color) {
    c.Pen.Color = color;
    c.Brush.Color = color;
    c.Brush.Style = gfx::bsSolid;
    int cx = x + size / 2, cy = y + size / 2;
    if (radio) {
        c.Ellipse(cx - 3, cy - 3, cx + 3, cy + 3);
        return;
    }
    for (int d = 0; d < 3; ++d) {
        Line(c, color, cx - 3, cy - 1 + d, cx - 1, cy + 1 + d);
        Line(c, color, cx - 1, cy + 1 + d, cx + 4, cy - 4 + d);
    }
}

// Single pixels of two colours, as a pressed menu button's face.
void FillCheckerboard(gfx::Canvas& c, const TRect& r, TColor a, TColor b) {
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x)
            c.SetPixel(x, y, ((x + y) & 1) ? b : a);
}

// Where a bitmap's pixels differ from its transparent colour (its bottom-left pixel), paint them.
void DrawSilhouette(gfx::Canvas& c, const gfx::Bitmap& bmp, int x, int y, TColor color) {
    if (bmp.Empty()) return;
    uint32_t key = bmp.GetRgb(0, bmp.Height() - 1);
    for (int py = 0; py < bmp.Height(); ++py)
        for (int px = 0; px < bmp.Width(); ++px)
            if (bmp.GetRgb(px, py) != key) c.SetPixel(x + px, y + py, color);
}
} // namespace

void SetDefaultMenuFont(gfx::TFont& font) {
    bool newStyle = SystemMetrics().NewStyleControls;
    if (!newStyle || !GetNonClientMenuFont(font)) {
        font.SetName(newStyle ? "MS Sans Serif" : "System");
        font.SetSize(8);
        font.SetStyle(0);
    }
    font.SetColor(gfx::clMenuText);
}

bool IsItemPopup(const TMenuItem* item) {
    if (!item) return false;
    TMenu* menu = item->GetParentMenu();
    return !(dynamic_cast<TMainMenu*>(menu) && item->Parent() == menu->Items());
}

void DefaultDrawMargin(gfx::Canvas& canvas, const TRect& rect, TColor startColor, TColor endColor) {
    bool newStyle = SystemMetrics().NewStyleControls;
    TRect strip = rect;
    if (newStyle) strip.Right -= 3;
    components::GradientFillRect(canvas, strip, startColor, endColor,
                                 components::TFillDirection::fdTopToBottom, 32);
    if (newStyle) {
        Line(canvas, gfx::clBtnShadow, rect.Right - 2, rect.Top, rect.Right - 2, rect.Bottom);
        Line(canvas, gfx::clBtnHighlight, rect.Right - 1, rect.Top, rect.Right - 1, rect.Bottom);
    }
}

// ---- the shared look ----

struct TRxMenuLook::Picture {
    int imageIndex = -1; // valid index into the menu's images
    const gfx::Bitmap* graphic = nullptr;
    const gfx::TIcon* icon = nullptr;
    int numGlyphs = 1;
    int width = 0;
    int height = 0;
    bool Any() const { return imageIndex >= 0 || graphic || icon; }
};

namespace {

// The size of an item's own picture (one glyph of a bitmap, an icon at its real size); none when empty.
std::optional<gfx::TSize> GraphicSize(const TMenuGraphic& graphic, int numGlyphs) {
    if (const gfx::Bitmap* const* bitmap = std::get_if<const gfx::Bitmap*>(&graphic)) {
        if (*bitmap && !(*bitmap)->Empty())
            return gfx::TSize{(*bitmap)->Width() / numGlyphs, (*bitmap)->Height()};
    } else if (const gfx::TIcon* const* icon = std::get_if<const gfx::TIcon*>(&graphic)) {
        if (*icon && !(*icon)->Empty()) {
            gfx::TSize size;
            GetIconSize(CreateRealSizeIcon(**icon), size.cx, size.cy);
            return size;
        }
    }
    return std::nullopt;
}

int GlyphCount(const TMenuGraphic& graphic, int numGlyphs) {
    bool bitmap = std::holds_alternative<const gfx::Bitmap*>(graphic);
    return bitmap && numGlyphs >= 2 && numGlyphs <= 5 ? numGlyphs : 1;
}

} // namespace

void TRxMenuLook::SetStyle(TRxMenuStyle style) {
    if (style == style_) return;
    style_ = style;
    Refresh();
}

bool TRxMenuLook::IsOwnerDrawMenu() const {
    return style_ != TRxMenuStyle::msStandard || HasImages(const_cast<TRxMenuLook*>(this)->Menu());
}

TMenuItem* TRxMenuLook::ItemOf(int command) {
    TMenuItem* item = Menu().FindItem(command);
    return item == Menu().Items() ? nullptr : item;
}

void TRxMenuLook::GetImageIndex(TMenuItem* item, TMenuOwnerDrawState state, int& imageIndex) {
    if (HasImages(Menu()) && !item->IsLine() && OnGetImageIndex)
        OnGetImageIndex(&Menu(), item, state, imageIndex);
}

void TRxMenuLook::GetItemParams(TMenuItem* item, TMenuOwnerDrawState state, gfx::TFont& font, TColor& color,
                                TMenuGraphic& graphic, int& numGlyphs) {
    if (OnGetItemParams) OnGetItemParams(&Menu(), item, state, font, color, graphic, numGlyphs);
    if (item->IsLine()) graphic = {};
}

void TRxMenuLook::MeasureItem(TMenuItem* item, int& width, int& height) {
    if (OnMeasureItem) OnMeasureItem(&Menu(), item, width, height);
}

TRxMenuLook::Picture TRxMenuLook::ItemPicture(TMenuItem* item, TMenuOwnerDrawState state, gfx::TFont& font,
                                              TColor& color) {
    Picture p;
    TMenuGraphic graphic;
    int numGlyphs = 1;
    GetItemParams(item, state, font, color, graphic, numGlyphs);
    int index = item->ImageIndex;
    GetImageIndex(item, state, index);
    const TImageList* images = Menu().Images();
    if (HasImages(Menu()) && index >= 0 && index < images->Count()) {
        p.imageIndex = index;
        p.width = images->Width();
        p.height = images->Height();
    } else if (auto size = GraphicSize(graphic, GlyphCount(graphic, numGlyphs))) {
        if (auto* bitmap = std::get_if<const gfx::Bitmap*>(&graphic)) p.graphic = *bitmap;
        if (auto* icon = std::get_if<const gfx::TIcon*>(&graphic)) p.icon = *icon;
        p.numGlyphs = GlyphCount(graphic, numGlyphs);
        p.width = size->cx;
        p.height = size->cy;
    }
    return p;
}

gfx::TSize TRxMenuLook::MeasureMenuItem(TMenuItem* item, gfx::Canvas& canvas) {
    gfx::CanvasStateSaver saver(canvas);
    SetDefaultMenuFont(canvas.Font);
    if (item->Default) canvas.Font.SetStyle(canvas.Font.Style() | gfx::fsBold);
    TColor color = canvas.Brush.Color;
    gfx::TFont font = canvas.Font;
    TMenuGraphic graphic;
    int numGlyphs = 1;
    GetItemParams(item, 0, font, color, graphic, numGlyphs);
    canvas.Font = font;
    int index = item->ImageIndex;
    GetImageIndex(item, 0, index);

    const int g = Gap();
    bool popup = IsItemPopup(item);
    bool images = HasImages(Menu());
    const TImageList* list = Menu().Images();
    int width = popup ? 2 * g : 0;
    int height = LineHeight();
    int floor = !popup ? 0 : images ? std::max<int>(MinTextOffset, list->Width() + 2) : MinTextOffset;
    int topLevelGap = popup ? 0 : g;

    if (!popup) {
        width += canvas.TextWidth(CaptionText(item));
    } else {
        bool widest = item->Parent() && !item->ShortCutText.empty();
        width += CaptionColumn(canvas, item, widest) + ShortCutColumn(canvas, item, widest);
        if (item->Count() > 0) width += canvas.TextWidth("\t\t");
    }
    if (popup && ShowCheckMarks) width += SystemMetrics().CheckMarkWidth;

    if (item->IsLine()) {
        height = std::max(canvas.TextHeight("-") / 2, 9);
    } else {
        height = std::max(height, canvas.TextHeight(item->Caption));
        bool validIndex = images && index >= 0 && index < list->Count();
        if (images && (popup || validIndex)) {
            width += std::max(list->Width() + 2, floor) + topLevelGap;
            if (validIndex) height = std::max(height, list->Height() + 4);
        } else if (auto size = GraphicSize(graphic, GlyphCount(graphic, numGlyphs))) {
            width += std::max(size->cx + 2, floor) + topLevelGap;
            height = std::max(height, size->cy + 4);
        } else if (floor != 0) {
            width += floor + topLevelGap;
        }
    }
    MeasureItem(item, width, height);
    // The first level of a pop-up menu leaves room for the margin strip.
    if (popup && item->Parent() == Menu().Items() && LeftMarginWidth() > 0)
        width += static_cast<int>(LeftMarginWidth()) + 1;
    return {width, height};
}

void TRxMenuLook::DrawMenuItem(TMenuItem* item, gfx::Canvas& canvas, TRect rect, TMenuOwnerDrawState state) {
    gfx::CanvasStateSaver saver(canvas);
    SetDefaultMenuFont(canvas.Font);
    canvas.Font.SetColor(gfx::clMenuText);
    canvas.Brush.Color = gfx::clMenu;
    canvas.Brush.Style = gfx::bsSolid;
    if (state & mdDefault) canvas.Font.SetStyle(canvas.Font.Style() | gfx::fsBold);
    if ((state & mdSelected) && style_ != TRxMenuStyle::msBtnLowered && style_ != TRxMenuStyle::msBtnRaised) {
        canvas.Brush.Color = gfx::clHighlight;
        canvas.Font.SetColor(gfx::clHighlightText);
    }
    if (item->Parent() == Menu().Items() && IsItemPopup(item) && LeftMarginWidth() > 0) {
        TRect clip = canvas.ClipRect();
        DrawMarginStrip(canvas, {0, clip.Top, static_cast<int>(LeftMarginWidth()), clip.Bottom});
        rect.Left += static_cast<int>(LeftMarginWidth()) + 1;
    }
    canvas.IntersectClipRect(rect);
    DrawItem(item, canvas, rect, state);
}

void TRxMenuLook::DrawItem(TMenuItem* item, gfx::Canvas& canvas, TRect rect, TMenuOwnerDrawState state) {
    TColor color = canvas.Brush.Color;
    gfx::TFont font = canvas.Font;
    TMenuGraphic graphic;
    int numGlyphs = 1;
    GetItemParams(item, state, font, color, graphic, numGlyphs);
    if (color != gfx::clNone) {
        canvas.Brush.Color = color;
        canvas.Brush.Style = gfx::bsSolid;
        canvas.FillRect(rect);
    }
    if (OnDrawItem)
        OnDrawItem(&Menu(), item, rect, state);
    else
        DefaultDrawItem(item, canvas, rect, state);
}

void TRxMenuLook::DefaultDrawItem(TMenuItem* item, gfx::Canvas& canvas, TRect r, TMenuOwnerDrawState state) {
    const TSystemMetrics& sm = SystemMetrics();
    const int g = Gap();
    const int look = style_ == TRxMenuStyle::msBtnLowered ? 1 : style_ == TRxMenuStyle::msBtnRaised ? 2 : 0;
    bool popup = IsItemPopup(item);
    bool selected = (state & mdSelected) != 0;
    bool disabled = (state & (mdDisabled | mdGrayed)) != 0;
    TColor menuColor = canvas.Brush.Color;
    TColor textColor = canvas.Font.Color();

    // 1. Looks.
    bool checkedLook = item->Checked && popup && !ShowCheckMarks && look == 0;
    TColor disabledColor = (selected && look == 0) ? gfx::clGrayText : gfx::clBtnShadow;
    bool emboss = !sm.NewStyleControls ? false
                  : (selected && look == 0)
                      ? gfx::ColorToRGB(gfx::clGrayText) == gfx::ColorToRGB(gfx::clHighlight)
                      : true;
    // 2. Text offset.
    int checkWidth = ShowCheckMarks ? sm.CheckMarkWidth : 2;
    int t = popup ? 2 * g + checkWidth : g + 2;
    // 3. The pressed or raised frame of the highlighted item.
    if (selected && look != 0) {
        TColor topLeft = look == 1 ? gfx::clBtnShadow : gfx::clBtnHighlight;
        TColor bottomRight = look == 1 ? gfx::clBtnHighlight : gfx::clBtnShadow;
        canvas.Frame3D(r, topLeft, bottomRight, 1);
    }
    // 7. Separators.
    if (item->IsLine()) {
        int y = (r.Top + r.Bottom) / 2 - 1;
        if (sm.NewStyleControls) {
            Line(canvas, gfx::clBtnShadow, r.Left, y, r.Right, y);
            Line(canvas, gfx::clBtnHighlight, r.Left, y + 1, r.Right, y + 1);
        } else {
            Line(canvas, gfx::clMenuText, r.Left, y + 1, r.Right, y + 1);
            Line(canvas, gfx::clMenuText, r.Left, y + 2, r.Right, y + 2);
        }
        return;
    }
    // 4. The system check mark.
    if (item->Checked && popup && ShowCheckMarks)
        DrawCheckMark(canvas, r.Left + (t - checkWidth) / 2, (r.Top + r.Bottom - checkWidth) / 2, checkWidth,
                      item->RadioItem, textColor);
    // 5. The picture column's floor.
    gfx::TFont font = canvas.Font;
    TColor unused = menuColor;
    Picture pic = ItemPicture(item, state, font, unused);
    bool images = HasImages(Menu());
    int floor = !popup   ? 0
                : images ? std::max<int>(MinTextOffset, Menu().Images()->Width() + 2)
                         : MinTextOffset;
    if (!ShowCheckMarks && (pic.Any() || floor > 0)) t = g;
    // 6. The picture cell.
    if (pic.Any() || floor > 0) {
        int w = pic.Any() ? std::max(pic.width + 2, floor) : floor;
        TRect cell{r.Left + t - 1, r.Top, r.Left + t - 1 + w + 2, r.Bottom};
        if (checkedLook) {
            TRect pressed{cell.Left, cell.Top + 1, cell.Right, cell.Bottom - 1};
            if (selected) {
                canvas.Brush.Color = gfx::clMenu;
                canvas.Brush.Style = gfx::bsSolid;
                canvas.FillRect(pressed);
            } else {
                FillCheckerboard(canvas, pressed, gfx::clMenu, gfx::clBtnHighlight);
            }
            canvas.Frame3D(pressed, disabledColor, gfx::clBtnHighlight, 1);
        }
        if (pic.Any()) {
            int x = r.Left + t + (w - pic.width) / 2;
            int y = r.Top + (r.Height() - pic.height) / 2;
            if (pic.icon) {
                DrawRealSizeIcon(canvas, *pic.icon, x, y);
            } else if (pic.imageIndex >= 0) {
                if (state & mdDisabled)
                    components::ImageListDrawDisabled(*Menu().Images(), canvas, x, y, pic.imageIndex,
                                                      gfx::clBtnHighlight, disabledColor, emboss);
                else
                    Menu().Images()->Draw(canvas, x, y, pic.imageIndex);
            } else {
                int glyph = (state & mdDisabled) ? 1 : item->Checked ? 3 : selected ? 2 : 0;
                if (glyph >= pic.numGlyphs) glyph = 0;
                gfx::Bitmap cellBitmap;
                components::AssignBitmapCell(*pic.graphic, cellBitmap, pic.numGlyphs, 1, glyph);
                if (state & mdDisabled) {
                    if (emboss) DrawSilhouette(canvas, cellBitmap, x + 1, y + 1, gfx::clBtnHighlight);
                    DrawSilhouette(canvas, cellBitmap, x, y, disabledColor);
                } else {
                    components::DrawBitmapTransparent(canvas, x, y, cellBitmap,
                                                      cellBitmap.GetRgb(0, cellBitmap.Height() - 1));
                }
            }
        } else if (checkedLook) {
            DrawCheckMark(canvas, cell.Left + (cell.Width() - sm.CheckMarkWidth) / 2,
                          (r.Top + r.Bottom - sm.CheckMarkWidth) / 2, sm.CheckMarkWidth, item->RadioItem,
                          textColor);
        }
        t += g + w;
    }
    // 8. Caption and shortcut.
    canvas.Brush.Style = gfx::bsClear;
    int x = r.Left + t;
    int y = (r.Top + r.Bottom - canvas.TextHeight("Ay")) / 2;
    auto text = [&](const std::string& s, int left, unsigned flags) {
        auto draw = [&](int dx, TColor color) {
            TRect box{left + dx, y + dx, r.Right + dx, r.Bottom + dx};
            canvas.Font.SetColor(color);
            gfx::DrawText(canvas, s, box, gfx::DT_SINGLELINE | gfx::DT_EXPANDTABS | flags);
        };
        if (disabled) {
            if (emboss) draw(1, gfx::clBtnHighlight);
            draw(0, disabledColor);
        } else {
            draw(0, textColor);
        }
    };
    text(item->Caption, x, 0);
    if (popup && !item->ShortCutText.empty() && item->Count() == 0)
        text(item->ShortCutText, x + CaptionColumn(canvas, item, true), gfx::DT_NOPREFIX);
}

void TRxMenuLook::MenuSelectCursor(TMenuItem* item) {
    if (Cursor == crDefault) return;
    Screen->Cursor = item && (IsItemPopup(item) || item->Count() == 0) ? Cursor : crDefault;
}

bool TRxMenuLook::HandleOwnerDrawMessage(TMessage& message) {
    if (message.Msg != WM_MEASUREITEM && message.Msg != WM_DRAWITEM) return false;
    TMenuItem* item = ItemOf(static_cast<int>(message.LParam));
    MenuHost::DrawContext& context = TheMenuHost().Current();
    if (!item || !context.canvas) return false;
    if (message.Msg == WM_MEASUREITEM) {
        gfx::TSize size = MeasureMenuItem(item, *context.canvas);
        context.width = size.cx;
        context.height = size.cy;
    } else {
        DrawMenuItem(item, *context.canvas, context.rect, context.state);
    }
    message.Result = 1;
    return true;
}

// ---- main menu ----

TRxMainMenu::TRxMainMenu(TComponent* owner, const std::string& name)
    : TMainMenu(owner, name), hook_(std::make_unique<components::TRxWindowHook>()) {
    hook_->AfterMessage = [this](TComponent*, TMessage& m, bool& handled) { WndMessage(m, handled); };
}

TRxMainMenu::~TRxMainMenu() {
    hook_->SetWinControl(nullptr);
    SetImages(nullptr);
}

void TRxMainMenu::SetImages(TImageList* images) {
    if (Images()) Images()->UnRegisterChanges(imageLink_);
    TMainMenu::SetImages(images);
    if (images) imageLink_ = images->RegisterChanges([this] { Refresh(); });
    if (!Destroying()) Refresh();
}

TWinControl* TRxMainMenu::FindForm() const {
    auto* control = dynamic_cast<TWinControl*>(Owner());
    if (!control) return nullptr;
    TWinControl* form = control->ParentForm();
    return form ? form : control;
}

void TRxMainMenu::RefreshMenu(bool ownerDraw) {
    TWinControl* form = ownerDraw ? FindForm() : nullptr;
    hook_->SetWinControl(form);
    OwnerDraw = ownerDraw && form;
}

void TRxMainMenu::Loaded() {
    TMainMenu::Loaded();
    Refresh();
}

void TRxMainMenu::WndMessage(TMessage& message, bool& handled) {
    if (!OwnerDraw) return;
    if (HandleOwnerDrawMessage(message)) {
        handled = true;
        return;
    }
    if (message.Msg == WM_MENUSELECT) MenuSelectCursor(ItemOf(static_cast<int>(message.WParam & 0xFFFF)));
    if (message.Msg == WM_MENUCHAR && ProcessMenuChar(message)) handled = true;
}

// ---- pop-up menu ----

TRxPopupMenu::TRxPopupMenu(TComponent* owner, const std::string& name) : TPopupMenu(owner, name) {
    TPopupList::Get().Add(this);
}

TRxPopupMenu::~TRxPopupMenu() {
    TPopupList::Get().Remove(this);
    SetImages(nullptr);
}

void TRxPopupMenu::SetImages(TImageList* images) {
    if (Images()) Images()->UnRegisterChanges(imageLink_);
    TPopupMenu::SetImages(images);
    if (images) imageLink_ = images->RegisterChanges([this] { Refresh(); });
    if (!Destroying()) Refresh();
}

void TRxPopupMenu::RefreshMenu(bool ownerDraw) {
    OwnerDraw = ownerDraw;
}

void TRxPopupMenu::Loaded() {
    TPopupMenu::Loaded();
    Refresh();
}

void TRxPopupMenu::Popup(int x, int y) {
    popupPoint_ = {x, y};
    if (OnPopup) OnPopup(this);
    if (IsOwnerDrawMenu()) RefreshMenu(true);
    TheMenuHost().TrackPopupMenu(this, Items(), x, y, Alignment, TPopupList::Get().Window());
}

void TRxPopupMenu::DrawMargin(gfx::Canvas& canvas, const TRect& rect) {
    if (OnDrawMargin)
        OnDrawMargin(this, rect);
    else
        DefaultDrawMargin(canvas, rect, gfx::clBlue, gfx::RGB(0, 0, 63));
}

// ---- the list of pop-up menus ----

class TPopupList::ListWindow : public TWinControl {
public:
    explicit ListWindow(TPopupList& list) : list_(list) { SetVisible(false); }

protected:
    void WndProc(TMessage& message) override { list_.WndProc(message); }

private:
    TPopupList& list_;
};

TPopupList& TPopupList::Get() {
    static TPopupList list;
    return list;
}

void TPopupList::Add(TRxPopupMenu* menu) {
    if (menus_.empty()) window_ = std::make_unique<ListWindow>(*this);
    menus_.push_back(menu);
}

void TPopupList::Remove(TRxPopupMenu* menu) {
    std::erase(menus_, menu);
    if (menus_.empty()) window_.reset();
}

void TPopupList::WndProc(TMessage& message) {
    std::vector<TRxPopupMenu*> menus = menus_; // a handler may free a menu
    auto alive = [&](TRxPopupMenu* m) { return std::find(menus_.begin(), menus_.end(), m) != menus_.end(); };
    switch (message.Msg) {
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        for (TRxPopupMenu* m : menus)
            if (alive(m) && m->HandleOwnerDrawMessage(message)) return;
        return;
    case WM_INITMENUPOPUP:
        for (TRxPopupMenu* m : menus)
            if (TMenuItem* item = m->FindItem(static_cast<int>(message.WParam))) {
                if (item != m->Items()) item->Click();
                return;
            }
        return;
    case WM_COMMAND:
        for (TRxPopupMenu* m : menus)
            if (alive(m) && m->DispatchCommand(static_cast<int>(message.WParam & 0xFFFF))) return;
        return;
    case WM_MENUSELECT: {
        unsigned flags = static_cast<unsigned>((message.WParam >> 16) & 0xFFFF);
        int command = static_cast<int>(message.WParam & 0xFFFF);
        TMenuItem* found = nullptr;
        TRxPopupMenu* owner = nullptr;
        if (flags != 0xFFFF)
            for (TRxPopupMenu* m : menus)
                if ((found = m->ItemOf(command))) {
                    owner = m;
                    break;
                }
        Application->SetHint(found ? found->Hint : std::string());
        // Items are found by command whether they open a sub-menu (MF_POPUP) or not.
        if (owner && owner->Cursor != crDefault)
            owner->MenuSelectCursor(found);
        else if (!found)
            for (TRxPopupMenu* m : menus)
                if (m->Cursor != crDefault) Screen->Cursor = crDefault;
        return;
    }
    case WM_MENUCHAR:
        for (TRxPopupMenu* m : menus)
            if (alive(m) && m->ProcessMenuChar(message)) return;
        message.Result = MNC_IGNORE;
        return;
    case WM_HELP: {
        for (TRxPopupMenu* m : menus)
            if (TMenuItem* item = m->FindItem(static_cast<int>(message.WParam))) {
                TForm* active = Screen->ActiveForm();
                if (active && (active->BorderIcons & biHelp))
                    Application->HelpCommand(HELP_CONTEXTPOPUP, item->HelpContext);
                else if (active)
                    Application->HelpContext(item->HelpContext);
                return;
            }
        return;
    }
    default:
        return;
    }
}

} // namespace extra
