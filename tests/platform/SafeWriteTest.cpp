// Writes under real disk faults: a full disk, a read-only file, a folder or file deleted behind the
// program's back. The old file survives a failed rewrite, the INI document in memory survives any
// failure, and each failure reaches the log once.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileProblems.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "support/DiskFaults.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace platform;
using korvane_test::DiskKind;
using testsupport::ReadRaw;
using testsupport::WriteRaw;

namespace {

enum class Fault { FullSmallFileSystem, FullBySizeLimit, ReadOnly };

std::string FaultName(const ::testing::TestParamInfo<Fault>& info) {
    switch (info.param) {
    case Fault::FullSmallFileSystem:
        return "FullSmallFileSystem";
    case Fault::FullBySizeLimit:
        return "FullBySizeLimit";
    case Fault::ReadOnly:
        return "ReadOnly";
    }
    return "";
}

class SafeWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        TIniFile::FlushCache();
        ForgetProblems();
        SetProblemReporter([this](const std::string& text) { told.push_back(text); });
    }
    void TearDown() override {
        SetProblemReporter(nullptr);
        ForgetProblems();
        TIniFile::FlushCache();
    }
    int Told(const std::string& part) const {
        int n = 0;
        for (const auto& line : told)
            if (line.find(part) != std::string::npos) ++n;
        return n;
    }
    testsupport::ScratchDir dir_;
    std::vector<std::string> told;
};

// One fault on `file` in the scratch folder, set and lifted by the test.
class FaultTest : public SafeWriteTest, public ::testing::WithParamInterface<Fault> {
protected:
    void SetUp() override {
        SafeWriteTest::SetUp();
        if (GetParam() != Fault::ReadOnly)
            disk_ = std::make_unique<korvane_test::FullDisk>(
                dir_.Path(),
                GetParam() == Fault::FullSmallFileSystem ? DiskKind::SmallFileSystem : DiskKind::SizeLimit);
    }
    void TearDown() override {
        readOnly_.reset();
        disk_.reset();
        SafeWriteTest::TearDown();
    }
    void Break(const std::string& file) {
        if (disk_)
            disk_->Fill();
        else
            readOnly_ = std::make_unique<korvane_test::ReadOnlyFile>(file);
    }
    void Mend() {
        if (disk_) disk_->Free();
        readOnly_.reset();
    }
    // The folder's entries other than the filler of a full file system.
    std::string Listing() const {
        std::string listing = dir_.Listing();
        for (const std::string filler : {"|filler.bin", "filler.bin"})
            if (auto at = listing.find(filler); at != std::string::npos) listing.erase(at, filler.size());
        return listing;
    }

    std::unique_ptr<korvane_test::FullDisk> disk_;
    std::unique_ptr<korvane_test::ReadOnlyFile> readOnly_;
};

TEST_P(FaultTest, AFailedRewriteOrAppendLeavesTheOldFileAsItWas) {
    const std::string old = "[Rain]\r\nStartCounter=1000\r\n";
    WriteRaw("SENSORS.INI", old);
    WriteRaw("012026.TXT", "\r\n01.01.2026\t10:00\t1.5");
    Break("SENSORS.INI");
    EXPECT_FALSE(WriteWholeFile("SENSORS.INI", "[Rain]\nStartCounter=0\n"));
    EXPECT_EQ(ReadRaw("SENSORS.INI"), old);
    if (GetParam() == Fault::ReadOnly) readOnly_ = std::make_unique<korvane_test::ReadOnlyFile>("012026.TXT");
    // Larger than any slack a full file system keeps at the end of a file's last block.
    EXPECT_FALSE(AppendToFile("012026.TXT", std::string(20000, 'x')));
    EXPECT_EQ(ReadRaw("012026.TXT"), "\r\n01.01.2026\t10:00\t1.5") << "no torn record";
    EXPECT_EQ(Listing(), "012026.TXT|SENSORS.INI") << "no temporary file left";

    Mend();
    EXPECT_TRUE(WriteWholeFile("SENSORS.INI", "[Rain]\nStartCounter=0\n"));
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[Rain]\r\nStartCounter=0\r\n");
    EXPECT_EQ(Listing(), "012026.TXT|SENSORS.INI");
}

TEST_P(FaultTest, TheIniDocumentOutlivesTheFaultAndReachesTheDiskWholeAfterIt) {
    const std::string old = "[28AA000000000001]\r\nType=Temperature\r\nmax_temp=20.5\r\n"
                            "[1DBB000000000002]\r\nType=RainGauge\r\nStartCounter=1000\r\n";
    WriteRaw("SENSORS.INI", old);
    TIniFile sensor("SENSORS.INI");
    TIniFile rain(".\\sensors.ini");
    EXPECT_EQ(sensor.ReadString("28AA000000000001", "Type", ""), "Temperature");
    Break("SENSORS.INI");
    for (int i = 0; i < 5; ++i)
        sensor.WriteFloat("28AA000000000001", "max_temp", 21.5 + i);
    rain.WriteInteger("1DBB000000000002", "MonthCounter", 1040);
    EXPECT_EQ(ReadRaw("SENSORS.INI"), old);
    EXPECT_EQ(rain.ReadFloat("28AA000000000001", "max_temp", 0), 25.5) << "memory holds the truth";
    EXPECT_EQ(sensor.ReadString("1DBB000000000002", "Type", ""), "RainGauge")
        << "not re-read from a cut file";
    EXPECT_EQ(Told("Cannot write"), 1) << "six failed writes, one line";
    EXPECT_EQ(Told("SENSORS.INI"), 1);

    Mend();
    sensor.WriteString("28AA000000000001", "Type", "Temperature"); // unchanged, yet the retry happens
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[28AA000000000001]\r\nType=Temperature\r\nmax_temp=25.5\r\n"
                                      "[1DBB000000000002]\r\nType=RainGauge\r\nStartCounter=1000\r\n"
                                      "MonthCounter=1040\r\n");
    EXPECT_EQ(Told("SENSORS.INI is written again"), 1);
    EXPECT_EQ(told.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest,
                         ::testing::Values(Fault::FullSmallFileSystem, Fault::FullBySizeLimit,
                                           Fault::ReadOnly),
                         FaultName);

TEST_F(SafeWriteTest, ARewriteKeepsPermissionsAndFollowsALink) {
    WriteRaw("real.ini", "[A]\r\nX=1\r\n");
    ::chmod("real.ini", 0640);
    std::filesystem::create_symlink("real.ini", "link.ini");
    TIniFile ini("link.ini");
    ini.WriteInteger("A", "X", 2);
    EXPECT_TRUE(std::filesystem::is_symlink("link.ini"));
    EXPECT_EQ(ReadRaw("real.ini"), "[A]\r\nX=2\r\n");
    struct stat st;
    ASSERT_EQ(::stat("real.ini", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir_.Listing(), "link.ini|real.ini");
}

TEST_F(SafeWriteTest, EachFileTellsItsFailureOnceAndItsRecoveryOnce) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(AppendToFile("DATA\\012026.TXT", "\r\nrecord"));
        EXPECT_FALSE(WriteWholeFile("DATA\\NOW.TXT", "now"));
    }
    EXPECT_EQ(told, (std::vector<std::string>{"Cannot write DATA/012026.TXT: No such file or directory",
                                              "Cannot write DATA/NOW.TXT: No such file or directory"}));
    std::filesystem::create_directory("DATA");
    EXPECT_TRUE(AppendToFile("DATA\\012026.TXT", "\r\nrecord"));
    EXPECT_TRUE(AppendToFile("DATA\\012026.TXT", "\r\nrecord"));
    EXPECT_EQ(told.size(), 3u);
    EXPECT_EQ(told.back(), "DATA/012026.TXT is written again");
    EXPECT_EQ(ReadRaw("DATA/012026.TXT"), "\r\nrecord\r\nrecord");
}

TEST_F(SafeWriteTest, AValueThatDoesNotParseIsToldOnceWithTheDefaultUsed) {
    WriteRaw("korvane.ini",
             "[Weather]\r\nCelsius=yes\r\nLogInterval=abc\r\nLatitude=47,5\r\nEmpty=\r\nDay=5\r\n");
    TIniFile ini("korvane.ini");
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(ini.ReadBool("Weather", "Celsius", false));
        EXPECT_EQ(ini.ReadInteger("Weather", "LogInterval", 10), 10);
        EXPECT_EQ(ini.ReadFloat("Weather", "Latitude", 1.5), 1.5);
        EXPECT_EQ(ini.ReadInteger("Weather", "Empty", 3), 3);
        EXPECT_EQ(ini.ReadInteger("Weather", "Day", 0), 5);
    }
    EXPECT_EQ(told, (std::vector<std::string>{
                        "korvane.ini: [Weather] Celsius=yes is not a valid number, using 0",
                        "korvane.ini: [Weather] LogInterval=abc is not a valid number, using 10",
                        "korvane.ini: [Weather] Latitude=47,5 is not a valid number, using 1.5",
                    }));
}

} // namespace
