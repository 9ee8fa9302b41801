// Application events: several instances share the application's slots through one list, newest first;
// Chained and Handled end the walk; the earlier handlers run last and come back when the last instance
// leaves; the application window's paint and settings messages; settings at run and design time.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "extra/AppEvent.h"
#include "platform/controls/Actions.h"
#include "platform/controls/Edit.h"
#include "platform/controls/Screen.h"
#include "platform/controls/StdCtrls.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace extra;
using platform::Application;
using platform::EventLoop;
using platform::TObject;

namespace {

class AppEventsTest : public ::testing::Test {
protected:
    void SetUp() override { EventLoop::Get().Reset(); }
    void TearDown() override {
        EventLoop::Get().Reset();
        Application->Restore();
    }
    // A message target that counts what reaches it.
    struct Target : platform::MessageTarget {
        int received = 0;
        void Dispatch(platform::TMessage&) override { ++received; }
    };
    std::vector<std::string> calls;
};

TEST_F(AppEventsTest, EventsReachTheNewestInstanceFirstAndChainedFalseEndsTheWalk) {
    TAppEvents older, newer;
    older.OnIdle = [&](TObject*, bool&) { calls.push_back("older"); };
    newer.OnIdle = [&](TObject*, bool&) { calls.push_back("newer"); };
    older.OnMinimize = [&](TObject* sender) { calls.push_back(sender == Application ? "min" : "?"); };

    bool done = true;
    Application->OnIdle(Application, done);
    EXPECT_EQ(calls, (std::vector<std::string>{"newer", "older"}));

    calls.clear();
    newer.SetChained(false);
    testsupport::SimulatedClockScope clock;
    EventLoop::Get().RunFor(10); // an idle turn
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "newer");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "older"), 0);

    // An instance without a handler passes the event on only when chained.
    calls.clear();
    Application->Minimize();
    EXPECT_TRUE(calls.empty());
    Application->Restore();
    newer.SetChained(true);
    Application->Minimize();
    EXPECT_EQ(calls, (std::vector<std::string>{"min"}));
}

TEST_F(AppEventsTest, HandledStopsMessagesShortCutsAndActions) {
    TAppEvents older, newer;
    bool newerHandles = true;
    newer.OnMessage = [&](platform::TMsg&, bool& handled) {
        calls.push_back("newer");
        handled = newerHandles;
    };
    older.OnMessage = [&](platform::TMsg&, bool&) { calls.push_back("older"); };

    Target target;
    platform::PostMessage(target.Handle(), platform::WM_USER + 7);
    EventLoop::Get().ProcessMessages();
    EXPECT_EQ(calls, (std::vector<std::string>{"newer"}));
    EXPECT_EQ(target.received, 0) << "a handled message is not dispatched";

    calls.clear();
    newerHandles = false;
    platform::PostMessage(target.Handle(), platform::WM_USER + 7);
    EventLoop::Get().ProcessMessages();
    EXPECT_EQ(calls, (std::vector<std::string>{"newer", "older"}));
    EXPECT_EQ(target.received, 1);

    // A key taken as a shortcut never reaches the focused control.
    platform::TForm form;
    auto* edit = new platform::widgets::TEdit(&form);
    edit->SetParent(&form);
    form.Show();
    form.SetActiveControl(edit);
    newer.OnShortCut = [&](platform::TWMKey& key, bool& handled) { handled = key.CharCode == 'S'; };
    older.OnShortCut = [&](platform::TWMKey&, bool&) { calls.push_back("older key"); };
    int keyDowns = 0;
    edit->OnKeyDown = [&](platform::TComponent*, uint16_t&, platform::TShiftState) { ++keyDowns; };
    calls.clear();
    form.SimulateKeyDown('S', platform::ssCtrl);
    EXPECT_EQ(keyDowns, 0);
    EXPECT_TRUE(calls.empty());
    form.SimulateKeyDown('T');
    EXPECT_EQ(keyDowns, 1);
    EXPECT_EQ(calls, (std::vector<std::string>{"older key"}));

    // An action handled by an instance does not run its own OnExecute.
    platform::TBasicAction action;
    int executed = 0;
    action.OnExecute = [&](platform::TBasicAction*) { ++executed; };
    older.OnActionExecute = [&](platform::TBasicAction* a, bool& handled) { handled = a == &action; };
    EXPECT_TRUE(action.Execute());
    EXPECT_EQ(executed, 0);
    older.OnActionExecute = nullptr;
    EXPECT_TRUE(action.Execute());
    EXPECT_EQ(executed, 1);
}

TEST_F(AppEventsTest, HelpReturnsTheLastResultAndTheEarlierHandlerRunsLast) {
    Application->OnHelp = [&](uint16_t, intptr_t, bool& callHelp) {
        calls.push_back("earlier");
        callHelp = false;
        return true;
    };
    {
        TAppEvents events;
        events.OnHelp = [&](uint16_t, intptr_t data, bool& callHelp) {
            calls.push_back("instance " + std::to_string(data));
            callHelp = false;
            return false;
        };
        EXPECT_TRUE(Application->HelpContext(42)) << "the earlier handler's result";
        EXPECT_EQ(calls, (std::vector<std::string>{"instance 42", "earlier"}));

        calls.clear();
        events.SetChained(false);
        EXPECT_FALSE(Application->HelpContext(43)) << "the last handler called said false";
        EXPECT_EQ(calls, (std::vector<std::string>{"instance 43"}));
    }
    // The earlier handler is back once the instance has gone.
    calls.clear();
    EXPECT_TRUE(Application->HelpContext(44));
    EXPECT_EQ(calls, (std::vector<std::string>{"earlier"}));
    Application->OnHelp = nullptr;
}

TEST_F(AppEventsTest, UnhandledExceptionsFallBackToTheApplication) {
    auto raise = [] {
        EventLoop::Get().HandleException(std::make_exception_ptr(std::runtime_error("boom")));
    };
    // The program's own handler (the station's "SERIOUS ERROR:" logger) is there before.
    std::vector<std::string> logged;
    Application->SetOnException([&](const std::exception& e) { logged.push_back(e.what()); });
    {
        TAppEvents older, newer;
        std::string seen;
        newer.OnException = [&](TObject* sender, const std::exception& e) {
            seen = std::string(e.what()) + (sender == Application ? " from the application" : "");
        };
        raise();
        EXPECT_EQ(seen, "boom from the application");
        EXPECT_EQ(logged, (std::vector<std::string>{"boom"})) << "the walk ran off to the earlier handler";

        // The walk stops at the newer instance: handled there, nothing shown.
        newer.SetChained(false);
        testing::internal::CaptureStderr();
        raise();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(logged.size(), 1u);

        // Stopped with no handler called: the application shows it.
        newer.OnException = nullptr;
        testing::internal::CaptureStderr();
        raise();
        EXPECT_NE(testing::internal::GetCapturedStderr().find("boom"), std::string::npos);
        EXPECT_EQ(logged.size(), 1u);
    }
    // The last instance gone: the program's handler is in its slot again.
    raise();
    EXPECT_EQ(logged.size(), 2u);

    // With no handler anywhere the exception is shown.
    Application->SetOnException(nullptr);
    {
        TAppEvents alone;
        testing::internal::CaptureStderr();
        raise();
        EXPECT_NE(testing::internal::GetCapturedStderr().find("boom"), std::string::npos);
    }
    EXPECT_FALSE(Application->OnException());
    EXPECT_FALSE(Application->OnIdle);
    EXPECT_FALSE(platform::Screen->OnActiveFormChange);
}

TEST_F(AppEventsTest, TheListIsSharedAndLeftByEachInstance) {
    auto events = std::make_unique<TAppEvents>();
    TAppEventList* list = TAppEventList::Instance();
    ASSERT_NE(list, nullptr);
    int before = list->Count();
    list->AddEvents(events.get());
    EXPECT_EQ(list->Count(), before) << "an instance already listed is ignored";
    EXPECT_TRUE(list->Hooked());
    events.reset();
    EXPECT_EQ(list->Count(), before - 1);
    EXPECT_FALSE(list->Hooked());

    // A design-time instance joins but takes no slot.
    TAppEvents designed;
    designed.SetDesigning(true);
    list->RemoveEvents(&designed);
    list->AddEvents(&designed);
    EXPECT_FALSE(list->Hooked());
    list->RemoveEvents(&designed);
}

TEST_F(AppEventsTest, ScreenChangesReachTheInstances) {
    TAppEvents events;
    int formChanges = 0, controlChanges = 0;
    events.OnActiveFormChange = [&](TObject* sender) { formChanges += sender == platform::Screen ? 1 : 100; };
    events.OnActiveControlChange = [&](TObject*) { ++controlChanges; };
    platform::TForm form;
    auto* a = new platform::widgets::TEdit(&form);
    a->SetParent(&form);
    form.Show();
    EXPECT_EQ(formChanges, 1);
    form.SetActiveControl(a);
    EXPECT_EQ(controlChanges, 1);
    form.Hide();
    EXPECT_EQ(formChanges, 2);
    EXPECT_EQ(controlChanges, 2);
}

TEST_F(AppEventsTest, TheMinimisedApplicationIsPaintedByOnPaintIconAndSettingsChangesAreRaised) {
    TAppEvents events;
    int painted = 0;
    platform::gfx::TColor background = 0;
    events.OnPaintIcon = [&](TObject*) {
        ++painted;
        background = events.Canvas().GetPixel(5, 5);
        events.Canvas().Brush.Color = platform::gfx::clRed;
        events.Canvas().FillRect({0, 0, 2, 2});
    };
    int settings = 0;
    events.OnSettingsChanged = [&](TObject*) { ++settings; };

    Application->InvalidateWindow(true);
    EventLoop::Get().ProcessMessages();
    EXPECT_EQ(painted, 0) << "only the minimised application paints its icon";

    Application->Minimize();
    Application->WindowSurface().SetPixel(5, 5, platform::gfx::clWhite);
    Application->InvalidateWindow(true);
    EventLoop::Get().ProcessMessages();
    EXPECT_EQ(painted, 1);
    EXPECT_EQ(background, platform::gfx::ColorToRGB(platform::gfx::clBackground));
    EXPECT_EQ(Application->WindowSurface().GetPixel(0, 0), platform::gfx::clRed);

    EXPECT_EQ(Application->Perform(0x001A), 0);
    EXPECT_EQ(settings, 1);
}

TEST_F(AppEventsTest, SettingsGoToTheApplicationAtRunTimeOnly) {
    TAppEvents events;
    events.SetHintPause(800);
    events.SetMouseDragThreshold(9);
    EXPECT_EQ(Application->HintPause, 800);
    EXPECT_EQ(platform::Mouse->DragThreshold, 9);
    Application->HintPause = 700;
    EXPECT_EQ(events.HintPause(), 700) << "run time reads the application";

    // Loaded writes every setting, the defaults included.
    events.Loaded();
    EXPECT_EQ(Application->HintPause, 800);
    EXPECT_EQ(Application->HintHidePause, 2500);
    EXPECT_EQ(Application->HintColor, platform::gfx::clInfoBk);

    TAppEvents designed;
    designed.SetDesigning(true);
    designed.SetHintPause(100);
    EXPECT_EQ(designed.HintPause(), 100);
    EXPECT_EQ(Application->HintPause, 800);
    platform::Mouse->DragThreshold = 5;
    Application->HintPause = 500;
}

} // namespace
