#pragma once
// A speed button: a graphic control (it never takes the focus) showing a glyph on a button face. It is
// drawn raised, sunken while the left button holds it down with the mouse over it, and with its
// disabled image while disabled; it clicks on release over itself (the control tree's click).
//
// Glyph: one bitmap holding NumGlyphs images (1 .. 4) of equal width side by side: up, disabled,
// down, and a fourth the class library keeps for latched buttons. A missing image falls back to the
// up image. The colour of the glyph's bottom-left pixel is transparent. The image is centred on the
// face and moves one pixel right and down while the button is down.
#include "platform/controls/Control.h"
#include "platform/graphics/Bitmap.h"

namespace platform {

enum class TButtonState { bsUp, bsDisabled, bsDown };

class TSpeedButton : public TGraphicControl {
public:
    explicit TSpeedButton(TComponent* owner = nullptr, const std::string& name = {});

    const gfx::Bitmap& Glyph() const { return glyph_; }
    // Copies the bitmap; an empty one removes the glyph.
    void SetGlyph(const gfx::Bitmap& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    // Values outside 1 .. 4 are ignored.
    void SetNumGlyphs(int n);

    TButtonState State() const;
    // The glyph image the button shows in its current state, transparency set.
    gfx::Bitmap CurrentImage() const;

protected:
    void Paint() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

private:
    void SetDown(bool down);

    gfx::Bitmap glyph_;
    int numGlyphs_ = 1;
    bool held_ = false; // the left button went down on this button and is not yet up
    bool down_ = false; // held with the mouse over the button
};

} // namespace platform
