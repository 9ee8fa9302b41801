#pragma once
// The chip families the scan searches for on every part of the net, in the order of the search. Each
// has its role rules: how a device found becomes a sensor object (or a role of one) and which table
// takes it. A new kind of device is one entry here and, when it files objects, one table.
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

const std::vector<ChipFamily>& ChipFamilies();
