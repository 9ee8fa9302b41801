// The DS18x20 thermometers read end to end through the generic sample and the simulated devices:
// decoding goldens, plausibility rules, conversion timing, retries on CRC faults, marks, alarms, HTML.
#include "TemperatureSensorNet.h"

#include "onewire/DS1820.h"
#include "platform/Clock.h"
#include "platform/Strings.h"
#include "platform/tmex/sim/DS1822.h"
#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS18S20.h"

using namespace temperature_test;
using Pad = sim::Thermometer::Pad;

class DS1820Test : public TemperatureNetTest {
protected:
    // The local time of day now, as a line names it ("14:03:22").
    static std::string ClockText() {
        const platform::LocalTime now = platform::Clock::Get().Now();
        return platform::Format("%02d:%02d:%02d", now.hour, now.minute, now.second);
    }
    // One sample with a given scratchpad; the smoothing is bypassed so the decoded value shows as is.
    int SampleRaw(DS1820& sensor, sim::Thermometer& device, const Pad& pad) {
        sensor.temp.value = 0.0;
        device.SetScratchpadRaw(pad);
        return sensor.Sample();
    }
};

TEST_F(DS1820Test, DS18S20DecodesHalfDegreesWithCountsAndFloorsBelowZero) {
    auto& device = net->Add<sim::DS18S20>(net->Trunk(), 0x112233445566ull);
    auto sensor = Make<DS1820>(device, 0);
    struct Case {
        Pad pad;
        double celsius;
    };
    const Case cases[] = {
        {{0x32, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0C, 0x10}, 25.0},
        {{0x32, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0E, 0x10}, 24.875}, // count 14 of 16 is decoded
        {{0xF5, 0xFF, 0x4B, 0x46, 0xFF, 0xFF, 0x04, 0x10}, -5.5},   // truncation would give -4.5
        {{0xFF, 0xFF, 0x4B, 0x46, 0xFF, 0xFF, 0x04, 0x10}, -0.5},   // truncation would give +0.5
    };
    for (const Case& c : cases) {
        ASSERT_EQ(SampleRaw(*sensor, device, c.pad), 1) << c.celsius;
        EXPECT_DOUBLE_EQ(sensor->temp.value, c.celsius);
    }
}

TEST_F(DS1820Test, DS18S20RefusesCountsAndTakesItsPowerOnPatternOnlyAfterAReadingNearIt) {
    auto& device = net->Add<sim::DS18S20>(net->Trunk(), 0x112233445566ull);
    auto sensor = Make<DS1820>(device, 0);
    const Pad powerOn = {0xAA, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0C, 0x10};
    EXPECT_EQ(SampleRaw(*sensor, device, {0x32, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0F, 0x10}),
              0); // 16 - 15 == 1
    EXPECT_EQ(SampleRaw(*sensor, device, {0x32, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x00, 0x00}),
              0); // no count per C
    EXPECT_EQ(SampleRaw(*sensor, device, powerOn), 0);
    EXPECT_EQ(sensor->temp.value, 0.0);
    EXPECT_EQ(sensor->ErrorCount, 3u);
    // Warmed through its neighbours: 84.9375 C (the power-on bytes but for its count), then 85.0.
    EXPECT_EQ(SampleRaw(*sensor, device, {0xAA, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0D, 0x10}), 1);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 84.9375);
    sensor->MaxRetry = 1; // each read alone
    EXPECT_EQ(SampleRaw(*sensor, device, powerOn), 1);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 85.0);
}

TEST_F(DS1820Test, DS18B20AcceptsZeroAndAnEightyFiveAfterItsNeighbourButNotAShortedScratchpad) {
    auto& device = net->Add<sim::DS18B20>(net->Trunk(), 0x0102030405ull);
    auto sensor = Make<DS1820>(device, 0);
    const Pad powerOn = {0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10};
    EXPECT_EQ(SampleRaw(*sensor, device, {0x5E, 0xFF, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10}), 1);
    EXPECT_DOUBLE_EQ(sensor->temp.value, -10.125);
    EXPECT_EQ(SampleRaw(*sensor, device, powerOn), 0) << "85 C right after -10 C";
    EXPECT_EQ(SampleRaw(*sensor, device, {0x40, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10}), 1);
    EXPECT_EQ(SampleRaw(*sensor, device, powerOn), 1);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 85.0); // 84 C, then 85 C: a sensor warming through it
    // The melting point is a real reading; only nine zero bytes (a shorted net, CRC 0) are refused.
    sensor->temp.value = 3.0;
    device.SetScratchpadRaw({0x00, 0x00, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10});
    EXPECT_EQ(sensor->Sample(), 1);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 2.7);
    EXPECT_EQ(SampleRaw(*sensor, device, {0, 0, 0, 0, 0, 0, 0, 0}), 0);
    EXPECT_EQ(SampleRaw(*sensor, device, {0x40, 0x08, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10}), 0); // 132 C

    // After a conversion that was not confirmed the device may have lost its power: 85 C is refused
    // until a reading is taken again, even right after 84 C.
    EXPECT_EQ(SampleRaw(*sensor, device, {0x40, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10}), 1);
    net->SetLevelResult(0);
    EXPECT_EQ(sensor->Sample(), 0);
    net->SetLevelResult(std::nullopt);
    EXPECT_EQ(SampleRaw(*sensor, device, powerOn), 0);
    EXPECT_EQ(SampleRaw(*sensor, device, powerOn), 0);
    EXPECT_EQ(SampleRaw(*sensor, device, {0x38, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10}), 1);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 83.5);
    EXPECT_EQ(SampleRaw(*sensor, device, powerOn), 1);
}

// A device that lost its power under the pull-up, or never converts, holds its power-on 85 C, and a
// driver need not see it: 85 C is taken only right after a reading of the sensor near it (a sensor
// truly at 85 C got there through its neighbours), never because conversions agree on it. The first
// refusal of a run is logged, the run's count when a reading ends it.
TEST_F(DS1820Test, ThePowerOnValueIsTakenOnlyRightAfterACurrentReadingNearIt) {
    auto& device = net->Add<sim::DS1822>(net->Trunk(), 0x0102ull);
    device.SetParasite(true);
    auto sensor = Make<DS1820>(device, 0);
    device.SetTemperature(4.5);
    ASSERT_EQ(sensor->Sample(), 1);
    bool cut = false;
    SetPumpMessagesHook([&](uint32_t ms) {
        if (SampleInProgress && !cut) {
            device.OnPowerCycle(); // unseen by the driver
            cut = true;
        }
        platform::Sleep(ms);
    });
    const int conversions = device.Conversions();
    EXPECT_EQ(sensor->Sample(), 1);
    EXPECT_EQ(device.Conversions() - conversions, 1) << "the retry's";
    EXPECT_DOUBLE_EQ(sensor->temp.value, 4.5);
    EXPECT_DOUBLE_EQ(sensor->temp.High(nullptr), 4.5);
    const std::string told = "not taken from " + sensor->Description +
                             ": the sensor did not convert (its power or pull-up), or it is at 85 C";
    EXPECT_EQ(CountLog(told), 1);

    // A device that never converts agrees with itself, sample after sample.
    SetPumpMessagesHook(nullptr);
    device.SetNeverConverts(true);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sensor->Sample(), 0);
    EXPECT_EQ(device.Conversions() - conversions, 1);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 4.5);
    EXPECT_EQ(CountLog(told), 2) << "a new run";
    device.SetNeverConverts(false);
    EXPECT_EQ(sensor->Sample(), 1);
    EXPECT_EQ(CountLog("- 9 times in a row, now ended"), 1);
    device.SetTemperature(85.0);
    EXPECT_EQ(sensor->Sample(), 0) << "85 C right after 4.5 C";

    // Warmed through its neighbours; and a reading near it that is no longer current is no neighbour.
    // The run of power-on values taken is told once, with the reading before it: 86 C is near enough to
    // keep it going.
    for (double celsius : {84.0, 85.0, 85.0, 86.0, 85.0, 85.0}) {
        device.SetTemperature(celsius);
        sensor->temp.value = 0.0;
        EXPECT_EQ(sensor->Sample(), 1) << celsius;
        EXPECT_DOUBLE_EQ(sensor->temp.value, celsius);
    }
    const std::string taken =
        "Power-on value (85 C) taken from " + sensor->Description + " after its reading of ";
    EXPECT_EQ(CountLog(taken), 1);
    EXPECT_EQ(CountLog(taken + "84.0 C: the sensor did not convert (its power or pull-up), or it is at 85 C"),
              1);
    clock_->Advance(static_cast<uint64_t>(kCurrentAtLeastSeconds + 1) * 1000);
    EXPECT_EQ(sensor->Sample(), 0);
}

// A sensor that truly sits at 85 C reads 85.0 and 85.0625 by turns: one spell while it stays within the
// neighbour rule's 3 C of 85, told at once, then at most once an hour with a count; a reading beyond
// that ends the spell with the count not yet told and when the last was taken. A sensor at 83 that
// comes back stuck is told at once.
TEST_F(DS1820Test, PowerOnValuesTakenFromASensorNearThemAreToldAtOnceThenHourlyWithACount) {
    auto& device = net->Add<sim::DS18B20>(net->Trunk(), 0x0102030405ull);
    auto sensor = Make<DS1820>(device, 0);
    const std::string taken = "Power-on value (85 C) taken from " + sensor->Description;
    uint64_t at = clock_->MonotonicMs();
    auto readEveryTenSeconds = [&](double celsius) {
        at += 10000;
        clock_->Advance(at - clock_->MonotonicMs());
        device.SetTemperature(celsius);
        sensor->temp.value = 0.0;
        EXPECT_EQ(sensor->Sample(), 1) << celsius;
        EXPECT_DOUBLE_EQ(sensor->temp.value, celsius);
    };
    readEveryTenSeconds(84.0);
    unsigned powerOnValues = 0;
    std::string lastTakenAt;
    for (int i = 0; i < 6 * 65; ++i) { // 65 minutes
        readEveryTenSeconds(i % 2 == 0 ? 85.0 : 85.0625);
        powerOnValues += i % 2 == 0;
        if (i % 2 == 0) lastTakenAt = ClockText();
    }
    EXPECT_EQ(CountLog(taken), 2);
    EXPECT_EQ(CountLog(taken + " after its reading of 84.0 C: the sensor did not convert"), 1);
    const unsigned hourly = CountBefore(taken, " times since the last such line: the sensor did not convert");
    EXPECT_NEAR(hourly, 180, 1); // the values of the hour after the first line
    readEveryTenSeconds(82.0);   // near 85: still the spell
    EXPECT_EQ(CountLog(taken), 2);
    readEveryTenSeconds(81.875);
    ASSERT_EQ(CountLog(taken), 3);
    EXPECT_EQ(1 + hourly +
                  CountBefore(taken, " more times since the last such line, the last at " + lastTakenAt),
              powerOnValues)
        << "every value taken is told, and the line names when the last was taken";

    // A sensor at 83 that comes back stuck is a new run, told at once; so is the next after it.
    readEveryTenSeconds(83.0);
    readEveryTenSeconds(85.0);
    EXPECT_EQ(CountLog(taken + " after its reading of 83.0 C: the sensor did not convert"), 1);
    readEveryTenSeconds(70.0);
    EXPECT_EQ(CountLog(taken), 4) << "nothing more to tell at its end";
    readEveryTenSeconds(83.0);
    readEveryTenSeconds(85.0);
    EXPECT_EQ(CountLog(taken + " after its reading of 83.0 C: the sensor did not convert"), 2);
}

TEST_F(DS1820Test, ConversionHoldsThePullupForBoostTimeAndPumpsAsASample) {
    auto& device = net->Add<sim::DS18S20>(net->Trunk(), 0x112233445566ull);
    device.SetParasite(true);
    SetKey(device, "BoostTime", "150");
    auto sensor = Make<DS1820>(device, 0);
    EXPECT_EQ(sensor->BoostTime, 1000);
    EXPECT_EQ(Key(device, "Type"), "Temperature");
    int pumps = 0; // the conversion's waits (a session's start waits through the hook too)
    SetPumpMessagesHook([&](uint32_t ms) {
        if (SampleInProgress) ++pumps;
        platform::Sleep(ms);
    });
    device.SetTemperature(21.5);
    clock_->SetTick(0xFFFFFF00u); // the deadline lies beyond the tick counter's wrap
    uint64_t before = clock_->TotalAdvancedMs();
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 21.5);
    EXPECT_GE(clock_->TotalAdvancedMs() - before, 1000u);
    EXPECT_LT(clock_->TotalAdvancedMs() - before, 1200u);
    EXPECT_EQ(pumps, 10);
    EXPECT_FALSE(SampleInProgress);

    // A boost shorter than the conversion browns the parasite device out: the power-on pattern is refused.
    sensor->BoostTime = 300;
    EXPECT_EQ(sensor->Sample(), 0);
    EXPECT_GT(device.Brownouts(), 0);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 21.5);
}

TEST_F(DS1820Test, AConversionWhosePullupIsNotConfirmedReadsNothingAndIsToldOncePerRun) {
    auto& device = net->Add<sim::DS18S20>(net->Trunk(), 0x112233445566ull);
    device.SetParasite(true);
    auto sensor = Make<DS1820>(device, 0);
    device.SetTemperature(21.5);
    ASSERT_EQ(sensor->Sample(), 1);
    // The driver does not confirm the strong pull-up: the scratchpad still holds 21.5, which is no
    // reading of now.
    net->SetLevelResult(0);
    device.SetTemperature(30.0);
    EXPECT_EQ(sensor->Sample(), 0);
    EXPECT_EQ(sensor->Sample(), 0);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 21.5);
    EXPECT_EQ(sensor->ErrorCount, 2u);
    const std::string told = device.rom().Text() + ": Conversion not started: ";
    EXPECT_EQ(CountLog(told), 1);
    net->SetLevelResult(std::nullopt);
    ASSERT_EQ(sensor->Sample(), 1);
    EXPECT_GT(sensor->temp.value, 21.5);
    net->SetLevelResult(0);
    EXPECT_EQ(sensor->Sample(), 0);
    EXPECT_EQ(CountLog(told), 2) << "a new run is told again";
}

TEST_F(DS1820Test, UnfinishedConversionAndCrcFaultsFailAndRetry) {
    auto& device = net->Add<sim::DS18B20>(net->Trunk(), 0x0102030405ull);
    SetKey(device, "BoostTime", "200");
    SetKey(device, "Debug", "1");
    auto sensor = Make<DS1820>(device, 0);
    EXPECT_EQ(sensor->Sample(), 0); // 200 ms of a 750 ms conversion
    EXPECT_EQ(CountLog("Error verifying temp conversion"), 3);

    sensor->BoostTime = 1000;
    device.SetTemperature(18.0);
    device.InjectCrcErrors(1); // once: the second try succeeds
    int conversions = device.Conversions();
    EXPECT_EQ(sensor->Sample(), 1);
    EXPECT_EQ(device.Conversions() - conversions, 2);
    EXPECT_EQ(sensor->ErrorCount, 0u);
    device.InjectCrcErrors(-1);
    EXPECT_EQ(sensor->Sample(), 0);
    EXPECT_EQ(sensor->ErrorCount, 1u);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 18.0);
}

TEST_F(DS1820Test, HtmlShowsTheFamilyAndFahrenheitAndTheLogLineIsWritten) {
    auto& device = net->Add<sim::DS18B20>(net->Trunk(), 0x0102030405ull);
    SetKey(device, "Description", "Garden");
    auto sensor = Make<DS1820>(device, 0);
    device.SetTemperature(25.0);
    ASSERT_EQ(sensor->Sample(), 1);
    const std::string html = sensor->GetHTML();
    EXPECT_EQ(
        html.substr(0, html.find("<TABLE CELLPADDING=0 CELLSPACING=0 WIDTH=250 BORDER=0>")),
        "<TABLE CELLPADDING=0 CELLSPACING=0 BORDER=1><TR><TD><FONT SIZE=2><CENTER><B>DS18B20</B></CENTER>"
        "</FONT></TD></TR><TR><TD COLSPAN=2><TABLE CELLPADDING=0 CELLSPACING=0 WIDTH=250 BORDER=1>"
        "<TR><TD COLSPAN=2><FONT SIZE=2><CENTER><B>Garden</B></CENTER> </FONT></TD></TR>\n"
        "<TR><TD><FONT SIZE=2>Current</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>77.0 F</FONT></TD></TR>"
        "<TR><TD><FONT SIZE=2>High</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>77.0 F</FONT></TD></TR>"
        "<TR><TD><FONT SIZE=2>Low</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>77.0 F</FONT></TD></TR>"
        "<TR><TD COLSPAN=2>");
    EXPECT_EQ(sensor->GetUnit(), "Fahrenheit");
    EXPECT_EQ(sensor->ValueText, "77.0");
    sensor->LogData();
    EXPECT_EQ(Read("DATA/Garden-122026.TXT"), "06.12.2026\t14:03\t77.0\r\n");
}
