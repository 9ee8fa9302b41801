#pragma once
// The desktop of the headless build: a screen of fixed size and resolution on which the top-level
// forms lie at their Left/Top, a cursor position, the registered cursors, the installed fonts and a
// desktop bitmap that stands for the screen's device context (inverted drag frames are drawn on it).
//
// Forms join the screen's list when created and leave it when freed; the list is in z-order, the last
// one on top. Screen-level input (MouseDown/MouseMove/MouseUp at screen points) goes to the form that
// holds the mouse capture, else to the topmost visible form under the point, and moves the cursor.
#include <map>
#include <string>
#include <vector>

#include "platform/Object.h"
#include "platform/controls/Form.h"

namespace platform {

// Cursor ids of the library's standard cursors.
inline constexpr int crDefault = 0;
inline constexpr int crArrow = -2;
inline constexpr int crSizeNS = -7;
inline constexpr int crSizeWE = -9;
inline constexpr int crNoDrop = -12;
inline constexpr int crHandPoint = -21;

class TScreen : public TObject {
public:
    // Geometry and device facts; tests may change them.
    int Width = 1024;
    int Height = 768;
    int PixelsPerInch = 96;
    int BitsPerPixel = 32;
    int Planes = 1;
    int WidthMM = 271; // physical size, never 0
    int HeightMM = 203;

    int FormCount() const { return static_cast<int>(forms_.size()); }
    TForm* Forms(int index) const { return forms_.at(static_cast<size_t>(index)); }
    // The visible form on top, or null.
    TForm* ActiveForm() const;
    // Raises a form to the top of the z-order (stay-on-top forms stay above the others).
    void BringToFront(TForm* form);
    // The focused control of the active form, or null.
    TWinControl* ActiveControl() const;
    // Raised when the active form or the active control changes (forms tell the screen through
    // ActiveChanged whenever they are shown, hidden, freed or move their focus).
    std::function<void(TObject* sender)> OnActiveFormChange;
    std::function<void(TObject* sender)> OnActiveControlChange;
    void ActiveChanged();

    // Named cursor resources registered under an id ("RX_DRAGCUR" as 14001...); empty when none.
    void SetCursorResource(int id, const std::string& resourceName) { cursors_[id] = resourceName; }
    std::string CursorResource(int id) const;
    // The cursor the screen shows over everything (crDefault: each control's own).
    int Cursor = crDefault;

    // The fonts installed on the desktop (the names the font map knows).
    std::vector<std::string> Fonts = {"MS Sans Serif", "Arial",       "Tahoma",
                                      "System",        "Courier New", "Times New Roman"};

    gfx::TPoint CursorPos() const { return cursorPos_; }
    void SetCursorPos(gfx::TPoint p) { cursorPos_ = p; }

    // The screen's device context: a bitmap of the screen's size.
    gfx::Bitmap& Desktop();

    // The innermost windowed control under a screen point (forms topmost first), or null.
    TWinControl* WindowFromPoint(gfx::TPoint screen) const;
    // The visible, enabled control (windowed or not) under a screen point, or null.
    TControl* ControlAtPoint(gfx::TPoint screen) const;

    // Screen-level input.
    void MouseDown(gfx::TPoint screen, TMouseButton button = TMouseButton::mbLeft, TShiftState shift = 0);
    void MouseMove(gfx::TPoint screen, TShiftState shift = 0);
    void MouseUp(gfx::TPoint screen, TMouseButton button = TMouseButton::mbLeft, TShiftState shift = 0);

    // Forms register themselves.
    void AddForm(TForm* form);
    void RemoveForm(TForm* form);

private:
    TForm* InputForm(gfx::TPoint screen) const;
    std::vector<TForm*> forms_;
    // Last seen, for ActiveChanged; compared only, never followed.
    const void* lastActiveForm_ = nullptr;
    const void* lastActiveControl_ = nullptr;
    std::map<int, std::string> cursors_;
    gfx::TPoint cursorPos_;
    gfx::Bitmap desktop_;
    HWND foreground_ = 0;

public:
    // The window in the foreground (SetForegroundWindow brings a hidden window there too).
    HWND ForegroundWindow() const { return foreground_; }
    void SetForegroundWindow(HWND window) { foreground_ = window; }
};

extern TScreen* Screen;

// Screen position of a control's client point, and back.
gfx::TPoint ClientToScreen(const TControl* control, gfx::TPoint p);
gfx::TPoint ScreenToClient(const TControl* control, gfx::TPoint p);

// Mouse drag settings.
struct TMouse {
    bool DragImmediate = true;
    int DragThreshold = 5;
};
extern TMouse* Mouse;

} // namespace platform
