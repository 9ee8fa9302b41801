#include "platform/controls/Grids.h"

#include <algorithm>

namespace platform {

TCustomGrid::TCustomGrid(TComponent* owner, const std::string& name) : TCustomControl(owner, name) {
    SetBounds(0, 0, 320, 120);
    SetTabStop(true);
    SetColor(gfx::clWindow);
    colWidths_.assign(5, defaultColWidth_);
    rowHeights_.assign(5, defaultRowHeight_);
}

void TCustomGrid::SetColCount(int n) {
    n = std::max(n, 0);
    colWidths_.resize(static_cast<size_t>(n), defaultColWidth_);
    fixedCols_ = std::min(fixedCols_, std::max(n - 1, 0));
    col_ = std::clamp(col_, fixedCols_, std::max(n - 1, fixedCols_));
    Invalidate();
}

void TCustomGrid::SetRowCount(int n) {
    n = std::max(n, 0);
    rowHeights_.resize(static_cast<size_t>(n), defaultRowHeight_);
    fixedRows_ = std::min(fixedRows_, std::max(n - 1, 0));
    row_ = std::clamp(row_, fixedRows_, std::max(n - 1, fixedRows_));
    topRow_ = std::clamp(topRow_, fixedRows_, std::max(n - 1, fixedRows_));
    Invalidate();
}

void TCustomGrid::SetDefaultColWidth(int w) {
    defaultColWidth_ = w;
    std::fill(colWidths_.begin(), colWidths_.end(), w);
    Invalidate();
}

void TCustomGrid::SetDefaultRowHeight(int h) {
    defaultRowHeight_ = h;
    std::fill(rowHeights_.begin(), rowHeights_.end(), h);
    Invalidate();
}

void TCustomGrid::SetColWidths(int col, int w) {
    if (col < 0 || col >= ColCount()) return;
    colWidths_[static_cast<size_t>(col)] = w;
    Invalidate();
}

void TCustomGrid::SetRowHeights(int row, int h) {
    if (row < 0 || row >= RowCount()) return;
    rowHeights_[static_cast<size_t>(row)] = h;
    Invalidate();
}

void TCustomGrid::SetFixedCols(int n) {
    fixedCols_ = std::clamp(n, 0, std::max(ColCount() - 1, 0));
    col_ = std::max(col_, fixedCols_);
    Invalidate();
}

void TCustomGrid::SetFixedRows(int n) {
    fixedRows_ = std::clamp(n, 0, std::max(RowCount() - 1, 0));
    row_ = std::max(row_, fixedRows_);
    topRow_ = fixedRows_;
    Invalidate();
}

void TCustomGrid::SetTopRow(int row) {
    row = std::clamp(row, fixedRows_, std::max(RowCount() - 1, fixedRows_));
    if (row == topRow_) return;
    topRow_ = row;
    Invalidate();
}

int TCustomGrid::ColLeft(int col) const {
    int x = 0;
    for (int c = 0; c < col; ++c)
        x += colWidths_[static_cast<size_t>(c)] + GridLineWidth;
    return x;
}

int TCustomGrid::RowTop(int row) const {
    int y = 0;
    for (int r = 0; r < fixedRows_; ++r)
        y += rowHeights_[static_cast<size_t>(r)] + GridLineWidth;
    if (row < fixedRows_) {
        y = 0;
        for (int r = 0; r < row; ++r)
            y += rowHeights_[static_cast<size_t>(r)] + GridLineWidth;
        return y;
    }
    if (row < topRow_) return -1;
    for (int r = topRow_; r < row; ++r)
        y += rowHeights_[static_cast<size_t>(r)] + GridLineWidth;
    return y;
}

int TCustomGrid::VisibleRowCount() const {
    int y = RowTop(topRow_), n = 0;
    for (int r = topRow_; r < RowCount(); ++r) {
        y += rowHeights_[static_cast<size_t>(r)];
        if (y > ClientHeight()) break;
        y += GridLineWidth;
        ++n;
    }
    return std::max(n, 1);
}

gfx::TRect TCustomGrid::CellRect(int col, int row) const {
    if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return {};
    int top = RowTop(row);
    if (top < 0 || top >= ClientHeight()) return {};
    int left = ColLeft(col);
    return {left, top, left + colWidths_[static_cast<size_t>(col)],
            top + rowHeights_[static_cast<size_t>(row)]};
}

bool TCustomGrid::MouseToCell(int x, int y, int& col, int& row) const {
    col = row = -1;
    for (int c = 0; c < ColCount(); ++c) {
        gfx::TRect r{ColLeft(c), 0, ColLeft(c) + colWidths_[static_cast<size_t>(c)] + GridLineWidth, 1};
        if (x >= r.Left && x < r.Right) col = c;
    }
    auto rowAt = [&](int r) {
        int top = RowTop(r);
        return top >= 0 && y >= top && y < top + rowHeights_[static_cast<size_t>(r)] + GridLineWidth;
    };
    for (int r = 0; r < fixedRows_ && row < 0; ++r)
        if (rowAt(r)) row = r;
    for (int r = topRow_; r < RowCount() && row < 0; ++r)
        if (rowAt(r)) row = r;
    if (col < 0 || row < 0) {
        col = row = -1;
        return false;
    }
    return true;
}

void TCustomGrid::FocusCell(int col, int row) {
    if (ColCount() == 0 || RowCount() == 0) return;
    col = std::clamp(col, fixedCols_, ColCount() - 1);
    row = std::clamp(row, fixedRows_, RowCount() - 1);
    if ((col == col_ && row == row_) || !SelectCell(col, row)) return;
    col_ = col;
    row_ = row;
    if (row_ < topRow_)
        topRow_ = row_;
    else
        while (row_ >= topRow_ + VisibleRowCount() && topRow_ < row_)
            ++topRow_;
    Invalidate();
}

void TCustomGrid::Paint() {
    gfx::Canvas& c = Canvas();
    c.Brush.Color = Color();
    c.Brush.Style = gfx::bsSolid;
    c.FillRect(ClientRect());
    for (int row = 0; row < RowCount(); ++row) {
        if (row >= fixedRows_ && row < topRow_) continue;
        for (int col = 0; col < ColCount(); ++col) {
            gfx::TRect r = CellRect(col, row);
            if (r.IsEmpty()) continue;
            TGridDrawState state = 0;
            if (row < fixedRows_ || col < fixedCols_) state |= gdFixed;
            bool selected = row == row_ && ((Options & goRowSelect) || col == col_);
            if (selected && !(state & gdFixed)) {
                state |= gdSelected;
                if (Focused()) state |= gdFocused;
            }
            c.Brush.Color = (state & gdFixed)      ? gfx::clBtnFace
                            : (state & gdSelected) ? gfx::clHighlight
                                                   : Color();
            c.Brush.Style = gfx::bsSolid;
            c.FillRect(r);
            c.Font = Font();
            if (state & gdSelected) c.Font.SetColor(gfx::clHighlightText);
            DrawCell(col, row, r, state);
        }
    }
}

void TCustomGrid::KeyDown(uint16_t& key, TShiftState shift) {
    TCustomControl::KeyDown(key, shift);
    int page = std::max(VisibleRowCount() - 1, 1);
    switch (key) {
    case VK_UP:
        FocusCell(col_, row_ - 1);
        break;
    case VK_DOWN:
        FocusCell(col_, row_ + 1);
        break;
    case VK_LEFT:
        if (!(Options & goRowSelect)) FocusCell(col_ - 1, row_);
        break;
    case VK_RIGHT:
        if (!(Options & goRowSelect)) FocusCell(col_ + 1, row_);
        break;
    case VK_PRIOR:
        FocusCell(col_, row_ - page);
        break;
    case VK_NEXT:
        FocusCell(col_, row_ + page);
        break;
    case VK_HOME:
        FocusCell(col_, fixedRows_);
        break;
    case VK_END:
        FocusCell(col_, RowCount() - 1);
        break;
    default:
        break;
    }
}

void TCustomGrid::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (CanFocus()) SetFocus();
    int col, row;
    if (button == TMouseButton::mbLeft && MouseToCell(x, y, col, row) && col >= fixedCols_ &&
        row >= fixedRows_)
        FocusCell(col, row);
    TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomGrid::WndProc(TMessage& message) {
    if (message.Msg == WM_GETDLGCODE) {
        message.Result = DLGC_WANTARROWS;
        return;
    }
    TCustomControl::WndProc(message);
}

bool TDrawGrid::SelectCell(int col, int row) {
    bool can = true;
    if (OnSelectCell) OnSelectCell(this, col, row, can);
    return can;
}

void TDrawGrid::DrawCell(int col, int row, gfx::TRect rect, TGridDrawState state) {
    if (OnDrawCell) OnDrawCell(this, col, row, rect, state);
}

} // namespace platform
