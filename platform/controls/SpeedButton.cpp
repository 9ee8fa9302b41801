#include "platform/controls/SpeedButton.h"

#include "platform/graphics/Canvas.h"

namespace platform {

TSpeedButton::TSpeedButton(TComponent* owner, const std::string& name) : TGraphicControl(owner, name) {
    SetBounds(0, 0, 23, 22);
}

void TSpeedButton::SetGlyph(const gfx::Bitmap& glyph) {
    glyph_.Assign(glyph);
    Invalidate();
}

void TSpeedButton::SetNumGlyphs(int n) {
    if (n < 1 || n > 4 || n == numGlyphs_) return;
    numGlyphs_ = n;
    Invalidate();
}

TButtonState TSpeedButton::State() const {
    if (!Enabled()) return TButtonState::bsDisabled;
    return down_ ? TButtonState::bsDown : TButtonState::bsUp;
}

gfx::Bitmap TSpeedButton::CurrentImage() const {
    if (glyph_.Empty()) return {};
    int index = 0;
    TButtonState state = State();
    if (state == TButtonState::bsDisabled && numGlyphs_ > 1) index = 1;
    if (state == TButtonState::bsDown && numGlyphs_ > 2) index = 2;
    int w = glyph_.Width() / numGlyphs_, h = glyph_.Height();
    gfx::Bitmap image(w, h);
    image.GetCanvas().CopyRectFrom({0, 0, w, h}, glyph_, {index * w, 0, index * w + w, h});
    image.Transparent = true;
    image.SetTransparentColor(glyph_.GetPixel(0, h - 1));
    return image;
}

void TSpeedButton::Paint() {
    gfx::Canvas& canvas = Canvas();
    gfx::TRect face = ClientRect();
    canvas.Pen.Style = gfx::psClear;
    canvas.Brush.Style = gfx::bsSolid;
    canvas.Brush.Color = Color();
    canvas.FillRect(face);
    canvas.Pen.Style = gfx::psSolid;
    if (down_)
        canvas.Frame3D(face, gfx::clBtnShadow, gfx::clBtnHighlight, 1);
    else
        canvas.Frame3D(face, gfx::clBtnHighlight, gfx::clBtnShadow, 1);
    gfx::Bitmap image = CurrentImage();
    if (image.Empty()) return;
    int shift = down_ ? 1 : 0;
    canvas.Draw((Width() - image.Width()) / 2 + shift, (Height() - image.Height()) / 2 + shift, image);
}

void TSpeedButton::SetDown(bool down) {
    if (down == down_) return;
    down_ = down;
    Invalidate();
}

void TSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TGraphicControl::MouseDown(button, shift, x, y);
    if (button != TMouseButton::mbLeft || !Enabled()) return;
    held_ = true;
    SetDown(true);
}

void TSpeedButton::MouseMove(TShiftState shift, int x, int y) {
    TGraphicControl::MouseMove(shift, x, y);
    if (held_) SetDown(ClientRect().Contains(x, y));
}

void TSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TGraphicControl::MouseUp(button, shift, x, y);
    if (button != TMouseButton::mbLeft) return;
    held_ = false;
    SetDown(false);
}

} // namespace platform
