// The quad A/D converter end to end through the simulated net: its own sample and session, the control
// registers, the conversion, calibration and marks, a coupler in front of it, and failed reads.
#include "DS2423SensorNet.h"

#include "onewire/DS2450.h"
#include "platform/Strings.h"
#include "platform/tmex/sim/DS2409.h"
#include "platform/tmex/sim/DS2450.h"

using namespace sensor_net_test;

class DS2450Test : public SensorNetTest {
protected:
    void SetUp() override {
        SensorNetTest::SetUp();
        device = &net->Add<sim::DS2450>(net->Trunk(), 0x0000000020A1ULL);
    }
    std::unique_ptr<DS2450> MakeAd(const std::string& keys = "", const uint16_t* coupler = nullptr,
                                   int port = 0) {
        Sensors("[" + device->rom().Text() + "]\r\n" + keys);
        return Make<DS2450>(device->rom(), 0, coupler, port);
    }
    sim::DS2450* device = nullptr;
};

TEST_F(DS2450Test, FourChannelsCalibratedWithTheirFirstMarks) {
    auto ad = MakeAd("BitsConversion=16\r\nMultiplier_B=2\r\nOffset_B=1\r\nDescription_C=Soil\r\n");
    EXPECT_EQ(Ini(device->rom(), "Type"), "DS2450");
    device->SetChannelVolts(5.2, 2.56, 1.0, 0.0);
    ASSERT_EQ(ad->Sample(), 1);
    EXPECT_EQ(device->MemoryByte(0x08), 0x00); // 16 bits is written as 0
    EXPECT_FLOAT_EQ(ad->Value[0], 5.2428f);    // raw 0xFFFF
    EXPECT_FLOAT_EQ(ad->Value[1], 2.62144f * 2 + 1);
    EXPECT_NEAR(ad->Value[2], 1.024, 1e-4);
    EXPECT_EQ(ad->Value[3], 0.0f);
    EXPECT_EQ(ad->StatusText, "5.2 / 6.2 / 1.0 / 0.0");
    const float read = ad->Value[3];
    ad->Value[3] = 7.0f; // the text is that of the reading, whatever the value became since
    EXPECT_EQ(ad->StatusText, "5.2 / 6.2 / 1.0 / 0.0");
    ad->Value[3] = read;
    EXPECT_EQ(device->Brownouts(), 0) << "the strong pull-up carried the conversion on bus power";
    // The stored marks start at -100 / 100, so the first reading sets both, with its time.
    EXPECT_EQ(ad->MaxValue[2], ad->Value[2]);
    EXPECT_EQ(ad->MinValue[2], ad->Value[2]);
    uint8_t time[2] = {};
    EXPECT_NEAR(ad->GetMaxValue(2, time), 1.024, 1e-4);
    EXPECT_EQ(time[0], 3); // 14:03
    EXPECT_EQ(time[1], 14);
    EXPECT_EQ(ad->SampleCount, 1);
    EXPECT_EQ(ad->FailureRun, 0);

    // Marks reach SENSORS.INI only through the save.
    EXPECT_EQ(Ini(device->rom(), "max_value_C"), "<none>");
    ad->SaveSettings();
    EXPECT_EQ(Ini(device->rom(), "max_value_C"), platform::FloatToStr(ad->MaxValue[2]));
    EXPECT_EQ(Ini(device->rom(), "SwitchPort"), "NONE");
    EXPECT_EQ(Ini(device->rom(), "Description_A"), device->rom().Text() + "_A");

    ad->LogData();
    EXPECT_EQ(Read("DATA/Soil-122026.TXT"), "06.12.2026\t14:03\t1.02\r\n");
}

TEST_F(DS2450Test, SettingsAndSwitchedOffSampling) {
    auto ad = MakeAd("BitsConversion=17\r\nRead=0\r\nType=Moisture\r\n");
    EXPECT_EQ(ad->BitsConversion, 8);
    EXPECT_EQ(ad->Type, "Moisture");
    EXPECT_EQ(ad->MaxValue[0], -100.0f);
    net->ClearTraffic();
    EXPECT_EQ(ad->Sample(), 1);
    EXPECT_TRUE(net->Traffic().empty());
    EXPECT_EQ(ad->SampleCount, 0);

    auto zero = MakeAd("BitsConversion=0\r\nFiveVoltRange=0\r\nDescription_D=\r\n");
    EXPECT_EQ(zero->BitsConversion, 8);
    device->SetChannelVolts(1.0, 1.0, 1.0, 2.0);
    ASSERT_EQ(zero->Sample(), 1);
    EXPECT_EQ(device->MemoryByte(0x09) & 1, 0);                          // 2.56 V range
    EXPECT_NEAR(zero->Value[3], 2.0 / 2.56 * 256 * 256 * 0.00008, 0.03); // same factor in both ranges
    zero->ResetAll();
    EXPECT_EQ(zero->MaxValue[3], zero->Value[3]);
    zero->LogData(); // an empty description still names a file
    EXPECT_NE(Read("DATA/-122026.TXT"), "");
}

TEST_F(DS2450Test, BehindACouplerTheBranchIsSwitchedAroundTheRead) {
    auto& coupler = net->Add<sim::DS2409>(net->Trunk(), 0x0000000019F0ULL);
    auto& branch = net->Add<sim::DS2450>(coupler.Main(), 0x0000000020B2ULL);
    branch.SetChannelVolts(3.0, 3.0, 3.0, 3.0);
    Sensors("");
    auto couplerRom = coupler.rom().Words();
    coupler.SetActiveBranch(sim::DS2409::MainBranch); // the scan's view while it searched MAIN
    auto ad = Make<DS2450>(branch.rom(), 0, couplerRom.data(), 1);
    coupler.SetActiveBranch(sim::DS2409::None);

    ASSERT_EQ(ad->Sample(), 1);
    EXPECT_EQ(ad->StatusText, "ALL LINES OFF");
    EXPECT_NEAR(ad->Value[0], 3.0, 0.3);
    EXPECT_EQ(coupler.ActiveBranch(), sim::DS2409::None);
    ad->SaveSettings();
    EXPECT_EQ(Ini(branch.rom(), "SwitchPort"), "MAIN");
    EXPECT_EQ(Ini(branch.rom(), "SwitchSerial"), coupler.rom().Text());
}

TEST_F(DS2450Test, FailedReadsKeepTheValuesAndCountTheRun) {
    auto ad = MakeAd("Debug=1\r\n");
    device->SetChannelVolts(1.0, 2.0, 3.0, 4.0);
    ASSERT_EQ(ad->Sample(), 1);
    const float before = ad->Value[1];

    // A strong pull-up that the driver does not confirm: no conversion, and no read of the old results.
    net->SetLevelResult(0);
    device->SetChannelVolts(4.0, 4.0, 4.0, 4.0);
    int conversions = device->Conversions();
    EXPECT_EQ(ad->Sample(), 0);
    EXPECT_EQ(device->Conversions(), conversions);
    EXPECT_EQ(ad->Value[1], before);
    EXPECT_EQ(ad->FailureRun, 1);
    net->SetLevelResult(std::nullopt);

    // A wrong read-back of a control byte ends each read before any conversion.
    device->InjectEchoErrors(DS2450::kTries);
    EXPECT_EQ(ad->Sample(), 0);
    EXPECT_EQ(device->Conversions(), conversions);
    EXPECT_EQ(ad->Value[1], before);
    EXPECT_EQ(ad->FailureRun, 2);

    // A CRC that does not check fails the read, and the sample reads again: a garbled result (its bit
    // flipped on the line) is never taken, and CRCs that never check fail the sample.
    device->InjectCrcErrors(-1);
    EXPECT_EQ(ad->Sample(), 0);
    EXPECT_EQ(ad->Value[1], before);
    EXPECT_EQ(ad->FailureRun, 3);
    device->InjectCrcErrors(0);
    device->InjectLineError(0x03, 0x10); // channel B's high byte
    EXPECT_EQ(ad->Sample(), 1);
    EXPECT_NEAR(ad->Value[1], 4.096, 1e-3); // raw x 0.00008 reads 2.4 % high in the 5.12 V range
    EXPECT_EQ(device->Conversions(), conversions + 2);
    EXPECT_EQ(ad->FailureRun, 0);

    // A conversion that never ends costs a bounded wait, not the thread (a VCC-operated device answers
    // busy to the polls; one on bus power cannot).
    device->SetMemoryByte(0x1C, 0x40);
    device->SetConversionNeverFinishes(true);
    uint64_t start = clock_->TotalAdvancedMs();
    EXPECT_EQ(ad->Sample(), 0);
    EXPECT_LT(clock_->TotalAdvancedMs() - start, 1000u);
    EXPECT_EQ(ad->FailureRun, 1);
    EXPECT_NE(Read("DEBUG_" + device->rom().Text() + ".log").find("DS2450 " + device->rom().Text() + ": "),
              std::string::npos);

    // A line-level call that does not report the normal level fails the read.
    device->SetConversionNeverFinishes(false);
    net->SetLevelResult(1);
    EXPECT_EQ(ad->Sample(), 0);
    EXPECT_EQ(ad->FailureRun, 2);
    net->SetLevelResult(std::nullopt);

    device->Remove(); // a vanished device reads 0xFF: the echo check fails, nothing else changes
    EXPECT_EQ(ad->Sample(), 0);
    EXPECT_NEAR(ad->Value[1], 4.096, 1e-3);
    EXPECT_EQ(ad->FailureRun, 3);
}

// A Convert whose input-select byte the chip got wrong converts other inputs and leaves the rest of its
// memory as it was; its CRC16 tells, and the read is refused and done again.
TEST_F(DS2450Test, AConvertTheChipGotWrongIsRefusedByItsCrcAndReadAgain) {
    auto ad = MakeAd("Debug=1\r\n");
    device->SetChannelVolts(1.0, 2.0, 3.0, 1.5);
    ASSERT_EQ(ad->Sample(), 1);
    device->SetChannelVolts(4.0, 4.0, 4.0, 4.0);
    device->InjectSelectError(0x08); // 0x0F arrives as 0x07: channel D is not converted
    const int conversions = device->Conversions();
    EXPECT_EQ(ad->Sample(), 1);
    EXPECT_EQ(device->Conversions(), conversions + 2);
    EXPECT_NEAR(ad->Value[3], 4.096, 1e-3) << "the old result of channel D was taken as new";
    EXPECT_NE(Read("DEBUG_" + device->rom().Text() + ".log").find("CRC error starting the conversion"),
              std::string::npos);
}
