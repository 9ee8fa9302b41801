#pragma once
// A file opened for reading as a stream (an answer's body), by its exact host path.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/MemoryStream.h"

namespace platform {

class TFileStream : public TStream {
public:
    // Null when the file cannot be opened.
    static std::unique_ptr<TFileStream> OpenRead(const std::string& path);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void*, size_t) override { return 0; } // read-only
    int64_t Size() const override { return size_; }
    int64_t Position() const override;
    void SetPosition(int64_t position) override;

private:
    explicit TFileStream(std::FILE* file);
    std::FILE* file_;
    int64_t size_ = 0;
};

} // namespace platform
