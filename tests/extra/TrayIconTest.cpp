// The tray icon component against the headless notification area: the record it sends, the add,
// modify and delete sequences, icons from an image list, the shell's mouse callbacks with the pop-up
// menu, the old shell, and the application shown and hidden.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extra/TrayIcon.h"
#include "platform/controls/Application.h"
#include "platform/controls/Screen.h"

using namespace extra;
using platform::NotificationArea;
using platform::gfx::Bitmap;
using platform::gfx::TIcon;

namespace {

TIcon MakeIcon(platform::gfx::TColor color) {
    Bitmap b(16, 16);
    b.GetCanvas().Brush.Color = color;
    b.GetCanvas().FillRect({0, 0, 16, 16});
    TIcon icon;
    icon.SetImage(b);
    return icon;
}

// The test reaches the hidden window's procedure the way the shell's callback does.
struct TestTray : TTrayIcon {
    using TTrayIcon::TTrayIcon;
    void Dispatch(platform::TMessage& m) { WndProc(m); }
};

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationArea::Get().Clear();
        platform::EventLoop::Get().Reset();
        platform::widgets::TheMenuHost().Reset();
    }
    void TearDown() override {
        NotificationArea::Get().Clear();
        platform::EventLoop::Get().Reset();
        platform::widgets::TheMenuHost().Reset();
        platform::SystemMajorVersion() = 5;
    }
    static std::vector<uint32_t> Messages() {
        std::vector<uint32_t> out;
        for (const auto& op : NotificationArea::Get().Operations())
            out.push_back(op.message);
        return out;
    }
    static intptr_t Callback(TestTray& tray, uint32_t mouseMessage) {
        platform::TMessage m{kTrayCallbackMessage, kTrayIconId, static_cast<platform::LPARAM>(mouseMessage),
                             0};
        tray.Dispatch(m);
        return m.Result;
    }
};

TEST_F(TrayIconTest, TheRecordGoesInOnShowChangesWithTheTipAndLeavesOnHide) {
    TestTray tray;
    tray.Show();
    EXPECT_TRUE(Messages().empty()) << "no icon yet: nothing is added";

    tray.SetIcon(MakeIcon(platform::gfx::clRed)); // visible with a first icon: inserted now
    ASSERT_EQ(Messages(), (std::vector<uint32_t>{platform::NIM_ADD}));
    const platform::NOTIFYICONDATA& d = NotificationArea::Get().Operations().back().data;
    EXPECT_EQ(d.cbSize, 488u);
    EXPECT_EQ(d.uID, 1005u);
    EXPECT_EQ(d.hWnd, tray.Handle());
    EXPECT_EQ(d.uFlags, 7u);
    EXPECT_EQ(d.uCallbackMessage, 0x805u);
    EXPECT_EQ(d.hIcon, tray.ShownIcon().Handle());
    EXPECT_NE(d.hIcon, 0u);

    tray.SetHint(std::string(200, 'h'));
    const auto* icon = NotificationArea::Get().Find(tray.Handle(), 1005);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->tip, std::string(127, 'h')) << "the tip field holds 127 characters and a zero";
    tray.SetShowHint(false);
    EXPECT_EQ(icon->tip, "");
    tray.SetIcon(MakeIcon(platform::gfx::clBlue));
    EXPECT_EQ(icon->icon, tray.ShownIcon().Handle());

    tray.Hide();
    EXPECT_EQ(Messages(),
              (std::vector<uint32_t>{platform::NIM_ADD, platform::NIM_MODIFY, platform::NIM_MODIFY,
                                     platform::NIM_MODIFY, platform::NIM_DELETE}));
    EXPECT_TRUE(NotificationArea::Get().Icons().empty());
    for (const auto& op : NotificationArea::Get().Operations())
        EXPECT_TRUE(op.succeeded);
}

TEST_F(TrayIconTest, ImageListIconsAreClampedAndFollowTheList) {
    auto* list = new platform::TImageList;
    TestTray tray;
    tray.SetIconSource(TIconSource::srcImageList);
    tray.SetImageList(list);
    tray.SetImageListIndex(10);
    EXPECT_EQ(tray.ImageListIndex(), 0) << "an empty list never gives -1";
    tray.Show();
    EXPECT_TRUE(NotificationArea::Get().Icons().empty());

    Bitmap b(16, 16);
    for (int i = 0; i < 4; ++i)
        list->Add(b);
    tray.SetImageListIndex(10);
    EXPECT_EQ(tray.ImageListIndex(), 3);
    tray.SetImageListIndex(-4);
    EXPECT_EQ(tray.ImageListIndex(), 0);

    // The icon was never added (the list was empty when shown): showing again adds it.
    EXPECT_FALSE(NotificationArea::Get().Operations().back().succeeded);
    tray.Hide();
    tray.Show();
    ASSERT_NE(NotificationArea::Get().Find(tray.Handle(), 1005), nullptr);

    // Freeing the list clears the property and hides the icon.
    delete list;
    EXPECT_EQ(tray.ImageList(), nullptr);
    EXPECT_FALSE(tray.Visible());
    EXPECT_TRUE(NotificationArea::Get().Icons().empty());
}

TEST_F(TrayIconTest, MouseCallbacksRaiseEventsAndARightReleasePopsTheMenu) {
    TestTray tray;
    std::vector<std::string> events;
    tray.OnMouseMove = [&](platform::TComponent*) { events.push_back("move"); };
    tray.OnLeftBtnDown = [&](platform::TComponent*) { events.push_back("ldown"); };
    tray.OnLeftBtnUp = [&](platform::TComponent*) { events.push_back("lup"); };
    tray.OnLeftBtnDblClick = [&](platform::TComponent*) { events.push_back("ldbl"); };
    tray.OnRightBtnDown = [&](platform::TComponent*) { events.push_back("rdown"); };
    tray.OnRightBtnDblClick = [&](platform::TComponent*) { events.push_back("rdbl"); };
    tray.OnRightBtnUp = [&](platform::TComponent*) { events.push_back("rup"); };
    for (uint32_t m : {0x200u, 0x201u, 0x202u, 0x203u, 0x204u, 0x206u})
        EXPECT_EQ(Callback(tray, m), 1);
    EXPECT_EQ(events, (std::vector<std::string>{"move", "ldown", "lup", "ldbl", "rdown", "rdbl"}));

    auto* menu = new platform::widgets::TPopupMenu;
    auto* item = new platform::widgets::TMenuItem(menu);
    item->Caption = "Restore";
    menu->Items()->Add(item);
    int clicked = 0;
    item->OnClick = [&](platform::TComponent*) { ++clicked; };
    platform::widgets::TheMenuHost().Chooser = [&](const auto&) { return item; };
    tray.SetPopupMenu(menu);
    platform::Screen->SetCursorPos({700, 740});

    EXPECT_EQ(Callback(tray, 0x205), 1);
    EXPECT_EQ(events.back(), "rup");
    ASSERT_EQ(platform::widgets::TheMenuHost().Tracked.size(), 1u);
    EXPECT_EQ(platform::widgets::TheMenuHost().Tracked[0].x, 700);
    EXPECT_EQ(platform::widgets::TheMenuHost().Tracked[0].y, 740);
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(platform::Screen->ForegroundWindow(), tray.Handle());
    EXPECT_EQ(platform::EventLoop::Get().Pending(), 1u) << "WM_NULL follows the menu";

    tray.SetAutoPopup(false);
    Callback(tray, 0x205);
    EXPECT_EQ(platform::widgets::TheMenuHost().Tracked.size(), 1u);

    // Freeing the menu clears the property: nothing pops up afterwards.
    tray.SetAutoPopup(true);
    delete menu;
    EXPECT_EQ(tray.PopupMenu(), nullptr);
    Callback(tray, 0x205);
    EXPECT_EQ(platform::widgets::TheMenuHost().Tracked.size(), 1u);

    platform::TMessage other{platform::WM_USER, 0, 0, 0};
    tray.Dispatch(other);
    EXPECT_EQ(other.Result, 0);
}

TEST_F(TrayIconTest, AnOldShellHasNoNotificationArea) {
    platform::SystemMajorVersion() = 3;
    TestTray tray;
    tray.SetIcon(MakeIcon(platform::gfx::clRed));
    tray.Show();
    tray.SetHint("x");
    tray.Hide();
    EXPECT_TRUE(NotificationArea::Get().Operations().empty());
}

TEST_F(TrayIconTest, DestructionRemovesTheIconUnlessToldNotTo) {
    platform::HWND kept;
    {
        TestTray tray;
        tray.SetIcon(MakeIcon(platform::gfx::clRed));
        tray.Show();
    }
    EXPECT_TRUE(NotificationArea::Get().Icons().empty());
    {
        TestTray tray;
        tray.RemoveOnDelete = false;
        tray.SetIcon(MakeIcon(platform::gfx::clRed));
        tray.Show();
        kept = tray.Handle();
    }
    EXPECT_NE(NotificationArea::Get().Find(kept, 1005), nullptr);
}

TEST_F(TrayIconTest, TheApplicationIsHiddenAndShownThroughItsMainFormOrItsFlag) {
    TTrayIcon tray;
    tray.HideApplication();
    EXPECT_FALSE(TTrayIcon::ApplicationVisible());
    EXPECT_FALSE(platform::Application->ShowMainForm);
    EXPECT_FALSE(platform::Application->WindowVisible());

    platform::TForm mainForm;
    platform::Application->MainForm = &mainForm;
    tray.ShowApplication();
    EXPECT_TRUE(mainForm.Visible());
    EXPECT_TRUE(platform::Application->WindowVisible());
    tray.HideApplication();
    EXPECT_FALSE(mainForm.Visible());
    EXPECT_FALSE(platform::Application->ShowMainForm) << "with a main form the flag stays as it was";

    platform::Application->MainForm = nullptr;
    tray.ShowApplication();
    EXPECT_TRUE(platform::Application->ShowMainForm);
}

} // namespace
