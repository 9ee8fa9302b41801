// The temperature part shared by every thermometer, driven through DS18B20 reads: smoothing from the
// stored value, marks written at once into SENSORS.INI (by several objects on one file), the alarm
// sweep, the daily reset and the unit of the getters.
#include "TemperatureSensorNet.h"

#include "onewire/DS1820.h"
#include "platform/tmex/sim/DS18B20.h"

using namespace temperature_test;

class TemperatureTest : public TemperatureNetTest {};

TEST_F(TemperatureTest, FirstReadingIsTakenAsIsUnlessAValueWasStored) {
    auto& fresh = net->Add<sim::DS18B20>(net->Trunk(), 0x01ull);
    auto& restarted = net->Add<sim::DS18B20>(net->Trunk(), 0x02ull);
    SetKey(restarted, "current_temp", "20");
    SetKey(restarted, "TempOffset", "0.5");
    SetKey(restarted, "TempMultiplier", "2");
    auto a = Make<DS1820>(fresh, 0);
    auto b = Make<DS1820>(restarted, 1);
    fresh.SetTemperature(30.0);
    restarted.SetTemperature(15.0); // calibrated 30.5
    ASSERT_EQ(a->Sample(), 1);
    ASSERT_EQ(b->Sample(), 1);
    EXPECT_DOUBLE_EQ(a->temp.value, 30.0);
    EXPECT_DOUBLE_EQ(b->temp.value, 21.05);
    EXPECT_EQ(b->SensorNumber, 1);
    EXPECT_EQ(b->GraphChannel, 1);
}

TEST_F(TemperatureTest, MarksOfSeveralSensorsReachSensorsIniAndSurviveEachOthersSaves) {
    auto& first = net->Add<sim::DS18B20>(net->Trunk(), 0x01ull);
    auto& second = net->Add<sim::DS18B20>(net->Trunk(), 0x02ull);
    auto a = Make<DS1820>(first, 0);
    auto b = Make<DS1820>(second, 1);
    first.SetTemperature(12.5);
    second.SetTemperature(-3.25);
    ASSERT_EQ(a->Sample(), 1);
    EXPECT_NEAR(a->temp.highTime, platform::UnixTime(), 1);
    const std::string when = std::to_string(a->temp.highTime);
    ASSERT_EQ(b->Sample(), 1);
    a->SaveSettings();
    b->SaveSettings();
    EXPECT_EQ(Key(first, "max_temp"), "12.5");
    EXPECT_EQ(Key(first, "min_temp"), "12.5");
    EXPECT_EQ(Key(first, "max_temp_t"), when);
    EXPECT_EQ(Key(second, "max_temp"), "-3.25");
    EXPECT_EQ(Key(second, "min_temp"), "-3.25");
    EXPECT_EQ(Key(first, "current_temp"), "12.5");
    EXPECT_EQ(Key(second, "TempDescription"), second.rom().Text());

    // An equal reading rewrites nothing; a lower one moves only the low mark.
    clock_->Advance(60000);
    first.SetTemperature(12.5);
    ASSERT_EQ(a->Sample(), 1);
    EXPECT_EQ(Key(first, "max_temp_t"), when);
    first.SetTemperature(2.5);
    ASSERT_EQ(a->Sample(), 1);
    EXPECT_EQ(Key(first, "min_temp"), "11.5");
    EXPECT_EQ(Key(first, "max_temp"), "12.5");
    EXPECT_EQ(Key(second, "min_temp"), "-3.25");

    // Getters in the sensor's unit with the local time of the mark (CET: 14:04).
    uint8_t time[2] = {};
    EXPECT_DOUBLE_EQ(a->GetMinTemperature(time), 11.5 * 9 * 0.2 + 32);
    EXPECT_EQ(time[0], 4);
    EXPECT_EQ(time[1], 14);
    a->Celsius = 1;
    EXPECT_DOUBLE_EQ(a->GetMaxTemperature(time), 12.5);
    EXPECT_EQ(time[0], 3);

    a->ResetDaily();
    EXPECT_EQ(Key(first, "max_temp"), "11.5");
    EXPECT_EQ(Key(first, "min_temp"), "11.5");
}

TEST_F(TemperatureTest, AlarmSweepsOncePerCrossingUntilRearmed) {
    auto& device = net->Add<sim::DS18B20>(net->Trunk(), 0x01ull);
    SetKey(device, "AcousticAlarm", "1");
    SetKey(device, "HighAlarm", "25");
    SetKey(device, "LowAlarm", "-5");
    auto sensor = Make<DS1820>(device, 0);
    device.SetTemperature(25.0);
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_TRUE(tones.empty()); // equal to the limit is no alarm
    sensor->temp.value = 0.0;
    device.SetTemperature(26.0);
    ASSERT_EQ(sensor->Sample(), 1);
    ASSERT_EQ(tones.size(), 200u);
    EXPECT_EQ(tones[0], 10u);
    EXPECT_EQ(tones[98], 990u);
    EXPECT_EQ(tones[99], 1000u);
    EXPECT_EQ(tones[198], 10u);
    EXPECT_EQ(tones[199], 110u);
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_EQ(tones.size(), 200u);
    sensor->RearmAlarm(0);
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_EQ(tones.size(), 400u);
    // Equal to the low limit is no alarm either.
    sensor->temp.value = 0.0;
    device.SetTemperature(-5.0);
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_EQ(sensor->LowAlarmRaised, 0);
    EXPECT_EQ(tones.size(), 400u);

    // Without the acoustic setting the flag is still raised, silently.
    sensor->AcousticAlarm = 0;
    sensor->temp.value = 0.0;
    device.SetTemperature(-6.0);
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_EQ(sensor->LowAlarmRaised, 1);
    EXPECT_EQ(tones.size(), 400u);
}
