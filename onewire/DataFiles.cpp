#include "onewire/DataFiles.h"

#include <set>

#include "onewire/DataTables.h"
#include "platform/Clock.h"
#include "platform/FileProblems.h"
#include "platform/Files.h"
#include "platform/Strings.h"

namespace {

constexpr const char* kDataFolder = "DATA";
DataLogBacklog* installedBacklog = nullptr;

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

bool DataLogBacklog::Append(const std::string& name, const std::string& text) {
    if (records_.empty()) {
        if (platform::AppendToFile(name, text)) return true;
        platform::ReportProblem("Keeping the data-log records in memory until the disk takes them again");
        Keep(name, text);
        return false;
    }
    Keep(name, text);
    WriteKept();
    return records_.empty() || records_.back().name != name; // when kept, it is the last one
}

void DataLogBacklog::Keep(const std::string& name, const std::string& text) {
    const int64_t now = platform::UnixTime();
    records_.push_back(Record{name, text, now});
    bytes_ += name.size() + text.size();
    ++kept_;
    while (!records_.empty() &&
           (bytes_ > kMaxBytes || now - records_.front().madeAt > kMaxAgeSeconds)) {
        bytes_ -= records_.front().name.size() + records_.front().text.size();
        records_.pop_front();
        ++dropped_;
    }
}

bool DataLogBacklog::WriteKept() {
    if (records_.empty()) return true;
    std::set<std::string> refusing; // files whose next record must wait, so that their order holds
    std::deque<Record> left;
    bytes_ = 0;
    for (Record& record : records_) {
        if (!refusing.count(record.name) && platform::AppendToFile(record.name, record.text)) {
            ++written_;
            continue;
        }
        refusing.insert(record.name);
        bytes_ += record.name.size() + record.text.size();
        left.push_back(std::move(record));
    }
    records_ = std::move(left);
    if (!records_.empty()) return false;
    std::string told = platform::Format("Wrote %zu of the %zu data-log records kept in memory while the "
                                        "disk refused them",
                                        written_, kept_);
    if (dropped_ > 0) told += platform::Format(" (the %zu oldest were dropped: more than a day)", dropped_);
    platform::ReportProblem(told);
    kept_ = written_ = dropped_ = 0;
    return true;
}

DataLogBacklog* InstalledDataLogBacklog() {
    return installedBacklog;
}

void InstallDataLogBacklog(DataLogBacklog* backlog) {
    installedBacklog = backlog;
}

bool AppendDataFile(const std::string& name, const std::string& text) {
    EnsureDataFolder();
    if (installedBacklog) return installedBacklog->Append(name, text);
    return platform::AppendToFile(name, text);
}

bool WriteDataFile(const std::string& name, const std::string& text) {
    EnsureDataFolder();
    return platform::WriteWholeFile(name, text, platform::FileMode::Text, platform::Durability::Regenerated);
}
