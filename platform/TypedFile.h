#pragma once
// Files of fixed-size records with the runtime's I/O result codes instead of exceptions: every operation
// returns 0 on success or the code of what went wrong.
//
// Codes: 2 file not found, 3 path not found, 4 too many open files, 5 access denied, 100 read past the
// end (a short read), 101 write error (disk full, I/O error, file too large), 103 file not open, 106
// invalid argument; any other errno comes back as itself plus 1000.
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

inline constexpr int ioFileNotFound = 2;
inline constexpr int ioPathNotFound = 3;
inline constexpr int ioTooManyOpenFiles = 4;
inline constexpr int ioAccessDenied = 5;
inline constexpr int ioReadPastEnd = 100;
inline constexpr int ioWriteError = 101;
inline constexpr int ioFileNotOpen = 103;
inline constexpr int ioInvalidArgument = 106;

// The I/O code of an errno value, for an operation on `path` (used to tell a missing file from a
// missing folder).
int IOResultFromErrno(int err, const std::string& path = {});

class TTypedFile {
public:
    explicit TTypedFile(size_t recordSize) : recordSize_(recordSize) {}
    ~TTypedFile() { Close(); }
    TTypedFile(const TTypedFile&) = delete;
    TTypedFile& operator=(const TTypedFile&) = delete;

    // Opens an existing file, read-only or for reading and writing.
    int Reset(const std::string& name, bool readOnly = true);
    // Creates the file or empties an existing one, for reading and writing.
    int Rewrite(const std::string& name);
    bool IsOpen() const { return fd_ >= 0; }
    // Whole records in the file (a partial record at the end does not count); -1 when not open.
    int64_t FileSize() const;
    int Seek(int64_t record);
    int Read(void* record);
    int Write(const void* record);
    // `count` records at once (a short read gives ioReadPastEnd).
    int ReadRecords(void* records, int64_t count);
    int WriteRecords(const void* records, int64_t count);
    int Close();

private:
    size_t recordSize_;
    int fd_ = -1;
    std::string path_;
};

// Writes `size` bytes as the new content of `name` the way WriteWholeFile does (Files.h): into "name.tmp"
// in the same folder, flushed to the disk, then renamed over the old file; a failure leaves the old file
// as it was, removes the temporary file and is told once (FileProblems.h). The result is the code of the
// first failing step.
int ReplaceFileContents(const std::string& name, const void* data, size_t size);

} // namespace platform
