#include "gauges/AbColBitBtn.h"

#include <algorithm>

#include "platform/Numeric.h"

namespace gauges {

namespace gfx = platform::gfx;

TAbColBitBtn::TAbColBitBtn(platform::TComponent* owner, const std::string& name)
    : TAbBinGControl(owner, name) {
    grad_.SetColorFrom(0x00F0F0F0);
    grad_.SetColorTo(0x00696969);
    grad_.SetStyle(gsHorizontal1);
    grad_.SetVisible(true);
    bevel_.SetWidth(4);
    SetBounds(Left(), Top(), 65, 33);
    Font().SetStyle(gfx::fsBold);
    SetMode(mButton);
}

void TAbColBitBtn::Loaded() {
    TAbBinGControl::Loaded();
    grad_.OnChange = [this](TObject* sender) { ParamChange(sender); };
    bevel_.OnChange = [this](TObject* sender) { ParamChange(sender); };
}

void TAbColBitBtn::ParamChange(TObject*) {
    Invalidate();
}

void TAbColBitBtn::SetCheckedOptions(TCheckedOptions v) {
    checkedOptions_ = v;
    StatusChanged();
}

void TAbColBitBtn::SetTransparent(bool v) {
    if (v == transparent_) return;
    transparent_ = v;
    Invalidate();
}

void TAbColBitBtn::SetGlyph(const Bitmap& glyph) {
    glyph_.Assign(glyph);
    if (glyph_.Height() >= 1) glyph_.SetTransparentColor(glyph_.GetPixel(0, glyph_.Height() - 1));
    if (glyph_.Empty()) numGlyph_ = 1;
    StatusChanged();
}

void TAbColBitBtn::SetNumGlyph(int32_t n) {
    if (n >= 1) Set(numGlyph_, n);
}

void TAbColBitBtn::Flash(bool on) {
    phase_ = on;
    if (!painting_) StatusChanged();
}

void TAbColBitBtn::MouseEnter() {
    TAbBinGControl::MouseEnter();
    if (!flat_ || !enabled_ || inside_ || platform::GetCaptureControl()) return;
    inside_ = true;
    StatusChanged();
}

void TAbColBitBtn::MouseLeave() {
    TAbBinGControl::MouseLeave();
    if (!flat_ || !inside_ || !enabled_) return;
    inside_ = false;
    StatusChanged();
}

void TAbColBitBtn::WndProc(platform::TMessage& message) {
    if (message.Msg == platform::CM_VISIBLECHANGING) Invalidate();
    TAbBinGControl::WndProc(message);
}

void TAbColBitBtn::Paint() {
    if (painting_) return;
    {
        FlagScope painting(painting_);
        if (!Visible()) return;
        TRect face = ClientRect();
        AbBorder(face, bevel_.Width());
        work_.SetSize(Width(), Height());
        GetBkUpImage(Canvas(), work_, ClientRect());
        if (!transparent_ && grad_.Visible()) grad_.Fill(work_.GetCanvas(), face);
    }
    StatusChanged();
}

void TAbColBitBtn::StatusChanged() {
    if (painting_) return;
    FlagScope painting(painting_);
    const bool flashing = Checked() && Flashing();
    auto on = [&](uint8_t flashOption, uint8_t checkedOption) {
        if ((flashOptions_ & flashOption) && flashing) return phase_;
        return (checkedOptions_ & checkedOption) && Checked();
    };
    // Nothing to draw on before the first paint has saved the background.
    if (!Visible() || work_.Empty()) return;
    Draw(on(foGlyph, coGlyph), on(foText, coText), on(foTextCol, coTextCol), on(foBtnCol, coBtnCol));
}

void TAbColBitBtn::Draw(bool glyphOn, bool textOn, bool textColOn, bool faceColOn) {
    const int gw = glyph_.Width() / numGlyph_, gh = glyph_.Height();
    Bitmap b(work_);
    gfx::Canvas& c = b.GetCanvas();

    const bool down = Pressed() || (Checked() && (checkedOptions_ & coBevel));
    const int dx = offsetX_ + (down ? offsetDown_ : 0), dy = offsetY_ + (down ? offsetDown_ : 0);
    const TColor face = !enabled_ ? colorDisabled_ : faceColOn ? colorOn_ : colorOff_;
    const bool fill = !transparent_ && !grad_.Visible();
    TRect r = ClientRect();
    if ((beveled_ && !flat_) || (flat_ && inside_)) {
        const bool raised = (checkedOptions_ & coBevel) ? !(Checked() || Pressed()) : !Pressed();
        bevel_.PaintBevel(c, r, face, fill, raised);
    } else if (fill) {
        c.Brush.Style = gfx::bsSolid;
        c.Brush.Color = face;
        c.FillRect(r);
    }

    // The block of glyph and caption, placed as a whole.
    c.Font.Assign(Font());
    const int tw = std::max(c.TextWidth(textOn_), c.TextWidth(textOff_));
    const int th = platform::Round(c.TextHeight(textOn_) * 0.85);
    const int gap = gw >= 1 && tw >= 1 ? spacing_ : 0;
    const bool beside = posGlyph_ == pLeft || posGlyph_ == pRight;
    const int height = beside ? std::max(gh, th) : gh + gap + th;
    const int width = beside ? gw + gap + tw : std::max(gw, tw);
    const TPoint centre = AbCenterPoint(r);
    const int cx = posH_ == phLeft ? r.Left + width / 2 : posH_ == phRight ? r.Right - width / 2 : centre.X;
    const int cy = posV_ == pvTop ? r.Top + height / 2 : posV_ == pvBottom ? r.Bottom - height / 2 : centre.Y;
    TPoint glyphAt, textAt;
    toPos anchor = toMidLeft;
    switch (posGlyph_) {
    case pLeft:
        glyphAt = {cx - width / 2, cy - gh / 2};
        textAt = {glyphAt.X + gw + gap, cy};
        break;
    case pRight:
        glyphAt = {cx + width / 2 - gw, cy - gh / 2};
        textAt = {glyphAt.X - gap, cy};
        anchor = toMidRight;
        break;
    case pTop:
        glyphAt = {cx - gw / 2, cy - height / 2};
        textAt = {cx, glyphAt.Y + gh + gap};
        anchor = toTopCenter;
        break;
    case pBottom:
        glyphAt = {cx - gw / 2, cy + height / 2 - gh};
        textAt = {cx, glyphAt.Y - gap};
        anchor = toBotCenter;
        break;
    }

    const std::string& text = textOn || textOff_.empty() ? textOn_ : textOff_;
    const TColor color = !enabled_ ? textColDisabled_ : textColOn ? textColOn_ : textColOff_;
    c.Brush.Style = gfx::bsClear;
    AbTextOut3D(c, textAt.X + dx, textAt.Y + dy, color, bevel_.ShadowColTo(), bevel_.HighlightColTo(), text,
                anchor, text3D_);

    if (gw > 0) {
        int index = 0;
        if (!enabled_ && numGlyph_ > 1) index = 1;
        if (glyphOn && enabled_ && numGlyph_ >= 3) index = 2;
        Bitmap image(gw, gh);
        image.GetCanvas().CopyRectFrom({0, 0, gw, gh}, glyph_, {index * gw, 0, index * gw + gw, gh});
        image.Transparent = true;
        image.SetTransparentColor(glyph_.GetTransparentColor());
        c.Draw(glyphAt.X + dx, glyphAt.Y + dy, image);
    }
    Canvas().Draw(0, 0, b);
}

} // namespace gauges
