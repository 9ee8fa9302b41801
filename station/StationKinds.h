#pragma once
// What the station does with each kind of sensor, one row per kind, keyed by the kind's name in the
// sensor set (onewire/SensorKinds.h): its step of a reading round, its daily and monthly resets, its
// objects' own data-log lines and the windows' set-up after a scan found it. Each walk runs a row's
// step only while the kind has objects, in the row's order field for that walk.
#include <functional>
#include <string>

#include "onewire/KindRegistry.h"

class TMainForm;

struct StationKind {
    std::string kind;
    // The kind's step of a reading round (true: a value was read); the round pumps the window's
    // messages after each kind's turn.
    std::function<bool(TMainForm&)> read;
    int readOrder = 0;
    // The daily statistics reset (ResetDailyStatistics) and the monthly one (RunMonthlyTasks).
    std::function<void(TMainForm&)> resetDaily;
    int resetOrder = 0;
    std::function<void(TMainForm&)> resetMonthly;
    int monthOrder = 0;
    // Each object's line of its own log, written with the station's data log (WriteDataLog).
    std::function<void(TMainForm&)> logData;
    int logOrder = 0;
    // The windows' set-up after a scan that found the kind (ScanMicroLAN).
    std::function<void(TMainForm&)> setup;
    int setupOrder = 0;
};

KindRegistry<StationKind>& StationKinds();

// Runs the step of every row that has one and whose kind is present, in the walk's order.
void ForEachStationKind(std::function<void(TMainForm&)> StationKind::*step, int StationKind::*order,
                        TMainForm& form);
