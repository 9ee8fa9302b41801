// The supervisor's minute scheduler and the data files it writes, driven minute by minute on the
// simulated clock (a station without a net; a test that needs a kind of sensor files an object of it).
#include <gtest/gtest.h>

#include "onewire/DS1820.h"
#include "onewire/Humidity.h"
#include "onewire/SensorTables.h"
#include "platform/Strings.h"
#include "support/FiledSensors.h"
#include "support/StationFixture.h"

using korvane_test::File;
using korvane_test::StationFixture;

class SchedulerTest : public StationFixture {
protected:
    TMainForm& StartAt(int year, int month, int day, int hour, int minute, const std::string& ini = {}) {
        if (!ini.empty()) Write("korvane.ini", ini);
        SetLocal(year, month, day, hour, minute, 30);
        TMainForm& form = Start();
        SessionRunning = true;
        SampleCount = 100;
        return form;
    }
    void SetLocal(int year, int month, int day, int hour, int minute, int second) {
        clock_->SetUnixTimeMs(platform::Clock::Get().FromLocal(year, month, day, hour, minute, second) *
                              1000);
    }
    // One supervisor pass per minute for n minutes.
    void Minutes(TMainForm& form, int n) {
        for (int i = 0; i < n; ++i) {
            clock_->Advance(60000);
            form.SuperviseServices();
        }
    }
    int Records(const std::string& file) {
        std::string content = Read(file);
        int n = 0;
        for (size_t at = content.find("\r\n"); at != std::string::npos; at = content.find("\r\n", at + 2))
            ++n;
        return n;
    }
    void TearDown() override {
        SessionRunning = false;
        StationFixture::TearDown();
    }
};

TEST_F(SchedulerTest, DataLogFollowsTheIntervalOnWholeMinutesSince1970) {
    TMainForm& form = StartAt(2026, 12, 6, 14, 9);
    Minutes(form, 30);                        // 14:10 .. 14:39
    EXPECT_EQ(Records("DATA/122026.TXT"), 3); // 14:10, 14:20, 14:30
    // The window's periodic list has each record's values as a line.
    platform::TStringList& list = form.PeriodicList->Lines();
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[2], "06.12.2026\t14:30\t0.0\t0.0\t0.0\tN");
    const std::string log = Read("DATA/122026.TXT");
    EXPECT_EQ(log.substr(log.size() - list[2].size() - 2), "\r\n" + list[2]);

    StationSettings.LogInterval = 7;
    platform::DeleteFile(Path("DATA/122026.TXT"));
    int64_t firstMinute = platform::UnixTime() / 60 + 1;
    Minutes(form, 60);
    int expected = 0;
    for (int64_t m = firstMinute; m < firstMinute + 60; ++m)
        expected += m % 7 == 0;
    EXPECT_EQ(Records("DATA/122026.TXT"), expected);

    StationSettings.LogInterval = 0; // switched off, never a division by zero
    platform::DeleteFile(Path("DATA/122026.TXT"));
    Minutes(form, 20);
    EXPECT_FALSE(platform::FileExists(Path("DATA/122026.TXT")));
}

TEST_F(SchedulerTest, NothingRunsBeforeTheThirtyFirstRound) {
    TMainForm& form = StartAt(2026, 12, 6, 14, 9);
    SampleCount = 30;
    Minutes(form, 30);
    EXPECT_FALSE(platform::FileExists(Path("DATA/122026.TXT")));
}

TEST_F(SchedulerTest, MidnightWritesTheDailyLogThenResetsAndTheHourlyStepRefreshesTheDate) {
    TMainForm& form = StartAt(2026, 12, 6, 23, 55);
    File(SensorSet().DS1820Sensors); // a temperature station: the daily record has its temperature group
    form.CurrentReadings.TemperatureMax = 52.1f;
    form.CurrentReadings.TemperatureMaxTime.ti_hour = 13;
    form.CurrentReadings.TemperatureMaxTime.ti_min = 45;
    form.CurrentReadings.TemperatureMin = 38.4f;
    form.CurrentReadings.TemperatureMinTime.ti_hour = 6;
    form.CurrentReadings.TemperatureMinTime.ti_min = 50;
    Minutes(form, 10); // past 00:00
    EXPECT_EQ(Read("DATA/Daily2026.TXT"), "\r\n06.12.2026 52.1 (13:45) 38.4 (06:50) ");
    EXPECT_EQ(CountLog("07.12.2026 SERVER: Resetting statistics..."), 1); // after the hourly step
    EXPECT_EQ(form.CurrentDate.da_day, 7); // refreshed by the hourly step at 00:00
    EXPECT_EQ(form.Day, 7);
    EXPECT_EQ(platform::TIniFile(Path("korvane.ini")).ReadInteger("Weather", "Day", 0), 7);
}

TEST_F(SchedulerTest, WithoutTheLogOnlyTheResetRunsAndTheMonthIsWrittenAtItsChange) {
    TMainForm& form = StartAt(2026, 12, 31, 23, 58, "[Weather]\r\nLogEnabled=0\r\n");
    Minutes(form, 5);
    EXPECT_FALSE(platform::FileExists(Path("DATA/Daily2026.TXT")));
    EXPECT_EQ(CountLog("SERVER: Resetting statistics..."), 1);
    EXPECT_EQ(form.Month, 1);
    EXPECT_EQ(platform::TIniFile(Path("korvane.ini")).ReadInteger("Weather", "Month", 0), 1);
    EXPECT_EQ(form.Caption(), "Malvoren Weather Station - HAPPY NEW YEAR!");
}

TEST_F(SchedulerTest, MonthlyRecordsSummaryAndNowFiles) {
    TMainForm& form = StartAt(2026, 12, 6, 14, 0, "[Weather]\r\nNowEnabled=1\r\n");
    form.CurrentTime = platform::DosTime{0, 14, 0, 0};
    File(SensorSet().DS1820Sensors);
    korvane_test::MarkAllCurrent(form.CurrentReadings);
    form.CurrentReadings.Temperature = 45.3f;
    form.CurrentReadings.TemperatureF = 45.3f;
    form.CurrentReadings.WindCompassPoint = 0;
    form.WriteDataLog();
    StationSettings.LogDirInDegrees = true;
    form.WriteDataLog();
    EXPECT_EQ(Read("DATA/122026.TXT"), "\r\n06.12.2026\t14:00\t45.3\t0.0\t0.0\tN"
                                       "\r\n06.12.2026\t14:00\t45.3\t0.0\t0.0\t000");

    File(SensorSet().HumiditySensors);
    form.CurrentReadings.Humidity = 100.0f; // written as h00
    form.SuperviseServices();               // NOW.TXT after every pass
    EXPECT_EQ(Read("DATA/NOW.TXT"), "Dec 6 2026 14:00\r\nt045h00\r\n");
    form.CurrentReadings.TemperatureF = -5.4f;
    form.CurrentReadings.Humidity = 87.9f;
    form.WriteSummaryFile();
    EXPECT_EQ(Read("DATA/SUMMARY.TXT"), "Dec 6 2026 14:00\r\nt-05h87\r\n");
}

TEST_F(SchedulerTest, TrendFilesAreSavedOnTheirIntervalAndAnIntervalOf0MeansThirty) {
    TMainForm& form = StartAt(2026, 12, 6, 14, 9, "[Weather]\r\nSaveGraphInterval=0\r\n");
    Minutes(form, 20); // 14:10 .. 14:29
    EXPECT_FALSE(platform::FileExists(Path("VeskTemp.dat")));
    Minutes(form, 1); // 14:30
    EXPECT_TRUE(platform::FileExists(Path("VeskTemp.dat")));
    EXPECT_EQ(platform::TIniFile(Path("korvane.ini")).ReadInteger("Weather", "SaveGraphInterval", 0), 30);
}
