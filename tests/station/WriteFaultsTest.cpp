// The demo station under real disk faults while it runs: a full disk, a read-only SENSORS.INI, files
// and folders deleted behind its back. It loses no role, high, low or rain total, tells each failure
// once, and its data files go on where they can.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "onewire/DS1820.h"
#include "onewire/SensorTables.h"
#include "platform/FileProblems.h"
#include "platform/Strings.h"
#include "platform/tmex/sim/DS18S20.h"
#include "platform/tmex/sim/DemoNet.h"
#include "support/DiskFaults.h"
#include "support/StationFixture.h"
#include "tests/station/KeptState.h"
#include "tests/station/StationNet.h"

namespace {

using korvane_test::DiskKind;
using korvane_test::FullDisk;
using korvane_test::ReadOnlyFile;
using station_test::ExpectKept;
using station_test::KeptState;
using station_test::ReadKeptState;

constexpr uint32_t kMinuteMs = 60000;

class WriteFaultsTest : public korvane_test::StationFixture {
protected:
    std::string FolderBase() const override { return "/tmp"; } // faults of a real disk
    void TearDown() override {
        if (disk_) disk_->Free();
        readOnly_.reset();
        StationFixture::TearDown(); // empties the folder; a file system mounted on it stays
        disk_.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    void StartDemo() {
        Write("korvane.ini", "[Weather]\r\nPortNum=1\r\nPortType=64\r\nLogInterval=10\r\nLogEnabled=1\r\n"
                             "SummaryEnabled=1\r\nSummaryInterval=10\r\nNowEnabled=1\r\n");
        Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
        Start();
        // Every problem the platform tells goes to the log as the station has it, and is kept here too.
        platform::SetProblemReporter([this](const std::string& text) {
            told_.push_back(text);
            form_->LogStatus("SERVER: " + text);
        });
        Run(1100);
        ASSERT_TRUE(SessionRunning);
    }

    void Run(uint32_t ms) { platform::EventLoop::Get().RunFor(ms); }

    int Told(const std::string& part) const {
        int n = 0;
        for (const auto& line : told_)
            n += line.find(part) != std::string::npos;
        return n;
    }
    // Each file's failure at most once.
    void ExpectEachFailureToldOnce() const {
        std::map<std::string, int> perFile;
        for (const auto& line : told_)
            if (line.rfind("Cannot write ", 0) == 0) ++perFile[line.substr(0, line.find(": "))];
        for (const auto& [file, n] : perFile)
            EXPECT_EQ(n, 1) << file;
    }

    // Ends the station as a crash would (no saving), drops what the process holds of its files and
    // starts it again: it must find on disk what the running station held, and every sensor.
    void RestartAndExpectAllKept() {
        const KeptState held = ReadKeptState(Path("SENSORS.INI"));
        form_->CleanupSensors();
        form_.reset();
        platform::EventLoop::Get().Reset();
        platform::TIniFile::FlushCache();
        ExpectKept(held, ReadKeptState(Path("SENSORS.INI")), true, "on disk",
                   clock_->UnixTimeMs() / 1000 - 61);
        Start();
        Run(1100);
        ASSERT_TRUE(SessionRunning);
        EXPECT_TRUE(SensorSet().WindPresent && SensorSet().RainPresent && SensorSet().BarometerPresent);
        EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 7);
        EXPECT_EQ(SensorSet().HumiditySensors.Count(), 1);
        EXPECT_EQ(CountLog("WARNING: Missing"), 0);
    }

    std::unique_ptr<FullDisk> disk_;
    std::unique_ptr<ReadOnlyFile> readOnly_;
    std::vector<std::string> told_;
};

enum class Fault { FullSmallFileSystem, FullBySizeLimit, ReadOnlySensorsIni };

class StationFaultTest : public WriteFaultsTest, public ::testing::WithParamInterface<Fault> {
protected:
    void SetUp() override {
        WriteFaultsTest::SetUp();
        if (GetParam() != Fault::ReadOnlySensorsIni)
            disk_ = std::make_unique<FullDisk>(folder_, GetParam() == Fault::FullSmallFileSystem
                                                            ? DiskKind::SmallFileSystem
                                                            : DiskKind::SizeLimit);
    }
    void Break() {
        if (disk_)
            disk_->Fill();
        else
            readOnly_ = std::make_unique<ReadOnlyFile>(Path("SENSORS.INI"));
    }
    void Mend() {
        if (disk_) disk_->Free();
        readOnly_.reset();
    }
};

TEST_P(StationFaultTest, NothingIsLostAndEachFileTellsItsFailureOnce) {
    StartDemo();
    Run(10 * kMinuteMs);
    const std::string onDisk = Read("SENSORS.INI");
    Break();
    // Highs and lows move, the hourly save and the data logs come due, all against the fault.
    Run(130 * kMinuteMs);
    EXPECT_EQ(Read("SENSORS.INI"), onDisk) << "the old file stays whole";
    EXPECT_EQ(Told("Cannot write " + Path("SENSORS.INI") + ": "), 1);
    ExpectEachFailureToldOnce();
    EXPECT_EQ(Told("written again"), 0);

    Mend();
    Run(10 * kMinuteMs);
    EXPECT_EQ(Told(Path("SENSORS.INI") + " is written again"), 1);
    ExpectEachFailureToldOnce();
    // The data log's records of the whole outage were kept and are on disk in order: one every ten
    // minutes from 14:10 to 16:30, none missing.
    const std::string log = Read("DATA/122026.TXT");
    std::vector<std::string> times;
    for (size_t at = log.find("\n06.12.2026\t"); at != std::string::npos;
         at = log.find("\n06.12.2026\t", at + 1))
        times.push_back(log.substr(at + 12, 5));
    ASSERT_EQ(times.size(), 15u) << log;
    for (size_t i = 0; i < times.size(); ++i) {
        int minutes = 14 * 60 + 10 + 10 * static_cast<int>(i);
        EXPECT_EQ(times[i], platform::Format("%02d:%02d", minutes / 60, minutes % 60)) << log;
    }
    // (A small file system may still take a record into the last page of its file.)
    if (GetParam() == Fault::FullBySizeLimit) {
        EXPECT_EQ(Told("Keeping the data-log records in memory"), 1);
    }
    EXPECT_EQ(Told("data-log records kept in memory while the disk refused them"),
              Told("Keeping the data-log"));
    RestartAndExpectAllKept();
}

INSTANTIATE_TEST_SUITE_P(Faults, StationFaultTest,
                         ::testing::Values(Fault::FullSmallFileSystem, Fault::FullBySizeLimit,
                                           Fault::ReadOnlySensorsIni),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                             return info.param == Fault::FullSmallFileSystem ? "FullSmallFileSystem"
                                    : info.param == Fault::FullBySizeLimit   ? "FullBySizeLimit"
                                                                             : "ReadOnlySensorsIni";
                         });

TEST_F(WriteFaultsTest, SensorsIniDeletedWhileRunningComesBackWhole) {
    StartDemo();
    Run(5 * kMinuteMs);
    const KeptState held = ReadKeptState(Path("SENSORS.INI"));
    std::filesystem::remove(Path("SENSORS.INI"));
    Run(2 * kMinuteMs);
    ASSERT_TRUE(std::filesystem::exists(Path("SENSORS.INI")));
    platform::TIniFile::FlushCache();
    ExpectKept(held, ReadKeptState(Path("SENSORS.INI")), false, "written back");
    std::string text = Read("SENSORS.INI");
    int types = 0;
    for (size_t at = text.find("Type="); at != std::string::npos; at = text.find("Type=", at + 1))
        ++types;
    EXPECT_EQ(types, 18);
    RestartAndExpectAllKept();
}

TEST_F(WriteFaultsTest, DataFolderDeletedWhileRunningIsCreatedAgainByTheNextRecord) {
    StartDemo();
    Run(15 * kMinuteMs);
    std::filesystem::remove_all(Path("DATA"));
    Run(15 * kMinuteMs);
    EXPECT_EQ(Told("Created DATA again for LOG output."), 1);
    EXPECT_EQ(Told("Cannot write"), 0);
    EXPECT_NE(Read("DATA/122026.TXT").find("\t14:30\t"), std::string::npos) << Read("DATA/122026.TXT");
    EXPECT_NE(Read("DATA/Outdoor-122026.TXT").find("\t14:30\t"), std::string::npos);
    EXPECT_FALSE(Read("DATA/NOW.TXT").empty());
}

class NeverReadThermometerTest : public station_test::StationNetTest {};

TEST_F(NeverReadThermometerTest, LogsNothingRatherThanAValueNeverMeasured) {
    Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\nLogInterval=10\r\nLogEnabled=1\r\n");
    auto& unread = net->Add<station_test::sim::DS18S20>(net->Trunk(), 0x501);
    unread.InjectCrcErrors(1 << 30);
    AddThermometer(0x502);
    StartStation();
    ASSERT_EQ(SensorSet().DS1820Sensors.Count(), 2);
    Run(65 * kMinuteMs); // data records every ten minutes, the hourly save at 15:00
    const std::string unreadName = SensorSet().DS1820Sensors[0]->Rom[0] == 0x10
                                       ? SensorSet().DS1820Sensors[0]->Description
                                       : SensorSet().DS1820Sensors[1]->Description;
    const std::string readName = SensorSet().DS1820Sensors[0]->Rom[0] == 0x10
                                     ? SensorSet().DS1820Sensors[1]->Description
                                     : SensorSet().DS1820Sensors[0]->Description;
    EXPECT_FALSE(std::filesystem::exists(Path("DATA/" + unreadName + "-122026.TXT")));
    EXPECT_FALSE(Read("DATA/" + readName + "-122026.TXT").empty());
    EXPECT_FALSE(platform::TIniFile(Path("SENSORS.INI")).ValueExists(unreadName, "current_temp"));
}

} // namespace
