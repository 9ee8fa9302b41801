// Number formatting and parsing: the texts peers and files receive never depend on the process
// locale, and 32-bit readings print the way they did on the Windows station.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <limits>
#include <random>

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

// The C library's text, byte for byte, for every conversion the program uses: random flags, widths,
// precisions and values, float ties and specials included.
std::string Reference(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Reference(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return std::string(text, static_cast<size_t>(n));
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
TEST(FormatPrintf, WritesWhatTheCLibraryWrites) {
    std::mt19937_64 random(18);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    const double floats[] = {0.0,
                             -0.0,
                             0.125,
                             2.5,
                             -2.5,
                             0.05,
                             1e-7,
                             29.9100001,
                             -40.04999,
                             1e22,
                             123456.5,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             -std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::denorm_min()};
    const long long integers[] = {0, 1, -1, 7, 42, -273, 2147483647, -2147483648LL, 9223372036854775807LL};
    for (int i = 0; i < 20000; ++i) {
        std::string spec = "%";
        for (const char* flag : {"-", "+", " ", "0"})
            if (pick(4) == 0) spec += flag;
        if (pick(2) == 0) spec += std::to_string(pick(14));
        if (pick(2) == 0) spec += "." + (pick(5) == 0 ? std::string() : std::to_string(pick(12)));
        std::string format = "<" + spec;
        SCOPED_TRACE(format);
        switch (pick(8)) {
        case 0:
        case 1: {
            double v = pick(3) == 0
                           ? floats[pick(std::size(floats))]
                           : static_cast<double>(static_cast<int64_t>(random() % 2000001) - 1000000) /
                                 static_cast<double>(1 << pick(16));
            format += pick(4) == 0 ? "F>" : "f>";
            EXPECT_EQ(Format(format.c_str(), v), Reference(format.c_str(), v));
            float single = static_cast<float>(v);
            EXPECT_EQ(Format(format.c_str(), single), Reference(format.c_str(), single));
            break;
        }
        case 2: {
            int v = static_cast<int>(integers[pick(8)]);
            format += "d>";
            EXPECT_EQ(Format(format.c_str(), v), Reference(format.c_str(), v));
            break;
        }
        case 3: {
            long long v = integers[pick(std::size(integers))];
            format += "lld>";
            EXPECT_EQ(Format(format.c_str(), v), Reference(format.c_str(), v));
            break;
        }
        case 4: {
            unsigned v = static_cast<unsigned>(random());
            format += "u>";
            EXPECT_EQ(Format(format.c_str(), v), Reference(format.c_str(), v));
            break;
        }
        case 5: {
            unsigned long v = pick(3) == 0 ? 0 : static_cast<unsigned long>(random() >> pick(64));
            format += pick(2) == 0 ? "lx>" : "lX>";
            EXPECT_EQ(Format(format.c_str(), v), Reference(format.c_str(), v));
            break;
        }
        case 6: {
            const char* v = pick(2) == 0 ? "" : "Outdoor";
            format += "s>";
            EXPECT_EQ(Format(format.c_str(), v), Reference(format.c_str(), v));
            break;
        }
        default: {
            size_t v = static_cast<size_t>(random() % 100000);
            format += "zu %c %%>";
            EXPECT_EQ(Format(format.c_str(), v, 'x'), Reference(format.c_str(), v, 'x'));
        }
        }
    }
    // What it leaves to the C library comes out the same all the same.
    EXPECT_EQ(Format("%#x %e %g %*d %.3s %hd", 255u, 0.5, 1e-5, 4, 7, "abcdef", static_cast<short>(-2)),
              "0xff 5.000000e-01 1e-05    7 abc -2");
}
#pragma GCC diagnostic pop

TEST(FormatPrintf, CommaLocaleChangesNothing) {
    testsupport::CommaLocaleScope comma;
    if (!comma.Ok()) FAIL() << "no locale with a decimal comma (run scripts/install-deps)";
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
