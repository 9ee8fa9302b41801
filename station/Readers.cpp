// One reading round: at most one sensor of each kind (in the kinds' read order, StationKinds.h),
// round-robin by SampleCount, with the window messages pumped between kinds. A successful read shares its
// values through CurrentReadings and posts the display messages. Each reader tells its kind's objects
// the read interval its turns give them, by which their values stay current (onewire/Freshness.h).
#include <algorithm>
#include <cmath>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/Microlan.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorKinds.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Exceptions.h"
#include "platform/Strings.h"
#include "station/StationKinds.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

constexpr float kRevsToMs = 1.096f;

// What a reader's failure is logged as: the reader's prefix with the message, or `otherText`. Made once
// per reader, not in every round.
ErrorTexts ReaderTexts(const std::string& prefix, const std::string& otherText) {
    return {prefix + ": Error reading: ", otherText};
}

// Runs one reader; its failures are logged with its texts and count as a failed read.
template <class F> bool Reader(TMainForm& form, const ErrorTexts& texts, F&& read) {
    bool done = false;
    form.Logged(texts, [&] { done = read(); });
    return done;
}

// Inches from counts of a gauge (none without its counts per inch).
float RainInches(uint32_t counts, uint8_t countsPerInch) {
    if (countsPerInch == 0) return 0;
    return static_cast<float>(counts) / countsPerInch;
}

// The seconds between two reads of one sensor: a kind read when `dueSeconds` have passed (0: every
// round), whose `sensors` objects take one round each in turn, on rounds the sampling interval apart.
int TurnSeconds(int dueSeconds, int sensors) {
    const int roundSeconds = (std::max(Microlan::Bus().SampleInterval, 1) + 999) / 1000;
    return std::max(dueSeconds, roundSeconds * std::max(sensors, 1));
}

// Tells each object of a table its turns' read interval.
template <class T> void HandOutTurns(const SensorTable<T>& table, int dueSeconds) {
    const int seconds = TurnSeconds(dueSeconds, table.Count());
    for (T* sensor : table)
        if (sensor) sensor->SetReadInterval(seconds);
}

void PostDisplayTemperature(TMainForm& form, int index) {
    PostMessage(form.Handle(), MsgDisplayTemperature, static_cast<WPARAM>(index), index);
}

} // namespace

void TMainForm::ReadAllSensors() {
    // The highs and lows a round moves reach SENSORS.INI at most once a minute, in one flushed rewrite
    // with those of the rounds before (a card that the station rewrote for every new mark wears out). A
    // command the user gives while the round waits is written at once all the same.
    TIniFile::Deferral held;
    try {
        LastReadTick = GetTickCount();
        for (const StationKind* kind : StationKinds().By(&StationKind::readOrder)) {
            if (!kind->read) continue;
            if (KindPresent(kind->kind) && SessionRunning) kind->read(*this);
            Application->ProcessMessages();
        }
        ++SampleCount;
        MarkCurrentReadings();
        StatusBar->Panel(0) = Format("%u samples", SampleCount);
    } catch (const EAccessViolation& e) {
        LogAccessViolation(e);
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error: " + std::string(e.what()));
    } catch (...) {
        LogStatus("SERVER: Error ?");
    }
}

void TMainForm::MarkCurrentReadings() {
    TCurrentReadings& r = CurrentReadings;
    const TSensorSet& set = SensorSet();
    auto current = [](const iButton* sensor) { return sensor != nullptr && sensor->ValuesCurrent(); };
    r.MainTemperatureIndex = MainTemperatureSensor;
    r.MainHumidityIndex = MainHumiditySensor;
    r.TemperatureCurrent = current(set.TemperatureSensors[r.MainTemperatureIndex]);
    r.HumidityCurrent = current(set.HumiditySensors[r.MainHumidityIndex]);
    r.WindCurrent = set.WindPresent && current(set.WindSensor.get());
    r.PrevailingDirection = r.WindCurrent && set.WindSensor->HasPrevailingDirection();
    r.RainCurrent = set.RainPresent && current(set.RainSensor.get());
    r.BarometerCurrent = set.BarometerPresent && current(set.BarometerSensor.get());
}

bool TMainForm::ReadWind() {
    static const ErrorTexts texts = ReaderTexts("SERVER/DS2423/WIND", "SERVER/DS2423/WIND: Error reading");
    return Reader(*this, texts, [&] {
        WindData& wind = *SensorSet().WindSensor;
        wind.SetReadInterval(TurnSeconds(0, 1));
        if (!wind.Sample() || !SessionRunning) return false;
        TCurrentReadings& r = CurrentReadings;
        r.WindSpeedMs = wind.Speed * kRevsToMs;
        r.WindGustMs = wind.Gust * kRevsToMs;
        r.WindMaxMs = wind.MaxSpeed * kRevsToMs;
        r.WindSpeed = wind.ConvertSpeed(wind.Speed);
        r.WindGust = wind.ConvertSpeed(wind.Gust);
        r.WindMax = wind.ConvertSpeed(wind.MaxSpeed);
        r.WindDirectionBin = wind.CurrentDirection < 16 ? wind.CurrentDirection : 255;
        r.WindDirectionIndex = static_cast<uint8_t>(r.WindDirectionBin);
        r.WindRead = true;
        r.WindCompassPoint = wind.GetCompassPoint();
        r.WindDirectionDegrees = wind.CalculateDirection();
        if (DDERunning) {
            SetDDEText(Dde.DDEWindSpeed, FloatToStr(r.WindSpeed));
            SetDDEText(Dde.DDEWindDirection, IntToStr(static_cast<int>(r.WindDirectionBin * 22.5)));
            SetDDEText(Dde.DDEWindDirAVG,
                       wind.HasPrevailingDirection() ? IntToStr(r.WindDirectionDegrees) : "");
            SetDDEText(Dde.DDEWindspeedAVGMin, FloatToStr(wind.ConvertSpeed(wind.MinAvgSpeed)));
            SetDDEText(Dde.DDEWindspeedAVGHour, FloatToStr(wind.ConvertSpeed(wind.HourAvgSpeed)));
        }
        if (Visible()) PostMessage(Handle(), MsgDisplayWind, 0, 0);
        return true;
    });
}

bool TMainForm::ReadRain() {
    static const ErrorTexts texts = ReaderTexts("SERVER/DS2423/RAIN", "SERVER/DS2423/RAIN: Error reading");
    return Reader(*this, texts, [&] {
        RainGauge& rain = *SensorSet().RainSensor;
        rain.SetReadInterval(TurnSeconds(0, 1));
        if (!rain.Sample() || !SessionRunning) return false;
        TCurrentReadings& r = CurrentReadings;
        uint8_t perInch = rain.CountsPrInch;
        r.RainToday = RainInches(rain.TodayCounts(), perInch);
        int32_t stepsPerHour = rain.RateMinutes ? 60 / rain.RateMinutes : 0;
        r.RainRate = RainInches(CountDistance(rain.RunningCounter, rain.RateReference), perInch) *
                     static_cast<float>(stepsPerHour);
        r.RainHour = RainInches(rain.LastHourCounts(), perInch);
        int64_t week = 0;
        for (int32_t day : rain.WeeklyRain)
            week += day;
        r.RainWeek = perInch ? static_cast<float>(std::llabs(week)) / perInch : 0;
        r.RainMonth = RainInches(rain.MonthCounts(), perInch);
        if (DDERunning) {
            double unit = rain.RainUnitInch ? 1.0 : 25.4;
            SetDDEText(Dde.DDERainToday, FloatToStr(r.RainToday * unit));
            SetDDEText(Dde.DDERainRate, FloatToStr(r.RainRate * unit));
            SetDDEText(Dde.DDERainCounter, IntToStr(static_cast<uint32_t>(rain.RunningCounter)));
        }
        if (Visible()) PostMessage(Handle(), MsgDisplayRain, 0, 0);
        return true;
    });
}

bool TMainForm::ReadBarometer() {
    static const ErrorTexts texts = ReaderTexts("SERVER/DS2438/BARO", "SERVER/DS2438/BARO: Error reading");
    return Reader(*this, texts, [&] {
        Barometer& baro = *SensorSet().BarometerSensor;
        const int due = Microlan::Bus().DS2438ReadInterval;
        baro.SetReadInterval(TurnSeconds(due, 1));
        if (baro.SecondsSinceLastSample() <= due) return false;
        if (!baro.Sample() || !SessionRunning) return false;
        TCurrentReadings& r = CurrentReadings;
        r.Barometer = static_cast<float>(baro.GetValue());
        r.BarometerMax = static_cast<float>(baro.GetMax());
        r.BarometerMin = static_cast<float>(baro.GetMin());
        r.BarometerInHg = static_cast<float>(baro.baro.value);
        r.BarometerMaxInHg = static_cast<float>(baro.baro.high);
        r.BarometerMinInHg = static_cast<float>(baro.baro.low);
        r.BarometerChangeInHg = static_cast<float>(baro.RatePerHour());
        if (DDERunning) SetDDEText(Dde.DDEBarometer, FloatToStr(baro.GetValue()));
        PostDisplayTemperature(*this, baro.TemperatureIndex);
        if (Visible()) PostMessage(Handle(), MsgDisplayBarometer, 0, 0);
        return true;
    });
}

bool TMainForm::ReadCounters() {
    static const ErrorTexts texts = ReaderTexts("SERVER/DS2423", "SERVER/DS2423: Error reading");
    return Reader(*this, texts, [&] {
        HandOutTurns(SensorSet().DS2423Sensors, 0);
        unsigned i = SampleCount % static_cast<unsigned>(SensorSet().DS2423Sensors.Count());
        DS2423* counter = SensorSet().DS2423Sensors[static_cast<int>(i)];
        if (!counter || !counter->Sample() || !SessionRunning) return false;
        if (DDERunning) SetDDEText(DDEItemAt(Dde.DS2423Items, i), IntToStr(static_cast<uint32_t>(counter->RunningCounter)));
        return true;
    });
}

bool TMainForm::ReadDS2438() {
    static const ErrorTexts texts = ReaderTexts("SERVER/DS2438", "SERVER/DS2438: Error reading");
    return Reader(*this, texts, [&] {
        const int due = Microlan::Bus().DS2438ReadInterval;
        HandOutTurns(SensorSet().DS2438Sensors, due);
        unsigned i = SampleCount % static_cast<unsigned>(SensorSet().DS2438Sensors.Count());
        DS2438* sensor = SensorSet().DS2438Sensors[static_cast<int>(i)];
        if (!sensor || sensor->SecondsSinceLastSample() <= due) return false;
        if (!sensor->Sample() || !SessionRunning) return false;
        if (DDERunning) {
            SetDDEText(DDEItemAt(Dde.DS2438Items, 2 * i), FloatToStr(sensor->VAD.value));
            SetDDEText(DDEItemAt(Dde.DS2438Items, 2 * i + 1), FloatToStr(sensor->InUnit(sensor->temp.value)));
        }
        PostDisplayTemperature(*this, sensor->TemperatureIndex);
        return true;
    });
}

bool TMainForm::ReadDS2450() {
    static const ErrorTexts texts = ReaderTexts("SERVER/DS2450", "SERVER/DS2450: Error reading");
    return Reader(*this, texts, [&] {
        HandOutTurns(SensorSet().DS2450Sensors, 0);
        unsigned i = SampleCount % static_cast<unsigned>(SensorSet().DS2450Sensors.Count());
        DS2450* sensor = SensorSet().DS2450Sensors[static_cast<int>(i)];
        if (!sensor || !sensor->Sample() || !SessionRunning) return false;
        if (DDERunning)
            for (unsigned channel = 0; channel < DS2450::kChannels; ++channel)
                SetDDEText(DDEItemAt(Dde.DS2450Items, 4 * i + channel), FloatToStr(sensor->Value[channel]));
        return true;
    });
}

bool TMainForm::ReadTemperatures() {
    static const ErrorTexts texts = ReaderTexts("SERVER/DS1820", "SERVER/DS1820: Error reading sensor");
    return Reader(*this, texts, [&] {
        const int due = Microlan::Bus().DS1820ReadInterval;
        HandOutTurns(SensorSet().DS1820Sensors, due);
        unsigned i = SampleCount % static_cast<unsigned>(SensorSet().DS1820Sensors.Count());
        DS1820* sensor = SensorSet().DS1820Sensors[static_cast<int>(i)];
        if (!sensor || sensor->SecondsSinceLastSample() <= due) return false;
        if (!sensor->Sample() || !SessionRunning) return false;
        if (DDERunning)
            SetDDEText(DDEItemAt(Dde.DS1820Items, i), FloatToStr(sensor->InUnit(sensor->temp.value)));
        PostDisplayTemperature(*this, sensor->TemperatureIndex);
        return true;
    });
}

bool TMainForm::ReadHumidity() {
    static const ErrorTexts texts = ReaderTexts("SERVER/DS2438/HUMIDITY", "SERVER/DS2438/HUMIDITY: Error reading");
    return Reader(*this, texts, [&] {
        const int due = Microlan::Bus().DS2438ReadInterval;
        HandOutTurns(SensorSet().HumiditySensors, due);
        int i = static_cast<int>(SampleCount % static_cast<unsigned>(SensorSet().HumiditySensors.Count()));
        Humidity* sensor = SensorSet().HumiditySensors[i];
        if (!sensor || sensor->SecondsSinceLastSample() <= due) return false;
        if (!sensor->Sample() || !SessionRunning) return false;
        bool main = i == MainHumiditySensor;
        if (main) {
            TCurrentReadings& r = CurrentReadings;
            r.Humidity = static_cast<float>(sensor->GetValue());
            r.HumidityMax = static_cast<float>(sensor->GetMax());
            r.HumidityMin = static_cast<float>(sensor->GetMin());
            if (DDERunning) SetDDEText(Dde.DDEHumidity, FloatToStr(sensor->GetValue()));
        }
        if (DDERunning) {
            size_t at = 2 * static_cast<size_t>(i);
            SetDDEText(DDEItemAt(Dde.HumidityItems, at), FloatToStr(sensor->GetValue()));
            SetDDEText(DDEItemAt(Dde.HumidityItems, at + 1), FloatToStr(sensor->InUnit(sensor->temp.value)));
        }
        PostDisplayTemperature(*this, sensor->TemperatureIndex);
        if (main && Visible()) PostMessage(Handle(), MsgDisplayHumidity, static_cast<WPARAM>(i), i);
        return true;
    });
}
