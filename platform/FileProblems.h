#pragma once
// Problems with the station's files, told to the station's log without flooding it. The first failure
// to write a file is told once with its reason, the first success after it once; every attempt in
// between is silent. A setting that does not parse is told once per value. Nothing is told until the
// station installs its reporter.
#include <functional>
#include <string>

namespace platform {

using ProblemReporter = std::function<void(const std::string& text)>;
void SetProblemReporter(ProblemReporter reporter);

// Tells one line to the reporter.
void ReportProblem(const std::string& text);

// The outcome of one write of a file (its resolved path): 0 when it was written, else the errno value.
void NoteWrite(const std::string& path, int error);

// A value in an INI file that is no valid number: the default used instead is told with it.
void NoteUnparsedValue(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value, const std::string& def);

// Forgets which files failed and which values were told (tests; a new station starts afresh).
void ForgetProblems();

} // namespace platform
