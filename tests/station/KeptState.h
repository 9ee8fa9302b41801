#pragma once
// What a restart of the station must find in SENSORS.INI: every sensor's role, its highs and lows (with
// their times) and the rain gauge's totals.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "platform/IniFile.h"
#include "platform/StringList.h"
#include "platform/Strings.h"

namespace station_test {

// "section/key" -> value.
using KeptState = std::map<std::string, std::string>;

inline bool KeptKey(const std::string& key) {
    const std::string k = platform::LowerCase(key);
    auto ends = [&k](const std::string& tail) {
        return k.size() >= tail.size() && k.compare(k.size() - tail.size(), tail.size(), tail) == 0;
    };
    return k == "type" || k.rfind("max_", 0) == 0 || k.rfind("min_", 0) == 0 || ends("counter") ||
           k == "weeklyrain";
}

// Read through the process's INI cache: after TIniFile::FlushCache, what a restart reads from disk.
inline KeptState ReadKeptState(const std::string& sensorsIni) {
    platform::TIniFile ini(sensorsIni);
    platform::TStringList sections, keys;
    ini.ReadSections(sections);
    KeptState state;
    for (int s = 0; s < sections.Count(); ++s) {
        ini.ReadSection(sections[s], keys);
        for (int k = 0; k < keys.Count(); ++k)
            if (KeptKey(keys[k]))
                state[sections[s] + "/" + keys[k]] = ini.ReadString(sections[s], keys[k], "");
    }
    return state;
}

// Every entry of `before` is in `after` and every role is the same; with `sameValues` every value is
// unchanged, else every high, low and count is still a number. A high or low that moved at or after
// `movedSince` (seconds since 1970; its "_t" key tells when) may differ all the same: what a crash may
// lose of the marks held back for a minute.
inline void ExpectKept(const KeptState& before, const KeptState& after, bool sameValues,
                       const std::string& when, int64_t movedSince = INT64_MAX) {
    for (const auto& [key, value] : before) {
        auto found = after.find(key);
        if (found == after.end()) {
            ADD_FAILURE() << when << ": " << key << " is lost";
            continue;
        }
        const std::string k = platform::LowerCase(key);
        const bool isTime = k.size() > 2 && k.compare(k.size() - 2, 2, "_t") == 0;
        auto time = before.find(isTime ? key : key + "_t");
        double number;
        if (time != before.end() && platform::TryStrToFloat(time->second, number) && number >= movedSince)
            continue;
        if (sameValues || k.find("/type") != std::string::npos) {
            EXPECT_EQ(found->second, value) << when << ": " << key;
        } else if (k.find("/weeklyrain") == std::string::npos) {
            EXPECT_TRUE(platform::TryStrToFloat(found->second, number))
                << when << ": " << key << "=" << found->second;
        }
    }
}

} // namespace station_test
