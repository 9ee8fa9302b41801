#pragma once
// A file as a stream (an answer's body, the local file of a transfer), by its host path. It remembers
// whether a read, write or seek failed, so that a transfer can tell a complete file from a cut one.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/MemoryStream.h"

namespace platform {

class TFileStream : public TStream {
public:
    enum class Mode { Read, Create, Update };
    // Null when the file cannot be opened. Update opens an existing file for writing in place. The
    // name goes through ResolvePath; OpenRead takes an exact host path and reads without a buffer of
    // its own (each Read is one read of the file: read it in large pieces).
    static std::unique_ptr<TFileStream> Open(const std::string& name, Mode mode);
    static std::unique_ptr<TFileStream> OpenRead(const std::string& path);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Size() const override;
    // The size and the time of the last change (seconds since 1970, UTC) in one look; false when the
    // file cannot tell.
    bool SizeAndTime(int64_t& size, int64_t& modified) const;
    int64_t Position() const override;
    void SetPosition(int64_t position) override;
    // Closes the file; false when it (or anything before) failed, such as a write the disk refused.
    bool Close();
    bool Failed() const { return failed_; }

private:
    explicit TFileStream(std::FILE* file) : file_(file) {}
    static std::unique_ptr<TFileStream> OpenHostPath(const std::string& path, const char* how);
    std::FILE* file_;
    bool failed_ = false;
    bool written_ = false;
};

} // namespace platform
