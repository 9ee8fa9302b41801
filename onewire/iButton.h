#pragma once
// The common base of the sensor classes with virtual operations (Temperature, DS1820,
// DS2438, Humidity, Barometer, DS2423, RainGauge, WindData, DS2407). It owns the device's serial number
// and SENSORS.INI section, the common settings, the retrying sample with error counting and disabling,
// coupler switching from the sensor's side, device selection, the median filter, the 1-Wire CRCs, and
// the error and debug logs.
//
// A disabled sensor reports "not sampled" (0) and touches no counter. One the error rule disabled (50
// failures in a row) comes back after a good sample, or is tried again once an hour; one the user
// disabled (Read=0) stays off. A sample that fails while the adapter itself does not answer counts no
// error either: the sensor is not at fault, and it samples on as soon as the adapter answers again. The
// description is made safe before it names the debug log; a shorted net's setup result reaches the log
// text ("MLAN shorted!").
//
// Its values are current (ValuesCurrent) while it samples and has read its device within a few of its
// read intervals (Freshness.h); what the station publishes as current asks that.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "onewire/Freshness.h"
#include "onewire/PumpMessages.h"
#include "onewire/ReadingText.h"
#include "platform/CatchAndLog.h"
#include "platform/IniFile.h"

class iButton {
public:
    // Coupler command numbers (shared with DS2409::Switch).
    enum CouplerCommand { AllLinesOff = 0, SmartOnMain = 1, SmartOnAux = 2, DirectOnMain = 3, Discharge = 4 };

    // Reads the driver's current device into Rom; couplerSerial may be null when branch is 0.
    iButton(const uint16_t* couplerSerial, int couplerBranch);
    virtual ~iButton();
    iButton(const iButton&) = delete;
    iButton& operator=(const iButton&) = delete;

    // Slots 0-12.
    virtual void LogError(const std::string& text);
    virtual void ResetDaily() {}
    virtual void InitHistory() {}
    virtual int Read() { return 1; }
    virtual double GetValue() { return 0.0; }
    virtual double GetMax() { return 0.0; }
    virtual double GetMin() { return 0.0; }
    virtual double GetMaxAt(uint8_t* /*time*/) { return 0.0; }
    virtual double GetMinAt(uint8_t* /*time*/) { return 0.0; }
    virtual std::string GetUnit() { return {}; }
    virtual std::string GetXML() { return {}; }
    virtual std::string GetHTML();
    virtual std::string GetStatus();

    int Sample();
    // Sampling is on and a sample read the device lately (Freshness.h).
    bool ValuesCurrent() const;
    // The seconds between two samples as the station's rounds take them; the station tells it.
    void SetReadInterval(int seconds) { freshness_.SetReadInterval(seconds); }
    // The interval the station told (0 until told); the sensor's runs of events wait a few of them.
    int ReadIntervalSeconds() const { return freshness_.ReadIntervalSeconds(); }
    // A sample read the device now (Sample marks it; values put in by hand are marked the same way).
    void MarkRead() { freshness_.Read(); }
    int SelectDevice();
    int SwitchCoupler(int command);
    void AssignCoupler(const uint16_t* couplerSerial, int branch);
    int SecondsSinceLastSample();
    double FilterValue(double value, int channel);
    void SetType(const std::string& type);
    void SetRead(int flag);
    void LoadSettings();
    void SaveSettings();

    // The 16-digit serial text (CRC first, family last). RomToHex shares one static buffer.
    static const char* RomToHex(const uint16_t* rom);
    static std::string RomText(const uint16_t* rom);
    static int HexDigitValue(char c);
    uint8_t Crc8(uint8_t byte);
    uint16_t Crc16(uint8_t byte);
    void DebugLog(const std::string& text);
    // The SENSORS.INI section of this sensor (its serial text).
    std::string SerialSection() const { return RomText(Rom); }

    // State shared by every sensor class: filter history, settings, counters, serial and coupler.
    double History[4][10] = {};
    std::string LogErrorPORT;
    uint8_t MaxRetry = 3;
    int32_t Tag = 0;
    uint32_t LastSampleTime = 0; // tick count / 1000 at the end of the last sample
    uint32_t ErrorCount = 0;
    int32_t LastReadOk = 0;
    uint8_t Crc8Value = 0;
    uint16_t Crc16Value = 0;
    std::string Type;
    std::string DDEName;
    ReadingText ValueText;
    std::string LastError;
    std::string Description;
    std::unique_ptr<platform::TIniFile> IniFile;
    int32_t SwitchPort = 0; // 0 none, 1 main, 2 aux
    uint16_t SwitchSerial[9] = {};
    uint16_t Rom[8] = {};
    uint8_t IoBuffer[52] = {};
    uint32_t Samples = 0;
    uint32_t ClassCounter = 0;
    int PrintOnHTML = 1;
    int Plot = 1;
    int Log = 1;
    int ReadEnabled = 1; // SENSORS.INI Read (named apart from Read(), the read operation)
    int HistoryPending = 0;
    int Debug = 0;

    // SENSORS.INI in the program's folder (tests may point it elsewhere before constructing sensors).
    static std::string SensorsIniPath();

protected:
    // Runs a step of the sensor's work; an exception that leaves it is logged (LogError) with the text or
    // texts. True when the step returned.
    template <class Work> bool Logged(const char* text, Work&& work) {
        return platform::CatchAndLog(
            text, [this](const std::string& line) { LogError(line); }, std::forward<Work>(work));
    }
    template <class Work> bool Logged(const platform::ErrorTexts& texts, Work&& work) {
        return platform::CatchAndLog(
            texts, [this](const std::string& line) { LogError(line); }, std::forward<Work>(work));
    }
    // The same for a step that gives a result: what it returns, or `fallback` after an exception.
    template <class R, class Work> R LoggedOr(R fallback, const char* text, Work&& work) {
        R result = fallback;
        Logged(text, [&] { result = std::forward<Work>(work)(); });
        return result;
    }
    template <class R, class Work> R LoggedOr(R fallback, const platform::ErrorTexts& texts, Work&& work) {
        R result = fallback;
        Logged(texts, [&] { result = std::forward<Work>(work)(); });
        return result;
    }

private:
    // Ends a disable by the error rule: sampling resumes unless SENSORS.INI now says Read=0 (the user
    // switched the sensor off meanwhile); logs Description + text when it resumes.
    bool ResumeSampling(const std::string& section, const char* text);

    uint32_t lastSampleTick_ = 0;   // wrap-safe companion of LastSampleTime (ms)
    bool disabledByErrors_ = false; // ReadEnabled is 0 by the error rule, not by the user
    TFreshness freshness_;          // the last sample that read the device
    uint32_t tenthErrorStepAt_ = 0; // the ErrorCount whose every-tenth-error step has run
};
