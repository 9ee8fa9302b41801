// The orderly end when its steps fail: each failure is logged and the steps after it still run.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/IniFile.h"
#include "station/Publishing.h"
#include "station/StationNet.h"

using namespace station_test;

namespace {

// Services that start, but whose every stop throws, as a socket or DDE layer in trouble may.
class StuckServices : public TPublishing {
public:
    StuckServices(TMainForm& form, std::vector<std::string>& stops) : form_(form), stops_(stops) {}

    void StartDDEServices() override { form_.DDERunning = true; }
    void StartHTTPServices() override { form_.HTTPRunning = true; }
    void StartTCPServices() override { form_.TCPRunning = true; }
    void StartUDPServices() override { form_.UDPRunning = true; }
    void StopDDEServices() override { Stuck("DDE"); }
    void StopHTTPServices() override { Stuck("HTTP"); }
    void StopTCPServices() override { Stuck("TCP"); }
    void StopUDPServices() override { Stuck("UDP"); }

private:
    void Stuck(const std::string& service) {
        stops_.push_back(service);
        throw std::runtime_error(service + " will not stop");
    }

    TMainForm& form_;
    std::vector<std::string>& stops_;
};

} // namespace

class ShutdownTest : public StationNetTest {};

TEST_F(ShutdownTest, EveryServiceThatFailsToStopIsLoggedAndTheRestOfTheEndStillRuns) {
    Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\nDDEEnabled=1\r\nTCPEnabled=1\r\nTCPPort=0\r\n"
             "UDPEnabled=1\r\n[HTTP]\r\nEnabled=1\r\nPort=0\r\n");
    std::vector<std::string> stops;
    StationOptions.MakePublishing = [&](TMainForm& form) {
        return std::make_unique<StuckServices>(form, stops);
    };
    sim::DS2423& counter = AddCounter(0x501);
    counter.SetCounter(15, 4321);
    TMainForm& form = StartStation();
    Run(5000);
    ASSERT_TRUE(form.HTTPRunning && form.DDERunning && form.TCPRunning && form.UDPRunning);
    ASSERT_EQ(SensorSet().DS2423Sensors.Count(), 1);

    form.Unload1Click(nullptr);
    Run(2000);

    // Each stop was tried, in its order, and each failure told once with its cause.
    EXPECT_EQ(stops, (std::vector<std::string>{"HTTP", "DDE", "UDP", "TCP"}));
    EXPECT_EQ(CountLog("SERVER: Shutdown error"), 4);
    EXPECT_EQ(CountLog("HTTP will not stop"), 1);
    EXPECT_EQ(CountLog("TCP will not stop"), 1);
    // What comes after them still ran: the sensors freed, the port released, the end told.
    EXPECT_EQ(SensorSet().DS2423Sensors.Count(), 0);
    EXPECT_EQ(CountLog("SERVER: All services down..."), 1);
    EXPECT_TRUE(platform::Application->Terminated());
    platform::TIniFile::FlushCache();
    platform::TIniFile sensors(Path("SENSORS.INI"));
    EXPECT_EQ(sensors.ReadInteger(sim::Rom::Make(0x1D, 0x501).Text(), "RunningCounter", 0), 4321);
}
