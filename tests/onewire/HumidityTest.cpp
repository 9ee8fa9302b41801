// The humidity sensor end to end on a simulated DS2438: the golden reading with its dew point, the
// supply limit, non-finite inputs, the outlier rule, the heat index and the HTML in Fahrenheit.
#include "TemperatureSensorNet.h"

#include <cmath>

#include "onewire/Humidity.h"
#include "platform/tmex/sim/DS2438.h"

using namespace temperature_test;

class HumidityTest : public TemperatureNetTest {
protected:
    sim::DS2438& Device(double vad, double vdd, double celsius) {
        auto& device = net->Add<sim::DS2438>(net->Trunk(), 0x4455667788ull);
        device.SetVAD(vad);
        device.SetVDD(vdd);
        device.SetTemperature(celsius);
        return device;
    }
};

TEST_F(HumidityTest, GoldenReadingWithDewpointAndMarks) {
    auto& device = Device(2.0, 5.0, 25.0);
    SetKey(device, "HumDescription", "Outdoor");
    auto sensor = Make<Humidity>(device, 0);
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_NEAR(sensor->GetValue(), 38.69, 0.005);
    EXPECT_NEAR(sensor->dewpoint.value, 10.19, 0.005);
    EXPECT_EQ(sensor->heatindex.value, 0.0); // 77 F is below the heat-index range
    EXPECT_EQ(sensor->ValueText, "38.7 / 77.0");
    EXPECT_EQ(sensor->GetUnit(), "%");
    EXPECT_EQ(Key(device, "max_hum").substr(0, 5), "38.68");
    EXPECT_EQ(Key(device, "max_heatindex"),
              "<none>"); // the high starts at 1.0: a heat index of 0 never sets it
    EXPECT_EQ(Key(device, "min_heatindex"), "0");
    EXPECT_EQ(Key(device, "Type"), "DS2438");
    sensor->LogData();
    EXPECT_EQ(Read("DATA/Outdoor-122026.TXT"), "06.12.2026\t14:03\t38.7\r\n");
}

TEST_F(HumidityTest, SupplyBelowTheLimitFailsTheReadWithBothVoltages) {
    auto& device = Device(2.0, 3.9, 25.0);
    auto sensor = Make<Humidity>(device, 0);
    EXPECT_EQ(sensor->Sample(), 0);
    EXPECT_EQ(CountLog("Volt supply below 4.0V (3.9), skipping!"), 3);
    EXPECT_EQ(sensor->GetValue(), 0.0);
    device.SetVDD(4.0); // exactly at the limit is taken
    EXPECT_EQ(sensor->Sample(), 1);
}

TEST_F(HumidityTest, ZeroSupplyWithTheLimitOffTakesTheFailurePathNotNaN) {
    auto& device = Device(2.0, 0.0, 25.0);
    SetKey(device, "min_volt_limit", "0");
    auto sensor = Make<Humidity>(device, 0);
    EXPECT_EQ(sensor->Sample(), 0);
    EXPECT_GE(CountLog("Exception calculating humidity!"), 1);
    sensor->SaveSettings();
    EXPECT_EQ(Key(device, "current_hum"), "0");
    EXPECT_EQ(Key(device, "max_hum"), "<none>");
    EXPECT_TRUE(std::isfinite(sensor->dewpoint.value));
}

TEST_F(HumidityTest, OutliersAreDroppedOnceInTenAndValuesClamped) {
    auto& device = Device(2.0, 5.0, 25.0);
    auto sensor = Make<Humidity>(device, 0);
    sensor->temp.value = 25.0;
    EXPECT_EQ(sensor->StoreHumidity(50.0), 1);
    EXPECT_EQ(sensor->StoreHumidity(56.0), 1);
    EXPECT_DOUBLE_EQ(sensor->GetValue(), 50.0);
    EXPECT_EQ(sensor->ClassCounter, 1u);
    sensor->StoreHumidity(56.0);
    EXPECT_DOUBLE_EQ(sensor->GetValue(), 50.6);
    EXPECT_EQ(sensor->StoreHumidity(0.0), 0);
    sensor->hum.value = 0.0;
    sensor->StoreHumidity(104.0);
    EXPECT_DOUBLE_EQ(sensor->GetValue(), 100.0);
    EXPECT_DOUBLE_EQ(sensor->dewpoint.value, 25.0); // saturated air: the dew point is the temperature
}

TEST_F(HumidityTest, HeatIndexAboveEightyFahrenheitAndFahrenheitHtml) {
    auto& device = Device(2.0, 5.0, 25.0);
    SetKey(device, "HumDescription", "Attic");
    auto sensor = Make<Humidity>(device, 0);
    sensor->temp.value = 30.0;
    sensor->StoreHumidity(41.0);
    EXPECT_NEAR(sensor->heatindex.value, 29.81, 0.005);
    EXPECT_NEAR(sensor->heatindex.high, 29.81, 0.005);
    EXPECT_EQ(Key(device, "max_heatindex").substr(0, 5), "29.80");
    const std::string html = sensor->GetHTML();
    EXPECT_EQ(
        html.substr(0, html.find("<TR><TD COLSPAN=2><TABLE")),
        "<TABLE CELLPADDING=0 CELLSPACING=0 BORDER=1>\n"
        "<TR><TD COLSPAN=2><FONT SIZE=2><CENTER><B>HUMIDITY: Attic</B></CENTER> </FONT></TD></TR>\n"
        "<TR><TD><FONT SIZE=2>Humidity</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>41.0 %</FONT></TD></TR>\n"
        "<TR><TD><FONT SIZE=2>High humidity</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>41.0 %</FONT></TD></TR>"
        "<TR><TD><FONT SIZE=2>Low humidity</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>41.0 %</FONT></TD></TR>"
        "<TR><TD><FONT SIZE=2>Dewpoint</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>60.1 F</FONT></TD></TR>"
        "<TR><TD><FONT SIZE=2>High dewpoint</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>60.1 F</FONT></TD></TR>"
        "<TR><TD><FONT SIZE=2>Low dewpoint</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>60.1 F</FONT></TD></TR>");
    sensor->temp.value = 25.0; // below the range the heat index is 0 and only the low follows
    sensor->StoreHumidity(41.0);
    EXPECT_EQ(Key(device, "min_heatindex"), "0");
    sensor->ResetDaily();
    EXPECT_EQ(Key(device, "max_heatindex"), "0");
}
