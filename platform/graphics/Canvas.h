#pragma once
// The one drawing object of the graphics layer: a Canvas draws on one Bitmap (an off-screen bitmap, a
// control surface seen through an origin and a visible rectangle, or a printer page). One software
// rasteriser, no antialiasing anywhere. Which pixels a primitive covers is worked out in Raster.h, how
// a colour combines with the destination in RasterOps.h; the canvas holds the drawing state and paints.
//
// Pixel rules (tests depend on them):
// - Coordinates are logical; device = logical + Origin. Every primitive clips to the clip region (the
//   visible rectangle, itself clipped to the bitmap, intersected with the application clip region)
//   before it rasterises, and does its arithmetic in 64 bits (or 128 / double), so points far outside
//   the bitmap (+-2^31) cost no more than the visible part. Pixels are painted row by row along the
//   clip region's spans.
// - Thin lines (pen width 1): pixel i of a segment from (x0, y0) to (x1, y1), i = 0 .. n - 1 with
//   n = max(|dx|, |dy|), lies at major = start + i and minor = start + floor((2 i |dminor| + |dmajor|) /
//   (2 |dmajor|)) in the direction of travel; the end point is left out, so that a polyline paints
//   each joint once.
// - Pen styles on thin lines: psDot is 1 on, 1 off; psDash 18 on, 6 off; psDashDot 9/6/3/6;
//   psDashDotDot 9/3/3/3/3/3; the pattern restarts with each segment. The gaps are painted in the brush
//   colour when the brush is solid and left alone when it is clear. psClear draws nothing.
// - Wide pens (width w > 1) are geometric strokes with round ends and joins: a pixel is painted when its
//   centre lies within w / 2 of the segment, the segment running through pixel centres for odd widths and
//   through pixel corners (up-left) for even widths. Wide pens are always solid.
// - The pen mode (all sixteen binary raster operations) applies to each pixel once per segment for thin
//   pens and once per primitive for wide pens and shape outlines; it acts bit by bit on R, G and B.
// - Polygons fill with the alternate (even-odd) rule on pixel centres, then the pen draws the closed outline.
// - Rectangle (l, t, r, b): right and bottom exclusive; a thin pen draws the border pixels of [l, r) x
//   [t, b), a wide pen a band of w pixels inside the box; the brush fills the inside of the border. With a
//   clear pen the brush fills [l, r - 1) x [t, b - 1), one pixel short on the right and bottom.
// - Ellipse, RoundRect, Pie, Arc and elliptic regions use the ellipse rule of Region.h. A thin outline is
//   every shape pixel with a 4-neighbour outside the shape; a wide outline is the shape less the shape
//   shrunk by w on every side. The brush fills the shape less its outline.
// - Arc and Pie: the start and end points give radial directions; the curve runs counter-clockwise from
//   the start direction to the end direction (equal directions: the full ellipse). A pixel belongs to the
//   sweep when the angle of its centre about the ellipse centre does. Pie adds the two radii, drawn as
//   thin lines from the centre to the ellipse in the start and end directions.
// - Text: monochrome glyphs (Font.h) in the font colour; with a solid brush the text cell is first
//   filled with the brush colour. Rotated text samples the unrotated mask at destination pixel centres.
// - Blits: StretchDraw and CopyRect scale by nearest neighbour (source pixel floor((X + 0.5 - L) x sw /
//   dw)); negative extents mirror. CopyRect and Draw apply the ROP3 CopyMode with the brush as pattern.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/Raster.h"
#include "platform/graphics/RasterOps.h"
#include "platform/graphics/Region.h"

namespace platform::gfx {

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TBrushStyle {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross
};

struct TPen {
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = psSolid;
    TPenMode Mode = pmCopy;
};

// Hatch styles are filled solid (no hatch is used by the station).
struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
};

// Text alignment flags, numbered as GDI's.
constexpr int TA_LEFT = 0;
constexpr int TA_RIGHT = 2;
constexpr int TA_CENTER = 6;
constexpr int TA_TOP = 0;
constexpr int TA_BOTTOM = 8;
constexpr int TA_BASELINE = 24;

struct TSize {
    int cx = 0;
    int cy = 0;
};

class Canvas {
public:
    // A canvas over the whole bitmap.
    explicit Canvas(Bitmap& target);
    // A control surface: logical (0, 0) at device `origin`, drawing limited to `visible` (device).
    Canvas(Bitmap& target, TPoint origin, TRect visible);

    TPen Pen;
    TBrush Brush;
    TFont Font;
    uint32_t CopyMode = SRCCOPY;
    int TextAlign = TA_LEFT | TA_TOP;
    TPoint PenPos;

    Bitmap& Target() { return *target_; }

    // Origin and clipping.
    TPoint Origin() const { return origin_; }
    void SetOrigin(TPoint p) { origin_ = p; }
    void SetVisibleRect(const TRect& deviceRect);
    // Selects a region (device coordinates) as the application clip, replacing the current one; null
    // removes it.
    void SelectClipRgn(const Region* deviceRegion);
    void IntersectClipRect(const TRect& logical);
    // The clip box in logical coordinates.
    TRect ClipRect();
    // The current application clip (device coordinates), if any.
    const std::optional<Region>& AppClip() const { return appClip_; }

    // Lines and shapes.
    void MoveTo(int x, int y) { PenPos = {x, y}; }
    void LineTo(int x, int y);
    void Polyline(const std::vector<TPoint>& points);
    void Polygon(const std::vector<TPoint>& points);
    void Rectangle(int l, int t, int r, int b);
    void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    void FillRect(const TRect& r);
    void FrameRect(const TRect& r);
    void RoundRect(int l, int t, int r, int b, int w, int h);
    void Ellipse(int l, int t, int r, int b);
    void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
    void Arc(int l, int t, int r, int b, int x3, int y3, int x4, int y4);
    void Pie(int l, int t, int r, int b, int x3, int y3, int x4, int y4);
    // Fills a region (device coordinates) with the brush.
    void FillRgn(const Region& deviceRegion);
    // A 3-D frame: Width times the top/left edges in `top`, the bottom/right edges in `bottom`, then
    // shrink by 1; on return the rectangle is the inner one.
    void Frame3D(TRect& rect, TColor top, TColor bottom, int width);

    // Pixels: GetPixel returns -1 outside the bitmap.
    TColor GetPixel(int x, int y);
    void SetPixel(int x, int y, TColor c);

    // Text.
    void TextOut(int x, int y, const std::string& text);
    void TextRect(const TRect& clip, int x, int y, const std::string& text);
    int TextWidth(const std::string& text) const;
    int TextHeight(const std::string& text) const;
    TSize TextExtent(const std::string& text) const;

    // Blits.
    void Draw(int x, int y, const Bitmap& source);
    void StretchDraw(const TRect& dest, const Bitmap& source);
    void CopyRect(const TRect& dest, Canvas& source, const TRect& sourceRect);
    void CopyRectFrom(const TRect& dest, const Bitmap& source, const TRect& sourceRect);

    // Saved drawing state (pen, brush, font, modes, origin, clip).
    struct State {
        TPen pen;
        TBrush brush;
        TFont font;
        uint32_t copyMode;
        int textAlign;
        TPoint penPos;
        TPoint origin;
        std::optional<Region> appClip;
    };
    State Save() const;
    void Restore(const State& s);

private:
    using DevicePoint = raster::DevicePoint;
    // Logical to device coordinates: device = logical + Origin, in 64 bits. A rectangle's edges are
    // held to the int range (they are clipped to the bitmap before any pixel is drawn).
    DevicePoint ToDevice(int x, int y) const;
    DevicePoint ToDevice(TPoint p) const { return ToDevice(p.X, p.Y); }
    TRect ToDevice(const TRect& logical) const;
    // The clip box and whether the clip is all of it, worked out again after a change of size or clip.
    void UpdateClip();
    // The clip region, made on demand.
    const Region& Clip();
    // The bounding box of Clip(), kept with it (device coordinates).
    const TRect& ClipBox();
    // Calls paint(y, x0, x1) for each part of device row y, columns [x0, x1), that lies in the clip.
    template <class F> void ForClipSpans(int64_t y, int64_t x0, int64_t x1, F&& paint);
    void PaintSpans(const Region& deviceRegion, uint32_t rgb, TPenMode mode);
    // A device rectangle through the clip: PaintSpans of its region, without building one when the clip
    // is a plain rectangle.
    void PaintRect(const TRect& deviceRect, uint32_t rgb, TPenMode mode);
    void PaintPixel(int64_t x, int64_t y, uint32_t rgb, TPenMode mode);
    // Pixels known to lie in the bitmap and the clip.
    void PutPixel(int x, int y, uint32_t rgb, TPenMode mode);
    void PaintRow(int y, int x0, int x1, uint32_t rgb, TPenMode mode);
    // What a thin pen paints with, worked out once for all the segments of a line or outline.
    struct ThinPen {
        uint32_t rgb = 0, bg = 0;
        TPenMode mode = pmCopy;
        bool opaqueGaps = false;
        const std::vector<int>* pattern = nullptr; // empty: solid
        TRect box;                                 // the clip box
        bool boxOnly = true;                       // the clip is all of box
        uint8_t* words = nullptr; // 32-bit rows written a word a pixel on a copy; null otherwise
        size_t rowBytes = 0;
    };
    ThinPen PrepareThinPen();
    void StrokeThin(const ThinPen& pen, DevicePoint from, DevicePoint to);
    void DrawOutline(const std::vector<TPoint>& pts, bool closed);
    // Fills and outlines a shape given row by row (device coordinates), as raster::Shape splits it;
    // extraOutline is drawn with the outline.
    void DrawShape(const TRect& box, const std::function<raster::RowSpan(int64_t)>& span,
                   const std::function<raster::RowSpan(int64_t)>& inner,
                   const std::function<bool(int64_t, int64_t)>& keep, bool fill, bool outline,
                   const Region* extraOutline);
    void Blit(const TRect& dest, const Bitmap& src, const TRect& srcRect, uint32_t rop, bool transparent,
              uint32_t transparentRgb);
    void TextOutImpl(int x, int y, const std::string& text, const TRect* clipLogical);

    Bitmap* target_;
    TPoint origin_{};
    std::optional<TRect> visible_; // device; none = the whole bitmap
    std::optional<Region> appClip_;
    Region clip_;
    TRect clipBox_;
    bool clipIsBox_ = true; // the clip region is all of clipBox_
    bool clipRowsMade_ = false; // clip_ holds the rows of the current clip
    uint64_t clipGeneration_ = UINT64_MAX;
    bool clipDirty_ = true;
};

// Saves the canvas state and restores it when it goes out of scope.
class CanvasStateSaver {
public:
    explicit CanvasStateSaver(Canvas& c) : canvas_(c), state_(c.Save()) {}
    ~CanvasStateSaver() { canvas_.Restore(state_); }
    CanvasStateSaver(const CanvasStateSaver&) = delete;
    CanvasStateSaver& operator=(const CanvasStateSaver&) = delete;

private:
    Canvas& canvas_;
    Canvas::State state_;
};

} // namespace platform::gfx
