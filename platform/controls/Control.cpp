#include "platform/controls/Control.h"

#include "platform/Numeric.h"
#include "platform/controls/Form.h"
#include "platform/controls/WinControl.h"

namespace platform {

namespace {
TControl* captureControl = nullptr;
} // namespace

TControl* GetCaptureControl() {
    return captureControl;
}

void SetCaptureControl(TControl* control) {
    captureControl = control;
}

WPARAM KeysFromShift(TShiftState shift) {
    WPARAM keys = 0;
    if (shift & ssLeft) keys |= MK_LBUTTON;
    if (shift & ssRight) keys |= MK_RBUTTON;
    if (shift & ssMiddle) keys |= MK_MBUTTON;
    if (shift & ssShift) keys |= MK_SHIFT;
    if (shift & ssCtrl) keys |= MK_CONTROL;
    return keys;
}

TShiftState ShiftFromKeys(WPARAM keys) {
    TShiftState shift = 0;
    if (keys & MK_LBUTTON) shift |= ssLeft;
    if (keys & MK_RBUTTON) shift |= ssRight;
    if (keys & MK_MBUTTON) shift |= ssMiddle;
    if (keys & MK_SHIFT) shift |= ssShift;
    if (keys & MK_CONTROL) shift |= ssCtrl;
    return shift;
}

TControl::TControl(TComponent* owner, const std::string& name) : TComponent(owner, name) {
    font_.OnChange = [this](gfx::TFont&) { FontChanged(); };
}

TControl::~TControl() {
    SetDestroyingFlag();
    if (captureControl == this) captureControl = nullptr;
    if (parent_) {
        if (visible_ && !parent_->Destroying()) parent_->InvalidateRect(BoundsRect());
        parent_->RemoveControl(this);
    }
    parent_ = nullptr;
}

void TControl::SetBounds(int left, int top, int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    bool graphic = dynamic_cast<TWinControl*>(this) == nullptr;
    if (graphic && visible_) Invalidate(); // the old area
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (graphic && visible_) Invalidate(); // the new one
    if (parent_ && align_ != TAlign::alNone) parent_->AlignControls();
}

void TControl::ChangeScale(int m, int d) {
    if (m == d || m <= 0 || d <= 0) return;
    int width = (controlStyle_ & csFixedWidth) ? width_ : MulDiv(width_, m, d);
    int height = (controlStyle_ & csFixedHeight) ? height_ : MulDiv(height_, m, d);
    SetBounds(MulDiv(left_, m, d), MulDiv(top_, m, d), width, height);
}

void TControl::SetAlign(TAlign align) {
    if (align == align_) return;
    align_ = align;
    if (parent_) parent_->AlignControls();
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    if (parent == this) return;
    if (parent_) {
        if (visible_) Invalidate();
        parent_->RemoveControl(this);
    }
    parent_ = parent;
    canvas_.reset();
    canvasTarget_ = nullptr;
    if (parent_) {
        parent_->InsertControl(this);
        if (parentFont_) {
            copyingParentFont_ = true;
            font_.Assign(parent_->Font());
            copyingParentFont_ = false;
        }
        if (visible_) Invalidate();
    }
}

void TControl::SetVisible(bool visible) {
    if (visible == visible_) return;
    Perform(CM_VISIBLECHANGING, visible ? 1 : 0);
    if (!visible) Invalidate(); // the parent shows through where the control was
    visible_ = visible;
    if (visible) Invalidate();
    Perform(CM_VISIBLECHANGED, visible ? 1 : 0);
    if (parent_ && align_ != TAlign::alNone) parent_->AlignControls();
}

void TControl::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Perform(CM_ENABLEDCHANGED);
}

bool TControl::Showing() const {
    if (!visible_) return false;
    if (!parent_) return dynamic_cast<const TWinControl*>(this) != nullptr;
    return parent_->Showing();
}

bool TControl::ShowHint() const {
    return parentShowHint_ && parent_ ? parent_->ShowHint() : showHint_;
}

void TControl::SetCaption(const std::string& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    Perform(CM_TEXTCHANGED);
}

void TControl::SetParentFont(bool parentFont) {
    if (parentFont == parentFont_) return;
    parentFont_ = parentFont;
    if (parentFont_ && parent_) {
        copyingParentFont_ = true;
        font_.Assign(parent_->Font());
        copyingParentFont_ = false;
    }
}

void TControl::SetColor(gfx::TColor color) {
    if (color == color_) return;
    color_ = color;
    Perform(CM_COLORCHANGED);
}

void TControl::FontChanged() {
    if (!copyingParentFont_) parentFont_ = false;
    Perform(CM_FONTCHANGED);
}

void TControl::Invalidate() {
    if (parent_) parent_->InvalidateRect(BoundsRect());
}

void TControl::Update() {
    if (parent_) parent_->Update();
}

intptr_t TControl::Perform(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    TMessage message{msg, wParam, lParam, 0};
    DispatchMessage(message);
    return message.Result;
}

gfx::Canvas& TControl::SurfaceCanvas(gfx::Bitmap& surface, gfx::TPoint origin, gfx::TRect visibleDevice) {
    if (!canvas_ || canvasTarget_ != &surface) {
        canvas_ = std::make_unique<gfx::Canvas>(surface, origin, visibleDevice);
        canvasTarget_ = &surface;
    }
    canvas_->SetOrigin(origin);
    canvas_->SetVisibleRect(visibleDevice);
    return *canvas_;
}

gfx::Canvas& TControl::Canvas() {
    static gfx::Bitmap nowhere; // a control without a parent draws nowhere
    if (!parent_) return SurfaceCanvas(nowhere, {0, 0}, {});
    gfx::TRect visible = BoundsRect().Intersect(parent_->ClientRect());
    if (parent_->PaintClip()) visible = visible.Intersect(*parent_->PaintClip());
    return SurfaceCanvas(parent_->Surface(), {left_, top_}, visible);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
    if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseMessage(TMessage& message) {
    int x = PointParamX(message.LParam);
    int y = PointParamY(message.LParam);
    TShiftState shift = ShiftFromKeys(message.WParam);
    switch (message.Msg) {
    case WM_MOUSEMOVE:
        MouseMove(shift, x, y);
        break;
    case WM_LBUTTONDOWN:
        if (controlStyle_ & csClickEvents) clicked_ = true;
        MouseDown(TMouseButton::mbLeft, shift | ssLeft, x, y);
        break;
    case WM_LBUTTONDBLCLK:
        if (controlStyle_ & csDoubleClicks) DblClick();
        MouseDown(TMouseButton::mbLeft, shift | ssLeft | ssDouble, x, y);
        break;
    case WM_RBUTTONDOWN:
        MouseDown(TMouseButton::mbRight, shift | ssRight, x, y);
        break;
    case WM_MBUTTONDOWN:
        MouseDown(TMouseButton::mbMiddle, shift | ssMiddle, x, y);
        break;
    case WM_LBUTTONUP: {
        bool click = clicked_ && ClientRect().Contains(x, y);
        clicked_ = false;
        if (click) Click();
        MouseUp(TMouseButton::mbLeft, shift, x, y);
        break;
    }
    case WM_RBUTTONUP:
        MouseUp(TMouseButton::mbRight, shift, x, y);
        break;
    case WM_MBUTTONUP:
        MouseUp(TMouseButton::mbMiddle, shift, x, y);
        break;
    default:
        break;
    }
}

void TControl::WndProc(TMessage& message) {
    switch (message.Msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        MouseMessage(message);
        break;
    case CM_MOUSEENTER:
        MouseEnter();
        break;
    case CM_MOUSELEAVE:
        MouseLeave();
        break;
    case CM_TEXTCHANGED:
        TextChanged();
        Invalidate();
        break;
    case CM_ENABLEDCHANGED:
        EnabledChanged();
        break;
    case CM_VISIBLECHANGED:
        VisibleChanged();
        break;
    case CM_FONTCHANGED:
    case CM_COLORCHANGED:
        Invalidate();
        break;
    case CM_PARENTFONTCHANGED:
        if (parentFont_ && parent_) {
            copyingParentFont_ = true;
            font_.Assign(parent_->Font());
            copyingParentFont_ = false;
        }
        break;
    default:
        break;
    }
}

void TGraphicControl::WndProc(TMessage& message) {
    if (message.Msg == WM_PAINT) {
        Paint();
        return;
    }
    TControl::WndProc(message);
}

void TControl::BringToFront() {
    if (!parent_) return;
    auto& v = parent_->controls_;
    std::erase(v, this);
    v.push_back(this);
    Invalidate();
}

void TControl::SendToBack() {
    if (!parent_) return;
    auto& v = parent_->controls_;
    std::erase(v, this);
    v.insert(v.begin(), this);
    Invalidate();
}

} // namespace platform
