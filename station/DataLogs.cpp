// The data files under DATA: the monthly data log, the yearly daily log, SUMMARY.TXT and NOW.TXT.
// Each writer opens its file, writes one record and closes it; a file that cannot be written is told
// once in the status log (and its recovery once), and the record is dropped. A group of readings that
// is not current (CurrentReadings) is written as the values of a sensor the station does not have:
// zeros (and compass point 0) in its columns of the monthly record, whose columns stay those of the
// sensors the station has, so that every record of a file reads alike; no group in the summary; no line
// in the sensor's own file.
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DataFiles.h"
#include "onewire/DataTables.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WeatherCalc.h"
#include "onewire/WindData.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/Strings.h"
#include "station/StationKinds.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

double RainInUnit(const RainGauge& rain, int32_t a, int32_t b) {
    if (rain.CountsPrInch == 0) return 0;
    double inches = static_cast<double>(CountDistance(a, b)) / rain.CountsPrInch;
    return rain.RainUnitInch ? inches : inches * 25.4;
}

// The data logs keep their format whatever the units: a switch of units (korvane.ini's Celsius, the
// wind sensor's Unit, the rain gauge's RainUnitInch, the barometer's Metric) goes on in the same files.
// So korvane.ini [DataLogUnits] records the units the logs were last written in, and the first record
// after a switch logs one line with the files and the change.
constexpr const char* kUnitsSection = "DataLogUnits";

struct LogUnit {
    const char* key;
    std::string unit;
};

// The units of the quantities the station has sensors for; the temperature as its letter.
std::vector<LogUnit> DataLogUnits() {
    std::vector<LogUnit> units;
    const TSensorSet& set = SensorSet();
    if (set.TemperatureSensors.Count() > 0) units.push_back({"Temperature", std::string(1, TemperatureUnitLetter())});
    if (set.WindPresent && set.WindSensor) units.push_back({"Wind", set.WindSensor->GetUnit()});
    if (set.RainPresent && set.RainSensor) units.push_back({"Rain", set.RainSensor->GetUnit()});
    if (set.BarometerPresent && set.BarometerSensor) units.push_back({"Pressure", set.BarometerSensor->GetUnit()});
    return units;
}

std::string UnitText(const LogUnit& u, const std::string& unit) {
    return std::string(u.key) == "Temperature" ? std::string(1, kDegreeSign) + unit : unit;
}

void NoteDataLogUnits(TMainForm& form) {
    TIniFile& ini = *form.IniFile;
    std::string changes;
    for (const LogUnit& u : DataLogUnits()) {
        const std::string was = ini.ReadString(kUnitsSection, u.key, "");
        if (was == u.unit) continue;
        if (!was.empty())
            changes += (changes.empty() ? "" : ", ") + UnitText(u, was) + " to " + UnitText(u, u.unit);
        ini.WriteString(kUnitsSection, u.key, u.unit);
    }
    if (changes.empty()) return;
    const DosDate& d = form.CurrentDate;
    form.LogStatus(Format("SERVER: Data logs DATA\\%02d%d.TXT, DATA\\Daily%d.TXT and the sensors' DATA\\*-%02d%d.TXT "
                          "switched from %s; their earlier records keep their units",
                          d.da_mon, d.da_year, d.da_year, d.da_mon, d.da_year, changes.c_str()));
}

} // namespace

std::string TMainForm::WriteDataLog() {
    std::string record;
    Logged(Named("SERVER: Error logging data"), [&] {
        NoteDataLogUnits(*this);
        ForEachStationKind(&StationKind::logData, &StationKind::logOrder, *this);
        record = FormatDataRecord();
        AppendDataFile(Format("DATA\\%02d%d.TXT", CurrentDate.da_mon, CurrentDate.da_year), "\n" + record);
    });
    return record;
}

std::string TMainForm::FormatDataRecord() {
    const TCurrentReadings& r = CurrentReadings;
    const DosDate& d = CurrentDate;
    const DosTime& t = CurrentTime;
    const std::optional<TWindNow> wind = r.Wind();
    const TWindNow::Direction prevailing =
        wind ? wind->Prevailing.value_or(TWindNow::Direction{}) : TWindNow::Direction{};
    const double temperature = r.MainTemperature().value_or(TTemperatureNow{}).InUnit;
    const double speed = wind ? wind->Speed : 0.0, gust = wind ? wind->Gust : 0.0;
    std::string record =
        StationSettings.LogDirInDegrees
            ? Format("%02d.%02d.%d\t%02d:%02d\t%3.1f\t%3.1f\t%3.1f\t%03d", d.da_day, d.da_mon, d.da_year,
                     t.ti_hour, t.ti_min, temperature, speed, gust, prevailing.Degrees)
            : Format("%02d.%02d.%d\t%02d:%02d\t%3.1f\t%3.1f\t%3.1f\t%s", d.da_day, d.da_mon, d.da_year,
                     t.ti_hour, t.ti_min, temperature, speed, gust,
                     CompassPointName(prevailing.CompassPoint));
    if (SensorSet().HumiditySensors.Count() > 0)
        record += Format("\t%3.1f", r.MainHumidity().value_or(THumidityNow{}).Percent);
    if (SensorSet().RainPresent && SensorSet().RainSensor) {
        double month = 0, rate = 0;
        if (const std::optional<TRainNow> now = r.Rain()) {
            const RainGauge& rain = *now->Gauge;
            month = RainInUnit(rain, rain.RunningCounter, rain.MonthCounter);
            int stepsPerHour = rain.RateMinutes ? 60 / rain.RateMinutes : 0;
            rate = RainInUnit(rain, rain.RunningCounter, rain.RateReference) * stepsPerHour;
        }
        record += Format("\t%3.2f\t%3.2f", month, rate);
    }
    if (SensorSet().BarometerPresent && SensorSet().BarometerSensor) {
        double pressure = 0, rate = 0;
        if (const std::optional<TBarometerNow> now = r.Pressure()) {
            Barometer& baro = *now->Sensor;
            pressure = baro.GetValue();
            rate = baro.ConvertPressure(baro.RatePerHour());
        }
        record += Format("\t%3.2f\t%3.2f", pressure, rate);
    }
    return record;
}

void TMainForm::WriteDailyLog() {
    Logged(Named("SERVER: Error logging daily data"), [&] {
        NoteDataLogUnits(*this);
        const TCurrentReadings& r = CurrentReadings;
        const DosDate& d = CurrentDate;
        std::string record = Format("\n%02d.%02d.%d ", d.da_day, d.da_mon, d.da_year);
        if (SensorSet().DS1820Sensors.Count() + SensorSet().HumiditySensors.Count() != 0)
            record += Format("%3.1f (%02d:%02d) %3.1f (%02d:%02d) ", r.TemperatureMax,
                             r.TemperatureMaxTime.ti_hour, r.TemperatureMaxTime.ti_min, r.TemperatureMin,
                             r.TemperatureMinTime.ti_hour, r.TemperatureMinTime.ti_min);
        if (SensorSet().WindPresent && SensorSet().WindSensor) {
            int hour = 0, minute = 0;
            float max = SensorSet().WindSensor->GetMaxSpeed(hour, minute);
            record += Format("%3.1f (%02d:%02d/%s) %3.1f ", max, hour, minute,
                             CompassPointName(SensorSet().WindSensor->MaxSpeedDir),
                             SensorSet().WindSensor->ConvertSpeed(SensorSet().WindSensor->DayAvgSpeed));
        }
        if (SensorSet().RainPresent && SensorSet().RainSensor)
            record +=
                Format("%3.2f ", RainInUnit(*SensorSet().RainSensor, SensorSet().RainSensor->RunningCounter,
                                            SensorSet().RainSensor->TodayCounter));
        if (SensorSet().HumiditySensors.Count() > 0 &&
            MainHumiditySensor < SensorSet().HumiditySensors.Count() &&
            SensorSet().HumiditySensors[MainHumiditySensor]) {
            Humidity& h = *SensorSet().HumiditySensors[MainHumiditySensor];
            uint8_t high[2] = {}, low[2] = {};
            double max = h.GetMaxAt(high), min = h.GetMinAt(low);
            record +=
                Format("%3.1f (%02d:%02d) %3.1f (%02d:%02d) ", max, high[1], high[0], min, low[1], low[0]);
        }
        if (SensorSet().BarometerPresent && SensorSet().BarometerSensor) {
            uint8_t high[2] = {}, low[2] = {};
            double max = SensorSet().BarometerSensor->GetMaxAt(high),
                   min = SensorSet().BarometerSensor->GetMinAt(low);
            record +=
                Format("%3.2f (%02d:%02d) %3.2f (%02d:%02d) ", max, high[1], high[0], min, low[1], low[0]);
        }
        AppendDataFile(Format("DATA\\Daily%d.TXT", d.da_year), record);
    });
}

void TMainForm::BuildSummary(std::string& out) {
    CurrentTime = GetTime();
    DosDate date = GetDate();
    out = Format("%s %d %d %02d:%02d\n", EnglishMonthAbbrev(date.da_mon).c_str(), date.da_day, date.da_year,
                 CurrentTime.ti_hour, CurrentTime.ti_min);
    const TCurrentReadings& r = CurrentReadings;
    if (const std::optional<TWindNow> now = r.Wind()) {
        WindData& wind = *now->Sensor;
        // A direction of no value is the report's dots.
        out += now->Prevailing ? Format("%03d", wind.CalculateDirection()) : std::string("...");
        out += Format("/%03dg%03d", static_cast<int>(std::trunc(wind.MinAvgSpeed * 2.13)),
                      static_cast<int>(std::trunc(wind.Gust * 2.13)));
    }
    if (const std::optional<TTemperatureNow> now = r.MainTemperature())
        out += Format("t%03d", static_cast<int>(std::trunc(now->F)));
    if (const std::optional<TRainNow> now = r.Rain(); now && now->Gauge->CountsPrInch) {
        RainGauge& rain = *now->Gauge;
        out += Format(
            "r%03dP%03d", static_cast<int>(std::trunc(100.0 * rain.LastHourCounts() / rain.CountsPrInch)),
            static_cast<int>(std::trunc(100.0 * rain.TodayCounts() / rain.CountsPrInch)));
    }
    if (const std::optional<TBarometerNow> now = r.Pressure())
        out += Format("b%d", static_cast<int>(std::trunc(now->Sensor->baro.value * 33.865 * 10)));
    if (const std::optional<THumidityNow> now = r.MainHumidity()) {
        int humidity = static_cast<int>(std::trunc(now->Percent));
        out += Format("h%02d\n", humidity >= 100 ? 0 : humidity);
    }
}

void TMainForm::WriteSummaryFile() {
    Logged(Named("SERVER: Error creating SUMMARY.TXT"), [&] {
        std::string summary;
        BuildSummary(summary);
        WriteDataFile("DATA\\SUMMARY.TXT", summary);
    });
}

void TMainForm::WriteNowFile() {
    Logged(Named("SERVER: Error creating NOW.TXT"), [&] {
        // Every pass (twice a second) asks, but the summary changes only with a round's readings, the
        // minute tasks and the clock's minute: a pass in between has nothing new to write (a NOW.TXT
        // deleted meanwhile comes back with the next round).
        const NowSource source{SampleCount, LastMinute, UnixTime() / 60};
        if (source == nowSource_ && !nowText_.empty()) {
            CurrentTime = GetTime(); // as the summary would have read it
            return;
        }
        nowSource_ = source;
        std::string summary;
        BuildSummary(summary);
        // The same text again would only cost a disk write.
        if (summary == nowText_ && FileExists("DATA\\NOW.TXT")) return;
        nowText_.clear();
        if (WriteDataFile("DATA\\NOW.TXT", summary)) nowText_ = summary;
    });
}
