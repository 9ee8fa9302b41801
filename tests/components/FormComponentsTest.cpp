// The form components under the component units: the speed button's groups, repeat and drop-down
// menu, the glyph layout, the drawing helpers on pixels, default sections, the placement storage with
// its links over a file and over the registry, and the window hook.
#include <gtest/gtest.h>

#include "components/Placemnt.h"
#include "components/PopupWindow.h"
#include "components/RxCtrls.h"
#include "components/RxHook.h"
#include "components/VCLUtils.h"
#include "platform/EventLoop.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/controls/Screen.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace components;
using namespace platform;
using namespace platform::widgets;
using gfx::TRect;

namespace {

struct TestFont {
    TestFont() { gfx::TFont::UseTestFont(true); }
    ~TestFont() { gfx::TFont::UseTestFont(false); }
};

class ButtonForm : public ::testing::Test {
protected:
    ButtonForm() {
        form.SetBounds(0, 0, 200, 100);
        form.Show();
    }
    TRxSpeedButton* Add(int left, int group = 0) {
        auto* b = new TRxSpeedButton(&form);
        b->SetParent(&form);
        b->SetBounds(left, 0, 25, 25);
        b->SetGroupIndex(group);
        return b;
    }
    TestFont font;
    TForm form;
};

TEST_F(ButtonForm, GroupedButtonsStayExclusiveAndClickOnReleaseInside) {
    auto* a = Add(0, 1);
    auto* b = Add(30, 1);
    int clicks = 0;
    a->OnClick = [&](TComponent*) { ++clicks; };
    form.SimulateClick(5, 5);
    EXPECT_TRUE(a->Down());
    EXPECT_EQ(clicks, 1);
    form.SimulateClick(35, 5);
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(a->Down());
    form.SimulateClick(35, 5); // the last one down stays down without AllowAllUp
    EXPECT_TRUE(b->Down());
    b->SetAllowAllUp(true);
    EXPECT_TRUE(a->AllowAllUp()); // the group shares it
    form.SimulateClick(35, 5);
    EXPECT_FALSE(b->Down());
    // A press dragged off the button and released outside does not click.
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 5, 5);
    EXPECT_EQ(a->State(), TRxButtonState::rbsDown);
    form.SimulateMouseMove(0, 100, 80);
    EXPECT_EQ(a->State(), TRxButtonState::rbsUp);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 100, 80);
    EXPECT_EQ(clicks, 1);
    // A button without a group never stays down.
    auto* plain = Add(60);
    plain->SetDown(true);
    EXPECT_FALSE(plain->Down());
}

TEST_F(ButtonForm, AllowTimerRepeatsTheClickWhileHeldAndStopsOnRelease) {
    testsupport::SimulatedClockScope clock;
    EventLoop::Get().Reset();
    auto* b = Add(0);
    b->SetAllowTimer(true);
    int clicks = 0;
    b->OnClick = [&](TComponent*) { ++clicks; };
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 5, 5);
    EventLoop::Get().RunFor(499);
    EXPECT_EQ(clicks, 0);
    EventLoop::Get().RunFor(301); // 500 ms, then every 100 ms: 800 ms gives 4 repeats
    EXPECT_EQ(clicks, 4);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 5, 5);
    EXPECT_EQ(clicks, 5); // and the release clicks once
    EventLoop::Get().RunFor(1000);
    EXPECT_EQ(clicks, 5);
}

TEST_F(ButtonForm, ADropDownMenuPopsUpBelowTheButtonInsteadOfClicking) {
    TheMenuHost().Reset();
    auto* b = Add(40);
    form.SetBounds(100, 50, 200, 100);
    TPopupMenu menu;
    b->SetDropDownMenu(&menu);
    int clicks = 0;
    b->OnClick = [&](TComponent*) { ++clicks; };
    form.SimulateClick(45, 5);
    ASSERT_EQ(TheMenuHost().Tracked.size(), 1u);
    EXPECT_EQ(TheMenuHost().Tracked[0].x, 140);
    EXPECT_EQ(TheMenuHost().Tracked[0].y, 75);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(menu.PopupComponent, b);
    {
        TPopupMenu other;
        b->SetDropDownMenu(&other);
    } // freed: the button lets go of it
    EXPECT_EQ(b->DropDownMenu(), nullptr);
    EXPECT_FALSE(b->CheckBtnMenuDropDown());
    TheMenuHost().Reset();
}

TEST(GlyphLayout, MarginAndSpacingPlaceGlyphAndCaption) {
    TestFont font;
    gfx::Bitmap b(10, 10);
    gfx::Canvas c(b);
    c.Font.SetHeight(8); // characters 4 wide
    TRxButtonGlyph g;
    TRect client{0, 0, 40, 30};
    // Glyph above the caption, centred as a block: margin (30 - (16 + 4 + 8) + 1) / 2 = 1.
    auto l = g.CalcLayout(c, client, "ab", TButtonLayout::blGlyphTop, -1, 4, {16, 16}, false);
    EXPECT_EQ(l.glyphPos.X, 12);
    EXPECT_EQ(l.glyphPos.Y, 1);
    EXPECT_EQ(l.textBounds, (TRect{16, 21, 24, 29}));
    // Fixed margin, glyph on the left; spacing -1 centres the text in what is left.
    l = g.CalcLayout(c, client, "ab", TButtonLayout::blGlyphLeft, 2, -1, {16, 16}, false);
    EXPECT_EQ(l.glyphPos.X, 2);
    EXPECT_EQ(l.textBounds.Left, 2 + 16 + (40 - 18 - 8) / 2);
    // Without a caption the glyph is centred.
    l = g.CalcLayout(c, client, "", TButtonLayout::blGlyphRight, -1, 4, {16, 16}, false);
    EXPECT_EQ(l.glyphPos.X, 40 - 12 - 16);
}

TEST(DrawingHelpers, AnInvertedFrameDrawnTwiceLeavesTheScreenAsItWas) {
    gfx::Bitmap& desk = Screen->Desktop();
    gfx::Canvas c(desk);
    c.Brush.Color = gfx::RGB(10, 200, 30);
    c.FillRect({0, 0, 200, 200});
    DrawInvertFrame({10, 10, 50, 40}, 3);
    EXPECT_EQ(desk.GetPixel(10, 10), gfx::RGB(245, 55, 225));
    EXPECT_EQ(desk.GetPixel(12, 20), gfx::RGB(245, 55, 225));
    EXPECT_EQ(desk.GetPixel(13, 20), gfx::RGB(10, 200, 30)); // three lines thick
    EXPECT_EQ(desk.GetPixel(49, 39), gfx::RGB(245, 55, 225));
    DrawInvertFrame({10, 10, 50, 40}, 3);
    for (int y = 5; y < 45; ++y)
        for (int x = 5; x < 55; ++x)
            ASSERT_EQ(desk.GetPixel(x, y), gfx::RGB(10, 200, 30)) << x << "," << y;
    DrawInvertFrame({-5, -5, 3, 3}, 2); // partly off the screen: no harm
}

TEST(DrawingHelpers, GradientsTransparencyAndCells) {
    gfx::Bitmap b(32, 8);
    gfx::Canvas c(b);
    GradientFillRect(c, {0, 0, 32, 8}, gfx::clBlue, gfx::RGB(0, 0, 63), TFillDirection::fdLeftToRight, 32);
    EXPECT_EQ(b.GetPixel(0, 0), gfx::clBlue);
    EXPECT_EQ(b.GetPixel(31, 7), gfx::RGB(0, 0, 63));
    EXPECT_EQ(gfx::GetBValue(b.GetPixel(16, 3)), 255 + (63 - 255) * 16 / 31);
    GradientFillRect(c, {0, 0, 32, 8}, gfx::clRed, gfx::clBlack, TFillDirection::fdBottomToTop, 2);
    EXPECT_EQ(b.GetPixel(0, 7), gfx::clRed);
    EXPECT_EQ(b.GetPixel(0, 0), gfx::clBlack);

    // A 2 x 1 sheet of cells: red and green, each with a black corner pixel as "transparent".
    gfx::Bitmap sheet(8, 4);
    gfx::Canvas s(sheet);
    s.Brush.Color = gfx::clRed;
    s.FillRect({0, 0, 4, 4});
    s.Brush.Color = gfx::clLime;
    s.FillRect({4, 0, 8, 4});
    sheet.SetPixel(4, 0, gfx::clBlack);
    gfx::Bitmap cell;
    AssignBitmapCell(sheet, cell, 2, 1, 1);
    EXPECT_EQ(cell.Width(), 4);
    EXPECT_EQ(cell.GetPixel(1, 1), gfx::clLime);
    AssignBitmapCell(sheet, cell, 2, 1, 2); // out of range: unchanged
    EXPECT_EQ(cell.GetPixel(1, 1), gfx::clLime);
    gfx::Bitmap target(6, 6);
    gfx::Canvas t(target);
    t.Brush.Color = gfx::clWhite;
    t.FillRect({0, 0, 6, 6});
    DrawBitmapTransparent(t, 1, 1, cell, gfx::clBlack);
    EXPECT_EQ(target.GetPixel(1, 1), gfx::clWhite); // the black corner left the white
    EXPECT_EQ(target.GetPixel(2, 1), gfx::clLime);

    // The disabled look: outline where the picture differs from its background, highlight below right.
    gfx::Bitmap glyph(4, 4);
    gfx::Canvas g(glyph);
    g.Brush.Color = gfx::clWhite;
    g.FillRect({0, 0, 4, 4});
    glyph.SetPixel(1, 1, gfx::clBlack);
    auto disabled =
        CreateDisabledBitmapEx(glyph, gfx::clGray, gfx::clSilver, gfx::clWhite, gfx::clGray, true);
    EXPECT_EQ(disabled->GetPixel(1, 1), gfx::clGray);
    EXPECT_EQ(disabled->GetPixel(2, 2), gfx::clWhite);
    EXPECT_EQ(disabled->GetPixel(0, 0), gfx::clSilver);
}

TEST(DrawingHelpers, ImageListsDrawDisabledAsAnEmbossedSilhouette) {
    TImageList images;
    images.SetSize(4, 4);
    gfx::Bitmap pic(4, 4);
    gfx::Canvas p(pic);
    p.Brush.Color = gfx::clFuchsia;
    p.FillRect({0, 0, 4, 4});
    pic.SetPixel(0, 0, gfx::clRed);
    images.Add(pic, gfx::clFuchsia);
    gfx::Bitmap out(8, 8);
    gfx::Canvas c(out);
    c.Brush.Color = gfx::clBlack;
    c.FillRect({0, 0, 8, 8});
    ImageListDrawDisabled(images, c, 2, 2, 0, gfx::clWhite, gfx::clGray, true);
    EXPECT_EQ(out.GetPixel(2, 2), gfx::clGray);
    EXPECT_EQ(out.GetPixel(3, 3), gfx::clWhite);
    EXPECT_EQ(out.GetPixel(4, 4), gfx::clBlack);
    ImageListDrawDisabled(images, c, 2, 2, 5, gfx::clWhite, gfx::clGray, true); // no such image
}

class DefaultSectionForm : public TForm {
public:
    using TForm::TForm;
};

TEST(Placement, DefaultSectionsFollowFormsOwnersAndParents) {
    DefaultSectionForm form(nullptr, "Main");
    auto* panel = new TPanel(&form, "Panel1");
    panel->SetParent(&form);
    auto* bar = new TPanel(&form, "Bar");
    bar->SetParent(panel);
    auto* storage = new TFormPlacement(&form, "Storage");
    TPanel loose(nullptr, "Loose");
    TPanel child(nullptr, "Child");
    child.SetParent(&loose);
    TComponent plain(nullptr, "Plain");
    EXPECT_EQ(GetDefaultSection(&form), "DefaultSectionForm");
    EXPECT_EQ(GetDefaultSection(bar), "DefaultSectionFormBar");
    EXPECT_EQ(GetDefaultSection(storage), "DefaultSectionForm.Storage");
    EXPECT_EQ(GetDefaultSection(&child), "LooseChild");
    EXPECT_EQ(GetDefaultSection(&plain), "Plain");
    EXPECT_EQ(GetDefaultSection(nullptr), "");
}

TEST(Placement, LinksSaveAndLoadThroughTheStorageOverAFileOrTheRegistry) {
    testsupport::ScratchDir dir;
    std::string oldRoot = RegistryRoot();
    SetRegistryRoot(dir.Path() + "/reg");
    for (bool registry : {false, true}) {
        DefaultSectionForm form;
        form.SetBounds(10, 20, 300, 200);
        auto* storage = new TFormPlacement(&form);
        storage->UseRegistry = registry;
        storage->IniFileName = registry ? "Software\\Test" : dir.Path() + "/place.ini";
        TIniLink link;
        EXPECT_EQ(link.GetIniObject(), nullptr);
        EXPECT_EQ(link.GetRootSection(), "");
        link.SetStorage(storage);
        EXPECT_EQ(link.GetRootSection(), "DefaultSectionForm\\");
        link.OnSave = [&] {
            IniWriteInteger(link.GetIniObject(), link.GetRootSection() + "Bar", "Width", 42);
        };
        int loaded = -1;
        link.OnLoad = [&] {
            loaded = IniReadInteger(link.GetIniObject(), link.GetRootSection() + "Bar", "Width", 0);
        };
        storage->SaveFormPlacement();
        form.SetBounds(0, 0, 50, 50);
        storage->RestoreFormPlacement();
        EXPECT_EQ(loaded, 42) << registry;
        EXPECT_EQ(form.BoundsRect(), (TRect{10, 20, 310, 220}));
        TIniLink moved;
        moved.SetStorage(storage);
        moved.SetStorage(nullptr); // leaves the old storage
        loaded = -1;
        storage->RestoreFormPlacement();
        EXPECT_EQ(loaded, 42);
    }
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/reg/Software/Test.ini"));
    // A link outliving its storage is left without one.
    TIniLink orphan;
    {
        TFormPlacement storage;
        orphan.SetStorage(&storage);
    }
    EXPECT_EQ(orphan.Storage(), nullptr);
    SetRegistryRoot(oldRoot);
}

TEST(WindowHook, AfterMessageSeesEveryMessageAfterTheWindowAndLetsGoOfAFreedControl) {
    TRxWindowHook hook;
    std::vector<uint32_t> seen;
    hook.AfterMessage = [&](TComponent*, TMessage& m, bool&) { seen.push_back(m.Msg); };
    {
        TForm form;
        hook.SetWinControl(&form);
        form.Perform(WM_USER + 5);
        EXPECT_EQ(seen, (std::vector<uint32_t>{WM_USER + 5}));
        hook.BeforeMessage = [](TComponent*, TMessage& m, bool& handled) { handled = m.Msg == WM_USER + 6; };
        form.Perform(WM_USER + 6); // taken before the window: no after
        EXPECT_EQ(seen.size(), 1u);
        hook.SetWinControl(nullptr);
        form.Perform(WM_USER + 5);
        EXPECT_EQ(seen.size(), 1u);
        hook.SetWinControl(&form);
    }
    EXPECT_EQ(hook.GetWinControl(), nullptr);
}

class TextPopup : public TPopupWindow {
public:
    using TPopupWindow::TPopupWindow;
    std::string GetValue() const override { return value; }
    void SetValue(const std::string& v) override { value = v; }
    std::string value;
};

TEST(PopupWindow, EnterAcceptsAndEscCancels) {
    TextPopup popup;
    popup.SetBounds(0, 0, 100, 80);
    std::vector<bool> results;
    popup.OnCloseUp = [&](TComponent*, bool accept) { results.push_back(accept); };
    popup.Popup(30, 40);
    EXPECT_TRUE(popup.Visible());
    EXPECT_EQ(popup.Left(), 30);
    EXPECT_EQ(Screen->ActiveForm(), &popup);
    popup.SimulateKey(VK_RETURN);
    EXPECT_FALSE(popup.Visible());
    popup.Popup(0, 0);
    popup.SimulateKey(VK_ESCAPE);
    popup.CloseUp(true); // already closed: nothing more
    EXPECT_EQ(results, (std::vector<bool>{true, false}));
}

} // namespace
