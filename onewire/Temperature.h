#pragma once
// The middle class of every sensor that measures a temperature (the DS18x20 thermometers and the DS2438
// with its humidity and barometer roles): calibration, smoothing, the daily high and low with their
// times, a high and a low alarm that beep, the temperature settings and the temperature HTML table.
// It does no bus I/O: the derived classes read the device and hand the raw Celsius value over.
#include <cstdint>
#include <string>

#include "onewire/iButton.h"

class Temperature : public iButton {
public:
    Temperature(int sensorNumber, const uint16_t* couplerRom, int couplerPort);

    // The one entry for a new raw reading in degrees Celsius.
    void UpdateTemperature(double raw);
    // The marks in this sensor's unit; time[0] gets the minute, time[1] the hour (local time).
    double GetMaxTemperature(uint8_t* time);
    double GetMinTemperature(uint8_t* time);
    // Daily reset: both marks to the current value, now, written at once; alarms re-armed.
    void ResetTemperature();
    void ResetAlarm();
    void RearmAlarm(int ignored);
    void SoundAlarm();

    void SaveSettings();
    void SaveMaxTemperature();
    void SaveMinTemperature();

    std::string GetUnit() override;
    std::string GetXML() override;
    std::string GetHTML() override;

    // The temperature in this sensor's unit (Celsius, or Fahrenheit when Celsius is clear).
    double InUnit(double celsius) const { return Celsius ? celsius : celsius * 1.8 + 32; }
    // Seconds since 1970 as the 32-bit mark times hold them.
    static int32_t Now();
    // Fills a two-byte time record (minute, hour) with the local time of a mark.
    static void FillTimeRecord(int32_t when, uint8_t* time);
    // Appends "dd.mm.yyyy<TAB>hh:mm<TAB><value>" (local time now) to the per-sensor monthly data file
    // "DATA\<name>-MMYYYY.TXT"; a file that cannot be written is told once in the status log.
    static void AppendDataLine(const std::string& name, const std::string& value);

    // A temperature to log: read in this run, or kept in SENSORS.INI from an earlier one. A sensor
    // without one logs nothing rather than a value never measured.
    bool HasReading = false;
    double current_temp = 0.0;
    double max_temp = -100.0;
    double min_temp = 200.0;
    double TempOffset = 0.0;
    double TempMultiplier = 1.0;
    double HighAlarm = 200.0;
    double LowAlarm = -100.0;
    int PlotTemp = 1;
    int Celsius = 0;
    int HighAlarmRaised = 0;
    int LowAlarmRaised = 0;
    int AcousticAlarm = 0;
    int32_t max_temp_t = 0;
    int32_t min_temp_t = 0;
    std::string TempDescription;
    uint8_t GraphChannel = 0;
    int GraphTempColor = 255;
    int SensorNumber = 0;
    int TemperatureIndex = 0;
};
