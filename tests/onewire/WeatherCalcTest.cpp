// Sun times against almanac values (which catch degree/radian and quadrant slips), the daylight-saving
// hour when the settings name none, dew point, heat index and the wind chill.
#include "TemperatureSensorNet.h"

#include <cmath>

#include "onewire/Microlan.h"
#include "onewire/WeatherCalc.h"
#include "station/StationSettings.h"

using namespace temperature_test;

namespace {

// hours + minutes/100 as minutes of the day.
int Minutes(float hhmm) {
    int hours = static_cast<int>(std::floor(hhmm));
    return hours * 60 + static_cast<int>(std::lround((hhmm - hours) * 100));
}

} // namespace

class WeatherCalcTest : public TemperatureNetTest {
protected:
    void Weather(int timezone, const char* dst) {
        StationSettings.Timezone = timezone;
        platform::TIniFile& ini = *MainForm->IniFile;
        if (dst) {
            ini.WriteString("Weather", "DST", dst);
            StationSettings.DST = std::string(dst) == "1";
        } else {
            ini.DeleteKey("Weather", "DST");
            StationSettings.DST = true; // the default: the zone has daylight saving
        }
    }
};

TEST_F(WeatherCalcTest, SunriseAndSunsetMatchTheAlmanacWithinAMinute) {
    Weather(1, "1");
    EXPECT_NEAR(Minutes(CalculateSunriseSunset(2024, 21, 6, 59.91f, 10.75f, 0)), 3 * 60 + 54, 1);
    EXPECT_NEAR(Minutes(CalculateSunriseSunset(2024, 21, 6, 59.91f, 10.75f, 1)), 22 * 60 + 44, 1);
    Weather(-5, "0");
    EXPECT_NEAR(Minutes(CalculateSunriseSunset(2024, 21, 12, 40.71f, -74.01f, 0)), 7 * 60 + 17, 1);
    EXPECT_NEAR(Minutes(CalculateSunriseSunset(2024, 21, 12, 40.71f, -74.01f, 1)), 16 * 60 + 32, 1);
}

// A local time past midnight is the next day's: 24:44 is 00:44 and 25:44 is 01:44, and a minute
// rounded up to the hour at 23:59.x is 00:00 (Oslo's 22:44 sunset, in zones further east).
TEST_F(WeatherCalcTest, ASunTimePastMidnightWrapsToTheNextDay) {
    Weather(3, "1");
    const float at2444 = CalculateSunriseSunset(2024, 21, 6, 59.91f, 10.75f, 1);
    EXPECT_LT(at2444, 1.0f);
    EXPECT_NEAR(Minutes(at2444), 44, 1);
    const float roundedUp = CalculateSunriseSunset(2024, 21, 6, 59.91f, 21.78f, 1);
    EXPECT_EQ(roundedUp, 0.0f);
    Weather(4, "1");
    const float at2544 = CalculateSunriseSunset(2024, 21, 6, 59.91f, 10.75f, 1);
    EXPECT_GE(at2544, 1.0f);
    EXPECT_LT(at2544, 2.0f);
    EXPECT_NEAR(Minutes(at2544), 60 + 44, 1);
}

TEST_F(WeatherCalcTest, NoSunTimesAtThePolesOrWithoutAPosition) {
    Weather(1, "0");
    EXPECT_EQ(CalculateSunriseSunset(2024, 21, 6, 78.22f, 15.65f, 0), -1.0f);  // midnight sun
    EXPECT_EQ(CalculateSunriseSunset(2024, 21, 12, 78.22f, 15.65f, 1), -1.0f); // polar night
    EXPECT_EQ(CalculateSunriseSunset(2024, 21, 6, 0.0f, 10.75f, 0), -1.0f);
    EXPECT_EQ(CalculateSunriseSunset(2024, 21, 6, 59.91f, 0.0f, 1), -1.0f);
}

TEST_F(WeatherCalcTest, WithoutADstKeyTheDateDecidesTheDaylightHour) {
    Weather(1, nullptr); // CET/CEST station zone
    const float summer = CalculateSunriseSunset(2024, 21, 6, 59.91f, 10.75f, 0);
    const float winter = CalculateSunriseSunset(2024, 21, 12, 59.91f, 10.75f, 0);
    EXPECT_NEAR(Minutes(summer), 3 * 60 + 54, 1);
    EXPECT_NEAR(Minutes(winter), 9 * 60 + 18, 1); // not 10:18
    Weather(1, "1");                              // an explicit key is kept
    EXPECT_NEAR(Minutes(CalculateSunriseSunset(2024, 21, 12, 59.91f, 10.75f, 0)), 10 * 60 + 18, 1);
}

TEST_F(WeatherCalcTest, DewpointAndHeatIndexOutsideAndInsideTheirRanges) {
    EXPECT_NEAR(CalculateDewpoint(20.0f, 50.0f), 9.40f, 0.005f);
    EXPECT_EQ(CalculateDewpoint(20.0f, 100.0f), 20.0f);
    EXPECT_EQ(CalculateDewpoint(20.0f, 0.05f), 20.0f);
    EXPECT_NEAR(CalculateHeatIndex(30.0f, 41.0f), 29.81f, 0.005f);
    EXPECT_EQ(CalculateHeatIndex(35.0f, 40.0f), 35.0f);
    EXPECT_EQ(CalculateHeatIndex(26.0f, 90.0f), 26.0f);
    EXPECT_EQ(CalculateDewpoint(NAN, 50.0f), 0.0f);
    EXPECT_EQ(CountLog("SERVER: Error calculating dewpoint!"), 1);
}

TEST_F(WeatherCalcTest, WindChillFromTheWindsMinuteAverage) {
    EXPECT_NEAR(CalculateWindchill(32.0f, 4.0766), -4.60f, 0.005f); // 10 mph
    EXPECT_NEAR(CelsiusToFahrenheit(CalculateWindchill(32.0f, 4.0766)), 23.73f, 0.005f);
    EXPECT_FLOAT_EQ(CalculateWindchill(32.0f, 0.0), 0.0f); // calm: capped at the air temperature
    Microlan::Bus().UseCelsius = true;
    EXPECT_EQ(TemperatureUnitLetter(), 'C');
    EXPECT_FLOAT_EQ(FahrenheitToCelsius(CelsiusToFahrenheit(-4.6f)), -4.6f);
}

TEST_F(WeatherCalcTest, AFaultThatStaysIsLoggedOnceAndCountedWhenItEnds) {
    for (int i = 0; i < 100; ++i)
        EXPECT_FLOAT_EQ(CalculateWindchill(32.0f, NAN), 0.0f); // a NaN multiplier in SENSORS.INI
    EXPECT_EQ(CountLog("SERVER: Error calculating windchill!"), 1);
    CalculateWindchill(32.0f, 0.0);
    CalculateWindchill(32.0f, 0.0);
    EXPECT_EQ(CountLog("SERVER: Error calculating windchill! - 100 times in a row, now ended"), 1);
    EXPECT_EQ(CountLog("windchill"), 2);
}
