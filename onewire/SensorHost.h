#pragma once
// What the 1-Wire layer asks of the station above it: the status log, the restart of the reading
// rounds' count when a session starts, and the station values the weather calculations take (the main
// temperature for the wind chill, the time zone for the sun times). The station installs itself while
// its main window exists; without a host the lines are dropped and the calculations see UTC, no
// daylight hour and 0 F.
#include <optional>
#include <string>

class SensorHost {
public:
    virtual ~SensorHost() = default;

    virtual void LogStatus(const std::string& text) = 0;
    virtual void ResetSampleCount() = 0;
    // The main temperature in Fahrenheit.
    virtual float MainTemperatureF() const = 0;
    // Hours east of UTC, and the daylight-saving hour as the settings file names it (empty: the date
    // decides).
    virtual int TimezoneHours() const = 0;
    virtual std::optional<bool> DaylightSaving() const = 0;
};

// The host in use (null: none). The station installs itself and removes itself before it goes.
SensorHost* InstalledSensorHost();
void InstallSensorHost(SensorHost* host);
