#pragma once
// A grid of cells that its owner draws: column and row counts and sizes, fixed rows and columns, the
// selected cell, scrolling by the top row, the cell under a point, keys and mouse selection.
#include <functional>
#include <vector>

#include "platform/controls/WinControl.h"

namespace platform {

enum TGridOption : uint32_t {
    goFixedVertLine = 1,
    goFixedHorzLine = 2,
    goVertLine = 4,
    goHorzLine = 8,
    goDrawFocusSelected = 16,
    goRowSelect = 32,
    goThumbTracking = 64,
};
using TGridOptions = uint32_t;

enum TGridDrawStateFlag : uint8_t { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = uint8_t;

using TDrawCellEvent = std::function<void(TComponent*, int col, int row, gfx::TRect rect, TGridDrawState)>;
using TSelectCellEvent = std::function<void(TComponent*, int col, int row, bool& canSelect)>;

class TCustomGrid : public TCustomControl {
public:
    explicit TCustomGrid(TComponent* owner = nullptr, const std::string& name = {});

    int ColCount() const { return static_cast<int>(colWidths_.size()); }
    void SetColCount(int n);
    int RowCount() const { return static_cast<int>(rowHeights_.size()); }
    void SetRowCount(int n);
    int DefaultColWidth() const { return defaultColWidth_; }
    void SetDefaultColWidth(int w);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int h);
    int ColWidths(int col) const { return colWidths_.at(static_cast<size_t>(col)); }
    void SetColWidths(int col, int w);
    int RowHeights(int row) const { return rowHeights_.at(static_cast<size_t>(row)); }
    void SetRowHeights(int row, int h);
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int n);
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int n);
    int GridLineWidth = 1;
    TGridOptions Options = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine;

    int Col() const { return col_; }
    int Row() const { return row_; }
    void SetCol(int col) { FocusCell(col, row_); }
    void SetRow(int row) { FocusCell(col_, row); }
    int TopRow() const { return topRow_; }
    void SetTopRow(int row);
    // Rows fully visible below the fixed ones.
    int VisibleRowCount() const;

    // The rectangle of a cell in client coordinates (empty when it is scrolled out of view).
    gfx::TRect CellRect(int col, int row) const;
    // The cell under a client point; false outside every cell.
    bool MouseToCell(int x, int y, int& col, int& row) const;

protected:
    // Asks SelectCell, then moves the selection and scrolls it into view.
    void FocusCell(int col, int row);
    virtual bool SelectCell(int col, int row) {
        (void)col;
        (void)row;
        return true;
    }
    virtual void DrawCell(int col, int row, gfx::TRect rect, TGridDrawState state) = 0;
    void Paint() override;
    void KeyDown(uint16_t& key, TShiftState shift) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void WndProc(TMessage& message) override;

private:
    int ColLeft(int col) const;
    int RowTop(int row) const;

    int defaultColWidth_ = 64;
    int defaultRowHeight_ = 24;
    std::vector<int> colWidths_;
    std::vector<int> rowHeights_;
    int fixedCols_ = 1;
    int fixedRows_ = 1;
    int col_ = 1;
    int row_ = 1;
    int topRow_ = 1;
};

class TDrawGrid : public TCustomGrid {
public:
    using TCustomGrid::TCustomGrid;
    TDrawCellEvent OnDrawCell;
    TSelectCellEvent OnSelectCell;

protected:
    bool SelectCell(int col, int row) override;
    void DrawCell(int col, int row, gfx::TRect rect, TGridDrawState state) override;
};

} // namespace platform
