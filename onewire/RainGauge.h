#pragma once
// The tipping-bucket rain gauge on a DS2423 counter: counts become inches (or millimetres) with the
// gauge's counts per inch; totals for today, the week, the month and since a reset, and a rate per hour
// over the last RateMinutes minutes.
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>

#include "onewire/DS2423.h"

class RainGauge : public DS2423 {
public:
    static constexpr int kMinutes = 61;

    RainGauge(int tag, const uint16_t* couplerSerial, int couplerBranch);

    void LoadSettings();
    void SaveSettings();
    // The minute step of the rate.
    void CalculateRate();
    void ResetTotal();
    void ResetMonth();
    void ResetWeek();
    void SetUnitInch(int inch);
    void LogData();

    void ResetDaily() override;
    int Read() override;
    std::string GetUnit() override;
    std::string GetHTML() override;
    std::string GetStatus() override;
    virtual std::string GetValueText();

    // Totals in counts (magnitudes) and amounts in inches, or in the display unit.
    uint32_t TodayCounts() const;
    uint32_t WeekCounts() const;
    uint32_t MonthCounts() const;
    uint32_t TotalCounts() const;
    // Since the oldest count of the minute history (read since the start): the last hour's rain.
    uint32_t LastHourCounts() const;
    double RateCounts() const; // counts per hour
    double Inches(double counts) const { return counts / CountsPrInch; }
    double InUnit(double counts) const { return RainUnitInch ? Inches(counts) : Inches(counts) * 25.4; }

    uint8_t CountsPrInch = 100;
    uint8_t RateMinutes = 10;
    int32_t WeeklyRain[7] = {};
    int32_t StartCounter = 0;
    int32_t MonthCounter = 0;
    int32_t RateFallback = 0;
    int32_t RateReference = 0;
    int32_t MinuteCounts[kMinutes] = {};
    uint32_t ResetTime = 0;
    int32_t RainUnitInch = 1;

    // The week's counts as written to SENSORS.INI ("1 0 4 0 0 0 0").
    std::string WeeklyRainText() const;

protected:
    // The gauge's start keys besides today's: the running count (the rate's reference), the month's
    // and the total's start, and the total's date (ResetTime).
    void StartAtFirstCount(int32_t first) override;
    // The totals' starts, the rate's references and the minute counts move with the count.
    void MoveCounts(int32_t step) override;
    std::string KeptWhenStartedAgain() const override;

private:
    void SetTodayText();
    void StartRateAtFirstCount();
    // MinuteCounts[k] was read: a count of 0 read (a counter that started again, before its first tip)
    // is a count, not a minute without a read.
    bool MinuteRead(int k) const { return MinuteCounts[k] != 0 || minuteRead_[k]; }

    // The start keys the section lacked at the load. A counter chip has counted since it was made, so
    // a gauge's totals start at its first count as a gauge, not at 0 nor at a count of its earlier role.
    // ResetTime: the section gives none (or 0).
    struct {
        bool running = false, month = false, total = false, resetTime = false;
    } fromFirstCount_;
    // The minutes of MinuteCounts with a read, aged with it.
    std::bitset<kMinutes> minuteRead_;
    // The first count read after the start of a gauge that kept its count: the rate's reference and the
    // last hour's start, once RunningCounter holds a count read (the second read).
    std::optional<int32_t> rateStart_;
};
