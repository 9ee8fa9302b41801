// The title on standard output: program states at once, readings only when they moved and at most
// once a minute.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "ui/TitleEcho.h"

namespace {

class TitleEchoTest : public ::testing::Test {
protected:
    void SetUp() override { old_ = platform::Clock::Install(clock_); }
    void TearDown() override { platform::Clock::Install(old_); }

    std::shared_ptr<platform::SimulatedClock> clock_ = std::make_shared<platform::SimulatedClock>();
    std::shared_ptr<platform::Clock> old_;
    std::vector<std::string> lines_;
    TTitleEcho echo_{[this](const std::string& title) { lines_.push_back(title); }};
};

TEST_F(TitleEchoTest, StatesShowAtOnceReadingsAtMostOnceAMinute) {
    echo_.Show("Loading Korvane...");
    echo_.Show("Running!");
    echo_.Show("12.3\xB0 - NE 4.5"); // the first reading after a state
    // A reading round every 1.4 s for a minute, the wind moving in more than its last digit.
    for (int i = 0; i < 43; ++i) {
        clock_->Advance(1400);
        echo_.Show("12.3\xB0 - NE " + std::to_string(3 + i % 5) + ".5");
    }
    EXPECT_EQ(lines_, (std::vector<std::string>{"Loading Korvane...", "Running!", "12.3\xB0 - NE 4.5",
                                                "12.3\xB0 - NE 5.5"}));
    // After a state the next reading shows at once again.
    echo_.Show("Saving data...");
    echo_.Show("12.3\xB0 - NE 6.5");
    EXPECT_EQ(lines_.size(), 6u);
    EXPECT_EQ(lines_.back(), "12.3\xB0 - NE 6.5");
}

TEST_F(TitleEchoTest, AChangeInTheLastDigitAloneNeverShows) {
    echo_.Show("12.3\xB0 - NE 4.5");
    clock_->Advance(10 * 60000);
    echo_.Show("12.3\xB0 - NE 4.6");
    echo_.Show("12.3\xB0 - NE 4.5");
    EXPECT_EQ(lines_.size(), 1u);
    // The temperature's tenths, the compass point or a longer number are more than the last digit.
    echo_.Show("12.4\xB0 - NE 4.5");
    clock_->Advance(60000);
    echo_.Show("12.4\xB0 - N 4.5");
    clock_->Advance(60000);
    echo_.Show("12.4\xB0 - N 14.5");
    EXPECT_EQ(lines_, (std::vector<std::string>{"12.3\xB0 - NE 4.5", "12.4\xB0 - NE 4.5", "12.4\xB0 - N 4.5",
                                                "12.4\xB0 - N 14.5"}));
}

} // namespace
