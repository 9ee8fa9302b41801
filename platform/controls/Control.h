#pragma once
// The control tree, headless: controls have bounds, a parent, visibility, fonts and colours, receive
// messages through Perform and paint into bitmaps instead of onto a screen.
//
// Surfaces and painting (tests depend on these rules):
// - Every windowed control (TWinControl) owns a surface bitmap of its client size. Its device
//   coordinates are its client coordinates, as a window's device context has them.
// - A graphic control (TGraphicControl) has no surface: its canvas draws on the parent's surface with the
//   origin at the control's top-left and drawing limited to the control's bounds within the parent's
//   client area. Drawing on the canvas outside Paint (a pointer drawn on a timer tick) lands at once.
// - Invalidate marks an area of the parent's (graphic) or the control's own (windowed) surface as
//   invalid; while the window shows, one coalesced WM_PAINT is posted to it and the area is painted when
//   the loop gets to it. Update paints the invalid area now; Repaint = Invalidate + Update.
// - Painting a windowed control: the invalid area is filled with Color (unless csOpaque), Paint runs,
//   then each visible graphic child that meets the area gets WM_PAINT, in z-order. All canvases are
//   limited to the invalid area while this runs.
// - The picture of a window (PaintTo) is its surface with the surfaces of its visible windowed children
//   on top (windowed children lie above graphic ones), after every pending paint of the tree has run.
//
// Input: TForm (Form.h) turns injected mouse and key events into messages for the control under the
// mouse or the focused control. Mouse messages carry client coordinates of the receiving control.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Component.h"
#include "platform/EventLoop.h"
#include "platform/controls/Messages.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Font.h"

namespace platform {

class TWinControl;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum TControlStyleFlag : uint32_t {
    csAcceptsControls = 1,
    csCaptureMouse = 2,
    csClickEvents = 4,
    csFramed = 8,
    csSetCaption = 16,
    csOpaque = 32, // paints its whole area itself: the parent's background is not erased under it
    csDoubleClicks = 64,
    csFixedWidth = 128,  // scaling leaves the width as it is
    csFixedHeight = 256, // and the height
};

using TNotifyEvent = std::function<void(TComponent*)>;
using TMouseEvent = std::function<void(TComponent*, TMouseButton, TShiftState, int, int)>;
using TMouseMoveEvent = std::function<void(TComponent*, TShiftState, int, int)>;
using TKeyEvent = std::function<void(TComponent*, uint16_t&, TShiftState)>;
using TContextPopupEvent = std::function<void(TComponent*, gfx::TPoint, bool&)>;

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner = nullptr, const std::string& name = {});
    ~TControl() override;

    // Geometry (in the parent's client coordinates).
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    gfx::TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    virtual gfx::TRect ClientRect() const { return {0, 0, width_, height_}; }
    int ClientWidth() const { return ClientRect().Width(); }
    int ClientHeight() const { return ClientRect().Height(); }
    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);

    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* parent);
    // Moves the control to the top (or the bottom) of its parent's z-order.
    void BringToFront();
    void SendToBack();

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    virtual bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);
    // Visible, and so is every parent up to a top-level window that is itself visible.
    bool Showing() const;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    const std::string& Text() const { return caption_; }
    void SetText(const std::string& text) { SetCaption(text); }

    gfx::TFont& Font() { return font_; }
    const gfx::TFont& Font() const { return font_; }
    void SetFont(const gfx::TFont& font) { font_.Assign(font); }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool parentFont);
    gfx::TColor Color() const { return color_; }
    void SetColor(gfx::TColor color);

    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint) { hint_ = hint; }
    // With ParentShowHint the parent's ShowHint is the control's; setting ShowHint ends that.
    bool ShowHint() const;
    void SetShowHint(bool show) {
        showHint_ = show;
        parentShowHint_ = false;
    }
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool parentShowHint) { parentShowHint_ = parentShowHint; }
    int Cursor() const { return cursor_; }
    void SetCursor(int cursor) { cursor_ = cursor; }
    TComponent* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TComponent* menu) { popupMenu_ = menu; }
    TContextPopupEvent OnContextPopup;

    // The help topic of the control (0: none; the parents' is asked next).
    int HelpContext = 0;

    uint32_t ControlStyle() const { return controlStyle_; }
    void SetControlStyle(uint32_t style) { controlStyle_ = style; }

    // Scales the control by m / d (a form laid out at d pixels per inch shown at m): its place and,
    // unless csFixedWidth or csFixedHeight, its width and height; windowed controls scale their children
    // too. TWinControl::ScaleBy is where it starts.
    virtual void ChangeScale(int m, int d);

    // Painting.
    virtual void Invalidate();
    virtual void Update();
    void Repaint() {
        Invalidate();
        Update();
    }

    // Sends a message to the control at once and returns its result.
    intptr_t Perform(uint32_t msg, WPARAM wParam = 0, LPARAM lParam = 0);

    // Events.
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

    // A user's click: runs OnClick when the control is enabled. Setting a property from code never
    // runs a handler.
    virtual void Click() {
        if (Enabled() && OnClick) OnClick(this);
    }

    // The control's canvas: graphic controls draw on their parent's surface (Control.h header), windowed
    // custom controls on their own.
    virtual gfx::Canvas& Canvas();

protected:
    // The message handler of the control; derived classes handle their messages and pass the rest on.
    virtual void WndProc(TMessage& message);
    // Every message, sent or posted, enters here; windowed controls run their window hooks around it.
    virtual void DispatchMessage(TMessage& message) { WndProc(message); }
    virtual void Paint() {}
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void DblClick() {
        if (OnDblClick) OnDblClick(this);
    }
    virtual void MouseEnter() {
        if (OnMouseEnter) OnMouseEnter(this);
    }
    virtual void MouseLeave() {
        if (OnMouseLeave) OnMouseLeave(this);
    }
    virtual void FontChanged();
    virtual void TextChanged() {}
    virtual void EnabledChanged() { Invalidate(); }
    virtual void VisibleChanged() {}

    // The canvas of a graphic control over the parent's surface, refreshed to the current bounds.
    gfx::Canvas& SurfaceCanvas(gfx::Bitmap& surface, gfx::TPoint origin, gfx::TRect visibleDevice);

private:
    friend class TWinControl;
    void MouseMessage(TMessage& message);

    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
    TAlign align_ = TAlign::alNone;
    TWinControl* parent_ = nullptr;
    bool visible_ = true;
    bool enabled_ = true;
    std::string caption_;
    gfx::TFont font_;
    bool parentFont_ = true;
    bool copyingParentFont_ = false;
    gfx::TColor color_ = gfx::clBtnFace;
    std::string hint_;
    bool showHint_ = false;
    bool parentShowHint_ = false;
    int cursor_ = 0;
    TComponent* popupMenu_ = nullptr;
    uint32_t controlStyle_ = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    bool clicked_ = false;
    gfx::Bitmap* canvasTarget_ = nullptr;
    std::unique_ptr<gfx::Canvas> canvas_;
};

// A control without a window of its own: it paints on its parent's surface.
class TGraphicControl : public TControl {
public:
    using TControl::TControl;

protected:
    void WndProc(TMessage& message) override;
};

// The control that has the mouse captured (it gets every mouse message until the buttons are up), or null.
TControl* GetCaptureControl();
void SetCaptureControl(TControl* control);

} // namespace platform
