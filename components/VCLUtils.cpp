#include "components/VCLUtils.h"

#include <algorithm>
#include <utility>

#include "platform/controls/Screen.h"
#include "platform/graphics/DrawText.h"

namespace components {

std::string ResStr(const std::string& text) {
    return text;
}

int Max(int a, int b) {
    return a > b ? a : b;
}

int Min(int a, int b) {
    return a < b ? a : b;
}

void SwapInt(int& a, int& b) {
    std::swap(a, b);
}

bool PointInRect(const platform::gfx::TPoint& p, const platform::gfx::TRect& r) {
    return p.X >= r.Left && p.X <= r.Right && p.Y >= r.Top && p.Y <= r.Bottom;
}

} // namespace components

namespace components {

using namespace platform;
using namespace platform::widgets;
using gfx::TColor;
using gfx::TRect;

void RegisterRxCursors() {
    if (Screen->CursorResource(crHand).empty()) Screen->SetCursorResource(crHand, "RX_HANDCUR");
    if (Screen->CursorResource(crDragHand).empty()) Screen->SetCursorResource(crDragHand, "RX_DRAGCUR");
}

void DrawInvertFrame(const TRect& screenRect, int width) {
    gfx::Canvas canvas(Screen->Desktop());
    TRect r = screenRect;
    for (int i = 0; i < width && !r.IsEmpty(); ++i) {
        // A focus rectangle by inversion: the border pixels of r, each inverted once.
        gfx::Bitmap& d = Screen->Desktop();
        auto invert = [&](int x, int y) {
            if (x < 0 || y < 0 || x >= d.Width() || y >= d.Height()) return;
            d.SetRgb(x, y, ~d.GetRgb(x, y) & 0xFFFFFF);
        };
        for (int x = r.Left; x < r.Right; ++x) {
            invert(x, r.Top);
            if (r.Bottom - 1 > r.Top) invert(x, r.Bottom - 1);
        }
        for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
            invert(r.Left, y);
            if (r.Right - 1 > r.Left) invert(r.Right - 1, y);
        }
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
}

void DrawCellText(TControl* control, int col, int row, const std::string& s, const TRect& rect,
                  TAlignment alignment, TVertAlignment vertAlignment, bool rightToLeft) {
    (void)col;
    (void)row;
    if (!control) return;
    gfx::Canvas& c = control->Canvas();
    TRect r{rect.Left + 2, rect.Top + 2, rect.Right - 2, rect.Bottom - 2};
    if (rightToLeft && alignment != TAlignment::taCenter)
        alignment =
            alignment == TAlignment::taLeftJustify ? TAlignment::taRightJustify : TAlignment::taLeftJustify;
    unsigned flags = gfx::DT_SINGLELINE | gfx::DT_NOPREFIX;
    flags |= alignment == TAlignment::taCenter         ? gfx::DT_CENTER
             : alignment == TAlignment::taRightJustify ? gfx::DT_RIGHT
                                                       : gfx::DT_LEFT;
    flags |= vertAlignment == TVertAlignment::vaCenter          ? gfx::DT_VCENTER
             : vertAlignment == TVertAlignment::vaBottomJustify ? gfx::DT_BOTTOM
                                                                : 0;
    gfx::TBrushStyle saved = c.Brush.Style;
    c.Brush.Style = gfx::bsClear;
    gfx::DrawText(c, s, r, flags);
    c.Brush.Style = saved;
}

void GradientFillRect(gfx::Canvas& canvas, const TRect& rect, TColor startColor, TColor endColor,
                      TFillDirection direction, int colors) {
    if (rect.IsEmpty()) return;
    colors = std::clamp(colors, 1, 256);
    TColor from = gfx::ColorToRGB(startColor), to = gfx::ColorToRGB(endColor);
    bool vertical = direction == TFillDirection::fdTopToBottom || direction == TFillDirection::fdBottomToTop;
    bool reversed = direction == TFillDirection::fdBottomToTop || direction == TFillDirection::fdRightToLeft;
    int extent = vertical ? rect.Height() : rect.Width();
    colors = std::min(colors, extent);
    auto mix = [&](int a, int b, int i) { return colors == 1 ? a : a + (b - a) * i / (colors - 1); };
    gfx::TBrush saved = canvas.Brush;
    canvas.Brush.Style = gfx::bsSolid;
    for (int i = 0; i < colors; ++i) {
        int band = reversed ? colors - 1 - i : i;
        int begin = extent * band / colors, end = extent * (band + 1) / colors;
        canvas.Brush.Color = gfx::RGB(mix(gfx::GetRValue(from), gfx::GetRValue(to), i),
                                      mix(gfx::GetGValue(from), gfx::GetGValue(to), i),
                                      mix(gfx::GetBValue(from), gfx::GetBValue(to), i));
        TRect r = vertical ? TRect{rect.Left, rect.Top + begin, rect.Right, rect.Top + end}
                           : TRect{rect.Left + begin, rect.Top, rect.Left + end, rect.Bottom};
        canvas.FillRect(r);
    }
    canvas.Brush = saved;
}

void ImageListDrawDisabled(const TImageList& images, gfx::Canvas& canvas, int x, int y, int index,
                           TColor highlightColor, TColor grayColor, bool drawHighlight) {
    if (index < 0 || index >= images.Count()) return;
    auto silhouette = [&](int ox, int oy, TColor color) {
        for (int py = 0; py < images.Height(); ++py)
            for (int px = 0; px < images.Width(); ++px)
                if (images.Opaque(index, px, py)) canvas.SetPixel(ox + px, oy + py, color);
    };
    if (drawHighlight) silhouette(x + 1, y + 1, highlightColor);
    silhouette(x, y, grayColor);
}

std::unique_ptr<gfx::Bitmap> CreateDisabledBitmapEx(const gfx::Bitmap& bitmap, TColor outlineColor,
                                                    TColor backColor, TColor highlightColor,
                                                    TColor shadowColor, bool drawHighlight) {
    (void)shadowColor; // the outline is the shadow of the embossed picture
    auto result = std::make_unique<gfx::Bitmap>(bitmap.Width(), bitmap.Height());
    if (bitmap.Empty()) return result;
    gfx::Canvas c(*result);
    c.Brush.Color = backColor;
    c.Brush.Style = gfx::bsSolid;
    c.FillRect({0, 0, bitmap.Width(), bitmap.Height()});
    uint32_t background = bitmap.GetRgb(0, bitmap.Height() - 1);
    auto paint = [&](int dx, int dy, TColor color) {
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x)
                if (bitmap.GetRgb(x, y) != background) c.SetPixel(x + dx, y + dy, color);
    };
    if (drawHighlight) paint(1, 1, highlightColor);
    paint(0, 0, outlineColor);
    return result;
}

void DrawBitmapTransparent(gfx::Canvas& canvas, int x, int y, const gfx::Bitmap& bitmap,
                           TColor transparentColor) {
    uint32_t key = gfx::ColorToRgb32(gfx::ColorToRGB(transparentColor));
    for (int py = 0; py < bitmap.Height(); ++py)
        for (int px = 0; px < bitmap.Width(); ++px)
            if (bitmap.GetRgb(px, py) != key) canvas.SetPixel(x + px, y + py, bitmap.GetPixel(px, py));
}

void AssignBitmapCell(const gfx::Bitmap& source, gfx::Bitmap& dest, int cols, int rows, int index) {
    if (cols < 1 || rows < 1 || index < 0 || index >= cols * rows) return;
    int w = source.Width() / cols, h = source.Height() / rows;
    dest.SetSize(w, h);
    if (w == 0 || h == 0) return;
    int cx = index % cols, cy = index / cols;
    gfx::Canvas c(dest);
    c.CopyRectFrom({0, 0, w, h}, source, {cx * w, cy * h, cx * w + w, cy * h + h});
}

} // namespace components
