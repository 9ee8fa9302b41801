// The barometer end to end on a simulated DS2438: the voltage-to-pressure goldens, the supply limit, a
// degenerate calibration, units, the minute history with rate and trend, status and data log.
#include "TemperatureSensorNet.h"

#include "onewire/Barometer.h"
#include "platform/tmex/sim/DS2438.h"

using namespace temperature_test;

class BarometerTest : public TemperatureNetTest {
protected:
    sim::DS2438& Device(double vad, double vdd = 5.0) {
        auto& device = net->Add<sim::DS2438>(net->Trunk(), 0x123456ull);
        device.SetVAD(vad);
        device.SetVDD(vdd);
        device.SetTemperature(21.0);
        return device;
    }
};

TEST_F(BarometerTest, VadMapsLinearlyOntoInchesOfMercury) {
    auto& device = Device(1.25);
    for (auto [vad, inHg] : {std::pair{1.25, 28.0}, {2.25, 29.5}, {3.25, 31.0}}) {
        device.SetVAD(vad);
        auto sensor = Make<Barometer>(device); // fresh each time: the VAD median filter starts over
        ASSERT_EQ(sensor->Sample(), 1) << vad;
        EXPECT_NEAR(sensor->GetValue(), inHg, 1e-9);
        EXPECT_EQ(sensor->GetUnit(), "inHg");
        EXPECT_EQ(sensor->DDEName, "DDEBarometer");
    }
    EXPECT_EQ(Key(device, "max_baro"), "31");
    EXPECT_EQ(Key(device, "min_baro"), "28");
}

TEST_F(BarometerTest, SupplyLimitAndEqualVoltageEndsFailWithoutANumberThatIsNone) {
    auto& device = Device(2.25, 3.99);
    auto sensor = Make<Barometer>(device);
    EXPECT_EQ(sensor->Sample(), 0);
    device.SetVDD(4.0);
    EXPECT_EQ(sensor->Sample(), 1);

    auto& flat = net->Add<sim::DS2438>(net->Trunk(), 0x654321ull);
    flat.SetVAD(2.0);
    flat.SetTemperature(21.0);
    SetKey(flat, "Vhi", "1.25");
    auto broken = Make<Barometer>(flat);
    EXPECT_EQ(broken->Sample(), 0);
    EXPECT_GE(CountLog("Exception calculating barometric value!"), 1);
    broken->SaveSettings();
    EXPECT_EQ(Key(flat, "current_baro"), "0");
    EXPECT_EQ(Key(flat, "max_baro"), "<none>");
    EXPECT_EQ(broken->GetStatus().find("nan"), std::string::npos);
}

TEST_F(BarometerTest, UnitsFollowTheMetricSettingExceptInTheTable) {
    auto& device = Device(2.25);
    SetKey(device, "Metric", "1");
    auto sensor = Make<Barometer>(device);
    sensor->StorePressure(29.92);
    EXPECT_NEAR(sensor->GetValue(), 1013.24, 0.005);
    EXPECT_EQ(sensor->GetUnit(), "hPa");
    EXPECT_NE(sensor->GetHTML().find("1013.2hPa / 29.92inHg"), std::string::npos);
    sensor->Metric = 2;
    EXPECT_EQ(sensor->GetUnit(), "KPa");
    EXPECT_NEAR(sensor->GetValue(), 101.324, 0.0005);
    sensor->Metric = 7;
    EXPECT_EQ(sensor->GetUnit(), "inHg");
    EXPECT_DOUBLE_EQ(sensor->GetValue(), 29.92);
    EXPECT_EQ(sensor->StorePressure(0.0), 0);
    EXPECT_DOUBLE_EQ(sensor->GetValue(), 29.92);
}

TEST_F(BarometerTest, RateAndTrendFollowTheMinuteHistory) {
    auto& device = Device(2.25);
    auto sensor = Make<Barometer>(device);
    ASSERT_EQ(sensor->Sample(), 1);
    sensor->CalculateRate();
    EXPECT_DOUBLE_EQ(sensor->RatePerHour(), 0.0);
    EXPECT_EQ(sensor->GetTrend(), "Steady");
    sensor->StorePressure(29.5029);
    EXPECT_EQ(sensor->GetTrend(), "Steady"); // 0.098 hPa
    sensor->StorePressure(29.503);
    EXPECT_EQ(sensor->GetTrend(), "Rising"); // 0.102 hPa
    sensor->StorePressure(29.4971);
    EXPECT_EQ(sensor->GetTrend(), "Steady"); // -0.098 hPa
    sensor->StorePressure(29.497);
    EXPECT_EQ(sensor->GetTrend(), "Falling"); // -0.102 hPa

    // From the second minute on the reference is the first minute's pressure; after a full hour it is
    // the pressure recorded 59 minutes before the latest.
    for (int minute = 1; minute <= 70; ++minute) {
        sensor->StorePressure(29.0 + minute * 0.01);
        sensor->CalculateRate();
        if (minute == 1) {
            EXPECT_DOUBLE_EQ(sensor->RateReference, 29.5);
        }
    }
    EXPECT_NEAR(sensor->RateReference, 29.0 + 11 * 0.01, 1e-9);
    EXPECT_NEAR(sensor->RatePerHour(), 0.59, 1e-9);

    sensor->ResetValues();
    EXPECT_EQ(Key(device, "today_baro"), "29.7");
    sensor->StorePressure(29.8);
    sensor->CalculateRate();
    EXPECT_NEAR(sensor->RateReference, 29.7, 1e-9);
    EXPECT_EQ(Key(device, "max_baro"), "29.8");
}

TEST_F(BarometerTest, StatusAndLogLine) {
    auto& device = Device(2.25);
    auto sensor = Make<Barometer>(device);
    ASSERT_EQ(sensor->Sample(), 1);
    const std::string t = std::to_string(sensor->baro.highTime);
    EXPECT_EQ(sensor->GetStatus(),
              "BARO:" + device.rom().Text() + ": 29.5 0.000 29.500 29.500 29.500 " + t + " " + t);
    sensor->LogData();
    EXPECT_EQ(Read("DATA/Barometer-122026.TXT"), "06.12.2026\t14:03\t29.50\r\n");
}
