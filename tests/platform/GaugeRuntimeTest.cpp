// Runtime helpers the gauges draw and save with: number pictures with the library's rounding, the
// saturating float-to-integer conversions, date-time formatting that survives garbage from files, and
// typed files with I/O codes and whole-file replacement.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <limits>

#include "platform/DateTime.h"
#include "platform/FloatFormat.h"
#include "platform/Numeric.h"
#include "platform/TypedFile.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace platform;

namespace {

TEST(GaugeFormatFloat, PicturesRoundHalfAwayFromZeroOnTheDecimalDigits) {
    struct Case {
        const char* format;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {"0.0", 0.25, "0.3"}, // printf would give 0.2
        {"0", 2.5, "3"},
        {"0", -2.5, "-3"},
        {"0.0", 0.35, "0.3"}, // 0.34999999999999997...
        {"0.0", 0.45, "0.5"},
        {"##0.0", 5, "5.0"},
        {"##0.0", 99.96, "100.0"},
        {"##0", 0.4, "0"},
        {"#.##", 0.5, ".5"},
        {"000", 5, "005"},
        {"#,##0", 1234567, "1,234,567"},
        {"0.0#", 1.5, "1.5"},
        {"0.0#", 1.255, "1.25"}, // 1.25499999...
        {"0.##", 1, "1"},
        {"0.0", -0.04, "-0.0"}, // the library keeps the minus
        {"0.0 'mm'", 1.5, "1.5 mm"},
        {"##0.0\xB0", 21.5f, "21.5\xB0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatFloat(c.format, c.value), c.text) << c.format << " of " << c.value;
}

TEST(GaugeFormatFloat, SectionsAndScientificForms) {
    EXPECT_EQ(FormatFloat("##0.0\xB0;-##0.0\xB0", -3.25), "-3.3\xB0");
    EXPECT_EQ(FormatFloat("0.0;(0.0);zero", -1.5), "(1.5)");
    EXPECT_EQ(FormatFloat("0.0;(0.0);zero", 0), "zero");
    EXPECT_EQ(FormatFloat("0.0;;zero", -1), "-1.0"); // an empty section falls back to the first
    EXPECT_EQ(FormatFloat("0e-0", 1000), "1e3");
    EXPECT_EQ(FormatFloat("0e-0", 0.001), "1e-3");
    EXPECT_EQ(FormatFloat("0.00E+00", 12345), "1.23E+04");
    EXPECT_EQ(FormatFloat("0.00E+00", 0.00012355), "1.24E-04");
    EXPECT_EQ(FormatFloat("0.0E+0", 9.96), "1.0E+1");
    EXPECT_EQ(FormatFloat("0.0", std::nan("")), "NAN");
    EXPECT_EQ(FormatFloat("0.0", -INFINITY), "-INF");
}

TEST(GaugeNumeric, RoundIsHalfToEvenAndSaturates) {
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(3.5), 4);
    EXPECT_EQ(Round(-2.5), -2);
    EXPECT_EQ(Round(std::nan("")), 0);
    EXPECT_EQ(Round(1e20), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(Round(-1e20), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(Round(2147483647.4), 2147483647);
    EXPECT_EQ(Trunc(-2.7), -2);
    EXPECT_EQ(Round64(1e300), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(SaturateInt16(40000), 32767);
    EXPECT_EQ(SaturateInt16(-40000), -32768);
}

TEST(GaugeDateTime, GarbageFromFilesFormatsAsTheDateTimeZero) {
    EXPECT_EQ(DateToStr(38169.625), "01.07.2004");
    EXPECT_EQ(TimeToStr(38169.625), "15:00:00");
    EXPECT_EQ(DateTimeToStr(38169.0), "01.07.2004");
    for (double bad : {std::nan(""), double(INFINITY), 1e300, -1e300, 3e6, -700000.0}) {
        EXPECT_EQ(FormatDateTime("dd.MM.yyyy hh:nn:ss", bad), "30.12.1899 00:00:00") << bad;
        EXPECT_FALSE(IsValidDateTime(bad));
    }
    EXPECT_TRUE(IsValidDateTime(2958465.5)); // 9999-12-31 12:00
    EXPECT_EQ(DateToStr(2958465.5), "31.12.9999");
}

TEST(GaugeTypedFile, OpenErrorsComeBackAsCodes) {
    testsupport::ScratchDir dir;
    TTypedFile file(24);
    EXPECT_EQ(file.Reset("missing.dat"), ioFileNotFound);
    EXPECT_EQ(file.Reset("nofolder/missing.dat"), ioPathNotFound);
    EXPECT_EQ(file.Read(nullptr), ioFileNotOpen);
    testsupport::WriteRaw("five.dat", std::string(24 * 5 + 7, 'x'));
    EXPECT_EQ(file.Reset("FIVE.DAT"), 0); // station names ignore case
    EXPECT_EQ(file.FileSize(), 5);
    char buffer[24 * 6];
    EXPECT_EQ(file.ReadRecords(buffer, 6), ioReadPastEnd);
    EXPECT_EQ(file.Close(), 0);
}

TEST(GaugeTypedFile, AFailedReplacementKeepsTheOldContent) {
    testsupport::ScratchDir dir;
    ASSERT_EQ(ReplaceFileContents("history.dat", "old content", 11), 0);
    EXPECT_EQ(testsupport::ReadRaw("history.dat"), "old content");
    // A real short write: the file size limit stops the write half-way.
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string big(1000, 'n');
    int code = ReplaceFileContents("history.dat", big.data(), big.size());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(code, ioWriteError);
    EXPECT_EQ(testsupport::ReadRaw("history.dat"), "old content");
    EXPECT_EQ(dir.Listing(), "history.dat") << "the temporary file is removed";
    EXPECT_EQ(ReplaceFileContents("nofolder/history.dat", "x", 1), ioPathNotFound);
}

} // namespace
