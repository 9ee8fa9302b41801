#include "platform/controls/WinControl.h"

#include <algorithm>

#include "platform/controls/Form.h"

namespace platform {

namespace {
bool IsWithin(const TControl* control, const TControl* ancestor) {
    for (const TControl* c = control; c; c = c->Parent())
        if (c == ancestor) return true;
    return false;
}

// Clears the paint clip when a paint ends, also by an exception.
class PaintClipScope {
public:
    PaintClipScope(std::optional<gfx::TRect>& clip, const gfx::TRect& r) : clip_(clip) { clip_ = r; }
    ~PaintClipScope() { clip_.reset(); }
    PaintClipScope(const PaintClipScope&) = delete;
    PaintClipScope& operator=(const PaintClipScope&) = delete;

private:
    std::optional<gfx::TRect>& clip_;
};
} // namespace

TWinControl::TWinControl(TComponent* owner, const std::string& name) : TControl(owner, name) {}

TWinControl::~TWinControl() {
    SetDestroyingFlag();
    EventLoop::Get().RemovePosted(Handle(), WM_PAINT, 0);
    TControl* capture = GetCaptureControl();
    if (capture && capture != this && IsWithin(capture, this)) SetCaptureControl(nullptr);
    // Children without an owner die with their parent; owned ones are left to their owner.
    while (!controls_.empty()) {
        TControl* child = controls_.back();
        if (!child->Owner()) {
            delete child; // removes itself
            continue;
        }
        controls_.pop_back();
        child->parent_ = nullptr;
        child->canvas_.reset();
        child->canvasTarget_ = nullptr;
    }
}

TForm* TWinControl::ParentForm() const {
    const TControl* top = this;
    while (top->Parent())
        top = top->Parent();
    return dynamic_cast<TForm*>(const_cast<TControl*>(top));
}

void TWinControl::InsertControl(TControl* control) {
    controls_.push_back(control);
    if (control->Align() != TAlign::alNone) AlignControls();
}

void TWinControl::RemoveControl(TControl* control) {
    if (TForm* form = ParentForm(); form && !Destroying()) form->ForgetControl(control);
    TControl* capture = GetCaptureControl();
    if (capture && IsWithin(capture, control)) SetCaptureControl(nullptr);
    std::erase(controls_, control);
    if (control->Align() != TAlign::alNone && !Destroying()) AlignControls();
}

TControl* TWinControl::ControlAtPos(int x, int y) const {
    auto usable = [&](TControl* c) { return c->Visible() && c->Enabled() && c->BoundsRect().Contains(x, y); };
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if (dynamic_cast<TWinControl*>(*it) && usable(*it)) return *it;
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if (!dynamic_cast<TWinControl*>(*it) && usable(*it)) return *it;
    return nullptr;
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
    int oldWidth = Width(), oldHeight = Height();
    TControl::SetBounds(left, top, width, height);
    if (Width() == oldWidth && Height() == oldHeight) return;
    surface_.SetSize(Width(), Height());
    Invalidate();
    Perform(WM_SIZE, 0, MakePointParam(Width(), Height()));
    Resize();
    AlignControls();
}

void TWinControl::ScaleBy(int m, int d) {
    ChangeScale(m, d);
}

void TWinControl::ChangeScale(int m, int d) {
    if (m == d || m <= 0 || d <= 0) return;
    // The children first: the own resize then aligns them in the scaled client area.
    for (TControl* c : std::vector<TControl*>(controls_))
        c->ChangeScale(m, d);
    TControl::ChangeScale(m, d);
}

void TWinControl::AlignControls() {
    if (aligning_ || Destroying()) return;
    aligning_ = true;
    gfx::TRect r = ClientRect();
    AdjustClientRect(r);
    auto place = [&](TAlign align) {
        for (TControl* c : controls_) {
            if (c->Align() != align || !c->Visible()) continue;
            switch (align) {
            case TAlign::alTop:
                c->SetBounds(r.Left, r.Top, r.Width(), c->Height());
                r.Top += c->Height();
                break;
            case TAlign::alBottom:
                c->SetBounds(r.Left, r.Bottom - c->Height(), r.Width(), c->Height());
                r.Bottom -= c->Height();
                break;
            case TAlign::alLeft:
                c->SetBounds(r.Left, r.Top, c->Width(), r.Height());
                r.Left += c->Width();
                break;
            case TAlign::alRight:
                c->SetBounds(r.Right - c->Width(), r.Top, c->Width(), r.Height());
                r.Right -= c->Width();
                break;
            case TAlign::alClient:
                c->SetBounds(r.Left, r.Top, r.Width(), r.Height());
                break;
            case TAlign::alNone:
                break;
            }
        }
    };
    for (TAlign a : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient})
        place(a);
    aligning_ = false;
}

int TWinControl::TabOrder() const {
    if (!Parent()) return -1;
    int order = 0;
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
        TControl* c = Parent()->Controls(i);
        if (c == this) return order;
        if (dynamic_cast<TWinControl*>(c)) ++order;
    }
    return -1;
}

bool TWinControl::CanFocus() const {
    if (!ParentForm()) return false;
    for (const TControl* c = this; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled()) return false;
    return true;
}

bool TWinControl::Focused() const {
    TForm* form = ParentForm();
    return form && form->ActiveControl() == this;
}

void TWinControl::SetFocus() {
    if (!CanFocus()) return;
    ParentForm()->SetActiveControl(this);
}

gfx::Canvas& TWinControl::Canvas() {
    gfx::TRect visible = ClientRect();
    if (paintClip_) visible = visible.Intersect(*paintClip_);
    return SurfaceCanvas(surface_, {0, 0}, visible);
}

void TWinControl::Invalidate() {
    InvalidateRect(ClientRect());
}

void TWinControl::InvalidateRect(const gfx::TRect& rect) {
    gfx::TRect r = rect.Intersect(ClientRect());
    if (r.IsEmpty() || Destroying()) return;
    if (invalid_.IsEmpty())
        invalid_ = r;
    else
        invalid_ = {std::min(invalid_.Left, r.Left), std::min(invalid_.Top, r.Top),
                    std::max(invalid_.Right, r.Right), std::max(invalid_.Bottom, r.Bottom)};
    SchedulePaint();
}

void TWinControl::SchedulePaint() {
    if (!Showing() || Destroying()) return;
    // One WM_PAINT at most waits for this window, at the end of the queue.
    EventLoop& loop = EventLoop::Get();
    loop.RemovePosted(Handle(), WM_PAINT, 0);
    loop.Post(Handle(), WM_PAINT);
}

void TWinControl::ScheduleTree() {
    if (!invalid_.IsEmpty()) SchedulePaint();
    for (TControl* c : controls_)
        if (auto* w = dynamic_cast<TWinControl*>(c)) w->ScheduleTree();
}

void TWinControl::Update() {
    if (invalid_.IsEmpty()) return;
    EventLoop::Get().RemovePosted(Handle(), WM_PAINT, 0);
    PaintNow();
}

void TWinControl::UpdateTree() {
    Update();
    std::vector<TControl*> children = controls_;
    for (TControl* c : children)
        if (auto* w = dynamic_cast<TWinControl*>(c);
            w && std::find(controls_.begin(), controls_.end(), c) != controls_.end())
            w->UpdateTree();
}

void TWinControl::PaintNow() {
    gfx::TRect r = invalid_.Intersect(ClientRect());
    invalid_ = {};
    if (r.IsEmpty()) return;
    PaintClipScope scope(paintClip_, r);
    if (!(ControlStyle() & csOpaque)) {
        gfx::Canvas eraser(surface_, {0, 0}, r);
        eraser.Pen.Style = gfx::psClear;
        eraser.Brush.Color = Color();
        eraser.FillRect(r);
    }
    Canvas().SelectClipRgn(nullptr);
    PaintWindow();
    std::vector<TControl*> children = controls_;
    for (TControl* c : children) {
        if (std::find(controls_.begin(), controls_.end(), c) == controls_.end()) continue; // freed meanwhile
        if (dynamic_cast<TWinControl*>(c) || !c->Visible()) continue;
        if (c->BoundsRect().Intersect(r).IsEmpty()) continue;
        c->Canvas().SelectClipRgn(nullptr);
        c->Perform(WM_PAINT);
    }
}

void TWinControl::PaintTo(gfx::Bitmap& bitmap, int x, int y) {
    UpdateTree();
    ComposeInto(bitmap, x, y, {x, y, x + Width(), y + Height()});
}

void TWinControl::ComposeInto(gfx::Bitmap& bitmap, int x, int y, const gfx::TRect& clip) {
    gfx::TRect area = clip.Intersect({x, y, x + Width(), y + Height()});
    if (area.IsEmpty()) return;
    gfx::Canvas target(bitmap, {0, 0}, area);
    target.CopyRectFrom({x, y, x + Width(), y + Height()}, surface_, ClientRect());
    for (TControl* c : controls_) {
        auto* w = dynamic_cast<TWinControl*>(c);
        if (!w || !w->Visible()) continue;
        w->ComposeInto(bitmap, x + w->Left(), y + w->Top(), area);
    }
}

void TWinControl::WndProc(TMessage& message) {
    switch (message.Msg) {
    case WM_PAINT:
        PaintNow();
        return;
    case WM_KEYDOWN: {
        uint16_t key = static_cast<uint16_t>(message.WParam);
        KeyDown(key, static_cast<TShiftState>(message.LParam));
        return;
    }
    case WM_KEYUP: {
        uint16_t key = static_cast<uint16_t>(message.WParam);
        KeyUp(key, static_cast<TShiftState>(message.LParam));
        return;
    }
    case WM_GETDLGCODE:
        message.Result = 0;
        return;
    case CM_ENTER:
        DoEnter();
        return;
    case CM_EXIT:
        DoExit();
        return;
    case CM_FONTCHANGED:
        TControl::WndProc(message);
        for (TControl* c : std::vector<TControl*>(controls_))
            c->Perform(CM_PARENTFONTCHANGED);
        return;
    case CM_VISIBLECHANGED:
        TControl::WndProc(message);
        if (message.WParam) ScheduleTree();
        return;
    default:
        TControl::WndProc(message);
    }
}

int TWinControl::AddWindowHook(TWindowHookProc before, TWindowAfterProc after) {
    int id = nextHookId_++;
    hooks_.push_back({id, std::move(before), std::move(after)});
    return id;
}

void TWinControl::RemoveWindowHook(int id) {
    std::erase_if(hooks_, [id](const WindowHook& h) { return h.id == id; });
}

void TWinControl::DispatchMessage(TMessage& message) {
    if (hooks_.empty() || message.Msg == CM_RELEASE) { // a released form frees itself in WndProc
        WndProc(message);
        return;
    }
    std::vector<WindowHook> hooks(hooks_.rbegin(), hooks_.rend());
    auto live = [this](int id) {
        return std::any_of(hooks_.begin(), hooks_.end(), [id](const WindowHook& h) { return h.id == id; });
    };
    for (auto& h : hooks)
        if (h.before && live(h.id) && h.before(message)) return;
    WndProc(message);
    for (auto& h : hooks)
        if (h.after && live(h.id)) h.after(message);
}

} // namespace platform
