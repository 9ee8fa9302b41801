// The speed bar: grid and edge arithmetic, sections and items, orientation rules, dropping items,
// moving the bar by the mouse, offsets that follow its frame, and the layout storage with damaged values.
#include <gtest/gtest.h>

#include "extra/AppEvent.h"
#include "extra/SpeedBar.h"
#include "platform/IniFile.h"
#include "platform/StringList.h"
#include "platform/controls/Screen.h"
#include "platform/controls/SystemMetrics.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace extra;
using namespace platform;
using gfx::TPoint;

namespace {

TEST(SpeedBarLogic, GridStepsAndTargetEdges) {
    for (auto [size, step] : {std::pair{24, 8}, {23, 1}, {10, 5}, {16, 8}, {2, 1}, {1, 1}, {0, 1}})
        EXPECT_EQ(SpeedBarGridStep(size), step) << size;
    // The two diagonals of a 400 x 200 area.
    EXPECT_EQ(SpeedBarTargetEdge(400, 200, {200, 10}, TAlign::alTop), TAlign::alTop);
    EXPECT_EQ(SpeedBarTargetEdge(400, 200, {390, 100}, TAlign::alTop), TAlign::alRight);
    EXPECT_EQ(SpeedBarTargetEdge(400, 200, {10, 100}, TAlign::alTop), TAlign::alLeft);
    EXPECT_EQ(SpeedBarTargetEdge(400, 200, {200, 190}, TAlign::alTop), TAlign::alBottom);
    // An empty parent keeps the current edge instead of dividing by zero.
    EXPECT_EQ(SpeedBarTargetEdge(0, 200, {5, 5}, TAlign::alLeft), TAlign::alLeft);
    EXPECT_EQ(SpeedBarTargetEdge(400, -1, {5, 5}, TAlign::alBottom), TAlign::alBottom);
}

class BarForm : public ::testing::Test {
protected:
    BarForm() {
        gfx::TFont::UseTestFont(true);
        form.SetBounds(0, 0, 400, 300);
        bar = new TSpeedBar(&form, "Bar");
        bar->SetParent(&form);
        form.Show();
    }
    ~BarForm() override { gfx::TFont::UseTestFont(false); }
    TForm form;
    TSpeedBar* bar;
};

TEST_F(BarForm, DefaultsSectionsAndItems) {
    EXPECT_EQ(bar->BtnWidth(), 24);
    EXPECT_EQ(bar->BtnHeight(), 23);
    EXPECT_EQ(bar->BtnOffsetHorz(), 3);
    EXPECT_EQ(bar->Height(), 29);
    EXPECT_EQ(bar->GridSize(), (TPoint{8, 23}));
    EXPECT_EQ(bar->Font().Name(), SystemMetrics().MenuFontName);
    {
        TSystemMetrics saved = SystemMetrics();
        SystemMetrics().FontQueryFails = true;
        TSpeedBar plain;
        SystemMetrics() = saved;
        EXPECT_EQ(plain.Font().Name(), "MS Sans Serif");
        EXPECT_EQ(plain.Font().Color(), gfx::clBtnText);
    }
    EXPECT_EQ(bar->AddSection("Edit"), 0);
    EXPECT_EQ(NewSpeedSection(bar, "Edit"), 1);
    EXPECT_EQ(bar->Sections(1)->Caption(), "Edit (1)");
    EXPECT_THROW(bar->Sections(1)->SetCaption("Edit"), ESpeedbarError);
    EXPECT_EQ(bar->SearchSection("edit"), -1); // titles are case-sensitive
    TSpeedItem* open = bar->NewItem(&form, 0, "Open");
    EXPECT_EQ(NewSpeedItem(&form, bar, 5, "Nope"), nullptr);
    EXPECT_EQ(open->Caption(), "Open");
    EXPECT_EQ(open->Hint(), "Open|");
    EXPECT_EQ(bar->SearchItem("OPEN"), open); // names are not
    // A negative section index means the first section, too large the last.
    auto* cut = new TSpeedItem(&form, "Cut");
    bar->AddItem(-3, cut);
    EXPECT_EQ(cut->Section(), 0);
    bar->AddItem(9, cut);
    EXPECT_EQ(cut->Section(), 1);
    int s, i;
    EXPECT_TRUE(bar->FindItem(cut, s, i));
    EXPECT_EQ(s, 1);
    bar->Sections(1)->SetIndex(-5); // clamped
    EXPECT_EQ(cut->Section(), 0);
    EXPECT_EQ(open->Section(), 1);
    // Hint rules follow the caption.
    open->SetHint("Open|Opens a file");
    open->SetCaption("Load");
    EXPECT_EQ(open->Hint(), "Load|Opens a file");
    open->SetCaption("Save|");
    EXPECT_EQ(open->Hint(), "Save|Opens a file");
    bar->RemoveSection(1); // frees its items
    EXPECT_EQ(bar->SearchItem("Open"), nullptr);
    bar->DeleteSection(0); // detaches them
    EXPECT_EQ(cut->SpeedBar(), nullptr);
    delete cut;
}

TEST_F(BarForm, AnItemShowsItsActionAndItsClickExecutesIt) {
    bar->AddSection("File");
    TSpeedItem* open = bar->NewItem(&form, 0, "Open");
    ASSERT_TRUE(bar->AcceptDropItem(open, 3, 3));
    auto* action = new TBasicAction(&form, "OpenAction");
    action->SetCaption("Open file");
    action->SetImageIndex(2);
    std::vector<TComponent*> executedFor;
    action->OnExecute = [&](TBasicAction* a) { executedFor.push_back(a->ActionComponent); };
    open->SetHint("Open|Opens a file");

    open->SetAction(action);
    EXPECT_EQ(open->Action(), action);
    EXPECT_EQ(open->Caption(), "Open file");
    EXPECT_EQ(open->Hint(), "Open file|Opens a file") << "an action without a hint keeps the item's";
    EXPECT_EQ(open->ImageIndex(), 2);
    action->SetHint("Open file|From disk");
    EXPECT_EQ(open->Hint(), "Open file|From disk");
    // The button shows hints while its bar does.
    ASSERT_TRUE(Application->ActivateHint(open->Button(), {5, 5}));
    EXPECT_EQ(Application->ShownHint->HintStr, "Open file");
    bar->SetShowHint(false);
    EXPECT_FALSE(Application->ActivateHint(open->Button(), {5, 5}));
    bar->SetShowHint(true);

    // The user's click goes to the action, with the item as the component that executed it.
    const int x = open->Left() + 5, y = open->Top() + 5;
    form.SimulateClick(x, y);
    EXPECT_EQ(executedFor, (std::vector<TComponent*>{open}));
    EXPECT_EQ(action->ActionComponent, nullptr);

    // A disabled action disables the item and its button: clicks are lost.
    action->SetEnabled(false);
    EXPECT_FALSE(open->Enabled());
    EXPECT_FALSE(open->Button()->Enabled());
    form.SimulateClick(x, y);
    open->Click();
    EXPECT_EQ(executedFor.size(), 1u);
    action->SetEnabled(true);

    // The application's action event takes it first.
    {
        TAppEvents events;
        events.OnActionExecute = [](TBasicAction*, bool& handled) { handled = true; };
        open->Click();
        EXPECT_EQ(executedFor.size(), 1u);
    }
    open->Click();
    EXPECT_EQ(executedFor.size(), 2u);

    // The item's own handler wins over the action.
    int own = 0;
    open->OnClick = [&](TComponent* sender) { own += sender == open; };
    form.SimulateClick(x, y);
    EXPECT_EQ(own, 1);
    EXPECT_EQ(executedFor.size(), 2u);
    open->OnClick = nullptr;

    // Going idle updates the linked action: here the application's update handler disables it.
    int updates = 0;
    action->OnUpdate = [&](TBasicAction* a) {
        ++updates;
        a->SetEnabled(false);
    };
    {
        testsupport::SimulatedClockScope clock;
        EventLoop::Get().RunFor(10);
    }
    EXPECT_GE(updates, 1);
    EXPECT_FALSE(open->Enabled());
    {
        TAppEvents events;
        events.OnActionUpdate = [](TBasicAction*, bool& handled) { handled = true; };
        updates = 0;
        testsupport::SimulatedClockScope clock;
        EventLoop::Get().RunFor(10);
        EXPECT_EQ(updates, 0);
    }
    action->OnUpdate = nullptr;
    action->SetEnabled(true);

    // Freeing the action unlinks the item, even from the action's own handler; a freed item leaves
    // its action.
    action->OnExecute = [](TBasicAction* a) { delete a; };
    form.SimulateClick(x, y);
    EXPECT_EQ(open->Action(), nullptr);
    form.SimulateClick(x, y);
    auto* other = new TBasicAction(&form, "Other");
    open->SetAction(other);
    delete open;
    other->SetCaption("Still here");
    EXPECT_EQ(other->Caption(), "Still here");
}

TEST_F(BarForm, OrientationFollowsTheEdgeAndSwapsSizes) {
    EXPECT_THROW(bar->SetAlign(TAlign::alClient), ESpeedbarError);
    EXPECT_THROW(bar->SetOrientation(TBarOrientation::boVertical), ESpeedbarError);
    bar->SetBtnWidth(30);
    bar->SetAlign(TAlign::alLeft);
    EXPECT_EQ(bar->Orientation(), TBarOrientation::boVertical);
    EXPECT_EQ(bar->BtnWidth(), 23);
    EXPECT_EQ(bar->BtnHeight(), 30);
    EXPECT_EQ(bar->GridSize(), (TPoint{23, 10}));
    bar->SetPosition(TBarPosition::bpCustom);
    bar->SetOrientation(TBarOrientation::boHorizontal);
    EXPECT_EQ(bar->Align(), TAlign::alLeft);
    EXPECT_EQ(bar->BtnWidth(), 30);
}

TEST_F(BarForm, TheWallpaperTilesOrStretchesInsideTheBevelUnderTheBoundLines) {
    // A 10 x 10 red tile with a blue top-left pixel; the inner rectangle starts at (1, 1).
    gfx::Bitmap tile(10, 10);
    tile.GetCanvas().Brush.Color = gfx::clRed;
    tile.GetCanvas().FillRect({0, 0, 10, 10});
    tile.SetPixel(0, 0, gfx::clBlue);
    bar->SetWallpaper(tile);
    bar->SetBoundLines(blTop | blBottom);
    const int w = bar->Width(), h = bar->Height();
    ASSERT_GT(w, 100);
    gfx::Bitmap shot(w, h);
    form.PaintTo(shot);
    const gfx::Bitmap& s = bar->Surface();
    const uint32_t shadow = gfx::ColorToRGB(gfx::clBtnShadow),
                   highlight = gfx::ColorToRGB(gfx::clBtnHighlight);
    EXPECT_EQ(s.GetPixel(11, 11), gfx::clBlue);
    EXPECT_EQ(s.GetPixel(1 + 10 * ((w - 3) / 10), 11), gfx::clBlue); // the last, cut column
    EXPECT_EQ(s.GetPixel(12, 11), gfx::clRed);
    EXPECT_NE(s.GetPixel(0, 11), gfx::clRed); // the bevel stays
    EXPECT_NE(s.GetPixel(w - 1, 11), gfx::clRed);
    EXPECT_EQ(s.GetPixel(20, 1), shadow);
    EXPECT_EQ(s.GetPixel(20, 2), highlight);
    EXPECT_EQ(s.GetPixel(20, h - 4), gfx::clRed);
    EXPECT_EQ(s.GetPixel(20, h - 3), shadow);
    EXPECT_EQ(s.GetPixel(20, h - 2), highlight);
    // Controls aligned on the bar keep off the lines' 2 pixels.
    auto* inner = new widgets::TPanel(&form);
    inner->SetParent(bar);
    inner->SetAlign(TAlign::alClient);
    EXPECT_EQ(inner->BoundsRect(), (gfx::TRect{0, 2, w, h - 2}));
    bar->SetBoundLines(blLeft | blRight);
    EXPECT_EQ(inner->BoundsRect(), (gfx::TRect{2, 0, w - 2, h}));
    delete inner;
    bar->SetBoundLines(blTop | blBottom);

    // Stretched, the blue pixel covers the first tenth of the inner rectangle.
    bar->SetOptions(bar->Options() | sbStretchBitmap);
    form.PaintTo(shot);
    EXPECT_EQ(s.GetPixel(1 + (w - 2) / 10 - 1, 3), gfx::clBlue);
    EXPECT_EQ(s.GetPixel(1 + (w - 2) / 10 + 1, 3), gfx::clRed);
    EXPECT_EQ(s.GetPixel(11, 11), gfx::clRed);
}

TEST_F(BarForm, DroppedItemsSnapToTheGridAndHideOutsideTheBar) {
    bar->AddSection("File");
    TSpeedItem* open = bar->NewItem(&form, 0, "Open");
    // Along the bar: round to the 8-pixel grid from the offset (ties to even); across: truncate.
    EXPECT_TRUE(bar->AcceptDropItem(open, 3 + 12, 20));
    EXPECT_EQ(open->Left(), 3 + 16);
    EXPECT_EQ(open->Top(), 3);
    EXPECT_TRUE(open->Visible());
    EXPECT_TRUE(open->Button()->Visible());
    EXPECT_TRUE(bar->AcceptDropItem(open, 3 + 4, 0));
    EXPECT_EQ(open->Left(), 3); // 0.5 rounds to even
    EXPECT_FALSE(bar->AcceptDropItem(open, 500, 5));
    EXPECT_FALSE(open->Visible());
    TSpeedItem stray(nullptr, "Stray");
    EXPECT_FALSE(bar->AcceptDropItem(&stray, 5, 5));

    // Scaling the form by 3/2 scales the bar: buttons, offsets and places grow and snap to the new grid
    // (36 wide: a step of 9).
    EXPECT_TRUE(bar->AcceptDropItem(open, 3 + 24, 3));
    form.ScaleBy(3, 2);
    EXPECT_EQ(bar->BtnWidth(), 36);
    EXPECT_EQ(bar->BtnHeight(), 35);
    EXPECT_EQ(bar->BtnOffsetHorz(), 5);
    EXPECT_EQ(bar->GridSize(), (TPoint{9, 35}));
    EXPECT_EQ(open->Left(), 5 + 36);
    EXPECT_EQ(open->Button()->Width(), 36);
    EXPECT_GE(bar->Height(), 2 * 5 + 35);
    bar->ChangeScale(1, 0); // nothing
    EXPECT_EQ(bar->BtnWidth(), 36);
    // A style that fixes the height keeps the button height.
    bar->SetControlStyle(bar->ControlStyle() | csFixedHeight);
    form.ScaleBy(2, 3);
    EXPECT_EQ(bar->BtnWidth(), 24);
    EXPECT_EQ(bar->BtnHeight(), 35);
    EXPECT_EQ(bar->BtnOffsetVert(), 3);
    // And one that fixes the width keeps the button width.
    bar->SetControlStyle((bar->ControlStyle() & ~csFixedHeight) | csFixedWidth);
    form.ScaleBy(3, 2);
    EXPECT_EQ(bar->BtnWidth(), 24);
    EXPECT_EQ(bar->BtnHeight(), 53);
    // While loading only what was set is scaled; afterwards everything is.
    auto* loading = new TSpeedBar(&form);
    loading->SetLoading();
    loading->SetBtnWidth(30);
    loading->ChangeScale(2, 1);
    EXPECT_EQ(loading->BtnWidth(), 60);
    EXPECT_EQ(loading->BtnHeight(), 23);
    EXPECT_EQ(loading->BtnOffsetHorz(), 3);
    loading->Loaded();
    loading->ChangeScale(2, 1);
    EXPECT_EQ(loading->BtnHeight(), 46);
    EXPECT_EQ(loading->BtnOffsetHorz(), 6);
}

TEST_F(BarForm, AWiderFrameRaisesTheButtonOffsetsAndMovesTheButtonsWithThem) {
    bar->AddSection("File");
    TSpeedItem* open = bar->NewItem(&form, 0, "Open");
    ASSERT_TRUE(bar->AcceptDropItem(open, 3 + 24, 3));
    ASSERT_EQ(open->Button()->Left(), 3 + 24);
    // A border of 4 and an inner bevel of 1 take 5 more pixels of each side: the bar aligns its
    // controls anew and the offsets and the button follow.
    bar->SetBorderWidth(4);
    bar->SetBevelInner(widgets::TBevelCut::bvLowered);
    EXPECT_EQ(bar->BtnOffsetHorz(), 8);
    EXPECT_EQ(bar->BtnOffsetVert(), 8);
    EXPECT_EQ(open->Button()->Left(), 8 + 24);
    EXPECT_EQ(open->Button()->Top(), 8);
    // A narrower frame leaves them where they are.
    bar->SetBorderWidth(0);
    EXPECT_EQ(bar->BtnOffsetHorz(), 8);
    EXPECT_EQ(open->Button()->Left(), 8 + 24);
}

TEST_F(BarForm, TheDockFrameLeavesOutTheSiblingsNearerToTheEdge) {
    // Siblings align in z-order, the first nearest to its edge: one top panel before the bar, one after.
    auto panel = [&](TAlign align, int size, bool beforeBar) {
        auto* p = new widgets::TPanel(&form);
        p->SetBounds(0, 0, size, size);
        p->SetParent(&form);
        p->SetAlign(align);
        if (beforeBar) p->SendToBack();
        return p;
    };
    panel(TAlign::alTop, 20, true);
    panel(TAlign::alTop, 10, false);
    panel(TAlign::alLeft, 30, true);
    panel(TAlign::alLeft, 40, false);
    ASSERT_EQ(bar->Top(), 20);
    EXPECT_EQ(bar->DockFrame(TAlign::alTop), (gfx::TRect{0, 20, 400, 49}));
    // Every top panel is nearer than the left edge; of the left ones only the one before the bar.
    EXPECT_EQ(bar->DockFrame(TAlign::alLeft), (gfx::TRect{30, 59, 59, 300}));
    EXPECT_EQ(bar->DockFrame(TAlign::alBottom), (gfx::TRect{0, 271, 400, 300}));
}

TEST_F(BarForm, DraggingTheBarDocksItAtTheEdgeUnderThePointer) {
    std::vector<TAlign> offered;
    bar->OnApplyAlign = [&](TComponent*, TAlign a, bool& apply) {
        offered.push_back(a);
        apply = a != TAlign::alRight;
    };
    int moved = 0;
    bar->OnPosChanged = [&](TComponent*) { ++moved; };
    gfx::Bitmap before = Screen->Desktop();
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 200, 10);
    form.SimulateMouseMove(0, 202, 12); // under 5 pixels: no drag yet
    form.SimulateMouseMove(0, 204, 6);
    EXPECT_TRUE(offered.empty());
    EXPECT_EQ(Screen->Cursor, crDefault);
    form.SimulateMouseMove(0, 200, 15); // 5 pixels down: the drag starts
    EXPECT_EQ(Screen->Cursor, components::crDragHand);
    form.SimulateMouseMove(0, 390, 150); // right: vetoed
    form.SimulateMouseMove(0, 200, 290); // bottom
    EXPECT_EQ(Screen->Cursor, components::crDragHand);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 200, 290);
    EXPECT_EQ(bar->Align(), TAlign::alBottom);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(Screen->Cursor, crDefault);
    ASSERT_GE(offered.size(), 2u);
    EXPECT_EQ(offered[1], TAlign::alRight);
    // Every inverted frame was erased again.
    for (int y = 0; y < 300; y += 7)
        for (int x = 0; x < 400; x += 3)
            ASSERT_EQ(Screen->Desktop().GetPixel(x, y), before.GetPixel(x, y)) << x << "," << y;

    // While the bar is customised, its inner edge resizes it in whole rows of buttons, one at least.
    bar->SetOptions(bar->Options() | sbAllowResize);
    bar->SetEditing(form.Handle());
    ASSERT_EQ(bar->Top(), 271);
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 200, 272);
    form.SimulateMouseMove(0, 200, 200); // 100 from the bottom edge: (100 - 2 x 3) div 23 = 4 rows
    EXPECT_EQ(bar->Height(), 4 * 23 + 2 * 3);
    form.SimulateMouseMove(0, 200, 295);
    EXPECT_EQ(bar->Height(), 23 + 2 * 3);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 200, 295);
    EXPECT_EQ(bar->Align(), TAlign::alBottom);
    EXPECT_EQ(moved, 1);
    bar->SetEditing(0);
}

TEST_F(BarForm, LayoutsRoundTripAndDamagedValuesAreBounded) {
    testsupport::ScratchDir dir;
    TIniFile ini(dir.Path() + "/bar.ini");
    bar->AddSection("File");
    TSpeedItem* open = bar->NewItem(&form, 0, "Open");
    TSpeedItem* save = bar->NewItem(&form, 0, "Save");
    TSpeedItem* secret = bar->NewItem(&form, 0, "Secret");
    bar->AcceptDropItem(open, 3, 3);
    bar->AcceptDropItem(save, 27, 3);
    bar->AcceptDropItem(secret, 51, 3);
    secret->SetStored(false);
    bar->SaveLayout(ini);
    const std::string section = "TFormBar";
    EXPECT_EQ(ini.ReadString(section, "Button1", ""), "Open,3,3");
    EXPECT_EQ(ini.ReadString(section, "Button2", ""), "Save,27,3");
    EXPECT_EQ(ini.ReadInteger(section, "Count", 0), 2);
    EXPECT_EQ(ini.ReadInteger(section, "Position", 0), 1);

    // A hand-edited section: Open at -5,7 goes to the offsets; items not named are hidden.
    ini.EraseSection(section);
    ini.WriteInteger(section, "Position", 99);      // no alignment: ignored
    ini.WriteInteger(section, "Count", 2000000000); // bounded by the keys there are
    ini.WriteInteger(section, "Width", -40);        // at least one row of buttons
    ini.WriteInteger(section, "PixelsPerInch", 96);
    ini.WriteString(section, "Button1", "open,-5,7");
    bar->SetOptions(bar->Options() | sbAllowResize);
    bar->RestoreLayout(ini);
    EXPECT_EQ(bar->Align(), TAlign::alTop);
    EXPECT_EQ(bar->Height(), 29);
    EXPECT_EQ(open->Left(), 3);
    EXPECT_EQ(open->Top(), 7);
    EXPECT_TRUE(open->Visible());
    EXPECT_FALSE(save->Visible());
    ini.WriteInteger(section, "Width", 100000);
    bar->RestoreLayout(ini);
    EXPECT_EQ(bar->Height(), form.ClientHeight());

    // A layout from another resolution restores only the position.
    ini.WriteInteger(section, "PixelsPerInch", 120);
    ini.WriteInteger(section, "Position", 3);
    ini.WriteString(section, "Button1", "Save,50,3");
    int moved = 0;
    bar->OnPosChanged = [&](TComponent*) { ++moved; };
    bar->RestoreLayout(ini);
    EXPECT_EQ(bar->Align(), TAlign::alLeft);
    EXPECT_EQ(moved, 1);
    EXPECT_FALSE(save->Visible());
    // A newer bar ignores an older layout.
    bar->Version = 2;
    ini.WriteInteger(section, "Version", 1);
    ini.WriteInteger(section, "Position", 1);
    bar->RestoreLayout(ini);
    EXPECT_EQ(bar->Align(), TAlign::alLeft);
}

TEST_F(BarForm, ThePlacementStorageSavesAndRestoresTheLayoutOfANamedBar) {
    testsupport::ScratchDir dir;
    auto* storage = new components::TFormPlacement(&form);
    storage->IniFileName = dir.Path() + "/placement.ini";
    bar->SetIniStorage(storage);
    auto* unnamed = new TSpeedBar(&form);
    unnamed->SetIniStorage(storage);
    bar->AddSection("File");
    TSpeedItem* open = bar->NewItem(&form, 0, "Open");
    bar->AcceptDropItem(open, 27, 3);
    storage->SaveFormPlacement();
    TIniFile ini(storage->IniFileName);
    EXPECT_EQ(ini.ReadString("TForm\\TFormBar", "Button1", ""), "Open,27,3");
    TStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections.Count(), 2) << "the form and the named bar"; // an unnamed bar has no section

    bar->AcceptDropItem(open, 51, 3);
    storage->RestoreFormPlacement();
    EXPECT_EQ(open->Left(), 27);
    // Unlinked, the bar is no longer saved with the form.
    bar->SetIniStorage(nullptr);
    bar->AcceptDropItem(open, 51, 3);
    storage->SaveFormPlacement();
    EXPECT_EQ(TIniFile(storage->IniFileName).ReadString("TForm\\TFormBar", "Button1", ""), "Open,27,3");
}

} // namespace
