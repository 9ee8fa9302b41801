// The wind vane end to end through the simulated net: a DS2450 vane (levels of four channels) and a
// DS2407 switching a chain of DS2401 chips (the set of chips found), the histogram and the prevailing
// direction.
#include "DS2423SensorNet.h"

#include "onewire/WindData.h"
#include "platform/tmex/sim/DS2401.h"
#include "platform/tmex/sim/DS2407.h"
#include "platform/tmex/sim/DS2423.h"
#include "platform/tmex/sim/DS2450.h"

using namespace sensor_net_test;

class WindDirectionTest : public SensorNetTest {
protected:
    void SetUp() override {
        SensorNetTest::SetUp();
        SpikeCount = 0;
        counter = &net->Add<sim::DS2423>(net->Trunk(), 0x00000000A1B2ULL);
    }
    std::unique_ptr<WindData> MakeWind(const sim::Rom& vane, const std::string& vaneKeys = "") {
        Sensors("[" + counter->rom().Text() + "]\r\nType=WindSpeed\r\n[" + vane.Text() +
                "]\r\nType=WindDirection\r\n" + vaneKeys);
        auto wind = Make<WindData>(counter->rom(), 0, nullptr, 0);
        MakeCurrent(vane); // the scan attaches the vane while it is the current device
        EXPECT_EQ(wind->AssignDirectionSensor(), 1);
        Microlan::EndSession();
        return wind;
    }
    sim::DS2423* counter = nullptr;
};

class DS2450Vane : public WindDirectionTest {
protected:
    void SetUp() override {
        WindDirectionTest::SetUp();
        vane = &net->Add<sim::DS2450>(net->Trunk(), 0x0000000000C5ULL);
    }
    sim::DS2450* vane = nullptr;
};

TEST_F(DS2450Vane, LevelPatternsGiveBinsTurnedByNorthIndex) {
    auto wind = MakeWind(vane->rom());
    EXPECT_EQ(wind->DirectionIsDS2450, 1);
    vane->SetVanePosition(0); // levels 3 3 1 3
    ASSERT_EQ(wind->Sample(), 1);
    EXPECT_EQ(wind->CurrentDirection, 0);
    EXPECT_EQ(wind->DirectionValid, 1);
    EXPECT_EQ(wind->DirectionHistogram[0], 2);
    EXPECT_EQ(wind->DirectionHistogram[16], 2);
    EXPECT_NE(net->CallText().find("T(55)=55 T(08)=08 T(00)=00 T(08)=08"), std::string::npos);
    EXPECT_EQ(vane->MemoryByte(0x09), 0x01); // 8 bits, 5.12 V range

    vane->SetVanePosition(9);
    ASSERT_EQ(wind->Sample(), 1);
    EXPECT_EQ(wind->CurrentDirection, 9);

    // A pattern outside the table leaves the direction and the histogram alone.
    vane->SetChannelVolts(0.5, 0.5, 0.5, 0.5);
    ASSERT_EQ(wind->Sample(), 1);
    EXPECT_EQ(wind->CurrentDirection, 9);
    EXPECT_EQ(wind->DirectionHistogram[9], 2);

    // North at raw 2: raw 0 is bin 14.
    auto turned = MakeWind(vane->rom(), "NorthIndex=2\r\n");
    vane->SetVanePosition(0);
    ASSERT_EQ(turned->Sample(), 1);
    EXPECT_EQ(turned->CurrentDirection, 14);
}

TEST_F(DS2450Vane, AConversionThatNeverEndsCostsABoundedWait) {
    auto wind = MakeWind(vane->rom());
    vane->SetVanePosition(4);
    ASSERT_EQ(wind->Sample(), 1);
    vane->SetMemoryByte(0x1C, 0x40); // VCC-operated: the polls see it busy
    vane->SetConversionNeverFinishes(true);
    vane->SetVanePosition(8);
    uint64_t before = clock_->TotalAdvancedMs();
    EXPECT_EQ(wind->Sample(), 1); // the wind read stands on the counter
    EXPECT_LT(clock_->TotalAdvancedMs() - before, 1000u);
    EXPECT_EQ(wind->CurrentDirection, 4);

    // A strong pull-up that the driver does not confirm: the vane's old results are not read.
    vane->SetMemoryByte(0x1C, 0x00);
    vane->SetConversionNeverFinishes(false);
    net->SetLevelResult(0);
    EXPECT_EQ(wind->Sample(), 1);
    EXPECT_EQ(wind->Sample(), 1);
    EXPECT_EQ(wind->CurrentDirection, 4);
    EXPECT_EQ(CountLog("Vane conversion not started"), 1);
    net->SetLevelResult(std::nullopt);
    ASSERT_EQ(wind->Sample(), 1);
    EXPECT_EQ(wind->CurrentDirection, 8);

    vane->Remove(); // a vanished vane fails its strong access at once
    EXPECT_EQ(wind->Sample(), 1);
    EXPECT_EQ(wind->CurrentDirection, 8);
}

TEST_F(DS2450Vane, VoltageLevelBoundariesAndTheSavedDirectionDevice) {
    EXPECT_EQ(WindData::VoltageLevel(1.0), 0);
    EXPECT_EQ(WindData::VoltageLevel(1.0001), 1);
    EXPECT_EQ(WindData::VoltageLevel(3.0), 1);
    EXPECT_EQ(WindData::VoltageLevel(4.0), 2);
    EXPECT_EQ(WindData::VoltageLevel(4.0001), 3);

    auto wind = MakeWind(vane->rom(), "NorthIndex=3\r\n");
    wind->NorthIndex = 5;
    wind->SaveSettings();
    EXPECT_EQ(Ini(counter->rom(), "DirSerialNum"), vane->rom().Text());
    EXPECT_EQ(Ini(vane->rom(), "Type"), "WindDirection");
    EXPECT_EQ(Ini(vane->rom(), "NorthIndex"), "5");

    // The scan's other ways of attaching: by DirSerialNum, which must be a whole serial text.
    auto other = Make<WindData>(counter->rom(), 0, nullptr, 0);
    EXPECT_EQ(other->LoadDirectionSerial(), 1);
    EXPECT_EQ(other->NorthIndex, 5);
    auto shortText = Make<WindData>(counter->rom(), 0, nullptr, 0);
    EXPECT_EQ(shortText->SetDirectionSerial(vane->rom().Text().substr(1)), 0);
    EXPECT_EQ(shortText->DirectionAssigned, 0);
}

TEST_F(WindDirectionTest, FreshAndBusyHistogramsGiveThePrevailingDirection) {
    auto wind = Make<WindData>(counter->rom(), 0, nullptr, 0);
    EXPECT_EQ(wind->CalculateDirection(), 45);
    EXPECT_EQ(wind->GetCompassPoint(), 2);
    for (int i = 0; i < 95; ++i)
        wind->SetDirection(0);
    EXPECT_EQ(wind->CalculateDirection(), 2);
    EXPECT_EQ(wind->GetCompassPoint(), 0);
    wind->SetDirection(16); // not a bin
    EXPECT_EQ(wind->CurrentDirection, 0);
    wind->ResetDirectionHistogram();
    for (int i = 0; i < 50; ++i)
        wind->SetDirection(12);
    // The windows starting at bins 8-12 tie; the first wins, which pulls the mean a little west.
    EXPECT_EQ(wind->CalculateDirection(), 265);
    EXPECT_EQ(wind->GetCompassPoint(), 11);

    // A wind about north that averages to exactly 360 degrees is compass point 0 (N), not 16.
    wind->ResetDirectionHistogram();
    for (auto [bin, times] : {std::pair{15, 9}, std::pair{0, 99}, std::pair{3, 2}})
        for (int i = 0; i < times; ++i)
            wind->SetDirection(bin);
    EXPECT_EQ(wind->CalculateDirection(), 360);
    EXPECT_EQ(wind->GetCompassPoint(), 0);
}

class DS2401Vane : public WindDirectionTest {
protected:
    void SetUp() override {
        WindDirectionTest::SetUp();
        net->Add<sim::RomOnlyDevice>(net->Trunk(), sim::Rom::Make(0x81, 0x000000000042ULL), "adapter ID");
        sw = &net->Add<sim::DS2407>(net->Trunk(), 0x0000000000D7ULL);
        for (int k = 0; k < 8; ++k)
            chips[k] = &net->Add<sim::DS2401>(sw->PioB(), 0x000000001000ULL + k);
    }
    void IniTxt(int lines) {
        std::string text;
        for (int k = 0; k < lines; ++k)
            text += chips[k]->rom().Text() + "\r\n";
        Write("ini.txt", text);
    }
    int ReadAt(WindData& wind, int position) {
        sw->PioB().SetVanePosition(position);
        EXPECT_EQ(wind.Sample(), 1);
        return wind.CurrentDirection;
    }
    sim::DS2407* sw = nullptr;
    sim::DS2401* chips[8] = {};
};

TEST_F(DS2401Vane, TheChipsFoundNameTheDirection) {
    IniTxt(8);
    auto wind = MakeWind(sw->rom());
    EXPECT_EQ(wind->DirectionIsDS2450, 0);
    EXPECT_EQ(DirectionSerials[3], chips[3]->rom().Text());
    net->ClearTraffic();
    EXPECT_EQ(ReadAt(*wind, 15), 15); // chips 7 and 0
    std::string calls = net->CallText();
    auto on = calls.find("T(3F)=3F");
    auto off = calls.find("T(7F)=7F");
    ASSERT_NE(on, std::string::npos);
    ASSERT_NE(off, std::string::npos);
    EXPECT_LT(on, off);
    EXPECT_EQ(sw->Status() & 0x40, 0x40); // the chain is off again
    EXPECT_EQ(ReadAt(*wind, 7), 7);       // chips 3 and 4
    EXPECT_EQ(ReadAt(*wind, 10), 10);     // chip 5 alone
    EXPECT_EQ(wind->DirectionValid, 1);

    EXPECT_EQ(wind->FindDirectionBySerials(""), 255); // nothing found: no bin for any NorthIndex
}

TEST_F(DS2401Vane, AnEmptySerialNeverMatches) {
    IniTxt(7); // ini.txt one line short: the eighth chip is unknown
    auto wind = MakeWind(sw->rom());
    EXPECT_EQ(ReadAt(*wind, 0), 0);  // chip 0 alone, not "0 and 7"
    EXPECT_EQ(ReadAt(*wind, 14), 0); // chip 7 alone is not recognised: the direction stays
}

TEST_F(DS2401Vane, ASwitchThatCannotBeWrittenLeavesTheDirection) {
    IniTxt(8);
    auto wind = MakeWind(sw->rom());
    EXPECT_EQ(ReadAt(*wind, 6), 6);
    sw->InjectCrcErrors(-1);
    EXPECT_EQ(ReadAt(*wind, 2), 6); // the chain never came on; the wind read still succeeds
    EXPECT_EQ(wind->DirectionValid, 1);
}
