#pragma once
// The level bar of the gauges: a bar, an LED bar or a point marker for a per-mille level, with the value
// text laid over it so that it stays legible over the lit and the unlit part.
//
// Geometry, L being the bar's length (its width when it is wider than high, else its height; vertical
// bars grow upward from the bottom edge):
// - bsBar: pixels [start, round(ppt x L / 1000)), start = 0, or round(zero x L / 1000) with opBidir
//   (either order, so a bidirectional bar grows from its zero mark both ways);
// - bsPoint: 3 pixels from round(ppt x (L - 3) / 1000);
// - bsLED_Bar: round(L / 4) segments of 3 lit pixels and a 1-pixel gap, starting at
//   (L + 1 - 4 x count) div 2; round(ppt x L / 4000) segments lit.
// The value text is drawn in the button-highlight colour on black and combined onto the bar with an
// exclusive-or copy.
#include <cstdint>
#include <string>

#include "gauges/AbBevel.h"
#include "platform/graphics/Font.h"

namespace gauges {

enum TBarStyle { bsBar, bsLED_Bar, bsPoint };
enum TBarOption : uint8_t { opValue = 1, opUnit = 2, opUseSectorCol = 4, opBidir = 8 };
using TBarOptions = uint8_t;

class TBarSettings : public TAbPersistent {
public:
    TBarSettings();

    TBarStyle Style() const { return style_; }
    TBarOptions Options() const { return options_; }
    TColor Color() const { return color_; }
    TColor BkColor() const { return bkColor_; }
    platform::gfx::TFont& Font() { return font_; }
    TAbSBevel& Bevel() { return bevel_; }
    int MinWidth() const { return minWidth_; }
    int MinHeight() const { return minHeight_; }
    void SetStyle(TBarStyle s) { SetProperty(style_, s); }
    void SetOptions(TBarOptions o) { SetProperty(options_, o); }
    void SetColor(TColor c) { SetProperty(color_, c); }
    void SetBkColor(TColor c) { SetProperty(bkColor_, c); }
    void SetFont(const platform::gfx::TFont& font);
    void SetBevel(const TAbSBevel& bevel) { bevel_.Assign(bevel); }
    // Values of 0 or below are ignored; an accepted value notifies even when unchanged.
    void SetMinWidth(int v);
    void SetMinHeight(int v);

    // Set by the owning control.
    TRect BarRect;
    std::string ValueText;
    std::string UnitText;
    TColor SectorColor = platform::gfx::clLime;
    int32_t ZeroPPT = 0; // the zero mark of a bidirectional bar, per mille

    // Draws the bar for the level ppt (0 .. 1000) at BarRect's top-left.
    void PaintBar(Canvas& canvas, int32_t ppt) const;

    void AssignTo(TAbPersistent& dest) const override;

private:
    void PaintAlong(Canvas& canvas, int32_t ppt, bool horizontal) const;

    TBarStyle style_ = bsBar;
    TBarOptions options_ = 0;
    TColor color_ = platform::gfx::clLime;
    TColor bkColor_ = platform::gfx::clBlack;
    platform::gfx::TFont font_;
    TAbSBevel bevel_;
    int minWidth_ = 5;
    int minHeight_ = 5;
};

} // namespace gauges
