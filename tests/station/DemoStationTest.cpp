// The controller on the built-in demo net, where every kind of sensor is present: the readers, the
// resets, the alarm log and the save at Unload.
#include <gtest/gtest.h>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DemoCounts.h"
#include "platform/tmex/sim/DemoNet.h"
#include "platform/tmex/sim/SimulatedPort.h"
#include "support/StationFixture.h"

#include <sstream>
#include <vector>

using korvane_test::StationFixture;

class DemoStationTest : public StationFixture {
protected:
    TMainForm& StartDemo(bool firstRun = true) {
        if (firstRun) {
            Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
            Write("korvane.ini", platform::tmex::sim::DemoKorvaneIni());
        }
        TMainForm& form = Start();
        platform::EventLoop::Get().RunFor(1100);
        return form;
    }
    void Run(uint32_t ms) { platform::EventLoop::Get().RunFor(ms); }
    // Starts the demo five minutes before the first shower of its weather from the clock's time on.
    void StartDemoBeforeAShower() {
        const platform::tmex::sim::WeatherModel model;
        int64_t shower = clock_->UnixTimeMs();
        while (!model.At(shower).shower)
            shower += 60000;
        clock_->SetUnixTimeMs(shower - 5 * 60000);
        StartDemo();
    }
    // Unload, and the program's end: its next start finds a new driver and loop.
    void EndTheProgram() {
        form_->Unload1->Click();
        Run(5000);
        ASSERT_TRUE(platform::Application->Terminated());
        platform::tmex::ResetDriver();
        platform::EventLoop::Get().Reset();
    }
};

TEST_F(DemoStationTest, EveryKindIsFoundAndItsReadingsReachTheSharedValues) {
    TMainForm& form = StartDemo();
    ASSERT_TRUE(SessionRunning);
    EXPECT_TRUE(SensorSet().WindPresent && SensorSet().RainPresent && SensorSet().BarometerPresent);
    EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 7);
    EXPECT_EQ(SensorSet().HumiditySensors.Count(), 1);
    EXPECT_TRUE(SensorSet().WindDirectionFound);
    EXPECT_EQ(CountLog("WARNING: Missing"), 0);
    // The demo's korvane.ini makes the outdoor thermometer the main one, not the first found.
    ASSERT_LT(MainTemperatureSensor, SensorSet().TemperatureSensors.Count());
    EXPECT_EQ(SensorSet().TemperatureSensors[MainTemperatureSensor]->TempDescription, "Outdoor");
    Run(3 * 60 * 1000);
    const TCurrentReadings& r = form.CurrentReadings;
    EXPECT_GT(r.BarometerInHg, 25.0f);
    EXPECT_LT(r.BarometerInHg, 33.0f);
    EXPECT_GT(r.Humidity, 0.0f);
    EXPECT_LE(r.Humidity, 100.0f);
    EXPECT_NE(r.TemperatureF, 0.0f); // the main temperature went through the display handler
    EXPECT_TRUE(form.CurrentReadings.WindDirectionBin == 255 ||
                (form.CurrentReadings.WindDirectionBin >= 0 && form.CurrentReadings.WindDirectionBin < 16));
    EXPECT_GE(r.RainToday, 0.0f);
    // Each thermometer in turn, only when its 60 s read interval has passed: 7 sensors in 3 minutes.
    for (int i = 0; i < SensorSet().DS1820Sensors.Count(); ++i) {
        EXPECT_GE(SensorSet().DS1820Sensors[i]->Samples, 2u) << i;
        EXPECT_LE(SensorSet().DS1820Sensors[i]->Samples, 4u) << i;
    }
    EXPECT_EQ(form.StatusBar->Panel(0), std::to_string(SampleCount) + " samples");
    EXPECT_EQ(StatusLine.substr(StatusLine.size() - 2), "\r\n");
}

TEST_F(DemoStationTest, DailyResetLeavesTheDialAloneUnlessHighsAndLowsAreReset) {
    TMainForm& form = StartDemo();
    Run(10000);
    // The dial shows the pressure in the barometer's unit, with the marks of what it showed.
    const float pressure = form.CurrentReadings.Barometer;
    ASSERT_GT(pressure, 25.0f);
    EXPECT_FLOAT_EQ(form.BaroMeter->Value(), pressure);
    gauges::TMinMax& marks = form.BaroMeter->MinMax();
    form.BaroMeter->SetValue(pressure + 0.5f);
    form.BaroMeter->SetValue(pressure);
    ASSERT_FLOAT_EQ(marks.Max(), pressure + 0.5f);
    form.ResetDailyStatistics();
    EXPECT_FLOAT_EQ(marks.Max(), pressure + 0.5f);
    EXPECT_EQ(CountLog("SERVER: Resetting statistics..."), 1);
    StationSettings.ResetHiLoMarks = true;
    form.ResetDailyStatistics();
    EXPECT_FLOAT_EQ(marks.Max(), pressure);
    EXPECT_FLOAT_EQ(marks.Min(), pressure);
}

TEST_F(DemoStationTest, GrandTotalResetShowsItsTimeWithoutTheLineEnd) {
    TMainForm& form = StartDemo();
    Run(5000);
    form.ResetRGaugeTotal->Click();
    EXPECT_EQ(form.RainResetTime->Caption(),
              "Grand total since " + platform::CTime(platform::UnixTime()).substr(0, 24));
    EXPECT_EQ(CountLog("RAINGAUGE: Reset total-counter"), 1);
    EXPECT_EQ(SensorSet().RainSensor->StartCounter, SensorSet().RainSensor->RunningCounter);
    // What the user does is on disk at once (the rounds' highs and lows may wait a minute).
    EXPECT_NE(
        Read("SENSORS.INI").find("ResetTime=" + std::to_string(SensorSet().RainSensor->ResetTime) + "\r\n"),
        std::string::npos);
}

TEST_F(DemoStationTest, AlarmLineShowsLimitAndValueInTheSensorsUnit) {
    TMainForm& form = StartDemo();
    DS1820& sensor = *SensorSet().DS1820Sensors[0];
    sensor.Celsius = 0;
    sensor.HighAlarm = 30;
    sensor.temp.value = 31;
    sensor.TempDescription = "Attic";
    platform::PostMessage(form.Handle(), MsgTemperatureAlarm, 0, 10);
    platform::PostMessage(form.Handle(), MsgTemperatureAlarm, 99, 10); // no such sensor: nothing
    platform::PostMessage(form.Handle(), MsgTemperatureAlarm, 0, 12);  // no such kind: nothing
    platform::Application->ProcessMessages();
    EXPECT_EQ(CountLog("ALARM: Attic exceeds 86.0\xB0"
                       "F (87.8\xB0"
                       "F)"),
              1);
    EXPECT_EQ(CountLog("ALARM:"), 1);
}

TEST_F(DemoStationTest, UnloadSavesEveryKindAndTheNextStartContinuesTheTotals) {
    TMainForm& form = StartDemo();
    Run(20000);
    unsigned first = SampleCount;
    ASSERT_GT(first, 5u);
    std::vector<std::string> read; // thermometers with a good reading (a DS18S20 refuses some patterns)
    for (int i = 0; i < SensorSet().DS1820Sensors.Count(); ++i)
        if (SensorSet().DS1820Sensors[i]->temp.value != 0)
            read.push_back(SensorSet().DS1820Sensors[i]->SerialSection());
    ASSERT_GE(read.size(), 5u);
    form.Unload1->Click();
    Run(5000);
    ASSERT_TRUE(platform::Application->Terminated());
    platform::TIniFile sensors(Path("SENSORS.INI"));
    for (const auto& serial : read)
        EXPECT_TRUE(sensors.ValueExists(serial, "max_temp")) << serial;
    EXPECT_EQ(platform::TIniFile(Path("korvane.ini")).ReadInteger("Weather", "TotalSamples", -1),
              static_cast<int>(first));

    platform::EventLoop::Get().Reset();
    StartDemo(false);
    Run(10000);
    form_->Unload1->Click();
    Run(5000);
    EXPECT_EQ(platform::TIniFile(Path("korvane.ini")).ReadInteger("Weather", "TotalSamples", -1),
              static_cast<int>(first + SampleCount));
}

TEST_F(DemoStationTest, ResetCommandsWithoutTheirSensorDoNothing) {
    Write("korvane.ini", "[Weather]\r\nPortNum=1\r\nPortType=64\r\n");
    TMainForm& form = Start(); // no session: every table is empty
    for (auto* item : {form.TempStatReset, form.HumidityStatReset, form.BarometerStatReset,
                       form.WindStatReset, form.DS2450StatReset, form.ResetRGaugeToday, form.ResetRGaugeWeek,
                       form.ResetRGaugeMonth, form.ResetRGaugeTotal, form.Resethighmark1}) {
        item->SetVisible(true);
        EXPECT_NO_THROW(item->Click()) << item->Name();
    }
    EXPECT_NO_THROW(form.ResetDailyStatistics());
    EXPECT_EQ(CountLog("Error"), 0);
}

TEST_F(DemoStationTest, TheValueLabelsShowTheSensorsAndRestWhileTheWindowIsInTheTray) {
    TMainForm& form = StartDemo();
    Run(10000);
    auto show = [&](uint32_t msg, platform::WPARAM index = 0) {
        platform::TMessage message{msg, index, static_cast<platform::LPARAM>(index), 0};
        form.Dispatch(message);
    };
    // Rain in millimetres: 127 counts today, and 3 counts in a rate window of 7 minutes, which is 8
    // windows an hour (60 / 7, whole).
    RainGauge& rain = *SensorSet().RainSensor;
    rain.CountsPrInch = 100;
    rain.RainUnitInch = 0;
    rain.RateMinutes = 7;
    rain.TodayCounter = rain.RunningCounter - 127;
    rain.RateReference = rain.RunningCounter - 3;
    show(MsgDisplayRain);
    EXPECT_EQ(form.CurrRainToday->Caption(), "32.26 mm");
    EXPECT_EQ(form.CurrRainRate->Caption(), "6.10 mm/h");
    ASSERT_TRUE(form.ReadRain()); // the shared rate is in inches
    EXPECT_FLOAT_EQ(form.CurrentReadings.RainRate,
                    static_cast<float>(CountDistance(rain.RunningCounter, rain.RateReference)) * 8 / 100);
    // The labels are made again when what they show changes, also when only the unit does.
    rain.CountsPrInch = 50;
    show(MsgDisplayRain);
    EXPECT_EQ(form.CurrRainToday->Caption(), "64.52 mm");
    rain.RainUnitInch = 1;
    show(MsgDisplayRain);
    EXPECT_EQ(form.CurrRainToday->Caption(), "2.54 in");
    WindData& wind = *SensorSet().WindSensor;
    wind.Unit = 3;
    wind.Speed = 10; // revolutions per second
    wind.Gust = 4;
    wind.CurrentDirection = 5;
    show(MsgDisplayWind);
    EXPECT_EQ(form.CurrWind->Caption(), "21.3 knots");
    EXPECT_EQ(form.CurrGust->Caption(), "8.5 knots");
    EXPECT_EQ(form.CurrWindDir->Caption(), "ESE");
    wind.Unit = 1;
    show(MsgDisplayWind);
    EXPECT_EQ(form.CurrWind->Caption(), "39.5 km/h");
    Humidity& humidity = *SensorSet().HumiditySensors[MainHumiditySensor];
    humidity.hum.value = 65.0;
    humidity.dewpoint.value = 10.0;
    humidity.Celsius = 1;
    show(MsgDisplayHumidity, static_cast<platform::WPARAM>(MainHumiditySensor));
    EXPECT_EQ(form.CurrHumidity->Caption(), "65.0%");
    EXPECT_EQ(form.CurrDewpoint->Caption(), "10.0\xB0"
                                            "C");
    Barometer& baro = *SensorSet().BarometerSensor;
    baro.RateReference = baro.baro.value - 0.003; // +0.10 hPa
    show(MsgDisplayBarometer);
    EXPECT_EQ(form.BaroTrend->Caption(), "Rising");
    // The temperature is red from the freezing point up, blue below it.
    ::Temperature& main = *SensorSet().TemperatureSensors[MainTemperatureSensor];
    for (auto [celsius, color] :
         {std::pair{-0.1, platform::gfx::clBlue}, std::pair{0.0, platform::gfx::clRed}}) {
        main.temp.value = celsius;
        show(MsgDisplayTemperature, static_cast<platform::WPARAM>(MainTemperatureSensor));
        EXPECT_EQ(form.CurrTemp->Font().Color(), color) << celsius;
    }

    // A vane without a valid direction: the shared bin is 255 (as the status line shows it) and the
    // label shows none.
    wind.DirectionAssigned = 0; // the reading leaves the direction alone
    wind.CurrentDirection = 16;
    ASSERT_TRUE(form.ReadWind());
    EXPECT_EQ(form.CurrentReadings.WindDirectionBin, 255);
    form.UpdateStatusLine();
    std::istringstream fields(StatusLine);
    std::string field;
    for (int i = 0; i < 7; ++i)
        fields >> field;
    EXPECT_EQ(field, "255");
    show(MsgDisplayWind);
    EXPECT_EQ(form.CurrWindDir->Caption(), "n/a");

    // In the tray the readers post no display of wind, rain, humidity or pressure; the temperature
    // goes on.
    const unsigned humidityReads = humidity.Samples;
    form.AppMinimize();
    platform::EventLoop::Get().ProcessMessages(); // what was posted before
    platform::TLabel* resting[] = {form.CurrWind, form.CurrRainToday, form.CurrHumidity, form.BaroTrend};
    for (platform::TLabel* label : resting)
        label->SetCaption("-");
    form.CurrTemp->SetCaption("-");
    Run(3 * 60 * 1000);
    ASSERT_GT(humidity.Samples, humidityReads);
    for (platform::TLabel* label : resting)
        EXPECT_EQ(label->Caption(), "-") << label->Name();
    EXPECT_NE(form.CurrTemp->Caption(), "-");
    form.AppRestore();
    Run(3 * 60 * 1000);
    for (platform::TLabel* label : resting)
        EXPECT_NE(label->Caption(), "-") << label->Name();
}

// The demo net as the program registers it, its counts kept in the station's folder, for one test.
class ProgramDemoNet {
public:
    ProgramDemoNet() { platform::tmex::sim::RegisterSimulatedPortType(platform::tmex::sim::kDemoCountsFile); }
    ~ProgramDemoNet() { platform::tmex::sim::RegisterSimulatedPortType(); }
    ProgramDemoNet(const ProgramDemoNet&) = delete;
    ProgramDemoNet& operator=(const ProgramDemoNet&) = delete;
};

// Two runs of the demo program one after another in one folder, with rain in the first and between
// them: the second finds its gauge and anemometer where the first left them (a counter that went back
// would be told as a battery change), and the rain that fell while it was down is today's.
TEST_F(DemoStationTest, StartedAgainAfterRainTheDemoTellsNoRestartAndItsCountersGoOn) {
    ProgramDemoNet demo;
    const platform::tmex::sim::WeatherModel model;
    StartDemoBeforeAShower();
    RainGauge& gauge = *SensorSet().RainSensor;
    const int32_t first = gauge.RunningCounter;
    for (int minute = 0; minute < 120 && gauge.RunningCounter - first < 2; ++minute)
        Run(60000);
    ASSERT_GE(gauge.RunningCounter - first, 2) << "it rained in the first run";
    const int32_t rain = gauge.RunningCounter, wind = SensorSet().WindSensor->RunningCounter;

    // The program's end, and its next start ten minutes later, still in the shower.
    ASSERT_NO_FATAL_FAILURE(EndTheProgram());
    ASSERT_TRUE(model.At(clock_->UnixTimeMs() + 10 * 60000).shower);
    clock_->SetUnixTimeMs(clock_->UnixTimeMs() + 10 * 60000);
    StartDemo(false);
    Run(2 * 60000);
    EXPECT_EQ(CountLog("Counter went back"), 0);
    EXPECT_GT(SensorSet().RainSensor->RunningCounter, rain);
    EXPECT_GE(SensorSet().RainSensor->CountsToday(), static_cast<uint32_t>(rain - first));
    EXPECT_GT(SensorSet().WindSensor->RunningCounter, wind);
}

// Stopped the moment the station has read a tip of the gauge, before the counts' minute write (as a kill
// then leaves demonet.ini), and started again at once: the chip goes on from the tip, and no counter
// went back.
TEST_F(DemoStationTest, StoppedRightAfterATipAndStartedAtOnceTheGaugeGoesOnFromTheTip) {
    ProgramDemoNet demo;
    StartDemoBeforeAShower();
    RainGauge& gauge = *SensorSet().RainSensor;
    Run(5000);
    const int32_t before = gauge.RunningCounter;
    ASSERT_TRUE(
        platform::EventLoop::Get().RunUntil([&] { return gauge.RunningCounter != before; }, 120 * 60000));
    const int32_t tip = gauge.RunningCounter;
    const uint32_t today = gauge.CountsToday();

    ASSERT_NO_FATAL_FAILURE(EndTheProgram());
    StartDemo(false);
    RainGauge& again = *SensorSet().RainSensor;
    EXPECT_EQ(again.LastCountRead(), tip);
    Run(2 * 60000);
    EXPECT_EQ(CountLog("Counter went back"), 0);
    EXPECT_GE(again.RunningCounter, tip);
    EXPECT_GE(again.CountsToday(), today);
}

// A counts file the demo cannot read is told, and the demo runs from its first counts.
TEST_F(DemoStationTest, ACountsFileWithoutCountsIsToldAndTheDemoStartsFromItsFirstCounts) {
    ProgramDemoNet demo;
    Write(platform::tmex::sim::kDemoCountsFile, "[Counters]\r\nTime=1796562189000\r\nRainGauge=4,2\r\n");
    StartDemo();
    EXPECT_EQ(CountLog("SERVER: demonet.ini: RainGauge=4,2 is no count; the demo net's counters start again "
                       "from their first values"),
              1);
    EXPECT_EQ(SensorSet().RainSensor->RunningCounter, 4200);
    Run(60000);
    // It keeps its counts again.
    EXPECT_NE(Read(platform::tmex::sim::kDemoCountsFile)
                  .find("\r\nRainGauge=" + std::to_string(SensorSet().RainSensor->RunningCounter) + "\r\n"),
              std::string::npos);
}
