// The customise window of a speed bar: opening it from the bar, its lists, dragging a button from the
// list onto the bar, and what it does when the bar tells it of changes or goes away.
#include <gtest/gtest.h>

#include "extra/SbSetup.h"
#include "extra/SpeedBar.h"
#include "platform/controls/Application.h"
#include "platform/IniFile.h"
#include "platform/controls/Screen.h"

using namespace extra;
using namespace platform;
using gfx::TPoint;

namespace {

class SetupWindow : public ::testing::Test {
protected:
    SetupWindow() {
        gfx::TFont::UseTestFont(true);
        EventLoop::Get().Reset();
        form.SetBounds(0, 0, 400, 300);
        bar = new TSpeedBar(&form, "Bar");
        bar->SetParent(&form);
        form.Show();
        bar->AddSection("File");
        bar->AddSection("Edit");
        open = bar->NewItem(&form, 0, "Open");
        save = bar->NewItem(&form, 0, "Save");
        save->SetHint("Save|Writes the file");
        cut = bar->NewItem(&form, 1, "Cut");
        bar->AcceptDropItem(open, 3, 3);
    }
    ~SetupWindow() override {
        if (TSpeedbarSetupWindow* w = Window()) delete w;
        EventLoop::Get().ProcessMessages();
        gfx::TFont::UseTestFont(false);
    }
    static TSpeedbarSetupWindow* Window() {
        for (int i = 0; i < Screen->FormCount(); ++i)
            if (auto* w = dynamic_cast<TSpeedbarSetupWindow*>(Screen->Forms(i))) return w;
        return nullptr;
    }
    // A screen point in a row of the button list, x pixels from its left.
    static TPoint ListPoint(TSpeedbarSetupWindow* w, int x, int row) {
        gfx::TRect cell = w->ButtonsList->CellRect(0, row);
        return ClientToScreen(w->ButtonsList, {x, cell.Top + 5});
    }

    TForm form;
    TSpeedBar* bar;
    TSpeedItem *open, *save, *cut;
};

TEST_F(SetupWindow, CustomizeOpensOneWindowPerBarWithItsLists) {
    ShowSpeedbarSetupWindow(nullptr, 0);
    EXPECT_EQ(Window(), nullptr);
    bar->Customize(0);
    TSpeedbarSetupWindow* w = Window();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->Visible());
    EXPECT_EQ(w->Caption(), "Customize Speedbar");
    EXPECT_EQ(w->CategoriesLabel->Caption(), "&Categories:");
    EXPECT_EQ(w->BoundsRect(), (gfx::TRect{301, 253, 722, 515})); // centred on the screen
    EXPECT_EQ(w->BorderIcons, biSystemMenu);
    EXPECT_FALSE(w->HelpBtn->Visible());
    EXPECT_FALSE(w->CloseBtn->Default);
    EXPECT_TRUE(bar->Editing());
    EXPECT_EQ(w->SectionList->RowCount(), 2);
    EXPECT_EQ(w->ButtonsList->RowCount(), 2);
    // Rows as high as a button + 2; the lists snap to whole rows below 186 pixels.
    EXPECT_EQ(w->ButtonsList->DefaultRowHeight(), 25);
    EXPECT_EQ(w->ButtonsList->Height(), 175);
    EXPECT_EQ(w->SectionList->Height(), 175);
    EXPECT_EQ(w->SectionList->DefaultRowHeight(), 16); // "Wg" in the test font + 2
    // Choosing a section lists its buttons; choosing a button shows its hint.
    w->SectionList->SetRow(1);
    EXPECT_EQ(w->CurrentSection(), 1);
    EXPECT_EQ(w->ButtonsList->RowCount(), 1);
    w->SectionList->SetRow(0);
    w->ButtonsList->SetRow(1);
    EXPECT_EQ(w->Hint(), "Save|Writes the file");

    // A second request brings back the same window, now with the Help button.
    bar->Customize(17);
    EXPECT_EQ(Window(), w);
    EXPECT_TRUE(w->HelpBtn->Visible());
    Application->HelpCalls.clear();
    w->HelpBtn->Click();
    ASSERT_EQ(Application->HelpCalls.size(), 1u);
    EXPECT_EQ(Application->HelpCalls[0].command, HELP_CONTEXT);
    EXPECT_EQ(Application->HelpCalls[0].data, 17);

    // A bigger button changes the rows (the bar tells the window).
    bar->SetBtnHeight(30);
    EXPECT_EQ(w->ButtonsList->DefaultRowHeight(), 32);
    EXPECT_EQ(w->ButtonsList->Height(), 160);
}

TEST_F(SetupWindow, ABarNotYetOnAFormShowsEmptyLists) {
    TSpeedBar loose(nullptr);
    loose.AddSection("File");
    loose.NewItem(&form, 0, "Loose");
    ShowSpeedbarSetupWindow(&loose, 0);
    TSpeedbarSetupWindow* w = Window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->SectionList->RowCount(), 0);
    EXPECT_EQ(w->ButtonsList->RowCount(), 0);
    EXPECT_EQ(w->CurrentSection(), -1);
    delete w;
    EXPECT_FALSE(loose.Editing());
}

TEST_F(SetupWindow, AButtonDraggedFromTheListLandsOnTheBar) {
    bar->Customize(0);
    TSpeedbarSetupWindow* w = Window();
    // Pressing on the caption part of the row (from BtnWidth + 2 on) starts no drag.
    Screen->MouseDown(ListPoint(w, 24 + 2, 1));
    Screen->MouseMove({100, 26});
    Screen->MouseUp({100, 26});
    EXPECT_FALSE(save->Visible());
    // Dropped outside every bar: nothing changes.
    Screen->MouseDown(ListPoint(w, 10, 1));
    Screen->MouseMove({200, 250});
    Screen->MouseUp({200, 250});
    EXPECT_FALSE(save->Visible());
    // Dropped with the picture's corner on another bar: nothing changes either.
    TForm second;
    second.SetBounds(0, 400, 300, 200);
    auto* other = new TSpeedBar(&second, "Other");
    other->SetParent(&second);
    second.Show();
    Screen->MouseDown(ListPoint(w, 10, 1));
    Screen->MouseUp({100, 426});
    EXPECT_FALSE(save->Visible());
    // Onto our bar: the picture's top-left (cursor less the button size) snaps to the grid.
    Screen->MouseDown(ListPoint(w, 24 + 1, 1));
    Screen->MouseMove({90, 20});
    Screen->MouseUp({100, 26});
    EXPECT_TRUE(save->Visible());
    EXPECT_EQ(save->Left(), 75);
    EXPECT_EQ(save->Top(), 3);
    // An item already on the bar only shows the no-drop cursor and changes nothing.
    Screen->MouseDown(ListPoint(w, 10, 0));
    EXPECT_EQ(w->ButtonsList->Cursor(), crNoDrop);
    Screen->MouseUp({150, 26});
    EXPECT_EQ(w->ButtonsList->Cursor(), crDefault);
    EXPECT_EQ(open->Left(), 3);
}

TEST_F(SetupWindow, ClosingEndsEditingAndABarThatGoesAwayClosesTheWindow) {
    int customized = 0;
    bar->OnCustomize = [&](TComponent*) { ++customized; };
    bar->Customize(0);
    TSpeedbarSetupWindow* w = Window();
    w->CloseBtn->Click();
    EXPECT_FALSE(bar->Editing());
    EXPECT_EQ(customized, 1);
    EventLoop::Get().ProcessMessages();
    EXPECT_EQ(Window(), nullptr); // freed by the loop

    // Dragging a button off the bar refills the lists; freeing the bar closes the window.
    bar->Customize(0);
    w = Window();
    w->SectionList->SetRow(1);
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 5, 5);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 300, 250);
    EXPECT_FALSE(open->Visible());
    EXPECT_EQ(w->CurrentSection(), 1);
    delete bar;
    EXPECT_EQ(w->SpeedBar(), nullptr);
    EXPECT_FALSE(w->Visible());
    EventLoop::Get().ProcessMessages();
    EXPECT_EQ(Window(), nullptr);
}

} // namespace
