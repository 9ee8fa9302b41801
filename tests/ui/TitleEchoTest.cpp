// The title on standard output: on a terminal it keeps the last row, redrawn in place at every change and
// never repeated, with the status log scrolling above it; elsewhere (a pipe, a service manager's journal)
// the log alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Strings.h"
#include "support/TerminalScreen.h"
#include "ui/TitleEcho.h"

using korvane_test::TerminalScreen;

namespace {

struct Terminal {
    explicit Terminal(size_t columns, bool terminal = true)
        : screen(columns), echo({[this](const std::string& bytes) {
                                     screen.Feed(bytes);
                                     written += bytes;
                                     ++writes;
                                 },
                                 terminal, [columns] { return static_cast<int>(columns); }}) {}
    TerminalScreen screen;
    std::string written;
    int writes = 0;
    TTitleEcho echo;
};

TEST(TitleEchoTest, OnATerminalTheTitleKeepsTheLastRowAndTheLogScrollsAboveIt) {
    Terminal t(80);
    t.echo.Show("Loading Korvane...");
    t.echo.Line("10:00:00 SERVER: Loading Korvane Build 08.12.2026...");
    t.echo.Show("Running!");
    std::vector<std::string> log = {"10:00:00 SERVER: Loading Korvane Build 08.12.2026..."};
    for (int round = 0; round < 60; ++round) {
        t.echo.Show(platform::Format("12.%d\xB0 - NE 4.%d", round % 10, round % 7));
        ASSERT_EQ(t.screen.Rows().back(),
                  platform::Format("[12.%d\xC2\xB0 - NE 4.%d]", round % 10, round % 7))
            << "every change shows at once";
        if (round % 20 == 19) {
            log.push_back(platform::Format("10:%02d:00 INFO: round %d", round, round));
            t.echo.Line(log.back());
        }
    }
    std::vector<std::string> rows = log;
    rows.push_back("[12.9\xC2\xB0 - NE 4.3]"); // the last round's title, UTF-8
    EXPECT_EQ(t.screen.Rows(), rows);

    const int writes = t.writes;
    t.echo.Show("12.9\xB0 - NE 4.3"); // a round that changed nothing
    EXPECT_EQ(t.writes, writes) << "nothing written";

    t.echo.Show("Saving data...");
    t.echo.Line("10:59:00 SERVER: Saving data...");
    t.echo.End(); // the program ends: the last title stays, the shell's prompt goes below
    rows.back() = "10:59:00 SERVER: Saving data...";
    rows.push_back("[Saving data...]");
    rows.push_back("");
    EXPECT_EQ(t.screen.Rows(), rows);
    t.echo.Line("10:59:01 after the end");
    EXPECT_EQ(t.screen.Rows().end()[-2], "10:59:01 after the end");
    EXPECT_EQ(t.screen.UnknownSequences(), 0);
}

TEST(TitleEchoTest, ATitleWiderThanTheTerminalIsCutSoThatItsRedrawsLeaveNoRowBehind) {
    Terminal t(20);
    t.echo.Show("Waiting for the 1-Wire adapter...");
    t.echo.Line("a log line longer than the terminal is wide");
    t.echo.Show("Waiting for the 1-Wire adapter.");
    t.echo.Show("12.3\xB0 - NE 14.5 and more"); // the degree sign: one column, two bytes
    EXPECT_EQ(t.screen.Rows(), (std::vector<std::string>{"a log line longer th", "an the terminal is w",
                                                         "ide", "[12.3\xC2\xB0 - NE 14.5 an"}));
}

TEST(TitleEchoTest, ElsewhereStandardOutputCarriesTheLogAloneAsPlainLines) {
    Terminal t(80, false);
    t.echo.Show("Loading Korvane...");
    t.echo.Line("10:00:00 first");
    t.echo.Show("12.3\xB0 - NE 4.5");
    t.echo.Line("10:00:01 second");
    t.echo.End();
    EXPECT_EQ(t.written, "10:00:00 first\n10:00:01 second\n");
}

} // namespace
