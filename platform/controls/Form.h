#pragma once
// The top-level window: it keeps the focused control and takes the input that tests (or a future
// window system) inject: mouse events in its client coordinates and keys. A form is hidden until
// Show; while hidden nothing is painted on its own, but PaintTo still renders it on demand.
//
// Mouse routing: the control under the point (ControlAtPos, recursively; disabled and invisible
// controls are skipped) receives the message in its own client coordinates. A button press captures
// the mouse for that control until every button is up; while captured, moves and releases go to it.
// A release over the control that captured it also clicks it (csClickEvents). CM_MOUSEENTER and
// CM_MOUSELEAVE follow the control under the mouse. The wheel goes to the focused control.
// Keys go to the focused control (or the form): Tab moves the focus to the next TabStop control unless
// the control asks for tabs (WM_GETDLGCODE), and so do the arrow keys unless it asks for arrows.
#include "platform/controls/WinControl.h"

namespace platform {

// Modal results.
inline constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
                     mrNo = 7;
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TFormStyle { fsNormal, fsStayOnTop };
enum class TPosition { poDesigned, poScreenCenter };
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow };
enum TBorderIconFlag : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TCloseEvent = std::function<void(TComponent*, TCloseAction&)>;

class TForm : public TCustomControl {
public:
    explicit TForm(TComponent* owner = nullptr, const std::string& name = {});
    ~TForm() override;

    void Show();
    void Hide();

    TWinControl* ActiveControl() const { return active_; }
    void SetActiveControl(TWinControl* control);
    // Moves the focus to the next (or previous) control with TabStop that can take it.
    void SelectNext(bool forward);

    // Injected input, in the form's client coordinates.
    void SimulateMouseDown(TMouseButton button, TShiftState shift, int x, int y);
    void SimulateMouseMove(TShiftState shift, int x, int y);
    void SimulateMouseUp(TMouseButton button, TShiftState shift, int x, int y);
    void SimulateClick(int x, int y, TMouseButton button = TMouseButton::mbLeft);
    // The mouse leaves the form: the control under it gets CM_MOUSELEAVE.
    void SimulateMouseExit();
    // One wheel event with `delta` (+120 per notch away from the user).
    void SimulateWheel(int delta, TShiftState shift = 0);
    void SimulateKeyDown(uint16_t key, TShiftState shift = 0);
    void SimulateKeyUp(uint16_t key, TShiftState shift = 0);
    void SimulateKey(uint16_t key, TShiftState shift = 0) {
        SimulateKeyDown(key, shift);
        SimulateKeyUp(key, shift);
    }

    // The picture of the form: a bitmap of its client size filled with its Color, with the window
    // painted into it (PaintTo).
    gfx::Bitmap GetFormImage();

    // The control the mouse is over (null outside the form).
    TControl* HoverControl() const { return hover_; }

    // Showing modally: ShowModal shows the form and runs the loop (a nested loop) until ModalResult is
    // set or the loop is terminated, then hides it and returns the result. Close on a modal form sets
    // mrCancel; otherwise OnClose chooses what happens (caHide by default; caFree frees the form from
    // the loop, after the message that closed it).
    int ShowModal();
    bool Modal() const { return modal_; }
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }
    void Close();
    // Frees the form once the loop gets to it.
    void Release();
    TCloseEvent OnClose;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;

    TFormStyle FormStyle = TFormStyle::fsNormal;
    TPosition Position = TPosition::poDesigned;
    TFormBorderStyle BorderStyle = TFormBorderStyle::bsSizeable;
    uint8_t BorderIcons = biSystemMenu | biMinimize | biMaximize;
    int PixelsPerInch = 96;
    bool Minimized = false;

protected:
    void WndProc(TMessage& message) override;

private:
    friend class TControl;
    friend class TWinControl;
    // Forgets a control that leaves the form or is freed.
    void ForgetControl(TControl* control);
    TControl* Target(int x, int y) const;
    void SendMouse(uint32_t msg, TControl* target, TShiftState shift, int x, int y);
    void TrackHover(int x, int y);
    gfx::TPoint ToClient(const TControl* control, int x, int y) const;
    TWinControl* KeyTarget();

    // Enter and Esc reach the default and cancel buttons first (CM_DIALOGKEY); true when one took it.
    bool DialogKey(uint16_t key);

    TWinControl* active_ = nullptr;
    TControl* hover_ = nullptr;
    bool modal_ = false;
    int modalResult_ = mrNone;
    TShiftState buttons_ = 0;
};

} // namespace platform
