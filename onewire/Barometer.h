#pragma once
// A DS2438 with a pressure transducer on VAD: VAD maps linearly from a voltage range onto a pressure
// range in inches of mercury. Keeps the marks, the pressure at the last daily reset and a one-hour
// history of minute values for the rate and the trend. Pressures are held in inHg and converted on
// output to the unit of the Metric setting (0 inHg, 1 hPa, 2 kPa).
#include <cstdint>
#include <string>

#include "onewire/DS2438.h"

class Barometer : public DS2438 {
public:
    static constexpr int kHistory = 61;
    static constexpr double kSupplyLimit = 4.0;

    Barometer(const uint16_t* couplerRom, int couplerPort);

    void LoadSettings();
    void SaveSettings();
    int Read() override;
    // Calibrates and takes a pressure in inHg; non-zero when taken (a pressure of 0 or below is not).
    int StorePressure(double pressure);
    // The minute step: the history ages by one entry, the rate reference becomes the oldest one.
    int CalculateRate();
    std::string GetTrend();
    double ConvertPressure(double inHg);
    // The factor from inHg to a unit named as GetUnit names it; 0 for any other text.
    static double UnitFactor(const std::string& unit);
    void ResetValues();
    void ResetDaily() override;
    void SaveMaxPressure();
    void SaveMinPressure();
    void LogData();

    double GetValue() override;
    double GetMax() override;
    double GetMin() override;
    double GetMaxAt(uint8_t* time) override;
    double GetMinAt(uint8_t* time) override;
    std::string GetUnit() override;
    std::string GetHTML() override;
    std::string GetStatus() override;
    virtual std::string GetPressureHTML();

    // Current pressure minus the rate reference, inHg.
    double RatePerHour() const { return baro.value - RateReference; }

    int Metric = 0;
    double PressureHistory[kHistory] = {}; // 0 newest, one a minute; 0.0 = empty
    Extremes baro{"baro", 0.0, 1500.0};    // inHg
    double today_baro = 0.0;
    double RateReference = 0.0;
    double BaroOffset = 0.0;
    double BaroMultiplier = 1.0;
    double loBar = 28.0;
    double hiBar = 31.0;
    double Vhi = 3.25;
    double Vlow = 1.25;
};
