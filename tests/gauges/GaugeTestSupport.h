#pragma once
// Shared set-up of the gauge tests: a simulated clock at a fixed local time (UTC), the flash list in
// manual mode and emptied around each test, and a clean event loop.
#include <gtest/gtest.h>

#include "gauges/AbFlashT.h"
#include "platform/EventLoop.h"
#include "tests/platform/RuntimeTestSupport.h"

namespace gaugetest {

// 2004-07-01 12:00:00 UTC: the date-time 38169.5.
inline constexpr int64_t kNoonJuly2004 = 1088683200000LL;

class GaugeFixture : public ::testing::Test {
protected:
    GaugeFixture() : zone_("UTC0"), clock_(kNoonJuly2004) {}
    void SetUp() override {
        platform::EventLoop::Get().Reset();
        gauges::ResetFlashTimer();
        gauges::SetFlashManualMode(true);
    }
    void TearDown() override {
        gauges::ResetFlashTimer();
        gauges::SetFlashManualMode(false);
        platform::EventLoop::Get().Reset();
    }
    platform::SimulatedClock& Clock() { return *clock_; }
    // Advances the clock, then runs one pass of the flash list.
    void Tick(uint64_t ms) {
        clock_->Advance(ms);
        gauges::RunFlashPass();
    }

private:
    testsupport::ZoneScope zone_;
    testsupport::SimulatedClockScope clock_;
};

} // namespace gaugetest
