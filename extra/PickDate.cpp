#include "extra/PickDate.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "components/VCLUtils.h"
#include "platform/Exceptions.h"
#include "platform/Strings.h"
#include "platform/controls/Screen.h"
#include "platform/controls/SystemMetrics.h"

namespace extra {

using namespace platform;
using namespace platform::widgets;
using gfx::TPoint;
using gfx::TRect;

namespace {
int Scaled(int v) {
    return (v * Screen->PixelsPerInch + 48) / 96;
}

// The message font, or "MS Sans Serif" 8 in the window-text colour when it cannot be read.
void SetMessageFont(gfx::TFont& font) {
    if (!GetNonClientMessageFont(font)) {
        font.SetName("MS Sans Serif");
        font.SetSize(8);
        font.SetStyle(0);
        font.SetColor(gfx::clWindowText);
    }
}

TDateTime Today() {
    return platform::Date();
}
} // namespace

TRxTimerSpeedButton::TRxTimerSpeedButton(TComponent* owner, const std::string& name)
    : TRxSpeedButton(owner, name) {
    SetAllowTimer(true);
    SetStyle(components::TButtonStyle::bsWin31);
}

// ---- calendar grid ----

TRxCalendar::TRxCalendar(TComponent* owner, const std::string& name)
    : TCustomGrid(owner, name), date_(Today()) {
    SetColCount(7);
    SetRowCount(7);
    SetFixedCols(0);
    SetFixedRows(1);
    Options = goFixedVertLine | goFixedHorzLine;
    FitCells();
    SelectDayCell();
}

void TRxCalendar::SetBounds(int left, int top, int width, int height) {
    TCustomGrid::SetBounds(left, top, width, height);
    FitCells();
}

void TRxCalendar::FitCells() {
    if (ColCount() != 7 || RowCount() != 7) return;
    SetDefaultColWidth(std::max(ClientWidth() / 7 - GridLineWidth, 1));
    SetDefaultRowHeight(std::max(ClientHeight() / 7 - GridLineWidth, 1));
}

int TRxCalendar::MonthOffset() const {
    int first = DayOfWeek(EncodeDate(Year(), Month(), 1)); // Sunday = 1
    int offset = 2 - ((first - static_cast<int>(startOfWeek_) + 7) % 7);
    return offset == 2 ? -5 : offset;
}

int TRxCalendar::DayAt(int col, int row) const {
    if (row < 1 || col < 0 || col > 6) return 0;
    int day = MonthOffset() + col + (row - 1) * 7;
    return day >= 1 && day <= DaysPerMonth(Year(), Month()) ? day : 0;
}

std::string TRxCalendar::CellText(int col, int row) const {
    if (row == 0) return FormatSettings().ShortDayNames[static_cast<size_t>((startOfWeek_ + col) % 7)];
    int day = DayAt(col, row);
    return day ? std::to_string(day) : std::string();
}

void TRxCalendar::SelectDayCell() {
    int index = Day() - MonthOffset();
    updating_ = true;
    FocusCell(index % 7, index / 7 + 1);
    updating_ = false;
}

void TRxCalendar::Change() {
    if (OnChange) OnChange(this);
}

void TRxCalendar::ChangeDate(TDateTime date) {
    if (!platform::IsValidDateTime(date)) throw EConvertError("Invalid argument to date encode");
    date = CutTime(date);
    if (date == date_) return;
    date_ = date;
    useCurrentDate_ = useCurrentDate_ && date == Today();
    SelectDayCell();
    Invalidate();
    Change();
}

void TRxCalendar::SetCalendarDate(TDateTime date) {
    ChangeDate(date);
}

void TRxCalendar::SetDay(int day) {
    if (day < 1 || day > DaysPerMonth(Year(), Month())) return;
    ChangeDate(EncodeDate(Year(), Month(), day));
}

void TRxCalendar::SetMonth(int month) {
    if (month < 1 || month > 12) return;
    ChangeDate(EncodeDate(Year(), month, std::min(Day(), DaysPerMonth(Year(), month))));
}

void TRxCalendar::SetYear(int year) {
    if (year < 1 || year > 9999) return;
    ChangeDate(EncodeDate(year, Month(), std::min(Day(), DaysPerMonth(year, Month()))));
}

void TRxCalendar::ChangeMonth(int delta) {
    ChangeDate(IncMonth(date_, delta));
}

void TRxCalendar::ChangeYear(int delta) {
    TDateTime date = date_;
    if (IsLeapYear(Year()) && Month() == 2 && Day() == 29) date = EncodeDate(Year(), 2, 28);
    ChangeDate(IncYear(date, delta));
}

void TRxCalendar::SetStartOfWeek(TDayOfWeekName day) {
    if (day == startOfWeek_) return;
    startOfWeek_ = day;
    SelectDayCell();
    Invalidate();
}

void TRxCalendar::SetUseCurrentDate(bool v) {
    useCurrentDate_ = v;
    if (v) {
        ChangeDate(Today());
        useCurrentDate_ = true;
    }
}

void TRxCalendar::SetWeekendColor(gfx::TColor c) {
    if (c == weekendColor_) return;
    weekendColor_ = c;
    Invalidate();
}

void TRxCalendar::SetWeekends(TDaysOfWeek days) {
    if (days == weekends_) return;
    weekends_ = days;
    Invalidate();
}

bool TRxCalendar::SelectCell(int col, int row) {
    if (updating_) return true;
    int day = DayAt(col, row);
    if (ReadOnly || day == 0) return false;
    SetDay(day);
    return true;
}

void TRxCalendar::DrawCell(int col, int row, TRect rect, TGridDrawState state) {
    gfx::Canvas& c = Canvas();
    auto weekday = static_cast<TDayOfWeekName>((startOfWeek_ + col) % 7);
    if (weekends_.Contains(weekday) && !(state & gdSelected)) c.Font.SetColor(weekendColor_);
    c.Brush.Style = gfx::bsClear;
    gfx::DrawText(c, CellText(col, row), rect, gfx::DT_CENTER | gfx::DT_VCENTER | gfx::DT_SINGLELINE);
    c.Brush.Style = gfx::bsSolid;
}

void TRxCalendar::KeyDown(uint16_t& key, TShiftState shift) {
    if (key == VK_RIGHT || key == VK_LEFT) {
        if (OnKeyDown) OnKeyDown(this, key, shift);
        if (key == VK_RIGHT) NextDay();
        if (key == VK_LEFT) PrevDay();
        key = 0;
        return;
    }
    TCustomGrid::KeyDown(key, shift);
}

void TRxCalendar::WndProc(TMessage& message) {
    if (message.Msg == WM_CHAR) {
        switch (static_cast<char>(message.WParam)) {
        case '+':
            NextDay();
            break;
        case '-':
            PrevDay();
            break;
        case 'T':
        case 't':
            ChangeDate(Today());
            break;
        default:
            break;
        }
        return;
    }
    TCustomGrid::WndProc(message);
    if (message.Msg == WM_GETDLGCODE && WantTabs) message.Result |= DLGC_WANTTAB;
}

TLocCalendar::TLocCalendar(TComponent* owner, const std::string& name) : TRxCalendar(owner, name) {
    SetTabStop(false);
    SetUseCurrentDate(false);
    SetCalendarDate(Today());
}

void TLocCalendar::DrawCell(int col, int row, TRect rect, TGridDrawState state) {
    TRxCalendar::DrawCell(col, row, rect, state);
    int day = DayAt(col, row);
    if (day == 0 || EncodeDate(Year(), Month(), day) != Today()) return;
    TRect frame = rect;
    Canvas().Frame3D(frame, gfx::clBtnShadow, gfx::clBtnHighlight, 1);
}

// ---- title bar ----

TCalendarTitle::TCalendarTitle(TComponent* owner, TRxCalendar* calendar)
    : TPanel(owner), calendar_(calendar) {
    SetBevelOuter(TBevelCut::bvNone);
    auto button = [&](const std::function<void()>& step) {
        auto* b = new TRxTimerSpeedButton(owner);
        b->SetParent(this);
        b->SetFlat(true);
        b->OnClick = [step](TComponent*) { step(); };
        return b;
    };
    PrevYearBtn = button([this] { calendar_->PrevYear(); });
    PrevYearBtn->SetCaption("<<");
    PrevMonthBtn = button([this] { calendar_->PrevMonth(); });
    PrevMonthBtn->SetCaption("<");
    NextMonthBtn = button([this] { calendar_->NextMonth(); });
    NextMonthBtn->SetCaption(">");
    NextYearBtn = button([this] { calendar_->NextYear(); });
    NextYearBtn->SetCaption(">>");
    TitleLabel = new TLabel(owner);
    TitleLabel->SetParent(this);
    TitleLabel->SetAutoSize(false);
    TitleLabel->SetAlignment(TAlignment::taCenter);
    TitleLabel->SetLayout(TTextLayout::tlCenter);
    // A double click on the title goes to today, on the label as on the bar.
    TitleLabel->OnDblClick = [this](TComponent*) { calendar_->SetCalendarDate(platform::Date()); };
    OnDblClick = TitleLabel->OnDblClick;
    ShowTitle();
}

void TCalendarTitle::Resize() {
    int h = Height(), w = Width(), b = std::max(h - 2, 1);
    PrevYearBtn->SetBounds(1, 1, b, b);
    PrevMonthBtn->SetBounds(1 + b, 1, b, b);
    NextMonthBtn->SetBounds(w - 1 - 2 * b, 1, b, b);
    NextYearBtn->SetBounds(w - 1 - b, 1, b, b);
    TitleLabel->SetBounds(1 + 2 * b, 0, std::max(w - 2 - 4 * b, 0), h);
}

void TCalendarTitle::ShowTitle() {
    TitleLabel->SetCaption(FormatDateTime("MMMM, YYYY", calendar_->CalendarDate()));
}

void TCalendarTitle::SetHints(const std::string& hints) {
    TRxTimerSpeedButton* buttons[] = {PrevYearBtn, PrevMonthBtn, NextMonthBtn, NextYearBtn};
    size_t n = 0, start = 0;
    while (n < 4 && start <= hints.size()) {
        size_t end = hints.find('\n', start);
        if (end == std::string::npos) end = hints.size();
        std::string line = hints.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) buttons[n++]->SetHint(line);
        start = end + 1;
    }
}

// ---- drop-down ----

TPopupCalendar::TPopupCalendar(TComponent* owner) : TPopupWindow(owner) {
    SetBounds(0, 0, Scaled(175), Scaled(160));
    calendar_ = new TLocCalendar(this);
    title_ = new TCalendarTitle(this, calendar_);
    title_->SetParent(this);
    title_->SetBounds(0, 0, Width(), Scaled(20));
    calendar_->SetParent(this);
    calendar_->SetBounds(0, Scaled(20), Width(), Height() - Scaled(20));
    calendar_->SetColor(Color());
    calendar_->OnChange = [this](TComponent*) { title_->ShowTitle(); };
    calendar_->OnMouseUp = [this](TComponent*, TMouseButton button, TShiftState, int x, int y) {
        int col, row;
        if (button == TMouseButton::mbLeft && calendar_->MouseToCell(x, y, col, row) &&
            calendar_->DayAt(col, row) != 0)
            CloseUp(true);
    };
    // The calendar has the focus: the drop-down's keys (month steps, Enter, Esc) are taken first.
    calendar_->OnKeyDown = [this](TComponent*, uint16_t& key, TShiftState shift) { KeyDown(key, shift); };
    SetActiveControl(calendar_);
}

std::string TPopupCalendar::GetValue() const {
    TDateTime date = Designing() ? platform::Date() : calendar_->CalendarDate();
    return FormatDateTime(DefDateFormat(FourDigitYear), date);
}

void TPopupCalendar::SetValue(const std::string& value) {
    std::string digits;
    for (char ch : value)
        if (ch != FormatSettings().DateSeparator && ch != ' ') digits += ch;
    TDateTime date = digits.empty() ? platform::Date()
                                    : StrToDateFmtDef(DefDateFormat(FourDigitYear), value, platform::Date());
    calendar_->SetCalendarDate(date);
    title_->ShowTitle();
}

void TPopupCalendar::KeyDown(uint16_t& key, TShiftState shift) {
    if (key == VK_PRIOR || key == VK_NEXT) {
        bool year = (shift & ssCtrl) != 0;
        if (key == VK_PRIOR)
            year ? calendar_->PrevYear() : calendar_->PrevMonth();
        else
            year ? calendar_->NextYear() : calendar_->NextMonth();
        key = 0;
        return;
    }
    TPopupWindow::KeyDown(key, shift);
}

TPopupCalendar* CreatePopupCalendar(TComponent* owner, bool rightToLeft) {
    (void)rightToLeft; // text of this build reads left to right
    auto* popup = new TPopupCalendar(owner);
    popup->Calendar()->SetParentFont(true);
    SetMessageFont(popup->Font());
    return popup;
}

void SetupPopupCalendar(TPopupCalendar* popup, TDayOfWeekName startOfWeek, TDaysOfWeek weekends,
                        gfx::TColor weekendColor, const std::string& btnHints, bool fourDigitYear) {
    if (!popup) return;
    popup->FourDigitYear = fourDigitYear;
    popup->Calendar()->SetStartOfWeek(startOfWeek);
    popup->Calendar()->SetWeekendColor(weekendColor);
    popup->Calendar()->SetWeekends(weekends);
    popup->Title()->SetHints(btnHints);
}

// ---- dialog ----

TSelectDateDlg::TSelectDateDlg(TComponent* owner) : TForm(owner) {
    SetBounds(0, 0, Scaled(226), Scaled(196));
    BorderStyle = TFormBorderStyle::bsDialog;
    BorderIcons = biSystemMenu;
    Calendar = new TRxCalendar(this);
    Title = new TCalendarTitle(this, Calendar);
    TitleLabel = Title->TitleLabel;
    Title->SetParent(this);
    Title->SetBounds(Scaled(4), Scaled(4), Width() - Scaled(8), Scaled(22));
    Calendar->SetParent(this);
    Calendar->SetBounds(Scaled(4), Scaled(28), Width() - Scaled(8), Scaled(126));
    Calendar->WantTabs = true;
    Calendar->SetTabStop(true);
    Calendar->OnChange = [this](TComponent*) { Title->ShowTitle(); };
    Calendar->OnKeyDown = [this](TComponent*, uint16_t& key, TShiftState shift) {
        CalendarKeyDown(key, shift);
    };
    Calendar->OnDblClick = [this](TComponent*) { SetModalResult(mrOk); };
    OkBtn = new TButton(this);
    OkBtn->SetParent(this);
    OkBtn->SetBounds(Width() - Scaled(162), Height() - Scaled(34), Scaled(75), Scaled(25));
    OkBtn->SetCaption("OK");
    OkBtn->Default = true;
    OkBtn->ModalResult = mrOk;
    CancelBtn = new TButton(this);
    CancelBtn->SetParent(this);
    CancelBtn->SetBounds(Width() - Scaled(83), Height() - Scaled(34), Scaled(75), Scaled(25));
    CancelBtn->SetCaption("Cancel");
    CancelBtn->Cancel = true;
    CancelBtn->ModalResult = mrCancel;
    SetActiveControl(Calendar);
}

void TSelectDateDlg::SetDate(TDateTime date) {
    Calendar->SetCalendarDate(date == NullDate ? platform::Date() : date);
    Title->ShowTitle();
}

void TSelectDateDlg::CalendarKeyDown(uint16_t& key, TShiftState shift) {
    bool ctrl = (shift & ssCtrl) != 0;
    switch (key) {
    case VK_PRIOR:
        ctrl ? Calendar->PrevYear() : Calendar->PrevMonth();
        break;
    case VK_NEXT:
        ctrl ? Calendar->NextYear() : Calendar->NextMonth();
        break;
    case VK_TAB:
        (shift & ssShift) ? Calendar->PrevMonth() : Calendar->NextMonth();
        break;
    default:
        return;
    }
    key = 0;
}

namespace {
std::unique_ptr<TSelectDateDlg> MakeDialog(const std::string& caption, TDayOfWeekName startOfWeek,
                                           TDaysOfWeek weekends, gfx::TColor weekendColor,
                                           const std::string& btnHints) {
    auto dlg = std::make_unique<TSelectDateDlg>();
    dlg->SetCaption(caption);
    dlg->Position = TPosition::poScreenCenter;
    SetMessageFont(dlg->Font());
    dlg->Calendar->SetStartOfWeek(startOfWeek);
    dlg->Calendar->SetWeekends(weekends);
    dlg->Calendar->SetWeekendColor(weekendColor);
    dlg->Title->SetHints(btnHints);
    return dlg;
}

bool RunDialog(TSelectDateDlg& dlg, TDateTime& date) {
    if (dlg.ShowModal() != mrOk) return false;
    date = dlg.Date();
    return true;
}
} // namespace

bool SelectDate(TDateTime& date, const std::string& caption, TDayOfWeekName startOfWeek, TDaysOfWeek weekends,
                gfx::TColor weekendColor, const std::string& btnHints) {
    auto dlg = MakeDialog(caption, startOfWeek, weekends, weekendColor, btnHints);
    dlg->SetDate(date);
    return RunDialog(*dlg, date);
}

bool SelectDateStr(std::string& strDate, const std::string& caption, TDayOfWeekName startOfWeek,
                   TDaysOfWeek weekends, gfx::TColor weekendColor, const std::string& btnHints) {
    const std::string& format = FormatSettings().ShortDateFormat;
    TDateTime date = strDate.empty() ? platform::Date() : StrToDateFmt(format, strDate);
    if (!SelectDate(date, caption, startOfWeek, weekends, weekendColor, btnHints)) return false;
    strDate = FormatDateTime(format, date);
    return true;
}

TPoint PopupDatePosition(const TRect& editScreen, int width, int height) {
    int top = editScreen.Bottom - 1;
    if (top + height > Screen->Height) top = editScreen.Top + 1 - height;
    int left = std::max(editScreen.Right - width, 0);
    return {left, top};
}

bool PopupDate(TDateTime& date, TWinControl* edit) {
    auto dlg = MakeDialog({}, Mon, {Sun}, gfx::clRed, {});
    dlg->BorderIcons = 0;
    dlg->Position = TPosition::poDesigned;
    if (edit) {
        TPoint origin = ClientToScreen(edit, {0, 0});
        TPoint p =
            PopupDatePosition({origin.X, origin.Y, origin.X + edit->Width(), origin.Y + edit->Height()},
                              dlg->Width(), dlg->Height());
        dlg->SetBounds(p.X, p.Y, dlg->Width(), dlg->Height());
    }
    dlg->SetDate(date);
    return RunDialog(*dlg, date);
}

} // namespace extra
