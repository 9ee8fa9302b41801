// The title on standard output: on a terminal every state and every change of a reading at once, never
// a repeat; elsewhere (a pipe, a service manager's journal) nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/TitleEcho.h"

namespace {

const std::vector<std::string> kTitles = {
    "Loading Korvane...", "Running!", "12.3\xB0 - NE 4.5",
    "12.3\xB0 - NE 4.5",  // a round that changed nothing
    "12.3\xB0 - NE 4.6",  // the wind moved by its last digit, a second later
    "12.3\xB0 - NE 13.6", "12.3\xB0 - NE 13.6", "Saving data..."};

std::vector<std::string> Shown(bool terminal) {
    std::vector<std::string> lines;
    TTitleEcho echo([&](const std::string& title) { lines.push_back(title); }, terminal);
    for (const std::string& title : kTitles)
        echo.Show(title);
    return lines;
}

TEST(TitleEchoTest, OnATerminalEveryChangeShowsAtOnceAndNoRepeatElsewhereNothing) {
    EXPECT_EQ(Shown(true), (std::vector<std::string>{"Loading Korvane...", "Running!", "12.3\xB0 - NE 4.5",
                                                     "12.3\xB0 - NE 4.6", "12.3\xB0 - NE 13.6", "Saving data..."}));
    EXPECT_EQ(Shown(false), std::vector<std::string>{});
}

} // namespace
