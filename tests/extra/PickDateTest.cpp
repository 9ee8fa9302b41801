// Picking dates: the calendar grid's layout for every first weekday and week start, its keys and
// steps, the drop-down calendar, and the modal date dialog driven by injected keys.
#include <gtest/gtest.h>

#include "extra/PickDate.h"
#include "platform/EventLoop.h"
#include "platform/Exceptions.h"
#include "platform/controls/Edit.h"
#include "platform/controls/Screen.h"
#include "tests/extra/ExtraTestSupport.h"

using namespace extra;
using namespace platform;
using gfx::TPoint;

namespace {

// Runs `action` once, `ms` after the loop next turns (the modal loops wait for it).
struct Later {
    Later(uint32_t ms, std::function<void()> action) {
        id = EventLoop::Get().CreateTimer([this, action] {
            EventLoop::Get().StopTimer(id);
            action();
        });
        EventLoop::Get().StartTimer(id, ms);
    }
    ~Later() { EventLoop::Get().DestroyTimer(id); }
    int id;
};

class PickDate : public ::testing::Test {
protected:
    PickDate() : utc("UTC0"), clock(testsupport::kFriday6March2026Ms) {
        gfx::TFont::UseTestFont(true);
        EventLoop::Get().Reset();
    }
    ~PickDate() override { gfx::TFont::UseTestFont(false); }
    static std::string Text(TDateTime d) { return FormatDateTime("yyyy-mm-dd", d); }
    // The form the modal loop shows (the topmost).
    static TForm* Shown() { return Screen->ActiveForm(); }

    testsupport::ZoneScope utc;
    testsupport::SimulatedClockScope clock;
    testsupport::FormatSettingsScope settings;
};

TEST_F(PickDate, CellsFollowTheFirstWeekdayAndTheWeekStart) {
    TRxCalendar cal;
    EXPECT_EQ(Text(cal.CalendarDate()), "2026-03-06"); // today
    // The first days of 2026's months fall on every weekday.
    for (int month = 1; month <= 7; ++month) {
        cal.SetCalendarDate(EncodeDate(2026, month, 1));
        int first = DayOfWeek(cal.CalendarDate()) - 1; // Sunday 0
        for (int start = Sun; start <= Sat; ++start) {
            cal.SetStartOfWeek(static_cast<TDayOfWeekName>(start));
            int col = (first - start + 7) % 7;
            EXPECT_EQ(cal.DayAt(col, 1), 1) << month << " " << start;
            for (int c = 0; c < col; ++c)
                EXPECT_EQ(cal.DayAt(c, 1), 0);
            EXPECT_EQ(cal.CellText(0, 0), FormatSettings().ShortDayNames[static_cast<size_t>(start)]);
            EXPECT_EQ(cal.Col(), col) << "the selected cell follows the day";
            EXPECT_EQ(cal.Row(), 1);
        }
    }
    // March 2026 starts on a Sunday: with Monday first it starts in the last column and its 31st day
    // still fits the sixth row.
    cal.SetStartOfWeek(Mon);
    cal.SetCalendarDate(EncodeDate(2026, 3, 15));
    EXPECT_EQ(cal.MonthOffset(), -5);
    EXPECT_EQ(cal.DayAt(6, 1), 1);
    EXPECT_EQ(cal.DayAt(1, 6), 31);
    EXPECT_EQ(cal.DayAt(2, 6), 0);
}

TEST_F(PickDate, KeysAndStepsMoveTheDate) {
    TRxCalendar cal;
    int changes = 0;
    cal.OnChange = [&](TComponent*) { ++changes; };
    cal.SetCalendarDate(EncodeDate(2026, 1, 31));
    cal.Perform(WM_CHAR, '+');
    EXPECT_EQ(Text(cal.CalendarDate()), "2026-02-01");
    cal.Perform(WM_KEYDOWN, VK_LEFT);
    EXPECT_EQ(Text(cal.CalendarDate()), "2026-01-31");
    cal.Perform(WM_KEYDOWN, VK_DOWN); // a week on, within the month only
    EXPECT_EQ(Text(cal.CalendarDate()), "2026-01-31");
    cal.Perform(WM_KEYDOWN, VK_UP);
    EXPECT_EQ(Text(cal.CalendarDate()), "2026-01-24");
    cal.Perform(WM_CHAR, 't');
    EXPECT_EQ(Text(cal.CalendarDate()), "2026-03-06");
    EXPECT_EQ(changes, 5);
    // Month steps keep the day as far as the month allows; a year step leaves 29 February first.
    cal.SetCalendarDate(EncodeDate(2024, 1, 31));
    cal.NextMonth();
    EXPECT_EQ(Text(cal.CalendarDate()), "2024-02-29");
    cal.NextYear();
    EXPECT_EQ(Text(cal.CalendarDate()), "2025-02-28");
    cal.SetCalendarDate(EncodeDate(2024, 2, 29));
    cal.PrevYear();
    EXPECT_EQ(Text(cal.CalendarDate()), "2023-02-28");
    cal.SetDay(31); // no 31 February: ignored
    EXPECT_EQ(Text(cal.CalendarDate()), "2023-02-28");
    cal.SetCalendarDate(EncodeDate(2026, 3, 31));
    cal.SetMonth(4);
    EXPECT_EQ(Text(cal.CalendarDate()), "2026-04-30");
    // The ends of the calendar: a step past them is a conversion error and the date stays.
    cal.SetCalendarDate(EncodeDate(9999, 12, 31));
    EXPECT_THROW(cal.NextDay(), platform::EConvertError);
    EXPECT_THROW(cal.NextMonth(), platform::EConvertError);
    EXPECT_EQ(Text(cal.CalendarDate()), "9999-12-31");
    cal.SetCalendarDate(EncodeDate(1, 1, 1));
    EXPECT_THROW(cal.PrevDay(), platform::EConvertError);
    EXPECT_EQ(Text(cal.CalendarDate()), "0001-01-01");
    EXPECT_THROW(cal.SetCalendarDate(EncodeDate(9999, 12, 31) + 1), platform::EConvertError);
}

TEST_F(PickDate, ClicksSelectDaysUnlessReadOnlyOrEmpty) {
    TForm form;
    form.SetBounds(0, 0, 210, 170);
    auto* cal = new TRxCalendar(&form);
    cal->SetParent(&form);
    cal->SetBounds(0, 0, 210, 140);
    cal->SetCalendarDate(EncodeDate(2026, 3, 6));
    form.Show();
    auto click = [&](int col, int row) {
        gfx::TRect r = cal->CellRect(col, row);
        form.SimulateClick(r.Left + 3, r.Top + 3);
    };
    click(3, 3); // Monday first, the 1st in the last column: row 3, column 3 is the 12th
    EXPECT_EQ(Text(cal->CalendarDate()), "2026-03-12");
    click(0, 1); // empty
    EXPECT_EQ(Text(cal->CalendarDate()), "2026-03-12");
    cal->ReadOnly = true;
    click(4, 3);
    EXPECT_EQ(Text(cal->CalendarDate()), "2026-03-12");
    cal->SetCalendarDate(EncodeDate(2026, 3, 20)); // the calendar may still move itself
    EXPECT_EQ(cal->Col(), 4);

    // Weekend columns are drawn in the weekend colour.
    cal->SetWeekends({Sun, Sat});
    gfx::Bitmap shot(210, 170);
    form.PaintTo(shot);
    auto hasRed = [&](int col) {
        gfx::TRect r = cal->CellRect(col, 2);
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Right; ++x)
                if (shot.GetPixel(x, y) == gfx::clRed) return true;
        return false;
    };
    EXPECT_TRUE(hasRed(6));
    EXPECT_TRUE(hasRed(5));
    EXPECT_FALSE(hasRed(0));
}

TEST_F(PickDate, TheDropDownShowsAValueAndAcceptsAClickedDay) {
    TPopupCalendar* popup = CreatePopupCalendar(nullptr);
    SetupPopupCalendar(popup, Sun, {Sun}, gfx::clBlue, "\nPrevious month\n\nNext month\nNext year\nextra",
                       true);
    EXPECT_EQ(popup->Calendar()->StartOfWeek(), Sun);
    EXPECT_EQ(popup->Title()->PrevYearBtn->Hint(), "Previous month");
    EXPECT_EQ(popup->Title()->NextMonthBtn->Hint(), "Next year");
    EXPECT_EQ(popup->Title()->NextYearBtn->Hint(), "extra");
    popup->SetValue(" .  . ");
    EXPECT_EQ(Text(popup->Calendar()->CalendarDate()), "2026-03-06");
    popup->SetValue("01.02.2026");
    EXPECT_EQ(popup->Title()->TitleLabel->Caption(), "February, 2026");
    popup->SetValue("garbage");
    EXPECT_EQ(Text(popup->Calendar()->CalendarDate()), "2026-03-06");

    bool accepted = false;
    popup->OnCloseUp = [&](TComponent*, bool accept) { accepted = accept; };
    popup->Popup(100, 100);
    popup->SimulateKey(VK_NEXT);
    EXPECT_EQ(Text(popup->Calendar()->CalendarDate()), "2026-04-06");
    popup->SimulateKey(VK_PRIOR, ssCtrl);
    EXPECT_EQ(popup->Title()->TitleLabel->Caption(), "April, 2025");
    gfx::TRect cell = popup->Calendar()->CellRect(3, 2); // Sunday first: the 9th
    TPoint p = ClientToScreen(popup->Calendar(), {cell.Left + 2, cell.Top + 2});
    popup->SimulateClick(p.X - popup->Left(), p.Y - popup->Top());
    EXPECT_TRUE(accepted);
    EXPECT_FALSE(popup->Visible());
    EXPECT_EQ(popup->GetValue(), "09.04.2025");
    delete popup;
}

TEST_F(PickDate, TheDialogRunsModallyOnInjectedKeys) {
    TDateTime date = EncodeDate(2026, 1, 31);
    {
        Later keys(50, [] {
            Shown()->SimulateKey(VK_NEXT); // a month on: 28 February
            Shown()->SimulateKey(VK_TAB);  // and another: 28 March
            Shown()->SimulateKey(VK_TAB, ssShift);
            Shown()->SimulateKey(VK_NEXT, ssCtrl);
            Shown()->SimulateKey(VK_RETURN);
        });
        EXPECT_TRUE(SelectDate(date, "Pick"));
    }
    EXPECT_EQ(Text(date), "2027-02-28");
    {
        std::string caption;
        Later keys(50, [&] {
            caption = Shown()->Caption();
            Shown()->SimulateKey(VK_RIGHT);
            Shown()->SimulateKey(VK_ESCAPE);
        });
        EXPECT_FALSE(SelectDate(date, "Again"));
        EXPECT_EQ(caption, "Again");
    }
    EXPECT_EQ(Text(date), "2027-02-28");

    // A null date opens on today; a double click on the title goes to today too.
    date = NullDate;
    {
        Later keys(50, [] {
            auto* dlg = dynamic_cast<TSelectDateDlg*>(Shown());
            dlg->Calendar->SetCalendarDate(EncodeDate(2020, 5, 5));
            EXPECT_EQ(dlg->TitleLabel->Caption(), "May, 2020");
            dlg->TitleLabel->Perform(WM_LBUTTONDBLCLK, 0, MakePointParam(5, 5));
            dlg->Calendar->Perform(WM_LBUTTONDBLCLK, 0, MakePointParam(1, 1)); // a double click is OK
        });
        EXPECT_TRUE(SelectDate(date, "Today"));
    }
    EXPECT_EQ(Text(date), "2026-03-06");

    // On texts in the short date format.
    std::string text = "06.03.2026";
    {
        Later keys(50, [] {
            Shown()->SimulateKey(VK_TAB);
            Shown()->SimulateKey(VK_RETURN);
        });
        EXPECT_TRUE(SelectDateStr(text, "Text"));
    }
    EXPECT_EQ(text, "06.04.2026");
    text = "not a date";
    EXPECT_THROW(SelectDateStr(text, "Bad"), EConvertError);
}

TEST_F(PickDate, PopupDateSitsBelowOrAboveTheEditOnTheScreen) {
    // Below, right-aligned: the top one pixel into the edit's bottom.
    EXPECT_EQ(PopupDatePosition({300, 100, 400, 121}, 226, 196), (TPoint{174, 120}));
    // Near the bottom of the screen it goes above: its bottom one pixel into the edit's top.
    EXPECT_EQ(PopupDatePosition({300, 700, 400, 721}, 226, 196), (TPoint{174, 505}));
    // Never left of the screen.
    EXPECT_EQ(PopupDatePosition({10, 100, 110, 121}, 226, 196), (TPoint{0, 120}));

    TForm form;
    form.SetBounds(200, 50, 300, 200);
    auto* edit = new widgets::TEdit(&form);
    edit->SetParent(&form);
    edit->SetBounds(100, 50, 120, 21);
    form.Show();
    TDateTime date = EncodeDate(2026, 7, 4);
    gfx::TRect placed;
    uint8_t icons = 1;
    {
        Later keys(50, [&] {
            placed = Shown()->BoundsRect();
            icons = Shown()->BorderIcons;
            Shown()->SimulateKey(VK_RIGHT);
            Shown()->SimulateKey(VK_RETURN);
        });
        EXPECT_TRUE(PopupDate(date, edit));
    }
    EXPECT_EQ(Text(date), "2026-07-05");
    EXPECT_EQ(placed.Right, 200 + 100 + 120);
    EXPECT_EQ(placed.Top, 50 + 50 + 21 - 1);
    EXPECT_EQ(icons, 0);
}

} // namespace
