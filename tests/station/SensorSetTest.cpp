// The sensor set belongs to the window: what one station found goes with it, and the next one starts
// from none, whatever the first left behind.
#include <gtest/gtest.h>

#include "onewire/DS1820.h"
#include "station/StationNet.h"

using namespace station_test;

TEST_F(StationNetTest, TheSensorsGoWithTheWindowThatFoundThemAndTheNextWindowFindsItsOwn) {
    AddThermometer(0x1A1);
    AddCounter(0x1A2);
    StartStation();
    const TSensorSet* first = &SensorSet();
    EXPECT_EQ(first->DS1820Sensors.Count(), 1);
    EXPECT_EQ(first->TemperatureSensors.Count(), 1);
    EXPECT_EQ(first->DS2423Sensors.Count(), 1);
    EXPECT_EQ(first->DeviceCount, 2);

    form_.reset(); // no clean-up first: the window frees what it owns
    EXPECT_NE(&SensorSet(), first);
    EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 0);

    StartStation();
    EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 1);
    EXPECT_EQ(SensorSet().TemperatureSensors.Count(), 1);
    EXPECT_EQ(SensorSet().DS2423Sensors.Count(), 1);
    EXPECT_EQ(SensorSet().DeviceCount, 2);
    ASSERT_NE(SensorSet().DS1820Sensors[0], nullptr);
    EXPECT_EQ(SensorSet().DS1820Sensors[0]->TemperatureIndex, 0);
}
