#pragma once
// Windowed controls: a window handle (posted messages reach it through the loop), a surface of their
// own, child controls, focus and keys. TCustomControl adds a Paint of its own; TForm (Form.h) is the
// top-level window that input is injected into.
#include <optional>
#include <vector>

#include "platform/controls/Control.h"

namespace platform {

class TForm;

class TWinControl : public TControl, public MessageTarget {
public:
    explicit TWinControl(TComponent* owner = nullptr, const std::string& name = {});
    ~TWinControl() override;

    void SetBounds(int left, int top, int width, int height) override;

    // Children, in z-order (the last one on top).
    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }
    // Visible and enabled child under (x, y) of the client area, windowed children first, topmost first.
    TControl* ControlAtPos(int x, int y) const;

    // Focus.
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool tabStop) { tabStop_ = tabStop; }
    int TabOrder() const;
    virtual bool CanFocus() const;
    bool Focused() const;
    virtual void SetFocus();
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;

    // Painting.
    gfx::Bitmap& Surface() { return surface_; }
    gfx::Canvas& Canvas() override;
    void Invalidate() override;
    void InvalidateRect(const gfx::TRect& rect);
    void Update() override;
    // Runs every pending paint of this window and its windowed children, then draws the picture of the
    // window (client area) into `bitmap` with its top-left at (x, y). The bitmap is not resized.
    void PaintTo(gfx::Bitmap& bitmap, int x = 0, int y = 0);
    // The invalid area not yet painted (empty when none).
    gfx::TRect InvalidArea() const { return invalid_; }

    // Posted messages arrive here.
    void Dispatch(TMessage& message) override { DispatchMessage(message); }

    // Window subclassing: `before` runs ahead of the window's own procedure and may take the message
    // (true: the window does not see it); `after` runs once the window has handled it. Hooks added
    // later run first. A hook may remove itself (or another) while it runs.
    using TWindowHookProc = std::function<bool(TMessage&)>;
    using TWindowAfterProc = std::function<void(TMessage&)>;
    int AddWindowHook(TWindowHookProc before, TWindowAfterProc after);
    void RemoveWindowHook(int id);

    // The form this control lies on (itself for a form), or null.
    TForm* ParentForm() const;

    // Scales the control and everything on it by m / d (nothing when m equals d or either is not
    // positive).
    void ScaleBy(int m, int d);
    void ChangeScale(int m, int d) override;

protected:
    void WndProc(TMessage& message) override;
    void DispatchMessage(TMessage& message) override;
    virtual void PaintWindow() {}
    virtual void KeyDown(uint16_t& key, TShiftState shift) {
        if (OnKeyDown) OnKeyDown(this, key, shift);
    }
    virtual void KeyUp(uint16_t& key, TShiftState shift) {
        if (OnKeyUp) OnKeyUp(this, key, shift);
    }
    virtual void DoEnter() {
        if (OnEnter) OnEnter(this);
    }
    virtual void DoExit() {
        if (OnExit) OnExit(this);
    }
    virtual void Resize() {}
    // Places the aligned children in the client rectangle less what AdjustClientRect takes.
    virtual void AlignControls();
    virtual void AdjustClientRect(gfx::TRect& rect) const { (void)rect; }

private:
    friend class TControl;
    friend class TForm;
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    void SchedulePaint();
    // Schedules the paints pending in this window and its windowed children (the window was shown).
    void ScheduleTree();
    void PaintNow();
    void UpdateTree();
    void ComposeInto(gfx::Bitmap& bitmap, int x, int y, const gfx::TRect& clip);
    // The area children's canvases are limited to while painting (client coordinates), if painting.
    const std::optional<gfx::TRect>& PaintClip() const { return paintClip_; }

    std::vector<TControl*> controls_;
    gfx::Bitmap surface_;
    gfx::TRect invalid_;
    std::optional<gfx::TRect> paintClip_;
    bool tabStop_ = false;
    bool aligning_ = false;
    struct WindowHook {
        int id;
        TWindowHookProc before;
        TWindowAfterProc after;
    };
    std::vector<WindowHook> hooks_;
    int nextHookId_ = 1;
};

// A windowed control that paints itself on its canvas.
class TCustomControl : public TWinControl {
public:
    using TWinControl::TWinControl;

protected:
    void PaintWindow() override { Paint(); }
};

} // namespace platform
