#pragma once
// A DS2450 quad A/D converter (family 0x20) used as four calibrated channels A-D with high and low marks.
// It stands apart from the iButton family: its own sample cycle and session handling, its own copies of
// the bus primitives and coupler commands, troubles reported as diagnostic datagrams and to its own
// debug log instead of the status log.
//
// A read is the chip's exchange (DS2450Exchange.h), every part of it checked with its CRC16: a read whose
// CRC fails is a failed read, and a sample tries up to kTries reads, as the other kinds try theirs.
#include <cstdint>
#include <memory>
#include <string>

#include "onewire/Extremes.h"
#include "onewire/Freshness.h"
#include "onewire/ReadingText.h"
#include "onewire/RunOfFailures.h"
#include "platform/CatchAndLog.h"
#include "platform/IniFile.h"

class DS2450 {
public:
    static constexpr uint8_t kFamily = 0x20;
    static constexpr int kChannels = 4;

    // Takes the driver's current device (the last search result) as its own.
    DS2450(int number, const uint16_t* couplerRom, int couplerPort);
    ~DS2450();
    DS2450(const DS2450&) = delete;
    DS2450& operator=(const DS2450&) = delete;

    // Reads per sample at most (a bus reset before the third).
    static constexpr int kTries = 3;

    // One sample with its own session; non-zero = success.
    int Sample();
    // Sampling is on and a sample read the device lately (Freshness.h).
    bool ValuesCurrent() const;
    // The seconds between two samples as the station's rounds take them; the station tells it.
    void SetReadInterval(int seconds) { freshness_.SetReadInterval(seconds); }
    // A read of the device now (Read marks it; values put in by hand are marked the same way).
    void MarkRead() { freshness_.Read(); }
    // The conversion and read of all four channels; the session is open.
    int Read();
    void StoreValue(int channel, double volts);

    int Reset();
    int ReadByte();
    int SendByte(int byte);
    int Access();
    int SwitchCoupler(int command);
    void SetCoupler(const uint16_t* couplerRom, int port);
    int SetErrorText(int result, int expected);
    void SendDatagram(const std::string& text);
    void DebugLog(const std::string& text);
    void LogData();

    void LoadSettings();
    void SaveSettings();
    void SetType(const std::string& type);
    void ResetChannel(int channel);
    void ResetAll();
    // The mark and the local time of its time: time[0] minute, time[1] hour.
    float GetMaxValue(int channel, uint8_t* time);
    float GetMinValue(int channel, uint8_t* time);

    static std::string RomToHex(const uint16_t* rom);
    std::string RomToText() const;

    // Fields that other parts read directly.
    std::string LastError;
    std::string LogErrorPORT;
    std::string Description[kChannels];
    std::string MessageBuffer;
    std::string Type;
    ReadingText StatusText; // the coupler's state, or the four values of the last reading
    int FiveVoltRange = 1;
    int ReadEnabled = 1; // SENSORS.INI Read
    int Debug = 0;
    int BitsConversion = 8; // 1-16
    int Plot[kChannels] = {};
    int Log[kChannels] = {};
    int PrintOnHTML[kChannels] = {};
    int SampleCount = 0;
    int LastSampleTime = 0;
    int FailureRun = 0;
    int LastResult = 0;
    uint8_t Number = 0;
    // Each channel's calibrated value with its marks ("max_value_A", "max_value_t_A", ...).
    FloatExtremes Channels[kChannels] = {{"value", -100.0f, 100.0f, "_A"},
                                         {"value", -100.0f, 100.0f, "_B"},
                                         {"value", -100.0f, 100.0f, "_C"},
                                         {"value", -100.0f, 100.0f, "_D"}};
    // One number of each channel, indexed by channel: the value and its marks as other parts read them.
    class ChannelNumbers {
    public:
        ChannelNumbers(FloatExtremes* channels, float FloatExtremes::*part)
            : channels_(channels), part_(part) {}
        float& operator[](int channel) const { return channels_[channel].*part_; }

    private:
        FloatExtremes* channels_;
        float FloatExtremes::*part_;
    };
    ChannelNumbers Value{Channels, &FloatExtremes::value};
    ChannelNumbers MaxValue{Channels, &FloatExtremes::high};
    ChannelNumbers MinValue{Channels, &FloatExtremes::low};
    float Offset[kChannels] = {};
    float Multiplier[kChannels] = {};
    std::unique_ptr<platform::TIniFile> IniFile;
    int SwitchPort = 0;
    uint16_t SwitchSerial[9] = {};
    uint16_t Rom[8] = {};

private:
    std::string Section() const { return RomToText(); }
    // A conversion whose start failed (its strong pull-up not confirmed).
    RunOfFailures conversionStartFailures_;
    TFreshness freshness_; // the last sample that read the device
    // The CRC of a part of the exchange failed: logged (with Debug on) as reading `what`; the read fails.
    int CrcError(const char* what);
    // Runs a step; an exception that leaves it is sent as a diagnostic datagram with the text(s).
    template <class Work> void Reported(const platform::ErrorTexts& texts, Work&& work) {
        platform::CatchAndLog(
            texts, [this](const std::string& text) { SendDatagram(text); }, std::forward<Work>(work));
    }
    template <class Work> void Reported(const char* text, Work&& work) {
        platform::CatchAndLog(
            text, [this](const std::string& line) { SendDatagram(line); }, std::forward<Work>(work));
    }
};
