// The read interval the station's rounds give each sensor, and the window of five of them in which a
// sensor that stopped answering still counts as current.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2438.h"
#include "onewire/Humidity.h"
#include "onewire/SensorTables.h"
#include "platform/tmex/sim/DS2438.h"
#include "platform/tmex/sim/DemoNet.h"
#include "station/StationNet.h"

using namespace station_test;

class ReadIntervalTest : public StationNetTest {
protected:
    uint64_t Now() const { return clock_->MonotonicMs(); }
    // Runs until the station's clock shows `ms`.
    void RunTo(uint64_t ms) { Run(static_cast<uint32_t>(ms - Now())); }
};

// Three thermometers read every 90 s (not the default 60): each turn is 90 s, so one that stopped
// answering right after a good read is current for 450 s, and no longer after that.
TEST_F(ReadIntervalTest, AThermometerStaysCurrentForFiveOfItsReadIntervals) {
    sim::DS18B20* thermometers[3] = {&AddThermometer(0x21), &AddThermometer(0x22), &AddThermometer(0x23)};
    for (sim::DS18B20* t : thermometers)
        t->SetTemperature(4.5);
    Settings(
        "[Weather]\r\nPortNum=1\r\nPortType=64\r\nSampleInterval=1000\r\n[DS1820]\r\nReadInterval=90\r\n");
    StartStation();
    Run(200000);
    ASSERT_EQ(SensorSet().DS1820Sensors.Count(), 3);
    DS1820& sensor = *SensorSet().DS1820Sensors[1];
    const uint32_t samples = sensor.Samples;
    ASSERT_TRUE(platform::EventLoop::Get().RunUntil([&] { return sensor.Samples > samples; }, 120000));
    ASSERT_EQ(sensor.LastReadOk, 1);
    const uint64_t read = Now();
    for (sim::DS18B20* t : thermometers)
        if (t->rom().Text() == sensor.SerialSection()) t->Remove();

    RunTo(read + 448 * 1000);
    EXPECT_TRUE(sensor.ValuesCurrent());
    EXPECT_EQ(sensor.LastReadOk, 0) << "it was read again meanwhile";
    EXPECT_TRUE(SensorSet().DS1820Sensors[0]->ValuesCurrent());
    RunTo(read + 451 * 1000);
    EXPECT_FALSE(sensor.ValuesCurrent());
    EXPECT_TRUE(SensorSet().DS1820Sensors[0]->ValuesCurrent());
}

// The DS2438 kinds read every 150 s, longer than the least window of 120 s: the barometer, a humidity
// sensor and a plain DS2438 are each told their interval and stay current between their reads.
TEST_F(ReadIntervalTest, TheDs2438KindsStayCurrentBetweenTheReadsOfTheirInterval) {
    std::string sensors;
    for (auto [serial, type] : {std::pair{0x31, "Barometer"}, std::pair{0x32, "Humidity"}, std::pair{0x33, "DS2438"}}) {
        sim::DS2438& chip = net->Add<sim::DS2438>(net->Trunk(), static_cast<uint64_t>(serial));
        chip.SetVDD(5.0);
        chip.SetTemperature(10.0);
        chip.SetVAD(sim::DemoWeather::HumidityVolts(60.0, 10.0, 5.0)); // 60 %, or 29.2 inHg
        sensors += "[" + chip.rom().Text() + "]\r\nType=" + type + "\r\n";
    }
    Write("SENSORS.INI", sensors);
    Settings(
        "[Weather]\r\nPortNum=1\r\nPortType=64\r\nSampleInterval=1000\r\n[DS2438]\r\nReadInterval=150\r\n");
    StartStation();
    const TSensorSet& set = SensorSet();
    ASSERT_TRUE(set.BarometerSensor && set.HumiditySensors.Count() == 1 && set.DS2438Sensors.Count() == 1);
    const std::pair<const char*, const iButton*> kinds[] = {{"barometer", set.BarometerSensor.get()},
                                                            {"humidity", set.HumiditySensors[0]},
                                                            {"DS2438", set.DS2438Sensors[0]}};
    Run(5000);
    for (int second = 5; second < 12 * 60; second += 5, Run(5000))
        for (const auto& [kind, sensor] : kinds)
            ASSERT_TRUE(sensor->ValuesCurrent()) << kind << " at " << second << " s, read "
                                                 << sensor->Samples << " times";
}
