// Loading korvane.ini: defaults, corrections and what the load writes back.
#include <gtest/gtest.h>

#include "support/DiskFaults.h"
#include "support/StationFixture.h"

using korvane_test::StationFixture;

class SettingsTest : public StationFixture {};

TEST_F(SettingsTest, FirstRunUsesDefaultsAndWritesOnlyTheTwoWeatherKeys) {
    TMainForm& form = Start();
    EXPECT_EQ(Read("korvane.ini"),
              "[Weather]\r\nTotalSamplesStart=Sun Dec  6 14:03:09 2026\r\nSaveGraphInterval=30\r\n");
    const TStationSettings& s = StationSettings;
    EXPECT_EQ(s.StatusPort, "8891");
    EXPECT_FALSE(s.StatusEnabled);
    EXPECT_EQ(s.HTTPPort, "8880");
    EXPECT_EQ(s.TCPPort, "8888");
    EXPECT_EQ(s.UDPAddress, "255.255.255.255");
    EXPECT_EQ(s.LogInterval, 10);
    EXPECT_TRUE(s.LogEnabled);
    EXPECT_TRUE(s.XMLGenerateEnabled);
    EXPECT_EQ(s.FTPInterval, 10);
    EXPECT_EQ(s.GraphBGColor, 8388608);
    EXPECT_EQ(s.HTMLDir, folder_ + "/HTML");
    EXPECT_EQ(s.TEMPLATEDir, folder_ + "/TEMPLATE");
    EXPECT_TRUE(s.DST);       // the zone has daylight saving
    EXPECT_EQ(s.Timezone, 1); // one hour east of UTC
    EXPECT_TRUE(s.ServletEnglishUnits);
    EXPECT_TRUE(form.LogStatusToFileCheckBox->Checked());
    EXPECT_FALSE(form.DbgCheckBox->Checked());
    EXPECT_EQ(form.Day, 6);
    EXPECT_EQ(form.Month, 12);
    EXPECT_EQ(form.TotalSamplesStart, "Sun Dec  6 14:03:09 2026");
    EXPECT_EQ(platform::Application->Title(), "Loading INI-values...");
}

TEST_F(SettingsTest, CorrectsIntervalDayAndMonthAndKeepsTheStartText) {
    Write("korvane.ini", "; station\r\n[Weather]\r\nSaveGraphInterval=0\r\nDay=261\r\nMonth=13\r\n"
                         "TotalSamplesStart=Mon Jan  5 10:00:00 2026\r\nLogStatusToFile=0\r\nDebug=1\r\n");
    TMainForm& form = Start();
    EXPECT_EQ(form.SaveGraphInterval, 30);
    EXPECT_EQ(form.Day, 5); // the low byte of 261
    EXPECT_EQ(form.Month, 12);
    EXPECT_EQ(form.TotalSamplesStart, "Mon Jan  5 10:00:00 2026");
    EXPECT_FALSE(form.LogStatusToFileCheckBox->Checked());
    EXPECT_TRUE(DebugEnabled);
    platform::TIniFile ini(Path("korvane.ini"));
    EXPECT_EQ(ini.ReadInteger("Weather", "SaveGraphInterval", -1), 30);
    EXPECT_EQ(ini.ReadString("Weather", "Debug", ""), "1"); // setting the box from code writes nothing
    EXPECT_EQ(Read("korvane.ini").substr(0, 11), "; station\r\n");
}

TEST_F(SettingsTest, DayOutOfRangeBecomesToday) {
    for (const char* day : {"0", "32"}) {
        Write("korvane.ini", std::string("[Weather]\r\nDay=") + day + "\r\n");
        platform::TIniFile::FlushCache();
        TMainForm& form = Start();
        EXPECT_EQ(form.Day, 6) << day;
    }
}

TEST_F(SettingsTest, RetiredAPRSServerMovesToTheDefaultOnce) {
    Write("korvane.ini", std::string("[APRSWXNET]\r\nAddress=") + DefaultHosts::RetiredAPRS[1] + "\r\n");
    TMainForm& form = Start();
    EXPECT_EQ(StationSettings.APRSAddress, DefaultHosts::APRS);
    EXPECT_EQ(platform::TIniFile(Path("korvane.ini")).ReadString("APRSWXNET", "Address", ""),
              DefaultHosts::APRS);
    EXPECT_EQ(CountLog("APRS: Updating old server address to APRS.KORVANE.EXAMPLE"), 1);
    (void)form;
}

TEST_F(SettingsTest, OwnAPRSServerIsLeftAlone) {
    Write("korvane.ini", "[APRSWXNET]\r\nAddress=aprs.mine.example\r\n");
    Start();
    EXPECT_EQ(StationSettings.APRSAddress, "aprs.mine.example");
    EXPECT_EQ(CountLog("APRS: Updating"), 0);
}

TEST_F(SettingsTest, HtmlFolderFallsBackToDataDirAndMetricIsInverted) {
    Write("korvane.ini", "[HTML]\r\nDataDir=/srv/www\r\n[SERVLET]\r\nMetric=1\r\n");
    Start();
    EXPECT_EQ(StationSettings.HTMLDir, "/srv/www");
    EXPECT_FALSE(StationSettings.ServletEnglishUnits);
}

TEST_F(SettingsTest, FailedLoadKeepsDefaultsAndIsLogged) {
    // A folder where the settings file should be: reads give nothing and the first write fails.
    std::filesystem::create_directory(Path("korvane.ini"));
    TMainForm& form = Start();
    EXPECT_EQ(CountLog("SERVER: Cannot write " + Path("korvane.ini") + ": Is a directory"), 1);
    EXPECT_EQ(form.SaveGraphInterval, 30);
    EXPECT_EQ(StationSettings.LogInterval, 10);
    EXPECT_EQ(StationSettings.FTPInterval, 10);
    EXPECT_TRUE(form.StartTimer->Enabled());
}

TEST_F(SettingsTest, AReadOnlySettingsFileIsReadToItsLastKeyAndLeftAsItIs) {
    const std::string settings = "[Weather]\r\nLogInterval=5\r\nNowEnabled=1\r\nSummaryEnabled=1\r\n"
                                 "ResetHour=3\r\n[FTP]\r\nFTPInterval=20\r\n[HTML]\r\nDPWCGraphMax=40\r\n";
    Write("korvane.ini", settings);
    korvane_test::ReadOnlyFile readOnly(Path("korvane.ini"));
    TMainForm& form = Start();
    const TStationSettings& s = StationSettings;
    EXPECT_EQ(s.LogInterval, 5);
    EXPECT_TRUE(s.NowEnabled);
    EXPECT_TRUE(s.SummaryEnabled);
    EXPECT_EQ(s.ResetHour, 3);
    EXPECT_EQ(s.FTPInterval, 20);
    EXPECT_EQ(form.DPWCGraphMax, 40);
    EXPECT_EQ(CountLog("SERVER: Cannot write " + Path("korvane.ini") + ": Permission denied"), 1);
    EXPECT_EQ(CountLog("SERVER: Cannot write"), 1);
    EXPECT_EQ(Read("korvane.ini"), settings);
}
