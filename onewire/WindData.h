#pragma once
// The wind sensor: a DS2423 counter on the anemometer cups and a vane read through a second device,
// either a DS2450 (a pattern of four voltage levels) or a DS2407 that switches a chain of eight DS2401
// serial chips (the set of chips found names the direction).
//
// Speeds are kept in revolutions per second and converted to the display unit only when shown.
// Directions are bins 0-15, north = 0, 22.5 degrees apart.
#include <cstdint>
#include <string>

#include "onewire/DS2423.h"
#include "onewire/Extremes.h"
#include "onewire/RunOfFailures.h"

class WindData : public DS2423 {
public:
    static constexpr int kMinuteMaxima = 10;
    static constexpr int kHistogram = 20; // bins 0-15, then bins 0-3 again so every window of 5 is contiguous

    WindData(int tag, const uint16_t* couplerSerial, int couplerBranch);

    // --- speed ---
    int ReadSpeed();
    void UpdateSpeed(float v);
    // The minute step: the gust window moves on.
    void CalculateGust();
    // The hourly step: the average divisors follow the samples actually taken.
    void UpdateAverageDivisors();
    void ResetAverages();
    void SetUnit(int unit);
    float ConvertSpeed(float v);
    // The factor from revolutions per second to a unit named as GetUnit names it; 0 for any other text.
    static float UnitFactor(const std::string& unit);
    float GetMaxSpeed(int& hour, int& minute);
    int GetBeaufort(float speedMs);
    void LoadSettings();
    void SaveSettings();
    void SaveMaxSpeed();

    void ResetDaily() override;
    int Read() override;
    std::string GetUnit() override;
    std::string GetHTML() override;
    std::string GetStatus() override;
    virtual std::string GetValueText();

    // --- direction ---
    // Takes the driver's current device as the direction device.
    int AssignDirectionSensor();
    int SetDirectionSerial(const std::string& text);
    // DirSerialNum of the counter's section.
    int LoadDirectionSerial();
    void SetDirectionSensorType(const std::string& type);
    int ReadDirection();
    int ReadDirectionDS2450();
    int ReadDirectionDS2401();
    static int VoltageLevel(double volts);
    // Raw direction 0-15 of a level pattern of channels A-D, -1 for a pattern outside the table.
    int DirectionFromLevels(const int levels[4]);
    int WriteSwitchStatus(int value);
    // Raw direction 0-15 from the DS2401 serials found (a blank-separated list), 255 when none is known.
    int FindDirectionBySerials(const std::string& found);
    int LoadDirectionSerials();
    void SetDirection(int bin);
    void ResetDirectionHistogram();
    // The prevailing direction in whole degrees over the best window of five bins.
    int CalculateDirection();
    int GetCompassPoint();
    // The histogram holds a direction read since its restart. Until then the prevailing direction is
    // no value (the even histogram would make 45 degrees of nothing).
    bool HasPrevailingDirection() const { return DirectionSamples != 0; }

    uint16_t DirectionRom[8] = {};
    int32_t DirectionIsDS2450 = 0;
    int32_t DirectionAssigned = 0;
    int32_t DirectionValid = 0;
    int32_t Normalized = 1;
    int32_t DirectionHistogram[kHistogram] = {};
    uint32_t DirectionSamples = 0; // directions counted since the histogram's restart
    uint32_t AvgDayDiv = 48000;
    uint32_t AvgHourDiv = 2000;
    uint32_t AvgMinDiv = 33;
    uint32_t SamplesAtDivisorUpdate = 0;
    uint8_t CurrentDirection = 0;
    uint8_t MaxSpeedDir = 0;
    uint8_t Unit = 0;
    uint8_t NorthIndex = 0;
    uint8_t CntsPrRev = 2;
    float MinuteMaxima[kMinuteMaxima] = {};
    float Gust = 0;
    float MinAvgSpeed = 0; // revolutions per second; the wind chill reads it
    float HourAvgSpeed = 0;
    float DayAvgSpeed = 0;
    float Speed = 0;
    // The last speed taken (revolutions per second, before the curve) with the day's high and its time;
    // MaxSpeedDir is the direction at that time.
    FloatExtremes rawSpeed{{"MaxSpeed", "MaxSpeedTime", "", ""}, 0.0f, 0.0f}; // a high alone
    float& MaxSpeed = rawSpeed.high;
    int32_t& MaxSpeedTime = rawSpeed.highTime;

protected:
    // The wind keeps no day's count, and its rate starts at its first read on every start.
    void StartAtFirstCount(int32_t) override {}
    std::string KeptWhenStartedAgain() const override { return "no wind speed is taken from it"; }

private:
    int FamilyTest();
    std::string DirectionSection() const;

    // A vane conversion whose start failed (its strong pull-up not confirmed).
    RunOfFailures vaneConversionStartFailures_;
};

// Readings above twice the day's high, counted over the whole run (alternately taken and dropped).
extern uint32_t SpikeCount;
// The serial texts of the eight DS2401 direction chips; entry k stands for raw direction 2k.
extern std::string DirectionSerials[8];
