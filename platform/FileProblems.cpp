#include "platform/FileProblems.h"

#include <cstring>
#include <set>
#include <tuple>

namespace platform {

namespace {

struct ProblemState {
    ProblemReporter reporter;
    std::set<std::string> failingFiles;
    std::set<std::tuple<std::string, std::string, std::string, std::string>> toldValues;
};

ProblemState& State() {
    static ProblemState state;
    return state;
}

// The file name the user knows: the resolved path without a leading "./".
std::string Shown(const std::string& path) {
    return path.rfind("./", 0) == 0 ? path.substr(2) : path;
}

} // namespace

void SetProblemReporter(ProblemReporter reporter) {
    State().reporter = std::move(reporter);
}

void ReportProblem(const std::string& text) {
    ProblemReporter reporter = State().reporter; // a copy: the reporter may replace itself
    if (!reporter) return;
    try {
        reporter(text);
    } catch (...) {
        // A report that cannot be shown must not turn a write into a failure of its caller.
    }
}

void NoteWrite(const std::string& path, int error) {
    auto& failing = State().failingFiles;
    // The state changes before the report: writing the report (to the status log) may land here again.
    if (error == 0) {
        if (failing.erase(path) == 0) return;
        ReportProblem(Shown(path) + " is written again");
    } else {
        if (!failing.insert(path).second) return;
        ReportProblem("Cannot write " + Shown(path) + ": " + std::strerror(error));
    }
}

void NoteUnparsedValue(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value, const std::string& def) {
    if (!State().toldValues.emplace(file, section, key, value).second) return;
    ReportProblem(Shown(file) + ": [" + section + "] " + key + "=" + value +
                  " is not a valid number, using " + def);
}

void ForgetProblems() {
    State().failingFiles.clear();
    State().toldValues.clear();
}

} // namespace platform
