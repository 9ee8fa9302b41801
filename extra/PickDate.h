#pragma once
// Picking dates: a month calendar grid, the drop-down calendar of a date edit, and a modal dialog with
// the functions that show it.
//
// The grid has 7 columns and 7 rows: the day names in the fixed top row, then the weeks from
// StartOfWeek on. Cell (c, r) shows day MonthOffset() + c + (r - 1) x 7 when that lies in the month.
#include <memory>
#include <string>

#include "components/PopupWindow.h"
#include "components/RxCtrls.h"
#include "extra/Dateutil.h"
#include "platform/controls/Grids.h"
#include "platform/controls/StdCtrls.h"

namespace extra {

// The auto-repeating button of the title bars.
class TRxTimerSpeedButton : public components::TRxSpeedButton {
public:
    explicit TRxTimerSpeedButton(platform::TComponent* owner = nullptr, const std::string& name = {});
};

class TRxCalendar : public platform::TCustomGrid {
public:
    explicit TRxCalendar(platform::TComponent* owner = nullptr, const std::string& name = {});

    TDateTime CalendarDate() const { return date_; }
    void SetCalendarDate(TDateTime date);
    int Day() const { return ExtractDay(date_); }
    int Month() const { return ExtractMonth(date_); }
    int Year() const { return ExtractYear(date_); }
    // A day beyond the month is ignored; a month or year change keeps the day when the month is long
    // enough, else takes its last day.
    void SetDay(int day);
    void SetMonth(int month);
    void SetYear(int year);
    bool ReadOnly = false;
    TDayOfWeekName StartOfWeek() const { return startOfWeek_; }
    void SetStartOfWeek(TDayOfWeekName day);
    bool UseCurrentDate() const { return useCurrentDate_; }
    void SetUseCurrentDate(bool v);
    platform::gfx::TColor WeekendColor() const { return weekendColor_; }
    void SetWeekendColor(platform::gfx::TColor c);
    TDaysOfWeek Weekends() const { return weekends_; }
    void SetWeekends(TDaysOfWeek days);
    // The calendar also takes Tab and Shift+Tab (its dialog steps months with them).
    bool WantTabs = false;
    platform::TNotifyEvent OnChange;

    void NextDay() { ChangeDate(IncDay(date_, 1)); }
    void PrevDay() { ChangeDate(IncDay(date_, -1)); }
    void NextMonth() { ChangeMonth(1); }
    void PrevMonth() { ChangeMonth(-1); }
    void NextYear() { ChangeYear(1); }
    void PrevYear() { ChangeYear(-1); }

    // The layout: the first day's position, and the day in a cell (0 when empty).
    int MonthOffset() const;
    int DayAt(int col, int row) const;
    std::string CellText(int col, int row) const;
    // The cells fill the client area.
    void SetBounds(int left, int top, int width, int height) override;

protected:
    bool SelectCell(int col, int row) override;
    void DrawCell(int col, int row, platform::gfx::TRect rect, platform::TGridDrawState state) override;
    void KeyDown(uint16_t& key, platform::TShiftState shift) override;
    void WndProc(platform::TMessage& message) override;
    virtual void Change();

private:
    void ChangeDate(TDateTime date);
    void ChangeMonth(int delta);
    void ChangeYear(int delta);
    void SelectDayCell();
    void FitCells();

    TDateTime date_;
    TDayOfWeekName startOfWeek_ = Mon;
    bool useCurrentDate_ = true;
    platform::gfx::TColor weekendColor_ = platform::gfx::clRed;
    TDaysOfWeek weekends_{Sun};
    bool updating_ = false;
};

// The calendar inside the drop-down: no border, the parent's colour, today framed.
class TLocCalendar : public TRxCalendar {
public:
    explicit TLocCalendar(platform::TComponent* owner = nullptr, const std::string& name = {});

protected:
    void DrawCell(int col, int row, platform::gfx::TRect rect, platform::TGridDrawState state) override;
};

// The title bar of the drop-down and the dialog: the month between year and month buttons.
class TCalendarTitle : public platform::widgets::TPanel {
public:
    TCalendarTitle(platform::TComponent* owner, TRxCalendar* calendar);
    TRxTimerSpeedButton* PrevYearBtn;
    TRxTimerSpeedButton* PrevMonthBtn;
    TRxTimerSpeedButton* NextMonthBtn;
    TRxTimerSpeedButton* NextYearBtn;
    platform::widgets::TLabel* TitleLabel;
    // Shows "MMMM, YYYY" of the calendar's date.
    void ShowTitle();
    // The first up to four non-empty lines of hints go to the four buttons.
    void SetHints(const std::string& hints);

protected:
    void Resize() override;

private:
    TRxCalendar* calendar_;
};

class TPopupCalendar : public components::TPopupWindow {
public:
    explicit TPopupCalendar(platform::TComponent* owner = nullptr);
    TLocCalendar* Calendar() const { return calendar_; }
    TCalendarTitle* Title() const { return title_; }
    bool FourDigitYear = true;
    // The calendar's date as text in the default date format (today while designing); a text without
    // digits shows today, a text that is no date too.
    std::string GetValue() const override;
    void SetValue(const std::string& value) override;

protected:
    void KeyDown(uint16_t& key, platform::TShiftState shift) override;

private:
    TLocCalendar* calendar_;
    TCalendarTitle* title_;
};

TPopupCalendar* CreatePopupCalendar(platform::TComponent* owner, bool rightToLeft = false);
void SetupPopupCalendar(TPopupCalendar* popup, TDayOfWeekName startOfWeek, TDaysOfWeek weekends,
                        platform::gfx::TColor weekendColor, const std::string& btnHints, bool fourDigitYear);

class TSelectDateDlg : public platform::TForm {
public:
    explicit TSelectDateDlg(platform::TComponent* owner = nullptr);
    TRxCalendar* Calendar;
    platform::widgets::TLabel* TitleLabel;
    TCalendarTitle* Title;
    platform::widgets::TButton* OkBtn;
    platform::widgets::TButton* CancelBtn;
    // NullDate opens on today.
    void SetDate(TDateTime date);
    TDateTime Date() const { return Calendar->CalendarDate(); }

private:
    void CalendarKeyDown(uint16_t& key, platform::TShiftState shift);
};

// Shows the date dialog; on OK stores the chosen date and returns true.
bool SelectDate(TDateTime& date, const std::string& caption, TDayOfWeekName startOfWeek = Mon,
                TDaysOfWeek weekends = {Sun}, platform::gfx::TColor weekendColor = platform::gfx::clRed,
                const std::string& btnHints = {});
// The same on a text in the locale's short date format (empty: today); raises EConvertError for a
// text that is no date.
bool SelectDateStr(std::string& strDate, const std::string& caption, TDayOfWeekName startOfWeek = Mon,
                   TDaysOfWeek weekends = {Sun}, platform::gfx::TColor weekendColor = platform::gfx::clRed,
                   const std::string& btnHints = {});
// Shows the dialog below the edit (or above it when it would leave the screen), right-aligned with
// it and kept on the screen's left edge.
bool PopupDate(TDateTime& date, platform::TWinControl* edit);
// Where PopupDate puts a dialog of the given size for an edit at a screen rectangle.
platform::gfx::TPoint PopupDatePosition(const platform::gfx::TRect& editScreen, int width, int height);

} // namespace extra
