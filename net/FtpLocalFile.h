#pragma once
// The local file of an FTP transfer, as a stream that remembers whether a read, write or seek failed.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/MemoryStream.h"

namespace net {

class FtpLocalFile : public platform::TStream {
public:
    enum class Mode { Read, Create, Update };
    // Null when the file cannot be opened. Update opens an existing file for writing in place.
    static std::unique_ptr<FtpLocalFile> Open(const std::string& name, Mode mode);
    ~FtpLocalFile() override;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Size() const override;
    int64_t Position() const override;
    void SetPosition(int64_t position) override;
    // Closes the file; false when it (or anything before) failed, such as a write the disk refused.
    bool Close();
    bool Failed() const { return failed_; }

private:
    explicit FtpLocalFile(std::FILE* file) : file_(file) {}
    std::FILE* file_;
    bool failed_ = false;
};

} // namespace net
