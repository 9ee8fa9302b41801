// Storing a speed bar as text and reading it back (with the legacy properties of older texts), and
// customising it: dragging a button with its floating picture, and drawing an item into a grid cell.
#include <gtest/gtest.h>

#include "extra/BtnControl.h"
#include "extra/SpeedBar.h"
#include "platform/IniFile.h"
#include "platform/controls/Grids.h"
#include "platform/controls/Screen.h"

using namespace extra;
using namespace platform;
using gfx::TPoint;

namespace {

class StreamForm : public ::testing::Test {
protected:
    StreamForm() {
        gfx::TFont::UseTestFont(true);
        form.SetBounds(0, 0, 400, 300);
        bar = new TSpeedBar(&form, "Bar");
        bar->SetParent(&form);
        form.Show();
    }
    ~StreamForm() override { gfx::TFont::UseTestFont(false); }
    TForm form;
    TSpeedBar* bar;
};

bool Has(const std::string& text, const std::string& line) {
    return text.find(line + "\n") != std::string::npos;
}

TEST_F(StreamForm, ABarWithSectionsAndItemsRoundTrips) {
    bar->AddSection("File");
    bar->AddSection("Edit");
    TSpeedItem* open = bar->NewItem(&form, 0, "Open");
    TSpeedItem* save = bar->NewItem(&form, 0, "Save");
    TSpeedItem* cut = bar->NewItem(&form, 1, "Cut");
    bar->AcceptDropItem(open, 3, 3);
    bar->AcceptDropItem(cut, 51, 3);
    save->SetHint("Save|Writes the file");
    cut->SetEnabled(false);
    bar->SetBtnWidth(30);
    bar->SetOptions(sbAllowDrag | sbFlatBtns);
    auto* openAction = new TBasicAction(&form, "OpenAction");
    openAction->SetCaption("Open");
    open->SetAction(openAction);
    cut->Button()->SetGroupIndex(2);
    cut->SetTag(7);
    cut->Button()->SetShowHint(false);
    auto* saveAction = new TBasicAction(&form); // unnamed: not written
    saveAction->SetCaption("Save");
    save->SetAction(saveAction);
    std::string text = WriteComponent(*bar);

    EXPECT_EQ(text.rfind("object Bar: TSpeedBar\n", 0), 0u) << text;
    EXPECT_TRUE(Has(text, "  Options = [sbAllowDrag, sbFlatBtns]")) << text;
    EXPECT_TRUE(Has(text, "  BtnWidth = 30")) << text;
    EXPECT_FALSE(Has(text, "  BtnHeight = 23")) << text; // defaults are skipped
    EXPECT_FALSE(Has(text, "  Align = alTop")) << text;
    EXPECT_TRUE(Has(text, "  InternalVer = 1")) << text;
    EXPECT_TRUE(Has(text, "    SectionName = 'Edit'")) << text;
    // Sections come before the items.
    EXPECT_LT(text.find("object TSpeedbarSection"), text.find("object Open: TSpeedItem"));

    EXPECT_TRUE(Has(text, "    Action = OpenAction")) << text;
    EXPECT_TRUE(Has(text, "    ShowHint = False")) << text;
    EXPECT_TRUE(Has(text, "    Tag = 7")) << text;
    EXPECT_TRUE(Has(text, "    ParentShowHint = False")) << text;
    EXPECT_EQ(text.find("ShowHint = True"), std::string::npos) << "buttons follow their bar" << text;
    EXPECT_EQ(text.find("Action ="), text.rfind("Action =")) << "an unnamed action is not written";

    TForm other;
    other.SetBounds(0, 0, 400, 300);
    auto* otherAction = new TBasicAction(&other, "OpenAction");
    otherAction->SetCaption("Open");
    auto* copy = new TSpeedBar(&other, "Bar");
    copy->SetParent(&other);
    ReadComponent(text, copy, &other);
    EXPECT_FALSE(copy->Loading());
    ASSERT_EQ(copy->SectionCount(), 2);
    EXPECT_EQ(copy->Sections(1)->Caption(), "Edit");
    EXPECT_EQ(copy->BtnWidth(), 30);
    EXPECT_EQ(copy->Options(), sbAllowDrag | sbFlatBtns);
    ASSERT_EQ(copy->ItemsCount(0), 2);
    ASSERT_EQ(copy->ItemsCount(1), 1);
    TSpeedItem* cutCopy = copy->Items(1, 0);
    EXPECT_EQ(cutCopy->Name(), "Cut");
    EXPECT_EQ(cutCopy->Owner(), &other);
    EXPECT_FALSE(cutCopy->Enabled());
    EXPECT_TRUE(cutCopy->Visible());
    EXPECT_EQ(cutCopy->Left(), open->Left() + 48);
    EXPECT_EQ(cutCopy->Button()->Width(), 30); // buttons take the bar's size once loaded
    EXPECT_FALSE(copy->Items(0, 1)->Visible());
    EXPECT_EQ(copy->Items(0, 1)->Hint(), "Save|Writes the file");
    EXPECT_EQ(copy->Items(0, 0)->Action(), otherAction) << "the action of the same name";
    EXPECT_EQ(cutCopy->Button()->GroupIndex(), 2);
    EXPECT_EQ(cutCopy->Tag(), 7);
    EXPECT_EQ(cutCopy->Button()->Tag(), 7);
    EXPECT_FALSE(cutCopy->Button()->ShowHint());
    EXPECT_TRUE(copy->Items(0, 0)->Button()->ShowHint());
    EXPECT_EQ(copy->Items(0, 1)->Action(), nullptr);
    // Writing the copy gives the same text.
    EXPECT_EQ(WriteComponent(*copy), text);
}

TEST_F(StreamForm, OlderTextsWithSectionListsAndNumbersStillRead) {
    const std::string legacy = "object Bar: TSpeedBar\n"
                               "  Align = alNone\n"
                               "  Sections = ('File' 'Edit' 'File')\n"
                               "  NewStyle = True\n"
                               "  AllowDrag = False\n"
                               "  object Cut: TSpeedItem\n"
                               "    Caption = 'Cut'\n"
                               "    Section = 1\n"
                               "  end\n"
                               "  object Lost: TSpeedItem\n"
                               "    SectionName = 'Gone'\n"
                               "    Section = 7\n"
                               "  end\n"
                               "end\n";
    ReadComponent(legacy, bar, &form);
    ASSERT_EQ(bar->SectionCount(), 2);
    EXPECT_EQ(bar->Sections(0)->Caption(), "File");
    EXPECT_EQ(bar->Items(1, 0)->Name(), "Cut");
    EXPECT_EQ(bar->Items(1, 1)->Name(), "Lost"); // an unknown name and a number too large: the last
    EXPECT_EQ(bar->Options() & sbAllowDrag, 0);
    EXPECT_EQ(bar->Align(), TAlign::alTop); // no InternalVer and alNone: the old default edge
    // The legacy names are never written back.
    std::string text = WriteComponent(*bar);
    EXPECT_EQ(text.find("Sections ="), std::string::npos);
    EXPECT_EQ(text.find("NewStyle"), std::string::npos);
    EXPECT_EQ(text.find("    Section ="), std::string::npos);
}

TEST_F(StreamForm, SizesAndPlacesBeyondAnyScreenAreCutOnReading) {
    bar->AddSection("File");
    ReadComponent("object Bar: TSpeedBar\n"
                  "  BtnOffsetVert = 2147483647\n"
                  "  BtnHeight = 2147483647\n"
                  "  BtnWidth = 2147483647\n" // a prime: the grid search once ran through all of it
                  "  object Far: TSpeedItem\n"
                  "    Left = -2147483648\n"
                  "    Visible = True\n"
                  "  end\n"
                  "end\n",
                  bar, &form);
    EXPECT_EQ(bar->BtnHeight(), 4096);
    EXPECT_EQ(bar->BtnWidth(), 4096);
    EXPECT_EQ(bar->BtnOffsetVert(), 4096);
    EXPECT_EQ(bar->Items(0, 0)->Left(), -32767);
    // The next resize and move add them up (UBSan stopped the process here).
    bar->SetBtnWidth(30);
    bar->SetBtnOffsetHorz(10);
    EXPECT_EQ(bar->Height(), 2 * 4096 + 4096);
    EXPECT_EQ(bar->Items(0, 0)->Left(), -32767 + 7);
}

TEST_F(StreamForm, DamagedTextsRaiseReadErrorsWithTheirLine) {
    auto fails = [&](const std::string& text, const std::string& fragment) {
        try {
            TForm scratch;
            auto* b = new TSpeedBar(&scratch);
            ReadComponent(text, b, &scratch);
            ADD_FAILURE() << "no error for " << text;
        } catch (const EReadError& e) {
            EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
        }
    };
    fails("object B: TSpeedBar\n  Colour = 5\nend\n", "Line 2: Property Colour does not exist");
    fails("object B: TSpeedBar\n  object X: TNoSuchThing\n  end\nend\n", "Line 2: Class TNoSuchThing");
    fails("object B: TSpeedBar\n  BtnWidth = 'wide'\nend\n", "Line 2: Invalid property value");
    fails("object B: TSpeedBar\n  Align = alSideways\nend\n", "Line 2: Invalid property value: alSideways");
    fails("object B: TSpeedBar\n  Caption = 'open\nend\n", "Line 2: Unterminated string");
    fails("object B: TSpeedBar\n  BtnWidth = 3\n", "'end' expected");
    fails("object B: TSpeedItem\nend\n", "The text holds a TSpeedItem");
    fails("object B: TSpeedBar\n  object TSpeedbarButton\n  end\nend\n", "cannot be created");
}

// A customise window stand-in that records what its bar tells it.
class EditWindow : public TForm {
public:
    std::vector<std::pair<int, intptr_t>> told;

protected:
    void WndProc(TMessage& m) override {
        if (m.Msg == CM_SPEEDBARCHANGED) told.emplace_back(static_cast<int>(m.WParam), m.LParam);
        TForm::WndProc(m);
    }
};

TEST_F(StreamForm, DraggedButtonsShowAFloatingPictureAndDropOnTheGrid) {
    bar->AddSection("File");
    TSpeedItem* open = bar->NewItem(&form, 0, "Open");
    TSpeedItem* save = bar->NewItem(&form, 0, "Save");
    bar->AcceptDropItem(open, 3, 3);
    bar->AcceptDropItem(save, 27, 3);
    EditWindow window;
    bar->SetEditing(window.Handle());
    EXPECT_TRUE(save->Button()->Enabled());
    EXPECT_FALSE(save->Button()->Flat());

    // Pick Open up: the cursor jumps to the button's bottom-right corner.
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 5, 5);
    EXPECT_EQ(Screen->CursorPos(), (TPoint{3 + 24, 3 + 23}));
    EXPECT_EQ(bar->Controls(bar->ControlCount() - 1), open->Button()); // brought to the front
    // Move it right: the picture hangs from the cursor; the button itself hides.
    form.SimulateMouseMove(0, 100, 20);
    EXPECT_FALSE(open->Button()->Visible());
    // Its top-left is the cursor less the button size: (100 - 24, 20 - 23) is above the bar, so the
    // picture is not shown.
    form.SimulateMouseMove(0, 100, 26);
    // (76, 3) lies in the bar.
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 100, 26);
    EXPECT_TRUE(open->Visible());
    EXPECT_EQ(open->Left(), 75); // snapped to the 8-pixel grid from the offset
    EXPECT_EQ(open->Top(), 3);
    ASSERT_EQ(window.told.size(), 1u);
    EXPECT_EQ(window.told[0].first, kSbItemDropped);
    EXPECT_EQ(window.told[0].second, reinterpret_cast<intptr_t>(open));

    // Dragged off the bar: hidden and sent to the back, the window told code 0.
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 30, 5);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 200, 200);
    EXPECT_FALSE(save->Visible());
    EXPECT_EQ(bar->Controls(0), save->Button());
    EXPECT_EQ(window.told.back().first, kSbItemLeft);

    // Editing ends: enabled state and flat option come back, OnCustomize fires.
    int customized = 0;
    bar->OnCustomize = [&](TComponent*) { ++customized; };
    open->SetEnabled(false);
    EXPECT_TRUE(open->Button()->Enabled());
    bar->SetEditing(0);
    EXPECT_FALSE(open->Button()->Enabled());
    EXPECT_EQ(customized, 1);
}

TEST_F(StreamForm, TheDragPictureShowsOnlyWhileItsCornerIsOverTheBar) {
    bar->AddSection("File");
    TSpeedItem* open = bar->NewItem(&form, 0, "Open");
    open->SetBtnCaption("O");
    bar->AcceptDropItem(open, 3, 3);
    TBtnControl picture;
    picture.AssignSpeedItem(open);
    EXPECT_EQ(picture.Width(), 24);
    EXPECT_EQ(picture.ButtonImage().Caption, "O");
    EXPECT_FALSE(picture.Active());
    picture.Activate({50, 60, 80, 90});
    EXPECT_TRUE(picture.Active());
    EXPECT_TRUE(picture.TopMost());
    EXPECT_EQ(picture.BoundsRect(), (gfx::TRect{50, 60, 74, 83})); // keeps its own size
    EXPECT_EQ(picture.Cursor(), components::crDragHand);
    gfx::Bitmap shot(24, 23);
    picture.PaintTo(shot);
    EXPECT_EQ(shot.GetPixel(0, 0), gfx::ColorToRGB(gfx::clBtnHighlight)); // a raised face
    EXPECT_EQ(shot.GetPixel(23, 22), gfx::ColorToRGB(gfx::clBtnShadow));
    picture.ReleaseHandle();
    EXPECT_FALSE(picture.Active());
    // The picture is disabled: the window under it is what counts for a drop.
    EXPECT_FALSE(picture.Enabled());
}

TEST_F(StreamForm, ACellShowsTheButtonPictureThenTheCaption) {
    bar->AddSection("File");
    TSpeedItem* open = bar->NewItem(&form, 0, "Open");
    TDrawGrid grid(&form);
    grid.SetParent(&form);
    grid.SetBounds(0, 100, 200, 60);
    components::TButtonImage image;
    grid.OnDrawCell = [&](TComponent*, int, int row, gfx::TRect r, TGridDrawState) {
        if (row == 1) DrawCellButton(&grid, r, open, image, false);
    };
    gfx::Bitmap shot(200, 60);
    grid.PaintTo(shot);
    gfx::TRect cell = grid.CellRect(1, 1);
    EXPECT_EQ(shot.GetPixel(cell.Left + 1, cell.Top + 1), gfx::ColorToRGB(gfx::clBtnHighlight));
    // The cell's left edge moves by the picture's width + 3; the cell text is inset by 2 more.
    int textLeft = -1;
    for (int x = cell.Left; x < cell.Right && textLeft < 0; ++x)
        for (int y = cell.Top; y < cell.Bottom; ++y)
            if (x > cell.Left + 25 && shot.GetPixel(x, y) == gfx::ColorToRGB(grid.Font().Color())) {
                textLeft = x;
                break;
            }
    EXPECT_EQ(textLeft, cell.Left + 24 + 3 + 2);
}

} // namespace
