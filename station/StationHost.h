#pragma once
// The main window as the 1-Wire layer's host: its status log, the reading rounds' count, the time-zone
// settings, the data-log records the disk refused, and its bus session (Microlan::Bus()). The window
// installs it for its lifetime.
#include "onewire/DataFiles.h"
#include "onewire/SensorHost.h"

class TMainForm;

class TStationHost final : public SensorHost {
public:
    explicit TStationHost(TMainForm& form);
    ~TStationHost() override;
    TStationHost(const TStationHost&) = delete;
    TStationHost& operator=(const TStationHost&) = delete;

    void LogStatus(const std::string& text) override;
    void ResetSampleCount() override;
    int TimezoneHours() const override;
    std::optional<bool> DaylightSaving() const override;

    DataLogBacklog& Backlog() { return backlog_; }

private:
    TMainForm& form_;
    DataLogBacklog backlog_;
};
