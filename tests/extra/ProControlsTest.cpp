// The pro controls: label angles, shadow presets and their pixels, rotated text kept inside the label,
// the URL label's states with the shell's open hook, the label edit's arrangement, the clock label, the
// helpers (frames on sides, Delay, names, fonts), button kinds and their captions, the repeating speed
// button, the list box's scroll range, bevels on sides and the tiled image.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extra/ProButtons.h"
#include "extra/ProCtrls.h"
#include "extra/ProExtCtrls.h"
#include "extra/ProUrl.h"
#include "extra/Provcl.h"
#include "gif/GIFImage.h"
#include "platform/controls/Application.h"
#include "platform/DateTime.h"
#include "platform/Shell.h"
#include "platform/controls/Screen.h"
#include "tests/platform/IconTestSupport.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace extra;
using namespace platform;
using namespace platform::widgets;
using gfx::TColor;
using gfx::TRect;

namespace {

struct TestFont {
    TestFont() { gfx::TFont::UseTestFont(true); }
    ~TestFont() { gfx::TFont::UseTestFont(false); }
};

class ProForm : public ::testing::Test {
protected:
    ProForm() {
        form.SetBounds(0, 0, 120, 80);
        form.SetColor(gfx::clWhite);
        form.Show();
        EventLoop::Get().Reset();
    }
    ~ProForm() override { EventLoop::Get().Reset(); }
    template <class T> T* Add(int left, int top, int width, int height) {
        auto* c = new T(&form);
        c->SetParent(&form);
        c->SetBounds(left, top, width, height);
        return c;
    }
    gfx::Bitmap Picture() {
        gfx::Bitmap b(form.Width(), form.Height());
        form.PaintTo(b);
        return b;
    }
    static TColor Rgb(TColor c) { return gfx::ColorToRGB(c); }
    TestFont font;
    TForm form;
};

TEST(ProLabel, AnglesWrapIntoOneTurnAndPresetsSetSevenSettings) {
    TProLabel label;
    label.SetAngle(-90);
    EXPECT_EQ(label.Angle(), 270);
    EXPECT_FALSE(label.AutoSize()) << "a turned label does not size itself";
    label.SetAngle(720);
    EXPECT_EQ(label.Angle(), 0);
    label.SetAngle(-725);
    EXPECT_EQ(label.Angle(), 355);

    struct Row {
        TShadowStyle style;
        TDirection hd;
        int hdepth;
        TDirection sd;
        int sdepth, ssize;
        bool face;
    };
    using D = TDirection;
    using S = TShadowStyle;
    const Row rows[] = {
        {S::ssNone, D::drNone, 0, D::drNone, 0, 0, false},
        {S::ssRaised, D::drUpLeft, 1, D::drNone, 0, 0, false},
        {S::ssRaisedColor, D::drUpLeft, 1, D::drDownRight, 1, 1, true},
        {S::ssRaisedShadow, D::drUpLeft, 1, D::drDownRight, 1, 1, false},
        {S::ssRaisedThickShadow, D::drUpLeft, 1, D::drDownRight, 1, 4, false},
        {S::ssRecessed, D::drDownRight, 1, D::drNone, 0, 0, false},
        {S::ssRecessedColor, D::drDownRight, 1, D::drUpLeft, 1, 1, true},
        {S::ssRecessedShadow, D::drDownRight, 1, D::drUpLeft, 1, 1, false},
        {S::ssShadow, D::drNone, 0, D::drDownRight, 2, 1, false},
        {S::ssThickShadow, D::drNone, 0, D::drDownRight, 1, 4, false},
    };
    for (const Row& r : rows) {
        TProLabel l;
        l.Font().SetColor(gfx::clGreen);
        l.SetHighlightColor(gfx::clRed);
        l.SetShadowColor(gfx::clRed);
        l.SetShadowStyle(r.style);
        SCOPED_TRACE(static_cast<int>(r.style));
        EXPECT_EQ(l.ShadowStyle(), r.style);
        EXPECT_EQ(l.HighlightDirection(), r.hd);
        EXPECT_EQ(l.HighlightDepth(), r.hdepth);
        EXPECT_EQ(l.ShadowDirection(), r.sd);
        EXPECT_EQ(l.ShadowDepth(), r.sdepth);
        EXPECT_EQ(l.ShadowSize(), r.ssize);
        EXPECT_EQ(l.HighlightColor(), gfx::clBtnHighlight);
        EXPECT_EQ(l.ShadowColor(), gfx::clBtnShadow);
        EXPECT_EQ(l.Font().Color(), r.face ? gfx::clBtnFace : gfx::clGreen);
    }

    label.SetShadowStyle(TShadowStyle::ssRaisedThickShadow);
    label.SetShadowDepth(3);
    EXPECT_EQ(label.ShadowStyle(), TShadowStyle::ssCustom);
    EXPECT_EQ(label.ShadowSize(), 4);
    label.SetShadowStyle(TShadowStyle::ssCustom);
    EXPECT_EQ(label.ShadowDepth(), 3) << "ssCustom changes nothing";
    label.SetShadowSize(5000);
    EXPECT_EQ(label.ShadowSize(), 1280);
}

TEST_F(ProForm, ShadowCopiesAndTheDisabledLookLandWhereTheirStepsSay) {
    auto* label = Add<TProLabel>(10, 10, 40, 20);
    label->SetAutoSize(false);
    label->SetColor(gfx::clWhite);
    label->Font().SetHeight(8); // test font: each character a box over columns 0..2 and rows 1..5
    label->Font().SetColor(gfx::clBlack);
    label->SetCaption("A");
    label->SetShadowStyle(TShadowStyle::ssShadow); // down-right, depth 2, one copy
    gfx::Bitmap b = Picture();
    EXPECT_EQ(b.GetPixel(10 + 1, 10 + 1), Rgb(gfx::clBlack));
    EXPECT_EQ(b.GetPixel(10 + 4, 10 + 7), Rgb(gfx::clBtnShadow));
    EXPECT_EQ(b.GetPixel(10 + 5, 10 + 8), Rgb(gfx::clWhite));

    label->SetShadowStyle(TShadowStyle::ssRaisedThickShadow); // highlight up-left 1, shadows at +1..+4
    b = Picture();
    EXPECT_EQ(b.GetPixel(10 + 0, 10 + 0), Rgb(gfx::clBtnHighlight));
    EXPECT_EQ(b.GetPixel(10 + 6, 10 + 9), Rgb(gfx::clBtnShadow));
    EXPECT_EQ(b.GetPixel(10 + 7, 10 + 10), Rgb(gfx::clWhite));

    // Offsets and vertical alignment move the text rectangle.
    label->SetShadowStyle(TShadowStyle::ssNone);
    label->SetOffsetX(5);
    label->SetVerticalAlignment(TVerticalAlignment::vaBottom);
    EXPECT_EQ(label->TextRect().Left, 5);
    EXPECT_EQ(label->TextRect().Top, 20 - 8);

    label->SetOffsetX(0);
    label->SetVerticalAlignment(TVerticalAlignment::vaTop);
    label->SetEnabled(false);
    b = Picture();
    EXPECT_EQ(b.GetPixel(10 + 0, 10 + 1), Rgb(gfx::clBtnShadow));
    EXPECT_EQ(b.GetPixel(10 + 3, 10 + 6), Rgb(gfx::clBtnHighlight));
}

TEST_F(ProForm, TurnedTextStaysInsideTheLabelInEveryQuadrant) {
    for (int angle : {30, 90, 135, 200, 270, 330}) {
        SCOPED_TRACE(angle);
        auto* label = Add<TProLabel>(30, 20, 60, 50);
        label->SetColor(gfx::clWhite);
        label->Font().SetColor(gfx::clBlack);
        label->SetCaption("ABC");
        label->SetAngle(angle);
        gfx::Bitmap b = Picture();
        int inside = 0, outside = 0;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x)
                if (b.GetPixel(x, y) == Rgb(gfx::clBlack))
                    ++(TRect{30, 20, 90, 70}.Contains(x, y) ? inside : outside);
        EXPECT_GT(inside, 60);
        EXPECT_EQ(outside, 0);
        delete label;
    }
}

TEST_F(ProForm, TheUrlLabelWalksItsStatesAndOpensItsLinkThroughTheShell) {
    OpenedDocuments().clear();
    auto* url = Add<TProUrlLabel>(10, 10, 60, 20);
    url->SetAutoSize(false);
    url->SetCaption("weather.example");
    EXPECT_TRUE(url->Font().Style() & gfx::fsUnderline);
    EXPECT_EQ(url->Font().Color(), gfx::clBlue);
    EXPECT_EQ(url->Cursor(), crProHandPoint);

    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 15, 15);
    EXPECT_EQ(url->Font().Color(), gfx::clRed);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 15, 15);
    EXPECT_TRUE(url->Visited());
    EXPECT_EQ(url->Font().Color(), gfx::clNavy);
    ASSERT_EQ(OpenedDocuments().size(), 1u);
    EXPECT_EQ(OpenedDocuments().back(), "weather.example") << "no URL: the caption is opened";

    // Released outside: nothing opens and the colour of the state comes back.
    url->URL = "http://127.0.0.1:8880/";
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 15, 15);
    form.SimulateMouseMove(0, 100, 70);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 100, 70);
    EXPECT_EQ(url->Font().Color(), gfx::clNavy);
    EXPECT_EQ(OpenedDocuments().size(), 1u);
    form.SimulateClick(15, 15);
    EXPECT_EQ(OpenedDocuments().back(), "http://127.0.0.1:8880/");

    // Hovering: underlined and white only while the mouse is over it.
    url->SetCanHover(true);
    form.SimulateMouseMove(0, 100, 70);
    EXPECT_FALSE(url->Font().Style() & gfx::fsUnderline);
    EXPECT_EQ(url->Font().Color(), gfx::clNavy);
    form.SimulateMouseMove(0, 15, 15);
    EXPECT_TRUE(url->Font().Style() & gfx::fsUnderline);
    EXPECT_EQ(url->Font().Color(), gfx::clWhite);
    form.SimulateMouseMove(0, 100, 70);

    // A font colour set while idle becomes the colour of the state.
    url->Font().SetColor(gfx::clPurple);
    EXPECT_EQ(url->VisitedColor(), gfx::clPurple);
    EXPECT_EQ(url->UnvisitedColor(), gfx::clBlue);

    auto* image = Add<TProUrlImage>(80, 10, 20, 20);
    image->URL = "http://127.0.0.1/cam.gif";
    form.SimulateClick(85, 15);
    EXPECT_EQ(OpenedDocuments().back(), "http://127.0.0.1/cam.gif");
    OpenURL("");
    EXPECT_EQ(OpenedDocuments().size(), 3u);
}

TEST_F(ProForm, TheLabelEditArrangesItsLabelAndEdit) {
    auto* le = new TProLabelEdit(&form);
    le->SetParent(&form);
    le->SetAutoSize(false);
    le->SetHeight(21);
    EXPECT_EQ(le->Label().BoundsRect(), (TRect{0, 0, 100, 21}));
    EXPECT_EQ(le->Edit().BoundsRect(), (TRect{100, 0, 250, 21}));
    EXPECT_EQ(le->Label().Caption(), "LabelEdit:");
    EXPECT_EQ(le->Label().FocusControl, &le->Edit());

    le->SetGap(10);
    EXPECT_EQ(le->Edit().BoundsRect(), (TRect{110, 0, 250, 21}));
    le->SetLabelWidth(300);
    EXPECT_EQ(le->Edit().Width(), 0) << "never a negative width";
    le->SetLabelWidth(100);

    le->Edit().Font().SetHeight(20);
    le->SetAutoSize(true);
    EXPECT_EQ(le->Height(), 28) << "the edit's text height + 8";
    EXPECT_EQ(le->Edit().Height(), 28);

    le->SetLabelPosition(TProLabelPosition::lpTop);
    EXPECT_EQ(le->Label().BoundsRect(), (TRect{0, 0, 250, 21}));
    EXPECT_EQ(le->Edit().BoundsRect(), (TRect{0, 31, 250, 59}));
    EXPECT_EQ(le->Height(), 59);
}

TEST_F(ProForm, TheLabelEditPassesItsSettingsAndEventsToItsEditAndLabel) {
    auto* le = new TProLabelEdit(&form);
    le->SetParent(&form);
    TEdit& edit = le->Edit();
    le->SetCharCase(TEditCharCase::ecUpperCase);
    le->SetMaxLength(4);
    le->SetPasswordChar('#');
    le->SetHideSelection(false);
    le->SetAutoSelect(false);
    le->SetOEMConvert(true);
    le->SetBorderStyle(TBorderStyle::bsNone);
    le->SetColor(gfx::clYellow);
    EXPECT_EQ(edit.CharCase(), TEditCharCase::ecUpperCase);
    EXPECT_EQ(edit.MaxLength, 4);
    EXPECT_EQ(edit.PasswordChar(), '#');
    EXPECT_FALSE(edit.HideSelection());
    EXPECT_FALSE(edit.AutoSelect);
    EXPECT_TRUE(le->OEMConvert());
    EXPECT_EQ(edit.BorderStyle(), TBorderStyle::bsNone);
    EXPECT_EQ(edit.Color(), gfx::clYellow);
    EXPECT_EQ(le->Color(), gfx::clYellow);

    // The edit's events reach the label edit's handlers, with the label edit as the sender.
    std::vector<std::string> seen;
    le->OnChange = [&](TComponent* sender) { seen.push_back(sender == le ? "change " + le->Text() : "?"); };
    le->OnKeyPress = [&](TComponent* sender, char& key) {
        if (sender == le && key == '-') key = 0;
    };
    le->OnEnter = [&](TComponent* sender) { seen.push_back(sender == le ? "enter" : "?"); };
    le->OnKeyDown = [&](TComponent* sender, uint16_t&, TShiftState) {
        seen.push_back(sender == le ? "key" : "?");
    };
    form.SetActiveControl(&edit);
    for (char k : std::string("ab-cde"))
        edit.Perform(WM_CHAR, static_cast<unsigned char>(k));
    form.SimulateKey(VK_HOME);
    EXPECT_EQ(le->Text(), "ABCD") << "upper case, the dash dropped, four characters at most";
    EXPECT_EQ(edit.DisplayText(), "####");
    EXPECT_EQ(seen, (std::vector<std::string>{"enter", "change A", "change AB", "change ABC", "change ABCD",
                                              "key"}));
    // OEMConvert: typed characters go through the OEM code page; what it lacks comes back plainer. The
    // UTF-8 bytes of a character come one by one and make the trip as one character: e acute and the
    // florin sign (437 holds them) stay, o tilde loses its tilde, the euro sign, an alpha (outside the
    // Windows code page), a cut-short character and a stray byte become '?'.
    le->SetCharCase(TEditCharCase::ecNormal);
    le->SetMaxLength(0);
    le->SetText("");
    for (char k : std::string("\xC3\xA9|\xC3\xB5|\xE2\x82\xAC|\xC6\x92|\xCE\xB1|\xC3x|\xA9|\xC0\x81"))
        edit.Perform(WM_CHAR, static_cast<unsigned char>(k));
    EXPECT_EQ(le->Text(), "\xC3\xA9|o|?|\xC6\x92|?|?x|?|??");

    // The label's settings under their Label names.
    le->SetLabelWordWrap(true);
    le->SetLabelShadowStyle(TShadowStyle::ssRaisedThickShadow);
    le->SetLabelShadowDepth(3);
    le->SetLabelOffsetX(2);
    le->SetLabelHighlightColor(gfx::clRed);
    EXPECT_TRUE(le->Label().WordWrap());
    EXPECT_EQ(le->Label().ShadowStyle(), TShadowStyle::ssCustom);
    EXPECT_EQ(le->LabelShadowSize(), 4);
    EXPECT_EQ(le->Label().ShadowDepth(), 3);
    EXPECT_EQ(le->Label().OffsetX(), 2);
    EXPECT_EQ(le->Label().HighlightColor(), gfx::clRed);
}

TEST_F(ProForm, TheClockLabelShowsTheTimeInItsFormatAndStopsWithEnabled) {
    testsupport::SimulatedClockScope clock(1772798400000LL);
    testsupport::ZoneScope zone;
    auto* clockLabel = Add<TProClockLabel>(0, 0, 60, 20);
    int ticks = 0;
    clockLabel->OnTimer = [&](TComponent*) { ++ticks; };
    clockLabel->SetFormat("hh:nn:ss");
    EXPECT_EQ(clockLabel->Caption(), FormatDateTime("hh:nn:ss", Now()));
    std::string before = clockLabel->Caption();
    EventLoop::Get().RunFor(2000);
    EXPECT_EQ(ticks, 2);
    EXPECT_NE(clockLabel->Caption(), before);
    clockLabel->SetEnabled(false);
    EventLoop::Get().RunFor(3000);
    EXPECT_EQ(ticks, 2);
}

TEST_F(ProForm, FramesOnSidesShrinkOnlyThoseSides) {
    gfx::Bitmap b(20, 20);
    gfx::Canvas c(b);
    c.Brush.Color = gfx::clWhite;
    c.FillRect({0, 0, 20, 20});
    TRect r{2, 2, 18, 18};
    Frame3DSides(c, r, sdLeft | sdBottom, gfx::clRed, gfx::clBlue, 2);
    EXPECT_EQ(r, (TRect{4, 2, 18, 16}));
    EXPECT_EQ(b.GetPixel(2, 2), gfx::clRed);
    EXPECT_EQ(b.GetPixel(3, 10), gfx::clRed);
    EXPECT_EQ(b.GetPixel(10, 17), gfx::clBlue);
    EXPECT_EQ(b.GetPixel(10, 16), gfx::clBlue);
    EXPECT_EQ(b.GetPixel(10, 2), gfx::clWhite) << "no top side";
    EXPECT_EQ(b.GetPixel(17, 10), gfx::clWhite) << "no right side";

    TRect all{0, 0, 20, 20};
    FrameCtl3DSides(c, all, sdAllSides, true);
    EXPECT_EQ(all, (TRect{2, 2, 18, 18}));
    EXPECT_EQ(b.GetPixel(0, 5), Rgb(gfx::clBtnHighlight));
    EXPECT_EQ(b.GetPixel(19, 5), Rgb(gfx::clBtnShadow));
    EXPECT_EQ(b.GetPixel(1, 5), Rgb(gfx::cl3DLight));
    EXPECT_EQ(b.GetPixel(18, 5), Rgb(gfx::cl3DDkShadow));
}

TEST(ProHelpers, NamesFontsAndDelay) {
    TForm owner;
    new TButton(&owner, "ProButton1");
    new TButton(&owner, "probutton2");
    EXPECT_EQ(GetNewComponentName(&owner, "ProButton"), "ProButton3");
    EXPECT_EQ(GetNewComponentName(&owner, "ProLabel"), "ProLabel1");

    EXPECT_TRUE(FontInstalled("tahoma"));
    EXPECT_TRUE(FontTahomaInstalled());
    EXPECT_FALSE(FontInstalled("Wingdings"));

    RegisterProCursors();
    EXPECT_EQ(Screen->CursorResource(15000), "PRO_HANDPOINT");
    EXPECT_EQ(Screen->CursorResource(15004), "PRO_DRAGHAND");

    // Delay keeps the loop running: a timer due within the pause fires, and the pause lasts its time.
    testsupport::SimulatedClockScope clock;
    EventLoop::Get().Reset();
    TTimer timer;
    timer.SetInterval(30);
    int fired = 0;
    timer.OnTimer = [&](TTimer*) { ++fired; };
    uint32_t start = clock->TickCount();
    Delay(100);
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(clock->TickCount() - start, 100u);
}

TEST_F(ProForm, ButtonKindsGiveCaptionRolesAndResults) {
    auto* b = Add<TProButton>(0, 0, 75, 25);
    b->SetKind(pbkYesGer);
    EXPECT_EQ(ProButtonCaptionId(pbkYesGer), 30223);
    EXPECT_EQ(b->Caption(), LoadProString(30223));
    EXPECT_EQ(b->Caption(), "&Ja");
    EXPECT_TRUE(b->Default);
    EXPECT_FALSE(b->Cancel);
    EXPECT_EQ(b->ModalResult, 6);
    EXPECT_FALSE(b->IsCaptionStored());
    b->SetCaption("Jawohl");
    EXPECT_TRUE(b->IsCaptionStored());

    b->SetKind(pbkCancel);
    EXPECT_TRUE(b->Cancel);
    EXPECT_FALSE(b->Default);
    b->Cancel = false;
    EXPECT_EQ(b->Kind(), pbkCustom);

    // The English row of the caption table, the modal results, and the ends of the numbering.
    const std::vector<std::pair<std::string, int>> english = {
        {"OK", 1},     {"Cancel", 2},  {"&Help", 0},   {"&Yes", 6},    {"&No", 7},
        {"&Close", 0}, {"Abort", 3},   {"&Retry", 4},  {"&Ignore", 5}, {"&All", 8},
        {"&Done", 9},  {"< &Back", 0}, {"&Next >", 0}, {"&Finish", 10}};
    for (int base = 0; base < 14; ++base) {
        EXPECT_EQ(LoadProString(30100 + base), english[static_cast<size_t>(base)].first);
        EXPECT_EQ(ProButtonModalResult(static_cast<TProButtonBase>(base)),
                  english[static_cast<size_t>(base)].second);
    }
    EXPECT_EQ(ProButtonCaptionId(pbkOk), 30100);
    EXPECT_EQ(ProButtonCaptionId(pbkFinishSlk), 30393);
    EXPECT_EQ(static_cast<int>(pbkFinishSlk), kProButtonKindCount - 1);
    EXPECT_EQ(ProButtonBase(pbkNextTur), TProButtonBase::Next);
    EXPECT_EQ(LoadProString(30114), "") << "no resource between the rows";
    for (int id = 30100; id <= 30393; ++id) {
        if ((id - 30100) % 20 >= 14) continue;
        EXPECT_FALSE(LoadProString(id).empty()) << id;
    }

    // A caption read from a form file stays when the kind is set while loading.
    TProButton loaded;
    loaded.SetLoading();
    loaded.SetCaption("Weiter");
    loaded.SetKind(pbkNextGer);
    EXPECT_EQ(loaded.Caption(), "Weiter");
    EXPECT_TRUE(loaded.Default);
}

TEST_F(ProForm, HelpAndCloseKindsActOnTheirParents) {
    Application->HelpCalls.clear();
    auto* panel = Add<TPanel>(0, 0, 100, 50);
    auto* help = new TProButton(&form);
    help->SetParent(panel);
    help->SetKind(pbkHelpFr);
    int clicks = 0;
    help->OnClick = [&](TComponent*) { ++clicks; };
    help->Click();
    EXPECT_EQ(clicks, 1) << "no help topic anywhere: a plain click";
    form.HelpContext = 77;
    help->Click();
    ASSERT_EQ(Application->HelpCalls.size(), 1u);
    EXPECT_EQ(Application->HelpCalls[0].data, 77);
    EXPECT_EQ(clicks, 1);

    auto* close = new TProButton(&form);
    close->SetParent(&form);
    close->SetKind(pbkCloseIta);
    close->Click();
    EXPECT_FALSE(form.Visible());
    Application->HelpCalls.clear();
}

TEST_F(ProForm, TheSpeedButtonRepeatsWhileHeldAndOnceMoreOnRelease) {
    testsupport::SimulatedClockScope clock;
    auto* b = Add<TProSpeedButton>(0, 0, 25, 25);
    b->SetRepeatEnabled(true);
    int clicks = 0;
    b->OnClick = [&](TComponent*) { ++clicks; };
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 5, 5);
    EventLoop::Get().RunFor(399);
    EXPECT_EQ(clicks, 0);
    EventLoop::Get().RunFor(301); // 400 ms, then every 100 ms: 700 ms gives 4 repeats
    EXPECT_EQ(clicks, 4);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 5, 5);
    EXPECT_EQ(clicks, 5);
    EventLoop::Get().RunFor(1000);
    EXPECT_EQ(clicks, 5);

    // Clearing RepeatEnabled while held stops the repeats.
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 5, 5);
    EventLoop::Get().RunFor(450);
    b->SetRepeatEnabled(false);
    EventLoop::Get().RunFor(500);
    EXPECT_EQ(clicks, 6);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 5, 5);
}

TEST_F(ProForm, TheListBoxScrollRangeFollowsItsWidestItem) {
    auto* list = Add<TProListBox>(0, 0, 100, 60);
    // Test font: every character 7 pixels wide; an item is measured with an "I" after it.
    list->Add("ab");
    EXPECT_EQ(list->HorizontalExtent(), 21);
    list->Insert(0, "abcde");
    list->Add("abcd");
    EXPECT_EQ(list->HorizontalExtent(), 42);
    list->Delete(0);
    EXPECT_EQ(list->HorizontalExtent(), 35) << "the next widest";
    list->Delete(1);
    EXPECT_EQ(list->HorizontalExtent(), 21);
    list->SetHorzScrollExtent(10);
    EXPECT_EQ(list->HorizontalExtent(), 31);
    list->Font().SetHeight(20); // 10 pixels a character
    EXPECT_EQ(list->HorizontalExtent(), 40);
    list->SetAutoHorzScroll(false);
    EXPECT_EQ(list->HorizontalExtent(), 10);
    list->SetAutoHorzScroll(true);
    list->Clear();
    EXPECT_EQ(list->HorizontalExtent(), 10);
}

TEST_F(ProForm, PanelAndBorderDrawTheirBevelsOnlyOnTheirSides) {
    auto* panel = Add<TProPanel>(0, 0, 40, 30);
    panel->SetBevelSides(sdLeft | sdTop);
    panel->SetBevelOuter(TBevelCut::bvLowered);
    gfx::Bitmap b = Picture();
    EXPECT_EQ(b.GetPixel(0, 15), Rgb(gfx::clBtnShadow));
    EXPECT_EQ(b.GetPixel(20, 0), Rgb(gfx::clBtnShadow));
    EXPECT_EQ(b.GetPixel(39, 15), Rgb(gfx::clBtnFace)) << "no right side";
    EXPECT_EQ(b.GetPixel(20, 29), Rgb(gfx::clBtnFace)) << "no bottom side";

    panel->SetBevelSides(sdAllSides);
    panel->SetBevelOuter(TBevelCut::bvRaised);
    panel->SetBevelCtl3D(true);
    EXPECT_EQ(panel->BevelWidth(), 2);
    b = Picture();
    EXPECT_EQ(b.GetPixel(0, 15), Rgb(gfx::clBtnHighlight));
    EXPECT_EQ(b.GetPixel(39, 15), Rgb(gfx::clBtnText));
    EXPECT_EQ(b.GetPixel(1, 15), Rgb(gfx::cl3DLight));
    EXPECT_EQ(b.GetPixel(38, 15), Rgb(gfx::clBtnShadow));

    auto* border = Add<TProBorder>(50, 0, 30, 30);
    border->SetBevelCtl3D(true);
    border->SetBevelWidth(3);
    EXPECT_EQ(border->BevelWidth(), 1) << "fixed while BevelCtl3D is set";
    border->SetBevelCtl3D(false);
    border->SetBevelWidth(3);
    b = Picture();
    EXPECT_EQ(b.GetPixel(52, 15), Rgb(gfx::clBtnShadow));
    EXPECT_EQ(b.GetPixel(53, 15), Rgb(gfx::clWhite)) << "no fill inside a border";
}

TEST_F(ProForm, ATiledImageRepeatsItsPictureFromTheTopLeft) {
    auto* image = Add<TProImage>(0, 0, 25, 25);
    gfx::Bitmap& p = image->Picture().GetBitmap();
    p.SetSize(10, 10);
    p.GetCanvas().Brush.Color = gfx::clRed;
    p.GetCanvas().FillRect({0, 0, 10, 10});
    p.SetPixel(0, 0, gfx::clBlue);
    image->SetTiled(true);
    image->Picture().Changed();
    gfx::Bitmap b = Picture();
    for (auto [x, y] : {std::pair{0, 0}, {10, 0}, {20, 20}, {0, 20}})
        EXPECT_EQ(b.GetPixel(x, y), gfx::clBlue) << x << "," << y;
    EXPECT_EQ(b.GetPixel(24, 24), gfx::clRed);
    EXPECT_EQ(b.GetPixel(30, 30), gfx::clWhite);

    image->SetAutoSize(true);
    EXPECT_EQ(image->Width(), 10);
}

TEST_F(ProForm, AnImageShowsAnyGraphicAndRepaintsWhenThePictureChanges) {
    auto* image = Add<TProImage>(0, 0, 60, 60);
    image->SetAutoSize(true);
    // An icon, with its masked corner showing the form.
    ASSERT_TRUE(
        image->Picture().GetIcon().LoadFromStream(icontest::SolidIconFile(16, gfx::pf24bit, gfx::clRed)));
    image->Picture().Changed();
    EXPECT_EQ(image->Width(), image->Picture().GetIcon().Width());
    gfx::Bitmap b = Picture();
    EXPECT_EQ(b.GetPixel(0, 0), gfx::clWhite);
    EXPECT_EQ(b.GetPixel(10, 10), gfx::clRed);

    // A new graphic repaints at once; Transparent goes to it.
    auto bitmap = std::make_unique<gfx::TBitmapGraphic>();
    bitmap->Image().SetSize(8, 8);
    bitmap->Image().GetCanvas().Brush.Color = gfx::clBlue;
    bitmap->Image().GetCanvas().FillRect({0, 0, 8, 8});
    bitmap->Image().SetPixel(0, 7, gfx::clLime); // the bottom-left pixel names the transparent colour
    image->SetTransparent(true);
    image->Picture().SetGraphic(std::move(bitmap));
    EXPECT_TRUE(image->Picture().Graphic()->Transparent());
    EXPECT_EQ(image->Width(), 8);
    b = Picture();
    EXPECT_EQ(b.GetPixel(3, 3), gfx::clBlue);
    EXPECT_EQ(b.GetPixel(0, 7), gfx::clWhite);
    EXPECT_EQ(b.GetPixel(10, 10), gfx::clWhite) << "the icon is gone";
}

TEST_F(ProForm, AnImageShowsAGIFWhileItLoadsWithIncrementalDisplay) {
    testsupport::ScratchDir dir;
    {
        gif::TGIFImage animation; // two 4 x 4 frames, red then blue
        for (TColor c : {gfx::clRed, gfx::clBlue}) {
            gfx::Bitmap frame(4, 4);
            frame.GetCanvas().Brush.Color = c;
            frame.GetCanvas().FillRect({0, 0, 4, 4});
            animation.Add(frame);
        }
        animation.SaveToFile("anim.gif");
    }
    auto* image = Add<TProImage>(0, 0, 40, 40);
    Picture(); // nothing left to paint
    std::vector<std::string> told;
    std::vector<TColor> shown;
    std::string drawnAt; // per report: '+' when the image was drawn for it, '.' when not
    image->IncrementalDisplay = true;
    image->OnProgress = [&](TObject* sender, gfx::TProgressStage stage, int percent, bool redrawNow,
                            const TRect&, const std::string& text) {
        EXPECT_EQ(sender, image);
        if (text != "Loading...") return;
        told.push_back(std::to_string(stage) + " " + std::to_string(percent) + (redrawNow ? " redraw" : ""));
        if (redrawNow) shown.push_back(Rgb(form.Surface().GetPixel(1, 1)));
        // A mark that only a drawing of the image covers before the next report.
        drawnAt += Rgb(form.Surface().GetPixel(1, 1)) == gfx::clRed ? '+' : '.';
        form.Surface().SetPixel(1, 1, gfx::clLime);
    };
    auto load = [&] {
        told.clear();
        shown.clear();
        drawnAt.clear();
        gif::GIFImageRenderOnLoad = true; // each frame may be shown once it has been read
        image->Picture().LoadFromFile("anim.gif");
        gif::GIFImageRenderOnLoad = false;
    };
    load();
    ASSERT_GE(told.size(), 4u);
    EXPECT_EQ(told.front(), "0 0");
    EXPECT_EQ(told.back(), "2 100");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], gfx::clRed) << "drawn before the picture holds the image";
    EXPECT_EQ(shown[1], gfx::clRed) << "an image still being read shows its first frame";
    // Drawn exactly for the reports that say so, whatever the image holds at the others.
    std::string expected;
    for (const std::string& t : told)
        expected += t.ends_with("redraw") ? '+' : '.';
    EXPECT_EQ(drawnAt, expected);
    // Without IncrementalDisplay nothing is drawn while the picture loads.
    image->IncrementalDisplay = false;
    load();
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(drawnAt, std::string(told.size(), '.'));
    image->Picture().SetGraphic(nullptr);
}

} // namespace
