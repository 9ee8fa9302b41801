// The title on standard output: every state and every change of a reading at once, never a repeat.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/TitleEcho.h"

namespace {

TEST(TitleEchoTest, EveryChangeShowsAtOnceAndNoRepeat) {
    std::vector<std::string> lines;
    TTitleEcho echo([&](const std::string& title) { lines.push_back(title); });
    echo.Show("Loading Korvane...");
    echo.Show("Running!");
    echo.Show("12.3\xB0 - NE 4.5");
    echo.Show("12.3\xB0 - NE 4.5"); // a round that changed nothing
    echo.Show("12.3\xB0 - NE 4.6"); // the wind moved by its last digit, a second later
    echo.Show("12.3\xB0 - NE 13.6");
    echo.Show("12.3\xB0 - NE 13.6");
    echo.Show("Saving data...");
    EXPECT_EQ(lines, (std::vector<std::string>{"Loading Korvane...", "Running!", "12.3\xB0 - NE 4.5",
                                               "12.3\xB0 - NE 4.6", "12.3\xB0 - NE 13.6", "Saving data..."}));
}

} // namespace
