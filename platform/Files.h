#pragma once
// Files and folders the way the station names them: '\' separators, any letter case, text files with
// CR LF line ends. Every station file name goes through ResolvePath.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

enum class FileMode { Text, Binary };

// Maps '\' to '/' and resolves each existing path component case-insensitively, so that
// "sensors.ini", ".\SENSORS.INI" and "SENSORS.INI" name one file. Components that do not exist keep
// the spelling given (a new file is created with the station's spelling).
std::string ResolvePath(const std::string& name);

bool FileExists(const std::string& name);
bool DirectoryExists(const std::string& name);
// Creates one folder level (no parents). False when it could not be created.
bool CreateDir(const std::string& name);
// The names of the plain files in a folder (no folders, no hidden "." entries), sorted byte by byte;
// empty when the folder cannot be listed.
std::vector<std::string> ListFiles(const std::string& folder);
bool DeleteFile(const std::string& name);
// Renames a file, replacing an existing `to`; both names are resolved. False when it failed.
bool RenameFile(const std::string& from, const std::string& to);
// Modification time in seconds since 1970, or -1.
long long FileAge(const std::string& name);

// Whole-file helpers. Text mode strips CR on read and writes each lone LF as CR LF.
bool ReadWholeFile(const std::string& name, std::string& content, FileMode mode = FileMode::Text);

// Whether a whole-file write waits until the disk holds the new content before it renames it into
// place. Kept: settings and history that exist nowhere else (SENSORS.INI, korvane.ini, the trend files)
// survive a power cut whole. Regenerated: what the station makes again anyway (pages, weather.xml, graph
// images, the summary texts) is only renamed into place, which spares a flash card one flush per file;
// after a power cut such a file may be old or empty until it is made again.
enum class Durability { Kept, Regenerated };

// The two writers below leave a file alone whose write permission bits are all clear (even when the
// station runs as root), and tell each outcome to NoteWrite (platform/FileProblems.h).
// Every file the station writes whole goes through here: the content is written to "<name>.tmp" in the
// same folder, (when kept) flushed to the disk, and renamed over the old file, so that a failed or
// interrupted write leaves the old file as it was. False when the file was not replaced.
bool WriteWholeFile(const std::string& name, const std::string& content, FileMode mode = FileMode::Text,
                    Durability durability = Durability::Kept);
// The same for binary content, with the outcome as 0 or the errno value of the failure.
int ReplaceWholeFile(const std::string& name, const std::string& content,
                     Durability durability = Durability::Kept);
// How many times the writers above have waited for the disk (one flush per kept file) since the
// process started: the benchmarks count a station-day's flushes with it.
uint64_t DiskFlushCount();
// Opens in append mode, writes, closes: the way every log line is written. A write that fails half-way
// is taken back (no torn record). False when the text was not appended.
bool AppendToFile(const std::string& name, const std::string& text, FileMode mode = FileMode::Text);
// Splits on LF, dropping CR; a final line without LF counts, an empty tail does not.
std::vector<std::string> SplitLines(const std::string& text);
// LF -> CR LF, leaving existing CR LF pairs alone.
std::string ToCrLf(const std::string& text);

// A file opened like fopen, through ResolvePath, with text-mode line ends.
class TextFile {
public:
    TextFile() = default;
    TextFile(const std::string& name, const char* mode) { Open(name, mode); }
    ~TextFile() { Close(); }
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool Open(const std::string& name, const char* mode);
    bool IsOpen() const { return file_ != nullptr; }
    void Close();
    // Writes text with LF translated to CR LF.
    bool Write(const std::string& text);
    // Reads at most maxChars-1 characters up to and including LF, like fgets; CR is dropped.
    bool Gets(std::string& line, int maxChars);
    // Reads one whole line without its LF (and CR).
    bool ReadLine(std::string& line);

private:
    std::FILE* file_ = nullptr;
};

// The program's own file and folder.
std::string ExeName();                        // full path of the executable
std::string AppPath();                        // its folder, with a trailing '/'
void SetExeName(const std::string& fullPath); // tests and main() set it
// Settings file beside the executable: folder + lower-cased executable stem + ".ini".
std::string SettingsFileName(const std::string& exePath);
std::string CurrentDir();
bool SetCurrentDir(const std::string& dir);

} // namespace platform
