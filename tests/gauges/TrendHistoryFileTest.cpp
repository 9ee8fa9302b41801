// The trend history files, byte for byte against hand-written records: saving, loading onto an empty
// or a filled list, partial tails, appending parts, raw time bits, read-only files and a save that
// fails half-way.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <memory>

#include "gauges/AbTrend.h"
#include "platform/TypedFile.h"
#include "tests/gauges/GaugeTestSupport.h"

using namespace gauges;
using testsupport::ReadRaw;
using testsupport::WriteRaw;

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b)
        s += static_cast<char>(v);
    return s;
}

// 2004-07-01 12:00:00 = 38169.5; digits 175, 0, -1, 1000, 32767, -32768, 500, 5.
const std::string R0 = Bytes({0x00, 0x00, 0x00, 0x00, 0x30, 0xa3, 0xe2, 0x40, 0xaf, 0x00, 0x00, 0x00,
                              0xff, 0xff, 0xe8, 0x03, 0xff, 0x7f, 0x00, 0x80, 0xf4, 0x01, 0x05, 0x00});
// 2004-07-01 15:00:00 = 38169.625; digits 176, 1, -2, 999, 0, 0, 0, 0.
const std::string R1 = Bytes({0x00, 0x00, 0x00, 0x00, 0x34, 0xa3, 0xe2, 0x40, 0xb0, 0x00, 0x01, 0x00,
                              0xfe, 0xff, 0xe7, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
// R0 as a separator: time 0.0, R0's digits.
const std::string S0 = std::string(8, '\0') + R0.substr(8);

class TrendHistoryFile : public gaugetest::GaugeFixture {
protected:
    void SetUp() override {
        GaugeFixture::SetUp();
        trend = std::make_unique<TAbTrend>(nullptr);
        trend->Loaded();
        trend->SetStartRecording(false);
    }
    void TearDown() override {
        trend.reset();
        GaugeFixture::TearDown();
    }
    std::string Saved() {
        EXPECT_EQ(trend->SaveToFile("out.dat"), 0);
        return ReadRaw("out.dat");
    }

    testsupport::ScratchDir dir;
    std::unique_ptr<TAbTrend> trend;
};

TEST_F(TrendHistoryFile, RecordsBuiltInMemorySaveToTheHandWrittenBytes) {
    const int16_t d0[kTrendChannels] = {175, 0, -1, 1000, 32767, -32768, 500, 5};
    const int16_t d1[kTrendChannels] = {176, 1, -2, 999, 0, 0, 0, 0};
    ASSERT_TRUE(trend->AddDigit(d0));
    Clock().Advance(3 * 3600 * 1000);
    ASSERT_TRUE(trend->AddDigit(d1));
    EXPECT_EQ(Saved(), R0 + R1);
}

TEST_F(TrendHistoryFile, AHandWrittenFileLoadsAndSavesUnchanged) {
    WriteRaw("VeskTemp.dat", R0 + R1 + R0 + std::string(7, '\x55')); // a partial record at the end
    EXPECT_EQ(trend->LoadFromFileEx("VeskTemp.dat", true), 0);
    ASSERT_EQ(trend->RecordCount(), 3);
    TDateTime t;
    int16_t d[kTrendChannels];
    ASSERT_TRUE(trend->ReadDigit(1, t, d));
    EXPECT_EQ(t, 38169.625);
    EXPECT_EQ(d[0], 176);
    EXPECT_EQ(d[2], -2);
    EXPECT_EQ(trend->RecordInfo().TotalRecords, 3u);
    EXPECT_FALSE(trend->StartRecording()) << "loading stops the recording";
    EXPECT_EQ(Saved(), R0 + R1 + R0) << "the partial tail is not written back";
}

TEST_F(TrendHistoryFile, RawTimeBitsSurviveARoundTrip) {
    std::string nan = R0, minusZero = R1;
    nan.replace(0, 8, Bytes({0x23, 0x01, 0x00, 0x00, 0x00, 0x00, 0xf8, 0x7f})); // a NaN with a payload
    minusZero.replace(0, 8, Bytes({0, 0, 0, 0, 0, 0, 0, 0x80}));
    WriteRaw("odd.dat", nan + minusZero);
    ASSERT_EQ(trend->LoadFromFileEx("odd.dat", true), 0);
    EXPECT_EQ(Saved(), nan + minusZero);
}

TEST_F(TrendHistoryFile, LoadingOntoRecordsMarksTheGapInFrontOfTheNewestOne) {
    WriteRaw("two.dat", R0 + R1);
    ASSERT_EQ(trend->LoadFromFileEx("two.dat", true), 0);
    ASSERT_EQ(trend->LoadFromFile("two.dat"), 0);
    EXPECT_EQ(Saved(), R0 + S0 + S0 + S0 + S0 + S0 + R1 + R0 + R1);
    // A missing file: the separators are inserted all the same, nothing else changes.
    EXPECT_EQ(trend->LoadFromFile("missing.dat"), platform::ioFileNotFound);
    EXPECT_EQ(trend->RecordCount(), 14);
}

TEST_F(TrendHistoryFile, PartsAreAppendedAndASingleRecordIsRefused) {
    WriteRaw("ten.dat", R0 + R1 + R0 + R1 + R0 + R1 + R0 + R1 + R0 + R1);
    ASSERT_EQ(trend->LoadFromFileEx("ten.dat", true), 0);
    EXPECT_EQ(trend->SavePartToFile("ten.dat", 5, 5), -1);
    EXPECT_EQ(ReadRaw("ten.dat").size(), 240u);
    EXPECT_EQ(trend->SavePartToFile("ten.dat", 0, 9), 0);
    EXPECT_EQ(ReadRaw("ten.dat").size(), 480u);
    EXPECT_EQ(trend->SavePartToFile("new.dat", -5, 1), 0);
    EXPECT_EQ(ReadRaw("new.dat"), R0 + R1);
    EXPECT_EQ(trend->SavePartToFile("nofolder/x.dat", 0, 9), platform::ioPathNotFound);
}

TEST_F(TrendHistoryFile, AReadOnlyHistoryLoads) {
    WriteRaw("Veskdpwc.dat", R0 + R1);
    ASSERT_EQ(chmod("Veskdpwc.dat", 0444), 0);
    EXPECT_EQ(trend->LoadFromFileEx("Veskdpwc.dat", true), 0);
    EXPECT_EQ(trend->RecordCount(), 2);
}

TEST_F(TrendHistoryFile, ASaveThatFailsHalfWayKeepsTheOldHistory) {
    WriteRaw("VeskWind.dat", R0 + R1);
    ASSERT_EQ(trend->LoadFromFileEx("VeskWind.dat", true), 0);
    for (int i = 0; i < 20; ++i)
        trend->AddDigit(std::array<int16_t, kTrendChannels>{}.data());
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100; // the 528 bytes stop after 100
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int code = trend->SaveToFile("VeskWind.dat");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(code, platform::ioWriteError);
    EXPECT_EQ(ReadRaw("VeskWind.dat"), R0 + R1);
    EXPECT_EQ(dir.Listing(), "VeskWind.dat");
    EXPECT_EQ(trend->SaveToFile("VeskWind.dat"), 0);
    EXPECT_EQ(ReadRaw("VeskWind.dat").size(), 22 * 24u);
}

} // namespace
