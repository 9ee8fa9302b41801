#include "platform/controls/StdCtrls.h"

#include <algorithm>

namespace platform::widgets {

using gfx::TRect;

void DrawBevel(gfx::Canvas& canvas, TRect& rect, TBevelCut cut, int width) {
    if (cut == TBevelCut::bvNone) return;
    gfx::TColor top = cut == TBevelCut::bvRaised ? gfx::clBtnHighlight : gfx::clBtnShadow;
    gfx::TColor bottom = cut == TBevelCut::bvRaised ? gfx::clBtnShadow : gfx::clBtnHighlight;
    if (cut == TBevelCut::bvSpace) top = bottom = gfx::clBtnFace;
    canvas.Frame3D(rect, top, bottom, width);
}

// ---- panel ----

TCustomPanel::TCustomPanel(TComponent* owner, const std::string& name) : TCustomControl(owner, name) {
    SetControlStyle(ControlStyle() | csAcceptsControls | csOpaque);
    SetBounds(0, 0, 185, 41);
}

void TCustomPanel::SetBevelOuter(TBevelCut v) {
    if (v == bevelOuter_) return;
    bevelOuter_ = v;
    AlignControls();
    Invalidate();
}
void TCustomPanel::SetBevelInner(TBevelCut v) {
    if (v == bevelInner_) return;
    bevelInner_ = v;
    AlignControls();
    Invalidate();
}
void TCustomPanel::SetBevelWidth(int v) {
    if (v == bevelWidth_ || v < 1) return;
    bevelWidth_ = v;
    AlignControls();
    Invalidate();
}
void TCustomPanel::SetBorderWidth(int v) {
    if (v == borderWidth_ || v < 0) return;
    borderWidth_ = v;
    AlignControls();
    Invalidate();
}
void TCustomPanel::SetBorderStyle(TBorderStyle v) {
    if (v == borderStyle_) return;
    borderStyle_ = v;
    Invalidate();
}
void TCustomPanel::SetAlignment(TAlignment v) {
    if (v == alignment_) return;
    alignment_ = v;
    Invalidate();
}

TRect TCustomPanel::InnerRect() const {
    TRect r = ClientRect();
    int inset = borderWidth_;
    if (bevelOuter_ != TBevelCut::bvNone) inset += bevelWidth_;
    if (bevelInner_ != TBevelCut::bvNone) inset += bevelWidth_;
    return {r.Left + inset, r.Top + inset, r.Right - inset, r.Bottom - inset};
}

void TCustomPanel::Paint() {
    gfx::Canvas& c = Canvas();
    TRect r = ClientRect();
    DrawBevel(c, r, bevelOuter_, bevelWidth_);
    if (borderWidth_ > 0) {
        c.Brush.Color = Color();
        c.Brush.Style = gfx::bsSolid;
        for (int i = 0; i < borderWidth_; ++i) {
            c.FrameRect(r);
            r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
        }
    }
    DrawBevel(c, r, bevelInner_, bevelWidth_);
    c.Brush.Color = Color();
    c.Brush.Style = gfx::bsSolid;
    c.FillRect(r);
    if (!Caption().empty()) {
        c.Font = Font();
        c.Brush.Style = gfx::bsClear;
        unsigned flags = gfx::DT_SINGLELINE | gfx::DT_VCENTER |
                         (alignment_ == TAlignment::taCenter         ? gfx::DT_CENTER
                          : alignment_ == TAlignment::taRightJustify ? gfx::DT_RIGHT
                                                                     : gfx::DT_LEFT);
        gfx::DrawText(c, Caption(), r, flags);
    }
}

// ---- bevel ----

TBevel::TBevel(TComponent* owner, const std::string& name) : TGraphicControl(owner, name) {
    SetBounds(0, 0, 50, 50);
}

void TBevel::Paint() {
    gfx::Canvas& c = Canvas();
    gfx::TColor first = Style == TBevelStyle::bsLowered ? gfx::clBtnShadow : gfx::clBtnHighlight;
    gfx::TColor second = Style == TBevelStyle::bsLowered ? gfx::clBtnHighlight : gfx::clBtnShadow;
    int w = Width(), h = Height();
    auto line = [&](gfx::TColor color, int x0, int y0, int x1, int y1) {
        c.Pen.Color = color;
        c.Pen.Width = 1;
        c.MoveTo(x0, y0);
        c.LineTo(x1, y1);
    };
    switch (Shape) {
    case TBevelShape::bsBox: {
        TRect r = ClientRect();
        c.Frame3D(r, first, second, 1);
        break;
    }
    case TBevelShape::bsFrame: {
        c.Brush.Style = gfx::bsClear;
        c.Pen.Color = first;
        c.Rectangle(0, 0, w - 1, h - 1);
        c.Pen.Color = second;
        c.Rectangle(1, 1, w, h);
        break;
    }
    case TBevelShape::bsTopLine:
        line(first, 0, 0, w, 0);
        line(second, 0, 1, w, 1);
        break;
    case TBevelShape::bsBottomLine:
        line(first, 0, h - 2, w, h - 2);
        line(second, 0, h - 1, w, h - 1);
        break;
    case TBevelShape::bsLeftLine:
        line(first, 0, 0, 0, h);
        line(second, 1, 0, 1, h);
        break;
    case TBevelShape::bsRightLine:
        line(first, w - 2, 0, w - 2, h);
        line(second, w - 1, 0, w - 1, h);
        break;
    case TBevelShape::bsSpacer:
        break;
    }
}

// ---- label ----

TCustomLabel::TCustomLabel(TComponent* owner, const std::string& name) : TGraphicControl(owner, name) {
    SetBounds(0, 0, 65, 17);
}

void TCustomLabel::SetAlignment(TAlignment v) {
    if (v == alignment_) return;
    alignment_ = v;
    Invalidate();
}
void TCustomLabel::SetLayout(TTextLayout v) {
    if (v == layout_) return;
    layout_ = v;
    Invalidate();
}
void TCustomLabel::SetWordWrap(bool v) {
    if (v == wordWrap_) return;
    wordWrap_ = v;
    AdjustBounds();
    Invalidate();
}
void TCustomLabel::SetAutoSize(bool v) {
    if (v == autoSize_) return;
    autoSize_ = v;
    AdjustBounds();
}
void TCustomLabel::SetTransparent(bool v) {
    if (v == transparent_) return;
    transparent_ = v;
    Invalidate();
}

void TCustomLabel::FontChanged() {
    TGraphicControl::FontChanged();
    AdjustBounds();
}

unsigned TCustomLabel::TextFlags() const {
    unsigned flags = alignment_ == TAlignment::taCenter         ? gfx::DT_CENTER
                     : alignment_ == TAlignment::taRightJustify ? gfx::DT_RIGHT
                                                                : gfx::DT_LEFT;
    if (wordWrap_) flags |= gfx::DT_WORDBREAK;
    if (!ShowAccelChar) flags |= gfx::DT_NOPREFIX;
    return flags | gfx::DT_EXPANDTABS;
}

void TCustomLabel::DoDrawText(TRect& rect, unsigned flags) {
    gfx::Canvas& c = Canvas();
    c.Font = Font();
    c.Brush.Style = gfx::bsClear;
    if (!Enabled()) c.Font.SetColor(gfx::clGrayText);
    gfx::DrawText(c, Caption().empty() && (flags & gfx::DT_CALCRECT) ? " " : Caption(), rect, flags);
}

void TCustomLabel::AdjustBounds() {
    if (!autoSize_ || Loading()) return;
    TRect r = ClientRect();
    DoDrawText(r, TextFlags() | gfx::DT_CALCRECT);
    int left = Left();
    if (alignment_ == TAlignment::taRightJustify) left += Width() - r.Width();
    if (alignment_ == TAlignment::taCenter) left += (Width() - r.Width()) / 2;
    SetBounds(left, Top(), r.Width(), r.Height());
}

void TCustomLabel::Paint() {
    gfx::Canvas& c = Canvas();
    if (!transparent_) {
        c.Brush.Color = Color();
        c.Brush.Style = gfx::bsSolid;
        c.FillRect(ClientRect());
    }
    TRect r = ClientRect();
    unsigned flags = TextFlags();
    if (layout_ != TTextLayout::tlTop) {
        TRect calc = r;
        DoDrawText(calc, flags | gfx::DT_CALCRECT);
        int offset =
            layout_ == TTextLayout::tlBottom ? r.Height() - calc.Height() : (r.Height() - calc.Height()) / 2;
        r.Top += offset;
    }
    DoDrawText(r, flags);
}

void TCustomLabel::WndProc(TMessage& message) {
    if (message.Msg == WM_LBUTTONDOWN && FocusControl && FocusControl->CanFocus()) FocusControl->SetFocus();
    TGraphicControl::WndProc(message);
}

// ---- button ----

TButton::TButton(TComponent* owner, const std::string& name) : TCustomControl(owner, name) {
    SetBounds(0, 0, 75, 25);
    SetTabStop(true);
}

void TButton::Click() {
    if (!Enabled()) return;
    if (ModalResult != mrNone)
        if (TForm* form = ParentForm()) form->SetModalResult(ModalResult);
    TCustomControl::Click();
}

void TButton::Paint() {
    gfx::Canvas& c = Canvas();
    TRect r = ClientRect();
    c.Brush.Color = gfx::clBtnFace;
    c.Brush.Style = gfx::bsSolid;
    c.FillRect(r);
    if (Default) {
        c.Brush.Color = gfx::clWindowFrame;
        c.FrameRect(r);
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
    c.Frame3D(r, gfx::clBtnHighlight, gfx::clBtnShadow, 1);
    c.Font = Font();
    if (!Enabled()) c.Font.SetColor(gfx::clGrayText);
    c.Brush.Style = gfx::bsClear;
    gfx::DrawText(c, Caption(), r, gfx::DT_CENTER | gfx::DT_VCENTER | gfx::DT_SINGLELINE);
}

void TButton::WndProc(TMessage& message) {
    switch (message.Msg) {
    case CM_DIALOGKEY:
        if ((message.WParam == VK_RETURN && Default) || (message.WParam == VK_ESCAPE && Cancel)) {
            Click();
            message.Result = 1;
        }
        return;
    case WM_KEYDOWN:
        if (message.WParam == VK_SPACE || message.WParam == VK_RETURN) {
            Click();
            return;
        }
        break;
    }
    TCustomControl::WndProc(message);
}

// ---- list box ----

TListBox::TListBox(TComponent* owner, const std::string& name) : TCustomControl(owner, name) {
    SetBounds(0, 0, 121, 97);
    SetTabStop(true);
    SetColor(gfx::clWindow);
}

int TListBox::Add(const std::string& s) {
    items_.push_back(s);
    Invalidate();
    return Count() - 1;
}

void TListBox::Insert(int index, const std::string& s) {
    index = std::clamp(index, 0, Count());
    items_.insert(items_.begin() + index, s);
    if (itemIndex_ >= index) ++itemIndex_;
    Invalidate();
}

void TListBox::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    items_.erase(items_.begin() + index);
    if (itemIndex_ == index)
        itemIndex_ = -1;
    else if (itemIndex_ > index)
        --itemIndex_;
    Invalidate();
}

void TListBox::Clear() {
    items_.clear();
    itemIndex_ = -1;
    Invalidate();
}

int TListBox::IndexOf(const std::string& s) const {
    auto it = std::find(items_.begin(), items_.end(), s);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TListBox::SetItemIndex(int index) {
    if (index < -1 || index >= Count()) index = -1;
    if (index == itemIndex_) return;
    itemIndex_ = index;
    Invalidate();
    if (OnChange) OnChange(this);
}

void TListBox::Paint() {
    gfx::Canvas& c = Canvas();
    c.Font = Font();
    for (int i = 0; i < Count(); ++i) {
        TRect r{0, i * ItemHeight, Width(), (i + 1) * ItemHeight};
        bool selected = i == itemIndex_;
        c.Brush.Color = selected ? gfx::clHighlight : Color();
        c.Brush.Style = gfx::bsSolid;
        c.FillRect(r);
        c.Font.SetColor(selected ? gfx::clHighlightText : Font().Color());
        c.Brush.Style = gfx::bsClear;
        c.TextOut(2, r.Top, items_[static_cast<size_t>(i)]);
    }
}

void TListBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == TMouseButton::mbLeft && ItemHeight > 0 && y >= 0) {
        int index = y / ItemHeight;
        if (index < Count()) SetItemIndex(index);
    }
    TCustomControl::MouseDown(button, shift, x, y);
}

// ---- image ----

gfx::TRect ImageDrawRect(const gfx::TRect& client, int width, int height, bool stretch, bool center) {
    if (stretch) return client;
    int x = center ? client.Left + (client.Width() - width) / 2 : client.Left;
    int y = center ? client.Top + (client.Height() - height) / 2 : client.Top;
    return {x, y, x + width, y + height};
}

TImage::TImage(TComponent* owner, const std::string& name) : TGraphicControl(owner, name) {
    SetBounds(0, 0, 105, 105);
    picture_.OnChange = [this](gfx::TPicture&) { Invalidate(); };
}

void TImage::Paint() {
    gfx::TGraphic* g = picture_.Graphic();
    if (!g || g->Empty()) return;
    g->Draw(Canvas(), ImageDrawRect(ClientRect(), g->Width(), g->Height(), Stretch, Center));
}

} // namespace platform::widgets
