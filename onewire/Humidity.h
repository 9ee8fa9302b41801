#pragma once
// A DS2438 with a humidity element on VAD: relative humidity from VAD/VDD compensated with the chip's
// own temperature, an outlier rule and smoothing, the sensor's own dew point and heat index, and the
// high and low marks of all three.
#include <cstdint>
#include <string>

#include "onewire/DS2438.h"

class Humidity : public DS2438 {
public:
    Humidity(int sensorNumber, const uint16_t* couplerRom, int couplerPort);

    void LoadSettings();
    void SaveSettings();
    int Read() override;
    // Takes a raw humidity through calibration, the outlier rule and smoothing; non-zero when taken.
    int StoreHumidity(double raw);
    void UpdateHeatIndex();
    void SetHeatIndex(double value);
    void UpdateDewpoint();
    void SetDewpoint(double value);
    void SaveMaxHumidity();
    void SaveMinHumidity();
    void SaveMaxDewpoint();
    void SaveMinDewpoint();
    void SaveMaxHeatIndex();
    void SaveMinHeatIndex();
    void ResetHumidity();
    void ResetDewpoint();
    void ResetHeatIndex();
    void ResetDaily() override;

    double GetValue() override;
    double GetMax() override;
    double GetMin() override;
    double GetMaxAt(uint8_t* time) override;
    double GetMinAt(uint8_t* time) override;
    std::string GetUnit() override;
    std::string GetHTML() override;
    void LogData();

    std::string HumDescription;
    Extremes hum{"hum", -100.0, 200.0}; // value 0.0: no reading taken yet
    double HumOffset = 0.0;
    double HumMultiplier = 1.0;
    Extremes dewpoint{"dewpoint", -100.0, 200.0}; // Celsius
    Extremes heatindex{"heatindex", 1.0, 200.0};  // Celsius; value 0.0 below the formula's range
    double min_volt_limit = 4.0;
    int PlotHum = 1;
    uint8_t HumGraphChannel = 0;
    int GraphHumColor = 255;
};
