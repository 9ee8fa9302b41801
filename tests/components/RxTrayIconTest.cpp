// The main window's tray icon keeps its record in the shell's notification area: shown at creation,
// the tip following the hint, removed when hidden or freed, and a double click from the shell.
#include <gtest/gtest.h>

#include "components/RXShell.h"
#include "platform/EventLoop.h"
#include "platform/controls/Messages.h"

using platform::NotificationArea;

TEST(RxTrayIcon, TheRecordFollowsVisibilityAndHintAndTheShellsDoubleClickArrives) {
    NotificationArea::Get().Clear();
    platform::EventLoop::Get().Reset();
    platform::HWND window;
    {
        TRxTrayIcon tray;
        window = tray.Handle();
        int dblClicks = 0;
        tray.OnDblClick = [&] { ++dblClicks; };
        ASSERT_NE(NotificationArea::Get().Find(window, 1), nullptr);

        tray.SetHint("12.5\xB0");
        EXPECT_EQ(NotificationArea::Get().Find(window, 1)->tip, "12.5\xB0");
        tray.Hide();
        EXPECT_EQ(NotificationArea::Get().Find(window, 1), nullptr);
        tray.SetHint("13.0\xB0");
        tray.Show();
        EXPECT_EQ(NotificationArea::Get().Find(window, 1)->tip, "13.0\xB0");

        platform::PostMessage(window, TRxTrayIcon::kCallbackMessage, 1, platform::WM_LBUTTONDBLCLK);
        platform::PostMessage(window, TRxTrayIcon::kCallbackMessage, 1, platform::WM_LBUTTONDOWN);
        platform::EventLoop::Get().ProcessMessages();
        EXPECT_EQ(dblClicks, 1);
    }
    EXPECT_TRUE(NotificationArea::Get().Icons().empty());
    for (const auto& op : NotificationArea::Get().Operations())
        EXPECT_TRUE(op.succeeded);
}
