// DS18x20 thermometers: conversion, scratchpad, decoders, HTML and data log.
#include "onewire/DS1820.h"

#include <cmath>
#include <cstdint>
#include <exception>

#include "onewire/Microlan.h"
#include "onewire/SensorKeys.h"
#include "platform/Clock.h"
#include "platform/Strings.h"
#include "platform/tmex/Tmex.h"

using platform::Format;
namespace tmex = platform::tmex;

bool SampleInProgress = false;

namespace {

// Keeps SampleInProgress set for a scope and restores what it was.
class SampleGuard {
public:
    SampleGuard() : previous_(SampleInProgress) { SampleInProgress = true; }
    ~SampleGuard() { SampleInProgress = previous_; }
    SampleGuard(const SampleGuard&) = delete;
    SampleGuard& operator=(const SampleGuard&) = delete;

private:
    bool previous_;
};

const char* const kRule = "=================================================";

// A device that browns out or never converts holds its power-on temperature. A sensor truly at it got
// there through its neighbours in 1/16 C steps, and its last reading is still current (a few minutes
// old at most): 3 C is more than air or water warms in that time.
constexpr double kPowerOnCelsius = 85.0;
constexpr double kPowerOnNeighbourCelsius = 3.0;
// The bytes alone cannot tell these apart.
const char* const kPowerOnCauses = "the sensor did not convert (its power or pull-up), or it is at 85 C";

// A boost outside 200-1500 ms takes its default.
void BoostTimeInRange(DS1820& d) {
    if (d.BoostTime > 1500 || d.BoostTime < 200) d.BoostTime = 1000;
}

// Read after the Type; written by hand only.
const SensorKeys<DS1820> kDS1820Keys = {
    {"BoostTime", &DS1820::BoostTime, 1000, {.save = false, .fix = BoostTimeInRange}},
};

} // namespace

DS1820::DS1820(int sensorNumber, const uint16_t* couplerRom, int couplerPort)
    : Temperature(sensorNumber, couplerRom, couplerPort) {
    Logged("Exception creating DS1820 object!", [&] {
        const std::string section = SerialSection();
        Type = IniFile->ReadString(section, "Type", "Temperature");
        IniFile->WriteString(section, "Type", Type);
        LoadKeys(*this, kDS1820Keys, *IniFile, section);
    });
}

void DS1820::DebugIf(const std::string& text) {
    if (Debug) DebugLog(text);
}

bool DS1820::ScratchpadAllZero() const {
    for (int i = 0; i < 9; ++i)
        if (IoBuffer[i] != 0) return false;
    return true;
}

bool DS1820::PowerOnTemperature() const {
    return Rom[0] == kFamilyDS18S20
               ? IoBuffer[0] == 0xAA && IoBuffer[1] == 0x00 && IoBuffer[6] == 0x0C && IoBuffer[7] == 0x10
               : IoBuffer[0] == 0x50 && IoBuffer[1] == 0x05;
}

bool DS1820::PowerOnValueFollowsANeighbour() const {
    return lastTaken_ && ValuesCurrent() &&
           std::fabs(*lastTaken_ - kPowerOnCelsius) <= kPowerOnNeighbourCelsius;
}

TFaultRun::Log DS1820::ErrorLog() {
    return [this](const std::string& line) { LogError(line); };
}

int DS1820::RefusePowerOnValue() {
    DebugIf("Power-on value, not following a reading near it");
    powerOnRefusals_.Failed("Power-on value (85 C) not taken from " + Description + ": " + kPowerOnCauses,
                            ErrorLog());
    return 0;
}

void DS1820::TellPowerOnValueTaken() {
    const unsigned count = powerOnValuesTaken_.Occurred(platform::Clock::Get().MonotonicMs());
    if (count == 0) return;
    const std::string since = count > 1 ? Format(", %u times since the last such line", count) : "";
    LogError(Format("Power-on value (85 C) taken from %s after its reading of %.1f C%s: %s",
                    Description.c_str(), *lastTaken_, since.c_str(), kPowerOnCauses));
}

void DS1820::EndPowerOnValuesTakenFarFromThem(double value) {
    if (std::fabs(value - kPowerOnCelsius) > kPowerOnNeighbourCelsius) EndPowerOnValuesTaken();
}

void DS1820::EndQuietPowerOnValuesTaken() {
    if (powerOnValuesTaken_.Quiet(platform::Clock::Get().MonotonicMs(), ReadIntervalSeconds()))
        EndPowerOnValuesTaken();
}

void DS1820::EndPowerOnValuesTaken() {
    const std::string untold = powerOnValuesTaken_.Ended(platform::Clock::Get());
    if (!untold.empty()) LogError("Power-on value (85 C) taken from " + Description + untold);
}

void DS1820::EndRuns() {
    Logged("Exception ending the power-on values' spell!", [&] { EndPowerOnValuesTaken(); });
}

int DS1820::Read() {
    return LoggedOr<int>(0, "Exception reading temperature!", [&]() -> int {
        EndQuietPowerOnValuesTaken();
        if (!StartConversion()) return 0;
        double value = Rom[0] == kFamilyDS18S20 ? DecodeDS18S20() : DecodeDS18B20();
        // A shorted net reads all zeros, CRC included; 0.0 from real data is the melting point and counts.
        if (value == kRefused || ScratchpadAllZero()) return 0;
        if (!(value >= -55.0 && value <= 125.0)) return 0;
        if (PowerOnTemperature()) {
            // After a conversion that was not confirmed the device may have lost its power meanwhile.
            if (unconfirmedConversion_) {
                DebugIf("Power-on value after a conversion that was not confirmed");
                return 0;
            }
            // A device that browned out, or never converts, unnoticed by the driver.
            if (!PowerOnValueFollowsANeighbour()) return RefusePowerOnValue();
            TellPowerOnValueTaken();
        } else {
            EndPowerOnValuesTakenFarFromThem(value);
        }
        unconfirmedConversion_ = false;
        lastTaken_ = value;
        powerOnRefusals_.Succeeded(ErrorLog());
        UpdateTemperature(value);
        return 1;
    });
}

int DS1820::FailConversion(const std::string& text, const std::string& debug) {
    unconfirmedConversion_ = true;
    if (conversionFailures_.First()) LogError(text + Microlan::Bus().LastTmexError);
    DebugIf(debug);
    return 0;
}

int DS1820::StartConversion() {
    if (!SelectDevice()) {
        DebugIf("Error accessing MicroLAN");
        return 0;
    }
    Microlan::SendByte(0xB8);
    if (!SelectDevice()) {
        DebugIf("Error accessing MicroLAN after start T");
        return 0;
    }
    // Convert T with the strong pull-up right after it (a device on parasite power converts on it). When
    // either is not confirmed the device never converted and its scratchpad holds an old result: the
    // read fails instead of taking it.
    const bool pullupArmed = tmex::OneWireLevel(Microlan::Bus().SessionHandle, 0, 1, 2) == 1;
    if (!pullupArmed) Microlan::Bus().LastTmexError = "TMEX Error: strong pull-up not available";
    if (!pullupArmed || !Microlan::SendByte(0x44)) {
        tmex::OneWireLevel(Microlan::Bus().SessionHandle, 0, 0, 0);
        return FailConversion("Conversion not started: ", "Error starting temp conversion");
    }
    {
        // The pump may dispatch anything; the controller defers what would free or re-enter this object.
        SampleGuard guard;
        const uint32_t start = platform::GetTickCount();
        do {
            PumpMessages(100);
            tmex::ValidSession(Microlan::Bus().SessionHandle);
        } while (platform::TicksElapsed(platform::GetTickCount(), start) < static_cast<uint32_t>(BoostTime));
    }
    // The pull-up's end not confirmed: it may not have lasted (an adapter that lost its power lost it,
    // and a parasite device with it). The conversion failed, whatever the line reads now.
    const int16_t ended = tmex::OneWireLevel(Microlan::Bus().SessionHandle, 0, 0, 0);
    if (ended < 0) {
        Microlan::CheckResult(ended, 0);
        return FailConversion("Conversion not confirmed: ", "Error ending the strong pull-up");
    }
    if (tmex::TouchBit(Microlan::Bus().SessionHandle, 1) != 1) {
        unconfirmedConversion_ = true;
        DebugIf("Error verifying temp conversion");
        return 0;
    }
    conversionFailures_.Succeeded();
    return 1;
}

int DS1820::ReadScratchpad() {
    return LoggedOr<int>(0, "Exception reading scratchpad!", [&]() -> int {
        if (tmex::Access(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer) != 1) return 0;
        tmex::TouchByte(Microlan::Bus().SessionHandle, 0xBE);
        Crc8Value = 0;
        for (int i = 0; i < 9; ++i) {
            int16_t byte = tmex::TouchByte(Microlan::Bus().SessionHandle, 0xFF);
            if (byte < 0) return 0; // a driver error is no data
            IoBuffer[i] = static_cast<uint8_t>(byte);
            Crc8(IoBuffer[i]);
        }
        return Crc8Value == 0 ? 1 : 0;
    });
}

void DS1820::LogScratchpad() {
    if (!Debug) return;
    for (int i = 0; i < 8; ++i)
        DebugLog(Format("Scratchpad[%d]:  Hex: %02X   Dec: %d", i, IoBuffer[i], IoBuffer[i]));
    DebugLog(kRule);
}

double DS1820::DecodeDS18B20() {
    return LoggedOr<double>(kRefused, "Exception reading temperature!", [&]() -> double {
        if (!ReadScratchpad()) return kRefused;
        LogScratchpad();
        int16_t raw = static_cast<int16_t>(IoBuffer[1] << 8 | IoBuffer[0]);
        double temperature = raw * 0.0625;
        if (Debug) {
            DebugLog(kRule);
            DebugLog(Format("temp:  %d  -   temp_c:   %3.1f", raw, temperature));
        }
        return temperature;
    });
}

double DS1820::DecodeDS18S20() {
    return LoggedOr<double>(kRefused, "Exception reading DS18S20 temperature!", [&]() -> double {
        if (!ReadScratchpad()) return kRefused;
        LogScratchpad();
        const int countRemain = IoBuffer[6];
        const int countPerC = IoBuffer[7];
        if (countPerC - countRemain == 1 || countPerC == 0) return kRefused;
        // Half degrees, sign in bit 0 of the MSB; halved with a floor so that -5.5 stays -5.5 (truncation
        // toward zero would read a degree too warm below zero).
        int halfDegrees = (IoBuffer[1] & 1) ? IoBuffer[0] - 256 : IoBuffer[0];
        int tempRead = static_cast<int>(std::floor(halfDegrees / 2.0));
        return tempRead - 0.25 + static_cast<double>(countPerC - countRemain) / countPerC;
    });
}

void DS1820::ResetDaily() {
    ResetTemperature();
}

std::string DS1820::GetHTML() {
    try {
        const char* family = Rom[0] == kFamilyDS18S20  ? "DS1820/DS18S20"
                             : Rom[0] == kFamilyDS1822 ? "DS1822"
                                                       : "DS18B20";
        std::string html = "<TABLE CELLPADDING=0 CELLSPACING=0 BORDER=1>";
        html += Format("<TR><TD><FONT SIZE=2><CENTER><B>%s</B></CENTER></FONT></TD></TR>", family);
        html += "<TR><TD COLSPAN=2>" + Temperature::GetHTML() + "</TD></TR></TABLE>";
        return html;
    } catch (const std::exception& e) {
        LogError(std::string("Error creating HTML document :") + e.what());
        return std::string("DS1820: Error creating HTML document :") + e.what();
    } catch (...) {
        LogError("Error creating HTML document");
        return "DS1820: Error creating HTML document";
    }
}

std::string DS1820::GetXML() {
    return "";
}

void DS1820::LogData() {
    if (!Log || !HasReading) return;
    AppendDataLine(Description, Format("%3.1f", InUnit(temp.value)));
}
