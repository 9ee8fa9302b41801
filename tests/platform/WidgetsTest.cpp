// The desktop and the standard controls: modal forms with their nested loop and dialog keys, forms
// that free themselves, window hooks, the screen's z-order and hit-testing, grids, menus tracked by the
// test host, labels that size themselves, and the file-backed registry.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/EventLoop.h"
#include "platform/Registry.h"
#include "platform/controls/Edit.h"
#include "platform/controls/Grids.h"
#include "platform/controls/Menus.h"
#include "platform/controls/Screen.h"
#include "platform/controls/StdCtrls.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace platform;
using namespace platform::widgets;

namespace {

// Runs `action` once, `ms` after the loop next turns.
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

TEST(Widgets, ShowModalRunsANestedLoopUntilAResultIsSet) {
    testsupport::SimulatedClockScope clock;
    EventLoop::Get().Reset();
    TForm form;
    form.SetBounds(0, 0, 200, 100);
    auto* ok = new TButton(&form);
    ok->SetParent(&form);
    ok->ModalResult = mrOk;
    ok->Default = true;
    auto* cancel = new TButton(&form);
    cancel->SetParent(&form);
    cancel->SetLeft(100);
    cancel->Cancel = true;
    cancel->ModalResult = mrCancel;

    {
        Later press(50, [&] { form.SimulateKey(VK_RETURN); });
        EXPECT_EQ(form.ShowModal(), mrOk);
    }
    EXPECT_FALSE(form.Visible());
    {
        Later press(50, [&] { form.SimulateKey(VK_ESCAPE); });
        EXPECT_EQ(form.ShowModal(), mrCancel);
    }
    {
        Later click(50, [&] { form.SimulateClick(10, 10); });
        EXPECT_EQ(form.ShowModal(), mrOk);
    }
    {
        // Close on a modal form cancels it; a disabled default button does not take Enter.
        ok->SetEnabled(false);
        Later press(20, [&] { form.SimulateKey(VK_RETURN); });
        Later close(50, [&] { form.Close(); });
        EXPECT_EQ(form.ShowModal(), mrCancel);
    }
}

TEST(Widgets, AFormClosedWithCaFreeIsFreedByTheLoop) {
    EventLoop::Get().Reset();
    auto* form = new TForm;
    bool freed = false;
    auto* watcher = new TComponent(form); // freed with the form
    (void)watcher;
    form->OnClose = [](TComponent*, TCloseAction& action) { action = TCloseAction::caFree; };
    struct Probe : TComponent {
        bool* flag;
        explicit Probe(TComponent* owner, bool* f) : TComponent(owner), flag(f) {}
        ~Probe() override { *flag = true; }
    };
    new Probe(form, &freed);
    form->Show();
    int forms = Screen->FormCount();
    form->Close();
    EXPECT_FALSE(freed); // not inside the call that closed it
    EventLoop::Get().ProcessMessages();
    EXPECT_TRUE(freed);
    EXPECT_EQ(Screen->FormCount(), forms - 1);
}

TEST(Widgets, WindowHooksRunAroundTheWindowProcedureNewestFirst) {
    TForm form;
    std::vector<std::string> log;
    int first = form.AddWindowHook(
        [&](TMessage& m) {
            if (m.Msg == WM_USER + 1) log.push_back("before 1");
            return false;
        },
        [&](TMessage& m) {
            if (m.Msg == WM_USER + 1) log.push_back("after 1");
        });
    int second = 0;
    second = form.AddWindowHook(
        [&](TMessage& m) {
            if (m.Msg != WM_USER + 1) return false;
            log.push_back("before 2");
            form.RemoveWindowHook(first); // removed while running: it is not called again
            return m.WParam == 7;         // takes the message
        },
        nullptr);
    form.Perform(WM_USER + 1);
    EXPECT_EQ(log, (std::vector<std::string>{"before 2"}));
    log.clear();
    form.Perform(WM_USER + 1, 7);
    EXPECT_EQ(log, (std::vector<std::string>{"before 2"}));
    form.RemoveWindowHook(second);
    log.clear();
    form.Perform(WM_USER + 1);
    EXPECT_TRUE(log.empty());
}

TEST(Widgets, TheScreenFindsWindowsTopmostFirstAndKeepsStayOnTopFormsAbove) {
    TForm back, front, top;
    back.SetBounds(0, 0, 300, 300);
    front.SetBounds(100, 100, 300, 300);
    top.SetBounds(150, 150, 50, 50);
    top.FormStyle = TFormStyle::fsStayOnTop;
    auto* panel = new TPanel(&front);
    panel->SetParent(&front);
    panel->SetBounds(10, 10, 50, 50);
    auto* label = new TLabel(panel);
    label->SetParent(panel);
    label->SetBounds(5, 5, 20, 20);
    top.Show();
    back.Show();
    front.Show(); // shown later, but under the stay-on-top form
    EXPECT_EQ(Screen->ActiveForm(), &top);
    EXPECT_EQ(Screen->WindowFromPoint({160, 160}), &top);
    EXPECT_EQ(Screen->WindowFromPoint({115, 115}), panel); // a label is no window: its panel is
    EXPECT_EQ(Screen->ControlAtPoint({115, 115}), label);
    EXPECT_EQ(Screen->WindowFromPoint({50, 50}), &back);
    EXPECT_EQ(Screen->WindowFromPoint({350, 350}), &front);
    EXPECT_EQ(Screen->WindowFromPoint({900, 700}), nullptr);
    EXPECT_EQ(ClientToScreen(label, {1, 2}), (gfx::TPoint{116, 117}));
    EXPECT_EQ(ScreenToClient(label, {116, 117}), (gfx::TPoint{1, 2}));
    // Screen-level input reaches the form under the point, and moves the cursor.
    int clicks = 0;
    panel->OnClick = [&](TComponent*) { ++clicks; };
    Screen->MouseDown({155, 130});
    Screen->MouseUp({155, 130});
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(Screen->CursorPos(), (gfx::TPoint{155, 130}));
}

TEST(Widgets, GridsMapPointsToCellsAndMoveTheSelectionByKeys) {
    TForm form;
    form.SetBounds(0, 0, 300, 300);
    auto* grid = new TDrawGrid(&form);
    grid->SetParent(&form);
    grid->SetBounds(0, 0, 100, 100);
    grid->SetFixedCols(0);
    grid->SetFixedRows(0);
    grid->SetColCount(1);
    grid->SetRowCount(20);
    grid->SetDefaultRowHeight(15);
    grid->SetDefaultColWidth(90);
    std::vector<int> drawn;
    grid->OnDrawCell = [&](TComponent*, int, int row, gfx::TRect, TGridDrawState) { drawn.push_back(row); };
    int col, row;
    EXPECT_TRUE(grid->MouseToCell(5, 33, col, row));
    EXPECT_EQ(row, 2); // rows 15 high plus a 1-pixel line
    EXPECT_EQ(grid->CellRect(0, 2), (gfx::TRect{0, 32, 90, 47}));
    EXPECT_FALSE(grid->MouseToCell(95, 5, col, row)); // right of the only column
    EXPECT_EQ(grid->VisibleRowCount(), 6);
    grid->SetRow(0);
    bool allow = true;
    grid->OnSelectCell = [&](TComponent*, int, int, bool& can) { can = allow; };
    form.SetActiveControl(grid);
    form.SimulateKey(VK_NEXT);
    EXPECT_EQ(grid->Row(), 5);
    form.SimulateKey(VK_END);
    EXPECT_EQ(grid->Row(), 19);
    EXPECT_EQ(grid->TopRow(), 14); // scrolled so the row shows
    EXPECT_TRUE(grid->CellRect(0, 2).IsEmpty());
    allow = false;
    form.SimulateKey(VK_HOME);
    EXPECT_EQ(grid->Row(), 19);
    allow = true;
    form.SimulateClick(5, 3);
    EXPECT_EQ(grid->Row(), 14);
    gfx::Bitmap picture(100, 100);
    form.PaintTo(picture);
    EXPECT_EQ(drawn.front(), 14);
    EXPECT_EQ(drawn.size(), 6u); // only the rows in view
}

TEST(Widgets, PopupMenusAskTheHostAndClickOrPostTheChosenCommand) {
    EventLoop::Get().Reset();
    TheMenuHost().Reset();
    TForm form;
    TPopupMenu menu;
    auto* open = new TMenuItem(&menu);
    open->Caption = "Open";
    auto* sub = new TMenuItem(&menu);
    sub->Caption = "More";
    auto* inner = new TMenuItem(&menu);
    sub->Add(inner);
    menu.Items()->Add(open);
    menu.Items()->Add(sub);
    int opened = 0, popups = 0;
    open->OnClick = [&](TComponent*) { ++opened; };
    menu.OnPopup = [&](TComponent*) { ++popups; };
    menu.Popup(10, 20); // dismissed
    EXPECT_EQ(opened, 0);
    TheMenuHost().Chooser = [&](const MenuHost::Tracking& t) {
        EXPECT_EQ(t.x, 10);
        return open;
    };
    menu.Popup(10, 20);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(popups, 2);
    EXPECT_EQ(inner->GetParentMenu(), &menu);
    // Tracked for a window, the command arrives as a posted WM_COMMAND with the item's id.
    std::vector<WPARAM> commands;
    int hook = form.AddWindowHook(
        [&](TMessage& m) {
            if (m.Msg == WM_COMMAND) commands.push_back(m.WParam);
            return false;
        },
        nullptr);
    TheMenuHost().Chooser = [&](const MenuHost::Tracking&) { return sub; }; // a sub-menu is no command
    EXPECT_EQ(TheMenuHost().TrackPopupMenu(&menu, menu.Items(), 0, 0, TPopupAlignment::paLeft, &form), 0);
    TheMenuHost().Chooser = [&](const MenuHost::Tracking&) { return open; };
    TheMenuHost().TrackPopupMenu(&menu, menu.Items(), 0, 0, TPopupAlignment::paLeft, &form);
    EventLoop::Get().ProcessMessages();
    EXPECT_EQ(commands, (std::vector<WPARAM>{static_cast<WPARAM>(open->Command())}));
    EXPECT_TRUE(menu.DispatchCommand(open->Command()));
    EXPECT_EQ(opened, 2);
    form.RemoveWindowHook(hook);
    TheMenuHost().Reset();
}

TEST(Widgets, LabelsSizeThemselvesToTheirTextAndFocusTheirControl) {
    gfx::TFont::UseTestFont(true);
    TForm form;
    form.SetBounds(0, 0, 300, 100);
    form.Show();
    auto* label = new TLabel(&form);
    label->SetParent(&form);
    label->Font().SetHeight(12); // characters 6 wide, lines 12 high
    label->SetCaption("&Open");
    EXPECT_EQ(label->Width(), 24);
    EXPECT_EQ(label->Height(), 12);
    label->SetWordWrap(true);
    label->SetAutoSize(false);
    label->SetWidth(30);
    label->SetCaption("one two three");
    label->SetAutoSize(true);
    EXPECT_EQ(label->Height(), 36); // three lines
    auto* edit = new TEdit(&form);
    edit->SetParent(&form);
    edit->SetLeft(100);
    label->FocusControl = edit;
    form.SimulateClick(label->Left() + 1, label->Top() + 1);
    EXPECT_EQ(form.ActiveControl(), edit);
    edit->Perform(WM_CHAR, 'x');
    EXPECT_EQ(edit->Text(), "x");
    gfx::TFont::UseTestFont(false);
}

// A form with two edits; the second, at x 100, is the one under test.
class EditForm : public ::testing::Test {
protected:
    EditForm() {
        gfx::TFont::UseTestFont(true);
        form.SetBounds(0, 0, 260, 60);
        first = new TEdit(&form);
        first->SetParent(&form);
        edit = new TEdit(&form);
        edit->SetParent(&form);
        edit->SetLeft(100);
        form.Show();
    }
    ~EditForm() override { gfx::TFont::UseTestFont(false); }
    TForm form;
    TEdit* first;
    TEdit* edit;
};

TEST_F(EditForm, TypingGoesToTheCaretOverWholeCharactersAndReplacesTheSelection) {
    std::vector<std::string> changes;
    edit->OnChange = [&](TComponent*) { changes.push_back(edit->Text()); };
    auto type = [&](const std::string& keys) {
        for (char k : keys)
            edit->Perform(WM_CHAR, static_cast<unsigned char>(k));
    };

    edit->SetText("h\xC3\xA9llo"); // "héllo": the é is two bytes
    EXPECT_EQ(edit->CaretPos(), 0) << "text from code puts the caret at the start";
    // Focus from the keyboard selects everything; typing replaces it.
    form.SetActiveControl(first);
    form.SimulateKey(VK_TAB);
    ASSERT_EQ(form.ActiveControl(), edit);
    EXPECT_EQ(edit->SelText(), "h\xC3\xA9llo");
    type("ab");
    EXPECT_EQ(edit->Text(), "ab");

    // Arrows, backspace and delete step over whole characters.
    edit->SetText("h\xC3\xA9llo");
    form.SimulateKey(VK_HOME);
    form.SimulateKey(VK_RIGHT);
    form.SimulateKey(VK_RIGHT);
    EXPECT_EQ(edit->CaretPos(), 3);
    type("\b");
    EXPECT_EQ(edit->Text(), "hllo");
    form.SimulateKey(VK_DELETE);
    EXPECT_EQ(edit->Text(), "hlo");
    form.SimulateKey(VK_END, ssShift);
    EXPECT_EQ(edit->SelText(), "lo");
    form.SimulateKey(VK_LEFT, ssShift); // the selection shrinks from the caret's end
    EXPECT_EQ(edit->SelText(), "l");
    type("X");
    EXPECT_EQ(edit->Text(), "hXo");
    EXPECT_EQ(edit->CaretPos(), 2);
    edit->SetSelStart(1);
    edit->SetSelLength(99);
    EXPECT_EQ(edit->SelText(), "Xo") << "clamped to the text";

    // MaxLength limits typing, not text from code; a selection being replaced makes room.
    edit->MaxLength = 3;
    edit->SetSelStart(3);
    type("yz");
    EXPECT_EQ(edit->Text(), "hXo");
    edit->SelectAll();
    type("q");
    EXPECT_EQ(edit->Text(), "q");
    edit->SetText("longer than three");
    EXPECT_EQ(edit->Text(), "longer than three");
    edit->MaxLength = 0;

    // OnKeyPress sees every key first and may change or drop it; ReadOnly types nothing.
    edit->SetText("");
    edit->OnKeyPress = [](TComponent*, char& key) { key = key == '1' ? 0 : key; };
    type("a1b");
    EXPECT_EQ(edit->Text(), "ab");
    edit->ReadOnly = true;
    type("c\b");
    form.SimulateKey(VK_DELETE);
    EXPECT_EQ(edit->Text(), "ab");
    edit->ReadOnly = false;

    // CharCase converts the text now and every later text, with one change event each.
    changes.clear();
    edit->SetCharCase(TEditCharCase::ecUpperCase);
    type("c");
    edit->SetText("Mixed");
    EXPECT_EQ(changes, (std::vector<std::string>{"AB", "ABC", "MIXED"}));
    edit->SetCharCase(TEditCharCase::ecLowerCase);
    EXPECT_EQ(edit->Text(), "mixed");

    // A click puts the caret at the nearest character and selects nothing.
    edit->Font().SetHeight(12); // characters 6 wide
    edit->SetText("abcdef");
    form.SetActiveControl(first);
    form.SimulateClick(100 + 2 + 3 * 6 + 2, 10);
    EXPECT_EQ(form.ActiveControl(), edit);
    EXPECT_EQ(edit->CaretPos(), 3);
    EXPECT_EQ(edit->SelLength(), 0);
}

TEST_F(EditForm, PasswordCharactersStandForTheTextAndTheSelectionShowsWhileFocused) {
    TEdit* other = first;
    edit->Font().SetHeight(12);
    edit->SetText("h\xC3\xA9llo");
    edit->SetPasswordChar('*');
    EXPECT_EQ(edit->DisplayText(), "*****");
    EXPECT_EQ(edit->Text(), "h\xC3\xA9llo");

    // The second and third characters selected: x 2 + 6 to 2 + 18 inside the edit.
    edit->SetSelStart(1);
    edit->SetSelLength(3);
    gfx::Bitmap shot(form.Width(), form.Height());
    auto at = [&](int x, int y) {
        form.PaintTo(shot);
        return shot.GetPixel(100 + x, y);
    };
    const gfx::TColor highlight = gfx::ColorToRGB(gfx::clHighlight), window = gfx::ColorToRGB(gfx::clWindow);
    EXPECT_EQ(at(2 + 7, 2), window) << "HideSelection: no selection shown without the focus";
    form.SetActiveControl(other);
    form.SetActiveControl(edit);
    EXPECT_EQ(edit->SelLength(), 6) << "focus from code selects all (lengths count bytes)";
    edit->SetSelStart(1);
    edit->SetSelLength(3);
    EXPECT_EQ(at(2 + 7, 2), highlight);
    EXPECT_EQ(at(2 + 5, 2), window);
    EXPECT_EQ(at(2 + 19, 2), window);
    form.SetActiveControl(other);
    EXPECT_EQ(at(2 + 7, 2), window);
    edit->SetHideSelection(false);
    EXPECT_EQ(at(2 + 7, 2), highlight);

    // Without a border the frame's pixels are the edit's colour.
    EXPECT_EQ(at(0, 10), gfx::ColorToRGB(gfx::clBtnShadow));
    edit->SetBorderStyle(TBorderStyle::bsNone);
    EXPECT_EQ(at(0, 10), window);
}

TEST(Widgets, RegistryKeysAreIniFilesInAFolderTree) {
    testsupport::ScratchDir dir;
    std::string oldRoot = RegistryRoot();
    SetRegistryRoot(dir.Path() + "/reg");
    {
        TRegIniFile reg("Software\\Malvoren\\Korvane\\Placement");
        reg.WriteInteger("Bar", "Width", 31);
        TRegIniFile again("Software/Malvoren/Korvane/Placement");
        EXPECT_EQ(again.ReadInteger("Bar", "Width", 0), 31);
        EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/reg/Software/Malvoren/Korvane/Placement.ini"));
        // A key never leaves the tree.
        EXPECT_EQ(RegistryKeyFile("..\\..\\etc\\x"), dir.Path() + "/reg/etc/x.ini");
    }
    SetRegistryRoot(oldRoot);
}

} // namespace
