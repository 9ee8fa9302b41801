// Session start, restart and rescan on a simulated net.
#include <gtest/gtest.h>

#include "onewire/DS2423.h"
#include "station/StationNet.h"

using namespace station_test;

class SessionTest : public StationNetTest {};

TEST_F(SessionTest, NoAdapterIsLoggedOnceAndTheStartIsTriedAgainEveryThirtySecondsUntilOneAnswers) {
    Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\n[HTTP]\r\nEnabled=1\r\nAddr=127.0.0.1\r\nPort=0\r\n");
    net->SetAdapterPresent(false);
    AddCounter(0x600);
    TMainForm& form = StartStation();
    EXPECT_EQ(CountLog("MicroLAN: Error starting session on port 1, type 64"), 1);
    EXPECT_EQ(platform::Application->Title(), "Waiting for the 1-Wire adapter...");
    EXPECT_FALSE(SessionRunning);
    EXPECT_EQ(platform::EventLoop::Get().Pending(MsgReadCycle), 0u);
    EXPECT_TRUE(form.Visible()); // the window is shown all the same
    EXPECT_TRUE(form.HTTPRunning) << "the web server serves meanwhile";

    const int attempts = net->SessionAttempts();
    Run(5 * 60000);
    EXPECT_GT(net->SessionAttempts(), attempts) << "tried again";
    EXPECT_EQ(CountLog("Error starting session"), 1) << "one line for the run of failures";
    EXPECT_EQ(CountLog("DRIVER: Main:"), 1);
    EXPECT_FALSE(SessionRunning);

    net->SetAdapterPresent(true);
    Run(30000);
    EXPECT_TRUE(SessionRunning);
    EXPECT_EQ(CountLog("MicroLAN: Session started on port 1, type 64"), 1);
    Run(3000);
    EXPECT_GT(SampleCount, 0u);
}

TEST_F(SessionTest, APortTypeTheDriverLacksIsToldOnceWithTheTypesItHasAndNotTriedAgain) {
    Settings("[Weather]\r\nPortNum=1\r\nPortType=6\r\n[HTTP]\r\nEnabled=1\r\nAddr=127.0.0.1\r\nPort=0\r\n");
    TMainForm& form = StartStation();
    Run(5 * 60000);
    EXPECT_EQ(CountLog("DRIVER: Port type 6 is not supported by this build; it drives port types 5 (DS2480 serial "
                       "adapter 1.1) and 64 (Simulated 1-Wire net 1.0) ([Weather] PortType in korvane.ini)"),
              1);
    EXPECT_EQ(CountLog("DRIVER: Type:"), 0);
    EXPECT_EQ(CountLog("MicroLAN: Error starting session on port 1, type 6"), 1);
    EXPECT_FALSE(form.StartTimer->Enabled()) << "no retry";
    EXPECT_EQ(platform::Application->Title(), "Port type 6 is not supported");
    EXPECT_TRUE(form.HTTPRunning) << "the web server serves all the same";
}

TEST_F(SessionTest, EmptyNetOffersRestartAndADeviceAddedLaterStartsTheStation) {
    TMainForm& form = StartStation();
    EXPECT_EQ(CountLog("No sensors found!"), 1);
    EXPECT_EQ(platform::Application->Title(), "No sensors found");
    EXPECT_TRUE(form.RestartButton->Visible());
    EXPECT_FALSE(SessionRunning);

    AddCounter(0x100);
    form.RestartButton->Click();
    EXPECT_FALSE(form.RestartButton->Visible());
    Run(500);
    EXPECT_TRUE(SessionRunning);
    EXPECT_EQ(SensorSet().DS2423Sensors.Count(), 1);
    EXPECT_EQ(CountLog("INFO: Added DS2423 sensor"), 1);
    Run(3000);
    EXPECT_GT(SampleCount, 0u);
}

TEST_F(SessionTest, ANetPluggedInLateIsScannedQuietlyEveryThirtySecondsUntilItsSensorsAreThere) {
    // The adapter's own ID chip answers; the net is not plugged in yet.
    net->Add<sim::RomOnlyDevice>(net->Trunk(), sim::Rom::Make(0x81, 0x77), "adapter ID");
    TMainForm& form = StartStation();
    EXPECT_EQ(CountLog("No sensors found!"), 1);
    EXPECT_FALSE(SessionRunning);
    Run(35000);
    net->SetAdapterPresent(false); // and the adapter goes away meanwhile
    Run(30000);
    EXPECT_EQ(platform::Application->Title(), "Waiting for the 1-Wire adapter...");
    net->SetAdapterPresent(true);
    AddCounter(0x700);
    AddThermometer(0x701);
    Run(30000);
    EXPECT_TRUE(SessionRunning);
    EXPECT_EQ(CountLog("MicroLAN: Session started on port 1, type 64"), 1);
    EXPECT_EQ(SensorSet().DeviceCount, 2);
    EXPECT_FALSE(form.RestartButton->Visible());
    Run(3000);
    EXPECT_GT(SampleCount, 0u);
    EXPECT_EQ(CountLog("No sensors found!"), 1) << "one line for the wait";
    EXPECT_EQ(CountLog("SERVER: Scanning MicroLAN for other devices..."), 2) << "the quiet scans say nothing";
    EXPECT_EQ(CountLog("INFO: Added DS2423 sensor"), 1);
}

TEST_F(SessionTest, RescanCountsOnlyTheNewDevicesAndKeepsTheOldObjects) {
    for (uint64_t s = 1; s <= 5; ++s)
        AddCounter(0x200 + s);
    TMainForm& form = StartStation();
    ASSERT_EQ(SensorSet().DeviceCount, 5);
    DS2423* first = SensorSet().DS2423Sensors[0];
    AddCounter(0x301);
    AddThermometer(0x302);
    form.RescanMLan->Click();
    Run(3000); // a rescan chosen inside a pass runs when that pass has ended
    EXPECT_EQ(CountLog("SERVER: Scan completed, sensors found total:7  new:2"), 1);
    EXPECT_EQ(SensorSet().DS2423Sensors[0], first);
    EXPECT_EQ(SensorSet().DS2423Sensors.Count(), 6);
    EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 1);
    EXPECT_TRUE(form.RescanMLan->Enabled());
}

TEST_F(SessionTest, RescanStopsTheWebServerAndStartsItAgainOnlyWhenItIsEnabled) {
    Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\n[HTTP]\r\nEnabled=1\r\nAddr=127.0.0.1\r\nPort=0\r\n");
    AddCounter(0x250);
    TMainForm& form = StartStation();
    Run(3000);
    ASSERT_TRUE(form.HTTPRunning);
    form.RescanMLan->Click();
    Run(3000);
    EXPECT_TRUE(form.HTTPRunning) << "enabled: started again after the scan";
    EXPECT_EQ(CountLog("SERVER: HTTP services started"), 2);

    StationSettings.HTTPEnabled = false; // [HTTP] Enabled switched off while the server runs
    form.RescanMLan->Click();
    EXPECT_FALSE(form.HTTPRunning) << "stopped, and not started again";
    Run(3000);
    EXPECT_FALSE(form.HTTPRunning);
    EXPECT_EQ(CountLog("SERVER: HTTP services started"), 2);
    EXPECT_EQ(CountLog("SERVER: HTTP services shutting down"), 2);
}

TEST_F(SessionTest, ConfiguredButAbsentSensorsAreReported) {
    std::string humidity = sim::Rom::Make(0x26, 0x999).Text();
    std::string unknown = sim::Rom::Make(0x1D, 0x998).Text();
    Write("SENSORS.INI", "[" + humidity + "]\r\nType=Humidity\r\n[" + unknown + "]\r\nType=Unknown\r\n");
    AddCounter(0x400);
    StartStation();
    EXPECT_EQ(CountLog("WARNING: Missing Humidity sensor " + humidity + "!"), 1);
    EXPECT_EQ(CountLog(unknown), 0); // an Unknown entry is passed over
}

TEST_F(SessionTest, SessionsThatWillNotOpenAreToldOnceAndTheirReturnToo) {
    AddCounter(0x500);
    StartStation();
    Run(3000);
    ASSERT_TRUE(SessionRunning);
    const std::string lost = "MicroLAN: Cannot open a session on port 1, type 64: samples are skipped";
    const std::string back = "MicroLAN: Sessions on port 1, type 64 open again";
    net->SetSessionResult(0);
    Run(60000);
    EXPECT_EQ(CountLog(lost), 1);
    EXPECT_EQ(CountLog(back), 0);
    uint32_t samples = SensorSet().DS2423Sensors[0]->Samples;
    net->SetSessionResult(1);
    Run(10000);
    EXPECT_EQ(CountLog(back), 1);
    EXPECT_GT(SensorSet().DS2423Sensors[0]->Samples, samples);
    net->SetSessionResult(0);
    Run(30000);
    EXPECT_EQ(CountLog(lost), 2) << "a new run of failures is told again";
}

// A station with no port type set (a fresh korvane.ini, or none) is on the serial adapter, never on the
// simulated net: without an adapter it reads nothing and invents no weather.
class FreshStationTest : public korvane_test::StationFixture {};

TEST_F(FreshStationTest, WithoutAPortTypeItWaitsForTheSerialAdapterAndInventsNoWeather) {
    for (const char* ini : {"", "\x01 not an INI file \xFF\r\n[Weather\r\n"}) {
        Write("korvane.ini", ini);
        Start();
        platform::EventLoop::Get().RunFor(2 * 60000);
        EXPECT_FALSE(SessionRunning);
        EXPECT_EQ(SensorSet().DeviceCount, 0);
        EXPECT_EQ(CountLog("MicroLAN: Error starting session on port 1, type 5"), 1);
        EXPECT_EQ(CountLog("Simulated"), 0);
        EXPECT_NE(platform::Application->Title(), "Running!");
    }
}
