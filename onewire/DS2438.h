#pragma once
// The DS2438 smart battery monitor (family 0x26): temperature, an A/D converter on VAD or on its own
// supply VDD, and the current-sense register VSENS, all from memory page 0. Base of Humidity and
// Barometer, which turn VAD and VDD into their own values.
#include <cstdint>
#include <initializer_list>
#include <string>

#include "onewire/Temperature.h"

class DS2438 : public Temperature {
public:
    static constexpr uint8_t kFamily = 0x26;
    // Page-0 configuration bit: set, the A/D measures VDD; clear, VAD.
    static constexpr uint8_t kAdBit = 0x08;
    // How long a poll for a finished conversion or copy may take, and how many bus reads at most.
    static constexpr uint32_t kPollLimitMs = 100;
    static constexpr int kPollLimitReads = 1000;
    // How often the VAD sequence is run when the input has not switched yet.
    static constexpr int kVadSequences = 3;

    DS2438(int sensorNumber, const uint16_t* couplerRom, int couplerPort);

    // VAD, temperature, then VDD and VSENS: all three are read, success only when all three succeed.
    int Read() override;
    // Points the A/D at VAD (0) or VDD (non-zero).
    int SelectInput(int input);
    int ReadVoltage(int input);
    int ReadTemperature();
    void SetVAD(double volts);
    void SetVDD(double volts);
    void SetVSENS(double value);

    double GetValue() override;
    double GetMax() override;
    double GetMin() override;
    double GetMaxAt(uint8_t* time) override;
    double GetMinAt(uint8_t* time) override;
    double GetMaxVAD(uint8_t* time);
    double GetMinVAD(uint8_t* time);
    double GetMaxVDD(uint8_t* time);
    double GetMinVDD(uint8_t* time);
    double GetMaxVSENS(uint8_t* time);
    double GetMinVSENS(uint8_t* time);
    std::string GetUnit() override;
    std::string GetHTML() override;

    void ResetDaily() override;
    void ResetVSENS();
    void ResetVAD();
    void ResetVDD();

    void SaveSettings();
    void SaveMaxVSENS();
    void SaveMinVSENS();
    void SaveMaxVAD();
    void SaveMinVAD();
    void SaveMaxVDD();
    void SaveMinVDD();
    void LogData();

    std::string VADDescription;
    std::string VSENSDescription;
    int PrintTempOnHTML = 1;
    // The current-sense register, the A/D input and the supply, each with its high and low.
    Extremes VSENS{"VSENS", -100.0, 200.0};
    Extremes VAD{"VAD", -100.0, 200.0};
    double VADOffset = 0.0;
    double VADMultiplier = 1.0;
    Extremes VDD{"VDD", 0.0, 20.0};

protected:
    void DebugIf(const std::string& text);

private:
    // One block transfer of the bytes given; the driver's result.
    int Block(std::initializer_list<uint8_t> bytes);
    // Reads scratchpad page 0 with one 11-byte transfer: the page lands in IoBuffer[2..10] (byte 0 of
    // the page at IoBuffer[2]); the driver's result.
    int ReadPage();
    bool PageCrcOk();
    // Reads the bus until a non-zero byte (conversion or copy finished), within the poll limits.
    bool WaitNonZero();
    // A page of nothing but zeros: what a shorted net returns (its CRC checks).
    bool PageAllZero() const;
};
