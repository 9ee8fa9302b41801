// The station's row of each kind.
#include "station/StationKinds.h"

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorKinds.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "station/Unit1.h"

namespace {

// A step that calls the member on every object of the table.
template <class T, class Member>
std::function<void(TMainForm&)> Each(SensorTable<T> TSensorSet::*table, Member member) {
    return [table, member](TMainForm&) {
        for (T* sensor : SensorSet().*table)
            (sensor->*member)();
    };
}

// The data-log step of a table: the line of every object whose values are current (a sensor that
// stopped reading logs as one the station does not have: nothing).
template <class T> std::function<void(TMainForm&)> LogCurrent(SensorTable<T> TSensorSet::*table) {
    return [table](TMainForm&) {
        for (T* sensor : CurrentSensors(SensorSet().*table))
            sensor->LogData();
    };
}

// A step that calls the form's method.
template <class R> std::function<R(TMainForm&)> Call(R (TMainForm::*method)()) {
    return [method](TMainForm& form) { return (form.*method)(); };
}

StationKind Row(const char* kind, std::function<bool(TMainForm&)> read, int readOrder,
                std::function<void(TMainForm&)> resetDaily, int resetOrder,
                std::function<void(TMainForm&)> logData, int logOrder, std::function<void(TMainForm&)> setup,
                int setupOrder) {
    StationKind row;
    row.kind = kind;
    row.read = std::move(read);
    row.readOrder = readOrder;
    row.resetDaily = std::move(resetDaily);
    row.resetOrder = resetOrder;
    row.logData = std::move(logData);
    row.logOrder = logOrder;
    row.setup = std::move(setup);
    row.setupOrder = setupOrder;
    return row;
}

StationKind RainRow() {
    StationKind row = Row(
        "Rain", Call(&TMainForm::ReadRain), 2, [](TMainForm&) { SensorSet().RainSensor->ResetDaily(); }, 8,
        [](TMainForm& form) {
            if (const std::optional<TRainNow> rain = form.CurrentReadings.Rain()) rain->Gauge->LogData();
        },
        6, Call(&TMainForm::ConfigureRainGauge), 7);
    row.resetMonthly = [](TMainForm&) {
        SensorSet().RainSensor->ResetMonth();
        if (StationSettings.AutoRainReset) SensorSet().RainSensor->ResetTotal();
    };
    row.monthOrder = 1;
    return row;
}

} // namespace

KindRegistry<StationKind>& StationKinds() {
    // Each row: reading step, daily reset, data-log lines and set-up, each with its order.
    static KindRegistry<StationKind> kinds({
        Row(
            "Wind", Call(&TMainForm::ReadWind), 1, [](TMainForm&) { SensorSet().WindSensor->ResetDaily(); },
            7, nullptr, 0, Call(&TMainForm::ConfigureWindSensors), 6),
        RainRow(),
        Row(
            "Barometer", Call(&TMainForm::ReadBarometer), 3,
            [](TMainForm& form) {
                SensorSet().BarometerSensor->ResetDaily();
                if (StationSettings.ResetHiLoMarks) form.ResestHighMarkBaro(&form);
            },
            6,
            [](TMainForm& form) {
                if (const std::optional<TBarometerNow> baro = form.CurrentReadings.Pressure())
                    baro->Sensor->LogData();
            },
            7,
            Call(&TMainForm::ConfigureBarometer), 5),
        Row("DS2423", Call(&TMainForm::ReadCounters), 4,
            Each(&TSensorSet::DS2423Sensors, &DS2423::ResetDaily), 4,
            LogCurrent(&TSensorSet::DS2423Sensors), 4, Call(&TMainForm::SetupDS2423Menu), 3),
        Row("DS2438", Call(&TMainForm::ReadDS2438), 5, Each(&TSensorSet::DS2438Sensors, &DS2438::ResetDaily),
            3, LogCurrent(&TSensorSet::DS2438Sensors), 5, Call(&TMainForm::SetupDS2438Menu), 4),
        Row("DS2450", Call(&TMainForm::ReadDS2450), 6, Each(&TSensorSet::DS2450Sensors, &DS2450::ResetAll), 5,
            LogCurrent(&TSensorSet::DS2450Sensors), 3, Call(&TMainForm::SetupDS2450Menu), 2),
        Row("DS1820", Call(&TMainForm::ReadTemperatures), 7,
            Each(&TSensorSet::DS1820Sensors, &DS1820::ResetDaily), 1,
            LogCurrent(&TSensorSet::DS1820Sensors), 1, nullptr, 0),
        Row("Humidity", Call(&TMainForm::ReadHumidity), 8,
            Each(&TSensorSet::HumiditySensors, &Humidity::ResetDaily), 2,
            LogCurrent(&TSensorSet::HumiditySensors), 2,
            Call(&TMainForm::ConfigureHumiditySensors), 1),
    });
    return kinds;
}

void ForEachStationKind(std::function<void(TMainForm&)> StationKind::*step, int StationKind::*order,
                        TMainForm& form) {
    for (const StationKind* kind : StationKinds().By(order))
        if (kind->*step && KindPresent(kind->kind)) (kind->*step)(form);
}
