#pragma once
// Frames of the gauges: a surface gradient, the general bevel (flat, filled or round), the button bevel
// and the two-colour frame of a value box. Each paints onto a canvas and shrinks the rectangle it is given
// to the area inside.
//
// Pixel rules:
// - A gradient frame of Width w is w one-pixel 3-D frames (top and left edges in one colour, bottom and
//   right in the other), each shrinking the rectangle by one pixel; step k of w takes its colours with
//   AbCalcColor(from, to, w, k). Raised: highlight on the top-left, shadow on the bottom-right; lowered
//   the reverse, each gradient run from its inner end.
// - A bevel line (blOuter, blInner, blBoth) is a one-pixel outline in PenColor outside or inside the frame.
// - TotalWidth = Spacing + Width + 1 per bevel line: what PaintBevel takes from each side (before Offset).
#include <memory>

#include "gauges/AbProc.h"
#include "gauges/GClass.h"
#include "platform/graphics/Bitmap.h"

namespace gauges {

enum TBevelStyle { bsLowered, bsRaised };
enum TBevelLine { blNone, blOuter, blInner, blBoth };

class TAbGradSettings : public TAbPersistent {
public:
    TColor ColorFrom() const { return colorFrom_; }
    TColor ColorTo() const { return colorTo_; }
    bool Visible() const { return visible_; }
    TGradientStyle Style() const { return style_; }
    void SetColorFrom(TColor c) { SetProperty(colorFrom_, c); }
    void SetColorTo(TColor c) { SetProperty(colorTo_, c); }
    void SetVisible(bool v) { SetProperty(visible_, v); }
    void SetStyle(TGradientStyle s) { SetProperty(style_, s); }
    // Fills the rectangle with this gradient.
    void Fill(Canvas& canvas, const TRect& rect) const {
        AbGradFill(canvas, rect, colorFrom_, colorTo_, style_);
    }
    void AssignTo(TAbPersistent& dest) const override;

private:
    friend class TAbSBevel;
    TColor colorFrom_ = 0x00E2E2E2;
    TColor colorTo_ = 0x008F8F8F;
    bool visible_ = false;
    TGradientStyle style_ = gsHorizontal1;
};

// The general bevel of the gauges.
class TAbSBevel : public TAbPersistent {
public:
    TAbSBevel();

    TBevelStyle Style() const { return style_; }
    int Spacing() const { return spacing_; }
    TBevelLine BevelLine() const { return bevelLine_; }
    int Width() const { return width_; }
    TColor Color() const { return color_; }
    TColor ColorShadowFrom() const { return shadowFrom_; }
    TColor ColorShadowTo() const { return shadowTo_; }
    TColor ColorHighLightFrom() const { return highlightFrom_; }
    TColor ColorHighLightTo() const { return highlightTo_; }
    TColor PenColor() const { return penColor_; }
    TAbOffset& Offset() { return offset_; }
    const TAbOffset& Offset() const { return offset_; }
    TAbGradSettings& SurfaceGrad() { return surfaceGrad_; }
    const TAbGradSettings& SurfaceGrad() const { return surfaceGrad_; }

    void SetStyle(TBevelStyle s) { SetProperty(style_, s); }
    void SetSpacing(int v) { SetProperty(spacing_, v); }
    void SetBevelLine(TBevelLine v) { SetProperty(bevelLine_, v); }
    void SetWidth(int v); // below 0 ignored
    void SetColor(TColor c) { SetProperty(color_, c); }
    void SetColorShadowFrom(TColor c) { SetProperty(shadowFrom_, c); }
    void SetColorShadowTo(TColor c) { SetProperty(shadowTo_, c); }
    void SetColorHighLightFrom(TColor c) { SetProperty(highlightFrom_, c); }
    void SetColorHighLightTo(TColor c) { SetProperty(highlightTo_, c); }
    void SetPenColor(TColor c) { SetProperty(penColor_, c); }

    // Recomputes TotalWidth and the cached gradient, then fires OnChange.
    void Change() override;
    int TotalWidth() const { return totalWidth_; }
    // Round bevels take their light from a cached 30 x 30 gradient; the owning control switches it on
    // (the next Change builds it).
    void SetUseCache(bool on) { useCache_ = on; }
    bool CacheExists() const { return cache_ != nullptr; }

    // The frame only; on return `rect` is the inner area (less Spacing and Offset).
    void PaintBevel(Canvas& canvas, TRect& rect) const;
    // The rectangle filled with Color, the frame, the surface gradient when visible, then the lines.
    void PaintFilledBevel(Canvas& canvas, TRect& rect) const;
    // A round bevel in the square `rect`: (dx, dy) is added to the canvas origin for the clip regions
    // (0 when the canvas itself is the target). Leaves the canvas clipped to the inner square.
    void PaintRoundBevel(Canvas& canvas, TRect& rect, int dy, int dx) const;
    // The gradient frame of Width pixels, the rectangle first filled with `color` when `fill`.
    void PaintGradBevel(Canvas& canvas, TRect& rect, TColor color, bool fill, bool raised) const;

    void AssignTo(TAbPersistent& dest) const override;

private:
    void Recompute();
    bool OuterLine() const { return bevelLine_ == blOuter || bevelLine_ == blBoth; }
    bool InnerLine() const { return bevelLine_ == blInner || bevelLine_ == blBoth; }
    // The frame with its lines, shared by the flat and the filled bevel.
    void PaintFrame(Canvas& canvas, TRect& rect, bool filled) const;

    TBevelStyle style_ = bsRaised;
    int spacing_ = 5;
    TBevelLine bevelLine_ = blNone;
    int width_ = 2;
    TColor color_ = platform::gfx::clBtnFace;
    TColor shadowFrom_ = platform::gfx::clBtnShadow;
    TColor shadowTo_ = platform::gfx::clBtnShadow;
    TColor highlightFrom_ = platform::gfx::clBtnHighlight;
    TColor highlightTo_ = platform::gfx::clBtnHighlight;
    TColor penColor_ = platform::gfx::clBlack;
    TAbOffset offset_;
    TAbGradSettings surfaceGrad_;

    int totalWidth_ = 0;
    bool useCache_ = false;
    std::unique_ptr<Bitmap> cache_;
};

// The bevel of a library-drawn button.
class TAbBtnBevel : public TAbPersistent {
public:
    TColor ShadowColFrom() const { return shadowFrom_; }
    TColor ShadowColTo() const { return shadowTo_; }
    TColor HighlightColFrom() const { return highlightFrom_; }
    TColor HighlightColTo() const { return highlightTo_; }
    int Width() const { return width_; }
    void SetShadowColFrom(TColor c) { SetProperty(shadowFrom_, c); }
    void SetShadowColTo(TColor c) { SetProperty(shadowTo_, c); }
    void SetHighlightColFrom(TColor c) { SetProperty(highlightFrom_, c); }
    void SetHighlightColTo(TColor c) { SetProperty(highlightTo_, c); }
    void SetWidth(int v); // below 0 ignored

    // The gradient frame (as TAbSBevel::PaintGradBevel) in this bevel's colours.
    void PaintBevel(Canvas& canvas, TRect& rect, TColor color, bool fill, bool raised) const;
    void AssignTo(TAbPersistent& dest) const override;

private:
    TColor shadowFrom_ = platform::gfx::clBlack;
    TColor shadowTo_ = platform::gfx::clBtnShadow;
    TColor highlightFrom_ = platform::gfx::RGB(210, 210, 210);
    TColor highlightTo_ = platform::gfx::clBtnHighlight;
    int width_ = 2;
};

// The frame colours of a value box.
class TAbBevelSettings : public TAbPersistent {
public:
    TColor ColorFrom() const { return colorFrom_; }
    TColor ColorTo() const { return colorTo_; }
    int Width() const { return width_; }
    void SetColorFrom(TColor c) { SetProperty(colorFrom_, c); }
    void SetColorTo(TColor c) { SetProperty(colorTo_, c); }
    void SetWidth(int v) { SetProperty(width_, v); }
    // Exchanges ColorFrom and ColorTo, then Change.
    void SwapColors();
    void AssignTo(TAbPersistent& dest) const override;

private:
    TColor colorFrom_ = platform::gfx::clWhite;
    TColor colorTo_ = 0x00737373;
    int width_ = 2;
};

} // namespace gauges
