#include "platform/tmex/sim/DemoCounts.h"

#include "platform/FileProblems.h"
#include "platform/Files.h"
#include "platform/Strings.h"

#include <charconv>
#include <cstdint>
#include <vector>

namespace platform::tmex::sim {

namespace {

constexpr const char* kStartAgain = "; the demo net's counters start again from their first values";

struct Key {
    const char* name;
    long long min, max;
};
constexpr Key kTime{"Time", 0, INT64_MAX};
constexpr Key kRain{"RainGauge", 0, UINT32_MAX};
constexpr Key kWind{"WindSpeed", 0, UINT32_MAX};

// The value of `key` among the file's lines, checked against its range; told when it is not there.
std::optional<long long> Value(const std::string& file, const std::vector<std::string>& lines,
                               const Key& key) {
    const std::string prefix = std::string(key.name) + "=";
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) != 0) continue;
        const char* last = line.data() + line.size();
        long long value = 0;
        const auto [end, error] = std::from_chars(line.data() + prefix.size(), last, value);
        if (error == std::errc() && end == last && value >= key.min && value <= key.max) return value;
        ReportProblem(file + ": " + line + " is no count" + kStartAgain);
        return std::nullopt;
    }
    ReportProblem(file + ": no " + key.name + "= in it" + kStartAgain);
    return std::nullopt;
}

} // namespace

std::optional<DemoCounts> ReadDemoCounts(const std::string& file) {
    if (!FileExists(file)) return std::nullopt;
    std::string text;
    if (!ReadWholeFile(file, text)) {
        ReportProblem("Cannot read " + file + kStartAgain);
        return std::nullopt;
    }
    const std::vector<std::string> lines = SplitLines(text);
    const std::optional<long long> time = Value(file, lines, kTime);
    const std::optional<long long> rain = time ? Value(file, lines, kRain) : std::nullopt;
    const std::optional<long long> wind = rain ? Value(file, lines, kWind) : std::nullopt;
    if (!wind) return std::nullopt;
    return DemoCounts{*time, static_cast<uint32_t>(*rain), static_cast<uint32_t>(*wind)};
}

bool WriteDemoCounts(const std::string& file, const DemoCounts& counts, bool flush) {
    const std::string text = std::string("[Counters]\n") + kTime.name + "=" + IntToStr(counts.unixMs) + "\n" +
                             kRain.name + "=" + IntToStr(counts.rain) + "\n" + kWind.name + "=" +
                             IntToStr(counts.wind) + "\n";
    return WriteWholeFile(file, text, FileMode::Text, flush ? Durability::Kept : Durability::Regenerated);
}

} // namespace platform::tmex::sim
