#include "extra/SbSetup.h"

#include <algorithm>

#include "extra/BtnControl.h"
#include "extra/SpeedBar.h"
#include "platform/controls/Application.h"
#include "platform/IniFile.h"
#include "platform/controls/Screen.h"
#include "platform/controls/SystemMetrics.h"

namespace extra {

using namespace platform;
using namespace platform::widgets;
using gfx::TPoint;
using gfx::TRect;

namespace {
template <class T> T* Place(TForm* form, int left, int top, int width, int height) {
    auto* c = new T(form);
    c->SetParent(form);
    c->SetBounds(left, top, width, height);
    return c;
}

TDrawGrid* MakeList(TForm* form, int left, int width, int colWidth, int rowHeight) {
    auto* grid = Place<TDrawGrid>(form, left, 30, width, 188);
    grid->SetColCount(1);
    grid->SetFixedCols(0);
    grid->SetRowCount(1);
    grid->SetFixedRows(0);
    grid->SetDefaultColWidth(colWidth);
    grid->SetDefaultRowHeight(rowHeight);
    grid->Options = goRowSelect | goDrawFocusSelected;
    return grid;
}
} // namespace

TSpeedbarSetupWindow::TSpeedbarSetupWindow(TComponent* owner)
    : TForm(owner), buttonImage_(std::make_unique<components::TButtonImage>()) {
    SetBounds(0, 0, 421, 262);
    BorderStyle = TFormBorderStyle::bsDialog;
    BorderIcons = 0;
    FormStyle = TFormStyle::fsStayOnTop;
    Position = TPosition::poScreenCenter;
    Font().SetName("MS Sans Serif");
    Font().SetSize(8);
    Font().SetStyle(SystemMetrics().NewStyleControls ? 0 : gfx::fsBold);

    Bevel1 = Place<TBevel>(this, 4, 4, 328, 221);
    Bevel1->Shape = TBevelShape::bsFrame;
    CategoriesLabel = Place<TLabel>(this, 12, 11, 81, 13);
    ButtonsLabel = Place<TLabel>(this, 146, 11, 119, 13);
    SectionList = MakeList(this, 12, 129, 127, 15);
    ButtonsList = MakeList(this, 146, 179, 169, 26);
    ButtonsLabel->FocusControl = ButtonsList;
    HintLabel = Place<TLabel>(this, 8, 231, 407, 29);
    HintLabel->SetAutoSize(false);
    HintLabel->SetWordWrap(true);
    CloseBtn = Place<TButton>(this, 339, 12, 77, 25);
    CloseBtn->Cancel = true;
    CloseBtn->ModalResult = mrOk;
    CloseBtn->Default = false;
    HelpBtn = Place<TButton>(this, 339, 44, 77, 25);
    SetActiveControl(SectionList);

    SetCaption("Customize Speedbar");
    CategoriesLabel->SetCaption("&Categories:");
    ButtonsLabel->SetCaption("&Available buttons:");
    HintLabel->SetCaption(
        "To add command buttons, drag and drop buttons onto the SpeedBar. To remove command "
        "buttons, drag them off of the SpeedBar.");
    CloseBtn->SetCaption("OK");
    HelpBtn->SetCaption("&Help");

    SectionList->OnDrawCell = [this](TComponent*, int, int row, TRect r, TGridDrawState) {
        SectionListDrawCell(row, r);
    };
    SectionList->OnSelectCell = [this](TComponent*, int, int row, bool&) { FillButtons(row); };
    ButtonsList->OnDrawCell = [this](TComponent*, int, int row, TRect r, TGridDrawState) {
        ButtonsListDrawCell(row, r);
    };
    ButtonsList->OnSelectCell = [this](TComponent*, int, int row, bool& can) {
        can = !dragging_;
        if (!can) return;
        TSpeedItem* item = ItemAt(CurrentSection(), row);
        SetHint(item ? item->Hint() : std::string());
    };
    ButtonsList->OnMouseDown = [this](TComponent*, TMouseButton b, TShiftState, int x, int y) {
        ButtonsListMouseDown(b, x, y);
    };
    ButtonsList->OnMouseMove = [this](TComponent*, TShiftState, int x, int y) { ButtonsListMouseMove(x, y); };
    ButtonsList->OnMouseUp = [this](TComponent*, TMouseButton, TShiftState, int x, int y) {
        ButtonsListMouseUp(x, y);
    };
    CloseBtn->OnClick = [this](TComponent*) { Close(); };
    HelpBtn->OnClick = [this](TComponent*) { Application->HelpContext(HelpContext); };
    OnShow = [this](TComponent*) { FormShow(); };
    OnClose = [this](TComponent*, TCloseAction& action) { FormClose(action); };
    Refill(-1);
}

TSpeedbarSetupWindow::~TSpeedbarSetupWindow() {
    dragImage_.reset();
    if (bar_) bar_->SetEditing(0);
    bar_ = nullptr;
}

void TSpeedbarSetupWindow::SetSpeedBar(TSpeedBar* bar) {
    if (bar_ && bar_ != bar) bar_->SetEditing(0);
    bar_ = bar;
    if (bar_) bar_->SetEditing(Handle());
    AdjustListHeights();
    Refill(0);
}

bool TSpeedbarSetupWindow::BarUsable() const {
    return bar_ && bar_->Owner() && bar_->Parent();
}

int TSpeedbarSetupWindow::CurrentSection() const {
    if (!BarUsable() || bar_->SectionCount() == 0) return -1;
    return std::min(SectionList->Row(), bar_->SectionCount() - 1);
}

TSpeedItem* TSpeedbarSetupWindow::ItemAt(int section, int row) const {
    return BarUsable() ? bar_->Items(section, row) : nullptr;
}

void TSpeedbarSetupWindow::Refill(int section) {
    int sections = BarUsable() ? bar_->SectionCount() : 0;
    SectionList->SetRowCount(sections);
    SectionList->SetColWidths(0, SectionList->ClientWidth());
    if (section >= 0 && section < sections) SectionList->SetRow(section);
    FillButtons(CurrentSection());
}

void TSpeedbarSetupWindow::FillButtons(int section) {
    ButtonsList->SetRowCount(BarUsable() ? bar_->ItemsCount(section) : 0);
    ButtonsList->SetColWidths(0, ButtonsList->ClientWidth());
    ButtonsList->Invalidate();
}

void TSpeedbarSetupWindow::AdjustListHeights() {
    if (!bar_) return;
    int h = (186 * Screen->PixelsPerInch + 48) / 96;
    int rowHeight = bar_->BtnHeight() + 2;
    ButtonsList->SetDefaultRowHeight(rowHeight);
    int height = std::min(h, rowHeight * std::max(1, std::max(ButtonsList->ClientHeight(), h) / rowHeight));
    ButtonsList->SetHeight(height);
    SectionList->SetHeight(height);
    SectionList->SetDefaultRowHeight(Canvas().TextHeight("Wg") + 2);
}

void TSpeedbarSetupWindow::SectionListDrawCell(int row, const TRect& rect) {
    if (!BarUsable() || row >= bar_->SectionCount()) return;
    components::DrawCellText(SectionList, 0, row, bar_->Sections(row)->Caption(), rect,
                             TAlignment::taLeftJustify, components::TVertAlignment::vaCenter, false);
}

void TSpeedbarSetupWindow::ButtonsListDrawCell(int row, const TRect& rect) {
    if (TSpeedItem* item = ItemAt(CurrentSection(), row))
        DrawCellButton(ButtonsList, rect, item, *buttonImage_, false);
}

TRect TSpeedbarSetupWindow::ImageRect(int x, int y) const {
    TPoint cursor = ClientToScreen(ButtonsList, {x, y});
    return {cursor.X - bar_->BtnWidth(), cursor.Y - bar_->BtnHeight(), cursor.X, cursor.Y};
}

void TSpeedbarSetupWindow::ButtonsListMouseDown(TMouseButton button, int x, int y) {
    (void)y;
    if (button != TMouseButton::mbLeft || !BarUsable() || x >= bar_->BtnWidth() + 2) return;
    TSpeedItem* item = ItemAt(CurrentSection(), ButtonsList->Row());
    if (!item) return;
    dragging_ = true;
    listCursor_ = ButtonsList->Cursor();
    if (item->Visible()) {
        // Already on the bar: a drag that can drop nowhere.
        dragItem_ = nullptr;
        ButtonsList->SetCursor(crNoDrop);
        return;
    }
    dragItem_ = item;
    dragImage_ = std::make_unique<TBtnControl>();
    dragImage_->AssignSpeedItem(item);
}

void TSpeedbarSetupWindow::ButtonsListMouseMove(int x, int y) {
    if (!dragging_ || !dragItem_ || !dragImage_ || !BarUsable()) return;
    dragImage_->Activate(ImageRect(x, y));
}

void TSpeedbarSetupWindow::ButtonsListMouseUp(int x, int y) {
    if (!dragging_) return;
    dragging_ = false;
    dragImage_.reset();
    TSpeedItem* item = dragItem_;
    dragItem_ = nullptr;
    if (!item || !BarUsable()) {
        ButtonsList->SetCursor(listCursor_);
        return;
    }
    TRect r = ImageRect(x, y);
    TPoint corner{r.Left, r.Top};
    if (FindSpeedBar(corner) != bar_) return;
    TPoint p = ScreenToClient(bar_, corner);
    if (bar_->AcceptDropItem(item, p.X, p.Y)) ButtonsList->Invalidate();
}

void TSpeedbarSetupWindow::FormShow() {
    AdjustListHeights();
}

void TSpeedbarSetupWindow::FormClose(TCloseAction& action) {
    action = TCloseAction::caFree;
    dragImage_.reset();
    SetSpeedBar(nullptr);
}

void TSpeedbarSetupWindow::WndProc(TMessage& message) {
    if (message.Msg == CM_SPEEDBARCHANGED) {
        if (!bar_ || message.LParam != reinterpret_cast<LPARAM>(bar_)) return;
        switch (message.WParam) {
        case kSbItemLeft:
            Refill(CurrentSection());
            break;
        case kSbBarDestroyed:
            // The bar is going away: forget it without calling back into it.
            bar_ = nullptr;
            Refill(-1);
            Close();
            break;
        case kSbSizeChanged:
            AdjustListHeights();
            break;
        default:
            break;
        }
        return;
    }
    TForm::WndProc(message);
}

void ShowSpeedbarSetupWindow(TSpeedBar* speedbar, int helpContext) {
    if (!speedbar) return;
    TSpeedbarSetupWindow* window = nullptr;
    for (int i = 0; i < Screen->FormCount() && !window; ++i) {
        auto* w = dynamic_cast<TSpeedbarSetupWindow*>(Screen->Forms(i));
        if (w && w->SpeedBar() == speedbar) window = w;
    }
    if (!window) {
        window = new TSpeedbarSetupWindow(nullptr);
        window->SetSpeedBar(speedbar);
    }
    window->HelpContext = helpContext > 0 ? helpContext : 0;
    window->HelpBtn->SetVisible(helpContext > 0);
    window->BorderIcons = biSystemMenu;
    window->Show();
    window->Minimized = false;
}

} // namespace extra
