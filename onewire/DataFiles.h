#pragma once
// The files under DATA: the per-sensor monthly data files named by a description, and the writers
// that every record and summary file goes through. A DATA folder deleted while the station runs is
// created again by the next write.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

// "DATA\<description>-MMYYYY.TXT" with the description made safe for a file name (SafeFileNamePart).
std::string SensorDataFileName(const std::string& description, int month, int year);

// Data-log records that the disk refused (a full disk), kept in memory and appended once it takes
// writes again: each file gets its records in the order they were made, and a file that still refuses
// holds back only its own. At most a day of them is kept (older ones go first, and so do the oldest
// beyond kMaxBytes). The log tells when the first record is kept, and when the last is written how
// many were kept, written and dropped.
class DataLogBacklog {
public:
    static constexpr size_t kMaxBytes = 4u << 20;
    static constexpr int64_t kMaxAgeSeconds = 24 * 3600;

    // Appends the record after those kept before it; keeps it when the disk refuses. True when written.
    bool Append(const std::string& name, const std::string& text);
    // Tries the kept records again. True when none is left.
    bool WriteKept();
    size_t Kept() const { return records_.size(); }

private:
    struct Record {
        std::string name;
        std::string text;
        int64_t madeAt; // seconds since 1970
    };
    void Keep(const std::string& name, const std::string& text);

    std::deque<Record> records_;
    size_t bytes_ = 0;
    // The current run of refusals: records kept, written later and dropped.
    size_t kept_ = 0;
    size_t written_ = 0;
    size_t dropped_ = 0;
};

// The backlog the data logs use (null: a refused record is dropped, told by the file log). The station
// installs one for its main window's lifetime.
DataLogBacklog* InstalledDataLogBacklog();
void InstallDataLogBacklog(DataLogBacklog* backlog);

// Appends a record to a file under DATA (name as "DATA\..."), through the installed backlog. False when
// it was not written (it is then kept, when a backlog is installed).
bool AppendDataFile(const std::string& name, const std::string& text);
// Writes a whole file under DATA (NOW.TXT, SUMMARY.TXT), made again by the station: the disk is not
// waited for. False when it was not written.
bool WriteDataFile(const std::string& name, const std::string& text);
