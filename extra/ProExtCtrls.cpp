#include "extra/ProExtCtrls.h"

#include <algorithm>

#include "platform/graphics/DrawText.h"

using platform::gfx::TColor;
using platform::gfx::TRect;
using platform::widgets::TBevelCut;

namespace extra {

// ---- list box ----

TProListBox::TProListBox(platform::TComponent* owner, const std::string& name) : TListBox(owner, name) {
    RegisterProCursors();
}

int TProListBox::ItemWidth(const std::string& s) const {
    return platform::gfx::MeasureText(Font(), s + "I");
}

void TProListBox::UpdateExtent() {
    SetHorizontalExtent(horzScrollExtent_ + (autoHorzScroll_ ? maxWidth_ : 0));
}

void TProListBox::MeasureAll() {
    maxWidth_ = 0;
    for (int i = 0; i < Count(); ++i)
        maxWidth_ = std::max(maxWidth_, ItemWidth(Items(i)));
    UpdateExtent();
}

void TProListBox::SetAutoHorzScroll(bool v) {
    if (v == autoHorzScroll_) return;
    autoHorzScroll_ = v;
    MeasureAll();
}

void TProListBox::SetHorzScrollExtent(int v) {
    if (v == horzScrollExtent_) return;
    horzScrollExtent_ = v;
    UpdateExtent();
}

int TProListBox::Add(const std::string& s) {
    int index = TListBox::Add(s);
    maxWidth_ = std::max(maxWidth_, ItemWidth(s));
    UpdateExtent();
    return index;
}

void TProListBox::Insert(int index, const std::string& s) {
    TListBox::Insert(index, s);
    maxWidth_ = std::max(maxWidth_, ItemWidth(s));
    UpdateExtent();
}

void TProListBox::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    bool widest = ItemWidth(Items(index)) >= maxWidth_;
    TListBox::Delete(index);
    if (widest) MeasureAll();
}

void TProListBox::Clear() {
    TListBox::Clear();
    maxWidth_ = 0;
    UpdateExtent();
}

void TProListBox::FontChanged() {
    TListBox::FontChanged();
    MeasureAll();
}

// ---- bevels ----

void DrawSidesBevel(platform::gfx::Canvas& canvas, TRect& rect, TBevelCut cut, bool ctl3D, TSides sides,
                    int width) {
    using namespace platform::gfx;
    if (cut == TBevelCut::bvNone) return;
    if (cut == TBevelCut::bvSpace) {
        Frame3DSides(canvas, rect, sides, clBtnFace, clBtnFace, ctl3D ? 2 : width);
        return;
    }
    bool lowered = cut == TBevelCut::bvLowered;
    TColor top = lowered ? clBtnShadow : clBtnHighlight;
    TColor bottom = lowered ? clBtnHighlight : ctl3D ? clBtnText : clBtnShadow;
    if (!ctl3D) {
        Frame3DSides(canvas, rect, sides, top, bottom, width);
        return;
    }
    Frame3DSides(canvas, rect, sides, top, bottom, 1);
    Frame3DSides(canvas, rect, sides, lowered ? clBtnText : cl3DLight, lowered ? cl3DLight : clBtnShadow, 1);
}

// ---- panel ----

TProPanel::TProPanel(platform::TComponent* owner, const std::string& name) : TCustomPanel(owner, name) {
    RegisterProCursors();
}

void TProPanel::SetBevelCtl3D(bool v) {
    if (v == bevelCtl3D_) return;
    bevelCtl3D_ = v;
    SetBevelWidth(v ? 2 : 1);
    Invalidate();
}
void TProPanel::SetBevelSides(TSides v) {
    if (v == bevelSides_) return;
    bevelSides_ = v & sdAllSides;
    Invalidate();
}
void TProPanel::SetBorderColor(TColor v) {
    if (v == borderColor_) return;
    borderColor_ = v;
    Invalidate();
}
void TProPanel::SetVerticalAlignment(TVerticalAlignment v) {
    if (v == verticalAlignment_) return;
    verticalAlignment_ = v;
    Invalidate();
}

void TProPanel::Paint() {
    platform::gfx::Canvas& c = Canvas();
    TRect r = ClientRect();
    DrawSidesBevel(c, r, BevelOuter(), bevelCtl3D_, bevelSides_, BevelWidth());
    if (BorderWidth() > 0) Frame3DSides(c, r, bevelSides_, borderColor_, borderColor_, BorderWidth());
    DrawSidesBevel(c, r, BevelInner(), bevelCtl3D_, bevelSides_, BevelWidth());
    c.Brush.Color = Color();
    c.Brush.Style = platform::gfx::bsSolid;
    c.FillRect(r);
    if (Caption().empty()) return;
    c.Font = Font();
    c.Brush.Style = platform::gfx::bsClear;
    using platform::widgets::TAlignment;
    unsigned flags = platform::gfx::DT_EXPANDTABS | platform::gfx::DT_WORDBREAK |
                     (Alignment() == TAlignment::taCenter         ? platform::gfx::DT_CENTER
                      : Alignment() == TAlignment::taRightJustify ? platform::gfx::DT_RIGHT
                                                                  : platform::gfx::DT_LEFT);
    TRect calc = r;
    platform::gfx::DrawText(c, Caption(), calc, flags | platform::gfx::DT_CALCRECT);
    int spare = r.Height() - calc.Height();
    if (verticalAlignment_ == TVerticalAlignment::vaCenter) r.Top += spare / 2;
    if (verticalAlignment_ == TVerticalAlignment::vaBottom) r.Top += spare;
    platform::gfx::DrawText(c, Caption(), r, flags);
}

// ---- border ----

TProBorder::TProBorder(platform::TComponent* owner, const std::string& name) : TGraphicControl(owner, name) {
    RegisterProCursors();
    SetBounds(0, 0, 50, 50);
}

void TProBorder::SetBevelCtl3D(bool v) {
    if (v == bevelCtl3D_) return;
    bevelCtl3D_ = v;
    Invalidate();
}
void TProBorder::SetBevelInner(TBevelCut v) {
    if (v == bevelInner_) return;
    bevelInner_ = v;
    Invalidate();
}
void TProBorder::SetBevelOuter(TBevelCut v) {
    if (v == bevelOuter_) return;
    bevelOuter_ = v;
    Invalidate();
}
void TProBorder::SetBevelSides(TSides v) {
    if (v == bevelSides_) return;
    bevelSides_ = v & sdAllSides;
    Invalidate();
}
void TProBorder::SetBevelWidth(int v) {
    if (bevelCtl3D_ || v < 1 || v == bevelWidth_) return;
    bevelWidth_ = v;
    Invalidate();
}
void TProBorder::SetBorderColor(TColor v) {
    if (v == borderColor_) return;
    borderColor_ = v;
    Invalidate();
}
void TProBorder::SetBorderWidth(int v) {
    if (v < 0 || v == borderWidth_) return;
    borderWidth_ = v;
    Invalidate();
}

void TProBorder::Paint() {
    platform::gfx::Canvas& c = Canvas();
    TRect r = ClientRect();
    DrawSidesBevel(c, r, bevelOuter_, bevelCtl3D_, bevelSides_, bevelWidth_);
    if (borderWidth_ > 0) Frame3DSides(c, r, bevelSides_, borderColor_, borderColor_, borderWidth_);
    DrawSidesBevel(c, r, bevelInner_, bevelCtl3D_, bevelSides_, bevelWidth_);
}

// ---- mouse region ----

TProMouseRegion::TProMouseRegion(platform::TComponent* owner, const std::string& name)
    : TGraphicControl(owner, name) {
    RegisterProCursors();
    SetBounds(0, 0, 50, 50);
}

void TProMouseRegion::Paint() {
    if (!Designing()) return;
    platform::gfx::Canvas& c = Canvas();
    c.Pen.Color = platform::gfx::clBlack;
    c.Pen.Width = 1;
    c.Pen.Style = platform::gfx::psDash;
    c.Brush.Style = platform::gfx::bsClear;
    c.Rectangle(ClientRect());
}

// ---- image ----

TProImage::TProImage(platform::TComponent* owner, const std::string& name) : TGraphicControl(owner, name) {
    RegisterProCursors();
    SetBounds(0, 0, 105, 105);
    picture_.OnChange = [this](platform::gfx::TPicture&) { PictureChanged(); };
    picture_.OnProgress = [this](platform::TObject* sender, platform::gfx::TProgressStage stage, int percent,
                                 bool redrawNow, const platform::gfx::TRect& rect,
                                 const std::string& message) {
        PictureProgress(sender, stage, percent, redrawNow, rect, message);
    };
}

void TProImage::PictureProgress(platform::TObject* sender, platform::gfx::TProgressStage stage, int percent,
                                bool redrawNow, const platform::gfx::TRect& rect,
                                const std::string& message) {
    auto* graphic = dynamic_cast<platform::gfx::TGraphic*>(sender);
    if (IncrementalDisplay && redrawNow && graphic && !graphic->Empty()) DrawGraphic(*graphic);
    if (OnProgress) OnProgress(this, stage, percent, redrawNow, rect, message);
}

void TProImage::Set(bool& field, bool v) {
    if (field == v) return;
    field = v;
    Invalidate();
}

void TProImage::SetCenter(bool v) {
    Set(center_, v);
}
void TProImage::SetStretch(bool v) {
    Set(stretch_, v);
}
void TProImage::SetTiled(bool v) {
    Set(tiled_, v);
}
void TProImage::SetTransparent(bool v) {
    Set(transparent_, v);
    if (platform::gfx::TGraphic* g = picture_.Graphic()) g->SetTransparent(v);
}
void TProImage::SetAutoSize(bool v) {
    Set(autoSize_, v);
    if (v) PictureChanged();
}

void TProImage::PictureChanged() {
    platform::gfx::TGraphic* g = picture_.Graphic();
    // The graphic's change comes back here once more, with the setting then in place.
    if (g && g->Transparent() != transparent_) g->SetTransparent(transparent_);
    if (autoSize_ && !picture_.Empty()) SetBounds(Left(), Top(), picture_.Width(), picture_.Height());
    Invalidate();
}

void TProImage::Paint() {
    platform::gfx::Canvas& c = Canvas();
    if (Designing()) {
        c.Pen.Color = platform::gfx::clBlack;
        c.Pen.Style = platform::gfx::psDash;
        c.Brush.Style = platform::gfx::bsClear;
        c.Rectangle(ClientRect());
    }
    platform::gfx::TGraphic* g = picture_.Graphic();
    if (g && !g->Empty()) DrawGraphic(*g);
}

void TProImage::DrawGraphic(platform::gfx::TGraphic& g) {
    platform::gfx::Canvas& c = Canvas();
    const int w = g.Width(), h = g.Height();
    if (tiled_) {
        // The tiles go to an off-screen copy of what lies under the control, which then goes on at once.
        platform::gfx::Bitmap tiles(Width(), Height());
        platform::gfx::Canvas t(tiles);
        t.CopyRect(ClientRect(), c, ClientRect());
        for (int y = 0; y < Height(); y += h)
            for (int x = 0; x < Width(); x += w)
                g.Draw(t, {x, y, x + w, y + h});
        c.Draw(0, 0, tiles);
        return;
    }
    g.Draw(c, platform::widgets::ImageDrawRect(ClientRect(), w, h, stretch_, center_));
}

} // namespace extra
