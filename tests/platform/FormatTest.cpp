// Number formatting and parsing: the texts peers and files receive never depend on the process
// locale, and 32-bit readings print the way they did on the Windows station.
#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/Strings.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace platform;

namespace {

TEST(FormatFloatToStr, GeneralFormatWithFifteenDigits) {
    EXPECT_EQ(FloatToStr(21.5), "21.5");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(0.1 + 0.2), "0.3");
    EXPECT_EQ(FloatToStr(-21.5), "-21.5");
    EXPECT_EQ(FloatToStr(0), "0");
    EXPECT_EQ(FloatToStr(100), "100");
    EXPECT_EQ(FloatToStr(-3), "-3");
    EXPECT_EQ(FloatToStr(0.0001), "0.0001");
    EXPECT_EQ(FloatToStr(0.00012345), "0.00012345");
    EXPECT_EQ(FloatToStr(999999999999999.0), "999999999999999");
}

TEST(FormatFloatToStr, ExponentFormOutsideThePlainRange) {
    EXPECT_EQ(FloatToStr(1E-5), "1E-5");
    EXPECT_EQ(FloatToStr(-1.5E-5), "-1.5E-5");
    EXPECT_EQ(FloatToStr(1.5E20), "1.5E20");
    EXPECT_EQ(FloatToStr(1E15), "1E15");
    EXPECT_EQ(FloatToStr(-2.5E-7), "-2.5E-7");
    EXPECT_EQ(FloatToStr(123456789012345678.0), "1.23456789012346E17");
}

TEST(FormatFloatToStr, SingleFloatsShowTheirWidenedDigits) {
    EXPECT_EQ(FloatToStr(21.1f), "21.1000003814697");
    EXPECT_EQ(FloatToStr(0.1f), "0.100000001490116");
    EXPECT_EQ(FloatToStr(-7.2f), "-7.19999980926514");
    EXPECT_EQ(FloatToStr(21.5f), "21.5");
}

TEST(FormatPrintf, WidenedSinglesRoundLikeTheStation) {
    float reading = 0.45f; // 0.449999988...
    EXPECT_EQ(Format("%2.1f", reading), "0.4");
    EXPECT_EQ(Format("%2.1f", 0.45), "0.5");
    EXPECT_EQ(Format("%3.3f %2.4f %d", 0.12f, 29.91f, 235), "0.120 29.9100 235");
    EXPECT_EQ(Format("%2.1f", -0.04f), "-0.0");
}

TEST(FormatPrintf, LongResultsAreNotCut) {
    std::string description(1000, 'x');
    std::string line = Format("INFO: Added %s (%d)", description.c_str(), 7);
    EXPECT_EQ(line.size(), 1016u);
    EXPECT_EQ(line.substr(line.size() - 4), " (7)");
}

TEST(FormatPrintf, CommaLocaleChangesNothing) {
    testsupport::CommaLocaleScope comma;
    if (!comma.Ok()) GTEST_SKIP() << "no locale with a decimal comma (run scripts/install-deps)";
    EXPECT_EQ(Format("%.1f", 21.5), "21.5");
    EXPECT_EQ(Format("%2.1f %3.3f", 7.25f, 0.45f), "7.2 0.450");
    EXPECT_EQ(FloatToStr(21.5), "21.5");
    EXPECT_EQ(FloatToStr(1.5E20), "1.5E20");
    EXPECT_DOUBLE_EQ(StrToFloatDef("47.25", 0), 47.25);
    EXPECT_DOUBLE_EQ(StrToFloatDef("47,25", -1), -1);
    EXPECT_DOUBLE_EQ(StrToFloat("-8.5"), -8.5);
    // The process locale itself is left as the test set it.
    EXPECT_EQ(std::localeconv()->decimal_point[0], ',');
}

TEST(FormatParse, StrToIntDefTakesWholeIntegersOnly) {
    EXPECT_EQ(StrToIntDef("12", -1), 12);
    EXPECT_EQ(StrToIntDef(" -12 ", 0), -12);
    EXPECT_EQ(StrToIntDef("+7", 0), 7);
    EXPECT_EQ(StrToIntDef("$1F", 0), 31);
    EXPECT_EQ(StrToIntDef("0x1f", 0), 31);
    EXPECT_EQ(StrToIntDef("0X1F", 0), 31);
    EXPECT_EQ(StrToIntDef("-$10", 0), -16);
    EXPECT_EQ(StrToIntDef("$FFFFFFFF", 0), -1);
    EXPECT_EQ(StrToIntDef("2147483647", 0), 2147483647);
    EXPECT_EQ(StrToIntDef("-2147483648", 0), INT32_MIN);
    for (const char* bad : {"", " ", "12abc", "abc", "1 2", "2147483648", "-2147483649", "0x", "$", "-",
                            "1.5", "1e3", "$G1", "99999999999999999999"})
        EXPECT_EQ(StrToIntDef(bad, -99), -99) << "'" << bad << "'";
}

TEST(FormatParse, StrictConversionsNameTheText) {
    try {
        StrToInt("x");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
        EXPECT_EQ(e.ClassName(), "EConvertError");
    }
    EXPECT_THROW(StrToFloat("47.5N"), EConvertError);
    EXPECT_THROW(StrToFloat("1e999"), EConvertError);
    EXPECT_DOUBLE_EQ(StrToFloat(" 1.5E3 "), 1500);
}

} // namespace
