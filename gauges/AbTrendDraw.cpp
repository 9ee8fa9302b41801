// The drawing half of TAbTrend: the layout of the curve area, the off-screen bitmap with grid and
// curves, what a recording tick adds and the cursor line. For now the curve area is the whole client
// area and the bitmap is only cleared: scales, grid lines, curves and labels are not drawn yet, but the
// bookkeeping the recorder relies on (drawn positions, displayed records, records that fit) is kept.
#include "gauges/AbTrend.h"

namespace gauges {

namespace gfx = platform::gfx;

void TAbTrend::Paint() {
    if (UpdateCount() > 0) return;
    paintedOnce_ = true;
    prevCursorX_ = 0;
    curveRect_ = ClientRect();
    recordsThatFit_ = curveRect_.Width();
    DrawGrid(curveRect_, true);
    if (RecordCount() > 0) DrawCurves(firstDisplayed_, RecordCount() - 1);
    CopyBitmapToControl();
}

void TAbTrend::DrawGrid(const gfx::TRect& rect, bool full) {
    if (rect.Width() < 1 && rect.Height() < 1) return;
    bitmap_.SetSize(std::max(rect.Width(), 0), std::max(rect.Height(), 0));
    if (full) {
        gfx::Canvas& c = bitmap_.GetCanvas();
        c.Brush.Style = gfx::bsSolid;
        c.Brush.Color = gfx::clBlack;
        c.FillRect({0, 0, bitmap_.Width(), bitmap_.Height()});
    }
    drawnPositions_ = 0;
}

void TAbTrend::DrawCurves(int from, int to) {
    if (!Drawable() || RecordCount() < 2) return;
    from = std::max(from, 0);
    to = std::min(to, RecordCount() - 1);
    recordInfo_.FirstDisplayedRec = from;
    recordInfo_.LastDisplayedRec = std::min(from + recordsThatFit_, to);
    drawnPositions_ = std::max(std::min(bitmap_.Width(), to - from), 0);
}

void TAbTrend::DrawCursorLine(bool) {
    prevCursorX_ = cursorX_;
}

void TAbTrend::CopyBitmapToControl() {
    if (!Drawable() || bitmap_.Empty()) return;
    Canvas().Draw(curveRect_.Left, curveRect_.Top, bitmap_);
}

void TAbTrend::RedrawView() {
    if (!Drawable()) return;
    DrawGrid(curveRect_, true);
    DrawCurves(firstDisplayed_, RecordCount() - 1);
    CopyBitmapToControl();
}

void TAbTrend::DrawNewRecords(bool firstMoved) {
    if (!Drawable()) return;
    if (firstMoved) DrawGrid(curveRect_, true);
    DrawCurves(firstDisplayed_, RecordCount() - 1);
    if (cursorShown_)
        DrawCursorLine(false);
    else
        CopyBitmapToControl();
}

void TAbTrend::PaintRecords(int from, int to) {
    if (!Drawable()) return;
    drawnPositions_ = 0;
    firstDisplayed_ = std::max(from, 0);
    DrawGrid(curveRect_, true);
    DrawCurves(std::max(from, 0), std::min(to, RecordCount() - 1));
    CopyBitmapToControl();
}

} // namespace gauges
