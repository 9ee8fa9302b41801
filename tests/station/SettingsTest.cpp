// Loading korvane.ini: defaults, corrections and what the load writes back.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/tmex/sim/DemoNet.h"
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
    EXPECT_TRUE(form.DbgCheckBox->Checked());
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

// docs/settings.md names every key of korvane.ini and SENSORS.INI that the station reads: the keys read
// while a station runs with every service on (on the demo net, with every kind of sensor it has, and
// through the serial adapter's port type), and the keys the driver takes from tmex.ini.
class SettingsReference : public StationFixture {
protected:
    // The keys the document names, per file ("korvane.ini", "sensors.ini", "tmex.ini"); for korvane.ini
    // as "section/key", for the others the key alone (their sections are devices, or few). Each table row
    // names its keys in backquotes in the first cell; a "### [Section], [Other]" heading gives
    // korvane.ini's sections of the rows below it.
    static std::map<std::string, std::set<std::string>> DocumentedKeys() {
        std::ifstream in(std::string(KORVANE_SOURCE_DIR) + "/docs/settings.md");
        std::map<std::string, std::set<std::string>> keys;
        std::string line, file;
        std::vector<std::string> sections;
        auto enclosed = [](const std::string& text, char open, char close) {
            std::vector<std::string> out;
            for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
                const size_t end = text.find(close, at + 1);
                if (end == std::string::npos) break;
                out.push_back(Lower(text.substr(at + 1, end - at - 1)));
                at = end + 1;
            }
            return out;
        };
        while (std::getline(in, line)) {
            if (line.rfind("## ", 0) == 0) {
                file = Lower(line.substr(3));
                sections = {""};
            } else if (line.rfind("### ", 0) == 0) {
                sections = enclosed(line, '[', ']');
                if (sections.empty()) sections = {""}; // a heading of SENSORS.INI's kinds
            } else if (line.rfind("| `", 0) == 0) {
                for (const std::string& key : enclosed(line.substr(1, line.find('|', 1) - 1), '`', '`'))
                    for (const std::string& section : sections)
                        keys[file].insert(file == "korvane.ini" ? section + "/" + key : key);
            }
        }
        return keys;
    }
    static std::string Lower(std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    // The names read from korvane.ini and SENSORS.INI, as DocumentedKeys gives them.
    void Observe() {
        platform::TIniFile::SetReadObserver(
            [this](const std::string& path, const std::string& section, const std::string& key) {
                const std::string file = Lower(path.substr(path.find_last_of("/\\") + 1));
                if (file == "korvane.ini") read_[file].insert(Lower(section) + "/" + Lower(key));
                if (file == "sensors.ini") read_[file].insert(Lower(key));
            });
    }
    void TearDown() override {
        platform::TIniFile::SetReadObserver(nullptr);
        StationFixture::TearDown();
    }
    void RunFor(int64_t ms) {
        const int64_t until = clock_->UnixTimeMs() + ms;
        while (clock_->UnixTimeMs() < until)
            platform::EventLoop::Get().RunFor(static_cast<uint32_t>(until - clock_->UnixTimeMs()));
    }

    std::map<std::string, std::set<std::string>> read_;
};

TEST_F(SettingsReference, NamesEveryKeyTheStationReads) {
    namespace sim = platform::tmex::sim;
    namespace tmex = platform::tmex;
    // Every service on, each sending to a closed port of this machine.
    const std::string closed = "http://127.0.0.1:1/";
    const std::string everything =
        "DDEEnabled=1\r\nTCPEnabled=1\r\nTCPPort=0\r\nUDPEnabled=1\r\nUDPAddress=127.0.0.1\r\nUDPPort=1\r\n"
        "LogEnabled=1\r\nLogInterval=1\r\nSummaryEnabled=1\r\nSummaryInterval=1\r\nNowEnabled=1\r\n"
        "DatabaseURL=" + closed + "\r\n[STATUS]\r\nEnabled=1\r\nPort=1\r\n"
        "[HTTP]\r\nEnabled=1\r\nAddr=127.0.0.1\r\nPort=0\r\n"
        "[SERVLET]\r\nEnabled=1\r\nInterval=1\r\nURL=" + closed + "\r\n"
        "[WUNDERGROUND]\r\nEnabled=1\r\nInterval=1\r\nURL=" + closed + "\r\n"
        "[W4U]\r\nEnabled=1\r\nInterval=1\r\nURL=" + closed + "\r\n"
        "[APRSWXNET]\r\nEnabled=1\r\nInterval=1\r\nAddress=127.0.0.1\r\nPort=1\r\n"
        "[PROXY]\r\nEnabled=1\r\nAddress=127.0.0.1\r\nPort=1\r\n"
        "[FTP]\r\nFTPUploadEnabled=1\r\nFTPInterval=1\r\nFTPHostName=127.0.0.1\r\nFTPPort=1\r\nUploadGIFs=1\r\n"
        "UploadXML=1\r\nFTPExtraFileName1=extra.txt\r\n"
        "[XML]\r\nGenerateEnabled=1\r\nIncludeXSL=1\r\n[HTML]\r\nSaveBMPInterval=1\r\n";
    StationOptions.StatusLogCopyAddress = "127.0.0.1";
    Observe();
    Write("SENSORS.INI", sim::DemoSensorsIni());
    Write("korvane.ini", sim::DemoKorvaneIni() + everything);
    TMainForm& demo = Start();
    RunFor(12 * 60000);
    ASSERT_TRUE(SessionRunning);
    ASSERT_TRUE(demo.HTTPRunning && demo.TCPRunning && demo.UDPRunning && demo.DDERunning);
    demo.RescanMLan->Click();
    demo.Unload1->Click();
    platform::EventLoop::Get().RunFor(5000);

    // The serial adapter's port type, with its line parameters.
    platform::EventLoop::Get().Reset();
    tmex::ResetDriver();
    tmex::InstallBackend(1, tmex::kPortTypeDS2480, sim::MakeDemoNet());
    platform::TIniFile(Path("korvane.ini")).WriteInteger("Weather", "PortType", tmex::kPortTypeDS2480);
    Start();
    RunFor(60000);
    EXPECT_TRUE(SessionRunning);

    // The driver's keys of tmex.ini, as its reader compares them.
    std::ifstream reader(std::string(KORVANE_SOURCE_DIR) + "/platform/tmex/DriverSettings.cpp");
    const std::string source((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
    const std::regex compared(R"(key == \"(\w+)\")");
    for (auto it = std::sregex_iterator(source.begin(), source.end(), compared); it != std::sregex_iterator(); ++it)
        read_["tmex.ini"].insert(Lower((*it)[1]));
    ASSERT_GE(read_["tmex.ini"].size(), 3u);

    const auto documented = DocumentedKeys();
    for (const auto& [file, keys] : read_) {
        std::vector<std::string> missing;
        for (const std::string& key : keys)
            if (!documented.count(file) || !documented.at(file).count(key)) missing.push_back(key);
        EXPECT_EQ(missing, std::vector<std::string>{}) << "read from " << file << " but not in docs/settings.md";
    }
    EXPECT_GE(read_["korvane.ini"].size(), 100u);
    EXPECT_GE(read_["sensors.ini"].size(), 100u);
}
