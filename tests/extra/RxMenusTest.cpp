// Owner-drawn menus: measuring items with fixed metrics and the test font, the picture a state shows,
// the highlight looks, the margin strip, and how the pop-up list and the main menu's form hook route
// the menu messages.
#include <gtest/gtest.h>

#include "extra/RxMenus.h"
#include "platform/controls/Application.h"
#include "platform/controls/Form.h"
#include "platform/controls/ImgList.h"
#include "platform/controls/Screen.h"
#include "platform/controls/SystemMetrics.h"
#include "tests/platform/IconTestSupport.h"

using namespace extra;
using namespace platform;
using namespace platform::widgets;
using gfx::TColor;
using gfx::TRect;

namespace {

class Menus : public ::testing::Test {
protected:
    Menus() : saved(SystemMetrics()), canvas(surface) {
        gfx::TFont::UseTestFont(true); // the menu font: 14-pixel cells, 7-pixel characters
        EventLoop::Get().Reset();
        TheMenuHost().Reset();
        SystemMetrics() = TSystemMetrics{};
    }
    ~Menus() override {
        SystemMetrics() = saved;
        TheMenuHost().Reset();
        gfx::TFont::UseTestFont(false);
    }
    TMenuItem* Add(TMenuItem* parent, const std::string& caption, const std::string& shortcut = {}) {
        auto* item = new TMenuItem(&form);
        item->Caption = caption;
        item->ShortCutText = shortcut;
        parent->Add(item);
        return item;
    }
    gfx::TSize Measure(TWinControl* window, TMenuItem* item) {
        return TheMenuHost().MeasureItem(window, item, canvas);
    }
    TSystemMetrics saved;
    gfx::Bitmap surface{200, 40};
    gfx::Canvas canvas;
    TForm form;
};

TEST_F(Menus, PopupItemsMeasureCaptionShortcutCheckAndPictureColumns) {
    TRxPopupMenu menu(&form);
    menu.SetStyle(TRxMenuStyle::msOwnerDraw);
    TMenuItem* open = Add(menu.Items(), "&Open", "Ctrl+O");
    TMenuItem* saveAs = Add(menu.Items(), "Save As...");
    TMenuItem* line = Add(menu.Items(), "-");
    TMenuItem* recent = Add(menu.Items(), "Recent");
    Add(recent, "a.txt");
    TWinControl* list = TPopupList::Get().Window();
    ASSERT_NE(list, nullptr);
    // 2 gaps of 4 (0.3 x 13, rounded) + the widest caption column "Save As...\t\t" (12 x 7) + the
    // widest shortcut "Ctrl+O " (7 x 7) + the check-mark column 13; the line height is 19 - 2.
    EXPECT_EQ(Measure(list, open).cx, 8 + 84 + 49 + 13);
    EXPECT_EQ(Measure(list, open).cy, 17);
    // Without a shortcut an item measures only its own columns; sub-items add "\t\t".
    EXPECT_EQ(Measure(list, saveAs).cx, 8 + 84 + 7 + 13);
    EXPECT_EQ(Measure(list, recent).cx, 8 + 56 + 7 + 14 + 13);
    EXPECT_EQ(Measure(list, line).cy, 9);
    // No check marks, a text floor of 30, and a margin strip of 10 (+1) on the first level.
    menu.ShowCheckMarks = false;
    menu.MinTextOffset = 30;
    menu.LeftMargin = 10;
    EXPECT_EQ(Measure(list, saveAs).cx, 8 + 84 + 7 + 30 + 11);
    EXPECT_EQ(Measure(list, Add(recent, "b.txt")).cx, 8 + 49 + 7 + 30); // second level: no margin
    // The handler has the last word (before the margin).
    menu.OnMeasureItem = [](TMenu*, TMenuItem*, int& w, int& h) {
        w = 50;
        h = 30;
    };
    EXPECT_EQ(Measure(list, saveAs).cx, 61);
    EXPECT_EQ(Measure(list, saveAs).cy, 30);
}

TEST_F(Menus, PicturesWidenAndHeightenItemsByImagesOrGlyphs) {
    TImageList images(&form);
    images.SetSize(16, 16);
    TRxPopupMenu menu(&form);
    TMenuItem* open = Add(menu.Items(), "Open");
    EXPECT_FALSE(menu.IsOwnerDrawMenu());
    EXPECT_FALSE(menu.OwnerDraw);
    menu.SetImages(&images);
    EXPECT_FALSE(menu.IsOwnerDrawMenu()); // an empty list shows nothing
    images.Add(gfx::Bitmap(16, 16));
    EXPECT_TRUE(menu.IsOwnerDrawMenu());
    EXPECT_TRUE(menu.OwnerDraw); // the list's change refreshed the menu
    TWinControl* list = TPopupList::Get().Window();
    // A pop-up item gets the image column (16 + 2) even without an index; a valid index also raises
    // the height to the image + 4.
    EXPECT_EQ(Measure(list, open).cx, 8 + 42 + 7 + 13 + 18);
    EXPECT_EQ(Measure(list, open).cy, 17);
    open->ImageIndex = 0;
    EXPECT_EQ(Measure(list, open).cy, 20);
    // A per-item bitmap of 2 glyphs counts one glyph.
    gfx::Bitmap glyphs(40, 24);
    menu.SetImages(nullptr);
    menu.OnGetItemParams = [&](TMenu*, TMenuItem*, TMenuOwnerDrawState, gfx::TFont&, TColor&,
                               TMenuGraphic& graphic, int& numGlyphs) {
        graphic = &glyphs;
        numGlyphs = 2;
    };
    EXPECT_EQ(Measure(list, open).cx, 8 + 42 + 7 + 13 + 22);
    EXPECT_EQ(Measure(list, open).cy, 28);
    // A separator never has a picture.
    EXPECT_EQ(Measure(list, Add(menu.Items(), "-")).cy, 9);
    // Freeing the image list clears it from the menu.
    auto* doomed = new TImageList(&form);
    doomed->Add(gfx::Bitmap(16, 16));
    menu.SetImages(doomed);
    delete doomed;
    EXPECT_EQ(menu.Images(), nullptr);
}

TEST_F(Menus, IconsAreMeasuredAndDrawnAtTheirRealSize) {
    // A 16 x 16 icon file: the icon itself shows at the system size (32), the menu at 16.
    gfx::TIcon icon;
    ASSERT_TRUE(icon.LoadFromStream(icontest::SolidIconFile(16, gfx::pf4bit, gfx::clRed)));
    ASSERT_EQ(icon.Width(), 32);
    TRxPopupMenu menu(&form);
    menu.SetStyle(TRxMenuStyle::msOwnerDraw);
    TMenuItem* open = Add(menu.Items(), "Open");
    menu.OnGetItemParams = [&](TMenu*, TMenuItem*, TMenuOwnerDrawState, gfx::TFont&, TColor&,
                               TMenuGraphic& graphic, int& numGlyphs) {
        graphic = &icon;
        numGlyphs = 3; // counts for bitmaps only
    };
    TWinControl* list = TPopupList::Get().Window();
    EXPECT_EQ(Measure(list, open).cx, 8 + 42 + 7 + 13 + 18);
    EXPECT_EQ(Measure(list, open).cy, 20);
    // Centred in its 18-pixel cell after the text offset 2 x 4 + 13: x = 22, y = (20 - 16) / 2.
    TheMenuHost().DrawItem(list, open, canvas, {0, 0, 150, 20}, 0);
    EXPECT_EQ(canvas.GetPixel(23, 3), canvas.GetPixel(140, 1)); // the icon's background corner
    EXPECT_EQ(canvas.GetPixel(24, 4), gfx::clRed);
    EXPECT_EQ(canvas.GetPixel(37, 17), gfx::clRed);
    EXPECT_NE(canvas.GetPixel(38, 10), gfx::clRed);
}

// The first column of `r` where anything but the menu colour was drawn, -1 when none.
int FirstInk(gfx::Canvas& canvas, TRect r) {
    for (int x = r.Left; x < r.Right; ++x)
        for (int y = r.Top; y < r.Bottom; ++y)
            if (canvas.GetPixel(x, y) != gfx::ColorToRGB(gfx::clMenu)) return x;
    return -1;
}

TEST_F(Menus, MainMenuTopLevelItemsAndTheFormHook) {
    auto* menu = new TRxMainMenu(&form);
    TMenuItem* file = Add(menu->Items(), "&File");
    TMenuItem* exit = Add(file, "E&xit", "Alt+F4");
    EXPECT_FALSE(IsItemPopup(file));
    EXPECT_TRUE(IsItemPopup(exit));
    // Standard style: not owner-drawn, the form not hooked, nobody answers.
    EXPECT_EQ(menu->HookedWindow(), nullptr);
    EXPECT_EQ(Measure(&form, file).cx, 0);
    menu->SetStyle(TRxMenuStyle::msBtnRaised);
    EXPECT_EQ(menu->HookedWindow(), &form);
    EXPECT_TRUE(menu->OwnerDraw);
    // A top-level item: its caption only, no gaps, no check column.
    EXPECT_EQ(Measure(&form, file).cx, 28);
    EXPECT_EQ(Measure(&form, exit).cx, 8 + 42 + 49 + 13);
    // Its caption is drawn one gap and 2 pixels in; the pop-up items' text floor does not count for it.
    menu->MinTextOffset = 30;
    EXPECT_EQ(Measure(&form, file).cx, 28);
    TheMenuHost().DrawItem(&form, file, canvas, {0, 0, 60, 20}, 0);
    EXPECT_EQ(FirstInk(canvas, {0, 0, 60, 20}), 4 + 2);
    menu->MinTextOffset = 0;
    // With images a top-level item with a valid index adds image + 2 + one gap.
    TImageList images(&form);
    images.SetSize(16, 16);
    images.Add(gfx::Bitmap(16, 16));
    menu->SetImages(&images);
    EXPECT_EQ(Measure(&form, file).cx, 28);
    file->ImageIndex = 0;
    EXPECT_EQ(Measure(&form, file).cx, 28 + 18 + 4);
    // The menu cursor shows over items without sub-items.
    menu->Cursor = crHandPoint;
    form.Perform(WM_MENUSELECT, static_cast<WPARAM>(exit->Command()), 0);
    EXPECT_EQ(Screen->Cursor, crHandPoint);
    form.Perform(WM_MENUSELECT, static_cast<WPARAM>(file->Command()), 0);
    EXPECT_EQ(Screen->Cursor, crDefault);
    // A character typed into the open File menu chooses Exit by its accelerator.
    EXPECT_EQ(form.Perform(WM_MENUCHAR, 'X', file->Command()), (MNC_EXECUTE << 16) | 0);
    menu->SetStyle(TRxMenuStyle::msStandard);
    menu->SetImages(nullptr);
    EXPECT_EQ(menu->HookedWindow(), nullptr);
}

// One colour per glyph cell (4 cells of 8 x 8) over a white bottom row, the transparent colour.
gfx::Bitmap FourGlyphs() {
    gfx::Bitmap b(32, 8);
    gfx::Canvas c(b);
    const TColor colours[] = {gfx::clRed, gfx::clLime, gfx::clBlue, gfx::clYellow};
    for (int i = 0; i < 4; ++i) {
        c.Brush.Color = colours[i];
        c.FillRect({i * 8, 0, i * 8 + 8, 7});
    }
    c.Brush.Color = gfx::clWhite;
    c.FillRect({0, 7, 32, 8});
    return b;
}

TEST_F(Menus, DrawingPicksTheGlyphAndTheHighlightLookForTheState) {
    TRxPopupMenu menu(&form);
    menu.SetStyle(TRxMenuStyle::msOwnerDraw);
    TMenuItem* open = Add(menu.Items(), "Open");
    gfx::Bitmap glyphs = FourGlyphs();
    int glyphCount = 4;
    menu.OnGetItemParams = [&](TMenu*, TMenuItem*, TMenuOwnerDrawState, gfx::TFont&, TColor&,
                               TMenuGraphic& graphic, int& numGlyphs) {
        graphic = &glyphs;
        numGlyphs = glyphCount;
    };
    TWinControl* list = TPopupList::Get().Window();
    // Text offset 2 x 4 + 13; the 8-pixel glyph centred in a 10-pixel cell: x = 22, y = (20 - 8) / 2.
    auto glyphPixel = [&](unsigned state) {
        TheMenuHost().DrawItem(list, open, canvas, {0, 0, 150, 20}, state);
        return canvas.GetPixel(24, 8);
    };
    EXPECT_EQ(glyphPixel(0), gfx::clRed);
    EXPECT_EQ(glyphPixel(ODS_SELECTED), gfx::clBlue);
    open->Checked = true;
    EXPECT_EQ(glyphPixel(0), gfx::clYellow);
    EXPECT_EQ(glyphPixel(ODS_DISABLED), gfx::ColorToRGB(gfx::clBtnShadow)); // glyph 1 as a grey silhouette
    glyphCount = 2;
    glyphs = FourGlyphs();
    EXPECT_EQ(glyphPixel(0), gfx::clRed); // checked wants glyph 3: the bitmap has 2, so glyph 0
    open->Checked = false;

    // The highlight: a filled bar in the standard looks, a sunken frame in the lowered look.
    TheMenuHost().DrawItem(list, open, canvas, {0, 0, 150, 20}, ODS_SELECTED);
    EXPECT_EQ(canvas.GetPixel(100, 10), gfx::ColorToRGB(gfx::clHighlight));
    menu.SetStyle(TRxMenuStyle::msBtnLowered);
    TheMenuHost().DrawItem(list, open, canvas, {0, 0, 150, 20}, ODS_SELECTED);
    EXPECT_EQ(canvas.GetPixel(100, 10), gfx::ColorToRGB(gfx::clMenu));
    EXPECT_EQ(canvas.GetPixel(100, 0), gfx::ColorToRGB(gfx::clBtnShadow));
    EXPECT_EQ(canvas.GetPixel(100, 19), gfx::ColorToRGB(gfx::clBtnHighlight));
    // A handler draws instead of the default; the colour from the item parameters is filled first.
    bool drawn = false;
    menu.OnDrawItem = [&](TMenu*, TMenuItem* item, TRect r, TMenuOwnerDrawState s) {
        drawn = item == open && r.Right == 150 && s == (mdSelected | mdChecked);
    };
    TheMenuHost().DrawItem(list, open, canvas, {0, 0, 150, 20}, ODS_SELECTED | ODS_CHECKED);
    EXPECT_TRUE(drawn);
}

TEST_F(Menus, TheMarginStripIsAGradientWithAnEdge) {
    gfx::Bitmap strip(20, 64);
    gfx::Canvas c(strip);
    DefaultDrawMargin(c, {0, 0, 20, 64}, gfx::clBlue, gfx::RGB(0, 0, 63));
    EXPECT_EQ(c.GetPixel(5, 0), gfx::clBlue);
    EXPECT_EQ(c.GetPixel(5, 63), gfx::RGB(0, 0, 63));
    EXPECT_EQ(c.GetPixel(18, 30), gfx::ColorToRGB(gfx::clBtnShadow));
    EXPECT_EQ(c.GetPixel(19, 30), gfx::ColorToRGB(gfx::clBtnHighlight));
    // Drawing a first-level item of a menu with a margin paints the strip and shifts the item.
    TRxPopupMenu menu(&form);
    menu.SetStyle(TRxMenuStyle::msOwnerDraw);
    menu.LeftMargin = 12;
    TMenuItem* open = Add(menu.Items(), "Open");
    TRect seen;
    menu.OnDrawItem = [&](TMenu*, TMenuItem*, TRect r, TMenuOwnerDrawState) { seen = r; };
    TheMenuHost().DrawItem(TPopupList::Get().Window(), open, canvas, {0, 0, 150, 20}, 0);
    EXPECT_EQ(seen.Left, 13);
    EXPECT_EQ(canvas.GetPixel(0, 0), gfx::clBlue);
}

TEST_F(Menus, ThePopupListRoutesCommandsHintsCursorsAndHelp) {
    TRxPopupMenu first(&form), second(&form);
    TMenuItem* a = Add(first.Items(), "A");
    TMenuItem* b = Add(second.Items(), "B");
    b->Hint = "Does B";
    b->HelpContext = 42;
    second.Cursor = crHandPoint;
    int clicked = 0;
    b->OnClick = [&](TComponent*) { ++clicked; };
    // Popping up records the point and asks the host; the chosen command comes back through the list.
    TheMenuHost().Chooser = [&](const MenuHost::Tracking& t) { return t.menu == &second ? b : nullptr; };
    second.Popup(40, 50);
    EXPECT_EQ(second.PopupPoint(), (gfx::TPoint{40, 50}));
    EXPECT_EQ(clicked, 0);
    EventLoop::Get().ProcessMessages();
    EXPECT_EQ(clicked, 1);

    TWinControl* list = TPopupList::Get().Window();
    list->Perform(WM_MENUSELECT, static_cast<WPARAM>(b->Command()), 0);
    EXPECT_EQ(Application->Hint(), "Does B");
    EXPECT_EQ(Screen->Cursor, crHandPoint);
    list->Perform(WM_MENUSELECT, static_cast<WPARAM>(a->Command()), 0);
    EXPECT_EQ(Application->Hint(), "");
    list->Perform(WM_MENUSELECT, 0xFFFF0000u, 0); // closed
    EXPECT_EQ(Screen->Cursor, crDefault);

    // Help of an item: a pop-up when the active form has the help icon.
    form.BorderIcons = biSystemMenu | biHelp;
    form.Show();
    Application->HelpCalls.clear();
    list->Perform(WM_HELP, static_cast<WPARAM>(b->Command()), 0);
    ASSERT_EQ(Application->HelpCalls.size(), 1u);
    EXPECT_EQ(Application->HelpCalls[0].command, HELP_CONTEXTPOPUP);
    EXPECT_EQ(Application->HelpCalls[0].data, 42);

    // A typed character goes to the menu whose sub-menu is open: an accelerator first, else the
    // initials of captions without one; several initials take turns after the highlighted item.
    TMenuItem* back = Add(second.Items(), "&Back");
    Add(second.Items(), "Bold");
    auto typed = [&](char c, TRxPopupMenu& menu) {
        return list->Perform(WM_MENUCHAR, static_cast<WPARAM>(c), menu.Items()->Command());
    };
    EXPECT_EQ(typed('a', first), (MNC_EXECUTE << 16) | 0);
    EXPECT_EQ(typed('b', second), (MNC_EXECUTE << 16) | 1);
    EXPECT_EQ(typed('x', second), MNC_IGNORE);
    back->Enabled = false;
    EXPECT_EQ(typed('B', second), (MNC_SELECT << 16) | 0);
    TheMenuHost().Highlighted = b->Command();
    EXPECT_EQ(typed('B', second), (MNC_SELECT << 16) | 2);
    TheMenuHost().Highlighted = 0;

    // In a sub-menu of a pop-up menu: positions count the items shown, hidden ones and lines take no
    // character, "&&" is a plain ampersand, a caption with an accelerator gives no initial, and the
    // turns of several initials wrap round.
    TMenuItem* more = Add(second.Items(), "More");
    Add(more, "&Zip")->Visible = false;
    Add(more, "-");
    Add(more, "A&&B");
    Add(more, "&Zoom");
    Add(more, "Yes");
    TMenuItem* yak = Add(more, "Yak");
    Add(more, "Yank &It");
    auto inMore = [&](char c) { return list->Perform(WM_MENUCHAR, static_cast<WPARAM>(c), more->Command()); };
    EXPECT_EQ(inMore('i'), (MNC_EXECUTE << 16) | 5);
    EXPECT_EQ(inMore('z'), (MNC_EXECUTE << 16) | 2);
    EXPECT_EQ(inMore('-'), MNC_IGNORE);
    EXPECT_EQ(inMore('b'), MNC_IGNORE);
    EXPECT_EQ(inMore('a'), (MNC_EXECUTE << 16) | 1);
    TheMenuHost().Highlighted = yak->Command();
    EXPECT_EQ(inMore('y'), (MNC_SELECT << 16) | 3);
    TheMenuHost().Highlighted = 0;
}

TEST_F(Menus, TheDefaultMenuFontFallsBackWhenTheQueryFails) {
    gfx::TFont font;
    SetDefaultMenuFont(font);
    EXPECT_EQ(font.Name(), "Tahoma");
    EXPECT_EQ(font.Color(), gfx::clMenuText);
    SystemMetrics().FontQueryFails = true;
    SetDefaultMenuFont(font);
    EXPECT_EQ(font.Name(), "MS Sans Serif");
    EXPECT_EQ(font.Size(), 8);
    SystemMetrics().NewStyleControls = false;
    SystemMetrics().FontQueryFails = false;
    SetDefaultMenuFont(font);
    EXPECT_EQ(font.Name(), "System");
}

} // namespace
