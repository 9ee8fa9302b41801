// The form components' string helpers and the edge-inclusive point test.
#include <gtest/gtest.h>

#include "components/StrUtils.h"
#include "components/VCLUtils.h"

using namespace components;

namespace {

TEST(StrUtils, ReplaceStrReplacesEveryOccurrenceOnce) {
    struct Case {
        const char* s;
        const char* srch;
        const char* replace;
        const char* expected;
    };
    for (Case c : {Case{"a-b-c", "-", "--", "a--b--c"}, Case{"aaa", "aa", "b", "ba"},
                   Case{"x%Tx%T", "%T", "", "xx"}, Case{"abc", "abc", "", ""}, Case{"abc", "d", "e", "abc"},
                   Case{"", "a", "b", ""}, Case{"abc", "", "X", "abc"}}) // an empty search text ends at once
        EXPECT_EQ(ReplaceStr(c.s, c.srch, c.replace), c.expected) << c.s << " / " << c.srch;
}

TEST(StrUtils, ExtractWordCountsRunsBetweenDelimiters) {
    const std::string s = ",,one, two;;three ,";
    const char* delims = ", ;";
    EXPECT_EQ(ExtractWord(1, s, delims), "one");
    EXPECT_EQ(ExtractWord(2, s, delims), "two");
    EXPECT_EQ(ExtractWord(3, s, delims), "three");
    EXPECT_EQ(ExtractWord(4, s, delims), "");
    EXPECT_EQ(ExtractWord(0, s, delims), "");
    EXPECT_EQ(ExtractWord(-1, s, delims), "");
    EXPECT_EQ(ExtractWord(1, "single", delims), "single");
    EXPECT_EQ(ExtractWord(1, ",;, ", delims), "");
    EXPECT_EQ(ExtractWord(2, "a b", ""), ""); // no delimiters: the whole text is one word
    EXPECT_EQ(ExtractWord(1, "a b", ""), "a b");
}

TEST(StrUtils, MakeStrAndDelChars) {
    EXPECT_EQ(MakeStr('-', 3), "---");
    EXPECT_EQ(MakeStr('-', 0), "");
    EXPECT_EQ(MakeStr('-', -5), "");
    EXPECT_EQ(DelChars("1.234.567", '.'), "1234567");
    EXPECT_EQ(DelChars("...", '.'), "");
}

TEST(VCLUtils, PointInRectIncludesAllFourEdges) {
    platform::gfx::TRect r{10, 20, 30, 40};
    for (auto p : {platform::gfx::Point(10, 20), platform::gfx::Point(30, 40), platform::gfx::Point(30, 20),
                   platform::gfx::Point(10, 40), platform::gfx::Point(20, 30)})
        EXPECT_TRUE(PointInRect(p, r)) << p.X << "," << p.Y;
    for (auto p : {platform::gfx::Point(9, 30), platform::gfx::Point(31, 30), platform::gfx::Point(20, 19),
                   platform::gfx::Point(20, 41)})
        EXPECT_FALSE(PointInRect(p, r)) << p.X << "," << p.Y;
}

} // namespace
