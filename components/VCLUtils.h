#pragma once
// Small helpers of the form components: resource texts, integer minimum and maximum, and the
// edge-inclusive point-in-rectangle test that the bars and grids use for hit-testing.
#include "platform/graphics/Types.h"

#include <memory>
#include <string>

#include "platform/controls/Control.h"
#include "platform/controls/ImgList.h"
#include "platform/controls/StdCtrls.h"
#include "platform/graphics/Canvas.h"

namespace components {

// Resource texts are the program's own: the text is returned as it stands.
std::string ResStr(const std::string& text);

int Max(int a, int b);
int Min(int a, int b);
void SwapInt(int& a, int& b);

// True when P lies in R with all four edges included (Right and Bottom too, unlike TRect::Contains).
bool PointInRect(const platform::gfx::TPoint& p, const platform::gfx::TRect& r);

// Cursor ids of the form components: the hand and the dragging hand, registered with the screen under
// the cursor resources "RX_HANDCUR" and "RX_DRAGCUR" (done once, by the first component that needs them).
inline constexpr int crHand = 14000;
inline constexpr int crDragHand = 14001;
void RegisterRxCursors();

enum class TVertAlignment { vaTopJustify, vaCenter, vaBottomJustify };
enum class TFillDirection { fdTopToBottom, fdBottomToTop, fdLeftToRight, fdRightToLeft };

// Width nested focus rectangles (each one pixel inside the previous) inverted on the screen's device
// context: drawing the same frame twice leaves the screen as it was.
void DrawInvertFrame(const platform::gfx::TRect& screenRect, int width);
// S as the text of a grid cell: inset by 2 pixels, aligned horizontally and vertically, the horizontal
// alignment mirrored for right-to-left. Drawn on the control's canvas.
void DrawCellText(platform::TControl* control, int col, int row, const std::string& s,
                  const platform::gfx::TRect& rect, platform::widgets::TAlignment alignment,
                  TVertAlignment vertAlignment, bool rightToLeft);
// Colors bands from StartColor to EndColor across Rect (at least 1, at most 256 bands).
void GradientFillRect(platform::gfx::Canvas& canvas, const platform::gfx::TRect& rect,
                      platform::gfx::TColor startColor, platform::gfx::TColor endColor,
                      TFillDirection direction, int colors);
// Image Index as a disabled (embossed) picture: the highlight copy 1 pixel down and right first when
// DrawHighlight, then the grey copy at (X, Y).
void ImageListDrawDisabled(const platform::TImageList& images, platform::gfx::Canvas& canvas, int x, int y,
                           int index, platform::gfx::TColor highlightColor, platform::gfx::TColor grayColor,
                           bool drawHighlight);
// A new bitmap of Bitmap's size in the disabled look: BackColor everywhere, and where Bitmap is not its
// background (the colour of its bottom-left pixel) the highlight copy shifted by one pixel and the
// shadow (outline) copy.
std::unique_ptr<platform::gfx::Bitmap>
CreateDisabledBitmapEx(const platform::gfx::Bitmap& bitmap, platform::gfx::TColor outlineColor,
                       platform::gfx::TColor backColor, platform::gfx::TColor highlightColor,
                       platform::gfx::TColor shadowColor, bool drawHighlight);
// Draws Bitmap at (X, Y) leaving its pixels of TransparentColor unpainted.
void DrawBitmapTransparent(platform::gfx::Canvas& canvas, int x, int y, const platform::gfx::Bitmap& bitmap,
                           platform::gfx::TColor transparentColor);
// Cell Index (row by row) of Source cut into Cols x Rows equal cells, into Dest (sized to one cell).
// Nothing happens for counts below 1 or an index out of range.
void AssignBitmapCell(const platform::gfx::Bitmap& source, platform::gfx::Bitmap& dest, int cols, int rows,
                      int index);

} // namespace components
