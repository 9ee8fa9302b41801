// The one catch-and-log helper: which text a caught exception is told with, and that work which
// returns is told nothing.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/CatchAndLog.h"

namespace {

using platform::CatchAndLog;
using platform::ErrorTexts;

TEST(CatchAndLog, EachKindOfExceptionIsToldWithItsText) {
    std::vector<std::string> lines;
    auto log = [&](const std::string& line) { lines.push_back(line); };
    const ErrorTexts texts{"X: Error: ", "X: Error"};
    const ErrorTexts bare{"X: Error: ", "X: Error", true};

    EXPECT_TRUE(CatchAndLog(texts, log, [] {}));
    EXPECT_FALSE(CatchAndLog(texts, log, [] { throw std::runtime_error("disk full"); }));
    EXPECT_FALSE(CatchAndLog(texts, log, [] { throw 7; }));
    EXPECT_FALSE(CatchAndLog(texts, log, [] { throw std::runtime_error(""); }));
    EXPECT_FALSE(CatchAndLog(bare, log, [] { throw std::runtime_error(""); }));
    EXPECT_FALSE(CatchAndLog(platform::Named("SERVER: Error logging data"), log,
                             [] { throw std::runtime_error("no room"); }));
    EXPECT_FALSE(
        CatchAndLog("Exception writing to SENSORS.INI!", log, [] { throw std::runtime_error("ignored"); }));
    EXPECT_EQ(lines, (std::vector<std::string>{"X: Error: disk full", "X: Error", "X: Error: ", "X: Error",
                                               "SERVER: Error logging data: no room",
                                               "Exception writing to SENSORS.INI!"}));
}

} // namespace
