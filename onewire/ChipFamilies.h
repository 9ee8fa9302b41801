#pragma once
// The chip families the scan searches for on every part of the net, in the order of the search. Each
// has its role rules: how a device found becomes a sensor object (or a role of one) and which table
// takes it. A family of a new kind comes with the kind's row (SensorKinds.h) and is searched after these.
#include <cstdint>
#include <string>
#include <vector>

struct FamilyScan;

struct ChipFamily {
    uint8_t code;
    const char* name; // as the log names it
    int progress;     // the scan's progress, in percent, as the family's search starts on the plain net
    // The search goes on while this holds (null: over every device of the family).
    bool (*goOn)();
    // The role rules: files the device found (or leaves it out).
    void (*file)(FamilyScan& scan, const std::string& serial);
};

// The built-in families, then those of the kinds' rows.
std::vector<ChipFamily> ChipFamilies();
