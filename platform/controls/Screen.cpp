#include "platform/controls/Screen.h"

#include <algorithm>

namespace platform {

namespace {
TScreen theScreen;
TMouse theMouse;

gfx::TPoint FormOrigin(const TControl* control) {
    gfx::TPoint p;
    for (const TControl* c = control; c; c = c->Parent()) {
        p.X += c->Left();
        p.Y += c->Top();
    }
    return p;
}

TForm* TopLevelForm(const TControl* control) {
    const TControl* c = control;
    while (c && c->Parent())
        c = c->Parent();
    return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}
} // namespace

TScreen* Screen = &theScreen;
TMouse* Mouse = &theMouse;

gfx::TPoint ClientToScreen(const TControl* control, gfx::TPoint p) {
    gfx::TPoint o = FormOrigin(control);
    return {p.X + o.X, p.Y + o.Y};
}

gfx::TPoint ScreenToClient(const TControl* control, gfx::TPoint p) {
    gfx::TPoint o = FormOrigin(control);
    return {p.X - o.X, p.Y - o.Y};
}

void TScreen::AddForm(TForm* form) {
    forms_.push_back(form);
}

void TScreen::RemoveForm(TForm* form) {
    std::erase(forms_, form);
    ActiveChanged();
}

TWinControl* TScreen::ActiveControl() const {
    TForm* form = ActiveForm();
    return form ? form->ActiveControl() : nullptr;
}

void TScreen::ActiveChanged() {
    const void* form = ActiveForm();
    const void* control = ActiveControl();
    bool formChanged = form != lastActiveForm_;
    bool controlChanged = control != lastActiveControl_;
    lastActiveForm_ = form;
    lastActiveControl_ = control;
    if (controlChanged && OnActiveControlChange) OnActiveControlChange(this);
    if (formChanged && OnActiveFormChange) OnActiveFormChange(this);
}

TForm* TScreen::ActiveForm() const {
    for (auto it = forms_.rbegin(); it != forms_.rend(); ++it)
        if ((*it)->Visible()) return *it;
    return nullptr;
}

void TScreen::BringToFront(TForm* form) {
    auto it = std::find(forms_.begin(), forms_.end(), form);
    if (it == forms_.end()) return;
    forms_.erase(it);
    if (form->FormStyle == TFormStyle::fsStayOnTop) {
        forms_.push_back(form);
    } else {
        // Below every stay-on-top form.
        auto pos = std::find_if(forms_.begin(), forms_.end(),
                                [](TForm* f) { return f->FormStyle == TFormStyle::fsStayOnTop; });
        forms_.insert(pos, form);
    }
    ActiveChanged();
}

std::string TScreen::CursorResource(int id) const {
    auto it = cursors_.find(id);
    return it == cursors_.end() ? std::string() : it->second;
}

gfx::Bitmap& TScreen::Desktop() {
    if (desktop_.Width() != Width || desktop_.Height() != Height) desktop_.SetSize(Width, Height);
    return desktop_;
}

TControl* TScreen::ControlAtPoint(gfx::TPoint screen) const {
    for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) {
        TForm* f = *it;
        if (!f->Visible() || !f->BoundsRect().Contains(screen.X, screen.Y)) continue;
        TControl* hit = f;
        TWinControl* window = f;
        int x = screen.X - f->Left(), y = screen.Y - f->Top();
        while (window) {
            TControl* c = window->ControlAtPos(x, y);
            if (!c) break;
            hit = c;
            x -= c->Left();
            y -= c->Top();
            window = dynamic_cast<TWinControl*>(c);
        }
        return hit;
    }
    return nullptr;
}

TWinControl* TScreen::WindowFromPoint(gfx::TPoint screen) const {
    TControl* c = ControlAtPoint(screen);
    while (c && !dynamic_cast<TWinControl*>(c))
        c = c->Parent();
    return static_cast<TWinControl*>(c);
}

TForm* TScreen::InputForm(gfx::TPoint screen) const {
    if (TControl* captured = GetCaptureControl()) return TopLevelForm(captured);
    for (auto it = forms_.rbegin(); it != forms_.rend(); ++it)
        if ((*it)->Visible() && (*it)->BoundsRect().Contains(screen.X, screen.Y)) return *it;
    return nullptr;
}

void TScreen::MouseDown(gfx::TPoint screen, TMouseButton button, TShiftState shift) {
    cursorPos_ = screen;
    if (TForm* f = InputForm(screen))
        f->SimulateMouseDown(button, shift, screen.X - f->Left(), screen.Y - f->Top());
}

void TScreen::MouseMove(gfx::TPoint screen, TShiftState shift) {
    cursorPos_ = screen;
    if (TForm* f = InputForm(screen)) f->SimulateMouseMove(shift, screen.X - f->Left(), screen.Y - f->Top());
}

void TScreen::MouseUp(gfx::TPoint screen, TMouseButton button, TShiftState shift) {
    cursorPos_ = screen;
    if (TForm* f = InputForm(screen))
        f->SimulateMouseUp(button, shift, screen.X - f->Left(), screen.Y - f->Top());
}

} // namespace platform
