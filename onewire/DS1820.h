#pragma once
// The 1-Wire digital thermometers: DS18S20/DS1820 (family 0x10), DS18B20 (0x28) and DS1822 (0x22).
// Conversion under strong pull-up in 100 ms waits that handle messages, scratchpad read with CRC8 check, the
// two decodings with their plausibility window, the HTML table and the per-sensor data log.
#include <string>

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

private:
    // Conversions that failed: Convert T, its strong pull-up or the pull-up's end not confirmed.
    RunOfFailures conversionFailures_;
    // A conversion was not confirmed since the last reading taken: the device may have lost its power
    // meanwhile, and its power-on value is no reading.
    bool unconfirmedConversion_ = false;
    // The last scratchpad read held the power-on value: a second one in a row is a reading.
    bool powerOnRead_ = false;

    void LogScratchpad();
    void DebugIf(const std::string& text);
    // All nine bytes read as zeros: what a shorted net gives (and its CRC checks).
    bool ScratchpadAllZero() const;
    // The scratchpad's temperature is the device's power-on value (85 C).
    bool PowerOnTemperature() const;
    int FailConversion(const std::string& text, const std::string& debug);
};
