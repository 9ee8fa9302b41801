#include "onewire/DataFiles.h"

#include "onewire/DataTables.h"
#include "platform/FileProblems.h"
#include "platform/Files.h"
#include "platform/Strings.h"

namespace {

constexpr const char* kDataFolder = "DATA";

// Every data file name starts with the folder: a user who deleted it while the station runs gets it
// back with the next record instead of losing every record until a restart.
void EnsureDataFolder() {
    if (platform::DirectoryExists(kDataFolder)) return;
    if (platform::CreateDir(kDataFolder)) platform::ReportProblem("Created DATA again for LOG output.");
}

} // namespace

std::string SensorDataFileName(const std::string& description, int month, int year) {
    return platform::Format("DATA\\%s-%02d%d.TXT", SafeFileNamePart(description).c_str(), month, year);
}

bool AppendDataFile(const std::string& name, const std::string& text) {
    EnsureDataFolder();
    return platform::AppendToFile(name, text);
}

bool WriteDataFile(const std::string& name, const std::string& text) {
    EnsureDataFolder();
    return platform::WriteWholeFile(name, text);
}
