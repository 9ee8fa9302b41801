#pragma once
// The 1-Wire digital thermometers: DS18S20/DS1820 (family 0x10), DS18B20 (0x28) and DS1822 (0x22).
// Conversion under strong pull-up in 100 ms waits that handle messages, scratchpad read with CRC8 check, the
// two decodings with their plausibility window, the HTML table and the per-sensor data log. The power-on
// temperature (85 C) is a reading only right after a current reading of the sensor near it.
#include <optional>
#include <string>

#include "onewire/FaultRun.h"
#include "onewire/HourlyRun.h"
#include "onewire/RunOfFailures.h"
#include "onewire/Temperature.h"

// Set while a sensor's read pumps window messages (the DS18x20 conversion). The controller must not run
// Unload, Restart, Rescan or a nested reading round from inside that pump: they would free or re-enter
// the object whose read is on the stack. It re-posts them instead until the flag is clear.
extern bool SampleInProgress;

class DS1820 : public Temperature {
public:
    static constexpr uint8_t kFamilyDS18S20 = 0x10;
    static constexpr uint8_t kFamilyDS18B20 = 0x28;
    static constexpr uint8_t kFamilyDS1822 = 0x22;
    // What a decoder returns when it fails; outside the window every read refuses.
    static constexpr double kRefused = -56.0;

    DS1820(int sensorNumber, const uint16_t* couplerRom, int couplerPort);

    int Read() override;
    void ResetDaily() override;
    std::string GetHTML() override;
    std::string GetXML() override;
    void LogData();

    int StartConversion();
    int ReadScratchpad();
    double DecodeDS18B20();
    double DecodeDS18S20();

    int BoostTime = 1000;

    // The session ends (a restart, the program's end): the power-on values taken and not told yet are
    // told now, or they would be lost with the object.
    void EndRuns();

private:
    // Conversions that failed: Convert T, its strong pull-up or the pull-up's end not confirmed.
    RunOfFailures conversionFailures_;
    // A conversion was not confirmed since the last reading taken: the device may have lost its power
    // meanwhile, and its power-on value is no reading.
    bool unconfirmedConversion_ = false;
    // The last value taken (as decoded), for the power-on value's neighbour rule.
    std::optional<double> lastTaken_;
    // Power-on values refused: the first of a run is logged, the rest counted; a value taken ends it.
    TFaultRun powerOnRefusals_;
    // Power-on values taken (a sensor at 85 C, or one that stopped converting right after a reading near
    // it): a spell of them is told at once with the reading before, then at most once an hour with a
    // count. It ends at a reading beyond the neighbour rule's reach of 85 C, after the run's quiet time
    // without a value taken (THourlyRun::QuietMs of the sensor's read interval), or with the session; its
    // end tells the count not yet told and when the last value was taken.
    THourlyRun powerOnValuesTaken_;

    void LogScratchpad();
    void DebugIf(const std::string& text);
    // All nine bytes read as zeros: what a shorted net gives (and its CRC checks).
    bool ScratchpadAllZero() const;
    // The scratchpad holds the device's power-on temperature (85 C).
    bool PowerOnTemperature() const;
    // A power-on temperature is a reading: it follows a current reading of this sensor near it.
    bool PowerOnValueFollowsANeighbour() const;
    int RefusePowerOnValue();
    void TellPowerOnValueTaken();
    // A reading beyond the neighbour rule's reach ends a spell of power-on values taken.
    void EndPowerOnValuesTakenFarFromThem(double value);
    // A spell with no value taken for its quiet time is over.
    void EndQuietPowerOnValuesTaken();
    void EndPowerOnValuesTaken();
    TFaultRun::Log ErrorLog();
    int FailConversion(const std::string& text, const std::string& debug);
};
