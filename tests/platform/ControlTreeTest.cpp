// The control tree: painting into surfaces (coalesced invalidation, clipping, composition of windowed
// children), mouse routing with capture and hover, focus and keys, and the component notifications
// that controls rely on when they are freed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/controls/Headless.h"
#include "platform/EventLoop.h"
#include "platform/controls/Form.h"
#include "tests/platform/GraphicsTestSupport.h"

using namespace platform;
using namespace platform::gfx;

namespace {

// A graphic control that fills its client area (and a bit beyond, to test the clip) with its colour.
class Box : public TGraphicControl {
public:
    Box(TWinControl* parent, TRect bounds, TColor color, std::vector<std::string>* log = nullptr)
        : TGraphicControl(parent), log_(log) {
        SetParent(parent);
        SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
        SetColor(color);
    }
    int paints = 0;

protected:
    void Paint() override {
        ++paints;
        Canvas().Brush.Color = Color();
        Canvas().FillRect({-50, -50, 500, 500});
    }
    void WndProc(TMessage& m) override {
        if (log_) {
            if (m.Msg == CM_MOUSEENTER) log_->push_back("enter " + Name());
            if (m.Msg == CM_MOUSELEAVE) log_->push_back("leave " + Name());
            if (m.Msg == WM_LBUTTONDOWN || m.Msg == WM_LBUTTONUP || m.Msg == WM_MOUSEMOVE) {
                const char* what = m.Msg == WM_LBUTTONDOWN ? "down "
                                   : m.Msg == WM_LBUTTONUP ? "up "
                                                           : "move ";
                log_->push_back(what + Name() + " " + std::to_string(PointParamX(m.LParam)) + "," +
                                std::to_string(PointParamY(m.LParam)));
            }
        }
        TGraphicControl::WndProc(m);
    }

private:
    std::vector<std::string>* log_;
};

// A windowed control that paints itself in its colour and logs focus and keys.
class Panel : public TCustomControl {
public:
    Panel(TWinControl* parent, TRect bounds, TColor color, std::vector<std::string>* log = nullptr,
          intptr_t dlgCode = 0)
        : TCustomControl(parent), log_(log), dlgCode_(dlgCode) {
        SetParent(parent);
        SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
        SetColor(color);
        SetTabStop(true);
    }

protected:
    void Paint() override {
        Canvas().Brush.Color = Color();
        Canvas().FillRect(ClientRect());
    }
    void WndProc(TMessage& m) override {
        if (m.Msg == WM_GETDLGCODE) {
            m.Result = dlgCode_;
            return;
        }
        if (log_) {
            if (m.Msg == WM_SETFOCUS) log_->push_back("focus " + Name());
            if (m.Msg == WM_KILLFOCUS) log_->push_back("blur " + Name());
            if (m.Msg == WM_KEYDOWN) log_->push_back("key " + Name() + " " + std::to_string(m.WParam));
            if (m.Msg == WM_MOUSEWHEEL)
                log_->push_back("wheel " + Name() + " " +
                                std::to_string(static_cast<int16_t>(m.WParam >> 16)));
        }
        TCustomControl::WndProc(m);
    }

private:
    std::vector<std::string>* log_;
    intptr_t dlgCode_;
};

class ControlTree : public ::testing::Test {
protected:
    void SetUp() override {
        EventLoop::Get().Reset();
        form.SetBounds(0, 0, 120, 80);
        form.SetColor(clWhite);
    }
    void TearDown() override { EventLoop::Get().Reset(); }
    TColor At(int x, int y) { return form.Surface().GetPixel(x, y); }

    TForm form;
};

TEST_F(ControlTree, InvalidationIsCoalescedAndPaintedByTheLoopOnlyWhileShown) {
    auto* box = new Box(&form, {10, 10, 30, 30}, clRed);
    box->Invalidate();
    EXPECT_EQ(EventLoop::Get().Pending(WM_PAINT), 0u); // hidden: nothing scheduled
    form.Show();
    box->Invalidate();
    box->Invalidate();
    form.Invalidate();
    EXPECT_EQ(EventLoop::Get().Pending(WM_PAINT), 1u);
    EventLoop::Get().ProcessMessages();
    EXPECT_EQ(box->paints, 1);
    EXPECT_EQ(At(15, 15), clRed);
    EXPECT_EQ(At(30, 15), clWhite); // the box's right edge is exclusive, and its canvas stops there
    EXPECT_EQ(At(9, 9), clWhite);
    // Update paints at once and leaves nothing queued.
    box->SetColor(clBlue);
    box->Update();
    EXPECT_EQ(At(15, 15), clBlue);
    EXPECT_EQ(EventLoop::Get().Pending(WM_PAINT), 0u);
    EXPECT_EQ(box->paints, 2);
}

TEST_F(ControlTree, OnlyControlsMeetingTheInvalidAreaRepaintAndDrawingOutsidePaintLandsAtOnce) {
    form.Show();
    auto* a = new Box(&form, {0, 0, 20, 20}, clRed);
    auto* b = new Box(&form, {60, 0, 80, 20}, clGreen);
    form.Update();
    EXPECT_EQ(a->paints, 1);
    EXPECT_EQ(b->paints, 1);
    a->Invalidate();
    form.Update();
    EXPECT_EQ(a->paints, 2);
    EXPECT_EQ(b->paints, 1);
    // A pointer drawn on a timer tick, not in Paint.
    b->Canvas().Brush.Color = clBlack;
    b->Canvas().FillRect({0, 0, 2, 2});
    EXPECT_EQ(At(60, 0), clBlack);
    EXPECT_EQ(At(59, 0), clWhite);
}

TEST_F(ControlTree, PaintToComposesWindowedChildrenOverTheirParentEvenWhenHidden) {
    auto* panel = new Panel(&form, {40, 20, 90, 60}, clBlue);
    new Box(panel, {5, 5, 15, 15}, clYellow); // on the panel's own surface
    new Box(&form, {30, 10, 50, 30}, clRed);  // under the panel where they overlap
    Bitmap shot(120, 80);
    form.PaintTo(shot);
    EXPECT_EQ(shot.GetPixel(35, 15), clRed);
    EXPECT_EQ(shot.GetPixel(42, 22), clBlue) << "a windowed child lies above graphic siblings";
    EXPECT_EQ(shot.GetPixel(46, 26), clYellow);
    EXPECT_EQ(shot.GetPixel(100, 70), clWhite);
    EXPECT_EQ(form.Surface().GetPixel(46, 26), clRed) << "the panel's pixels stay on its own surface";
    EXPECT_TRUE(form.InvalidArea().IsEmpty());
}

TEST_F(ControlTree, MouseGoesToTheControlUnderItAndStaysWithTheCaptureUntilRelease) {
    std::vector<std::string> log;
    auto* a = new Box(&form, {10, 10, 30, 30}, clRed, &log);
    a->SetName("a");
    int clicks = 0;
    a->OnClick = [&](TComponent*) { ++clicks; };
    form.SimulateMouseDown(TMouseButton::mbLeft, 0, 15, 12);
    EXPECT_EQ(GetCaptureControl(), a);
    form.SimulateMouseMove(0, 50, 50);
    form.SimulateMouseUp(TMouseButton::mbLeft, 0, 50, 50);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_EQ(clicks, 0) << "released outside";
    EXPECT_EQ(log,
              (std::vector<std::string>{"enter a", "down a 5,2", "leave a", "move a 40,40", "up a 40,40"}));
    form.SimulateClick(20, 20);
    EXPECT_EQ(clicks, 1);
    a->SetEnabled(false);
    form.SimulateClick(20, 20);
    EXPECT_EQ(clicks, 1) << "a disabled control gets no mouse";
}

TEST_F(ControlTree, HoverFollowsTheTopmostControlAndLeavesWithTheMouse) {
    std::vector<std::string> log;
    auto* a = new Box(&form, {10, 10, 40, 40}, clRed, &log);
    auto* b = new Box(&form, {30, 30, 60, 60}, clGreen, &log); // on top of a where they overlap
    a->SetName("a");
    b->SetName("b");
    form.SimulateMouseMove(0, 20, 20);
    form.SimulateMouseMove(0, 35, 35);
    form.SimulateMouseMove(0, 36, 36);
    form.SimulateMouseExit();
    std::erase_if(log, [](const std::string& s) { return s.starts_with("move"); });
    EXPECT_EQ(log, (std::vector<std::string>{"enter a", "leave a", "enter b", "leave b"}));
    EXPECT_EQ(form.HoverControl(), nullptr);
    delete b; // a freed control is forgotten
    form.SimulateMouseMove(0, 20, 20);
    EXPECT_EQ(form.HoverControl(), a);
}

TEST_F(ControlTree, FocusMovesWithTabAndArrowsUnlessTheControlWantsThemAndKeysReachIt) {
    std::vector<std::string> log;
    auto* p1 = new Panel(&form, {0, 0, 20, 20}, clRed, &log);
    auto* p2 = new Panel(&form, {30, 0, 50, 20}, clRed, &log, DLGC_WANTARROWS);
    p1->SetName("p1");
    p2->SetName("p2");
    form.Show();
    p1->SetFocus();
    EXPECT_TRUE(p1->Focused());
    form.SimulateKey(VK_TAB);
    EXPECT_TRUE(p2->Focused());
    form.SimulateKey(VK_LEFT); // p2 takes arrows
    EXPECT_TRUE(p2->Focused());
    form.SimulateWheel(-120);
    form.SimulateKey(VK_TAB);
    form.SimulateKey(VK_DOWN); // p1 does not: the focus moves on
    EXPECT_TRUE(p2->Focused());
    p2->SetVisible(false);
    EXPECT_FALSE(p2->CanFocus());
    EXPECT_EQ(log, (std::vector<std::string>{"focus p1", "blur p1", "focus p2", "key p2 37", "wheel p2 -120",
                                             "blur p2", "focus p1", "blur p1", "focus p2"}));
}

TEST_F(ControlTree, AlignedChildrenShareTheClientAreaInOrder) {
    auto* top = new Panel(&form, {0, 0, 10, 15}, clRed);
    auto* client = new Panel(&form, {0, 0, 10, 10}, clBlue);
    auto* left = new Panel(&form, {0, 0, 25, 10}, clGreen);
    top->SetAlign(TAlign::alTop);
    client->SetAlign(TAlign::alClient);
    left->SetAlign(TAlign::alLeft);
    EXPECT_EQ(top->BoundsRect(), (TRect{0, 0, 120, 15}));
    EXPECT_EQ(left->BoundsRect(), (TRect{0, 15, 25, 80}));
    EXPECT_EQ(client->BoundsRect(), (TRect{25, 15, 120, 80}));
    form.SetBounds(0, 0, 200, 100);
    EXPECT_EQ(client->BoundsRect(), (TRect{25, 15, 200, 100}));
    EXPECT_EQ(client->Surface().Width(), 175);
}

TEST(ControlComponents, FreeNotificationAndOwnerNotificationReachTheRightComponents) {
    struct Watcher : TComponent {
        using TComponent::TComponent;
        std::vector<TComponent*> removed;
        void Notification(TComponent* c, TOperation op) override {
            TComponent::Notification(c, op);
            if (op == TOperation::opRemove) removed.push_back(c);
        }
    };
    auto* form = new TForm(nullptr, "Form");
    auto* sibling = new Watcher(form, "Sibling");
    auto* other = new Watcher(nullptr, "Other");
    auto* label = new TLabel(form, "Label");
    other->FreeNotification(label);
    delete label;
    EXPECT_EQ(sibling->removed, std::vector<TComponent*>{label});
    EXPECT_EQ(other->removed, std::vector<TComponent*>{label});
    auto* gone = new TComponent(nullptr, "Gone");
    other->FreeNotification(gone);
    delete other; // the link goes both ways: freeing the watcher first is safe
    delete gone;
    delete form;
}

TEST(ControlComponents, LoadedRunsOnEveryOwnedComponentChildrenFirst) {
    std::vector<std::string> order;
    struct Recorder : TComponent {
        Recorder(TComponent* owner, const std::string& name, std::vector<std::string>& order)
            : TComponent(owner, name), order_(order) {
            SetLoading();
        }
        void Loaded() override {
            TComponent::Loaded();
            order_.push_back(Name());
        }
        std::vector<std::string>& order_;
    };
    TComponent root(nullptr, "Root");
    auto* a = new Recorder(&root, "A", order);
    new Recorder(a, "A1", order);
    new Recorder(&root, "B", order);
    EXPECT_TRUE(a->Loading());
    FinishLoading(root);
    EXPECT_FALSE(a->Loading());
    EXPECT_EQ(order, (std::vector<std::string>{"A1", "A", "B"}));
}

TEST(ControlComponents, FreeingAParentFreesItsUnownedChildrenAndReleasesOwnedOnes) {
    auto* owner = new TComponent(nullptr, "Owner");
    auto* form = new TForm(nullptr, "Form");
    auto* owned = new TLabel(owner, "Owned");
    owned->SetParent(form);
    auto* orphan = new TLabel(nullptr, "Orphan");
    orphan->SetParent(form);
    form->SimulateMouseDown(TMouseButton::mbLeft, 0, 0, 0);
    delete form; // under ASan: the orphan is freed once, the owned label only detached
    EXPECT_EQ(owned->Parent(), nullptr);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    owned->Invalidate(); // no parent: nothing to paint
    delete owner;
}

} // namespace
