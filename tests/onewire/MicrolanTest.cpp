// Start-up, port settings, session, setup, line parameters and the byte primitives,
// against the simulated net.
#include "MicrolanNet.h"

#include "onewire/DataTables.h"
#include "platform/tmex/sim/DS18B20.h"

using namespace microlan_test;

class MicrolanTest : public MicrolanNetTest {
protected:
    void WriteIni(const std::string& text) { Write("korvane.ini", text); }
};

TEST_F(MicrolanTest, StartupReadsItsSettingsAndLogsTheDriverVersions) {
    WriteIni("[Weather]\r\nPortNum=1\r\nPortType=64\r\nCelsius=1\r\nSampleInterval=100\r\n[DS1820]\r\n"
             "ReadInterval=30\r\n");
    ASSERT_TRUE(Microlan::Startup());
    EXPECT_TRUE(Microlan::Bus().UseCelsius);
    EXPECT_EQ(Microlan::Bus().SampleInterval, 500);
    EXPECT_EQ(Microlan::Bus().DS1820ReadInterval, 30);
    EXPECT_EQ(Microlan::Bus().DS2438ReadInterval, 60);
    EXPECT_EQ(Microlan::Bus().RGaugeReadInterval, 10);
    EXPECT_EQ(CountLog("DRIVER: Main: "), 1);
    EXPECT_EQ(CountLog(std::string("DRIVER: Type: ") + platform::tmex::sim::kSimulatedNetVersion), 1);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Setup: OK");
    EXPECT_NE(tmex::ValidSession(Microlan::Bus().SessionHandle), 1); // setup ended its session
    EXPECT_EQ(CountCalls("TMLINE(1)=1"), 0);                         // only for port type 5
}

TEST_F(MicrolanTest, SampleIntervalIsClamped) {
    WriteIni("[Weather]\r\nPortNum=1\r\nPortType=64\r\nSampleInterval=20000\r\n");
    ASSERT_TRUE(Microlan::Startup());
    EXPECT_EQ(Microlan::Bus().SampleInterval, 10000);
    WriteIni("[Weather]\r\nPortNum=1\r\nPortType=64\r\n");
    ASSERT_TRUE(Microlan::Startup());
    EXPECT_EQ(Microlan::Bus().SampleInterval, 1000);
}

TEST_F(MicrolanTest, DriverDefaultPortZeroBecomesPortOneTypeFiveWithLineParameters) {
    tmex::SetDefaultPortOverride(0, 0);
    tmex::InstallBackend(1, tmex::kPortTypeDS2480, net); // a serial adapter that answers
    Write("korvane.ini", "[TMEX]\r\nNormalPDSRC=7\r\n");
    ASSERT_TRUE(Microlan::Startup());
    EXPECT_EQ(Microlan::Bus().PortNum, 1);
    EXPECT_EQ(Microlan::Bus().PortType, 5);
    EXPECT_EQ(CountCalls("TMLINE(1)=1"), 1);
    EXPECT_EQ(CountCalls("TMLINE(0)=1"), 1);
    EXPECT_EQ(Microlan::Bus().TmexParameterBlock.normalPDSRC, 7); // the key replaces the adapter's value
    EXPECT_EQ(Microlan::Bus().TmexParameterBlock.normalW1LT, 1);  // no key: the adapter's value stays
    EXPECT_EQ(std::string(Microlan::Bus().TmexParameterBlock.name), "DS2480");
}

TEST_F(MicrolanTest, LineParameterFailureIsLoggedAndStartupStillSucceeds) {
    tmex::InstallBackend(1, tmex::kPortTypeDS2480, net);
    WriteIni("[Weather]\r\nPortNum=1\r\nPortType=5\r\n");
    net->SetLineParameterResult(0);
    EXPECT_TRUE(Microlan::Startup());
    EXPECT_EQ(CountLog("MicroLAN: Error calling TMLine!"), 1);
}

TEST_F(MicrolanTest, SerialAdapterWithoutBackendFailsTheStartup) {
    WriteIni("[Weather]\r\nPortNum=1\r\nPortType=5\r\n");
    EXPECT_FALSE(Microlan::Startup());
    EXPECT_EQ(CountLog("MicroLAN: Error starting session on port 1, type 5"), 1);
}

TEST_F(MicrolanTest, SetupResultFourFailsTheStartupWithThePortMessage) {
    WriteIni("[Weather]\r\nPortNum=1\r\nPortType=64\r\n");
    net->SetSetupResult(4);
    EXPECT_FALSE(Microlan::Startup());
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Setup: Not supported");
    EXPECT_EQ(CountLog("MicroLAN: Error starting session on port 1, type 64"), 1);
}

TEST_F(MicrolanTest, ShortedNetSetupKeepsTheDriverResult) {
    net->SetShorted(true);
    EXPECT_EQ(Microlan::Setup(), 0);
    EXPECT_EQ(Microlan::Bus().LastSetupResult, 2);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Setup: Failed, MLan shorted");
}

TEST_F(MicrolanTest, SessionThatNeverOpensCosts51AttemptsOnTheSimulatedClock) {
    net->SetSessionResult(0);
    uint64_t before = clock_->TotalAdvancedMs();
    EXPECT_FALSE(Microlan::StartSession());
    EXPECT_EQ(net->SessionAttempts(), 51);
    EXPECT_EQ(clock_->TotalAdvancedMs() - before, 5100u);
}

TEST_F(MicrolanTest, SessionBusyTwiceThenOpens) {
    net->ScriptSessionResults({0, 0});
    EXPECT_TRUE(Microlan::StartSession());
    EXPECT_EQ(net->SessionAttempts(), 3);
    int attempts = net->SessionAttempts();
    EXPECT_TRUE(Microlan::StartSession()); // still valid: kept
    EXPECT_EQ(net->SessionAttempts(), attempts);
    Microlan::EndSession();
    EXPECT_NE(tmex::ValidSession(Microlan::Bus().SessionHandle), 1);
}

TEST_F(MicrolanTest, NegativeHandleStopsAtOnce) {
    net->SetSessionResult(-1);
    EXPECT_FALSE(Microlan::StartSession());
    EXPECT_EQ(net->SessionAttempts(), 1);
}

TEST_F(MicrolanTest, BytePrimitives) {
    net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    ASSERT_TRUE(Microlan::StartSession());
    EXPECT_EQ(Microlan::ReadByte(), 255); // 0xFF is data, not an error
    EXPECT_EQ(Microlan::SendByte(0x44), 1);
    EXPECT_EQ(Microlan::ResetBus(), 1);
    net->InjectEchoErrors(1, 0x5A);
    EXPECT_EQ(Microlan::SendByte(0x44), 0);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Error: Unknown error");
    net->InjectTouchErrors(1, -4);
    EXPECT_EQ(Microlan::ReadByte(), 0);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Error: Error reading or writing a packet");
    net->SetShorted(true);
    EXPECT_EQ(Microlan::ResetBus(), 0);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Error: MicroLan shorted");
    Microlan::EndSession();
    EXPECT_EQ(Microlan::ReadByte(), 0); // invalid session
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Error: Session not valid");
}

TEST_F(MicrolanTest, CheckResultTexts) {
    EXPECT_EQ(Microlan::CheckResult(1, 1), 1);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "");
    EXPECT_EQ(Microlan::CheckResult(4, 1), 0);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Error: Function not supported");
    Microlan::CheckResult(-13, 1);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Error: Function not supported");
    Microlan::CheckResult(3, 1);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Error: Specified MicroLan nonexistent");
    Microlan::CheckResult(0, 1);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Error...");
    Microlan::CheckResult(-17, 1);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Error: Port not initalized");
    Microlan::CheckResult(-201, 1);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Error: Hardware-specific driver not found");
    Microlan::CheckResult(0x5A, 1);
    EXPECT_EQ(Microlan::Bus().LastTmexError, "TMEX Error: Unknown error");
}

TEST_F(MicrolanTest, StartupLoadsTheDataFilesAndTheSerialList) {
    WriteIni("[Weather]\r\nPortNum=1\r\nPortType=64\r\n");
    Write("COMPASS.DAT", "Nord\r\n");
    Write("ini.txt", "0123456789ABCDEF\r\n");
    Write("SENSORS.INI", "[A200000001B81C02]\r\nType=Humidity\r\n");
    ASSERT_TRUE(Microlan::Startup());
    EXPECT_EQ(CountLog("SERVER: Loading COMPASS.DAT..."), 1);
    EXPECT_EQ(CountLog("SERVER: Loading BEAUFORT.DAT..."), 0);
    EXPECT_EQ(CountLog("SERVER: Loading INI.TXT..."), 1);
    EXPECT_TRUE(IniTxtLoaded);
    EXPECT_EQ(std::string(CompassPointNames[0]), "Nord");
    EXPECT_EQ(Microlan::SerialListCount(), 1);
    EXPECT_EQ(std::string(ConfiguredSerials[0]), "A200000001B81C02");
    Microlan::ResetDataTables();
}

TEST_F(MicrolanTest, AFreshStationIsOnTheSerialAdapterAndOnTheDemoNetOnlyWhenItsSettingsSaySo) {
    tmex::ResetDriver(); // nothing installed: the registered port types
    tmex::SetDriverSettingsPath(Path("tmex.ini"));
    tmex::SetDriverLog([](const std::string& line) { Microlan::Log(line); });
    EXPECT_FALSE(Microlan::Startup()) << "no serial device is set";
    EXPECT_EQ(Microlan::Bus().PortNum, 1);
    EXPECT_EQ(Microlan::Bus().PortType, tmex::kPortTypeDS2480);
    EXPECT_EQ(CountLog("MicroLAN: Error starting session on port 1, type 5"), 1);
    EXPECT_EQ(CountLog("DRIVER: DS2480 port 1: no serial device set for this port"), 1);

    WriteIni("[Weather]\r\nPortType=64\r\n"); // the simulated port 1 builds the demo net
    ASSERT_TRUE(Microlan::Startup());
    EXPECT_EQ(Microlan::Bus().PortType, tmex::kPortTypeSimulated);
    EXPECT_EQ(CountLog("DRIVER: Main: Korvane 1-Wire driver"), 2);
    EXPECT_EQ(CountLog(std::string("DRIVER: Type: ") + platform::tmex::sim::kSimulatedNetVersion), 1);
    ASSERT_TRUE(Microlan::StartSession());
    tmex::FamilySearchSetup(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, 0x1F);
    EXPECT_EQ(tmex::First(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer), 1); // the coupler
    Microlan::EndSession();
}

TEST_F(MicrolanTest, DriverSettingsFileChoosesTheDefaultPort) {
    tmex::InstallBackend(3, tmex::kPortTypeSimulated, net);
    Write("TMEX.INI", "[Driver]\r\nDefaultPortNum=3\r\nDefaultPortType=64\r\n");
    ASSERT_TRUE(Microlan::Startup());
    EXPECT_EQ(Microlan::Bus().PortNum, 3);
}
