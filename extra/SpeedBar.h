#pragma once
// The speed bar: a dockable tool-bar panel whose command buttons are grouped in named sections. The
// user can drag the bar to another edge of its parent, resize it in whole rows of buttons while it is
// being customised, drag buttons about, and have the layout saved to and restored from an INI file or
// the registry, by hand or through a placement storage.
//
// Items (TSpeedItem) are non-visual commands that own their buttons (TSpeedbarButton). Stored layout
// values are checked before use: a position outside the alignments is ignored, the button count is
// bounded by the keys of the section, the thickness is kept between one row of buttons and the
// parent's client size.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/Placemnt.h"
#include "components/RxCtrls.h"
#include "platform/controls/Actions.h"
#include "platform/Exceptions.h"
#include "platform/Streaming.h"
#include "platform/controls/StdCtrls.h"

namespace extra {

class ESpeedbarError : public platform::Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "ESpeedbarError"; }
};

enum class TBarOrientation { boHorizontal, boVertical };
enum class TBarPosition { bpAuto, bpCustom };
enum TBoundLine : uint8_t { blTop = 1, blBottom = 2, blLeft = 4, blRight = 8 };
using TBoundLines = uint8_t;
enum TSpeedbarOption : uint8_t {
    sbAllowDrag = 1,
    sbAllowResize = 2,
    sbFlatBtns = 4,
    sbGrayedBtns = 8,
    sbTransparentBtns = 16,
    sbStretchBitmap = 32
};
using TSpeedbarOptions = uint8_t;
using TApplyAlignEvent = std::function<void(platform::TComponent*, platform::TAlign, bool& apply)>;

// The message a bar sends to its customise window, with the codes of WParam.
inline constexpr uint32_t CM_SPEEDBARCHANGED = 0xB050;
inline constexpr int kSbItemLeft = 0, kSbBarDestroyed = 1, kSbItemDropped = 2, kSbSizeChanged = 3;

class TSpeedBar;
class TSpeedItem;
class TBtnControl;

// The grid step along a bar for a button size: the divisor of the size nearest above min(8, size / 3)
// (at least 1), or below it when only the size itself is above.
int SpeedBarGridStep(int size);
// The edge a bar dragged to a point of its parent's client area (width w, height h) docks to, by the
// two diagonals; `current` when the area is empty.
platform::TAlign SpeedBarTargetEdge(int w, int h, platform::gfx::TPoint p, platform::TAlign current);
// The bar that owns the window under a screen point (that window or one of its parents), or null.
TSpeedBar* FindSpeedBar(platform::gfx::TPoint screen);
// The bar's AddSection and NewItem as free routines.
int NewSpeedSection(TSpeedBar* bar, const std::string& caption);
TSpeedItem* NewSpeedItem(platform::TComponent* owner, TSpeedBar* bar, int section, const std::string& name);

class TSpeedbarSection : public platform::TComponent, public platform::TStreamable {
public:
    explicit TSpeedbarSection(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TSpeedbarSection() override;
    const std::string& Caption() const { return caption_; }
    // Raises ESpeedbarError when another section of the bar has the title (not while loading).
    void SetCaption(const std::string& caption);
    int Index() const;
    void SetIndex(int index);
    TSpeedBar* SpeedBar() const { return bar_; }
    int Count() const { return static_cast<int>(items_.size()); }
    TSpeedItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    // Joins the bar at the end of its sections.
    void SetParentComponent(platform::TComponent* parent) override;

private:
    friend class TSpeedBar;
    friend class TSpeedItem;
    std::string caption_;
    std::vector<TSpeedItem*> items_;
    TSpeedBar* bar_ = nullptr;
};

// The button of an item.
class TSpeedbarButton : public components::TRxSpeedButton {
public:
    TSpeedbarButton(TSpeedItem* item);
    ~TSpeedbarButton() override;
    TSpeedItem* Item() const { return item_; }
    void SetBounds(int left, int top, int width, int height) override;
    // A click of the button is the item's: its OnClick, else its action.
    void Click() override;

protected:
    void Paint() override;
    void PaintGlyph(platform::gfx::Canvas& canvas, const platform::gfx::TRect& rect,
                    components::TRxButtonState state, bool drawMark) override;
    void MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void MouseMove(platform::TShiftState shift, int x, int y) override;
    void MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;

private:
    // The top-left corner of the drag image (screen) for the cursor at a point of the button.
    platform::gfx::TPoint ImageOrigin(int x, int y) const;

    TSpeedItem* item_;
    std::unique_ptr<TBtnControl> dragImage_; // while the button is dragged
};

class TSpeedItem : public platform::TComponent, public platform::TStreamable {
public:
    explicit TSpeedItem(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TSpeedItem() override;

    TSpeedbarButton* Button() const { return button_.get(); }
    TSpeedBar* SpeedBar() const { return bar_; }
    int Section() const { return section_; }
    std::string SectionName() const;

    const std::string& Caption() const { return caption_; }
    // Also rebuilds the hint ("short|long") from the caption as the item rules say.
    void SetCaption(const std::string& caption);
    // Renaming an item whose caption was its name renames the caption too.
    void SetName(const std::string& name);
    const std::string& Hint() const;
    void SetHint(const std::string& hint);
    const std::string& BtnCaption() const;
    void SetBtnCaption(const std::string& caption);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool Stored() const { return stored_; }
    void SetStored(bool stored) { stored_ = stored; }
    // The tag is the item's and its button's.
    void SetTag(intptr_t tag);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);
    int Left() const;
    int Top() const;
    void SetLeft(int v);
    void SetTop(int v);
    // Clicks the button (as the user would).
    void Click();
    // Runs on a click of the button, with the item as sender; without it a click executes the Action.
    std::function<void(platform::TComponent*)> OnClick;
    // The action whose caption, enabled state, hint and image index the item shows (null: none).
    platform::TBasicAction* Action() const { return actionLink_ ? actionLink_->Action() : nullptr; }
    void SetAction(platform::TBasicAction* action);

    // Streaming: the section is stored by name ("SectionName"); older texts hold its number ("Section").
    void DefineProperties(platform::TFiler& filer) override;
    // Joins the bar in the section of the stored name, else of the stored number (at least 0).
    void SetParentComponent(platform::TComponent* parent) override;
    // Links the action read by name ("Action"): a component of the item's owner.
    void Loaded() override;

private:
    friend class TSpeedBar;
    friend class TSpeedbarButton;
    friend class TSpeedbarSection;
    void SetEditing(bool editing);
    void UpdateButtonEnabled();
    void ButtonClicked();

    std::string caption_;
    bool editing_ = false;
    bool enabled_ = true;
    std::unique_ptr<TSpeedbarButton> button_;
    bool visible_ = false;
    bool stored_ = true;
    TSpeedBar* bar_ = nullptr;
    int section_ = -1;
    std::string readSectionName_;
    int readSection_ = -1;
    int imageIndex_ = -1;
    std::unique_ptr<platform::TBasicActionLink> actionLink_;
    std::string readActionName_;
};

class TSpeedBar : public platform::widgets::TCustomPanel, public platform::TStreamable {
public:
    explicit TSpeedBar(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TSpeedBar() override;

    // Sections and items.
    int SectionCount() const { return static_cast<int>(sections_.size()); }
    TSpeedbarSection* Sections(int index) const { return sections_.at(static_cast<size_t>(index)); }
    int AddSection(const std::string& caption);
    virtual void AppendSection(TSpeedbarSection* section);
    TSpeedItem* NewItem(platform::TComponent* owner, int section, const std::string& name);
    void AddItem(int section, TSpeedItem* item);
    void RemoveItem(TSpeedItem* item);
    void RemoveSection(int index);
    void DeleteSection(int index);
    void ClearSections();
    TSpeedItem* Items(int section, int index) const;
    int ItemsCount(int section) const;
    int SearchSection(const std::string& title) const;
    TSpeedItem* SearchItem(const std::string& name) const;
    bool FindItem(const TSpeedItem* item, int& section, int& index) const;
    virtual void ForEachItem(const std::function<void(TSpeedItem*)>& proc) const;
    void AlignItemsToGrid();
    // The bar's font: the system's menu font, or "MS Sans Serif" 8 in button-text colour when the system
    // cannot tell it.
    virtual void SetFontDefault();
    // Called for a new item before it joins (may change its section).
    std::function<void(TSpeedItem*, int& section)> OnAddItem;

    // Geometry.
    TBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TBarOrientation orientation);
    TBarPosition Position() const { return position_; }
    void SetPosition(TBarPosition position);
    // Hides the control's SetAlign: with bpAuto only the four edges are allowed.
    void SetAlign(platform::TAlign align);
    int BtnOffsetHorz() const { return offsetHorz_; }
    int BtnOffsetVert() const { return offsetVert_; }
    void SetBtnOffsetHorz(int v);
    void SetBtnOffsetVert(int v);
    int BtnWidth() const { return btnWidth_; }
    int BtnHeight() const { return btnHeight_; }
    void SetBtnWidth(int v);
    void SetBtnHeight(int v);
    platform::gfx::TPoint GridSize() const { return grid_; }
    // Scales by m / d (the bar's form scaled to another pixels per inch): the button size (each side
    // unless the control style fixes it) and the offsets (never below the minimum), the bar's bounds
    // and its buttons' places, which are then snapped to the new grid. While loading, only the sizes
    // and offsets the text set are scaled.
    void ChangeScale(int m, int d) override;
    int MinButtonsOffset() const;
    TSpeedbarOptions Options() const { return options_; }
    void SetOptions(TSpeedbarOptions options);
    TBoundLines BoundLines() const { return boundLines_; }
    void SetBoundLines(TBoundLines lines);
    // The picture behind the buttons (any graphic): tiled from the inner top-left corner, or stretched
    // over the inner rectangle with sbStretchBitmap. A change of the picture repaints the bar.
    platform::gfx::TPicture& Wallpaper() { return wallpaper_; }
    // The wallpaper becomes a copy of the bitmap.
    void SetWallpaper(const platform::gfx::Bitmap& picture);
    int Version = 0;
    platform::TImageList* Images() const { return images_; }
    void SetImages(platform::TImageList* images);

    // Snaps an item of the bar to the grid at (x, y); it stays visible only when its snapped place lies
    // in the client area. False for an item in no section of the bar.
    bool AcceptDropItem(TSpeedItem* item, int x, int y);

    // Customising: the handle of the customise window (0: none) and the window's hook.
    bool Editing() const { return editWin_ != 0; }
    void SetEditing(platform::HWND window);
    // Opens the customise window (ShowSpeedbarSetupWindow).
    void Customize(int helpContext);

    // Layout storage.
    components::TFormPlacement* IniStorage() const { return iniLink_.Storage(); }
    void SetIniStorage(components::TFormPlacement* storage) { iniLink_.SetStorage(storage); }
    void SaveLayout(platform::TIniFile& ini) { SaveLayoutTo(&ini, components::GetDefaultSection(this)); }
    void RestoreLayout(platform::TIniFile& ini) {
        RestoreLayoutFrom(&ini, components::GetDefaultSection(this));
    }
    void SaveLayoutReg(platform::TIniFile& reg) { SaveLayout(reg); }
    void RestoreLayoutReg(platform::TIniFile& reg) { RestoreLayout(reg); }
    void SaveLayoutTo(platform::TIniFile* ini, const std::string& section);
    void RestoreLayoutFrom(platform::TIniFile* ini, const std::string& section);

    TApplyAlignEvent OnApplyAlign;
    platform::TNotifyEvent OnCustomize;
    platform::TNotifyEvent OnPosChanged;
    platform::TNotifyEvent OnVisibleChanged;

    // The rectangle (parent client coordinates) the bar would take docked at an edge.
    platform::gfx::TRect DockFrame(platform::TAlign edge) const;

    // Streaming: sections first, then the items the bar does not own; "InternalVer" is written, the
    // legacy "Sections", "NewStyle" and "AllowDrag" are only read.
    void GetChildren(const std::function<void(platform::TComponent*)>& proc) override;
    void DefineProperties(platform::TFiler& filer) override;
    void Loaded() override;
    // Registers the bar, its sections and items with the class registry (the first bar does it).
    static void RegisterStreamingClasses();

protected:
    void Paint() override;
    void MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void MouseMove(platform::TShiftState shift, int x, int y) override;
    void MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void VisibleChanged() override;
    void EnabledChanged() override;
    void Notification(platform::TComponent* component, platform::TOperation operation) override;
    virtual void PosChanged();
    virtual void AfterCustomize();
    // Children align inside the bound lines: 2 pixels of each side that has one stay free. Aligning
    // raises the offsets to the minimum again.
    void AdjustClientRect(platform::gfx::TRect& rect) const override;
    void AlignControls() override;

private:
    friend class TSpeedItem;
    friend class TSpeedbarSection;
    friend class TSpeedbarButton;
    void SetItemParams(TSpeedItem* item, bool setSize);
    void ApplyButtonSize();
    void UpdateGrid();
    void MoveButtons(int dx, int dy);
    // Both offsets, kept between the minimum and the largest extent; the buttons move with them.
    void SetOffsets(int horz, int vert);
    void NotifyEditWin(int code, intptr_t param);
    void SwapOrientation();
    int ResizeThickness(platform::gfx::TPoint p) const;
    bool InResizeZone(int x, int y) const;
    void ApplyAlign(platform::TAlign align);

    std::vector<TSpeedbarSection*> sections_;
    TBarOrientation orientation_ = TBarOrientation::boHorizontal;
    TBarPosition position_ = TBarPosition::bpAuto;
    int offsetHorz_ = 0;
    int offsetVert_ = 0;
    int btnWidth_ = 24;
    int btnHeight_ = 23;
    platform::gfx::TPoint grid_{8, 23};
    TSpeedbarOptions options_ = sbAllowDrag | sbGrayedBtns;
    TBoundLines boundLines_ = 0;
    platform::gfx::TPicture wallpaper_;
    platform::TImageList* images_ = nullptr;
    int imageLink_ = 0;
    platform::HWND editWin_ = 0;
    components::TIniLink iniLink_;

    // Moving and resizing.
    enum class Drag { None, Pressed, Moving, Resizing } drag_ = Drag::None;
    platform::gfx::TPoint press_;
    platform::TAlign startAlign_ = platform::TAlign::alTop;
    platform::TAlign targetAlign_ = platform::TAlign::alTop;
    platform::gfx::TRect frame_;
    int savedCursor_ = 0;

    // Read from a stream.
    enum : unsigned {
        kStreamedBtnWidth = 1,
        kStreamedBtnHeight = 2,
        kStreamedOffsetHorz = 4,
        kStreamedOffsetVert = 8
    };
    unsigned streamed_ = 0; // the sizes and offsets set while loading
    bool internalVer_ = false;
    bool alignNoneRead_ = false;
    bool newStyle_ = false;
};

} // namespace extra
