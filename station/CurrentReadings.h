#pragma once
// The latest shared values: written by the readers and the display handlers, read by the status line,
// the data logs, the windows and publishing. The main window owns them (TMainForm::CurrentReadings);
// publishing reads them through PublishingHost.h. The values are 32-bit floats, as the status line
// formats them.
//
// An output reads a group through its accessor (MainTemperature(), Wind(), Rain(), Pressure(),
// MainHumidity()), which gives the group's values while they are current and nothing otherwise, a value
// derived of groups (Dewpoint(), HeatIndex(), WindChill()) while every group it is made of is current,
// and a sensor of a table through CurrentSensor() or CurrentSensors(). What is not current is published
// as the station publishes a sensor it does not have: left out, "(n/a)", dots, or the zeros of the
// status line. Only the accessors read the flags of the round (TemperatureCurrent...).
#include <cstdint>
#include <optional>
#include <utility>

#include "platform/DateTime.h"

class Barometer;
class Humidity;
class RainGauge;
class WindData;

// The main temperature while current, in the main thermometer's unit and in fixed units.
struct TTemperatureNow {
    float InUnit = 0, Max = 0, Min = 0;
    platform::DosTime MaxTime, MinTime;
    float C = 0, F = 0, MaxC = 0, MinC = 0;
};

// The wind while current: its sensor, the speeds in m/s and in the configured unit, the vane's
// direction (0..15, 255 = no valid direction) and the prevailing direction when the histogram has one.
struct TWindNow {
    WindData* Sensor = nullptr; // never null
    float SpeedMs = 0, GustMs = 0, MaxMs = 0;
    float Speed = 0, Gust = 0, Max = 0;
    int DirectionBin = 255;
    struct Direction {
        int Degrees = 0, CompassPoint = 0;
    };
    std::optional<Direction> Prevailing;
};

// The rain gauge while current, and its amounts in inches.
struct TRainNow {
    RainGauge* Gauge = nullptr; // never null
    float Today = 0, Rate = 0, Hour = 0, Week = 0, Month = 0;
};

// The barometer while current: the pressure in its unit, then in inches of mercury with the change
// against an hour ago.
struct TBarometerNow {
    Barometer* Sensor = nullptr; // never null
    float Value = 0, Max = 0, Min = 0;
    float InHg = 0, MaxInHg = 0, MinInHg = 0, ChangeInHg = 0;
};

// The main humidity sensor while current.
struct THumidityNow {
    Humidity* Sensor = nullptr; // never null
    float Percent = 0, Max = 0, Min = 0;
};

// A value derived of current readings (the dew point, the heat index, the wind chill): in Celsius and in
// the station's unit (korvane.ini's Celsius).
struct TDerivedNow {
    float C = 0, InUnit = 0;
};

struct TCurrentReadings {
    // Main temperature sensor, in its own unit, with the times of its high and low.
    float Temperature = 0, TemperatureMax = 0, TemperatureMin = 0;
    platform::DosTime TemperatureMaxTime, TemperatureMinTime;
    // The same in fixed units.
    float TemperatureC = 0, TemperatureF = 0, TemperatureMaxC = 0, TemperatureMinC = 0;
    // Wind: m/s, and the configured unit.
    float WindSpeedMs = 0, WindGustMs = 0, WindMaxMs = 0;
    float WindSpeed = 0, WindGust = 0, WindMax = 0;
    // Rain, in inches.
    float RainToday = 0, RainRate = 0, RainHour = 0, RainWeek = 0, RainMonth = 0;
    // Main humidity sensor.
    float Humidity = 0, HumidityMax = 0, HumidityMin = 0;
    // Barometer: configured unit, then inches of mercury, and the change against an hour ago.
    float Barometer = 0, BarometerMax = 0, BarometerMin = 0;
    float BarometerInHg = 0, BarometerMaxInHg = 0, BarometerMinInHg = 0, BarometerChangeInHg = 0;
    uint8_t WindDirectionIndex = 0; // 0..15, 255 = no valid direction
    // The wind vane's direction (0..15, 255 = none), its average compass point and its average in degrees.
    int WindDirectionBin = 0;
    int WindCompassPoint = 0;
    int WindDirectionDegrees = 0;
    // Whether the main temperature and the wind have been read since the start (until then the
    // fields above hold zeros, not readings).
    bool TemperatureRead = false, WindRead = false;
    // Which groups above are current: the sensor is there, samples and has read its device lately
    // (iButton::ValuesCurrent), as of the last round (TMainForm::MarkCurrentReadings).
    bool TemperatureCurrent = false, WindCurrent = false, RainCurrent = false, BarometerCurrent = false,
         HumidityCurrent = false;
    // The places of the main thermometer and the main humidity sensor in their tables, as of the same
    // round.
    int MainTemperatureIndex = 0, MainHumidityIndex = 0;
    // The wind's prevailing direction has directions counted since the histogram's restart
    // (WindData::HasPrevailingDirection); without, WindDirectionDegrees and WindCompassPoint are no value.
    bool PrevailingDirection = false;

    // Each group's values while current (the sensor is there, the round found it current and, for the
    // main temperature and the wind, they have been read), else none.
    std::optional<TTemperatureNow> MainTemperature() const;
    std::optional<TWindNow> Wind() const;
    std::optional<TRainNow> Rain() const;
    std::optional<TBarometerNow> Pressure() const;
    std::optional<THumidityNow> MainHumidity() const;
    // The derived values while every group they are made of is current, else none: the dew point and
    // the heat index of the main temperature and the main humidity, the wind chill of the main
    // temperature and the wind's minute average (on a station without a wind sensor, the main
    // temperature itself).
    std::optional<TDerivedNow> Dewpoint() const;
    std::optional<TDerivedNow> HeatIndex() const;
    std::optional<TDerivedNow> WindChill() const;

private:
    // A value of the main temperature and humidity in Celsius (calculate's arguments: C, %).
    std::optional<TDerivedNow> OfTemperatureAndHumidity(float (*calculate)(float, float)) const;
};

// One sensor of a table while its values are current (it samples and has read its device lately),
// else null.
template <class Sensor> Sensor* CurrentSensor(Sensor* sensor) {
    return sensor != nullptr && sensor->ValuesCurrent() ? sensor : nullptr;
}

// The sensors of a table (or view) whose values are current, in the table's order.
template <class Table> class TCurrentSensors {
public:
    explicit TCurrentSensors(const Table& table) : table_(table) {}
    class Iterator {
    public:
        using Inner = decltype(std::declval<const Table&>().begin());
        Iterator(Inner at, Inner end) : at_(at), end_(end) { Skip(); }
        auto operator*() const { return *at_; }
        Iterator& operator++() {
            ++at_;
            Skip();
            return *this;
        }
        bool operator==(const Iterator& other) const { return at_ == other.at_; }

    private:
        void Skip() {
            while (at_ != end_ && CurrentSensor(*at_) == nullptr)
                ++at_;
        }
        Inner at_, end_;
    };
    Iterator begin() const { return Iterator(table_.begin(), table_.end()); }
    Iterator end() const { return Iterator(table_.end(), table_.end()); }

private:
    const Table& table_;
};

template <class Table> TCurrentSensors<Table> CurrentSensors(const Table& table) {
    return TCurrentSensors<Table>(table);
}
