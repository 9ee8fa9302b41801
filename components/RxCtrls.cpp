#include "components/RxCtrls.h"

#include <algorithm>

#include "platform/controls/Screen.h"
#include "platform/graphics/DrawText.h"

namespace components {

using namespace platform;
using namespace platform::widgets;
using gfx::TPoint;
using gfx::TRect;

// ---- glyph painter ----

void TRxButtonGlyph::SetGlyph(const gfx::Bitmap& glyph) {
    glyph_.Assign(glyph);
    Invalidate();
}

void TRxButtonGlyph::SetNumGlyphs(int n) {
    n = std::clamp(n, 1, 4);
    if (n == numGlyphs_) return;
    numGlyphs_ = n;
    Invalidate();
}

const gfx::Bitmap& TRxButtonGlyph::StatePicture(TRxButtonState state) {
    if (!cache_) cache_ = std::make_unique<Cache>();
    int s = static_cast<int>(state);
    if (cache_->made[s]) return cache_->pictures[s];
    cache_->made[s] = true;
    gfx::Bitmap& out = cache_->pictures[s];
    int w = glyph_.Width() / numGlyphs_, h = glyph_.Height();
    if (w == 0 || h == 0) return out;
    // Cells: up, disabled, down, exclusive; a missing cell falls back to the up picture, except the
    // disabled one, which is made from it.
    int cell = state == TRxButtonState::rbsInactive ? 0 : s;
    if (cell >= numGlyphs_) cell = 0;
    AssignBitmapCell(glyph_, out, numGlyphs_, 1, cell);
    if (state == TRxButtonState::rbsDisabled && numGlyphs_ < 2) {
        auto disabled = CreateDisabledBitmapEx(out, gfx::clBtnShadow, gfx::clBtnFace, gfx::clBtnHighlight,
                                               gfx::clBtnShadow, true);
        out.Assign(*disabled);
        out.Transparent = true;
        out.SetTransparentColor(gfx::clBtnFace);
        return out;
    }
    out.Transparent = true;
    out.TransparentMode = gfx::tmAuto;
    return out;
}

TRxButtonGlyph::Layout TRxButtonGlyph::CalcLayout(gfx::Canvas& canvas, const TRect& client,
                                                  const std::string& caption, TButtonLayout layout,
                                                  int margin, int spacing, TPoint glyphSize,
                                                  bool popupMark) const {
    Layout result;
    TPoint textSize{0, 0};
    TRect textRect{0, 0, client.Width(), 0};
    if (!caption.empty()) {
        unsigned flags = gfx::DT_CALCRECT | (WordWrap ? gfx::DT_WORDBREAK : gfx::DT_SINGLELINE);
        gfx::DrawText(canvas, caption, textRect, flags);
        textSize = {textRect.Width(), textRect.Height()};
    }
    if (popupMark) textSize.X += 9;
    TPoint size{client.Width(), client.Height()};
    bool horizontal = layout == TButtonLayout::blGlyphLeft || layout == TButtonLayout::blGlyphRight;
    TPoint glyphPos, textPos;
    if (horizontal) {
        glyphPos.Y = (size.Y - glyphSize.Y + 1) / 2;
        textPos.Y = (size.Y - textSize.Y + 1) / 2;
    } else {
        glyphPos.X = (size.X - glyphSize.X + 1) / 2;
        textPos.X = (size.X - textSize.X + 1) / 2;
    }
    if (textSize.X == 0 || glyphSize.X == 0) spacing = 0;
    int along = horizontal ? size.X : size.Y;
    int glyphAlong = horizontal ? glyphSize.X : glyphSize.Y;
    int textAlong = horizontal ? textSize.X : textSize.Y;
    if (margin == -1) {
        if (spacing == -1) {
            margin = (along - (glyphAlong + textAlong)) / 3;
            spacing = margin;
        } else {
            margin = (along - (glyphAlong + spacing + textAlong) + 1) / 2;
        }
    } else if (spacing == -1) {
        spacing = (along - (margin + glyphAlong) - textAlong) / 2;
    }
    switch (layout) {
    case TButtonLayout::blGlyphLeft:
        glyphPos.X = margin;
        textPos.X = glyphPos.X + glyphSize.X + spacing;
        break;
    case TButtonLayout::blGlyphRight:
        glyphPos.X = size.X - margin - glyphSize.X;
        textPos.X = glyphPos.X - spacing - textSize.X;
        break;
    case TButtonLayout::blGlyphTop:
        glyphPos.Y = margin;
        textPos.Y = glyphPos.Y + glyphSize.Y + spacing;
        break;
    case TButtonLayout::blGlyphBottom:
        glyphPos.Y = size.Y - margin - glyphSize.Y;
        textPos.Y = glyphPos.Y - spacing - textSize.Y;
        break;
    }
    result.glyphPos = {glyphPos.X + client.Left, glyphPos.Y + client.Top};
    result.textBounds = {textPos.X + client.Left, textPos.Y + client.Top,
                         textPos.X + client.Left + textSize.X, textPos.Y + client.Top + textSize.Y};
    return result;
}

TRect TRxButtonGlyph::DrawEx(gfx::Canvas& canvas, const TRect& rect, const std::string& caption,
                             TButtonLayout layout, int margin, int spacing, bool popupMark,
                             const TImageList* images, int imageIndex, TRxButtonState state, unsigned flags) {
    bool useImages = images && imageIndex >= 0 && imageIndex < images->Count();
    TPoint glyphSize = useImages ? TPoint{images->Width(), images->Height()}
                                 : TPoint{glyph_.Width() / numGlyphs_, glyph_.Height()};
    Layout l = CalcLayout(canvas, rect, caption, layout, margin, spacing, glyphSize, popupMark);
    bool grayed = state == TRxButtonState::rbsDisabled ||
                  (state == TRxButtonState::rbsInactive && (flags & kDrawGrayed));
    if (useImages) {
        if (grayed)
            ImageListDrawDisabled(*images, canvas, l.glyphPos.X, l.glyphPos.Y, imageIndex,
                                  gfx::clBtnHighlight, gfx::clBtnShadow, true);
        else
            images->Draw(canvas, l.glyphPos.X, l.glyphPos.Y, imageIndex);
    } else if (!glyph_.Empty()) {
        TRxButtonState picture = grayed ? TRxButtonState::rbsDisabled : state;
        canvas.Draw(l.glyphPos.X, l.glyphPos.Y, StatePicture(picture));
    }
    TRect text = l.textBounds;
    if (popupMark) text.Right -= 9;
    if (!caption.empty()) {
        gfx::TBrushStyle saved = canvas.Brush.Style;
        canvas.Brush.Style = gfx::bsClear;
        unsigned dt = (WordWrap ? gfx::DT_WORDBREAK : gfx::DT_SINGLELINE | gfx::DT_VCENTER) |
                      (Alignment == TAlignment::taLeftJustify    ? gfx::DT_LEFT
                       : Alignment == TAlignment::taRightJustify ? gfx::DT_RIGHT
                                                                 : gfx::DT_CENTER);
        if (flags & kDrawRightToLeft) dt |= gfx::DT_RTLREADING;
        gfx::TColor color = canvas.Font.Color();
        if (state == TRxButtonState::rbsDisabled) {
            TRect shifted = text.Offset(1, 1);
            canvas.Font.SetColor(gfx::clBtnHighlight);
            gfx::DrawText(canvas, caption, shifted, dt);
            canvas.Font.SetColor(gfx::clBtnShadow);
        }
        TRect drawn = text;
        gfx::DrawText(canvas, caption, drawn, dt);
        canvas.Font.SetColor(color);
        canvas.Brush.Style = saved;
    }
    if (popupMark) {
        // A small down-pointing triangle right of the caption.
        int x = l.textBounds.Right - 7, y = (l.textBounds.Top + l.textBounds.Bottom) / 2 - 1;
        canvas.Pen.Color = state == TRxButtonState::rbsDisabled ? gfx::clBtnShadow : gfx::clBtnText;
        canvas.Pen.Width = 1;
        for (int i = 0; i < 3; ++i) {
            canvas.MoveTo(x + i, y + i);
            canvas.LineTo(x + 5 - i, y + i);
        }
    }
    return text;
}

// ---- button picture ----

TButtonImage::TButtonImage() {
    glyph_.Alignment = TAlignment::taCenter;
}

void TButtonImage::DrawEx(gfx::Canvas& canvas, int x, int y, int margin, int spacing, TButtonLayout layout,
                          const gfx::TFont& font, const TImageList* images, int imageIndex, unsigned flags) {
    TRect r{x, y, x + ButtonSize.X, y + ButtonSize.Y};
    canvas.Brush.Color = gfx::clBtnFace;
    canvas.Brush.Style = gfx::bsSolid;
    canvas.FillRect(r);
    TRect face = r;
    canvas.Frame3D(face, gfx::clBtnHighlight, gfx::clBtnShadow, 1);
    canvas.Font = font;
    glyph_.DrawEx(canvas, face, Caption, layout, margin, spacing, false, images, imageIndex,
                  TRxButtonState::rbsUp, flags);
}

// ---- speed button ----

TRxSpeedButton::TRxSpeedButton(TComponent* owner, const std::string& name) : TGraphicControl(owner, name) {
    // The button clicks itself on release (after its group state changed), not the control layer.
    SetControlStyle((ControlStyle() & ~static_cast<uint32_t>(csClickEvents)) | csCaptureMouse |
                    csDoubleClicks);
    SetBounds(0, 0, 25, 25);
    RegisterRxCursors();
}

TRxSpeedButton::~TRxSpeedButton() {
    StopRepeat();
    SetDropDownMenu(nullptr);
}

void TRxSpeedButton::SetStyle(TButtonStyle v) {
    if (v == style_) return;
    style_ = v;
    Invalidate();
}
void TRxSpeedButton::SetFlat(bool v) {
    if (v == flat_) return;
    flat_ = v;
    Invalidate();
}
void TRxSpeedButton::SetTransparent(bool v) {
    if (v == transparent_) return;
    transparent_ = v;
    SetControlStyle(v ? ControlStyle() & ~static_cast<uint32_t>(csOpaque) : ControlStyle() | csOpaque);
    Invalidate();
}
void TRxSpeedButton::SetInactiveGrayed(bool v) {
    if (v == inactiveGrayed_) return;
    inactiveGrayed_ = v;
    Invalidate();
}
void TRxSpeedButton::SetAllowAllUp(bool v) {
    if (v == allowAllUp_) return;
    allowAllUp_ = v;
    UpdateExclusive();
}
void TRxSpeedButton::SetAllowTimer(bool v) {
    allowTimer_ = v;
    if (!v) StopRepeat();
}
void TRxSpeedButton::SetGroupIndex(int v) {
    if (v == groupIndex_) return;
    groupIndex_ = v;
    UpdateExclusive();
}

void TRxSpeedButton::SetDown(bool v) {
    if (groupIndex_ == 0) v = false;
    if (v == down_) return;
    if (down_ && !allowAllUp_) return; // the last button down of a group stays down
    down_ = v;
    if (v) {
        state_ = TRxButtonState::rbsExclusive;
    } else {
        state_ = TRxButtonState::rbsUp;
    }
    Invalidate();
    if (v) UpdateExclusive();
}

void TRxSpeedButton::UpdateExclusive() {
    if (groupIndex_ == 0 || !Parent()) return;
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
        auto* other = dynamic_cast<TRxSpeedButton*>(Parent()->Controls(i));
        if (!other || other == this || other->groupIndex_ != groupIndex_) continue;
        if (down_ && other->down_) {
            other->down_ = false;
            other->state_ = TRxButtonState::rbsUp;
            other->Invalidate();
        }
        other->allowAllUp_ = allowAllUp_;
    }
}

void TRxSpeedButton::SetGlyph(const gfx::Bitmap& glyph) {
    glyph_.SetGlyph(glyph);
    // A glyph whose width is a whole multiple of its height holds that many cells.
    if (glyph.Height() > 0 && glyph.Width() % glyph.Height() == 0) {
        int n = glyph.Width() / glyph.Height();
        if (n >= 1 && n <= 4) glyph_.SetNumGlyphs(n);
    }
    Invalidate();
}
void TRxSpeedButton::SetNumGlyphs(int n) {
    glyph_.SetNumGlyphs(n);
    Invalidate();
}
void TRxSpeedButton::SetLayout(TButtonLayout v) {
    if (v == layout_) return;
    layout_ = v;
    Invalidate();
}
void TRxSpeedButton::SetMargin(int v) {
    if (v == margin_ || v < -1) return;
    margin_ = v;
    Invalidate();
}
void TRxSpeedButton::SetSpacing(int v) {
    if (v == spacing_) return;
    spacing_ = v;
    Invalidate();
}
void TRxSpeedButton::SetWordWrap(bool v) {
    glyph_.WordWrap = v;
    Invalidate();
}
void TRxSpeedButton::SetAlignment(TAlignment v) {
    glyph_.Alignment = v;
    Invalidate();
}

void TRxSpeedButton::SetDropDownMenu(TPopupMenu* menu) {
    if (menu == dropDownMenu_) return;
    if (dropDownMenu_) RemoveFreeNotification(dropDownMenu_);
    dropDownMenu_ = menu;
    if (menu) FreeNotification(menu);
    Invalidate();
}

void TRxSpeedButton::SetMarkDropDown(bool v) {
    if (v == markDropDown_) return;
    markDropDown_ = v;
    Invalidate();
}

void TRxSpeedButton::Notification(TComponent* component, TOperation operation) {
    TGraphicControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == dropDownMenu_) {
        dropDownMenu_ = nullptr;
        Invalidate();
    }
}

void TRxSpeedButton::ButtonClick() {
    if (!Enabled() || !Visible()) return;
    if (CheckBtnMenuDropDown()) return;
    if (groupIndex_ != 0) SetDown(!down_ || !allowAllUp_ ? true : false);
    Click();
}

bool TRxSpeedButton::CheckBtnMenuDropDown() {
    if (!dropDownMenu_) return false;
    TPoint p = ClientToScreen(this, {0, Height()});
    dropDownMenu_->PopupComponent = this;
    dropDownMenu_->Popup(p.X, p.Y);
    return true;
}

void TRxSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TGraphicControl::MouseDown(button, shift, x, y);
    if (button != TMouseButton::mbLeft || !Enabled()) return;
    if (!down_) {
        state_ = TRxButtonState::rbsDown;
        Repaint();
    }
    if (dropDownMenu_) {
        // The menu shows while the button is pressed; the press ends with it.
        CheckBtnMenuDropDown();
        state_ = down_ ? TRxButtonState::rbsExclusive : TRxButtonState::rbsUp;
        Invalidate();
        return;
    }
    dragging_ = true;
    if (allowTimer_) {
        if (!repeatTimer_) {
            repeatTimer_ = std::make_unique<TTimer>();
            repeatTimer_->OnTimer = [this](TTimer*) { RepeatTick(); };
        }
        repeatTimer_->SetEnabled(false);
        repeatTimer_->SetInterval(RepeatDelay);
        repeatTimer_->SetEnabled(true);
    }
}

void TRxSpeedButton::RepeatTick() {
    repeatTimer_->SetInterval(RepeatInterval);
    if (state_ == TRxButtonState::rbsDown && dragging_) Click();
}

void TRxSpeedButton::StopRepeat() {
    if (repeatTimer_) repeatTimer_->SetEnabled(false);
}

void TRxSpeedButton::MouseMove(TShiftState shift, int x, int y) {
    TGraphicControl::MouseMove(shift, x, y);
    if (!dragging_) return;
    TRxButtonState newState = ClientRect().Contains(x, y)
                                  ? (down_ ? TRxButtonState::rbsExclusive : TRxButtonState::rbsDown)
                                  : (down_ ? TRxButtonState::rbsExclusive : TRxButtonState::rbsUp);
    if (newState != state_) {
        state_ = newState;
        Invalidate();
    }
}

void TRxSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    bool wasDragging = dragging_ && button == TMouseButton::mbLeft;
    if (wasDragging) {
        dragging_ = false;
        StopRepeat();
        bool inside = ClientRect().Contains(x, y);
        if (groupIndex_ == 0) {
            state_ = TRxButtonState::rbsUp;
            Invalidate();
        } else if (inside) {
            if (!down_)
                SetDown(true);
            else if (allowAllUp_)
                SetDown(false);
            else
                state_ = TRxButtonState::rbsExclusive;
            Invalidate();
        } else {
            state_ = down_ ? TRxButtonState::rbsExclusive : TRxButtonState::rbsUp;
            Invalidate();
        }
        if (inside) Click();
    }
    TGraphicControl::MouseUp(button, shift, x, y);
}

void TRxSpeedButton::MouseEnter() {
    TGraphicControl::MouseEnter();
    mouseInControl_ = true;
    if (flat_ || inactiveGrayed_) Invalidate();
}

void TRxSpeedButton::MouseLeave() {
    TGraphicControl::MouseLeave();
    mouseInControl_ = false;
    if (flat_ || inactiveGrayed_) Invalidate();
}

void TRxSpeedButton::VisibleChanged() {
    TGraphicControl::VisibleChanged();
    if (!Visible()) {
        dragging_ = false;
        StopRepeat();
        mouseInControl_ = false;
        state_ = down_ ? TRxButtonState::rbsExclusive : TRxButtonState::rbsUp;
    }
}

void TRxSpeedButton::EnabledChanged() {
    if (!Enabled()) {
        dragging_ = false;
        StopRepeat();
    }
    state_ = !Enabled() ? TRxButtonState::rbsDisabled
             : down_    ? TRxButtonState::rbsExclusive
                        : TRxButtonState::rbsUp;
    TGraphicControl::EnabledChanged();
}

void TRxSpeedButton::PaintGlyph(gfx::Canvas& canvas, const TRect& rect, TRxButtonState state, bool drawMark) {
    unsigned flags = (flat_ ? kDrawFlat : 0) | (inactiveGrayed_ ? kDrawGrayed : 0);
    glyph_.DrawEx(canvas, rect, Caption(), layout_, margin_, spacing_, drawMark, nullptr, -1, state, flags);
}

void TRxSpeedButton::Paint() {
    gfx::Canvas& c = Canvas();
    TRect r = ClientRect();
    TRxButtonState state = state_;
    if (!Enabled())
        state = TRxButtonState::rbsDisabled;
    else if (state == TRxButtonState::rbsUp && flat_ && inactiveGrayed_ && !mouseInControl_)
        state = TRxButtonState::rbsInactive;
    if (!transparent_) {
        c.Brush.Color = state == TRxButtonState::rbsExclusive && !flat_ ? gfx::clBtnHighlight : Color();
        c.Brush.Style = gfx::bsSolid;
        c.FillRect(r);
    }
    bool pressed = state == TRxButtonState::rbsDown || state == TRxButtonState::rbsExclusive;
    if (!flat_) {
        if (pressed)
            c.Frame3D(r, gfx::clBtnShadow, gfx::clBtnHighlight, 1);
        else
            c.Frame3D(r, gfx::clBtnHighlight, gfx::clBtnShadow, 1);
    } else if (pressed) {
        c.Frame3D(r, gfx::clBtnShadow, gfx::clBtnHighlight, 1);
    } else if (mouseInControl_ && Enabled()) {
        c.Frame3D(r, gfx::clBtnHighlight, gfx::clBtnShadow, 1);
    } else {
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
    if (pressed) r = r.Offset(1, 1);
    c.Font = Font();
    PaintGlyph(c, r, state, dropDownMenu_ && markDropDown_);
}

} // namespace components
