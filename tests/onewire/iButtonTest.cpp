// The generic sample (retries, resets, setup every 10th error, disabling at 50, the retry
// after an hour), selection, coupler switching, settings, logs, filter and HTML, on the simulated net.
#include "MicrolanNet.h"

#include "onewire/DataTables.h"
#include "platform/Strings.h"
#include "platform/tmex/Crc.h"
#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS2409.h"

using namespace microlan_test;

namespace {
// A sensor whose Read selects its device and checks a scratchpad read (CRC8), as the DS1820 class does.
class ProbeSensor : public iButton {
public:
    ProbeSensor(const uint16_t* coupler, int branch) : iButton(coupler, branch) { Type = "Probe"; }
    int Read() override {
        ++reads;
        if (!SelectDevice()) return 0;
        platform::tmex::TouchByte(Microlan::Bus().SessionHandle, 0xBE);
        Crc8Value = 0;
        for (int i = 0; i < 9; ++i)
            Crc8(static_cast<uint8_t>(platform::tmex::TouchByte(Microlan::Bus().SessionHandle, 0xFF)));
        return Crc8Value == 0 ? 1 : 0;
    }
    int reads = 0;
};
} // namespace

class IButtonTest : public MicrolanNetTest {
protected:
    void SetUp() override {
        MicrolanNetTest::SetUp();
        device = &net->Add<sim::DS18B20>(net->Trunk(), 0x112233445566ULL);
    }
    std::unique_ptr<ProbeSensor> MakeProbe() { return Make<ProbeSensor>(*device, nullptr, 0); }
    sim::DS18B20* device = nullptr;
};

TEST_F(IButtonTest, ConstructorTakesTheCurrentDeviceAndItsSettings) {
    SetKey(*device, "Description", "Outdoor");
    SetKey(*device, "MaxRetry", "5");
    SetKey(*device, "Debug", "1");
    auto probe = MakeProbe();
    EXPECT_EQ(iButton::RomText(probe->Rom), "5666554433221128");
    EXPECT_EQ(probe->DDEName, "DDE5666554433221128");
    EXPECT_EQ(probe->Description, "Outdoor");
    EXPECT_EQ(probe->MaxRetry, 5);
    EXPECT_EQ(probe->Debug, 1);
    EXPECT_EQ(probe->ReadEnabled, 1);
    EXPECT_EQ(probe->LogErrorPORT, "10001");
    EXPECT_EQ(probe->HistoryPending, 1);
    EXPECT_EQ(probe->SwitchPort, 0);
}

TEST_F(IButtonTest, GoodSampleOnFirstTry) {
    auto probe = MakeProbe();
    net->ClearTraffic();
    EXPECT_EQ(probe->Sample(), 1);
    EXPECT_EQ(probe->reads, 1);
    EXPECT_EQ(probe->Samples, 1u);
    EXPECT_EQ(probe->ErrorCount, 0u);
    EXPECT_EQ(probe->LastReadOk, 1);
    EXPECT_EQ(CountCalls("R=1"), 0);
    EXPECT_NE(tmex::ValidSession(Microlan::Bus().SessionHandle), 1); // the session ends after the sample
}

TEST_F(IButtonTest, PersistentCrcFaultTriesThreeTimesWithOneResetBeforeTheThird) {
    auto probe = MakeProbe();
    device->InjectCrcErrors(-1);
    net->ClearTraffic();
    EXPECT_EQ(probe->Sample(), 0);
    EXPECT_EQ(probe->reads, 3);
    EXPECT_EQ(CountCalls("R=1"), 1);
    // The reset comes after the second try's reads and before the third try's selection.
    auto calls = net->Calls();
    int accesses = 0;
    for (const auto& c : calls) {
        if (c == "ACC=1") ++accesses;
        if (c == "R=1") {
            EXPECT_EQ(accesses, 2);
        }
    }
    EXPECT_EQ(probe->ErrorCount, 1u);
    EXPECT_EQ(probe->Samples, 1u);
    EXPECT_EQ(CountLog("Probe"), 0); // no status-log line for a plain failure
}

TEST_F(IButtonTest, TransientFaultCostsOneExtraTry) {
    auto probe = MakeProbe();
    device->InjectCrcErrors(1);
    EXPECT_EQ(probe->Sample(), 1);
    EXPECT_EQ(probe->reads, 2);
    EXPECT_EQ(probe->ErrorCount, 0u);
}

TEST_F(IButtonTest, MaxRetryZeroStillTriesOnce) {
    SetKey(*device, "MaxRetry", "0");
    auto probe = MakeProbe();
    device->InjectCrcErrors(-1);
    EXPECT_EQ(probe->Sample(), 0);
    EXPECT_EQ(probe->reads, 1);
}

TEST_F(IButtonTest, SetupEveryTenthErrorThenDisabledAtFiftyThenRetriedAfterAnHour) {
    auto probe = MakeProbe();
    probe->Description = "Outdoor";
    device->InjectCrcErrors(-1);
    for (int i = 0; i < 9; ++i)
        probe->Sample();
    EXPECT_EQ(probe->ErrorCount, 9u);
    net->ClearTraffic();
    probe->Sample(); // ErrorCount 9: no setup
    EXPECT_EQ(CountCalls("SETUP=1"), 0);
    EXPECT_EQ(probe->ErrorCount, 10u);
    net->ClearTraffic();
    probe->Sample(); // ErrorCount 10: setup, log, and the sample still goes on
    EXPECT_EQ(CountCalls("SETUP=1"), 1);
    EXPECT_EQ(CountLog("Probe 5666554433221128: 10 errors reading Outdoor: MLAN OK"), 1);
    EXPECT_EQ(probe->reads, 33);
    while (probe->ErrorCount < 50)
        probe->Sample();
    EXPECT_EQ(CountLog("errors reading Outdoor: MLAN OK"), 4); // 10, 20, 30, 40
    EXPECT_EQ(probe->Sample(), 0);                             // 50: disabled, still tried
    EXPECT_EQ(CountLog("50 errors reading Outdoor, sampling DISABLED! (will try later)"), 1);
    EXPECT_EQ(probe->ReadEnabled, 0);
    EXPECT_EQ(probe->ErrorCount, 51u);

    // Disabled: "not sampled", no bus traffic, no counter touched, until more than 3600 s.
    net->ClearTraffic();
    uint32_t samples = probe->Samples;
    clock_->Advance(3600 * 1000);
    EXPECT_EQ(probe->Sample(), 0);
    EXPECT_TRUE(net->Traffic().empty());
    EXPECT_EQ(probe->Samples, samples);
    EXPECT_EQ(probe->ErrorCount, 51u);

    device->InjectCrcErrors(0);
    clock_->Advance(1000);
    EXPECT_EQ(probe->Sample(), 1);
    EXPECT_EQ(CountLog("Outdoor: Sampling ENABLED (trying again)"), 1);
    EXPECT_EQ(probe->ReadEnabled, 1);
    EXPECT_EQ(probe->ErrorCount, 0u);
}

TEST_F(IButtonTest, FailuresWhileTheAdapterIsSilentCountNoErrorAndAreToldOnce) {
    auto probe = MakeProbe();
    probe->Description = "Outdoor";
    device->InjectCrcErrors(-1);
    while (probe->ErrorCount < 10)
        probe->Sample();
    const uint32_t samples = probe->Samples;
    // The adapter falls silent while its device stays: sessions open, nothing answers.
    tmex::InstallBackend(1, tmex::kPortTypeSimulated, std::make_shared<tmex::NoAdapterBackend>("silent"));
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(probe->Sample(), 0);
    EXPECT_EQ(probe->ErrorCount, 10u);
    EXPECT_EQ(probe->Samples, samples);
    EXPECT_EQ(probe->ReadEnabled, 1);
    EXPECT_EQ(CountLog("10 errors reading Outdoor"), 1) << "the tenth error's step runs once";
    EXPECT_EQ(CountLog("MicroLAN: No answer from the adapter on port 1, type 64: failed samples are not counted"),
              1);
    tmex::InstallBackend(1, tmex::kPortTypeSimulated, net);
    device->InjectCrcErrors(0);
    EXPECT_EQ(probe->Sample(), 1);
    EXPECT_EQ(probe->ErrorCount, 0u);
    EXPECT_EQ(CountLog("MicroLAN: The adapter on port 1, type 64 answers again"), 1);
}

TEST_F(IButtonTest, AGoodSampleAtTheFiftiethErrorEnablesTheSensorAgainAtOnce) {
    auto probe = MakeProbe();
    probe->Description = "Outdoor";
    device->InjectCrcErrors(-1);
    while (probe->ErrorCount < 50)
        probe->Sample();
    device->InjectCrcErrors(0);
    EXPECT_EQ(probe->Sample(), 1); // disables, then succeeds
    EXPECT_EQ(CountLog("50 errors reading Outdoor, sampling DISABLED!"), 1);
    EXPECT_EQ(CountLog("Probe 5666554433221128: Outdoor: Sampling ENABLED"), 1);
    EXPECT_EQ(probe->ReadEnabled, 1);
    net->ClearTraffic();
    EXPECT_EQ(probe->Sample(), 1); // not stuck waiting for errors that no longer come
    EXPECT_FALSE(net->Traffic().empty());
}

TEST_F(IButtonTest, UserDisabledSensorStaysOff) {
    SetKey(*device, "Read", "0");
    auto probe = MakeProbe();
    probe->ErrorCount = 7; // errors from before the user switched it off do not bring it back
    for (int hour = 0; hour < 3; ++hour) {
        clock_->Advance(3601 * 1000);
        net->ClearTraffic();
        EXPECT_EQ(probe->Sample(), 0); // "not sampled", never "success"
        EXPECT_TRUE(net->Traffic().empty());
    }
    EXPECT_EQ(probe->Samples, 0u);
}

TEST_F(IButtonTest, ASensorTheUserSwitchesOffWhileDisabledByErrorsStaysOff) {
    auto probe = MakeProbe();
    device->InjectCrcErrors(-1);
    while (probe->ReadEnabled)
        probe->Sample();
    SetKey(*device, "Read", "0"); // edited in SENSORS.INI meanwhile
    device->InjectCrcErrors(0);
    clock_->Advance(3601 * 1000);
    net->ClearTraffic();
    EXPECT_EQ(probe->Sample(), 0);
    EXPECT_TRUE(net->Traffic().empty());
    clock_->Advance(3601 * 1000);
    EXPECT_EQ(probe->Sample(), 0);
    EXPECT_TRUE(net->Traffic().empty());
    EXPECT_EQ(CountLog("Sampling ENABLED"), 0);
}

TEST_F(IButtonTest, ShortedNetReachesTheLogText) {
    auto probe = MakeProbe();
    probe->Description = "Outdoor";
    probe->ErrorCount = 10;
    net->SetShorted(true);
    probe->Sample();
    EXPECT_EQ(CountLog("10 errors reading Outdoor: MLAN shorted!"), 1);
    net->SetShorted(false);
    net->SetSetupResult(0);
    probe->ErrorCount = 20;
    probe->Sample();
    EXPECT_EQ(CountLog("20 errors reading Outdoor: MLAN unavailable"), 1);
}

TEST_F(IButtonTest, SessionThatNeverOpensChangesNoCounter) {
    auto probe = MakeProbe();
    net->SetSessionResult(0);
    uint64_t before = clock_->TotalAdvancedMs();
    EXPECT_EQ(probe->Sample(), 0);
    EXPECT_EQ(clock_->TotalAdvancedMs() - before, 5100u);
    EXPECT_EQ(probe->ErrorCount, 0u);
    EXPECT_EQ(probe->Samples, 0u);
    EXPECT_EQ(probe->reads, 0);
}

TEST_F(IButtonTest, SecondsSinceLastSampleIsWrapSafe) {
    auto probe = MakeProbe();
    EXPECT_EQ(probe->SecondsSinceLastSample(), 2147483647);
    probe->Sample();
    EXPECT_EQ(probe->SecondsSinceLastSample(), 2147483647);
    clock_->SetTick(0xFFFFFFFFu - 2000);
    probe->Sample();
    clock_->Advance(5000); // the tick counter wraps
    EXPECT_EQ(probe->SecondsSinceLastSample(), 5);
}

TEST_F(IButtonTest, FilterValueIsTheMedianPairOfTen) {
    auto probe = MakeProbe();
    EXPECT_EQ(probe->FilterValue(7.0, 0), 7.0); // fewer than 2 samples: raw
    EXPECT_EQ(probe->FilterValue(5.0, 4), 5.0); // channel 4: raw
    probe->Samples = 2;
    for (int i = 0; i < 10; ++i) {
        probe->Samples = 2 + static_cast<uint32_t>(i);
        probe->FilterValue(static_cast<double>(i), 1);
    }
    probe->Samples = 12;
    // Entries 0..9 hold 8, 9, 0, 1, ... 7 after the loop; entry 2 becomes 100: 1..9 and 100.
    EXPECT_DOUBLE_EQ(probe->FilterValue(100.0, 1), (6.0 + 7.0) / 2.0);
}

TEST_F(IButtonTest, CouplerBracketAroundEveryTry) {
    auto& coupler = net->Add<sim::DS2409>(net->Trunk(), 0x000000000077ULL);
    auto& branchDevice = net->Add<sim::DS18B20>(coupler.Main(), 0x000000000099ULL);
    auto couplerWords = coupler.rom().Words();
    auto probe = Make<ProbeSensor>(branchDevice, couplerWords.data(), 1);
    EXPECT_EQ(probe->SwitchPort, 1);
    net->ClearTraffic();
    EXPECT_EQ(probe->Sample(), 1);
    std::string calls = net->CallText();
    std::string set = "SET(" + coupler.rom().Text() + ")=1";
    EXPECT_NE(calls.find(set + " ACC=1 T(CC)=CC T(FF)=FF T(FF)=00 T(FF)=CC"), std::string::npos) << calls;
    EXPECT_NE(calls.find(set + " ACC=1 T(66)=66 T(FF)=66 T(FF)=FF"), std::string::npos) << calls;
    EXPECT_EQ(coupler.ActiveBranch(), sim::DS2409::None);

    // A coupler that does not switch: the branch device is invisible, the read fails.
    coupler.SetStuck(true);
    EXPECT_EQ(probe->Sample(), 0);
}

TEST_F(IButtonTest, SaveSettingsWritesTheCommonKeys) {
    auto probe = MakeProbe();
    probe->SaveSettings();
    EXPECT_EQ(Key(*device, "SwitchPort"), "NONE");
    EXPECT_EQ(Key(*device, "SwitchSerial"), "");
    EXPECT_EQ(Key(*device, "Description"), "5666554433221128");
    EXPECT_EQ(Key(*device, "MaxRetry"), "3");
    const uint16_t coupler[8] = {0x1F, 0xF5, 0, 0, 0, 0, 0, 0x12};
    probe->AssignCoupler(coupler, 2);
    probe->SaveSettings();
    EXPECT_EQ(Key(*device, "SwitchPort"), "AUX");
    EXPECT_EQ(Key(*device, "SwitchSerial"), "120000000000F51F"); // 16-bit words, no sign extension
    probe->SetType("Temperature");
    probe->SetRead(0);
    EXPECT_EQ(Key(*device, "Type"), "Temperature");
    EXPECT_EQ(Key(*device, "Read"), "0");
}

TEST_F(IButtonTest, TwoObjectsOnOneSensorsIniBothPersist) {
    auto a = MakeProbe();
    auto& other = net->Add<sim::DS18B20>(net->Trunk(), 0x000000000042ULL);
    auto b = Make<ProbeSensor>(other, nullptr, 0);
    a->SetType("Alpha");
    b->SetType("Beta");
    a->Description = "A";
    a->SaveSettings();
    EXPECT_EQ(Key(other, "Type"), "Beta");
    EXPECT_EQ(Key(*device, "Type"), "Alpha");
    EXPECT_EQ(Key(*device, "Description"), "A");
}

TEST_F(IButtonTest, LogErrorIsSilencedByAShortLogErrorPortButDebugLogIsNot) {
    auto probe = MakeProbe();
    probe->LogError("one");
    EXPECT_EQ(CountLog("Probe 5666554433221128: one"), 1);
    probe->LogErrorPORT = "1";
    probe->LogError("two");
    EXPECT_EQ(CountLog("two"), 0);
    probe->Description = "Shed/../x";
    probe->DebugLog("three");
    EXPECT_EQ(CountLog("Probe 5666554433221128: three"), 1);
    std::string content = Read("DEBUG_Shed_.._x.log");
    EXPECT_NE(content.find(": three\r\n"), std::string::npos);
    EXPECT_EQ(content.size(), 24u + 2u + 5u + 2u); // 24-character ctime form
}

TEST_F(IButtonTest, RomTextAndHexDigits) {
    const uint16_t rom[8] = {0x28, 0xF5, 0x01, 0x02, 0x03, 0x04, 0x05, 0xAB};
    EXPECT_EQ(iButton::RomText(rom), "AB0504030201F528");
    EXPECT_STREQ(iButton::RomToHex(rom), "AB0504030201F528");
    EXPECT_EQ(iButton::HexDigitValue('A'), 10);
    EXPECT_EQ(iButton::HexDigitValue('9'), 9);
    EXPECT_EQ(iButton::HexDigitValue('a'), 0); // only upper case (documented)
}

TEST_F(IButtonTest, CrcRunsMatchTheSharedCrc) {
    auto probe = MakeProbe();
    probe->Crc16Value = 0;
    for (uint8_t b :
         {uint8_t(0x55), uint8_t(0x07), uint8_t(0x00), uint8_t(0x3F), uint8_t(0x1F), uint8_t(0xE2)})
        probe->Crc16(b);
    EXPECT_EQ(probe->Crc16Value, 0xB001);
    probe->Crc8Value = 0;
    for (char c : std::string("123456789"))
        probe->Crc8(static_cast<uint8_t>(c));
    EXPECT_EQ(probe->Crc8Value, 0xA1);
}

TEST_F(IButtonTest, DefaultHtmlAndStatus) {
    auto probe = MakeProbe();
    std::string html = probe->GetHTML();
    EXPECT_EQ(html.rfind("<TABLE CELLPADDING=0 CELLSPACING=0 WIDTH=250 BORDER=0>", 0), 0u);
    EXPECT_NE(html.find("<TD ALIGN=RIGHT><FONT SIZE=2>5666554433221128</FONT>"), std::string::npos);
    EXPECT_NE(html.find("2147483647 seconds ago"), std::string::npos);
    EXPECT_EQ(html.find("Hub serial"), std::string::npos);
    EXPECT_EQ(probe->GetStatus(), "5666554433221128: ");
}

TEST_F(IButtonTest, PumpMessagesIsAReentrancySafeHookThatAlwaysTakesItsTime) {
    int calls = 0;
    uint64_t before = clock_->TotalAdvancedMs();
    SetPumpMessagesHook([&](uint32_t ms) {
        ++calls;
        PumpMessages(7); // nested: only sleeps
        platform::Sleep(ms - 7);
    });
    PumpMessages(100);
    EXPECT_EQ(calls, 1);
    SetPumpMessagesHook(nullptr);
    PumpMessages(50); // without a hook: a plain sleep
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(clock_->TotalAdvancedMs() - before, 150u);
}
