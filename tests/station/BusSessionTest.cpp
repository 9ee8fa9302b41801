// The 1-Wire session belongs to its main window: the bus layer works on the window's session while it
// exists, a new window starts with a fresh one, and a session a window leaves open is ended with it, so
// that the port is free for the next.
#include <gtest/gtest.h>

#include "onewire/Microlan.h"
#include "platform/tmex/Tmex.h"
#include "support/SimNetFixture.h"

namespace {

namespace tmex = platform::tmex;

class BusSessionTest : public korvane_test::SimNetFixture {};

TEST_F(BusSessionTest, TheBusLayerWorksOnTheWindowsSession) {
    EXPECT_EQ(Microlan::InstalledBus(), &form_->BusSession);
    EXPECT_EQ(&Microlan::Bus(), &form_->BusSession);
    ASSERT_TRUE(Microlan::StartSession());
    EXPECT_GT(form_->BusSession.SessionHandle, 0);
    Microlan::EndSession();
}

TEST_F(BusSessionTest, ANewWindowStartsWithAFreshSessionAndFindsThePortFree) {
    ASSERT_TRUE(Microlan::StartSession());
    const tmex::SessionHandle left = Microlan::Bus().SessionHandle;
    Microlan::Bus().UseCelsius = true;
    Microlan::Bus().LastTmexError = "TMEX Error: MicroLan shorted";
    form_.reset();
    EXPECT_EQ(Microlan::InstalledBus(), nullptr);
    EXPECT_NE(tmex::ValidSession(left), 1) << "the session went with its window";

    Start();
    const Microlan::TBusSession& bus = Microlan::Bus();
    EXPECT_EQ(&bus, &form_->BusSession);
    EXPECT_EQ(bus.SessionHandle, -1);
    EXPECT_FALSE(bus.UseCelsius);
    EXPECT_EQ(bus.LastTmexError, "");
    Microlan::Bus().PortType = tmex::kPortTypeSimulated;
    ASSERT_TRUE(Microlan::StartSession()) << "the port is not held by the window that went";
    Microlan::EndSession();
}

} // namespace
