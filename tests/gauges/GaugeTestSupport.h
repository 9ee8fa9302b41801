#pragma once
// Shared set-up of the gauge tests: a simulated clock at a fixed local time (UTC), the flash list in
// manual mode and emptied around each test, and a clean event loop.
#include <gtest/gtest.h>

#include <memory>

#include "gauges/AbFlashT.h"
#include "platform/EventLoop.h"
#include "platform/controls/Form.h"
#include "platform/graphics/Font.h"
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

// A white form of the given size, drawn in the fixed test font, for the gauges placed on it.
class FormFixture : public GaugeFixture {
protected:
    FormFixture(int width, int height) : width_(width), height_(height) {}
    void SetUp() override {
        GaugeFixture::SetUp();
        platform::gfx::TFont::UseTestFont(true);
        form = std::make_unique<platform::TForm>();
        form->SetBounds(0, 0, width_, height_);
        form->SetColor(platform::gfx::clWhite);
    }
    void TearDown() override {
        form.reset();
        platform::gfx::TFont::UseTestFont(false);
        GaugeFixture::TearDown();
    }
    // A gauge of the form (which frees it) at the given place.
    template <class G> G& Place(int left = 10, int top = 10) {
        auto* gauge = new G(form.get());
        gauge->SetLeft(left);
        gauge->SetTop(top);
        return *gauge;
    }
    // What the form shows now, painted whole.
    platform::gfx::Bitmap Picture() {
        platform::gfx::Bitmap b(form->Width(), form->Height());
        form->PaintTo(b);
        return b;
    }

    std::unique_ptr<platform::TForm> form;

private:
    int width_, height_;
};

} // namespace gaugetest
