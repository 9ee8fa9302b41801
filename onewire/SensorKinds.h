#pragma once
// The kinds of sensor object of the sensor set, one row each: whether the kind has objects now, how
// they are freed and saved, and the chip families whose role rules file them beyond the built-in
// families of ChipFamilies.h. What the station reads, resets and logs of a kind and what publishing
// shows of it are rows of those layers, keyed by the same kind name (station/StationKinds.h,
// publish/PublishKinds.h).
#include <functional>
#include <string>
#include <vector>

#include "onewire/ChipFamilies.h"
#include "onewire/KindRegistry.h"

// Saves one object's settings; the save-all runs it inside its own guard.
using SaveStep = std::function<void()>;

struct SensorKind {
    std::string kind; // its name, which the rows of the layers above are keyed by
    // The kind has objects now.
    std::function<bool()> present;
    // Frees its objects and clears its flags (the clean-up).
    std::function<void()> clear;
    int clearOrder = 0;
    // Hands the save step of each object whose settings the save-all writes (null: none).
    std::function<void(const std::function<void(const SaveStep&)>&)> save;
    int saveOrder = 0;
    // Chip families searched after the built-in ones, whose role rules file this kind.
    std::vector<ChipFamily> families;
};

KindRegistry<SensorKind>& SensorKinds();

// True when the kind is registered and has objects now.
bool KindPresent(const std::string& kind);
