// The discovery scan at the edges of its tables: every table stops at its room and names the devices it
// leaves out, a device reached on several branches is taken once, and the one-only roles (wind, rain,
// barometer, wind vane) take the first device of their kind. ASan turns any write past a table into a
// failure of the test that overfills it.
#include <gtest/gtest.h>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/WindData.h"
#include "platform/Clipboard.h"
#include "platform/controls/Menus.h"
#include "platform/tmex/sim/DS18S20.h"
#include "platform/tmex/sim/DS2407.h"
#include "platform/tmex/sim/DS2408.h"
#include "platform/tmex/sim/DS2409.h"
#include "platform/tmex/sim/DS2438.h"
#include "platform/tmex/sim/DS2450.h"
#include "station/StationNet.h"

using namespace station_test;

class DiscoveryTest : public StationNetTest {
protected:
    // Adds `count` devices of family T to a segment, serials from `first` on; returns their serial texts.
    template <typename T> std::vector<std::string> AddMany(sim::Segment& segment, int count, uint64_t first) {
        std::vector<std::string> serials;
        for (int i = 0; i < count; ++i)
            serials.push_back(net->Add<T>(segment, first + static_cast<uint64_t>(i)).rom().Text());
        return serials;
    }
    // A SENSORS.INI section giving each serial the Type.
    static std::string Typed(const std::vector<std::string>& serials, const std::string& type) {
        std::string text;
        for (const auto& s : serials)
            text += "[" + s + "]\r\nType=" + type + "\r\n";
        return text;
    }
    static std::string LeftOut(const std::string& family, const std::string& serial, const std::string& why) {
        return "WARNING: " + family + " " + serial + " left out (" + why + ")";
    }
    sim::DS2409& AddCoupler(uint64_t serial) { return net->Add<sim::DS2409>(net->Trunk(), serial); }
    // The sensor tree's node with the text, or null.
    platform::TTreeNode* Node(const std::string& text) const {
        std::vector<platform::TTreeNode*> open;
        for (const auto& root : form_->SensorTreeView->Roots())
            open.push_back(root.get());
        while (!open.empty()) {
            platform::TTreeNode* node = open.back();
            open.pop_back();
            if (node->Text == text) return node;
            for (const auto& child : node->Children)
                open.push_back(child.get());
        }
        return nullptr;
    }
};

TEST_F(DiscoveryTest, ThermometerTableTakesTwentyFourAndNamesTheRest) {
    AddMany<sim::DS18S20>(net->Trunk(), 24, 0x100);
    std::string extra = AddThermometer(0x200).rom().Text();
    StartStation();
    EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 24);
    EXPECT_EQ(SensorSet().TemperatureSensors.Count(), 24);
    EXPECT_EQ(SensorSet().DeviceCount, 24);
    EXPECT_EQ(CountLog(LeftOut("DS18B20", extra, "room for 24 only")), 1);
    EXPECT_EQ(CountLog("left out"), 1);
    EXPECT_EQ(CountLog("INFO: Added DS18B20"), 0);
}

TEST_F(DiscoveryTest, CountersOnTheTrunkFillTheTableBeforeTheOneBehindACoupler) {
    AddMany<sim::DS2423>(net->Trunk(), 8, 0x100);
    sim::DS2409& coupler = AddCoupler(0x300);
    std::string behind = AddMany<sim::DS2423>(coupler.Main(), 1, 0x400)[0];
    StartStation();
    EXPECT_EQ(SensorSet().DS2423Sensors.Count(), 8);
    EXPECT_EQ(SensorSet().CounterSensors.Count(), 8);
    // Seen on the trunk and again with each branch on, but named once and created once.
    EXPECT_EQ(CountLog(LeftOut("DS2423", behind, "room for 8 only")), 1);
    EXPECT_EQ(CountLog("INFO: Added DS2423 sensor"), 8);
}

TEST_F(DiscoveryTest, EachTableStopsAtItsRoom) {
    std::vector<std::string> humidity = AddMany<sim::DS2438>(net->Trunk(), 9, 0x100);
    std::vector<std::string> plain2438 = AddMany<sim::DS2438>(net->Trunk(), 9, 0x200);
    AddMany<sim::DS2450>(net->Trunk(), 9, 0x300);
    AddMany<sim::DS2407>(net->Trunk(), 9, 0x400);
    AddMany<sim::DS2408>(net->Trunk(), 9, 0x500);
    Write("SENSORS.INI", Typed(humidity, "Humidity") + Typed(plain2438, "DS2438"));
    StartStation();
    EXPECT_EQ(SensorSet().HumiditySensors.Count(), 8);
    EXPECT_EQ(SensorSet().DS2438Sensors.Count(), 8);
    EXPECT_EQ(SensorSet().TemperatureSensors.Count(), 16);
    EXPECT_EQ(SensorSet().DS2450Sensors.Count(), 8);
    EXPECT_EQ(SensorSet().DS2407Count, 8);
    EXPECT_EQ(SensorSet().DS2408Count, 8);
    for (const char* family : {"DS2438", "DS2450", "DS2407", "DS2408"})
        EXPECT_EQ(CountLog(std::string("WARNING: ") + family), family == std::string("DS2438") ? 2 : 1)
            << family;
    EXPECT_EQ(CountLog("left out (room for 8 only)"), 5);
    EXPECT_EQ(CountLog("WARNING: Missing"), 0); // left out is not missing
    EXPECT_TRUE(form_->DS2438Menu->Visible());
    EXPECT_FALSE(form_->DS2423Menu->Visible());
}

TEST_F(DiscoveryTest, RolesComeFromIniTxtAndTheDescriptionAndAbsentWindCountersAreNotReported) {
    std::string wind = AddCounter(0x100).rom().Text();
    std::string lightning = AddCounter(0x101).rom().Text();
    // An older station's ini.txt: eight direction chips, the wind counter, the vane's switch.
    std::string iniTxt;
    for (int chip = 0; chip < 8; ++chip)
        iniTxt += sim::Rom::Make(0x01, 0x700 + static_cast<uint64_t>(chip)).Text() + "\r\n";
    Write("ini.txt", iniTxt + wind + "\r\n" + sim::Rom::Make(0x12, 0x710).Text() + "\r\n");
    std::string absentWind = sim::Rom::Make(0x1D, 0x900).Text(),
                absentRain = sim::Rom::Make(0x1D, 0x901).Text();
    Write("SENSORS.INI", "[" + lightning + "]\r\nDescription=Lightning 2\r\n" +
                             Typed({absentWind}, "WindSpeed") + Typed({absentRain}, "RainGauge"));
    TMainForm& form = StartStation();
    ASSERT_TRUE(SensorSet().WindSensor);
    EXPECT_EQ(iButton::RomText(SensorSet().WindSensor->Rom), wind);
    ASSERT_EQ(SensorSet().DS2423Sensors.Count(), 1);
    const platform::TTreeNode* node = Node("DS2423: Lightning 2 ");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->ImageIndex, 11);
    EXPECT_EQ(node->SelectedIndex, 11);
    // A configured reader that is absent is told; an absent wind counter is not.
    EXPECT_EQ(CountLog("WARNING: Missing RainGauge sensor " + absentRain + "!"), 1);
    EXPECT_EQ(CountLog("WARNING: Missing"), 1);
    EXPECT_TRUE(form.DS2423Menu->Visible());
    EXPECT_FALSE(form.DS2438Menu->Visible());
}

TEST_F(DiscoveryTest, ThirteenthCouplerIsLeftOut) {
    // 24 branch scans log more than the memo keeps: count in korvane.log.
    Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\nLogStatusToFile=1\r\n");
    AddMany<sim::DS2409>(net->Trunk(), 13, 0x600);
    AddThermometer(0x100);
    StartStation();
    EXPECT_EQ(SensorSet().Couplers.Count(), 12);
    EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 1);
    std::string log = Read("korvane.log");
    auto count = [&](const std::string& text) {
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("SERVER: Scanning MAIN on"), 12);
    EXPECT_EQ(count("left out (room for 12 only)"), 1);
}

TEST_F(DiscoveryTest, ADeviceSeenOnTheTrunkAndThroughEveryBranchIsTakenOnce) {
    std::string trunk = AddThermometer(0x100).rom().Text();
    sim::DS2409& first = AddCoupler(0x200);
    sim::DS2409& second = AddCoupler(0x201);
    net->Add<sim::DS18B20>(first.Main(), 0x300);
    net->Add<sim::DS18B20>(second.Aux(), 0x301);
    StartStation();
    EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 3);
    EXPECT_EQ(CountLog("INFO: Added DS18B20 sensor " + trunk), 1);
    EXPECT_EQ(SensorSet().DS1820Sensors[0]->SwitchPort, 0); // the trunk device is not tied to a branch
    EXPECT_EQ(CountLog("left out"), 0);
}

TEST_F(DiscoveryTest, SecondWindRainAndBarometerDevicesAreLeftOutByName) {
    sim::DS2409& coupler = AddCoupler(0x200);
    std::string wind = AddCounter(0x100).rom().Text();
    std::string rain = AddCounter(0x101).rom().Text();
    std::string baro = net->Add<sim::DS2438>(net->Trunk(), 0x102).rom().Text();
    std::string wind2 = net->Add<sim::DS2423>(coupler.Main(), 0x300).rom().Text();
    std::string rain2 = net->Add<sim::DS2423>(coupler.Main(), 0x301).rom().Text();
    std::string baro2 = net->Add<sim::DS2438>(coupler.Aux(), 0x302).rom().Text();
    Write("SENSORS.INI", Typed({wind, wind2}, "WindSpeed") + Typed({rain, rain2}, "RainGauge") +
                             Typed({baro, baro2}, "Barometer"));
    StartStation();
    ASSERT_TRUE(SensorSet().WindSensor && SensorSet().RainSensor && SensorSet().BarometerSensor);
    EXPECT_EQ(iButton::RomText(SensorSet().WindSensor->Rom), wind);
    EXPECT_EQ(iButton::RomText(SensorSet().RainSensor->Rom), rain);
    EXPECT_EQ(iButton::RomText(SensorSet().BarometerSensor->Rom), baro);
    EXPECT_EQ(SensorSet().CounterSensors.Count(), 2);
    EXPECT_EQ(SensorSet().DS2423Sensors.Count(), 0);
    EXPECT_EQ(SensorSet().DeviceCount, 3);
    EXPECT_EQ(CountLog(LeftOut("DS2423", wind2, "one WindSpeed only")), 1);
    EXPECT_EQ(CountLog(LeftOut("DS2423", rain2, "one RainGauge only")), 1);
    EXPECT_EQ(CountLog(LeftOut("DS2438", baro2, "one Barometer only")), 1);
    EXPECT_EQ(CountLog("WARNING: Missing"), 0);
}

TEST_F(DiscoveryTest, ASecondVaneIsLeftOut) {
    std::string wind = AddCounter(0x100).rom().Text();
    std::vector<std::string> vanes = AddMany<sim::DS2450>(net->Trunk(), 2, 0x200);
    Write("SENSORS.INI", Typed({wind}, "WindSpeed") + Typed(vanes, "WindDirection"));
    StartStation();
    EXPECT_TRUE(SensorSet().WindDirectionFound);
    EXPECT_EQ(SensorSet().DS2450Sensors.Count(), 0);
    EXPECT_EQ(CountLog("left out (one WindDirection only)"), 1);
}

TEST_F(DiscoveryTest, AVaneWithoutAWindCounterIsAPlainConverter) {
    std::vector<std::string> vanes = AddMany<sim::DS2450>(net->Trunk(), 2, 0x200);
    Write("SENSORS.INI", Typed(vanes, "WindDirection"));
    StartStation();
    EXPECT_FALSE(SensorSet().WindDirectionFound);
    EXPECT_EQ(SensorSet().DS2450Sensors.Count(), 2);
    EXPECT_EQ(CountLog("left out"), 0);
}

TEST_F(DiscoveryTest, RescanWithAFullTableNamesTheNewDeviceAndKeepsTheOldObjects) {
    AddMany<sim::DS18S20>(net->Trunk(), 24, 0x100);
    TMainForm& form = StartStation();
    ASSERT_EQ(SensorSet().DS1820Sensors.Count(), 24);
    DS1820* first = SensorSet().DS1820Sensors[0];
    std::string late = AddThermometer(0x200).rom().Text();
    form.RescanMLan->Click();
    Run(3000);
    EXPECT_EQ(CountLog(LeftOut("DS18B20", late, "room for 24 only")), 1);
    EXPECT_EQ(CountLog("SERVER: Scan completed, sensors found total:24  new:0"), 1);
    EXPECT_EQ(SensorSet().DS1820Sensors[0], first);
    EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 24);
}

TEST_F(DiscoveryTest, TheTreesMenuCopiesTheDdeItemNameOfTheSelectedNode) {
    std::string thermometer = AddThermometer(0x100).rom().Text();
    std::string converter = AddMany<sim::DS2450>(net->Trunk(), 1, 0x200)[0];
    std::string humidity = AddMany<sim::DS2438>(net->Trunk(), 1, 0x300)[0];
    Write("SENSORS.INI", Typed({humidity}, "Humidity"));
    TMainForm& form = StartStation();
    auto* menu = dynamic_cast<platform::widgets::TPopupMenu*>(form.SensorTreeView->PopupMenu());
    ASSERT_NE(menu, nullptr);
    platform::widgets::TheMenuHost().Chooser = [&](const platform::widgets::MenuHost::Tracking& shown) {
        return shown.menu == menu ? form.CopyDDEItemNameToClipboard : nullptr;
    };
    // The user selects the node, opens the tree's menu and picks the command.
    auto copy = [&](platform::TTreeNode* node) {
        form.SensorTreeView->Select(node);
        menu->Popup(40, 60);
        return platform::ClipboardText();
    };
    EXPECT_EQ(copy(Node("DS1820: " + SensorSet().DS1820Sensors[0]->TempDescription)), "DDE" + thermometer);
    // A sensor with several items: the one of the node, a DS2450's third channel, a humidity sensor's
    // temperature.
    EXPECT_EQ(copy(Node("DS2450/2: " + SensorSet().DS2450Sensors[0]->Description[2])),
              "DDE" + converter + "C");
    EXPECT_EQ(copy(Node("DS2438/T: " + SensorSet().HumiditySensors[0]->TempDescription)),
              "DDE" + humidity + "T");
    // A node that shows no sensor leaves the clipboard as it was.
    EXPECT_EQ(copy(form.MicroLANNode), "DDE" + humidity + "T");
    EXPECT_EQ(copy(nullptr), "DDE" + humidity + "T");
    platform::widgets::TheMenuHost().Reset();
}
