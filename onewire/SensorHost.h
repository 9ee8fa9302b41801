#pragma once
// What the 1-Wire layer asks of the station above it: the status log, the restart of the reading
// rounds' count when a session starts, and the time zone the sun times take. The station installs itself
// while its main window exists; without a host the lines are dropped and the sun times see UTC and no
// daylight hour.
#include <optional>
#include <string>

class SensorHost {
public:
    virtual ~SensorHost() = default;

    virtual void LogStatus(const std::string& text) = 0;
    virtual void ResetSampleCount() = 0;
    // Hours east of UTC, and the daylight-saving hour as the settings file names it (empty: the date
    // decides).
    virtual int TimezoneHours() const = 0;
    virtual std::optional<bool> DaylightSaving() const = 0;
};

// The host in use (null: none). The station installs itself and removes itself before it goes.
SensorHost* InstalledSensorHost();
void InstallSensorHost(SensorHost* host);
