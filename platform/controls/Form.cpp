#include "platform/controls/Form.h"

#include <vector>

#include "platform/controls/Application.h"
#include "platform/controls/Screen.h"

namespace platform {

namespace {
bool IsWithin(const TControl* control, const TControl* ancestor) {
    for (const TControl* c = control; c; c = c->Parent())
        if (c == ancestor) return true;
    return false;
}

void CollectTabStops(TWinControl* parent, std::vector<TWinControl*>& out) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
        auto* w = dynamic_cast<TWinControl*>(parent->Controls(i));
        if (!w) continue;
        if (w->TabStop() && w->CanFocus()) out.push_back(w);
        CollectTabStops(w, out);
    }
}

uint32_t DownMessage(TMouseButton b) {
    return b == TMouseButton::mbLeft    ? WM_LBUTTONDOWN
           : b == TMouseButton::mbRight ? WM_RBUTTONDOWN
                                        : WM_MBUTTONDOWN;
}
uint32_t UpMessage(TMouseButton b) {
    return b == TMouseButton::mbLeft    ? WM_LBUTTONUP
           : b == TMouseButton::mbRight ? WM_RBUTTONUP
                                        : WM_MBUTTONUP;
}
TShiftState ButtonFlag(TMouseButton b) {
    return b == TMouseButton::mbLeft ? ssLeft : b == TMouseButton::mbRight ? ssRight : ssMiddle;
}
} // namespace

TForm::TForm(TComponent* owner, const std::string& name) : TCustomControl(owner, name) {
    SetVisible(false);
    Screen->AddForm(this);
}

TForm::~TForm() {
    Screen->RemoveForm(this);
    active_ = nullptr;
    hover_ = nullptr;
}

void TForm::Show() {
    if (Position == TPosition::poScreenCenter && !Visible())
        SetBounds((Screen->Width - Width()) / 2, (Screen->Height - Height()) / 2, Width(), Height());
    bool wasVisible = Visible();
    SetVisible(true);
    Screen->BringToFront(this);
    if (!wasVisible && OnShow) OnShow(this);
}

void TForm::Hide() {
    if (!Visible()) return;
    SetVisible(false);
    Screen->ActiveChanged();
    if (OnHide) OnHide(this);
}

int TForm::ShowModal() {
    modalResult_ = mrNone;
    modal_ = true;
    Show();
    EventLoop& loop = EventLoop::Get();
    while (modalResult_ == mrNone && !loop.Terminated())
        loop.Turn(true);
    modal_ = false;
    Hide();
    int result = modalResult_;
    modalResult_ = mrNone;
    return result;
}

void TForm::Close() {
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
    TCloseAction action = TCloseAction::caHide;
    if (OnClose) OnClose(this, action);
    switch (action) {
    case TCloseAction::caHide:
        Hide();
        break;
    case TCloseAction::caFree:
        Hide();
        Release();
        break;
    case TCloseAction::caMinimize:
        Minimized = true;
        break;
    case TCloseAction::caNone:
        break;
    }
}

void TForm::Release() {
    PostMessage(Handle(), CM_RELEASE);
}

void TForm::WndProc(TMessage& message) {
    if (message.Msg == CM_RELEASE) {
        // Posted, so no handler of this form is running: the loop is the only caller.
        delete this;
        return;
    }
    TCustomControl::WndProc(message);
}

namespace {
bool BroadcastDialogKey(TWinControl* parent, uint16_t key) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Controls(i);
        if (!c->Visible() || !c->Enabled()) continue;
        if (c->Perform(CM_DIALOGKEY, key)) return true;
        if (auto* w = dynamic_cast<TWinControl*>(c); w && BroadcastDialogKey(w, key)) return true;
    }
    return false;
}
} // namespace

bool TForm::DialogKey(uint16_t key) {
    if (key != VK_RETURN && key != VK_ESCAPE) return false;
    return BroadcastDialogKey(this, key);
}

gfx::Bitmap TForm::GetFormImage() {
    gfx::Bitmap image(ClientWidth(), ClientHeight());
    gfx::Canvas& canvas = image.GetCanvas();
    canvas.Brush.Color = Color();
    canvas.Brush.Style = gfx::bsSolid;
    canvas.FillRect(ClientRect());
    PaintTo(image);
    return image;
}

void TForm::SetActiveControl(TWinControl* control) {
    if (control == active_) return;
    if (control && control != this && !IsWithin(control, this)) return;
    TWinControl* old = active_;
    active_ = control;
    if (old) {
        old->Perform(CM_EXIT);
        old->Perform(WM_KILLFOCUS);
    }
    if (control && active_ == control) {
        control->Perform(CM_ENTER);
        control->Perform(WM_SETFOCUS);
    }
    Screen->ActiveChanged();
}

void TForm::SelectNext(bool forward) {
    std::vector<TWinControl*> stops;
    CollectTabStops(this, stops);
    if (stops.empty()) return;
    auto it = std::find(stops.begin(), stops.end(), active_);
    size_t n = stops.size();
    size_t next;
    if (it == stops.end())
        next = forward ? 0 : n - 1;
    else {
        size_t i = static_cast<size_t>(it - stops.begin());
        next = forward ? (i + 1) % n : (i + n - 1) % n;
    }
    stops[next]->SetFocus();
}

void TForm::ForgetControl(TControl* control) {
    bool wasActive = active_ && IsWithin(active_, control);
    if (wasActive) active_ = nullptr;
    if (hover_ && IsWithin(hover_, control)) hover_ = nullptr;
    if (wasActive) Screen->ActiveChanged();
}

TControl* TForm::Target(int x, int y) const {
    TWinControl* window = const_cast<TForm*>(this);
    int lx = x, ly = y;
    for (;;) {
        TControl* c = window->ControlAtPos(lx, ly);
        if (!c) return window;
        lx -= c->Left();
        ly -= c->Top();
        auto* w = dynamic_cast<TWinControl*>(c);
        if (!w) return c;
        window = w;
    }
}

gfx::TPoint TForm::ToClient(const TControl* control, int x, int y) const {
    for (const TControl* c = control; c && c != this; c = c->Parent()) {
        x -= c->Left();
        y -= c->Top();
    }
    return {x, y};
}

void TForm::SendMouse(uint32_t msg, TControl* target, TShiftState shift, int x, int y) {
    gfx::TPoint p = ToClient(target, x, y);
    target->Perform(msg, KeysFromShift(shift | buttons_), MakePointParam(p.X, p.Y));
}

void TForm::TrackHover(int x, int y) {
    TControl* now = ClientRect().Contains(x, y) ? Target(x, y) : nullptr;
    if (now == hover_) return;
    TControl* old = hover_;
    hover_ = now;
    if (old) old->Perform(CM_MOUSELEAVE);
    if (now && hover_ == now) now->Perform(CM_MOUSEENTER);
}

void TForm::SimulateMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TrackHover(x, y);
    TControl* target = GetCaptureControl() ? GetCaptureControl() : Target(x, y);
    if (!target) return;
    buttons_ |= ButtonFlag(button);
    if (!GetCaptureControl() && (target->ControlStyle() & csCaptureMouse)) SetCaptureControl(target);
    SendMouse(DownMessage(button), target, shift, x, y);
}

void TForm::SimulateMouseMove(TShiftState shift, int x, int y) {
    TrackHover(x, y);
    TControl* target = GetCaptureControl() ? GetCaptureControl() : Target(x, y);
    if (target) SendMouse(WM_MOUSEMOVE, target, shift, x, y);
}

void TForm::SimulateMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TControl* target = GetCaptureControl() ? GetCaptureControl() : Target(x, y);
    buttons_ &= static_cast<TShiftState>(~ButtonFlag(button));
    if (!buttons_) SetCaptureControl(nullptr);
    if (target) SendMouse(UpMessage(button), target, shift, x, y);
    TrackHover(x, y);
}

void TForm::SimulateClick(int x, int y, TMouseButton button) {
    SimulateMouseMove(0, x, y);
    SimulateMouseDown(button, 0, x, y);
    SimulateMouseUp(button, 0, x, y);
}

void TForm::SimulateMouseExit() {
    TControl* old = hover_;
    hover_ = nullptr;
    if (old) old->Perform(CM_MOUSELEAVE);
}

void TForm::SimulateWheel(int delta, TShiftState shift) {
    TWinControl* target = KeyTarget();
    WPARAM wParam = (static_cast<WPARAM>(static_cast<uint16_t>(static_cast<int16_t>(delta))) << 16) |
                    KeysFromShift(shift);
    target->Perform(WM_MOUSEWHEEL, wParam, 0);
}

TWinControl* TForm::KeyTarget() {
    return active_ ? active_ : this;
}

void TForm::SimulateKeyDown(uint16_t key, TShiftState shift) {
    if (Application->IsShortCut(key, shift)) return;
    TWinControl* target = KeyTarget();
    if (DialogKey(key)) return;
    intptr_t code = target->Perform(WM_GETDLGCODE);
    if (key == VK_TAB && !(code & (DLGC_WANTTAB | DLGC_WANTALLKEYS))) {
        SelectNext(!(shift & ssShift));
        return;
    }
    bool arrow = key >= VK_LEFT && key <= VK_DOWN;
    if (arrow && target != this && !(code & (DLGC_WANTARROWS | DLGC_WANTALLKEYS))) {
        SelectNext(key == VK_RIGHT || key == VK_DOWN);
        return;
    }
    target->Perform(WM_KEYDOWN, key, shift);
}

void TForm::SimulateKeyUp(uint16_t key, TShiftState shift) {
    KeyTarget()->Perform(WM_KEYUP, key, shift);
}

} // namespace platform
