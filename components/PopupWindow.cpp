#include "components/PopupWindow.h"

namespace components {

using namespace platform;

TPopupWindow::TPopupWindow(TComponent* owner, const std::string& name) : TForm(owner, name) {
    BorderStyle = TFormBorderStyle::bsNone;
    FormStyle = TFormStyle::fsStayOnTop;
    BorderIcons = 0;
}

void TPopupWindow::Popup(int x, int y) {
    SetBounds(x, y, Width(), Height());
    Show();
}

void TPopupWindow::CloseUp(bool accept) {
    if (!Visible()) return;
    Hide();
    if (OnCloseUp) OnCloseUp(this, accept);
}

void TPopupWindow::KeyDown(uint16_t& key, TShiftState shift) {
    if (key == VK_ESCAPE || key == VK_RETURN) {
        CloseUp(key == VK_RETURN);
        key = 0;
        return;
    }
    TForm::KeyDown(key, shift);
}

} // namespace components
