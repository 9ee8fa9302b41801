// The DS2438 read end to end against the device model: input switching over page 0, the voltage and
// temperature goldens, the plausibility limits, and bounded waits when the device never finishes.
#include "TemperatureSensorNet.h"

#include "onewire/DS2438.h"
#include "platform/tmex/sim/DS2438.h"

using namespace temperature_test;

class DS2438Test : public TemperatureNetTest {
protected:
    sim::DS2438& Device() { return net->Add<sim::DS2438>(net->Trunk(), 0x0A0B0C0D0Eull); }
};

TEST_F(DS2438Test, ReadsVadTemperatureAndVddSwitchingTheInputOnlyWhenNeeded) {
    auto& device = Device();
    device.SetVAD(2.0);
    device.SetVDD(5.0);
    device.SetTemperature(25.0);
    device.SetCurrentRaw(12);
    auto sensor = Make<DS2438>(device, 0);
    EXPECT_EQ(Key(device, "Type"), "DS2438");
    net->ClearTraffic();
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_DOUBLE_EQ(sensor->VAD.value, 2.0);
    EXPECT_DOUBLE_EQ(sensor->VDD.value, 5.0);
    EXPECT_DOUBLE_EQ(sensor->VSENS.value, 12.0);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 25.0);
    EXPECT_TRUE(device.Config() & 0x08); // the read ends with VDD selected
    EXPECT_EQ(device.Copies(), 2);       // power-on VDD -> VAD -> VDD
    EXPECT_TRUE(TrafficHas("BLK[4E 00 07"));
    EXPECT_EQ(Key(device, "max_VDD"), "5");
    EXPECT_EQ(Key(device, "min_VAD"), "2");

    // Threshold byte and the other page bytes are written back as read in the same call.
    EXPECT_EQ(device.Memory(0)[7], 0x00);
    net->ClearTraffic();
    device.SetTemperatureRaw(static_cast<int16_t>(0xF580)); // the sign lives in bit 12 of the shifted value
    sensor->temp.value = 0.0;
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_DOUBLE_EQ(sensor->temp.value, -10.5);
    EXPECT_EQ(sensor->GetUnit(), "V");
}

TEST_F(DS2438Test, VoltageLimitsCurrentSignAndCalibration) {
    auto& device = Device();
    SetKey(device, "VADMultiplier", "2");
    SetKey(device, "VADOffset", "-5");
    auto sensor = Make<DS2438>(device, 0);
    device.SetVadRaw(0x04B0); // 12.00 V is taken
    device.SetCurrentRaw(-40);
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_DOUBLE_EQ(sensor->VAD.value, 19.0);
    EXPECT_DOUBLE_EQ(sensor->VSENS.value, 0.0); // a negative current-sense value is not taken
    device.SetVadRaw(1201);                     // 12.01 V is refused
    EXPECT_EQ(sensor->Sample(), 0);
    device.SetVAD(2.0); // calibrated -1.0: not taken, the read still counts
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_DOUBLE_EQ(sensor->VAD.value, 19.0);
}

TEST_F(DS2438Test, ZeroCelsiusIsATemperatureButOutOfRangeIsNot) {
    auto& device = Device();
    auto sensor = Make<DS2438>(device, 0);
    device.SetTemperature(0.0);
    sensor->temp.value = 4.0;
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 3.6);
    device.SetTemperature(130.0);
    EXPECT_EQ(sensor->Sample(), 0);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 3.6);
}

TEST_F(DS2438Test, ConversionsThatNeverFinishEndTheReadInBoundedTime) {
    auto& device = Device();
    SetKey(device, "Debug", "1");
    auto sensor = Make<DS2438>(device, 0);
    device.SetConversionNeverFinishes(true);
    uint64_t before = clock_->TotalAdvancedMs();
    EXPECT_EQ(sensor->Sample(), 0);
    EXPECT_LT(clock_->TotalAdvancedMs() - before, 3000u); // three tries, each wait bounded
    EXPECT_GE(CountLog("Timeout converting temperature"), 3);
    EXPECT_GE(CountLog("Error reading AD values"), 3);
    EXPECT_EQ(sensor->VAD.value, 0.0);

    // A shorted net reads 0x00 for ever: the sample still ends.
    device.SetConversionNeverFinishes(false);
    net->SetShorted(true);
    EXPECT_EQ(sensor->Sample(), 0);
    net->SetShorted(false);
    EXPECT_EQ(sensor->Sample(), 1);
}

TEST_F(DS2438Test, APageReadThatFailsNeverWritesStaleBytesBack) {
    auto& device = Device();
    auto sensor = Make<DS2438>(device, 0);
    std::fill(sensor->IoBuffer, sensor->IoBuffer + 52, 0xEE); // stale data of an earlier transfer
    device.InjectCrcErrors(1);                                // the selection's page read fails
    net->ClearTraffic();
    EXPECT_EQ(sensor->Sample(), 1); // the retry in the same sample succeeds
    EXPECT_FALSE(TrafficHas(" EE"));
    EXPECT_EQ(device.Memory(0)[7], 0x00);
}
