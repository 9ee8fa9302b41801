#pragma once
// The demo station (every kind of sensor) in a temporary folder, with its publishing side at hand, for
// the pages, weather.xml and the web server. Tests that want exact texts set the sensors' values after
// the scan and before they read a page.
#include <memory>
#include <string>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/DataTables.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DemoNet.h"
#include "publish/PublishContext.h"
#include "support/PeerPacedClock.h"
#include "support/StationFixture.h"

namespace publish_test {

class PublishStation : public korvane_test::StationFixture {
protected:
    void SetUp() override {
        StationFixture::SetUp();
        StationOptions.MakePublishing = [this](TMainForm& form) {
            auto made = std::make_unique<TStationPublishing>(form);
            publishing = made.get();
            return made;
        };
    }

    // The demo net with `settings` appended to its korvane.ini ([Weather] section first); the scan and
    // the first rounds have run when it returns.
    TMainForm& StartDemo(const std::string& settings = "SampleInterval=3600000\r\n") {
        Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
        Write("korvane.ini", platform::tmex::sim::DemoKorvaneIni() + settings);
        TMainForm& form = Start();
        platform::EventLoop::Get().RunFor(1100);
        form.sBuild->SetCaption("01.12.2026");
        context = std::make_unique<publish::TPublishContext>(form);
        return form;
    }

    // Installs a clock that gives peers in other processes real time while they are talked to.
    std::shared_ptr<korvane_test::PeerPacedClock> InstallPacedClock() {
        auto paced = std::make_shared<korvane_test::PeerPacedClock>(korvane_test::kDefaultStartMs, 1000000);
        clock_ = paced;
        platform::Clock::Install(paced);
        return paced;
    }

    // 2026-12-06 14:00 CET, the time of every mark below.
    static constexpr int32_t kMarkTime = 1796562000;

    // Fixed readings, so that a page reads the same on every run: outdoor 7.5 C (shown in F), the
    // humidity sensor at 65.4 %, the barometer at 29.92 inHg, wind, rain and counter figures.
    void SetKnownReadings() {
        auto temperature = [](Temperature& t, double value, double high, double low) {
            t.temp.value = value;
            t.temp.high = high;
            t.temp.low = low;
            t.temp.highTime = t.temp.lowTime = kMarkTime;
        };
        for (DS1820* t : SensorSet().DS1820Sensors)
            temperature(*t, 12.0, 14.5, 3.0);
        Humidity& h = *SensorSet().HumiditySensors[0];
        temperature(h, 7.5, 9.0, 2.5);
        h.hum.value = 65.4;
        h.hum.high = 80.9;
        h.hum.low = 54.9;
        h.hum.highTime = h.hum.lowTime = kMarkTime;
        h.dewpoint.value = 1.25;
        h.heatindex.value = 7.5;
        Barometer& b = *SensorSet().BarometerSensor;
        temperature(b, 20.0, 21.0, 19.0);
        b.baro.value = 29.92;
        b.baro.high = 30.01;
        b.baro.low = 29.80;
        b.baro.highTime = b.baro.lowTime = kMarkTime;
        b.Celsius = 0;
        b.RateReference = 29.90;
        b.today_baro = 29.85;
        WindData& w = *SensorSet().WindSensor;
        w.Speed = 3.0f;
        w.Gust = 5.0f;
        w.MaxSpeed = 6.0f;
        w.MaxSpeedDir = 3;
        w.MaxSpeedTime = kMarkTime;
        w.Unit = 0;
        w.MinAvgSpeed = 2.5f;
        w.HourAvgSpeed = 2.0f;
        w.DayAvgSpeed = 1.5f;
        w.CurrentDirection = 4;
        RainGauge& r = *SensorSet().RainSensor;
        r.RainUnitInch = 1;
        r.CountsPrInch = 100;
        r.RateMinutes = 10;
        r.RunningCounter = 5000;
        r.TodayCounter = 4750;
        r.MonthCounter = 4000;
        r.StartCounter = 1000;
        r.RateReference = 4997;
        r.RateFallback = 4990;
        for (int day = 0; day < 7; ++day)
            r.WeeklyRain[day] = day * 10;
        form_->CurrentReadings.Temperature = 45.5f;
        form_->CurrentReadings.TemperatureC = 7.5f;
        form_->CurrentReadings.TemperatureMax = 58.1f;
        form_->CurrentReadings.TemperatureMin = 37.4f;
        form_->CurrentReadings.TemperatureMaxTime.ti_hour = 13;
        form_->CurrentReadings.TemperatureMaxTime.ti_min = 5;
        form_->CurrentReadings.Humidity = 65.4f;
        form_->CurrentReadings.Barometer = 29.92f;
        form_->CurrentReadings.WindDirectionIndex = 3;
        // As a round that read them marks the main temperature and the wind.
        form_->CurrentReadings.TemperatureRead = form_->CurrentReadings.WindRead = true;
        MarkEverySensorRead();
        TCurrentReadings& now = form_->CurrentReadings;
        now.TemperatureCurrent = now.WindCurrent = now.RainCurrent = now.BarometerCurrent =
            now.HumidityCurrent = true;
    }

    // Every sensor's values count as read from its device now, as after a round that read them all.
    static void MarkEverySensorRead() {
        TSensorSet& set = SensorSet();
        for (Temperature* t : set.TemperatureSensors)
            t->MarkRead();
        for (DS2423* c : set.CounterSensors)
            c->MarkRead();
        for (DS2450* a : set.DS2450Sensors)
            a->MarkRead();
        for (DS2438* d : set.DS2438Sensors)
            d->MarkRead();
    }

    TStationPublishing* publishing = nullptr;
    std::unique_ptr<publish::TPublishContext> context;
};

} // namespace publish_test
