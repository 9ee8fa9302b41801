#pragma once
// A button drawn by the gauge library: a face in one of three colours (on, off, disabled) or a gradient,
// a 3-D bevel, a glyph from a strip of images and a caption that may differ between on and off, placed
// together on one of nine anchor positions. Its on state is one status bit (TAbBinGControl); while it is
// checked and flashing, the aspects named in FlashOptions alternate with the flash phase.
//
// Drawing: a paint saves what lies under the button (the parent's background) in a work bitmap and puts
// the gradient face on it; every change of state draws the button from that work bitmap.
//
// Aspects: for each of glyph, caption, caption colour and face colour, "on" is the flash phase when the
// aspect is in FlashOptions and the button is checked and flashing, else whether the aspect is in
// CheckedOptions and the button is checked. Glyph images: 0 normal, 1 disabled (with 2 or more images),
// 2 on (with 3 or more); the strip's bottom-left pixel is its transparent colour.
#include <cstdint>
#include <string>

#include "gauges/AbBevel.h"
#include "gauges/AbBinGControl.h"
#include "platform/graphics/Bitmap.h"

namespace gauges {

enum TPosH { phLeft, phRight, phCenter };
enum TPosV { pvTop, pvBottom, pvCenter };
enum TPos { pLeft, pRight, pTop, pBottom };
enum TFlashOption : uint8_t { foGlyph = 1 << 0, foText = 1 << 1, foTextCol = 1 << 2, foBtnCol = 1 << 3 };
using TFlashOptions = uint8_t;
enum TCheckedOption : uint8_t {
    coGlyph = 1 << 0,
    coText = 1 << 1,
    coTextCol = 1 << 2,
    coBtnCol = 1 << 3,
    coBevel = 1 << 4,
};
using TCheckedOptions = uint8_t;

class TAbColBitBtn : public TAbBinGControl {
public:
    explicit TAbColBitBtn(platform::TComponent* owner, const std::string& name = {});

    void Loaded() override;

    // The button keeps its own enabled flag; a change redraws it.
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { Set(enabled_, enabled); }

    TPosH PosHorizontal() const { return posH_; }
    TPosV PosVertical() const { return posV_; }
    TPos PosGlyph() const { return posGlyph_; }
    void SetPosHorizontal(TPosH v) { Set(posH_, v); }
    void SetPosVertical(TPosV v) { Set(posV_, v); }
    void SetPosGlyph(TPos v) { Set(posGlyph_, v); }
    TAbGradSettings& GradBtnFace() { return grad_; }
    TAbBtnBevel& ButtonBevel() { return bevel_; }
    TFlashOptions FlashOptions() const { return flashOptions_; }
    void SetFlashOptions(TFlashOptions v) { flashOptions_ = v; }
    TCheckedOptions CheckedOptions() const { return checkedOptions_; }
    void SetCheckedOptions(TCheckedOptions v);
    TColor ColorOn() const { return colorOn_; }
    TColor ColorOff() const { return colorOff_; }
    TColor ColorDisabled() const { return colorDisabled_; }
    void SetColorOn(TColor c) { Set(colorOn_, c); }
    void SetColorOff(TColor c) { Set(colorOff_, c); }
    void SetColorDisabled(TColor c) { Set(colorDisabled_, c); }
    int32_t OffsetX() const { return offsetX_; }
    int32_t OffsetY() const { return offsetY_; }
    int32_t OffsetDown() const { return offsetDown_; }
    void SetOffsetX(int32_t v) { Set(offsetX_, v); }
    void SetOffsetY(int32_t v) { Set(offsetY_, v); }
    void SetOffsetDown(int32_t v) { Set(offsetDown_, v); }
    const Bitmap& Glyph() const { return glyph_; }
    // Copies the strip; an empty one sets NumGlyph to 1.
    void SetGlyph(const Bitmap& glyph);
    int32_t NumGlyph() const { return numGlyph_; }
    // Values below 1 are ignored.
    void SetNumGlyph(int32_t n);
    bool Beveled() const { return beveled_; }
    bool Transparent() const { return transparent_; }
    bool Flat() const { return flat_; }
    void SetBeveled(bool v) { Set(beveled_, v); }
    void SetTransparent(bool v);
    void SetFlat(bool v) { Set(flat_, v); }
    int32_t Spacing() const { return spacing_; }
    void SetSpacing(int32_t v) { Set(spacing_, v); }
    const std::string& TextOn() const { return textOn_; }
    const std::string& TextOff() const { return textOff_; }
    void SetTextOn(const std::string& v) { Set(textOn_, v); }
    void SetTextOff(const std::string& v) { Set(textOff_, v); }
    TColor TextColOn() const { return textColOn_; }
    TColor TextColOff() const { return textColOff_; }
    TColor TextColDisabled() const { return textColDisabled_; }
    void SetTextColOn(TColor c) { Set(textColOn_, c); }
    void SetTextColOff(TColor c) { Set(textColOff_, c); }
    void SetTextColDisabled(TColor c) { Set(textColDisabled_, c); }
    bool Text3D() const { return text3D_; }
    void SetText3D(bool v) { Set(text3D_, v); }

    bool MouseInside() const { return inside_; }

protected:
    void Paint() override;
    void ParamChange(TObject* sender) override;
    void StatusChanged() override;
    void Flash(bool on) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void WndProc(platform::TMessage& message) override;
    // Draws the button from the work bitmap with the four aspects on or off.
    void Draw(bool glyphOn, bool textOn, bool textColOn, bool faceColOn);

private:
    // The setter rule of the button: a different value is stored and the button redrawn.
    template <class T> void Set(T& field, const T& value) {
        if (field == value) return;
        field = value;
        StatusChanged();
    }

    bool enabled_ = true;
    TPosH posH_ = phCenter;
    TPosV posV_ = pvCenter;
    TPos posGlyph_ = pLeft;
    TAbGradSettings grad_;
    TAbBtnBevel bevel_;
    TFlashOptions flashOptions_ = foGlyph | foText | foTextCol | foBtnCol;
    TCheckedOptions checkedOptions_ = coGlyph | coText | coTextCol | coBtnCol | coBevel;
    TColor colorOn_ = platform::gfx::clBtnFace;
    TColor colorOff_ = platform::gfx::clBtnFace;
    TColor colorDisabled_ = 0x00A0A0A0;
    int32_t offsetX_ = 0;
    int32_t offsetY_ = 0;
    int32_t offsetDown_ = 1;
    Bitmap glyph_;
    int32_t numGlyph_ = 1;
    bool beveled_ = true;
    bool transparent_ = false;
    bool flat_ = false;
    int32_t spacing_ = 4;
    std::string textOn_;
    std::string textOff_;
    TColor textColOn_ = platform::gfx::clLime;
    TColor textColOff_ = platform::gfx::clBlack;
    TColor textColDisabled_ = platform::gfx::clBtnShadow;
    bool text3D_ = true;

    bool phase_ = false;
    bool painting_ = false;
    bool inside_ = false;
    Bitmap work_;
};

} // namespace gauges
